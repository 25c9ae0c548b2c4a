#include "drive/readings.h"

namespace norvane {

RealTimeSupport ReadRealTimeSupport() {
  std::uint8_t status[kDriveStatusLength];
  const CommandResult read = ReadDriveStatus(status);
  return {status[kStatusRealTimeSupported] != 0, read};
}

QualityReading ReadQuality() {
  QualityReading reading;
  const RealTimeSupport support = ReadRealTimeSupport();
  reading.supported = support.supported;
  reading.read = support.read;
  if (!reading.supported) return reading;
  reading.counters = ReadErrorCounters();
  reading.read = Combined(reading.read, reading.counters.read);
  reading.level = QualityLevel(reading.counters.errorCount, reading.counters.transferredSectorCount);
  return reading;
}

PowerMeasurement ReadPowerMeasurement() {
  PowerMeasurement measurement;
  measurement.responding = IsDriveResponding();
  if (measurement.responding) {
    std::uint8_t bytes[kPowerCheckLength] = {};
    measurement.read = ReadVendorBuffer(PowerCheckBuffer, kDataBufferMode, kPowerCheckOffset, kPowerCheckLength, bytes);
    measurement.powerValue = PowerValue(bytes);
  }
  measurement.verdict = JudgePower(measurement.responding, measurement.powerValue);
  return measurement;
}

}  // namespace norvane
