// Shared by the kernel-path tests of the tool and of the window: the drives
// behind their device nodes, and the comparison of what reached SG_IO with
// the expected sequences.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "action_sequences.h"
#include "child_process.h"
#include "kernel_devices.h"

namespace norvane::kernel {

// The quiet drive at sr0, the general one at sr1.
inline const std::map<std::string, char> kNodes = {{"sr0", test::kQuietDrive}, {"sr1", test::kGeneralDrive}};
// A removable drive that is no CD/DVD drive, as a USB stick or a card
// reader is: to Wine the floppy drive F:, whose device is this node. A
// Norvane drive behind it would answer whatever reached it; the programs
// must send it nothing.
inline constexpr char kRemovableLetter = 'F';
inline const std::string kRemovableNode = "fd2";

// A folder of this test's own under the build folder.
std::filesystem::path ScratchFolder(const std::string& name);
// The preloaded library's path with $LIB, which the loader replaces by each
// process's own library folder, so one setting serves 64-bit and 32-bit processes.
std::string PreloadPath();

// The strictest alignment a storage adapter asks of data buffers (512
// bytes). Wine hands the program's own buffer to SG_IO, so the Windows
// programs' runs keep their drives behind such an adapter.
constexpr std::uint32_t kStrictestAdapterAlignment = 0x1FF;

// The devices, with both drives attached (behind an adapter with
// `alignmentMask`) and their clock following real time, as the programs'
// own waits do.
struct Drives {
  explicit Drives(const std::string& name, std::uint32_t alignmentMask = 0);
  // Sets the quiet drive up and forgets the log.
  void SetUp(const std::function<void(emu::EmulatedDrive&)>& setup);
  std::map<std::string, std::string> Environment() const;

  KernelDevices devices;
};

struct ToolRun {
  int exitCode;
  std::string output;
};

// Runs a command to its end with its input closed: what it wrote, standard
// error after standard output, and its exit code. `meanwhile` runs once it
// has started, as it goes on.
ToolRun RunToEnd(const std::vector<std::string>& command, const std::map<std::string, std::string>& environment,
                 const std::function<void(ChildProcess&)>& meanwhile = nullptr);

// The commands of the log as the drives received them. A transfer of no
// bytes has no data phase whichever way it points: sg3_utils leaves it at
// SG_DXFER_NONE, Wine passes SG_DXFER_TO_DEV; both count as no data here,
// on either side of the comparison.
test::Sequence Received(const std::vector<KernelRecord>& log);
using test::WithoutEmptyDirections;

// The faults of the tables: after `after` commands that go through, the
// ioctl fails with `error` (`times` commands in a row), or the drive answers
// CHECK CONDITION with `sense`.
KernelFault Failing(int error, int after, int times = 1);
KernelFault Answering(std::vector<std::uint8_t> sense, int after = 0);
// After `after` commands, the drive carries out the next one but moves `shortBy` bytes fewer.
KernelFault Shortened(std::uint32_t shortBy, int after);
// A fault that changes nothing the drive receives: the fault-free sequence.
test::Sequence Unchanged(const test::Sequence& sequence);

// Expects the log to hold exactly `expected` (nothing for the removable
// drive among it), and every request to carry what the programs put into
// each: a 12-byte block, 18 bytes of sense room, the 360-second time-out,
// the word size of the program's process.
void ExpectLog(const std::vector<KernelRecord>& log, const test::Sequence& expected, int wordSize,
               const std::string& action);

}  // namespace norvane::kernel
