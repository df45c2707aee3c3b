// Whole-process timing for the benchmarks that compare two or more programs:
// every round runs each contender once, in an order that rotates from round
// to round, so that a slow spell of the machine falls on all of them alike;
// the medians are compared, since a shared machine's outliers spoil a mean.
#ifndef XHISTORY_BENCH_BENCH_ALTERNATE_H_
#define XHISTORY_BENCH_BENCH_ALTERNATE_H_

#include <stdio.h>

#include <algorithm>
#include <string>
#include <vector>

#include "bench/bench_child.h"

namespace bench {

struct contender {
  std::string label;
  std::vector<std::string> argv;
  int expected_status;  // as the parent sees it (a -1 exit is 255 on POSIX)
  std::vector<double> ms;      // wall time of each counted run
  std::vector<double> cpu_ms;  // its user + system time, which a busy
                               // machine disturbs less than the wall time
};

inline double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Runs every contender `runs` times, alternately, after `warmup` uncounted
// rounds that fill the caches; standard output of each child goes to
// stdout_path.  Returns false, with a line on standard error, when a run
// cannot start or ends with another status than expected: a program that
// fails early would otherwise look fast.
inline bool time_alternately(std::vector<contender>* all, int runs, int warmup,
                             const std::string& stdout_path) {
  size_t n = all->size();
  for (int r = -warmup; r < runs; ++r) {
    for (size_t k = 0; k < n; ++k) {
      contender& c = (*all)[((size_t)(r + warmup) + k) % n];
      usage u = run_child(c.argv, stdout_path);
      if (!u.ok || u.status != c.expected_status) {
        fprintf(stderr, "%s: %s (status %d, expected %d)\n", c.label.c_str(),
                u.ok ? "unexpected exit status" : "could not run", u.status,
                c.expected_status);
        return false;
      }
      if (r >= 0) {
        c.ms.push_back(u.wall * 1000.0);
        c.cpu_ms.push_back(u.cpu * 1000.0);
      }
    }
  }
  return true;
}

}  // namespace bench

#endif  // XHISTORY_BENCH_BENCH_ALTERNATE_H_
