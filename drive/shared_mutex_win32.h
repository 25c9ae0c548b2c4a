// A named mutex that every program meets, whoever runs it: an elevated one,
// a standard user's, another account's in another session. Made without a
// descriptor, a mutex takes its access list from its creator's token, and an
// elevated creator's list shuts a standard user's program out.
#pragma once

#include <windows.h>

#include <string>

namespace norvane {

struct SharedMutex {
  enum class Met {
    Mutex,    // `handle` waits on it and lets it go
    ShutOut,  // an object of the name exists that this account may not wait on: someone else's
    NoRoom,   // none exists, and this namespace lets this program make none
  };
  Met met;
  HANDLE handle = nullptr;
};

// Opens the mutex of `name`, or makes it, asking for no more than waiting on
// it and letting it go; one it makes lets every authenticated user do both.
SharedMutex OpenSharedMutex(const std::wstring& name);

}  // namespace norvane
