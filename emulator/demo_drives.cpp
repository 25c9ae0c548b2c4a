#include "emulator/demo_drives.h"

namespace norvane::emu {
namespace {

// Drive E plays an audio CD at 75 sectors (frames) a second, two minutes in
// when the demo starts. Fifteen seconds later the disc gets worse, stretch by
// stretch: a few errors, then many, then a deep scratch; then it is clean
// again. So the Status tab goes from "Perfect" through the green, yellow and
// red levels to "Fatal" within a minute, and falls back slowly afterwards.
constexpr std::uint32_t kAudioSectorsPerSecond = 75;
constexpr std::uint32_t kFramesPerSecond = 75;
constexpr std::uint32_t kStartFrame = 120 * kFramesPerSecond;

constexpr std::uint32_t Second(std::uint32_t seconds) { return kStartFrame + seconds * kFramesPerSecond; }

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
  quiet.SetDamage({{Second(15), Second(30), 250}, {Second(30), Second(45), 25}, {Second(45), Second(60), 2}});
  quiet.SetCounters(0, kStartFrame, kStartFrame);
  quiet.StartAudio(kAudioSectorsPerSecond, 0);
  EmulatedDrive& general = devices.Attach('G', GeneralDriveModel());
  general.SetBusPower(kSlightlyLowBusPower);
  EmulatedDrive& weak = devices.Attach('H', QuietDriveModel());
  weak.SetBusPower(kBrownOutBusPower);
  for (EmulatedDrive* drive : {&quiet, &general, &weak}) drive->SetTrayPushedInAfter(kPersonPushesTrayInMs);
  devices.Attach('D', ForeignDriveModel());  // another vendor's: never listed
}

}  // namespace norvane::emu
