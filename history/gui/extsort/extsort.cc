// The choice of sort engine.
#include "history/gui/extsort/extsort.h"

#include <string.h>

#include "history/gui/extsort/extsort_fast.h"
#include "history/gui/extsort/extsort_windowed.h"
#include "platform/plat.h"

extsort_engine extsort_selected_engine() {
  // The windowed engine stays selectable as the measure of the fast one.
  const char* engine = plat_getenv("XH_SORT_ENGINE");
  if (engine && strcmp(engine, "reference") == 0) return extsort_run_windowed;
  return extsort_run_fast;
}

int extsort_run(const char* input, const char* work, const char* index,
                int32_t count, uint32_t record_size, const char* name,
                const void* key, extsort_cmp cmp) {
  return extsort_selected_engine()(input, work, index, count, record_size,
                                   name, key, cmp);
}
