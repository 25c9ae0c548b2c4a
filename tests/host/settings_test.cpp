// The settings rules every front end shares: what the drive reports, which
// confirmations a chosen set needs and what then goes out.
#include <vector>

#include "drive/settings.h"
#include "drive_test_support.h"
#include "tests/common/refusing_one.h"

namespace norvane::test {
namespace {

using Confirmations = std::vector<SettingsConfirmation>;
constexpr auto kEnableQuiet = SettingsConfirmation::EnableQuietDrive;
constexpr auto kDropRealTime = SettingsConfirmation::DisableRealTime;

SettingsChoice Choice(QuietModeCode quiet, bool realTime, bool quietSwitched, bool realTimeSwitched) {
  SettingsChoice choice;
  choice.quiet = quiet;
  choice.readMode = ReadModePerfect;
  choice.realTime = realTime;
  choice.quietSwitched = quietSwitched;
  choice.realTimeSwitched = realTimeSwitched;
  return choice;
}

struct RuleCase {
  const char* name;
  SettingsChoice choice;
  Confirmations confirmations;
  QuietModeCode selection, setting;
  bool realTime;
};

TEST(SettingsRules, ConfirmationsAndWhatTheyChange) {
  const RuleCase cases[] = {
      {"nothing switched", Choice(QuietPerformance, true, false, false), {}, QuietPerformance, QuietPerformance, true},
      {"real-time on under quiet mode",
       Choice(QuietStandard, true, false, true),
       {},
       QuietStandard,
       QuietStandard,
       true},
      {"real-time on with quiet off",
       Choice(QuietOff, true, false, true),
       {kEnableQuiet},
       QuietOff,
       QuietStandard,
       true},
      {"real-time off with quiet off", Choice(QuietOff, false, false, true), {}, QuietOff, QuietOff, false},
      {"quiet off under real-time", Choice(QuietOff, true, true, false), {kDropRealTime}, QuietOff, QuietOff, false},
      {"quiet off without real-time", Choice(QuietOff, false, true, false), {}, QuietOff, QuietOff, false},
      {"quiet on under real-time",
       Choice(QuietPersistent, true, true, false),
       {},
       QuietPersistent,
       QuietPersistent,
       true},
      {"real-time kept with quiet off, no switch", Choice(QuietOff, true, false, false), {}, QuietOff, QuietOff, true},
      {"both switched at once",
       Choice(QuietOff, true, true, true),
       {kEnableQuiet, kDropRealTime},
       QuietOff,
       QuietStandard,
       false},
  };
  for (const RuleCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ConfirmationsFor(c.choice), c.confirmations);
    const SettingsCommands commands = CommandsFor(c.choice);
    EXPECT_EQ(commands.selection, c.selection);
    EXPECT_EQ(commands.setting, c.setting);
    EXPECT_EQ(commands.realTime, c.realTime);
    EXPECT_EQ(commands.readMode, ReadModePerfect);
  }
}

class ApplySettingsTest : public DriveLayerTest {
 protected:
  // Applies `choice`, giving the confirmations while `answers` last, and
  // records which were asked.
  std::optional<CommandResult> Apply(const SettingsChoice& choice, std::vector<bool> answers) {
    return ApplySettings(choice, [&](SettingsConfirmation asked) {
      this->asked.push_back(asked);
      const bool given = answers.front();
      answers.erase(answers.begin());
      return given;
    });
  }
  Confirmations asked;
};

TEST_F(ApplySettingsTest, ADeclinedConfirmationSendsNothingAndAsksNoMore) {
  emu::EmulatedDrive& drive = OpenAttached('E');
  EXPECT_FALSE(Apply(Choice(QuietOff, true, true, true), {false}));
  EXPECT_EQ(asked, Confirmations{kEnableQuiet});
  EXPECT_TRUE(drive.Log().empty());

  asked.clear();
  EXPECT_FALSE(Apply(Choice(QuietOff, true, true, true), {true, false}));
  EXPECT_EQ(asked, (Confirmations{kEnableQuiet, kDropRealTime}));
  EXPECT_TRUE(drive.Log().empty());
}

TEST_F(ApplySettingsTest, GivenConfirmationsSendTheWholeSetInOrder) {
  emu::EmulatedDrive& drive = OpenAttached('E');
  SettingsChoice choice = Choice(QuietOff, true, false, true);
  choice.ejectAtPowerOn = true;
  choice.save = true;
  EXPECT_TRUE(Apply(choice, {true}));
  const std::vector<Cdb> expected = {
      Speed(0x83),  // the selection: off, as chosen
      Speed(0xC2),  // the setting: Quiet Mode, saved
      kWritePage,  kWritePage, kWritePage,
  };
  std::vector<Cdb> sent;
  for (const emu::LoggedCommand& c : drive.Log()) sent.push_back(c.cdb);
  EXPECT_EQ(sent, expected);
  EXPECT_EQ(drive.Log()[2].dataOut, DataPage({0x01, 0x80, 0x01, 0xFE, 0x01, 0x01, 0x01}));
  EXPECT_EQ(drive.Log()[4].dataOut, DataPage({0x0F, 0x00, 0x01}));
  EXPECT_EQ(drive.Current().quietMode, emu::QuietModeQuiet);
  EXPECT_TRUE(drive.Current().realTime);
}

// A drive that refuses or loses one command of the set gets nothing after it:
// the rest would leave it with a mode nobody chose.
TEST_F(ApplySettingsTest, TheSetStopsAtTheFirstCommandRefusedOrNotDelivered) {
  const std::uint8_t operations[] = {0xBB, 0xBB, 0x3B, 0x3B, 0x3B};
  SettingsChoice choice = Choice(QuietPerformance, false, false, false);
  choice.ejectAtPowerOn = true;
  for (std::size_t failing = 0; failing < std::size(operations); ++failing) {
    for (const bool refused : {true, false}) {
      SCOPED_TRACE(testing::Message() << "command " << failing + 1 << (refused ? " refused" : " not delivered"));
      CloseDrive();
      RefusingOne refusing(devices, 'E', refused ? failing : std::size(operations));
      InstallDeviceIo(refusing);
      emu::EmulatedDrive& drive = OpenAttached('E');
      if (!refused && failing == 0) devices.Unplug('E');
      if (!refused) drive.DropOffAfter(static_cast<std::uint32_t>(failing));
      const std::optional<CommandResult> sent = Apply(choice, {});
      InstallDeviceIo(devices);
      ASSERT_TRUE(sent.has_value());
      EXPECT_EQ(sent->outcome, refused ? CommandOutcome::Failed : CommandOutcome::NotDelivered);
      EXPECT_EQ(sent->operation, operations[failing]) << "the result names the command that failed";
      EXPECT_EQ(drive.Log().size(), failing + (refused ? 1 : 0)) << "nothing went out after it";
    }
  }
}

struct ReportCase {
  const char* name;
  std::vector<std::pair<std::size_t, std::uint8_t>> bytes;
  QuietModeCode quiet;
  ReadModeCode readMode;
  bool supported;
  std::optional<bool> realTime;
  bool eject;
  std::size_t reads;
};

TEST_F(DriveLayerTest, ReportedSettingsDecodeTheStatusBytes) {
  const ReportCase cases[] = {
      {"all zero", {}, QuietOff, ReadModeOff, false, std::nullopt, false, 4},
      {"real-time not read while read-error handling is off",
       {{2, 1}, {28, 1}, {29, 1}},
       QuietPerformance,
       ReadModeOff,
       true,
       std::nullopt,
       false,
       4},
      {"perfect with real-time",
       {{2, 3}, {4, 1}, {5, 0xFE}, {28, 5}, {29, 1}},
       QuietPersistent,
       ReadModePerfect,
       true,
       true,
       false,
       5},
      {"master is any other mode byte",
       {{2, 2}, {4, 7}, {5, 0x08}},
       QuietStandard,
       ReadModeMaster,
       false,
       false,
       false,
       5},
      {"eject needs exactly 1", {{40, 2}}, QuietOff, ReadModeOff, false, std::nullopt, false, 4},
      {"eject", {{40, 1}}, QuietOff, ReadModeOff, false, std::nullopt, true, 4},
  };
  emu::EmulatedDrive& drive = OpenAttached('E');
  for (const ReportCase& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes status(256, 0);
    for (auto [offset, value] : c.bytes) status[offset] = value;
    drive.OverrideBuffer(DriveStatusBuffer, status);
    drive.ClearLog();
    const ReportedSettings reported = ReadReportedSettings();
    EXPECT_EQ(reported.quiet, c.quiet);
    EXPECT_EQ(reported.readMode, c.readMode);
    EXPECT_EQ(reported.realTimeSupported, c.supported);
    EXPECT_EQ(reported.realTime, c.realTime);
    EXPECT_EQ(reported.ejectAtPowerOn, c.eject);
    EXPECT_EQ(drive.Log().size(), c.reads);
  }
}

TEST_F(DriveLayerTest, ADriveThatAnswersNothingReportsEverythingOff) {
  OpenAttached('E');
  devices.Unplug('E');
  const ReportedSettings reported = ReadReportedSettings();
  EXPECT_EQ(reported.quiet, QuietOff);
  EXPECT_EQ(reported.readMode, ReadModeOff);
  EXPECT_FALSE(reported.realTimeSupported || reported.ejectAtPowerOn || reported.realTime.has_value());
}

}  // namespace
}  // namespace norvane::test
