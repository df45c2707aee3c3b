// GDI's rules for outline fonts (see plat_font_gdi.h).  The fixed-point
// products are FreeType's own, so that every rounding is the one GDI's
// FreeType-based implementations make.
#include "platform/font/plat_font_gdi.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <math.h>

namespace {

// The largest pixel size GDI accepts before it falls back to 1.
const int64_t kMaxPpem = (1 << 16) - 1;

uint16_t be16(const uint8_t* p) { return (uint16_t)(p[0] << 8 | p[1]); }

// Brightness that each of the 17 glyph levels reaches on black when drawn
// with a full-intensity text colour: GDI's gamma curve for smoothed text.
const uint8_t kLevelRamp[17] = {0,    0x4d, 0x68, 0x7c, 0x8c, 0x9a,
                                0xa7, 0xb2, 0xbd, 0xc7, 0xd0, 0xd9,
                                0xe1, 0xe9, 0xf0, 0xf8, 0xff};

}  // namespace

void gdi_design_extent(const gdi_face_numbers* n, int64_t* ascent,
                       int64_t* descent) {
  // A descent stored as a negative short means its magnitude.
  int64_t wd = (int16_t)n->win_descent;
  if (wd < 0) wd = -wd;
  if (n->win_ascent + wd == 0) {
    *ascent = n->hhea_ascender;
    *descent = -n->hhea_descender;
  } else {
    *ascent = n->win_ascent;
    *descent = wd;
  }
}

int64_t gdi_ppem_for_height(const gdi_face_numbers* n, int64_t height) {
  if (height == 0) height = 16;
  if (height < 0) return height >= -kMaxPpem ? -height : 1;
  int64_t ascent, descent;
  gdi_design_extent(n, &ascent, &descent);
  int64_t units = ascent + descent;
  if (units == 0) return 1;
  int64_t ppem = FT_MulDiv(n->units_per_em, height, units);
  // Rounding may give a cell above the height asked for: one size down.
  if (ppem > 1 && FT_MulDiv(units, ppem, n->units_per_em) > height) --ppem;
  if (ppem > kMaxPpem) ppem = 1;
  return ppem;
}

int64_t gdi_ppem_from_vdmx(const uint8_t* t, size_t size, int64_t height,
                           int32_t* y_max, int32_t* y_min) {
  *y_max = 0;
  *y_min = 0;
  if (!t || size < 6) return 0;
  const size_t num_ratios = be16(t + 4);
  size_t group = 0;
  bool found = false;
  // The device is square: a ratio record applies when it covers 1:1 or
  // says it covers every ratio.  Records for character set 0 are passed
  // over, as GDI does.
  for (size_t i = 0; i < num_ratios && !found; ++i) {
    size_t at = 6 + 4 * i;
    if (at + 4 > size) return 0;
    uint8_t charset = t[at], x = t[at + 1], y0 = t[at + 2], y1 = t[at + 3];
    if (!charset) continue;
    if ((x == 0 && y0 == 0 && y1 == 0) || (x == 1 && y0 <= 1 && y1 >= 1)) {
      size_t off_at = 6 + 4 * num_ratios + 2 * i;
      if (off_at + 2 > size) return 0;
      group = be16(t + off_at);
      found = true;
    }
  }
  if (!found || group + 4 > size) return 0;
  const size_t recs = be16(t + group);
  const int start = t[group + 2], end = t[group + 3];
  if (group + 4 + 6 * recs > size) return 0;
  const uint8_t* rec = t + group + 4;
  if (height > 0) {
    for (size_t i = 0; i < recs; ++i) {
      int64_t ppem = be16(rec + 6 * i);
      int16_t hi = (int16_t)be16(rec + 6 * i + 2), lo = (int16_t)be16(rec + 6 * i + 4);
      if (hi - lo == height) {
        *y_max = hi;
        *y_min = lo;
        return hi ? ppem : 0;
      }
      if (hi - lo > height) {
        // The largest record that still fits.
        if (i == 0) return 0;
        *y_max = (int16_t)be16(rec + 6 * (i - 1) + 2);
        *y_min = (int16_t)be16(rec + 6 * (i - 1) + 4);
        if (!*y_max) return 0;
        return be16(rec + 6 * (i - 1));
      }
    }
    return 0;
  }
  int64_t ppem = -height;
  if (ppem < start || ppem > end) return 0;
  for (size_t i = 0; i < recs; ++i) {
    int64_t pel = be16(rec + 6 * i);
    if (pel > ppem) return 0;
    if (pel == ppem) {
      *y_max = (int16_t)be16(rec + 6 * i + 2);
      *y_min = (int16_t)be16(rec + 6 * i + 4);
      break;
    }
  }
  // A size between two records keeps the em height without an extent.
  return ppem;
}

int64_t gdi_em_scale(int64_t ppem, int64_t units_per_em) {
  return FT_MulDiv(ppem, 1 << 16, units_per_em);
}

void gdi_outline_metrics(const gdi_face_numbers* n, int64_t ppem,
                         int32_t y_max, int32_t y_min, bool fake_bold,
                         gdi_text_metrics* out) {
  int64_t scale = gdi_em_scale(ppem, n->units_per_em);
  int64_t ascent, descent;
  gdi_design_extent(n, &ascent, &descent);
  if (y_max) {
    out->ascent = y_max;
    out->descent = -y_min;
  } else {
    // Each part is rounded on its own, so their sum may differ by one from
    // the rounded cell.
    out->ascent = (int32_t)FT_MulFix(ascent, scale);
    out->descent = (int32_t)FT_MulFix(descent, scale);
  }
  // The widest a glyph can be: the font's bounding box, not the widest
  // advance.
  out->max_char_width = (int32_t)FT_MulFix(n->bbox_width, scale) + (fake_bold ? 1 : 0);
  if (n->symbol) {
    out->default_char = 0x1f;
  } else {
    int brk = n->first_char <= 1 ? n->first_char + 2
              : n->first_char > 0xff ? 0x20 : n->first_char;
    out->default_char = (uint8_t)(brk - 1);
  }
}

gdi_transform gdi_glyph_transform(int64_t width, int64_t avg_char_width, bool slant) {
  gdi_transform t = {GDI_ONE, 0};
  if (width && avg_char_width && width != avg_char_width)
    t.xx = (int64_t)((double)width / (double)avg_char_width * 65536.0);
  // The slant comes after the scale: x' = xx * x + y / 4.
  if (slant) t.xy = GDI_SLANT_XY;
  return t;
}

bool gdi_transformed(const gdi_transform* t) {
  return t && (t->xx != GDI_ONE || t->xy != 0);
}

int32_t gdi_scaled_max_width(int32_t max_char_width, int64_t width,
                             int64_t avg_char_width) {
  if (!width || !avg_char_width) return max_char_width;
  double scaled = max_char_width * ((double)width / (double)avg_char_width);
  return gdi_round_to_int32(scaled);
}

int32_t gdi_round_to_int32(double v) {
  const double r = floor(v + 0.5);
  if (!(r == r)) return 0;
  if (r >= 2147483647.0) return INT32_MAX;
  if (r <= -2147483648.0) return INT32_MIN;
  return (int32_t)r;
}

int32_t gdi_advance(const gdi_face_numbers* n, int64_t ppem, int64_t base_26_6,
                    bool fake_bold, const gdi_transform* t) {
  const bool transformed = gdi_transformed(t);
  int64_t adv = transformed ? FT_MulFix(base_26_6, t->xx) : base_26_6;
  if (n->fixed_pitch) {
    int64_t scale = gdi_em_scale(ppem, n->units_per_em);
    // The average width is read as an unsigned pixel count.
    uint32_t avg = (uint32_t)FT_MulFix(n->avg_char_width, scale);
    bool full = avg > 0 && ((base_26_6 + 63) >> 6) ==
                               FT_MulFix(n->avg_char_width * 2, scale);
    if (full && !transformed) adv = (int64_t)((uint64_t)avg * 2) << 6;
    if (full && transformed)
      adv = (FT_MulFix(FT_MulFix(n->avg_char_width, t->xx), scale) * 2) << 6;
  }
  // A synthesised bold widens by one pixel along the baseline.
  if (fake_bold) adv += 64;
  adv = (adv + 63) & -64;
  // A transformed advance is a length.
  if (transformed && adv < 0) adv = -adv;
  return (int32_t)(adv >> 6);
}

bool gdi_gasp_gray(const uint8_t* t, size_t size, uint32_t ppem, bool* gray) {
  *gray = true;
  if (!t || size < 8) return false;
  const uint16_t version = be16(t), count = be16(t + 2);
  if (version > 1 || size < ((size_t)count * 2 + 2) * 2) return false;
  uint16_t flags = 0;
  // The first range whose upper end reaches ppem; past the last range, the
  // last one's behaviour.
  for (size_t i = 0; i < count; ++i) {
    flags = be16(t + 4 + 4 * i + 2);
    if (ppem <= be16(t + 4 + 4 * i)) break;
  }
  *gray = (flags & 0x02) != 0;  // GASP_DOGRAY
  return true;
}

gdi_box gdi_glyph_box(const gdi_glyph_metrics* m, int32_t ascent,
                      int32_t descent, const gdi_transform* t) {
  // Glyphs reaching past the font's ascent or descent are cut to them.
  int64_t top = m->bearing_y < (int64_t)ascent * 64 ? m->bearing_y : (int64_t)ascent * 64;
  int64_t bottom = m->bearing_y - m->height;
  if (bottom < -(int64_t)descent * 64) bottom = -(int64_t)descent * 64;
  gdi_box b;
  if (!gdi_transformed(t)) {
    b.x_min = m->bearing_x & -64;
    b.x_max = (m->bearing_x + m->width + 63) & -64;
    b.y_max = (top + 63) & -64;
    b.y_min = bottom & -64;
    return b;
  }
  const int64_t height = top - bottom;
  for (int xc = 0; xc < 2; ++xc) {
    for (int yc = 0; yc < 2; ++yc) {
      int64_t x = m->bearing_x + xc * m->width;
      int64_t y = top - yc * height;
      int64_t tx = FT_MulFix(x, t->xx) + FT_MulFix(y, t->xy);
      if (xc == 0 && yc == 0) {
        b.x_min = b.x_max = tx;
        b.y_min = b.y_max = y;
      } else {
        if (tx < b.x_min) b.x_min = tx;
        if (tx > b.x_max) b.x_max = tx;
        if (y < b.y_min) b.y_min = y;
        if (y > b.y_max) b.y_max = y;
      }
    }
  }
  b.x_min &= -64;
  b.x_max = (b.x_max + 63) & -64;
  b.y_min &= -64;
  b.y_max = (b.y_max + 63) & -64;
  return b;
}

int gdi_gray_level(uint8_t coverage) { return coverage * 17 / 256; }

uint8_t gdi_level_on_black(int level) {
  if (level <= 1) return 0;
  if (level >= 16) return 0xff;
  return kLevelRamp[level];
}

namespace {

const uint16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

uint32_t gdi_cp1252_to_unicode(uint8_t c) {
  if (c >= 0x80 && c < 0xA0) return kCp1252High[c - 0x80];
  return c;
}
