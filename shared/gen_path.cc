#include "shared/gen_path.h"

#include <string.h>

#include "platform/plat.h"
#include "shared/gen_alloc.h"

char* gen_fullpath(const char* path) {
  char buf[GEN_FULLPATH_MAX];
  uint32_t n = plat_full_path(path, buf, sizeof buf);
  // A full form that does not fit is not used: the caller gets the name as
  // it was given, relative or not.
  if (n == 0 || n >= sizeof buf) return gen_strdup(path);
  char* full = gen_strdup(buf);
  if (n >= 3 && full[1] == ':' && full[0] >= 'a' && full[0] <= 'z')
    full[0] = (char)(full[0] - 'a' + 'A');
  return full;
}
