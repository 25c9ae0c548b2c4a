// What users of the usual command-line storage tools expect: the parser
// speaks with the program's name, -V and -v, a time-out per command, plain
// output on a dumb terminal, and JSON a script can take apart.
#include <nlohmann/json.hpp>

#include "cli_test_support.h"
#include "version.h"

namespace norvane::test {
namespace {

using nlohmann::json;

TEST_F(CliTest, TheParserSpeaksWithTheProgramsName) {
  const struct {
    std::vector<std::string> arguments;
    std::string message;
  } cases[] = {
      {{"sttaus"}, "norvane-drive: unknown subcommand 'sttaus' (the subcommands: list, settings, set, status"},
      {{"status", "--interval", "2"}, "norvane-drive: --interval requires --watch"},
      // CSV and JSON are two forms of the same results: one at a time.
      {{"status", "--csv", "--json"}, "norvane-drive: --csv excludes --json"},
      {{"--json", "status", "--watch", "--csv"}, "norvane-drive: --csv excludes --json"},
      {{"--bogus", "list"}, "norvane-drive: unknown option '--bogus'"},
      {{"--bogus"}, "norvane-drive: unknown option '--bogus'"},
      {{"list", "--bogus=1"}, "norvane-drive: unknown option '--bogus'"},
      {{"--", "list"}, "norvane-drive: unexpected argument 'list' after '--'"},
      {{"list", "--", "extra"}, "norvane-drive: unexpected argument 'extra' after '--'"},
      {{"set", "--quiet", "off", "--quiet", "quiet"}, "norvane-drive: --quiet is given more than once"},
      {{"-d", "E", "list", "--device", "G"}, "norvane-drive: --device is given more than once"},
      // Flags too: only -v counts its repeats.
      {{"--json", "list", "--json"}, "norvane-drive: --json is given more than once"},
      {{"-d", "E", "set", "--save", "--save"}, "norvane-drive: --save is given more than once"},
      {{"-d", "E", "factory-reset", "-y", "--yes"}, "norvane-drive: --yes is given more than once"},
      {{"--emulate", "--emulate", "list"}, "norvane-drive: --emulate is given more than once"},
      {{"set", "--quiet", "loud"}, "norvane-drive: --quiet: must be off, performance, quiet or persistent, not 'loud'"},
      {{"status", "--watch", "--interval", "0.01"}, "norvane-drive: --interval: must be a number of seconds from 0.05"},
      {{"--timeout", "0", "list"}, "norvane-drive: --timeout: must be a whole number of seconds from 1"},
      // Numbers are plain decimal digits; time-outs whole seconds.
      {{"status", "--watch", "--interval", "0x10"}, "norvane-drive: --interval: must be a number of seconds"},
      {{"status", "--watch", "--interval", " 1"}, "norvane-drive: --interval: must be a number of seconds"},
      {{"status", "--watch", "--interval", "1 "}, "norvane-drive: --interval: must be a number of seconds"},
      {{"status", "--watch", "--interval", "1e1"}, "norvane-drive: --interval: must be a number of seconds"},
      {{"--timeout", "1.5", "list"}, "norvane-drive: --timeout: must be a whole number of seconds"},
      {{"--timeout", "+5", "list"}, "norvane-drive: --timeout: must be a whole number of seconds"},
      // What the user typed comes back as safe text, cut short like a device name.
      {{"set", "--quiet", "\x1b[2J"},
       "norvane-drive: --quiet: must be off, performance, quiet or persistent, not '?[2J'"},
      {{"set", "--read-error", std::string(kC1ControlBytes) + "2J"}, "norvane-drive: --read-error: must be off"},
      {{"--color", "\x1b[2J", "list"}, "norvane-drive: --color: must be auto, always or never, not '?[2J'"},
      {{"status", "--watch", "--interval", "\x1b[2J"}, "norvane-drive: --interval: must be a number of seconds"},
      {{"--timeout", "\x1b[2J", "list"}, "norvane-drive: --timeout: must be a whole number of seconds"},
      {{"list", "extra", "\x1b[2J"}, "norvane-drive: unexpected argument 'extra'"},
      {{"list", "\x1b[2J"}, "norvane-drive: unexpected argument '?[2J'"},
      {{"\x1b[2J"}, "norvane-drive: unknown subcommand '?[2J'"},
      {{"\x1b[2J" + std::string(200, 'x')}, "norvane-drive: unknown subcommand '?[2J" + std::string(76, 'x') + "...'"},
  };
  AttachDrives();
  for (const auto& c : cases) {
    SCOPED_TRACE(CommandLine(c.arguments));
    const RunResult result = Run(c.arguments);
    EXPECT_EQ(result.exit, Exit::Usage);
    EXPECT_EQ(result.err.find(c.message), 0u) << result.err;
    EXPECT_EQ(result.out, "");
    for (std::size_t at = 0; at < result.err.size(); ++at) {
      const auto byte = static_cast<unsigned char>(result.err[at]);
      EXPECT_TRUE(byte >= 0x20 || byte == '\n') << "a C0 control reaches the terminal at " << at;
      EXPECT_FALSE(byte == 0xC2 && at + 1 < result.err.size() && static_cast<unsigned char>(result.err[at + 1]) < 0xA0)
          << "a C1 control reaches the terminal at " << at;
    }
  }
  EXPECT_TRUE(Drive().Log().empty()) << "nothing is sent for a wrong command line";
}

TEST_F(CliTest, VersionAndVerbosity) {
  AttachDrives();
  for (const char* flag : {"-V", "--version"}) {
    EXPECT_EQ(Run({flag}).out, "norvane-drive " NORVANE_VERSION_DOTS "\n") << flag;
  }

  const RunResult once = Run({"-v", "-d", "E", "set", "--eject-at-power-on", "on"});
  EXPECT_EQ(once.exit, Exit::Ok) << once.err;
  EXPECT_NE(once.err.find("trace: SET CD SPEED [BB 00 00 00 FE"), std::string::npos) << once.err;
  EXPECT_EQ(once.err.find("data out"), std::string::npos) << "the data bytes only when asked twice";

  const RunResult twice = Run({"-vv", "-d", "E", "set", "--eject-at-power-on", "on"});
  // The identity the drive returned, and the third setting page with eject at power-on.
  EXPECT_NE(twice.err.find("trace:   data in: 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 4B 54 56 20 33 33 36 34"),
            std::string::npos)
      << twice.err;
  EXPECT_NE(twice.err.find("trace:   data out: 0F 00 01 00"), std::string::npos) << twice.err;

  Drive().SetMediumRemovalPrevented(true);
  const RunResult refused = Run({"-vv", "-d", "E", "eject"});
  EXPECT_NE(refused.err.find("trace:   sense: 70 00 05 00 00 00 00 0A 00 00 00 00 53 02"), std::string::npos)
      << refused.err;
}

TEST_F(CliTest, TheTimeOutGoesWithEveryCommand) {
  AttachDrives();
  ASSERT_EQ(Run({"settings"}).exit, Exit::Ok);
  EXPECT_EQ(platform.source.lastTimeoutSeconds, kPassThroughTimeoutSeconds);
  ASSERT_EQ(Run({"--timeout", "5", "settings"}).exit, Exit::Ok);
  EXPECT_EQ(platform.source.lastTimeoutSeconds, 5u);
}

TEST_F(CliTest, ADumbTerminalGetsNoEscapesAndALineAReading) {
  AttachDrives();
  platform.ticksBeforeInterrupt = 2;
  onConsole = [](tool::Console& console) {
    console.outIsTerminal = true;
    console.dumb = true;
  };
  const RunResult dumb = Run({"status", "--watch"});
  EXPECT_EQ(dumb.out.find('\x1b'), std::string::npos) << dumb.out;
  EXPECT_EQ(std::count(dumb.out.begin(), dumb.out.end(), '\n'), 3) << dumb.out;

  platform.ticks = 0;
  onConsole = [](tool::Console& console) { console.outIsTerminal = true; };
  EXPECT_NE(Run({"status", "--watch"}).out.find("\x1b[?25l"), std::string::npos) << "a real terminal is drawn on";
}

TEST_F(CliTest, JsonForScripts) {
  const RunResult none = Run({"--json", "list"});
  EXPECT_EQ(none.exit, Exit::NoDrive);
  EXPECT_EQ(json::parse(none.out), json::array()) << "no drive is an empty list";

  AttachDrives();
  const json list = json::parse(Run({"--json", "list"}).out);
  const json settings = json::parse(Run({"--json", "-d", "G", "settings"}).out);
  for (const json& drive : {list[1], settings}) {
    EXPECT_EQ(drive["vendor"], "NORVANE");
    EXPECT_EQ(drive["product"], "BD-RE NBX-2400");
    EXPECT_EQ(drive["revision"], "1.02");
    EXPECT_EQ(drive["label"], "G : NORVANE BD-RE NBX-2400  1.022025/04/1");
  }
}

}  // namespace
}  // namespace norvane::test
