// Win32 half of the black-box harness.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <map>

#include "tests/harness.h"

static std::string self_dir() {
  char buf[MAX_PATH + 1] = {0};
  GetModuleFileNameA(nullptr, buf, MAX_PATH);
  char* slash = strrchr(buf, '\\');
  if (slash) *slash = 0;
  return buf;
}

std::string program_path() { return self_dir() + "\\xhistory_fsutil.exe"; }
std::string probe_path() { return self_dir() + "\\fsutil_probe.exe"; }
uint32_t status_minus1() { return 0xFFFFFFFFu; }
std::string fault_program_path() { return self_dir() + "\\fsutil_faults.exe"; }
char native_separator() { return '\\'; }
bool on_win32() { return true; }

std::string nl(const std::string& text) {
  std::string s;
  for (char c : text) {
    if (c == '\n') s += '\r';
    s += c;
  }
  return s;
}

int stdout_redirect(const std::string& path) {
  int saved = _dup(1);
  int fd = _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_TEXT,
                 _S_IREAD | _S_IWRITE);
  _dup2(fd, 1);
  _close(fd);
  return saved;
}

void stdout_restore(int saved) {
  _dup2(saved, 1);
  _close(saved);
}

// Quotes one argument so that the runtime's command-line parser gives it
// back unchanged.
static void append_quoted(std::string* cmd, const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) {
    *cmd += arg;
    return;
  }
  *cmd += '"';
  for (size_t i = 0;; ++i) {
    size_t backslashes = 0;
    while (i < arg.size() && arg[i] == '\\') {
      ++i;
      ++backslashes;
    }
    if (i == arg.size()) {
      cmd->append(backslashes * 2, '\\');
      break;
    }
    if (arg[i] == '"') {
      cmd->append(backslashes * 2 + 1, '\\');
    } else {
      cmd->append(backslashes, '\\');
    }
    *cmd += arg[i];
  }
  *cmd += '"';
}

static HANDLE temp_handle(bool inherit) {
  char dir[MAX_PATH + 1], name[MAX_PATH + 1];
  GetTempPathA(MAX_PATH, dir);
  GetTempFileNameA(dir, "xhh", 0, name);
  SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, inherit ? TRUE : FALSE};
  return CreateFileA(name, GENERIC_READ | GENERIC_WRITE,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &sa,
                     CREATE_ALWAYS,
                     FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                     nullptr);
}

static std::string slurp(HANDLE h) {
  std::string s;
  SetFilePointer(h, 0, nullptr, FILE_BEGIN);
  char buf[65536];
  DWORD n;
  while (ReadFile(h, buf, sizeof buf, &n, nullptr) && n > 0) s.append(buf, n);
  return s;
}

// The current environment with the options applied, as a block.
static std::string environment_block(const run_options& options) {
  std::map<std::string, std::string> vars;  // keyed by upper-case name
  std::map<std::string, std::string> names;
  char* env = GetEnvironmentStringsA();
  for (char* p = env; *p; p += strlen(p) + 1) {
    const char* eq = strchr(p + 1, '=');
    if (!eq) continue;
    std::string name(p, (size_t)(eq - p)), upper = name;
    for (char& c : upper) c = (char)toupper((unsigned char)c);
    vars[upper] = eq + 1;
    names[upper] = name;
  }
  FreeEnvironmentStringsA(env);
  for (const std::string& n : options.unset_env) {
    std::string upper = n;
    for (char& c : upper) c = (char)toupper((unsigned char)c);
    vars.erase(upper);
  }
  for (const auto& kv : options.env) {
    std::string upper = kv.first;
    for (char& c : upper) c = (char)toupper((unsigned char)c);
    vars[upper] = kv.second;
    names[upper] = kv.first;
  }
  std::string block;
  for (const auto& kv : vars) {
    block += names[kv.first] + "=" + kv.second;
    block += '\0';
  }
  block += '\0';
  return block;
}

run_result run_program(const std::string& exe,
                       const std::vector<std::string>& args,
                       const run_options& options) {
  run_result result;
  HANDLE in = temp_handle(true), out = temp_handle(true), err = temp_handle(true);
  DWORD written;
  WriteFile(in, options.stdin_data.data(), (DWORD)options.stdin_data.size(),
            &written, nullptr);
  SetFilePointer(in, 0, nullptr, FILE_BEGIN);

  std::string cmd;
  append_quoted(&cmd, exe);
  for (const std::string& a : args) {
    cmd += ' ';
    append_quoted(&cmd, a);
  }
  std::vector<char> cmdline(cmd.begin(), cmd.end());
  cmdline.push_back(0);
  std::string env = environment_block(options);

  STARTUPINFOA si;
  memset(&si, 0, sizeof si);
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = in;
  si.hStdOutput = out;
  si.hStdError = err;
  PROCESS_INFORMATION pi;
  fflush(stdout);
  if (!CreateProcessA(exe.c_str(), cmdline.data(), nullptr, nullptr, TRUE, 0,
                      &env[0], options.cwd.empty() ? nullptr : options.cwd.c_str(),
                      &si, &pi)) {
    result.status = 0xDEADu;
  } else {
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    result.status = code;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  result.out = slurp(out);
  result.err = slurp(err);
  CloseHandle(in);
  CloseHandle(out);
  CloseHandle(err);
  return result;
}

static void remove_tree(const std::string& dir) {
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      std::string name = fd.cFileName;
      if (name == "." || name == "..") continue;
      std::string p = dir + "\\" + name;
      SetFileAttributesA(p.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) remove_tree(p);
      else DeleteFileA(p.c_str());
    } while (FindNextFileA(h, &fd));
    FindClose(h);
  }
  RemoveDirectoryA(dir.c_str());
}

temp_dir::temp_dir() {
  char base[MAX_PATH + 1];
  GetTempPathA(MAX_PATH, base);
  static unsigned counter = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char name[MAX_PATH + 64];
    snprintf(name, sizeof name, "%sxh_test_%lu_%u", base,
             (unsigned long)GetCurrentProcessId(), counter++);
    if (CreateDirectoryA(name, nullptr)) {
      char full[MAX_PATH + 64];
      GetFullPathNameA(name, sizeof full, full, nullptr);
      path = full;
      size_t n = path.size();
      if (n && path[n - 1] == '\\') path.erase(n - 1);
      return;
    }
  }
}

temp_dir::~temp_dir() {
  if (!path.empty()) remove_tree(path);
}

std::string temp_dir::file(const std::string& name) const {
  return path + "\\" + name;
}

bool is_dir(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool make_dir(const std::string& path) {
  return CreateDirectoryA(path.c_str(), nullptr) != 0;
}

bool set_read_only(const std::string& path, bool read_only) {
  return SetFileAttributesA(path.c_str(), read_only ? FILE_ATTRIBUTE_READONLY
                                                    : FILE_ATTRIBUTE_NORMAL) != 0;
}

// Write protection binds every user of Windows alike: there is no user to
// hand a case to.
bool unprivileged_user(uint32_t*, uint32_t*) { return false; }
bool give_to_user(const std::string&, uint32_t, uint32_t) { return false; }
run_result run_as_user(uint32_t, uint32_t, const std::string& exe,
                       const std::vector<std::string>& args,
                       const run_options& options) {
  return run_program(exe, args, options);
}
