// Another program at work on a drive: it holds the drive's lock from a thread
// of its own (a lock is never contended by the thread that owns it) until the
// object goes.
#pragma once

#include <gtest/gtest.h>

#include <future>
#include <string>
#include <thread>

#include "drive/drive_lock.h"

namespace norvane::test {

class OtherProgram {
 public:
  explicit OtherProgram(const std::wstring& devicePath)
      : m_holder([this, devicePath] {
          DriveLock lock(devicePath);
          m_taken.set_value(lock.Held());
          m_letGo.get_future().wait();
        }) {
    EXPECT_TRUE(m_taken.get_future().get()) << "the drive was free before the test took it";
  }
  ~OtherProgram() {
    m_letGo.set_value();
    m_holder.join();
  }
  OtherProgram(const OtherProgram&) = delete;
  OtherProgram& operator=(const OtherProgram&) = delete;

 private:
  std::promise<bool> m_taken;
  std::promise<void> m_letGo;
  std::thread m_holder;
};

}  // namespace norvane::test
