// A program run by the kernel-path tests: its arguments, extra environment,
// and pipes to its standard input and output.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace norvane::kernel {

class ChildProcess {
 public:
  // Starts `argv` with the environment of this process plus `environment`;
  // standard error goes to `errorFile` (appended), or stays this process's.
  ChildProcess(const std::vector<std::string>& argv, const std::map<std::string, std::string>& environment,
               const std::string& errorFile = {});
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  void WriteLine(const std::string& line);
  // Sends it `signal`, as a person or a system does: to it alone.
  void Signal(int signal) const;
  void CloseInput();
  // Stops reading its output, as a reader that has what it wants (head -1) does.
  void CloseOutput();
  // The next line of its output, or nothing once it ended or `limit` passed.
  std::optional<std::string> ReadLine(std::chrono::milliseconds limit);
  // Everything it writes until it ends.
  std::string ReadAll(std::chrono::milliseconds limit);
  // Its exit code (128 + signal when a signal ended it); waits at most
  // `limit`, then kills it and answers -1.
  int Wait(std::chrono::milliseconds limit);

 private:
  pid_t m_pid = -1;
  int m_in = -1, m_out = -1;
  std::string m_buffer;
  bool m_ended = false;
};

}  // namespace norvane::kernel
