#include "history/gui/fonts_command.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "history/gui/gfont/gfont.h"
#include "history/gui/protocol.h"
#include "history/gui/util/strutil/strutil.h"
#include "shared/gen_alloc.h"
#include "shared/gen_string.h"
#include "shared/genout.h"

namespace {

// The faces of a face list at size; where none of them is installed, the
// system's own generic face of the list's kind at the same size, so that a
// machine without the preferred faces still gets the size asked for.
gfont* choose_faces(const char* face_list, int32_t size, const char* slot_generic) {
  gfont* g = gfont_choose(face_list, size);
  if (!g) g = gfont_choose(gfont_generic_face(face_list, slot_generic), size);
  return g;
}

// A font description: a logical-font text, else a face list, a colon and a
// size.  The colon of a face list is overwritten in place.
gfont* resolve_description(char* text, const char* slot_generic) {
  gfont* g = gfont_from_text(text);
  if (g) return g;
  char* colon = strchr(text, ':');
  if (!colon) return nullptr;
  long size = strtol(colon + 1, nullptr, 10);
  if (size > INT32_MAX) size = INT32_MAX;
  if (size < INT32_MIN) size = INT32_MIN;
  *colon = 0;
  return choose_faces(text, (int32_t)size, slot_generic);
}

}  // namespace

void append_font_text(const gfont* font, char** text) {
  size_t length = 0;
  uint8_t* bytes = gfont_serialize(font, &length);
  char* b64 = base64_encode(bytes, length);
  gen_free(bytes);
  size_t old = *text ? strlen(*text) : 0;
  size_t add = strlen(b64);
  char* joined = (char*)gen_calloc(old + 1 + add + 1, 1);
  if (old) memcpy(joined, *text, old);
  joined[old] = ' ';
  memcpy(joined + old + 1, b64, add);
  gen_free(b64);
  gen_free(*text);
  *text = joined;
}

namespace {

// Tells the platform every face name that the descriptions and the
// defaults may ask for, before the first of them is looked for.
void expect_faces(char** args, int count) {
  const char** lists = (const char**)gen_calloc((size_t)count + 2, sizeof(char*));
  int n = 0;
  lists[n++] = "[MONOSPACE]";
  lists[n++] = "[SANS]";
  plat_logfont lf;
  for (int i = 0; i + 1 < count; ++i) {
    if (gen_strcasecmp(args[i], "--mono") != 0 && gen_strcasecmp(args[i], "--sans") != 0)
      continue;
    const char* text = args[i + 1];
    const char* colon = strchr(text, ':');
    if (!colon || gfont_parse_logfont(text, &lf)) continue;
    char* list = (char*)gen_calloc((size_t)(colon - text) + 1, 1);
    memcpy(list, text, (size_t)(colon - text));
    lists[n++] = list;
  }
  gfont_expect_face_lists(lists, n);
  for (int i = 2; i < n; ++i) gen_free((void*)lists[i]);
  gen_free(lists);
}

}  // namespace

namespace {

// What the font services pass over reaches standard error as the
// program's own warnings.
void warn_font(const char* text) { gen_warning("%s", text); }

}  // namespace

int fonts_command(char** args, int count) {
  plat_font_set_notice(warn_font);
  expect_faces(args, count);
  gfont* mono = nullptr;
  gfont* sans = nullptr;
  for (int i = 0; i < count; ++i) {
    gfont** slot = nullptr;
    const char* generic = nullptr;
    if (gen_strcasecmp(args[i], "--mono") == 0) {
      slot = &mono;
      generic = GFONT_GENERIC_MONOSPACE;
    } else if (gen_strcasecmp(args[i], "--sans") == 0) {
      slot = &sans;
      generic = GFONT_GENERIC_SANS;
    }
    if (!slot || i + 1 >= count) continue;
    gfont_free(*slot);
    *slot = resolve_description(args[++i], generic);
  }
  if (!mono) mono = choose_faces("[MONOSPACE]", 13, GFONT_GENERIC_MONOSPACE);
  if (!sans) sans = choose_faces("[SANS]", 14, GFONT_GENERIC_SANS);
  // A slot that finds no font at all still carries a glyph set, an empty
  // one, so that the line always has its two fields.
  if (!mono) mono = gfont_new_empty();
  if (!sans) sans = gfont_new_empty();
  char* text = nullptr;
  append_font_text(mono, &text);
  append_font_text(sans, &text);
  gfont_free(mono);
  gfont_free(sans);
  emit_line("fonts", "%s", text);
  gen_free(text);
  return 0;
}
