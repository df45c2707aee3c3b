// Memory-mapped files walked through small windows, so that files far
// larger than a 32-bit address space can be read and written in place.
//
// An mmfile is one open file with the one mapping object over it; an mmview
// is one mapped window of it; an mmcursor walks the file as an array of
// fixed-size records and holds at most one window at a time.  Every view of
// one mmfile comes from its one mapping, so a write through any view is
// seen at once through every other view of the same bytes.  Nothing here
// prints: each call returns one of the codes below.
#ifndef XHISTORY_HISTORY_GUI_EXTSORT_MMFILE_H_
#define XHISTORY_HISTORY_GUI_EXTSORT_MMFILE_H_

#include <stdint.h>

#include "platform/plat_map.h"

// Open flags.  CREATE, TRUNCATE and GROW need WRITE.
enum {
  MMF_WRITE = 1,     // read and write; without it read-only
  MMF_CREATE = 2,    // create a missing file
  MMF_TRUNCATE = 4,  // empty the file on opening
  MMF_GROW = 8,      // views may reach past the end; the file grows to fit
};

// Result codes.
enum {
  MMF_OK = 0,
  MMF_FAIL = 1,    // other system failure; a partial record; views left
  MMF_EINVAL = 2,  // bad argument, range outside a file that may not grow
  MMF_ENOSPC = 3,
  MMF_EACCES = 4,
  MMF_ENOENT = 5,
};

struct mmview {
  uint8_t* base;
  uint8_t* end;     // base + length
  uint64_t offset;  // a multiple of the allocation granularity
  uint32_t length;
  int32_t refs;
  mmview* next;
  mmview* prev;
};

struct mmfile {
  int file;                 // descriptor; -1 for an anonymous mapping
  plat_map_handle mapping;  // 0 while the file is empty
  uint32_t flags;
  uint64_t size;
  // Head of the circular view list, most recently mapped first.
  mmview views;
};

struct mmcursor {
  mmfile* file;  // not owned
  mmview* view;  // held with one reference; null before the first move
  uint32_t record_size;
  uint32_t position;  // byte distance of the current record from view base
  uint32_t window;    // bytes asked for per mapping
  int private_views;
};

// mode is the POSIX permission of a file that the call creates (less the
// umask); a platform without permission bits does not use it, and the new
// file is an ordinary one.
int mmfile_open(const char* path, uint32_t flags, uint32_t mode,
                mmfile** out);
// A writable mmfile over memory that no named file backs; a size of 0
// leaves it without a mapping.
int mmfile_open_anonymous(uint32_t size_low, uint32_t size_high,
                          mmfile** out);
// Grows a file opened with MMF_GROW; an equal size remakes the mapping.
int mmfile_set_size(mmfile* file, uint64_t size);
// Maps [offset, offset + length).  File byte X is at base + (X - offset of
// the view).  With want_private 0 an existing view that covers the range
// is shared.
int mmfile_map(mmfile* file, uint64_t offset, uint32_t length,
               int want_private, mmview** out);
int mmfile_unmap(mmfile* file, mmview* view);
// Writes every view back; 2 for an anonymous mmfile.
int mmfile_flush(mmfile* file);
// Refuses (1) while any view is mapped.
int mmfile_close(mmfile* file);

int mmcursor_create(mmfile* file, uint32_t record_size, mmcursor** out);
int mmcursor_destroy(mmcursor* cursor);
// The next record (record 0 on the first call).  The address stays valid
// until the cursor moves again or is destroyed.
int mmcursor_next(mmcursor* cursor, uint8_t** out);
int mmcursor_seek(mmcursor* cursor, uint64_t index, uint8_t** out);

#endif  // XHISTORY_HISTORY_GUI_EXTSORT_MMFILE_H_
