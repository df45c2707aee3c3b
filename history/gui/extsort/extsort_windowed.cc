// The windowed engine: a bottom-up two-way merge between the two halves of
// the work file, every record reached through the mapped windows of
// cursors.  It is the measure of the fast engine, which must leave every
// line and every byte of the work and index files as this one does.
#include "history/gui/extsort/extsort_windowed.h"

#include <string.h>

#include "history/gui/extsort/extsort_common.h"
#include "history/gui/extsort/mmfile.h"

namespace {

// One run per process: the merge reaches the comparison and the element
// size without parameters.  Files and cursors are null once released; a
// failed run leaves them to the end of the run, which releases them.
struct run_state {
  const void* key;
  extsort_cmp cmp;
  uint32_t element_size;
  mmfile* in;
  mmfile* work_file;
  mmfile* index_file;
  mmcursor* in_cursor;
  mmcursor* c[3];  // work: two sources and the destination
  mmcursor* ca;    // index
  mmcursor* cb;
};
run_state g_run;

// Merges run A (na elements from *a on) and run B (nb from *b on) into the
// output from *out on.  On a zero comparison B's element goes first.  The
// output is never advanced past the last element written, so that the
// caller can lay the merged pairs of a pass end to end.
int merge(mmcursor* ca, mmcursor* cb, mmcursor* co, uint8_t* a, uint8_t* b,
          uint8_t** out, int64_t na, int64_t nb) {
  const uint32_t e = g_run.element_size;
  while (na > 0 && nb > 0) {
    if (g_run.cmp(g_run.key, a, b) < 0) {
      memcpy(*out, a, e);
      if (--na > 0 && mmcursor_next(ca, &a) != MMF_OK)
        return extsort_error("Problem reading from temp file\n");
    } else {
      memcpy(*out, b, e);
      if (--nb > 0 && mmcursor_next(cb, &b) != MMF_OK)
        return extsort_error("Problem reading from temp file\n");
    }
    if ((na > 0 || nb > 0) && mmcursor_next(co, out) != MMF_OK)
      return extsort_error("Problem writing to temp file\n");
  }
  for (; na > 0; ) {
    memcpy(*out, a, e);
    if (--na > 0) {
      if (mmcursor_next(ca, &a) != MMF_OK)
        return extsort_error("Problem reading from temp file\n");
      if (mmcursor_next(co, out) != MMF_OK)
        return extsort_error("Problem writing to temp file\n");
    }
  }
  for (; nb > 0; ) {
    memcpy(*out, b, e);
    if (--nb > 0) {
      if (mmcursor_next(cb, &b) != MMF_OK)
        return extsort_error("Problem reading from temp file\n");
      if (mmcursor_next(co, out) != MMF_OK)
        return extsort_error("Problem writing to temp file\n");
    }
  }
  return 1;
}

int64_t min64(int64_t x, int64_t y) { return x < y ? x : y; }

// Copies the first count input records into the first half of the work
// file, each followed by its input position.
int load(mmcursor* in, mmcursor* out, int32_t count, uint32_t record_size,
         const char* input, const char* work) {
  for (int32_t i = 0; i < count; ++i) {
    uint8_t* rec;
    uint8_t* el;
    if (mmcursor_next(in, &rec) != MMF_OK)
      return extsort_error("Unable to read from %s\n", input);
    if (mmcursor_next(out, &el) != MMF_OK)
      return extsort_error("Unable to write to %s\n", work);
    memcpy(el, rec, record_size);
    extsort_put_u32(el + record_size, (uint32_t)i);
  }
  return 1;
}

// Bottom-up passes of doubling width between the two halves; returns the
// number of passes made through *passes.
int merge_passes(mmcursor* c1, mmcursor* c2, mmcursor* c3, int64_t count,
                 const char* work, uint32_t* passes) {
  const uint32_t divisor = extsort_progress_divisor((uint64_t)count);
  uint32_t pass = 0;
  for (int64_t width = 1; width < count; width *= 2) {
    const int64_t source = (pass & 1) ? count : 0;
    const int64_t destination = (pass & 1) ? 0 : count;
    uint8_t* out;
    if (mmcursor_seek(c3, (uint64_t)destination, &out) != MMF_OK)
      return extsort_error("Problem seeking in %s\n", work);
    const int64_t runs = (count + width - 1) / width;
    for (int64_t r = 0; r < runs; r += 2) {
      uint8_t* a;
      uint8_t* b = nullptr;
      if (mmcursor_seek(c1, (uint64_t)(source + r * width), &a) != MMF_OK)
        return extsort_error("Problem seeking in %s\n", work);
      if (r + 1 < runs &&
          mmcursor_seek(c2, (uint64_t)(source + (r + 1) * width), &b) != MMF_OK)
        return extsort_error("Problem seeking in %s\n", work);
      int64_t na = width, nb = width;
      if (r + 2 >= runs) {  // the last pair, or a lone last run
        na = min64(width, count - r * width);
        nb = min64(width, count - (r + 1) * width);
      }
      if (!merge(c1, c2, c3, a, b, &out, na, nb)) return 0;
      if (r + 2 < runs && mmcursor_next(c3, &out) != MMF_OK)
        return extsort_error("Error writing in %s\n", work);
    }
    ++pass;
    extsort_pass_done(pass, divisor);
  }
  *passes = pass;
  return 1;
}

// First sweep: entry j gets the input position of sorted element j.
int index_sweep_positions(mmcursor* c1, mmcursor* ca, int32_t count,
                          uint32_t record_size, uint64_t sorted_half,
                          const char* work, const char* index) {
  uint8_t* el;
  if (mmcursor_seek(c1, sorted_half, &el) != MMF_OK)
    return extsort_error("Problem seeking in %s\n", work);
  for (int32_t j = 0; j < count; ++j) {
    uint8_t* entry;
    if (mmcursor_next(ca, &entry) != MMF_OK)
      return extsort_error("Error writing to %s\n", index);
    memcpy(entry, el + record_size, 4);
    if (j + 1 < count && mmcursor_next(c1, &el) != MMF_OK)
      return extsort_error("Error reading from %s\n", work);
  }
  return 1;
}

// Second sweep: the entry of input record p gets its sorted position.
int index_sweep_ranks(mmcursor* ca, mmcursor* cb, int32_t count,
                      const char* index) {
  uint8_t* entry;
  if (mmcursor_seek(ca, 0, &entry) != MMF_OK)
    return extsort_error("Problem seeking in %s\n", index);
  for (int32_t k = 0; k < count; ++k) {
    uint8_t* target;
    if (mmcursor_seek(cb, extsort_get_u32(entry), &target) != MMF_OK)
      return extsort_error("Problem seeking in %s\n", index);
    extsort_put_u32(target + 4, (uint32_t)k);
    if (k + 1 < count && mmcursor_next(ca, &entry) != MMF_OK)
      return extsort_error("Error reading from %s\n", index);
  }
  return 1;
}

void drop_cursor(mmcursor** c) {
  if (*c) mmcursor_destroy(*c);
  *c = nullptr;
}

void drop_file(mmfile** f) {
  if (*f) mmfile_close(*f);
  *f = nullptr;
}

// Every cursor goes before the file that it walks.
void release_run() {
  drop_cursor(&g_run.in_cursor);
  for (mmcursor*& c : g_run.c) drop_cursor(&c);
  drop_cursor(&g_run.ca);
  drop_cursor(&g_run.cb);
  drop_file(&g_run.in);
  drop_file(&g_run.work_file);
  drop_file(&g_run.index_file);
}

int run(const char* input, const char* work, const char* index,
        int32_t count, uint32_t record_size) {
  if (count < 0) return extsort_error("Invalid count: %d\n", count);
  if ((int32_t)record_size <= 0)
    return extsort_error("Invalid size: %d\n", (int32_t)record_size);

  mmfile*& in = g_run.in;
  mmcursor*& in_cursor = g_run.in_cursor;
  if (mmfile_open(input, 0, 0, &in) != MMF_OK)
    return extsort_error("Unable to open %s for reading\n", input);
  if (mmcursor_create(in, record_size, &in_cursor) != MMF_OK)
    return extsort_error("Unable to read from %s\n", input);

  const uint64_t n = in->size / record_size;
  const uint32_t e = record_size + 4;
  g_run.element_size = e;
  if (!extsort_ensure_size(work, 2 * n * e)) return 0;
  if (!extsort_ensure_size(index, 8 * n)) return 0;
  if (count == 0) {
    release_run();
    extsort_done();
    return 1;
  }

  mmfile*& wf = g_run.work_file;
  mmfile*& xf = g_run.index_file;
  if (mmfile_open(work, MMF_WRITE, 0, &wf) != MMF_OK)
    return extsort_error("Unable to open %s for read/write\n", work);
  if (mmfile_open(index, MMF_WRITE, 0, &xf) != MMF_OK)
    return extsort_error("Unable to open %s for writing\n", index);
  mmcursor** c = g_run.c;
  for (int i = 0; i < 3; ++i) {
    if (mmcursor_create(wf, e, &c[i]) != MMF_OK)
      return extsort_error("Unable to read/write %s\n", work);
  }
  mmcursor*& ca = g_run.ca;
  mmcursor*& cb = g_run.cb;
  if (mmcursor_create(xf, 8, &ca) != MMF_OK ||
      mmcursor_create(xf, 8, &cb) != MMF_OK)
    return extsort_error("Unable to write to %s\n", index);

  if (!load(in_cursor, c[2], count, record_size, input, work)) return 0;
  drop_cursor(&in_cursor);
  drop_file(&in);

  uint32_t passes = 0;
  if (!merge_passes(c[0], c[1], c[2], count, work, &passes)) return 0;
  drop_cursor(&c[1]);
  drop_cursor(&c[2]);

  const uint64_t sorted_half = (passes & 1) ? (uint64_t)count : 0;
  if (!index_sweep_positions(c[0], ca, count, record_size, sorted_half, work,
                             index))
    return 0;
  drop_cursor(&c[0]);
  drop_file(&wf);

  if (!index_sweep_ranks(ca, cb, count, index)) return 0;
  extsort_progress(100.0);
  release_run();
  extsort_done();
  return 1;
}

}  // namespace

int extsort_run_windowed(const char* input, const char* work,
                         const char* index, int32_t count,
                         uint32_t record_size, const char* name,
                         const void* key, extsort_cmp cmp) {
  // The name heads every line, the first error line included.
  extsort_begin(name);
  g_run = run_state();
  g_run.key = key;
  g_run.cmp = cmp;
  int ok = run(input, work, index, count, record_size);
  // A failure leaves the files as they are; nothing written is undone.
  release_run();
  return ok;
}
