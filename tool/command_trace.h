// The commands in words: their names, the drive's answers, what went wrong
// with one that did not complete, and, with --trace, every command on its way
// through the seam.
#pragma once

#include <ostream>
#include <string>

#include "drive/command_result.h"
#include "tool/drive_source.h"

namespace norvane::tool {

// "WRITE BUFFER" for 0x3B, and so on for the commands the tool sends.
std::string CommandName(std::uint8_t operation);
// The drive's answer in words: "sense 5/24/00 (invalid field in the command)".
std::string SenseText(const SenseCode& sense);
// Why a command did not complete, after its name: "WRITE BUFFER: refused by
// the operating system: ...". `systemError` is what the system said of a
// command it could not deliver.
std::string FailureText(const CommandResult& result, const std::string& systemError);

// Passes every command on to the source's drives with the run's time-out;
// with a verbosity of 1 writes a line for each (the command block, its data
// phase and what came of it), with 2 also the data bytes and the sense data.
class CommandTrace final : public DeviceIo {
 public:
  CommandTrace(DriveSource& source, std::ostream& out, int verbosity, std::uint32_t timeoutSeconds)
      : m_source(source), m_out(out), m_verbosity(verbosity), m_timeoutSeconds(timeoutSeconds) {}

  DeviceHandle Open(const wchar_t* path, DeviceAccess access) override;
  bool PassThrough(DeviceHandle device, const ScsiCommand& command, ScsiReply& reply) override;
  bool PreventMediaChangeNotification(DeviceHandle notification) override;
  void Close(DeviceHandle handle) override;
  void Sleep(std::uint32_t milliseconds) override;
  bool IsOpticalDrive(char letter) override { return m_source.Io().IsOpticalDrive(letter); }
  std::uint32_t LastErrorCode() const override { return m_source.Io().LastErrorCode(); }

 private:
  void TraceBytes(const ScsiCommand& command, const ScsiReply& reply, bool delivered);

  DriveSource& m_source;
  std::ostream& m_out;
  int m_verbosity;
  std::uint32_t m_timeoutSeconds;
};

}  // namespace norvane::tool
