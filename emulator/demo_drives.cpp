#include "emulator/demo_drives.h"

namespace norvane::emu {
namespace {

// One audio CD plays at 75 sectors a second; one sector in 2000 has an error.
constexpr std::uint32_t kAudioSectorsPerSecond = 75;
constexpr std::uint32_t kSectorsPerError = 2000;

}  // namespace

void AttachDemoDrives(EmulatedDevices& devices) {
  // The bus power check gives each verdict on one drive: E gets enough power,
  // G a little too little (at most 4400, yet above the brown-out), and H so
  // little that it drops off the bus during the measurement.
  constexpr std::uint32_t kSlightlyLowBusPower = 4300;
  constexpr std::uint32_t kBrownOutBusPower = 3500;
  // Nobody can push a tray in during the demo, so a person at the drives does:
  // a tray the program opened with a disc on it goes back in this much later.
  constexpr std::uint32_t kPersonPushesTrayInMs = 3000;

  EmulatedDrive& quiet = devices.Attach('E', QuietDriveModel());
  quiet.InsertDisc();
  quiet.StartAudio(kAudioSectorsPerSecond, kSectorsPerError);
  EmulatedDrive& general = devices.Attach('G', GeneralDriveModel());
  general.SetBusPower(kSlightlyLowBusPower);
  EmulatedDrive& weak = devices.Attach('H', QuietDriveModel());
  weak.SetBusPower(kBrownOutBusPower);
  for (EmulatedDrive* drive : {&quiet, &general, &weak}) drive->SetTrayPushedInAfter(kPersonPushesTrayInMs);
  devices.Attach('D', ForeignDriveModel());  // another vendor's: never listed
}

}  // namespace norvane::emu
