#include "demo/demo_bus.h"

#include <windows.h>

#include "emulator/device_broadcasts.h"

namespace norvane::emu {
namespace {

struct Change {
  UINT event;
  DeviceBroadcast about;
};

BOOL CALLBACK Tell(HWND window, LPARAM change) {
  const auto* told = reinterpret_cast<const Change*>(change);
  SendMessageW(window, WM_DEVICECHANGE, told->event, told->about.Address());
  return TRUE;
}

// The system sends a volume's coming and going to every top-level window.
// The demo's drives belong to this process alone: its windows hear of them.
void TellWindows(UINT event, char letter) {
  const Change change{event, DeviceBroadcast::Volume(letter)};
  EnumThreadWindows(GetCurrentThreadId(), Tell, reinterpret_cast<LPARAM>(&change));
}

DemoBus* runningBus = nullptr;
ULONGLONG runningSince = 0;

void CALLBACK OnSecond(HWND, UINT, UINT_PTR, DWORD) { runningBus->Advance(GetTickCount64() - runningSince); }

}  // namespace

void DemoBus::Advance(std::uint64_t elapsedMs) {
  const std::uint64_t inCycle = elapsedMs % kCycleMs;
  PlugInOrPullOut(inCycle >= kPluggedInAtMs && inCycle < kPulledOutAtMs);
  FollowWeakDrive(elapsedMs);
}

void DemoBus::PlugInOrPullOut(bool present) {
  EmulatedDrive* drive = m_devices.Drive(kComingAndGoing);
  if (present == (drive != nullptr && drive->Connected())) return;
  if (!present) {
    m_devices.Unplug(kComingAndGoing);
  } else if (drive) {
    m_devices.Plug(kComingAndGoing);
  } else {
    m_devices.Attach(kComingAndGoing, GeneralDriveModel());
  }
  TellWindows(present ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE, kComingAndGoing);
}

void DemoBus::FollowWeakDrive(std::uint64_t elapsedMs) {
  EmulatedDrive* weak = m_devices.Drive(kWeak);
  if (!weak) return;
  if (weak->Connected()) {
    m_weakGoneAt.reset();
    return;
  }
  if (!m_weakGoneAt) {
    m_weakGoneAt = elapsedMs;
    TellWindows(DBT_DEVICEREMOVECOMPLETE, kWeak);
  } else if (elapsedMs - *m_weakGoneAt >= kReEnumeratesAfterMs) {
    m_devices.Plug(kWeak);
    m_weakGoneAt.reset();
    TellWindows(DBT_DEVICEARRIVAL, kWeak);
  }
}

// A thread timer's callback runs from the message loop, never inside a call
// for a drive (which answers only sent messages): the drives change only
// while no command is on its way to them.
void DemoBus::Run() {
  runningBus = this;
  runningSince = GetTickCount64();
  SetTimer(nullptr, 0, 1000, OnSecond);
}

}  // namespace norvane::emu
