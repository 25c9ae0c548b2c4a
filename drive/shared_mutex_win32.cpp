#include "drive/shared_mutex_win32.h"

#include <sddl.h>

#include <memory>

#include "platform/freed_by.h"

namespace norvane {
namespace {

// Waiting on a mutex and letting it go, all that its users need of it.
constexpr DWORD kWaitAndRelease = SYNCHRONIZE | MUTEX_MODIFY_STATE;
// Every authenticated user (services and elevated programs too) may wait on
// it and let it go; nobody may change its access list but its owner.
constexpr wchar_t kSharedAccess[] = L"D:(A;;0x00100001;;;AU)";
static_assert(kWaitAndRelease == 0x00100001);

}  // namespace

SharedMutex OpenSharedMutex(const std::wstring& name) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ConvertStringSecurityDescriptorToSecurityDescriptorW(kSharedAccess, SDDL_REVISION_1, &descriptor, nullptr);
  const std::unique_ptr<void, FreedBy<LocalFree>> freed(descriptor);
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  if (HANDLE mutex = CreateMutexExW(&attributes, name.c_str(), 0, kWaitAndRelease))
    return {SharedMutex::Met::Mutex, mutex};
  // Refused: an object of the name that shuts this account out, one of
  // another type, or a namespace where this program may make nothing (an
  // app container has no global one). Only an open that finds nothing tells
  // the last apart.
  if (HANDLE mutex = OpenMutexW(kWaitAndRelease, FALSE, name.c_str())) return {SharedMutex::Met::Mutex, mutex};
  const DWORD error = GetLastError();
  return {error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? SharedMutex::Met::NoRoom
                                                                         : SharedMutex::Met::ShutOut};
}

}  // namespace norvane
