// Small string and number helpers of the general library.
#ifndef XHISTORY_SHARED_GEN_STRING_H_
#define XHISTORY_SHARED_GEN_STRING_H_

#include <stdint.h>

// strcmp with null read as "".
int gen_strcmp(const char* a, const char* b);
// ASCII-only case folding; null read as "".  -1, 0 or 1.
int gen_strcasecmp(const char* a, const char* b);
// strtoul in base 10 with the width of a 32-bit unsigned long: leading
// blanks and a sign are accepted, a value above 4294967295 saturates, a
// negative value wraps modulo 2^32, and text without digits gives 0.
uint32_t gen_strtou32(const char* text);

#endif  // XHISTORY_SHARED_GEN_STRING_H_
