// The helpers both engines share: the pass count, the progress divisor,
// the sizing of the work and index files, and the lines.
#include "history/gui/extsort/extsort_common.h"

#include <gtest/gtest.h>
#include <math.h>

#include <string>

#include "tests/harness.h"

namespace {

TEST(ExtsortPasses, AreTheExactBinaryLogarithmRoundedUp) {
  EXPECT_EQ(0u, extsort_passes(0));
  EXPECT_EQ(0u, extsort_passes(1));
  EXPECT_EQ(1u, extsort_passes(2));
  EXPECT_EQ(3u, extsort_passes(5));
  EXPECT_EQ(3u, extsort_passes(8));
  EXPECT_EQ(10u, extsort_passes(1000));
  // Where a floating logarithm overshoots.
  EXPECT_EQ(29u, extsort_passes(1 << 29));
  EXPECT_EQ(30u, extsort_passes((1 << 29) + 1));
  EXPECT_EQ(31u, extsort_passes(2147483647));
}

// The progress divisor is the quotient of two double logarithms rounded
// up, overshoot and all: at 2^29 and 2^31 it is one above the passes made.
TEST(ExtsortProgressDivisor, IsTheDoubleQuotientOfLogarithmsRoundedUp) {
  EXPECT_EQ(0u, extsort_progress_divisor(0));
  EXPECT_EQ(0u, extsort_progress_divisor(1));
  EXPECT_EQ(1u, extsort_progress_divisor(2));
  EXPECT_EQ(3u, extsort_progress_divisor(5));
  EXPECT_EQ(3u, extsort_progress_divisor(8));
  EXPECT_EQ(10u, extsort_progress_divisor(1000));
  EXPECT_EQ(30u, extsort_progress_divisor((uint64_t)1 << 29));
  EXPECT_EQ(32u, extsort_progress_divisor((uint64_t)1 << 31));
  // Every power of two and its neighbours up to 2^32, against the formula
  // evaluated here in doubles that nothing can keep in a wider register.
  int overshoots = 0;
  for (int p = 1; p <= 32; ++p) {
    for (int64_t d = -1; d <= 1; ++d) {
      const uint64_t count = ((uint64_t)1 << p) + (uint64_t)d;
      if (count < 2) continue;
      volatile double num = log((double)count);
      volatile double den = log(2.0);
      volatile double quotient = num / den;
      const uint32_t want = (uint32_t)ceil(quotient);
      EXPECT_EQ(want, extsort_progress_divisor(count)) << count;
      EXPECT_LE(extsort_passes(count), want) << count;
      EXPECT_LE(want, extsort_passes(count) + 1) << count;
      if (want != extsort_passes(count)) ++overshoots;
    }
  }
  EXPECT_EQ(2, overshoots);
}

uint32_t divisor_by_the_maths_library(uint64_t count) {
  volatile double num = log((double)count);
  volatile double den = log(2.0);
  volatile double quotient = num / den;
  return (uint32_t)ceil(quotient);
}

// The divisor is worked out without the maths library; it must still agree
// with the library's logarithm wherever the quotient comes near a whole
// number, which is around every power of two up to the top of 64 bits.
TEST(ExtsortProgressDivisor, AgreesWithTheMathsLibraryEverywhere) {
  for (uint64_t count = 2; count < 70000; ++count)
    ASSERT_EQ(divisor_by_the_maths_library(count), extsort_progress_divisor(count)) << count;
  const uint64_t offsets[] = {0, 1, 2, 3, 7, 1000, (uint64_t)1 << 20};
  for (int p = 17; p <= 63; ++p) {
    const uint64_t power = (uint64_t)1 << p;
    for (uint64_t d : offsets) {
      // Tight around the power, and either side of where the shortcut
      // stops computing the quotient, 2^(p-38) away.
      const uint64_t edge = p >= 38 ? (uint64_t)1 << (p - 38) : 0;
      for (uint64_t off : {d, edge + d, edge - (d < edge ? d : 0)}) {
        if (off >= power / 2) continue;
        for (uint64_t count : {power + off, power - off}) {
          ASSERT_EQ(divisor_by_the_maths_library(count), extsort_progress_divisor(count))
              << count;
        }
      }
    }
  }
  uint64_t x = 0x9e3779b97f4a7c15u;
  for (int i = 0; i < 200000; ++i) {
    x ^= x << 13, x ^= x >> 7, x ^= x << 17;
    const uint64_t count = x >> (i % 63);
    if (count < 2) continue;
    ASSERT_EQ(divisor_by_the_maths_library(count), extsort_progress_divisor(count)) << count;
  }
  EXPECT_EQ(64u, extsort_passes(UINT64_MAX));
  EXPECT_EQ(64u, extsort_progress_divisor(UINT64_MAX));
}

std::string contents(const std::string& path) {
  std::string s;
  if (!read_file(path, &s)) return "<missing>";
  return s;
}

TEST(ExtsortEnsureSize, CreatesGrowsAndNeverShortens) {
  temp_dir dir;
  extsort_begin("t");
  const std::string a = dir.file("a"), b = dir.file("b"), c = dir.file("c");
  std::string out = capture_stdout([&] {
    EXPECT_EQ(1, extsort_ensure_size(a.c_str(), 0));  // a new empty file
    EXPECT_EQ(1, extsort_ensure_size(a.c_str(), 0));  // and again
    EXPECT_EQ(1, extsort_ensure_size(b.c_str(), 5000));  // zeros
    ASSERT_TRUE(write_file(c, "abc"));
    EXPECT_EQ(1, extsort_ensure_size(c.c_str(), 6));  // grown, bytes kept
    EXPECT_EQ(1, extsort_ensure_size(c.c_str(), 2));  // never shortened
  });
  EXPECT_EQ("", out);
  EXPECT_EQ("", contents(a));
  EXPECT_EQ(std::string(5000, '\0'), contents(b));
  EXPECT_EQ(std::string("abc\0\0\0", 6), contents(c));
}

TEST(ExtsortEnsureSize, FailureNamesThePath) {
  temp_dir dir;
  extsort_begin("guru");
  const std::string missing = dir.file("no") + native_separator() + "work";
  int r = -1;
  std::string out =
      capture_stdout([&] { r = extsort_ensure_size(missing.c_str(), 0); });
  EXPECT_EQ(0, r);
  EXPECT_EQ("guru_sort_error Unable to write to " + missing + "\n\n", out);
}

TEST(ExtsortLines, CarryTheRunName) {
  extsort_begin("states");
  std::string out = capture_stdout([] {
    EXPECT_EQ(0, extsort_error("Invalid count: %d\n", -1));
    extsort_pass_done(1, 3);
    extsort_pass_done(2, 3);
    extsort_progress(100.0);
    extsort_done();
  });
  EXPECT_EQ(
      "states_sort_error Invalid count: -1\n\n"
      "states_sort_progress 31.666666\n"
      "states_sort_progress 63.333332\n"
      "states_sort_progress 100.000000\n"
      "states_sort_done\n",
      out);
}

}  // namespace
