// The Settings page: the first tab of the main window. It holds no settings
// of its own: it shows what the drive reports and, on every command of its
// controls, sends the whole set its controls show and reads the drive again.
#pragma once

#include <span>

#include "drive/settings.h"
#include "ui/page.h"

namespace norvane {

class CDialogSetting2Lx4 : public ui::CDialogImpl<CDialogSetting2Lx4, ui::CPage> {
 public:
  // Creates the page window at once, a hidden child of `parent`.
  explicit CDialogSetting2Lx4(HWND parent);

  static std::span<const ui::MessageEntry<CDialogSetting2Lx4>> MessageTable();

  // Sets every control from what the drive open in the channel reports.
  void RefreshFromDrive();
  // Sends the settings the controls show. Answers false when the user
  // cancelled a confirmation: nothing was sent and the controls are the drive's again.
  bool ApplyToDrive();

 protected:
  BOOL OnInitDialog() override;
  bool PreviewCommand(const ui::Command& command) override;

 private:
  LRESULT OnQuietOnClicked(const ui::Command&);
  LRESULT OnReadOnClicked(const ui::Command&);
  LRESULT OnWindowPosChanged();

  void ShowQuietMode(QuietModeCode mode) const;
  void ShowReadMode(ReadModeCode mode) const;
  void ShowRealTime(const ReportedSettings& reported) const;
  QuietModeCode QuietModeOfControls() const;
  ReadModeCode ReadModeOfControls() const;
  // Enables the controls exactly while the button's state is "checked".
  void EnableByButtonState(int buttonId, std::initializer_list<int> controls) const;

  int m_quietOnAtRefresh = BST_UNCHECKED;
  int m_realTimeAtRefresh = BST_UNCHECKED;
};

}  // namespace norvane
