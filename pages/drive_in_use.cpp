#include "pages/drive_in_use.h"

#include "drive/channel.h"
#include "resource.h"
#include "ui/message_box.h"

namespace norvane {

ShownDriveAction::ShownDriveAction(HWND owner, UINT doingId)
    : m_underWay(ui::Activity::Kind::Action, doingId),
      m_owner(owner),
      m_letter(Channel().letter),
      m_device(Channel().device),
      m_lock(Channel().path),
      m_taken(m_lock.Held() && !Channel().lent) {
  if (!m_taken) TellInUse();
}

void ShownDriveAction::TellInUse() const { ui::ShowMessageBox(m_owner, IDS_DRIVE_IN_USE, MB_OK | MB_ICONWARNING); }

bool ShownDriveAction::Confirm(UINT textId) const { return ui::Confirm(m_owner, textId) && StillOnItsDrive(); }

// The window closes its handle to a drive the system removed or lent to
// another program, and opens drives anew only once the action is over: a
// handle that is still the one the action began with is still its drive.
bool ShownDriveAction::StillOnItsDrive() const {
  const DriveChannel& channel = Channel();
  if (channel.device != kNoDevice && channel.device == m_device && channel.letter == m_letter) return true;
  if (channel.lent && channel.letter == m_letter) {
    TellInUse();
  } else {
    ui::ShowMessageBox(m_owner, IDS_DRIVE_NOT_CONNECTED, MB_OK);
  }
  return false;
}

}  // namespace norvane
