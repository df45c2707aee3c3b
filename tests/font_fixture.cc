// Fonts for tests: configurations of the tests' own.
#include "tests/font_fixture.h"

#include <stdio.h>
#include <stdlib.h>

const char kDejaVuFolder[] = "/usr/share/fonts/truetype/dejavu";
const char kWineFontFolder[] = "/usr/share/wine/fonts";

std::string write_font_config(const temp_dir& dir, const std::vector<std::string>& folders,
                              const std::string& extra) {
  std::string text = "<?xml version=\"1.0\"?>\n<fontconfig>\n";
  for (const std::string& f : folders) text += "  <dir>" + f + "</dir>\n";
  text +=
      "  <cachedir>" + dir.file("fc-cache") + "</cachedir>\n"
      "  <match target=\"pattern\"><edit name=\"antialias\" mode=\"assign\">"
      "<bool>true</bool></edit></match>\n"
      "  <alias><family>monospace</family><prefer><family>DejaVu Sans Mono</family>"
      "</prefer></alias>\n"
      "  <alias><family>sans-serif</family><prefer><family>DejaVu Sans</family>"
      "</prefer></alias>\n"
      "  <alias><family>serif</family><prefer><family>DejaVu Serif</family>"
      "</prefer></alias>\n"
      "  <alias binding=\"same\"><family>Bitstream Vera Sans Mono</family>"
      "<accept><family>DejaVu Sans Mono</family></accept></alias>\n" +
      extra + "</fontconfig>\n";
  std::string path = dir.file("fonts.conf");
  return write_file(path, text) ? path : "";
}

bool have_font_file(const std::string& folder, const std::string& file) {
  std::string path = folder + "/" + file;
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return false;
  fclose(f);
  return true;
}

void use_test_fonts() {
#ifndef _WIN32
  // One configuration for the process, removed when it ends.
  static temp_dir dir;
  static const std::string conf = write_font_config(dir, {kDejaVuFolder, kWineFontFolder});
  setenv("FONTCONFIG_FILE", conf.c_str(), 1);
  unsetenv("XH_FONT_PATH");
#endif
}

int64_t font_file_size(const std::string& path) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return -1;
  int64_t n = 0;
  char buf[65536];
  size_t got;
  while ((got = fread(buf, 1, sizeof buf, f)) > 0) n += (int64_t)got;
  fclose(f);
  return n;
}

bool decode_base64(const std::string& text, std::string* out) {
  static const std::string kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  if (text.empty() || text.size() % 4) return false;
  out->clear();
  uint32_t acc = 0;
  int bits = 0, pad = 0;
  for (char c : text) {
    if (c == '=') {
      ++pad;
      continue;
    }
    size_t v = kAlphabet.find(c);
    if (v == std::string::npos || pad) return false;
    acc = acc << 6 | (uint32_t)v;
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out->push_back((char)(acc >> bits));
    }
  }
  return pad <= 2;
}

namespace {

int32_t le32(const std::string& b, size_t at) {
  return (int32_t)((uint8_t)b[at] | (uint8_t)b[at + 1] << 8 |
                   (uint8_t)b[at + 2] << 16 | (uint32_t)(uint8_t)b[at + 3] << 24);
}

}  // namespace

glyph_set read_glyph_set(const std::string& b64) {
  glyph_set s;
  if (!decode_base64(b64, &s.bytes) || s.bytes.size() < 4232) return s;
  s.ascent = le32(s.bytes, 128);
  s.descent = le32(s.bytes, 132);
  const int64_t h = s.height = (int64_t)s.ascent + s.descent;
  size_t at = 136;
  for (int c = 0; c < 256; ++c) {
    if (at + 16 > s.bytes.size()) return s;
    int32_t w = le32(s.bytes, at + 8);
    at += 16;
    if (w < 0 || h < 0 || at + (size_t)(w * h) > s.bytes.size()) return s;
    for (int64_t i = 0; i < w * h; ++i) {
      uint8_t v = (uint8_t)s.bytes[at + i];
      if (v != 0 && v != 255) s.greyscale = true;
    }
    s.widths += w;
    at += (size_t)(w * h);
  }
  s.consistent = at == s.bytes.size() && (int64_t)s.bytes.size() == 4232 + h * s.widths;
  s.real = s.consistent && h > 0 && s.widths > 0;
  return s;
}
