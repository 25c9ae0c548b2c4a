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

namespace norvane {

// Kernel object names take no backslash after the namespace: \\.\E: becomes
// NorvaneDrive-____E_.
std::wstring DriveLockName(const wchar_t* space, const std::wstring& devicePath) {
  std::wstring name = std::wstring(space) + L"\\NorvaneDrive-";
  for (const wchar_t c : devicePath) name += std::iswalnum(c) ? static_cast<wchar_t>(std::towupper(c)) : L'_';
  return name;
}

namespace {

enum class Outcome { Taken, Busy, Unavailable };

// Owns the mutex when no one else does; an abandoned one (its holder ended
// without letting go) is ours to take. A mutex this program may not wait on
// is someone else's: the drive is busy, never free.
Outcome TakeMutex(const std::wstring& name, void*& held) {
  const SharedMutex mutex = OpenSharedMutex(name);
  if (mutex.met == SharedMutex::Met::NoRoom) return Outcome::Unavailable;
  if (mutex.met == SharedMutex::Met::ShutOut) return Outcome::Busy;
  const DWORD wait = WaitForSingleObject(mutex.handle, 0);
  if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) {
    held = mutex.handle;
    return Outcome::Taken;
  }
  CloseHandle(mutex.handle);
  return Outcome::Busy;
}

void LetGo(void*& mutex) {
  if (mutex == nullptr) return;
  ReleaseMutex(mutex);
  CloseHandle(mutex);
  mutex = nullptr;
}

}  // namespace

DriveLock::DriveLock(const std::wstring& devicePath) {
  // Either mutex held elsewhere means busy. One that cannot be made at all
  // leaves the other in charge; a lock with neither would keep no one off.
  const Outcome session = TakeMutex(DriveLockName(L"Local", devicePath), m_session);
  if (session == Outcome::Busy) return;
  const Outcome global = TakeMutex(DriveLockName(L"Global", devicePath), m_global);
  if (global == Outcome::Busy) {
    Release();
    return;
  }
  m_held = session == Outcome::Taken || global == Outcome::Taken;
}

DriveLock::DriveLock(DriveLock&& other) noexcept
    : m_held(other.m_held), m_session(other.m_session), m_global(other.m_global), m_descriptor(other.m_descriptor) {
  other.m_held = false;
  other.m_session = other.m_global = nullptr;
}

DriveLock::~DriveLock() { Release(); }

void DriveLock::Release() {
  LetGo(m_global);
  LetGo(m_session);
  m_held = false;
}

}  // namespace norvane
