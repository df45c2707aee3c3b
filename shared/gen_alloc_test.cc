#include "shared/gen_alloc.h"

#include <string.h>

#include <gtest/gtest.h>

TEST(GenAlloc, BlocksAreZeroFilledAndZeroCountGivesNull) {
  EXPECT_EQ(nullptr, gen_calloc(0, 100));
  unsigned char* p = (unsigned char*)gen_calloc(1000, 3);
  ASSERT_NE(nullptr, p);
  for (int i = 0; i < 3000; ++i) ASSERT_EQ(0, p[i]);
  gen_free(p);
  gen_free(nullptr);
}

TEST(GenAlloc, ReallocKeepsContentsAndReleasesOnNonPositiveSizes) {
  char* p = (char*)gen_realloc(nullptr, 4);
  ASSERT_NE(nullptr, p);
  EXPECT_EQ(0, memcmp(p, "\0\0\0\0", 4));
  memcpy(p, "abcd", 4);
  p = (char*)gen_realloc(p, 1 << 20);
  EXPECT_EQ(0, memcmp(p, "abcd", 4));
  EXPECT_EQ(nullptr, gen_realloc(p, 0));
  EXPECT_EQ(nullptr, gen_realloc(gen_calloc(1, 8), -1));
}

TEST(GenAlloc, Strdup) {
  EXPECT_EQ(nullptr, gen_strdup(nullptr));
  char* s = gen_strdup("text");
  EXPECT_STREQ("text", s);
  gen_free(s);
}
