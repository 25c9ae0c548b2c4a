// The drive lock on Windows: a named mutex per drive, in the session's
// namespace and in the global one, so that programs in other sessions (a
// service, a second user) meet it too. Any account may make a mutex in the
// global namespace (SeCreateGlobalPrivilege is asked of file mappings made
// there, not of mutexes); a program boxed into a namespace of its own, as an
// app container is, has no global one, and then the session's mutex is in
// charge.
#include <windows.h>

#include <cwctype>

#include "drive/drive_lock.h"
#include "drive/shared_mutex_win32.h"
#include "platform/scoped.h"

namespace norvane {

// Kernel object names take no backslash after the namespace: \\.\E: becomes
// NorvaneDrive-____E_.
std::wstring DriveLockName(const wchar_t* space, const std::wstring& devicePath) {
  std::wstring name = std::wstring(space) + L"\\NorvaneDrive-";
  for (const wchar_t c : devicePath) name += std::iswalnum(c) ? static_cast<wchar_t>(std::towupper(c)) : L'_';
  return name;
}

// Either mutex may be missing: one that cannot be made at all leaves the
// other in charge.
struct DriveLock::Holder {
  HeldMutex session;
  HeldMutex global;
};

namespace {

enum class Outcome { Taken, Busy, Unavailable };

// Owns the mutex when no one else does; an abandoned one (its holder ended
// without letting go) is ours to take. A mutex this program may not wait on
// is someone else's: the drive is busy, never free.
Outcome TakeMutex(const std::wstring& name, HeldMutex& held) {
  const SharedMutex met = OpenSharedMutex(name);
  if (met.met == SharedMutex::Met::NoRoom) return Outcome::Unavailable;
  if (met.met == SharedMutex::Met::ShutOut) return Outcome::Busy;
  UniqueHandle mutex(met.handle);
  const DWORD wait = WaitForSingleObject(mutex.Get(), 0);
  if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) return Outcome::Busy;
  held = HeldMutex(std::move(mutex));
  return Outcome::Taken;
}

}  // namespace

DriveLock::DriveLock(const std::wstring& devicePath) {
  // Either mutex held elsewhere means busy; a lock with neither would keep
  // no one off.
  auto holder = std::make_unique<Holder>();
  const Outcome session = TakeMutex(DriveLockName(L"Local", devicePath), holder->session);
  if (session == Outcome::Busy) return;
  const Outcome global = TakeMutex(DriveLockName(L"Global", devicePath), holder->global);
  if (global == Outcome::Busy) return;
  if (session == Outcome::Taken || global == Outcome::Taken) m_holder = std::move(holder);
}

DriveLock::DriveLock(DriveLock&& other) noexcept = default;
DriveLock::~DriveLock() = default;

}  // namespace norvane
