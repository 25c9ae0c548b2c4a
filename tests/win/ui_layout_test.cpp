// How the main window and its pages lie out at the display's scaling (the
// CTest entries run these at 96 and at 144 DPI): the window fits the screen,
// every page fits the tab control, every control its page, every text its
// control. With NORVANE_SCREENSHOTS set to a folder, it also saves what each
// tab looks like on the screen.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
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
  // Each page, shown, lies inside the tab control's display area, and each
  // of its controls inside the page.
  void ExpectEveryPageInsideItsTab() const {
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
  ExpectEveryPageInsideItsTab();
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

// Where each window below `parent` lies, in `origin`'s client area.
struct Placed {
  HWND window;
  RECT rect;
};
void CollectPlaces(HWND origin, HWND parent, std::vector<Placed>& places) {
  for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    RECT rect = ScreenRect(child);
    MapWindowPoints(nullptr, origin, reinterpret_cast<POINT*>(&rect), 2);
    places.push_back({child, rect});
    CollectPlaces(origin, child, places);
  }
}
std::vector<Placed> PlacesBelow(HWND window) {
  std::vector<Placed> places;
  CollectPlaces(window, window, places);
  return places;
}

bool WithinAPixel(const RECT& a, const RECT& b) {
  return std::abs(a.left - b.left) <= 1 && std::abs(a.top - b.top) <= 1 && std::abs(a.right - b.right) <= 1 &&
         std::abs(a.bottom - b.bottom) <= 1;
}

RECT ScaledRect(const RECT& rect, int from, int to) {
  return {MulDiv(rect.left, to, from), MulDiv(rect.top, to, from), MulDiv(rect.right, to, from),
          MulDiv(rect.bottom, to, from)};
}

LONG FontHeight(HWND window) {
  LOGFONTW font{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)), sizeof font, &font);
  return font.lfHeight;
}

// The rows of the error indicator's first segment whose frame runs along
// its top and its bottom, as the indicator paints them.
struct SegmentFrame {
  int top, bottom;
};
SegmentFrame FrameRowsOfFirstSegment(HWND indicator) {
  constexpr std::uint32_t kFrame = 0x000000;
  constexpr std::uint32_t kPanel = 0x707070;
  RECT client{};
  GetClientRect(indicator, &client);
  const std::vector<std::uint32_t> pixels = ClientPixels(indicator, PixelSource::Painted);
  const int x = client.right / 16;  // the middle of the first of eight segments
  const auto at = [&](int y) { return pixels[static_cast<std::size_t>(y * client.right + x)] & 0xFFFFFF; };
  SegmentFrame frame{-1, -1};
  for (int y = 1; y < client.bottom / 2; ++y) {
    if (at(y) == kFrame && at(y - 1) == kPanel) frame.top = frame.top < 0 ? y : frame.top;
  }
  for (int y = client.bottom - 2; y > client.bottom / 2; --y) {
    if (at(y) == kFrame && at(y + 1) == kPanel) frame.bottom = frame.bottom < 0 ? client.bottom - 1 - y : frame.bottom;
  }
  return frame;
}

// The window moved to a monitor of another scale factor (to 150% from 100%,
// to 100% in the run at 150%) and back, as Windows tells it: it takes the
// rectangle Windows suggests, its fonts are the templates' at the new DPI,
// every control of the pages is where the page's template puts it there,
// the pages stay inside the tabs, the tips and the indicator's segments
// follow; back again, everything is where it was.
TEST_F(Layout, TheWindowFollowsAMoveToAMonitorOfAnotherScaleAndBack) {
  Start();
  ShowWindow(Main(), SW_SHOW);
  const int from = Dpi();
  const int to = from == 144 ? 96 : 144;
  const RECT original = ScreenRect(Main());
  const std::vector<Placed> before = PlacesBelow(Main());
  std::vector<std::vector<Placed>> pagesBefore;
  for (int tab = 0; tab < 3; ++tab) pagesBefore.push_back(PlacesBelow(Page(tab)));
  HWND tip = PageToolTip(Page(0));
  ASSERT_NE(tip, nullptr);
  const auto tipWidth = static_cast<int>(SendMessageW(tip, TTM_GETMAXTIPWIDTH, 0, 0));
  const LONG tipFont = FontHeight(tip);
  HWND indicator = GetDlgItem(Page(1), IDC_ERROR_INDICATOR);
  const auto moveTo = [&](int dpi, RECT suggested) {
    SendMessageW(Main(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
  };

  // Windows suggests the window's rectangle scaled by the ratio of the DPIs.
  const auto suggestedAt = [&](int dpi) {
    return RECT{original.left, original.top, original.left + MulDiv(original.right - original.left, dpi, from),
                original.top + MulDiv(original.bottom - original.top, dpi, from)};
  };
  const RECT suggested = suggestedAt(to);
  moveTo(to, suggested);
  {
    SCOPED_TRACE("at " + std::to_string(to) + " DPI");
    const RECT taken = ScreenRect(Main());
    EXPECT_TRUE(EqualRect(&suggested, &taken)) << Describe(taken);
    // The templates' fonts: 9 points in the main window, 8 in the pages.
    EXPECT_EQ(FontHeight(Control(IDC_DRIVE_LIST)), -MulDiv(9, to, 72));
    EXPECT_EQ(FontHeight(Control(IDC_PAGE_TABS)), -MulDiv(9, to, 72));
    EXPECT_EQ(FontHeight(Main()), -MulDiv(9, to, 72)) << "the window's own";
    for (int tab = 0; tab < 3; ++tab) {
      SCOPED_TRACE(kTabTemplates[tab]);
      for (const Placed& control : pagesBefore[static_cast<std::size_t>(tab)]) {
        EXPECT_EQ(FontHeight(Page(tab)), -MulDiv(8, to, 72)) << "the page's own";
        const std::string what = "control " + std::to_string(GetDlgCtrlID(control.window));
        // The indicator draws no text and has no font.
        if (ClassOf(control.window) != L"CErrorIndicator") {
          EXPECT_EQ(FontHeight(control.window), -MulDiv(8, to, 72)) << what;
        }
        if (ClassOf(control.window) == L"ComboBox") continue;  // its height follows its font
        RECT now = ScreenRect(control.window);
        MapWindowPoints(nullptr, Page(tab), reinterpret_cast<POINT*>(&now), 2);
        EXPECT_TRUE(WithinAPixel(now, ScaledRect(control.rect, from, to)))
            << what << " at " << Describe(now) << ", not " << Describe(ScaledRect(control.rect, from, to));
      }
    }
    ExpectEveryPageInsideItsTab();
    // As at the start, each page fills the tabs' display area.
    const RECT area = PageArea();
    for (int tab = 0; tab < 3; ++tab) {
      const RECT page = ScreenRect(Page(tab));
      EXPECT_TRUE(EqualRect(&page, &area))
          << kTabTemplates[tab] << " at " << Describe(page) << ", not " << Describe(area);
    }
    EXPECT_EQ(SendMessageW(tip, TTM_GETMAXTIPWIDTH, 0, 0), MulDiv(tipWidth, to, from));
    EXPECT_EQ(FontHeight(tip), MulDiv(tipFont, to, from));
    const SegmentFrame frame = FrameRowsOfFirstSegment(indicator);
    EXPECT_EQ(frame.top, MulDiv(2, to, 96)) << "the segments' inset from the panel's top";
    EXPECT_EQ(frame.bottom, MulDiv(2, to, 96)) << "the segments' inset from the panel's bottom";
  }

  const auto expectAsAtTheStart = [&] {
    const RECT back = ScreenRect(Main());
    EXPECT_TRUE(EqualRect(&original, &back)) << Describe(back);
    const std::vector<Placed> after = PlacesBelow(Main());
    for (const Placed& was : before) {
      const auto now =
          std::find_if(after.begin(), after.end(), [&](const Placed& p) { return p.window == was.window; });
      ASSERT_NE(now, after.end()) << ClassOf(was.window) << " " << GetDlgCtrlID(was.window) << " is gone";
      EXPECT_TRUE(WithinAPixel(now->rect, was.rect)) << ClassOf(was.window) << " " << GetDlgCtrlID(was.window) << " at "
                                                     << Describe(now->rect) << ", was at " << Describe(was.rect);
    }
    // A control may make a part it needs at some scale (the tabs' arrows
    // where their labels do not fit): it is hidden again.
    for (const Placed& now : after) {
      const bool added =
          std::none_of(before.begin(), before.end(), [&](const Placed& p) { return p.window == now.window; });
      EXPECT_FALSE(added && IsWindowVisible(now.window)) << ClassOf(now.window) << " shows now";
    }
    EXPECT_EQ(FontHeight(Control(IDC_DRIVE_LIST)), -MulDiv(9, from, 72));
    EXPECT_EQ(FontHeight(GetWindow(Page(0), GW_CHILD)), -MulDiv(8, from, 72));
    EXPECT_EQ(SendMessageW(tip, TTM_GETMAXTIPWIDTH, 0, 0), tipWidth);
    EXPECT_EQ(FontHeight(tip), tipFont);
    EXPECT_EQ(FrameRowsOfFirstSegment(indicator).top, MulDiv(2, from, 96));
    ExpectEveryPageInsideItsTab();
  };
  moveTo(from, original);
  {
    SCOPED_TRACE("back at " + std::to_string(from) + " DPI");
    expectAsAtTheStart();
  }
  // Monitors of every scale in turn, and back: the rounding of each move
  // adds up to nothing.
  for (int dpi : {120, 168, 192, to, 120}) {
    moveTo(dpi, suggestedAt(dpi));
  }
  moveTo(from, original);
  SCOPED_TRACE("back at " + std::to_string(from) + " DPI from a tour of monitors");
  expectAsAtTheStart();
}

// Before it tells of a new DPI, Windows (10 1703 on) asks the window for its
// size there. The main window scales its layout by the ratio of the DPIs, so
// it leaves the size to the system, which scales it by the same ratio,
// rather than to the dialog manager, which would measure the new font. A
// page follows its window and answers nothing of its own.
TEST_F(Layout, TheMainWindowLeavesItsSizeAtAnotherDpiToTheSystemsScaling) {
  Start();
  const auto askDialogProcedure = [](HWND dialog) {
    const auto procedure = reinterpret_cast<DLGPROC>(GetWindowLongPtrW(dialog, DWLP_DLGPROC));
    SIZE size{};
    SetWindowLongPtrW(dialog, DWLP_MSGRESULT, TRUE);
    const INT_PTR handled = procedure(dialog, 0x02E4 /* WM_GETDPISCALEDSIZE */, 144, reinterpret_cast<LPARAM>(&size));
    return std::make_pair(handled, GetWindowLongPtrW(dialog, DWLP_MSGRESULT));
  };
  const auto [handled, answer] = askDialogProcedure(Main());
  EXPECT_TRUE(handled);
  EXPECT_EQ(answer, FALSE) << "no size of its own: the system's linear scaling";
  EXPECT_FALSE(askDialogProcedure(Page(0)).first);
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
