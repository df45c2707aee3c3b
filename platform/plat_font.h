// The font services of the platform: enumeration of installed fonts,
// creation of a logical font, its metrics, and drawing single characters
// white on black into a 32-bit pixel surface.
//
// On Win32 these are the GDI calls themselves.  On POSIX they are built on
// fontconfig and FreeType and give the same meanings: a logical font's
// lfHeight above 0 is the cell height, below 0 the em height, 0 the default
// size; the face name, lfCharSet, lfPitchAndFamily, lfWeight and lfItalic
// select the face as GDI's font mapper does, lfQuality renders it; codes
// 128 to 255 are characters of the code page of the realised character set
// (Windows-1252 for the ANSI set).
#ifndef XHISTORY_PLATFORM_PLAT_FONT_H_
#define XHISTORY_PLATFORM_PLAT_FONT_H_

#include <stdint.h>

// The logical font record, field for field as GDI's plat_logfont (60 bytes), so
// that the catalogue above needs no system header.
struct plat_logfont {
  int32_t lfHeight;
  int32_t lfWidth;
  int32_t lfEscapement;
  int32_t lfOrientation;
  int32_t lfWeight;
  uint8_t lfItalic;
  uint8_t lfUnderline;
  uint8_t lfStrikeOut;
  uint8_t lfCharSet;
  uint8_t lfOutPrecision;
  uint8_t lfClipPrecision;
  uint8_t lfQuality;
  uint8_t lfPitchAndFamily;
  char lfFaceName[32];
};

static_assert(sizeof(plat_logfont) == 60, "plat_logfont is 60 bytes");

// The text metrics that the font catalogue reads.
struct plat_text_metrics {
  int32_t ascent;
  int32_t descent;
  int32_t max_char_width;
  uint8_t default_char;
  uint8_t char_set;  // 0 = ANSI (Windows-1252)
};

// Font types reported by the enumeration.
const uint32_t PLAT_RASTER_FONTTYPE = 1;

// Called once for each enumerated font with its logical font, metrics and
// type.  Returns nonzero to go on, 0 to stop.
typedef int (*plat_font_enum_fn)(const plat_logfont* logfont,
                                 const plat_text_metrics* metrics,
                                 uint32_t font_type, void* context);

struct plat_screen;   // the screen device context
struct plat_hfont;    // a created logical font
struct plat_surface;  // an off-screen 32-bit top-down bitmap

// The screen device context, or null.  Give it back with
// plat_screen_release.
plat_screen* plat_screen_get();
void plat_screen_release(plat_screen* screen);

// Enumerates the fonts that match query (its face name, when not empty,
// and its character set), calling fn for each.  Returns fn's last result.
int plat_font_enumerate(plat_screen* screen, const plat_logfont* query,
                        plat_font_enum_fn fn, void* context);

// Face names that enumerations are going to ask for, so that a platform
// that has to look each name up can look them up together.  Only a hint:
// the enumerations give what they would without it.
void plat_font_expect_faces(const char* const* names, int count);

// Creates the logical font; null on failure.
plat_hfont* plat_font_create(const plat_logfont* logfont);
void plat_font_delete(plat_hfont* font);

// Selects font into the screen context and reads its metrics.
bool plat_font_metrics(plat_screen* screen, plat_hfont* font,
                       plat_text_metrics* out);
// The advance of the one-character text c with font selected into screen.
int32_t plat_font_char_advance(plat_screen* screen, plat_hfont* font,
                               uint8_t c);

// A width x height surface of 32-bit pixels, row 0 at the top, with font
// selected, white text on black, text aligned at the top left.  *pixels
// receives the first pixel.  Null on failure.
plat_surface* plat_surface_create(plat_screen* screen, plat_hfont* font,
                                  int32_t width, int32_t height,
                                  uint8_t** pixels);
// Paints the rectangle [left, right) x [top, bottom) black and draws c with
// its cell's top-left corner at (x, y), clipped to the rectangle.
bool plat_surface_draw_char(plat_surface* surface, int32_t x, int32_t y,
                            int32_t left, int32_t top, int32_t right,
                            int32_t bottom, uint8_t c);
// Completes all drawing, so that the pixels can be read.
void plat_surface_flush(plat_surface* surface);
void plat_surface_delete(plat_surface* surface);

// Where the font services report what they pass over (a font folder that
// cannot be used, a glyph that cannot be loaded): one line of text each,
// without its newline.  Null, the default, writes them to standard error.
typedef void (*plat_font_notice_fn)(const char* text);
void plat_font_set_notice(plat_font_notice_fn fn);

// The operating system version: false when it cannot be had (or the
// platform has none of the Win32 kind).
bool plat_os_version(uint32_t* platform_id, uint32_t* major);

#endif  // XHISTORY_PLATFORM_PLAT_FONT_H_
