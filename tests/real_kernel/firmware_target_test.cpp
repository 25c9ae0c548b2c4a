// norvane-drive on the real kernel: the emulated firmware served as a SCSI
// target, reached through sg3_utils, the sr and sg drivers and the midlayer.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <set>

#include "firmware_target.h"
#include "real_kernel_support.h"

namespace norvane::realkernel {
namespace {

using namespace std::chrono_literals;

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

}  // namespace
}  // namespace norvane::realkernel
