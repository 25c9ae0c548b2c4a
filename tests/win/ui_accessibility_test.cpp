// The window for a keyboard and a screen reader: Tab walks every page in
// reading order with the focus visible, every control has a name that says
// what it is, the Status page reads out through the system's accessibility
// objects, and a high-contrast theme gives every text the theme's colours.
#include <windows.h>
#include <commctrl.h>
#include <oleacc.h>

#include <cstdlib>
#include <initializer_list>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "pages/settings_page.h"
#include "pages/status_page.h"
#include "pages/utility_page.h"
#include "resource.h"
#include "ui/accessible.h"
#include "ui/colours.h"
#include "ui_test_support.h"

namespace norvane::test {
namespace {

constexpr const wchar_t* kTabNames[] = {L"Setting", L"Status", L"Utility"};

class Accessibility : public MainWindowTest {
 protected:
  void Start(const emu::DriveSettings& settings = {}) {
    m_devices.Attach('E', emu::QuietDriveModel()).SetCurrent(settings);
    MainWindowTest::Start();
    ShowWindow(Main(), SW_SHOW);
    SetForegroundWindow(Main());
  }
  HWND Page(int tab) const {
    switch (tab) {
      case 0: return m_window->SettingsPage()->Handle();
      case 1: return m_window->StatusPage()->Handle();
      default: return m_window->UtilityPage()->Handle();
    }
  }
  // Where Tab takes the focus from the drive list until it comes back.
  std::vector<HWND> TabWalk() {
    SetFocus(Control(IDC_DRIVE_LIST));
    std::vector<HWND> walk{GetFocus()};
    for (int presses = 0; presses < 30; ++presses) {
      PressKey(GetFocus(), VK_TAB);
      if (GetFocus() == walk.front()) return walk;
      walk.push_back(GetFocus());
    }
    ADD_FAILURE() << "Tab never came back to the drive list";
    return walk;
  }
};

std::wstring NameOf(HWND window) { return ReadAccessible(window).name; }

// Whether `b` comes after `a` as a person reads the page: a lower row, or the
// same row (tops within a few pixels) further right.
bool ReadsAfter(HWND a, HWND b) {
  RECT first, second;
  GetWindowRect(a, &first);
  GetWindowRect(b, &second);
  if (std::abs(second.top - first.top) <= 3) return second.left > first.left;
  return second.top > first.top;
}

TEST_F(Accessibility, TabWalksEveryPageInReadingOrderAndReachesEveryControlThatTakesTheFocus) {
  // With read-error handling on, all its controls are enabled; Tab enters a
  // radio group at its set button.
  emu::DriveSettings settings;
  settings.readErrorHandling = true;
  Start(settings);
  const std::vector<std::vector<int>> expected = {
      {IDC_QUIET_ON, IDC_QUIET_STANDARD, IDC_READ_ON, IDC_READ_PERFECT, IDC_REAL_TIME, IDC_SAVE_SETTING,
       IDC_EJECT_AT_POWER_ON},
      {IDC_ERROR_INDICATOR, IDC_SECTOR_COUNT, IDC_TIME_CODE, IDC_CLEAR},
      {IDC_RUN_CHECK, IDC_EJECT, IDC_FORCE_EJECT, IDC_RESTORE_DEFAULTS},
  };
  for (int tab = 0; tab < 3; ++tab) {
    SCOPED_TRACE(kTabNames[tab]);
    SelectTab(tab);
    const std::vector<HWND> walk = TabWalk();
    ASSERT_GE(walk.size(), 2u);
    EXPECT_EQ(walk[1], Control(IDC_PAGE_TABS)) << "after the drive list, the tabs";
    std::vector<int> onPage;
    for (std::size_t i = 2; i < walk.size(); ++i) {
      EXPECT_EQ(GetParent(walk[i]), Page(tab)) << "step " << i << " leaves the shown page";
      onPage.push_back(GetDlgCtrlID(walk[i]));
      if (i > 2) {
        EXPECT_TRUE(ReadsAfter(walk[i - 1], walk[i])) << "control " << onPage.back() << " out of reading order";
      }
    }
    EXPECT_EQ(onPage, expected[tab]);
  }
}

TEST_F(Accessibility, CtrlTabAndCtrlPageKeysTurnThePagesFromAnywhere) {
  Start();
  const struct {
    const char* keys;
    UINT key;
    std::initializer_list<int> held;
    int tab;
  } presses[] = {
      {"Ctrl+Tab", VK_TAB, {VK_CONTROL}, 1},
      {"Ctrl+PgDn", VK_NEXT, {VK_CONTROL}, 2},
      {"Ctrl+Tab past the last", VK_TAB, {VK_CONTROL}, 0},
      {"Ctrl+Shift+Tab before the first", VK_TAB, {VK_CONTROL, VK_SHIFT}, 2},
      {"Ctrl+PgUp", VK_PRIOR, {VK_CONTROL}, 1},
      {"Tab alone", VK_TAB, {}, 1},
  };
  for (HWND start : {Control(IDC_DRIVE_LIST), GetDlgItem(Page(0), IDC_QUIET_ON)}) {
    SCOPED_TRACE(testing::Message() << "from control " << GetDlgCtrlID(start));
    SelectTab(0);
    SetFocus(start);
    for (const auto& press : presses) {
      SCOPED_TRACE(press.keys);
      PressKey(GetFocus(), press.key, press.held);
      EXPECT_EQ(SendMessageW(Control(IDC_PAGE_TABS), TCM_GETCURSEL, 0, 0), press.tab);
      for (int tab = 0; tab < 3; ++tab) EXPECT_EQ(IsWindowVisible(Page(tab)) != FALSE, tab == press.tab);
      EXPECT_EQ(m_window->StatusPage()->TabSelected(), press.tab == 1);
      // A key typed into a hidden control would reach nothing the user sees.
      ASSERT_TRUE(IsWindowVisible(GetFocus())) << "the focus on a hidden control " << GetDlgCtrlID(GetFocus());
    }
  }
}

TEST_F(Accessibility, EveryControlHasANameThatSaysWhatItIs) {
  Start();
  SelectTab(1);
  SendMessageW(m_window->StatusPage()->Handle(), WM_TIMER, 0, 0);
  const struct {
    HWND window;
    const wchar_t* english;
    const wchar_t* japanese;
  } named[] = {
      {Control(IDC_DRIVE_LIST), L"Drive", L"ドライブ"},
      {Control(IDC_PAGE_TABS), L"Pages", L"ページ"},
      {GetDlgItem(Page(0), IDC_QUIET_ON), L"Advanced Quiet Drive Feature ON", L"アドバンスド静音機能 ON"},
      {GetDlgItem(Page(0), IDC_READ_ON), L"VeriTrack2+ ON", L"VeriTrack2+ ON"},
      {GetDlgItem(Page(1), IDC_ERROR_INDICATOR), L"Error Indicator", L"Error Indicator"},
      {GetDlgItem(Page(1), IDC_SECTOR_COUNT), L"The number of transfer sector", L"転送されたセクタ数"},
      {GetDlgItem(Page(1), IDC_TIME_CODE), L"The time of the last transferred sector", L"最後に転送されたセクタの時間"},
      {GetDlgItem(Page(2), IDC_RUN_CHECK), L"Run", L"チェックを実行する"},
  };
  for (const auto& control : named) {
    SCOPED_TRACE(GetDlgCtrlID(control.window));
    EXPECT_EQ(NameOf(control.window), ForRun(control.english, control.japanese));
  }
  // Whatever takes the focus or shows a text has a name; tooltips are no
  // names.
  for (int tab = 0; tab < 3; ++tab) {
    SCOPED_TRACE(kTabNames[tab]);
    for (HWND child = GetWindow(Page(tab), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      const LONG style = GetWindowLongW(child, GWL_STYLE);
      if (!(style & WS_VISIBLE) || (!(style & WS_TABSTOP) && WindowText(child).empty())) continue;
      EXPECT_FALSE(NameOf(child).empty()) << "control " << GetDlgCtrlID(child);
    }
  }
}

TEST_F(Accessibility, TheStatusPageReadsOutItsLevelAndNoValueWhenTheDriveGaveNone) {
  Start();
  SelectTab(1);
  HWND page = m_window->StatusPage()->Handle();
  HWND indicator = GetDlgItem(page, IDC_ERROR_INDICATOR);
  m_devices.Drive('E')->SetCounters(1, 2000, 4499);  // level 3
  SendMessageW(page, WM_TIMER, 0, 0);
  const AccessibleReading reading = ReadAccessible(indicator);
  ASSERT_EQ(reading.found, S_OK);
  EXPECT_EQ(reading.name, L"Error Indicator");
  EXPECT_EQ(reading.role, ROLE_SYSTEM_PROGRESSBAR);
  EXPECT_EQ(reading.value, ForRun(L"Not Good, 3 of 8", L"Not good、8 個中 3 個点灯"));

  m_devices.Drive('E')->QueueSense({5, 0x24, 0x00}, 1000);
  SendMessageW(page, WM_TIMER, 0, 0);
  EXPECT_EQ(ReadAccessible(indicator).value, std::nullopt) << "the read failed: no value";
}

// COLOR_WINDOWTEXT is what the system's own colouring gives static text.
TEST_F(Accessibility, UnderAHighContrastThemeEveryTextOfThePagesTakesTheThemeColour) {
  Start();
  SelectTab(1);
  ui::SetHighContrastQuery([] { return true; });
  HWND page = m_window->StatusPage()->Handle();
  m_devices.Drive('E')->SetCounters(1, 31, 4500);  // "Fatal", red without the theme
  SendMessageW(page, WM_TIMER, 0, 0);
  HDC dc = CreateCompatibleDC(nullptr);
  SendMessageW(page, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
               reinterpret_cast<LPARAM>(GetDlgItem(page, IDC_LEVEL_TEXT)));
  const COLORREF colour = GetTextColor(dc);
  DeleteDC(dc);
  ui::SetHighContrastQuery(nullptr);
  EXPECT_EQ(colour, GetSysColor(COLOR_WINDOWTEXT));
}

// A screen reader's call never meets an exception of ours: what the
// control's text throws ends that call with E_FAIL, the program goes on, and
// the next call answers.
TEST(AccessibleControl, WhatTheControlsTextThrowsFailsTheCallAndNothingElse) {
  HWND control =
      CreateWindowExW(0, L"Static", L"", WS_POPUP, 0, 0, 50, 20, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(control, nullptr);
  bool throwing = true;
  ui::CAccessibleControl accessible;
  accessible.Attach(control, {[&]() -> std::wstring {
                                if (throwing) throw std::runtime_error("no name");
                                return L"Name";
                              },
                              [&]() -> std::optional<std::wstring> {
                                if (throwing) throw std::bad_alloc();
                                return L"Value";
                              },
                              0});
  IAccessible* object = nullptr;
  ASSERT_EQ(AccessibleObjectFromWindow(control, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                       reinterpret_cast<void**>(&object)),
            S_OK);
  VARIANT self{};
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  for (const bool throws : {true, false}) {
    SCOPED_TRACE(throws ? "the text throws" : "the text answers");
    throwing = throws;
    BSTR name = nullptr, value = nullptr;
    EXPECT_EQ(object->get_accName(self, &name), throws ? E_FAIL : S_OK);
    EXPECT_EQ(object->get_accValue(self, &value), throws ? E_FAIL : S_OK);
    EXPECT_EQ(name ? std::wstring(name) : L"", throws ? L"" : L"Name");
    EXPECT_EQ(value ? std::wstring(value) : L"", throws ? L"" : L"Value");
    SysFreeString(name);
    SysFreeString(value);
  }
  object->Release();
  DestroyWindow(control);
}

}  // namespace
}  // namespace norvane::test
