// Times the whole --fonts process with its defaults, as the viewer starts
// it, beside fonts_floor, the least that the font libraries need for the
// same two fonts (start-up, one match each, FreeType rendering of every
// code):
//
//   fonts_process_bench [runs] [path/to/xhistory_fsutil...]
//
// Several programs (say, two builds to compare) all run in the same rounds.
// A few uncounted rounds first warm the page cache and fontconfig's cache.
// Prints the medians and their ratio.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "bench/bench_alternate.h"

int main(int argc, char** argv) {
  int runs = argc > 1 ? atoi(argv[1]) : 40;
  if (runs < 1) runs = 1;
  std::vector<std::string> progs;
  for (int i = 2; i < argc; ++i) progs.push_back(argv[i]);
  if (progs.empty()) progs.push_back(bench::beside(argv[0], "xhistory_fsutil"));
  const char* tmp = getenv("TMPDIR");
  std::string out = std::string(tmp && *tmp ? tmp : "/tmp") +
                    "/xh_fonts_bench_" + std::to_string((long)getpid());

  std::vector<bench::contender> all = {
      {"font libraries' floor", {bench::beside(argv[0], "fonts_floor")}, 0, {}, {}},
  };
  for (const std::string& p : progs)
    all.push_back({p.substr(p.find_last_of('/') + 1) + " --fonts", {p, "--fonts"}, 0, {}, {}});
  if (!bench::time_alternately(&all, runs, 3, out)) {
    unlink(out.c_str());
    return 1;
  }

  // One more run of each to read: a program that found no font must not
  // pass for a fast one, so the line has to carry glyphs.
  for (size_t k = 1; k < all.size(); ++k) {
    bench::usage u = bench::run_child(all[k].argv, out);
    char line[64] = {0};
    FILE* f = fopen(out.c_str(), "r");
    size_t got = f ? fread(line, 1, sizeof line - 1, f) : 0;
    if (f) fclose(f);
    if (!u.ok || u.status != 0 || got < 32 || strncmp(line, "fonts ", 6) != 0) {
      fprintf(stderr, "%s wrote no glyph sets (%zu bytes)\n",
              all[k].label.c_str(), got);
      unlink(out.c_str());
      return 1;
    }
  }
  unlink(out.c_str());

  double floor = bench::median(all[0].ms);
  double floor_cpu = bench::median(all[0].cpu_ms);
  printf("--fonts with the defaults, medians of %d alternated runs\n", runs);
  printf("  %-40s %9s %6s %9s %6s\n", "", "wall ms", "ratio", "cpu ms",
         "ratio");
  for (const bench::contender& c : all) {
    double m = bench::median(c.ms);
    double cpu = bench::median(c.cpu_ms);
    printf("  %-40s %9.2f %6.2f %9.2f %6.2f\n", c.label.c_str(), m, m / floor,
           cpu, cpu / floor_cpu);
  }
  printf("ratios are to the floor; goal: --fonts at most 12 ms wall\n");
  return 0;
}
