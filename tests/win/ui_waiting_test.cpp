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
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "drive/channel.h"
#include "drive/device_io.h"
#include "pages/status_page.h"
#include "resource.h"
#include "tests/common/command_blocks.h"
#include "ui/activity.h"
#include "ui/waiting.h"
#include "ui_test_support.h"

namespace norvane::test {
namespace {

// Set while the thread is inside a wait for the drive.
std::atomic<bool> waiting{false};
// Commands sent while a wait was going on: an action started inside it.
int commandsInsideAWait = 0;

// The emulated drives behind a seam of the test's own, which passes on
// what it does not change.
class InFrontOfTheDrives : public DeviceIo {
 public:
  explicit InFrontOfTheDrives(DeviceIo& drives) : m_drives(drives) {}
  DeviceHandle Open(const wchar_t* path, DeviceAccess access) override { return m_drives.Open(path, access); }
  bool PassThrough(DeviceHandle device, const ScsiCommand& command, ScsiReply& reply) override {
    return m_drives.PassThrough(device, command, reply);
  }
  bool PreventMediaChangeNotification(DeviceHandle notification) override {
    return m_drives.PreventMediaChangeNotification(notification);
  }
  void Close(DeviceHandle handle) override { m_drives.Close(handle); }
  bool IsOpticalDrive(char letter) override { return m_drives.IsOpticalDrive(letter); }
  std::uint32_t LastErrorCode() const override { return m_drives.LastErrorCode(); }
  void Sleep(std::uint32_t milliseconds) override { m_drives.Sleep(milliseconds); }

 private:
  DeviceIo& m_drives;
};

// The emulated drives, whose sleeps also take the real time they stand for.
class RealTimeWaits final : public InFrontOfTheDrives {
 public:
  using InFrontOfTheDrives::InFrontOfTheDrives;
  bool PassThrough(DeviceHandle device, const ScsiCommand& command, ScsiReply& reply) override {
    if (waiting) ++commandsInsideAWait;
    return InFrontOfTheDrives::PassThrough(device, command, reply);
  }
  void Sleep(std::uint32_t milliseconds) override {
    InFrontOfTheDrives::Sleep(milliseconds);
    ::Sleep(milliseconds);
  }
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

// Generous bounds: a window that stops answering inside a wait misses them
// by seconds, and a loaded machine may hold a thread back a while.
constexpr int kAnswerWithinMs = 1000;
constexpr int kPaintWithinMs = 1000;

// Returns once a wait for the drive is going on (at most after 10 s).
void AwaitAWait() {
  for (const DWORD start = GetTickCount(); !waiting && GetTickCount() - start < 10000;) ::Sleep(1);
}

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
      const bool answer = SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, kAnswerWithinMs, &result) != 0;
      if (m_stop) break;
      if (answer) {
        ++answered;
      } else {
        ++unanswered;
      }
      const bool waitingBefore = waiting;
      InvalidateRect(painted, nullptr, TRUE);
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
  EXPECT_GE(probe.answered, 5);
  EXPECT_EQ(probe.unanswered, 0) << "a sent message waited more than a second";
  EXPECT_GE(probe.repainted, 5);
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
      AwaitAWait();
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
        AwaitAWait();
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

// ---- the window closed inside a call the drive never answers ----

constexpr char kCallGaveUp[] = "the call gave up its I/O";

// Once armed, every command waits for an answer that never comes, as a
// synchronous read of a pipe nobody writes to: the system can cancel it,
// and the drive thread says so on its way out.
class NeverAnswering final : public InFrontOfTheDrives {
 public:
  explicit NeverAnswering(DeviceIo& drives) : InFrontOfTheDrives(drives) { CreatePipe(&m_read, &m_write, nullptr, 0); }
  ~NeverAnswering() override {
    CloseHandle(m_read);
    CloseHandle(m_write);
  }
  void Arm() { m_armed = true; }
  bool PassThrough(DeviceHandle device, const ScsiCommand& command, ScsiReply& reply) override {
    if (!m_armed) return InFrontOfTheDrives::PassThrough(device, command, reply);
    char byte = 0;
    DWORD read = 0;
    if (!ReadFile(m_read, &byte, 1, &read, nullptr) && GetLastError() == ERROR_OPERATION_ABORTED) {
      std::printf("%s\n", kCallGaveUp);
      std::fflush(stdout);
    }
    return false;
  }

 private:
  HANDLE m_read = nullptr;
  HANDLE m_write = nullptr;
  std::atomic<bool> m_armed{false};
};

class ClosedInsideACallChild : public MainWindowTest {};

// Run by the test below in a process of its own, which the close ends.
TEST_F(ClosedInsideACallChild, DISABLED_Runs) {
  NeverAnswering drive(m_devices);
  InstallDeviceIo(drive);
  m_devices.Attach('E', emu::QuietDriveModel());
  Start();
  drive.Arm();
  std::thread taskbar([this] {
    ::Sleep(500);
    PostMessageW(Main(), WM_CLOSE, 0, 0);
  });
  taskbar.detach();
  m_window->StatusPage()->RefreshStatusPage();  // a read the drive never answers
  ADD_FAILURE() << "the call came back and the program goes on";
}

// The system ends a process only once its threads' requests are done: the
// window closed inside a call the drive holds gives the call's request up,
// and the program ends at once instead of after the drive's time-out.
TEST(ClosedInsideACall, TheProgramGivesUpTheCallsRequestAndEndsAtOnce) {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  wchar_t folder[MAX_PATH] = {}, outputPath[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, folder);
  GetTempFileNameW(folder, L"nvc", 0, outputPath);
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE output = CreateFileW(outputPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_TEMPORARY, nullptr);
  ASSERT_NE(output, INVALID_HANDLE_VALUE);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = startup.hStdError = output;
  std::wstring line = std::wstring(L"\"") + self +
                      L"\" --gtest_also_run_disabled_tests --gtest_filter=ClosedInsideACallChild.DISABLED_Runs";
  PROCESS_INFORMATION child{};
  ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &child));
  CloseHandle(output);
  const bool ended = WaitForSingleObject(child.hProcess, 30000) == WAIT_OBJECT_0;
  if (!ended) TerminateProcess(child.hProcess, 1);
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(child.hProcess, &code);
  CloseHandle(child.hProcess);
  CloseHandle(child.hThread);
  std::ifstream in(outputPath, std::ios::binary);
  const std::string said((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.close();
  DeleteFileW(outputPath);
  EXPECT_TRUE(ended) << said;
  EXPECT_EQ(code, 0u) << said;
  EXPECT_NE(said.find(kCallGaveUp), std::string::npos) << "the request was not given up:\n" << said;
}

// Work put off while actions nest (a question's box inside an action) must
// wait for the outermost: posted at once it would run between a question and
// the commands it allows. Asked for more than once, it comes once.
TEST(Activity, WorkPutOffDuringNestedActionsIsPostedOnceWhenTheOutermostEnds) {
  constexpr UINT kWork = WM_APP + 7;
  HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  const auto takePosted = [window] {
    int posted = 0;
    MSG msg;
    while (PeekMessageW(&msg, window, kWork, kWork, PM_REMOVE)) ++posted;
    return posted;
  };
  ui::Activity& now = ui::Activity::Now();

  now.PutOff(window, kWork);
  EXPECT_EQ(takePosted(), 1) << "with no action under way the work is posted at once";
  {
    const ui::Activity::Entry outer(ui::Activity::Kind::Action, IDS_DOING_POWER_CHECK);
    {
      const ui::Activity::Entry inner(ui::Activity::Kind::Action, IDS_DOING_EJECT);
      EXPECT_EQ(now.WhatIsUnderWay(), static_cast<UINT>(IDS_DOING_POWER_CHECK)) << "the outermost action says";
      now.PutOff(window, kWork);
    }
    now.PutOff(window, kWork);
    EXPECT_EQ(takePosted(), 0) << "the outer action is still under way";
  }
  EXPECT_EQ(takePosted(), 1);
  EXPECT_EQ(now.WhatIsUnderWay(), 0u);
  DestroyWindow(window);
}

}  // namespace
}  // namespace norvane::test
