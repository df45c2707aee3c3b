// Smoothed coverage of an outline, computed as the 32-bit Windows build's
// font engine computes it.
//
// The Windows program is a 32-bit one, and under Wine its glyphs come from
// the 32-bit build of FreeType.  That build flattens quadratic arcs by
// repeated bisection, where the x86-64 build steps along them with
// 64-bit differences (its SSE2 path); the two give the same coverage for
// straight and cubic edges but differ by a level here and there along
// curves.  So the POSIX build does its own area-coverage sweep, the same
// arithmetic as the engine's (cells of 1/256 pixel, the same rounding and
// fill rules), with the bisection, and the glyph sets of both builds agree
// byte for byte.
#ifndef XHISTORY_PLATFORM_FONT_PLAT_FONT_GRAY_POSIX_H_
#define XHISTORY_PLATFORM_FONT_PLAT_FONT_GRAY_POSIX_H_

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

// How quadratic arcs are flattened: by bisection as the 32-bit engine
// does, or by stepping as the x86-64 engine does.
enum plat_gray_arcs { PLAT_GRAY_BISECT, PLAT_GRAY_STEP };

// Renders outline (26.6 pixels, y up) into the 8-bit grey bitmap, whose
// row 0 is the top one when its pitch is positive, over what the bitmap
// holds: coverage 0 to 255 for each pixel of [0, width) x [0, rows).
// False when the outline is malformed or memory runs out; the bitmap is
// then as far as the sweep got.
bool plat_gray_render(const FT_Outline* outline, const FT_Bitmap* bitmap,
                      plat_gray_arcs arcs);

#endif  // XHISTORY_PLATFORM_FONT_PLAT_FONT_GRAY_POSIX_H_
