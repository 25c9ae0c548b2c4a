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
  EmulatedDrive& quiet = devices.Attach('E', QuietDriveModel());
  quiet.InsertDisc();
  quiet.SetDamage({{Second(15), Second(30), 250}, {Second(30), Second(45), 25}, {Second(45), Second(60), 2}});
  quiet.SetCounters(0, kStartFrame, kStartFrame);
  quiet.StartAudio(kAudioSectorsPerSecond, 0);
  devices.Attach('G', GeneralDriveModel());
  devices.Attach('D', ForeignDriveModel());  // another vendor's: never listed
}

}  // namespace norvane::emu
