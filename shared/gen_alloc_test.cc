#include "shared/gen_alloc.h"

#include <stdlib.h>
#include <string.h>

#include <gtest/gtest.h>

#include "shared/gen_exit.h"

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

namespace {
int g_released = 0;
void counting_free(void* block) {
  ++g_released;
  free(block);
}
}  // namespace

// Exit handlers may still use blocks: once the exit has begun, a block
// handed to gen_free stays where it is.
TEST(GenAlloc, NothingIsReleasedOnceTheExitHasBegun) {
  void (*saved)(void*) = gen_alloc_entry.free_fn;
  gen_alloc_entry.free_fn = counting_free;
  g_released = 0;
  void* kept = gen_calloc(1, 16);
  gen_exiting = 1;
  gen_free(kept);
  gen_exiting = 0;
  EXPECT_EQ(0, g_released);
  gen_free(kept);
  EXPECT_EQ(1, g_released);
  gen_alloc_entry.free_fn = saved;
}
