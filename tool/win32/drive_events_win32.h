// The system's word about drives, from device notifications: a CD/DVD drive
// that came or went wakes a watch of the drive list instead of only its
// next tick, and a status watch lets go of its drive when the system asks
// to remove it ("Safely Remove"), which an open handle would refuse.
#pragma once

#include <windows.h>
#include <dbt.h>

#include <string>

#include "drive/device_io.h"
#include "platform/scoped.h"

namespace norvane::tool {

class DriveEvents {
 public:
  DriveEvents();
  ~DriveEvents();
  DriveEvents(const DriveEvents&) = delete;
  DriveEvents& operator=(const DriveEvents&) = delete;

  // The window the system tells; null where none could be made (the watch
  // then goes by its ticks alone).
  HWND Window() const { return m_window; }
  // Waits until a drive arrives or leaves, `wakeUp` is signalled, or
  // `milliseconds` have passed, answering what the system sends meanwhile;
  // true when a drive arrived or left.
  bool Wait(HANDLE wakeUp, DWORD milliseconds);
  // Waits until `wakeUp` is signalled or `milliseconds` have passed, with
  // the drive open in the channel watched: asked whether it may be removed,
  // the drive is let go; a removal refused opens it again.
  void WaitBesideOpenDrive(HANDLE wakeUp, DWORD milliseconds);
  // Whether the drive was let go for a removal not yet refused or done.
  bool DriveLetGo() const { return !m_letGo.empty(); }
  // Stops watching the drive, before it is closed.
  void StopWatchingDrive();

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnDeviceChange(WPARAM event, const DEV_BROADCAST_HDR* about);
  // Answers what the system sends until `wakeUp`, the deadline, or (with
  // `untilDriveChange`) a drive that arrives or leaves.
  void Pump(HANDLE wakeUp, DWORD milliseconds, bool untilDriveChange);
  void WatchOpenDrive();
  bool IsWatchedDrive(const DEV_BROADCAST_HDR* about) const;
  void LetGoOfDrive();
  void TakeDriveBack();
  void DriveRemoved();

  HWND m_window = nullptr;
  DeviceNotification m_registration;       // the CD/DVD drive class
  DeviceNotification m_driveRegistration;  // the handle of the drive watched
  DeviceHandle m_watched = kNoDevice;      // that handle, as it was registered
  std::wstring m_letGo;                    // the path of the drive let go, while its removal is under way
  bool m_changed = false;
};

}  // namespace norvane::tool
