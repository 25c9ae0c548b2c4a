// The Settings page: the first tab of the main window. It holds no settings
// of its own: it shows what the drive reports and, on every command of its
// controls, sends the whole set its controls show and reads the drive again.
#pragma once

#include <span>

#include "drive/settings.h"
#include "ui/colours.h"
#include "ui/dialog.h"
#include "ui/tooltip.h"

namespace norvane {

class CDialogSetting2Lx4 : public ui::CDialogImpl<CDialogSetting2Lx4> {
 public:
  // Creates the page window at once, a hidden child of `parent`, and records
  // the page as the application's one Settings page.
  explicit CDialogSetting2Lx4(HWND parent);
  ~CDialogSetting2Lx4() override;

  // The application's Settings page, or null while there is none.
  static CDialogSetting2Lx4* Instance();
  static std::span<const ui::MessageEntry<CDialogSetting2Lx4>> MessageTable();

  // Sets every control from what the drive open in the channel reports.
  void RefreshFromDrive();
  // Sends the settings the controls show. Answers false when the user
  // cancelled a confirmation: nothing was sent and the controls are the drive's again.
  bool ApplyToDrive();

  bool PreTranslateMessage(MSG& msg) override;

 protected:
  BOOL OnInitDialog() override;
  bool PreviewCommand(const ui::Message& message) override;

 private:
  LRESULT OnQuietOnClicked(const ui::Message&);
  LRESULT OnReadOnClicked(const ui::Message&);
  LRESULT OnCtlColor(const ui::Message& message);
  LRESULT OnWindowPosChanged(const ui::Message& message);

  void ShowQuietMode(QuietModeCode mode) const;
  void ShowReadMode(ReadModeCode mode) const;
  void ShowRealTime(const ReportedSettings& reported) const;
  QuietModeCode QuietModeOfControls() const;
  ReadModeCode ReadModeOfControls() const;
  // Enables the controls exactly while the button's state is "checked".
  void EnableByButtonState(int buttonId, std::initializer_list<int> controls) const;

  ui::CToolTip m_toolTip;
  ui::CButtonFaceBrush m_backgroundBrush;
  int m_quietOnAtRefresh = BST_UNCHECKED;
  int m_realTimeAtRefresh = BST_UNCHECKED;
};

}  // namespace norvane
