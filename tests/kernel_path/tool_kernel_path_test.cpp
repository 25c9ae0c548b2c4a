// norvane-drive as shipped (no --emulate), every subcommand, through
// sg3_utils' pass-through down to SG_IO on the emulated device nodes; and
// norvane-drive.exe under Wine, through Wine's pass-through down to the same.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <stdexcept>

#include "child_process.h"
#include "kernel_path_support.h"
#include "kernel_path_wine.h"
#include "tests/common/udev_event.h"

namespace norvane::kernel {
namespace {

using namespace std::chrono_literals;

// The tool's command line with the preloaded library, and its environment.
// Without a drive named (`list`, a change that must find the one drive) it
// looks for its drives in /dev, so it runs in a mount namespace whose /dev is
// the nodes' folder. There udev's monitor would take udev for absent (/dev no
// devtmpfs, no control socket in /run/udev) and hear nothing: the namespace
// gets a /run of its own where udev's socket is present, as on a desktop,
// and the watch hears what the test says as udev.
std::vector<std::string> ToolCommand(const Drives& drives, std::vector<std::string> arguments,
                                     std::map<std::string, std::string>& environment) {
  environment = drives.Environment();
  // The sanitizers of the test build want their runtime first; the
  // preloaded library is put ahead of it on purpose.
  environment["ASAN_OPTIONS"] = "verify_asan_link_order=0";
  const std::string device = drives.devices.NodePath("sr0").string();
  bool named = false;
  for (std::string& argument : arguments) {
    if (argument != "{device}") continue;
    argument = device;
    named = true;
  }
  std::vector<std::string> command = {NORVANE_DRIVE_BINARY};
  command.insert(command.end(), arguments.begin(), arguments.end());
  if (!named) {
    environment["NORVANE_KERNEL_DEVICES"] += ":/dev";
    command.insert(command.begin(), {"unshare", "--mount", "--", "sh", "-c",
                                     "mount --bind \"$0\" /dev && mount -t tmpfs tmpfs /run && mkdir /run/udev && "
                                     ": > /run/udev/control && exec \"$@\"",
                                     drives.devices.Folder().string()});
  }
  return command;
}

ToolRun RunTool(const Drives& drives, const std::vector<std::string>& arguments,
                const std::function<void(ChildProcess&)>& meanwhile = nullptr) {
  std::map<std::string, std::string> environment;
  const std::vector<std::string> command = ToolCommand(drives, arguments, environment);
  return RunToEnd(command, environment, meanwhile);
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

const test::ToolAction& ToolActionNamed(const std::string& name) {
  for (const test::ToolAction& action : test::ToolActions()) {
    if (action.name == name) return action;
  }
  throw std::runtime_error("no tool action " + name);
}

// --timeout reaches SG_IO as the time-out of every command.
TEST(ToolKernelPath, TheTimeOutOptionReachesTheKernel) {
  Drives drives("tool-timeout");
  const test::ToolAction& settings = ToolActionNamed("settings");
  drives.SetUp(settings.setup);
  std::vector<std::string> arguments = {"--timeout", "5"};
  arguments.insert(arguments.end(), settings.arguments.begin(), settings.arguments.end());
  const ToolRun run = RunTool(drives, arguments);
  EXPECT_EQ(run.exitCode, 0) << run.output;
  ASSERT_FALSE(drives.devices.Log().empty());
  for (const KernelRecord& record : drives.devices.Log()) EXPECT_EQ(record.timeoutMs, 5000u);
}

// --- faults at the kernel boundary ---

// The command at `index` of `sequence` twice: a unit attention makes it go again.
test::Sequence Repeated(test::Sequence sequence, std::size_t index) {
  sequence.insert(sequence.begin() + static_cast<std::ptrdiff_t>(index), sequence[index]);
  return sequence;
}

// Sense data of both formats: a unit attention (power on, reset) and an
// illegal request (invalid field in the command block).
const std::vector<std::uint8_t> kFixedReset = {0x70, 0, 0x06, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x29, 0x00, 0, 0, 0, 0};
const std::vector<std::uint8_t> kDescriptorReset = {0x72, 0x06, 0x29, 0x00, 0, 0, 0, 0};
const std::vector<std::uint8_t> kFixedInvalidField = {0x70, 0, 0x05, 0,    0,    0, 0, 10, 0,
                                                      0,    0, 0,    0x24, 0x00, 0, 0, 0,  0};
const std::vector<std::uint8_t> kDescriptorInvalidField = {0x72, 0x05, 0x24, 0x00, 0, 0, 0, 0};

// The tool's selection of the drive sends two commands (its identity and
// its label); the faults below hit the commands of the subcommand itself.
constexpr int kSelection = 2;
// Reading the settings with read-error handling on takes five status reads.
constexpr int kSettingsRead = 5;
// The INQUIRY's allocation length, and its bytes up to the vendor and the
// first four bytes of the product.
constexpr std::uint32_t kInquiryAllocation = 254;
constexpr std::uint32_t kVendorAndFour = 20;

struct ToolFaultRow {
  std::string name;
  std::string action;                         // of the tool's table
  std::function<void(KernelDevices&)> fault;  // after the action's setup
  int exitCode;
  std::function<test::Sequence(const test::Sequence&)> expected;  // from the fault-free sequence
  std::string output;                                             // a text the output must hold
};

test::Sequence Nothing(const test::Sequence&) { return {}; }

// The set's third command refused: nothing after it, then the settings read again.
test::Sequence SetRefusedPartWay(const test::Sequence& s) {
  test::Sequence sent(s.begin(), s.begin() + kSelection + kSettingsRead + 3);
  sent.insert(sent.end(), s.end() - kSettingsRead, s.end());
  return sent;
}
test::Sequence Selection(const test::Sequence& sequence) {
  return test::Sequence(sequence.begin(), sequence.begin() + kSelection);
}

TEST(ToolKernelPath, FaultsAtTheKernelBoundary) {
  const std::vector<ToolFaultRow> rows = {
      {"the ioctl fails with EIO", "settings", [](KernelDevices& d) { d.QueueFault("sr0", Failing(EIO, kSelection)); },
       1, Unchanged, "Input/output error"},
      {"the drive is pulled out while open: ENODEV", "settings",
       // Every read fails, so the drive reads as all off: no read of the real-time switch.
       [](KernelDevices& d) { d.QueueFault("sr0", Failing(ENODEV, kSelection, 100)); }, 1,
       [](const test::Sequence& s) { return test::Sequence(s.begin(), s.end() - 1); }, "No such device"},
      {"the drive is gone before the run", "settings", [](KernelDevices& d) { d.Unplug("sr0"); }, 3, Nothing,
       "No such file or directory"},
      {"no access to the node: EACCES", "settings", [](KernelDevices& d) { d.FailOpens("sr0", EACCES); }, 77, Nothing,
       "Permission denied"},
      {"another program holds the node: EBUSY", "settings", [](KernelDevices& d) { d.FailOpens("sr0", EBUSY); }, 9,
       Nothing, "the drive is in use by another program"},
      // The label's INQUIRY is the selection's second command: what it did not say is shown as nothing.
      {"the INQUIRY fails with EIO", "settings",
       [](KernelDevices& d) { d.QueueFault("sr0", Failing(EIO, kSelection - 1)); }, 1, Selection, "INQUIRY"},
      {"the INQUIRY is refused, fixed sense", "settings",
       [](KernelDevices& d) { d.QueueFault("sr0", Answering(kFixedInvalidField, kSelection - 1)); }, 1, Selection,
       "INQUIRY: the drive answered sense 5/24/00"},
      // The set's second SET CD SPEED is lost: no WRITE BUFFER after it, and
      // the drive's settings are read again (five reads, read-error handling on).
      {"a set that fails half-way: EIO", "set --quiet off --yes",
       [](KernelDevices& d) { d.QueueFault("sr0", Failing(EIO, kSelection + kSettingsRead + 1)); }, 10,
       [](const test::Sequence& s) {
         test::Sequence sent(s.begin(), s.begin() + kSelection + kSettingsRead + 2);
         sent.insert(sent.end(), s.end() - kSettingsRead, s.end());
         return sent;
       },
       "changing the settings stopped part-way:\n  taken: quiet-drive selection off\n  failed: quiet-drive setting "
       "off: SET CD SPEED: "},
      // The set's read-error page is refused after its two SET CD SPEEDs went
      // through: the run says what was taken and reads the drive again.
      {"a set refused part-way: EPERM", "set --quiet off --yes",
       [](KernelDevices& d) { d.QueueFault("sr0", Failing(EPERM, kSelection + kSettingsRead + 2)); }, 10,
       SetRefusedPartWay,
       "  taken: quiet-drive selection off; quiet-drive setting off\n  failed: read-error handling perfect, real-time "
       "off: WRITE BUFFER: "},
      {"a set refused part-way: EBUSY", "set --quiet off --yes",
       [](KernelDevices& d) { d.QueueFault("sr0", Failing(EBUSY, kSelection + kSettingsRead + 2)); }, 10,
       SetRefusedPartWay, "Device or resource busy"},
      // The feature read goes ahead of the clear; the kernel refuses the WRITE BUFFER after it.
      {"the kernel refuses WRITE BUFFER: EPERM", "clear",
       [](KernelDevices& d) { d.QueueFault("sr0", Failing(EPERM, kSelection + 1)); }, 77, Unchanged, "CAP_SYS_RAWIO"},
      {"a unit attention, fixed sense", "settings",
       [](KernelDevices& d) { d.QueueFault("sr0", Answering(kFixedReset, kSelection)); }, 0,
       [](const test::Sequence& s) { return Repeated(s, kSelection); }, "Quiet drive"},
      {"a unit attention, descriptor sense", "settings",
       [](KernelDevices& d) { d.QueueFault("sr0", Answering(kDescriptorReset, kSelection)); }, 0,
       [](const test::Sequence& s) { return Repeated(s, kSelection); }, "Quiet drive"},
      {"an illegal request, fixed sense", "eject",
       [](KernelDevices& d) { d.QueueFault("sr0", Answering(kFixedInvalidField, kSelection)); }, 1, Unchanged,
       "5/24/00"},
      {"an illegal request, descriptor sense", "eject",
       [](KernelDevices& d) { d.QueueFault("sr0", Answering(kDescriptorInvalidField, kSelection)); }, 1, Unchanged,
       "5/24/00"},
      // The counters come back without the last sector's frame: the kernel's
      // residual says so, and nothing the drive did not send is printed.
      {"a short transfer", "status", [](KernelDevices& d) { d.QueueFault("sr0", Shortened(24, kSelection + 1)); }, 1,
       Unchanged, "the drive moved only 8 of 32 bytes"},
      // A drive present but unopenable may be the one meant: a change without --device reaches neither.
      {"a second drive without access: EACCES", "factory-reset --yes, no drive named",
       [](KernelDevices& d) { d.FailOpens("sr1", EACCES); }, 2, Selection, "/dev/sr1 (Permission denied"},
      {"a second drive another program holds: EBUSY", "eject, no drive named",
       [](KernelDevices& d) { d.FailOpens("sr1", EBUSY); }, 2, Selection,
       "/dev/sr1 (Device or resource busy (the drive is in use by another program))"},
      // The quiet drive's identity comes back short: it is listed as unread, not left out.
      {"a short identity read", "list", [](KernelDevices& d) { d.QueueFault("sr0", Shortened(28, 0)); }, 1,
       [](const test::Sequence& s) {
         test::Sequence sent = s;
         sent.erase(sent.begin() + 1);  // no INQUIRY for its label
         return sent;
       },
       "/dev/sr0 : unusable: did not identify itself: READ BUFFER: the drive moved only 20 of 48 bytes"},
      {"a command that never completes", "settings",
       [](KernelDevices& d) {
         KernelFault fault;
         fault.kind = KernelFault::Kind::Timeout;
         fault.after = kSelection;
         d.QueueFault("sr0", fault);
       },
       1, Unchanged, "READ BUFFER: timed out"},
  };
  Drives drives("tool-faults");
  for (const ToolFaultRow& row : rows) {
    const test::ToolAction& action = ToolActionNamed(row.action);
    drives.SetUp([&](emu::EmulatedDrive& drive) {
      action.setup(drive);
      drive.SetCounters(3, 1000, 4500);
    });
    row.fault(drives.devices);
    const ToolRun run = RunTool(drives, action.arguments);
    EXPECT_EQ(run.exitCode, row.exitCode) << row.name << ":\n" << run.output;
    EXPECT_NE(run.output.find(row.output), std::string::npos) << row.name << ":\n" << run.output;
    ExpectLog(drives.devices.Log(), row.expected(action.expected), 64, row.name);
    drives.devices.Plug("sr0");
  }
}

// A signal while the drive holds the set's second command: the set goes out
// to its end, the drive is read again and shown, and only then does the run
// end, with the signal's status.
TEST(ToolKernelPath, ASignalDuringASetWaitsForTheSetAndItsReport) {
  Drives drives("tool-signal");
  const test::ToolAction& action = ToolActionNamed("set --quiet off --yes");
  for (const int signal : {SIGINT, SIGHUP, SIGTERM}) {
    SCOPED_TRACE(signal);
    drives.SetUp(action.setup);
    drives.devices.HoldAnswers("sr0", 300ms, kSelection + kSettingsRead + 1);
    const ToolRun run = RunTool(drives, action.arguments, [&](ChildProcess& tool) {
      ASSERT_TRUE(drives.devices.WaitForHeldCommand(30s)) << "the set's second command never came";
      tool.Signal(signal);
    });
    drives.devices.HoldAnswers("sr0", 0ms);
    EXPECT_EQ(run.exitCode, 128 + signal) << run.output;
    EXPECT_NE(run.output.find("Quiet drive          off"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("interrupted: the change was let finish first"), std::string::npos) << run.output;
    ExpectLog(drives.devices.Log(), action.expected, 64, action.name);
  }
}

// --- watches: what happens to the drives between the lines ---

// The first line the watch prints that holds `text`; everything it printed
// up to there is added to `seen`.
bool WaitForLine(ChildProcess& watch, const std::string& text, std::string& seen) {
  while (const std::optional<std::string> line = watch.ReadLine(15s)) {
    seen += *line + "\n";
    if (line->find(text) != std::string::npos) return true;
  }
  return false;
}

// What the watch prints until it ends, for at most `limit`.
void ReadToEnd(ChildProcess& watch, std::chrono::milliseconds limit, std::string& seen) {
  const auto end = std::chrono::steady_clock::now() + limit;
  for (auto now = std::chrono::steady_clock::now(); now < end; now = std::chrono::steady_clock::now()) {
    const std::optional<std::string> line =
        watch.ReadLine(std::chrono::duration_cast<std::chrono::milliseconds>(end - now));
    if (!line) return;
    seen += *line + "\n";
  }
}

struct WatchStep {
  std::string line;                                    // a text the next line to wait for holds
  std::function<void(KernelDevices&)> then = nullptr;  // what happens to the drives once it came
};

struct WatchRow {
  std::string name;
  std::vector<std::string> arguments;
  std::vector<WatchStep> steps;
  bool readerGoes;  // the reader stops reading after the last step, as head -1 does
  int exitCode;
  std::string never;  // a text no line may hold
};

// A drive replaced at the watched node by one of another firmware, with other counters.
void ReplaceQuietDrive(KernelDevices& devices) {
  emu::DriveModel other = emu::QuietDriveModel();
  other.revision = "1.07";
  devices.Attach("sr0", test::kQuietDrive, other);
  devices.WithDrives([](emu::EmulatedDevices& drives) { drives.Drive(test::kQuietDrive)->SetCounters(0, 5000, 0); });
}

void SayUdev(const char* action, const char* node) {
  EXPECT_EQ(test::AnnounceUdevEvent(action, "block", "disk", node), 0) << "udev's word could not be sent";
}

TEST(ToolKernelPath, WatchesFollowTheDrivesAndTheirReader) {
  const std::vector<WatchRow> rows = {
      // Another program holds the drive for a while: it is there all along.
      {"a busy drive under list --watch",
       {"list", "--watch", "--interval", "0.2"},
       {{"+ /dev/sr1",
         [](KernelDevices& d) {
           d.FailOpens("sr0", EBUSY);
           SayUdev("add", "sr7");
         }},
        {"! /dev/sr0 : unreadable: Device or resource busy (the drive is in use by another program)",
         [](KernelDevices& d) { d.FailOpens("sr0", 0); }},
        {"= /dev/sr0 : NORVANE BD-RE QDM-LT58"}},
       true,
       1,
       "- /dev/sr0"},
      // udev says a drive went, long before the watch's tick.
      {"a drive removed under list --watch",
       {"list", "--watch", "--interval", "60"},
       {{"+ /dev/sr1",
         [](KernelDevices& d) {
           d.Unplug("sr1");
           SayUdev("remove", "sr1");
         }},
        {"- /dev/sr1 : NORVANE BD-RE NBX-2400"}},
       true,
       1,
       "! /dev/sr1"},
      // The watched drive unplugged, another plugged in at its node: the
      // watch ends instead of showing the other drive's counters.
      {"a drive replaced under status --watch",
       {"-d", "{device}", "status", "--watch", "--interval", "0.2"},
       {{"sectors 1000", [](KernelDevices& d) { d.Unplug("sr0"); }}, {"no answer from the drive", ReplaceQuietDrive}},
       false,
       3,
       "sectors 5000"},
  };
  for (const WatchRow& row : rows) {
    SCOPED_TRACE(row.name);
    Drives drives("tool-watch");
    drives.SetUp([](emu::EmulatedDrive& drive) { drive.SetCounters(0, 1000, 0); });
    std::map<std::string, std::string> environment;
    ChildProcess watch(ToolCommand(drives, row.arguments, environment), environment);
    std::string seen;
    for (const WatchStep& step : row.steps) {
      if (!WaitForLine(watch, step.line, seen)) {
        ADD_FAILURE() << "no line with \"" << step.line << "\":\n" << seen;
        break;
      }
      if (step.then) step.then(drives.devices);
    }
    if (row.readerGoes) {
      watch.CloseOutput();
    } else {
      ReadToEnd(watch, 15s, seen);
    }
    EXPECT_EQ(watch.Wait(15s), row.exitCode) << seen;
    EXPECT_EQ(seen.find(row.never), std::string::npos) << seen;
  }
}

// --- norvane-drive.exe under Wine ---

// The program is named by the Windows builds' CTest (kernel_path_tool_x86,
// kernel_path_tool_x64), with its word size.
std::string Setting(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// The program without --emulate, its drive letters E: and G: the device
// nodes of the quiet and the general drive, in a Wine prefix beside it.
class WindowsTool {
 public:
  explicit WindowsTool(const Drives& drives)
      : m_program(Setting("NORVANE_TOOL_PROGRAM")),
        m_wine(Setting("NORVANE_WORD_SIZE"), std::filesystem::path(m_program).parent_path() / "kernel_path_wineprefix",
               drives) {}

  int WordSize() const { return Setting("NORVANE_WORD_SIZE") == "x64" ? 64 : 32; }

  ToolRun Run(std::vector<std::string> arguments, const std::function<void(ChildProcess&)>& meanwhile = nullptr) const {
    for (std::string& argument : arguments) {
      if (argument == "{device}") argument = std::string(1, test::kQuietDrive);
    }
    std::vector<std::string> command = {m_wine.Loader(), m_program};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return RunToEnd(command, m_wine.Environment(), meanwhile);
  }

 private:
  std::string m_program;
  Wine m_wine;
};

void ExpectWindowsToolNamed() {
  ASSERT_FALSE(Setting("NORVANE_TOOL_PROGRAM").empty() || Setting("NORVANE_WORD_SIZE").empty())
      << "run from the Windows builds' CTest";
}

// The bus power check's 26 seconds of real time are left to the Linux
// tool's run above: its commands are the same layer's, and Wine's side of
// them (the media change notification among them) is the window's run's.
TEST(WinToolKernelPath, EverySubcommandSendsItsSequence) {
  ASSERT_NO_FATAL_FAILURE(ExpectWindowsToolNamed());
  Drives drives("wintool", kStrictestAdapterAlignment);
  const WindowsTool tool(drives);
  for (const test::ToolAction& action : test::ToolActions()) {
    if (action.name == "power-check --yes") continue;
    drives.SetUp(action.setup);
    const ToolRun run = tool.Run(action.arguments);
    EXPECT_EQ(run.exitCode, action.exitCode) << action.name << ":\n" << run.output;
    ExpectLog(drives.devices.Log(), action.expected, tool.WordSize(), action.name);
  }
}

// What Windows makes of the kernel's refusals, and what the tool then says:
// access denied, on the open or on a command, names its likely causes (the
// drive held by another program, administrator rights, security software). (A node that is gone is no case
// here: Wine then opens the letter's folder, which takes no SCSI command.)
TEST(WinToolKernelPath, FaultsAtTheKernelBoundary) {
  ASSERT_NO_FATAL_FAILURE(ExpectWindowsToolNamed());
  const std::vector<ToolFaultRow> rows = {
      {"no access to the node: EACCES", "settings", [](KernelDevices& d) { d.FailOpens("sr0", EACCES); }, 77, Nothing,
       "E: cannot be opened: Access denied (Windows error 5): another program may be using the drive"},
      {"the kernel refuses WRITE BUFFER: EPERM", "clear",
       [](KernelDevices& d) { d.QueueFault("sr0", Failing(EPERM, kSelection + 1)); }, 77, Unchanged,
       "WRITE BUFFER: refused by Windows: Access denied (Windows error 5): another program may be using the drive"},
      {"the ioctl fails with EIO", "settings", [](KernelDevices& d) { d.QueueFault("sr0", Failing(EIO, kSelection)); },
       1, Unchanged, "READ BUFFER: refused by Windows"},
      {"a set refused part-way: EPERM", "set --quiet off --yes",
       [](KernelDevices& d) { d.QueueFault("sr0", Failing(EPERM, kSelection + kSettingsRead + 2)); }, 10,
       SetRefusedPartWay,
       "  failed: read-error handling perfect, real-time off: WRITE BUFFER: refused by Windows: Access denied "
       "(Windows error 5)"},
      {"a unit attention, descriptor sense", "settings",
       [](KernelDevices& d) { d.QueueFault("sr0", Answering(kDescriptorReset, kSelection)); }, 0,
       [](const test::Sequence& s) { return Repeated(s, kSelection); }, "Quiet drive"},
      // A letter Windows will not open may be the drive meant: a change without a letter reaches neither.
      {"a second letter access-denied: EACCES", "factory-reset --yes, no drive named",
       [](KernelDevices& d) { d.FailOpens("sr1", EACCES); }, 2, Selection,
       "\n  G (cannot be opened: Access denied (Windows error 5)"},
      // The general drive's INQUIRY (its second command) moves its vendor and
      // four bytes of its product into the bounce buffer that the earlier
      // answers filled: its label stops where its bytes stop.
      {"a short INQUIRY", "list",
       [](KernelDevices& d) { d.QueueFault("sr1", Shortened(kInquiryAllocation - kVendorAndFour, 1)); }, 0, Unchanged,
       "\nG : NORVANE BD-R\n"},
  };
  Drives drives("wintool-faults", kStrictestAdapterAlignment);
  const WindowsTool tool(drives);
  for (const ToolFaultRow& row : rows) {
    const test::ToolAction& action = ToolActionNamed(row.action);
    drives.SetUp(action.setup);
    row.fault(drives.devices);
    const ToolRun run = tool.Run(action.arguments);
    EXPECT_EQ(run.exitCode, row.exitCode) << row.name << ":\n" << run.output;
    EXPECT_NE(run.output.find(row.output), std::string::npos) << row.name << ":\n" << run.output;
    ExpectLog(drives.devices.Log(), row.expected(action.expected), tool.WordSize(), row.name);
    drives.devices.Plug("sr0");
  }
}

// Ctrl-C (Wine makes the console's event of SIGINT) while the drive holds
// the set's second command: the set and its reading back finish first.
TEST(WinToolKernelPath, CtrlCDuringASetWaitsForTheSetAndItsReport) {
  ASSERT_NO_FATAL_FAILURE(ExpectWindowsToolNamed());
  Drives drives("wintool-signal", kStrictestAdapterAlignment);
  const WindowsTool tool(drives);
  const test::ToolAction& action = ToolActionNamed("set --quiet off --yes");
  drives.SetUp(action.setup);
  drives.devices.HoldAnswers("sr0", 300ms, kSelection + kSettingsRead + 1);
  const ToolRun run = tool.Run(action.arguments, [&](ChildProcess& program) {
    ASSERT_TRUE(drives.devices.WaitForHeldCommand(60s)) << "the set's second command never came";
    program.Signal(SIGINT);
  });
  drives.devices.HoldAnswers("sr0", 0ms);
  EXPECT_EQ(run.exitCode, 130) << run.output;
  EXPECT_NE(run.output.find("Quiet drive          off"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("interrupted: the change was let finish first"), std::string::npos) << run.output;
  ExpectLog(drives.devices.Log(), action.expected, tool.WordSize(), action.name);
}

}  // namespace
}  // namespace norvane::kernel
