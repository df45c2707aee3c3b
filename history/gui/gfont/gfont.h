// The font catalogue: choice of an installed font, rendering of its
// characters 32 to 255 into a trimmed glyph set, the byte form of a glyph
// set, and the receiving side's layout and drawing with one.
#ifndef XHISTORY_HISTORY_GUI_GFONT_GFONT_H_
#define XHISTORY_HISTORY_GUI_GFONT_GFONT_H_

#include <stddef.h>
#include <stdint.h>

#include "platform/plat_font.h"

#define GFONT_MODULE "history/gui/gfont/gfont"

// ---- Font records and choice -------------------------------------------

// One font: the query of an enumeration, a candidate it finds, and the
// input of rendering.
struct gfont_spec {
  char name[64];
  int32_t size;       // cell height in pixels; 0 for a scalable candidate
  float width;        // raster candidate: its character width; else 0
  float aspect;       // enumerated width / enumerated height
  uint8_t bold;       // query only
  uint8_t italic;     // query only
  uint8_t fixed_pitch;
  uint8_t raster;
  uint8_t ansi;
  plat_logfont* logfont;  // the logical font to create
  uint8_t has_logfont;  // logfont is set and owned by this record
  int32_t index;
};

// Query flags: matches and adjustments of an enumeration.
const uint16_t GF_MATCH_FACE = 0x001;
const uint16_t GF_SET_WIDTH = 0x004;
const uint16_t GF_SET_WEIGHT = 0x010;
const uint16_t GF_SET_ITALIC = 0x020;
const uint16_t GF_MATCH_PITCH = 0x040;
const uint16_t GF_MATCH_RASTER = 0x080;
const uint16_t GF_MATCH_CHARSET = 0x100;

const int GFONT_MAX_NAMES = 128;
const int GFONT_NAME_CHARS = 63;
const int GFONT_MAX_CANDIDATES = 64;

void gfont_spec_copy(gfont_spec* dst, const gfont_spec* src);
void gfont_spec_release(gfont_spec* spec);
void gfont_release_candidates(gfont_spec* array, int count);

// The running state of one enumeration, handed to gfont_enum_proc.
struct gfont_enum_context {
  const gfont_spec* query;
  uint16_t flags;
  gfont_spec* out;
  int max;
  int count;
};

// Classifies, filters and records one enumerated font.  Nonzero to go on.
int gfont_enum_proc(const plat_logfont* logfont, const plat_text_metrics* metrics,
                    uint32_t font_type, void* context);

// Up to max candidates for query into out; their number.
int gfont_enumerate(const gfont_spec* query, uint16_t flags, gfont_spec* out,
                    int max);

// True on Windows NT 6.0 and later; asked once.
bool is_nt6_or_later();

// Makes the once-per-process adjustment of the preferred-face tables.
void gfont_prepare_tables();

// Splits face_list into names (aliases expanded), at most GFONT_MAX_NAMES
// of at most GFONT_NAME_CHARS characters.  Returns their number.
int gfont_parse_face_list(const char* face_list,
                          char (*names)[GFONT_NAME_CHARS + 1]);

// The system's generic faces: on machines without any preferred face
// they stand in at the size asked for.  No Windows face bears these names.
#define GFONT_GENERIC_MONOSPACE "monospace"
#define GFONT_GENERIC_SANS "sans-serif"
#define GFONT_GENERIC_SERIF "serif"

// The generic face of face_list's kind: that of the first alias it names,
// or slot_generic for a list of plain face names.
const char* gfont_generic_face(const char* face_list, const char* slot_generic);

// The cost of a candidate at place of the name list for the wanted size.
// Scalable candidates get their logical font sized on the way.
int32_t gfont_score(gfont_spec* candidate, int place, int32_t size);

// Enumerates each name with enumerate and leaves the lowest-scoring
// candidate in *best (owned).  False when there was none.
typedef int (*gfont_enumerator)(const gfont_spec* query, uint16_t flags,
                                gfont_spec* out, int max);
bool gfont_choose_best(char (*names)[GFONT_NAME_CHARS + 1], int count,
                       int32_t size, gfont_enumerator enumerate,
                       gfont_spec* best);

// Tells the platform every name of the face lists (null ones are passed
// over) ahead of their enumeration, so that it can look them up together.
void gfont_expect_face_lists(const char* const* face_lists, int count);

struct gfont;

// The best installed font for a face list and a cell height, rendered; or
// null.
gfont* gfont_choose(const char* face_list, int32_t size);

// A glyph set for a "LOGFONT(h,w,...,pitch,face)" text, rendered exactly as
// written; null when the text is not of that form or rendering fails.
gfont* gfont_from_text(const char* text);

// Reads a complete logical-font text into *out.  False when the text is
// not of that form.
bool gfont_parse_logfont(const char* text, plat_logfont* out);

// ---- Glyph sets ---------------------------------------------------------

struct gfont_glyph {
  int32_t top;     // ascent minus the topmost ink row; INT32_MIN without ink
  int32_t bottom;  // bottommost ink row minus ascent; INT32_MIN without ink
  int32_t pad_left;
  int32_t pad_right;
  int32_t width;
  int32_t advance;
  uint8_t* pixels;  // width x height coverage bytes, or null
};

struct gfont {
  char name[128];
  int32_t ascent;
  int32_t descent;
  int32_t height;
  int32_t max_top;
  int32_t max_bottom;
  int32_t max_advance;
  uint8_t greyscale;
  gfont_glyph glyphs[256];
  uint8_t rendered;
};

// Length of the byte form without pixels: name, ascent, descent and four
// numbers for each of the 256 codes.
const size_t GFONT_FIXED_BYTES = 4232;

gfont* gfont_render(const gfont_spec* spec);
// A glyph set with ink cut to its columns, the codes without a glyph
// filled from default_char, and code 255 a blank.  Null for null.
gfont* gfont_trim(const gfont* raw, int8_t default_char);
// The set with no glyphs: every number 0, no name.
gfont* gfont_new_empty();
uint8_t* gfont_serialize(const gfont* font, size_t* length_out);
// Null when bytes are shorter than their own numbers imply, or hold
// negative or absurd numbers.  Never reads past length.
gfont* gfont_deserialize(const uint8_t* bytes, size_t length);
void gfont_free(gfont* font);

// ---- Receiving side -----------------------------------------------------

// Tightens the cell to the ink of codes 1 to 126.
void gfont_fit_cell(gfont* font);

struct gfont_text_metrics {
  int32_t width;
  int32_t height;
  int32_t ink_left;
  int32_t ink_right;
  int32_t ink_top;
  int32_t ink_bottom;
  int32_t lines;
  int32_t ascent;
  int32_t descent;
};

// Draws text into buffer (width x height pixels of 4 bytes) in colour.
void gfont_draw_text(const gfont* font, const char* text, const uint8_t colour[4],
                     uint8_t* buffer, int32_t width, int32_t height);
void gfont_measure_text(const gfont* font, const char* text,
                        gfont_text_metrics* out);

#endif  // XHISTORY_HISTORY_GUI_GFONT_GFONT_H_
