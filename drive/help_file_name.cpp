#include "drive/help_file_name.h"

#include <algorithm>
#include <cwctype>
#include <string_view>

namespace norvane {
namespace {

bool IsForbiddenInFileName(wchar_t c) {
  return c < 0x20 || c == 0x7F || std::wstring_view(L"\\/:*?\"<>|").find(c) != std::wstring_view::npos;
}

// Digits that follow COM and LPT in a device name, the superscripts included.
bool IsDeviceDigit(wchar_t c) { return (c >= L'0' && c <= L'9') || c == L'\u00B9' || c == L'\u00B2' || c == L'\u00B3'; }

}  // namespace

bool IsReservedDeviceName(const std::wstring& fileName) {
  std::wstring base = fileName.substr(0, fileName.find(L'.'));
  while (!base.empty() && base.back() == L' ') base.pop_back();  // "CON .txt" is CON too
  std::transform(base.begin(), base.end(), base.begin(), [](wchar_t c) { return std::towupper(c); });
  for (std::wstring_view device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$", L"CLOCK$"}) {
    if (base == device) return true;
  }
  return base.size() == 4 && (base.starts_with(L"COM") || base.starts_with(L"LPT")) && IsDeviceDigit(base[3]);
}

std::wstring HelpFileName(const std::wstring& modelName, bool japanese) {
  std::wstring name;
  for (wchar_t c : modelName) {
    if (!IsForbiddenInFileName(c)) name += c;
  }
  name += japanese ? L"_Japanese.chm" : L"_English.chm";
  return IsReservedDeviceName(name) ? L"_" + name : name;
}

}  // namespace norvane
