// The town pictures of the buildings (IDs 600..703) and the construction
// pictures, from the description lines of the building animations: the
// body (house, hall, church, castle, tents, yard, harbour, round tent,
// windmill), walls, roof, towers, columns, sign and the work going on, drawn
// small in the town's view, or as a still of the animation itself.
#include "town_buildings.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "art.h"

namespace datakit {
namespace {

using namespace movies;

constexpr int kW = kTownLotWidth, kH = kTownLotHeight, kGround = kH - 3;

bool Has(const std::string& works, const char* w) {
  std::istringstream s(works);
  for (std::string item; std::getline(s, item, ',');)
    if (item == w) return true;
  return false;
}

struct Look {
  std::string body, wall, roof, troof, sign, works, things;
  uint8_t wallc, roofc, flagc, tentc;
  double width, height;
  int floors, towers;
  double towerh;
  bool columns, fence;
  int level;  // windmill
};

Look ReadLook(const MovieLine& m) {
  const Params& p = m.params;
  Look k;
  k.body = m.kind == "windmill" ? "windmill" : p.Str("body", "house");
  k.wall = p.Str("wall", "plaster");
  k.roof = p.Str("roof", "gable");
  k.troof = p.Str("troof", k.body == "church" ? "spire" : "crenel");
  k.sign = p.Str("sign", "");
  k.works = p.Str("work", "");
  k.things = p.Str("things", "");
  k.wallc = p.RampP("wallc", 0);
  k.roofc = p.RampP("roofc", kRedR);
  k.flagc = p.RampP("flagc", kRedR);
  k.tentc = p.RampP("tentc", kSandR);
  k.width = p.Num("width", 0.5);
  k.height = p.Num("height", 0.32);
  k.floors = (int)p.Num("floors", 1);
  k.towers = (int)p.Num("towers", 0);
  k.towerh = p.Num("towerh", 0.5);
  k.columns = p.Num("columns", 0) != 0;
  k.fence = p.Num("fence", 0) != 0;
  k.level = (int)p.Num("level", 1);
  return k;
}

// ---- pieces ----------------------------------------------------------------------

// A wall of the material over x1..x2, y1..y2, its right edge in shade.
void Wall(Image& img, int x1, int y1, int x2, int y2, const std::string& m, uint8_t ramp, uint32_t seed) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      int step;
      uint8_t r = ramp;
      const int row = (y - y1) / 3;
      if (m == "stone") {
        r = r ? r : (uint8_t)kSlateR;
        const bool joint = (y - y1) % 3 == 2 || (x - x1 + (row % 2) * 2) % 5 == 0;
        step = joint ? 6 : 9 + (int)(Noise((x - x1 + (row % 2) * 2) / 5, row, seed) % 3);
      } else if (m == "brick") {
        r = r ? r : (uint8_t)kRedR;
        const bool joint = (y - y1) % 2 == 1 || (x - x1 + ((y - y1) / 2 % 2) * 2) % 4 == 0;
        step = joint ? 4 : 7 + (int)(Noise(x / 4, y / 2, seed) % 2);
      } else if (m == "wood") {
        r = r ? r : (uint8_t)kWoodR;
        step = (x - x1) % 3 == 0 ? 5 : 8 + (int)(Noise((x - x1) / 3, y / 5, seed) % 2);
      } else {
        r = r ? r : (uint8_t)kParchR;
        step = 12 + (int)(Noise(x / 2, y / 2, seed) % 2);
      }
      if (x >= x2 - 1) step -= 3;
      img.Set(x, y, Sh(r, step));
    }
  if (m == "timber") {
    const uint8_t beam = Sh(kWoodR, 3);
    Box(img, x1, y1, x2, y1, beam);
    for (int x = x1; x <= x2; x += 5) Box(img, x, y1, x, y2, beam);
    for (int x = x1; x + 5 <= x2; x += 10) Line(img, x, y2, x + 5, y1, 0, beam);
  }
}

// A roof whose eaves run along y over x1..x2 (gable, hip, spire, dome, crenel, flat, tent).
void Roof(Image& img, int x1, int x2, int y, int rh, const std::string& kind, uint8_t ramp) {
  const double cx = (x1 + x2) / 2.0;
  if (kind == "gable" || kind == "spire" || kind == "tent") {
    for (int k = 0; k < rh; ++k) {
      const double half = (x2 - x1 + 4) / 2.0 * (1.0 - (double)k / rh);
      for (int x = (int)std::floor(cx - half); x <= (int)std::ceil(cx + half); ++x)
        img.Set(x, y - 1 - k, Sh(ramp, (k % 3 == 0 ? 5 : 7) + (x > cx ? -2 : 1)));
    }
  } else if (kind == "hip") {
    for (int k = 0; k < rh; ++k) {
      const int in = k * 3 / 4;
      for (int x = x1 - 2 + in; x <= x2 + 2 - in; ++x) img.Set(x, y - 1 - k, Sh(ramp, (k % 3 == 0 ? 5 : 7) + (x > x2 - in ? -2 : 0)));
    }
  } else if (kind == "dome") {
    for (int k = 0; k < rh; ++k) {
      const double half = (x2 - x1) / 2.0 * std::sqrt(1.0 - (double)k * k / ((double)rh * rh));
      for (int x = (int)(cx - half); x <= (int)(cx + half); ++x) img.Set(x, y - 1 - k, Sh(ramp, 6 + k * 6 / rh + (x < cx - half / 3 ? 2 : 0)));
    }
    Box(img, cx, y - rh - 3, cx, y - rh, Sh(kGoldR, 13));
  } else if (kind == "crenel") {
    for (int x = x1; x <= x2; x += 3) Box(img, x, y - 2, std::min(x + 1, x2), y - 1, Sh(ramp, 10));
  } else {  // flat
    Box(img, x1 - 1, y - 2, x2 + 1, y - 1, Sh(ramp, 8));
  }
  Box(img, x1 - 1, y, x2 + 1, y, Sh(ramp, 3));  // the eaves' shadow
}

void Windows(Image& img, int x1, int x2, int y1, int y2, int rows, bool lit, int skip_x) {
  const int fh = std::max(4, (y2 - y1 + 1) / std::max(1, rows));
  for (int r = 0; r < rows; ++r) {
    const int y = y1 + r * fh + 1;
    if (y + 2 > y2) break;
    for (int x = x1 + 2; x + 1 <= x2 - 2; x += 5) {
      if (r == rows - 1 && std::abs(x - skip_x) < 4) continue;
      Box(img, x, y, x + 1, y + 2, lit ? Sh(kGoldR, 13) : kTownGlass);
      img.Set(x, y + 3, Sh(kParchR, 12));
    }
  }
}

void Door(Image& img, int cx, int w, int h, uint8_t pen) {
  Box(img, cx - w / 2, kGround - h + 1, cx - w / 2 + w - 1, kGround, pen);
  Box(img, cx - w / 2, kGround - h, cx - w / 2 + w - 1, kGround - h, Sh(kSlateR, 6));
}

void Flag(Image& img, int x, int top, uint8_t ramp) {
  Box(img, x, top, x, top + 6, Sh(kWoodR, 3));
  Box(img, x + 1, top, x + 5, top + 2, Sh(ramp, 10));
  img.Set(x + 5, top + 2, Sh(ramp, 7));
}

void Smoke(Image& img, int x, int y) {
  Box(img, x, y, x + 1, y + 3, Sh(kRedR, 5));
  Dot(img, x + 1, y - 2, 1.2, Sh(kSlateR, 13));
  Dot(img, x + 3, y - 5, 1.6, Sh(kSlateR, 14));
}

void Person(Image& img, int x, uint8_t cloth) {
  Box(img, x, kGround - 4, x + 1, kGround - 1, cloth);
  img.Set(x, kGround - 5, Sh(kRoseR, 10));
  img.Set(x + 1, kGround - 5, Sh(kRoseR, 9));
}

// A tower at x (centre) from its top to the ground.
void Tower(Image& img, int cx, int tw, int top, const Look& k, int rank) {
  const std::string m = k.wall == "plaster" || k.wall == "timber" ? "stone" : k.wall;
  Wall(img, cx - tw / 2, top, cx - tw / 2 + tw - 1, kGround, m, k.wallc, 7);
  const int rh = k.troof == "spire" ? tw + 3 : k.troof == "crenel" ? 2 : tw / 2 + 1;
  Roof(img, cx - tw / 2, cx - tw / 2 + tw - 1, top, rh, k.troof, k.troof == "crenel" ? (uint8_t)kSlateR : k.roofc);
  Box(img, cx - 1, top + 3, cx, top + 5, Has(k.works, "bell") ? Sh(kGoldR, 11) : kTownGlass);
  if (Has(k.works, "clock")) {
    Dot(img, cx, top + 9, 1.6, Sh(kParchR, 15));
    img.Set(cx, top + 8, kBlack);
  }
  if (Has(k.works, "flag") || rank >= 3) Flag(img, cx, std::max(0, top - rh - 6), k.flagc);
}

// The sign: a small board with the emblem, or the gold coin.
void Sign(Image& img, int x, int y, const Look& k) {
  if (k.sign.empty()) return;
  if (Has(k.works, "coin")) {
    Dot(img, x, y, 3, Sh(kGoldR, 13));
    Dot(img, x - 1, y - 1, 1, Sh(kGoldR, 15));
    return;
  }
  Box(img, x - 4, y - 3, x + 4, y + 3, Sh(kWoodR, 11));
  FrameRect(img, x - 4, y - 3, x + 4, y + 3, Sh(kWoodR, 3));
  Emblem(img, x, y, k.sign, 0.4);
}

// ---- bodies ----------------------------------------------------------------------

void HouseBody(Image& img, const Look& k, int rank, double g) {
  const bool church = k.body == "church", castle = k.body == "castle";
  int towers = k.towers + (rank >= 3 && k.towers < 2 && k.body != "house" ? 1 : 0);
  if (church && rank >= 2 && towers < 2) towers = std::min(2, towers + (rank >= 3 ? 1 : 0));
  const int floors = k.floors + (rank >= 2 ? 1 : 0) + (castle ? 1 : 0);
  int bw = std::clamp((int)std::lround(kW * k.width * (1.05 + 0.45 * g)) + (towers ? 0 : 4), 18, towers == 2 ? 30 : 42);
  const int tw = towers ? 7 + (int)(3 * g) : 0;
  int cx = kW / 2;
  if (towers == 1) cx = kW / 2 - tw / 2 - 1;
  int wallh = 7 + 5 * floors + (int)(2 * g) + (int)(k.height * 8);
  const std::string roof = castle ? "crenel" : k.roof;
  int rh = roof == "gable" ? std::min(bw * 2 / 5, 12) : roof == "hip" ? 6 + (int)(2 * g) : roof == "dome" ? std::min(bw / 2, 11)
         : roof == "spire" ? bw * 2 / 3 : 2;
  const int tower_top_min = towers ? 12 : 0;
  while (kGround - wallh - rh < 3 + tower_top_min / 2 && wallh > 10) --wallh;
  const int x1 = cx - bw / 2, x2 = x1 + bw - 1, top = kGround - wallh;
  // A lower wing at the side for the grander members.
  if (rank >= 2 && towers < 2 && !castle) {
    const int wx1 = towers == 1 ? 1 : (rank % 2 ? x2 + 1 : 1), wx2 = towers == 1 ? x1 - 1 : (rank % 2 ? kW - 2 : x1 - 1);
    if (wx2 - wx1 >= 5) {
      Wall(img, wx1, kGround - wallh * 2 / 3, wx2, kGround, k.wall, k.wallc, 3);
      Roof(img, wx1, wx2, kGround - wallh * 2 / 3, 4, "hip", k.roofc);
      Windows(img, wx1, wx2, kGround - wallh * 2 / 3 + 1, kGround - 2, 1, Has(k.works, "lights"), -99);
    }
  }
  if (castle) {  // the keep behind its curtain wall
    Wall(img, x1, top - 4, x2, kGround, k.wall, k.wallc, 5);
    Roof(img, x1, x2, top - 4, 2, "crenel", kSlateR);
    Windows(img, x1 + 2, x2 - 2, top - 2, top + 6, 1, Has(k.works, "lights"), -99);
    if (Has(k.works, "banners"))
      for (const int bx : {cx - 5, cx + 4}) Box(img, bx, top, bx + 1, top + 9, Sh(k.flagc, 9));
    if (Has(k.works, "flag")) Flag(img, cx, top - 12, k.flagc);
    const int wy = kGround - 8;
    Wall(img, 1, wy, kW - 2, kGround, "stone", k.wallc, 9);
    Roof(img, 1, kW - 2, wy, 2, "crenel", kSlateR);
    Door(img, cx, 5, 6, Sh(kWoodR, 2));
    for (const int tx : {4, kW - 5}) Tower(img, tx, tw ? tw : 8, wy - 10 - (int)(4 * g), k, rank);
    if (Has(k.works, "torches")) Box(img, cx - 5, kGround - 6, cx - 5, kGround - 5, Sh(kOrangeR, 14)), Box(img, cx + 5, kGround - 6, cx + 5, kGround - 5, Sh(kOrangeR, 14));
    if (Has(k.works, "patrol")) Person(img, 12, Sh(kRedR, 7));
    return;
  }
  Wall(img, x1, top, x2, kGround, k.wall, k.wallc, 1);
  Roof(img, x1, x2, top, rh, roof, k.roofc);
  if (rank >= 3) Box(img, x1, top + 1, x2, top + 1, Sh(kGoldR, 12));  // a gilded cornice
  const bool forge = Has(k.works, "forge");
  if (k.columns) {
    Box(img, x1 - 1, top + 1, x2 + 1, top + 2, Sh(kParchR, 14));
    for (int x = x1 + 1; x <= x2 - 1; x += 4) Box(img, x, top + 3, x + 1, kGround - 1, Sh(kParchR, 15));
    Box(img, x1 - 1, kGround, x2 + 1, kGround, Sh(kParchR, 12));
  } else {
    Windows(img, x1 + 1, x2 - 1, top + 2, kGround - 1, floors, Has(k.works, "lights"), cx);
  }
  Door(img, cx, church || bw > 26 ? 5 : 3, church ? 8 : 6, forge ? Sh(kOrangeR, 12) : Sh(kWoodR, 2));
  if (church || Has(k.works, "rosewindow")) {
    Dot(img, cx, top + 4, 2.2, Sh(kBlueR, 11));
    img.Set(cx, top + 4, Sh(kRedR, 11));
  }
  for (int t = 0; t < towers; ++t) {
    const int tx = towers == 1 ? x2 + tw / 2 + 1 : (t == 0 ? x1 - tw / 2 : x2 + tw / 2 + 1);
    const int ttop = std::max(8, top - (int)(wallh * k.towerh) - (int)(3 * g));
    Tower(img, std::clamp(tx, tw / 2, kW - 1 - tw / 2), tw, ttop, k, rank);
  }
  if (towers == 0 && (Has(k.works, "flag") || rank >= 3))
    Flag(img, cx, std::max(0, top - rh - 7), k.flagc);
  if (Has(k.works, "smoke") || rank == 1) Smoke(img, x2 - 4, std::max(4, top - rh / 2 - 3));
  Sign(img, std::min(kW - 6, x2 + 4), top + 6, k);
  if (Has(k.works, "hoist")) {
    Box(img, cx + bw / 4, top - 2, cx + bw / 4 + 4, top - 2, Sh(kWoodR, 3));
    Box(img, cx + bw / 4 + 3, top + 2, cx + bw / 4 + 6, top + 5, Sh(kWoodR, 9));
  }
  if (Has(k.works, "wheel")) {  // the sawmill's water wheel in its race
    Box(img, 0, kGround - 3, 7, kGround, Sh(kWaterR, 7));
    Ellipse(img, 4, kGround - 7, 5, 5, kTransparent, Sh(kWoodR, 5));
    Line(img, 0, kGround - 7, 8, kGround - 7, 0, Sh(kWoodR, 6));
    Line(img, 4, kGround - 12, 4, kGround - 2, 0, Sh(kWoodR, 6));
  }
  if (Has(k.works, "saw")) Box(img, cx + 6, kGround - 2, cx + 16, kGround, Sh(kWoodR, 9));
  if (Has(k.works, "horse") || Has(k.works, "trot")) {
    Box(img, x2 + 2, kGround - 5, x2 + 7, kGround - 3, Sh(kWoodR, 6));
    Box(img, x2 + 6, kGround - 8, x2 + 8, kGround - 5, Sh(kWoodR, 6));
    for (const int lx : {x2 + 2, x2 + 6}) Box(img, lx, kGround - 2, lx, kGround, Sh(kWoodR, 3));
  }
  if (Has(k.works, "torches"))
    for (const int tx : {cx - 5, cx + 5}) Box(img, tx, kGround - 6, tx, kGround - 5, Sh(kOrangeR, 14));
  if (Has(k.works, "justice") || Has(k.works, "orrery")) Dot(img, std::min(kW - 4, x2 + 3), kGround - 3, 2, Sh(kGoldR, 12));
  if (Has(k.works, "doves")) img.Set(cx - 3, top - rh - 2, kWhite), img.Set(cx + 4, top - rh - 4, kWhite);
  if (Has(k.works, "laundry")) {
    Line(img, x2, top + 4, kW - 2, top + 5, 0, Sh(kSlateR, 6));
    Box(img, x2 + 2, top + 5, x2 + 3, top + 8, Sh(kBlueR, 11));
    Box(img, x2 + 5, top + 5, x2 + 6, top + 8, Sh(kRedR, 10));
  }
  if (Has(k.works, "crowd") || Has(k.works, "crier") || Has(k.works, "scholar"))
    for (int p = 0; p < 2 + rank; ++p) Person(img, 3 + p * 11 % 40, Sh(p % 2 ? kBlueR : kRedR, 8));
  if (Has(k.works, "drill"))
    for (int p = 0; p < 3 + rank; ++p) Person(img, 4 + p * 7, Sh(kRedR, 7));
}

void Tents(Image& img, const Look& k, int rank) {
  const int count = 2 + std::min(rank, 2);
  Ellipse(img, kW / 2.0, kGround - 3, kW / 2.0 - 1, 6, Sh(kSandR, 6), Sh(kSandR, 5));  // the trampled ground
  for (int t = 0; t < count; ++t) {
    const int tw = (t == count / 2 ? 24 : 19) - count, cx = (t + 1) * kW / (count + 1), th = tw + rank;
    for (int y = 0; y < th; ++y) {
      const int half = tw / 2 * y / th;
      for (int x = cx - half; x <= cx + half; ++x) img.Set(x, kGround - th + y, Sh(k.tentc, (x > cx ? 8 : 11) + ((x - cx) % 4 == 0 ? -1 : 0)));
    }
    Box(img, cx - 1, kGround - 5, cx + 1, kGround, Sh(kWoodR, 2));
    if (t == count / 2 && !k.sign.empty()) Emblem(img, cx, kGround - th / 2 - 1, k.sign, 0.35);
  }
  if (Has(k.works, "flag")) Flag(img, kW / 2 + 9, 4, k.flagc);
  if (Has(k.works, "fire")) {
    Dot(img, kW - 6, kGround - 2, 2, Sh(kOrangeR, 13));
    img.Set(kW - 6, kGround - 4, Sh(kGoldR, 15));
  }
}

void Yard(Image& img, const Look& k, int rank) {
  if (k.fence || k.things == "graves") {  // a wall round the yard
    for (int x = 1; x < kW - 1; ++x) {
      img.Set(x, 9, Sh(kSlateR, 10));
      img.Set(x, 10, Sh(kSlateR, 7));
    }
    for (int x = 1; x < kW - 1; x += 6) Box(img, x, 6, x + 1, 10, Sh(kSlateR, 9));
  }
  if (k.things == "graves") {
    for (int y = 11; y <= kGround; ++y)
      for (int x = 1; x < kW - 1; ++x) img.Set(x, y, Sh(kForestR, 8 + (int)(Noise(x / 2, y, 9) % 2)));
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 5; ++c) {
        const int gx = 5 + c * 9 + (r % 2) * 3, gy = 18 + r * 8;
        if ((r * 5 + c) % 3 == 0) {
          Box(img, gx, gy - 6, gx, gy, Sh(kSlateR, 11));
          Box(img, gx - 2, gy - 4, gx + 2, gy - 4, Sh(kSlateR, 11));
        } else {
          Box(img, gx - 1, gy - 4, gx + 1, gy, Sh(kSlateR, 10));
          img.Set(gx, gy - 5, Sh(kSlateR, 10));
        }
      }
    if (rank >= 1) {  // a mausoleum, then a chapel of rest
      Wall(img, 34, 14, 45, 27, "stone", 0, 4);
      Roof(img, 34, 45, 14, rank >= 2 ? 9 : 4, rank >= 2 ? "gable" : "flat", kSlateR);
      Box(img, 39, 21, 40, 27, Sh(kSlateR, 2));
    }
    Dot(img, 22, 26, 0.8, Sh(kGoldR, 15));  // a candle
  } else if (k.things == "stalls") {
    const uint8_t awn[4] = {kRedR, kBlueR, kGreenR, kGoldR};
    const int count = 3 + std::min(rank, 1);
    for (int s = 0; s < count; ++s) {
      const int sx = 3 + s * (kW - 6) / count, sw = (kW - 6) / count - 2, sy = 18 + (s % 2) * 8;
      Box(img, sx, sy + 4, sx + sw, sy + 9, Sh(kWoodR, 8));
      for (int x = sx - 1; x <= sx + sw + 1; ++x) Box(img, x, sy, x, sy + 3, ((x - sx) / 2) % 2 ? Sh(kParchR, 15) : Sh(awn[s % 4], 9));
      Dot(img, sx + sw / 2, sy + 5, 1, Sh(s % 2 ? kGoldR : kRedR, 11));
    }
    if (rank >= 1) {  // a well in the square
      Ellipse(img, kW / 2, 34, 4, 2, Sh(kWaterR, 8), Sh(kSlateR, 9));
    }
    Person(img, 12, Sh(kBlueR, 8));
    Person(img, 30, Sh(kPurpleR, 8));
  } else {  // the drill yard: sand, a rail fence, soldiers, a stand for the grander ones
    Box(img, 2, 12, kW - 3, kGround, Sh(kSandR, 8));
    for (int x = 2; x < kW - 2; ++x) img.Set(x, 14, Sh(kWoodR, 7));
    for (int x = 2; x < kW - 2; x += 5) Box(img, x, 12, x, 16, Sh(kWoodR, 4));
    for (int p = 0; p < 4 + rank; ++p) {
      Person(img, 6 + p * 6, Sh(kRedR, 7));
      Box(img, 8 + p * 6, kGround - 10, 8 + p * 6, kGround - 3, Sh(kWoodR, 6));
    }
    if (rank >= 1) {
      Wall(img, 34, 4, 45, 14, "stone", 0, 2);
      Roof(img, 34, 45, 4, 2, "crenel", kSlateR);
    }
    if (Has(k.works, "flag") || rank >= 2) Flag(img, 4, 1, k.flagc);
  }
}

void Harbour(Image& img, const Look& k, int rank) {
  for (int y = 14; y <= kGround; ++y)
    for (int x = 20 + (kGround - y) / 3; x < kW; ++x) img.Set(x, y, Sh(kWaterR, 7 + (int)(Noise(x / 3, y, 5) % 3)));
  Box(img, 16, kGround - 12, 34, kGround - 10, Sh(kWoodR, 8));  // the pier
  for (int x = 18; x < 34; x += 4) Box(img, x, kGround - 9, x, kGround - 6, Sh(kWoodR, 3));
  const int ww = 15 + rank * 2;
  Wall(img, 1, kGround - 14, ww, kGround, k.wall, k.wallc, 3);
  Roof(img, 1, ww, kGround - 14, 7, k.roof, k.roofc);
  Door(img, ww / 2, 4, 6, Sh(kWoodR, 2));
  // A ship at the pier, larger and with more masts for the grander harbour.
  const int sx = 36, sy = kGround - 4 - rank, sl = 9 + rank * 2;
  Poly(img, {{sx - sl + 0.0, sy - 3.0}, {sx + sl + 0.0, sy - 4.0}, {sx + sl - 2.0, sy + 1.0}, {sx - sl + 2.0, sy + 1.0}}, Sh(kWoodR, 5));
  for (int m = 0; m < 1 + std::min(rank, 2); ++m) {
    const int mx = sx - 4 + m * 5;
    Box(img, mx, sy - 16 + m, mx, sy - 3, Sh(kWoodR, 3));
    Box(img, mx - 3, sy - 14 + m, mx + 3, sy - 7 + m, Sh(kParchR, 14));
  }
  if (Has(k.works, "flag")) Flag(img, sx - 4, std::max(0, sy - 23), k.flagc);
}

void RoundTent(Image& img, const Look& k, int rank) {
  const double rx = 18 + rank * 2, ry = 18;
  const double cx = kW / 2.0;
  for (int y = 0; y < (int)ry; ++y) {
    const double half = rx * std::sqrt(1 - (double)y * y / (ry * ry));
    for (int x = (int)(cx - half); x <= (int)(cx + half); ++x)
      img.Set(x, kGround - y, ((int)((x - cx) / std::max(1.0, half) * 4 + 8) % 2) ? Sh(kRedR, 9) : Sh(kParchR, 15));
  }
  Door(img, (int)cx, 5, 7, Sh(kWoodR, 1));
  Flag(img, (int)cx, (int)(kGround - ry - 7), kGoldR);
  Flag(img, (int)(cx - rx * 0.6), (int)(kGround - ry * 0.7 - 6), kBlueR);
  if (Has(k.works, "juggler")) Person(img, kW - 5, Sh(kPurpleR, 9));
}

void Windmill(Image& img, const Look& k, int rank) {
  const int level = std::min(4, std::max(k.level - 2 + rank, 1));
  const bool stone = level >= 3;
  const double cx = kW / 2.0, base = kGround, top = 13 - rank, bw = 7 + level, tw = 4;
  for (int y = (int)top; y <= (int)base; ++y) {
    const double f = (y - top) / (base - top), half = tw + (bw - tw) * f;
    for (int x = (int)(cx - half); x <= (int)(cx + half); ++x)
      img.Set(x, y, stone ? Sh(kSandR, ((y % 3 == 0) ? 7 : 10) + (x > cx + half / 2 ? -2 : 0)) : Sh(kWoodR, (y % 3 == 0 ? 5 : 8) + (x > cx + half / 2 ? -2 : 0)));
  }
  Poly(img, {{cx - tw - 2, top + 1}, {cx + tw + 2, top + 1}, {cx, top - 5}}, Sh(kRedR, 6));
  Box(img, cx - 1, base - 5, cx + 1, base, Sh(kWoodR, 2));
  const double len = 13 + rank;
  for (int s = 0; s < 4; ++s) {
    const double a = 0.5 + s * kPi / 2, ca = std::cos(a), sa = std::sin(a);
    Line(img, cx, top + 1, cx + ca * len, top + 1 + sa * len, 0, Sh(kWoodR, 3));
    for (double f = 0.3; f <= 1.0; f += 0.12)
      Line(img, cx + ca * len * f, top + 1 + sa * len * f, cx + ca * len * f - sa * 3, top + 1 + sa * len * f + ca * 3, 0, Sh(kParchR, 13));
  }
  if (rank >= 2)  // sacks of flour
    for (int s = 0; s < rank; ++s) Ellipse(img, cx + bw + 3 + s * 4, base - 1, 2, 2.5, Sh(kParchR, 14), Sh(kParchR, 10));
  if (rank >= 3) Flag(img, (int)cx, (int)top - 11, kRedR);
}

}  // namespace

bool DrawTownBuilding(Image& img, const MovieLine& line, int rank, int members, std::string* err) {
  if (img.width != kW || img.height != kH) {
    *err = "a town building is 48 x 40";
    return false;
  }
  if (rank < 0 || rank >= members || members > 4) {
    *err = "member " + std::to_string(rank) + " of a line of " + std::to_string(members);
    return false;
  }
  DrawBar(img, kTransparent);
  const Look k = ReadLook(line);
  // How far up its line the member is: 0 the first, 1 the last; a single
  // building stands as a full one.
  const double g = members == 1 ? 0.7 : (double)rank / (members - 1);
  if (k.body == "house" || k.body == "hall" || k.body == "church" || k.body == "castle") HouseBody(img, k, rank, g);
  else if (k.body == "tents") Tents(img, k, rank);
  else if (k.body == "yard") Yard(img, k, rank);
  else if (k.body == "harbour") Harbour(img, k, rank);
  else if (k.body == "round") RoundTent(img, k, rank);
  else if (k.body == "windmill") Windmill(img, k, rank);
  else {
    *err = "no town picture for the body " + k.body;
    return false;
  }
  AvoidSteadyPens(img);
  return true;
}

bool DrawConstructionPicture(Image& img, const MovieLine& line, std::string* err) {
  if (line.width > img.width || line.height != img.height) {
    *err = "the picture must hold the animation's frame";
    return false;
  }
  Image frame(line.width, line.height, kBlack);
  line.draw(frame, line.params, 0.0, 0, line.frames);
  if (!line.params.Error().empty()) {
    *err = line.params.Error();
    return false;
  }
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x) {
      const uint8_t c = frame.Get(std::min(x, frame.width - 1), y);
      img.Set(x, y, c == kTransparent ? (uint8_t)kBlack : c);
    }
  return true;
}

}  // namespace datakit
