// Glyph sets: rendering, trimming, the byte form, and the receiving side's
// cell fitting, drawing and measuring.
#include "history/gui/gfont/gfont.h"

#include <limits.h>
#include <string.h>

#include "shared/gen_alloc.h"
#include "shared/genout.h"

namespace {

const int kFirstDrawn = 32;
const int kDrawnCount = 224;  // codes 32 to 255
// Bounds of a sane glyph set: far above any screen font, far below what
// would overflow the byte form's arithmetic.
const int32_t kMaxDimension = 1 << 15;

void put32(uint8_t* p, int32_t v) {
  uint32_t u = (uint32_t)v;
  p[0] = (uint8_t)u;
  p[1] = (uint8_t)(u >> 8);
  p[2] = (uint8_t)(u >> 16);
  p[3] = (uint8_t)(u >> 24);
}

int32_t get32(const uint8_t* p) {
  return (int32_t)((uint32_t)p[0] | (uint32_t)p[1] << 8 |
                   (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24);
}

bool skipped_by_trim(int c) { return c == 9 || c == 10 || c == 13; }

// A raw glyph's pixel map as it lies in memory: coverage bytes step bytes
// apart, rows pitch bytes apart, so that a surface's 32-bit pixels are
// read in place.
struct raw_map {
  const uint8_t* pixels;  // null for none
  size_t step;
  size_t pitch;
};

// Pixels compared at once when looking for ink, so that the blank parts of
// a large cell are passed over at the speed of memcmp.
const int32_t kBlankRun = 64;
const uint8_t kBlank[kBlankRun * 4] = {0};

// Whether pixels [from, from + n) of line hold no ink at all; the blank
// parts of a map are all zero, colour bytes and all.
bool blank_run(const uint8_t* line, size_t step, int32_t from, int32_t n) {
  return memcmp(line + (size_t)from * step, kBlank, (size_t)n * step) == 0;
}

// The first inked pixel of line in [first, last], or last + 1.
int32_t first_ink(const uint8_t* line, size_t step, int32_t first, int32_t last) {
  while (last - first + 1 >= kBlankRun && blank_run(line, step, first, kBlankRun))
    first += kBlankRun;
  while (first <= last && !line[(size_t)first * step]) ++first;
  return first;
}

// The last inked pixel of line in [first, last], which holds one.
int32_t last_ink(const uint8_t* line, size_t step, int32_t first, int32_t last) {
  while (last - first + 1 > kBlankRun && blank_run(line, step, last - kBlankRun + 1, kBlankRun))
    last -= kBlankRun;
  while (!line[(size_t)last * step]) --last;
  return last;
}

// Trims one raw glyph of h rows (advance, width and pad_left from r, pixels
// from map) into o, and raises the set's maxima and greyscale flag.
void trim_glyph(gfont* g, const gfont_glyph* r, const raw_map* map, gfont_glyph* o) {
  const int32_t h = g->height;
  o->advance = r->advance;
  int32_t left = INT32_MAX, gap = INT32_MAX;
  int32_t top = INT32_MIN, bottom = INT32_MIN;
  const size_t step = map->step;
  if (map->pixels) {
    // Row by row: the first and the last inked pixel, and whether any
    // pixel between them is grey.
    for (int32_t row = 0; row < h; ++row) {
      const uint8_t* line = map->pixels + (size_t)row * map->pitch;
      int32_t last = r->width - 1;
      const int32_t first = first_ink(line, step, 0, last);
      if (first > last) continue;
      last = last_ink(line, step, first, last);
      if (!g->greyscale) {
        for (int32_t x = first; x <= last; ++x) {
          const uint8_t v = line[(size_t)x * step];
          if (v && v != 255) g->greyscale = 1;
        }
      }
      if (first < left) left = first;
      if (r->width - last - 1 < gap) gap = r->width - last - 1;
      if (g->ascent - row > top) top = g->ascent - row;
      if (row - g->ascent > bottom) bottom = row - g->ascent;
    }
  }
  o->top = top;
  o->bottom = bottom;
  if (left == INT32_MAX) {
    o->width = 0;
    o->pad_left = o->advance;
    o->pad_right = 0;
  } else {
    o->width = r->width - left - gap;
    o->pixels = (uint8_t*)gen_calloc((size_t)o->width * h, 1);
    for (int32_t row = 0; row < h; ++row) {
      const uint8_t* src = map->pixels + (size_t)row * map->pitch + (size_t)left * step;
      uint8_t* dst = o->pixels + (size_t)row * o->width;
      for (int32_t x = 0; x < o->width; ++x) dst[x] = src[(size_t)x * step];
    }
    o->pad_left = left + r->pad_left;
    o->pad_right = o->advance - o->pad_left - o->width;
  }
  if (o->top > g->max_top) g->max_top = o->top;
  if (o->bottom > g->max_bottom) g->max_bottom = o->bottom;
  if (o->advance > g->max_advance) g->max_advance = o->advance;
}

// A new set, all zero but for the cell of raw.
gfont* new_trimmed(const gfont* raw) {
  gfont* g = (gfont*)gen_calloc(1, sizeof(gfont));
  g->ascent = raw->ascent;
  g->descent = raw->descent;
  g->height = raw->ascent + raw->descent;
  memcpy(g->name, raw->name, sizeof g->name - 1);
  return g;
}

// Completes a trimmed set: the codes that had no raw glyph (present false)
// take the default character's, and code 255 becomes the blank.
void finish_trim(gfont* g, const bool* present, int8_t default_char) {
  uint8_t dc = (uint8_t)default_char;
  // Line and tab controls have no glyph of their own; neither has NUL.
  if (dc == 0 || skipped_by_trim(dc)) dc = '?';
  const int32_t h = g->height;
  const gfont_glyph* d = &g->glyphs[dc];
  for (int c = 0; c <= 254; ++c) {
    if (c == dc || present[c]) continue;
    gfont_glyph* o = &g->glyphs[c];
    *o = *d;
    o->pixels = nullptr;
    if (d->pixels) {
      o->pixels = (uint8_t*)gen_calloc((size_t)d->width * h, 1);
      memcpy(o->pixels, d->pixels, (size_t)d->width * h);
    }
  }
  // Code 255 is a blank half a digit wide, whatever the font has there.
  gfont_glyph* blank = &g->glyphs[255];
  gen_free(blank->pixels);
  memset(blank, 0, sizeof *blank);
  blank->advance = g->glyphs[(int)'0'].width / 2;
  blank->pad_left = blank->advance;
}

// Trims raw.  The raw set's pixel maps are read, never kept.
gfont* trim(const gfont* raw, int8_t default_char) {
  gfont* g = new_trimmed(raw);
  bool present[256];
  for (int c = 0; c < 256; ++c) {
    const gfont_glyph* r = &raw->glyphs[c];
    present[c] = r->pixels || r->advance != 0;
    if (c < 1 || c > 254 || skipped_by_trim(c) || !present[c]) continue;
    const raw_map map = {r->pixels, 1, (size_t)r->width};
    trim_glyph(g, r, &map, &g->glyphs[c]);
  }
  finish_trim(g, present, default_char);
  return g;
}

}  // namespace

gfont* gfont_trim(const gfont* raw, int8_t default_char) {
  if (!raw) return nullptr;
  return trim(raw, default_char);
}

gfont* gfont_new_empty() { return (gfont*)gen_calloc(1, sizeof(gfont)); }

void gfont_free(gfont* font) {
  if (!font) return;
  for (gfont_glyph& g : font->glyphs) gen_free(g.pixels);
  gen_free(font);
}

namespace {

// The most pixels that the cells of one glyph set may cover together (the
// 224 drawn cells).  Drawing and reading a cell costs time in proportion
// to its area, and a trimmed set may hold its whole cells; this keeps a
// set under a quarter of a second's work and 256 MiB, and still holds
// every cell that a 224-cell bitmap of the Windows build could (cells of
// some 700 pixels for the widest common faces).
const int64_t kMaxSetPixels = (int64_t)1 << 28;

// The logical font as drawn: a glyph set is laid out along a horizontal
// baseline by whoever receives it, so its characters are drawn upright
// whatever escapement and orientation the description gives.
plat_logfont upright(const plat_logfont* lf) {
  plat_logfont out = *lf;
  out.lfEscapement = 0;
  out.lfOrientation = 0;
  return out;
}

void say_too_large(const plat_logfont* lf, int32_t w, int32_t h) {
  char face[sizeof lf->lfFaceName + 1];
  memcpy(face, lf->lfFaceName, sizeof lf->lfFaceName);
  face[sizeof lf->lfFaceName] = 0;
  gen_warning("font \"%s\" at height %d: a cell of %d x %d pixels is larger than a "
              "glyph set may hold (%lld pixels in all); it is not rendered",
              face, (int)lf->lfHeight, (int)w, (int)h, (long long)kMaxSetPixels);
}

}  // namespace

gfont* gfont_render(const gfont_spec* spec) {
  if (!spec || !spec->has_logfont || !spec->logfont) return nullptr;
  plat_screen* screen = plat_screen_get();
  if (!screen) return nullptr;
  const plat_logfont lf = upright(spec->logfont);
  plat_hfont* font = plat_font_create(&lf);
  plat_text_metrics tm;
  memset(&tm, 0, sizeof tm);
  if (!font || !plat_font_metrics(screen, font, &tm)) {
    plat_font_delete(font);
    plat_screen_release(screen);
    return nullptr;
  }
  const int32_t h = tm.ascent + tm.descent;
  const int32_t w = tm.max_char_width;
  // One cell-sized surface that every character is drawn into in turn,
  // so that memory is bounded by one cell, not by the 224 of the set.
  plat_surface* surface = nullptr;
  uint8_t* bits = nullptr;
  const bool sane = tm.ascent >= 0 && tm.descent >= 0 && h > 0 && w > 0;
  if (sane && (w > kMaxDimension || h > kMaxDimension ||
               (int64_t)w * h * kDrawnCount > kMaxSetPixels)) {
    say_too_large(&lf, w, h);
  } else if (sane) {
    surface = plat_surface_create(screen, font, w, h, &bits);
    if (!surface) gen_warning("no drawing surface of %d x %d pixels for a glyph set", (int)w, (int)h);
  }
  if (!surface) {
    plat_font_delete(font);
    plat_screen_release(screen);
    return nullptr;
  }
  gfont shape;  // only the cell: the trimmed set copies it
  memset(&shape, 0, sizeof shape);
  shape.ascent = tm.ascent;
  shape.descent = tm.descent;
  gfont* g = new_trimmed(&shape);
  gfont_glyph raw[256];
  memset(raw, 0, sizeof raw);
  bool present[256] = {false};
  // Every advance first, then the drawing, as the glyph set's own order.
  for (int c = kFirstDrawn; c <= 255; ++c) {
    raw[c].advance = plat_font_char_advance(screen, font, (uint8_t)c);
    raw[c].width = w;
  }
  for (int c = kFirstDrawn; c <= 255; ++c) {
    present[c] = true;
    if (c == 255) continue;  // the blank, never drawn from the font
    plat_surface_draw_char(surface, 0, 0, 0, 0, w, h, (uint8_t)c);
    plat_surface_flush(surface);
    // White on black: any one colour byte is the coverage.
    const raw_map map = {bits, 4, (size_t)w * 4};
    trim_glyph(g, &raw[c], &map, &g->glyphs[c]);
  }
  plat_surface_delete(surface);
  plat_font_delete(font);
  plat_screen_release(screen);
  finish_trim(g, present, (int8_t)tm.default_char);
  g->rendered = 1;
  return g;
}

uint8_t* gfont_serialize(const gfont* font, size_t* length_out) {
  const int32_t h = font->ascent + font->descent;
  size_t len = GFONT_FIXED_BYTES;
  for (const gfont_glyph& g : font->glyphs) len += (size_t)g.width * h;
  uint8_t* out = (uint8_t*)gen_calloc(len, 1);
  uint8_t* p = out;
  memcpy(p, font->name, sizeof font->name);
  p += sizeof font->name;
  put32(p, font->ascent);
  put32(p + 4, font->descent);
  p += 8;
  for (const gfont_glyph& g : font->glyphs) {
    put32(p, g.pad_left);
    put32(p + 4, g.pad_right);
    put32(p + 8, g.width);
    put32(p + 12, g.advance);
    p += 16;
    size_t n = (size_t)g.width * h;
    if (n && g.pixels) memcpy(p, g.pixels, n);
    p += n;
  }
  *length_out = len;
  return out;
}

gfont* gfont_deserialize(const uint8_t* bytes, size_t length) {
  if (!bytes || length < GFONT_FIXED_BYTES) return nullptr;
  int32_t ascent = get32(bytes + 128), descent = get32(bytes + 132);
  if (ascent < 0 || descent < 0 || ascent > kMaxDimension ||
      descent > kMaxDimension)
    return nullptr;
  const int32_t h = ascent + descent;
  gfont* raw = (gfont*)gen_calloc(1, sizeof(gfont));
  memcpy(raw->name, bytes, sizeof raw->name - 1);
  raw->ascent = ascent;
  raw->descent = descent;
  raw->height = h;
  size_t pos = 136;
  bool ok = true;
  for (int c = 0; c < 256 && ok; ++c) {
    gfont_glyph* g = &raw->glyphs[c];
    if (length - pos < 16) {
      ok = false;
      break;
    }
    g->pad_left = get32(bytes + pos);
    g->pad_right = get32(bytes + pos + 4);
    g->width = get32(bytes + pos + 8);
    g->advance = get32(bytes + pos + 12);
    pos += 16;
    if (g->width < 0 || g->width > kMaxDimension || g->pad_left < 0 ||
        g->pad_left > kMaxDimension || g->advance < 0 ||
        g->advance > kMaxDimension || g->pad_right < -kMaxDimension ||
        g->pad_right > kMaxDimension) {
      ok = false;
      break;
    }
    size_t n = (size_t)g->width * h;
    if (length - pos < n) {
      ok = false;
      break;
    }
    // Every read glyph has its place in the input, even an empty one, so
    // that trimming fills none of them from the default character.
    g->pixels = (uint8_t*)(bytes + pos);
    pos += n;
  }
  gfont* g = ok ? trim(raw, '?') : nullptr;
  gen_free(raw);  // its pixel maps belong to the input
  return g;
}

void gfont_fit_cell(gfont* font) {
  int32_t t = -10, b = -10;
  for (int c = 1; c <= 126; ++c) {
    if (font->glyphs[c].top > t) t = font->glyphs[c].top;
    if (font->glyphs[c].bottom > b) b = font->glyphs[c].bottom;
  }
  bool mono = true;
  int32_t pl = 0, pr = 0;
  for (int c = 1; c <= 126 && mono; ++c) {
    const gfont_glyph* g = &font->glyphs[c];
    if (g->width <= 0) continue;
    mono = g->advance == font->max_advance;
    if (g->width == g->advance - 1) {
      if (g->pad_left > pl) pl = g->pad_left;
      if (g->pad_right > pr) pr = g->pad_right;
    }
  }
  if (t + 1 == font->ascent && b + 1 == font->descent && (!mono || pr == 1))
    return;
  const int32_t nh = t + b + 2;
  // Without ink in the lower half of the code page there is no cell to fit.
  if (nh <= 0) return;
  const int32_t oh = font->height;
  for (int c = 0; c < 256; ++c) {
    gfont_glyph* g = &font->glyphs[c];
    if (!g->pixels) continue;
    uint8_t* map = (uint8_t*)gen_calloc((size_t)g->width * nh, 1);
    int32_t gt = g->top < t ? g->top : t;
    int32_t gb = g->bottom < b ? g->bottom : b;
    int64_t rows = (int64_t)gt + gb + 1;
    if (rows > nh) rows = nh;
    int64_t from = (int64_t)font->ascent - gt;
    int64_t to = (int64_t)t + 1 - gt;
    if (from < 0) from = 0;
    if (to < 0) to = 0;
    for (int64_t r = 0; r < rows; ++r) {
      if (from + r >= oh || to + r >= nh) break;
      memcpy(map + (size_t)(to + r) * g->width,
             g->pixels + (size_t)(from + r) * g->width, (size_t)g->width);
    }
    gen_free(g->pixels);
    g->pixels = map;
    if (pl == 1 && pr == 0 && g->pad_left > 0) {
      --g->pad_left;
      ++g->pad_right;
    }
    ASSERT(g->pad_left >= 0, "g->pad_left >= 0", GFONT_MODULE, 1143, 0);
  }
  font->ascent = t + 1;
  font->descent = b + 1;
  font->height = nh;
}

namespace {

// The next tab stop after x; a font whose space has no width has no stops,
// and a tab then leaves the pen where it is.
int64_t next_tab(const gfont* font, int64_t x) {
  int64_t tab = 4 * (int64_t)font->glyphs[32].advance;
  if (tab <= 0) return x;
  int64_t m = x % tab;
  if (m < 0) m += tab;
  return x + (tab - m);
}

}  // namespace

void gfont_draw_text(const gfont* font, const char* text, const uint8_t colour[4],
                     uint8_t* buffer, int32_t width, int32_t height) {
  if (!font || !text || !*text || !colour || !buffer || width < 1 || height < 1)
    return;
  int64_t x = 0, y = 0;
  bool line_full = false;
  for (const unsigned char* p = (const unsigned char*)text; *p; ++p) {
    unsigned c = *p;
    if (c == 13) continue;
    if (c == 10) {
      y += font->height;
      x = 0;
      line_full = false;
      if (y >= height) return;
      continue;
    }
    if (c == 9) {
      x = next_tab(font, x);
      continue;
    }
    if (line_full || x >= width) {
      line_full = true;
      continue;
    }
    const gfont_glyph* g = &font->glyphs[c];
    x += g->pad_left;
    if (g->pixels) {
      for (int32_t r = 0; r < font->height; ++r) {
        int64_t by = y + r;
        if (by < 0 || by >= height) continue;
        for (int32_t col = 0; col < g->width; ++col) {
          unsigned v = g->pixels[(size_t)r * g->width + col];
          int64_t bx = x + col;
          if (!v || bx < 0 || bx >= width) continue;
          uint8_t* d = buffer + ((size_t)by * width + (size_t)bx) * 4;
          for (int k = 0; k < 4; ++k) d[k] = (uint8_t)((v * colour[k] + 255) / 256);
        }
      }
    }
    x += g->width + g->pad_right;
  }
}

void gfont_measure_text(const gfont* font, const char* text,
                        gfont_text_metrics* out) {
  if (!font || !text || !out) return;
  gfont_text_metrics m = {0, 0, 0, 0, INT32_MAX, INT32_MIN, 0, font->ascent,
                          font->descent};
  int64_t x = 0, y = 0;
  bool ink = false;
  int64_t left = 0, right = 0;
  int32_t top = INT32_MIN, bottom = INT32_MIN;
  const unsigned char* p = (const unsigned char*)text;
  for (;; ++p) {
    unsigned c = *p;
    if (c == 13) continue;
    if (c == 10 || c == 0) {
      if (x > m.width) m.width = (int32_t)x;
      if (ink) {
        if (left < m.ink_left) m.ink_left = (int32_t)left;
        if (right > m.ink_right) m.ink_right = (int32_t)right;
        int64_t it = font->ascent + y - top, ib = font->ascent + y + bottom;
        if (it < m.ink_top) m.ink_top = (int32_t)it;
        if (ib > m.ink_bottom) m.ink_bottom = (int32_t)ib;
      }
      ++m.lines;
      if (c == 0) break;
      y += font->height;
      x = 0;
      ink = false;
      top = bottom = INT32_MIN;
      continue;
    }
    if (c == 9) {
      x = next_tab(font, x);
      continue;
    }
    const gfont_glyph* g = &font->glyphs[c];
    x += g->pad_left;
    if (g->width != 0) {
      if (!ink || x < left) left = x;
      if (!ink || x + g->width - 1 > right) right = x + g->width - 1;
      if (g->top > top) top = g->top;
      if (g->bottom > bottom) bottom = g->bottom;
      ink = true;
    }
    x += g->width + g->pad_right;
  }
  m.height = m.lines * font->height;
  *out = m;
}
