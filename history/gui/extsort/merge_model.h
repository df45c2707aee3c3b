// Test support: an in-memory model of the sort's bottom-up merge, written
// apart from the engine so that tests can check the engine's files against
// it.  stages[p] is the element order after p passes (stages[0] is the
// input order); both halves of the work file and the index follow from the
// last two stages.
#ifndef XHISTORY_HISTORY_GUI_EXTSORT_MERGE_MODEL_H_
#define XHISTORY_HISTORY_GUI_EXTSORT_MERGE_MODEL_H_

#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "history/gui/extsort/extsort.h"

struct merge_model {
  std::vector<std::vector<uint32_t>> stages;
};

// records: count records of record_size bytes back to back.
inline merge_model model_sort(const std::string& records, uint32_t record_size,
                              uint32_t count, const void* key,
                              extsort_cmp cmp) {
  merge_model m;
  std::vector<uint32_t> cur(count);
  for (uint32_t i = 0; i < count; ++i) cur[i] = i;
  m.stages.push_back(cur);
  auto rec = [&](uint32_t i) { return records.data() + (size_t)i * record_size; };
  for (uint64_t width = 1; width < count; width *= 2) {
    std::vector<uint32_t> next;
    for (uint64_t lo = 0; lo < count; lo += 2 * width) {
      uint64_t mid = lo + width < count ? lo + width : count;
      uint64_t hi = lo + 2 * width < count ? lo + 2 * width : count;
      uint64_t i = lo, j = mid;
      while (i < mid && j < hi) {
        // A zero comparison takes the later run's element.
        if (cmp(key, rec(cur[i]), rec(cur[j])) < 0)
          next.push_back(cur[i++]);
        else
          next.push_back(cur[j++]);
      }
      while (i < mid) next.push_back(cur[i++]);
      while (j < hi) next.push_back(cur[j++]);
    }
    cur = next;
    m.stages.push_back(cur);
  }
  return m;
}

// The work file that the model predicts: old is the file's content before
// the run (already at its final length), elements of record_size + 4.
inline std::string model_work_file(const merge_model& m,
                                   const std::string& records,
                                   uint32_t record_size, std::string old) {
  const size_t e = record_size + 4;
  const size_t count = m.stages[0].size();
  auto put = [&](size_t slot, uint32_t input) {
    memcpy(&old[slot * e], records.data() + (size_t)input * record_size,
           record_size);
    for (int b = 0; b < 4; ++b)
      old[slot * e + record_size + b] = (char)(input >> (8 * b));
  };
  // Stage p stands in half p mod 2; only the last two stages survive.
  size_t passes = m.stages.size() - 1;
  size_t first = passes >= 1 ? passes - 1 : 0;
  for (size_t p = first; p <= passes; ++p)
    for (size_t k = 0; k < count; ++k)
      put((p & 1 ? count : 0) + k, m.stages[p][k]);
  return old;
}

// The index file that the model predicts.
inline std::string model_index_file(const merge_model& m, std::string old) {
  const std::vector<uint32_t>& order = m.stages.back();
  auto put = [&](size_t at, uint32_t v) {
    for (int b = 0; b < 4; ++b) old[at + b] = (char)(v >> (8 * b));
  };
  for (size_t k = 0; k < order.size(); ++k) {
    put(8 * k, order[k]);
    put(8 * order[k] + 4, (uint32_t)k);
  }
  return old;
}

#endif  // XHISTORY_HISTORY_GUI_EXTSORT_MERGE_MODEL_H_
