// Inside the platform layer only: the implementations that each half
// defines for the entries of the file-operation table (plat_ops.h), under
// the entries' names.  They follow the layer's convention (-1 with errno).
#ifndef XHISTORY_PLATFORM_PLAT_SYS_H_
#define XHISTORY_PLATFORM_PLAT_SYS_H_

#include <stddef.h>
#include <stdint.h>

#include "platform/plat_map.h"

int plat_sys_open(const char* path, int flags, uint32_t perm);
int plat_sys_close(int fd);
int64_t plat_sys_lseek(int fd, int64_t offset, int origin);
int64_t plat_sys_read(int fd, void* buf, size_t len);
int64_t plat_sys_write(int fd, const void* buf, size_t len);
int64_t plat_sys_copy(int in, int out, size_t len);
int plat_sys_size(int fd, uint64_t* size);
int plat_sys_pread(int fd, void* buf, size_t len, uint64_t offset);
int plat_sys_pwrite(int fd, const void* buf, size_t len, uint64_t offset);
int plat_sys_grow(int fd, uint64_t size);
int plat_sys_map(int fd, int writable, uint64_t size, plat_map_handle* out);
int plat_sys_map_anonymous(uint64_t size, plat_map_handle* out);
int plat_sys_view(plat_map_handle mapping, int writable, uint64_t offset,
                  uint32_t length, void** base);
int plat_sys_unview(void* base, uint32_t length);
int plat_sys_flush(void* base, uint32_t length);
int plat_sys_unmap(plat_map_handle mapping);

// The system's error code of the last failure of a call through the
// table, 0 when the failure was not the system's (or nothing failed).
// plat_ops.cc clears it before each call; the Win32 half sets it.
extern uint32_t plat_sys_error;

// The kind (PLAT_FAILURE_...) of a failure that errno alone describes.
int plat_sys_errno_kind(int err);

// The Win32 half's translation of a system error code that no call of the
// C runtime reported: records error in plat_sys_error, sets errno as the
// runtime would for it, and returns -1.
int plat_sys_win32_failure(uint32_t error);
// The same for the calling thread's last error.
int plat_sys_win32_last_failure();

#endif  // XHISTORY_PLATFORM_PLAT_SYS_H_
