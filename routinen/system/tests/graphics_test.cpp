#include "routinen/system/graphics.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "routinen/system/fonts.h"
#include "platform/display.h"
#include "platform/headless.h"
#include "platform/log.h"
#include "platform/threads.h"
#include "routinen/system/sysrecords.h"

namespace {

// Pen p gets colour (p, 255 - p, p ^ 0x5A): distinct for every pen.
void LoadTestPalette() {
  std::vector<uint8_t> t(4 + 256 * 12 + 4, 0);
  uint16_t count = 256, first = 0;
  std::memcpy(&t[0], &count, 2);
  std::memcpy(&t[2], &first, 2);
  for (uint32_t p = 0; p < 256; p++) {
    uint32_t rgb[3] = {p * 0x01010101u, (255 - p) * 0x01010101u, (p ^ 0x5A) * 0x01010101u};
    std::memcpy(&t[4 + p * 12], rgb, 12);
  }
  LoadRGB32(nullptr, t.data());
}

uint32_t Xrgb(uint32_t pen) { return (pen << 16) | ((255 - pen) << 8) | (pen ^ 0x5A); }

// A bitmap of w x h pixels inside a larger buffer: a frame of guard bytes
// around it (rows before and after, padding at the end of every row) shows
// any write outside the bitmap.
struct Guarded {
  std::vector<uint8_t> buffer;
  PlatformSurface surface;
  BitMap* bm = nullptr;
  RastPort rp;
  uint32_t bpp, pitch, guard_rows = 3;
  static constexpr uint8_t kGuard = 0xA7;

  Guarded(uint32_t w, uint32_t h, uint32_t depth) {
    bpp = depth / 8;
    pitch = w * bpp + 13 * bpp;
    buffer.assign((size_t)pitch * (h + 2 * guard_rows), kGuard);
    surface = PlatformSurface{buffer.data() + pitch * guard_rows, w, h, pitch, depth};
    for (uint32_t y = 0; y < h; y++) std::memset(surface.pixels + y * pitch, 0, w * bpp);
    bm = AllocSurfaceBitMap(&surface);
    InitRastPort(&rp);
    rp.Bitmap = bm;
  }
  ~Guarded() { FreeBitMap(bm); }
  bool GuardsIntact() const {
    for (size_t i = 0; i < buffer.size(); i++) {
      size_t off = i;
      bool inside = false;
      if (off >= pitch * guard_rows) {
        size_t rel = off - pitch * guard_rows;
        size_t y = rel / pitch, x = rel % pitch;
        inside = y < surface.height && x < surface.width * bpp;
      }
      if (!inside && buffer[i] != kGuard) return false;
    }
    return true;
  }
  // The pen at (x, y), reading the raw pixel.
  uint32_t Raw(uint32_t x, uint32_t y) const {
    const uint8_t* p = surface.pixels + y * pitch + x * bpp;
    if (bpp == 1) return *p;
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
  }
  uint32_t Expect(uint32_t pen) const { return bpp == 1 ? pen : Xrgb(pen); }
};

class Drawing : public testing::TestWithParam<uint32_t> {
 protected:
  void SetUp() override { LoadTestPalette(); }
};

TEST_P(Drawing, RectFillCornersInclusiveAndClipped) {
  Guarded g(10, 8, GetParam());
  SetAPen(&g.rp, 7);
  RectFill(&g.rp, 2, 3, 5, 6);
  for (uint32_t y = 0; y < 8; y++)
    for (uint32_t x = 0; x < 10; x++) {
      bool in = x >= 2 && x <= 5 && y >= 3 && y <= 6;
      EXPECT_EQ(g.Raw(x, y), in ? g.Expect(7) : 0u) << x << "," << y;
    }
  // One pixel rectangle, inverted corners, and far outside.
  SetAPen(&g.rp, 9);
  RectFill(&g.rp, 0, 0, 0, 0);
  EXPECT_EQ(g.Raw(0, 0), g.Expect(9));
  EXPECT_EQ(g.Raw(1, 0), 0u);
  RectFill(&g.rp, 5, 5, 4, 4);
  EXPECT_EQ(g.Raw(4, 4), g.Expect(7));
  RectFill(&g.rp, -100000, 100, 100000, 200000);
  RectFill(&g.rp, INT32_MIN, INT32_MIN, -1, INT32_MAX);
  RectFill(&g.rp, 10, 0, INT32_MAX, 7);
  EXPECT_TRUE(g.GuardsIntact());
  SetAPen(&g.rp, 3);
  RectFill(&g.rp, -5, -5, 1000, 1000);
  for (uint32_t y = 0; y < 8; y++)
    for (uint32_t x = 0; x < 10; x++) ASSERT_EQ(g.Raw(x, y), g.Expect(3));
  EXPECT_TRUE(g.GuardsIntact());
}

TEST_P(Drawing, DrawPointLinesAndPolyDraw) {
  Guarded g(12, 10, GetParam());
  SetAPen(&g.rp, 4);
  Move(&g.rp, 3, 3);
  Draw(&g.rp, 3, 3);  // the same point plots one pixel
  int set = 0;
  for (uint32_t y = 0; y < 10; y++)
    for (uint32_t x = 0; x < 12; x++) set += g.Raw(x, y) != 0;
  EXPECT_EQ(set, 1);
  EXPECT_EQ(g.Raw(3, 3), g.Expect(4));

  // A closed triangle: (1,1) -> (8,1) -> (8,6) -> (1,1).
  Move(&g.rp, 1, 1);
  int16_t pts[] = {8, 1, 8, 6, 1, 1};
  PolyDraw(&g.rp, 3, pts);
  EXPECT_EQ(g.rp.PenX, 1);
  EXPECT_EQ(g.rp.PenY, 1);
  for (uint32_t x = 1; x <= 8; x++) EXPECT_EQ(g.Raw(x, 1), g.Expect(4)) << x;
  for (uint32_t y = 1; y <= 6; y++) EXPECT_EQ(g.Raw(8, y), g.Expect(4)) << y;
  EXPECT_EQ(g.Raw(0, 1), 0u);
  EXPECT_EQ(g.Raw(8, 7), 0u);
  // The diagonal from (8,6) back to (1,1): one pixel per column, on the
  // row nearest to the ideal line.
  const uint32_t rows[] = {1, 2, 2, 3, 4, 5, 5, 6};
  for (uint32_t x = 1; x <= 8; x++)
    for (uint32_t y = 1; y <= 6; y++) {
      bool on = y == rows[x - 1] || y == 1 || x == 8 || (x == 3 && y == 3);
      EXPECT_EQ(g.Raw(x, y), on ? g.Expect(4) : 0u) << x << "," << y;
    }
  EXPECT_TRUE(g.GuardsIntact());
}

// Lines that leave the bitmap show exactly the pixels the unclipped line
// would have there (compared with the same lines on a larger bitmap).
TEST_P(Drawing, ClippedLinesMatchUnclipped) {
  const int32_t off = 40;
  Guarded small(11, 9, GetParam());
  Guarded big(11 + 2 * off, 9 + 2 * off, GetParam());
  SetAPen(&small.rp, 5);
  SetAPen(&big.rp, 5);
  const int32_t lines[][4] = {{-30, -7, 20, 15}, {5, -40, 6, 48}, {-39, 4, 50, 4},
                              {12, -3, -5, 20}, {-1, -1, 11, 9}, {30, 30, 40, 40}};
  for (const auto& l : lines) {
    Move(&small.rp, l[0], l[1]);
    Draw(&small.rp, l[2], l[3]);
    Move(&big.rp, l[0] + off, l[1] + off);
    Draw(&big.rp, l[2] + off, l[3] + off);
  }
  for (uint32_t y = 0; y < 9; y++)
    for (uint32_t x = 0; x < 11; x++) EXPECT_EQ(small.Raw(x, y), big.Raw(x + off, y + off)) << x << "," << y;
  Move(&small.rp, -32768, -32768);
  Draw(&small.rp, 32767, 32767);
  Move(&small.rp, INT32_MIN, 5);
  Draw(&small.rp, INT32_MAX, 5);
  EXPECT_EQ(small.Raw(0, 5), small.Expect(5));
  EXPECT_EQ(small.Raw(10, 5), small.Expect(5));
  EXPECT_TRUE(small.GuardsIntact());
}

TEST_P(Drawing, WriteAndReadPixel) {
  Guarded g(4, 3, GetParam());
  SetAPen(&g.rp, 200);
  EXPECT_EQ(WritePixel(&g.rp, 3, 2), 0);
  EXPECT_EQ(ReadPixel(&g.rp, 3, 2), 200);
  EXPECT_EQ(ReadPixel(&g.rp, 0, 0), g.bpp == 1 ? 0 : -1);  // black is no pen here
  EXPECT_EQ(WritePixel(&g.rp, 4, 0), -1);
  EXPECT_EQ(WritePixel(&g.rp, -1, 0), -1);
  EXPECT_EQ(WritePixel(&g.rp, 0, 3), -1);
  EXPECT_EQ(ReadPixel(&g.rp, 0, -1), -1);
  EXPECT_EQ(ReadPixel(&g.rp, INT32_MAX, 0), -1);
  SetAPen(&g.rp, 0x1FF);  // pens wrap to 0..255
  WritePixel(&g.rp, 0, 0);
  EXPECT_EQ(ReadPixel(&g.rp, 0, 0), 255);
  EXPECT_TRUE(g.GuardsIntact());
}

INSTANTIATE_TEST_SUITE_P(Depths, Drawing, testing::Values(8u, 32u));

TEST(DrawingRastPort, DefaultsAndInvalidRastPortMessages) {
  RastPort rp;
  std::memset(&rp, 0x55, sizeof rp);
  InitRastPort(&rp);
  EXPECT_EQ(rp.APen, 1);
  EXPECT_EQ(rp.BPen, 0);
  EXPECT_EQ(rp.DrawMode, 1);
  EXPECT_EQ(rp.Font, nullptr);
  EXPECT_EQ(rp.Bitmap, nullptr);
  EXPECT_EQ(rp.PenX, 0);

  std::vector<std::string> lines;
  DebugLogSetStderr(0);
  DebugLogSetHook([](const char* line, void* u) { static_cast<std::vector<std::string>*>(u)->push_back(line); },
                  &lines);
  SetAPen(nullptr, 3);
  SetFont(nullptr, nullptr);
  Move(nullptr, 1, 2);
  DebugLogSetHook(nullptr, nullptr);
  DebugLogSetStderr(1);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "SetAPen:Der uebergebene RastPort ist nicht valid!\n");
  EXPECT_EQ(lines[1], "SetFont:Der angegebene RastPort ist nicht valid!\n");
  EXPECT_EQ(lines[2], "Move: Der uebergebene RastPort ist nicht valid!\n");

  // Drawing without a bitmap does nothing, but the pen still moves.
  Move(&rp, 5, 6);
  Draw(&rp, 7, 8);
  RectFill(&rp, 0, 0, 10, 10);
  EXPECT_EQ(WritePixel(&rp, 0, 0), -1);
  EXPECT_EQ(rp.PenX, 7);
  EXPECT_EQ(rp.PenY, 8);
  SetFont(&rp, nullptr);  // ignored
  EXPECT_EQ(rp.Font, nullptr);
}

TEST(DrawingBitMap, AllocationRules) {
  BitMap* a = AllocBitMap(7, 5, 8, 5, nullptr);  // the minimap's flags
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->Width, 7u);
  EXPECT_EQ(a->Height, 5u);
  EXPECT_EQ(a->Depth, 8u);
  EXPECT_EQ(a->BytesPerRow, 7u);
  EXPECT_EQ(a->Size, 35u);
  for (uint32_t i = 0; i < a->Size; i++) ASSERT_EQ(a->Pixels[i], 0);
  EXPECT_EQ(BitMapPixelFormat(a), PIXFMT_LUT8);
  FreeBitMap(a);
  BitMap* b = AllocBitMap(640, 480, 32, BMF_RGBA, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->BytesPerRow, 2560u);  // OpenGL mode: width x 4, no padding
  EXPECT_EQ(b->Padding, 0u);
  EXPECT_EQ(BitMapPixelFormat(b), PIXFMT_RGBA32);
  BitMap* c = AllocBitMap(2, 2, 32, 0, b);  // a friend passes its byte order on
  EXPECT_EQ(BitMapPixelFormat(c), PIXFMT_RGBA32);
  FreeBitMap(c);
  c = AllocBitMap(2, 2, 8, 0, b);
  EXPECT_EQ(BitMapPixelFormat(c), PIXFMT_LUT8);
  FreeBitMap(c);
  FreeBitMap(b);
  EXPECT_EQ(AllocBitMap(0, 5, 8, 0, nullptr), nullptr);
  EXPECT_EQ(AllocBitMap(5, 0, 8, 0, nullptr), nullptr);
  EXPECT_EQ(AllocBitMap(5, 5, 16, 0, nullptr), nullptr);
  EXPECT_EQ(AllocBitMap(5, 5, 0, 0, nullptr), nullptr);
  EXPECT_EQ(AllocBitMap(0xFFFFFFFFu, 0xFFFFFFFFu, 32, 0, nullptr), nullptr);
  FreeBitMap(nullptr);
  EXPECT_EQ(AllocSurfaceBitMap(nullptr), nullptr);
  uint8_t px[16];
  PlatformSurface bad{px, 4, 4, 3, 8};  // pitch below the width
  EXPECT_EQ(AllocSurfaceBitMap(&bad), nullptr);
  PlatformSurface d16{px, 2, 2, 4, 16};
  EXPECT_EQ(AllocSurfaceBitMap(&d16), nullptr);
}

TEST(DrawingPalette, LoadRGB32GroupsAndRanges) {
  LoadTestPalette();
  PaletteCopy pal;
  std::memset(&pal, 0, sizeof pal);
  // Group 1: two colours from 10; group 2: three colours from 254 (only
  // 254 and 255 exist; the third is dropped); then the end mark.
  std::vector<uint8_t> t;
  auto u16 = [&](uint16_t v) { uint8_t b[2]; std::memcpy(b, &v, 2); t.insert(t.end(), b, b + 2); };
  auto u32 = [&](uint32_t v) { uint8_t b[4]; std::memcpy(b, &v, 4); t.insert(t.end(), b, b + 4); };
  u16(2); u16(10);
  u32(0x11111111); u32(0x22000000); u32(0x33FFFFFF);
  u32(0x44000000); u32(0x55000000); u32(0x66000000);
  u16(3); u16(254);
  for (int i = 0; i < 9; i++) u32((uint32_t)(0x70 + i) << 24);
  u16(0); u16(0);
  LoadRGB32(&pal, t.data());
  EXPECT_EQ(pal.Colors[10].Red, 0x11);
  EXPECT_EQ(pal.Colors[10].Green, 0x22);
  EXPECT_EQ(pal.Colors[10].Blue, 0x33);
  EXPECT_EQ(pal.Colors[11].Red, 0x44);
  EXPECT_EQ(pal.Colors[11].Blue, 0x66);
  EXPECT_EQ(pal.Colors[9].Red, 0);
  EXPECT_EQ(pal.Colors[12].Red, 0);
  EXPECT_EQ(pal.Colors[254].Red, 0x70);
  EXPECT_EQ(pal.Colors[255].Blue, 0x75);
  EXPECT_EQ(pal.Colors[0].Red, 0);  // nothing wrapped round
  // The screen palette is untouched by a load into another copy.
  EXPECT_EQ(ScreenPalette()->Colors[10].Red, 10);

  SetRGB4(&pal, 1, 15, 10, 0);
  EXPECT_EQ(pal.Colors[1].Red, 255);
  EXPECT_EQ(pal.Colors[1].Green, 170);
  EXPECT_EQ(pal.Colors[1].Blue, 0);
  SetRGB4(&pal, 256, 1, 1, 1);  // no such colour
  SetRGB4(nullptr, 2, 0, 0, 1);
  EXPECT_EQ(ScreenPalette()->Colors[2].Blue, 17);
  LoadRGB32(nullptr, nullptr);
}

TEST(DrawingPalette, ConvertRGBToFormat) {
  LoadTestPalette();
  const uint8_t pens[3] = {0, 1, 200};
  uint32_t x[3];
  EXPECT_EQ(ConvertRGBToFormat(PIXFMT_XRGB32, pens, x, 3), 3u);
  EXPECT_EQ(x[0], Xrgb(0));
  EXPECT_EQ(x[2], Xrgb(200));
  uint8_t rgba[12];
  EXPECT_EQ(ConvertRGBToFormat(PIXFMT_RGBA32, pens, rgba, 3), 3u);
  const uint8_t want[12] = {0, 255, 0x5A, 255, 1, 254, 0x5B, 255, 200, 55, 200 ^ 0x5A, 255};
  EXPECT_EQ(std::memcmp(rgba, want, 12), 0);
  uint8_t lut[3];
  EXPECT_EQ(ConvertRGBToFormat(PIXFMT_LUT8, pens, lut, 3), 3u);
  EXPECT_EQ(std::memcmp(lut, pens, 3), 0);
  EXPECT_EQ(ConvertRGBToFormat(99, pens, x, 3), 0u);
  EXPECT_EQ(ConvertRGBToFormat(PIXFMT_XRGB32, nullptr, x, 3), 0u);
}

// On the 8-bit display the display palette follows the palette copy; the
// screen's back surface is drawn on through a wrapping BitMap.
TEST(DrawingDisplay, PaletteReachesTheDisplayAndBackSurfaceBitMap) {
  ASSERT_EQ(HeadlessOpenDisplay(0), 1);  // 640 x 480 x 8
  LoadTestPalette();
  PaletteEntry shown[256];
  DisplayGetPalette(shown);
  EXPECT_EQ(shown[77].r, 77);
  EXPECT_EQ(shown[77].g, 255 - 77);
  std::vector<uint8_t> t(4 + 12 + 4, 0);
  uint16_t count = 1, first = 3;
  std::memcpy(&t[0], &count, 2);
  std::memcpy(&t[2], &first, 2);
  uint32_t rgb[3] = {0x10000000, 0x20000000, 0x30000000};
  std::memcpy(&t[4], rgb, 12);
  LoadRGB32(nullptr, t.data());
  SetRGB4(nullptr, 4, 15, 0, 8);
  DisplayGetPalette(shown);
  EXPECT_EQ(shown[3].r, 0x10);
  EXPECT_EQ(shown[3].b, 0x30);
  EXPECT_EQ(shown[4].r, 255);
  EXPECT_EQ(shown[4].b, 136);
  EXPECT_EQ(shown[5].r, 5);

  BitMap* screen = AllocSurfaceBitMap(DisplayBackSurface());
  ASSERT_NE(screen, nullptr);
  EXPECT_EQ(screen->Flags & BMF_SURFACE, BMF_SURFACE);
  EXPECT_EQ(screen->Depth, 8u);
  RastPort rp;
  InitRastPort(&rp);
  rp.Bitmap = screen;
  SetAPen(&rp, 42);
  RectFill(&rp, 0, 0, 639, 479);
  PlatformSurface* back = DisplayBackSurface();
  EXPECT_EQ(back->pixels[0], 42);
  EXPECT_EQ(back->pixels[479 * back->pitch + 639], 42);
  FreeBitMap(screen);  // the surface's pixels stay
  EXPECT_EQ(back->pixels[0], 42);
  HeadlessCloseDisplay();
  // Without a display LoadRGB32 just keeps the copy.
  LoadTestPalette();
  EXPECT_EQ(ScreenPalette()->Colors[3].Red, 3);
}

// The window thread copies the screen's bitmap under the display mutex (in
// OpenGL mode each frame) while the game thread draws on it: every drawing
// call holds that mutex while it touches the screen's bitmap, so the two
// never meet (the thread sanitizer's run sees it), and a bitmap of the
// caller's own takes no lock.
TEST(DrawingScreenThread, EveryCallHoldsTheDisplayMutexOnTheScreen) {
  ASSERT_EQ(HeadlessOpenDisplay(0), 1);  // 640 x 480 x 8
  PlatformSurface* back = DisplayBackSurface();
  BitMap* screen = AllocSurfaceBitMap(back);
  BitMap* own = AllocBitMap(32, 32, 8, 0, nullptr);
  ASSERT_NE(screen, nullptr);
  ASSERT_NE(own, nullptr);
  RastPort rp, own_rp;
  InitRastPort(&rp);
  rp.Bitmap = screen;
  InitRastPort(&own_rp);
  own_rp.Bitmap = own;
  SetAPen(&own_rp, 7);
  RectFill(&own_rp, 0, 0, 31, 31);
  std::vector<uint8_t> mask(32 * 32, 1);
  std::atomic<bool> stop{false};
  std::atomic<uint64_t> copies{0};
  std::thread frame([&] {
    QoeMutex* m = DisplayMutex();
    while (!stop.load()) {
      ObtainMutex(m);
      uint32_t sum = 0;
      for (int y = 0; y < 40; y++)
        for (int x = 0; x < 40; x++) sum += back->pixels[y * back->pitch + x];
      ReleaseMutex(m);
      copies += sum == 0xFFFFFFFF ? 0 : 1;
    }
  });
  for (int i = 0; i < 300; i++) {
    SetAPen(&rp, 3 + (i & 1));
    RectFill(&rp, 0, 0, 39, 39);
    WritePixel(&rp, 5, 5);
    Move(&rp, 0, 0);
    Draw(&rp, 39, 39);
    BltBitMap(own, 0, 0, screen, 4, 4, 20, 20);
    BltBitMapRastPort(screen, 0, 0, &own_rp, 0, 0, 8, 8, 0xC0);
    BltMaskBitMapRastPort(own, 0, 0, &rp, 10, 10, 16, 16, 0xE0, mask.data());
    EXPECT_EQ(ReadPixel(&rp, 30, 2), 3 + (i & 1));
    EXPECT_EQ(MutexHeldCount(DisplayMutex()), 0);
  }
  while (copies.load() == 0) std::this_thread::yield();
  stop = true;
  frame.join();
  FreeBitMap(own);
  FreeBitMap(screen);
  HeadlessCloseDisplay();
}

// In OpenGL mode a movie's thread copies its frames into the screen's bitmap
// under the display mutex, fetching the screen RastPort each time, while the
// game thread may close the screen RastPort and open it anew (the picture
// manager does when the shown picture changes): the pointer is swapped and
// the old bitmap freed under the same mutex (the thread sanitizer's run sees
// it; the address sanitizer's a frame copied into a freed bitmap).
TEST(DrawingScreenThread, TheScreenRastPortIsSwappedUnderTheDisplayMutex) {
  ASSERT_EQ(HeadlessOpenDisplay(8), 1);  // 1024 x 768 x 32
  DisplaySetRenderer(1);
  FillDisplayRecord();
  ASSERT_EQ(OpenScreenRastPort(), 1);
  std::atomic<bool> stop{false};
  std::atomic<uint64_t> frames{0};
  std::thread movie([&] {
    QoeMutex* m = DisplayMutex();
    while (!stop.load()) {
      ObtainMutex(m);
      const DisplayRecord* d = QoESystemPtr->Display;
      RastPort* rp = d ? d->ScreenRastPort : nullptr;
      if (rp && rp->Bitmap && rp->Bitmap->Pixels) std::memset(rp->Bitmap->Pixels, 0x11, 64 * 4);
      ReleaseMutex(m);
      frames++;
    }
  });
  for (int i = 0; i < 200; i++) {
    CloseScreenRastPort();
    ASSERT_EQ(OpenScreenRastPort(), 1);
  }
  while (frames.load() == 0) std::this_thread::yield();
  stop = true;
  movie.join();
  CloseScreenRastPort();
  DisplaySetRenderer(0);
  HeadlessCloseDisplay();
}

// The display record is filled again by every SetupSystem (a new game, a
// load) while the movie, rain and motion threads read it: what has not
// changed is not written again (the thread sanitizer's run sees it).
TEST(DrawingScreenThread, TheDisplayRecordFilledAgainWritesNothingUnchanged) {
  ASSERT_EQ(HeadlessOpenDisplay(8), 1);
  FillDisplayRecord();
  ASSERT_EQ(OpenScreenRastPort(), 1);
  std::atomic<bool> stop{false};
  std::atomic<uint64_t> reads{0};
  std::thread movie([&] {
    while (!stop.load()) {
      const DisplayRecord* d = QoESystemPtr->Display;
      if (d && d->Width == 1024 && d->Depth == 32 && d->ScreenRastPort) reads++;
    }
  });
  for (int i = 0; i < 200; i++) FillDisplayRecord();
  while (reads.load() == 0) std::this_thread::yield();
  stop = true;
  movie.join();
  EXPECT_EQ(QoESystemPtr->Display->Height, 768);
  CloseScreenRastPort();
  HeadlessCloseDisplay();
}

// A colour-cycling thread loads palettes while the game thread draws pens
// into a 32-bit bitmap: every pixel gets one whole palette colour.
TEST(DrawingPaletteThread, LoadsWhileDrawing) {
  LoadTestPalette();
  SetRGB4(nullptr, 9, 0, 0, 0);
  std::atomic<bool> stop{false};
  std::thread cycler([&] {
    std::vector<uint8_t> t(4 + 12 + 4, 0);
    uint16_t count = 1, first = 9;
    std::memcpy(&t[0], &count, 2);
    std::memcpy(&t[2], &first, 2);
    for (uint32_t i = 0; !stop.load(); i++) {
      uint32_t c = (i & 1) ? 0xFF000000u : 0;
      uint32_t rgb[3] = {c, c, c};
      std::memcpy(&t[4], rgb, 12);
      LoadRGB32(nullptr, t.data());
    }
  });
  BitMap* bm = AllocBitMap(16, 16, 32, 0, nullptr);
  RastPort rp;
  InitRastPort(&rp);
  rp.Bitmap = bm;
  SetAPen(&rp, 9);
  int bad = 0;
  for (int i = 0; i < 2000; i++) {
    RectFill(&rp, 0, 0, 15, 15);
    uint32_t v;
    std::memcpy(&v, bm->Pixels, 4);
    bad += v != 0 && v != 0xFFFFFF;
  }
  EXPECT_EQ(bad, 0);
  stop = true;
  cycler.join();
  FreeBitMap(bm);
}

// Two threads change the screen palette of an 8-bit display at once (the
// colour cycling beside a screen's own loads): the display ends with the
// palette copy's colours, and the colours are read under the lock.
TEST(DrawingPaletteThread, DisplayEndsWithTheNewestColours) {
  ASSERT_EQ(HeadlessOpenDisplay(0), 1);
  LoadTestPalette();
  std::thread loader([] {
    // Two groups: the whole palette goes to the display each time.
    std::vector<uint8_t> t(4 + 12 + 4 + 12 + 4, 0);
    uint16_t one = 1, first_a = 10, first_b = 20;
    std::memcpy(&t[0], &one, 2);
    std::memcpy(&t[2], &first_a, 2);
    std::memcpy(&t[16], &one, 2);
    std::memcpy(&t[18], &first_b, 2);
    for (uint32_t i = 0; i < 3000; i++) {
      uint32_t rgb[3] = {(i & 255) << 24, 0, ((i >> 8) & 255) << 24};
      std::memcpy(&t[4], rgb, 12);
      std::memcpy(&t[20], rgb, 12);
      LoadRGB32(nullptr, t.data());
    }
  });
  for (uint32_t i = 0; i < 3000; i++) SetRGB4(nullptr, 20, i & 15, (i >> 4) & 15, 3);
  loader.join();
  PaletteEntry shown[256];
  DisplayGetPalette(shown);
  const PaletteCopy* pal = ScreenPalette();
  for (int n = 0; n < 256; n++) {
    EXPECT_EQ(shown[n].r, pal->Colors[n].Red) << n;
    EXPECT_EQ(shown[n].g, pal->Colors[n].Green) << n;
    EXPECT_EQ(shown[n].b, pal->Colors[n].Blue) << n;
  }
  HeadlessCloseDisplay();
}

// --- Blits ------------------------------------------------------------------

class Blits : public testing::TestWithParam<uint32_t> {
 protected:
  void SetUp() override { LoadTestPalette(); }
  static void Pattern(BitMap* bm) {
    for (uint32_t y = 0; y < bm->Height; y++)
      for (uint32_t x = 0; x < bm->Width; x++) {
        uint8_t pen = (uint8_t)(x * 7 + y * 13 + 1);
        uint8_t* p = bm->Pixels + y * bm->BytesPerRow + x * (bm->Depth / 8);
        if (bm->Depth == 8) *p = pen;
        else { uint32_t v = Xrgb(pen); std::memcpy(p, &v, 4); }
      }
  }
};

// An overlapping blit within one bitmap equals a copy through a temporary.
TEST_P(Blits, OverlappingBlitEqualsCopyThroughTemporary) {
  const int32_t moves[][2] = {{3, 0}, {-3, 0}, {0, 2}, {0, -2}, {2, 3}, {-2, -3}, {2, -1}, {-1, 2}};
  for (const auto& m : moves) {
    BitMap* bm = AllocBitMap(20, 16, GetParam(), 0, nullptr);
    BitMap* want = AllocBitMap(20, 16, GetParam(), 0, nullptr);
    BitMap* tmp = AllocBitMap(12, 9, GetParam(), 0, nullptr);
    Pattern(bm);
    Pattern(want);
    ASSERT_EQ(BltBitMap(want, 4, 4, tmp, 0, 0, 12, 9), 1);
    ASSERT_EQ(BltBitMap(tmp, 0, 0, want, 4 + m[0], 4 + m[1], 12, 9), 1);
    ASSERT_EQ(BltBitMap(bm, 4, 4, bm, 4 + m[0], 4 + m[1], 12, 9), 1);
    EXPECT_EQ(std::memcmp(bm->Pixels, want->Pixels, bm->Size), 0) << m[0] << "," << m[1];
    // The same through the masked blit (no pixel of the pattern is pen 0).
    Pattern(bm);
    RastPort rp;
    InitRastPort(&rp);
    rp.Bitmap = bm;
    ASSERT_EQ(BltMaskBitMapRastPort(bm, 4, 4, &rp, 4 + m[0], 4 + m[1], 12, 9, 0xE0, nullptr), 1);
    EXPECT_EQ(std::memcmp(bm->Pixels, want->Pixels, bm->Size), 0) << "masked " << m[0] << "," << m[1];
    FreeBitMap(tmp);
    FreeBitMap(want);
    FreeBitMap(bm);
  }
}

TEST_P(Blits, ClippedAtEveryEdge) {
  BitMap* src = AllocBitMap(6, 5, GetParam(), 0, nullptr);
  Pattern(src);
  Guarded g(8, 7, GetParam());
  // Source rectangle partly left of and above the source: the visible part
  // lands where it would have landed unclipped.
  ASSERT_EQ(BltBitMapRastPort(src, -2, -1, &g.rp, 1, 1, 6, 4), 1);
  RastPort srp;
  InitRastPort(&srp);
  srp.Bitmap = src;
  for (uint32_t y = 0; y < 7; y++)
    for (uint32_t x = 0; x < 8; x++) {
      bool in = x >= 3 && x <= 6 && y >= 2 && y <= 4;
      uint32_t want = in ? g.Expect((uint32_t)ReadPixel(&srp, x - 3, y - 2)) : 0;
      EXPECT_EQ(g.Raw(x, y), want) << x << "," << y;
    }
  // Destinations beyond every edge and absurd sizes.
  BltBitMapRastPort(src, 0, 0, &g.rp, -4, -3, 6, 5);
  BltBitMapRastPort(src, 0, 0, &g.rp, 5, 5, 6, 5);
  BltBitMapRastPort(src, 0, 0, &g.rp, INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX);
  BltBitMapRastPort(src, INT32_MIN, INT32_MIN, &g.rp, INT32_MIN, 0, INT32_MAX, INT32_MAX);
  BltBitMapRastPort(src, 0, 0, &g.rp, 0, 0, -5, 3);
  BltMaskBitMapRastPort(src, -3, -3, &g.rp, 6, 6, 100, 100, 0, nullptr);
  EXPECT_TRUE(g.GuardsIntact());
  EXPECT_EQ(ReadPixel(&g.rp, 7, 6), ReadPixel(&srp, 2, 1));  // from the (5,5) copy
  EXPECT_EQ(BltBitMap(nullptr, 0, 0, src, 0, 0, 1, 1), 0);
  EXPECT_EQ(BltBitMapRastPort(src, 0, 0, nullptr, 0, 0, 1, 1), 0);
  FreeBitMap(src);
}

TEST_P(Blits, MaskedBlitLeavesTransparentPixels) {
  BitMap* src = AllocBitMap(4, 2, GetParam(), 0, nullptr);
  RastPort srp;
  InitRastPort(&srp);
  srp.Bitmap = src;
  // Source: row 0 = 0, 5, 0, 6; row 1 = 7, 0, 8, 0 (pen 0 at depth 8; at
  // depth 32 the palette's pen 0 is not black, so black is written instead).
  const int pens[2][4] = {{0, 5, 0, 6}, {7, 0, 8, 0}};
  for (int y = 0; y < 2; y++)
    for (int x = 0; x < 4; x++) {
      uint8_t* p = src->Pixels + y * src->BytesPerRow + x * (src->Depth / 8);
      if (src->Depth == 8) *p = (uint8_t)pens[y][x];
      else { uint32_t v = pens[y][x] ? Xrgb(pens[y][x]) : 0; std::memcpy(p, &v, 4); }
    }
  BitMap* dst = AllocBitMap(4, 2, GetParam(), 0, nullptr);
  RastPort rp;
  InitRastPort(&rp);
  rp.Bitmap = dst;
  SetAPen(&rp, 9);
  RectFill(&rp, 0, 0, 3, 1);
  ASSERT_EQ(BltMaskBitMapRastPort(src, 0, 0, &rp, 0, 0, 4, 2, 0xE0, nullptr), 1);
  for (int y = 0; y < 2; y++)
    for (int x = 0; x < 4; x++) EXPECT_EQ(ReadPixel(&rp, x, y), pens[y][x] ? pens[y][x] : 9) << x << "," << y;
  // With an explicit mask only the mask decides: here the first column.
  RectFill(&rp, 0, 0, 3, 1);
  const uint8_t mask[8] = {1, 0, 0, 0, 1, 0, 0, 0};
  ASSERT_EQ(BltMaskBitMapRastPort(src, 0, 0, &rp, 0, 0, 4, 2, 0, mask), 1);
  EXPECT_EQ(ReadPixel(&rp, 0, 0), GetParam() == 8 ? 0 : -1);  // black is not in the palette
  EXPECT_EQ(ReadPixel(&rp, 0, 1), 7);
  EXPECT_EQ(ReadPixel(&rp, 1, 0), 9);
  EXPECT_EQ(ReadPixel(&rp, 3, 1), 9);
  // Masked blit with an offset source: the mask follows the source position.
  RectFill(&rp, 0, 0, 3, 1);
  ASSERT_EQ(BltMaskBitMapRastPort(src, 1, 0, &rp, 0, 0, 3, 2, 0xE0, mask + 0), 1);
  EXPECT_EQ(ReadPixel(&rp, 0, 0), 9);  // mask[1] = 0
  FreeBitMap(dst);
  FreeBitMap(src);
}

INSTANTIATE_TEST_SUITE_P(Depths, Blits, testing::Values(8u, 32u));

// The row-wise masked blit against the plain rule, pixel by pixel: every
// opaque source pixel (mask byte non-zero, else not the colour key) lands
// converted as an unmasked blit converts it, every other destination pixel
// stays. Random runs of holes and opaque pixels, all widths up to 140 (the
// wide steps of the rows and their ends) and every pair of pixel formats.
TEST(DrawingBlits, MaskedBlitRunsMatchThePixelRule) {
  LoadTestPalette();
  uint32_t seed = 12345;
  auto rnd = [&seed](uint32_t n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % n;
  };
  struct Format { uint32_t depth, flags; };
  const Format formats[3] = {{8, 0}, {32, 0}, {32, BMF_RGBA}};
  for (const Format& sf : formats)
    for (const Format& df : formats) {
      if (sf.depth == 32 && df.depth == 8) continue;  // colours never become pens
      for (int round = 0; round < 60; round++) {
        const uint32_t w = 1 + rnd(140), h = 1 + rnd(4);
        BitMap* src = AllocBitMap(w + 5, h, sf.depth, sf.flags, nullptr);
        BitMap* dst = AllocBitMap(w + 7, h, df.depth, df.flags, nullptr);
        BitMap* full = AllocBitMap(w + 7, h, df.depth, df.flags, nullptr);
        ASSERT_TRUE(src && dst && full);
        std::vector<uint8_t> mask(src->Width * h);
        // Runs: each pixel continues the run before it most of the time.
        bool opaque = rnd(2);
        for (uint32_t i = 0; i < src->Width * h; i++) {
          if (rnd(8) == 0) opaque = !opaque;
          mask[i] = opaque ? (uint8_t)(1 + rnd(255)) : 0;
          uint8_t* p = src->Pixels + i * (sf.depth / 8);
          if (sf.depth == 8) *p = opaque ? (uint8_t)(1 + rnd(255)) : 0;
          else
            for (int b = 0; b < 4; b++) p[b] = opaque ? (uint8_t)(rnd(256) | (b == 1 ? 1 : 0)) : (b == 3 ? 255 : 0);
        }
        for (uint32_t i = 0; i < dst->Size; i++) dst->Pixels[i] = (uint8_t)rnd(256);
        const std::vector<uint8_t> before(dst->Pixels, dst->Pixels + dst->Size);
        const int32_t sx = (int32_t)rnd(6), dx = (int32_t)rnd(8);
        ASSERT_EQ(BltBitMap(src, sx, 0, full, dx, 0, (int32_t)w, (int32_t)h), 1);
        RastPort rp;
        InitRastPort(&rp);
        rp.Bitmap = dst;
        const bool with_mask = round & 1;
        ASSERT_EQ(BltMaskBitMapRastPort(src, sx, 0, &rp, dx, 0, (int32_t)w, (int32_t)h, 0xE0,
                                        with_mask ? mask.data() : nullptr), 1);
        const uint32_t dbpp = df.depth / 8, sbpp = sf.depth / 8;
        for (uint32_t y = 0; y < h; y++)
          for (uint32_t x = 0; x < dst->Width; x++) {
            const int32_t from = (int32_t)x - dx + sx;
            bool in = (int32_t)x >= dx && (int32_t)x < dx + (int32_t)w && from < (int32_t)src->Width;
            bool take = false;
            if (in) {
              const uint8_t* sp = src->Pixels + y * src->BytesPerRow + (size_t)from * sbpp;
              // The key at depth 32: red, green and blue 0 (bytes 0..2 in both orders).
              take = with_mask ? mask[y * src->Width + from] != 0
                               : sf.depth == 8 ? sp[0] != 0 : (sp[0] | sp[1] | sp[2]) != 0;
            }
            const size_t at = y * dst->BytesPerRow + (size_t)x * dbpp;
            const uint8_t* want = take ? full->Pixels + at : before.data() + at;
            ASSERT_EQ(std::memcmp(dst->Pixels + at, want, dbpp), 0)
                << sf.depth << sf.flags << "->" << df.depth << df.flags << " round " << round << " at " << x << "," << y;
          }
        FreeBitMap(full);
        FreeBitMap(dst);
        FreeBitMap(src);
      }
    }
}

TEST(DrawingBlits, PensToColoursAndByteOrders) {
  LoadTestPalette();
  BitMap* pens = AllocBitMap(3, 1, 8, 0, nullptr);
  pens->Pixels[0] = 0; pens->Pixels[1] = 17; pens->Pixels[2] = 255;
  BitMap* x = AllocBitMap(3, 1, 32, 0, nullptr);
  BitMap* gl = AllocBitMap(3, 1, 32, BMF_RGBA, nullptr);
  ASSERT_EQ(BltBitMap(pens, 0, 0, x, 0, 0, 3, 1), 1);
  uint32_t v;
  std::memcpy(&v, x->Pixels + 4, 4);
  EXPECT_EQ(v, Xrgb(17));
  ASSERT_EQ(BltBitMap(x, 0, 0, gl, 0, 0, 3, 1), 1);
  EXPECT_EQ(gl->Pixels[4], 17);
  EXPECT_EQ(gl->Pixels[5], 238);
  EXPECT_EQ(gl->Pixels[6], 17 ^ 0x5A);
  EXPECT_EQ(gl->Pixels[7], 255);
  // Pens drawn straight into the OpenGL bitmap take the same byte order.
  RastPort rp;
  InitRastPort(&rp);
  rp.Bitmap = gl;
  SetAPen(&rp, 200);
  WritePixel(&rp, 0, 0);
  EXPECT_EQ(gl->Pixels[0], 200);
  EXPECT_EQ(gl->Pixels[3], 255);
  EXPECT_EQ(ReadPixel(&rp, 0, 0), 200);
  ASSERT_EQ(BltBitMap(gl, 0, 0, x, 0, 0, 1, 1), 1);
  std::memcpy(&v, x->Pixels, 4);
  EXPECT_EQ(v, Xrgb(200));
  EXPECT_EQ(BltBitMap(x, 0, 0, pens, 0, 0, 3, 1), 0);  // colours cannot become pens
  FreeBitMap(gl);
  FreeBitMap(x);
  FreeBitMap(pens);
}

}  // namespace
