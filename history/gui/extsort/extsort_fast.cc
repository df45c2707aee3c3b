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
#include "history/gui/extsort/extsort_fast.h"

#include <stdlib.h>
#include <string.h>

#include <initializer_list>

#include "history/gui/extsort/extsort_common.h"
#include "platform/plat.h"
#include "platform/plat_io.h"
#include "shared/gen_alloc.h"
#include "shared/genout.h"

namespace {

const uint64_t kMiB = (uint64_t)1 << 20;
const uint64_t kDefaultMemory = 256 * kMiB;
const uint64_t kMaxMemoryMB = 1024;  // a 32-bit process must still fit
const uint64_t kMaxStreamBuffer = 4 * kMiB;

uint64_t g_memory_override = 0;

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
  int input;  // descriptors; -1 while not open
  int work;
  int index;
  const char* index_path;
  // Buffers still held; a failed run releases them on its way out.
  void* held[16];
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

struct writer {
  int file;
  uint8_t* buf;
  uint64_t cap_bytes;  // a whole number of elements
  uint64_t used;
  uint64_t offset;     // file offset of the buffer's first byte
};

void writer_start(writer* w, int file, uint8_t* buf,
                  uint64_t cap_bytes, uint64_t offset) {
  w->file = file;
  w->buf = buf;
  w->cap_bytes = cap_bytes;
  w->used = 0;
  w->offset = offset;
}

int writer_flush(writer* w) {
  if (w->used == 0) return 1;
  if (plat_io_pwrite(w->file, w->buf, (size_t)w->used, w->offset) != 0)
    return 0;
  w->offset += w->used;
  w->used = 0;
  return 1;
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
};

void sink_start(index_sink* s, uint64_t avail) {
  s->j = 0;
  s->mem = nullptr;
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
    if (p < g.count) extsort_put_u32(s->mem + 8 * (uint64_t)p + 4, (uint32_t)s->j);
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
    if (b < b_end) {
      for (;;) {
        if (cmp(key, a, b) < 0) {
          copy_element<kE>(out, a);
          out += e;
          a += e;
          if (a == a_end) break;
        } else {
          copy_element<kE>(out, b);
          out += e;
          b += e;
          if (b == b_end) break;
        }
      }
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

template <uint32_t kE>
int tree_merge(loser_tree* t, writer* out) {
  const uint32_t n = t->n_leaves;
  uint32_t* winners = (uint32_t*)hold((size_t)n * 2, sizeof(uint32_t));
  for (uint32_t i = 0; i < n; ++i) winners[n + i] = i;
  for (uint32_t v = n - 1; v >= 1; --v) {
    uint32_t l = winners[2 * v], r = winners[2 * v + 1];
    uint32_t w = play(t, l, r);
    t->losers[v] = w == l ? r : l;
    winners[v] = w;
  }
  uint32_t w = n > 1 ? winners[1] : 0;
  release(winners);
  while (t->leaves[w].left) {
    uint8_t* slot = writer_slot(out, kE ? kE : g.e);
    if (!slot) return write_error();
    copy_element<kE>(slot, t->leaves[w].at);
    if (!reader_advance(&t->leaves[w])) return read_error();
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
  return 1;
}

template <uint32_t kE>
int final_merge(reader* a, reader* b, writer* out, index_sink* sink) {
  const extsort_cmp cmp = g.cmp;
  const void* key = g.key;
  const uint32_t e = kE ? kE : g.e;
  while (a->left && b->left) {
    reader* from = cmp(key, a->at, b->at) < 0 ? a : b;
    uint8_t* slot = writer_slot(out, e);
    if (!slot) return write_error();
    copy_element<kE>(slot, from->at);
    if (!sink_put(sink, from->at)) return index_write_error();
    if (!reader_advance(from)) return read_error();
  }
  for (reader* rest : {a, b}) {
    while (rest->left) {
      uint8_t* slot = writer_slot(out, e);
      if (!slot) return write_error();
      copy_element<kE>(slot, rest->at);
      if (!sink_put(sink, rest->at)) return index_write_error();
      if (!reader_advance(rest)) return read_error();
    }
  }
  return 1;
}

struct kernels {
  void (*level)(const uint8_t*, uint8_t*, uint64_t, uint64_t);
  int (*tree)(loser_tree*, writer*);
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

// ---- Files ----------------------------------------------------------------

// Copies the first count records of the input into half 0 as elements,
// through buf of cap elements.  With keep, buf holds all count elements
// afterwards.  Records past count, and past the last whole record, are
// never read.
int load(int in, uint64_t n, const char* input, const char* work,
         uint8_t* buf, uint64_t cap, bool keep) {
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
    if (plat_io_pwrite(g.work, chunk, (size_t)(m * e), i * e) != 0)
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
  if (!g_k.tree(&t, &out)) return 0;
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
  if (!g_k.final(&a, &b, &out, &sink)) return 0;
  if (!writer_flush(&out)) return write_error();
  release(bufs);
  report_levels_through(P);
  return sink_finish(&sink);
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
  int ok = in_memory ? sort_in_memory(g.input, n, input, work)
                     : sort_in_sweeps(g.input, n, input, work, (uint64_t)1 << k, k);
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
