// Messages on the diagnostic stream, assertions and fatal endings.
//
// Every routine here flushes standard output first, so that protocol lines
// written before a failure reach the reader ahead of the diagnostic.
#ifndef XHISTORY_SHARED_GENOUT_H_
#define XHISTORY_SHARED_GENOUT_H_

#include <stdarg.h>
#include <stdint.h>

// Message levels.  A level above 100 means (level - 100) with the text of
// errno appended.
enum {
  GEN_LEVEL_NONE = 0,
  GEN_LEVEL_DISASTER = 1,
  GEN_LEVEL_FATAL = 2,
  GEN_LEVEL_ERROR = 3,
  GEN_LEVEL_WARNING = 4,
  GEN_LEVEL_INFO = 5,
  GEN_LEVEL_WITH_ERRNO = 100,
};

// The printf dialect the build formats with (XH_PRINTF_STYLE, set by the
// build: the Win32 runtime's C99 printf is what gcc calls gnu_printf).
#define GEN_PRINTF(f, a) __attribute__((format(XH_PRINTF_STYLE, f, a)))

// Writes "progname: level: text" to standard error.  A newline is added
// unless the format itself ends with one.
void gen_message(int level, const char* format, ...) GEN_PRINTF(2, 3);
void gen_vmessage(int level, const char* format, va_list args);
// The message entry point that gen_message calls through.
extern void (*gen_message_entry)(int level, const char* format, va_list args);

void gen_error(const char* format, ...) GEN_PRINTF(1, 2);
void gen_warning(const char* format, ...) GEN_PRINTF(1, 2);
void gen_info(const char* format, ...) GEN_PRINTF(1, 2);
// A fatal-level message with the errno text; does not end the run.
void gen_perror(const char* format, ...) GEN_PRINTF(1, 2);

// A fatal-level message (no level name when code is 0), then gen_exit.
[[noreturn]] void gen_fatal(int code, const char* format, ...)
    GEN_PRINTF(2, 3);
// A fatal-level message with the errno text, then gen_exit(code).
[[noreturn]] void gen_perror_exit(int code, const char* format, ...)
    GEN_PRINTF(2, 3);
#define PERROR_EXIT(code, ...) gen_perror_exit((code), __VA_ARGS__)

// Writes the assertion line and ends the run with status 1.  expr may be
// null, and the one-letter text "x" suppresses it.
[[noreturn]] void gen_assert_fail(const char* expr, const char* module,
                                  int line, int32_t extra);

// ASSERT(condition, expression text, module, line, extra).  The module and
// line are given by the caller: they name the check, not this macro.
#define ASSERT(cond, expr, module, line, extra)           \
  do {                                                    \
    if (!(cond)) gen_assert_fail((expr), (module), (line), (extra)); \
  } while (0)

#endif  // XHISTORY_SHARED_GENOUT_H_
