// Keeps the changing actions of every program on one drive apart: the
// window and norvane-drive, or two copies of either, never send a change to
// the same drive at once. Taking the lock never waits; whoever finds it held
// leaves the drive alone and says so.
#pragma once

#include <string>

namespace norvane {

class DriveLock {
 public:
  // Tries to take the drive at a device path (\\.\E:, /dev/sr0) at once.
  explicit DriveLock(const std::wstring& devicePath);
  ~DriveLock();
  DriveLock(DriveLock&& other) noexcept;
  DriveLock& operator=(DriveLock&&) = delete;
  DriveLock(const DriveLock&) = delete;
  DriveLock& operator=(const DriveLock&) = delete;

  // False: another program holds the drive.
  bool Held() const { return m_held; }

 private:
  void Release();

  bool m_held = false;
  // What holds it: the named mutexes on Windows, the locked descriptor on Linux.
  void* m_session = nullptr;
  void* m_global = nullptr;
  int m_descriptor = -1;
};

#ifdef _WIN32
// The name of the drive's mutex in a kernel object namespace ("Local", "Global").
std::wstring DriveLockName(const wchar_t* space, const std::wstring& devicePath);
#endif

}  // namespace norvane
