// Words and quoted tokens read from any line: the cursor only moves
// forward, stays inside the text, and every token is a fresh string.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "history/gui/util/strutil/strutil.h"
#include "shared/gen_alloc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text((const char*)data, size);
  const char* s = text.c_str();
  const char* limit = s + strlen(s);

  const char* cur = s;
  char* tok = nullptr;
  while (next_token(&cur, &tok)) {
    if (cur < s || cur > limit) abort();
    gen_free(tok);
  }
  if (tok != nullptr || *skip_blanks(cur) != 0) abort();

  static const char* const kWords[] = {"kv", "enter", "exit", "done", ""};
  for (const char* w : kWords) {
    cur = s;
    const char* before = cur;
    bool hit = match_word(&cur, w);
    if (cur < before || cur > limit) abort();
    if (hit && strncmp(cur - strlen(w), w, strlen(w)) != 0) abort();
    cur = s;
    match_word_nocase(&cur, w);
    if (cur < s || cur > limit) abort();
  }
  return 0;
}
