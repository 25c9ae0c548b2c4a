#include "pages/drive_in_use.h"

#include "drive/channel.h"
#include "resource.h"
#include "ui/message_box.h"

namespace norvane {

DriveLock LockShownDrive(HWND owner) {
  DriveLock lock(Channel().path);
  if (!lock.Held()) ui::ShowMessageBox(owner, IDS_DRIVE_IN_USE, MB_OK | MB_ICONWARNING);
  return lock;
}

}  // namespace norvane
