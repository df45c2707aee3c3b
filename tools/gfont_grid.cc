// Renders a list of font descriptions in one process and compares two such
// renderings, so that the glyph sets of two builds can be held side by side
// set for set.  Starting the font system is the expensive part under an
// emulator, so one run renders the whole list.
//
//   gfont_grid render LIST OUT
//       LIST holds one description a line: a "LOGFONT(...)" text or a face
//       list with ":size" (blank lines and lines starting with '#' are
//       skipped).  OUT receives, for each, the description, a tab, and the
//       Base64 of the glyph set's byte form, or "-" when it gives no font.
//       A line "## NAME" starts a section of the list: it is copied to OUT,
//       and the sets after it count in the section NAME.
//
//   gfont_grid compare A B [--known FILE] [--all] [--record FILE]
//       Compares two outputs of render.  Prints the first difference (the
//       description, the code and the field) and a table of identical sets
//       per face and quality.  FILE lists descriptions that are known to
//       differ, one a line with a tab and the reason; with it the exit
//       status is 1 when a set differs that is not listed, or when a listed
//       set has become identical, and 0 otherwise.  A set whose reason
//       begins with "varies from run to run" may come out either way.  Without it the status
//       is 1 when any set differs.  --all prints every differing set.
//       --record writes every differing description with its first
//       difference, in the form of the known list.  When the renderings
//       have sections, a second table counts the identical sets per
//       section; with a list that has kinds, a third counts the listed
//       sets of each kind that still differ.
//
// A developer and test tool; it is no part of the program.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <map>
#include <string>
#include <vector>

#include "history/gui/gfont/gfont.h"
#include "history/gui/util/strutil/strutil.h"
#include "shared/gen_alloc.h"
#include "tools/gfont_sets.h"

namespace {

// The two forms of a description, as the fonts command resolves them.
gfont* resolve(const std::string& text) {
  gfont* g = gfont_from_text(text.c_str());
  if (g) return g;
  size_t colon = text.find(':');
  if (colon == std::string::npos) return nullptr;
  long size = strtol(text.c_str() + colon + 1, nullptr, 10);
  std::string list = text.substr(0, colon);
  return gfont_choose(list.c_str(), (int32_t)size);
}

bool read_lines(const char* path, std::vector<std::string>* out) {
  FILE* f = fopen(path, "rb");
  if (!f) return false;
  std::string line;
  int ch;
  while ((ch = fgetc(f)) != EOF) {
    if (ch == '\n') {
      out->push_back(line);
      line.clear();
    } else if (ch != '\r') {
      line.push_back((char)ch);
    }
  }
  if (!line.empty()) out->push_back(line);
  fclose(f);
  return true;
}

int render(const char* list_path, const char* out_path) {
  std::vector<std::string> lines;
  if (!read_lines(list_path, &lines)) {
    fprintf(stderr, "gfont_grid: cannot read %s\n", list_path);
    return 2;
  }
  FILE* out = fopen(out_path, "wb");
  if (!out) {
    fprintf(stderr, "gfont_grid: cannot write %s\n", out_path);
    return 2;
  }
  for (const std::string& d : lines) {
    if (d.compare(0, 3, "## ") == 0) {
      fprintf(out, "%s\n", d.c_str());
      continue;
    }
    if (d.empty() || d[0] == '#') continue;
    gfont* g = resolve(d);
    fputs(d.c_str(), out);
    fputc('\t', out);
    if (!g) {
      fputs("-\n", out);
      continue;
    }
    size_t length = 0;
    uint8_t* bytes = gfont_serialize(g, &length);
    char* b64 = base64_encode(bytes, length);
    fputs(b64, out);
    fputc('\n', out);
    gen_free(b64);
    gen_free(bytes);
    gfont_free(g);
  }
  if (fclose(out) != 0) {
    fprintf(stderr, "gfont_grid: cannot write %s\n", out_path);
    return 2;
  }
  return 0;
}

// ---- Comparison ---------------------------------------------------------

struct set_entry {
  std::string desc;
  std::string section;  // the "## NAME" line it came after; "" before any
  bool present = false;  // a font was found
  std::vector<uint8_t> bytes;
};

bool load_output(const char* path, std::vector<set_entry>* out) {
  std::vector<std::string> lines;
  if (!read_lines(path, &lines)) return false;
  std::string section;
  for (const std::string& l : lines) {
    if (l.compare(0, 3, "## ") == 0) section = l.substr(3);
    size_t tab = l.find('\t');
    if (tab == std::string::npos) continue;
    set_entry e;
    e.section = section;
    e.desc = l.substr(0, tab);
    std::string data = l.substr(tab + 1);
    e.present = data != "-";
    if (e.present) e.bytes = sets_base64_decode(data);
    out->push_back(e);
  }
  return true;
}

int32_t le32(const std::vector<uint8_t>& b, size_t at) {
  if (at + 4 > b.size()) return INT32_MIN;
  return (int32_t)((uint32_t)b[at] | (uint32_t)b[at + 1] << 8 |
                   (uint32_t)b[at + 2] << 16 | (uint32_t)b[at + 3] << 24);
}

// The first difference of two byte forms, in words; empty when the same.
std::string first_difference(const set_entry& a, const set_entry& b) {
  char buf[256];
  if (a.present != b.present) {
    snprintf(buf, sizeof buf, "font: native %s, win32 %s",
             a.present ? "found" : "none", b.present ? "found" : "none");
    return buf;
  }
  if (a.bytes == b.bytes) return "";
  const std::vector<uint8_t>& x = a.bytes;
  const std::vector<uint8_t>& y = b.bytes;
  const char* const kHead[] = {"ascent", "descent"};
  for (int k = 0; k < 2; ++k) {
    int32_t u = le32(x, 128 + 4 * k), v = le32(y, 128 + 4 * k);
    if (u != v) {
      snprintf(buf, sizeof buf, "field %s: native %d, win32 %d", kHead[k], u, v);
      return buf;
    }
  }
  if (memcmp(x.data(), y.data(), x.size() < 128 || y.size() < 128 ? 0 : 128) != 0)
    return "field name";
  int32_t height = le32(x, 128) + le32(x, 132);
  size_t pa = 136, pb = 136;
  const char* const kFields[] = {"pad_left", "pad_right", "width", "advance"};
  for (int code = 0; code < 256; ++code) {
    int32_t fa[4], fb[4];
    for (int k = 0; k < 4; ++k) {
      fa[k] = le32(x, pa + 4 * k);
      fb[k] = le32(y, pb + 4 * k);
    }
    for (int k = 0; k < 4; ++k) {
      if (fa[k] != fb[k]) {
        snprintf(buf, sizeof buf, "code %d field %s: native %d, win32 %d", code,
                 kFields[k], fa[k], fb[k]);
        return buf;
      }
    }
    pa += 16;
    pb += 16;
    if (fa[2] < 0 || height < 0) return "malformed byte form";
    size_t n = (size_t)fa[2] * (size_t)height;
    if (pa + n > x.size() || pb + n > y.size()) return "byte form cut short";
    for (size_t i = 0; i < n; ++i) {
      if (x[pa + i] != y[pb + i]) {
        snprintf(buf, sizeof buf,
                 "code %d field pixels (row %d, column %d): native %d, win32 %d",
                 code, (int)(i / fa[2]), (int)(i % fa[2]), x[pa + i], y[pb + i]);
        return buf;
      }
    }
    pa += n;
    pb += n;
  }
  snprintf(buf, sizeof buf, "length: native %zu, win32 %zu", x.size(), y.size());
  return buf;
}

// The row and column of the identity table that a description counts in:
// the face and the quality of a logical-font text, or the face list.
void classify(const std::string& desc, std::string* face, std::string* quality) {
  plat_logfont lf;
  if (gfont_parse_logfont(desc.c_str(), &lf)) {
    char name[sizeof lf.lfFaceName + 1];
    memcpy(name, lf.lfFaceName, sizeof lf.lfFaceName);
    name[sizeof lf.lfFaceName] = 0;
    *face = name[0] ? name : "(no name)";
    *quality = std::to_string((int)lf.lfQuality);
    return;
  }
  size_t colon = desc.find(':');
  *face = desc.substr(0, colon);
  *quality = "list";
}

// Identical and total sets, by row and column, in the order first seen.
struct tally {
  std::vector<std::string> rows;
  std::map<std::string, std::map<std::string, std::pair<int, int>>> cells;
  void add(const std::string& row, const std::string& col, bool same) {
    if (!cells.count(row)) rows.push_back(row);
    std::pair<int, int>& c = cells[row][col];
    c.first += same;
    ++c.second;
  }
};

std::string ratio(int a, int b) { return std::to_string(a) + "/" + std::to_string(b); }

void print_tally(const char* title, const char* row_head, const tally& t,
                 const std::vector<std::string>& cols,
                 const std::vector<std::string>& headings) {
  printf("\n%s (identical/total)\n%-24s", title, row_head);
  for (const std::string& h : headings) printf(" %10s", h.c_str());
  printf(" %10s\n", "all");
  std::map<std::string, std::pair<int, int>> by_col;
  int ai = 0, at = 0;
  for (const std::string& r : t.rows) {
    printf("%-24s", r.c_str());
    int ri = 0, rt = 0;
    for (const std::string& c : cols) {
      auto it = t.cells.at(r).find(c);
      if (it == t.cells.at(r).end()) {
        printf(" %10s", "");
        continue;
      }
      printf(" %10s", ratio(it->second.first, it->second.second).c_str());
      ri += it->second.first;
      rt += it->second.second;
      by_col[c].first += it->second.first;
      by_col[c].second += it->second.second;
    }
    printf(" %10s\n", ratio(ri, rt).c_str());
    ai += ri;
    at += rt;
  }
  printf("%-24s", "all");
  for (const std::string& c : cols) printf(" %10s", ratio(by_col[c].first, by_col[c].second).c_str());
  printf(" %10s\n", ratio(ai, at).c_str());
}

// The known list: each description's reason, and the reasons of kinds.
struct known_list {
  std::map<std::string, std::string> entries;  // description -> reason or kind
  std::map<std::string, std::string> kinds;    // kind -> reason
  std::vector<std::string> kind_order;
  std::string reason(const std::string& entry) const {
    auto k = kinds.find(entry);
    return k == kinds.end() ? entry : k->second;
  }
};

bool load_known(const char* path, known_list* out) {
  std::vector<std::string> lines;
  if (!read_lines(path, &lines)) return false;
  for (const std::string& l : lines) {
    if (l.empty() || l[0] == '#') continue;
    size_t tab = l.find('\t');
    if (l.compare(0, 5, "kind\t") == 0) {
      // kind TAB NAME TAB PATTERN TAB REASON
      size_t t2 = l.find('\t', 5), t3 = t2 == std::string::npos ? t2 : l.find('\t', t2 + 1);
      std::string name = l.substr(5, t2 == std::string::npos ? t2 : t2 - 5);
      out->kinds[name] = t3 == std::string::npos ? "" : l.substr(t3 + 1);
      out->kind_order.push_back(name);
      continue;
    }
    out->entries[l.substr(0, tab)] = tab == std::string::npos ? "" : l.substr(tab + 1);
  }
  return true;
}

int compare(const char* path_a, const char* path_b, const char* known_path,
            bool all, const char* record_path) {
  std::vector<set_entry> a, b;
  if (!load_output(path_a, &a) || !load_output(path_b, &b)) {
    fprintf(stderr, "gfont_grid: cannot read the renderings\n");
    return 2;
  }
  known_list known;
  if (known_path && !load_known(known_path, &known)) {
    fprintf(stderr, "gfont_grid: cannot read %s\n", known_path);
    return 2;
  }
  FILE* record = nullptr;
  if (record_path && !(record = fopen(record_path, "wb"))) {
    fprintf(stderr, "gfont_grid: cannot write %s\n", record_path);
    return 2;
  }
  std::map<std::string, const set_entry*> by_desc;
  for (const set_entry& e : b) by_desc[e.desc] = &e;

  std::vector<std::string> qualities;
  tally faces, sections, kinds;
  int identical = 0, total = 0, unexpected = 0, healed = 0;
  bool first_reported = false, any_section = false;
  for (const set_entry& e : a) {
    auto it = by_desc.find(e.desc);
    std::string diff;
    if (it == by_desc.end())
      diff = "missing from the win32 rendering";
    else
      diff = first_difference(e, *it->second);
    std::string face, quality;
    classify(e.desc, &face, &quality);
    bool new_quality = true;
    for (const std::string& q : qualities) new_quality = new_quality && q != quality;
    if (new_quality) qualities.push_back(quality);
    faces.add(face, quality, diff.empty());
    sections.add(e.section.empty() ? "(none)" : e.section, "", diff.empty());
    any_section = any_section || !e.section.empty();
    ++total;
    auto k = known.entries.find(e.desc);
    bool listed = k != known.entries.end();
    if (listed && known.kinds.count(k->second)) kinds.add(k->second, "", diff.empty());
    if (diff.empty()) {
      ++identical;
      // A set that one side renders differently from run to run may
      // happen to agree.
      if (listed && known.reason(k->second).rfind("varies from run to run", 0) != 0) {
        ++healed;
        printf("now identical, take it off the list: %s\n", e.desc.c_str());
      }
      continue;
    }
    if (record) fprintf(record, "%s\t%s\n", e.desc.c_str(), diff.c_str());
    bool counts = !known_path || !listed;
    if (counts) ++unexpected;
    if ((counts && !first_reported) || all) {
      printf("%s: %s%s\n", e.desc.c_str(), diff.c_str(),
             listed ? " (listed)" : "");
      first_reported = first_reported || counts;
    }
  }
  // The quality columns: numbers first in order, then the face lists.
  std::vector<std::string> cols, headings;
  for (int q = 0; q < 256; ++q)
    for (const std::string& s : qualities)
      if (s == std::to_string(q)) cols.push_back(s), headings.push_back("quality " + s);
  for (const std::string& s : qualities)
    if (s == "list") cols.push_back(s), headings.push_back("face list");
  print_tally("identical sets, native against win32", "face", faces, cols, headings);
  if (any_section)
    print_tally("identical sets per section", "section", sections, {""}, {"sets"});
  if (!kinds.rows.empty())
    print_tally("listed sets per kind that came out identical", "kind", kinds, {""},
                {"sets"});
  for (const std::string& name : known.kind_order)
    if (!kinds.cells.count(name)) printf("kind %s lists no set of this grid\n", name.c_str());
  if (record && fclose(record) != 0) {
    fprintf(stderr, "gfont_grid: cannot write %s\n", record_path);
    return 2;
  }
  if (known_path) {
    printf("%d differing sets not on the list, %d listed sets now identical\n",
           unexpected, healed);
    return unexpected || healed ? 1 : 0;
  }
  return unexpected ? 1 : 0;
}

int usage() {
  fprintf(stderr,
          "usage: gfont_grid render LIST OUT\n"
          "       gfont_grid compare A B [--known FILE] [--all] [--record FILE]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && strcmp(argv[1], "render") == 0) return render(argv[2], argv[3]);
  if (argc >= 4 && strcmp(argv[1], "compare") == 0) {
    const char* known = nullptr;
    const char* record = nullptr;
    bool all = false;
    for (int i = 4; i < argc; ++i) {
      if (strcmp(argv[i], "--known") == 0 && i + 1 < argc)
        known = argv[++i];
      else if (strcmp(argv[i], "--record") == 0 && i + 1 < argc)
        record = argv[++i];
      else if (strcmp(argv[i], "--all") == 0)
        all = true;
      else
        return usage();
    }
    return compare(argv[2], argv[3], known, all, record);
  }
  return usage();
}
