#include "history/gui/util/strutil/strutil.h"

#include <string>

#include <gtest/gtest.h>

#include "shared/gen_alloc.h"

namespace {

// Reads every token of a line.
std::vector<std::string> tokens(const char* line) {
  std::vector<std::string> out;
  const char* cur = line;
  char* tok;
  while (next_token(&cur, &tok)) {
    out.push_back(tok);
    gen_free(tok);
  }
  EXPECT_EQ(nullptr, tok);
  return out;
}

TEST(NextToken, BlanksOnlyGivesNothing) {
  const char* cur = " \t ";
  char* tok = (char*)1;
  EXPECT_FALSE(next_token(&cur, &tok));
  EXPECT_EQ(nullptr, tok);
}

TEST(NextToken, QuotedKeyThenBareValue) {
  const char* line = "\"a key\" value";
  const char* cur = line;
  char* tok;
  ASSERT_TRUE(next_token(&cur, &tok));
  EXPECT_STREQ("a key", tok);
  EXPECT_EQ(' ', *cur);
  gen_free(tok);
  ASSERT_TRUE(next_token(&cur, &tok));
  EXPECT_STREQ("value", tok);
  EXPECT_EQ(0, *cur);
  gen_free(tok);
  // Bare words end at a blank, not at a quote or a line end; a quoted form
  // ends at its closing quote.
  EXPECT_EQ((std::vector<std::string>{"a\"b", "c\rd", "\"e\"", "f", ""}),
            tokens("a\"b\tc\rd \"\\\"e\\\"\"f \""));
}

TEST(MatchWord, WholeWordsOnly) {
  const char* cur = "kvx";
  EXPECT_FALSE(match_word(&cur, "kv"));
  cur = "kv\t";
  EXPECT_TRUE(match_word(&cur, "kv"));
  EXPECT_STREQ("\t", cur);
  cur = "  kv";
  EXPECT_TRUE(match_word(&cur, "kv"));
  EXPECT_STREQ("", cur);
  cur = "  kx";
  EXPECT_FALSE(match_word(&cur, "kv"));
  EXPECT_STREQ("kx", cur);  // the blanks stay skipped
  cur = "KV";
  EXPECT_FALSE(match_word(&cur, "kv"));
  cur = "KV";
  EXPECT_TRUE(match_word_nocase(&cur, "kv"));
}

std::string b64(const std::string& s) {
  char* e = base64_encode(s.data(), s.size());
  std::string r = e;
  gen_free(e);
  return r;
}

TEST(Base64, PaddingAndHighBytes) {
  EXPECT_EQ("", b64(""));
  EXPECT_EQ("TQ==", b64("M"));
  EXPECT_EQ("TWE=", b64("Ma"));
  EXPECT_EQ("TWFu", b64("Man"));
  EXPECT_EQ("/w==", b64("\xff"));
  EXPECT_EQ("gICA", b64("\x80\x80\x80"));
  EXPECT_EQ("AAEC/f7/", b64(std::string("\x00\x01\x02\xfd\xfe\xff", 6)));
  EXPECT_EQ("Zm9vYmFy", b64("foobar"));
}

TEST(QuoteString, WrapsTheLibraryForm) {
  char* q = quote_string("a\"b");
  EXPECT_STREQ("\"a\\\"b\"", q);
  gen_free(q);
  EXPECT_EQ(nullptr, quote_string(nullptr));
  EXPECT_STREQ("x ", skip_blanks(" \t x "));
}

}  // namespace
