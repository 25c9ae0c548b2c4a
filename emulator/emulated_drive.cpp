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

EmulatedDrive::EmulatedDrive(DriveModel model, VirtualClock& clock) : model_(std::move(model)), clock_(clock) {
  countingSinceMs_ = clock_.NowMs();
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
  if (answer.status != kStatusGood) {
    std::copy(answer.sense.begin(), answer.sense.end(), reply.sense);
  } else if (command.direction == DataDirection::In && command.data != nullptr) {
    const std::size_t length = std::min<std::size_t>(answer.data.size(), command.transferLength);
    std::copy_n(answer.data.begin(), length, static_cast<std::uint8_t*>(command.data));
  }
  entry.status = answer.status;
  entry.sense = answer.sense;
  log_.push_back(std::move(entry));
  if (commandsBeforeDropOff_ != 0 && --commandsBeforeDropOff_ == 0) connected_ = false;
}

EmulatedDrive::Answer EmulatedDrive::Respond(const ScsiCommand& command) {
  const std::uint8_t operation = command.cdb[0];
  if (operation == opcode::kInquiry) return Inquiry(command);
  if (!queued_.empty()) {
    const RawReply queued = queued_.front();
    queued_.pop_front();
    return Answer{queued.status, queued.sense, {}};
  }
  AnnounceReadyDisc();
  if (!attentions_.empty()) {
    const Sense attention = attentions_.front();
    attentions_.pop_front();
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

const DriveModel& EmulatedDrive::Model() const { return model_; }
DriveModel& EmulatedDrive::MutableModel() { return model_; }
const DriveSettings& EmulatedDrive::Current() const { return current_; }
const DriveSettings& EmulatedDrive::Saved() const { return saved_; }

void EmulatedDrive::SetCurrent(const DriveSettings& settings) {
  current_ = settings;
  Normalize(current_);
}

// Real-time handling runs on the quiet-drive feature's speed control, so the
// drive does not keep it without that feature or without the hardware for it.
void EmulatedDrive::Normalize(DriveSettings& settings) const {
  if (settings.quietMode == QuietModeOff || !model_.realTimeSupported) settings.realTime = false;
}

// --- tray and disc ---

Tray EmulatedDrive::TrayState() const { return TrayPushedIn() ? Tray::Closed : tray_; }
bool EmulatedDrive::HasDisc() const { return hasDisc_; }
bool EmulatedDrive::Spinning() const { return spinning_ || TrayPushedIn(); }

Disc EmulatedDrive::DiscState() const {
  if (!hasDisc_ || TrayState() == Tray::Open) return Disc::Absent;
  return clock_.NowMs() < ReadyAtMs() ? Disc::BecomingReady : Disc::Ready;
}

// A tray pushed in spins its disc up from the moment it went in, however
// much later the drive is asked.
std::uint64_t EmulatedDrive::ReadyAtMs() const { return TrayPushedIn() ? *pushInAtMs_ + spinUpMs_ : readyAtMs_; }

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
  tray_ = Tray::Open;
  spinning_ = false;
  if (hasDisc_ && pushInAfterMs_) pushInAtMs_ = clock_.NowMs() + *pushInAfterMs_;
}

void EmulatedDrive::CloseTray() {
  CatchUpWithClock();
  if (tray_ == Tray::Closed) return;
  tray_ = Tray::Closed;
  pushInAtMs_.reset();
  if (hasDisc_) SpinUp(clock_.NowMs());
}

void EmulatedDrive::SpinUp(std::uint64_t sinceMs) {
  spinning_ = true;
  readyAtMs_ = sinceMs + spinUpMs_;
  readyAnnounced_ = false;
}

void EmulatedDrive::SetTrayPushedInAfter(std::optional<std::uint32_t> afterMs) {
  CatchUpWithClock();
  pushInAfterMs_ = afterMs;
  if (!afterMs) pushInAtMs_.reset();
}

bool EmulatedDrive::TrayPushedIn() const { return pushInAtMs_ && clock_.NowMs() >= *pushInAtMs_; }

void EmulatedDrive::LatchTrayPushedIn() {
  if (!TrayPushedIn()) return;
  tray_ = Tray::Closed;
  SpinUp(*pushInAtMs_);
  pushInAtMs_.reset();
}

// A disc that has just become ready is a medium change the host must hear of
// once; it is raised when the next command finds the disc ready.
void EmulatedDrive::AnnounceReadyDisc() {
  if (readyAnnounced_ || DiscState() != Disc::Ready) return;
  attentions_.push_back(sense::kMediumChanged);
  readyAnnounced_ = true;
}

void EmulatedDrive::InsertDisc(std::uint32_t spinUpMs) {
  CatchUpWithClock();
  spinUpMs_ = spinUpMs;
  hasDisc_ = true;
  tray_ = Tray::Open;
  CloseTray();
}

void EmulatedDrive::RemoveDisc() {
  CatchUpWithClock();
  hasDisc_ = false;  // first: nobody pushes an empty tray back in
  OpenTray();
}

void EmulatedDrive::SetMediumRemovalPrevented(bool prevented) { removalPrevented_ = prevented; }

// --- power ---

void EmulatedDrive::PowerCycle() {
  CatchUpWithClock();
  current_ = saved_;
  attentions_.assign(1, sense::kPowerOnReset);
  removalPrevented_ = false;
  measurementStartMs_.reset();
  sectorsPerSecond_ = 0;
  RestartCounting(Counters{});
  spinning_ = false;
  if (saved_.ejectAtPowerOn) {
    OpenTray();
  } else if (hasDisc_ && tray_ == Tray::Closed) {
    SpinUp(clock_.NowMs());
  }
}

bool EmulatedDrive::DroppedOff() const {
  return measurementStartMs_ && busPower_ < kBrownOutPower && clock_.NowMs() >= *measurementStartMs_ + kBrownOutAfterMs;
}

bool EmulatedDrive::MeasurementDone() const {
  return measurementStartMs_ && clock_.NowMs() >= *measurementStartMs_ + kPowerMeasurementMs;
}

// A drop-off is worked out from the clock; once it has happened it must stay,
// whatever the bus power or the measurement do afterwards.
void EmulatedDrive::LatchDropOff() {
  if (!connected_ || !DroppedOff()) return;
  connected_ = false;
  measurementStartMs_.reset();
}

// What the clock has brought about is made real before anything else
// changes the drive.
void EmulatedDrive::CatchUpWithClock() {
  LatchDropOff();
  LatchTrayPushedIn();
}

bool EmulatedDrive::Connected() const { return connected_ && !DroppedOff(); }

void EmulatedDrive::Unplug() {
  CatchUpWithClock();
  connected_ = false;
}

void EmulatedDrive::Plug() {
  CatchUpWithClock();
  if (connected_) return;
  connected_ = true;
  ++busSession_;
  PowerCycle();
}

std::uint32_t EmulatedDrive::BusSession() const { return busSession_; }

void EmulatedDrive::DropOffAfter(std::uint32_t commands) { commandsBeforeDropOff_ = commands; }

void EmulatedDrive::SetBusPower(std::uint32_t value) {
  CatchUpWithClock();
  busPower_ = value;
}

// --- counters ---

EmulatedDrive::Counters EmulatedDrive::CountersNow() const {
  const std::uint64_t played = std::uint64_t{sectorsPerSecond_} * (clock_.NowMs() - countingSinceMs_) / 1000;
  Counters counters = countedBase_;
  counters.sectors += static_cast<std::uint32_t>(played);
  counters.lastFrame += static_cast<std::uint32_t>(played);
  if (sectorsPerError_ != 0) counters.errors += static_cast<std::uint32_t>(played / sectorsPerError_);
  counters.errors += static_cast<std::uint32_t>(DamageErrors(countedBase_.lastFrame, countedBase_.lastFrame + played));
  return counters;
}

// The errors of the frames played in [fromFrame, toFrame): inside a stretch
// every sectorsPerError-th frame from its start fails, wherever playing began.
std::uint64_t EmulatedDrive::DamageErrors(std::uint64_t fromFrame, std::uint64_t toFrame) const {
  std::uint64_t errors = 0;
  for (const DamagedStretch& stretch : damage_) {
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
  countedBase_ = from;
  countingSinceMs_ = clock_.NowMs();
}

std::uint32_t EmulatedDrive::TransferredSectors() const { return CountersNow().sectors; }

void EmulatedDrive::StartAudio(std::uint32_t sectorsPerSecond, std::uint32_t sectorsPerError) {
  RestartCounting(CountersNow());
  sectorsPerSecond_ = sectorsPerSecond;
  sectorsPerError_ = sectorsPerError;
}

void EmulatedDrive::StopAudio() { StartAudio(0, 0); }

void EmulatedDrive::SetDamage(std::vector<DamagedStretch> stretches) {
  RestartCounting(CountersNow());
  damage_ = std::move(stretches);
}

void EmulatedDrive::SetCounters(std::uint32_t errors, std::uint32_t sectors, std::uint32_t lastFrame) {
  RestartCounting(Counters{errors, sectors, lastFrame});
}

// --- scripting ---

void EmulatedDrive::QueueSense(Sense sense, int times) { QueueReply(CheckCondition(sense), times); }

void EmulatedDrive::QueueReply(RawReply reply, int times) {
  for (int i = 0; i < times; ++i) queued_.push_back(reply);
}

void EmulatedDrive::ClearQueue() { queued_.clear(); }

void EmulatedDrive::OverrideBuffer(std::uint8_t bufferId, std::vector<std::uint8_t> bytes) {
  bufferOverrides_[bufferId] = std::move(bytes);
}

void EmulatedDrive::OverrideInquiry(std::vector<std::uint8_t> bytes) { inquiryOverride_ = std::move(bytes); }

void EmulatedDrive::ClearOverrides() {
  bufferOverrides_.clear();
  inquiryOverride_.reset();
}

const std::vector<LoggedCommand>& EmulatedDrive::Log() const { return log_; }
void EmulatedDrive::ClearLog() { log_.clear(); }

}  // namespace norvane::emu
