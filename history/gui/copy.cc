#include "history/gui/copy.h"

#include <errno.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "history/gui/copy_progress.h"
#include "history/gui/protocol.h"
#include "history/gui/util/strutil/strutil.h"
#include "shared/gen_alloc.h"
#include "shared/gen_file.h"
#include "shared/gen_remove.h"

static const char kReadError[] = "Error reading from source file: %s\n%s";
static const char kWriteError[] = "Error writing to destination file: %s\n%s";

int64_t copy_report_period(int64_t size) {
  int64_t chunks = size / kCopyBufferSize;
  return chunks <= 200 ? 1 : chunks / 100;
}

int copy_percent(int64_t position, int64_t size) {
  int64_t pct = position * 100 / size;
  // A source that grew after it was measured would pass 100; the viewer
  // draws a bar from this number, so it never goes beyond full.
  if (pct > 100) pct = 100;
  return (int)(int32_t)pct;
}

// Writes copy_err with the message in its quoted form, so that the newline
// inside it and every backslash or percent sign of the path reach the
// viewer as they are.  errno must still be the failure's.
static void report_failure(const char* format, const char* path) {
  const char* reason = strerror(errno);
  size_t cap = strlen(format) + strlen(reason) + strlen(path) + 1;
  char* message = (char*)gen_calloc(cap, 1);
  snprintf(message, cap, format, reason, path);
  char* quoted = quote_string(message);
  emit_line("copy_err", "%s", quoted);
  gen_free(quoted);
  gen_free(message);
}

// A failure after the destination was created: report it and leave no
// partial file behind for the viewer to mistake for a copy.
static int abandon(int src, int dst, const char* format, const char* path,
                   const char* destination, char* buf) {
  report_failure(format, path);
  gen_close(dst);
  gen_close(src);
  gen_remove(destination);
  gen_free(buf);
  return -1;
}

int copy_file(const char* source, const char* destination) {
  // Two names of one file, by spelling or by identity (a hard link or a
  // symbolic link to the source): creating the destination would empty
  // the source before a byte was read, so there is nothing to do.
  if (gen_same_file(source, destination) ||
      gen_same_identity(source, destination)) {
    emit_line("copy_done", "%s", "");
    return 0;
  }

  errno = 0;
  int src = gen_open(source, GEN_O_RDONLY, 0);
  if (src < 0) {
    report_failure(kReadError, source);
    return -1;
  }
  int dst = gen_creat(destination, 0666);
  if (dst < 0) {
    report_failure(kWriteError, destination);
    gen_close(src);
    return -1;
  }

  int64_t size = gen_lseek64(src, 0, SEEK_END);
  char* buf = (char*)gen_calloc(kCopyBufferSize, 1);
  // A source left at its end would copy as nothing and still succeed.  (A
  // source that cannot seek at all, such as a pipe, never moved.)
  if (size >= 0 && gen_lseek64(src, 0, SEEK_SET) != 0)
    return abandon(src, dst, kReadError, source, destination, buf);

  // A line follows every period chunks of kCopyBufferSize bytes, a short
  // last chunk counting as one.  One call moves the rest of a period, so
  // that the kernel copies in as few calls as the lines allow; through the
  // buffer it still reads chunk by chunk.
  const int64_t group = copy_report_period(size) * (int64_t)kCopyBufferSize;
  int64_t in_group = 0;
  uint32_t state = 0;
  for (;;) {
    int64_t want = group - in_group;
    if (want > kCopyCallLimit) want = kCopyCallLimit;
    int64_t n = gen_copy(src, dst, buf, kCopyBufferSize, (size_t)want, &state);
    if (n == 0) break;
    if (n < 0) {
      if (gen_copy_write_failed(state))
        return abandon(src, dst, kWriteError, destination, destination, buf);
      return abandon(src, dst, kReadError, source, destination, buf);
    }
    in_group += n;
    if (in_group > group - kCopyBufferSize) {  // into the period's last chunk
      in_group = 0;
      // No percentage of a size measured as nothing, even if the source
      // has grown since, nor of a position that cannot be read.
      int64_t position = size > 0 ? gen_lseek64(src, 0, SEEK_CUR) : -1;
      if (position >= 0)
        emit_line("copy_pct", "%d", copy_percent(position, size));
    }
  }

  gen_free(buf);
  gen_close(src);
  // Some file systems report a failed write only when the file is closed.
  if (gen_close(dst) != 0) {
    report_failure(kWriteError, destination);
    gen_remove(destination);
    return -1;
  }
  emit_line("copy_done", "%s", "");
  return 0;
}
