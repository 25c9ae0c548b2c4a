// The emulated drives on the real kernel: the quiet drive and the general
// one, each a target_core_user backstore on one tcm_loop host, answered by
// the same emulated firmware as the demo and the other tests. Every command
// that reaches them is recorded as the target received it.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "action_sequences.h"
#include "emulator/emulated_devices.h"
#include "lio_target.h"

namespace norvane::realkernel {

// A fault the target produces on the first command with `operation` that
// reaches a drive: a BUSY status, CHECK CONDITION with `sense`, an answer held
// for `hold` (past the target's time-out, say), or the LUN taken away while
// the command is held.
struct TargetFault {
  enum class Kind { Busy, CheckCondition, Hold, RemoveLunWhileHeld };
  Kind kind = Kind::Busy;
  std::uint8_t operation = 0;
  std::vector<std::uint8_t> sense;
  std::chrono::milliseconds hold{0};
};

class FirmwareTarget {
 public:
  FirmwareTarget();
  ~FirmwareTarget();
  FirmwareTarget(const FirmwareTarget&) = delete;
  FirmwareTarget& operator=(const FirmwareTarget&) = delete;

  // Sets the quiet drive up (the general one keeps the factory state) and
  // forgets the log.
  void SetUp(const std::function<void(emu::EmulatedDrive&)>& setup);
  test::Sequence Log() const;
  // The log as lines, for failure messages and the guest's own record.
  std::string DescribeLog() const;
  void ClearLog();
  void InjectFault(char drive, TargetFault fault);
  // The commands a fault met, which the firmware never saw.
  test::Sequence Faulted() const;

  // The nodes the kernel made for a drive: "/dev/sr1", "/dev/sg2".
  std::string BlockNode(char drive) const;
  std::string GenericNode(char drive) const;
  LoopTarget& Loop() { return *m_loop; }

 private:
  void Serve(char drive, const TargetCommand& command, TargetReply& reply);
  std::string SysfsDevice(char drive) const;

  emu::EmulatedDevices m_devices;
  mutable std::mutex m_mutex;
  test::Sequence m_log;
  test::Sequence m_faulted;
  std::map<char, DeviceHandle> m_handles;
  std::map<char, std::optional<TargetFault>> m_faults;
  std::map<char, std::unique_ptr<UserBackstore>> m_backstores;
  std::unique_ptr<LoopTarget> m_loop;
  std::thread m_remover;  // takes a LUN away while its command is held
};

}  // namespace norvane::realkernel
