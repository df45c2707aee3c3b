// Times the whole --fonts process with its defaults, as the viewer starts
// it, beside fonts_floor, the least that the font libraries need for the
// same two fonts (start-up, one match each, FreeType rendering of every
// code):
//
//   fonts_process_bench [runs] [path/to/xhistory_fsutil]
//
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
  std::string prog =
      argc > 2 ? argv[2] : bench::beside(argv[0], "xhistory_fsutil");
  const char* tmp = getenv("TMPDIR");
  std::string out = std::string(tmp && *tmp ? tmp : "/tmp") +
                    "/xh_fonts_bench_" + std::to_string((long)getpid());

  std::vector<bench::contender> all = {
      {"--fonts, defaults", {prog, "--fonts"}, 0, {}, {}},
      {"font libraries' floor", {bench::beside(argv[0], "fonts_floor")}, 0, {}, {}},
  };
  if (!bench::time_alternately(&all, runs, 3, out)) {
    unlink(out.c_str());
    return 1;
  }

  // One more run to read: a program that found no font must not pass for a
  // fast one, so the line has to carry glyphs.
  bench::usage u = bench::run_child(all[0].argv, out);
  char line[64] = {0};
  FILE* f = fopen(out.c_str(), "r");
  size_t got = f ? fread(line, 1, sizeof line - 1, f) : 0;
  if (f) fclose(f);
  unlink(out.c_str());
  if (!u.ok || u.status != 0 || got < 32 || strncmp(line, "fonts ", 6) != 0) {
    fprintf(stderr, "--fonts wrote no glyph sets (%zu bytes)\n", got);
    return 1;
  }

  printf("--fonts of %s, medians of %d alternated runs\n", prog.c_str(), runs);
  printf("  %-24s %9s %9s\n", "", "wall ms", "cpu ms");
  for (const bench::contender& c : all)
    printf("  %-24s %9.2f %9.2f\n", c.label.c_str(), bench::median(c.ms),
           bench::median(c.cpu_ms));
  printf("ratio --fonts / floor: wall %.2f, cpu %.2f; goal: --fonts at most "
         "12 ms wall\n",
         bench::median(all[0].ms) / bench::median(all[1].ms),
         bench::median(all[0].cpu_ms) / bench::median(all[1].cpu_ms));
  return 0;
}
