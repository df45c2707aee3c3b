// POSIX half of the black-box harness.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <ftw.h>
#include <pwd.h>

#include "tests/harness.h"

static std::string self_dir() {
  char buf[PATH_MAX + 1];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  buf[n] = 0;
  char* slash = strrchr(buf, '/');
  if (slash) *slash = 0;
  return buf;
}

std::string program_path() { return self_dir() + "/xhistory_fsutil"; }
std::string probe_path() { return self_dir() + "/fsutil_probe"; }
uint32_t status_minus1() { return 255; }

std::string fault_program_path() { return self_dir() + "/fsutil_faults"; }
std::string nl(const std::string& text) { return text; }
char native_separator() { return '/'; }
bool on_win32() { return false; }

int stdout_redirect(const std::string& path) {
  int saved = dup(1);
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  dup2(fd, 1);
  close(fd);
  return saved;
}

void stdout_restore(int saved) {
  dup2(saved, 1);
  close(saved);
}

static std::string slurp_fd(int fd) {
  std::string s;
  lseek(fd, 0, SEEK_SET);
  char buf[65536];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    s.append(buf, (size_t)n);
  }
  return s;
}

// A file with no name for a child's standard stream.
static int anon_file() {
  const char* base = getenv("TMPDIR");
  std::string t = std::string(base && base[0] ? base : "/tmp") + "/xh_harness_XXXXXX";
  std::vector<char> name(t.begin(), t.end());
  name.push_back(0);
  int fd = mkstemp(name.data());
  if (fd >= 0) unlink(name.data());
  return fd;
}

run_result run_program(const std::string& exe,
                       const std::vector<std::string>& args,
                       const run_options& options) {
  run_result result;
  int in = anon_file(), out = anon_file(), err = anon_file();
  if (write(in, options.stdin_data.data(), options.stdin_data.size()) < 0) {
  }
  lseek(in, 0, SEEK_SET);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(exe.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  fflush(stdout);
  fflush(stderr);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) _exit(126);
    for (const std::string& name : options.unset_env) unsetenv(name.c_str());
    for (const auto& kv : options.env) setenv(kv.first.c_str(), kv.second.c_str(), 1);
    if (options.file_size_limit) {
      signal(SIGXFSZ, SIG_IGN);
      struct rlimit rl = {options.file_size_limit, options.file_size_limit};
      setrlimit(RLIMIT_FSIZE, &rl);
    }
    execv(exe.c_str(), argv.data());
    _exit(127);
  }
  int st = 0;
  while (waitpid(pid, &st, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(st)) result.status = (uint32_t)WEXITSTATUS(st);
  if (WIFSIGNALED(st)) result.signal = WTERMSIG(st);
  result.out = slurp_fd(out);
  result.err = slurp_fd(err);
  close(in);
  close(out);
  close(err);
  return result;
}

temp_dir::temp_dir() {
  const char* base = getenv("TMPDIR");
  std::string t = std::string(base && base[0] ? base : "/tmp") + "/xh_test_XXXXXX";
  std::vector<char> buf(t.begin(), t.end());
  buf.push_back(0);
  if (mkdtemp(buf.data())) path = buf.data();
}

static int remove_entry(const char* p, const struct stat*, int, struct FTW*) {
  chmod(p, 0700);
  return remove(p);
}

temp_dir::~temp_dir() {
  if (path.empty()) return;
  // Directories first made writable so their entries can go.
  nftw(path.c_str(), [](const char* p, const struct stat* s, int t, struct FTW*) {
    if (t == FTW_D) chmod(p, 0700);
    (void)s;
    return 0;
  }, 16, FTW_PHYS);
  nftw(path.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
}

std::string temp_dir::file(const std::string& name) const {
  return path + "/" + name;
}

bool is_dir(const std::string& path) {
  struct stat s;
  return stat(path.c_str(), &s) == 0 && S_ISDIR(s.st_mode);
}

bool make_dir(const std::string& path) { return mkdir(path.c_str(), 0777) == 0; }

bool set_read_only(const std::string& path, bool read_only) {
  return chmod(path.c_str(), read_only ? 0444 : 0644) == 0;
}

static const char kSetpriv[] = "/usr/bin/setpriv";

static std::vector<std::string> as_user_args(uint32_t uid, uint32_t gid) {
  return {"--reuid=" + std::to_string(uid), "--regid=" + std::to_string(gid),
          "--clear-groups", "--"};
}

bool unprivileged_user(uint32_t* uid, uint32_t* gid) {
  if (geteuid() != 0 || access(kSetpriv, X_OK) != 0) return false;
  struct passwd* pw = getpwnam("nobody");
  if (!pw || pw->pw_uid == 0) return false;
  *uid = pw->pw_uid;
  *gid = pw->pw_gid;
  // A container may forbid the change of user; then root's own rule holds.
  static int works = -1;
  if (works < 0) {
    std::vector<std::string> args = as_user_args(*uid, *gid);
    args.push_back("/bin/sh");
    args.push_back("-c");
    args.push_back("test \"$(id -u)\" = " + std::to_string(*uid));
    works = run_program(kSetpriv, args).status == 0;
  }
  return works == 1;
}

static uint32_t g_give_uid, g_give_gid;

bool give_to_user(const std::string& path, uint32_t uid, uint32_t gid) {
  g_give_uid = uid;
  g_give_gid = gid;
  return nftw(path.c_str(), [](const char* p, const struct stat*, int, struct FTW*) {
    return lchown(p, g_give_uid, g_give_gid);
  }, 16, FTW_PHYS) == 0;
}

run_result run_as_user(uint32_t uid, uint32_t gid, const std::string& exe,
                       const std::vector<std::string>& args,
                       const run_options& options) {
  std::vector<std::string> all = as_user_args(uid, gid);
  all.push_back(exe);
  all.insert(all.end(), args.begin(), args.end());
  return run_program(kSetpriv, all, options);
}
