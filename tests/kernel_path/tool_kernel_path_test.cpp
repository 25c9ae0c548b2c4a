// norvane-drive as shipped (no --emulate), every subcommand, through
// sg3_utils' pass-through down to SG_IO on the emulated device nodes.
#include <gtest/gtest.h>

#include <chrono>

#include "child_process.h"
#include "kernel_path_support.h"

namespace norvane::kernel {
namespace {

using namespace std::chrono_literals;

struct ToolRun {
  int exitCode;
  std::string output;
};

// Runs the tool with the preloaded library. `list` looks for its drives in
// /dev, so it runs in a mount namespace whose /dev is the nodes' folder.
ToolRun RunTool(const Drives& drives, std::vector<std::string> arguments) {
  std::map<std::string, std::string> environment = drives.Environment();
  // The sanitizers of the test build want their runtime first; the
  // preloaded library is put ahead of it on purpose.
  environment["ASAN_OPTIONS"] = "verify_asan_link_order=0";
  const std::string device = drives.devices.NodePath("sr0").string();
  for (std::string& argument : arguments) {
    if (argument == "{device}") argument = device;
  }
  std::vector<std::string> command = {NORVANE_DRIVE_BINARY};
  command.insert(command.end(), arguments.begin(), arguments.end());
  if (arguments.front() == "list") {
    environment["NORVANE_KERNEL_DEVICES"] += ":/dev";
    command.insert(command.begin(), {"unshare", "--mount", "--", "sh", "-c",
                                     "mount --bind \"$0\" /dev && exec \"$@\"", drives.devices.Folder().string()});
  }
  ChildProcess tool(command, environment);
  tool.CloseInput();
  std::string output = tool.ReadAll(60s);
  return {tool.Wait(5s), output};
}

TEST(ToolKernelPath, EverySubcommandSendsItsSequence) {
  Drives drives("tool");
  for (const test::ToolAction& action : test::ToolActions()) {
    drives.SetUp(action.setup);
    const ToolRun run = RunTool(drives, action.arguments);
    EXPECT_EQ(run.exitCode, action.exitCode) << action.name << ":\n" << run.output;
    ExpectLog(drives.devices.Log(), action.expected, 64, action.name);
  }
}

}  // namespace
}  // namespace norvane::kernel
