#include "history/gui/extsort/extsort.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "history/gui/extsort/extsort_fast.h"
#include "history/gui/extsort/sort_lines.h"
#include "history/gui/extsort/mmfile.h"
#include "platform/plat.h"
#include "shared/gen_alloc.h"
#include "shared/gen_file.h"
#include "shared/genout.h"

namespace {

// One run per process: the comparison and the line writers reach the run's
// state without parameters.
struct run_state {
  // The paths are the caller's, which keeps them for the life of the
  // process; the run holds them so that they stay reachable to its end.
  const char* input;
  const char* work;
  const char* index;
  const char* name;
  const void* key;
  extsort_cmp cmp;
  uint32_t element_size;
  // Files and cursors of the run; null once released.
  mmfile* in;
  mmfile* work_file;
  mmfile* index_file;
  mmcursor* in_cursor;
  mmcursor* c[3];  // work: two sources and the destination
  mmcursor* ca;    // index
  mmcursor* cb;
};
run_state g_run = {nullptr, nullptr, nullptr, "", nullptr, nullptr, 0,
                   nullptr, nullptr, nullptr, nullptr, {}, nullptr, nullptr};

const uint32_t kAccessReadWrite = 6;
const uint32_t kCreateMode = 0660;

// Formats the message into a new string and writes the error line.  The
// message ends in its own newline, so an empty line follows.  Returns 0 so
// that a caller can return it as its own failure.
int run_error(const char* format, ...) GEN_PRINTF(1, 2);
int run_error(const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  int r = sort_error_line(g_run.name, format, ap);
  va_end(ap);
  return r;
}

void run_progress(double value) { sort_progress_line(g_run.name, value); }

void run_done() { sort_done_line(g_run.name); }

void put_u32(uint8_t* p, uint32_t v) {
  p[0] = (uint8_t)v;
  p[1] = (uint8_t)(v >> 8);
  p[2] = (uint8_t)(v >> 16);
  p[3] = (uint8_t)(v >> 24);
}

uint32_t get_u32(const uint8_t* p) {
  return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 |
         (uint32_t)p[3] << 24;
}

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
        return run_error("Problem reading from temp file\n");
    } else {
      memcpy(*out, b, e);
      if (--nb > 0 && mmcursor_next(cb, &b) != MMF_OK)
        return run_error("Problem reading from temp file\n");
    }
    if ((na > 0 || nb > 0) && mmcursor_next(co, out) != MMF_OK)
      return run_error("Problem writing to temp file\n");
  }
  for (; na > 0; ) {
    memcpy(*out, a, e);
    if (--na > 0) {
      if (mmcursor_next(ca, &a) != MMF_OK)
        return run_error("Problem reading from temp file\n");
      if (mmcursor_next(co, out) != MMF_OK)
        return run_error("Problem writing to temp file\n");
    }
  }
  for (; nb > 0; ) {
    memcpy(*out, b, e);
    if (--nb > 0) {
      if (mmcursor_next(cb, &b) != MMF_OK)
        return run_error("Problem reading from temp file\n");
      if (mmcursor_next(co, out) != MMF_OK)
        return run_error("Problem writing to temp file\n");
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
      return run_error("Unable to read from %s\n", input);
    if (mmcursor_next(out, &el) != MMF_OK)
      return run_error("Unable to write to %s\n", work);
    memcpy(el, rec, record_size);
    put_u32(el + record_size, (uint32_t)i);
  }
  return 1;
}

// Bottom-up passes of doubling width between the two halves; returns the
// number of passes made through *passes.
int merge_passes(mmcursor* c1, mmcursor* c2, mmcursor* c3, int64_t count,
                 const char* work, uint32_t* passes) {
  const uint32_t divisor = extsort_passes((int32_t)count);
  uint32_t pass = 0;
  for (int64_t width = 1; width < count; width *= 2) {
    const int64_t source = (pass & 1) ? count : 0;
    const int64_t destination = (pass & 1) ? 0 : count;
    uint8_t* out;
    if (mmcursor_seek(c3, (uint64_t)destination, &out) != MMF_OK)
      return run_error("Problem seeking in %s\n", work);
    const int64_t runs = (count + width - 1) / width;
    for (int64_t r = 0; r < runs; r += 2) {
      uint8_t* a;
      uint8_t* b = nullptr;
      if (mmcursor_seek(c1, (uint64_t)(source + r * width), &a) != MMF_OK)
        return run_error("Problem seeking in %s\n", work);
      if (r + 1 < runs &&
          mmcursor_seek(c2, (uint64_t)(source + (r + 1) * width), &b) != MMF_OK)
        return run_error("Problem seeking in %s\n", work);
      int64_t na = width, nb = width;
      if (r + 2 >= runs) {  // the last pair, or a lone last run
        na = min64(width, count - r * width);
        nb = min64(width, count - (r + 1) * width);
      }
      if (!merge(c1, c2, c3, a, b, &out, na, nb)) return 0;
      if (r + 2 < runs && mmcursor_next(c3, &out) != MMF_OK)
        return run_error("Error writing in %s\n", work);
    }
    ++pass;
    run_progress((double)pass * 95.0 / (double)divisor);
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
    return run_error("Problem seeking in %s\n", work);
  for (int32_t j = 0; j < count; ++j) {
    uint8_t* entry;
    if (mmcursor_next(ca, &entry) != MMF_OK)
      return run_error("Error writing to %s\n", index);
    memcpy(entry, el + record_size, 4);
    if (j + 1 < count && mmcursor_next(c1, &el) != MMF_OK)
      return run_error("Error reading from %s\n", work);
  }
  return 1;
}

// Second sweep: the entry of input record p gets its sorted position.
int index_sweep_ranks(mmcursor* ca, mmcursor* cb, int32_t count,
                      const char* index) {
  uint8_t* entry;
  if (mmcursor_seek(ca, 0, &entry) != MMF_OK)
    return run_error("Problem seeking in %s\n", index);
  for (int32_t k = 0; k < count; ++k) {
    uint8_t* target;
    if (mmcursor_seek(cb, get_u32(entry), &target) != MMF_OK)
      return run_error("Problem seeking in %s\n", index);
    put_u32(target + 4, (uint32_t)k);
    if (k + 1 < count && mmcursor_next(ca, &entry) != MMF_OK)
      return run_error("Error reading from %s\n", index);
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

}  // namespace

uint32_t extsort_passes(int32_t count) {
  uint32_t p = 0;
  while (count > 0 && ((uint64_t)1 << p) < (uint64_t)count) ++p;
  return p;
}

int extsort_ensure_size(const char* path, uint64_t size) {
  // An existing file that is large enough is used as it is; a larger one
  // is never shortened.
  if (gen_access(path, kAccessReadWrite) == 0 &&
      (uint64_t)gen_filesize(path) >= size)
    return 1;
  mmfile* f;
  if (mmfile_open(path, MMF_WRITE | MMF_CREATE | MMF_GROW, kCreateMode, &f) !=
      MMF_OK)
    return run_error("Unable to write to %s\n", path);
  int code = mmfile_set_size(f, size);
  mmfile_close(f);
  if (code != MMF_OK)
    return run_error("Unable to extend %s to %llu bytes\n", path,
                     (unsigned long long)size);
  return 1;
}

namespace {

int run(const char* input, const char* work, const char* index,
        int32_t count, uint32_t record_size) {
  if (count < 0) return run_error("Invalid count: %d\n", count);
  if ((int32_t)record_size <= 0)
    return run_error("Invalid size: %d\n", (int32_t)record_size);

  mmfile*& in = g_run.in;
  mmcursor*& in_cursor = g_run.in_cursor;
  if (mmfile_open(input, 0, 0, &in) != MMF_OK)
    return run_error("Unable to open %s for reading\n", input);
  if (mmcursor_create(in, record_size, &in_cursor) != MMF_OK)
    return run_error("Unable to read from %s\n", input);

  const uint64_t n = in->size / record_size;
  const uint32_t e = record_size + 4;
  g_run.element_size = e;
  if (!extsort_ensure_size(work, 2 * n * e)) return 0;
  if (!extsort_ensure_size(index, 8 * n)) return 0;
  if (count == 0) {
    release_run();
    run_done();
    return 1;
  }

  mmfile*& wf = g_run.work_file;
  mmfile*& xf = g_run.index_file;
  if (mmfile_open(work, MMF_WRITE, 0, &wf) != MMF_OK)
    return run_error("Unable to open %s for read/write\n", work);
  if (mmfile_open(index, MMF_WRITE, 0, &xf) != MMF_OK)
    return run_error("Unable to open %s for writing\n", index);
  mmcursor** c = g_run.c;
  for (int i = 0; i < 3; ++i) {
    if (mmcursor_create(wf, e, &c[i]) != MMF_OK)
      return run_error("Unable to read/write %s\n", work);
  }
  mmcursor*& ca = g_run.ca;
  mmcursor*& cb = g_run.cb;
  if (mmcursor_create(xf, 8, &ca) != MMF_OK ||
      mmcursor_create(xf, 8, &cb) != MMF_OK)
    return run_error("Unable to write to %s\n", index);

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
  run_progress(100.0);
  release_run();
  run_done();
  return 1;
}

}  // namespace

int extsort_run_reference(const char* input, const char* work,
                          const char* index, int32_t count,
                          uint32_t record_size, const char* name,
                          const void* key, extsort_cmp cmp) {
  // The name heads every line, the first error line included.
  g_run.input = input;
  g_run.work = work;
  g_run.index = index;
  g_run.name = name;
  g_run.key = key;
  g_run.cmp = cmp;
  int ok = run(input, work, index, count, record_size);
  // A failure leaves the files as they are; nothing written is undone.
  release_run();
  return ok;
}

int extsort_run(const char* input, const char* work, const char* index,
                int32_t count, uint32_t record_size, const char* name,
                const void* key, extsort_cmp cmp) {
  // The windowed engine stays selectable as the measure of the fast one.
  const char* engine = plat_getenv("XH_SORT_ENGINE");
  if (engine && strcmp(engine, "reference") == 0)
    return extsort_run_reference(input, work, index, count, record_size, name,
                                 key, cmp);
  return extsort_run_fast(input, work, index, count, record_size, name, key,
                          cmp);
}
