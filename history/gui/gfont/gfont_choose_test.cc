#include <string.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "history/gui/gfont/gfont.h"

namespace {

typedef char name_slot[GFONT_NAME_CHARS + 1];

std::vector<std::string> parse(const std::string& list) {
  gfont_prepare_tables();
  std::vector<name_slot> slots(GFONT_MAX_NAMES);
  int n = gfont_parse_face_list(list.c_str(), slots.data());
  std::vector<std::string> out;
  for (int i = 0; i < n; ++i) out.push_back(slots[i]);
  return out;
}

#ifdef _WIN32
// Wine reports Windows 6.1, where the newer monospace face comes first.
const char* const kMono0 = "Consolas";
const char* const kMono1 = "Courier";
#else
const char* const kMono0 = "Courier";
const char* const kMono1 = "Consolas";
#endif

TEST(FaceList, BlanksAndEmptyItemsTakeNoPlace) {
  EXPECT_EQ((std::vector<std::string>{"Courier New"}), parse("  Courier New  "));
  EXPECT_EQ((std::vector<std::string>{"A", "B c", "D"}), parse(",A,, ,  B c ,D,"));
  // A tab is part of the name, not a blank.
  EXPECT_EQ((std::vector<std::string>{"\tA"}), parse(" \tA"));
  EXPECT_TRUE(parse("").empty());
  EXPECT_TRUE(parse("   ,  ,").empty());
}

TEST(FaceList, AliasesExpandInPlace) {
  std::vector<std::string> v = parse("X,[MONOSPACE],Y");
  ASSERT_EQ(9u, v.size());
  EXPECT_EQ("X", v[0]);
  EXPECT_EQ(kMono0, v[1]);
  EXPECT_EQ(kMono1, v[2]);
  EXPECT_EQ("Fixedsys", v[7]);
  EXPECT_EQ("Y", v[8]);  // scored from place 1 + 7
  v = parse("[SANS], [SERIF] ");
  ASSERT_EQ(10u, v.size());
  EXPECT_EQ("Calibri", v[0]);
  EXPECT_EQ("Arial", v[5]);
  EXPECT_EQ("Cambria", v[6]);
  EXPECT_EQ("MS Serif", v[9]);
  // Only the whole item, case included, is an alias.
  EXPECT_EQ((std::vector<std::string>{"[monospace]", "[SANS] x"}),
            parse("[monospace],[SANS] x"));
}

TEST(FaceList, LimitsOfCountAndLength) {
  std::string list;
  for (int i = 0; i < 127; ++i) list += "F" + std::to_string(i) + ",";
  std::vector<std::string> v = parse(list + "[SANS],Z");
  ASSERT_EQ(128u, v.size());
  EXPECT_EQ("F126", v[126]);
  EXPECT_EQ("Calibri", v[127]);
  std::string longname(70, 'n');
  longname[0] = 'L';
  v = parse(longname + ",B");
  ASSERT_EQ(2u, v.size());
  EXPECT_EQ(longname.substr(0, 63), v[0]);
  EXPECT_EQ("B", v[1]);
}

// A fake machine: fonts that the fake enumeration reports by face name.
struct fake_font {
  const char* face;
  int32_t height;
  int32_t width;
  uint8_t pitch;  // 1 fixed, 2 variable
  uint32_t type;  // 1 raster, 4 TrueType
  uint8_t charset;
};

std::vector<fake_font> g_machine;
std::vector<std::string> g_asked;

int fake_enumerate(const gfont_spec* query, uint16_t flags, gfont_spec* out,
                   int max) {
  g_asked.push_back(query->name);
  gfont_enum_context ctx = {query, flags, out, max, 0};
  for (const fake_font& f : g_machine) {
    if ((flags & GF_MATCH_FACE) && strcmp(f.face, query->name) != 0) continue;
    plat_logfont lf;
    memset(&lf, 0, sizeof lf);
    lf.lfHeight = f.height;
    lf.lfWidth = f.width;
    lf.lfWeight = 400;
    lf.lfItalic = 255;
    lf.lfQuality = 1;
    lf.lfOutPrecision = 3;
    lf.lfClipPrecision = 2;
    lf.lfPitchAndFamily = f.pitch;
    strncpy(lf.lfFaceName, f.face, sizeof lf.lfFaceName - 1);
    plat_text_metrics tm = {f.height, 0, f.width, 31, f.charset};
    if (!gfont_enum_proc(&lf, &tm, f.type, &ctx)) break;
  }
  return ctx.count;
}

struct choice {
  bool found;
  gfont_spec best;
};

choice choose(const std::string& list, int32_t size) {
  std::vector<name_slot> slots(GFONT_MAX_NAMES);
  gfont_prepare_tables();
  int n = gfont_parse_face_list(list.c_str(), slots.data());
  choice c;
  g_asked.clear();
  c.found = gfont_choose_best(slots.data(), n, size, fake_enumerate, &c.best);
  return c;
}

TEST(Enumeration, ClassifiesFiltersAndAdjusts) {
  g_machine = {{"@Vert", 32, 16, 1, 4, 0},     {"Mono", 13, 8, 1, 1, 0},
               {"Mono", 32, 19, 1, 4, 0},      {"Greek", 32, 15, 2, 4, 161},
               {"Zero", 0, 7, 2, 4, 0}};
  gfont_spec query;
  memset(&query, 0, sizeof query);
  query.size = 17;
  query.width = 9.75f;
  query.bold = 1;
  query.italic = 0;
  query.ansi = 1;
  std::vector<gfont_spec> out(8);
  g_asked.clear();
  int n = fake_enumerate(&query, GF_MATCH_CHARSET | GF_SET_WIDTH | GF_SET_WEIGHT |
                                     GF_SET_ITALIC,
                         out.data(), 8);
  // The vertical face and the non-ANSI face are never candidates.
  ASSERT_EQ(3, n);
  EXPECT_STREQ("Mono", out[0].name);
  EXPECT_EQ(1, out[0].raster);
  EXPECT_EQ(1, out[0].fixed_pitch);
  EXPECT_EQ(13, out[0].size);
  EXPECT_EQ(8.0f, out[0].width);
  EXPECT_FLOAT_EQ(8.0f / 13.0f, out[0].aspect);
  EXPECT_EQ(13, out[0].logfont->lfHeight);  // raster sizes are kept
  EXPECT_EQ(8, out[0].logfont->lfWidth);
  EXPECT_EQ(-1, out[0].index);
  EXPECT_EQ(0, out[0].bold);
  EXPECT_EQ(0, out[0].italic);

  EXPECT_EQ(0, out[1].raster);
  EXPECT_EQ(17, out[1].size);
  EXPECT_EQ(0.0f, out[1].width);
  EXPECT_EQ(17, out[1].logfont->lfHeight);
  EXPECT_EQ(9, out[1].logfont->lfWidth);  // truncated toward zero
  EXPECT_EQ(700, out[1].logfont->lfWeight);
  EXPECT_EQ(0, out[1].logfont->lfItalic);
  EXPECT_EQ(0, out[1].logfont->lfQuality);
  EXPECT_EQ(0, out[1].logfont->lfOutPrecision);
  EXPECT_EQ(0, out[1].logfont->lfClipPrecision);
  EXPECT_EQ(1, out[1].has_logfont);

  EXPECT_STREQ("Zero", out[2].name);
  EXPECT_EQ(0.0f, out[2].aspect);  // no height: no division
  gfont_release_candidates(out.data(), n);

  // Raster and pitch filters; a full output stops the enumeration.
  query.raster = 1;
  query.fixed_pitch = 1;
  n = fake_enumerate(&query, GF_MATCH_RASTER | GF_MATCH_PITCH, out.data(), 8);
  ASSERT_EQ(1, n);
  EXPECT_EQ(13, out[0].size);
  gfont_release_candidates(out.data(), n);
  n = fake_enumerate(&query, 0, out.data(), 2);
  EXPECT_EQ(2, n);
  gfont_release_candidates(out.data(), n);
}

TEST(Enumeration, OnlyTheTwoCourierFacesAreNotSmoothed) {
  g_machine = {{"Courier", 13, 8, 1, 1, 0},
               {"Courier New", 32, 19, 1, 4, 0},
               {"courier new", 32, 19, 1, 4, 0},
               {"Courier New Bold", 32, 19, 1, 4, 0}};
  gfont_spec query;
  memset(&query, 0, sizeof query);
  std::vector<gfont_spec> out(8);
  int n = fake_enumerate(&query, 0, out.data(), 8);
  ASSERT_EQ(4, n);
  EXPECT_EQ(3, out[0].logfont->lfQuality);
  EXPECT_EQ(3, out[1].logfont->lfQuality);
  EXPECT_EQ(0, out[2].logfont->lfQuality);
  EXPECT_EQ(0, out[3].logfont->lfQuality);
  gfont_spec copy;
  gfont_spec_copy(&copy, &out[1]);
  EXPECT_NE(out[1].logfont, copy.logfont);
  EXPECT_EQ(0, memcmp(out[1].logfont, copy.logfont, sizeof(plat_logfont)));
  gfont_release_candidates(out.data(), n);
  gfont_spec_release(&copy);
}

TEST(Scoring, PlacesSizesRasterAndAspect) {
  gfont_spec c;
  memset(&c, 0, sizeof c);
  c.raster = 1;
  c.size = 13;
  c.aspect = 0.5f;
  EXPECT_EQ(2 * 3 + 5, gfont_score(&c, 3, 13));
  EXPECT_EQ(4 + 5, gfont_score(&c, 0, 12));   // one step: 2 squared
  EXPECT_EQ(9 + 5, gfont_score(&c, 0, 15));   // two steps: 3 squared
  c.raster = 0;
  EXPECT_EQ(4 + 9 + 5, gfont_score(&c, 0, 15));
  // Sizes far apart cost the most, never a wrapped-around small number.
  EXPECT_EQ(INT32_MAX, gfont_score(&c, 0, INT32_MIN));
  // A scalable candidate is sized to the wish, light, at no cost.
  plat_logfont lf;
  memset(&lf, 0, sizeof lf);
  lf.lfWidth = 7;
  c.size = 0;
  c.logfont = &lf;
  c.has_logfont = 1;
  c.aspect = 0.61f;
  EXPECT_EQ(4 + 6, gfont_score(&c, 0, 21));  // 4 + 6.1 truncated
  EXPECT_EQ(21, lf.lfHeight);
  EXPECT_EQ(0, lf.lfWidth);
  EXPECT_EQ(300, lf.lfWeight);
}

// The score as single-precision arithmetic rounds it: each step stored in
// a float, so that no wider intermediate survives on any build.
int32_t float_score(int32_t cost, int32_t w, int32_t h) {
  volatile float aspect = (float)w / (float)h;
  volatile float term = 10.0f * aspect;
  volatile float total = (float)cost + term;
  return (int32_t)total;
}

// The aspect's share is rounded to a float before the sum is: 10 x 0.7f is
// 6.99999988, which rounds to 7, so a scalable face of aspect 7/10 at place
// 0 costs 4 + 7 = 11.  Kept wider, the sum is 10.99999988 and truncates to
// 10, and a different face can win.
TEST(Scoring, AspectTermIsRoundedToSinglePrecision) {
  struct aspect_case {
    int32_t width, height;
    int32_t scalable, raster;  // scores at place 0 and the exact size
  } cases[] = {{7, 10, 11, 7}, {9, 10, 13, 9}, {13, 10, 17, 13}, {14, 10, 18, 14}};
  for (const aspect_case& k : cases) {
    g_machine = {{"S", k.height, k.width, 2, 4, 0}, {"R", k.height, k.width, 1, 1, 0}};
    gfont_spec query;
    memset(&query, 0, sizeof query);
    query.size = k.height;
    std::vector<gfont_spec> out(2);
    ASSERT_EQ(2, fake_enumerate(&query, 0, out.data(), 2));
    EXPECT_EQ(k.scalable, gfont_score(&out[0], 0, k.height)) << k.width << "/" << k.height;
    EXPECT_EQ(k.raster, gfont_score(&out[1], 0, k.height)) << k.width << "/" << k.height;
    gfont_release_candidates(out.data(), 2);
  }
  // Every ratio of a width below 40 and a height below 60, against the
  // step-by-step float result.
  std::string wrong;
  for (int32_t h = 1; h < 60; ++h) {
    for (int32_t w = 1; w < 40; ++w) {
      g_machine = {{"S", h, w, 2, 4, 0}};
      gfont_spec query;
      memset(&query, 0, sizeof query);
      query.size = h;
      gfont_spec c;
      ASSERT_EQ(1, fake_enumerate(&query, 0, &c, 1));
      for (int place : {0, 3}) {
        int32_t got = gfont_score(&c, place, h);
        int32_t want = float_score(2 * place + 4, w, h);
        if (got != want)
          wrong += " " + std::to_string(w) + "/" + std::to_string(h) + "@" +
                   std::to_string(place) + "=" + std::to_string(got);
      }
      gfont_release_candidates(&c, 1);
    }
  }
  EXPECT_EQ("", wrong);
}

TEST(Choice, LowestScoreWinsAndTiesKeepTheEarlier) {
  // Scalable at place 0 costs 4 + 10 x 0.6 = 10; raster at place 1 of the
  // exact size costs 2 + 10 x 0.8 = 10: the earlier stays.
  g_machine = {{"Scal", 10, 6, 2, 4, 0}, {"Rast", 10, 8, 1, 1, 0}};
  choice c = choose("Scal,Rast", 10);
  ASSERT_TRUE(c.found);
  EXPECT_STREQ("Scal", c.best.name);
  EXPECT_EQ(10, c.best.logfont->lfHeight);
  EXPECT_EQ(300, c.best.logfont->lfWeight);
  EXPECT_EQ(0, c.best.logfont->lfItalic);
  gfont_spec_release(&c.best);
  // A narrower raster face wins.
  g_machine[1].width = 7;
  c = choose("Scal,Rast", 10);
  EXPECT_STREQ("Rast", c.best.name);
  gfont_spec_release(&c.best);
  // A face after the alias pays for the alias's seven places.
  g_machine = {{"Scal", 10, 0, 2, 4, 0}, {"Last", 10, 0, 2, 4, 0}};
  c = choose("Scal,[MONOSPACE],Last", 10);
  EXPECT_EQ(9u, g_asked.size());
  EXPECT_STREQ("Scal", c.best.name);
  gfont_spec_release(&c.best);
  // Non-ANSI faces are never chosen; nothing found is reported.
  g_machine = {{"Greek", 10, 5, 2, 4, 161}};
  c = choose("Greek", 10);
  EXPECT_FALSE(c.found);
  EXPECT_FALSE(choose("", 10).found);
}

plat_logfont parsed(const char* text, bool* ok) {
  plat_logfont lf;
  memset(&lf, 0x5A, sizeof lf);
  *ok = gfont_parse_logfont(text, &lf);
  return lf;
}

TEST(LogfontText, FieldsInOrder) {
  bool ok;
  plat_logfont lf = parsed("LOGFONT(-13,0,1,2,700,256,1,0,0,3,2,-1,49,Courier New)tail", &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(-13, lf.lfHeight);
  EXPECT_EQ(0, lf.lfWidth);
  EXPECT_EQ(1, lf.lfEscapement);
  EXPECT_EQ(2, lf.lfOrientation);
  EXPECT_EQ(700, lf.lfWeight);
  EXPECT_EQ(0, lf.lfItalic);  // 256 keeps its low 8 bits
  EXPECT_EQ(1, lf.lfUnderline);
  EXPECT_EQ(3, lf.lfOutPrecision);
  EXPECT_EQ(2, lf.lfClipPrecision);
  EXPECT_EQ(255, lf.lfQuality);
  EXPECT_EQ(49, lf.lfPitchAndFamily);
  EXPECT_STREQ("Courier New", lf.lfFaceName);
  // Blanks before a number and a sign are allowed; the name may hold a
  // colon; a long name keeps 31 characters.
  lf = parsed("LOGFONT( +5,\t-0, 0,0,0,0,0,0,0,0,0,0,0,A:13 " 
              "bcdefghijklmnopqrstuvwxyz0123456789)", &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(5, lf.lfHeight);
  EXPECT_EQ(31u, strlen(lf.lfFaceName));
  EXPECT_EQ(0, strncmp("A:13 bcd", lf.lfFaceName, 8));
  lf = parsed("LOGFONT(0,0,0,0,0,0,0,0,0,0,0,0,0,)", &ok);
  ASSERT_TRUE(ok);
  EXPECT_STREQ("", lf.lfFaceName);
}

TEST(LogfontText, NotOfTheForm) {
  bool ok;
  const char* bad[] = {
      " LOGFONT(0,0,0,0,0,0,0,0,0,0,0,0,0,Arial)",
      "logfont(0,0,0,0,0,0,0,0,0,0,0,0,0,Arial)",
      "LOGFONT(0,0,0,0,0,0,0,0,0,0,0,0,Arial)",         // twelve numbers
      "LOGFONT(0,0,0,0,0,0,0,0,0,0,0,0,0 Arial)",       // no thirteenth comma
      "LOGFONT(0,0,0,0,0,0,0,0,0,0,0,0,0,Arial",        // never closed
      "LOGFONT(0,0,0,0,0,x,0,0,0,0,0,0,0,Arial)",
      "LOGFONT(",
  };
  for (const char* t : bad) {
    parsed(t, &ok);
    EXPECT_FALSE(ok) << t;
    EXPECT_EQ(nullptr, gfont_from_text(t)) << t;
  }
  EXPECT_EQ(nullptr, gfont_from_text(nullptr));
}

}  // namespace
