// The fontconfig configuration that the POSIX font services run on: the
// system's own (or FONTCONFIG_FILE's), and on top of it the program's, so
// that the installed fonts are found as a Windows machine finds them.
//
// Bitmap faces that a Windows machine can have (FNT strikes, bitmap-only
// sfnt faces) are accepted even where the system's configuration rejects
// them (Debian rejects every non-scalable face by default), because the
// Windows build sees its raster faces and both builds must choose alike.
// X11 core fonts (PCF, BDF) stay as the system's configuration has them.
// XH_FONT_PATH names more font folders, separated by ':', so that a Linux
// machine can use the font files of a Windows one.
#ifndef XHISTORY_PLATFORM_FONT_PLAT_FONT_CONFIG_POSIX_H_
#define XHISTORY_PLATFORM_FONT_PLAT_FONT_CONFIG_POSIX_H_

#include <stddef.h>

// The program's configuration as fontconfig's XML, for the folders of
// font_path (':'-separated; null or empty for none).  Empty folder names are
// passed over; a relative one is taken from cwd.  The text is written into
// out, NUL-terminated; returns its length, or the length it needs when that
// is cap or more (as snprintf does).
size_t plat_font_config_text(const char* font_path, const char* cwd, char* out,
                             size_t cap);

// Loads the system's configuration, adds the program's with the folders
// of XH_FONT_PATH, lists the fonts and makes the result fontconfig's
// current configuration; once per process.  A folder that cannot be used
// (a name that is not UTF-8 or holds a control character, one that is
// missing or no folder, a tree too large to scan) is skipped with a
// notice, and the rest still count.  False when fontconfig cannot start.
bool plat_font_config_init();

// Reports something that the font services pass over, through the
// function given to plat_font_set_notice (standard error by default).
void plat_font_notice(const char* format, ...) __attribute__((format(printf, 1, 2)));

// True the first time that key (a font file, say) is given, so that a
// fault of one file is reported once however often the file is opened.
bool plat_font_notice_first(const char* key);

#endif  // XHISTORY_PLATFORM_FONT_PLAT_FONT_CONFIG_POSIX_H_
