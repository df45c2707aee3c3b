// The windowed sort engine: a bottom-up two-way merge between the halves of
// the work file, through mapped windows only, one pass per level.  Its
// lines and files are the measure of every other engine.
#ifndef XHISTORY_HISTORY_GUI_EXTSORT_EXTSORT_WINDOWED_H_
#define XHISTORY_HISTORY_GUI_EXTSORT_EXTSORT_WINDOWED_H_

#include <stdint.h>

#include "history/gui/extsort/extsort.h"

// The contract of extsort_run: 1 on success, 0 after the error line.
int extsort_run_windowed(const char* input, const char* work,
                         const char* index, int32_t count,
                         uint32_t record_size, const char* name,
                         const void* key, extsort_cmp cmp);

#endif  // XHISTORY_HISTORY_GUI_EXTSORT_EXTSORT_WINDOWED_H_
