// The About box (template 100), opened from the main window's system menu.
#pragma once

#include "ui/dialog.h"

namespace norvane {

class CAboutDlg : public ui::CDialogImpl<CAboutDlg> {
 public:
  CAboutDlg();
};

}  // namespace norvane
