#include "platform/font/plat_font_bitmap.h"

#include <ftw.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/plat_font.h"

namespace {

// The strikes of MS Sans Serif as the platform's .fon file has them.
const bitmap_strike kSansSerif[3] = {
    {13, 2, false, false, 0}, {16, 3, false, false, 0}, {20, 4, false, false, 0}};
const bitmap_strike kCourier = {13, 0, false, false, 0};
const bitmap_strike kSmallFonts = {11, 2, false, false, 0};

TEST(BitmapStrike, DiffComparesCellOrCharacterHeight) {
  EXPECT_EQ(bitmap_strike_diff(&kSansSerif[1], 20), 4);
  EXPECT_EQ(bitmap_strike_diff(&kSansSerif[1], 14), -2);
  // -13 asks for a 13-pixel character: the 16 cell less 3 of leading.
  EXPECT_EQ(bitmap_strike_diff(&kSansSerif[1], -13), 0);
  EXPECT_EQ(bitmap_strike_diff(&kSansSerif[0], -13), 2);
}

TEST(BitmapStrike, PickKeepsTheTallestThatFitsElseTheSmallestTooTall) {
  struct {
    int32_t height;
    int want;
  } cases[] = {{8, 0},   {12, 0},  {13, 0},  {15, 0},  {16, 1}, {19, 1},
               {20, 2},  {32, 2},  {-8, 0},  {-11, 0}, {-12, 0}, {-13, 1},
               {-15, 1}, {-16, 2}, {-32, 2}, {0, 0}};
  for (const auto& c : cases)
    EXPECT_EQ(bitmap_pick_strike(kSansSerif, 3, c.height, false, false), c.want)
        << "lfHeight " << c.height;
  EXPECT_EQ(bitmap_pick_strike(kSansSerif, 0, 13, false, false), -1);
}

TEST(BitmapStrike, StyleDoesNotDisplaceAStrikeOfEqualFit) {
  // The mapper moves to a better styled face but keeps the strike it
  // holds unless the new one fits strictly better.
  const bitmap_strike faces[2] = {{13, 0, false, false, 0}, {13, 0, true, false, 0}};
  EXPECT_EQ(bitmap_pick_strike(faces, 2, 13, true, false), 0);
  const bitmap_strike bold_first[2] = {{13, 0, true, false, 0}, {16, 0, false, false, 0}};
  // A worse styled face is passed over once a better one was seen.
  EXPECT_EQ(bitmap_pick_strike(bold_first, 2, 16, true, false), 0);
}

TEST(BitmapStrike, ServesItsOwnCharacterSet) {
  const bitmap_strike ce = {13, 0, false, false, 238};
  EXPECT_TRUE(bitmap_strike_serves(&kCourier, 0));
  EXPECT_TRUE(bitmap_strike_serves(&kCourier, 1));  // the default set is ANSI
  EXPECT_FALSE(bitmap_strike_serves(&ce, 0));
  EXPECT_TRUE(bitmap_strike_serves(&ce, 238));
  const bitmap_strike sfnt = {13, 0, false, false, -1};
  EXPECT_TRUE(bitmap_strike_serves(&sfnt, 0));
}

TEST(BitmapScale, NextMultipleOnlyWithinAQuarter) {
  struct {
    const bitmap_strike* s;
    int32_t height;
    int32_t want;
  } cases[] = {
      {&kCourier, 0, 1},       {&kCourier, 13, 1},     {&kCourier, 23, 1},
      {&kCourier, 24, 2},      {&kCourier, 32, 2},     {&kCourier, 35, 2},
      {&kCourier, 36, 3},      {&kCourier, -23, 1},    {&kCourier, -24, 2},
      {&kSmallFonts, 20, 1},   {&kSmallFonts, 21, 2},  {&kSmallFonts, -18, 1},
      {&kSmallFonts, -19, 2},  {&kSansSerif[2], 32, 1}, {&kSansSerif[2], 36, 2},
      {&kSansSerif[2], -32, 2}, {&kCourier, 8, 1},     {&kCourier, -1, 1},
  };
  for (const auto& c : cases)
    EXPECT_EQ(bitmap_scale(c.s, c.height), c.want)
        << "strike " << c.s->height << ", lfHeight " << c.height;
  EXPECT_EQ(bitmap_scale(&kCourier, 13 * 4096), 4096);
  EXPECT_EQ(bitmap_scale(&kCourier, 1 << 30), 4096);
  EXPECT_EQ(bitmap_scale(&kCourier, INT32_MIN), 4096);
  EXPECT_EQ(bitmap_strike_diff(&kCourier, INT32_MIN), 2147483648LL - 13);
}

TEST(BitmapMetrics, ScaledWithBoldWideningBeforeTheScale) {
  const bitmap_numbers n = {11, 2, 8, 8, 128, 0, 0x30};
  const bitmap_xscale one = bitmap_width_scale(&n, 13, 0, 1);
  const bitmap_xscale two = bitmap_width_scale(&n, 26, 0, 2);
  bitmap_metrics m = bitmap_scaled_metrics(&n, 1, &one, false);
  EXPECT_EQ(m.ascent, 11);
  EXPECT_EQ(m.descent, 2);
  EXPECT_EQ(m.max_char_width, 8);
  EXPECT_EQ(m.default_char, 128);
  m = bitmap_scaled_metrics(&n, 2, &two, true);
  EXPECT_EQ(m.ascent, 22);
  EXPECT_EQ(m.descent, 4);
  EXPECT_EQ(m.max_char_width, 18);
  EXPECT_EQ(bitmap_advance(8, one.xx, false), 8);
  EXPECT_EQ(bitmap_advance(8, two.xx, true), 17);
}

TEST(BitmapMetrics, WidthAskedFor) {
  // MS Sans Serif's 13-pixel strike, 5 pixels wide on average, asked for 7.
  const bitmap_numbers n = {11, 2, 11, 5, 129, 0, 0x21};
  bitmap_xscale x = bitmap_width_scale(&n, 13, 7, 1);
  EXPECT_DOUBLE_EQ(x.ratio, 1.4);
  EXPECT_EQ(x.xx, 91750);
  EXPECT_EQ(x.pixels, 1);
  EXPECT_EQ(bitmap_scaled_metrics(&n, 1, &x, false).max_char_width, 15);
  EXPECT_EQ(bitmap_scaled_metrics(&n, 1, &x, true).max_char_width, 17);
  EXPECT_EQ(bitmap_advance(5, x.xx, false), 7);
  EXPECT_EQ(bitmap_advance(9, x.xx, true), 14);
  // A negative width counts by its size; no height or an absurd width is
  // no width.
  EXPECT_EQ(bitmap_width_scale(&n, 13, -7, 1).xx, 91750);
  EXPECT_EQ(bitmap_width_scale(&n, 0, 7, 1).xx, 1 << 16);
  EXPECT_EQ(bitmap_width_scale(&n, 13, 1300, 1).xx, 1300 * 65536 / 5);
  EXPECT_EQ(bitmap_width_scale(&n, 13, 1301, 2).xx, 2 << 16);
  EXPECT_EQ(bitmap_width_scale(&n, 13, 1301, 2).pixels, 2);
}

TEST(BitmapBox, PlainBoldItalicAndScaled) {
  const bitmap_glyph_extent a = {0, 11, 8, 13};
  bitmap_box b = bitmap_glyph_box(&a, 11, 2, 1 << 16, 1, false, false);
  EXPECT_EQ(b.left, 0);
  EXPECT_EQ(b.top, 11);
  EXPECT_EQ(b.width, 8);
  EXPECT_EQ(b.height, 13);
  b = bitmap_glyph_box(&a, 11, 2, 1 << 16, 1, true, false);
  EXPECT_EQ(b.width, 9);
  // The slant moves the box's left edge half a pixel out, snapped to -1,
  // and its right edge by 2.75 pixels.
  b = bitmap_glyph_box(&a, 11, 2, 1 << 16, 1, false, true);
  EXPECT_EQ(b.left, -1);
  EXPECT_EQ(b.width, 12);
  EXPECT_EQ(b.height, 13);
  b = bitmap_glyph_box(&a, 11, 2, 2 << 16, 2, false, false);
  EXPECT_EQ(b.left, 0);
  EXPECT_EQ(b.top, 22);
  EXPECT_EQ(b.width, 16);
  EXPECT_EQ(b.height, 26);
  b = bitmap_glyph_box(&a, 11, 2, 2 << 16, 2, true, true);
  EXPECT_EQ(b.left, -1);
  EXPECT_EQ(b.width, 25);  // -1 to 18 + 5.5
  // A glyph beyond the ascent and descent is cut to them.
  const bitmap_glyph_extent tall = {0, 14, 5, 18};
  b = bitmap_glyph_box(&tall, 11, 2, 1 << 16, 1, false, false);
  EXPECT_EQ(b.top, 11);
  EXPECT_EQ(b.height, 13);
  // An empty glyph keeps a one-pixel box.
  const bitmap_glyph_extent empty = {0, 0, 0, 0};
  b = bitmap_glyph_box(&empty, 11, 2, 1 << 16, 1, true, false);
  EXPECT_EQ(b.width, 1);
  EXPECT_EQ(b.height, 1);
}

std::string rows_of(const uint8_t* levels, int32_t width, int32_t height) {
  std::string s;
  for (int32_t r = 0; r < height; ++r) {
    for (int32_t k = 0; k < width; ++k) s += levels[r * width + k] == 16 ? '#' : levels[r * width + k] ? '?' : '.';
    s += '\n';
  }
  return s;
}

TEST(BitmapCompose, BlocksBoldAndClipping) {
  // Two rows of three pixels: "#.#" and ".#.".
  const uint8_t bits[2] = {0xA0, 0x40};
  bitmap_box box = {0, 2, 5, 3};
  std::vector<uint8_t> out(15);
  bitmap_compose(bits, 1, 3, 2, 1, 1, false, &box, out.data());
  EXPECT_EQ(rows_of(out.data(), 5, 3), "#.#..\n.#...\n.....\n");
  bitmap_compose(bits, 1, 3, 2, 1, 1, true, &box, out.data());
  EXPECT_EQ(rows_of(out.data(), 5, 3), "####.\n.##..\n.....\n");
  box = {0, 4, 7, 4};
  out.assign(28, 0xEE);
  bitmap_compose(bits, 1, 3, 2, 2, 2, true, &box, out.data());
  EXPECT_EQ(rows_of(out.data(), 7, 4),
            "###.###\n###.###\n..###..\n..###..\n");
  // Only taller: the pixels keep their width.
  box = {0, 4, 5, 4};
  out.assign(20, 0);
  bitmap_compose(bits, 1, 3, 2, 1, 2, false, &box, out.data());
  EXPECT_EQ(rows_of(out.data(), 5, 4), "#.#..\n#.#..\n.#...\n.#...\n");
  // A box narrower than the glyph cuts it.
  box = {0, 2, 2, 1};
  out.assign(2, 0);
  bitmap_compose(bits, 1, 3, 2, 1, 1, true, &box, out.data());
  EXPECT_EQ(rows_of(out.data(), 2, 1), "##\n");
}

TEST(BitmapCompose, APartIsTheSameWindowOfTheWhole) {
  // Every window of every box, plain and bold, at whole and enlarged
  // scales, holds what the whole composition holds there.
  const uint8_t bits[6] = {0xB4, 0x00, 0x5A, 0x80, 0xE7, 0x00};  // 9 x 3
  for (int32_t scale = 1; scale <= 3; ++scale) {
    for (bool bold : {false, true}) {
      const bitmap_box box = {0, 9, 9 * scale + 1, 3 * scale};
      std::vector<uint8_t> whole((size_t)box.width * box.height);
      bitmap_compose(bits, 2, 9, 3, scale, scale, bold, &box, whole.data());
      for (int32_t x0 = 0; x0 < box.width; ++x0) {
        for (int32_t y0 = 0; y0 < box.height; y0 += 2) {
          const bitmap_box part = {x0, y0, box.width - x0 < 4 ? box.width - x0 : 4,
                                   box.height - y0};
          std::vector<uint8_t> got((size_t)part.width * part.height, 0xEE);
          bitmap_compose_part(bits, 2, 9, 3, scale, scale, bold, &box, &part, got.data());
          for (int32_t r = 0; r < part.height; ++r)
            for (int32_t k = 0; k < part.width; ++k)
              ASSERT_EQ(whole[(size_t)(y0 + r) * box.width + x0 + k],
                        got[(size_t)r * part.width + k])
                  << scale << bold << " at " << x0 + k << "," << y0 + r;
        }
      }
    }
  }
}

TEST(BitmapMetrics, AbsurdHeaderNumbersStayNumbers) {
  // The widest character as wide as a header can say, average width 1,
  // asked a width a hundred cells wide: far past 32 bits when scaled.
  const bitmap_numbers n = {60000, 5535, 65535, 1, 129, 0, 0x21};
  bitmap_xscale x = bitmap_width_scale(&n, 13, 6500000, 1);
  EXPECT_DOUBLE_EQ(x.ratio, 6500000.0);
  EXPECT_EQ(bitmap_scaled_metrics(&n, 1, &x, true).max_char_width, INT32_MAX);
  x.ratio = -x.ratio;
  EXPECT_EQ(bitmap_scaled_metrics(&n, 1, &x, false).max_char_width, INT32_MIN);
}

// The platform's own bitmap fonts, where it has them.
const char kWineFonts[] = "/usr/share/wine/fonts";

std::string wine_font(const char* name) { return std::string(kWineFonts) + "/" + name; }

bool have_wine_fonts() { return access(wine_font("coure.fon").c_str(), R_OK) == 0; }

// One engine for the process, as the font services keep theirs.
FT_Library g_lib = nullptr;

struct BitmapFontFiles : ::testing::Test {
  FT_Library lib = nullptr;
  std::vector<FT_Face> faces;
  void SetUp() override {
    if (!have_wine_fonts()) GTEST_SKIP() << "no " << kWineFonts;
    if (!g_lib) {
      ASSERT_EQ(FT_Init_FreeType(&g_lib), 0);
    }
    lib = g_lib;
  }
  void TearDown() override {
    for (FT_Face f : faces) FT_Done_Face(f);
  }
  FT_Face open(const char* name, int index = 0) {
    FT_Face f = nullptr;
    EXPECT_EQ(FT_New_Face(lib, wine_font(name).c_str(), index, &f), 0) << name;
    if (f) faces.push_back(f);
    return f;
  }
};

// Cell rows as the Windows build under Wine draws them.
const char kCourierA[] =
    "........\n........\n...##...\n....#...\n....#...\n...#.#..\n...#.#..\n"
    "..#...#.\n..#####.\n..#...#.\n.###.###\n........\n........\n";
const char kCourierBoldItalicA[] =
    ".........\n.........\n..###....\n...##....\n...##....\n..####...\n..####...\n"
    ".##..##..\n.######..\n.##..##..\n########.\n.........\n.........\n";

// Draws c into a cell as wide as the font's widest character.
std::string cell_of(const bitmap_font* f, uint8_t c) {
  bitmap_box box;
  uint8_t* levels = nullptr;
  EXPECT_TRUE(bitmap_font_glyph(f, c, nullptr, &box, &levels));
  const int32_t w = f->metrics.max_char_width;
  const int32_t h = f->metrics.ascent + f->metrics.descent;
  std::vector<uint8_t> cell((size_t)w * h);
  for (int32_t r = 0; levels && r < box.height; ++r) {
    const int32_t y = f->metrics.ascent - box.top + r;
    for (int32_t k = 0; k < box.width; ++k) {
      const int32_t x = box.left + k;
      if (y >= 0 && y < h && x >= 0 && x < w) cell[y * w + x] = levels[r * box.width + k];
    }
  }
  free(levels);
  return rows_of(cell.data(), w, h);
}

TEST_F(BitmapFontFiles, CourierMetricsAdvancesAndPixels) {
  FT_Face face = open("coure.fon");
  ASSERT_TRUE(face);
  EXPECT_TRUE(bitmap_face_registered(face));
  bitmap_strike s;
  ASSERT_TRUE(bitmap_face_strike(face, &s));
  EXPECT_EQ(s.height, 13);
  EXPECT_EQ(s.internal_leading, 0);
  EXPECT_EQ(s.char_set, 0);
  bitmap_font f;
  ASSERT_TRUE(bitmap_font_init(&f, face, 13, 0, false, false));
  EXPECT_TRUE(f.by_byte);
  EXPECT_EQ(f.scale, 1);
  EXPECT_EQ(f.metrics.ascent, 11);
  EXPECT_EQ(f.metrics.descent, 2);
  EXPECT_EQ(f.metrics.max_char_width, 8);
  EXPECT_EQ(f.metrics.default_char, 128);
  EXPECT_EQ(f.numbers.avg_width, 8);
  EXPECT_EQ(bitmap_font_advance(&f, 'A'), 8);
  EXPECT_EQ(cell_of(&f, 'A'), kCourierA);

  ASSERT_TRUE(bitmap_font_init(&f, face, 13, 0, true, true));
  EXPECT_TRUE(f.fake_bold && f.fake_italic);
  EXPECT_EQ(f.metrics.max_char_width, 9);
  EXPECT_EQ(bitmap_font_advance(&f, 'A'), 9);
  EXPECT_EQ(cell_of(&f, 'A'), kCourierBoldItalicA);

  // Twice the strike: every pixel a 2 x 2 block, as Windows enlarges it.
  ASSERT_TRUE(bitmap_font_init(&f, face, -26, 0, false, false));
  EXPECT_EQ(f.scale, 2);
  EXPECT_EQ(f.metrics.ascent, 22);
  EXPECT_EQ(bitmap_font_advance(&f, 'A'), 16);
  std::string doubled;
  for (const char* row = kCourierA; *row; row += 9) {
    std::string line;
    for (int k = 0; k < 8; ++k) line += std::string(2, row[k]);
    doubled += line + "\n" + line + "\n";
  }
  EXPECT_EQ(cell_of(&f, 'A'), doubled);
}

TEST_F(BitmapFontFiles, BytesThatRoundTripAndTheDefaultGlyph) {
  FT_Face face = open("coure.fon");
  ASSERT_TRUE(face);
  bitmap_font f;
  ASSERT_TRUE(bitmap_font_init(&f, face, 0, 0, false, false));
  // A byte below the face's first character draws its default one, the
  // euro sign at 0x80; 0x81, which the code page leaves undefined, still
  // names its own byte's glyph.
  EXPECT_EQ(f.metrics.default_char, 0x80);
  const std::string euro = cell_of(&f, 0x80);
  EXPECT_EQ(cell_of(&f, 0x10), euro);
  EXPECT_NE(cell_of(&f, 0x81), euro);
  EXPECT_NE(cell_of(&f, 'A'), euro);
}

TEST_F(BitmapFontFiles, SansSerifStrikesAndTheIntermediateSfntIsNotRegistered) {
  bitmap_strike strikes[3];
  for (int i = 0; i < 3; ++i) {
    FT_Face face = open("sserife.fon", i);
    ASSERT_TRUE(face);
    ASSERT_TRUE(bitmap_face_strike(face, &strikes[i]));
    EXPECT_EQ(strikes[i].height, kSansSerif[i].height);
    EXPECT_EQ(strikes[i].internal_leading, kSansSerif[i].internal_leading);
  }
  const int k = bitmap_pick_strike(strikes, 3, -13, false, false);
  ASSERT_EQ(k, 1);
  bitmap_font f;
  ASSERT_TRUE(bitmap_font_init(&f, faces[1], -13, 0, false, false));
  EXPECT_EQ(f.metrics.ascent, 13);
  EXPECT_EQ(f.metrics.descent, 3);
  EXPECT_EQ(f.metrics.max_char_width, 14);
  EXPECT_EQ(f.metrics.default_char, 129);
  EXPECT_EQ(bitmap_font_advance(&f, 'A'), 9);
  EXPECT_EQ(bitmap_font_advance(&f, 'g'), 8);

  // The set made for 120 dpi screens is not the screen's.
  FT_Face large = open("sseriff.fon");
  ASSERT_TRUE(large);
  EXPECT_FALSE(bitmap_face_registered(large));
  FT_Face sfnt = open("ms_sans_serif.ttf");
  ASSERT_TRUE(sfnt);
  EXPECT_FALSE(bitmap_face_registered(sfnt));
  FT_Face outline = open("tahoma.ttf");
  ASSERT_TRUE(outline);
  EXPECT_TRUE(bitmap_face_registered(outline));
}

int remove_entry(const char* path, const struct stat*, int, struct FTW*) {
  return remove(path);
}

struct enum_seen {
  std::vector<plat_logfont> fonts;
  std::vector<plat_text_metrics> metrics;
  std::vector<uint32_t> types;
};

int collect(const plat_logfont* lf, const plat_text_metrics* tm, uint32_t type, void* ctx) {
  enum_seen* s = (enum_seen*)ctx;
  s->fonts.push_back(*lf);
  s->metrics.push_back(*tm);
  s->types.push_back(type);
  return 1;
}

plat_logfont logfont(const char* face, int32_t height, int32_t weight, uint8_t italic) {
  plat_logfont lf;
  memset(&lf, 0, sizeof lf);
  lf.lfHeight = height;
  lf.lfWeight = weight;
  lf.lfItalic = italic;
  snprintf(lf.lfFaceName, sizeof lf.lfFaceName, "%s", face);
  return lf;
}

// The font services on a configuration that holds only the platform's
// fonts: the face chosen, its metrics, advances, drawing and enumeration.
TEST(BitmapFaces, ThroughTheFontServices) {
  if (!have_wine_fonts()) GTEST_SKIP() << "no " << kWineFonts;
  const char* tmp = getenv("TMPDIR");
  std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/plat_font_bitmap_XXXXXX";
  ASSERT_TRUE(mkdtemp(&dir[0]));
  const std::string conf = dir + "/fonts.conf";
  FILE* f = fopen(conf.c_str(), "w");
  ASSERT_TRUE(f);
  fprintf(f,
          "<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"fonts.dtd\">\n"
          "<fontconfig><dir>%s</dir><cachedir>%s/cache</cachedir></fontconfig>\n",
          kWineFonts, dir.c_str());
  fclose(f);
  setenv("FONTCONFIG_FILE", conf.c_str(), 1);
  unsetenv("XH_FONT_PATH");  // the configuration above is the whole world

  plat_screen* screen = plat_screen_get();
  ASSERT_TRUE(screen);
  plat_logfont lf = logfont("Courier", -24, 700, 0);
  plat_hfont* font = plat_font_create(&lf);
  ASSERT_TRUE(font);
  plat_text_metrics tm;
  ASSERT_TRUE(plat_font_metrics(screen, font, &tm));
  EXPECT_EQ(tm.ascent, 22);
  EXPECT_EQ(tm.descent, 4);
  EXPECT_EQ(tm.max_char_width, 18);
  EXPECT_EQ(tm.default_char, 128);
  EXPECT_EQ(plat_font_char_advance(screen, font, 'A'), 17);
  uint8_t* px = nullptr;
  plat_surface* s = plat_surface_create(screen, font, 18, 26, &px);
  ASSERT_TRUE(s);
  ASSERT_TRUE(plat_surface_draw_char(s, 0, 0, 0, 0, 18, 26, 'A'));
  plat_surface_flush(s);
  // The serifs' row of Courier's A, doubled and emboldened.
  const int row = 20;
  std::string line;
  for (int x = 0; x < 18; ++x) line += px[(row * 18 + x) * 4] == 0xff ? '#' : '.';
  EXPECT_EQ(line, "..#######.#######.");
  plat_surface_delete(s);
  plat_font_delete(font);

  // Wine's own intermediate sfnt of the face is no candidate.
  lf = logfont("MS Sans Serif", 0, 400, 0);
  enum_seen seen;
  plat_font_enumerate(screen, &lf, collect, &seen);
  ASSERT_EQ(seen.fonts.size(), 3u);
  const int32_t heights[3] = {13, 16, 20}, widths[3] = {5, 7, 8};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(seen.types[i], PLAT_RASTER_FONTTYPE);
    EXPECT_EQ(seen.fonts[i].lfPitchAndFamily & 3, 2);  // variable pitch
    bool found = false;
    for (int k = 0; k < 3; ++k)
      found = found || (seen.fonts[i].lfHeight == heights[k] && seen.fonts[i].lfWidth == widths[k]);
    EXPECT_TRUE(found) << seen.fonts[i].lfHeight << " x " << seen.fonts[i].lfWidth;
    EXPECT_EQ(seen.metrics[i].default_char, 129);
  }
  lf = logfont("Courier", 0, 400, 0);
  seen = enum_seen();
  plat_font_enumerate(screen, &lf, collect, &seen);
  ASSERT_EQ(seen.fonts.size(), 1u);
  EXPECT_EQ(seen.fonts[0].lfPitchAndFamily & 3, 1);  // fixed pitch
  EXPECT_EQ(seen.fonts[0].lfHeight, 13);
  EXPECT_EQ(seen.fonts[0].lfWidth, 8);
  plat_screen_release(screen);

  unsetenv("FONTCONFIG_FILE");
  nftw(dir.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
}

}  // namespace
