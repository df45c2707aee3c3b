// Advances and drawing of a realised font: outline glyphs loaded, hinted,
// emboldened, slanted and rasterised as GDI's FreeType-based
// implementations do, bitmap glyphs by strike, and both drawn onto a
// surface with their underline and strikeout.
#include "platform/font/plat_font-posix.h"

#include FT_BITMAP_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H
#include FT_TRUETYPE_TAGS_H
#include <stdlib.h>
#include <string.h>

#include <utility>

#include "platform/font/plat_font_config-posix.h"
#include "platform/font/plat_font_gray-posix.h"

using namespace font_engine;

const char* font_engine::face_file(FT_Face face) {
  const char* file = face->stream ? (const char*)face->stream->pathname.pointer : nullptr;
  return file ? file : "(in memory)";
}

bool font_engine::outlines_whole(FT_Face face) {
  FT_ULong loca = 0, glyf = 0;
  if (!FT_IS_SFNT(face) || FT_Load_Sfnt_Table(face, TTAG_loca, 0, nullptr, &loca) != 0)
    return true;  // no TrueType outlines
  const TT_Header* head = (const TT_Header*)FT_Get_Sfnt_Table(face, FT_SFNT_HEAD);
  const bool long_offsets = head && head->Index_To_Loc_Format != 0;
  const FT_ULong entry = long_offsets ? 4 : 2;
  if (loca < entry) return true;
  uint8_t at[4];
  FT_ULong size = entry;
  if (FT_Load_Sfnt_Table(face, TTAG_loca, (FT_Long)(loca / entry - 1) * (FT_Long)entry, at,
                         &size) != 0)
    return true;
  const uint64_t end = long_offsets
                           ? ((uint64_t)at[0] << 24 | (uint64_t)at[1] << 16 |
                              (uint64_t)at[2] << 8 | at[3])
                           : ((uint64_t)at[0] << 8 | at[1]) * 2;
  if (FT_Load_Sfnt_Table(face, TTAG_glyf, 0, nullptr, &glyf) != 0) glyf = 0;
  if (end <= glyf) return true;
  if (plat_font_notice_first(face_file(face)))
    plat_font_notice("font file %s is cut short: its glyph outlines end at byte %llu of the "
                     "%llu that it lists; it is not used",
                     face_file(face), (unsigned long long)glyf, (unsigned long long)end);
  return false;
}

struct plat_surface {
  plat_hfont* font;
  int32_t width;
  int32_t height;
  uint8_t* pixels;
};

namespace {


// Loads glyph gi of an outline face as GDI does: for its advance hinted
// normally from the outline; for drawing hinted for the drawing's mode,
// from the face's own bitmaps only for upright monochrome drawing.  A
// glyph whose hinting program fails is loaded unhinted.
FT_Int32 outline_load_flags(const plat_hfont* font, bool for_advance) {
  FT_Int32 flags = FT_LOAD_IGNORE_GLOBAL_ADVANCE_WIDTH;
  if (!for_advance) flags |= font->mono ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_NORMAL;
  if (for_advance || !font->mono || gdi_transformed(&font->transform))
    flags |= FT_LOAD_NO_BITMAP;
  return flags;
}

bool load_outline_glyph(plat_hfont* font, FT_UInt gi, bool for_advance) {
  const FT_Int32 flags = outline_load_flags(font, for_advance);
  if (FT_Load_Glyph(font->face, gi, flags) == 0) return true;
  return FT_Load_Glyph(font->face, gi, flags | FT_LOAD_NO_HINTING) == 0;
}

// Whether glyph gi, just loaded into the slot, came whole from the file.
// The font engine loads a glyph whose outline lies past the end of a file
// cut short as an empty one; its location table still says it has one.
bool outline_glyph_whole(plat_hfont* font, FT_UInt gi) {
  FT_GlyphSlot slot = font->face->glyph;
  if (slot->format != FT_GLYPH_FORMAT_OUTLINE || slot->outline.n_points > 0) return true;
  const TT_Header* head = (const TT_Header*)FT_Get_Sfnt_Table(font->face, FT_SFNT_HEAD);
  if (!head) return true;
  const bool long_offsets = head->Index_To_Loc_Format != 0;
  uint8_t at[8];
  FT_ULong size = long_offsets ? 8 : 4;
  if (FT_Load_Sfnt_Table(font->face, TTAG_loca, (FT_Long)gi * (long_offsets ? 4 : 2), at,
                         &size) != 0)
    return true;
  uint64_t start, end;
  if (long_offsets) {
    start = (uint64_t)at[0] << 24 | (uint64_t)at[1] << 16 | (uint64_t)at[2] << 8 | at[3];
    end = (uint64_t)at[4] << 24 | (uint64_t)at[5] << 16 | (uint64_t)at[6] << 8 | at[7];
  } else {
    start = ((uint64_t)at[0] << 8 | at[1]) * 2;
    end = ((uint64_t)at[2] << 8 | at[3]) * 2;
  }
  if (end <= start) return true;  // a glyph without an outline
  FT_ULong glyf = 0;
  if (FT_Load_Sfnt_Table(font->face, TTAG_glyf, 0, nullptr, &glyf) != 0) glyf = 0;
  return end <= glyf;
}

// Says once for each font file that a glyph of it cannot be drawn.
void report_glyph_failure(plat_hfont* font, uint8_t c, FT_UInt gi) {
  if (font->glyph_failure_told) return;
  font->glyph_failure_told = true;
  const char* file = face_file(font->face);
  if (!plat_font_notice_first(file)) return;
  plat_font_notice("font file %s: glyph %u of code %u cannot be loaded; such glyphs are "
                   "drawn as the font's default glyph or blank",
                   file, (unsigned)gi, (unsigned)c);
}

// The rasterisers walk every pixel cell that an outline's edges cross,
// those outside the bitmap too.  An outline whose edges cross more cells
// than this, and many more than the bitmap's sides hold, is not drawn:
// such a glyph belongs to no font drawn at a size that a glyph set holds,
// and drawing it cut to a cell would take minutes.
const int64_t kMaxOutlineCells = (int64_t)1 << 16;

// Whether outline, to be drawn into a w x h bitmap, is within that bound
// (said once for each font file when it is not).  The cells crossed are
// bounded by the length of its control polygon.
bool rasterisable(plat_hfont* font, const FT_Outline* outline, int32_t w, int32_t h) {
  int64_t cells = 0;
  for (int32_t i = 1; i < outline->n_points; ++i) {
    const FT_Vector a = outline->points[i - 1], b = outline->points[i];
    cells += ((b.x > a.x ? b.x - a.x : a.x - b.x) + (b.y > a.y ? b.y - a.y : a.y - b.y)) >> 6;
  }
  if (cells <= kMaxOutlineCells || cells <= 64 * ((int64_t)w + h)) return true;
  const char* file = face_file(font->face);
  if (!font->glyph_failure_told && plat_font_notice_first(file))
    plat_font_notice("font file %s: an outline crossing %lld pixels is too long to draw at "
                     "this size; such glyphs are left blank",
                     file, (long long)cells);
  font->glyph_failure_told = true;
  return false;
}

// Rasterises the loaded glyph into g, within box b.
void rasterise(plat_hfont* font, const gdi_box* b, outline_glyph* g) {
  FT_GlyphSlot slot = font->face->glyph;
  const int32_t w = g->width, h = g->height;
  const int32_t pitch = font->mono ? ((w + 31) >> 5) << 2 : (w + 3) / 4 * 4;
  uint8_t* buf = (uint8_t*)calloc((size_t)pitch * h, 1);
  if (!buf) return;
  if (slot->format == FT_GLYPH_FORMAT_BITMAP) {
    // The face's own monochrome strike, row for row from its top; a
    // synthesised bold smears each row one pixel to the right.
    const uint8_t* src = slot->bitmap.buffer;
    int32_t bytes = ((int32_t)slot->bitmap.width + 7) >> 3;
    if (bytes > pitch) bytes = pitch;
    int32_t rows = (int32_t)slot->bitmap.rows < h ? (int32_t)slot->bitmap.rows : h;
    for (int32_t r = 0; r < rows; ++r, src += slot->bitmap.pitch) {
      uint8_t* dst = buf + (size_t)r * pitch;
      if (!font->fake_bold) {
        memcpy(dst, src, (size_t)bytes);
        continue;
      }
      dst[0] = 0;
      for (int32_t k = 0; k < bytes; ++k) {
        dst[k] = (uint8_t)((dst[k] & 0x80) | (src[k] >> 1) | src[k]);
        if (k + 1 < pitch) dst[k + 1] = (uint8_t)((src[k] & 1) << 7);
      }
    }
  } else {
    FT_Bitmap bm;
    FT_Bitmap_Init(&bm);
    bm.width = (unsigned)w;
    bm.rows = (unsigned)h;
    bm.pitch = pitch;
    bm.pixel_mode = font->mono ? FT_PIXEL_MODE_MONO : FT_PIXEL_MODE_GRAY;
    bm.num_grays = 256;
    bm.buffer = buf;
    if (gdi_transformed(&font->transform)) {
      FT_Matrix m = {(FT_Fixed)font->transform.xx, (FT_Fixed)font->transform.xy, 0, 1 << 16};
      FT_Outline_Transform(&slot->outline, &m);
    }
    FT_Outline_Translate(&slot->outline, -b->x_min, -b->y_min);
    if (!rasterisable(font, &slot->outline, w, h)) {
      // Left blank.
    } else if (font->mono) {
      FT_Outline_Get_Bitmap(g_ft, &slot->outline, &bm);
    } else {
      plat_gray_render(&slot->outline, &bm, PLAT_GRAY_BISECT);
    }
  }
  for (int32_t r = 0; r < h; ++r) {
    const uint8_t* src = buf + (size_t)r * pitch;
    uint8_t* dst = g->levels + (size_t)r * w;
    for (int32_t k = 0; k < w; ++k)
      dst[k] = font->mono ? ((src[k >> 3] >> (7 - (k & 7))) & 1 ? 16 : 0)
                          : (uint8_t)gdi_gray_level(src[k]);
  }
  free(buf);
}

// The part of a glyph that can be seen, in whole pixels from the pen on
// the baseline, y up: [x0, x1) x [y0, y1).
struct pixel_window {
  int64_t x0, y0, x1, y1;
};

// Glyph boxes up to this many pixels may be kept from measuring for
// drawing.
const int64_t kWholeGlyphPixels = (int64_t)1 << 16;

// A glyph box is drawn whole unless more than this many of its pixels
// cannot be seen; then only the part that can be seen is drawn, so that
// no glyph costs much more than the surface it is drawn on, whatever its
// font says.  A font's own glyphs reach little past its cell, so they are
// drawn whole as GDI draws them: the smoothed coverage of an outline cut
// at the left may differ by a level along its curves.
const int64_t kUnseenGlyphPixels = (int64_t)1 << 18;

// Draws character c of an outline face into g as GDI draws it: the glyph
// box snapped to whole pixels and cut to the font's ascent and descent, a
// synthesised bold emboldened by a 24th of the em, a synthesised italic
// slanted, smoothed coverage in 17 levels; only within window unless the
// box is small.  A glyph that cannot be loaded falls back to the
// characters 0 and space.  False when none loads.
bool draw_loaded_glyph(plat_hfont* font, const pixel_window* window, outline_glyph* g);

bool draw_outline_glyph(plat_hfont* font, uint8_t c, const pixel_window* window,
                        outline_glyph* g) {
  memset(g, 0, sizeof *g);
  const FT_UInt tries[3] = {char_glyph(font->face, font->code_page, c),
                            FT_Get_Char_Index(font->face, 0), FT_Get_Char_Index(font->face, 0x20)};
  bool loaded = false;
  for (int i = 0; i < 3 && !loaded; ++i) {
    const FT_UInt gi = tries[i];
    loaded = load_outline_glyph(font, gi, false);
    if (i == 0 && (!loaded || !outline_glyph_whole(font, gi)))
      report_glyph_failure(font, c, gi);
  }
  return loaded && draw_loaded_glyph(font, window, g);
}

// The drawing of draw_outline_glyph from the glyph in the face's slot.
bool draw_loaded_glyph(plat_hfont* font, const pixel_window* window, outline_glyph* g) {
  FT_GlyphSlot slot = font->face->glyph;
  if (slot->format != FT_GLYPH_FORMAT_OUTLINE && slot->format != FT_GLYPH_FORMAT_BITMAP)
    return false;
  gdi_glyph_metrics m = {slot->metrics.width, slot->metrics.height,
                         slot->metrics.horiBearingX, slot->metrics.horiBearingY};
  if (font->fake_bold) {
    if (slot->format == FT_GLYPH_FORMAT_OUTLINE &&
        FT_Outline_Embolden(&slot->outline, FT_MulDiv(font->ppem, 64, 24)) == 0) {
      FT_BBox cb;
      FT_Outline_Get_CBox(&slot->outline, &cb);
      m.width = cb.xMax - cb.xMin;
      m.height = cb.yMax - cb.yMin;
      m.bearing_x = cb.xMin;
      m.bearing_y = cb.yMax;
    } else if (m.width) {
      m.width += 64;
    }
  }
  gdi_box b = gdi_glyph_box(&m, font->ascent, font->descent, &font->transform);
  const int64_t area = ((b.x_max - b.x_min) >> 6) * ((b.y_max - b.y_min) >> 6);
  // Kept from measuring only when small.
  if (area > kWholeGlyphPixels && !window) return false;
  if (area > kWholeGlyphPixels) {
    gdi_box seen = b;
    if (seen.x_min < window->x0 * 64) seen.x_min = window->x0 * 64;
    if (seen.y_min < window->y0 * 64) seen.y_min = window->y0 * 64;
    if (seen.x_max > window->x1 * 64) seen.x_max = window->x1 * 64;
    if (seen.y_max > window->y1 * 64) seen.y_max = window->y1 * 64;
    const int64_t seen_area = seen.x_max <= seen.x_min || seen.y_max <= seen.y_min
                                  ? 0
                                  : ((seen.x_max - seen.x_min) >> 6) *
                                        ((seen.y_max - seen.y_min) >> 6);
    if (area - seen_area > kUnseenGlyphPixels) b = seen;
  }
  g->left = (int32_t)(b.x_min >> 6);
  g->top = (int32_t)(b.y_max >> 6);
  const int64_t w = (b.x_max - b.x_min) >> 6, h = (b.y_max - b.y_min) >> 6;
  // An empty box draws nothing.
  if (w <= 0 || h <= 0) return true;
  g->width = (int32_t)w;
  g->height = (int32_t)h;
  g->levels = (uint8_t*)calloc((size_t)w * (size_t)h, 1);
  if (!g->levels) return false;
  rasterise(font, &b, g);
  return true;
}

}  // namespace

int32_t plat_font_char_advance(plat_screen*, plat_hfont* font, uint8_t c) {
  if (!font->scalable) return bitmap_font_advance(&font->bitmap, c);
  FT_UInt gi = char_glyph(font->face, font->code_page, c);
  if (font->measured[c]) return font->advance[c];
  // Measured from a normally hinted load, whatever the quality that
  // drawing uses.
  if (!load_outline_glyph(font, gi, true)) return 0;
  const int32_t advance =
      gdi_advance(&font->numbers, font->ppem, font->face->glyph->metrics.horiAdvance,
                  font->fake_bold, &font->transform);
  font->advance[c] = advance;
  font->measured[c] = true;
  // Where drawing would load the glyph alike, it is drawn from this load
  // now (the glyph was found, so drawing would try no other), and the
  // drawing takes it from here instead of loading it again.
  if (outline_load_flags(font, true) == outline_load_flags(font, false) && !font->drawn[c]) {
    outline_glyph* g = (outline_glyph*)calloc(1, sizeof(outline_glyph));
    if (g && outline_glyph_whole(font, gi) && draw_loaded_glyph(font, nullptr, g)) {
      font->drawn[c] = g;
    } else if (g) {
      free(g->levels);
      free(g);
    }
  }
  return advance;
}

plat_surface* plat_surface_create(plat_screen*, plat_hfont* font, int32_t width,
                                  int32_t height, uint8_t** pixels) {
  // Refuse what a device-independent bitmap could not hold either.
  if (width <= 0 || height <= 0) return nullptr;
  if ((uint64_t)width * (uint64_t)height * 4 > (256u << 20)) return nullptr;
  plat_surface* s = (plat_surface*)calloc(1, sizeof(plat_surface));
  if (!s) return nullptr;
  s->pixels = (uint8_t*)calloc((size_t)width * (size_t)height, 4);
  if (!s->pixels) {
    free(s);
    return nullptr;
  }
  s->font = font;
  s->width = width;
  s->height = height;
  *pixels = s->pixels;
  return s;
}

namespace {

// Draws c of a bitmap face with its cell's top-left corner at (x, y),
// clipped to the rectangle.
bool blit_bitmap_char(plat_surface* s, int32_t x, int32_t y, int32_t left, int32_t top,
                      int32_t right, int32_t bottom, uint8_t c) {
  plat_hfont* font = s->font;
  bitmap_box box;
  uint8_t* levels = nullptr;
  // The rectangle as a glyph box: from the pen, top row up from the baseline.
  const int64_t baseline = (int64_t)y + font->ascent;
  const bitmap_box visible = {(int32_t)((int64_t)left - x), (int32_t)(baseline - top),
                              right - left, bottom - top};
  if (right <= left || bottom <= top) return true;
  if (!bitmap_font_glyph(&font->bitmap, c, &visible, &box, &levels)) return false;
  if (!levels) return true;
  const int32_t ox = x + box.left, oy = y + font->ascent - box.top;
  for (int32_t r = 0; r < box.height; ++r) {
    const int32_t py = oy + r;
    if (py < top || py >= bottom) continue;
    const uint8_t* src = levels + (size_t)r * box.width;
    for (int32_t k = 0; k < box.width; ++k) {
      const int32_t px = ox + k;
      if (px < left || px >= right || !src[k]) continue;
      memset(s->pixels + ((size_t)py * s->width + px) * 4, 0xff, 3);
    }
  }
  free(levels);
  return true;
}

// Draws c of an outline face with its cell's top-left corner at (x, y),
// clipped to the rectangle.
bool blit_outline_char(plat_surface* s, int32_t x, int32_t y, int32_t left, int32_t top,
                       int32_t right, int32_t bottom, uint8_t c) {
  plat_hfont* font = s->font;
  outline_glyph g;
  // The rectangle from the pen on the baseline, y up.
  const int64_t baseline = (int64_t)y + font->ascent;
  const pixel_window window = {(int64_t)left - x, baseline - bottom, (int64_t)right - x,
                               baseline - top};
  if (font->drawn[c]) {
    g = *font->drawn[c];
  } else if (!draw_outline_glyph(font, c, &window, &g)) {
    return false;
  }
  // Text aligned at the top: the baseline lies ascent rows below y.
  const int32_t ox = x + g.left, oy = y + font->ascent - g.top;
  for (int32_t r = 0; r < g.height; ++r) {
    const int32_t py = oy + r;
    if (py < top || py >= bottom) continue;
    const uint8_t* src = g.levels + (size_t)r * g.width;
    for (int32_t k = 0; k < g.width; ++k) {
      const int32_t px = ox + k;
      if (px < left || px >= right) continue;
      const uint8_t v = gdi_level_on_black(src[k]);
      if (!v) continue;
      uint8_t* d = s->pixels + ((size_t)py * s->width + px) * 4;
      d[0] = d[1] = d[2] = v;
    }
  }
  if (!font->drawn[c]) free(g.levels);
  return true;
}

}  // namespace

bool plat_surface_draw_char(plat_surface* s, int32_t x, int32_t y, int32_t left,
                            int32_t top, int32_t right, int32_t bottom,
                            uint8_t c) {
  if (left < 0) left = 0;
  if (top < 0) top = 0;
  if (right > s->width) right = s->width;
  if (bottom > s->height) bottom = s->height;
  for (int32_t r = top; r < bottom; ++r)
    memset(s->pixels + ((size_t)r * s->width + left) * 4, 0,
           (size_t)(right > left ? right - left : 0) * 4);
  plat_hfont* font = s->font;
  if (!font->scalable) {
    if (!blit_bitmap_char(s, x, y, left, top, right, bottom, c)) return false;
  } else if (!blit_outline_char(s, x, y, left, top, right, bottom, c)) {
    return false;
  }
  // Underline and strikeout: bars as long as the advance, drawn after the
  // glyph and cut only by the surface.
  for (int line = 0; line < 2; ++line) {
    if (!(line == 0 ? font->underline : font->strikeout)) continue;
    const int32_t pos = line == 0 ? font->underline_pos : font->strikeout_pos;
    const int32_t w = line == 0 ? font->underline_width : font->strikeout_width;
    const int32_t baseline = y + font->ascent;
    int32_t y0 = baseline - (pos + w / 2), y1 = y0 + w;
    if (y1 < y0) std::swap(y0, y1);
    int32_t x0 = x, x1 = x + plat_font_char_advance(nullptr, font, c);
    if (x0 < 0) x0 = 0;
    if (x1 > s->width) x1 = s->width;
    for (int32_t py = y0 < 0 ? 0 : y0; py < y1 && py < s->height; ++py)
      for (int32_t px = x0; px < x1; ++px)
        memset(s->pixels + ((size_t)py * s->width + px) * 4, 0xff, 3);
  }
  return true;
}

void plat_surface_flush(plat_surface*) {}

void plat_surface_delete(plat_surface* s) {
  if (!s) return;
  free(s->pixels);
  free(s);
}
