/* What the preloaded library and the emulated SCSI devices say to each other.
 *
 * An emulated device node is a Unix socket that the device server listens
 * on. Opening it through the library connects to it: the descriptor a
 * program holds is that connection, so a descriptor handed to another
 * process (as Wine's server hands the device to the program) still reaches
 * the same device. Every SG_IO on it becomes one request and one reply.
 *
 * Plain C with fixed-width fields: the library is built for 32-bit and
 * 64-bit processes, the server for 64-bit. */
#ifndef NORVANE_KERNEL_PATH_PROTOCOL_H
#define NORVANE_KERNEL_PATH_PROTOCOL_H

#include <stdint.h>

#define NK_MAGIC 0x4E4B5031u /* "NKP1" */
/* The folders of the device nodes, separated by colons; only sockets
 * directly inside them are ours. */
#define NK_DEVICES_ENV "NORVANE_KERNEL_DEVICES"

/* The first message on a new connection: how the node was opened. */
struct nk_open {
  uint32_t magic;
  int32_t flags; /* open(2) flags */
  int32_t pid;
};

/* The answer to nk_open: 0, or the errno the open fails with. */
struct nk_open_reply {
  int32_t error;
};

/* One SG_IO (version 3 header), followed by cmd_len command bytes and, for
 * data to the device, dxfer_len data bytes. */
struct nk_sg_io {
  uint32_t magic;
  int32_t dxfer_direction; /* SG_DXFER_* */
  uint32_t dxfer_len;
  uint32_t timeout_ms;
  uint32_t flags;
  uint8_t cmd_len;
  uint8_t mx_sb_len;
  uint8_t word_size; /* 32 or 64: the layout the caller used */
  uint8_t reserved;
  /* Where the caller's data buffer starts inside its 4096-byte page: an
   * adapter may take only buffers aligned to its alignment mask. */
  uint32_t data_page_offset;
};

/* The answer, followed by sb_len_wr sense bytes and data_in_len data bytes.
 * error is the errno of a failed ioctl (0: the ioctl returned 0 and the
 * fields below are the header's). */
struct nk_sg_io_reply {
  int32_t error;
  uint8_t status;
  uint8_t masked_status;
  uint8_t msg_status;
  uint8_t sb_len_wr;
  uint16_t host_status;
  uint16_t driver_status;
  int32_t resid;
  uint32_t duration;
  uint32_t info;
  uint32_t data_in_len;
};

#endif
