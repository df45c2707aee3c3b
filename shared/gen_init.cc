#include "shared/gen_init.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "platform/plat.h"
#include "shared/gen_alloc.h"
#include "shared/gen_exit.h"
#include "shared/gen_file.h"
#include "shared/gen_progname.h"
#include "shared/genout.h"

// The strings gen_progname hands out; owned here.
static char* g_progname = nullptr;
static char* g_progpath = nullptr;
static char* g_crash_dir = nullptr;

// ---- Invalid-parameter handler ------------------------------------------

static void on_invalid_parameter() {
  // Standard output, buffered and without a newline: the text lands after
  // whatever protocol lines were written before.
  printf("Fatal Error: Invalid Parameter in runtime libraries");
  exit(1);
}

// Installed before the entry point runs, so that it covers all of it.
static const int g_invalid_parameter_installed =
    (plat_set_invalid_parameter_handler(on_invalid_parameter), 1);

// ---- Names -------------------------------------------------------------

const char* gen_crash_dir() { return g_crash_dir; }

static bool is_letter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

static bool is_home_form(const char* p) {
  return p[0] == '~' && (p[1] == 0 || gen_is_separator(p[1]));
}

bool gen_is_absolute(const char* path) {
  if (!path || !path[0]) return false;
  return gen_is_separator(path[0]) || path[1] == ':' || is_home_form(path);
}

static void set_program_names(const char* path) {
  char* old_name = g_progname;
  char* old_path = g_progpath;
  g_progpath = gen_strdup(path);
  char* name = gen_strdup(gen_basename(path));
  char* dot = strrchr(name, '.');
  if (dot) *dot = 0;
  g_progname = name;
  // The old strings stay readable until the new ones are in place: a
  // message written while these are made still names the program.
  gen_set_program_names(g_progname, g_progpath);
  gen_free(old_name);
  gen_free(old_path);
}

// ---- Paths of the crash report -------------------------------------------

char* gen_normalize_path(const char* path) {
  if (!path) return nullptr;
  size_t len = strlen(path);
  char* out = (char*)gen_calloc(len + 2, 1);
  size_t o = 0, i = 0;
  // The prefix that ".." never folds away.
  if (is_letter(path[0]) && path[1] == ':') {
    out[o++] = path[0];
    out[o++] = ':';
    i = 2;
  }
  if (o == 0 && gen_is_separator(path[0]) && gen_is_separator(path[1]) &&
      !gen_is_separator(path[2])) {
    out[o++] = PLAT_SEPARATOR;  // a share name keeps its leading pair
    out[o++] = PLAT_SEPARATOR;
    i = 2;
  } else if (gen_is_separator(path[i])) {
    out[o++] = PLAT_SEPARATOR;
    while (gen_is_separator(path[i])) ++i;
  }
  size_t floor = o;
  bool need_sep = false;
  while (path[i]) {
    size_t start = i;
    while (path[i] && !gen_is_separator(path[i])) ++i;
    size_t n = i - start;
    while (gen_is_separator(path[i])) ++i;
    if (n == 1 && path[start] == '.') continue;
    if (n == 2 && path[start] == '.' && path[start + 1] == '.') {
      if (o > floor) {
        while (o > floor && !gen_is_separator(out[o - 1])) --o;
        if (o > floor) --o;
        need_sep = o > floor;
        continue;
      }
      if (floor > 0 && gen_is_separator(out[floor - 1])) continue;
    }
    if (need_sep) out[o++] = PLAT_SEPARATOR;
    memcpy(out + o, path + start, n);
    o += n;
    need_sep = true;
  }
  if (o == 0) out[o++] = '.';
  out[o] = 0;
  return out;
}

static bool is_url(const char* v) {
  const char* colon = strchr(v, ':');
  const char* slash = strchr(v, '/');
  return strstr(v, "://") && colon && slash == colon + 1;
}

char* gen_absolute_dir(const char* value, const char* cwd) {
  if (is_url(value)) return gen_strdup(value);
  char* joined;
  const char* home = plat_getenv("HOME");
  if (is_home_form(value) && home && home[0]) {
    size_t n = strlen(home) + strlen(value) + 1;
    joined = (char*)gen_calloc(n, 1);
    snprintf(joined, n, "%s%s", home, value + 1);
  } else if (!gen_is_absolute(value)) {
    size_t cl = strlen(cwd);
    size_t n = cl + strlen(value) + 2;
    joined = (char*)gen_calloc(n, 1);
    bool has_sep = cl > 0 && gen_is_separator(cwd[cl - 1]);
    snprintf(joined, n, "%s%s%s", cwd, has_sep ? "" : (PLAT_SEPARATOR == '/' ? "/" : "\\"),
             value);
  } else {
    joined = gen_strdup(value);
  }
  char* tidy = gen_normalize_path(joined);
  gen_free(joined);
  return tidy;
}

// A URL, and a "~" that HOME did not expand, name no local directory:
// made as folders they would land under the current directory.
static bool is_local_dir(const char* dir) {
  return !is_url(dir) && !is_home_form(dir);
}

// Creates dir and any missing parents.
static bool make_dirs(const char* dir) {
  if (!is_local_dir(dir)) return false;
  if (gen_is_directory(dir) == 1) return true;
  char* copy = gen_strdup(dir);
  size_t len = strlen(copy);
  for (size_t i = 1; i <= len; ++i) {
    if (copy[i] != 0 && !gen_is_separator(copy[i])) continue;
    char saved = copy[i];
    copy[i] = 0;
    if (!gen_is_root(copy, i) && gen_is_directory(copy) != 1)
      plat_mkdir(copy);
    copy[i] = saved;
  }
  gen_free(copy);
  return gen_is_directory(dir) == 1;
}

static void write_text(const char* text) {
  plat_write_all(2, text, strlen(text));
}

// Written piece by piece, without a buffer to outgrow or memory to
// allocate in a signal handler, so that a directory name of any length
// arrives whole with its line feed.
static void write_crash_report(const char* event) {
  if (!g_crash_dir || !make_dirs(g_crash_dir)) return;
  fflush(stdout);
  write_text("Program \"");
  write_text(g_progname ? g_progname : "N/A");
  write_text("\" has ");
  write_text(event ? event : "encountered an error");
  write_text(". RNE logs of this event are in ");
  write_text(g_crash_dir);
  write_text("\n");
}

static void on_crash_signal(int) {
  write_crash_report("aborted");
  gen_exit(1);
}

static void on_unhandled_fault() {
  write_crash_report("caught an unhandled signal");
}

static void setup_crash_report() {
  const char* value = plat_getenv("QXR_RNE_DUMP_PATH");
  if (!value || !value[0]) return;
  static char cwd[4096];
  if (!cwd[0] && !plat_getcwd(cwd, sizeof cwd) &&
      !plat_user_data_dir(cwd, sizeof cwd))
    gen_fatal(1, "Could not get current working directory.");
  char* dir = gen_absolute_dir(value, cwd);
  plat_setenv("QXR_RNE_DUMP_PATH", dir);
  if (!make_dirs(dir)) {
    gen_free(dir);
    return;
  }
  gen_free(g_crash_dir);
  g_crash_dir = dir;
  plat_install_crash_hooks(on_crash_signal, on_unhandled_fault);
}

// ---- Start-up ------------------------------------------------------------

void gen_viewpathing(int) {
  // The switch is read for its side of the protocol only: with no lookup
  // it changes nothing.
  (void)plat_getenv("QXR_VP_XSW");
  const char* debug = plat_getenv("QXR_VP_DEBUG");
  if (debug && debug[0]) gen_info("Viewpathing support is OFF.");
}

void gen_init(const char* argv0, int, int viewpath_mode) {
  (void)g_invalid_parameter_installed;
  plat_socket_startup();
  if (gen_is_absolute(argv0)) {
    set_program_names(argv0);
  } else {
    char module[261] = {0};
    plat_module_file_name(module, sizeof module);
    set_program_names(module);
  }
  plat_set_binary_default_mode();
  gen_viewpathing(viewpath_mode);
  setup_crash_report();
}
