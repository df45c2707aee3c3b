// Buffered streams over the work and index files, and the index sink.
#include "history/gui/extsort/extsort_fast_internal.h"

#include "platform/plat_io.h"
#include "platform/plat_thread.h"

namespace extsort_fast {

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

void run_flush(void* p) {
  flush_job* j = (flush_job*)p;
  j->ok = plat_io_pwrite(j->file, j->buf, (size_t)j->len, j->offset) == 0;
}

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

namespace {

// Waits for the helper's write; 0 when it failed.
int writer_wait(writer* w) {
  if (!w->pending) return 1;
  plat_thread_join(w->pending);
  w->pending = nullptr;
  return w->job.ok;
}

}  // namespace

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

int writer_finish(writer* w) {
  int ok = writer_flush(w);
  return writer_wait(w) && ok;
}

int writer_end(writer* w, int f) {
  if (w->spare) {
    if (!writer_finish(w) && !f) f = FAULT_WRITE;
  } else if (!f && !writer_flush(w)) {
    f = FAULT_WRITE;
  }
  return f;
}

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

namespace {

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

}  // namespace

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

}  // namespace extsort_fast
