// Times the work of --fonts with its defaults, stage by stage: the choice
// and rendering of each default font, and the byte form with its Base64.
// The first round includes the font system's start-up; the rest show the
// steady cost.
#include <stdio.h>
#include <stdlib.h>

#include <chrono>
#include <initializer_list>

#include "history/gui/gfont/gfont.h"
#include "history/gui/util/strutil/strutil.h"
#include "shared/gen_alloc.h"

namespace {

double now_ms() {
  return std::chrono::duration<double, std::milli>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

gfont* choose(const char* alias, const char* generic, int32_t size) {
  gfont* g = gfont_choose(alias, size);
  return g ? g : gfont_choose(generic, size);
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = argc > 1 ? atoi(argv[1]) : 20;
  if (rounds < 1) rounds = 1;
  double first = 0, mono_ms = 0, sans_ms = 0, encode_ms = 0;
  size_t line = 0;
  for (int r = 0; r < rounds; ++r) {
    double t0 = now_ms();
    gfont* mono = choose("[MONOSPACE]", "monospace", 13);
    double t1 = now_ms();
    gfont* sans = choose("[SANS]", "sans-serif", 14);
    double t2 = now_ms();
    line = 0;
    for (gfont* g : {mono, sans}) {
      if (!g) continue;
      size_t len = 0;
      uint8_t* bytes = gfont_serialize(g, &len);
      char* b64 = base64_encode(bytes, len);
      line += len * 4 / 3;
      gen_free(b64);
      gen_free(bytes);
    }
    double t3 = now_ms();
    gfont_free(mono);
    gfont_free(sans);
    if (r == 0) {
      first = t3 - t0;
      continue;
    }
    mono_ms += t1 - t0;
    sans_ms += t2 - t1;
    encode_ms += t3 - t2;
  }
  int n = rounds > 1 ? rounds - 1 : 1;
  printf("first round (with font system start-up): %.2f ms\n", first);
  printf("steady, mean of %d rounds: monospaced %.2f ms, sans-serif %.2f ms, "
         "byte form + Base64 %.2f ms (about %zu characters)\n",
         n, mono_ms / n, sans_ms / n, encode_ms / n, line);
  return 0;
}
