#include "drive/reads.h"

#include <algorithm>
#include <iterator>

#include "drive/big_endian.h"
#include "drive/channel.h"

namespace norvane {
namespace {

constexpr std::uint8_t kInquiry = 0x12;
constexpr std::uint8_t kReadBuffer = 0x3C;
constexpr std::uint8_t kInquiryAllocation = 0xFE;
constexpr std::size_t kScratchLength = 256;

constexpr std::size_t kInquiryVendor = 8;
constexpr std::size_t kInquiryLabelEnd = 45;  // vendor, product, revision, 9 vendor bytes
constexpr std::size_t kInquiryModelEnd = 48;  // ... and all 12 vendor bytes
constexpr std::size_t kIdentityStart = 16;
constexpr std::size_t kIdentityEnd = 32;
constexpr std::uint8_t kMakerInitial = 0x4E;  // 'N'
// INQUIRY byte 0: peripheral qualifier 0 (connected), device type 5 (CD/DVD).
constexpr std::uint8_t kConnectedOpticalDevice = 0x05;

constexpr wchar_t kModelQdm[] = L"QDM-LT58";
constexpr const wchar_t* kSupportedIdentities[] = {L"KTV 3364QR27", L"KTV 3364GENERAL"};

void SendInquiry(std::uint8_t (&buffer)[kScratchLength]) {
  const std::uint8_t cdb[kCdbLength] = {kInquiry, 0, 0, 0, kInquiryAllocation};
  SendCdb(cdb, buffer, kInquiryAllocation, DataDirection::In);
}

// The text from `start`, cut off at `end` so it never runs past its stretch.
std::wstring TextBetween(std::uint8_t (&buffer)[kScratchLength], std::size_t start, std::size_t end) {
  buffer[end] = 0;
  return DriveTextToWide(reinterpret_cast<const char*>(buffer + start));
}

// Probes open their drive themselves and leave it closed, whatever happens.
template <typename Probe>
std::wstring ProbeOpened(bool opened, Probe probe) {
  if (!opened) return {};
  std::wstring text = probe();
  CloseDrive();
  return text;
}

std::wstring IdentityTextOf(CommandResult& read) {
  std::uint8_t buffer[kScratchLength] = {};
  read = ReadVendorBuffer(IdentityBuffer, kDataBufferMode, 0, kIdentityLength, buffer);
  return TextBetween(buffer, kIdentityStart, kIdentityEnd);
}

std::wstring IdentityText() {
  CommandResult read;
  return IdentityTextOf(read);
}

// The drive's name in the drive list, then its INQUIRY text.
std::wstring LabelText(const std::wstring& name) {
  std::uint8_t buffer[kScratchLength] = {};
  SendInquiry(buffer);
  return name + L" : " + TextBetween(buffer, kInquiryVendor, kInquiryLabelEnd);
}

std::wstring LetterName(char letter) {
  return std::wstring(1, static_cast<wchar_t>(static_cast<unsigned char>(letter)));
}

QuietModeCode QuietModeFromNumber(std::uint8_t number) {
  switch (number) {
    case 0: return QuietOff;
    case 1: return QuietPerformance;
    case 3: return QuietPersistent;
    default: return QuietStandard;
  }
}

}  // namespace

CommandResult ReadVendorBuffer(std::uint8_t bufferId, std::uint8_t mode, std::uint32_t offset, std::uint32_t length,
                               void* buffer) {
  std::uint8_t cdb[kCdbLength] = {kReadBuffer, mode, bufferId};
  PutBigEndian24(cdb + 3, offset);
  PutBigEndian24(cdb + 6, length);
  return SendCdb(cdb, buffer, length, DataDirection::In);
}

CommandResult ReadDriveStatus(std::uint8_t (&status)[kDriveStatusLength]) {
  std::fill(std::begin(status), std::end(status), 0);
  return ReadVendorBuffer(DriveStatusBuffer, kVendorBufferMode, 0, kDriveStatusLength, status);
}

std::wstring ReadDriveIdentity(char letter) { return ProbeOpened(OpenDrive(letter), IdentityText); }

std::wstring ReadDeviceIdentity(const std::wstring& path) { return ProbeOpened(OpenDevicePath(path), IdentityText); }

namespace {

// An identity probe that tells how the read went; a drive that could not be
// opened reports why, as an undelivered read.
std::wstring IdentityProbe(bool opened, CommandResult& read) {
  read = {.outcome = CommandOutcome::NotDelivered,
          .operation = kReadBuffer,
          .requested = kIdentityLength,
          .systemError = Channel().openError};
  return ProbeOpened(opened, [&read] { return IdentityTextOf(read); });
}

}  // namespace

std::wstring ReadDriveIdentity(char letter, CommandResult& read) { return IdentityProbe(OpenDrive(letter), read); }

std::wstring ReadDeviceIdentity(const std::wstring& path, CommandResult& read) {
  return IdentityProbe(OpenDevicePath(path), read);
}

bool IsSupportedDrive(const std::wstring& identity) {
  for (const wchar_t* supported : kSupportedIdentities) {
    if (identity.find(supported) != std::wstring::npos) return true;
  }
  return false;
}

std::wstring BuildDriveLabel(char letter) {
  return ProbeOpened(OpenDrive(letter), [letter] { return LabelText(LetterName(letter)); });
}

std::wstring BuildDeviceLabel(const std::wstring& path, const std::wstring& name) {
  return ProbeOpened(OpenDevicePath(path), [&name] { return LabelText(name); });
}

std::wstring ReadModelName() {
  std::uint8_t buffer[kScratchLength] = {};
  SendInquiry(buffer);
  std::wstring text = TextBetween(buffer, kInquiryVendor, kInquiryModelEnd);
  if (text.find(kModelQdm) != std::wstring::npos) return kModelQdm;
  return text;
}

bool IsOpticalDevice() {
  std::uint8_t buffer[kScratchLength] = {};
  SendInquiry(buffer);
  return buffer[0] == kConnectedOpticalDevice;
}

bool IsDriveResponding() {
  std::uint8_t buffer[kScratchLength] = {};
  SendInquiry(buffer);
  return buffer[kInquiryVendor] == kMakerInitial;
}

QuietModeCode ReadQuietMode() {
  std::uint8_t status[kDriveStatusLength];
  ReadDriveStatus(status);
  return QuietModeOfStatus(status);
}

QuietModeCode QuietModeOfStatus(const std::uint8_t (&status)[kDriveStatusLength]) {
  const std::uint8_t first = status[kStatusQuietMode];
  if (first <= 3) return QuietModeFromNumber(first);
  const std::uint8_t second = status[kStatusQuietModeAlt];
  return second <= 3 ? QuietModeFromNumber(second) : QuietStandard;
}

ErrorCounters ReadErrorCounters() {
  std::uint8_t buffer[kScratchLength] = {};
  const CommandResult read = ReadVendorBuffer(ErrorCounterBuffer, kDataBufferMode, 0, kErrorCounterLength, buffer);
  return {BigEndian32(buffer), BigEndian32(buffer + 4), BigEndian32(buffer + 8), read};
}

}  // namespace norvane
