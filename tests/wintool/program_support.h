// Starts the real norvane-drive.exe, as a script or a person at a console
// starts it: with its standard handles on files, on nothing or on a
// console, and reads what it left.
#pragma once

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace norvane::test {

// The program's own console, which the programs it starts share, so that a
// Ctrl-C can be sent to them; its own Ctrl-C is passed over.
void UseOwnConsole();
// The console's input, for a program to read as a person's typing, with
// `typed` waiting in it as keys pressed.
HANDLE ConsoleInputWith(const std::wstring& typed);

std::string BytesOf(const std::filesystem::path& file);

class Program {
 public:
  // Standard output and standard error go to files of their own, or both
  // to `output` when one is given (a console screen buffer, a pipe); standard
  // input is `input`, or else nothing (NUL).
  explicit Program(const std::vector<std::string>& arguments, HANDLE output = nullptr, HANDLE input = nullptr);
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // Waits up to `limit` for the text on standard output or standard error.
  bool Shows(const std::string& text, std::chrono::milliseconds limit);
  // The exit code, once it ends within `limit`; STILL_ACTIVE when it does not (and then it is ended).
  DWORD Finish(std::chrono::milliseconds limit = std::chrono::seconds(30));
  // Whether it ends within `limit`; it is left running otherwise.
  bool EndsWithin(std::chrono::milliseconds limit) const;
  DWORD ProcessId() const { return m_process.dwProcessId; }
  std::string Out() const { return BytesOf(m_out); }
  std::string Err() const { return BytesOf(m_err); }

 private:
  std::filesystem::path m_out, m_err;
  PROCESS_INFORMATION m_process{};
};

struct Finished {
  DWORD exitCode;
  std::string out, err;
};

// Runs the program to its end with standard output and standard error on files.
Finished RunProgram(const std::vector<std::string>& arguments);

}  // namespace norvane::test
