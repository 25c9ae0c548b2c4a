// norvane-drive on the real kernel: the emulated firmware served as a SCSI
// target, reached through sg3_utils, the sr and sg drivers and the midlayer.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <thread>

#include "firmware_target.h"
#include "real_kernel_support.h"

namespace norvane::realkernel {
namespace {

using namespace std::chrono_literals;
using test::WithoutEmptyDirections;

// Commands the kernel and udev send a CD drive of their own accord (sr's
// media checks on every open, udev's cdrom_id after a close): the tool's
// sequences are compared without them, unless the tool itself sends that
// operation in the action.
const std::set<std::uint8_t> kKernelOwn = {0x00, 0x1E, 0x25, 0x43, 0x46, 0x4A, 0x51, 0x5A};

test::Sequence WithoutKernelOwn(const test::Sequence& log, const test::Sequence& expected) {
  std::set<std::uint8_t> sent;
  for (const test::ExpectedCommand& command : expected) sent.insert(command.cdb[0]);
  test::Sequence tools;
  for (const test::ExpectedCommand& command : log) {
    if (kKernelOwn.contains(command.cdb[0]) && !sent.contains(command.cdb[0])) continue;
    tools.push_back(command);
  }
  return WithoutEmptyDirections(tools);
}

class RealKernel : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { s_target = new FirmwareTarget(); }
  static void TearDownTestSuite() {
    delete s_target;
    s_target = nullptr;
  }
  static FirmwareTarget& Target() { return *s_target; }
  static std::string QuietNode() { return s_target->BlockNode(test::kQuietDrive); }

 private:
  static FirmwareTarget* s_target;
};

FirmwareTarget* RealKernel::s_target = nullptr;

std::vector<std::string> WithDevice(std::vector<std::string> arguments, const std::string& device) {
  for (std::string& argument : arguments) {
    if (argument == "{device}") argument = device;
  }
  return arguments;
}

TEST_F(RealKernel, EveryToolActionReachesTheFirmwareAsItsSequence) {
  StopUdev();
  for (const test::ToolAction& action : test::ToolActions()) {
    Target().SetUp(action.setup);
    const ToolRun run = RunTool(WithDevice(action.arguments, QuietNode()));
    const test::Sequence log = Target().Log();
    Record("norvane-drive " + action.name + " (" + run.Summary() + ")",
           run.output + "--- what the target received:\n" + test::Describe(log));
    EXPECT_EQ(run.exitCode, action.exitCode) << action.name << "\n" << run.output;
    EXPECT_EQ(WithoutKernelOwn(log, action.expected), WithoutEmptyDirections(action.expected))
        << action.name << "\nexpected:\n"
        << test::Describe(action.expected) << "the target received:\n"
        << test::Describe(log);
  }
}

// What the target can do to a command, as the midlayer and sr pass it on:
// a BUSY status, which the midlayer retries on its own; CHECK CONDITION,
// whose sense reaches the tool; an answer held past the target's time-out;
// and the LUN taken away while a command is held. None ends in a result the
// tool reports as done when it was not.
TEST_F(RealKernel, FaultsOfTheTargetReachTheToolAsTheyAre) {
  constexpr std::uint8_t kReadBuffer = 0x3C, kWriteBuffer = 0x3B;
  const std::vector<std::uint8_t> hardwareError = {0x70, 0, 0x04, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x44, 0x00, 0, 0, 0, 0};
  struct Case {
    const char* name;
    TargetFault fault;
    std::vector<std::string> arguments;
    int exitCode;
    const char* says;  // in the tool's output
  };
  const std::vector<Case> cases = {
      {"busy once", {TargetFault::Kind::Busy, kReadBuffer, {}, 0s}, {"settings"}, 0, "Quiet drive"},
      {"check condition",
       {TargetFault::Kind::CheckCondition, kReadBuffer, hardwareError, 0s},
       {"settings"},
       1,
       "4/44/00"},
      {"held past the target's time-out",
       {TargetFault::Kind::Hold, kWriteBuffer, {}, std::chrono::seconds(kCommandTimeOutSeconds + 3)},
       {"set", "--quiet", "performance"},
       10,
       "WRITE BUFFER"},
      {"the LUN taken away meanwhile",
       {TargetFault::Kind::RemoveLunWhileHeld, kWriteBuffer, {}, 3s},
       {"set", "--quiet", "performance"},
       10,
       "WRITE BUFFER"},
  };
  StopUdev();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Target().SetUp(nullptr);
    const std::string node = QuietNode();
    Target().InjectFault(test::kQuietDrive, c.fault);
    std::vector<std::string> arguments = {"-d", node};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    const ToolRun run = RunTool(arguments);
    Record(std::string("target fault, ") + c.name + ": norvane-drive -d " + node + " ... (" + run.Summary() + ")",
           run.output + "--- what the target received:\n" + test::Describe(Target().Log()) +
               "--- answered by the fault:\n" + test::Describe(Target().Faulted()));
    EXPECT_EQ(run.exitCode, c.exitCode) << run.output;
    EXPECT_NE(run.output.find(c.says), std::string::npos) << run.output;
    if (c.fault.kind == TargetFault::Kind::RemoveLunWhileHeld) {
      Target().Loop().AddLun(0);
      SettleUdev();
    }
    // Whatever the fault, the drive ends in a state the tool can read again.
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (QuietNode().empty() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(100ms);
    EXPECT_EQ(RunTool({"-d", QuietNode(), "settings"}).exitCode, 0);
  }
}

}  // namespace
}  // namespace norvane::realkernel
