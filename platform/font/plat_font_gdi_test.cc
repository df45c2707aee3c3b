#include "platform/font/plat_font_gdi.h"

#include <gtest/gtest.h>
#include <math.h>

#include <vector>

namespace {

// The numbers of DejaVu Sans: 2048 units an em, a 1901 + 483 unit cell.
gdi_face_numbers dejavu_sans() {
  gdi_face_numbers n = {};
  n.units_per_em = 2048;
  n.win_ascent = 1901;
  n.win_descent = 483;
  n.hhea_ascender = 1901;
  n.hhea_descender = -483;
  n.bbox_width = 2279;
  n.avg_char_width = 1038;
  n.first_char = 0x20;
  return n;
}

void put16(std::vector<uint8_t>* t, int v) {
  t->push_back((uint8_t)((v >> 8) & 0xff));
  t->push_back((uint8_t)(v & 0xff));
}

// A VDMX table with one ratio record (for charset 1 unless said otherwise)
// and records (ppem, yMax, yMin) for sizes start..end.
std::vector<uint8_t> vdmx(uint8_t charset, int start, int end,
                          const std::vector<std::vector<int>>& recs) {
  std::vector<uint8_t> t;
  put16(&t, 1);  // version
  put16(&t, (int)recs.size());
  put16(&t, 1);  // one ratio
  t.push_back(charset);
  t.push_back(1);  // 1:1
  t.push_back(1);
  t.push_back(1);
  put16(&t, 6 + 4 + 2);  // the group right after the offsets
  put16(&t, (int)recs.size());
  t.push_back((uint8_t)start);
  t.push_back((uint8_t)end);
  for (const std::vector<int>& r : recs) {
    put16(&t, r[0]);
    put16(&t, r[1]);
    put16(&t, r[2]);
  }
  return t;
}

TEST(PlatFontGdi, SmoothedCoverageBecomesSeventeenLevelsOnGdisRamp) {
  // Levels are coverage * 17 / 256: 0..15 is level 0, 255 is 16.
  EXPECT_EQ(0, gdi_gray_level(15));
  EXPECT_EQ(1, gdi_gray_level(16));
  EXPECT_EQ(1, gdi_gray_level(30));
  EXPECT_EQ(2, gdi_gray_level(31));
  EXPECT_EQ(15, gdi_gray_level(240));
  EXPECT_EQ(16, gdi_gray_level(241));
  EXPECT_EQ(16, gdi_gray_level(255));
  // On black, levels 0 and 1 leave nothing, 16 is full white, and the rest
  // follow the gamma curve (a faint level is much brighter than linear).
  EXPECT_EQ(0, gdi_level_on_black(0));
  EXPECT_EQ(0, gdi_level_on_black(1));
  EXPECT_EQ(0x68, gdi_level_on_black(2));
  EXPECT_EQ(0x7c, gdi_level_on_black(3));
  EXPECT_EQ(0xbd, gdi_level_on_black(8));
  EXPECT_EQ(0xf8, gdi_level_on_black(15));
  EXPECT_EQ(0xff, gdi_level_on_black(16));
  int previous = 0;
  for (int level = 2; level <= 16; ++level) {
    EXPECT_GT(gdi_level_on_black(level), previous) << level;
    previous = gdi_level_on_black(level);
  }
}

TEST(PlatFontGdi, HeightsMapToPixelSizesAsCellOrEm) {
  gdi_face_numbers n = dejavu_sans();
  // Positive: the cell; 13 * 2048 / 2384 = 11.2.
  EXPECT_EQ(11, gdi_ppem_for_height(&n, 13));
  EXPECT_EQ(14, gdi_ppem_for_height(&n, 16));
  // Where rounding up would make the cell taller than asked, one size down:
  // 39 * 2048 / 2384 = 33.5 rounds to 34, whose cell is 39.6, so 33.
  EXPECT_EQ(33, gdi_ppem_for_height(&n, 39));
  EXPECT_EQ(39, gdi_ppem_for_height(&n, 46));
  // Negative: the em itself.  Zero: a cell of 16.
  EXPECT_EQ(16, gdi_ppem_for_height(&n, -16));
  EXPECT_EQ(8, gdi_ppem_for_height(&n, -8));
  EXPECT_EQ(14, gdi_ppem_for_height(&n, 0));
  // Beyond what GDI accepts: 1.
  EXPECT_EQ(1, gdi_ppem_for_height(&n, -70000));
  // A descent stored as a negative short counts by its magnitude.
  gdi_face_numbers neg = n;
  neg.win_descent = (uint16_t)-483;
  EXPECT_EQ(11, gdi_ppem_for_height(&neg, 13));
  // Without Windows metrics, the hhea ones.
  gdi_face_numbers hhea = n;
  hhea.win_ascent = hhea.win_descent = 0;
  hhea.hhea_ascender = 1638;
  hhea.hhea_descender = -410;  // a 2048-unit cell
  EXPECT_EQ(13, gdi_ppem_for_height(&hhea, 13));
}

TEST(PlatFontGdi, VdmxRecordsDecideSizeAndExtent) {
  std::vector<uint8_t> t = vdmx(1, 8, 20, {{8, 8, -2}, {9, 9, -2}, {10, 10, -3}, {11, 12, -3}});
  int32_t y_max = 0, y_min = 0;
  // Positive height: the record whose extent is exactly the height...
  EXPECT_EQ(10, gdi_ppem_from_vdmx(t.data(), t.size(), 13, &y_max, &y_min));
  EXPECT_EQ(10, y_max);
  EXPECT_EQ(-3, y_min);
  // ...else the largest that fits.
  EXPECT_EQ(9, gdi_ppem_from_vdmx(t.data(), t.size(), 12, &y_max, &y_min));
  EXPECT_EQ(9, y_max);
  EXPECT_EQ(-2, y_min);
  // No record reaches the height, or the first is already too tall: the
  // table does not decide.
  EXPECT_EQ(0, gdi_ppem_from_vdmx(t.data(), t.size(), 40, &y_max, &y_min));
  EXPECT_EQ(0, y_max);
  EXPECT_EQ(8, gdi_ppem_from_vdmx(t.data(), t.size(), 10, &y_max, &y_min));
  EXPECT_EQ(8, y_max);
  EXPECT_EQ(-2, y_min);
  EXPECT_EQ(0, gdi_ppem_from_vdmx(t.data(), t.size(), 9, &y_max, &y_min));
  // Negative height: an exact record gives the extent; a size inside the
  // range without a record keeps the em size; outside the range, nothing.
  EXPECT_EQ(9, gdi_ppem_from_vdmx(t.data(), t.size(), -9, &y_max, &y_min));
  EXPECT_EQ(9, y_max);
  EXPECT_EQ(-2, y_min);
  EXPECT_EQ(15, gdi_ppem_from_vdmx(t.data(), t.size(), -15, &y_max, &y_min));
  EXPECT_EQ(0, y_max);
  EXPECT_EQ(0, gdi_ppem_from_vdmx(t.data(), t.size(), -21, &y_max, &y_min));
  // A table whose only ratio is for character set 0 is not used at all.
  std::vector<uint8_t> cs0 = vdmx(0, 8, 20, {{10, 10, -3}});
  EXPECT_EQ(0, gdi_ppem_from_vdmx(cs0.data(), cs0.size(), 13, &y_max, &y_min));
  // Truncated or missing tables decide nothing.
  EXPECT_EQ(0, gdi_ppem_from_vdmx(t.data(), t.size() - 3, 13, &y_max, &y_min));
  EXPECT_EQ(0, gdi_ppem_from_vdmx(nullptr, 0, 13, &y_max, &y_min));
}

TEST(PlatFontGdi, TextMetricsRoundEachPartAndUseTheBoundingBox) {
  gdi_face_numbers n = dejavu_sans();
  gdi_text_metrics m;
  gdi_outline_metrics(&n, 11, 0, 0, false, &m);
  // 1901 and 483 units at 11 ppem: 10.2 and 2.6, rounded apart.
  EXPECT_EQ(10, m.ascent);
  EXPECT_EQ(3, m.descent);
  EXPECT_EQ(12, m.max_char_width);  // 2279 units
  EXPECT_EQ(0x1f, m.default_char);
  gdi_outline_metrics(&n, 11, 0, 0, true, &m);
  EXPECT_EQ(13, m.max_char_width) << "synthesised bold is one pixel wider";
  // A VDMX extent replaces the scaled ascent and descent.
  gdi_outline_metrics(&n, 11, 12, -4, false, &m);
  EXPECT_EQ(12, m.ascent);
  EXPECT_EQ(4, m.descent);
  // The default character is one below the break character.
  n.first_char = 1;
  gdi_outline_metrics(&n, 11, 0, 0, false, &m);
  EXPECT_EQ(2, m.default_char);
  n.first_char = 0x100;
  gdi_outline_metrics(&n, 11, 0, 0, false, &m);
  EXPECT_EQ(0x1f, m.default_char);
  n.first_char = 0x41;
  gdi_outline_metrics(&n, 11, 0, 0, false, &m);
  EXPECT_EQ(0x40, m.default_char);
  n.symbol = true;
  gdi_outline_metrics(&n, 11, 0, 0, false, &m);
  EXPECT_EQ(0x1f, m.default_char);
}

TEST(PlatFontGdi, AdvancesRoundUpWithFixedPitchFixUpAndBold) {
  gdi_face_numbers n = dejavu_sans();
  EXPECT_EQ(7, gdi_advance(&n, 11, 6 * 64 + 1, false, nullptr));
  EXPECT_EQ(6, gdi_advance(&n, 11, 6 * 64, false, nullptr));
  EXPECT_EQ(7, gdi_advance(&n, 11, 6 * 64, true, nullptr));
  // A fixed-pitch face of average width 1000 units at 19 ppem: the average
  // is 9.3, so 9 pixels; a glyph whose advance rounds to two averages
  // (18.6, so 19) gets exactly twice the average, 18.
  gdi_face_numbers mono = n;
  mono.avg_char_width = 1000;
  mono.fixed_pitch = true;
  EXPECT_EQ(18, gdi_advance(&mono, 19, 19 * 64, false, nullptr));
  EXPECT_EQ(19, gdi_advance(&mono, 19, 19 * 64, true, nullptr));
  EXPECT_EQ(9, gdi_advance(&mono, 19, 9 * 64, false, nullptr)) << "a half-width glyph keeps its advance";
  EXPECT_EQ(20, gdi_advance(&mono, 19, 20 * 64, false, nullptr));
  mono.fixed_pitch = false;
  EXPECT_EQ(19, gdi_advance(&mono, 19, 19 * 64, false, nullptr)) << "proportional faces have no fix-up";
}

TEST(PlatFontGdi, AskedWidthScalesAdvancesBoxesAndTheWidestCharacter) {
  gdi_face_numbers n = dejavu_sans();
  // No width, or the font's own average: nothing changes.
  gdi_transform none = gdi_glyph_transform(0, 6, false);
  EXPECT_FALSE(gdi_transformed(&none));
  gdi_transform own = gdi_glyph_transform(6, 6, false);
  EXPECT_FALSE(gdi_transformed(&own));
  // Twice the average width: advances and boxes twice as wide.
  gdi_transform twice = gdi_glyph_transform(12, 6, false);
  EXPECT_EQ(2 * GDI_ONE, twice.xx);
  EXPECT_EQ(0, twice.xy);
  EXPECT_EQ(13, gdi_advance(&n, 11, 6 * 64 + 16, false, &twice));  // 12.5 up
  EXPECT_EQ(14, gdi_advance(&n, 11, 6 * 64 + 16, true, &twice));
  gdi_glyph_metrics m = {3 * 64, 5 * 64, 64, 5 * 64};
  gdi_box b = gdi_glyph_box(&m, 10, 3, &twice);
  EXPECT_EQ(2 * 64, b.x_min);
  EXPECT_EQ(8 * 64, b.x_max);
  EXPECT_EQ(5 * 64, b.y_max);
  EXPECT_EQ(0, b.y_min);
  // The ratio is cut, not rounded, to 16.16: 7 / 6 = 1.1666...
  EXPECT_EQ(76458, gdi_glyph_transform(7, 6, false).xx);
  // With a slant as well, the slant is not scaled.
  EXPECT_EQ(GDI_SLANT_XY, gdi_glyph_transform(12, 6, true).xy);
  // The widest character is scaled and rounded: 13 * 7 / 6 = 15.17.
  EXPECT_EQ(15, gdi_scaled_max_width(13, 7, 6));
  EXPECT_EQ(13, gdi_scaled_max_width(13, 0, 6));
}

TEST(PlatFontGdi, GaspRangesDecideSmoothing) {
  // Ranges of Wine's Tahoma: no smoothing to 16 ppem, smoothing above.
  const uint8_t tahoma[] = {0, 1, 0, 3, 0, 8, 0, 0, 0, 16, 0, 1, 0xff, 0xff, 0, 3};
  bool gray = true;
  EXPECT_TRUE(gdi_gasp_gray(tahoma, sizeof tahoma, 8, &gray));
  EXPECT_FALSE(gray);
  EXPECT_TRUE(gdi_gasp_gray(tahoma, sizeof tahoma, 16, &gray));
  EXPECT_FALSE(gray);
  EXPECT_TRUE(gdi_gasp_gray(tahoma, sizeof tahoma, 17, &gray));
  EXPECT_TRUE(gray);
  // Past the last range, the last range's behaviour.
  const uint8_t short_ranges[] = {0, 0, 0, 1, 0, 20, 0, 2};
  EXPECT_TRUE(gdi_gasp_gray(short_ranges, sizeof short_ranges, 40, &gray));
  EXPECT_TRUE(gray);
  // No ranges: the table applies and says no smoothing.
  const uint8_t empty[] = {0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_TRUE(gdi_gasp_gray(empty, sizeof empty, 12, &gray));
  EXPECT_FALSE(gray);
  // Tables that are cut short or of an unknown version have no say.
  EXPECT_FALSE(gdi_gasp_gray(tahoma, 12, 12, &gray));
  const uint8_t v2[] = {0, 2, 0, 1, 0, 8, 0, 0};
  EXPECT_FALSE(gdi_gasp_gray(v2, sizeof v2, 12, &gray));
  EXPECT_FALSE(gdi_gasp_gray(nullptr, 0, 12, &gray));
}

TEST(PlatFontGdi, GlyphBoxesSnapOutwardAndAreCutToTheCell) {
  // 26.6: ink from x 1.25 to 6.5, y -2.25 to 7.75.
  gdi_glyph_metrics m = {5 * 64 + 16, 10 * 64, 64 + 16, 7 * 64 + 48};
  gdi_box b = gdi_glyph_box(&m, 10, 3, nullptr);
  EXPECT_EQ(64, b.x_min);
  EXPECT_EQ(7 * 64, b.x_max);
  EXPECT_EQ(8 * 64, b.y_max);
  EXPECT_EQ(-3 * 64, b.y_min);
  // Ink above the ascent or below the descent is cut off.
  b = gdi_glyph_box(&m, 6, 2, nullptr);
  EXPECT_EQ(6 * 64, b.y_max);
  EXPECT_EQ(-2 * 64, b.y_min);
  // A synthesised italic leans right by a quarter of the height: the top
  // corner moves 7.75 / 4, the bottom one -2.25 / 4.
  gdi_transform slant = gdi_glyph_transform(0, 0, true);
  b = gdi_glyph_box(&m, 10, 3, &slant);
  EXPECT_EQ(0, b.x_min);                  // 1.25 - 0.5625 = 0.69, floor 0
  EXPECT_EQ(9 * 64, b.x_max);             // 6.5 + 1.94 = 8.44, ceil 9
  EXPECT_EQ(8 * 64, b.y_max);
  EXPECT_EQ(-3 * 64, b.y_min);
}

// Windows-1252 as the code page's published table has it, the undefined
// bytes as their C1 controls; everything else is Latin-1.
TEST(PlatFontGdi, WidthsPastThirtyTwoBitsAreHeldThere) {
  EXPECT_EQ(gdi_round_to_int32(2.5), 3);
  EXPECT_EQ(gdi_round_to_int32(-2.5), -2);
  EXPECT_EQ(gdi_round_to_int32(1e300), INT32_MAX);
  EXPECT_EQ(gdi_round_to_int32(-1e300), INT32_MIN);
  EXPECT_EQ(gdi_round_to_int32(2147483647.4), INT32_MAX);
  EXPECT_EQ(gdi_round_to_int32(NAN), 0);
  // A face whose average width is a single unit, asked for a width of
  // half a million: the widest character is as wide as 32 bits hold.
  EXPECT_EQ(gdi_scaled_max_width(14000, 500000, 1), INT32_MAX);
  EXPECT_EQ(gdi_scaled_max_width(14, 7, 14), 7);
}

TEST(Cp1252, BytesMapToTheirCharacters) {
  const uint32_t high[32] = {
      0x20ac, 0x81,   0x201a, 0x192,  0x201e, 0x2026, 0x2020, 0x2021,
      0x2c6,  0x2030, 0x160,  0x2039, 0x152,  0x8d,   0x17d,  0x8f,
      0x90,   0x2018, 0x2019, 0x201c, 0x201d, 0x2022, 0x2013, 0x2014,
      0x2dc,  0x2122, 0x161,  0x203a, 0x153,  0x9d,   0x17e,  0x178};
  for (int c = 0; c < 256; ++c)
    EXPECT_EQ(c >= 0x80 && c < 0xA0 ? high[c - 0x80] : (uint32_t)c,
              gdi_cp1252_to_unicode((uint8_t)c)) << c;
}

}  // namespace
