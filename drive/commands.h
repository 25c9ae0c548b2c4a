// Setting and action commands. Each answers how its commands went; one that
// sends several sends them all whatever each answers, and reports as
// Combined does.
#pragma once

#include "drive/reads.h"

namespace norvane {

// WaitForDisc gives up once the drive has been becoming ready this long.
inline constexpr std::uint32_t kWaitForDiscLimitMs = 60000;

CommandResult SendQuietSelection(QuietModeCode code);
CommandResult SendQuietSetting(bool save, QuietModeCode code);
CommandResult WriteReadSetting(ReadModeCode code, bool realTime, bool save);
CommandResult WriteEjectAtPowerOn(bool eject);
CommandResult RestoreFactoryDefaults();
CommandResult ClearErrorCounters();
CommandResult EjectDisc();
CommandResult OpenTrayForInsert();
CommandResult StopUnit();
CommandResult StartPowerCheck();
CommandResult ForceEject();
// Succeeds once the drive answers READ DISC INFORMATION; waits one second at
// a time while it is becoming ready, and answers any other failure at once.
CommandResult WaitForDisc();

}  // namespace norvane
