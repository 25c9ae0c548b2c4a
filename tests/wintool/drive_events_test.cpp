// The system's word that a CD/DVD drive came or went, which list --watch
// waits on in norvane-drive.exe.
#include <windows.h>
#include <dbt.h>

#include <thread>

#include <gtest/gtest.h>

#include "tool/win32/drive_events_win32.h"

namespace norvane::tool {
namespace {

// Far longer than the test waits for anything else.
constexpr DWORD kLongTickMs = 60000;

void Tell(HWND window, UINT event) {
  DEV_BROADCAST_DEVICEINTERFACE_W about{};
  about.dbcc_size = sizeof about;
  about.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  SendMessageTimeoutW(window, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(&about), SMTO_NORMAL, kLongTickMs,
                      nullptr);
}

// A drive arriving or leaving ends the wait long before its tick would.
TEST(DriveEvents, ADriveThatComesOrGoesEndsTheWaitBeforeItsTick) {
  const HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  for (const UINT event : {DBT_DEVICEARRIVAL, DBT_DEVICEREMOVECOMPLETE}) {
    DriveEvents events;
    ASSERT_NE(events.Window(), nullptr);
    std::thread system([&] { Tell(events.Window(), event); });
    const ULONGLONG start = GetTickCount64();
    events.Wait(never, kLongTickMs);
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
  events.Wait(wakeUp, kLongTickMs);
  EXPECT_LT(GetTickCount64() - start, kLongTickMs / 2);
  CloseHandle(wakeUp);
}

}  // namespace
}  // namespace norvane::tool
