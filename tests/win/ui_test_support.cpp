#include "ui_test_support.h"

#include <commctrl.h>

#include <algorithm>
#include <iterator>

#include "drive/channel.h"
#include "drive/device_io.h"
#include "resource.h"
#include "ui/waiting.h"

namespace norvane::test {

emu::DriveSettings Settings(std::uint8_t quiet, bool readError, bool realTime) {
  emu::DriveSettings settings;
  settings.quietMode = quiet;
  settings.readErrorHandling = readError;
  settings.realTime = realTime;
  return settings;
}

void MainWindowTest::SetUp() {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  InstallDeviceIo(m_devices);
  // As the program runs them: every call for a drive off the window's thread.
  InstallCallRunner(&ui::RunKeepingWindowsAnswering);
}

void MainWindowTest::TearDown() {
  m_window.reset();
  // While the devices they were opened on still exist.
  CloseDrive();
  ReleaseMediaNotification();
  InstallCallRunner(nullptr);
}

void MainWindowTest::Start() {
  m_window = std::make_unique<CNorvaneDriveUtilityDlg>();
  ASSERT_TRUE(m_window->CreateModeless());
}

void MainWindowTest::PressKey(HWND target, UINT key, std::initializer_list<int> held) const {
  BYTE state[256] = {};
  GetKeyboardState(state);
  BYTE saved[256];
  std::copy(std::begin(state), std::end(state), saved);
  for (int h : held) state[h] = 0x80;
  SetKeyboardState(state);
  MSG down{target, WM_KEYDOWN, key, 1, GetTickCount(), {}};
  m_window->ProcessMessage(down);
  MSG up{target, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u), GetTickCount(), {}};
  m_window->ProcessMessage(up);
  SetKeyboardState(saved);
}

void SelectTab(HWND main, int index) {
  HWND tabs = GetDlgItem(main, IDC_PAGE_TABS);
  SendMessageW(tabs, TCM_SETCURSEL, index, 0);
  NMHDR header{tabs, IDC_PAGE_TABS, static_cast<UINT>(TCN_SELCHANGE)};
  SendMessageW(main, WM_NOTIFY, IDC_PAGE_TABS, reinterpret_cast<LPARAM>(&header));
}

void MainWindowTest::ClickTab(int index) const {
  HWND tabs = Control(IDC_PAGE_TABS);
  RECT item{};
  SendMessageW(tabs, TCM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&item));
  const LPARAM point = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
  SendMessageW(tabs, WM_LBUTTONDOWN, MK_LBUTTON, point);
  SendMessageW(tabs, WM_LBUTTONUP, 0, point);
}

void MainWindowTest::ExpectRelayedToPageTip(HWND page, const std::vector<MSG>& messages) const {
  HWND tip = PageToolTip(page);
  ASSERT_NE(tip, nullptr);
  std::vector<MSG> sent = messages;
  sent.push_back({Control(IDC_DRIVE_LIST), WM_MOUSEMOVE, 0, 0, 99, {}});  // the main window's own
  const std::vector<MSG> relayed = RelayedTo(tip, [&] {
    for (MSG msg : sent) m_window->ProcessMessage(msg);
  });
  ASSERT_EQ(relayed.size(), messages.size());
  for (std::size_t i = 0; i < relayed.size(); ++i) {
    SCOPED_TRACE(testing::Message() << "message " << i);
    EXPECT_EQ(relayed[i].hwnd, messages[i].hwnd);
    EXPECT_EQ(relayed[i].message, messages[i].message);
    EXPECT_EQ(relayed[i].wParam, messages[i].wParam);
    EXPECT_EQ(relayed[i].lParam, messages[i].lParam);
  }
}

void SelectDrive(HWND main, int index) {
  HWND list = GetDlgItem(main, IDC_DRIVE_LIST);
  SendMessageW(list, CB_SETCURSEL, index, 0);
  SendMessageW(main, WM_COMMAND, MAKEWPARAM(IDC_DRIVE_LIST, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
}

}  // namespace norvane::test
