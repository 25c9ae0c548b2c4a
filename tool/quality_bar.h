// The error indicator of the window as text: eight segments lit from the
// left in the colour band of the level.
#pragma once

#include <cstdint>
#include <string>

#include "tool/console.h"

namespace norvane::tool {

// Block characters where the terminal shows UTF-8 ("██ ██ ░░ ..."), else
// "[##------]"; lit segments in green, yellow or red when colour is on.
std::string QualityBar(std::uint8_t level, const Palette& palette, bool utf8);

}  // namespace norvane::tool
