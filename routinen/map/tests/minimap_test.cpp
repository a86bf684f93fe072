// The minimap at both depths on a window built in memory: where each hex's
// blob goes, its pen, the clip to the rectangle and to graphic 1166, the
// width rule, unknown hexes and the window's edges; a PNG of the demo realm.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "map_fixture.h"
#include "platform/display.h"
#include "platform/headless.h"
#include "routinen/gui/pictures.h"
#include "routinen/map/map_internal.h"
#include "routinen/system/graphics.h"
#include "routinen/system/memory.h"
#include "routinen/system/sysrecords.h"
#include "tests/support/test_support.h"

using namespace maptest;

namespace {

// Rectangle 2 (depth 8) fits the fixed 8-bit places; rectangle 5 elsewhere.
const uint16_t kRects[] = {0, 0, 9, 9, 0, 0, 9, 9, 506, 12, 637, 145, 0, 0, 9, 9, 0, 0, 9, 9, 400, 300, 531, 433};
const uint8_t kPens[12] = {0, 15, 1, 3, 68, 76, 76, 136, 167, 7, 40, 105};

class MiniMapTest : public testing::TestWithParam<uint32_t> {
 protected:
  void SetUp() override {
    ASSERT_EQ(HeadlessOpenDisplay(GetParam()), 1);
    ASSERT_EQ(OpenScreenRastPort(), 1);
    SetTestPalette();
    rp_ = ScreenRastPort();
    Fill(200);
    cells_.assign(kCMapColumns * kCMapRows, MapTile{});
    bmap_.assign(kBMapBytes, 0);
    std::memset(&map_, 0, sizeof map_);
    map_.CMap = cells_.data();
    map_.BMap = map_.DrawBMap = bmap_.data();
    map_.ViewColumn = 100;
    map_.ViewRow = 50;
    map_.Columns = 12;
    map_.Rows = 8;
  }
  void TearDown() override {
    CloseScreenRastPort();
    ResetPictureManagerState();
    HeadlessCloseDisplay();
  }
  bool Deep() const { return GetParam() != 0; }
  void Fill(uint32_t pen) {
    SetAPen(rp_, pen);
    RectFill(rp_, 0, 0, 639, 479);
  }
  int32_t Pen(int32_t x, int32_t y) { return ReadPixel(rp_, x, y); }
  // Sets every window cell to graphic g, known or not.
  void All(uint16_t g, bool known) {
    for (auto& c : cells_) c.Grafik = g;
    std::memset(bmap_.data(), known ? 0xFF : 0, bmap_.size());
  }
  const uint16_t* Area() const { return kRects + (Deep() ? 5 : 2) * 4; }
  // The first terrain graphic of a type.
  static uint16_t GraphicOf(uint16_t type) {
    for (uint16_t g = 1; g <= 91; g++)
      if (GetTypeOfHex(g) == type) return g;
    return 0;
  }
  RastPort* rp_ = nullptr;
  std::vector<MapTile> cells_;
  std::vector<uint8_t> bmap_;
  QoEMapInfo map_;
};

TEST_P(MiniMapTest, BlobPlacesAtBothParitiesAndCorners) {
  struct Case {
    int32_t c, r;
  } cases[] = {{0, 0}, {1, 0}, {40, 0}, {39, 0}, {0, 30}, {1, 30}, {40, 30}, {17, 12}, {18, 12}};
  const uint16_t* r5 = kRects + 20;
  for (const Case& k : cases) {
    Fill(200);
    EXPECT_EQ(PlotMiniMapCell(rp_->Bitmap, kRects, k.c, k.r, 7), 1);
    int32_t x = Deep() ? r5[0] + 3 * k.c + 3 : 3 * k.c + 508;
    int32_t y = Deep() ? r5[1] + 4 * k.r + ((k.c & 1) ? 5 : 3) : 4 * k.r + ((k.c & 1) ? 16 : 14);
    // The 12 pixels of the blob in pen 136, its four corners untouched.
    int drawn = 0;
    for (int32_t py = y - 1; py <= y + 4; py++)
      for (int32_t px = x - 1; px <= x + 4; px++) {
        bool corner = (px == x || px == x + 3) && (py == y || py == y + 3);
        bool in = px >= x && px <= x + 3 && py >= y && py <= y + 3 && !corner;
        EXPECT_EQ(Pen(px, py), in ? 136 : 200) << k.c << "," << k.r << " at " << px << "," << py;
        drawn += Pen(px, py) == 136;
      }
    EXPECT_EQ(drawn, 12);
  }
}

TEST_P(MiniMapTest, WidthRuleAndFailures) {
  uint16_t rects[24] = {};
  const int slot = Deep() ? 5 : 2;
  rects[slot * 4 + 0] = 20;
  rects[slot * 4 + 2] = 119;  // 100 pixels wide
  rects[slot * 4 + 1] = 30;
  rects[slot * 4 + 3] = 79;
  MiniMap* mm = InitMiniMap(rects);
  ASSERT_NE(mm, nullptr);
  EXPECT_EQ(mm->Width, 112);
  EXPECT_EQ(mm->Height, 50);
  ASSERT_NE(mm->Bitmap, nullptr);
  EXPECT_EQ(mm->Bitmap->Depth, 8u);
  FreeMiniMap(mm);
  rects[slot * 4 + 2] = 20 + 15;  // 16 wide: stays 16
  mm = InitMiniMap(rects);
  EXPECT_EQ(mm->Width, 16);
  FreeMiniMap(mm);
  // Each allocation failing: null without a record, else the record with what was made.
  uint64_t allocated = MemAllocatedCounter_SS.load(), freed = MemFreedCounter_SS.load();
  for (int n = 0; n < 4; n++) {
    AllocVecFailAfter(n);
    mm = InitMiniMap(rects);
    AllocVecFailAfter(-1);
    EXPECT_EQ(mm == nullptr, n < 2) << n;
    FreeMiniMap(mm);
  }
  EXPECT_EQ(MemAllocatedCounter_SS.load() - allocated, MemFreedCounter_SS.load() - freed);
  FreeMiniMap(nullptr);
}

TEST_P(MiniMapTest, BlobsClippedToTheRectangle) {
  uint16_t rects[24];
  std::memcpy(rects, kRects, sizeof rects);
  uint16_t* a = rects + (Deep() ? 5 : 2) * 4;
  // Cut the rectangle through the middle of blob (10, 10).
  int32_t x = Deep() ? a[0] + 33 : 538, y = Deep() ? a[1] + 43 : 54;
  a[2] = (uint16_t)(x + 1);
  a[3] = (uint16_t)(y + 1);
  PlotMiniMapCell(rp_->Bitmap, rects, 10, 10, 10);
  int inside = 0, outside = 0;
  for (int32_t py = y; py <= y + 3; py++)
    for (int32_t px = x; px <= x + 3; px++) {
      bool in = px <= a[2] && py <= a[3];
      if (Pen(px, py) == 40) (in ? inside : outside)++;
    }
  EXPECT_EQ(inside, 3);  // (1, 0), (0, 1), (1, 1) of the blob
  EXPECT_EQ(outside, 0);
  // A hex far outside the rectangle draws nothing and touches no memory.
  Fill(200);
  PlotMiniMapCell(rp_->Bitmap, kRects, 400, 300, 7);
  PlotMiniMapCell(rp_->Bitmap, kRects, -400, -300, 7);
  PlotMiniMapCell(rp_->Bitmap, kRects, 3, 3, 0);
  PlotMiniMapCell(rp_->Bitmap, kRects, 3, 3, 12);
  for (int32_t py = 0; py < 480; py += 3) {
    for (int32_t px = 0; px < 640; px += 3) {
      ASSERT_EQ(Pen(px, py), 200);
    }
  }
}

TEST_P(MiniMapTest, UnknownHexesAndTerrainPens) {
  MiniMap* mm = InitMiniMap(kRects);
  ASSERT_NE(mm, nullptr);
  const uint16_t* a = Area();
  All(GraphicOf(7), false);
  DrawMiniMap(&map_, mm, 0, 0);
  const int32_t background = Deep() ? 200 : 0;  // depth 8 clears rectangle 2 first
  for (int32_t py = 0; py < 480; py++)
    for (int32_t px = 0; px < 640; px++) {
      bool in = px >= a[0] && px <= a[2] && py >= a[1] && py <= a[3];
      ASSERT_EQ(Pen(px, py), in ? background : 200) << px << "," << py;
    }
  for (uint16_t type = 0; type < 12; type++) {
    uint16_t g = GraphicOf(type);
    if (type > 0 && g == 0) continue;
    Fill(200);
    All(g, true);
    DrawMiniMap(&map_, mm, 0, 0);
    int pen_pixels = 0;
    for (int32_t py = a[1]; py <= a[3]; py++)
      for (int32_t px = a[0]; px <= a[2]; px++) {
        int32_t p = Pen(px, py);
        if (type == 0) {
          ASSERT_EQ(p, background);
        } else {
          ASSERT_TRUE(p == background || p == kPens[type]) << type << ": " << p;
          pen_pixels += p == kPens[type];
        }
      }
    if (type) {
      EXPECT_GT(pen_pixels, 41 * 31 * 8) << type;
    }
  }
  FreeMiniMap(mm);
}

TEST_P(MiniMapTest, MaskSmallerThanTheRectangle) {
  MiniMap* mm = InitMiniMap(kRects);
  ASSERT_NE(mm, nullptr);
  const uint16_t* a = Area();
  // A 30 x 20 shape at depth 32 without a mask: only its lit left half passes.
  BitMap* shape = AllocBitMap(30, 20, 32, 0, Deep() ? rp_->Bitmap : nullptr);
  ASSERT_NE(shape, nullptr);
  for (uint32_t y = 0; y < 20; y++)
    for (uint32_t x = 0; x < 15; x++) {
      uint32_t v = 0x00808080;
      std::memcpy(shape->Pixels + y * shape->BytesPerRow + x * 4, &v, 4);
    }
  ASSERT_EQ(ElmorGfxBitMap(1166), nullptr);
  ASSERT_EQ(PutElmorGfx(1166, shape), 1);  // the picture manager frees it at the close
  All(GraphicOf(9), true);
  DrawMiniMap(&map_, mm, 0, 0);
  EXPECT_EQ(ElmorGfxOpenCount(1166), 1u);  // the draw held it for its plots only
  CloseElmorGfx(1166);
  // Deeper displays: nothing outside the shape's lit part; depth 8 ignores it.
  int lit = 0, lit_outside = 0;
  for (int32_t py = a[1]; py <= a[3]; py++)
    for (int32_t px = a[0]; px <= a[2]; px++) {
      bool pass = px - a[0] < 15 && py - a[1] < 20;
      lit += Pen(px, py) == 7;
      lit_outside += !pass && Pen(px, py) == 7;
    }
  EXPECT_GT(lit, 100);
  if (Deep()) {
    EXPECT_EQ(lit_outside, 0);
  } else {
    EXPECT_GT(lit_outside, 41 * 31 * 8);
  }
  FreeMiniMap(mm);
}

TEST_P(MiniMapTest, ViewAtTheWindowEdges) {
  MiniMap* mm = InitMiniMap(kRects);
  ASSERT_NE(mm, nullptr);
  All(GraphicOf(7), true);
  const uint16_t* a = Area();
  // West and north edges: only cells inside the window are plotted.
  map_.ViewColumn = 0;
  map_.ViewRow = 0;
  DrawMiniMap(&map_, mm, 0, 0);
  int32_t first_c = 20 - (map_.Columns / 4) * 2;  // minimap column of window column 0
  int32_t x0 = Deep() ? a[0] + 3 * first_c + 3 : 3 * first_c + 508;
  for (int32_t py = a[1]; py <= a[3]; py++) {
    for (int32_t px = a[0]; px < x0; px++) {
      ASSERT_NE(Pen(px, py), 136) << px << "," << py;
    }
  }
  // East and south edges, and shifts far out of the window.
  map_.ViewColumn = kCMapColumns - 1;
  map_.ViewRow = kCMapRows - 1;
  DrawMiniMap(&map_, mm, 0, 0);
  DrawMiniMap(&map_, mm, 0xFFFF, 0xFFFF);
  DrawMiniMap(&map_, mm, 300, 200);
  DrawMiniMap(nullptr, mm, 0, 0);
  DrawMiniMap(&map_, nullptr, 0, 0);
  FreeMiniMap(mm);
}

TEST_P(MiniMapTest, DemoRealmPng) {
  const int32_t cap_x = 4000, cap_y = 2020;
  // The window round the capital: world (x, y) at window (x - 3960, y - 2000).
  for (int32_t r = 0; r < kCMapRows; r++)
    for (int32_t c = 0; c < kCMapColumns; c++) {
      int32_t x = 3960 - 80 + c, y = 2000 - 40 + r;
      MapTile& t = cells_[r * kCMapColumns + c];
      t.X = (uint32_t)x;
      t.Y = (uint32_t)y;
      t.Grafik = DemoRealm(x, y, cap_x, cap_y, 5).grafik;
      if (HexDistanceForTest(x, y, cap_x, cap_y) <= 14 || (x / 3 + y) % 4 != 0)
        bmap_[r * 30 + c / 8] |= (uint8_t)(1u << (c & 7));
    }
  map_.ViewColumn = 80 + 34;
  map_.ViewRow = 40 + 16;
  Fill(20);
  PaletteEntry colours[256];
  for (uint32_t i = 0; i < 256; i++) {
    uint32_t c = ColourOfPen((uint8_t)i);
    colours[i] = PaletteEntry{(uint8_t)(c >> 16), (uint8_t)(c >> 8), (uint8_t)c};
  }
  DisplaySetPalette(0, 256, colours);
  MiniMap* mm = InitMiniMap(kRects);
  ASSERT_NE(mm, nullptr);
  DrawMiniMap(&map_, mm, 0, 0);
  FreeMiniMap(mm);
  const std::string name = std::string("minimap_demo_") + (Deep() ? "32" : "8") + ".png";
  ASSERT_EQ(WriteDisplayPng(name.c_str()), 1);
  EXPECT_TRUE(qoe_test::KeepPng(name));
}

INSTANTIATE_TEST_SUITE_P(Depths, MiniMapTest, testing::Values(0u, 4u),
                         [](const testing::TestParamInfo<uint32_t>& i) {
                           return i.param == 0 ? std::string("Depth8") : std::string("Depth32");
                         });

}  // namespace
