#include "history/gui/extsort/mmfile.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#include "platform/plat.h"
#include "platform/plat_ops.h"
#include "platform/plat_sys.h"
#include "tests/harness.h"

namespace {

// Record i of a file of rs-byte records: every byte is (i * 7 + k) mod 251,
// so a record handed out from the wrong place shows.
std::string records(uint32_t count, uint32_t rs) {
  std::string s(size_t(count) * rs, '\0');
  for (size_t i = 0; i < count; ++i)
    for (size_t k = 0; k < rs; ++k) s[i * rs + k] = (char)((i * 7 + k) % 251);
  return s;
}

bool is_record(const uint8_t* p, size_t i, uint32_t rs) {
  for (size_t k = 0; k < rs; ++k)
    if (p[k] != (uint8_t)((i * 7 + k) % 251)) return false;
  return true;
}

uint32_t granularity() {
  uint32_t g, page;
  plat_map_system_info(&g, &page);
  return g;
}

TEST(MmfileOpen, RejectsBadArgumentsAndFlags) {
  temp_dir dir;
  std::string p = dir.file("f");
  mmfile* f = (mmfile*)1;
  EXPECT_EQ(MMF_EINVAL, mmfile_open(nullptr, MMF_WRITE, 0660, &f));
  EXPECT_EQ(nullptr, f);
  EXPECT_EQ(MMF_EINVAL, mmfile_open(p.c_str(), 0, 0, nullptr));
  for (uint32_t flags : {2u, 4u, 8u, 16u | MMF_WRITE})  // CREATE, TRUNCATE, GROW
    EXPECT_EQ(MMF_EINVAL, mmfile_open(p.c_str(), flags, 0660, &f)) << flags;
  EXPECT_FALSE(file_exists(p));
  EXPECT_EQ(MMF_ENOENT, mmfile_open(p.c_str(), 0, 0, &f));
  EXPECT_EQ(MMF_ENOENT, mmfile_open(p.c_str(), MMF_WRITE | MMF_TRUNCATE, 0, &f));
  EXPECT_FALSE(file_exists(p));
}

int g_errno_to_give = 0;
int failing_map(int, int, uint64_t, plat_map_handle*) {
  errno = g_errno_to_give;
  return -1;
}

// Every failure of the platform layer becomes a result code in one way,
// whichever call failed.
TEST(MmfileOpen, SystemFailuresBecomeResultCodes) {
  temp_dir dir;
  std::string p = dir.file("f");
  ASSERT_TRUE(write_file(p, records(10, 8)));
  mmfile* f;
  EXPECT_EQ(MMF_EACCES, mmfile_open(dir.path.c_str(), 0, 0, &f));  // a directory
  // A missing directory on the way: Win32's "path not found" is none of
  // the listed errors.
  std::string deep = dir.file("none") + native_separator() + "f";
  EXPECT_EQ(on_win32() ? MMF_FAIL : MMF_ENOENT, mmfile_open(deep.c_str(), 0, 0, &f));
  // Failures that errno alone describes, each after a real one, which
  // must not colour them.
  struct code_case {
    int error;
    int code;
  } cases[] = {{ENOENT, MMF_ENOENT}, {EACCES, MMF_EACCES}, {EPERM, MMF_EACCES},
               {ENOSPC, MMF_ENOSPC}, {EINVAL, MMF_EINVAL}, {EIO, MMF_FAIL},
               {EFBIG, MMF_FAIL}};
  for (const code_case& c : cases) {
    g_errno_to_give = c.error;
    plat_ops.map = failing_map;
    EXPECT_EQ(c.code, mmfile_open(p.c_str(), MMF_WRITE, 0, &f)) << c.error;
    plat_ops = plat_default_ops;
  }
  // Nothing stays open after a failure: the file opens again.
  ASSERT_EQ(MMF_OK, mmfile_open(p.c_str(), MMF_WRITE, 0, &f));
  EXPECT_EQ(MMF_OK, mmfile_close(f));
}

#ifdef _WIN32
uint32_t g_error_to_give = 0;
int map_fails_in_system(int, int, uint64_t, plat_map_handle*) {
  return plat_sys_win32_failure(g_error_to_give);
}
#endif

// On Win32 the code comes from the system's error, not from the errno that
// the runtime would make of it: only the five listed errors have codes of
// their own.
TEST(MmfileOpen, Win32ErrorsGiveTheirListedCodes) {
  if (!on_win32()) GTEST_SKIP() << "Win32 error codes";
#ifdef _WIN32
  temp_dir dir;
  std::string p = dir.file("f");
  ASSERT_TRUE(write_file(p, records(10, 8)));
  struct code_case {
    uint32_t error;
    int code;
  } cases[] = {
      {ERROR_FILE_NOT_FOUND, MMF_ENOENT},   {ERROR_ACCESS_DENIED, MMF_EACCES},
      {ERROR_SHARING_VIOLATION, MMF_EACCES}, {ERROR_INVALID_PARAMETER, MMF_EINVAL},
      {ERROR_DISK_FULL, MMF_ENOSPC},
      // Errors that the runtime turns into ENOENT, EACCES or ENOSPC, and
      // one that no table lists.
      {ERROR_PATH_NOT_FOUND, MMF_FAIL},     {ERROR_INVALID_DRIVE, MMF_FAIL},
      {ERROR_BAD_NETPATH, MMF_FAIL},        {ERROR_BAD_NET_NAME, MMF_FAIL},
      {ERROR_BAD_PATHNAME, MMF_FAIL},       {ERROR_WRITE_PROTECT, MMF_FAIL},
      {ERROR_LOCK_VIOLATION, MMF_FAIL},     {ERROR_HANDLE_DISK_FULL, MMF_FAIL},
      {ERROR_FILE_INVALID, MMF_FAIL},
  };
  mmfile* f;
  for (const code_case& c : cases) {
    g_error_to_give = c.error;
    plat_ops.map = map_fails_in_system;
    EXPECT_EQ(c.code, mmfile_open(p.c_str(), MMF_WRITE, 0, &f)) << c.error;
    plat_ops = plat_default_ops;
  }
#endif
}

// mode gives a new file its permission bits where files have them (less
// the umask); Win32 takes nothing from it, not even write protection.
TEST(MmfileOpen, ModeCountsOnlyWhereFilesHavePermissionBits) {
  temp_dir dir;
#ifndef _WIN32
  mode_t saved = umask(022);
#endif
  struct mode_case {
    uint32_t mode;
    uint32_t posix;
  } cases[] = {{0660, 0640}, {0440, 0440}, {0604, 0604}};
  for (const mode_case& c : cases) {
    std::string p = dir.file("f" + std::to_string(c.mode));
    mmfile* f;
    ASSERT_EQ(MMF_OK, mmfile_open(p.c_str(), MMF_WRITE | MMF_CREATE | MMF_GROW,
                                  c.mode, &f));
    mmview* v;
    ASSERT_EQ(MMF_OK, mmfile_map(f, 0, 4, 1, &v));
    memcpy(v->base, "abcd", 4);
    EXPECT_EQ(MMF_OK, mmfile_unmap(f, v));
    EXPECT_EQ(MMF_OK, mmfile_close(f));
    plat_stat_t st;
    ASSERT_EQ(0, plat_stat(p.c_str(), &st));
    if (on_win32())
      EXPECT_NE(0u, st.mode & 0200) << std::oct << c.mode;
    else
      EXPECT_EQ(c.posix, st.mode & 0777) << std::oct << c.mode;
    std::string bytes;
    ASSERT_TRUE(read_file(p, &bytes));
    EXPECT_EQ("abcd", bytes.substr(0, 4));
    set_read_only(p, false);
  }
#ifndef _WIN32
  umask(saved);
#endif
}

TEST(MmfileOpen, EmptyFileHasNoMappingUnlessItMayGrow) {
  temp_dir dir;
  std::string p = dir.file("f");
  mmfile* f;
  ASSERT_EQ(MMF_OK, mmfile_open(p.c_str(), MMF_WRITE | MMF_CREATE, 0660, &f));
  EXPECT_EQ(0u, f->size);
  EXPECT_EQ(0, f->mapping);
  mmview* v;
  EXPECT_EQ(MMF_EINVAL, mmfile_map(f, 0, 1, 1, &v));
  EXPECT_EQ(MMF_EINVAL, mmfile_set_size(f, 10));  // not opened to grow
  EXPECT_EQ(MMF_OK, mmfile_close(f));

  ASSERT_EQ(MMF_OK, mmfile_open(p.c_str(), MMF_WRITE | MMF_GROW, 0, &f));
  // A mapping of no bytes cannot exist; the code is that of the system's
  // own error: the invalid file of Win32, the invalid argument of POSIX.
  EXPECT_EQ(on_win32() ? MMF_FAIL : MMF_EINVAL, mmfile_set_size(f, 0));
  EXPECT_EQ(0, f->mapping);
  EXPECT_EQ(MMF_EINVAL, mmfile_map(f, 0, 0, 1, &v));
  ASSERT_EQ(MMF_OK, mmfile_map(f, 100, 10, 1, &v));
  EXPECT_EQ(0u, v->offset);
  EXPECT_GE(f->size, 110u);
  EXPECT_EQ(f->size, v->length);
  memcpy(v->base + 100, "0123456789", 10);
  EXPECT_EQ(MMF_FAIL, mmfile_close(f));  // a view is still mapped
  EXPECT_EQ(MMF_OK, mmfile_unmap(f, v));
  EXPECT_EQ(MMF_OK, mmfile_close(f));
  std::string bytes;
  ASSERT_TRUE(read_file(p, &bytes));
  ASSERT_GE(bytes.size(), 110u);
  EXPECT_EQ("0123456789", bytes.substr(100, 10));
}

TEST(MmfileSetSize, GrowsOnlyAndKeepsOldViewsInStep) {
  temp_dir dir;
  std::string p = dir.file("f");
  ASSERT_TRUE(write_file(p, std::string(5000, 'a')));
  mmfile* f;
  ASSERT_EQ(MMF_OK, mmfile_open(p.c_str(), MMF_WRITE | MMF_GROW, 0, &f));
  EXPECT_EQ(MMF_EINVAL, mmfile_set_size(f, 4999));
  EXPECT_EQ(MMF_OK, mmfile_set_size(f, 5000));
  mmview* old_view;
  ASSERT_EQ(MMF_OK, mmfile_map(f, 0, 5000, 1, &old_view));
  ASSERT_EQ(MMF_OK, mmfile_set_size(f, 300000));
  EXPECT_EQ(300000u, f->size);
  mmview* new_view;
  ASSERT_EQ(MMF_OK, mmfile_map(f, 0, 300000, 1, &new_view));
  // Both views come from mappings of one file and show the same bytes.
  new_view->base[10] = 'N';
  old_view->base[11] = 'O';
  EXPECT_EQ('N', old_view->base[10]);
  EXPECT_EQ('O', new_view->base[11]);
  EXPECT_EQ(0, new_view->base[299999]);  // grown bytes read as zero
  // The view's length is whole pages, and a file that may grow grows to it.
  EXPECT_EQ(f->size, new_view->length);
  uint64_t size = f->size;
  EXPECT_EQ(MMF_OK, mmfile_flush(f));
  EXPECT_EQ(MMF_OK, mmfile_unmap(f, old_view));
  EXPECT_EQ(MMF_OK, mmfile_unmap(f, new_view));
  EXPECT_EQ(MMF_OK, mmfile_close(f));
  std::string bytes;
  ASSERT_TRUE(read_file(p, &bytes));
  EXPECT_EQ(size, bytes.size());
  EXPECT_EQ("aaaaaaaaaaNO", bytes.substr(0, 12));
}

TEST(MmfileMap, SharedViewsAreCountedAndRangesChecked) {
  temp_dir dir;
  std::string p = dir.file("f");
  ASSERT_TRUE(write_file(p, records(100, 10)));
  mmfile* f;
  ASSERT_EQ(MMF_OK, mmfile_open(p.c_str(), 0, 0, &f));
  mmview* v = (mmview*)1;
  EXPECT_EQ(MMF_EINVAL, mmfile_map(f, 995, 10, 0, &v));
  EXPECT_EQ(nullptr, v);
  EXPECT_EQ(MMF_EINVAL, mmfile_map(f, 1001, 1, 0, &v));
  mmview* a;
  mmview* b;
  mmview* c;
  ASSERT_EQ(MMF_OK, mmfile_map(f, 10, 500, 0, &a));
  EXPECT_EQ(0u, a->offset);
  EXPECT_EQ(1000u, a->length);  // cut to the end of a file that may not grow
  EXPECT_EQ(a->base + a->length, a->end);
  EXPECT_TRUE(is_record(a->base + 20, 2, 10));
  ASSERT_EQ(MMF_OK, mmfile_map(f, 990, 10, 0, &b));
  EXPECT_EQ(a, b);
  EXPECT_EQ(2, a->refs);
  ASSERT_EQ(MMF_OK, mmfile_map(f, 990, 10, 1, &c));
  EXPECT_NE(a, c);
  EXPECT_EQ(c, f->views.next);  // the newest view heads the list
  EXPECT_EQ(MMF_OK, mmfile_unmap(f, b));
  EXPECT_EQ(MMF_FAIL, mmfile_close(f));
  EXPECT_EQ(MMF_OK, mmfile_unmap(f, a));
  EXPECT_EQ(MMF_OK, mmfile_unmap(f, c));
  EXPECT_EQ(MMF_EINVAL, mmfile_unmap(f, nullptr));
  EXPECT_EQ(MMF_OK, mmfile_close(f));
}

TEST(MmfileAnonymous, ViewsShareBytesAndCannotBeFlushed) {
  mmfile* f;
  ASSERT_EQ(MMF_OK, mmfile_open_anonymous(70000, 0, &f));
  EXPECT_EQ(70000u, f->size);
  mmview* a;
  mmview* b;
  ASSERT_EQ(MMF_OK, mmfile_map(f, 0, 70000, 1, &a));
  ASSERT_EQ(MMF_OK, mmfile_map(f, 0, 70000, 1, &b));
  EXPECT_NE(a->base, b->base);
  a->base[69999] = 42;
  EXPECT_EQ(42, b->base[69999]);
  EXPECT_EQ(MMF_EINVAL, mmfile_flush(f));
  mmfile_unmap(f, a);
  mmfile_unmap(f, b);
  EXPECT_EQ(MMF_OK, mmfile_close(f));

  ASSERT_EQ(MMF_OK, mmfile_open_anonymous(0, 0, &f));
  EXPECT_EQ(0, f->mapping);
  EXPECT_EQ(MMF_EINVAL, mmfile_map(f, 0, 1, 1, &a));
  EXPECT_EQ(MMF_OK, mmfile_close(f));
}

TEST(MmcursorCreate, WindowIsTwoThousandRecordsOfAtMost512Bytes) {
  mmfile* f;
  ASSERT_EQ(MMF_OK, mmfile_open_anonymous(4096, 0, &f));
  mmcursor* c = (mmcursor*)1;
  EXPECT_EQ(MMF_EINVAL, mmcursor_create(f, 0, &c));
  EXPECT_EQ(nullptr, c);
  EXPECT_EQ(MMF_EINVAL, mmcursor_create(nullptr, 8, &c));
  const uint32_t sizes[][2] = {
      {600, 1048576}, {512, 1048576}, {80, 163840}, {8, 16384}};
  for (const auto& s : sizes) {
    ASSERT_EQ(MMF_OK, mmcursor_create(f, s[0], &c));
    EXPECT_EQ(s[1], c->window) << s[0];
    EXPECT_EQ(nullptr, c->view);
    EXPECT_EQ(1, c->private_views);
    EXPECT_EQ(MMF_OK, mmcursor_destroy(c));
  }
  EXPECT_EQ(MMF_OK, mmfile_close(f));
}

// Walks a whole file with next; records straddling window ends included.
void walk(uint32_t rs, uint32_t count, uint32_t tail) {
  temp_dir dir;
  std::string p = dir.file("f");
  ASSERT_TRUE(write_file(p, records(count, rs) + std::string(tail, 'x')));
  mmfile* f;
  mmcursor* c;
  ASSERT_EQ(MMF_OK, mmfile_open(p.c_str(), 0, 0, &f));
  ASSERT_EQ(MMF_OK, mmcursor_create(f, rs, &c));
  uint8_t* r;
  for (uint32_t i = 0; i < count; ++i) {
    ASSERT_EQ(MMF_OK, mmcursor_next(c, &r)) << "record " << i;
    ASSERT_TRUE(is_record(r, i, rs)) << "record " << i;
    ASSERT_GE(c->view->end, r + rs);
  }
  // The rest is empty (2) or only part of a record (1).
  EXPECT_EQ(tail == 0 ? MMF_EINVAL : MMF_FAIL, mmcursor_next(c, &r));
  EXPECT_EQ(nullptr, r);
  EXPECT_EQ(MMF_OK, mmcursor_destroy(c));
  EXPECT_EQ(MMF_OK, mmfile_close(f));
}

TEST(MmcursorNext, WalksEveryRecordAndNeverHandsOutAPartialOne) {
  walk(80, 2048, 0);      // exactly one window
  walk(80, 4097, 0);      // into a third window
  walk(80, 2049, 79);     // a partial record after a window end
  walk(600, 1750, 0);     // record 1747 straddles the first window's end
  walk(3, 20000, 2);      // odd record size: windows end mid-record
  walk(164, 10, 100);     // a short file: one view shorter than a window
}

TEST(MmcursorNext, RecordAcrossAWindowEndComesFromANewAlignedView) {
  temp_dir dir;
  std::string p = dir.file("f");
  ASSERT_TRUE(write_file(p, records(1750, 600)));
  mmfile* f;
  mmcursor* c;
  ASSERT_EQ(MMF_OK, mmfile_open(p.c_str(), 0, 0, &f));
  ASSERT_EQ(MMF_OK, mmcursor_create(f, 600, &c));
  uint8_t* r;
  for (int i = 0; i <= 1746; ++i) ASSERT_EQ(MMF_OK, mmcursor_next(c, &r));
  EXPECT_EQ(0u, c->view->offset);
  ASSERT_EQ(MMF_OK, mmcursor_next(c, &r));  // bytes 1048200..1048799
  uint64_t at = 1747ull * 600;
  EXPECT_EQ(at - at % granularity(), c->view->offset);
  EXPECT_EQ(at - c->view->offset, c->position);
  EXPECT_TRUE(is_record(r, 1747, 600));
  EXPECT_EQ(MMF_OK, mmcursor_destroy(c));
  EXPECT_EQ(MMF_OK, mmfile_close(f));
}

TEST(MmcursorSeek, StaysInsideTheFileAndKeepsTheViewOnFailure) {
  temp_dir dir;
  std::string p = dir.file("f");
  ASSERT_TRUE(write_file(p, records(5000, 80) + "tail"));
  mmfile* f;
  mmcursor* c;
  ASSERT_EQ(MMF_OK, mmfile_open(p.c_str(), 0, 0, &f));
  ASSERT_EQ(MMF_OK, mmcursor_create(f, 80, &c));
  uint8_t* r;
  ASSERT_EQ(MMF_OK, mmcursor_seek(c, 4999, &r));
  EXPECT_TRUE(is_record(r, 4999, 80));
  mmview* v = c->view;
  EXPECT_EQ(MMF_EINVAL, mmcursor_seek(c, 5000, &r));  // only 4 bytes there
  EXPECT_EQ(MMF_EINVAL, mmcursor_seek(c, ~0ull, &r));
  EXPECT_EQ(v, c->view);
  ASSERT_EQ(MMF_OK, mmcursor_seek(c, 4998, &r));  // inside the held view
  EXPECT_EQ(v, c->view);
  EXPECT_TRUE(is_record(r, 4998, 80));
  ASSERT_EQ(MMF_OK, mmcursor_seek(c, 3, &r));
  EXPECT_TRUE(is_record(r, 3, 80));
  ASSERT_EQ(MMF_OK, mmcursor_next(c, &r));
  EXPECT_TRUE(is_record(r, 4, 80));
  EXPECT_EQ(MMF_FAIL, mmfile_close(f));  // the cursor holds a view
  EXPECT_EQ(MMF_OK, mmcursor_destroy(c));
  EXPECT_EQ(MMF_OK, mmfile_close(f));
}

TEST(MmcursorSeek, GrowsAFileThatMayGrowAndWritesReachIt) {
  temp_dir dir;
  std::string p = dir.file("f");
  mmfile* f;
  mmcursor* w;
  mmcursor* r;
  ASSERT_EQ(MMF_OK, mmfile_open(p.c_str(), MMF_WRITE | MMF_CREATE | MMF_GROW,
                                0660, &f));
  ASSERT_EQ(MMF_OK, mmcursor_create(f, 8, &w));
  ASSERT_EQ(MMF_OK, mmcursor_create(f, 8, &r));
  uint8_t* a;
  uint8_t* b;
  ASSERT_EQ(MMF_OK, mmcursor_seek(w, 100000, &a));
  EXPECT_GE(f->size, 800008u);
  memcpy(a, "ABCDEFGH", 8);
  // A second cursor's own, overlapping view sees the write at once.
  ASSERT_EQ(MMF_OK, mmcursor_seek(r, 99999, &b));
  ASSERT_EQ(MMF_OK, mmcursor_next(r, &b));
  EXPECT_EQ(0, memcmp(b, "ABCDEFGH", 8));
  EXPECT_NE(w->view, r->view);
  uint64_t size = f->size;
  EXPECT_EQ(MMF_OK, mmcursor_destroy(w));
  EXPECT_EQ(MMF_OK, mmcursor_destroy(r));
  EXPECT_EQ(MMF_OK, mmfile_close(f));
  std::string bytes;
  ASSERT_TRUE(read_file(p, &bytes));
  EXPECT_EQ(size, bytes.size());
  EXPECT_EQ("ABCDEFGH", bytes.substr(800000, 8));
}

// Offsets past 4 GiB, where a 32-bit truncation would land on the wrong
// bytes.  Opt-in (XH_BIG_TESTS=1): it makes a 5 GiB file.
TEST(MmcursorSeek, OffsetsBeyondFourGiB) {
  const char* big = getenv("XH_BIG_TESTS");
  if (!big || strcmp(big, "1") != 0) GTEST_SKIP() << "set XH_BIG_TESTS=1";
  temp_dir dir;
  std::string p = dir.file("big");
  const uint64_t index = (5ull << 30) / 8;  // byte 5 GiB
  mmfile* f;
  mmcursor* c;
  uint8_t* r;
  ASSERT_EQ(MMF_OK, mmfile_open(p.c_str(), MMF_WRITE | MMF_CREATE | MMF_GROW,
                                0660, &f));
  ASSERT_EQ(MMF_OK, mmcursor_create(f, 8, &c));
  ASSERT_EQ(MMF_OK, mmcursor_seek(c, 1, &r));
  memcpy(r, "low.....", 8);
  ASSERT_EQ(MMF_OK, mmcursor_seek(c, index, &r));
  memcpy(r, "high....", 8);
  EXPECT_EQ(MMF_OK, mmcursor_destroy(c));
  EXPECT_EQ(MMF_OK, mmfile_close(f));

  ASSERT_EQ(MMF_OK, mmfile_open(p.c_str(), 0, 0, &f));
  EXPECT_GT(f->size, 5ull << 30);
  ASSERT_EQ(MMF_OK, mmcursor_create(f, 8, &c));
  ASSERT_EQ(MMF_OK, mmcursor_seek(c, index, &r));
  EXPECT_EQ(0, memcmp(r, "high....", 8));
  ASSERT_EQ(MMF_OK, mmcursor_seek(c, 1, &r));
  EXPECT_EQ(0, memcmp(r, "low.....", 8));
  EXPECT_EQ(MMF_OK, mmcursor_destroy(c));
  EXPECT_EQ(MMF_OK, mmfile_close(f));
}

}  // namespace
