// Win32 half of the mapped files: file handles and file-mapping objects.
#include "platform/plat_map.h"

#include <windows.h>

namespace {

int code_of(DWORD err) {
  switch (err) {
    case ERROR_FILE_NOT_FOUND: return 5;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return 4;
    case ERROR_INVALID_PARAMETER: return 2;
    case ERROR_DISK_FULL: return 3;
    default: return 1;
  }
}

int last_code() { return code_of(GetLastError()); }

HANDLE handle_of(plat_map_handle h) { return (HANDLE)h; }

}  // namespace

void plat_map_system_info(uint32_t* granularity, uint32_t* page_size) {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  *granularity = info.dwAllocationGranularity;
  *page_size = info.dwPageSize;
}

int plat_map_open_file(const char* path, int writable, int disposition,
                       uint32_t /*mode*/, plat_map_handle* out) {
  static const DWORD kDisposition[] = {OPEN_EXISTING, OPEN_ALWAYS,
                                       TRUNCATE_EXISTING, CREATE_ALWAYS};
  DWORD access = GENERIC_READ | (writable ? GENERIC_WRITE : 0);
  HANDLE h = CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         /*lpSecurityAttributes=*/nullptr,
                         kDisposition[disposition & 3], FILE_ATTRIBUTE_NORMAL,
                         /*hTemplateFile=*/nullptr);
  if (h == INVALID_HANDLE_VALUE) return last_code();
  *out = (plat_map_handle)h;
  return 0;
}

int plat_map_file_size(plat_map_handle file, uint64_t* size) {
  LARGE_INTEGER li;
  if (!GetFileSizeEx(handle_of(file), &li)) return last_code();
  *size = (uint64_t)li.QuadPart;
  return 0;
}

static int create_mapping(HANDLE file, int writable, uint64_t size,
                          plat_map_handle* out) {
  // The system refuses a mapping of no bytes with an error of its own;
  // callers see the one code for it on every platform.
  if (size == 0) return 2;
  HANDLE m = CreateFileMappingA(file, /*lpFileMappingAttributes=*/nullptr,
                                writable ? PAGE_READWRITE : PAGE_READONLY,
                                (DWORD)(size >> 32), (DWORD)size,
                                /*lpName=*/nullptr);
  if (!m) return last_code();
  *out = (plat_map_handle)m;
  return 0;
}

int plat_map_create(plat_map_handle file, int writable, uint64_t size,
                    plat_map_handle* out) {
  return create_mapping(handle_of(file), writable, size, out);
}

int plat_map_create_anonymous(uint64_t size, plat_map_handle* out) {
  return create_mapping(INVALID_HANDLE_VALUE, 1, size, out);
}

int plat_map_view(plat_map_handle mapping, int writable, uint64_t offset,
                  uint32_t length, void** base) {
  void* p = MapViewOfFile(handle_of(mapping),
                          writable ? FILE_MAP_WRITE : FILE_MAP_READ,
                          (DWORD)(offset >> 32), (DWORD)offset, length);
  if (!p) return last_code();
  *base = p;
  return 0;
}

int plat_map_unview(void* base, uint32_t /*length*/) {
  return UnmapViewOfFile(base) ? 0 : last_code();
}

int plat_map_flush(void* base, uint32_t length) {
  return FlushViewOfFile(base, length) ? 0 : last_code();
}

int plat_map_close_file(plat_map_handle file) {
  return CloseHandle(handle_of(file)) ? 0 : last_code();
}

int plat_map_close_mapping(plat_map_handle mapping) {
  return CloseHandle(handle_of(mapping)) ? 0 : last_code();
}
