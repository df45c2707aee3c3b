// The glyph-set byte form read from any bytes: a set that is accepted
// trims and serializes again without reading or writing out of bounds.
#include <stdint.h>
#include <stdlib.h>

#include "fuzz/fuzz_support.h"
#include "history/gui/gfont/gfont.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int ended = 0;
  FUZZ_GUARDED(ended, {
    gfont* g = gfont_deserialize(data, size);
    if (g) {
      size_t len = 0;
      uint8_t* again = gfont_serialize(g, &len);
      if (len < GFONT_FIXED_BYTES) abort();
      gfont* back = gfont_deserialize(again, len);
      if (!back) abort();
      gen_free(again);
      gfont* trimmed = gfont_trim(back, ' ');
      gfont_fit_cell(trimmed);
      gfont_free(trimmed);
      gfont_free(back);
      gfont_free(g);
    }
  });
  if (ended != -1) abort();
  return 0;
}
