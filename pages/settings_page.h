// The Settings page: the first tab of the main window.
#pragma once

#include "ui/dialog.h"

namespace norvane {

class CDialogSetting2Lx4 : public ui::CDialogImpl<CDialogSetting2Lx4> {
 public:
  // Creates the page window at once, a hidden child of `parent`, and records
  // the page as the application's one Settings page.
  explicit CDialogSetting2Lx4(HWND parent);
  ~CDialogSetting2Lx4() override;

  // The application's Settings page, or null while there is none.
  static CDialogSetting2Lx4* Instance();

  // Shows what the drive open in the channel reports.
  void RefreshFromDrive();
};

}  // namespace norvane
