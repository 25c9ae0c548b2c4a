// Putting text on the clipboard, for the windows that let the user copy
// what they show.
#pragma once

#include <windows.h>

#include <string>

namespace norvane::ui {

// Replaces what the clipboard holds with `text` as Unicode text, and as
// ANSI text too when every character is ASCII (every code page reads that
// the same). Answers whether the clipboard took it.
bool PutTextOnClipboard(HWND owner, const std::wstring& text);

}  // namespace norvane::ui
