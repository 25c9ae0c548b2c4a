// The emulated device seam: maps \\.\X: paths to emulated drives, runs sleeps
// on the virtual clock, and fails like the operating system does for a
// letter with nothing behind it or a drive that has gone.
#pragma once

#include <map>
#include <memory>

#include "drive/device_io.h"
#include "emulator/emulated_drive.h"
#include "emulator/virtual_clock.h"

namespace norvane::emu {

// The models the demo and the tests use.
DriveModel QuietDriveModel();    // "KTV 3364QR27", product with "QDM-LT58", real-time support
DriveModel GeneralDriveModel();  // "KTV 3364GENERAL", no real-time support
DriveModel ForeignDriveModel();  // another vendor; refuses the vendor buffers

class EmulatedDevices : public DeviceIo {
 public:
  EmulatedDrive& Attach(char letter, DriveModel model);
  void Detach(char letter);
  // Unplugging keeps the drive and its state; open handles to it go stale.
  void Unplug(char letter);
  void Plug(char letter);
  EmulatedDrive* Drive(char letter);  // null when nothing is attached there
  VirtualClock& Clock();
  int OpenHandleCount() const;        // handles opened and not yet closed

  DeviceHandle Open(const wchar_t* path, DeviceAccess access) override;
  bool PassThrough(DeviceHandle device, const ScsiCommand& command, ScsiReply& reply) override;
  bool PreventMediaChangeNotification(DeviceHandle notification) override;
  void Close(DeviceHandle handle) override;
  void Sleep(std::uint32_t milliseconds) override;
};

}  // namespace norvane::emu
