// The system's word that a CD/DVD drive came or went, from device
// notifications: a watch wakes on it instead of only at its next tick.
#pragma once

#include <windows.h>

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
  // `milliseconds` have passed, answering what the system sends meanwhile.
  void Wait(HANDLE wakeUp, DWORD milliseconds);

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  HWND m_window = nullptr;
  HDEVNOTIFY m_registration = nullptr;
  bool m_changed = false;
};

}  // namespace norvane::tool
