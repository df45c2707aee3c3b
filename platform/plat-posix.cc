// POSIX half of the platform layer.
#include "platform/plat.h"
#include "platform/plat_sys.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

const bool PLAT_NAMES_FOLD_CASE = false;
const char PLAT_SEPARATOR = '/';
const bool PLAT_FILES_HAVE_PERMISSION_BITS = true;

// ---- Process start-up --------------------------------------------------

int plat_socket_startup() { return 0; }

void plat_set_binary_default_mode() {}

void plat_module_file_name(char* buf, size_t cap) {
  if (cap == 0) return;
  char tmp[PATH_MAX + 1];
  ssize_t n = readlink("/proc/self/exe", tmp, sizeof tmp - 1);
  if (n <= 0) return;
  size_t len = (size_t)n < cap - 1 ? (size_t)n : cap - 1;
  memcpy(buf, tmp, len);
  buf[len] = 0;
}

// The C runtime here validates no parameters, so there is nothing to hook.
void plat_set_invalid_parameter_handler(void (*)()) {}

void plat_install_crash_hooks(void (*on_signal)(int), void (*)()) {
  // A fault that no handler takes ends the process with the signal, which
  // is the POSIX form of an unhandled exception; the signal handler covers
  // the faults that are reported.  SIGBUS is what a view of a mapped file
  // raises once another process has cut the file short: the in-page error
  // that Win32 reports through its exception filter.
  signal(SIGILL, on_signal);
  signal(SIGFPE, on_signal);
  signal(SIGSEGV, on_signal);
  signal(SIGBUS, on_signal);
}

void plat_immediate_exit(int code) { _exit(code); }

void plat_write_all(int fd, const char* buf, size_t len) {
  while (len > 0) {
    ssize_t n = write(fd, buf, len);
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
  return setenv(name, value, 1);
}

bool plat_getcwd(char* buf, size_t cap) { return getcwd(buf, cap) != nullptr; }

bool plat_user_data_dir(char* buf, size_t cap) {
  // XDG's per-user data directory, or its documented default under HOME.
  const char* xdg = getenv("XDG_DATA_HOME");
  if (xdg && xdg[0] == '/') {
    if (strlen(xdg) + 1 > cap) return false;
    strcpy(buf, xdg);
    return true;
  }
  const char* home = getenv("HOME");
  if (!home || home[0] != '/') return false;
  int n = snprintf(buf, cap, "%s/.local/share", home);
  return n > 0 && (size_t)n < cap;
}

int plat_mkdir(const char* path) { return mkdir(path, 0777); }

// ---- Files by name -----------------------------------------------------

// Lexical resolution: the name is joined to the current directory, "."
// components vanish, ".." folds into its parent (never above the root),
// and runs of "/" collapse.  Only "/" separates: a backslash is an
// ordinary character in a POSIX name.
uint32_t plat_full_path(const char* path, char* buf, uint32_t cap) {
  if (!path) return 0;
  size_t plen = strlen(path);
  char cwd[PATH_MAX + 1];
  size_t clen = 0;
  if (path[0] != '/') {
    if (!getcwd(cwd, sizeof cwd)) return 0;
    clen = strlen(cwd);
  }
  // Work buffer: cwd + "/" + path is an upper bound of the result.
  size_t wcap = clen + plen + 3;
  char* out = (char*)malloc(wcap);
  if (!out) return 0;
  size_t o = 0;
  out[o++] = '/';
  bool trailing = plen > 0 && path[plen - 1] == '/';

  // Feeds the components of one source into out.
  auto feed = [&](const char* s, size_t n) {
    size_t i = 0;
    while (i < n) {
      while (i < n && s[i] == '/') ++i;
      size_t start = i;
      while (i < n && s[i] != '/') ++i;
      size_t len = i - start;
      if (len == 0) continue;
      if (len == 1 && s[start] == '.') continue;
      if (len == 2 && s[start] == '.' && s[start + 1] == '.') {
        // Drop the last component, keep the root.
        while (o > 1 && out[o - 1] != '/') --o;
        if (o > 1) --o;
        continue;
      }
      if (o > 1) out[o++] = '/';
      memcpy(out + o, s + start, len);
      o += len;
    }
  };
  if (clen) feed(cwd, clen);
  feed(path, plen);
  if (trailing && o > 1) out[o++] = '/';
  out[o] = 0;

  uint32_t result;
  if (o + 1 > cap) {
    result = (uint32_t)(o + 1);
  } else {
    memcpy(buf, out, o + 1);
    result = (uint32_t)o;
  }
  free(out);
  return result;
}

int plat_stat(const char* path, plat_stat_t* st) {
  struct stat s;
  if (stat(path, &s) != 0) return -1;
  st->dev = (uint64_t)s.st_dev;
  st->mode = (uint32_t)s.st_mode;
  st->nlink = (int32_t)s.st_nlink;
  st->uid = (int32_t)s.st_uid;
  st->gid = (int32_t)s.st_gid;
  st->rdev = (uint64_t)s.st_rdev;
  st->size = (int64_t)s.st_size;
  st->atime = (int64_t)s.st_atime;
  st->mtime = (int64_t)s.st_mtime;
  st->ctime = (int64_t)s.st_ctime;
  st->ino = (uint64_t)s.st_ino;
  return 0;
}

int plat_attr_is_directory(const char* path) {
  struct stat s;
  if (stat(path, &s) != 0) return -1;
  return S_ISDIR(s.st_mode) ? 1 : 0;
}

FILE* plat_fopen(const char* path, const char* mode) {
  FILE* f = fopen(path, mode);
  if (!f) return nullptr;
  int fd = fileno(f);
  if (fd >= 0) {
    // Windows cannot open a directory as a stream; keep that answer here
    // so that size and status checks never read a directory as a file.
    struct stat s;
    if (fstat(fd, &s) == 0 && S_ISDIR(s.st_mode)) {
      fclose(f);
      errno = EISDIR;
      return nullptr;
    }
    int fl = fcntl(fd, F_GETFD);
    if (fl >= 0) fcntl(fd, F_SETFD, fl | FD_CLOEXEC);
  }
  return f;
}

int plat_fseek64(FILE* f, int64_t offset, int origin) {
  return fseeko(f, (off_t)offset, origin);
}

int64_t plat_ftell64(FILE* f) { return (int64_t)ftello(f); }

int plat_same_identity(const char* a, const char* b) {
  struct stat sa, sb;
  if (stat(a, &sa) != 0 || stat(b, &sb) != 0) return 0;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// Every failure here is described by errno.
int plat_failure_kind() { return plat_sys_errno_kind(errno); }

int plat_access(const char* path, int mode) { return access(path, mode); }

int plat_chmod(const char* path, uint32_t mode) {
  return chmod(path, (mode_t)(mode & 07777));
}

int plat_unlink(const char* path) { return unlink(path); }

// ---- Files by descriptor (the defaults of the file-operation table) -----

int plat_sys_open(const char* path, int flags, uint32_t perm) {
  if ((flags & (PLAT_OPEN_CREATE | PLAT_OPEN_TRUNCATE)) &&
      !(flags & PLAT_OPEN_WRITE)) {
    errno = EINVAL;
    return -1;
  }
  int oflags = ((flags & PLAT_OPEN_WRITE) ? O_RDWR : O_RDONLY) | O_CLOEXEC;
  if (flags & PLAT_OPEN_CREATE) oflags |= O_CREAT;
  if (flags & PLAT_OPEN_TRUNCATE) oflags |= O_TRUNC;
  int fd;
  do {
    fd = open(path, oflags, (mode_t)(perm & 0777));
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  // Read-only, a directory opens here; Win32 refuses it, and so does this
  // layer, so that nothing above reads a directory as a file.
  struct stat st;
  int err = 0;
  if (fstat(fd, &st) != 0) err = errno;
  else if (S_ISDIR(st.st_mode)) err = EISDIR;
  if (err) {
    close(fd);
    errno = err;
    return -1;
  }
  return fd;
}

int plat_sys_close(int fd) { return close(fd); }

int64_t plat_sys_lseek(int fd, int64_t offset, int origin) {
  return (int64_t)lseek(fd, (off_t)offset, origin);
}

int64_t plat_sys_read(int fd, void* buf, size_t len) {
  for (;;) {
    ssize_t n = read(fd, buf, len);
    if (n < 0 && errno == EINTR) continue;
    return (int64_t)n;
  }
}

int64_t plat_sys_write(int fd, const void* buf, size_t len) {
  for (;;) {
    ssize_t n = write(fd, buf, len);
    if (n < 0 && errno == EINTR) continue;
    return (int64_t)n;
  }
}

int64_t plat_sys_copy(int in, int out, size_t len) {
  // Calls of at most 1 GiB: some C libraries corrupt data in calls of
  // more than 2 GiB.
  if (len > ((size_t)1 << 30)) len = (size_t)1 << 30;
  for (;;) {
    ssize_t n = copy_file_range(in, /*off_in=*/nullptr, out,
                                /*off_out=*/nullptr, len, /*flags=*/0);
    if (n < 0 && errno == EINTR) continue;
    return (int64_t)n;
  }
}
