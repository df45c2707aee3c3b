#include "history/gui/protocol.h"

#include <stdarg.h>
#include <stdio.h>

uint64_t request_uid = 0;

void emit_line(const char* tag, const char* format, ...) {
  printf("%s ", tag);
  if (request_uid != 0) printf("%llu ", (unsigned long long)request_uid);
  va_list ap;
  va_start(ap, format);
  vprintf(format, ap);
  va_end(ap);
  putchar('\n');
  fflush(stdout);
}
