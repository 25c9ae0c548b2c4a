#include "app/device_watch.h"

#include <utility>

#include "drive/device_interface_win32.h"
#include "ui/activity.h"

namespace norvane {

void DeviceWatch::Listen(HWND window, UINT followMessage) {
  m_window = window;
  m_followMessage = followMessage;
  DEV_BROADCAST_DEVICEINTERFACE_W filter{};
  filter.dbcc_size = sizeof filter;
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  filter.dbcc_classguid = kOpticalDriveInterface;
  m_drives = DeviceNotification(RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE));
}

void DeviceWatch::Stop() {
  StopWatchingDrive();
  m_drives.Reset();
}

void DeviceWatch::WatchDrive(DeviceHandle device) {
  StopWatchingDrive();
  m_releasedLetter = 0;
  m_watchedDevice = device;
  if (device == kNoDevice) return;
  DEV_BROADCAST_HANDLE filter{};
  filter.dbch_size = sizeof filter;
  filter.dbch_devicetype = DBT_DEVTYP_HANDLE;
  filter.dbch_handle = reinterpret_cast<HANDLE>(device);
  m_drive = DeviceNotification(RegisterDeviceNotificationW(m_window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE));
}

void DeviceWatch::StopWatchingDrive() {
  m_drive.Reset();
  m_watchedDevice = kNoDevice;
}

// The system names the registration: the handle it also names may have
// been closed (for a removal query, a volume lock) and its value given to
// another open since. A notification that names no registration (as only
// a tool sending one by hand does) is matched by the handle.
bool DeviceWatch::IsWatchedDrive(const DEV_BROADCAST_HDR* about) const {
  if (!about || about->dbch_devicetype != DBT_DEVTYP_HANDLE || !m_drive) return false;
  const auto& handle = *reinterpret_cast<const DEV_BROADCAST_HANDLE*>(about);
  if (handle.dbch_hdevnotify != nullptr) return handle.dbch_hdevnotify == m_drive.Get();
  return m_watchedDevice != kNoDevice && handle.dbch_handle == reinterpret_cast<HANDLE>(m_watchedDevice);
}

char DeviceWatch::TakeReleasedLetter() { return std::exchange(m_releasedLetter, 0); }

void DeviceWatch::PutOff(Work work) {
  const bool posted = m_putOff != 0;
  m_putOff |= static_cast<unsigned>(work);
  if (!posted) FollowOnceNoActionIsUnderWay();
}

void DeviceWatch::FollowNow() const {
  if (WorkWaits()) PostMessageW(m_window, m_followMessage, 0, 0);
}

void DeviceWatch::FollowOnceNoActionIsUnderWay() const { ui::Activity::Now().PutOff(m_window, m_followMessage); }

DeviceWatch::Pending DeviceWatch::TakeWork() { return Pending(std::exchange(m_putOff, 0u)); }

}  // namespace norvane
