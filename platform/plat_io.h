// Positional file I/O on a descriptor from plat_open: whole-buffer reads and
// writes at 64-bit offsets that leave no shared file position behind, and
// growing a file with its blocks reserved.  Every call returns 0 on success
// and -1 with errno on failure, as the rest of the layer does.
#ifndef XHISTORY_PLATFORM_PLAT_IO_H_
#define XHISTORY_PLATFORM_PLAT_IO_H_

#include <stddef.h>
#include <stdint.h>

int plat_io_size(int fd, uint64_t* size);
// Reads exactly len bytes at offset; reaching the end first is a failure
// (EIO).
int plat_io_pread(int fd, void* buf, size_t len, uint64_t offset);
// Writes all len bytes at offset.
int plat_io_pwrite(int fd, const void* buf, size_t len, uint64_t offset);
// Makes the file at least size bytes long, the new bytes zero, with the
// blocks of [0, size) reserved so that a full disk shows up here and not
// in a later write.  Never shortens the file.
int plat_io_grow(int fd, uint64_t size);

#endif  // XHISTORY_PLATFORM_PLAT_IO_H_
