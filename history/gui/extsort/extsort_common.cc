#include "history/gui/extsort/extsort_common.h"

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
  if (count > ((uint64_t)1 << 63)) return 64;
  uint32_t p = 0;
  while (((uint64_t)1 << p) < count) ++p;
  return p;
}

// The quotient ln(count) / ln(2) in doubles, rounded up, without the maths
// library: loading it would cost every start of the program, and only a
// sort needs a logarithm.  Rounding can carry the quotient across a whole
// number only when count lies within a hair of a power of two 2^j; for every
// other count the answer is the binary logarithm rounded up, exactly.  Near
// 2^j, ln(count) = j ln 2 + ln(1 + t) with |t| < 2^-38, which is formed here
// to far more than double precision and rounded once, so that it is the
// double an accurate logarithm returns.
uint32_t extsort_progress_divisor(uint64_t count) {
  if (count < 2) return 0;
  const uint32_t k = 63 - (uint32_t)__builtin_clzll(count);  // 2^k <= count
  // count = 2^k + above = 2^(k+1) - below; 2^64 wraps to 0, as it should.
  const uint64_t above = count - ((uint64_t)1 << k);
  const uint64_t below = (k == 63 ? 0 : (uint64_t)1 << (k + 1)) - count;
  const uint32_t j = above <= below ? k : k + 1;
  const uint64_t off = above <= below ? above : below;
  const bool near = off == 0 || (j >= 38 && off < ((uint64_t)1 << (j - 38)));
  if (!near) return k + 1;

  // ln 2 split so that j times its high part is exact.
  const double ln2_hi = 6.93147180369123816490e-01;  // 0x3fe62e42fee00000
  const double ln2_lo = 1.90821492927058770002e-10;  // 0x3dea39ef35793c76
  const double ln2 = 0.69314718055994530942;         // the double of ln 2
  double scale = 1.0;  // 2^-j, exactly
  for (uint32_t i = 0; i < j; ++i) scale *= 0.5;
  const double t = (above <= below ? (double)off : -(double)off) * scale;
  const double ln_count = (double)j * ln2_hi + ((double)j * ln2_lo + (t - t * t * 0.5));
  const double quotient = ln_count / ln2;
  uint32_t p = (uint32_t)quotient;
  if ((double)p < quotient) ++p;
  return p;
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
