// The map screen's display part: the panel test at every display size, the
// ring walk against the hex distance, the map-cell test, the hex marker's
// pixels, the click's state machine over a window of cells, the overlay
// switches, and the after-draw function's frame and panels as PNGs.
#include "routinen/map/mapdisplay.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/display.h"
#include "platform/headless.h"
#include "platform/pngfile.h"
#include "routinen/gui/pictures.h"
#include "routinen/map/map_internal.h"
#include "routinen/map/mapgl.h"
#include "routinen/map/mapscreen.h"
#include "platform/threads.h"
#include "routinen/system/graphics.h"
#include "routinen/system/prefs.h"
#include "routinen/system/sysrecords.h"
#include "routinen/map/tests/fake_map.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

TEST(MapDisplay, IsInMapAreaAtEveryDisplaySize) {
  // 640 x 480: the 8-bit view, strictly.
  EXPECT_EQ(IsInMapAreaAt(640, 480, 17, 17, 17, 17), 1);
  EXPECT_EQ(IsInMapAreaAt(640, 480, 16, 100, 16, 100), 0);
  EXPECT_EQ(IsInMapAreaAt(640, 480, 497, 463, 497, 463), 1);
  EXPECT_EQ(IsInMapAreaAt(640, 480, 498, 100, 498, 100), 0);
  EXPECT_EQ(IsInMapAreaAt(640, 480, 300, 464, 300, 464), 0);
  EXPECT_EQ(IsInMapAreaAt(400, 300, 100, 100, 100, 100), 0);
  struct Size {
    uint32_t w, h;
  };
  for (const Size s : {Size{800, 600}, Size{1024, 768}, Size{1152, 864}, Size{1280, 1024}, Size{1600, 1200}}) {
    SCOPED_TRACE(std::to_string(s.w) + "x" + std::to_string(s.h));
    const int32_t dw = (int32_t)s.w - 1024, dh = (int32_t)s.h - 768;
    auto at = [&](int32_t x, int32_t y) { return IsInMapAreaAt(s.w, s.h, x, y, x, y); };
    EXPECT_EQ(at(17, 17), 1);
    EXPECT_EQ(at(16, 300), 0);
    EXPECT_EQ(at(1007 + dw, 300), 1);
    EXPECT_EQ(at(1008 + dw, 300), 0);
    EXPECT_EQ(at(300 + dw, 751 + dh), 0);  // the bottom panel
    EXPECT_EQ(at(30, 500 + dh), 0);   // the left strip
    EXPECT_EQ(at(120, 700 + dh), 0);  // the compass
    // Between the compass and the bottom panel (at 800 x 600 the bottom
    // panel reaches under the compass).
    EXPECT_EQ(at(200, 700 + dh), s.w >= 1024 ? 1 : 0);
    EXPECT_EQ(at(700 + dw, 560 + dh), 0);  // the right block
    EXPECT_EQ(at(600 + dw, 560 + dh), 1);  // above the bottom panel's band
    EXPECT_EQ(at(30, 300 + dh), 1);   // above the left strip
  }
}

bool Collect(void* user, int32_t c, int32_t r) {
  static_cast<std::vector<std::pair<int32_t, int32_t>>*>(user)->emplace_back(c, r);
  return false;
}

TEST(MapDisplay, RingWalkIsTheHexDistanceRingForBothParities) {
  for (int32_t column : {50, 51})
    for (int32_t n = 1; n <= 4; ++n) {
      std::vector<std::pair<int32_t, int32_t>> ring;
      EXPECT_FALSE(RingWalk(column, 60, n, Collect, &ring));
      std::set<std::pair<int32_t, int32_t>> distinct(ring.begin(), ring.end());
      EXPECT_EQ(ring.size(), (size_t)(6 * n)) << column << " ring " << n;
      EXPECT_EQ(distinct.size(), ring.size());
      for (const auto& h : ring) EXPECT_EQ(HexDistance(column, 60, h.first, h.second), n) << h.first << "," << h.second;
      EXPECT_EQ(ring.front(), std::make_pair(column, 60 - n));
    }
  // The walk stops at the first hex the test accepts.
  int calls = 0;
  EXPECT_TRUE(RingWalk(10, 10, 2, [](void* u, int32_t, int32_t) { return ++*static_cast<int*>(u) == 3; }, &calls));
  EXPECT_EQ(calls, 3);
}

class MapDisplayCells : public testing::Test {
 protected:
  void SetUp() override {
    ResetMapScreenState();
    OwnPlayerPtr->PlayerId = 5;
    d_ = KartenScreenData;
    d_->map = &fake_.map;
    d_->X_Pos = 3;
    d_->Y_Pos = 3;
  }
  void TearDown() override {
    d_->map = nullptr;
    ResetMapScreenState();
    SetMapScreenHooks(nullptr);
  }
  map_test::FakeMap fake_;
  KartenScreenRecord* d_ = nullptr;
};

TEST_F(MapDisplayCells, CheckFeldTypByGraphicTypeAndOwner) {
  MapTile& t = fake_.Cell(4, 4);
  const int32_t c = 80 + 4, r = 40 + 4;
  for (uint16_t g : {0, 23, 28, 29, 1616, 2000}) {
    t.Grafik = g;
    EXPECT_EQ(CheckFeldTyp(d_, c, r, 0, 0), 0) << g;
  }
  t.Grafik = 1;  // a town of level 1 (type 11)
  EXPECT_EQ(CheckFeldTyp(d_, c, r, 0, 0), 1);
  EXPECT_EQ(CheckFeldTyp(d_, c, r, 11, 0), 1);
  EXPECT_EQ(CheckFeldTyp(d_, c, r, 7, 0), 0);  // another type
  EXPECT_EQ(CheckFeldTyp(d_, c, r, 11, 1), 0);  // not the player's
  t.Besitzer = 5;
  EXPECT_EQ(CheckFeldTyp(d_, c, r, 11, 1), 1);
  // The clicked hex outside the view: nothing read.
  d_->X_Pos = 10;
  EXPECT_EQ(CheckFeldTyp(d_, c, r, 11, 1), 0);
  d_->X_Pos = -1;
  EXPECT_EQ(CheckFeldTyp(d_, c, r, 0, 0), 0);
}

struct Voices {
  std::vector<uint32_t> modes;
  int field_checks = 0;
};
Voices& Heard() {
  static Voices v;
  return v;
}

TEST_F(MapDisplayCells, ClickMarksSelectsAndTargetsAnOwnTown) {
  Heard() = Voices{};
  MapScreenHooks h{};
  FillMapDisplayHooks(&h);
  h.PlayFigurSfx = [](KartenScreenRecord*, uint32_t mode) { Heard().modes.push_back(mode); };
  h.CheckPersonEventField = [](KartenScreenRecord*) { Heard().field_checks++; };
  SetMapScreenHooks(&h);
  fake_.AddFigure(77, 6, 2);  // another player's figure
  fake_.AddFigure(5, 3, 3);   // the player's, on an own town
  fake_.Cell(3, 3).Grafik = 1;
  fake_.Cell(3, 3).Besitzer = 5;
  d_->MarkedColumn = d_->MarkedRow = -1;
  // First click: marked.
  ClickFigurOnMap(d_);
  EXPECT_EQ(d_->MarkedColumn, 3);
  EXPECT_EQ(d_->MarkedRow, 3);
  EXPECT_EQ(d_->FigureSelected, 0u);
  // Second: the own figure selected, with its voice and the field check.
  ClickFigurOnMap(d_);
  EXPECT_EQ(d_->FigureSelected, 1u);
  ASSERT_NE(d_->SelectedFigure, nullptr);
  EXPECT_EQ(d_->SelectedFigure->Besitzer, 5u);
  EXPECT_EQ(Heard().modes, (std::vector<uint32_t>{1}));
  EXPECT_EQ(Heard().field_checks, 1);
  // Third: the own town becomes the target.
  ClickFigurOnMap(d_);
  EXPECT_EQ(d_->TargetChosen, 1u);
  EXPECT_EQ(d_->FigureSelected, 1u);
  // Another hex drops the selection and marks it.
  d_->X_Pos = 6;
  d_->Y_Pos = 2;
  ClickFigurOnMap(d_);
  EXPECT_EQ(d_->FigureSelected, 0u);
  EXPECT_EQ(d_->TargetChosen, 0u);
  EXPECT_EQ(d_->SelectedFigure, nullptr);
  EXPECT_EQ(d_->MarkedColumn, 6);
  // A second click there: another player's figure is not selected.
  ClickFigurOnMap(d_);
  EXPECT_EQ(d_->FigureSelected, 0u);
  EXPECT_EQ(d_->MarkedColumn, 6);
  // An unknown hex is never marked (the old mark is dropped).
  fake_.bmap[(40 + 5) * 30 + (80 + 1) / 8] &= (uint8_t)~(1u << ((80 + 1) & 7));
  d_->X_Pos = 1;
  d_->Y_Pos = 5;
  ClickFigurOnMap(d_);
  EXPECT_EQ(d_->MarkedColumn, 6);
  EXPECT_EQ(Heard().modes.size(), 1u);
}

// The marker on the headless screen: the outline's pixels, never outside the
// 8-bit view, never on the first row or column or the last five rows deeper.
class MapDisplayMarker : public MapDisplayCells {
 protected:
  void Open(uint32_t mode) {
    ASSERT_EQ(HeadlessOpenDisplay(mode), 1);
    FillDisplayRecord();
    ASSERT_TRUE(OpenScreenRastPortForTest());
    rp_ = GetScreenRastPort(0);
    ASSERT_NE(rp_, nullptr);
  }
  static bool OpenScreenRastPortForTest() {
    fs::copy(qoe_test::BinaryDir() + "/datakit", ".", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    return OpenElmorPic(".\\Data\\Path", 3, 1) >= 0;
  }
  void TearDown() override {
    MapDisplayCells::TearDown();
    FreeAllElmorGfx();
    HeadlessCloseDisplay();
  }
  int Count(uint32_t pen, int x1, int y1, int x2, int y2) const {
    const BitMap* bm = rp_->Bitmap;
    int n = 0;
    for (int y = y1; y <= y2; ++y)
      for (int x = x1; x <= x2; ++x)
        if (x >= 0 && y >= 0 && x < (int)bm->Width && y < (int)bm->Height) n += bm->Pixels[y * bm->BytesPerRow + x] == pen;
    return n;
  }
  RastPort* rp_ = nullptr;
};

TEST_F(MapDisplayMarker, EightBitOutlinesStayInTheView) {
  Open(0);
  SetAPen(rp_, 0);
  RectFill(rp_, 0, 0, 639, 479);
  // Even column 2, row 3: left corner (96, 182); odd column 3: (144, 210).
  DrawHexMarker(d_, 2, 3, 105);
  EXPECT_EQ(Count(105, 96, 182, 96, 182), 1);
  EXPECT_EQ(Count(105, 112, 155, 112 + 32, 155), 33);  // the top edge
  EXPECT_EQ(Count(1, 111, 154, 112 + 33, 154), 35);    // the light line above it
  EXPECT_EQ(Count(1, 95, 182, 95, 183), 2);            // and left of the left corner
  // Pen 6 takes the marker's three lines away: the black ground again.
  DrawHexMarker(d_, 2, 3, 6);
  EXPECT_EQ(Count(0, 80, 126, 180, 240), 101 * 115);
  DrawHexMarker(d_, 3, 3, 46);
  EXPECT_EQ(Count(46, 144, 210, 144, 210), 1);
  EXPECT_EQ(Count(46, 160, 183, 192, 183), 33);
  // Column 0 and row 0 and the last ones: only the parts inside the view.
  for (auto [c, r] : {std::pair{0, 0}, {9, 7}, {10, 8}, {0, 8}}) DrawHexMarker(d_, c, r, 7);
  EXPECT_GT(Count(7, 16, 16, 495, 463), 20);
  EXPECT_EQ(Count(7, 0, 0, 639, 15), 0);
  EXPECT_EQ(Count(7, 0, 0, 15, 479), 0);
  EXPECT_EQ(Count(7, 496, 0, 639, 479), 0);
  EXPECT_EQ(Count(7, 0, 464, 639, 479), 0);
}


// Relative luminance of a 0x00RRGGBB colour, and the contrast ratio of two.
double Luminance(uint32_t rgb) {
  auto lin = [](uint32_t c) {
    const double v = c / 255.0;
    return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * lin(rgb >> 16 & 255) + 0.7152 * lin(rgb >> 8 & 255) + 0.0722 * lin(rgb & 255);
}
double Contrast(double a, double b) { return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05); }

// The marker of a marked hex on the kit's tiles of grass, forest, water,
// desert and snow at the deeper display: it keeps its pen, and one of its
// lines stands out from the ground round it by a contrast of at least 3 : 1.
TEST_F(MapDisplayMarker, MarkedHexStandsOutOnEveryTerrain) {
  Open(4);
  const BitMap* bm = rp_->Bitmap;
  ASSERT_EQ(bm->BytesPerRow, bm->Width * 4);
  auto rgb = [&](int x, int y) {
    uint32_t v;
    std::memcpy(&v, bm->Pixels + y * bm->BytesPerRow + x * 4, 4);
    return v & 0xFFFFFF;
  };
  SetAPen(rp_, 105);
  WritePixel(rp_, 2, 2);
  const uint32_t pen105 = rgb(2, 2);
  const struct {
    const char* name;
    uint16_t graphic, variant;
  } kGrounds[] = {{"grass", 12, 1}, {"forest", 17, 1}, {"water", 23, 1}, {"desert", 8, 1}, {"snow", 12, 3}};
  // Even column 2, row 2: the outline's left corner at (80, 110).
  const int32_t column = 2, row = 2, lx = 80, ly = 110;
  const int sheet_w = 180, sheet_h = 100;
  std::vector<uint32_t> sheet((size_t)sheet_w * 5 * sheet_h);
  int n = 0;
  for (const auto& g : kGrounds) {
    SCOPED_TRACE(g.name);
    // The view's hexes round the marked one, tiled as the map draws them.
    const uint32_t id = TileTable[g.graphic][g.variant];
    ASSERT_NE(UseElmorGfx(".\\Data\\Path", id), nullptr);
    for (int odd = 0; odd < 2; ++odd)
      for (int c = odd; c <= 5; c += 2)
        for (int r = 0; r <= 4; ++r) {
          if (odd) BlitObjektMask(rp_, id, 0, 48 * c - 16, 56 * r - 28 + 28, 64, 56);
          else BlitObjekt(rp_, id, 48 * c - 16, 56 * r - 28, 64, 56);
        }
    CloseElmorGfx(id);
    std::vector<uint32_t> before;
    for (int y = 0; y < sheet_h; ++y)
      for (int x = 0; x < sheet_w; ++x) before.push_back(rgb(x, y + 60));
    d_->X_Pos = column;
    d_->Y_Pos = row;
    DrawHexMarker(d_, column, row, 105);
    EXPECT_EQ(rgb(lx + 32, ly - 27), pen105);  // the outline keeps its pen
    // The marker's pixels by colour, and the ground that stayed round them.
    std::map<uint32_t, int> lines;
    double ground = 0;
    int ground_n = 0;
    for (int y = 0; y < sheet_h; ++y)
      for (int x = 0; x < sheet_w; ++x) {
        const uint32_t now = rgb(x, y + 60), was = before[(size_t)y * sheet_w + x];
        sheet[(size_t)(y + n * sheet_h) * sheet_w + x] = now;
        if (now != was) {
          lines[now]++;
        } else if (x >= lx - 12 && x <= lx + 76 && y + 60 >= ly - 36 && y + 60 <= ly + 38) {
          ground += Luminance(now);
          ground_n++;
        }
      }
    ASSERT_GT(ground_n, 1000);
    ground /= ground_n;
    double best = 0;
    int drawn = 0;
    for (const auto& [colour, count] : lines) {
      drawn += count;
      if (count >= 100) best = std::max(best, Contrast(Luminance(colour), ground));
    }
    EXPECT_GT(drawn, 150);
    EXPECT_GE(best, 3.0) << "ground luminance " << ground;
    ++n;
  }
  ASSERT_EQ(WritePngRGB("map_marker_terrains.png", sheet.data(), sheet_w, sheet_h * 5), 1);
  EXPECT_TRUE(qoe_test::KeepPng("map_marker_terrains.png"));
}

// Markers taken away on the kit's ground at 640 x 480 x 8 and 1024 x 768:
// the screen is byte for byte as before they were drawn, whatever pens and
// in whatever order, and what was drawn over a marker stays.
class MapMarkerAway : public MapDisplayMarker, public testing::WithParamInterface<uint32_t> {
 protected:
  void SetUp() override {
    MapDisplayMarker::SetUp();
    Open(GetParam());
    bm_ = rp_->Bitmap;
    deep_ = bm_->Depth != 8;
    if (deep_) {
      // The view of 1024 x 768: markers on rows 1 .. 8.
      fake_.map.Columns = 22;
      fake_.map.Rows = 14;
    }
    PaintGround();
    ground_ = Pixels();
  }
  // The kit's tiles of eight terrains over the whole display, each column
  // shifted, as the map draws them, with border dots across some hex edges.
  void PaintGround() {
    const uint16_t kGraphics[8] = {12, 17, 23, 8, 1, 5, 14, 27};
    const int32_t ox = deep_ ? -16 : 0, oy = deep_ ? -28 : -12;
    for (int odd = 0; odd < 2; ++odd)
      for (int32_t c = odd; c <= (int32_t)bm_->Width / 48 + 1; c += 2)
        for (int32_t r = 0; r <= (int32_t)bm_->Height / 56 + 1; ++r) {
          const uint32_t id = TileTable[kGraphics[(c * 5 + r * 3) % 8]][1];
          ASSERT_NE(UseElmorGfx(".\\Data\\Path", id), nullptr);
          const int32_t x = 48 * c + ox, y = 56 * r + oy + (odd ? 28 : 0);
          if (odd) BlitObjektMask(rp_, id, 0, x, y, 64, 56);
          else BlitObjekt(rp_, id, x, y, 64, 56);
          CloseElmorGfx(id);
          if ((c + r) % 3 == 0) Dots(439, x + 45, y - 7);
        }
  }
  void Dots(uint32_t id, int32_t x, int32_t y) {
    const BitMap* dot = UseElmorGfx(".\\Data\\Path", id);
    ASSERT_NE(dot, nullptr);
    for (int i = 0; i < 5; ++i) BlitObjektMask(rp_, id, 0, x - 7 * i, y, dot->Width, dot->Height);
    CloseElmorGfx(id);
  }
  std::vector<uint8_t> Pixels() const {
    return std::vector<uint8_t>(bm_->Pixels, bm_->Pixels + (size_t)bm_->BytesPerRow * bm_->Height);
  }
  // The pixels that differ from `was`, and the first of them.
  testing::AssertionResult Same(const std::vector<uint8_t>& was) const {
    const std::vector<uint8_t> now = Pixels();
    const uint32_t bpp = deep_ ? 4 : 1;
    size_t n = 0, first = 0;
    for (size_t i = 0; i < now.size(); i += bpp)
      if (std::memcmp(&now[i], &was[i], bpp) != 0 && n++ == 0) first = i;
    if (n == 0) return testing::AssertionSuccess();
    return testing::AssertionFailure() << n << " pixels differ, the first at (" << first % bm_->BytesPerRow / bpp
                                       << ", " << first / bm_->BytesPerRow << ")";
  }
  // The hexes tested: inside, on the 8-bit view's edges, the deeper view's
  // first and last drawn ones.
  std::vector<std::pair<int32_t, int32_t>> Hexes() const {
    if (deep_) return {{2, 3}, {3, 3}, {1, 1}, {21, 8}, {20, 1}};
    return {{2, 3}, {3, 3}, {0, 0}, {10, 8}, {9, 0}, {0, 8}};
  }
  // The screen as RGB (8 bits through the palette).
  std::vector<uint32_t> Rgb() const {
    std::vector<uint32_t> out((size_t)bm_->Width * bm_->Height);
    for (uint32_t y = 0; y < bm_->Height; ++y) {
      const uint8_t* row = bm_->Pixels + (size_t)y * bm_->BytesPerRow;
      if (deep_) std::memcpy(&out[(size_t)y * bm_->Width], row, (size_t)bm_->Width * 4);
      else ConvertRGBToFormat(PIXFMT_XRGB32, row, &out[(size_t)y * bm_->Width], bm_->Width);
    }
    for (uint32_t& v : out) v &= 0xFFFFFF;
    return out;
  }
  BitMap* bm_ = nullptr;
  bool deep_ = false;
  std::vector<uint8_t> ground_;
};

TEST_P(MapMarkerAway, EachPenTakenAwayLeavesTheGround) {
  for (auto [c, r] : Hexes())
    for (uint32_t pen : {105u, 46u, 7u}) {
      SCOPED_TRACE(testing::Message() << "hex " << c << "," << r << " pen " << pen);
      DrawHexMarker(d_, c, r, pen);
      EXPECT_FALSE(Same(ground_));
      DrawHexMarker(d_, c, r, 6);
      EXPECT_TRUE(Same(ground_));
    }
  // Pen 6 on a hex without a marker changes nothing.
  DrawHexMarker(d_, 4, 4, 6);
  EXPECT_TRUE(Same(ground_));
}

// A hex marked, its figure selected, then chosen as the target; the voice
// takes the marker away before the selection's is drawn.
TEST_P(MapMarkerAway, MarkSelectTargetThenAway) {
  DrawHexMarker(d_, 2, 3, 105);
  DrawHexMarker(d_, 2, 3, 6);
  DrawHexMarker(d_, 2, 3, 46);
  DrawHexMarker(d_, 2, 3, 7);
  DrawHexMarker(d_, 2, 3, 7);  // the after-draw's marker over it
  DrawHexMarker(d_, 2, 3, 6);
  EXPECT_TRUE(Same(ground_));
}

// Three markers whose outlines share edges (a hex, its lower neighbour and
// the one right of both), taken away in every order: each leaves the others
// as they were drawn alone, the last the ground.
TEST_P(MapMarkerAway, NeighboursTakenAwayInEveryOrder) {
  const std::pair<int32_t, int32_t> hexes[3] = {{2, 3}, {3, 3}, {2, 4}};
  const uint32_t pens[3] = {105, 46, 7};
  // Each marker drawn alone on the ground, and each pair.
  std::vector<uint8_t> alone[3], pair[3][3];
  for (int a = 0; a < 3; ++a) {
    DrawHexMarker(d_, hexes[a].first, hexes[a].second, pens[a]);
    alone[a] = Pixels();
    for (int b = 0; b < 3; ++b) {
      if (b == a) continue;
      DrawHexMarker(d_, hexes[b].first, hexes[b].second, pens[b]);
      pair[a][b] = Pixels();
      DrawHexMarker(d_, hexes[b].first, hexes[b].second, 6);
      ASSERT_TRUE(Same(alone[a]));
    }
    DrawHexMarker(d_, hexes[a].first, hexes[a].second, 6);
    ASSERT_TRUE(Same(ground_));
  }
  int order[3] = {0, 1, 2};
  do {
    SCOPED_TRACE(testing::Message() << "away " << order[0] << order[1] << order[2]);
    for (int k = 0; k < 3; ++k) DrawHexMarker(d_, hexes[k].first, hexes[k].second, pens[k]);
    // The two left after the first is away look as if drawn alone, the
    // lower first.
    DrawHexMarker(d_, hexes[order[0]].first, hexes[order[0]].second, 6);
    const int lo = std::min(order[1], order[2]), hi = std::max(order[1], order[2]);
    EXPECT_TRUE(Same(pair[lo][hi]));
    DrawHexMarker(d_, hexes[order[1]].first, hexes[order[1]].second, 6);
    EXPECT_TRUE(Same(alone[order[2]]));
    DrawHexMarker(d_, hexes[order[2]].first, hexes[order[2]].second, 6);
    EXPECT_TRUE(Same(ground_));
  } while (std::next_permutation(order, order + 3));
}

// What is drawn over a marker (a menu, a label) stays when the marker goes.
TEST_P(MapMarkerAway, WhatCoversAMarkerStays) {
  SetAPen(rp_, 22);
  RectFill(rp_, 90, 150, 130, 200);
  const std::vector<uint8_t> covered = Pixels();
  std::memcpy(bm_->Pixels, ground_.data(), ground_.size());
  DrawHexMarker(d_, 2, 3, 105);
  SetAPen(rp_, 22);
  RectFill(rp_, 90, 150, 130, 200);
  DrawHexMarker(d_, 2, 3, 6);
  EXPECT_TRUE(Same(covered));
}

// A whole copy of the map to the screen wipes the markers: one taken away
// afterwards puts nothing back, even where the new map's pixels look like
// the old marker.
TEST_P(MapMarkerAway, AWholeCopyOfTheMapWipesTheMarkers) {
  QoEMapInfo& map = fake_.map;
  map.ScreenX = map.ScreenY = deep_ ? 0 : 16;
  map.Width = (uint16_t)std::min<uint32_t>(bm_->Width - map.ScreenX, 48 * map.Columns);
  map.Height = (uint16_t)std::min<uint32_t>(bm_->Height - map.ScreenY, 56 * map.Rows);
  map.Bitmap = AllocBitMap(48 * map.Columns + 16, 56 * map.Rows + 28, deep_ ? 32 : 8, 0, deep_ ? bm_ : nullptr);
  ASSERT_NE(map.Bitmap, nullptr);
  ASSERT_EQ(ScreenRastPort(), rp_);
  DrawHexMarker(d_, 2, 3, 105);
  // The new view shows what the screen shows now, marker and all.
  BltBitMap(bm_, map.ScreenX, map.ScreenY, map.Bitmap, 16, 28, map.Width, map.Height);
  MapCopyToScreen(&map);
  const std::vector<uint8_t> copied = Pixels();
  DrawHexMarker(d_, 2, 3, 6);
  EXPECT_TRUE(Same(copied));
  // A marker drawn after the copy goes as before.
  DrawHexMarker(d_, 3, 3, 46);
  DrawHexMarker(d_, 3, 3, 6);
  EXPECT_TRUE(Same(copied));
  FreeBitMap(map.Bitmap);
  map.Bitmap = nullptr;
}

// A sheet to look at: the ground, three markers, and the ground after they
// were taken away (the marker's hexes in a strip of the display).
TEST_P(MapMarkerAway, SheetOfMarkersAndTheirGround) {
  const uint32_t w = std::min<uint32_t>(bm_->Width, 400), x0 = 48, y0 = 100, h = 220;
  std::vector<uint32_t> sheet;
  auto strip = [&] {
    const std::vector<uint32_t> rgb = Rgb();
    for (uint32_t y = y0; y < y0 + h; ++y)
      sheet.insert(sheet.end(), rgb.begin() + y * bm_->Width + x0, rgb.begin() + y * bm_->Width + x0 + w);
  };
  strip();
  DrawHexMarker(d_, 2, 3, 105);
  DrawHexMarker(d_, 3, 3, 46);
  DrawHexMarker(d_, 4, 3, 7);
  strip();
  for (int c : {3, 2, 4}) DrawHexMarker(d_, c, 3, 6);
  strip();
  EXPECT_TRUE(Same(ground_));
  const std::string png = std::string("map_marker_away_") + (deep_ ? "1024x768" : "640x480") + ".png";
  ASSERT_EQ(WritePngRGB(png.c_str(), sheet.data(), w, h * 3), 1);
  EXPECT_TRUE(qoe_test::KeepPng(png));
}

INSTANTIATE_TEST_SUITE_P(Displays, MapMarkerAway, testing::Values(0u, 8u),
                         [](const testing::TestParamInfo<uint32_t>& i) { return i.param ? "Deep" : "EightBit"; });

}  // namespace

// In OpenGL mode the map screen's display-sized bitmap stands in for the
// screen's RastPort while the map is shown; a movie's thread fetches that
// RastPort under the display mutex for every frame it copies, so the swap
// is made under the same mutex (the thread sanitizer's run sees it).
TEST(MapGLThread, TheMapsBitmapStandsInForTheScreenUnderTheDisplayMutex) {
  ASSERT_EQ(HeadlessOpenDisplay(8), 1);  // 1024 x 768 x 32
  DisplaySetRenderer(1);
  FillDisplayRecord();
  ASSERT_EQ(OpenScreenRastPort(), 1);
  RastPort* screen = QoESystemPtr->Display->ScreenRastPort;
  std::atomic<bool> stop{false};
  std::atomic<uint64_t> frames{0};
  std::thread movie([&] {
    QoeMutex* m = DisplayMutex();
    while (!stop.load()) {
      ObtainMutex(m);
      RastPort* rp = QoESystemPtr->Display->ScreenRastPort;
      if (rp && rp->Bitmap && rp->Bitmap->Pixels) std::memset(rp->Bitmap->Pixels, 0x22, 64 * 4);
      ReleaseMutex(m);
      frames++;
    }
  });
  for (int i = 0; i < 200; i++) {
    MapDrawAtDisplay(1);
    MapDrawAtDisplay(0);
  }
  while (frames.load() == 0) std::this_thread::yield();
  stop = true;
  movie.join();
  EXPECT_EQ(QoESystemPtr->Display->ScreenRastPort, screen);
  FreeMapDisplayBitMap();
  CloseScreenRastPort();
  DisplaySetRenderer(0);
  HeadlessCloseDisplay();
}
