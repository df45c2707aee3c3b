#include "shared/gen_progname.h"

static const char* g_progname = nullptr;
static const char* g_progpath = nullptr;

const char* gen_progname() { return g_progname; }
const char* gen_progpath() { return g_progpath; }

void gen_set_program_names(const char* name, const char* path) {
  g_progname = name;
  g_progpath = path;
}
