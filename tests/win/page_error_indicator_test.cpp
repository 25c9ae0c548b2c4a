// The error indicator by its pixels: WM_PRINTCLIENT paints the same picture
// as WM_PAINT, here into a 32-bit DIB whose colours the tests read.
#include <windows.h>
#include <oleacc.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "dialog_test_support.h"
#include "pages/error_indicator.h"
#include "ui/colours.h"

namespace norvane::test {
namespace {

using Rgb = std::uint32_t;  // 0xRRGGBB, as a 32-bit DIB holds a pixel

constexpr Rgb kBlack = 0x000000;
constexpr Rgb kPanel = 0x707070;
struct Band {
  Rgb edge, centre;
};
constexpr Band kGreen = {0x00FF00, 0x80FF80};
constexpr Band kYellow = {0xFFFF00, 0xFF8080};
constexpr Band kRed = {0xFF0000, 0xFF8080};

// Whether every channel of `pixel` is within `tolerance` of `expected`.
bool Near(Rgb pixel, Rgb expected, int tolerance) {
  for (int shift : {0, 8, 16}) {
    const int a = static_cast<int>((pixel >> shift) & 0xFF);
    const int b = static_cast<int>((expected >> shift) & 0xFF);
    if (std::abs(a - b) > tolerance) return false;
  }
  return true;
}

// A free-standing indicator of a given client size, and the label that
// names it.
class Indicator {
 public:
  Indicator(int width, int height, const wchar_t* label = L"Error Indicator") : m_width(width), m_height(height) {
    RegisterIndicatorClass();
    m_label = CreateWindowExW(0, L"Static", label, WS_POPUP, 0, 0, 100, 20, nullptr, nullptr, GetModuleHandleW(nullptr),
                              nullptr);
    m_window = CreateWindowExW(0, L"CErrorIndicator", L"", WS_POPUP, 0, 0, width, height, nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    m_indicator.Subclass(m_window, m_label);
  }
  ~Indicator() {
    DestroyWindow(m_window);
    DestroyWindow(m_label);
  }

  void SetLevel(std::uint8_t level) { m_indicator.SetLevel(level); }
  void ShowNoLevel() { m_indicator.ShowNoLevel(); }
  std::uint8_t Level() const { return m_indicator.Level(); }
  HWND Handle() const { return m_window; }

  // Paints the control and keeps its pixels.
  void Render() { m_pixels = ClientPixels(m_window, PixelSource::Painted); }
  Rgb At(int x, int y) const { return m_pixels[static_cast<std::size_t>(y * m_width + x)] & 0xFFFFFF; }

 private:
  int m_width, m_height;
  HWND m_label = nullptr;
  HWND m_window = nullptr;
  CErrorIndicator m_indicator;
  std::vector<Rgb> m_pixels;
};

// Segment i of a 136 x 17 bar: columns 17i+1 .. 17i+15, rows 2 .. 14; the
// split line is row 7.
int SegmentLeft(int i) { return 17 * i + 1; }
int SegmentMiddle(int i) { return 17 * i + 8; }

void ExpectLit(const Indicator& bar, int segment, const Band& band) {
  const int x = SegmentMiddle(segment);
  EXPECT_TRUE(Near(bar.At(x, 2), band.edge, 2)) << "top row of segment " << segment << ": " << std::hex << bar.At(x, 2);
  EXPECT_TRUE(Near(bar.At(x, 7), band.centre, 2))
      << "split line of segment " << segment << ": " << std::hex << bar.At(x, 7);
  // The lower gradient reaches the edge colour one row below the last.
  EXPECT_TRUE(Near(bar.At(x, 14), band.edge, 0x80 / 8 + 2))
      << "bottom row of segment " << segment << ": " << std::hex << bar.At(x, 14);
  EXPECT_TRUE(Near(bar.At(SegmentLeft(segment), 2), band.edge, 2)) << "the gradient covers the frame";
}

void ExpectUnlit(const Indicator& bar, int segment) {
  EXPECT_EQ(bar.At(SegmentLeft(segment), 8), kBlack) << "frame of segment " << segment;
  EXPECT_EQ(bar.At(SegmentMiddle(segment), 8), kPanel) << "inside of segment " << segment;
}

TEST(ErrorIndicator, LitSegmentsFromTheLeftInTheColourOfTheLevel) {
  const struct {
    std::uint8_t level;
    Band band;
  } cases[] = {{0, kGreen}, {1, kGreen}, {3, kYellow}, {6, kRed}, {8, kRed}};
  Indicator bar(136, 17);
  for (const auto& c : cases) {
    bar.SetLevel(c.level);
    bar.Render();
    SCOPED_TRACE(testing::Message() << "level " << int{c.level});
    for (int i = 0; i < 8; ++i) {
      if (i < c.level) {
        ExpectLit(bar, i, c.band);
      } else {
        ExpectUnlit(bar, i);
      }
    }
    EXPECT_EQ(bar.At(0, 0), kBlack) << "the panel's frame";
    EXPECT_EQ(bar.At(135, 16), kBlack);
    EXPECT_EQ(bar.At(16, 8), kPanel) << "the gap between segments";
  }
}

TEST(ErrorIndicator, SegmentsOfA136By17BarAndTheColumnsLeftOverAt139) {
  for (int width : {136, 139}) {
    Indicator bar(width, 17);
    bar.SetLevel(8);
    bar.Render();
    SCOPED_TRACE(testing::Message() << "width " << width);
    // Segment 0 spans 1..15 x 2..14, segment 7 spans 120..134.
    for (int x : {1, 15, 120, 134}) {
      SCOPED_TRACE(testing::Message() << "column " << x);
      EXPECT_TRUE(Near(bar.At(x, 2), kRed.edge, 2));
      EXPECT_TRUE(Near(bar.At(x, 7), kRed.centre, 2));
    }
    for (int x : {16, 17, 118, 119}) EXPECT_EQ(bar.At(x, 8), kPanel) << "column " << x;
    for (int y : {1, 15}) EXPECT_EQ(bar.At(8, y), kPanel) << "row " << y;
    EXPECT_EQ(bar.At(0, 8), kBlack);
    EXPECT_EQ(bar.At(width - 1, 8), kBlack) << "the frame's right edge";
    for (int x = 135; x < width - 1; ++x) EXPECT_EQ(bar.At(x, 8), kPanel) << "left-over column " << x;
  }
}

TEST(ErrorIndicator, AFallingLevelLightsFewerSegmentsAndLevelsAbove8AreClamped) {
  Indicator bar(136, 17);
  bar.SetLevel(6);
  bar.Render();
  ExpectLit(bar, 5, kRed);
  bar.SetLevel(2);
  bar.Render();
  ExpectLit(bar, 0, kGreen);
  ExpectLit(bar, 1, kGreen);
  for (int i = 2; i < 8; ++i) ExpectUnlit(bar, i);

  bar.SetLevel(200);
  EXPECT_EQ(bar.Level(), 8);
  bar.Render();
  ExpectLit(bar, 7, kRed);
}

TEST(ErrorIndicator, ClassIsRegisteredOnceWithTheButtonFaceBackground) {
  EXPECT_TRUE(RegisterIndicatorClass());
  EXPECT_TRUE(RegisterIndicatorClass()) << "again: already there";
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  ASSERT_TRUE(GetClassInfoExW(GetModuleHandleW(nullptr), L"CErrorIndicator", &windowClass));
  EXPECT_EQ(windowClass.style, static_cast<UINT>(CS_HREDRAW | CS_VREDRAW));
  EXPECT_EQ(windowClass.hbrBackground, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
  EXPECT_EQ(windowClass.hCursor, LoadCursorW(nullptr, IDC_ARROW));
  EXPECT_EQ(windowClass.cbClsExtra, 0);
  EXPECT_EQ(windowClass.cbWndExtra, 0);
}

Rgb RgbOf(COLORREF colour) {
  return (Rgb{GetRValue(colour)} << 16) | (Rgb{GetGValue(colour)} << 8) | GetBValue(colour);
}

TEST(ErrorIndicator, UnderAHighContrastThemeThePanelAndFramesTakeTheThemeColoursAndTheLitSegmentsKeepTheirs) {
  ui::SetHighContrastQuery([] { return true; });
  Indicator bar(136, 17);
  bar.SetLevel(3);
  bar.Render();
  ui::SetHighContrastQuery(nullptr);
  const Rgb text = RgbOf(GetSysColor(COLOR_WINDOWTEXT));
  const Rgb window = RgbOf(GetSysColor(COLOR_WINDOW));
  ASSERT_NE(text, window);
  EXPECT_EQ(bar.At(0, 0), text) << "the panel's frame";
  EXPECT_EQ(bar.At(SegmentLeft(5), 8), text) << "an unlit segment's frame";
  EXPECT_EQ(bar.At(SegmentMiddle(5), 8), window) << "an unlit segment";
  EXPECT_EQ(bar.At(16, 8), window) << "the gap between segments";
  ExpectLit(bar, 2, kYellow);
}

TEST(ErrorIndicator, DrawsAFocusRectangleAlongItsFrameWhileItHasTheKeyboardFocus) {
  Indicator bar(136, 17);
  ShowWindow(bar.Handle(), SW_SHOWNOACTIVATE);
  const auto litFramePixels = [&] {
    int count = 0;
    for (int x = 0; x < 136; ++x) count += bar.At(x, 0) != kBlack;
    return count;
  };
  SetFocus(bar.Handle());
  ASSERT_EQ(GetFocus(), bar.Handle());
  bar.Render();
  EXPECT_GT(litFramePixels(), 30) << "a dotted line over the black frame";
  SetFocus(nullptr);
  bar.Render();
  EXPECT_EQ(litFramePixels(), 0);
}

// Value-change events of one indicator, as a screen reader receives them.
// Events reach the hook in the order they were raised: a marker raised after
// the action and received tells that all of the action's events are in.
class ValueChanges {
 public:
  explicit ValueChanges(HWND window) {
    s_window = window;
    s_count = 0;
    m_hook = SetWinEventHook(EVENT_OBJECT_VALUECHANGE, kMarker, nullptr, Count, 0, 0, WINEVENT_OUTOFCONTEXT);
  }
  ~ValueChanges() { UnhookWinEvent(m_hook); }
  // The events that came since the last call.
  int Take() {
    s_markerSeen = false;
    NotifyWinEvent(kMarker, s_window, OBJID_CLIENT, kMarkerChild);
    for (const DWORD start = GetTickCount(); !s_markerSeen && GetTickCount() - start < 10000;) {
      MSG message;
      if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&message);
      } else {
        Sleep(1);
      }
    }
    EXPECT_TRUE(s_markerSeen) << "the events stopped coming";
    return std::exchange(s_count, 0);
  }

 private:
  static constexpr DWORD kMarker = EVENT_OBJECT_HELPCHANGE;
  static constexpr LONG kMarkerChild = 0x4E4B;
  static void CALLBACK Count(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD, DWORD) {
    if (window != s_window || object != OBJID_CLIENT) return;
    if (event == kMarker && child == kMarkerChild) s_markerSeen = true;
    if (event == EVENT_OBJECT_VALUECHANGE && child == CHILDID_SELF) ++s_count;
  }
  static inline bool s_markerSeen = false;
  static inline HWND s_window = nullptr;
  static inline int s_count = 0;
  HWINEVENTHOOK m_hook = nullptr;
};

TEST(ErrorIndicator, TellsAssistiveTechnologyItsLabelAndItsLevelWithAnEventWhenTheValueChanges) {
  Indicator bar(136, 17, L"Error &Indicator");
  ValueChanges changes(bar.Handle());
  const AccessibleReading before = ReadAccessible(bar.Handle());
  ASSERT_EQ(before.found, S_OK);
  EXPECT_EQ(before.name, L"Error Indicator") << "the label's text without its mnemonic mark";
  EXPECT_EQ(before.role, ROLE_SYSTEM_PROGRESSBAR);
  EXPECT_EQ(before.value, std::nullopt) << "no level given yet";

  const struct {
    const char* step;
    std::function<void()> run;
    std::optional<std::wstring> value;
    int events;
  } steps[] = {
      {"level 5", [&] { bar.SetLevel(5); }, L"Not Good, 5 of 8", 1},
      {"level 5 again", [&] { bar.SetLevel(5); }, L"Not Good, 5 of 8", 0},
      {"level 0", [&] { bar.SetLevel(0); }, L"Perfect, 0 of 8", 1},
      {"level 8", [&] { bar.SetLevel(8); }, L"Fatal, 8 of 8", 1},
      {"no level", [&] { bar.ShowNoLevel(); }, std::nullopt, 1},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.step);
    step.run();
    EXPECT_EQ(ReadAccessible(bar.Handle()).value, step.value);
    EXPECT_EQ(changes.Take(), step.events);
  }
}

TEST(ErrorIndicator, AnAccessibleObjectKeptAfterTheIndicatorIsGoneAnswersThatItIsGone) {
  IAccessible* object = nullptr;
  {
    Indicator bar(136, 17);
    bar.SetLevel(4);
    ASSERT_EQ(AccessibleObjectFromWindow(bar.Handle(), static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                         reinterpret_cast<void**>(&object)),
              S_OK);
  }
  VARIANT self{};
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  BSTR text = nullptr;
  EXPECT_TRUE(FAILED(object->get_accName(self, &text)));
  EXPECT_TRUE(FAILED(object->get_accValue(self, &text)));
  EXPECT_EQ(text, nullptr);
  object->Release();
}

// Each paint covers the whole bar, so the bar is never erased first: an
// erase between two pictures would flash the window's background.
TEST(ErrorIndicator, AskedToEraseItsBackgroundItLeavesWhatIsThere) {
  Indicator indicator(136, 17);
  indicator.SetLevel(5);
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 136, 17);
  ReleaseDC(nullptr, screen);
  const HGDIOBJ old = SelectObject(dc, bitmap);
  SetPixel(dc, 60, 8, RGB(255, 0, 255));
  EXPECT_NE(SendMessageW(indicator.Handle(), WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0), 0);
  EXPECT_EQ(GetPixel(dc, 60, 8), RGB(255, 0, 255)) << "the background was erased";
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
}

}  // namespace
}  // namespace norvane::test
