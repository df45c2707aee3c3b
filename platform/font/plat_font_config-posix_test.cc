// The program's own font configuration: its text, and that with it the
// font services find bitmap faces that the system's configuration rejects,
// and faces in the folders that XH_FONT_PATH names.
#include "platform/font/plat_font_config-posix.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <stdio.h>
#include <string.h>

#include <string>

#include "platform/plat_font.h"
#include "platform/font/plat_fontlib.h"
#include "tests/harness.h"

namespace {

std::string config_text(const char* font_path, const char* cwd) {
  size_t n = plat_font_config_text(font_path, cwd, nullptr, 0);
  std::string s(n + 1, '\0');
  EXPECT_EQ(n, plat_font_config_text(font_path, cwd, &s[0], s.size()));
  s.resize(n);
  return s;
}

size_t count(const std::string& s, const std::string& what) {
  size_t n = 0;
  for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1)) ++n;
  return n;
}

TEST(FontConfig, TextAcceptsBitmapFacesAndAddsTheFolders) {
  std::string none = config_text(nullptr, "/w");
  EXPECT_EQ(none, config_text("", "/w"));
  EXPECT_EQ(none, config_text(":::", "/w"));
  EXPECT_EQ(0u, count(none, "<dir>"));
  EXPECT_EQ(1u, count(none, "<acceptfont><pattern><patelt name=\"scalable\">"
                            "<bool>false</bool></patelt><patelt name=\"fontformat\">"
                            "<string>Windows FNT</string></patelt></pattern><pattern>"
                            "<patelt name=\"scalable\"><bool>false</bool></patelt>"
                            "<patelt name=\"fontformat\"><string>TrueType</string>"
                            "</patelt></pattern></acceptfont>"));
  EXPECT_EQ(0u, none.find("<?xml"));
  EXPECT_EQ(none.size() - 14, none.rfind("</fontconfig>\n"));

  // Empty names between separators are passed over, relative ones are
  // taken from the working folder, and markup in a name stays text.
  std::string some = config_text("/fonts/a::b<&>c:/x/y:", "/home/u");
  EXPECT_EQ(3u, count(some, "<dir>"));
  EXPECT_NE(std::string::npos, some.find("<dir>/fonts/a</dir>"));
  EXPECT_NE(std::string::npos, some.find("<dir>/home/u/b&lt;&amp;&gt;c</dir>"));
  EXPECT_NE(std::string::npos, some.find("<dir>/x/y</dir>"));
  EXPECT_NE(std::string::npos, config_text("f", "/").find("<dir>/f</dir>"));
  EXPECT_NE(std::string::npos, config_text("f", "").find("<dir>f</dir>"));
}

TEST(FontConfig, TextIsCutAsSnprintfCutsIt) {
  std::string whole = config_text("/fonts", "/");
  char small[16];
  memset(small, 'x', sizeof small);
  EXPECT_EQ(whole.size(), plat_font_config_text("/fonts", "/", small, sizeof small));
  EXPECT_EQ(whole.substr(0, 15), std::string(small));
  char one = 'x';
  EXPECT_EQ(whole.size(), plat_font_config_text("/fonts", "/", &one, 1));
  EXPECT_EQ('\0', one);
}

const char kWineFonts[] = "/usr/share/wine/fonts";
const char kDejaVu[] = "/usr/share/fonts/truetype/dejavu";

struct found {
  int count = 0;
  uint32_t type = 0;
};

int note_face(const plat_logfont*, const plat_text_metrics*, uint32_t type, void* context) {
  found* f = (found*)context;
  ++f->count;
  f->type = type;
  return 1;
}

found enumerate(const char* face) {
  plat_logfont q;
  memset(&q, 0, sizeof q);
  snprintf(q.lfFaceName, sizeof q.lfFaceName, "%s", face);
  found f;
  plat_font_enumerate(nullptr, &q, note_face, &f);
  return f;
}

// Whether the font services have started in this process: they read their
// configuration once, so each case below holds in a process of its own
// (as CTest runs them).
#define SKIP_IF_STARTED()                                                 \
  if (plat_fontlib_loaded())                                              \
  GTEST_SKIP() << "an earlier case of this process started the font services"

// A configuration that, as Debian's does by default, rejects every bitmap
// face; the folders named are its only fonts.
std::string rejecting_config(const temp_dir& dir, const std::string& folder) {
  std::string conf = dir.file("fonts.conf");
  bool ok = write_file(
      conf, "<?xml version=\"1.0\"?>\n<fontconfig>\n"
            "  <dir>" + folder + "</dir>\n"
            "  <cachedir>" + dir.file("fc-cache") + "</cachedir>\n"
            "  <selectfont><rejectfont><pattern><patelt name=\"scalable\">"
            "<bool>false</bool></patelt></pattern></rejectfont></selectfont>\n"
            "</fontconfig>\n");
  return ok ? conf : "";
}

TEST(FontConfig, BitmapFacesAreFoundWhereTheSystemRejectsThem) {
  SKIP_IF_STARTED();
  if (!is_dir(kWineFonts)) GTEST_SKIP() << "no bitmap faces installed";
  temp_dir dir;
  std::string conf = rejecting_config(dir, kWineFonts);
  ASSERT_FALSE(conf.empty());
  setenv("FONTCONFIG_FILE", conf.c_str(), 1);
  unsetenv("XH_FONT_PATH");
  found courier = enumerate("Courier");
  EXPECT_GE(courier.count, 1);
  EXPECT_EQ(PLAT_RASTER_FONTTYPE, courier.type);
  EXPECT_GE(enumerate("MS Sans Serif").count, 1);
  // The outline faces beside them are there as before.
  found tahoma = enumerate("Tahoma");
  EXPECT_GE(tahoma.count, 1);
  EXPECT_NE(PLAT_RASTER_FONTTYPE, tahoma.type);
}

TEST(FontConfig, MoreFoldersComeFromTheEnvironment) {
  SKIP_IF_STARTED();
  if (!is_dir(kWineFonts) || !is_dir(kDejaVu)) GTEST_SKIP() << "fonts not installed";
  temp_dir dir;
  std::string conf = rejecting_config(dir, kDejaVu);
  ASSERT_FALSE(conf.empty());
  setenv("FONTCONFIG_FILE", conf.c_str(), 1);
  // An empty entry and a folder that does not exist are harmless.
  std::string path = std::string(dir.file("none")) + "::" + kWineFonts;
  setenv("XH_FONT_PATH", path.c_str(), 1);
  EXPECT_GE(enumerate("DejaVu Sans").count, 1);
  EXPECT_GE(enumerate("Tahoma").count, 1);
  found courier = enumerate("Courier");
  EXPECT_GE(courier.count, 1);
  EXPECT_EQ(PLAT_RASTER_FONTTYPE, courier.type);
  unsetenv("XH_FONT_PATH");
}

TEST(FontConfig, WithoutTheFoldersTheirFacesAreMissing) {
  SKIP_IF_STARTED();
  if (!is_dir(kDejaVu)) GTEST_SKIP() << "DejaVu not installed";
  temp_dir dir;
  std::string conf = rejecting_config(dir, kDejaVu);
  ASSERT_FALSE(conf.empty());
  setenv("FONTCONFIG_FILE", conf.c_str(), 1);
  unsetenv("XH_FONT_PATH");
  EXPECT_GE(enumerate("DejaVu Sans").count, 1);
  EXPECT_EQ(0, enumerate("Tahoma").count);
  EXPECT_EQ(0, enumerate("Courier").count);
}

}  // namespace
