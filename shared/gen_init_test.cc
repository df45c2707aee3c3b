#include "shared/gen_init.h"

#include <string>

#include <gtest/gtest.h>

#include "platform/plat.h"
#include "shared/gen_alloc.h"

namespace {

std::string norm(const char* p) {
  char* n = gen_normalize_path(p);
  std::string r = n;
  gen_free(n);
  return r;
}

std::string sep(std::string s) {
  for (char& c : s)
    if (c == '/') c = PLAT_SEPARATOR;
  return s;
}

TEST(GenIsAbsolute, Forms) {
  EXPECT_TRUE(gen_is_absolute("/x"));
  EXPECT_TRUE(gen_is_absolute("\\x"));
  EXPECT_TRUE(gen_is_absolute("C:x"));
  EXPECT_TRUE(gen_is_absolute("~"));
  EXPECT_TRUE(gen_is_absolute("~/x"));
  EXPECT_TRUE(gen_is_absolute("~\\x"));
  EXPECT_FALSE(gen_is_absolute("~x"));
  EXPECT_FALSE(gen_is_absolute("x/y"));
  EXPECT_FALSE(gen_is_absolute(""));
  EXPECT_FALSE(gen_is_absolute(nullptr));
}

TEST(GenNormalizePath, SeparatorsAndDots) {
  EXPECT_EQ(sep("/a/b"), norm("/a//b/"));
  EXPECT_EQ(sep("/a/c"), norm("/a/./b/../c"));
  EXPECT_EQ(sep("/"), norm("/.."));
  EXPECT_EQ(sep("C:/x"), norm("C:\\y\\..\\x"));
  EXPECT_EQ(sep("//srv/vol/d"), norm("\\\\srv\\vol\\\\d"));
  EXPECT_EQ("..", norm("a/../.."));
  EXPECT_EQ(".", norm("a/.."));
}

TEST(GenAbsoluteDir, UrlsHomeAndRelativeNames) {
  char* d = gen_absolute_dir("ftp://h/p", "/cwd");
  EXPECT_STREQ("ftp://h/p", d);
  gen_free(d);
  d = gen_absolute_dir("rel/x", "/cwd/");
  EXPECT_EQ(sep("/cwd/rel/x"), d);
  gen_free(d);
  d = gen_absolute_dir("rel", "C:\\w");
  EXPECT_EQ(sep("C:/w/rel"), d);
  gen_free(d);
  const char* home = plat_getenv("HOME");
  if (home && home[0]) {
    d = gen_absolute_dir("~/dumps", "/cwd");
    char* want = gen_normalize_path((std::string(home) + "/dumps").c_str());
    EXPECT_STREQ(want, d);
    gen_free(want);
    gen_free(d);
  }
}

}  // namespace
