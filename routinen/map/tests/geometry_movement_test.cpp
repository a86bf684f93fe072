// Hex geometry (pixel to hex, neighbours, rings) and movement (terrain types,
// costs, ranges against Dijkstra) at both display depths.
#include <gtest/gtest.h>

#include <cmath>
#include <queue>
#include <random>
#include <set>
#include <vector>

#include "map_fixture.h"
#include "platform/headless.h"
#include "routinen/gui/pictures.h"
#include "routinen/map/map_internal.h"
#include "routinen/system/memory.h"
#include "routinen/system/sysrecords.h"

using namespace maptest;

namespace {

class MapGeometry : public testing::TestWithParam<uint32_t> {
 protected:
  void SetUp() override {
    ASSERT_EQ(HeadlessOpenDisplay(GetParam()), 1);
    WriteTestPictures();
    ResetMapEngineState();
  }
  void TearDown() override {
    ResetPictureManagerState();
    ResetMapEngineState();
    HeadlessCloseDisplay();
  }
  uint32_t Depth() const { return GetParam() == 0 ? 8 : 32; }
};

struct Hex {
  int32_t c, r;
  bool operator<(const Hex& o) const { return c != o.c ? c < o.c : r < o.r; }
  bool operator==(const Hex& o) const { return c == o.c && r == o.r; }
};

// The neighbours as the drawing and movement code name them.
std::vector<Hex> Neighbours(Hex h) {
  if (h.c & 1) return {{h.c, h.r - 1}, {h.c, h.r + 1}, {h.c - 1, h.r}, {h.c - 1, h.r + 1}, {h.c + 1, h.r}, {h.c + 1, h.r + 1}};
  return {{h.c, h.r - 1}, {h.c, h.r + 1}, {h.c - 1, h.r - 1}, {h.c - 1, h.r}, {h.c + 1, h.r - 1}, {h.c + 1, h.r}};
}

// Ring k by the six-sided walk of the sight search.
std::set<Hex> WalkRing(Hex h, int k) {
  std::set<Hex> out;
  Hex p{h.c, h.r - k};
  auto even = [](int32_t c) { return (c & 1) == 0; };
  for (int side = 0; side < 6; side++)
    for (int i = 0; i < k; i++) {
      switch (side) {
        case 0: p.c++; if (even(p.c)) p.r++; break;
        case 1: p.r++; break;
        case 2: p.c--; if (even(p.c)) p.r++; break;
        case 3: p.c--; if (!even(p.c)) p.r--; break;
        case 4: p.r--; break;
        default: p.c++; if (!even(p.c)) p.r--; break;
      }
      out.insert(p);
    }
  return out;
}

Hex Decode(uint32_t v) { return {(int16_t)(v >> 16), (int16_t)(v & 0xFFFF)}; }

double CentreDistance(Hex h, double px, double py) {
  double cx = h.c * 48 + 32, cy = h.r * 56 + 28 + ((h.c & 1) ? 28 : 0);
  return std::hypot(px - cx, py - cy);
}

}  // namespace

TEST_P(MapGeometry, PixelToHexIsTheNearestCentre) {
  const int32_t shift = Depth() == 8 ? 16 : 0;  // the 8-bit view sits at (16, 16)
  size_t far = 0;
  for (int32_t y = 0; y < 600; y++)
    for (int32_t x = 0; x < 1000; x++) {
      Hex got = Decode(GetHexFromPixel(nullptr, x + shift, y + shift));
      double px = x + 0.5, py = y + 0.5, best = 1e9;
      for (int32_t c = x / 48 - 2; c <= x / 48 + 1; c++)
        for (int32_t r = y / 56 - 2; r <= y / 56 + 1; r++) best = std::min(best, CentreDistance({c, r}, px, py));
      // The hex's slanted sides lie within a pixel of the true mid-lines.
      if (CentreDistance(got, px, py) > best + 1.0) far++;
    }
  EXPECT_EQ(far, 0u);
  for (int32_t c = 0; c < 20; c++)
    for (int32_t r = 0; r < 10; r++) {
      Hex h{c, r};
      int32_t cx = c * 48 + 32, cy = r * 56 + 28 + ((c & 1) ? 28 : 0);
      EXPECT_EQ(Decode(GetHexFromPixel(nullptr, cx + shift, cy + shift)), h);
    }
  // Left of the mask in the first 32 pixels with by < 28: the odd hex up-left.
  EXPECT_EQ(Decode(GetHexFromPixel(nullptr, 96 + 2 + shift, 56 + 3 + shift)), (Hex{1, 0}));
  // Guarded: pixels above and left of the bitmap give hexes of negative index.
  EXPECT_EQ(Decode(GetHexFromPixel(nullptr, -5 + shift, -40 + shift)), (Hex{-1, -2}));
}

TEST_P(MapGeometry, NeighboursAndRingsMatchTheDistance) {
  for (int32_t c = 10; c < 12; c++) {
    Hex h{c, 10};
    std::set<Hex> ring1;
    for (Hex n : Neighbours(h)) {
      EXPECT_EQ(HexDistance(h.c, h.r, n.c, n.r), 1);
      std::vector<Hex> back = Neighbours(n);
      EXPECT_NE(std::find(back.begin(), back.end(), h), back.end());  // symmetric
      ring1.insert(n);
    }
    for (int k = 1; k <= 5; k++) {
      std::set<Hex> byDistance;
      for (int32_t cc = c - 6; cc <= c + 6; cc++)
        for (int32_t rr = 2; rr <= 18; rr++)
          if (HexDistance(h.c, h.r, cc, rr) == k) byDistance.insert({cc, rr});
      EXPECT_EQ(WalkRing(h, k), byDistance) << "column " << c << " ring " << k;
      if (k == 1) {
        EXPECT_EQ(ring1, byDistance);
      }
      EXPECT_EQ(HexDistanceForTest(h.c, h.r, c + k, h.r), k);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Depths, MapGeometry, testing::Values(0u, 4u), [](const testing::TestParamInfo<uint32_t>& i) {
  return i.param == 0 ? std::string("Depth8") : std::string("Depth32");
});

namespace {

// A window of cells built by hand for the movement code.
struct Window {
  std::vector<MapTile> cells{240 * 120};
  QoEMapInfo map{};
  Window() { map.CMap = cells.data(); }
  ~Window() { FreeMoveHex(&map); }
  MapTile& at(int32_t c, int32_t r) { return cells[r * 240 + c]; }
};

// Points left at every grid cell by Dijkstra, -1000 where out of reach.
std::vector<int> Dijkstra(Window& w, int32_t col, int32_t row, uint16_t type, int points) {
  const int N = 29;
  std::vector<int> best(N * N, -1000);
  using Item = std::pair<int, int>;  // points left, cell
  std::priority_queue<Item> q;
  best[14 * N + 14] = points;
  q.push({points, 14 * N + 14});
  while (!q.empty()) {
    auto [v, k] = q.top();
    q.pop();
    if (v < best[k]) continue;
    int gx = k % N, gy = k / N;
    if (gx < 1 || gy < 1 || gx > 27 || gy > 27) continue;  // the edge is only entered
    for (Hex n : Neighbours({col + gx - 14, row + gy - 14})) {
      int nx = n.c - col + 14, ny = n.r - row + 14;
      int cost = GetMovePoints(w.map.CMap, (uint16_t)n.c, (uint16_t)n.r, type);
      if (cost <= 0 || v - cost < 0 || v - cost <= best[ny * N + nx]) continue;
      best[ny * N + nx] = v - cost;
      q.push({v - cost, ny * N + nx});
    }
  }
  return best;
}

}  // namespace

TEST(MapMovement, TerrainTypesAndPoints) {
  EXPECT_EQ(GetTypeOfHex(9), 1);
  EXPECT_EQ(GetTypeOfHex(55), 2);
  EXPECT_EQ(GetTypeOfHex(57), 3);
  EXPECT_EQ(GetTypeOfHex(91), 4);
  EXPECT_EQ(GetTypeOfHex(22), 5);
  EXPECT_EQ(GetTypeOfHex(30), 6);
  EXPECT_EQ(GetTypeOfHex(53), 7);
  EXPECT_EQ(GetTypeOfHex(16), 8);
  EXPECT_EQ(GetTypeOfHex(86), 9);
  EXPECT_EQ(GetTypeOfHex(29), 10);
  EXPECT_EQ(GetTypeOfHex(90), 11);
  EXPECT_EQ(GetTypeOfHex(0), 0);
  EXPECT_EQ(GetTypeOfHex(92), 0);
  const uint16_t points[21] = {8, 4, 4, 4, 10, 10, 10, 2, 2, 2, 6, 4, 6, 8, 10, 8, 6, 8, 6, 4, 20};
  for (uint16_t t = 0; t <= 20; t++) EXPECT_EQ(GetMovePointsOfType(t), points[t]) << t;
  EXPECT_EQ(GetMovePointsOfType(21), 0);
  EXPECT_EQ(GetMovePointsOfType(1000), 0);
}

TEST(MapMovement, EntryCosts) {
  OwnPlayerPtr->PlayerId = 5;
  Window w;
  auto cost = [&](uint16_t g, uint32_t owner, uint16_t type) {
    w.at(10, 10).Grafik = g;
    w.at(10, 10).Besitzer = owner;
    return GetMovePoints(w.map.CMap, 10, 10, type);
  };
  EXPECT_EQ(cost(12, 5, 1), 2);           // infantry on own plain
  EXPECT_EQ(cost(12, kNobody, 1), 4);     // unowned: 4
  EXPECT_EQ(cost(6, 9, 6), 10);           // heavy cavalry, column 4, not owned: stays 10
  EXPECT_EQ(cost(12, 9, 4), 5);           // light cavalry raised to 5
  EXPECT_EQ(cost(24, 9, 8), 2);           // artillery pays 2
  EXPECT_EQ(cost(14, 9, 10), 6);          // settler pays 6
  EXPECT_EQ(cost(9, 9, 0), 8);            // the scout keeps its cost
  EXPECT_EQ(cost(23, 9, 1), 0);           // water: not for infantry
  EXPECT_EQ(cost(23, 9, 14), 1);          // ships on water
  EXPECT_EQ(cost(1, 9, 14), 2);           // a ship enters a town hex
  EXPECT_EQ(cost(35, 5, 19), 2);
  EXPECT_EQ(cost(0, 5, 0), 0);
  EXPECT_EQ(cost(92, 5, 0), 0);
  EXPECT_EQ(cost(1, 5, 21), 0);           // types above 20 cost nothing
  EXPECT_EQ(cost(1, 5, 1000), 0);
  EXPECT_EQ(GetMovePoints(w.map.CMap, 240, 0, 0), 0);
}

TEST(MapMovement, RangeEqualsDijkstraOnLandAndWater) {
  OwnPlayerPtr->PlayerId = 5;
  std::mt19937 rng(99);
  const uint16_t land[] = {12, 13, 24, 10, 17, 6, 8, 14, 5, 9, 1, 35};
  for (int trial = 0; trial < 60; trial++) {
    Window w;
    bool sea = trial % 4 == 3;
    for (int r = 0; r < 120; r++)
      for (int c = 0; c < 240; c++) {
        MapTile& t = w.at(c, r);
        t.Grafik = sea ? (rng() % 10 ? 23 : 12) : land[rng() % 12];
        if (!sea && rng() % 9 == 0) t.Grafik = 23;
        t.Besitzer = rng() % 3 ? 5 : kNobody;
      }
    const uint16_t types[] = {0, 1, 4, 6, 7, 10, 12, 20};
    uint16_t type = sea ? (uint16_t)(14 + trial % 6) : types[trial % 8];
    int points = sea ? 20 : (int)(rng() % 21);
    int32_t col = 100 + (int32_t)(rng() % 21), row = 50 + (int32_t)(rng() % 11);
    ASSERT_EQ(GetMoveHex(&w.map, (uint16_t)col, (uint16_t)row, type, (int16_t)points), 1);
    std::vector<int> want = Dijkstra(w, col, row, type, points);
    for (int k = 0; k < 29 * 29; k++) {
      int got = w.map.MoveGrid[k];
      if (want[k] >= 0) ASSERT_EQ(got, want[k]) << trial << " cell " << k;
      else ASSERT_LT(got, 0) << trial << " cell " << k;
    }
    // -1 exactly next to a reachable hex, -10 beyond.
    for (int gy = 0; gy < 29; gy++)
      for (int gx = 0; gx < 29; gx++) {
        int v = w.map.MoveGrid[gy * 29 + gx];
        if (v >= 0) continue;
        bool nextTo = false;
        for (Hex n : Neighbours({col + gx - 14, row + gy - 14})) {
          int nx = n.c - col + 14, ny = n.r - row + 14;
          if (nx >= 1 && ny >= 1 && nx <= 27 && ny <= 27 && w.map.MoveGrid[ny * 29 + nx] >= 0) nextTo = true;
        }
        ASSERT_EQ(v, nextTo ? -1 : -10) << trial;
      }
  }
}

TEST(MapMovement, ScoutByTheWaterAndTheReachBits) {
  OwnPlayerPtr->PlayerId = 5;
  Window w;
  for (int r = 0; r < 120; r++)
    for (int c = 0; c < 240; c++) {
      w.at(c, r).Grafik = c >= 104 ? 23 : 12;
      w.at(c, r).Besitzer = 5;
    }
  ASSERT_EQ(GetMoveHex(&w.map, 100, 60, 0, -1), 1);  // a full turn: 8 points
  EXPECT_EQ(w.map.MoveGrid[14 * 29 + 14], 8);
  EXPECT_EQ(w.map.MoveGrid[14 * 29 + 18], -1);   // the first water column
  EXPECT_EQ(w.map.MoveGrid[14 * 29 + 19], -10);
  EXPECT_EQ(w.map.MoveGrid[14 * 29 + 17], 2);    // three plains away
  ASSERT_EQ(GetMoveHexBits(&w.map, 86, 46, 0), 1);
  EXPECT_TRUE(BitMapTest(w.map.ReachMap, 100, 60));
  EXPECT_TRUE(BitMapTest(w.map.ReachMap, 103, 60));
  EXPECT_FALSE(BitMapTest(w.map.ReachMap, 104, 60));
  ASSERT_EQ(GetMoveHexBits(&w.map, 86, 46, 1), 1);
  EXPECT_TRUE(BitMapTest(w.map.ReachMap, 104, 60));
  EXPECT_FALSE(BitMapTest(w.map.ReachMap, 105, 60));
  FreeMoveHex(&w.map);
  EXPECT_EQ(w.map.MoveGrid, nullptr);
  EXPECT_EQ(w.map.ReachMap, nullptr);
}
