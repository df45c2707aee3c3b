// Heavy cases, opt-in with XH_SLOW_TESTS=1: inputs past 4 GiB (sorted by
// the default, fast engine) and lines of many megabytes.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include <gtest/gtest.h>

#include "tests/harness.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

bool slow_tests() {
  const char* v = getenv("XH_SLOW_TESTS");
  return v && strcmp(v, "1") == 0;
}

// Writes head at the start of a file of `size` bytes whose rest is a hole.
bool make_sparse(const std::string& path, const std::string& head, int64_t size) {
  if (!write_file(path, head)) return false;
#ifdef _WIN32
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER at;
  at.QuadPart = size;
  bool ok = SetFilePointerEx(h, at, nullptr, FILE_BEGIN) && SetEndOfFile(h);
  CloseHandle(h);
  return ok;
#else
  int fd = open(path.c_str(), O_WRONLY);
  if (fd < 0) return false;
  bool ok = ftruncate(fd, size) == 0;
  close(fd);
  return ok;
#endif
}

int64_t size_of(const std::string& path) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return -1;
#ifdef _WIN32
  _fseeki64(f, 0, SEEK_END);
  int64_t n = _ftelli64(f);
#else
  fseeko(f, 0, SEEK_END);
  int64_t n = ftello(f);
#endif
  fclose(f);
  return n;
}

uint32_t u32_at(const std::string& s, size_t at) {
  return (uint32_t)(uint8_t)s[at] | (uint32_t)(uint8_t)s[at + 1] << 8 |
         (uint32_t)(uint8_t)s[at + 2] << 16 | (uint32_t)(uint8_t)s[at + 3] << 24;
}

TEST(LargeFiles, SortAnInputPastFourGigabytesWithASmallCount) {
  if (!slow_tests()) GTEST_SKIP() << "set XH_SLOW_TESTS=1";
  temp_dir dir;
  const int kCount = 1000;
  const int64_t kSize = (4LL << 30) + (512LL << 20);  // 4.5 GiB
  std::string head(80 * kCount, 0);
  std::vector<uint32_t> primary(kCount);
  for (int i = 0; i < kCount; ++i) {
    primary[i] = (uint32_t)((i * 7919) % kCount);  // a permutation
    memcpy(&head[80 * i + 16], &primary[i], 4);     // column 1, little-endian
  }
  std::string in = dir.file("in"), work = dir.file("work"), index = dir.file("index");
  ASSERT_TRUE(make_sparse(in, head, kSize));
  run_result r = run_fsutil({"--sort", in, work, index, "1", std::to_string(kCount)});
  ASSERT_EQ(0u, r.status) << r.out << r.err;
  EXPECT_NE(std::string::npos, r.out.find("callbrowser_sort_done"));
  const int64_t n = kSize / 80;
  EXPECT_EQ(2 * n * 84, size_of(work));
  EXPECT_EQ(8 * n, size_of(index));
  FILE* f = fopen(index.c_str(), "rb");
  ASSERT_NE(nullptr, f);
  std::string entries(8 * kCount, 0);
  ASSERT_EQ(entries.size(), fread(&entries[0], 1, entries.size(), f));
  fclose(f);
  // Column 1 sorts ascending: sorted position j holds the input record
  // whose value is j.
  for (int j = 0; j < kCount; ++j) {
    uint32_t from = u32_at(entries, 8 * j);
    ASSERT_LT(from, (uint32_t)kCount);
    EXPECT_EQ((uint32_t)j, primary[from]) << j;
    EXPECT_EQ((uint32_t)primary[j], u32_at(entries, 8 * j + 4)) << j;
  }
}

TEST(LargeFiles, ConfigurationLinesOfManyMegabytes) {
  if (!slow_tests()) GTEST_SKIP() << "set XH_SLOW_TESTS=1";
  temp_dir dir;
  std::string value(5 << 20, 'v');
  for (size_t i = 0; i < value.size(); i += 4099) value[i] = 'a' + (char)(i % 26);
  ASSERT_TRUE(write_file(dir.file("big.cfg"), "key = " + value + "\n"));
  run_result r = run_fsutil({"--readcfg", dir.file("big.cfg")});
  EXPECT_EQ(0u, r.status);
  EXPECT_TRUE(r.out == nl("cfg_kv \"key\" \"" + value + "\"\ncfg_done \n"))
      << r.out.substr(0, 80);

  // A command line of 10 MB on standard input, then read back.
  std::string ten(10 << 20, 'w');
  for (size_t i = 0; i < ten.size(); i += 1000) ten[i] = ' ';
  run_options o;
  o.stdin_data = "kv \"k\" \"" + ten + "\"\ndone\n";
  r = run_fsutil({"--writecfg", dir.file("ten.cfg")}, o);
  EXPECT_EQ(0u, r.status) << r.err;
  r = run_fsutil({"--readcfg", dir.file("ten.cfg")});
  EXPECT_TRUE(r.out == nl("cfg_kv \"k\" \"" + ten + "\"\ncfg_done \n"))
      << r.out.substr(0, 80);
}

}  // namespace
