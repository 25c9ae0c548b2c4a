// While the program waits for a drive on the window's thread (the pause
// after a force eject, a disc that is becoming ready) the window keeps
// painting and answering, the keys and clicks of the wait are dropped
// instead of starting actions once it is over, and what another thread asks
// of the window meanwhile never starts an action inside the wait. The waits
// run in real time here, as with a real drive.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "drive/channel.h"
#include "drive/device_io.h"
#include "resource.h"
#include "tests/common/command_blocks.h"
#include "ui/waiting.h"
#include "ui_test_support.h"

namespace norvane::test {
namespace {

// Set while the thread is inside a wait for the drive.
std::atomic<bool> waiting{false};
// Commands sent while a wait was going on: an action started inside it.
int commandsInsideAWait = 0;

// The emulated drives, whose sleeps also take the real time they stand for.
class RealTimeWaits final : public DeviceIo {
 public:
  explicit RealTimeWaits(DeviceIo& drives) : m_drives(drives) {}
  DeviceHandle Open(const wchar_t* path, DeviceAccess access) override { return m_drives.Open(path, access); }
  bool PassThrough(DeviceHandle device, const ScsiCommand& command, ScsiReply& reply) override {
    if (waiting) ++commandsInsideAWait;
    return m_drives.PassThrough(device, command, reply);
  }
  bool PreventMediaChangeNotification(DeviceHandle notification) override {
    return m_drives.PreventMediaChangeNotification(notification);
  }
  void Close(DeviceHandle handle) override { m_drives.Close(handle); }
  bool IsOpticalDrive(char letter) override { return m_drives.IsOpticalDrive(letter); }
  std::uint32_t LastErrorCode() const override { return m_drives.LastErrorCode(); }
  void Sleep(std::uint32_t milliseconds) override {
    m_drives.Sleep(milliseconds);
    ::Sleep(milliseconds);
  }

 private:
  DeviceIo& m_drives;
};

// Set once the first wait for the drive has begun.
std::atomic<bool> waitBegan{false};
// The window that must be disabled inside every wait, and how many slices of
// a wait found it enabled. Checked on the waiting thread itself, between the
// slices, so the moments the wait begins and ends cannot blur the count.
HWND heldWindow = nullptr;
int slicesWithTheWindowEnabled = 0;
void MarkedWait(std::uint32_t milliseconds, const std::function<void(std::uint32_t)>& sleep) {
  waitBegan = true;
  waiting = true;
  ui::WaitKeepingWindowsAnswering(milliseconds, [&](std::uint32_t slice) {
    if (heldWindow && IsWindowEnabled(heldWindow)) ++slicesWithTheWindowEnabled;
    sleep(slice);
  });
  waiting = false;
}

constexpr int kPaintWithinMs = 300;

// From another thread, as the system and the user do: asks the window to
// answer and to repaint, again and again, from the start of the wait until
// stopped.
class Probe {
 public:
  Probe(HWND window, HWND painted) : m_thread([=, this] { Run(window, painted); }) {}
  ~Probe() { Stop(); }
  void Stop() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
  }
  int answered = 0, unanswered = 0, repainted = 0, unpainted = 0;

 private:
  void Run(HWND window, HWND painted) {
    while (!m_stop && !waitBegan) ::Sleep(1);
    while (!m_stop) {
      DWORD_PTR result = 0;
      const bool answer = SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 100, &result) != 0;
      if (m_stop) break;
      if (answer) {
        ++answered;
      } else {
        ++unanswered;
      }
      const bool waitingBefore = waiting;
      InvalidateRect(painted, nullptr, TRUE);
      // A slice is 50 ms; a loaded machine may hold the thread back a while.
      for (int waited = 0; waited < kPaintWithinMs && GetUpdateRect(painted, nullptr, FALSE); waited += 10) {
        ::Sleep(10);
      }
      if (m_stop) break;
      // Only a paint asked for and checked inside the waits counts: between
      // them the thread talks to the drive, and after the last one it
      // brings up the prompt.
      if (!waitingBefore || !waiting) continue;
      if (GetUpdateRect(painted, nullptr, FALSE)) {
        ++unpainted;
      } else {
        ++repainted;
      }
    }
  }
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
};

class WaitingForADrive : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    InstallDeviceIo(m_realTime);
    waitBegan = false;
    commandsInsideAWait = 0;
    slicesWithTheWindowEnabled = 0;
    InstallWaitRunner(&MarkedWait);
  }
  void TearDown() override {
    heldWindow = nullptr;
    InstallWaitRunner(nullptr);
    MainWindowTest::TearDown();
  }
  void Start() {
    MainWindowTest::Start();
    ShowWindow(Main(), SW_SHOW);
    UpdateWindow(Main());
    heldWindow = Main();
    SelectTab(2);
  }
  HWND UtilityItem(int id) const { return GetDlgItem(m_window->UtilityPage()->Handle(), id); }
  // Clicks `id`, answers every box with OK (and runs `atEachBox` first),
  // while `probe` watches the window.
  int ClickAnsweringOk(
      int id, const std::function<void()>& atEachBox = [] {}) {
    int boxes = 0;
    WhileAnsweringEach(
        Main(),
        [&](HWND box) {
          ++boxes;
          atEachBox();
          PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        },
        [&] { SendMessageW(UtilityItem(id), BM_CLICK, 0, 0); });
    return boxes;
  }

  RealTimeWaits m_realTime{m_devices};
};

TEST_F(WaitingForADrive, TheWindowPaintsAndAnswersThroughADiscBecomingReadyForSeconds) {
  m_devices.Attach('E', emu::QuietDriveModel()).InsertDisc(3000);
  Start();
  m_devices.Drive('E')->ClearLog();
  const DWORD start = GetTickCount();
  DWORD waited = 0;
  Probe probe(Main(), GetDlgItem(Main(), IDC_DRIVE_LIST));
  // The prompt ends the wait, and what the probe measures.
  ClickAnsweringOk(IDC_RUN_CHECK, [&] {
    probe.Stop();
    waited = GetTickCount() - start;
    m_devices.Drive('E')->CloseTray();
    m_devices.Clock().Advance(emu::kDefaultSpinUpMs);
  });
  EXPECT_GE(waited, 3000u) << "the disc took three seconds to become ready";
  EXPECT_GE(probe.answered, 10);
  EXPECT_EQ(probe.unanswered, 0) << "a sent message waited more than 100 ms";
  EXPECT_GE(probe.repainted, 10);
  EXPECT_EQ(probe.unpainted, 0);
  EXPECT_EQ(slicesWithTheWindowEnabled, 0) << "the window is disabled while it waits, as under a modal window";
  EXPECT_TRUE(IsWindowEnabled(Main())) << "and enabled again after";
  EXPECT_EQ(commandsInsideAWait, 0);
  // The drive is asked once a second until the disc is ready, then the tray
  // comes out for the prompt, as without the pauses.
  std::vector<Cdb> sent;
  for (const emu::LoggedCommand& c : m_devices.Drive('E')->Log()) sent.push_back(c.cdb);
  const auto tray = std::find(sent.begin(), sent.end(), kOpenTray);
  ASSERT_NE(tray, sent.end());
  EXPECT_GE(tray - sent.begin(), 4) << "three polls a second apart, then the ready disc";
  EXPECT_TRUE(std::all_of(sent.begin(), tray, [](const Cdb& cdb) { return cdb == kReadDiscInfo; }));
}

TEST_F(WaitingForADrive, KeysAndClicksDuringTheForceEjectPauseStartNothingAfterIt) {
  m_devices.Attach('E', emu::QuietDriveModel());
  Start();
  HWND eject = UtilityItem(IDC_EJECT);
  HWND run = UtilityItem(IDC_RUN_CHECK);
  std::thread presser;
  const int boxes = ClickAnsweringOk(IDC_FORCE_EJECT, [&] {
    m_devices.Drive('E')->ClearLog();
    // Once the confirmation is answered the pause begins: the user clicks
    // EJECT and presses Enter on Run meanwhile.
    presser = std::thread([=] {
      ::Sleep(300);
      PostMessageW(eject, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
      PostMessageW(eject, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
      for (int i = 0; i < 5; ++i) {
        PostMessageW(run, WM_KEYDOWN, VK_RETURN, 1);
        PostMessageW(run, WM_KEYUP, VK_RETURN, static_cast<LPARAM>(0xC0000001u));
      }
    });
  });
  presser.join();
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) m_window->ProcessMessage(msg);
  EXPECT_EQ(boxes, 1) << "only the confirmation";
  std::vector<Cdb> sent;
  for (const emu::LoggedCommand& c : m_devices.Drive('E')->Log()) sent.push_back(c.cdb);
  EXPECT_EQ(sent, (std::vector<Cdb>{kForceEject})) << "nothing after the pause";
}

// An automation client, or another program, may send the window a request
// at any time; one that comes during the pause runs after it, or is refused
// where it cannot wait, and never inside it.
TEST_F(WaitingForADrive, RequestsSentDuringTheForceEjectPauseRunAfterItAndNeverInsideIt) {
  const struct {
    const char* request;
    std::function<void()> send;
    std::vector<Cdb> after;  // what the drive receives after the force eject
    int tab;                 // the tab shown at the end
  } cases[] = {
      {"EJECT clicked", [this] { SendMessageW(UtilityItem(IDC_EJECT), BM_CLICK, 0, 0); }, {kForceEject, kEject}, 2},
      {"the Status tab chosen",
       [this] { SendMessageW(Control(IDC_PAGE_TABS), TCM_SETCURFOCUS, 1, 0); },
       {kForceEject},
       2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.request);
    m_devices.Attach('E', emu::QuietDriveModel());
    Start();
    std::thread sender;
    ClickAnsweringOk(IDC_FORCE_EJECT, [&] {
      m_devices.Drive('E')->ClearLog();
      sender = std::thread([&] {
        ::Sleep(300);
        c.send();
      });
    });
    sender.join();
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) m_window->ProcessMessage(msg);
    std::vector<Cdb> sent;
    for (const emu::LoggedCommand& logged : m_devices.Drive('E')->Log()) sent.push_back(logged.cdb);
    EXPECT_EQ(sent, c.after);
    EXPECT_EQ(commandsInsideAWait, 0);
    EXPECT_EQ(SendMessageW(GetDlgItem(Main(), IDC_PAGE_TABS), TCM_GETCURSEL, 0, 0), c.tab);
    EXPECT_TRUE(IsWindowVisible(m_window->UtilityPage()->Handle()));
    m_window.reset();
    CloseDrive();
    m_devices.Detach('E');
  }
}

}  // namespace
}  // namespace norvane::test
