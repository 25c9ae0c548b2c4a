// The main window's watch over drives: its registrations with the system for
// CD/DVD drives and for the open drive's handle, the drive it let go for a
// removal or a volume lock, and the work that waits until the window is free
// for it. WM_DEVICECHANGE is sent, and may arrive inside a call for a drive,
// so what it asks for is kept here and done when the posted message comes.
#pragma once

#include <windows.h>
#include <dbt.h>

#include "drive/device_io.h"
#include "platform/scoped.h"

namespace norvane {

class DeviceWatch {
 public:
  enum class Work : unsigned {
    RescanDrives = 1,
    RefreshPages = 2,
    ReopenDrive = 4,  // a removal or a volume lock the window let go for ended
  };

  // What was put off, taken all at once.
  class Pending {
   public:
    bool Has(Work work) const { return (m_work & static_cast<unsigned>(work)) != 0; }

   private:
    friend class DeviceWatch;
    explicit Pending(unsigned work) : m_work(work) {}
    unsigned m_work;
  };

  // Registers `window` for CD/DVD drives arriving and leaving; work put off
  // is announced to it by `followMessage`.
  void Listen(HWND window, UINT followMessage);
  // Ends every registration, before the window goes.
  void Stop();

  // Asks the system to tell of a request to remove the drive open behind
  // `device` (the open handle would otherwise keep it from going). A drive
  // let go earlier is forgotten.
  void WatchDrive(DeviceHandle device);
  // Before the drive's handle is closed.
  void StopWatchingDrive();
  bool IsWatchedDrive(const DEV_BROADCAST_HDR* about) const;

  // The drive the window let go for a removal or a volume lock, to be taken
  // back when that ends; 0 while none was.
  void LetGo(char letter) { m_releasedLetter = letter; }
  bool DriveLetGo() const { return m_releasedLetter != 0; }
  char TakeReleasedLetter();

  // Asks for `work` to be done once the window is free for it; the message
  // is posted once for all the work that gathers before it is answered.
  void PutOff(Work work);
  bool WorkWaits() const { return m_putOff != 0; }
  // Posts the message again now for work still waiting (after a bus power
  // check), or once no action is under way.
  void FollowNow() const;
  void FollowOnceNoActionIsUnderWay() const;
  Pending TakeWork();

 private:
  HWND m_window = nullptr;
  UINT m_followMessage = 0;
  DeviceNotification m_drives;               // CD/DVD drives arriving and leaving
  DeviceNotification m_drive;                // requests to remove the open drive
  DeviceHandle m_watchedDevice = kNoDevice;  // the handle those requests name
  char m_releasedLetter = 0;
  unsigned m_putOff = 0;  // Work bits
};

}  // namespace norvane
