// How the main window and its pages lie out at the display's scaling (the
// CTest entries run these at 96 and at 144 DPI): the window fits the screen,
// every page fits the tab control, every control its page, every text its
// control. With NORVANE_SCREENSHOTS set to a folder, it also saves what each
// tab looks like on the screen.
#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/main_window.h"
#include "drive/channel.h"
#include "pages/settings_page.h"
#include "pages/status_page.h"
#include "pages/utility_page.h"
#include "resource.h"
#include "ui/colours.h"
#include "ui_test_support.h"

namespace norvane::test {
namespace {

const char* const kTabTemplates[] = {"setting", "status", "utility"};
const wchar_t* const kTabFiles[] = {L"setting", L"status", L"utility"};

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, static_cast<int>(std::size(name)));
  return name;
}

RECT ScreenRect(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return rect;
}

bool Inside(const RECT& inner, const RECT& outer) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

std::string Describe(const RECT& r) {
  return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + ")-(" + std::to_string(r.right) + "," +
         std::to_string(r.bottom) + ")";
}

std::string Narrow(const std::wstring& text) {
  std::string out(WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), static_cast<int>(out.size()), nullptr, nullptr);
  out.pop_back();
  return out;
}

std::vector<HWND> VisibleChildren(HWND parent) {
  std::vector<HWND> children;
  for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (IsWindowVisible(child)) children.push_back(child);
  }
  return children;
}

// The size a control's text takes in the control's font: one line, or
// broken into lines at `width` for a static that wraps.
SIZE TextSize(HWND control, const std::wstring& text, int wrapWidth) {
  HDC dc = GetDC(control);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
  RECT rect{0, 0, wrapWidth, 0};
  const UINT flags = DT_CALCRECT | (wrapWidth ? DT_WORDBREAK : DT_SINGLELINE) | DT_NOPREFIX;
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect, flags);
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return {rect.right - rect.left, rect.bottom - rect.top};
}

// Whether a static control shows its text (an icon's or a picture's holds
// the resource it shows instead).
bool ShowsText(HWND control) {
  switch (GetWindowLongW(control, GWL_STYLE) & SS_TYPEMASK) {
    case SS_LEFT:
    case SS_CENTER:
    case SS_RIGHT:
    case SS_SIMPLE:
    case SS_LEFTNOWORDWRAP: return true;
    default: return false;
  }
}

// A static text shows all of its text: within its width, and where it wraps
// in as many lines as its height holds.
void ExpectStaticTextFits(HWND control) {
  const std::wstring text = WindowText(control);
  if (text.empty() || ClassOf(control) != L"Static" || !ShowsText(control)) return;
  RECT client{};
  GetClientRect(control, &client);
  const std::string what = "control " + std::to_string(GetDlgCtrlID(control)) + " \"" + Narrow(text) + "\"";
  const bool wraps = (GetWindowLongW(control, GWL_STYLE) & SS_TYPEMASK) == SS_LEFT;
  const SIZE size = TextSize(control, text, wraps ? client.right : 0);
  EXPECT_LE(size.cx, client.right) << what;
  EXPECT_LE(size.cy, client.bottom) << what << " needs more lines than it has";
}

class Layout : public MainWindowTest {
 protected:
  void Start() {
    m_devices.Attach('E', emu::QuietDriveModel());
    MainWindowTest::Start();
  }
  HWND Page(int tab) const {
    const ui::CDialog* pages[] = {m_window->SettingsPage(), m_window->StatusPage(), m_window->UtilityPage()};
    return pages[tab]->Handle();
  }
  int Dpi() const {
    HDC dc = GetDC(Main());
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(Main(), dc);
    return dpi;
  }
  // The part of the tab control that shows a page, in screen coordinates.
  RECT PageArea() const {
    RECT area = ScreenRect(Control(IDC_PAGE_TABS));
    MapWindowPoints(nullptr, Control(IDC_PAGE_TABS), reinterpret_cast<POINT*>(&area), 2);
    SendMessageW(Control(IDC_PAGE_TABS), TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
    MapWindowPoints(Control(IDC_PAGE_TABS), nullptr, reinterpret_cast<POINT*>(&area), 2);
    return area;
  }
  void Show(int tab) const {
    SelectTab(tab);
    RedrawWindow(Main(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  }
};

TEST_F(Layout, RunsAtTheScalingTheRunAsksFor) {
  const char* expected = std::getenv("NORVANE_EXPECTED_DPI");
  if (!expected) GTEST_SKIP() << "NORVANE_EXPECTED_DPI not set";
  Start();
  EXPECT_EQ(Dpi(), std::atoi(expected));
}

TEST_F(Layout, TheWindowFitsTheWorkArea) {
  Start();
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const RECT window = ScreenRect(Main());
  EXPECT_LE(window.right - window.left, work.right - work.left) << Describe(window);
  EXPECT_LE(window.bottom - window.top, work.bottom - work.top) << Describe(window);
}

TEST_F(Layout, EveryPageFitsTheTabControlAndEveryControlItsPage) {
  Start();
  const RECT area = PageArea();
  // A failed assertion ends its tab only.
  const auto expectFits = [&](int tab) {
    Show(tab);
    ASSERT_TRUE(IsWindowVisible(Page(tab)));
    EXPECT_TRUE(Inside(ScreenRect(Page(tab)), area)) << Describe(ScreenRect(Page(tab))) << " in " << Describe(area);
    // A page is as large as the area it was placed in; its controls must not
    // reach past it, or they are cut off.
    RECT visible = ScreenRect(Page(tab));
    IntersectRect(&visible, &visible, &area);
    for (HWND control : VisibleChildren(Page(tab))) {
      if (ClassOf(control) == TOOLTIPS_CLASSW) continue;
      EXPECT_TRUE(Inside(ScreenRect(control), visible))
          << "control " << GetDlgCtrlID(control) << " \"" << Narrow(WindowText(control)) << "\" at "
          << Describe(ScreenRect(control)) << " outside " << Describe(visible);
    }
  };
  for (int tab = 0; tab < 3; ++tab) {
    SCOPED_TRACE(kTabTemplates[tab]);
    expectFits(tab);
  }
}

TEST_F(Layout, EveryTextFitsItsControl) {
  Start();
  // A failed assertion ends its control only.
  const auto expectTextFits = [](HWND control) {
    const std::wstring text = WindowText(control);
    if (text.empty()) return;
    RECT client{};
    GetClientRect(control, &client);
    const std::wstring kind = ClassOf(control);
    const std::string what = "control " + std::to_string(GetDlgCtrlID(control)) + " \"" + Narrow(text) + "\"";
    if (kind == L"Button") {
      if ((GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX) {
        // The caption sits in the frame's top edge, inset on both sides.
        EXPECT_LE(TextSize(control, text, 0).cx, client.right - 2 * TextSize(control, L"0", 0).cx) << what;
        return;
      }
      // The button's own measure: its box or frame, the gap and the text.
      SIZE ideal{};
      ASSERT_TRUE(SendMessageW(control, BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&ideal)));
      EXPECT_LE(ideal.cx, client.right) << what;
      EXPECT_LE(ideal.cy, client.bottom) << what;
    } else if (kind == L"Static") {
      ExpectStaticTextFits(control);
    }
  };
  for (int tab = 0; tab < 3; ++tab) {
    SCOPED_TRACE(kTabTemplates[tab]);
    Show(tab);
    for (HWND control : VisibleChildren(Page(tab))) expectTextFits(control);
  }
}

// Every static text of every window, at the scaling of the run and in its
// language: the pages, the About box, and the main window's notice when no
// drive is found.
TEST_F(Layout, EveryStaticTextOfEveryWindowFits) {
  Start();
  for (int tab = 0; tab < 3; ++tab) {
    SCOPED_TRACE(kTabTemplates[tab]);
    Show(tab);
    for (HWND control : VisibleChildren(Page(tab))) ExpectStaticTextFits(control);
  }
  int aboutTexts = 0;
  WhileAnswering(
      Main(),
      [&](HWND about) {
        SCOPED_TRACE("About box");
        for (HWND control : VisibleChildren(about)) {
          aboutTexts += ClassOf(control) == L"Static" && ShowsText(control) && !WindowText(control).empty();
          ExpectStaticTextFits(control);
        }
        SendMessageW(GetDlgItem(about, IDOK), BM_CLICK, 0, 0);
      },
      [&] { SendMessageW(Main(), WM_SYSCOMMAND, IDM_ABOUTBOX, 0); });
  EXPECT_GE(aboutTexts, 2);

  m_window.reset();
  CloseDrive();
  m_devices.Detach('E');
  MainWindowTest::Start();
  SCOPED_TRACE("no drive");
  ShowWindow(Main(), SW_SHOW);
  ASSERT_FALSE(WindowText(Control(IDC_MESSAGE)).empty());
  ExpectStaticTextFits(Control(IDC_MESSAGE));
}

// Asks whoever runs the test to photograph the window from the X server (a
// screen DC under Wine holds only part of what X shows): writes
// `<name>.request` with the window's rectangle and waits until the
// photograph `<name>.png` is there and the request gone.
bool Photograph(HWND window, const std::wstring& folder, const std::wstring& name) {
  const RECT rect = ScreenRect(window);
  const std::string geometry = std::to_string(rect.right - rect.left) + "x" + std::to_string(rect.bottom - rect.top) +
                               "+" + std::to_string(rect.left) + "+" + std::to_string(rect.top) + "\n";
  const std::wstring request = folder + L"\\" + name + L".request";
  const std::wstring photo = folder + L"\\" + name + L".png";
  DeleteFileW(photo.c_str());
  HANDLE file = CreateFileW(request.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  WriteFile(file, geometry.data(), static_cast<DWORD>(geometry.size()), &written, nullptr);
  CloseHandle(file);
  for (int waited = 0; waited < 30000; waited += 50) {
    for (MSG message; PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);) DispatchMessageW(&message);
    if (GetFileAttributesW(request.c_str()) == INVALID_FILE_ATTRIBUTES) {
      return GetFileAttributesW(photo.c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    Sleep(50);
  }
  DeleteFileW(request.c_str());
  return false;
}

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

TEST_F(Layout, ScreenshotsOfTheThreeTabs) {
  const wchar_t* folder = _wgetenv(L"NORVANE_SCREENSHOTS");
  if (!folder) GTEST_SKIP() << "NORVANE_SCREENSHOTS not set";
  Start();
  SetWindowPos(Main(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
  for (int tab = 0; tab < 3; ++tab) {
    SCOPED_TRACE(kTabTemplates[tab]);
    Show(tab);
    EXPECT_TRUE(Photograph(Main(), folder, ForRun(L"en-", L"ja-") + kTabFiles[tab])) << "no photograph taken";
  }
  // The Status page at "Not Good" under a high-contrast theme.
  m_devices.Drive('E')->SetCounters(1, 1000, 4499);
  HighContrastTheme theme;
  Show(1);
  SendMessageW(Page(1), WM_TIMER, 0, 0);
  EXPECT_TRUE(Photograph(Main(), folder, ForRun(L"en-", L"ja-") + std::wstring(L"status-high-contrast")))
      << "no photograph taken";
}

}  // namespace
}  // namespace norvane::test
