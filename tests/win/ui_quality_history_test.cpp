// The quality history on the demo's drive E: the Status page keeps its
// readings while it polls, and the window the system menu opens shows them
// as a chart and a line of text, and copies them as CSV.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "drive/quality_history.h"
#include "emulator/demo_drives.h"
#include "pages/quality_history_window.h"
#include "pages/status_page.h"
#include "resource.h"
#include "ui_test_support.h"

namespace norvane::test {
namespace {

constexpr int kStatusTabIndex = 1;

// The demo's track on drive E, as the emulator describes it: 90 seconds from
// 2:00 on the disc, one error in a hundred sectors from 10 s into it, one in
// four from 25 s, clean again from 35 s.
constexpr int kTrackSeconds = 90;
// mm:ss:ff on the disc, which compare as text.
const std::wstring kDeepScratchFrom = L"02:25:00";
const std::wstring kDeepScratchTo = L"02:35:00";

// The pure colours the levels are lit in.
constexpr std::uint32_t kLitGreen = 0x00FF00;
constexpr std::uint32_t kLitYellow = 0xFFFF00;
constexpr std::uint32_t kLitRed = 0xFF0000;

// The wall clock of the readings follows the drives' clock from a fixed
// moment (2026-12-11 14:00:00 UTC), so that a second of play is a second
// of the measurement.
constexpr std::int64_t kWallStartMs = 1796997600000;
const emu::VirtualClock* wallClockSource = nullptr;
std::int64_t DrivesWallClock() { return kWallStartMs + static_cast<std::int64_t>(wallClockSource->NowMs()); }

// "14:03:05": the local time of day of a wall time, as the system converts it.
std::wstring LocalTimeOfDay(std::int64_t wallTimeMs) {
  const std::uint64_t intervals = static_cast<std::uint64_t>(wallTimeMs) * 10000 + 116444736000000000ull;
  const FILETIME utc{static_cast<DWORD>(intervals), static_cast<DWORD>(intervals >> 32)};
  SYSTEMTIME universal, local;
  FileTimeToSystemTime(&utc, &universal);
  SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local);
  wchar_t text[16];
  std::swprintf(text, 16, L"%02u:%02u:%02u", local.wHour, local.wMinute, local.wSecond);
  return text;
}

std::vector<std::wstring> Split(const std::wstring& text, const std::wstring& separator) {
  std::vector<std::wstring> parts;
  std::size_t from = 0;
  for (std::size_t at; (at = text.find(separator, from)) != std::wstring::npos; from = at + separator.size()) {
    parts.push_back(text.substr(from, at - from));
  }
  parts.push_back(text.substr(from));
  return parts;
}

std::optional<std::wstring> ClipboardText(UINT format) {
  if (!OpenClipboard(nullptr)) return std::nullopt;
  std::optional<std::wstring> text;
  if (HANDLE data = GetClipboardData(format)) {
    const void* locked = GlobalLock(data);
    if (format == CF_UNICODETEXT) {
      text = static_cast<const wchar_t*>(locked);
    } else {
      const std::string ansi = static_cast<const char*>(locked);
      text = std::wstring(ansi.begin(), ansi.end());
    }
    GlobalUnlock(data);
  }
  CloseClipboard();
  return text;
}

// What the Status page showed at one tick: the values the history must keep.
struct Shown {
  std::wstring word;  // as the page shows it
  std::uint8_t level;
  std::wstring sectors;
  std::wstring timeCode;
  std::int64_t wallTimeMs;
};

class QualityHistoryWindow : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    emu::AttachDemoDrives(m_devices);
    wallClockSource = &m_devices.Clock();
    SetWallClock(DrivesWallClock);
  }
  void TearDown() override {
    MainWindowTest::TearDown();
    SetWallClock(nullptr);
    wallClockSource = nullptr;
  }

  // The window on the demo's drives with the Status tab shown: it reads E at once.
  void StartOnStatusTab() {
    Start();
    SelectTab(kStatusTabIndex);
    Record();
  }
  CStatusDialog& Status() const { return *m_window->StatusPage(); }
  HWND PageItem(int id) const { return GetDlgItem(Status().Handle(), id); }
  // One second of play, and the page's timer.
  void Tick() {
    m_devices.Clock().Advance(1000);
    SendMessageW(Status().Handle(), WM_TIMER, 0, 0);
    Record();
  }
  void Record() {
    if (WindowText(PageItem(IDC_LEVEL_TEXT)).empty()) return;  // no values shown: nothing kept
    m_shown.push_back({WindowText(PageItem(IDC_LEVEL_TEXT)), Status().Indicator().Level(),
                       WindowText(PageItem(IDC_SECTOR_COUNT)), WindowText(PageItem(IDC_TIME_CODE)), DrivesWallClock()});
  }
  // The rest of the play of the track the page started reading.
  void PlayTheTrack() {
    while (m_shown.size() < static_cast<std::size_t>(kTrackSeconds)) Tick();
  }

  // Opens the window as a click on the system menu item does.
  CQualityHistoryWindow* OpenThroughTheMenu() const {
    SendMessageW(Main(), WM_SYSCOMMAND, IDM_QUALITY_HISTORY, 0);
    return m_window->QualityHistoryWindow();
  }
  HWND HistoryItem(int id) const { return GetDlgItem(m_window->QualityHistoryWindow()->Handle(), id); }
  std::wstring Summary() const { return WindowText(HistoryItem(IDC_HISTORY_SUMMARY)); }

  // The first reading the page showed `word` for, and how many it showed a word of these for.
  std::size_t FirstShowing(const std::wstring& word) const {
    return static_cast<std::size_t>(
        std::find_if(m_shown.begin(), m_shown.end(), [&](const Shown& s) { return s.word == word; }) - m_shown.begin());
  }
  std::size_t CountShowing(std::initializer_list<std::wstring> words) const {
    return static_cast<std::size_t>(std::count_if(m_shown.begin(), m_shown.end(), [&](const Shown& s) {
      return std::find(words.begin(), words.end(), s.word) != words.end();
    }));
  }
  std::wstring Bad() const { return ForRun(L"Bad", L"Bad"); }
  std::wstring Fatal() const { return ForRun(L"Fatal", L"Fatal"); }

  std::vector<Shown> m_shown;
};

TEST_F(QualityHistoryWindow, TheMenuItemOpensOneWindowOwnedByTheMainOneThatEscapeCloses) {
  StartOnStatusTab();
  EXPECT_EQ(m_window->QualityHistoryWindow(), nullptr) << "nothing open before the item is chosen";
  CQualityHistoryWindow* window = OpenThroughTheMenu();
  ASSERT_NE(window, nullptr);
  HWND history = window->Handle();
  EXPECT_TRUE(IsWindowVisible(history));
  EXPECT_EQ(GetWindow(history, GW_OWNER), Main());
  EXPECT_EQ(GetWindowLongW(history, GWL_STYLE) & WS_CHILD, 0) << "a window of its own";
  EXPECT_TRUE(IsWindowEnabled(Main())) << "modeless: the main window goes on working";
  EXPECT_EQ(WindowText(history), ForRun(L"Quality history", L"品質の履歴"));
  EXPECT_EQ(WindowText(HistoryItem(IDC_HISTORY_COPY)), ForRun(L"Copy", L"コピー"));

  EXPECT_EQ(OpenThroughTheMenu()->Handle(), history) << "chosen again, the open window comes forward";

  // It only shows what the page read: nothing it does reaches the drive.
  m_devices.Drive('E')->ClearLog();
  SendMessageW(HistoryItem(IDC_HISTORY_COPY), BM_CLICK, 0, 0);
  MSG move{HistoryItem(IDC_HISTORY_CHART), WM_MOUSEMOVE, 0, MAKELPARAM(100, 10), GetTickCount(), {}};
  m_window->ProcessMessage(move);
  UpdateWindow(history);
  EXPECT_TRUE(m_devices.Drive('E')->Log().empty());

  // Escape closes it, as in any dialog; the item opens a new one.
  PressKey(HistoryItem(IDC_HISTORY_COPY), VK_ESCAPE);
  EXPECT_FALSE(IsWindow(history));
  EXPECT_EQ(m_window->QualityHistoryWindow(), nullptr);
  ASSERT_NE(OpenThroughTheMenu(), nullptr);
  history = m_window->QualityHistoryWindow()->Handle();

  // And it goes with the main window.
  m_window.reset();
  EXPECT_FALSE(IsWindow(history));
}

TEST_F(QualityHistoryWindow, APlayOfTheScratchedTrackNamesFatalWhereTheDeepScratchMadeItAndTheTimeAtBadOrWorse) {
  StartOnStatusTab();
  ASSERT_NE(OpenThroughTheMenu(), nullptr);
  PlayTheTrack();

  // The page showed Fatal first inside the deep scratch, and the level stayed
  // there past it: that is the worst stretch.
  const std::size_t firstFatal = FirstShowing(Fatal());
  ASSERT_LT(firstFatal, m_shown.size()) << "the deep scratch never made the page show Fatal";
  const std::wstring& fatalAt = m_shown[firstFatal].timeCode;
  EXPECT_GE(fatalAt, kDeepScratchFrom);
  EXPECT_LT(fatalAt, kDeepScratchTo);
  const std::size_t badOrWorse = CountShowing({Bad(), Fatal()});
  ASSERT_GT(badOrWorse, 0u);

  const std::wstring seconds = std::to_wstring(badOrWorse);
  EXPECT_EQ(Summary(), ForRun((L"Worst: Fatal at " + fatalAt + L"; " + seconds + L" s at Bad or worse").c_str(),
                              (L"最悪: Fatal (" + fatalAt + L")、Bad 以下 " + seconds + L" 秒").c_str()));
  EXPECT_EQ(ReadAccessible(HistoryItem(IDC_HISTORY_CHART)).name, Summary()) << "a screen reader reads the chart so";
  const WorstStretch worst = Status().History().Worst();
  EXPECT_EQ(worst.level, 8);
  EXPECT_EQ(worst.first, firstFatal);
  EXPECT_EQ(Status().History().Size(), m_shown.size()) << "one reading kept a tick";
}

TEST_F(QualityHistoryWindow, TheChartIsGreenWhereTheLevelWasLowYellowThenRedWhereItWasBadAndFatal) {
  StartOnStatusTab();
  PlayTheTrack();
  CQualityHistoryWindow* window = OpenThroughTheMenu();
  ASSERT_NE(window, nullptr);
  HWND chart = HistoryItem(IDC_HISTORY_CHART);
  RECT client;
  GetClientRect(chart, &client);
  const std::vector<std::uint32_t> pixels = ClientPixels(chart, PixelSource::Painted);
  const auto column = [&](std::size_t reading) {
    const int x = window->Chart().ColumnOf(reading);
    std::vector<std::uint32_t> colours;
    for (int y = 0; y < client.bottom && x >= 0; ++y) colours.push_back(pixels[y * client.right + x]);
    return colours;
  };
  const auto topmost = [](const std::vector<std::uint32_t>& colours, std::uint32_t colour) {
    return std::find(colours.begin(), colours.end(), colour) - colours.begin();
  };
  const auto has = [](const std::vector<std::uint32_t>& colours, std::uint32_t colour) {
    return std::find(colours.begin(), colours.end(), colour) != colours.end();
  };
  const std::size_t perfect = FirstShowing(ForRun(L"Perfect", L"Perfect"));
  const std::size_t notGood = FirstShowing(ForRun(L"Not Good", L"Not good"));
  const std::size_t bad = FirstShowing(Bad());
  const std::size_t fatal = FirstShowing(Fatal()) + 3;
  ASSERT_LT(fatal, m_shown.size());
  ASSERT_EQ(m_shown[fatal].word, Fatal());

  const struct {
    const char* what;
    std::size_t reading;
    std::uint32_t colour;
  } kCases[] = {{"Perfect", perfect, kLitGreen},
                {"Not Good", notGood, kLitYellow},
                {"Bad", bad, kLitRed},
                {"Fatal", fatal, kLitRed}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    const std::vector<std::uint32_t> colours = column(c.reading);
    ASSERT_FALSE(colours.empty()) << "the reading has no column";
    for (std::uint32_t level : {kLitGreen, kLitYellow, kLitRed}) EXPECT_EQ(has(colours, level), level == c.colour);
  }
  // Higher levels reach higher: Fatal's red stands above Bad's, Bad's above
  // where Not Good's yellow begins, and that above Perfect's green.
  EXPECT_LT(topmost(column(fatal), kLitRed), topmost(column(bad), kLitRed));
  EXPECT_LT(topmost(column(bad), kLitRed), topmost(column(notGood), kLitYellow));
  EXPECT_LT(topmost(column(notGood), kLitYellow), topmost(column(perfect), kLitGreen));

  // The worst stretch has its band behind it: above Fatal's red its columns
  // are not the chart's background, which Perfect's column shows there.
  const auto above = topmost(column(fatal), kLitRed) - 2;
  ASSERT_GE(above, 0);
  EXPECT_NE(column(fatal)[static_cast<std::size_t>(above)], column(perfect)[static_cast<std::size_t>(above)]);
  EXPECT_EQ(column(perfect)[static_cast<std::size_t>(above)], 0xFFFFFFu) << "a white chart outside high contrast";
}

TEST_F(QualityHistoryWindow, UnderHighContrastTheChartTakesTheThemesColoursAndTheLevelsKeepTheirs) {
  StartOnStatusTab();
  PlayTheTrack();
  ASSERT_NE(OpenThroughTheMenu(), nullptr);
  HWND chart = HistoryItem(IDC_HISTORY_CHART);
  std::vector<std::uint32_t> pixels;
  {
    HighContrastTheme theme;  // black windows, white text
    pixels = ClientPixels(chart, PixelSource::Painted);
  }
  EXPECT_EQ(pixels.back(), 0x000000u) << "the bottom right corner in the theme's window colour";
  EXPECT_EQ(std::count(pixels.begin(), pixels.end(), 0xFFFFFFu) > 0, true) << "axes and numbers in its text colour";
  EXPECT_NE(std::find(pixels.begin(), pixels.end(), kLitRed), pixels.end());
  EXPECT_NE(std::find(pixels.begin(), pixels.end(), kLitGreen), pixels.end());
}

TEST_F(QualityHistoryWindow, TheTipNamesTheWallTimeOfTheReadingUnderTheMouse) {
  StartOnStatusTab();
  PlayTheTrack();
  CQualityHistoryWindow* window = OpenThroughTheMenu();
  ASSERT_NE(window, nullptr);
  HWND chart = HistoryItem(IDC_HISTORY_CHART);
  HWND tip = PageToolTip(window->Handle());
  ASSERT_NE(tip, nullptr);
  const auto expectedTip = [&](std::size_t reading) {
    const Shown& shown = m_shown[reading];
    const std::wstring time = LocalTimeOfDay(shown.wallTimeMs);
    return ForRun((time + L": " + shown.word + L" at " + shown.timeCode).c_str(),
                  (time + L": " + shown.word + L" (" + shown.timeCode + L")").c_str());
  };
  const auto moveTo = [&](int x) {
    MSG move{chart, WM_MOUSEMOVE, 0, MAKELPARAM(x, 10), GetTickCount(), {}};
    m_window->ProcessMessage(move);
  };
  for (std::size_t reading : {std::size_t{0}, FirstShowing(Fatal()), m_shown.size() - 1}) {
    SCOPED_TRACE(testing::Message() << "reading " << reading);
    const int x = window->Chart().ColumnOf(reading);
    ASSERT_GE(x, 0);
    moveTo(x);
    EXPECT_EQ(ToolText(tip, chart), expectedTip(reading));
  }

  // The mouse stays while readings come: the tip names what lies under it
  // now, and nothing once a new measurement has none.
  const int x = window->Chart().ColumnOf(m_shown.size() - 1);
  for (int i = 0; i < 5; ++i) Tick();
  const std::optional<std::size_t> under = window->Chart().ReadingAt(x);
  ASSERT_TRUE(under.has_value());
  EXPECT_EQ(ToolText(tip, chart), expectedTip(*under));
  SendMessageW(PageItem(IDC_CLEAR), BM_CLICK, 0, 0);
  EXPECT_EQ(ToolText(tip, chart), L"");
}

TEST_F(QualityHistoryWindow, CopyPutsAHeaderAndOneCsvLineAReadingOnTheClipboard) {
  StartOnStatusTab();
  PlayTheTrack();
  ASSERT_NE(OpenThroughTheMenu(), nullptr);
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  CloseClipboard();
  SendMessageW(HistoryItem(IDC_HISTORY_COPY), BM_CLICK, 0, 0);

  const std::optional<std::wstring> csv = ClipboardText(CF_UNICODETEXT);
  ASSERT_TRUE(csv.has_value()) << "no Unicode text on the clipboard";
  EXPECT_EQ(ClipboardText(CF_TEXT), csv) << "the same as ANSI text";
  std::vector<std::wstring> lines = Split(*csv, L"\r\n");
  ASSERT_FALSE(lines.empty());
  if (lines.back().empty()) lines.pop_back();  // after the last line's end
  ASSERT_EQ(lines.size(), m_shown.size() + 1);
  EXPECT_EQ(lines[0], L"time,level,word,errorCount,transferredSectors,timeCode") << "the same in both languages";
  const wchar_t* const kEnglishWords[] = {L"Perfect",  L"Better", L"Good", L"Not Good", L"Not Good",
                                          L"Not Good", L"Bad",    L"Bad",  L"Fatal"};
  for (std::size_t i = 0; i < m_shown.size(); ++i) {
    SCOPED_TRACE(testing::Message() << "reading " << i);
    const std::vector<std::wstring> fields = Split(lines[i + 1], L",");
    ASSERT_EQ(fields.size(), 6u);
    const Shown& shown = m_shown[i];
    EXPECT_EQ(fields[0].size(), 19u) << "yyyy-mm-ddThh:mm:ss";
    EXPECT_EQ(fields[0].substr(11), LocalTimeOfDay(shown.wallTimeMs));
    EXPECT_EQ(fields[1], std::to_wstring(shown.level));
    EXPECT_EQ(fields[2], kEnglishWords[shown.level]) << "the English word in either language";
    EXPECT_EQ(fields[4], shown.sectors);
    EXPECT_EQ(fields[5], shown.timeCode);
    // The error count is what gives the level: at least one error from Good on.
    EXPECT_EQ(fields[3] == L"0", shown.level == 0);
  }
}

// A new measurement starts with Clear and with another drive: the window
// shows none of the old one, and the next readings are the new one's.
TEST_F(QualityHistoryWindow, ClearAndAnotherDriveStartANewMeasurementTheWindowFollows) {
  StartOnStatusTab();
  for (int i = 0; i < 30; ++i) Tick();
  ASSERT_NE(OpenThroughTheMenu(), nullptr);
  ASSERT_NE(Summary(), ForRun(L"No readings yet.", L"まだ測定値がありません。"));
  const std::wstring empty = ForRun(L"No readings yet.", L"まだ測定値がありません。");

  SendMessageW(PageItem(IDC_CLEAR), BM_CLICK, 0, 0);
  EXPECT_EQ(Status().History().Size(), 0u);
  EXPECT_EQ(Summary(), empty);
  EXPECT_EQ(m_window->QualityHistoryWindow()->Chart().ColumnOf(0), -1) << "the chart shows no reading";
  m_shown.clear();
  Tick();
  ASSERT_EQ(Status().History().Size(), 1u);
  EXPECT_EQ(Status().History().At(0).transferredSectors, 75u) << "counted from the Clear";
  EXPECT_NE(Summary(), empty);

  SelectDrive(1);  // G: no real-time handling, nothing to keep
  EXPECT_EQ(Status().History().Size(), 0u);
  Tick();
  EXPECT_EQ(Status().History().Size(), 0u);
  EXPECT_EQ(Summary(), empty);

  SelectDrive(0);  // E again, read at once
  EXPECT_EQ(Status().History().Size(), 1u);
  EXPECT_NE(Summary(), empty);
}

// A read that failed gave no values: the page shows none, and the history
// keeps none, so that its zeros never count as a Perfect second.
TEST_F(QualityHistoryWindow, AFailedReadKeepsNoReading) {
  const struct {
    const char* name;
    std::function<void(emu::EmulatedDrive&)> fault;
  } kFaults[] = {
      {"every read refused",
       [](emu::EmulatedDrive& drive) {
         drive.QueueSense({5, 0x24, 0x00}, 1000);
       }},
      {"the counters come short", [](emu::EmulatedDrive& drive) { drive.OverrideBuffer(ErrorCounterBuffer, {0xA5}); }},
  };
  StartOnStatusTab();
  emu::EmulatedDrive& drive = *m_devices.Drive('E');
  for (const auto& f : kFaults) {
    SCOPED_TRACE(f.name);
    Tick();
    const std::size_t kept = Status().History().Size();
    f.fault(drive);
    Tick();
    Tick();
    EXPECT_EQ(Status().History().Size(), kept);
    drive.ClearQueue();
    drive.ClearOverrides();
    Tick();
    EXPECT_EQ(Status().History().Size(), kept + 1);
  }
}

// On a monitor of another scale the window lies out anew: the chart grows
// with it and still draws every reading in its colour.
TEST_F(QualityHistoryWindow, TheWindowFollowsAMoveToAMonitorOfAnotherScale) {
  StartOnStatusTab();
  PlayTheTrack();
  CQualityHistoryWindow* window = OpenThroughTheMenu();
  ASSERT_NE(window, nullptr);
  HWND chart = HistoryItem(IDC_HISTORY_CHART);
  RECT before;
  GetClientRect(chart, &before);
  const UINT from = ui::CDialog::DpiOf(chart);
  const UINT to = from * 3 / 2;
  RECT suggested;
  GetWindowRect(window->Handle(), &suggested);
  suggested.right =
      suggested.left + MulDiv(suggested.right - suggested.left, static_cast<int>(to), static_cast<int>(from));
  suggested.bottom =
      suggested.top + MulDiv(suggested.bottom - suggested.top, static_cast<int>(to), static_cast<int>(from));
  SendMessageW(window->Handle(), WM_DPICHANGED, MAKEWPARAM(to, to), reinterpret_cast<LPARAM>(&suggested));

  EXPECT_EQ(ui::CDialog::DpiOf(chart), to);
  RECT after;
  GetClientRect(chart, &after);
  EXPECT_NEAR(after.right, MulDiv(before.right, static_cast<int>(to), static_cast<int>(from)), 1);
  EXPECT_NEAR(after.bottom, MulDiv(before.bottom, static_cast<int>(to), static_cast<int>(from)), 1);
  const std::vector<std::uint32_t> pixels = ClientPixels(chart, PixelSource::Painted);
  const int x = window->Chart().ColumnOf(FirstShowing(Fatal()) + 3);
  ASSERT_GE(x, 0);
  bool red = false;
  for (int y = 0; y < after.bottom; ++y) red = red || pixels[static_cast<std::size_t>(y * after.right + x)] == kLitRed;
  EXPECT_TRUE(red) << "Fatal's column at the new scale";
}

// The chart is drawn off the screen and put there whole: asked to erase its
// background first, it leaves the screen as it is, and what reaches the
// screen is its whole picture. Painting it again and again leaves no GDI
// object behind.
TEST_F(QualityHistoryWindow, TheChartReachesTheScreenWholeWithoutErasingAndLeavesNothingBehind) {
  StartOnStatusTab();
  PlayTheTrack();
  CQualityHistoryWindow* window = OpenThroughTheMenu();
  ASSERT_NE(window, nullptr);
  HWND chart = HistoryItem(IDC_HISTORY_CHART);
  SetWindowPos(window->Handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);

  HDC dc = GetDC(chart);
  SetPixel(dc, 2, 2, RGB(255, 0, 255));
  EXPECT_NE(SendMessageW(chart, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0), 0);
  EXPECT_EQ(GetPixel(dc, 2, 2), RGB(255, 0, 255)) << "the background was erased";
  ReleaseDC(chart, dc);

  const auto repaint = [&](int times) {
    for (int i = 0; i < times; ++i) RedrawWindow(chart, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  };
  repaint(20);
  const int before = GdiHeadroom();
  repaint(500);
  EXPECT_GE(GdiHeadroom(), before - 2);

  const std::vector<std::uint32_t> painted = ClientPixels(chart, PixelSource::Painted);
  std::vector<std::uint32_t> shown = ClientPixels(chart, PixelSource::Screen);
  for (int waited = 0; shown != painted && waited < 2000; waited += 50) {
    ::Sleep(50);
    shown = ClientPixels(chart, PixelSource::Screen);
  }
  EXPECT_TRUE(shown == painted) << "the screen shows another picture than the chart paints";
}

// Four hours of readings and more, through the page's own timer: the history
// keeps the last four hours in the memory it took at the start.
TEST_F(QualityHistoryWindow, MemoryStaysWithinTheBoundOverFourHoursAndMore) {
  // Four hours of ticks take most of a minute under Wine; memory does not
  // depend on the language.
  if (JapaneseRun()) GTEST_SKIP() << "run in the English pass";
  StartOnStatusTab();
  const QualityHistory& history = Status().History();
  const std::size_t reserved = history.BytesReserved();
  EXPECT_LE(reserved, 512u * 1024u) << "a few hundred kilobytes at most";
  constexpr std::size_t kExtra = 90;
  for (std::size_t i = 0; i < QualityHistory::kCapacity + kExtra; ++i) {
    m_devices.Clock().Advance(1000);
    SendMessageW(Status().Handle(), WM_TIMER, 0, 0);
  }
  EXPECT_EQ(history.Size(), QualityHistory::kCapacity);
  EXPECT_EQ(history.BytesReserved(), reserved);
  // The first reading (at the tab's selection) and the extra ones are gone.
  EXPECT_EQ(history.At(0).wallTimeMs, kWallStartMs + static_cast<std::int64_t>(kExtra + 1) * 1000);

  CQualityHistoryWindow* window = OpenThroughTheMenu();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(Split(window->Csv(), L"\r\n").size(), QualityHistory::kCapacity + 2) << "header, readings, and the end";
}

}  // namespace
}  // namespace norvane::test
