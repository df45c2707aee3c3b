// Reading glyph sets back byte for byte, and comparing them (see
// gfont_sets.h).
#include "tools/gfont_sets.h"

#include <stdio.h>
#include <string.h>

namespace {

const size_t kHeader = 136;  // name, ascent, descent
const size_t kGlyphNumbers = 16;

int32_t le32(const uint8_t* p) {
  return (int32_t)((uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 |
                   (uint32_t)p[3] << 24);
}

bool read_whole(const char* path, std::string* out) {
  FILE* f = fopen(path, "rb");
  if (!f) return false;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) out->append(buf, n);
  bool ok = !ferror(f);
  fclose(f);
  return ok;
}

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    at = end + 1;
  }
  return lines;
}

raw_set from_base64(const std::string& label, const std::string& text) {
  raw_set s;
  s.label = label;
  if (text != "-") {
    s.bytes = sets_base64_decode(text);
    sets_parse(&s);
  }
  return s;
}

}  // namespace

std::vector<uint8_t> sets_base64_decode(const std::string& text) {
  std::vector<uint8_t> out;
  uint32_t acc = 0;
  int bits = 0;
  for (char ch : text) {
    int v;
    if (ch >= 'A' && ch <= 'Z') v = ch - 'A';
    else if (ch >= 'a' && ch <= 'z') v = ch - 'a' + 26;
    else if (ch >= '0' && ch <= '9') v = ch - '0' + 52;
    else if (ch == '+') v = 62;
    else if (ch == '/') v = 63;
    else continue;
    acc = acc << 6 | (uint32_t)v;
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back((uint8_t)(acc >> bits));
    }
  }
  return out;
}

bool sets_parse(raw_set* s) {
  s->ok = false;
  const std::vector<uint8_t>& b = s->bytes;
  if (b.size() < kHeader) return false;
  s->ascent = le32(&b[128]);
  s->descent = le32(&b[132]);
  const int64_t height = (int64_t)s->ascent + s->descent;
  if (s->ascent < 0 || s->descent < 0) return false;
  size_t at = kHeader;
  for (int c = 0; c < 256; ++c) {
    if (b.size() - at < kGlyphNumbers) return false;
    raw_glyph* g = &s->glyphs[c];
    g->pad_left = le32(&b[at]);
    g->pad_right = le32(&b[at + 4]);
    g->width = le32(&b[at + 8]);
    g->advance = le32(&b[at + 12]);
    at += kGlyphNumbers;
    if (g->width < 0) return false;
    const uint64_t n = (uint64_t)g->width * (uint64_t)height;
    if (n > b.size() - at) return false;
    g->pixels = at;
    at += (size_t)n;
  }
  s->ok = at == b.size();
  return s->ok;
}

bool sets_read_file(const char* path, std::vector<raw_set>* out,
                    std::string* error) {
  std::string text;
  if (!read_whole(path, &text)) {
    *error = std::string(path) + ": cannot be read";
    return false;
  }
  if (text.compare(0, 6, "fonts ") == 0) {
    // "fonts [uid ] MONO SANS": the last two fields.
    std::vector<std::string> fields;
    size_t at = 0;
    while (at < text.size()) {
      size_t end = text.find_first_of(" \r\n", at);
      if (end == std::string::npos) end = text.size();
      if (end > at) fields.push_back(text.substr(at, end - at));
      at = end + 1;
    }
    if (fields.size() < 3) {
      *error = std::string(path) + ": a fonts line without two glyph sets";
      return false;
    }
    out->push_back(from_base64("monospaced", fields[fields.size() - 2]));
    out->push_back(from_base64("sans-serif", fields[fields.size() - 1]));
    return true;
  }
  // The grid tool's lines hold a tab; a byte form starts with a name of
  // 128 bytes that this program leaves all zero.
  if (text.find('\t') != std::string::npos && text.find('\0') == std::string::npos) {
    for (const std::string& line : split_lines(text)) {
      if (line.empty() || line[0] == '#') continue;
      size_t tab = line.rfind('\t');
      if (tab == std::string::npos) continue;
      out->push_back(from_base64(line.substr(0, tab), line.substr(tab + 1)));
    }
    return true;
  }
  raw_set s;
  s.label = path;
  s.bytes.assign(text.begin(), text.end());
  sets_parse(&s);
  out->push_back(s);
  return true;
}

set_difference sets_compare(const raw_set& a, const raw_set& b) {
  set_difference d;
  if (a.bytes == b.bytes) {
    d.identical = true;
    return d;
  }
  if (!a.ok || !b.ok) return d;
  d.metrics = a.ascent != b.ascent || a.descent != b.descent;
  for (int c = 0; c < 256; ++c) {
    const raw_glyph& ga = a.glyphs[c];
    const raw_glyph& gb = b.glyphs[c];
    if (ga.advance != gb.advance) {
      ++d.advances;
    } else if (ga.pad_left != gb.pad_left || ga.width != gb.width ||
               ga.pad_right != gb.pad_right || d.metrics) {
      // With other ascents the rows mean other places: a box difference.
      if (ga.width || gb.width) ++d.boxes;
    } else {
      const size_t n = (size_t)ga.width * (size_t)(a.ascent + a.descent);
      int differing = 0;
      for (size_t i = 0; i < n; ++i)
        differing += a.bytes[ga.pixels + i] != b.bytes[gb.pixels + i];
      if (differing) {
        ++d.pixel_codes;
        d.pixels += differing;
      }
    }
  }
  return d;
}

std::string sets_describe(const set_difference& d, const raw_set& a,
                          const raw_set& b) {
  if (d.identical) return "identical";
  if (!a.ok || !b.ok) return std::string(a.ok ? "" : "first set missing or unreadable ") +
                             (b.ok ? "" : "second set missing or unreadable");
  char buf[256];
  std::string s;
  if (d.metrics) {
    snprintf(buf, sizeof buf, "ascent %d/%d descent %d/%d, ", a.ascent, b.ascent,
             a.descent, b.descent);
    s += buf;
  }
  snprintf(buf, sizeof buf, "advances %d, ink boxes %d, pixels %d in %d codes",
           d.advances, d.boxes, d.pixels, d.pixel_codes);
  return s + buf;
}
