#include "drive/win32_device_io.h"

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

class Win32DeviceIo final : public DeviceIo {
 public:
  DeviceHandle Open(const wchar_t* path, DeviceAccess access) override {
    // The notification handle must be opened without read or write access.
    const bool commands = access == DeviceAccess::ReadWrite;
    return FromHandle(CreateFileW(path, commands ? GENERIC_READ | GENERIC_WRITE : 0,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  commands ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY, nullptr));
  }

  bool PassThrough(DeviceHandle device, const ScsiCommand& command, ScsiReply& reply) override {
    PassThroughRequest request;
    FillPassThroughRequest(request, command);
    DWORD returned = 0;
    const BOOL ok = DeviceIoControl(ToHandle(device), IOCTL_SCSI_PASS_THROUGH_DIRECT, &request, sizeof request,
                                    &request, sizeof request, &returned, nullptr);
    TakeReply(request, reply);
    return ok != FALSE;
  }

  bool PreventMediaChangeNotification(DeviceHandle notification) override {
    DWORD prevent = 1;
    DWORD returned = 0;
    return DeviceIoControl(ToHandle(notification), IOCTL_STORAGE_MCN_CONTROL, &prevent, sizeof prevent, nullptr, 0,
                           &returned, nullptr) != FALSE;
  }

  void Close(DeviceHandle handle) override { CloseHandle(ToHandle(handle)); }

  void Sleep(std::uint32_t milliseconds) override { ::Sleep(milliseconds); }
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
