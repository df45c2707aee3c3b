// Win32 half of the platform layer.
#include "platform/plat.h"
#include "platform/plat_sys.h"

#include <winsock2.h>
#include <windows.h>
#include <shlobj.h>

#include <direct.h>
#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>

const bool PLAT_NAMES_FOLD_CASE = true;
const char PLAT_SEPARATOR = '\\';
const bool PLAT_FILES_HAVE_PERMISSION_BITS = false;

// ---- System errors -------------------------------------------------------

namespace {

// The C runtime's documented translation of system error codes into errno
// (its _dosmaperr, which it does not export): the codes listed, then the
// ranges below; everything else is EINVAL.  The runtime's own calls set
// errno this way themselves.
struct errno_entry {
  uint16_t error;
  uint8_t errno_value;
};
const errno_entry kRuntimeErrno[] = {
    {ERROR_INVALID_FUNCTION, EINVAL},       {ERROR_FILE_NOT_FOUND, ENOENT},
    {ERROR_PATH_NOT_FOUND, ENOENT},         {ERROR_TOO_MANY_OPEN_FILES, EMFILE},
    {ERROR_ACCESS_DENIED, EACCES},          {ERROR_INVALID_HANDLE, EBADF},
    {ERROR_ARENA_TRASHED, ENOMEM},          {ERROR_NOT_ENOUGH_MEMORY, ENOMEM},
    {ERROR_INVALID_BLOCK, ENOMEM},          {ERROR_BAD_ENVIRONMENT, E2BIG},
    {ERROR_BAD_FORMAT, ENOEXEC},            {ERROR_INVALID_ACCESS, EINVAL},
    {ERROR_INVALID_DATA, EINVAL},           {ERROR_INVALID_DRIVE, ENOENT},
    {ERROR_CURRENT_DIRECTORY, EACCES},      {ERROR_NOT_SAME_DEVICE, EXDEV},
    {ERROR_NO_MORE_FILES, ENOENT},          {ERROR_LOCK_VIOLATION, EACCES},
    {ERROR_BAD_NETPATH, ENOENT},            {ERROR_NETWORK_ACCESS_DENIED, EACCES},
    {ERROR_BAD_NET_NAME, ENOENT},           {ERROR_FILE_EXISTS, EEXIST},
    {ERROR_CANNOT_MAKE, EACCES},            {ERROR_FAIL_I24, EACCES},
    {ERROR_INVALID_PARAMETER, EINVAL},      {ERROR_NO_PROC_SLOTS, EAGAIN},
    {ERROR_DRIVE_LOCKED, EACCES},           {ERROR_BROKEN_PIPE, EPIPE},
    {ERROR_DISK_FULL, ENOSPC},              {ERROR_INVALID_TARGET_HANDLE, EBADF},
    {ERROR_WAIT_NO_CHILDREN, ECHILD},       {ERROR_CHILD_NOT_COMPLETE, ECHILD},
    {ERROR_DIRECT_ACCESS_HANDLE, EBADF},    {ERROR_NEGATIVE_SEEK, EINVAL},
    {ERROR_SEEK_ON_DEVICE, EACCES},         {ERROR_DIR_NOT_EMPTY, ENOTEMPTY},
    {ERROR_NOT_LOCKED, EACCES},             {ERROR_BAD_PATHNAME, ENOENT},
    {ERROR_MAX_THRDS_REACHED, EAGAIN},      {ERROR_LOCK_FAILED, EACCES},
    {ERROR_ALREADY_EXISTS, EEXIST},         {ERROR_FILENAME_EXCED_RANGE, ENOENT},
    {ERROR_NESTING_NOT_ALLOWED, EAGAIN},    {ERROR_NOT_ENOUGH_QUOTA, ENOMEM},
};

int runtime_errno(uint32_t error) {
  for (const errno_entry& e : kRuntimeErrno)
    if (e.error == error) return e.errno_value;
  // From write protect (19) to sharing buffer exceeded (36).
  if (error >= ERROR_WRITE_PROTECT && error <= ERROR_SHARING_BUFFER_EXCEEDED)
    return EACCES;
  // The errors of loading an executable image.
  if (error >= ERROR_INVALID_STARTING_CODESEG &&
      error <= ERROR_INFLOOP_IN_RELOC_CHAIN)
    return ENOEXEC;
  return EINVAL;
}

}  // namespace

int plat_sys_win32_failure(uint32_t error) {
  plat_sys_error = error;
  errno = runtime_errno(error);
  return -1;
}

// The mapped files answer with five kinds of failure, and they take them
// from the system's code, not from errno: the runtime folds a missing
// directory, a bad drive and a bad name into ENOENT, a lock violation
// into EACCES, and those are none of the kinds here.
int plat_failure_kind() {
  switch (plat_sys_error) {
    case 0: return plat_sys_errno_kind(errno);
    case ERROR_FILE_NOT_FOUND: return PLAT_FAILURE_NOT_FOUND;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return PLAT_FAILURE_ACCESS;
    case ERROR_INVALID_PARAMETER: return PLAT_FAILURE_INVALID;
    case ERROR_DISK_FULL: return PLAT_FAILURE_NO_SPACE;
    default: return PLAT_FAILURE_OTHER;
  }
}

int plat_sys_win32_last_failure() {
  return plat_sys_win32_failure(GetLastError());
}

// True when path names a directory: the system refuses to open one as a
// file with access denied, which this layer reports as EISDIR.
static bool is_directory(const char* path) {
  DWORD a = GetFileAttributesA(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

// ---- Process start-up --------------------------------------------------

int plat_socket_startup() {
  static WSADATA data;
  return WSAStartup(0x0101, &data);
}

void plat_set_binary_default_mode() { _fmode = _O_BINARY; }

void plat_module_file_name(char* buf, size_t cap) {
  if (cap == 0) return;
  char tmp[261] = {0};
  DWORD n = GetModuleFileNameA(/*hModule=*/nullptr, tmp, sizeof tmp - 1);
  if (n == 0) return;
  size_t len = n < cap - 1 ? n : cap - 1;
  memcpy(buf, tmp, len);
  buf[len] = 0;
}

static void (*g_invalid_parameter)() = nullptr;

static void invalid_parameter_trampoline(const wchar_t*, const wchar_t*,
                                         const wchar_t*, unsigned int,
                                         uintptr_t) {
  if (g_invalid_parameter) g_invalid_parameter();
}

void plat_set_invalid_parameter_handler(void (*handler)()) {
  g_invalid_parameter = handler;
  _set_invalid_parameter_handler(invalid_parameter_trampoline);
}

static void (*g_on_unhandled)() = nullptr;
static LPTOP_LEVEL_EXCEPTION_FILTER g_previous_filter = nullptr;

// The runtime's own filter is the one that turns access violations and
// the like into signals; it runs first so that a signal handler reports a
// fault as it does everywhere else.  Only a fault that it leaves alone is
// reported as unhandled.
static LONG WINAPI unhandled_filter(EXCEPTION_POINTERS* info) {
  if (g_previous_filter) {
    LONG r = g_previous_filter(info);
    if (r != EXCEPTION_CONTINUE_SEARCH) return r;
  }
  if (g_on_unhandled) g_on_unhandled();
  return EXCEPTION_CONTINUE_SEARCH;
}

void plat_install_crash_hooks(void (*on_signal)(int), void (*on_unhandled)()) {
  signal(SIGILL, on_signal);
  signal(SIGFPE, on_signal);
  signal(SIGSEGV, on_signal);
  g_on_unhandled = on_unhandled;
  g_previous_filter = SetUnhandledExceptionFilter(unhandled_filter);
}

void plat_immediate_exit(int code) { _exit(code); }

void plat_write_all(int fd, const char* buf, size_t len) {
  while (len > 0) {
    unsigned chunk = len > 0x10000 ? 0x10000u : (unsigned)len;
    int n = _write(fd, buf, chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;
    }
    buf += n;
    len -= (size_t)n;
  }
}

// ---- Environment and directories ---------------------------------------

const char* plat_getenv(const char* name) { return getenv(name); }

int plat_setenv(const char* name, const char* value) {
  // _putenv copies the string it is given (the CRT keeps its own copy).
  size_t n = strlen(name) + strlen(value) + 2;
  char* s = (char*)malloc(n);
  if (!s) return -1;
  snprintf(s, n, "%s=%s", name, value);
  int r = _putenv(s);
  SetEnvironmentVariableA(name, value);
  free(s);
  return r;
}

bool plat_getcwd(char* buf, size_t cap) {
  return _getcwd(buf, (int)cap) != nullptr;
}

bool plat_user_data_dir(char* buf, size_t cap) {
  char tmp[MAX_PATH + 1] = {0};
  if (SHGetFolderPathA(/*hwnd=*/nullptr, CSIDL_APPDATA, /*hToken=*/nullptr,
                       /*dwFlags=*/0, tmp) != S_OK)
    return false;
  if (strlen(tmp) + 1 > cap) return false;
  strcpy(buf, tmp);
  return true;
}

int plat_mkdir(const char* path) { return _mkdir(path); }

// ---- Files by name -----------------------------------------------------

uint32_t plat_full_path(const char* path, char* buf, uint32_t cap) {
  if (!path) return 0;
  return GetFullPathNameA(path, cap, buf, /*lpFilePart=*/nullptr);
}

int plat_stat(const char* path, plat_stat_t* st) {
  struct __stat64 s;
  if (_stat64(path, &s) != 0) return -1;
  st->dev = (uint32_t)s.st_dev;
  st->mode = (uint32_t)s.st_mode;
  st->nlink = (int32_t)s.st_nlink;
  st->uid = (int32_t)s.st_uid;
  st->gid = (int32_t)s.st_gid;
  st->rdev = (uint32_t)s.st_rdev;
  st->size = (int64_t)s.st_size;
  st->atime = (int64_t)s.st_atime;
  st->mtime = (int64_t)s.st_mtime;
  st->ctime = (int64_t)s.st_ctime;
  st->ino = (uint16_t)s.st_ino;
  return 0;
}

int plat_attr_is_directory(const char* path) {
  DWORD a = GetFileAttributesA(path);
  if (a == INVALID_FILE_ATTRIBUTES) return -1;
  return (a & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
}

FILE* plat_fopen(const char* path, const char* mode) {
  FILE* f = fopen(path, mode);
  if (!f) {
    if (errno == EACCES && is_directory(path)) errno = EISDIR;
    return nullptr;
  }
  int fd = _fileno(f);
  if (fd >= 0) {
    intptr_t h = _get_osfhandle(fd);
    if (h != -1 && h != -2)
      SetHandleInformation((HANDLE)h, HANDLE_FLAG_INHERIT, 0);
  }
  return f;
}

int plat_fseek64(FILE* f, int64_t offset, int origin) {
  return _fseeki64(f, offset, origin);
}

int64_t plat_ftell64(FILE* f) { return _ftelli64(f); }

static bool file_identity(const char* path, BY_HANDLE_FILE_INFORMATION* info) {
  HANDLE h = CreateFileA(path, /*dwDesiredAccess=*/0,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         /*lpSecurityAttributes=*/nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, /*hTemplateFile=*/nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  BOOL ok = GetFileInformationByHandle(h, info);
  CloseHandle(h);
  return ok != 0;
}

int plat_same_identity(const char* a, const char* b) {
  BY_HANDLE_FILE_INFORMATION ia, ib;
  if (!file_identity(a, &ia) || !file_identity(b, &ib)) return 0;
  return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
         ia.nFileIndexHigh == ib.nFileIndexHigh &&
         ia.nFileIndexLow == ib.nFileIndexLow;
}

int plat_access(const char* path, int mode) { return _access(path, mode); }

// Only owner write means anything here: it clears or sets the read-only
// attribute.
int plat_chmod(const char* path, uint32_t mode) {
  int p = _S_IREAD;
  if (mode & 0200) p |= _S_IWRITE;
  return _chmod(path, p);
}

int plat_unlink(const char* path) { return _unlink(path); }

// ---- Files by descriptor (the defaults of the file-operation table) -----
//
// A descriptor is the C runtime's, so that the stream calls are the
// runtime's own, and positional I/O and mappings reach the handle beneath
// it.

// The runtime opens the file itself, so that a failure carries the errno
// that the runtime gives, and the system's code is kept for the kinds of
// failure.
int plat_sys_open(const char* path, int flags, uint32_t perm) {
  if ((flags & (PLAT_OPEN_CREATE | PLAT_OPEN_TRUNCATE)) &&
      !(flags & PLAT_OPEN_WRITE)) {
    errno = EINVAL;
    return -1;
  }
  // Not inherited, untranslated; creating and truncating give the four
  // dispositions from "must exist" to "always new".
  int oflag = _O_BINARY | _O_NOINHERIT |
              ((flags & PLAT_OPEN_WRITE) ? _O_RDWR : _O_RDONLY);
  if (flags & PLAT_OPEN_CREATE) oflag |= _O_CREAT;
  if (flags & PLAT_OPEN_TRUNCATE) oflag |= _O_TRUNC;
  // Only owner write means anything here: a file created without it gets
  // the read-only attribute.
  int pmode = _S_IREAD | ((perm & 0200) ? _S_IWRITE : 0);
  _doserrno = 0;
  // Shared for reading and writing with other openers.
  int fd = _sopen(path, oflag, _SH_DENYNO, pmode);
  if (fd < 0) {
    plat_sys_error = (uint32_t)_doserrno;
    if (errno == EACCES && is_directory(path)) errno = EISDIR;
    return -1;
  }
  return fd;
}

int plat_sys_close(int fd) { return _close(fd); }

int64_t plat_sys_lseek(int fd, int64_t offset, int origin) {
  return _lseeki64(fd, offset, origin);
}

int64_t plat_sys_read(int fd, void* buf, size_t len) {
  unsigned n = len > 0x40000000 ? 0x40000000u : (unsigned)len;
  return _read(fd, buf, n);
}

int64_t plat_sys_write(int fd, const void* buf, size_t len) {
  unsigned n = len > 0x40000000 ? 0x40000000u : (unsigned)len;
  return _write(fd, buf, n);
}

// The kernel offers no copy between two open files; plat_copy reads and
// writes.
int64_t plat_sys_copy(int, int, size_t) {
  errno = ENOSYS;
  return -1;
}
