#include "history/gui/copy_progress.h"

#include <gtest/gtest.h>

namespace {

const int64_t kMiB = 1048576;

TEST(CopyProgress, PeriodGrowsPastTwoHundredChunks) {
  EXPECT_EQ(1, copy_report_period(0));
  EXPECT_EQ(1, copy_report_period(200 * kMiB + kMiB - 1));
  EXPECT_EQ(2, copy_report_period(201 * kMiB));
  EXPECT_EQ(2, copy_report_period(300 * kMiB - 1));
  EXPECT_EQ(5, copy_report_period(500 * kMiB));
  EXPECT_EQ(40, copy_report_period(4096 * kMiB));  // past 32-bit sizes
}

TEST(CopyProgress, PercentTruncatesAndStopsAtFull) {
  EXPECT_EQ(28, copy_percent(kMiB, 3 * kMiB + kMiB / 2));
  EXPECT_EQ(0, copy_percent(kMiB, 200 * kMiB + 1));
  EXPECT_EQ(100, copy_percent(7, 7));
  EXPECT_EQ(100, copy_percent(3 * kMiB, kMiB));  // the source grew
  EXPECT_EQ(99, copy_percent(4095 * kMiB, 4096 * kMiB));  // no overflow
}

}  // namespace
