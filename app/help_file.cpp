#include "app/help_file.h"

#include <windows.h>
#include <shellapi.h>

#include <utility>

#include "drive/help_file_name.h"
#include "drive/reads.h"
#include "ui/window.h"

namespace norvane {
namespace {

constexpr LCID kJapaneseLocale = 0x0411;

void OpenWithShell(const std::wstring& path) {
  ShellExecuteW(nullptr, L"open", path.c_str(), nullptr, nullptr, SW_SHOW);
}

std::function<void(const std::wstring&)>& Opener() {
  static std::function<void(const std::wstring&)> opener = OpenWithShell;
  return opener;
}

std::wstring ExecutableFolder() {
  std::wstring path = ui::ExecutablePath();
  path.resize(path.find_last_of(L'\\') + 1);  // keeps the separator; empty without one
  return path;
}

}  // namespace

bool UserLocaleIsJapanese() { return GetUserDefaultLCID() == kJapaneseLocale; }

std::wstring HelpFilePath() { return ExecutableFolder() + HelpFileName(ReadModelName(), UserLocaleIsJapanese()); }

void OpenHelpFile() { Opener()(HelpFilePath()); }

void SetHelpFileOpener(std::function<void(const std::wstring& path)> opener) {
  Opener() = opener ? std::move(opener) : OpenWithShell;
}

}  // namespace norvane
