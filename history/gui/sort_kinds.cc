#include "history/gui/sort_kinds.h"

#include "history/gui/callbrowser_shared.h"
#include "history/gui/protocol.h"
#include "shared/genout.h"

namespace {

// Written out byte by byte so that the compiler reads the eight bytes with
// one load on a little-endian machine: the comparisons run once per element
// and level of the sort, and a loop here is most of their cost.
inline uint64_t get_u64(const void* p, uint32_t offset) {
  const uint8_t* b = (const uint8_t*)p + offset;
  return (uint64_t)b[0] | (uint64_t)b[1] << 8 | (uint64_t)b[2] << 16 |
         (uint64_t)b[3] << 24 | (uint64_t)b[4] << 32 | (uint64_t)b[5] << 40 |
         (uint64_t)b[6] << 48 | (uint64_t)b[7] << 56;
}

// -1 puts a first.  The smaller value goes first when ascending.
int directed(uint64_t a, uint64_t b, bool ascending) {
  if (a == b) return 0;
  return (a < b) == ascending ? -1 : 1;
}

}  // namespace

int u64_cmp_desc(uint64_t x, uint64_t y) { return x < y ? 1 : x > y ? -1 : 0; }

// Column k: primary value at 16k, secondary at 16k + 8, both in the
// column's direction.
int callbrowser_cmp(const void* key, const void* a, const void* b) {
  uint32_t column = *(const uint32_t*)key;
  uint32_t at = 16 * (column & 3);
  bool ascending = callbrowser_ascending != 0;
  int r = directed(get_u64(a, at), get_u64(b, at), ascending);
  if (r != 0) return r;
  return directed(get_u64(a, at + 8), get_u64(b, at + 8), ascending);
}

// Not a complete ordering, on purpose: the viewer's state list depends on
// exactly this rule.  A larger first field with a second field that is not
// larger compares as 0, so the later run's element goes first.
int states_cmp(const void*, const void* a, const void* b) {
  if (get_u64(a, 0) < get_u64(b, 0)) return 1;
  if (get_u64(a, 8) > get_u64(b, 8)) return -1;
  return 0;
}

// Key 0: the key 0 value from the largest down.  Key 1: records with a zero
// group byte first, largest value down, then the rest, smallest value up.
// The key is checked here, at the first comparison, so runs that compare
// nothing accept any key.
int guru_key_accepted(uint32_t key) { return key <= 1; }

int guru_cmp(const void* key, const void* a, const void* b) {
  uint32_t idx = *(const uint32_t*)key;
  ASSERT(idx <= 1, "0 <= idx && idx <= 1", XHISTORY_FSUTIL_MODULE,
         168, 0);
  if (idx == 0) return u64_cmp_desc(get_u64(a, 0), get_u64(b, 0));
  bool ga = ((const uint8_t*)a)[16] != 0;
  bool gb = ((const uint8_t*)b)[16] != 0;
  if (ga && gb) return u64_cmp_desc(get_u64(b, 8), get_u64(a, 8));
  if (ga) return 1;
  if (gb) return -1;
  return u64_cmp_desc(get_u64(a, 8), get_u64(b, 8));
}
