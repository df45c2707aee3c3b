// The merge kernels.  Each is a template on the element size so that the
// copies of the three record kinds compile to fixed-size moves; 0 stands
// for any size.
#include "history/gui/extsort/extsort_fast_internal.h"

#include <string.h>

#include <initializer_list>

namespace extsort_fast {

kernels g_k;

namespace {

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

// A match must be played with the lower leaf index as the left (earlier)
// run, whichever side the stored loser came from: the left run wins only on
// a negative comparison.
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

template <uint32_t kE>
kernels kernels_for() {
  kernels k = {merge_level<kE>, tree_merge<kE>, final_merge<kE>};
  return k;
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

}  // namespace

// The element sizes of the call-browser, states and guru records.
kernels pick_kernels(uint32_t e) {
  switch (e) {
    case 84: return kernels_for<84>();
    case 132: return kernels_for<132>();
    case 168: return kernels_for<168>();
    default: return kernels_for<0>();
  }
}

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

}  // namespace extsort_fast
