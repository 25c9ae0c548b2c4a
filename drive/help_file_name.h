// The name of a drive model's help file. The model name comes from the
// drive, so it may hold anything: the name made of it must stay a plain
// file name in the program's folder.
#pragma once

#include <string>

namespace norvane {

// The model name without the characters a Windows file name cannot hold,
// then "_Japanese.chm" or "_English.chm". A name that Windows would take for
// a device (CON, NUL, COM1, ... before its first dot) gets a leading "_".
std::wstring HelpFileName(const std::wstring& modelName, bool japanese);

// Whether Windows takes a file name for a device (CON, PRN, AUX, NUL,
// COM0..COM9, LPT0..LPT9, CONIN$, CONOUT$, CLOCK$), whatever follows its
// first dot and whatever the case.
bool IsReservedDeviceName(const std::wstring& fileName);

}  // namespace norvane
