// norvane-drive on Windows: the console's control events, its character
// set and its colours.
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <cwchar>
#include <functional>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/scoped.h"
#include "tool/cli.h"
#include "tool/emulated_drive_source.h"
#include "tool/win32/console_win32.h"
#include "tool/win32/drive_events_win32.h"
#include "tool/win32/drive_source_win32.h"
#include "tool/win32/session_end_win32.h"

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

namespace {

using norvane::tool::DriveSource;

constexpr int kInterruptedStatus = 130;  // Ctrl-C or Ctrl-Break, as a shell shows a run ended by SIGINT
constexpr int kTerminatedStatus = 143;   // the console closed, the user logging off, Windows shutting down

// Control events come on a thread of their own.
std::atomic<bool> ticking{false};
std::atomic<bool> waiting{false};            // between commands, in a tick's sleep
std::atomic<int> interruptedWith{0};         // the exit status a control event asked for
std::atomic<bool> redrawsOnTerminal{false};  // a watch may have hidden the cursor
std::atomic<bool> changing{false};           // a change's commands are going out
norvane::UniqueHandle wakeUp;                // ends a tick's sleep at once
std::mutex noteLock;                         // the run sets the note, a control event's thread writes it
std::string interruptNote;

// The consoles' modes as the program found them, given back at its end:
// the console outlives the program.
struct ConsoleMode {
  HANDLE handle = nullptr;
  DWORD mode = 0;
  bool changed = false;
};
ConsoleMode outputModes[2];

// Colours and redrawing go through virtual-terminal sequences, which a
// console takes only once asked to; one that refuses (before Windows 10)
// is treated as a dumb terminal. False when a console refused.
bool AskForVirtualTerminal() {
  bool allTake = true;
  const DWORD handles[] = {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
  for (int i = 0; i < 2; ++i) {
    ConsoleMode& console = outputModes[i];
    console.handle = GetStdHandle(handles[i]);
    if (!GetConsoleMode(console.handle, &console.mode)) continue;
    if (console.mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) continue;
    console.changed = SetConsoleMode(console.handle, console.mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
    allTake = allTake && console.changed;
  }
  return allTake;
}

void GiveConsolesBack() {
  if (ticking && redrawsOnTerminal) {
    DWORD written = 0;
    WriteConsoleW(outputModes[0].handle, L"\x1b[?25h", 6, &written, nullptr);
  }
  for (const ConsoleMode& console : outputModes) {
    if (console.changed) SetConsoleMode(console.handle, console.mode);
  }
}

// During the sleep of a watch's or a countdown's tick, a control event or
// the session's end ends the run cleanly, so that the console gets its
// cursor back and the run says what it was at. Anywhere else, a command
// waiting for the drive among them, it ends the program at once, as it
// would any program, with the interrupt note on standard error. `endsOnReturn`: Windows ends the process once the
// caller returns, so the run must end first.
//
// During a change every event waits until the drive's answer is reported,
// the first one deciding the exit status: the console's closing, a logoff
// and a shutdown for as long as Windows lets the process live.
void EndRun(int status, bool endsOnReturn) {
  int none = 0;
  if (changing) {
    interruptedWith.compare_exchange_strong(none, status);
    if (endsOnReturn) Sleep(INFINITE);
    return;
  }
  if (ticking && waiting && interruptedWith.compare_exchange_strong(none, status)) {
    SetEvent(wakeUp.Get());
    if (endsOnReturn) Sleep(INFINITE);
    return;
  }
  GiveConsolesBack();
  {
    const std::lock_guard<std::mutex> hold(noteLock);
    DWORD written = 0;
    if (!interruptNote.empty()) {
      WriteFile(GetStdHandle(STD_ERROR_HANDLE), interruptNote.data(), static_cast<DWORD>(interruptNote.size()),
                &written, nullptr);
    }
  }
  ExitProcess(static_cast<UINT>(status));
}

BOOL WINAPI OnControl(DWORD event) {
  const bool interrupt = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
  // A closing console (and, for a program without windows, logging off and shutting down).
  EndRun(interrupt ? kInterruptedStatus : kTerminatedStatus, !interrupt);
  return TRUE;
}

// Logging off and shutting down, as a program with windows hears of them.
void OnSessionEnd() { EndRun(kTerminatedStatus, true); }

class RealPlatform final : public norvane::tool::Platform {
 public:
  DriveSource& Drives(bool emulate) override {
    if (emulate) return m_demo.Source();
    if (!m_machine) m_machine = std::make_unique<norvane::tool::Win32DriveSource>();
    return *m_machine;
  }

  bool Wait(std::chrono::milliseconds period) override {
    ticking = true;
    waiting = true;
    if (!interruptedWith) WaitForSingleObject(wakeUp.Get(), static_cast<DWORD>(period.count()));
    waiting = false;
    return !interruptedWith;
  }

  void ListenForDrives() override {
    if (!m_events) m_events = std::make_unique<norvane::tool::DriveEvents>();
  }

  // Device notifications wake the wait; the tick bounds it all the same.
  DrivesWait WaitForDrives(std::chrono::milliseconds period) override {
    bool changed = false;
    if (!WaitAnswering([&](HANDLE wake, DWORD ms) { changed = m_events->Wait(wake, ms); }, period)) {
      return DrivesWait::Interrupted;
    }
    return changed ? DrivesWait::DevicesChanged : DrivesWait::Ticked;
  }

  // "Safely Remove" asks through the drive's handle notification, which
  // only a wait answers: inside a reading the question waits for its end.
  Tick WaitBesideDrive(std::chrono::milliseconds period) override {
    if (!WaitAnswering([this](HANDLE wake, DWORD ms) { m_events->WaitBesideOpenDrive(wake, ms); }, period)) {
      return Tick::Interrupted;
    }
    return m_events->DriveLetGo() ? Tick::DriveLetGo : Tick::DriveHeld;
  }

  void StopWatchingDrive() override {
    if (m_events) m_events->StopWatchingDrive();
  }

  void SetInterruptNote(const std::string& line) override {
    const std::lock_guard<std::mutex> hold(noteLock);
    interruptNote = line;
  }

  void HoldInterrupts() override { changing = true; }
  int ReleaseInterrupts() override {
    changing = false;
    return interruptedWith;
  }

  // A zero-byte write to a pipe whose reader has gone fails; to a file or
  // a console there is nothing to find out.
  bool OutputGone() const override {
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (GetFileType(out) != FILE_TYPE_PIPE) return false;
    DWORD written = 0;
    if (WriteFile(out, "", 0, &written, nullptr)) return false;
    const DWORD error = GetLastError();
    return error == ERROR_NO_DATA || error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED;
  }

 private:
  bool WaitAnswering(const std::function<void(HANDLE, DWORD)>& wait, std::chrono::milliseconds period) {
    ListenForDrives();
    ticking = true;
    waiting = true;
    if (!interruptedWith) wait(wakeUp.Get(), static_cast<DWORD>(period.count()));
    waiting = false;
    return !interruptedWith;
  }

  norvane::tool::DemoDrives m_demo;
  std::unique_ptr<DriveSource> m_machine;
  std::unique_ptr<norvane::tool::DriveEvents> m_events;
};

std::string Utf8Of(const wchar_t* text) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(length > 0 ? length - 1 : 0), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes.data(), length, nullptr, nullptr);
  return bytes;
}

bool IsSet(const wchar_t* variable) {
  const wchar_t* value = _wgetenv(variable);
  return value != nullptr && value[0] != L'\0';
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  wakeUp = norvane::UniqueHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  SetConsoleCtrlHandler(OnControl, TRUE);
  const norvane::tool::SessionEndListener sessionEnd(OnSessionEnd);
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(Utf8Of(argv[i]));

  norvane::tool::Win32OutputBuffer outBuffer(GetStdHandle(STD_OUTPUT_HANDLE));
  norvane::tool::Win32OutputBuffer errBuffer(GetStdHandle(STD_ERROR_HANDLE));
  std::ostream out(&outBuffer);
  std::ostream err(&errBuffer);
  err << std::unitbuf;  // messages and prompts at once
  norvane::tool::Console console{std::cin, out, err};
  console.inIsTerminal = norvane::tool::IsConsole(GetStdHandle(STD_INPUT_HANDLE));
  console.outIsTerminal = norvane::tool::IsConsole(GetStdHandle(STD_OUTPUT_HANDLE));
  console.errIsTerminal = norvane::tool::IsConsole(GetStdHandle(STD_ERROR_HANDLE));
  console.utf8 = true;  // UTF-16 to a console, UTF-8 to a file: every character arrives
  console.noColor = IsSet(L"NO_COLOR");
  const wchar_t* term = _wgetenv(L"TERM");
  console.dumb = !AskForVirtualTerminal() || (term != nullptr && std::wcscmp(term, L"dumb") == 0);
  redrawsOnTerminal = console.CanRedraw();

  int code = 0;
  {
    RealPlatform platform;
    code = norvane::tool::RunNorvaneDrive(arguments, console, platform);
  }
  out.flush();
  GiveConsolesBack();
  return interruptedWith ? interruptedWith.load() : code;
}
