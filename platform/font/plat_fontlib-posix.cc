// The font library functions that the font services call, each forwarding
// to the library opened on first use.  Every definition here must match
// the library's own declaration, which the headers included below check; a
// function that the font services start to use needs its line in
// XH_FONTLIB_ENTRIES and its forwarding definition, or the program does not
// link.
#include "platform/font/plat_fontlib.h"

#include <dlfcn.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_BITMAP_H
#include FT_MODULE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H
#include FT_WINFONTS_H
#include <fontconfig/fontconfig.h>
#include <stdarg.h>
#include <stddef.h>
#include <string.h>

namespace {

// The names of the libraries' binary interfaces that the headers describe.
const char kFontconfig[] = "libfontconfig.so.1";
const char kFreetype[] = "libfreetype.so.6";

enum { kLibFc, kLibFt, kLibCount };

#define XH_FONTLIB_ENTRIES(X)                                              \
  X(kLibFc, FcCharSetAddChar) X(kLibFc, FcCharSetCreate)                  \
  X(kLibFc, FcCharSetDestroy) X(kLibFc, FcCharSetIsSubset)                 \
  X(kLibFc, FcCharSetHasChar) X(kLibFc, FcConfigBuildFonts)                \
  X(kLibFc, FcConfigDestroy) X(kLibFc, FcConfigParseAndLoadFromMemory)     \
  X(kLibFc, FcConfigSetCurrent) X(kLibFc, FcConfigSubstitute)              \
  X(kLibFc, FcDefaultSubstitute) X(kLibFc, FcFini) X(kLibFc, FcFontList)   \
  X(kLibFc, FcFontMatch) X(kLibFc, FcFontSetDestroy) X(kLibFc, FcInit)     \
  X(kLibFc, FcInitLoadConfig)                                              \
  X(kLibFc, FcObjectSetDestroy) X(kLibFc, FcObjectSetVaBuild)              \
  X(kLibFc, FcPatternAddInteger) X(kLibFc, FcPatternAddString)             \
  X(kLibFc, FcPatternCreate) X(kLibFc, FcPatternDestroy)                   \
  X(kLibFc, FcPatternGetBool) X(kLibFc, FcPatternGetCharSet)               \
  X(kLibFc, FcPatternGetDouble) X(kLibFc, FcPatternGetInteger)             \
  X(kLibFc, FcPatternGetString) X(kLibFc, FcPatternGetWithBinding)         \
  X(kLibFt, FT_Bitmap_Init) X(kLibFt, FT_Done_Face)                        \
  X(kLibFt, FT_Get_Char_Index) X(kLibFt, FT_Get_Sfnt_Table)                \
  X(kLibFt, FT_Get_TrueType_Engine_Type) X(kLibFt, FT_Get_WinFNT_Header)   \
  X(kLibFt, FT_Init_FreeType)                                              \
  X(kLibFt, FT_Load_Glyph) X(kLibFt, FT_Load_Sfnt_Table)                   \
  X(kLibFt, FT_MulDiv) X(kLibFt, FT_MulFix) X(kLibFt, FT_New_Face)         \
  X(kLibFt, FT_Outline_Decompose) X(kLibFt, FT_Outline_Embolden)           \
  X(kLibFt, FT_Outline_Get_Bitmap)                                         \
  X(kLibFt, FT_Outline_Get_CBox) X(kLibFt, FT_Outline_Transform)           \
  X(kLibFt, FT_Outline_Translate)                                          \
  X(kLibFt, FT_Select_Size) X(kLibFt, FT_Set_Charmap)                     \
  X(kLibFt, FT_Set_Pixel_Sizes)

#define XH_ENTRY_ID(lib, name) kId_##name,
enum { XH_FONTLIB_ENTRIES(XH_ENTRY_ID) kEntryCount };

struct entry_name {
  int lib;
  const char* name;
};
#define XH_ENTRY_NAME(lib, name) {lib, #name},
const entry_name kEntryNames[kEntryCount] = {XH_FONTLIB_ENTRIES(XH_ENTRY_NAME)};

void* g_lib[kLibCount];
void* g_entry[kEntryCount];
bool g_loaded = false;
bool g_tried = false;

// The library's own function, with the type of its declaration.
#define REAL(name) reinterpret_cast<decltype(&::name)>(g_entry[kId_##name])

void close_all() {
  for (void*& lib : g_lib) {
    if (lib) dlclose(lib);
    lib = nullptr;
  }
  for (void*& entry : g_entry) entry = nullptr;
}

// The first call of any font function opens the libraries, unless a load
// was tried before; a failure is remembered, so that a machine without them
// does not try again at every call.
bool ready() {
  if (!g_tried) plat_fontlib_load(kFontconfig, kFreetype);
  return g_loaded;
}

}  // namespace

bool plat_fontlib_load(const char* fontconfig_name, const char* freetype_name) {
  if (g_loaded) return true;
  g_tried = true;
  const char* names[kLibCount] = {fontconfig_name, freetype_name};
  for (int i = 0; i < kLibCount; ++i) {
    // Lazy binding inside the libraries, as when the program was linked
    // to them; local, so that their names do not meet this file's.
    g_lib[i] = dlopen(names[i], RTLD_LAZY | RTLD_LOCAL);
    if (!g_lib[i]) {
      close_all();
      return false;
    }
  }
  for (int i = 0; i < kEntryCount; ++i) {
    g_entry[i] = dlsym(g_lib[kEntryNames[i].lib], kEntryNames[i].name);
    if (!g_entry[i]) {
      close_all();
      return false;
    }
  }
  g_loaded = true;
  return true;
}

bool plat_fontlib_loaded() { return g_loaded; }

// fontconfig

FcBool FcInit(void) { return ready() ? REAL(FcInit)() : FcFalse; }

FcConfig* FcInitLoadConfig(void) {
  return ready() ? REAL(FcInitLoadConfig)() : nullptr;
}

FcBool FcConfigParseAndLoadFromMemory(FcConfig* config, const FcChar8* buffer,
                                      FcBool complain) {
  return ready() ? REAL(FcConfigParseAndLoadFromMemory)(config, buffer, complain)
                 : FcFalse;
}

FcBool FcConfigBuildFonts(FcConfig* config) {
  return ready() ? REAL(FcConfigBuildFonts)(config) : FcFalse;
}

FcBool FcConfigSetCurrent(FcConfig* config) {
  return ready() ? REAL(FcConfigSetCurrent)(config) : FcFalse;
}

void FcConfigDestroy(FcConfig* config) {
  if (ready()) REAL(FcConfigDestroy)(config);
}

void FcFini(void) {
  if (ready()) REAL(FcFini)();
}

FcPattern* FcPatternCreate(void) {
  return ready() ? REAL(FcPatternCreate)() : nullptr;
}

void FcPatternDestroy(FcPattern* p) {
  if (ready()) REAL(FcPatternDestroy)(p);
}

FcBool FcPatternAddInteger(FcPattern* p, const char* object, int i) {
  return ready() ? REAL(FcPatternAddInteger)(p, object, i) : FcFalse;
}

FcBool FcPatternAddString(FcPattern* p, const char* object, const FcChar8* s) {
  return ready() ? REAL(FcPatternAddString)(p, object, s) : FcFalse;
}

FcResult FcPatternGetBool(const FcPattern* p, const char* object, int n,
                          FcBool* b) {
  return ready() ? REAL(FcPatternGetBool)(p, object, n, b) : FcResultNoMatch;
}

FcResult FcPatternGetCharSet(const FcPattern* p, const char* object, int n,
                             FcCharSet** c) {
  return ready() ? REAL(FcPatternGetCharSet)(p, object, n, c) : FcResultNoMatch;
}

FcResult FcPatternGetDouble(const FcPattern* p, const char* object, int n,
                            double* d) {
  return ready() ? REAL(FcPatternGetDouble)(p, object, n, d) : FcResultNoMatch;
}

FcResult FcPatternGetInteger(const FcPattern* p, const char* object, int n,
                             int* i) {
  return ready() ? REAL(FcPatternGetInteger)(p, object, n, i) : FcResultNoMatch;
}

FcResult FcPatternGetString(const FcPattern* p, const char* object, int n,
                            FcChar8** s) {
  return ready() ? REAL(FcPatternGetString)(p, object, n, s) : FcResultNoMatch;
}

FcResult FcPatternGetWithBinding(const FcPattern* p, const char* object, int id,
                                 FcValue* v, FcValueBinding* b) {
  return ready() ? REAL(FcPatternGetWithBinding)(p, object, id, v, b)
                 : FcResultNoMatch;
}

FcBool FcConfigSubstitute(FcConfig* config, FcPattern* p, FcMatchKind kind) {
  return ready() ? REAL(FcConfigSubstitute)(config, p, kind) : FcFalse;
}

void FcDefaultSubstitute(FcPattern* pattern) {
  if (ready()) REAL(FcDefaultSubstitute)(pattern);
}

FcPattern* FcFontMatch(FcConfig* config, FcPattern* p, FcResult* result) {
  if (ready()) return REAL(FcFontMatch)(config, p, result);
  if (result) *result = FcResultNoMatch;
  return nullptr;
}

FcFontSet* FcFontList(FcConfig* config, FcPattern* p, FcObjectSet* os) {
  return ready() ? REAL(FcFontList)(config, p, os) : nullptr;
}

void FcFontSetDestroy(FcFontSet* s) {
  if (ready()) REAL(FcFontSetDestroy)(s);
}

// The library's variadic builder has a va_list twin to forward to.
FcObjectSet* FcObjectSetBuild(const char* first, ...) {
  if (!ready()) return nullptr;
  va_list va;
  va_start(va, first);
  FcObjectSet* os = REAL(FcObjectSetVaBuild)(first, va);
  va_end(va);
  return os;
}

void FcObjectSetDestroy(FcObjectSet* os) {
  if (ready()) REAL(FcObjectSetDestroy)(os);
}

FcBool FcCharSetHasChar(const FcCharSet* fcs, FcChar32 ucs4) {
  return ready() ? REAL(FcCharSetHasChar)(fcs, ucs4) : FcFalse;
}

FcCharSet* FcCharSetCreate(void) {
  return ready() ? REAL(FcCharSetCreate)() : nullptr;
}

FcBool FcCharSetAddChar(FcCharSet* fcs, FcChar32 ucs4) {
  return ready() ? REAL(FcCharSetAddChar)(fcs, ucs4) : FcFalse;
}

FcBool FcCharSetIsSubset(const FcCharSet* a, const FcCharSet* b) {
  return ready() ? REAL(FcCharSetIsSubset)(a, b) : FcFalse;
}

void FcCharSetDestroy(FcCharSet* fcs) {
  if (ready()) REAL(FcCharSetDestroy)(fcs);
}

// FreeType

FT_Error FT_Init_FreeType(FT_Library* alibrary) {
  if (ready()) return REAL(FT_Init_FreeType)(alibrary);
  if (alibrary) *alibrary = nullptr;
  return FT_Err_Cannot_Open_Resource;
}

FT_Error FT_New_Face(FT_Library library, const char* filepathname,
                     FT_Long face_index, FT_Face* aface) {
  if (ready()) return REAL(FT_New_Face)(library, filepathname, face_index, aface);
  if (aface) *aface = nullptr;
  return FT_Err_Cannot_Open_Resource;
}

FT_Error FT_Done_Face(FT_Face face) {
  return ready() ? REAL(FT_Done_Face)(face) : FT_Err_Invalid_Face_Handle;
}

FT_UInt FT_Get_Char_Index(FT_Face face, FT_ULong charcode) {
  return ready() ? REAL(FT_Get_Char_Index)(face, charcode) : 0;
}

void* FT_Get_Sfnt_Table(FT_Face face, FT_Sfnt_Tag tag) {
  return ready() ? REAL(FT_Get_Sfnt_Table)(face, tag) : nullptr;
}

FT_Error FT_Get_WinFNT_Header(FT_Face face, FT_WinFNT_HeaderRec* aheader) {
  return ready() ? REAL(FT_Get_WinFNT_Header)(face, aheader)
                 : FT_Err_Invalid_Face_Handle;
}

FT_Error FT_Load_Glyph(FT_Face face, FT_UInt glyph_index, FT_Int32 load_flags) {
  return ready() ? REAL(FT_Load_Glyph)(face, glyph_index, load_flags)
                 : FT_Err_Invalid_Face_Handle;
}

FT_Error FT_Select_Size(FT_Face face, FT_Int strike_index) {
  return ready() ? REAL(FT_Select_Size)(face, strike_index)
                 : FT_Err_Invalid_Face_Handle;
}

FT_Error FT_Set_Charmap(FT_Face face, FT_CharMap charmap) {
  return ready() ? REAL(FT_Set_Charmap)(face, charmap) : FT_Err_Invalid_Face_Handle;
}

FT_Error FT_Set_Pixel_Sizes(FT_Face face, FT_UInt pixel_width,
                            FT_UInt pixel_height) {
  return ready() ? REAL(FT_Set_Pixel_Sizes)(face, pixel_width, pixel_height)
                 : FT_Err_Invalid_Face_Handle;
}

FT_Error FT_Load_Sfnt_Table(FT_Face face, FT_ULong tag, FT_Long offset,
                            FT_Byte* buffer, FT_ULong* length) {
  return ready() ? REAL(FT_Load_Sfnt_Table)(face, tag, offset, buffer, length)
                 : FT_Err_Invalid_Face_Handle;
}

FT_TrueTypeEngineType FT_Get_TrueType_Engine_Type(FT_Library library) {
  return ready() ? REAL(FT_Get_TrueType_Engine_Type)(library)
                 : FT_TRUETYPE_ENGINE_TYPE_NONE;
}

FT_Long FT_MulDiv(FT_Long a, FT_Long b, FT_Long c) {
  return ready() ? REAL(FT_MulDiv)(a, b, c) : 0;
}

FT_Long FT_MulFix(FT_Long a, FT_Long b) {
  return ready() ? REAL(FT_MulFix)(a, b) : 0;
}

// Both leave an empty bitmap or box, as the library would for nothing.
void FT_Bitmap_Init(FT_Bitmap* abitmap) {
  if (ready())
    REAL(FT_Bitmap_Init)(abitmap);
  else if (abitmap)
    memset(abitmap, 0, sizeof *abitmap);
}

FT_Error FT_Outline_Decompose(FT_Outline* outline, const FT_Outline_Funcs* funcs,
                              void* user) {
  return ready() ? REAL(FT_Outline_Decompose)(outline, funcs, user)
                 : FT_Err_Invalid_Library_Handle;
}

FT_Error FT_Outline_Embolden(FT_Outline* outline, FT_Pos strength) {
  return ready() ? REAL(FT_Outline_Embolden)(outline, strength)
                 : FT_Err_Invalid_Outline;
}

FT_Error FT_Outline_Get_Bitmap(FT_Library library, FT_Outline* outline,
                               const FT_Bitmap* abitmap) {
  return ready() ? REAL(FT_Outline_Get_Bitmap)(library, outline, abitmap)
                 : FT_Err_Invalid_Library_Handle;
}

void FT_Outline_Get_CBox(const FT_Outline* outline, FT_BBox* acbox) {
  if (ready())
    REAL(FT_Outline_Get_CBox)(outline, acbox);
  else if (acbox)
    memset(acbox, 0, sizeof *acbox);
}

void FT_Outline_Transform(const FT_Outline* outline, const FT_Matrix* matrix) {
  if (ready()) REAL(FT_Outline_Transform)(outline, matrix);
}

void FT_Outline_Translate(const FT_Outline* outline, FT_Pos xOffset,
                          FT_Pos yOffset) {
  if (ready()) REAL(FT_Outline_Translate)(outline, xOffset, yOffset);
}
