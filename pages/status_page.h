// The Status page: the second tab of the main window. Once a second, while
// its tab is selected, it shows how well the drive reads audio: the error
// level as a bar and a word, the transferred sectors and the time code of
// the last one. Drives without real-time read-error handling get one line
// that says so instead.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <utility>

#include "drive/quality_history.h"
#include "drive/readings.h"
#include "pages/error_indicator.h"
#include "ui/page.h"

namespace norvane {

// Where the page takes the wall time of a reading from, in Unix milliseconds;
// a test may stand in for the system's clock, and null gives it back.
using WallClock = std::int64_t (*)();
void SetWallClock(WallClock clock);

class CStatusDialog : public ui::CDialogImpl<CStatusDialog, ui::CPage> {
 public:
  // Creates the page window at once, a hidden child of `parent`. Raises
  // ui::ResourceFailure when the indicator's window class cannot be had.
  explicit CStatusDialog(HWND parent);

  static std::span<const ui::MessageEntry<CStatusDialog>> MessageTable();

  // Shows the live controls or the notice, by what the drive open in the
  // channel supports. While the page's tab is selected it also shows that
  // drive's values at once; otherwise they are read when the tab is selected.
  void RefreshStatusPage();
  const CErrorIndicator& Indicator() const { return m_indicator; }

  // The window that holds the page says when the page's tab becomes the
  // selected one and when it stops being it; the page polls the drive only
  // in between, and reads it at once when the tab becomes selected, so that
  // it never shows values from when it was last seen.
  void SetTabSelected(bool selected);
  bool TabSelected() const { return m_tabSelected; }

  // The readings of the current measurement: those of a drive with real-time
  // handling whose read went well, since the page first read the drive, since
  // Clear or since the drive shown changed. `listener` hears of each change.
  const QualityHistory& History() const { return m_history; }
  void SetHistoryListener(std::function<void()> listener) { m_historyListener = std::move(listener); }

 protected:
  void DoDataExchange() override;
  BOOL OnInitDialog() override;
  void ColourStaticText(HDC dc, HWND control) const override;

 private:
  LRESULT OnTimer(UINT_PTR timerId);
  LRESULT OnClear(const ui::Command&);

  void ShowLiveControls(bool show) const;
  void ShowReading(const QualityReading& reading);
  void ShowCounters(const QualityReading& reading);
  void ShowNoValues();
  void KeepReading(const QualityReading& reading);
  void StartMeasurement();
  void HistoryChanged() const;

  CErrorIndicator m_indicator;
  bool m_tabSelected = false;
  QualityHistory m_history;
  char m_measuredLetter = 0;  // the drive the history belongs to
  std::function<void()> m_historyListener;
};

}  // namespace norvane
