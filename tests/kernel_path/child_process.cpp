#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

extern char** environ;

namespace norvane::kernel {

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::map<std::string, std::string>& environment,
                           const std::string& errorFile) {
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  // Built before the fork: only async-signal-safe calls may follow it.
  std::vector<std::string> variables;
  for (char** variable = environ; *variable; ++variable) {
    const std::string text = *variable;
    if (!environment.contains(text.substr(0, text.find('=')))) variables.push_back(text);
  }
  for (const auto& [name, value] : environment) variables.push_back(name + "=" + value);
  std::vector<char*> envp, args;
  for (std::string& variable : variables) envp.push_back(variable.data());
  envp.push_back(nullptr);
  std::vector<std::string> arguments = argv;
  for (std::string& argument : arguments) args.push_back(argument.data());
  args.push_back(nullptr);
  const int error = errorFile.empty() ? -1 : open(errorFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  m_pid = fork();
  if (m_pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    if (error >= 0) dup2(error, 2);
    setpgid(0, 0);  // its own group, so that a kill reaches what it started
    execvpe(args[0], args.data(), envp.data());
    _exit(127);
  }
  if (error >= 0) close(error);
  close(in[0]);
  close(out[1]);
  m_in = in[1];
  m_out = out[0];
  if (m_pid < 0) throw std::runtime_error("fork");
}

ChildProcess::~ChildProcess() {
  if (!m_ended) Wait(std::chrono::milliseconds(0));
  if (m_in >= 0) close(m_in);
  if (m_out >= 0) close(m_out);
}

void ChildProcess::CloseOutput() {
  if (m_out >= 0) close(m_out);
  m_out = -1;
}

void ChildProcess::WriteLine(const std::string& line) {
  const std::string text = line + "\n";
  (void)!write(m_in, text.data(), text.size());
}

void ChildProcess::Signal(int signal) const { kill(m_pid, signal); }

void ChildProcess::CloseInput() {
  if (m_in >= 0) close(m_in);
  m_in = -1;
}

std::optional<std::string> ChildProcess::ReadLine(std::chrono::milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  for (;;) {
    if (const auto end = m_buffer.find('\n'); end != std::string::npos) {
      std::string line = m_buffer.substr(0, end);
      m_buffer.erase(0, end + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return line;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
    if (left.count() <= 0) return std::nullopt;
    pollfd watched{m_out, POLLIN, 0};
    if (poll(&watched, 1, static_cast<int>(left.count())) <= 0) continue;
    char bytes[4096];
    const ssize_t got = read(m_out, bytes, sizeof bytes);
    if (got <= 0) return std::nullopt;
    m_buffer.append(bytes, static_cast<std::size_t>(got));
  }
}

std::string ChildProcess::ReadAll(std::chrono::milliseconds limit) {
  std::string text;
  while (const std::optional<std::string> line = ReadLine(limit)) text += *line + "\n";
  text += m_buffer;
  m_buffer.clear();
  return text;
}

int ChildProcess::Wait(std::chrono::milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  int status = 0;
  for (;;) {
    const pid_t done = waitpid(m_pid, &status, WNOHANG);
    if (done == m_pid) break;
    if (std::chrono::steady_clock::now() >= until) {
      kill(-m_pid, SIGKILL);
      waitpid(m_pid, &status, 0);
      m_ended = true;
      return -1;
    }
    usleep(10000);
  }
  m_ended = true;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace norvane::kernel
