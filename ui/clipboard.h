// Putting text on the clipboard, for the windows that let the user copy
// what they show.
#pragma once

#include <windows.h>

#include <string>

namespace norvane::ui {

// Replaces what the clipboard holds with `text` as Unicode text; the system
// hands it out as ANSI text too to a program that asks for that. Answers
// whether the clipboard took it.
bool PutTextOnClipboard(HWND owner, const std::wstring& text);

}  // namespace norvane::ui
