#include "tool/win32/drive_events_win32.h"

#include <utility>

#include "drive/channel.h"
#include "drive/device_interface_win32.h"

namespace norvane::tool {
namespace {

constexpr wchar_t kClassName[] = L"NorvaneDriveEvents";

}  // namespace

// A message-only window: volume broadcasts (for top-level windows) do not
// reach it, so it registers for the drives' interface class, and for the
// handle of the drive a status watch holds.
DriveEvents::DriveEvents() {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = Procedure;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = kClassName;
  RegisterClassW(&windowClass);
  m_window = CreateWindowW(kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, windowClass.hInstance, nullptr);
  if (!m_window) return;
  SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  DEV_BROADCAST_DEVICEINTERFACE_W filter{};
  filter.dbcc_size = sizeof filter;
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  filter.dbcc_classguid = kOpticalDriveInterface;
  m_registration = DeviceNotification(RegisterDeviceNotificationW(m_window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE));
}

DriveEvents::~DriveEvents() {
  // The registrations end while their window is still there.
  StopWatchingDrive();
  m_registration.Reset();
  if (m_window) DestroyWindow(m_window);
}

LRESULT CALLBACK DriveEvents::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<DriveEvents*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (message == WM_DEVICECHANGE && self) {
    return self->OnDeviceChange(wParam, reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam));
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT DriveEvents::OnDeviceChange(WPARAM event, const DEV_BROADCAST_HDR* about) {
  switch (event) {
    case DBT_DEVICEQUERYREMOVE:
      if (IsWatchedDrive(about)) LetGoOfDrive();
      break;
    case DBT_DEVICEQUERYREMOVEFAILED:
      if (IsWatchedDrive(about) && DriveLetGo()) TakeDriveBack();
      break;
    case DBT_DEVICEREMOVEPENDING:
    case DBT_DEVICEREMOVECOMPLETE:
      if (IsWatchedDrive(about)) DriveRemoved();
      m_changed = true;
      break;
    case DBT_DEVICEARRIVAL: m_changed = true; break;
    default: break;
  }
  return TRUE;
}

bool DriveEvents::Wait(HANDLE wakeUp, DWORD milliseconds) {
  Pump(wakeUp, milliseconds, true);
  return m_changed;
}

void DriveEvents::WaitBesideOpenDrive(HANDLE wakeUp, DWORD milliseconds) {
  WatchOpenDrive();
  Pump(wakeUp, milliseconds, false);
}

void DriveEvents::Pump(HANDLE wakeUp, DWORD milliseconds, bool untilDriveChange) {
  if (!m_window) {
    WaitForSingleObject(wakeUp, milliseconds);
    return;
  }
  m_changed = false;
  const ULONGLONG deadline = GetTickCount64() + milliseconds;
  for (ULONGLONG now = GetTickCount64(); now < deadline && !(untilDriveChange && m_changed); now = GetTickCount64()) {
    const DWORD woke = MsgWaitForMultipleObjects(1, &wakeUp, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT);
    if (woke == WAIT_OBJECT_0 || woke == WAIT_FAILED) return;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
}

// The registration follows the channel's handle, which the watch opens anew
// after the drive was unplugged; a drive let go is not the watch's to open.
void DriveEvents::WatchOpenDrive() {
  const DeviceHandle device = Channel().device;
  if (DriveLetGo() || device == m_watched) return;
  StopWatchingDrive();
  if (device == kNoDevice || !m_window) return;
  DEV_BROADCAST_HANDLE filter{};
  filter.dbch_size = sizeof filter;
  filter.dbch_devicetype = DBT_DEVTYP_HANDLE;
  filter.dbch_handle = reinterpret_cast<HANDLE>(device);
  m_driveRegistration = DeviceNotification(RegisterDeviceNotificationW(m_window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE));
  m_watched = device;
}

void DriveEvents::StopWatchingDrive() {
  m_driveRegistration.Reset();
  m_watched = kNoDevice;
}

// The system names the handle it was given at registration.
bool DriveEvents::IsWatchedDrive(const DEV_BROADCAST_HDR* about) const {
  if (!about || about->dbch_devicetype != DBT_DEVTYP_HANDLE || m_watched == kNoDevice) return false;
  return reinterpret_cast<const DEV_BROADCAST_HANDLE*>(about)->dbch_handle == reinterpret_cast<HANDLE>(m_watched);
}

// An open handle would refuse the removal. The registration stays: it is
// how the system tells whether the removal went ahead. Only the wait of a
// watch answers, between two readings: no command is using the handle.
void DriveEvents::LetGoOfDrive() {
  m_letGo = Channel().path;
  CloseDrive();
}

// The removal was refused: the drive is opened anew and watched by its new handle.
void DriveEvents::TakeDriveBack() {
  StopWatchingDrive();
  OpenDevicePath(std::exchange(m_letGo, std::wstring()));
  WatchOpenDrive();
}

// The drive is gone, asked first or pulled out: its registration goes, then
// a handle still open. Once it is back, the watch opens it as any drive
// that was unplugged.
void DriveEvents::DriveRemoved() {
  const bool stillOpen = !DriveLetGo() && Channel().device == m_watched;
  StopWatchingDrive();
  m_letGo.clear();
  if (stillOpen) CloseDrive();
}

}  // namespace norvane::tool
