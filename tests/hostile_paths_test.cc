// Names of every awkward shape go through --remove as they are given.
#include <gtest/gtest.h>

#include "tests/harness.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

std::vector<std::string> awkward_names() {
  std::vector<std::string> names = {
      "with blank", "100%done", "%s%n%d", "it's", "-dash", "--remove",
      "caf\xc3\xa9", "\xe4\xf6\xfc", "trailing.", "a..b", "#hash"};
  if (!on_win32()) {
    names.push_back("back\\slash");
    names.push_back("quote\"d");
    names.push_back("\xff\xfe");
  }
  return names;
}

TEST(HostilePaths, RemoveTakesEveryNameLiterally) {
  for (const std::string& name : awkward_names()) {
    temp_dir dir;
    std::string target = dir.file(name), other = dir.file("keep");
    ASSERT_TRUE(write_file(target, "x")) << name;
    ASSERT_TRUE(write_file(other, "y"));
    run_result r = run_fsutil({"--remove", target});
    EXPECT_EQ(0u, r.status) << name;
    EXPECT_EQ("", r.out + r.err) << name;
    EXPECT_FALSE(file_exists(target)) << name;
    EXPECT_TRUE(file_exists(other)) << name;
  }
}

// Copy, configuration and sort with an awkward name in every operand.
void every_command_with(const temp_dir& dir, const std::string& a,
                        const std::string& b, const std::string& c,
                        const std::string& label) {
  std::string content(3000, 'x');
  for (size_t i = 0; i < content.size(); ++i) content[i] = (char)(i * 7);
  ASSERT_TRUE(write_file(a, content)) << label;
  run_result r = run_fsutil({"--copy", a, b});
  EXPECT_EQ(nl("copy_pct 100\ncopy_done \n"), r.out) << label << r.err;
  std::string copied;
  EXPECT_TRUE(read_file(b, &copied) && copied == content) << label;

  run_options in;
  in.stdin_data = "kv key value\nenter\nkv inner\nexit\ndone\n";
  r = run_fsutil({"--writecfg", c}, in);
  EXPECT_EQ(0u, r.status) << label << r.err;
  r = run_fsutil({"--readcfg", c});
  EXPECT_EQ(0u, r.status) << label;
  EXPECT_EQ(nl("cfg_enter \"key\" \"value\"\ncfg_kv \"inner\" \ncfg_exit \ncfg_done \n"),
            r.out)
      << label;

  // 3000 bytes are 37 whole call-browser records.
  r = run_fsutil({"--sort", a, b, c, "1", "37"});
  EXPECT_EQ(0u, r.status) << label << r.out << r.err;
  EXPECT_NE(std::string::npos, r.out.find("callbrowser_sort_done")) << label;
  std::string kept;
  EXPECT_TRUE(read_file(a, &kept) && kept == content) << label;
  (void)dir;
}

TEST(HostilePaths, EveryCommandTakesEveryNameLiterally) {
  for (const std::string& name : awkward_names()) {
    temp_dir dir;
    every_command_with(dir, dir.file(name), dir.file(name + ".2"),
                       dir.file("3." + name), name);
  }
}

TEST(HostilePaths, RelativeNamesWithManyDotDots) {
  temp_dir dir;
  std::string sep(1, native_separator());
  std::string deep = dir.path;
  for (int i = 0; i < 12; ++i) {
    deep += sep + "d" + std::to_string(i);
    ASSERT_TRUE(make_dir(deep));
  }
  ASSERT_TRUE(write_file(dir.file("top.txt"), "t"));
  std::string rel;
  for (int i = 0; i < 12; ++i) rel += "../";
  run_options o;
  o.cwd = deep;
  run_result r = run_fsutil({"--remove", rel + "d0/./../top.txt"}, o);
  EXPECT_EQ(0u, r.status);
  EXPECT_FALSE(file_exists(dir.file("top.txt")));
  EXPECT_TRUE(is_dir(deep));
}

#ifndef _WIN32
// Long names exist only below the platform's own limits: on POSIX a path
// of about 1023 characters is a chain of directories.
TEST(HostilePaths, NamesNearTheFullPathLimit) {
  temp_dir dir;
  for (size_t total : {1022u, 1023u, 1024u, 1100u}) {
    std::string path = dir.path;
    while (path.size() + 1 + 200 < total) {
      path += "/" + std::string(199, 'p');
      make_dir(path);
    }
    std::string file = path + "/" + std::string(total - path.size() - 1, 'f');
    ASSERT_EQ(total, file.size());
    ASSERT_TRUE(write_file(file, "x")) << total;
    std::string other = path + "/" + std::string(total - path.size() - 1, 'g');
    std::string third = path + "/" + std::string(total - path.size() - 1, 'h');
    // A full form of 1024 characters or more is used as given, which for
    // an absolute name is the same file.
    every_command_with(dir, file, other, third, std::to_string(total));
    run_result r = run_fsutil({"--remove", file});
    EXPECT_EQ(0u, r.status);
    EXPECT_FALSE(file_exists(file)) << total;
  }
}
#endif

TEST(LargeFiles, RemoveAFileOfFourGigabytesOrMore) {
  temp_dir dir;
  std::string f = dir.file("big.bin");
#ifdef _WIN32
  HANDLE h = CreateFileA(f.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  LARGE_INTEGER size;
  size.QuadPart = 5LL << 30;
  ASSERT_TRUE(SetFilePointerEx(h, size, nullptr, FILE_BEGIN));
  ASSERT_TRUE(SetEndOfFile(h));
  CloseHandle(h);
#else
  int fd = open(f.c_str(), O_CREAT | O_WRONLY, 0444);  // write-protected too
  ASSERT_GE(fd, 0);
  ASSERT_EQ(0, ftruncate(fd, 5LL << 30));
  close(fd);
#endif
  run_result r = run_fsutil({"--remove", f});
  EXPECT_EQ(0u, r.status);
  EXPECT_FALSE(file_exists(f));
}

}  // namespace
