#include "platform/plat.h"

#include <errno.h>
#include <stdio.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include "platform/plat_io.h"
#include "platform/plat_ops.h"
#include "platform/plat_sys.h"
#include "platform/plat_thread.h"
#include "tests/harness.h"

namespace {

// Restores the platform's own file operations when a test ends.
struct ops_guard {
  ~ops_guard() { plat_ops = plat_default_ops; }
};

std::string bytes_of(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = (char)(i * 131 + i / 7);
  return s;
}

TEST(PlatOpen, OneWayOfRefusingWhatIsNoFile) {
  temp_dir dir;
  ASSERT_TRUE(make_dir(dir.file("sub")));
  // A directory, read-only or for writing, and as a stream.
  errno = 0;
  EXPECT_EQ(-1, plat_open(dir.file("sub").c_str(), 0, 0));
  EXPECT_EQ(EISDIR, errno);
  errno = 0;
  EXPECT_EQ(-1, plat_open(dir.file("sub").c_str(), PLAT_OPEN_WRITE, 0));
  EXPECT_EQ(EISDIR, errno);
  errno = 0;
  EXPECT_EQ(nullptr, plat_fopen(dir.file("sub").c_str(), "rb"));
  EXPECT_EQ(EISDIR, errno);
  // A missing file, or a missing directory on the way to it.
  errno = 0;
  EXPECT_EQ(-1, plat_open(dir.file("none").c_str(), 0, 0));
  EXPECT_EQ(ENOENT, errno);
  std::string deep = dir.file("none") + native_separator() + "f";
  errno = 0;
  EXPECT_EQ(-1, plat_open(deep.c_str(), PLAT_OPEN_WRITE | PLAT_OPEN_CREATE, 0600));
  EXPECT_EQ(ENOENT, errno);
  // Creating or emptying a file that is opened read-only.
  errno = 0;
  EXPECT_EQ(-1, plat_open(dir.file("f").c_str(), PLAT_OPEN_CREATE, 0600));
  EXPECT_EQ(EINVAL, errno);
  EXPECT_FALSE(file_exists(dir.file("f")));
}

// A name that the system refuses gives the errno of the runtime's own
// open, and the kind of failure comes from the system's error: only a
// missing file is "not found" on Win32.
TEST(PlatOpen, RefusedNamesGiveTheRuntimesReason) {
  temp_dir dir;
  struct name_case {
    std::string path;
    int flags;
    int posix_errno, win32_errno;
    int posix_kind, win32_kind;
  } cases[] = {
      {dir.file("none"), 0, ENOENT, ENOENT, PLAT_FAILURE_NOT_FOUND,
       PLAT_FAILURE_NOT_FOUND},
      {dir.file("none") + native_separator() + "f", PLAT_OPEN_WRITE | PLAT_OPEN_CREATE,
       ENOENT, ENOENT, PLAT_FAILURE_NOT_FOUND, PLAT_FAILURE_OTHER},
      // Longer than any component may be: the runtime's "not found" on
      // Win32.  Its kind follows the system's error, which for a name past
      // the path limit is "name exceeds the range" on Windows and "file
      // not found" under Wine; it is not checked (-1).
      {dir.file(std::string(300, 'n')), 0, ENAMETOOLONG, ENOENT,
       PLAT_FAILURE_OTHER, -1},
  };
  for (const name_case& c : cases) {
    errno = 0;
    EXPECT_EQ(-1, plat_open(c.path.c_str(), c.flags, 0600));
    EXPECT_EQ(on_win32() ? c.win32_errno : c.posix_errno, errno) << c.path;
    int kind = on_win32() ? c.win32_kind : c.posix_kind;
    if (kind >= 0) {
      EXPECT_EQ(kind, plat_failure_kind()) << c.path;
    }
  }
  if (on_win32()) {
    // Wildcards are no part of a Win32 name: an invalid name, EINVAL.
    for (int flags : {0, PLAT_OPEN_WRITE | PLAT_OPEN_CREATE | PLAT_OPEN_TRUNCATE}) {
      errno = 0;
      EXPECT_EQ(-1, plat_open(dir.file("a?b").c_str(), flags, 0600));
      EXPECT_EQ(EINVAL, errno) << flags;
      EXPECT_EQ(PLAT_FAILURE_OTHER, plat_failure_kind());
    }
    errno = 0;
    EXPECT_EQ(-1, plat_unlink(dir.file("a*b").c_str()));
    EXPECT_EQ(EINVAL, errno);
  }
  errno = 0;
  EXPECT_EQ(-1, plat_unlink(dir.file("none").c_str()));
  EXPECT_EQ(ENOENT, errno);
}

#ifdef _WIN32
// The runtime's translation of the system errors that no runtime call
// reported (positional I/O and mappings): its table, then its ranges,
// then EINVAL.
TEST(PlatWin32, SystemErrorsBecomeTheRuntimesErrno) {
  struct errno_case {
    uint32_t error;
    int errno_value;
    int kind;
  } cases[] = {
      {ERROR_FILE_NOT_FOUND, ENOENT, PLAT_FAILURE_NOT_FOUND},
      {ERROR_PATH_NOT_FOUND, ENOENT, PLAT_FAILURE_OTHER},
      {ERROR_FILENAME_EXCED_RANGE, ENOENT, PLAT_FAILURE_OTHER},
      {ERROR_BAD_PATHNAME, ENOENT, PLAT_FAILURE_OTHER},
      {ERROR_ACCESS_DENIED, EACCES, PLAT_FAILURE_ACCESS},
      {ERROR_SHARING_VIOLATION, EACCES, PLAT_FAILURE_ACCESS},
      {ERROR_WRITE_PROTECT, EACCES, PLAT_FAILURE_OTHER},   // 19, first of the range
      {ERROR_LOCK_VIOLATION, EACCES, PLAT_FAILURE_OTHER},
      {ERROR_SHARING_BUFFER_EXCEEDED, EACCES, PLAT_FAILURE_OTHER},  // 36, last
      {ERROR_HANDLE_EOF, EINVAL, PLAT_FAILURE_OTHER},      // 38, past it
      {ERROR_INVALID_PARAMETER, EINVAL, PLAT_FAILURE_INVALID},
      {ERROR_INVALID_NAME, EINVAL, PLAT_FAILURE_OTHER},
      {ERROR_DISK_FULL, ENOSPC, PLAT_FAILURE_NO_SPACE},
      {ERROR_HANDLE_DISK_FULL, EINVAL, PLAT_FAILURE_OTHER},
      {ERROR_INVALID_HANDLE, EBADF, PLAT_FAILURE_OTHER},
      {ERROR_ALREADY_EXISTS, EEXIST, PLAT_FAILURE_OTHER},
      {ERROR_NOT_ENOUGH_MEMORY, ENOMEM, PLAT_FAILURE_OTHER},
      {ERROR_BROKEN_PIPE, EPIPE, PLAT_FAILURE_OTHER},
      {ERROR_DIR_NOT_EMPTY, ENOTEMPTY, PLAT_FAILURE_OTHER},
      {ERROR_INVALID_STARTING_CODESEG, ENOEXEC, PLAT_FAILURE_OTHER},
      {ERROR_INFLOOP_IN_RELOC_CHAIN, ENOEXEC, PLAT_FAILURE_OTHER},
      {ERROR_FILE_INVALID, EINVAL, PLAT_FAILURE_OTHER},
      {ERROR_NOT_ENOUGH_QUOTA, ENOMEM, PLAT_FAILURE_OTHER},
  };
  for (const errno_case& c : cases) {
    errno = 0;
    EXPECT_EQ(-1, plat_sys_win32_failure(c.error));
    EXPECT_EQ(c.errno_value, errno) << c.error;
    EXPECT_EQ(c.kind, plat_failure_kind()) << c.error;
  }
}
#endif

TEST(PlatOpen, CreateTruncateAndShareOneFile) {
  temp_dir dir;
  std::string f = dir.file("f");
  ASSERT_TRUE(write_file(f, "old contents"));
  int w = plat_open(f.c_str(), PLAT_OPEN_WRITE | PLAT_OPEN_TRUNCATE, 0);
  ASSERT_GE(w, 0);
  uint64_t size = 1;
  EXPECT_EQ(0, plat_io_size(w, &size));
  EXPECT_EQ(0u, size);
  // A second opener shares the file, and bytes are not translated.
  int r = plat_open(f.c_str(), 0, 0);
  ASSERT_GE(r, 0);
  EXPECT_EQ(4, plat_write(w, "a\nb\n", 4));
  char buf[8] = {0};
  EXPECT_EQ(4, plat_read(r, buf, sizeof buf));
  EXPECT_EQ(std::string("a\nb\n"), std::string(buf, 4));
  EXPECT_EQ(0, plat_read(r, buf, sizeof buf));
  // Positional I/O on the same descriptors.
  EXPECT_EQ(0, plat_io_pwrite(w, "XY", 2, 1));
  EXPECT_EQ(0, plat_io_pread(r, buf, 4, 0));
  EXPECT_EQ(std::string("aXY\n"), std::string(buf, 4));
  errno = 0;
  EXPECT_EQ(-1, plat_io_pread(r, buf, 8, 0));  // past the end
  EXPECT_EQ(EIO, errno);
  EXPECT_EQ(0, plat_close(r));
  EXPECT_EQ(0, plat_close(w));
  // CREATE without TRUNCATE keeps what is there.
  int again = plat_open(f.c_str(), PLAT_OPEN_WRITE | PLAT_OPEN_CREATE, 0600);
  ASSERT_GE(again, 0);
  EXPECT_EQ(0, plat_io_size(again, &size));
  EXPECT_EQ(4u, size);
  EXPECT_EQ(0, plat_close(again));
}

// Copies all of src to dst with plat_copy in chunks of len bytes; the
// number of calls that moved bytes, or -1 on a failure.
int copy_all(int src, int dst, size_t len, uint32_t* flags) {
  std::string buf(len, '\0');
  int calls = 0;
  bool short_chunk = false;
  for (;;) {
    int64_t n = plat_copy(src, dst, &buf[0], len, len, flags);
    if (n < 0) return -1;
    if (n == 0) return calls;
    EXPECT_FALSE(short_chunk) << "a short chunk before the end";
    short_chunk = (size_t)n < len;
    ++calls;
  }
}

struct copy_files {
  temp_dir dir;
  std::string content = bytes_of(5 * 4096 + 100);
  int src = -1;
  int dst = -1;
  copy_files() {
    EXPECT_TRUE(write_file(dir.file("src"), content));
    src = plat_open(dir.file("src").c_str(), 0, 0);
    dst = plat_open(dir.file("dst").c_str(),
                    PLAT_OPEN_WRITE | PLAT_OPEN_CREATE | PLAT_OPEN_TRUNCATE, 0600);
  }
  ~copy_files() {
    if (src >= 0) plat_close(src);
    if (dst >= 0) plat_close(dst);
  }
  std::string copied() {
    plat_close(dst);
    dst = -1;
    std::string s;
    read_file(dir.file("dst"), &s);
    return s;
  }
};

TEST(PlatCopy, ChunksOfTheSourceInTheKernelOrThroughTheBuffer) {
  for (uint32_t start : {0u, (uint32_t)PLAT_COPY_USER_SPACE}) {
    SCOPED_TRACE(start);
    copy_files f;
    uint32_t flags = start;
    EXPECT_EQ(6, copy_all(f.src, f.dst, 4096, &flags));
    EXPECT_EQ(f.content.size(), (size_t)plat_lseek64(f.src, 0, SEEK_CUR));
    EXPECT_EQ(f.content.size(), (size_t)plat_lseek64(f.dst, 0, SEEK_CUR));
    EXPECT_TRUE(f.copied() == f.content);
  }
}

int64_t kernel_declines(int, int, size_t) {
  errno = EXDEV;
  return -1;
}

int64_t kernel_sees_nothing(int, int, size_t) { return 0; }

int g_kernel_calls = 0;
int64_t kernel_copies_one_chunk(int in, int out, size_t len) {
  if (++g_kernel_calls > 1) {
    errno = EIO;
    return -1;
  }
  return plat_default_ops.copy(in, out, len);
}

// Whatever the kernel does not copy goes through the buffer, from the
// byte where the kernel stopped, for the rest of the copy.
TEST(PlatCopy, TheBufferTakesOverWhereTheKernelStops) {
  ops_guard guard;
  struct copy_case {
    const char* what;
    int64_t (*copy)(int, int, size_t);
  } cases[] = {
      {"another file system", kernel_declines},
      {"a file whose size the system does not know", kernel_sees_nothing},
      {"a failure after the first chunk", kernel_copies_one_chunk},
  };
  for (const copy_case& c : cases) {
    SCOPED_TRACE(c.what);
    g_kernel_calls = 0;
    plat_ops.copy = c.copy;
    copy_files f;
    uint32_t flags = 0;
    EXPECT_EQ(6, copy_all(f.src, f.dst, 4096, &flags));
    EXPECT_TRUE(flags & PLAT_COPY_USER_SPACE);
    EXPECT_TRUE(f.copied() == f.content);
  }
}

std::vector<size_t> g_read_sizes;
int64_t recording_read(int fd, void* buf, size_t len) {
  g_read_sizes.push_back(len);
  return plat_default_ops.read(fd, buf, len);
}

int64_t kernel_copies_a_little(int in, int out, size_t len) {
  if (++g_kernel_calls > 1) {
    errno = EIO;
    return -1;
  }
  return plat_default_ops.copy(in, out, len < 100 ? len : 100);
}

// A call may ask for more than the buffer holds.  The kernel copies it
// all at once; the buffer reads piece by piece, each read starting where
// it would have had the buffer done the whole copy, and a short read ends
// the call.
TEST(PlatCopy, ACallLongerThanTheBufferReadsPieceByPiece) {
  ops_guard guard;
  plat_ops.read = recording_read;
  struct long_case {
    const char* what;
    int64_t (*copy)(int, int, size_t);
    std::vector<size_t> reads;
  } cases[] = {
      // At the end the kernel sees nothing, and one read makes sure.
      {"inside the kernel", plat_default_ops.copy, {4096}},
      {"through the buffer", kernel_declines, std::vector<size_t>(7, 4096)},
      {"the kernel stops inside a piece", kernel_copies_a_little,
       {3996, 4096, 4096, 4096, 4096, 4096, 4096}},
  };
  for (const long_case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.copy != kernel_declines && on_win32()) continue;  // no kernel copy
    g_kernel_calls = 0;
    g_read_sizes.clear();
    plat_ops.copy = c.copy;
    copy_files f;  // five pieces and 100 bytes
    std::string buf(4096, '\0');
    uint32_t flags = 0;
    EXPECT_EQ(3 * 4096, plat_copy(f.src, f.dst, &buf[0], 4096, 3 * 4096, &flags));
    EXPECT_EQ(2 * 4096 + 100, plat_copy(f.src, f.dst, &buf[0], 4096, 3 * 4096, &flags));
    EXPECT_EQ(0, plat_copy(f.src, f.dst, &buf[0], 4096, 3 * 4096, &flags));
    EXPECT_EQ(c.reads, g_read_sizes);
    EXPECT_TRUE(f.copied() == f.content);
  }
}

int64_t read_fails(int, void*, size_t) {
  errno = EIO;
  return -1;
}

int64_t write_fails(int, const void*, size_t) {
  errno = ENOSPC;
  return -1;
}

TEST(PlatCopy, AFailureNamesItsSide) {
  ops_guard guard;
  plat_ops.copy = kernel_declines;
  {
    copy_files f;
    plat_ops.read = read_fails;
    uint32_t flags = 0;
    EXPECT_EQ(-1, copy_all(f.src, f.dst, 4096, &flags));
    EXPECT_EQ(EIO, errno);
    EXPECT_FALSE(flags & PLAT_COPY_WRITE_FAILED);
  }
  plat_ops.read = plat_default_ops.read;
  {
    copy_files f;
    plat_ops.write = write_fails;
    uint32_t flags = 0;
    EXPECT_EQ(-1, copy_all(f.src, f.dst, 4096, &flags));
    EXPECT_EQ(ENOSPC, errno);
    EXPECT_TRUE(flags & PLAT_COPY_WRITE_FAILED);
  }
}

}  // namespace

// Each thread works on data of its own; the join makes its results
// visible, and a machine always has a processor.
TEST(PlatThread, StartedThreadsRunAndJoin) {
  struct job {
    uint64_t from, to, sum;
  };
  auto add = [](void* p) {
    job* j = (job*)p;
    for (uint64_t i = j->from; i < j->to; ++i) j->sum += i;
  };
  job jobs[3] = {{0, 1000, 0}, {1000, 200000, 0}, {200000, 300000, 0}};
  plat_thread* t[3];
  for (int i = 0; i < 3; ++i) ASSERT_EQ(0, plat_thread_start(add, &jobs[i], &t[i]));
  for (int i = 0; i < 3; ++i) plat_thread_join(t[i]);
  EXPECT_EQ(299999ull * 300000 / 2, jobs[0].sum + jobs[1].sum + jobs[2].sum);
  EXPECT_EQ(499500u, jobs[0].sum);
  EXPECT_GE(plat_cpu_count(), 1u);
}

// The clock is read in pieces on Windows (whole seconds, then the rest), so
// a fault there shows as a reading that goes back or jumps by seconds.
TEST(PlatClock, NeverGoesBackAndCountsNanoseconds) {
  uint64_t last = plat_clock_ns();
  ASSERT_NE(0u, last);
  uint64_t moved = 0;
  for (int i = 0; i < 200000 && moved == 0; ++i) {
    const uint64_t now = plat_clock_ns();
    ASSERT_GE(now, last);
    moved = now - last;
    last = now;
  }
  EXPECT_GT(moved, 0u);             // it ticks
  EXPECT_LT(moved, 1000000000u);    // by far less than a second between reads
}
