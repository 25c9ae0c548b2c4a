// The readings every front end takes of a drive and judges the same way:
// whether it supports real-time read-error handling, the quality of the audio
// data it reads, and the bus power it measured. Each carries how its reads
// went, so that a front end can tell the zeros of a failed or short read from
// values the drive reported.
#pragma once

#include <cstdint>

#include "drive/quality.h"
#include "drive/reads.h"

namespace norvane {

// DriveStatusBuffer byte 29.
struct RealTimeSupport {
  bool supported = false;
  CommandResult read;
};
RealTimeSupport ReadRealTimeSupport();

// The support byte, then, only from a drive that supports real-time handling
// (no other counts errors), the error counters and the level they give.
struct QualityReading {
  bool supported = false;
  ErrorCounters counters;
  std::uint8_t level = 0;
  CommandResult read;  // the status read and the counter read, as Combined reports them
};
QualityReading ReadQuality();

// Whether the drive still answers once it has measured, and only then the
// power value it reports; a drive the port could not feed has dropped off.
struct PowerMeasurement {
  bool responding = false;
  std::uint32_t powerValue = 0;
  PowerVerdict verdict = PowerVerdict::NotEnough;
  CommandResult read;  // the read of the power check buffer, when the drive responded
};
PowerMeasurement ReadPowerMeasurement();

}  // namespace norvane
