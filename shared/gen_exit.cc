#include "shared/gen_exit.h"

#include <stdlib.h>

#include "platform/plat.h"

volatile unsigned char gen_exiting = 0;

[[noreturn]] static void default_exit(int code) {
  if (gen_exiting) plat_immediate_exit(code);
  // From here on gen_free releases nothing (exit handlers may still hold
  // pointers into blocks) and gen_fclose closes nothing.
  gen_exiting = 1;
  exit(code);
}

void (*gen_exit_entry)(int) = default_exit;

void gen_exit(int code) {
  gen_exit_entry(code);
  // An entry that returns is a defect of its own; never go back into the
  // code that asked to end.
  plat_immediate_exit(code);
}
