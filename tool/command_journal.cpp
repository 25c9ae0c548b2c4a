#include "tool/command_journal.h"

#include <algorithm>
#include <cstdio>

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

bool IsUnitAttention(const std::uint8_t* sense) {
  return (sense[2] & 0x0F) == 0x6 && (sense[12] == 0x28 || sense[12] == 0x29) && sense[13] == 0x00;
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

std::string SenseText(const std::uint8_t* sense) {
  const std::uint8_t key = sense[2] & 0x0F;
  char text[32];
  std::snprintf(text, sizeof text, "sense %X/%02X/%02X", key, sense[12], sense[13]);
  for (const SenseMeaning& known : kMeanings) {
    if (known.key == key && known.asc == sense[12]) return std::string(text) + " (" + known.meaning + ")";
  }
  return text;
}

DeviceHandle CommandJournal::Open(const wchar_t* path, DeviceAccess access) { return m_source.Io().Open(path, access); }

bool CommandJournal::PassThrough(DeviceHandle device, const ScsiCommand& command, ScsiReply& reply) {
  // The transport repeats a command after a unit attention at once: the repetition settles it.
  if (!m_failures.empty() && m_failures.back().unitAttention &&
      std::equal(command.cdb, command.cdb + kCdbLength, m_failures.back().cdb.begin())) {
    m_failures.pop_back();
  }
  if (!m_source.Io().PassThrough(device, command, reply)) {
    Record(command, m_source.LastError().text);
    return false;
  }
  if (reply.status == 0x02) {
    Record(command, "the drive answered " + SenseText(reply.sense), IsUnitAttention(reply.sense));
  } else if (reply.status != 0) {
    char status[40];
    std::snprintf(status, sizeof status, "the drive answered status %02X", reply.status);
    Record(command, status);
  }
  return true;
}

bool CommandJournal::PreventMediaChangeNotification(DeviceHandle notification) {
  return m_source.Io().PreventMediaChangeNotification(notification);
}

void CommandJournal::Close(DeviceHandle handle) { m_source.Io().Close(handle); }

void CommandJournal::Sleep(std::uint32_t milliseconds) { m_source.Io().Sleep(milliseconds); }

std::vector<CommandFailure> CommandJournal::FailuresSince(std::size_t mark) const {
  if (mark >= m_failures.size()) return {};
  return {m_failures.begin() + static_cast<std::ptrdiff_t>(mark), m_failures.end()};
}

void CommandJournal::Record(const ScsiCommand& command, std::string what, bool unitAttention) {
  CommandFailure failure;
  std::copy_n(command.cdb, kCdbLength, failure.cdb.begin());
  failure.unitAttention = unitAttention;
  failure.what = CommandName(command.cdb[0]) + ": " + what;
  m_failures.push_back(std::move(failure));
}

}  // namespace norvane::tool
