// Every file operation of the copy and of both sort engines fails in turn,
// through the program with faults (tests/fault/fault_ops.h), on every
// platform.  Whatever fails, the source stays as it was, a destination is
// either a complete copy or gone, and the last line says which.
#include <stdio.h>
#include <stdlib.h>

#include <map>
#include <sstream>

#include <gtest/gtest.h>

#include "tests/harness.h"

namespace {

// Which calls of an operation made `count` times to fail: all of a few;
// of many, the first ones, a spread and the last ones.
std::vector<int> calls_to_fail(int count) {
  std::vector<int> picks;
  for (int n = 1; n <= count; ++n)
    if (count <= 24 || n <= 8 || n > count - 3 || n % (count / 10) == 0)
      picks.push_back(n);
  return picks;
}

std::string random_bytes(size_t n, unsigned seed) {
  std::string s(n, 0);
  for (size_t i = 0; i < n; ++i) {
    seed = seed * 1103515245u + 12345u;
    s[i] = (char)(seed >> 16);
  }
  return s;
}

// Counts of each operation in a run without faults.
std::map<std::string, int> operation_counts(const std::string& log) {
  std::map<std::string, int> counts;
  std::string text;
  read_file(log, &text);
  std::istringstream in(text);
  std::string op;
  int n;
  while (in >> op >> n) counts[op] = std::max(counts[op], n);
  return counts;
}

// Runs the program with faults in dir: the chosen faults (none for "")
// and the operation log at log (none for "").
// The sort's settings: its engine, memory and threads ("" for the default).
struct sort_setting {
  std::string engine, memory_mb, threads;
};

run_result run_faulty(const temp_dir& dir, const std::vector<std::string>& args,
                      const std::string& faults, const std::string& log,
                      const sort_setting& sort = sort_setting()) {
  run_options o;
  o.env = {{"XH_FAULT_DIR", dir.path}, {"XH_FAULT", faults},
           {"XH_FAULT_LOG", log}, {"XH_FAULT_ERRNO", "EIO"},
           {"XH_SORT_ENGINE", sort.engine}, {"XH_SORT_MEMORY_MB", sort.memory_mb},
           {"XH_SORT_THREADS", sort.threads}};
  return run_program(fault_program_path(), args, o);
}

// The last line that is not empty (error texts may end in a newline of
// their own).
std::string last_line(std::string out) {
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  size_t start = out.rfind('\n');
  return start == std::string::npos ? out : out.substr(start + 1);
}

// The side that a failure of call n of op must name, when the copy cannot
// get past it: a read is the source's, a write the destination's, and so
// are the two opens in their order.  "" where the copy may get past the
// failure (a failed copy inside the kernel is done again through the
// buffer) or where either end is sound.
std::string side_of(const std::string& op, int n) {
  if (op == "read" || (op == "open" && n == 1)) return "reading from source";
  if (op == "write" || (op == "open" && n == 2)) return "writing to destination";
  return "";
}

// Fails every counted operation of the copy in turn, on top of the faults
// in base (which a run without further faults must survive).
void fail_each_operation_of_the_copy(const std::string& base) {
  temp_dir dir;
  std::string src = dir.file("src.bin"), dst = dir.file("dst.bin");
  std::string content = random_bytes(3 * 1024 * 1024 + 512 * 1024, 7);
  ASSERT_TRUE(write_file(src, content));

  std::vector<std::string> args = {"--copy", src, dst};
  run_result clean = run_faulty(dir, args, base, dir.file("ops.log"));
  ASSERT_EQ(0u, clean.status);
  ASSERT_EQ(nl("copy_pct 28\ncopy_pct 57\ncopy_pct 85\ncopy_pct 100\ncopy_done \n"), clean.out);
  std::map<std::string, int> counts = operation_counts(dir.file("ops.log"));
  // Four chunks and the end, inside the kernel or through the buffer.
  EXPECT_GE(counts["read"] + counts["copy"], 5);
  EXPECT_EQ(2, counts["open"]);

  int tried = 0;
  for (const auto& kv : counts) {
    for (int n : calls_to_fail(kv.second)) {
      remove(dst.c_str());
      std::string fault = kv.first + ":" + std::to_string(n);
      std::string what = base + " " + fault;
      run_result r = run_faulty(dir, args, base.empty() ? fault : base + "," + fault, "");
      std::string kept;
      ASSERT_TRUE(read_file(src, &kept)) << what;
      EXPECT_TRUE(kept == content) << what << ": the source changed";
      std::string last = last_line(r.out);
      if (last == "copy_done ") {
        std::string copied;
        ASSERT_TRUE(read_file(dst, &copied)) << what;
        EXPECT_TRUE(copied == content) << what << ": copy_done with a wrong copy";
        EXPECT_EQ(0u, r.status) << what;
        EXPECT_EQ("", side_of(kv.first, n)) << what << ": a failure went unnoticed";
      } else {
        EXPECT_EQ(0u, last.find("copy_err \"")) << what << ": " << r.out;
        std::string side = side_of(kv.first, n);
        if (!side.empty()) {
          EXPECT_NE(std::string::npos, last.find("Error " + side)) << what << ": " << last;
        }
        EXPECT_FALSE(file_exists(dst)) << what << ": a partial destination stayed";
        EXPECT_EQ(status_minus1(), r.status) << what;
      }
      ++tried;
    }
  }
  EXPECT_GT(tried, 10);
}

// The copy as it runs: inside the kernel where the system has such a copy
// (Linux), through the buffer elsewhere.
TEST(FaultInjection, EveryFileOperationOfTheCopy) {
  fail_each_operation_of_the_copy("");
}

// The kernel declines at once, as it does between two file systems: the
// copy reads and writes through its buffer.
TEST(FaultInjection, EveryFileOperationOfTheCopyThroughItsBuffer) {
  fail_each_operation_of_the_copy("copy:1:ENOSYS");
}

// The same for the sort, with each engine: no fault may end in a done
// line unless the index is the one a run without faults writes, and the
// input never changes.
void fail_each_operation_of_the_sort(const sort_setting& sort, int count = 5000) {
  const std::string& engine = sort.engine;
  temp_dir dir;
  std::string in = dir.file("in.rec"), work = dir.file("work"), index = dir.file("index");
  const int kCount = count;
  std::string content = random_bytes(80 * kCount, 11);
  ASSERT_TRUE(write_file(in, content));

  std::vector<std::string> args = {"--sort", in, work, index, "1", std::to_string(kCount)};
  run_result clean = run_faulty(dir, args, "", dir.file("ops.log"), sort);
  ASSERT_EQ(0u, clean.status) << clean.out << clean.err;
  ASSERT_EQ("callbrowser_sort_done", last_line(clean.out));
  std::string want_index;
  ASSERT_TRUE(read_file(index, &want_index));
  std::map<std::string, int> counts = operation_counts(dir.file("ops.log"));
  EXPECT_GE(counts["open"], 3);

  int tried = 0;
  for (const auto& kv : counts) {
    for (int n : calls_to_fail(kv.second)) {
      remove(work.c_str());
      remove(index.c_str());
      std::string fault = kv.first + ":" + std::to_string(n);
      std::string what = engine + " " + sort.threads + " " + fault;
      run_result r = run_faulty(dir, args, fault, "", sort);
      std::string kept;
      ASSERT_TRUE(read_file(in, &kept)) << what;
      EXPECT_TRUE(kept == content) << what << ": the input changed";
      EXPECT_EQ(0, r.signal) << what;
      std::string last = last_line(r.out);
      if (last == "callbrowser_sort_done") {
        std::string got;
        ASSERT_TRUE(read_file(index, &got)) << what;
        EXPECT_TRUE(got == want_index) << what << ": done with a wrong index";
        EXPECT_EQ(0u, r.status) << what;
      } else {
        EXPECT_EQ(0u, last.find("callbrowser_sort_error ")) << what << ": " << r.out
                                                            << r.err;
        EXPECT_EQ(1u, r.status) << what;
      }
      ++tried;
    }
  }
  EXPECT_GT(tried, 5);
}

// Several mapped windows of 80-byte records, all in the fast engine's
// memory, on two threads.
TEST(FaultInjection, EveryFileOperationOfTheFastSort) {
  fail_each_operation_of_the_sort({"", "", "2"});
}

// Blocks on two threads, the root's children side by side, the root's
// output written by a helper: every sweep of the fast engine.
TEST(FaultInjection, EveryFileOperationOfTheFastSortInSweeps) {
  fail_each_operation_of_the_sort({"", "1", "2"}, 30000);
}

TEST(FaultInjection, EveryFileOperationOfTheWindowedSort) {
  fail_each_operation_of_the_sort({"reference", "", ""});
}

}  // namespace
