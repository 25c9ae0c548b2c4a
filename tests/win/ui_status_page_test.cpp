// The Status page on emulated drives: what a tick sends and shows, the
// notice for drives without real-time handling, Clear, the level colours,
// the tooltips, and a program that goes on without the page.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <functional>
#include <iterator>
#include <numeric>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "drive/channel.h"
#include "pages/error_indicator.h"
#include "pages/status_page.h"
#include "pages/utility_page.h"
#include "resource.h"
#include "tests/common/command_blocks.h"
#include "ui_test_support.h"

namespace norvane::test {
namespace {

constexpr int kStatusTab = 1;

// The seven controls that only a drive with real-time handling shows.
constexpr int kLiveControls[] = {
    IDC_SECTOR_LABEL, IDC_TIME_LABEL, IDC_ERROR_INDICATOR, IDC_LEVEL_TEXT, IDC_SECTOR_COUNT, IDC_TIME_CODE, IDC_CLEAR};

const wchar_t* const kNoSupportEnglish = L"Does not support Real Time Veri Track.";
const wchar_t* const kNoSupportJapanese = L"Real Time Veri Trackに\r\n対応していません";

class StatusPage : public MainWindowTest {
 protected:
  // E supports real-time handling, G does not.
  void Start() {
    m_devices.Attach('E', emu::QuietDriveModel());
    m_devices.Attach('G', emu::GeneralDriveModel());
    MainWindowTest::Start();
  }

  CStatusDialog& Status() const { return *m_window->StatusPage(); }
  HWND Page() const { return Status().Handle(); }
  HWND Item(int id) const { return GetDlgItem(Page(), id); }
  std::wstring Text(int id) const { return WindowText(Item(id)); }
  void Tick() const { SendMessageW(Page(), WM_TIMER, 0, 0); }

  // Shown or hidden by the page itself, whether the page is on screen or not.
  std::vector<bool> LiveVisibility() const {
    std::vector<bool> visible;
    for (int id : kLiveControls) visible.push_back((GetWindowLongW(Item(id), GWL_STYLE) & WS_VISIBLE) != 0);
    return visible;
  }
  // The text colour the page hands out for one of its static controls.
  COLORREF TextColourOf(int id) const {
    HDC dc = CreateCompatibleDC(nullptr);
    SendMessageW(Page(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(Item(id)));
    const COLORREF colour = GetTextColor(dc);
    DeleteDC(dc);
    return colour;
  }
};

TEST_F(StatusPage, ATickWhileTheTabIsSelectedReadsStatusAndCountersOnly) {
  Start();
  SelectTab(kStatusTab);
  Drive().ClearLog();
  Tick();
  Tick();
  EXPECT_EQ(SentBlocks(), (std::vector<Cdb>{kReadStatus, kReadCounters, kReadStatus, kReadCounters}));
  for (const emu::LoggedCommand& c : Drive().Log()) EXPECT_EQ(c.direction, DataDirection::In);
}

TEST_F(StatusPage, TicksSendNothingWhileAnotherTabIsSelected) {
  Start();
  for (int tab : {0, 2}) {
    SelectTab(tab);
    Drive().ClearLog();
    for (int i = 0; i < 3; ++i) Tick();
    EXPECT_TRUE(Drive().Log().empty()) << "tab " << tab;
  }
}

TEST_F(StatusPage, ADriveWithoutRealTimeHandlingShowsTheNoticeAndIsOnlyAskedForItsStatus) {
  m_devices.Attach('G', emu::GeneralDriveModel());
  MainWindowTest::Start();
  EXPECT_EQ(LiveVisibility(), std::vector<bool>(7, false));
  EXPECT_EQ(Text(IDC_STATUS_CAPTION), ForRun(kNoSupportEnglish, kNoSupportJapanese));
  SelectTab(kStatusTab);
  Drive('G').ClearLog();
  Tick();
  EXPECT_EQ(SentBlocks('G'), (std::vector<Cdb>{kReadStatus}));
}

struct TickCase {
  std::uint32_t errors, sectors, frame;
  const wchar_t* english;  // the level word
  const wchar_t* japanese;
  const wchar_t* count;
  const wchar_t* timeCode;
  std::uint8_t level;
};

TEST_F(StatusPage, ATickShowsLevelWordSectorCountAndTimeCode) {
  Start();
  SelectTab(kStatusTab);
  const TickCase cases[] = {
      {7, 0, 0, L"Perfect", L"Perfect", L"0", L"00:00:00", 0},
      {1, 10000, 74, L"Better", L"Better", L"10000", L"00:00:74", 1},
      {1, 8000, 75, L"Good", L"Good", L"8000", L"00:01:00", 2},
      {1, 2000, 4499, L"Not Good", L"Not good", L"2000", L"00:59:74", 3},
      {1, 1000, 4499, L"Not Good", L"Not good", L"1000", L"00:59:74", 4},
      {3, 1000, 4500, L"Bad", L"Bad", L"1000", L"01:00:00", 6},
      {1, 32, 100 * 4500, L"Bad", L"Bad", L"32", L"100:00:00", 7},
      {1, 31, 256 * 4500 + 75, L"Fatal", L"Fatal", L"31", L"00:01:00", 8},
      // Counts of 2^31 and more are counts, not negative numbers.
      {0, 2147483648u, 0, L"Perfect", L"Perfect", L"2147483648", L"00:00:00", 0},
      {0, 4294967295u, 0, L"Perfect", L"Perfect", L"4294967295", L"00:00:00", 0},
  };
  for (const TickCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.errors << "/" << c.sectors);
    Drive().SetCounters(c.errors, c.sectors, c.frame);
    Tick();
    EXPECT_EQ(Status().Indicator().Level(), c.level);
    EXPECT_EQ(Text(IDC_LEVEL_TEXT), ForRun(c.english, c.japanese));
    EXPECT_EQ(Text(IDC_SECTOR_COUNT), c.count);
    EXPECT_EQ(Text(IDC_TIME_CODE), c.timeCode);
  }
}

TEST_F(StatusPage, OnlyFatalIsRedAndEveryStaticGetsTheButtonFace) {
  Start();
  SelectTab(kStatusTab);
  const struct {
    std::uint32_t errors, sectors;
    COLORREF levelText;
  } cases[] = {
      {1, 31, RGB(255, 0, 0)},  // level 8
      {1, 32, RGB(0, 0, 0)},    // level 7
      {0, 100, RGB(0, 0, 0)},   // level 0
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.errors << "/" << c.sectors);
    Drive().SetCounters(c.errors, c.sectors, 0);
    Tick();
    EXPECT_EQ(TextColourOf(IDC_LEVEL_TEXT), c.levelText);
    EXPECT_EQ(TextColourOf(IDC_SECTOR_LABEL), RGB(0, 0, 0)) << "other texts stay black";
  }
  HDC dc = CreateCompatibleDC(nullptr);
  const auto brush = SendMessageW(Page(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                  reinterpret_cast<LPARAM>(Item(IDC_SECTOR_COUNT)));
  EXPECT_EQ(GetBkColor(dc), GetSysColor(COLOR_BTNFACE));
  LOGBRUSH logBrush{};
  ASSERT_TRUE(GetObjectW(reinterpret_cast<HBRUSH>(brush), sizeof logBrush, &logBrush));
  EXPECT_EQ(logBrush.lbColor, GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(SendMessageW(Page(), WM_CTLCOLORDLG, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(Page())), brush)
      << "the page's own background too";
  DeleteDC(dc);
}

TEST_F(StatusPage, SwitchingDrivesShowsOrHidesTheLiveValuesAndReadsTheNewDriveAtOnce) {
  Start();
  EXPECT_EQ(LiveVisibility(), std::vector<bool>(7, true));
  EXPECT_EQ(Text(IDC_STATUS_CAPTION), L"Error Indicator");
  EXPECT_EQ(Text(IDC_SECTOR_LABEL), ForRun(L"The number of transfer sector", L"転送されたセクタ数"));
  EXPECT_EQ(Text(IDC_TIME_LABEL), ForRun(L"The time of the last transferred sector", L"最後に転送されたセクタの時間"));
  SelectTab(kStatusTab);
  Drive().SetCounters(3, 1000, 4500);
  Tick();

  Drive('G').ClearLog();
  SelectDrive(1);  // G: no real-time handling
  EXPECT_EQ(LiveVisibility(), std::vector<bool>(7, false));
  EXPECT_EQ(Text(IDC_STATUS_CAPTION), ForRun(kNoSupportEnglish, kNoSupportJapanese));
  Tick();  // changes nothing on the page
  const std::vector<Cdb> toG = SentBlocks('G');
  EXPECT_EQ(std::count(toG.begin(), toG.end(), kReadCounters), 0) << "a drive without support is not asked to count";

  Drive().SetCounters(0, 5, 75);
  SelectDrive(0);
  EXPECT_EQ(LiveVisibility(), std::vector<bool>(7, true));
  EXPECT_EQ(Text(IDC_STATUS_CAPTION), L"Error Indicator");
  EXPECT_EQ(Text(IDC_SECTOR_COUNT), L"5") << "the drive's values at once, without a tick";
  EXPECT_EQ(Text(IDC_TIME_CODE), L"00:01:00");
  EXPECT_EQ(Status().Indicator().Level(), 0);
}

// The page never shows values from before it was last hidden, nor the
// previous drive's values beside the new drive's name: no timer tick runs
// in any of these cases.
TEST_F(StatusPage, FreshValuesAtOnceWhenTheTabIsSelectedAndAfterADriveChange) {
  m_devices.Attach('H', emu::QuietDriveModel()).SetCounters(1, 31, 4500);
  Start();
  SelectTab(kStatusTab);
  Drive().SetCounters(3, 1000, 4500);
  Tick();
  ASSERT_EQ(Text(IDC_SECTOR_COUNT), L"1000");

  const struct {
    const char* name;
    std::function<void()> act;
    const wchar_t* count;
    const wchar_t* timeCode;
    std::uint8_t level;
  } cases[] = {
      {"the tab selected again",
       [&] {
         SelectTab(0);
         Drive().SetCounters(1, 10000, 74);
         SelectTab(kStatusTab);
       },
       L"10000", L"00:00:74", 1},
      {"another drive chosen", [&] { SelectDrive(2); }, L"31", L"01:00:00", 8},
      {"the first drive chosen again while another tab is shown, then the tab",
       [&] {
         SelectTab(2);
         SelectDrive(0);
         Drive().SetCounters(0, 7, 0);
         SelectTab(kStatusTab);
       },
       L"7", L"00:00:00", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    c.act();
    EXPECT_EQ(Text(IDC_SECTOR_COUNT), c.count);
    EXPECT_EQ(Text(IDC_TIME_CODE), c.timeCode);
    EXPECT_EQ(Status().Indicator().Level(), c.level);
  }
}

// A read that fails gives no values: the level word, the count and the time
// are blank and no segment is lit, until a read succeeds again.
TEST_F(StatusPage, AFailedReadBlanksTheValuesUntilAReadSucceedsAgain) {
  const struct {
    const char* name;
    std::function<void()> fault;
  } faults[] = {
      {"the drive answers every read with an error",
       [this] {
         Drive().QueueSense({5, 0x24, 0x00}, 1000);
       }},
      {"the counters come short", [this] { Drive().OverrideBuffer(ErrorCounterBuffer, {0xA5}); }},
      {"unplugged", [this] { m_devices.Unplug('E'); }},
      {"the pass-through fails", [this] { m_devices.FailPassThrough('E', true); }},
  };
  for (const auto& f : faults) {
    SCOPED_TRACE(f.name);
    Start();
    SelectTab(kStatusTab);
    Drive().SetCounters(1, 31, 4500);
    Tick();
    ASSERT_EQ(Text(IDC_SECTOR_COUNT), L"31");
    ASSERT_EQ(Status().Indicator().Level(), 8);

    f.fault();
    Tick();
    EXPECT_EQ(Text(IDC_LEVEL_TEXT), L"");
    EXPECT_EQ(Text(IDC_SECTOR_COUNT), L"");
    EXPECT_EQ(Text(IDC_TIME_CODE), L"");
    EXPECT_EQ(Status().Indicator().Level(), 0) << "no segment lit";
    EXPECT_EQ(TextColourOf(IDC_LEVEL_TEXT), RGB(0, 0, 0));
    Tick();
    EXPECT_EQ(Text(IDC_SECTOR_COUNT), L"") << "still no values";

    Drive().ClearQueue();
    Drive().ClearOverrides();
    m_devices.FailPassThrough('E', false);
    if (!Drive().Connected()) {
      Drive().Plug();
      SelectDrive(0);  // the drive is opened anew
    }
    Drive().SetCounters(1, 31, 4500);  // a drive plugged in again counts from nothing
    Tick();
    EXPECT_EQ(Text(IDC_SECTOR_COUNT), L"31");
    EXPECT_EQ(Text(IDC_LEVEL_TEXT), L"Fatal");
    EXPECT_EQ(Status().Indicator().Level(), 8);
    m_window.reset();
    CloseDrive();
    m_devices.Detach('E');
    m_devices.Detach('G');
  }
}

TEST_F(StatusPage, ClearSendsOneCounterResetAndNothingElse) {
  Start();
  SelectTab(kStatusTab);
  Drive().SetCounters(3, 1000, 4500);
  Tick();
  Drive().ClearLog();
  SendMessageW(Item(IDC_CLEAR), BM_CLICK, 0, 0);
  ASSERT_EQ(SentBlocks(), (std::vector<Cdb>{kClearCounters}));
  EXPECT_EQ(Drive().Log()[0].transferLength, 0u);
  EXPECT_EQ(Text(IDC_SECTOR_COUNT), L"1000") << "the page waits for the next tick";
  Tick();
  EXPECT_EQ(Text(IDC_SECTOR_COUNT), L"0");
  EXPECT_EQ(Text(IDC_TIME_CODE), L"01:00:00") << "the drive keeps its position";
}

TEST_F(StatusPage, EnterOnClearClicksItAndEscapeChangesNothing) {
  Start();
  ShowWindow(Main(), SW_SHOW);
  SelectTab(kStatusTab);
  SetFocus(Item(IDC_CLEAR));
  Drive().ClearLog();
  MSG enter{Item(IDC_CLEAR), WM_KEYDOWN, VK_RETURN, 0, 0, {}};
  m_window->ProcessMessage(enter);
  EXPECT_EQ(SentBlocks(), (std::vector<Cdb>{kClearCounters}));
  MSG escape{Item(IDC_SECTOR_COUNT), WM_KEYDOWN, VK_ESCAPE, 0, 0, {}};
  m_window->ProcessMessage(escape);
  EXPECT_TRUE(IsWindowVisible(Page()));
  EXPECT_TRUE(IsWindowVisible(Item(IDC_CLEAR)));
}

TEST_F(StatusPage, FourToolsAt400PixelsAndEveryMessageIsRelayed) {
  Start();
  ExpectPageTools(
      Page(), 400,
      {
          {IDC_ERROR_INDICATOR, L"Indicator of the quality of audio data is shown.",
           L"再生中のオーディオデータの品質の指標を示します。"},
          {IDC_SECTOR_COUNT, L"The number of the transferred audio sectors are shown.",
           L"転送したオーディオセクタの数を示します。\r\nこの値とエラー個数からError Indicatorが算出されます。"},
          {IDC_TIME_CODE, L"The time code of the last transferred audio sector is shown.",
           L"最後に転送したオーディオセクターのタイムコードを示します。この値と\r\n"
           L"Error Indicatorの動きからエラーが発生した位置を特定することが出来ます。"},
          {IDC_CLEAR, L"The number of the sectors and Error Indicater will be cleared.",
           L"セクターの数とError Indicatorをクリアします。このボタンを使用することで\r\n"
           L"特定の区間のエラーの状況を測定することができます。"},
      });

  ExpectRelayedToPageTip(Page(), {
                                     {Item(IDC_ERROR_INDICATOR), WM_MOUSEMOVE, 0, MAKELPARAM(3, 4), 11, {}},
                                     {Item(IDC_CLEAR), WM_LBUTTONUP, 0, MAKELPARAM(5, 6), 12, {}},
                                     {Page(), WM_MOUSEMOVE, 0, MAKELPARAM(7, 8), 13, {}},
                                 });
}

ATOM WINAPI RefuseClass(const WNDCLASSEXW*) {
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return 0;
}

TEST_F(StatusPage, WithoutTheIndicatorsClassTheProgramGoesOnWithoutThePage) {
  UnregisterClassW(L"CErrorIndicator", GetModuleHandleW(nullptr));
  SetClassRegistrar(RefuseClass);
  Start();
  SetClassRegistrar(RegisterClassExW);

  EXPECT_EQ(m_window->StatusPage(), nullptr);
  EXPECT_EQ(SendMessageW(Control(IDC_PAGE_TABS), TCM_GETITEMCOUNT, 0, 0), 3) << "the tab is there";
  SelectTab(kStatusTab);
  SelectTab(2);
  EXPECT_TRUE(IsWindowVisible(m_window->UtilityPage()->Handle()));
  SelectDrive(1);
  EXPECT_EQ(Channel().letter, 'G') << "selection goes on without the page";
  SelectTab(kStatusTab);
  EXPECT_FALSE(IsWindowVisible(m_window->UtilityPage()->Handle())) << "the tab shows nothing";
}

// One update's cost, and no GDI object left behind by updating or painting.

TEST_F(StatusPage, UpdatesAndPaintsLeaveNoGdiObjectBehind) {
  Start();
  ShowWindow(Main(), SW_SHOW);
  SelectTab(kStatusTab);
  Drive().StartAudio(75, 300);
  // Painting into a memory DC runs the same routine as on screen, faster.
  HWND indicator = Item(IDC_ERROR_INDICATOR);
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateCompatibleBitmap(dc, 200, 40);
  const HGDIOBJ old = SelectObject(dc, bitmap);
  const auto paint = [&](int times) {
    for (int i = 0; i < times; ++i) SendMessageW(indicator, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
  };
  const auto tick = [&](int times) {
    for (int i = 0; i < times; ++i) {
      m_devices.Clock().Advance(1000);
      Tick();
    }
  };
  // The system keeps a few objects of its own once something has been drawn.
  tick(20);
  paint(20);
  const int before = GdiHeadroom();

  // Each tick repaints the indicator on screen.
  constexpr int kTicks = 500;
  const auto start = std::chrono::steady_clock::now();
  tick(kTicks);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  constexpr int kPaints = 10000;
  paint(kPaints);
  const int after = GdiHeadroom();
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  const double perTick = std::chrono::duration<double, std::micro>(elapsed).count() / kTicks;
  std::printf("[ measure  ] Status tick: %.0f us; GDI headroom %d before, %d after %d ticks and %d paints\n", perTick,
              before, after, kTicks, kPaints);
  RecordProperty("status_tick_us", static_cast<int>(perTick));
  // One brush left per paint would take 10500 handles, or all there are.
  EXPECT_GE(after, before - 2);
  EXPECT_GT(before, 1000) << "the measurement needs room to see a leak";
}

// Whatever way the user turns to the Status tab, once the window has handled
// everything the turn brought (and before the next tick could repaint), the
// screen shows the indicator's own picture: no other control painted over it.
TEST_F(StatusPage, TheIndicatorShowsItsSegmentsAsSoonAsTheTabIsTurnedTo) {
  Start();
  Drive().SetCounters(3, 1000, 4500);  // level 6: six red segments
  ShowWindow(Main(), SW_SHOW);
  HWND tabs = Control(IDC_PAGE_TABS);
  HWND indicator = Item(IDC_ERROR_INDICATOR);
  const struct {
    const char* way;
    std::function<void()> turn;
  } kWays[] = {
      {"a click on its header", [&] { ClickTab(kStatusTab); }},
      {"Ctrl+Tab", [&] { PressKey(tabs, VK_TAB, {VK_CONTROL}); }},
      {"Ctrl+PgDn", [&] { PressKey(tabs, VK_NEXT, {VK_CONTROL}); }},
  };
  for (const auto& way : kWays) {
    SCOPED_TRACE(way.way);
    SelectTab(0);
    SetFocus(tabs);
    UpdateWindow(Main());
    way.turn();
    ASSERT_EQ(SendMessageW(tabs, TCM_GETCURSEL, 0, 0), kStatusTab);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) m_window->ProcessMessage(msg);
    ASSERT_EQ(Status().Indicator().Level(), 6);
    const std::vector<std::uint32_t> painted = ClientPixels(indicator, PixelSource::Painted);
    // The system may take a moment to bring what was painted to the screen;
    // nothing is handled meanwhile, so no tick can repaint the indicator.
    std::vector<std::uint32_t> shown = ClientPixels(indicator, PixelSource::Screen);
    for (int waited = 0; shown != painted && waited < 2000; waited += 50) {
      ::Sleep(50);
      shown = ClientPixels(indicator, PixelSource::Screen);
    }
    const auto differing =
        std::inner_product(shown.begin(), shown.end(), painted.begin(), 0, std::plus<>(), std::not_equal_to<>());
    EXPECT_EQ(differing, 0) << "of " << shown.size() << " pixels";
    EXPECT_EQ(std::count(shown.begin(), shown.end(), 0xFFFFFFu), 0) << "white on the indicator";
  }
}

}  // namespace
}  // namespace norvane::test
