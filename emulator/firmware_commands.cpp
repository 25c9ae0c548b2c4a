// The firmware's command handlers: each validates its command block (fields,
// data direction, transfer length) like the firmware does, refuses what it
// does not know with ILLEGAL REQUEST, and carries out the rest.
#include <algorithm>
#include <initializer_list>

#include "emulator/emulated_drive.h"
#include "emulator/scsi_codes.h"

namespace norvane::emu {

namespace {

std::uint32_t BigEndian(const std::uint8_t* bytes, std::size_t width) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < width; ++i) value = (value << 8) | bytes[i];
  return value;
}

void PutBigEndian32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

// Every byte after the operation code that the command does not use must be
// zero: reserved fields, the control byte, and the bytes past a short command.
bool OnlyUsesBytes(const std::uint8_t* cdb, std::initializer_list<std::size_t> used) {
  for (std::size_t i = 1; i < kCdbLength; ++i) {
    if (cdb[i] != 0 && std::find(used.begin(), used.end(), i) == used.end()) return false;
  }
  return true;
}

bool DataPhaseIs(const ScsiCommand& command, DataDirection direction, std::uint32_t length) {
  return command.direction == direction && command.transferLength == length;
}

bool IsFlag(std::uint8_t byte) { return byte <= 1; }

bool ZeroFrom(const std::uint8_t* page, std::size_t from) {
  return std::all_of(page + from, page + 256, [](std::uint8_t byte) { return byte == 0; });
}

// Copies a text into its field, zero-padded; a longer text runs on past the
// field as far as the data goes.
void PutText(std::vector<std::uint8_t>& bytes, std::size_t offset, std::size_t width, const std::string& text) {
  std::fill_n(bytes.begin() + offset, width, 0);
  std::copy_n(text.begin(), std::min(text.size(), bytes.size() - offset), bytes.begin() + offset);
}

// READ BUFFER and WRITE BUFFER address a buffer by id, mode, offset and length.
struct BufferShape {
  std::uint8_t id = 0, mode = 0;
  std::uint32_t offset = 0, length = 0;
  bool operator==(const BufferShape&) const = default;
};

BufferShape ShapeOf(const std::uint8_t* cdb) {
  return BufferShape{cdb[2], cdb[1], BigEndian(cdb + 3, 3), BigEndian(cdb + 6, 3)};
}

constexpr std::uint8_t kIdentityBuffer = 0xF1;
constexpr std::uint8_t kDriveStatusBuffer = 0xF4;
constexpr std::uint8_t kErrorCounterBuffer = 0xF5;
constexpr std::uint8_t kPowerCheckBuffer = 0xE6;
constexpr std::uint8_t kSettingWriteBuffer = 0xFA;
constexpr std::uint8_t kModeVendor = 1, kModeData = 2;

// The vendor buffers are served only whole, each from its one place.
constexpr BufferShape kReadableBuffers[] = {
    {kIdentityBuffer, kModeData, 0, 48},
    {kDriveStatusBuffer, kModeVendor, 0, 256},
    {kErrorCounterBuffer, kModeData, 0, 32},
    {kPowerCheckBuffer, kModeData, 0x10000, 8},
};

constexpr std::size_t kSettingPageLength = 256;
constexpr std::uint8_t kReadErrorPage = 0x01, kEjectPage = 0x0F;
constexpr std::uint8_t kReadErrorPageFlags = 0x80;
constexpr std::uint8_t kPerfectMode = 0xFE, kMasterMode = 0x08;
constexpr std::uint8_t kPerfectStrength = 0x01, kMasterStrength = 0x40;

// SET CD SPEED byte 10, the vendor control byte.
constexpr std::uint8_t kVendorUse = 0x80, kSaveSetting = 0x40, kQuietModeBits = 0x03;

// START STOP UNIT.
constexpr std::uint8_t kImmediate = 0x01, kLoadEject = 0x02, kStart = 0x01;

// What the measurement reports at byte 3 of the power check buffer.
enum MeasurementPhase : std::uint8_t { PhaseIdle = 0, PhaseMeasuring = 1, PhaseDone = 2 };

// A finished audio disc of one session: disc status complete, last session
// complete, tracks 1..12, unrestricted use, disc type CD-DA or CD-ROM.
std::vector<std::uint8_t> DiscInformation() {
  std::vector<std::uint8_t> info(34, 0);
  info[1] = 32;                          // disc information length after these two bytes
  info[2] = 0x0E;                        // last session complete, disc complete
  info[3] = 1;                           // first track on the disc
  info[4] = 1;                           // sessions
  info[5] = 1;                           // first track of the last session
  info[6] = 12;                          // last track of the last session
  info[7] = 0x20;                        // unrestricted use
  PutBigEndian32(info, 16, 0xFFFFFFFF);  // no next session
  PutBigEndian32(info, 20, 0xFFFFFFFF);
  return info;
}

}  // namespace

// --- INQUIRY ---

EmulatedDrive::Answer EmulatedDrive::Inquiry(const ScsiCommand& command) const {
  // Standard data only: no vital product data pages.
  const std::uint32_t allocation = BigEndian(command.cdb + 3, 2);
  if (!OnlyUsesBytes(command.cdb, {3, 4}) || !DataPhaseIs(command, DataDirection::In, allocation)) {
    return Fail(sense::kInvalidFieldInCdb);
  }
  return Answer{.data = m_inquiryOverride.value_or(InquiryData())};
}

std::vector<std::uint8_t> EmulatedDrive::InquiryData() const {
  std::vector<std::uint8_t> data(96, 0);
  data[0] = 0x05;                                        // CD/DVD device, connected
  data[1] = 0x80;                                        // removable medium
  data[2] = 0x05;                                        // version
  data[3] = 0x02;                                        // response data format
  data[4] = static_cast<std::uint8_t>(data.size() - 5);  // additional length
  // Back to front, so that a text running on past its field stays in the data.
  PutText(data, 36, 12, m_model.vendorSpecific);
  PutText(data, 32, 4, m_model.revision);
  PutText(data, 16, 16, m_model.product);
  PutText(data, 8, 8, m_model.vendor);
  return data;
}

// --- READ BUFFER ---

EmulatedDrive::Answer EmulatedDrive::ReadBuffer(const ScsiCommand& command) const {
  const BufferShape shape = ShapeOf(command.cdb);
  const bool known = m_model.vendorBuffers && std::ranges::find(kReadableBuffers, shape) != std::end(kReadableBuffers);
  if (!OnlyUsesBytes(command.cdb, {1, 2, 3, 4, 5, 6, 7, 8}) || !known ||
      !DataPhaseIs(command, DataDirection::In, shape.length)) {
    return Fail(sense::kInvalidFieldInCdb);
  }
  const auto override = m_bufferOverrides.find(shape.id);
  return Answer{.data = override != m_bufferOverrides.end() ? override->second : BufferData(shape.id)};
}

std::vector<std::uint8_t> EmulatedDrive::BufferData(std::uint8_t bufferId) const {
  switch (bufferId) {
    case kIdentityBuffer: return IdentityBuffer();
    case kDriveStatusBuffer: return DriveStatusBuffer();
    case kErrorCounterBuffer: return ErrorCounterBuffer();
    default: return PowerCheckBuffer();
  }
}

std::vector<std::uint8_t> EmulatedDrive::IdentityBuffer() const {
  std::vector<std::uint8_t> buffer(48, 0);
  PutText(buffer, 16, 16, m_model.identity);
  return buffer;
}

std::vector<std::uint8_t> EmulatedDrive::DriveStatusBuffer() const {
  std::vector<std::uint8_t> buffer(256, 0);
  buffer[2] = m_current.quietMode;
  buffer[3] = m_current.quietMode;
  buffer[4] = m_current.readErrorHandling;
  buffer[5] = m_current.readErrorMode;
  buffer[28] = m_current.realTime;
  buffer[29] = m_model.realTimeSupported;
  buffer[40] = m_current.ejectAtPowerOn;
  return buffer;
}

std::vector<std::uint8_t> EmulatedDrive::ErrorCounterBuffer() const {
  const Counters counters = CountersNow();
  std::vector<std::uint8_t> buffer(32, 0);
  PutBigEndian32(buffer, 0, counters.errors);
  PutBigEndian32(buffer, 4, counters.sectors);
  PutBigEndian32(buffer, 8, counters.lastFrame);
  return buffer;
}

std::vector<std::uint8_t> EmulatedDrive::PowerCheckBuffer() const {
  std::vector<std::uint8_t> buffer(8, 0);
  if (MeasurementDone()) {
    buffer[3] = PhaseDone;
    PutBigEndian32(buffer, 4, m_busPower);
  } else {
    buffer[3] = m_measurementStartMs ? PhaseMeasuring : PhaseIdle;
  }
  return buffer;
}

// --- WRITE BUFFER ---

EmulatedDrive::Answer EmulatedDrive::WriteBuffer(const ScsiCommand& command) {
  struct Target {
    BufferShape shape;
    Answer (EmulatedDrive::*action)(const std::uint8_t* data);
  };
  static constexpr Target kTargets[] = {
      {{kSettingWriteBuffer, kModeVendor, 0, kSettingPageLength}, &EmulatedDrive::WriteSettingPage},
      {{kErrorCounterBuffer, kModeData, 0, 0}, &EmulatedDrive::ClearCounters},
      {{kPowerCheckBuffer, kModeData, 0x10000, 0}, &EmulatedDrive::StartPowerMeasurement},
      {{kPowerCheckBuffer, kModeData, 0x20000, 0}, &EmulatedDrive::ForceEject},
  };
  const BufferShape shape = ShapeOf(command.cdb);
  const auto target = std::ranges::find(kTargets, shape, &Target::shape);
  if (!OnlyUsesBytes(command.cdb, {1, 2, 3, 4, 5, 6, 7, 8}) || !m_model.vendorBuffers || target == std::end(kTargets) ||
      !DataPhaseIs(command, DataDirection::Out, shape.length)) {
    return Fail(sense::kInvalidFieldInCdb);
  }
  // A valid block has its data taken in before the drive looks at it.
  Answer answer = (this->*target->action)(static_cast<const std::uint8_t*>(command.data));
  answer.dataOutTaken = command.transferLength;
  return answer;
}

EmulatedDrive::Answer EmulatedDrive::WriteSettingPage(const std::uint8_t* page) {
  switch (page[0]) {
    case kReadErrorPage: return WriteReadErrorPage(page);
    case kEjectPage: return WriteEjectPage(page);
    case 0x00:
      if (ZeroFrom(page, 0)) return Answer{};  // an empty page: nothing to change
      [[fallthrough]];
    default: return Fail(sense::kInvalidFieldInParameters);
  }
}

// Read-error handling page: byte 2 on/off, bytes 3..4 the mode and its
// strength, byte 5 save, byte 6 real-time.
EmulatedDrive::Answer EmulatedDrive::WriteReadErrorPage(const std::uint8_t* page) {
  const bool on = page[2] == 1;
  const bool perfect = page[3] == kPerfectMode && page[4] == kPerfectStrength;
  const bool master = page[3] == kMasterMode && page[4] == kMasterStrength;
  const bool modeValid = on ? perfect || master : page[2] == 0 && page[3] == 0 && page[4] == 0;
  if (page[1] != kReadErrorPageFlags || !modeValid || !IsFlag(page[5]) || !IsFlag(page[6]) || !ZeroFrom(page, 7)) {
    return Fail(sense::kInvalidFieldInParameters);
  }
  ApplyReadErrorHandling(m_current, page);
  if (page[5] == 1) ApplyReadErrorHandling(m_saved, page);
  return Answer{};
}

void EmulatedDrive::ApplyReadErrorHandling(DriveSettings& settings, const std::uint8_t* page) const {
  settings.readErrorHandling = page[2] == 1;
  if (settings.readErrorHandling) settings.readErrorMode = page[3];
  settings.realTime = page[6] == 1;
  Normalize(settings);
}

// Eject-at-power-on page: byte 2 on/off. The setting acts only at power-on,
// so the drive keeps it in non-volatile memory as soon as it is written; the
// page has no save byte.
EmulatedDrive::Answer EmulatedDrive::WriteEjectPage(const std::uint8_t* page) {
  if (page[1] != 0 || !IsFlag(page[2]) || !ZeroFrom(page, 3)) return Fail(sense::kInvalidFieldInParameters);
  m_current.ejectAtPowerOn = m_saved.ejectAtPowerOn = page[2] == 1;
  return Answer{};
}

EmulatedDrive::Answer EmulatedDrive::ClearCounters(const std::uint8_t*) {
  RestartCounting(Counters{0, 0, CountersNow().lastFrame});
  return Answer{};
}

// The measurement loads the bus by spinning the disc, so it needs one.
EmulatedDrive::Answer EmulatedDrive::StartPowerMeasurement(const std::uint8_t*) {
  if (const auto notReady = MediumNotReady()) return Fail(*notReady);
  m_measurementStartMs = m_clock.NowMs();
  return Answer{};
}

EmulatedDrive::Answer EmulatedDrive::ForceEject(const std::uint8_t*) {
  OpenTray();
  return Answer{};
}

// --- SET CD SPEED ---

EmulatedDrive::Answer EmulatedDrive::SetCdSpeed(const ScsiCommand& command) {
  const std::uint8_t* cdb = command.cdb;
  const std::uint8_t control = cdb[10];
  if (!OnlyUsesBytes(cdb, {1, 2, 3, 4, 5, 10}) || (cdb[1] & ~0x03) != 0 ||
      !DataPhaseIs(command, DataDirection::None, 0)) {
    return Fail(sense::kInvalidFieldInCdb);
  }
  // Speeds are not modelled: an ordinary request is taken and changes nothing.
  if ((control & kVendorUse) == 0) return Answer{};
  if (!m_model.vendorBuffers || (control & ~(kVendorUse | kSaveSetting | kQuietModeBits)) != 0) {
    return Fail(sense::kInvalidFieldInCdb);
  }
  const std::uint8_t mode = control & kQuietModeBits;
  ApplyQuietMode(m_current, mode);
  if ((control & kSaveSetting) != 0) ApplyQuietMode(m_saved, mode);
  return Answer{};
}

void EmulatedDrive::ApplyQuietMode(DriveSettings& settings, std::uint8_t mode) const {
  settings.quietMode = mode;
  Normalize(settings);
}

// --- START STOP UNIT ---

EmulatedDrive::Answer EmulatedDrive::StartStopUnit(const ScsiCommand& command) {
  const std::uint8_t* cdb = command.cdb;
  if (!OnlyUsesBytes(cdb, {1, 4}) || (cdb[1] & ~kImmediate) != 0 || (cdb[4] & ~(kLoadEject | kStart)) != 0 ||
      !DataPhaseIs(command, DataDirection::None, 0)) {
    return Fail(sense::kInvalidFieldInCdb);
  }
  // The tray moves at once, so the immediate bit changes nothing to be seen.
  const bool loadEject = (cdb[4] & kLoadEject) != 0;
  const bool start = (cdb[4] & kStart) != 0;
  if (loadEject && start) {
    CloseTray();
  } else if (loadEject) {
    if (m_removalPrevented) return Fail(sense::kRemovalPrevented);
    OpenTray();
  } else if (start) {
    if (DiscState() == Disc::Absent) return Fail(NoMedium());
    m_spinning = true;
  } else {
    m_spinning = false;
  }
  return Answer{};
}

// --- READ DISC INFORMATION ---

EmulatedDrive::Answer EmulatedDrive::ReadDiscInformation(const ScsiCommand& command) const {
  // Standard disc information only (data type 0 in byte 1).
  const std::uint32_t allocation = BigEndian(command.cdb + 7, 2);
  if (!OnlyUsesBytes(command.cdb, {7, 8}) || !DataPhaseIs(command, DataDirection::In, allocation)) {
    return Fail(sense::kInvalidFieldInCdb);
  }
  if (const auto notReady = MediumNotReady()) return Fail(*notReady);
  return Answer{.data = DiscInformation()};
}

}  // namespace norvane::emu
