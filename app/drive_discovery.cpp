// Drive discovery and selection: the main window's drive list and letter table.
#include <windows.h>

#include "app/main_window.h"
#include "drive/channel.h"
#include "drive/reads.h"

namespace norvane {

void CNorvaneDriveUtilityDlg::ScanDrives() {
  m_driveList.Send(CB_RESETCONTENT);
  std::size_t count = 0;
  for (char letter = 'C'; letter <= 'Z'; ++letter) {
    const std::wstring identity = ReadDriveIdentity(letter);
    if (identity.empty() || !IsSupportedDrive(identity)) continue;
    const std::wstring label = BuildDriveLabel(letter);
    m_driveList.Send(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(label.c_str()));
    m_letters[count++] = static_cast<std::uint8_t>(letter);
  }
  // Selecting by message raises no CBN_SELCHANGE: the pages are not refreshed.
  m_driveList.Send(CB_SETCURSEL, 0);
  OpenDrive(count > 0 ? static_cast<char>(m_letters[0]) : 0);
}

char CNorvaneDriveUtilityDlg::LetterAt(int index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= m_letters.size()) return 0;
  return static_cast<char>(m_letters[static_cast<std::size_t>(index)]);
}

LRESULT CNorvaneDriveUtilityDlg::OnDriveSelected(const ui::Command&) {
  const auto index = static_cast<int>(m_driveList.Send(CB_GETCURSEL));
  OpenDrive(LetterAt(index));
  RefreshPages();
  return 0;
}

void CNorvaneDriveUtilityDlg::RefreshPages() const {
  if (m_settingsPage) m_settingsPage->RefreshFromDrive();
  if (m_statusPage) m_statusPage->RefreshStatusPage();
}

// The Utility page's bus power check holds the drive list and the tabs.
void CNorvaneDriveUtilityDlg::HoldBusy() {
  m_driveList.Enable(false);
  m_busyLock = true;
}

void CNorvaneDriveUtilityDlg::ReleaseBusy() {
  m_driveList.Enable(true);
  m_busyLock = false;
}

void CNorvaneDriveUtilityDlg::DriveListChanged() {
  ScanDrives();
  RefreshPages();
}

}  // namespace norvane
