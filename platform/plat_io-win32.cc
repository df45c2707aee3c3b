// Win32 half of positional I/O: ReadFile and WriteFile with offsets in an
// OVERLAPPED record on a synchronous handle, SetEndOfFile for growing.
#include "platform/plat_io.h"

#include <windows.h>

namespace {

HANDLE handle_of(plat_io_handle h) { return (HANDLE)h; }

// ReadFile and WriteFile take a 32-bit count; pieces of 64 MiB keep each
// call well inside it.
const size_t kMaxTransfer = (size_t)64 << 20;

void set_offset(OVERLAPPED* ov, uint64_t offset) {
  ZeroMemory(ov, sizeof *ov);
  ov->Offset = (DWORD)offset;
  ov->OffsetHigh = (DWORD)(offset >> 32);
}

}  // namespace

int plat_io_open(const char* path, int flags, uint32_t /*mode*/,
                 plat_io_handle* out) {
  *out = 0;
  DWORD access = GENERIC_READ | ((flags & PLAT_IO_WRITE) ? GENERIC_WRITE : 0);
  DWORD disposition = ((flags & PLAT_IO_CREATE) && (flags & PLAT_IO_WRITE))
                          ? OPEN_ALWAYS
                          : OPEN_EXISTING;
  // Without FILE_FLAG_BACKUP_SEMANTICS a directory cannot be opened.
  HANDLE h = CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         /*lpSecurityAttributes=*/nullptr, disposition,
                         FILE_ATTRIBUTE_NORMAL, /*hTemplateFile=*/nullptr);
  if (h == INVALID_HANDLE_VALUE) return -1;
  *out = (plat_io_handle)h;
  return 0;
}

int plat_io_size(plat_io_handle file, uint64_t* size) {
  LARGE_INTEGER li;
  if (!GetFileSizeEx(handle_of(file), &li)) return -1;
  *size = (uint64_t)li.QuadPart;
  return 0;
}

int plat_io_pread(plat_io_handle file, void* buf, size_t len,
                  uint64_t offset) {
  char* p = (char*)buf;
  while (len > 0) {
    DWORD part = (DWORD)(len < kMaxTransfer ? len : kMaxTransfer);
    OVERLAPPED ov;
    set_offset(&ov, offset);
    DWORD got = 0;
    if (!ReadFile(handle_of(file), p, part, &got, &ov) || got == 0) return -1;
    p += got;
    len -= got;
    offset += got;
  }
  return 0;
}

int plat_io_pwrite(plat_io_handle file, const void* buf, size_t len,
                   uint64_t offset) {
  const char* p = (const char*)buf;
  while (len > 0) {
    DWORD part = (DWORD)(len < kMaxTransfer ? len : kMaxTransfer);
    OVERLAPPED ov;
    set_offset(&ov, offset);
    DWORD put = 0;
    if (!WriteFile(handle_of(file), p, part, &put, &ov) || put == 0) return -1;
    p += put;
    len -= put;
    offset += put;
  }
  return 0;
}

int plat_io_grow(plat_io_handle file, uint64_t size) {
  uint64_t now;
  if (plat_io_size(file, &now) != 0) return -1;
  if (now >= size) return 0;
  // Moving the end of file allocates the blocks on NTFS; the new bytes
  // read as zeros.
  LARGE_INTEGER li;
  li.QuadPart = (LONGLONG)size;
  if (!SetFilePointerEx(handle_of(file), li, nullptr, FILE_BEGIN)) return -1;
  return SetEndOfFile(handle_of(file)) ? 0 : -1;
}

int plat_io_close(plat_io_handle file) {
  return CloseHandle(handle_of(file)) ? 0 : -1;
}
