// Orderings of the three record kinds.
#ifndef XHISTORY_HISTORY_GUI_SORT_KINDS_H_
#define XHISTORY_HISTORY_GUI_SORT_KINDS_H_

#include <stdint.h>

// (key context, record a, record b): negative puts a first; zero or
// positive puts b first.
int callbrowser_cmp(const void* key, const void* a, const void* b);
int states_cmp(const void* key, const void* a, const void* b);
int guru_cmp(const void* key, const void* a, const void* b);
// +1 when x < y, -1 when x > y, 0 when equal: the larger value first.
int u64_cmp_desc(uint64_t x, uint64_t y);

// Whether guru_cmp returns for this key number rather than ending the
// program: the check that guru_cmp makes at every comparison, made once.
int guru_key_accepted(uint32_t key);

#endif  // XHISTORY_HISTORY_GUI_SORT_KINDS_H_
