// The font libraries open on first use and not before; a library that cannot
// be opened, or lacks a function, leaves nothing open and every font
// function failing as the library itself reports failure.
//
// Whether a library is open is a property of the whole process, so each
// case holds only where the test runner starts it in a fresh process (as
// CTest does); run together, the later cases skip.
#include "platform/font/plat_fontlib.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_BITMAP_H
#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

#include <string>

namespace {

// Whether a file whose name holds `name` is mapped into this process.
bool mapped(const char* name) {
  FILE* f = fopen("/proc/self/maps", "r");
  if (!f) return false;
  char line[4096];
  bool found = false;
  while (!found && fgets(line, sizeof line, f)) found = strstr(line, name) != nullptr;
  fclose(f);
  return found;
}

FT_Library g_ft;  // kept, so that a leak check sees it still reachable

#define SKIP_IF_OPEN()                                                  \
  if (plat_fontlib_loaded())                                            \
  GTEST_SKIP() << "an earlier case of this process opened the libraries"

TEST(FontLibraries, OpenOnFirstUseOnly) {
  SKIP_IF_OPEN();
  EXPECT_FALSE(mapped("libfontconfig.so"));
  EXPECT_FALSE(mapped("libfreetype.so"));

  ASSERT_TRUE(FcInit());
  EXPECT_TRUE(plat_fontlib_loaded());
  EXPECT_TRUE(mapped("libfontconfig.so"));
  EXPECT_TRUE(mapped("libfreetype.so"));

  // The calls reach the libraries with their arguments and results intact.
  FcPattern* p = FcPatternCreate();
  ASSERT_NE(nullptr, p);
  EXPECT_TRUE(FcPatternAddString(p, FC_FAMILY, (const FcChar8*)"monospace"));
  EXPECT_TRUE(FcPatternAddInteger(p, FC_WEIGHT, 80));
  FcChar8* family = nullptr;
  ASSERT_EQ(FcResultMatch, FcPatternGetString(p, FC_FAMILY, 0, &family));
  EXPECT_STREQ("monospace", (const char*)family);
  int weight = 0;
  EXPECT_EQ(FcResultMatch, FcPatternGetInteger(p, FC_WEIGHT, 0, &weight));
  EXPECT_EQ(80, weight);
  EXPECT_EQ(FcResultNoMatch, FcPatternGetInteger(p, FC_SLANT, 0, &weight));
  FcObjectSet* os = FcObjectSetBuild(FC_FAMILY, FC_FILE, (char*)nullptr);
  ASSERT_NE(nullptr, os);
  FcPattern* all = FcPatternCreate();
  FcFontSet* set = FcFontList(nullptr, all, os);
  FcPatternDestroy(all);
  ASSERT_NE(nullptr, set);
  for (int i = 0; i < set->nfont; ++i) {
    FcChar8* file = nullptr;
    EXPECT_EQ(FcResultMatch, FcPatternGetString(set->fonts[i], FC_FILE, 0, &file));
  }
  FcFontSetDestroy(set);
  FcObjectSetDestroy(os);
  FcPatternDestroy(p);

  ASSERT_EQ(0, FT_Init_FreeType(&g_ft));
  FT_Face face = nullptr;
  EXPECT_NE(0, FT_New_Face(g_ft, "/nonexistent/xh-no-font.ttf", 0, &face));
  FcFini();
}

TEST(FontLibraries, MissingLibraryLeavesNothingOpen) {
  SKIP_IF_OPEN();
  EXPECT_FALSE(plat_fontlib_load("libfontconfig.so.1", "libxh-no-such-library.so.6"));
  EXPECT_FALSE(plat_fontlib_loaded());
  EXPECT_FALSE(mapped("libfontconfig.so"));
  // A library that opens but has none of the functions.
  EXPECT_FALSE(plat_fontlib_load("libm.so.6", "libfreetype.so.6"));
  EXPECT_FALSE(plat_fontlib_loaded());
  EXPECT_FALSE(mapped("libfreetype.so"));
  // A later attempt with the right names still succeeds.
  EXPECT_TRUE(plat_fontlib_load("libfontconfig.so.1", "libfreetype.so.6"));
  EXPECT_TRUE(plat_fontlib_loaded());
}

TEST(FontLibraries, WithoutTheLibrariesEveryFunctionFails) {
  SKIP_IF_OPEN();
  // After a failed attempt the functions do not open the usual libraries
  // behind the caller's back.
  ASSERT_FALSE(plat_fontlib_load("libxh-no-such-library.so.1", "libfreetype.so.6"));
  EXPECT_FALSE(FcInit());
  EXPECT_FALSE(plat_fontlib_loaded());
  EXPECT_EQ(nullptr, FcPatternCreate());
  EXPECT_FALSE(FcPatternAddInteger(nullptr, FC_WEIGHT, 80));
  FcChar8* s = nullptr;
  EXPECT_EQ(FcResultNoMatch, FcPatternGetString(nullptr, FC_FILE, 0, &s));
  EXPECT_EQ(nullptr, FcObjectSetBuild(FC_FAMILY, (char*)nullptr));
  EXPECT_EQ(nullptr, FcFontList(nullptr, nullptr, nullptr));
  FcResult result = FcResultMatch;
  EXPECT_EQ(nullptr, FcFontMatch(nullptr, nullptr, &result));
  EXPECT_EQ(FcResultNoMatch, result);
  FcPatternDestroy(nullptr);
  FcFini();

  FT_Library ft = reinterpret_cast<FT_Library>(&result);
  EXPECT_NE(0, FT_Init_FreeType(&ft));
  EXPECT_EQ(nullptr, ft);
  FT_Face face = reinterpret_cast<FT_Face>(&result);
  EXPECT_NE(0, FT_New_Face(nullptr, "/nonexistent/xh-no-font.ttf", 0, &face));
  EXPECT_EQ(nullptr, face);
  EXPECT_EQ(0u, FT_Get_Char_Index(nullptr, 'A'));
  EXPECT_NE(0, FT_Load_Glyph(nullptr, 0, 0));
  FT_Bitmap bitmap;
  memset(&bitmap, 0xAB, sizeof bitmap);
  FT_Bitmap_Init(&bitmap);
  EXPECT_EQ(0u, bitmap.rows);
  EXPECT_EQ(nullptr, bitmap.buffer);
  EXPECT_FALSE(mapped("libfontconfig.so"));
  EXPECT_FALSE(mapped("libfreetype.so"));
}

}  // namespace
