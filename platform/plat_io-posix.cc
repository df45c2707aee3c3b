// POSIX half of positional I/O: pread, pwrite and posix_fallocate.
#include "platform/plat_io.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/plat_sys.h"

namespace {

// Transfers are cut into pieces of at most 1 GiB: some kernels cap a
// single call below 2 GiB, and a short count is then simply continued.
const size_t kMaxTransfer = (size_t)1 << 30;

}  // namespace

int plat_sys_size(int fd, uint64_t* size) {
  struct stat st;
  if (fstat(fd, &st) != 0) return -1;
  *size = (uint64_t)st.st_size;
  return 0;
}

int plat_sys_pread(int fd, void* buf, size_t len, uint64_t offset) {
  char* p = (char*)buf;
  while (len > 0) {
    size_t part = len < kMaxTransfer ? len : kMaxTransfer;
    ssize_t got = pread(fd, p, part, (off_t)offset);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) {
      errno = EIO;  // the file ended before the bytes asked for
      return -1;
    }
    p += got;
    len -= (size_t)got;
    offset += (uint64_t)got;
  }
  return 0;
}

int plat_sys_pwrite(int fd, const void* buf, size_t len, uint64_t offset) {
  const char* p = (const char*)buf;
  while (len > 0) {
    size_t part = len < kMaxTransfer ? len : kMaxTransfer;
    ssize_t put = pwrite(fd, p, part, (off_t)offset);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) return -1;
    if (put == 0) {
      errno = EIO;
      return -1;
    }
    p += put;
    len -= (size_t)put;
    offset += (uint64_t)put;
  }
  return 0;
}

int plat_sys_grow(int fd, uint64_t size) {
  if (size > (uint64_t)INT64_MAX) {
    errno = EFBIG;
    return -1;
  }
  int err;
  do {
    err = posix_fallocate(fd, 0, (off_t)size);
  } while (err == EINTR);
  if (err != 0) {
    errno = err;
    return -1;
  }
  return 0;
}
