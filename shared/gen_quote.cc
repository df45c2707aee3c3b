#include "shared/gen_quote.h"

#include <string.h>

#include "shared/gen_alloc.h"

// The escape letter for c, 0 when c is written as it is, or c itself for
// the bytes 1 to 3, which are written raw behind a backslash.
static char escape_of(unsigned char c) {
  switch (c) {
    case 0x07: return 'a';
    case 0x08: return 'b';
    case 0x09: return 't';
    case 0x0A: return 'n';
    case 0x0B: return 'v';
    case 0x0C: return 'f';
    case 0x0D: return 'r';
    case '"': return '"';
    case '\'': return '\'';
    case '\\': return '\\';
    case 0x01: case 0x02: case 0x03: return (char)c;
    default: return 0;
  }
}

char* gen_quote(const char* text) {
  if (!text) return nullptr;
  size_t need = 3;
  for (const unsigned char* p = (const unsigned char*)text; *p; ++p)
    need += escape_of(*p) ? 2 : 1;
  char* out = (char*)gen_calloc(need, 1);
  char* o = out;
  *o++ = '"';
  for (const unsigned char* p = (const unsigned char*)text; *p; ++p) {
    char e = escape_of(*p);
    if (e) {
      *o++ = '\\';
      *o++ = e;
    } else {
      *o++ = (char)*p;
    }
  }
  *o++ = '"';
  *o = 0;
  return out;
}

const char* gen_quoted_end(const char* text) {
  if (!text || *text != '"') return text;
  const char* p = text + 1;
  while (*p) {
    if (*p == '\\') {
      ++p;
      if (*p) ++p;
    } else if (*p == '"') {
      return p + 1;
    } else {
      ++p;
    }
  }
  return p;
}

static int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

char* gen_unquote(const char* text, const char** end) {
  const char* e = gen_quoted_end(text);
  if (end) *end = e;
  if (!text || e == text) return nullptr;
  // The decoded text is never longer than the form without its quotes.
  char* out = (char*)gen_calloc((size_t)(e - text), 1);
  char* o = out;
  const char* p = text + 1;
  for (;;) {
    char c = *p++;
    if (c == 0 || c == '"') break;
    if (c != '\\') {
      *o++ = c;
      continue;
    }
    char n = *p;
    if (n == 0) {
      *o++ = '\\';
      break;
    }
    ++p;
    switch (n) {
      case 'a': *o++ = 0x07; break;
      case 'b': *o++ = 0x08; break;
      case 'f': *o++ = 0x0C; break;
      case 'n': *o++ = 0x0A; break;
      case 'r': *o++ = 0x0D; break;
      case 't': *o++ = 0x09; break;
      case 'v': *o++ = 0x0B; break;
      case '0': case '1': case '2': case '3': {
        int v = n - '0';
        for (int k = 0; k < 2 && *p >= '0' && *p <= '7'; ++k)
          v = v * 8 + (*p++ - '0');
        *o++ = (char)v;
        break;
      }
      case 'x': {
        int v = 0;
        for (int k = 0; k < 2 && hex_value(*p) >= 0; ++k)
          v = v * 16 + hex_value(*p++);
        *o++ = (char)v;
        break;
      }
      default: *o++ = n; break;
    }
    // An escape that decodes to NUL ends the text.
    if (o[-1] == 0) break;
  }
  *o = 0;
  return out;
}
