// Draws glyph sets into a PNG sheet, so that a person can judge them: every
// code in a grid, a sample text, and the metrics of each set.
//
//   gfont_preview OUT.png --line FILE    the glyph sets of a fonts line
//   gfont_preview OUT.png DESCRIPTION... a "LOGFONT(...)" text or a face
//                                        list with ":size" for each
//
// A developer tool: it is built natively and is no part of the program.
#include <png.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "history/gui/gfont/gfont.h"
#include "shared/gen_alloc.h"

namespace {

const int kScale = 3;
const int kMargin = 8;

std::vector<uint8_t> base64_decode(const std::string& text) {
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

struct canvas {
  int width = 0, height = 0;
  std::vector<uint8_t> px;  // RGBA
  void resize(int w, int h) {
    width = w;
    height = h;
    px.assign((size_t)w * h * 4, 255);
  }
  void fill(int x, int y, int w, int h, const uint8_t c[4]) {
    for (int r = y; r < y + h && r < height; ++r)
      for (int k = x; k < x + w && k < width; ++k)
        if (r >= 0 && k >= 0) memcpy(&px[((size_t)r * width + k) * 4], c, 4);
  }
  // Text through the glyph set itself: drawn into a scratch buffer on black,
  // then laid over the canvas by coverage.
  void text(const gfont* f, int x, int y, const std::string& s, const uint8_t c[4]) {
    gfont_text_metrics m;
    gfont_measure_text(f, s.c_str(), &m);
    int w = m.width + 8 + f->max_advance, h = m.height;
    if (w <= 0 || h <= 0) return;
    std::vector<uint8_t> buf((size_t)w * h * 4, 0);
    const uint8_t white[4] = {255, 255, 255, 255};
    gfont_draw_text(f, s.c_str(), white, buf.data(), w, h);
    for (int r = 0; r < h; ++r)
      for (int k = 0; k < w; ++k) {
        unsigned v = buf[((size_t)r * w + k) * 4];
        int X = x + k, Y = y + r;
        if (!v || X < 0 || Y < 0 || X >= width || Y >= height) continue;
        uint8_t* d = &px[((size_t)Y * width + X) * 4];
        for (int i = 0; i < 3; ++i) d[i] = (uint8_t)((c[i] * v + d[i] * (255 - v)) / 255);
      }
  }
};

std::string describe(const char* label, const gfont* f) {
  char buf[256];
  snprintf(buf, sizeof buf,
           "%s: ascent %d  descent %d  height %d  max top %d  max bottom %d  "
           "max advance %d  greyscale %d",
           label, f->ascent, f->descent, f->height, f->max_top, f->max_bottom,
           f->max_advance, f->greyscale);
  return buf;
}

const char* const kSample[] = {
    "The quick brown fox jumps over the lazy dog. 0123456789",
    "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG! (){}[]<>",
    "i=l|1 O0o,.;:'\"`~!@#$%^&*-_=+\\/?\tTab\xe4\xf6\xfc\xdf \x80 \x93quotes\x94",
};

// One section per glyph set: a title in the label font, the 16 x 16 grid
// of codes with the cell and baseline marked, and the sample.
int layout(canvas* cv, const gfont* label, const std::vector<const gfont*>& sets,
           const std::vector<std::string>& names, bool paint) {
  const uint8_t ink[4] = {0, 0, 0, 255};
  const uint8_t cell[4] = {236, 236, 244, 255};
  const uint8_t base[4] = {255, 190, 190, 255};
  const uint8_t head[4] = {40, 40, 160, 255};
  int y = kMargin, width = 0;
  for (size_t i = 0; i < sets.size(); ++i) {
    const gfont* f = sets[i];
    std::string title = describe(names[i].c_str(), f);
    gfont_text_metrics m;
    gfont_measure_text(label, title.c_str(), &m);
    if (paint) cv->text(label, kMargin, y, title, head);
    width = std::max(width, m.width + 2 * kMargin);
    y += m.height + 4;
    int cw = std::max(f->max_advance, 1) + 4, ch = std::max(f->height, 1) + 4;
    for (int c = 0; c < 256; ++c) {
      int x0 = kMargin + (c % 16) * cw, y0 = y + (c / 16) * ch;
      if (paint) {
        cv->fill(x0 + 1, y0 + 1, cw - 2, ch - 2, cell);
        cv->fill(x0 + 1, y0 + 2 + f->ascent, cw - 2, 1, base);
        if (c != 0 && c != 9 && c != 10 && c != 13) {
          char s[2] = {(char)c, 0};
          cv->text(f, x0 + 2, y0 + 2, s, ink);
        }
      }
    }
    width = std::max(width, 2 * kMargin + 16 * cw);
    y += 16 * ch + 4;
    for (const char* s : kSample) {
      gfont_measure_text(f, s, &m);
      if (paint) cv->text(f, kMargin, y, s, ink);
      width = std::max(width, m.width + 2 * kMargin + f->max_advance);
      y += std::max(m.height, 1) + 2;
    }
    y += 2 * kMargin;
  }
  if (!paint) cv->resize(width, y);
  return y;
}

bool write_png(const char* path, const canvas& cv) {
  FILE* f = fopen(path, "wb");
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    fclose(f);
    return false;
  }
  png_init_io(png, f);
  int w = cv.width * kScale, h = cv.height * kScale;
  png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<uint8_t> row((size_t)w * 4);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x)
      memcpy(&row[(size_t)x * 4], &cv.px[((size_t)(y / kScale) * cv.width + x / kScale) * 4], 4);
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return fclose(f) == 0;
}

gfont* resolve(const char* description) {
  std::string text = description;
  gfont* g = gfont_from_text(text.c_str());
  if (g) return g;
  size_t colon = text.find(':');
  if (colon == std::string::npos) return nullptr;
  int size = atoi(text.c_str() + colon + 1);
  return gfont_choose(text.substr(0, colon).c_str(), size);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: %s OUT.png --line FILE | DESCRIPTION...\n", argv[0]);
    return 2;
  }
  std::vector<const gfont*> sets;
  std::vector<std::string> names;
  if (strcmp(argv[2], "--line") == 0 && argc > 3) {
    FILE* f = fopen(argv[3], "rb");
    if (!f) {
      perror(argv[3]);
      return 1;
    }
    std::string line;
    int ch;
    while ((ch = fgetc(f)) != EOF) line += (char)ch;
    fclose(f);
    // "fonts [uid ] MONO SANS": the last two fields.
    std::vector<std::string> fields;
    size_t at = 0;
    while (at < line.size()) {
      size_t end = line.find_first_of(" \r\n", at);
      if (end == std::string::npos) end = line.size();
      if (end > at) fields.push_back(line.substr(at, end - at));
      at = end + 1;
    }
    if (fields.size() < 3 || fields[0] != "fonts") {
      fprintf(stderr, "%s: not a fonts line\n", argv[3]);
      return 1;
    }
    const char* label[2] = {"monospaced", "sans-serif"};
    for (int i = 0; i < 2; ++i) {
      std::vector<uint8_t> bytes = base64_decode(fields[fields.size() - 2 + i]);
      gfont* g = gfont_deserialize(bytes.data(), bytes.size());
      if (!g) {
        fprintf(stderr, "%s: glyph set %d cannot be read\n", argv[3], i + 1);
        return 1;
      }
      sets.push_back(g);
      names.push_back(label[i]);
    }
  } else {
    for (int i = 2; i < argc; ++i) {
      gfont* g = resolve(argv[i]);
      if (!g) {
        fprintf(stderr, "%s: gives no font\n", argv[i]);
        return 1;
      }
      sets.push_back(g);
      names.push_back(argv[i]);
    }
  }
  // Titles in the last set (the sans-serif one of a fonts line).
  const gfont* label = sets.back();
  canvas cv;
  layout(&cv, label, sets, names, false);
  layout(&cv, label, sets, names, true);
  if (!write_png(argv[1], cv)) {
    fprintf(stderr, "%s: cannot write\n", argv[1]);
    return 1;
  }
  for (const gfont* g : sets) gfont_free((gfont*)g);
  return 0;
}
