// Emulated drives at the kernel's SCSI interface: each drive is a device
// node (a Unix socket that the preloaded library turns into an sr node) and
// answers SG_IO from the emulated firmware. One server thread holds every
// drive's state, so that every open, every descriptor and every process
// (Wine's server and the program it hands the device to) meets the same
// drive. Every SG_IO is recorded as the kernel saw it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "emulator/emulated_devices.h"

namespace norvane::kernel {

// One SG_IO: the request as it arrived and what went back.
struct KernelRecord {
  std::string node;   // "sr0"
  int wordSize = 64;  // of the process that sent it
  std::vector<std::uint8_t> cdb;
  int direction = 0;  // SG_DXFER_*
  std::uint32_t transferLength = 0;
  std::uint32_t timeoutMs = 0;
  std::uint8_t maxSense = 0;
  std::uint32_t dataPageOffset = 0;  // where the data buffer started in its page
  std::vector<std::uint8_t> dataOut;
  int error = 0;  // errno of an ioctl that failed; the rest is the header's
  std::uint8_t status = 0;
  std::uint16_t hostStatus = 0;
  std::uint16_t driverStatus = 0;
  std::int32_t resid = 0;
  std::vector<std::uint8_t> sense;
  std::vector<std::uint8_t> dataIn;
};

// Prints one record as a few lines of text, for logs and failure messages.
std::string Describe(const KernelRecord& record);

// What happened at the nodes, in order: each open of a node makes a
// connection of its own, which lasts until the last descriptor on it is
// closed (in Wine, when the program closes its handle); every command goes
// on one.
struct NodeEvent {
  enum class Kind { Opened, Closed, Command };
  Kind kind = Kind::Command;
  std::string node;
  int connection = 0;
  KernelRecord command;  // of Kind::Command
};

// One line: "sr0: connection 3 opened", "sr0: connection 3 closed", or the
// command's first line with its connection.
std::string Describe(const NodeEvent& event);

// What goes wrong at the kernel boundary for the next commands to a node.
struct KernelFault {
  enum class Kind {
    Errno,          // the ioctl fails with `error`
    Sense,          // the drive answers CHECK CONDITION with `sense`, as given
    ShortTransfer,  // the drive carries out the command but moves `shortBy` bytes fewer
    Timeout,        // the command never completes: the kernel gives up after its time-out
  };
  Kind kind = Kind::Errno;
  int error = 0;
  std::vector<std::uint8_t> sense;
  std::uint32_t shortBy = 0;
  int after = 0;  // commands that go through first
  int times = 1;  // how many commands in a row
};

class KernelDevices {
 public:
  // Makes `folder` (emptied first) the home of the device nodes.
  explicit KernelDevices(std::filesystem::path folder);
  ~KernelDevices();
  KernelDevices(const KernelDevices&) = delete;
  KernelDevices& operator=(const KernelDevices&) = delete;

  const std::filesystem::path& Folder() const { return m_folder; }
  // Puts the drive behind node `node` (such as "sr0"); inside, the emulated
  // devices know it by `letter`.
  void Attach(const std::string& node, char letter, emu::DriveModel model);
  std::filesystem::path NodePath(const std::string& node) const;

  // Runs `change` on the drives while no command is being answered.
  void WithDrives(const std::function<void(emu::EmulatedDevices&)>& change);
  // As a USB drive that is pulled out: its node goes away, descriptors
  // still open on it fail with ENODEV; plugging in again makes a new node.
  void Unplug(const std::string& node);
  void Plug(const std::string& node);
  void QueueFault(const std::string& node, KernelFault fault);
  // Opening the node fails with `error` (0: opens again).
  void FailOpens(const std::string& node, int error);
  // As behind an adapter whose alignment mask is `mask`: a command whose
  // data buffer starts at an address with any of those bits set fails with
  // EINVAL (Windows' ERROR_INVALID_PARAMETER) and reaches no drive.
  void RequireAlignment(const std::string& node, std::uint32_t mask);
  // As a drive that takes `hold` of real time over every command after the
  // next `after` before it answers (0: at once, which also ends a hold
  // under way). The one server thread waits meanwhile, so every node is
  // held with it; the wait ends early when the devices go.
  void HoldAnswers(const std::string& node, std::chrono::milliseconds hold, int after = 0);
  // Waits until a command is being held; false after `limit`.
  bool WaitForHeldCommand(std::chrono::milliseconds limit) const;
  void ClearFaults();

  std::vector<KernelRecord> Log() const;
  std::vector<NodeEvent> Events() const;
  // Forgets the commands and the events.
  void ClearLog();
  // Waits until the log satisfies `ready`; false after `limit`.
  bool WaitForLog(const std::function<bool(const std::vector<KernelRecord>&)>& ready,
                  std::chrono::milliseconds limit) const;
  bool WaitForEvents(const std::function<bool(const std::vector<NodeEvent>&)>& ready,
                     std::chrono::milliseconds limit) const;

 private:
  struct Node {
    char letter = 0;
    int listener = -1;
    std::deque<KernelFault> faults;
    int openError = 0;
    std::uint32_t alignmentMask = 0;
    std::chrono::milliseconds hold{0};
    int holdAfter = 0;
  };
  struct Connection {
    std::string node;
    DeviceHandle handle = kNoDevice;
    int id = 0;
  };

  void Serve();
  void Record(NodeEvent::Kind kind, const Connection& connection, KernelRecord command = {});
  void HoldAnswer(const std::string& node);
  void Listen(const std::string& node, Node& state);
  void Accept(const std::string& node, int listener);
  bool Answer(int fd, Connection& connection);
  KernelRecord Carry(Connection& connection, KernelRecord request, std::vector<std::uint8_t>& dataIn);

  std::filesystem::path m_folder;
  mutable std::mutex m_mutex;
  mutable std::condition_variable m_logged;  // also: a hold began
  std::condition_variable m_stopped;
  int m_holding = 0;
  emu::EmulatedDevices m_devices;
  std::map<std::string, Node> m_nodes;
  std::map<int, Connection> m_connections;
  std::vector<KernelRecord> m_log;
  std::vector<NodeEvent> m_events;
  int m_connectionsMade = 0;
  int m_wake[2] = {-1, -1};  // a pipe that interrupts the server's poll
  bool m_stopping = false;
  std::thread m_server;
};

}  // namespace norvane::kernel
