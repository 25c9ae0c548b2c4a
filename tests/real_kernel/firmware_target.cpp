#include "firmware_target.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>
#include <utility>

namespace norvane::realkernel {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr std::uint8_t kCheckCondition = 0x02;
constexpr std::uint8_t kBusy = 0x08;
constexpr std::uint8_t kWriteBuffer = 0x3B;
constexpr std::uint8_t kModeSelect6 = 0x15;
constexpr std::uint8_t kModeSelect10 = 0x55;

std::wstring DevicePathOf(char letter) { return std::wstring(L"\\\\.\\") + static_cast<wchar_t>(letter) + L":"; }

// The ring does not say which way the data goes; the command block does.
DataDirection DirectionOf(const TargetCommand& command) {
  if (command.dataInLength == 0) return command.cdb[0] == kWriteBuffer ? DataDirection::Out : DataDirection::None;
  switch (command.cdb[0]) {
    case kWriteBuffer:
    case kModeSelect6:
    case kModeSelect10: return DataDirection::Out;
    default: return DataDirection::In;
  }
}

std::string ReadLine(const fs::path& path) {
  std::ifstream file(path);
  std::string line;
  std::getline(file, line);
  return line;
}

// The one entry of a sysfs class folder under the SCSI device, e.g. "sr1".
std::string NodeUnder(const fs::path& device, const char* subfolder) {
  if (!fs::exists(device / subfolder)) return {};
  for (const fs::directory_entry& entry : fs::directory_iterator(device / subfolder)) {
    return "/dev/" + entry.path().filename().string();
  }
  return {};
}

}  // namespace

FirmwareTarget::FirmwareTarget() {
  m_devices.Attach(test::kQuietDrive, emu::QuietDriveModel());
  m_devices.Attach(test::kGeneralDrive, emu::GeneralDriveModel());
  m_devices.Clock().FollowRealTime(true);
  for (const char drive : {test::kQuietDrive, test::kGeneralDrive}) {
    m_handles[drive] = m_devices.Open(DevicePathOf(drive).c_str(), DeviceAccess::ReadWrite);
    m_backstores[drive] = std::make_unique<UserBackstore>(
        std::string("norvane_") + static_cast<char>(drive - 'A' + 'a'),
        [this, drive](const TargetCommand& command, TargetReply& reply) { Serve(drive, command, reply); });
  }
  m_loop = std::make_unique<LoopTarget>(std::vector<const UserBackstore*>{m_backstores.at(test::kQuietDrive).get(),
                                                                          m_backstores.at(test::kGeneralDrive).get()});
  // The kernel scans the new host on its own time; the nodes follow sr and sg binding.
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  while (BlockNode(test::kQuietDrive).empty() || GenericNode(test::kGeneralDrive).empty() ||
         BlockNode(test::kGeneralDrive).empty() || GenericNode(test::kQuietDrive).empty()) {
    if (std::chrono::steady_clock::now() > deadline) throw std::runtime_error("the target's drives did not appear");
    std::this_thread::sleep_for(100ms);
  }
}

FirmwareTarget::~FirmwareTarget() {
  if (m_remover.joinable()) m_remover.join();
  m_loop.reset();
  m_backstores.clear();
}

std::string FirmwareTarget::SysfsDevice(char drive) const {
  // The loop host's devices: target 1, LUN 0 for the quiet drive, 1 for the general one.
  const std::string lun = drive == test::kQuietDrive ? "0" : "1";
  for (const fs::directory_entry& entry : fs::directory_iterator("/sys/bus/scsi/devices")) {
    const std::string name = entry.path().filename().string();
    if (!std::isdigit(static_cast<unsigned char>(name[0])) || name.substr(name.rfind(':') + 1) != lun) continue;
    if (ReadLine(entry.path() / "vendor").rfind("NORVANE", 0) != 0) continue;
    return entry.path().string();
  }
  return {};
}

std::string FirmwareTarget::BlockNode(char drive) const {
  const std::string device = SysfsDevice(drive);
  return device.empty() ? std::string() : NodeUnder(device, "block");
}

std::string FirmwareTarget::GenericNode(char drive) const {
  const std::string device = SysfsDevice(drive);
  return device.empty() ? std::string() : NodeUnder(device, "scsi_generic");
}

void FirmwareTarget::SetUp(const std::function<void(emu::EmulatedDrive&)>& setup) {
  std::lock_guard lock(m_mutex);
  if (setup) setup(*m_devices.Drive(test::kQuietDrive));
  m_log.clear();
  m_faulted.clear();
}

test::Sequence FirmwareTarget::Log() const {
  std::lock_guard lock(m_mutex);
  return m_log;
}

std::string FirmwareTarget::DescribeLog() const { return test::Describe(Log()); }

void FirmwareTarget::ClearLog() {
  std::lock_guard lock(m_mutex);
  m_log.clear();
  m_faulted.clear();
}

test::Sequence FirmwareTarget::Faulted() const {
  std::lock_guard lock(m_mutex);
  return m_faulted;
}

void FirmwareTarget::InjectFault(char drive, TargetFault fault) {
  std::lock_guard lock(m_mutex);
  m_faults[drive] = fault;
}

void FirmwareTarget::Serve(char drive, const TargetCommand& command, TargetReply& reply) {
  std::optional<TargetFault> fault;
  {
    std::lock_guard lock(m_mutex);
    if (m_faults[drive] && m_faults[drive]->operation == command.cdb[0]) fault = std::exchange(m_faults[drive], {});
  }
  const bool answeredHere =
      fault && (fault->kind == TargetFault::Kind::Busy || fault->kind == TargetFault::Kind::CheckCondition);
  if (answeredHere) {
    test::ExpectedCommand seen{drive, {}, DataDirection::None, command.dataInLength, {}};
    std::copy_n(command.cdb.begin(), std::min(command.cdb.size(), kCdbLength), seen.cdb.begin());
    std::lock_guard lock(m_mutex);
    m_faulted.push_back(seen);
    reply.status = fault->kind == TargetFault::Kind::Busy ? kBusy : kCheckCondition;
    reply.sense = fault->sense;
    return;
  }
  if (fault && fault->kind == TargetFault::Kind::RemoveLunWhileHeld) {
    // The target waits for the held command before the LUN can go: another thread takes it away.
    if (m_remover.joinable()) m_remover.join();
    m_remover = std::thread([this, drive] { m_loop->RemoveLun(drive == test::kQuietDrive ? 0 : 1); });
  }
  if (fault) std::this_thread::sleep_for(fault->hold);

  // The firmware takes 12-byte blocks; the target keeps as many bytes as the
  // operation code's group says, so the rest is padded as a shorter block is.
  std::uint8_t cdb[kCdbLength] = {};
  std::copy_n(command.cdb.begin(), std::min(command.cdb.size(), kCdbLength), cdb);
  const DataDirection direction = DirectionOf(command);
  std::vector<std::uint8_t> data = command.dataOut;
  const ScsiCommand scsi{cdb, data.empty() ? nullptr : data.data(), command.dataInLength, direction};
  ScsiReply answer;
  std::lock_guard lock(m_mutex);
  test::ExpectedCommand record{drive, {}, direction, command.dataInLength, {}};
  std::copy_n(cdb, kCdbLength, record.cdb.begin());
  if (direction == DataDirection::Out) record.dataOut = command.dataOut;
  m_log.push_back(record);
  if (!m_devices.PassThrough(m_handles.at(drive), scsi, answer)) {
    // The firmware model's drive has left its bus: the target reports the LUN gone.
    reply.status = kCheckCondition;
    reply.sense = {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x25, 0x00, 0, 0, 0, 0};
    return;
  }
  reply.status = answer.status;
  if (answer.status != 0) {
    reply.sense.assign(answer.sense, answer.sense + kSenseAreaLength);
    return;
  }
  if (direction == DataDirection::In) reply.dataIn.assign(data.begin(), data.begin() + answer.transferred);
}

}  // namespace norvane::realkernel
