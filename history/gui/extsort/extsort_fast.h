// The fast sort engine: the same bottom-up merge tree as the windowed
// engine, evaluated in three sequential sweeps over the work file with
// bounded buffers.  Every output line, every byte of the work and index
// files and every failure state is the windowed engine's.
#ifndef XHISTORY_HISTORY_GUI_EXTSORT_EXTSORT_FAST_H_
#define XHISTORY_HISTORY_GUI_EXTSORT_EXTSORT_FAST_H_

#include <stdint.h>

#include "history/gui/extsort/extsort.h"

// The contract of extsort_run: 1 on success, 0 after the error line.
int extsort_run_fast(const char* input, const char* work, const char* index,
                     int32_t count, uint32_t record_size, const char* name,
                     const void* key, extsort_cmp cmp);

// The memory the engine may hold for buffers, in bytes.  The default is
// XH_SORT_MEMORY_MB mebibytes from the environment (1 to 1024), else
// 256 MiB.  A value that is set but no such number gives one warning line
// on standard error: a larger number is taken as 1024, anything else as
// 256.  extsort_fast_set_memory(bytes) overrides it for later runs in
// this process (0 restores the default); tests use it to force many blocks.
uint64_t extsort_fast_memory();
void extsort_fast_set_memory(uint64_t bytes);

// The threads the engine may run at once: XH_SORT_THREADS from the
// environment (1 to 8), else the processors, at most 2.
// extsort_fast_set_threads(n) overrides it for later runs (0 restores the
// default).  A run whose comparisons may end the program uses one thread.
uint32_t extsort_fast_threads();
void extsort_fast_set_threads(uint32_t n);

#endif  // XHISTORY_HISTORY_GUI_EXTSORT_EXTSORT_FAST_H_
