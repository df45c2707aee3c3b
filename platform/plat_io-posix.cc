// POSIX half of positional I/O: pread, pwrite and posix_fallocate.
#include "platform/plat_io.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int fd_of(plat_io_handle h) { return (int)(h - 1); }

// Transfers are cut into pieces of at most 1 GiB: some kernels cap a
// single call below 2 GiB, and a short count is then simply continued.
const size_t kMaxTransfer = (size_t)1 << 30;

}  // namespace

int plat_io_open(const char* path, int flags, uint32_t mode,
                 plat_io_handle* out) {
  *out = 0;
  int oflags = ((flags & PLAT_IO_WRITE) ? O_RDWR : O_RDONLY) | O_CLOEXEC;
  if ((flags & PLAT_IO_CREATE) && (flags & PLAT_IO_WRITE)) oflags |= O_CREAT;
  int fd;
  do {
    fd = open(path, oflags, (mode_t)mode);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  struct stat st;
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    close(fd);
    errno = EISDIR;
    return -1;
  }
  *out = (plat_io_handle)fd + 1;
  return 0;
}

int plat_io_size(plat_io_handle file, uint64_t* size) {
  struct stat st;
  if (fstat(fd_of(file), &st) != 0) return -1;
  *size = (uint64_t)st.st_size;
  return 0;
}

int plat_io_pread(plat_io_handle file, void* buf, size_t len,
                  uint64_t offset) {
  char* p = (char*)buf;
  while (len > 0) {
    size_t part = len < kMaxTransfer ? len : kMaxTransfer;
    ssize_t got = pread(fd_of(file), p, part, (off_t)offset);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return -1;
    p += got;
    len -= (size_t)got;
    offset += (uint64_t)got;
  }
  return 0;
}

int plat_io_pwrite(plat_io_handle file, const void* buf, size_t len,
                   uint64_t offset) {
  const char* p = (const char*)buf;
  while (len > 0) {
    size_t part = len < kMaxTransfer ? len : kMaxTransfer;
    ssize_t put = pwrite(fd_of(file), p, part, (off_t)offset);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return -1;
    p += put;
    len -= (size_t)put;
    offset += (uint64_t)put;
  }
  return 0;
}

int plat_io_grow(plat_io_handle file, uint64_t size) {
  if (size > (uint64_t)INT64_MAX) return -1;
  int err;
  do {
    err = posix_fallocate(fd_of(file), 0, (off_t)size);
  } while (err == EINTR);
  if (err != 0) {
    errno = err;
    return -1;
  }
  return 0;
}

int plat_io_close(plat_io_handle file) {
  return close(fd_of(file)) == 0 ? 0 : -1;
}
