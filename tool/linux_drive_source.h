// The optical drives of this machine: /dev/sr* and the SCSI generic nodes
// /dev/sg* whose INQUIRY says CD/DVD, through the Linux transport.
#pragma once

#include <filesystem>

#include "tool/drive_source.h"

namespace norvane::tool {

class LinuxDriveSource final : public DriveSource {
 public:
  // The folders are /dev and /sys on a real system; tests give their own.
  LinuxDriveSource(std::filesystem::path devices = "/dev", std::filesystem::path sysfs = "/sys");

  DeviceIo& Io() override { return m_io; }
  // The sr nodes, then the sg nodes that are no sr node's twin and report a
  // CD/DVD device (a node that cannot be opened stays listed, so that the
  // user hears why).
  std::vector<DeviceNode> Candidates() override;
  // A path as given; a bare name such as sr0 is taken from the device folder.
  std::optional<DeviceNode> Resolve(const std::string& name) const override;
  SystemError LastError() const override { return m_io.LastError(); }
  std::optional<std::string> WriteBufferRefusal() const override;
  void DiscOffered(const DeviceNode&) override {}

 private:
  std::vector<std::filesystem::path> NumberedNodes(const std::string& prefix) const;
  std::filesystem::path SysfsDevice(const char* deviceClass, const std::filesystem::path& node) const;
  bool SysfsTypeIsOptical(const std::filesystem::path& node) const;
  static bool MayBeOptical(const DeviceNode& node);

  LinuxDeviceIo m_io;
  std::filesystem::path m_devices, m_sysfs;
};

// Whether the CapEff line of a /proc/<pid>/status text holds a capability.
bool HasEffectiveCapability(const std::string& procStatus, int capability);

}  // namespace norvane::tool
