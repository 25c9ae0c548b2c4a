#include "pages/status_page.h"

#include "pages/error_indicator.h"
#include "resource.h"

namespace norvane {
namespace {
CStatusDialog* statusPage = nullptr;
}

CStatusDialog::CStatusDialog(HWND parent) : CDialogImpl(IDD_STATUS) {
  statusPage = this;
  RegisterIndicatorClass();  // the template holds an indicator control
  CreateChild(parent);
}

CStatusDialog::~CStatusDialog() {
  if (statusPage == this) statusPage = nullptr;
}

CStatusDialog* CStatusDialog::Instance() { return statusPage; }

void CStatusDialog::RefreshStatusPage() {
  // The page's reading of the drive comes with the page's own behaviour;
  // until then there is nothing to refresh.
}

}  // namespace norvane
