// Times the start of the program for commands that use no fonts, beside an
// empty C program linked dynamically (the goal's measure) and statically
// (the floor of a process start), all built by the same compiler:
//
//   startup_bench [runs] [path/to/xhistory_fsutil...]
//
// Several programs (say, two builds to compare) all run in the same rounds.
// The viewer starts one process per job, so this is paid for every copy
// and every removal.  Prints the median of each and its ratio to the
// dynamic empty program.
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "bench/bench_alternate.h"

int main(int argc, char** argv) {
  int runs = argc > 1 ? atoi(argv[1]) : 300;
  if (runs < 1) runs = 1;
  std::vector<std::string> progs;
  for (int i = 2; i < argc; ++i) progs.push_back(argv[i]);
  if (progs.empty()) progs.push_back(bench::beside(argv[0], "xhistory_fsutil"));
  const char* tmp = getenv("TMPDIR");
  std::string missing = std::string(tmp && *tmp ? tmp : "/tmp") +
                        "/xh_startup_bench_missing_" +
                        std::to_string((long)getpid());
  if (access(missing.c_str(), F_OK) == 0) {
    fprintf(stderr, "%s exists; --remove must find nothing\n", missing.c_str());
    return 2;
  }

  std::vector<bench::contender> all = {
      {"empty C program, dynamic", {bench::beside(argv[0], "empty_c_dynamic")}, 0, {}, {}},
      {"empty C program, static", {bench::beside(argv[0], "empty_c_static")}, 0, {}, {}},
  };
  for (const std::string& p : progs) {
    std::string name = p.substr(p.find_last_of('/') + 1);
    all.push_back({name + ", no command word", {p}, 255, {}, {}});
    all.push_back({name + " --remove, no file", {p, "--remove", missing}, 0, {}, {}});
  }
  if (!bench::time_alternately(&all, runs, 10, "/dev/null")) return 1;

  double base = bench::median(all[0].ms);
  double base_cpu = bench::median(all[0].cpu_ms);
  printf("start-up, medians of %d alternated runs\n", runs);
  printf("  %-40s %9s %6s %9s %6s\n", "", "wall ms", "ratio", "cpu ms",
         "ratio");
  for (const bench::contender& c : all) {
    double m = bench::median(c.ms);
    double cpu = bench::median(c.cpu_ms);
    printf("  %-40s %9.3f %6.2f %9.3f %6.2f\n", c.label.c_str(), m, m / base,
           cpu, cpu / base_cpu);
  }
  printf("ratios are to the dynamic empty program; goal: a command without "
         "fonts at most 1.20\n");
  return 0;
}
