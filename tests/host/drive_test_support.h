// A fixture that puts the drive layer in front of emulated drives and gives
// each test a fresh channel.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "drive/channel.h"
#include "emulator/emulated_devices.h"
#include "tests/common/command_blocks.h"

namespace norvane::test {

using enum SenseClass;
using Bytes = std::vector<std::uint8_t>;

class DriveLayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Channel() = DriveChannel{};
    InstallDeviceIo(devices);
  }
  void TearDown() override {
    CloseDrive();
    ReleaseMediaNotification();
    Channel() = DriveChannel{};
  }

  // A supported drive at `letter`, opened in the channel, with an empty log.
  emu::EmulatedDrive& OpenAttached(char letter, emu::DriveModel model = emu::QuietDriveModel()) {
    emu::EmulatedDrive& drive = devices.Attach(letter, std::move(model));
    EXPECT_TRUE(OpenDrive(letter));
    drive.ClearLog();
    return drive;
  }

  emu::EmulatedDevices devices;
};

inline Bytes Zeros(std::size_t n) { return Bytes(n, 0); }

}  // namespace norvane::test
