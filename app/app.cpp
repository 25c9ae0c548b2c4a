#include "app/app.h"

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <memory>

#include "app/main_window.h"
#include "drive/device_io.h"
#include "ui/message_box.h"
#include "ui/scoped.h"
#include "ui/waiting.h"

namespace norvane {
namespace {
CNorvaneDriveUtilityApp theApp;

// The main dialog's caption, the same in both languages.
constexpr wchar_t kMainWindowCaption[] = L"Norvane BD Drive Utility";

// Two windows on top of each other would only take turns at the same drives:
// a second start in the session shows the first one instead. The handle is
// kept for the life of the process; the system lets go of it at the end.
bool AnotherWindowRuns() {
  const std::wstring name = L"Local\\" + ui::ApplicationName() + L"-Window";
  CreateMutexW(nullptr, FALSE, name.c_str());
  return GetLastError() == ERROR_ALREADY_EXISTS;
}

void BringRunningWindowForward() {
  HWND running = FindWindowW(L"#32770", kMainWindowCaption);
  if (running == nullptr) return;  // still starting: it comes up in front by itself
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
  const ui::ComApartment com;
  // The drive's waits run on this, the window's thread; its calls on
  // another, while this one keeps the window answering.
  InstallWaitRunner(&ui::WaitKeepingWindowsAnswering);
  InstallCallRunner(&ui::RunKeepingWindowsAnswering);
  auto mainWindow = std::make_unique<CNorvaneDriveUtilityDlg>();
  mainWindow->DoModal();
  mainWindow.reset();
  return false;
}

int RunApplication() {
  if (AnotherWindowRuns()) {
    BringRunningWindowForward();
    return 0;
  }
  theApp.InitInstance();
  return 0;
}

}  // namespace norvane
