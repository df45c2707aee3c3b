// The one way out of the program.
#ifndef XHISTORY_SHARED_GEN_EXIT_H_
#define XHISTORY_SHARED_GEN_EXIT_H_

// Set once the program has begun to exit; never cleared.
extern volatile unsigned char gen_exiting;

// Runs the exit handlers and flushes every stream, once.  A second call
// while the first runs (from an exit or signal handler) ends the process
// at once with its own code.  From the first call on no memory is
// released.
[[noreturn]] void gen_exit(int code);

// The exit entry point that gen_exit calls through.  A replacement must
// not return (a test harness may jump back to where it started a run).
extern void (*gen_exit_entry)(int code);

#endif  // XHISTORY_SHARED_GEN_EXIT_H_
