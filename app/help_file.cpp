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
// The base name of the general help file, which covers every drive.
constexpr wchar_t kGeneralHelpName[] = L"NorvaneDriveUtility";

void OpenWithShell(const std::wstring& path) {
  ShellExecuteW(nullptr, L"open", path.c_str(), nullptr, nullptr, SW_SHOW);
}

std::function<void(const std::wstring&)>& Opener() {
  static std::function<void(const std::wstring&)> opener = OpenWithShell;
  return opener;
}

bool IsFile(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::wstring ExecutableFolder() {
  std::wstring path = ui::ExecutablePath();
  path.resize(path.find_last_of(L'\\') + 1);  // keeps the separator; empty without one
  return path;
}

}  // namespace

bool UserLocaleIsJapanese() { return GetUserDefaultLCID() == kJapaneseLocale; }

std::wstring HelpFilePath() {
  const std::wstring folder = ExecutableFolder();
  const bool japanese = UserLocaleIsJapanese();
  const std::wstring model = ReadModelName();
  if (!model.empty()) {
    std::wstring path = folder + HelpFileName(model, japanese);
    if (IsFile(path)) return path;
  }
  // Most models have no help file of their own; the general one explains them all.
  return folder + HelpFileName(kGeneralHelpName, japanese);
}

void OpenHelpFile() { Opener()(HelpFilePath()); }

void SetHelpFileOpener(std::function<void(const std::wstring& path)> opener) {
  Opener() = opener ? std::move(opener) : OpenWithShell;
}

}  // namespace norvane
