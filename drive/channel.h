// The one open-drive record of the process and the pass-through transport.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "drive/command_result.h"
#include "drive/device_io.h"

namespace norvane {

struct DriveChannel {
  char letter = 0;                                // 'C'..'Z'; 0 = no drive, or one opened by its path
  std::wstring path;                              // device path of the current drive
  DeviceHandle device = kNoDevice;                // read-write handle used by SendCdb
  DeviceHandle notification = kNoDevice;          // held while notification is off
  SenseClass lastSense = SenseClass::SenseClean;  // class of the last failed command
  std::uint32_t openError = 0;                    // the system's code when the last open failed
  bool lent = false;                              // closed for another program's exclusive use, until opened again
};

// The process-wide channel.
DriveChannel& Channel();

// \\.\X: for the given letter.
std::wstring DevicePath(char letter);

// The sense key, ASC and ASCQ of sense data in the fixed or the descriptor
// format (at least 14 bytes).
SenseCode SenseCodeOf(const std::uint8_t* sense);
// Classifies sense data in either format (at least 14 bytes).
SenseClass ClassifySense(const std::uint8_t* sense);

// A unit attention is repeated at most this many attempts in all.
inline constexpr int kMaxUnitAttentionAttempts = 10;

// The letters C..Z that the system reports as CD/DVD drives, in order: the
// only letters the programs open or send anything to.
std::vector<char> OpticalDriveLetters(DeviceIo& io = InstalledDeviceIo());

bool OpenDrive(char letter);
// Opens a device named by its path, for systems whose drives have no letters
// (such as /dev/sr0 on Linux); the letter becomes 0.
bool OpenDevicePath(const std::wstring& path);
void CloseDrive();
// Closes the drive so that another program can have it to itself (a burning
// program locks its volume): the channel keeps its letter and path, and
// says it was lent until the drive is opened again.
void LendDrive();
// Sends one command to the current device and repeats it after a unit
// attention. A failure also leaves its sense class in the channel.
CommandResult SendCdb(const std::uint8_t (&cdb)[kCdbLength], void* data, std::uint32_t length, DataDirection direction);
bool LockMediaNotification();
void ReleaseMediaNotification();

}  // namespace norvane
