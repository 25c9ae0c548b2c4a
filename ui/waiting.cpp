#include "ui/waiting.h"

#include <windows.h>

#include <algorithm>
#include <exception>
#include <optional>
#include <vector>

#include "ui/activity.h"

namespace norvane::ui {
namespace {

// A paint handler that does not validate its window would be asked again at
// once; the next slice gets the rest.
constexpr int kMostPaintsPerSlice = 64;

BOOL CALLBACK CollectEnabledWindow(HWND window, LPARAM windows) {
  if (IsWindowVisible(window) && IsWindowEnabled(window)) {
    reinterpret_cast<std::vector<HWND>*>(windows)->push_back(window);
  }
  return TRUE;
}

// A close request posted to the thread's windows (the taskbar's Close
// window posts one): inside a drive call it is handed on at once, and ends
// the program; anywhere else it waits in the queue.
void HandOnPostedCloseRequest() {
  MSG msg;
  for (const UINT message : {WM_CLOSE, WM_SYSCOMMAND}) {
    if (PeekMessageW(&msg, nullptr, message, message, PM_NOREMOVE) &&
        (message == WM_CLOSE || (msg.wParam & 0xFFF0) == SC_CLOSE) &&
        PeekMessageW(&msg, nullptr, message, message, PM_REMOVE)) {
      DispatchMessageW(&msg);
    }
  }
}

// Paints and answers what other threads sent (every peek delivers it
// first); with `dropInput`, drops the keys and clicks, whether they came
// from the devices or were posted.
void AnswerWithoutActing(bool dropInput) {
  const Activity::Entry answering(Activity::Kind::Wait);
  MSG msg;
  for (int i = 0;
       i < kMostPaintsPerSlice && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT | PM_QS_SENDMESSAGE); ++i) {
    if (msg.message == WM_PAINT) DispatchMessageW(&msg);
  }
  if (Activity::Now().Inside(Activity::Kind::DriveCall)) HandOnPostedCloseRequest();
  while (dropInput && PeekMessageW(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
  }
  while (dropInput && PeekMessageW(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
  }
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

// The thread that carries out the drive's calls, one at a time. It lives as
// long as the process: a call the drive never answers keeps it, and the
// process ends without waiting for it.
class DriveCallThread {
 public:
  static constexpr SIZE_T kStackReservation = 256 * 1024;

  DriveCallThread()
      : m_start(CreateEventW(nullptr, FALSE, FALSE, nullptr)), m_done(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    // A drive call needs little stack: the thread does not take the
    // program's default reservation.
    m_thread = CreateThread(nullptr, kStackReservation, &DriveCallThread::Serve, this,
                            STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    m_running = m_thread != nullptr && m_start != nullptr && m_done != nullptr;
  }
  DriveCallThread(const DriveCallThread&) = delete;
  DriveCallThread& operator=(const DriveCallThread&) = delete;

  bool Running() const { return m_running; }
  // Hands `call` to the thread; Done() is signalled once it has returned.
  void Start(const std::function<void()>& call) {
    m_call = &call;
    m_failure = nullptr;
    SetEvent(m_start);
  }
  HANDLE Done() const { return m_done; }
  // Passes on what the last call threw.
  void Rethrow() const {
    if (m_failure) std::rethrow_exception(m_failure);
  }
  // Asks the system to give up the call's I/O, so that the process can end
  // without waiting for the drive's time-out.
  void CancelIo() const {
    if (m_thread) CancelSynchronousIo(m_thread);
  }

 private:
  static DWORD WINAPI Serve(void* self) {
    auto& thread = *static_cast<DriveCallThread*>(self);
    for (;;) {
      WaitForSingleObject(thread.m_start, INFINITE);
      try {
        (*thread.m_call)();
      } catch (...) {
        thread.m_failure = std::current_exception();
      }
      SetEvent(thread.m_done);
    }
  }

  HANDLE m_thread = nullptr;
  HANDLE m_start;
  HANDLE m_done;
  bool m_running = false;
  const std::function<void()>* m_call = nullptr;
  std::exception_ptr m_failure;
};

DriveCallThread& TheDriveCallThread() {
  static auto* thread = new DriveCallThread;  // never destroyed: it may be inside a call at exit
  return *thread;
}

// The cursor the user sees over the held windows.
void ShowWaitCursor() { SetCursor(LoadCursorW(nullptr, IDC_WAIT)); }

}  // namespace

void RunKeepingWindowsAnswering(const std::function<void()>& call) {
  DriveCallThread& thread = TheDriveCallThread();
  // A call asked for from inside another (by a message answered meanwhile)
  // cannot wait for the thread that carries the first.
  if (Activity::Now().Inside(Activity::Kind::DriveCall) || !thread.Running()) {
    call();
    return;
  }
  {
    const Activity::Entry calling(Activity::Kind::DriveCall);
    thread.Start(call);
    const ULONGLONG start = GetTickCount64();
    std::optional<HeldWindows> held;
    const HANDLE done = thread.Done();
    for (;;) {
      const DWORD wakeOn = QS_PAINT | QS_SENDMESSAGE | (held ? QS_INPUT : 0);
      if (MsgWaitForMultipleObjects(1, &done, FALSE, kWaitSliceMs, wakeOn) == WAIT_OBJECT_0) break;
      if (!held && GetTickCount64() - start >= kHoldWindowsAfterMs) held.emplace();
      AnswerWithoutActing(held.has_value());
      if (held) ShowWaitCursor();
    }
    if (held) {
      held.reset();
      SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    }
  }
  thread.Rethrow();
}

// A request the driver cancels comes back at once, and the call unwinds
// before the process goes; one it does not cancel keeps the process no
// longer than this.
constexpr DWORD kCancelledCallReturnsWithinMs = 1000;

void EndTheProgramInsideADriveCall() {
  const DriveCallThread& thread = TheDriveCallThread();
  thread.CancelIo();
  WaitForSingleObject(thread.Done(), kCancelledCallReturnsWithinMs);
  ExitProcess(0);
}

void WaitKeepingWindowsAnswering(std::uint32_t milliseconds, const std::function<void(std::uint32_t)>& sleep) {
  const HeldWindows held;
  for (std::uint32_t waited = 0; waited < milliseconds; waited += kWaitSliceMs) {
    sleep(std::min(kWaitSliceMs, milliseconds - waited));
    AnswerWithoutActing(true);
  }
}

}  // namespace norvane::ui
