// The command blocks the utility sends, byte for byte as the drive's command
// interface gives them: what the tests expect to see on the wire.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "drive/device_io.h"

namespace norvane::test {

using Cdb = std::array<std::uint8_t, kCdbLength>;

// INQUIRY and the vendor buffers read with READ BUFFER.
inline constexpr Cdb kInquiry = {0x12, 0, 0, 0, 0xFE, 0, 0, 0, 0, 0, 0, 0};
inline constexpr Cdb kReadIdentity = {0x3C, 0x02, 0xF1, 0, 0, 0, 0, 0x00, 0x30, 0, 0, 0};
inline constexpr Cdb kReadStatus = {0x3C, 0x01, 0xF4, 0, 0, 0, 0, 0x01, 0x00, 0, 0, 0};
inline constexpr Cdb kReadCounters = {0x3C, 0x02, 0xF5, 0, 0, 0, 0, 0x00, 0x20, 0, 0, 0};
inline constexpr Cdb kReadPower = {0x3C, 0x02, 0xE6, 0x01, 0, 0, 0, 0, 0x08, 0, 0, 0};

// SET CD SPEED with the vendor control byte, and a 256-byte page to buffer 0xFA.
constexpr Cdb Speed(std::uint8_t control) { return {0xBB, 0, 0, 0, 0xFE, 0, 0, 0, 0, 0, control, 0}; }
inline constexpr Cdb kWritePage = {0x3B, 0x01, 0xFA, 0, 0, 0, 0, 0x01, 0x00, 0, 0, 0};
inline constexpr std::size_t kDataPageLength = 0x100;  // kWritePage's length, bytes 7 and 8

// The page kWritePage carries: `head`, then zeros to its length.
inline std::vector<std::uint8_t> DataPage(std::vector<std::uint8_t> head) {
  head.resize(kDataPageLength, 0);
  return head;
}

// The actions.
inline constexpr Cdb kClearCounters = {0x3B, 0x02, 0xF5, 0, 0, 0, 0, 0, 0, 0, 0, 0};
inline constexpr Cdb kEject = {0x1B, 0x01, 0, 0, 0x02, 0, 0, 0, 0, 0, 0, 0};
inline constexpr Cdb kOpenTray = {0x1B, 0x00, 0, 0, 0x02, 0, 0, 0, 0, 0, 0, 0};
inline constexpr Cdb kStop = {0x1B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
inline constexpr Cdb kStartPowerCheck = {0x3B, 0x02, 0xE6, 0x01, 0, 0, 0, 0, 0, 0, 0, 0};
inline constexpr Cdb kForceEject = {0x3B, 0x02, 0xE6, 0x02, 0, 0, 0, 0, 0, 0, 0, 0};
inline constexpr Cdb kReadDiscInfo = {0x51, 0, 0, 0, 0, 0, 0, 0, 0x22, 0, 0, 0};

// Whether a command changes what the drive holds or does (a setting, the
// counters, the tray, a measurement): WRITE BUFFER, SET CD SPEED and START
// STOP UNIT do; INQUIRY, READ BUFFER and READ DISC INFORMATION only read.
constexpr bool ChangesTheDrive(const Cdb& cdb) { return cdb[0] == 0x3B || cdb[0] == 0xBB || cdb[0] == 0x1B; }

}  // namespace norvane::test
