#include "pages/settings_page.h"

#include "resource.h"

namespace norvane {
namespace {
CDialogSetting2Lx4* settingsPage = nullptr;
}

CDialogSetting2Lx4::CDialogSetting2Lx4(HWND parent) : CDialogImpl(IDD_SETTING) {
  settingsPage = this;
  CreateChild(parent);
}

CDialogSetting2Lx4::~CDialogSetting2Lx4() {
  if (settingsPage == this) settingsPage = nullptr;
}

CDialogSetting2Lx4* CDialogSetting2Lx4::Instance() { return settingsPage; }

void CDialogSetting2Lx4::RefreshFromDrive() {
  // The page's controls and their reading of the drive come with the page's
  // own behaviour; until then there is nothing to refresh.
}

}  // namespace norvane
