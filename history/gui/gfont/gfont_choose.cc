// Font records, enumeration, face lists, scoring and the choice of a font;
// the logical-font text form.
#include <ctype.h>
#include <limits.h>
#include <string.h>

#include "history/gui/gfont/gfont.h"
#include "shared/gen_alloc.h"

namespace {

// Preferred faces of the three aliases.  The first two monospace entries
// trade places once on systems where the newer face is the better one.
const char* g_mono_faces[] = {"Courier",           "Consolas", "Courier New",
                              "Lucida Console",    "Lucida Typewriter",
                              "System",            "Fixedsys"};
const char* const g_sans_faces[] = {"Calibri",       "Verdana", "Tahoma",
                                    "Trebuchet",     "MS Sans Serif", "Arial"};
const char* const g_serif_faces[] = {"Cambria", "Georgia", "Times New Roman",
                                     "MS Serif"};

struct alias_table {
  const char* alias;
  const char* const* faces;
  int count;
  const char* generic;  // the system's own face of the same kind
};

const alias_table g_aliases[] = {
    {"[MONOSPACE]", g_mono_faces, 7, GFONT_GENERIC_MONOSPACE},
    {"[SANS]", g_sans_faces, 6, GFONT_GENERIC_SANS},
    {"[SERIF]", g_serif_faces, 4, GFONT_GENERIC_SERIF},
};

const uint8_t kNoSmoothing = 3;
const int32_t kWeightBold = 700;
const int32_t kWeightLight = 300;

void copy_name(char* dst, size_t cap, const char* src, size_t len) {
  if (len > cap - 1) len = cap - 1;
  memcpy(dst, src, len);
  dst[len] = 0;
}

}  // namespace

void gfont_spec_copy(gfont_spec* dst, const gfont_spec* src) {
  *dst = *src;
  if (src->has_logfont && src->logfont) {
    dst->logfont = (plat_logfont*)gen_calloc(1, sizeof(plat_logfont));
    *dst->logfont = *src->logfont;
  }
}

void gfont_spec_release(gfont_spec* spec) {
  if (spec->has_logfont && spec->logfont) gen_free(spec->logfont);
  spec->logfont = nullptr;
  spec->has_logfont = 0;
}

void gfont_release_candidates(gfont_spec* array, int count) {
  for (int i = 0; i < count; ++i) gfont_spec_release(&array[i]);
}

int gfont_enum_proc(const plat_logfont* logfont, const plat_text_metrics* metrics,
                    uint32_t font_type, void* context) {
  gfont_enum_context* ctx = (gfont_enum_context*)context;
  const gfont_spec* q = ctx->query;
  // Vertical variants of a face are for vertical writing only.
  if (logfont->lfFaceName[0] == '@') return 1;
  uint8_t raster = font_type == PLAT_RASTER_FONTTYPE;
  uint8_t fixed = logfont->lfPitchAndFamily & 1;
  uint8_t ansi = metrics->char_set == 0;
  if ((ctx->flags & GF_MATCH_RASTER) && raster != (q->raster != 0)) return 1;
  if ((ctx->flags & GF_MATCH_PITCH) && fixed != (q->fixed_pitch != 0)) return 1;
  if ((ctx->flags & GF_MATCH_CHARSET) && ansi != (q->ansi != 0)) return 1;
  if (ctx->count >= ctx->max) return 0;

  gfont_spec* c = &ctx->out[ctx->count++];
  memset(c, 0, sizeof *c);
  c->index = -1;
  c->size = raster ? logfont->lfHeight : q->size;
  c->width = raster ? (float)logfont->lfWidth : 0.0f;
  c->fixed_pitch = fixed;
  c->raster = raster;
  c->ansi = ansi;
  // A font enumerated with no height has no shape to measure: its aspect
  // counts as 0 rather than dividing by zero.
  c->aspect = logfont->lfHeight != 0
                  ? (float)logfont->lfWidth / (float)logfont->lfHeight
                  : 0.0f;
  copy_name(c->name, sizeof c->name, logfont->lfFaceName,
            strnlen(logfont->lfFaceName, sizeof logfont->lfFaceName));

  plat_logfont* lf = (plat_logfont*)gen_calloc(1, sizeof(plat_logfont));
  *lf = *logfont;
  if (!raster) {
    lf->lfHeight = q->size;
    if (ctx->flags & GF_SET_WIDTH) lf->lfWidth = (int32_t)q->width;
  }
  if (ctx->flags & GF_SET_ITALIC) lf->lfItalic = q->italic;
  if (ctx->flags & GF_SET_WEIGHT) lf->lfWeight = q->bold ? kWeightBold : kWeightLight;
  lf->lfOutPrecision = 0;
  lf->lfClipPrecision = 0;
  lf->lfQuality = 0;
  // These two faces look broken when smoothed at small sizes.
  if (strcmp(c->name, "Courier") == 0 || strcmp(c->name, "Courier New") == 0)
    lf->lfQuality = kNoSmoothing;
  c->logfont = lf;
  c->has_logfont = 1;
  return ctx->count != ctx->max;
}

int gfont_enumerate(const gfont_spec* query, uint16_t flags, gfont_spec* out,
                    int max) {
  if (max <= 0) return 0;
  plat_screen* screen = plat_screen_get();
  if (!screen) return 0;
  plat_logfont lf;
  memset(&lf, 0, sizeof lf);
  lf.lfCharSet = 0;  // ANSI
  if (flags & GF_MATCH_FACE)
    copy_name(lf.lfFaceName, sizeof lf.lfFaceName, query->name,
              strnlen(query->name, sizeof query->name));
  gfont_enum_context ctx = {query, flags, out, max, 0};
  plat_font_enumerate(screen, &lf, gfont_enum_proc, &ctx);
  plat_screen_release(screen);
  return ctx.count;
}

bool is_nt6_or_later() {
  static int known = -1;
  if (known < 0) {
    uint32_t platform_id = 0, major = 0;
    known = plat_os_version(&platform_id, &major) &&
            (platform_id > 2 || (platform_id == 2 && major >= 6));
  }
  return known != 0;
}

void gfont_prepare_tables() {
  static bool done = false;
  if (done) return;
  done = true;
  if (is_nt6_or_later()) {
    const char* first = g_mono_faces[0];
    g_mono_faces[0] = g_mono_faces[1];
    g_mono_faces[1] = first;
  }
}

namespace {

// The next item of a face list at *p, blanks cut from both ends and kept
// to GFONT_NAME_CHARS characters, in name.  False at the end of the list.
// An item of blanks only gives an empty name.
bool next_face_item(const char** p, char (&name)[GFONT_NAME_CHARS + 1]) {
  if (!**p) return false;
  while (**p == ' ') ++*p;
  const char* start = *p;
  while (**p && **p != ',') ++*p;
  size_t len = (size_t)(*p - start);
  if (len > (size_t)GFONT_NAME_CHARS) len = GFONT_NAME_CHARS;
  while (len > 0 && start[len - 1] == ' ') --len;
  if (**p == ',') ++*p;
  copy_name(name, sizeof name, start, len);
  return true;
}

const alias_table* find_alias(const char* name) {
  for (const alias_table& a : g_aliases)
    if (strcmp(name, a.alias) == 0) return &a;
  return nullptr;
}

}  // namespace

const char* gfont_generic_face(const char* face_list, const char* slot_generic) {
  const char* p = face_list ? face_list : "";
  char name[GFONT_NAME_CHARS + 1];
  while (next_face_item(&p, name))
    if (const alias_table* alias = find_alias(name)) return alias->generic;
  return slot_generic;
}

int gfont_parse_face_list(const char* face_list,
                          char (*names)[GFONT_NAME_CHARS + 1]) {
  int n = 0;
  const char* p = face_list ? face_list : "";
  char name[GFONT_NAME_CHARS + 1];
  while (n < GFONT_MAX_NAMES && next_face_item(&p, name)) {
    if (!name[0]) continue;
    const alias_table* alias = find_alias(name);
    if (!alias) {
      memcpy(names[n++], name, sizeof name);
      continue;
    }
    for (int k = 0; k < alias->count && n < GFONT_MAX_NAMES; ++k)
      copy_name(names[n++], GFONT_NAME_CHARS + 1, alias->faces[k],
                strlen(alias->faces[k]));
  }
  return n;
}

int32_t gfont_score(gfont_spec* c, int place, int32_t size) {
  int64_t cost = 2 * (int64_t)place;
  if (c->size == 0) {
    if (c->has_logfont && c->logfont) {
      c->logfont->lfHeight = size;
      c->logfont->lfWidth = 0;
      c->logfont->lfWeight = kWeightLight;
    }
  } else {
    int64_t d = (int64_t)c->size - size;
    if (d < 0) d = -d;
    if (d != 0) cost += (d + 1) * (d + 1);
  }
  if (!c->raster) cost += 4;
  float total = (float)cost + 10.0f * c->aspect;
  // Far-off sizes must not wrap around into a good score.
  if (!(total < 2147483520.0f)) return INT32_MAX;
  if (total < -2147483520.0f) return INT32_MIN;
  return (int32_t)total;
}

bool gfont_choose_best(char (*names)[GFONT_NAME_CHARS + 1], int count,
                       int32_t size, gfont_enumerator enumerate,
                       gfont_spec* best) {
  memset(best, 0, sizeof *best);
  gfont_spec query;
  memset(&query, 0, sizeof query);
  query.ansi = 1;
  const uint16_t flags =
      GF_MATCH_CHARSET | GF_SET_ITALIC | GF_SET_WEIGHT | GF_MATCH_FACE;
  gfont_spec* cands =
      (gfont_spec*)gen_calloc(GFONT_MAX_CANDIDATES, sizeof(gfont_spec));
  bool found = false;
  int32_t best_score = 0;
  for (int i = 0; i < count; ++i) {
    copy_name(query.name, sizeof query.name, names[i],
              strnlen(names[i], GFONT_NAME_CHARS));
    int n = enumerate(&query, flags, cands, GFONT_MAX_CANDIDATES);
    for (int k = 0; k < n; ++k) {
      int32_t s = gfont_score(&cands[k], i, size);
      if (!found || s < best_score) {
        gfont_spec_release(best);
        gfont_spec_copy(best, &cands[k]);
        best_score = s;
        found = true;
      }
    }
    gfont_release_candidates(cands, n);
  }
  gen_free(cands);
  return found;
}

gfont* gfont_choose(const char* face_list, int32_t size) {
  gfont_prepare_tables();
  char (*names)[GFONT_NAME_CHARS + 1] = (char (*)[GFONT_NAME_CHARS + 1])gen_calloc(
      GFONT_MAX_NAMES, GFONT_NAME_CHARS + 1);
  int count = gfont_parse_face_list(face_list, names);
  const char** hint = (const char**)gen_calloc(count > 0 ? (size_t)count : 1, sizeof(char*));
  for (int i = 0; i < count; ++i) hint[i] = names[i];
  plat_font_expect_faces(hint, count);
  gen_free(hint);
  gfont_spec best;
  bool found = gfont_choose_best(names, count, size, gfont_enumerate, &best);
  gen_free(names);
  if (!found) return nullptr;
  gfont* g = gfont_render(&best);
  gfont_spec_release(&best);
  return g;
}

namespace {

// One signed decimal number as the C scanner's %d reads it: blanks, a sign,
// digits.  Saturates at the 32-bit limits instead of overflowing.
bool scan_int(const char** cursor, int32_t* out) {
  const char* p = *cursor;
  while (isspace((unsigned char)*p)) ++p;
  bool neg = false;
  if (*p == '+' || *p == '-') neg = *p++ == '-';
  if (!isdigit((unsigned char)*p)) return false;
  int64_t v = 0;
  while (isdigit((unsigned char)*p)) {
    if (v <= (int64_t)INT32_MAX + 1) v = v * 10 + (*p - '0');
    ++p;
  }
  if (neg) v = -v;
  if (v > INT32_MAX) v = INT32_MAX;
  if (v < INT32_MIN) v = INT32_MIN;
  *out = (int32_t)v;
  *cursor = p;
  return true;
}

}  // namespace

bool gfont_parse_logfont(const char* text, plat_logfont* out) {
  static const char kPrefix[] = "LOGFONT(";
  if (!text || strncmp(text, kPrefix, sizeof kPrefix - 1) != 0) return false;
  const char* p = text + sizeof kPrefix - 1;
  int32_t v[13];
  for (int i = 0; i < 13; ++i) {
    if (!scan_int(&p, &v[i]) || *p != ',') return false;
    ++p;
  }
  // The face name runs to the closing parenthesis; a text that never
  // closes is not a complete logical font.
  const char* close = strchr(p, ')');
  if (!close) return false;
  memset(out, 0, sizeof *out);
  out->lfHeight = v[0];
  out->lfWidth = v[1];
  out->lfEscapement = v[2];
  out->lfOrientation = v[3];
  out->lfWeight = v[4];
  out->lfItalic = (uint8_t)v[5];
  out->lfUnderline = (uint8_t)v[6];
  out->lfStrikeOut = (uint8_t)v[7];
  out->lfCharSet = (uint8_t)v[8];
  out->lfOutPrecision = (uint8_t)v[9];
  out->lfClipPrecision = (uint8_t)v[10];
  out->lfQuality = (uint8_t)v[11];
  out->lfPitchAndFamily = (uint8_t)v[12];
  copy_name(out->lfFaceName, sizeof out->lfFaceName, p, (size_t)(close - p));
  return true;
}

gfont* gfont_from_text(const char* text) {
  plat_logfont lf;
  if (!gfont_parse_logfont(text, &lf)) return nullptr;
  gfont_spec spec;
  memset(&spec, 0, sizeof spec);
  spec.logfont = &lf;
  spec.has_logfont = 1;
  return gfont_render(&spec);
}
