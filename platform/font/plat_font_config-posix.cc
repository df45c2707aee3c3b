#include "platform/font/plat_font_config-posix.h"

#include <fontconfig/fontconfig.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

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

bool plat_font_config_init() {
  const char* font_path = getenv("XH_FONT_PATH");
  char cwd[4096];
  if (!getcwd(cwd, sizeof cwd)) cwd[0] = 0;
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
