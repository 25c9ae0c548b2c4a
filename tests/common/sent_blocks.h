// What an emulated drive was sent: its log read back as command blocks, in
// the order they came, to compare with the blocks the tests expect.
#pragma once

#include <vector>

#include "emulator/emulated_drive.h"
#include "tests/common/command_blocks.h"

namespace norvane::test {

inline std::vector<Cdb> SentBlocks(const emu::EmulatedDrive& drive) {
  std::vector<Cdb> blocks;
  for (const emu::LoggedCommand& command : drive.Log()) blocks.push_back(command.cdb);
  return blocks;
}

}  // namespace norvane::test
