#include "app/about_dialog.h"

#include "resource.h"

namespace norvane {

CAboutDlg::CAboutDlg() : CDialogImpl(IDD_ABOUTBOX) {}

}  // namespace norvane
