// The sense classifier on any 32 bytes a transport may hand back.
#include <cstdint>
#include <cstring>

#include "drive/channel.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::uint8_t sense[norvane::kSenseAreaLength] = {};
  std::memcpy(sense, data, size < sizeof sense ? size : sizeof sense);
  const norvane::SenseClass found = norvane::ClassifySense(sense);
  using enum norvane::SenseClass;
  if (found < SenseClean || found > SenseResetOccurred) __builtin_trap();
  return 0;
}
