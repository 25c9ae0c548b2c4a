// Windows' errors as the tool reads them: an error that says another
// program holds the drive is a busy drive (exit status 9) wherever it comes
// from, one that says access is denied is no permission (77), and the
// message keeps Windows' own code.
#include <windows.h>

#include "cli_test_support.h"
#include "tool/win32/drive_source_win32.h"

namespace norvane::test {
namespace {

TEST_F(CliTest, WindowsErrorsDecideTheExitStatus) {
  const struct {
    DWORD error;
    Exit exit;
  } cases[] = {
      {ERROR_SHARING_VIOLATION, Exit::DriveBusy},
      {ERROR_LOCK_VIOLATION, Exit::DriveBusy},
      {ERROR_BUSY, Exit::DriveBusy},
      {ERROR_ACCESS_DENIED, Exit::NotPermitted},
      {ERROR_PRIVILEGE_NOT_HELD, Exit::NotPermitted},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    AttachDrives();
    // The set's first command is refused: no step was taken, and the refusal decides.
    platform.source.refusedOperation = 0xBB;
    platform.source.refusal = tool::Win32Error(c.error, "refused by Windows");
    const RunResult result = Run({"-d", "E", "set", "--quiet", "performance"});
    EXPECT_EQ(result.exit, c.exit) << result.err;
    EXPECT_NE(result.err.find("(Windows error " + std::to_string(c.error) + ")"), std::string::npos) << result.err;
  }
}

}  // namespace
}  // namespace norvane::test
