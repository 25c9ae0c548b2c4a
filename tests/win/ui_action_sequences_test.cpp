// The window's actions of the shared table, in-process on emulated drives:
// the commands each sends must be the table's, in order and byte for byte.
// The kernel path does the same actions on the shipped program under Wine
// and compares what reached SG_IO with the same table.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <iterator>
#include <memory>

#include <gtest/gtest.h>

#include "action_sequences.h"
#include "app/main_window.h"
#include "drive/channel.h"
#include "resource.h"
#include "ui_test_support.h"

namespace norvane::test {
namespace {

class ActionSequences : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallDeviceIo(m_devices);
    m_devices.Attach(kQuietDrive, emu::QuietDriveModel());
    m_devices.Attach(kGeneralDrive, emu::GeneralDriveModel());
  }
  void TearDown() override {
    m_window.reset();
    ReleaseMediaNotification();
    CloseDrive();
  }

  HWND Main() const { return m_window->Handle(); }

  HWND PageWindow(Page page) const {
    const int marker = page == Page::Settings ? IDC_QUIET_ON : page == Page::Status ? IDC_SECTOR_COUNT : IDC_RUN_CHECK;
    for (HWND child = GetWindow(Main(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      if (GetDlgItem(child, marker)) return child;
    }
    return nullptr;
  }

  // Each step the way the driver of the shipped program does it.
  void Do(const UiStep& step) {
    switch (step.kind) {
      case UiStep::Kind::SelectTab:
        SendMessageW(GetDlgItem(Main(), IDC_PAGE_TABS), TCM_SETCURFOCUS, step.value, 0);
        break;
      case UiStep::Kind::SelectDrive: test::SelectDrive(Main(), step.value); break;
      case UiStep::Kind::Click: SendMessageW(GetDlgItem(PageWindow(step.page), step.value), BM_CLICK, 0, 0); break;
      case UiStep::Kind::StatusTick: SendMessageW(PageWindow(Page::Status), WM_TIMER, 0, 0); break;
      case UiStep::Kind::Countdown:
        for (int tick = 0; tick < 40 && !IsWindowEnabled(GetDlgItem(PageWindow(Page::Utility), IDC_RUN_CHECK));
             ++tick) {
          m_devices.Clock().Advance(1000);
          SendMessageW(PageWindow(Page::Utility), WM_TIMER, 0, 0);
        }
        break;
    }
  }

  // Answers how many boxes came up.
  int DoAll(const std::vector<UiStep>& steps, int answer) {
    int boxes = 0;
    WhileAnsweringEach(
        Main(),
        [&](HWND box) {
          ++boxes;
          const int button = GetDlgItem(box, answer) ? answer : IDOK;
          PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
        },
        [&] {
          for (const UiStep& step : steps) Do(step);
        });
    return boxes;
  }

  // What one drive was sent, in order.
  Sequence Sent(char letter) {
    Sequence sent;
    for (const emu::LoggedCommand& c : m_devices.Drive(letter)->Log())
      sent.push_back({letter, c.cdb, c.direction, c.transferLength, c.dataOut});
    return sent;
  }

  void ClearLogs() {
    for (char letter : {kQuietDrive, kGeneralDrive}) m_devices.Drive(letter)->ClearLog();
  }

  emu::EmulatedDevices m_devices;
  std::unique_ptr<CNorvaneDriveUtilityDlg> m_window;
};

TEST_F(ActionSequences, EveryWindowActionSendsItsSequence) {
  const std::vector<WindowAction>& actions = WindowActions();
  for (std::size_t i = 0; i < actions.size(); ++i) {
    const WindowAction& action = actions[i];
    action.setup(*m_devices.Drive(kQuietDrive));
    ClearLogs();
    int boxes = 0;
    if (i == 0) {
      m_window = std::make_unique<CNorvaneDriveUtilityDlg>();
      ASSERT_TRUE(m_window->CreateModeless());
      ShowWindow(Main(), SW_SHOW);
    } else {
      DoAll(action.prepare, kAnswerOk);
      ClearLogs();
      boxes = DoAll(action.run, action.answer);
    }
    if (action.answer != kAnswerOk || action.expected.empty()) {
      EXPECT_GT(boxes, 0) << action.name << ": no confirmation was asked";
    }
    // Each drive keeps its own log here: the order is checked drive by
    // drive (the kernel path sees the order across drives too).
    for (char letter : {kQuietDrive, kGeneralDrive}) {
      Sequence expected;
      std::copy_if(action.expected.begin(), action.expected.end(), std::back_inserter(expected),
                   [letter](const ExpectedCommand& c) { return c.drive == letter; });
      const Sequence sent = Sent(letter);
      EXPECT_EQ(sent, expected) << action.name << ", drive " << letter << "\nexpected:\n"
                                << Describe(expected) << "sent:\n"
                                << Describe(sent);
    }
  }
}

}  // namespace
}  // namespace norvane::test
