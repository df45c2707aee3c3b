#include "history/gui/xhistory_fsutil.h"

#include <stdio.h>

#include "history/gui/callbrowser_shared.h"
#include "history/gui/config.h"
#include "history/gui/copy.h"
#include "history/gui/extsort/extsort.h"
#include "history/gui/fonts_command.h"
#include "history/gui/protocol.h"
#include "history/gui/sort_kinds.h"
#include "shared/gen_alloc.h"
#include "shared/gen_file.h"
#include "shared/gen_init.h"
#include "shared/gen_path.h"
#include "shared/gen_remove.h"
#include "shared/gen_string.h"

static const char kModule[] = XHISTORY_FSUTIL_MODULE;

// Path operands in full form.  They belong to the entry point and live
// until the process ends; held here, they stay reachable to the end.
static char* g_operands[3];

static char* operand(int slot, const char* arg) {
  g_operands[slot] = gen_fullpath(arg);
  return g_operands[slot];
}

static void scan_uid(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (gen_strcmp(argv[i], "--uid") != 0) continue;
    ASSERT(i + 1 < argc, "argc > i + 1", kModule, 50, 0);
    unsigned long long v = 0;
    int n = sscanf(argv[i + 1], "%llu", &v);
    ASSERT(n == 1, "false", kModule, 52, 0);
    request_uid = v;
  }
}

// The record kinds of the three sort words.
struct sort_kind {
  const char* word;
  int check_line;
  int operands;         // what the operand check asks for
  const char* check;    // its expression text
  bool sets_direction;  // --sort keeps the column direction
  bool owns_name;       // --gurusort hands the engine a copy of its name
  uint32_t record_size;
  const char* name;
  extsort_cmp cmp;
  // Whether every comparison returns with this key; none stands for yes.
  int (*key_accepted)(uint32_t key);
};

static const sort_kind kSortKinds[] = {
    {"--sort", 75, 3, "argc > i + 3", true, false, 80, "callbrowser",
     callbrowser_cmp, nullptr},
    {"--statessort", 85, 3, "argc > i + 3", false, false, 128, "states",
     states_cmp, nullptr},
    {"--gurusort", 99, 4, "argc > i + 4", false, true, 164, "guru", guru_cmp,
     guru_key_accepted},
};

static int run_sort(const sort_kind& kind, int argc, char** argv, int i) {
  // The operand check names three operands (four for --gurusort), but the
  // key and the count follow them; a line without them ends the same way
  // rather than reading past the argument list.
  ASSERT(argc > i + 5, "argc > i + 5", kModule, kind.check_line, 0);
  char* input = operand(0, argv[i + 1]);
  char* work = operand(1, argv[i + 2]);
  char* index = operand(2, argv[i + 3]);
  uint32_t key = gen_strtou32(argv[i + 4]);
  int32_t count = (int32_t)gen_strtou32(argv[i + 5]);
  if (kind.sets_direction)
    callbrowser_ascending = (unsigned char)callbrowser_column_ascending(key);
  char* name = kind.owns_name ? gen_strdup(kind.name) : nullptr;
  // The column's check above has already ended a run with a column that
  // the call-browser comparison would refuse.
  extsort_set_cmp_returns(kind.key_accepted ? kind.key_accepted(key) : 1);
  int ok = extsort_run(input, work, index, count, kind.record_size,
                       name ? name : kind.name, &key, kind.cmp);
  gen_free(name);
  return !ok;
}

static const char kUsage[] =
    "usage: xhistory_fsutil COMMAND [OPERAND...] [--uid N]\n"
    "\n"
    "The file-system helper of the history viewer: one command per run.\n"
    "\n"
    "  --copy SRC DST                        copy a file, reporting progress\n"
    "  --remove PATH                         delete one file, even a write-protected one\n"
    "  --readcfg FILE                        report a configuration file as lines\n"
    "  --writecfg FILE                       write a configuration file from the\n"
    "                                        kv/enter/exit/done commands on standard input\n"
    "  --sort IN WORK INDEX COLUMN COUNT     sort 80-byte call-browser records\n"
    "  --statessort IN WORK INDEX KEY COUNT  sort 128-byte state records\n"
    "  --gurusort IN WORK INDEX KEY COUNT    sort 164-byte guru records\n"
    "  --fonts [--mono DESC] [--sans DESC]   measure a monospaced and a sans-serif font\n"
    "  --help, -h                            show this summary\n"
    "  --version                             show the program name and version\n"
    "\n"
    "--uid N anywhere on the line puts N after the tag of every tagged line.\n"
    "Without a command word the exit status is -1 and nothing is written.\n";

// Words for people rather than for the viewer: plain text on standard
// output, status 0.
static int print_text(const char* text) {
  fputs(text, stdout);
  fflush(stdout);
  return 0;
}

static int dispatch(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const char* w = argv[i];
    if (gen_strcmp(w, "--help") == 0 || gen_strcmp(w, "-h") == 0)
      return print_text(kUsage);
    if (gen_strcmp(w, "--version") == 0)
      return print_text("xhistory_fsutil " XH_VERSION "\n");
    if (gen_strcmp(w, "--readcfg") == 0 || gen_strcmp(w, "--writecfg") == 0) {
      ASSERT(argc > i + 1, "argc > i + 1", kModule, 59, 0);
      bool writing = w[2] == 'w';
      FILE* f = gen_fopen(operand(0, argv[i + 1]), writing ? "wb" : "rb");
      return writing ? write_config(f) : read_config(f);
    }
    if (gen_strcmp(w, "--copy") == 0) {
      ASSERT(argc > i + 2, "argc > i + 2", kModule, 64, 0);
      char* source = operand(0, argv[i + 1]);
      char* destination = operand(1, argv[i + 2]);
      return copy_file(source, destination);
    }
    if (gen_strcmp(w, "--remove") == 0) {
      ASSERT(argc > i + 1, "argc > i + 1", kModule, 69, 0);
      gen_remove(operand(0, argv[i + 1]));
      return 0;
    }
    if (gen_strcmp(w, "--fonts") == 0)
      return fonts_command(&argv[i + 1], argc - i - 1);
    for (const sort_kind& kind : kSortKinds) {
      if (gen_strcmp(w, kind.word) != 0) continue;
      ASSERT(argc > i + kind.operands, kind.check, kModule, kind.check_line,
             0);
      return run_sort(kind, argc, argv, i);
    }
  }
  return -1;
}

int xhistory_fsutil_main(int argc, char** argv) {
  gen_init(argc > 0 ? argv[0] : nullptr, 0, 0);
  scan_uid(argc, argv);
  return dispatch(argc, argv);
}
