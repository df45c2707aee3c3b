// Win32 half of the mapped files: file-mapping objects over the handle
// beneath a descriptor.
#include "platform/plat_map.h"

#include <windows.h>

#include <errno.h>
#include <io.h>

#include "platform/plat_sys.h"

namespace {

HANDLE handle_of(plat_map_handle h) { return (HANDLE)h; }

int create_mapping(HANDLE file, int writable, uint64_t size,
                   plat_map_handle* out) {
  // A mapping of no bytes over an empty file is refused by the system,
  // with an error of its own that the caller gets to see.
  HANDLE m = CreateFileMappingA(file, /*lpFileMappingAttributes=*/nullptr,
                                writable ? PAGE_READWRITE : PAGE_READONLY,
                                (DWORD)(size >> 32), (DWORD)size,
                                /*lpName=*/nullptr);
  if (!m) return plat_sys_win32_last_failure();
  *out = (plat_map_handle)m;
  return 0;
}

}  // namespace

void plat_map_system_info(uint32_t* granularity, uint32_t* page_size) {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  *granularity = info.dwAllocationGranularity;
  *page_size = info.dwPageSize;
}

int plat_sys_map(int fd, int writable, uint64_t size, plat_map_handle* out) {
  intptr_t h = _get_osfhandle(fd);
  if (h == -1 || h == -2) {
    errno = EBADF;
    return -1;
  }
  return create_mapping((HANDLE)h, writable, size, out);
}

int plat_sys_map_anonymous(uint64_t size, plat_map_handle* out) {
  return create_mapping(INVALID_HANDLE_VALUE, 1, size, out);
}

int plat_sys_view(plat_map_handle mapping, int writable, uint64_t offset,
                  uint32_t length, void** base) {
  void* p = MapViewOfFile(handle_of(mapping),
                          writable ? FILE_MAP_WRITE : FILE_MAP_READ,
                          (DWORD)(offset >> 32), (DWORD)offset, length);
  if (!p) return plat_sys_win32_last_failure();
  *base = p;
  return 0;
}

int plat_sys_unview(void* base, uint32_t /*length*/) {
  return UnmapViewOfFile(base) ? 0 : plat_sys_win32_last_failure();
}

int plat_sys_flush(void* base, uint32_t length) {
  return FlushViewOfFile(base, length) ? 0 : plat_sys_win32_last_failure();
}

int plat_sys_unmap(plat_map_handle mapping) {
  return CloseHandle(handle_of(mapping)) ? 0 : plat_sys_win32_last_failure();
}
