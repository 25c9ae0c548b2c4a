#include "ui/message_box.h"

#include "ui/window.h"

namespace norvane::ui {

std::wstring ApplicationName() {
  const std::wstring path = ExecutablePath();
  const std::size_t nameStart = path.find_last_of(L"\\/") + 1;  // 0 when there is no folder
  std::wstring name = path.substr(nameStart);
  const std::size_t dot = name.rfind(L'.');
  if (dot != std::wstring::npos) name.resize(dot);
  return name;
}

int ShowMessageBox(HWND owner, const std::wstring& text, UINT type) {
  return MessageBoxW(owner, text.c_str(), ApplicationName().c_str(), type);
}

int ShowMessageBox(HWND owner, UINT textId, UINT type) {
  return ShowMessageBox(owner, LoadResourceString(textId), type);
}

std::wstring SystemErrorText(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
      reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring words(text != nullptr ? text : L"", length);
  LocalFree(text);
  words.erase(words.find_last_not_of(L" \r\n") + 1);
  return words;
}

bool Confirm(HWND owner, UINT textId) { return ShowMessageBox(owner, textId, MB_OKCANCEL | MB_ICONWARNING) == IDOK; }

}  // namespace norvane::ui
