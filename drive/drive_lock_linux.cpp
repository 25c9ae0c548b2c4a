// The drive lock on Linux: an advisory lock on the device node, which every
// program that opens the node meets. The emulated drives have no node, so
// their lock is a file of the same name in the temporary folder.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>

#include "drive/device_io_linux.h"
#include "drive/drive_lock.h"

namespace norvane {
namespace {

// The node itself, or for an emulated drive a lock file made on demand.
int OpenLockable(const std::wstring& devicePath) {
  const std::string path = NarrowPath(devicePath.c_str());
  if (path.starts_with('/')) return open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  std::string name = "norvane-drive-";
  for (const char c : path) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  const std::filesystem::path file = std::filesystem::temp_directory_path() / (name + ".lock");
  return open(file.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666);
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
