// The fonts command run as the viewer runs it.
#include <stdint.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/font_fixture.h"
#include "tests/harness.h"

namespace {

// The two Base64 fields of a fonts line, after checking its frame.
struct fonts_line {
  bool ok = false;
  std::string mono, sans;
};

// conf is the font configuration to run under ("" on Win32).
fonts_line run_fonts(const std::string& conf, const std::vector<std::string>& args,
                     const std::string& prefix = "fonts  ") {
  fonts_line l;
  std::vector<std::string> all = {"--fonts"};
  all.insert(all.end(), args.begin(), args.end());
  if (!args.empty() && args[0] == "--uid") all = args, all.push_back("--fonts");
  run_options o;
  if (!conf.empty()) o.env = {{"FONTCONFIG_FILE", conf}}, o.unset_env = {"XH_FONT_PATH"};
  run_result r = run_fsutil(all, o);
  EXPECT_EQ(0u, r.status);
  EXPECT_EQ("", r.err);
  std::string end = nl("\n");
  EXPECT_EQ(0u, r.out.compare(0, prefix.size(), prefix)) << r.out.substr(0, 40);
  if (r.out.size() < prefix.size() + end.size() ||
      r.out.compare(r.out.size() - end.size(), end.size(), end) != 0)
    return l;
  std::string body = r.out.substr(prefix.size(), r.out.size() - prefix.size() - end.size());
  size_t blank = body.find(' ');
  if (blank == std::string::npos || body.find(' ', blank + 1) != std::string::npos)
    return l;
  l.mono = body.substr(0, blank);
  l.sans = body.substr(blank + 1);
  l.ok = true;
  return l;
}

// A font configuration of the test's own that holds only the DejaVu faces
// and the generic names that fontconfig gives them, like a fresh Debian
// machine; extra is added inside it.  Empty when DejaVu is not installed.
std::string dejavu_only_config(const temp_dir& dir, const std::string& extra = "") {
  for (const char* file : {"DejaVuSans.ttf", "DejaVuSans-Bold.ttf", "DejaVuSans-BoldOblique.ttf",
                           "DejaVuSansMono.ttf", "DejaVuSerif.ttf"})
    if (!have_font_file(kDejaVuFolder, file)) return "";
  return write_font_config(dir, {kDejaVuFolder}, extra);
}

// The configuration of the cases that only need some fonts: natively the
// DejaVu faces alone, on Win32 GDI's own ("").  Skips the case when
// DejaVu is missing.
#define FONTS_OR_SKIP(dir, conf)                                                   \
  temp_dir dir;                                                                    \
  const std::string conf = on_win32() ? std::string() : dejavu_only_config(dir);   \
  if (!on_win32() && conf.empty()) GTEST_SKIP() << "DejaVu is not installed"

TEST(Fonts, DefaultLineCarriesTwoRealGlyphSets) {
  FONTS_OR_SKIP(dir, conf);
  fonts_line l = run_fonts(conf, {});
  ASSERT_TRUE(l.ok);
  glyph_set mono = read_glyph_set(l.mono), sans = read_glyph_set(l.sans);
  ASSERT_TRUE(mono.consistent);
  ASSERT_TRUE(sans.consistent);
  // The monospaced default is 13 pixels: under Wine the raster Courier,
  // drawn without smoothing; natively the system's monospaced face.
  EXPECT_EQ(13, mono.ascent + mono.descent);
  if (on_win32()) {
    EXPECT_FALSE(mono.greyscale);
  }
  EXPECT_GT(mono.widths, 100);
  EXPECT_GE(sans.ascent + sans.descent, 13);
  EXPECT_GT(sans.widths, 100);
  EXPECT_FALSE(l.mono == l.sans);
}

TEST(Fonts, RequestIdentifierField) {
  FONTS_OR_SKIP(dir, conf);
  fonts_line plain = run_fonts(conf, {});
  fonts_line with = run_fonts(conf, {"--uid", "42"}, "fonts 42  ");
  ASSERT_TRUE(with.ok);
  EXPECT_TRUE(plain.mono == with.mono);
  EXPECT_TRUE(run_fonts(conf, {"--uid", "0"}, "fonts  ").ok);
}

TEST(Fonts, OptionsAndTheirDefaults) {
  FONTS_OR_SKIP(dir, conf);
  fonts_line def = run_fonts(conf, {});
  ASSERT_TRUE(def.ok);
  // What the default sans-serif font is chosen by, written out.
  const std::string sans = on_win32() ? "[SANS]:14" : "sans-serif:14";
  // Capitals are the same option; the value is a face list with a size.
  // (Long texts are compared with == so that a failure stays readable.)
  fonts_line l = run_fonts(conf, {"--MONO", sans});
  ASSERT_TRUE(l.ok);
  EXPECT_TRUE(def.sans == l.mono);
  EXPECT_TRUE(def.sans == l.sans);
  // The later value wins, even when it gives no font; a bare face name
  // without a size gives none.
  l = run_fonts(conf, {"--mono", sans, "--mono", "Consolas"});
  EXPECT_TRUE(def.mono == l.mono);
  // "--mono" right after "--sans" is the sans description, not an option;
  // an option without a value is passed over.
  l = run_fonts(conf, {"--sans", "--mono", sans, "other", "--mono"});
  EXPECT_TRUE(def.mono == l.mono);
  EXPECT_TRUE(def.sans == l.sans);
}

TEST(Fonts, NoFontAtAllGivesEmptyGlyphSets) {
  if (on_win32()) GTEST_SKIP() << "the fonts of Windows cannot be hidden";
  // A font configuration without a single font directory.
  temp_dir dir;
  std::string conf = dir.file("fonts.conf");
  ASSERT_TRUE(write_file(conf, "<?xml version=\"1.0\"?>\n<fontconfig></fontconfig>\n"));
  run_options o;
  o.env = {{"FONTCONFIG_FILE", conf}};
  run_result r = run_fsutil({"--fonts"}, o);
  EXPECT_EQ(0u, r.status);
  // Two fields all the same: the byte form of a set with no glyphs.
  // 4232 zero bytes are 1411 groups of Base64, the last one padded.
  std::string zeros = std::string(5643, 'A') + "=";
  EXPECT_TRUE("fonts  " + zeros + " " + zeros + "\n" == r.out) << r.out.substr(0, 80);
}

// The glyph set of one slot of a fonts line run under the configuration.
std::string slot_set(const std::string& conf, const std::string& option,
                     const std::string& description) {
  run_options o;
  o.env = {{"FONTCONFIG_FILE", conf}};
  o.unset_env = {"XH_FONT_PATH"};
  run_result r = run_fsutil({"--fonts", option, description}, o);
  EXPECT_EQ(0u, r.status);
  size_t a = r.out.find("  "), b = r.out.find(' ', a + 2), e = r.out.find('\n');
  if (r.out.compare(0, 7, "fonts  ") != 0 || b == std::string::npos || e == std::string::npos)
    return "";
  return option == "--mono" ? r.out.substr(a + 2, b - a - 2) : r.out.substr(b + 1, e - b - 1);
}

// Where none of a face list's faces is installed, the system's generic face
// of the list's kind stands in at the size asked for: the kind of the alias
// named, else that of the slot.
TEST(Fonts, FaceListsFallBackToTheGenericFaceOfTheirKind) {
  if (on_win32()) {
    // No Windows face is called "monospace": a list of missing faces gives
    // the default, as before.
    fonts_line def = run_fonts("", {});
    fonts_line l = run_fonts("", {"--mono", "No Such Face:17"});
    ASSERT_TRUE(l.ok);
    EXPECT_TRUE(def.mono == l.mono);
    return;
  }
  temp_dir dir;
  std::string conf = dejavu_only_config(dir);
  if (conf.empty()) GTEST_SKIP() << "DejaVu is not installed";
  struct fallback_case {
    const char* option;
    const char* description;
    const char* generic;  // the description it must equal
    int32_t height;
  } cases[] = {
      {"--mono", "[MONOSPACE]:20", "monospace:20", 20},
      {"--sans", "[SERIF]:18", "serif:18", 18},
      {"--sans", "[SANS]:11", "sans-serif:11", 11},
      {"--mono", "[SANS]:16", "sans-serif:16", 16},  // the alias decides
      {"--sans", " No Such Face , Nor This:17", "sans-serif:17", 17},
      {"--mono", "No Such Face:17", "monospace:17", 17},
      {"--mono", "[SERIF],[MONOSPACE]:15", "serif:15", 15},  // the first alias
  };
  for (const fallback_case& c : cases) {
    SCOPED_TRACE(std::string(c.option) + " " + c.description);
    std::string got = slot_set(conf, c.option, c.description);
    glyph_set s = read_glyph_set(got);
    ASSERT_TRUE(s.consistent);
    // The size asked for, within the rounding of a cell height to an em;
    // not the slot's default of 13 or 14.
    EXPECT_NEAR(c.height, s.ascent + s.descent, 1);
    EXPECT_GT(s.widths, 100);
    EXPECT_TRUE(got == slot_set(conf, c.option, c.generic));
    EXPECT_FALSE(got == slot_set(conf, c.option, c.option == std::string("--mono")
                                                     ? "monospace:13"
                                                     : "sans-serif:14"));
  }
  // Without a size there is still no font: the slot's default.
  EXPECT_TRUE(slot_set(conf, "--mono", "[MONOSPACE]") ==
              slot_set(conf, "--mono", "monospace:13"));
}

// A face that is not installed but has a metric-compatible stand-in keeps
// the rules of the name asked for: Courier New is drawn without smoothing
// whichever face stands in for it.
TEST(Fonts, StandInFacesKeepTheRulesOfTheNameAskedFor) {
  if (on_win32()) GTEST_SKIP() << "stand-in faces are fontconfig's";
  temp_dir dir;
  std::string conf = dejavu_only_config(
      dir,
      "  <alias binding=\"same\"><family>Courier New</family>"
      "<accept><family>DejaVu Sans Mono</family></accept></alias>\n");
  if (conf.empty()) GTEST_SKIP() << "DejaVu is not installed";
  std::string courier = slot_set(conf, "--mono", "Courier New:13");
  glyph_set s = read_glyph_set(courier);
  ASSERT_TRUE(s.consistent);
  EXPECT_EQ(13, s.ascent + s.descent);
  EXPECT_FALSE(s.greyscale);
  EXPECT_TRUE(courier == slot_set(conf, "--mono",
                                  "LOGFONT(13,0,0,0,300,0,0,0,0,0,0,3,1,DejaVu Sans Mono)"));
  // The stand-in asked for by its own name is smoothed as before.
  s = read_glyph_set(slot_set(conf, "--mono", "DejaVu Sans Mono:13"));
  ASSERT_TRUE(s.consistent);
  EXPECT_TRUE(s.greyscale);
}

// The names of a face list are looked up together, and each still gets
// the stand-ins it has alone, wherever the configuration's rules add them.
TEST(Fonts, EachNameOfAFaceListKeepsTheStandInsItHasAlone) {
  if (on_win32()) GTEST_SKIP() << "stand-in faces are fontconfig's";
  temp_dir dir;
  // Face One has a stand-in after it; the one put before Face Two stands
  // in for nothing.
  std::string conf = dejavu_only_config(
      dir,
      "  <alias binding=\"same\"><family>Face One</family>"
      "<accept><family>DejaVu Serif</family></accept></alias>\n"
      "  <alias binding=\"same\"><family>Face Two</family>"
      "<prefer><family>DejaVu Serif</family></prefer></alias>\n");
  if (conf.empty()) GTEST_SKIP() << "DejaVu is not installed";
  const std::string generic = slot_set(conf, "--sans", "sans-serif:14");
  const std::string one = slot_set(conf, "--sans", "Face One:14");
  EXPECT_FALSE(one == generic);
  EXPECT_TRUE(slot_set(conf, "--sans", "Face Two:14") == generic);
  EXPECT_TRUE(slot_set(conf, "--sans", "Face Three, Face Two:14") == generic);
  EXPECT_TRUE(slot_set(conf, "--sans", "Face Two, Face Three, Face One:14") == one);
  // Rules that give every name but the generic one a stand-in: right
  // after the first family of the list, or at its end.
  const char* const every_name[] = {
      "<match target=\"pattern\"><test qual=\"all\" name=\"family\" compare=\"not_eq\">"
      "<string>sans-serif</string></test><edit name=\"family\" mode=\"append\" "
      "binding=\"strong\"><string>DejaVu Sans Mono</string></edit></match>\n",
      "<match target=\"pattern\"><test qual=\"all\" name=\"family\" compare=\"not_eq\">"
      "<string>sans-serif</string></test><edit name=\"family\" mode=\"append_last\" "
      "binding=\"strong\"><string>DejaVu Sans Mono</string></edit></match>\n",
  };
  for (const char* rule : every_name) {
    SCOPED_TRACE(rule);
    temp_dir other;
    conf = dejavu_only_config(other, rule);
    const std::string alone = slot_set(conf, "--sans", "Face Four:14");
    EXPECT_FALSE(alone == generic);  // a stand-in, not the fallback
    EXPECT_TRUE(slot_set(conf, "--sans", "Face Three, Face Four:14") == alone);
  }
}

void expect_rendered_as_written(const std::string& conf, const std::string& description,
                                int32_t height, bool greyscale) {
  SCOPED_TRACE(description);
  fonts_line l = run_fonts(conf, {"--sans", description});
  ASSERT_TRUE(l.ok);
  glyph_set s = read_glyph_set(l.sans);
  ASSERT_TRUE(s.consistent);
  EXPECT_EQ(height, s.ascent + s.descent);
  EXPECT_EQ(greyscale, s.greyscale);
  EXPECT_GT(s.widths, 100);
}

TEST(Fonts, LogicalFontTextsRenderAsWritten) {
  FONTS_OR_SKIP(dir, conf);
  if (on_win32()) {
    expect_rendered_as_written(conf, "LOGFONT(13,0,0,0,400,0,0,0,0,0,0,3,0,Courier)", 13, false);
    expect_rendered_as_written(conf, "LOGFONT(16,0,0,0,400,0,0,0,0,0,0,3,0,Tahoma)", 16, false);
  } else {
    expect_rendered_as_written(
        conf, "LOGFONT(13,0,0,0,400,0,0,0,0,0,0,3,0,DejaVu Sans Mono)", 13, false);
    expect_rendered_as_written(
        conf, "LOGFONT(13,0,0,0,400,0,0,0,0,0,0,0,0,DejaVu Sans Mono)", 13, true);
    // Negative heights are em sizes: the cell is taller.
    fonts_line l =
        run_fonts(conf, {"--mono", "LOGFONT(-13,0,0,0,700,1,0,0,0,0,0,0,0,DejaVu Sans)"});
    ASSERT_TRUE(l.ok);
    glyph_set s = read_glyph_set(l.mono);
    EXPECT_GT(s.ascent + s.descent, 13);
  }
}

}  // namespace
