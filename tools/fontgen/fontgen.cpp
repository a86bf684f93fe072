// Build-time font tool: rasterises a TrueType font with FreeType into a
// 1-bit .fnt bitmap font (format in docs/fonts.md) for the Latin-1
// characters 32..255.
//
//   qoe_fontgen <out.fnt> <font.ttf> <height> [fixed]
//
// height is the font's line height in pixels; the pixel size is the largest
// at which the ASCII letters and digits fit into it. Accented capitals that
// reach above the cell lose the blank rows between accent and letter first,
// then repeated rows of the letter, then rows at the top. A glyph reaching
// below the cell (the underscore) moves up into it. Umlauts whose two dots the rasteriser merged or set
// onto the letter are redrawn from the base letter with two dots and a
// blank row; where the rasteriser lost an accent (the form looks like its
// letter or another form of it), the letter's accented forms get drawn
// marks. The tool fails when a printable character would draw nothing.
// "fixed" records the advance of 'M' as the font's fixed width
// (for monospaced faces). Bitmap faces (PCF) are read at their own size.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

const int kFirst = 32, kLast = 255;
const char* kSample =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

struct Glyph {
  int advance = 0, xoffset = 0, width = 0;
  std::vector<uint8_t> rows;  // height x ((width + 7) / 8) bytes
};

void PutBE16(std::vector<uint8_t>& out, unsigned v) {
  out.push_back((uint8_t)(v >> 8));
  out.push_back((uint8_t)v);
}
void PutBE32(std::vector<uint8_t>& out, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out.push_back((uint8_t)(v >> s));
}

bool LoadMono(FT_Face face, unsigned c) {
  FT_UInt index = FT_Get_Char_Index(face, c);
  if (index == 0) return false;
  return FT_Load_Glyph(face, index, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME) == 0;
}

// Rows above and below the baseline that the sample needs at this size.
void Measure(FT_Face face, int* ascent, int* descent) {
  *ascent = *descent = 0;
  for (const char* p = kSample; *p; p++) {
    if (!LoadMono(face, (uint8_t)*p)) continue;
    FT_GlyphSlot g = face->glyph;
    int top = g->bitmap_top, below = (int)g->bitmap.rows - g->bitmap_top;
    if (top > *ascent) *ascent = top;
    if (below > *descent) *descent = below;
  }
}

bool Ink(const Glyph& g, int x, int y) {
  int bpr = (g.width + 7) / 8;
  return (g.rows[(size_t)y * bpr + (x >> 3)] & (0x80 >> (x & 7))) != 0;
}

// Separate runs of ink in one row (0 for a blank row).
int Runs(const Glyph& g, int y) {
  int runs = 0;
  for (int x = 0; x < g.width; x++)
    if (Ink(g, x, y) && (x == 0 || !Ink(g, x - 1, y))) runs++;
  return runs;
}

int TopRow(const Glyph& g, int height) {
  for (int y = 0; y < height; y++)
    if (Runs(g, y)) return y;
  return -1;
}

// True when the glyph starts with two dots that a blank row parts from the
// letter below.
bool DotsReadable(const Glyph& g, int height) {
  int y = TopRow(g, height);
  if (y < 0 || Runs(g, y) < 2) return false;
  int top = y;
  while (y < height && Runs(g, y) == 2) y++;
  return y > top && y < height && Runs(g, y) == 0;
}

// Takes one row out of a straight part of the letter (the first pair of equal
// rows from the top) and moves the rows above it down; false when the
// letter has no such pair.
bool Squeeze(Glyph& g, int top, int height) {
  size_t bpr = (size_t)(g.width + 7) / 8;
  for (int y = top + 1; y < height; y++) {
    uint8_t* row = &g.rows[(size_t)y * bpr];
    if (!Runs(g, y) || std::memcmp(row, row - bpr, bpr) != 0) continue;
    for (int k = y; k > top; k--) std::memcpy(&g.rows[(size_t)k * bpr], &g.rows[(size_t)(k - 1) * bpr], bpr);
    std::memset(&g.rows[(size_t)top * bpr], 0, bpr);
    return true;
  }
  return false;
}

// Redraws an umlaut as its base letter with two dots over it and a blank row
// between, in small sizes squeezing the letter by a row where the cell is too
// low for that. Leaves readable glyphs alone.
void FixUmlaut(std::vector<Glyph>& glyphs, int c, int base_c, int height) {
  Glyph& g = glyphs[c - kFirst];
  if (DotsReadable(g, height) || glyphs[base_c - kFirst].width == 0) return;
  Glyph out = glyphs[base_c - kFirst];
  bool small = height <= 13;
  int top = TopRow(out, height);
  if (top < 0) return;
  if (top < 2 && small && Squeeze(out, top, height)) top++;
  bool gap = top >= 2;
  // Two dots that only touch the letter stay when no blank row fits, and in
  // large sizes, where the rasteriser's dots are better than ours.
  int own_top = TopRow(g, height);
  if (own_top >= 0 && Runs(g, own_top) >= 2 && (!gap || !small)) return;
  int left = out.width, right = -1;
  for (int y = 0; y < height; y++)
    for (int x = 0; x < out.width; x++)
      if (Ink(out, x, y)) {
        if (x < left) left = x;
        if (x > right) right = x;
      }
  int ink = right - left + 1;
  if (top < 1 || ink < 3) return;
  // The dots sit symmetric about the letter's middle, a quarter of its
  // width out (at least one column), dl the left one's first column and dr
  // the right one's last.
  int spread = ink / 4 > 1 ? ink / 4 : 1;
  int dl = left + (ink - 1) / 2 - spread, dr = right - (ink - 1) / 2 + spread;
  int dot = 1 + height / 20;
  if ((dr - dot + 1) - (dl + dot - 1) < 2) dot = 1;
  int bottom = gap ? top - 2 : top - 1;  // lowest dot row
  if (bottom - dot + 1 < 0) dot = 1;
  size_t bpr = (size_t)(out.width + 7) / 8;
  for (int y = bottom - dot + 1; y <= bottom; y++)
    for (int k = 0; k < dot; k++) {
      int xs[2] = {dl + k, dr - k};
      for (int x : xs) out.rows[(size_t)y * bpr + (x >> 3)] |= (uint8_t)(0x80 >> (x & 7));
    }
  g = out;
}

// Accent marks drawn over a letter, two rows each ('#' ink).
struct Mark {
  const char* rows[2];
};
const Mark kGrave = {{"#.", ".#"}}, kAcute = {{".#", "#."}}, kCircumflex = {{".#.", "#.#"}},
           kTilde = {{".#.#", "#.#."}}, kRing = {{"##", "##"}};

// True when two glyphs put the same ink at the same places from the pen.
bool SameGlyph(const Glyph& a, const Glyph& b, int height) {
  std::vector<std::pair<int, int>> pa, pb;
  for (int y = 0; y < height; y++) {
    for (int x = 0; x < a.width; x++)
      if (Ink(a, x, y)) pa.push_back({a.xoffset + x, y});
    for (int x = 0; x < b.width; x++)
      if (Ink(b, x, y)) pb.push_back({b.xoffset + x, y});
  }
  return pa == pb;
}

// Redraws an accented letter as its base letter with a drawn mark above,
// squeezing the letter by a row or two where the cell is too low; a blank
// row parts mark and letter where there is room. The dot of an i goes.
Glyph DrawAccent(const Glyph& base, int base_c, const Mark& mark, int height) {
  Glyph out = base;
  size_t bpr = (size_t)(out.width + 7) / 8;
  int top = TopRow(out, height);
  if (base_c == 'i' && top >= 0) {  // the dot and the blank row under it
    int y = top;
    while (y < height && Runs(out, y)) std::memset(&out.rows[(size_t)y++ * bpr], 0, bpr);
    top = TopRow(out, height);
  }
  if (top < 0) return base;
  while (top < 2 && Squeeze(out, top, height)) top++;
  int mw = (int)std::strlen(mark.rows[0]);
  if (mw > out.width) {  // a narrow letter: widen the bitmap, centred
    int grow = mw - out.width;
    Glyph wide;
    wide.advance = out.advance;
    wide.width = mw;
    wide.xoffset = out.xoffset - grow / 2;
    wide.rows.assign((size_t)height * ((mw + 7) / 8), 0);
    for (int y = 0; y < height; y++)
      for (int x = 0; x < out.width; x++)
        if (Ink(out, x, y)) wide.rows[(size_t)y * ((mw + 7) / 8) + ((x + grow / 2) >> 3)] |= (uint8_t)(0x80 >> ((x + grow / 2) & 7));
    out = wide;
    bpr = (size_t)(mw + 7) / 8;
  }
  int left = out.width, right = -1;
  for (int y = 0; y < height; y++)
    for (int x = 0; x < out.width; x++)
      if (Ink(out, x, y)) left = std::min(left, x), right = std::max(right, x);
  int x0 = std::clamp((left + right + 1) / 2 - mw / 2, 0, out.width - mw);
  int bottom = top >= 3 ? top - 2 : top - 1;  // the mark's lower row
  for (int r = 0; r < 2; r++) {
    int y = bottom - 1 + r;
    if (y < 0) continue;
    for (int k = 0; k < mw; k++)
      if (mark.rows[r][k] == '#') out.rows[(size_t)y * bpr + ((x0 + k) >> 3)] |= (uint8_t)(0x80 >> ((x0 + k) & 7));
  }
  return out;
}

// Where the rasteriser lost an accent (the letter looks like its base letter
// or like another accented form of it), the forms of that letter are
// redrawn with drawn marks.
void FixAccents(std::vector<Glyph>& glyphs, int height) {
  struct Family {
    int base, umlaut;
    int forms[5];
    const Mark* marks[5];
  };
  const Family kFamilies[] = {
      {'A', 0xC4, {0xC0, 0xC1, 0xC2, 0xC3, 0xC5}, {&kGrave, &kAcute, &kCircumflex, &kTilde, &kRing}},
      {'E', 0xCB, {0xC8, 0xC9, 0xCA, 0, 0}, {&kGrave, &kAcute, &kCircumflex, nullptr, nullptr}},
      {'I', 0xCF, {0xCC, 0xCD, 0xCE, 0, 0}, {&kGrave, &kAcute, &kCircumflex, nullptr, nullptr}},
      {'N', 0, {0xD1, 0, 0, 0, 0}, {&kTilde, nullptr, nullptr, nullptr, nullptr}},
      {'O', 0xD6, {0xD2, 0xD3, 0xD4, 0xD5, 0}, {&kGrave, &kAcute, &kCircumflex, &kTilde, nullptr}},
      {'U', 0xDC, {0xD9, 0xDA, 0xDB, 0, 0}, {&kGrave, &kAcute, &kCircumflex, nullptr, nullptr}},
      {'Y', 0, {0xDD, 0, 0, 0, 0}, {&kAcute, nullptr, nullptr, nullptr, nullptr}},
      {'a', 0xE4, {0xE0, 0xE1, 0xE2, 0xE3, 0xE5}, {&kGrave, &kAcute, &kCircumflex, &kTilde, &kRing}},
      {'e', 0xEB, {0xE8, 0xE9, 0xEA, 0, 0}, {&kGrave, &kAcute, &kCircumflex, nullptr, nullptr}},
      {'i', 0xEF, {0xEC, 0xED, 0xEE, 0, 0}, {&kGrave, &kAcute, &kCircumflex, nullptr, nullptr}},
      {'n', 0, {0xF1, 0, 0, 0, 0}, {&kTilde, nullptr, nullptr, nullptr, nullptr}},
      {'o', 0xF6, {0xF2, 0xF3, 0xF4, 0xF5, 0}, {&kGrave, &kAcute, &kCircumflex, &kTilde, nullptr}},
      {'u', 0xFC, {0xF9, 0xFA, 0xFB, 0, 0}, {&kGrave, &kAcute, &kCircumflex, nullptr, nullptr}},
      {'y', 0xFF, {0xFD, 0, 0, 0, 0}, {&kAcute, nullptr, nullptr, nullptr, nullptr}},
  };
  for (const Family& f : kFamilies) {
    const Glyph& base = glyphs[f.base - kFirst];
    if (base.width == 0) continue;
    bool lost = false;
    for (int k = 0; k < 5 && f.forms[k]; k++) {
      const Glyph& g = glyphs[f.forms[k] - kFirst];
      if (SameGlyph(g, base, height)) lost = true;
      for (int j = 0; j < 5 && f.forms[j]; j++)
        if (j != k && SameGlyph(g, glyphs[f.forms[j] - kFirst], height)) lost = true;
      if (f.umlaut && SameGlyph(g, glyphs[f.umlaut - kFirst], height)) lost = true;
    }
    if (!lost) continue;
    for (int k = 0; k < 5 && f.forms[k]; k++) glyphs[f.forms[k] - kFirst] = DrawAccent(base, f.base, *f.marks[k], height);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s <out.fnt> <font.ttf> <height> [fixed]\n", argv[0]);
    return 2;
  }
  const char* out_path = argv[1];
  int height = std::atoi(argv[3]);
  bool fixed = argc > 4 && std::strcmp(argv[4], "fixed") == 0;
  if (height < 4 || height > 255) {
    std::fprintf(stderr, "fontgen: height %d out of range\n", height);
    return 2;
  }
  FT_Library lib;
  FT_Face face;
  if (FT_Init_FreeType(&lib) || FT_New_Face(lib, argv[2], 0, &face)) {
    std::fprintf(stderr, "fontgen: cannot open %s\n", argv[2]);
    return 1;
  }
  int size = height, ascent = 0, descent = 0;
  for (; size >= 4; size--) {
    if (FT_Set_Pixel_Sizes(face, 0, size)) continue;  // a bitmap face without this size
    Measure(face, &ascent, &descent);
    if (ascent + descent <= height) break;
  }
  if (size < 4) {
    std::fprintf(stderr, "fontgen: %s does not fit into %d rows\n", argv[2], height);
    return 1;
  }
  int spare = height - ascent - descent;
  int above = ascent + (spare - spare / 2);  // rows above the baseline line
  int baseline = above - 1;

  std::vector<Glyph> glyphs(kLast - kFirst + 1);
  for (int c = kFirst; c <= kLast; c++) {
    Glyph& out = glyphs[c - kFirst];
    if (!LoadMono(face, (unsigned)c)) continue;
    FT_GlyphSlot g = face->glyph;
    out.advance = (int)((g->advance.x + 32) >> 6);
    if (out.advance > 255) out.advance = 255;
    int w = (int)g->bitmap.width;
    if (w > 255) w = 255;
    int xoff = g->bitmap_left;
    if (xoff < -128) xoff = -128;
    if (xoff > 127) xoff = 127;
    out.xoffset = xoff;
    out.width = w;
    int bpr = (w + 7) / 8;
    std::vector<std::vector<uint8_t>> rows;
    for (int r = 0; r < (int)g->bitmap.rows; r++) {
      std::vector<uint8_t> row(bpr, 0);
      const uint8_t* src = g->bitmap.buffer + r * g->bitmap.pitch;
      for (int x = 0; x < w; x++)
        if (src[x >> 3] & (0x80 >> (x & 7))) row[x >> 3] |= (uint8_t)(0x80 >> (x & 7));
      rows.push_back(row);
    }
    int top = g->bitmap_top;
    // Too tall (an accent over a capital): drop blank rows inside the glyph,
    // then one of each pair of equal rows of the letter, from the bottom up,
    // so that the accent stays whole above the letter.
    for (size_t r = 1; top > above && r + 1 < rows.size();) {
      bool blank = true;
      for (uint8_t b : rows[r]) blank = blank && b == 0;
      if (blank) { rows.erase(rows.begin() + (long)r); top--; }
      else r++;
    }
    for (size_t r = rows.size(); top > above && r-- > 2;) {
      bool ink = false;
      for (uint8_t b : rows[r]) ink = ink || b != 0;
      if (ink && rows[r] == rows[r - 1]) { rows.erase(rows.begin() + (long)r); top--; }
    }
    // Reaching below the cell (an underscore, a bar): moved up as far as the
    // top of the cell allows, so that it draws on the bottom row.
    int below = (above - top + (int)rows.size()) - height;
    if (below > 0) {
      int room = std::max(0, above - top);
      // Blank rows at the bottom of the bitmap do not count.
      int blank_tail = 0;
      for (size_t r = rows.size(); r-- > 0;) {
        bool ink = false;
        for (uint8_t b : rows[r]) ink = ink || b != 0;
        if (ink) break;
        blank_tail++;
      }
      top += std::min(std::max(0, below - blank_tail), room);
    }
    out.rows.assign((size_t)height * bpr, 0);
    for (int r = 0; r < (int)rows.size(); r++) {
      int y = above - top + r;
      if (y < 0 || y >= height) continue;  // beyond the line height: clipped
      std::memcpy(&out.rows[(size_t)y * bpr], rows[r].data(), bpr);
    }
  }
  const int kUmlauts[][2] = {{0xC4, 'A'}, {0xCB, 'E'}, {0xD6, 'O'}, {0xDC, 'U'}, {0xE4, 'a'},
                             {0xEB, 'e'}, {0xF6, 'o'}, {0xFC, 'u'}, {0xFF, 'y'}};
  for (const auto& u : kUmlauts) FixUmlaut(glyphs, u[0], u[1], height);
  FixAccents(glyphs, height);
  int xsize = fixed ? glyphs['M' - kFirst].advance : 0;
  // Every printable character (all but the blank and the no-break space)
  // must leave ink in the cell: the program prints any of them.
  for (int c = kFirst + 1; c <= kLast; c++) {
    if ((c >= 127 && c <= 160)) continue;
    const Glyph& g = glyphs[c - kFirst];
    bool ink = false;
    for (uint8_t b : g.rows) ink = ink || b != 0;
    if (!ink || g.advance == 0) {
      std::fprintf(stderr, "fontgen: %s draws nothing for character %d\n", argv[2], c);
      return 1;
    }
  }

  std::vector<uint8_t> file, data;
  file.insert(file.end(), {'F', 'O', 'N', 'T'});
  PutBE32(file, 8);
  file.push_back((uint8_t)kFirst);
  file.push_back((uint8_t)kLast);
  PutBE16(file, (unsigned)xsize);
  PutBE16(file, (unsigned)height);
  PutBE16(file, (unsigned)baseline);
  std::vector<uint8_t> table;
  for (const Glyph& g : glyphs) {
    table.push_back((uint8_t)g.advance);
    table.push_back((uint8_t)(int8_t)g.xoffset);
    table.push_back((uint8_t)g.width);
    table.push_back(0);
    PutBE32(table, g.width ? (uint32_t)data.size() : 0);
    if (g.width) data.insert(data.end(), g.rows.begin(), g.rows.end());
  }
  file.insert(file.end(), {'C', 'H', 'A', 'R'});
  PutBE32(file, (uint32_t)(table.size() + data.size()));
  file.insert(file.end(), table.begin(), table.end());
  file.insert(file.end(), data.begin(), data.end());

  FT_Done_Face(face);
  FT_Done_FreeType(lib);

  std::string tmp = std::string(out_path) + ".tmp";
  FILE* f = std::fopen(tmp.c_str(), "wb");
  bool ok = f && std::fwrite(file.data(), 1, file.size(), f) == file.size();
  if (f && std::fclose(f) != 0) ok = false;
  if (!ok || std::rename(tmp.c_str(), out_path) != 0) {
    std::remove(tmp.c_str());
    std::fprintf(stderr, "fontgen: cannot write %s\n", out_path);
    return 1;
  }
  return 0;
}
