// The configuration reader on any file bytes: it reports lines or ends at
// one of its assertions, and never reads out of bounds or leaks.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include "fuzz/fuzz_support.h"
#include "history/gui/config.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static FILE* sink = freopen("/dev/null", "w", stdout);
  (void)sink;
  FILE* f = fmemopen(const_cast<uint8_t*>(size ? data : (const uint8_t*)""),
                     size ? size : 1, "rb");
  if (!f) return 0;
  if (!size) fgetc(f);  // an empty file: nothing left to read
  int ended = 0;
  FUZZ_GUARDED(ended, {
    if (read_config(f) != 0) abort();
  });
  // Only an assertion may end the run early, and always with status 1.
  if (ended != -1 && ended != 1) abort();
  fclose(f);
  return 0;
}
