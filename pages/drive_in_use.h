// The pages' changing actions take the shown drive for themselves first, so
// that norvane-drive or a second program never changes it at the same time.
#pragma once

#include <windows.h>

#include "drive/drive_lock.h"

namespace norvane {

// Takes the shown drive. When another program has it, the user is told so in
// a box owned by `owner`, and the lock given back is not held: the action
// sends nothing.
DriveLock LockShownDrive(HWND owner);

}  // namespace norvane
