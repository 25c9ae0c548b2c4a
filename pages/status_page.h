// The Status page: the second tab of the main window. Once a second, while
// its tab is selected, it shows how well the drive reads audio: the error
// level as a bar and a word, the transferred sectors and the time code of
// the last one. Drives without real-time read-error handling get one line
// that says so instead.
#pragma once

#include <span>

#include "drive/readings.h"
#include "pages/error_indicator.h"
#include "ui/page.h"

namespace norvane {

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

  CErrorIndicator m_indicator;
  bool m_tabSelected = false;
};

}  // namespace norvane
