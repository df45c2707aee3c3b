#include "shared/gen_path.h"

#include <string>

#include <gtest/gtest.h>

#include "platform/plat.h"
#include "shared/gen_alloc.h"

namespace {

std::string full(const std::string& p) {
  char* f = gen_fullpath(p.c_str());
  std::string r = f;
  gen_free(f);
  return r;
}

std::string cwd() {
  char buf[4096];
  EXPECT_TRUE(plat_getcwd(buf, sizeof buf));
  std::string s = buf;
  if (s.size() > 1 && (s.back() == '/' || s.back() == '\\')) s.pop_back();
  return s;
}

#ifdef _WIN32
TEST(GenFullpath, DriveLettersSeparatorsAndDots) {
  EXPECT_EQ("C:\\Work\\a.txt", full("C:\\Work\\a.txt"));
  EXPECT_EQ("C:\\x", full("c:\\x"));
  EXPECT_EQ("C:\\x\\y", full("c:/x/./y"));
  EXPECT_EQ("C:\\b\\c.txt", full("c:\\a\\..\\b/c.txt"));
  EXPECT_EQ("C:\\dir\\", full("C:\\dir\\"));
  EXPECT_EQ("\\\\srv\\vol\\f", full("\\\\srv\\vol\\f"));
  EXPECT_EQ(cwd() + "\\rel\\x", full("rel/x"));
}
#else
TEST(GenFullpath, JoinsAndResolvesLexically) {
  EXPECT_EQ("/a/b", full("/a/b"));
  EXPECT_EQ("/x/y", full("/x/./y"));
  EXPECT_EQ("/b/c.txt", full("/a/../b//c.txt"));
  EXPECT_EQ("/", full("/../.."));
  EXPECT_EQ("/dir/", full("/dir//"));
  EXPECT_EQ("/a\\b", full("/a\\b"));  // a backslash is part of a POSIX name
  EXPECT_EQ(cwd() + "/rel/x", full("rel/x"));
  std::string parent = cwd().substr(0, cwd().rfind('/'));
  EXPECT_EQ(parent.empty() ? "/" : parent, full(".."));
  EXPECT_EQ(cwd(), full("."));
}
#endif

TEST(GenFullpath, TooLongGivesTheArgumentBack) {
  // A relative name whose full form reaches 1024 characters stays as given.
  std::string base = cwd();
  std::string rel(1024 - base.size(), 'n');
  EXPECT_EQ(rel, full(rel));
#ifdef _WIN32
  // The ANSI full-path service takes names of fewer than MAX_PATH
  // characters; a longer one fails and also comes back as given.
  std::string fits(259 - base.size() - 1, 'm');
  EXPECT_EQ(259u, full(fits).size());
  std::string over(300, 'o');
  EXPECT_EQ(over, full(over));
#else
  // One character shorter fits: 1023 characters with the separator.
  std::string fits(1022 - base.size(), 'm');
  EXPECT_EQ(1023u, full(fits).size());
#endif
  std::string abs = base + std::string(1, PLAT_SEPARATOR) + std::string(1100, 'a');
  EXPECT_EQ(abs, full(abs));
}

}  // namespace
