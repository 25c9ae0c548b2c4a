// What norvane-drive answers the shell; the help and the man page list these.
#pragma once

#include <string>

namespace norvane::tool {

enum class Exit : int {
  Ok = 0,                // done; power-check: the power supply is enough
  CommandFailed = 1,     // a command did not go through: the system or the drive refused it
  Usage = 2,             // the command line is wrong
  NoDrive = 3,           // no supported drive found, --device names none, or another drive took the watched one's place
  NotConfirmed = 4,      // a confirmation was declined, or there was no terminal to ask on
  NotSupported = 5,      // the drive lacks the feature asked for
  PowerSlightlyLow = 6,  // power-check: the power supply is slightly not enough
  PowerTooLow = 7,       // power-check: the power supply is not enough (the drive dropped off)
  NoDisc = 8,            // power-check: no disc in the drive
  DriveBusy = 9,         // the drive is in use by another program: held by it, or locked for its action
  NotPermitted = 77,     // no access to the device, or the command needs CAP_SYS_RAWIO
  Interrupted = 130,     // stopped by Ctrl-C before the end
  PartlyApplied = 10,    // a change stopped after the drive took some of its commands
};

// Ends a run early: the code to exit with and what to tell the user.
struct Stop {
  Exit code;
  std::string message;
};

}  // namespace norvane::tool
