// Keeps the changing actions of every program on one drive apart: the
// window and norvane-drive, or two copies of either, never send a change to
// the same drive at once. Taking the lock never waits; whoever finds it held
// leaves the drive alone and says so.
#pragma once

#include <memory>
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
  bool Held() const { return m_holder != nullptr; }

 private:
  // What holds the drive on this system (drive_lock_win32.cpp,
  // drive_lock_linux.cpp); none while another program holds it.
  struct Holder;
  std::unique_ptr<Holder> m_holder;
};

#ifdef _WIN32
// The name of the drive's mutex in a kernel object namespace ("Local", "Global").
std::wstring DriveLockName(const wchar_t* space, const std::wstring& devicePath);
#endif

}  // namespace norvane
