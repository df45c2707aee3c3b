#include "platform/font/plat_font_codepage.h"

#include <stddef.h>

namespace {

#include "platform/font/plat_font_codepage_tables.inc"

// In the order in which the system looks a bit up.
const font_charset_info kCharsets[] = {
    {0, 1252, 1u << 0},         {238, 1250, 1u << 1},    {204, 1251, 1u << 2},
    {161, 1253, 1u << 3},       {162, 1254, 1u << 4},    {177, 1255, 1u << 5},
    {178, 1256, 1u << 6},       {186, 1257, 1u << 7},    {163, 1258, 1u << 8},
    {222, 874, 1u << 16},       {128, 932, 1u << 17},    {134, 936, 1u << 18},
    {129, 949, 1u << 19},       {136, 950, 1u << 20},    {130, 1361, 1u << 21},
    {254, FONT_CP_UTF8, 1u << 26}, {2, FONT_CP_SYMBOL, 1u << 31},
};

const uint16_t* table_of(uint16_t cp) {
  switch (cp) {
    case 874: return kCp874;
    case 1250: return kCp1250;
    case 1251: return kCp1251;
    case 1253: return kCp1253;
    case 1254: return kCp1254;
    case 1255: return kCp1255;
    case 1256: return kCp1256;
    case 1257: return kCp1257;
    case 1258: return kCp1258;
    case 932: return kCp932;
    case 936: return kCp936;
    case 949: return kCp949;
    case 950: return kCp950;
    case 1361: return kCp1361;
    default: return kCp1252;
  }
}

}  // namespace

bool font_charset_lookup(uint8_t charset, font_charset_info* out) {
  for (const font_charset_info& c : kCharsets) {
    if (c.charset != charset) continue;
    *out = c;
    return true;
  }
  return false;
}

bool font_charset_of_bits(uint32_t bits, font_charset_info* out) {
  for (int i = 0; i < 32; ++i) {
    if (!(bits & (1u << i))) continue;
    for (const font_charset_info& c : kCharsets) {
      if (c.bit != (1u << i)) continue;
      *out = c;
      return true;
    }
  }
  return false;
}

uint32_t font_code_page_char(uint16_t cp, uint8_t b) {
  if (cp == FONT_CP_SYMBOL) return b >= 0x20 ? 0xF000u + b : b;
  if (b < 0x80) return b;
  // A byte of its own is never a whole character in UTF-8.
  if (cp == FONT_CP_UTF8) return 0xFFFD;
  return table_of(cp)[b - 0x80];
}
