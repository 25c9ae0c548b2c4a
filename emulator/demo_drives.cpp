#include "emulator/demo_drives.h"

namespace norvane::emu {
namespace {

// One audio CD plays at 75 sectors a second; one sector in 2000 has an error.
constexpr std::uint32_t kAudioSectorsPerSecond = 75;
constexpr std::uint32_t kSectorsPerError = 2000;

}  // namespace

void AttachDemoDrives(EmulatedDevices& devices) {
  EmulatedDrive& quiet = devices.Attach('E', QuietDriveModel());
  quiet.InsertDisc();
  quiet.StartAudio(kAudioSectorsPerSecond, kSectorsPerError);
  devices.Attach('G', GeneralDriveModel());
  devices.Attach('D', ForeignDriveModel());  // another vendor's: never listed
}

}  // namespace norvane::emu
