// The demo's USB bus: drives come and go by themselves, so that anyone can
// watch the drive list follow. J is plugged in 30 s after start, pulled out
// a minute later, and so on every two minutes; H, once it has dropped off
// for want of power, comes back 30 s later, as a USB drive re-enumerates
// when its port recovers. Each change is told to the program's windows as
// the system tells it: WM_DEVICECHANGE for the drive's volume.
#pragma once

#include <cstdint>
#include <optional>

#include "emulator/emulated_devices.h"

namespace norvane::emu {

class DemoBus {
 public:
  explicit DemoBus(EmulatedDevices& devices) : m_devices(devices) {}

  // Brings the bus to `elapsedMs` after start.
  void Advance(std::uint64_t elapsedMs);
  // Advances the bus once a second, from the calling thread's message loop,
  // in real time from now.
  void Run();

  static constexpr char kComingAndGoing = 'J';
  static constexpr std::uint64_t kCycleMs = 120000;
  static constexpr std::uint64_t kPluggedInAtMs = 30000;  // in each cycle
  static constexpr std::uint64_t kPulledOutAtMs = 90000;
  static constexpr char kWeak = 'H';
  static constexpr std::uint64_t kReEnumeratesAfterMs = 30000;

 private:
  void PlugInOrPullOut(bool present);
  void FollowWeakDrive(std::uint64_t elapsedMs);

  EmulatedDevices& m_devices;
  std::optional<std::uint64_t> m_weakGoneAt;
};

}  // namespace norvane::emu
