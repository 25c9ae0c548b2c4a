#include "pages/utility_page.h"

#include "resource.h"

namespace norvane {
namespace {
CUtilityDialog* utilityPage = nullptr;
}

CUtilityDialog::CUtilityDialog(HWND parent) : CDialogImpl(IDD_UTILITY) {
  utilityPage = this;
  CreateChild(parent);
}

CUtilityDialog::~CUtilityDialog() {
  if (utilityPage == this) utilityPage = nullptr;
}

CUtilityDialog* CUtilityDialog::Instance() { return utilityPage; }

}  // namespace norvane
