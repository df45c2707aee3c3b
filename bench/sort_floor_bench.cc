// The sort against the I/O floor of its result: reading the input once and
// writing the work file's two halves and the index once, measured with cat
// and head -c of the same sizes into new files, as a user would.  Rounds
// alternate the contenders (the floor, the program, and optionally an older
// build of it) so that a busy spell of the shared machine falls on all of
// them; medians are reported, with the machine's load.
//
//   sort_floor_bench [--dir D] [--runs R] [--program P] [--baseline P]
//                    [--memory-mb M] [N ...]
//
// N defaults to 4000000 10000000 call-browser records.  The program's and
// the baseline's work and index files are compared byte for byte.  Not a
// test: it prints figures.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "bench/bench_alternate.h"
#include "bench/bench_child.h"
#include "platform/plat.h"

namespace {

using bench::beside;
using bench::same_bytes;
using bench::median;
using bench::next_random;
using bench::run_child;
using bench::usage;

// The records of sort_fast_bench: random bytes, column values from a few
// thousand distinct keys so that ties occur.
bool generate(const std::string& path, uint64_t n) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return false;
  uint64_t s = 0x9E3779B97F4A7C15ull;
  unsigned char rec[80];
  for (uint64_t i = 0; i < n; ++i) {
    for (uint32_t k = 0; k < 80; k += 8) {
      uint64_t v = next_random(&s);
      if (k < 64) v %= 5000;
      memcpy(rec + k, &v, 8);
    }
    if (fwrite(rec, 1, 80, f) != 80) {
      fclose(f);
      return false;
    }
  }
  return fclose(f) == 0;
}

struct series {
  std::vector<double> wall, cpu;
  uint64_t peak = 0;
  bool failed = false;
  void add(const usage& u) {
    wall.push_back(u.wall);
    cpu.push_back(u.cpu);
    if (u.peak_rss > peak) peak = u.peak_rss;
    if (!u.ok || u.status != 0) failed = true;
  }
};

// The floor: three children, timed together.
usage floor_run(const std::string& in, const std::string& work,
                const std::string& index, uint64_t n) {
  usage total;
  total.ok = true;
  total.status = 0;
  const std::vector<std::vector<std::string>> steps = {
      {"cat", in},
      {"head", "-c", std::to_string(2 * n * 84), "/dev/zero"},
      {"head", "-c", std::to_string(8 * n), "/dev/zero"}};
  const std::string outs[] = {"/dev/null", work, index};
  remove(work.c_str());
  remove(index.c_str());
  for (size_t i = 0; i < steps.size(); ++i) {
    usage u = run_child(steps[i], outs[i]);
    total.wall += u.wall;
    total.cpu += u.cpu;
    if (u.peak_rss > total.peak_rss) total.peak_rss = u.peak_rss;
    if (!u.ok || u.status != 0) total.ok = false;
  }
  return total;
}

usage sort_run(const std::string& program, const std::string& in,
               const std::string& work, const std::string& index, uint64_t n,
               const std::string& lines) {
  remove(work.c_str());
  remove(index.c_str());
  return run_child({program, "--sort", in, work, index, "0", std::to_string(n)},
                   lines);
}

void print_series(const char* what, const series& s, double floor_wall) {
  const double w = median(s.wall);
  printf("  %-10s median %7.3f s  cpu %7.3f s  peak %6.1f MiB", what, w,
         median(s.cpu), (double)s.peak / (1 << 20));
  if (floor_wall > 0) printf("  ratio %.2f", w / floor_wall);
  printf("%s  (runs:", s.failed ? "  FAILED" : "");
  for (double v : s.wall) printf(" %.2f", v);
  printf(")\n");
}

void print_load() {
  FILE* f = fopen("/proc/loadavg", "r");
  char line[128] = "";
  if (f) {
    if (!fgets(line, sizeof line, f)) line[0] = 0;
    fclose(f);
  }
  printf("  load average: %s", line[0] ? line : "unknown\n");
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir = ".", program = beside(argv[0], "xhistory_fsutil"), baseline;
  int runs = 5;
  std::vector<uint64_t> counts;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--dir" && i + 1 < argc) dir = argv[++i];
    else if (a == "--runs" && i + 1 < argc) runs = atoi(argv[++i]);
    else if (a == "--program" && i + 1 < argc) program = argv[++i];
    else if (a == "--baseline" && i + 1 < argc) baseline = argv[++i];
    else if (a == "--memory-mb" && i + 1 < argc) plat_setenv("XH_SORT_MEMORY_MB", argv[++i]);
    else counts.push_back(strtoull(argv[i], nullptr, 10));
  }
  if (counts.empty()) counts = {4000000, 10000000};
  if (runs < 1) runs = 1;
#ifdef _WIN32
  const bool with_floor = false;  // no cat or head to measure it with
#else
  const bool with_floor = true;
#endif
  const std::string in = dir + "/ff_in", work = dir + "/ff_work",
                    index = dir + "/ff_index", lines = dir + "/ff_lines";
  for (uint64_t n : counts) {
    if (n == 0 || n > 2147483647u) continue;
    if (!generate(in, n)) {
      fprintf(stderr, "sort_floor_bench: cannot write in %s\n", dir.c_str());
      return 1;
    }
    printf("%llu call-browser records (%.1f MiB), column 0, %d rounds:\n",
           (unsigned long long)n, (double)n * 80 / (1 << 20), runs);
    print_load();
    series floor_s, prog_s, base_s;
    bool same = true;
    for (int r = 0; r < runs; ++r) {
      // The order rotates from round to round.
      for (int k = 0; k < 3; ++k) {
        switch ((r + k) % 3) {
          case 0:
            if (with_floor) floor_s.add(floor_run(in, work + ".floor", index + ".floor", n));
            break;
          case 1:
            prog_s.add(sort_run(program, in, work, index, n, lines));
            break;
          case 2:
            if (!baseline.empty()) {
              base_s.add(sort_run(baseline, in, work + ".base", index + ".base", n,
                                  lines + ".base"));
              same = same && same_bytes(work + ".base", work) &&
                     same_bytes(index + ".base", index) &&
                     same_bytes(lines + ".base", lines);
            }
            break;
        }
      }
    }
    const double floor_wall = with_floor ? median(floor_s.wall) : 0;
    if (with_floor) print_series("I/O floor", floor_s, 0);
    print_series("sort", prog_s, floor_wall);
    if (!baseline.empty()) {
      print_series("baseline", base_s, floor_wall);
      printf("  sort and baseline: work, index and lines %s\n",
             same ? "identical" : "DIFFER");
    }
    print_load();
    for (const std::string& f :
         {in, work, index, lines, work + ".floor", index + ".floor",
          work + ".base", index + ".base", lines + ".base"})
      remove(f.c_str());
    fflush(stdout);
  }
  return 0;
}
