// The fonts command given what could hurt it: rotated and outsized
// descriptions, font folders that cannot be used, and font files whose
// tables lie.  Every run ends normally with two real glyph sets, and says
// on standard error what it passed over.  The crafted fonts are made here
// from the machine's DejaVu and Wine font files; a case skips when they are
// missing.
#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/font_fixture.h"
#include "tests/harness.h"

namespace {

uint32_t get(const std::string& b, size_t at, int bytes, bool big_endian) {
  uint32_t v = 0;
  for (int i = 0; i < bytes; ++i) {
    const uint32_t byte = (uint8_t)b[at + (big_endian ? i : bytes - 1 - i)];
    v = v << 8 | byte;
  }
  return v;
}

void put(std::string* b, size_t at, int bytes, uint32_t v, bool big_endian) {
  for (int i = 0; i < bytes; ++i) {
    const int shift = 8 * (big_endian ? bytes - 1 - i : i);
    (*b)[at + i] = (char)(v >> shift);
  }
}

struct fonts_run {
  run_result r;
  glyph_set mono, sans;
};

fonts_run run_fonts(const std::vector<std::string>& args, const run_options& options) {
  std::vector<std::string> all = {"--fonts"};
  all.insert(all.end(), args.begin(), args.end());
  fonts_run f;
  f.r = run_fsutil(all, options);
  const std::string& out = f.r.out;
  const size_t a = out.find("  "), b = out.find(' ', a + 2), e = out.find_first_of("\r\n");
  if (out.compare(0, 5, "fonts") == 0 && a == 5 && b != std::string::npos && e != std::string::npos) {
    f.mono = read_glyph_set(out.substr(a + 2, b - a - 2));
    f.sans = read_glyph_set(out.substr(b + 1, e - b - 1));
  }
  return f;
}

size_t count(const std::string& s, const std::string& what) {
  size_t n = 0;
  for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1)) ++n;
  return n;
}

// A configuration with the DejaVu fonts only (natively; Windows has its
// own fonts), and XH_FONT_PATH set to font_path.
run_options font_options(const temp_dir& dir, const std::string& font_path) {
  run_options o;
  if (on_win32()) return o;
  const std::string conf = dir.file("fonts.conf");
  // The generic faces as the system's configuration names them.
  write_file(conf, "<?xml version=\"1.0\"?>\n<fontconfig>\n  <dir>" + std::string(kDejaVuFolder) +
                       "</dir>\n  <cachedir>" + dir.file("cache") + "</cachedir>\n"
                       "  <alias><family>monospace</family><prefer><family>DejaVu Sans Mono"
                       "</family></prefer></alias>\n"
                       "  <alias><family>sans-serif</family><prefer><family>DejaVu Sans"
                       "</family></prefer></alias>\n</fontconfig>\n");
  o.env.push_back({"FONTCONFIG_FILE", conf});
  o.env.push_back({"XH_FONT_PATH", font_path});
  return o;
}

// The face that every build has for outline cases.
const char* outline_face() { return on_win32() ? "Tahoma" : "DejaVu Sans"; }

bool have_outline_face() { return on_win32() || is_dir(kDejaVuFolder); }

std::string logfont(int height, int width, int escapement, const char* face) {
  return "LOGFONT(" + std::to_string(height) + "," + std::to_string(width) + "," +
         std::to_string(escapement) + "," + std::to_string(escapement) +
         ",400,0,0,0,0,0,0,0,0," + face + ")";
}

void expect_two_real_sets(const fonts_run& f) {
  EXPECT_EQ(0u, f.r.status) << f.r.err;
  EXPECT_EQ(0, f.r.signal);
  EXPECT_TRUE(f.mono.real);
  EXPECT_TRUE(f.sans.real);
  EXPECT_EQ(std::string::npos, f.r.err.find("Sanitizer")) << f.r.err;
  EXPECT_EQ(std::string::npos, f.r.err.find("runtime error")) << f.r.err;
}

TEST(FontsHostile, RotatedTextIsDrawnUpright) {
  if (!have_outline_face()) GTEST_SKIP() << "no outline face installed";
  temp_dir dir;
  const run_options o = font_options(dir, "");
  const fonts_run upright = run_fonts({"--sans", logfont(-20, 0, 0, outline_face())}, o);
  expect_two_real_sets(upright);
  for (int escapement : {450, 900, 1800, 2700, -900}) {
    const fonts_run turned = run_fonts({"--sans", logfont(-20, 0, escapement, outline_face())}, o);
    expect_two_real_sets(turned);
    EXPECT_EQ(upright.sans.bytes, turned.sans.bytes) << escapement;
  }
}

TEST(FontsHostile, LargeCellsAreRenderedAndLargerOnesSaySo) {
  if (!have_outline_face()) GTEST_SKIP() << "no outline face installed";
  temp_dir dir;
  const run_options o = font_options(dir, "");
  // Beyond what one bitmap of all the cells could hold.
  const fonts_run large = run_fonts({"--sans", logfont(-600, 0, 0, outline_face())}, o);
  expect_two_real_sets(large);
  EXPECT_GT(large.sans.height, 600);
  EXPECT_EQ("", large.r.err);
  // Beyond any glyph set: the default, with a line that says why.
  const fonts_run huge = run_fonts({"--sans", logfont(-5000, 0, 0, outline_face())}, o);
  expect_two_real_sets(huge);
  EXPECT_LT(huge.sans.height, 100);
  EXPECT_EQ(1u, count(huge.r.err, "larger than a glyph set may hold")) << huge.r.err;
}

TEST(FontsHostile, UnusableFontFoldersAreSkippedOneByOne) {
  if (on_win32() || !is_dir(kWineFontFolder) || !is_dir(kDejaVuFolder))
    GTEST_SKIP() << "needs the DejaVu and Wine fonts";
  temp_dir dir;
  const std::string bad_byte = dir.file("bad\xff"), control = dir.file("ctl\x01");
  ASSERT_TRUE(make_dir(bad_byte));
  ASSERT_TRUE(make_dir(control));
  // A tree larger than any font collection.
  const std::string big = dir.file("big");
  ASSERT_TRUE(make_dir(big));
  for (int i = 0; i < 5001; ++i) ASSERT_TRUE(write_file(big + "/" + std::to_string(i), ""));
  const std::string wanted = "LOGFONT(13,0,0,0,400,0,0,0,0,0,0,0,0,Courier)";
  const fonts_run good = run_fonts({"--mono", wanted}, font_options(dir, kWineFontFolder));
  expect_two_real_sets(good);
  EXPECT_EQ("", good.r.err);
  const std::string path = bad_byte + ":" + control + ":" + dir.file("missing") + ":" + big +
                           ":" + kWineFontFolder + ":" + dir.file("fonts.conf");
  const fonts_run f = run_fonts({"--mono", wanted}, font_options(dir, path));
  expect_two_real_sets(f);
  // The folders that can be used still count, the system's fonts too.
  EXPECT_EQ(good.mono.bytes, f.mono.bytes);
  EXPECT_EQ(good.sans.bytes, f.sans.bytes);
  EXPECT_EQ(5u, count(f.r.err, "XH_FONT_PATH: the folder ")) << f.r.err;
  EXPECT_EQ(5u, count(f.r.err, "\n"));
  EXPECT_EQ(1u, count(f.r.err, "bad\\xFF\" is skipped: it is not valid UTF-8"));
  EXPECT_EQ(1u, count(f.r.err, "ctl\\x01\" is skipped: it holds a control character"));
  EXPECT_EQ(1u, count(f.r.err, "missing\" is skipped: it does not exist"));
  EXPECT_EQ(1u, count(f.r.err, "big\" is skipped: it holds more than 5000"));
  EXPECT_EQ(1u, count(f.r.err, "fonts.conf\" is skipped: it is not a folder"));
  EXPECT_EQ(0u, count(f.r.err, "Fontconfig"));
}

// DejaVu Sans under another family name ("Crafty Sans"), so that the
// machine's own DejaVu Sans stays as it is for the defaults.
bool crafted_sans(std::string* font) {
  if (!read_file(std::string(kDejaVuFolder) + "/DejaVuSans.ttf", font)) return false;
  const std::string from = "DejaVu Sans", to = "Crafty Sans";
  std::string from16, to16;
  for (size_t i = 0; i < from.size(); ++i) {
    from16 += std::string(1, '\0') + from[i];
    to16 += std::string(1, '\0') + to[i];
  }
  for (const auto& p : {std::make_pair(from, to), std::make_pair(from16, to16)})
    for (size_t at = font->find(p.first); at != std::string::npos; at = font->find(p.first, at))
      font->replace(at, p.first.size(), p.second);
  return true;
}

// The offset of an sfnt table, or 0.
size_t table(const std::string& font, const char* tag) {
  const uint32_t n = get(font, 4, 2, true);
  for (uint32_t i = 0; i < n && 12 + 16 * i + 16 <= font.size(); ++i)
    if (font.compare(12 + 16 * i, 4, tag) == 0) return get(font, 12 + 16 * i + 8, 4, true);
  return 0;
}

// Runs the fonts command with font as the only file of an XH_FONT_PATH
// folder and desc for the monospaced slot.
fonts_run with_font(const temp_dir& dir, const std::string& name, const std::string& font,
                    const std::string& desc) {
  const std::string folder = dir.file("crafted");
  make_dir(folder);
  EXPECT_TRUE(write_file(folder + "/" + name, font));
  return run_fonts({"--mono", desc}, font_options(dir, folder));
}

TEST(FontsHostile, OutlineFontsWhoseNumbersLie) {
  if (on_win32()) GTEST_SKIP() << "the font folder is a POSIX setting";
  std::string font;
  if (!crafted_sans(&font)) GTEST_SKIP() << "DejaVu Sans not installed";
  const size_t os2 = table(font, "OS/2"), head = table(font, "head");
  ASSERT_NE(0u, os2);
  ASSERT_NE(0u, head);
  {
    // No average width, and a width asked for that scales every glyph
    // past any cell.
    temp_dir dir;
    std::string f = font;
    put(&f, os2 + 2, 2, 0, true);
    const fonts_run r = with_font(dir, "avg.ttf", f, logfont(-5000, 500000, 0, "Crafty Sans"));
    expect_two_real_sets(r);
    EXPECT_EQ(1u, count(r.r.err, "larger than a glyph set may hold")) << r.r.err;
    // At a sane size the same file gives its own set.
    const fonts_run plain = with_font(dir, "avg.ttf", f, logfont(-13, 0, 0, "Crafty Sans"));
    expect_two_real_sets(plain);
    EXPECT_EQ("", plain.r.err);
  }
  {
    // A bounding box of one unit: a cell four pixels wide and thousands
    // high, whose glyphs reach far outside it.
    temp_dir dir;
    std::string f = font;
    for (int k = 0; k < 4; ++k) put(&f, head + 36 + 2 * k, 2, k < 2 ? 0 : 1, true);
    const fonts_run r = with_font(dir, "box.ttf", f, logfont(-8000, 0, 0, "Crafty Sans"));
    expect_two_real_sets(r);
    EXPECT_GT(r.mono.height, 8000);
    EXPECT_EQ("", r.r.err);
  }
}

TEST(FontsHostile, FontFilesCutShortOrGarbledAreReportedOnce) {
  if (on_win32()) GTEST_SKIP() << "the font folder is a POSIX setting";
  std::string font;
  if (!crafted_sans(&font)) GTEST_SKIP() << "DejaVu Sans not installed";
  const size_t glyf = table(font, "glyf");
  ASSERT_NE(0u, glyf);
  size_t glyf_entry = 0;
  for (size_t i = 0; i < get(font, 4, 2, true); ++i)
    if (font.compare(12 + 16 * i, 4, "glyf") == 0) glyf_entry = 12 + 16 * i;
  {
    // Its outlines cut short: the face is not drawn from, and both slots
    // get a face that is whole, although it is the first face of the
    // sans-serif list.
    temp_dir dir;
    std::string f = font;
    put(&f, glyf_entry + 12, 4, 20000, true);
    const fonts_run r = with_font(dir, "cut.ttf", f, logfont(-13, 0, 0, "Crafty Sans"));
    expect_two_real_sets(r);
    EXPECT_EQ(1u, count(r.r.err, "is cut short")) << r.r.err;
    EXPECT_EQ(1u, count(r.r.err, "\n")) << r.r.err;
  }
  {
    // Outlines that are garbage past their first glyphs: those that load
    // are drawn, and one line tells of the rest.
    temp_dir dir;
    std::string f = font;
    for (size_t at = glyf + 20000; at < glyf + get(font, glyf_entry + 12, 4, true); ++at)
      f[at] = 0x7F;
    const fonts_run r = with_font(dir, "garbled.ttf", f, logfont(-13, 0, 0, "Crafty Sans"));
    expect_two_real_sets(r);
    EXPECT_EQ(1u, count(r.r.err, "cannot be loaded")) << r.r.err;
    EXPECT_EQ(1u, count(r.r.err, "\n")) << r.r.err;
  }
}

// The offsets of the FNT headers of a .fon file made for the screen (its
// font directory holds a copy of each).
std::vector<size_t> fnt_headers(const std::string& fon) {
  std::vector<size_t> found;
  for (size_t at = 0; at + 118 <= fon.size(); ++at) {
    const uint32_t version = get(fon, at, 2, false);
    if ((version == 0x200 || version == 0x300) && get(fon, at + 70, 2, false) == 96 &&
        get(fon, at + 72, 2, false) == 96 && get(fon, at + 2, 4, false) <= fon.size())
      found.push_back(at);
  }
  return found;
}

TEST(FontsHostile, BitmapFontsWhoseNumbersLie) {
  if (on_win32()) GTEST_SKIP() << "the font folder is a POSIX setting";
  std::string fon;
  if (!is_dir(kDejaVuFolder) || !read_file(std::string(kWineFontFolder) + "/coure.fon", &fon))
    GTEST_SKIP() << "needs the DejaVu and Wine fonts";
  const std::vector<size_t> headers = fnt_headers(fon);
  ASSERT_FALSE(headers.empty());
  for (size_t at : headers) {
    put(&fon, at + 91, 2, 1, false);      // average width
    put(&fon, at + 93, 2, 65535, false);  // widest character
  }
  temp_dir dir;
  for (const char* desc : {"LOGFONT(13,1300,0,0,400,0,0,0,0,0,0,0,0,Courier)",
                           "LOGFONT(-4000,0,0,0,700,1,1,1,0,0,0,0,0,Courier)",
                           "LOGFONT(13,0,0,0,400,0,0,0,0,0,0,0,0,Courier)"}) {
    const fonts_run r = with_font(dir, "coure.fon", fon, desc);
    expect_two_real_sets(r);
    // The default monospaced face, this Courier too, may say so as well.
    EXPECT_EQ(count(r.r.err, "\n"), count(r.r.err, "larger than a glyph set may hold"))
        << r.r.err;
  }
}

}  // namespace
