#include "drive/quality.h"

#include <cstdio>

#include "drive/big_endian.h"

namespace norvane {
namespace {

// The upper bound (exclusive) of the error ratio of levels 1..7; a ratio at
// or above the last bound is level 8.
constexpr double kLevelBounds[] = {0.000125, 0.00025, 0.000525, 0.001155, 0.0026565, 0.0079695, 0.031878};

constexpr std::uint32_t kFramesPerSecond = 75;
constexpr std::uint32_t kFramesPerMinute = 60 * kFramesPerSecond;

}  // namespace

std::uint8_t QualityLevel(std::uint32_t errors, std::uint32_t sectors) {
  if (sectors == 0) return 0;
  const double ratio = static_cast<double>(errors) / static_cast<double>(sectors);
  if (ratio == 0) return 0;
  std::uint8_t level = 1;
  for (double bound : kLevelBounds) {
    if (ratio < bound) return level;
    ++level;
  }
  return kMaxQualityLevel;
}

QualityWord QualityWordOf(std::uint8_t level) {
  switch (level) {
    case 0: return QualityWord::Perfect;
    case 1: return QualityWord::Better;
    case 2: return QualityWord::Good;
    case 3:
    case 4:
    case 5: return QualityWord::NotGood;
    case 6:
    case 7: return QualityWord::Bad;
    default: return QualityWord::Fatal;
  }
}

const char* QualityWordName(QualityWord word) {
  constexpr const char* kWords[] = {"Perfect", "Better", "Good", "Not Good", "Bad", "Fatal"};
  return kWords[static_cast<std::size_t>(word)];
}

QualityBand QualityBandOf(std::uint8_t level) {
  if (level <= 2) return QualityBand::Green;
  if (level <= 5) return QualityBand::Yellow;
  return QualityBand::Red;
}

std::string FormatTimeCode(std::uint32_t frames) {
  const unsigned minutes = (frames / kFramesPerMinute) % 256;
  const unsigned seconds = (frames % kFramesPerMinute) / kFramesPerSecond;
  const unsigned frame = frames % kFramesPerSecond;
  char text[16];
  std::snprintf(text, sizeof text, "%02u:%02u:%02u", minutes, seconds, frame);
  return text;
}

std::uint32_t PowerValue(const std::uint8_t (&bytes)[kPowerCheckLength]) { return BigEndian32(bytes + 4); }

PowerVerdict JudgePower(bool driveResponding, std::uint32_t powerValue) {
  if (!driveResponding) return PowerVerdict::NotEnough;
  return powerValue <= kSlightlyLowPowerLimit ? PowerVerdict::SlightlyNotEnough : PowerVerdict::Enough;
}

}  // namespace norvane
