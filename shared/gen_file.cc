#include "shared/gen_file.h"

#include <errno.h>
#include <string.h>

#include "platform/plat.h"
#include "shared/gen_alloc.h"
#include "shared/gen_exit.h"
#include "shared/gen_string.h"

static_assert((int)GEN_O_WRITE == (int)PLAT_OPEN_WRITE &&
                  (int)GEN_O_CREATE == (int)PLAT_OPEN_CREATE &&
                  (int)GEN_O_TRUNCATE == (int)PLAT_OPEN_TRUNCATE,
              "gen_open passes its flags on unchanged");

FILE* gen_fopen(const char* path, const char* mode) {
  if (!path || !mode) return nullptr;
  return plat_fopen(path, mode);
}

int gen_fclose(FILE* stream) {
  // During the exit the runtime closes what is left; a stream closed here
  // could still be written by an exit handler.
  if (!stream || gen_exiting) return 0;
  return fclose(stream);
}

int gen_open(const char* path, int flags, int perm) {
  if (!path) return -1;
  return plat_open(path, flags, (uint32_t)perm);
}

// Of perm only owner write counts: with it the new file is an ordinary
// one (0666 less the umask where files have permission bits), without it
// a write-protected one (0444 less the umask; read-only on Win32).  Owner
// read cannot be taken away on every platform, so it is always given.
int gen_creat(const char* path, int perm) {
  if (!path) return -1;
  return plat_open(path, GEN_O_WRITE | GEN_O_CREATE | GEN_O_TRUNCATE,
                   (perm & 0200) ? 0666u : 0444u);
}

int gen_close(int fd) { return plat_close(fd); }

int64_t gen_lseek64(int fd, int64_t offset, int origin) {
  return plat_lseek64(fd, offset, origin);
}

int64_t gen_copy(int in, int out, void* buf, size_t cap, size_t len,
                 uint32_t* state) {
  return plat_copy(in, out, buf, cap, len, state);
}

bool gen_copy_write_failed(uint32_t state) {
  return (state & PLAT_COPY_WRITE_FAILED) != 0;
}

int gen_fseek64(FILE* stream, int64_t offset, int origin) {
  return plat_fseek64(stream, offset, origin);
}

int64_t gen_ftell64(FILE* stream) { return plat_ftell64(stream); }

int64_t gen_filesize(const char* path) {
  FILE* f = gen_fopen(path, "rb");
  if (!f) return -1;
  int64_t size = -1;
  if (gen_fseek64(f, 0, SEEK_END) == 0) size = gen_ftell64(f);
  gen_fclose(f);
  return size;
}

int gen_access(const char* path, int mode) {
  if (!path) return -1;
  if (mode & 1) mode = (mode & ~1) | 4;
  return plat_access(path, mode) == 0 ? 0 : -1;
}

int gen_stat(const char* path, gen_statbuf* st) {
  if (!path || !st) return -1;
  plat_stat_t raw;
  int r = plat_stat(path, &raw);
  if (r == 0 && (raw.mode & GEN_S_IFMT) == GEN_S_IFREG) {
    // The recorded size can lag behind a file that is being written; the
    // end of the file is the truth.
    FILE* f = gen_fopen(path, "rb");
    if (f) {
      if (gen_fseek64(f, 0, SEEK_END) == 0) {
        int64_t pos = gen_ftell64(f);
        if (pos >= 0 && pos != raw.size) raw.size = pos;
      }
      gen_fclose(f);
    }
  }
  memset(st, 0, sizeof *st);
  if (r != 0) return -1;
  st->dev = raw.dev;
  st->mode = raw.mode;
  st->nlink = raw.nlink;
  st->uid = raw.uid;
  st->gid = raw.gid;
  st->rdev = raw.rdev;
  st->size = (uint32_t)raw.size;
  st->atime = raw.atime;
  st->mtime = raw.mtime;
  st->ctime = raw.ctime;
  st->ino = raw.ino;
  st->size64 = raw.size;
  if ((uint64_t)raw.size >> 32) {
    errno = ERANGE;
    return -1;
  }
  return 0;
}

bool gen_is_separator(char c) { return c == '/' || c == '\\'; }

static bool is_ascii_letter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool gen_is_root(const char* path, size_t len) {
  if (!path) return false;
  if (len >= 2 && is_ascii_letter(path[0]) && path[1] == ':' &&
      (len == 2 || len == 3))
    return true;
  if (len < 2 || !gen_is_separator(path[0]) || !gen_is_separator(path[1]))
    return false;
  size_t first = 0, second = 0;
  for (size_t i = 2; i < len; ++i) {
    if (!gen_is_separator(path[i])) continue;
    if (!first) first = i;
    else if (!second) second = i;
    else return false;
  }
  if (!first || first == len - 1) return false;
  return !second || second == len - 1;
}

int gen_is_directory(const char* path) {
  if (!path || !path[0]) return -1;
  size_t len = strlen(path);
  char* copy = (char*)gen_calloc(len + 2, 1);
  memcpy(copy, path, len);
  if (len > 1) {
    if (gen_is_root(copy, len)) {
      if (!gen_is_separator(copy[len - 1])) copy[len] = '\\';
    } else if (gen_is_separator(copy[len - 1])) {
      copy[len - 1] = 0;
    }
  }
  int result = plat_attr_is_directory(copy);
  if (result < 0) {
    gen_statbuf st;
    result = gen_stat(copy, &st) == 0 &&
             (st.mode & GEN_S_IFMT) == GEN_S_IFDIR;
  }
  gen_free(copy);
  return result;
}

const char* gen_basename(const char* path) {
  if (!path) return nullptr;
  const char* last = nullptr;
  for (const char* p = path; *p; ++p)
    if (gen_is_separator(*p)) last = p;
  if (last) return last + 1;
  if (is_ascii_letter(path[0]) && path[1] == ':') return path + 2;
  return path;
}

// Names compare the way the platform's file system compares them.
static int name_cmp(const char* a, const char* b) {
  return PLAT_NAMES_FOLD_CASE ? gen_strcasecmp(a, b) : gen_strcmp(a, b);
}

bool gen_same_fullpath(const char* a, const char* b) {
  if (!a || !b) return !a && !b;
  if (name_cmp(a, b) == 0) return true;
  const char* in[2] = {a, b};
  char* full[2] = {nullptr, nullptr};
  size_t len[2] = {0, 0};
  bool ok = true;
  for (int k = 0; k < 2 && ok; ++k) {
    size_t cap = strlen(in[k]) * 5 + 1024;
    full[k] = (char*)gen_calloc(cap, 1);
    uint32_t n = plat_full_path(in[k], full[k], (uint32_t)cap);
    if (n == 0 || n >= cap) {
      ok = false;
      break;
    }
    len[k] = n;
    if (len[k] > 0 && gen_is_separator(full[k][len[k] - 1]))
      full[k][--len[k]] = 0;
  }
  bool same = ok && len[0] == len[1] && name_cmp(full[0], full[1]) == 0;
  gen_free(full[0]);
  gen_free(full[1]);
  return same;
}

bool gen_same_identity(const char* a, const char* b) {
  return a && b && plat_same_identity(a, b) == 1;
}

bool gen_same_file(const char* a, const char* b) {
  const char* ba = gen_basename(a);
  const char* bb = gen_basename(b);
  if (ba && bb && ba[0] && bb[0] && name_cmp(ba, bb) != 0) return false;
  return gen_same_fullpath(a, b);
}
