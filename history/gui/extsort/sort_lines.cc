#include "history/gui/extsort/sort_lines.h"

#include <stdio.h>

#include "shared/gen_alloc.h"

int sort_error_line(const char* name, const char* format, va_list args) {
  va_list again;
  va_copy(again, args);
  int len = vsnprintf(nullptr, 0, format, args);
  if (len < 0) len = 0;
  char* msg = (char*)gen_calloc((size_t)len + 1, 1);
  vsnprintf(msg, (size_t)len + 1, format, again);
  va_end(again);
  printf("%s_sort_error %s\n", name, msg);
  fflush(stdout);
  gen_free(msg);
  return 0;
}

void sort_progress_line(const char* name, double value) {
  printf("%s_sort_progress %f\n", name, (double)(float)value);
  fflush(stdout);
}

void sort_done_line(const char* name) {
  printf("%s_sort_done\n", name);
  fflush(stdout);
}
