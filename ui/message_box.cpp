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

bool Confirm(HWND owner, UINT textId) { return ShowMessageBox(owner, textId, MB_OKCANCEL | MB_ICONWARNING) == IDOK; }

}  // namespace norvane::ui
