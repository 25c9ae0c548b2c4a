// The system's word about drives in norvane-drive.exe: a CD/DVD drive that
// came or went, which list --watch waits on, and "Safely Remove" of the
// drive a status watch holds.
#include <windows.h>
#include <dbt.h>

#include <atomic>
#include <functional>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "drive/channel.h"
#include "emulator/device_broadcasts.h"
#include "emulator/emulated_devices.h"
#include "tool/cli.h"
#include "tool/exit_codes.h"
#include "tool/win32/drive_events_win32.h"

#include "cli_test_support.h"

namespace norvane::tool {
namespace {

// Far longer than the test waits for anything else.
constexpr DWORD kLongTickMs = 60000;

void Tell(HWND window, UINT event) {
  SendMessageTimeoutW(window, WM_DEVICECHANGE, event, emu::DeviceBroadcast::Interface().Address(), SMTO_NORMAL,
                      kLongTickMs, nullptr);
}

// A drive arriving or leaving ends the wait long before its tick would.
TEST(DriveEvents, ADriveThatComesOrGoesEndsTheWaitBeforeItsTick) {
  const HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  for (const UINT event : {DBT_DEVICEARRIVAL, DBT_DEVICEREMOVECOMPLETE}) {
    DriveEvents events;
    ASSERT_NE(events.Window(), nullptr);
    std::thread system([&] { Tell(events.Window(), event); });
    const ULONGLONG start = GetTickCount64();
    EXPECT_TRUE(events.Wait(never, kLongTickMs)) << "a drive came or went: every drive is worth a look";
    const ULONGLONG waited = GetTickCount64() - start;
    system.join();
    EXPECT_LT(waited, kLongTickMs / 2) << "event " << event;
  }
  CloseHandle(never);
}

// Ctrl-C signals the wake-up event: the wait ends at once.
TEST(DriveEvents, TheWakeUpEventEndsTheWait) {
  const HANDLE wakeUp = CreateEventW(nullptr, TRUE, TRUE, nullptr);
  DriveEvents events;
  const ULONGLONG start = GetTickCount64();
  EXPECT_FALSE(events.Wait(wakeUp, kLongTickMs)) << "no drive came or went";
  EXPECT_LT(GetTickCount64() - start, kLongTickMs / 2);
  CloseHandle(wakeUp);
}

// --- "Safely Remove" during status --watch ---

// What the system does during one tick of the watch: first to the drive
// (`before`), then it sends `event` about the watch's handle or, when
// `aboutTheDrive` is false, about another device's.
struct RemovalTick {
  std::function<void(emu::EmulatedDevices&)> before;
  UINT event = 0;  // 0: the system says nothing
  bool aboutTheDrive = true;
  int handlesOpen;    // the drive's handles once the system has its answer
  bool readingShown;  // the tick's line is a reading, not the last one marked "no answer"
};

// The system on a thread of its own, as it sends to the window while the
// watch's wait answers: the window's answer, or 0 when none came.
LRESULT TellAboutHandle(HWND window, UINT event, DeviceHandle handle) {
  DWORD_PTR answer = 0;
  SendMessageTimeoutW(window, WM_DEVICECHANGE, event, emu::DeviceBroadcast::Handle(handle).Address(), SMTO_NORMAL,
                      kLongTickMs, &answer);
  return static_cast<LRESULT>(answer);
}

// A status watch on the emulated drives whose ticks wait beside the drive as
// norvane-drive.exe's do, through DriveEvents; each tick plays a row of the
// script and notes how the system was answered and the handles then open.
// It also counts the handles closed while the system still sends news of
// them, other than the one it asked for (news of a handle that is gone may
// name the next one opened).
class RemovalScript final : public Platform {
 public:
  RemovalScript(emu::EmulatedDevices& devices, std::vector<RemovalTick> ticks)
      : m_devices(devices), m_source(devices), m_ticks(std::move(ticks)) {
    m_source.beforeClose = [this](DeviceHandle handle) {
      if (handle == m_watching && !m_answering) ++closedWhileWatched;
    };
  }
  ~RemovalScript() override { CloseHandle(m_never); }
  RemovalScript(const RemovalScript&) = delete;
  RemovalScript& operator=(const RemovalScript&) = delete;

  DriveSource& Drives(bool) override { return m_source; }
  bool Wait(std::chrono::milliseconds) override { return false; }
  void StopWatchingDrive() override {
    m_events.StopWatchingDrive();
    m_watching = kNoDevice;
  }

  Tick WaitBesideDrive(std::chrono::milliseconds) override {
    if (answers.size() == m_ticks.size()) return Tick::Interrupted;
    const RemovalTick& tick = m_ticks[answers.size()];
    if (tick.before) tick.before(m_devices);
    // A handle the system was told of stays its name for the drive after it is closed.
    if (Channel().device != kNoDevice) m_named = Channel().device;
    const DeviceHandle about = tick.aboutTheDrive ? m_named : kOtherDevice;
    std::atomic<bool> answered{tick.event == 0};
    LRESULT answer = 0;
    std::thread system;
    if (tick.event != 0) {
      system = std::thread([&] {
        answer = TellAboutHandle(m_events.Window(), tick.event, about);
        answered = true;
      });
    }
    m_answering = true;
    do {
      m_events.WaitBesideOpenDrive(m_never, kAnsweringMs);
    } while (!answered);
    m_answering = false;
    if (system.joinable()) system.join();
    // From its wait on, DriveEvents watches the handle open then, unless it let the drive go.
    m_watching = m_events.DriveLetGo() ? kNoDevice : Channel().device;
    answers.push_back(answer);
    handlesOpen.push_back(m_devices.OpenHandleCount());
    return m_events.DriveLetGo() ? Tick::DriveLetGo : Tick::DriveHeld;
  }

  std::vector<LRESULT> answers;
  std::vector<int> handlesOpen;
  int closedWhileWatched = 0;

 private:
  static constexpr DeviceHandle kOtherDevice = 0x7ffc;
  static constexpr DWORD kAnsweringMs = 20;

  emu::EmulatedDevices& m_devices;
  test::ScriptedSource m_source;
  std::vector<RemovalTick> m_ticks;
  DriveEvents m_events;
  HANDLE m_never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DeviceHandle m_named = kNoDevice;
  DeviceHandle m_watching = kNoDevice;  // the handle DriveEvents registered for
  bool m_answering = false;             // inside the wait, where the system's question is answered
};

struct RemovalCase {
  const char* name;
  std::vector<RemovalTick> ticks;
};

// Asked whether the drive may go, the watch lets go of it at once (no handle
// left to refuse the removal), and goes on: its ticks show the last reading
// marked, without asking the drive anything or opening it while the removal
// is under way. A removal refused gives the drive back at once; a removal
// done leaves the watch to find the drive once it is plugged in again; a
// drive pulled out without asking has its dead handle closed. Another
// device's removal changes nothing. The watch ends only when interrupted.
TEST(DriveEvents, SafelyRemoveDuringAStatusWatchFindsTheDriveLetGo) {
  const auto unplug = [](emu::EmulatedDevices& d) { d.Unplug('E'); };
  const auto plug = [](emu::EmulatedDevices& d) { d.Plug('E'); };
  const RemovalCase cases[] = {
      {"another device's removal", {{{}, DBT_DEVICEQUERYREMOVE, false, 1, true}, {{}, 0, true, 1, true}}},
      {"a removal refused",
       {{{}, DBT_DEVICEQUERYREMOVE, true, 0, false},
        {{}, 0, true, 0, false},
        {{}, DBT_DEVICEQUERYREMOVEFAILED, true, 1, true},
        {{}, 0, true, 1, true}}},
      {"a removal done, then the drive plugged in again",
       {{{}, DBT_DEVICEQUERYREMOVE, true, 0, false},
        {unplug, DBT_DEVICEREMOVECOMPLETE, true, 0, false},
        {{}, 0, true, 0, false},
        {plug, 0, true, 0, true},
        {{}, 0, true, 1, true}}},
      {"a drive pulled out without asking",
       {{unplug, DBT_DEVICEREMOVECOMPLETE, true, 0, false}, {plug, 0, true, 0, true}, {{}, 0, true, 1, true}}},
      // As under Wine, which sends no news of handles: the watch's own
      // reopening closes the dead handle, after it stopped watching it.
      {"a drive pulled out unannounced",
       {{unplug, 0, true, 1, false}, {plug, 0, true, 1, true}, {{}, 0, true, 1, true}}},
  };
  for (const RemovalCase& c : cases) {
    SCOPED_TRACE(c.name);
    Channel() = DriveChannel{};
    emu::EmulatedDevices devices;
    devices.Attach('E', emu::QuietDriveModel());
    RemovalScript script(devices, c.ticks);
    std::istringstream none;
    std::ostringstream out, err;
    Console console{none, out, err};
    const int code = RunNorvaneDrive({"-d", "E", "status", "--watch"}, console, script);
    EXPECT_EQ(code, static_cast<int>(Exit::Interrupted)) << "a watch ends only when interrupted: " << err.str();
    EXPECT_EQ(devices.OpenHandleCount(), 0) << "the drive is closed at the end";
    EXPECT_EQ(script.closedWhileWatched, 0) << "a handle was closed while the system still sent news of it";
    std::vector<std::string> lines;
    std::istringstream text(out.str());
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), c.ticks.size() + 1) << "the first reading and a line a tick:\n" << out.str();
    for (std::size_t i = 0; i < c.ticks.size(); ++i) {
      const RemovalTick& tick = c.ticks[i];
      SCOPED_TRACE("tick " + std::to_string(i + 1));
      if (tick.event != 0) {
        EXPECT_EQ(script.answers[i], TRUE) << "the system's question or news is answered";
      }
      EXPECT_EQ(script.handlesOpen[i], tick.handlesOpen);
      EXPECT_EQ(lines[i + 1].find("(no answer") == std::string::npos, tick.readingShown) << lines[i + 1];
    }
  }
  Channel() = DriveChannel{};
}

}  // namespace
}  // namespace norvane::tool
