#include "tool/win32/session_end_win32.h"

#include <atomic>

namespace norvane::tool {
namespace {

void (*endRun)() = nullptr;
std::atomic<bool> sessionEnding{false};

// Agreeing to the query ends nothing yet: another program may still refuse
// the end, and then WM_ENDSESSION says so.
LRESULT CALLBACK SessionEndProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_QUERYENDSESSION: return TRUE;
    case WM_ENDSESSION:
      if (wParam) {
        sessionEnding = true;
        endRun();
      }
      return 0;
    default: return DefWindowProcW(window, message, wParam, lParam);
  }
}

// Never shown; it lasts until the listener stops.
DWORD WINAPI HearSessionEnd(void* stop) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = SessionEndProcedure;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = kSessionEndWindowClass;
  RegisterClassW(&windowClass);
  const HWND window = CreateWindowW(kSessionEndWindowClass, L"norvane-drive", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                    windowClass.hInstance, nullptr);
  if (!window) return 1;
  while (MsgWaitForMultipleObjects(1, &stop, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  DestroyWindow(window);
  return 0;
}

}  // namespace

SessionEndListener::SessionEndListener(void (*onEnd)()) {
  endRun = onEnd;
  m_stop = UniqueHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (m_stop) m_thread = UniqueHandle(CreateThread(nullptr, 0, HearSessionEnd, m_stop.Get(), 0, nullptr));
}

SessionEndListener::~SessionEndListener() {
  if (!m_thread) return;
  SetEvent(m_stop.Get());
  if (!sessionEnding) WaitForSingleObject(m_thread.Get(), INFINITE);
}

}  // namespace norvane::tool
