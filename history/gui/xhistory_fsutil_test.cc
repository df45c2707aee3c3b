#include "history/gui/xhistory_fsutil.h"

#include <stdio.h>

#include <string>

#include <gtest/gtest.h>

#include "tests/harness.h"

#ifdef _WIN32
#include <io.h>
#define dup _dup
#define dup2 _dup2
#define close _close
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace {

// Runs fn with standard output sent to a file, and returns what it wrote.
template <typename F>
std::string capture_stdout(F fn) {
  temp_dir dir;
  std::string path = dir.file("out.txt");
  fflush(stdout);
  int saved = dup(fileno(stdout));
  // Text mode, as standard output itself is.
  FILE* f = fopen(path.c_str(), "w");
  dup2(fileno(f), fileno(stdout));
  fn();
  fflush(stdout);
  dup2(saved, fileno(stdout));
  close(saved);
  fclose(f);
  std::string text;
  read_file(path, &text);
  return text;
}

TEST(EmitLine, TagIdentifierAndText) {
  request_uid = 0;
  EXPECT_EQ(nl("cfg_done \n"), capture_stdout([] { emit_line("cfg_done", "%s", ""); }));
  EXPECT_EQ(nl("copy_pct 57\n"), capture_stdout([] { emit_line("copy_pct", "%d", 57); }));
  request_uid = 9;
  EXPECT_EQ(nl("cfg_done 9 \n"), capture_stdout([] { emit_line("cfg_done", "%s", ""); }));
  request_uid = 18446744073709551615ULL;
  EXPECT_EQ(nl("cfg_kv 18446744073709551615 \"k\" 100%\n"),
            capture_stdout([] { emit_line("cfg_kv", "%s %s", "\"k\"", "100%"); }));
  request_uid = 0;
}

}  // namespace
