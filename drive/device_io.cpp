#include "drive/device_io.h"

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
WaitRunner waitRunner = nullptr;
CallRunner callRunner = nullptr;

}  // namespace

void InstallDeviceIo(DeviceIo& io) { installed = &io; }

DeviceIo& InstalledDeviceIo() { return *installed; }

void InstallWaitRunner(WaitRunner runner) { waitRunner = runner; }

void InstallCallRunner(CallRunner runner) { callRunner = runner; }

void RunDeviceCall(const std::function<void()>& call) {
  if (callRunner) {
    callRunner(call);
  } else {
    call();
  }
}

void WaitForDrive(std::uint32_t milliseconds) {
  if (!waitRunner) {
    installed->Sleep(milliseconds);
    return;
  }
  waitRunner(milliseconds, [](std::uint32_t slice) { installed->Sleep(slice); });
}

}  // namespace norvane
