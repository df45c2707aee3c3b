// A test-only program that drives the general library's fatal paths, which
// end the process and so can only be watched from outside.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "shared/gen_alloc.h"
#include "shared/gen_exit.h"
#include "shared/gen_file.h"
#include "shared/gen_init.h"
#include "shared/gen_path.h"
#include "shared/genout.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

#pragma GCC diagnostic ignored "-Wformat-security"
#pragma GCC diagnostic ignored "-Wformat-nonliteral"

static int g_second_code = 0;
static void exit_again() { gen_exit(g_second_code); }

static FILE* g_stream = nullptr;
static void close_during_exit() {
  fprintf(stderr, "gen_fclose during exit: %d\n", gen_fclose(g_stream));
}

static void* failing_calloc(size_t, size_t) { return nullptr; }

static void crash() {
  volatile int* volatile p = nullptr;
  *p = 1;
}

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const char* cmd = argv[1];
  if (strcmp(cmd, "assert-noinit") == 0) {
    gen_assert_fail("a == b", "some/module", 7, 0);
  }
#ifndef _WIN32
  if (strcmp(cmd, "init-in-removed-cwd") == 0 && argc == 3) {
    // The current directory vanishes before start-up reads it.
    if (rmdir(argv[2]) != 0) return 2;
    gen_init(argv[0], 0, 0);
    const char* v = getenv("QXR_RNE_DUMP_PATH");
    printf("%s\n", v ? v : "(unset)");
    return 0;
  }
#endif
  gen_init(argv[0], 0, 0);
  if (strcmp(cmd, "assert") == 0 && argc == 4) {
    const char* expr = strcmp(argv[2], "null") == 0 ? nullptr : argv[2];
    gen_assert_fail(expr, "history/gui/xhistory_fsutil", 123, atoi(argv[3]));
  }
  if (strcmp(cmd, "message") == 0 && argc == 4) {
    printf("before\n");  // must reach standard output ahead of the message
    gen_message(atoi(argv[2]), argv[3]);
    return 0;
  }
  if (strcmp(cmd, "perror-exit") == 0 && argc == 5) {
    errno = atoi(argv[3]);
    PERROR_EXIT(atoi(argv[2]), argv[4]);
  }
  if (strcmp(cmd, "fatal") == 0 && argc == 4) gen_fatal(atoi(argv[2]), argv[3]);
  if (strcmp(cmd, "calloc") == 0 && argc == 4) {
    size_t count = (size_t)strtoull(argv[2], nullptr, 0);
    size_t size = (size_t)strtoull(argv[3], nullptr, 0);
    void* p = gen_calloc(count, size);
    printf("%s\n", p ? "block" : "null");
    gen_free(p);
    return 0;
  }
  if (strcmp(cmd, "oom") == 0 && argc == 3) {
    gen_alloc_entry.calloc_fn = failing_calloc;
    gen_calloc(1, (size_t)strtoull(argv[2], nullptr, 0));
    return 0;
  }
  if (strcmp(cmd, "exit-twice") == 0 && argc == 4) {
    g_second_code = atoi(argv[3]);
    atexit(exit_again);
    gen_exit(atoi(argv[2]));
  }
  if (strcmp(cmd, "fclose-after-exit") == 0 && argc == 3) {
    g_stream = gen_fopen(argv[2], "wb");
    fputs("written", g_stream);
    atexit(close_during_exit);
    gen_exit(0);
  }
  if (strcmp(cmd, "crash") == 0) {
    printf("line before the crash\n");
    fflush(stdout);
    crash();
    return 0;
  }
#ifndef _WIN32
  if (strcmp(cmd, "mapped-file-cut-short") == 0 && argc == 3) {
    // A view of a file that is then cut short: touching the lost pages
    // raises SIGBUS.
    int fd = open(argv[2], O_RDWR | O_CREAT | O_TRUNC, 0600);
    long page = sysconf(_SC_PAGESIZE);
    if (fd < 0 || ftruncate(fd, 2 * page) != 0) return 2;
    volatile char* p = (volatile char*)mmap(nullptr, (size_t)(2 * page),
                                            PROT_READ | PROT_WRITE, MAP_SHARED,
                                            fd, 0);
    if ((void*)p == MAP_FAILED) return 2;
    p[page] = 1;
    if (truncate(argv[2], 0) != 0) return 2;
    printf("line before the fault\n");
    fflush(stdout);
    p[page] = 2;
    return 0;
  }
#endif
#ifdef _WIN32
  if (strcmp(cmd, "raise-exception") == 0) {
    // An exception that no signal stands for.
    RaiseException(0xE0001234u, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    return 0;
  }
#endif
  if (strcmp(cmd, "env") == 0 && argc == 3) {
    const char* v = getenv(argv[2]);
    printf("%s\n", v ? v : "(unset)");
    return 0;
  }
  if (strcmp(cmd, "fullpath") == 0 && argc == 3) {
    char* full = gen_fullpath(argv[2]);
    printf("%s\n", full);
    gen_free(full);
    return 0;
  }
  return 2;
}
