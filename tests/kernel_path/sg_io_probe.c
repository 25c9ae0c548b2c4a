/* Sends SG_IO the way Wine's 32-bit ntdll does, on a descriptor it was
 * handed (as Wine's server hands the device to a 32-bit program): built for
 * 32-bit with 64-bit time, like Debian's Wine, it tells the preloaded
 * library's 32-bit side apart from the 64-bit one. Its data buffer is
 * page-aligned; the last command sends from one byte past the start, which
 * a device behind an aligning adapter refuses. One line per command:
 *
 *   rc errno status sb_len_wr host driver resid | sense bytes | data bytes
 *
 * Usage: sg_io_probe FD */
#include <errno.h>
#include <scsi/sg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

static void Print(const unsigned char* bytes, int length) {
  for (int i = 0; i < length; ++i) printf(" %02X", bytes[i]);
}

static void Send(int fd, const unsigned char* cdb, int direction, unsigned char* data, unsigned length) {
  unsigned char sense[32];
  memset(sense, 0, sizeof sense);
  sg_io_hdr_t header;
  memset(&header, 0, sizeof header);
  header.interface_id = 'S';
  header.cmd_len = 12;
  header.cmdp = (unsigned char*)cdb;
  header.dxfer_direction = direction;
  header.dxferp = data;
  header.dxfer_len = length;
  header.sbp = sense;
  header.mx_sb_len = 18;
  header.timeout = 360000;
  const int rc = ioctl(fd, SG_IO, &header);
  printf("%d %d %d %d %d %d %d |", rc, rc ? errno : 0, header.status, header.sb_len_wr, header.host_status,
         header.driver_status, header.resid);
  Print(sense, header.sb_len_wr);
  printf(" |");
  if (direction == SG_DXFER_FROM_DEV) Print(data, (int)length - header.resid < 8 ? (int)length - header.resid : 8);
  printf("\n");
}

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const int fd = atoi(argv[1]);
  struct stat st;
  if (fstat(fd, &st) != 0) return 3;
  printf("%s %u\n", S_ISBLK(st.st_mode) ? "block" : "other", major(st.st_rdev));
  static const unsigned char inquiry[12] = {0x12, 0, 0, 0, 0xFE};
  static const unsigned char page[12] = {0x3B, 0x01, 0xFA, 0, 0, 0, 0, 0x01, 0x00};
  static const unsigned char status[12] = {0x3C, 0x01, 0xF4, 0, 0, 0, 0, 0x01, 0x00};
  static unsigned char data[4096] __attribute__((aligned(4096)));
  memset(data, 0, sizeof data);
  Send(fd, inquiry, SG_DXFER_FROM_DEV, data, 254);
  memset(data, 0, sizeof data);
  data[0] = 0x0F; /* the eject page, eject off */
  Send(fd, page, SG_DXFER_TO_DEV, data, 256);
  memset(data, 0, sizeof data);
  Send(fd, status, SG_DXFER_FROM_DEV, data, 256);
  memset(data, 0, sizeof data);
  data[1] = 0x0F;
  Send(fd, page, SG_DXFER_TO_DEV, data + 1, 256);
  return 0;
}
