#include "drive/channel.h"

#include <cstring>
#include <utility>

namespace norvane {
namespace {

bool IsUnitAttention(SenseClass sense) { return sense == SenseMediumChanged || sense == SenseResetOccurred; }

SenseClass ClassifyNotReady(std::uint8_t asc, std::uint8_t ascq) {
  if (asc == 0x04) {
    switch (ascq) {
      case 0x01: return SenseBecomingReady;
      case 0x02: return SenseNeedsInitialize;
      case 0x08: return SenseLongWrite;
      default: return SenseFailed;
    }
  }
  if (asc == 0x3A && ascq <= 0x02) return SenseNoMedium;
  return SenseFailed;
}

SenseClass ClassifyHardwareError(std::uint8_t asc, std::uint8_t ascq) {
  if (asc == 0x08 && ascq == 0x01) return SenseCommTimeout;
  if (asc == 0x4C && ascq == 0x00) return SenseSelfConfigFailed;
  return SenseFailed;
}

SenseClass ClassifyUnitAttention(std::uint8_t asc, std::uint8_t ascq) {
  if (ascq != 0x00) return SenseFailed;
  if (asc == 0x28) return SenseMediumChanged;
  if (asc == 0x29) return SenseResetOccurred;
  return SenseFailed;
}

// Closes the current drive and makes the given one current, letter and path
// alike (also when it is not opened or the open fails); opens it when asked.
bool MakeCurrent(char letter, std::wstring path, bool open) {
  DriveChannel& channel = Channel();
  CloseDrive();
  channel.letter = letter;
  channel.path = std::move(path);
  if (!open) return false;
  channel.device = InstalledDeviceIo().Open(channel.path.c_str(), DeviceAccess::ReadWrite);
  return channel.device != kNoDevice;
}

}  // namespace

DriveChannel& Channel() {
  static DriveChannel channel;
  return channel;
}

std::wstring DevicePath(char letter) {
  return std::wstring(L"\\\\.\\") + static_cast<wchar_t>(static_cast<unsigned char>(letter)) + L":";
}

SenseClass ClassifySense(const std::uint8_t* sense) {
  const std::uint8_t key = sense[2] & 0x0F;
  const std::uint8_t asc = sense[12];
  const std::uint8_t ascq = sense[13];
  switch (key) {
    case 0x0: return (asc == 0 && ascq == 0) ? SenseClean : SenseFailed;
    case 0x2: return ClassifyNotReady(asc, ascq);
    case 0x4: return ClassifyHardwareError(asc, ascq);
    case 0x6: return ClassifyUnitAttention(asc, ascq);
    default: return SenseFailed;
  }
}

bool OpenDrive(char letter) { return MakeCurrent(letter, DevicePath(letter), letter != 0); }

bool OpenDevicePath(const std::wstring& path) { return MakeCurrent(0, path, !path.empty()); }

void CloseDrive() {
  DriveChannel& channel = Channel();
  if (channel.device != kNoDevice) InstalledDeviceIo().Close(channel.device);
  channel.device = kNoDevice;
}

bool SendCdb(const std::uint8_t (&cdb)[kCdbLength], void* data, std::uint32_t length, DataDirection direction) {
  DriveChannel& channel = Channel();
  for (int attempt = 1;; ++attempt) {
    const ScsiCommand command{cdb, data, length, direction, kPassThroughTimeoutSeconds};
    ScsiReply reply;
    if (!InstalledDeviceIo().PassThrough(channel.device, command, reply)) {
      // The operating system could not reach the drive at all.
      channel.lastSense = SenseFailed;
      return false;
    }
    if (reply.status == 0) return true;
    channel.lastSense = ClassifySense(reply.sense);
    // A unit attention only reports an event; the command itself was not
    // carried out, so it goes out again, but a drive that never stops
    // reporting one must not hang the program.
    if (!IsUnitAttention(channel.lastSense) || attempt == kMaxUnitAttentionAttempts) return false;
  }
}

bool LockMediaNotification() {
  DriveChannel& channel = Channel();
  DeviceIo& io = InstalledDeviceIo();
  ReleaseMediaNotification();  // never leak a handle held from an earlier lock
  channel.notification = io.Open(channel.path.c_str(), DeviceAccess::None);
  if (channel.notification == kNoDevice) return false;
  if (io.PreventMediaChangeNotification(channel.notification)) return true;
  ReleaseMediaNotification();
  return false;
}

void ReleaseMediaNotification() {
  DriveChannel& channel = Channel();
  if (channel.notification != kNoDevice) InstalledDeviceIo().Close(channel.notification);
  channel.notification = kNoDevice;
}

}  // namespace norvane
