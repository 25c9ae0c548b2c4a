// Sense data in the layout the drive layer reads: a device may answer in
// the descriptor format (response code 72h or 73h) instead of the fixed one
// (70h, 71h); the sense key, ASC and ASCQ then sit in bytes 1 to 3 instead of
// 2, 12 and 13. Both transports hand the layer the fixed layout, so that a
// unit attention is recognised (and its command repeated) in either format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace norvane {

// Rewrites descriptor-format sense in `sense` (`length` bytes, at least 14)
// as fixed-format sense with the same key, ASC and ASCQ; leaves any other
// sense as it is.
inline void ToFixedFormatSense(std::uint8_t* sense, std::size_t length) {
  constexpr std::uint8_t kDescriptorCurrent = 0x72, kDescriptorDeferred = 0x73;
  constexpr std::uint8_t kFixedCurrent = 0x70, kFixedDeferred = 0x71;
  constexpr std::size_t kFixedLength = 18;
  const std::uint8_t code = sense[0] & 0x7F;
  if (length < 14 || (code != kDescriptorCurrent && code != kDescriptorDeferred)) return;
  const std::uint8_t key = sense[1] & 0x0F, asc = sense[2], ascq = sense[3];
  std::memset(sense, 0, length < kFixedLength ? length : kFixedLength);
  sense[0] = code == kDescriptorDeferred ? kFixedDeferred : kFixedCurrent;
  sense[2] = key;
  sense[7] = kFixedLength - 8;  // additional sense length
  sense[12] = asc;
  sense[13] = ascq;
}

}  // namespace norvane
