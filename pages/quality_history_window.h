// The quality history window: a small window beside the main one, owned by
// it, that shows the Status page's readings of the current measurement as a
// chart, one line of text under it that names the worst level, where it
// began and how long the audio was Bad or worse, and a button that copies
// the readings as CSV. It reads no drive: it shows what the page read, and
// follows each change the page makes to the history.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>

#include "drive/quality_history.h"
#include "pages/quality_chart.h"
#include "ui/page.h"

namespace norvane {

class CQualityHistoryWindow : public ui::CDialogImpl<CQualityHistoryWindow, ui::CPage> {
 public:
  // Opens the window, owned by `owner` and beside it, on `history` (null:
  // no readings).
  CQualityHistoryWindow(HWND owner, const QualityHistory* history);

  static std::span<const ui::MessageEntry<CQualityHistoryWindow>> MessageTable();

  // Shows `history` anew: after each reading the page kept, after a new
  // measurement began, or another history altogether.
  void ShowHistory(const QualityHistory* history);
  const CQualityChart& Chart() const { return m_chart; }
  // The readings as CSV: the header, then one line a reading, each ended by CR LF.
  std::wstring Csv() const;

  // The tip follows the reading under the mouse; the window's own keys
  // (Tab, Escape) work as in any dialog.
  bool PreTranslateMessage(MSG& msg) override;

 protected:
  void DoDataExchange() override;
  BOOL OnInitDialog() override;
  // Escape and the close box: the window goes.
  void OnCancel() override;

 private:
  LRESULT OnCopy(const ui::Command&);
  LRESULT OnDpiChanged(const ui::DpiChange& change);

  void ShowSummary() const;
  std::wstring SummaryText() const;
  std::wstring TipText(std::size_t reading) const;
  void NameReadingAt(int x);
  void PlaceBeside(HWND owner) const;

  CQualityChart m_chart;
  const QualityHistory* m_history;
  std::optional<int> m_mouseX;  // where the mouse last moved over the chart
  std::wstring m_tipText;
};

}  // namespace norvane
