// The configuration writer on a well-formed command stream made from the
// fuzz bytes (items and sections whose keys and values are any bytes),
// then the reader on what it wrote: every item and every section end comes
// back, and neither side ends at an assertion.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "fuzz/fuzz_support.h"
#include "history/gui/config.h"
#include "shared/gen_quote.h"

static std::string quoted(const std::string& text) {
  char* q = gen_quote(text.c_str());
  std::string s = q;
  gen_free(q);
  return s;
}

static size_t count_lines(const std::string& out, const char* tag) {
  size_t n = 0, len = strlen(tag);
  for (size_t pos = 0; pos < out.size();) {
    if (out.compare(pos, len, tag) == 0 && out[pos + len] == ' ') ++n;
    size_t lf = out.find('\n', pos);
    if (lf == std::string::npos) break;
    pos = lf + 1;
  }
  return n;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Commands: each item takes a control byte, then key and value texts of
  // a length given by the next bytes.
  std::string cmds;
  size_t items = 0, exits = 0;
  int depth = 0;
  size_t i = 0;
  auto text = [&](size_t n) {
    std::string t;
    for (; n > 0 && i < size; --n, ++i)
      if (data[i] != 0) t += (char)data[i];
    return t;
  };
  while (i < size && items < 64) {
    uint8_t control = data[i++];
    std::string key = text(i < size ? data[i++] % 12 : 0);
    cmds += "kv " + quoted(key);
    if (control & 1) cmds += " " + quoted(text(i < size ? data[i++] % 12 : 0));
    cmds += (control & 8) ? "\r\n" : "\n";
    ++items;
    if ((control & 6) == 2 && depth < 8) {
      cmds += "enter\n";
      ++depth;
    } else if ((control & 6) == 4 && depth > 0) {
      cmds += "exit\n";
      --depth;
      ++exits;
    }
  }
  for (; depth > 0; --depth, ++exits) cmds += "exit\n";
  cmds += "done\n";

  char* file = nullptr;
  size_t file_len = 0;
  FILE* in = fmemopen(&cmds[0], cmds.size(), "r");
  FILE* out = open_memstream(&file, &file_len);
  FILE* saved_stdin = stdin;
  stdin = in;
  int ended = 0;
  FUZZ_GUARDED(ended, {
    if (write_config(out) != 0) abort();
  });
  stdin = saved_stdin;
  fclose(in);
  if (ended != -1) abort();  // well-formed commands never end the run

  char* lines = nullptr;
  size_t lines_len = 0;
  FILE* back = fmemopen(file_len ? file : (char*)"", file_len ? file_len : 1, "r");
  if (!file_len) fgetc(back);
  FILE* saved_stdout = stdout;
  stdout = open_memstream(&lines, &lines_len);
  FUZZ_GUARDED(ended, {
    if (read_config(back) != 0) abort();
  });
  fclose(stdout);
  stdout = saved_stdout;
  fclose(back);
  if (ended != -1) abort();
  std::string report(lines, lines_len);
  if (count_lines(report, "cfg_kv") + count_lines(report, "cfg_enter") != items) abort();
  if (count_lines(report, "cfg_exit") != exits) abort();
  free(lines);
  free(file);
  return 0;
}
