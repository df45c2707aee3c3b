// The fast engine evaluates the windowed engine's merge tree node for node.
// A node of level p merges the aligned blocks [r 2^p, (r + 1) 2^p) of its
// two children and takes the left child's element only when the comparison
// is negative.  Each node's output depends on its children's outputs alone,
// never on when they were computed, so any evaluation order gives the same
// bytes, even for a comparison that is not a strict weak ordering.
//
// With P levels and blocks of 2^k elements that fit in memory:
//   load   input -> half 0, before any comparison: a comparison may end the
//          program (the guru key check), and the work file must then hold
//          the load and nothing else;
//   sweep A  sorts each block through levels 1..k in memory;
//   sweep B  merges the blocks of each child of the root with a loser tree
//            (levels k + 1..P - 1) into the half that keeps level P - 1;
//   sweep C  merges the root's two children into the half of level P and
//            collects the index.
// When everything fits in memory the levels are computed there and only
// the load and the last two levels are written.
//
// That is the path while a comparison may end the program
// (extsort_cmp_returns).  Otherwise the load is never written: sweep A
// reads its blocks from the input, the work is shared out among threads by
// whole nodes of the tree, and helpers write while the merges run
// (extsort_fast_threaded.cc).  The parts are listed in
// extsort_fast_internal.h.
#include "history/gui/extsort/extsort_fast.h"

#include <stdlib.h>
#include <string.h>

#include <initializer_list>

#include "history/gui/extsort/extsort_fast_internal.h"
#include "platform/plat.h"
#include "platform/plat_io.h"
#include "platform/plat_thread.h"
#include "shared/gen_alloc.h"
#include "shared/genout.h"

namespace extsort_fast {

run_state g;

void* hold(uint64_t n, uint64_t size) {
  void* p = gen_calloc((size_t)n, (size_t)size);
  for (void*& slot : g.held) {
    if (!slot) {
      slot = p;
      return p;
    }
  }
  return p;  // never reached: a run holds at most a handful at a time
}

void release(void* p) {
  for (void*& slot : g.held) {
    if (slot == p) slot = nullptr;
  }
  gen_free(p);
}

void close_input() {
  plat_close(g.input);
  g.input = -1;
}

// One line per level, with the value the level-by-level engine prints
// after its pass of that level.
void report_levels_through(uint32_t level) {
  for (; g.reported < level; ++g.reported)
    extsort_pass_done(g.reported + 1, g.divisor);
}

int read_error() { return extsort_error("Problem reading from temp file\n"); }
int write_error() { return extsort_error("Problem writing to temp file\n"); }
int index_write_error() {
  return extsort_error("Error writing to %s\n", g.index_path);
}

int report(int f) {
  switch (f) {
    case FAULT_READ: return read_error();
    case FAULT_WRITE: return write_error();
    default: return index_write_error();
  }
}

namespace {

void release_all() {
  for (void*& slot : g.held) {
    if (slot) gen_free(slot);
    slot = nullptr;
  }
  for (int* fd : {&g.input, &g.work, &g.index}) {
    if (*fd >= 0) plat_close(*fd);
    *fd = -1;
  }
}

}  // namespace

// ---- Sweeps ---------------------------------------------------------------

int load(int in, uint64_t n, const char* input, const char* work,
         uint8_t* buf, uint64_t cap, bool keep, bool write) {
  const uint32_t rs = g.record_size, e = g.e;
  const uint64_t have = min64(g.count, n);
  for (uint64_t i = 0; i < have;) {
    const uint64_t m = min64(cap, have - i);
    uint8_t* chunk = keep ? buf + i * e : buf;
    if (plat_io_pread(in, chunk, (size_t)(m * rs), i * rs) != 0)
      return extsort_error("Unable to read from %s\n", input);
    // Spread the records out from the back, so that none is overwritten
    // before it moves.
    for (uint64_t j = m; j-- > 0;) {
      memmove(chunk + j * e, chunk + j * rs, rs);
      extsort_put_u32(chunk + j * e + rs, (uint32_t)(i + j));
    }
    if (write && plat_io_pwrite(g.work, chunk, (size_t)(m * e), i * e) != 0)
      return extsort_error("Unable to write to %s\n", work);
    i += m;
  }
  if (g.count > n) return extsort_error("Unable to read from %s\n", input);
  return 1;
}

uint8_t* load_in_memory(int in, uint64_t n, const char* input,
                        const char* work, bool write) {
  uint8_t* all = (uint8_t*)hold((size_t)(g.count * g.e), 1);
  if (!load(in, n, input, work, all, g.count, true, write)) return nullptr;
  close_input();
  return all;
}

namespace {

int write_elements(const uint8_t* p, uint64_t first, uint64_t m) {
  if (plat_io_pwrite(g.work, p, (size_t)(m * g.e), first * g.e) != 0)
    return write_error();
  return 1;
}

// Everything fits: compute the levels in memory, write level P - 1 and
// level P where the level-by-level engine leaves them.
int sort_in_memory(int in, uint64_t n, const char* input,
                   const char* work) {
  const uint64_t bytes = g.count * g.e;
  uint8_t* cur = load_in_memory(in, n, input, work, true);
  if (!cur) return 0;
  const uint32_t P = g.passes;
  if (P >= 1) {
    uint8_t* spare = (uint8_t*)hold((size_t)bytes, 1);
    sort_levels(&cur, &spare, g.count, 1, P - 1);
    // After one level the other half still holds the load.
    if (P >= 2 && !write_elements(cur, other_half(), g.count)) return 0;
    report_levels_through(P - 1);
    sort_levels(&cur, &spare, g.count, P, P);
    release(spare);
    if (!write_elements(cur, last_half(), g.count)) return 0;
    report_levels_through(P);
  }
  index_sink sink;
  sink_start(&sink, g.budget - min64(g.budget, bytes));
  for (uint64_t j = 0; j < g.count; ++j) {
    if (!sink_put(&sink, cur + j * g.e)) return index_write_error();
  }
  release(cur);
  return sink_finish(&sink);
}

}  // namespace

void child_hold(child_job* j, uint32_t c, uint64_t block, uint32_t n_leaves,
                uint64_t per, bool helper_writer) {
  const uint64_t left_len = (uint64_t)1 << (g.passes - 1);
  j->src = last_half();
  j->dst = other_half();
  j->first = c ? left_len : 0;
  j->len = c ? g.count - left_len : left_len;
  j->block = block;
  j->n_leaves = n_leaves;
  j->per = per;
  j->helper_writer = helper_writer;
  j->bufs = (uint8_t*)hold((size_t)((n_leaves + (helper_writer ? 2ull : 1ull)) * per), g.e);
  j->leaves = (reader*)hold(n_leaves, sizeof(reader));
  j->losers = (uint32_t*)hold(n_leaves, sizeof(uint32_t));
  j->winners = (uint32_t*)hold((size_t)n_leaves * 2, sizeof(uint32_t));
}

void child_release(child_job* j) {
  release(j->bufs);
  release(j->leaves);
  release(j->losers);
  release(j->winners);
}

int merge_child(const child_job* j) {
  const uint32_t e = g.e;
  loser_tree t;
  t.n_leaves = j->n_leaves;
  t.leaves = j->leaves;
  t.losers = j->losers;
  for (uint32_t i = 0; i < j->n_leaves; ++i) {
    const uint64_t lo = min64((uint64_t)i * j->block, j->len);
    const uint64_t hi = min64(lo + j->block, j->len);
    if (!reader_start(&t.leaves[i], g.work, e, j->bufs + (uint64_t)i * j->per * e,
                      j->per, j->src + j->first + lo, hi - lo))
      return FAULT_READ;
  }
  writer out;
  writer_start(&out, g.work, j->bufs + (uint64_t)j->n_leaves * j->per * e,
               j->per * e, (j->dst + j->first) * e);
  if (j->helper_writer) out.spare = j->bufs + (j->n_leaves + 1ull) * j->per * e;
  return writer_end(&out, g_k.tree(&t, &out, j->winners));
}

int sweep_root(index_sink* sink, bool helper_writer) {
  const uint32_t e = g.e, P = g.passes;
  const uint64_t left_len = (uint64_t)1 << (P - 1);
  const uint64_t buffers = helper_writer ? 4 : 3;
  const uint64_t avail = g.budget - (sink->mem ? 8 * g.count : 0);
  const uint64_t per = elements_in(min64(kMaxStreamBuffer, avail / buffers), e);
  uint8_t* bufs = (uint8_t*)hold((size_t)(buffers * per), e);
  reader a, b;
  if (!reader_start(&a, g.work, e, bufs, per, other_half(), left_len) ||
      !reader_start(&b, g.work, e, bufs + per * e, per, other_half() + left_len,
                    g.count - left_len))
    return read_error();
  writer out;
  writer_start(&out, g.work, bufs + 2 * per * e, per * e, last_half() * e);
  if (helper_writer) out.spare = bufs + 3 * per * e;
  if (int f = writer_end(&out, g_k.final(&a, &b, &out, sink))) return report(f);
  release(bufs);
  report_levels_through(P);
  return 1;
}

namespace {

int sort_in_sweeps(int in, uint64_t n, const char* input,
                   const char* work, uint64_t block, uint32_t k) {
  const uint32_t e = g.e, P = g.passes;
  // With one tree level left between the blocks and the root's children
  // there is nothing for sweep B to do: the blocks are level P - 1.
  const uint32_t tree_levels = P - 1 - k;
  const uint64_t blocks_half = tree_levels ? last_half() : other_half();

  {
    const uint64_t cap = elements_in(min64(g.budget, kMaxStreamBuffer), e);
    uint8_t* buf = (uint8_t*)hold((size_t)cap, e);
    if (!load(in, n, input, work, buf, cap, false)) return 0;
    release(buf);
    close_input();
  }

  {  // Sweep A
    uint8_t* cur = (uint8_t*)hold((size_t)block, e);
    uint8_t* spare = (uint8_t*)hold((size_t)block, e);
    for (uint64_t s = 0; s < g.count; s += block) {
      const uint64_t m = min64(block, g.count - s);
      if (plat_io_pread(g.work, cur, (size_t)(m * e), s * e) != 0)
        return read_error();
      uint8_t* a = cur;
      uint8_t* b = spare;
      sort_levels(&a, &b, m, 1, k);
      if (!write_elements(a, blocks_half + s, m)) return 0;
    }
    release(cur);
    release(spare);
    report_levels_through(k);
  }

  if (tree_levels) {  // Sweep B
    const uint32_t n_leaves = (uint32_t)1 << tree_levels;
    const uint64_t per = elements_in(
        min64(kMaxStreamBuffer, g.budget / ((uint64_t)n_leaves + 1)), e);
    for (uint32_t c = 0; c < 2; ++c) {
      child_job j;
      child_hold(&j, c, block, n_leaves, per, false);
      if (int f = merge_child(&j)) return report(f);
      child_release(&j);
    }
    report_levels_through(P - 1);
  }

  // Sweep C
  index_sink sink;
  sink_start(&sink, g.budget / 2);
  if (!sweep_root(&sink, false)) return 0;
  return sink_finish(&sink);
}

int run(const char* input, const char* work, const char* index, int32_t count,
        uint32_t record_size) {
  if (count < 0) return extsort_error("Invalid count: %d\n", count);
  if ((int32_t)record_size <= 0)
    return extsort_error("Invalid size: %d\n", (int32_t)record_size);

  uint64_t in_size;
  g.input = plat_open(input, 0, 0);
  if (g.input < 0)
    return extsort_error("Unable to open %s for reading\n", input);
  if (plat_io_size(g.input, &in_size) != 0)
    return extsort_error("Unable to open %s for reading\n", input);

  const uint64_t n = in_size / record_size;
  g.record_size = record_size;
  g.e = record_size + 4;
  g.count = (uint64_t)count;
  g.passes = extsort_passes(g.count);
  g.divisor = extsort_progress_divisor(g.count);
  g.budget = extsort_fast_memory();
  g.threads = extsort_fast_threads();
  g.index_path = index;
  g_k = pick_kernels(g.e);
  if (!extsort_ensure_size(work, 2 * n * g.e)) return 0;
  if (!extsort_ensure_size(index, 8 * n)) return 0;
  if (count == 0) {
    extsort_done();
    return 1;
  }
  g.work = plat_open(work, PLAT_OPEN_WRITE, 0);
  if (g.work < 0)
    return extsort_error("Unable to open %s for read/write\n", work);
  g.index = plat_open(index, PLAT_OPEN_WRITE, 0);
  if (g.index < 0)
    return extsort_error("Unable to open %s for writing\n", index);

  // Blocks of 2^k elements, two of them in memory at once.  A block never
  // spans the root's children, so that they are whole runs of blocks.
  uint32_t k = 0;
  while (k < 30 && ((uint64_t)2 << k) * 2 * g.e <= g.budget) ++k;
  const bool in_memory =
      g.count == 1 || (g.count <= ((uint64_t)1 << k) &&
                       g.count * ((uint64_t)g.e + 8) <= g.budget);
  if (!in_memory && k > g.passes - 1) k = g.passes - 1;
  int ok;
  if (!extsort_cmp_returns() || g.count > n) {
    // A comparison may end the program, or the input ends early: the work
    // file is written step by step, the load first, as the windowed engine
    // leaves it at every step.
    ok = in_memory ? sort_in_memory(g.input, n, input, work)
                   : sort_in_sweeps(g.input, n, input, work, (uint64_t)1 << k, k);
  } else if (in_memory) {
    ok = sort_in_memory_direct(g.input, n, input, work, g.threads);
  } else {
    // Every thread sorts blocks of its own, all together within the budget.
    uint32_t kt = 0;
    while (kt < 30 && ((uint64_t)2 << kt) * 2 * g.e * g.threads <= g.budget) ++kt;
    if (kt > g.passes - 1) kt = g.passes - 1;
    ok = sort_in_sweeps_direct(g.input, input, (uint64_t)1 << kt, kt, g.threads);
  }
  if (!ok) return 0;
  extsort_progress(100.0);
  release_all();
  extsort_done();
  return 1;
}

}  // namespace

}  // namespace extsort_fast

using extsort_fast::kMaxThreads;
using extsort_fast::kMiB;

namespace {

const uint64_t kDefaultMemory = 256 * kMiB;
const uint64_t kMaxMemoryMB = 1024;  // a 32-bit process must still fit

uint64_t g_memory_override = 0;
uint32_t g_threads_override = 0;
// Two threads keep both cores of the machines that the viewer runs on busy
// and a 32-bit address space roomy; more gain little, as the root's merge
// is one stream.
const uint32_t kDefaultThreads = 2;

}  // namespace

uint64_t extsort_fast_memory() {
  if (g_memory_override) return g_memory_override;
  const char* v = plat_getenv("XH_SORT_MEMORY_MB");
  if (!v || !*v) return kDefaultMemory;
  // A decimal number of mebibytes, nothing else: "2MB" or "-1" is no size
  // (strtoull would take "-1" for the largest number there is).
  uint64_t mb = 0;
  bool digits = true;
  for (const char* p = v; *p && digits; ++p) {
    digits = *p >= '0' && *p <= '9';
    if (digits && mb <= kMaxMemoryMB) mb = mb * 10 + (uint64_t)(*p - '0');
  }
  if (digits && mb >= 1 && mb <= kMaxMemoryMB) return mb * kMiB;
  // Whoever set the variable learns that it was not taken as it stands.
  const uint64_t used = digits && mb > kMaxMemoryMB ? kMaxMemoryMB
                                                     : kDefaultMemory / kMiB;
  gen_warning("XH_SORT_MEMORY_MB=\"%s\" is not a number of mebibytes from 1 to "
              "%u; using %u",
              v, (unsigned)kMaxMemoryMB, (unsigned)used);
  return used * kMiB;
}

void extsort_fast_set_memory(uint64_t bytes) { g_memory_override = bytes; }

uint32_t extsort_fast_threads() {
  if (g_threads_override) return g_threads_override;
  const char* v = plat_getenv("XH_SORT_THREADS");
  if (v && *v) {
    char* end = nullptr;
    unsigned long n = strtoul(v, &end, 10);
    if (end && *end == '\0' && n >= 1) return n < kMaxThreads ? (uint32_t)n : kMaxThreads;
  }
  const uint32_t cpus = plat_cpu_count();
  return cpus < kDefaultThreads ? cpus : kDefaultThreads;
}

void extsort_fast_set_threads(uint32_t n) {
  g_threads_override = n < kMaxThreads ? n : kMaxThreads;
}

int extsort_run_fast(const char* input, const char* work, const char* index,
                     int32_t count, uint32_t record_size, const char* name,
                     const void* key, extsort_cmp cmp) {
  extsort_begin(name);
  extsort_fast::run_state& g = extsort_fast::g;
  g = extsort_fast::run_state();
  g.input = g.work = g.index = -1;
  g.key = key;
  g.cmp = cmp;
  int ok = extsort_fast::run(input, work, index, count, record_size);
  extsort_fast::release_all();
  return ok;
}
