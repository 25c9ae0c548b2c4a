// A start of the program in a session where another copy has the window's
// claim: a window that shows is brought forward, and no second one comes
// up; a copy that shows none (its window gone while its process waits on a
// drive, or hung before its window came up) does not keep the program from
// starting.
#include <windows.h>

#include <atomic>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "app/app.h"
#include "drive/device_io.h"
#include "ui_test_support.h"

namespace norvane::test {
namespace {

constexpr wchar_t kMainWindowCaption[] = L"Norvane BD Drive Utility";

// Another copy's claim on the window, owned by a thread of its own (a mutex
// is never contended by the thread that owns it).
class OtherCopy {
 public:
  enum class Thread {
    Runs,                // its window's thread runs, with whatever window the test shows (or none: hung)
    ShowsItsWindowLate,  // the copy is still starting: its window comes up a second later
    Ended,               // the window's thread ended without letting go, the process still there
  };
  explicit OtherCopy(Thread thread)
      : m_claim(CreateMutexW(nullptr, FALSE, RunningWindowName().c_str())),
        m_letGo(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS)) << "no copy ran before the test's";
    m_thread = std::thread([this, thread] {
      m_owned.set_value(WaitForSingleObject(m_claim, 0) == WAIT_OBJECT_0);
      if (thread == Thread::Ended) return;
      if (thread == Thread::ShowsItsWindowLate) {
        Sleep(1000);
        m_window = CreateWindowExW(0, L"#32770", kMainWindowCaption, WS_POPUP | WS_CAPTION | WS_VISIBLE, 0, 0, 200, 100,
                                   nullptr, nullptr, nullptr, nullptr);
      }
      // Answers its window's messages until it is let go.
      while (MsgWaitForMultipleObjects(1, &m_letGo, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
      }
      if (m_window) DestroyWindow(m_window);
      ReleaseMutex(m_claim);
    });
    EXPECT_TRUE(m_owned.get_future().get());
    if (thread == Thread::Ended) m_thread.join();
  }
  ~OtherCopy() {
    SetEvent(m_letGo);
    if (m_thread.joinable()) m_thread.join();
    CloseHandle(m_letGo);
    CloseHandle(m_claim);
  }
  OtherCopy(const OtherCopy&) = delete;
  OtherCopy& operator=(const OtherCopy&) = delete;

  // Its window, once it showed.
  HWND Window() const { return m_window; }

 private:
  HANDLE m_claim;
  HANDLE m_letGo;
  std::promise<bool> m_owned;
  std::atomic<HWND> m_window = nullptr;
  std::thread m_thread;
};

// A main window of the thread `thread` other than `except`. (FindWindowEx
// reads the caption without a message, which the window's thread, waiting
// for the program's start, could not answer.)
HWND OtherMainWindow(DWORD thread, HWND except) {
  for (HWND window = nullptr; (window = FindWindowExW(nullptr, window, L"#32770", kMainWindowCaption));) {
    if (window != except && GetWindowThreadProcessId(window, nullptr) == thread) return window;
  }
  return nullptr;
}

class SecondStart : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    m_devices.Attach('E', emu::QuietDriveModel());
  }
  void TearDown() override {
    InstallWaitRunner(nullptr);  // the started program's
    MainWindowTest::TearDown();
  }
  // Starts the program on this thread, as a start from the desktop does;
  // answers whether it showed a main window of its own, besides `shown`,
  // which is closed as soon as it shows.
  static bool StartShowsAWindow(HWND shown) {
    std::atomic<bool> ended = false;
    std::atomic<HWND> own = nullptr;
    const DWORD starting = GetCurrentThreadId();
    std::thread closer([&] {
      while (!ended && !own) {
        own = OtherMainWindow(starting, shown);
        if (own) PostMessageW(own, WM_CLOSE, 0, 0);
        Sleep(50);
      }
    });
    EXPECT_EQ(RunApplication(), 0);
    ended = true;
    closer.join();
    return own != nullptr;
  }
};

TEST_F(SecondStart, ACopyWithoutAWindowDoesNotKeepTheProgramFromStarting) {
  const struct {
    const char* name;
    OtherCopy::Thread thread;
  } cases[] = {
      {"its window closed while a drive still holds a command", OtherCopy::Thread::Ended},
      {"it hung before its window came up", OtherCopy::Thread::Runs},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const OtherCopy other(c.thread);
    EXPECT_TRUE(StartShowsAWindow(nullptr));
  }
}

TEST_F(SecondStart, BringsTheRunningWindowForwardAndShowsNoSecond) {
  Start();
  const OtherCopy first(OtherCopy::Thread::Runs);
  ShowWindow(Main(), SW_MINIMIZE);
  ASSERT_TRUE(IsIconic(Main()));
  EXPECT_FALSE(StartShowsAWindow(Main()));
  EXPECT_FALSE(IsIconic(Main())) << "the running window was not restored";
  EXPECT_EQ(GetForegroundWindow(), Main());
}

// The first copy may still be starting: its window, once it shows, is the
// one brought forward, and no second comes up meanwhile.
TEST_F(SecondStart, WaitsForTheWindowOfACopyStillStarting) {
  const OtherCopy starting(OtherCopy::Thread::ShowsItsWindowLate);
  EXPECT_FALSE(StartShowsAWindow(nullptr));
  ASSERT_NE(starting.Window(), nullptr);
  EXPECT_EQ(GetForegroundWindow(), starting.Window());
}

}  // namespace
}  // namespace norvane::test
