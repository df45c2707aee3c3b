// The coverage sweep against the font engine of this machine: with arcs
// flattened by stepping, as the x86-64 engine flattens them, every pixel
// must be the engine's own; with bisection (what glyphs are drawn with)
// only pixels along quadratic arcs may differ, and those only slightly.
#include "platform/font/plat_font_gray-posix.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include FT_BBOX_H

namespace {

const char kFont[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const char kSerif[] = "/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf";

FT_Library library() {
  static FT_Library lib = nullptr;
  if (!lib && FT_Init_FreeType(&lib) != 0) lib = nullptr;
  return lib;
}

bool exists(const char* path) {
  struct stat st;
  return stat(path, &st) == 0;
}

struct gray {
  int width, rows;
  std::vector<uint8_t> pixels;
};

gray blank(int width, int rows) { return gray{width, rows, std::vector<uint8_t>((size_t)width * rows)}; }

FT_Bitmap bitmap_of(gray* g) {
  FT_Bitmap bm;
  memset(&bm, 0, sizeof bm);
  bm.width = (unsigned)g->width;
  bm.rows = (unsigned)g->rows;
  bm.pitch = g->width;
  bm.pixel_mode = FT_PIXEL_MODE_GRAY;
  bm.num_grays = 256;
  bm.buffer = g->pixels.data();
  return bm;
}

// The engine's rendering and ours of outline into width x rows.
void render_both(FT_Outline* outline, int width, int rows, plat_gray_arcs arcs, gray* engine,
                 gray* ours) {
  *engine = blank(width, rows);
  *ours = blank(width, rows);
  FT_Bitmap a = bitmap_of(engine), b = bitmap_of(ours);
  ASSERT_EQ(0, FT_Outline_Get_Bitmap(library(), outline, &a));
  ASSERT_TRUE(plat_gray_render(outline, &b, arcs));
}

int differing(const gray& a, const gray& b, int* largest) {
  int n = 0;
  *largest = 0;
  for (size_t i = 0; i < a.pixels.size(); ++i) {
    int d = abs(a.pixels[i] - b.pixels[i]);
    if (d) ++n;
    if (d > *largest) *largest = d;
  }
  return n;
}

// An outline of straight and cubic edges, owned by the test.
struct shape {
  std::vector<FT_Vector> points;
  std::vector<char> tags;
  std::vector<short> contours;
  FT_Outline outline;

  void at(FT_Pos x, FT_Pos y, char tag = FT_CURVE_TAG_ON) {
    points.push_back({x, y});
    tags.push_back(tag);
  }
  void end() { contours.push_back((short)(points.size() - 1)); }
  FT_Outline* get(int flags = FT_OUTLINE_NONE) {
    outline.n_contours = (short)contours.size();
    outline.n_points = (short)points.size();
    outline.points = points.data();
    outline.tags = tags.data();
    outline.contours = contours.data();
    outline.flags = flags;
    return &outline;
  }
};

TEST(GraySweep, StraightAndCubicEdgesAreTheEnginesPixelForPixel) {
  ASSERT_NE(nullptr, library());
  srand(7);
  for (int i = 0; i < 300; ++i) {
    // A star of random edges (it crosses itself, so both fill rules
    // matter), one cubic arc, and a second contour against it; parts lie
    // beyond every side of the bitmap.
    shape s;
    const int n = 3 + rand() % 6;
    for (int k = 0; k < n; ++k) s.at(rand() % 2600 - 300, rand() % 2000 - 300);
    s.at(rand() % 2000, rand() % 1400, FT_CURVE_TAG_CUBIC);
    s.at(rand() % 2000, rand() % 1400, FT_CURVE_TAG_CUBIC);
    s.end();
    s.at(100, 100);
    s.at(100 + rand() % 900, 100);
    s.at(100 + rand() % 900, 100 + rand() % 900);
    s.end();
    for (int flags : {FT_OUTLINE_NONE, FT_OUTLINE_EVEN_ODD_FILL}) {
      for (plat_gray_arcs arcs : {PLAT_GRAY_STEP, PLAT_GRAY_BISECT}) {
        gray engine, ours;
        render_both(s.get(flags), 31, 23, arcs, &engine, &ours);
        int largest;
        ASSERT_EQ(0, differing(engine, ours, &largest)) << "shape " << i << " flags " << flags;
      }
    }
  }
}

TEST(GraySweep, WideOutlinesAreDrawnInBandsAsWhole) {
  ASSERT_NE(nullptr, library());
  // So wide that the cells come in bands of a few rows.
  shape s;
  s.at(-64, -64);
  s.at(2100 * 64, 300 * 64, FT_CURVE_TAG_CUBIC);
  s.at(100 * 64, 900 * 64, FT_CURVE_TAG_CUBIC);
  s.at(4100 * 64, 40 * 64);
  s.at(1000 * 64, 700 * 64);
  s.end();
  gray engine, ours;
  render_both(s.get(), 4000, 600, PLAT_GRAY_STEP, &engine, &ours);
  int largest;
  EXPECT_EQ(0, differing(engine, ours, &largest));
}

// Every glyph of a font at several sizes, upright, slanted and emboldened:
// stepping gives the engine's pixels; bisection differs only along curves,
// by little, and somewhere at the larger sizes.
void compare_font(const char* path) {
  if (!exists(path)) GTEST_SKIP() << path << " is not installed";
  FT_Face face;
  ASSERT_EQ(0, FT_New_Face(library(), path, 0, &face));
  int bisect_differs = 0;
  for (int ppem : {9, 13, 16, 27, 40}) {
    ASSERT_EQ(0, FT_Set_Pixel_Sizes(face, 0, (FT_UInt)ppem));
    for (FT_ULong c = 0x21; c < 0x17F; ++c) {
      FT_UInt gi = FT_Get_Char_Index(face, c);
      if (!gi) continue;
      for (int style = 0; style < 3; ++style) {
        ASSERT_EQ(0, FT_Load_Glyph(face, gi, FT_LOAD_NO_BITMAP));
        FT_Outline* o = &face->glyph->outline;
        if (style == 1) {
          FT_Matrix slant = {1 << 16, 1 << 14, 0, 1 << 16};
          FT_Outline_Transform(o, &slant);
        } else if (style == 2) {
          FT_Outline_Embolden(o, ppem * 64 / 24);
        }
        FT_BBox box;
        FT_Outline_Get_CBox(o, &box);
        FT_Outline_Translate(o, -(box.xMin & -64), -(box.yMin & -64));
        const int w = (int)(((box.xMax + 63) & -64) - (box.xMin & -64)) / 64;
        const int h = (int)(((box.yMax + 63) & -64) - (box.yMin & -64)) / 64;
        if (w <= 0 || h <= 0) continue;
        gray engine, ours;
        render_both(o, w, h, PLAT_GRAY_STEP, &engine, &ours);
        int largest;
        ASSERT_EQ(0, differing(engine, ours, &largest))
            << path << " code " << c << " at " << ppem << " style " << style;
        render_both(o, w, h, PLAT_GRAY_BISECT, &engine, &ours);
        if (differing(engine, ours, &largest)) ++bisect_differs;
        EXPECT_LE(largest, 48) << path << " code " << c << " at " << ppem;
      }
    }
  }
  EXPECT_GT(bisect_differs, 0);
  FT_Done_Face(face);
}

TEST(GraySweep, GlyphsAreTheEnginesWhereTheFlatteningAgrees) {
  ASSERT_NE(nullptr, library());
  compare_font(kFont);
  compare_font(kSerif);
}

TEST(GraySweep, MalformedOrEmptyInput) {
  gray g = blank(4, 4);
  FT_Bitmap bm = bitmap_of(&g);
  shape s;
  s.at(0, 0);
  s.at(128, 0);
  s.at(128, 128);
  s.end();
  FT_Outline* o = s.get();
  o->n_points = 2;  // fewer points than the contours say
  EXPECT_FALSE(plat_gray_render(o, &bm, PLAT_GRAY_BISECT));
  o = s.get();
  s.points[1].x = 0x2000000;  // beyond what the engine draws
  EXPECT_FALSE(plat_gray_render(o, &bm, PLAT_GRAY_BISECT));
  shape none;
  EXPECT_TRUE(plat_gray_render(none.get(), &bm, PLAT_GRAY_BISECT));
  EXPECT_EQ(std::vector<uint8_t>(16, 0), g.pixels);
}

}  // namespace
