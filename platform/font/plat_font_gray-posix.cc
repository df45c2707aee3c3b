#include "platform/font/plat_font_gray-posix.h"

#include <limits.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

namespace {

// Positions are in 1/256 pixel; a cell is one pixel of one scanline.
const int kPixelBits = 8;
const int64_t kOnePixel = 1 << kPixelBits;

int32_t trunc_px(int64_t v) { return (int32_t)(v >> kPixelBits); }
int32_t fract_px(int64_t v) { return (int32_t)(v & (kOnePixel - 1)); }
int64_t upscale(FT_Pos v) { return (int64_t)v * (kOnePixel >> 6); }

// Cells wrap around as the engine's 32-bit integers do.
int32_t add_wrap(int32_t a, int32_t b) { return (int32_t)((uint32_t)a + (uint32_t)b); }
int32_t mul_wrap(int32_t a, int32_t b) { return (int32_t)((uint32_t)a * (uint32_t)b); }

struct cell {
  int32_t cover;  // signed height crossed, in 1/256 pixel
  int32_t area;   // twice the signed area left of the edges crossed
};

// One band of scanlines [min_ey, max_ey) with a cell for every column of
// [min_ex - 1, max_ex): edges left of the bitmap gather in its first
// column, which is never drawn but carries their cover along the row.
struct worker {
  int32_t min_ex, max_ex, min_ey, max_ey;
  int32_t columns;
  cell* cells;
  cell* current;  // the cell of the pen, or &outside
  cell outside;
  int64_t x, y;   // the pen
  plat_gray_arcs arcs;
};

void set_cell(worker* w, int32_t ex, int32_t ey) {
  if (ey < w->min_ey || ey >= w->max_ey || ex >= w->max_ex) {
    w->current = &w->outside;
    return;
  }
  if (ex < w->min_ex - 1) ex = w->min_ex - 1;
  w->current = &w->cells[(size_t)(ey - w->min_ey) * (size_t)w->columns +
                         (size_t)(ex - (w->min_ex - 1))];
}

void integrate(worker* w, int32_t dcover, int32_t twice_x) {
  w->current->cover = add_wrap(w->current->cover, dcover);
  w->current->area = add_wrap(w->current->area, mul_wrap(dcover, twice_x));
}

// n / d for 0 <= n < |d| * kOnePixel, by a reciprocal of d scaled by 2^32,
// rounded as the engine rounds it.
int64_t reciprocal(bool needed, int64_t d) { return needed ? (int64_t)0xFFFFFFFF / d : 0; }
int32_t divide(int64_t n, int64_t r) { return (int32_t)(((uint64_t)n * (uint64_t)r) >> 32); }

// Draws the edge from the pen to (to_x, to_y), cell by cell.
void render_line(worker* w, int64_t to_x, int64_t to_y) {
  int32_t ey1 = trunc_px(w->y), ey2 = trunc_px(to_y);
  if ((ey1 >= w->max_ey && ey2 >= w->max_ey) || (ey1 < w->min_ey && ey2 < w->min_ey)) {
    w->x = to_x;
    w->y = to_y;
    return;
  }
  int32_t ex1 = trunc_px(w->x), ex2 = trunc_px(to_x);
  int32_t fx1 = fract_px(w->x), fy1 = fract_px(w->y), fx2, fy2;
  const int64_t dx = to_x - w->x, dy = to_y - w->y;
  if (ex1 == ex2 && ey1 == ey2) {
    // Within one cell.
  } else if (dy == 0) {
    // A horizontal edge covers nothing; only the pen moves.
    set_cell(w, ex2, ey2);
    w->x = to_x;
    w->y = to_y;
    return;
  } else if (dx == 0) {
    if (dy > 0) {
      do {
        integrate(w, (int32_t)kOnePixel - fy1, fx1 * 2);
        fy1 = 0;
        set_cell(w, ex1, ++ey1);
      } while (ey1 != ey2);
    } else {
      do {
        integrate(w, -fy1, fx1 * 2);
        fy1 = (int32_t)kOnePixel;
        set_cell(w, ex1, --ey1);
      } while (ey1 != ey2);
    }
  } else {
    // prod says on which side, and where, the edge leaves the cell; it is
    // updated as the edge enters the next one.
    int64_t prod = dx * (int64_t)fy1 - dy * (int64_t)fx1;
    const int64_t rx = reciprocal(ex1 != ex2, dx), ry = reciprocal(ey1 != ey2, dy);
    do {
      if (prod - dx * kOnePixel > 0 && prod <= 0) {  // left
        fx2 = 0;
        fy2 = divide(-prod, -rx);
        prod -= dy * kOnePixel;
        integrate(w, fy2 - fy1, fx1 + fx2);
        fx1 = (int32_t)kOnePixel;
        fy1 = fy2;
        --ex1;
      } else if (prod - dx * kOnePixel + dy * kOnePixel > 0 &&
                 prod - dx * kOnePixel <= 0) {  // up
        prod -= dx * kOnePixel;
        fx2 = divide(-prod, ry);
        fy2 = (int32_t)kOnePixel;
        integrate(w, fy2 - fy1, fx1 + fx2);
        fx1 = fx2;
        fy1 = 0;
        ++ey1;
      } else if (prod + dy * kOnePixel >= 0 &&
                 prod - dx * kOnePixel + dy * kOnePixel <= 0) {  // right
        prod += dy * kOnePixel;
        fx2 = (int32_t)kOnePixel;
        fy2 = divide(prod, rx);
        integrate(w, fy2 - fy1, fx1 + fx2);
        fx1 = 0;
        fy1 = fy2;
        ++ex1;
      } else {  // down
        fx2 = divide(prod, -ry);
        fy2 = 0;
        prod += dx * kOnePixel;
        integrate(w, fy2 - fy1, fx1 + fx2);
        fx1 = fx2;
        fy1 = (int32_t)kOnePixel;
        --ey1;
      }
      set_cell(w, ex1, ey1);
    } while (ex1 != ex2 || ey1 != ey2);
  }
  fx2 = fract_px(to_x);
  fy2 = fract_px(to_y);
  integrate(w, fy2 - fy1, fx1 + fx2);
  w->x = to_x;
  w->y = to_y;
}

struct point {
  int64_t x, y;
};

// Whether every point of the curve lies above or every one below the band:
// then none of it is drawn, as its flattening lies within the same bounds.
bool beside_band(const worker* w, const point* p, int n) {
  bool above = true, below = true;
  for (int i = 0; i < n; ++i) {
    above = above && trunc_px(p[i].y) >= w->max_ey;
    below = below && trunc_px(p[i].y) < w->min_ey;
  }
  return above || below;
}

// Halves the arc base[0..2] (from its end back to its start) into
// base[0..4], the later half first, in one coordinate.
void split_conic_axis(int64_t point::*v, point* base) {
  base[4].*v = base[2].*v;
  const int64_t a = base[0].*v + base[1].*v;
  const int64_t b = base[1].*v + base[2].*v;
  base[3].*v = b >> 1;
  base[2].*v = (a + b) >> 2;
  base[1].*v = a >> 1;
}

void split_conic(point* base) {
  split_conic_axis(&point::x, base);
  split_conic_axis(&point::y, base);
}

int64_t abs64(int64_t v) { return v < 0 ? -v : v; }

void render_conic_bisect(worker* w, point* arc) {
  int64_t dx = abs64(arc[2].x + arc[0].x - 2 * arc[1].x);
  int64_t dy = abs64(arc[2].y + arc[0].y - 2 * arc[1].y);
  if (dx < dy) dx = dy;
  // Each bisection quarters the deviation from the chord, so the number
  // of pieces is known before the first.
  int draw = 1;
  while (dx > kOnePixel / 4) {
    dx >>= 2;
    draw <<= 1;
  }
  // Before each piece, split as often as the count has trailing zeros.
  do {
    int split = draw & -draw;
    while ((split >>= 1)) {
      split_conic(arc);
      arc += 2;
    }
    render_line(w, arc[0].x, arc[0].y);
    arc -= 2;
  } while (--draw);
}

int64_t shl(int64_t v, int n) { return (int64_t)((uint64_t)v << n); }

void render_conic_step(worker* w, const point* p) {
  const int64_t bx = p[1].x - p[0].x, by = p[1].y - p[0].y;
  const int64_t ax = p[2].x - p[1].x - bx, ay = p[2].y - p[1].y - by;
  int64_t d = abs64(ax) < abs64(ay) ? abs64(ay) : abs64(ax);
  if (d <= kOnePixel / 4) {
    render_line(w, p[2].x, p[2].y);
    return;
  }
  int shift = 0;
  do {
    d >>= 2;
    ++shift;
  } while (d > kOnePixel / 4);
  // Second differences, in 32.32 fixed point.
  const int64_t rx = shl(ax, 33 - 2 * shift), ry = shl(ay, 33 - 2 * shift);
  int64_t qx = shl(bx, 33 - shift) + shl(ax, 32 - 2 * shift);
  int64_t qy = shl(by, 33 - shift) + shl(ay, 32 - 2 * shift);
  int64_t px = shl(p[0].x, 32), py = shl(p[0].y, 32);
  for (uint32_t count = 1u << shift; count > 0; --count) {
    px += qx;
    py += qy;
    qx += rx;
    qy += ry;
    render_line(w, px >> 32, py >> 32);
  }
}

// Halves the cubic base[0..3] into base[0..6] as split_conic does.
void split_cubic_axis(int64_t point::*v, point* base) {
  base[6].*v = base[3].*v;
  int64_t a = base[0].*v + base[1].*v;
  const int64_t b = base[1].*v + base[2].*v;
  int64_t c = base[2].*v + base[3].*v;
  base[5].*v = c >> 1;
  c += b;
  base[4].*v = c >> 2;
  base[1].*v = a >> 1;
  a += b;
  base[2].*v = a >> 2;
  base[3].*v = (a + c) >> 3;
}

void split_cubic(point* base) {
  split_cubic_axis(&point::x, base);
  split_cubic_axis(&point::y, base);
}

// Splits until the control points lie within half a pixel of the chord's
// trisection points.
void render_cubic(worker* w, point* stack) {
  point* arc = stack;
  for (;;) {
    if (abs64(2 * arc[0].x - 3 * arc[1].x + arc[3].x) > kOnePixel / 2 ||
        abs64(2 * arc[0].y - 3 * arc[1].y + arc[3].y) > kOnePixel / 2 ||
        abs64(arc[0].x - 3 * arc[2].x + 2 * arc[3].x) > kOnePixel / 2 ||
        abs64(arc[0].y - 3 * arc[2].y + 2 * arc[3].y) > kOnePixel / 2) {
      split_cubic(arc);
      arc += 3;
      continue;
    }
    render_line(w, arc[0].x, arc[0].y);
    if (arc == stack) return;
    arc -= 3;
  }
}

int move_to(const FT_Vector* to, void* user) {
  worker* w = (worker*)user;
  w->x = upscale(to->x);
  w->y = upscale(to->y);
  set_cell(w, trunc_px(w->x), trunc_px(w->y));
  return 0;
}

int line_to(const FT_Vector* to, void* user) {
  render_line((worker*)user, upscale(to->x), upscale(to->y));
  return 0;
}

int conic_to(const FT_Vector* control, const FT_Vector* to, void* user) {
  worker* w = (worker*)user;
  // Kept from the end back to the start, with room for the bisections.
  point arc[16 * 2 + 1];
  arc[0] = {upscale(to->x), upscale(to->y)};
  arc[1] = {upscale(control->x), upscale(control->y)};
  arc[2] = {w->x, w->y};
  if (beside_band(w, arc, 3)) {
    w->x = arc[0].x;
    w->y = arc[0].y;
  } else if (w->arcs == PLAT_GRAY_BISECT) {
    render_conic_bisect(w, arc);
  } else {
    const point p[3] = {arc[2], arc[1], arc[0]};
    render_conic_step(w, p);
  }
  return 0;
}

int cubic_to(const FT_Vector* control1, const FT_Vector* control2, const FT_Vector* to,
             void* user) {
  worker* w = (worker*)user;
  point arc[16 * 3 + 1];
  arc[0] = {upscale(to->x), upscale(to->y)};
  arc[1] = {upscale(control2->x), upscale(control2->y)};
  arc[2] = {upscale(control1->x), upscale(control1->y)};
  arc[3] = {w->x, w->y};
  if (beside_band(w, arc, 4)) {
    w->x = arc[0].x;
    w->y = arc[0].y;
  } else {
    render_cubic(w, arc);
  }
  return 0;
}

// The coverage byte of an accumulated area under the fill rule: the
// non-zero rule clamps, the even-odd rule folds.
uint8_t coverage(int32_t area, bool even_odd) {
  int32_t c = area >> (kPixelBits * 2 + 1 - 8);
  if (even_odd) {
    if (c & 0x100) c = ~c;
    return (uint8_t)c;
  }
  if (c < 0) c = ~c;
  return (uint8_t)(c > 255 ? 255 : c);
}

// Writes the band's rows: each pixel's coverage from the cover carried in
// from the left and its own cell's area.
void sweep(const worker* w, const FT_Bitmap* bm, bool even_odd) {
  for (int32_t y = w->min_ey; y < w->max_ey; ++y) {
    // Row y counts up from the bottom of the bitmap.
    const int32_t row = bm->pitch > 0 ? (int32_t)bm->rows - 1 - y : y;
    uint8_t* line = bm->buffer + (ptrdiff_t)row * (bm->pitch > 0 ? bm->pitch : -bm->pitch);
    const cell* c = &w->cells[(size_t)(y - w->min_ey) * (size_t)w->columns];
    int32_t cover = 0;
    for (int32_t ex = w->min_ex - 1; ex < w->max_ex; ++ex, ++c) {
      cover = add_wrap(cover, mul_wrap(c->cover, (int32_t)kOnePixel * 2));
      const int32_t area = add_wrap(cover, -c->area);
      if (area != 0 && ex >= w->min_ex) line[ex] = coverage(area, even_odd);
    }
  }
}

}  // namespace

bool plat_gray_render(const FT_Outline* outline, const FT_Bitmap* bitmap,
                      plat_gray_arcs arcs) {
  if (!outline || !bitmap) return false;
  if (outline->n_points == 0 || outline->n_contours <= 0) return true;
  if (!outline->contours || !outline->points ||
      outline->n_points != outline->contours[outline->n_contours - 1] + 1)
    return false;
  if (!bitmap->width || !bitmap->rows) return true;
  if (!bitmap->buffer) return false;
  FT_BBox cbox;
  FT_Outline_Get_CBox(outline, &cbox);
  if (cbox.xMin < -0x1000000L || cbox.yMin < -0x1000000L || cbox.xMax > 0x1000000L ||
      cbox.yMax > 0x1000000L)
    return false;

  worker w;
  memset(&w, 0, sizeof w);
  w.min_ex = 0;
  w.max_ex = (int32_t)bitmap->width;
  w.columns = w.max_ex - w.min_ex + 1;
  w.arcs = arcs;
  // Bands of rows keep the cells to a few megabytes whatever the size;
  // where the outline is cut into bands changes no pixel.
  const size_t kMaxCells = (size_t)1 << 18;
  int32_t band = (int32_t)(kMaxCells / (size_t)w.columns);
  if (band < 1) band = 1;
  const int32_t rows = (int32_t)bitmap->rows;
  if (band > rows) band = rows;
  w.cells = (cell*)malloc((size_t)band * (size_t)w.columns * sizeof(cell));
  if (!w.cells) return false;
  FT_Outline_Funcs funcs;
  memset(&funcs, 0, sizeof funcs);
  funcs.move_to = move_to;
  funcs.line_to = line_to;
  funcs.conic_to = conic_to;
  funcs.cubic_to = cubic_to;
  const bool even_odd = (outline->flags & FT_OUTLINE_EVEN_ODD_FILL) != 0;
  bool ok = true;
  for (int32_t y = 0; ok && y < rows; y += band) {
    w.min_ey = y;
    w.max_ey = y + band < rows ? y + band : rows;
    memset(w.cells, 0, (size_t)(w.max_ey - w.min_ey) * (size_t)w.columns * sizeof(cell));
    w.current = &w.outside;
    ok = FT_Outline_Decompose(const_cast<FT_Outline*>(outline), &funcs, &w) == 0;
    if (ok) sweep(&w, bitmap, even_odd);
  }
  free(w.cells);
  return ok;
}
