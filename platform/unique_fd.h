// Small owners of what a POSIX system hands out: a file descriptor, and any
// object a C library gives back through a function of its own. Every layer
// may use them.
#pragma once

#include <unistd.h>

#include <utility>

namespace norvane {

// Owns a file descriptor that close() closes; a negative one is none.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : m_fd(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(UniqueFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      Reset();
      m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
  }

  int Get() const { return m_fd; }
  explicit operator bool() const { return m_fd >= 0; }
  // Hands the descriptor on to an owner that is no UniqueFd.
  int Release() { return std::exchange(m_fd, -1); }
  // Closes the descriptor held, if any.
  void Reset() {
    if (m_fd >= 0) close(m_fd);
    m_fd = -1;
  }

 private:
  int m_fd = -1;
};

}  // namespace norvane
