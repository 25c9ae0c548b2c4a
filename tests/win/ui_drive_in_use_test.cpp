// Every changing action of the pages finds the shown drive taken by another
// program, whichever way it has it: the user is told so before anything is
// asked, and no change goes to the drive; once the other program lets go,
// the same action reaches it.
#include <windows.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "drive/channel.h"
#include "pages/settings_page.h"
#include "pages/status_page.h"
#include "pages/utility_page.h"
#include "resource.h"
#include "tests/common/command_blocks.h"
#include "tests/common/drive_holders.h"
#include "ui_test_support.h"

namespace norvane::test {
namespace {

const wchar_t* const kInUseEnglish = L"The drive is in use by another program.";
const wchar_t* const kInUseJapanese = L"ドライブは他のプログラムで使用中です。";

enum class Page { Settings, Status, Utility };

struct ChangingAction {
  const char* name;
  Page page;
  int button;
};

class DriveInUse : public MainWindowTest {
 protected:
  void Start() {
    m_devices.Attach('E', emu::QuietDriveModel());
    MainWindowTest::Start();
  }
  HWND Button(const ChangingAction& action) const {
    const HWND pages[] = {m_window->SettingsPage()->Handle(), m_window->StatusPage()->Handle(),
                          m_window->UtilityPage()->Handle()};
    return GetDlgItem(pages[static_cast<int>(action.page)], action.button);
  }
  // Clicks the action's button, answers OK to every box that comes up, and
  // answers their texts.
  std::vector<std::wstring> Click(const ChangingAction& action) { return ClickAnsweringEach(Button(action)); }
  int ChangingCommandsTo(char letter) {
    const auto& log = m_devices.Drive(letter)->Log();
    return static_cast<int>(
        std::count_if(log.begin(), log.end(), [](const emu::LoggedCommand& c) { return ChangesTheDrive(c.cdb); }));
  }
};

// The drive is refused before anything is asked: a question answered for a
// drive that cannot be had would only be followed by the refusal.
TEST_F(DriveInUse, EveryChangingActionSendsNothingWhileAnotherProgramHasTheDrive) {
  const ChangingAction actions[] = {
      {"Settings: Performance Mode", Page::Settings, IDC_QUIET_PERFORMANCE},
      {"Status: Clear", Page::Status, IDC_CLEAR},
      {"Utility: EJECT", Page::Utility, IDC_EJECT},
      {"Utility: force eject", Page::Utility, IDC_FORCE_EJECT},
      {"Utility: factory default", Page::Utility, IDC_RESTORE_DEFAULTS},
      {"Utility: bus power check", Page::Utility, IDC_RUN_CHECK},
  };
  Start();
  for (const DriveHolder& holder : DriveHolders()) {
    for (const ChangingAction& action : actions) {
      SCOPED_TRACE(std::string(action.name) + ", " + holder.name);
      m_devices.Drive('E')->ClearLog();
      {
        const std::shared_ptr<void> other = holder.take(DevicePath('E'));
        EXPECT_EQ(Click(action), std::vector<std::wstring>{ForRun(kInUseEnglish, kInUseJapanese)});
        EXPECT_EQ(ChangingCommandsTo('E'), 0);
      }
      if (action.button == IDC_RUN_CHECK) continue;  // the check's run has its own tests
      Click(action);
      EXPECT_GT(ChangingCommandsTo('E'), 0) << "the action reaches the drive once it is free";
    }
  }
}

// A click moves its control before the page hears of it: a change that was
// refused leaves the control showing what the drive does not hold, unless
// the page reads the drive again.
TEST_F(DriveInUse, ARefusedChangeLeavesTheSettingsPageShowingWhatTheDriveHolds) {
  emu::DriveSettings settings;
  settings.ejectAtPowerOn = true;
  m_devices.Attach('E', emu::QuietDriveModel()).SetCurrent(settings);
  MainWindowTest::Start();
  HWND box = GetDlgItem(m_window->SettingsPage()->Handle(), IDC_EJECT_AT_POWER_ON);
  ASSERT_EQ(SendMessageW(box, BM_GETCHECK, 0, 0), BST_CHECKED);
  m_devices.Drive('E')->ClearLog();
  const OtherProgram other(DevicePath('E'));
  EXPECT_EQ(Click({"Settings: Eject Disc at Power-on", Page::Settings, IDC_EJECT_AT_POWER_ON}),
            std::vector<std::wstring>{ForRun(kInUseEnglish, kInUseJapanese)});
  EXPECT_EQ(ChangingCommandsTo('E'), 0);
  EXPECT_TRUE(m_devices.Drive('E')->Current().ejectAtPowerOn);
  EXPECT_EQ(SendMessageW(box, BM_GETCHECK, 0, 0), BST_CHECKED) << "the box shows what the drive does not hold";
}

}  // namespace
}  // namespace norvane::test
