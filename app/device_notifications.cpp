// Drives and discs that come and go while the window is open: USB drives
// plugged in and pulled out, "Safely Remove" of the open drive, discs put in
// and taken out. The system tells the window through WM_DEVICECHANGE, which
// is sent: it can arrive while a call for a drive runs on the drive thread
// (the window answers sent messages meanwhile), so the work it asks for is
// put off until the window is free for it.
#include <windows.h>
#include <commctrl.h>
#include <dbt.h>

#include "app/main_window.h"
#include "drive/channel.h"
#include "drive/device_interface_win32.h"
#include "resource.h"
#include "ui/activity.h"
#include "ui/waiting.h"
#include "ui/window.h"

namespace norvane {
namespace {

using Kind = ui::Activity::Kind;

bool InsideADriveCall() { return ui::Activity::Now().Inside(Kind::DriveCall); }

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

// A registration goes before its handle: the system's record of it names
// the handle, whose value the next open may be given.
void CNorvaneDriveUtilityDlg::OpenAndWatch(char letter) {
  m_devices.StopWatchingDrive();
  OpenDrive(letter);
  m_devices.WatchDrive(Channel().device);
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
    case DBT_DEVICEQUERYREMOVE: return m_devices.IsWatchedDrive(about) ? AnswerRemovalQuery() : TRUE;
    case DBT_DEVICEQUERYREMOVEFAILED:
      if (m_devices.IsWatchedDrive(about) && m_devices.DriveLetGo()) m_devices.PutOff(DeviceWatch::Work::ReopenDrive);
      return TRUE;
    case DBT_CUSTOMEVENT:
      if (m_devices.IsWatchedDrive(about)) FollowVolumeLock(*reinterpret_cast<const DEV_BROADCAST_HANDLE*>(about));
      return TRUE;
    case DBT_DEVICEREMOVEPENDING:
    case DBT_DEVICEREMOVECOMPLETE:
      // The removal may come without a query first (a cable pulled): the
      // handle goes now, the drive list once the window is free for it.
      if (m_devices.IsWatchedDrive(about) || IsOpenDrivesVolume(about)) CloseRemovedDrive();
      if (change.event == DBT_DEVICEREMOVEPENDING) return TRUE;
      break;
    case DBT_DEVICEARRIVAL: break;
    default: return TRUE;
  }
  if (!about) return TRUE;
  if (about->dbch_devicetype == DBT_DEVTYP_VOLUME) {
    const auto& volume = *reinterpret_cast<const DEV_BROADCAST_VOLUME*>(about);
    if (volume.dbcv_flags & DBTF_MEDIA) {
      if (HasLetter(volume.dbcv_unitmask, ShownLetter())) m_devices.PutOff(DeviceWatch::Work::RefreshPages);
    } else if (ConcernsListedOrOpticalDrive(volume)) {
      m_devices.PutOff(DeviceWatch::Work::RescanDrives);
    }
  } else if (about->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE) {
    const auto& device = *reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(about);
    if (IsEqualGUID(device.dbcc_classguid, kOpticalDriveInterface)) m_devices.PutOff(DeviceWatch::Work::RescanDrives);
  }
  return TRUE;
}

// Inside a call the drive thread is using the handle (see
// AnswerRemovalQuery): the call fails on the drive that has gone, and the
// scan that follows closes it.
void CNorvaneDriveUtilityDlg::CloseRemovedDrive() {
  m_devices.PutOff(DeviceWatch::Work::RescanDrives);
  if (InsideADriveCall()) return;
  m_devices.StopWatchingDrive();
  ReleaseMediaNotification();
  CloseDrive();
}

// A program that locks the volume (a burning program, before it writes)
// gets the lock only once every other handle to it is closed: the window
// lets go as for a removal query, and the pages find the drive in use by
// another program until the lock ends.
void CNorvaneDriveUtilityDlg::FollowVolumeLock(const DEV_BROADCAST_HANDLE& event) {
  if (IsEqualGUID(event.dbch_eventguid, kVolumeLock)) {
    if (InsideADriveCall()) return;  // the lock fails; the program may try again
    m_devices.LetGo(Channel().letter);
    LendDrive();
    if (m_utilityPage) m_utilityPage->DriveWithdrawn();
  } else if (IsEqualGUID(event.dbch_eventguid, kVolumeUnlock) || IsEqualGUID(event.dbch_eventguid, kVolumeLockFailed)) {
    // What the other program wrote is read anew.
    if (m_devices.DriveLetGo()) {
      m_devices.PutOff(DeviceWatch::Work::ReopenDrive);
      m_devices.PutOff(DeviceWatch::Work::RefreshPages);
    }
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
  if (InsideADriveCall()) return BROADCAST_QUERY_DENY;
  m_devices.LetGo(Channel().letter);
  ReleaseMediaNotification();
  CloseDrive();
  if (m_utilityPage) m_utilityPage->DriveWithdrawn();
  return TRUE;
}

void CNorvaneDriveUtilityDlg::TakeBackReleasedDrive() {
  const char letter = m_devices.TakeReleasedLetter();
  if (letter != 0 && Channel().device == kNoDevice) OpenAndWatch(letter);
}

// A posted message is never dispatched inside a call for a drive or a wait
// (they answer only what is sent), but a question's message box dispatches
// it: an action under way is left to end, and asks again when it does; so
// is a bus power check, whose ReleaseBusy asks again.
LRESULT CNorvaneDriveUtilityDlg::OnFollowDevices() {
  const ui::Activity& now = ui::Activity::Now();
  if (now.Inside(Kind::BusPowerCheck) || !m_devices.WorkWaits()) return 0;
  if (now.Inside(Kind::Action)) {
    m_devices.FollowOnceNoActionIsUnderWay();
    return 0;
  }
  const DeviceWatch::Pending work = m_devices.TakeWork();
  bool refresh = work.Has(DeviceWatch::Work::RefreshPages);
  if (work.Has(DeviceWatch::Work::RescanDrives)) {
    refresh = FollowDriveList() || refresh;
  } else if (work.Has(DeviceWatch::Work::ReopenDrive)) {
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
