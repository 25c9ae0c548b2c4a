#include "pages/quality_chart.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "drive/quality.h"
#include "pages/error_indicator.h"
#include "ui/colours.h"
#include "ui/dialog.h"
#include "ui/dpi.h"

namespace norvane {
namespace {

// Pixels at 100%: the room above the plot where the worst stretch's band
// shows over the highest steps, around the plot, the least height of a step
// (a level 0 still shows its green), and the marks on the bottom.
constexpr int kTopRoom = 8;
constexpr int kSideRoom = 6;
constexpr int kLeastStep = 3;
constexpr int kTickLength = 3;
constexpr int kLabelGap = 12;
constexpr int kBandEdge = 2;
constexpr int kMostTimeCodes = 5;
constexpr int kChartGridStep = 2;  // a light line every second level
constexpr int kLabelledStep = 4;   // 0, 4 and 8 named on the left

constexpr COLORREF kChartBackground = RGB(255, 255, 255);
constexpr COLORREF kChartFrame = RGB(0, 0, 0);
constexpr COLORREF kChartGrid = RGB(224, 224, 224);
constexpr COLORREF kChartBand = RGB(208, 224, 255);
constexpr COLORREF kChartBandEdge = RGB(0, 84, 192);

// Under a high-contrast theme everything but the steps takes the theme's
// colours; the band is an outline in its highlight colour.
struct ChartColours {
  COLORREF background, frame, grid, band, bandEdge;
};

ChartColours CurrentChartColours() {
  if (ui::HighContrast()) {
    const COLORREF window = GetSysColor(COLOR_WINDOW);
    return {window, GetSysColor(COLOR_WINDOWTEXT), GetSysColor(COLOR_GRAYTEXT), window, GetSysColor(COLOR_HIGHLIGHT)};
  }
  return {kChartBackground, kChartFrame, kChartGrid, kChartBand, kChartBandEdge};
}

void Fill(HDC dc, const RECT& rect, COLORREF colour) {
  SetDCBrushColor(dc, colour);
  FillRect(dc, &rect, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}

void Line(HDC dc, int x1, int y1, int x2, int y2, COLORREF colour) {
  SetDCPenColor(dc, colour);
  MoveToEx(dc, x1, y1, nullptr);
  LineTo(dc, x2, y2);
}

SIZE TextSize(HDC dc, const std::wstring& text) {
  SIZE size{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  return size;
}

void TextAt(HDC dc, int x, int y, const std::wstring& text) {
  TextOutW(dc, x, y, text.c_str(), static_cast<int>(text.size()));
}

// The dialog's font, which follows its DPI, in the chart's device context
// for as long as this lives.
class DialogFont {
 public:
  DialogFont(HDC dc, HWND control)
      : m_dc(dc),
        m_old(SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(GetParent(control), WM_GETFONT, 0, 0)))) {}
  ~DialogFont() { SelectObject(m_dc, m_old); }
  DialogFont(const DialogFont&) = delete;
  DialogFont& operator=(const DialogFont&) = delete;

 private:
  HDC m_dc;
  HGDIOBJ m_old;
};

}  // namespace

void CQualityChart::SetHistory(const QualityHistory* history) {
  m_history = history;
  if (m_hwnd) RedrawWindow(m_hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

int CQualityChart::Scaled(int pixels) const {
  return ui::ScaleBetween(pixels, ui::kDefaultDpi, ui::CDialog::DpiOf(m_hwnd));
}

// Room on the left for the level numbers, below for the time codes.
RECT CQualityChart::PlotArea(HDC dc, int width, int height) const {
  const SIZE level = TextSize(dc, L"8");
  const SIZE timeCode = TextSize(dc, L"00:00:00");
  RECT plot{level.cx + 2 * Scaled(kSideRoom), Scaled(kTopRoom), width - Scaled(kSideRoom),
            height - timeCode.cy - Scaled(kTickLength) - Scaled(kSideRoom)};
  plot.right = std::max(plot.right, plot.left + 1);
  plot.bottom = std::max(plot.bottom, plot.top + 1);
  return plot;
}

RECT CQualityChart::PlotArea() const {
  RECT client;
  GetClientRect(m_hwnd, &client);
  HDC dc = GetDC(m_hwnd);
  RECT plot;
  {
    const DialogFont font(dc, m_hwnd);
    plot = PlotArea(dc, client.right, client.bottom);
  }
  ReleaseDC(m_hwnd, dc);
  return plot;
}

CQualityChart::Span CQualityChart::ReadingsOfColumn(int column, int columns, std::size_t readings) {
  const auto at = [&](int c) { return static_cast<std::size_t>(static_cast<std::uint64_t>(c) * readings / columns); };
  const std::size_t first = at(column);
  return {first, std::max(first + 1, at(column + 1))};
}

std::optional<std::size_t> CQualityChart::ReadingAt(int x) const {
  if (!m_history || m_history->Size() == 0) return std::nullopt;
  const RECT plot = PlotArea();
  if (x < plot.left || x >= plot.right) return std::nullopt;
  return ReadingsOfColumn(x - plot.left, plot.right - plot.left, m_history->Size()).first;
}

int CQualityChart::ColumnOf(std::size_t index) const {
  if (!m_history || index >= m_history->Size()) return -1;
  const RECT plot = PlotArea();
  const int columns = plot.right - plot.left;
  for (int c = 0; c < columns; ++c) {
    const Span span = ReadingsOfColumn(c, columns, m_history->Size());
    if (span.first <= index && index < span.end) return plot.left + c;
  }
  return -1;
}

int CQualityChart::LevelTop(const RECT& plot, std::uint8_t level) const {
  const int height = (plot.bottom - plot.top) * level / kMaxQualityLevel;
  return plot.bottom - std::max(height, Scaled(kLeastStep));
}

void CQualityChart::Paint(HDC dc, int width, int height) {
  const DialogFont font(dc, m_hwnd);
  const HGDIOBJ oldPen = SelectObject(dc, GetStockObject(DC_PEN));
  Fill(dc, {0, 0, width, height}, CurrentChartColours().background);
  const RECT plot = PlotArea(dc, width, height);
  const ChartColours colours = CurrentChartColours();
  // The band lies behind the grid and the steps, its outline over them, so
  // that the worst stretch shows even where its steps fill it.
  const std::optional<RECT> band = WorstBand(plot);
  if (band) Fill(dc, *band, colours.band);
  PaintGrid(dc, plot);
  if (!band) {
    SelectObject(dc, oldPen);
    return;  // no readings
  }
  PaintSteps(dc, plot);
  PaintTimeCodes(dc, plot, width, height);
  SetDCBrushColor(dc, colours.bandEdge);
  for (int inset = 0; inset < Scaled(kBandEdge); ++inset) {
    RECT edge = *band;
    InflateRect(&edge, -inset, -inset);
    FrameRect(dc, &edge, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
  }
  SelectObject(dc, oldPen);
}

// Light lines across at every second level, the axes in the frame colour,
// and the numbers of the lowest, middle and highest level on the left.
void CQualityChart::PaintGrid(HDC dc, const RECT& plot) const {
  const ChartColours colours = CurrentChartColours();
  const int span = plot.bottom - plot.top;
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, colours.frame);
  for (int level = 0; level <= kMaxQualityLevel; level += kChartGridStep) {
    const int y = plot.bottom - span * level / kMaxQualityLevel;
    if (level > 0) Line(dc, plot.left, y, plot.right, y, colours.grid);
    if (level % kLabelledStep != 0) continue;
    const std::wstring number = std::to_wstring(level);
    const SIZE size = TextSize(dc, number);
    TextAt(dc, plot.left - Scaled(kSideRoom) - size.cx, y - size.cy / 2, number);
  }
  Line(dc, plot.left - 1, plot.top, plot.left - 1, plot.bottom, colours.frame);
  Line(dc, plot.left - 1, plot.bottom, plot.right, plot.bottom, colours.frame);
}

// From above the highest step to the axis, across the columns of the
// longest run at the worst level; none without readings.
std::optional<RECT> CQualityChart::WorstBand(const RECT& plot) const {
  if (!m_history || m_history->Size() == 0) return std::nullopt;
  const WorstStretch worst = m_history->Worst();
  const int columns = plot.right - plot.left;
  const std::size_t runEnd = worst.first + worst.count;
  int left = -1, right = -1;
  for (int c = 0; c < columns; ++c) {
    const Span span = ReadingsOfColumn(c, columns, m_history->Size());
    if (span.first < runEnd && worst.first < span.end) {
      if (left < 0) left = c;
      right = c + 1;
    }
  }
  if (left < 0) return std::nullopt;
  return RECT{plot.left + left, plot.top - Scaled(kTopRoom) / 2, plot.left + right, plot.bottom};
}

// Neighbouring columns of one level are one rectangle.
void CQualityChart::PaintSteps(HDC dc, const RECT& plot) const {
  const int columns = plot.right - plot.left;
  const std::size_t readings = m_history->Size();
  int runStart = 0;
  std::uint8_t runLevel = 0;
  for (int c = 0; c <= columns; ++c) {
    std::uint8_t level = 0;
    if (c < columns) {
      const Span span = ReadingsOfColumn(c, columns, readings);
      for (std::size_t i = span.first; i < span.end; ++i) level = std::max(level, m_history->At(i).level);
    }
    if (c > 0 && (c == columns || level != runLevel)) {
      Fill(dc, {plot.left + runStart, LevelTop(plot, runLevel), plot.left + c, plot.bottom}, LevelColour(runLevel));
      runStart = c;
    }
    runLevel = level;
  }
}

// A few time codes along the bottom, evenly spread from the first reading
// to the last (the first only, with one reading), each under a mark and kept inside the chart.
void CQualityChart::PaintTimeCodes(HDC dc, const RECT& plot, int width, int height) const {
  const int columns = plot.right - plot.left;
  const std::size_t readings = m_history->Size();
  const int labelWidth = TextSize(dc, L"00:00:00").cx + Scaled(kLabelGap);
  // No more labels than readings: two labels on one reading say nothing.
  const int fit = std::clamp(columns / labelWidth, 2, kMostTimeCodes);
  const int labels = static_cast<int>(std::min<std::size_t>(readings, static_cast<std::size_t>(fit)));
  const COLORREF frame = CurrentChartColours().frame;
  for (int j = 0; j < labels; ++j) {
    const int column = labels == 1 ? 0 : j * (columns - 1) / (labels - 1);
    const std::size_t reading = ReadingsOfColumn(column, columns, readings).first;
    const std::wstring text = ui::WidenAscii(FormatTimeCode(m_history->At(reading).lastSectorFrame));
    const int x = plot.left + column;
    Line(dc, x, plot.bottom, x, plot.bottom + Scaled(kTickLength), frame);
    const SIZE size = TextSize(dc, text);
    // A glyph may reach a pixel or two past its advance: the last label keeps
    // that much off the edge, where the control would cut it.
    const int left = std::clamp<int>(x - size.cx / 2, 0, std::max<int>(0, width - size.cx - Scaled(kTickLength)));
    TextAt(dc, left, std::min<int>(plot.bottom + Scaled(kTickLength), height - size.cy), text);
  }
}

}  // namespace norvane
