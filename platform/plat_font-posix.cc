// Font services on fontconfig and FreeType, with the meanings of the GDI
// calls that the Win32 build makes: the same enumeration, sizes, metrics,
// advances and drawing for TrueType faces.
#include "platform/plat_font.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H
#include <fontconfig/fontconfig.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

namespace {

// Windows-1252 bytes 0x80 to 0x9F as Unicode; the rest of the code page is
// Latin-1.  The five undefined bytes map to their C1 controls, for which
// fonts have no glyph, so that they draw the missing-glyph shape as GDI does.
const uint16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

uint32_t cp1252_to_unicode(uint8_t c) {
  if (c >= 0x80 && c < 0xA0) return kCp1252High[c - 0x80];
  return c;
}

bool cp1252_defined(uint8_t c) {
  return !(c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D);
}

// The fixed-point helpers whose rounding GDI's TrueType metrics follow.
int64_t mul_div(int64_t a, int64_t b, int64_t c) {
  if (c == 0) return 0;
  int64_t n = a * b;
  bool neg = (n < 0) != (c < 0);
  if (n < 0) n = -n;
  int64_t d = c < 0 ? -c : c;
  int64_t r = (n + d / 2) / d;
  return neg ? -r : r;
}

int64_t mul_fix(int64_t a, int64_t b) {
  int64_t ab = a * b;
  return (ab + 0x8000 + (ab < 0 ? -1 : 0)) >> 16;
}

FT_Library g_ft = nullptr;
bool g_fc_ready = false;

bool libraries_ready() {
  if (!g_fc_ready) {
    if (!FcInit()) return false;
    // fontconfig's start-up keeps blocks that only its own shutdown frees.
    atexit(FcFini);
    g_fc_ready = true;
  }
  if (!g_ft && FT_Init_FreeType(&g_ft) != 0) {
    g_ft = nullptr;
    return false;
  }
  return true;
}

// One installed face as fontconfig lists it.
struct face_entry {
  char family[128];  // the first family name
  char* families;    // every family name, NUL-separated, ending in "\0\0"
  char file[1024];
  int index;
  int weight;  // fontconfig scale
  int slant;
  int width;
  bool fixed_pitch;
  bool scalable;
  double pixel_size;  // bitmap faces
  bool ansi;
};

face_entry* g_faces = nullptr;
int g_face_count = -1;

bool covers_cp1252(FcCharSet* cs) {
  if (!cs) return false;
  for (int c = 0x20; c <= 0xFF; ++c) {
    if (c == 0x7F) continue;
    if (c >= 0x80 && c < 0xA0 && !cp1252_defined((uint8_t)c)) continue;
    if (!FcCharSetHasChar(cs, cp1252_to_unicode((uint8_t)c))) return false;
  }
  return true;
}

// Lists every installed face once per process.
void load_faces() {
  if (g_face_count >= 0) return;
  g_face_count = 0;
  if (!libraries_ready()) return;
  FcPattern* pat = FcPatternCreate();
  FcObjectSet* os =
      FcObjectSetBuild(FC_FAMILY, FC_STYLE, FC_FILE, FC_INDEX, FC_WEIGHT,
                       FC_SLANT, FC_WIDTH, FC_SPACING, FC_SCALABLE,
                       FC_PIXEL_SIZE, FC_CHARSET, (char*)0);
  FcFontSet* set = FcFontList(nullptr, pat, os);
  FcObjectSetDestroy(os);
  FcPatternDestroy(pat);
  if (!set) return;
  g_faces = (face_entry*)calloc(set->nfont ? set->nfont : 1, sizeof(face_entry));
  if (!g_faces) {
    FcFontSetDestroy(set);
    return;
  }
  for (int i = 0; i < set->nfont; ++i) {
    FcPattern* p = set->fonts[i];
    face_entry* e = &g_faces[g_face_count];
    FcChar8* s = nullptr;
    if (FcPatternGetString(p, FC_FILE, 0, &s) != FcResultMatch) continue;
    snprintf(e->file, sizeof e->file, "%s", (const char*)s);
    if (FcPatternGetString(p, FC_FAMILY, 0, &s) != FcResultMatch) continue;
    snprintf(e->family, sizeof e->family, "%s", (const char*)s);
    size_t total = 2;
    for (int k = 0; FcPatternGetString(p, FC_FAMILY, k, &s) == FcResultMatch; ++k)
      total += strlen((const char*)s) + 1;
    e->families = (char*)calloc(total, 1);
    if (!e->families) continue;
    char* w = e->families;
    for (int k = 0; FcPatternGetString(p, FC_FAMILY, k, &s) == FcResultMatch; ++k) {
      size_t n = strlen((const char*)s);
      memcpy(w, s, n);
      w += n + 1;
    }
    int v = 0;
    e->index = FcPatternGetInteger(p, FC_INDEX, 0, &v) == FcResultMatch ? v : 0;
    e->weight = FcPatternGetInteger(p, FC_WEIGHT, 0, &v) == FcResultMatch ? v : FC_WEIGHT_REGULAR;
    e->slant = FcPatternGetInteger(p, FC_SLANT, 0, &v) == FcResultMatch ? v : FC_SLANT_ROMAN;
    e->width = FcPatternGetInteger(p, FC_WIDTH, 0, &v) == FcResultMatch ? v : FC_WIDTH_NORMAL;
    int spacing = FcPatternGetInteger(p, FC_SPACING, 0, &v) == FcResultMatch ? v : FC_PROPORTIONAL;
    e->fixed_pitch = spacing == FC_MONO || spacing == FC_CHARCELL;
    FcBool b = FcTrue;
    e->scalable = FcPatternGetBool(p, FC_SCALABLE, 0, &b) == FcResultMatch ? b != FcFalse : true;
    double d = 0;
    e->pixel_size = FcPatternGetDouble(p, FC_PIXEL_SIZE, 0, &d) == FcResultMatch ? d : 0;
    FcCharSet* cs = nullptr;
    e->ansi = FcPatternGetCharSet(p, FC_CHARSET, 0, &cs) == FcResultMatch && covers_cp1252(cs);
    ++g_face_count;
  }
  FcFontSetDestroy(set);
}

bool has_family(const face_entry* e, const char* name) {
  for (const char* f = e->families; *f; f += strlen(f) + 1)
    if (strcasecmp(f, name) == 0) return true;
  return false;
}

// The installed spelling of family name, or null.
const char* installed_family(const char* name) {
  for (int i = 0; i < g_face_count; ++i)
    for (const char* f = g_faces[i].families; *f; f += strlen(f) + 1)
      if (strcasecmp(f, name) == 0) return f;
  return nullptr;
}

bool family_installed(const char* name) { return installed_family(name) != nullptr; }

// Names that fontconfig resolves by its own preference rather than by an
// installed family.
bool is_generic(const char* name) {
  static const char* const kGeneric[] = {"monospace", "mono", "sans-serif",
                                         "sans", "serif", "system-ui"};
  for (const char* g : kGeneric)
    if (strcasecmp(name, g) == 0) return true;
  return false;
}

// The families that stand for name: name itself when installed; else the
// installed families that fontconfig declares metric-compatible with it
// (the strongly bound run that its substitution puts right after it); for
// a generic name, the family fontconfig matches.  Writes up to max names
// into out (each 128 bytes) and returns their number.
int stand_in_families(const char* name, char (*out)[128], int max) {
  if (!*name || max <= 0) return 0;
  if (const char* f = installed_family(name)) {
    snprintf(out[0], 128, "%s", f);
    return 1;
  }
  int n = 0;
  FcPattern* p = FcPatternCreate();
  FcPatternAddString(p, FC_FAMILY, (const FcChar8*)name);
  FcConfigSubstitute(nullptr, p, FcMatchPattern);
  if (is_generic(name)) {
    FcDefaultSubstitute(p);
    FcResult r;
    FcPattern* m = FcFontMatch(nullptr, p, &r);
    FcChar8* s = nullptr;
    if (m && FcPatternGetString(m, FC_FAMILY, 0, &s) == FcResultMatch &&
        family_installed((const char*)s)) {
      snprintf(out[n++], 128, "%s", (const char*)s);
    }
    if (m) FcPatternDestroy(m);
  } else {
    FcValue v;
    FcValueBinding b;
    for (int i = 1; n < max &&
                    FcPatternGetWithBinding(p, FC_FAMILY, i, &v, &b) == FcResultMatch;
         ++i) {
      if (b != FcValueBindingStrong || v.type != FcTypeString) break;
      const char* f = (const char*)v.u.s;
      bool seen = false;
      for (int k = 0; k < n; ++k) seen = seen || strcasecmp(out[k], f) == 0;
      if (!seen && family_installed(f)) snprintf(out[n++], 128, "%s", f);
    }
  }
  FcPatternDestroy(p);
  return n;
}

// The TrueType numbers from which GDI derives sizes and metrics.
struct face_numbers {
  int64_t em;
  int64_t ascent;   // usWinAscent, or the hhea ascender
  int64_t descent;  // |usWinDescent|, or minus the hhea descender
  int64_t bbox_width;
  int64_t avg_width;
  int first_char;
};

void read_numbers(FT_Face face, face_numbers* n) {
  n->em = face->units_per_EM ? face->units_per_EM : 2048;
  n->ascent = face->ascender;
  n->descent = -face->descender;
  n->bbox_width = face->bbox.xMax - face->bbox.xMin;
  n->avg_width = face->max_advance_width / 2;
  n->first_char = 0x20;
  TT_OS2* os2 = (TT_OS2*)FT_Get_Sfnt_Table(face, FT_SFNT_OS2);
  if (os2 && os2->version != 0xFFFF) {
    // Some fonts store a negative usWinDescent; GDI takes its magnitude.
    int64_t wa = os2->usWinAscent;
    int64_t wd = (int16_t)os2->usWinDescent;
    if (wd < 0) wd = -wd;
    if (wa || wd) {
      n->ascent = wa;
      n->descent = wd;
    }
    if (os2->xAvgCharWidth > 0) n->avg_width = os2->xAvgCharWidth;
    n->first_char = os2->usFirstCharIndex;
  }
}

// The em size in pixels for lfHeight: above 0 the cell (ascent + descent),
// below 0 the em itself, 0 the default cell of 16.
int64_t ppem_for_height(const face_numbers* n, int64_t height) {
  if (height == 0) height = 16;
  if (height < 0) return -height;
  int64_t units = n->ascent + n->descent;
  if (units <= 0) return height;
  int64_t ppem = mul_div(n->em, height, units);
  if (ppem > 1 && mul_div(units, ppem, n->em) > height) --ppem;
  return ppem;
}

uint8_t default_char_of(int first_char) {
  int brk = first_char <= 1 ? first_char + 2 : first_char > 0xFF ? 0x20 : first_char;
  return (uint8_t)(brk - 1);
}

// Weight and slant distance of a face from the wanted style; the lowest
// wins.  Bold is wanted above 550, as GDI's mapper decides; lighter
// weights all select the regular face.
int64_t style_distance(const face_entry* e, bool bold, bool italic) {
  bool e_bold = e->weight >= FC_WEIGHT_DEMIBOLD;
  bool e_italic = e->slant != FC_SLANT_ROMAN;
  int64_t d = 0;
  if (e_bold != bold) d += 1000000;
  if (e_italic != italic) d += 1000000;
  if (e->slant == FC_SLANT_OBLIQUE) d += 1;  // a true italic first
  int target = bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR;
  d += 100 * (int64_t)abs(e->weight - target);
  d += 1000 * (int64_t)abs(e->width - FC_WIDTH_NORMAL);
  return d;
}

FT_Face open_face(const face_entry* e) {
  FT_Face face = nullptr;
  if (FT_New_Face(g_ft, e->file, e->index, &face) != 0) return nullptr;
  return face;
}

// Chooses the bitmap strike closest to pixel_height.
int nearest_strike(FT_Face face, int64_t pixel_height) {
  int best = -1;
  int64_t best_d = 0;
  for (int i = 0; i < face->num_fixed_sizes; ++i) {
    int64_t d = face->available_sizes[i].height - pixel_height;
    if (d < 0) d = -d;
    if (best < 0 || d < best_d) {
      best = i;
      best_d = d;
    }
  }
  return best;
}

}  // namespace

struct plat_screen {
  int unused;
};

struct plat_hfont {
  FT_Face face;
  bool scalable;
  bool mono;
  bool fake_bold;
  bool fake_italic;
  int32_t ascent;
  int32_t descent;
  int32_t max_char_width;
  uint8_t default_char;
};

struct plat_surface {
  plat_hfont* font;
  int32_t width;
  int32_t height;
  uint8_t* pixels;
};

plat_screen* plat_screen_get() {
  if (!libraries_ready()) return nullptr;
  load_faces();
  return (plat_screen*)calloc(1, sizeof(plat_screen));
}

void plat_screen_release(plat_screen* screen) { free(screen); }

int plat_font_enumerate(plat_screen*, const plat_logfont* query,
                        plat_font_enum_fn fn, void* context) {
  load_faces();
  char name[sizeof query->lfFaceName + 1];
  memcpy(name, query->lfFaceName, sizeof query->lfFaceName);
  name[sizeof query->lfFaceName] = 0;
  char (*families)[128] = (char (*)[128])calloc(16, 128);
  if (!families) return 0;
  int nfam = 0;
  // A face that is not installed but has a metric-compatible stand-in is
  // reported under the name asked for, as a font-replacement entry is, so
  // that rules that go with that name still apply to it.
  const char* reported_as = nullptr;
  if (*name) {
    nfam = stand_in_families(name, families, 16);
    if (nfam > 0 && !family_installed(name) && !is_generic(name)) reported_as = name;
  } else {
    // No face name: one report per installed face, under its own family.
    nfam = -1;
  }
  int go_on = 1;
  for (int i = 0; go_on && i < g_face_count; ++i) {
    face_entry* e = &g_faces[i];
    const char* family = e->family;
    if (nfam >= 0) {
      family = nullptr;
      for (int k = 0; k < nfam && !family; ++k)
        if (has_family(e, families[k])) family = families[k];
      if (!family) continue;
      if (reported_as) family = reported_as;
    }
    if (query->lfCharSet == 0 && !e->ansi) continue;
    FT_Face face = open_face(e);
    if (!face) continue;
    plat_logfont lf;
    memset(&lf, 0, sizeof lf);
    plat_text_metrics tm;
    memset(&tm, 0, sizeof tm);
    uint32_t type;
    if (e->scalable && FT_IS_SCALABLE(face)) {
      // Scalable faces are reported at 32 pixels a cell-em, as GDI does.
      face_numbers n;
      read_numbers(face, &n);
      int64_t ppem = 32;
      int64_t scale = mul_div(ppem, 1 << 16, n.em);
      tm.ascent = (int32_t)mul_fix(n.ascent, scale);
      tm.descent = (int32_t)mul_fix(n.descent, scale);
      tm.max_char_width = (int32_t)mul_fix(n.bbox_width, scale);
      tm.default_char = default_char_of(n.first_char);
      lf.lfHeight = tm.ascent + tm.descent;
      int64_t avg = mul_fix(n.avg_width, scale);
      lf.lfWidth = (int32_t)(avg < 1 ? 1 : avg);
      type = 4;  // TRUETYPE_FONTTYPE
      lf.lfOutPrecision = 3;  // OUT_STROKE_PRECIS
    } else {
      int s = nearest_strike(face, (int64_t)(e->pixel_size + 0.5));
      if (s >= 0) FT_Select_Size(face, s);
      tm.ascent = (int32_t)((face->size->metrics.ascender + 63) >> 6);
      int32_t h = s >= 0 ? face->available_sizes[s].height : 0;
      tm.descent = h - tm.ascent > 0 ? h - tm.ascent
                                     : (int32_t)((-face->size->metrics.descender + 63) >> 6);
      tm.max_char_width = (int32_t)((face->size->metrics.max_advance + 63) >> 6);
      tm.default_char = 32;
      lf.lfHeight = tm.ascent + tm.descent;
      int32_t w = s >= 0 ? face->available_sizes[s].width : 0;
      if (w <= 0) {
        FT_UInt gi = FT_Get_Char_Index(face, 'x');
        if (gi && FT_Load_Glyph(face, gi, FT_LOAD_DEFAULT) == 0)
          w = (int32_t)((face->glyph->advance.x + 63) >> 6);
      }
      lf.lfWidth = w;
      type = PLAT_RASTER_FONTTYPE;
    }
    tm.char_set = e->ansi ? 0 : 1;
    lf.lfWeight = e->weight >= FC_WEIGHT_DEMIBOLD ? 700 : 400;
    lf.lfItalic = e->slant != FC_SLANT_ROMAN ? 255 : 0;
    lf.lfCharSet = tm.char_set;
    lf.lfClipPrecision = 2;  // CLIP_STROKE_PRECIS
    lf.lfQuality = 1;        // DRAFT_QUALITY
    lf.lfPitchAndFamily = e->fixed_pitch ? 1 : 2;
    // Face names hold 31 characters, as GDI's do.
    size_t fl = strlen(family);
    if (fl > sizeof lf.lfFaceName - 1) fl = sizeof lf.lfFaceName - 1;
    memcpy(lf.lfFaceName, family, fl);
    FT_Done_Face(face);
    go_on = fn(&lf, &tm, type, context);
  }
  free(families);
  return go_on;
}

plat_hfont* plat_font_create(const plat_logfont* logfont) {
  if (!libraries_ready()) return nullptr;
  load_faces();
  char name[sizeof logfont->lfFaceName + 1];
  memcpy(name, logfont->lfFaceName, sizeof logfont->lfFaceName);
  name[sizeof logfont->lfFaceName] = 0;
  bool bold = logfont->lfWeight > 550;
  bool italic = logfont->lfItalic != 0;
  char families[16][128];
  int nfam = stand_in_families(name, families, 16);
  if (nfam == 0) {
    // Not installed and nothing metric-compatible: the closest face that
    // fontconfig's matching gives, as GDI's mapper always gives one.
    FcPattern* p = FcPatternCreate();
    if (*name) FcPatternAddString(p, FC_FAMILY, (const FcChar8*)name);
    FcPatternAddInteger(p, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(p, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcConfigSubstitute(nullptr, p, FcMatchPattern);
    FcDefaultSubstitute(p);
    FcResult r;
    FcPattern* m = FcFontMatch(nullptr, p, &r);
    FcChar8* s = nullptr;
    if (m && FcPatternGetString(m, FC_FAMILY, 0, &s) == FcResultMatch &&
        family_installed((const char*)s)) {
      snprintf(families[nfam++], 128, "%s", (const char*)s);
    }
    if (m) FcPatternDestroy(m);
    FcPatternDestroy(p);
  }
  const face_entry* best = nullptr;
  int64_t best_d = 0;
  for (int k = 0; k < nfam && !best; ++k) {
    for (int i = 0; i < g_face_count; ++i) {
      const face_entry* e = &g_faces[i];
      if (!has_family(e, families[k])) continue;
      int64_t d = style_distance(e, bold, italic);
      if (!e->scalable) {
        // Among bitmap strikes, the nearest pixel size.
        int64_t want = logfont->lfHeight < 0 ? -(int64_t)logfont->lfHeight
                                             : logfont->lfHeight;
        int64_t dd = (int64_t)(e->pixel_size + 0.5) - (want ? want : 13);
        d += 10 * (dd < 0 ? -dd : dd) + 1;
      }
      if (!best || d < best_d) {
        best = e;
        best_d = d;
      }
    }
  }
  if (!best) return nullptr;
  FT_Face face = open_face(best);
  if (!face) return nullptr;
  plat_hfont* f = (plat_hfont*)calloc(1, sizeof(plat_hfont));
  if (!f) {
    FT_Done_Face(face);
    return nullptr;
  }
  f->face = face;
  f->mono = logfont->lfQuality == 3;  // NONANTIALIASED_QUALITY
  f->fake_bold = bold && best->weight < FC_WEIGHT_DEMIBOLD;
  f->fake_italic = italic && best->slant == FC_SLANT_ROMAN;
  if (FT_IS_SCALABLE(face)) {
    f->scalable = true;
    face_numbers n;
    read_numbers(face, &n);
    int64_t ppem = ppem_for_height(&n, logfont->lfHeight);
    if (ppem < 1) ppem = 1;
    if (ppem > 4096) ppem = 4096;
    if (FT_Set_Pixel_Sizes(face, 0, (FT_UInt)ppem) != 0) {
      FT_Done_Face(face);
      free(f);
      return nullptr;
    }
    int64_t scale = mul_div(ppem, 1 << 16, n.em);
    f->ascent = (int32_t)mul_fix(n.ascent, scale);
    f->descent = (int32_t)mul_fix(n.descent, scale);
    f->max_char_width = (int32_t)mul_fix(n.bbox_width, scale);
    if (f->fake_bold) ++f->max_char_width;
    f->default_char = default_char_of(n.first_char);
  } else {
    int64_t want = logfont->lfHeight < 0 ? -(int64_t)logfont->lfHeight : logfont->lfHeight;
    int s = nearest_strike(face, want ? want : (int64_t)(best->pixel_size + 0.5));
    if (s < 0 || FT_Select_Size(face, s) != 0) {
      FT_Done_Face(face);
      free(f);
      return nullptr;
    }
    f->ascent = (int32_t)((face->size->metrics.ascender + 63) >> 6);
    int32_t h = face->available_sizes[s].height;
    f->descent = h > f->ascent ? h - f->ascent
                               : (int32_t)((-face->size->metrics.descender + 63) >> 6);
    f->max_char_width = (int32_t)((face->size->metrics.max_advance + 63) >> 6);
    f->default_char = 32;
  }
  return f;
}

void plat_font_delete(plat_hfont* font) {
  if (!font) return;
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

namespace {

FT_UInt glyph_index(plat_hfont* font, uint8_t c) {
  return FT_Get_Char_Index(font->face, cp1252_to_unicode(c));
}

}  // namespace

int32_t plat_font_char_advance(plat_screen*, plat_hfont* font, uint8_t c) {
  // Measured from a normally hinted load and rounded up to whole pixels,
  // whatever the quality that drawing uses.
  if (FT_Load_Glyph(font->face, glyph_index(font, c), FT_LOAD_DEFAULT) != 0)
    return 0;
  int64_t adv = (font->face->glyph->advance.x + 63) & -64;
  int32_t px = (int32_t)(adv >> 6);
  if (font->fake_bold) ++px;
  return px;
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
  FT_Int32 flags = FT_LOAD_DEFAULT;
  if (font->scalable) flags |= font->mono ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_NORMAL;
  if (FT_Load_Glyph(font->face, glyph_index(font, c), flags) != 0) return false;
  FT_GlyphSlot slot = font->face->glyph;
  if (font->fake_italic) FT_GlyphSlot_Oblique(slot);
  if (font->fake_bold) FT_GlyphSlot_Embolden(slot);
  if (slot->format != FT_GLYPH_FORMAT_BITMAP &&
      FT_Render_Glyph(slot, font->mono ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL) != 0)
    return false;
  const FT_Bitmap* bm = &slot->bitmap;
  int32_t ox = x + slot->bitmap_left;
  int32_t oy = y + font->ascent - slot->bitmap_top;
  for (unsigned row = 0; row < bm->rows; ++row) {
    int32_t py = oy + (int32_t)row;
    if (py < top || py >= bottom) continue;
    const uint8_t* src = bm->buffer + (ptrdiff_t)row * bm->pitch;
    if (bm->pitch < 0) src = bm->buffer + (ptrdiff_t)(bm->rows - 1 - row) * -bm->pitch;
    for (unsigned col = 0; col < bm->width; ++col) {
      int32_t px = ox + (int32_t)col;
      if (px < left || px >= right) continue;
      uint8_t v;
      if (bm->pixel_mode == FT_PIXEL_MODE_MONO)
        v = (src[col >> 3] >> (7 - (col & 7))) & 1 ? 255 : 0;
      else if (bm->pixel_mode == FT_PIXEL_MODE_GRAY)
        v = bm->num_grays == 256 ? src[col]
                                 : (uint8_t)(src[col] * 255 / (bm->num_grays - 1));
      else
        continue;
      if (!v) continue;
      uint8_t* d = s->pixels + ((size_t)py * s->width + px) * 4;
      if (v > d[0]) d[0] = d[1] = d[2] = v;
    }
  }
  return true;
}

void plat_surface_flush(plat_surface*) {}

void plat_surface_delete(plat_surface* s) {
  if (!s) return;
  free(s->pixels);
  free(s);
}

bool plat_os_version(uint32_t*, uint32_t*) { return false; }
