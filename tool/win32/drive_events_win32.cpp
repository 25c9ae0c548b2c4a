#include "tool/win32/drive_events_win32.h"

#include <dbt.h>

namespace norvane::tool {
namespace {

// The interface class of CD and DVD drives (GUID_DEVINTERFACE_CDROM).
constexpr GUID kOpticalDriveInterface = {0x53f56308, 0xb6bf, 0x11d0, {0x94, 0xf2, 0x00, 0xa0, 0xc9, 0x1e, 0xfb, 0x8b}};
constexpr wchar_t kClassName[] = L"NorvaneDriveEvents";

}  // namespace

// A message-only window: the console program has no other, and volume
// broadcasts (for top-level windows) do not reach it, so it registers for
// the drives' interface class.
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
  m_registration = RegisterDeviceNotificationW(m_window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

DriveEvents::~DriveEvents() {
  if (m_registration) UnregisterDeviceNotification(m_registration);
  if (m_window) DestroyWindow(m_window);
}

LRESULT CALLBACK DriveEvents::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DEVICECHANGE && (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE)) {
    if (auto* self = reinterpret_cast<DriveEvents*>(GetWindowLongPtrW(window, GWLP_USERDATA))) self->m_changed = true;
    return TRUE;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void DriveEvents::Wait(HANDLE wakeUp, DWORD milliseconds) {
  if (!m_window) {
    WaitForSingleObject(wakeUp, milliseconds);
    return;
  }
  m_changed = false;
  const ULONGLONG deadline = GetTickCount64() + milliseconds;
  for (ULONGLONG now = GetTickCount64(); now < deadline && !m_changed; now = GetTickCount64()) {
    const DWORD woke = MsgWaitForMultipleObjects(1, &wakeUp, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT);
    if (woke == WAIT_OBJECT_0 || woke == WAIT_FAILED) return;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
}

}  // namespace norvane::tool
