#include "shared/gen_exit.h"

#include <stdlib.h>

#include "platform/plat.h"
#include "shared/gen_alloc.h"

volatile unsigned char gen_exiting = 0;

static void release_nothing(void*) {}

[[noreturn]] static void default_exit(int code) {
  if (gen_exiting) plat_immediate_exit(code);
  gen_exiting = 1;
  // Exit handlers may still hold pointers into blocks; from here on no
  // block is released.
  gen_alloc_entry.free_fn = release_nothing;
  exit(code);
}

void (*gen_exit_entry)(int) = default_exit;

void gen_exit(int code) {
  gen_exit_entry(code);
  // An entry that returns is a defect of its own; never go back into the
  // code that asked to end.
  plat_immediate_exit(code);
}
