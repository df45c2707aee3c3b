// The contract of extsort_run, held by each engine in turn, and the choice
// between them.
#include "history/gui/extsort/extsort.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

#include <string>

#include "history/gui/extsort/extsort_fast.h"
#include "history/gui/extsort/extsort_windowed.h"
#include "history/gui/extsort/merge_model.h"
#include "platform/plat.h"
#include "tests/harness.h"

namespace {

uint32_t u32_at(const void* p) {
  const uint8_t* b = (const uint8_t*)p;
  return b[0] | b[1] << 8 | b[2] << 16 | (uint32_t)b[3] << 24;
}

// The larger leading u32 first.
int key_desc(const void*, const void* a, const void* b) {
  uint32_t x = u32_at(a), y = u32_at(b);
  return x > y ? -1 : x < y ? 1 : 0;
}

int all_equal(const void*, const void*, const void*) { return 0; }

// A fixed but arbitrary verdict for every ordered pair of leading u32s:
// neither transitive nor antisymmetric, so only the exact merge order of the
// engine reproduces the model's files.
int tournament(const void*, const void* a, const void* b) {
  uint32_t h = u32_at(a) * 2654435761u ^ (u32_at(b) + 0x9e3779b9u) * 40503u;
  h ^= h >> 15;
  return (int)(h % 3) - 1;
}

std::string u32le(uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[i] = (char)(v >> (8 * i));
  return s;
}

// count records of rs bytes whose leading u32 is drawn from few values, so
// that ties are common.
std::string make_records(uint32_t count, uint32_t rs, uint32_t seed,
                         uint32_t distinct) {
  std::string s;
  uint32_t x = seed * 2891336453u + 1;
  for (uint32_t i = 0; i < count; ++i) {
    x = x * 1103515245u + 12345u;
    std::string r = u32le((x >> 8) % distinct);
    r += u32le(i);
    r.resize(rs, (char)(i * 31));
    s += r;
  }
  return s;
}

struct sort_run {
  int ok = 0;
  std::string out;
};

struct engine_case {
  const char* name;
  extsort_engine run;
};

const engine_case kEngines[] = {{"windowed", extsort_run_windowed},
                                {"fast", extsort_run_fast}};

// Each case below runs once per engine; its name ends with the engine's.
class ExtsortEngine : public testing::TestWithParam<engine_case> {
 protected:
  sort_run run(const std::string& in, const std::string& work,
               const std::string& index, int32_t count, uint32_t rs,
               extsort_cmp cmp, const char* name = "t") {
    sort_run r;
    r.out = capture_stdout([&] {
      r.ok = GetParam().run(in.c_str(), work.c_str(), index.c_str(), count, rs,
                            name, nullptr, cmp);
    });
    return r;
  }

  // Runs the engine and checks both files, byte for byte, against the model.
  void expect_model(uint32_t count, uint32_t n, uint32_t rs, extsort_cmp cmp,
                    uint32_t seed, uint32_t distinct, size_t old_extra);
};

INSTANTIATE_TEST_SUITE_P(
    Engines, ExtsortEngine, testing::ValuesIn(kEngines),
    [](const testing::TestParamInfo<engine_case>& info) {
      return std::string(info.param.name);
    });

std::string contents(const std::string& path) {
  std::string s;
  EXPECT_TRUE(read_file(path, &s)) << path;
  return s;
}

struct files {
  temp_dir dir;
  std::string in = dir.file("in"), work = dir.file("work"),
              index = dir.file("index");
};

TEST_P(ExtsortEngine, ProgressFollowsThePasses) {
  struct {
    int32_t count;
    const char* lines;
  } cases[] = {
      {0, "t_sort_done\n"},
      {1, "t_sort_progress 100.000000\nt_sort_done\n"},
      {2, "t_sort_progress 95.000000\nt_sort_progress 100.000000\n"
          "t_sort_done\n"},
      {5, "t_sort_progress 31.666666\nt_sort_progress 63.333332\n"
          "t_sort_progress 95.000000\nt_sort_progress 100.000000\n"
          "t_sort_done\n"},
      {8, "t_sort_progress 31.666666\nt_sort_progress 63.333332\n"
          "t_sort_progress 95.000000\nt_sort_progress 100.000000\n"
          "t_sort_done\n"},
  };
  for (const auto& c : cases) {
    files f;
    ASSERT_TRUE(write_file(f.in, make_records(8, 12, 1, 5)));
    sort_run r = run(f.in, f.work, f.index, c.count, 12, key_desc);
    EXPECT_EQ(1, r.ok);
    EXPECT_EQ(c.lines, r.out) << c.count;
    // Whatever the count, both files are sized for the whole input.
    EXPECT_EQ(2u * 8 * 16, contents(f.work).size());
    EXPECT_EQ(8u * 8, contents(f.index).size());
  }
  files f;
  ASSERT_TRUE(write_file(f.in, make_records(1000, 8, 2, 1000)));
  sort_run r = run(f.in, f.work, f.index, 1000, 8, key_desc);
  std::string want;
  char buf[64];
  for (int k = 1; k <= 10; ++k) {
    snprintf(buf, sizeof buf, "t_sort_progress %f\n", 9.5 * k);
    want += buf;
  }
  want += "t_sort_progress 100.000000\nt_sort_done\n";
  EXPECT_EQ(want, r.out);
}

void ExtsortEngine::expect_model(uint32_t count, uint32_t n, uint32_t rs,
                                 extsort_cmp cmp, uint32_t seed,
                                 uint32_t distinct, size_t old_extra) {
  files f;
  std::string input = make_records(n, rs, seed, distinct);
  ASSERT_TRUE(write_file(f.in, input + "xyz"));
  const size_t e = rs + 4;
  std::string old_work, old_index;
  if (old_extra != 0) {
    // Existing files, larger than needed and full of marks, must keep
    // every byte that the run does not own.
    old_work.assign(2 * n * e + old_extra, '\0');
    old_index.assign(8 * n + old_extra, '\0');
    for (size_t i = 0; i < old_work.size(); ++i) old_work[i] = (char)(i * 13);
    for (size_t i = 0; i < old_index.size(); ++i) old_index[i] = (char)(i * 5);
    ASSERT_TRUE(write_file(f.work, old_work));
    ASSERT_TRUE(write_file(f.index, old_index));
  } else {
    old_work.assign(2 * n * e, '\0');
    old_index.assign(8 * n, '\0');
  }
  sort_run r = run(f.in, f.work, f.index, (int32_t)count, rs, cmp);
  ASSERT_EQ(1, r.ok) << r.out;
  merge_model m = model_sort(input, rs, count, nullptr, cmp);
  EXPECT_TRUE(model_work_file(m, input, rs, old_work) == contents(f.work))
      << "work file differs, count " << count << " seed " << seed;
  EXPECT_TRUE(model_index_file(m, old_index) == contents(f.index))
      << "index file differs, count " << count << " seed " << seed;
}

TEST_P(ExtsortEngine, FilesMatchTheMergeModelForAnyComparison) {
  uint32_t seed = 1;
  for (uint32_t count : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 9u, 16u, 17u, 31u, 33u,
                         100u, 127u, 128u, 129u}) {
    for (extsort_cmp cmp : {tournament, key_desc, all_equal}) {
      expect_model(count, count, 8, cmp, seed++, 7, 0);
      expect_model(count, count + 3, 13, cmp, seed++, 3, 77);
    }
  }
}

TEST_P(ExtsortEngine, CountsAroundWindowEdges) {
  // 80-byte records make 84-byte elements, 2048 of them to a window: these
  // counts put run and half boundaries on and beside window edges.
  uint32_t seed = 100;
  for (uint32_t count : {2047u, 2048u, 2049u, 4095u, 4097u})
    expect_model(count, count + 1, 80, tournament, seed++, 50, 0);
  expect_model(3000, 3000, 164, key_desc, seed++, 10, 1000);
}

TEST_P(ExtsortEngine, EqualRecordsComeOutInReverse) {
  files f;
  ASSERT_TRUE(write_file(f.in, make_records(5, 8, 3, 1)));
  ASSERT_EQ(1, run(f.in, f.work, f.index, 5, 8, all_equal).ok);
  std::string want;
  const uint32_t ranks[5] = {4, 3, 2, 1, 0};
  for (uint32_t j = 0; j < 5; ++j) want += u32le(4 - j) + u32le(ranks[j]);
  EXPECT_EQ(want, contents(f.index));
}

TEST_P(ExtsortEngine, EachFailureEndsWithOneLineAndTouchesNoLaterFile) {
  {
    files f;
    sort_run r = run(f.in, f.work, f.index, 3, 8, key_desc, "states");
    EXPECT_EQ(0, r.ok);
    EXPECT_EQ("states_sort_error Unable to open " + f.in + " for reading\n\n",
              r.out);
    EXPECT_FALSE(file_exists(f.work));
    EXPECT_FALSE(file_exists(f.index));
  }
  {
    files f;
    ASSERT_TRUE(write_file(f.in, make_records(4, 8, 1, 9)));
    EXPECT_EQ("t_sort_error Invalid count: -1\n\n",
              run(f.in, f.work, f.index, -1, 8, key_desc).out);
    EXPECT_EQ("t_sort_error Invalid size: 0\n\n",
              run(f.in, f.work, f.index, 1, 0, key_desc).out);
    EXPECT_EQ("t_sort_error Invalid size: -8\n\n",
              run(f.in, f.work, f.index, 1, (uint32_t)-8, key_desc).out);
    EXPECT_FALSE(file_exists(f.work));
    // One record more than the input holds: the load stops at the input.
    sort_run r = run(f.in, f.work, f.index, 5, 8, key_desc);
    EXPECT_EQ("t_sort_error Unable to read from " + f.in + "\n\n", r.out);
    EXPECT_EQ(2u * 4 * 12, contents(f.work).size());
  }
  {
    files f;
    ASSERT_TRUE(write_file(f.in, make_records(4, 8, 1, 9)));
    std::string work = f.dir.file("missing") + native_separator() + "work";
    sort_run r = run(f.in, work, f.index, 2, 8, key_desc);
    EXPECT_EQ("t_sort_error Unable to write to " + work + "\n\n", r.out);
    EXPECT_FALSE(file_exists(f.index));
    // A directory passes the size check but cannot be opened.
    ASSERT_TRUE(make_dir(f.work));
    r = run(f.in, f.work, f.index, 2, 8, key_desc);
    EXPECT_EQ("t_sort_error Unable to open " + f.work + " for read/write\n\n",
              r.out);
    std::string index_dir = f.dir.file("index_dir");
    ASSERT_TRUE(make_dir(index_dir));
    r = run(f.in, f.dir.file("w2"), index_dir, 2, 8, key_desc);
    EXPECT_EQ("t_sort_error Unable to open " + index_dir + " for writing\n\n",
              r.out);
  }
}

// An input without a whole record sorts nothing: the files are made empty,
// or kept as they are, and every run gives the same answer, the first one
// included.  A count above 0 then asks for records that are not there.
TEST_P(ExtsortEngine, InputWithoutAWholeRecord) {
  for (const char* input : {"", "short"}) {
    SCOPED_TRACE(std::string("input \"") + input + "\"");
    files f;
    ASSERT_TRUE(write_file(f.in, input));
    for (int again = 0; again < 2; ++again) {
      sort_run r = run(f.in, f.work, f.index, 0, 8, key_desc);
      EXPECT_EQ(1, r.ok);
      EXPECT_EQ("t_sort_done\n", r.out);
      EXPECT_EQ("", contents(f.work));
      EXPECT_EQ("", contents(f.index));
    }
    files g;
    ASSERT_TRUE(write_file(g.in, input));
    sort_run r = run(g.in, g.work, g.index, 1, 8, key_desc);
    EXPECT_EQ(0, r.ok);
    EXPECT_EQ("t_sort_error Unable to read from " + g.in + "\n\n", r.out);
    EXPECT_EQ("", contents(g.work));
    EXPECT_EQ("", contents(g.index));
    // Files that exist already keep every byte.
    ASSERT_TRUE(write_file(f.work, "old work"));
    ASSERT_TRUE(write_file(f.index, "old index"));
    r = run(f.in, f.work, f.index, 0, 8, key_desc);
    EXPECT_EQ("t_sort_done\n", r.out);
    r = run(f.in, f.work, f.index, 3, 8, key_desc);
    EXPECT_EQ("t_sort_error Unable to read from " + f.in + "\n\n", r.out);
    EXPECT_EQ("old work", contents(f.work));
    EXPECT_EQ("old index", contents(f.index));
  }
}

TEST(ExtsortSelection, ReferenceSelectsTheWindowedEngine) {
  const char* before = plat_getenv("XH_SORT_ENGINE");
  const std::string saved = before ? before : "";
  plat_setenv("XH_SORT_ENGINE", "reference");
  EXPECT_TRUE(extsort_selected_engine() == extsort_run_windowed);
  for (const char* other : {"", "fast", "windowed", "Reference"}) {
    plat_setenv("XH_SORT_ENGINE", other);
    EXPECT_TRUE(extsort_selected_engine() == extsort_run_fast) << other;
  }
  plat_setenv("XH_SORT_ENGINE", saved.c_str());
}

}  // namespace
