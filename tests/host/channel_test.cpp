#include <algorithm>

#include "drive/reads.h"
#include "drive_test_support.h"

namespace norvane::test {
namespace {

struct SenseCase {
  std::uint8_t byte2, asc, ascq;
  SenseClass expected;
};

TEST(ClassifySense, RecognisesOnlyTheExactPairs) {
  const SenseCase cases[] = {
      {0x00, 0x00, 0x00, SenseClean},
      {0x00, 0x00, 0x01, SenseFailed},
      {0x02, 0x04, 0x01, SenseBecomingReady},
      {0x02, 0x04, 0x02, SenseNeedsInitialize},
      {0x02, 0x04, 0x08, SenseLongWrite},
      {0x02, 0x04, 0x03, SenseFailed},
      {0x02, 0x3A, 0x00, SenseNoMedium},
      {0x02, 0x3A, 0x01, SenseNoMedium},
      {0x02, 0x3A, 0x02, SenseNoMedium},
      {0x02, 0x3A, 0x03, SenseFailed},
      {0x04, 0x08, 0x01, SenseCommTimeout},
      {0x04, 0x08, 0x00, SenseFailed},
      {0x04, 0x4C, 0x00, SenseSelfConfigFailed},
      {0x06, 0x28, 0x00, SenseMediumChanged},
      {0x06, 0x28, 0x01, SenseFailed},
      {0x06, 0x29, 0x00, SenseResetOccurred},
      {0x06, 0x29, 0x01, SenseFailed},
      {0x06, 0x29, 0x04, SenseFailed},
      {0x26, 0x29, 0x00, SenseResetOccurred},  // flags in the upper bits are masked off
      {0xE2, 0x3A, 0x00, SenseNoMedium},
      {0x03, 0x11, 0x00, SenseFailed},  // medium error
      {0x05, 0x24, 0x00, SenseFailed},  // illegal request
      {0x05, 0x04, 0x01, SenseFailed},  // a not-ready pair under another key
  };
  for (const SenseCase& c : cases) {
    std::uint8_t sense[kSenseAreaLength] = {0x70};
    sense[2] = c.byte2;
    sense[12] = c.asc;
    sense[13] = c.ascq;
    EXPECT_EQ(ClassifySense(sense), c.expected)
        << std::hex << "byte2 " << int(c.byte2) << " asc " << int(c.asc) << " ascq " << int(c.ascq);
  }
}

TEST(DevicePath, IsTheWin32DevicePathOfTheLetter) { EXPECT_EQ(DevicePath('E'), L"\\\\.\\E:"); }

class SendCdbTest : public DriveLayerTest {
 protected:
  static constexpr std::uint8_t kStop[kCdbLength] = {0x1B};
  bool SendStop() { return SendCdb(kStop, nullptr, 0, DataDirection::None); }
};

TEST_F(SendCdbTest, RepeatsAfterAUnitAttentionAndKeepsItsClass) {
  emu::EmulatedDrive& drive = OpenAttached('E');
  drive.QueueSense({0x6, 0x28, 0x00});
  EXPECT_TRUE(SendStop());
  EXPECT_EQ(Channel().lastSense, SenseMediumChanged);
  ASSERT_EQ(drive.Log().size(), 2u);
  EXPECT_EQ(drive.Log()[0].cdb, drive.Log()[1].cdb);
}

TEST_F(SendCdbTest, GivesUpAfterTenUnitAttentions) {
  emu::EmulatedDrive& drive = OpenAttached('E');
  drive.QueueSense({0x6, 0x29, 0x00}, 50);
  EXPECT_FALSE(SendStop());
  EXPECT_EQ(Channel().lastSense, SenseResetOccurred);
  EXPECT_EQ(drive.Log().size(), 10u);
}

TEST_F(SendCdbTest, AFailureIsClassifiedAndNotRepeated) {
  emu::EmulatedDrive& drive = OpenAttached('E');
  const std::uint8_t unknown[kCdbLength] = {0xFF};
  EXPECT_FALSE(SendCdb(unknown, nullptr, 0, DataDirection::None));
  EXPECT_EQ(Channel().lastSense, SenseFailed);
  EXPECT_EQ(drive.Log().size(), 1u);

  drive.QueueSense({0x0, 0x00, 0x00});  // CHECK CONDITION without sense information
  EXPECT_FALSE(SendStop());
  EXPECT_EQ(Channel().lastSense, SenseClean);
}

TEST_F(SendCdbTest, SuccessLeavesTheLastClassAsItWas) {
  emu::EmulatedDrive& drive = OpenAttached('E');
  drive.QueueSense({0x2, 0x3A, 0x01});
  EXPECT_FALSE(SendStop());
  EXPECT_EQ(Channel().lastSense, SenseNoMedium);
  EXPECT_TRUE(SendStop());
  EXPECT_EQ(Channel().lastSense, SenseNoMedium);
}

TEST_F(SendCdbTest, ADriveThatCannotBeReachedFailsAndLeavesTheBufferAlone) {
  EXPECT_FALSE(OpenDrive('F'));  // nothing behind F:
  EXPECT_EQ(Channel().letter, 'F');
  EXPECT_EQ(Channel().device, kNoDevice);

  std::uint8_t buffer[256];
  std::fill(std::begin(buffer), std::end(buffer), 0xAA);
  EXPECT_FALSE(ReadVendorBuffer(DriveStatusBuffer, 1, 0, 256, buffer));
  EXPECT_EQ(Channel().lastSense, SenseFailed);
  EXPECT_TRUE(std::all_of(std::begin(buffer), std::end(buffer), [](std::uint8_t b) { return b == 0xAA; }));

  OpenAttached('E');
  devices.Unplug('E');
  EXPECT_FALSE(SendStop());
  EXPECT_EQ(Channel().lastSense, SenseFailed);
}

TEST_F(DriveLayerTest, OpenDriveKeepsAtMostOneHandle) {
  devices.Attach('E', emu::QuietDriveModel());
  devices.Attach('G', emu::GeneralDriveModel());
  EXPECT_TRUE(OpenDrive('E'));
  EXPECT_TRUE(OpenDrive('G'));
  EXPECT_EQ(devices.OpenHandleCount(), 1);
  EXPECT_EQ(Channel().letter, 'G');

  EXPECT_FALSE(OpenDrive(0));
  EXPECT_EQ(Channel().letter, 0);
  EXPECT_EQ(Channel().device, kNoDevice);
  EXPECT_EQ(devices.OpenHandleCount(), 0);
}

TEST_F(DriveLayerTest, CloseDriveKeepsTheLetter) {
  OpenAttached('E');
  CloseDrive();
  EXPECT_EQ(Channel().letter, 'E');
  EXPECT_EQ(Channel().device, kNoDevice);
  EXPECT_EQ(devices.OpenHandleCount(), 0);
}

TEST_F(DriveLayerTest, MediaNotificationLockHoldsOneHandle) {
  OpenAttached('E');
  EXPECT_TRUE(LockMediaNotification());
  EXPECT_NE(Channel().notification, kNoDevice);
  EXPECT_EQ(devices.OpenHandleCount(), 2);
  // A lock left held by an earlier run is replaced, not leaked.
  EXPECT_TRUE(LockMediaNotification());
  EXPECT_EQ(devices.OpenHandleCount(), 2);
  ReleaseMediaNotification();
  EXPECT_EQ(Channel().notification, kNoDevice);
  EXPECT_EQ(devices.OpenHandleCount(), 1);
}

TEST_F(DriveLayerTest, MediaNotificationLockFailsWithoutADevice) {
  OpenDrive('F');
  EXPECT_FALSE(LockMediaNotification());
  EXPECT_EQ(Channel().notification, kNoDevice);
  EXPECT_EQ(devices.OpenHandleCount(), 0);
}

TEST_F(DriveLayerTest, ADriveOpenedByPathHasNoLetterAndLocksByItsPath) {
  devices.Attach('E', emu::QuietDriveModel());
  OpenDrive('E');
  EXPECT_TRUE(OpenDevicePath(DevicePath('E')));
  EXPECT_EQ(Channel().letter, 0);
  EXPECT_EQ(Channel().path, DevicePath('E'));
  EXPECT_EQ(devices.OpenHandleCount(), 1);
  EXPECT_TRUE(LockMediaNotification());
  EXPECT_TRUE(devices.MediaChangeNotificationPrevented('E'));
  ReleaseMediaNotification();

  EXPECT_FALSE(OpenDevicePath(L""));
  EXPECT_EQ(Channel().device, kNoDevice);
  EXPECT_FALSE(OpenDevicePath(L"/dev/sr0"));
  EXPECT_EQ(Channel().path, L"/dev/sr0");
  EXPECT_EQ(devices.OpenHandleCount(), 0);
}

}  // namespace
}  // namespace norvane::test
