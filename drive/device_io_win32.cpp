#include "drive/device_io_win32.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "drive/sense_format.h"

namespace norvane {
namespace {

static_assert(static_cast<int>(DataDirection::Out) == SCSI_IOCTL_DATA_OUT);
static_assert(static_cast<int>(DataDirection::In) == SCSI_IOCTL_DATA_IN);
static_assert(static_cast<int>(DataDirection::None) == SCSI_IOCTL_DATA_UNSPECIFIED);

HANDLE ToHandle(DeviceHandle handle) { return reinterpret_cast<HANDLE>(handle); }

DeviceHandle FromHandle(HANDLE handle) {
  return handle == INVALID_HANDLE_VALUE ? kNoDevice : reinterpret_cast<DeviceHandle>(handle);
}

// Adapters take data only at addresses their alignment mask allows, and a
// misaligned buffer fails with ERROR_INVALID_PARAMETER on some of them: data
// goes through a page-aligned buffer of the transport's own, which suits
// every adapter, whatever buffer the caller has. One per thread, grown to the
// largest transfer, so that a command allocates nothing once it has run.
class AlignedBuffer {
 public:
  AlignedBuffer() = default;
  AlignedBuffer(const AlignedBuffer&) = delete;
  AlignedBuffer& operator=(const AlignedBuffer&) = delete;
  ~AlignedBuffer() {
    if (m_bytes) VirtualFree(m_bytes, 0, MEM_RELEASE);
  }

  // Room for `length` bytes at a page boundary; null when the system has none.
  void* Reserve(std::uint32_t length) {
    if (length <= m_length) return m_bytes;
    if (m_bytes) VirtualFree(m_bytes, 0, MEM_RELEASE);
    m_bytes = VirtualAlloc(nullptr, length, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    m_length = m_bytes ? length : 0;
    return m_bytes;
  }

 private:
  void* m_bytes = nullptr;
  std::uint32_t m_length = 0;
};

class Win32DeviceIo final : public DeviceIo {
 public:
  DeviceHandle Open(const wchar_t* path, DeviceAccess access) override {
    // The notification handle must be opened without read or write access.
    const bool commands = access == DeviceAccess::ReadWrite;
    const HANDLE handle =
        CreateFileW(path, commands ? GENERIC_READ | GENERIC_WRITE : 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, commands ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY, nullptr);
    KeepLastError(handle != INVALID_HANDLE_VALUE);
    return FromHandle(handle);
  }

  bool PassThrough(DeviceHandle device, const ScsiCommand& command, ScsiReply& reply) override {
    thread_local AlignedBuffer aligned;
    ScsiCommand sent = command;
    if (command.transferLength != 0) {
      sent.data = aligned.Reserve(command.transferLength);
      if (!sent.data) return KeepLastError(false);
      if (command.direction == DataDirection::Out) std::memcpy(sent.data, command.data, command.transferLength);
    }
    PassThroughRequest request;
    FillPassThroughRequest(request, sent);
    DWORD returned = 0;
    const BOOL ok = DeviceIoControl(ToHandle(device), IOCTL_SCSI_PASS_THROUGH_DIRECT, &request, sizeof request,
                                    &request, sizeof request, &returned, nullptr);
    KeepLastError(ok != FALSE);
    TakeReply(request, reply);
    // Only what the drive moved comes back: the rest of the caller's buffer
    // keeps its zeros, never bytes of an earlier command.
    if (ok && command.direction == DataDirection::In && command.transferLength != 0) {
      std::memcpy(command.data, sent.data, std::min(reply.transferred, command.transferLength));
    }
    return ok != FALSE;
  }

  bool PreventMediaChangeNotification(DeviceHandle notification) override {
    DWORD prevent = 1;
    DWORD returned = 0;
    return KeepLastError(DeviceIoControl(ToHandle(notification), IOCTL_STORAGE_MCN_CONTROL, &prevent, sizeof prevent,
                                         nullptr, 0, &returned, nullptr) != FALSE);
  }

  void Close(DeviceHandle handle) override { CloseHandle(ToHandle(handle)); }

  void Sleep(std::uint32_t milliseconds) override { ::Sleep(milliseconds); }

  bool IsOpticalDrive(char letter) override {
    const wchar_t root[] = {static_cast<wchar_t>(static_cast<unsigned char>(letter)), L':', L'\\', L'\0'};
    return GetDriveTypeW(root) == DRIVE_CDROM;
  }

  std::uint32_t LastErrorCode() const override { return m_lastError; }

 private:
  // The calls may run on another thread than the one that asks why they
  // failed: the code is kept with the transport.
  bool KeepLastError(bool succeeded) {
    m_lastError = succeeded ? 0 : GetLastError();
    return succeeded;
  }

  std::uint32_t m_lastError = 0;
};

}  // namespace

void FillPassThroughRequest(PassThroughRequest& request, const ScsiCommand& command) {
  std::memset(&request, 0, sizeof request);
  SCSI_PASS_THROUGH_DIRECT& sptd = request.sptd;
  sptd.Length = sizeof(SCSI_PASS_THROUGH_DIRECT);
  sptd.CdbLength = kCdbLength;
  sptd.SenseInfoLength = kSenseRequestLength;
  sptd.DataIn = static_cast<UCHAR>(command.direction);
  sptd.DataTransferLength = command.transferLength;
  sptd.TimeOutValue = command.timeoutSeconds;
  sptd.DataBuffer = command.data;
  sptd.SenseInfoOffset = offsetof(PassThroughRequest, sense);
  std::memcpy(sptd.Cdb, command.cdb, kCdbLength);
}

void TakeReply(const PassThroughRequest& request, ScsiReply& reply) {
  reply.status = request.sptd.ScsiStatus;
  std::memcpy(reply.sense, request.sense, sizeof reply.sense);
  if (reply.status != 0) ToFixedFormatSense(reply.sense, sizeof reply.sense);
  reply.transferred = request.sptd.DataTransferLength;
}

DeviceIo& Win32Devices() {
  static Win32DeviceIo devices;
  return devices;
}

}  // namespace norvane
