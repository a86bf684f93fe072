// The town view's pictures (docs/town-pictures.md): the town of each level
// (1 village, 2 town, 3 large town, 4 city) under a plain, a sunny and an
// overcast sky, the title boards and the object pairs (town gate, builders'
// scaffold), all in the town palette. The places the program relies on: the
// lots of DrawTown's table (each an empty fenced plot), the ford (64, 306),
// the water wheel (608, 214) and the mill (576, 96), the windows under the
// night lights, the title band (183..458 x 0..57), the two objects and the
// way out at the bottom.
#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

#include "art.h"
#include "tools/datakit/movies/draw.h"

namespace datakit {
namespace {

using namespace movies;

struct R {
  int x1, y1, x2, y2;
};
bool Overlap(const R& a, const R& b) { return a.x1 <= b.x2 && a.x2 >= b.x1 && a.y1 <= b.y2 && a.y2 >= b.y1; }
R Grow(const R& r, int k) { return R{r.x1 - k, r.y1 - k, r.x2 + k, r.y2 + k}; }

// Top-left corners of DrawTown's 38 lots (48 x 40) per level: the same table
// as screens/economy/drawtown.cpp (a test compares the pictures with it).
const int16_t kLotXY[4][kTownLotCount][2] = {
    {{4, 130}, {62, 130}, {120, 130}, {178, 130}, {236, 130}, {294, 130}, {352, 130}, {468, 130}, {526, 130}, {4, 182}, {62, 182}, {120, 182}, {178, 182}, {236, 182}, {294, 182}, {352, 182}, {410, 182}, {468, 182}, {526, 182}, {4, 234}, {62, 234}, {120, 234}, {178, 234}, {236, 234}, {294, 234}, {352, 234}, {410, 234}, {468, 234}, {4, 286}, {236, 286}, {294, 286}, {352, 286}, {410, 286}, {468, 286}, {584, 286}, {4, 338}, {236, 338}, {294, 338}},
    {{7, 132}, {65, 132}, {123, 132}, {181, 132}, {239, 132}, {297, 132}, {355, 132}, {471, 132}, {7, 184}, {65, 184}, {123, 184}, {181, 184}, {239, 184}, {297, 184}, {355, 184}, {413, 184}, {471, 184}, {7, 236}, {65, 236}, {123, 236}, {181, 236}, {239, 236}, {297, 236}, {355, 236}, {413, 236}, {7, 288}, {239, 288}, {297, 288}, {355, 288}, {413, 288}, {587, 288}, {7, 340}, {239, 340}, {297, 340}, {355, 340}, {413, 340}, {471, 340}, {529, 340}},
    {{10, 134}, {68, 134}, {126, 134}, {184, 134}, {242, 134}, {300, 134}, {358, 134}, {474, 134}, {10, 186}, {68, 186}, {126, 186}, {184, 186}, {242, 186}, {300, 186}, {358, 186}, {416, 186}, {474, 186}, {10, 238}, {68, 238}, {126, 238}, {184, 238}, {242, 238}, {300, 238}, {358, 238}, {416, 238}, {10, 290}, {242, 290}, {300, 290}, {358, 290}, {416, 290}, {590, 290}, {10, 342}, {242, 342}, {300, 342}, {358, 342}, {416, 342}, {474, 342}, {532, 342}},
    {{13, 136}, {71, 136}, {129, 136}, {187, 136}, {245, 136}, {303, 136}, {361, 136}, {477, 136}, {13, 188}, {71, 188}, {129, 188}, {187, 188}, {245, 188}, {303, 188}, {361, 188}, {419, 188}, {477, 188}, {13, 240}, {71, 240}, {129, 240}, {187, 240}, {245, 240}, {303, 240}, {361, 240}, {419, 240}, {13, 292}, {245, 292}, {303, 292}, {361, 292}, {419, 292}, {13, 344}, {245, 344}, {303, 344}, {361, 344}, {419, 344}, {477, 344}, {535, 344}, {419, 396}},
};

// Places the screen keeps for its movies, lights, title and objects.
constexpr R kFord{64, 306, 223, 401}, kWheel{608, 214, 639, 277}, kMill{576, 96, 639, 191};
constexpr R kGate{32, 394, 95, 455}, kScaffold{566, 403, 613, 448}, kWayOut{250, 436, 390, 479};
constexpr int kHorizon = 118;  // the top of the town's ground
constexpr int kWallTop = 438, kWallBase = 458;  // the town wall (levels 2 to 4)

// The window panes under the night lights (DrawStadtNightLights): each
// light pixel lies on one of these.
const R kLitWindows[] = {{521, 268, 523, 270}, {532, 269, 534, 271}, {521, 281, 525, 285}, {540, 282, 542, 286},
                         {540, 269, 544, 272}, {549, 267, 551, 271}, {560, 265, 563, 270}, {566, 264, 568, 268},
                         {548, 280, 550, 284}, {421, 136, 423, 139}, {426, 135, 428, 138}};

constexpr uint8_t kPost = kWoodR + 3;  // the plots' corner posts
const uint8_t kGlassPen = kTownGlass;

struct Scene {
  Image& img;
  int level;  // 1..4
  std::vector<uint8_t> used;  // places taken (lots, movies, houses)
  Scene(Image& i, int l) : img(i), level(l), used((size_t)i.width * i.height, 0) {}
  bool Free(const R& r) const {
    if (r.x1 < 0 || r.y1 < 0 || r.x2 >= img.width || r.y2 >= img.height) return false;
    for (int y = r.y1; y <= r.y2; ++y)
      for (int x = r.x1; x <= r.x2; ++x)
        if (used[(size_t)y * img.width + x]) return false;
    return true;
  }
  void Take(const R& r) {
    for (int y = std::max(0, r.y1); y <= std::min(img.height - 1, r.y2); ++y)
      for (int x = std::max(0, r.x1); x <= std::min(img.width - 1, r.x2); ++x) used[(size_t)y * img.width + x] = 1;
  }
};

R Lot(int level, int lot) {
  const int16_t* p = kLotXY[level - 1][lot];
  return R{p[0], p[1], p[0] + kTownLotWidth - 1, p[1] + kTownLotHeight - 1};
}

// ---- materials ---------------------------------------------------------------

void Grass(Image& img, int x1, int y1, int x2, int y2, int level) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      const uint32_t n = Noise(x / 2, y / 2, 11), m = Noise(x, y, 12);
      int s = 7 + (int)(n % 3) - (level >= 3 ? 1 : 0);
      if (m % 13 == 0) s += 2;  // blades catching the light
      if (m % 17 == 1) s -= 2;
      img.Set(x, y, Sh(kGreenR, s));
    }
}

// The street surface of the level: dirt, gravel, cobbles, paving.
uint8_t StreetPen(int level, int x, int y) {
  switch (level) {
    case 1: return Sh(kSandR, 4 + (int)(Noise(x / 2, y / 2, 21) % 3)) - ((Noise(x, y, 22) % 11 == 0) ? 2 : 0);
    case 2: {
      const uint32_t n = Noise(x, y, 23);
      return n % 7 == 0 ? Sh(kSlateR, 9) : Sh(kSandR, 7 + (int)(n % 3));
    }
    case 3: {  // cobbles, 5 x 4
      const int row = y / 4, off = row % 2 ? 2 : 0;
      if (y % 4 == 3 || (x + off) % 5 == 0) return Sh(kSlateR, 5);
      return Sh(kSlateR, 8 + (int)(Noise((x + off) / 5, row, 24) % 3));
    }
    default: {  // flagstones, 9 x 6
      const int row = y / 6, off = row % 2 ? 4 : 0;
      if (y % 6 == 5 || (x + off) % 9 == 0) return Sh(kSlateR, 7);
      return Sh(kSlateR, 10 + (int)(Noise((x + off) / 9, row, 25) % 3));
    }
  }
}

void Street(Scene& s, const R& r) {
  for (int y = r.y1; y <= r.y2; ++y)
    for (int x = r.x1; x <= r.x2; ++x) s.img.Set(x, y, StreetPen(s.level, x, y));
}

// The streets between the blocks of the grid: in the village dirt lanes
// and footpaths through the grass, in the town gravel, then cobbles and
// flagstones filling every gap.
void Streets(Scene& s, int bottom) {
  const int x0 = 4 + 3 * (s.level - 1), y0 = 130 + 2 * (s.level - 1);
  const int hw = s.level == 1 ? 7 : s.level == 2 ? 10 : 12, vw = s.level == 1 ? 3 : s.level == 2 ? 6 : 10;
  for (int row = 0; row < 6; ++row) {
    const int y2 = y0 + 52 * row - 1 - (12 - hw) / 2, y1 = y2 - hw + 1;
    if (y1 > bottom) break;
    Street(s, R{0, y1, s.img.width - 1, y2});
  }
  for (int col = 0; col < 12; ++col) {
    const int x2 = x0 + 58 * col - 1 - (10 - vw) / 2, x1 = x2 - vw + 1;
    Street(s, R{std::max(0, x1), y0 - 12, x2, bottom});
  }
}

// A soft shadow: darkens what lies under r by k steps.
void Shade(Image& img, const R& r, int k) {
  for (int y = std::max(0, r.y1); y <= std::min(img.height - 1, r.y2); ++y)
    for (int x = std::max(0, r.x1); x <= std::min(img.width - 1, r.x2); ++x) {
      uint8_t& p = img.px[(size_t)y * img.width + x];
      if (p != kTransparent) p = Lighten(p, -k);
    }
}

void Tree(Image& img, int x, int gy, int size, uint32_t seed) {
  const double r = size / 2.0;
  Ellipse(img, x + r * 0.6, gy - 1, r * 0.9, r * 0.35, Sh(kForestR, 3), Sh(kForestR, 3));  // shadow
  Box(img, x - 1, gy - size * 0.55, x, gy, Sh(kWoodR, 3));
  const double cy = gy - size * 0.55 - r * 0.6;
  Dot(img, x, cy, r, Sh(kForestR, 6));
  Dot(img, x - r * 0.25, cy - r * 0.25, r * 0.7, Sh(kForestR, 8));
  Dot(img, x - r * 0.4, cy - r * 0.4, r * 0.35, Sh(kForestR, 10));
  for (int k = 0; k < size; ++k) {  // leaves
    const double a = (Noise(k, 1, seed) % 628) / 100.0, d = (Noise(k, 2, seed) % 100) / 100.0 * r;
    img.Set((int)(x + std::cos(a) * d), (int)(cy + std::sin(a) * d), Sh(kForestR, 5 + (int)(Noise(k, 3, seed) % 6)));
  }
}

// A house seen from the front and a little above: wall, roof, windows and
// door, its right side in shade and a shadow on the ground.
struct HouseLook {
  uint8_t wall;   // ramp of the wall
  int wallStep;   // its step
  uint8_t roof;   // ramp of the roof
  int roofStep;
  bool timber;    // beams on the wall
  bool stone;     // stone courses
};

void Window(Image& img, int x1, int y1, int x2, int y2) {
  Box(img, x1 - 1, y1 - 1, x2 + 1, y2 + 1, Sh(kWoodR, 4));
  Box(img, x1, y1, x2, y2, kGlassPen);
  if (x2 - x1 >= 3) Line(img, (x1 + x2) / 2, y1, (x1 + x2) / 2, y2, 0, Sh(kWoodR, 4));
  Box(img, x1 - 1, y2 + 1, x2 + 1, y2 + 1, Sh(kParchR, 11));  // the sill
}

void House(Scene& s, int x, int gy, int w, int wallh, int roofh, const HouseLook& look, int floors, uint32_t seed) {
  Image& img = s.img;
  const int top = gy - wallh;
  Shade(img, R{x + w, gy - wallh / 2, x + w + roofh / 2 + 2, gy + 1}, 3);
  Shade(img, R{x, gy + 1, x + w + 2, gy + 2}, 2);
  for (int y = top; y < gy; ++y)
    for (int xx = x; xx < x + w; ++xx) {
      int step = look.wallStep + (int)(Noise(xx / 2, y / 2, seed) % 2);
      if (look.stone && ((y - top) % 4 == 3 || (xx + ((y - top) / 4 % 2) * 3) % 6 == 0)) step -= 3;
      if (xx >= x + w - 2) step -= 3;  // the side in shade
      img.Set(xx, y, Sh(look.wall, step));
    }
  if (look.timber) {
    const uint8_t beam = Sh(kWoodR, 3);
    Box(img, x, top, x + w - 1, top, beam);
    for (int xx = x; xx < x + w; xx += 6) Box(img, xx, top, xx, gy - 1, beam);
    if (floors > 1) Box(img, x, top + wallh / 2, x + w - 1, top + wallh / 2, beam);
  }
  // The roof: a hip seen from above the eaves, tiles in rows.
  for (int k = 0; k < roofh; ++k) {
    const int y = top - 1 - k, inset = k * 3 / 4;
    for (int xx = x - 2 + inset; xx <= x + w + 1 - inset; ++xx) {
      int step = look.roofStep + (k % 3 == 0 ? -2 : 0) + (int)(Noise(xx / 2, y, seed + 1) % 2);
      if (xx > x + w - 2 - inset) step -= 2;
      img.Set(xx, y, Sh(look.roof, step));
    }
  }
  Box(img, x - 2, top - 1, x + w + 1, top - 1, Sh(look.roof, look.roofStep - 4));  // the eaves
  // Windows on each floor, a door on the ground floor.
  const int fh = wallh / std::max(1, floors);
  for (int f = 0; f < floors; ++f) {
    const int wy = top + f * fh + std::max(2, fh / 3);
    for (int xx = x + 3; xx + 2 <= x + w - 4; xx += 6) {
      if (f == floors - 1 && std::abs(xx + 1 - (x + w / 2)) < 4) continue;  // the door's place
      Window(img, xx, wy, xx + 1, wy + 1 + (fh > 8 ? 1 : 0));
    }
  }
  const int dx = x + w / 2 - 1;
  Box(img, dx - 1, gy - 5, dx + 1, gy - 1, Sh(kWoodR, 2));
  s.Take(R{x - 2, top - roofh, x + w + 2, gy + 1});
}

HouseLook LookFor(int level, uint32_t seed) {
  static const HouseLook kVillage[] = {{kParchR, 12, kSandR, 9, true, false}, {kWoodR, 9, kSandR, 8, false, false},
                                       {kParchR, 13, kGoldR, 8, true, false}};
  static const HouseLook kTown[] = {{kParchR, 12, kRedR, 7, true, false}, {kSandR, 11, kWoodR, 6, false, false},
                                    {kParchR, 13, kSandR, 9, true, false}, {kWoodR, 10, kRedR, 6, false, false}};
  static const HouseLook kCity[] = {{kSandR, 11, kRedR, 7, false, true}, {kParchR, 12, kRedR, 6, true, false},
                                    {kSlateR, 11, kBlueR, 6, false, true}, {kSandR, 12, kSlateR, 7, false, true},
                                    {kParchR, 13, kRedR, 8, true, false}};
  if (level == 1) return kVillage[seed % 3];
  if (level == 2) return kTown[seed % 4];
  return kCity[seed % 5];
}

// ---- the scene -----------------------------------------------------------------

// An empty lot: cleared earth, a meadow or a staked-out site in a fence
// (stone at the larger levels), posts at the corners, a surveyor's stake.
void Plot(Scene& s, const R& r, uint32_t seed) {
  Image& img = s.img;
  const int kind = (int)(seed % 3);
  for (int y = r.y1; y <= r.y2; ++y)
    for (int x = r.x1; x <= r.x2; ++x) {
      const uint32_t n = Noise(x / 2, y, seed);
      uint8_t pen;
      if (kind == 1) pen = Sh(kGreenR, 9 + (int)(n % 3) - (Noise(x, y, seed + 1) % 11 == 0 ? 3 : 0));
      else pen = Sh(kSandR, 5 + (int)(n % 2) + ((y - r.y1) % 4 == 0 && kind == 0 ? -2 : 0));
      img.Set(x, y, pen);
    }
  if (kind == 1)  // wild flowers
    for (int k = 0; k < 6; ++k)
      img.Set(r.x1 + 3 + (int)(Noise(k, 1, seed) % 42), r.y1 + 4 + (int)(Noise(k, 2, seed) % 32), Sh(k % 2 ? kGoldR : kRoseR, 13));
  if (kind == 2) {  // the site staked out with string, a heap of stones
    FrameRect(img, r.x1 + 8, r.y1 + 9, r.x2 - 8, r.y2 - 7, Sh(kParchR, 14));
    for (const int px : {r.x1 + 8, r.x2 - 8})
      for (const int py : {r.y1 + 9, r.y2 - 7}) Box(img, px, py - 2, px, py, Sh(kWoodR, 4));
    for (int k = 0; k < 5; ++k) Ellipse(img, r.x2 - 13 + (k % 3) * 3, r.y2 - 12 - (k / 3) * 2, 2, 1.5, Sh(kSlateR, 11), Sh(kSlateR, 7));
  }
  if (s.level <= 2) {  // a wooden fence
    const uint8_t rail = Sh(kWoodR, 12);
    for (int x = r.x1; x <= r.x2; ++x) {
      img.Set(x, r.y1 + 1, rail);
      img.Set(x, r.y2 - 1, rail);
      img.Set(x, r.y2, Sh(kWoodR, 5));
    }
    for (int y = r.y1; y <= r.y2; ++y) {
      img.Set(r.x1, y, rail);
      img.Set(r.x2, y, rail);
    }
    for (int x = r.x1; x <= r.x2; x += 8) Box(img, x, r.y2 - 3, x, r.y2, Sh(kWoodR, 4));
  } else {  // a low stone wall
    for (int x = r.x1; x <= r.x2; ++x)
      for (const int y : {r.y1, r.y1 + 1, r.y2 - 1, r.y2})
        img.Set(x, y, (x - r.x1) % 5 == 0 ? Sh(kSlateR, 6) : Sh(kSlateR, y == r.y1 || y == r.y2 - 1 ? 12 : 9));
    for (int y = r.y1; y <= r.y2; ++y) {
      img.Set(r.x1, y, Sh(kSlateR, 11));
      img.Set(r.x2, y, Sh(kSlateR, 8));
    }
  }
  for (const int px : {r.x1, r.x2})
    for (const int py : {r.y1, r.y2}) img.Set(px, py, kPost);
  Box(img, r.x1, r.y1, r.x1, r.y1 + 2, kPost);
  Box(img, r.x2, r.y1, r.x2, r.y1 + 2, kPost);
  // A surveyor's stake with a white flag: a place kept for a building.
  const int sx = r.x1 + 5 + (int)(seed % 6), sy = r.y1 + 6;
  Box(img, sx, sy, sx, sy + 8, Sh(kWoodR, 3));
  Box(img, sx + 1, sy, sx + 4, sy + 2, Sh(kParchR, 15));
  s.Take(R{r.x1 - 1, r.y1 - 1, r.x2 + 1, r.y2 + 1});
}

// A block of the grid without a lot: houses by the level (cottages in
// gardens, then rows of town houses), each where it finds room.
void Block(Scene& s, const R& r, uint32_t seed) {
  const int houses = s.level == 1 ? 1 : 2, w = (r.x2 - r.x1 + 1) / houses;
  for (int k = 0; k < houses; ++k) {
    const int floors = s.level >= 4 || (s.level == 3 && k == 1) ? 2 : 1, wallh = floors == 2 ? 18 : 12;
    const int roofh = s.level >= 3 ? 10 : 8, hx = r.x1 + k * w + (s.level == 1 ? 22 : 2), hw = s.level == 1 ? 22 : w - 5;
    const R need{hx - 2, r.y2 - 2 - wallh - roofh, hx + hw + 2, r.y2 - 1};
    if (!s.Free(need)) continue;
    if (s.level == 1) {  // the cottage's vegetable patch
      for (int y = r.y2 - 12; y <= r.y2 - 2; ++y)
        for (int x = r.x1 + 3; x <= r.x1 + 19; ++x) s.img.Set(x, y, (y % 3 == 0) ? Sh(kForestR, 9) : Sh(kWoodR, 7));
      s.Take(R{r.x1 + 3, r.y2 - 12, r.x1 + 19, r.y2 - 2});
    }
    House(s, hx, r.y2 - 2, hw, wallh, roofh, LookFor(s.level, seed + k), floors, seed + k);
  }
}

void Sky(Image& img, const std::string& kind) {
  const int h = kHorizon + 6;
  if (kind == "sunny") {
    Gradient(img, 0, 0, img.width - 1, h, kBlueR, 8, 12, 41);
    for (int r = 26; r >= 12; r -= 2) Dot(img, 80, 36, r, Sh(kGoldR, 15 - (r - 12) / 3));
    Dot(img, 80, 36, 11, Sh(kParchR, 15));
  } else if (kind == "overcast") {
    Gradient(img, 0, 0, img.width - 1, h, kSlateR, 5, 9, 42);
  } else {
    Gradient(img, 0, 0, img.width - 1, h, kBlueR, 10, 13, 43);
  }
  // Clouds: heaps of discs, light above and shaded below.
  const int count = kind == "sunny" ? 4 : kind == "overcast" ? 14 : 8;
  for (int c = 0; c < count; ++c) {
    const double cx = (Noise(c, 1, 44) % 700) - 30, cy = 14 + (Noise(c, 2, 44) % 70), w = 40 + (Noise(c, 3, 44) % 60);
    const uint8_t lit = kind == "overcast" ? Sh(kSlateR, 10) : Sh(kParchR, 15), body = kind == "overcast" ? Sh(kSlateR, 7) : Sh(kSlateR, 14);
    for (int k = 0; k < 6; ++k) {
      const double px = cx - w / 2 + k * w / 5, r = 7 + (Noise(c, 10 + k, 44) % 9);
      Dot(img, px, cy + 3, r, body);
      Dot(img, px - 1, cy - 1, r - 2, lit);
    }
    Ellipse(img, cx, cy + 8, w * 0.6, 3, body, body);
  }
}

// Far hills behind the town.
void Hills(Image& img, int level) {
  for (int x = 0; x < img.width; ++x) {
    const double hh = 14 + 9 * std::sin(x * 0.013 + 1.3) + 5 * std::sin(x * 0.041);
    const int top = kHorizon - (int)hh;
    for (int y = top; y <= kHorizon + 4; ++y) img.Set(x, y, Sh(kForestR, 5 + (y - top) / 8 - (Noise(x, y, 51) % 4 == 0 ? 1 : 0)));
    // A dark edge of woods along the crest.
    if (Noise(x / 3, 0, 52) % 3) img.Set(x, top, Sh(kForestR, 3)), img.Set(x, top + 1, Sh(kForestR, 4));
  }
  if (level >= 3)  // a far watchtower on the hills
    for (int y = 86; y <= 100; ++y) Box(img, 150, y, 154, y, Sh(kSlateR, 6));
}

// The mill's hill at the upper right and its empty site.
void MillHill(Scene& s) {
  Image& img = s.img;
  for (int x = 536; x < 640; ++x) {
    const double d = (x - 612) / 56.0;
    const int top = 200 - (int)(26 * std::exp(-d * d * 2.0));
    for (int y = top; y <= 202; ++y)
      img.Set(x, y, Sh(kGreenR, 9 - (y - top) / 8 - (x > 612 + (y - top) ? 1 : 0) + (int)(Noise(x / 2, y / 2, 61) % 2)));
  }
  // The site where the mill stands when it is built (its base at 178): a
  // ring of stones, and the path up to it.
  Ellipse(img, 608, 178, 13, 3.5, Sh(kWoodR, 7), Sh(kSlateR, 9));
  Ellipse(img, 608, 178, 9, 2, Sh(kWoodR, 6), Sh(kWoodR, 6));
  for (int k = 0; k < 9; ++k) Line(img, 594 - k * 5, 183 + k * 2, 597 - k * 5, 183 + k * 2, 0, Sh(kSandR, 6));  // the path
  s.Take(Grow(kMill, 2));
}

// The mill race at the right edge: a stone mill house and the wheel's pit.
void WheelHouse(Scene& s) {
  Image& img = s.img;
  const R house{586, 204, 639, 266};
  Masonry(img, house.x1, house.y1, house.x2, house.y2, kSandR, 8, 8, 5, 71);
  for (int k = 0; k < 10; ++k) Box(img, house.x1 - 2 + k, house.y1 - 1 - k, house.x2, house.y1 - 1 - k, Sh(kRedR, 5 + (k % 3 == 0 ? -1 : 1)));
  Window(img, 592, 214, 594, 217);
  Box(img, 592, 252, 598, 266, Sh(kWoodR, 2));
  // The pit where the wheel turns, the flume above it and the race below.
  Box(img, kWheel.x1, kWheel.y1 + 6, kWheel.x2, 262, Sh(kSandR, 3));
  Box(img, kWheel.x1 - 2, kWheel.y1 + 2, kWheel.x2, kWheel.y1 + 5, Sh(kWoodR, 5));
  for (int y = 263; y <= 284; ++y)
    for (int x = 596; x <= 639; ++x) {
      if (y > 276 && x < 596 + (y - 276) * 2) continue;
      img.Set(x, y, Sh(kWaterR, 5 + (int)(Noise(x / 4, y, 72) % 4) + (Noise(x, y / 2, 73) % 13 == 0 ? 4 : 0)));
    }
  s.Take(R{584, 192, 639, 285});
}

// The river: out of a culvert between the first column of lots and the
// ford, through the ford, and south to the bottom of the picture beside the
// way out (through a water gate at the levels with a wall).
void River(Scene& s) {
  Image& img = s.img;
  auto water = [&](int x, int y) {
    img.Set(x, y, Sh(kWaterR, 5 + (int)(Noise(x / 5, y, 81) % 4) + (Noise(x, y / 2, 82) % 17 == 0 ? 5 : 0)));
  };
  // Between the lots beside the ford's band.
  int left = 0, right = img.width - 1;
  for (int lot = 0; lot < kTownLotCount; ++lot) {
    const R r = Lot(s.level, lot);
    if (!Overlap(r, R{0, 340, img.width - 1, 380})) continue;
    if (r.x2 < kFord.x1) left = std::max(left, r.x2 + 2);
    if (r.x1 > kFord.x2) right = std::min(right, r.x1 - 2);
  }
  // Across the ford's place, as the ford movie shows it.
  for (int x = left; x <= right; ++x) {
    const double c = 306 + 96 * 0.55 + 3 * std::sin((x - 64) * 0.05);
    for (int y = (int)(c - 10.5); y <= (int)(c + 10.5); ++y) water(x, y);
    img.Set(x, (int)(c - 10.5) - 1, Sh(kSandR, 9));
    img.Set(x, (int)(c + 10.5) + 1, Sh(kSandR, 5));
  }
  // The culvert it comes out of, under the street.
  Box(img, left - 1, 340, 63, 376, Sh(kSlateR, 8));
  Box(img, left, 349, 63, 369, Sh(kSlateR, 1));
  Box(img, left - 1, 340, 63, 341, Sh(kSlateR, 11));
  // South from the ford to the bottom edge: narrow between the lots, wider below.
  for (int y = 352; y < 480; ++y) {
    const int x1 = 225, x2 = y < 386 ? right - 1 : std::min(248, right + (y - 386) / 3 + 4);
    for (int x = x1; x <= x2; ++x) water(x, y);
    img.Set(x1 - 1, y, Sh(kSandR, 9));
    img.Set(x2 + 1, y, Sh(kSandR, 5));
  }
  s.Take(R{left - 1, 336, right + 1, 479});
}

// The ground and the road at the ford, under the ford movie.
void FordBanks(Scene& s) {
  Grass(s.img, kFord.x1, kFord.y1, kFord.x2, kFord.y2, s.level);
  for (int y = kFord.y1 - 30; y <= kFord.y2 + 8; ++y)
    for (int x = 131; x <= 157; ++x) s.img.Set(x + (y - kFord.y1) / 20, y, StreetPen(std::min(s.level, 3), x, y));
  for (int k = 0; k < 7; ++k) Tree(s.img, 84 + k * 20 + (k % 2) * 60 % 40, 330 + (k % 3) * 4, 10 + k % 3 * 2, 90 + k);
}

// The houses whose windows light up at night (the same at every level).
void LitHouses(Scene& s) {
  const HouseLook a{kParchR, 12, kRedR, 6, true, false}, b{kSandR, 11, kWoodR, 6, false, true},
                  c{kParchR, 13, kSlateR, 7, true, false}, d{kSandR, 12, kRedR, 7, false, true};
  House(s, 519, 291, 19, 33, 12, a, 1, 101);
  House(s, 538, 291, 19, 35, 12, b, 1, 102);
  House(s, 557, 291, 17, 39, 14, c, 1, 103);
  House(s, 413, 168, 26, 46, 14, d, 1, 104);
  // Their windows where the lights are: exact panes over every light pixel.
  for (const R& w : kLitWindows) {
    Box(s.img, w.x1 - 1, w.y1 - 1, w.x2 + 1, w.y2 + 1, Sh(kWoodR, 3));
    Box(s.img, w.x1, w.y1, w.x2, w.y2, kGlassPen);
  }
  // Doors.
  Box(s.img, 528, 283, 531, 290, Sh(kWoodR, 2));
  Box(s.img, 564, 281, 567, 290, Sh(kWoodR, 2));
  Box(s.img, 424, 158, 428, 167, Sh(kWoodR, 2));
}

// The builders' yard of the village (its BAUS gadget: 100..240 x 410..479).
void BuildersYard(Scene& s) {
  Image& img = s.img;
  for (int y = 414; y <= 476; ++y)
    for (int x = 104; x <= 214; ++x) img.Set(x, y, Sh(kWoodR, 7 + (int)(Noise(x / 3, y / 2, 91) % 3)));
  for (int k = 0; k < 5; ++k)  // a stack of logs
    for (int j = 0; j <= k % 3; ++j) Ellipse(img, 118 + k * 7, 468 - j * 7, 4, 3.5, Sh(kWoodR, 10), Sh(kWoodR, 5));
  for (int k = 0; k < 4; ++k)  // stone blocks
    Box(img, 160 + k * 12, 460 - (k % 2) * 8, 169 + k * 12, 468 - (k % 2) * 8, Sh(kSlateR, 10 - k % 2));
  // A wooden crane.
  Line(img, 190, 470, 190, 420, 1, Sh(kWoodR, 5));
  Line(img, 190, 422, 212, 428, 1, Sh(kWoodR, 5));
  Line(img, 210, 428, 210, 446, 0, Sh(kSlateR, 4));
  Box(img, 206, 446, 213, 452, Sh(kSlateR, 9));
  s.Take(R{100, 410, 240, 479});
}

// The town wall along the bottom (levels 2 to 4): a palisade, then stone.
void TownWall(Scene& s) {
  Image& img = s.img;
  for (int x = 0; x < img.width; ++x) {
    if (x >= 224 && x <= 246) continue;  // the river's water gate
    for (int y = kWallTop; y <= kWallBase; ++y) {
      uint8_t pen;
      if (s.level == 2) {
        const int stake = x % 5;
        pen = stake == 4 ? Sh(kWoodR, 3) : Sh(kWoodR, 7 + stake);
        if (y < kWallTop + 3 && stake != 2) continue;  // pointed tops
      } else {
        const int row = (y - kWallTop) / 5, off = row % 2 ? 4 : 0;
        pen = ((y - kWallTop) % 5 == 4 || (x + off) % 9 == 0) ? Sh(kSlateR, 6)
                                                                : Sh(kSlateR, 9 + (int)(Noise((x + off) / 9, row, 95) % 3));
      }
      img.Set(x, y, pen);
    }
    if (s.level >= 3 && x % 12 < 7) Box(img, x, kWallTop - 4, x, kWallTop - 1, Sh(kSlateR, 10));  // battlements
  }
  Shade(img, R{0, kWallBase + 1, img.width - 1, kWallBase + 3}, 3);
  if (s.level == 4)  // towers along the wall
    for (const int tx : {150, 420, 520, 630}) {
      Masonry(img, tx - 9, kWallTop - 16, tx + 9, kWallBase, kSlateR, 10, 7, 5, 96);
      for (int k = -9; k <= 9; k += 5) Box(img, tx + k, kWallTop - 20, tx + k + 2, kWallTop - 17, Sh(kSlateR, 11));
      Window(img, tx - 1, kWallTop - 8, tx, kWallTop - 5);
    }
}

void Meadow(Scene& s, int y1) {
  Image& img = s.img;
  Grass(img, 0, y1, img.width - 1, img.height - 1, 1);
  for (int k = 0; k < 12; ++k) {  // fields in strips outside the town
    const int x = 260 + k * 34;
    if (x > 630) break;
    for (int y = y1 + 4; y < img.height; ++y)
      for (int xx = x; xx < x + 30 && xx < img.width; ++xx)
        if ((k % 3) != 2) img.Set(xx, y, (y + k) % 3 == 0 ? Sh(kGoldR, 7 + k % 2) : Sh(k % 2 ? kGoldR : kGreenR, 10));
  }
}

void DrawScene(Image& img, int level, const std::string& sky) {
  Scene s(img, level);
  std::fill(img.px.begin(), img.px.end(), kTransparent);
  Hills(img, level);
  Grass(img, 0, kHorizon + 5, img.width - 1, img.height - 1, level);
  // The town's ground: streets everywhere between the blocks.
  Streets(s, level == 1 ? 392 : kWallTop - 1);
  // The places of the lots, the movies and the lit houses come first.
  for (int lot = 0; lot < kTownLotCount; ++lot) s.Take(Grow(Lot(level, lot), 1));
  if (level == 1) {
    Meadow(s, 396);
    for (int y = 380; y < 480; ++y)  // the road leaving the town
      for (int x = 292 - (y - 380) / 4; x <= 348 + (y - 380) / 4; ++x) img.Set(x, y, StreetPen(1, x, y));
    s.Take(R{280, 380, 370, 479});
    BuildersYard(s);
  } else {
    Meadow(s, kWallBase + 1);
    for (int y = 393; y <= 479; ++y)  // the road to the gate and on
      for (int x = 48; x <= 80; ++x) img.Set(x, y, StreetPen(level, x, y));
    TownWall(s);
    s.Take(R{0, kWallTop - 2, img.width - 1, 479});
    s.Take(Grow(kGate, 2));
    s.Take(Grow(kScaffold, 2));
  }
  FordBanks(s);
  River(s);
  s.Take(Grow(kFord, 1));
  MillHill(s);
  WheelHouse(s);
  LitHouses(s);
  for (int lot = 0; lot < kTownLotCount; ++lot) Plot(s, Lot(level, lot), (uint32_t)(lot * 7 + level));
  // Every other cell of the grid: a block of houses or a garden.
  for (int row = 0; row < 7; ++row)
    for (int col = 0; col < 11; ++col) {
      const int x = 4 + 3 * (level - 1) + 58 * col, y = 130 + 2 * (level - 1) + 52 * row;
      const R cell{x, y, x + kTownLotWidth - 1, y + kTownLotHeight - 1};
      if (cell.y2 >= (level == 1 ? 470 : kWallTop - 2) || cell.x2 >= img.width || Overlap(cell, kWayOut)) continue;
      Block(s, cell, (uint32_t)(row * 11 + col + level * 5));
    }
  // Trees in what is left of the green.
  for (int k = 0; k < 240 / level; ++k) {
    const int x = 6 + (int)(Noise(k, 1, 97) % 628), y = 130 + (int)(Noise(k, 2, 97) % 345);
    const R r{x - 6, y - 16, x + 6, y + 2};
    if (s.Free(r) && (RampOf(img.Get(x, y)) == kGreenR)) {
      Tree(img, x, y, 10 + (int)(Noise(k, 3, 97) % 6), 98 + k);
      s.Take(r);
    }
  }
  Image skyimg(img.width, img.height, kTransparent);
  Sky(skyimg, sky);
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x)
      if (img.Get(x, y) == kTransparent) img.Set(x, y, skyimg.Get(x, y));
}

}  // namespace

const Palette& TownPalette() {
  static const Palette p = [] {
    Palette t = SharedPalette();
    t[kInk] = {kNightLight[0], kNightLight[1], kNightLight[2]};  // lamp light in the windows
    t[kRed] = {150, 170, 200};  // the rain's pen
    return t;
  }();
  return p;
}

void AvoidSteadyPens(Image& img) {
  // The tint leaves pens 0..35 as they are: the town's own pixels keep off
  // them (0, black, is dark by night as by day).
  static const std::array<uint8_t, 36> map = [] {
    std::array<uint8_t, 36> m{};
    const Palette& p = TownPalette();
    for (int c = 0; c < 36; ++c) {
      int best = 36, dist = 1 << 30;
      for (int k = 36; k < 255; ++k) {
        const int dr = p[c][0] - p[k][0], dg = p[c][1] - p[k][1], db = p[c][2] - p[k][2];
        const int d = dr * dr * 3 + dg * dg * 4 + db * db * 2;
        if (d < dist) dist = d, best = k;
      }
      m[c] = c == 0 ? 0 : (uint8_t)best;
    }
    return m;
  }();
  for (uint8_t& px : img.px)
    if (px < 36) px = map[px];
}

uint8_t OvercastPen(uint8_t pen) {
  if (pen == kTransparent || pen < 36) return pen;
  const uint8_t ramp = RampOf(pen);
  if (ramp == kGreenR) return Sh(kForestR, pen - ramp - 2);  // grass goes dull
  return Lighten(pen, -2);
}

const Image& TownScene(int level, const std::string& sky) {
  // Each scene is drawn once per run: the background, the sky, the
  // overcast pair and the movies' windows cut from the same picture.
  static std::map<std::pair<int, std::string>, Image> scenes;
  const auto key = std::make_pair(std::clamp(level, 1, 4), sky);
  auto it = scenes.find(key);
  if (it != scenes.end()) return it->second;
  Image scene(640, 480, kTransparent);
  DrawScene(scene, key.first, sky == "overcast" ? "overcast" : sky == "sunny" ? "sunny" : "plain");
  AvoidSteadyPens(scene);
  if (sky == "overcast")
    for (int y = kHorizon - 40; y < 480; ++y)
      for (int x = 0; x < 640; ++x) {
        uint8_t& p = scene.px[(size_t)y * 640 + x];
        if (RampOf(p) != kSlateR || y > kHorizon + 6) p = OvercastPen(p);
      }
  return scenes.emplace(key, std::move(scene)).first->second;
}

bool DrawTownPart(Image& img, int level, const std::string& part, std::string* err) {
  if (level < 1 || level > 4) {
    *err = "town level 1 to 4";
    return false;
  }
  const bool overcast = part == "overcasttop" || part == "overcastbottom";
  if (part != "background" && part != "sky" && !overcast) {
    *err = "town <level> background|sky|overcasttop|overcastbottom";
    return false;
  }
  const Image& scene = TownScene(level, part == "sky" ? "sunny" : overcast ? "overcast" : "plain");
  const int y0 = part == "overcastbottom" ? 123 : 0;
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x) img.Set(x, y, scene.Get(x, y0 + y));
  return true;
}

// The title board (276 x 58 at 183, 0): the town's name band (212..428 x
// 8..30 on the screen, black text on pen 5, which the night leaves bright)
// above the title bar's slot (200..442 x 34..50), framed by the level:
// plain planks, carved wood, stone, gilded stone with a crown.
bool DrawTownTitle(Image& img, int level) {
  DrawBar(img, kTransparent);
  const int w = img.width, h = img.height;  // 276 x 58
  const uint8_t frame = level >= 3 ? kSlateR : kWoodR;
  // The board with rounded ends.
  for (int y = 1; y < h - 1; ++y)
    for (int x = 6; x < w - 6; ++x) {
      int step = level >= 3 ? 9 + (int)(Noise(x / 6, y / 4, 301) % 3) : 7 + (int)(Noise(x / 9, y, 302) % 3);
      if (level < 3 && y % 9 == 0) step -= 3;  // the planks
      img.Set(x, y, Sh(frame, step));
    }
  for (const int cx : {8, w - 9}) Ellipse(img, cx, h / 2, 8, h / 2 - 2, Sh(frame, 8), Sh(frame, 4));
  FrameRect(img, 6, 1, w - 7, h - 2, Sh(frame, 3));
  FrameRect(img, 7, 2, w - 8, h - 3, Sh(frame, level >= 3 ? 12 : 11));
  if (level >= 4) {  // a gilded border and a crown over the band
    FrameRect(img, 9, 4, w - 10, h - 5, Sh(kGoldR, 12));
    Poly(img, {{128, 8}, {148, 8}, {150, 1}, {144, 5}, {138, 0}, {132, 5}, {126, 1}}, Sh(kGoldR, 13));
  }
  if (level == 2 || level == 3)  // carved rosettes at the ends
    for (const int cx : {14, w - 15}) {
      Dot(img, cx, h / 2, 5, Sh(level == 3 ? kGoldR : kWoodR, 10));
      Dot(img, cx, h / 2, 2, Sh(kRedR, 7));
    }
  // The slot of the title bar (the screen fills it with the level's pen).
  Box(img, 200 - 183 - 2, 34 - 2, 442 - 183 + 2, 50 + 2, Sh(frame, 2));
  Box(img, 200 - 183, 34, 442 - 183, 50, Sh(kWoodR, 1));
  AvoidSteadyPens(img);
  // The name band, in the pens the night leaves bright.
  Box(img, 212 - 183 - 1, 7, 428 - 183 + 1, 31, kDarkGold);
  Box(img, 212 - 183, 8, 428 - 183, 30, kParchment);
  for (int x = 212 - 183; x <= 428 - 183; ++x)
    if (Noise(x, 1, 303) % 5 == 0) img.Set(x, 8 + (int)(Noise(x, 2, 303) % 23), kLightGrey);
  return true;
}

// The object pairs of levels 2 to 4: the town gate (64 x 62, shut and open)
// and the builders' scaffold (48 x 46, idle and hoisting), in the town's
// pens so they darken with it at night.
namespace {

void GateTower(Image& img, int x1, int x2, int top, int bottom, int level) {
  if (level == 2) {
    for (int x = x1; x <= x2; ++x)
      for (int y = top; y <= bottom; ++y) img.Set(x, y, (x - x1) % 4 == 3 ? Sh(kWoodR, 3) : Sh(kWoodR, 8 + (x - x1) % 4));
    Poly(img, {{x1 - 2.0, top + 1.0}, {x2 + 3.0, top + 1.0}, {(x1 + x2) / 2.0 + 0.5, top - 9.0}}, Sh(kSandR, 8));
  } else {
    Masonry(img, x1, top, x2, bottom, level == 4 ? kSandR : kSlateR, 10, 6, 4, 311);
    for (int x = x1; x <= x2; x += 4) Box(img, x, top - 3, x + 1, top - 1, Sh(level == 4 ? kSandR : kSlateR, 11));
    if (level == 4) Poly(img, {{x1 - 2.0, top - 3.0}, {x2 + 3.0, top - 3.0}, {(x1 + x2) / 2.0 + 0.5, top - 14.0}}, Sh(kBlueR, 6));
  }
  Window(img, (x1 + x2) / 2 - 1, top + 6, (x1 + x2) / 2, top + 9);
}

}  // namespace

bool DrawTownObject(Image& img, int level, const std::string& kind, std::string* err) {
  if (level < 2 || level > 4) {
    *err = "town objects are for levels 2 to 4";
    return false;
  }
  DrawBar(img, kTransparent);
  const int w = img.width, h = img.height;
  if (kind == "gate" || kind == "gateopen") {
    const int bottom = h - 1, top = level == 2 ? 18 : 14;
    // The gatehouse between two towers, the arch over the road.
    GateTower(img, 2, 17, top - 4, bottom, level);
    GateTower(img, w - 18, w - 3, top - 4, bottom, level);
    if (level == 2) {
      for (int x = 18; x < w - 18; ++x)
        for (int y = top + 6; y <= bottom; ++y) img.Set(x, y, (x % 4 == 3) ? Sh(kWoodR, 3) : Sh(kWoodR, 7 + x % 3));
      Box(img, 18, top + 4, w - 19, top + 7, Sh(kWoodR, 4));
    } else {
      Masonry(img, 18, top + 4, w - 19, bottom, level == 4 ? kSandR : kSlateR, 9, 7, 4, 312);
      for (int x = 18; x < w - 18; x += 5) Box(img, x, top, x + 2, top + 3, Sh(level == 4 ? kSandR : kSlateR, 10));
    }
    // The arch: the doors shut, or open onto the road beyond.
    const int ax1 = 22, ax2 = w - 23, ay = top + 18;
    for (int y = ay; y <= bottom; ++y)
      for (int x = ax1; x <= ax2; ++x) {
        const double dx = (x - (ax1 + ax2) / 2.0) / ((ax2 - ax1) / 2.0), dy = (y - (ay + 10.0)) / 10.0;
        if (y < ay + 10 && dx * dx + dy * dy > 1) continue;
        if (kind == "gate") img.Set(x, y, (x - ax1) % 5 == 0 ? Sh(kWoodR, 3) : Sh(kWoodR, 8 + (y / 6) % 2));
        else img.Set(x, y, y > bottom - 14 ? StreetPen(level, x, y) : Sh(kGreenR, 9 - (y - ay) / 6));
      }
    if (kind == "gate") {
      Line(img, (ax1 + ax2) / 2.0, ay, (ax1 + ax2) / 2.0, bottom, 0, Sh(kWoodR, 2));
      for (const int yy : {ay + 12, bottom - 8}) Box(img, ax1, yy, ax2, yy + 1, Sh(kSlateR, 6));
    } else {
      for (const int x : {ax1 - 3, ax2 + 1}) Box(img, x, ay + 4, x + 2, bottom - 2, Sh(kWoodR, 8));  // the doors swung back
    }
    // Banners or a flag over the gate.
    if (level >= 3)
      for (const int x : {6, w - 14})
        for (int y = top + 4; y < top + 20; ++y) Box(img, x, y, x + 7 - (y > top + 16 ? (y - top - 16) * 2 : 0), y, Sh(level == 4 ? kPurpleR : kRedR, 9));
    Line(img, w / 2.0, top + 2, w / 2.0, 1, 0, Sh(kWoodR, 3));
    Poly(img, {{w / 2.0, 1}, {w / 2.0 + 11, 4}, {w / 2.0, 7}}, Sh(level == 4 ? kGoldR : kRedR, 10));
  } else if (kind == "scaffold" || kind == "scaffoldbusy") {
    // A wall going up inside scaffolding, a ladder, a hoist with its load.
    Masonry(img, 8, 24, 38, h - 2, kSandR, 9, 7, 4, 321);
    for (int x = 8; x <= 38; ++x) img.Set(x, 23 - (int)(Noise(x / 4, 0, 322) % 4), Sh(kSandR, 10));
    const uint8_t pole = Sh(kWoodR, 5), board = Sh(kWoodR, 9);
    for (const int x : {4, 22, 42}) Box(img, x, 6, x + 1, h - 1, pole);
    for (const int y : {16, 30}) Box(img, 3, y, 44, y + 1, board);
    for (int y = 8; y < h - 1; y += 4) Line(img, 24, y, 28, y, 0, Sh(kWoodR, 7));  // ladder rungs
    Box(img, 24, 8, 24, h - 1, Sh(kWoodR, 4));
    Box(img, 28, 8, 28, h - 1, Sh(kWoodR, 4));
    Line(img, 2, 6, 46, 2, 1, pole);  // the hoist's beam
    const int load = kind == "scaffoldbusy" ? 10 : 26;
    Line(img, 42, 3, 42, load, 0, Sh(kSlateR, 4));
    Box(img, 38, load, 46, load + 6, Sh(kSlateR, kind == "scaffoldbusy" ? 12 : 9));
    if (level >= 3) Box(img, 4, 1, 7, 5, Sh(kRedR, 9));  // a pennant
    if (level == 4) {  // a treadwheel
      Ellipse(img, 12, 38, 7, 7, kTransparent, Sh(kWoodR, 6));
      Line(img, 5, 38, 19, 38, 0, Sh(kWoodR, 6));
      Line(img, 12, 31, 12, 45, 0, Sh(kWoodR, 6));
    }
  } else {
    *err = "town object gate|gateopen|scaffold|scaffoldbusy";
    return false;
  }
  AvoidSteadyPens(img);
  return true;
}

}  // namespace datakit
