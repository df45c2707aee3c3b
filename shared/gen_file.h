// File access by name.  The wrappers report nothing: a failure comes back
// as null, -1 or false with errno as the runtime left it, and the calling
// command words its own message.  A null path never reaches the runtime.
#ifndef XHISTORY_SHARED_GEN_FILE_H_
#define XHISTORY_SHARED_GEN_FILE_H_

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

// The library's file status record, widened from the runtime's 64-bit
// query.  Files of 4 GiB or more are refused, so size == size64.
struct gen_statbuf {
  uint64_t dev;
  uint32_t mode;  // 0xF000 type mask, 0x4000 directory, 0x8000 regular
  int32_t nlink;
  int32_t uid;
  int32_t gid;
  uint64_t rdev;
  uint32_t size;
  int64_t atime;
  int64_t mtime;
  int64_t ctime;
  uint64_t ino;
  int64_t size64;
};

enum { GEN_S_IFMT = 0xF000, GEN_S_IFDIR = 0x4000, GEN_S_IFREG = 0x8000 };

// Open flags of gen_open.  Files are always read and written untranslated.
enum {
  GEN_O_RDONLY = 0,
  GEN_O_WRITE = 1,     // read and write
  GEN_O_CREATE = 2,    // create a missing file (with GEN_O_WRITE)
  GEN_O_TRUNCATE = 4,  // empty an existing file (with GEN_O_WRITE)
};

// A stream whose handle child processes do not inherit, or null.
FILE* gen_fopen(const char* path, const char* mode);
// 0 without closing for a null stream or once the program is exiting;
// otherwise fclose's result.
int gen_fclose(FILE* stream);
// A descriptor that child processes do not inherit, or -1.  A directory is
// refused (EISDIR).  perm: the permission bits of a file the call creates.
int gen_open(const char* path, int flags, int perm);
// Read/write descriptor of a file created or truncated to length 0.  Of
// perm only the owner write bit counts: a file the call creates is an
// ordinary one with it, a write-protected one without it, each less the
// umask where files have permission bits.
int gen_creat(const char* path, int perm);
int gen_close(int fd);
int64_t gen_lseek64(int fd, int64_t offset, int origin);
// Copies up to len bytes from in to out at their current positions, inside
// the kernel where it can, otherwise through buf (cap bytes) in reads of
// at most cap bytes.  The count, below len only at the end of the source;
// 0 at its end; -1 on failure, after which gen_copy_write_failed(*state)
// tells the side.  *state carries what one call learns to the next; start
// it at 0.
int64_t gen_copy(int in, int out, void* buf, size_t cap, size_t len,
                 uint32_t* state);
bool gen_copy_write_failed(uint32_t state);
int gen_fseek64(FILE* stream, int64_t offset, int origin);
int64_t gen_ftell64(FILE* stream);
// Size by seeking a stream to its end; -1 for a missing file or directory.
int64_t gen_filesize(const char* path);
// access(); a test for execute permission tests for read permission.
int gen_access(const char* path, int mode);
// 0, or -1 (ERANGE for files of 4 GiB or more).
int gen_stat(const char* path, gen_statbuf* st);
// 1 directory, 0 not a directory or missing, -1 null or empty path.
int gen_is_directory(const char* path);
// True for a drive root ("C:", "C:\") or a share root ("\\srv\vol").
bool gen_is_root(const char* path, size_t len);
// Same file by name: the last components first, then the full paths.
bool gen_same_file(const char* a, const char* b);
bool gen_same_fullpath(const char* a, const char* b);
// Same file by identity: both names reach one existing file (a hard or a
// symbolic link counts).
bool gen_same_identity(const char* a, const char* b);
// The last component: a pointer into path; null for null.
const char* gen_basename(const char* path);
bool gen_is_separator(char c);

#endif  // XHISTORY_SHARED_GEN_FILE_H_
