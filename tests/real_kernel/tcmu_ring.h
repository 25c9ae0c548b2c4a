// The command ring of a target_core_user device as its UIO map lays it out:
// the kernel's ABI (linux/target_core_user.h, mailbox version 2), written out
// here because that header is not valid C++ and clashes with glibc's iovec.
#pragma once

#include <cstddef>
#include <cstdint>

namespace norvane::realkernel {

struct __attribute__((packed)) RingMailbox {
  std::uint16_t version;
  std::uint16_t flags;
  std::uint32_t cmdr_off;                               // where the ring starts in the map
  std::uint32_t cmdr_size;                              // its length
  std::uint32_t cmd_head;                               // moved by the kernel
  std::uint32_t cmd_tail __attribute__((aligned(64)));  // moved by us, on its own cache line
};
inline constexpr std::uint16_t kCanReportReadLength = 1 << 1;

struct __attribute__((packed)) RingEntryHeader {
  std::uint32_t len_op;  // the entry's length, and its operation in the low 3 bits
  std::uint16_t cmd_id;
  std::uint8_t kflags;
  std::uint8_t uflags;
};
inline constexpr std::uint32_t kOpMask = 0x7;
inline constexpr std::uint32_t kOpPad = 0;
inline constexpr std::uint32_t kOpCommand = 1;
inline constexpr std::uint8_t kUnknownOperation = 0x1;
inline constexpr std::uint8_t kReadLengthSet = 0x2;

// A data buffer: its offset in the map and its length (a struct iovec whose
// base is an offset).
struct RingBuffer {
  std::uint64_t offset;
  std::uint64_t length;
};

// Not packed in the kernel's header (only the entry around it is): the
// 64-bit fields keep their natural alignment.
struct RingRequest {
  std::uint32_t iov_cnt;
  std::uint32_t iov_bidi_cnt;
  std::uint32_t iov_dif_cnt;
  std::uint64_t cdb_off;  // where the command block is in the map
  std::uint64_t pad1;
  std::uint64_t pad2;
};

// A command entry: its buffers (iov_cnt of them) follow the request
// directly. The answer is written over the request in place.
struct __attribute__((packed)) RingEntry {
  RingEntryHeader hdr;
  union {
    RingRequest req;
    struct {
      std::uint8_t scsi_status;
      std::uint8_t pad1;
      std::uint16_t pad2;
      std::uint32_t read_len;
      char sense_buffer[96];
    } rsp;
  };
};

inline constexpr std::size_t kBuffersOffset = sizeof(RingEntryHeader) + sizeof(RingRequest);
static_assert(kBuffersOffset == 48);
static_assert(sizeof(RingEntry) == 8 + 104, "the answer's sense buffer sets the entry's size");

}  // namespace norvane::realkernel
