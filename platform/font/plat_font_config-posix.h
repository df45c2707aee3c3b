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
// current configuration.  False when fontconfig cannot start.
bool plat_font_config_init();

#endif  // XHISTORY_PLATFORM_FONT_PLAT_FONT_CONFIG_POSIX_H_
