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
const std::vector<Cdb> kRefreshWithReadErrorHandling(5, kReadStatus);

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
  RunResult RunAnswering(const std::vector<std::string>& subcommand, Answer answer) {
    std::vector<std::string> arguments = {"--color", "never", "--device", "E"};
    arguments.insert(arguments.end(), subcommand.begin(), subcommand.end());
    if (answer == Answer::Yes) arguments.emplace_back("--yes");
    const char* typed = answer == Answer::TypedYes ? "y\n" : answer == Answer::TypedNo ? "n\n" : "";
    return Run(arguments, typed, answer != Answer::NoTerminal);
  }
};

struct SettingsConfirmationCase {
  const char* name;
  std::uint8_t quiet;  // the drive's quiet mode before, with read-error handling on in Perfect Mode
  bool realTime;       // and its real-time option before
  std::vector<std::string> arguments;
  const char* question;
  Cdb selection, setting;  // what goes out once confirmed
  bool realTimeSent;
  std::uint8_t quietAfter;
};

TEST_F(Confirmations, TheTwoConfirmationsOfTheSettings) {
  const SettingsConfirmationCase cases[] = {
      {"real-time on with the quiet feature off",
       emu::QuietModeOff,
       false,
       {"set", "--real-time", "on"},
       "Switch it on in Quiet Mode? [y/N]",
       Speed(0x83),
       Speed(0x82),
       true,
       emu::QuietModeQuiet},
      {"quiet feature off under real-time",
       emu::QuietModeQuiet,
       true,
       {"set", "--quiet", "off"},
       "switches real-time read-error handling off too. Go on? [y/N]",
       Speed(0x83),
       Speed(0x80),
       false,
       emu::QuietModeOff},
  };
  const auto check = [this](const SettingsConfirmationCase& s, const ConfirmCase& c) {
    AttachDrives();
    Drive().SetCurrent(Settings(s.quiet, s.realTime));
    const RunResult result = RunAnswering(s.arguments, c.answer);
    EXPECT_EQ(result.exit, c.exit) << result.err;
    if (c.answer == Answer::TypedYes || c.answer == Answer::TypedNo) {
      EXPECT_NE(result.err.find(s.question), std::string::npos) << result.err;
    }
    if (c.exit != Exit::Ok) {
      EXPECT_EQ(Sent(), Concat({kSelect, kRefreshWithReadErrorHandling})) << "nothing but reads";
      EXPECT_EQ(Drive().Current(), Settings(s.quiet, s.realTime));
      return;
    }
    const std::vector<Cdb> sent = Sent();
    ASSERT_GE(sent.size(), 10u);
    EXPECT_EQ(sent[7], s.selection) << "the selection as chosen";
    EXPECT_EQ(sent[8], s.setting) << "the setting as confirmed";
    EXPECT_EQ(Drive().Log()[9].dataOut, DataPage({0x01, 0x80, 0x01, 0xFE, 0x01, 0x00, s.realTimeSent}));
    EXPECT_EQ(Drive().Current().quietMode, s.quietAfter);
    EXPECT_EQ(Drive().Current().realTime, s.realTimeSent);
  };
  for (const SettingsConfirmationCase& s : cases) {
    for (const ConfirmCase& c : kAnswers) {
      SCOPED_TRACE(std::string(s.name) + ", " + c.name);
      check(s, c);
    }
  }
}

TEST_F(Confirmations, NoConfirmationWhenNothingDependsOnIt) {
  AttachDrives();
  Drive().SetCurrent(Settings(emu::QuietModeQuiet, false));
  const RunResult result = Run({"-d", "E", "set", "--real-time", "on"});  // no terminal, no --yes: none is needed
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
      SCOPED_TRACE(std::string(action.subcommand) + ", " + c.name);
      AttachDrives();
      const RunResult result = RunAnswering({action.subcommand}, c.answer);
      EXPECT_EQ(result.exit, c.exit) << result.err;
      EXPECT_EQ(Sent(), c.exit == Exit::Ok ? Concat({kSelect, action.sent}) : kSelect);
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
