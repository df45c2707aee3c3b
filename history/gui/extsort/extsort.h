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
int extsort_run(const char* input, const char* work, const char* index,
                int32_t count, uint32_t record_size, const char* name,
                const void* key, extsort_cmp cmp);

#endif  // XHISTORY_HISTORY_GUI_EXTSORT_EXTSORT_H_
