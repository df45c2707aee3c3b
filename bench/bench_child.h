// What the sort benchmarks share: running a contender as a child process
// with its wall time, peak memory and I/O counters, the record generator's
// random numbers, and finding the programs built beside the benchmark.
#ifndef XHISTORY_BENCH_BENCH_CHILD_H_
#define XHISTORY_BENCH_BENCH_CHILD_H_

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <chrono>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <psapi.h>
#else
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace bench {

struct usage {
  bool ok = false;
  int status = -1;
  double wall = 0;
  double cpu = 0;  // user + system seconds of the child
  uint64_t peak_rss = 0;
  uint64_t rchar = 0;  // bytes through read/write calls
  uint64_t wchar = 0;
  uint64_t read_bytes = 0;  // storage level, where the system counts them
  uint64_t write_bytes = 0;
};

#ifdef _WIN32
// stdout_path: where the child's standard output goes ("" keeps it).
inline usage run_child(const std::vector<std::string>& argv,
                       const std::string& stdout_path = "") {
  usage u;
  fflush(stdout);
  std::string line;
  for (const std::string& a : argv) line += "\"" + a + "\" ";
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  HANDLE out = INVALID_HANDLE_VALUE;
  if (!stdout_path.empty()) {
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    out = CreateFileA(stdout_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa,
                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) return u;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = out;
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  }
  PROCESS_INFORMATION pi = {};
  auto t0 = std::chrono::steady_clock::now();
  BOOL started = CreateProcessA(nullptr, &line[0], nullptr, nullptr,
                                out != INVALID_HANDLE_VALUE, 0, nullptr,
                                nullptr, &si, &pi);
  if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
  if (!started) return u;
  WaitForSingleObject(pi.hProcess, INFINITE);
  u.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0)
               .count();
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  FILETIME created, ended, kernel, user;
  if (GetProcessTimes(pi.hProcess, &created, &ended, &kernel, &user)) {
    auto secs = [](FILETIME t) {
      return (double)(((uint64_t)t.dwHighDateTime << 32) | t.dwLowDateTime) /
             1e7;
    };
    u.cpu = secs(kernel) + secs(user);
  }
  PROCESS_MEMORY_COUNTERS mc = {};
  if (GetProcessMemoryInfo(pi.hProcess, &mc, sizeof mc))
    u.peak_rss = mc.PeakWorkingSetSize;
  IO_COUNTERS io = {};
  if (GetProcessIoCounters(pi.hProcess, &io)) {
    u.rchar = u.read_bytes = io.ReadTransferCount;
    u.wchar = u.write_bytes = io.WriteTransferCount;
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  u.ok = true;
  u.status = (int)code;
  return u;
}
#else
inline void read_proc_io(pid_t pid, usage* u) {
  char path[64];
  snprintf(path, sizeof path, "/proc/%d/io", (int)pid);
  FILE* f = fopen(path, "r");
  if (!f) return;
  char key[64];
  unsigned long long v;
  while (fscanf(f, "%63[^:]: %llu\n", key, &v) == 2) {
    if (!strcmp(key, "rchar")) u->rchar = v;
    if (!strcmp(key, "wchar")) u->wchar = v;
    if (!strcmp(key, "read_bytes")) u->read_bytes = v;
    if (!strcmp(key, "write_bytes")) u->write_bytes = v;
  }
  fclose(f);
}

// stdout_path: where the child's standard output goes ("" keeps it).
inline usage run_child(const std::vector<std::string>& argv,
                       const std::string& stdout_path = "") {
  usage u;
  fflush(stdout);  // the child must not inherit buffered output
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  auto t0 = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid < 0) return u;
  if (pid == 0) {
    if (!stdout_path.empty() && !freopen(stdout_path.c_str(), "w", stdout))
      _exit(126);
    execvp(args[0], args.data());
    _exit(127);
  }
  siginfo_t info;
  waitid(P_PID, (id_t)pid, &info, WEXITED | WNOWAIT);
  u.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0)
               .count();
  read_proc_io(pid, &u);
  int status = 0;
  struct rusage ru;
  if (wait4(pid, &status, 0, &ru) != pid) return u;
  u.ok = true;
  u.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  u.peak_rss = (uint64_t)ru.ru_maxrss * 1024;
  u.cpu = (double)(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
          (double)(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
  if (u.read_bytes == 0 && u.write_bytes == 0) {  // no /proc: block counts
    u.read_bytes = (uint64_t)ru.ru_inblock * 512;
    u.write_bytes = (uint64_t)ru.ru_oublock * 512;
  }
  return u;
}
#endif

// xorshift64: the same records for the same seed on every platform.
inline uint64_t next_random(uint64_t* s) {
  *s ^= *s << 13;
  *s ^= *s >> 7;
  *s ^= *s << 17;
  return *s;
}

// The program `name` built in the same directory as the benchmark.
inline std::string beside(const char* argv0, const char* name) {
  std::string self = argv0;
  size_t cut = self.find_last_of("/\\");
  std::string dir = cut == std::string::npos ? "." : self.substr(0, cut);
#ifdef _WIN32
  return dir + "\\" + name + ".exe";
#else
  return dir + "/" + name;
#endif
}

// Whether two files hold the same bytes; false when either cannot be read.
inline bool same_bytes(const std::string& a, const std::string& b) {
  FILE* fa = fopen(a.c_str(), "rb");
  FILE* fb = fopen(b.c_str(), "rb");
  bool same = fa && fb;
  static char ba[1 << 16], bb[1 << 16];
  while (same) {
    size_t na = fread(ba, 1, sizeof ba, fa), nb = fread(bb, 1, sizeof bb, fb);
    if (na != nb || memcmp(ba, bb, na) != 0) same = false;
    if (na == 0) break;
  }
  if (fa) fclose(fa);
  if (fb) fclose(fb);
  return same;
}

}  // namespace bench

#endif  // XHISTORY_BENCH_BENCH_CHILD_H_
