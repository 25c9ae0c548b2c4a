#include "ui/waiting.h"

#include <windows.h>

namespace norvane::ui {
namespace {

// A paint handler that does not validate its window would be asked again at
// once; the next slice gets the rest.
constexpr int kMostPaintsPerSlice = 64;

}  // namespace

void KeepWindowsAnswering() {
  MSG msg;
  // Every peek delivers the messages sent to the thread's windows first.
  for (int i = 0; i < kMostPaintsPerSlice && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT); ++i) {
    if (msg.message == WM_PAINT) DispatchMessageW(&msg);
  }
  // Keys and clicks, whether they came from the devices or were posted.
  while (PeekMessageW(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
  }
  while (PeekMessageW(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
  }
}

}  // namespace norvane::ui
