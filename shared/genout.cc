#include "shared/genout.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include "shared/gen_exit.h"
#include "shared/gen_progname.h"

static const char* const prefixes[7] = {
    nullptr, "disaster", "fatal", "error", "warning", "info", nullptr,
};

static void default_message(int level, const char* format, va_list args) {
  bool with_errno = false;
  if (level > GEN_LEVEL_WITH_ERRNO) {
    level -= GEN_LEVEL_WITH_ERRNO;
    with_errno = true;
  }
  const char* name = (level >= 0 && level < 7) ? prefixes[level] : nullptr;
  // Take errno before any output can change it.
  int err = errno;

  fflush(stdout);
  const char* prog = gen_progname();
  if (prog && prog[0]) fprintf(stderr, "%s: ", prog);
  if (name) fprintf(stderr, "%s: ", name);
  vfprintf(stderr, format, args);
  if (with_errno && err != 0) {
    fprintf(stderr, ": %s\n", strerror(err));
    errno = 0;
    fflush(stderr);
    return;
  }
  size_t n = strlen(format);
  if (n == 0 || format[n - 1] != '\n') fputc('\n', stderr);
  fflush(stderr);
}

void (*gen_message_entry)(int, const char*, va_list) = default_message;

void gen_vmessage(int level, const char* format, va_list args) {
  gen_message_entry(level, format, args);
}

void gen_message(int level, const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  gen_vmessage(level, format, ap);
  va_end(ap);
}

#define GEN_FORWARD(level)      \
  va_list ap;                   \
  va_start(ap, format);         \
  gen_vmessage(level, format, ap); \
  va_end(ap)

void gen_error(const char* format, ...) { GEN_FORWARD(GEN_LEVEL_ERROR); }
void gen_warning(const char* format, ...) { GEN_FORWARD(GEN_LEVEL_WARNING); }
void gen_info(const char* format, ...) { GEN_FORWARD(GEN_LEVEL_INFO); }
void gen_perror(const char* format, ...) {
  GEN_FORWARD(GEN_LEVEL_WITH_ERRNO + GEN_LEVEL_FATAL);
}

void gen_fatal(int code, const char* format, ...) {
  GEN_FORWARD(code == 0 ? GEN_LEVEL_NONE : GEN_LEVEL_FATAL);
  gen_exit(code);
}

void gen_perror_exit(int code, const char* format, ...) {
  GEN_FORWARD(GEN_LEVEL_WITH_ERRNO + GEN_LEVEL_FATAL);
  gen_exit(code);
}

void gen_assert_fail(const char* expr, const char* module, int line,
                     int32_t extra) {
  fflush(stdout);
  fputs("Assertion ", stderr);
  if (expr && strcmp(expr, "x") != 0) fprintf(stderr, "(%s) ", expr);
  if (extra != 0) fprintf(stderr, "[%d] ", (int)extra);
  fprintf(stderr, "failed in '%s' on line %d", module, line);
  const char* prog = gen_progname();
  if (prog && prog[0]) fprintf(stderr, " in %s", prog);
  fputc('\n', stderr);
  fflush(stderr);
  gen_exit(1);
}
