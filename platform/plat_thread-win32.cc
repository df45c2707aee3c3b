// Win32 half of threads: _beginthreadex, so that the C runtime's per-thread
// state is set up, and the processors of the process affinity mask.
#include "platform/plat_thread.h"

#include <windows.h>

#include <errno.h>
#include <process.h>
#include <stdlib.h>

struct plat_thread {
  HANDLE handle;
  void (*fn)(void*);
  void* arg;
};

namespace {

unsigned __stdcall trampoline(void* p) {
  plat_thread* t = (plat_thread*)p;
  t->fn(t->arg);
  return 0;
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
  uintptr_t h = _beginthreadex(nullptr, 0, trampoline, t, 0, nullptr);
  if (h == 0) {
    if (errno == 0) errno = EAGAIN;
    free(t);
    return -1;
  }
  t->handle = (HANDLE)h;
  *out = t;
  return 0;
}

void plat_thread_join(plat_thread* t) {
  WaitForSingleObject(t->handle, INFINITE);
  CloseHandle(t->handle);
  free(t);
}

uint32_t plat_cpu_count() {
  DWORD_PTR process = 0, system = 0;
  uint32_t n = 0;
  if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system)) {
    for (; process; process &= process - 1) ++n;
  }
  if (n == 0) {
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    n = (uint32_t)si.dwNumberOfProcessors;
  }
  return n >= 1 ? n : 1;
}

uint64_t plat_clock_ns() {
  LARGE_INTEGER freq, now;
  if (!QueryPerformanceFrequency(&freq) || freq.QuadPart <= 0 ||
      !QueryPerformanceCounter(&now))
    return 0;
  // Whole seconds and the remainder apart, so that a counter of many days
  // at a high frequency does not overflow.
  const uint64_t f = (uint64_t)freq.QuadPart, t = (uint64_t)now.QuadPart;
  return t / f * 1000000000u + t % f * 1000000000u / f;
}
