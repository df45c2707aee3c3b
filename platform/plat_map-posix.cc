// POSIX half of the mapped files: posix_fallocate and shared mappings.  The
// page size serves as the allocation granularity.
#include "platform/plat_map.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/plat_sys.h"

namespace {

// A mapping: its own descriptor of the file and the size it covers.  The
// size bounds the views as the system mapping object does on Win32.
struct posix_mapping {
  int fd;
  uint64_t size;
};

// Reserves the blocks of [0, size) so that stores through a shared mapping
// never meet a hole on a full file system (which would raise SIGBUS).
int reserve(int fd, uint64_t size) {
  int err;
  do {
    err = posix_fallocate(fd, 0, (off_t)size);
  } while (err == EINTR);
  if (err == 0) return 0;
  errno = err;
  return -1;
}

// Takes over fd.
int make_mapping(int fd, uint64_t size, plat_map_handle* out) {
  posix_mapping* m = (posix_mapping*)calloc(1, sizeof *m);
  if (!m) {
    close(fd);
    errno = ENOMEM;
    return -1;
  }
  m->fd = fd;
  m->size = size;
  *out = (plat_map_handle)m;
  return 0;
}

int invalid() {
  errno = EINVAL;
  return -1;
}

}  // namespace

void plat_map_system_info(uint32_t* granularity, uint32_t* page_size) {
  long page = sysconf(_SC_PAGESIZE);
  if (page <= 0) page = 4096;
  *granularity = (uint32_t)page;
  *page_size = (uint32_t)page;
}

int plat_sys_map(int fd, int writable, uint64_t size, plat_map_handle* out) {
  if (size == 0 || size > (uint64_t)INT64_MAX) return invalid();
  struct stat st;
  if (fstat(fd, &st) != 0) return -1;
  if (writable) {
    if (reserve(fd, size) != 0) return -1;
  } else if ((uint64_t)st.st_size < size) {
    return invalid();  // a read-only file cannot be extended
  }
  int dup_fd = fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (dup_fd < 0) return -1;
  return make_mapping(dup_fd, size, out);
}

int plat_sys_map_anonymous(uint64_t size, plat_map_handle* out) {
  if (size == 0 || size > (uint64_t)INT64_MAX) return invalid();
  // A file with no name: every view of it shares one set of pages, as the
  // views of a paging-file mapping do.
  int fd = memfd_create("mmfile", MFD_CLOEXEC);
  if (fd < 0) return -1;
  if (reserve(fd, size) != 0) {
    int err = errno;
    close(fd);
    errno = err;
    return -1;
  }
  return make_mapping(fd, size, out);
}

int plat_sys_view(plat_map_handle mapping, int writable, uint64_t offset,
                  uint32_t length, void** base) {
  posix_mapping* m = (posix_mapping*)mapping;
  if (length == 0 || offset > m->size || m->size - offset < length)
    return invalid();
  int prot = PROT_READ | (writable ? PROT_WRITE : 0);
  void* p = mmap(nullptr, length, prot, MAP_SHARED, m->fd, (off_t)offset);
  if (p == MAP_FAILED) return -1;
  *base = p;
  return 0;
}

int plat_sys_unview(void* base, uint32_t length) {
  return munmap(base, length) == 0 ? 0 : -1;
}

int plat_sys_flush(void* base, uint32_t length) {
  return msync(base, length, MS_SYNC) == 0 ? 0 : -1;
}

int plat_sys_unmap(plat_map_handle mapping) {
  posix_mapping* m = (posix_mapping*)mapping;
  int r = close(m->fd) == 0 ? 0 : -1;
  int err = errno;
  free(m);
  errno = err;
  return r;
}
