#include "shared/gen_string.h"

#include <gtest/gtest.h>

TEST(GenStrtou32, BehavesLikeA32BitStrtoul) {
  EXPECT_EQ(0u, gen_strtou32("abc"));
  EXPECT_EQ(0u, gen_strtou32(""));
  EXPECT_EQ(12u, gen_strtou32("  12xyz"));
  EXPECT_EQ(4294967295u, gen_strtou32("4294967295"));
  EXPECT_EQ(4294967295u, gen_strtou32("4294967296"));
  EXPECT_EQ(4294967295u, gen_strtou32("99999999999999999999999"));
  EXPECT_EQ(4294967295u, gen_strtou32("-1"));
  EXPECT_EQ(4294967291u, gen_strtou32("-5"));
  EXPECT_EQ(4294967295u, gen_strtou32("-99999999999"));
  EXPECT_EQ(7u, gen_strtou32("+7"));
  EXPECT_EQ(0u, gen_strtou32("- 7"));
}

TEST(GenStrcasecmp, FoldsAsciiOnlyAndReadsNullAsEmpty) {
  EXPECT_EQ(0, gen_strcasecmp("C:\\A\\X.TXT", "c:\\a\\x.txt"));
  EXPECT_EQ(0, gen_strcasecmp(nullptr, ""));
  EXPECT_EQ(-1, gen_strcasecmp("ab", "abc"));
  EXPECT_EQ(1, gen_strcasecmp("abc", "ab"));
  EXPECT_EQ(-1, gen_strcasecmp("a", "B"));
  // Bytes above 0x7F compare as signed and are not folded.
  EXPECT_EQ(-1, gen_strcasecmp("\xC4", "a"));
  EXPECT_NE(0, gen_strcasecmp("\xC4", "\xE4"));
  EXPECT_EQ(0, gen_strcmp(nullptr, ""));
}
