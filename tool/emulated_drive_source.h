// The emulated drives as a source: letters C..Z, named by their letter.
#pragma once

#include <memory>

#include "emulator/emulated_devices.h"
#include "tool/drive_source.h"

namespace norvane::tool {

class EmulatedDriveSource final : public DriveSource {
 public:
  explicit EmulatedDriveSource(emu::EmulatedDevices& devices) : m_devices(devices) {}

  DeviceIo& Io() override { return m_devices; }
  std::vector<DeviceNode> Candidates() override;
  // "E", "e", "E:" and \\.\E: all name the drive at E.
  std::optional<DeviceNode> Resolve(const std::string& name) const override;
  SystemError LastError() const override;
  std::optional<std::string> MountPoint(const DeviceNode&) const override { return std::nullopt; }
  std::optional<std::string> WriteBufferRefusal() const override { return std::nullopt; }
  // No hand can push the tray of an emulated drive: the tool closes it, on the disc it holds.
  void DiscOffered(const DeviceNode& node) override;

 private:
  emu::EmulatedDevices& m_devices;
};

// The demo's drives, for --emulate: attached at the first use, with time
// passing as it does for a person watching.
class DemoDrives {
 public:
  DriveSource& Source();

 private:
  emu::EmulatedDevices m_devices;
  std::unique_ptr<EmulatedDriveSource> m_source;
};

}  // namespace norvane::tool
