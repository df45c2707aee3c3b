// The catalogue of installed faces over fontconfig: the faces listed once
// per process, the families that stand for a name (installed,
// metric-compatible or generic, with the substitutions of expected names
// made together), and enumeration with GDI's meanings.
#include "platform/font/plat_font-posix.h"

#include FT_TRUETYPE_TABLES_H
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "platform/font/plat_font_config-posix.h"

using namespace font_engine;

namespace {

bool cp1252_defined(uint8_t c) {
  return !(c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D);
}

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

}  // namespace

namespace font_engine {

FT_Library g_ft = nullptr;

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

face_entry* g_faces = nullptr;
int g_face_count = -1;

}  // namespace font_engine

namespace {

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

// Whether the face is of a format that a Windows machine reads: sfnt
// (TrueType or OpenType) or FNT.  X11 core fonts (PCF, BDF) and bare Type 1
// or CFF files are none.
bool windows_format(FcPattern* p) {
  FcChar8* f = nullptr;
  if (FcPatternGetString(p, FC_FONTFORMAT, 0, &f) != FcResultMatch) return true;
  const char* format = (const char*)f;
  return strcmp(format, "TrueType") == 0 || strcmp(format, "CFF") == 0 ||
         strcmp(format, "Windows FNT") == 0;
}
}  // namespace

namespace font_engine {

// Lists every installed face once per process.
void load_faces() {
  if (g_face_count >= 0) return;
  g_face_count = 0;
  if (!libraries_ready()) return;
  FcPattern* pat = FcPatternCreate();
  FcObjectSet* os =
      FcObjectSetBuild(FC_FAMILY, FC_STYLE, FC_FULLNAME, FC_FILE, FC_INDEX, FC_WEIGHT,
                       FC_SLANT, FC_WIDTH, FC_SPACING, FC_SCALABLE,
                       FC_PIXEL_SIZE, FC_CHARSET, FC_FONTFORMAT, (char*)0);
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
    if (!windows_format(p)) continue;
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
}  // namespace font_engine

namespace {

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

// The expected names by hash, open addressing: each slot holds an index
// into g_expected plus 1, or 0 when free.  Twice as many slots as names at
// least, so that a look-up costs the same however many names there are.
int* g_expected_slots = nullptr;
size_t g_expected_slot_count = 0;

size_t name_hash(const char* name, size_t len) {
  uint64_t h = 1469598103934665603ull;
  for (size_t i = 0; i < len; ++i) h = (h ^ (uint8_t)name[i]) * 1099511628211ull;
  return (size_t)h;
}

// The index of the expected name (len bytes) or -1.
int find_expected(const char* name, size_t len) {
  if (g_expected_slot_count == 0) return -1;
  const size_t mask = g_expected_slot_count - 1;
  for (size_t at = name_hash(name, len) & mask;; at = (at + 1) & mask) {
    const int k = g_expected_slots[at] - 1;
    if (k < 0) return -1;
    if (strlen(g_expected[k].name) == len && memcmp(g_expected[k].name, name, len) == 0) return k;
  }
}

void put_slot(int k) {
  const size_t mask = g_expected_slot_count - 1;
  size_t at = name_hash(g_expected[k].name, strlen(g_expected[k].name)) & mask;
  while (g_expected_slots[at]) at = (at + 1) & mask;
  g_expected_slots[at] = k + 1;
}

// Makes room for one more name in the table and its slots.
bool grow_expected() {
  if (g_expected_count == g_expected_cap) {
    int cap = g_expected_cap ? 2 * g_expected_cap : 32;
    expected_name* grown =
        (expected_name*)realloc(g_expected, (size_t)cap * sizeof(expected_name));
    if (!grown) return false;
    g_expected = grown;
    g_expected_cap = cap;
  }
  if ((size_t)(g_expected_count + 1) * 2 > g_expected_slot_count) {
    size_t count = g_expected_slot_count ? 2 * g_expected_slot_count : 64;
    int* slots = (int*)calloc(count, sizeof(int));
    if (!slots) return false;
    free(g_expected_slots);
    g_expected_slots = slots;
    g_expected_slot_count = count;
    for (int k = 0; k < g_expected_count; ++k) put_slot(k);
  }
  return true;
}

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
//
// Reading the n-th family of a pattern walks the n before it, so the
// names go in batches of a bounded size: the cost grows with the number
// of names, not with its square.
const int kBatchNames = 32;

// Substitutes the next batch of waiting names from *next on; false when
// none were waiting.
bool substitute_batch(int* next) {
  int* part_of = (int*)calloc((size_t)kBatchNames, sizeof(int));
  int parts = 0;
  FcPattern* p = part_of ? FcPatternCreate() : nullptr;
  if (p) FcPatternAddString(p, FC_FAMILY, (const FcChar8*)kSeparator);
  bool waiting = false;
  for (; *next < g_expected_count && parts < kBatchNames; ++*next) {
    expected_name* e = &g_expected[*next];
    if (e->substituted) continue;
    waiting = true;
    const int i = *next;
    e->substituted = true;
    if (!p || !*e->name || is_generic(e->name) || family_installed(e->name)) continue;
    FcPatternAddString(p, FC_FAMILY, (const FcChar8*)e->name);
    FcPatternAddString(p, FC_FAMILY, (const FcChar8*)kSeparator);
    part_of[parts++] = i;
  }
  if (!p || parts == 0) {
    if (p) FcPatternDestroy(p);
    free(part_of);
    return waiting;
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
  return true;
}

void substitute_expected() {
  int next = 0;
  while (substitute_batch(&next)) {
  }
}

// The strongly bound run after name from the one substitution of the
// expected names, or null.
const char* expected_run(const char* name) {
  const int i = find_expected(name, strlen(name));
  if (i < 0) return nullptr;
  if (!g_expected[i].substituted) substitute_expected();
  return g_expected[i].run;
}

// Adds f to the n stand-ins in out unless it is there already or is not
// installed.
void add_stand_in(const char* f, char (*out)[128], int* n) {
  bool seen = false;
  for (int k = 0; k < *n; ++k) seen = seen || strcasecmp(out[k], f) == 0;
  if (!seen && family_installed(f)) snprintf(out[(*n)++], 128, "%s", f);
}
}  // namespace

namespace font_engine {

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

FT_Face open_face(const face_entry* e) {
  FT_Face face = nullptr;
  if (FT_New_Face(g_ft, e->file, e->index, &face) != 0) return nullptr;
  return face;
}

}  // namespace font_engine

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
    if (find_expected(names[i], len) >= 0) continue;
    if (!grow_expected()) return;
    char* name = (char*)calloc(len + 1, 1);
    if (!name) return;
    memcpy(name, names[i], len);
    g_expected[g_expected_count] = {name, nullptr, false};
    put_slot(g_expected_count++);
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
  // A substitute name (MS Shell Dlg for Tahoma) is reported the same way,
  // raster faces included, as GDI enumerates it.
  const char* reported_as = nullptr;
  bool substituted = false;
  if (*name) {
    const char* subst = family_installed(name) || is_generic(name)
                            ? nullptr
                            : font_substitute(name, query->lfCharSet);
    if (subst && installed_family(subst)) {
      snprintf(families[0], 128, "%s", installed_family(subst));
      nfam = 1;
      substituted = true;
    } else {
      nfam = stand_in_families(name, families, 16);
    }
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
      // A raster face never stands in for a face that is not installed.
      if (reported_as && !substituted && !e->scalable) continue;
      if (reported_as) family = reported_as;
    }
    // A bitmap face's character set is its FNT header's, read below.
    // An outline face counts as ANSI when its code pages say Latin-1, as
    // the mapper reads them.
    probe_face(e);
    const bool ansi = e->scalable ? (e->code_pages & 1u) != 0 : e->ansi;
    if (query->lfCharSet == 0 && !ansi && e->scalable) continue;
    FT_Face face = open_face(e);
    if (!face) continue;
    plat_logfont lf;
    memset(&lf, 0, sizeof lf);
    plat_text_metrics tm;
    memset(&tm, 0, sizeof tm);
    uint32_t type;
    tm.char_set = ansi ? 0 : 1;
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
      if (!e->usable || !bitmap_font_init(&bf, face, 0, 0, false, false) ||
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

bool plat_os_version(uint32_t*, uint32_t*) { return false; }
