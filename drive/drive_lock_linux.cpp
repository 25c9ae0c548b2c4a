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
#include "platform/unique_fd.h"

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
UniqueFd OpenLockFile(const std::filesystem::path& file) {
  for (;;) {
    UniqueFd existing(open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (existing || errno != ENOENT) return existing;
    UniqueFd made(open(file.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (made) {
      fchmod(made.Get(), 0644);
      return made;
    }
    // EEXIST: another program made it meanwhile; it is opened as it is.
    if (errno != EEXIST) return made;
  }
}

// The node itself, or for an emulated drive a lock file made on demand.
UniqueFd OpenLockable(const std::wstring& devicePath) {
  const std::string path = NarrowPath(devicePath.c_str());
  if (path.starts_with('/')) return UniqueFd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  std::string name = "norvane-drive-";
  for (const char c : path) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return OpenLockFile(LockFolder() / (name + ".lock"));
}

}  // namespace

// Closing the last descriptor lets the lock go. A node that could not be
// opened holds nothing, yet counts as held.
struct DriveLock::Holder {
  UniqueFd descriptor;
};

DriveLock::DriveLock(const std::wstring& devicePath) {
  // A node that cannot be opened cannot be contended either: the drive's own
  // open tells why. O_NONBLOCK: a drive without a disc must not hold it up.
  UniqueFd fd = OpenLockable(devicePath);
  if (!fd || flock(fd.Get(), LOCK_EX | LOCK_NB) == 0) m_holder = std::make_unique<Holder>(std::move(fd));
}

DriveLock::DriveLock(DriveLock&& other) noexcept = default;
DriveLock::~DriveLock() = default;

}  // namespace norvane
