#include "shared/gen_alloc.h"

#include <stdlib.h>
#include <string.h>

#include "platform/plat.h"
#include "shared/gen_exit.h"
#include "shared/gen_progname.h"
#include "shared/genout.h"

gen_alloc_entries gen_alloc_entry = {calloc, realloc, free};

// The largest count or size a 32-bit process can express.
static const uint64_t kMax32 = 0xFFFFFFFFu;
// The largest block a 32-bit process can hope to get: its user address
// space is 2 GiB.
static const uint64_t kMaxBlock = 0x7FFFFFFFu;

void* gen_calloc(size_t count, size_t size) {
  if (count == 0) return nullptr;
  // The refusal rule is that of a 32-bit process, computed in 32 bits even
  // on a 64-bit build so that both builds refuse the same requests.
  uint32_t c32 = (uint32_t)count, s32 = (uint32_t)size;
  if ((uint32_t)(c32 + s32) > 0x1FFFFu || count > kMax32 || size > kMax32) {
    uint32_t halves = (c32 / 2) * (s32 / 2);
    bool refuse;
    if (count > kMax32 || size > kMax32) {
      refuse = true;
    } else if (halves >= 0x3FFFFFFFu) {
      refuse = (s32 != 0 && 0xFFFFFFFFu / s32 <= c32) ||
               (0xFFFFFFFFu / c32 <= s32);
    } else {
      refuse = false;
    }
    if (refuse)
      gen_fatal(3, "Attempt to allocate %#zx * %#zx bytes\n", count, size);
  }
  uint64_t bytes = (uint64_t)count * (uint64_t)size;
  // What a 32-bit process could never get fails here as it would there, so
  // that both builds end the same way.
  void* p = bytes > kMaxBlock ? nullptr : gen_alloc_entry.calloc_fn(count, size);
  if (!p && bytes != 0) OUT_OF_MEM((uint32_t)(c32 * s32));
  return p;
}

void* gen_realloc(void* block, ptrdiff_t size) {
  if (size <= 0) {
    gen_free(block);
    return nullptr;
  }
  if (!block) return gen_calloc(1, (size_t)size);
  void* p = (uint64_t)size > kMaxBlock
                ? nullptr
                : gen_alloc_entry.realloc_fn(block, (size_t)size);
  if (!p) OUT_OF_MEM(size);
  return p;
}

void gen_free(void* block) {
  // Once the program has begun to exit, exit handlers may still hold
  // pointers into blocks: from then on nothing is released.
  if (block && !gen_exiting) gen_alloc_entry.free_fn(block);
}

char* gen_strdup(const char* text) {
  if (!text) return nullptr;
  size_t n = strlen(text);
  char* p = (char*)gen_calloc(n + 1, 1);
  memcpy(p, text, n);
  return p;
}

static void put_text(const char* s) { plat_write_all(2, s, strlen(s)); }

void gen_out_of_mem(uint64_t requested) {
  // No stream and no allocation: the heap may be what failed.
  const char* prog = gen_progname();
  if (prog) {
    put_text(prog);
    put_text(": ");
  }
  put_text("fatal: Out of memory (0x");
  char hex[8];
  uint32_t v = (uint32_t)requested;
  for (int i = 7; i >= 0; --i) {
    hex[i] = "0123456789ABCDEF"[v & 0xF];
    v >>= 4;
  }
  plat_write_all(2, hex, 8);
  put_text(" bytes requested)\n");
  gen_exit(3);
}
