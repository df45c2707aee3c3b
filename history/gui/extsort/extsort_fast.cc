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
// whole nodes of the tree, and helpers write while the merges run (see
// "Writing only what the result keeps" below).
#include "history/gui/extsort/extsort_fast.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>
#include <initializer_list>

#include "history/gui/extsort/extsort_common.h"
#include "platform/plat.h"
#include "platform/plat_io.h"
#include "platform/plat_thread.h"
#include "shared/gen_alloc.h"
#include "shared/genout.h"

namespace {

const uint64_t kMiB = (uint64_t)1 << 20;
const uint64_t kDefaultMemory = 256 * kMiB;
const uint64_t kMaxMemoryMB = 1024;  // a 32-bit process must still fit
const uint64_t kMaxStreamBuffer = 4 * kMiB;
const uint32_t kMaxThreads = 8;

uint64_t g_memory_override = 0;
uint32_t g_threads_override = 0;
// Two threads keep both cores of the machines that the viewer runs on busy
// and a 32-bit address space roomy; more gain little, as the root's merge
// is one stream.
const uint32_t kDefaultThreads = 2;

// One run per process, as with the windowed engine: the merges read the
// run's state without parameters.
struct run_state {
  const void* key;
  extsort_cmp cmp;
  uint32_t record_size;
  uint32_t e;            // element size: the record and its input position
  uint64_t count;
  uint32_t passes;       // levels of the merge tree
  uint32_t divisor;      // of the progress value
  uint32_t reported;     // levels whose progress line has been written
  uint64_t budget;
  uint32_t threads;
  int input;  // descriptors; -1 while not open
  int work;
  int index;
  const char* index_path;
  // Buffers still held; a failed run releases them on its way out.
  void* held[32];
};
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

// What stopped a merge, so that the one error line of the run can be
// written by the thread that owns the run rather than by a worker.
enum fault { FAULT_NONE, FAULT_READ, FAULT_WRITE, FAULT_INDEX_WRITE };

// The error line for f; 0 as extsort_error gives.
int report(int f) {
  switch (f) {
    case FAULT_READ: return read_error();
    case FAULT_WRITE: return write_error();
    default: return index_write_error();
  }
}

uint64_t min64(uint64_t a, uint64_t b) { return a < b ? a : b; }

// Elements that a buffer of the given bytes holds, at least one.
uint64_t elements_in(uint64_t bytes, uint32_t size) {
  uint64_t n = bytes / size;
  return n ? n : 1;
}

// ---- Buffered streams over a file of fixed-size elements ----------------

struct reader {
  int file;
  uint32_t size;   // bytes per element
  uint8_t* buf;
  uint64_t cap;    // elements the buffer holds
  uint8_t* at;     // the current element
  uint8_t* end;    // past the last buffered element
  uint64_t next;   // file element of the next fill
  uint64_t unread; // elements of the range not yet buffered
  uint64_t left;   // elements not yet consumed, the current one included
};

int reader_fill(reader* r) {
  uint64_t n = min64(r->cap, r->unread);
  if (plat_io_pread(r->file, r->buf, (size_t)(n * r->size),
                    r->next * r->size) != 0)
    return 0;
  r->at = r->buf;
  r->end = r->buf + n * r->size;
  r->next += n;
  r->unread -= n;
  return 1;
}

// Starts r on the n elements from element first on.
int reader_start(reader* r, int file, uint32_t size, uint8_t* buf,
                 uint64_t cap, uint64_t first, uint64_t n) {
  r->file = file;
  r->size = size;
  r->buf = buf;
  r->cap = cap;
  r->at = r->end = buf;
  r->next = first;
  r->unread = n;
  r->left = n;
  return n == 0 || reader_fill(r);
}

inline int reader_advance(reader* r) {
  r->at += r->size;
  --r->left;
  if (r->at == r->end && r->unread) return reader_fill(r);
  return 1;
}

// A write of one full buffer, on a helper thread or on the caller's.
struct flush_job {
  int file;
  const uint8_t* buf;
  uint64_t len;
  uint64_t offset;
  int ok;
};

void run_flush(void* p) {
  flush_job* j = (flush_job*)p;
  j->ok = plat_io_pwrite(j->file, j->buf, (size_t)j->len, j->offset) == 0;
}

struct writer {
  int file;
  uint8_t* buf;
  uint64_t cap_bytes;  // a whole number of elements
  uint64_t used;
  uint64_t offset;     // file offset of the buffer's first byte
  // With a second buffer of the same size, a full buffer is written by a
  // helper thread while the caller fills the other one.  A failed write
  // then shows at the next flush or at writer_finish.
  uint8_t* spare;
  plat_thread* pending;
  flush_job job;
};

void writer_start(writer* w, int file, uint8_t* buf,
                  uint64_t cap_bytes, uint64_t offset) {
  w->file = file;
  w->buf = buf;
  w->cap_bytes = cap_bytes;
  w->used = 0;
  w->offset = offset;
  w->spare = nullptr;
  w->pending = nullptr;
}

// Waits for the helper's write; 0 when it failed.
int writer_wait(writer* w) {
  if (!w->pending) return 1;
  plat_thread_join(w->pending);
  w->pending = nullptr;
  return w->job.ok;
}

int writer_flush(writer* w) {
  if (w->used == 0) return 1;
  if (!w->spare) {
    if (plat_io_pwrite(w->file, w->buf, (size_t)w->used, w->offset) != 0)
      return 0;
  } else {
    if (!writer_wait(w)) return 0;
    w->job = {w->file, w->buf, w->used, w->offset, 0};
    if (plat_thread_start(run_flush, &w->job, &w->pending) != 0) {
      run_flush(&w->job);
      if (!w->job.ok) return 0;
    }
    uint8_t* t = w->buf;
    w->buf = w->spare;
    w->spare = t;
  }
  w->offset += w->used;
  w->used = 0;
  return 1;
}

// Writes what is left and waits for every write: 1 when all succeeded.
int writer_finish(writer* w) {
  int ok = writer_flush(w);
  return writer_wait(w) && ok;
}

// The place of the next element of size bytes, or null after a failed
// write.
inline uint8_t* writer_slot(writer* w, uint32_t size) {
  if (w->used + size > w->cap_bytes && !writer_flush(w)) return nullptr;
  uint8_t* p = w->buf + w->used;
  w->used += size;
  return p;
}

// ---- The index ------------------------------------------------------------

// Receives the input positions in sorted order.  With room for the whole
// index in memory both halves of every entry are filled there; otherwise
// the positions go straight to the file and the ranks are filled in later
// rounds (fill_ranks).
struct index_sink {
  uint8_t* mem;
  writer out;
  uint64_t j;
  // In memory, the ranks are left for fill_ranks_in_memory, which spreads
  // their scattered stores over the threads after the merge.
  bool defer_ranks;
};

void sink_start(index_sink* s, uint64_t avail) {
  s->j = 0;
  s->mem = nullptr;
  s->defer_ranks = false;
  if (8 * g.count <= avail) {
    s->mem = (uint8_t*)hold((size_t)g.count, 8);
    return;
  }
  uint64_t cap = 8 * elements_in(min64(avail, kMaxStreamBuffer), 8);
  writer_start(&s->out, g.index, (uint8_t*)hold((size_t)cap, 1), cap, 0);
}

inline int sink_put(index_sink* s, const uint8_t* element) {
  uint32_t p = extsort_get_u32(element + g.record_size);
  if (s->mem) {
    extsort_put_u32(s->mem + 8 * s->j, p);
    if (!s->defer_ranks && p < g.count) extsort_put_u32(s->mem + 8 * (uint64_t)p + 4, (uint32_t)s->j);
  } else {
    uint8_t* slot = writer_slot(&s->out, 8);
    if (!slot) return 0;
    extsort_put_u32(slot, p);
    extsort_put_u32(slot + 4, 0);
  }
  ++s->j;
  return 1;
}

// Rounds over ranges of input positions: each reads the entries of its
// range, scans the positions of the whole index for the ones that fall in
// it, and writes the entries back with their ranks.
int fill_ranks() {
  const uint64_t half = g.budget / 2;
  const uint64_t round = elements_in(half, 8);
  uint8_t* entries = (uint8_t*)hold((size_t)min64(round, g.count), 8);
  const uint64_t cap = elements_in(min64(half, kMaxStreamBuffer), 8);
  uint8_t* scan_buf = (uint8_t*)hold((size_t)cap, 8);
  for (uint64_t lo = 0; lo < g.count; lo += round) {
    const uint64_t hi = min64(g.count, lo + round);
    if (plat_io_pread(g.index, entries, (size_t)(8 * (hi - lo)), 8 * lo) != 0)
      return extsort_error("Error reading from %s\n", g.index_path);
    reader r;
    if (!reader_start(&r, g.index, 8, scan_buf, cap, 0, g.count))
      return extsort_error("Error reading from %s\n", g.index_path);
    for (uint64_t j = 0; j < g.count; ++j) {
      uint32_t p = extsort_get_u32(r.at);
      if (p >= lo && p < hi) extsort_put_u32(entries + 8 * (p - lo) + 4, (uint32_t)j);
      if (j + 1 < g.count && !reader_advance(&r))
        return extsort_error("Error reading from %s\n", g.index_path);
    }
    if (plat_io_pwrite(g.index, entries, (size_t)(8 * (hi - lo)), 8 * lo) != 0)
      return extsort_error("Error writing to %s\n", g.index_path);
  }
  release(scan_buf);
  release(entries);
  return 1;
}

int sink_finish(index_sink* s) {
  if (s->mem) {
    int ok = plat_io_pwrite(g.index, s->mem, (size_t)(8 * g.count), 0) == 0;
    release(s->mem);
    s->mem = nullptr;
    if (!ok) return extsort_error("Error writing to %s\n", g.index_path);
    return 1;
  }
  int ok = writer_flush(&s->out);
  release(s->out.buf);
  if (!ok) return extsort_error("Error writing to %s\n", g.index_path);
  return fill_ranks();
}

// ---- Merges ---------------------------------------------------------------
//
// Each merge is a template on the element size so that the copies of the
// three record kinds compile to fixed-size moves; 0 stands for any size.

template <uint32_t kE>
inline void copy_element(uint8_t* to, const uint8_t* from) {
  memcpy(to, from, kE ? kE : g.e);
}

// One level over m elements of src into dst: runs of width w, pairwise.
template <uint32_t kE>
void merge_level(const uint8_t* src, uint8_t* dst, uint64_t m, uint64_t w) {
  const size_t e = kE ? kE : g.e;
  const extsort_cmp cmp = g.cmp;
  const void* key = g.key;
  for (uint64_t lo = 0; lo < m; lo += 2 * w) {
    const uint64_t mid = min64(lo + w, m);
    const uint64_t hi = min64(lo + 2 * w, m);
    const uint8_t* a = src + lo * e;
    const uint8_t* const a_end = src + mid * e;
    const uint8_t* b = a_end;
    const uint8_t* const b_end = src + hi * e;
    uint8_t* out = dst + lo * e;
    // Without a branch on the comparison, which a sort's comparisons make
    // unpredictable: the element is copied from the chosen run and both
    // runs' positions are stepped by what was taken.
    while (a < a_end && b < b_end) {
      const size_t take_a = cmp(key, a, b) < 0;
      copy_element<kE>(out, take_a ? a : b);
      out += e;
      a += take_a * e;
      b += (take_a ^ 1) * e;
    }
    memcpy(out, a, (size_t)(a_end - a));
    out += a_end - a;
    memcpy(out, b, (size_t)(b_end - b));
  }
}

// The loser tree over leaves 0..n_leaves - 1 (a power of two), earlier
// blocks at lower indices.  Each inner node keeps the leaf that lost its
// last match.  A match must be played with the lower leaf index as the
// left (earlier) run, whichever side the stored loser came from: the left
// run wins only on a negative comparison.
struct loser_tree {
  reader* leaves;
  uint32_t n_leaves;
  uint32_t* losers;
};

inline uint32_t play(const loser_tree* t, uint32_t x, uint32_t y) {
  const uint32_t lo = x < y ? x : y;
  const uint32_t hi = x < y ? y : x;
  const reader* l = &t->leaves[lo];
  const reader* h = &t->leaves[hi];
  if (!l->left) return hi;
  if (!h->left) return lo;
  return g.cmp(g.key, l->at, h->at) < 0 ? lo : hi;
}

// winners: scratch of 2 n_leaves entries.  FAULT_NONE or what failed.
template <uint32_t kE>
int tree_merge(loser_tree* t, writer* out, uint32_t* winners) {
  const uint32_t n = t->n_leaves;
  for (uint32_t i = 0; i < n; ++i) winners[n + i] = i;
  for (uint32_t v = n - 1; v >= 1; --v) {
    uint32_t l = winners[2 * v], r = winners[2 * v + 1];
    uint32_t w = play(t, l, r);
    t->losers[v] = w == l ? r : l;
    winners[v] = w;
  }
  uint32_t w = n > 1 ? winners[1] : 0;
  while (t->leaves[w].left) {
    uint8_t* slot = writer_slot(out, kE ? kE : g.e);
    if (!slot) return FAULT_WRITE;
    copy_element<kE>(slot, t->leaves[w].at);
    if (!reader_advance(&t->leaves[w])) return FAULT_READ;
    uint32_t c = w;
    for (uint32_t v = (w + n) >> 1; v >= 1; v >>= 1) {
      uint32_t stored = t->losers[v];
      uint32_t won = play(t, c, stored);
      if (won != c) {
        t->losers[v] = c;
        c = won;
      }
    }
    w = c;
  }
  return FAULT_NONE;
}

// FAULT_NONE or what failed.
template <uint32_t kE>
int final_merge(reader* a, reader* b, writer* out, index_sink* sink) {
  const extsort_cmp cmp = g.cmp;
  const void* key = g.key;
  const uint32_t e = kE ? kE : g.e;
  while (a->left && b->left) {
    reader* from = cmp(key, a->at, b->at) < 0 ? a : b;
    uint8_t* slot = writer_slot(out, e);
    if (!slot) return FAULT_WRITE;
    copy_element<kE>(slot, from->at);
    if (!sink_put(sink, from->at)) return FAULT_INDEX_WRITE;
    if (!reader_advance(from)) return FAULT_READ;
  }
  for (reader* rest : {a, b}) {
    while (rest->left) {
      uint8_t* slot = writer_slot(out, e);
      if (!slot) return FAULT_WRITE;
      copy_element<kE>(slot, rest->at);
      if (!sink_put(sink, rest->at)) return FAULT_INDEX_WRITE;
      if (!reader_advance(rest)) return FAULT_READ;
    }
  }
  return FAULT_NONE;
}

struct kernels {
  void (*level)(const uint8_t*, uint8_t*, uint64_t, uint64_t);
  int (*tree)(loser_tree*, writer*, uint32_t*);
  int (*final)(reader*, reader*, writer*, index_sink*);
};

template <uint32_t kE>
kernels kernels_for() {
  kernels k = {merge_level<kE>, tree_merge<kE>, final_merge<kE>};
  return k;
}

// The element sizes of the call-browser, states and guru records.
kernels pick_kernels(uint32_t e) {
  switch (e) {
    case 84: return kernels_for<84>();
    case 132: return kernels_for<132>();
    case 168: return kernels_for<168>();
    default: return kernels_for<0>();
  }
}

kernels g_k;

// Levels first..last over m elements held in *cur, using *spare; the
// result ends in *cur.  Levels whose width reaches m change nothing.
void sort_levels(uint8_t** cur, uint8_t** spare, uint64_t m, uint32_t first,
                 uint32_t last) {
  for (uint32_t p = first; p <= last; ++p) {
    const uint64_t w = (uint64_t)1 << (p - 1);
    if (w >= m) break;
    g_k.level(*cur, *spare, m, w);
    uint8_t* t = *cur;
    *cur = *spare;
    *spare = t;
  }
}

// The levels that sort_block merges as indices: chunks of 2^L elements stay
// in a core's own cache while they are merged.
uint32_t index_levels() {
  uint32_t L = 1;
  while (((uint64_t)2 << L) * g.e <= 256 * 1024) ++L;
  return L;
}

// One level over n indices of records at base: runs of width w, pairwise,
// each comparison exactly the one that merge_level makes on the elements.
void merge_index_level(const uint8_t* base, const uint32_t* src, uint32_t* dst,
                       uint32_t n, uint32_t w) {
  const size_t e = g.e;
  const extsort_cmp cmp = g.cmp;
  const void* key = g.key;
  for (uint32_t lo = 0; lo < n; lo += 2 * w) {
    const uint32_t mid = lo + w < n ? lo + w : n;
    const uint32_t hi = lo + 2 * w < n ? lo + 2 * w : n;
    uint32_t i = lo, j = mid, o = lo;
    while (i < mid && j < hi) {
      const uint32_t take_a = cmp(key, base + src[i] * e, base + src[j] * e) < 0;
      dst[o++] = take_a ? src[i] : src[j];
      i += take_a;
      j += take_a ^ 1;
    }
    while (i < mid) dst[o++] = src[i++];
    while (j < hi) dst[o++] = src[j++];
  }
}

// sort_levels(1, k) for a block, faster: the first levels are merged chunk
// by chunk as 32-bit indices, which move 4 bytes where an element moves
// its whole size, and each chunk is gathered into place once.  scratch
// holds 2 << index_levels() indices.
void sort_block(uint8_t** cur, uint8_t** spare, uint64_t m, uint32_t k,
                uint32_t* scratch) {
  const uint32_t e = g.e;
  uint32_t L = index_levels();
  if (L > k) L = k;
  if (L < 2) return sort_levels(cur, spare, m, 1, k);
  const uint32_t chunk = (uint32_t)1 << L;
  for (uint64_t c = 0; c < m; c += chunk) {
    const uint32_t n = (uint32_t)min64(chunk, m - c);
    const uint8_t* base = *cur + c * e;
    uint32_t* x = scratch;
    uint32_t* y = scratch + chunk;
    for (uint32_t i = 0; i < n; ++i) x[i] = i;
    for (uint32_t w = 1; w < n && w < chunk; w *= 2) {
      merge_index_level(base, x, y, n, w);
      uint32_t* t = x;
      x = y;
      y = t;
    }
    uint8_t* out = *spare + c * e;
    for (uint32_t j = 0; j < n; ++j) memcpy(out + (uint64_t)j * e, base + (uint64_t)x[j] * e, e);
  }
  uint8_t* t = *cur;
  *cur = *spare;
  *spare = t;
  sort_levels(cur, spare, m, L + 1, k);
}

// ---- Files ----------------------------------------------------------------

// Copies the first count records of the input into half 0 as elements,
// through buf of cap elements.  With keep, buf holds all count elements
// afterwards; without write, half 0 is not written.  Records past count,
// and past the last whole record, are never read.
int load(int in, uint64_t n, const char* input, const char* work,
         uint8_t* buf, uint64_t cap, bool keep, bool write = true) {
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
  uint8_t* cur = (uint8_t*)hold((size_t)bytes, 1);
  if (!load(in, n, input, work, cur, g.count, true)) return 0;
  close_input();
  const uint32_t P = g.passes;
  const uint64_t last_half = (P & 1) ? g.count : 0;
  const uint64_t other_half = (P & 1) ? 0 : g.count;
  if (P >= 1) {
    uint8_t* spare = (uint8_t*)hold((size_t)bytes, 1);
    sort_levels(&cur, &spare, g.count, 1, P - 1);
    // After one level the other half still holds the load.
    if (P >= 2 && !write_elements(cur, other_half, g.count)) return 0;
    report_levels_through(P - 1);
    sort_levels(&cur, &spare, g.count, P, P);
    release(spare);
    if (!write_elements(cur, last_half, g.count)) return 0;
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

// The blocks of one child of the root, [first, first + len), merged from
// the half at src into the half at dst.
int merge_child(uint64_t src, uint64_t dst, uint64_t first, uint64_t len,
                uint64_t block, uint32_t n_leaves) {
  const uint32_t e = g.e;
  const uint64_t per = elements_in(
      min64(kMaxStreamBuffer, g.budget / ((uint64_t)n_leaves + 1)), e);
  uint8_t* bufs = (uint8_t*)hold((size_t)((n_leaves + 1ull) * per), e);
  loser_tree t;
  t.n_leaves = n_leaves;
  t.leaves = (reader*)hold(n_leaves, sizeof(reader));
  t.losers = (uint32_t*)hold(n_leaves, sizeof(uint32_t));
  for (uint32_t i = 0; i < n_leaves; ++i) {
    const uint64_t lo = min64((uint64_t)i * block, len);
    const uint64_t hi = min64(lo + block, len);
    if (!reader_start(&t.leaves[i], g.work, e, bufs + (uint64_t)i * per * e,
                      per, src + first + lo, hi - lo))
      return read_error();
  }
  writer out;
  writer_start(&out, g.work, bufs + (uint64_t)n_leaves * per * e, per * e,
               (dst + first) * e);
  uint32_t* winners = (uint32_t*)hold((size_t)n_leaves * 2, sizeof(uint32_t));
  if (int f = g_k.tree(&t, &out, winners)) return report(f);
  release(winners);
  if (!writer_flush(&out)) return write_error();
  release(t.losers);
  release(t.leaves);
  release(bufs);
  return 1;
}

int sort_in_sweeps(int in, uint64_t n, const char* input,
                   const char* work, uint64_t block, uint32_t k) {
  const uint32_t e = g.e, P = g.passes;
  const uint64_t last_half = (P & 1) ? g.count : 0;
  const uint64_t other_half = (P & 1) ? 0 : g.count;
  // With one tree level left between the blocks and the root's children
  // there is nothing for sweep B to do: the blocks are level P - 1.
  const uint32_t tree_levels = P - 1 - k;
  const uint64_t blocks_half = tree_levels ? last_half : other_half;

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

  const uint64_t left_len = (uint64_t)1 << (P - 1);
  if (tree_levels) {  // Sweep B
    const uint32_t n_leaves = (uint32_t)1 << tree_levels;
    if (!merge_child(last_half, other_half, 0, left_len, block, n_leaves) ||
        !merge_child(last_half, other_half, left_len, g.count - left_len,
                     block, n_leaves))
      return 0;
    report_levels_through(P - 1);
  }

  // Sweep C
  index_sink sink;
  sink_start(&sink, g.budget / 2);
  const uint64_t avail = g.budget - (sink.mem ? 8 * g.count : 0);
  const uint64_t per = elements_in(min64(kMaxStreamBuffer, avail / 3), e);
  uint8_t* bufs = (uint8_t*)hold((size_t)(3 * per), e);
  reader a, b;
  if (!reader_start(&a, g.work, e, bufs, per, other_half, left_len) ||
      !reader_start(&b, g.work, e, bufs + per * e, per, other_half + left_len,
                    g.count - left_len))
    return read_error();
  writer out;
  writer_start(&out, g.work, bufs + 2 * per * e, per * e, last_half * e);
  if (int f = g_k.final(&a, &b, &out, &sink)) return report(f);
  if (!writer_flush(&out)) return write_error();
  release(bufs);
  report_levels_through(P);
  return sink_finish(&sink);
}


// ---- Writing only what the result keeps, on every core --------------------
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

// The whole count in memory: levels 1..P - 1 on every thread, then level P
// while a helper writes level P - 1, then the index while a helper writes
// level P.
int sort_in_memory_direct(int in, uint64_t n, const char* input,
                          const char* work, uint32_t threads) {
  const uint64_t bytes = g.count * g.e;
  uint8_t* cur = (uint8_t*)hold((size_t)bytes, 1);
  if (!load(in, n, input, work, cur, g.count, true, false)) return 0;
  close_input();
  const uint32_t P = g.passes;
  const uint64_t last_half = (P & 1) ? g.count : 0;
  const uint64_t other_half = (P & 1) ? 0 : g.count;
  if (P >= 1) {
    uint8_t* spare = (uint8_t*)hold((size_t)bytes, 1);
    sort_levels_shared(&cur, &spare, g.count, 1, P - 1, threads);
    flush_job level = {g.work, cur, bytes, other_half * g.e, 0};
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
  flush_job result = {g.work, cur, bytes, last_half * g.e, 0};
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

// Sweep B for one child of the root: its blocks merged by a loser tree,
// with the buffers that the owner of the run gave it.
struct child_job {
  uint64_t src, dst, first, len, block;
  uint32_t n_leaves;
  uint64_t per;  // elements per buffer
  uint8_t* bufs;  // n_leaves + 2 buffers
  reader* leaves;
  uint32_t* losers;
  uint32_t* winners;
};

void run_child(void* p) {
  child_job* j = (child_job*)p;
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
      return note_fault(FAULT_READ);
  }
  writer out;
  writer_start(&out, g.work, j->bufs + (uint64_t)j->n_leaves * j->per * e,
               j->per * e, (j->dst + j->first) * e);
  out.spare = j->bufs + (j->n_leaves + 1ull) * j->per * e;
  int f = g_k.tree(&t, &out, j->winners);
  if (!writer_finish(&out) && !f) f = FAULT_WRITE;
  if (f) note_fault(f);
}

int sort_in_sweeps_direct(int in, const char* input, uint64_t block,
                          uint32_t k, uint32_t threads) {
  const uint32_t e = g.e, P = g.passes;
  const uint64_t last_half = (P & 1) ? g.count : 0;
  const uint64_t other_half = (P & 1) ? 0 : g.count;
  const uint32_t tree_levels = P - 1 - k;
  const uint64_t blocks_half = tree_levels ? last_half : other_half;
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

  const uint64_t left_len = (uint64_t)1 << (P - 1);
  if (tree_levels) {  // Sweep B: the root's two children side by side
    const uint32_t n_leaves = (uint32_t)1 << tree_levels;
    const uint32_t workers = threads >= 2 ? 2 : 1;
    const uint64_t share = g.budget / workers;
    const uint64_t per =
        elements_in(min64(kMaxStreamBuffer, share / ((uint64_t)n_leaves + 2)), e);
    child_job jobs[2];
    void* args[2];
    for (int c = 0; c < 2; ++c) {
      child_job& j = jobs[c];
      j.src = last_half;
      j.dst = other_half;
      j.first = c ? left_len : 0;
      j.len = c ? g.count - left_len : left_len;
      j.block = block;
      j.n_leaves = n_leaves;
      j.per = per;
      args[c] = &j;
    }
    for (uint32_t c = 0; c < 2; c += workers) {
      for (uint32_t i = 0; i < workers; ++i) {
        child_job& j = jobs[c + i];
        j.bufs = (uint8_t*)hold((size_t)((n_leaves + 2ull) * per), e);
        j.leaves = (reader*)hold(n_leaves, sizeof(reader));
        j.losers = (uint32_t*)hold(n_leaves, sizeof(uint32_t));
        j.winners = (uint32_t*)hold((size_t)n_leaves * 2, sizeof(uint32_t));
      }
      run_all(run_child, &args[c], workers);
      for (uint32_t i = 0; i < workers; ++i) {
        child_job& j = jobs[c + i];
        release(j.bufs);
        release(j.leaves);
        release(j.losers);
        release(j.winners);
      }
      if (int f = g_fault.load()) return report(f);
    }
    report_levels_through(P - 1);
    profile_sweep("children", g.count * e, g.count * e);
  }

  // Sweep C: the root, its output written by a helper while it merges.
  index_sink sink;
  sink_start(&sink, g.budget / 2);
  sink.defer_ranks = true;
  const uint64_t avail = g.budget - (sink.mem ? 8 * g.count : 0);
  const uint64_t per = elements_in(min64(kMaxStreamBuffer, avail / 4), e);
  uint8_t* bufs = (uint8_t*)hold((size_t)(4 * per), e);
  reader a, b;
  if (!reader_start(&a, g.work, e, bufs, per, other_half, left_len) ||
      !reader_start(&b, g.work, e, bufs + per * e, per, other_half + left_len,
                    g.count - left_len))
    return read_error();
  writer out;
  writer_start(&out, g.work, bufs + 2 * per * e, per * e, last_half * e);
  out.spare = bufs + 3 * per * e;
  int f = g_k.final(&a, &b, &out, &sink);
  if (!writer_finish(&out) && !f) f = FAULT_WRITE;
  if (f) return report(f);
  release(bufs);
  report_levels_through(P);
  profile_sweep("root", g.count * e, g.count * e);
  fill_ranks_in_memory(&sink, threads);
  if (!sink_finish(&sink)) return 0;
  profile_sweep("index", 0, 8 * g.count);
  return 1;
}

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

namespace {

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

int extsort_run_fast(const char* input, const char* work, const char* index,
                     int32_t count, uint32_t record_size, const char* name,
                     const void* key, extsort_cmp cmp) {
  extsort_begin(name);
  g = run_state();
  g.input = g.work = g.index = -1;
  g.key = key;
  g.cmp = cmp;
  int ok = run(input, work, index, count, record_size);
  release_all();
  return ok;
}
