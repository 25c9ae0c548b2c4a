#include "lio_target.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>

#include "tcmu_ring.h"

namespace norvane::realkernel {
namespace {

namespace fs = std::filesystem;

const fs::path kCore = "/sys/kernel/config/target/core";
const fs::path kLoopback = "/sys/kernel/config/target/loopback";
// Two made-up NAA names: the target port and the initiator it lets in.
constexpr const char* kTargetName = "naa.5001405a0e000001";
constexpr const char* kInitiatorName = "naa.5001405a0e000002";

void WriteAttribute(const fs::path& path, const std::string& value) {
  std::ofstream file(path);
  file << value;
  file.close();
  if (!file) throw std::runtime_error("cannot write '" + value + "' to " + path.string());
}

std::string ReadAttribute(const fs::path& path) {
  std::ifstream file(path);
  std::string value;
  std::getline(file, value);
  return value;
}

// The UIO device the kernel made for the backstore: its name is
// "tcm-user/<hba>/<device>/<config>".
fs::path UioOf(const std::string& name) {
  for (const fs::directory_entry& entry : fs::directory_iterator("/sys/class/uio")) {
    if (ReadAttribute(entry.path() / "name").find("/" + name + "/") != std::string::npos) return entry.path();
  }
  throw std::runtime_error("no UIO device for the backstore " + name);
}

// The CDB's length by its group code, as the target copies it into the ring.
std::size_t CdbLength(std::uint8_t opcode) {
  constexpr std::size_t kByGroup[] = {6, 10, 10, 12, 16, 12, 10, 10};
  return kByGroup[opcode >> 5];
}

}  // namespace

UserBackstore::UserBackstore(const std::string& name, Serve serve) : m_serve(std::move(serve)) {
  const fs::path hba = kCore / "user_9";
  m_folder = (hba / name).string();
  fs::create_directories(m_folder);
  // The target asks the backstore for nothing itself: the size only makes
  // the core accept the device; every command goes to the ring.
  WriteAttribute(fs::path(m_folder) / "control", "dev_config=norvane/" + name);
  WriteAttribute(fs::path(m_folder) / "control", "dev_size=1048576");
  WriteAttribute(fs::path(m_folder) / "control", "hw_block_size=2048");
  WriteAttribute(fs::path(m_folder) / "enable", "1");
  // Settable only while no LUN exports the device.
  WriteAttribute(fs::path(m_folder) / "attrib/cmd_time_out", std::to_string(kCommandTimeOutSeconds));

  const fs::path uio = UioOf(name);
  m_ringSize = std::stoul(ReadAttribute(uio / "maps/map0/size"), nullptr, 16);
  m_uio = open(("/dev" / uio.filename()).c_str(), O_RDWR | O_CLOEXEC);
  if (m_uio < 0) throw std::system_error(errno, std::generic_category(), "open the backstore's UIO device");
  m_ring = mmap(nullptr, m_ringSize, PROT_READ | PROT_WRITE, MAP_SHARED, m_uio, 0);
  if (m_ring == MAP_FAILED) throw std::system_error(errno, std::generic_category(), "map the command ring");
  m_thread = std::thread([this] { ServeRing(); });
}

UserBackstore::~UserBackstore() {
  m_stop = true;
  m_thread.join();
  munmap(m_ring, m_ringSize);
  close(m_uio);
  std::error_code ignored;
  fs::remove(m_folder, ignored);
}

void UserBackstore::ServeRing() {
  auto* const base = static_cast<std::uint8_t*>(m_ring);
  auto* const mailbox = static_cast<RingMailbox*>(m_ring);
  while (!m_stop) {
    pollfd wait{m_uio, POLLIN, 0};
    if (poll(&wait, 1, 100) > 0) {
      std::uint32_t events = 0;
      if (read(m_uio, &events, sizeof events) < 0) continue;
    }
    bool answered = false;
    while (__atomic_load_n(&mailbox->cmd_head, __ATOMIC_ACQUIRE) != mailbox->cmd_tail) {
      auto* entry = reinterpret_cast<RingEntry*>(base + mailbox->cmdr_off + mailbox->cmd_tail);
      const std::uint32_t length = entry->hdr.len_op & ~kOpMask;
      switch (entry->hdr.len_op & kOpMask) {
        case kOpPad: break;
        case kOpCommand: {
          TargetCommand command;
          const std::uint8_t* cdb = base + entry->req.cdb_off;
          command.cdb.assign(cdb, cdb + CdbLength(cdb[0]));
          std::vector<RingBuffer> buffers(entry->req.iov_cnt);
          const std::uint8_t* listed = base + mailbox->cmdr_off + mailbox->cmd_tail + kBuffersOffset;
          std::copy_n(listed, buffers.size() * sizeof(RingBuffer), reinterpret_cast<std::uint8_t*>(buffers.data()));
          std::size_t total = 0;
          for (const RingBuffer& buffer : buffers) total += buffer.length;
          // The ring carries one direction per command: what the initiator
          // sent is already in the buffers; for a read they are to be filled.
          std::vector<std::uint8_t> carried;
          for (const RingBuffer& buffer : buffers) {
            const auto* at = base + buffer.offset;
            carried.insert(carried.end(), at, at + buffer.length);
          }
          TargetReply reply;
          command.dataOut = carried;
          command.dataInLength = static_cast<std::uint32_t>(total);
          m_serve(command, reply);
          std::size_t copied = 0;
          for (const RingBuffer& buffer : buffers) {
            if (copied >= reply.dataIn.size()) break;
            const std::size_t n = std::min(buffer.length, reply.dataIn.size() - copied);
            std::copy_n(reply.dataIn.begin() + static_cast<std::ptrdiff_t>(copied), n, base + buffer.offset);
            copied += n;
          }
          entry->rsp.scsi_status = reply.status;
          std::memset(entry->rsp.sense_buffer, 0, sizeof entry->rsp.sense_buffer);
          std::copy_n(reply.sense.begin(), std::min(reply.sense.size(), sizeof entry->rsp.sense_buffer),
                      entry->rsp.sense_buffer);
          if ((mailbox->flags & kCanReportReadLength) != 0 && !reply.dataIn.empty()) {
            entry->hdr.uflags |= kReadLengthSet;
            entry->rsp.read_len = static_cast<std::uint32_t>(copied);
          }
          break;
        }
        default: entry->hdr.uflags |= kUnknownOperation; break;
      }
      __atomic_store_n(&mailbox->cmd_tail, (mailbox->cmd_tail + length) % mailbox->cmdr_size, __ATOMIC_RELEASE);
      answered = true;
    }
    if (answered) {
      const std::uint32_t one = 1;
      if (write(m_uio, &one, sizeof one) < 0) continue;
    }
  }
}

LoopTarget::LoopTarget(const std::vector<const UserBackstore*>& luns) {
  const fs::path tpg = kLoopback / kTargetName / "tpgt_1";
  fs::create_directories(tpg);
  // The host scans each LUN as it is linked, so the initiator's nexus must
  // be there first: without it every INQUIRY of the scan fails.
  WriteAttribute(tpg / "nexus", kInitiatorName);
  for (const UserBackstore* backstore : luns) {
    const fs::path lun = tpg / "lun" / ("lun_" + std::to_string(m_luns.size()));
    fs::create_directories(lun);
    m_luns.push_back(lun.string());
    m_devices.push_back(backstore->Folder());
    AddLun(m_luns.size() - 1);
  }
}

LoopTarget::~LoopTarget() {
  const fs::path tpg = kLoopback / kTargetName / "tpgt_1";
  std::error_code ignored;
  for (std::size_t lun = 0; lun < m_luns.size(); ++lun) {
    RemoveLun(lun);
    fs::remove(m_luns[lun], ignored);
  }
  // Without its nexus the port group can go, and with it the SCSI host.
  std::ofstream(tpg / "nexus") << "NULL";
  fs::remove(tpg, ignored);
  fs::remove(kLoopback / kTargetName, ignored);
}

void LoopTarget::AddLun(std::size_t lun) {
  fs::create_directory_symlink(m_devices.at(lun), fs::path(m_luns.at(lun)) / "drive");
}

void LoopTarget::RemoveLun(std::size_t lun) {
  std::error_code ignored;
  fs::remove(fs::path(m_luns.at(lun)) / "drive", ignored);
}

}  // namespace norvane::realkernel
