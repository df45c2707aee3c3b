// The three orderings, alone and through the fast engine against oracles
// that share none of its code.
#include "history/gui/sort_kinds.h"

#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "history/gui/callbrowser_shared.h"
#include "history/gui/extsort/extsort_fast.h"
#include "history/gui/extsort/merge_model.h"
#include "tests/harness.h"

namespace {

void put_u64(std::string* r, size_t at, uint64_t v) {
  for (int i = 0; i < 8; ++i) (*r)[at + i] = (char)(v >> (8 * i));
}

std::string callbrowser(uint32_t column, uint64_t primary, uint64_t secondary) {
  std::string r(80, '\x5a');
  put_u64(&r, 16 * column, primary);
  put_u64(&r, 16 * column + 8, secondary);
  return r;
}

std::string states(uint64_t first, uint64_t second) {
  std::string r(128, '\x11');
  put_u64(&r, 0, first);
  put_u64(&r, 8, second);
  return r;
}

std::string guru(uint64_t key0, uint64_t key1, uint8_t group) {
  std::string r(164, '\x22');
  put_u64(&r, 0, key0);
  put_u64(&r, 8, key1);
  r[16] = (char)group;
  return r;
}

const uint64_t kTop = 0x8000000000000000ull;

TEST(U64CmpDesc, PutsTheLargerUnsignedValueFirst) {
  EXPECT_EQ(1, u64_cmp_desc(1, 2));
  EXPECT_EQ(-1, u64_cmp_desc(2, 1));
  EXPECT_EQ(0, u64_cmp_desc(7, 7));
  EXPECT_EQ(-1, u64_cmp_desc(kTop, 1));
  EXPECT_EQ(1, u64_cmp_desc(kTop - 1, ~0ull));
}

TEST(CallbrowserCmp, ColumnDirectionsAndTheSecondaryFallback) {
  for (uint32_t column = 0; column < 4; ++column) {
    callbrowser_ascending = (unsigned char)callbrowser_column_ascending(column);
    int smaller_first = (column == 1 || column == 2) ? -1 : 1;
    std::string lo = callbrowser(column, 5, 100), hi = callbrowser(column, 9, 0);
    EXPECT_EQ(smaller_first, callbrowser_cmp(&column, lo.data(), hi.data()));
    EXPECT_EQ(-smaller_first, callbrowser_cmp(&column, hi.data(), lo.data()));
    // Equal primaries: the secondary decides, in the same direction.
    std::string s1 = callbrowser(column, 5, 1), s2 = callbrowser(column, 5, 2);
    EXPECT_EQ(smaller_first, callbrowser_cmp(&column, s1.data(), s2.data()));
    EXPECT_EQ(0, callbrowser_cmp(&column, s1.data(), s1.data()));
    // Top-bit values are large, not negative.
    std::string big = callbrowser(column, kTop, 0);
    EXPECT_EQ(-smaller_first, callbrowser_cmp(&column, big.data(), hi.data()));
    // Other columns are not read.
    std::string other = callbrowser((column + 1) % 4, 1, 1);
    uint32_t c2 = column;
    EXPECT_EQ(0, callbrowser_cmp(&c2, other.data(), other.data()));
  }
}

TEST(StatesCmp, IsTheIncompleteRuleAndIgnoresTheKey) {
  uint32_t key = 9;
  std::string a = states(5, 5);
  EXPECT_EQ(1, states_cmp(&key, a.data(), states(6, 0).data()));    // first <
  EXPECT_EQ(-1, states_cmp(&key, a.data(), states(5, 4).data()));   // second >
  EXPECT_EQ(-1, states_cmp(&key, a.data(), states(1, 1).data()));
  EXPECT_EQ(0, states_cmp(&key, a.data(), states(1, 9).data()));    // the gap
  EXPECT_EQ(0, states_cmp(&key, a.data(), states(5, 5).data()));
  EXPECT_EQ(1, states_cmp(nullptr, a.data(), states(kTop, 0).data()));
}

TEST(GuruCmp, KeyZeroAndTheGroupsOfKeyOne) {
  uint32_t k0 = 0, k1 = 1;
  EXPECT_EQ(-1, guru_cmp(&k0, guru(9, 0, 1).data(), guru(4, 9, 0).data()));
  EXPECT_EQ(1, guru_cmp(&k0, guru(4, 0, 0).data(), guru(kTop, 0, 0).data()));
  // Zero groups first, largest value down; then the rest, smallest up.
  EXPECT_EQ(-1, guru_cmp(&k1, guru(0, 7, 0).data(), guru(0, 4, 0).data()));
  EXPECT_EQ(-1, guru_cmp(&k1, guru(0, 2, 1).data(), guru(0, 9, 1).data()));
  EXPECT_EQ(-1, guru_cmp(&k1, guru(0, 1, 0).data(), guru(0, 9, 1).data()));
  EXPECT_EQ(1, guru_cmp(&k1, guru(0, 9, 7).data(), guru(0, 1, 0).data()));
  EXPECT_EQ(0, guru_cmp(&k1, guru(5, 3, 1).data(), guru(6, 3, 2).data()));
}

TEST(GuruCmpDeathTest, AnyOtherKeyFailsItsAssertion) {
  uint32_t k2 = 2;
  std::string r = guru(0, 0, 0);
  EXPECT_EXIT(guru_cmp(&k2, r.data(), r.data()), testing::ExitedWithCode(1),
              "0 <= idx && idx <= 1.*history/gui/xhistory_fsutil.*168");
}

// ---- Through the engine ------------------------------------------------

struct kind {
  const char* name;
  uint32_t rs;
  extsort_cmp cmp;
};

// Random records with few distinct values (so ties are common), some with
// the top bit set.
std::string random_records(std::mt19937_64& rng, const kind& k, uint32_t n) {
  std::string s;
  std::uniform_int_distribution<int> pick(0, 5);
  for (uint32_t i = 0; i < n; ++i) {
    std::string r(k.rs, '\0');
    for (auto& ch : r) ch = (char)rng();
    for (int f = 0; f < 10; ++f) {  // the columns and fields that are read
      uint64_t v = (uint64_t)pick(rng);
      if (pick(rng) == 0) v |= kTop;
      if (8 * f + 8 <= 64) put_u64(&r, 8 * f, v);
    }
    r[16] = pick(rng) < 3 ? 0 : (char)(1 + pick(rng));
    s += r;
  }
  return s;
}

// Sorted order by the oracle: for a complete ordering, a stable sort of the
// reversed input, since equal records come out latest first.
std::vector<uint32_t> stable_oracle(const std::string& in, const kind& k,
                                    uint32_t count, const void* key) {
  std::vector<uint32_t> order;
  for (uint32_t i = count; i-- > 0;) order.push_back(i);
  std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
    return k.cmp(key, in.data() + (size_t)a * k.rs,
                 in.data() + (size_t)b * k.rs) < 0;
  });
  return order;
}

std::string index_of(const std::vector<uint32_t>& order, uint32_t n) {
  std::string s(8 * (size_t)n, '\0');
  for (size_t j = 0; j < order.size(); ++j)
    for (int b = 0; b < 4; ++b) {
      s[8 * j + b] = (char)(order[j] >> (8 * b));
      s[8 * (size_t)order[j] + 4 + b] = (char)(j >> (8 * b));
    }
  return s;
}

int sort_in_process(const std::string& dir, const kind& k, uint32_t count,
                    const void* key) {
  int ok = 0;
  capture_stdout([&] {
    ok = extsort_run_fast((dir + "in").c_str(), (dir + "work").c_str(),
                          (dir + "index").c_str(), (int32_t)count, k.rs,
                          k.name, key, k.cmp);
  });
  return ok;
}

TEST(SortEquivalence, FastEngineMatchesOraclesForManySeeds) {
  const kind kinds[] = {{"callbrowser", 80, callbrowser_cmp},
                        {"states", 128, states_cmp},
                        {"guru", 164, guru_cmp}};
  const uint32_t counts[] = {1,  2,  3,   7,   8,   9,   31,  32,
                             33, 63, 64,  65,  100, 255, 256, 257,
                             1000, 2047, 2048, 2049, 4097};
  int runs = 0;
  for (uint32_t seed = 1; seed <= 3; ++seed) {
    std::mt19937_64 rng(seed);
    for (const kind& k : kinds) {
      for (uint32_t count : counts) {
        if (count > 1000 && (seed > 1 || k.rs != 80)) continue;
        temp_dir dir;
        std::string base = dir.path + native_separator();
        uint32_t n = count + (uint32_t)(rng() % 3);
        std::string in = random_records(rng, k, n);
        ASSERT_TRUE(write_file(base + "in", in));
        uint32_t key = (uint32_t)(rng() % 4);
        if (k.cmp == guru_cmp) key &= 1;
        callbrowser_ascending =
            (unsigned char)callbrowser_column_ascending(key);
        ASSERT_EQ(1, sort_in_process(base, k, count, &key));
        std::vector<uint32_t> want;
        if (k.cmp == states_cmp)
          want = model_sort(in, k.rs, count, &key, k.cmp).stages.back();
        else
          want = stable_oracle(in, k, count, &key);
        std::string got;
        ASSERT_TRUE(read_file(base + "index", &got));
        ASSERT_TRUE(index_of(want, n) == got)
            << k.name << " count " << count << " key " << key << " seed "
            << seed;
        ++runs;
      }
    }
  }
  EXPECT_GT(runs, 150);
}

}  // namespace
