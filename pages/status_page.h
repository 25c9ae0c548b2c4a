// The Status page: the second tab of the main window.
#pragma once

#include "ui/dialog.h"

namespace norvane {

class CStatusDialog : public ui::CDialogImpl<CStatusDialog> {
 public:
  // Creates the page window at once, a hidden child of `parent`, and records
  // the page as the application's one Status page.
  explicit CStatusDialog(HWND parent);
  ~CStatusDialog() override;

  // The application's Status page, or null while there is none.
  static CStatusDialog* Instance();

  // Shows what the drive open in the channel supports.
  void RefreshStatusPage();
};

}  // namespace norvane
