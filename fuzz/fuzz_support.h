// Support for fuzz targets that drive code which may end the run on
// purpose (an assertion on malformed input): the ending jumps back to the
// target instead, and every block allocated since the start is released,
// so that only real leaks are reported.
#ifndef XHISTORY_FUZZ_FUZZ_SUPPORT_H_
#define XHISTORY_FUZZ_FUZZ_SUPPORT_H_

#include <setjmp.h>
#include <stdlib.h>
#include <string.h>

#include "shared/gen_alloc.h"
#include "shared/gen_exit.h"

namespace fuzz {

struct block_header {
  block_header* prev;
  block_header* next;
  size_t size;
  size_t pad;  // keeps the payload 16-byte aligned
};

inline block_header& live() {
  static block_header head = {&head, &head, 0, 0};
  return head;
}

inline void link(block_header* h) {
  h->next = live().next;
  h->prev = &live();
  live().next->prev = h;
  live().next = h;
}

inline void unlink(block_header* h) {
  h->prev->next = h->next;
  h->next->prev = h->prev;
}

inline void* tracked_calloc(size_t count, size_t size) {
  size_t bytes = count * size;
  block_header* h = (block_header*)calloc(1, sizeof(block_header) + bytes);
  if (!h) return nullptr;
  h->size = bytes;
  link(h);
  return h + 1;
}

inline void tracked_free(void* p) {
  if (!p) return;
  block_header* h = (block_header*)p - 1;
  unlink(h);
  free(h);
}

inline void* tracked_realloc(void* p, size_t size) {
  if (!p) return tracked_calloc(1, size);
  block_header* h = (block_header*)p - 1;
  unlink(h);
  block_header* n = (block_header*)realloc(h, sizeof(block_header) + size);
  if (!n) {
    link(h);
    return nullptr;
  }
  n->size = size;
  link(n);
  return n + 1;
}

inline void release_all() {
  while (live().next != &live()) tracked_free(live().next + 1);
}

inline jmp_buf& landing() {
  static jmp_buf buf;
  return buf;
}

[[noreturn]] inline void jump_back(int code) { longjmp(landing(), code + 1); }

inline void install() {
  gen_alloc_entry.calloc_fn = tracked_calloc;
  gen_alloc_entry.realloc_fn = tracked_realloc;
  gen_alloc_entry.free_fn = tracked_free;
  gen_exit_entry = jump_back;
}

}  // namespace fuzz

// Runs body; gives -1 when it returned, or the exit code it ended with.
#define FUZZ_GUARDED(result, body)              \
  do {                                          \
    fuzz::install();                            \
    int jumped_ = setjmp(fuzz::landing());      \
    if (jumped_ == 0) {                         \
      body;                                     \
      result = -1;                              \
    } else {                                    \
      result = jumped_ - 1;                     \
    }                                           \
    fuzz::release_all();                        \
  } while (0)

#endif  // XHISTORY_FUZZ_FUZZ_SUPPORT_H_
