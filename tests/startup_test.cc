// What a start of the native program loads: the font libraries and their
// dependencies only when --fonts runs, so that the viewer's many copies and
// removals do not pay for them.  The dynamic loader's own log of the files
// it maps (LD_DEBUG=files) shows libraries linked to the program and
// libraries opened while it runs alike.
#include <gtest/gtest.h>

#include "tests/font_fixture.h"
#include "tests/harness.h"

namespace {

const char* const kFontLibraries[] = {"libfontconfig.so", "libfreetype.so",
                                      "libexpat.so",      "libpng",
                                      "libbrotli",        "libz.so"};

// The loader's log of one run; the program's status is checked too, so that
// a run that failed early cannot pass for one that loaded nothing.
std::string loaded_files(const std::vector<std::string>& args,
                         uint32_t status, const run_options& base) {
  run_options o = base;
  o.env.push_back({"LD_DEBUG", "files"});
  run_result r = run_fsutil(args, o);
  EXPECT_EQ(status, r.status) << r.err;
  return r.err;
}

// Nor the C++ runtime or the maths library: each costs every start more
// than the program's own work for a small copy.  A sanitized build brings
// both with its runtime, so only a plain build can be held to this.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define XH_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(XH_SANITIZED)
const bool kSanitized = true;
#else
const bool kSanitized = false;
#endif
const char* const kRuntimeLibraries[] = {"libstdc++.so", "libm.so", "libgcc_s.so"};

TEST(StartUp, CommandsWithoutFontsLoadNoFontLibrary) {
  if (on_win32()) GTEST_SKIP() << "the Win32 program is linked statically";
  temp_dir dir;
  run_options o;
  o.cwd = dir.path;
  ASSERT_TRUE(write_file(dir.file("src"), "some bytes\n"));
  ASSERT_TRUE(write_file(dir.file("a.cfg"), "key = value\n"));
  const std::vector<std::pair<std::vector<std::string>, uint32_t>> runs = {
      {{}, status_minus1()},
      {{"--remove", "missing"}, 0},
      {{"--copy", "src", "dst"}, 0},
      {{"--readcfg", "a.cfg"}, 0},
  };
  for (const auto& run : runs) {
    std::string log = loaded_files(run.first, run.second, o);
    std::string what = run.first.empty() ? "no command word" : run.first[0];
    // The log must be there at all: the C library is always loaded.
    EXPECT_NE(std::string::npos, log.find("file=libc.so")) << what << "\n" << log;
    for (const char* lib : kFontLibraries)
      EXPECT_EQ(std::string::npos, log.find(std::string("file=") + lib))
          << what << " loads " << lib << "\n" << log;
    for (const char* lib : kRuntimeLibraries) {
      if (kSanitized) break;
      EXPECT_EQ(std::string::npos, log.find(std::string("file=") + lib))
          << what << " loads " << lib << "\n" << log;
    }
  }
}

TEST(StartUp, FontsCommandLoadsBothFontLibraries) {
  if (on_win32()) GTEST_SKIP() << "the Win32 program is linked statically";
  if (!have_font_file(kDejaVuFolder, "DejaVuSans.ttf")) GTEST_SKIP() << "DejaVu is not installed";
  temp_dir dir;
  run_options o;
  o.cwd = dir.path;
  o.env = {{"FONTCONFIG_FILE", write_font_config(dir, {kDejaVuFolder})}};
  o.unset_env = {"XH_FONT_PATH"};
  std::string log = loaded_files({"--fonts"}, 0, o);
  EXPECT_NE(std::string::npos, log.find("file=libfontconfig.so.1")) << log;
  EXPECT_NE(std::string::npos, log.find("file=libfreetype.so.6")) << log;
}

}  // namespace
