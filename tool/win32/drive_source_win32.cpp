#include "tool/win32/drive_source_win32.h"

#include <windows.h>

#include <cerrno>
#include <string>

#include "drive/channel.h"
#include "drive/device_io_win32.h"
#include "tool/drive_letters.h"
#include "tool/system_text.h"

namespace norvane::tool {
namespace {

// A device that is gone; the compiler's headers lack its name.
constexpr DWORD kErrorNoSuchDevice = 433;

// Each error Windows gives for a drive: the errno value nearest to it, and
// what it most likely means for the drive, said after the system's words.
struct KnownWin32Error {
  DWORD code;
  int error;
  const char* meaning;  // null: the system's words say it all
};
constexpr KnownWin32Error kKnownErrors[] = {
    {ERROR_ACCESS_DENIED, EACCES,
     "another program may be using the drive (a burning program can hold it for itself), the command may need "
     "administrator rights, or security software may be blocking it"},
    {ERROR_PRIVILEGE_NOT_HELD, EPERM, "the command needs administrator rights"},
    {ERROR_WRITE_PROTECT, EROFS, nullptr},
    {ERROR_FILE_NOT_FOUND, ENOENT, "no drive at that letter"},
    {ERROR_PATH_NOT_FOUND, ENOENT, "no drive at that letter"},
    {ERROR_INVALID_DRIVE, ENODEV, "no drive at that letter"},
    {ERROR_DEV_NOT_EXIST, ENODEV, "the drive was unplugged"},
    {ERROR_DEVICE_NOT_CONNECTED, ENODEV, "the drive was unplugged or lost its power"},
    {kErrorNoSuchDevice, ENODEV, "the drive was unplugged"},
    {ERROR_BAD_UNIT, ENODEV, nullptr},
    {ERROR_NOT_READY, ENXIO, "the drive is not ready; try again in a moment"},
    {ERROR_MEDIA_CHANGED, EIO, "the disc was changed; run the command again"},
    {ERROR_SHARING_VIOLATION, EBUSY, "another program is using the drive; close it and try again"},
    {ERROR_LOCK_VIOLATION, EBUSY, "another program has locked the drive; close it and try again"},
    {ERROR_BUSY, EBUSY, "another program is using the drive; close it and try again"},
    {ERROR_SEM_TIMEOUT, ETIMEDOUT, "the drive did not answer in time"},
    {ERROR_INVALID_PARAMETER, EINVAL, "the drive's adapter refused the request"},
    {ERROR_INVALID_FUNCTION, ENOTTY, "the drive's driver does not take SCSI commands from programs"},
    {ERROR_IO_DEVICE, EIO, nullptr},
};

const KnownWin32Error* KnownError(DWORD code) {
  for (const KnownWin32Error& known : kKnownErrors) {
    if (known.code == code) return &known;
  }
  return nullptr;
}

// The system's own words for an error, in the user's language, without the
// closing full stop: the tool's message goes on after them.
std::string MessageOf(DWORD code) {
  std::wstring message = SystemErrorText(code);
  message.erase(message.find_last_not_of(L".") + 1);
  return Utf8Bytes(message);
}
}  // namespace

SystemError Win32Error(unsigned long code, const std::string& doing) {
  const KnownWin32Error* known = KnownError(code);
  std::string text = doing + ": " + MessageOf(code) + " (Windows error " + std::to_string(code) + ")";
  if (known != nullptr && known->meaning != nullptr) text += ": " + std::string(known->meaning);
  return {known != nullptr ? known->error : EIO, text};
}

std::vector<DeviceNode> Win32DriveSource::Candidates() {
  std::vector<DeviceNode> nodes;
  for (const char letter : OpticalDriveLetters(*this)) nodes.push_back(LetterNode(letter));
  return nodes;
}

std::optional<DeviceNode> Win32DriveSource::Resolve(const std::string& name) const {
  const char letter = LetterNamed(name);
  if (letter == 0) return std::nullopt;
  return LetterNode(letter);
}

DeviceHandle Win32DriveSource::Open(const wchar_t* path, DeviceAccess access) {
  const DeviceHandle handle = Win32Devices().Open(path, access);
  if (handle == kNoDevice) m_lastError = Win32Error(Win32Devices().LastErrorCode(), "cannot be opened");
  return handle;
}

bool Win32DriveSource::PassThrough(DeviceHandle device, const ScsiCommand& command, ScsiReply& reply) {
  const bool delivered = Win32Devices().PassThrough(device, command, reply);
  if (!delivered) m_lastError = Win32Error(Win32Devices().LastErrorCode(), "refused by Windows");
  return delivered;
}

bool Win32DriveSource::PreventMediaChangeNotification(DeviceHandle notification) {
  return Win32Devices().PreventMediaChangeNotification(notification);
}

void Win32DriveSource::Close(DeviceHandle handle) { Win32Devices().Close(handle); }

void Win32DriveSource::Sleep(std::uint32_t milliseconds) { Win32Devices().Sleep(milliseconds); }

bool Win32DriveSource::IsOpticalDrive(char letter) { return Win32Devices().IsOpticalDrive(letter); }

std::uint32_t Win32DriveSource::LastErrorCode() const { return Win32Devices().LastErrorCode(); }

}  // namespace norvane::tool
