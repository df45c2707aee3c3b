// Sort benchmark: writes N records of one kind from a seed, runs the sort
// command on them in a child process and prints wall time, records per
// second, peak resident memory and the bytes the child read and wrote.
//
//   sort_bench [--kind callbrowser|states|guru] [--key K] [--dir D]
//              [--seed S] [--keep] N
//
// The files (D/bench_in, bench_work, bench_index) are removed afterwards
// unless --keep is given.  Not a test: it only prints figures.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <chrono>
#include <string>
#include <vector>

#include "bench/bench_child.h"

namespace {

using bench::beside;
using bench::next_random;
using bench::run_child;
using bench::usage;



// Random records; the fields the orderings read get values of a few
// thousand distinct keys so that ties occur, the rest random bytes.
bool generate(const std::string& path, const std::string& kind, uint64_t n,
              uint64_t seed) {
  const uint32_t rs = kind == "states" ? 128 : kind == "guru" ? 164 : 80;
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return false;
  std::vector<unsigned char> buf;
  buf.reserve(1 << 20);
  uint64_t s = seed * 0x9E3779B97F4A7C15ull + 1;
  for (uint64_t i = 0; i < n; ++i) {
    unsigned char rec[164];
    for (uint32_t k = 0; k < rs; k += 8) {
      uint64_t v = next_random(&s);
      memcpy(rec + k, &v, rs - k < 8 ? rs - k : 8);
    }
    for (uint32_t k = 0; k < 64 && k + 8 <= rs; k += 8) {
      uint64_t v = next_random(&s) % 5000;
      memcpy(rec + k, &v, 8);
    }
    if (kind == "guru") rec[16] = (unsigned char)(next_random(&s) & 1);
    buf.insert(buf.end(), rec, rec + rs);
    if (buf.size() >= (1u << 20) - 164 || i + 1 == n) {
      if (fwrite(buf.data(), 1, buf.size(), f) != buf.size()) {
        fclose(f);
        return false;
      }
      buf.clear();
    }
  }
  return fclose(f) == 0;
}


}  // namespace

int main(int argc, char** argv) {
  std::string kind = "callbrowser", key = "0", dir = ".";
  uint64_t seed = 1, n = 0;
  bool keep = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--kind" && i + 1 < argc) kind = argv[++i];
    else if (a == "--key" && i + 1 < argc) key = argv[++i];
    else if (a == "--dir" && i + 1 < argc) dir = argv[++i];
    else if (a == "--seed" && i + 1 < argc) seed = strtoull(argv[++i], nullptr, 10);
    else if (a == "--keep") keep = true;
    else n = strtoull(argv[i], nullptr, 10);
  }
  const char* word = kind == "states" ? "--statessort"
                     : kind == "guru" ? "--gurusort"
                     : kind == "callbrowser" ? "--sort" : nullptr;
  if (!word || n == 0 || n > 2147483647u) {
    fprintf(stderr, "usage: sort_bench [--kind callbrowser|states|guru] "
                    "[--key K] [--dir D] [--seed S] [--keep] N\n");
    return 2;
  }
  std::string in = dir + "/bench_in", work = dir + "/bench_work",
              index = dir + "/bench_index";
  if (!generate(in, kind, n, seed)) {
    fprintf(stderr, "sort_bench: cannot write %s\n", in.c_str());
    return 1;
  }
  std::string count = std::to_string(n);
  auto t0 = std::chrono::steady_clock::now();
  usage u = run_child({bench::beside(argv[0], "xhistory_fsutil"), word, in, work, index, key, count});
  double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  if (!keep) {
    remove(in.c_str());
    remove(work.c_str());
    remove(index.c_str());
  }
  if (!u.ok) {
    fprintf(stderr, "sort_bench: cannot run %s\n", bench::beside(argv[0], "xhistory_fsutil").c_str());
    return 1;
  }
  printf("kind %s key %s records %llu seed %llu status %d\n", kind.c_str(),
         key.c_str(), (unsigned long long)n, (unsigned long long)seed, u.status);
  printf("wall %.3f s, %.0f records/s\n", wall, wall > 0 ? (double)n / wall : 0.0);
  // A system that keeps no such counters for another process (Wine) reports
  // zeros; say so rather than print them as figures.
  if (u.peak_rss == 0)
    printf("peak RSS n/a\n");
  else
    printf("peak RSS %.1f MiB\n", (double)u.peak_rss / (1 << 20));
  if (u.read_bytes == 0 && u.write_bytes == 0 && u.rchar == 0 && u.wchar == 0)
    printf("bytes read and written n/a\n");
  else
    printf("storage read %.1f MiB, written %.1f MiB; read()/write() calls "
           "%.1f MiB / %.1f MiB\n",
           (double)u.read_bytes / (1 << 20), (double)u.write_bytes / (1 << 20),
           (double)u.rchar / (1 << 20), (double)u.wchar / (1 << 20));
  return u.status == 0 ? 0 : 1;
}
