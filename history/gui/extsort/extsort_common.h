// What both sort engines share: the lines a run writes, the sizing of the
// work and index files, the number of merge passes and the little-endian
// numbers of the elements and index entries.  One run per process: the
// lines carry the name that extsort_begin gave.
#ifndef XHISTORY_HISTORY_GUI_EXTSORT_EXTSORT_COMMON_H_
#define XHISTORY_HISTORY_GUI_EXTSORT_EXTSORT_COMMON_H_

#include <stdint.h>

#include "shared/genout.h"

// Names the run: every later line starts with name (kept, not copied).
void extsort_begin(const char* name);

// "<name>_sort_error <message>\n", flushed.  The messages end in a newline
// of their own, so an empty line follows.  Returns 0, so that a caller can
// return it as its own failure.
int extsort_error(const char* format, ...) GEN_PRINTF(1, 2);
// "<name>_sort_progress <value>\n", the value narrowed to float, flushed.
void extsort_progress(double value);
// The progress line after pass `pass` of `passes`: pass x 95 / passes.
void extsort_pass_done(uint32_t pass, uint32_t passes);
// "<name>_sort_done\n", flushed.
void extsort_done();

// The number of merge passes for count elements: the least P with
// 2^P >= count (0 for a count of 0 or 1).
uint32_t extsort_passes(uint64_t count);
// The divisor of the progress value: ceil(ln(count) / ln(2)) in double
// precision, which the viewer's progress bar was made for (0 for a count
// of 0 or 1).  Where the quotient of the logarithms rounds above a whole
// number (count 2^29 and 2^31 among others) it is one more than the number
// of passes, and the last pass reports less than 95.
uint32_t extsort_progress_divisor(uint64_t count);

// Makes path a readable and writable file of at least size bytes, creating
// or growing it with its blocks reserved; an existing file that is large
// enough is used as it is, and no file is ever shortened.  A size of 0
// leaves a new file empty.  1, or 0 after the error line.
int extsort_ensure_size(const char* path, uint64_t size);

// The element's input position and the index entries' halves.
inline void extsort_put_u32(uint8_t* p, uint32_t v) {
  p[0] = (uint8_t)v;
  p[1] = (uint8_t)(v >> 8);
  p[2] = (uint8_t)(v >> 16);
  p[3] = (uint8_t)(v >> 24);
}

inline uint32_t extsort_get_u32(const uint8_t* p) {
  return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 |
         (uint32_t)p[3] << 24;
}

#endif  // XHISTORY_HISTORY_GUI_EXTSORT_EXTSORT_COMMON_H_
