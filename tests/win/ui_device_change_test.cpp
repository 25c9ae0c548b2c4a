// Drives and discs that come and go while the window is open: the system's
// WM_DEVICECHANGE notifications, as Windows fills them in, delivered while
// the emulated devices gain or lose a drive or a disc.
#include <windows.h>
#include <commctrl.h>
#include <dbt.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "demo/demo_bus.h"
#include "drive/channel.h"
#include "emulator/demo_drives.h"
#include "emulator/device_broadcasts.h"
#include "pages/status_page.h"
#include "pages/utility_page.h"
#include "resource.h"
#include "tests/common/command_blocks.h"
#include "ui/activity.h"
#include "ui_test_support.h"

namespace norvane::test {
namespace {

using Broadcast = emu::DeviceBroadcast;

class DeviceChange : public MainWindowTest {
 protected:
  LRESULT Deliver(UINT event, const Broadcast& about) const {
    return SendMessageW(Main(), WM_DEVICECHANGE, event, about.Address());
  }
  // What the window put off until it is free runs now, as from its loop.
  void Settle() const {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) m_window->ProcessMessage(msg);
  }
  std::vector<char> Listed() const {
    std::vector<char> letters;
    const auto count = static_cast<int>(SendMessageW(Control(IDC_DRIVE_LIST), CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) letters.push_back(m_window->LetterAt(i));
    return letters;
  }
  int TabCount() const { return static_cast<int>(SendMessageW(Control(IDC_PAGE_TABS), TCM_GETITEMCOUNT, 0, 0)); }
  void ClearLogs() {
    for (char letter = 'C'; letter <= 'Z'; ++letter) {
      if (emu::EmulatedDrive* drive = m_devices.Drive(letter)) drive->ClearLog();
    }
  }
  bool AnythingSent() {
    for (char letter = 'C'; letter <= 'Z'; ++letter) {
      if (emu::EmulatedDrive* drive = m_devices.Drive(letter); drive && !drive->Log().empty()) return true;
    }
    return false;
  }
  // Whether the pages read the drive's status since the logs were cleared.
  bool PagesRead(char letter) {
    const emu::EmulatedDrive* drive = m_devices.Drive(letter);
    if (!drive) return false;
    const auto& log = drive->Log();
    return std::any_of(log.begin(), log.end(), [](const emu::LoggedCommand& c) { return c.cdb == kReadStatus; });
  }
};

std::wstring NotConnected() {
  return ForRun(L"The drive is not connected.",
                L"ドライブが接続されていません。\r\nドライブを接続後、ユーティリティを立ち上げてください。");
}

// ---- drives and discs that come and go ----

struct Coming {
  const char* name;
  std::vector<char> before;  // attached at start, in this order
  int shownIndex;            // the entry picked before the change
  std::function<void(emu::EmulatedDevices&)> change;
  std::vector<std::pair<UINT, Broadcast>> notifications;
  std::vector<char> after;  // the list afterwards
  char shownAfter;          // the entry shown and the drive open afterwards (0: none)
  bool pagesRead;           // the pages read the shown drive anew
};

TEST_F(DeviceChange, TheListAndThePagesFollowDrivesAndDiscsThatComeAndGo) {
  const auto attach = [](char letter) {
    return [letter](emu::EmulatedDevices& devices) { devices.Attach(letter, emu::QuietDriveModel()); };
  };
  const auto detach = [](char letter) { return [letter](emu::EmulatedDevices& devices) { devices.Detach(letter); }; };
  const Coming cases[] = {
      {"a new drive's volume arrives",
       {'E'},
       0,
       attach('G'),
       {{DBT_DEVICEARRIVAL, Broadcast::Volume('G')}},
       {'E', 'G'},
       'E',
       false},
      {"a new drive before the shown one, told by its interface",
       {'G'},
       0,
       attach('E'),
       {{DBT_DEVICEARRIVAL, Broadcast::Interface()}},
       {'E', 'G'},
       'G',
       false},
      {"another drive goes",
       {'E', 'G'},
       0,
       detach('G'),
       {{DBT_DEVICEREMOVECOMPLETE, Broadcast::Interface()}, {DBT_DEVICEREMOVECOMPLETE, Broadcast::Volume('G')}},
       {'E'},
       'E',
       false},
      {"the shown drive goes",
       {'E', 'G'},
       1,
       detach('G'),
       {{DBT_DEVICEREMOVECOMPLETE, Broadcast::Volume('G')}},
       {'E'},
       'E',
       true},
      {"the last drive goes",
       {'E'},
       0,
       detach('E'),
       {{DBT_DEVICEREMOVECOMPLETE, Broadcast::Volume('E')}},
       {},
       0,
       false},
      {"a volume that is no CD/DVD drive comes",
       {'E'},
       0,
       attach('G'),
       {{DBT_DEVICEARRIVAL, Broadcast::Volume('C')}},
       {'E'},
       'E',
       false},
      {"a device of another class comes",
       {'E'},
       0,
       attach('G'),
       {{DBT_DEVICEARRIVAL,
         Broadcast::Interface(GUID{0xa5dcbf10, 0x6530, 0x11d2, {0x90, 0x1f, 0x00, 0xc0, 0x4f, 0xb9, 0x51, 0xed}})}},
       {'E'},
       'E',
       false},
      {"a disc goes into the shown drive",
       {'E', 'G'},
       0,
       [](emu::EmulatedDevices& devices) { devices.Drive('E')->InsertDisc(); },
       {{DBT_DEVICEARRIVAL, Broadcast::Media('E')}},
       {'E', 'G'},
       'E',
       true},
      {"the disc leaves the shown drive",
       {'E', 'G'},
       1,
       [](emu::EmulatedDevices& devices) { devices.Drive('G')->RemoveDisc(); },
       {{DBT_DEVICEREMOVECOMPLETE, Broadcast::Media('G')}},
       {'E', 'G'},
       'G',
       true},
      {"a disc goes into another drive",
       {'E', 'G'},
       0,
       [](emu::EmulatedDevices& devices) { devices.Drive('G')->InsertDisc(); },
       {{DBT_DEVICEARRIVAL, Broadcast::Media('G')}},
       {'E', 'G'},
       'E',
       false},
  };
  for (const Coming& c : cases) {
    SCOPED_TRACE(c.name);
    for (char letter : c.before) m_devices.Attach(letter, emu::QuietDriveModel());
    Start();
    SelectDrive(c.shownIndex);
    Settle();
    ClearLogs();
    c.change(m_devices);
    for (const auto& [event, about] : c.notifications) EXPECT_EQ(Deliver(event, about), TRUE);
    EXPECT_FALSE(AnythingSent()) << "a drive was read inside the notification";
    Settle();

    EXPECT_EQ(Listed(), c.after);
    EXPECT_EQ(m_window->ShownLetter(), c.shownAfter);
    EXPECT_EQ(Channel().letter, c.shownAfter);
    EXPECT_EQ(Channel().device != kNoDevice, c.shownAfter != 0);
    EXPECT_EQ(m_devices.OpenHandleCount(), c.shownAfter != 0 ? 1 : 0);
    EXPECT_EQ(PagesRead(c.shownAfter), c.pagesRead);
    // With no drive left the window looks as after a start without one.
    EXPECT_EQ(TabCount(), c.after.empty() ? 0 : 3);
    EXPECT_EQ(WindowText(Control(IDC_MESSAGE)), c.after.empty() ? NotConnected() : L"");

    m_window.reset();
    CloseDrive();
    for (char letter = 'C'; letter <= 'Z'; ++letter) m_devices.Detach(letter);
  }
}

// With no drive left the pages are kept hidden; the next drive brings them
// back showing it.
TEST_F(DeviceChange, ADrivePluggedInAfterTheLastWentBringsThePagesBack) {
  m_devices.Attach('E', emu::QuietDriveModel());
  Start();
  m_devices.Detach('E');
  Deliver(DBT_DEVICEREMOVECOMPLETE, Broadcast::Volume('E'));
  Settle();
  ASSERT_EQ(TabCount(), 0);
  for (HWND page :
       {m_window->SettingsPage()->Handle(), m_window->StatusPage()->Handle(), m_window->UtilityPage()->Handle()}) {
    EXPECT_FALSE(IsWindowVisible(page));
  }

  m_devices.Attach('G', emu::GeneralDriveModel());
  Deliver(DBT_DEVICEARRIVAL, Broadcast::Volume('G'));
  Settle();
  EXPECT_EQ(Listed(), std::vector<char>{'G'});
  EXPECT_EQ(TabCount(), 3);
  EXPECT_EQ(WindowText(Control(IDC_MESSAGE)), L"");
  EXPECT_TRUE(IsWindowVisible(m_window->SettingsPage()->Handle()));
  EXPECT_TRUE(PagesRead('G'));
  EXPECT_EQ(Channel().letter, 'G');
}

// ---- "Safely Remove" ----

TEST_F(DeviceChange, AQueryToRemoveTheOpenDriveLetsGoOfItAndARefusedRemovalOpensItAgain) {
  m_devices.Attach('E', emu::QuietDriveModel());
  m_devices.Attach('G', emu::QuietDriveModel());
  Start();
  const DeviceHandle open = Channel().device;
  ASSERT_NE(open, kNoDevice);

  // A question about another device's handle changes nothing.
  EXPECT_EQ(Deliver(DBT_DEVICEQUERYREMOVE, Broadcast::Handle(open + 1)), TRUE);
  EXPECT_EQ(m_devices.OpenHandleCount(), 1);

  EXPECT_EQ(Deliver(DBT_DEVICEQUERYREMOVE, Broadcast::Handle(open)), TRUE);
  EXPECT_EQ(m_devices.OpenHandleCount(), 0);
  EXPECT_EQ(Channel().device, kNoDevice);
  EXPECT_EQ(Channel().notification, kNoDevice);

  // Another program refused: the drive stays, and is opened again.
  EXPECT_EQ(Deliver(DBT_DEVICEQUERYREMOVEFAILED, Broadcast::Handle(open)), TRUE);
  Settle();
  EXPECT_EQ(Listed(), (std::vector<char>{'E', 'G'}));
  EXPECT_EQ(Channel().letter, 'E');
  ASSERT_NE(Channel().device, kNoDevice);
  EXPECT_EQ(m_devices.OpenHandleCount(), 1);

  // The next question names the handle opened again; this time the drive goes.
  const DeviceHandle reopened = Channel().device;
  EXPECT_EQ(Deliver(DBT_DEVICEQUERYREMOVE, Broadcast::Handle(reopened)), TRUE);
  EXPECT_EQ(m_devices.OpenHandleCount(), 0);
  m_devices.Detach('E');
  EXPECT_EQ(Deliver(DBT_DEVICEREMOVECOMPLETE, Broadcast::Handle(reopened)), TRUE);
  Settle();
  EXPECT_EQ(Listed(), std::vector<char>{'G'});
  EXPECT_EQ(Channel().letter, 'G');
  EXPECT_EQ(m_devices.OpenHandleCount(), 1);
}

// During a bus power check the window lets go too: the check ends as for a
// drive that no longer answers, and the list follows once the drive has gone.
TEST_F(DeviceChange, AQueryToRemoveDuringTheCheckEndsTheCheckAndTheListFollowsTheRemoval) {
  m_devices.Attach('E', emu::QuietDriveModel());
  m_devices.Attach('G', emu::GeneralDriveModel());
  Start();
  SelectTab(2);
  HWND page = m_window->UtilityPage()->Handle();
  WhileAnsweringEach(
      Main(),
      [&](HWND box) {
        m_devices.Drive('E')->CloseTray();
        m_devices.Clock().Advance(emu::kDefaultSpinUpMs);
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
      },
      [&] { SendMessageW(GetDlgItem(page, IDC_RUN_CHECK), BM_CLICK, 0, 0); });
  ASSERT_TRUE(ui::Activity::Now().Inside(ui::Activity::Kind::BusPowerCheck)) << "the check is counting down";
  ASSERT_NE(Channel().notification, kNoDevice);
  for (int i = 0; i < 5; ++i) SendMessageW(page, WM_TIMER, 0, 0);
  const DeviceHandle open = Channel().device;

  EXPECT_EQ(Deliver(DBT_DEVICEQUERYREMOVE, Broadcast::Handle(open)), TRUE);
  EXPECT_EQ(m_devices.OpenHandleCount(), 0) << "the command and the notification handle";
  m_devices.Detach('E');
  Deliver(DBT_DEVICEREMOVECOMPLETE, Broadcast::Handle(open));
  Deliver(DBT_DEVICEREMOVECOMPLETE, Broadcast::Volume('E'));
  std::vector<std::wstring> notices;
  WhileAnsweringEach(
      Main(),
      [&](HWND box) {
        notices.push_back(InspectMessageBox(box).text);
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
      },
      [&] { Settle(); });
  EXPECT_EQ(notices, std::vector<std::wstring>{NotConnected()});
  EXPECT_FALSE(ui::Activity::Now().Inside(ui::Activity::Kind::BusPowerCheck));
  EXPECT_TRUE(IsWindowEnabled(Control(IDC_DRIVE_LIST)));
  EXPECT_EQ(WindowText(GetDlgItem(page, IDC_CHECK_RESULT)), L"") << "no verdict for a drive that went";
  EXPECT_EQ(Listed(), std::vector<char>{'G'});
  EXPECT_EQ(Channel().letter, 'G');
  EXPECT_EQ(m_devices.OpenHandleCount(), 1);
}

// A cable pulled: the removal comes without a query (pending, then
// complete), and the handle goes at once, before the list follows. A
// notification that names another registration is about another handle,
// whatever the value of the handle it names.
TEST_F(DeviceChange, ARemovalWithoutAQueryClosesTheHandleAtOnce) {
  m_devices.Attach('E', emu::QuietDriveModel());
  m_devices.Attach('G', emu::QuietDriveModel());
  Start();
  const DeviceHandle open = Channel().device;
  ASSERT_NE(open, kNoDevice);
  const auto otherRegistration = reinterpret_cast<HDEVNOTIFY>(static_cast<ULONG_PTR>(0x7ff0));
  EXPECT_EQ(Deliver(DBT_DEVICEREMOVEPENDING, Broadcast::Handle(open, otherRegistration)), TRUE);
  EXPECT_EQ(Channel().device, open) << "the window let go for another registration's handle";

  m_devices.Unplug('E');
  EXPECT_EQ(Deliver(DBT_DEVICEREMOVEPENDING, Broadcast::Handle(open)), TRUE);
  EXPECT_EQ(Channel().device, kNoDevice);
  EXPECT_EQ(m_devices.OpenHandleCount(), 0);
  EXPECT_EQ(Deliver(DBT_DEVICEREMOVECOMPLETE, Broadcast::Handle(open)), TRUE);
  Settle();
  EXPECT_EQ(Listed(), std::vector<char>{'G'});
  EXPECT_EQ(Channel().letter, 'G');
  EXPECT_EQ(m_devices.OpenHandleCount(), 1);
}

// ---- a burning program's volume lock ----

GUID GuidOf(emu::EmulatedDevices::VolumeEvent event) {
  // GUID_IO_VOLUME_LOCK, GUID_IO_VOLUME_LOCK_FAILED, GUID_IO_VOLUME_UNLOCK.
  switch (event) {
    case emu::EmulatedDevices::VolumeEvent::Lock:
      return {0x50708874, 0xc9af, 0x11d1, {0x8f, 0xef, 0x00, 0xa0, 0xc9, 0xa0, 0x6d, 0x32}};
    case emu::EmulatedDevices::VolumeEvent::LockFailed:
      return {0xae2eed10, 0x0ba8, 0x11d2, {0x8f, 0xfb, 0x00, 0xa0, 0xc9, 0xa0, 0x6d, 0x32}};
    case emu::EmulatedDevices::VolumeEvent::Unlock: break;
  }
  return {0x9a8c3d68, 0xd0cb, 0x11d1, {0x8f, 0xef, 0x00, 0xa0, 0xc9, 0xa0, 0x6d, 0x32}};
}

// The file system grants a program's lock on the volume only once every
// other handle to it is closed, and tells the holders first: the window
// lets go, the pages find the drive in use meanwhile, and once the lock ends
// the window takes the drive back and reads what the other program left.
TEST_F(DeviceChange, ABurningProgramCanLockTheVolumeWhileTheWindowIsOpen) {
  m_devices.Attach('E', emu::QuietDriveModel());
  m_devices.Attach('G', emu::QuietDriveModel());
  Start();
  const DeviceHandle open = Channel().device;
  const auto tell = [&](emu::EmulatedDevices::VolumeEvent event) {
    EXPECT_EQ(Deliver(DBT_CUSTOMEVENT, Broadcast::Event(open, GuidOf(event))), TRUE);
  };
  ASSERT_TRUE(m_devices.LockVolume('E', tell)) << "the window kept its handle";
  EXPECT_EQ(m_devices.OpenHandlesTo('E'), 0);

  ClearLogs();
  EXPECT_EQ(ClickAnsweringEach(GetDlgItem(m_window->UtilityPage()->Handle(), IDC_EJECT)),
            std::vector<std::wstring>{
                ForRun(L"The drive is in use by another program.", L"ドライブは他のプログラムで使用中です。")});
  EXPECT_FALSE(AnythingSent());

  m_devices.UnlockVolume('E', tell);
  Settle();
  EXPECT_EQ(Channel().letter, 'E');
  EXPECT_NE(Channel().device, kNoDevice);
  EXPECT_EQ(m_devices.OpenHandlesTo('E'), 1);
  EXPECT_TRUE(PagesRead('E'));
}

// A lock that could not be had (another holder kept its handle) gives the
// drive back as its end does.
TEST_F(DeviceChange, ALockThatFailedGivesTheDriveBack) {
  m_devices.Attach('E', emu::QuietDriveModel());
  Start();
  const DeviceHandle open = Channel().device;
  for (const auto event : {emu::EmulatedDevices::VolumeEvent::Lock, emu::EmulatedDevices::VolumeEvent::LockFailed}) {
    Deliver(DBT_CUSTOMEVENT, Broadcast::Event(open, GuidOf(event)));
  }
  Settle();
  EXPECT_NE(Channel().device, kNoDevice);
  EXPECT_FALSE(Channel().lent);
  EXPECT_EQ(m_devices.OpenHandlesTo('E'), 1);
}

// ---- questions that outlive their drive ----

// A question's message box runs a loop of its own, which dispatches what the
// window put off: a drive list built anew there would move the window to
// another drive, which the answer would then reach.
struct Question {
  const char* name;
  emu::DriveSettings settings;  // of the drive asked about
  int page;                     // the tab
  int button;
  bool changes;  // whether the answer sends a change (the check's prompt, with no disc, reads)
};

struct DuringTheQuestion {
  const char* name;
  std::function<void(emu::EmulatedDevices&)> change;
  std::vector<std::pair<UINT, Broadcast>> notifications;
  bool dropped;  // the action is dropped: its drive went
  std::vector<char> after;
};

TEST_F(DeviceChange, AnAnswerReachesOnlyTheDriveItWasAskedFor) {
  const Question questions[] = {
      {"force eject", {}, 2, IDC_FORCE_EJECT, true},
      {"factory default", {}, 2, IDC_RESTORE_DEFAULTS, true},
      {"real-time with quiet off", Settings(emu::QuietModeOff, true, false), 0, IDC_REAL_TIME, true},
      {"quiet off under real-time", Settings(emu::QuietModeQuiet, true, true), 0, IDC_QUIET_ON, true},
      {"the bus power check's prompt", {}, 2, IDC_RUN_CHECK, false},
  };
  const auto leaves = [](emu::EmulatedDevices& devices) { devices.Unplug('G'); };
  const DuringTheQuestion changes[] = {
      {"the drive asked about leaves",
       leaves,
       {{DBT_DEVICEREMOVECOMPLETE, Broadcast::Interface()}, {DBT_DEVICEREMOVECOMPLETE, Broadcast::Volume('G')}},
       true,
       {'E'}},
      {"another drive arrives",
       [](emu::EmulatedDevices& devices) { devices.Attach('J', emu::GeneralDriveModel()); },
       {{DBT_DEVICEARRIVAL, Broadcast::Interface()}, {DBT_DEVICEARRIVAL, Broadcast::Volume('J')}},
       false,
       {'E', 'G', 'J'}},
      {"the drive asked about leaves and comes back",
       [](emu::EmulatedDevices& devices) {
         devices.Unplug('G');
         devices.Plug('G');
       },
       {{DBT_DEVICEREMOVECOMPLETE, Broadcast::Volume('G')}, {DBT_DEVICEARRIVAL, Broadcast::Volume('G')}},
       true,
       {'E', 'G'}},
  };
  for (const Question& question : questions) {
    for (const DuringTheQuestion& during : changes) {
      SCOPED_TRACE(std::string(question.name) + ", " + during.name);
      m_devices.Attach('E', emu::QuietDriveModel());
      m_devices.Attach('G', emu::QuietDriveModel()).SetCurrent(question.settings);
      m_devices.Detach('J');
      Start();
      SelectDrive(1);
      SelectTab(question.page);
      const ui::CDialog* pages[] = {m_window->SettingsPage(), m_window->StatusPage(), m_window->UtilityPage()};
      HWND button = GetDlgItem(pages[question.page]->Handle(), question.button);
      bool asked = false;
      std::vector<std::wstring> afterwards;
      WhileAnsweringEach(
          Main(),
          [&](HWND box) {
            if (asked) {
              afterwards.push_back(InspectMessageBox(box).text);
            } else {
              asked = true;
              ClearLogs();
              during.change(m_devices);
              for (const auto& [event, about] : during.notifications) Deliver(event, about);
            }
            // The box's loop takes what the window posted first, then the answer.
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
          },
          [&] { SendMessageW(button, BM_CLICK, 0, 0); });
      ASSERT_TRUE(asked);
      for (const char other : {'E', 'J'}) {
        const emu::EmulatedDrive* drive = m_devices.Drive(other);
        EXPECT_TRUE(!drive || drive->Log().empty()) << "the answer reached " << other;
      }
      const auto& log = m_devices.Drive('G')->Log();
      const bool changed =
          std::any_of(log.begin(), log.end(), [](const emu::LoggedCommand& c) { return ChangesTheDrive(c.cdb); });
      if (during.dropped) {
        EXPECT_TRUE(log.empty()) << log.size() << " commands reached G";
        EXPECT_EQ(afterwards, std::vector<std::wstring>{NotConnected()});
      } else {
        EXPECT_EQ(changed, question.changes);
        EXPECT_FALSE(log.empty());
      }
      Settle();
      EXPECT_EQ(Listed(), during.after);
      m_window.reset();
      CloseDrive();
    }
  }
}

// ---- notifications inside a call for a drive ----

// A generous bound on each step inside the held call.
constexpr DWORD kStepWithinMs = 8000;

// The window answers sent messages while a call for the drive runs on the
// drive thread: a removal query then is refused (the drive thread is using
// the handle), and a drive that arrives is listed once the call is over,
// never inside it.
TEST_F(DeviceChange, InsideADriveCallTheHandleIsKeptAndTheRescanWaitsForTheCallToEnd) {
  m_devices.Attach('E', emu::QuietDriveModel());
  Start();
  ShowWindow(Main(), SW_SHOW);
  const DeviceHandle open = Channel().device;
  // G is there before the system tells of it (and before the drive thread
  // is busy with E).
  m_devices.Attach('G', emu::QuietDriveModel());
  m_devices.HoldAnswers('E');
  std::atomic<LRESULT> query{0};
  std::atomic<int> listedInside{-1};
  std::atomic<bool> delivered{false};
  std::thread system([&] {
    // The window is held once the call has lasted a moment: it is inside it.
    m_devices.WaitForHeldCommand(std::chrono::milliseconds(kStepWithinMs));
    for (DWORD waited = 0; IsWindowEnabled(Main()) && waited < kStepWithinMs; waited += 10) ::Sleep(10);
    const Broadcast handle = Broadcast::Handle(open);
    DWORD_PTR answer = 0;
    SendMessageTimeoutW(Main(), WM_DEVICECHANGE, DBT_DEVICEQUERYREMOVE, handle.Address(), SMTO_NORMAL, kStepWithinMs,
                        &answer);
    query = static_cast<LRESULT>(answer);
    const Broadcast volume = Broadcast::Volume('G');
    SendMessageTimeoutW(Main(), WM_DEVICECHANGE, DBT_DEVICEARRIVAL, volume.Address(), SMTO_NORMAL, kStepWithinMs,
                        nullptr);
    DWORD_PTR count = 0;
    SendMessageTimeoutW(Control(IDC_DRIVE_LIST), CB_GETCOUNT, 0, 0, SMTO_NORMAL, kStepWithinMs, &count);
    listedInside = static_cast<int>(count);
    delivered = true;
    m_devices.ReleaseAnswers('E');
  });
  m_window->StatusPage()->RefreshStatusPage();  // reads the drive holds
  const bool deliveredInside = delivered;
  system.join();
  ASSERT_TRUE(deliveredInside) << "the call ended before the notifications came";

  EXPECT_EQ(query, BROADCAST_QUERY_DENY);
  EXPECT_EQ(listedInside, 1) << "the list was built anew inside the call";
  EXPECT_EQ(Channel().device, open);
  Settle();
  EXPECT_EQ(Listed(), (std::vector<char>{'E', 'G'}));
  EXPECT_EQ(Channel().letter, 'E');
  EXPECT_EQ(m_devices.OpenHandleCount(), 1);
}

// ---- the demo ----

// The demo's bus, advanced by hand: J comes and goes on its timeline, H
// comes back a while after it dropped off, and the list follows each.
TEST_F(DeviceChange, TheDemoBusPlugsDrivesInAndPullsThemOutAndTheListFollows) {
  emu::AttachDemoDrives(m_devices);
  Start();
  emu::DemoBus bus(m_devices);
  const auto listedAt = [&](std::uint64_t elapsedMs) {
    bus.Advance(elapsedMs);
    Settle();
    return Listed();
  };
  using Letters = std::vector<char>;
  EXPECT_EQ(listedAt(0), (Letters{'E', 'G', 'H'}));
  EXPECT_EQ(listedAt(29000), (Letters{'E', 'G', 'H'}));
  EXPECT_EQ(listedAt(30000), (Letters{'E', 'G', 'H', 'J'}));
  EXPECT_EQ(listedAt(89000), (Letters{'E', 'G', 'H', 'J'}));
  EXPECT_EQ(listedAt(90000), (Letters{'E', 'G', 'H'}));
  EXPECT_EQ(listedAt(150000), (Letters{'E', 'G', 'H', 'J'})) << "the next cycle";

  m_devices.Unplug('H');  // as when the bus power check browns it out
  EXPECT_EQ(listedAt(160000), (Letters{'E', 'G', 'J'}));
  EXPECT_EQ(listedAt(189000), (Letters{'E', 'G', 'J'}));
  EXPECT_EQ(listedAt(190000), (Letters{'E', 'G', 'H', 'J'}));
  EXPECT_EQ(Channel().letter, 'E') << "the drive shown stayed shown throughout";
}

}  // namespace
}  // namespace norvane::test
