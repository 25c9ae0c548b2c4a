// The operation codes the firmware knows and the sense answers it gives, by
// their standard names.
#pragma once

#include <cstdint>

#include "emulator/emulated_drive.h"

namespace norvane::emu {

namespace opcode {
inline constexpr std::uint8_t kStartStopUnit = 0x1B;
inline constexpr std::uint8_t kInquiry = 0x12;
inline constexpr std::uint8_t kWriteBuffer = 0x3B;
inline constexpr std::uint8_t kReadBuffer = 0x3C;
inline constexpr std::uint8_t kReadDiscInformation = 0x51;
inline constexpr std::uint8_t kSetCdSpeed = 0xBB;
}  // namespace opcode

namespace sense {
inline constexpr Sense kBecomingReady{0x2, 0x04, 0x01};
inline constexpr Sense kNoMediumTrayClosed{0x2, 0x3A, 0x01};
inline constexpr Sense kNoMediumTrayOpen{0x2, 0x3A, 0x02};
inline constexpr Sense kInvalidOpcode{0x5, 0x20, 0x00};
inline constexpr Sense kInvalidFieldInCdb{0x5, 0x24, 0x00};
inline constexpr Sense kInvalidFieldInParameters{0x5, 0x26, 0x00};
inline constexpr Sense kRemovalPrevented{0x5, 0x53, 0x02};
inline constexpr Sense kMediumChanged{0x6, 0x28, 0x00};
inline constexpr Sense kPowerOnReset{0x6, 0x29, 0x00};
}  // namespace sense

inline constexpr std::uint8_t kStatusGood = 0x00;
inline constexpr std::uint8_t kStatusCheckCondition = 0x02;

}  // namespace norvane::emu
