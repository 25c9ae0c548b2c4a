#include "drive/device_io_linux.h"

#include <fcntl.h>
#include <scsi/sg.h>
#include <scsi/sg_pt.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>

#include "drive/sense_format.h"
#include "platform/freed_by.h"
#include "platform/unique_fd.h"

namespace norvane {
namespace {

using PassThroughPtr = std::unique_ptr<sg_pt_base, FreedBy<destruct_scsi_pt_obj>>;

// The host byte the kernel sets for a command that did not complete within its time-out (DID_TIME_OUT).
constexpr int kHostTimedOut = 0x03;

int Descriptor(DeviceHandle handle) { return static_cast<int>(handle); }

SystemError ErrorOf(int code, const std::string& what) { return {code, what + ": " + std::strerror(code)}; }

// Both the sg driver and the SCSI block devices answer this; a device node
// that does not (a terminal, /dev/null) cannot carry a SCSI command.
bool CarriesScsiCommands(int fd) {
  int version = 0;
  return ioctl(fd, SG_GET_VERSION_NUM, &version) == 0;
}

// Why a freshly opened descriptor is no SCSI device, or an empty text.
std::string RefusalOf(int fd) {
  struct stat status {};
  if (fstat(fd, &status) != 0) return std::strerror(errno);
  if (!S_ISCHR(status.st_mode) && !S_ISBLK(status.st_mode)) return "not a device";
  if (!CarriesScsiCommands(fd)) return "not a SCSI device";
  return {};
}

// A residual outside 0..length makes no sense: a negative one counts as none,
// one past the length as the whole length unmoved.
std::uint32_t BytesMoved(std::uint32_t length, int residual) {
  if (residual <= 0) return length;
  return static_cast<std::uint32_t>(residual) >= length ? 0 : length - static_cast<std::uint32_t>(residual);
}

}  // namespace

int PreparePassThrough(sg_pt_base& request, const ScsiCommand& command, ScsiReply& reply) {
  set_scsi_pt_cdb(&request, command.cdb, static_cast<int>(kCdbLength));
  set_scsi_pt_sense(&request, reply.sense, static_cast<int>(kSenseRequestLength));
  auto* data = static_cast<std::uint8_t*>(command.data);
  const int length = static_cast<int>(command.transferLength);
  if (command.direction == DataDirection::In) set_scsi_pt_data_in(&request, data, length);
  if (command.direction == DataDirection::Out) set_scsi_pt_data_out(&request, data, length);
  return static_cast<int>(command.timeoutSeconds);
}

bool TakeOutcome(const PassThroughOutcome& outcome, ScsiReply& reply) {
  if (outcome.submitted != 0) return false;
  switch (outcome.category) {
    case SCSI_PT_RESULT_GOOD:
    case SCSI_PT_RESULT_STATUS:
    case SCSI_PT_RESULT_SENSE:
      reply.status = static_cast<std::uint8_t>(outcome.scsiStatus);
      ToFixedFormatSense(reply.sense, sizeof reply.sense);
      reply.transferred = BytesMoved(outcome.transferLength, outcome.residual);
      return true;
    default: return false;  // transport or operating-system error: the drive's answer never came
  }
}

std::string DescribeFailure(const PassThroughOutcome& outcome) {
  if (outcome.submitted < 0) {
    const int code = -outcome.submitted;
    std::string text = std::string("refused by the operating system: ") + std::strerror(code);
    // The kernel passes only read-safe and write-safe commands for processes without it.
    if (code == EPERM) text += " (the command needs CAP_SYS_RAWIO)";
    return text;
  }
  if (outcome.submitted == SCSI_PT_DO_TIMEOUT) return "timed out";
  if (outcome.submitted != 0) return "not accepted by the pass-through library";
  switch (outcome.category) {
    case SCSI_PT_RESULT_TRANSPORT_ERR:
      // sg_pt reports a command the kernel gave up on as a transport error.
      if (outcome.transportError == kHostTimedOut) return "timed out";
      return "lost by the transport (error " + std::to_string(outcome.transportError) + ")";
    case SCSI_PT_RESULT_OS_ERR: return std::string("failed in the operating system: ") + std::strerror(outcome.osError);
    default: return {};
  }
}

DeviceHandle LinuxDeviceIo::Open(const wchar_t* path, DeviceAccess access) {
  const std::string name = NarrowPath(path);
  // Commands need the node open for writing: the kernel passes SET CD SPEED
  // only on such a descriptor. No blocking on a drive without a disc.
  const int flags = (access == DeviceAccess::ReadWrite ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_CLOEXEC;
  const int opened = scsi_pt_open_flags(name.c_str(), flags, 0);
  if (opened < 0) {
    m_lastError = ErrorOf(-opened, name);
    return kNoDevice;
  }
  UniqueFd fd(opened);
  if (const std::string refusal = RefusalOf(fd.Get()); !refusal.empty()) {
    m_lastError = {ENOTTY, name + ": " + refusal};
    return kNoDevice;
  }
  return fd.Release();  // the channel closes it (Close)
}

bool LinuxDeviceIo::PassThrough(DeviceHandle device, const ScsiCommand& command, ScsiReply& reply) {
  if (device == kNoDevice || command.cdb == nullptr || (command.transferLength != 0 && command.data == nullptr)) {
    m_lastError = {EBADF, "no open device to send the command to"};
    return false;
  }
  const PassThroughPtr request(construct_scsi_pt_obj());
  if (!request) {
    m_lastError = ErrorOf(ENOMEM, "pass-through request");
    return false;
  }
  const int timeout = PreparePassThrough(*request, command, reply);
  PassThroughOutcome outcome;
  outcome.transferLength = command.transferLength;
  outcome.submitted = do_scsi_pt(request.get(), Descriptor(device), timeout, 0);
  if (outcome.submitted == 0) {
    outcome.category = get_scsi_pt_result_category(request.get());
    outcome.scsiStatus = get_scsi_pt_status_response(request.get());
    outcome.osError = get_scsi_pt_os_err(request.get());
    outcome.transportError = get_scsi_pt_transport_err(request.get());
    outcome.residual = get_scsi_pt_resid(request.get());
  }
  if (TakeOutcome(outcome, reply)) return true;
  m_lastError = {outcome.submitted < 0 ? -outcome.submitted : outcome.osError, DescribeFailure(outcome)};
  return false;
}

bool LinuxDeviceIo::PreventMediaChangeNotification(DeviceHandle) { return false; }

void LinuxDeviceIo::Close(DeviceHandle handle) {
  if (handle != kNoDevice) scsi_pt_close_device(Descriptor(handle));
}

void LinuxDeviceIo::Sleep(std::uint32_t milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

const SystemError& LinuxDeviceIo::LastError() const { return m_lastError; }

std::wstring WidePath(const std::string& path) {
  std::wstring wide;
  for (unsigned char byte : path) wide += static_cast<wchar_t>(byte);
  return wide;
}

std::string NarrowPath(const wchar_t* path) {
  std::string narrow;
  for (; path != nullptr && *path != 0; ++path) {
    // Only this transport's own WidePath makes its paths; anything wider cannot name a Linux file.
    if (*path > 0xFF) return {};
    narrow += static_cast<char>(*path);
  }
  return narrow;
}

}  // namespace norvane
