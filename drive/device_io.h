// The operating-system seam of the drive command layer: open a device, carry
// out one SCSI pass-through request, switch off media change notification,
// close, sleep. The shipped program installs the Win32 implementation; the
// demo and the tests install the emulated devices.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace norvane {

using DeviceHandle = std::intptr_t;
inline constexpr DeviceHandle kNoDevice = -1;  // an invalid or absent handle

enum class DeviceAccess {
  ReadWrite,  // for commands
  None,       // for the media change notification handle
};

enum class DataDirection : std::uint8_t {
  Out = 0,   // data to the drive
  In = 1,    // data from the drive
  None = 2,  // no data
};

inline constexpr std::size_t kCdbLength = 12;
inline constexpr std::size_t kSenseRequestLength = 18;
inline constexpr std::size_t kSenseAreaLength = 32;
inline constexpr std::uint32_t kPassThroughTimeoutSeconds = 360;

struct ScsiCommand {
  const std::uint8_t* cdb = nullptr;  // kCdbLength bytes
  void* data = nullptr;               // may be null when transferLength is 0
  std::uint32_t transferLength = 0;
  DataDirection direction = DataDirection::None;
  std::uint32_t timeoutSeconds = kPassThroughTimeoutSeconds;
};

struct ScsiReply {
  std::uint8_t status = 0;                    // SCSI status byte, 0 = GOOD
  std::uint8_t sense[kSenseAreaLength] = {};  // fixed-format sense data
  // The bytes the command actually moved, in its direction: the transfer
  // length less the residual that the transport reports, so that a drive
  // that answers short can be told from one that answers in full.
  std::uint32_t transferred = 0;
};

class DeviceIo {
 public:
  virtual ~DeviceIo() = default;
  // Opens a device path such as \\.\E:. Returns kNoDevice on failure.
  virtual DeviceHandle Open(const wchar_t* path, DeviceAccess access) = 0;
  // Carries out one pass-through request and fills the reply: status, sense
  // and the bytes moved. Returns false when the operating-system call itself
  // failed (bad handle, device gone).
  virtual bool PassThrough(DeviceHandle device, const ScsiCommand& command, ScsiReply& reply) = 0;
  // Switches media change notification off for as long as the handle is open.
  virtual bool PreventMediaChangeNotification(DeviceHandle notification) = 0;
  virtual void Close(DeviceHandle handle) = 0;
  virtual void Sleep(std::uint32_t milliseconds) = 0;
  // Whether the system reports the drive letter as a CD/DVD drive. Nothing
  // is opened or sent at any other letter: a disk, a stick or a network
  // share must never get a vendor command or stall a scan. A seam without
  // drive letters has none.
  virtual bool IsOpticalDrive(char /*letter*/) { return false; }
  // The operating system's own code for why the last Open or PassThrough
  // failed (GetLastError's value on Windows, errno's on Linux); 0 when it
  // gave none.
  virtual std::uint32_t LastErrorCode() const { return 0; }
};

// The implementation every drive command goes through. Until an entry point
// installs one, no device can be opened.
void InstallDeviceIo(DeviceIo& io);
DeviceIo& InstalledDeviceIo();

// Waits `milliseconds` for the drive, on the drive's clock (the installed
// implementation's Sleep). A window's thread installs a runner that keeps
// its windows answering through the wait.
void WaitForDrive(std::uint32_t milliseconds);
using WaitRunner = void (*)(std::uint32_t milliseconds, const std::function<void(std::uint32_t)>& sleep);
void InstallWaitRunner(WaitRunner runner);  // null: the wait is one plain sleep

// Runs one call into the operating system for a drive (an open, a
// pass-through), which may block for as long as the command's time-out. A
// window's thread installs a runner that carries the call out elsewhere and
// keeps its windows answering until it returns. `call` must not be kept.
using CallRunner = void (*)(const std::function<void()>& call);
void InstallCallRunner(CallRunner runner);  // null: the call runs on the calling thread
void RunDeviceCall(const std::function<void()>& call);

}  // namespace norvane
