#include "kernel_devices.h"

#include <fcntl.h>
#include <poll.h>
#include <scsi/sg.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "protocol.h"

namespace norvane::kernel {
namespace {

// Host and driver bytes of a SCSI command's result, as the sr driver sets them.
constexpr std::uint16_t kDidTimeOut = 0x03;
constexpr std::uint16_t kDriverSense = 0x08;
constexpr std::uint8_t kCheckCondition = 0x02;

bool ReadAll(int fd, void* bytes, std::size_t length) {
  auto* at = static_cast<char*>(bytes);
  while (length > 0) {
    const ssize_t got = recv(fd, at, length, MSG_WAITALL);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    at += got;
    length -= static_cast<std::size_t>(got);
  }
  return true;
}

bool WriteAll(int fd, const void* bytes, std::size_t length) {
  const auto* at = static_cast<const char*>(bytes);
  while (length > 0) {
    const ssize_t sent = send(fd, at, length, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    at += sent;
    length -= static_cast<std::size_t>(sent);
  }
  return true;
}

// What the firmware is told of the data phase. With nothing to move there
// is none on the bus, whatever the host's header says (sg3_utils leaves an
// empty transfer at SG_DXFER_NONE, Wine passes the caller's direction): the
// drive goes by its command, and a WRITE BUFFER is data to the drive.
DataDirection DirectionOf(int sgDirection, std::uint32_t length, std::uint8_t operation) {
  constexpr std::uint8_t kWriteBuffer = 0x3B;
  if (length == 0) return operation == kWriteBuffer ? DataDirection::Out : DataDirection::None;
  switch (sgDirection) {
    case SG_DXFER_TO_DEV: return DataDirection::Out;
    case SG_DXFER_FROM_DEV:
    case SG_DXFER_TO_FROM_DEV: return DataDirection::In;
    default: return DataDirection::None;
  }
}

std::wstring DevicePathOf(char letter) { return std::wstring(L"\\\\.\\") + static_cast<wchar_t>(letter) + L":"; }

std::string Hex(const std::vector<std::uint8_t>& bytes, std::size_t limit = 64) {
  std::string text;
  char byte[4];
  for (std::size_t i = 0; i < bytes.size() && i < limit; ++i) {
    std::snprintf(byte, sizeof byte, i ? " %02X" : "%02X", bytes[i]);
    text += byte;
  }
  if (bytes.size() > limit) text += " ... (" + std::to_string(bytes.size()) + " bytes)";
  return text;
}

const char* DirectionName(int direction) {
  switch (direction) {
    case SG_DXFER_NONE: return "none";
    case SG_DXFER_TO_DEV: return "to device";
    case SG_DXFER_FROM_DEV: return "from device";
    case SG_DXFER_TO_FROM_DEV: return "to and from device";
    default: return "?";
  }
}

}  // namespace

std::string Describe(const KernelRecord& r) {
  char head[192];
  std::snprintf(head, sizeof head,
                "%s (%d-bit): SG_IO cdb [%s] %s, %u bytes at page offset %u, timeout %u ms, sense room %u\n",
                r.node.c_str(), r.wordSize, Hex(r.cdb).c_str(), DirectionName(r.direction), r.transferLength,
                r.dataPageOffset, r.timeoutMs, r.maxSense);
  std::string text = head;
  if (!r.dataOut.empty()) text += "  data out: " + Hex(r.dataOut, 16) + "\n";
  if (r.error != 0) return text + "  -> ioctl fails: " + std::strerror(r.error) + "\n";
  char answer[128];
  std::snprintf(answer, sizeof answer, "  -> status %02X, host %02X, driver %02X, resid %d", r.status, r.hostStatus,
                r.driverStatus, r.resid);
  text += answer;
  if (!r.sense.empty()) text += ", sense [" + Hex(r.sense) + "]";
  if (!r.dataIn.empty()) text += ", data in: " + Hex(r.dataIn, 16);
  return text + "\n";
}

std::string Describe(const NodeEvent& event) {
  const std::string head = event.node + ": connection " + std::to_string(event.connection);
  switch (event.kind) {
    case NodeEvent::Kind::Opened: return head + " opened";
    case NodeEvent::Kind::Closed: return head + " closed";
    case NodeEvent::Kind::Command: break;
  }
  // The record's lines, from its SG_IO on, as one.
  std::string command = Describe(event.command);
  command.erase(0, command.find("SG_IO"));
  for (std::size_t at; (at = command.find("\n")) != std::string::npos;) command.replace(at, 1, " ");
  while (command.find("  ") != std::string::npos) command.replace(command.find("  "), 2, " ");
  if (!command.empty() && command.back() == ' ') command.pop_back();
  return head + ": " + command;
}

KernelDevices::KernelDevices(std::filesystem::path folder) : m_folder(std::move(folder)) {
  std::filesystem::remove_all(m_folder);
  std::filesystem::create_directories(m_folder);
  m_folder = std::filesystem::canonical(m_folder);
  if (pipe2(m_wake, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  m_server = std::thread([this] { Serve(); });
}

KernelDevices::~KernelDevices() {
  {
    std::lock_guard lock(m_mutex);
    m_stopping = true;
  }
  m_stopped.notify_all();
  const char stop = 0;
  (void)!write(m_wake[1], &stop, 1);
  m_server.join();
  for (auto& [fd, connection] : m_connections) close(fd);
  for (auto& [name, node] : m_nodes) {
    if (node.listener >= 0) close(node.listener);
  }
  close(m_wake[0]);
  close(m_wake[1]);
  std::error_code ignored;
  std::filesystem::remove_all(m_folder, ignored);
}

std::filesystem::path KernelDevices::NodePath(const std::string& node) const { return m_folder / node; }

void KernelDevices::Listen(const std::string& node, Node& state) {
  const std::string path = NodePath(node).string();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) throw std::runtime_error("device path too long: " + path);
  std::strcpy(address.sun_path, path.c_str());
  unlink(path.c_str());
  state.listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (state.listener < 0 || bind(state.listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(state.listener, 16) != 0) {
    throw std::runtime_error("cannot listen on " + path + ": " + std::strerror(errno));
  }
  const char wake = 0;
  (void)!write(m_wake[1], &wake, 1);
}

void KernelDevices::Attach(const std::string& node, char letter, emu::DriveModel model) {
  std::lock_guard lock(m_mutex);
  m_devices.Attach(letter, std::move(model));
  Node& state = m_nodes[node];
  state.letter = letter;
  if (state.listener < 0) Listen(node, state);
}

void KernelDevices::WithDrives(const std::function<void(emu::EmulatedDevices&)>& change) {
  std::lock_guard lock(m_mutex);
  change(m_devices);
}

void KernelDevices::Unplug(const std::string& node) {
  std::lock_guard lock(m_mutex);
  Node& state = m_nodes.at(node);
  m_devices.Unplug(state.letter);
  if (state.listener >= 0) close(state.listener);
  state.listener = -1;
  unlink(NodePath(node).c_str());
  const char wake = 0;
  (void)!write(m_wake[1], &wake, 1);
}

void KernelDevices::Plug(const std::string& node) {
  std::lock_guard lock(m_mutex);
  Node& state = m_nodes.at(node);
  m_devices.Plug(state.letter);
  if (state.listener < 0) Listen(node, state);
}

void KernelDevices::QueueFault(const std::string& node, KernelFault fault) {
  std::lock_guard lock(m_mutex);
  m_nodes.at(node).faults.push_back(std::move(fault));
}

void KernelDevices::FailOpens(const std::string& node, int error) {
  std::lock_guard lock(m_mutex);
  m_nodes.at(node).openError = error;
}

void KernelDevices::RequireAlignment(const std::string& node, std::uint32_t mask) {
  std::lock_guard lock(m_mutex);
  m_nodes.at(node).alignmentMask = mask;
}

void KernelDevices::HoldAnswers(const std::string& node, std::chrono::milliseconds hold, int after) {
  {
    std::lock_guard lock(m_mutex);
    m_nodes.at(node).hold = hold;
    m_nodes.at(node).holdAfter = after;
  }
  m_stopped.notify_all();
}

bool KernelDevices::WaitForHeldCommand(std::chrono::milliseconds limit) const {
  std::unique_lock lock(m_mutex);
  return m_logged.wait_for(lock, limit, [&] { return m_holding > 0; });
}

void KernelDevices::HoldAnswer(const std::string& node) {
  std::unique_lock lock(m_mutex);
  Node& state = m_nodes.at(node);
  const std::chrono::milliseconds hold = state.hold;
  if (hold <= std::chrono::milliseconds(0)) return;
  if (state.holdAfter > 0) {
    --state.holdAfter;
    return;
  }
  ++m_holding;
  m_logged.notify_all();
  m_stopped.wait_for(lock, hold, [&] { return m_stopping || state.hold <= std::chrono::milliseconds(0); });
  --m_holding;
}

void KernelDevices::ClearFaults() {
  std::unique_lock lock(m_mutex);
  for (auto& [name, node] : m_nodes) {
    node.faults.clear();
    node.openError = 0;
    node.hold = std::chrono::milliseconds(0);
    node.holdAfter = 0;
  }
  m_stopped.notify_all();
}

std::vector<KernelRecord> KernelDevices::Log() const {
  std::lock_guard lock(m_mutex);
  return m_log;
}

std::vector<NodeEvent> KernelDevices::Events() const {
  std::lock_guard lock(m_mutex);
  return m_events;
}

void KernelDevices::ClearLog() {
  std::lock_guard lock(m_mutex);
  m_log.clear();
  m_events.clear();
}

// Called with the mutex held.
void KernelDevices::Record(NodeEvent::Kind kind, const Connection& connection, KernelRecord command) {
  m_events.push_back({kind, connection.node, connection.id, std::move(command)});
  m_logged.notify_all();
}

bool KernelDevices::WaitForLog(const std::function<bool(const std::vector<KernelRecord>&)>& ready,
                               std::chrono::milliseconds limit) const {
  std::unique_lock lock(m_mutex);
  return m_logged.wait_for(lock, limit, [&] { return ready(m_log); });
}

bool KernelDevices::WaitForEvents(const std::function<bool(const std::vector<NodeEvent>&)>& ready,
                                  std::chrono::milliseconds limit) const {
  std::unique_lock lock(m_mutex);
  return m_logged.wait_for(lock, limit, [&] { return ready(m_events); });
}

void KernelDevices::Serve() {
  for (;;) {
    std::vector<pollfd> watched{{m_wake[0], POLLIN, 0}};
    std::vector<std::string> listenerNodes;
    {
      std::lock_guard lock(m_mutex);
      if (m_stopping) return;
      for (const auto& [name, node] : m_nodes) {
        if (node.listener < 0) continue;
        watched.push_back({node.listener, POLLIN, 0});
        listenerNodes.push_back(name);
      }
      for (const auto& [fd, connection] : m_connections) watched.push_back({fd, POLLIN, 0});
    }
    if (poll(watched.data(), watched.size(), -1) < 0) continue;
    if (watched[0].revents) {
      char drained[64];
      (void)!read(m_wake[0], drained, sizeof drained);
    }
    for (std::size_t i = 1; i < watched.size(); ++i) {
      if (!watched[i].revents) continue;
      if (i <= listenerNodes.size()) {
        Accept(listenerNodes[i - 1], watched[i].fd);
        continue;
      }
      std::unique_lock lock(m_mutex);
      auto found = m_connections.find(watched[i].fd);
      if (found == m_connections.end()) continue;
      Connection connection = found->second;
      lock.unlock();
      if (Answer(watched[i].fd, connection)) continue;
      // The last descriptor on the connection was closed.
      lock.lock();
      if (connection.handle != kNoDevice) m_devices.Close(connection.handle);
      Record(NodeEvent::Kind::Closed, connection);
      m_connections.erase(watched[i].fd);
      close(watched[i].fd);
    }
  }
}

void KernelDevices::Accept(const std::string& node, int listener) {
  const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return;
  nk_open hello{};
  nk_open_reply reply{0};
  Connection connection{node, kNoDevice};
  if (!ReadAll(fd, &hello, sizeof hello) || hello.magic != NK_MAGIC) {
    close(fd);
    return;
  }
  {
    std::lock_guard lock(m_mutex);
    const Node& state = m_nodes.at(node);
    // Linux lets root send any command on any open descriptor of the node.
    if (state.openError == 0) {
      connection.handle = m_devices.Open(DevicePathOf(state.letter).c_str(), DeviceAccess::ReadWrite);
    }
    reply.error = state.openError != 0 ? state.openError : connection.handle == kNoDevice ? ENODEV : 0;
  }
  if (!WriteAll(fd, &reply, sizeof reply) || reply.error != 0) {
    std::lock_guard lock(m_mutex);
    if (connection.handle != kNoDevice) m_devices.Close(connection.handle);
    close(fd);
    return;
  }
  std::lock_guard lock(m_mutex);
  connection.id = ++m_connectionsMade;
  m_connections[fd] = connection;
  Record(NodeEvent::Kind::Opened, connection);
}

bool KernelDevices::Answer(int fd, Connection& connection) {
  nk_sg_io request{};
  if (!ReadAll(fd, &request, sizeof request) || request.magic != NK_MAGIC) return false;
  KernelRecord record;
  record.node = connection.node;
  record.wordSize = request.word_size;
  record.direction = request.dxfer_direction;
  record.transferLength = request.dxfer_len;
  record.timeoutMs = request.timeout_ms;
  record.maxSense = request.mx_sb_len;
  record.dataPageOffset = request.data_page_offset;
  record.cdb.resize(request.cmd_len);
  if (!ReadAll(fd, record.cdb.data(), record.cdb.size())) return false;
  if (request.dxfer_direction == SG_DXFER_TO_DEV || request.dxfer_direction == SG_DXFER_TO_FROM_DEV) {
    record.dataOut.resize(request.dxfer_len);
    if (!ReadAll(fd, record.dataOut.data(), record.dataOut.size())) return false;
  }
  HoldAnswer(connection.node);
  std::vector<std::uint8_t> dataIn;
  {
    std::lock_guard lock(m_mutex);
    record = Carry(connection, std::move(record), dataIn);
    m_log.push_back(record);
    Record(NodeEvent::Kind::Command, connection, record);
  }
  m_logged.notify_all();
  nk_sg_io_reply reply{};
  reply.error = record.error;
  reply.status = record.status;
  reply.masked_status = static_cast<std::uint8_t>(record.status >> 1);
  reply.sb_len_wr = static_cast<std::uint8_t>(record.sense.size());
  reply.host_status = record.hostStatus;
  reply.driver_status = record.driverStatus;
  reply.resid = record.resid;
  reply.duration = record.hostStatus == kDidTimeOut ? record.timeoutMs : 1;
  reply.info = (reply.masked_status || reply.host_status || reply.driver_status) ? SG_INFO_CHECK : SG_INFO_OK;
  reply.data_in_len = static_cast<std::uint32_t>(dataIn.size());
  return WriteAll(fd, &reply, sizeof reply) && WriteAll(fd, record.sense.data(), record.sense.size()) &&
         WriteAll(fd, dataIn.data(), dataIn.size());
}

KernelRecord KernelDevices::Carry(Connection& connection, KernelRecord r, std::vector<std::uint8_t>& dataIn) {
  Node& node = m_nodes.at(connection.node);
  if (r.transferLength > 0 && (r.dataPageOffset & node.alignmentMask) != 0) {
    r.error = EINVAL;
    return r;
  }
  KernelFault fault;
  bool faulty = false;
  if (!node.faults.empty() && node.faults.front().after > 0) {
    --node.faults.front().after;
  } else if (!node.faults.empty()) {
    fault = node.faults.front();
    faulty = true;
    if (--node.faults.front().times <= 0) node.faults.pop_front();
  }
  const bool reads = r.direction == SG_DXFER_FROM_DEV || r.direction == SG_DXFER_TO_FROM_DEV;
  if (faulty && fault.kind == KernelFault::Kind::Errno) {
    r.error = fault.error;
    return r;
  }
  if (faulty && fault.kind == KernelFault::Kind::Timeout) {
    // The drive never answered: the time passed, and nothing moved.
    m_devices.Clock().Advance(r.timeoutMs);
    r.hostStatus = kDidTimeOut;
    r.resid = static_cast<std::int32_t>(r.transferLength);
    return r;
  }
  if (faulty && fault.kind == KernelFault::Kind::Sense) {
    r.status = kCheckCondition;
    r.driverStatus = kDriverSense;
    r.sense.assign(fault.sense.begin(), fault.sense.begin() + std::min<std::size_t>(fault.sense.size(), r.maxSense));
    r.resid = static_cast<std::int32_t>(r.transferLength);
    return r;
  }
  // The firmware takes 12-byte command blocks; shorter ones are padded.
  std::uint8_t cdb[kCdbLength] = {};
  std::copy_n(r.cdb.begin(), std::min(r.cdb.size(), kCdbLength), cdb);
  std::vector<std::uint8_t> data = r.dataOut;
  data.resize(r.transferLength);
  const ScsiCommand command{cdb, data.empty() ? nullptr : data.data(), r.transferLength,
                            DirectionOf(r.direction, r.transferLength, cdb[0]), r.timeoutMs / 1000};
  ScsiReply reply;
  if (!m_devices.PassThrough(connection.handle, command, reply)) {
    r.error = ENODEV;  // the drive has left the bus
    return r;
  }
  r.status = reply.status;
  if (reply.status != 0) {
    r.driverStatus = reply.status == kCheckCondition ? kDriverSense : 0;
    r.sense.assign(reply.sense, reply.sense + std::min<std::size_t>(kSenseRequestLength, r.maxSense));
    r.resid = static_cast<std::int32_t>(r.transferLength);
    return r;
  }
  if (!reads) return r;
  const std::uint32_t shortBy = faulty ? std::min(fault.shortBy, r.transferLength) : 0;
  dataIn.assign(data.begin(), data.end() - shortBy);
  r.dataIn = dataIn;
  r.resid = static_cast<std::int32_t>(shortBy);
  return r;
}

}  // namespace norvane::kernel
