// The demo's drives as a person trying the bus power check meets them: each
// listed drive gives its own verdict, and the tray the check opens comes back
// in with its disc a few seconds later.
#include "emulator/demo_drives.h"
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
