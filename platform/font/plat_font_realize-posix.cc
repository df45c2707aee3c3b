// A logical font realised as GDI realises it from the catalogue's faces:
// the face chosen for name and style (bitmap strikes as GDI's mapper picks
// them), the pixel size, metrics and synthesis of outline faces, the
// smoothing that quality and configuration ask for, and the lines drawn
// through the text.
#include "platform/font/plat_font-posix.h"

#include FT_TRUETYPE_TABLES_H
#include FT_TRUETYPE_TAGS_H
#include FT_MODULE_H
#include <stdlib.h>
#include <string.h>

using namespace font_engine;

namespace font_engine {

bool read_numbers(FT_Face face, gdi_face_numbers* n) {
  memset(n, 0, sizeof *n);
  n->units_per_em = face->units_per_EM ? face->units_per_EM : 2048;
  n->bbox_width = face->bbox.xMax - face->bbox.xMin;
  n->hhea_ascender = face->ascender;
  n->hhea_descender = face->descender;
  n->first_char = 0x20;
  TT_OS2* os2 = (TT_OS2*)FT_Get_Sfnt_Table(face, FT_SFNT_OS2);
  TT_HoriHeader* hhea = (TT_HoriHeader*)FT_Get_Sfnt_Table(face, FT_SFNT_HHEA);
  if (!os2 || !hhea) return false;
  n->hhea_ascender = hhea->Ascender;
  n->hhea_descender = hhea->Descender;
  n->win_ascent = os2->usWinAscent;
  n->win_descent = os2->usWinDescent;
  n->avg_char_width = os2->xAvgCharWidth;
  n->first_char = os2->usFirstCharIndex;
  // GDI's pitch: fixed when the face says so or PANOSE calls it monospaced.
  const int kPanoseProportion = 3, kPanoseMonospaced = 9;
  n->fixed_pitch = FT_IS_FIXED_WIDTH(face) ||
                   (os2->version != 0xFFFF &&
                    os2->panose[kPanoseProportion] == kPanoseMonospaced);
  bool symbol_cmap = false;
  for (int i = 0; i < face->num_charmaps; ++i)
    symbol_cmap = symbol_cmap || face->charmaps[i]->encoding == FT_ENCODING_MS_SYMBOL;
  n->symbol = symbol_cmap || (n->first_char >= 0xF000 && n->first_char < 0xF100);
  return true;
}

// An sfnt table of the face, or null; its size in *size.  Free with free().
uint8_t* load_table(FT_Face face, FT_ULong tag, size_t* size) {
  FT_ULong len = 0;
  *size = 0;
  if (FT_Load_Sfnt_Table(face, tag, 0, nullptr, &len) != 0 || len == 0) return nullptr;
  uint8_t* t = (uint8_t*)malloc(len);
  if (!t) return nullptr;
  if (FT_Load_Sfnt_Table(face, tag, 0, t, &len) != 0) {
    free(t);
    return nullptr;
  }
  *size = len;
  return t;
}

}  // namespace font_engine

namespace {

// Smoothing that fontconfig's configuration asks for by default, read as
// GDI's FreeType-based implementations read it: the font-stage rules
// first, then the pattern-stage ones.  1 smoothed, 0 monochrome, -1 unsaid.
int configured_smoothing(FcMatchKind kind) {
  FcPattern* p = FcPatternCreate();
  if (!p) return -1;
  FcConfigSubstitute(nullptr, p, kind);
  int said = -1;
  FcBool aa = FcFalse;
  if (FcPatternGetBool(p, FC_ANTIALIAS, 0, &aa) == FcResultMatch) said = aa ? 1 : 0;
  int rgba = 0;
  // A subpixel order means smoothing too; this layer draws it as grey.
  if (FcPatternGetInteger(p, FC_RGBA, 0, &rgba) == FcResultMatch) {
    if (rgba == FC_RGBA_RGB || rgba == FC_RGBA_BGR || rgba == FC_RGBA_VRGB ||
        rgba == FC_RGBA_VBGR || (rgba == FC_RGBA_NONE && said < 0))
      said = 1;
  }
  FcPatternDestroy(p);
  return said;
}

bool default_smoothing() {
  static int smoothing = -1;
  if (smoothing < 0) {
    int said = configured_smoothing(FcMatchFont);
    if (said < 0) said = configured_smoothing(FcMatchPattern);
    // Without a word from the configuration, the desktop's own setting,
    // which a fresh profile has on (standard, greyscale smoothing).
    smoothing = said == 0 ? 0 : 1;
  }
  return smoothing == 1;
}

// Whether the font engine runs TrueType hinting programs, without which
// the gasp table has no say.
bool bytecode_hinting() {
  return FT_Get_TrueType_Engine_Type(g_ft) == FT_TRUETYPE_ENGINE_TYPE_PATENTED;
}

// Whether an outline font of quality q is drawn smoothed: quality 3 never,
// 4 always, others as configured; and then not where the font's gasp table
// turns smoothing off for its size, unless the font is synthesised.
bool smoothing_for(const plat_hfont* f, uint8_t quality) {
  bool smooth = quality == 3 ? false : quality == 4 ? true : default_smoothing();
  if (smooth && !f->fake_bold && !f->fake_italic && bytecode_hinting()) {
    size_t size = 0;
    uint8_t* gasp = load_table(f->face, TTAG_gasp, &size);
    bool gray = true;
    if (gdi_gasp_gray(gasp, size, (uint32_t)f->face->size->metrics.y_ppem, &gray) && !gray)
      smooth = false;
    free(gasp);
  }
  return smooth;
}

// Underline and strikeout of a face without outline metrics: the
// underline on the baseline, a twentieth of the ascent thick, the strikeout
// at half the ascent.
void set_plain_lines(plat_hfont* f) {
  f->underline_pos = 0;
  f->underline_width = f->ascent / 20 + 1;
  f->strikeout_pos = f->ascent / 2;
  f->strikeout_width = f->underline_width;
}

}  // namespace

plat_hfont* plat_font_create(const plat_logfont* logfont) {
  if (!libraries_ready()) return nullptr;
  load_faces();
  uint16_t code_page = 1252;
  const face_entry* best = map_logical_font(logfont, &code_page);
  if (!best) return nullptr;
  FT_Face face = open_face(best);
  if (!face) return nullptr;
  return realize_face(face, logfont, code_page);
}

plat_hfont* font_engine::realize_face(FT_Face face, const plat_logfont* logfont,
                                      uint16_t code_page) {
  const bool bold = logfont->lfWeight > 550;
  const bool italic = logfont->lfItalic != 0;
  plat_hfont* f = outlines_whole(face) ? (plat_hfont*)calloc(1, sizeof(plat_hfont)) : nullptr;
  if (!f) {
    FT_Done_Face(face);
    return nullptr;
  }
  f->face = face;
  f->code_page = code_page;
  // A face with no Unicode map draws through its symbol map.
  if (!face->charmap) {
    for (int i = 0; i < face->num_charmaps; ++i)
      if (face->charmaps[i]->encoding == FT_ENCODING_MS_SYMBOL)
        FT_Set_Charmap(face, face->charmaps[i]);
  }
  if (FT_IS_SCALABLE(face)) {
    f->scalable = true;
    // Synthesis follows the face file's own style bits, as GDI's does.
    f->fake_bold = bold && !(face->style_flags & FT_STYLE_FLAG_BOLD);
    f->fake_italic = italic && !(face->style_flags & FT_STYLE_FLAG_ITALIC);
    f->gdi_metrics = read_numbers(face, &f->numbers);
    int32_t y_max = 0, y_min = 0;
    size_t vdmx_size = 0;
    uint8_t* vdmx = load_table(face, TTAG_VDMX, &vdmx_size);
    int64_t ppem = gdi_ppem_from_vdmx(vdmx, vdmx_size, logfont->lfHeight, &y_max, &y_min);
    free(vdmx);
    if (ppem == 0) ppem = gdi_ppem_for_height(&f->numbers, logfont->lfHeight);
    if (ppem < 1) ppem = 1;
    f->ppem = ppem;
    if (FT_Set_Pixel_Sizes(face, 0, (FT_UInt)ppem) != 0) {
      FT_Done_Face(face);
      free(f);
      return nullptr;
    }
    if (f->gdi_metrics) {
      gdi_text_metrics m;
      gdi_outline_metrics(&f->numbers, ppem, y_max, y_min, f->fake_bold, &m);
      f->ascent = m.ascent;
      f->descent = m.descent;
      f->max_char_width = m.max_char_width;
      f->default_char = m.default_char;
    } else {
      // No sfnt metrics: the engine's own, truncated.
      const FT_Size_Metrics* sm = &face->size->metrics;
      f->ascent = (int32_t)(sm->ascender >> 6);
      f->descent = (int32_t)(-sm->descender >> 6);
      f->max_char_width = (int32_t)(sm->max_advance >> 6) + (f->fake_bold ? 1 : 0);
      f->default_char = 32;
    }
    // A width asked for scales the glyphs horizontally by its ratio to the
    // font's average width, unless that ratio is beyond reason.
    int64_t avg = f->gdi_metrics
                      ? FT_MulFix(f->numbers.avg_char_width,
                                  gdi_em_scale(ppem, f->numbers.units_per_em))
                      : (int64_t)f->max_char_width * 2 / 3;
    if (avg < 1) avg = 1;
    int64_t width = logfont->lfHeight ? logfont->lfWidth : 0;
    if (width < 0) width = -width;
    const int64_t cell = (int64_t)f->ascent + f->descent;
    if (width && cell > 0 && (width + cell - 1) / cell > 100) width = 0;
    f->transform = gdi_glyph_transform(width, avg, f->fake_italic);
    f->max_char_width = gdi_scaled_max_width(f->max_char_width, width, avg);
    f->mono = !smoothing_for(f, logfont->lfQuality);
    if (f->gdi_metrics) {
      const int64_t scale = gdi_em_scale(ppem, f->numbers.units_per_em);
      const TT_OS2* os2 = (const TT_OS2*)FT_Get_Sfnt_Table(face, FT_SFNT_OS2);
      const TT_Postscript* post = (const TT_Postscript*)FT_Get_Sfnt_Table(face, FT_SFNT_POST);
      f->underline_pos = post ? (int32_t)FT_MulFix(post->underlinePosition, scale) : 0;
      f->underline_width = post ? (int32_t)FT_MulFix(post->underlineThickness, scale) : 0;
      f->strikeout_pos = (int32_t)FT_MulFix(os2->yStrikeoutPosition, scale);
      f->strikeout_width = (int32_t)FT_MulFix(os2->yStrikeoutSize, scale);
    } else {
      set_plain_lines(f);
    }
  } else {
    // Bitmap glyphs are drawn with full pixels only, whatever the quality.
    if (!bitmap_font_init(&f->bitmap, face, logfont->lfHeight, logfont->lfWidth, bold,
                          italic, code_page)) {
      FT_Done_Face(face);
      free(f);
      return nullptr;
    }
    f->mono = true;
    f->fake_bold = f->bitmap.fake_bold;
    f->fake_italic = f->bitmap.fake_italic;
    f->ascent = f->bitmap.metrics.ascent;
    f->descent = f->bitmap.metrics.descent;
    f->max_char_width = f->bitmap.metrics.max_char_width;
    f->default_char = f->bitmap.metrics.default_char;
    set_plain_lines(f);
  }
  f->underline = logfont->lfUnderline != 0;
  f->strikeout = logfont->lfStrikeOut != 0;
  // A line is at least one pixel thick.
  if (f->underline_width == 0) f->underline_width = 1;
  if (f->strikeout_width == 0) f->strikeout_width = 1;
  return f;
}

void plat_font_delete(plat_hfont* font) {
  if (!font) return;
  for (outline_glyph* g : font->drawn) {
    if (!g) continue;
    free(g->levels);
    free(g);
  }
  FT_Done_Face(font->face);
  free(font);
}

bool plat_font_metrics(plat_screen*, plat_hfont* font, plat_text_metrics* out) {
  out->ascent = font->ascent;
  out->descent = font->descent;
  out->max_char_width = font->max_char_width;
  out->default_char = font->default_char;
  out->char_set = 0;
  return true;
}
