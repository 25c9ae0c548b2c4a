// Figures for scripts/measure.sh, too slow for every test run: what 10,000
// Status updates and 1,000 Settings clicks leave behind in GDI objects and
// windows. (CTest runs a shorter leak check with the Status page's tests.)
#include <windows.h>
#include <commctrl.h>

#include <cstdio>

#include <gtest/gtest.h>

#include "pages/settings_page.h"
#include "pages/status_page.h"
#include "resource.h"
#include "ui_test_support.h"

namespace norvane::test {
namespace {

class Measure : public MainWindowTest {};

TEST_F(Measure, GdiObjectsAndWindowsAfter10000TicksAnd1000Clicks) {
  m_devices.Attach('E', emu::QuietDriveModel()).StartAudio(75, 300);
  Start();
  ShowWindow(Main(), SW_SHOW);
  const int headroomBefore = GdiHeadroom();
  const int windowsBefore = ThreadWindowCount();

  SelectTab(1);
  HWND status = m_window->StatusPage()->Handle();
  for (int i = 0; i < 10000; ++i) {
    m_devices.Clock().Advance(1000);
    SendMessageW(status, WM_TIMER, 0, 0);
  }
  SelectTab(0);
  HWND settings = m_window->SettingsPage()->Handle();
  for (int i = 0; i < 1000; ++i) {
    const int radio = i % 2 ? IDC_QUIET_STANDARD : IDC_QUIET_PERFORMANCE;
    SendMessageW(GetDlgItem(settings, radio), BM_CLICK, 0, 0);
  }

  const int headroomAfter = GdiHeadroom();
  const int windowsAfter = ThreadWindowCount();
  std::printf("[ measure  ] GDI headroom %d before, %d after; windows %d before, %d after\n", headroomBefore,
              headroomAfter, windowsBefore, windowsAfter);
  EXPECT_EQ(headroomAfter, headroomBefore);
  EXPECT_EQ(windowsAfter, windowsBefore);
}

}  // namespace
}  // namespace norvane::test
