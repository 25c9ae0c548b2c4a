// norvane-drive's command line: the options, the subcommands and the exit code.
#pragma once

#include <string>
#include <vector>

#include "tool/console.h"
#include "tool/platform.h"

namespace norvane::tool {

// Runs one command line (without the program name) and answers the exit code.
int RunNorvaneDrive(const std::vector<std::string>& arguments, Console& console, Platform& platform);

}  // namespace norvane::tool
