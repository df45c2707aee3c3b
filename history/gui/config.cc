// --readcfg: the configuration file reported as cfg_* lines.
#include "history/gui/config.h"

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "history/gui/config_format.h"
#include "history/gui/protocol.h"
#include "history/gui/util/strutil/strutil.h"
#include "shared/gen_alloc.h"
#include "shared/gen_file.h"
#include "shared/gen_quote.h"
#include "shared/genout.h"

static const char kModule[] = XHISTORY_FSUTIL_MODULE;

const char kConfigDelimiters[] = "{}#=\\\n";

static bool is_blank(char c) { return c == ' ' || c == '\t'; }

bool config_needs_quotes(const char* text) {
  size_t len = strlen(text);
  if (len == 0) return true;
  if (is_blank(text[0]) || is_blank(text[len - 1])) return true;
  // Bare, a leading double quote would read back as the start of a quoted
  // form and the text would come back changed.
  if (text[0] == '"') return true;
  return strpbrk(text, kConfigDelimiters) != nullptr;
}

// The item whose fate waits for the next significant line: it owns a
// section when that line opens one.  Both texts are quoted forms; the
// value is null for an item without one.
struct pending_item {
  char* key;
  char* value;
};

static void report(pending_item* item, bool enter) {
  if (!item->key) {
    // A "{" with no item before it would give the viewer a section
    // without a name.
    ASSERT(!enter, "!enter", kModule, 291, 0);
    return;
  }
  emit_line(enter ? "cfg_enter" : "cfg_kv", "%s %s", item->key,
            item->value ? item->value : "");
  gen_free(item->key);
  gen_free(item->value);
  item->key = nullptr;
  item->value = nullptr;
}

// Reads one token at *pos in its canonical quoted form, or null where no
// token stands ("#", "{" or the end of the line).  *pos is left where
// reading stopped: after the blanks behind a quoted token, or at the
// delimiter that ended a bare one.
static char* read_token(char** pos) {
  char* p = (char*)skip_blanks(*pos);
  *pos = p;
  if (*p == '\0' || *p == '#' || *p == '{') return nullptr;
  if (*p == '"') {
    const char* end = p;
    char* text = gen_unquote(p, &end);
    char* quoted = gen_quote(text);
    gen_free(text);
    *pos = (char*)skip_blanks(end);
    return quoted;
  }
  char* end = p;
  while (*end != '\0' && !strchr(kConfigDelimiters, *end)) ++end;
  char* last = end;
  while (last > p && is_blank(last[-1])) --last;
  char saved = *last;
  *last = '\0';
  char* quoted = gen_quote(p);
  *last = saved;
  *pos = end;
  return quoted;
}

static void close_section(pending_item* item) {
  report(item, false);
  emit_line("cfg_exit", "%s", "");
}

static void read_line(char* line, pending_item* item) {
  char* p = (char*)skip_blanks(line);
  if (*p == '\0' || *p == '#') return;
  if (*p == '{') {
    report(item, true);
    return;
  }
  if (*p == '}') {
    close_section(item);
    return;
  }
  report(item, false);
  item->key = read_token(&p);
  if (*p == '=') {
    p = (char*)skip_blanks(p + 1);
    item->value = read_token(&p);
  }
  if (*p == '{')
    report(item, true);
  else if (*p == '}')
    close_section(item);
}

int read_config(FILE* stream) {
  if (!stream) return -1;
  gen_fseek64(stream, 0, SEEK_END);
  int64_t sz = gen_ftell64(stream);
  gen_fseek64(stream, 0, SEEK_SET);
  // The whole text is held in memory at once, and a 32-bit process cannot
  // hold a file of 2 GiB; such a size counts as unmeasurable.
  if (sz > INT32_MAX) sz = -1;
  char* text = (char*)gen_calloc(sz > 0 ? (size_t)sz + 1 : 1, 1);
  int64_t n = 0;
  while (n < sz) {
    size_t want = (size_t)(sz - n);
    if (want > 65536) want = 65536;
    size_t got = fread(text + n, 1, want, stream);
    n += (int64_t)got;
    if (got < want) break;
  }
  ASSERT(n == sz, "n == sz", kModule, 226, 0);

  // The text ends at its first NUL: the buffer's last byte at the latest.
  pending_item item = {nullptr, nullptr};
  char* line = text;
  while (*line != '\0') {
    char* lf = strchr(line, '\n');
    if (lf) *lf = '\0';
    read_line(line, &item);
    if (!lf) break;
    line = lf + 1;
  }
  report(&item, false);
  emit_line("cfg_done", "%s", "");
  gen_free(text);
  return 0;
}
