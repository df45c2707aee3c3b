// Draws glyph sets into a PNG sheet, so that a person can judge them: every
// code in a grid, a sample text, and the metrics of each set.
//
//   gfont_preview OUT.png --line FILE    the glyph sets of a fonts line
//   gfont_preview OUT.png DESCRIPTION... a "LOGFONT(...)" text or a face
//                                        list with ":size" for each
//   gfont_preview OUT.png --compare A B [--all] [--limit N]
//       two builds' sets side by side, set for set: A and B are each a
//       saved fonts line, the grid tool's output, or one byte form.  Each
//       pair gets the first build's grid of codes, the second's, and a
//       difference grid in which ink of the first build alone is red, of
//       the second alone blue, other coverage of both magenta, and cells
//       whose numbers differ are framed; a side without a set is drawn
//       empty.  Only differing pairs are drawn
//       unless --all; at most N pairs (16 by default).  A summary of every
//       pair goes to standard output.
//
// A developer tool: it is built natively and is no part of the program.
#include <png.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "history/gui/gfont/gfont.h"
#include "shared/gen_alloc.h"
#include "tools/gfont_sets.h"

namespace {

const int kScale = 3;
const int kMargin = 8;

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

// ---- Two builds side by side ---------------------------------------------

const uint8_t kWhite[4] = {255, 255, 255, 255};
const uint8_t kCell[4] = {236, 236, 244, 255};
const uint8_t kBaseline[4] = {255, 200, 200, 255};
const uint8_t kAdvance[4] = {200, 230, 200, 255};
const uint8_t kFrame[4] = {255, 150, 0, 255};
const uint8_t kTitle[4] = {40, 40, 160, 255};

// The coverage of a set's pixel at (column, row of the cell), 0 outside.
int coverage(const raw_set& s, int c, int col, int row) {
  const raw_glyph& g = s.glyphs[c];
  if (col < 0 || col >= g.width || row < 0 || row >= s.ascent + s.descent) return 0;
  return s.bytes[g.pixels + (size_t)row * g.width + col];
}

bool numbers_differ(const raw_set& a, const raw_set& b, int c) {
  const raw_glyph& x = a.glyphs[c];
  const raw_glyph& y = b.glyphs[c];
  return x.pad_left != y.pad_left || x.pad_right != y.pad_right || x.width != y.width ||
         x.advance != y.advance;
}

// The room a code's cell needs: left of the origin, right of it, above
// and below the baseline.
struct cell_room {
  int left = 0, right = 1, up = 1, down = 0;
};

void widen(cell_room* r, const raw_set& s) {
  r->up = std::max(r->up, s.ascent);
  r->down = std::max(r->down, s.descent);
  for (int c = 0; c < 256; ++c) {
    const raw_glyph& g = s.glyphs[c];
    r->left = std::max(r->left, -g.pad_left);
    r->right = std::max(r->right, std::max(g.advance, g.pad_left + g.width));
  }
}

// Paints one grid of 256 cells at (x, y); which: 0 the first set, 1 the
// second, 2 their difference.
void paint_grid(canvas* cv, int x, int y, const cell_room& room, const raw_set& a,
                const raw_set& b, int which) {
  const int cw = room.left + room.right + 4, ch = room.up + room.down + 4;
  for (int c = 0; c < 256; ++c) {
    const int x0 = x + (c % 16) * cw, y0 = y + (c / 16) * ch;
    const int ox = x0 + 2 + room.left, base = y0 + 2 + room.up;
    cv->fill(x0 + 1, y0 + 1, cw - 2, ch - 2, numbers_differ(a, b, c) ? kFrame : kCell);
    cv->fill(x0 + 2, y0 + 2, cw - 4, ch - 4, kWhite);
    cv->fill(x0 + 2, base, cw - 4, 1, kBaseline);
    const raw_set& own = which == 1 ? b : a;
    const int adv = own.glyphs[c].advance;
    if (adv > 0 && adv <= room.right) cv->fill(ox + adv, y0 + 2, 1, ch - 4, kAdvance);
    for (int py = y0 + 2; py < y0 + ch - 2; ++py) {
      for (int px = x0 + 2; px < x0 + cw - 2; ++px) {
        // Each set's pixels sit on its own baseline and its own origin.
        int va = coverage(a, c, px - ox - a.glyphs[c].pad_left, py - base + a.ascent);
        int vb = coverage(b, c, px - ox - b.glyphs[c].pad_left, py - base + b.ascent);
        uint8_t col[4] = {255, 255, 255, 255};
        if (which < 2) {
          int v = which == 0 ? va : vb;
          if (!v) continue;
          col[0] = col[1] = col[2] = (uint8_t)(255 - v);
        } else if (va == vb) {
          if (!va) continue;
          col[0] = col[1] = col[2] = (uint8_t)(255 - va / 3);  // alike: pale grey
        } else if (!vb) {
          col[1] = col[2] = (uint8_t)(255 - va);  // the first build alone: red
        } else if (!va) {
          col[0] = col[1] = (uint8_t)(255 - vb);  // the second alone: blue
        } else {
          col[1] = 40;  // both, with other coverage: magenta
          col[0] = col[2] = 230;
        }
        cv->fill(px, py, 1, 1, col);
      }
    }
  }
}

int compare_sheet(const char* out_path, const char* path_a, const char* path_b, bool all,
                  int limit) {
  std::vector<raw_set> a, b;
  std::string error;
  if (!sets_read_file(path_a, &a, &error) || !sets_read_file(path_b, &b, &error)) {
    fprintf(stderr, "gfont_preview: %s\n", error.c_str());
    return 1;
  }
  // Pairs by description where both are grid outputs; else in order.
  std::vector<std::pair<size_t, size_t>> pairs;
  for (size_t i = 0; i < a.size(); ++i) {
    size_t j = i;
    for (size_t k = 0; k < b.size(); ++k)
      if (b[k].label == a[i].label) j = k;
    if (j < b.size()) pairs.push_back({i, j});
  }
  gfont* label = gfont_choose("[SANS],sans-serif,monospace", 13);
  if (!label) {
    fprintf(stderr, "gfont_preview: no font for the titles\n");
    return 1;
  }
  std::vector<std::pair<size_t, size_t>> drawn;
  std::vector<std::string> titles;
  int identical = 0;
  for (const std::pair<size_t, size_t>& p : pairs) {
    const raw_set& x = a[p.first];
    const raw_set& y = b[p.second];
    set_difference d = sets_compare(x, y);
    identical += d.identical;
    std::string line = x.label + ": " + sets_describe(d, x, y);
    printf("%s\n", line.c_str());
    // A side without a set is drawn empty beside the other.
    if ((all || !d.identical) && (x.ok || y.ok) && (int)drawn.size() < limit) {
      drawn.push_back(p);
      titles.push_back(line);
    }
  }
  printf("%d of %zu pairs identical; %zu drawn\n", identical, pairs.size(), drawn.size());
  // Two passes: measure, then paint.
  canvas cv;
  const std::string legend = std::string("left: ") + path_a + "   middle: " + path_b +
                             "   right: red the left alone, blue the middle alone, "
                             "magenta other coverage; orange frame: numbers differ";
  for (int paint = 0; paint < 2; ++paint) {
    int y = kMargin, width = 0;
    gfont_text_metrics lm;
    gfont_measure_text(label, legend.c_str(), &lm);
    if (paint) cv.text(label, kMargin, y, legend, kTitle);
    width = lm.width + 2 * kMargin;
    y += lm.height + kMargin;
    for (size_t i = 0; i < drawn.size(); ++i) {
      const raw_set& x = a[drawn[i].first];
      const raw_set& z = b[drawn[i].second];
      gfont_text_metrics m;
      gfont_measure_text(label, titles[i].c_str(), &m);
      if (paint) cv.text(label, kMargin, y, titles[i], kTitle);
      width = std::max(width, m.width + 2 * kMargin);
      y += m.height + 4;
      cell_room room;
      widen(&room, x);
      widen(&room, z);
      const int gw = 16 * (room.left + room.right + 4), gh = 16 * (room.up + room.down + 4);
      for (int which = 0; which < 3; ++which) {
        const int gx = kMargin + which * (gw + 2 * kMargin);
        if (paint) paint_grid(&cv, gx, y, room, x, z, which);
      }
      width = std::max(width, kMargin + 3 * (gw + 2 * kMargin));
      y += gh + 3 * kMargin;
    }
    if (!paint) cv.resize(std::max(width, 64), std::max(y, 32));
  }
  gfont_free(label);
  if (!write_png(out_path, cv)) {
    fprintf(stderr, "gfont_preview: cannot write %s\n", out_path);
    return 1;
  }
  return 0;
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
    fprintf(stderr, "usage: %s OUT.png --line FILE | --compare A B | DESCRIPTION...\n",
            argv[0]);
    return 2;
  }
  if (strcmp(argv[2], "--compare") == 0) {
    bool all = false;
    int limit = 16;
    std::vector<const char*> files;
    for (int i = 3; i < argc; ++i) {
      if (strcmp(argv[i], "--all") == 0) all = true;
      else if (strcmp(argv[i], "--limit") == 0 && i + 1 < argc) limit = atoi(argv[++i]);
      else files.push_back(argv[i]);
    }
    if (files.size() != 2) {
      fprintf(stderr, "usage: %s OUT.png --compare A B [--all] [--limit N]\n", argv[0]);
      return 2;
    }
    return compare_sheet(argv[1], files[0], files[1], all, limit);
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
      std::vector<uint8_t> bytes = sets_base64_decode(fields[fields.size() - 2 + i]);
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
