// What the checks inside the guest share: running norvane-drive as a user
// does, the guest's record of what happened, and udev.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "action_sequences.h"
#include "child_process.h"

namespace norvane::realkernel {

struct ToolRun {
  int exitCode = -1;
  std::string output;  // standard output, then standard error
  double seconds = 0;  // from its start to its end

  // "exit 0, 1.2 s", for the guest's log.
  std::string Summary() const;
};

// The norvane-drive under test: the release build the script names.
std::string ToolProgram();

// norvane-drive with `arguments`, to its end, as root or (with `user`) as
// that user and the group of the same name; `meanwhile` runs once it has started.
ToolRun RunTool(const std::vector<std::string>& arguments, const std::string& user = {},
                const std::function<void(kernel::ChildProcess&)>& meanwhile = nullptr);
// The same with the whole command line given.
ToolRun RunCommand(std::vector<std::string> command, const std::string& user = {},
                   const std::function<void(kernel::ChildProcess&)>& meanwhile = nullptr);

// Appends to the guest's own log, which the host keeps after the run.
void Record(const std::string& title, const std::string& text);

// Sends a line to QEMU's monitor through the host and answers its reply.
std::string Monitor(const std::string& command);

// udev as a desktop has it, or none: with udev running, every close of an
// sr node opened for writing makes it probe the drive again.
void StartUdev();
void StopUdev();
void SettleUdev();

}  // namespace norvane::realkernel
