// GDI's rules for outline fonts, as pure functions over a font's numbers:
// the pixel size for a logical height (VDMX table or OS/2 metrics), the
// text metrics, advances with the fixed-pitch fix-up, the gasp table's say
// on smoothing, the glyph box and its placement, and the grey levels with
// which smoothed glyphs reach a 32-bit surface.
//
// The POSIX font layer renders with FreeType and uses these rules so that
// its glyph sets come out as the ones GDI makes from the same font files.
// All lengths in 26.6 fixed point are named *_26_6; the rest are pixels or
// font units.
#ifndef XHISTORY_PLATFORM_FONT_PLAT_FONT_GDI_H_
#define XHISTORY_PLATFORM_FONT_PLAT_FONT_GDI_H_

#include <stddef.h>
#include <stdint.h>

// The numbers of an sfnt face from which sizes and metrics are derived.
struct gdi_face_numbers {
  int64_t units_per_em;
  uint16_t win_ascent;     // OS/2 usWinAscent
  uint16_t win_descent;    // OS/2 usWinDescent, as stored
  int64_t hhea_ascender;
  int64_t hhea_descender;  // negative below the baseline
  int64_t bbox_width;      // head xMax - xMin
  int64_t avg_char_width;  // OS/2 xAvgCharWidth
  uint16_t first_char;     // OS/2 usFirstCharIndex
  bool fixed_pitch;        // monospaced by the face flags or PANOSE
  bool symbol;             // a symbol cmap, or a first char in U+F000..F0FF
};

// The ascent and descent in font units: usWinAscent and the magnitude of
// usWinDescent (some fonts store it negative), or the hhea values when both
// are 0.
void gdi_design_extent(const gdi_face_numbers* n, int64_t* ascent,
                       int64_t* descent);

// The pixels per em for lfHeight from the font's metrics: a positive height
// is the cell (ascent + descent), never exceeded; a negative one the em; 0
// the default cell of 16.  Out-of-range heights give 1.
int64_t gdi_ppem_for_height(const gdi_face_numbers* n, int64_t height);

// The pixels per em for lfHeight from a VDMX table (the table's bytes), or
// 0 when the table does not decide it.  When a record is chosen, *y_max and
// *y_min receive its extent, which then are the ascent and minus the descent.
int64_t gdi_ppem_from_vdmx(const uint8_t* table, size_t size, int64_t height,
                           int32_t* y_max, int32_t* y_min);

// The 16.16 scale from font units to pixels at ppem.
int64_t gdi_em_scale(int64_t ppem, int64_t units_per_em);

// Text metrics of an outline face at ppem.  y_max is nonzero when a VDMX
// record set the extent.
struct gdi_text_metrics {
  int32_t ascent;
  int32_t descent;
  int32_t max_char_width;
  uint8_t default_char;
};
void gdi_outline_metrics(const gdi_face_numbers* n, int64_t ppem,
                         int32_t y_max, int32_t y_min, bool fake_bold,
                         gdi_text_metrics* out);

// The horizontal transform of a logical font's glyphs: x' = x * xx + y *
// xy in 16.16, for a width asked for (lfWidth) and a synthesised italic.
struct gdi_transform {
  int64_t xx;
  int64_t xy;
};
const int64_t GDI_ONE = 1 << 16;

// The transform for lfWidth average (0 for the font's own) over the
// font's average character width, with a slant for a synthesised italic.
gdi_transform gdi_glyph_transform(int64_t width, int64_t avg_char_width, bool slant);

// Whether t changes anything.
bool gdi_transformed(const gdi_transform* t);

// The advance in whole pixels for a glyph whose unrounded advance is
// base_26_6: scaled by the transform and rounded up; in a fixed-pitch face
// a glyph as wide as two average characters gets exactly twice the average
// width; a synthesised bold adds one pixel.
int32_t gdi_advance(const gdi_face_numbers* n, int64_t ppem, int64_t base_26_6,
                    bool fake_bold, const gdi_transform* t);

// What the gasp table (its bytes) says for ppem: true and *gray set when the
// table applies, false when it is missing or not understood.
bool gdi_gasp_gray(const uint8_t* table, size_t size, uint32_t ppem,
                   bool* gray);

// A glyph's outline metrics in 26.6 as the font engine reports them.
struct gdi_glyph_metrics {
  int64_t width;
  int64_t height;
  int64_t bearing_x;
  int64_t bearing_y;
};

// The glyph box in 26.6, snapped outward to whole pixels, after the glyph's
// top and bottom have been cut to the font's ascent and descent; a
// transform moves its corners first (a synthesised italic slants it by a
// quarter of its height).
struct gdi_box {
  int64_t x_min;
  int64_t y_min;
  int64_t x_max;
  int64_t y_max;
};
gdi_box gdi_glyph_box(const gdi_glyph_metrics* m, int32_t ascent,
                      int32_t descent, const gdi_transform* t);

// The 16.16 shear of a synthesised italic: x += y / 4.
const int64_t GDI_SLANT_XY = 0x4000;

// The widest character of a font whose width is transformed: the
// untransformed width scaled and rounded.
int32_t gdi_scaled_max_width(int32_t max_char_width, int64_t width,
                             int64_t avg_char_width);

// v rounded half up to a whole number, held within 32 bits (NaN gives 0):
// a font's numbers may ask for a width that no surface could hold, and it
// must still come out as a number.
int32_t gdi_round_to_int32(double v);

// The level (0 to 16) of a smoothed coverage byte.
int gdi_gray_level(uint8_t coverage);

// The value that a glyph pixel of a level leaves in each colour byte of a
// black surface when drawn in white: nothing for levels 0 and 1, full for
// 16, and GDI's gamma ramp between.
uint8_t gdi_level_on_black(int level);

// The Unicode character of a Windows-1252 byte: Latin-1 but for 0x80 to
// 0x9F.  The five undefined bytes give their C1 controls, for which fonts
// have no glyph, so that they draw the missing-glyph shape as GDI does.
uint32_t gdi_cp1252_to_unicode(uint8_t c);

#endif  // XHISTORY_PLATFORM_FONT_PLAT_FONT_GDI_H_
