// The quoted form of a text: double quotes around it, with backslash
// escapes for control characters, quotes and the backslash.
#ifndef XHISTORY_SHARED_GEN_QUOTE_H_
#define XHISTORY_SHARED_GEN_QUOTE_H_

// A new string; null for null.
char* gen_quote(const char* text);
// The text a quoted form stands for, as a new string, with *end just
// after the form.  Null, with *end == text, when text does not begin with
// a double quote.
char* gen_unquote(const char* text, const char** end);
// Just after the closing quote of the form at text, or at the NUL when it
// is missing; text itself when it does not begin with a double quote.
const char* gen_quoted_end(const char* text);

#endif  // XHISTORY_SHARED_GEN_QUOTE_H_
