#include "app/app.h"

#include <windows.h>
#include <commctrl.h>

#include <memory>

#include "app/main_window.h"
#include "drive/device_io.h"
#include "ui/waiting.h"

namespace norvane {
namespace {
CNorvaneDriveUtilityApp theApp;
}

bool CNorvaneDriveUtilityApp::InitInstance() {
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_WIN95_CLASSES;
  InitCommonControlsEx(&controls);
  // The pauses of the drive commands run on this, the window's thread.
  InstallWaitPause(&ui::KeepWindowsAnswering);
  auto mainWindow = std::make_unique<CNorvaneDriveUtilityDlg>();
  mainWindow->DoModal();
  return false;
}

int RunApplication() {
  theApp.InitInstance();
  return 0;
}

}  // namespace norvane
