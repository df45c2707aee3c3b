// The external record sort: the contract that both engines keep, and the
// choice between them.
#ifndef XHISTORY_HISTORY_GUI_EXTSORT_EXTSORT_H_
#define XHISTORY_HISTORY_GUI_EXTSORT_EXTSORT_H_

#include <stdint.h>

// (key context, record a, record b): negative puts a first; zero or
// positive puts b first.
typedef int (*extsort_cmp)(const void* key, const void* a, const void* b);

// The signature of an engine, for tests and tools that run one by name.
typedef int (*extsort_engine)(const char* input, const char* work,
                              const char* index, int32_t count,
                              uint32_t record_size, const char* name,
                              const void* key, extsort_cmp cmp);

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
//
// The fast engine runs, unless XH_SORT_ENGINE is "reference", which
// selects the windowed engine it is measured against.
int extsort_run(const char* input, const char* work, const char* index,
                int32_t count, uint32_t record_size, const char* name,
                const void* key, extsort_cmp cmp);

// Whether every comparison of later runs in this process returns (1), or
// one may end the program instead (0, the default), as guru_cmp does with
// a key that it refuses.  While one may, the fast engine writes the work
// file step by step, the load first, so that it holds what the windowed
// engine leaves when a comparison ends the program; once none may, it
// writes only what the result keeps.  The windowed engine is the same
// either way, and so are the files and lines of a run that completes.
void extsort_set_cmp_returns(int returns);
int extsort_cmp_returns();

// The engine that extsort_run would use in this environment.
extsort_engine extsort_selected_engine();

#endif  // XHISTORY_HISTORY_GUI_EXTSORT_EXTSORT_H_
