// EmptyDialog.exe: the smallest program that shows a dialog the way the
// utility does (common controls 6, the same resources and link), so that
// scripts/measure.sh can compare start-up time and memory against it.
#include <windows.h>
#include <commctrl.h>

namespace {

// A template in memory: a visible captioned dialog with no controls, in the
// font every dialog of the utility uses.
struct EmptyTemplate {
  DLGTEMPLATE header;
  WORD menu = 0;
  WORD windowClass = 0;
  wchar_t title[13] = L"Empty Dialog";
  WORD pointSize = 8;
  wchar_t font[13] = L"MS Shell Dlg";
};

INT_PTR CALLBACK EmptyProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) return TRUE;
  if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
    EndDialog(dialog, 0);
    return TRUE;
  }
  return FALSE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  EmptyTemplate empty{};
  empty.header.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE | DS_CENTER | DS_SETFONT;
  empty.header.cx = 214;
  empty.header.cy = 250;
  return static_cast<int>(DialogBoxIndirectParamW(instance, &empty.header, nullptr, EmptyProc, 0));
}
