// Drives and discs that come and go while the window is open: USB drives
// plugged in and pulled out, "Safely Remove" of the open drive, discs put in
// and taken out. The system tells the window through WM_DEVICECHANGE, which
// is sent: it can arrive while a call for a drive runs on the drive thread
// (the window answers sent messages meanwhile), so the work it asks for is
// put off until the window is free for it.
#include <windows.h>
#include <commctrl.h>
#include <dbt.h>

#include <utility>

#include "app/main_window.h"
#include "drive/channel.h"
#include "drive/device_interface_win32.h"
#include "resource.h"
#include "ui/action.h"
#include "ui/waiting.h"
#include "ui/window.h"

namespace norvane {
namespace {

// What a file system tells the holders of a volume's handles when a program
// locks it for itself (a burning program, before it writes), and when the
// lock ends or could not be had (GUID_IO_VOLUME_LOCK, _UNLOCK, _LOCK_FAILED).
constexpr GUID kVolumeLock = {0x50708874, 0xc9af, 0x11d1, {0x8f, 0xef, 0x00, 0xa0, 0xc9, 0xa0, 0x6d, 0x32}};
constexpr GUID kVolumeUnlock = {0x9a8c3d68, 0xd0cb, 0x11d1, {0x8f, 0xef, 0x00, 0xa0, 0xc9, 0xa0, 0x6d, 0x32}};
constexpr GUID kVolumeLockFailed = {0xae2eed10, 0x0ba8, 0x11d2, {0x8f, 0xfb, 0x00, 0xa0, 0xc9, 0xa0, 0x6d, 0x32}};

bool HasLetter(DWORD unitMask, char letter) {
  return letter >= 'A' && letter <= 'Z' && (unitMask >> (letter - 'A')) & 1;
}

}  // namespace

void CNorvaneDriveUtilityDlg::ListenForDrives() {
  DEV_BROADCAST_DEVICEINTERFACE_W filter{};
  filter.dbcc_size = sizeof filter;
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  filter.dbcc_classguid = kOpticalDriveInterface;
  m_drivesNotification = RegisterDeviceNotificationW(m_hwnd, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

void CNorvaneDriveUtilityDlg::StopListening() {
  StopWatchingDrive();
  if (m_drivesNotification) UnregisterDeviceNotification(m_drivesNotification);
  m_drivesNotification = nullptr;
}

// A registration goes before its handle: the system's record of it names
// the handle, whose value the next open may be given.
void CNorvaneDriveUtilityDlg::OpenAndWatch(char letter) {
  StopWatchingDrive();
  OpenDrive(letter);
  WatchOpenDrive();
}

void CNorvaneDriveUtilityDlg::WatchOpenDrive() {
  StopWatchingDrive();
  m_releasedLetter = 0;
  m_watchedDevice = Channel().device;
  if (m_watchedDevice == kNoDevice) return;
  DEV_BROADCAST_HANDLE filter{};
  filter.dbch_size = sizeof filter;
  filter.dbch_devicetype = DBT_DEVTYP_HANDLE;
  filter.dbch_handle = reinterpret_cast<HANDLE>(m_watchedDevice);
  m_handleNotification = RegisterDeviceNotificationW(m_hwnd, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

void CNorvaneDriveUtilityDlg::StopWatchingDrive() {
  if (m_handleNotification) UnregisterDeviceNotification(m_handleNotification);
  m_handleNotification = nullptr;
  m_watchedDevice = kNoDevice;
}

// The system names the registration: the handle it also names may have
// been closed (for a removal query, a volume lock) and its value given to
// another open since. A notification that names no registration (as only
// a tool sending one by hand does) is matched by the handle.
bool CNorvaneDriveUtilityDlg::IsWatchedDrive(const DEV_BROADCAST_HDR* about) const {
  if (!about || about->dbch_devicetype != DBT_DEVTYP_HANDLE || m_handleNotification == nullptr) return false;
  const auto& handle = *reinterpret_cast<const DEV_BROADCAST_HANDLE*>(about);
  if (handle.dbch_hdevnotify != nullptr) return handle.dbch_hdevnotify == m_handleNotification;
  return m_watchedDevice != kNoDevice && handle.dbch_handle == reinterpret_cast<HANDLE>(m_watchedDevice);
}

bool CNorvaneDriveUtilityDlg::IsOpenDrivesVolume(const DEV_BROADCAST_HDR* about) const {
  if (!about || about->dbch_devicetype != DBT_DEVTYP_VOLUME) return false;
  const auto& volume = *reinterpret_cast<const DEV_BROADCAST_VOLUME*>(about);
  return (volume.dbcv_flags & DBTF_MEDIA) == 0 && HasLetter(volume.dbcv_unitmask, Channel().letter);
}

// A volume that comes is a drive only if the system calls it a CD/DVD drive;
// one that goes can no longer be asked, and matters if the list has it.
bool CNorvaneDriveUtilityDlg::ConcernsListedOrOpticalDrive(const DEV_BROADCAST_VOLUME& volume) const {
  const auto count = static_cast<int>(m_driveList.Send(CB_GETCOUNT));
  for (int i = 0; i < count; ++i) {
    if (HasLetter(volume.dbcv_unitmask, LetterAt(i))) return true;
  }
  for (char letter = 'C'; letter <= 'Z'; ++letter) {
    if (HasLetter(volume.dbcv_unitmask, letter) && InstalledDeviceIo().IsOpticalDrive(letter)) return true;
  }
  return false;
}

LRESULT CNorvaneDriveUtilityDlg::OnDeviceChange(const ui::DeviceChange& change) {
  const DEV_BROADCAST_HDR* about = change.about;
  switch (change.event) {
    case DBT_DEVICEQUERYREMOVE: return IsWatchedDrive(about) ? AnswerRemovalQuery() : TRUE;
    case DBT_DEVICEQUERYREMOVEFAILED:
      if (IsWatchedDrive(about) && m_releasedLetter != 0) PutOff(kReopenDrive);
      return TRUE;
    case DBT_CUSTOMEVENT:
      if (IsWatchedDrive(about)) FollowVolumeLock(*reinterpret_cast<const DEV_BROADCAST_HANDLE*>(about));
      return TRUE;
    case DBT_DEVICEREMOVEPENDING:
    case DBT_DEVICEREMOVECOMPLETE:
      // The removal may come without a query first (a cable pulled): the
      // handle goes now, the drive list once the window is free for it.
      if (IsWatchedDrive(about) || IsOpenDrivesVolume(about)) CloseRemovedDrive();
      if (change.event == DBT_DEVICEREMOVEPENDING) return TRUE;
      break;
    case DBT_DEVICEARRIVAL: break;
    default: return TRUE;
  }
  if (!about) return TRUE;
  if (about->dbch_devicetype == DBT_DEVTYP_VOLUME) {
    const auto& volume = *reinterpret_cast<const DEV_BROADCAST_VOLUME*>(about);
    if (volume.dbcv_flags & DBTF_MEDIA) {
      if (HasLetter(volume.dbcv_unitmask, ShownLetter())) PutOff(kRefreshPages);
    } else if (ConcernsListedOrOpticalDrive(volume)) {
      PutOff(kRescanDrives);
    }
  } else if (about->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE) {
    const auto& device = *reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(about);
    if (IsEqualGUID(device.dbcc_classguid, kOpticalDriveInterface)) PutOff(kRescanDrives);
  }
  return TRUE;
}

// Inside a call the drive thread is using the handle (see
// AnswerRemovalQuery): the call fails on the drive that has gone, and the
// scan that follows closes it.
void CNorvaneDriveUtilityDlg::CloseRemovedDrive() {
  PutOff(kRescanDrives);
  if (ui::InsideADriveCall()) return;
  StopWatchingDrive();
  ReleaseMediaNotification();
  CloseDrive();
}

// A program that locks the volume (a burning program, before it writes)
// gets the lock only once every other handle to it is closed: the window
// lets go as for a removal query, and the pages find the drive in use by
// another program until the lock ends.
void CNorvaneDriveUtilityDlg::FollowVolumeLock(const DEV_BROADCAST_HANDLE& event) {
  if (IsEqualGUID(event.dbch_eventguid, kVolumeLock)) {
    if (ui::InsideADriveCall()) return;  // the lock fails; the program may try again
    m_releasedLetter = Channel().letter;
    LendDrive();
    if (m_utilityPage) m_utilityPage->DriveWithdrawn();
  } else if (IsEqualGUID(event.dbch_eventguid, kVolumeUnlock) || IsEqualGUID(event.dbch_eventguid, kVolumeLockFailed)) {
    // What the other program wrote is read anew.
    if (m_releasedLetter != 0) PutOff(kReopenDrive | kRefreshPages);
  }
}

// The system asks whether the open drive may go ("Safely Remove"): the
// window lets go of its handles, or the removal would be refused as "in use".
LRESULT CNorvaneDriveUtilityDlg::AnswerRemovalQuery() {
  // Inside a call the drive thread is using the handle at this moment:
  // closing it would pull it from under the call, and the system may give
  // the same value to the next handle opened, which the call would then
  // reach. The removal is refused; the call ends within its time-out, and a
  // second try then finds the drive let go.
  if (ui::InsideADriveCall()) return BROADCAST_QUERY_DENY;
  m_releasedLetter = Channel().letter;
  ReleaseMediaNotification();
  CloseDrive();
  if (m_utilityPage) m_utilityPage->DriveWithdrawn();
  return TRUE;
}

void CNorvaneDriveUtilityDlg::TakeBackReleasedDrive() {
  const char letter = std::exchange(m_releasedLetter, 0);
  if (letter != 0 && Channel().device == kNoDevice) OpenAndWatch(letter);
}

void CNorvaneDriveUtilityDlg::PutOff(unsigned work) {
  const bool posted = m_putOff != 0;
  m_putOff |= work;
  if (!posted) ui::PostOnceNoActionIsUnderWay(m_hwnd, kFollowDevices);
}

// A posted message is never dispatched inside a call for a drive or a wait
// (they answer only what is sent), but a question's message box dispatches
// it: an action under way is left to end, and asks again when it does; so
// is a bus power check, whose ReleaseBusy asks again.
LRESULT CNorvaneDriveUtilityDlg::OnFollowDevices() {
  if (m_busyLock || m_putOff == 0) return 0;
  if (ui::AnActionIsUnderWay()) {
    ui::PostOnceNoActionIsUnderWay(m_hwnd, kFollowDevices);
    return 0;
  }
  const unsigned work = std::exchange(m_putOff, 0u);
  bool refresh = (work & kRefreshPages) != 0;
  if (work & kRescanDrives) {
    refresh = FollowDriveList() || refresh;
  } else if (work & kReopenDrive) {
    TakeBackReleasedDrive();
  }
  if (refresh) RefreshPages();
  return 0;
}

// The drive shown stays shown while it is there; otherwise the first drive
// is. Answers whether the pages now belong to another drive.
bool CNorvaneDriveUtilityDlg::FollowDriveList() {
  const char shown = ShownLetter();
  ScanDrives();
  const auto count = static_cast<int>(m_driveList.Send(CB_GETCOUNT));
  int index = 0;
  while (index < count && LetterAt(index) != shown) ++index;
  if (index < count && index > 0) {
    m_driveList.Send(CB_SETCURSEL, index);
    OpenAndWatch(shown);
  }
  const bool pagesBack = ShowDrivesOrNotice();
  return pagesBack || (shown != 0 && index == count && count > 0);
}

// With no drive left the window looks as after a start without one: no tabs,
// no page, the notice. The pages are kept (one of them may be the window
// whose action brought this about) and come back with the next drive.
// Answers whether pages that were kept are shown again.
bool CNorvaneDriveUtilityDlg::ShowDrivesOrNotice() {
  const bool anyDrive = m_driveList.Send(CB_GETCOUNT) > 0;
  ShowMessage(anyDrive ? std::wstring{} : ui::LoadResourceString(IDS_DRIVE_NOT_CONNECTED));
  const bool tabsShown = SendMessageW(Tabs(), TCM_GETITEMCOUNT, 0, 0) > 0;
  if (anyDrive == tabsShown) return false;
  if (!anyDrive) {
    HidePages();
    return false;
  }
  if (!m_pagesCreated) {
    CreatePages();
    return false;
  }
  InsertTabs();
  ShowPage(0);
  return true;
}

}  // namespace norvane
