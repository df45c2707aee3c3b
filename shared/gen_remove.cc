#include "shared/gen_remove.h"

#include "platform/plat.h"
#include "shared/gen_file.h"

int gen_unlink(const char* path) {
  if (!path) return -1;
  return plat_unlink(path);
}

int gen_chmod(const char* path, uint32_t mode) {
  if (!path) return -1;
  return plat_chmod(path, mode);
}

uint32_t gen_file_mode(const char* path, uint32_t* mode_out) {
  gen_statbuf st;
  uint32_t mode = gen_stat(path, &st) == 0 ? st.mode : 0;
  if (mode_out && *mode_out == 0) *mode_out = mode ? mode : 0664;
  return mode;
}

uint32_t gen_make_writable(const char* path, uint32_t start_mode) {
  uint32_t mode = start_mode;
  uint32_t result = gen_file_mode(path, &mode);
  gen_chmod(path, mode | 0660);
  return result;
}

int gen_remove(const char* path) {
  if (gen_is_directory(path) != 0) return -1;
  if (gen_unlink(path) == 0) return 0;
  uint32_t saved = gen_make_writable(path, 0);
  int r = gen_unlink(path);
  // A saved mode of 0 means the status could not be read: putting 0 back
  // would take every permission away from a file that is still there.
  if (r != 0 && saved != 0) gen_chmod(path, saved);
  return r;
}
