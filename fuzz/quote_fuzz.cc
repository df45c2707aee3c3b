// The quoted form: any bytes after a quote decode without reading past the
// end, and quoting then unquoting gives the text back.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "shared/gen_alloc.h"
#include "shared/gen_quote.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text((const char*)data, size);
  const char* s = text.c_str();  // stops at the first NUL, as callers do

  const char* end = gen_quoted_end(s);
  if (end < s || end > s + strlen(s)) abort();
  const char* uend = nullptr;
  char* plain = gen_unquote(s, &uend);
  if (uend != end) abort();
  if ((plain == nullptr) != (s[0] != '"')) abort();
  if (plain && strlen(plain) + 1 > (size_t)(end - s)) abort();
  gen_free(plain);

  char* q = gen_quote(s);
  char* back = gen_unquote(q, &uend);
  if (strcmp(back, s) != 0 || *uend != 0) abort();
  gen_free(back);
  gen_free(q);
  return 0;
}
