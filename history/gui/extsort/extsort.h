// The external record sort engine.
#ifndef XHISTORY_HISTORY_GUI_EXTSORT_EXTSORT_H_
#define XHISTORY_HISTORY_GUI_EXTSORT_EXTSORT_H_

#include <stdint.h>

// (key context, record a, record b): negative puts a first; zero or
// positive puts b first.
typedef int (*extsort_cmp)(const void* key, const void* a, const void* b);

// Sorts the first count records of input through work into index, writing
// "<name>_sort_progress", "<name>_sort_done" and "<name>_sort_error" lines.
// 1 on success, 0 on failure.
//
// Work file: 2 * n elements of record_size + 4 bytes (the record and its
// input position, little-endian), n being the whole records of input.
// Index file: n entries of 8 bytes; entry j holds the input position of
// the record sorted into position j and the sorted position of input
// record j.  Neither file is ever shortened.  Records that compare equal
// come out in the reverse of their input order.
int extsort_run(const char* input, const char* work, const char* index,
                int32_t count, uint32_t record_size, const char* name,
                const void* key, extsort_cmp cmp);

// The reference engine: a bottom-up two-way merge between the halves of the
// work file, through mapped windows only.  extsort_run uses it; a faster
// engine must leave every file and line exactly as this one does.
int extsort_run_reference(const char* input, const char* work,
                          const char* index, int32_t count,
                          uint32_t record_size, const char* name,
                          const void* key, extsort_cmp cmp);

// Makes path a readable and writable file of at least size bytes, creating
// or growing it with its blocks reserved.  1, or 0 after an error line of
// the current run.
int extsort_ensure_size(const char* path, uint64_t size);

// The number of merge passes for count elements: the least P with
// 2^P >= count (0 for a count of 0 or 1).
uint32_t extsort_passes(int32_t count);

#endif  // XHISTORY_HISTORY_GUI_EXTSORT_EXTSORT_H_
