// Win32 half of positional I/O: ReadFile and WriteFile with offsets in an
// OVERLAPPED record on the synchronous handle beneath a descriptor,
// SetEndOfFile for growing.
#include "platform/plat_io.h"

#include <windows.h>

#include <errno.h>
#include <io.h>

#include "platform/plat_sys.h"

namespace {

// ReadFile and WriteFile take a 32-bit count; pieces of 64 MiB keep each
// call well inside it.
const size_t kMaxTransfer = (size_t)64 << 20;

// The handle beneath fd; false (errno EBADF) when fd is not open.
bool handle_of(int fd, HANDLE* h) {
  intptr_t v = _get_osfhandle(fd);
  if (v == -1 || v == -2) {
    errno = EBADF;
    return false;
  }
  *h = (HANDLE)v;
  return true;
}

void set_offset(OVERLAPPED* ov, uint64_t offset) {
  ZeroMemory(ov, sizeof *ov);
  ov->Offset = (DWORD)offset;
  ov->OffsetHigh = (DWORD)(offset >> 32);
}

}  // namespace

int plat_sys_size(int fd, uint64_t* size) {
  HANDLE h;
  if (!handle_of(fd, &h)) return -1;
  LARGE_INTEGER li;
  if (!GetFileSizeEx(h, &li)) return plat_sys_win32_last_failure();
  *size = (uint64_t)li.QuadPart;
  return 0;
}

int plat_sys_pread(int fd, void* buf, size_t len, uint64_t offset) {
  HANDLE h;
  if (!handle_of(fd, &h)) return -1;
  char* p = (char*)buf;
  while (len > 0) {
    DWORD part = (DWORD)(len < kMaxTransfer ? len : kMaxTransfer);
    OVERLAPPED ov;
    set_offset(&ov, offset);
    DWORD got = 0;
    if (!ReadFile(h, p, part, &got, &ov)) {
      // A read at or past the end fails with an error of its own here.
      DWORD e = GetLastError();
      if (e != ERROR_HANDLE_EOF) return plat_sys_win32_failure(e);
      got = 0;
    }
    if (got == 0) {
      errno = EIO;  // the file ended before the bytes asked for
      return -1;
    }
    p += got;
    len -= got;
    offset += got;
  }
  return 0;
}

int plat_sys_pwrite(int fd, const void* buf, size_t len, uint64_t offset) {
  HANDLE h;
  if (!handle_of(fd, &h)) return -1;
  const char* p = (const char*)buf;
  while (len > 0) {
    DWORD part = (DWORD)(len < kMaxTransfer ? len : kMaxTransfer);
    OVERLAPPED ov;
    set_offset(&ov, offset);
    DWORD put = 0;
    if (!WriteFile(h, p, part, &put, &ov)) return plat_sys_win32_last_failure();
    if (put == 0) {
      errno = EIO;
      return -1;
    }
    p += put;
    len -= put;
    offset += put;
  }
  return 0;
}

int plat_sys_grow(int fd, uint64_t size) {
  HANDLE h;
  if (!handle_of(fd, &h)) return -1;
  LARGE_INTEGER now;
  if (!GetFileSizeEx(h, &now)) return plat_sys_win32_last_failure();
  if ((uint64_t)now.QuadPart >= size) return 0;
  // Moving the end of file allocates the blocks on NTFS; the new bytes
  // read as zeros.
  LARGE_INTEGER li;
  li.QuadPart = (LONGLONG)size;
  if (!SetFilePointerEx(h, li, nullptr, FILE_BEGIN) || !SetEndOfFile(h))
    return plat_sys_win32_last_failure();
  return 0;
}
