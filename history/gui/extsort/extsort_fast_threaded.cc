// Writing only what the result keeps, on every core.
//
// When no comparison can end the program, nothing needs to stand in the
// work file before the first comparison, so the load is skipped: sweep A
// reads its blocks straight from the input, and every byte that reaches
// the work file is one that a later sweep reads or that the result keeps.
// The work is shared out by nodes of the merge tree, which are independent:
// the blocks of sweep A, the root's two children in sweep B, the pairs of a
// level in memory.  Only the root's merge is one stream; a helper thread
// writes its output while it merges.  No node is split inside, so every
// comparison is the one the level-by-level engine makes, whatever the
// comparison is.
#include "history/gui/extsort/extsort_fast_internal.h"

#include <stdio.h>
#include <string.h>

#include <atomic>

#include "platform/plat.h"
#include "platform/plat_io.h"
#include "platform/plat_thread.h"

namespace extsort_fast {

namespace {

// With XH_SORT_PROFILE set, one line per sweep on standard error: its
// wall time and the bytes it read and wrote, for people who measure.
struct sweep_clock {
  bool on;
  uint64_t start_ns;
};
sweep_clock g_clock;

void profile_start() {
  const char* v = plat_getenv("XH_SORT_PROFILE");
  g_clock.on = v && *v;
  g_clock.start_ns = plat_clock_ns();
}

void profile_sweep(const char* what, uint64_t read, uint64_t written) {
  if (!g_clock.on) return;
  const uint64_t now = plat_clock_ns();
  fprintf(stderr, "sort profile: %-8s %8.3f s  read %8.1f MiB  written %8.1f MiB\n",
          what, (double)(now - g_clock.start_ns) / 1e9,
          (double)read / kMiB, (double)written / kMiB);
  g_clock.start_ns = now;
}

// The first failure of any thread; the thread that owns the run writes its
// line once the others have stopped.
std::atomic<int> g_fault;

void note_fault(int f) {
  int none = FAULT_NONE;
  g_fault.compare_exchange_strong(none, f);
}

// Runs fn(args[i]) for every i: the last on the calling thread, the others
// on threads of their own, or on the calling thread too when no thread can
// be started.  Returns when every one has returned.
void run_all(void (*fn)(void*), void* const* args, uint32_t n) {
  plat_thread* t[kMaxThreads] = {};
  for (uint32_t i = 0; i + 1 < n; ++i) {
    if (plat_thread_start(fn, args[i], &t[i]) != 0) {
      t[i] = nullptr;
      fn(args[i]);
    }
  }
  if (n) fn(args[n - 1]);
  for (uint32_t i = 0; i + 1 < n; ++i)
    if (t[i]) plat_thread_join(t[i]);
}

// The input failures that the windowed engine reports by the input's name.
const int FAULT_INPUT = 100;

int report_direct(int f, const char* input) {
  if (f == FAULT_INPUT) return extsort_error("Unable to read from %s\n", input);
  return report(f);
}

// The ranks of the sorted positions [lo, hi) of an index held in memory.
struct rank_job {
  uint8_t* mem;
  uint64_t lo, hi;
};

void run_ranks(void* p) {
  rank_job* r = (rank_job*)p;
  for (uint64_t j = r->lo; j < r->hi; ++j) {
    const uint32_t p = extsort_get_u32(r->mem + 8 * j);
    // Every input position occurs once, so no two threads store into the
    // same entry.
    if (p < g.count) extsort_put_u32(r->mem + 8 * (uint64_t)p + 4, (uint32_t)j);
  }
}

void fill_ranks_in_memory(index_sink* s, uint32_t threads) {
  if (!s->mem || !s->defer_ranks) return;
  rank_job jobs[kMaxThreads];
  void* args[kMaxThreads];
  for (uint32_t i = 0; i < threads; ++i) {
    jobs[i] = {s->mem, g.count * i / threads, g.count * (i + 1) / threads};
    args[i] = &jobs[i];
  }
  run_all(run_ranks, args, threads);
}

// One level of merges over a stretch of pairs.
struct level_job {
  const uint8_t* src;
  uint8_t* dst;
  uint64_t m;
  uint64_t w;
};

void run_level(void* p) {
  level_job* j = (level_job*)p;
  g_k.level(j->src, j->dst, j->m, j->w);
}

// sort_levels, with the pairs of each level shared out among the threads
// in stretches that start at a pair.
void sort_levels_shared(uint8_t** cur, uint8_t** spare, uint64_t m,
                        uint32_t first, uint32_t last, uint32_t threads) {
  const uint32_t e = g.e;
  for (uint32_t p = first; p <= last; ++p) {
    const uint64_t w = (uint64_t)1 << (p - 1);
    if (w >= m) break;
    const uint64_t pairs = (m + 2 * w - 1) / (2 * w);
    const uint32_t parts = (uint32_t)min64(threads, pairs);
    level_job jobs[kMaxThreads];
    void* args[kMaxThreads];
    uint64_t lo = 0;
    for (uint32_t i = 0; i < parts; ++i) {
      const uint64_t hi =
          i + 1 == parts ? m : min64(m, pairs * (i + 1) / parts * 2 * w);
      jobs[i] = {*cur + lo * e, *spare + lo * e, hi - lo, w};
      args[i] = &jobs[i];
      lo = hi;
    }
    run_all(run_level, args, parts);
    uint8_t* t = *cur;
    *cur = *spare;
    *spare = t;
  }
}

}  // namespace

// The whole count in memory: levels 1..P - 1 on every thread, then level P
// while a helper writes level P - 1, then the index while a helper writes
// level P.
int sort_in_memory_direct(int in, uint64_t n, const char* input,
                          const char* work, uint32_t threads) {
  const uint64_t bytes = g.count * g.e;
  uint8_t* cur = load_in_memory(in, n, input, work, false);
  if (!cur) return 0;
  const uint32_t P = g.passes;
  if (P >= 1) {
    uint8_t* spare = (uint8_t*)hold((size_t)bytes, 1);
    sort_levels_shared(&cur, &spare, g.count, 1, P - 1, threads);
    flush_job level = {g.work, cur, bytes, other_half() * g.e, 0};
    plat_thread* helper = nullptr;
    if (plat_thread_start(run_flush, &level, &helper) != 0) {
      helper = nullptr;
      run_flush(&level);
    }
    // The helper reads level P - 1 while the merge reads it too.
    sort_levels(&cur, &spare, g.count, P, P);
    if (helper) plat_thread_join(helper);
    if (!level.ok) return write_error();
    report_levels_through(P - 1);
    release(spare);
  }
  // cur holds level P (the load itself when P is 0).
  flush_job result = {g.work, cur, bytes, last_half() * g.e, 0};
  plat_thread* helper = nullptr;
  if (plat_thread_start(run_flush, &result, &helper) != 0) {
    helper = nullptr;
    run_flush(&result);
  }
  index_sink sink;
  sink_start(&sink, g.budget - min64(g.budget, bytes));
  sink.defer_ranks = true;
  int f = FAULT_NONE;
  for (uint64_t j = 0; j < g.count && !f; ++j) {
    if (!sink_put(&sink, cur + j * g.e)) f = FAULT_INDEX_WRITE;
  }
  if (!f) fill_ranks_in_memory(&sink, threads);
  if (helper) plat_thread_join(helper);
  if (!result.ok) return write_error();
  if (P >= 1) report_levels_through(P);
  if (f) return report(f);
  release(cur);
  return sink_finish(&sink);
}

namespace {

// Sweep A on one thread: whole blocks taken in turn from a shared counter,
// read from the input, sorted through levels 1..k, written to the work file.
struct block_job {
  int input;
  uint8_t* cur;
  uint8_t* spare;
  uint64_t block;
  uint32_t k;
  uint64_t dst;  // element index of the half that takes the blocks
  std::atomic<uint64_t>* next;
  uint32_t* scratch;  // for sort_block
};

void run_blocks(void* p) {
  block_job* j = (block_job*)p;
  const uint32_t rs = g.record_size, e = g.e;
  for (;;) {
    if (g_fault.load()) return;
    const uint64_t s = j->next->fetch_add(1) * j->block;
    if (s >= g.count) return;
    const uint64_t m = min64(j->block, g.count - s);
    uint8_t* a = j->cur;
    uint8_t* b = j->spare;
    if (plat_io_pread(j->input, a, (size_t)(m * rs), s * rs) != 0)
      return note_fault(FAULT_INPUT);
    for (uint64_t i = m; i-- > 0;) {
      memmove(a + i * e, a + i * rs, rs);
      extsort_put_u32(a + i * e + rs, (uint32_t)(s + i));
    }
    sort_block(&a, &b, m, j->k, j->scratch);
    if (plat_io_pwrite(g.work, a, (size_t)(m * e), (j->dst + s) * e) != 0)
      return note_fault(FAULT_WRITE);
  }
}

void run_child(void* p) {
  if (int f = merge_child((const child_job*)p)) note_fault(f);
}

}  // namespace

int sort_in_sweeps_direct(int in, const char* input, uint64_t block,
                          uint32_t k, uint32_t threads) {
  const uint32_t e = g.e, P = g.passes;
  const uint32_t tree_levels = P - 1 - k;
  const uint64_t blocks_half = tree_levels ? last_half() : other_half();
  g_fault = FAULT_NONE;
  profile_start();

  {  // Sweep A, the load included
    const uint64_t blocks = (g.count + block - 1) / block;
    const uint32_t workers = (uint32_t)min64(threads, blocks);
    std::atomic<uint64_t> next(0);
    block_job jobs[kMaxThreads];
    void* args[kMaxThreads];
    for (uint32_t i = 0; i < workers; ++i) {
      jobs[i] = {in, (uint8_t*)hold((size_t)block, e),
                 (uint8_t*)hold((size_t)block, e), block, k, blocks_half, &next,
                 (uint32_t*)hold((size_t)2 << index_levels(), sizeof(uint32_t))};
      args[i] = &jobs[i];
    }
    run_all(run_blocks, args, workers);
    for (uint32_t i = 0; i < workers; ++i) {
      release(jobs[i].cur);
      release(jobs[i].spare);
      release(jobs[i].scratch);
    }
    if (int f = g_fault.load()) return report_direct(f, input);
    close_input();
    report_levels_through(k);
    profile_sweep("blocks", g.count * g.record_size, g.count * e);
  }

  if (tree_levels) {  // Sweep B: the root's two children side by side
    const uint32_t n_leaves = (uint32_t)1 << tree_levels;
    const uint32_t workers = threads >= 2 ? 2 : 1;
    const uint64_t share = g.budget / workers;
    const uint64_t per =
        elements_in(min64(kMaxStreamBuffer, share / ((uint64_t)n_leaves + 2)), e);
    child_job jobs[2];
    void* args[2] = {&jobs[0], &jobs[1]};
    for (uint32_t c = 0; c < 2; c += workers) {
      for (uint32_t i = 0; i < workers; ++i)
        child_hold(&jobs[c + i], c + i, block, n_leaves, per, true);
      run_all(run_child, &args[c], workers);
      for (uint32_t i = 0; i < workers; ++i) child_release(&jobs[c + i]);
      if (int f = g_fault.load()) return report(f);
    }
    report_levels_through(P - 1);
    profile_sweep("children", g.count * e, g.count * e);
  }

  // Sweep C, with the index's ranks left for every thread afterwards.
  index_sink sink;
  sink_start(&sink, g.budget / 2);
  sink.defer_ranks = true;
  if (!sweep_root(&sink, true)) return 0;
  profile_sweep("root", g.count * e, g.count * e);
  fill_ranks_in_memory(&sink, threads);
  if (!sink_finish(&sink)) return 0;
  profile_sweep("index", 0, 8 * g.count);
  return 1;
}

}  // namespace extsort_fast
