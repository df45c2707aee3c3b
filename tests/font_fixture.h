// Fonts for tests that must not depend on the machine's own font settings:
// each test names the font folders it uses in a fontconfig configuration
// of its own (no system file, so no rule of the machine turns smoothing
// off or makes more faces visible), and skips when a font file it needs is
// missing.  On Win32 the fonts are GDI's and none of this applies.
#ifndef XHISTORY_TESTS_FONT_FIXTURE_H_
#define XHISTORY_TESTS_FONT_FIXTURE_H_

#include <stdint.h>

#include <string>
#include <vector>

#include "tests/harness.h"

// The folders of Debian's DejaVu fonts and of Wine's own fonts.
extern const char kDejaVuFolder[];
extern const char kWineFontFolder[];

// Writes dir/fonts.conf: the folders given, a cache in dir, smoothing on,
// the generic names of a fresh Debian machine (monospace, sans-serif and
// serif for the DejaVu faces), the old name of DejaVu Sans Mono as its
// stand-in, and extra inside.  Its path, or "" when it cannot be written.
std::string write_font_config(const temp_dir& dir, const std::vector<std::string>& folders,
                              const std::string& extra = "");

// Whether folder/file is there: the font a test names.
bool have_font_file(const std::string& folder, const std::string& file);

// For tests that call the font services in their own process: points
// FONTCONFIG_FILE at one configuration of the DejaVu fonts and Wine's
// fonts for the whole process, and clears XH_FONT_PATH.  The font services
// read their configuration once, so every case of a process must call this
// before its first font call.  Does nothing on Win32.
void use_test_fonts();

// The length of a font file, so that a test can tell that the file is the
// version its expected output was taken from; -1 when it cannot be read.
int64_t font_file_size(const std::string& path);

// Base64 as the fonts line carries it: false for a length that is not a
// multiple of 4, a byte outside the alphabet, or data after the padding.
bool decode_base64(const std::string& text, std::string* out);

// What a reader of the fonts line finds in one glyph set's byte form.
struct glyph_set {
  std::string bytes;
  int32_t ascent = 0, descent = 0;
  int64_t height = 0;        // ascent + descent: the cell's rows
  int64_t widths = 0;        // the advances of all 256 codes
  bool greyscale = false;    // some pixel is neither 0 nor 255
  bool consistent = false;   // the length is what the numbers say
  bool real = false;         // consistent, with a cell and ink
};
glyph_set read_glyph_set(const std::string& b64);

#endif  // XHISTORY_TESTS_FONT_FIXTURE_H_
