// What Linux itself enforces on the way to a drive, met through the real
// sr and sg drivers: QEMU's CD models (someone else's drives, on USB
// mass storage, UAS and virtio-scsi), disc changes and removals, users
// without access, and other programs holding the drive.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "drive/drive_lock.h"
#include "firmware_target.h"
#include "real_kernel_support.h"
#include "tool/linux/drive_source_linux.h"

namespace norvane::realkernel {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Json = nlohmann::json;

constexpr int kNoDrive = 3;
constexpr int kDriveBusy = 9;
constexpr int kNotPermitted = 77;
constexpr int kInterrupted = 130;

std::string Vendor(const fs::path& device) {
  std::ifstream file(device / "vendor");
  std::string vendor;
  file >> vendor;
  return vendor;
}

// The sr nodes of QEMU's CD models, by the driver that made their SCSI host:
// "usb-storage" (usb-bot), "uas" (usb-uas), "virtio_scsi".
std::map<std::string, std::string> QemuDrives() {
  std::map<std::string, std::string> drives;
  for (const fs::directory_entry& entry : fs::directory_iterator("/sys/class/block")) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("sr", 0) != 0 || Vendor(entry.path() / "device") != "QEMU") continue;
    // .../<interface or virtio device>/hostN/targetN:C:T/N:C:T:L
    const fs::path host = fs::canonical(entry.path() / "device").parent_path().parent_path();
    drives[fs::canonical(host.parent_path() / "driver").filename().string()] = "/dev/" + name;
  }
  return drives;
}

bool WaitFor(const std::function<bool()>& condition, std::chrono::seconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(100ms);
  }
  return true;
}

class LinuxRules : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_target = new FirmwareTarget();
    StartUdev();
  }
  static void TearDownTestSuite() {
    StopUdev();
    delete s_target;
    s_target = nullptr;
  }
  static FirmwareTarget& Target() { return *s_target; }

 private:
  static FirmwareTarget* s_target;
};

FirmwareTarget* LinuxRules::s_target = nullptr;

// Each model is someone else's drive: the tool passes it over and says so
// when it is named, whether or not a disc is in (the sr driver refuses a
// plain open of an empty drive with ENOMEDIUM; the tool's must not be).
TEST_F(LinuxRules, QemuModelsAreNotOursAndTheToolSaysSo) {
  const std::map<std::string, std::string> drives = QemuDrives();
  ASSERT_EQ(drives.size(), 3u) << "usb-bot, usb-uas and virtio-scsi CD models expected";
  for (const auto& [kind, node] : drives) {
    SCOPED_TRACE(kind + " " + node);
    const ToolRun run = RunTool({"-d", node, "list"});
    Record("QEMU " + kind + " model: norvane-drive -d " + node + " list (" + run.Summary() + ")", run.output);
    EXPECT_EQ(run.exitCode, kNoDrive) << run.output;
    EXPECT_NE(run.output.find("is not a supported drive"), std::string::npos) << run.output;
  }
  const ToolRun all = RunTool({"list"});
  EXPECT_EQ(all.exitCode, 0) << all.output;
  EXPECT_EQ(all.output.find("QEMU"), std::string::npos) << "another maker's drive was listed: " << all.output;
}

// A disc taken out and put in through QEMU's monitor: the drive answers the
// next commands with UNIT ATTENTION (medium changed) and "no disc"; the tool
// takes each as the drive's answer, not as a fault of its own.
TEST_F(LinuxRules, ADiscChangeOnAQemuModelIsSurvived) {
  const std::string node = QemuDrives().at("uas");
  const std::string disc = std::string(std::getenv("NORVANE_GUEST_LOG")) + "/../disc.iso";
  for (const std::string& step :
       std::vector<std::string>{"eject -f uascd", "change uascd " + disc + " raw read-only"}) {
    SCOPED_TRACE(step);
    Record("monitor: " + step, Monitor(step));
    const ToolRun run = RunTool({"-d", node, "list"});
    Record("after '" + step + "': norvane-drive -d " + node + " list (" + run.Summary() + ")", run.output);
    EXPECT_EQ(run.exitCode, kNoDrive) << run.output;
    EXPECT_NE(run.output.find("is not a supported drive"), std::string::npos) << run.output;
  }
}

// The drive leaves the bus and comes back while list --watch and status
// --watch run; a QEMU model taken away meanwhile is no line of theirs.
TEST_F(LinuxRules, WatchesFollowADriveThatLeavesAndComesBack) {
  const std::string quiet = Target().BlockNode(test::kQuietDrive);
  kernel::ChildProcess list({ToolProgram(), "--json", "list", "--watch"}, {{"ASAN_OPTIONS", "detect_leaks=0"}});
  kernel::ChildProcess status({ToolProgram(), "--json", "-d", quiet, "status", "--watch"},
                              {{"ASAN_OPTIONS", "detect_leaks=0"}});
  std::string listed, watched;
  const auto listLine = [&list, &listed](const std::string& wanted) {
    while (std::optional<std::string> line = list.ReadLine(60s)) {
      listed += *line + "\n";
      if (line->find(wanted) != std::string::npos) return true;
    }
    return false;
  };
  const auto statusLine = [&status, &watched](const std::function<bool(const Json&)>& wanted) {
    while (std::optional<std::string> line = status.ReadLine(60s)) {
      watched += *line + "\n";
      if (wanted(Json::parse(*line, nullptr, false))) return true;
    }
    return false;
  };
  const auto reading = [](const Json& line) { return line.contains("level") && !line.contains("error"); };
  const auto noAnswer = [](const Json& line) { return line.contains("error"); };

  EXPECT_TRUE(listLine("QDM-LT58")) << listed;
  EXPECT_TRUE(statusLine(reading)) << watched;
  Target().Loop().RemoveLun(0);
  EXPECT_TRUE(WaitFor([&quiet] { return !fs::exists(quiet); }, 30s)) << "the kernel kept " << quiet;
  EXPECT_TRUE(listLine("\"left\"")) << listed;
  EXPECT_TRUE(statusLine(noAnswer)) << watched;

  Record("monitor: device_del bot", Monitor("device_del bot"));
  EXPECT_TRUE(WaitFor([] { return !QemuDrives().contains("usb-storage"); }, 30s)) << "the USB drive did not leave";

  Target().Loop().AddLun(0);
  EXPECT_TRUE(WaitFor([] { return !Target().BlockNode(test::kQuietDrive).empty(); }, 30s));
  EXPECT_TRUE(listLine("\"arrived\"")) << listed;
  if (Target().BlockNode(test::kQuietDrive) == quiet) {
    EXPECT_TRUE(statusLine(reading)) << "the watch did not find the drive again at " << quiet << "\n" << watched;
  }
  list.Signal(SIGINT);
  status.Signal(SIGINT);
  EXPECT_EQ(list.Wait(30s), kInterrupted);
  EXPECT_EQ(status.Wait(30s), kInterrupted);
  Record("list --watch while the quiet drive left and came back and QEMU's USB drive left", listed);
  Record("status --watch -d " + quiet + " meanwhile", watched);
  EXPECT_EQ(listed.find("QEMU"), std::string::npos) << "another maker's drive was shown: " << listed;
}

// A user the node does not let in, one it lets read only, and a drive
// another program holds with O_EXCL: each is told apart by its exit code.
TEST_F(LinuxRules, PermissionsAndExclusiveOpensAsLinuxHasThem) {
  const std::string node = Target().BlockNode(test::kQuietDrive);
  struct stat before {};
  ASSERT_EQ(stat(node.c_str(), &before), 0);

  chmod(node.c_str(), 0600);
  const ToolRun denied = RunTool({"-d", node, "settings"}, "daemon");
  Record("as daemon, node 0600: settings (" + denied.Summary() + ")", denied.output);
  EXPECT_EQ(denied.exitCode, kNotPermitted) << denied.output;
  EXPECT_NE(denied.output.find("ermission denied"), std::string::npos) << denied.output;

  chmod(node.c_str(), 0604);
  const ToolRun readOnly = RunTool({"-d", node, "set", "--quiet", "performance"}, "daemon");
  Record("as daemon, node 0604: set --quiet performance (" + readOnly.Summary() + ")", readOnly.output);
  EXPECT_EQ(readOnly.exitCode, kNotPermitted) << readOnly.output;
  chmod(node.c_str(), before.st_mode & 07777);

  // O_EXCL on an sr node claims the disk against other claims (mounts,
  // other O_EXCL opens) only: a second claim is refused, a plain open is not.
  const int held = open(node.c_str(), O_RDONLY | O_NONBLOCK | O_EXCL);
  ASSERT_GE(held, 0) << "O_EXCL open of " << node;
  const int second = open(node.c_str(), O_RDONLY | O_NONBLOCK | O_EXCL);
  const int secondError = errno;
  EXPECT_LT(second, 0);
  EXPECT_EQ(secondError, EBUSY);
  if (second >= 0) close(second);
  const ToolRun beside = RunTool({"-d", node, "settings"});
  close(held);
  Record("while another process holds " + node + " with O_EXCL: settings (" + beside.Summary() + ")", beside.output);
  EXPECT_EQ(beside.exitCode, 0) << "a plain open beside an exclusive claim is the kernel's to allow\n" << beside.output;
}

// The links udev made to a node, by-id first: a drive without a serial
// number (no VPD page 0x80) gets no by-id link, only the others.
std::vector<std::string> LinksTo(const std::string& node) {
  std::vector<std::string> links;
  for (const char* folder : {"/dev/disk/by-id", "/dev/disk/by-path", "/dev"}) {
    if (!fs::exists(folder)) continue;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
      if (entry.is_symlink() && fs::canonical(entry.path()) == fs::path(node)) links.push_back(entry.path().string());
    }
  }
  return links;
}

// The tool's drive lock is one lock whichever name the drive is reached by:
// the sr node, its sg node, or a link udev made. Each name is held once (by
// this process, as another copy of the tool takes it) and asked for by the next.
TEST_F(LinuxRules, TheDriveLockHoldsAcrossEveryNameOfTheDrive) {
  const std::string sr = Target().BlockNode(test::kQuietDrive);
  const std::vector<std::string> links = LinksTo(sr);
  std::string shown;
  for (const std::string& link : links) shown += link + "\n";
  Record("udev's links to " + sr, shown);
  // Without a link of udev's (a drive without a serial number gets no by-id
  // one), a link of our own stands for it: the tool follows either alike.
  const std::string link = links.empty() ? "/dev/norvane-drive-link" : links.front();
  if (links.empty()) fs::create_symlink(sr, link);
  const std::vector<std::string> names = {sr, Target().GenericNode(test::kQuietDrive), link};
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string& holder = names[i];
    const std::string& other = names[(i + 1) % names.size()];
    SCOPED_TRACE(holder + " held, " + other + " asked");
    const tool::LinuxDriveSource source;
    const std::optional<tool::DeviceNode> node = source.Resolve(holder);
    ASSERT_TRUE(node.has_value());
    const DriveLock held(source.DrivePath(*node));
    ASSERT_TRUE(held.Held());
    Target().ClearLog();
    const ToolRun eject = RunTool({"-d", other, "eject"});
    Record(holder + " held: norvane-drive -d " + other + " eject (" + eject.Summary() + ")", eject.output);
    EXPECT_EQ(eject.exitCode, kDriveBusy) << eject.output;
    for (const test::ExpectedCommand& command : Target().Log()) {
      EXPECT_NE(command.cdb[0], 0x1B) << "the eject reached the drive while another program held it";
    }
  }
}

}  // namespace
}  // namespace norvane::realkernel
