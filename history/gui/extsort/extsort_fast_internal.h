// The fast engine's shared records and entry points.  The engine has four
// parts, each in its own file:
//   extsort_fast.cc           the run: its settings, the load, and the
//                             sweeps of the path that writes the load;
//   extsort_fast_io.cc        buffered streams over the work and index
//                             files, and the index sink;
//   extsort_fast_merge.cc     the merge kernels: pairwise levels, the block
//                             sort, the loser tree and the root's merge;
//   extsort_fast_threaded.cc  the path without the load, shared out among
//                             threads.
// Callers see none of this, only extsort_fast.h.
#ifndef XHISTORY_HISTORY_GUI_EXTSORT_EXTSORT_FAST_INTERNAL_H_
#define XHISTORY_HISTORY_GUI_EXTSORT_EXTSORT_FAST_INTERNAL_H_

#include <stdint.h>

#include "history/gui/extsort/extsort.h"
#include "history/gui/extsort/extsort_common.h"

struct plat_thread;

namespace extsort_fast {

const uint64_t kMiB = (uint64_t)1 << 20;
const uint64_t kMaxStreamBuffer = 4 * kMiB;
const uint32_t kMaxThreads = 8;

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
extern run_state g;

// n elements of size bytes, zeroed, released by release or at the run's end.
void* hold(uint64_t n, uint64_t size);
void release(void* p);
void close_input();

// One line per level, with the value the level-by-level engine prints
// after its pass of that level.
void report_levels_through(uint32_t level);

int read_error();
int write_error();
int index_write_error();

// What stopped a merge, so that the one error line of the run can be
// written by the thread that owns the run rather than by a worker.
enum fault { FAULT_NONE, FAULT_READ, FAULT_WRITE, FAULT_INDEX_WRITE };

// The error line for f; 0 as extsort_error gives.
int report(int f);

inline uint64_t min64(uint64_t a, uint64_t b) { return a < b ? a : b; }

// Elements that a buffer of the given bytes holds, at least one.
inline uint64_t elements_in(uint64_t bytes, uint32_t size) {
  uint64_t n = bytes / size;
  return n ? n : 1;
}

// The halves of the work file, as element indices: level P ends where the
// level-by-level engine leaves it, level P - 1 in the other half.
inline uint64_t last_half() { return (g.passes & 1) ? g.count : 0; }
inline uint64_t other_half() { return (g.passes & 1) ? 0 : g.count; }

// ---- Buffered streams over a file of fixed-size elements ----------------
//
// The per-element steps are inline: the merge kernels call them for every
// element, and only the refills and flushes cross into extsort_fast_io.cc.

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

int reader_fill(reader* r);

// Starts r on the n elements from element first on.
int reader_start(reader* r, int file, uint32_t size, uint8_t* buf,
                 uint64_t cap, uint64_t first, uint64_t n);

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

void run_flush(void* p);

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

void writer_start(writer* w, int file, uint8_t* buf, uint64_t cap_bytes,
                  uint64_t offset);
int writer_flush(writer* w);

// Writes what is left and waits for every write: 1 when all succeeded.
int writer_finish(writer* w);

// Ends the output of a merge that returned f, and returns f, or
// FAULT_WRITE when f was none and the last writes failed.  A helper's write
// is always waited for, as its buffer goes with the merge; without a helper
// nothing more is written after a failure, so that the work file stays as
// the failed step left it.
int writer_end(writer* w, int f);

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
// rounds.
struct index_sink {
  uint8_t* mem;
  writer out;
  uint64_t j;
  // In memory, the ranks are left for fill_ranks_in_memory, which spreads
  // their scattered stores over the threads after the merge.
  bool defer_ranks;
};

// Holds the whole index in memory when avail bytes allow it.
void sink_start(index_sink* s, uint64_t avail);

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

// Writes the index, its ranks included; 0 after the error line.
int sink_finish(index_sink* s);

// ---- Merges ---------------------------------------------------------------

// The loser tree over leaves 0..n_leaves - 1 (a power of two), earlier
// blocks at lower indices.  Each inner node keeps the leaf that lost its
// last match.
struct loser_tree {
  reader* leaves;
  uint32_t n_leaves;
  uint32_t* losers;
};

// The merges of one run's element size (see extsort_fast_merge.cc).
// tree and final return FAULT_NONE or what failed.
struct kernels {
  // One level over m elements: runs of width w, pairwise.
  void (*level)(const uint8_t* src, uint8_t* dst, uint64_t m, uint64_t w);
  // The leaves of a loser tree into out; winners: scratch of 2 n_leaves.
  int (*tree)(loser_tree* t, writer* out, uint32_t* winners);
  // The root: a before b, into out and the index.
  int (*final)(reader* a, reader* b, writer* out, index_sink* sink);
};

kernels pick_kernels(uint32_t e);
extern kernels g_k;

// Levels first..last over m elements held in *cur, using *spare; the
// result ends in *cur.  Levels whose width reaches m change nothing.
void sort_levels(uint8_t** cur, uint8_t** spare, uint64_t m, uint32_t first,
                 uint32_t last);

// The levels that sort_block merges as indices.
uint32_t index_levels();

// sort_levels(1, k) for a block, faster.  scratch holds 2 << index_levels()
// indices.
void sort_block(uint8_t** cur, uint8_t** spare, uint64_t m, uint32_t k,
                uint32_t* scratch);

// ---- Sweeps both paths share (extsort_fast.cc) ----------------------------

// Copies the first count records of the input into half 0 as elements,
// through buf of cap elements.  With keep, buf holds all count elements
// afterwards; without write, half 0 is not written.  Records past count,
// and past the last whole record, are never read.
int load(int in, uint64_t n, const char* input, const char* work,
         uint8_t* buf, uint64_t cap, bool keep, bool write = true);

// The whole count loaded into one buffer held for the caller, the input
// closed; null after the error line.
uint8_t* load_in_memory(int in, uint64_t n, const char* input,
                        const char* work, bool write);

// Sweep B for one child of the root: its blocks, [first, first + len) of
// the half at src, merged by a loser tree into the half at dst.
struct child_job {
  uint64_t src, dst, first, len, block;
  uint32_t n_leaves;
  uint64_t per;   // elements per buffer
  // With a helper writer, one buffer more lets a thread write the output
  // while the merge runs.
  bool helper_writer;
  uint8_t* bufs;  // n_leaves + 1 buffers, or n_leaves + 2
  reader* leaves;
  uint32_t* losers;
  uint32_t* winners;
};

// Sets up j for child c (0 or 1) of the root, in blocks of block elements,
// and holds its buffers of per elements until child_release.
void child_hold(child_job* j, uint32_t c, uint64_t block, uint32_t n_leaves,
                uint64_t per, bool helper_writer);
void child_release(child_job* j);

// FAULT_NONE or what failed.
int merge_child(const child_job* j);

// Sweep C: the root's two children, in the half of level P - 1, merged into
// the half of level P, every element passed on to sink.  With helper_writer
// a fourth buffer lets a helper thread write while the merge runs.  1, or
// 0 after the error line.
int sweep_root(index_sink* sink, bool helper_writer);

// ---- The path without the load (extsort_fast_threaded.cc) -----------------

// Everything in memory; the contract of extsort_run_fast.
int sort_in_memory_direct(int in, uint64_t n, const char* input,
                          const char* work, uint32_t threads);

// Blocks of 2^k elements per thread, read straight from the input.
int sort_in_sweeps_direct(int in, const char* input, uint64_t block,
                          uint32_t k, uint32_t threads);

}  // namespace extsort_fast

#endif  // XHISTORY_HISTORY_GUI_EXTSORT_EXTSORT_FAST_INTERNAL_H_
