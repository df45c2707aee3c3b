// --readcfg and --writecfg as the viewer sees them: the lines reported for
// a file, the file written from commands, and the round trip between them.
#include <stdint.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/harness.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

const char kDriver[] = "history/gui/xhistory_fsutil";

std::string assertion(const std::string& expr, int line) {
  return nl("Assertion (" + expr + ") failed in '" + kDriver + "' on line " +
            std::to_string(line) + " in xhistory_fsutil\n");
}

run_result readcfg(const std::string& text, std::vector<std::string> pre = {}) {
  temp_dir dir;
  EXPECT_TRUE(write_file(dir.file("c.cfg"), text));
  pre.push_back("--readcfg");
  pre.push_back(dir.file("c.cfg"));
  return run_fsutil(pre);
}

// The lines reported for text, which must read without failure.
std::string lines_of(const std::string& text) {
  run_result r = readcfg(text);
  EXPECT_EQ(0u, r.status) << text;
  EXPECT_EQ("", r.err);
  return r.out;
}

struct read_case {
  const char* text;
  const char* lines;  // without the final cfg_done
};

void expect_lines(const std::vector<read_case>& cases) {
  for (const read_case& c : cases) {
    std::string text(c.text);
    EXPECT_EQ(nl(std::string(c.lines) + "cfg_done \n"), lines_of(text))
        << "file: " << text;
  }
}

TEST(ReadConfig, LineKinds) {
  expect_lines({
      {"", ""},
      {"\n  \t\n# note\n   # indented note\n\n", ""},
      {"a = 1", "cfg_kv \"a\" \"1\"\n"},
      {"a\n", "cfg_kv \"a\" \n"},
      {"a = \"\"\n", "cfg_kv \"a\" \"\"\n"},
      {"s {\nk = v\n}\n", "cfg_enter \"s\" \ncfg_kv \"k\" \"v\"\ncfg_exit \n"},
      {"s\n{\n  k = v\n}\n", "cfg_enter \"s\" \ncfg_kv \"k\" \"v\"\ncfg_exit \n"},
      {"s\n\n# between\n  { trailing text\n}\n", "cfg_enter \"s\" \ncfg_exit \n"},
      {"name = v {\n}\n", "cfg_enter \"name\" \"v\"\ncfg_exit \n"},
      {"a\nb\n", "cfg_kv \"a\" \ncfg_kv \"b\" \n"},
      {"a\n}\n}\n}", "cfg_kv \"a\" \ncfg_exit \ncfg_exit \ncfg_exit \n"},
      {"x {\ny {\n", "cfg_enter \"x\" \ncfg_enter \"y\" \n"},  // left open
      {"a = 1\n# c\nb", "cfg_kv \"a\" \"1\"\ncfg_kv \"b\" \n"},
  });
}

TEST(ReadConfig, TokenRules) {
  expect_lines({
      {"key = value # note\n", "cfg_kv \"key\" \"value\"\n"},
      {"key=value\n", "cfg_kv \"key\" \"value\"\n"},
      {"  key \t=\t value  \t\n", "cfg_kv \"key\" \"value\"\n"},
      {"a b = c d\n", "cfg_kv \"a b\" \"c d\"\n"},
      {"= 5\n", "cfg_kv \"\" \"5\"\n"},
      {"a\\b = c\n", "cfg_kv \"a\" \n"},
      {"a = b = c\n", "cfg_kv \"a\" \"b\"\n"},
      {"a =\n", "cfg_kv \"a\" \n"},
      {"a = # nothing\n", "cfg_kv \"a\" \n"},
      {"a = \\x\n", "cfg_kv \"a\" \"\"\n"},
      {"key }\n", "cfg_kv \"key\" \ncfg_exit \n"},
      {"a = }\n", "cfg_kv \"a\" \"\"\ncfg_exit \n"},
      {"a = v } more\n", "cfg_kv \"a\" \"v\"\ncfg_exit \n"},
      {"\"a = b\" = 1\n", "cfg_kv \"a = b\" \"1\"\n"},
      {"\"k\"=\"v\"{\n}\n", "cfg_enter \"k\" \"v\"\ncfg_exit \n"},
      {"\"k\" tail = 1\n", "cfg_kv \"k\" \n"},
      {"k = \"v\" tail\n", "cfg_kv \"k\" \"v\"\n"},
      {"k = \"open value # {\n", "cfg_kv \"k\" \"open value # {\"\n"},
      {"k = \"\\101\\x42\\t\\q\"\n", "cfg_kv \"k\" \"AB\\tq\"\n"},
      {"k = #{}\n", "cfg_kv \"k\" \n"},
      {"\xe9t\xe9 = \xff\x80\n", "cfg_kv \"\xe9t\xe9\" \"\xff\x80\"\n"},
      {"k = it's\n", "cfg_kv \"k\" \"it\\'s\"\n"},
  });
}

TEST(ReadConfig, WindowsPathsInTheirThreeForms) {
  expect_lines({
      {"p = \"C:\\\\dir\\\\new\"\n", "cfg_kv \"p\" \"C:\\\\dir\\\\new\"\n"},
      // Single backslashes inside quotes are escapes: \d is d, \n a line feed.
      {"p = \"C:\\dir\\new\"\n", "cfg_kv \"p\" \"C:dir\\new\"\n"},
      {"p = C:\\dir\\new\n", "cfg_kv \"p\" \"C:\"\n"},
  });
}

TEST(ReadConfig, CarriageReturnsAreOrdinaryCharacters) {
  expect_lines({
      {"a = 1\r\nb\r\ns {\r\n  k = \"v\"\r\n}\r\nt\r\n{\r\n}\r\n",
       "cfg_kv \"a\" \"1\\r\"\ncfg_kv \"b\\r\" \ncfg_enter \"s\" \n"
       "cfg_kv \"k\" \"v\"\ncfg_exit \ncfg_enter \"t\\r\" \ncfg_exit \n"},
  });
}

TEST(ReadConfig, TextEndsAtNulByte) {
  expect_lines({
      {"a = 1\nb", "cfg_kv \"a\" \"1\"\ncfg_kv \"b\" \n"},
  });
  std::string text("a = 1\nb\0c\nd = 2\n", 16);
  EXPECT_EQ(nl("cfg_kv \"a\" \"1\"\ncfg_kv \"b\" \ncfg_done \n"), lines_of(text));
  EXPECT_EQ(nl("cfg_done \n"), lines_of(std::string("\0a = 1\n", 7)));
}

TEST(ReadConfig, RequestIdentifierOnEveryLine) {
  run_result r = readcfg("s {\nk = v\n}\n", {"--uid", "12"});
  EXPECT_EQ(0u, r.status);
  EXPECT_EQ(nl("cfg_enter 12 \"s\" \ncfg_kv 12 \"k\" \"v\"\ncfg_exit 12 \n"
               "cfg_done 12 \n"),
            r.out);
}

TEST(ReadConfig, BraceWithoutItemEndsTheRun) {
  run_result r = readcfg("# only a comment\n{\nk = v\n}\n");
  EXPECT_EQ("", r.out);
  EXPECT_EQ(assertion("!enter", 291), r.err);
  EXPECT_EQ(1u, r.status);

  // The lines for the text before it have reached the viewer.
  r = readcfg("a = 1\ns {\n}\n { \nb\n");
  EXPECT_EQ(nl("cfg_kv \"a\" \"1\"\ncfg_enter \"s\" \ncfg_exit \n"), r.out);
  EXPECT_EQ(assertion("!enter", 291), r.err);
  EXPECT_EQ(1u, r.status);
}

// The text is held in memory whole, which a 32-bit process cannot do for
// 2 GiB; the run ends before any line.
TEST(ReadConfig, FileOfTwoGibibytesIsRefused) {
#ifdef _WIN32
  GTEST_SKIP() << "needs a sparse file";
#else
  temp_dir dir;
  ASSERT_TRUE(write_file(dir.file("big.cfg"), "a = 1\n"));
  ASSERT_EQ(0, truncate(dir.file("big.cfg").c_str(), 2147483648LL));
  run_result r = run_fsutil({"--readcfg", dir.file("big.cfg")});
  EXPECT_EQ(1u, r.status);
  EXPECT_EQ("", r.out);
  EXPECT_EQ(assertion("n == sz", 226), r.err);
#endif
}

TEST(ReadConfig, UnopenableFileGivesNothing) {
  temp_dir dir;
  ASSERT_TRUE(make_dir(dir.file("folder")));
  for (const std::string& path : {dir.file("missing"), dir.file("folder")}) {
    run_result r = run_fsutil({"--readcfg", path});
    EXPECT_EQ(status_minus1(), r.status);
    EXPECT_EQ("", r.out);
    EXPECT_EQ("", r.err);
  }
}

// ---- --writecfg ----------------------------------------------------------

struct write_result {
  run_result run;
  std::string file;
  bool exists = false;
};

write_result writecfg(const std::string& input, const std::string& before = "",
                      uint64_t size_limit = 0) {
  temp_dir dir;
  if (!before.empty()) {
    EXPECT_TRUE(write_file(dir.file("c.cfg"), before));
  }
  run_options o;
  o.stdin_data = input;
  o.file_size_limit = size_limit;
  write_result w;
  w.run = run_fsutil({"--writecfg", dir.file("c.cfg")}, o);
  w.exists = read_file(dir.file("c.cfg"), &w.file);
  return w;
}

TEST(WriteConfig, Layout) {
  struct write_case {
    const char* input;
    const char* file;
  } cases[] = {
      {"kv a 1\nkv b\nkv s main\nenter\nkv k \"x y\"\nexit\ndone\n",
       "a = 1\nb\ns = main {\n  k = x y\n}\n\n"},
      {"done\n", "\n"},
      {"", ""},
      {"kv a \"\"\ndone\n", "a = \"\"\n"},
      {"kv a \" lead\"\nkv b \"trail\t\"\ndone\n",
       "a = \" lead\"\nb = \"trail\\t\"\n"},
      {"kv k \"two\\nlines\"\ndone\n", "k = \"two\\nlines\"\n"},
      {"kv \"{}\" \"#\"\nkv = \\\nkv \"\\\"q\" it's\ndone\n",
       "\"{}\" = \"#\"\n\"=\" = \"\\\\\"\n\"\\\"q\" = it's\n"},
      {"kv k v trailing words\ndone\n", "k = v\n"},
      {"kv s\nenter\nenter\nkv k\ndone\n", "s {\n {\n    k\n"},
      {"exit\nkv a\nexit\nkv b\nenter\nexit\ndone\n", "}\na\n}\nb {\n}\n\n"},
      {"kv x\nenter\nkv y\nenter\nkv z 1\nexit\nexit\n",
       "x {\n  y {\n    z = 1\n  }\n}\n"},
      {"kv a\nkv b", "a\nb"},
      {"kv a\ndone", "a\n"},
      {"  \tkv a 1\n\tdone\n", "a = 1\n"},
      {"kv a 1\r\ndone\r\n", "a = 1\n"},
      {"kv a\ndone\nkv ignored\n", "a\n"},
  };
  for (const write_case& c : cases) {
    write_result w = writecfg(c.input);
    EXPECT_EQ(0u, w.run.status) << c.input;
    EXPECT_EQ("", w.run.out);
    EXPECT_EQ("", w.run.err);
    EXPECT_TRUE(w.exists);
    EXPECT_EQ(c.file, w.file) << "input: " << c.input;
  }
}

TEST(WriteConfig, LongLinesArriveWhole) {
  std::string key(100000, 'k');
  write_result w = writecfg("kv " + key + " v\ndone\n");
  EXPECT_EQ(0u, w.run.status);
  EXPECT_EQ(key + " = v\n", w.file);
}

TEST(WriteConfig, BadCommandsEndTheRunAndKeepWhatWasWritten) {
  struct bad_case {
    const char* input;
    const char* expr;
    int line;
    const char* file;
  } cases[] = {
      {"kv a 1\nkv\n", "rv", 376, "a = 1"},
      {"kv a 1\nkv   \t\n", "rv", 376, "a = 1"},
      {"kv a\nKV b\n", "false", 397, "a"},
      {"kv\"a\"\n", "false", 397, ""},
      {"kv a\n\nkv b\n", "false", 397, "a"},
      {"kv a\nenter\nexits\n", "false", 397, "a {\n"},
  };
  for (const bad_case& c : cases) {
    // The file was emptied before the input was read.
    write_result w = writecfg(c.input, "old contents\n");
    EXPECT_EQ(1u, w.run.status) << c.input;
    EXPECT_EQ("", w.run.out);
    EXPECT_EQ(assertion(c.expr, c.line), w.run.err) << c.input;
    EXPECT_EQ(c.file, w.file) << c.input;
  }
}

TEST(WriteConfig, UnwritableFileIsAFailure) {
  temp_dir dir;
  ASSERT_TRUE(make_dir(dir.file("folder")));
  run_options o;
  o.stdin_data = "kv a\ndone\n";
  run_result r = run_fsutil({"--writecfg", dir.file("folder")}, o);
  EXPECT_EQ(status_minus1(), r.status);
  EXPECT_EQ("", r.out + r.err);

  if (on_win32()) return;  // the size limit is a POSIX matter
  // A file that could not be written whole is not reported as written.
  write_result w = writecfg("kv " + std::string(5000, 'k') + "\ndone\n", "", 100);
  EXPECT_EQ(status_minus1(), w.run.status);
  EXPECT_EQ("", w.run.out + w.run.err);
}

// ---- Round trip -----------------------------------------------------------

// The canonical quoted form that --readcfg reports.
std::string quoted_form(const std::string& text) {
  std::string q = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case 0x07: q += "\\a"; break;
      case 0x08: q += "\\b"; break;
      case '\t': q += "\\t"; break;
      case '\n': q += "\\n"; break;
      case 0x0B: q += "\\v"; break;
      case 0x0C: q += "\\f"; break;
      case '\r': q += "\\r"; break;
      case '"': q += "\\\""; break;
      case '\'': q += "\\'"; break;
      case '\\': q += "\\\\"; break;
      case 1: case 2: case 3: q += '\\'; q += (char)c; break;
      default: q += (char)c;
    }
  }
  return q + "\"";
}

// A command operand: every byte outside letters and digits as an octal
// escape, so that the operand survives any translation of standard input.
std::string operand(const std::string& text) {
  std::string s = "\"";
  for (unsigned char c : text) {
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
      s += (char)c;
    } else {
      char esc[5];
      snprintf(esc, sizeof esc, "\\%03o", c);
      s += esc;
    }
  }
  return s + "\"";
}

struct random_source {
  uint64_t state;
  uint32_t next(uint32_t n) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return (uint32_t)(state >> 33) % n;
  }
};

// Any bytes but NUL, often the ones that matter to the format.
std::string random_text(random_source* rnd) {
  static const char kTricky[] = "{}#=\\\n\r\t \"'\x01\x02\x03\x1a\xff";
  std::string t;
  uint32_t len = rnd->next(7);
  for (uint32_t i = 0; i < len; ++i) {
    if (rnd->next(3) == 0)
      t += kTricky[rnd->next(sizeof kTricky - 1)];
    else
      t += (char)(1 + rnd->next(255));
  }
  return t;
}

// Items and sections in random nesting; appends the commands and the
// lines that reading the written file must give.
void random_items(random_source* rnd, int depth, std::string* input,
                  std::string* lines) {
  uint32_t count = rnd->next(depth == 0 ? 30 : 5);
  for (uint32_t i = 0; i < count; ++i) {
    std::string key = random_text(rnd);
    bool has_value = rnd->next(3) != 0;
    std::string value = has_value ? random_text(rnd) : "";
    bool section = depth < 4 && rnd->next(4) == 0;
    *input += "kv " + operand(key);
    if (has_value) *input += " " + operand(value);
    *input += "\n";
    *lines += std::string(section ? "cfg_enter " : "cfg_kv ") + quoted_form(key) + " " +
              (has_value ? quoted_form(value) : "") + "\n";
    if (section) {
      *input += "enter\n";
      random_items(rnd, depth + 1, input, lines);
      *input += "exit\n";
      *lines += "cfg_exit \n";
    }
  }
}

TEST(ConfigRoundTrip, WrittenItemsReadBackAsGiven) {
  random_source rnd = {20261208};
  for (int round = 0; round < 10; ++round) {
    std::string input, lines;
    random_items(&rnd, 0, &input, &lines);
    if (rnd.next(2)) input += "done\n";
    SCOPED_TRACE(input);
    temp_dir dir;
    run_options o;
    o.stdin_data = input;
    run_result w = run_fsutil({"--writecfg", dir.file("c.cfg")}, o);
    ASSERT_EQ(0u, w.status) << w.err;
    run_result r = run_fsutil({"--readcfg", dir.file("c.cfg")});
    EXPECT_EQ(0u, r.status);
    EXPECT_EQ(nl(lines + "cfg_done \n"), r.out);
  }
}

// A key or value that begins with a double quote and needs no quoting
// otherwise comes back as given; written bare, the reader would take it for
// a quoted form ("q"x would come back as q).
TEST(ConfigRoundTrip, LeadingDoubleQuoteIsKept) {
  temp_dir dir;
  run_options o;
  o.stdin_data = "kv a \"\\\"q\\\"x\"\nkv \"\\\"k\" \"\\\"\"\nenter\nkv \"\\\"\"\nexit\ndone\n";
  run_result w = run_fsutil({"--writecfg", dir.file("c.cfg")}, o);
  ASSERT_EQ(0u, w.status) << w.err;
  std::string file;
  ASSERT_TRUE(read_file(dir.file("c.cfg"), &file));
  EXPECT_EQ("a = \"\\\"q\\\"x\"\n\"\\\"k\" = \"\\\"\" {\n  \"\\\"\"\n}\n\n", file);
  run_result r = run_fsutil({"--readcfg", dir.file("c.cfg")});
  EXPECT_EQ(0u, r.status);
  EXPECT_EQ(nl("cfg_kv \"a\" \"\\\"q\\\"x\"\n"
               "cfg_enter \"\\\"k\" \"\\\"\"\n"
               "cfg_kv \"\\\"\" \n"
               "cfg_exit \n"
               "cfg_done \n"),
            r.out);
  // A file written bare by an earlier writer reads as it always did.
  ASSERT_TRUE(write_file(dir.file("old.cfg"), "a = \"q\"x\n"));
  r = run_fsutil({"--readcfg", dir.file("old.cfg")});
  EXPECT_EQ(nl("cfg_kv \"a\" \"q\"\ncfg_done \n"), r.out);
}

}  // namespace
