#include "drive/device_io.h"

#include <algorithm>

namespace norvane {
namespace {

// Stands in until an entry point installs a real implementation: nothing opens.
class NoDevices final : public DeviceIo {
 public:
  DeviceHandle Open(const wchar_t*, DeviceAccess) override { return kNoDevice; }
  bool PassThrough(DeviceHandle, const ScsiCommand&, ScsiReply&) override { return false; }
  bool PreventMediaChangeNotification(DeviceHandle) override { return false; }
  void Close(DeviceHandle) override {}
  void Sleep(std::uint32_t) override {}
};

NoDevices noDevices;
DeviceIo* installed = &noDevices;
WaitPause waitPause = nullptr;

}  // namespace

void InstallDeviceIo(DeviceIo& io) { installed = &io; }

DeviceIo& InstalledDeviceIo() { return *installed; }

void InstallWaitPause(WaitPause pause) { waitPause = pause; }

void WaitForDrive(std::uint32_t milliseconds) {
  if (!waitPause) {
    installed->Sleep(milliseconds);
    return;
  }
  for (std::uint32_t waited = 0; waited < milliseconds; waited += kWaitSliceMs) {
    installed->Sleep(std::min(kWaitSliceMs, milliseconds - waited));
    waitPause();
  }
}

}  // namespace norvane
