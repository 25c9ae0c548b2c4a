#include "drive/commands.h"

#include "drive/big_endian.h"
#include "drive/channel.h"

namespace norvane {
namespace {

constexpr std::uint8_t kSetCdSpeed = 0xBB;
constexpr std::uint8_t kWriteBuffer = 0x3B;
constexpr std::uint8_t kStartStopUnit = 0x1B;
constexpr std::uint8_t kReadDiscInformation = 0x51;

constexpr std::uint8_t kVendorControl = 0x80;
constexpr std::uint8_t kVendorSave = 0x40;
constexpr std::size_t kSettingPageLength = 256;
constexpr std::uint8_t kDiscInformationLength = 34;

constexpr std::uint8_t kReadSettingPageCode = 0x01;
constexpr std::uint8_t kEjectSettingPageCode = 0x0F;

// The buffer offsets of the power check buffer's two actions, bytes 3..5 of WRITE BUFFER.
constexpr std::uint32_t kStartPowerCheckOffset = 0x10000;
constexpr std::uint32_t kForceEjectOffset = 0x20000;

using SettingPage = std::uint8_t[kSettingPageLength];

CommandResult SendNoData(const std::uint8_t (&cdb)[kCdbLength]) {
  return SendCdb(cdb, nullptr, 0, DataDirection::None);
}

// The vendor use of SET CD SPEED: byte 10 carries the quiet mode number.
CommandResult SendVendorSpeed(std::uint8_t control) {
  const std::uint8_t cdb[kCdbLength] = {kSetCdSpeed, 0, 0, 0, 0xFE, 0, 0, 0, 0, 0, control, 0};
  return SendNoData(cdb);
}

CommandResult WriteSettingPage(SettingPage& page) {
  std::uint8_t cdb[kCdbLength] = {kWriteBuffer, kVendorBufferMode, SettingWriteBuffer};
  PutBigEndian24(cdb + 6, kSettingPageLength);
  return SendCdb(cdb, page, kSettingPageLength, DataDirection::Out);
}

// WRITE BUFFER in data mode without data: the drive acts on the buffer id and offset alone.
CommandResult SendBufferAction(std::uint8_t bufferId, std::uint32_t offset) {
  std::uint8_t cdb[kCdbLength] = {kWriteBuffer, kDataBufferMode, bufferId};
  PutBigEndian24(cdb + 3, offset);
  return SendCdb(cdb, nullptr, 0, DataDirection::Out);
}

CommandResult SendStartStop(std::uint8_t immediate, std::uint8_t loadEject) {
  const std::uint8_t cdb[kCdbLength] = {kStartStopUnit, immediate, 0, 0, loadEject};
  return SendNoData(cdb);
}

std::uint8_t SelectionModeNumber(QuietModeCode code) {
  switch (code) {
    case QuietPersistent: return 2;
    case QuietOff: return 3;
    case QuietPerformance: return 0;
    default: return 1;
  }
}

// The numbers the drive reports back in its status bytes 2 and 3.
std::uint8_t SettingModeNumber(QuietModeCode code) {
  switch (code) {
    case QuietPersistent: return 3;
    case QuietOff: return 0;
    case QuietPerformance: return 1;
    default: return 2;
  }
}

}  // namespace

CommandResult SendQuietSelection(QuietModeCode code) {
  return SendVendorSpeed(kVendorControl | SelectionModeNumber(code));
}

CommandResult SendQuietSetting(bool save, QuietModeCode code) {
  return SendVendorSpeed(kVendorControl | (save ? kVendorSave : 0) | SettingModeNumber(code));
}

CommandResult WriteReadSetting(ReadModeCode code, bool realTime, bool save) {
  SettingPage page = {kReadSettingPageCode, 0x80};
  if (code == ReadModeMaster) {
    page[2] = 0x01, page[3] = 0x08, page[4] = 0x40;
  } else if (code != ReadModeOff) {
    page[2] = 0x01, page[3] = 0xFE, page[4] = 0x01;
  }
  page[5] = save ? 0x01 : 0x00;
  page[6] = realTime ? 0x01 : 0x00;
  return WriteSettingPage(page);
}

CommandResult WriteEjectAtPowerOn(bool eject) {
  SettingPage page = {};
  const CommandResult zeroPage = WriteSettingPage(page);  // the drive expects a zero page ahead of the eject page
  if (!zeroPage.Complete()) return zeroPage;
  page[0] = kEjectSettingPageCode;
  page[2] = eject ? 0x01 : 0x00;
  return WriteSettingPage(page);
}

CommandResult RestoreFactoryDefaults() {
  CommandResult sent = SendQuietSetting(true, QuietStandard);
  sent = Combined(sent, WriteReadSetting(ReadModeOff, false, true));
  return Combined(sent, WriteEjectAtPowerOn(false));
}

CommandResult ClearErrorCounters() { return SendBufferAction(ErrorCounterBuffer, 0); }

CommandResult EjectDisc() { return SendStartStop(0x01, 0x02); }

CommandResult OpenTrayForInsert() { return SendStartStop(0x00, 0x02); }

CommandResult StopUnit() { return SendStartStop(0x00, 0x00); }

CommandResult StartPowerCheck() { return SendBufferAction(PowerCheckBuffer, kStartPowerCheckOffset); }

CommandResult ForceEject() { return SendBufferAction(PowerCheckBuffer, kForceEjectOffset); }

CommandResult WaitForDisc() {
  const std::uint8_t cdb[kCdbLength] = {kReadDiscInformation, 0, 0, 0, 0, 0, 0, 0, kDiscInformationLength};
  std::uint8_t scratch[256] = {};
  for (std::uint32_t waited = 0;; waited += 1000) {
    const CommandResult read = SendCdb(cdb, scratch, kDiscInformationLength, DataDirection::In);
    // A drive stuck in "becoming ready" must not freeze the window forever.
    if (read.Succeeded() || read.sense != SenseClass::SenseBecomingReady || waited >= kWaitForDiscLimitMs) return read;
    WaitForDrive(1000);
  }
}

}  // namespace norvane
