#include "tests/fault/fault_ops.h"

#include <ctype.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>

#include "platform/plat_ops.h"

namespace {

enum op {
  OP_OPEN, OP_CLOSE, OP_LSEEK, OP_READ, OP_WRITE, OP_COPY, OP_SIZE,
  OP_PREAD, OP_PWRITE, OP_GROW, OP_MAP, OP_VIEW, OP_UNVIEW, OP_FLUSH,
  OP_UNMAP, OP_COUNT
};

const char* const kOpNames[OP_COUNT] = {
    "open",   "close", "lseek", "read", "write",  "copy",  "size", "pread",
    "pwrite", "grow",  "map",   "view", "unview", "flush", "unmap"};

struct planned_fault {
  int op;
  int call;  // 1-based
  int error;
};

const int kMaxFaults = 8;
planned_fault g_faults[kMaxFaults];
int g_fault_count = 0;
// Counted from every thread: the sort reads and writes on several.
std::atomic<int> g_calls[OP_COUNT];
const char* g_dir = nullptr;
const char* g_log = nullptr;

// What the program has open under the directory: descriptors, mappings
// made from them and views of those mappings.
const int kMaxFd = 4096;
bool g_fds[kMaxFd];
const int kMaxTracked = 4096;
intptr_t g_mappings[kMaxTracked];
void* g_views[kMaxTracked];

int errno_of(const char* text) {
  static const struct {
    const char* name;
    int value;
  } kNames[] = {{"EIO", EIO},     {"ENOSPC", ENOSPC}, {"ENOSYS", ENOSYS},
                {"EXDEV", EXDEV}, {"EINVAL", EINVAL}, {"EACCES", EACCES},
                {"EFBIG", EFBIG}, {"ENOENT", ENOENT}, {"EPERM", EPERM},
                {"EBADF", EBADF}};
  for (const auto& n : kNames)
    if (strcmp(text, n.name) == 0) return n.value;
  return isdigit((unsigned char)text[0]) ? atoi(text) : EIO;
}

int op_of(const char* name, size_t len) {
  for (int i = 0; i < OP_COUNT; ++i)
    if (strlen(kOpNames[i]) == len && strncmp(kOpNames[i], name, len) == 0)
      return i;
  return -1;
}

// OP:N[:E] items separated by commas.
void parse_faults(const char* spec, int default_error) {
  while (spec && *spec && g_fault_count < kMaxFaults) {
    const char* end = strchr(spec, ',');
    size_t len = end ? (size_t)(end - spec) : strlen(spec);
    char item[64];
    if (len < sizeof item) {
      memcpy(item, spec, len);
      item[len] = 0;
      char* colon = strchr(item, ':');
      if (colon) {
        int op = op_of(item, (size_t)(colon - item));
        char* second = strchr(colon + 1, ':');
        if (second) *second = 0;
        if (op >= 0)
          g_faults[g_fault_count++] = {
              op, atoi(colon + 1), second ? errno_of(second + 1) : default_error};
      }
    }
    spec = end ? end + 1 : nullptr;
  }
}

bool same_char(char a, char b) {
  if (a == '\\') a = '/';
  if (b == '\\') b = '/';
  return tolower((unsigned char)a) == tolower((unsigned char)b);
}

bool under_dir(const char* path) {
  if (!g_dir) return true;
  for (size_t i = 0; g_dir[i]; ++i)
    if (!path[i] || !same_char(path[i], g_dir[i])) return false;
  return true;
}

bool tracked_fd(int fd) { return fd >= 0 && fd < kMaxFd && g_fds[fd]; }

template <typename T>
bool in_set(const T* set, T value) {
  if (!value) return false;
  for (int i = 0; i < kMaxTracked; ++i)
    if (set[i] == value) return true;
  return false;
}

template <typename T>
void add_to_set(T* set, T value) {
  for (int i = 0; i < kMaxTracked; ++i) {
    if (!set[i]) {
      set[i] = value;
      return;
    }
  }
}

template <typename T>
void remove_from_set(T* set, T value) {
  for (int i = 0; i < kMaxTracked; ++i)
    if (set[i] == value) set[i] = 0;
}

// Counts one call of op; true (errno set) when it is one to fail.
bool fails(int op) {
  int n = ++g_calls[op];
  if (g_log) {
    FILE* f = fopen(g_log, "a");
    if (f) {
      fprintf(f, "%s %d\n", kOpNames[op], n);
      fclose(f);
    }
  }
  for (int i = 0; i < g_fault_count; ++i) {
    if (g_faults[i].op == op && g_faults[i].call == n) {
      errno = g_faults[i].error;
      return true;
    }
  }
  return false;
}

int fault_open(const char* path, int flags, uint32_t perm) {
  bool mine = under_dir(path);
  if (mine && fails(OP_OPEN)) return -1;
  int fd = plat_default_ops.open(path, flags, perm);
  if (mine && fd >= 0 && fd < kMaxFd) g_fds[fd] = true;
  return fd;
}

int fault_close(int fd) {
  bool mine = tracked_fd(fd);
  if (mine) g_fds[fd] = false;
  if (mine && fails(OP_CLOSE)) {
    // The descriptor is gone, as after a failed close.
    int err = errno;
    plat_default_ops.close(fd);
    errno = err;
    return -1;
  }
  return plat_default_ops.close(fd);
}

int64_t fault_lseek(int fd, int64_t offset, int origin) {
  if (tracked_fd(fd) && fails(OP_LSEEK)) return -1;
  return plat_default_ops.lseek(fd, offset, origin);
}

int64_t fault_read(int fd, void* buf, size_t len) {
  if (tracked_fd(fd) && fails(OP_READ)) return -1;
  return plat_default_ops.read(fd, buf, len);
}

int64_t fault_write(int fd, const void* buf, size_t len) {
  if (tracked_fd(fd) && fails(OP_WRITE)) return -1;
  return plat_default_ops.write(fd, buf, len);
}

int64_t fault_copy(int in, int out, size_t len) {
  if ((tracked_fd(in) || tracked_fd(out)) && fails(OP_COPY)) return -1;
  return plat_default_ops.copy(in, out, len);
}

int fault_size(int fd, uint64_t* size) {
  if (tracked_fd(fd) && fails(OP_SIZE)) return -1;
  return plat_default_ops.size(fd, size);
}

int fault_pread(int fd, void* buf, size_t len, uint64_t offset) {
  if (tracked_fd(fd) && fails(OP_PREAD)) return -1;
  return plat_default_ops.pread(fd, buf, len, offset);
}

int fault_pwrite(int fd, const void* buf, size_t len, uint64_t offset) {
  if (tracked_fd(fd) && fails(OP_PWRITE)) return -1;
  return plat_default_ops.pwrite(fd, buf, len, offset);
}

int fault_grow(int fd, uint64_t size) {
  if (tracked_fd(fd) && fails(OP_GROW)) return -1;
  return plat_default_ops.grow(fd, size);
}

int fault_map(int fd, int writable, uint64_t size, plat_map_handle* out) {
  bool mine = tracked_fd(fd);
  if (mine && fails(OP_MAP)) return -1;
  int r = plat_default_ops.map(fd, writable, size, out);
  if (mine && r == 0) add_to_set(g_mappings, *out);
  return r;
}

int fault_view(plat_map_handle mapping, int writable, uint64_t offset,
               uint32_t length, void** base) {
  bool mine = in_set(g_mappings, mapping);
  if (mine && fails(OP_VIEW)) return -1;
  int r = plat_default_ops.view(mapping, writable, offset, length, base);
  if (mine && r == 0) add_to_set(g_views, *base);
  return r;
}

int fault_unview(void* base, uint32_t length) {
  bool mine = in_set(g_views, base);
  if (mine && fails(OP_UNVIEW)) return -1;  // the view stays mapped
  if (mine) remove_from_set(g_views, base);
  return plat_default_ops.unview(base, length);
}

int fault_flush(void* base, uint32_t length) {
  if (in_set(g_views, base) && fails(OP_FLUSH)) return -1;
  return plat_default_ops.flush(base, length);
}

int fault_unmap(plat_map_handle mapping) {
  bool mine = in_set(g_mappings, mapping);
  if (mine) remove_from_set(g_mappings, mapping);
  if (mine && fails(OP_UNMAP)) {
    // The mapping is gone, as after a failed close.
    int err = errno;
    plat_default_ops.unmap(mapping);
    errno = err;
    return -1;
  }
  return plat_default_ops.unmap(mapping);
}

const char* env(const char* name) {
  const char* v = getenv(name);
  return v && *v ? v : nullptr;
}

}  // namespace

void fault_ops_install() {
  g_dir = env("XH_FAULT_DIR");
  g_log = env("XH_FAULT_LOG");
  const char* e = env("XH_FAULT_ERRNO");
  parse_faults(env("XH_FAULT"), e ? errno_of(e) : EIO);
  plat_ops.open = fault_open;
  plat_ops.close = fault_close;
  plat_ops.lseek = fault_lseek;
  plat_ops.read = fault_read;
  plat_ops.write = fault_write;
  plat_ops.copy = fault_copy;
  plat_ops.size = fault_size;
  plat_ops.pread = fault_pread;
  plat_ops.pwrite = fault_pwrite;
  plat_ops.grow = fault_grow;
  plat_ops.map = fault_map;
  plat_ops.view = fault_view;
  plat_ops.unview = fault_unview;
  plat_ops.flush = fault_flush;
  plat_ops.unmap = fault_unmap;
}
