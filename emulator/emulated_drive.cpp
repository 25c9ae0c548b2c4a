// The drive's state and its life: answering order, unit attentions, tray and
// disc, counters, the bus, and the scripting hooks. The command handlers are
// in firmware_commands.cpp.
#include "emulator/emulated_drive.h"

#include <algorithm>
#include <utility>

#include "emulator/scsi_codes.h"

namespace norvane::emu {

namespace {

RawReply CheckCondition(Sense sense) {
  RawReply reply;
  reply.status = kStatusCheckCondition;
  reply.sense[0] = 0x70;  // current error, fixed format
  reply.sense[2] = static_cast<std::uint8_t>(sense.flags | sense.key);
  reply.sense[7] = kSenseRequestLength - 8;  // additional sense length
  reply.sense[12] = sense.asc;
  reply.sense[13] = sense.ascq;
  return reply;
}

LoggedCommand Received(const ScsiCommand& command) {
  LoggedCommand entry;
  std::copy_n(command.cdb, kCdbLength, entry.cdb.begin());
  entry.direction = command.direction;
  entry.transferLength = command.transferLength;
  if (command.direction == DataDirection::Out && command.data != nullptr) {
    const auto* bytes = static_cast<const std::uint8_t*>(command.data);
    entry.dataOut.assign(bytes, bytes + command.transferLength);
  }
  return entry;
}

}  // namespace

EmulatedDrive::EmulatedDrive(DriveModel model, VirtualClock& clock) : m_model(std::move(model)), m_clock(clock) {
  m_countingSinceMs = m_clock.NowMs();
}

EmulatedDrive::Answer EmulatedDrive::Fail(Sense sense) {
  const RawReply reply = CheckCondition(sense);
  return Answer{reply.status, reply.sense, {}};
}

void EmulatedDrive::Execute(const ScsiCommand& command, ScsiReply& reply) {
  CatchUpWithClock();
  LoggedCommand entry = Received(command);
  const Answer answer = Respond(command);
  reply.status = answer.status;
  reply.transferred = answer.dataOutTaken;
  if (answer.status != kStatusGood) {
    std::copy(answer.sense.begin(), answer.sense.end(), reply.sense);
  } else if (command.direction == DataDirection::In && command.data != nullptr) {
    const std::size_t length = std::min<std::size_t>(answer.data.size(), command.transferLength);
    std::copy_n(answer.data.begin(), length, static_cast<std::uint8_t*>(command.data));
    reply.transferred = static_cast<std::uint32_t>(length);
  }
  entry.status = answer.status;
  entry.sense = answer.sense;
  m_log.push_back(std::move(entry));
  if (m_commandsBeforeDropOff != 0 && --m_commandsBeforeDropOff == 0) m_connected = false;
}

EmulatedDrive::Answer EmulatedDrive::Respond(const ScsiCommand& command) {
  const std::uint8_t operation = command.cdb[0];
  if (operation == opcode::kInquiry) return Inquiry(command);
  if (!m_queued.empty()) {
    const RawReply queued = m_queued.front();
    m_queued.pop_front();
    return Answer{queued.status, queued.sense, {}};
  }
  AnnounceReadyDisc();
  if (!m_attentions.empty()) {
    const Sense attention = m_attentions.front();
    m_attentions.pop_front();
    return Fail(attention);
  }
  switch (operation) {
    case opcode::kReadBuffer: return ReadBuffer(command);
    case opcode::kWriteBuffer: return WriteBuffer(command);
    case opcode::kSetCdSpeed: return SetCdSpeed(command);
    case opcode::kStartStopUnit: return StartStopUnit(command);
    case opcode::kReadDiscInformation: return ReadDiscInformation(command);
    default: return Fail(sense::kInvalidOpcode);
  }
}

// --- settings ---

const DriveModel& EmulatedDrive::Model() const { return m_model; }
DriveModel& EmulatedDrive::MutableModel() { return m_model; }
const DriveSettings& EmulatedDrive::Current() const { return m_current; }
const DriveSettings& EmulatedDrive::Saved() const { return m_saved; }

void EmulatedDrive::SetCurrent(const DriveSettings& settings) {
  m_current = settings;
  Normalize(m_current);
}

// Real-time handling runs on the quiet-drive feature's speed control, so the
// drive does not keep it without that feature or without the hardware for it.
void EmulatedDrive::Normalize(DriveSettings& settings) const {
  if (settings.quietMode == QuietModeOff || !m_model.realTimeSupported) settings.realTime = false;
}

// --- tray and disc ---

Tray EmulatedDrive::TrayState() const { return TrayPushedIn() ? Tray::Closed : m_tray; }
bool EmulatedDrive::HasDisc() const { return m_hasDisc; }
bool EmulatedDrive::Spinning() const { return m_spinning || TrayPushedIn(); }

Disc EmulatedDrive::DiscState() const {
  if (!m_hasDisc || TrayState() == Tray::Open) return Disc::Absent;
  return m_clock.NowMs() < ReadyAtMs() ? Disc::BecomingReady : Disc::Ready;
}

// A tray pushed in spins its disc up from the moment it went in, however
// much later the drive is asked.
std::uint64_t EmulatedDrive::ReadyAtMs() const { return TrayPushedIn() ? *m_pushInAtMs + m_spinUpMs : m_readyAtMs; }

Sense EmulatedDrive::NoMedium() const {
  return TrayState() == Tray::Open ? sense::kNoMediumTrayOpen : sense::kNoMediumTrayClosed;
}

std::optional<Sense> EmulatedDrive::MediumNotReady() const {
  switch (DiscState()) {
    case Disc::Absent: return NoMedium();
    case Disc::BecomingReady: return sense::kBecomingReady;
    case Disc::Ready: break;
  }
  return std::nullopt;
}

void EmulatedDrive::OpenTray() {
  m_tray = Tray::Open;
  m_spinning = false;
  if (m_hasDisc && m_pushInAfterMs) m_pushInAtMs = m_clock.NowMs() + *m_pushInAfterMs;
}

void EmulatedDrive::CloseTray() {
  CatchUpWithClock();
  if (m_tray == Tray::Closed) return;
  m_tray = Tray::Closed;
  m_pushInAtMs.reset();
  if (m_hasDisc) SpinUp(m_clock.NowMs());
}

void EmulatedDrive::SpinUp(std::uint64_t sinceMs) {
  m_spinning = true;
  m_readyAtMs = sinceMs + m_spinUpMs;
  m_readyAnnounced = false;
}

void EmulatedDrive::SetTrayPushedInAfter(std::optional<std::uint32_t> afterMs) {
  CatchUpWithClock();
  m_pushInAfterMs = afterMs;
  if (!afterMs) m_pushInAtMs.reset();
}

bool EmulatedDrive::TrayPushedIn() const { return m_pushInAtMs && m_clock.NowMs() >= *m_pushInAtMs; }

void EmulatedDrive::LatchTrayPushedIn() {
  if (!TrayPushedIn()) return;
  m_tray = Tray::Closed;
  SpinUp(*m_pushInAtMs);
  m_pushInAtMs.reset();
}

// A disc that has just become ready is a medium change the host must hear of
// once; it is raised when the next command finds the disc ready.
void EmulatedDrive::AnnounceReadyDisc() {
  if (m_readyAnnounced || DiscState() != Disc::Ready) return;
  m_attentions.push_back(sense::kMediumChanged);
  m_readyAnnounced = true;
}

void EmulatedDrive::InsertDisc(std::uint32_t spinUpMs) {
  CatchUpWithClock();
  m_spinUpMs = spinUpMs;
  m_hasDisc = true;
  m_tray = Tray::Open;
  CloseTray();
}

void EmulatedDrive::RemoveDisc() {
  CatchUpWithClock();
  m_hasDisc = false;  // first: nobody pushes an empty tray back in
  OpenTray();
}

void EmulatedDrive::SetMediumRemovalPrevented(bool prevented) { m_removalPrevented = prevented; }

// --- power ---

void EmulatedDrive::PowerCycle() {
  CatchUpWithClock();
  m_current = m_saved;
  m_attentions.assign(1, sense::kPowerOnReset);
  m_removalPrevented = false;
  m_measurementStartMs.reset();
  m_sectorsPerSecond = 0;
  RestartCounting(Counters{});
  m_spinning = false;
  if (m_saved.ejectAtPowerOn) {
    OpenTray();
  } else if (m_hasDisc && m_tray == Tray::Closed) {
    SpinUp(m_clock.NowMs());
  }
}

bool EmulatedDrive::DroppedOff() const {
  return m_measurementStartMs && m_busPower < kBrownOutPower &&
         m_clock.NowMs() >= *m_measurementStartMs + kBrownOutAfterMs;
}

bool EmulatedDrive::MeasurementDone() const {
  return m_measurementStartMs && m_clock.NowMs() >= *m_measurementStartMs + kPowerMeasurementMs;
}

// A drop-off is worked out from the clock; once it has happened it must stay,
// whatever the bus power or the measurement do afterwards.
void EmulatedDrive::LatchDropOff() {
  if (!m_connected || !DroppedOff()) return;
  m_connected = false;
  m_measurementStartMs.reset();
}

// What the clock has brought about is made real before anything else
// changes the drive.
void EmulatedDrive::CatchUpWithClock() {
  LatchDropOff();
  LatchTrayPushedIn();
}

bool EmulatedDrive::Connected() const { return m_connected && !DroppedOff(); }

void EmulatedDrive::Unplug() {
  CatchUpWithClock();
  m_connected = false;
}

void EmulatedDrive::Plug() {
  CatchUpWithClock();
  if (m_connected) return;
  m_connected = true;
  ++m_busSession;
  PowerCycle();
}

std::uint32_t EmulatedDrive::BusSession() const { return m_busSession; }

void EmulatedDrive::DropOffAfter(std::uint32_t commands) { m_commandsBeforeDropOff = commands; }

void EmulatedDrive::SetBusPower(std::uint32_t value) {
  CatchUpWithClock();
  m_busPower = value;
}

// --- counters ---

EmulatedDrive::Counters EmulatedDrive::CountersNow() const {
  const std::uint64_t played = std::uint64_t{m_sectorsPerSecond} * (m_clock.NowMs() - m_countingSinceMs) / 1000;
  const std::uint32_t start = m_countedBase.lastFrame;
  if (m_trackEndFrame > m_trackFirstFrame && start >= m_trackFirstFrame && start < m_trackEndFrame) {
    const std::uint64_t length = m_trackEndFrame - m_trackFirstFrame;
    const std::uint64_t intoTrack = start - m_trackFirstFrame + played;
    if (intoTrack >= length) {
      // The track has started again since counting began: this play only.
      const std::uint64_t position = intoTrack % length;
      return Counters{static_cast<std::uint32_t>(ErrorsPlaying(m_trackFirstFrame, m_trackFirstFrame + position)),
                      static_cast<std::uint32_t>(position), static_cast<std::uint32_t>(m_trackFirstFrame + position)};
    }
  }
  Counters counters = m_countedBase;
  counters.sectors += static_cast<std::uint32_t>(played);
  counters.lastFrame += static_cast<std::uint32_t>(played);
  if (m_sectorsPerError != 0) counters.errors += static_cast<std::uint32_t>(played / m_sectorsPerError);
  counters.errors +=
      static_cast<std::uint32_t>(DamageErrors(m_countedBase.lastFrame, m_countedBase.lastFrame + played));
  return counters;
}

// The errors of the frames played in [fromFrame, toFrame): inside a stretch
// every sectorsPerError-th frame from its start fails, wherever playing began.
std::uint64_t EmulatedDrive::DamageErrors(std::uint64_t fromFrame, std::uint64_t toFrame) const {
  std::uint64_t errors = 0;
  for (const DamagedStretch& stretch : m_damage) {
    const std::uint64_t begin = std::max<std::uint64_t>(fromFrame, stretch.firstFrame);
    const std::uint64_t end = std::min<std::uint64_t>(toFrame, stretch.endFrame);
    if (begin >= end || stretch.sectorsPerError == 0) continue;
    const auto failedBefore = [&](std::uint64_t frame) {
      return (frame - stretch.firstFrame + stretch.sectorsPerError - 1) / stretch.sectorsPerError;
    };
    errors += failedBefore(end) - failedBefore(begin);
  }
  return errors;
}

void EmulatedDrive::RestartCounting(Counters from) {
  m_countedBase = from;
  m_countingSinceMs = m_clock.NowMs();
}

std::uint64_t EmulatedDrive::ErrorsPlaying(std::uint64_t fromFrame, std::uint64_t toFrame) const {
  const std::uint64_t uniform = m_sectorsPerError == 0 ? 0 : (toFrame - fromFrame) / m_sectorsPerError;
  return uniform + DamageErrors(fromFrame, toFrame);
}

void EmulatedDrive::RepeatTrack(std::uint32_t firstFrame, std::uint32_t endFrame) {
  RestartCounting(CountersNow());
  m_trackFirstFrame = firstFrame;
  m_trackEndFrame = endFrame;
}

std::uint32_t EmulatedDrive::TransferredSectors() const { return CountersNow().sectors; }

void EmulatedDrive::StartAudio(std::uint32_t sectorsPerSecond, std::uint32_t sectorsPerError) {
  RestartCounting(CountersNow());
  m_sectorsPerSecond = sectorsPerSecond;
  m_sectorsPerError = sectorsPerError;
}

void EmulatedDrive::StopAudio() { StartAudio(0, 0); }

void EmulatedDrive::SetDamage(std::vector<DamagedStretch> stretches) {
  RestartCounting(CountersNow());
  m_damage = std::move(stretches);
}

void EmulatedDrive::SetCounters(std::uint32_t errors, std::uint32_t sectors, std::uint32_t lastFrame) {
  RestartCounting(Counters{errors, sectors, lastFrame});
}

// --- scripting ---

void EmulatedDrive::QueueSense(Sense sense, int times) { QueueReply(CheckCondition(sense), times); }

void EmulatedDrive::QueueReply(RawReply reply, int times) {
  for (int i = 0; i < times; ++i) m_queued.push_back(reply);
}

void EmulatedDrive::ClearQueue() { m_queued.clear(); }

void EmulatedDrive::OverrideBuffer(std::uint8_t bufferId, std::vector<std::uint8_t> bytes) {
  m_bufferOverrides[bufferId] = std::move(bytes);
}

void EmulatedDrive::OverrideInquiry(std::vector<std::uint8_t> bytes) { m_inquiryOverride = std::move(bytes); }

void EmulatedDrive::ClearOverrides() {
  m_bufferOverrides.clear();
  m_inquiryOverride.reset();
}

const std::vector<LoggedCommand>& EmulatedDrive::Log() const { return m_log; }
void EmulatedDrive::ClearLog() { m_log.clear(); }

}  // namespace norvane::emu
