// The one way the program shows a message box: captioned with the
// application's name, the base name of the executable without its extension.
#pragma once

#include <windows.h>

#include <string>

namespace norvane::ui {

std::wstring ApplicationName();

// `type` holds the buttons and the icon (MB_OKCANCEL | MB_ICONWARNING, ...).
// Answers the button pressed (IDOK, IDCANCEL, ...).
int ShowMessageBox(HWND owner, const std::wstring& text, UINT type);
int ShowMessageBox(HWND owner, UINT textId, UINT type);

// A question before a drive action: a warning with OK and Cancel. Answers
// whether the user chose OK; Cancel, Escape and closing the box do not go on.
bool Confirm(HWND owner, UINT textId);

}  // namespace norvane::ui
