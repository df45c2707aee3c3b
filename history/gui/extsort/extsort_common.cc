#include "history/gui/extsort/extsort_common.h"

#include <math.h>
#include <stdarg.h>
#include <stdio.h>

#include "history/gui/extsort/extsort.h"

#include "platform/plat.h"
#include "platform/plat_io.h"
#include "shared/gen_alloc.h"
#include "shared/gen_file.h"

namespace {

const char* g_name = "";
int g_cmp_returns = 0;

const int kAccessReadWrite = 6;
const uint32_t kCreateMode = 0660;

}  // namespace

void extsort_begin(const char* name) { g_name = name; }

void extsort_set_cmp_returns(int returns) { g_cmp_returns = returns != 0; }
int extsort_cmp_returns() { return g_cmp_returns; }

int extsort_error(const char* format, ...) {
  va_list ap, again;
  va_start(ap, format);
  va_copy(again, ap);
  int len = vsnprintf(nullptr, 0, format, ap);
  va_end(ap);
  if (len < 0) len = 0;
  char* msg = (char*)gen_calloc((size_t)len + 1, 1);
  vsnprintf(msg, (size_t)len + 1, format, again);
  va_end(again);
  printf("%s_sort_error %s\n", g_name, msg);
  fflush(stdout);
  gen_free(msg);
  return 0;
}

void extsort_progress(double value) {
  printf("%s_sort_progress %f\n", g_name, (double)(float)value);
  fflush(stdout);
}

void extsort_pass_done(uint32_t pass, uint32_t passes) {
  extsort_progress((double)pass * 95.0 / (double)passes);
}

void extsort_done() {
  printf("%s_sort_done\n", g_name);
  fflush(stdout);
}

uint32_t extsort_passes(uint64_t count) {
  uint32_t p = 0;
  while (((uint64_t)1 << p) < count) ++p;
  return p;
}

uint32_t extsort_progress_divisor(uint64_t count) {
  if (count < 2) return 0;
  return (uint32_t)ceil(log((double)count) / log(2.0));
}

int extsort_ensure_size(const char* path, uint64_t size) {
  if (gen_access(path, kAccessReadWrite) == 0 &&
      (uint64_t)gen_filesize(path) >= size)
    return 1;
  int f = plat_open(path, PLAT_OPEN_WRITE | PLAT_OPEN_CREATE, kCreateMode);
  if (f < 0) return extsort_error("Unable to write to %s\n", path);
  // A file that is larger than its size check saw is not shortened; it
  // fails as a file that cannot be given its size.  A new file of 0 bytes
  // needs nothing more: an input without a whole record sorts nothing.
  uint64_t now = 0;
  if (plat_io_size(f, &now) != 0 || now > size ||
      (now < size && plat_io_grow(f, size) != 0)) {
    plat_close(f);
    return extsort_error("Unable to extend %s to %llu bytes\n", path,
                         (unsigned long long)size);
  }
  plat_close(f);
  return 1;
}
