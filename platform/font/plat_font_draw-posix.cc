// Advances and drawing of a realised font: outline glyphs loaded, hinted,
// emboldened, slanted and rasterised as GDI's FreeType-based
// implementations do, bitmap glyphs by strike, and both drawn onto a
// surface with their underline and strikeout.
#include "platform/font/plat_font-posix.h"

#include FT_BITMAP_H
#include FT_OUTLINE_H
#include <stdlib.h>
#include <string.h>

#include <utility>

#include "platform/font/plat_font_gray-posix.h"

using namespace font_engine;

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
    if (font->mono)
      FT_Outline_Get_Bitmap(g_ft, &slot->outline, &bm);
    else
      plat_gray_render(&slot->outline, &bm, PLAT_GRAY_BISECT);
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

// Draws character c of an outline face into g as GDI draws it: the glyph
// box snapped to whole pixels and cut to the font's ascent and descent, a
// synthesised bold emboldened by a 24th of the em, a synthesised italic
// slanted, smoothed coverage in 17 levels.  A glyph that cannot be loaded
// falls back to the characters 0 and space.  False when none loads.
bool draw_loaded_glyph(plat_hfont* font, outline_glyph* g);

bool draw_outline_glyph(plat_hfont* font, uint8_t c, outline_glyph* g) {
  memset(g, 0, sizeof *g);
  const FT_UInt tries[3] = {char_glyph(font->face, font->code_page, c),
                            FT_Get_Char_Index(font->face, 0), FT_Get_Char_Index(font->face, 0x20)};
  bool loaded = false;
  for (int i = 0; i < 3 && !loaded; ++i) loaded = load_outline_glyph(font, tries[i], false);
  return loaded && draw_loaded_glyph(font, g);
}

// The drawing of draw_outline_glyph from the glyph in the face's slot.
bool draw_loaded_glyph(plat_hfont* font, outline_glyph* g) {
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
  g->left = (int32_t)(b.x_min >> 6);
  g->top = (int32_t)(b.y_max >> 6);
  const int64_t w = (b.x_max - b.x_min) >> 6, h = (b.y_max - b.y_min) >> 6;
  // An empty box draws nothing; nor does a box beyond any sane cell.
  if (w <= 0 || h <= 0 || w > 0x8000 || h > 0x8000) return true;
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
    if (g && draw_loaded_glyph(font, g)) {
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
  if (!bitmap_font_glyph(&font->bitmap, c, &box, &levels)) return false;
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
  if (font->drawn[c]) {
    g = *font->drawn[c];
  } else if (!draw_outline_glyph(font, c, &g)) {
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
