// POSIX half of threads: pthreads, and the processors of the affinity mask.
#include "platform/plat_thread.h"

#include <errno.h>
#include <pthread.h>
#include <sched.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

struct plat_thread {
  pthread_t id;
  void (*fn)(void*);
  void* arg;
};

namespace {

void* trampoline(void* p) {
  plat_thread* t = (plat_thread*)p;
  t->fn(t->arg);
  return nullptr;
}

}  // namespace

int plat_thread_start(void (*fn)(void*), void* arg, plat_thread** out) {
  plat_thread* t = (plat_thread*)calloc(1, sizeof *t);
  if (!t) {
    errno = ENOMEM;
    return -1;
  }
  t->fn = fn;
  t->arg = arg;
  int err = pthread_create(&t->id, nullptr, trampoline, t);
  if (err != 0) {
    free(t);
    errno = err;
    return -1;
  }
  *out = t;
  return 0;
}

void plat_thread_join(plat_thread* t) {
  pthread_join(t->id, nullptr);
  free(t);
}

uint32_t plat_cpu_count() {
#ifdef CPU_COUNT
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    int n = CPU_COUNT(&set);
    if (n >= 1) return (uint32_t)n;
  }
#endif
  long n = sysconf(_SC_NPROCESSORS_ONLN);
  return n >= 1 ? (uint32_t)n : 1;
}

uint64_t plat_clock_ns() {
  struct timespec ts;
  if (clock_gettime(CLOCK_MONOTONIC, &ts) != 0) return 0;
  return (uint64_t)ts.tv_sec * 1000000000u + (uint64_t)ts.tv_nsec;
}
