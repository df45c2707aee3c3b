// The POSIX font engine's shared records and entry points.  The engine has
// three parts over fontconfig and FreeType, each in its own file:
//   plat_font_catalog-posix.cc  the installed faces: enumeration, stand-ins
//                               and substitutes;
//   plat_font_realize-posix.cc  a logical font realised as GDI realises it:
//                               face choice, size, metrics, smoothing;
//   plat_font_draw-posix.cc     advances and the drawing of characters.
// The commands see none of this, only platform/plat_font.h.
#ifndef XHISTORY_PLATFORM_FONT_PLAT_FONT_POSIX_H_
#define XHISTORY_PLATFORM_FONT_PLAT_FONT_POSIX_H_

#include <ft2build.h>
#include FT_FREETYPE_H
#include <fontconfig/fontconfig.h>
#include <stddef.h>
#include <stdint.h>

#include "platform/font/plat_font_bitmap.h"
#include "platform/font/plat_font_gdi.h"
#include "platform/plat_font.h"

namespace font_engine {

inline uint32_t cp1252_to_unicode(uint8_t c) { return gdi_cp1252_to_unicode(c); }

// The FreeType library, once libraries_ready() has said true.
extern FT_Library g_ft;

// Opens fontconfig (with this program's configuration) and FreeType once
// per process; false when either cannot be had.
bool libraries_ready();

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
  // What the font mapper reads from the face file, once it needs it.
  bool probed;
  bool usable;          // opens; a bitmap face is registered and has a strike
  uint32_t code_pages;  // the code-page bits that the face serves
  bitmap_strike strike;  // bitmap faces
};

extern face_entry* g_faces;
extern int g_face_count;  // -1 until load_faces()

// Lists every installed face once per process.
void load_faces();

bool has_family(const face_entry* e, const char* name);

// The installed spelling of family name, or null.
const char* installed_family(const char* name);

bool family_installed(const char* name);

// The face whose full name is name ("Tahoma Bold"), compared as GDI
// compares face names: without regard to case, in their first 31
// characters.  Null when none is.
const face_entry* face_by_full_name(const char* name);

// Names that fontconfig resolves by its own preference rather than by an
// installed family.
bool is_generic(const char* name);

// The families that stand for name: name itself when installed; else the
// installed families that fontconfig declares metric-compatible with it
// (the strongly bound run that its substitution puts right after it); for
// a generic name, the family fontconfig matches.  Writes up to max names
// into out (each 128 bytes) and returns their number.
int stand_in_families(const char* name, char (*out)[128], int max);

// The face of e opened, or null.
FT_Face open_face(const face_entry* e);

// The face that the table of font substitutes puts for name asked with
// charset (MS Shell Dlg: Tahoma), or null.
const char* font_substitute(const char* name, uint8_t charset);

// Reads what the font mapper needs of e from its file, once.
void probe_face(face_entry* e);

// The face that GDI's font mapper gives the logical font, and in
// *code_page the code page through which bytes of text become its
// characters.  Null only when no face at all is installed.
const face_entry* map_logical_font(const plat_logfont* lf, uint16_t* code_page);

// The glyph of font that byte c of text stands for (0 when it has none).
FT_UInt char_glyph(const FT_Face face, uint16_t code_page, uint8_t c);

// The sfnt numbers from which GDI derives sizes and metrics; false when the
// face lacks the OS/2 or hhea table, so that GDI's outline metrics do not
// apply to it.
bool read_numbers(FT_Face face, gdi_face_numbers* n);

// An sfnt table of the face, or null; its size in *size.  Free with free().
uint8_t* load_table(FT_Face face, FT_ULong tag, size_t* size);

// The logical font realised from face, which it then owns (closed also
// when realising fails): size, metrics, synthesis and smoothing as GDI
// gives them.  Null on failure.
plat_hfont* realize_face(FT_Face face, const plat_logfont* logfont, uint16_t code_page);

// The file that face was opened from, for messages.
const char* face_file(FT_Face face);

// False, with a notice, when the TrueType outlines of face lie partly
// past the end of its file (which then is cut short): such a face is not
// drawn from, as every glyph past the cut would come out blank.
bool outlines_whole(FT_Face face);

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

}  // namespace font_engine

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
  uint16_t code_page;        // through which text bytes become characters
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
  font_engine::outline_glyph* drawn[256];
  bool glyph_failure_told;  // a glyph that cannot be loaded has been reported
};

#endif  // XHISTORY_PLATFORM_FONT_PLAT_FONT_POSIX_H_
