// The pages' changing actions take the shown drive for themselves first, so
// that norvane-drive or a second program never changes it at the same time,
// and reach only the drive the user confirmed.
#pragma once

#include <windows.h>

#include "drive/device_io.h"
#include "drive/drive_lock.h"
#include "ui/activity.h"

namespace norvane {

// One changing action on the shown drive, from its click to its last
// command. While it lasts, the window leaves the drive list alone (drives
// that come and go are followed afterwards).
class ShownDriveAction {
 public:
  // Takes the shown drive for the action that `doingId` names. When another
  // program has it (or the window lent it to one), the user is told so in a
  // box owned by `owner`, before any question, and the action is not Taken:
  // it sends nothing.
  ShownDriveAction(HWND owner, UINT doingId);

  bool Taken() const { return m_taken; }
  // Asks the question `textId`; answers whether the user gave it and the
  // drive is still the one it was asked for.
  bool Confirm(UINT textId) const;
  // Whether the drive the action was started on is still there, unchanged,
  // after a box the user answered (the system may have removed it, or let
  // go of it for another program, meanwhile). When not, the user is told so
  // and nothing is to be sent.
  bool StillOnItsDrive() const;

 private:
  void TellInUse() const;

  ui::Activity::Entry m_underWay;
  HWND m_owner;
  char m_letter;
  DeviceHandle m_device;
  DriveLock m_lock;
  bool m_taken;
};

}  // namespace norvane
