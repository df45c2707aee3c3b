// --writecfg: a configuration file written from commands on standard
// input.
#include <stdio.h>
#include <string.h>

#include "history/gui/config.h"
#include "history/gui/config_format.h"
#include "history/gui/protocol.h"
#include "history/gui/util/strutil/strutil.h"
#include "shared/gen_alloc.h"
#include "shared/gen_file.h"
#include "shared/gen_quote.h"
#include "shared/genout.h"

static const char kModule[] = XHISTORY_FSUTIL_MODULE;

// One line of standard input of any length, without its line end, in
// *line (a new string) with its length in *len.  False at the end of the
// input.  A carriage return before the line feed belongs to the line end,
// as the runtime's text mode has it where it translates line ends.
static bool read_input_line(char** line, size_t* len) {
  size_t cap = 2048;
  size_t n = 0;
  char* buf = (char*)gen_calloc(cap, 1);
  int c = EOF;
  while ((c = getc(stdin)) != EOF) {
    if (n + 1 >= cap) {
      buf = (char*)gen_realloc(buf, cap * 2);
      memset(buf + cap, 0, cap);
      cap *= 2;
    }
    if (c == '\n') break;
    buf[n++] = (char)c;
  }
  if (c == EOF && n == 0) {
    gen_free(buf);
    return false;
  }
  if (c == '\n' && n > 0 && buf[n - 1] == '\r') --n;
  buf[n] = '\0';
  *line = buf;
  *len = n;
  return true;
}

struct writer {
  FILE* out;
  int depth;
  // An item's line has been started and not ended: line feeds are
  // written only once the next thing to write is known, so that " {" can
  // still join the item's line.
  bool open_line;
};

static void write_text(writer* w, const char* text) {
  if (config_needs_quotes(text)) {
    char* quoted = gen_quote(text);
    fputs(quoted, w->out);
    gen_free(quoted);
  } else {
    fputs(text, w->out);
  }
}

// Ends the open line and indents for a new one at the current depth.
static void start_line(writer* w) {
  if (w->open_line) fputc('\n', w->out);
  w->open_line = true;
  for (int i = 0; i < w->depth; ++i) fputs("  ", w->out);
}

static void command_kv(writer* w, const char* p) {
  char* key = nullptr;
  char* value = nullptr;
  bool rv = next_token(&p, &key);
  ASSERT(rv, "rv", kModule, 376, 0);
  bool has_value = next_token(&p, &value);
  start_line(w);
  write_text(w, key);
  if (has_value) {
    fputs(" = ", w->out);
    write_text(w, value);
  }
  gen_free(key);
  gen_free(value);
}

// Closes the file.  A write that failed (a full disk) must not pass for a
// saved configuration: the viewer would trust a truncated file.
static int finish(FILE* stream) {
  bool failed = ferror(stream) != 0;
  if (gen_fclose(stream) != 0) failed = true;
  return failed ? -1 : 0;
}

int write_config(FILE* stream) {
  if (!stream) return -1;
  writer w = {stream, 0, false};
  char* line = nullptr;
  size_t len = 0;
  while (read_input_line(&line, &len)) {
    const char* p = line;
    if (match_word(&p, "kv")) {
      command_kv(&w, p);
    } else if (match_word(&p, "enter")) {
      fputs(" {\n", w.out);
      w.open_line = false;
      ++w.depth;
    } else if (match_word(&p, "exit")) {
      --w.depth;
      start_line(&w);
      fputs("}\n", w.out);
      w.open_line = false;
    } else if (match_word(&p, "done")) {
      fputc('\n', w.out);
      gen_free(line);
      return finish(stream);
    } else {
      ASSERT(false, "false", kModule, 397, 0);
    }
    gen_free(line);
  }
  return finish(stream);
}
