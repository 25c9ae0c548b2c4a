#include "ui/waiting.h"

#include <windows.h>

#include <algorithm>
#include <vector>

namespace norvane::ui {
namespace {

thread_local bool answeringInsideAWait = false;

// A paint handler that does not validate its window would be asked again at
// once; the next slice gets the rest.
constexpr int kMostPaintsPerSlice = 64;

BOOL CALLBACK CollectEnabledWindow(HWND window, LPARAM windows) {
  if (IsWindowVisible(window) && IsWindowEnabled(window)) {
    reinterpret_cast<std::vector<HWND>*>(windows)->push_back(window);
  }
  return TRUE;
}

// Paints, answers what other threads sent (every peek delivers it first),
// and drops the keys and clicks, whether they came from the devices or were
// posted.
void AnswerWithoutActing() {
  answeringInsideAWait = true;
  MSG msg;
  for (int i = 0;
       i < kMostPaintsPerSlice && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT | PM_QS_SENDMESSAGE); ++i) {
    if (msg.message == WM_PAINT) DispatchMessageW(&msg);
  }
  while (PeekMessageW(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
  }
  while (PeekMessageW(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
  }
  answeringInsideAWait = false;
}

// The thread's enabled windows are disabled for the wait, as under a modal
// window, and come back with their keyboard focus however the wait ends.
class HeldWindows {
 public:
  HeldWindows() : m_focus(GetFocus()) {
    EnumThreadWindows(GetCurrentThreadId(), CollectEnabledWindow, reinterpret_cast<LPARAM>(&m_windows));
    for (HWND window : m_windows) EnableWindow(window, FALSE);
  }
  ~HeldWindows() {
    for (HWND window : m_windows) EnableWindow(window, TRUE);
    if (m_focus && IsWindow(m_focus) && GetFocus() != m_focus) SetFocus(m_focus);
  }
  HeldWindows(const HeldWindows&) = delete;
  HeldWindows& operator=(const HeldWindows&) = delete;

 private:
  std::vector<HWND> m_windows;
  HWND m_focus;
};

}  // namespace

void WaitKeepingWindowsAnswering(std::uint32_t milliseconds, const std::function<void(std::uint32_t)>& sleep) {
  const HeldWindows held;
  for (std::uint32_t waited = 0; waited < milliseconds; waited += kWaitSliceMs) {
    sleep(std::min(kWaitSliceMs, milliseconds - waited));
    AnswerWithoutActing();
  }
}

bool InsideAWait() { return answeringInsideAWait; }

}  // namespace norvane::ui
