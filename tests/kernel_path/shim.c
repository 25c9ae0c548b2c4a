/* A preloaded library that makes the emulated device nodes (Unix sockets in
 * the folder NORVANE_KERNEL_DEVICES names) behave like Linux optical drives:
 * opening one connects to the device server, fstat reports a block device
 * of the sr driver, and SG_IO goes to the server, which answers from the
 * emulated drive's firmware. Every other file, descriptor and request is
 * left to the C library.
 *
 * Built twice: 64-bit for Wine's server, Wine's 64-bit programs and
 * norvane-drive; 32-bit for Wine's 32-bit programs, which never open a
 * device themselves (Wine's server does and hands them the descriptor), so
 * that build only takes fstat and ioctl. Debian builds its 32-bit Wine with
 * 64-bit time, so there the two arrive as __fstat64_time64 and
 * __ioctl_time64: this file is compiled with the same settings, under
 * which the C library's headers give fstat and ioctl exactly those names. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <scsi/sg.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include "protocol.h"

/* The block major of the sr driver, and what its SG_GET_VERSION_NUM answers. */
#define SR_MAJOR 11
#define SR_SG_VERSION 30527

#define REAL(name, type) ((type)dlsym(RTLD_NEXT, name))

#if defined(__x86_64__)
#define REAL_FSTAT "fstat"
#define REAL_IOCTL "ioctl"
#else
#define REAL_FSTAT "__fstat64_time64"
#define REAL_IOCTL "__ioctl_time64"
#endif

/* The node's number: sr3 is minor 3. */
static int NodeNumber(const char* path) {
  const char* name = strrchr(path, '/');
  name = name ? name + 1 : path;
  while (*name && (*name < '0' || *name > '9')) ++name;
  return *name ? atoi(name) : 0;
}

/* Whether `path` (canonical) lies directly in one of the devices folders
 * (a list separated by colons: the folder the server listens in, and where
 * it is mounted elsewhere). */
static int InDevicesFolder(const char* path) {
  const char* folders = getenv(NK_DEVICES_ENV);
  for (const char* folder = folders; folder && *folder;) {
    const char* end = strchr(folder, ':');
    const size_t length = end ? (size_t)(end - folder) : strlen(folder);
    if (length > 0 && strncmp(path, folder, length) == 0 && path[length] == '/' && !strchr(path + length + 1, '/')) {
      return 1;
    }
    folder = end ? end + 1 : NULL;
  }
  return 0;
}

/* Whether `fd` is a connection to one of our device nodes; the node's path
 * goes to `node` (PATH_MAX bytes) when given. Leaves errno as it was. */
static int IsDevice(int fd, char* node) {
  const int saved = errno;
  struct sockaddr_un peer;
  socklen_t length = sizeof peer;
  memset(&peer, 0, sizeof peer);
  const int ours = getpeername(fd, (struct sockaddr*)&peer, &length) == 0 && peer.sun_family == AF_UNIX &&
                   InDevicesFolder(peer.sun_path);
  if (ours && node) strcpy(node, peer.sun_path);
  errno = saved;
  return ours;
}

static int SendAll(int fd, const void* bytes, size_t length) {
  const char* at = bytes;
  while (length > 0) {
    const ssize_t sent = send(fd, at, length, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return -1;
    at += sent;
    length -= (size_t)sent;
  }
  return 0;
}

static int ReceiveAll(int fd, void* bytes, size_t length) {
  char* at = bytes;
  while (length > 0) {
    const ssize_t got = recv(fd, at, length, MSG_WAITALL);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return -1;
    at += got;
    length -= (size_t)got;
  }
  return 0;
}

/* Discards what does not fit the caller's buffer. */
static int Skip(int fd, size_t length) {
  char scratch[256];
  while (length > 0) {
    const size_t part = length < sizeof scratch ? length : sizeof scratch;
    if (ReceiveAll(fd, scratch, part) != 0) return -1;
    length -= part;
  }
  return 0;
}

/* SG_IO as the kernel's sr driver takes it: the checks it makes before the
 * command leaves, then the command to the server and its answer back into
 * the caller's header, sense and data buffers. */
static int ForwardSgIo(int fd, struct sg_io_hdr* header) {
  if (!header || header->interface_id != 'S' || !header->cmdp || header->cmd_len == 0 || header->cmd_len > 16 ||
      header->iovec_count != 0 || (header->dxfer_len > 0 && !header->dxferp)) {
    errno = EINVAL;
    return -1;
  }
  const int direction = header->dxfer_direction;
  if (direction != SG_DXFER_NONE && direction != SG_DXFER_TO_DEV && direction != SG_DXFER_FROM_DEV &&
      direction != SG_DXFER_TO_FROM_DEV) {
    errno = EINVAL;
    return -1;
  }
  struct nk_sg_io request;
  memset(&request, 0, sizeof request);
  request.magic = NK_MAGIC;
  request.dxfer_direction = direction;
  request.dxfer_len = header->dxfer_len;
  request.timeout_ms = header->timeout;
  request.flags = header->flags;
  request.cmd_len = header->cmd_len;
  request.mx_sb_len = header->mx_sb_len;
  request.word_size = (uint8_t)(sizeof(void*) * 8);
  request.data_page_offset = (uint32_t)((uintptr_t)header->dxferp & 4095u);
  const int sendsData = direction == SG_DXFER_TO_DEV || direction == SG_DXFER_TO_FROM_DEV;
  struct nk_sg_io_reply reply;
  if (SendAll(fd, &request, sizeof request) != 0 || SendAll(fd, header->cmdp, header->cmd_len) != 0 ||
      (sendsData && SendAll(fd, header->dxferp, header->dxfer_len) != 0) || ReceiveAll(fd, &reply, sizeof reply) != 0) {
    errno = EIO;  // the server is gone: as a device that stopped answering
    return -1;
  }
  const size_t sense = reply.sb_len_wr < header->mx_sb_len ? reply.sb_len_wr : header->mx_sb_len;
  if ((sense && (!header->sbp || ReceiveAll(fd, header->sbp, sense) != 0)) || Skip(fd, reply.sb_len_wr - sense) != 0) {
    errno = EIO;
    return -1;
  }
  const size_t data = reply.data_in_len < header->dxfer_len ? reply.data_in_len : header->dxfer_len;
  if ((data && ReceiveAll(fd, header->dxferp, data) != 0) || Skip(fd, reply.data_in_len - data) != 0) {
    errno = EIO;
    return -1;
  }
  if (reply.error != 0) {
    errno = reply.error;
    return -1;
  }
  header->status = reply.status;
  header->masked_status = reply.masked_status;
  header->msg_status = reply.msg_status;
  header->sb_len_wr = (unsigned char)sense;
  header->host_status = reply.host_status;
  header->driver_status = reply.driver_status;
  header->resid = reply.resid;
  header->duration = reply.duration;
  header->info = reply.info;
  return 0;
}

/* The requests an sr node answers that its users here make; everything
 * else an sr node would not know is refused as the kernel refuses it. */
static int DeviceIoctl(int fd, unsigned long request, void* argument, int (*real)(int, unsigned long, ...)) {
  switch (request) {
    case SG_IO: return ForwardSgIo(fd, argument);
    case SG_GET_VERSION_NUM:
      if (!argument) break;
      *(int*)argument = SR_SG_VERSION;
      return 0;
    case SG_EMULATED_HOST:
      if (!argument) break;
      *(int*)argument = 0;
      return 0;
    case FIONBIO:
    case FIOCLEX:
    case FIONCLEX: return real(fd, request, argument);  // the descriptor's own flags
    default: errno = ENOTTY; return -1;
  }
  errno = EFAULT;
  return -1;
}

int ioctl(int fd, unsigned long request, ...) {
  va_list arguments;
  va_start(arguments, request);
  void* argument = va_arg(arguments, void*);
  va_end(arguments);
  int (*real)(int, unsigned long, ...) = REAL(REAL_IOCTL, int (*)(int, unsigned long, ...));
  if (IsDevice(fd, NULL)) return DeviceIoctl(fd, request, argument, real);
  return real(fd, request, argument);
}

/* A connection to a device node looks like the sr node it stands for, and
 * like it, every descriptor on the node shows the node's own identity
 * (Wine keeps what it knows of each drive by device and inode). */
static void DressAsDevice(int fd, dev_t* device, ino_t* inode, mode_t* mode, dev_t* rdev, off_t* size) {
  char node[PATH_MAX];
  if (!S_ISSOCK(*mode) || !IsDevice(fd, node)) return;
  const int saved = errno;
  struct stat st;
  if (stat(node, &st) == 0) {
    *device = st.st_dev;
    *inode = st.st_ino;
  }
  errno = saved;
  *mode = S_IFBLK | 0660;
  *rdev = makedev(SR_MAJOR, NodeNumber(node));
  *size = 0;
}

#define DRESSED(call, fd, st)                                                                                         \
  do {                                                                                                                \
    const int result = (call);                                                                                        \
    if (result == 0) DressAsDevice(fd, &(st)->st_dev, &(st)->st_ino, &(st)->st_mode, &(st)->st_rdev, &(st)->st_size); \
    return result;                                                                                                    \
  } while (0)

int fstat(int fd, struct stat* st) { DRESSED(REAL(REAL_FSTAT, int (*)(int, struct stat*))(fd, st), fd, st); }

#if defined(__x86_64__)
int fstat64(int fd, struct stat64* st) {
  DRESSED(REAL("fstat64", int (*)(int, struct stat64*))(fd, st), fd, (struct stat*)st);
}

int __fxstat(int version, int fd, struct stat* st) {
  DRESSED(REAL("__fxstat", int (*)(int, int, struct stat*))(version, fd, st), fd, st);
}

int __fxstat64(int version, int fd, struct stat64* st) {
  DRESSED(REAL("__fxstat64", int (*)(int, int, struct stat64*))(version, fd, st), fd, (struct stat*)st);
}

/* Connects to the device node at `path`, or answers -1 with errno. */
static int ConnectDevice(const char* path, int flags) {
  struct sockaddr_un address;
  memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  if (strlen(path) >= sizeof address.sun_path) return -1;
  strcpy(address.sun_path, path);
  const int fd = socket(AF_UNIX, SOCK_STREAM | ((flags & O_CLOEXEC) ? SOCK_CLOEXEC : 0), 0);
  if (fd < 0) return -1;
  const struct nk_open hello = {NK_MAGIC, flags, (int32_t)getpid()};
  struct nk_open_reply reply = {ENXIO};
  if (connect(fd, (struct sockaddr*)&address, sizeof address) != 0 || SendAll(fd, &hello, sizeof hello) != 0 ||
      ReceiveAll(fd, &reply, sizeof reply) != 0 || reply.error != 0) {
    close(fd);
    errno = reply.error ? reply.error : ENXIO;  // a node nobody serves: as a driver without its device
    return -1;
  }
  return fd;
}

/* Opening a socket fails with ENXIO; only then can the path be one of ours. */
static int OpenedOrDevice(int fd, int dirfd, const char* path, int flags) {
  if (fd >= 0 || errno != ENXIO || !path) return fd;
  const int saved = errno;
  char resolved[PATH_MAX];
  char joined[2 * PATH_MAX + 2];
  if (path[0] != '/' && dirfd != AT_FDCWD) {
    char link[64];
    char folder[PATH_MAX];
    snprintf(link, sizeof link, "/proc/self/fd/%d", dirfd);
    const ssize_t length = readlink(link, folder, sizeof folder - 1);
    if (length < 0) return errno = saved, -1;
    folder[length] = 0;
    snprintf(joined, sizeof joined, "%s/%s", folder, path);
    path = joined;
  }
  struct stat st;
  if (!realpath(path, resolved) || stat(resolved, &st) != 0 || !S_ISSOCK(st.st_mode) || !InDevicesFolder(resolved)) {
    errno = saved;
    return -1;
  }
  return ConnectDevice(resolved, flags);
}

static mode_t ModeOf(int flags, va_list arguments) {
  return (flags & O_CREAT) || (flags & __O_TMPFILE) == __O_TMPFILE ? va_arg(arguments, mode_t) : 0;
}

#define OPEN_AT(name, dirfd, path, flags, mode) \
  OpenedOrDevice(REAL(name, int (*)(int, const char*, int, ...))(dirfd, path, flags, mode), dirfd, path, flags)
#define OPEN(name, path, flags, mode) \
  OpenedOrDevice(REAL(name, int (*)(const char*, int, ...))(path, flags, mode), AT_FDCWD, path, flags)

int open(const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = ModeOf(flags, arguments);
  va_end(arguments);
  return OPEN("open", path, flags, mode);
}

int open64(const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = ModeOf(flags, arguments);
  va_end(arguments);
  return OPEN("open64", path, flags, mode);
}

#define OPEN_CHECKED(name, path, flags) \
  OpenedOrDevice(REAL(name, int (*)(const char*, int))(path, flags), AT_FDCWD, path, flags)

int __open_2(const char* path, int flags) { return OPEN_CHECKED("__open_2", path, flags); }
int __open64_2(const char* path, int flags) { return OPEN_CHECKED("__open64_2", path, flags); }

int openat(int dirfd, const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = ModeOf(flags, arguments);
  va_end(arguments);
  return OPEN_AT("openat", dirfd, path, flags, mode);
}

int openat64(int dirfd, const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = ModeOf(flags, arguments);
  va_end(arguments);
  return OPEN_AT("openat64", dirfd, path, flags, mode);
}
#endif
