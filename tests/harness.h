// Black-box test harness: runs a built program in a temporary directory and
// hands back its exit status, standard output and standard error exactly.
#ifndef XHISTORY_TESTS_HARNESS_H_
#define XHISTORY_TESTS_HARNESS_H_

#include <stdint.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

struct run_options {
  std::string cwd;                                       // "" = inherit
  std::vector<std::pair<std::string, std::string>> env;  // set (may be "")
  std::vector<std::string> unset_env;
  std::string stdin_data;       // what the child reads on standard input
  uint64_t file_size_limit = 0; // POSIX: RLIMIT_FSIZE with SIGXFSZ ignored
};

struct run_result {
  uint32_t status = 0;  // exit code as the parent sees it
  int signal = 0;       // POSIX: the signal that ended the child, else 0
  std::string out;
  std::string err;
};

// Runs exe with args (argv[0] is exe itself).
run_result run_program(const std::string& exe,
                       const std::vector<std::string>& args,
                       const run_options& options = run_options());

// The built program and the library probe, found beside the test binary.
std::string program_path();
std::string probe_path();

// The program with faults (tests/fault/fault_ops.h) beside the test binary.
std::string fault_program_path();

// Runs xhistory_fsutil with args.
run_result run_fsutil(const std::vector<std::string>& args,
                      const run_options& options = run_options());

// The status a parent sees for exit(-1): 255 on POSIX, 0xFFFFFFFF on Win32.
uint32_t status_minus1();

// Expected console text: "\n" becomes the platform's text-mode line end.
std::string nl(const std::string& text);

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object dies.
struct temp_dir {
  temp_dir();
  ~temp_dir();
  std::string path;
  // path + separator + name.
  std::string file(const std::string& name) const;
};

// Runs fn in this process with standard output sent to a file opened in
// text mode, as standard output itself is, and returns what fn wrote there
// with every line end of the platform ("\r\n" on Win32) given back as "\n".
std::string capture_stdout(const std::function<void()>& fn);
// The platform halves of capture_stdout: point descriptor 1 at a new empty
// file and return a descriptor that keeps the old target, then put it back.
int stdout_redirect(const std::string& path);
void stdout_restore(int saved);

bool write_file(const std::string& path, const std::string& bytes);
bool read_file(const std::string& path, std::string* bytes);
bool file_exists(const std::string& path);
bool is_dir(const std::string& path);
bool make_dir(const std::string& path);
// Sets or clears write protection.
bool set_read_only(const std::string& path, bool read_only);
// Separator of the platform's native paths.
char native_separator();
// True on the Win32 build.
bool on_win32();

// Root passes over write protection.  Where the tests run as root on POSIX,
// a case that checks what protection refuses hands its directory to the
// unprivileged user "nobody" and runs as that user (through setpriv), so a
// root machine checks it too.  False, and nothing to hand over, where the
// process is not root, on Win32, or without such a user or setpriv.
bool unprivileged_user(uint32_t* uid, uint32_t* gid);
// Gives path and everything under it to uid and gid.
bool give_to_user(const std::string& path, uint32_t uid, uint32_t gid);
// run_program as uid and gid.
run_result run_as_user(uint32_t uid, uint32_t gid, const std::string& exe,
                       const std::vector<std::string>& args,
                       const run_options& options = run_options());

#endif  // XHISTORY_TESTS_HARNESS_H_
