// --copy as the viewer sees it: the progress lines, the copy itself, and
// what stays on disk when it fails.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/harness.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

const int64_t kMiB = 1048576;

// The quoted form in which the viewer receives a message.
std::string quoted_form(const std::string& text) {
  std::string q = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '\n': q += "\\n"; break;
      case '\r': q += "\\r"; break;
      case '\t': q += "\\t"; break;
      case '"': q += "\\\""; break;
      case '\'': q += "\\'"; break;
      case '\\': q += "\\\\"; break;
      default: q += (char)c;
    }
  }
  return q + "\"";
}

std::string err_line(const char* what, int error, const std::string& path) {
  return "copy_err " + quoted_form(std::string(what) + strerror(error) + "\n" + path) +
         "\n";
}

std::string read_error(int error, const std::string& path) {
  return err_line("Error reading from source file: ", error, path);
}

std::string write_error(int error, const std::string& path) {
  return err_line("Error writing to destination file: ", error, path);
}

std::string pct_lines(std::initializer_list<int> pcts) {
  std::string s;
  for (int p : pcts) s += "copy_pct " + std::to_string(p) + "\n";
  return s;
}

// Bytes that differ from one offset to the next, so that a misplaced
// chunk shows.
std::string pattern(size_t n) {
  std::string s(n, '\0');
  uint32_t x = 12345;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345u;
    s[i] = (char)(x >> 23);
  }
  return s;
}

run_result copy(const std::string& from, const std::string& to,
                const run_options& o = run_options()) {
  return run_fsutil({"--copy", from, to}, o);
}

TEST(Copy, ProgressLinesFollowTheSize) {
  struct sizes {
    int64_t size;
    std::string lines;
  } cases[] = {
      {0, ""},
      {1000, pct_lines({100})},
      {kMiB, pct_lines({100})},
      {3 * kMiB + kMiB / 2, pct_lines({28, 57, 85, 100})},
      {2 * kMiB + 1, pct_lines({49, 99, 100})},
  };
  temp_dir dir;
  for (const sizes& c : cases) {
    SCOPED_TRACE(c.size);
    std::string bytes = pattern((size_t)c.size);
    ASSERT_TRUE(write_file(dir.file("src"), bytes));
    run_result r = copy(dir.file("src"), dir.file("dst"));
    EXPECT_EQ(0u, r.status);
    EXPECT_EQ(nl(c.lines + "copy_done \n"), r.out);
    EXPECT_EQ("", r.err);
    std::string copied;
    ASSERT_TRUE(read_file(dir.file("dst"), &copied));
    EXPECT_TRUE(copied == bytes);
  }
}

TEST(Copy, LinesCarryTheRequestIdentifierAndNamesAreResolved) {
  temp_dir dir;
  run_options o;
  o.cwd = dir.path;
  ASSERT_TRUE(write_file(dir.file("a.bin"), "a\r\nb\x1a"));
  run_result r = run_fsutil({"--uid", "7", "--copy", "a.bin", "b.bin"}, o);
  EXPECT_EQ(0u, r.status);
  EXPECT_EQ(nl("copy_pct 7 100\ncopy_done 7 \n"), r.out);
  std::string copied;
  ASSERT_TRUE(read_file(dir.file("b.bin"), &copied));
  EXPECT_EQ("a\r\nb\x1a", copied);  // no line-end translation either way
}

TEST(Copy, ExistingDestinationIsReplacedWhole) {
  temp_dir dir;
  ASSERT_TRUE(write_file(dir.file("src"), "short"));
  ASSERT_TRUE(write_file(dir.file("dst"), std::string(100000, 'x')));
  EXPECT_EQ(0u, copy(dir.file("src"), dir.file("dst")).status);
  std::string copied;
  ASSERT_TRUE(read_file(dir.file("dst"), &copied));
  EXPECT_EQ("short", copied);
}

TEST(Copy, MissingSourceTouchesNothing) {
  temp_dir dir;
  ASSERT_TRUE(write_file(dir.file("dst"), "keep"));
  run_result r = copy(dir.file("nothing"), dir.file("dst"));
  EXPECT_EQ(status_minus1(), r.status);
  EXPECT_EQ(nl(read_error(ENOENT, dir.file("nothing"))), r.out);
  EXPECT_EQ("", r.err);
  std::string kept;
  ASSERT_TRUE(read_file(dir.file("dst"), &kept));
  EXPECT_EQ("keep", kept);
}

TEST(Copy, DestinationInMissingFolder) {
  temp_dir dir;
  ASSERT_TRUE(write_file(dir.file("src"), "data"));
  std::string dst = dir.file("no") + native_separator() + "dst";
  run_result r = copy(dir.file("src"), dst);
  EXPECT_EQ(status_minus1(), r.status);
  EXPECT_EQ(nl(write_error(ENOENT, dst)), r.out);
  std::string kept;
  ASSERT_TRUE(read_file(dir.file("src"), &kept));
  EXPECT_EQ("data", kept);
}

// A name that the system refuses is reported with the reason that the C
// runtime's own open gives for it, never a made-up one.
TEST(Copy, RefusedNamesGiveTheRuntimesReason) {
  temp_dir dir;
  run_options o;
  o.cwd = dir.path;
  ASSERT_TRUE(write_file(dir.file("in.bin"), "data"));
  const std::string read_head = "Error reading from source file: ";
  const std::string write_head = "Error writing to destination file: ";
  struct name_case {
    std::string from, to, head, reason, named;
  };
  std::vector<name_case> cases;
  // Longer than any name may be (given whole: Win32 would keep a relative
  // name whose full form is this long as it was given).
  const std::string long_name = dir.file(std::string(300, 'n'));
  cases.push_back({long_name, "out.bin", read_head,
                   on_win32() ? "No such file or directory" : strerror(ENAMETOOLONG),
                   long_name});
  if (on_win32()) {
    // Wildcards are no part of a Windows name: the runtime calls it an
    // invalid argument.
    cases.push_back({"a?b.bin", "out.bin", read_head, "Invalid argument",
                     dir.file("a?b.bin")});
    cases.push_back({"in.bin", "o?t.bin", write_head, "Invalid argument",
                     dir.file("o?t.bin")});
  }
  for (const name_case& c : cases) {
    run_result r = run_fsutil({"--copy", c.from, c.to}, o);
    EXPECT_EQ(status_minus1(), r.status) << c.named;
    EXPECT_EQ(nl("copy_err " + quoted_form(c.head + c.reason + "\n" + c.named) + "\n"),
              r.out);
    EXPECT_EQ("", r.err);
    EXPECT_FALSE(file_exists(dir.file("out.bin")));
  }
}

// The destination is an ordinary new file: readable by whoever the umask
// lets read it, as every other program's new file is.
TEST(Copy, DestinationIsAnOrdinaryFile) {
  if (on_win32()) GTEST_SKIP() << "no permission bits";
#ifndef _WIN32
  temp_dir dir;
  ASSERT_TRUE(write_file(dir.file("src"), "data"));
  ASSERT_EQ(0, chmod(dir.file("src").c_str(), 0400));  // the source's mode is not copied
  for (mode_t mask : {022, 027, 077}) {
    mode_t saved = umask(mask);
    run_result r = copy(dir.file("src"), dir.file("dst"));
    umask(saved);
    EXPECT_EQ(0u, r.status);
    struct stat st;
    ASSERT_EQ(0, stat(dir.file("dst").c_str(), &st));
    EXPECT_EQ(0666 & ~mask, st.st_mode & 0777) << std::oct << mask;
    ASSERT_EQ(0, unlink(dir.file("dst").c_str()));
  }
#endif
}

// Percent signs and backslashes of a path are neither format directives
// nor lost; each backslash reaches the viewer doubled.
TEST(Copy, PathsAppearInTheirQuotedForm) {
  temp_dir dir;
  // On POSIX a backslash is an ordinary character of a name; on Win32 the
  // directory part already holds backslashes.
  std::string name = on_win32() ? "100%s%n%d 'q'" : "back\\slash 100%s%n%d 'q'";
  std::string src = dir.file(name);
  run_result r = copy(src, dir.file("dst"));
  EXPECT_EQ(status_minus1(), r.status);
  EXPECT_EQ(nl(read_error(ENOENT, src)), r.out);
  EXPECT_NE(std::string::npos, r.out.find("\\\\")) << r.out;
  EXPECT_FALSE(file_exists(dir.file("dst")));
}

// A directory as the source is refused as one on every platform: a read
// error, and no destination is left.
TEST(Copy, SourceThatCannotBeReadIsAnError) {
  temp_dir dir;
  ASSERT_TRUE(make_dir(dir.file("folder")));
  run_result r = copy(dir.file("folder"), dir.file("dst"));
  EXPECT_EQ(status_minus1(), r.status);
  EXPECT_EQ(nl(read_error(EISDIR, dir.file("folder"))), r.out);
  EXPECT_FALSE(file_exists(dir.file("dst")));
}

TEST(Copy, FailedWriteRemovesThePartialDestination) {
  if (on_win32()) GTEST_SKIP() << "needs a file size limit";
  temp_dir dir;
  ASSERT_TRUE(write_file(dir.file("src"), pattern(3 * kMiB + kMiB / 2)));
  ASSERT_TRUE(write_file(dir.file("dst"), "old"));
  run_options o;
  o.file_size_limit = (uint64_t)(kMiB + kMiB / 2);
  run_result r = copy(dir.file("src"), dir.file("dst"), o);
  EXPECT_EQ(status_minus1(), r.status);
  EXPECT_EQ(nl(pct_lines({28}) + write_error(EFBIG, dir.file("dst"))), r.out);
  EXPECT_FALSE(file_exists(dir.file("dst")));
  EXPECT_TRUE(file_exists(dir.file("src")));
}

// Runs the copy with the program with faults, so that the chosen file
// operations under dir fail with EIO.
run_result copy_with_faults(const temp_dir& dir, const std::string& faults) {
  run_options o;
  o.env = {{"XH_FAULT", faults}, {"XH_FAULT_DIR", dir.path}};
  return run_program(fault_program_path(), {"--copy", dir.file("src"), dir.file("dst")},
                     o);
}

// Each failure names its side, and the kernel's copy failing on its own
// costs nothing: that chunk and the rest go through the buffer.
TEST(Copy, FailedReadWriteOrCloseIsNotASuccess) {
  temp_dir dir;
  ASSERT_TRUE(write_file(dir.file("src"), pattern(3 * kMiB + kMiB / 2)));
  const std::string all = pct_lines({28, 57, 85, 100});
  struct fault_case {
    const char* faults;
    std::string lines;
    bool kernel_copy;  // needs a kernel that copies between files (Linux)
  } cases[] = {
      // Through the buffer from the start: the second read fails in the
      // middle of the copy, or the third write.
      {"copy:1:ENOSYS,read:2", pct_lines({28}) + read_error(EIO, dir.file("src")), false},
      {"copy:1:ENOSYS,write:3", pct_lines({28, 57}) + write_error(EIO, dir.file("dst")),
       false},
      // The kernel's copy of the second chunk fails, and so does the read
      // or the write that takes its place.
      {"copy:2,read:1", pct_lines({28}) + read_error(EIO, dir.file("src")), true},
      {"copy:2,write:1", pct_lines({28}) + write_error(EIO, dir.file("dst")), true},
      // The source is closed first; the destination's close reports a
      // write that never reached the disk.
      {"close:2", all + write_error(EIO, dir.file("dst")), false},
  };
  for (const fault_case& c : cases) {
    SCOPED_TRACE(c.faults);
    if (c.kernel_copy && on_win32()) continue;
    run_result r = copy_with_faults(dir, c.faults);
    EXPECT_EQ(status_minus1(), r.status);
    EXPECT_EQ(nl(c.lines), r.out);
    EXPECT_FALSE(file_exists(dir.file("dst")));
  }
  run_result r = copy_with_faults(dir, "copy:2");
  EXPECT_EQ(nl(all + "copy_done \n"), r.out);
  std::string copied;
  ASSERT_TRUE(read_file(dir.file("dst"), &copied));
  EXPECT_TRUE(copied == pattern(3 * kMiB + kMiB / 2));
}

// Between two file systems the kernel declines to copy, and the copy reads
// and writes through its buffer, in both directions, with the same lines.
TEST(Copy, AcrossFileSystemsTheCopyReadsAndWrites) {
  if (on_win32()) GTEST_SKIP() << "needs a private tmpfs";
  temp_dir dir;
  std::string bytes = pattern(3 * kMiB + kMiB / 2);
  ASSERT_TRUE(write_file(dir.file("src"), bytes));
  ASSERT_TRUE(make_dir(dir.file("small")));
  // The mount lives in a namespace of its own and vanishes with the
  // script, so the copy onto it is compared there.
  std::string prog = "'" + fault_program_path() + "'";
  std::string script =
      "mount -t tmpfs -o size=16m none small || exit 99\n"
      "XH_FAULT_LOG=onto.log " + prog + " --copy src small/dst >onto.out || exit 98\n"
      "cmp -s src small/dst || exit 97\n"
      "cat src >small/src || exit 96\n"
      "XH_FAULT_LOG=from.log exec " + prog + " --copy small/src dst >from.out\n";
  run_options o;
  o.cwd = dir.path;
  run_result r = run_program("/usr/bin/unshare", {"-rm", "sh", "-c", script}, o);
  // 99: the mount was refused; a failure before the script made its first
  // file: unshare itself was refused (no unprivileged user namespaces).
  if (r.status == 99 ||
      (r.status != 0 && r.signal == 0 && !file_exists(dir.file("onto.out"))))
    GTEST_SKIP() << "no private mount namespace here: " << r.err;
  ASSERT_EQ(0u, r.status) << r.err;
  std::string lines = pct_lines({28, 57, 85, 100}) + "copy_done \n", out, copied;
  for (const char* way : {"onto", "from"}) {
    SCOPED_TRACE(way);
    ASSERT_TRUE(read_file(dir.file(std::string(way) + ".out"), &out));
    EXPECT_EQ(lines, out);
    // The kernel declined once, and every chunk went through the buffer.
    std::string log;
    ASSERT_TRUE(read_file(dir.file(std::string(way) + ".log"), &log));
    EXPECT_NE(std::string::npos, log.find("copy 1\n")) << log;
    EXPECT_EQ(std::string::npos, log.find("copy 2\n")) << log;
    EXPECT_NE(std::string::npos, log.find("write 4\n")) << log;
  }
  ASSERT_TRUE(read_file(dir.file("dst"), &copied));
  EXPECT_TRUE(copied == bytes);
}

bool make_hard_link(const std::string& target, const std::string& link) {
#ifdef _WIN32
  return CreateHardLinkA(link.c_str(), target.c_str(), nullptr) != 0;
#else
  return ::link(target.c_str(), link.c_str()) == 0;
#endif
}

bool make_symlink(const std::string& target, const std::string& link) {
#ifdef _WIN32
  (void)target;
  (void)link;
  return false;  // needs a privilege that test machines lack
#else
  return ::symlink(target.c_str(), link.c_str()) == 0;
#endif
}

// Emptying the destination would empty the source: every second name of
// the source must leave it as it was.
TEST(Copy, SecondNameOfTheSourceLeavesItIntact) {
  temp_dir dir;
  std::string bytes = pattern(kMiB + 3);
  ASSERT_TRUE(write_file(dir.file("f"), bytes));
  ASSERT_TRUE(make_dir(dir.file("sub")));
  char sep = native_separator();
  std::vector<std::string> names = {
      dir.file("f"),
      dir.file("sub") + sep + ".." + sep + "f",
  };
  if (on_win32()) names.push_back(dir.file("F"));
  if (make_hard_link(dir.file("f"), dir.file("hard")))
    names.push_back(dir.file("hard"));
  else
    ADD_FAILURE() << "no hard link";
  if (make_symlink(dir.file("f"), dir.file("soft")))
    names.push_back(dir.file("soft"));
  for (const std::string& other : names) {
    SCOPED_TRACE(other);
    for (int way = 0; way < 2; ++way) {
      run_result r = way ? copy(other, dir.file("f")) : copy(dir.file("f"), other);
      EXPECT_EQ(0u, r.status);
      EXPECT_EQ(nl("copy_done \n"), r.out);
      std::string now;
      ASSERT_TRUE(read_file(dir.file("f"), &now));
      EXPECT_TRUE(now == bytes);
    }
  }
}

// Sizes large enough to change the report period, as sparse files.  Opt-in:
// XH_SLOW_TESTS=1.
bool make_sized_file(const std::string& path, int64_t size) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = fseek(f, (long)(size - 1), SEEK_SET) == 0 && fputc('z', f) != EOF;
  return fclose(f) == 0 && ok;
}

std::vector<int> pct_values(const std::string& out) {
  std::vector<int> v;
  size_t at = 0;
  const std::string tag = "copy_pct ";
  while ((at = out.find(tag, at)) != std::string::npos) {
    at += tag.size();
    v.push_back(atoi(out.c_str() + at));
  }
  return v;
}

TEST(Copy, LargeSourcesReportAboutAHundredTimes) {
  const char* slow = getenv("XH_SLOW_TESTS");
  if (!slow || strcmp(slow, "1") != 0) GTEST_SKIP() << "set XH_SLOW_TESTS=1";
  temp_dir dir;
  struct large {
    int64_t mib;
    size_t lines;
    std::vector<int> head;
    int last;
  } cases[] = {
      {200, 200, {0, 1, 1, 2, 2, 3}, 100},
      // Period 2: the 201st read is not reported, so the last line is 99.
      {201, 100, {0, 1, 2, 3, 4}, 99},
      {500, 100, {1, 2, 3, 4, 5}, 100},
  };
  for (const large& c : cases) {
    SCOPED_TRACE(c.mib);
    ASSERT_TRUE(make_sized_file(dir.file("src"), c.mib * kMiB));
    // Inside the kernel where it can, and through the buffer from the
    // start: the same lines.
    for (bool buffer : {false, true}) {
      SCOPED_TRACE(buffer);
      run_result r = buffer ? copy_with_faults(dir, "copy:1:ENOSYS")
                            : copy(dir.file("src"), dir.file("dst"));
      EXPECT_EQ(0u, r.status);
      std::vector<int> v = pct_values(r.out);
      ASSERT_EQ(c.lines, v.size());
      EXPECT_EQ(c.head, std::vector<int>(v.begin(), v.begin() + c.head.size()));
      EXPECT_EQ(c.last, v.back());
      for (size_t i = 1; i < v.size(); ++i) EXPECT_LE(v[i - 1], v[i]);
      EXPECT_NE(std::string::npos, r.out.find(nl("copy_done \n")));
    }
  }
  // A failure in the middle of a period of five chunks, through the
  // buffer: the lines before it, the side that failed, and no destination.
  run_result r = copy_with_faults(dir, "copy:1,write:12");
  EXPECT_EQ(status_minus1(), r.status);
  EXPECT_EQ(nl(pct_lines({1, 2}) + write_error(EIO, dir.file("dst"))), r.out);
  EXPECT_FALSE(file_exists(dir.file("dst")));
  r = copy_with_faults(dir, "copy:1,read:13");
  EXPECT_EQ(status_minus1(), r.status);
  EXPECT_EQ(nl(pct_lines({1, 2}) + read_error(EIO, dir.file("src"))), r.out);
  EXPECT_FALSE(file_exists(dir.file("dst")));
}

}  // namespace
