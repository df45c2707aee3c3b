// Small text routines of the history viewer's tools: words and quoted
// strings read from a line, the quoted form written, and Base64.
//
// A cursor is the address of a text pointer; reading moves it forward.
// Every returned text is a new string from gen_calloc, owned by the caller.
#ifndef XHISTORY_HISTORY_GUI_UTIL_STRUTIL_STRUTIL_H_
#define XHISTORY_HISTORY_GUI_UTIL_STRUTIL_STRUTIL_H_

#include <stddef.h>
#include <stdint.h>

// The quoted form of text, or null for null.
char* quote_string(const char* text);
// The first character of text that is neither a space nor a tab.
const char* skip_blanks(const char* text);
// Reads a bare word or a quoted form into *out.  False, with *out null, at
// the end of the text.  Blanks after the token are not skipped.
bool next_token(const char** cursor, char** out);
// True when word stands at the cursor as a whole word (case-sensitive),
// after any blanks; the cursor then stands just after it.  Blanks skipped
// stay skipped either way.
bool match_word(const char** cursor, const char* word);
// The same with ASCII letters compared without regard to case.
bool match_word_nocase(const char** cursor, const char* word);
// Base64 (RFC 4648 alphabet, with padding, no line breaks).
char* base64_encode(const void* bytes, size_t length);

#endif  // XHISTORY_HISTORY_GUI_UTIL_STRUTIL_STRUTIL_H_
