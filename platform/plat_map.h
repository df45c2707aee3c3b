// Memory-mapped files: the system half.  A mapping handle is an opaque
// value, 0 meaning none; it stands for the system's mapping object over a
// file (or over anonymous memory) at a fixed size, and every view made from
// one mapping shows the same bytes.  The file itself is a descriptor from
// plat_open.
//
// Every call returns 0 on success and -1 with errno on failure, as the rest
// of the layer does; the mapped-file module turns errno into its own codes.
#ifndef XHISTORY_PLATFORM_PLAT_MAP_H_
#define XHISTORY_PLATFORM_PLAT_MAP_H_

#include <stdint.h>

typedef intptr_t plat_map_handle;

// The allocation granularity (view offsets are multiples of it) and the
// page size.
void plat_map_system_info(uint32_t* granularity, uint32_t* page_size);

// A mapping of exactly size bytes over the file open as fd.  A mapping
// larger than the file extends the file to that size, with its blocks
// reserved, so that a full disk shows up here and never as a fault on a
// later store.  A size of 0 is refused, since a mapping of no bytes cannot
// exist, with the system's own error for it (EINVAL on POSIX, the invalid
// file error over an empty file on Win32).  The mapping does not hold fd:
// either may be closed first.
int plat_map_create(int fd, int writable, uint64_t size, plat_map_handle* out);
// A writable mapping of size bytes that no named file backs.
int plat_map_create_anonymous(uint64_t size, plat_map_handle* out);

// Maps length bytes of mapping at offset (a multiple of the granularity).
int plat_map_view(plat_map_handle mapping, int writable, uint64_t offset,
                  uint32_t length, void** base);
int plat_map_unview(void* base, uint32_t length);
// Writes a view's bytes back to the file.
int plat_map_flush(void* base, uint32_t length);

int plat_map_close_mapping(plat_map_handle mapping);

#endif  // XHISTORY_PLATFORM_PLAT_MAP_H_
