// The Status page: the second tab of the main window. Once a second, while
// its tab is selected, it shows how well the drive reads audio: the error
// level as a bar and a word, the transferred sectors and the time code of
// the last one. Drives without real-time read-error handling get one line
// that says so instead.
#pragma once

#include <span>

#include "drive/reads.h"
#include "pages/error_indicator.h"
#include "ui/colours.h"
#include "ui/dialog.h"
#include "ui/tooltip.h"

namespace norvane {

class CStatusDialog : public ui::CDialogImpl<CStatusDialog> {
 public:
  // Creates the page window at once, a hidden child of `parent`, and records
  // the page as the application's one Status page. Raises
  // ui::ResourceFailure when the indicator's window class cannot be had.
  explicit CStatusDialog(HWND parent);
  ~CStatusDialog() override;

  // The application's Status page, or null while there is none.
  static CStatusDialog* Instance();
  static std::span<const ui::MessageEntry<CStatusDialog>> MessageTable();

  // Shows the live controls or the notice, by what the drive open in the
  // channel supports. The values of the last update stay.
  void RefreshStatusPage();
  const CErrorIndicator& Indicator() const { return m_indicator; }

  bool PreTranslateMessage(MSG& msg) override;

 protected:
  void DoDataExchange() override;
  BOOL OnInitDialog() override;

 private:
  LRESULT OnTimer(const ui::Message&);
  LRESULT OnClear(const ui::Message&);
  LRESULT OnCtlColor(const ui::Message& message);

  void ShowLiveControls(bool show) const;
  void ShowCounters(const ErrorCounters& counters);

  ui::CToolTip m_toolTip;
  CErrorIndicator m_indicator;
  ui::CButtonFaceBrush m_backgroundBrush;
};

}  // namespace norvane
