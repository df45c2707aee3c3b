// Font services on fontconfig and FreeType, with the meanings of the GDI
// calls that the Win32 build makes: the same enumeration, sizes, metrics,
// advances and drawing for TrueType faces.  Outline faces follow GDI's
// rules (plat_font_gdi.h) and the same FreeType calls that GDI's
// FreeType-based implementations make, so that the glyph sets agree byte
// for byte with theirs.
#include "platform/plat_font.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_BITMAP_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H
#include FT_TRUETYPE_TAGS_H
#include FT_MODULE_H
#include <fontconfig/fontconfig.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <utility>

#include "platform/plat_font_bitmap.h"
#include "platform/plat_font_config-posix.h"
#include "platform/plat_font_gdi.h"
#include "platform/plat_font_gray-posix.h"

namespace {

uint32_t cp1252_to_unicode(uint8_t c) { return gdi_cp1252_to_unicode(c); }

bool cp1252_defined(uint8_t c) {
  return !(c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D);
}

FT_Library g_ft = nullptr;
bool g_fc_ready = false;

// fontconfig's start-up keeps blocks that only its own shutdown frees,
// which a leak checker reports; anywhere else the exit gives them back
// without the shutdown's walk over them.
#if defined(__SANITIZE_ADDRESS__)
const bool kLeakChecked = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
const bool kLeakChecked = true;
#else
const bool kLeakChecked = false;
#endif
#else
const bool kLeakChecked = false;
#endif

bool libraries_ready() {
  if (!g_fc_ready) {
    if (!plat_font_config_init()) return false;
    if (kLeakChecked) atexit(FcFini);
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
  char fullname[128];  // the first full name, or empty
  char file[1024];
  int index;
  int weight;  // fontconfig scale
  int slant;
  int width;
  bool fixed_pitch;
  bool scalable;
  bool ansi;
};

face_entry* g_faces = nullptr;
int g_face_count = -1;

// The codes that a face must cover to count as an ANSI one: the printable
// characters of Windows-1252.
bool cp1252_printable(int c) {
  return c >= 0x20 && c != 0x7F && !(c >= 0x80 && c < 0xA0 && !cp1252_defined((uint8_t)c));
}

// Those characters as a set, or null.
FcCharSet* cp1252_charset() {
  FcCharSet* set = FcCharSetCreate();
  for (int c = 0x20; set && c <= 0xFF; ++c) {
    if (cp1252_printable(c) && !FcCharSetAddChar(set, cp1252_to_unicode((uint8_t)c))) {
      FcCharSetDestroy(set);
      set = nullptr;
    }
  }
  return set;
}

// Whether cs covers them; cp1252 is their set where there is one.
bool covers_cp1252(FcCharSet* cs, const FcCharSet* cp1252) {
  if (!cs) return false;
  if (cp1252) return FcCharSetIsSubset(cp1252, cs);
  for (int c = 0x20; c <= 0xFF; ++c)
    if (cp1252_printable(c) && !FcCharSetHasChar(cs, cp1252_to_unicode((uint8_t)c)))
      return false;
  return true;
}

// Lists every installed face once per process.
void load_faces() {
  if (g_face_count >= 0) return;
  g_face_count = 0;
  if (!libraries_ready()) return;
  FcPattern* pat = FcPatternCreate();
  FcObjectSet* os =
      FcObjectSetBuild(FC_FAMILY, FC_STYLE, FC_FULLNAME, FC_FILE, FC_INDEX, FC_WEIGHT,
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
  FcCharSet* cp1252 = cp1252_charset();
  for (int i = 0; i < set->nfont; ++i) {
    FcPattern* p = set->fonts[i];
    face_entry* e = &g_faces[g_face_count];
    FcChar8* s = nullptr;
    if (FcPatternGetString(p, FC_FILE, 0, &s) != FcResultMatch) continue;
    snprintf(e->file, sizeof e->file, "%s", (const char*)s);
    if (FcPatternGetString(p, FC_FAMILY, 0, &s) != FcResultMatch) continue;
    snprintf(e->family, sizeof e->family, "%s", (const char*)s);
    if (FcPatternGetString(p, FC_FULLNAME, 0, &s) == FcResultMatch)
      snprintf(e->fullname, sizeof e->fullname, "%s", (const char*)s);
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
    FcCharSet* cs = nullptr;
    e->ansi = FcPatternGetCharSet(p, FC_CHARSET, 0, &cs) == FcResultMatch &&
              covers_cp1252(cs, cp1252);
    ++g_face_count;
  }
  if (cp1252) FcCharSetDestroy(cp1252);
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

// The face whose full name is name ("Tahoma Bold"), compared as GDI
// compares face names: without regard to case, in their first 31
// characters.  Null when none is.
const face_entry* face_by_full_name(const char* name) {
  for (int i = 0; *name && i < g_face_count; ++i)
    if (g_faces[i].fullname[0] && strncasecmp(g_faces[i].fullname, name, 31) == 0)
      return &g_faces[i];
  return nullptr;
}

// Names that fontconfig resolves by its own preference rather than by an
// installed family.
bool is_generic(const char* name) {
  static const char* const kGeneric[] = {"monospace", "mono", "sans-serif",
                                         "sans", "serif", "system-ui"};
  for (const char* g : kGeneric)
    if (strcasecmp(name, g) == 0) return true;
  return false;
}

// The face names that enumerations are to ask for (at most a face name's
// 31 characters, as they will be asked), each with the strongly bound run
// that the substitution puts after it, NUL-separated and ending in "\0\0"
// (null where unknown), once the names waiting have been substituted
// together.  One substitution of many names costs about what one of a
// single name does.
struct expected_name {
  char* name;
  char* run;
  bool substituted;
};
expected_name* g_expected = nullptr;
int g_expected_count = 0;
int g_expected_cap = 0;

// A family name that no configuration rule names, between the names of
// the one substitution, so that what a rule adds after a name stays with
// that name.
const char kSeparator[] = "\x01";

bool is_separator(const FcValue& v) {
  return v.type == FcTypeString && strcmp((const char*)v.u.s, kSeparator) == 0;
}

// Substitutes the waiting names that are neither installed nor generic in
// one pattern: separator, name, separator, name, ..., separator.  Each
// name's part holds what its own substitution would put after it, as long
// as the rules add after the name they match, which the checks make sure
// of: every part starts with its name, nothing comes before the first
// separator, and nothing strongly bound comes after the last (a rule that
// adds at the start or the end of the list would have added next to a
// single name).  Otherwise each name is substituted alone, as before.
void substitute_expected() {
  int* part_of = (int*)calloc((size_t)g_expected_count + 1, sizeof(int));
  int parts = 0;
  FcPattern* p = part_of ? FcPatternCreate() : nullptr;
  if (p) FcPatternAddString(p, FC_FAMILY, (const FcChar8*)kSeparator);
  for (int i = 0; i < g_expected_count; ++i) {
    expected_name* e = &g_expected[i];
    if (e->substituted) continue;
    e->substituted = true;
    if (!p || !*e->name || is_generic(e->name) || family_installed(e->name)) continue;
    FcPatternAddString(p, FC_FAMILY, (const FcChar8*)e->name);
    FcPatternAddString(p, FC_FAMILY, (const FcChar8*)kSeparator);
    part_of[parts++] = i;
  }
  if (!p || parts == 0) {
    if (p) FcPatternDestroy(p);
    free(part_of);
    return;
  }
  FcConfigSubstitute(nullptr, p, FcMatchPattern);
  FcValue v;
  FcValueBinding b;
  int at = 0;
  bool sound = FcPatternGetWithBinding(p, FC_FAMILY, at++, &v, &b) == FcResultMatch &&
               is_separator(v);
  for (int part = 0; sound && part < parts; ++part) {
    const char* name = g_expected[part_of[part]].name;
    sound = FcPatternGetWithBinding(p, FC_FAMILY, at++, &v, &b) == FcResultMatch &&
            b == FcValueBindingStrong && v.type == FcTypeString &&
            strcmp((const char*)v.u.s, name) == 0;
    int first = at;
    size_t size = 2;
    bool run = true;
    while (sound) {
      if (FcPatternGetWithBinding(p, FC_FAMILY, at++, &v, &b) != FcResultMatch) {
        sound = false;  // the separator is gone
      } else if (is_separator(v)) {
        break;
      } else if (run && b == FcValueBindingStrong && v.type == FcTypeString) {
        size += strlen((const char*)v.u.s) + 1;
      } else {
        run = false;
      }
    }
    char* families = sound ? (char*)calloc(size, 1) : nullptr;
    sound = families != nullptr;
    char* w = families;
    for (int k = first; sound; ++k) {
      if (FcPatternGetWithBinding(p, FC_FAMILY, k, &v, &b) != FcResultMatch ||
          b != FcValueBindingStrong || v.type != FcTypeString || is_separator(v))
        break;
      size_t n = strlen((const char*)v.u.s);
      memcpy(w, v.u.s, n);
      w += n + 1;
    }
    if (sound) g_expected[part_of[part]].run = families;
  }
  while (sound && FcPatternGetWithBinding(p, FC_FAMILY, at++, &v, &b) == FcResultMatch)
    sound = b != FcValueBindingStrong;
  FcPatternDestroy(p);
  if (!sound) {
    for (int part = 0; part < parts; ++part) {
      free(g_expected[part_of[part]].run);
      g_expected[part_of[part]].run = nullptr;
    }
  }
  free(part_of);
}

// The strongly bound run after name from the one substitution of the
// expected names, or null.
const char* expected_run(const char* name) {
  for (int i = 0; i < g_expected_count; ++i) {
    if (strcmp(g_expected[i].name, name) != 0) continue;
    if (!g_expected[i].substituted) substitute_expected();
    return g_expected[i].run;
  }
  return nullptr;
}

// Adds f to the n stand-ins in out unless it is there already or is not
// installed.
void add_stand_in(const char* f, char (*out)[128], int* n) {
  bool seen = false;
  for (int k = 0; k < *n; ++k) seen = seen || strcasecmp(out[k], f) == 0;
  if (!seen && family_installed(f)) snprintf(out[(*n)++], 128, "%s", f);
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
  if (!is_generic(name)) {
    if (const char* run = expected_run(name)) {
      for (const char* f = run; *f && n < max; f += strlen(f) + 1) add_stand_in(f, out, &n);
      return n;
    }
  }
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
      add_stand_in((const char*)v.u.s, out, &n);
    }
  }
  FcPatternDestroy(p);
  return n;
}

// The sfnt numbers from which GDI derives sizes and metrics; false when the
// face lacks the OS/2 or hhea table, so that GDI's outline metrics do not
// apply to it.
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

// The bitmap face of family that GDI's mapper picks for the logical
// font, among the family's registered bitmap faces in the mapper's order
// (regular, bold, italic, bold italic; then by file and index).  Null
// when the family has none.
const face_entry* pick_bitmap_face(const char* family, const plat_logfont* lf,
                                   bool bold, bool italic) {
  const int kMax = 64;
  const face_entry* entries[kMax];
  bitmap_strike strikes[kMax];
  int n = 0;
  for (int i = 0; i < g_face_count && n < kMax; ++i) {
    const face_entry* e = &g_faces[i];
    if (e->scalable || !has_family(e, family)) continue;
    FT_Face face = open_face(e);
    if (!face) continue;
    bitmap_strike s;
    if (bitmap_face_registered(face) && bitmap_face_strike(face, &s) &&
        bitmap_strike_serves(&s, lf->lfCharSet)) {
      // Insertion keeps the mapper's order.
      int at = n;
      const int order = (s.italic ? 2 : 0) + (s.bold ? 1 : 0);
      while (at > 0) {
        const bitmap_strike* p = &strikes[at - 1];
        const int p_order = (p->italic ? 2 : 0) + (p->bold ? 1 : 0);
        const int by_file = strcmp(entries[at - 1]->file, e->file);
        if (p_order < order || (p_order == order && (by_file < 0 ||
                                (by_file == 0 && entries[at - 1]->index < e->index))))
          break;
        entries[at] = entries[at - 1];
        strikes[at] = strikes[at - 1];
        --at;
      }
      entries[at] = e;
      strikes[at] = s;
      ++n;
    }
    FT_Done_Face(face);
  }
  const int k = bitmap_pick_strike(strikes, n, lf->lfHeight, bold, italic);
  return k < 0 ? nullptr : entries[k];
}

// A drawn outline glyph: levels 0 to 16 for width x height pixels, whose
// top-left corner lies left pixels right of the pen and top pixels above
// the baseline.
struct outline_glyph {
  int32_t left;
  int32_t top;
  int32_t width;
  int32_t height;
  uint8_t* levels;
};

}  // namespace

struct plat_screen {
  int unused;
};

struct plat_hfont {
  FT_Face face;
  bool scalable;
  bitmap_font bitmap;  // faces that are not scalable
  bool mono;  // drawn without smoothing
  bool fake_bold;
  bool fake_italic;
  int64_t ppem;
  gdi_transform transform;   // width asked for, synthesised italic
  gdi_face_numbers numbers;  // outline faces with sfnt metrics
  bool gdi_metrics;          // numbers were read
  int32_t ascent;
  int32_t descent;
  int32_t max_char_width;
  uint8_t default_char;
  // Lines drawn through the text: offsets above the baseline and widths.
  bool underline;
  bool strikeout;
  int32_t underline_pos;
  int32_t underline_width;
  int32_t strikeout_pos;
  int32_t strikeout_width;
  // Advances once measured; and where measuring and drawing load a glyph
  // alike, the glyph drawn from the measuring load (null until then).
  int32_t advance[256];
  bool measured[256];
  outline_glyph* drawn[256];
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

void plat_font_expect_faces(const char* const* names, int count) {
  for (int i = 0; i < count; ++i) {
    // As an enumeration will ask: in a face name's 31 characters.
    const size_t len = strnlen(names[i], sizeof(plat_logfont::lfFaceName) - 1);
    bool known = false;
    for (int k = 0; k < g_expected_count && !known; ++k)
      known = strlen(g_expected[k].name) == len &&
              memcmp(g_expected[k].name, names[i], len) == 0;
    if (known) continue;
    if (g_expected_count == g_expected_cap) {
      int cap = g_expected_cap ? 2 * g_expected_cap : 32;
      expected_name* grown =
          (expected_name*)realloc(g_expected, (size_t)cap * sizeof(expected_name));
      if (!grown) return;
      g_expected = grown;
      g_expected_cap = cap;
    }
    char* name = (char*)calloc(len + 1, 1);
    if (!name) return;
    memcpy(name, names[i], len);
    g_expected[g_expected_count++] = {name, nullptr, false};
  }
}

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
    // A bitmap face's character set is its FNT header's, read below.
    if (query->lfCharSet == 0 && !e->ansi && e->scalable) continue;
    FT_Face face = open_face(e);
    if (!face) continue;
    plat_logfont lf;
    memset(&lf, 0, sizeof lf);
    plat_text_metrics tm;
    memset(&tm, 0, sizeof tm);
    uint32_t type;
    tm.char_set = e->ansi ? 0 : 1;
    lf.lfPitchAndFamily = e->fixed_pitch ? 1 : 2;
    if (e->scalable && FT_IS_SCALABLE(face)) {
      // Scalable faces are reported at 32 pixels a cell-em, as GDI does.
      gdi_face_numbers n;
      if (!read_numbers(face, &n)) n.avg_char_width = face->max_advance_width / 2;
      gdi_text_metrics m;
      gdi_outline_metrics(&n, 32, 0, 0, false, &m);
      tm.ascent = m.ascent;
      tm.descent = m.descent;
      tm.max_char_width = m.max_char_width;
      tm.default_char = m.default_char;
      lf.lfHeight = tm.ascent + tm.descent;
      int64_t avg = FT_MulFix(n.avg_char_width, gdi_em_scale(32, n.units_per_em));
      lf.lfWidth = (int32_t)(avg < 1 ? 1 : avg);
      type = 4;  // TRUETYPE_FONTTYPE
      lf.lfOutPrecision = 3;  // OUT_STROKE_PRECIS
    } else {
      // A bitmap face is reported with its strike's own metrics; faces
      // that GDI does not register are not reported at all.
      bitmap_font bf;
      if (!bitmap_face_registered(face) || !bitmap_font_init(&bf, face, 0, 0, false, false) ||
          (query->lfCharSet == 0 && bf.numbers.char_set != 0)) {
        FT_Done_Face(face);
        continue;
      }
      tm.char_set = bf.numbers.char_set;
      // The header's pitch bit is set for a variable pitch; the logical
      // font's pitch is 1 (fixed) or 2 (variable), with the family bits.
      lf.lfPitchAndFamily = (uint8_t)((bf.numbers.pitch_and_family & 0xF1) + 1);
      tm.ascent = bf.metrics.ascent;
      tm.descent = bf.metrics.descent;
      tm.max_char_width = bf.metrics.max_char_width;
      tm.default_char = bf.metrics.default_char;
      lf.lfHeight = tm.ascent + tm.descent;
      lf.lfWidth = bf.numbers.avg_width;
      type = PLAT_RASTER_FONTTYPE;
    }
    lf.lfWeight = e->weight >= FC_WEIGHT_DEMIBOLD ? 700 : 400;
    lf.lfItalic = e->slant != FC_SLANT_ROMAN ? 255 : 0;
    lf.lfCharSet = tm.char_set;
    lf.lfClipPrecision = 2;  // CLIP_STROKE_PRECIS
    lf.lfQuality = 1;        // DRAFT_QUALITY
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
  char name[sizeof logfont->lfFaceName + 1];
  memcpy(name, logfont->lfFaceName, sizeof logfont->lfFaceName);
  name[sizeof logfont->lfFaceName] = 0;
  bool bold = logfont->lfWeight > 550;
  bool italic = logfont->lfItalic != 0;
  char families[16][128];
  // A name that is no family may be one face's full name.
  const face_entry* best = installed_family(name) ? nullptr : face_by_full_name(name);
  int nfam = best ? 0 : stand_in_families(name, families, 16);
  if (nfam == 0 && !best) {
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
  int64_t best_d = 0;
  for (int k = 0; k < nfam && !best; ++k) {
    for (int i = 0; i < g_face_count; ++i) {
      const face_entry* e = &g_faces[i];
      if (!e->scalable || !has_family(e, families[k])) continue;
      int64_t d = style_distance(e, bold, italic);
      if (!best || d < best_d) {
        best = e;
        best_d = d;
      }
    }
    // A family of bitmap faces only: the strike as GDI's mapper picks it.
    if (!best) best = pick_bitmap_face(families[k], logfont, bold, italic);
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
                          italic)) {
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

namespace {

FT_UInt glyph_index(plat_hfont* font, uint32_t unicode) {
  return FT_Get_Char_Index(font->face, unicode);
}

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
  const uint32_t tries[3] = {cp1252_to_unicode(c), 0, 0x20};
  bool loaded = false;
  for (int i = 0; i < 3 && !loaded; ++i)
    loaded = load_outline_glyph(font, glyph_index(font, tries[i]), false);
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
  FT_UInt gi = glyph_index(font, cp1252_to_unicode(c));
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

bool plat_os_version(uint32_t*, uint32_t*) { return false; }
