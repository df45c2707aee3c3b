// The code pages through which GDI turns the bytes of single-byte text into
// characters for a logical font: the character set of the realised font
// selects the code page (Windows-1250 to 1258, 874, the double-byte pages,
// the symbol page), and each byte 0x80 to 0xFF is the page's character.
// Pure tables and arithmetic, for the POSIX font layer.
#ifndef XHISTORY_PLATFORM_FONT_PLAT_FONT_CODEPAGE_H_
#define XHISTORY_PLATFORM_FONT_PLAT_FONT_CODEPAGE_H_

#include <stdint.h>

// The symbol code page: bytes 0x20 to 0xFF stand for U+F020 to U+F0FF.
const uint16_t FONT_CP_SYMBOL = 42;
const uint16_t FONT_CP_UTF8 = 65001;

// Bits of a face's code-page set (the OS/2 ulCodePageRange1 field).
const uint32_t FONT_CPBIT_LATIN1 = 1u << 0;
const uint32_t FONT_CPBIT_SYMBOL = 1u << 31;

// A character set's code page and code-page bit, as the system translates
// one to the other; false for a set it has no page for (the default set 1,
// the OEM set 255, and numbers that are no set).
struct font_charset_info {
  uint8_t charset;
  uint16_t code_page;
  uint32_t bit;
};
bool font_charset_lookup(uint8_t charset, font_charset_info* out);

// The character set of the lowest bit of bits that stands for one; false
// when none does.
bool font_charset_of_bits(uint32_t bits, font_charset_info* out);

// The character that byte b is in code page cp.  A lone lead byte of a
// double-byte page is that page's default character; an unknown page is
// taken as Windows-1252.
uint32_t font_code_page_char(uint16_t cp, uint8_t b);

#endif  // XHISTORY_PLATFORM_FONT_PLAT_FONT_CODEPAGE_H_
