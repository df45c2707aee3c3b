// The fast sort engine against the windowed one on small record files:
// the same lines, the same index and work files, for every kind, key and
// count, with a buffer budget small enough to force several blocks.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "fuzz/fuzz_support.h"
#include "history/gui/callbrowser_shared.h"
#include "history/gui/extsort/extsort.h"
#include "history/gui/extsort/extsort_fast.h"
#include "history/gui/extsort/extsort_windowed.h"
#include "history/gui/sort_kinds.h"

static std::string slurp(const std::string& path) {
  std::string s;
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return "<missing>";
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
  fclose(f);
  return s;
}

// Runs one engine on the files in, work and index of dir; its lines come
// back in *lines.  (Both engines use the same names, which appear in their
// error lines.)
static int run(extsort_engine e, const std::string& dir, int32_t count, uint32_t size,
               const char* name, uint32_t key, extsort_cmp cmp, std::string* lines) {
  std::string in = dir + "/in", work = dir + "/work", index = dir + "/index";
  char* buf = nullptr;
  size_t len = 0;
  FILE* saved = stdout;
  stdout = open_memstream(&buf, &len);
  int ok = e(in.c_str(), work.c_str(), index.c_str(), count, size, name, &key, cmp);
  fclose(stdout);
  stdout = saved;
  lines->assign(buf, len);
  free(buf);
  return ok;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::string dir = [] {
    char t[] = "/tmp/xh_sort_fuzz_XXXXXX";
    return std::string(mkdtemp(t));
  }();
  if (size < 4) return 0;
  struct kind {
    uint32_t size;
    const char* name;
    extsort_cmp cmp;
    uint32_t keys;
  };
  static const kind kinds[] = {{80, "callbrowser", callbrowser_cmp, 4},
                               {128, "states", states_cmp, 1},
                               {164, "guru", guru_cmp, 2}};
  const kind& k = kinds[data[0] % 3];
  uint32_t key = data[1] % k.keys;
  if (k.cmp == callbrowser_cmp) callbrowser_ascending = (key == 1 || key == 2);
  // Records are cut from the rest of the bytes; the few bytes that the
  // orderings read repeat often, so that ties are common.
  size_t body = size - 4;
  uint32_t n = (uint32_t)(body / 8);
  std::string records(n * k.size, 0);
  for (uint32_t r = 0; r < n; ++r)
    for (uint32_t b = 0; b < k.size; ++b)
      records[r * k.size + b] = (char)(data[4 + r * 8 + (b % 8)] & ((b % 16) < 2 ? 0xFF : 0x03));
  FILE* f = fopen((dir + "/in").c_str(), "wb");
  fwrite(records.data(), 1, records.size(), f);
  fclose(f);
  int32_t count = (int32_t)(data[2] % 2 ? n : (uint32_t)data[3] % (n + 3));
  extsort_fast_set_memory(4096 + (uint64_t)(data[3] % 16) * 1024);

  std::string ref_lines, fast_lines, ref_work, ref_index;
  int ended = 0;
  int a = 0, b = 0;
  FUZZ_GUARDED(ended, {
    a = run(extsort_run_windowed, dir, count, k.size, k.name, key, k.cmp, &ref_lines);
  });
  if (ended != -1) abort();
  ref_work = slurp(dir + "/work");
  ref_index = slurp(dir + "/index");
  unlink((dir + "/work").c_str());
  unlink((dir + "/index").c_str());
  FUZZ_GUARDED(ended, {
    b = run(extsort_run_fast, dir, count, k.size, k.name, key, k.cmp, &fast_lines);
  });
  if (ended != -1) abort();
  if (a != b || ref_lines != fast_lines) abort();
  if (slurp(dir + "/index") != ref_index || slurp(dir + "/work") != ref_work) abort();
  unlink((dir + "/work").c_str());
  unlink((dir + "/index").c_str());
  return 0;
}
