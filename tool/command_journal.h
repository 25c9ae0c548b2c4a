// Watches every command on its way through the seam. The command layer
// passes over failures by design (a failed read reads as zeros, a setting
// command reports true); a command-line tool must not, so the journal keeps
// each failure for the tool to report.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "tool/drive_source.h"

namespace norvane::tool {

struct CommandFailure {
  std::array<std::uint8_t, kCdbLength> cdb{};
  bool unitAttention = false;  // only an event, which the transport repeats the command after
  std::string what;            // what went wrong, for the user
};

class CommandJournal final : public DeviceIo {
 public:
  explicit CommandJournal(DriveSource& source) : m_source(source) {}

  DeviceHandle Open(const wchar_t* path, DeviceAccess access) override;
  bool PassThrough(DeviceHandle device, const ScsiCommand& command, ScsiReply& reply) override;
  bool PreventMediaChangeNotification(DeviceHandle notification) override;
  void Close(DeviceHandle handle) override;
  void Sleep(std::uint32_t milliseconds) override;

  // A point to ask from: the failures of the commands sent after it.
  std::size_t Mark() const { return m_failures.size(); }
  std::vector<CommandFailure> FailuresSince(std::size_t mark) const;

 private:
  void Record(const ScsiCommand& command, std::string what, bool unitAttention = false);

  DriveSource& m_source;
  std::vector<CommandFailure> m_failures;
};

// "WRITE BUFFER" for 0x3B, and so on for the commands the tool sends.
std::string CommandName(std::uint8_t operation);
// The drive's answer in words: "sense 5/24/00 (invalid field in the command)".
std::string SenseText(const std::uint8_t* sense);

}  // namespace norvane::tool
