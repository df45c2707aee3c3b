#include "history/gui/util/strutil/strutil.h"

#include <string.h>

#include "shared/gen_alloc.h"
#include "shared/gen_quote.h"
#include "shared/genout.h"

static const char kModule[] = "history/gui/util/strutil/strutil";

static bool is_blank(char c) { return c == ' ' || c == '\t'; }

char* quote_string(const char* text) { return gen_quote(text); }

const char* skip_blanks(const char* text) {
  while (is_blank(*text)) ++text;
  return text;
}

bool next_token(const char** cursor, char** out) {
  ASSERT(cursor != nullptr && *cursor != nullptr,
         "str != NULL && *str != NULL", kModule, 70, 0);
  ASSERT(out != nullptr, "arg != NULL", kModule, 71, 0);
  const char* p = skip_blanks(*cursor);
  *cursor = p;
  if (*p == 0) {
    *out = nullptr;
    return false;
  }
  if (*p == '"') {
    const char* end;
    *out = gen_unquote(p, &end);
    *cursor = end;
    return true;
  }
  const char* e = p;
  while (*e && !is_blank(*e)) ++e;
  char* word = (char*)gen_calloc((size_t)(e - p) + 1, 1);
  memcpy(word, p, (size_t)(e - p));
  *out = word;
  *cursor = e;
  return true;
}

static char lower(char c) {
  return (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c;
}

static bool starts_with(const char* text, const char* word, size_t n,
                        bool nocase) {
  if (!nocase) return strncmp(text, word, n) == 0;
  for (size_t i = 0; i < n; ++i)
    if (text[i] == 0 || lower(text[i]) != lower(word[i])) return false;
  return true;
}

static bool match_word_impl(const char** cursor, const char* word,
                            bool nocase) {
  ASSERT(cursor != nullptr && *cursor != nullptr,
         "str != NULL && *str != NULL", kModule, 126, 0);
  ASSERT(word != nullptr, "prefix != NULL", kModule, 127, 0);
  size_t n = strlen(word);
  for (;;) {
    const char* p = *cursor;
    if (starts_with(p, word, n, nocase) && (p[n] == 0 || is_blank(p[n]))) {
      *cursor = p + n;
      return true;
    }
    if (!is_blank(*p)) return false;
    *cursor = p + 1;
  }
}

bool match_word(const char** cursor, const char* word) {
  return match_word_impl(cursor, word, false);
}

bool match_word_nocase(const char** cursor, const char* word) {
  return match_word_impl(cursor, word, true);
}

char* base64_encode(const void* bytes, size_t length) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  size_t alloc = (length / 3 + 1) * 4 + 1;
  char* out = (char*)gen_calloc(alloc, 1);
  const unsigned char* in = (const unsigned char*)bytes;
  size_t c = 0, i = 0;
  for (; i + 3 <= length; i += 3) {
    uint32_t v = (uint32_t)in[i] << 16 | (uint32_t)in[i + 1] << 8 | in[i + 2];
    out[c++] = kAlphabet[v >> 18];
    out[c++] = kAlphabet[(v >> 12) & 63];
    out[c++] = kAlphabet[(v >> 6) & 63];
    out[c++] = kAlphabet[v & 63];
  }
  size_t rest = length - i;
  if (rest) {
    uint32_t v = (uint32_t)in[i] << 16;
    if (rest == 2) v |= (uint32_t)in[i + 1] << 8;
    out[c++] = kAlphabet[v >> 18];
    out[c++] = kAlphabet[(v >> 12) & 63];
    out[c++] = rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
    out[c++] = '=';
  }
  ASSERT(c < alloc, "c < alloc", kModule, 265, 0);
  return out;
}
