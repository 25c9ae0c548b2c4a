// The preloaded library's 32-bit side, which Wine's 32-bit programs meet:
// a 32-bit process (under qemu's user-mode emulation, so that it runs also
// where the kernel cannot start 32-bit programs) is handed a descriptor of
// the device, as Wine's 64-bit server hands it over, and sends SG_IO with
// the 32-bit layout of sg_io_hdr. What it reads back must be what the
// device answered, field by field.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <sstream>

#include "child_process.h"
#include "kernel_path_support.h"
#include "protocol.h"

namespace norvane::kernel {
namespace {

using namespace std::chrono_literals;

// Opens the node as Wine's server does through the library: a connection
// and its greeting. Inherited by the child, unlike the test's other descriptors.
int OpenNode(const std::filesystem::path& node) {
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, node.c_str());
  const nk_open hello{NK_MAGIC, 2, getpid()};  // O_RDWR
  nk_open_reply reply{ENXIO};
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      write(fd, &hello, sizeof hello) != sizeof hello || read(fd, &reply, sizeof reply) != sizeof reply ||
      reply.error != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// Bytes as the probe prints them, each after a space.
std::string ProbeHex(const std::vector<std::uint8_t>& bytes, std::size_t limit) {
  std::string text;
  char byte[4];
  for (std::size_t i = 0; i < bytes.size() && i < limit; ++i) {
    std::snprintf(byte, sizeof byte, " %02X", bytes[i]);
    text += byte;
  }
  return text;
}

// The line the probe prints for a command the device answered with `record`.
std::string LineFor(const KernelRecord& record) {
  std::ostringstream line;
  line << "0 0 " << int{record.status} << ' ' << record.sense.size() << ' ' << record.hostStatus << ' '
       << record.driverStatus << ' ' << record.resid << " |" << ProbeHex(record.sense, record.sense.size()) << " |"
       << ProbeHex(record.dataIn, 8);
  return line.str();
}

TEST(Shim32, ThirtyTwoBitSgIoCarriesEveryField) {
  Drives drives("shim32", kStrictestAdapterAlignment);
  drives.SetUp([](emu::EmulatedDrive&) {});
  // The third command is refused: its sense must come back through the 32-bit header too.
  KernelFault refused;
  refused.kind = KernelFault::Kind::Sense;
  refused.sense = {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x24, 0x00, 0, 0, 0, 0};
  refused.after = 2;
  drives.devices.QueueFault("sr0", refused);
  const int fd = OpenNode(drives.devices.NodePath("sr0"));
  ASSERT_GE(fd, 0);
  std::map<std::string, std::string> environment = drives.Environment();
  environment.erase("LD_PRELOAD");  // for the guest only: qemu passes its environment on
  ChildProcess probe(
      {NORVANE_QEMU_I386, "-L", "/", "-E", "LD_PRELOAD=" + PreloadPath(), NORVANE_SG_IO_PROBE, std::to_string(fd)},
      environment);
  close(fd);
  probe.CloseInput();
  const std::string output = probe.ReadAll(60s);
  ASSERT_EQ(probe.Wait(10s), 0) << output;

  const std::vector<KernelRecord> log = drives.devices.Log();
  ASSERT_EQ(log.size(), 4u) << output;
  std::string expected = "block 11\n";
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(log[i].wordSize, 32);
    EXPECT_EQ(log[i].dataPageOffset, 0u);
    expected += LineFor(log[i]) + "\n";
  }
  // The misaligned buffer: its place in the page arrives, and the adapter's
  // refusal comes back as EINVAL with nothing else filled in.
  EXPECT_EQ(log[3].dataPageOffset, 1u);
  expected += "-1 " + std::to_string(EINVAL) + " 0 0 0 0 0 | |\n";
  EXPECT_EQ(output, expected);
  EXPECT_EQ(log[1].dataOut.size(), 256u);
  EXPECT_EQ(log[1].dataOut[0], 0x0F);
  EXPECT_EQ(log[2].status, 2);
}

}  // namespace
}  // namespace norvane::kernel
