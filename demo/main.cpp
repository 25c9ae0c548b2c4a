// NorvaneDriveUtilityDemo.exe: the utility on emulated drives, in their
// factory state, with time passing as it does for a person watching.
#include <windows.h>

#include "app/app.h"
#include "emulator/emulated_devices.h"

namespace {

// One audio CD plays at 75 sectors a second; one sector in 2000 has an error.
constexpr std::uint32_t kAudioSectorsPerSecond = 75;
constexpr std::uint32_t kSectorsPerError = 2000;

void AttachDemoDrives(norvane::emu::EmulatedDevices& devices) {
  norvane::emu::EmulatedDrive& quiet = devices.Attach('E', norvane::emu::QuietDriveModel());
  quiet.InsertDisc();
  quiet.StartAudio(kAudioSectorsPerSecond, kSectorsPerError);
  devices.Attach('G', norvane::emu::GeneralDriveModel());
  devices.Attach('D', norvane::emu::ForeignDriveModel());  // another vendor's: never listed
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  static norvane::emu::EmulatedDevices devices;
  devices.Clock().FollowRealTime(true);
  AttachDemoDrives(devices);
  norvane::InstallDeviceIo(devices);
  return norvane::RunApplication();
}
