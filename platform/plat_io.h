// Positional file I/O: whole-buffer reads and writes at 64-bit offsets that
// leave no shared file position behind, and growing a file with its blocks
// reserved.  A handle is an opaque value, 0 meaning none.  Every call
// returns 0 on success and -1 on failure; nothing here writes a message.
#ifndef XHISTORY_PLATFORM_PLAT_IO_H_
#define XHISTORY_PLATFORM_PLAT_IO_H_

#include <stddef.h>
#include <stdint.h>

typedef intptr_t plat_io_handle;

// Open flags of plat_io_open.
enum {
  PLAT_IO_WRITE = 1,   // read and write; without it read-only
  PLAT_IO_CREATE = 2,  // create a missing file (needs PLAT_IO_WRITE)
};

// Opens path, sharing it for reading and writing with other openers.  mode
// is the POSIX permission of a file that the call creates; Win32 ignores
// it.  A directory is refused on every platform.
int plat_io_open(const char* path, int flags, uint32_t mode,
                 plat_io_handle* out);
int plat_io_size(plat_io_handle file, uint64_t* size);
// Reads exactly len bytes at offset; reaching the end first is a failure.
int plat_io_pread(plat_io_handle file, void* buf, size_t len, uint64_t offset);
// Writes all len bytes at offset.
int plat_io_pwrite(plat_io_handle file, const void* buf, size_t len,
                   uint64_t offset);
// Makes the file at least size bytes long, the new bytes zero, with the
// blocks of [0, size) reserved so that a full disk shows up here and not
// in a later write.  Never shortens the file.
int plat_io_grow(plat_io_handle file, uint64_t size);
int plat_io_close(plat_io_handle file);

#endif  // XHISTORY_PLATFORM_PLAT_IO_H_
