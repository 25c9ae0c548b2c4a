#include "app/app.h"

#include <windows.h>
#include <commctrl.h>

#include <memory>

#include "app/main_window.h"

namespace norvane {
namespace {
CNorvaneDriveUtilityApp theApp;
}

bool CNorvaneDriveUtilityApp::InitInstance() {
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_WIN95_CLASSES;
  InitCommonControlsEx(&controls);
  auto mainWindow = std::make_unique<CNorvaneDriveUtilityDlg>();
  mainWindow->DoModal();
  return false;
}

int RunApplication() {
  theApp.InitInstance();
  return 0;
}

}  // namespace norvane
