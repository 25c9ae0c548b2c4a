#include "tool/win32/session_end_win32.h"

namespace norvane::tool {
namespace {

void (*endRun)() = nullptr;

// Agreeing to the query ends nothing yet: another program may still refuse
// the end, and then WM_ENDSESSION says so.
LRESULT CALLBACK SessionEndProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_QUERYENDSESSION: return TRUE;
    case WM_ENDSESSION:
      if (wParam) endRun();
      return 0;
    default: return DefWindowProcW(window, message, wParam, lParam);
  }
}

// Never shown, and never destroyed: it lasts as long as the process.
DWORD WINAPI HearSessionEnd(void*) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = SessionEndProcedure;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = kSessionEndWindowClass;
  RegisterClassW(&windowClass);
  if (!CreateWindowW(kSessionEndWindowClass, L"norvane-drive", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                     windowClass.hInstance, nullptr)) {
    return 1;
  }
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
  return 0;
}

}  // namespace

void ListenForSessionEnd(void (*onEnd)()) {
  endRun = onEnd;
  if (const HANDLE thread = CreateThread(nullptr, 0, HearSessionEnd, nullptr, 0, nullptr)) CloseHandle(thread);
}

}  // namespace norvane::tool
