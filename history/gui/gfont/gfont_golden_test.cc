// Glyph sets that the Windows build drew under Wine, pinned byte for byte:
// smoothed outlines (the coverage sweep's flattening of arcs), and the
// synthesised bold of a face without a bold file.  The native build must
// draw the same bytes, so a slip in the sweep or the emboldening fails
// here without the Windows build at hand.  scripts/font-golden writes the
// data file from the Windows build; it also names each font file with its
// length, and a set whose font is missing or of another version is
// skipped.
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "history/gui/gfont/gfont.h"
#include "history/gui/util/strutil/strutil.h"
#include "shared/gen_alloc.h"
#include "tests/font_fixture.h"

namespace {

struct golden_set {
  std::string group;  // "smooth" or "bold"
  std::string font;   // "dejavu/FILE" or "wine/FILE"
  std::string description;
  std::string base64;
};

std::vector<std::string> split_tabs(const std::string& line) {
  std::vector<std::string> out(1);
  for (char c : line) {
    if (c == '\t')
      out.emplace_back();
    else if (c != '\r')
      out.back() += c;
  }
  return out;
}

// The sets of one group whose fonts are here as they were when drawn;
// *skipped counts the others.
std::vector<golden_set> load(const std::string& group, int* skipped) {
  std::vector<golden_set> out;
  std::string text;
  EXPECT_TRUE(read_file(XH_GOLDEN_SETS, &text)) << XH_GOLDEN_SETS;
  std::vector<std::string> ok_fonts;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::vector<std::string> f = split_tabs(text.substr(at, end - at));
    at = end + 1;
    if (f[0] == "font" && f.size() == 3) {
      size_t slash = f[1].find('/');
      std::string folder = f[1].substr(0, slash) == "wine" ? kWineFontFolder : kDejaVuFolder;
      std::string path = folder + "/" + f[1].substr(slash + 1);
#ifdef _WIN32
      ok_fonts.push_back(f[1]);  // GDI's own copies
#else
      if (font_file_size(path) == strtoll(f[2].c_str(), nullptr, 10)) ok_fonts.push_back(f[1]);
#endif
    } else if (f[0] == "set" && f.size() == 5 && f[1] == group) {
      bool ok = false;
      for (const std::string& s : ok_fonts) ok = ok || s == f[2];
      if (ok)
        out.push_back({f[1], f[2], f[3], f[4]});
      else
        ++*skipped;
    }
  }
  return out;
}

int32_t le32(const std::vector<uint8_t>& b, size_t at) {
  return at + 4 > b.size() ? INT32_MIN
                           : (int32_t)((uint32_t)b[at] | (uint32_t)b[at + 1] << 8 |
                                       (uint32_t)b[at + 2] << 16 | (uint32_t)b[at + 3] << 24);
}

std::vector<uint8_t> decode(const std::string& text) {
  static const std::string kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::vector<uint8_t> out;
  uint32_t acc = 0;
  int bits = 0;
  for (char c : text) {
    size_t v = kAlphabet.find(c);
    if (v == std::string::npos) continue;
    acc = acc << 6 | (uint32_t)v;
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back((uint8_t)(acc >> bits));
    }
  }
  return out;
}

// Where two byte forms part: the first code whose numbers or pixels
// differ, and how many codes differ in all.
std::string first_difference(const std::vector<uint8_t>& got, const std::vector<uint8_t>& want) {
  char buf[200];
  if (le32(got, 128) != le32(want, 128) || le32(got, 132) != le32(want, 132)) {
    snprintf(buf, sizeof buf, "ascent/descent %d/%d, Windows %d/%d", le32(got, 128),
             le32(got, 132), le32(want, 128), le32(want, 132));
    return buf;
  }
  const int32_t h = le32(want, 128) + le32(want, 132);
  std::string first;
  int codes = 0;
  size_t a = 136, b = 136;
  for (int c = 0; c < 256 && a + 16 <= got.size() && b + 16 <= want.size(); ++c) {
    const int32_t wa = le32(got, a + 8), wb = le32(want, b + 8);
    bool differs = memcmp(&got[a], &want[b], 16) != 0;
    if (!differs && wa > 0 && a + 16 + (size_t)wa * h <= got.size() &&
        b + 16 + (size_t)wb * h <= want.size()) {
      for (size_t i = 0; i < (size_t)wa * h && first.empty(); ++i)
        if (got[a + 16 + i] != want[b + 16 + i])
          snprintf(buf, sizeof buf, "code %d pixel (row %d, column %d): %d, Windows %d", c,
                   (int)(i / wa), (int)(i % wa), got[a + 16 + i], want[b + 16 + i]),
              first = buf;
      differs = memcmp(&got[a + 16], &want[b + 16], (size_t)wa * h) != 0;
    } else if (differs && first.empty()) {
      snprintf(buf, sizeof buf, "code %d: pads %d %d width %d advance %d, Windows %d %d %d %d",
               c, le32(got, a), le32(got, a + 4), wa, le32(got, a + 12), le32(want, b),
               le32(want, b + 4), wb, le32(want, b + 12));
      first = buf;
    }
    codes += differs;
    a += 16 + (size_t)(wa > 0 ? wa : 0) * h;
    b += 16 + (size_t)(wb > 0 ? wb : 0) * h;
  }
  return first + " (" + std::to_string(codes) + " codes differ)";
}

void expect_group(const std::string& group, size_t at_least) {
#ifndef _WIN32
  use_test_fonts();
#endif
  int skipped = 0;
  std::vector<golden_set> sets = load(group, &skipped);
  if (sets.empty()) GTEST_SKIP() << "the fonts of the " << group << " sets are not here";
  EXPECT_GE(sets.size() + skipped, at_least);
  for (const golden_set& s : sets) {
    SCOPED_TRACE(s.description);
    gfont* g = gfont_from_text(s.description.c_str());
    ASSERT_NE(nullptr, g);
    size_t length = 0;
    uint8_t* bytes = gfont_serialize(g, &length);
    char* b64 = base64_encode(bytes, length);
    if (s.base64 != b64) {
      ADD_FAILURE() << first_difference(std::vector<uint8_t>(bytes, bytes + length),
                                        decode(s.base64));
    }
    gen_free(b64);
    gen_free(bytes);
    gfont_free(g);
  }
}

// Smoothed outlines at sizes where the arcs are flattened in several
// pieces: coverage levels along every curve depend on each split.
TEST(GoldenSets, SmoothedOutlinesAreTheWindowsBuildsByteForByte) { expect_group("smooth", 4); }

// Bold asked of a face that has no bold file: the outline is emboldened
// by a fixed share of the em, smoothed and not.
TEST(GoldenSets, SynthesisedBoldIsTheWindowsBuildsByteForByte) { expect_group("bold", 2); }

}  // namespace
