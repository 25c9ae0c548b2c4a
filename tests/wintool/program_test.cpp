// norvane-drive.exe as scripts run it: the exit codes, the bytes a
// redirected file gets, a confirmation without a console, and Ctrl-C.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <sstream>
#include <thread>

#include "drive/channel.h"
#include "program_support.h"
#include "tests/common/drive_holders.h"
#include "tool/cli.h"
#include "tool/emulated_drive_source.h"
#include "tool/win32/session_end_win32.h"

namespace norvane::test {
namespace {

using namespace std::chrono_literals;

struct ProgramCase {
  std::vector<std::string> arguments;
  DWORD exitCode;
  const char* message;  // a text standard error holds
};

// Every subcommand but the bus power check (26 seconds; Ctrl-C below stops one).
TEST(Program, EverySubcommandEndsWithTheToolsExitCode) {
  const ProgramCase cases[] = {
      {{"--emulate", "list"}, 0, ""},
      {{"--emulate", "settings"}, 0, ""},
      {{"--emulate", "-d", "E:", "set", "--quiet", "performance"}, 0, ""},
      {{"--emulate", "status"}, 0, ""},
      {{"--emulate", "-d", "e", "clear"}, 0, ""},
      {{"--emulate", "eject"}, 2, "more than one drive may be meant"},
      {{"--emulate", "-d", "E", "force-eject", "--yes"}, 0, ""},
      {{"--emulate", "-d", "\\\\.\\E:", "factory-reset", "--yes"}, 0, ""},
      {{"--emulate", "set", "--quiet", "performance"}, 2, "more than one drive may be meant"},
      {{"--bogus", "list"}, 2, "unknown option '--bogus'"},
      {{"--emulate", "set", "--quiet", "\x1b[2J"},
       2,
       "--quiet: must be off, performance, quiet or persistent, not '?[2J'"},
      {{"--emulate", "-d", "K", "settings"}, 3, "K: is not a CD/DVD drive"},
      {{"--emulate", "-d", "E:\\", "eject"}, 0, ""},
      {{"--emulate", "-d", "E", "factory-reset"}, 4, "there is no terminal to ask on; pass --yes"},
      {{"--emulate", "-d", "E", "power-check"}, 4, "there is no terminal to ask on"},
      {{"--emulate", "-d", "G", "set", "--real-time", "on", "--read-error", "perfect"},
       5,
       "does not support real-time"},
  };
  for (const ProgramCase& c : cases) {
    std::string line;
    for (const std::string& argument : c.arguments) line += " " + argument;
    SCOPED_TRACE("norvane-drive" + line);
    const Finished run = RunProgram(c.arguments);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    if (c.exitCode != 0) {
      EXPECT_EQ(run.out, "") << "no result from a run that failed";
    }
  }
}

// What the tool writes is what the file gets: UTF-8 as it is, lines ended
// by LF alone, no byte order mark, nothing of the console's code page.
TEST(Program, ARedirectedFileGetsTheToolsBytes) {
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"--emulate", "--json", "settings"}, {"--emulate", "list"}}) {
    std::ostringstream expected, messages;
    std::istringstream none;
    tool::Console console{none, expected, messages};
    struct : tool::Platform {
      tool::DemoDrives demo;
      tool::DriveSource& Drives(bool) override { return demo.Source(); }
      bool Wait(std::chrono::milliseconds) override { return false; }
    } demo;
    ASSERT_EQ(tool::RunNorvaneDrive(arguments, console, demo), 0) << messages.str();
    const Finished run = RunProgram(arguments);
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(run.out, expected.str());
  }
  const Finished status = RunProgram({"--emulate", "status"});
  EXPECT_NE(status.out.find("\xE2\x96\x91\xE2\x96\x91 \xE2\x96\x91\xE2\x96\x91"), std::string::npos)
      << "the bar's unlit segments, U+2591, as UTF-8:\n"
      << status.out;
  EXPECT_EQ(status.out.find('\r'), std::string::npos);
  EXPECT_EQ(status.out.find('\x1b'), std::string::npos) << "no colour in a file";
}

// Results that never reached their reader are no results.
TEST(Program, APipeClosedByItsReaderFailsTheRun) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE reader = nullptr, writer = nullptr;
  ASSERT_TRUE(CreatePipe(&reader, &writer, &inherit, 0));
  CloseHandle(reader);
  Program program({"--emulate", "settings"}, writer);
  CloseHandle(writer);
  EXPECT_EQ(program.Finish(), 1u);
}

// A watch piped into a reader that takes its first line and goes (head -1):
// the watch ends within a tick, also with nothing more to print (one drive,
// which stays).
TEST(Program, AWatchWhoseReaderGoesEndsWithinATick) {
  for (const char* subcommand : {"list", "status"}) {
    SCOPED_TRACE(subcommand);
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE reader = nullptr, writer = nullptr;
    ASSERT_TRUE(CreatePipe(&reader, &writer, &inherit, 0));
    SetHandleInformation(reader, HANDLE_FLAG_INHERIT, 0);  // the watch must not hold its own reader
    Program program({"--emulate", "-d", "E", subcommand, "--watch", "--interval", "0.2"}, writer);
    CloseHandle(writer);
    std::string line;
    char byte = 0;
    DWORD read = 0;
    while (line.find('\n') == std::string::npos && ReadFile(reader, &byte, 1, &read, nullptr) && read == 1) {
      line += byte;
    }
    EXPECT_NE(line.find('\n'), std::string::npos) << "no first line: " << line;
    CloseHandle(reader);
    EXPECT_TRUE(program.EndsWithin(std::chrono::seconds(10))) << "still watching for nobody";
    EXPECT_EQ(program.Finish(), 1u);
  }
}

// Runs that an end from outside meets while they wait: a tick of a watch,
// a countdown. `said`: what the run says of it.
struct EndedRun {
  std::vector<std::string> arguments;
  const char* started;
  const char* said;
};
// A watch sums up its measurement, the first clean seconds of the demo's
// drive E, on standard error; CSV on standard output stays CSV.
const EndedRun kEndedRuns[] = {
    {{"--emulate", "status", "--watch", "--interval", "0.1"}, "sectors", "Worst: Perfect (level 0) for "},
    {{"--emulate", "status", "--watch", "--csv", "--interval", "0.1"}, ",02:00:", "Worst: Perfect (level 0) for "},
    {{"--emulate", "-d", "E", "power-check", "--yes"}, "Measuring", "interrupted: the measurement was not read"},
};

class ConsoleProgram : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { UseOwnConsole(); }
};

// Ctrl-C during a tick's wait ends the run cleanly with the status a shell
// gives a run ended by SIGINT; the countdown says what it was at.
TEST_F(ConsoleProgram, CtrlCEndsAWatchAndACountdownWith130) {
  for (const EndedRun& c : kEndedRuns) {
    SCOPED_TRACE(c.arguments[1]);
    Program program(c.arguments);
    ASSERT_TRUE(program.Shows(c.started, 20s)) << program.Err();
    ASSERT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) << GetLastError();
    EXPECT_EQ(program.Finish(10s), 130u) << program.Err();
    EXPECT_NE(program.Err().find(c.said), std::string::npos) << program.Err();
    EXPECT_EQ(program.Out().find("Worst"), std::string::npos) << program.Out();
  }
}

struct SessionEndSearch {
  DWORD processId;
  HWND found = nullptr;
};

BOOL CALLBACK FindSessionEndWindow(HWND window, LPARAM lParam) {
  auto& search = *reinterpret_cast<SessionEndSearch*>(lParam);
  wchar_t name[64] = {};
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != search.processId || !GetClassNameW(window, name, 64) ||
      std::wstring(name) != tool::kSessionEndWindowClass) {
    return TRUE;
  }
  search.found = window;
  return FALSE;
}

// The hidden top-level window of the process `processId` that hears of the
// session's end, once it is there; null when it is not within `limit`.
HWND SessionEndWindowOf(DWORD processId, std::chrono::milliseconds limit) {
  SessionEndSearch search{processId};
  for (const auto end = std::chrono::steady_clock::now() + limit;
       search.found == nullptr && std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(50ms)) {
    EnumWindows(FindSessionEndWindow, reinterpret_cast<LPARAM>(&search));
  }
  return search.found;
}

// The program loads user32, so Windows tells it of logging off and shutting
// down as it tells a program with windows, not at its console: the session's
// end ends a run with 143, as a closing console does, during a tick's wait
// cleanly (the countdown says what it was at). Agreeing to the session's end
// ends nothing yet, nor does an end that was called off.
TEST(Program, TheSessionsEndEndsARunWith143) {
  for (const EndedRun& c : kEndedRuns) {
    SCOPED_TRACE(c.arguments[1]);
    Program program(c.arguments);
    ASSERT_TRUE(program.Shows(c.started, 20s)) << program.Err();
    const HWND window = SessionEndWindowOf(program.ProcessId(), 10s);
    ASSERT_NE(window, nullptr) << "no hidden window hears of the session's end";
    EXPECT_FALSE(IsWindowVisible(window));
    DWORD_PTR agreed = FALSE;
    ASSERT_TRUE(SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, 5000, &agreed));
    EXPECT_EQ(agreed, static_cast<DWORD_PTR>(TRUE)) << "the run held the session's end up";
    ASSERT_TRUE(SendMessageTimeoutW(window, WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF, SMTO_NORMAL, 5000, nullptr));
    EXPECT_FALSE(program.EndsWithin(500ms)) << "the run ended before the session did: " << program.Err();
    SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL, 10000, nullptr);
    EXPECT_EQ(program.Finish(10s), 143u) << program.Err();
    EXPECT_NE(program.Err().find(c.said), std::string::npos) << program.Err();
  }
}

// A confirmation is read from the console, as a person types it.
TEST_F(ConsoleProgram, AConfirmationIsAnsweredAtTheConsole) {
  const struct {
    const wchar_t* typed;
    DWORD exitCode;
    const char* said;
  } cases[] = {
      {L"y\r", 0, "The factory settings are restored"},
      {L"n\r", 4, "not confirmed: nothing was changed"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::wstring(c.typed)));
    HANDLE input = ConsoleInputWith(c.typed);
    Program program({"--emulate", "-d", "E", "factory-reset"}, nullptr, input);
    CloseHandle(input);
    EXPECT_EQ(program.Finish(10s), c.exitCode) << program.Err();
    EXPECT_NE(program.Err().find("Reset all of the drive's settings to the factory default? [y/N]"), std::string::npos)
        << program.Err();
    EXPECT_NE((program.Out() + program.Err()).find(c.said), std::string::npos) << program.Out() << program.Err();
  }
}

// Handles to a drive's mutexes keep them in being once their owner ends, as
// a killed process's own handles do while its end waits for a drive's
// command: the next program meets them abandoned.
class LockKeptOpen {
 public:
  explicit LockKeptOpen(const std::wstring& devicePath) {
    for (const wchar_t* space : {L"Local", L"Global"}) {
      m_mutexes.push_back(OpenMutexW(SYNCHRONIZE, FALSE, DriveLockName(space, devicePath).c_str()));
      EXPECT_NE(m_mutexes.back(), nullptr) << GetLastError();
    }
  }
  ~LockKeptOpen() {
    for (HANDLE mutex : m_mutexes) CloseHandle(mutex);
  }
  LockKeptOpen(const LockKeptOpen&) = delete;
  LockKeptOpen& operator=(const LockKeptOpen&) = delete;

 private:
  std::vector<HANDLE> m_mutexes;
};

// The lock is the system's, not the process's: while this process has a
// drive, as the window has it during its action, the real program finds the
// drive in use for a change, sends nothing and exits 9; a reading passes.
// A holder that ended without letting go (killed, or crashed) leaves the
// drive free: its lock was abandoned, and the next change takes it.
TEST(Program, AChangeFindsTheDriveThatAnotherProcessHoldsInUse) {
  struct Case {
    const char* name;
    std::function<std::shared_ptr<void>()> take;
    DWORD changeExitCode;
  };
  std::vector<Case> cases;
  for (const DriveHolder& holder : DriveHolders()) {
    cases.push_back({holder.name, [&holder] { return holder.take(DevicePath('E')); }, 9});
  }
  cases.push_back({"the holder was killed before it let go",
                   [] {
                     Program holder({"--emulate", "-d", "E", "power-check", "--yes"});
                     EXPECT_TRUE(holder.Shows("Measuring", 20s)) << holder.Err();
                     EXPECT_FALSE(DriveLock(DevicePath('E')).Held()) << "the check holds the drive";
                     auto kept = std::make_shared<LockKeptOpen>(DevicePath('E'));
                     EXPECT_EQ(holder.Finish(0ms), STILL_ACTIVE) << "the check ended before it was killed";
                     return kept;
                   },
                   0});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    {
      const std::shared_ptr<void> other = c.take();
      const Finished change = RunProgram({"--emulate", "-d", "E", "eject"});
      EXPECT_EQ(change.exitCode, c.changeExitCode) << change.err;
      if (c.changeExitCode == 9) {
        EXPECT_NE(change.err.find("in use by another program"), std::string::npos) << change.err;
        EXPECT_FALSE(DriveLock(DevicePath('E')).Held()) << "and in this process too";
      }
      const Finished reading = RunProgram({"--emulate", "-d", "E", "settings"});
      EXPECT_EQ(reading.exitCode, 0u) << reading.err;
    }
    const Finished after = RunProgram({"--emulate", "-d", "E", "eject"});
    EXPECT_EQ(after.exitCode, 0u) << "the drive is free again: " << after.err;
  }
}

}  // namespace
}  // namespace norvane::test
