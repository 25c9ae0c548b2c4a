// Multi-byte numbers in command blocks and in the drive's buffers are
// big-endian: most significant byte first.
#pragma once

#include <cstdint>

namespace norvane {

inline void PutBigEndian24(std::uint8_t* out, std::uint32_t value) {
  out[0] = static_cast<std::uint8_t>(value >> 16);
  out[1] = static_cast<std::uint8_t>(value >> 8);
  out[2] = static_cast<std::uint8_t>(value);
}

inline std::uint32_t BigEndian32(const std::uint8_t* in) {
  return (std::uint32_t{in[0]} << 24) | (std::uint32_t{in[1]} << 16) | (std::uint32_t{in[2]} << 8) |
         std::uint32_t{in[3]};
}

}  // namespace norvane
