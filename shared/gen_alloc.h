// The checked allocator.  Every block is zero-filled and owned by the
// caller; exhaustion ends the run with status 3, so callers never test for
// null (except where a zero count asks for nothing).
#ifndef XHISTORY_SHARED_GEN_ALLOC_H_
#define XHISTORY_SHARED_GEN_ALLOC_H_

#include <stddef.h>
#include <stdint.h>

// The entry points through which the library allocates; tests may swap
// them.  Nothing is released once gen_exit has begun, whatever the release
// entry.
struct gen_alloc_entries {
  void* (*calloc_fn)(size_t count, size_t size);
  void* (*realloc_fn)(void* block, size_t size);
  void (*free_fn)(void* block);
};
extern gen_alloc_entries gen_alloc_entry;

// count x size zero-filled bytes; null for a count of 0.  A request whose
// byte count cannot be had by a 32-bit process ends the run.
void* gen_calloc(size_t count, size_t size);
// size <= 0 releases the block and gives null; a null block gives
// gen_calloc(1, size).  Bytes past the old size are not cleared.
void* gen_realloc(void* block, ptrdiff_t size);
void gen_free(void* block);
// A copy through gen_calloc; null for null.
char* gen_strdup(const char* text);

// Writes "progname: fatal: Out of memory (0xXXXXXXXX bytes requested)" with
// the unbuffered write and ends the run with status 3.
[[noreturn]] void gen_out_of_mem(uint64_t requested);
#define OUT_OF_MEM(size) gen_out_of_mem((uint64_t)(size))

#endif  // XHISTORY_SHARED_GEN_ALLOC_H_
