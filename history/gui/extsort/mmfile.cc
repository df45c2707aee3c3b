#include "history/gui/extsort/mmfile.h"


#include "platform/plat.h"
#include "platform/plat_io.h"
#include "shared/gen_alloc.h"

namespace {

// The one place where a failure of the platform layer becomes a result
// code, from the kind of the call that just failed.  A directory, which
// Win32 refuses as access denied, counts as that everywhere.
int failure() {
  switch (plat_failure_kind()) {
    case PLAT_FAILURE_NOT_FOUND: return MMF_ENOENT;
    case PLAT_FAILURE_ACCESS: return MMF_EACCES;
    case PLAT_FAILURE_INVALID: return MMF_EINVAL;
    case PLAT_FAILURE_NO_SPACE: return MMF_ENOSPC;
    default: return MMF_FAIL;
  }
}

const uint32_t kValidFlags = MMF_WRITE | MMF_CREATE | MMF_TRUNCATE | MMF_GROW;

// Read once, the first time a view has to be made.
uint32_t g_granularity = 0;
uint32_t g_page_size = 0;

bool list_empty(const mmfile* f) { return f->views.next == &f->views; }

void link_front(mmfile* f, mmview* v) {
  v->next = f->views.next;
  v->prev = &f->views;
  f->views.next->prev = v;
  f->views.next = v;
}

void unlink_view(mmview* v) {
  v->prev->next = v->next;
  v->next->prev = v->prev;
}

mmfile* new_mmfile(uint32_t flags) {
  mmfile* f = (mmfile*)gen_calloc(1, sizeof *f);
  f->views.next = f->views.prev = &f->views;
  f->file = -1;
  f->flags = flags;
  return f;
}

// The bytes a cursor asks for at offset: a whole window where the file may
// grow or the window fits, otherwise the rest of the file.
uint32_t window_at(const mmcursor* c, uint64_t offset) {
  const mmfile* f = c->file;
  if (f->flags & MMF_GROW) return c->window;
  if (offset + c->window < f->size) return c->window;
  return offset < f->size ? (uint32_t)(f->size - offset) : 0;
}

}  // namespace

int mmfile_open(const char* path, uint32_t flags, uint32_t mode,
                mmfile** out) {
  if (out) *out = nullptr;
  if (!out || !path) return MMF_EINVAL;
  if ((flags & ~kValidFlags) != 0) return MMF_EINVAL;
  if ((flags & (MMF_CREATE | MMF_TRUNCATE | MMF_GROW)) && !(flags & MMF_WRITE))
    return MMF_EINVAL;
  int open_flags = 0;
  if (flags & MMF_WRITE) open_flags |= PLAT_OPEN_WRITE;
  if (flags & MMF_CREATE) open_flags |= PLAT_OPEN_CREATE;
  if (flags & MMF_TRUNCATE) open_flags |= PLAT_OPEN_TRUNCATE;
  // Win32 would make a file created without owner write read-only; there
  // the mapped files take no permission from mode at all.
  int fd = plat_open(path, open_flags,
                     PLAT_FILES_HAVE_PERMISSION_BITS ? mode : 0666);
  if (fd < 0) return failure();
  mmfile* f = new_mmfile(flags);
  f->file = fd;
  int writable = (flags & MMF_WRITE) != 0;
  // An empty file has no mapping: one of no bytes cannot exist.
  if (plat_io_size(fd, &f->size) != 0 ||
      (f->size != 0 &&
       plat_map_create(fd, writable, f->size, &f->mapping) != 0)) {
    int code = failure();
    plat_close(fd);
    gen_free(f);
    return code;
  }
  *out = f;
  return MMF_OK;
}

int mmfile_open_anonymous(uint32_t size_low, uint32_t size_high,
                          mmfile** out) {
  if (out) *out = nullptr;
  if (!out) return MMF_EINVAL;
  mmfile* f = new_mmfile(MMF_WRITE);
  f->size = ((uint64_t)size_high << 32) | size_low;
  if (f->size != 0) {
    if (plat_map_create_anonymous(f->size, &f->mapping) != 0) {
      int code = failure();
      gen_free(f);
      return code;
    }
  }
  *out = f;
  return MMF_OK;
}

int mmfile_set_size(mmfile* file, uint64_t size) {
  if (!file || !(file->flags & MMF_GROW) || size < file->size)
    return MMF_EINVAL;
  plat_map_handle mapping = 0;
  if (plat_map_create(file->file, 1, size, &mapping) != 0) return failure();
  // Views of the old mapping stay valid and keep showing the same bytes.
  if (file->mapping) plat_map_close_mapping(file->mapping);
  file->mapping = mapping;
  file->size = size;
  return MMF_OK;
}

int mmfile_map(mmfile* file, uint64_t offset, uint32_t length,
               int want_private, mmview** out) {
  if (out) *out = nullptr;
  if (!out || !file || length == 0) return MMF_EINVAL;
  bool grow = (file->flags & MMF_GROW) != 0;
  if (!grow) {
    if (offset > file->size || file->size - offset < length) return MMF_EINVAL;
    if (!file->mapping) return MMF_EINVAL;
  }
  if (!want_private) {
    for (mmview* v = file->views.next; v != &file->views; v = v->next) {
      if (v->offset <= offset && v->offset + v->length >= offset + length) {
        ++v->refs;
        *out = v;
        return MMF_OK;
      }
    }
  }
  if (g_granularity == 0) plat_map_system_info(&g_granularity, &g_page_size);

  uint64_t r = offset % g_granularity;
  offset -= r;
  uint64_t len = (uint64_t)length + r;
  len = (len + g_page_size - 1) / g_page_size * g_page_size;
  if (!grow && offset + len > file->size) len = file->size - offset;
  if (len > UINT32_MAX) return MMF_EINVAL;

  if (offset + len > file->size) {
    int code = mmfile_set_size(file, offset + len);
    if (code != MMF_OK) return code;
  } else if (!grow && offset >= file->size) {
    return MMF_FAIL;
  }
  void* base = nullptr;
  if (plat_map_view(file->mapping, (file->flags & MMF_WRITE) != 0, offset,
                    (uint32_t)len, &base) != 0)
    return failure();
  mmview* v = (mmview*)gen_calloc(1, sizeof *v);
  v->base = (uint8_t*)base;
  v->end = v->base + len;
  v->offset = offset;
  v->length = (uint32_t)len;
  v->refs = 1;
  link_front(file, v);
  *out = v;
  return MMF_OK;
}

int mmfile_unmap(mmfile* file, mmview* view) {
  if (!file || !view) return MMF_EINVAL;
  if (--view->refs > 0) return MMF_OK;
  int code = plat_map_unview(view->base, view->length) == 0 ? MMF_OK : failure();
  unlink_view(view);
  gen_free(view);
  return code;
}

int mmfile_flush(mmfile* file) {
  if (!file || file->file < 0) return MMF_EINVAL;
  for (mmview* v = file->views.next; v != &file->views; v = v->next) {
    if (!v->base) continue;
    if (plat_map_flush(v->base, v->length) != 0) return failure();
  }
  return MMF_OK;
}

int mmfile_close(mmfile* file) {
  if (!file) return MMF_EINVAL;
  if (!list_empty(file)) return MMF_FAIL;
  if (file->mapping) plat_map_close_mapping(file->mapping);
  if (file->file >= 0) plat_close(file->file);
  gen_free(file);
  return MMF_OK;
}

int mmcursor_create(mmfile* file, uint32_t record_size, mmcursor** out) {
  if (out) *out = nullptr;
  if (!out || !file || record_size == 0) return MMF_EINVAL;
  mmcursor* c = (mmcursor*)gen_calloc(1, sizeof *c);
  c->file = file;
  c->record_size = record_size;
  c->window = (record_size < 512 ? record_size : 512) * 2048;
  c->private_views = 1;
  *out = c;
  return MMF_OK;
}

int mmcursor_destroy(mmcursor* cursor) {
  if (!cursor) return MMF_EINVAL;
  if (cursor->view) mmfile_unmap(cursor->file, cursor->view);
  gen_free(cursor);
  return MMF_OK;
}

int mmcursor_next(mmcursor* c, uint8_t** out) {
  if (out) *out = nullptr;
  if (!out || !c) return MMF_EINVAL;
  uint64_t rs = c->record_size;
  if (!c->view) {
    int code = mmfile_map(c->file, 0, window_at(c, 0), c->private_views,
                          &c->view);
    if (code != MMF_OK) return code;
    c->position = 0;
  } else {
    c->position += c->record_size;
  }
  if (c->position + rs > c->view->length) {
    if (c->view->length < rs) return MMF_FAIL;
    uint64_t offset = c->view->offset + c->position;
    mmfile_unmap(c->file, c->view);
    c->view = nullptr;
    int code = mmfile_map(c->file, offset, window_at(c, offset),
                          c->private_views, &c->view);
    if (code != MMF_OK) return code;
    c->position = (uint32_t)(offset - c->view->offset);
    // What is left of the file is only part of a record.
    if (c->position + rs > c->view->length) return MMF_FAIL;
  }
  *out = c->view->base + c->position;
  return MMF_OK;
}

int mmcursor_seek(mmcursor* c, uint64_t index, uint8_t** out) {
  if (out) *out = nullptr;
  if (!out || !c) return MMF_EINVAL;
  uint64_t rs = c->record_size;
  if (index > UINT64_MAX / rs) return MMF_EINVAL;
  uint64_t offset = index * rs;
  const mmfile* f = c->file;
  if (!(f->flags & MMF_GROW) && (offset > f->size || f->size - offset < rs))
    return MMF_EINVAL;
  mmview* v = c->view;
  if (!v || v->offset > offset || offset + rs > v->offset + v->length) {
    if (v) mmfile_unmap(c->file, v);
    c->view = nullptr;
    int code = mmfile_map(c->file, offset, window_at(c, offset),
                          c->private_views, &c->view);
    if (code != MMF_OK) return code;
  }
  c->position = (uint32_t)(offset - c->view->offset);
  // A record longer than a window cannot be handed out whole.
  if (c->position + rs > c->view->length) return MMF_FAIL;
  *out = c->view->base + c->position;
  return MMF_OK;
}
