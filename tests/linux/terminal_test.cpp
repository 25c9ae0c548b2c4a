// The real program in a pseudo-terminal, as a person runs it: the watch
// redraws a coloured bar in place until Ctrl-C, and a question waits for an
// answer typed at the terminal.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using Clock = std::chrono::steady_clock;

// The program on a terminal of its own, its screen read as it comes.
class Terminal {
 public:
  explicit Terminal(const std::vector<std::string>& arguments) {
    m_pid = forkpty(&m_master, nullptr, nullptr, nullptr);
    if (m_pid == 0) {
      setenv("LANG", "C.UTF-8", 1);
      setenv("TERM", "xterm-256color", 1);
      unsetenv("NO_COLOR");
      const rlimit noCore{0, 0};  // Ctrl-\ ends it without a core file
      setrlimit(RLIMIT_CORE, &noCore);
      std::vector<char*> argv;
      std::string program = NORVANE_DRIVE_BINARY;
      argv.push_back(program.data());
      std::vector<std::string> copies = arguments;
      for (std::string& argument : copies) argv.push_back(argument.data());
      argv.push_back(nullptr);
      execv(program.c_str(), argv.data());
      _exit(127);
    }
  }
  ~Terminal() {
    if (m_pid > 0 && !m_exited) kill(m_pid, SIGKILL), waitpid(m_pid, nullptr, 0);
    if (m_master >= 0) close(m_master);
  }

  bool Started() const { return m_pid > 0; }

  // Reads the screen until `done` says so or the time is up.
  template <typename Done>
  bool ReadUntil(Done done, std::chrono::seconds limit = std::chrono::seconds(20)) {
    const auto end = Clock::now() + limit;
    while (!done(m_screen)) {
      if (Clock::now() > end || !ReadSome(100)) return done(m_screen);
    }
    return true;
  }

  void Type(const std::string& keys) { (void)!write(m_master, keys.data(), keys.size()); }
  void Signal(int signal) const { kill(m_pid, signal); }

  // Waits for the program to end and answers its exit status. The screen is
  // read to its end, the program's side closing, however slowly a loaded
  // machine gets there: the last things written (the cursor given back) come
  // last.
  int Exit() {
    ReadUntil([](const std::string&) { return false; }, std::chrono::seconds(60));
    int status = 0;
    waitpid(m_pid, &status, 0);
    m_exited = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  const std::string& Screen() const { return m_screen; }

 private:
  // False once the program's side of the terminal has closed.
  bool ReadSome(int milliseconds) {
    pollfd ready{m_master, POLLIN, 0};
    if (poll(&ready, 1, milliseconds) <= 0) return true;
    char buffer[4096];
    const ssize_t n = read(m_master, buffer, sizeof buffer);
    if (n <= 0) return false;
    m_screen.append(buffer, static_cast<std::size_t>(n));
    return true;
  }

  int m_master = -1;
  pid_t m_pid = -1;
  bool m_exited = false;
  std::string m_screen;
};

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(OnATerminal, StatusWatchRedrawsTheColouredBarUntilCtrlC) {
  Terminal terminal({"--emulate", "status", "--watch", "--interval", "0.2"});
  ASSERT_TRUE(terminal.Started());
  // The first picture and four redraws.
  ASSERT_TRUE(terminal.ReadUntil([](const std::string& s) { return Count(s, "Transferred sectors") >= 5; }))
      << terminal.Screen();
  terminal.Type("\x03");  // Ctrl-C
  EXPECT_EQ(terminal.Exit(), 130);
  const std::string& screen = terminal.Screen();
  EXPECT_NE(screen.find("\x1b[?25l"), std::string::npos) << "the cursor is hidden while drawing";
  EXPECT_NE(screen.find("\x1b[?25h"), std::string::npos) << "and given back at the end";
  EXPECT_GE(Count(screen, "\x1b[5A"), 4u) << "each redraw goes back over the five lines of the picture";
  EXPECT_NE(screen.find("\x1b[90m░░\x1b[0m"), std::string::npos) << "unlit segments in grey";
  EXPECT_NE(screen.find("Ctrl-C stops."), std::string::npos);

  // The demo's disc plays on: the sector count grows from picture to picture.
  std::vector<long> counts;
  const std::regex sectors("Transferred sectors  ([0-9]+)");
  for (std::sregex_iterator it(screen.begin(), screen.end(), sectors), end; it != end; ++it) {
    counts.push_back(std::stol((*it)[1]));
  }
  ASSERT_GE(counts.size(), 5u);
  EXPECT_GT(counts.back(), counts.front()) << screen;
}

TEST(OnATerminal, AConfirmationWaitsForTheAnswerTyped) {
  const struct {
    const char* typed;
    int exit;
    const char* shown;
  } answers[] = {{"n\r", 4, "not confirmed"}, {"y\r", 0, "The disc is forced out."}};
  const auto check = [](const auto& answer) {
    Terminal terminal({"--emulate", "--device", "E", "force-eject"});
    ASSERT_TRUE(terminal.Started());
    ASSERT_TRUE(terminal.ReadUntil([](const std::string& s) { return s.find("[y/N] ") != std::string::npos; }))
        << terminal.Screen();
    terminal.Type(answer.typed);
    EXPECT_EQ(terminal.Exit(), answer.exit);
    EXPECT_NE(terminal.Screen().find(answer.shown), std::string::npos) << terminal.Screen();
  };
  for (const auto& answer : answers) {
    SCOPED_TRACE(answer.typed);
    check(answer);
  }
}

// Every signal that stops or ends the program gives the terminal its cursor
// back; a watch that goes on hides it again, and the shell sees 128 and the
// signal's number. (The test's terminal has no job control, so the stop
// itself is not seen here; the giving back is.)
TEST(OnATerminal, EverySignalThatStopsOrEndsAWatchGivesTheCursorBack) {
  const struct {
    int signal;
    int exit;
  } cases[] = {{SIGTSTP, 130}, {SIGHUP, 129}, {SIGQUIT, 131}, {SIGTERM, 143}};
  for (const auto& c : cases) {
    SCOPED_TRACE(strsignal(c.signal));
    Terminal terminal({"--emulate", "status", "--watch", "--interval", "0.2"});
    ASSERT_TRUE(terminal.Started());
    ASSERT_TRUE(terminal.ReadUntil([](const std::string& s) { return Count(s, "Transferred sectors") >= 2; }))
        << terminal.Screen();
    const std::size_t before = terminal.Screen().size();
    terminal.Signal(c.signal);
    if (c.signal == SIGTSTP) {
      ASSERT_TRUE(terminal.ReadUntil([before](const std::string& s) {
        const std::size_t shown = s.find("\x1b[?25h", before);
        return shown != std::string::npos && s.find("\x1b[?25l", shown) != std::string::npos;
      })) << "shown at the stop, hidden again by the watch going on";
      terminal.Signal(SIGCONT);
      terminal.Type("\x03");
    }
    EXPECT_EQ(terminal.Exit(), c.exit);
    const std::string& screen = terminal.Screen();
    const std::size_t shown = screen.rfind("\x1b[?25h");
    ASSERT_NE(shown, std::string::npos) << "the cursor is given back";
    EXPECT_GT(shown, screen.rfind("\x1b[?25l")) << "and shown at the end";
  }
}

// A closed pipe is a write error like a full disc (exit status 1), not the
// end of the program by SIGPIPE.
TEST(OnAPipe, AClosedPipeIsAWriteError) {
  for (const char* argument : {"--help", "--version"}) {
    SCOPED_TRACE(argument);
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    close(ends[0]);  // nobody reads
    const pid_t pid = fork();
    if (pid == 0) {
      std::signal(SIGPIPE, SIG_DFL);  // as a shell starts it, whatever the test runner ignores
      dup2(ends[1], STDOUT_FILENO);
      dup2(open("/dev/null", O_WRONLY), STDERR_FILENO);
      execl(NORVANE_DRIVE_BINARY, NORVANE_DRIVE_BINARY, argument, nullptr);
      _exit(127);
    }
    close(ends[1]);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 1);
  }
}

}  // namespace
