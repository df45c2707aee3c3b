#include "shared/gen_quote.h"

#include <string>

#include <gtest/gtest.h>

#include "shared/gen_alloc.h"

namespace {

std::string quote(const std::string& s) {
  char* q = gen_quote(s.c_str());
  std::string r = q;
  gen_free(q);
  return r;
}

// Decodes a form; the length counts up to the NUL that ended the text.
std::string unquote(const char* form, size_t* consumed = nullptr) {
  const char* end = nullptr;
  char* u = gen_unquote(form, &end);
  std::string r = u ? u : "<null>";
  if (consumed) *consumed = (size_t)(end - form);
  gen_free(u);
  return r;
}

TEST(Quote, EscapesAndPlainBytes) {
  EXPECT_EQ("\"\"", quote(""));
  EXPECT_EQ("\"a\\nb\\tc\\\"d\\\\e\"", quote("a\nb\tc\"d\\e"));
  EXPECT_EQ("\"a{b}=#c\"", quote("a{b}=#c"));
  EXPECT_EQ("\"\\\x02\"", quote("\x02"));
  EXPECT_EQ("\"\x1b\x7f\xff\"", quote("\x1b\x7f\xff"));
  EXPECT_EQ("\"\\a\\b\\v\\f\\r\\'\"", quote("\a\b\v\f\r'"));
  EXPECT_EQ(nullptr, gen_quote(nullptr));
}

TEST(Unquote, EscapeForms) {
  EXPECT_EQ("\n", unquote("\"\\012\""));
  EXPECT_EQ("A", unquote("\"\\101\""));
  EXPECT_EQ("", unquote("\"\\0q\""));
  EXPECT_EQ("A", unquote("\"\\x41\""));
  EXPECT_EQ("\xff", unquote("\"\\xff\""));
  EXPECT_EQ("\xff", unquote("\"\\xFF\""));
  EXPECT_EQ("", unquote("\"\\xg\""));
  EXPECT_EQ("A1", unquote("\"\\x411\""));
  EXPECT_EQ("?q", unquote("\"\\?\\q\""));
  EXPECT_EQ("\x05" "9", unquote("\"\\0059\""));
}

TEST(Unquote, EndsAndUnterminatedForms) {
  size_t used = 0;
  EXPECT_EQ("ab", unquote("\"ab\" rest", &used));
  EXPECT_EQ(4u, used);
  EXPECT_EQ("a\"b", unquote("\"a\\\"b\"x", &used));
  EXPECT_EQ(6u, used);
  EXPECT_EQ("abc", unquote("\"abc", &used));
  EXPECT_EQ(4u, used);
  EXPECT_EQ("ab\\", unquote("\"ab\\", &used));
  EXPECT_EQ(4u, used);
  EXPECT_EQ("<null>", unquote("abc", &used));
  EXPECT_EQ(0u, used);
  const char* t = "x\"y\"";
  EXPECT_EQ(t, gen_quoted_end(t));
}

TEST(Quote, RoundTripsEveryNonZeroByte) {
  std::string all;
  for (int c = 1; c < 256; ++c) all += (char)c;
  for (size_t start = 0; start < all.size(); start += 37) {
    std::string s = all.substr(start) + all.substr(0, start);
    EXPECT_EQ(s, unquote(quote(s).c_str()));
  }
}

}  // namespace
