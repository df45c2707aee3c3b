#include "history/gui/gfont/gfont.h"

#include <string.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "shared/gen_alloc.h"

namespace {

// A raw set as rendering leaves it: ascent 3, descent 2, every drawn code a
// 6-column cell.  Glyphs are drawn from rows of text: '#' full coverage,
// '+' partial, anything else none.
struct raw_set {
  gfont* g;
  raw_set() {
    g = (gfont*)gen_calloc(1, sizeof(gfont));
    g->ascent = 3;
    g->descent = 2;
    g->height = 5;
    for (int c = 32; c <= 255; ++c) draw(c, {}, 6);
  }
  ~raw_set() { gfont_free(g); }
  void draw(int c, const std::vector<std::string>& rows, int32_t advance) {
    gfont_glyph* q = &g->glyphs[c];
    gen_free(q->pixels);
    q->width = 6;
    q->advance = advance;
    q->pixels = (uint8_t*)gen_calloc(6 * 5, 1);
    for (size_t r = 0; r < rows.size(); ++r)
      for (size_t x = 0; x < rows[r].size(); ++x)
        q->pixels[r * 6 + x] = rows[r][x] == '#' ? 255 : rows[r][x] == '+' ? 128 : 0;
  }
};

std::vector<std::string> picture(const gfont* g, int c) {
  const gfont_glyph* q = &g->glyphs[c];
  std::vector<std::string> out;
  for (int r = 0; r < g->height; ++r) {
    std::string row;
    for (int x = 0; x < q->width; ++x) {
      uint8_t v = q->pixels[r * q->width + x];
      row += v == 255 ? '#' : v ? '+' : '.';
    }
    out.push_back(row);
  }
  return out;
}

void expect_numbers(const gfont_glyph& q, int32_t pad_left, int32_t pad_right,
                    int32_t width, int32_t advance) {
  EXPECT_EQ(pad_left, q.pad_left);
  EXPECT_EQ(pad_right, q.pad_right);
  EXPECT_EQ(width, q.width);
  EXPECT_EQ(advance, q.advance);
}

TEST(Trim, InkColumnsAndExtents) {
  raw_set raw;
  raw.draw('A', {"......", ".###..", ".#.#..", ".###..", ".#.#.."}, 5);
  raw.draw('_', {"", "", "", "", "######"}, 6);
  raw.draw('f', {"....##", "....#.", "....#.", "", ""}, 5);  // ink past its advance
  gfont* g = gfont_trim(raw.g, 31);
  ASSERT_NE(nullptr, g);
  EXPECT_EQ(3, g->ascent);
  EXPECT_EQ(2, g->descent);
  EXPECT_EQ(5, g->height);
  EXPECT_EQ(0, g->rendered);
  expect_numbers(g->glyphs[(int)'A'], 1, 1, 3, 5);
  EXPECT_EQ(2, g->glyphs[(int)'A'].top);
  EXPECT_EQ(1, g->glyphs[(int)'A'].bottom);
  EXPECT_EQ((std::vector<std::string>{"...", "###", "#.#", "###", "#.#"}),
            picture(g, 'A'));
  EXPECT_EQ(-1, g->glyphs[(int)'_'].top);
  EXPECT_EQ(1, g->glyphs[(int)'_'].bottom);
  expect_numbers(g->glyphs[(int)'f'], 4, -1, 2, 5);
  EXPECT_EQ(3, g->glyphs[(int)'f'].top);
  EXPECT_EQ(-1, g->glyphs[(int)'f'].bottom);
  // A space has no ink: all of its advance is padding.
  expect_numbers(g->glyphs[(int)' '], 6, 0, 0, 6);
  EXPECT_EQ(nullptr, g->glyphs[(int)' '].pixels);
  EXPECT_EQ(INT32_MIN, g->glyphs[(int)' '].top);
  EXPECT_EQ(INT32_MIN, g->glyphs[(int)' '].bottom);
  EXPECT_EQ(3, g->max_top);
  EXPECT_EQ(1, g->max_bottom);
  EXPECT_EQ(6, g->max_advance);
  EXPECT_EQ(0, g->greyscale);
  gfont_free(g);
  raw.draw('B', {"+"}, 6);
  g = gfont_trim(raw.g, 31);
  EXPECT_EQ(1, g->greyscale);
  gfont_free(g);
  EXPECT_EQ(nullptr, gfont_trim(nullptr, 31));
}

TEST(Trim, DefaultFillAndTheBlankAt255) {
  raw_set raw;
  raw.draw('?', {"", "##", "#"}, 4);
  raw.draw(128, {"", "", "#"}, 3);
  raw.draw('0', {"######"}, 6);
  raw.draw(255, {"######"}, 6);  // never taken from the font
  // A control as default character stands for '?'.
  for (int dc : {0, 9, 10, 13}) {
    gfont* g = gfont_trim(raw.g, (int8_t)dc);
    for (int c : {0, 1, 9, 10, 13, 31}) {
      expect_numbers(g->glyphs[c], 0, 2, 2, 4);
      EXPECT_EQ(picture(g, '?'), picture(g, c));
      EXPECT_NE(g->glyphs[(int)'?'].pixels, g->glyphs[c].pixels);
    }
    gfont_free(g);
  }
  // A default character from the upper half of the code page is a code,
  // not a negative index.
  gfont* g = gfont_trim(raw.g, (int8_t)128);
  expect_numbers(g->glyphs[5], 0, 2, 1, 3);
  expect_numbers(g->glyphs[255], 3, 0, 0, 3);
  EXPECT_EQ(0, g->glyphs[255].top);
  EXPECT_EQ(0, g->glyphs[255].bottom);
  EXPECT_EQ(nullptr, g->glyphs[255].pixels);
  gfont_free(g);
  // A default character that was never drawn fills empty glyphs.
  g = gfont_trim(raw.g, 31);
  expect_numbers(g->glyphs[3], 0, 0, 0, 0);
  EXPECT_EQ(nullptr, g->glyphs[3].pixels);
  gfont_free(g);
}

uint32_t le32(const uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | (uint32_t)p[3] << 24;
}

TEST(ByteForm, LengthLayoutAndRoundTrip) {
  raw_set raw;
  raw.draw('A', {"......", ".###..", ".#.#..", ".###..", ".#.#.."}, 5);
  raw.draw('f', {"....##", "....#.", "....#.", "", ""}, 5);
  raw.draw('?', {"", "+#"}, 4);
  raw.draw('0', {"####"}, 6);
  gfont* g = gfont_trim(raw.g, 31);
  strcpy(g->name, "sample");
  size_t len = 0;
  uint8_t* bytes = gfont_serialize(g, &len);
  size_t widths = 0;
  for (const gfont_glyph& q : g->glyphs) widths += q.width;
  EXPECT_EQ(4232 + 5 * widths, len);
  EXPECT_STREQ("sample", (const char*)bytes);
  EXPECT_EQ(3u, le32(bytes + 128));
  EXPECT_EQ(2u, le32(bytes + 132));
  // Code 0 comes first; 'A' after every glyph before it and its pixels.
  size_t at = 136;
  for (int c = 0; c < 'A'; ++c) at += 16 + (size_t)g->glyphs[c].width * 5;
  EXPECT_EQ(1u, le32(bytes + at));
  EXPECT_EQ(1u, le32(bytes + at + 4));
  EXPECT_EQ(3u, le32(bytes + at + 8));
  EXPECT_EQ(5u, le32(bytes + at + 12));
  EXPECT_EQ(0, memcmp(bytes + at + 16, g->glyphs[(int)'A'].pixels, 15));

  gfont* back = gfont_deserialize(bytes, len);
  ASSERT_NE(nullptr, back);
  EXPECT_EQ(0, back->rendered);
  EXPECT_STREQ("sample", back->name);
  EXPECT_EQ(g->ascent, back->ascent);
  EXPECT_EQ(g->descent, back->descent);
  EXPECT_EQ(g->max_top, back->max_top);
  EXPECT_EQ(g->greyscale, back->greyscale);
  for (int c = 1; c <= 255; ++c) {
    if (c == 9 || c == 10 || c == 13) continue;
    const gfont_glyph& a = g->glyphs[c];
    const gfont_glyph& b = back->glyphs[c];
    SCOPED_TRACE(c);
    expect_numbers(b, a.pad_left, a.pad_right, a.width, a.advance);
    if (a.width) {
      EXPECT_EQ(a.top, b.top);
      EXPECT_EQ(a.bottom, b.bottom);
      EXPECT_EQ(0, memcmp(a.pixels, b.pixels, (size_t)a.width * 5));
    }
  }
  for (int c : {0, 9, 10, 13}) {
    const gfont_glyph& b = back->glyphs[c];
    EXPECT_EQ(0, b.top | b.bottom | b.pad_left | b.pad_right | b.width | b.advance);
    EXPECT_EQ(nullptr, b.pixels);
  }
  gfont_free(back);
  gfont_free(g);
  gen_free(bytes);
}

TEST(ByteForm, EmptySet) {
  gfont* e = gfont_new_empty();
  size_t len = 0;
  uint8_t* bytes = gfont_serialize(e, &len);
  ASSERT_EQ(4232u, len);
  for (size_t i = 0; i < len; ++i) ASSERT_EQ(0, bytes[i]) << i;
  gfont* back = gfont_deserialize(bytes, len);
  ASSERT_NE(nullptr, back);
  EXPECT_EQ(0, back->height);
  gfont_free(back);
  gfont_free(e);
  gen_free(bytes);
}

TEST(ByteForm, ReaderRefusesShortOrAbsurdInput) {
  raw_set raw;
  raw.draw('A', {"#", "#"}, 5);
  gfont* g = gfont_trim(raw.g, 31);
  size_t len = 0;
  uint8_t* bytes = gfont_serialize(g, &len);
  gfont_free(g);
  // Every cut, in the fixed part and in the pixels, is noticed; the reader
  // works on a copy of exactly that length so that a read past it shows.
  for (size_t cut : {(size_t)0, (size_t)100, (size_t)4231, len - 1}) {
    std::vector<uint8_t> part(bytes, bytes + cut);
    EXPECT_EQ(nullptr, gfont_deserialize(part.data(), cut)) << cut;
  }
  EXPECT_EQ(nullptr, gfont_deserialize(nullptr, len));
  std::vector<uint8_t> bad(bytes, bytes + len);
  bad[131] = 0x80;  // negative ascent
  EXPECT_EQ(nullptr, gfont_deserialize(bad.data(), len));
  bad.assign(bytes, bytes + len);
  bad[136 + 8 + 3] = 0x7F;  // code 0 claims a vast width
  EXPECT_EQ(nullptr, gfont_deserialize(bad.data(), len));
  bad.assign(bytes, bytes + len);
  bad[136 + 8] = 0xFF;  // code 0 claims 255 columns that are not there
  EXPECT_EQ(nullptr, gfont_deserialize(bad.data(), len));
  gen_free(bytes);
}

// A glyph set built directly, every glyph without ink.
gfont* made_set(int32_t ascent, int32_t descent) {
  gfont* g = gfont_new_empty();
  for (gfont_glyph& q : g->glyphs) q.top = q.bottom = INT32_MIN;
  g->ascent = ascent;
  g->descent = descent;
  g->height = ascent + descent;
  return g;
}

void put_glyph(gfont* g, int c, const std::vector<std::string>& rows,
               int32_t pad_left, int32_t advance) {
  gfont_glyph* q = &g->glyphs[c];
  q->width = (int32_t)rows[0].size();
  q->pixels = (uint8_t*)gen_calloc((size_t)q->width * g->height, 1);
  q->top = q->bottom = INT32_MIN;
  for (int r = 0; r < g->height && r < (int)rows.size(); ++r)
    for (int x = 0; x < q->width; ++x)
      if (rows[r][x] == '#') {
        q->pixels[r * q->width + x] = 255;
        if (g->ascent - r > q->top) q->top = g->ascent - r;
        if (r - g->ascent > q->bottom) q->bottom = r - g->ascent;
      }
  q->pad_left = pad_left;
  q->advance = advance;
  q->pad_right = advance - pad_left - q->width;
  if (advance > g->max_advance) g->max_advance = advance;
}

TEST(FitCell, TightensToTheInkOfTheLowerHalf) {
  gfont* g = made_set(4, 3);
  put_glyph(g, 'a', {".", "#", "#", "#", ".", ".", "."}, 1, 3);
  put_glyph(g, 'b', {".", ".", ".", ".", "#", ".", "."}, 1, 3);
  gfont_fit_cell(g);
  // T = 3, B = 0: the cell is 5 rows, the baseline below row 3.
  EXPECT_EQ(4, g->ascent);
  EXPECT_EQ(1, g->descent);
  EXPECT_EQ(5, g->height);
  EXPECT_EQ((std::vector<std::string>{".", "#", "#", "#", "."}), picture(g, 'a'));
  EXPECT_EQ((std::vector<std::string>{".", ".", ".", ".", "#"}), picture(g, 'b'));
  gfont_free(g);
}

TEST(FitCell, MonospacedFontLosesItsSpareLeftColumn) {
  gfont* g = made_set(2, 1);
  // Ink one column narrower than the advance, one pad on the left.
  put_glyph(g, 'a', {"#", "#", "."}, 1, 2);
  put_glyph(g, 'b', {"#", "#", "."}, 1, 2);
  gfont_fit_cell(g);
  EXPECT_EQ(0, g->glyphs[(int)'a'].pad_left);
  EXPECT_EQ(1, g->glyphs[(int)'a'].pad_right);
  EXPECT_EQ(3, g->ascent);
  EXPECT_EQ(0, g->descent);
  gfont_free(g);
  // Already tight and not monospaced: nothing changes.
  g = made_set(3, 1);
  put_glyph(g, 'a', {".", "#", "#", "#"}, 1, 2);
  put_glyph(g, 'b', {".", "#", "#", "."}, 0, 3);
  gfont_fit_cell(g);
  EXPECT_EQ(3, g->ascent);
  EXPECT_EQ(1, g->descent);
  EXPECT_EQ(1, g->glyphs[(int)'a'].pad_left);
  gfont_free(g);
  // No ink at all: no cell of negative height.
  g = made_set(3, 1);
  gfont_fit_cell(g);
  EXPECT_EQ(4, g->height);
  gfont_free(g);
}

// A set as the viewer has it: rendered, trimmed, written and read back, so
// that codes 9, 10 and 13 are empty (width 0) while codes 1 to 8 carry the
// default character.  The monospace test passes over the empty codes; were
// it to stop at the first one it would judge the font by the default
// character alone.
gfont* received_set(raw_set* raw) {
  gfont* trimmed = gfont_trim(raw->g, '?');
  size_t len = 0;
  uint8_t* bytes = gfont_serialize(trimmed, &len);
  gfont_free(trimmed);
  gfont* g = gfont_deserialize(bytes, len);
  gen_free(bytes);
  return g;
}

TEST(FitCell, MonospaceTestPassesOverEmptyCodes) {
  // Proportional: the default character is as wide as the widest glyph and
  // one column narrower in ink, but "i" is narrow.  Ink spans rows 1 to 4,
  // so the cell is tight already and nothing may move.
  raw_set prop;
  prop.draw('?', {"", ".#####", ".#...#", "....#.", "...#.."}, 6);
  prop.draw('i', {"", ".#", ".#", ".#", ".#"}, 3);
  gfont* g = received_set(&prop);
  ASSERT_NE(nullptr, g);
  ASSERT_EQ(0, g->glyphs[9].width);
  ASSERT_EQ(1, g->glyphs[1].pad_left);
  gfont_fit_cell(g);
  EXPECT_EQ(3, g->ascent);
  EXPECT_EQ(2, g->descent);
  EXPECT_EQ(1, g->glyphs[(int)'?'].pad_left);
  EXPECT_EQ(1, g->glyphs[(int)'i'].pad_left);
  EXPECT_EQ(1, g->glyphs[(int)'i'].pad_right);
  gfont_free(g);

  // Monospaced: every glyph 6 wide; the default character fills its
  // advance, but the letters after code 13 leave one spare column on the
  // left, which fitting moves to the right.
  raw_set mono;
  mono.draw('?', {"", "######", "#....#", "....#.", "...#.."}, 6);
  for (int c = 33; c <= 126; ++c)
    if (c != '?') mono.draw(c, {"", ".#####", ".#...#", ".#...#", ".#####"}, 6);
  g = received_set(&mono);
  ASSERT_NE(nullptr, g);
  gfont_fit_cell(g);
  EXPECT_EQ(0, g->glyphs[(int)'A'].pad_left);
  EXPECT_EQ(1, g->glyphs[(int)'A'].pad_right);
  EXPECT_EQ(0, g->glyphs[(int)'?'].pad_left);
  gfont_free(g);
}

TEST(TextPass, DrawsBlendsAndClips) {
  gfont* g = made_set(2, 0);
  put_glyph(g, 'x', {"##", "#."}, 1, 3);
  put_glyph(g, ' ', {"."}, 0, 2);
  g->glyphs[(int)'x'].pixels[3] = 0;
  g->glyphs[(int)'x'].pixels[1] = 128;
  const uint8_t colour[4] = {255, 100, 0, 7};
  const int w = 6, h = 4;
  std::vector<uint8_t> buf(w * h * 4, 9);
  gfont_draw_text(g, "x\r\nxx", colour, buf.data(), w, h);
  auto px = [&](int x, int y) { return &buf[(y * w + x) * 4]; };
  EXPECT_EQ(255, px(1, 0)[0]);
  EXPECT_EQ((100 * 255 + 255) / 256, px(1, 0)[1]);
  EXPECT_EQ(0, px(1, 0)[2]);
  EXPECT_EQ((7 * 255 + 255) / 256, px(1, 0)[3]);
  EXPECT_EQ((128 * 255 + 255) / 256, px(2, 0)[0]);  // partial coverage
  EXPECT_EQ(9, px(0, 0)[0]);                          // untouched
  EXPECT_EQ(255, px(1, 2)[0]);                        // second line
  EXPECT_EQ(255, px(4, 2)[0]);                        // second glyph
  // Off the right and bottom edges nothing is written.
  std::vector<uint8_t> small(2 * 1 * 4, 0);
  gfont_draw_text(g, "xxx\nxxx", colour, small.data(), 2, 1);
  EXPECT_EQ(255, small[4]);
  // A tab goes to the next stop of four spaces; with a space of no width
  // the pen stays.
  std::vector<uint8_t> wide(20 * 2 * 4, 0);
  gfont_draw_text(g, "\tx", colour, wide.data(), 20, 2);
  EXPECT_EQ(255, wide[(8 + 1) * 4]);
  g->glyphs[(int)' '].advance = 0;
  std::fill(wide.begin(), wide.end(), 0);
  gfont_draw_text(g, "\tx", colour, wide.data(), 20, 2);
  EXPECT_EQ(255, wide[1 * 4]);
  gfont_free(g);
}

TEST(TextPass, Measures) {
  gfont* g = made_set(3, 1);
  put_glyph(g, 'a', {".", "#", "#", "."}, 1, 3);  // top 2, bottom -1
  put_glyph(g, 'q', {".", ".", "#", "#"}, 0, 2);  // top 1, bottom 0
  g->glyphs[(int)' '].pad_left = 2;
  g->glyphs[(int)' '].advance = 2;
  gfont_text_metrics m;
  gfont_measure_text(g, "aq\n\n  a", &m);
  EXPECT_EQ(7, m.width);
  EXPECT_EQ(3, m.lines);
  EXPECT_EQ(12, m.height);
  EXPECT_EQ(0, m.ink_left);
  EXPECT_EQ(5, m.ink_right);   // the last line's 'a' at x 5
  EXPECT_EQ(1, m.ink_top);     // 3 + 0 - 2
  EXPECT_EQ(10, m.ink_bottom); // 3 + 8 - 1, the last line's
  EXPECT_EQ(3, m.ascent);
  EXPECT_EQ(1, m.descent);
  gfont_measure_text(g, "", &m);
  EXPECT_EQ(1, m.lines);
  EXPECT_EQ(INT32_MAX, m.ink_top);
  EXPECT_EQ(INT32_MIN, m.ink_bottom);
  gfont_free(g);
}

}  // namespace
