// Bitmap faces as GDI realises them: the mapper's strike choice and
// whole-number enlargement, metrics from the FNT header, glyphs looked up
// by code-page byte, and the boxes and pixels of synthesised styles.
#include "platform/font/plat_font_bitmap.h"

#include FT_TRUETYPE_TABLES_H
#include FT_WINFONTS_H
#include <math.h>
#include <stdlib.h>
#include <string.h>

#include "platform/font/plat_font_codepage.h"
#include "platform/font/plat_font_gdi.h"

namespace {

// The resolution of the screen, which the raster fonts installed for it
// are made for.
const uint16_t kScreenDpi = 96;

int64_t floor64(int64_t v) { return v & -64; }
int64_t ceil64(int64_t v) { return (v + 63) & -64; }

// 16.16 multiplication rounded half away from zero, as the font engine
// multiplies when it transforms a vector.
int64_t mul_fix(int64_t a, int64_t b) {
  const bool negative = (a < 0) != (b < 0);
  const int64_t m = ((a < 0 ? -a : a) * (b < 0 ? -b : b) + 0x8000) >> 16;
  return negative ? -m : m;
}

// Style order of the mapper's face lists: regular, bold, italic, both.
int style_score(const bitmap_strike* s, bool bold, bool italic) {
  return (s->italic != italic ? 1 : 0) + (s->bold != bold ? 1 : 0);
}

}  // namespace

int64_t bitmap_strike_diff(const bitmap_strike* s, int32_t lf_height) {
  if (lf_height > 0) return (int64_t)lf_height - s->height;
  return -(int64_t)lf_height - ((int64_t)s->height - s->internal_leading);
}

bool bitmap_strike_serves(const bitmap_strike* s, uint8_t lf_char_set) {
  if (s->char_set < 0) return true;
  return s->char_set == (lf_char_set == 1 ? 0 : lf_char_set);
}

int bitmap_pick_strike(const bitmap_strike* strikes, int n, int32_t lf_height,
                       bool bold, bool italic) {
  int best = -1;
  int best_score = 4;
  int64_t best_diff = 0;
  for (int i = 0; i < n; ++i) {
    const int score = style_score(&strikes[i], bold, italic);
    if (score > best_score) continue;
    best_score = score;
    const int64_t diff = bitmap_strike_diff(&strikes[i], lf_height);
    // A strike replaces the one held only when it comes closer from the
    // right side: among those that fit, the tallest; failing that, the
    // least too tall.
    if (best < 0 || (best_diff > 0 && diff >= 0 && diff < best_diff) ||
        (best_diff < 0 && diff > best_diff)) {
      best = i;
      best_diff = diff;
      if (score == 0 && diff == 0) break;
    }
  }
  return best;
}

int32_t bitmap_scale(const bitmap_strike* s, int32_t lf_height) {
  const int32_t sh = s->height;
  if (sh <= 0) return 1;
  int64_t height = sh;
  if (lf_height != 0) height += bitmap_strike_diff(s, lf_height);
  int64_t scale = (height + sh - 1) / sh;
  const int64_t overshoot = scale * sh - height;
  if (scale > 2 && overshoot > sh / 4)
    --scale;
  else if (scale == 2 && overshoot > sh / 4 - 1)
    --scale;
  // A factor below 1 (a height below the strike's leading) keeps the
  // strike size.  Heights far beyond any drawable cell (every cell stays
  // under 32768 pixels) are held to a factor whose metrics fit 32 bits.
  if (scale < 1) scale = 1;
  if (scale > 4096) scale = 4096;
  return (int32_t)scale;
}

bitmap_xscale bitmap_width_scale(const bitmap_numbers* n, int32_t lf_height,
                                 int32_t lf_width, int32_t scale) {
  bitmap_xscale x = {(double)scale, (int64_t)scale << 16, scale};
  int64_t width = lf_height ? lf_width : 0;
  if (width < 0) width = -width;
  const int64_t cell = (int64_t)n->ascent + n->descent;
  // A width beyond reason for the cell is no width at all.
  if (width == 0 || n->avg_width <= 0 || cell <= 0 || (width + cell - 1) / cell > 100)
    return x;
  x.ratio = (double)width / (double)n->avg_width;
  x.xx = (int64_t)(x.ratio * 65536.0);
  x.pixels = 1;
  return x;
}

bitmap_metrics bitmap_scaled_metrics(const bitmap_numbers* n, int32_t scale,
                                     const bitmap_xscale* x, bool fake_bold) {
  bitmap_metrics m;
  m.ascent = n->ascent * scale;
  m.descent = n->descent * scale;
  m.max_char_width = gdi_round_to_int32((n->max_width + (fake_bold ? 1 : 0)) * x->ratio);
  m.default_char = n->default_char;
  return m;
}

int32_t bitmap_advance(int32_t advance, int64_t xx, bool fake_bold) {
  const int64_t adv = mul_fix((int64_t)advance * 64, xx) + (fake_bold ? 64 : 0);
  return (int32_t)(ceil64(adv) >> 6);
}

bitmap_box bitmap_glyph_box(const bitmap_glyph_extent* g, int32_t ascent,
                            int32_t descent, int64_t xx, int32_t scale, bool fake_bold,
                            bool fake_italic) {
  // In 26.6, as the engine's glyph metrics are.
  const int64_t width = ((int64_t)g->width + (fake_bold && g->width ? 1 : 0)) * 64;
  int64_t top = (int64_t)g->bearing_y * 64;
  int64_t bottom = top - (int64_t)g->rows * 64;
  if (top > (int64_t)ascent * 64) top = (int64_t)ascent * 64;
  if (bottom < -(int64_t)descent * 64) bottom = -(int64_t)descent * 64;
  const int64_t left = (int64_t)g->bearing_x * 64;
  int64_t x_min, x_max, y_min, y_max;
  if (xx == 1 << 16 && scale == 1 && !fake_italic) {
    x_min = floor64(left);
    x_max = ceil64(left + width);
    y_max = ceil64(top);
    y_min = floor64(bottom);
  } else {
    const int64_t xy = fake_italic ? (int64_t)scale << 14 : 0;
    const int64_t yy = (int64_t)scale << 16;
    x_min = x_max = y_min = y_max = 0;
    for (int corner = 0; corner < 4; ++corner) {
      const int64_t x = left + (corner & 1 ? width : 0);
      const int64_t y = corner & 2 ? bottom : top;
      const int64_t tx = mul_fix(x, xx) + mul_fix(y, xy);
      const int64_t ty = mul_fix(y, yy);
      if (corner == 0 || tx < x_min) x_min = tx;
      if (corner == 0 || tx > x_max) x_max = tx;
      if (corner == 0 || ty < y_min) y_min = ty;
      if (corner == 0 || ty > y_max) y_max = ty;
    }
    x_min = floor64(x_min);
    x_max = ceil64(x_max);
    y_min = floor64(y_min);
    y_max = ceil64(y_max);
  }
  bitmap_box b;
  b.left = (int32_t)(x_min >> 6);
  b.top = (int32_t)(y_max >> 6);
  b.width = (int32_t)((x_max - x_min) >> 6);
  b.height = (int32_t)((y_max - y_min) >> 6);
  // An empty glyph still has a box of one pixel each way.
  if (b.width < 1) b.width = 1;
  if (b.height < 1) b.height = 1;
  return b;
}

void bitmap_compose(const uint8_t* bits, int32_t pitch, int32_t width, int32_t rows,
                    int32_t x_scale, int32_t y_scale, bool fake_bold,
                    const bitmap_box* box, uint8_t* levels) {
  const bitmap_box whole = {0, 0, box->width, box->height};
  bitmap_compose_part(bits, pitch, width, rows, x_scale, y_scale, fake_bold, box, &whole,
                      levels);
}

void bitmap_compose_part(const uint8_t* bits, int32_t pitch, int32_t width, int32_t rows,
                         int32_t x_scale, int32_t y_scale, bool fake_bold,
                         const bitmap_box* box, const bitmap_box* part, uint8_t* levels) {
  memset(levels, 0, (size_t)part->width * (size_t)part->height);
  if (x_scale < 1) x_scale = 1;
  if (y_scale < 1) y_scale = 1;
  const int32_t x0 = part->left, x1 = part->left + part->width;
  for (int32_t r = part->top; r < part->top + part->height && r < box->height; ++r) {
    const int32_t sr = r / y_scale;
    if (sr >= rows) break;
    const uint8_t* src = bits + (ptrdiff_t)sr * pitch;
    uint8_t* dst = levels + (size_t)(r - part->top) * part->width - x0;
    // A synthesised bold's pixel left of the part reaches into it.
    for (int32_t k = x0 > 0 && fake_bold ? x0 - 1 : x0; k < x1 && k < box->width; ++k) {
      const int32_t sk = k / x_scale;
      if (sk >= width) break;
      if (!((src[sk >> 3] >> (7 - (sk & 7))) & 1)) continue;
      if (k >= x0) dst[k] = 16;
      if (fake_bold && k + 1 < box->width && k + 1 < x1) dst[k + 1] = 16;
    }
  }
}

bool bitmap_face_registered(FT_Face face) {
  if (FT_IS_SCALABLE(face)) return true;
  FT_WinFNT_HeaderRec h;
  if (FT_Get_WinFNT_Header(face, &h) == 0) return h.vertical_resolution == kScreenDpi;
  if (!FT_IS_SFNT(face)) return true;
  const TT_OS2* os2 = (const TT_OS2*)FT_Get_Sfnt_Table(face, FT_SFNT_OS2);
  if (!os2 || memcmp(os2->achVendID, "Wine", 4) != 0) return true;
  FT_ULong len = 0;
  return FT_Load_Sfnt_Table(face, FT_MAKE_TAG('E', 'B', 'S', 'C'), 0, nullptr, &len) != 0;
}

bool bitmap_face_strike(FT_Face face, bitmap_strike* out) {
  memset(out, 0, sizeof *out);
  if (face->num_fixed_sizes < 1) return false;
  out->height = face->available_sizes[0].height;
  FT_WinFNT_HeaderRec h;
  bool fnt = FT_Get_WinFNT_Header(face, &h) == 0;
  if (fnt) {
    out->internal_leading = h.internal_leading;
    // A height that counts the external leading is the pixel height.
    if (h.external_leading > 0 && out->height == h.pixel_height + h.external_leading)
      out->height = h.pixel_height;
  }
  out->char_set = fnt ? h.charset : -1;
  out->bold = (face->style_flags & FT_STYLE_FLAG_BOLD) || (fnt && h.weight > 400);
  out->italic = (face->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
  return true;
}

void bitmap_face_numbers(FT_Face face, bitmap_numbers* out) {
  memset(out, 0, sizeof *out);
  FT_WinFNT_HeaderRec h;
  if (FT_Get_WinFNT_Header(face, &h) == 0) {
    out->ascent = h.ascent;
    out->descent = (int32_t)h.pixel_height - h.ascent;
    out->max_width = h.max_width;
    out->avg_width = h.avg_width;
    out->default_char = (uint8_t)(h.default_char + h.first_char);
    out->char_set = h.charset;
    out->pitch_and_family = h.pitch_and_family;
    return;
  }
  // The engine's metrics of the selected strike, truncated.
  const FT_Size_Metrics* sm = &face->size->metrics;
  out->ascent = (int32_t)(sm->ascender >> 6);
  out->descent = (int32_t)(-sm->descender >> 6);
  out->max_width = (int32_t)(sm->max_advance >> 6);
  out->avg_width = out->max_width * 2 / 3;
  out->default_char = 32;
  out->char_set = 0;
  // The header's pitch bit is set for a variable pitch.
  out->pitch_and_family = FT_IS_FIXED_WIDTH(face) ? 0 : 1;
}

bool bitmap_font_init(bitmap_font* f, FT_Face face, int32_t lf_height, int32_t lf_width,
                      bool bold, bool italic, uint16_t cp) {
  memset(f, 0, sizeof *f);
  f->code_page = cp;
  bitmap_strike s;
  if (!bitmap_face_strike(face, &s)) return false;
  // The face's first strike, at its own pixel size.
  if (FT_Select_Size(face, 0) != 0) return false;
  f->face = face;
  f->scale = bitmap_scale(&s, lf_height);
  f->fake_bold = bold && !s.bold;
  f->fake_italic = italic && !s.italic;
  // Without a Unicode map the engine selects none; the face's first map
  // (an FNT face's only one, by byte) is then taken.
  if (!face->charmap && face->num_charmaps > 0) FT_Set_Charmap(face, face->charmaps[0]);
  f->by_byte = face->charmap && face->charmap->encoding == FT_ENCODING_NONE;
  bitmap_face_numbers(face, &f->numbers);
  f->x = bitmap_width_scale(&f->numbers, lf_height, lf_width, f->scale);
  f->metrics = bitmap_scaled_metrics(&f->numbers, f->scale, &f->x, f->fake_bold);
  return true;
}

namespace {

// An FNT face's glyphs are numbered by code-page byte, which a character
// of the code page round-trips to; glyph 0, for a byte the face lacks, is
// its default character.  Other faces map Unicode.
FT_UInt glyph_for(const bitmap_font* f, uint8_t c) {
  if (f->by_byte) return FT_Get_Char_Index(f->face, c);
  return FT_Get_Char_Index(f->face, font_code_page_char(f->code_page, c));
}

bool load(const bitmap_font* f, uint8_t c) {
  return FT_Load_Glyph(f->face, glyph_for(f, c), FT_LOAD_DEFAULT) == 0;
}

}  // namespace

int32_t bitmap_font_advance(const bitmap_font* f, uint8_t c) {
  if (!load(f, c)) return 0;
  const int64_t adv = (f->face->glyph->metrics.horiAdvance + 63) >> 6;
  return bitmap_advance((int32_t)adv, f->x.xx, f->fake_bold);
}

bool bitmap_font_glyph(const bitmap_font* f, uint8_t c, const bitmap_box* visible,
                       bitmap_box* box, uint8_t** levels) {
  *levels = nullptr;
  if (!load(f, c)) return false;
  const FT_GlyphSlot slot = f->face->glyph;
  const FT_Glyph_Metrics* m = &slot->metrics;
  bitmap_glyph_extent g = {(int32_t)(m->horiBearingX >> 6), (int32_t)(m->horiBearingY >> 6),
                           (int32_t)(m->width >> 6), (int32_t)(m->height >> 6)};
  const bitmap_box whole = bitmap_glyph_box(&g, f->numbers.ascent, f->numbers.descent,
                                            f->x.xx, f->scale, f->fake_bold, f->fake_italic);
  // Only the part that can be seen is composed, however far an enlarged
  // or widened glyph reaches.
  bitmap_box part = {0, 0, whole.width, whole.height};
  if (visible) {
    const int64_t x0 = visible->left > whole.left ? visible->left : whole.left;
    const int64_t x1 = (int64_t)visible->left + visible->width <
                               (int64_t)whole.left + whole.width
                           ? (int64_t)visible->left + visible->width
                           : (int64_t)whole.left + whole.width;
    const int64_t y0 = visible->top < whole.top ? visible->top : whole.top;
    const int64_t y1 = (int64_t)visible->top - visible->height >
                               (int64_t)whole.top - whole.height
                           ? (int64_t)visible->top - visible->height
                           : (int64_t)whole.top - whole.height;
    if (x1 <= x0 || y0 <= y1) {
      *box = whole;
      box->width = box->height = 0;
      return true;
    }
    part.left = (int32_t)(x0 - whole.left);
    part.top = (int32_t)(whole.top - y0);
    part.width = (int32_t)(x1 - x0);
    part.height = (int32_t)(y0 - y1);
  }
  *box = whole;
  box->left = whole.left + part.left;
  box->top = whole.top - part.top;
  box->width = part.width;
  box->height = part.height;
  const FT_Bitmap* bm = &slot->bitmap;
  if (slot->format != FT_GLYPH_FORMAT_BITMAP || bm->pixel_mode != FT_PIXEL_MODE_MONO ||
      !bm->buffer || bm->pitch < 0)
    return true;
  *levels = (uint8_t*)malloc((size_t)part.width * (size_t)part.height);
  if (!*levels) return false;
  bitmap_compose_part(bm->buffer, bm->pitch, (int32_t)bm->width, (int32_t)bm->rows,
                      f->x.pixels, f->scale, f->fake_bold, &whole, &part, *levels);
  return true;
}
