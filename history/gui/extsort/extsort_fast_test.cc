// The fast engine against an in-memory evaluation of the level-by-level
// merge, on every record kind, on comparisons that are not orderings at
// all, with budgets that force many blocks and many loser-tree leaves.
#include "history/gui/extsort/extsort_fast.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "history/gui/callbrowser_shared.h"
#include "history/gui/extsort/extsort_windowed.h"
#include "history/gui/sort_kinds.h"
#include "platform/plat.h"
#include "platform/plat_thread.h"
#include "shared/genout.h"
#include "tests/harness.h"

namespace {

uint64_t get_u64(const void* p, uint32_t at) {
  const uint8_t* b = (const uint8_t*)p + at;
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = v << 8 | b[i];
  return v;
}

void put_u64(std::string* s, size_t at, uint64_t v) {
  for (int i = 0; i < 8; ++i) (*s)[at + i] = (char)(v >> (8 * i));
}

// ---- Comparisons of every shape -------------------------------------------

// A random tournament over the records' first eight bytes: -1, 0 or +1 by a
// hash of the ordered pair, so neither symmetric nor transitive.
int tournament_cmp(const void*, const void* a, const void* b) {
  uint64_t h = get_u64(a, 0) * 0x9E3779B97F4A7C15ull ^ get_u64(b, 0);
  h ^= h >> 29;
  h *= 0xBF58476D1CE4E5B9ull;
  h ^= h >> 32;
  return (int)(h % 3) - 1;
}

int all_equal_cmp(const void*, const void*, const void*) { return 0; }

struct rng {
  uint64_t s;
  uint64_t next() {
    s += 0x9E3779B97F4A7C15ull;
    uint64_t z = s;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  uint64_t below(uint64_t n) { return next() % n; }
};

// Records with few distinct values (so ties are common), some with the top
// bit set, every other byte random.
std::string make_records(rng* r, uint32_t size, uint64_t n, uint64_t spread) {
  std::string s(size * n, '\0');
  for (auto& c : s) c = (char)r->next();
  for (uint64_t i = 0; i < n; ++i) {
    for (uint32_t at = 0; at + 8 <= size && at < 64; at += 8) {
      uint64_t v = r->below(spread);
      if (r->below(4) == 0) v |= (uint64_t)1 << 63;
      put_u64(&s, i * size + at, v);
    }
    if (size > 16) s[i * size + 16] = (char)(r->below(2));
  }
  return s;
}

// ---- The expected outcome ---------------------------------------------------

uint32_t levels_for(uint64_t count) {
  uint32_t p = 0;
  while (((uint64_t)1 << p) < count) ++p;
  return p;
}

struct outcome {
  int result = 0;
  std::string out, work, index;
};

// Evaluates the level-by-level merge in memory and applies it to the old
// contents of the work and index files (already at their final length).
outcome model(const std::string& input, uint32_t rs, uint32_t count,
              const char* name, const void* key, extsort_cmp cmp,
              std::string work, std::string index) {
  const size_t e = rs + 4;
  const uint64_t n = input.size() / rs;
  if (work.size() < 2 * n * e) work.resize(2 * n * e, '\0');
  if (index.size() < 8 * n) index.resize(8 * n, '\0');
  std::string els(count * e, '\0');
  for (uint32_t i = 0; i < count; ++i) {
    memcpy(&els[i * e], &input[i * rs], rs);
    for (int b = 0; b < 4; ++b) els[i * e + rs + b] = (char)(i >> (8 * b));
  }
  const uint32_t P = levels_for(count);
  std::vector<std::string> stage = {els};
  for (uint64_t w = 1; w < count; w *= 2) {
    const std::string& s = stage.back();
    std::string next;
    for (uint64_t lo = 0; lo < count; lo += 2 * w) {
      uint64_t i = lo, mid = std::min<uint64_t>(lo + w, count), j = mid;
      uint64_t hi = std::min<uint64_t>(lo + 2 * w, count);
      while (i < mid && j < hi) {
        if (cmp(key, &s[i * e], &s[j * e]) < 0)
          next.append(s, i++ * e, e);
        else
          next.append(s, j++ * e, e);
      }
      next.append(s, i * e, (mid - i) * e);
      next.append(s, j * e, (hi - j) * e);
    }
    stage.push_back(next);
  }
  outcome o;
  o.result = 1;
  char line[128];
  for (uint32_t p = 1; p <= P; ++p) {
    snprintf(line, sizeof line, "%s_sort_progress %f\n", name,
             (double)(float)((double)p * 95.0 / (double)P));
    o.out += line;
  }
  if (count > 0) o.out += std::string(name) + "_sort_progress 100.000000\n";
  o.out += std::string(name) + "_sort_done\n";
  if (count > 0) {
    work.replace((P & 1) * count * e, count * e, stage[P]);
    if (P >= 1) work.replace(((P - 1) & 1) * count * e, count * e, stage[P - 1]);
  }
  const std::string& last = stage[P];
  for (uint32_t j = 0; j < count; ++j) {
    uint32_t p = 0;
    memcpy(&p, &last[j * e + rs], 4);  // the hosts are little-endian
    memcpy(&index[8 * j], &p, 4);
    memcpy(&index[8 * p + 4], &j, 4);
  }
  o.work = work;
  o.index = index;
  return o;
}

// ---- Running an engine ------------------------------------------------------

// Runs the engine with its lines captured, and collects them and both
// files.
outcome run(extsort_engine fn, const temp_dir& dir, int32_t count,
            uint32_t rs, const char* name, const void* key, extsort_cmp cmp) {
  const std::string in = dir.file("in"), work = dir.file("work"),
                    index = dir.file("index");
  outcome o;
  o.out = capture_stdout([&] {
    o.result = fn(in.c_str(), work.c_str(), index.c_str(), count, rs, name,
                  key, cmp);
  });
  if (!read_file(work, &o.work)) o.work = "<missing>";
  if (!read_file(index, &o.index)) o.index = "<missing>";
  return o;
}

struct ordering {
  const char* name;
  uint32_t record_size;
  const uint32_t* key;
  extsort_cmp cmp;
  unsigned char ascending;  // the call-browser direction of the column
};

const uint32_t kKeys[] = {0, 1, 2, 3, 9};

// The record kinds with every key, and two comparisons that are no
// ordering at all.
std::vector<ordering> orderings() {
  std::vector<ordering> v;
  for (int c = 0; c < 4; ++c)
    v.push_back({"callbrowser", 80, &kKeys[c], callbrowser_cmp,
                 (unsigned char)callbrowser_column_ascending((uint32_t)c)});
  v.push_back({"states", 128, &kKeys[4], states_cmp, 0});
  v.push_back({"guru", 164, &kKeys[0], guru_cmp, 0});
  v.push_back({"guru", 164, &kKeys[1], guru_cmp, 0});
  v.push_back({"tournament", 80, nullptr, tournament_cmp, 0});
  v.push_back({"equal", 128, nullptr, all_equal_cmp, 0});
  return v;
}

void expect_same(const outcome& want, const outcome& got, const char* what) {
  EXPECT_EQ(want.result, got.result) << what;
  EXPECT_EQ(want.out, got.out) << what;
  EXPECT_TRUE(want.work == got.work) << what << ": work files differ";
  EXPECT_TRUE(want.index == got.index) << what << ": index files differ";
}

// Sorts count of n records (n >= count) with the old work and index
// contents given, and checks every byte and line against the model.
void check(const ordering& o, rng* r, uint32_t count, uint64_t n,
           uint64_t memory, bool garbage_files) {
  SCOPED_TRACE(std::string(o.name) + " count " + std::to_string(count) +
               " n " + std::to_string(n) + " memory " +
               std::to_string(memory));
  temp_dir dir;
  std::string input =
      make_records(r, o.record_size, n, 1 + r->below(count + 2));
  if (o.cmp == tournament_cmp) {  // distinct identities for the hash
    for (uint64_t i = 0; i < n; ++i) put_u64(&input, i * 80, r->next());
  }
  input += std::string(r->below(o.record_size), 'x');  // a partial record
  ASSERT_TRUE(write_file(dir.file("in"), input));
  std::string work, index;
  if (garbage_files || n == 0) {
    const uint64_t e = o.record_size + 4;
    work.resize(2 * n * e + r->below(3 * e));
    index.resize(8 * n + r->below(24));
    for (auto& c : work) c = (char)r->next();
    for (auto& c : index) c = (char)r->next();
    ASSERT_TRUE(write_file(dir.file("work"), work));
    ASSERT_TRUE(write_file(dir.file("index"), index));
  }
  temp_dir ref_dir;
  ASSERT_TRUE(write_file(ref_dir.file("in"), input));
  if (garbage_files || n == 0) {
    ASSERT_TRUE(write_file(ref_dir.file("work"), work));
    ASSERT_TRUE(write_file(ref_dir.file("index"), index));
  }
  callbrowser_ascending = o.ascending;
  outcome want = run(extsort_run_windowed, ref_dir, (int32_t)count,
                     o.record_size, o.name, o.key, o.cmp);
  expect_same(model(input, o.record_size, count, o.name, o.key, o.cmp, work,
                    index),
              want, "model against the windowed engine");
  extsort_fast_set_memory(memory);
  outcome got = run(extsort_run_fast, dir, (int32_t)count, o.record_size,
                    o.name, o.key, o.cmp);
  expect_same(want, got, "the fast engine against the windowed one");
  // Again where no comparison ends the run: no load, and 1 to 3 threads.
  temp_dir direct_dir;
  ASSERT_TRUE(write_file(direct_dir.file("in"), input));
  if (garbage_files || n == 0) {
    ASSERT_TRUE(write_file(direct_dir.file("work"), work));
    ASSERT_TRUE(write_file(direct_dir.file("index"), index));
  }
  extsort_set_cmp_returns(1);
  extsort_fast_set_threads(1 + count % 3);
  got = run(extsort_run_fast, direct_dir, (int32_t)count, o.record_size,
            o.name, o.key, o.cmp);
  extsort_set_cmp_returns(0);
  extsort_fast_set_threads(0);
  extsort_fast_set_memory(0);
  expect_same(want, got, "the fast engine without the load");
}

// Budgets: everything in memory; blocks of 16 (84-byte elements); blocks
// of 2 to 4 with loser trees of many leaves and buffers of one element.
const uint64_t kBudgets[] = {0, 4096, 1024, 300};

// Every count to 300: the two-field rule each time (it is the one that
// needs the exact tree), and one of the other orderings in turn.  Files
// cost many times more under Wine, where every third count is run; the
// engine has no platform code above the positional reads and writes.
TEST(ExtsortFast, EveryCountUpTo300) {
  rng r = {1};
  const std::vector<ordering> all = orderings();
  const uint32_t step = on_win32() ? 3 : 1;
  for (uint32_t count = 0; count <= 300; count += step) {
    const uint64_t budget = kBudgets[count % 4];
    const uint64_t n = count + (count % 3);
    check(all[4], &r, count, n, budget, count % 5 == 1);
    const ordering& other = all[(count * 5) % all.size()];
    if (other.cmp != states_cmp) check(other, &r, count, n, budget, count % 7 == 2);
    if (HasFailure()) return;
  }
}

TEST(ExtsortFast, PowersOfTwoAndTheirNeighbours) {
  rng r = {2};
  const std::vector<ordering> all = orderings();
  uint32_t turn = 0;
  for (uint32_t p = 9; p <= 13; ++p) {
    for (int d = -1; d <= 1; ++d) {
      const uint32_t count = ((uint32_t)1 << p) + d;
      for (int twice = 0; twice < 2; ++twice) {
        check(all[turn++ % all.size()], &r, count, count + (uint32_t)r.below(3),
              r.below(2) ? 16384 : 65536, r.below(2) == 0);
      }
      if (HasFailure()) return;
    }
  }
}

TEST(ExtsortFast, LargerRandomCounts) {
  rng r = {3};
  for (const ordering& o : orderings()) {
    const uint32_t count = 5000 + (uint32_t)r.below(25000);
    check(o, &r, count, count + (uint32_t)r.below(5), 64 * 1024, false);
  }
  // Some hundred thousand records with the default budget (all in memory)
  // and with one that makes a loser tree of 256 leaves.
  const uint32_t count = 100000 + (uint32_t)r.below(100000);
  check(orderings()[4], &r, count, count, 0, false);
  check(orderings()[4], &r, count, count, 1 << 20, true);
}

// Few distinct keys, so that long stretches of equal records meet at every
// kind of boundary: counts at and beside multiples of the block, the index
// chunk and the share of each thread, and just past powers of two, where
// the root's right child is small; on one, two and three threads.
TEST(ExtsortFast, ManyEqualKeysAcrossBlocksAndThreads) {
  rng r = {7};
  const std::vector<ordering> all = orderings();
  // 16 KiB: blocks of 32 elements (84 bytes) on two threads and of 16 on
  // three.  3 MiB: blocks of 4096 on two threads, each merged in index
  // chunks of 2048 first; everything to 34000 records in memory.
  const uint64_t kBudgets[] = {16 * 1024, 3 << 20, 0};
  const uint32_t counts[] = {31,   32,   33,   95,   96,   97,   511,  513,
                             1023, 1025, 2047, 2048, 2049, 4097, 8193, 40961};
  uint32_t turn = 0;
  for (uint32_t count : counts) {
    // The windowed engine's mapped windows cost many times more under
    // Wine; LargerRandomCounts sorts chunked blocks there.
    if (on_win32() && count > 10000) continue;
    const ordering& o = all[turn++ % all.size()];
    SCOPED_TRACE(std::string(o.name) + " " + std::to_string(count));
    temp_dir ref_dir;
    std::string input = make_records(&r, o.record_size, count, 3);
    ASSERT_TRUE(write_file(ref_dir.file("in"), input));
    callbrowser_ascending = o.ascending;
    outcome want = run(extsort_run_windowed, ref_dir, (int32_t)count,
                       o.record_size, o.name, o.key, o.cmp);
    for (uint64_t budget : kBudgets) {
      for (uint32_t threads = 1; threads <= 3; ++threads) {
        temp_dir d;
        ASSERT_TRUE(write_file(d.file("in"), input));
        extsort_set_cmp_returns(1);
        extsort_fast_set_threads(threads);
        extsort_fast_set_memory(budget);
        outcome got = run(extsort_run_fast, d, (int32_t)count, o.record_size,
                          o.name, o.key, o.cmp);
        extsort_set_cmp_returns(0);
        extsort_fast_set_threads(0);
        extsort_fast_set_memory(0);
        const std::string what = "budget " + std::to_string(budget) +
                                 " threads " + std::to_string(threads);
        expect_same(want, got, what.c_str());
        if (HasFailure()) return;
      }
    }
  }
}

// Progress values of the level-by-level engine.
TEST(ExtsortFast, ProgressLines) {
  rng r = {4};
  const ordering o = orderings()[0];
  for (uint32_t count : {1u, 2u, 5u, 8u, 1000u}) {
    temp_dir dir;
    ASSERT_TRUE(write_file(dir.file("in"), make_records(&r, 80, count, 50)));
    outcome got = run(extsort_run_fast, dir, (int32_t)count, 80,
                      "callbrowser", o.key, o.cmp);
    std::string want;
    if (count == 2) want = "callbrowser_sort_progress 95.000000\n";
    if (count == 5 || count == 8)
      want =
          "callbrowser_sort_progress 31.666666\n"
          "callbrowser_sort_progress 63.333332\n"
          "callbrowser_sort_progress 95.000000\n";
    if (count == 1000) {
      char line[64];
      for (int p = 1; p <= 10; ++p) {
        snprintf(line, sizeof line, "callbrowser_sort_progress %f\n",
                 9.5 * p);
        want += line;
      }
    }
    want += "callbrowser_sort_progress 100.000000\ncallbrowser_sort_done\n";
    EXPECT_EQ(want, got.out) << count;
  }
}

// Records that all compare equal come out in the reverse of input order.
TEST(ExtsortFast, EqualRecordsReverse) {
  temp_dir dir;
  ASSERT_TRUE(write_file(dir.file("in"), std::string(5 * 128, 'q')));
  outcome got = run(extsort_run_fast, dir, 5, 128, "states", nullptr,
                    all_equal_cmp);
  ASSERT_EQ(1, got.result);
  ASSERT_EQ(40u, got.index.size());
  for (uint32_t j = 0; j < 5; ++j) {
    uint32_t p, rank;
    memcpy(&p, &got.index[8 * j], 4);
    memcpy(&rank, &got.index[8 * j + 4], 4);
    EXPECT_EQ(4 - j, p);
    EXPECT_EQ(4 - j, rank);
  }
}

// Runs both engines on the files that setup makes, each in a directory of
// its own (so that neither sees the other's output or work files), and
// hands back the fast engine's outcome after checking it
// against the windowed engine's, with the directory names made equal.
outcome both(const temp_dir& dir,
             const std::function<void(const temp_dir&)>& setup, int32_t count,
             uint32_t rs, const char* name, const void* key, extsort_cmp cmp,
             uint64_t memory = 0) {
  temp_dir ref_dir;
  setup(ref_dir);
  outcome want = run(extsort_run_windowed, ref_dir, count, rs, name, key, cmp);
  for (size_t at; (at = want.out.find(ref_dir.path)) != std::string::npos;)
    want.out.replace(at, ref_dir.path.size(), dir.path);
  setup(dir);
  extsort_fast_set_memory(memory);
  outcome got = run(extsort_run_fast, dir, count, rs, name, key, cmp);
  extsort_fast_set_memory(0);
  expect_same(want, got, "failure state");
  return got;
}

// Failures: one error line, and the files as far as the run got.
TEST(ExtsortFast, FailuresLeaveTheFilesAsFarAsTheRunGot) {
  const ordering o = orderings()[0];
  auto nothing = [](const temp_dir&) {};
  {
    temp_dir dir;
    outcome got = both(dir, nothing, -1, 80, "callbrowser", o.key, o.cmp);
    EXPECT_EQ(0, got.result);
    EXPECT_EQ("callbrowser_sort_error Invalid count: -1\n\n", got.out);
    EXPECT_EQ("<missing>", got.work);
    got = both(dir, nothing, 3, 0, "callbrowser", o.key, o.cmp);
    EXPECT_EQ("callbrowser_sort_error Invalid size: 0\n\n", got.out);
    got = both(dir, nothing, 3, 0x80000000u, "callbrowser", o.key, o.cmp);
    EXPECT_EQ("callbrowser_sort_error Invalid size: -2147483648\n\n",
              got.out);
  }
  {  // A missing input touches nothing.
    temp_dir dir;
    outcome got = both(dir, nothing, 3, 128, "states", &kKeys[0], states_cmp);
    EXPECT_EQ("states_sort_error Unable to open " + dir.file("in") +
                  " for reading\n\n",
              got.out);
    EXPECT_EQ("<missing>", got.work);
    EXPECT_EQ("<missing>", got.index);
  }
  {  // No whole record and no work file yet: empty files, and the done line.
    temp_dir dir;
    outcome got = both(
        dir, [](const temp_dir& d) { write_file(d.file("in"), "short"); }, 0,
        164, "guru", &kKeys[0], guru_cmp);
    EXPECT_EQ(1, got.result);
    EXPECT_EQ("guru_sort_done\n", got.out);
    EXPECT_EQ("", got.work);
    EXPECT_EQ("", got.index);
    got = both(
        dir, [](const temp_dir& d) { write_file(d.file("in"), "short"); }, 2,
        164, "guru", &kKeys[0], guru_cmp);
    EXPECT_EQ("guru_sort_error Unable to read from " + dir.file("in") +
                  "\n\n",
              got.out);
  }
  {  // Count 0 sizes both files and writes only the done line.
    temp_dir dir;
    rng r = {5};
    const std::string input = make_records(&r, 80, 7, 9);
    outcome got = both(
        dir, [&](const temp_dir& d) { write_file(d.file("in"), input); }, 0,
        80, "callbrowser", o.key, o.cmp);
    EXPECT_EQ(1, got.result);
    EXPECT_EQ("callbrowser_sort_done\n", got.out);
    EXPECT_EQ(std::string(2 * 7 * 84, '\0'), got.work);
    EXPECT_EQ(std::string(8 * 7, '\0'), got.index);
  }
  // A count beyond the whole records loads those that exist, then fails;
  // old bytes past them survive.
  for (uint64_t memory : {(uint64_t)0, (uint64_t)1024}) {
    temp_dir dir;
    rng r = {6};
    const std::string input = make_records(&r, 80, 10, 9) + "part";
    const std::string old_work(2 * 10 * 84 + 5, 'w');
    outcome got = both(
        dir,
        [&](const temp_dir& d) {
          write_file(d.file("in"), input);
          write_file(d.file("work"), old_work);
        },
        11, 80, "callbrowser", o.key, o.cmp, memory);
    EXPECT_EQ("callbrowser_sort_error Unable to read from " +
                  dir.file("in") + "\n\n",
              got.out);
    std::string want = old_work;
    for (uint32_t i = 0; i < 10; ++i) {
      memcpy(&want[i * 84], &input[i * 80], 80);
      memcpy(&want[i * 84 + 80], &i, 4);
    }
    EXPECT_TRUE(want == got.work);
    EXPECT_EQ(std::string(80, '\0'), got.index);
  }
}

std::vector<std::string> g_messages;
void record_message(int level, const char* format, va_list args) {
  char text[512];
  vsnprintf(text, sizeof text, format, args);
  g_messages.push_back(std::to_string(level) + " " + text);
}

// A value that is not taken as it stands says so, once, on the diagnostic
// stream: what was set and what is used.
TEST(ExtsortFast, MemoryBudgetFromTheEnvironment) {
  extsort_fast_set_memory(0);
  const struct {
    const char* value;
    uint64_t mib;
    bool warned;
  } cases[] = {{"3", 3, false},     {"1024", 1024, false}, {"007", 7, false},
               {"", 256, false},    {"5000", 1024, true},  {"0", 256, true},
               {"-1", 256, true},   {"2MB", 256, true},    {"12x", 256, true},
               {" 5", 256, true},   {"99999999999999999999999", 1024, true}};
  void (*saved)(int, const char*, va_list) = gen_message_entry;
  gen_message_entry = record_message;
  for (const auto& c : cases) {
    g_messages.clear();
    plat_setenv("XH_SORT_MEMORY_MB", c.value);
    EXPECT_EQ(c.mib << 20, extsort_fast_memory()) << c.value;
    std::vector<std::string> want;
    if (c.warned)
      want.push_back(std::to_string(GEN_LEVEL_WARNING) +
                     " XH_SORT_MEMORY_MB=\"" + c.value +
                     "\" is not a number of mebibytes from 1 to 1024; using " +
                     std::to_string(c.mib));
    EXPECT_EQ(want, g_messages) << c.value;
  }
  gen_message_entry = saved;
  plat_setenv("XH_SORT_MEMORY_MB", "");
  extsort_fast_set_memory(12345);
  EXPECT_EQ(12345u, extsort_fast_memory());
  extsort_fast_set_memory(0);
}

TEST(ExtsortFast, ThreadsFromTheEnvironment) {
  extsort_fast_set_threads(0);
  plat_setenv("XH_SORT_THREADS", "");
  const uint32_t cpus = plat_cpu_count();
  const uint32_t by_default = cpus < 2 ? cpus : 2;
  EXPECT_EQ(by_default, extsort_fast_threads());
  const struct {
    const char* value;
    uint32_t threads;
  } cases[] = {{"1", 1}, {"3", 3}, {"99", 8}, {"0", by_default}, {"2x", by_default}};
  for (const auto& c : cases) {
    plat_setenv("XH_SORT_THREADS", c.value);
    EXPECT_EQ(c.threads, extsort_fast_threads()) << c.value;
  }
  plat_setenv("XH_SORT_THREADS", "");
  extsort_fast_set_threads(5);
  EXPECT_EQ(5u, extsort_fast_threads());
  extsort_fast_set_threads(0);
}

}  // namespace
