// Font services through the Windows GDI.
#include "platform/plat_font.h"

#include <windows.h>

#include <stddef.h>
#include <stdlib.h>
#include <string.h>

// The catalogue's record is GDI's, byte for byte.
static_assert(sizeof(plat_logfont) == sizeof(LOGFONTA), "same size");
static_assert(offsetof(plat_logfont, lfWeight) == offsetof(LOGFONTA, lfWeight) &&
                  offsetof(plat_logfont, lfItalic) == offsetof(LOGFONTA, lfItalic) &&
                  offsetof(plat_logfont, lfPitchAndFamily) ==
                      offsetof(LOGFONTA, lfPitchAndFamily) &&
                  offsetof(plat_logfont, lfFaceName) == offsetof(LOGFONTA, lfFaceName),
              "same layout");

struct plat_screen {
  HDC dc;
};
struct plat_hfont {
  HFONT font;
};
struct plat_surface {
  HDC dc;
  HBITMAP bitmap;
  HGDIOBJ old_bitmap;
  HGDIOBJ old_font;
};

plat_screen* plat_screen_get() {
  HDC dc = GetDC(NULL);
  if (!dc) return nullptr;
  plat_screen* s = (plat_screen*)calloc(1, sizeof(plat_screen));
  if (!s) {
    ReleaseDC(NULL, dc);
    return nullptr;
  }
  s->dc = dc;
  return s;
}

void plat_screen_release(plat_screen* screen) {
  if (!screen) return;
  ReleaseDC(NULL, screen->dc);
  free(screen);
}

namespace {

struct enum_relay {
  plat_font_enum_fn fn;
  void* context;
  int last;
};

void copy_metrics(const TEXTMETRICA* tm, plat_text_metrics* out) {
  out->ascent = tm->tmAscent;
  out->descent = tm->tmDescent;
  out->max_char_width = tm->tmMaxCharWidth;
  out->default_char = (uint8_t)tm->tmDefaultChar;
  out->char_set = tm->tmCharSet;
}

int CALLBACK relay_proc(const LOGFONTA* lf, const TEXTMETRICA* tm,
                        DWORD font_type, LPARAM lparam) {
  enum_relay* r = (enum_relay*)lparam;
  plat_text_metrics m;
  copy_metrics(tm, &m);
  plat_logfont found;
  memcpy(&found, lf, sizeof found);
  r->last = r->fn(&found, &m, font_type, r->context);
  return r->last;
}

}  // namespace

int plat_font_enumerate(plat_screen* screen, const plat_logfont* query,
                        plat_font_enum_fn fn, void* context) {
  enum_relay r = {fn, context, 1};
  LOGFONTA lf;
  memcpy(&lf, query, sizeof lf);
  EnumFontFamiliesExA(screen->dc, &lf, (FONTENUMPROCA)relay_proc,
                      (LPARAM)&r, 0);
  return r.last;
}

// GDI passes over nothing that it would report.
void plat_font_set_notice(plat_font_notice_fn) {}

// GDI looks each name up in its own tables.
void plat_font_expect_faces(const char* const*, int) {}

plat_hfont* plat_font_create(const plat_logfont* logfont) {
  LOGFONTA lf;
  memcpy(&lf, logfont, sizeof lf);
  HFONT f = CreateFontIndirectA(&lf);
  if (!f) return nullptr;
  plat_hfont* h = (plat_hfont*)calloc(1, sizeof(plat_hfont));
  if (!h) {
    DeleteObject(f);
    return nullptr;
  }
  h->font = f;
  return h;
}

void plat_font_delete(plat_hfont* font) {
  if (!font) return;
  DeleteObject(font->font);
  free(font);
}

bool plat_font_metrics(plat_screen* screen, plat_hfont* font,
                       plat_text_metrics* out) {
  if (!SelectObject(screen->dc, font->font)) return false;
  TEXTMETRICA tm;
  memset(&tm, 0, sizeof tm);
  if (!GetTextMetricsA(screen->dc, &tm)) return false;
  copy_metrics(&tm, out);
  return true;
}

int32_t plat_font_char_advance(plat_screen* screen, plat_hfont*, uint8_t c) {
  char text[1] = {(char)c};
  SIZE size = {0, 0};
  if (!GetTextExtentPoint32A(screen->dc, text, 1, &size)) return 0;
  return size.cx;
}

plat_surface* plat_surface_create(plat_screen* screen, plat_hfont* font,
                                  int32_t width, int32_t height,
                                  uint8_t** pixels) {
  BITMAPINFO bi;
  memset(&bi, 0, sizeof bi);
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = -height;  // top-down: row 0 first in memory
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap =
      CreateDIBSection(screen->dc, &bi, DIB_RGB_COLORS, &bits, NULL, 0);
  if (!bitmap || !bits) {
    if (bitmap) DeleteObject(bitmap);
    return nullptr;
  }
  HDC dc = CreateCompatibleDC(screen->dc);
  if (!dc) {
    DeleteObject(bitmap);
    return nullptr;
  }
  plat_surface* s = (plat_surface*)calloc(1, sizeof(plat_surface));
  if (!s) {
    DeleteDC(dc);
    DeleteObject(bitmap);
    return nullptr;
  }
  s->dc = dc;
  s->bitmap = bitmap;
  s->old_bitmap = SelectObject(dc, bitmap);
  s->old_font = SelectObject(dc, font->font);
  SetTextColor(dc, RGB(255, 255, 255));
  SetBkColor(dc, RGB(0, 0, 0));
  SetTextAlign(dc, TA_LEFT | TA_TOP);
  *pixels = (uint8_t*)bits;
  return s;
}

bool plat_surface_draw_char(plat_surface* surface, int32_t x, int32_t y,
                            int32_t left, int32_t top, int32_t right,
                            int32_t bottom, uint8_t c) {
  RECT r = {left, top, right, bottom};
  char text[1] = {(char)c};
  // Clipped, so that ink outside the cell cannot reach a neighbouring cell.
  return ExtTextOutA(surface->dc, x, y, ETO_OPAQUE | ETO_CLIPPED, &r, text, 1,
                     NULL) != 0;
}

void plat_surface_flush(plat_surface*) { GdiFlush(); }

void plat_surface_delete(plat_surface* surface) {
  if (!surface) return;
  SelectObject(surface->dc, surface->old_font);
  SelectObject(surface->dc, surface->old_bitmap);
  DeleteDC(surface->dc);
  DeleteObject(surface->bitmap);
  free(surface);
}

bool plat_os_version(uint32_t* platform_id, uint32_t* major) {
  OSVERSIONINFOA v;
  memset(&v, 0, sizeof v);
  v.dwOSVersionInfoSize = sizeof v;  // 148 bytes
  if (!GetVersionExA(&v)) return false;
  *platform_id = v.dwPlatformId;
  *major = v.dwMajorVersion;
  return true;
}
