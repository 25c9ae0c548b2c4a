#include "app/app.h"

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <memory>

#include "app/main_window.h"
#include "drive/device_io.h"
#include "drive/shared_mutex_win32.h"
#include "platform/scoped.h"
#include "ui/message_box.h"
#include "ui/waiting.h"

namespace norvane {
namespace {
CNorvaneDriveUtilityApp theApp;

// The main dialog's caption, the same in both languages.
constexpr wchar_t kMainWindowCaption[] = L"Norvane BD Drive Utility";

// A first copy that has the claim but no window yet may still be starting:
// a second start looks for its window this long. One that shows none by
// then (hung before its window came up) does not keep the program from
// starting.
constexpr DWORD kStartingWindowMs = 5000;
constexpr DWORD kLookEveryMs = 100;

// Two windows on top of each other would only take turns at the same drives:
// a second start in the session shows the first one instead. The window's
// thread owns a mutex from the start until its window is gone. A window
// closed inside a drive's call ends the program there and then, and the
// system lets go of the mutex with the thread, even while the process still
// waits for a command that the driver does not cancel (a process without
// windows until the command's time-out): such a copy no longer counts.
class WindowClaim {
 public:
  WindowClaim() : m_mutex(OpenSharedMutex(RunningWindowName()).handle), m_owned(Own(0)) {}
  ~WindowClaim() {
    if (m_owned) ReleaseMutex(m_mutex);
    if (m_mutex) CloseHandle(m_mutex);
  }
  WindowClaim(const WindowClaim&) = delete;
  WindowClaim& operator=(const WindowClaim&) = delete;

  bool Owned() const { return m_owned; }
  // Waits up to `milliseconds` for the copy that has it to let go or end.
  bool AwaitOwnership(DWORD milliseconds) {
    m_owned = Own(milliseconds);
    return m_owned;
  }

 private:
  // An abandoned mutex (its owner ended without letting go) is ours. One
  // this program may not wait on (made by an older release, or by someone
  // else) leaves only the window to look for.
  bool Own(DWORD milliseconds) const {
    if (m_mutex == nullptr) {
      Sleep(milliseconds);
      return false;
    }
    const DWORD wait = WaitForSingleObject(m_mutex, milliseconds);
    return wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
  }

  HANDLE m_mutex;
  bool m_owned;
};

// The first copy's window once it shows; none when that copy lets go of the
// claim first, or shows none in the time a start takes.
HWND AwaitRunningWindow(WindowClaim& claim) {
  for (DWORD looked = 0; looked < kStartingWindowMs; looked += kLookEveryMs) {
    if (HWND running = FindWindowW(L"#32770", kMainWindowCaption)) return running;
    if (claim.AwaitOwnership(kLookEveryMs)) return nullptr;
  }
  return nullptr;
}

void BringForward(HWND running) {
  if (IsIconic(running)) ShowWindow(running, SW_RESTORE);
  SetForegroundWindow(GetLastActivePopup(running));
}

}  // namespace

bool CNorvaneDriveUtilityApp::InitInstance() {
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_WIN95_CLASSES;
  InitCommonControlsEx(&controls);
  // The window's thread serves accessibility clients in other processes:
  // the objects it hands them are marshalled through COM.
  const ComApartment com;
  // The drive's waits run on this, the window's thread; its calls on
  // another, while this one keeps the window answering.
  InstallWaitRunner(&ui::WaitKeepingWindowsAnswering);
  InstallCallRunner(&ui::RunKeepingWindowsAnswering);
  auto mainWindow = std::make_unique<CNorvaneDriveUtilityDlg>();
  mainWindow->DoModal();
  mainWindow.reset();
  return false;
}

std::wstring RunningWindowName() { return L"Local\\" + ui::ApplicationName() + L"-Window"; }

int RunApplication() {
  WindowClaim claim;
  if (!claim.Owned()) {
    if (HWND running = AwaitRunningWindow(claim)) {
      BringForward(running);
      return 0;
    }
  }
  theApp.InitInstance();
  return 0;
}

}  // namespace norvane
