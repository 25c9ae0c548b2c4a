// Shared pieces of the UI tests: the main window on emulated drives, and
// everything the tests of windows share (dialog_test_support.h).
#pragma once

#include <windows.h>

#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "app/main_window.h"
#include "dialog_test_support.h"
#include "emulator/emulated_devices.h"
#include "tests/common/sent_blocks.h"
#include "ui/colours.h"

namespace norvane::test {

// A drive's settings with the quiet mode, read-error handling (in its
// factory mode) and real-time handling given, the rest as from the factory.
emu::DriveSettings Settings(std::uint8_t quiet, bool readError, bool realTime);

// Selects a tab or a drive-list entry of the main window `main` as the
// controls report it: the selection changes, then the main window hears of it.
void SelectTab(HWND main, int index);
void SelectDrive(HWND main, int index);

// Windows' black high-contrast theme, in the colours the windows use. Wine
// cannot turn the theme's flag on, so the test stands in for the flag. (Wine
// goes on drawing its visual styles on buttons, tabs and group boxes, which
// Windows turns off under such a theme.)
class HighContrastTheme {
 public:
  HighContrastTheme() {
    for (std::size_t i = 0; i < std::size(kElements); ++i) m_saved[i] = GetSysColor(kElements[i]);
    SetSysColors(static_cast<int>(std::size(kElements)), kElements, kColours);
    ui::SetHighContrastQuery([] { return true; });
  }
  ~HighContrastTheme() {
    ui::SetHighContrastQuery(nullptr);
    SetSysColors(static_cast<int>(std::size(kElements)), kElements, m_saved);
  }

 private:
  static constexpr INT kElements[] = {COLOR_WINDOW,    COLOR_WINDOWTEXT, COLOR_BTNFACE,       COLOR_BTNTEXT,
                                      COLOR_GRAYTEXT,  COLOR_HIGHLIGHT,  COLOR_HIGHLIGHTTEXT, COLOR_BTNHIGHLIGHT,
                                      COLOR_BTNSHADOW, COLOR_3DDKSHADOW, COLOR_3DLIGHT};
  static constexpr COLORREF kColours[] = {RGB(0, 0, 0),       RGB(255, 255, 255), RGB(0, 0, 0),      RGB(255, 255, 255),
                                          RGB(63, 242, 63),   RGB(26, 235, 255),  RGB(0, 0, 0),      RGB(255, 255, 255),
                                          RGB(255, 255, 255), RGB(255, 255, 255), RGB(255, 255, 255)};
  COLORREF m_saved[std::size(kElements)] = {};
};

// The main window, created modeless on emulated drives attached by each test.
class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Creates the main window: its initialisation scans the drives.
  void Start();
  HWND Main() const { return m_window->Handle(); }
  HWND Control(int id) const { return GetDlgItem(Main(), id); }
  void SelectTab(int index) const { test::SelectTab(Main(), index); }
  // Clicks the tab's header with the mouse, as a person does: the tab
  // control asks the main window first whether it may change.
  void ClickTab(int index) const;
  void SelectDrive(int index) const { test::SelectDrive(Main(), index); }
  // Presses `key` on `target` with the keys `held` down, through the main
  // window's message loop, as a person does.
  void PressKey(HWND target, UINT key, std::initializer_list<int> held = {}) const;
  // Sends `messages`, all for `page` or its controls, and one for the main
  // window's drive list through the main window's message loop; expects the
  // page's ones relayed to the page's tooltip, in order, and no other.
  void ExpectRelayedToPageTip(HWND page, const std::vector<MSG>& messages) const;
  emu::EmulatedDrive& Drive(char letter = 'E') { return *m_devices.Drive(letter); }
  // The command blocks the drive at `letter` was sent, in order.
  std::vector<Cdb> SentBlocks(char letter = 'E') { return test::SentBlocks(Drive(letter)); }

  emu::EmulatedDevices m_devices;
  std::unique_ptr<CNorvaneDriveUtilityDlg> m_window;
};

}  // namespace norvane::test
