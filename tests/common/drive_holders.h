// The ways another program can have a drive on Windows, as a change meets
// them: it holds the drive's lock, or it made a mutex of the lock's name
// whose access list lets this account do nothing with it (an elevated
// program, another user's session, a program of an older release). A lock
// this program may not wait on is someone else's: the drive is in use.
#pragma once

#include <windows.h>
#include <sddl.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "drive/drive_lock.h"
#include "tests/common/other_program.h"

namespace norvane::test {

// A mutex of the drive's lock's name, in one namespace, that this account
// may read the access list of and nothing else.
class ShutOutLock {
 public:
  ShutOutLock(const wchar_t* space, const std::wstring& devicePath) {
    PSECURITY_DESCRIPTOR readOnly = nullptr;
    EXPECT_TRUE(
        ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;RC;;;WD)", SDDL_REVISION_1, &readOnly, nullptr));
    SECURITY_ATTRIBUTES attributes{sizeof attributes, readOnly, FALSE};
    m_mutex = CreateMutexExW(&attributes, DriveLockName(space, devicePath).c_str(), 0, READ_CONTROL);
    const DWORD error = GetLastError();
    EXPECT_NE(m_mutex, nullptr) << error;
    EXPECT_NE(error, static_cast<DWORD>(ERROR_ALREADY_EXISTS)) << "the drive was free before the test took it";
    LocalFree(readOnly);
  }
  ~ShutOutLock() { CloseHandle(m_mutex); }
  ShutOutLock(const ShutOutLock&) = delete;
  ShutOutLock& operator=(const ShutOutLock&) = delete;

 private:
  HANDLE m_mutex = nullptr;
};

struct DriveHolder {
  const char* name;
  // Has the drive until what it answers goes.
  std::function<std::shared_ptr<void>(const std::wstring& devicePath)> take;
};

inline const std::vector<DriveHolder>& DriveHolders() {
  static const std::vector<DriveHolder> holders = {
      {"another program holds the lock", [](const std::wstring& path) { return std::make_shared<OtherProgram>(path); }},
      {"the session's mutex of the lock's name shuts this account out",
       [](const std::wstring& path) { return std::make_shared<ShutOutLock>(L"Local", path); }},
      {"the global mutex of the lock's name shuts this account out",
       [](const std::wstring& path) { return std::make_shared<ShutOutLock>(L"Global", path); }},
  };
  return holders;
}

}  // namespace norvane::test
