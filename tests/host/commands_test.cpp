#include <functional>

#include "drive/commands.h"
#include "drive_test_support.h"

namespace norvane::test {
namespace {

struct Expected {
  Cdb cdb;
  DataDirection direction;
  std::uint32_t transferLength;
  Bytes dataOut;
};

Expected VendorSpeed(std::uint8_t control) { return {Speed(control), DataDirection::None, 0, {}}; }
Expected SettingPage(Bytes page) { return {kWritePage, DataDirection::Out, 256, std::move(page)}; }
Expected NoData(Cdb cdb) { return {cdb, DataDirection::None, 0, {}}; }
Expected OutNoData(Cdb cdb) { return {cdb, DataDirection::Out, 0, {}}; }

struct CommandCase {
  const char* name;
  std::function<void()> send;
  std::vector<Expected> expected;
};

class CommandBlocks : public DriveLayerTest {
 protected:
  void Check(const CommandCase& c) {
    SCOPED_TRACE(c.name);
    emu::EmulatedDrive& drive = OpenAttached('E');
    c.send();
    ASSERT_EQ(drive.Log().size(), c.expected.size());
    for (std::size_t i = 0; i < c.expected.size(); ++i) {
      SCOPED_TRACE(testing::Message() << "command #" << i);
      const emu::LoggedCommand& sent = drive.Log()[i];
      const Expected& want = c.expected[i];
      EXPECT_EQ(sent.cdb, want.cdb);
      EXPECT_EQ(sent.direction, want.direction);
      EXPECT_EQ(sent.transferLength, want.transferLength);
      EXPECT_EQ(sent.dataOut, want.dataOut);
    }
  }
};

TEST_F(CommandBlocks, QuietModeEncodings) {
  const CommandCase cases[] = {
      {"selection persistent", [] { SendQuietSelection(QuietPersistent); }, {VendorSpeed(0x82)}},
      {"selection off", [] { SendQuietSelection(QuietOff); }, {VendorSpeed(0x83)}},
      {"selection performance", [] { SendQuietSelection(QuietPerformance); }, {VendorSpeed(0x80)}},
      {"selection standard", [] { SendQuietSelection(QuietStandard); }, {VendorSpeed(0x81)}},
      {"selection other", [] { SendQuietSelection(0x1234); }, {VendorSpeed(0x81)}},
      {"setting persistent", [] { SendQuietSetting(false, QuietPersistent); }, {VendorSpeed(0x83)}},
      {"setting off", [] { SendQuietSetting(false, QuietOff); }, {VendorSpeed(0x80)}},
      {"setting performance", [] { SendQuietSetting(false, QuietPerformance); }, {VendorSpeed(0x81)}},
      {"setting standard", [] { SendQuietSetting(false, QuietStandard); }, {VendorSpeed(0x82)}},
      {"setting other", [] { SendQuietSetting(false, 0); }, {VendorSpeed(0x82)}},
      {"saved persistent", [] { SendQuietSetting(true, QuietPersistent); }, {VendorSpeed(0xC3)}},
      {"saved off", [] { SendQuietSetting(true, QuietOff); }, {VendorSpeed(0xC0)}},
      {"saved performance", [] { SendQuietSetting(true, QuietPerformance); }, {VendorSpeed(0xC1)}},
      {"saved standard", [] { SendQuietSetting(true, QuietStandard); }, {VendorSpeed(0xC2)}},
  };
  for (const CommandCase& c : cases) Check(c);
}

TEST_F(CommandBlocks, SettingPages) {
  const CommandCase cases[] = {
      {"read off, both flags",
       [] { WriteReadSetting(ReadModeOff, true, true); },
       {SettingPage(DataPage({0x01, 0x80, 0x00, 0x00, 0x00, 0x01, 0x01}))}},
      {"read master, no flags",
       [] { WriteReadSetting(ReadModeMaster, false, false); },
       {SettingPage(DataPage({0x01, 0x80, 0x01, 0x08, 0x40, 0x00, 0x00}))}},
      {"read perfect, real-time",
       [] { WriteReadSetting(ReadModePerfect, true, false); },
       {SettingPage(DataPage({0x01, 0x80, 0x01, 0xFE, 0x01, 0x00, 0x01}))}},
      {"read other code, saved",
       [] { WriteReadSetting(0, false, true); },
       {SettingPage(DataPage({0x01, 0x80, 0x01, 0xFE, 0x01, 0x01, 0x00}))}},
      {"eject on",
       [] { WriteEjectAtPowerOn(true); },
       {SettingPage(Zeros(256)), SettingPage(DataPage({0x0F, 0x00, 0x01}))}},
      {"eject off",
       [] { WriteEjectAtPowerOn(false); },
       {SettingPage(Zeros(256)), SettingPage(DataPage({0x0F, 0x00, 0x00}))}},
      {"factory defaults",
       [] { RestoreFactoryDefaults(); },
       {VendorSpeed(0xC2), SettingPage(DataPage({0x01, 0x80, 0x00, 0x00, 0x00, 0x01, 0x00})), SettingPage(Zeros(256)),
        SettingPage(DataPage({0x0F, 0x00, 0x00}))}},
  };
  for (const CommandCase& c : cases) Check(c);
}

TEST_F(CommandBlocks, ActionCommands) {
  const CommandCase cases[] = {
      {"clear counters", [] { ClearErrorCounters(); }, {OutNoData(kClearCounters)}},
      {"eject", [] { EjectDisc(); }, {NoData(kEject)}},
      {"open tray", [] { OpenTrayForInsert(); }, {NoData(kOpenTray)}},
      {"stop", [] { StopUnit(); }, {NoData(kStop)}},
      {"start power check", [] { StartPowerCheck(); }, {OutNoData(kStartPowerCheck)}},
      {"force eject", [] { ForceEject(); }, {OutNoData(kForceEject)}},
  };
  for (const CommandCase& c : cases) Check(c);
}

TEST_F(CommandBlocks, WaitForDiscReadsDiscInformation) {
  const Expected read = {kReadDiscInfo, DataDirection::In, 34, {}};
  Check({"wait", [] { WaitForDisc(); }, {read}});
}

struct ReportCase {
  const char* name;
  std::function<CommandResult()> send;
  std::uint8_t operation;  // of the command the result is about
};

// A drive that cannot be reached is a command not delivered, never a success.
TEST_F(DriveLayerTest, SettingAndActionCommandsReportWhatBecameOfThem) {
  const ReportCase cases[] = {
      {"quiet selection", [] { return SendQuietSelection(QuietStandard); }, 0xBB},
      {"quiet setting", [] { return SendQuietSetting(true, QuietStandard); }, 0xBB},
      {"read setting", [] { return WriteReadSetting(ReadModePerfect, true, true); }, 0x3B},
      {"eject at power-on", [] { return WriteEjectAtPowerOn(true); }, 0x3B},
      {"factory defaults", [] { return RestoreFactoryDefaults(); }, 0x3B},
      {"clear counters", [] { return ClearErrorCounters(); }, 0x3B},
      {"eject", [] { return EjectDisc(); }, 0x1B},
      {"open tray", [] { return OpenTrayForInsert(); }, 0x1B},
      {"stop", [] { return StopUnit(); }, 0x1B},
      {"start power check", [] { return StartPowerCheck(); }, 0x3B},
      {"force eject", [] { return ForceEject(); }, 0x3B},
      {"wait for disc", [] { return WaitForDisc(); }, 0x51},
  };
  for (const ReportCase& c : cases) {
    SCOPED_TRACE(c.name);
    OpenAttached('E');  // a fresh drive with a ready disc
    const CommandResult done = c.send();
    EXPECT_TRUE(done.Complete());
    EXPECT_EQ(done.operation, c.operation);

    OpenDrive('F');  // nothing behind F:
    const CommandResult lost = c.send();
    EXPECT_FALSE(lost);
    EXPECT_EQ(lost.outcome, CommandOutcome::NotDelivered);
    EXPECT_EQ(lost.operation, c.operation);
  }
}

// Factory defaults send four commands whatever each answers; the result is
// the last that failed, as the channel's last sense class is.
TEST_F(DriveLayerTest, ASequenceReportsItsLastFailure) {
  emu::EmulatedDrive& drive = OpenAttached('E');
  drive.QueueSense({0x4, 0x08, 0x01});  // the first command: a communication time-out
  const CommandResult first = RestoreFactoryDefaults();
  EXPECT_EQ(drive.Log().size(), 4u);
  EXPECT_EQ(first.outcome, CommandOutcome::Failed);
  EXPECT_EQ(first.operation, 0xBB);
  EXPECT_EQ(first.sense, SenseCommTimeout);

  drive.QueueSense({0x4, 0x08, 0x01});
  drive.DropOffAfter(3);  // the last command finds the drive gone
  const CommandResult last = RestoreFactoryDefaults();
  EXPECT_EQ(last.outcome, CommandOutcome::NotDelivered);
  EXPECT_EQ(last.operation, 0x3B);
  EXPECT_EQ(Channel().lastSense, SenseFailed);

  OpenAttached('G');
  EXPECT_TRUE(RestoreFactoryDefaults().Complete());
}

// The eject page goes only behind the zero page the drive expects ahead of it.
TEST_F(DriveLayerTest, WriteEjectSendsNoEjectPageAfterARefusedZeroPage) {
  emu::EmulatedDrive& drive = OpenAttached('E');
  drive.QueueSense({0x4, 0x08, 0x01});
  EXPECT_EQ(WriteEjectAtPowerOn(true).outcome, CommandOutcome::Failed);
  ASSERT_EQ(drive.Log().size(), 1u);
  EXPECT_EQ(drive.Log()[0].dataOut, DataPage({}));
  EXPECT_TRUE(WriteEjectAtPowerOn(true).Complete());
  ASSERT_EQ(drive.Log().size(), 3u);
  EXPECT_EQ(drive.Log()[2].dataOut, DataPage({0x0F, 0x00, 0x01}));
}

class WaitForDiscTest : public DriveLayerTest {
 protected:
  std::size_t DiscInformationReads(const emu::EmulatedDrive& drive) {
    std::size_t n = 0;
    for (const emu::LoggedCommand& c : drive.Log()) n += c.cdb[0] == 0x51;
    return n;
  }
};

TEST_F(WaitForDiscTest, WaitsOneSecondPerBecomingReady) {
  emu::EmulatedDrive& drive = OpenAttached('E');
  drive.QueueSense({0x2, 0x04, 0x01}, 3);
  const std::uint64_t start = devices.Clock().NowMs();
  EXPECT_TRUE(WaitForDisc());
  EXPECT_EQ(devices.Clock().NowMs() - start, 3000u);
  EXPECT_EQ(DiscInformationReads(drive), 4u);
}

TEST_F(WaitForDiscTest, ADiscClosedInTheTrayBecomesReadyOnTheVirtualClock) {
  emu::EmulatedDrive& drive = OpenAttached('E');
  drive.RemoveDisc();
  drive.InsertDisc();
  const std::uint64_t start = devices.Clock().NowMs();
  EXPECT_TRUE(WaitForDisc());
  EXPECT_GT(devices.Clock().NowMs(), start);
  EXPECT_EQ(drive.DiscState(), emu::Disc::Ready);
}

TEST_F(WaitForDiscTest, NoDiscAnswersAtOnce) {
  emu::EmulatedDrive& drive = OpenAttached('E');
  drive.RemoveDisc();
  EXPECT_FALSE(WaitForDisc());
  EXPECT_EQ(Channel().lastSense, SenseNoMedium);
  EXPECT_EQ(DiscInformationReads(drive), 1u);
  EXPECT_EQ(devices.Clock().NowMs(), 0u);
}

TEST_F(WaitForDiscTest, GivesUpAfterSixtySecondsOfBecomingReady) {
  emu::EmulatedDrive& drive = OpenAttached('E');
  drive.QueueSense({0x2, 0x04, 0x01}, 1000);
  EXPECT_FALSE(WaitForDisc());
  EXPECT_EQ(devices.Clock().NowMs(), kWaitForDiscLimitMs);
  EXPECT_EQ(DiscInformationReads(drive), 61u);
}

TEST_F(WaitForDiscTest, ADriveThatIsGoneIsNoDisc) {
  OpenAttached('E');
  devices.Unplug('E');
  EXPECT_FALSE(WaitForDisc());
  EXPECT_EQ(devices.Clock().NowMs(), 0u);
}

}  // namespace
}  // namespace norvane::test
