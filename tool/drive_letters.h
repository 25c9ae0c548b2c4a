// Drives named by their letter, C to Z, as Windows names them and as the
// emulated drives are named everywhere.
#pragma once

#include <string>

#include "tool/drive_source.h"

namespace norvane::tool {

// The drive at a letter: named by the letter, opened by its device path \\.\E:.
DeviceNode LetterNode(char letter);
// The letter a --device value names: "E", "e", "E:", "E:\" and \\.\E: all name E.
// 0 when it names no letter from C to Z.
char LetterNamed(const std::string& name);

}  // namespace norvane::tool
