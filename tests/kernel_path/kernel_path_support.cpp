#include "kernel_path_support.h"

#include <scsi/sg.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>
#include <utility>

#include "child_process.h"

namespace norvane::kernel {

std::filesystem::path ScratchFolder(const std::string& name) {
  // Short: a Unix socket's path has room for 107 bytes.
  return std::filesystem::temp_directory_path() / ("nk-" + name + "-" + std::to_string(getpid()));
}

std::string PreloadPath() { return std::string(NORVANE_KERNEL_SHIM_ROOT) + "/$LIB/libnorvane_kernel_shim.so"; }

Drives::Drives(const std::string& name, std::uint32_t alignmentMask) : devices(ScratchFolder(name)) {
  devices.Attach("sr0", test::kQuietDrive, emu::QuietDriveModel());
  devices.Attach("sr1", test::kGeneralDrive, emu::GeneralDriveModel());
  devices.Attach(kRemovableNode, kRemovableLetter, emu::QuietDriveModel());
  for (const auto& [node, letter] : kNodes) devices.RequireAlignment(node, alignmentMask);
  devices.WithDrives([](emu::EmulatedDevices& drives) { drives.Clock().FollowRealTime(true); });
}

void Drives::SetUp(const std::function<void(emu::EmulatedDrive&)>& setup) {
  devices.WithDrives([&](emu::EmulatedDevices& drives) { setup(*drives.Drive(test::kQuietDrive)); });
  devices.ClearFaults();
  devices.ClearLog();
}

std::map<std::string, std::string> Drives::Environment() const {
  return {{"LD_PRELOAD", PreloadPath()}, {"NORVANE_KERNEL_DEVICES", devices.Folder().string()}};
}

namespace {

// What a program wrote to standard error, which goes to a file.
std::string ReadAndForget(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  std::filesystem::remove(file);
  return text.str();
}

}  // namespace

ToolRun RunToEnd(const std::vector<std::string>& command, const std::map<std::string, std::string>& environment,
                 const std::function<void(ChildProcess&)>& meanwhile) {
  using namespace std::chrono_literals;
  ChildProcess tool(command, environment, ScratchFolder("tool-stderr").string());
  tool.CloseInput();
  if (meanwhile) meanwhile(tool);
  std::string output = tool.ReadAll(60s);
  output += ReadAndForget(ScratchFolder("tool-stderr"));
  return {tool.Wait(5s), output};
}

test::Sequence Received(const std::vector<KernelRecord>& log) {
  test::Sequence received;
  for (const KernelRecord& record : log) {
    test::ExpectedCommand command;
    command.drive = kNodes.contains(record.node) ? kNodes.at(record.node) : '?';
    std::copy_n(record.cdb.begin(), std::min(record.cdb.size(), kCdbLength), command.cdb.begin());
    command.direction = record.direction == SG_DXFER_FROM_DEV ? DataDirection::In
                        : record.direction == SG_DXFER_TO_DEV ? DataDirection::Out
                                                              : DataDirection::None;
    command.transferLength = record.transferLength;
    command.dataOut = record.dataOut;
    received.push_back(command);
  }
  return WithoutEmptyDirections(received);
}

void ExpectLog(const std::vector<KernelRecord>& log, const test::Sequence& expected, int wordSize,
               const std::string& action) {
  std::string seen;
  for (const KernelRecord& record : log) seen += Describe(record);
  EXPECT_EQ(Received(log), WithoutEmptyDirections(expected)) << action << "\nexpected:\n"
                                                             << test::Describe(expected) << "the kernel saw:\n"
                                                             << seen;
  for (const KernelRecord& record : log) {
    EXPECT_NE(record.node, kRemovableNode)
        << action << ": a command reached " << kRemovableLetter << ":, a removable drive that is no CD/DVD drive";
    EXPECT_EQ(record.cdb.size(), kCdbLength) << action;
    EXPECT_EQ(record.maxSense, kSenseRequestLength) << action;
    EXPECT_EQ(record.timeoutMs, kPassThroughTimeoutSeconds * 1000) << action;
    EXPECT_EQ(record.wordSize, wordSize) << action;
  }
}

KernelFault Failing(int error, int after, int times) {
  KernelFault fault;
  fault.error = error;
  fault.after = after;
  fault.times = times;
  return fault;
}

KernelFault Answering(std::vector<std::uint8_t> sense, int after) {
  KernelFault fault;
  fault.kind = KernelFault::Kind::Sense;
  fault.sense = std::move(sense);
  fault.after = after;
  return fault;
}

KernelFault Shortened(std::uint32_t shortBy, int after) {
  KernelFault fault;
  fault.kind = KernelFault::Kind::ShortTransfer;
  fault.shortBy = shortBy;
  fault.after = after;
  return fault;
}

test::Sequence Unchanged(const test::Sequence& sequence) { return sequence; }

}  // namespace norvane::kernel
