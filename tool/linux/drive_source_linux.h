// The optical drives of this machine: /dev/sr* and the SCSI generic nodes
// /dev/sg* whose INQUIRY says CD/DVD, through the Linux transport.
#pragma once

#include <filesystem>

#include "drive/device_io_linux.h"
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
  // Links followed, the kernel's own name looked up by the device number
  // (any node of the device counts), and an sg node's sr twin in its place:
  // /dev/sg1, /dev/char/21:1 and a /dev/disk/by-id link all give /dev/sr0.
  std::wstring DrivePath(const DeviceNode& node) const override;
  SystemError LastError() const override { return m_io.LastError(); }
  // The block device behind the node (an sg node's sr twin), looked up in
  // the mount table.
  std::optional<std::string> MountPoint(const DeviceNode& node) const override;
  // The device number "major:minor" of the block device behind the node, as
  // the mount table names it, or empty text when it has none.
  std::string BlockDeviceNumber(const DeviceNode& node) const;
  std::optional<std::string> WriteBufferRefusal() const override;
  void DiscOffered(const DeviceNode&) override {}

 private:
  std::vector<std::filesystem::path> NumberedNodes(const std::string& prefix) const;
  std::filesystem::path SysfsDevice(const char* deviceClass, const std::filesystem::path& node) const;
  bool SysfsTypeIsOptical(const std::filesystem::path& node) const;
  static bool MayBeOptical(const DeviceNode& node);
  std::string KernelName(const std::filesystem::path& node) const;
  std::string DriveName(const std::filesystem::path& node) const;

  LinuxDeviceIo m_io;
  std::filesystem::path m_devices, m_sysfs;
};

// Whether the CapEff line of a /proc/<pid>/status text holds a capability.
bool HasEffectiveCapability(const std::string& procStatus, int capability);
// Whether a /proc/<pid>/uid_map text maps every user id onto itself, as only
// the initial user namespace does. Capabilities held in any other namespace
// do not reach a device node: the kernel refuses WRITE BUFFER there.
bool IsInitialUserNamespace(const std::string& uidMap);
// The mount point of the device "major:minor" in a /proc/<pid>/mountinfo text, or none.
std::optional<std::string> MountPointOf(const std::string& mountInfo, const std::string& device);

}  // namespace norvane::tool
