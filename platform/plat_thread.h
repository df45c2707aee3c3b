// Threads for work that the caller splits across the processor's cores:
// start a function on a thread of its own, wait for it to end.  Nothing
// else is shared through this layer; callers hand each thread its own
// data and read the results after the join.  A monotonic clock sits here
// too, for timing such work without the C++ runtime's clock, whose shared
// library every start of the program would otherwise have to load.
#ifndef XHISTORY_PLATFORM_PLAT_THREAD_H_
#define XHISTORY_PLATFORM_PLAT_THREAD_H_

#include <stdint.h>

struct plat_thread;

// Runs fn(arg) on a new thread: 0 with *out set, or -1 with errno when no
// thread could be started (fn has then not run).
int plat_thread_start(void (*fn)(void*), void* arg, plat_thread** out);

// Waits until the thread's fn has returned and frees the thread.
void plat_thread_join(plat_thread* t);

// The processors that this process may run on; at least 1.
uint32_t plat_cpu_count();

// Nanoseconds on a clock that never goes back; only differences mean
// anything.
uint64_t plat_clock_ns();

#endif  // XHISTORY_PLATFORM_PLAT_THREAD_H_
