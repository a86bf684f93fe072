// The dungeon view's graphics, rendered by a small ray caster from one
// description of the corridor: cells of 1 x 1 x 1, the eye kNear in front of
// the cell ahead, the view 400 x 300 pixels. Each graphic is the picture of
// one element (a wall face, a door, a chest, a trap, an exit) at one place,
// cut to the pixels it covers; the position table says where each one goes.
// Front faces are flat and lie at one depth per distance, so one graphic per
// distance serves every side position, shifted and clipped at the view's
// edges. See docs/dungeon-maps.md, "The view".
#include "dungeonview.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "art.h"

namespace datakit {

namespace {

// ---- the description ------------------------------------------------------------

constexpr int kViewW = 400, kViewH = 300;   // the part of the view bitmap shown
constexpr int kBitmapX = 225, kBitmapY = 193;  // where it lies in the view bitmap
// A pixel (px, py) shows the ray (px + 0.5 - kCx, kCy - py - 0.5, kF) from the eye.
constexpr double kCx = 194, kCy = 143.5, kF = 262;
constexpr double kNear = 0.75;             // depth of the front face of the cell ahead
constexpr double kUp = 0.35, kDown = 0.65;  // ceiling above, floor below the eye
// Top rows of the graphics by distance: walls, doors, traps and exits; chests.
constexpr int kRow[5] = {0, 19, 66, 79, 87};
constexpr int kChestRow[5] = {0, 19, 66, 81, 89};
// The floor graphic from row 144, the ceiling from row 1 to 143.
constexpr int kFloorTop = 144, kFloorH = 156, kCeilTop = 1, kCeilH = 143;

double Depth(int d) { return d - 1 + kNear; }  // the front face of distance d
double FaceWidth(int d) { return kF / Depth(d); }

// Element kinds of the table (the dungeon screen's DungeonViewElement).
enum Element { kFront = 0, kSideLeft, kSideRight, kDoor, kChest, kTrap, kExit, kWallLeft, kWallRight, kOwnDoor };

// ---- picture IDs -------------------------------------------------------------------

constexpr uint32_t kFloorId = 1294, kCeilingId = 1303, kWall0Left = 1312, kWall0Right = 1315;
constexpr uint32_t kFrontId[5] = {0, 1321, 1333, 1345, 1360};
constexpr uint32_t kDoorId[5] = {0, 1378, 1386, 1394, 1402};
constexpr uint32_t kChestId[5] = {0, 1430, 1450, 1472, 1508};
constexpr uint32_t kTrapId[5] = {0, 1541, 1544, 1547, 1552};
constexpr uint32_t kExitId = 1609, kOwnDoorId = 1426;
// Side faces by distance and by the face's x (twice it: -5, -3, -1, 1, 3, 5).
uint32_t SideId(int d, int x2) {
  static const uint32_t ids[5][6] = {{0, 0, 0, 0, 0, 0},
                                     {0, 0, 1318, 1324, 0, 0},
                                     {0, 1327, 1330, 1336, 1339, 0},
                                     {1375, 1351, 1342, 1348, 1354, 1408},
                                     {1366, 1369, 1357, 1363, 1414, 1372}};
  return ids[d][(x2 + 5) / 2];
}
// Side positions in the order the chest and trap IDs count them.
constexpr int kPositions[5] = {0, -1, 1, -2, 2};
int PositionCount(int d) { return d <= 2 ? 3 : 5; }

// ---- geometry ------------------------------------------------------------------------

struct V3 {
  double x, y, z;
};
V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 operator*(V3 a, double k) { return {a.x * k, a.y * k, a.z * k}; }
double Dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V3 Cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double Len(V3 a) { return std::sqrt(Dot(a, a)); }

enum Material {
  kStone, kDoorWall, kLeaf, kChestBody, kChestLid, kChestInside, kPitWall, kPitFloor, kSpike, kFloorCut, kArch,
  kRiser, kTread, kTunnel, kDaylight, kBeam
};

// A parallelogram p + u e1 + v e2 (u, v from 0 to 1) of a material.
struct Quad {
  V3 p, e1, e2;
  Material mat;
  int arg = 0;       // the material's own value (variant, door pair, step)
  double shade = 1;  // light by the face's direction
};

// What a material gives at a hit: a pen, kHole (the ray goes on) or
// kTransparent (the ray stops, nothing drawn).
constexpr int kHole = -1;

// The light of a torch at the eye: full near, fading with depth.
double Light(double z) { return std::clamp(1.15 - 0.19 * z, 0.1, 1.0); }

uint8_t Pen(uint8_t ramp, double value) { return (uint8_t)(ramp + std::clamp((int)std::lround(value), 0, 15)); }

constexpr uint8_t kSlate = 176, kForest = 192, kSand = 208;

uint32_t H(int a, int b, uint32_t seed) { return TextureHash(a, b, seed); }

// Stone blocks a quarter wide and an eighth high, rows offset by half a
// block, mortar at least about a pixel wide. uw, vw in world units.
int StonePen(double uw, double vw, uint32_t seed, double z, double lightk) {
  const double bw = 0.25, bh = 0.125;
  const int row = (int)std::floor(vw / bh);
  const double off = (row & 1) ? bw / 2 : 0;
  const int col = (int)std::floor((uw + off) / bw);
  const double fu = (uw + off) / bw - col, fv = vw / bh - row;
  const double mortar = std::max(0.04, 0.7 * z / kF / bh);
  const double l = Light(z) * lightk;
  if (fv < mortar || fu < mortar * bh / bw) return Pen(kSlate, 3 * l);
  const uint32_t h = H(col, row, seed);
  double base = 8.5 + (double)(h % 5) * 0.6;
  if (fv > 1 - 2 * mortar) base += 2;             // the lit top edge
  else if (fu > 1 - 2 * mortar * bh / bw) base -= 1.5;
  base += (double)(H((int)std::floor(uw * 90), (int)std::floor(vw * 90), seed) % 3) - 1;  // grain
  // Variant marks: a crack through some blocks, moss low on the wall.
  if (h % 7 == seed % 7 && std::fabs(fu - 0.3 - 0.4 * fv) < 0.03 + 0.5 * z / kF / bw) base -= 5;
  if ((seed & 3) == 2 && vw < 0.22 && H(col, 7, seed) % 3 == 0) {
    const double moss = 6 + (double)(H((int)(uw * 60), (int)(vw * 60), seed) % 4);
    return Pen(kForest, moss * l);
  }
  return Pen(kSlate, base * l);
}

// Wooden planks across u (n planks), lit by l.
int PlankPen(double u, double v, int planks, double z, double l, uint32_t seed) {
  const int k = (int)std::floor(u * planks);
  const double fu = u * planks - k;
  const double gap = std::max(0.05, 0.8 * z / kF * planks);
  if (fu < gap) return Pen(kWoodRamp, 2 * l);
  double base = 8 + (double)(H(k, 3, seed) % 3);
  base += std::sin(v * 40 + k * 2.1) * 0.8 + (double)(H(k, (int)(v * 50), seed) % 2);  // the grain
  return Pen(kWoodRamp, base * l);
}

struct Hit {
  double t;
  int pen;
};

// The pen of a material at (u, v) of the quad, at depth z.
int Shade(const Quad& q, double u, double v, double z) {
  const double l = Light(z) * q.shade;
  const double lu = Len(q.e1), lv = Len(q.e2);
  switch (q.mat) {
    case kStone: return StonePen(u * lu, v * lv, 100u + (uint32_t)q.arg, z, q.shade);
    case kBeam: return PlankPen(v, u, 2, z, l, 77);
    case kDoorWall: {
      const double x = u * lu - lu / 2, h = v * lv;
      if (std::fabs(x) < 0.3 && h < 0.78) return kHole;
      if (std::fabs(x) < 0.36 && h < 0.84) {  // the wooden frame
        const bool post = std::fabs(x) >= 0.3;
        return Pen(kWoodRamp, (post ? 6 + (std::fabs(x) < 0.32 ? 3 : 0) : 7) * l);
      }
      return StonePen(u * lu, h, 140, z, q.shade);
    }
    case kLeaf: {
      // Planks with two iron bands and a ring (pair 0); a Z brace (pair 1).
      const double w = q.arg ? 1 - u : u;
      const int p = PlankPen(u, v, 5, z, l, 31 + q.arg);
      if (q.arg == 0) {
        if (std::fabs(v - 0.22) < 0.04 || std::fabs(v - 0.78) < 0.04) {
          const bool stud = std::fmod(u * 10 + 0.5, 1.0) < 0.25;
          return Pen(kGreyRamp, (stud ? 9 : 5) * l);
        }
      } else {
        const double brace = std::fabs((v - 0.15) - (w - 0.1) * 0.7 / 0.8);
        if ((v > 0.15 && v < 0.85 && brace < 0.05) || std::fabs(v - 0.15) < 0.04 || std::fabs(v - 0.85) < 0.04)
          return Pen(kWoodRamp, 11 * l);
      }
      const double rx = (w - 0.82) * lu, ry = (v - 0.47) * lv;  // the ring handle
      const double r = std::sqrt(rx * rx + ry * ry);
      if (r > 0.025 && r < 0.04) return Pen(kGoldRamp, 10 * l);
      return p;
    }
    case kChestBody: {
      // Planks along the box, gold bands near both ends and a lock plate (arg 1) in the middle.
      const double x = u * lu, y = v * lv;
      if (x < 0.05 || x > lu - 0.05 || y < 0.025) return Pen(kGoldRamp, 7 * l);
      if (q.arg == 1 && std::fabs(x - lu / 2) < 0.045 && y > 0.1 && y < 0.22) {
        const bool hole = std::fabs(x - lu / 2) < 0.008 && y > 0.13 && y < 0.18;
        return hole ? Pen(kGreyRamp, 0) : Pen(kGoldRamp, 12 * l);
      }
      if (q.arg == 2 && std::fabs(std::hypot(x - lu / 2, y - 0.15) - 0.04) < 0.01) return Pen(kGreyRamp, 10 * l);
      return PlankPen(v, u, 3, z, l * 1.05, 55);
    }
    case kChestLid: {
      const double x = u * lu;
      if (x < 0.05 || x > lu - 0.05) return Pen(kGoldRamp, 8 * l);
      return PlankPen(v, u, 2, z, l * 1.1, 56);
    }
    case kChestInside: {
      // The bare boards inside, in the lid's and the body's shadow.
      return PlankPen(v, u, 3, z, l * 0.45, 57);
    }
    case kPitWall: {
      const double depth = 1 - v;  // 0 at the rim, 1 at the bottom
      return Pen(kSlate, (StonePen(u * lu, v * lv, 169, z, 1) - kSlate) * l * (1 - 0.8 * depth) * 0.5);
    }
    case kPitFloor: return Pen(kGreyRamp, 1 + (double)(H((int)(u * 30), (int)(v * 30), 5) % 2));
    case kSpike: {
      if (std::fabs(u - 0.5) > 0.5 * (1 - v)) return kHole;
      if (v > 0.86 && q.arg % 3 == 0) return Pen(80, 9 * l);  // blood on a tip
      return Pen(kGreyRamp, (u < 0.5 ? 11 : 7) * l * (0.55 + 0.45 * v));
    }
    case kFloorCut: {
      // The floor round a pit at arg's centre: the pit a hole, its rim of
      // stones drawn, everything else stops the ray undrawn.
      const double x = u * lu - lu / 2, zz = v * lv;
      const double pz = q.e2.z > 0 ? zz : 0;
      const double dx = std::fabs(x), dz = std::fabs(pz - (q.arg / 1000.0));
      if (dx < 0.4 && dz < 0.4) return kHole;
      if (dx < 0.47 && dz < 0.47) {
        const uint32_t h = H((int)std::floor((x + 5) * 14), (int)std::floor(zz * 14), 61);
        return Pen(kSlate, (7 + (double)(h % 4)) * l);
      }
      return kTransparent;
    }
    case kArch: {
      // The exit's arch: the opening a hole, the ring of light voussoirs,
      // the wall round it not drawn (the wall face lies under it).
      const double x = u * lu - lu / 2, h = v * lv;
      const double r = 0.28, spring = 0.52;
      const double e = h <= spring ? std::fabs(x) : std::hypot(x, h - spring);
      if (e < r) return kHole;
      if (e < r + 0.05) {
        const double a = h <= spring ? h * 10 : std::atan2(h - spring, x) * 8;
        const bool joint = std::fabs(a - std::round(a)) < 0.08;
        return Pen(kSand, (joint ? 4 : 9) * l);
      }
      return kTransparent;
    }
    case kRiser: return Pen(kSand, (4.5 + q.arg * 0.9) * (1 - 0.25 * v) * q.shade);
    case kTread: return Pen(kSand, (6 + q.arg * 1.0) * q.shade);
    case kTunnel: return Pen(kSand, (2 + 8 * v * u) * q.shade);
    case kDaylight: return Pen(kParchmentRamp, 13 + (double)(H((int)(u * 20), (int)(v * 20), 3) % 3));
  }
  return kTransparent;
}

// The nearest hit of the ray through pixel (px, py); kHole when there is none.
int Trace(const std::vector<Quad>& quads, int px, int py) {
  const V3 dir = {(px + 0.5 - kCx) / kF, (kCy - py - 0.5) / kF, 1.0};
  Hit best{1e9, kHole};
  for (const Quad& q : quads) {
    const V3 n = Cross(q.e1, q.e2);
    const double den = Dot(n, dir);
    if (std::fabs(den) < 1e-12) continue;
    const double t = Dot(n, q.p) / den;
    if (t < 0.02 || t >= best.t) continue;
    const V3 d = dir * t - q.p;
    const double nn = Dot(n, n);
    const double u = Dot(Cross(d, q.e2), n) / nn, v = Dot(Cross(q.e1, d), n) / nn;
    if (u < 0 || u > 1 || v < 0 || v > 1) continue;
    const int pen = Shade(q, u, v, t);
    if (pen == kHole) continue;
    best = {t, pen};
  }
  return best.pen;
}

// One rendered element: its pixels from (x, y) of the view.
struct Sprite {
  int x = 0, y = 0;
  Image img{1, 1, kTransparent};
  bool empty = true;
};

// Renders the quads and cuts the picture to the pixels they cover, from
// (force_x or the first covered column, force_y); a forced corner that would
// cut the picture is a fault of the description.
Sprite Render(const std::vector<Quad>& quads, int force_x, int force_y, const char* what) {
  // The projected box of the quads (everything when one reaches behind the eye).
  int x1 = kViewW, y1 = kViewH, x2 = -1, y2 = -1;
  bool whole = false;
  for (const Quad& q : quads)
    for (int i = 0; i <= 8; ++i)
      for (int j = 0; j <= 8; ++j) {
        const V3 p = q.p + q.e1 * (i / 8.0) + q.e2 * (j / 8.0);
        if (p.z < 0.05) {
          whole = true;
          continue;
        }
        const double sx = kCx + kF * p.x / p.z, sy = kCy - kF * p.y / p.z;
        x1 = std::min(x1, (int)std::floor(sx) - 2), x2 = std::max(x2, (int)std::ceil(sx) + 2);
        y1 = std::min(y1, (int)std::floor(sy) - 2), y2 = std::max(y2, (int)std::ceil(sy) + 2);
      }
  if (whole) x1 = 0, y1 = 0, x2 = kViewW - 1, y2 = kViewH - 1;
  x1 = std::max(x1, 0), y1 = std::max(y1, 0), x2 = std::min(x2, kViewW - 1), y2 = std::min(y2, kViewH - 1);
  Sprite s;
  if (x1 > x2 || y1 > y2) return s;
  std::vector<int> pens((size_t)(x2 - x1 + 1) * (y2 - y1 + 1), kHole);
  int bx1 = kViewW, by1 = kViewH, bx2 = -1, by2 = -1;
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      const int pen = Trace(quads, x, y);
      pens[(size_t)(y - y1) * (x2 - x1 + 1) + (x - x1)] = pen;
      if (pen == kHole || pen == kTransparent) continue;
      bx1 = std::min(bx1, x), bx2 = std::max(bx2, x), by1 = std::min(by1, y), by2 = std::max(by2, y);
    }
  if (bx2 < 0) return s;
  if ((force_x >= 0 && force_x > bx1) || force_y > by1)
    throw std::runtime_error(std::string("dungeon view: ") + what + " reaches above or left of its place (" +
                             std::to_string(bx1) + ", " + std::to_string(by1) + ")");
  s.x = force_x >= 0 ? force_x : bx1;
  s.y = force_y;
  s.img = Image(bx2 - s.x + 1, by2 - s.y + 1, kTransparent);
  for (int y = std::max(s.y, y1); y <= by2; ++y)
    for (int x = std::max(s.x, x1); x <= bx2; ++x) {
      const int pen = pens[(size_t)(y - y1) * (x2 - x1 + 1) + (x - x1)];
      if (pen >= 0 && pen != kTransparent) s.img.Set(x - s.x, y - s.y, (uint8_t)pen);
    }
  s.empty = false;
  return s;
}

// ---- the elements -------------------------------------------------------------------

double Floor() { return -kDown; }

// A wall's front face at distance d (centre position), reaching a pixel
// further right so that shifted copies leave no gap.
std::vector<Quad> FrontFace(int d, int variant) {
  const double z = Depth(d), extra = 1.0 / FaceWidth(d);
  return {{{-0.5, Floor(), z}, {1 + extra, 0, 0}, {0, 1, 0}, kStone, variant}};
}

// The side face in the plane x = x2 / 2 from the front of distance d to its back.
std::vector<Quad> SideFace(int d, int x2, int variant) {
  const double z = d == 0 ? kNear - 1 : Depth(d);
  return {{{x2 / 2.0, Floor(), z}, {0, 0, 1}, {0, 1, 0}, kStone, 10 + variant, 0.8}};
}

std::vector<Quad> Door(int d, int pair, bool open) {
  const double z = Depth(d);
  std::vector<Quad> q = {{{-0.5, Floor(), z}, {1 + 1.0 / FaceWidth(d), 0, 0}, {0, 1, 0}, kDoorWall}};
  const double w = 0.6, hh = 0.78, zl = z + 0.03;
  if (!open) {
    q.push_back({{-0.3, Floor(), zl}, {w, 0, 0}, {0, hh, 0}, kLeaf, pair});
  } else {
    // Swung into the doorway round its hinge: left (pair 0) or right (pair 1).
    const double a = 78 * 3.14159265358979 / 180;
    const double hx = pair ? 0.3 : -0.3, sx = pair ? -1 : 1;
    q.push_back({{hx, Floor(), zl}, {sx * w * std::cos(a), 0, w * std::sin(a)}, {0, hh, 0}, kLeaf, pair, 0.75});
  }
  return q;
}

// The own cell's door frame and its open leaf along the left (look 0) or right wall.
std::vector<Quad> OwnDoor(int look) {
  const double z = kNear - 0.04, top = Floor() + 0.84;
  std::vector<Quad> q = {
      {{-0.5, top, z}, {1, 0, 0}, {0, kUp - top, 0}, kBeam},
      {{-0.5, Floor(), z}, {0.12, 0, 0}, {0, top - Floor(), 0}, kBeam},
      {{0.38, Floor(), z}, {0.12, 0, 0}, {0, top - Floor(), 0}, kBeam},
  };
  const double x = look ? 0.44 : -0.44;
  q.push_back({{x, Floor(), 0.08}, {0, 0, 0.6}, {0, 0.78, 0}, kLeaf, look, 0.7});
  return q;
}

// The six faces of a box from corner o along a, b, c.
void Box(std::vector<Quad>& q, V3 o, V3 a, V3 b, V3 c, Material m, int arg_front, double lit) {
  q.push_back({o, a, c, m, arg_front, lit});            // the face of a and c at o
  q.push_back({o + b, a, c, m, 0, lit * 0.7});
  q.push_back({o, b, c, m, 0, lit * 0.85});
  q.push_back({o + a, b, c, m, 0, lit * 0.85});
  q.push_back({o + c, a, b, m, 0, lit * 1.1});
  q.push_back({o, a, b, m, 0, lit * 0.5});
}

// A chest in the middle of the cell at side s, distance d; look 0 shows its
// long side with the lock (facings 0, 2), look 1 its end (facings 1, 3).
std::vector<Quad> Chest(int d, int s, int look, bool open) {
  const double zc = Depth(d) + 0.5, wx = look ? 0.36 : 0.56, wz = look ? 0.56 : 0.36;
  const double body = 0.22, lid = 0.08;
  std::vector<Quad> q;
  const V3 o = {s - wx / 2, Floor(), zc - wz / 2};
  // The body: front (towards the eye) carries the lock or the handle.
  q.push_back({o, {wx, 0, 0}, {0, body, 0}, kChestBody, look ? 2 : 1, 1.0});
  q.push_back({o, {0, 0, wz}, {0, body, 0}, kChestBody, look ? 1 : 2, 0.8});
  q.push_back({o + V3{wx, 0, 0}, {0, 0, wz}, {0, body, 0}, kChestBody, look ? 1 : 2, 0.8});
  // Open, it shows its empty inside: the bottom boards and the far wall's
  // inner face (the gold is taken when it opens).
  if (open) {
    q.push_back({o + V3{0.02, 0.03, 0.02}, {wx - 0.04, 0, 0}, {0, 0, wz - 0.04}, kChestInside, 0, 0.6});
    q.push_back({o + V3{0.02, 0, wz - 0.02}, {wx - 0.04, 0, 0}, {0, body, 0}, kChestInside, 0, 0.8});
  }
  // The lid: hinged along the far long side; open, turned up past the upright.
  V3 hinge, along, front;
  if (!look) hinge = {o.x, Floor() + body, o.z + wz}, along = {wx, 0, 0}, front = {0, 0, -wz};
  else hinge = {o.x + wx, Floor() + body, o.z + wz}, along = {0, 0, -wz}, front = {-wx, 0, 0};
  V3 up = {0, lid, 0};
  if (open) {
    const double a = 105 * 3.14159265358979 / 180, fl = Len(front);
    const V3 fu = front * (1 / fl);
    const V3 f2 = fu * (fl * std::cos(a)) + V3{0, fl * std::sin(a), 0};
    up = fu * (-lid * std::sin(a)) + V3{0, lid * std::cos(a), 0};
    front = f2;
  }
  Box(q, hinge, along, front, up, kChestLid, 0, 1.0);
  return q;
}

// An open pit with spikes in the cell at side s, distance d.
std::vector<Quad> Pit(int d, int s) {
  const double z0 = Depth(d), zc = z0 + 0.5, deep = 0.6, fl = Floor();
  std::vector<Quad> q;
  q.push_back({{s - 1.6, fl, 0.02}, {3.2, 0, 0}, {0, 0, zc + 2}, kFloorCut, (int)std::lround((zc - 0.02) * 1000)});
  q.push_back({{s - 0.4, fl - deep, zc + 0.4}, {0.8, 0, 0}, {0, deep, 0}, kPitWall, 0, 0.9});
  q.push_back({{s - 0.4, fl - deep, zc - 0.4}, {0, 0, 0.8}, {0, deep, 0}, kPitWall, 0, 0.7});
  q.push_back({{s + 0.4, fl - deep, zc - 0.4}, {0, 0, 0.8}, {0, deep, 0}, kPitWall, 0, 0.7});
  q.push_back({{s - 0.4, fl - deep, zc - 0.4}, {0.8, 0, 0}, {0, 0, 0.8}, kPitFloor});
  int k = 0;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 4; ++c, ++k) {
      const double sx = s - 0.3 + c * 0.2 + (r & 1) * 0.07, sz = zc - 0.28 + r * 0.26;
      q.push_back({{sx - 0.06, fl - deep, sz}, {0.12, 0, 0}, {0, deep + 0.1 + (k % 2) * 0.04, 0}, kSpike, k});
    }
  return q;
}

// An exit at distance d: an arch in the front face and a stair going up
// into daylight.
std::vector<Quad> Exit(int d) {
  const double z = Depth(d) - 0.002, fl = Floor(), w = 0.56;
  std::vector<Quad> q = {{{-0.5, fl, z}, {1, 0, 0}, {0, 2, 0}, kArch}};
  for (int k = 0; k < 8; ++k) {
    const double zs = z + 0.06 + k * 0.13, ys = fl + k * 0.1;
    q.push_back({{-w / 2, ys, zs}, {w, 0, 0}, {0, 0.1, 0}, kRiser, k, 1});
    q.push_back({{-w / 2, ys + 0.1, zs}, {w, 0, 0}, {0, 0, 0.13}, kTread, k, 1});
  }
  q.push_back({{-w / 2, fl, z}, {0, 0, 1.2}, {0, 1.4, 0}, kTunnel, 0, 0.8});
  q.push_back({{w / 2, fl, z}, {0, 0, 1.2}, {0, 1.4, 0}, kTunnel, 0, 0.8});
  q.push_back({{-w / 2, fl + 0.75, z}, {w, 0, 0}, {0, 0, 1.2}, kTunnel, 0, 0.6});
  q.push_back({{-w / 2, fl, z + 1.15}, {w, 0, 0}, {0, 1.4, 0}, kDaylight});
  return q;
}

// ---- floor and ceiling -----------------------------------------------------------------

// The floor (or ceiling) seen from view cell (vx, vy): flagstones of half a
// cell (the ceiling: blocks of a third and a beam at every cell's edge),
// their pattern repeating every three cells, so the nine variants follow
// the view position modulo 3.
Image FloorPicture(int vx, int vy, bool ceiling) {
  const int top = ceiling ? kCeilTop : kFloorTop, h = ceiling ? kCeilH : kFloorH;
  Image img(kViewW, h, kBlack);
  for (int y = 0; y < h; ++y) {
    const double dy = ceiling ? kCy - (top + y + 0.5) : top + y + 0.5 - kCy;
    if (dy <= 0.6) continue;  // the horizon, beyond any light
    const double z = (ceiling ? kUp : kDown) * kF / dy;
    const double l = Light(z);
    for (int x = 0; x < kViewW; ++x) {
      const double X = (x + 0.5 - kCx) * z / kF;
      const double wc = vx + 0.5 + X, wr = vy + kNear - z;  // world column, row
      const double pix = z / kF;                           // one pixel in world units
      double base;
      uint8_t ramp = kGreyRamp;
      if (!ceiling) {
        const int cx = (int)std::floor(wc * 2), cr = (int)std::floor(wr * 2);
        const double fx = wc * 2 - cx, fr = wr * 2 - cr;
        const double joint = std::max(0.05, 1.6 * pix);
        const uint32_t hh = H(((cx % 6) + 6) % 6, ((cr % 6) + 6) % 6, 808);
        if (fx < joint || fr < joint * 1.3) base = 2.5;
        else base = 7 + (double)(hh % 4) + (double)(H((int)std::floor(wc * 70), (int)std::floor(wr * 70), 4) % 2);
      } else {
        const double fr = wr - std::floor(wr);
        if (fr < 0.07 || fr > 0.97) {  // a beam across the corridor
          ramp = kWoodRamp;
          base = fr < 0.02 || fr > 0.995 ? 3 : 7;
        } else {
          const int cx = (int)std::floor(wc * 3), cr = (int)std::floor(wr * 3);
          const double fx = wc * 3 - cx, fq = wr * 3 - cr;
          const uint32_t hh = H(((cx % 9) + 9) % 9, ((cr % 9) + 9) % 9, 909);
          base = (fx < std::max(0.05, 2 * pix) || fq < std::max(0.05, 2 * pix)) ? 1.5 : 5 + (double)(hh % 3);
        }
      }
      img.Set(x, y, Pen(ramp, base * l));
    }
  }
  return img;
}

// ---- the table -------------------------------------------------------------------------

struct Row {
  int element, distance, side, look;
  uint32_t id;
  int x, y, sx, sy, w, h;
};

void Add(std::vector<MapPicture>& pics, uint32_t id, const Image& img, bool masked) {
  MapPicture p;
  p.id = id;
  p.kind = masked ? 3 : 2;
  p.img = img;
  pics.push_back(std::move(p));
}

// A row for a sprite drawn at its own place.
Row Whole(int element, int d, int side, int look, uint32_t id, const Sprite& s) {
  return {element, d, side, look, id, s.x, s.y, 0, 0, s.img.width, s.img.height};
}

// Rows for a front-plane sprite of the centre shifted to every side position
// of the distance and clipped to the view.
void Shifted(std::vector<Row>& rows, int element, int d, int look, uint32_t id, const Sprite& s) {
  for (int i = 0; i < PositionCount(d); ++i) {
    const int side = kPositions[i];
    const int x = s.x + (int)std::lround(side * FaceWidth(d));
    const int cut = std::max(0, -x), right = std::min(kViewW, x + s.img.width);
    if (right - (x + cut) <= 0) continue;
    rows.push_back({element, d, side, look, id, x + cut, s.y, cut, 0, right - (x + cut), s.img.height});
  }
}

}  // namespace

std::vector<MapPicture> DungeonViewPictures(std::string* table) {
  std::vector<MapPicture> pics;
  std::vector<Row> rows;
  for (int i = 0; i < 9; ++i) {
    Add(pics, kFloorId + (uint32_t)i, FloorPicture(2 - i / 3, 2 - i % 3, false), false);
    Add(pics, kCeilingId + (uint32_t)i, FloorPicture(2 - i / 3, 2 - i % 3, true), false);
  }
  // Distance 0: the walls beside the player, and the own cell's door.
  for (int v = 0; v < 3; ++v) {
    const Sprite l = Render(SideFace(0, -1, v), 0, 0, "the left wall"), r = Render(SideFace(0, 1, v), 363, 0, "the right wall");
    Add(pics, kWall0Left + (uint32_t)v, l.img, true);
    Add(pics, kWall0Right + (uint32_t)v, r.img, true);
    if (v == 0) rows.push_back(Whole(kWallLeft, 0, -1, 0, kWall0Left, l)), rows.push_back(Whole(kWallRight, 0, 1, 0, kWall0Right, r));
  }
  for (int look = 0; look < 2; ++look) {
    const uint32_t id = look ? kOwnDoorId : kOwnDoorId + 1;
    const Sprite s = Render(OwnDoor(look), 0, 0, "the own door");
    Add(pics, id, s.img, true);
    rows.push_back(Whole(kOwnDoor, 0, 0, look, id, s));
  }
  for (int d = 1; d <= 4; ++d) {
    const int front_x = d == 4 ? 159 : d == 3 ? 146 : -1;
    for (int v = 0; v < 3; ++v) {
      const Sprite s = Render(FrontFace(d, v), front_x, kRow[d], "a front face");
      Add(pics, kFrontId[d] + (uint32_t)v, s.img, true);
      if (v == 0) Shifted(rows, kFront, d, 0, kFrontId[d], s);
    }
    for (int x2 = -5; x2 <= 5; x2 += 2) {
      const uint32_t id = SideId(d, x2);
      if (!id) continue;
      const int force = d == 4 && x2 == -5 ? 0 : d == 4 && x2 == 5 ? 298 : -1;
      for (int v = 0; v < 3; ++v) {
        const Sprite s = Render(SideFace(d, x2, v), force, kRow[d], "a side face");
        if (s.empty) throw std::runtime_error("dungeon view: a side face with a picture ID is out of sight");
        Add(pics, id + (uint32_t)v, s.img, true);
        if (v == 0) rows.push_back(x2 < 0 ? Whole(kSideLeft, d, (x2 + 1) / 2, 0, id, s) : Whole(kSideRight, d, (x2 - 1) / 2, 0, id, s));
      }
    }
    for (int pair = 0; pair < 2; ++pair)
      for (int open = 0; open < 2; ++open) {
        const uint32_t id = kDoorId[d] + (uint32_t)(pair * 4 + open);
        const Sprite s = Render(Door(d, pair, open), -1, kRow[d], "a door");
        Add(pics, id, s.img, true);
        Shifted(rows, kDoor, d, pair * 2 + open, id, s);
      }
    for (int i = 0; i < PositionCount(d); ++i)
      for (int look = 0; look < 2; ++look)
        for (int open = 0; open < 2; ++open) {
          const int side = kPositions[i];
          const uint32_t id = kChestId[d] + (uint32_t)(i * 4 + look * 2 + open);
          const Sprite s = Render(Chest(d, side, look, open), d == 4 && side == 0 ? 159 : -1, kChestRow[d], "a chest");
          if (s.empty) continue;
          Add(pics, id, s.img, true);
          rows.push_back(Whole(kChest, d, side, look * 2 + open, id, s));
        }
    for (int i = 0; i < PositionCount(d); ++i) {
      const int side = kPositions[i];
      const Sprite s = Render(Pit(d, side), d == 1 && side == 0 ? 37 : -1, kRow[d], "a trap");
      if (s.empty) continue;
      Add(pics, kTrapId[d] + (uint32_t)i, s.img, true);
      rows.push_back(Whole(kTrap, d, side, 0, kTrapId[d] + (uint32_t)i, s));
    }
    const Sprite e = Render(Exit(d), d == 1 ? 76 : d == 2 ? 131 : -1, kRow[d], "an exit");
    Add(pics, kExitId + (uint32_t)(d - 1), e.img, true);
    rows.push_back(Whole(kExit, d, 0, 0, kExitId + (uint32_t)(d - 1), e));
  }
  std::sort(pics.begin(), pics.end(), [](const MapPicture& a, const MapPicture& b) { return a.id < b.id; });
  if (table) {
    std::string t =
        "// Written by the data kit (tools/datakit/dungeonview.cpp) from the same\n"
        "// description as the view's graphics; do not edit. Rows: element,\n"
        "// distance, side, look, graphic ID, x, y in the view bitmap, and the\n"
        "// source rectangle of the graphic (x, y, width, height).\n";
    char line[160];
    for (const Row& r : rows) {
      std::snprintf(line, sizeof line, "{%d, %d, %d, %d, %u, %d, %d, %d, %d, %d, %d},\n", r.element, r.distance,
                    r.side, r.look, r.id, r.x + kBitmapX, r.y + kBitmapY, r.sx, r.sy, r.w, r.h);
      t += line;
    }
    *table = t;
  }
  return pics;
}

}  // namespace datakit
