// Memory-mapped files: the system half.  A file handle and a mapping handle
// are opaque values, 0 meaning none; the mapping stands for the system's
// mapping object over a file (or over anonymous memory) at a fixed size, and
// every view made from one mapping shows the same bytes.
//
// Every call returns a result code of the mapped-file module: 0 success,
// 1 other system failure, 2 invalid parameter, 3 disk full, 4 access denied
// or sharing violation, 5 file not found.
#ifndef XHISTORY_PLATFORM_PLAT_MAP_H_
#define XHISTORY_PLATFORM_PLAT_MAP_H_

#include <stdint.h>

typedef intptr_t plat_map_handle;

// Dispositions of plat_map_open_file.
enum {
  PLAT_MAP_OPEN_EXISTING = 0,    // must exist
  PLAT_MAP_OPEN_ALWAYS = 1,      // created when missing
  PLAT_MAP_TRUNCATE_EXISTING = 2,  // must exist, emptied
  PLAT_MAP_CREATE_ALWAYS = 3,    // a new empty file replaces any old one
};

// The allocation granularity (view offsets are multiples of it) and the
// page size.
void plat_map_system_info(uint32_t* granularity, uint32_t* page_size);

// Opens path for reading, or for reading and writing.  mode is the POSIX
// permission of a file that the call creates; Win32 ignores it.
int plat_map_open_file(const char* path, int writable, int disposition,
                       uint32_t mode, plat_map_handle* out);
int plat_map_file_size(plat_map_handle file, uint64_t* size);

// A mapping of exactly size bytes over file.  A mapping larger than the
// file extends the file to that size, with its blocks reserved, so that a
// full disk shows up here and never as a fault on a later store.  A size
// of 0 is refused with 2: a mapping of no bytes cannot exist.
int plat_map_create(plat_map_handle file, int writable, uint64_t size,
                    plat_map_handle* out);
// A writable mapping of size bytes that no named file backs.
int plat_map_create_anonymous(uint64_t size, plat_map_handle* out);

// Maps length bytes of mapping at offset (a multiple of the granularity).
int plat_map_view(plat_map_handle mapping, int writable, uint64_t offset,
                  uint32_t length, void** base);
int plat_map_unview(void* base, uint32_t length);
// Writes a view's bytes back to the file.
int plat_map_flush(void* base, uint32_t length);

int plat_map_close_file(plat_map_handle file);
int plat_map_close_mapping(plat_map_handle mapping);

#endif  // XHISTORY_PLATFORM_PLAT_MAP_H_
