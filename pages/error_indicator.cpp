#include "pages/error_indicator.h"

#include <commctrl.h>
#include <oleacc.h>

#include <algorithm>

#include "drive/quality.h"
#include "platform/scoped.h"
#include "resource.h"
#include "ui/colours.h"
#include "ui/dialog.h"
#include "ui/dpi.h"

namespace norvane {
namespace {

constexpr wchar_t kClassName[] = L"CErrorIndicator";

constexpr COLORREF kFrame = RGB(0, 0, 0);
constexpr COLORREF kPanel = RGB(112, 112, 112);
constexpr COLORREF kGreen = RGB(0, 255, 0);
constexpr COLORREF kYellow = RGB(255, 255, 0);
constexpr COLORREF kRed = RGB(255, 0, 0);
// Gradient channels are 16 bits wide; an 8-bit value is their high byte.
constexpr COLOR16 kHalf = 0x8000;
constexpr COLOR16 kOpaque = 0xFF00;
// Segments sit two pixels (at 100%) below the panel's top and above its
// bottom.
constexpr int kSegmentInset = 2;

ClassRegistrar registerClass = RegisterClassExW;

// The panel and the frames: the usual grey on black, or the theme's window
// colour inside its text colour, so that the lit colours stay readable.
struct PanelColours {
  COLORREF frame;
  COLORREF panel;
};

PanelColours CurrentPanelColours() {
  if (ui::HighContrast()) return {GetSysColor(COLOR_WINDOWTEXT), GetSysColor(COLOR_WINDOW)};
  return {kFrame, kPanel};
}

COLOR16 Channel16(BYTE value) { return static_cast<COLOR16>(value << 8); }

void SetColour(TRIVERTEX& vertex, COLOR16 red, COLOR16 green, COLOR16 blue) {
  vertex.Red = red;
  vertex.Green = green;
  vertex.Blue = blue;
  vertex.Alpha = kOpaque;
}

// The colours of a gradient's two corners; their positions stay.
void ColourPair(TRIVERTEX* pair, const TRIVERTEX& from, const TRIVERTEX& to) {
  SetColour(pair[0], from.Red, from.Green, from.Blue);
  SetColour(pair[1], to.Red, to.Green, to.Blue);
}

void FillVertically(HDC dc, TRIVERTEX* pair) {
  GRADIENT_RECT rect{0, 1};
  GradientFill(dc, pair, 2, &rect, 1, GRADIENT_FILL_RECT_V);
}

}  // namespace

COLORREF LevelColour(std::uint8_t level) {
  switch (QualityBandOf(level)) {
    case QualityBand::Green: return kGreen;
    case QualityBand::Yellow: return kYellow;
    default: return kRed;
  }
}

UINT LevelWordString(std::uint8_t level) {
  switch (QualityWordOf(level)) {
    case QualityWord::Perfect: return IDS_LEVEL_PERFECT;
    case QualityWord::Better: return IDS_LEVEL_BETTER;
    case QualityWord::Good: return IDS_LEVEL_GOOD;
    case QualityWord::NotGood: return IDS_LEVEL_NOT_GOOD;
    case QualityWord::Bad: return IDS_LEVEL_BAD;
    default: return IDS_LEVEL_FATAL;
  }
}

void SetClassRegistrar(ClassRegistrar registrar) { registerClass = registrar; }

bool RegisterIndicatorClass() {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  if (GetClassInfoExW(ui::Instance(), kClassName, &windowClass)) return true;
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  // The default procedure until the owner subclasses the control it binds.
  windowClass.lpfnWndProc = DefWindowProcW;
  windowClass.hInstance = ui::Instance();
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kClassName;
  if (!registerClass(&windowClass)) throw ui::ResourceFailure("the error indicator's window class");
  return true;
}

void CErrorIndicator::Subclass(HWND control, HWND label) {
  CPaintedControl::Subclass(control);
  m_accessible.Attach(
      control, {[label] { return ui::LabelName(label); }, [this] { return ValueText(); }, ROLE_SYSTEM_PROGRESSBAR});
}

void CErrorIndicator::SetLevel(std::uint8_t level) { ShowLevel(std::min(level, kMaxQualityLevel), true); }

void CErrorIndicator::ShowNoLevel() { ShowLevel(0, false); }

// Listeners hear of a new value only, not of every tick that repeats one.
void CErrorIndicator::ShowLevel(std::uint8_t level, bool given) {
  const std::optional<std::wstring> before = ValueText();
  m_level = level;
  m_levelGiven = given;
  RedrawWindow(m_hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  if (ValueText() != before) m_accessible.NotifyValueChange();
}

std::optional<std::wstring> CErrorIndicator::ValueText() const {
  if (!m_levelGiven) return std::nullopt;
  // "%1" is the word, "%2" the lit segments, "%3" all segments.
  return ui::FillPlaceholders(
      ui::LoadResourceString(IDS_INDICATOR_VALUE),
      {ui::LoadResourceString(LevelWordString(m_level)), std::to_wstring(m_level), std::to_wstring(kSegments)});
}

// The focus rectangle comes and goes with the focus.
bool CErrorIndicator::OnMessage(UINT message, WPARAM, LPARAM, LRESULT&) {
  if (message == WM_SETFOCUS || message == WM_KILLFOCUS) InvalidateRect(m_hwnd, nullptr, FALSE);
  return false;
}

// The panel and all eight segments unlit, then the lit ones over them: each
// paint draws the whole picture, so a lower level simply lights fewer. With
// the keyboard focus, a focus rectangle runs along the frame.
void CErrorIndicator::Paint(HDC dc, int width, int height) {
  const PanelColours colours = CurrentPanelColours();
  const HGDIOBJ oldPen = SelectObject(dc, GetStockObject(DC_PEN));
  SetDCPenColor(dc, colours.frame);
  const GdiObject<HBRUSH> panel(CreateSolidBrush(colours.panel));
  const HGDIOBJ oldBrush = SelectObject(dc, panel.Get());
  Rectangle(dc, 0, 0, width, height);

  const int pitch = width / kSegments;
  const int inset = ui::ScaleBetween(kSegmentInset, ui::kDefaultDpi, ui::CDialog::DpiOf(m_hwnd));
  const int split = (height - inset) / 2;
  RECT segments[kSegments];
  for (int i = 0; i < kSegments; ++i) {
    segments[i] = {i * pitch + 1, inset, (i + 1) * pitch - 1, height - inset};
    Rectangle(dc, segments[i].left, segments[i].top, segments[i].right, segments[i].bottom);
    PlaceSegmentVertices(i, segments[i], split);
  }

  const COLORREF colour = LevelColour(m_level);
  SetDCPenColor(dc, colour);
  const GdiObject<HBRUSH> lit(CreateSolidBrush(colour));
  ColourVertices(colour);
  SelectObject(dc, lit.Get());
  for (int i = 0; i < m_level; ++i) {
    Rectangle(dc, segments[i].left, segments[i].top, segments[i].right, segments[i].bottom);
    FillVertically(dc, &m_upper[2 * i]);
    FillVertically(dc, &m_lower[2 * i]);
  }

  SelectObject(dc, oldBrush);
  SelectObject(dc, oldPen);
  if (m_hwnd && GetFocus() == m_hwnd) {
    const RECT frame{0, 0, width, height};
    DrawFocusRect(dc, &frame);
  }
}

// The upper gradient runs from the segment's top to the split line, the
// lower one from the split line to its bottom.
void CErrorIndicator::PlaceSegmentVertices(int segment, const RECT& bounds, int split) {
  TRIVERTEX* upper = &m_upper[2 * segment];
  TRIVERTEX* lower = &m_lower[2 * segment];
  upper[0].x = bounds.left, upper[0].y = bounds.top;
  upper[1].x = bounds.right, upper[1].y = split;
  lower[0].x = bounds.left, lower[0].y = split;
  lower[1].x = bounds.right, lower[1].y = bounds.bottom;
}

// A lit segment shows the pure level colour at its edges and a lighter
// centre colour along the split line.
void CErrorIndicator::ColourVertices(COLORREF levelColour) {
  const COLOR16 red = Channel16(GetRValue(levelColour));
  const COLOR16 green = Channel16(GetGValue(levelColour));
  TRIVERTEX edge{}, centre{};
  SetColour(edge, red, green, 0);
  if (red != 0) {
    SetColour(centre, red, kHalf, kHalf);
  } else if (green != 0) {
    SetColour(centre, kHalf, green, kHalf);
  } else {
    SetColour(centre, kHalf, kHalf, 0);
  }
  for (int i = 0; i < kSegments; ++i) {
    ColourPair(&m_upper[2 * i], edge, centre);
    ColourPair(&m_lower[2 * i], centre, edge);
  }
}

}  // namespace norvane
