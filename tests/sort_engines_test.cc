// The built program with its default (fast) engine against
// XH_SORT_ENGINE=reference: status, both streams and both files must match,
// on success and on the failures that end a run half-way.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/harness.h"

namespace {

struct result {
  run_result run;
  std::string work, index;
};

uint64_t next(uint64_t* s) {
  *s ^= *s << 13;
  *s ^= *s >> 7;
  *s ^= *s << 17;
  return *s;
}

// n records of size bytes: random, with the first 24 bytes drawn from a few
// values so that many compare equal.
std::string records(uint32_t size, uint32_t n, uint64_t seed) {
  std::string s(size * (size_t)n, '\0');
  for (size_t i = 0; i < s.size(); ++i) {
    size_t at = i % size;
    s[i] = (char)(at < 24 ? next(&seed) % 3 : next(&seed));
  }
  return s;
}

// Runs one command in a fresh directory holding input (and old, as the old
// work file, when given).  Paths are relative, so both runs print the same.
result run_sort(const std::vector<std::string>& args, const std::string& input,
                const std::string& old_work, bool reference,
                const std::string& memory_mb = "",
                bool read_only_work = false) {
  temp_dir dir;
  EXPECT_TRUE(write_file(dir.file("in"), input));
  if (!old_work.empty()) {
    EXPECT_TRUE(write_file(dir.file("work"), old_work));
    if (read_only_work) {
      EXPECT_TRUE(set_read_only(dir.file("work"), true));
    }
  }
  run_options o;
  o.cwd = dir.path;
  if (reference) o.env.push_back({"XH_SORT_ENGINE", "reference"});
  if (!memory_mb.empty()) o.env.push_back({"XH_SORT_MEMORY_MB", memory_mb});
  result r;
  // Root would write through the protection; an unprivileged user, where
  // one can be had, meets it as the viewer's user does.
  uint32_t uid, gid;
  if (read_only_work && unprivileged_user(&uid, &gid)) {
    EXPECT_TRUE(give_to_user(dir.path, uid, gid));
    r.run = run_as_user(uid, gid, program_path(), args, o);
  } else {
    r.run = run_fsutil(args, o);
  }
  if (!read_file(dir.file("work"), &r.work)) r.work = "<missing>";
  if (read_only_work) set_read_only(dir.file("work"), false);
  if (!read_file(dir.file("index"), &r.index)) r.index = "<missing>";
  // Full paths differ between the two directories.
  for (std::string* s : {&r.run.out, &r.run.err}) {
    for (size_t at; (at = s->find(dir.path)) != std::string::npos;)
      s->replace(at, dir.path.size(), "DIR");
  }
  return r;
}

void expect_same_runs(const std::vector<std::string>& args,
                      const std::string& input, const std::string& old_work,
                      const std::string& memory_mb = "",
                      bool read_only_work = false) {
  result want = run_sort(args, input, old_work, true, "", read_only_work);
  result got = run_sort(args, input, old_work, false, memory_mb,
                        read_only_work);
  EXPECT_EQ(want.run.status, got.run.status) << args[0];
  EXPECT_EQ(want.run.out, got.run.out) << args[0];
  EXPECT_EQ(want.run.err, got.run.err) << args[0];
  EXPECT_TRUE(want.work == got.work) << args[0] << ": work files differ";
  EXPECT_TRUE(want.index == got.index) << args[0] << ": index files differ";
}

TEST(SortEngines, EveryCommandAndKeyGivesTheReferenceFiles) {
  const std::string cb = records(80, 3001, 1), st = records(128, 2048, 2),
                    gu = records(164, 1025, 3);
  for (const char* column : {"0", "1", "2", "3"})
    expect_same_runs({"--sort", "in", "work", "index", column, "3001"}, cb,
                     "");
  expect_same_runs({"--statessort", "in", "work", "index", "9", "2000"}, st,
                   std::string(2 * 2048 * 132 + 17, 'g'));
  for (const char* key : {"0", "1"})
    expect_same_runs({"--gurusort", "in", "work", "index", key, "1025"}, gu,
                     "");
}

// A budget of 1 MiB makes blocks of 4096 call-browser records and a loser
// tree over them.
TEST(SortEngines, SmallMemoryBudgetGivesTheSameFiles) {
  const std::string cb = records(80, 40000, 4);
  expect_same_runs({"--sort", "in", "work", "index", "1", "40000"}, cb, "",
                   "1");
  const std::string st = records(128, 30000, 5);
  expect_same_runs({"--statessort", "in", "work", "index", "0", "29999"}, st,
                   "", "1");
}

// The key check of the guru ordering ends the program at the first
// comparison: the load must already be in the work file, nothing else.
TEST(SortEngines, GuruKeyAssertionLeavesTheLoadedWorkFile) {
  const std::string gu = records(164, 300, 6);
  expect_same_runs({"--gurusort", "in", "work", "index", "2", "300"}, gu,
                   std::string(2 * 300 * 168, 'o'));
  expect_same_runs({"--gurusort", "in", "work", "index", "2", "300"}, gu, "",
                   "1");
  result r = run_sort({"--gurusort", "in", "work", "index", "2", "300"}, gu,
                      "", false);
  EXPECT_EQ(1u, r.run.status);
  EXPECT_EQ("", r.run.out);
  expect_same_runs({"--gurusort", "in", "work", "index", "2", "1"}, gu, "");
}

TEST(SortEngines, ShortInputAndBadCountsFailAlike) {
  const std::string cb = records(80, 50, 7) + "part";
  expect_same_runs({"--sort", "in", "work", "index", "0", "51"}, cb, "");
  expect_same_runs({"--sort", "in", "work", "index", "0", "4294967295"}, cb,
                   "");
  expect_same_runs({"--sort", "in", "work", "index", "0", "0"}, "tiny", "");
  expect_same_runs({"--statessort", "missing", "work", "index", "0", "3"}, cb,
                   "");
  // A write-protected work file: too small, and large enough.  Run as
  // root where no unprivileged user can be had, the program sorts through
  // the protection; the two engines must still agree.
  expect_same_runs({"--sort", "in", "work", "index", "0", "50"}, cb,
                   std::string(100, 'p'), "", true);
  expect_same_runs({"--sort", "in", "work", "index", "0", "50"}, cb,
                   std::string(2 * 50 * 84, 'p'), "", true);
}

// A memory size that is no size is named on standard error, in one line;
// the run goes on with the default, exactly as without the variable.
TEST(SortEngines, BadMemorySizeIsReportedAndTheDefaultUsed) {
  const std::string cb = records(80, 500, 8);
  const std::vector<std::string> args = {"--sort", "in", "work", "index", "2",
                                         "500"};
  result want = run_sort(args, cb, "", true);
  for (const char* value : {"0", "-1", "2MB"}) {
    result got = run_sort(args, cb, "", false, value);
    EXPECT_EQ(0u, got.run.status) << value;
    EXPECT_EQ(want.run.out, got.run.out) << value;
    EXPECT_EQ(nl(std::string("xhistory_fsutil: warning: XH_SORT_MEMORY_MB=\"") +
                 value +
                 "\" is not a number of mebibytes from 1 to 1024; using 256\n"),
              got.run.err);
    EXPECT_TRUE(want.work == got.work) << value;
    EXPECT_TRUE(want.index == got.index) << value;
  }
}

}  // namespace
