// POSIX half of the mapped files: descriptors, posix_fallocate and shared
// mappings.  The page size serves as the allocation granularity.
#include "platform/plat_map.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A mapping: its own descriptor of the file and the size it covers.  The
// size bounds the views as the system mapping object does on Win32.
struct posix_mapping {
  int fd;
  uint64_t size;
};

int code_of(int err) {
  switch (err) {
    case ENOENT: return 5;
    case EACCES:
    case EPERM:
    case EISDIR: return 4;  // Win32 refuses a directory as access denied
    case ENOSPC: return 3;
    case EINVAL: return 2;
    default: return 1;
  }
}

int fd_of(plat_map_handle h) { return (int)(h - 1); }

// Reserves the blocks of [0, size) so that stores through a shared mapping
// never meet a hole on a full file system (which would raise SIGBUS).
int reserve(int fd, uint64_t size) {
  int err;
  do {
    err = posix_fallocate(fd, 0, (off_t)size);
  } while (err == EINTR);
  return err == 0 ? 0 : code_of(err);
}

int make_mapping(int fd, uint64_t size, plat_map_handle* out) {
  posix_mapping* m = (posix_mapping*)calloc(1, sizeof *m);
  if (!m) {
    close(fd);
    return 1;
  }
  m->fd = fd;
  m->size = size;
  *out = (plat_map_handle)m;
  return 0;
}

}  // namespace

void plat_map_system_info(uint32_t* granularity, uint32_t* page_size) {
  long page = sysconf(_SC_PAGESIZE);
  if (page <= 0) page = 4096;
  *granularity = (uint32_t)page;
  *page_size = (uint32_t)page;
}

int plat_map_open_file(const char* path, int writable, int disposition,
                       uint32_t mode, plat_map_handle* out) {
  int flags = (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC;
  if (disposition == PLAT_MAP_OPEN_ALWAYS) flags |= O_CREAT;
  if (disposition == PLAT_MAP_TRUNCATE_EXISTING) flags |= O_TRUNC;
  if (disposition == PLAT_MAP_CREATE_ALWAYS) flags |= O_CREAT | O_TRUNC;
  int fd;
  do {
    fd = open(path, flags, (mode_t)mode);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return code_of(errno);
  struct stat st;
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    int code = S_ISDIR(st.st_mode) ? code_of(EISDIR) : code_of(errno);
    close(fd);
    return code;
  }
  *out = (plat_map_handle)fd + 1;
  return 0;
}

int plat_map_file_size(plat_map_handle file, uint64_t* size) {
  struct stat st;
  if (fstat(fd_of(file), &st) != 0) return code_of(errno);
  *size = (uint64_t)st.st_size;
  return 0;
}

int plat_map_create(plat_map_handle file, int writable, uint64_t size,
                    plat_map_handle* out) {
  if (size == 0 || size > (uint64_t)INT64_MAX) return 2;
  int fd = fd_of(file);
  struct stat st;
  if (fstat(fd, &st) != 0) return code_of(errno);
  if (writable) {
    int code = reserve(fd, size);
    if (code != 0) return code;
  } else if ((uint64_t)st.st_size < size) {
    return 2;  // a read-only file cannot be extended
  }
  int dup_fd = fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (dup_fd < 0) return code_of(errno);
  return make_mapping(dup_fd, size, out);
}

int plat_map_create_anonymous(uint64_t size, plat_map_handle* out) {
  if (size == 0 || size > (uint64_t)INT64_MAX) return 2;
  // A file with no name: every view of it shares one set of pages, as the
  // views of a paging-file mapping do.
  int fd = memfd_create("mmfile", MFD_CLOEXEC);
  if (fd < 0) return code_of(errno);
  int code = reserve(fd, size);
  if (code != 0) {
    close(fd);
    return code;
  }
  return make_mapping(fd, size, out);
}

int plat_map_view(plat_map_handle mapping, int writable, uint64_t offset,
                  uint32_t length, void** base) {
  posix_mapping* m = (posix_mapping*)mapping;
  if (length == 0 || offset > m->size || m->size - offset < length) return 2;
  int prot = PROT_READ | (writable ? PROT_WRITE : 0);
  void* p = mmap(nullptr, length, prot, MAP_SHARED, m->fd, (off_t)offset);
  if (p == MAP_FAILED) return code_of(errno);
  *base = p;
  return 0;
}

int plat_map_unview(void* base, uint32_t length) {
  return munmap(base, length) == 0 ? 0 : code_of(errno);
}

int plat_map_flush(void* base, uint32_t length) {
  return msync(base, length, MS_SYNC) == 0 ? 0 : code_of(errno);
}

int plat_map_close_file(plat_map_handle file) {
  return close(fd_of(file)) == 0 ? 0 : code_of(errno);
}

int plat_map_close_mapping(plat_map_handle mapping) {
  posix_mapping* m = (posix_mapping*)mapping;
  int code = close(m->fd) == 0 ? 0 : code_of(errno);
  free(m);
  return code;
}
