#include "tools/gfont_sets.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

void put32(std::vector<uint8_t>* b, int32_t v) {
  for (int i = 0; i < 4; ++i) b->push_back((uint8_t)((uint32_t)v >> (8 * i)));
}

// A byte form with descent 1 and glyph 'A' (65) two columns wide, ink in
// its second row; every other code is a blank of advance 3.
std::vector<uint8_t> form(int advance_a = 3, uint8_t ink = 255, int ascent = 2) {
  std::vector<uint8_t> b(128, 0);
  put32(&b, ascent);
  put32(&b, 1);
  for (int c = 0; c < 256; ++c) {
    if (c != 65) {
      put32(&b, 3);
      put32(&b, 0);
      put32(&b, 0);
      put32(&b, 3);
      continue;
    }
    put32(&b, 0);
    put32(&b, advance_a - 2);
    put32(&b, 2);
    put32(&b, advance_a);
    std::vector<uint8_t> px((size_t)2 * (ascent + 1), 0);
    px[1] = px[2] = px[3] = ink;
    b.insert(b.end(), px.begin(), px.end());
  }
  return b;
}

std::string base64(const std::vector<uint8_t>& b) {
  static const char* k = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string s;
  for (size_t i = 0; i < b.size(); i += 3) {
    uint32_t v = (uint32_t)b[i] << 16 | (i + 1 < b.size() ? b[i + 1] << 8 : 0) |
                 (i + 2 < b.size() ? b[i + 2] : 0);
    s += k[v >> 18 & 63];
    s += k[v >> 12 & 63];
    s += i + 1 < b.size() ? k[v >> 6 & 63] : '=';
    s += i + 2 < b.size() ? k[v & 63] : '=';
  }
  return s;
}

raw_set parsed(const std::vector<uint8_t>& b) {
  raw_set s;
  s.bytes = b;
  sets_parse(&s);
  return s;
}

struct temp_dir {
  std::string path;
  temp_dir() {
    const char* t = getenv("TMPDIR");
    std::string templ = std::string(t && *t ? t : "/tmp") + "/gfont_sets_XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back(0);
    path = mkdtemp(buf.data()) ? buf.data() : "";
  }
  ~temp_dir() {
    for (const std::string& f : files) unlink(f.c_str());
    rmdir(path.c_str());
  }
  std::string write(const char* name, const std::string& text) {
    std::string p = path + "/" + name;
    FILE* f = fopen(p.c_str(), "wb");
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
    files.push_back(p);
    return p;
  }
  std::vector<std::string> files;
};

TEST(GfontSets, ByteFormIsReadWholeOrRefused) {
  raw_set s = parsed(form());
  ASSERT_TRUE(s.ok);
  EXPECT_EQ(2, s.ascent);
  EXPECT_EQ(1, s.descent);
  EXPECT_EQ(2, s.glyphs[65].width);
  EXPECT_EQ(3, s.glyphs[66].pad_left);
  EXPECT_EQ(255, s.bytes[s.glyphs[65].pixels + 1]);
  // Cut short, or with bytes past its end, it is not a byte form.
  std::vector<uint8_t> b = form();
  b.pop_back();
  EXPECT_FALSE(parsed(b).ok);
  b = form();
  b.push_back(0);
  EXPECT_FALSE(parsed(b).ok);
  b = form();
  b[128] = 0xff;  // a negative ascent
  b[131] = 0xff;
  EXPECT_FALSE(parsed(b).ok);
  EXPECT_EQ(form(), sets_base64_decode(base64(form())));
}

TEST(GfontSets, ComparisonNamesWhatDiffers) {
  raw_set a = parsed(form());
  EXPECT_TRUE(sets_compare(a, parsed(form())).identical);
  set_difference d = sets_compare(a, parsed(form(4)));
  EXPECT_FALSE(d.identical);
  EXPECT_EQ(1, d.advances);
  EXPECT_EQ(0, d.pixels);
  d = sets_compare(a, parsed(form(3, 0x68)));
  EXPECT_EQ(0, d.advances);
  EXPECT_EQ(1, d.pixel_codes);
  EXPECT_EQ(3, d.pixels);
  EXPECT_EQ("advances 0, ink boxes 0, pixels 3 in 1 codes",
            sets_describe(d, a, parsed(form(3, 0x68))));
  // Another ascent puts every inked glyph elsewhere in the cell.
  d = sets_compare(a, parsed(form(3, 255, 3)));
  EXPECT_TRUE(d.metrics);
  EXPECT_EQ(1, d.boxes);
  raw_set missing;
  EXPECT_EQ("second set missing or unreadable",
            sets_describe(sets_compare(a, missing), a, missing));
}

TEST(GfontSets, FilesOfEveryFormAreRead) {
  temp_dir dir;
  ASSERT_FALSE(dir.path.empty());
  std::string b = base64(form());
  std::vector<raw_set> sets;
  std::string error;
  // A fonts line, with a request identifier: its two sets.
  ASSERT_TRUE(sets_read_file(dir.write("line", "fonts 7 " + b + " " + b + "\n").c_str(),
                             &sets, &error));
  ASSERT_EQ(2u, sets.size());
  EXPECT_TRUE(sets[1].ok);
  EXPECT_EQ("sans-serif", sets[1].label);
  // The grid tool's output: a description, a tab, the set or "-".
  sets.clear();
  ASSERT_TRUE(sets_read_file(
      dir.write("grid", "# comment\nLOGFONT(13,0,0,0,400,0,0,0,0,0,0,0,0,X Y)\t" + b +
                            "\nNone:13\t-\n")
          .c_str(),
      &sets, &error));
  ASSERT_EQ(2u, sets.size());
  EXPECT_EQ("LOGFONT(13,0,0,0,400,0,0,0,0,0,0,0,0,X Y)", sets[0].label);
  EXPECT_TRUE(sets[0].ok);
  EXPECT_FALSE(sets[1].ok);
  EXPECT_TRUE(sets[1].bytes.empty());
  // A byte form as it is.
  sets.clear();
  std::vector<uint8_t> raw = form();
  ASSERT_TRUE(sets_read_file(dir.write("raw", std::string(raw.begin(), raw.end())).c_str(),
                             &sets, &error));
  ASSERT_EQ(1u, sets.size());
  EXPECT_TRUE(sets[0].ok);
  EXPECT_FALSE(sets_read_file((dir.path + "/absent").c_str(), &sets, &error));
  EXPECT_NE(std::string::npos, error.find("absent"));
}

}  // namespace
