// norvane-drive on Linux: signals, the terminal and the locale.
#include <langinfo.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <memory>
#include <string>

#include "tool/cli.h"
#include "tool/emulated_drive_source.h"
#include "tool/linux/drive_events_linux.h"
#include "tool/linux/drive_source_linux.h"

namespace {

using norvane::tool::DriveSource;

volatile std::sig_atomic_t ticking = 0;
volatile std::sig_atomic_t waiting = 0;      // between commands, in a tick's sleep
volatile std::sig_atomic_t interrupted = 0;  // the signal that asked the run to end
bool redrawsOnTerminal = false;              // a watch may have hidden the cursor

// The interrupt note, in two buffers: the run writes the one not shown and
// then shows it, so that a signal never finds a line half written.
struct Note {
  char text[256];
  std::size_t length;
};
Note notes[2] = {};
volatile std::sig_atomic_t noteShown = 0;

void SetNote(const std::string& line) {
  Note& next = notes[1 - noteShown];
  next.length = std::min(line.size(), sizeof next.text);
  std::memcpy(next.text, line.data(), next.length);
  noteShown = 1 - noteShown;
}

void WriteNote() {
  const Note& note = notes[noteShown];
  if (note.length > 0) (void)!write(STDERR_FILENO, note.text, note.length);
}

// Gives the terminal its cursor back, where a watch may have hidden it.
void ShowCursor() {
  if (redrawsOnTerminal) (void)!write(STDOUT_FILENO, "\x1b[?25h", 6);
}

// During the sleep of a watch's or a countdown's tick, Ctrl-C, Ctrl-\, a
// hang-up and a termination request end the run cleanly, so that the
// terminal gets its cursor back and the run says what it was at. Anywhere
// else, a command waiting for the drive among them, they end the program at
// once, as they would any program; the cursor is given back and the
// interrupt note written first.
void OnInterrupt(int signal) {
  if (ticking && waiting && !interrupted) {
    interrupted = signal;
    return;
  }
  ShowCursor();
  WriteNote();
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

void Catch(int signal, void (*handler)(int), int flags) {
  struct sigaction action {};
  action.sa_handler = handler;
  action.sa_flags = flags;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
}

// Ctrl-Z and a background run's terminal access stop the program as they
// would any other, with the cursor given back first; once continued, the
// watch hides it again at its next redraw, and the next stop gives it back
// again.
void OnStop(int signal) {
  ShowCursor();
  std::signal(signal, SIG_DFL);
  sigset_t stopping;
  sigemptyset(&stopping);
  sigaddset(&stopping, signal);
  sigprocmask(SIG_UNBLOCK, &stopping, nullptr);
  std::raise(signal);
  Catch(signal, OnStop, SA_RESTART);
}

// Without SA_RESTART a sleep wakes up at the signal. A closed pipe is a
// write error like any other (exit status 1), not the end of the program.
void CatchSignals() {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) Catch(signal, OnInterrupt, 0);
  for (const int signal : {SIGTSTP, SIGTTIN, SIGTTOU}) Catch(signal, OnStop, SA_RESTART);
  std::signal(SIGPIPE, SIG_IGN);
}

// A run ended by a signal ends as the signal would have ended it, so that
// the shell sees 128 and the signal's number: 130 for Ctrl-C, 143 for a
// termination request. One held through a change is still pending: let
// through, it ends the program as soon as it is no longer caught.
void EndAsInterrupted() {
  if (!interrupted) return;
  std::cout.flush();
  std::signal(interrupted, SIG_DFL);
  sigset_t pending;
  sigemptyset(&pending);
  sigaddset(&pending, interrupted);
  sigprocmask(SIG_UNBLOCK, &pending, nullptr);
  std::raise(interrupted);
}

// The signals a change holds until the drive's answer is reported. They
// are blocked rather than caught: a command on its way to the drive then
// goes on undisturbed (the sg driver would give up waiting for one at a
// caught signal), each bounded by its time-out. Ctrl-\ still ends the
// program at once, for a drive that hangs.
constexpr int kHeldSignals[] = {SIGINT, SIGTERM, SIGHUP};

sigset_t HeldSignals() {
  sigset_t held;
  sigemptyset(&held);
  for (const int signal : kHeldSignals) sigaddset(&held, signal);
  return held;
}

// Standard output when it is a pipe, or -1 (poll passes over it).
int OutputPipe() {
  struct stat status {};
  return fstat(STDOUT_FILENO, &status) == 0 && S_ISFIFO(status.st_mode) ? STDOUT_FILENO : -1;
}

class RealPlatform final : public norvane::tool::Platform {
 public:
  DriveSource& Drives(bool emulate) override {
    if (emulate) return m_demo.Source();
    if (!m_machine) m_machine = std::make_unique<norvane::tool::LinuxDriveSource>();
    return *m_machine;
  }

  bool Wait(std::chrono::milliseconds period) override {
    ticking = 1;
    waiting = 1;
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(period);
    timespec left{static_cast<std::time_t>(seconds.count()),
                  static_cast<long>(std::chrono::nanoseconds(period - seconds).count())};
    while (!interrupted && nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
    waiting = 0;
    return !interrupted;
  }

  void ListenForDrives() override {
    if (!m_events) m_events = std::make_unique<norvane::tool::DriveEvents>();
  }

  // udev's events wake the wait, and the tick bounds it all the same. A
  // disc's change wakes it too, but only a device added or removed asks for
  // a look at every drive. A reader of the output that goes ends the wait
  // as well: a watch with nothing to print would otherwise notice it only a
  // tick later.
  DrivesWait WaitForDrives(std::chrono::milliseconds period) override {
    ListenForDrives();
    ticking = 1;
    waiting = 1;
    pollfd watched[] = {{m_events->Descriptor(), POLLIN, 0}, {OutputPipe(), 0, 0}};
    const auto deadline = std::chrono::steady_clock::now() + period;
    bool changed = false;
    while (!interrupted && !changed && !OutputGone()) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
      if (left <= 0) break;
      const int ready = poll(watched, 2, static_cast<int>(left));
      if (ready > 0 && watched[0].revents != 0) changed = m_events->Drain();
      if (ready < 0 && errno != EINTR) break;
    }
    waiting = 0;
    if (interrupted) return DrivesWait::Interrupted;
    return changed ? DrivesWait::DevicesChanged : DrivesWait::Ticked;
  }

  // A pipe whose reader has gone reports an error on its writing end.
  bool OutputGone() const override {
    pollfd out{OutputPipe(), 0, 0};
    return out.fd >= 0 && poll(&out, 1, 0) > 0 && (out.revents & (POLLERR | POLLHUP)) != 0;
  }

  void SetInterruptNote(const std::string& line) override { SetNote(line); }

  void HoldInterrupts() override {
    const sigset_t held = HeldSignals();
    sigprocmask(SIG_BLOCK, &held, nullptr);
  }

  // A signal that came stays blocked: the run reports and ends with it.
  int ReleaseInterrupts() override {
    sigset_t pending;
    sigpending(&pending);
    for (const int signal : kHeldSignals) {
      if (!sigismember(&pending, signal)) continue;
      interrupted = signal;
      return 128 + signal;
    }
    const sigset_t held = HeldSignals();
    sigprocmask(SIG_UNBLOCK, &held, nullptr);
    return 0;
  }

 private:
  norvane::tool::DemoDrives m_demo;
  std::unique_ptr<DriveSource> m_machine;
  std::unique_ptr<norvane::tool::DriveEvents> m_events;
};

bool LocaleIsUtf8() {
  std::setlocale(LC_CTYPE, "");
  return std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
}

}  // namespace

int main(int argc, char** argv) {
  CatchSignals();
  norvane::tool::Console console{std::cin, std::cout, std::cerr};
  console.inIsTerminal = isatty(STDIN_FILENO) != 0;
  console.outIsTerminal = isatty(STDOUT_FILENO) != 0;
  console.errIsTerminal = isatty(STDERR_FILENO) != 0;
  console.utf8 = LocaleIsUtf8();
  const char* noColor = std::getenv("NO_COLOR");
  console.noColor = noColor != nullptr && noColor[0] != '\0';
  const char* term = std::getenv("TERM");
  console.dumb = term == nullptr || term[0] == '\0' || std::strcmp(term, "dumb") == 0;
  redrawsOnTerminal = console.CanRedraw();
  RealPlatform platform;
  const int code = norvane::tool::RunNorvaneDrive({argv + 1, argv + argc}, console, platform);
  EndAsInterrupted();
  return code;
}
