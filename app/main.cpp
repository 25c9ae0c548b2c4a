// NorvaneDriveUtility.exe: the utility on the real drives.
#include <windows.h>

#include "app/app.h"
#include "drive/device_io.h"
#include "drive/device_io_win32.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // DLLs load from the system directory only, never from the program's
  // folder or the current directory.
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  norvane::InstallDeviceIo(norvane::Win32Devices());
  return norvane::RunApplication();
}
