// The platform layer: the only place that knows whether the program runs
// on POSIX or on Win32.  Everything above it (the general library and the
// commands) calls these free functions and contains no #ifdef.
//
// Conventions: paths are NUL-terminated byte strings.  Every failure of the
// layer comes back one way: -1 (or null, or false) with errno set.  Each
// half turns its system's errors into errno values in one place, so a
// caller never sees a raw system error code, and no function here writes
// a message.
#ifndef XHISTORY_PLATFORM_PLAT_H_
#define XHISTORY_PLATFORM_PLAT_H_

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

// True on a platform whose file names are case-insensitive (Win32).
extern const bool PLAT_NAMES_FOLD_CASE;
// The separator that joins a directory and a name.
extern const char PLAT_SEPARATOR;
// True where files carry POSIX permission bits; false on Win32, where the
// read-only attribute is the only permission a file has.
extern const bool PLAT_FILES_HAVE_PERMISSION_BITS;

// ---- Process start-up --------------------------------------------------

// Starts the socket library where the platform needs it (WSAStartup 1.1 on
// Win32; nothing on POSIX).  Returns the platform's result code.
int plat_socket_startup();

// Makes files opened without an explicit text/binary letter untranslated.
// Standard input and output keep their mode.
void plat_set_binary_default_mode();

// Writes the absolute file name of the running executable into buf (cap
// bytes, NUL-terminated, truncated when too long).  Leaves buf as it was
// when the name cannot be had.
void plat_module_file_name(char* buf, size_t cap);

// Installs the handler that the runtime calls when a library routine is
// handed an invalid argument.  No-op where the runtime has no such check.
void plat_set_invalid_parameter_handler(void (*handler)());

// Signal-style crash hooks: on_signal runs for SIGILL, SIGFPE and SIGSEGV,
// and on POSIX for SIGBUS too, which is how a mapped file that shrank
// under its view faults there (and must not return); on_unhandled runs for
// a fault that nothing else handled, after which the process ends with the
// fault.
void plat_install_crash_hooks(void (*on_signal)(int), void (*on_unhandled)());

// Ends the process at once: no exit handlers, no stream flushing.
[[noreturn]] void plat_immediate_exit(int code);

// Writes all of buf to descriptor fd with the unbuffered write, retrying
// after interruptions.  Allocates nothing.
void plat_write_all(int fd, const char* buf, size_t len);

// ---- Environment and directories ---------------------------------------

// The value of an environment variable, or null.  The pointer stays valid
// until the environment changes.
const char* plat_getenv(const char* name);
// Sets an environment variable for this process and its children.
int plat_setenv(const char* name, const char* value);

// The current directory into buf; false when it cannot be read.
bool plat_getcwd(char* buf, size_t cap);
// The per-user application-data directory into buf; false when none.
bool plat_user_data_dir(char* buf, size_t cap);
// Creates one directory level.  0, or -1 with errno.
int plat_mkdir(const char* path);

// ---- Files by name -----------------------------------------------------

// The full (absolute, lexically normalised) form of path.  Returns the
// length of the result without its NUL when it fits in cap; the needed
// size with the NUL when it does not; 0 on failure.  The file need not
// exist.
uint32_t plat_full_path(const char* path, char* buf, uint32_t cap);

// Raw status of a file as the runtime's 64-bit query gives it.
struct plat_stat_t {
  uint64_t dev;
  uint32_t mode;  // 0xF000 type mask, 0x4000 directory, 0x8000 regular
  int32_t nlink;
  int32_t uid;
  int32_t gid;
  uint64_t rdev;
  int64_t size;
  int64_t atime;
  int64_t mtime;
  int64_t ctime;
  uint64_t ino;
};
int plat_stat(const char* path, plat_stat_t* st);

// Directory test through the file attributes: 1 directory, 0 something
// else, -1 when the attributes cannot be read.
int plat_attr_is_directory(const char* path);

// fopen; a directory is refused with EISDIR on every platform.  The
// stream's handle is not inherited by child processes.
FILE* plat_fopen(const char* path, const char* mode);
int plat_fseek64(FILE* f, int64_t offset, int origin);
int64_t plat_ftell64(FILE* f);

// ---- Files by descriptor -----------------------------------------------
//
// The one way to open a file by name.  The descriptor reads and writes
// bytes untranslated, is not inherited by child processes, and serves the
// stream calls below as well as positional I/O (plat_io.h) and mappings
// (plat_map.h).  These calls, with those of plat_io.h and plat_map.h, go
// through the table of plat_ops.h, which a test can replace.

enum {
  PLAT_OPEN_WRITE = 1,     // read and write; without it read-only
  PLAT_OPEN_CREATE = 2,    // create a missing file (needs PLAT_OPEN_WRITE)
  PLAT_OPEN_TRUNCATE = 4,  // empty an existing file (needs PLAT_OPEN_WRITE)
};

// Opens path; a descriptor, or -1 with errno as the C runtime's own open
// sets it.  perm counts only for a file that the call creates: where files
// have permission bits they are perm less the umask; on Win32 only owner
// write counts, and without it the new file is read-only.  Files are
// shared for reading and writing with other openers.  A directory is
// refused with EISDIR on every platform.
int plat_open(const char* path, int flags, uint32_t perm);
int plat_close(int fd);
int64_t plat_lseek64(int fd, int64_t offset, int origin);
// One read or write at the current position; a short count only at the
// end of the file (or of what a pipe holds), never for an interruption.
int64_t plat_read(int fd, void* buf, size_t len);
int64_t plat_write(int fd, const void* buf, size_t len);

// Flags of plat_copy.
enum {
  // In: copy through the caller's buffer, not inside the kernel.  Out: set
  // once the kernel has declined this pair of files.
  PLAT_COPY_USER_SPACE = 1,
  // Out, after -1: the writing side failed (otherwise the reading side).
  PLAT_COPY_WRITE_FAILED = 2,
};

// Copies up to len bytes from in to out at their current positions, both
// of which move on by the count.  Where the kernel can copy between the
// two files it does (without the bytes passing through this process, or
// as a reflink or a server-side copy where the file system offers one);
// otherwise through buf (cap bytes): reads of at most cap bytes that
// start at multiples of cap from where the call started, each written out
// whole before the next.  Returns the count, which is below len only at
// the end of the source (or of what a pipe holds), and 0 at its end; or
// -1 with errno and PLAT_COPY_WRITE_FAILED telling which side failed.
// *flags carries what was learnt from one call to the next of one copy;
// start it at 0.
int64_t plat_copy(int in, int out, void* buf, size_t cap, size_t len,
                  uint32_t* flags);

// 1 when both names reach one existing file by identity (device and inode
// on POSIX, volume serial and file index on Win32), 0 otherwise.
int plat_same_identity(const char* a, const char* b);

// ---- Kinds of failure ---------------------------------------------------
//
// For callers that answer with a kind of failure rather than an errno
// value (the mapped files).  Each call of plat_open, plat_io.h and
// plat_map.h forgets the previous failure; read the kind right after the
// call that failed.  Where the system failed, Win32 classifies its own
// error code: file not found; access denied or sharing violation; invalid
// parameter; disk full; everything else (a missing directory on the way
// included) is OTHER.  A failure that only errno describes (one of the
// layer's own, or one injected through plat_ops) and every failure on
// POSIX is classified from errno.
enum {
  PLAT_FAILURE_OTHER = 0,
  PLAT_FAILURE_NOT_FOUND = 1,
  PLAT_FAILURE_ACCESS = 2,
  PLAT_FAILURE_INVALID = 3,
  PLAT_FAILURE_NO_SPACE = 4,
};
int plat_failure_kind();

int plat_access(const char* path, int mode);
int plat_chmod(const char* path, uint32_t mode);
int plat_unlink(const char* path);

#endif  // XHISTORY_PLATFORM_PLAT_H_
