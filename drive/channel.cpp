#include "drive/channel.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <utility>

namespace norvane {
namespace {

using enum SenseClass;

constexpr std::uint8_t kStatusGood = 0x00;

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

// Carries out one call into the operating system through the installed call
// runner and answers what it returned. The runner gets a reference, so that
// no command allocates.
template <class Call>
auto DeviceCall(Call call) -> decltype(call()) {
  decltype(call()) result{};
  auto run = [&result, &call] { result = call(); };
  RunDeviceCall(std::ref(run));
  return result;
}

DeviceHandle OpenDevice(const std::wstring& path, DeviceAccess access, std::uint32_t& error) {
  DeviceIo& io = InstalledDeviceIo();
  const DeviceHandle handle = DeviceCall([&] { return io.Open(path.c_str(), access); });
  error = handle == kNoDevice ? io.LastErrorCode() : 0;
  return handle;
}

// Closes the current drive and makes the given one current, letter and path
// alike (also when it is not opened or the open fails); opens it when asked.
bool MakeCurrent(char letter, std::wstring path, bool open) {
  DriveChannel& channel = Channel();
  CloseDrive();
  channel.letter = letter;
  channel.path = std::move(path);
  channel.openError = 0;
  channel.lent = false;
  if (!open) return false;
  channel.device = OpenDevice(channel.path, DeviceAccess::ReadWrite, channel.openError);
  return channel.device != kNoDevice;
}

CommandResult NotDelivered(std::uint8_t operation, std::uint32_t length, std::uint32_t systemError) {
  return {.outcome = CommandOutcome::NotDelivered,
          .operation = operation,
          .sense = SenseFailed,
          .requested = length,
          .systemError = systemError};
}

// No transport may claim more bytes than the buffer it was given.
CommandResult Answered(std::uint8_t operation, std::uint32_t length, const ScsiReply& reply) {
  const std::uint32_t transferred = std::min(reply.transferred, length);
  if (reply.status == kStatusGood) {
    return {
        .outcome = CommandOutcome::Succeeded, .operation = operation, .requested = length, .transferred = transferred};
  }
  return {.outcome = CommandOutcome::Failed,
          .operation = operation,
          .status = reply.status,
          .sense = ClassifySense(reply.sense),
          .senseCode = SenseCodeOf(reply.sense),
          .requested = length,
          .transferred = transferred};
}

}  // namespace

DriveChannel& Channel() {
  static DriveChannel channel;
  return channel;
}

std::wstring DevicePath(char letter) {
  return std::wstring(L"\\\\.\\") + static_cast<wchar_t>(static_cast<unsigned char>(letter)) + L":";
}

// Fixed format (70h, 71h): the sense key in the low bits of byte 2, ASC and
// ASCQ in bytes 12 and 13. Descriptor format (72h, 73h): all three in bytes 1
// to 3.
SenseCode SenseCodeOf(const std::uint8_t* sense) {
  const std::uint8_t responseCode = sense[0] & 0x7F;
  if (responseCode == 0x72 || responseCode == 0x73) {
    return {static_cast<std::uint8_t>(sense[1] & 0x0F), sense[2], sense[3]};
  }
  return {static_cast<std::uint8_t>(sense[2] & 0x0F), sense[12], sense[13]};
}

SenseClass ClassifySense(const std::uint8_t* sense) {
  const SenseCode code = SenseCodeOf(sense);
  switch (code.key) {
    case 0x0: return (code.asc == 0 && code.ascq == 0) ? SenseClean : SenseFailed;
    case 0x2: return ClassifyNotReady(code.asc, code.ascq);
    case 0x4: return ClassifyHardwareError(code.asc, code.ascq);
    case 0x6: return ClassifyUnitAttention(code.asc, code.ascq);
    default: return SenseFailed;
  }
}

std::vector<char> OpticalDriveLetters(DeviceIo& io) {
  std::vector<char> letters;
  for (char letter = 'C'; letter <= 'Z'; ++letter) {
    if (io.IsOpticalDrive(letter)) letters.push_back(letter);
  }
  return letters;
}

bool OpenDrive(char letter) { return MakeCurrent(letter, DevicePath(letter), letter != 0); }

bool OpenDevicePath(const std::wstring& path) { return MakeCurrent(0, path, !path.empty()); }

void CloseDrive() {
  DriveChannel& channel = Channel();
  if (channel.device != kNoDevice) InstalledDeviceIo().Close(channel.device);
  channel.device = kNoDevice;
  channel.openError = 0;
}

void LendDrive() {
  ReleaseMediaNotification();
  CloseDrive();
  Channel().lent = true;
}

CommandResult SendCdb(const std::uint8_t (&cdb)[kCdbLength], void* data, std::uint32_t length,
                      DataDirection direction) {
  DriveChannel& channel = Channel();
  DeviceIo& io = InstalledDeviceIo();
  for (int attempt = 1;; ++attempt) {
    const ScsiCommand command{cdb, data, length, direction, kPassThroughTimeoutSeconds};
    ScsiReply reply;
    if (!DeviceCall([&] { return io.PassThrough(channel.device, command, reply); })) {
      // The operating system could not reach the drive at all.
      channel.lastSense = SenseFailed;
      return NotDelivered(cdb[0], length, io.LastErrorCode());
    }
    const CommandResult result = Answered(cdb[0], length, reply);
    if (result.Succeeded()) return result;
    channel.lastSense = result.sense;
    // A unit attention only reports an event; the command itself was not
    // carried out, so it goes out again, but a drive that never stops
    // reporting one must not hang the program.
    if (!IsUnitAttention(result.sense) || attempt == kMaxUnitAttentionAttempts) return result;
  }
}

bool LockMediaNotification() {
  DriveChannel& channel = Channel();
  DeviceIo& io = InstalledDeviceIo();
  ReleaseMediaNotification();  // never leak a handle held from an earlier lock
  std::uint32_t error = 0;
  channel.notification = OpenDevice(channel.path, DeviceAccess::None, error);
  if (channel.notification == kNoDevice) return false;
  if (DeviceCall([&] { return io.PreventMediaChangeNotification(channel.notification); })) return true;
  ReleaseMediaNotification();
  return false;
}

void ReleaseMediaNotification() {
  DriveChannel& channel = Channel();
  if (channel.notification != kNoDevice) InstalledDeviceIo().Close(channel.notification);
  channel.notification = kNoDevice;
}

}  // namespace norvane
