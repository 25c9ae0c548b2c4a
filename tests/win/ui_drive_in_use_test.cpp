// Every changing action of the pages finds the shown drive taken by another
// program, whichever way it has it: the user is told so, and nothing at all
// goes to the drive; once the other program lets go, the same action
// reaches the drive.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "drive/channel.h"
#include "pages/settings_page.h"
#include "pages/status_page.h"
#include "pages/utility_page.h"
#include "resource.h"
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
  bool asksFirst;  // a confirmation comes before the drive is taken
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
  // Clicks the action's button, answers OK to a confirmation, and answers the
  // texts of the boxes that came up after it.
  std::vector<std::wstring> Click(const ChangingAction& action) {
    std::vector<std::wstring> texts;
    bool confirmed = !action.asksFirst;
    WhileAnsweringEach(
        Main(),
        [&](HWND box) {
          if (confirmed) texts.push_back(InspectMessageBox(box).text);
          confirmed = true;
          EndDialog(box, IDOK);
        },
        [&] { SendMessageW(Button(action), BM_CLICK, 0, 0); });
    return texts;
  }
};

TEST_F(DriveInUse, EveryChangingActionSendsNothingWhileAnotherProgramHasTheDrive) {
  const ChangingAction actions[] = {
      {"Settings: Performance Mode", Page::Settings, IDC_QUIET_PERFORMANCE, false},
      {"Status: Clear", Page::Status, IDC_CLEAR, false},
      {"Utility: EJECT", Page::Utility, IDC_EJECT, false},
      {"Utility: force eject", Page::Utility, IDC_FORCE_EJECT, true},
      {"Utility: factory default", Page::Utility, IDC_RESTORE_DEFAULTS, true},
      {"Utility: bus power check", Page::Utility, IDC_RUN_CHECK, false},
  };
  Start();
  for (const DriveHolder& holder : DriveHolders()) {
    for (const ChangingAction& action : actions) {
      SCOPED_TRACE(std::string(action.name) + ", " + holder.name);
      m_devices.Drive('E')->ClearLog();
      {
        const std::shared_ptr<void> other = holder.take(DevicePath('E'));
        EXPECT_EQ(Click(action), std::vector<std::wstring>{ForRun(kInUseEnglish, kInUseJapanese)});
        EXPECT_TRUE(m_devices.Drive('E')->Log().empty()) << m_devices.Drive('E')->Log().size() << " commands went out";
      }
      if (action.button == IDC_RUN_CHECK) continue;  // the check's run has its own tests
      Click(action);
      EXPECT_FALSE(m_devices.Drive('E')->Log().empty()) << "the action reaches the drive once it is free";
    }
  }
}

}  // namespace
}  // namespace norvane::test
