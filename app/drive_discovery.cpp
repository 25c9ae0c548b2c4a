// Drive discovery and selection: the main window's drive list and letter table.
#include <windows.h>

#include <algorithm>
#include <iterator>

#include "app/main_window.h"
#include "drive/channel.h"
#include "drive/reads.h"
#include "drive/system_error.h"
#include "resource.h"
#include "ui/message_box.h"
#include "ui/window.h"

namespace norvane {
namespace {

// Why the system would not let the window reach a drive, where the user can
// do something about it: run as administrator, close the other program. A
// letter that cannot take the pass-through at all (an image Explorer
// mounted, a virtual drive, another maker's drive behind a driver without
// it: "not supported", "invalid function") is no drive of ours.
constexpr std::uint32_t kErrorsAUserCanActOn[] = {ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION, ERROR_LOCK_VIOLATION,
                                                  ERROR_BUSY, ERROR_DRIVE_LOCKED};

bool UserCanActOn(std::uint32_t systemError) {
  return std::find(std::begin(kErrorsAUserCanActOn), std::end(kErrorsAUserCanActOn), systemError) !=
         std::end(kErrorsAUserCanActOn);
}

}  // namespace

void CNorvaneDriveUtilityDlg::ScanDrives() {
  m_driveList.Send(CB_RESETCONTENT);
  m_unreachable.clear();
  std::size_t count = 0;
  for (const char letter : OpticalDriveLetters()) {
    CommandResult read;
    const std::wstring identity = ReadDriveIdentity(letter, read);
    // A drive the system would not let us reach is not a drive of another
    // maker: the user hears of it instead of seeing it vanish.
    if (read.outcome == CommandOutcome::NotDelivered) {
      if (UserCanActOn(read.systemError)) m_unreachable.push_back({letter, read.systemError});
      continue;
    }
    if (identity.empty() || !IsSupportedDrive(identity)) continue;
    const std::wstring label = BuildDriveLabel(letter);
    m_driveList.Send(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(label.c_str()));
    m_letters[count++] = static_cast<std::uint8_t>(letter);
  }
  // Selecting by message raises no CBN_SELCHANGE: the pages are not refreshed.
  m_driveList.Send(CB_SETCURSEL, 0);
  OpenAndWatch(count > 0 ? static_cast<char>(m_letters[0]) : 0);
}

// "E: (Access is denied.)" for each drive, in the user's language.
LRESULT CNorvaneDriveUtilityDlg::OnReportUnreachableDrives() {
  std::wstring drives;
  for (const UnreachableDrive& drive : m_unreachable) {
    drives += L"\r\n    " + std::wstring{static_cast<wchar_t>(drive.letter), L':'};
    const std::wstring why = SystemErrorText(drive.systemError);
    if (drive.systemError != 0 && !why.empty()) drives += L" (" + why + L")";
  }
  ui::ShowMessageBox(m_hwnd, ui::FillPlaceholders(ui::LoadResourceString(IDS_DRIVES_UNREACHABLE), {drives}),
                     MB_OK | MB_ICONWARNING);
  return 0;
}

char CNorvaneDriveUtilityDlg::LetterAt(int index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= m_letters.size()) return 0;
  return static_cast<char>(m_letters[static_cast<std::size_t>(index)]);
}

LRESULT CNorvaneDriveUtilityDlg::OnDriveSelected(const ui::Command&) {
  OpenAndWatch(ShownLetter());
  RefreshPages();
  return 0;
}

char CNorvaneDriveUtilityDlg::ShownLetter() const { return LetterAt(static_cast<int>(m_driveList.Send(CB_GETCURSEL))); }

// While the drop-down is open, every entry the keys or the mouse pass over is
// opened at once; a drop-down that is cancelled shows its earlier entry again
// without saying so. The drive used must be the drive shown.
LRESULT CNorvaneDriveUtilityDlg::OnDriveListClosed(const ui::Command&) {
  PostMessageW(m_hwnd, kCheckShownDrive, 0, 0);
  return 0;
}

LRESULT CNorvaneDriveUtilityDlg::OnCheckShownDrive() {
  if (m_driveList.Send(CB_GETDROPPEDSTATE)) return 0;  // not closed after all: the next close asks again
  const char shown = ShownLetter();
  if (shown != 0 && shown != Channel().letter) {
    OpenAndWatch(shown);
    RefreshPages();
  }
  return 0;
}

void CNorvaneDriveUtilityDlg::RefreshPages() const {
  if (m_settingsPage) m_settingsPage->RefreshFromDrive();
  if (m_statusPage) m_statusPage->RefreshStatusPage();
}

// The Utility page's bus power check holds the drive list (and, while its
// activity lasts, the tabs).
void CNorvaneDriveUtilityDlg::HoldBusy() { m_driveList.Enable(false); }

void CNorvaneDriveUtilityDlg::ReleaseBusy() {
  m_driveList.Enable(true);
  // Drives and discs that came or went during the check.
  m_devices.FollowNow();
}

void CNorvaneDriveUtilityDlg::DriveListChanged() {
  ScanDrives();
  RefreshPages();
}

}  // namespace norvane
