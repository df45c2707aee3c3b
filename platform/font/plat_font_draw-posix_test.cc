// Drawing characters whose glyphs reach far outside the rectangle drawn
// into: only the part that can be seen is rasterised, and that part holds
// the very pixels that drawing the whole glyph gives there.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "platform/plat_font.h"
#include "tests/harness.h"

namespace {

const char kDejaVu[] = "/usr/share/fonts/truetype/dejavu";

// The font services with a configuration of the DejaVu fonts alone; false
// when they are not installed.
bool start_fonts(const temp_dir& dir) {
  if (!is_dir(kDejaVu)) return false;
  const std::string conf = dir.file("fonts.conf");
  if (!write_file(conf, "<?xml version=\"1.0\"?>\n<fontconfig><dir>" + std::string(kDejaVu) +
                            "</dir><cachedir>" + dir.file("cache") +
                            "</cachedir></fontconfig>\n"))
    return false;
  setenv("FONTCONFIG_FILE", conf.c_str(), 1);
  unsetenv("XH_FONT_PATH");
  return true;
}

plat_hfont* create(const char* face, int32_t height, int32_t weight, uint8_t italic,
                   uint8_t quality) {
  plat_logfont lf;
  memset(&lf, 0, sizeof lf);
  lf.lfHeight = height;
  lf.lfWeight = weight;
  lf.lfItalic = italic;
  lf.lfQuality = quality;
  strncpy(lf.lfFaceName, face, sizeof lf.lfFaceName - 1);
  return plat_font_create(&lf);
}

// The coverage bytes of a surface's pixels.
std::vector<uint8_t> grab(const uint8_t* bits, int32_t w, int32_t h) {
  std::vector<uint8_t> v((size_t)w * h);
  for (size_t i = 0; i < v.size(); ++i) v[i] = bits[i * 4];
  return v;
}

// Draws each character of chars whole into a surface with room all round,
// and into a strip far smaller than its glyph at several places over it:
// each strip holds the pixels of the whole there, but for at most
// tolerance of them.
void expect_strips_match(plat_hfont* font, const std::string& what, const char* chars,
                         int tolerance) {
  plat_text_metrics tm;
  ASSERT_TRUE(plat_font_metrics(nullptr, font, &tm));
  const int32_t h = tm.ascent + tm.descent, margin = h / 2;
  const int32_t ww = 2 * margin + 2 * h, wh = h + 2 * margin;
  uint8_t* whole_bits = nullptr;
  plat_surface* whole = plat_surface_create(nullptr, font, ww, wh, &whole_bits);
  const int32_t cw = 64, ch = h / 3;
  uint8_t* cut_bits = nullptr;
  plat_surface* cut = plat_surface_create(nullptr, font, cw, ch, &cut_bits);
  ASSERT_NE(nullptr, whole);
  ASSERT_NE(nullptr, cut);
  for (const char* c = chars; *c; ++c) {
    ASSERT_TRUE(plat_surface_draw_char(whole, margin, margin, 0, 0, ww, wh, (uint8_t)*c));
    const std::vector<uint8_t> all = grab(whole_bits, ww, wh);
    int32_t ink = 0;
    // Some strips lie past the glyph's box on either side.
    for (int32_t dx : {-40, -8, 0, h / 10, h / 4, h / 2}) {
      for (int32_t dy : {0, h / 3, 2 * h / 3}) {
        ASSERT_TRUE(plat_surface_draw_char(cut, -dx, -dy, 0, 0, cw, ch, (uint8_t)*c));
        const std::vector<uint8_t> part = grab(cut_bits, cw, ch);
        int differ = 0;
        std::string first;
        for (int32_t r = 0; r < ch; ++r) {
          for (int32_t k = 0; k < cw; ++k) {
            const uint8_t want = all[(size_t)(margin + dy + r) * ww + margin + dx + k];
            ink += want != 0;
            if (want == part[(size_t)r * cw + k]) continue;
            if (!differ++)
              first = std::to_string(k) + "," + std::to_string(r) + ": " +
                      std::to_string(want) + " drawn as " +
                      std::to_string(part[(size_t)r * cw + k]);
          }
        }
        EXPECT_LE(differ, tolerance) << what << " '" << *c << "' strip at " << dx << ","
                                     << dy << ", first at " << first;
      }
    }
    EXPECT_GT(ink, 0) << what << " '" << *c << "'";
  }
  plat_surface_delete(cut);
  plat_surface_delete(whole);
}

TEST(PlatFontDraw, GlyphsReachingPastTheRectangleKeepTheirPixels) {
  temp_dir dir;
  if (!start_fonts(dir)) GTEST_SKIP() << "DejaVu not installed";
  // Glyphs a little larger than the strip are drawn whole and cut as they
  // are put: smoothed and monochrome, plain, synthesised bold and slanted.
  struct style {
    const char* face;
    int32_t height, weight;
    uint8_t italic, quality;
  };
  const style styles[] = {{"DejaVu Sans", -300, 400, 0, 0},
                          {"DejaVu Sans Mono", -280, 700, 1, 0},
                          {"DejaVu Serif", -320, 400, 1, 3}};
  for (const style& st : styles) {
    plat_hfont* font = create(st.face, st.height, st.weight, st.italic, st.quality);
    ASSERT_NE(nullptr, font) << st.face;
    expect_strips_match(font, st.face, "jW@g(f", 0);
    plat_font_delete(font);
  }
  // Glyphs far larger than the strip are drawn only where they can be
  // seen.  Straight smoothed outlines come out as they do whole; the
  // monochrome rasteriser's dropout control may set a lone pixel otherwise
  // near where it was cut.
  for (uint8_t quality : {0, 3}) {
    plat_hfont* font = create("DejaVu Sans", -1200, 400, 0, quality);
    ASSERT_NE(nullptr, font);
    expect_strips_match(font, "DejaVu Sans at 1200, quality " + std::to_string(quality),
                        "WIlHk", quality ? 4 : 0);
    plat_font_delete(font);
  }
}

}  // namespace
