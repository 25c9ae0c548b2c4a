// The confirmations of the window, asked on a terminal or given with --yes;
// without one given, nothing that changes the drive goes out.
#include "cli_test_support.h"

namespace norvane::test {
namespace {

emu::DriveSettings Settings(std::uint8_t quiet, bool realTime) {
  emu::DriveSettings settings;
  settings.quietMode = quiet;
  settings.readErrorHandling = true;
  settings.readErrorMode = 0xFE;
  settings.realTime = realTime;
  return settings;
}

// The reading of a drive with read-error handling on: five status reads.
const std::vector<Cdb> kRefresh(5, kReadStatus);

enum class Answer { Yes, TypedYes, TypedNo, EndOfInput, NoTerminal };

struct ConfirmCase {
  const char* name;
  Answer answer;
  Exit exit;
};

constexpr ConfirmCase kAnswers[] = {
    {"--yes", Answer::Yes, Exit::Ok},
    {"y typed", Answer::TypedYes, Exit::Ok},
    {"n typed", Answer::TypedNo, Exit::NotConfirmed},
    {"end of input", Answer::EndOfInput, Exit::NotConfirmed},
    {"no terminal", Answer::NoTerminal, Exit::NotConfirmed},
};

class Confirmations : public CliTest {
 protected:
  RunResult RunAnswering(std::vector<std::string> arguments, Answer answer) {
    if (answer == Answer::Yes) arguments.push_back("--yes");
    const char* typed = answer == Answer::TypedYes ? "y\n" : answer == Answer::TypedNo ? "n\n" : "";
    return Run(arguments, typed, answer != Answer::NoTerminal);
  }
};

TEST_F(Confirmations, RealTimeOnWithTheQuietFeatureOff) {
  for (const ConfirmCase& c : kAnswers) {
    AttachDrives();
    Drive().SetCurrent(Settings(emu::QuietModeOff, false));
    const RunResult result = RunAnswering({"set", "--real-time", "on"}, c.answer);
    EXPECT_EQ(result.exit, c.exit) << c.name << ": " << result.err;
    if (c.answer == Answer::TypedYes || c.answer == Answer::TypedNo) {
      EXPECT_NE(result.err.find("Switch it on in Quiet Mode? [y/N]"), std::string::npos) << c.name << result.err;
    }
    if (c.exit != Exit::Ok) {
      EXPECT_EQ(Sent(), Concat({kSelect, kRefresh})) << c.name << ": nothing but reads";
      EXPECT_EQ(Drive().Current().quietMode, emu::QuietModeOff) << c.name;
      continue;
    }
    const std::vector<Cdb> sent = Sent();
    ASSERT_GE(sent.size(), 9u) << c.name;
    EXPECT_EQ(sent[7], Speed(0x83)) << c.name << ": the selection as chosen, off";
    EXPECT_EQ(sent[8], Speed(0x82)) << c.name << ": the setting forced to Quiet Mode";
    EXPECT_EQ(Drive().Log()[9].dataOut, DataPage({0x01, 0x80, 0x01, 0xFE, 0x01, 0x00, 0x01})) << c.name;
    EXPECT_EQ(Drive().Current().quietMode, emu::QuietModeQuiet) << c.name;
    EXPECT_TRUE(Drive().Current().realTime) << c.name;
  }
}

TEST_F(Confirmations, QuietFeatureOffUnderRealTime) {
  for (const ConfirmCase& c : kAnswers) {
    AttachDrives();
    Drive().SetCurrent(Settings(emu::QuietModeQuiet, true));
    const RunResult result = RunAnswering({"set", "--quiet", "off"}, c.answer);
    EXPECT_EQ(result.exit, c.exit) << c.name << ": " << result.err;
    if (c.exit != Exit::Ok) {
      EXPECT_EQ(Sent(), Concat({kSelect, kRefresh})) << c.name;
      EXPECT_TRUE(Drive().Current().realTime) << c.name;
      continue;
    }
    const std::vector<Cdb> sent = Sent();
    ASSERT_GE(sent.size(), 9u) << c.name;
    EXPECT_EQ(sent[7], Speed(0x83)) << c.name;
    EXPECT_EQ(sent[8], Speed(0x80)) << c.name;
    EXPECT_EQ(Drive().Log()[9].dataOut, DataPage({0x01, 0x80, 0x01, 0xFE, 0x01, 0x00, 0x00}))
        << c.name << ": real-time dropped";
    EXPECT_EQ(Drive().Current().quietMode, emu::QuietModeOff) << c.name;
  }
}

TEST_F(Confirmations, NoConfirmationWhenNothingDependsOnIt) {
  AttachDrives();
  Drive().SetCurrent(Settings(emu::QuietModeQuiet, false));
  const RunResult result = Run({"set", "--real-time", "on"});  // no terminal, no --yes: none is needed
  EXPECT_EQ(result.exit, Exit::Ok) << result.err;
  EXPECT_TRUE(Drive().Current().realTime);
}

struct ActionCase {
  const char* subcommand;
  std::vector<Cdb> sent;
  const char* question;
};

TEST_F(Confirmations, ForceEjectAndFactoryResetAsk) {
  const ActionCase actions[] = {
      {"force-eject", {kForceEject}, "Force the disc out? [y/N]"},
      {"factory-reset", {Speed(0xC2), kWritePage, kWritePage, kWritePage}, "to the factory default? [y/N]"},
  };
  for (const ActionCase& action : actions) {
    for (const ConfirmCase& c : kAnswers) {
      AttachDrives();
      const RunResult result = RunAnswering({action.subcommand}, c.answer);
      EXPECT_EQ(result.exit, c.exit) << action.subcommand << ", " << c.name << ": " << result.err;
      EXPECT_EQ(Sent(), c.exit == Exit::Ok ? Concat({kSelect, action.sent}) : kSelect)
          << action.subcommand << ", " << c.name;
      if (c.answer == Answer::TypedNo) {
        EXPECT_NE(result.err.find(action.question), std::string::npos) << result.err;
      }
      if (c.answer == Answer::NoTerminal) {
        EXPECT_NE(result.err.find("--yes"), std::string::npos) << result.err;
      }
    }
  }
}

}  // namespace
}  // namespace norvane::test
