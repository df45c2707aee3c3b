// The table of file operations through which the platform layer reaches the
// system.  Every call of plat.h's descriptor section, of plat_io.h and of
// plat_map.h (apart from the system information) is a plain function that
// calls the entry of the same name here, and each half of the layer fills
// the table with its own implementations, which already follow the layer's
// convention (-1 with errno).
//
// A test replaces entries to make chosen calls fail, typically wrapping the
// defaults: every failure it injects travels through exactly the code above
// the layer that a real failure would, on every platform.  The program
// itself never changes the table.  One indirect call per operation is the
// whole cost; every operation moves a buffer's worth of bytes or more.
#ifndef XHISTORY_PLATFORM_PLAT_OPS_H_
#define XHISTORY_PLATFORM_PLAT_OPS_H_

#include <stddef.h>
#include <stdint.h>

#include "platform/plat_map.h"

struct plat_file_ops {
  int (*open)(const char* path, int flags, uint32_t perm);
  int (*close)(int fd);
  int64_t (*lseek)(int fd, int64_t offset, int origin);
  int64_t (*read)(int fd, void* buf, size_t len);
  int64_t (*write)(int fd, const void* buf, size_t len);
  // The kernel's copy of up to len bytes between the current positions:
  // the count (0 at the end of the source, or where the kernel will not
  // tell), or -1 with errno; ENOSYS where the system has no such copy.
  // plat_copy falls back to read and write around it.
  int64_t (*copy)(int in, int out, size_t len);
  int (*size)(int fd, uint64_t* size);
  int (*pread)(int fd, void* buf, size_t len, uint64_t offset);
  int (*pwrite)(int fd, const void* buf, size_t len, uint64_t offset);
  int (*grow)(int fd, uint64_t size);
  int (*map)(int fd, int writable, uint64_t size, plat_map_handle* out);
  int (*map_anonymous)(uint64_t size, plat_map_handle* out);
  int (*view)(plat_map_handle mapping, int writable, uint64_t offset,
              uint32_t length, void** base);
  int (*unview)(void* base, uint32_t length);
  int (*flush)(void* base, uint32_t length);
  int (*unmap)(plat_map_handle mapping);
};

// The table in use.  Starts as plat_default_ops.
extern plat_file_ops plat_ops;
// The platform's own implementations.
extern const plat_file_ops plat_default_ops;

#endif  // XHISTORY_PLATFORM_PLAT_OPS_H_
