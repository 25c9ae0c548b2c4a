// NorvaneDriveUtilityDemo.exe: the utility on emulated drives, in their
// factory state, with time passing as it does for a person watching.
#include <windows.h>

#include "app/app.h"
#include "demo/demo_bus.h"
#include "emulator/demo_drives.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  static norvane::emu::EmulatedDevices devices;
  devices.Clock().FollowRealTime(true);
  norvane::emu::AttachDemoDrives(devices);
  norvane::InstallDeviceIo(devices);
  static norvane::emu::DemoBus bus(devices);
  bus.Run();
  return norvane::RunApplication();
}
