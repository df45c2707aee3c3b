#include "shared/gen_string.h"

#include <string.h>

int gen_strcmp(const char* a, const char* b) {
  return strcmp(a ? a : "", b ? b : "");
}

static signed char fold(signed char c) {
  return (c >= 'A' && c <= 'Z') ? (signed char)(c - 'A' + 'a') : c;
}

int gen_strcasecmp(const char* a, const char* b) {
  const signed char* p = (const signed char*)(a ? a : "");
  const signed char* q = (const signed char*)(b ? b : "");
  for (;; ++p, ++q) {
    signed char x = fold(*p), y = fold(*q);
    if (x != y) return (x == 0 || x < y) ? -1 : 1;
    if (x == 0) return 0;
  }
}

uint32_t gen_strtou32(const char* text) {
  if (!text) return 0;
  const char* s = text;
  while (*s == ' ' || (*s >= '\t' && *s <= '\r')) ++s;
  bool negative = false;
  if (*s == '+' || *s == '-') negative = *s++ == '-';
  if (*s < '0' || *s > '9') return 0;
  uint64_t v = 0;
  bool overflow = false;
  for (; *s >= '0' && *s <= '9'; ++s) {
    v = v * 10 + (uint64_t)(*s - '0');
    if (v > 0xFFFFFFFFu) {
      overflow = true;
      v = 0xFFFFFFFFu;
    }
  }
  if (overflow) return 0xFFFFFFFFu;
  return negative ? (uint32_t)(0u - (uint32_t)v) : (uint32_t)v;
}
