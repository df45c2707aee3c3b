// Fast sort engine beside the windowed reference engine, on the same
// call-browser records, with two yardsticks: an in-memory std::stable_sort
// of the records (with the reading of the input and the writing of an index
// it is the floor for this work) and GNU sort on an equivalent text file.
// Each contender runs as a child process, measured alike; the two engines'
// work and index files are compared byte for byte.
//
//   sort_fast_bench [--dir D] [--no-reference] [--no-gnu-sort] [N ...]
//
// N defaults to 100000 1000000 10000000.  Not a test: it prints figures.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "bench/bench_child.h"

#include "history/gui/callbrowser_shared.h"
#include "history/gui/sort_kinds.h"
#include "platform/plat.h"

namespace {

using bench::beside;
using bench::next_random;
using bench::run_child;
using bench::same_bytes;
using bench::usage;



// Call-browser records: random bytes, column values from a few thousand
// distinct keys so that ties occur.  Also the text form for GNU sort: the
// primary and secondary of column 0 zero-padded, then the other 64 bytes in
// hex, so that reverse text order is the column's order.
bool generate(const std::string& path, const std::string& text, uint64_t n) {
  FILE* f = fopen(path.c_str(), "wb");
  FILE* t = text.empty() ? nullptr : fopen(text.c_str(), "wb");
  if (!f || (!text.empty() && !t)) return false;
  uint64_t s = 0x9E3779B97F4A7C15ull;
  unsigned char rec[80];
  char line[200];
  for (uint64_t i = 0; i < n; ++i) {
    for (uint32_t k = 0; k < 80; k += 8) {
      uint64_t v = next_random(&s);
      if (k < 64) v %= 5000;
      memcpy(rec + k, &v, 8);
    }
    if (fwrite(rec, 1, 80, f) != 80) return false;
    if (t) {
      uint64_t p, q;
      memcpy(&p, rec, 8);
      memcpy(&q, rec + 8, 8);
      int len = snprintf(line, sizeof line, "%020llu %020llu ",
                         (unsigned long long)p, (unsigned long long)q);
      for (int k = 16; k < 80; ++k) len += snprintf(line + len, 3, "%02x", rec[k]);
      line[len++] = '\n';
      if (fwrite(line, 1, (size_t)len, t) != (size_t)len) return false;
    }
  }
  bool ok = fclose(f) == 0;
  if (t) ok = fclose(t) == 0 && ok;
  return ok;
}


// The floor, run as a child of its own: read the records, stable_sort
// them in memory by column 0 with the later of equal records first (as
// the engines order them), write the two-way index.
struct record {
  unsigned char b[80];
  uint32_t pos;
};

int stable_sort_child(const char* in, const char* index, uint64_t n) {
  std::vector<record> recs(n);
  FILE* f = fopen(in, "rb");
  if (!f) return 1;
  for (uint64_t i = 0; i < n; ++i) {
    if (fread(recs[i].b, 1, 80, f) != 80) return 1;
    recs[i].pos = (uint32_t)i;
  }
  fclose(f);
  const uint32_t column = 0;
  callbrowser_ascending = 0;
  std::reverse(recs.begin(), recs.end());
  std::stable_sort(recs.begin(), recs.end(),
                   [&](const record& a, const record& b) {
                     return callbrowser_cmp(&column, a.b, b.b) < 0;
                   });
  std::vector<uint32_t> idx(2 * n);
  for (uint64_t j = 0; j < n; ++j) {
    idx[2 * j] = recs[j].pos;
    idx[2 * (uint64_t)recs[j].pos + 1] = (uint32_t)j;
  }
  FILE* o = fopen(index, "wb");
  if (!o || fwrite(idx.data(), 8, n, o) != n) return 1;
  return fclose(o) == 0 ? 0 : 1;
}

void print_row(const char* what, uint64_t n, const usage& u, double base) {
  printf("  %-22s %8.2f s %11.0f rec/s %8.1f MiB RSS  read %8.1f MiB  "
         "written %8.1f MiB  (storage %.1f / %.1f)  x%.2f%s\n",
         what, u.wall, u.wall > 0 ? (double)n / u.wall : 0.0,
         (double)u.peak_rss / (1 << 20), (double)u.rchar / (1 << 20),
         (double)u.wchar / (1 << 20), (double)u.read_bytes / (1 << 20),
         (double)u.write_bytes / (1 << 20), base > 0 ? base / u.wall : 0.0,
         u.ok && u.status == 0 ? "" : "  FAILED");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && !strcmp(argv[1], "--stable-sort-child"))
    return stable_sort_child(argv[2], argv[3], strtoull(argv[4], nullptr, 10));
  std::string dir = ".";
  bool reference = true, gnu = true;
  std::vector<uint64_t> counts;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--dir" && i + 1 < argc) dir = argv[++i];
    else if (a == "--no-reference") reference = false;
    else if (a == "--no-gnu-sort") gnu = false;
    else counts.push_back(strtoull(argv[i], nullptr, 10));
  }
#ifdef _WIN32
  gnu = false;
#endif
  if (counts.empty()) counts = {100000, 1000000, 10000000};
  const std::string program = beside(argv[0], "xhistory_fsutil");
  const std::string in = dir + "/fb_in", text = dir + "/fb_in.txt",
                    work = dir + "/fb_work", index = dir + "/fb_index",
                    lines = dir + "/fb_lines";
  for (uint64_t n : counts) {
    if (n == 0 || n > 2147483647u) continue;
    if (!generate(in, gnu ? text : "", n)) {
      fprintf(stderr, "sort_fast_bench: cannot write in %s\n", dir.c_str());
      return 1;
    }
    printf("%llu call-browser records (%.1f MiB), column 0:\n",
           (unsigned long long)n, (double)n * 80 / (1 << 20));
    const std::vector<std::string> args = {program, "--sort", in, work,
                                           index, "0", std::to_string(n)};
    usage ref;
    if (reference) {
      plat_setenv("XH_SORT_ENGINE", "reference");
      ref = run_child(args, lines + ".ref");
      plat_setenv("XH_SORT_ENGINE", "");
      rename(work.c_str(), (work + ".ref").c_str());
      rename(index.c_str(), (index + ".ref").c_str());
    }
    usage fast = run_child(args, lines);
    usage floor = run_child({beside(argv[0], "sort_fast_bench"),
                             "--stable-sort-child", in, index + ".mem",
                             std::to_string(n)},
                            "");
    usage gnu_sort;
    if (gnu) {
      plat_setenv("LC_ALL", "C");
      gnu_sort = run_child({"sort", "-r", "-o", text + ".sorted", text}, "");
    }
    const double base = reference ? ref.wall : 0;
    if (reference) print_row("reference engine", n, ref, base);
    print_row("fast engine", n, fast, base);
    print_row("stable_sort in memory", n, floor, base);
    if (gnu) print_row("GNU sort (text)", n, gnu_sort, base);
    if (reference) {
      bool same = same_bytes(work, work + ".ref") &&
                  same_bytes(index, index + ".ref") &&
                  same_bytes(lines, lines + ".ref");
      printf("  fast / reference: %.1fx faster; files and lines %s\n",
             fast.wall > 0 ? ref.wall / fast.wall : 0.0,
             same ? "identical" : "DIFFER");
    }
    printf("  fast / stable_sort floor: %.2f\n",
           floor.wall > 0 ? fast.wall / floor.wall : 0.0);
    for (const std::string& f :
         {in, text, text + ".sorted", work, index, lines, work + ".ref",
          index + ".ref", lines + ".ref", index + ".mem"})
      remove(f.c_str());
    fflush(stdout);
  }
  return 0;
}
