// The Utility page: the third tab of the main window.
#pragma once

#include "ui/dialog.h"

namespace norvane {

class CUtilityDialog : public ui::CDialogImpl<CUtilityDialog> {
 public:
  // Creates the page window at once, a hidden child of `parent`, and records
  // the page as the application's one Utility page.
  explicit CUtilityDialog(HWND parent);
  ~CUtilityDialog() override;

  // The application's Utility page, or null while there is none.
  static CUtilityDialog* Instance();
};

}  // namespace norvane
