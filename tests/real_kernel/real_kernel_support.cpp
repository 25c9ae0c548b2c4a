#include "real_kernel_support.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace norvane::realkernel {
namespace {

using namespace std::chrono_literals;

std::string LogFolder() {
  const char* folder = std::getenv("NORVANE_GUEST_LOG");
  return folder ? folder : "/tmp";
}

}  // namespace

ToolRun RunCommand(std::vector<std::string> command, const std::string& user,
                   const std::function<void(kernel::ChildProcess&)>& meanwhile) {
  if (!user.empty()) {
    command.insert(command.begin(), {"setpriv", "--reuid=" + user, "--regid=" + user, "--clear-groups", "--"});
  }
  const std::string errors = LogFolder() + "/stderr.txt";
  { std::ofstream truncate(errors, std::ios::trunc); }
  if (!user.empty()) chmod(errors.c_str(), 0666);
  std::map<std::string, std::string> environment = {{"ASAN_OPTIONS", "detect_leaks=0"}};
  kernel::ChildProcess child(command, environment, errors);
  child.CloseInput();
  if (meanwhile) meanwhile(child);
  ToolRun run;
  const auto started = std::chrono::steady_clock::now();
  run.output = child.ReadAll(120s);
  run.exitCode = child.Wait(10s);
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::ifstream errorText(errors);
  run.output.append(std::istreambuf_iterator<char>(errorText), {});
  return run;
}

std::string ToolProgram() {
  const char* program = std::getenv("NORVANE_DRIVE_PROGRAM");
  if (program == nullptr) throw std::runtime_error("NORVANE_DRIVE_PROGRAM names no norvane-drive to test");
  return program;
}

std::string ToolRun::Summary() const {
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.1f s", this->seconds);
  return "exit " + std::to_string(exitCode) + ", " + seconds;
}

ToolRun RunTool(const std::vector<std::string>& arguments, const std::string& user,
                const std::function<void(kernel::ChildProcess&)>& meanwhile) {
  std::vector<std::string> command = {ToolProgram()};
  command.insert(command.end(), arguments.begin(), arguments.end());
  return RunCommand(command, user, meanwhile);
}

void Record(const std::string& title, const std::string& text) {
  std::ofstream log(LogFolder() + "/guest-log.txt", std::ios::app);
  log << "=== " << title << "\n" << text << "\n";
}

std::string Monitor(const std::string& command) {
  // The host relays each line to QEMU's monitor and ends the reply with a
  // line holding a single dot.
  std::string path;
  for (const std::filesystem::directory_entry& entry : std::filesystem::directory_iterator("/sys/class/virtio-ports")) {
    std::ifstream name(entry.path() / "name");
    std::string text;
    if (std::getline(name, text) && text == "org.norvane.monitor") path = "/dev/" + entry.path().filename().string();
  }
  std::fstream port(path, std::ios::in | std::ios::out);
  if (!port) throw std::runtime_error("no monitor port in this guest");
  port << command << "\n" << std::flush;
  std::string reply, line;
  while (std::getline(port, line) && line != ".") reply += line + "\n";
  return reply;
}

void StartUdev() {
  if (std::system("/lib/systemd/systemd-udevd --daemon && udevadm trigger --action=add && udevadm settle") != 0) {
    throw std::runtime_error("udev did not start");
  }
}

void StopUdev() {
  if (std::system("udevadm control --exit 2>/dev/null; udevadm settle 2>/dev/null; true") != 0) return;
}

void SettleUdev() {
  if (std::system("udevadm settle") != 0) std::this_thread::sleep_for(1s);
}

}  // namespace norvane::realkernel
