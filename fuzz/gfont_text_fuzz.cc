// Font descriptions and face lists of any text: parsing never overruns its
// tables, and a description either renders or is refused.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "fuzz/fuzz_support.h"
#include "history/gui/gfont/gfont.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text((const char*)data, size);
  const char* s = text.c_str();
  int ended = 0;
  FUZZ_GUARDED(ended, {
    static char names[GFONT_MAX_NAMES][GFONT_NAME_CHARS + 1];
    memset(names, 0x5A, sizeof names);
    int n = gfont_parse_face_list(s, names);
    if (n < 0 || n > GFONT_MAX_NAMES) abort();
    for (int k = 0; k < n; ++k)
      if (memchr(names[k], 0, GFONT_NAME_CHARS + 1) == nullptr) abort();

    plat_logfont lf;
    bool parsed = gfont_parse_logfont(s, &lf);
    // Rendering is what the real command does with a description; it is
    // slow, so only short texts that parsed go that far.
    if (parsed && size < 200) {
      gfont* g = gfont_from_text(s);
      gfont_free(g);
    }
  });
  if (ended != -1) abort();
  return 0;
}
