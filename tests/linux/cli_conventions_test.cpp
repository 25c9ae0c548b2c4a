// What users of the usual Linux storage tools expect: the parser speaks with
// the program's name, -V and -v, a time-out per command, plain output on a
// dumb terminal, JSON a script can take apart, and the exit status of a
// signal.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <thread>

#include "cli_test_support.h"
#include "version.h"

namespace norvane::test {
namespace {

using nlohmann::json;

TEST_F(CliTest, TheParserSpeaksWithTheProgramsName) {
  const struct {
    std::vector<std::string> arguments;
    const char* message;
  } cases[] = {
      {{"sttaus"}, "norvane-drive: unknown subcommand 'sttaus' (the subcommands: list, settings, set, status"},
      {{"status", "--interval", "2"}, "norvane-drive: --interval requires --watch"},
      {{"--bogus", "list"}, "norvane-drive: The following argument was not expected: --bogus"},
      {{"set", "--quiet", "loud"}, "norvane-drive: --quiet: loud not in"},
      {{"status", "--watch", "--interval", "0.01"}, "norvane-drive: --interval: must be a number of seconds from 0.05"},
      {{"--timeout", "0", "list"}, "norvane-drive: --timeout: must be a number of seconds from 1"},
  };
  AttachDrives();
  for (const auto& c : cases) {
    SCOPED_TRACE(CommandLine(c.arguments));
    const RunResult result = Run(c.arguments);
    EXPECT_EQ(result.exit, Exit::Usage);
    EXPECT_EQ(result.err.find(c.message), 0u) << result.err;
    EXPECT_EQ(result.out, "");
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
  const RunResult refused = Run({"-vv", "eject"});
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

// The real program ends by a signal as the shell expects: 130 for Ctrl-C,
// 143 for a termination request, in a watch and in a countdown alike.
class Signalled {
 public:
  explicit Signalled(const std::vector<std::string>& arguments) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return;
    m_pid = fork();
    if (m_pid == 0) {
      dup2(pipeEnds[1], STDOUT_FILENO);
      dup2(pipeEnds[1], STDERR_FILENO);
      close(pipeEnds[0]);
      std::vector<std::string> copies = arguments;
      std::vector<char*> argv = {const_cast<char*>(NORVANE_DRIVE_BINARY)};
      for (std::string& argument : copies) argv.push_back(argument.data());
      argv.push_back(nullptr);
      execv(NORVANE_DRIVE_BINARY, argv.data());
      _exit(127);
    }
    close(pipeEnds[1]);
    m_output = pipeEnds[0];
  }
  ~Signalled() {
    if (m_output >= 0) close(m_output);
  }

  // Waits for `text` in the output, sends the signal, and answers the exit status as a shell shows it.
  int StopAt(const std::string& text, int signal) {
    std::string seen;
    char buffer[512];
    for (ssize_t n; seen.find(text) == std::string::npos && (n = read(m_output, buffer, sizeof buffer)) > 0;) {
      seen.append(buffer, static_cast<std::size_t>(n));
    }
    kill(m_pid, signal);
    while (read(m_output, buffer, sizeof buffer) > 0) {
    }
    int status = 0;
    waitpid(m_pid, &status, 0);
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
  }

 private:
  pid_t m_pid = -1;
  int m_output = -1;
};

TEST(Signals, EndTheRunWithTheShellsStatus) {
  const struct {
    std::vector<std::string> arguments;
    const char* started;
    int signal, status;
  } cases[] = {
      {{"--emulate", "status", "--watch", "--interval", "0.1"}, "sectors", SIGINT, 130},
      {{"--emulate", "status", "--watch", "--interval", "0.1"}, "sectors", SIGTERM, 143},
      {{"--emulate", "-d", "E", "power-check", "--yes"}, "Measuring", SIGTERM, 143},
      {{"--emulate", "-d", "E", "power-check", "--yes"}, "Measuring", SIGINT, 130},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments[1] + " " + std::to_string(c.signal));
    Signalled run(c.arguments);
    EXPECT_EQ(run.StopAt(c.started, c.signal), c.status);
  }
}

}  // namespace
}  // namespace norvane::test
