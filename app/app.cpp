#include "app/app.h"

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

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
  // The window's thread serves accessibility clients in other processes:
  // the objects it hands them are marshalled through COM.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  // The drive's waits run on this, the window's thread; its calls on
  // another, while this one keeps the window answering.
  InstallWaitRunner(&ui::WaitKeepingWindowsAnswering);
  InstallCallRunner(&ui::RunKeepingWindowsAnswering);
  auto mainWindow = std::make_unique<CNorvaneDriveUtilityDlg>();
  mainWindow->DoModal();
  mainWindow.reset();
  if (SUCCEEDED(com)) CoUninitialize();
  return false;
}

int RunApplication() {
  theApp.InitInstance();
  return 0;
}

}  // namespace norvane
