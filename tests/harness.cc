// The portable half of the black-box harness.
#include "tests/harness.h"

#include <stdio.h>

run_result run_fsutil(const std::vector<std::string>& args,
                      const run_options& options) {
  return run_program(program_path(), args, options);
}

bool write_file(const std::string& path, const std::string& bytes) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return fclose(f) == 0 && ok;
}

bool read_file(const std::string& path, std::string* bytes) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return false;
  bytes->clear();
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) bytes->append(buf, n);
  fclose(f);
  return true;
}

bool file_exists(const std::string& path) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return is_dir(path);
  fclose(f);
  return true;
}

std::string capture_stdout(const std::function<void()>& fn) {
  temp_dir dir;
  const std::string path = dir.file("stdout.txt");
  fflush(stdout);
  int saved = stdout_redirect(path);
  fn();
  fflush(stdout);
  stdout_restore(saved);
  std::string raw, text;
  read_file(path, &raw);
  const std::string end = nl("\n");
  for (size_t at = 0; at < raw.size();) {
    if (raw.compare(at, end.size(), end) == 0) {
      text += '\n';
      at += end.size();
    } else {
      text += raw[at++];
    }
  }
  return text;
}
