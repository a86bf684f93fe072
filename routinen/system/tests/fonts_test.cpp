#include "routinen/system/fonts.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "routinen/system/graphics.h"
#include "platform/display.h"
#include "routinen/system/memory.h"
#include "routinen/system/sysrecords.h"
#include "platform/headless.h"
#include "tests/support/test_support.h"

namespace {

struct GlyphSpec {
  uint8_t width;
  int8_t xoffset;
  uint8_t bitwidth;
  std::vector<uint8_t> rows;  // height x bytes per row
};

void BE16(std::vector<uint8_t>& v, uint16_t x) { v.push_back(x >> 8); v.push_back((uint8_t)x); }
void BE32(std::vector<uint8_t>& v, uint32_t x) { for (int s = 24; s >= 0; s -= 8) v.push_back((uint8_t)(x >> s)); }

std::vector<uint8_t> MakeFont(uint8_t lo, uint8_t hi, uint16_t height, uint16_t baseline,
                              const std::vector<GlyphSpec>& glyphs) {
  std::vector<uint8_t> f = {'F', 'O', 'N', 'T'};
  BE32(f, 8);
  f.push_back(lo);
  f.push_back(hi);
  BE16(f, 0);
  BE16(f, height);
  BE16(f, baseline);
  std::vector<uint8_t> table, data;
  for (const GlyphSpec& g : glyphs) {
    table.push_back(g.width);
    table.push_back((uint8_t)g.xoffset);
    table.push_back(g.bitwidth);
    table.push_back(0);
    BE32(table, (uint32_t)data.size());
    data.insert(data.end(), g.rows.begin(), g.rows.end());
  }
  f.insert(f.end(), {'C', 'H', 'A', 'R'});
  BE32(f, (uint32_t)(table.size() + data.size()));
  f.insert(f.end(), table.begin(), table.end());
  f.insert(f.end(), data.begin(), data.end());
  return f;
}

// 'A' (width 4): a 3 x 3 block with a hole; 'B' (width 2): nothing drawn;
// 'C' (width 3): one pixel at the bitmap's left, one column before the pen.
std::vector<uint8_t> TinyFont() {
  return MakeFont('A', 'C', 4, 2,
                  {{4, 0, 3, {0xE0, 0xA0, 0xE0, 0x00}},
                   {2, 0, 0, {}},
                   {3, -1, 2, {0x00, 0x00, 0x80, 0x00}}});
}

TextFont* Parse(const std::vector<uint8_t>& bytes) {
  // An exact-size heap copy so that ASan sees any read past the end.
  uint8_t* copy = new uint8_t[bytes.size() ? bytes.size() : 1];
  if (!bytes.empty()) std::memcpy(copy, bytes.data(), bytes.size());
  TextFont* f = OpenFontFromMemory(copy, (uint32_t)bytes.size());
  delete[] copy;
  return f;
}

// Separate runs of set pixels in one row of a glyph's bitmap.
int InkRuns(const TextFont* f, const TextGlyph& g, int row) {
  if (row >= f->YSize) return 0;
  const uint8_t* bits = f->GlyphData + g.DataOffset + (size_t)row * g.BytesPerRow;
  int runs = 0;
  bool last = false;
  for (int x = 0; x < g.BitWidth; x++) {
    bool on = (bits[x >> 3] & (0x80 >> (x & 7))) != 0;
    runs += on && !last;
    last = on;
  }
  return runs;
}

// The rows of a glyph that hold ink, top to bottom.
std::vector<int> GlyphRows(const TextFont* f, const TextGlyph& g) {
  std::vector<int> rows;
  for (int y = 0; y < f->YSize; ++y)
    if (InkRuns(f, g, y)) rows.push_back(y);
  return rows;
}

// A glyph's bitmap as it lands on the line: one string per row, '#' for ink,
// shifted by its x offset.
std::vector<std::string> GlyphBits(const TextFont* f, const TextGlyph& g) {
  std::vector<std::string> rows((size_t)f->YSize);
  for (int y = 0; y < f->YSize; ++y) {
    const uint8_t* bits = f->GlyphData + g.DataOffset + (size_t)y * g.BytesPerRow;
    std::string& r = rows[(size_t)y];
    r.assign((size_t)std::max(0, g.XOffset + 16), '.');
    for (int x = 0; x < g.BitWidth; ++x) r.push_back((bits[x >> 3] & (0x80 >> (x & 7))) ? '#' : '.');
  }
  return rows;
}

TEST(Fonts, TinyFontDrawModesAndTextLength) {
  TextFont* font = Parse(TinyFont());
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(font->LoChar, 'A');
  EXPECT_EQ(font->HiChar, 'C');
  EXPECT_EQ(font->YSize, 4);
  EXPECT_EQ(font->Baseline, 2);

  BitMap* bm = AllocBitMap(12, 6, 8, 0, nullptr);
  RastPort rp;
  InitRastPort(&rp);
  rp.Bitmap = bm;
  SetFont(&rp, font);
  EXPECT_EQ(rp.TxHeight, 4);
  EXPECT_EQ(rp.TxBaseline, 2);
  EXPECT_EQ(TextLength(&rp, "ABCA", 4), 4u + 2 + 3 + 4);
  EXPECT_EQ(TextLength(&rp, "AzA", 3), 8u);  // outside the range: no width
  EXPECT_EQ(TextLength(&rp, "ABCA", 0), 0u);

  auto dump = [&]() {
    std::string s;
    for (uint32_t y = 0; y < 6; y++) {
      for (uint32_t x = 0; x < 12; x++) s += (char)('0' + bm->Pixels[y * 12 + x]);
      s += '\n';
    }
    return s;
  };
  // Draw mode 0: only the glyph pixels, in the A pen.
  SetAPen(&rp, 3);
  rp.BPen = 5;
  SetDrMd(&rp, 0);
  Move(&rp, 1, 3);  // glyph top row = 3 - baseline = 1
  Text(&rp, "ABC", 3);
  EXPECT_EQ(rp.PenX, 1 + 9);
  EXPECT_EQ(dump(),
            "000000000000\n"
            "033300000000\n"
            "030300000000\n"
            "033300300000\n"
            "000000000000\n"
            "000000000000\n");
  // Draw mode 1: each glyph's cell (advance x height) in the B pen first.
  std::memset(bm->Pixels, 0, bm->Size);
  SetDrMd(&rp, 1);
  Move(&rp, 1, 3);
  Text(&rp, "ABC", 3);
  EXPECT_EQ(dump(),
            "000000000000\n"
            "033355555500\n"
            "035355555500\n"
            "033355355500\n"
            "055555555500\n"
            "000000000000\n");
  // Text running off every edge writes nothing outside the bitmap.
  Move(&rp, -3, 1);
  Text(&rp, "AAAAAA", 6);
  Move(&rp, 30000, 30000);
  Text(&rp, "A", 1);
  Move(&rp, 32760, 3);
  Text(&rp, "AAAAAA", 6);
  EXPECT_EQ(rp.PenX, 32767);
  CloseFont(font);
  FreeBitMap(bm);
  CloseFont(nullptr);
}

// Text at depth 8 and 32 in both draw modes, at every position around a
// small bitmap that lies inside a larger buffer: the pixels inside match
// the same text drawn on a bitmap with room round it, and no byte of the
// frame round the small bitmap changes.
TEST(Fonts, TextClippedAtEveryEdgeAtBothDepths) {
  TextFont* font = Parse(TinyFont());
  ASSERT_NE(font, nullptr);
  for (uint32_t palette_pen = 0; palette_pen < 16; palette_pen++)
    SetRGB4(nullptr, palette_pen, palette_pen, 15 - palette_pen, 1);
  const uint32_t w = 6, h = 4, margin = 8;
  for (uint32_t depth : {8u, 32u}) {
    const uint32_t bpp = depth / 8, pitch = (w + 3) * bpp, rows = h + 4;
    for (uint8_t mode : {0, 1}) {
      for (int32_t py = -3; py <= 7; py++)
        for (int32_t px = -10; px <= 7; px++) {
          std::vector<uint8_t> buffer((size_t)pitch * rows, 0xA7);
          PlatformSurface surface{buffer.data() + 2 * pitch, w, h, pitch, depth};
          for (uint32_t y = 0; y < h; y++) std::memset(surface.pixels + y * pitch, 0, w * bpp);
          BitMap* small = AllocSurfaceBitMap(&surface);
          BitMap* big = AllocBitMap(w + 2 * margin, h + 2 * margin, depth, 0, nullptr);
          ASSERT_NE(small, nullptr);
          ASSERT_NE(big, nullptr);
          RastPort a, b;
          for (RastPort* rp : {&a, &b}) {
            InitRastPort(rp);
            SetFont(rp, font);
            SetAPen(rp, 3);
            rp->BPen = 5;
            SetDrMd(rp, mode);
          }
          a.Bitmap = small;
          b.Bitmap = big;
          Move(&a, px, py);
          Text(&a, "ACBCA", 5);
          Move(&b, px + (int32_t)margin, py + (int32_t)margin);
          Text(&b, "ACBCA", 5);
          for (uint32_t y = 0; y < h; y++)
            ASSERT_EQ(std::memcmp(surface.pixels + y * pitch,
                                  big->Pixels + (y + margin) * big->BytesPerRow + margin * bpp, w * bpp),
                      0)
                << depth << " mode " << (int)mode << " at " << px << "," << py << " row " << y;
          for (size_t i = 0; i < buffer.size(); i++) {
            size_t y = i / pitch, x = i % pitch;
            bool inside = y >= 2 && y < 2 + h && x < w * bpp;
            if (!inside) { ASSERT_EQ(buffer[i], 0xA7) << depth << " at " << px << "," << py; }
          }
          FreeBitMap(big);
          FreeBitMap(small);
        }
    }
  }
  // At depth 32 the pens become the palette's colours.
  BitMap* bm = AllocBitMap(4, 4, 32, 0, nullptr);
  RastPort rp;
  InitRastPort(&rp);
  rp.Bitmap = bm;
  SetFont(&rp, font);
  SetAPen(&rp, 3);
  rp.BPen = 5;
  SetDrMd(&rp, 1);
  Move(&rp, 0, 2);
  Text(&rp, "A", 1);
  EXPECT_EQ(ReadPixel(&rp, 0, 0), 3);
  EXPECT_EQ(ReadPixel(&rp, 1, 1), 5);  // the hole of the A shows the B pen
  EXPECT_EQ(ReadPixel(&rp, 3, 0), 5);  // the advance's last column
  EXPECT_EQ(ReadPixel(&rp, 0, 3), 5);  // the bottom row of the cell
  FreeBitMap(bm);
  CloseFont(font);
}

TEST(Fonts, CorruptAndTruncatedFilesGiveNull) {
  std::vector<uint8_t> good = TinyFont();
  TextFont* ok = Parse(good);
  ASSERT_NE(ok, nullptr);
  CloseFont(ok);
  for (size_t n = 0; n < good.size(); n++) {
    std::vector<uint8_t> cut(good.begin(), good.begin() + n);
    EXPECT_EQ(Parse(cut), nullptr) << "truncated to " << n;
  }
  auto broken = [&](size_t at, uint8_t value) {
    std::vector<uint8_t> b = good;
    b[at] = value;
    return Parse(b);
  };
  EXPECT_EQ(broken(0, 'X'), nullptr);        // tag
  EXPECT_EQ(broken(7, 4), nullptr);          // FONT shorter than its fields
  EXPECT_EQ(broken(4, 0x80), nullptr);       // FONT longer than the file
  EXPECT_EQ(broken(8, 'D'), nullptr);        // first above last
  EXPECT_EQ(broken(13, 0), nullptr);         // height 0
  EXPECT_EQ(broken(15, 4), nullptr);         // baseline not inside the height
  EXPECT_EQ(broken(16, 'X'), nullptr);       // CHAR tag
  EXPECT_EQ(broken(20 + 3, 8), nullptr);     // CHAR shorter than its table
  EXPECT_EQ(broken(24 + 7, 9), nullptr);     // glyph data offset past the data
  EXPECT_EQ(broken(24 + 2, 40), nullptr);    // glyph wider than its data
  EXPECT_EQ(broken(24 + 4, 0xFF), nullptr);  // offset near 2^32
  // A font with a glyph that has no bitmap needs no data for it.
  std::vector<uint8_t> empty = MakeFont(' ', ' ', 1, 0, {{3, 0, 0, {}}});
  TextFont* e = Parse(empty);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(FontCharWidth(e, ' '), 3u);
  EXPECT_EQ(FontCharWidth(e, '!'), 0u);
  CloseFont(e);
  // Trailing bytes after CHAR are ignored; a larger FONT header is skipped.
  std::vector<uint8_t> longer = good;
  longer.push_back(0);
  TextFont* l = Parse(longer);
  EXPECT_NE(l, nullptr);
  CloseFont(l);
}

TEST(Fonts, OpenDiskFontThroughTheFileLayer) {
  std::vector<uint8_t> bytes = TinyFont();
  ASSERT_EQ(mkdir("fonts", 0755), 0);
  ASSERT_TRUE(qoe_test::WriteFileBytes("fonts/Tiny.fnt", bytes));
  TextFont* f = OpenDiskFont("fonts\\Tiny.fnt");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->YSize, 4);
  CloseFont(f);
  EXPECT_EQ(OpenDiskFont("fonts\\Missing.fnt"), nullptr);
  ASSERT_TRUE(qoe_test::WriteFileBytes("fonts/Cut.fnt", std::vector<uint8_t>(bytes.begin(), bytes.begin() + 30)));
  EXPECT_EQ(OpenDiskFont("fonts\\Cut.fnt"), nullptr);
}

// A screen that closes its font while the screen's RastPort still draws
// with it: the RastPort lets go of the font, so the next screen (which saves
// and later restores the RastPort's font) never touches a freed block.
TEST(Fonts, ClosingTheScreenRastPortsFontLetsGoOfIt) {
  ASSERT_EQ(HeadlessOpenDisplay(0), 1);
  FillDisplayRecord();
  ASSERT_EQ(OpenScreenRastPort(), 1);
  RastPort* rp = QoESystemPtr->Display->ScreenRastPort;
  TextFont* kept = Parse(TinyFont());
  TextFont* gone = Parse(TinyFont());
  ASSERT_NE(kept, nullptr);
  ASSERT_NE(gone, nullptr);
  SetFont(rp, gone);
  CloseFont(gone);
  EXPECT_EQ(rp->Font, nullptr);
  SetFont(rp, kept);
  TextFont* other = Parse(TinyFont());
  CloseFont(other);  // a font the RastPort does not hold leaves it alone
  EXPECT_EQ(rp->Font, kept);
  CloseFont(kept);
  CloseScreenRastPort();
  HeadlessCloseDisplay();
}

// The fonts the build generates: every one the program opens is there, and
// the umlauts of the program's texts have glyphs.
TEST(Fonts, GeneratedFonts) {
  struct Want { const char* name; uint16_t height; bool fixed; };
  const Want fonts[] = {{"ElmorC1", 11, false}, {"XHelvetica9", 9, false}, {"XHelvetica11", 11, false},
                        {"XHelvetica13", 13, false}, {"Times24", 24, false}, {"Times30", 30, false},
                        {"Xen8", 8, true}, {"TopaZ", 8, true}};
  ASSERT_EQ(mkdir("fonts", 0755), 0);
  for (const Want& w : fonts) {
    std::string file = std::string(w.name) + ".fnt";
    std::vector<uint8_t> bytes = qoe_test::ReadFileBytes(qoe_test::BinaryDir() + "/datakit/fonts/" + file);
    ASSERT_FALSE(bytes.empty()) << file;
    ASSERT_TRUE(qoe_test::WriteFileBytes("fonts/" + file, bytes));
    TextFont* f = OpenDiskFont(("fonts\\" + file).c_str());
    ASSERT_NE(f, nullptr) << file;
    EXPECT_EQ(f->YSize, w.height) << file;
    EXPECT_LT(f->Baseline, f->YSize);
    EXPECT_EQ(f->LoChar, 32);
    EXPECT_EQ(f->HiChar, 255);
    EXPECT_EQ(f->XSize != 0, w.fixed) << file;
    for (uint8_t c : std::initializer_list<uint8_t>{'A', 'g', '0', (uint8_t)0xC4, (uint8_t)0xD6, (uint8_t)0xDC, (uint8_t)0xE4,
                      (uint8_t)0xF6, (uint8_t)0xFC, (uint8_t)0xDF}) {
      const TextGlyph& g = f->Glyphs[c - f->LoChar];
      EXPECT_GT(g.Width, 0) << file << " " << (int)c;
      EXPECT_GT(g.BitWidth, 0) << file << " " << (int)c;
    }
    EXPECT_GT(FontCharWidth(f, ' '), 0u);
    // TextLength is the sum of the glyph widths.
    RastPort rp;
    InitRastPort(&rp);
    SetFont(&rp, f);
    const char* s = "K\xF6nig \xC4gir, Stra\xDF" "e 12!";
    uint32_t sum = 0;
    for (const char* p = s; *p; p++) sum += f->Glyphs[(uint8_t)*p - 32].Width;
    EXPECT_EQ(TextLength(&rp, s, (uint32_t)std::strlen(s)), sum);
    // An umlaut's two dots lie above the letter inside the cell: "Ä" and
    // "A" differ.
    const TextGlyph& a = f->Glyphs['A' - 32];
    const TextGlyph& ae = f->Glyphs[0xC4 - 32];
    bool differ = a.BitWidth != ae.BitWidth ||
                  std::memcmp(f->GlyphData + a.DataOffset, f->GlyphData + ae.DataOffset,
                              (size_t)a.BytesPerRow * f->YSize) != 0;
    EXPECT_TRUE(differ) << file;
    // Every umlaut starts with two separate dots; over the small letters a
    // blank row parts them from the letter.
    for (uint8_t c : {0xC4, 0xD6, 0xDC, 0xE4, 0xF6, 0xFC}) {
      const TextGlyph& g = f->Glyphs[c - f->LoChar];
      int top = 0;
      while (top < f->YSize && InkRuns(f, g, top) == 0) top++;
      ASSERT_LT(top, f->YSize) << file << " " << (int)c;
      EXPECT_EQ(InkRuns(f, g, top), 2) << file << " " << (int)c;
      if (c < 0xE0) continue;
      int y = top;
      while (y < f->YSize && InkRuns(f, g, y) == 2) y++;
      EXPECT_EQ(InkRuns(f, g, y), 0) << file << " " << (int)c << " row " << y;
    }
    // Every printable character draws something inside the cell (the save
    // folder "1004_3" shows its underscore, not a blank).
    for (int c = 33; c <= 255; ++c) {
      if (c >= 127 && c <= 160) continue;
      const TextGlyph& g = f->Glyphs[c - f->LoChar];
      EXPECT_GT(g.Width, 0) << file << " " << c;
      EXPECT_FALSE(GlyphRows(f, g).empty()) << file << " draws nothing for " << c;
    }
    // The underscore lies on or below the baseline, the hyphen above it.
    const std::vector<int> under = GlyphRows(f, f->Glyphs['_' - 32]), hyphen = GlyphRows(f, f->Glyphs['-' - 32]);
    ASSERT_FALSE(under.empty() || hyphen.empty()) << file;
    EXPECT_GE(under.front(), f->Baseline) << file;
    EXPECT_LT(hyphen.back(), f->Baseline) << file;
    // An accented capital keeps its accent: it differs from its letter.
    const struct { int from, to; char base; } kAccented[] = {
        {0xC0, 0xC5, 'A'}, {0xC7, 0xC7, 'C'}, {0xC8, 0xCB, 'E'}, {0xCC, 0xCF, 'I'},
        {0xD1, 0xD1, 'N'}, {0xD2, 0xD6, 'O'}, {0xD9, 0xDC, 'U'}, {0xDD, 0xDD, 'Y'}};
    for (const auto& a : kAccented)
      for (int c = a.from; c <= a.to; ++c)
        EXPECT_NE(GlyphBits(f, f->Glyphs[c - 32]), GlyphBits(f, f->Glyphs[a.base - 32])) << file << " " << c;
    CloseFont(f);
  }
}

}  // namespace
