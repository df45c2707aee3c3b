#include "platform/font/plat_font_codepage.h"

#include <gtest/gtest.h>

#include <set>

namespace {

struct sample {
  uint16_t cp;
  uint8_t byte;
  uint32_t ch;
};

// Characters as the code pages' published mapping tables give them, a few
// of each page where it parts from the others, and what those tables leave
// undefined as the system's conversion fills it.
TEST(CodePage, BytesAreThePagesCharacters) {
  const sample samples[] = {
      {1250, 0x8A, 0x0160}, {1250, 0xA5, 0x0104}, {1250, 0xB9, 0x0105},
      {1250, 0xC8, 0x010C}, {1250, 0xFF, 0x02D9}, {1250, 0x81, 0x0081},
      {1251, 0x80, 0x0402}, {1251, 0x88, 0x20AC}, {1251, 0xA8, 0x0401},
      {1251, 0xC0, 0x0410}, {1251, 0xFF, 0x044F}, {1251, 0x98, 0x0098},
      {1252, 0x80, 0x20AC}, {1252, 0x9F, 0x0178}, {1252, 0xE9, 0x00E9},
      {1253, 0xA2, 0x0386}, {1253, 0xC1, 0x0391}, {1253, 0xF9, 0x03C9},
      {1253, 0xAA, 0xF8F9}, {1253, 0xFF, 0xF8FB},
      {1254, 0xD0, 0x011E}, {1254, 0xDE, 0x015E}, {1254, 0xFD, 0x0131},
      {1255, 0xA4, 0x20AA}, {1255, 0xE0, 0x05D0}, {1255, 0xFA, 0x05EA},
      {1255, 0xCA, 0x05BA}, {1255, 0xD9, 0xF88D},
      {1256, 0x81, 0x067E}, {1256, 0xC7, 0x0627}, {1256, 0xFF, 0x06D2},
      {1257, 0xA8, 0x00D8}, {1257, 0xC0, 0x0104}, {1257, 0xFF, 0x02D9},
      {1257, 0xA1, 0xF8FC},
      {1258, 0xC3, 0x0102}, {1258, 0xD0, 0x0110}, {1258, 0xDE, 0x0303},
      {1258, 0xEC, 0x0301}, {1258, 0xF5, 0x01A1},
      {874, 0xA1, 0x0E01}, {874, 0xDF, 0x0E3F}, {874, 0xFB, 0x0E5B},
      {874, 0xDB, 0xF8C1}, {874, 0x85, 0x2026},
      // Double-byte pages: single-byte characters, and a lone lead byte
      // as the page's default character.
      {932, 0xA1, 0xFF61}, {932, 0xDF, 0xFF9F}, {932, 0x80, 0x0080},
      {932, 0x81, 0x30FB}, {932, 0xE0, 0x30FB},
      {936, 0x80, 0x20AC}, {936, 0x81, 0x003F}, {936, 0xFE, 0x003F},
      {949, 0xB0, 0x003F}, {950, 0xA4, 0x003F}, {1361, 0x84, 0x003F},
      {1361, 0x83, 0x0083},
      // The symbol page moves every character from the blank on.
      {FONT_CP_SYMBOL, 'A', 0xF041}, {FONT_CP_SYMBOL, 0x20, 0xF020},
      {FONT_CP_SYMBOL, 0xFF, 0xF0FF}, {FONT_CP_SYMBOL, 0x1F, 0x001F},
      {FONT_CP_UTF8, 0xC3, 0xFFFD}, {FONT_CP_UTF8, 'z', 'z'},
  };
  for (const sample& s : samples)
    EXPECT_EQ(s.ch, font_code_page_char(s.cp, s.byte)) << s.cp << " byte " << (int)s.byte;
}

// Every single-byte page keeps ASCII, gives each byte a character of its
// own, and leaves a byte 0x80 to 0x9F that it does not define as the
// control character of that number.
TEST(CodePage, SingleBytePagesAreOneToOne) {
  const uint16_t pages[] = {874, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258};
  for (uint16_t cp : pages) {
    std::set<uint32_t> seen;
    for (int b = 0; b < 256; ++b) {
      const uint32_t ch = font_code_page_char(cp, (uint8_t)b);
      if (b < 0x80 || ch < 0xA0) {
        EXPECT_EQ((uint32_t)b, ch) << cp;
      }
      EXPECT_TRUE(seen.insert(ch).second) << cp << " byte " << b;
    }
  }
}

TEST(CodePage, CharsetsSelectPagesAndBits) {
  font_charset_info info;
  ASSERT_TRUE(font_charset_lookup(161, &info));
  EXPECT_EQ(1253, info.code_page);
  EXPECT_EQ(1u << 3, info.bit);
  ASSERT_TRUE(font_charset_lookup(222, &info));
  EXPECT_EQ(874, info.code_page);
  ASSERT_TRUE(font_charset_lookup(2, &info));
  EXPECT_EQ(FONT_CP_SYMBOL, info.code_page);
  EXPECT_EQ(FONT_CPBIT_SYMBOL, info.bit);
  // The default and OEM sets, and numbers that are no set, have none.
  EXPECT_FALSE(font_charset_lookup(1, &info));
  EXPECT_FALSE(font_charset_lookup(255, &info));
  EXPECT_FALSE(font_charset_lookup(77, &info));
  // The lowest bit that stands for a set decides.
  ASSERT_TRUE(font_charset_of_bits((1u << 2) | (1u << 3), &info));
  EXPECT_EQ(204, info.charset);
  ASSERT_TRUE(font_charset_of_bits((1u << 9) | FONT_CPBIT_SYMBOL, &info));
  EXPECT_EQ(2, info.charset);
  EXPECT_FALSE(font_charset_of_bits(1u << 9, &info));
}

}  // namespace
