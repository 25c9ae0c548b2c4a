#include "emulator/demo_drives.h"

namespace norvane::emu {
namespace {

// Drive E plays a track of an audio CD at 75 sectors (frames) a second, over
// and over; the drive counts each play anew. Each play of the track starts
// clean ("Perfect"), then a scratched stretch brings one error in every
// hundred sectors ("Not Good", then "Bad"), a deep scratch one in four
// ("Fatal"), and the clean rest of the track lets the level fall back. So
// the Status tab, opened at any time or after Clear, goes through at least
// three words within two minutes.
constexpr std::uint32_t kAudioSectorsPerSecond = 75;
constexpr std::uint32_t kFramesPerSecond = 75;
constexpr std::uint32_t kTrackFirstFrame = 120 * kFramesPerSecond;
constexpr std::uint32_t kTrackSeconds = 90;

constexpr std::uint32_t Second(std::uint32_t seconds) { return kTrackFirstFrame + seconds * kFramesPerSecond; }

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
  quiet.SetDamage({{Second(10), Second(25), 100}, {Second(25), Second(35), 4}});
  quiet.RepeatTrack(Second(0), Second(kTrackSeconds));
  quiet.SetCounters(0, 0, Second(0));
  quiet.StartAudio(kAudioSectorsPerSecond, 0);
  EmulatedDrive& general = devices.Attach('G', GeneralDriveModel());
  general.SetBusPower(kSlightlyLowBusPower);
  EmulatedDrive& weak = devices.Attach('H', QuietDriveModel());
  weak.SetBusPower(kBrownOutBusPower);
  for (EmulatedDrive* drive : {&quiet, &general, &weak}) drive->SetTrayPushedInAfter(kPersonPushesTrayInMs);
  devices.Attach('D', ForeignDriveModel());  // another vendor's: never listed
}

}  // namespace norvane::emu
