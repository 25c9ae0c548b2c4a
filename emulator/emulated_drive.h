// A model of the drive's firmware: it answers the command blocks the utility
// sends, validates them like the firmware does, keeps current and saved
// settings, a tray, a disc, error counters and the bus power measurement, and
// logs every command it receives.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "drive/device_io.h"
#include "emulator/virtual_clock.h"

namespace norvane::emu {

struct DriveModel {
  // Text fields are copied into their byte ranges as given and zero-padded;
  // a text longer than its field runs on into the next one (hostile input).
  std::string vendor = "NORVANE ";  // INQUIRY bytes 8..15
  std::string product;              // INQUIRY bytes 16..31
  std::string revision = "1.00";    // INQUIRY bytes 32..35
  std::string vendorSpecific;       // INQUIRY bytes 36..47
  std::string identity;             // IdentityBuffer bytes 16..31
  bool realTimeSupported = true;
  bool vendorBuffers = true;        // false: a drive of another vendor that refuses them
};

// The quiet mode numbers the drive reports in status bytes 2 and 3.
enum QuietModeNumber : std::uint8_t { QuietModeOff = 0, QuietModePerformance = 1, QuietModeQuiet = 2, QuietModePersistent = 3 };

struct DriveSettings {
  std::uint8_t quietMode = QuietModeQuiet;
  bool readErrorHandling = false;
  std::uint8_t readErrorMode = 0xFE;  // 0xFE perfect, 0x08 master (page byte 3)
  bool realTime = false;
  bool ejectAtPowerOn = false;
  bool operator==(const DriveSettings&) const = default;
};

enum class Tray { Closed, Open };
enum class Disc { Absent, BecomingReady, Ready };

struct LoggedCommand {
  std::array<std::uint8_t, kCdbLength> cdb{};
  DataDirection direction = DataDirection::None;
  std::uint32_t transferLength = 0;
  std::vector<std::uint8_t> dataOut;  // the bytes sent with direction Out
  std::uint8_t status = 0;            // what the drive answered
  std::array<std::uint8_t, kSenseRequestLength> sense{};
};

struct Sense {
  std::uint8_t key = 0, asc = 0, ascq = 0;
};

class EmulatedDrive {
 public:
  EmulatedDrive(DriveModel model, VirtualClock& clock);

  // Executes one command block; fills status and 18 bytes of fixed-format sense.
  void Execute(const ScsiCommand& command, ScsiReply& reply);

  // --- state, for tests and scripting ---
  const DriveModel& Model() const;
  DriveModel& MutableModel();           // e.g. a hostile INQUIRY text
  const DriveSettings& Current() const;
  const DriveSettings& Saved() const;
  void SetCurrent(const DriveSettings& settings);  // kept consistent like the firmware does
  void SetSaved(const DriveSettings& settings);
  Tray TrayState() const;
  Disc DiscState() const;
  std::uint32_t ErrorCount() const;
  std::uint32_t TransferredSectors() const;

  // Power cycle: unsaved settings fall back to the saved ones, unit attention
  // 6/29/00 is raised, and with eject at power-on the tray opens.
  void PowerCycle();
  // Puts a disc in and closes the tray (the disc becomes ready over time), or takes it out.
  void InsertDisc();
  void RemoveDisc();
  void SetBusPower(std::uint32_t value);  // what the measurement reports; below 4400 drops off the bus
  // Audio playback: `sectorsPerSecond` sectors a virtual second, one error every `errorsPer` sectors (0 = none).
  void StartAudio(std::uint32_t sectorsPerSecond, std::uint32_t sectorsPerError);
  void StopAudio();
  void SetCounters(std::uint32_t errors, std::uint32_t sectors, std::uint32_t lastFrame);
  // The next answers: each queued sense is answered once as CHECK CONDITION, ahead of anything else.
  void QueueSense(Sense sense, int times = 1);
  // Makes a buffer read answer these bytes instead of the modelled ones (raw decoder cases).
  void OverrideBuffer(std::uint8_t bufferId, std::vector<std::uint8_t> bytes);
  // Whether the drive is on the bus; a drive that is off answers nothing.
  bool Connected() const;

  const std::vector<LoggedCommand>& Log() const;
  void ClearLog();

 private:
  // (members are the emulator's own)
};

}  // namespace norvane::emu
