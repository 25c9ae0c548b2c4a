// Setting and action commands. Only WaitForDisc reports what the drive said.
#pragma once

#include "drive/reads.h"

namespace norvane {

// WaitForDisc gives up once the drive has been becoming ready this long.
inline constexpr std::uint32_t kWaitForDiscLimitMs = 60000;

bool SendQuietSelection(QuietModeCode code);
bool SendQuietSetting(bool save, QuietModeCode code);
bool WriteReadSetting(ReadModeCode code, bool realTime, bool save);
bool WriteEjectAtPowerOn(bool eject);
bool RestoreFactoryDefaults();
void ClearErrorCounters();
void EjectDisc();
void OpenTrayForInsert();
bool StopUnit();
void StartPowerCheck();
void ForceEject();
bool WaitForDisc();

}  // namespace norvane
