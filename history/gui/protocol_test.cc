#include "history/gui/protocol.h"

#include <gtest/gtest.h>

#include "tests/harness.h"

namespace {

TEST(EmitLine, TagIdentifierAndText) {
  request_uid = 0;
  EXPECT_EQ("cfg_done \n", capture_stdout([] { emit_line("cfg_done", "%s", ""); }));
  EXPECT_EQ("copy_pct 57\n", capture_stdout([] { emit_line("copy_pct", "%d", 57); }));
  request_uid = 9;
  EXPECT_EQ("cfg_done 9 \n", capture_stdout([] { emit_line("cfg_done", "%s", ""); }));
  request_uid = 18446744073709551615ULL;
  EXPECT_EQ("cfg_kv 18446744073709551615 \"k\" 100%\n",
            capture_stdout([] { emit_line("cfg_kv", "%s %s", "\"k\"", "100%"); }));
  request_uid = 0;
}

}  // namespace
