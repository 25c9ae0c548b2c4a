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
    // The same answer in the descriptor format, current and deferred: key, ASC and ASCQ in bytes 1 to 3.
    for (const std::uint8_t responseCode : {0x72, 0xF3}) {
      std::uint8_t descriptor[kSenseAreaLength] = {responseCode, c.byte2, c.asc, c.ascq};
      EXPECT_EQ(ClassifySense(descriptor), c.expected)
          << std::hex << "descriptor " << int(responseCode) << " byte1 " << int(c.byte2) << " asc " << int(c.asc);
    }
  }
}

TEST(DevicePath, IsTheWin32DevicePathOfTheLetter) { EXPECT_EQ(DevicePath('E'), L"\\\\.\\E:"); }

class SendCdbTest : public DriveLayerTest {
 protected:
  static constexpr std::uint8_t kStop[kCdbLength] = {0x1B};
  CommandResult SendStop() { return SendCdb(kStop, nullptr, 0, DataDirection::None); }
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

// Answers every command with the reply a test gives it.
class ScriptedDevice final : public DeviceIo {
 public:
  DeviceHandle Open(const wchar_t*, DeviceAccess) override { return 1; }
  bool PassThrough(DeviceHandle, const ScsiCommand&, ScsiReply& answer) override {
    answer = reply;
    return delivered;
  }
  bool PreventMediaChangeNotification(DeviceHandle) override { return false; }
  void Close(DeviceHandle) override {}
  void Sleep(std::uint32_t) override {}

  bool delivered = true;
  ScsiReply reply;
};

class CommandResultTest : public DriveLayerTest {
 protected:
  void SetUp() override {
    DriveLayerTest::SetUp();
    InstallDeviceIo(scripted);
    OpenDrive('E');
  }
  ScriptedDevice scripted;
};

struct ResultCase {
  const char* name;
  bool delivered;
  std::uint8_t status;
  SenseCode sense;      // in the reply's fixed-format sense data
  std::uint32_t moved;  // what the transport says moved
  CommandOutcome outcome;
  SenseClass senseClass;
  std::uint32_t transferred;
  bool complete;
};

TEST_F(CommandResultTest, SaysWhatBecameOfACommandAndHowManyBytesMoved) {
  using enum CommandOutcome;
  const ResultCase cases[] = {
      {"good, every byte", true, 0x00, {}, 256, Succeeded, SenseClean, 256, true},
      {"good, one byte", true, 0x00, {}, 1, Succeeded, SenseClean, 1, false},
      {"good, nothing", true, 0x00, {}, 0, Succeeded, SenseClean, 0, false},
      {"a transport that claims more than the buffer", true, 0x00, {}, 4096, Succeeded, SenseClean, 256, true},
      {"illegal request", true, 0x02, {0x5, 0x24, 0x00}, 0, Failed, SenseFailed, 0, false},
      {"no disc", true, 0x02, {0x2, 0x3A, 0x01}, 0, Failed, SenseNoMedium, 0, false},
      {"busy, without sense", true, 0x08, {}, 0, Failed, SenseClean, 0, false},
      {"not delivered", false, 0x00, {}, 256, NotDelivered, SenseFailed, 0, false},
  };
  const std::uint8_t readStatus[kCdbLength] = {0x3C, 0x01, 0xF4, 0, 0, 0, 0, 0x01, 0x00};
  std::uint8_t buffer[256];
  for (const ResultCase& c : cases) {
    SCOPED_TRACE(c.name);
    scripted.delivered = c.delivered;
    scripted.reply = ScsiReply{};
    scripted.reply.status = c.status;
    scripted.reply.sense[2] = c.sense.key;
    scripted.reply.sense[12] = c.sense.asc;
    scripted.reply.sense[13] = c.sense.ascq;
    scripted.reply.transferred = c.moved;
    const CommandResult result = SendCdb(readStatus, buffer, 256, DataDirection::In);
    EXPECT_EQ(result.outcome, c.outcome);
    EXPECT_EQ(static_cast<bool>(result), c.outcome == Succeeded);
    EXPECT_EQ(result.operation, 0x3C);
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.sense, c.senseClass);
    EXPECT_EQ(result.senseCode, c.sense);
    EXPECT_EQ(result.requested, 256u);
    EXPECT_EQ(result.transferred, c.transferred);
    EXPECT_EQ(result.Complete(), c.complete);
  }
}

TEST(CombinedResult, KeepsTheLastCommandThatDidNotComplete) {
  const CommandResult good{.operation = 0xBB};
  const CommandResult shortRead{.operation = 0x3C, .requested = 32, .transferred = 1};
  const CommandResult refused{.outcome = CommandOutcome::Failed, .operation = 0x3B, .status = 0x02};
  EXPECT_EQ(Combined(good, shortRead).operation, 0x3C);
  EXPECT_EQ(Combined(shortRead, good).operation, 0x3C);
  EXPECT_EQ(Combined(shortRead, refused).operation, 0x3B);
  EXPECT_EQ(Combined(refused, shortRead).operation, 0x3C);
  EXPECT_EQ(Combined(good, CommandResult{.operation = 0x1B}).operation, 0x1B) << "all complete: the last";
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
