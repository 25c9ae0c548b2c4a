#include "tool/win32_drive_source.h"

#include <windows.h>

#include <cerrno>
#include <string>

#include "drive/win32_device_io.h"
#include "tool/drive_letters.h"
#include "tool/system_text.h"

namespace norvane::tool {
namespace {

struct ErrnoOfWin32 {
  DWORD code;
  int error;
};
constexpr ErrnoOfWin32 kErrnos[] = {
    {ERROR_ACCESS_DENIED, EACCES},    {ERROR_PRIVILEGE_NOT_HELD, EPERM}, {ERROR_WRITE_PROTECT, EROFS},
    {ERROR_FILE_NOT_FOUND, ENOENT},   {ERROR_PATH_NOT_FOUND, ENOENT},    {ERROR_INVALID_DRIVE, ENODEV},
    {ERROR_DEV_NOT_EXIST, ENODEV},    {ERROR_BAD_UNIT, ENODEV},          {ERROR_NOT_READY, ENXIO},
    {ERROR_SHARING_VIOLATION, EBUSY}, {ERROR_BUSY, EBUSY},               {ERROR_SEM_TIMEOUT, ETIMEDOUT},
    {ERROR_IO_DEVICE, EIO},
};

int ErrnoOf(DWORD code) {
  for (const ErrnoOfWin32& known : kErrnos) {
    if (known.code == code) return known.error;
  }
  return EIO;
}

// The system's own words for an error, in the user's language, without the line end.
std::string MessageOf(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
      reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message(text != nullptr ? text : L"", length);
  LocalFree(text);
  message.erase(message.find_last_not_of(L" \r\n.") + 1);
  return Utf8Bytes(message);
}

bool IsCdRomLetter(char letter) {
  const wchar_t root[] = {static_cast<wchar_t>(letter), L':', L'\\', L'\0'};
  return GetDriveTypeW(root) == DRIVE_CDROM;
}

bool IsElevated() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  const bool elevated = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
                        elevation.TokenIsElevated != 0;
  CloseHandle(token);
  return elevated;
}

}  // namespace

SystemError Win32Error(unsigned long code, const std::string& doing) {
  return {ErrnoOf(code), doing + ": " + MessageOf(code) + " (Windows error " + std::to_string(code) + ")"};
}

std::vector<DeviceNode> Win32DriveSource::Candidates() {
  std::vector<DeviceNode> nodes;
  for (char letter = 'C'; letter <= 'Z'; ++letter) {
    if (IsCdRomLetter(letter)) nodes.push_back(LetterNode(letter));
  }
  return nodes;
}

std::optional<DeviceNode> Win32DriveSource::Resolve(const std::string& name) const {
  const char letter = LetterNamed(name);
  if (letter == 0) return std::nullopt;
  return LetterNode(letter);
}

std::optional<std::string> Win32DriveSource::WriteBufferRefusal() const {
  if (IsElevated()) return std::nullopt;
  return "this command writes the drive's vendor buffers with WRITE BUFFER, which Windows passes to a drive only "
         "for administrators: " +
         std::string(System().permissionAdvice);
}

DeviceHandle Win32DriveSource::Open(const wchar_t* path, DeviceAccess access) {
  const DeviceHandle handle = Win32Devices().Open(path, access);
  if (handle == kNoDevice) m_lastError = Win32Error(GetLastError(), "cannot be opened");
  return handle;
}

bool Win32DriveSource::PassThrough(DeviceHandle device, const ScsiCommand& command, ScsiReply& reply) {
  const bool delivered = Win32Devices().PassThrough(device, command, reply);
  if (!delivered) {
    const DWORD code = GetLastError();
    m_lastError = Win32Error(code, "refused by Windows");
    if (code == ERROR_ACCESS_DENIED) {
      m_lastError.text += ": the command needs administrator rights; " + std::string(System().permissionAdvice);
    }
  }
  return delivered;
}

bool Win32DriveSource::PreventMediaChangeNotification(DeviceHandle notification) {
  return Win32Devices().PreventMediaChangeNotification(notification);
}

void Win32DriveSource::Close(DeviceHandle handle) { Win32Devices().Close(handle); }

void Win32DriveSource::Sleep(std::uint32_t milliseconds) { Win32Devices().Sleep(milliseconds); }

}  // namespace norvane::tool
