// The system menu's help item: opens the drive model's help file, or the
// general help file where there is none for the model; both lie next to the
// executable.
#pragma once

#include <functional>
#include <string>

#include "drive/help_file_name.h"

namespace norvane {

// Whether the user default locale is Japanese (1041); it chooses the help
// item's text and the help file's language.
bool UserLocaleIsJapanese();

// The help file of the drive open in the channel, as a full path in the
// executable's folder, never the current directory: the model's file when
// that folder holds it, otherwise the general file of the same language
// (also with no drive open).
std::wstring HelpFilePath();

// Hands the help file to the shell ("open", no owner, shown); whether it
// opened is not looked at.
void OpenHelpFile();

// Replaces how a help file is opened (tests watch the path instead of
// launching anything); an empty function restores the shell.
void SetHelpFileOpener(std::function<void(const std::wstring& path)> opener);

}  // namespace norvane
