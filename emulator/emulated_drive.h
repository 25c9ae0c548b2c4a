// A model of the drive's firmware: it answers the command blocks the utility
// sends, validates them like the firmware does, keeps current and saved
// settings, a tray, a disc, error counters and the bus power measurement, and
// logs every command it receives.
//
// Time-driven changes (a disc spinning up, playback counters, the bus power
// measurement, a tray pushed back in) are worked out from the virtual clock
// whenever the drive is asked, so advancing the clock is all a test has to do.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
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
  bool vendorBuffers = true;  // false: a drive of another vendor that refuses them and the vendor control byte
};

// A stretch of the disc that reads badly: from `firstFrame` up to (not
// including) `endFrame`, one sector in `sectorsPerError` has an error.
struct DamagedStretch {
  std::uint32_t firstFrame = 0;
  std::uint32_t endFrame = 0;
  std::uint32_t sectorsPerError = 1;
};

// The quiet mode numbers the drive reports in status bytes 2 and 3.
enum QuietModeNumber : std::uint8_t {
  QuietModeOff = 0,
  QuietModePerformance = 1,
  QuietModeQuiet = 2,
  QuietModePersistent = 3
};

// The defaults are the factory state.
struct DriveSettings {
  std::uint8_t quietMode = QuietModeQuiet;
  bool readErrorHandling = false;
  std::uint8_t readErrorMode = 0xFE;  // 0xFE perfect, 0x08 master (page byte 3)
  bool realTime = false;
  bool ejectAtPowerOn = false;
  bool operator==(const DriveSettings&) const = default;
};

enum class Tray { Closed, Open };
// The disc as the drive can read it: Absent also while a disc lies on the open tray (see HasDisc).
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
  std::uint8_t flags = 0;  // high bits of sense byte 2: 0x80 filemark, 0x40 end of medium, 0x20 incorrect length
};

// One answer as it goes back to the host: the SCSI status and the 18 sense bytes.
struct RawReply {
  std::uint8_t status = 0;
  std::array<std::uint8_t, kSenseRequestLength> sense{};
};

// Bus power: the measurement reports the value the drive gets. Below
// kBrownOutPower the drive cannot carry the measurement's load and drops off
// the bus kBrownOutAfterMs after the start; otherwise the value is reported
// once the measurement is done, kPowerMeasurementMs after the start (well
// inside the 25 seconds that the utility waits).
inline constexpr std::uint32_t kBrownOutPower = 4000;
inline constexpr std::uint32_t kDefaultBusPower = 5000;
inline constexpr std::uint64_t kBrownOutAfterMs = 3000;
inline constexpr std::uint64_t kPowerMeasurementMs = 20000;
// How long a loaded disc reports "becoming ready" unless InsertDisc says otherwise.
inline constexpr std::uint32_t kDefaultSpinUpMs = 2500;

class EmulatedDrive {
 public:
  // The drive starts on the bus in the factory state, with the tray closed on
  // a disc that is ready (its medium change already reported) and nothing pending.
  EmulatedDrive(DriveModel model, VirtualClock& clock);

  // Executes one command block. On CHECK CONDITION (status 2) it writes 18
  // bytes of fixed-format sense; on GOOD it leaves the sense area alone and
  // copies at most `transferLength` bytes of data in. The reply tells the
  // bytes moved: the data in that the drive had (fewer than asked for when
  // its buffer is shorter), or the data out it took.
  //
  // Order of answers: INQUIRY is always answered from the model (it neither
  // reports nor clears anything, so probes are never disturbed); every other
  // command first takes a queued reply, then a pending unit attention, and
  // only then is validated and carried out.
  void Execute(const ScsiCommand& command, ScsiReply& reply);

  // --- state, for tests and scripting ---
  const DriveModel& Model() const;
  DriveModel& MutableModel();  // e.g. a hostile INQUIRY text
  const DriveSettings& Current() const;
  const DriveSettings& Saved() const;
  void SetCurrent(const DriveSettings& settings);  // kept consistent like the firmware does
  Tray TrayState() const;
  Disc DiscState() const;
  bool HasDisc() const;   // a disc in the drive or on its open tray
  bool Spinning() const;  // whether a loaded disc turns: not after a stop or an eject
  std::uint32_t TransferredSectors() const;

  // Power cycle: unsaved settings fall back to the saved ones, unit attention
  // 6/29/00 is raised, and with eject at power-on the tray opens; otherwise a
  // loaded disc spins up again (becoming ready, then 6/28/00). Playback
  // stops, the counters, a removal lock and a measurement are lost.
  void PowerCycle();
  // Puts a disc on the tray and closes it: the disc is becoming ready for
  // `spinUpMs`, then raises 6/28/00 once and is ready.
  void InsertDisc(std::uint32_t spinUpMs = kDefaultSpinUpMs);
  // Takes the disc out: the tray opens (if it was closed) and stays open.
  void RemoveDisc();
  // Someone pushes the tray in; same as a load command.
  void CloseTray();
  // A person at the drive: a tray that opens with a disc on it (an eject, a
  // force eject) is pushed back in `afterMs` later, and the disc spins up as
  // after CloseTray. Nobody does (nullopt) unless asked; a tray closed or
  // emptied before then stays as it is.
  void SetTrayPushedInAfter(std::optional<std::uint32_t> afterMs);
  // Another program holds the medium removal lock: a normal eject is then
  // refused with 5/53/02, a force eject still opens the tray.
  void SetMediumRemovalPrevented(bool prevented);
  void SetBusPower(std::uint32_t value);  // what the measurement reports; below kBrownOutPower drops off the bus
  // Audio playback: `sectorsPerSecond` sectors a virtual second, one error every `sectorsPerError` sectors (0 = none);
  // the last sector's frame moves on by one per sector. Counting goes on from the current values.
  void StartAudio(std::uint32_t sectorsPerSecond, std::uint32_t sectorsPerError);
  void StopAudio();
  // Where the disc in the drive is scratched: sectors played inside these
  // stretches add their errors to the uniform rate of StartAudio.
  void SetDamage(std::vector<DamagedStretch> stretches);
  // The track from `firstFrame` up to (not including) `endFrame` plays over
  // and over; each time it starts again the drive counts that play anew,
  // from no errors and no sectors. Only a position inside the track repeats.
  void RepeatTrack(std::uint32_t firstFrame, std::uint32_t endFrame);
  void SetCounters(std::uint32_t errors, std::uint32_t sectors, std::uint32_t lastFrame);
  // The next answers to commands other than INQUIRY, ahead of anything else,
  // each once: a CHECK CONDITION with this sense, or a raw status and sense.
  void QueueSense(Sense sense, int times = 1);
  void QueueReply(RawReply reply, int times = 1);
  // Forgets the answers queued and not yet given.
  void ClearQueue();
  // Makes a valid buffer read answer these bytes instead of the modelled
  // ones (raw decoder cases); OverrideInquiry does the same for INQUIRY data.
  void OverrideBuffer(std::uint8_t bufferId, std::vector<std::uint8_t> bytes);
  void OverrideInquiry(std::vector<std::uint8_t> bytes);
  void ClearOverrides();

  // Whether the drive is on the bus; a drive that is off answers nothing.
  bool Connected() const;
  // Unplugging keeps every setting; plugging in again is a power-on and a new
  // session on the bus, so handles from an earlier session stay dead.
  void Unplug();
  void Plug();
  // The drive drops off the bus once it has carried out `commands` more
  // commands (a hub browning out in the middle of an action); 0 cancels.
  void DropOffAfter(std::uint32_t commands);
  std::uint32_t BusSession() const;

  const std::vector<LoggedCommand>& Log() const;
  void ClearLog();

 private:
  struct Answer {
    std::uint8_t status = 0;
    std::array<std::uint8_t, kSenseRequestLength> sense{};
    std::vector<std::uint8_t> data;  // data in, for a GOOD answer
    std::uint32_t dataOutTaken = 0;  // the bytes of data out the drive took in
  };
  struct Counters {
    std::uint32_t errors = 0, sectors = 0, lastFrame = 0;
  };
  static Answer Fail(Sense sense);
  Answer Respond(const ScsiCommand& command);
  Answer Inquiry(const ScsiCommand& command) const;
  Answer ReadBuffer(const ScsiCommand& command) const;
  Answer WriteBuffer(const ScsiCommand& command);
  Answer SetCdSpeed(const ScsiCommand& command);
  Answer StartStopUnit(const ScsiCommand& command);
  Answer ReadDiscInformation(const ScsiCommand& command) const;
  Answer WriteSettingPage(const std::uint8_t* page);
  Answer WriteReadErrorPage(const std::uint8_t* page);
  Answer WriteEjectPage(const std::uint8_t* page);
  Answer ClearCounters(const std::uint8_t*);
  Answer StartPowerMeasurement(const std::uint8_t*);
  Answer ForceEject(const std::uint8_t*);

  std::vector<std::uint8_t> InquiryData() const;
  std::vector<std::uint8_t> BufferData(std::uint8_t bufferId) const;
  std::vector<std::uint8_t> IdentityBuffer() const;
  std::vector<std::uint8_t> DriveStatusBuffer() const;
  std::vector<std::uint8_t> ErrorCounterBuffer() const;
  std::vector<std::uint8_t> PowerCheckBuffer() const;
  Sense NoMedium() const;
  std::optional<Sense> MediumNotReady() const;

  void ApplyQuietMode(DriveSettings& settings, std::uint8_t mode) const;
  void ApplyReadErrorHandling(DriveSettings& settings, const std::uint8_t* page) const;
  void Normalize(DriveSettings& settings) const;
  void OpenTray();
  void SpinUp(std::uint64_t sinceMs);
  bool TrayPushedIn() const;
  void LatchTrayPushedIn();
  std::uint64_t ReadyAtMs() const;
  void CatchUpWithClock();
  void AnnounceReadyDisc();
  Counters CountersNow() const;
  // The errors that uniform rate and damage give the frames [fromFrame, toFrame).
  std::uint64_t ErrorsPlaying(std::uint64_t fromFrame, std::uint64_t toFrame) const;
  std::uint64_t DamageErrors(std::uint64_t fromFrame, std::uint64_t toFrame) const;
  void RestartCounting(Counters from);
  bool DroppedOff() const;
  void LatchDropOff();
  bool MeasurementDone() const;

  DriveModel m_model;
  VirtualClock& m_clock;
  DriveSettings m_current, m_saved;

  Tray m_tray = Tray::Closed;
  bool m_hasDisc = true;
  bool m_spinning = true;
  bool m_removalPrevented = false;
  std::uint32_t m_spinUpMs = kDefaultSpinUpMs;
  std::uint64_t m_readyAtMs = 0;
  std::optional<std::uint32_t> m_pushInAfterMs;
  std::optional<std::uint64_t> m_pushInAtMs;  // when the open tray goes back in
  bool m_readyAnnounced = true;               // whether the medium change of the loaded disc has been raised

  std::deque<RawReply> m_queued;
  std::deque<Sense> m_attentions;

  Counters m_countedBase;
  std::uint64_t m_countingSinceMs = 0;
  std::uint32_t m_sectorsPerSecond = 0, m_sectorsPerError = 0;
  std::vector<DamagedStretch> m_damage;
  std::uint32_t m_trackFirstFrame = 0, m_trackEndFrame = 0;  // equal: no track repeats

  bool m_connected = true;
  std::uint32_t m_commandsBeforeDropOff = 0;  // 0: no drop-off pending
  std::uint32_t m_busSession = 1;
  std::uint32_t m_busPower = kDefaultBusPower;
  std::optional<std::uint64_t> m_measurementStartMs;

  std::map<std::uint8_t, std::vector<std::uint8_t>> m_bufferOverrides;
  std::optional<std::vector<std::uint8_t>> m_inquiryOverride;
  std::vector<LoggedCommand> m_log;
};

}  // namespace norvane::emu
