// The font libraries of the POSIX build, fontconfig and FreeType, are not
// linked to the program: only --fonts needs them, and loading them with
// their own dependencies at every start would cost each copy and removal
// more than the program's whole work.  plat_fontlib-posix.cc defines the
// library functions that the font services call; the first call opens both
// libraries and forwards every call to them.  When they cannot be opened,
// each function fails as the library reports failure (FcInit false, null
// objects, FreeType errors), so that --fonts finds no font and every other
// command still runs.
#ifndef XHISTORY_PLATFORM_FONT_PLAT_FONTLIB_H_
#define XHISTORY_PLATFORM_FONT_PLAT_FONTLIB_H_

// Opens the two libraries by these names and finds every function, unless
// that already succeeded.  True when all are there; on failure nothing
// stays open, and a later call may try again.  The font functions open the
// usual libraries on their first call only when no load was tried before.
bool plat_fontlib_load(const char* fontconfig_name, const char* freetype_name);

// Whether the libraries are open.
bool plat_fontlib_loaded();

#endif  // XHISTORY_PLATFORM_FONT_PLAT_FONTLIB_H_
