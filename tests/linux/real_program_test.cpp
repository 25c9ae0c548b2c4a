// The real program, as a shell runs it: the exit status of a signal, and
// of standard output on a full disc.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace norvane::test {
namespace {

// The real program ends by a signal as the shell expects: 130 for Ctrl-C,
// 143 for a termination request, in a watch and in a countdown alike.
class Signalled {
 public:
  // Standard error goes where standard output goes, or, with
  // `separateErrors`, to Errors().
  explicit Signalled(const std::vector<std::string>& arguments, bool separateErrors = false) {
    int pipeEnds[2], errorEnds[2] = {-1, -1};
    if (pipe(pipeEnds) != 0 || (separateErrors && pipe(errorEnds) != 0)) return;
    m_pid = fork();
    if (m_pid == 0) {
      dup2(pipeEnds[1], STDOUT_FILENO);
      dup2(separateErrors ? errorEnds[1] : pipeEnds[1], STDERR_FILENO);
      close(pipeEnds[0]);
      if (separateErrors) close(errorEnds[0]);
      std::vector<std::string> copies = arguments;
      std::vector<char*> argv = {const_cast<char*>(NORVANE_DRIVE_BINARY)};
      for (std::string& argument : copies) argv.push_back(argument.data());
      argv.push_back(nullptr);
      execv(NORVANE_DRIVE_BINARY, argv.data());
      _exit(127);
    }
    close(pipeEnds[1]);
    m_output = pipeEnds[0];
    if (separateErrors) close(errorEnds[1]);
    m_errors = errorEnds[0];
  }
  ~Signalled() {
    for (const int end : {m_output, m_errors}) {
      if (end >= 0) close(end);
    }
  }

  // Waits for `text` in the output (or the output's end).
  void WaitFor(const std::string& text) {
    char buffer[512];
    for (ssize_t n; m_seen.find(text) == std::string::npos && (n = read(m_output, buffer, sizeof buffer)) > 0;) {
      m_seen.append(buffer, static_cast<std::size_t>(n));
    }
  }
  // Waits for `text` in the output, sends the signal, and answers the exit status as a shell shows it.
  int StopAt(const std::string& text, int signal) {
    WaitFor(text);
    kill(m_pid, signal);
    return Ended();
  }
  // Reads the output to its end and answers the exit status as a shell shows it.
  int Ended() {
    WaitFor(std::string(1, '\0'));  // no text the program writes
    int status = 0;
    waitpid(m_pid, &status, 0);
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
  }
  const std::string& Output() const { return m_seen; }
  // What the program wrote on standard error, once it has ended.
  std::string Errors() const {
    std::string errors;
    char buffer[512];
    for (ssize_t n; m_errors >= 0 && (n = read(m_errors, buffer, sizeof buffer)) > 0;) {
      errors.append(buffer, static_cast<std::size_t>(n));
    }
    return errors;
  }

 private:
  std::string m_seen;
  pid_t m_pid = -1;
  int m_output = -1;
  int m_errors = -1;
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
      // Waiting on udev for a drive to come or go, a minute's tick away.
      {{"--emulate", "list", "--watch", "--interval", "60"}, "+ ", SIGINT, 130},
      {{"--emulate", "list", "--watch", "--interval", "60"}, "+ ", SIGTERM, 143},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments[1] + " " + std::to_string(c.signal));
    Signalled run(c.arguments);
    EXPECT_EQ(run.StopAt(c.started, c.signal), c.status);
  }
}

// Ctrl-C ends a watch of the demo's drive E, in its first clean seconds,
// with the summary of the measurement on standard error; the results on
// standard output stay CSV or JSON lines to the end.
TEST(Signals, CtrlCSumsUpAWatchBesideItsResults) {
  const std::regex summary("Worst: Perfect \\(level 0\\) for [0-9]+ s at 02:00:[0-9]{2}; 0 s at Bad or worse\n");
  const struct {
    const char* form;
    std::regex line;
  } cases[] = {
      {"--csv", std::regex("time,level,word,errorCount,transferredSectors,timeCode|"
                           "[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2},0,Perfect,0,[0-9]+,02:00:[0-9]{2}")},
      {"--json", std::regex("\\{.*\"level\":0,\"word\":\"Perfect\".*\"timeCode\":\"02:00:[0-9]{2}\"\\}")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.form);
    Signalled run({"--emulate", "-d", "E", "status", "--watch", c.form, "--interval", "0.1"}, true);
    EXPECT_EQ(run.StopAt("02:00:", SIGINT), 130);
    std::istringstream lines(run.Output());
    int readings = 0;
    for (std::string line; std::getline(lines, line); ++readings) EXPECT_TRUE(std::regex_match(line, c.line)) << line;
    EXPECT_GE(readings, 1);
    const std::string errors = run.Errors();
    EXPECT_TRUE(std::regex_match(errors, summary)) << errors;
  }
}

// Two copies of the real program at one drive: while the first measures the
// bus power, a change by the second finds the drive in use and ends without
// sending anything; the first is untouched and ends as it would have.
TEST(TwoPrograms, TheSecondChangeFindsTheDriveInUse) {
  const std::vector<std::vector<std::string>> seconds = {
      {"--emulate", "-d", "E", "clear"},
      {"--emulate", "-d", "E", "set", "--quiet", "performance"},
      {"--emulate", "-d", "E", "power-check", "--yes"},
  };
  for (const std::vector<std::string>& second : seconds) {
    SCOPED_TRACE(second[3]);
    Signalled first({"--emulate", "-d", "E", "power-check", "--yes"});
    first.WaitFor("Measuring");
    Signalled other(second);
    EXPECT_EQ(other.Ended(), 9) << other.Output();
    EXPECT_NE(other.Output().find("in use by another program"), std::string::npos) << other.Output();
    EXPECT_EQ(first.StopAt("", SIGINT), 130) << first.Output();
  }
  // Once the first has ended, the drive is free again.
  Signalled after({"--emulate", "-d", "E", "clear"});
  EXPECT_EQ(after.Ended(), 0) << after.Output();
}

// A watch piped into a reader that has what it wants (head -1) and goes: the
// watch ends within a tick, also when it has nothing more to print (one
// drive, which stays), with the status of output that could not be written.
TEST(RealOutput, AClosedPipeEndsAWatchWithinATick) {
  for (const char* watch : {"-d E list --watch", "status --watch"}) {
    SCOPED_TRACE(watch);
    const std::string command = std::string("bash -c 'timeout 20 ") + NORVANE_DRIVE_BINARY + " --emulate " + watch +
                                " --interval 0.2 2> /dev/null | head -1 > /dev/null; exit ${PIPESTATUS[0]}'";
    const auto start = std::chrono::steady_clock::now();
    const int status = std::system(command.c_str());
    const auto took = std::chrono::steady_clock::now() - start;
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1) << "124: still running after 20 seconds";
    EXPECT_LT(took, std::chrono::seconds(10));
  }
}

// The real program's standard output on a full disc.
TEST(RealOutput, AFullDiscFailsTheRun) {
  const std::string command = std::string(NORVANE_DRIVE_BINARY) + " --emulate settings > /dev/full 2> /dev/null";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
}

}  // namespace
}  // namespace norvane::test
