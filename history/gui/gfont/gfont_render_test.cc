// Enumeration and rendering with known fonts: Wine's fonts under Wine;
// natively the DejaVu fonts through a configuration of the test's own, so
// that neither the machine's settings nor its other fonts count.
#include <string.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "history/gui/gfont/gfont.h"
#include "shared/gen_alloc.h"
#include "tests/font_fixture.h"

namespace {

std::vector<gfont_spec> enumerate(const char* name) {
  gfont_spec q;
  memset(&q, 0, sizeof q);
  strcpy(q.name, name);
  q.ansi = 1;
  std::vector<gfont_spec> out(GFONT_MAX_CANDIDATES);
  int n = gfont_enumerate(&q, GF_MATCH_FACE | GF_MATCH_CHARSET, out.data(),
                          GFONT_MAX_CANDIDATES);
  out.resize(n);
  return out;
}

gfont* render(const char* text) {
  gfont* g = gfont_from_text(text);
  EXPECT_NE(nullptr, g) << text;
  return g;
}

bool any_grey(const gfont* g) {
  for (const gfont_glyph& q : g->glyphs)
    for (int i = 0; q.pixels && i < q.width * g->height; ++i)
      if (q.pixels[i] != 0 && q.pixels[i] != 255) return true;
  return false;
}

// Skips the case unless the fonts it names are there; natively also sets
// up the test's own configuration.
#ifdef _WIN32
#define NEED_MACHINE_FONTS()                                                        \
  if (enumerate("Courier").empty() || enumerate("Tahoma").empty())                  \
  GTEST_SKIP() << "Wine's Courier or Tahoma is missing"
#else
#define NEED_MACHINE_FONTS()                                                        \
  use_test_fonts();                                                                 \
  for (const char* file : {"DejaVuSansMono.ttf", "DejaVuSansMono-Bold.ttf",         \
                           "DejaVuSansMono-Oblique.ttf", "DejaVuSansMono-BoldOblique.ttf", \
                           "DejaVuSans.ttf", "DejaVuSans-BoldOblique.ttf"})          \
    if (!have_font_file(kDejaVuFolder, file)) GTEST_SKIP() << file << " is missing"
#endif

#ifdef _WIN32
const char* const kMonoText = "LOGFONT(13,0,0,0,400,0,0,0,0,0,0,3,0,Courier)";
const char* const kSmoothText = "LOGFONT(16,0,0,0,400,0,0,0,0,0,0,3,0,Tahoma)";
#else
const char* const kMonoText = "LOGFONT(13,0,0,0,400,0,0,0,0,0,0,3,0,DejaVu Sans Mono)";
const char* const kSmoothText = "LOGFONT(13,0,0,0,400,0,0,0,0,0,0,0,0,DejaVu Sans Mono)";
#endif

TEST(Machine, EnumeratesInstalledFaces) {
  NEED_MACHINE_FONTS();
#ifdef _WIN32
  std::vector<gfont_spec> v = enumerate("Courier");
  ASSERT_FALSE(v.empty());
  EXPECT_EQ(1, v[0].raster);
  EXPECT_EQ(1, v[0].fixed_pitch);
  EXPECT_EQ(13, v[0].size);
  EXPECT_EQ(3, v[0].logfont->lfQuality);
  gfont_release_candidates(v.data(), (int)v.size());
  v = enumerate("Tahoma");
  ASSERT_FALSE(v.empty());
  EXPECT_EQ(0, v[0].raster);
  EXPECT_EQ(0, v[0].fixed_pitch);
  EXPECT_GT(v[0].aspect, 0.2f);
  EXPECT_LT(v[0].aspect, 0.8f);
  gfont_release_candidates(v.data(), (int)v.size());
#else
  // Case does not matter; each style is one candidate under the family's
  // own spelling.
  std::vector<gfont_spec> v = enumerate("dejavu sans mono");
  ASSERT_EQ(4u, v.size());
  int styles = 0;
  for (gfont_spec& c : v) {
    styles |= 1 << ((c.logfont->lfWeight > 550) * 2 + (c.logfont->lfItalic != 0));
    EXPECT_STREQ("DejaVu Sans Mono", c.name);
    EXPECT_EQ(1, c.fixed_pitch);
    EXPECT_EQ(0, c.raster);
    EXPECT_EQ(1, c.ansi);
    EXPECT_EQ(0, c.size);
    EXPECT_NEAR(1233.0 / 2384.0, c.aspect, 0.02);
  }
  EXPECT_EQ(15, styles);  // regular, italic, bold, bold italic
  gfont_release_candidates(v.data(), (int)v.size());
  // A family that is not installed is stood in for by the installed ones
  // that are metric-compatible with it, under the name asked for.
  v = enumerate("Bitstream Vera Sans Mono");
  ASSERT_FALSE(v.empty());
  EXPECT_STREQ("Bitstream Vera Sans Mono", v[0].name);
  EXPECT_NEAR(1233.0 / 2384.0, v[0].aspect, 0.02);  // the stand-in's shape
  gfont_release_candidates(v.data(), (int)v.size());
  v = enumerate("DejaVu Sans");
  for (gfont_spec& c : v) EXPECT_EQ(0, c.fixed_pitch);
  gfont_release_candidates(v.data(), (int)v.size());
#endif
  EXPECT_TRUE(enumerate("No Such Face 7f3a").empty());
}

TEST(Machine, RendersLogicalFontsAsWritten) {
  NEED_MACHINE_FONTS();
  gfont* g = render(kMonoText);
  ASSERT_NE(nullptr, g);
  EXPECT_EQ(1, g->rendered);
  EXPECT_EQ(13, g->height);
  EXPECT_EQ(13, g->ascent + g->descent);
  EXPECT_EQ(0, g->greyscale);
  EXPECT_FALSE(any_grey(g));
  // A space has no ink; every ink glyph stays inside its cell.
  EXPECT_EQ(0, g->glyphs[(int)' '].width);
  EXPECT_GT(g->glyphs[(int)' '].advance, 0);
  EXPECT_EQ(g->glyphs[(int)' '].advance, g->glyphs[(int)' '].pad_left);
  for (int c = 33; c < 127; ++c) {
    const gfont_glyph& q = g->glyphs[c];
    SCOPED_TRACE(c);
    EXPECT_GT(q.width, 0);
    EXPECT_LE(q.top, g->ascent);
    EXPECT_LT(q.bottom, g->descent);
    EXPECT_GE(q.pad_left, 0);
    EXPECT_EQ(q.advance, q.pad_left + q.width + q.pad_right);
  }
  // Code 255 is the half-digit blank.
  EXPECT_EQ(g->glyphs[(int)'0'].width / 2, g->glyphs[255].advance);
  EXPECT_EQ(0, g->glyphs[255].width);
  // The never-drawn codes carry the default character's glyph.
  EXPECT_EQ(g->glyphs[1].advance, g->glyphs[9].advance);
  EXPECT_EQ(g->glyphs[1].width, g->glyphs[0].width);

  // The byte form carries it all but the skipped controls.
  size_t len = 0;
  uint8_t* bytes = gfont_serialize(g, &len);
  gfont* back = gfont_deserialize(bytes, len);
  ASSERT_NE(nullptr, back);
  for (int c = 1; c < 256; ++c) {
    if (c == 9 || c == 10 || c == 13) continue;
    const gfont_glyph &a = g->glyphs[c], &b = back->glyphs[c];
    ASSERT_EQ(a.width, b.width) << c;
    EXPECT_EQ(a.advance, b.advance) << c;
    EXPECT_EQ(a.pad_left, b.pad_left) << c;
    if (a.width) {
      EXPECT_EQ(0, memcmp(a.pixels, b.pixels, (size_t)a.width * g->height)) << c;
    }
  }
  gfont_free(back);
  gen_free(bytes);
  gfont_free(g);

  g = render(kSmoothText);
  ASSERT_NE(nullptr, g);
#ifdef _WIN32
  EXPECT_EQ(16, g->height);
#else
  EXPECT_EQ(13, g->height);
  EXPECT_EQ(1, g->greyscale);
  EXPECT_TRUE(any_grey(g));
#endif
  gfont_free(g);
}

#ifndef _WIN32
TEST(Machine, HeightsFollowTheCellAndEmRules) {
  NEED_MACHINE_FONTS();
  // DejaVu Sans Mono: 2048 units an em, 1901 above and 483 below.
  gfont* g = render("LOGFONT(-13,0,0,0,400,0,0,0,0,0,0,3,0,DejaVu Sans Mono)");
  ASSERT_NE(nullptr, g);
  EXPECT_EQ(12, g->ascent);
  EXPECT_EQ(3, g->descent);
  gfont_free(g);
  g = render("LOGFONT(0,0,0,0,400,0,0,0,0,0,0,3,0,DejaVu Sans Mono)");
  ASSERT_NE(nullptr, g);
  EXPECT_EQ(16, g->height);
  gfont_free(g);
  // Bold and italic choose those styles; their glyphs differ from the
  // regular ones.
  gfont* r = render("LOGFONT(20,0,0,0,400,0,0,0,0,0,0,3,0,DejaVu Sans)");
  gfont* b = render("LOGFONT(20,0,0,0,700,1,0,0,0,0,0,3,0,DejaVu Sans)");
  ASSERT_NE(nullptr, r);
  ASSERT_NE(nullptr, b);
  EXPECT_TRUE(r->glyphs[(int)'W'].width != b->glyphs[(int)'W'].width ||
              memcmp(r->glyphs[(int)'W'].pixels, b->glyphs[(int)'W'].pixels,
                     (size_t)r->glyphs[(int)'W'].width * r->height) != 0);
  gfont_free(r);
  gfont_free(b);
  // A face that is not installed still gives a font, as the mapper does.
  g = render("LOGFONT(13,0,0,0,400,0,0,0,0,0,0,0,0,No Such Face 7f3a)");
  ASSERT_NE(nullptr, g);
  EXPECT_EQ(13, g->height);
  gfont_free(g);
}
#endif

}  // namespace
