// The kernel's own SCSI target serving a drive from user space: a
// target_core_user backstore hands every command the initiator sends to
// this process over its UIO command ring, and a tcm_loop host makes that
// backstore a local SCSI device, so that the kernel's scan, sr, sg and the
// midlayer meet it as they would a drive on a bus.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace norvane::realkernel {

// One command as the target received it.
struct TargetCommand {
  std::vector<std::uint8_t> cdb;
  std::vector<std::uint8_t> dataOut;  // what the initiator sent
  std::uint32_t dataInLength = 0;     // what the initiator asked to read
};

// The answer: the SCSI status, fixed-format sense for CHECK CONDITION, and
// the data read (at most dataInLength; less is a short read).
struct TargetReply {
  std::uint8_t status = 0;
  std::vector<std::uint8_t> sense;
  std::vector<std::uint8_t> dataIn;
};

// A target_core_user device named `name`, served by `serve` on a thread of
// its own from construction to destruction. `serve` may block: the ring
// waits, as a drive that has not answered yet, until the target fails the
// command itself after kCommandTimeOutSeconds.
inline constexpr int kCommandTimeOutSeconds = 5;
class UserBackstore {
 public:
  using Serve = std::function<void(const TargetCommand&, TargetReply&)>;
  UserBackstore(const std::string& name, Serve serve);
  ~UserBackstore();
  UserBackstore(const UserBackstore&) = delete;
  UserBackstore& operator=(const UserBackstore&) = delete;

  // The configfs folder of the device, for a LUN to link to.
  const std::string& Folder() const { return m_folder; }

 private:
  void ServeRing();

  std::string m_folder;
  Serve m_serve;
  int m_uio = -1;
  void* m_ring = nullptr;
  std::size_t m_ringSize = 0;
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
};

// A tcm_loop host with the backstores as its LUNs 0, 1, ...: creating it
// makes the SCSI host appear and scans it; destroying it removes the devices.
class LoopTarget {
 public:
  explicit LoopTarget(const std::vector<const UserBackstore*>& luns);
  ~LoopTarget();
  LoopTarget(const LoopTarget&) = delete;
  LoopTarget& operator=(const LoopTarget&) = delete;

  // Takes a LUN away while the host stays: the drive leaves the bus; and
  // gives it back, which the host scans as a new device.
  void RemoveLun(std::size_t lun);
  void AddLun(std::size_t lun);

 private:
  std::vector<std::string> m_luns;     // each LUN's folder
  std::vector<std::string> m_devices;  // the backstore each LUN links to
};

}  // namespace norvane::realkernel
