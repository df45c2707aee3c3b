// Fonts for tests: configurations of the tests' own.
#include "tests/font_fixture.h"

#include <stdio.h>
#include <stdlib.h>

const char kDejaVuFolder[] = "/usr/share/fonts/truetype/dejavu";
const char kWineFontFolder[] = "/usr/share/wine/fonts";

std::string write_font_config(const temp_dir& dir, const std::vector<std::string>& folders,
                              const std::string& extra) {
  std::string text = "<?xml version=\"1.0\"?>\n<fontconfig>\n";
  for (const std::string& f : folders) text += "  <dir>" + f + "</dir>\n";
  text +=
      "  <cachedir>" + dir.file("fc-cache") + "</cachedir>\n"
      "  <match target=\"pattern\"><edit name=\"antialias\" mode=\"assign\">"
      "<bool>true</bool></edit></match>\n"
      "  <alias><family>monospace</family><prefer><family>DejaVu Sans Mono</family>"
      "</prefer></alias>\n"
      "  <alias><family>sans-serif</family><prefer><family>DejaVu Sans</family>"
      "</prefer></alias>\n"
      "  <alias><family>serif</family><prefer><family>DejaVu Serif</family>"
      "</prefer></alias>\n"
      "  <alias binding=\"same\"><family>Bitstream Vera Sans Mono</family>"
      "<accept><family>DejaVu Sans Mono</family></accept></alias>\n" +
      extra + "</fontconfig>\n";
  std::string path = dir.file("fonts.conf");
  return write_file(path, text) ? path : "";
}

bool have_font_file(const std::string& folder, const std::string& file) {
  std::string path = folder + "/" + file;
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return false;
  fclose(f);
  return true;
}

void use_test_fonts() {
#ifndef _WIN32
  // One configuration for the process, removed when it ends.
  static temp_dir dir;
  static const std::string conf = write_font_config(dir, {kDejaVuFolder, kWineFontFolder});
  setenv("FONTCONFIG_FILE", conf.c_str(), 1);
  unsetenv("XH_FONT_PATH");
#endif
}

int64_t font_file_size(const std::string& path) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return -1;
  int64_t n = 0;
  char buf[65536];
  size_t got;
  while ((got = fread(buf, 1, sizeof buf, f)) > 0) n += (int64_t)got;
  fclose(f);
  return n;
}
