// The font mapper on font configurations of the tests' own: which face a
// logical font gets and through which code page its text is drawn.  The
// font services read their configuration once per process, so each
// configuration is tried in a child process, which reports what it found.
#include <ftw.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/font/plat_font-posix.h"

namespace {

const char kDejaVu[] = "/usr/share/fonts/truetype/dejavu";
const char kWineFonts[] = "/usr/share/wine/fonts";

bool readable(const std::string& path) { return access(path.c_str(), R_OK) == 0; }

// The first folder of the list that holds file.
std::string folder_with(const std::vector<std::string>& folders, const char* file) {
  for (const std::string& f : folders)
    if (readable(f + "/" + file)) return f;
  return "";
}

std::string liberation_dir() {
  const std::string t = XH_TEST_FONTS;
  return folder_with({"/usr/share/fonts/truetype/liberation2",
                      t + "/fonts-liberation2/usr/share/fonts/truetype/liberation2",
                      "/usr/share/fonts/truetype/liberation",
                      t + "/fonts-liberation/usr/share/fonts/truetype/liberation"},
                     "LiberationMono-Regular.ttf");
}

std::string x11_dir() {
  const std::string t = XH_TEST_FONTS;
  return folder_with({"/usr/share/fonts/X11/100dpi",
                      t + "/xfonts-100dpi/usr/share/fonts/X11/100dpi"},
                     "courR12-ISO8859-1.pcf.gz");
}

int remove_entry(const char* path, const struct stat*, int, struct FTW*) {
  return remove(path);
}

// A temporary folder with a fontconfig configuration that holds the
// folders given, the generic names of a fresh Debian machine and the
// metric aliases that fontconfig ships, and nothing of the system's.
struct config {
  std::string dir;
  std::string file;
  explicit config(const std::vector<std::string>& folders) {
    const char* tmp = getenv("TMPDIR");
    dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/plat_font_mapper_XXXXXX";
    if (!mkdtemp(&dir[0])) return;
    file = dir + "/fonts.conf";
    FILE* f = fopen(file.c_str(), "w");
    if (!f) return;
    fprintf(f, "<?xml version=\"1.0\"?>\n<fontconfig>\n");
    for (const std::string& d : folders) fprintf(f, "  <dir>%s</dir>\n", d.c_str());
    fprintf(f,
            "  <cachedir>%s/cache</cachedir>\n"
            "  <alias><family>monospace</family><prefer><family>DejaVu Sans Mono</family>"
            "</prefer></alias>\n"
            "  <alias><family>sans-serif</family><prefer><family>DejaVu Sans</family>"
            "</prefer></alias>\n"
            "  <alias><family>sans</family><prefer><family>DejaVu Sans</family>"
            "</prefer></alias>\n"
            "  <alias><family>serif</family><prefer><family>DejaVu Serif</family>"
            "</prefer></alias>\n"
            "  <alias binding=\"same\"><family>Courier New</family><accept>"
            "<family>Liberation Mono</family></accept></alias>\n"
            "  <alias binding=\"same\"><family>Arial</family><accept>"
            "<family>Liberation Sans</family></accept></alias>\n"
            "  <alias binding=\"same\"><family>Times New Roman</family><accept>"
            "<family>Liberation Serif</family></accept></alias>\n"
            "  <alias binding=\"same\"><family>Helvetica</family><accept>"
            "<family>Liberation Sans</family></accept></alias>\n"
            "  <alias binding=\"same\"><family>Courier</family><accept>"
            "<family>Liberation Mono</family></accept></alias>\n"
            "</fontconfig>\n",
            dir.c_str());
    fclose(f);
  }
  ~config() {
    if (!dir.empty() && dir.find("XXXXXX") == std::string::npos)
      nftw(dir.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
  }
};

plat_logfont logfont(const char* face, int32_t height, uint8_t charset = 0,
                     uint8_t pitch_and_family = 0) {
  plat_logfont lf;
  memset(&lf, 0, sizeof lf);
  lf.lfHeight = height;
  lf.lfWeight = 400;
  lf.lfCharSet = charset;
  lf.lfPitchAndFamily = pitch_and_family;
  snprintf(lf.lfFaceName, sizeof lf.lfFaceName, "%s", face);
  return lf;
}

// What body returns, run in a child process on the configuration, with
// XH_FONT_PATH set to font_path.
std::string in_child(const config& c, const char* font_path,
                     const std::function<std::string()>& body) {
  int fds[2];
  if (c.file.empty() || pipe(fds) != 0) return "";
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    setenv("FONTCONFIG_FILE", c.file.c_str(), 1);
    setenv("XH_FONT_PATH", font_path, 1);
    const std::string text = body();
    ssize_t ignored = write(fds[1], text.data(), text.size());
    (void)ignored;
    _exit(0);
  }
  close(fds[1]);
  std::string text;
  char buf[512];
  ssize_t n;
  while ((n = read(fds[0], buf, sizeof buf)) > 0) text.append(buf, (size_t)n);
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  return text;
}

// For each logical font, what a process on the configuration realises:
// "family cp" for an outline face, "family cp raster H" for a bitmap face
// with its cell height H, or "none".
std::vector<std::string> realise(const config& c, const std::vector<plat_logfont>& fonts,
                                 const char* font_path = "") {
  const std::string text = in_child(c, font_path, [&fonts]() {
    std::string t;
    for (const plat_logfont& lf : fonts) {
      plat_hfont* f = plat_font_create(&lf);
      char line[256];
      if (!f)
        snprintf(line, sizeof line, "none\n");
      else if (f->scalable)
        snprintf(line, sizeof line, "%s %u\n", f->face->family_name, (unsigned)f->code_page);
      else
        snprintf(line, sizeof line, "%s %u raster %d\n", f->face->family_name,
                 (unsigned)f->code_page, (int)(f->ascent + f->descent));
      t += line;
      plat_font_delete(f);
    }
    return t;
  });
  std::vector<std::string> out;
  size_t at = 0;
  for (size_t nl; (nl = text.find('\n', at)) != std::string::npos; at = nl + 1)
    out.push_back(text.substr(at, nl - at));
  return out;
}

int count_font(const plat_logfont*, const plat_text_metrics*, uint32_t, void* context) {
  ++*(int*)context;
  return 1;
}

void expect_faces(const std::vector<std::string>& got, const std::vector<std::string>& want,
                  const std::vector<plat_logfont>& fonts) {
  ASSERT_EQ(want.size(), got.size());
  for (size_t i = 0; i < want.size(); ++i)
    EXPECT_EQ(want[i], got[i]) << "face \"" << fonts[i].lfFaceName << "\" height "
                               << fonts[i].lfHeight << " charset " << (int)fonts[i].lfCharSet
                               << " pitch and family " << (int)fonts[i].lfPitchAndFamily;
}

// With the DejaVu faces alone, a face that is missing, or that lacks the
// character set, gets the default face of the kind asked for.
TEST(FontMapper, DejaVuOnly) {
  if (!readable(std::string(kDejaVu) + "/DejaVuSans.ttf")) GTEST_SKIP() << "no DejaVu";
  config c({kDejaVu});
  const std::vector<plat_logfont> fonts = {
      logfont("", -13),
      logfont("", -13, 0, 1),     // fixed pitch
      logfont("", -13, 0, 0x31),  // modern, fixed
      logfont("", -13, 0, 0x32),  // modern, variable: modern decides
      logfont("", -13, 0, 0x12),  // roman
      logfont("Courier New", -13),
      logfont("Courier New", -13, 0, 1),
      logfont("MS Shell Dlg", 13),
      logfont("DejaVu Sans Mono", 13, 204),  // has Cyrillic: kept, page 1251
      logfont("DejaVu Sans Mono", 13, 161),
      logfont("DejaVu Sans Mono", 13, 128),  // no Japanese: the sans default
      logfont("DejaVu Sans", 13, 222),       // no Thai: any set, page 1252
      logfont("DejaVu Sans", 13, 255),       // OEM: no page of its own
      logfont("DejaVu Sans", 13, 1),         // default set
      logfont("DejaVu Serif", 13, 2),        // no symbol face at all
  };
  expect_faces(realise(c, fonts),
               {"DejaVu Sans 1252", "DejaVu Sans Mono 1252", "DejaVu Sans Mono 1252",
                "DejaVu Sans Mono 1252", "DejaVu Serif 1252", "DejaVu Sans 1252",
                "DejaVu Sans Mono 1252", "DejaVu Sans 1252", "DejaVu Sans Mono 1251",
                "DejaVu Sans Mono 1253", "DejaVu Sans 1252", "DejaVu Sans 1252",
                "DejaVu Sans 1252", "DejaVu Sans 1252", "DejaVu Sans 1252"},
               fonts);
}

// With Liberation too, a missing face that Liberation is metric-compatible
// with gets it whatever the pitch asked for, and the mapper's default faces
// are Liberation's.
TEST(FontMapper, WithLiberation) {
  if (!readable(std::string(kDejaVu) + "/DejaVuSans.ttf")) GTEST_SKIP() << "no DejaVu";
  const std::string lib = liberation_dir();
  if (lib.empty()) GTEST_SKIP() << "no Liberation fonts (scripts/setup fetches them)";
  config c({kDejaVu, lib});
  const std::vector<plat_logfont> fonts = {
      logfont("Courier New", -13),       logfont("Arial", 13, 0, 0x31),
      logfont("Times New Roman", 20),    logfont("Helvetica", 13),
      logfont("", -13),                  logfont("", -13, 0, 1),
      logfont("", -13, 0, 0x12),         logfont("Nofont", 13, 204, 1),
      logfont("Liberation Mono", 13, 128),
  };
  expect_faces(realise(c, fonts),
               {"Liberation Mono 1252", "Liberation Sans 1252", "Liberation Serif 1252",
                "Liberation Sans 1252", "Liberation Sans 1252", "Liberation Mono 1252",
                "Liberation Serif 1252", "Liberation Mono 1251", "Liberation Sans 1252"},
               fonts);
}

// With the platform's raster faces: the substitutes, strikes of the sets
// a Western installation registers only, and no raster face for a face
// that is not raster.
TEST(FontMapper, WithRasterFaces) {
  if (!readable(std::string(kDejaVu) + "/DejaVuSans.ttf")) GTEST_SKIP() << "no DejaVu";
  if (!readable(std::string(kWineFonts) + "/coure.fon")) GTEST_SKIP() << "no " << kWineFonts;
  config c({kDejaVu});
  const std::vector<plat_logfont> fonts = {
      logfont("Courier", 30),          logfont("Courier New", 30, 0, 1),
      logfont("Courier", 13, 161),     logfont("Courier", 13, 255),
      logfont("Helv", 13),             logfont("MS Shell Dlg", 13),
      logfont("MS Shell Dlg", 13, 161),  // Tahoma has no Greek
      logfont("System", 13, 204),      // System draws Cyrillic through Tahoma
      logfont("System", 13, 161),      logfont("Wingdings", 13, 1),
      logfont("Wingdings", 13, 0),     logfont("Tahoma", 13, 2),
  };
  expect_faces(realise(c, fonts, kWineFonts),
               {"Courier 1252 raster 26", "DejaVu Sans Mono 1252", "DejaVu Sans 1253",
                "Courier 1252 raster 13", "MS Sans Serif 1252 raster 13", "Tahoma 1252",
                "DejaVu Sans 1253", "System 1251 raster 16", "DejaVu Sans 1253",
                "Wingdings 42", "DejaVu Sans 1252", "Marlett 42"},
               fonts);
}

// X11 core fonts stay hidden: they are no face of the catalogue, so a
// name of theirs is mapped as a missing face.
TEST(FontMapper, X11CoreFontsStayHidden) {
  if (!readable(std::string(kDejaVu) + "/DejaVuSans.ttf")) GTEST_SKIP() << "no DejaVu";
  const std::string x11 = x11_dir();
  if (x11.empty()) GTEST_SKIP() << "no X11 100dpi fonts (scripts/setup fetches them)";
  config c({kDejaVu});
  const std::vector<plat_logfont> fonts = {logfont("Courier", 13, 0, 1),
                                           logfont("Lucida Typewriter", 13, 0, 0x31),
                                           logfont("Helvetica", 14)};
  expect_faces(realise(c, fonts, x11.c_str()),
               {"DejaVu Sans Mono 1252", "DejaVu Sans Mono 1252", "DejaVu Sans 1252"}, fonts);
  // Nor does an enumeration report them.
  const std::string counts = in_child(c, x11.c_str(), [&fonts]() {
    std::string t;
    plat_screen* screen = plat_screen_get();
    for (const plat_logfont& lf : fonts) {
      int n = 0;
      plat_font_enumerate(screen, &lf, count_font, &n);
      t += std::to_string(n) + " ";
    }
    plat_screen_release(screen);
    return t;
  });
  EXPECT_EQ("0 0 0 ", counts);
}

}  // namespace
