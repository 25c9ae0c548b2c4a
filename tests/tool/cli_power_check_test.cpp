// power-check: the sequence of the window's bus power check, its countdown
// on the tool's ticks, and the verdict as output and exit code.
#include <nlohmann/json.hpp>

#include "cli_test_support.h"

namespace norvane::test {
namespace {

// The blocks sent, with a command repeated while the drive became ready (or
// after a unit attention) counted once.
std::vector<Cdb> Collapsed(const std::vector<Cdb>& sent) {
  std::vector<Cdb> collapsed;
  for (const Cdb& cdb : sent) {
    if (collapsed.empty() || collapsed.back() != cdb) collapsed.push_back(cdb);
  }
  return collapsed;
}

const std::vector<Cdb> kMeasure = {kStop, kStartPowerCheck};
const std::vector<Cdb> kVerdict = {kInquiry, kReadPower};

struct VerdictCase {
  std::uint32_t busPower;
  Exit exit;
  const char* verdict;
  const char* name;
};

TEST_F(CliTest, PowerCheckWithAPersonAtTheTerminal) {
  const VerdictCase cases[] = {
      {5000, Exit::Ok, "Power supply is enough.", "enough"},
      {4400, Exit::PowerSlightlyLow, "Power supply is slightly not enough.", "slightly-not-enough"},
      {4401, Exit::Ok, "Power supply is enough.", "enough"},
  };
  for (const VerdictCase& c : cases) {
    SCOPED_TRACE(c.busPower);
    AttachDrives();
    Drive().SetBusPower(c.busPower);
    platform.ticks = 0;
    bool lockedWhileCounting = false;
    platform.onTick = [&](int) { lockedWhileCounting = devices.MediaChangeNotificationPrevented('E'); };
    const RunResult result = Run({"-d", "E", "power-check", "--json"}, "\n", true);
    EXPECT_EQ(result.exit, c.exit) << result.err;
    // A disc was in: the tray came out for the prompt, and the person closed it.
    EXPECT_EQ(Collapsed(Sent()), Concat({kSelect, {kReadDiscInfo, kOpenTray, kReadDiscInfo}, kMeasure, kVerdict}));
    EXPECT_NE(result.err.find("Please insert a disc"), std::string::npos) << result.err;
    EXPECT_EQ(platform.ticks, 26) << "25 seconds counted down, the verdict on the 26th tick";
    EXPECT_TRUE(lockedWhileCounting);
    EXPECT_FALSE(devices.MediaChangeNotificationPrevented('E')) << "the lock is given back";
    const nlohmann::json verdict = nlohmann::json::parse(result.out);
    EXPECT_EQ(verdict["verdict"], c.name);
    EXPECT_EQ(verdict["responding"], true);
    EXPECT_EQ(verdict["powerValue"], c.busPower);
  }
}

TEST_F(CliTest, PowerCheckOnAPortThatCannotFeedTheDrive) {
  AttachDrives();
  Drive().SetBusPower(3000);  // the drive drops off the bus during the measurement
  const RunResult result = Run({"-d", "E", "power-check", "--yes"});
  EXPECT_EQ(result.exit, Exit::PowerTooLow) << result.err;
  EXPECT_NE(result.out.find("Power supply is not enough."), std::string::npos) << result.out;
  EXPECT_EQ(Sent(), Concat({kSelect, {kReadDiscInfo}, kMeasure})) << "nothing reaches a drive off the bus";
}

TEST_F(CliTest, PowerCheckWithYesUsesTheDiscInTheDrive) {
  AttachDrives();
  const RunResult result = Run({"-d", "E", "power-check", "--yes", "--color", "always"});
  EXPECT_EQ(result.exit, Exit::Ok) << result.err;
  EXPECT_EQ(Sent(), Concat({kSelect, {kReadDiscInfo}, kMeasure, kVerdict}));
  EXPECT_NE(result.out.find("\x1b[32mPower supply is enough.\x1b[0m"), std::string::npos) << result.out;
  EXPECT_EQ(result.err.find("Please insert"), std::string::npos);
}

TEST_F(CliTest, PowerCheckWithoutADisc) {
  for (bool yes : {true, false}) {
    SCOPED_TRACE(yes ? "--yes" : "at the terminal");
    AttachDrives();
    Drive().RemoveDisc();
    const RunResult result = yes ? Run({"-d", "E", "power-check", "-y"}) : Run({"-d", "E", "power-check"}, "\n", true);
    EXPECT_EQ(result.exit, Exit::NoDisc);
    EXPECT_NE(result.err.find("No disc is found."), std::string::npos) << result.err;
    EXPECT_EQ(Collapsed(Sent()), Concat({kSelect, {kReadDiscInfo}})) << "no tray movement, no measurement";
    EXPECT_EQ(platform.ticks, 0);
  }
}

TEST_F(CliTest, PowerCheckNeedsATerminalOrYes) {
  AttachDrives();
  const RunResult result = Run({"-d", "E", "power-check"});
  EXPECT_EQ(result.exit, Exit::NotConfirmed);
  EXPECT_NE(result.err.find("--yes"), std::string::npos);
  EXPECT_EQ(Sent(), kSelect);

  AttachDrives();
  EXPECT_EQ(Run({"-d", "E", "power-check"}, "", true).exit, Exit::NotConfirmed) << "the input ended at the prompt";
  EXPECT_EQ(Drive().Log().back().cdb, kOpenTray) << "nothing measured";
}

TEST_F(CliTest, PowerCheckInterruptedDuringTheCountdown) {
  AttachDrives();
  platform.ticksBeforeInterrupt = 10;
  const RunResult result = Run({"-d", "E", "power-check", "--yes"});
  EXPECT_EQ(result.exit, Exit::Interrupted);
  EXPECT_EQ(result.out, "") << "no verdict";
  EXPECT_EQ(Sent().back(), kStartPowerCheck);
  EXPECT_FALSE(devices.MediaChangeNotificationPrevented('E'));
}

TEST_F(CliTest, PowerCheckThatCannotStartGivesNoVerdict) {
  AttachDrives();
  platform.source.refusedOperation = 0x3B;
  const RunResult result = Run({"-d", "E", "power-check", "--yes"});
  EXPECT_EQ(result.exit, Exit::NotPermitted);
  EXPECT_NE(result.err.find("starting the measurement failed"), std::string::npos) << result.err;
  EXPECT_EQ(platform.ticks, 0);
}

}  // namespace
}  // namespace norvane::test
