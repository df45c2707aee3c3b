// The general library's fatal paths, watched from outside through the probe.
#include <errno.h>
#include <signal.h>
#include <string.h>

#include <gtest/gtest.h>

#include "tests/harness.h"

namespace {

#ifdef SIGBUS
const int kSigbus = SIGBUS;
#else
const int kSigbus = -1;  // Win32 has no such signal
#endif

run_result probe(const std::vector<std::string>& args,
                 const run_options& o = run_options()) {
  return run_program(probe_path(), args, o);
}

TEST(Assertion, LineShapes) {
  run_result r = probe({"assert", "x", "0"});
  EXPECT_EQ(1u, r.status);
  EXPECT_EQ(nl("Assertion failed in 'history/gui/xhistory_fsutil' on line 123 in "
               "fsutil_probe\n"), r.err);
  r = probe({"assert", "n == sz", "-5"});
  EXPECT_EQ(nl("Assertion (n == sz) [-5] failed in 'history/gui/xhistory_fsutil' "
               "on line 123 in fsutil_probe\n"), r.err);
  r = probe({"assert", "null", "0"});
  EXPECT_EQ(nl("Assertion failed in 'history/gui/xhistory_fsutil' on line 123 in "
               "fsutil_probe\n"), r.err);
  // Before start-up there is no program name to add.
  r = probe({"assert-noinit"});
  EXPECT_EQ(1u, r.status);
  EXPECT_EQ(nl("Assertion (a == b) failed in 'some/module' on line 7\n"), r.err);
}

TEST(Message, LevelsAndNewlines) {
  run_result r = probe({"message", "3", "plain sentence"});
  EXPECT_EQ(0u, r.status);
  EXPECT_EQ(nl("before\n"), r.out);
  EXPECT_EQ(nl("fsutil_probe: error: plain sentence\n"), r.err);
  EXPECT_EQ(nl("fsutil_probe: warning: ends\n"), probe({"message", "4", "ends\n"}).err);
  EXPECT_EQ(nl("fsutil_probe: info: \n"), probe({"message", "5", ""}).err);
  EXPECT_EQ(nl("fsutil_probe: no level\n"), probe({"message", "0", "no level"}).err);
  EXPECT_EQ(nl("fsutil_probe: disaster: d\n"), probe({"message", "1", "d"}).err);
  EXPECT_EQ(nl("fsutil_probe: beyond\n"), probe({"message", "9", "beyond"}).err);
}

TEST(Fatal, PerrorExitAddsTheErrorTextOnlyWhenThereIsOne) {
  run_result r = probe({"perror-exit", "4", "0", "cannot go on"});
  EXPECT_EQ(4u, r.status);
  EXPECT_EQ(nl("fsutil_probe: fatal: cannot go on\n"), r.err);
  r = probe({"perror-exit", "6", std::to_string(ENOENT), "open failed"});
  EXPECT_EQ(6u, r.status);
  EXPECT_EQ(nl("fsutil_probe: fatal: open failed: " + std::string(strerror(ENOENT)) +
               "\n"), r.err);
  r = probe({"fatal", "0", "quiet"});
  EXPECT_EQ(0u, r.status);
  EXPECT_EQ(nl("fsutil_probe: quiet\n"), r.err);
  r = probe({"fatal", "9", "loud"});
  EXPECT_EQ(9u, r.status);
  EXPECT_EQ(nl("fsutil_probe: fatal: loud\n"), r.err);
}

TEST(Allocator, ZeroCountAndTheThirtyTwoBitRefusal) {
  run_result r = probe({"calloc", "0", "100"});
  EXPECT_EQ(0u, r.status);
  EXPECT_EQ(nl("null\n"), r.out);
  EXPECT_EQ(nl("block\n"), probe({"calloc", "0x1000", "0x1000"}).out);
  r = probe({"calloc", "0x10000", "0x10000"});
  EXPECT_EQ(3u, r.status);
  EXPECT_EQ("", r.out);
  EXPECT_EQ(nl("fsutil_probe: fatal: Attempt to allocate 0x10000 * 0x10000 bytes\n"),
            r.err);
  // count + size wraps to 0 in 32 bits, so the rule lets this through and
  // the allocation itself fails, as it does in a 32-bit process.
  r = probe({"calloc", "1", "0xFFFFFFFF"});
  EXPECT_EQ(3u, r.status);
  EXPECT_EQ(nl("fsutil_probe: fatal: Out of memory (0xFFFFFFFF bytes requested)\n"),
            r.err);
  r = probe({"calloc", "0x20000", "0x8000"});
  EXPECT_EQ(3u, r.status);
  EXPECT_EQ(nl("fsutil_probe: fatal: Attempt to allocate 0x20000 * 0x8000 bytes\n"),
            r.err);
}

TEST(Allocator, OutOfMemoryLine) {
  run_result r = probe({"oom", "0x1234"});
  EXPECT_EQ(3u, r.status);
  EXPECT_EQ(nl("fsutil_probe: fatal: Out of memory (0x00001234 bytes requested)\n"),
            r.err);
  r = probe({"oom", "0xABCDEF"});
  EXPECT_EQ(nl("fsutil_probe: fatal: Out of memory (0x00ABCDEF bytes requested)\n"),
            r.err);
}

TEST(Exit, SecondExitEndsAtOnceWithItsCode) {
  run_result r = probe({"exit-twice", "2", "5"});
  EXPECT_EQ(5u, r.status);
}

TEST(Exit, StreamsAreLeftToTheRuntimeOnceExiting) {
  temp_dir dir;
  run_result r = probe({"fclose-after-exit", dir.file("s.txt")});
  EXPECT_EQ(0u, r.status);
  EXPECT_EQ(nl("gen_fclose during exit: 0\n"), r.err);
  std::string content;
  ASSERT_TRUE(read_file(dir.file("s.txt"), &content));
  EXPECT_EQ("written", content);
}

TEST(CrashReport, DirectoryMadeAbsoluteCreatedAndReported) {
  temp_dir dir;
  run_options o;
  o.cwd = dir.path;
  o.env = {{"QXR_RNE_DUMP_PATH", "dumps/./deep//x"}};
  std::string want = dir.path + native_separator() + "dumps" + native_separator() +
                     "deep" + native_separator() + "x";
  run_result r = probe({"env", "QXR_RNE_DUMP_PATH"}, o);
  EXPECT_EQ(nl(want + "\n"), r.out);
  EXPECT_TRUE(is_dir(want));

  r = probe({"crash"}, o);
  EXPECT_EQ(1u, r.status);
  EXPECT_EQ(nl("line before the crash\n"), r.out);
  EXPECT_EQ(nl("Program \"fsutil_probe\" has aborted. RNE logs of this event are in " +
               want + "\n"), r.err);
}

// A mapped file that shrinks under its view faults with SIGBUS on POSIX,
// where Win32 raises an in-page error: reported like any other fault.
TEST(CrashReport, MappedFileCutShortIsReported) {
  if (on_win32()) GTEST_SKIP() << "a mapped file cannot be cut short there";
  temp_dir dir;
  run_options o;
  o.env = {{"QXR_RNE_DUMP_PATH", dir.file("dumps")}};
  run_result r = probe({"mapped-file-cut-short", dir.file("mapped")}, o);
  EXPECT_EQ(1u, r.status);
  EXPECT_EQ(0, r.signal);
  EXPECT_EQ("line before the fault\n", r.out);
  EXPECT_EQ("Program \"fsutil_probe\" has aborted. RNE logs of this event are in " +
                dir.file("dumps") + "\n",
            r.err);
  // Without the handlers the signal itself ends the process.
  o.env = {{"QXR_RNE_DUMP_PATH", ""}, {"ASAN_OPTIONS", "handle_sigbus=0"}};
  r = probe({"mapped-file-cut-short", dir.file("mapped")}, o);
  EXPECT_EQ(kSigbus, r.signal);
  EXPECT_EQ(std::string::npos, r.err.find("RNE logs")) << r.err;
}

TEST(CrashReport, UnhandledExceptionIsReportedAndEndsTheProcess) {
  if (!on_win32()) GTEST_SKIP() << "structured exceptions are a Win32 matter";
  temp_dir dir;
  run_options o;
  o.env = {{"QXR_RNE_DUMP_PATH", dir.path}};
  run_result r = probe({"raise-exception"}, o);
  EXPECT_EQ(0xE0001234u, r.status);
  EXPECT_EQ(nl("Program \"fsutil_probe\" has caught an unhandled signal. RNE logs of "
               "this event are in " + dir.path + "\n"), r.err);
}

TEST(CrashReport, UserDataDirectoryStandsInForAVanishedCurrentDirectory) {
  if (on_win32()) GTEST_SKIP() << "a current directory cannot vanish there";
  temp_dir dir;
  std::string gone = dir.file("gone"), data = dir.file("data");
  ASSERT_TRUE(make_dir(gone));
  ASSERT_TRUE(make_dir(data));
  run_options o;
  o.cwd = gone;
  o.env = {{"QXR_RNE_DUMP_PATH", "dumps"}, {"XDG_DATA_HOME", data}};
  run_result r = probe({"init-in-removed-cwd", gone}, o);
  EXPECT_EQ(0u, r.status);
  EXPECT_EQ(data + "/dumps\n", r.out);
  EXPECT_TRUE(is_dir(data + "/dumps"));
}

TEST(CrashReport, NothingWithoutTheVariable) {
  run_options o;
  // A sanitizer build would report the fault itself; let it through.
  o.env = {{"QXR_RNE_DUMP_PATH", ""}, {"ASAN_OPTIONS", "handle_segv=0"}};
  run_result r = probe({"crash"}, o);
  if (on_win32())
    EXPECT_EQ(0xC0000005u, r.status);  // the access violation itself
  else
    EXPECT_EQ(11, r.signal);  // SIGSEGV
  EXPECT_EQ(std::string::npos, r.err.find("RNE logs"));
}

// The fault of a run without crash-report handlers: the process ends with
// it and no report line is written.
void expect_unreported_crash(const run_result& r) {
  if (on_win32())
    EXPECT_EQ(0xC0000005u, r.status);
  else
    EXPECT_EQ(11, r.signal);
  EXPECT_EQ(std::string::npos, r.err.find("RNE logs")) << r.err;
}

// A URL and a "~" that HOME cannot expand name no local directory: they
// stay as they are, nothing is made of them under the current directory,
// and the handlers are not installed.
TEST(CrashReport, UrlsAndUnexpandedHomeCreateNothing) {
  struct value_case {
    const char* value;
    const char* first_component;
  } cases[] = {{"http://host/dumps", "http:"}, {"~/dumps", "~"}, {"~", "~"}};
  for (const value_case& c : cases) {
    temp_dir dir;
    run_options o;
    o.cwd = dir.path;
    o.env = {{"QXR_RNE_DUMP_PATH", c.value}, {"ASAN_OPTIONS", "handle_segv=0"}};
    o.unset_env = {"HOME"};
    // A URL is kept as it is; a "~" form is only tidied.
    std::string stored = c.value;
    if (stored[0] == '~')
      for (char& ch : stored)
        if (ch == '/') ch = native_separator();
    EXPECT_EQ(nl(stored + "\n"), probe({"env", "QXR_RNE_DUMP_PATH"}, o).out);
    expect_unreported_crash(probe({"crash"}, o));
    EXPECT_FALSE(file_exists(dir.file(c.first_component))) << c.value;
  }
  // With HOME set, "~" stands for it.
  temp_dir dir;
  run_options o;
  o.env = {{"QXR_RNE_DUMP_PATH", "~/dumps"}, {"HOME", dir.path}};
  std::string want = dir.path + native_separator() + "dumps";
  EXPECT_EQ(nl(want + "\n"), probe({"env", "QXR_RNE_DUMP_PATH"}, o).out);
  EXPECT_TRUE(is_dir(want));
}

// The report line carries the whole directory name and its line feed,
// however long the name is.
TEST(CrashReport, LongDirectoryNameIsReportedWhole) {
  temp_dir dir;
  std::string want = dir.path;
  while (want.size() < 2100) want += native_separator() + std::string(150, 'd');
  run_options o;
  o.env = {{"QXR_RNE_DUMP_PATH", want}};
  run_result r = probe({"crash"}, o);
  if (!is_dir(want)) {
    // Windows' path functions stop at 260 characters: no such directory,
    // and so no report, can exist there.
    if (on_win32()) GTEST_SKIP() << "the system cannot make a directory this deep";
    FAIL() << "no directory made";
  }
  EXPECT_EQ(1u, r.status);
  EXPECT_EQ(nl("Program \"fsutil_probe\" has aborted. RNE logs of this event are in " +
               want + "\n"),
            r.err);
}

}  // namespace
