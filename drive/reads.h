// Identification and status reads: INQUIRY, the vendor READ BUFFER uses and
// the decoders of the buffers the drive reports.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "drive/command_result.h"

namespace norvane {

using QuietModeCode = std::uint32_t;
inline constexpr QuietModeCode QuietPersistent = 0xFFFC;
inline constexpr QuietModeCode QuietOff = 0xFFFD;
inline constexpr QuietModeCode QuietPerformance = 0xFFFE;
inline constexpr QuietModeCode QuietStandard = 0xFFFF;

using ReadModeCode = std::uint32_t;
inline constexpr ReadModeCode ReadModeOff = 0xFFFC;
inline constexpr ReadModeCode ReadModeMaster = 0xFFFD;
inline constexpr ReadModeCode ReadModePerfect = 0xFFFE;

// Vendor buffer ids.
inline constexpr std::uint8_t IdentityBuffer = 0xF1;
inline constexpr std::uint8_t DriveStatusBuffer = 0xF4;
inline constexpr std::uint8_t ErrorCounterBuffer = 0xF5;
inline constexpr std::uint8_t PowerCheckBuffer = 0xE6;
inline constexpr std::uint8_t SettingWriteBuffer = 0xFA;

// The modes of READ BUFFER and WRITE BUFFER that the vendor buffers take: the
// vendor-specific mode for the status buffer and the setting pages, the data
// mode for every other buffer.
inline constexpr std::uint8_t kVendorBufferMode = 0x01;
inline constexpr std::uint8_t kDataBufferMode = 0x02;

// The lengths the buffers are read with.
inline constexpr std::uint32_t kIdentityLength = 48;
inline constexpr std::uint32_t kErrorCounterLength = 32;

// DriveStatusBuffer byte offsets.
inline constexpr std::size_t kStatusQuietMode = 2;
inline constexpr std::size_t kStatusQuietModeAlt = 3;
inline constexpr std::size_t kStatusReadErrorOn = 4;
inline constexpr std::size_t kStatusReadErrorMode = 5;
inline constexpr std::size_t kStatusRealTimeOn = 28;
inline constexpr std::size_t kStatusRealTimeSupported = 29;
inline constexpr std::size_t kStatusEjectAtPowerOn = 40;
inline constexpr std::size_t kDriveStatusLength = 256;
inline constexpr std::uint8_t kReadModePerfectByte = 0xFE;

// What a failed or short read did not bring reads as zeros; `read` tells
// whether the counters came whole.
struct ErrorCounters {
  std::uint32_t errorCount = 0;
  std::uint32_t transferredSectorCount = 0;
  std::uint32_t lastSectorFrame = 0;
  CommandResult read;
};

// READ BUFFER of `length` bytes into `buffer`, which the caller has zero-filled.
CommandResult ReadVendorBuffer(std::uint8_t bufferId, std::uint8_t mode, std::uint32_t offset, std::uint32_t length,
                               void* buffer);
// Reads the 256-byte DriveStatusBuffer into a zero-filled buffer.
CommandResult ReadDriveStatus(std::uint8_t (&status)[kDriveStatusLength]);

std::wstring ReadDriveIdentity(char letter);
// The same, with how the identity read went (see ReadDeviceIdentity).
std::wstring ReadDriveIdentity(char letter, CommandResult& read);
bool IsSupportedDrive(const std::wstring& identity);
std::wstring BuildDriveLabel(char letter);
// The same probes for a drive named by its device path, for systems without
// drive letters; `name` stands in the label where the letter stands.
std::wstring ReadDeviceIdentity(const std::wstring& path);
// The same, with how the identity read went: a drive that did not answer can
// then be told from one that answered with another identity.
std::wstring ReadDeviceIdentity(const std::wstring& path, CommandResult& read);
std::wstring BuildDeviceLabel(const std::wstring& path, const std::wstring& name);
// Whether the current drive's INQUIRY says it is a connected CD/DVD device.
bool IsOpticalDevice();
std::wstring ReadModelName();
bool IsDriveResponding();
QuietModeCode ReadQuietMode();
// The quiet mode that DriveStatusBuffer bytes 2 and 3 report.
QuietModeCode QuietModeOfStatus(const std::uint8_t (&status)[kDriveStatusLength]);
ErrorCounters ReadErrorCounters();

// Converts drive text (up to its first zero byte) to wide characters with the
// thread's ANSI code page.
std::wstring DriveTextToWide(const char* text);

}  // namespace norvane
