#include "platform/font/plat_font_config-posix.h"

#include <dirent.h>
#include <fontconfig/fontconfig.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/plat_font.h"

namespace {

// Appends to a bounded buffer, counting what does not fit.
struct text_out {
  char* out;
  size_t cap;
  size_t len;
};

void put(text_out* t, const char* s, size_t n) {
  for (size_t i = 0; i < n; ++i, ++t->len)
    if (t->len + 1 < t->cap) t->out[t->len] = s[i];
}

void put(text_out* t, const char* s) { put(t, s, strlen(s)); }

// A folder name as XML character data: a name may hold any byte but NUL.
void put_escaped(text_out* t, const char* s, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    switch (s[i]) {
      case '&': put(t, "&amp;"); break;
      case '<': put(t, "&lt;"); break;
      case '>': put(t, "&gt;"); break;
      default: put(t, s + i, 1);
    }
  }
}

}  // namespace

size_t plat_font_config_text(const char* font_path, const char* cwd, char* out,
                             size_t cap) {
  text_out t = {out, cap, 0};
  put(&t,
      "<?xml version=\"1.0\"?>\n"
      "<!DOCTYPE fontconfig SYSTEM \"urn:fontconfig:fonts.dtd\">\n"
      "<fontconfig>\n"
      // An accepted face stays in whatever a rejection says, in any order.
      // Only the bitmap faces that a Windows machine can have: FNT strikes
      // and bitmap-only sfnt faces; X11 core fonts (PCF, BDF) stay as the
      // system's configuration has them.
      "  <selectfont><acceptfont><pattern>"
      "<patelt name=\"scalable\"><bool>false</bool></patelt>"
      "<patelt name=\"fontformat\"><string>Windows FNT</string></patelt>"
      "</pattern><pattern>"
      "<patelt name=\"scalable\"><bool>false</bool></patelt>"
      "<patelt name=\"fontformat\"><string>TrueType</string></patelt>"
      "</pattern></acceptfont></selectfont>\n");
  for (const char* p = font_path ? font_path : ""; *p;) {
    const char* end = strchr(p, ':');
    size_t n = end ? (size_t)(end - p) : strlen(p);
    if (n > 0) {
      put(&t, "  <dir>");
      // fontconfig would resolve a relative folder against the folder of
      // a configuration file, which this text has none of.
      if (p[0] != '/' && cwd && *cwd) {
        put_escaped(&t, cwd, strlen(cwd));
        if (cwd[strlen(cwd) - 1] != '/') put(&t, "/");
      }
      put_escaped(&t, p, n);
      put(&t, "</dir>\n");
    }
    p += n;
    if (*p == ':') ++p;
  }
  put(&t, "</fontconfig>\n");
  if (cap > 0) out[t.len < cap ? t.len : cap - 1] = 0;
  return t.len;
}

namespace {

plat_font_notice_fn g_notice = nullptr;

// Whether s[0, n) is well-formed UTF-8 (no overlong forms, surrogates or
// code points past U+10FFFF), as fontconfig's XML must be.
bool utf8_valid(const unsigned char* s, size_t n) {
  for (size_t i = 0; i < n;) {
    const unsigned c = s[i];
    size_t len = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3
                 : (c & 0xF8) == 0xF0 ? 4 : 0;
    if (len == 0 || n - i < len) return false;
    uint32_t cp = len == 1 ? c : len == 2 ? c & 0x1F : len == 3 ? c & 0x0F : c & 0x07;
    for (size_t k = 1; k < len; ++k) {
      if ((s[i + k] & 0xC0) != 0x80) return false;
      cp = cp << 6 | (s[i + k] & 0x3F);
    }
    static const uint32_t kLeast[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kLeast[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += len;
  }
  return true;
}

// Counts the files and folders under dir, down to the limit; true when
// there are no more than limit.  Symbolic links to folders are followed,
// as fontconfig follows them, so the depth is bounded too.
bool tree_within(const char* dir, int depth, size_t limit, size_t* seen) {
  if (depth > 16) return false;
  DIR* d = opendir(dir);
  if (!d) return true;  // fontconfig passes over what it cannot read
  bool ok = true;
  while (ok) {
    const dirent* e = readdir(d);
    if (!e) break;
    if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
    if (++*seen > limit) {
      ok = false;
      break;
    }
    if (e->d_type != DT_DIR && e->d_type != DT_LNK && e->d_type != DT_UNKNOWN) continue;
    const size_t n = strlen(dir) + strlen(e->d_name) + 2;
    char* sub = (char*)malloc(n);
    if (!sub) break;
    snprintf(sub, n, "%s/%s", dir, e->d_name);
    struct stat st;
    if (stat(sub, &st) == 0 && S_ISDIR(st.st_mode))
      ok = tree_within(sub, depth + 1, limit, seen);
    free(sub);
  }
  closedir(d);
  return ok;
}

// Files and folders that one XH_FONT_PATH folder may hold: fontconfig opens
// each file of a folder it has no cache of, on every run, so a folder much
// larger than any font collection would keep the run waiting for minutes.
const size_t kMaxFolderEntries = 5000;

// The name as a message shows it: bytes outside printable ASCII escaped.
void printable(const char* s, size_t n, char* out, size_t cap) {
  size_t len = 0;
  for (size_t i = 0; i < n && len + 5 < cap; ++i) {
    const unsigned char c = (unsigned char)s[i];
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out[len++] = (char)c;
    } else {
      len += (size_t)snprintf(out + len, cap - len, "\\x%02X", c);
    }
  }
  out[len] = 0;
}

// Why the XH_FONT_PATH entry s[0, n) (a relative one taken from cwd) cannot
// be used, or null when it can.
const char* unusable_folder(const char* s, size_t n, const char* cwd) {
  for (size_t i = 0; i < n; ++i) {
    const unsigned char c = (unsigned char)s[i];
    if (c < 0x20 || c == 0x7F) return "it holds a control character";
  }
  if (!utf8_valid((const unsigned char*)s, n)) return "it is not valid UTF-8";
  const bool relative = s[0] != '/' && cwd && *cwd;
  const size_t need = (relative ? strlen(cwd) + 1 : 0) + n + 1;
  char* path = (char*)malloc(need);
  if (!path) return "there is no memory for it";
  snprintf(path, need, "%s%s%.*s", relative ? cwd : "", relative ? "/" : "", (int)n, s);
  const char* why = nullptr;
  struct stat st;
  size_t seen = 0;
  if (stat(path, &st) != 0) {
    why = "it does not exist";
  } else if (!S_ISDIR(st.st_mode)) {
    why = "it is not a folder";
  } else if (!tree_within(path, 0, kMaxFolderEntries, &seen)) {
    why = "it holds more than 5000 files and folders, too many to scan for fonts";
  }
  free(path);
  return why;
}

// XH_FONT_PATH less the entries that cannot be used, each of which is
// reported.  Free the result with free().
char* usable_font_path(const char* font_path, const char* cwd) {
  const size_t len = font_path ? strlen(font_path) : 0;
  char* out = (char*)malloc(len + 1);
  if (!out) return nullptr;
  size_t used = 0;
  for (const char* p = font_path ? font_path : ""; *p;) {
    const char* end = strchr(p, ':');
    const size_t n = end ? (size_t)(end - p) : strlen(p);
    if (n > 0) {
      const char* why = unusable_folder(p, n, cwd);
      if (why) {
        char shown[512];
        printable(p, n, shown, sizeof shown);
        plat_font_notice("XH_FONT_PATH: the folder \"%s\" is skipped: %s", shown, why);
      } else {
        if (used) out[used++] = ':';
        memcpy(out + used, p, n);
        used += n;
      }
    }
    p += n;
    if (*p == ':') ++p;
  }
  out[used] = 0;
  return out;
}

// Loads the system's configuration with the program's text over it, and
// makes it current.
bool load_config(const char* font_path, const char* cwd) {
  size_t need = plat_font_config_text(font_path, cwd, nullptr, 0) + 1;
  char* text = (char*)malloc(need);
  if (!text) return false;
  plat_font_config_text(font_path, cwd, text, need);
  FcConfig* config = FcInitLoadConfig();
  bool ok = config != nullptr &&
            FcConfigParseAndLoadFromMemory(config, (const FcChar8*)text, FcTrue) &&
            FcConfigBuildFonts(config) && FcConfigSetCurrent(config);
  free(text);
  // The current configuration holds a reference of its own.
  if (config) FcConfigDestroy(config);
  return ok;
}

}  // namespace

void plat_font_set_notice(plat_font_notice_fn fn) { g_notice = fn; }

void plat_font_notice(const char* format, ...) {
  char text[1024];
  va_list ap;
  va_start(ap, format);
  vsnprintf(text, sizeof text, format, ap);
  va_end(ap);
  if (g_notice) {
    g_notice(text);
  } else {
    fprintf(stderr, "%s\n", text);
  }
}

bool plat_font_notice_first(const char* key) {
  // Keys by their hash; a process meets few faces that it has to report.
  static uint64_t told[64];
  static int count = 0;
  uint64_t h = 1469598103934665603ull;
  for (const char* p = key ? key : ""; *p; ++p) h = (h ^ (uint8_t)*p) * 1099511628211ull;
  for (int i = 0; i < count; ++i)
    if (told[i] == h) return false;
  if (count < 64) told[count++] = h;
  return true;
}

bool plat_font_config_init() {
  // Tried once: a configuration that cannot be had is not tried again at
  // every call of the font services.
  static int outcome = -1;
  if (outcome >= 0) return outcome != 0;
  const char* font_path = getenv("XH_FONT_PATH");
  char cwd[4096];
  if (!getcwd(cwd, sizeof cwd)) cwd[0] = 0;
  char* usable = usable_font_path(font_path, cwd);
  bool ok = load_config(usable, cwd);
  // Should the folders still spoil it, the system's fonts are had without
  // them.
  if (!ok && usable && *usable) {
    plat_font_notice("XH_FONT_PATH: the folders it names cannot be used; they are skipped");
    ok = load_config(nullptr, cwd);
  }
  free(usable);
  outcome = ok ? 1 : 0;
  return ok;
}
