// GDI's rules for bitmap faces (Windows .fon strikes and bitmap-only sfnt
// faces), for the POSIX font layer: which strike a logical height selects,
// the whole-number factor by which that strike is enlarged, the text
// metrics from the face's FNT header, advances, and the glyph box and
// pixels with synthesised bold and italic.
//
// The first part is pure arithmetic over a strike's numbers; the second
// reads faces through FreeType.  Every drawn pixel is either off or fully
// on: a bitmap glyph has no smoothed levels, whatever the quality asked.
#ifndef XHISTORY_PLATFORM_FONT_PLAT_FONT_BITMAP_H_
#define XHISTORY_PLATFORM_FONT_PLAT_FONT_BITMAP_H_

#include <ft2build.h>
#include FT_FREETYPE_H
#include <stddef.h>
#include <stdint.h>

// One strike as the font mapper sees it.
struct bitmap_strike {
  int32_t height;            // cell height in pixels
  int32_t internal_leading;  // from the FNT header; 0 without one
  bool bold;                 // the face's own style
  bool italic;
  int32_t char_set;          // the FNT header's; -1 for other faces
};

// The distance of a strike from lfHeight: a positive height is compared
// with the cell, a negative one with the character height (the cell less
// its internal leading).  Negative when the strike is too big.
int64_t bitmap_strike_diff(const bitmap_strike* s, int32_t lf_height);

// Whether the mapper may take the strike for a logical font's character
// set: an FNT strike serves its own set only, and the default set (1)
// stands for the ANSI set (0).
bool bitmap_strike_serves(const bitmap_strike* s, uint8_t lf_char_set);

// The strike that the mapper picks among n in the family's order, for
// lfHeight and the style asked for; -1 when n is 0.  Among equally styled
// strikes it keeps the first that fits exactly, else the largest that is
// not too big, else the smallest too big one.
int bitmap_pick_strike(const bitmap_strike* strikes, int n, int32_t lf_height,
                       bool bold, bool italic);

// The whole-number factor by which the strike is enlarged for lfHeight
// (1 for a height of 0): the next multiple of the strike height is taken
// only when it overshoots by no more than a quarter of that height (by one
// less for the step from 1 to 2).
int32_t bitmap_scale(const bitmap_strike* s, int32_t lf_height);

// The numbers of a strike from which its text metrics come.
struct bitmap_numbers {
  int32_t ascent;
  int32_t descent;
  int32_t max_width;
  int32_t avg_width;
  uint8_t default_char;
  uint8_t char_set;
  uint8_t pitch_and_family;  // as the FNT header stores it
};

// The horizontal factor of a logical font.  With a width asked for (a
// nonzero lfWidth with a nonzero lfHeight, at most 100 times the cell
// height), it is that width over the strike's average width, and the
// pixels keep their width; otherwise it is the whole-number scale, by which
// the pixels widen too.
struct bitmap_xscale {
  double ratio;    // for the metrics
  int64_t xx;      // the same in 16.16, for advances and boxes
  int32_t pixels;  // the whole-number widening of the pixels
};
bitmap_xscale bitmap_width_scale(const bitmap_numbers* n, int32_t lf_height,
                                 int32_t lf_width, int32_t scale);

// Text metrics of a strike enlarged by scale vertically and by x
// horizontally: a synthesised bold widens the widest character by one
// pixel before the scaling.
struct bitmap_metrics {
  int32_t ascent;
  int32_t descent;
  int32_t max_char_width;
  uint8_t default_char;
};
bitmap_metrics bitmap_scaled_metrics(const bitmap_numbers* n, int32_t scale,
                                     const bitmap_xscale* x, bool fake_bold);

// The advance of a glyph whose strike advance is advance pixels: scaled by
// xx (16.16), one pixel more for a synthesised bold, rounded up.
int32_t bitmap_advance(int32_t advance, int64_t xx, bool fake_bold);

// A glyph's box as GDI places it: left columns right of the pen and top
// rows above the baseline, width x height pixels.  The glyph's extent
// (whole pixels: bearings, width and rows as the strike stores them) is
// first cut to the strike's ascent and descent and widened by a pixel for
// a synthesised bold, then enlarged by scale and, for a synthesised
// italic, slanted by a quarter of its height about the baseline, and
// snapped outward to whole pixels.  The horizontal factor is xx (16.16).
struct bitmap_box {
  int32_t left;
  int32_t top;
  int32_t width;
  int32_t height;
};
struct bitmap_glyph_extent {
  int32_t bearing_x;
  int32_t bearing_y;
  int32_t width;
  int32_t rows;
};
bitmap_box bitmap_glyph_box(const bitmap_glyph_extent* g, int32_t ascent,
                            int32_t descent, int64_t xx, int32_t scale, bool fake_bold,
                            bool fake_italic);

// Fills box->width x box->height levels (0 or 16) from a strike glyph of
// width x rows bits (most significant bit first, pitch bytes a row), whose
// first row and column go to the box's top-left corner: each strike pixel
// becomes a block x_scale wide and y_scale high, and a synthesised bold
// also sets each set pixel's right neighbour.  The slant of a synthesised
// italic moves only the box, never the pixels.
void bitmap_compose(const uint8_t* bits, int32_t pitch, int32_t width, int32_t rows,
                    int32_t x_scale, int32_t y_scale, bool fake_bold,
                    const bitmap_box* box, uint8_t* levels);

// The same for part of the box only: part->left and part->top are the
// column and row of the box where it starts, and levels receives
// part->width x part->height levels.
void bitmap_compose_part(const uint8_t* bits, int32_t pitch, int32_t width, int32_t rows,
                         int32_t x_scale, int32_t y_scale, bool fake_bold,
                         const bitmap_box* box, const bitmap_box* part, uint8_t* levels);

// FreeType side.

// Whether GDI registers the face: an FNT face only when it is made for
// the screen's 96 dpi (the raster set installed for a screen is the one
// of its resolution), and no bitmap-only sfnt that the platform's own font
// build made as an intermediate step (vendor "Wine" with an EBSC table),
// which would otherwise stand beside the .fon face it was made into.
bool bitmap_face_registered(FT_Face face);

// The mapper's view of the face's first strike; false when the face has
// none.
bool bitmap_face_strike(FT_Face face, bitmap_strike* out);

// The face's numbers from its FNT header, or from the engine's metrics of
// its first strike when it has no such header.
void bitmap_face_numbers(FT_Face face, bitmap_numbers* out);

// A bitmap face realised for a logical font.
struct bitmap_font {
  FT_Face face;
  int32_t scale;
  bitmap_xscale x;
  bool fake_bold;
  bool fake_italic;
  bool by_byte;  // glyphs looked up by code-page byte (FNT faces)
  uint16_t code_page;  // of the text, for the other faces
  bitmap_numbers numbers;
  bitmap_metrics metrics;
};

// Selects the face's strike and fills f for the logical font's height,
// width, weight and slant, with text in code page cp.  False when the
// strike cannot be selected.
bool bitmap_font_init(bitmap_font* f, FT_Face face, int32_t lf_height, int32_t lf_width,
                      bool bold, bool italic, uint16_t cp = 1252);

// The advance of the character of byte c.
int32_t bitmap_font_advance(const bitmap_font* f, uint8_t c);

// Draws c: *box receives its placement and *levels a malloc'ed array of
// box->width x box->height levels (null for an empty box).  With visible
// (a box placed as a glyph's is) only the glyph's part within it is drawn,
// and *box is that part.  False when the glyph cannot be loaded.
bool bitmap_font_glyph(const bitmap_font* f, uint8_t c, const bitmap_box* visible,
                       bitmap_box* box, uint8_t** levels);

#endif  // XHISTORY_PLATFORM_FONT_PLAT_FONT_BITMAP_H_
