// Library start-up: program name and path, default file mode,
// viewpathing and the crash report.
#ifndef XHISTORY_SHARED_GEN_INIT_H_
#define XHISTORY_SHARED_GEN_INIT_H_

// gen_progname and gen_progpath give what gen_init sets.
#include "shared/gen_progname.h"

// argv0 names the program (gen_progname); option has no effect here;
// viewpath_mode goes to gen_viewpathing.
void gen_init(const char* argv0, int option, int viewpath_mode);


// True for "/x", "\x", "?:...", "~", "~/x" and "~\x".
bool gen_is_absolute(const char* path);

// Sets up name resolution through alternate trees.  This library has no
// alternate-tree lookup, so every mode leaves it off and every name is used
// as given; with QXR_VP_DEBUG set it says so once.
void gen_viewpathing(int mode);

// The crash-report directory in its absolute form, or null when no crash
// report is set up.
const char* gen_crash_dir();

// The library's rule for making a directory name absolute: URLs stay,
// "~" is replaced by HOME, anything else relative is joined to cwd; the
// result is tidied by gen_normalize_path.  A new string.
char* gen_absolute_dir(const char* value, const char* cwd);

// Collapses doubled separators (a leading pair of a share name stays),
// drops "." components and folds ".." into its parent.  A new string.
char* gen_normalize_path(const char* path);

#endif  // XHISTORY_SHARED_GEN_INIT_H_
