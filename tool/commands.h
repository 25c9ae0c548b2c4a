// The subcommands of norvane-drive. Each mirrors what the window does for the
// same action, sends the same command blocks, and answers an exit code.
#pragma once

#include <string>

#include "tool/session.h"

namespace norvane::tool {

// --watch and its --interval, of list and status.
struct WatchOptions {
  bool watch = false;
  double intervalSeconds = 1.0;
};

Exit ListDrives(Session& session, const WatchOptions& options);

Exit ShowSettings(Session& session);

struct SetOptions {
  std::string quiet;           // off, performance, quiet, persistent; empty: as the drive has it
  std::string readError;       // off, perfect, master
  std::string realTime;        // on, off
  std::string ejectAtPowerOn;  // on, off
  bool save = false;
  bool yes = false;
};
Exit SetSettings(Session& session, const SetOptions& options);

struct StatusOptions : WatchOptions {
  bool csv = false;  // a CSV header, then a line a reading
};
Exit ShowStatus(Session& session, const StatusOptions& options);
// Why a drive without real-time read-error handling has no counters to show or clear.
Stop CountsNoErrors();

Exit ClearCounters(Session& session);
Exit EjectTray(Session& session);
Exit ForceEjectTray(Session& session, bool yes);
Exit RestoreFactorySettings(Session& session, bool yes);

Exit CheckBusPower(Session& session, bool yes);

}  // namespace norvane::tool
