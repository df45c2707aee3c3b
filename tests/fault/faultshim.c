/* A preloaded library that makes one file operation fail on purpose.
 *
 *   XH_FAULT=OP:N        fail the Nth call of OP (1-based), once
 *   XH_FAULT_DIR=DIR     only files whose name begins with DIR count
 *   XH_FAULT_ERRNO=E     the errno of the failure (default EIO)
 *   XH_FAULT_LOG=FILE    append "OP N" for every counted call
 *
 * OP is one of open, lseek, read, write, pread, pwrite, mmap, grow
 * (ftruncate and posix_fallocate), msync, munmap, close.  Only descriptors
 * opened under DIR are counted, so the runtime's own files never fail. */
/* Both the plain and the 64-bit names are defined here, so the headers
 * must not rename one into the other. */
#undef _FILE_OFFSET_BITS
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/types.h>
#include <unistd.h>

enum { MAX_FD = 4096, MAX_MAPS = 4096 };
static unsigned char g_tracked[MAX_FD];
static void* g_maps[MAX_MAPS];
static int g_counts[16];

static const char* const kOps[] = {"open",  "lseek", "read", "write",
                                   "pread", "pwrite", "mmap", "grow",
                                   "msync", "munmap", "close", NULL};

static int op_index(const char* name) {
  for (int i = 0; kOps[i]; ++i)
    if (strcmp(kOps[i], name) == 0) return i;
  return -1;
}

/* 1 when this call is the one to fail. */
static int should_fail(const char* op) {
  int i = op_index(op);
  int n = ++g_counts[i];
  const char* log = getenv("XH_FAULT_LOG");
  if (log && *log) {
    FILE* f = fopen(log, "a");
    if (f) {
      fprintf(f, "%s %d\n", op, n);
      fclose(f);
    }
  }
  const char* spec = getenv("XH_FAULT");
  if (!spec) return 0;
  const char* colon = strchr(spec, ':');
  if (!colon || (size_t)(colon - spec) != strlen(op) ||
      strncmp(spec, op, strlen(op)) != 0)
    return 0;
  if (atoi(colon + 1) != n) return 0;
  const char* e = getenv("XH_FAULT_ERRNO");
  errno = e && *e ? atoi(e) : EIO;
  return 1;
}

static int under_dir(const char* path) {
  const char* dir = getenv("XH_FAULT_DIR");
  return path && dir && *dir && strncmp(path, dir, strlen(dir)) == 0;
}

static int tracked(int fd) { return fd >= 0 && fd < MAX_FD && g_tracked[fd]; }

#define REAL(name, ret, args)   \
  static ret(*real_##name) args; \
  if (!real_##name) real_##name = (ret(*) args)dlsym(RTLD_NEXT, #name)

static int do_open(const char* name, const char* path, int flags, mode_t mode) {
  typedef int (*fn)(const char*, int, ...);
  fn real = (fn)dlsym(RTLD_NEXT, name);
  int mine = under_dir(path);
  if (mine && should_fail("open")) return -1;
  int fd = real(path, flags, mode);
  if (mine && fd >= 0 && fd < MAX_FD) g_tracked[fd] = 1;
  return fd;
}

int open(const char* path, int flags, ...) {
  va_list ap;
  va_start(ap, flags);
  mode_t mode = (flags & O_CREAT) ? (mode_t)va_arg(ap, int) : 0;
  va_end(ap);
  return do_open("open", path, flags, mode);
}

int open64(const char* path, int flags, ...) {
  va_list ap;
  va_start(ap, flags);
  mode_t mode = (flags & O_CREAT) ? (mode_t)va_arg(ap, int) : 0;
  va_end(ap);
  return do_open("open64", path, flags, mode);
}

off_t lseek64(int fd, off_t off, int whence) {
  REAL(lseek64, off_t, (int, off_t, int));
  if (tracked(fd) && should_fail("lseek")) return -1;
  return real_lseek64(fd, off, whence);
}

off_t lseek(int fd, off_t off, int whence) { return lseek64(fd, off, whence); }

ssize_t read(int fd, void* buf, size_t n) {
  REAL(read, ssize_t, (int, void*, size_t));
  if (tracked(fd) && should_fail("read")) return -1;
  return real_read(fd, buf, n);
}

ssize_t write(int fd, const void* buf, size_t n) {
  REAL(write, ssize_t, (int, const void*, size_t));
  if (tracked(fd) && should_fail("write")) return -1;
  return real_write(fd, buf, n);
}

ssize_t pread64(int fd, void* buf, size_t n, off_t off) {
  REAL(pread64, ssize_t, (int, void*, size_t, off_t));
  if (tracked(fd) && should_fail("pread")) return -1;
  return real_pread64(fd, buf, n, off);
}

ssize_t pread(int fd, void* buf, size_t n, off_t off) { return pread64(fd, buf, n, off); }

ssize_t pwrite64(int fd, const void* buf, size_t n, off_t off) {
  REAL(pwrite64, ssize_t, (int, const void*, size_t, off_t));
  if (tracked(fd) && should_fail("pwrite")) return -1;
  return real_pwrite64(fd, buf, n, off);
}

ssize_t pwrite(int fd, const void* buf, size_t n, off_t off) {
  return pwrite64(fd, buf, n, off);
}

static void remember_map(void* p) {
  for (int i = 0; i < MAX_MAPS; ++i)
    if (!g_maps[i]) {
      g_maps[i] = p;
      return;
    }
}

static int forget_map(void* p) {
  for (int i = 0; i < MAX_MAPS; ++i)
    if (g_maps[i] == p) {
      g_maps[i] = NULL;
      return 1;
    }
  return 0;
}

void* mmap64(void* addr, size_t len, int prot, int flags, int fd, off_t off) {
  REAL(mmap64, void*, (void*, size_t, int, int, int, off_t));
  int mine = tracked(fd);
  if (mine && should_fail("mmap")) return MAP_FAILED;
  void* p = real_mmap64(addr, len, prot, flags, fd, off);
  if (mine && p != MAP_FAILED) remember_map(p);
  return p;
}

void* mmap(void* addr, size_t len, int prot, int flags, int fd, off_t off) {
  return mmap64(addr, len, prot, flags, fd, off);
}

int munmap(void* addr, size_t len) {
  REAL(munmap, int, (void*, size_t));
  if (forget_map(addr) && should_fail("munmap")) {
    remember_map(addr);
    return -1;
  }
  return real_munmap(addr, len);
}

int msync(void* addr, size_t len, int flags) {
  REAL(msync, int, (void*, size_t, int));
  int mine = 0;
  for (int i = 0; i < MAX_MAPS; ++i)
    if (g_maps[i] && (char*)addr >= (char*)g_maps[i] &&
        (char*)addr < (char*)g_maps[i] + (1 << 30))
      mine = 1;
  if (mine && should_fail("msync")) return -1;
  return real_msync(addr, len, flags);
}

int ftruncate64(int fd, off_t len) {
  REAL(ftruncate64, int, (int, off_t));
  if (tracked(fd) && should_fail("grow")) return -1;
  return real_ftruncate64(fd, len);
}

int ftruncate(int fd, off_t len) { return ftruncate64(fd, len); }

int posix_fallocate64(int fd, off_t off, off_t len) {
  REAL(posix_fallocate64, int, (int, off_t, off_t));
  if (tracked(fd) && should_fail("grow")) return errno;
  return real_posix_fallocate64(fd, off, len);
}

int posix_fallocate(int fd, off_t off, off_t len) {
  return posix_fallocate64(fd, off, len);
}

int fallocate64(int fd, int mode, off_t off, off_t len) {
  REAL(fallocate64, int, (int, int, off_t, off_t));
  if (tracked(fd) && should_fail("grow")) return -1;
  return real_fallocate64(fd, mode, off, len);
}

int fallocate(int fd, int mode, off_t off, off_t len) {
  return fallocate64(fd, mode, off, len);
}

/* A duplicate of a counted descriptor is counted too (mappings keep their
 * own descriptor). */
static int track_copy(int from, int to) {
  if (tracked(from) && to >= 0 && to < MAX_FD) g_tracked[to] = 1;
  return to;
}

/* fcntl under either name: the 64-bit-offset build calls fcntl64. */
static int forward_fcntl(const char* name, int fd, int cmd, long arg) {
  int (*real)(int, int, ...) = (int (*)(int, int, ...))dlsym(RTLD_NEXT, name);
  int r = real(fd, cmd, arg);
  if (cmd == F_DUPFD || cmd == F_DUPFD_CLOEXEC) track_copy(fd, r);
  return r;
}

int fcntl(int fd, int cmd, ...) {
  va_list ap;
  va_start(ap, cmd);
  long arg = va_arg(ap, long);
  va_end(ap);
  return forward_fcntl("fcntl", fd, cmd, arg);
}

int fcntl64(int fd, int cmd, ...) {
  va_list ap;
  va_start(ap, cmd);
  long arg = va_arg(ap, long);
  va_end(ap);
  return forward_fcntl("fcntl64", fd, cmd, arg);
}

int dup(int fd) {
  REAL(dup, int, (int));
  return track_copy(fd, real_dup(fd));
}

int close(int fd) {
  REAL(close, int, (int));
  int mine = tracked(fd);
  if (mine) g_tracked[fd] = 0;
  if (mine && should_fail("close")) {
    real_close(fd);  /* the descriptor is gone, as after a failed close */
    return -1;
  }
  return real_close(fd);
}
