// Font files of any bytes through the POSIX font engine: whatever a file's
// tables say, realising a logical font from it and measuring and drawing
// its characters neither reads nor writes out of bounds, nor overflows,
// nor takes time or memory beyond what the cell drawn needs.  Seeds are
// the machine's own .ttf and .fon files (scripts/fuzz copies them in).
//
// Each input is realised twice: at a plain size, and at one of a set of
// sizes and styles chosen by the input's length, the largest of them drawn
// into a surface far smaller than their cell, as the glyph set's cells cut
// them.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "platform/font/plat_font-posix.h"

namespace {

struct style {
  int32_t height;
  int32_t width;
  int32_t weight;
  uint8_t italic;
  uint8_t lines;  // underline and strikeout
  uint8_t quality;
};

const style kPlain = {-13, 0, 400, 0, 0, 0};
const style kStyles[8] = {
    {-13, 0, 700, 1, 0, 0},   {16, 0, 400, 0, 0, 3},      {-48, 0, 400, 0, 0, 4},
    {-20, 37, 400, 1, 0, 5},  {0, 0, 400, 0, 1, 0},       {-300, 0, 700, 0, 0, 3},
    {-4000, 0, 400, 1, 1, 0}, {-13, 500000, 400, 0, 0, 0},
};

// The most of a cell that is drawn: larger cells are cut to it.
const int32_t kSurfaceSide = 96;

char g_dir[64];
char g_path[80];

void remove_input() {
  unlink(g_path);
  rmdir(g_dir);
}

bool write_input(const uint8_t* data, size_t size) {
  if (!g_path[0]) {
    snprintf(g_dir, sizeof g_dir, "%s", "/tmp/font_engine_fuzz.XXXXXX");
    if (!mkdtemp(g_dir)) return false;
    snprintf(g_path, sizeof g_path, "%s/font", g_dir);
    atexit(remove_input);
  }
  FILE* f = fopen(g_path, "wb");
  if (!f) return false;
  const bool ok = fwrite(data, 1, size, f) == size;
  return fclose(f) == 0 && ok;
}

void draw_all(const style* st) {
  FT_Face face = nullptr;
  if (FT_New_Face(font_engine::g_ft, g_path, 0, &face) != 0) return;
  plat_logfont lf;
  memset(&lf, 0, sizeof lf);
  lf.lfHeight = st->height;
  lf.lfWidth = st->width;
  lf.lfWeight = st->weight;
  lf.lfItalic = st->italic;
  lf.lfUnderline = st->lines;
  lf.lfStrikeOut = st->lines;
  lf.lfQuality = st->quality;
  plat_hfont* font = font_engine::realize_face(face, &lf, 1252);
  if (!font) return;
  plat_text_metrics tm;
  if (plat_font_metrics(nullptr, font, &tm)) {
    int32_t h = tm.ascent + tm.descent, w = tm.max_char_width;
    if (h > kSurfaceSide) h = kSurfaceSide;
    if (w > kSurfaceSide) w = kSurfaceSide;
    for (int c = 32; c < 256; ++c) plat_font_char_advance(nullptr, font, (uint8_t)c);
    uint8_t* bits = nullptr;
    plat_surface* s = h > 0 && w > 0 ? plat_surface_create(nullptr, font, w, h, &bits) : nullptr;
    for (int c = 32; s && c < 256; ++c) {
      plat_surface_draw_char(s, 0, 0, 0, 0, w, h, (uint8_t)c);
      // Where a glyph lands partly outside the rectangle too (for some
      // characters only: large glyphs are slow under the sanitizers).
      if (c % 4 == 0) plat_surface_draw_char(s, -w / 2, -h / 3, 0, 0, w, h, (uint8_t)c);
    }
    plat_surface_delete(s);
  }
  plat_font_delete(font);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Glyphs that cannot be loaded are reported; the fuzzer's output need
  // not hold them.
  plat_font_set_notice([](const char*) {});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!font_engine::libraries_ready() || !write_input(data, size)) return 0;
  draw_all(&kPlain);
  draw_all(&kStyles[size % 8]);
  return 0;
}
