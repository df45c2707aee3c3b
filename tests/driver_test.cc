// The command line as the viewer sees it: dispatch, operand checks, the
// request identifier and the start-up messages.
#include <gtest/gtest.h>

#include "tests/harness.h"

namespace {

const char kDriver[] = "history/gui/xhistory_fsutil";

std::string assertion(const std::string& expr, const std::string& module,
                      int line) {
  return nl("Assertion (" + expr + ") failed in '" + module + "' on line " +
            std::to_string(line) + " in xhistory_fsutil\n");
}

void expect_assertion(const run_result& r, const std::string& expr, int line,
                      const std::string& module = kDriver) {
  EXPECT_EQ(1u, r.status);
  EXPECT_EQ("", r.out);
  EXPECT_EQ(assertion(expr, module, line), r.err);
}

TEST(Dispatch, NoCommandWordEndsWithMinusOne) {
  for (auto args : std::vector<std::vector<std::string>>{
           {}, {"--uid", "5"}, {"--REMOVE", "x"}, {"hello", "--Copy"}}) {
    run_result r = run_fsutil(args);
    EXPECT_EQ(status_minus1(), r.status);
    EXPECT_EQ("", r.out);
    EXPECT_EQ("", r.err);
  }
}

TEST(Dispatch, HelpAndVersionAreCommandWords) {
  for (auto args : std::vector<std::vector<std::string>>{
           {"--help"}, {"-h"}, {"stray", "--help", "more"}, {"--uid", "7", "-h"}}) {
    run_result r = run_fsutil(args);
    EXPECT_EQ(0u, r.status) << args[0];
    EXPECT_EQ(0u, r.out.find(nl("usage: xhistory_fsutil COMMAND"))) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("--writecfg FILE"));
    EXPECT_NE(std::string::npos, r.out.find("--version"));
    EXPECT_EQ("", r.err);
  }
  run_result r = run_fsutil({"--version"});
  EXPECT_EQ(0u, r.status);
  EXPECT_EQ(nl("xhistory_fsutil " XH_VERSION "\n"), r.out);
  EXPECT_EQ("", r.err);
  // Capitals are no command word, as with the others.
  r = run_fsutil({"--HELP"});
  EXPECT_EQ(status_minus1(), r.status);
  EXPECT_EQ("", r.out + r.err);
}

TEST(Dispatch, HelpAfterACommandWordIsAnOperand) {
  temp_dir dir;
  run_options o;
  o.cwd = dir.path;
  ASSERT_TRUE(write_file(dir.file("--help"), "data"));
  run_result r = run_fsutil({"--remove", "--help"}, o);
  EXPECT_EQ(0u, r.status);
  EXPECT_EQ("", r.out + r.err);
  EXPECT_FALSE(file_exists(dir.file("--help")));
  // The first command word wins: a copy from a file named --version.
  ASSERT_TRUE(write_file(dir.file("--version"), "v"));
  r = run_fsutil({"--copy", "--version", "-h"}, o);
  EXPECT_EQ(0u, r.status);
  std::string copied;
  EXPECT_TRUE(read_file(dir.file("-h"), &copied));
  EXPECT_EQ("v", copied);
  EXPECT_NE(std::string::npos, r.out.find("copy_done"));
  EXPECT_EQ(std::string::npos, r.out.find("usage"));
}

TEST(Dispatch, OperandChecksNameTheirLines) {
  expect_assertion(run_fsutil({"--readcfg"}), "argc > i + 1", 59);
  expect_assertion(run_fsutil({"--writecfg"}), "argc > i + 1", 59);
  expect_assertion(run_fsutil({"--copy", "a"}), "argc > i + 2", 64);
  expect_assertion(run_fsutil({"--remove"}), "argc > i + 1", 69);
  expect_assertion(run_fsutil({"--sort", "a", "b"}), "argc > i + 3", 75);
  expect_assertion(run_fsutil({"--statessort", "a", "b"}), "argc > i + 3", 85);
  expect_assertion(run_fsutil({"--gurusort", "a", "b", "c"}), "argc > i + 4", 99);
}

TEST(Dispatch, SortWithoutKeyOrCountTouchesNothing) {
  temp_dir dir;
  run_options o;
  o.cwd = dir.path;
  ASSERT_TRUE(write_file(dir.file("in"), std::string(160, 'r')));
  expect_assertion(run_fsutil({"--sort", "in", "w", "i"}, o), "argc > i + 5", 75);
  expect_assertion(run_fsutil({"--sort", "in", "w", "i", "1"}, o), "argc > i + 5", 75);
  expect_assertion(run_fsutil({"--statessort", "in", "w", "i", "0"}, o),
                   "argc > i + 5", 85);
  expect_assertion(run_fsutil({"--gurusort", "in", "w", "i", "0"}, o),
                   "argc > i + 5", 99);
  EXPECT_FALSE(file_exists(dir.file("w")));
  EXPECT_FALSE(file_exists(dir.file("i")));
}

TEST(Dispatch, CallbrowserColumnOutsideRangeFailsBeforeAnyFile) {
  temp_dir dir;
  run_options o;
  o.cwd = dir.path;
  ASSERT_TRUE(write_file(dir.file("in"), std::string(160, 'r')));
  for (const char* key : {"4", "99", "4294967295", "-1"}) {
    expect_assertion(run_fsutil({"--sort", "in", "w", "i", key, "2"}, o), "0", 49,
                     "history/gui/callbrowser_shared");
  }
  EXPECT_FALSE(file_exists(dir.file("w")));
  EXPECT_FALSE(file_exists(dir.file("i")));
}

TEST(Uid, ValueMustFollowAndConvert) {
  expect_assertion(run_fsutil({"--uid"}), "argc > i + 1", 50);
  expect_assertion(run_fsutil({"--remove", "x", "--uid"}), "argc > i + 1", 50);
  temp_dir dir;
  ASSERT_TRUE(write_file(dir.file("f"), "data"));
  expect_assertion(run_fsutil({"--uid", "abc", "--remove", dir.file("f")}), "false", 52);
  EXPECT_TRUE(file_exists(dir.file("f")));
  // Digits followed by letters convert; the command then runs.
  run_result r = run_fsutil({"--uid", "12ab", "--remove", dir.file("f")});
  EXPECT_EQ(0u, r.status);
  EXPECT_FALSE(file_exists(dir.file("f")));
}

TEST(Uid, LastOneWinsAndTheValueIsScannedAsAWord) {
  // "--uid --uid 3": the value of the first is the word "--uid", which does
  // not convert.
  expect_assertion(run_fsutil({"--uid", "--uid", "3"}), "false", 52);
}

TEST(ViewpathDebug, MessageOnlyWhenSetAndNotEmpty) {
  run_options on;
  on.env = {{"QXR_VP_DEBUG", "1"}};
  run_result r = run_fsutil({}, on);
  EXPECT_EQ(status_minus1(), r.status);
  EXPECT_EQ("", r.out);
  EXPECT_EQ(nl("xhistory_fsutil: info: Viewpathing support is OFF.\n"), r.err);

  run_options empty;
  empty.env = {{"QXR_VP_DEBUG", ""}};
  EXPECT_EQ("", run_fsutil({}, empty).err);
  run_options unset;
  unset.unset_env = {"QXR_VP_DEBUG"};
  EXPECT_EQ("", run_fsutil({}, unset).err);
}

TEST(Remove, OrdinaryAndWriteProtectedFilesGo) {
  temp_dir dir;
  ASSERT_TRUE(write_file(dir.file("plain"), "x"));
  ASSERT_TRUE(write_file(dir.file("locked"), "y"));
  ASSERT_TRUE(set_read_only(dir.file("locked"), true));
  for (const char* name : {"plain", "locked"}) {
    run_result r = run_fsutil({"--remove", dir.file(name)});
    EXPECT_EQ(0u, r.status);
    EXPECT_EQ("", r.out);
    EXPECT_EQ("", r.err);
    EXPECT_FALSE(file_exists(dir.file(name))) << name;
  }
}

TEST(Remove, DirectoriesStayAndMissingNamesAreNotCreated) {
  temp_dir dir;
  ASSERT_TRUE(make_dir(dir.file("empty")));
  ASSERT_TRUE(make_dir(dir.file("full")));
  ASSERT_TRUE(write_file(dir.file("full") + native_separator() + "inner", "z"));
  for (std::string target : {dir.file("empty"), dir.file("full"),
                             dir.file("full") + native_separator()}) {
    run_result r = run_fsutil({"--remove", target});
    EXPECT_EQ(0u, r.status);
    EXPECT_EQ("", r.out + r.err);
  }
  EXPECT_TRUE(is_dir(dir.file("empty")));
  EXPECT_TRUE(file_exists(dir.file("full") + native_separator() + "inner"));

  run_result r = run_fsutil({"--remove", dir.file("missing")});
  EXPECT_EQ(0u, r.status);
  EXPECT_EQ("", r.out + r.err);
  EXPECT_FALSE(file_exists(dir.file("missing")));
}

TEST(Remove, RelativeNameIsResolvedInTheCurrentDirectory) {
  temp_dir dir;
  ASSERT_TRUE(make_dir(dir.file("sub")));
  ASSERT_TRUE(write_file(dir.file("rel.txt"), "r"));
  ASSERT_TRUE(write_file(dir.file("sub") + native_separator() + "rel.txt", "s"));
  run_options o;
  o.cwd = dir.file("sub");
  run_result r = run_fsutil({"ignored-word", "--remove", "../sub/./../rel.txt"}, o);
  EXPECT_EQ(0u, r.status);
  EXPECT_FALSE(file_exists(dir.file("rel.txt")));
  EXPECT_TRUE(file_exists(dir.file("sub") + native_separator() + "rel.txt"));
}

}  // namespace
