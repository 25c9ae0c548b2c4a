#include "tool/command_trace.h"

#include <algorithm>
#include <cstdio>

#include "drive/channel.h"
#include "tool/text.h"

namespace norvane::tool {
namespace {

struct Named {
  std::uint8_t code;
  const char* name;
};

constexpr Named kCommands[] = {{0x12, "INQUIRY"},     {0x1B, "START STOP UNIT"},       {0x3B, "WRITE BUFFER"},
                               {0x3C, "READ BUFFER"}, {0x51, "READ DISC INFORMATION"}, {0xBB, "SET CD SPEED"}};

struct SenseMeaning {
  std::uint8_t key, asc;
  const char* meaning;
};

constexpr SenseMeaning kMeanings[] = {
    {0x2, 0x04, "not ready: the disc is becoming ready"},
    {0x2, 0x3A, "no disc in the drive"},
    {0x5, 0x20, "the drive does not know the command"},
    {0x5, 0x24, "invalid field in the command"},
    {0x5, 0x26, "invalid field in the data"},
    {0x5, 0x53, "the tray is locked by another program"},
    {0x6, 0x28, "the disc has changed"},
    {0x6, 0x29, "the drive was reset"},
};

std::string StatusText(std::uint8_t status, const SenseCode& sense) {
  if (status == kStatusCheckCondition) return SenseText(sense);
  char text[24];
  std::snprintf(text, sizeof text, "status %02X", status);
  return text;
}

std::string Hex(const std::uint8_t* bytes, std::size_t count) {
  std::string text;
  char byte[4];
  for (std::size_t i = 0; i < count; ++i) {
    std::snprintf(byte, sizeof byte, i == 0 ? "%02X" : " %02X", bytes[i]);
    text += byte;
  }
  return text;
}

std::string DataPhase(const ScsiCommand& command) {
  switch (command.direction) {
    case DataDirection::In: return "in " + std::to_string(command.transferLength);
    case DataDirection::Out: return "out " + std::to_string(command.transferLength);
    case DataDirection::None: break;
  }
  return "no data";
}

}  // namespace

std::string CommandName(std::uint8_t operation) {
  for (const Named& command : kCommands) {
    if (command.code == operation) return command.name;
  }
  char text[24];
  std::snprintf(text, sizeof text, "command %02X", operation);
  return text;
}

std::string SenseText(const SenseCode& sense) {
  char text[32];
  std::snprintf(text, sizeof text, "sense %X/%02X/%02X", sense.key, sense.asc, sense.ascq);
  for (const SenseMeaning& known : kMeanings) {
    if (known.key == sense.key && known.asc == sense.asc) return std::string(text) + " (" + known.meaning + ")";
  }
  return text;
}

std::string FailureText(const CommandResult& result, const std::string& systemError) {
  const std::string name = CommandName(result.operation) + ": ";
  switch (result.outcome) {
    case CommandOutcome::NotDelivered: return name + systemError;
    case CommandOutcome::Failed: return name + "the drive answered " + StatusText(result.status, result.senseCode);
    case CommandOutcome::Succeeded: break;
  }
  // A short answer: the rest of the buffer holds zeros the drive never sent.
  return name + "the drive moved only " + std::to_string(result.transferred) + " of " +
         std::to_string(result.requested) + " bytes";
}

DeviceHandle CommandTrace::Open(const wchar_t* path, DeviceAccess access) { return m_source.Io().Open(path, access); }

bool CommandTrace::PassThrough(DeviceHandle device, const ScsiCommand& command, ScsiReply& reply) {
  ScsiCommand timed = command;
  timed.timeoutSeconds = m_timeoutSeconds;
  if (m_verbosity == 0) return m_source.Io().PassThrough(device, timed, reply);
  m_out << "trace: " << CommandName(command.cdb[0]) << " [" << Hex(command.cdb, kCdbLength) << "] "
        << DataPhase(command) << ": ";
  const bool delivered = m_source.Io().PassThrough(device, timed, reply);
  if (!delivered) {
    m_out << "not delivered: " << Printable(OneLine(m_source.LastError().text)) << '\n';
  } else {
    m_out << (reply.status == 0 ? "good" : StatusText(reply.status, SenseCodeOf(reply.sense))) << ", "
          << reply.transferred << " bytes moved\n";
  }
  if (m_verbosity >= 2) TraceBytes(command, reply, delivered);
  return delivered;
}

void CommandTrace::TraceBytes(const ScsiCommand& command, const ScsiReply& reply, bool delivered) {
  const auto* data = static_cast<const std::uint8_t*>(command.data);
  if (command.direction == DataDirection::Out && data != nullptr) {
    m_out << "trace:   data out: " << Hex(data, command.transferLength) << '\n';
  }
  if (!delivered) return;
  if (command.direction == DataDirection::In && data != nullptr) {
    m_out << "trace:   data in: " << Hex(data, std::min(reply.transferred, command.transferLength)) << '\n';
  }
  if (reply.status != 0) m_out << "trace:   sense: " << Hex(reply.sense, kSenseRequestLength) << '\n';
}

bool CommandTrace::PreventMediaChangeNotification(DeviceHandle notification) {
  return m_source.Io().PreventMediaChangeNotification(notification);
}

void CommandTrace::Close(DeviceHandle handle) { m_source.Io().Close(handle); }

void CommandTrace::Sleep(std::uint32_t milliseconds) { m_source.Io().Sleep(milliseconds); }

}  // namespace norvane::tool
