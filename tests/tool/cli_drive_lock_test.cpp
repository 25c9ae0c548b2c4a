// A change finds the drive taken by another program: the run says so, exits
// with its own status and sends nothing past the drive's identification;
// once the other program lets go, the same change goes through.
#include "cli_test_support.h"
#include "tests/common/other_program.h"

namespace norvane::test {
namespace {

TEST_F(CliTest, AChangeOnADriveInUseSendsNothing) {
  const std::vector<std::vector<std::string>> changes = {
      {"-d", "E", "set", "--quiet", "performance"},
      {"-d", "E", "clear"},
      {"-d", "E", "eject"},
      {"-d", "E", "force-eject", "--yes"},
      {"-d", "E", "factory-reset", "--yes"},
      {"-d", "E", "power-check", "--yes"},
  };
  for (const std::vector<std::string>& change : changes) {
    SCOPED_TRACE(CommandLine(change));
    AttachDrives();
    {
      const OtherProgram other(DevicePath('E'));
      const RunResult busy = Run(change);
      EXPECT_EQ(busy.exit, Exit::DriveBusy);
      EXPECT_NE(busy.err.find("in use by another program"), std::string::npos) << busy.err;
      EXPECT_EQ(Sent(), kSelect) << "only the drive's identification went out";
    }
    // The other program let go: the change reaches the drive now.
    const RunResult free = Run(change);
    EXPECT_NE(free.exit, Exit::DriveBusy) << free.err;
    EXPECT_GT(Sent().size(), 2 * kSelect.size()) << "the change sent its commands";
  }
}

// G stands for a second name of E's drive, as /dev/sg1 or a link is of
// /dev/sr0: the other program holds the drive under the one name, the change
// comes by the other.
TEST_F(CliTest, AChangeByAnotherNameOfADriveInUseSendsNothing) {
  AttachDrives();
  platform.source.drivePath = [](const tool::DeviceNode&) { return DevicePath('E'); };
  const OtherProgram other(DevicePath('E'));
  const RunResult busy = Run({"-d", "G", "factory-reset", "--yes"});
  EXPECT_EQ(busy.exit, Exit::DriveBusy) << busy.err;
  EXPECT_NE(busy.err.find("G is in use by another program"), std::string::npos) << busy.err;
  EXPECT_EQ(Sent('G'), kSelect) << "only the drive's identification went out";
}

TEST_F(CliTest, ReadingsPassADriveInUse) {
  AttachDrives();
  const OtherProgram other(DevicePath('E'));
  EXPECT_EQ(Run({"-d", "E", "settings"}).exit, Exit::Ok);
  EXPECT_EQ(Run({"-d", "E", "status"}).exit, Exit::Ok);
}

}  // namespace
}  // namespace norvane::test
