// --sort, --statessort and --gurusort as the viewer runs them, with the
// engine it gets by default, the fast one; sort_engines_test holds the
// windowed engine to the same files and lines, and a case that names
// XH_SORT_ENGINE runs both.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/harness.h"

namespace {

void put_u64(std::string* r, size_t at, uint64_t v) {
  for (int i = 0; i < 8; ++i) (*r)[at + i] = (char)(v >> (8 * i));
}

std::string u32le(uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[i] = (char)(v >> (8 * i));
  return s;
}

// The index that sorts input record order[j] into position j.
std::string index_for(const std::vector<uint32_t>& order) {
  std::vector<uint32_t> rank(order.size());
  for (uint32_t j = 0; j < order.size(); ++j) rank[order[j]] = j;
  std::string s;
  for (uint32_t j = 0; j < order.size(); ++j) s += u32le(order[j]) + u32le(rank[j]);
  return s;
}

std::string callbrowser_records(uint32_t column,
                                const std::vector<uint64_t>& primaries) {
  std::string s;
  for (uint64_t p : primaries) {
    std::string r(80, '\x33');
    put_u64(&r, 16 * column, p);
    put_u64(&r, 16 * column + 8, 0);
    s += r;
  }
  return s;
}

std::string guru_records(const std::vector<std::pair<uint64_t, int>>& recs) {
  std::string s;
  for (const auto& v : recs) {
    std::string r(164, '\x44');
    put_u64(&r, 8, v.first);
    r[16] = (char)v.second;
    s += r;
  }
  return s;
}

struct sort_dir {
  temp_dir dir;
  run_options o;
  sort_dir() { o.cwd = dir.path; }
  std::string read(const std::string& name) {
    std::string s;
    EXPECT_TRUE(read_file(dir.file(name), &s)) << name;
    return s;
  }
};

const char kThreeRecordLines[] =
    "_sort_progress 47.500000\n_sort_progress 95.000000\n"
    "_sort_progress 100.000000\n_sort_done\n";

std::string lines(const std::string& name, const char* body) {
  std::string out, line;
  for (const char* p = body; *p; ++p) {
    line += *p;
    if (*p == '\n') {
      out += name + line;
      line.clear();
    }
  }
  return nl(out);
}

TEST(Sort, ColumnZeroIsDescendingAndTheLinesCarryNoUid) {
  sort_dir d;
  ASSERT_TRUE(write_file(d.dir.file("in"), callbrowser_records(0, {5, 9, 7})));
  run_result r = run_fsutil(
      {"--uid", "7", "--sort", "in", "work", "index", "0", "3"}, d.o);
  EXPECT_EQ(0u, r.status);
  EXPECT_EQ(lines("callbrowser", kThreeRecordLines), r.out);
  EXPECT_EQ("", r.err);
  EXPECT_EQ(index_for({1, 2, 0}), d.read("index"));
  EXPECT_EQ(2u * 3 * 84, d.read("work").size());
}

TEST(Sort, ColumnOneIsAscending) {
  sort_dir d;
  ASSERT_TRUE(write_file(d.dir.file("in"), callbrowser_records(1, {5, 9, 7})));
  run_result r = run_fsutil({"--sort", "in", "work", "index", "1", "3"}, d.o);
  EXPECT_EQ(0u, r.status);
  EXPECT_EQ(index_for({0, 2, 1}), d.read("index"));
}

TEST(Sort, CountAboveTwoGigaArrivesNegativeAndTouchesNothing) {
  sort_dir d;
  ASSERT_TRUE(write_file(d.dir.file("in"), callbrowser_records(0, {1, 2})));
  for (const char* count : {"4294967295", "2147483648"}) {
    run_result r =
        run_fsutil({"--sort", "in", "work", "index", "0", count}, d.o);
    EXPECT_EQ(1u, r.status);
    std::string value = count[0] == '4' ? "-1" : "-2147483648";
    EXPECT_EQ(nl("callbrowser_sort_error Invalid count: " + value + "\n\n"),
              r.out);
  }
  EXPECT_FALSE(file_exists(d.dir.file("work")));
  EXPECT_FALSE(file_exists(d.dir.file("index")));
}

TEST(Sort, MissingInputNamesItsFullPath) {
  sort_dir d;
  run_result r = run_fsutil({"--sort", "in", "work", "index", "0", "1"}, d.o);
  EXPECT_EQ(1u, r.status);
  EXPECT_EQ(nl("callbrowser_sort_error Unable to open " + d.dir.file("in") +
               " for reading\n\n"),
            r.out);
  EXPECT_FALSE(file_exists(d.dir.file("work")));
}

TEST(Gurusort, KeyOneGroupsZeroBytesFirst) {
  sort_dir d;
  ASSERT_TRUE(write_file(d.dir.file("in"),
                         guru_records({{4, 0}, {9, 1}, {7, 0}, {2, 1}})));
  run_result r = run_fsutil({"--gurusort", "in", "work", "index", "1", "4"}, d.o);
  EXPECT_EQ(0u, r.status);
  EXPECT_EQ(nl("guru_sort_progress 47.500000\nguru_sort_progress 95.000000\n"
               "guru_sort_progress 100.000000\nguru_sort_done\n"),
            r.out);
  EXPECT_EQ(index_for({2, 0, 3, 1}), d.read("index"));
}

TEST(Gurusort, BadKeyFailsOnlyAtTheFirstComparison) {
  sort_dir d;
  std::string in = guru_records({{4, 0}, {9, 1}});
  ASSERT_TRUE(write_file(d.dir.file("in"), in));
  run_result r = run_fsutil({"--gurusort", "in", "work", "index", "2", "1"}, d.o);
  EXPECT_EQ(0u, r.status);
  EXPECT_EQ(nl("guru_sort_progress 100.000000\nguru_sort_done\n"), r.out);

  r = run_fsutil({"--gurusort", "in", "w2", "i2", "2", "2"}, d.o);
  EXPECT_EQ(1u, r.status);
  EXPECT_EQ("", r.out);
  EXPECT_EQ(nl("Assertion (0 <= idx && idx <= 1) failed in "
               "'history/gui/xhistory_fsutil' on line 168 in xhistory_fsutil\n"),
            r.err);
  // The files were sized and the records loaded before the comparison.
  std::string loaded = in.substr(0, 164) + u32le(0) + in.substr(164) + u32le(1);
  EXPECT_EQ(loaded + std::string(loaded.size(), '\0'), d.read("w2"));
  EXPECT_EQ(std::string(16, '\0'), d.read("i2"));
}

TEST(Statessort, AnyKeyGivesTheSameResult) {
  sort_dir d;
  std::string in;
  const uint64_t fields[][2] = {{3, 1}, {5, 0}, {3, 4}, {9, 9}, {3, 1}};
  for (const auto& f : fields) {
    std::string r(128, '\x55');
    put_u64(&r, 0, f[0]);
    put_u64(&r, 8, f[1]);
    in += r;
  }
  ASSERT_TRUE(write_file(d.dir.file("in"), in));
  run_result r0 = run_fsutil({"--statessort", "in", "w0", "i0", "0", "5"}, d.o);
  run_result r9 = run_fsutil({"--statessort", "in", "w9", "i9", "9", "5"}, d.o);
  EXPECT_EQ(0u, r0.status);
  EXPECT_EQ(lines("states",
                  "_sort_progress 31.666666\n_sort_progress 63.333332\n"
                  "_sort_progress 95.000000\n_sort_progress 100.000000\n"
                  "_sort_done\n"),
            r0.out);
  EXPECT_EQ(r0.out, r9.out);
  EXPECT_EQ(d.read("i0"), d.read("i9"));
  EXPECT_EQ(d.read("w0"), d.read("w9"));
  // The rule is not a complete ordering: (5, 0) against (3, 1) compares as
  // 0, so the later run's (3, 1) goes first in the last merge.
  EXPECT_EQ(index_for({3, 2, 4, 1, 0}), d.read("i0"));
}

// An input without a whole record gives the same answer on every run, the
// first one included, whichever engine sorts it.
TEST(Sort, InputWithoutAWholeRecordOnBothEngines) {
  for (const char* engine : {"fast", "reference"}) {
    SCOPED_TRACE(engine);
    sort_dir d;
    d.o.env.push_back({"XH_SORT_ENGINE", engine});
    ASSERT_TRUE(write_file(d.dir.file("in"), std::string(79, 'r')));
    for (int again = 0; again < 2; ++again) {
      run_result r =
          run_fsutil({"--sort", "in", "work", "index", "0", "0"}, d.o);
      EXPECT_EQ(0u, r.status);
      EXPECT_EQ(nl("callbrowser_sort_done\n"), r.out);
      EXPECT_EQ("", r.err);
      EXPECT_EQ("", d.read("work"));
      EXPECT_EQ("", d.read("index"));
    }
    run_result r = run_fsutil(
        {"--gurusort", "in", "work2", "index2", "0", "1"}, d.o);
    EXPECT_EQ(1u, r.status);
    EXPECT_EQ(nl("guru_sort_error Unable to read from " + d.dir.file("in") +
                 "\n\n"),
              r.out);
    EXPECT_EQ("", d.read("work2"));
    EXPECT_EQ("", d.read("index2"));
  }
}

// A file system that refuses to grow the work file must end the run with
// its error line, not with a fault on a store into the mapping.
TEST(SortFullDisk, FileSizeLimitStopsTheWorkFile) {
  if (on_win32()) GTEST_SKIP() << "RLIMIT_FSIZE is a POSIX limit";
  sort_dir d;
  std::vector<uint64_t> p(100, 1);
  ASSERT_TRUE(write_file(d.dir.file("in"), callbrowser_records(0, p)));
  d.o.file_size_limit = 10000;  // the work file needs 16800 bytes
  run_result r = run_fsutil({"--sort", "in", "work", "index", "0", "100"}, d.o);
  EXPECT_EQ(0, r.signal);
  EXPECT_EQ(1u, r.status);
  EXPECT_EQ("callbrowser_sort_error Unable to extend " + d.dir.file("work") +
                " to 16800 bytes\n\n",
            r.out);
}

TEST(SortFullDisk, FullFileSystemIsReportedNotAFault) {
  if (on_win32()) GTEST_SKIP() << "needs a private tmpfs";
  sort_dir d;
  std::vector<uint64_t> p(2000, 1);
  ASSERT_TRUE(write_file(d.dir.file("in"), callbrowser_records(0, p)));
  ASSERT_TRUE(make_dir(d.dir.file("small")));
  // 64 KiB of file system for a 336,000-byte work file; the mount lives in
  // a namespace of its own and vanishes with the command.
  std::string script = "mount -t tmpfs -o size=64k none small || exit 99; exec '" +
                       program_path() +
                       "' --sort in small/work index 0 2000";
  run_result r = run_program("/usr/bin/unshare", {"-rm", "sh", "-c", script}, d.o);
  if (r.status == 99 || (r.status != 0 && r.out.empty() && r.signal == 0))
    GTEST_SKIP() << "no private mount namespace here: " << r.err;
  EXPECT_EQ(0, r.signal);
  EXPECT_EQ(1u, r.status);
  EXPECT_EQ("callbrowser_sort_error Unable to extend " + d.dir.file("small") +
                "/work to 336000 bytes\n\n",
            r.out);
}

}  // namespace
