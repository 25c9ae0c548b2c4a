// The demo's drives as a person trying the bus power check meets them: each
// listed drive gives its own verdict, and the tray the check opens comes back
// in with its disc a few seconds later.
#include "emulator/demo_drives.h"

#include <algorithm>
#include <set>

#include "drive/commands.h"
#include "drive/readings.h"
#include "drive_test_support.h"

namespace norvane::test {
namespace {

class DemoDrives : public DriveLayerTest {
 protected:
  void SetUp() override {
    DriveLayerTest::SetUp();
    emu::AttachDemoDrives(devices);
  }
};

TEST_F(DemoDrives, ListsThreeSupportedDrivesAndAForeignOne) {
  for (char letter : {'E', 'G', 'H'}) EXPECT_TRUE(IsSupportedDrive(ReadDriveIdentity(letter))) << letter;
  EXPECT_EQ(ReadDriveIdentity('D'), L"");
}

TEST_F(DemoDrives, EachListedDriveGivesItsOwnVerdictAfterThePromptIsAnsweredLate) {
  const struct {
    char letter;
    PowerVerdict verdict;
  } drives[] = {
      {'E', PowerVerdict::Enough},
      {'G', PowerVerdict::SlightlyNotEnough},
      {'H', PowerVerdict::NotEnough},
  };
  const auto check = [this](char letter, PowerVerdict verdict) {
    ASSERT_TRUE(OpenDrive(letter));
    ASSERT_TRUE(WaitForDisc());
    OpenTrayForInsert();
    EXPECT_FALSE(WaitForDisc()) << "OK pressed at once finds the tray still out";
    devices.Sleep(3000);  // the person pushes the tray in after three seconds
    ASSERT_TRUE(WaitForDisc()) << "OK pressed a little later finds the disc";
    StopUnit();
    StartPowerCheck();
    devices.Sleep(26000);
    EXPECT_EQ(ReadPowerMeasurement().verdict, verdict);
  };
  for (const auto& drive : drives) {
    SCOPED_TRACE(drive.letter);
    check(drive.letter, drive.verdict);
  }
  EXPECT_FALSE(IsSupportedDrive(ReadDriveIdentity('H'))) << "H has dropped off the bus";
}

TEST_F(DemoDrives, TheAudioDiscKeepsTheLevelMovingAtAnyTimeAndAfterClear) {
  ASSERT_TRUE(OpenDrive('E'));
  // From each moment, with or without a Clear there, the level read once a
  // second passes through at least three words within two minutes.
  const auto wordsWithinTwoMinutes = [this](bool clear) {
    if (clear) ClearErrorCounters();
    std::set<QualityWord> words;
    for (int second = 0; second < 120; ++second) {
      devices.Sleep(1000);
      const QualityReading reading = ReadQuality();
      EXPECT_TRUE(reading.read.Complete());
      words.insert(QualityWordOf(reading.level));
    }
    return words.size();
  };
  std::uint64_t at = 0;
  for (std::uint64_t startMs : {0, 5000, 13000, 27000, 40000, 89000, 600000, 3600000, 3611000}) {
    for (bool clear : {false, true}) {
      devices.Sleep(static_cast<std::uint32_t>(startMs > at ? startMs - at : 0));
      at = std::max(at, startMs);
      SCOPED_TRACE(testing::Message() << "from " << at / 1000 << " s" << (clear ? ", after Clear" : ""));
      EXPECT_GE(wordsWithinTwoMinutes(clear), 3u);
      at += 120000;
    }
  }
}

TEST_F(DemoDrives, AnEjectedDiscComesBackInAndSpinsUp) {
  ASSERT_TRUE(OpenDrive('E'));
  EjectDisc();
  EXPECT_EQ(devices.Drive('E')->TrayState(), emu::Tray::Open);
  devices.Sleep(3000);
  EXPECT_EQ(devices.Drive('E')->TrayState(), emu::Tray::Closed);
  EXPECT_EQ(devices.Drive('E')->DiscState(), emu::Disc::BecomingReady);
  EXPECT_TRUE(WaitForDisc());
}

}  // namespace
}  // namespace norvane::test
