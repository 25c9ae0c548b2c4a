// The drive lock on Linux: an advisory lock on the device node, which every
// program that opens the node meets. The emulated drives have no node, so
// their lock is a file named after the drive in the user's runtime folder.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "drive/device_io_linux.h"
#include "drive/drive_lock.h"

namespace norvane {
namespace {

// Where the emulated drives' lock files live: the user's runtime folder,
// or else the temporary folder, shared with every other user.
std::filesystem::path LockFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/') return runtime;
  return std::filesystem::temp_directory_path();
}

// A lock file another user made is opened as it is: a sticky folder refuses
// to open it for creation (fs.protected_regular), root included. One made
// here is readable by everyone, whatever the umask, so that every user can
// take the lock.
int OpenLockFile(const std::filesystem::path& file) {
  for (;;) {
    const int existing = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (existing >= 0 || errno != ENOENT) return existing;
    const int made = open(file.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (made >= 0) {
      fchmod(made, 0644);
      return made;
    }
    // EEXIST: another program made it meanwhile; it is opened as it is.
    if (errno != EEXIST) return made;
  }
}

// The node itself, or for an emulated drive a lock file made on demand.
int OpenLockable(const std::wstring& devicePath) {
  const std::string path = NarrowPath(devicePath.c_str());
  if (path.starts_with('/')) return open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  std::string name = "norvane-drive-";
  for (const char c : path) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return OpenLockFile(LockFolder() / (name + ".lock"));
}

}  // namespace

DriveLock::DriveLock(const std::wstring& devicePath) {
  // A node that cannot be opened cannot be contended either: the drive's own
  // open tells why. O_NONBLOCK: a drive without a disc must not hold it up.
  const int fd = OpenLockable(devicePath);
  m_held = fd < 0 || flock(fd, LOCK_EX | LOCK_NB) == 0;
  if (m_held) {
    m_descriptor = fd;
  } else {
    close(fd);
  }
}

DriveLock::DriveLock(DriveLock&& other) noexcept : m_held(other.m_held), m_descriptor(other.m_descriptor) {
  other.m_held = false;
  other.m_descriptor = -1;
}

DriveLock::~DriveLock() { Release(); }

void DriveLock::Release() {
  if (m_descriptor >= 0) close(m_descriptor);  // closing the last descriptor lets the lock go
  m_descriptor = -1;
  m_held = false;
}

}  // namespace norvane
