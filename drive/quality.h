// How the utility judges what a drive reports: the audio quality level from
// the error counters, the time code of a frame count, and the bus power
// verdict. Pure functions, shared by every front end.
#pragma once

#include <cstdint>
#include <string>

namespace norvane {

// The error level 0..8 of `errors` in `sectors` transferred audio sectors.
std::uint8_t QualityLevel(std::uint32_t errors, std::uint32_t sectors);
inline constexpr std::uint8_t kMaxQualityLevel = 8;

// The word a level is named by, and the colour band a level is drawn in.
enum class QualityWord : std::uint8_t { Perfect, Better, Good, NotGood, Bad, Fatal };
enum class QualityBand : std::uint8_t { Green, Yellow, Red };
QualityWord QualityWordOf(std::uint8_t level);
QualityBand QualityBandOf(std::uint8_t level);
// The English word, as the tool prints it and the history's CSV writes it.
const char* QualityWordName(QualityWord word);

// "mm:ss:ff" of a frame count at 75 frames a second; the minutes wrap after 255.
std::string FormatTimeCode(std::uint32_t frames);

// The bus power check reads 8 bytes; the value is bytes 4..7, most
// significant first. A drive that no longer answers at the end did not get
// enough power to finish the measurement.
inline constexpr std::size_t kPowerCheckLength = 8;
inline constexpr std::uint32_t kPowerCheckOffset = 0x10000;
inline constexpr std::uint32_t kSlightlyLowPowerLimit = 4400;
enum class PowerVerdict : std::uint8_t { NotEnough, SlightlyNotEnough, Enough };
std::uint32_t PowerValue(const std::uint8_t (&bytes)[kPowerCheckLength]);
PowerVerdict JudgePower(bool driveResponding, std::uint32_t powerValue);

}  // namespace norvane
