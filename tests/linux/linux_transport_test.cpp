// The Linux transport against the seam's contract, without hardware: the
// request sg_pt gets (block, direction, length, sense area, time-out), what
// an outcome turns into, and what happens on paths that are no SCSI device.
#include <fcntl.h>
#include <scsi/sg_pt.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include "cli_test_support.h"
#include "drive/device_io_linux.h"
#include "drive/drive_lock.h"
#include "tool/linux/drive_source_linux.h"

namespace norvane::test {
namespace {

namespace fs = std::filesystem;

struct RequestCase {
  const char* name;
  DataDirection direction;
  std::uint32_t length;
  int dataIn, dataOut;
};

TEST(LinuxTransport, HandsTheCommandToSgPtAsGiven) {
  const RequestCase cases[] = {
      {"read", DataDirection::In, 256, 256, 0},
      {"write", DataDirection::Out, 256, 0, 256},
      {"no data", DataDirection::None, 0, 0, 0},
      {"write without data", DataDirection::Out, 0, 0, 0},
  };
  const std::uint8_t cdb[kCdbLength] = {0x3C, 0x01, 0xF4, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0xA5};
  std::uint8_t data[256] = {};
  const auto check = [&](const RequestCase& c) {
    std::unique_ptr<sg_pt_base, void (*)(sg_pt_base*)> request(construct_scsi_pt_obj(), destruct_scsi_pt_obj);
    ScsiReply reply;
    std::fill(std::begin(reply.sense), std::end(reply.sense), 0xCC);
    const int timeout = PreparePassThrough(*request, {cdb, data, c.length, c.direction, 360}, reply);
    EXPECT_EQ(timeout, 360);
    ASSERT_EQ(get_scsi_pt_cdb_len(request.get()), 12);
    EXPECT_TRUE(std::equal(cdb, cdb + 12, get_scsi_pt_cdb_buf(request.get())));
    int dataIn = -1, dataOut = -1;
    get_pt_req_lengths(request.get(), &dataIn, &dataOut);
    EXPECT_EQ(dataIn, c.dataIn);
    EXPECT_EQ(dataOut, c.dataOut);
    EXPECT_EQ(get_scsi_pt_sense_buf(request.get()), reply.sense) << "sense lands in the reply";
    for (int i = 0; i < 18; ++i) EXPECT_EQ(reply.sense[i], 0) << "18 bytes asked for, cleared first";
    EXPECT_EQ(reply.sense[18], 0xCC);
  };
  for (const RequestCase& c : cases) {
    SCOPED_TRACE(c.name);
    check(c);
  }
}

struct OutcomeCase {
  const char* name;
  PassThroughOutcome outcome;
  bool delivered;
  std::uint8_t status;
  const char* failure;
};

TEST(LinuxTransport, AnOutcomeIsTheDrivesAnswerOrAFailure) {
  const OutcomeCase cases[] = {
      {"good", {0, SCSI_PT_RESULT_GOOD, 0, 0, 0}, true, 0, ""},
      {"check condition", {0, SCSI_PT_RESULT_SENSE, 2, 0, 0}, true, 2, ""},
      {"busy", {0, SCSI_PT_RESULT_STATUS, 8, 0, 0}, true, 8, ""},
      {"refused without CAP_SYS_RAWIO",
       {-EPERM, 0, 0, 0, 0},
       false,
       0,
       "refused by the operating system: Operation not permitted (the command needs CAP_SYS_RAWIO)"},
      {"not a SCSI device",
       {-ENOTTY, 0, 0, 0, 0},
       false,
       0,
       "refused by the operating system: Inappropriate ioctl for device"},
      {"device gone",
       {0, SCSI_PT_RESULT_OS_ERR, 0, ENODEV, 0},
       false,
       0,
       "failed in the operating system: No such device"},
      {"transport", {0, SCSI_PT_RESULT_TRANSPORT_ERR, 0, 0, 1}, false, 0, "lost by the transport (error 1)"},
      {"time-out", {SCSI_PT_DO_TIMEOUT, 0, 0, 0, 0}, false, 0, "timed out"},
      {"bad parameters", {SCSI_PT_DO_BAD_PARAMS, 0, 0, 0, 0}, false, 0, "not accepted by the pass-through library"},
  };
  for (const OutcomeCase& c : cases) {
    SCOPED_TRACE(c.name);
    ScsiReply reply;
    EXPECT_EQ(TakeOutcome(c.outcome, reply), c.delivered);
    EXPECT_EQ(reply.status, c.status);
    EXPECT_EQ(DescribeFailure(c.outcome), c.failure);
  }
}

struct ResidualCase {
  const char* name;
  int category;
  std::uint32_t length;
  int residual;
  std::uint32_t moved;
};

// sg_pt reports what did not move; the reply carries what did.
TEST(LinuxTransport, TheBytesMovedAreTheLengthLessTheResidual) {
  const ResidualCase cases[] = {
      {"all of it", SCSI_PT_RESULT_GOOD, 256, 0, 256},
      {"one byte", SCSI_PT_RESULT_GOOD, 256, 255, 1},
      {"nothing", SCSI_PT_RESULT_GOOD, 256, 256, 0},
      {"a check condition before the data", SCSI_PT_RESULT_SENSE, 32, 32, 0},
      {"a residual past the length", SCSI_PT_RESULT_GOOD, 256, 300, 0},
      {"a negative residual", SCSI_PT_RESULT_GOOD, 256, -4, 256},
      {"no data phase", SCSI_PT_RESULT_GOOD, 0, 0, 0},
  };
  for (const ResidualCase& c : cases) {
    SCOPED_TRACE(c.name);
    ScsiReply reply;
    EXPECT_TRUE(TakeOutcome({0, c.category, 0, 0, 0, c.length, c.residual}, reply));
    EXPECT_EQ(reply.transferred, c.moved);
  }
  ScsiReply lost;
  EXPECT_FALSE(TakeOutcome({0, SCSI_PT_RESULT_TRANSPORT_ERR, 0, 0, 1, 256, 0}, lost));
  EXPECT_EQ(lost.transferred, 0u) << "an answer that never came moved nothing";
}

// A scratch folder: a regular file, a folder, and fake device folders.
class ScratchFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    root = fs::temp_directory_path() / ("norvane-drive-test-" + std::to_string(getpid()));
    fs::create_directories(root / "dev");
    std::ofstream(root / "regular") << "not a drive";
  }
  void TearDown() override { fs::remove_all(root); }
  fs::path root;
};

struct OpenCase {
  const char* name;
  std::string path;
  int code;
  const char* why;
};

using LinuxOpen = ScratchFolder;

TEST_F(LinuxOpen, PathsThatAreNoScsiDeviceAreRefusedWithAReason) {
  const OpenCase cases[] = {
      {"missing", (root / "missing").string(), ENOENT, "No such file or directory"},
      {"regular file", (root / "regular").string(), ENOTTY, "not a device"},
      {"folder", root.string(), EISDIR, "Is a directory"},
      {"character device without SCSI", "/dev/null", ENOTTY, "not a SCSI device"},
  };
  LinuxDeviceIo io;
  for (const OpenCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(io.Open(WidePath(c.path).c_str(), DeviceAccess::ReadWrite), kNoDevice);
    EXPECT_EQ(io.LastError().code, c.code);
    EXPECT_EQ(io.LastError().text, c.path + ": " + c.why);
  }
}

TEST_F(LinuxOpen, AnOperatingSystemFailureIsAFailure) {
  LinuxDeviceIo io;
  const std::uint8_t* inquiry = kInquiry.data();
  std::uint8_t data[256] = {};
  ScsiReply reply;
  EXPECT_FALSE(io.PassThrough(kNoDevice, {inquiry, data, 254, DataDirection::In, 360}, reply));
  EXPECT_EQ(io.LastError().code, EBADF);

  // sg_pt itself, on a descriptor that takes no SCSI command: the kernel refuses SG_IO.
  const int fd = open((root / "regular").c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  EXPECT_FALSE(io.PassThrough(fd, {inquiry, data, 254, DataDirection::In, 360}, reply));
  close(fd);
  EXPECT_EQ(io.LastError().text, "refused by the operating system: Inappropriate ioctl for device");
  EXPECT_EQ(reply.status, 0);
  EXPECT_TRUE(std::all_of(std::begin(data), std::end(data), [](std::uint8_t b) { return b == 0; })) << "nothing read";
}

TEST(LinuxTransport, DevicePathsSurviveTheWideSeam) {
  for (const std::string path : {"/dev/sr0", "/dev/disk/by-id/usb-\xC3\xA9\x01"}) {
    EXPECT_EQ(NarrowPath(WidePath(path).c_str()), path);
  }
  EXPECT_EQ(NarrowPath(L"/dev/\u0100"), "") << "no Linux path has such a character";
}

// The tool on this machine's transport, given paths that are no drive.
class LinuxTool : public ScratchFolder {
 protected:
  class Machine final : public tool::Platform {
   public:
    explicit Machine(const fs::path& root) : source(root / "dev", root / "sys") {}
    tool::DriveSource& Drives(bool) override { return source; }
    bool Wait(std::chrono::milliseconds) override { return false; }
    tool::LinuxDriveSource source;
  };

  RunResult Run(const std::vector<std::string>& arguments) {
    Machine machine(root);
    std::istringstream in;
    std::ostringstream out, err;
    tool::Console console{in, out, err};
    const int code = tool::RunNorvaneDrive(arguments, console, machine);
    return {static_cast<Exit>(code), out.str(), err.str()};
  }
};

TEST_F(LinuxTool, ADeviceThatIsNoDriveStopsTheRunBeforeAnythingIsSent) {
  const struct {
    std::string device;
    const char* message;
  } cases[] = {
      {(root / "regular").string(), "regular: not a device"},
      {"/dev/null", "/dev/null: not a SCSI device"},
      {(root / "missing").string(), "missing: No such file or directory"},
      {"sr7", "dev/sr7: No such file or directory"},  // a bare name is looked for in the device folder
  };
  for (const auto& c : cases) {
    for (const char* subcommand : {"status", "eject", "settings"}) {
      SCOPED_TRACE(CommandLine({"--device", c.device, subcommand}));
      const RunResult result = Run({"--device", c.device, subcommand});
      EXPECT_EQ(result.exit, Exit::NoDrive);
      EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
      EXPECT_EQ(result.out, "");
    }
  }
}

TEST_F(LinuxTool, FakeDeviceNodesAreNoDrives) {
  for (const char* name : {"sr0", "sr10", "sg1", "srx", "sg"}) std::ofstream(root / "dev" / name) << "";
  const RunResult result = Run({"list"});
  EXPECT_EQ(result.exit, Exit::NoDrive) << result.err;
  EXPECT_NE(result.err.find("no supported drive found"), std::string::npos) << result.err;
}

TEST_F(LinuxTool, CandidatesAreSrThenOpticalSgNodesInNumberOrder) {
  for (const char* name : {"sr10", "sr2", "sg0", "sg3", "sg4", "srx", "sgy", "sda"}) {
    std::ofstream(root / "dev" / name) << "";
  }
  // sysfs: sg3 is sr2's twin, sg0 a disk; sg4 has no type to go by (and cannot be opened as a drive).
  fs::create_directories(root / "sys" / "devices" / "scsi" / "2:0:0:0");
  fs::create_directories(root / "sys" / "devices" / "scsi" / "0:0:0:0");
  std::ofstream(root / "sys" / "devices" / "scsi" / "0:0:0:0" / "type") << "0\n";
  const auto link = [&](const char* deviceClass, const char* node, const char* device) {
    fs::create_directories(root / "sys" / "class" / deviceClass / node);
    fs::create_directory_symlink(root / "sys" / "devices" / "scsi" / device,
                                 root / "sys" / "class" / deviceClass / node / "device");
  };
  link("block", "sr2", "2:0:0:0");
  link("scsi_generic", "sg3", "2:0:0:0");
  link("scsi_generic", "sg0", "0:0:0:0");
  tool::LinuxDriveSource source(root / "dev", root / "sys");
  std::vector<std::string> names;
  for (const tool::DeviceNode& node : source.Candidates()) names.push_back(fs::path(node.name).filename());
  EXPECT_EQ(names, (std::vector<std::string>{"sr2", "sr10", "sg4"}));
}

// One drive at SCSI address 2:0:0:0, laid out as the kernel shows it: its
// block node sr2 (device 11:2) and its generic node sg3 (21:3), with the
// links udev makes to them; and sg4, a node sysfs knows nothing of.
class DriveNames : public ScratchFolder {
 protected:
  void SetUp() override {
    ScratchFolder::SetUp();
    const fs::path address = root / "sys" / "devices" / "scsi" / "2:0:0:0";
    const auto device = [&](const char* deviceClass, const char* kind, const char* name, const char* number) {
      const fs::path folder = address / deviceClass / name;
      fs::create_directories(folder);
      fs::create_directory_symlink(address, folder / "device");
      std::ofstream(folder / "dev") << number << '\n';
      fs::create_directories(root / "sys" / "class" / deviceClass);
      fs::create_directory_symlink(folder, root / "sys" / "class" / deviceClass / name);
      fs::create_directories(root / "sys" / "dev" / kind);
      fs::create_directory_symlink(folder, root / "sys" / "dev" / kind / number);
    };
    device("block", "block", "sr2", "11:2");
    device("scsi_generic", "char", "sg3", "21:3");
    for (const char* node : {"sr2", "sg3", "sg4"}) std::ofstream(root / "dev" / node) << "";
    fs::create_directories(root / "dev" / "disk" / "by-id");
    fs::create_directories(root / "dev" / "char");
    fs::create_symlink("sr2", root / "dev" / "cdrom");
    fs::create_symlink("../../sg3", root / "dev" / "disk" / "by-id" / "usb-NORVANE_BD-RE-0:0");
    fs::create_symlink("../sg3", root / "dev" / "char" / "21:3");
    source = std::make_unique<tool::LinuxDriveSource>(root / "dev", root / "sys");
  }

  tool::DeviceNode Named(const std::string& name) const { return *source->Resolve(name); }
  std::wstring DrivePath(const std::string& name) const { return source->DrivePath(Named(name)); }
  std::string DriveOf(const std::string& name) const { return NarrowPath(DrivePath(name).c_str()); }
  std::string BlockDevice(const std::string& name) const { return source->BlockDeviceNumber(Named(name)); }

  std::unique_ptr<tool::LinuxDriveSource> source;
};

// Every name of the drive is the drive: the lock taken under one keeps out a
// change under any other, and the mount table is asked about its block
// device whichever was given.
TEST_F(DriveNames, EveryNameOfADriveIsTheOneDrive) {
  const std::string drive = (root / "dev" / "sr2").string();
  const struct {
    std::string name;
    std::string drive;
    std::string blockDevice;
  } cases[] = {
      {"sr2", drive, "11:2"},
      {"sg3", drive, "11:2"},  // the generic node at the same SCSI address
      {(root / "dev" / "cdrom").string(), drive, "11:2"},
      {(root / "dev" / "disk" / "by-id" / "usb-NORVANE_BD-RE-0:0").string(), drive, "11:2"},
      {(root / "dev" / "char" / "21:3").string(), drive, "11:2"},
      {"sg4", (root / "dev" / "sg4").string(), ""},  // no twin: itself, with no block device
  };
  const DriveLock held(DrivePath("sr2"));
  ASSERT_TRUE(held.Held());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(DriveOf(c.name), c.drive);
    EXPECT_EQ(BlockDevice(c.name), c.blockDevice);
    EXPECT_EQ(DriveLock(DrivePath(c.name)).Held(), c.drive != drive)
        << "a change under this name meets the lock taken under sr2";
  }
}

// A device node of any name (one made with mknod in another folder) is
// known by its device number.
TEST_F(DriveNames, ATwinNodeOfAnyNameIsKnownByItsDeviceNumber) {
  const fs::path generic = root / "drive-generic", block = root / "drive-block";
  if (mknod(generic.c_str(), S_IFCHR | 0600, makedev(21, 3)) != 0 ||
      mknod(block.c_str(), S_IFBLK | 0600, makedev(11, 2)) != 0) {
    GTEST_SKIP() << "device nodes cannot be made here: " << std::strerror(errno);
  }
  for (const fs::path& node : {generic, block}) {
    SCOPED_TRACE(node.string());
    EXPECT_EQ(DriveOf(node.string()), (root / "dev" / "sr2").string());
    EXPECT_EQ(BlockDevice(node.string()), "11:2");
  }
}

TEST(CapSysRawio, IsReadFromTheEffectiveSet) {
  const struct {
    const char* status;
    bool held;
  } cases[] = {
      {"Name:\tx\nCapEff:\t000001ffffffffff\n", true},
      {"CapPrm:\t0000000000020000\nCapEff:\t0000000000000000\n", false},
      {"CapEff:\t0000000000020000\n", true},
      {"CapEff:\t0000000000010000\n", false},
      {"CapEff:\tnonsense\n", false},
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(tool::HasEffectiveCapability(c.status, 17), c.held) << c.status;
}

TEST(UserNamespace, OnlyTheInitialOneMapsEveryUserIdOntoItself) {
  const struct {
    const char* uidMap;
    bool initial;
  } cases[] = {
      {"         0          0 4294967295\n", true},
      {"         0       1000          1\n", false},          // a rootless container
      {"         0     100000      65536\n", false},          // a subordinate id range
      {"         0          0 4294967295\n 1 1 1\n", false},  // no namespace maps more than everything
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(tool::IsInitialUserNamespace(c.uidMap), c.initial) << c.uidMap;
}

TEST(MountTable, TheMountPointOfADeviceNumber) {
  const std::string mountInfo =
      "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
      "97 22 11:0 / /media/user/My\\040Disc ro,nosuid shared:50 - udf /dev/sr0 ro\n";
  EXPECT_EQ(tool::MountPointOf(mountInfo, "11:0"), "/media/user/My Disc");
  EXPECT_EQ(tool::MountPointOf(mountInfo, "8:1"), "/");
  EXPECT_EQ(tool::MountPointOf(mountInfo, "11:1"), std::nullopt);
}

// The emulated drives' lock is a file in the user's runtime folder, readable
// by every user whatever the umask: another user's run can open it and take
// the lock in turn.
TEST(EmulatedDriveLock, ItsFileIsTheUsersAndReadableByEveryone) {
  const fs::path runtime = fs::temp_directory_path() / ("norvane-runtime-" + std::to_string(getpid()));
  fs::remove_all(runtime);
  fs::create_directories(runtime);
  const char* previous = std::getenv("XDG_RUNTIME_DIR");
  const std::string saved = previous != nullptr ? previous : "";
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  const mode_t umaskBefore = umask(077);
  {
    const DriveLock first(DevicePath('E'));
    EXPECT_TRUE(first.Held());
    std::vector<fs::path> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(runtime)) files.push_back(entry.path());
    ASSERT_EQ(files.size(), 1u) << "the lock file is in the runtime folder";
    EXPECT_EQ(fs::status(files.front()).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
    EXPECT_FALSE(DriveLock(DevicePath('E')).Held()) << "the file locks";
  }
  EXPECT_TRUE(DriveLock(DevicePath('E')).Held()) << "let go at the end";
  umask(umaskBefore);
  if (previous != nullptr) {
    setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
  } else {
    unsetenv("XDG_RUNTIME_DIR");
  }
  fs::remove_all(runtime);
}

}  // namespace
}  // namespace norvane::test
