// The chart of the quality history window: the level of each reading of a
// measurement, 0 at the bottom to 8 at the top, as steps from the oldest
// reading on the left to the newest on the right, each in its level's colour
// as the error indicator lights it. The worst stretch has a band behind it;
// the time codes of a few readings label the bottom. With more readings than
// columns, a column shows the worst of those it stands for.
#pragma once

#include <windows.h>

#include <cstddef>
#include <optional>

#include "drive/quality_history.h"
#include "ui/painted_control.h"

namespace norvane {

class CQualityChart : public ui::CPaintedControl {
 public:
  // The readings to show (null: none); the chart repaints at once.
  void SetHistory(const QualityHistory* history);

  // The reading whose column is at client x; none outside the plot or
  // without readings. With more readings than columns, the first of those
  // the column stands for.
  std::optional<std::size_t> ReadingAt(int x) const;
  // The client x of the first column that shows reading `index`.
  int ColumnOf(std::size_t index) const;

  void Paint(HDC dc, int width, int height) override;

 private:
  // The readings one column of the plot stands for: [first, end).
  struct Span {
    std::size_t first, end;
  };
  RECT PlotArea(HDC dc, int width, int height) const;
  RECT PlotArea() const;
  static Span ReadingsOfColumn(int column, int columns, std::size_t readings);
  int Scaled(int pixels) const;
  int LevelTop(const RECT& plot, std::uint8_t level) const;
  void PaintGrid(HDC dc, const RECT& plot) const;
  std::optional<RECT> WorstBand(const RECT& plot) const;
  void PaintSteps(HDC dc, const RECT& plot) const;
  void PaintTimeCodes(HDC dc, const RECT& plot, int width, int height) const;

  const QualityHistory* m_history = nullptr;
};

}  // namespace norvane
