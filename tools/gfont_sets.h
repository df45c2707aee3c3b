// Glyph sets as a build wrote them, read back byte for byte so that two
// builds' sets can be compared: from a saved fonts line (its two sets),
// from the grid tool's output (a description, a tab and the Base64 of a
// set, or "-", on each line), or from a file holding one byte form.
//
// A developer tool's helper; no part of the program.
#ifndef XHISTORY_TOOLS_GFONT_SETS_H_
#define XHISTORY_TOOLS_GFONT_SETS_H_

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

struct raw_glyph {
  int32_t pad_left;
  int32_t pad_right;
  int32_t width;
  int32_t advance;
  size_t pixels;  // offset of the width x height pixel bytes in the form
};

struct raw_set {
  std::string label;           // the description, or where it came from
  std::vector<uint8_t> bytes;  // the byte form; empty when there was none
  bool ok = false;             // the byte form was read whole
  int32_t ascent = 0;
  int32_t descent = 0;
  raw_glyph glyphs[256] = {};
};

// Decodes Base64, skipping any character outside its alphabet.
std::vector<uint8_t> sets_base64_decode(const std::string& text);

// Reads s->bytes into its fields; false (and s->ok false) when the form is
// cut short, has a negative height or width, or carries bytes beyond its
// end.
bool sets_parse(raw_set* s);

// Reads every set of a file in any of the three forms.  False with a
// message in *error when the file cannot be read.
bool sets_read_file(const char* path, std::vector<raw_set>* out,
                    std::string* error);

// How two sets differ.
struct set_difference {
  bool identical = false;
  bool metrics = false;  // ascent or descent
  int advances = 0;      // codes whose advance differs
  int boxes = 0;         // codes with the same advance but another ink box
  int pixel_codes = 0;   // codes with the same box but other coverage
  int pixels = 0;        // pixels that differ in those codes
};
set_difference sets_compare(const raw_set& a, const raw_set& b);

// One line that says how two sets differ, e.g. "identical" or
// "advances 3, pixels 12 in 2 codes".
std::string sets_describe(const set_difference& d, const raw_set& a,
                          const raw_set& b);

#endif  // XHISTORY_TOOLS_GFONT_SETS_H_
