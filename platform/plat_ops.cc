// The file-operation table, the calls that go through it, and the copy
// between descriptors that both halves share.
#include "platform/plat_ops.h"

#include <errno.h>

#include "platform/plat.h"
#include "platform/plat_io.h"
#include "platform/plat_map.h"
#include "platform/plat_sys.h"

// Both are constant-initialised: the table is complete before any code
// of the program runs.
const plat_file_ops plat_default_ops = {
    plat_sys_open,  plat_sys_close, plat_sys_lseek,         plat_sys_read,
    plat_sys_write, plat_sys_copy,  plat_sys_size,          plat_sys_pread,
    plat_sys_pwrite, plat_sys_grow, plat_sys_map,           plat_sys_map_anonymous,
    plat_sys_view,  plat_sys_unview, plat_sys_flush,        plat_sys_unmap,
};

uint32_t plat_sys_error = 0;

int plat_sys_errno_kind(int err) {
  switch (err) {
    case ENOENT: return PLAT_FAILURE_NOT_FOUND;
    // A directory is refused where a file is wanted, as Win32 refuses it:
    // access denied.
    case EACCES:
    case EPERM:
    case EISDIR: return PLAT_FAILURE_ACCESS;
    case EINVAL: return PLAT_FAILURE_INVALID;
    case ENOSPC: return PLAT_FAILURE_NO_SPACE;
    default: return PLAT_FAILURE_OTHER;
  }
}

plat_file_ops plat_ops = {
    plat_sys_open,  plat_sys_close, plat_sys_lseek,         plat_sys_read,
    plat_sys_write, plat_sys_copy,  plat_sys_size,          plat_sys_pread,
    plat_sys_pwrite, plat_sys_grow, plat_sys_map,           plat_sys_map_anonymous,
    plat_sys_view,  plat_sys_unview, plat_sys_flush,        plat_sys_unmap,
};

int plat_open(const char* path, int flags, uint32_t perm) {
  plat_sys_error = 0;
  return plat_ops.open(path, flags, perm);
}

int plat_close(int fd) {
  plat_sys_error = 0;
  return plat_ops.close(fd);
}

int64_t plat_lseek64(int fd, int64_t offset, int origin) {
  plat_sys_error = 0;
  return plat_ops.lseek(fd, offset, origin);
}

int64_t plat_read(int fd, void* buf, size_t len) {
  plat_sys_error = 0;
  return plat_ops.read(fd, buf, len);
}

int64_t plat_write(int fd, const void* buf, size_t len) {
  plat_sys_error = 0;
  return plat_ops.write(fd, buf, len);
}

int plat_io_size(int fd, uint64_t* size) {
  plat_sys_error = 0;
  return plat_ops.size(fd, size);
}

int plat_io_pread(int fd, void* buf, size_t len, uint64_t offset) {
  plat_sys_error = 0;
  return plat_ops.pread(fd, buf, len, offset);
}

int plat_io_pwrite(int fd, const void* buf, size_t len, uint64_t offset) {
  plat_sys_error = 0;
  return plat_ops.pwrite(fd, buf, len, offset);
}

int plat_io_grow(int fd, uint64_t size) {
  plat_sys_error = 0;
  return plat_ops.grow(fd, size);
}

int plat_map_create(int fd, int writable, uint64_t size,
                    plat_map_handle* out) {
  plat_sys_error = 0;
  return plat_ops.map(fd, writable, size, out);
}

int plat_map_create_anonymous(uint64_t size, plat_map_handle* out) {
  plat_sys_error = 0;
  return plat_ops.map_anonymous(size, out);
}

int plat_map_view(plat_map_handle mapping, int writable, uint64_t offset,
                  uint32_t length, void** base) {
  plat_sys_error = 0;
  return plat_ops.view(mapping, writable, offset, length, base);
}

int plat_map_unview(void* base, uint32_t length) {
  plat_sys_error = 0;
  return plat_ops.unview(base, length);
}

int plat_map_flush(void* base, uint32_t length) {
  plat_sys_error = 0;
  return plat_ops.flush(base, length);
}

int plat_map_close_mapping(plat_map_handle mapping) {
  plat_sys_error = 0;
  return plat_ops.unmap(mapping);
}

// The kernel copies for as long as it can.  The first time it cannot, for
// whatever reason, the copy goes on through buf for good, starting with
// the part of this call that the kernel left: a file system or a kind of
// file that the kernel's copy does not serve (EXDEV, ENOSYS, EINVAL,
// EOPNOTSUPP, a pipe, a file opened for appending) then costs one failed
// call, and a real failure shows up again in read or in write, which say
// which side failed.  A file that the kernel reports as ended at once may
// be one whose size the system does not know (those of /proc); one read
// tells.  The first read after the kernel stopped takes only the rest of
// its cap-sized piece, so that every later read starts where it would
// have, had the buffer done the whole copy.
int64_t plat_copy(int in, int out, void* buf, size_t cap, size_t len,
                  uint32_t* flags) {
  *flags &= ~(uint32_t)PLAT_COPY_WRITE_FAILED;
  plat_sys_error = 0;
  size_t done = 0;
  bool ended_at_once = false;
  if (!(*flags & PLAT_COPY_USER_SPACE)) {
    while (done < len) {
      int64_t n = plat_ops.copy(in, out, len - done);
      if (n > 0) {
        done += (size_t)n;
        continue;
      }
      if (n < 0) *flags |= PLAT_COPY_USER_SPACE;
      else if (done > 0) return (int64_t)done;
      else ended_at_once = true;
      break;
    }
    if (done == len) return (int64_t)done;
  }
  while (done < len) {
    size_t piece = cap - done % cap;
    if (piece > len - done) piece = len - done;
    int64_t got = plat_ops.read(in, buf, piece);
    if (got < 0) return -1;
    if (got == 0) break;
    if (ended_at_once) *flags |= PLAT_COPY_USER_SPACE;
    const char* p = (const char*)buf;
    for (int64_t left = got; left > 0;) {
      int64_t put = plat_ops.write(out, p, (size_t)left);
      if (put <= 0) {
        if (put == 0) errno = EIO;  // a write that takes nothing never ends
        *flags |= PLAT_COPY_WRITE_FAILED;
        return -1;
      }
      p += put;
      left -= put;
    }
    done += (size_t)got;
    if ((size_t)got < piece) break;  // the end of the source
  }
  return (int64_t)done;
}
