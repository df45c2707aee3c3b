// GDI's font mapper over the catalogue's faces: the face that a logical
// font gets, and the code page through which its text is drawn.
//
// The face named is taken when it is installed and serves the character
// set asked for; else its substitute from the table of font substitutes
// that a Windows installation ships; else the face whose full name it is;
// else a metric-compatible scalable stand-in that fontconfig declares for
// it (a Windows machine would have the face itself).  Failing all of
// these, the mapper's fallbacks: the default faces of the kind that
// lfPitchAndFamily asks for, then every family in the mapper's order,
// outline faces before bitmap ones, first with the character set asked
// for and then with any.  Only when no face at all is installed is there
// none.
#include "platform/font/plat_font-posix.h"

#include FT_TRUETYPE_TABLES_H
#include FT_WINFONTS_H
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "platform/font/plat_font_codepage.h"

using namespace font_engine;

namespace {

// The font substitutes of a Windows installation for the Western code
// page, as the Windows platform that the program meets ships them: a name
// (with the character set it applies to, or -1 for any) and the face that
// stands for it.
struct substitute {
  const char* from;
  int from_charset;
  const char* to;
};
const substitute kSubstitutes[] = {
    {"Arial Baltic", 186, "Arial"},
    {"Arial CE", 238, "Arial"},
    {"Arial CYR", 204, "Arial"},
    {"Arial Greek", 161, "Arial"},
    {"Arial TUR", 162, "Arial"},
    {"Courier New Baltic", 186, "Courier New"},
    {"Courier New CE", 238, "Courier New"},
    {"Courier New CYR", 204, "Courier New"},
    {"Courier New Greek", 161, "Courier New"},
    {"Courier New TUR", 162, "Courier New"},
    {"Helv", -1, "MS Sans Serif"},
    {"Helvetica", -1, "Arial"},
    {"MS Shell Dlg", -1, "Tahoma"},
    {"MS Shell Dlg 2", -1, "Tahoma"},
    {"Times", -1, "Times New Roman"},
    {"Times New Roman Baltic", 186, "Times New Roman"},
    {"Times New Roman CE", 238, "Times New Roman"},
    {"Times New Roman CYR", 204, "Times New Roman"},
    {"Times New Roman Greek", 161, "Times New Roman"},
    {"Times New Roman TUR", 162, "Times New Roman"},
    {"Tms Rmn", -1, "Times New Roman"},
};

// The faces the mapper falls back on first, by kind, before those that
// fontconfig names for the kind.
const char* const kFixedDefaults[] = {"Courier New", "Liberation Mono",
                                      "Bitstream Vera Sans Mono"};
const char* const kSerifDefaults[] = {"Times New Roman", "Liberation Serif",
                                      "Bitstream Vera Serif"};
const char* const kSansDefaults[] = {"Arial", "Liberation Sans", "Bitstream Vera Sans"};

const uint8_t kFixedPitch = 1;
const uint8_t kFamilyMask = 0xF0;
const uint8_t kFamilyRoman = 0x10;
const uint8_t kFamilyModern = 0x30;
const uint8_t kSymbolCharset = 2;
const uint8_t kOemCharset = 255;

enum kind { kSans, kFixed, kSerif };

kind kind_of(uint8_t pitch_and_family) {
  if ((pitch_and_family & kFixedPitch) || (pitch_and_family & kFamilyMask) == kFamilyModern)
    return kFixed;
  if ((pitch_and_family & kFamilyMask) == kFamilyRoman) return kSerif;
  return kSans;
}

// Whether a Western installation registers a strike of this character
// set: the raster fonts of its own code page, and the symbol and OEM ones.
// The strikes made for other code pages lie in its font folder unused.
bool strike_installed(const bitmap_strike* s) {
  return s->char_set < 0 || s->char_set == 0 || s->char_set == kSymbolCharset ||
         s->char_set == kOemCharset;
}

uint32_t be32(const uint8_t* p) {
  return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
}

bool read_at(FILE* f, long at, uint8_t* buf, size_t n) {
  return fseek(f, at, SEEK_SET) == 0 && fread(buf, 1, n, f) == n;
}

// The code-page bits of face index of an sfnt file as GDI reads them from
// its OS/2 table: ulCodePageRange1, or for a table of version 0 the
// symbol or Latin-1 set by its first character.  False where the file is
// no sfnt, has no OS/2 table or declares no set, which the font engine
// then decides.
bool read_sfnt_code_pages(const char* file, int index, uint32_t* out) {
  FILE* f = fopen(file, "rb");
  if (!f) return false;
  bool ok = false;
  uint8_t head[12];
  long at = 0;
  if (read_at(f, 0, head, sizeof head)) {
    if (memcmp(head, "ttcf", 4) == 0) {
      uint8_t off[4];
      const uint32_t count = be32(head + 8);
      if (index >= 0 && (uint32_t)index < count && read_at(f, 12 + 4L * index, off, 4))
        at = (long)be32(off);
      else
        at = -1;
    } else if (index != 0) {
      at = -1;
    }
  }
  uint8_t dir[12];
  if (at >= 0 && read_at(f, at, dir, sizeof dir)) {
    const int tables = dir[4] << 8 | dir[5];
    for (int i = 0; i < tables && i < 256; ++i) {
      uint8_t rec[16];
      if (!read_at(f, at + 12 + 16L * i, rec, sizeof rec)) break;
      if (memcmp(rec, "OS/2", 4) != 0) continue;
      uint8_t os2[86];
      const uint32_t length = be32(rec + 12);
      if (length < 66 || !read_at(f, (long)be32(rec + 8), os2, length < 86 ? 66 : 86)) break;
      const int version = os2[0] << 8 | os2[1];
      const int first_char = os2[64] << 8 | os2[65];
      if (version == 0) {
        *out = first_char >= 0xF000 && first_char < 0xF100 ? FONT_CPBIT_SYMBOL
                                                           : FONT_CPBIT_LATIN1;
      } else if (length >= 86) {
        *out = be32(os2 + 78);  // ulCodePageRange1
      }
      ok = *out != 0;
      break;
    }
  }
  fclose(f);
  return ok;
}

}  // namespace

namespace font_engine {

void probe_face(face_entry* e) {
  if (e->probed) return;
  e->probed = true;
  // An outline face's sets come from its OS/2 table, read straight from
  // the file: opening every face of a family through the font engine
  // would cost more than the rest of the choice.
  if (e->scalable && read_sfnt_code_pages(e->file, e->index, &e->code_pages)) {
    e->usable = true;
    return;
  }
  FT_Face face = open_face(e);
  if (!face) return;
  e->code_pages = 0;
  const TT_OS2* os2 = (const TT_OS2*)FT_Get_Sfnt_Table(face, FT_SFNT_OS2);
  FT_WinFNT_HeaderRec fnt;
  if (os2) {
    if (os2->version == 0)
      e->code_pages = os2->usFirstCharIndex >= 0xF000 && os2->usFirstCharIndex < 0xF100
                          ? FONT_CPBIT_SYMBOL
                          : FONT_CPBIT_LATIN1;
    else
      e->code_pages = (uint32_t)os2->ulCodePageRange1;
  } else if (FT_Get_WinFNT_Header(face, &fnt) == 0) {
    font_charset_info info;
    if (font_charset_lookup(fnt.charset, &info)) e->code_pages = info.bit;
  }
  if (e->code_pages == 0) {
    // Sets read from the character maps the face has.
    for (int i = 0; i < face->num_charmaps; ++i) {
      const FT_Encoding enc = face->charmaps[i]->encoding;
      if (enc == FT_ENCODING_UNICODE || enc == FT_ENCODING_APPLE_ROMAN)
        e->code_pages |= FONT_CPBIT_LATIN1;
      else if (enc == FT_ENCODING_MS_SYMBOL)
        e->code_pages |= FONT_CPBIT_SYMBOL;
    }
  }
  if (e->scalable) {
    e->usable = true;
  } else {
    e->usable = bitmap_face_registered(face) && bitmap_face_strike(face, &e->strike) &&
                strike_installed(&e->strike);
  }
  FT_Done_Face(face);
}

// The code pages of the faces linked to a family: the System face draws
// what it lacks from Tahoma, so it serves Tahoma's code pages too.
bool g_links_ready = false;
uint32_t g_tahoma_pages = 0;

uint32_t linked_code_pages(const face_entry* e) {
  if (!has_family(e, "System")) return 0;
  if (!g_links_ready) {
    g_links_ready = true;
    for (int i = 0; i < g_face_count; ++i) {
      face_entry* t = &g_faces[i];
      if (!t->scalable || !has_family(t, "Tahoma")) continue;
      probe_face(t);
      g_tahoma_pages |= t->code_pages;
    }
  }
  return g_tahoma_pages;
}

}  // namespace font_engine

namespace {

void probe(face_entry* e) { probe_face(e); }

// Whether the face may answer a request for the code-page bits wanted (0:
// any set).
bool serves(face_entry* e, uint32_t wanted) {
  probe(e);
  if (!e->usable) return false;
  return wanted == 0 || (e->code_pages & wanted) != 0 || (linked_code_pages(e) & wanted) != 0;
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

// The bitmap face of family that GDI's mapper picks for the logical font,
// among the family's registered strikes that serve the sets wanted, in the
// mapper's order: regular, bold, italic, bold italic; within a style the
// strikes of the ANSI set first, then by file and index.  Null when the
// family has none.
face_entry* pick_bitmap_face(const char* family, const plat_logfont* lf, uint32_t wanted,
                             bool bold, bool italic) {
  const int kMax = 64;
  face_entry* entries[kMax];
  bitmap_strike strikes[kMax];
  int n = 0;
  for (int i = 0; i < g_face_count && n < kMax; ++i) {
    face_entry* e = &g_faces[i];
    if (e->scalable || !has_family(e, family) || !serves(e, wanted)) continue;
    const bitmap_strike& s = e->strike;
    // Insertion keeps the mapper's order.
    int at = n;
    const int order = (s.italic ? 2 : 0) + (s.bold ? 1 : 0);
    const bool ansi = s.char_set <= 0;
    while (at > 0) {
      const bitmap_strike* p = &strikes[at - 1];
      const int p_order = (p->italic ? 2 : 0) + (p->bold ? 1 : 0);
      const bool p_ansi = p->char_set <= 0;
      const int by_file = strcmp(entries[at - 1]->file, e->file);
      if (p_order < order ||
          (p_order == order &&
           ((p_ansi && !ansi) ||
            (p_ansi == ansi && (by_file < 0 || (by_file == 0 && entries[at - 1]->index < e->index))))))
        break;
      entries[at] = entries[at - 1];
      strikes[at] = strikes[at - 1];
      --at;
    }
    entries[at] = e;
    strikes[at] = s;
    ++n;
  }
  const int k = bitmap_pick_strike(strikes, n, lf->lfHeight, bold, italic);
  return k < 0 ? nullptr : entries[k];
}

// The face of family that serves the sets wanted and comes closest to the
// logical font's style: an outline face, else (where bitmap faces may
// answer) the strike the mapper picks.
face_entry* best_in_family(const char* family, const plat_logfont* lf, uint32_t wanted,
                           bool bitmaps) {
  const bool bold = lf->lfWeight > 550;
  const bool italic = lf->lfItalic != 0;
  face_entry* best = nullptr;
  int64_t best_d = 0;
  for (int i = 0; i < g_face_count; ++i) {
    face_entry* e = &g_faces[i];
    if (!e->scalable || !has_family(e, family) || !serves(e, wanted)) continue;
    const int64_t d = style_distance(e, bold, italic);
    if (!best || d < best_d) {
      best = e;
      best_d = d;
    }
  }
  if (!best && bitmaps) best = pick_bitmap_face(family, lf, wanted, bold, italic);
  return best;
}

const char* substitute_for(const char* name, int charset) {
  for (const substitute& s : kSubstitutes)
    if (strcasecmp(s.from, name) == 0 && (s.from_charset == -1 || s.from_charset == charset))
      return s.to;
  return nullptr;
}

// The families in the mapper's order: the default sans, monospaced and
// serif families first, then the others by name without regard to case.
struct family_order {
  int count;
  const char** names;  // each a face_entry's family
};
family_order g_order = {-1, nullptr};
const char* g_kind_default[3] = {nullptr, nullptr, nullptr};

// The family that fontconfig matches for a generic name, as its first
// family name; empty when none is installed.
void generic_family(const char* generic, char (&out)[128]) {
  out[0] = 0;
  FcPattern* p = FcPatternCreate();
  if (!p) return;
  FcPatternAddString(p, FC_FAMILY, (const FcChar8*)generic);
  FcPatternAddString(p, FC_NAMELANG, (const FcChar8*)"en-us");
  FcConfigSubstitute(nullptr, p, FcMatchPattern);
  FcDefaultSubstitute(p);
  FcResult r;
  FcPattern* m = FcFontMatch(nullptr, p, &r);
  FcChar8* s = nullptr;
  if (m && FcPatternGetString(m, FC_FAMILY, 0, &s) == FcResultMatch)
    snprintf(out, sizeof out, "%s", (const char*)s);
  if (m) FcPatternDestroy(m);
  FcPatternDestroy(p);
}

char g_generic[3][128];
bool g_generic_ready = false;

const char* generic_of(kind k) {
  if (!g_generic_ready) {
    generic_family("sans", g_generic[kSans]);
    generic_family("monospace", g_generic[kFixed]);
    generic_family("serif", g_generic[kSerif]);
    g_generic_ready = true;
  }
  return g_generic[k];
}

// The fallback faces of a kind in order: the defaults, then fontconfig's.
int fallbacks(kind k, const char* (&out)[4]) {
  const char* const* list =
      k == kFixed ? kFixedDefaults : k == kSerif ? kSerifDefaults : kSansDefaults;
  int n = 0;
  for (int i = 0; i < 3; ++i) out[n++] = list[i];
  if (*generic_of(k)) out[n++] = generic_of(k);
  return n;
}

int order_rank(const char* family) {
  for (int k = 0; k < 3; ++k)
    if (g_kind_default[k] && strcasecmp(family, g_kind_default[k]) == 0) return k;
  return 3;
}

int compare_families(const void* a, const void* b) {
  const char* fa = *(const char* const*)a;
  const char* fb = *(const char* const*)b;
  const int ra = order_rank(fa), rb = order_rank(fb);
  if (ra != rb) return ra - rb;
  return strncasecmp(fa, fb, 31);
}

const family_order* families_in_order() {
  if (g_order.count >= 0) return &g_order;
  g_order.count = 0;
  g_order.names = (const char**)calloc(g_face_count > 0 ? g_face_count : 1, sizeof(char*));
  if (!g_order.names) return &g_order;
  // Each kind's default family is its first fallback that is installed.
  const kind kinds[3] = {kSans, kFixed, kSerif};
  for (kind k : kinds) {
    const char* names[4];
    const int n = fallbacks(k, names);
    for (int i = 0; i < n && !g_kind_default[k]; ++i)
      g_kind_default[k] = installed_family(names[i]);
  }
  for (int i = 0; i < g_face_count; ++i) {
    bool seen = false;
    for (int k = 0; k < g_order.count && !seen; ++k)
      seen = strcasecmp(g_order.names[k], g_faces[i].family) == 0;
    if (!seen) g_order.names[g_order.count++] = g_faces[i].family;
  }
  qsort(g_order.names, (size_t)g_order.count, sizeof(char*), compare_families);
  return &g_order;
}

// The mapper's fallbacks for a logical font whose face gave nothing.
face_entry* any_face(const plat_logfont* lf, uint32_t wanted, bool bitmaps) {
  const char* names[4];
  const int n = fallbacks(kind_of(lf->lfPitchAndFamily), names);
  for (int i = 0; i < n; ++i) {
    const char* family = installed_family(names[i]);
    if (!family) continue;
    if (face_entry* e = best_in_family(family, lf, wanted, false)) return e;
  }
  const family_order* order = families_in_order();
  for (int pass = 0; pass < (bitmaps ? 2 : 1); ++pass) {
    for (int i = 0; i < order->count; ++i)
      if (face_entry* e = best_in_family(order->names[i], lf, wanted, pass == 1)) return e;
  }
  return nullptr;
}

// The face found for the name asked for, its substitute, its full name or
// its scalable stand-ins; null when none serves the sets wanted.
face_entry* face_for_name(const char* name, const char* subst, const plat_logfont* lf,
                          uint32_t wanted, bool bitmaps) {
  const char* names[2] = {name, subst};
  for (const char* n : names) {
    if (!n) continue;
    if (const char* family = installed_family(n))
      if (face_entry* e = best_in_family(family, lf, wanted, bitmaps)) return e;
  }
  if (const face_entry* full = face_by_full_name(name)) {
    face_entry* e = &g_faces[full - g_faces];
    if (serves(e, wanted) && (e->scalable || bitmaps)) return e;
  }
  for (const char* n : names) {
    if (!n || installed_family(n)) continue;
    char stand_ins[16][128];
    const int count = stand_in_families(n, stand_ins, 16);
    for (int k = 0; k < count; ++k)
      if (face_entry* e = best_in_family(stand_ins[k], lf, wanted, false)) return e;
  }
  return nullptr;
}

}  // namespace

namespace font_engine {

const face_entry* map_logical_font(const plat_logfont* lf, uint16_t* code_page) {
  *code_page = 1252;
  char name[sizeof lf->lfFaceName + 1];
  memcpy(name, lf->lfFaceName, sizeof lf->lfFaceName);
  name[sizeof lf->lfFaceName] = 0;
  // A request for the face named Symbol is one for the symbol set.
  const uint8_t charset = strcasecmp(name, "Symbol") == 0 ? kSymbolCharset : lf->lfCharSet;
  font_charset_info asked;
  bool translated = font_charset_lookup(charset, &asked);
  uint32_t wanted = translated ? asked.bit : 0;
  // Raster faces may answer, whatever the output precision asks: the
  // platform that the program meets reads no precision.
  const bool bitmaps = true;
  face_entry* face = nullptr;
  if (*name) {
    const char* subst = substitute_for(name, charset);
    face = face_for_name(name, subst, lf, wanted, bitmaps);
  }
  if (!face) {
    // A set without a code page of its own is taken as the ANSI one.
    if (!translated) {
      translated = font_charset_lookup(0, &asked);
      wanted = asked.bit;
    }
    face = any_face(lf, wanted, bitmaps);
    if (!face) {
      translated = false;
      face = any_face(lf, 0, bitmaps);
    }
  }
  if (!face) return nullptr;
  if (translated) {
    *code_page = asked.code_page;
  } else {
    // The ANSI page where the face serves it, else the face's first set.
    font_charset_info info;
    probe(face);
    if (!(face->code_pages & FONT_CPBIT_LATIN1) && font_charset_of_bits(face->code_pages, &info))
      *code_page = info.code_page;
  }
  return face;
}

}  // namespace font_engine

namespace font_engine {

const char* font_substitute(const char* name, uint8_t charset) {
  return substitute_for(name, strcasecmp(name, "Symbol") == 0 ? kSymbolCharset : charset);
}

FT_UInt char_glyph(const FT_Face face, uint16_t code_page, uint8_t c) {
  const uint32_t ch = font_code_page_char(code_page, c);
  if (face->charmap && face->charmap->encoding == FT_ENCODING_MS_SYMBOL) {
    // A symbol map holds its characters at U+F0xx; some older faces at
    // their own numbers.
    FT_UInt gi = FT_Get_Char_Index(face, ch < 0x100 ? ch + 0xF000 : ch);
    if (!gi && ch >= 0xF000 && ch < 0xF100) gi = FT_Get_Char_Index(face, ch - 0xF000);
    return gi;
  }
  return FT_Get_Char_Index(face, ch);
}

}  // namespace font_engine
