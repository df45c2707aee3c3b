// The least that the font libraries need for what --fonts does with its
// defaults: fontconfig's start-up, one match for a 13-pixel monospaced and
// a 14-pixel sans-serif font, and FreeType rendering of codes 32 to 255 of
// each.  It neither lists the installed fonts nor scores them, so it is a
// floor that the real command can approach but not reach.  Prints the
// number of glyph pixels drawn, so that no work can be left out.
#include <ft2build.h>
#include FT_FREETYPE_H
#include <fontconfig/fontconfig.h>
#include <stdio.h>

namespace {

long render(FT_Library ft, const char* family, double pixels) {
  FcPattern* want = FcPatternCreate();
  FcPatternAddString(want, FC_FAMILY, (const FcChar8*)family);
  FcPatternAddDouble(want, FC_PIXEL_SIZE, pixels);
  FcConfigSubstitute(nullptr, want, FcMatchPattern);
  FcDefaultSubstitute(want);
  FcResult result;
  FcPattern* got = FcFontMatch(nullptr, want, &result);
  FcPatternDestroy(want);
  if (!got) return -1;
  FcChar8* file = nullptr;
  int index = 0;
  long drawn = -1;
  FT_Face face = nullptr;
  if (FcPatternGetString(got, FC_FILE, 0, &file) == FcResultMatch &&
      FcPatternGetInteger(got, FC_INDEX, 0, &index) != FcResultOutOfMemory &&
      FT_New_Face(ft, (const char*)file, index, &face) == 0) {
    drawn = 0;
    if (FT_Set_Pixel_Sizes(face, 0, (FT_UInt)pixels) == 0) {
      for (FT_ULong c = 32; c < 256; ++c) {
        if (FT_Load_Char(face, c, FT_LOAD_RENDER) == 0)
          drawn += (long)face->glyph->bitmap.rows * face->glyph->bitmap.width;
      }
    }
    FT_Done_Face(face);
  }
  FcPatternDestroy(got);
  return drawn;
}

}  // namespace

int main() {
  FT_Library ft;
  if (!FcInit() || FT_Init_FreeType(&ft) != 0) return 1;
  long mono = render(ft, "monospace", 13);
  long sans = render(ft, "sans-serif", 14);
  FT_Done_FreeType(ft);
  printf("floor %ld %ld\n", mono, sans);
  return mono < 0 || sans < 0;
}
