// The drive lock on Windows: a named mutex per drive, in the session's
// namespace and, where the account may create one there, in the global one,
// so that programs in other sessions (a service, a second user) meet it too.
#include <windows.h>

#include <cwctype>

#include "drive/drive_lock.h"

namespace norvane {
namespace {

// Kernel object names take no backslash after the namespace: \\.\E: becomes
// NorvaneDrive-____E_.
std::wstring MutexName(const wchar_t* space, const std::wstring& devicePath) {
  std::wstring name = std::wstring(space) + L"\\NorvaneDrive-";
  for (const wchar_t c : devicePath) name += std::iswalnum(c) ? static_cast<wchar_t>(std::towupper(c)) : L'_';
  return name;
}

enum class Outcome { Taken, Busy, Unavailable };

// Opens or creates the mutex and owns it when no one else does; an abandoned
// one (its holder ended without letting go) is ours to take.
Outcome TakeMutex(const std::wstring& name, void*& held) {
  HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
  if (mutex == nullptr) return Outcome::Unavailable;
  const DWORD wait = WaitForSingleObject(mutex, 0);
  if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) {
    held = mutex;
    return Outcome::Taken;
  }
  CloseHandle(mutex);
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
  // (a global one without SeCreateGlobalPrivilege) leaves the other in charge.
  if (TakeMutex(MutexName(L"Local", devicePath), m_session) == Outcome::Busy) return;
  if (TakeMutex(MutexName(L"Global", devicePath), m_global) == Outcome::Busy) {
    Release();
    return;
  }
  m_held = true;
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
