// The emulated device seam: maps \\.\X: paths to emulated drives, runs sleeps
// on the virtual clock, and fails like the operating system does for a
// letter with nothing behind it or a drive that has gone.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>

#include "drive/device_io.h"
#include "emulator/emulated_drive.h"
#include "emulator/virtual_clock.h"

namespace norvane::emu {

// The models the demo and the tests use.
DriveModel QuietDriveModel();    // "KTV 3364QR27", product with "QDM-LT58", real-time support
DriveModel GeneralDriveModel();  // "KTV 3364GENERAL", no real-time support
DriveModel ForeignDriveModel();  // another vendor; refuses the vendor buffers

class EmulatedDevices : public DeviceIo {
 public:
  EmulatedDevices() = default;
  EmulatedDevices(const EmulatedDevices&) = delete;
  EmulatedDevices& operator=(const EmulatedDevices&) = delete;

  // Letters are upper case, as in the device path. Attaching over a drive
  // replaces it; handles to the old one go stale, like those of a detached one.
  EmulatedDrive& Attach(char letter, DriveModel model);
  void Detach(char letter);
  // Unplugging keeps the drive and its state; open handles to it go stale.
  void Unplug(char letter);
  void Plug(char letter);
  EmulatedDrive* Drive(char letter);  // null when nothing is attached there
  // The operating system's pass-through to the drive fails while the drive
  // itself stays attached and its handles open (a host adapter in trouble).
  void FailPassThrough(char letter, bool fail);
  // Another program holds the drive for itself (as a burning program locks
  // it): opens still succeed, every command from here is refused with
  // access denied.
  void LockForAnotherProgram(char letter, bool locked);
  // Opening the drive is refused with access denied (a user the device's
  // security does not let in).
  void DenyOpens(char letter, bool denied);

  // A program locks the drive's volume for itself, as a burning program does
  // before it writes. The file system first tells every holder of a handle
  // to it (`tell` with Lock), then grants the lock only if no handle to the
  // drive is left open; a lock it cannot grant is told as LockFailed. While
  // locked, opens and commands from here are refused with access denied.
  // Answers whether the lock was granted.
  enum class VolumeEvent { Lock, LockFailed, Unlock };
  using VolumeEventListener = std::function<void(VolumeEvent)>;
  bool LockVolume(char letter, const VolumeEventListener& tell);
  // The program lets go of its lock: the holders hear of it (Unlock).
  void UnlockVolume(char letter, const VolumeEventListener& tell);
  // Handles open to the drive at `letter` (stale ones excluded).
  int OpenHandlesTo(char letter) const;
  // Commands to the drive wait for their answer until ReleaseAnswers, as a
  // drive that hangs holds the calling thread, for as long as a test needs.
  void HoldAnswers(char letter);
  void ReleaseAnswers(char letter);
  // Waits until a command to a held drive waits for its answer; false when
  // none came within `bound`.
  bool WaitForHeldCommand(std::chrono::milliseconds bound);

  // Letters that are not optical drives: the system reports their kind, and
  // they record every open and command that reaches them.
  enum class OtherKind { FixedDisk, NetworkShare };
  void AddOtherLetter(char letter, OtherKind kind);
  // A letter the system calls a CD/DVD drive that is no drive to talk to: an
  // image Explorer mounted, a virtual drive, another maker's drive behind a
  // driver without the pass-through. It opens, and answers every
  // pass-through request with the system's `code` (request not supported,
  // invalid function).
  void AddOpticalLetterWithoutPassThrough(char letter, std::uint32_t code);
  // Opens and commands that reached letters that are not optical drives.
  int ContactsWithOtherLetters() const { return m_otherContacts; }

  VirtualClock& Clock();
  int OpenHandleCount() const;  // handles opened and not yet closed, stale ones included
  // Whether an open handle to the drive holds media change notification off.
  bool MediaChangeNotificationPrevented(char letter) const;

  // Opens exactly \\.\X: with X an attached drive that is on the bus.
  DeviceHandle Open(const wchar_t* path, DeviceAccess access) override;
  // Fails (false, reply untouched) for an unknown, closed or stale handle, a
  // handle without access, or data missing for a non-zero transfer length.
  bool PassThrough(DeviceHandle device, const ScsiCommand& command, ScsiReply& reply) override;
  bool PreventMediaChangeNotification(DeviceHandle notification) override;
  void Close(DeviceHandle handle) override;
  void Sleep(std::uint32_t milliseconds) override;
  // Attached drives on the bus are CD/DVD drives; the other letters are not.
  bool IsOpticalDrive(char letter) override;
  // The code Windows gives for the last failure, as the real transport reports it.
  std::uint32_t LastErrorCode() const override { return m_lastError; }

 private:
  struct OpenHandle {
    char letter = 0;  // 0 once the drive has been detached
    DeviceAccess access = DeviceAccess::None;
    std::uint32_t busSession = 0;
    bool preventsNotification = false;
  };
  EmulatedDrive* DriveBehind(const OpenHandle& handle);
  void WaitWhileHeld(char letter);
  bool Fail(std::uint32_t code);            // a failed call, with the code it leaves
  DeviceHandle Refuse(std::uint32_t code);  // a failed open, likewise
  DeviceHandle Admit(char letter, DeviceAccess access, std::uint32_t busSession);

  VirtualClock m_clock;  // before the drives, which refer to it
  std::map<char, std::unique_ptr<EmulatedDrive>> m_drives;
  std::map<DeviceHandle, OpenHandle> m_handles;
  std::set<char> m_failingPassThrough;
  std::set<char> m_lockedByAnotherProgram;
  std::set<char> m_deniedOpens;
  // Held drives are released from the test's thread while a command waits
  // on the drive thread.
  std::mutex m_holdMutex;
  std::condition_variable m_holdChanged;
  std::set<char> m_heldLetters;
  int m_heldCommands = 0;
  std::map<char, OtherKind> m_otherLetters;
  std::map<char, std::uint32_t> m_withoutPassThrough;
  int m_otherContacts = 0;
  std::uint32_t m_lastError = 0;
  DeviceHandle m_nextHandle = 0x100;
};

}  // namespace norvane::emu
