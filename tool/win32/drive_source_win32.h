// The optical drives of this Windows machine, by drive letter, through the
// Win32 pass-through the window uses.
#pragma once

#include "tool/drive_source.h"

namespace norvane::tool {

class Win32DriveSource final : public DriveSource, private DeviceIo {
 public:
  DeviceIo& Io() override { return *this; }
  // The letters C..Z that Windows has for CD/DVD drives, by the rule the
  // window scans with.
  std::vector<DeviceNode> Candidates() override;
  std::optional<DeviceNode> Resolve(const std::string& name) const override;
  SystemError LastError() const override { return m_lastError; }
  // A drive letter is the volume itself: Windows lets the disc go with its volume.
  std::optional<std::string> MountPoint(const DeviceNode&) const override { return std::nullopt; }
  // Nothing is refused in advance: Windows decides by the handle's access,
  // not by the command, and a refusal is reported as it comes.
  std::optional<std::string> WriteBufferRefusal() const override { return std::nullopt; }
  void DiscOffered(const DeviceNode&) override {}

 private:
  DeviceHandle Open(const wchar_t* path, DeviceAccess access) override;
  bool PassThrough(DeviceHandle device, const ScsiCommand& command, ScsiReply& reply) override;
  bool PreventMediaChangeNotification(DeviceHandle notification) override;
  void Close(DeviceHandle handle) override;
  void Sleep(std::uint32_t milliseconds) override;
  bool IsOpticalDrive(char letter) override;
  std::uint32_t LastErrorCode() const override;

  SystemError m_lastError;
};

// A Windows error code as the tool tells it: the errno value nearest to it,
// so that a refusal and an absence are told apart as on every system, and
// the system's words with the code.
SystemError Win32Error(unsigned long code, const std::string& doing);

}  // namespace norvane::tool
