#include "drive/commands.h"

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

using SettingPage = std::uint8_t[kSettingPageLength];

void SendNoData(const std::uint8_t (&cdb)[kCdbLength]) { SendCdb(cdb, nullptr, 0, DataDirection::None); }

// The vendor use of SET CD SPEED: byte 10 carries the quiet mode number.
void SendVendorSpeed(std::uint8_t control) {
  const std::uint8_t cdb[kCdbLength] = {kSetCdSpeed, 0, 0, 0, 0xFE, 0, 0, 0, 0, 0, control, 0};
  SendNoData(cdb);
}

void WriteSettingPage(SettingPage& page) {
  const std::uint8_t cdb[kCdbLength] = {kWriteBuffer, 0x01, SettingWriteBuffer, 0, 0, 0, 0, 0x01, 0x00};
  SendCdb(cdb, page, kSettingPageLength, DataDirection::Out);
}

// WRITE BUFFER in data mode without data: the drive acts on the buffer id and offset alone.
void SendBufferAction(std::uint8_t bufferId, std::uint8_t offsetHigh) {
  const std::uint8_t cdb[kCdbLength] = {kWriteBuffer, 0x02, bufferId, offsetHigh};
  SendCdb(cdb, nullptr, 0, DataDirection::Out);
}

void SendStartStop(std::uint8_t immediate, std::uint8_t loadEject) {
  const std::uint8_t cdb[kCdbLength] = {kStartStopUnit, immediate, 0, 0, loadEject};
  SendNoData(cdb);
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

bool SendQuietSelection(QuietModeCode code) {
  SendVendorSpeed(kVendorControl | SelectionModeNumber(code));
  return true;
}

bool SendQuietSetting(bool save, QuietModeCode code) {
  SendVendorSpeed(kVendorControl | (save ? kVendorSave : 0) | SettingModeNumber(code));
  return true;
}

bool WriteReadSetting(ReadModeCode code, bool realTime, bool save) {
  SettingPage page = {kReadSettingPageCode, 0x80};
  if (code == ReadModeMaster) {
    page[2] = 0x01, page[3] = 0x08, page[4] = 0x40;
  } else if (code != ReadModeOff) {
    page[2] = 0x01, page[3] = 0xFE, page[4] = 0x01;
  }
  page[5] = save ? 0x01 : 0x00;
  page[6] = realTime ? 0x01 : 0x00;
  WriteSettingPage(page);
  return true;
}

bool WriteEjectAtPowerOn(bool eject) {
  SettingPage page = {};
  WriteSettingPage(page);  // the drive expects a zero page ahead of the eject page
  page[0] = kEjectSettingPageCode;
  page[2] = eject ? 0x01 : 0x00;
  WriteSettingPage(page);
  return true;
}

bool RestoreFactoryDefaults() {
  SendQuietSetting(true, QuietStandard);
  WriteReadSetting(ReadModeOff, false, true);
  WriteEjectAtPowerOn(false);
  return true;
}

void ClearErrorCounters() { SendBufferAction(ErrorCounterBuffer, 0x00); }

void EjectDisc() { SendStartStop(0x01, 0x02); }

void OpenTrayForInsert() { SendStartStop(0x00, 0x02); }

bool StopUnit() {
  SendStartStop(0x00, 0x00);
  return true;
}

void StartPowerCheck() { SendBufferAction(PowerCheckBuffer, 0x01); }

void ForceEject() { SendBufferAction(PowerCheckBuffer, 0x02); }

bool WaitForDisc() {
  const std::uint8_t cdb[kCdbLength] = {kReadDiscInformation, 0, 0, 0, 0, 0, 0, 0, kDiscInformationLength};
  std::uint8_t scratch[256] = {};
  for (std::uint32_t waited = 0;; waited += 1000) {
    if (SendCdb(cdb, scratch, kDiscInformationLength, DataDirection::In)) return true;
    // A drive stuck in "becoming ready" must not freeze the window forever.
    if (Channel().lastSense != SenseBecomingReady || waited >= kWaitForDiscLimitMs) return false;
    InstalledDeviceIo().Sleep(1000);
  }
}

}  // namespace norvane
