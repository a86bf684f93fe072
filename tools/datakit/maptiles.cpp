// Terrain tiles, the hex mask and the map overlays, drawn procedurally.
//
// Every tile is 64 x 56. Columns are 48 pixels apart and odd columns sit 28
// pixels lower, so the tile origins form the lattice spanned by (48, 28) and
// (0, 56). Ground textures are sums of plane waves periodic on that lattice
// (and a grain hashed on it), so hexes of one terrain join without a seam and
// the corners outside the hex continue the neighbours' texture. Trees,
// houses and peaks stay inside the hex.
#include "maptiles.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace datakit {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kW = 64, kH = 56;

// Ramps of the shared palette (16 steps dark to light).
enum Ramp : uint8_t {
  kGreyR = 16, kParchR = 32, kWoodR = 48, kGoldR = 64, kRedR = 80, kGreenR = 96, kBlueR = 112,
  kTealR = 128, kPurpleR = 144, kOrangeR = 160, kSlateR = 176, kForestR = 192, kSandR = 208, kWaterR = 224,
};
uint8_t P(uint8_t ramp, int step) { return (uint8_t)(ramp + std::clamp(step, 0, 15)); }

// ---- The tile table -------------------------------------------------------

const uint16_t kRows[58][9] = {
    {0, 0, 0, 0, 0, 0, 0, 0, 0},
    {841, 841, 841, 859, 1012, 1012, 1012, 1013, 841},
    {842, 842, 1044, 856, 1016, 1016, 1045, 1017, 842},
    {843, 843, 843, 862, 1020, 1020, 1020, 1031, 843},
    {844, 844, 844, 845, 1021, 1021, 1021, 1022, 844},
    {5, 5, 5, 473, 939, 939, 939, 940, 5},
    {6, 6, 6, 6, 941, 941, 941, 941, 6},
    {7, 7, 7, 474, 942, 942, 942, 943, 7},
    {8, 8, 8, 8, 946, 946, 946, 946, 8},
    {9, 9, 9, 9, 947, 947, 947, 947, 9},
    {10, 10, 10, 476, 949, 949, 949, 950, 10},
    {11, 11, 11, 477, 951, 951, 951, 952, 11},
    {12, 12, 12, 478, 957, 957, 957, 958, 12},
    {13, 13, 1054, 479, 959, 959, 1055, 960, 13},
    {14, 14, 14, 480, 987, 987, 987, 988, 14},
    {15, 15, 15, 481, 989, 989, 989, 990, 15},
    {16, 16, 16, 482, 991, 991, 991, 992, 16},
    {17, 17, 1076, 483, 993, 993, 1077, 994, 17},
    {18, 18, 18, 484, 995, 995, 995, 996, 18},
    {19, 19, 1078, 485, 997, 997, 1079, 998, 19},
    {20, 20, 1080, 486, 999, 999, 1081, 1000, 20},
    {21, 21, 21, 487, 1001, 1001, 1001, 1002, 21},
    {22, 22, 22, 488, 1003, 1003, 1003, 1004, 22},
    {23, 23, 23, 23, 1005, 1005, 1005, 1005, 23},
    {24, 24, 24, 24, 1006, 1006, 1006, 1006, 24},
    {25, 25, 25, 25, 1007, 1007, 1007, 1007, 25},
    {26, 26, 26, 26, 1008, 1008, 1008, 1008, 26},
    {27, 27, 27, 492, 953, 953, 953, 954, 27},
    {28, 28, 28, 28, 1009, 1009, 1009, 1009, 28},
    {29, 29, 29, 29, 1010, 1010, 1010, 1010, 29},
    {30, 30, 30, 30, 1011, 1011, 1011, 1011, 30},
    {854, 854, 1042, 855, 944, 944, 1043, 945, 7},
    {860, 860, 1048, 861, 1014, 1014, 1049, 1015, 841},
    {857, 857, 857, 858, 1018, 1018, 1018, 1019, 842},
    {863, 863, 863, 864, 1032, 1032, 1032, 1033, 843},
    {846, 846, 1050, 847, 1023, 1023, 1051, 1024, 844},
    {848, 848, 1052, 849, 1025, 1025, 1053, 1026, 844},
    {850, 850, 850, 851, 1027, 1027, 1027, 1028, 844},
    {852, 852, 852, 853, 1029, 1029, 1029, 1030, 844},
    {891, 891, 891, 892, 961, 961, 961, 962, 12},
    {893, 893, 1056, 894, 963, 963, 1057, 964, 12},
    {895, 895, 895, 896, 965, 965, 965, 966, 12},
    {897, 897, 1058, 898, 967, 967, 1059, 968, 12},
    {899, 899, 1060, 900, 969, 969, 1061, 970, 12},
    {901, 901, 1062, 902, 971, 971, 1063, 972, 12},
    {903, 903, 1064, 904, 973, 973, 1065, 974, 12},
    {905, 905, 1066, 906, 975, 975, 1067, 976, 12},
    {907, 907, 1068, 908, 977, 977, 1069, 978, 13},
    {909, 909, 1070, 910, 979, 979, 1071, 980, 13},
    {911, 911, 1072, 912, 981, 981, 1073, 982, 13},
    {913, 913, 913, 914, 983, 983, 983, 984, 12},
    {915, 915, 1074, 916, 985, 985, 1075, 986, 12},
    {917, 917, 1046, 918, 955, 955, 1047, 956, 10},
    {1037, 1037, 1037, 1038, 1039, 1039, 1039, 1040, 12},
    {1181, 1181, 1181, 473, 1218, 1218, 1218, 940, 5},
    {1182, 1182, 1182, 473, 1219, 1219, 1219, 940, 5},
    {1183, 1183, 1183, 1257, 1220, 1220, 1220, 1261, 10},
    {1184, 1184, 1184, 1258, 1221, 1221, 1221, 1262, 10},
};

uint16_t BaseOfCoast(int g) {
  static const uint16_t kTownBase[4] = {7, 841, 842, 843};
  if (g >= 87) return kTownBase[g - 87];
  if (g == 59 || g == 65 || g == 66 || g == 73 || g == 81) return 25;
  if (g == 60 || g == 61 || g == 70 || g == 74 || g == 84) return 26;
  return 24;
}

// ---- Lattice-periodic texture -----------------------------------------------

uint32_t Hash(int x, int y, uint32_t seed) {
  uint32_t h = (uint32_t)x * 374761393u + (uint32_t)y * 668265263u + seed * 2246822519u + 0x9E3779B9u;
  h = (h ^ (h >> 13)) * 1274126177u;
  return h ^ (h >> 16);
}

// Plane waves exp(2 pi i ((k - l / 2) x / 48 + l y / 56)) repeat on the tile
// lattice for any integers k, l. Roughly -1..1.
double Wave(int x, int y, uint32_t seed, double scale = 1.0) {
  static const int kK[][2] = {{1, 0}, {0, 2}, {1, 2}, {2, -1}, {-1, 3}, {3, 2}, {2, -4}, {4, 1}, {-3, 5}, {5, -2}};
  double s = 0, norm = 0;
  for (int i = 0; i < 10; ++i) {
    double k = kK[i][0] * scale, l = kK[i][1] * scale;
    double ph = (Hash(i, 7, seed) % 6283) / 1000.0, a = 1.0 / (1.0 + i * 0.35);
    s += a * std::sin(2 * kPi * ((k - l / 2.0) * (x + 0.5) / 48.0 + l * (y + 0.5) / 56.0) + ph);
    norm += a;
  }
  return 1.8 * s / norm;
}

// A per-pixel value 0..15 that repeats on the lattice.
int Grain(int x, int y, uint32_t seed) {
  int u = ((x % 48) + 48) % 48, fy = x >= 48 ? 28 : (x < 0 ? -28 : 0);
  int v = (((y - fy) % 56) + 56) % 56;
  return (int)(Hash(u, v, seed) & 15);
}

// Ground of one ramp: centre step, amplitude of the wave, dithered.
uint8_t Ground(int x, int y, uint8_t ramp, int centre, double amp, uint32_t seed) {
  double v = centre + amp * Wave(x, y, seed) + (Grain(x, y, seed + 1) - 7.5) / 9.0;
  return P(ramp, (int)std::floor(v + 0.5));
}

// ---- Hex shape ----------------------------------------------------------------

// Left edge of row y: the slanted sides run 16 pixels in over 28 rows.
int HexLeft(int y) {
  int d = std::abs(2 * y + 1 - kH);
  return (4 * d + 7) / 14;
}
bool InHex(int x, int y) { return y >= 0 && y < kH && x >= HexLeft(y) && x < kW - HexLeft(y); }
// Inside with a margin of m pixels on every side.
bool InHexBy(int x, int y, int m) {
  for (int dy = -m; dy <= m; dy += std::max(1, m))
    for (int dx = -m; dx <= m; dx += std::max(1, m))
      if (!InHex(x + dx, y + dy)) return false;
  return true;
}

// Side s (0 N, 1 NE, 2 SE, 3 S, 4 SW, 5 NW): distance of (x, y) inside the side line.
double SideDist(double x, double y, int s) {
  static const double c[6][4] = {{16, 0, 48, 0}, {48, 0, 64, 28}, {64, 28, 48, 56},
                                 {48, 56, 16, 56}, {16, 56, 0, 28}, {0, 28, 16, 0}};
  double ax = c[s][0], ay = c[s][1], bx = c[s][2], by = c[s][3];
  double dx = bx - ax, dy = by - ay, len = std::sqrt(dx * dx + dy * dy);
  return ((y - ay) * dx - (x - ax) * dy) / len;
}
// Midpoint of side s.
void SideMid(int s, double* x, double* y) {
  static const double m[6][2] = {{32, 0}, {56, 14}, {56, 42}, {32, 56}, {8, 42}, {8, 14}};
  *x = m[s][0];
  *y = m[s][1];
}

// ---- Drawing helpers ----------------------------------------------------------

void Put(Image& img, int x, int y, uint8_t c) { img.Set(x, y, c); }

void FillEllipse(Image& img, double cx, double cy, double rx, double ry, uint8_t ramp, int step, bool shade) {
  for (int y = (int)(cy - ry) - 1; y <= (int)(cy + ry) + 1; ++y)
    for (int x = (int)(cx - rx) - 1; x <= (int)(cx + rx) + 1; ++x) {
      double u = (x + 0.5 - cx) / rx, v = (y + 0.5 - cy) / ry;
      if (u * u + v * v > 1) continue;
      int s = step;
      if (shade) s += (int)std::lround(-(u + v) * 2.0);
      Put(img, x, y, P(ramp, s));
    }
}

// Triangle with apex (ax, ay), base from (ax - hw, by) to (ax + hw, by), lit on the left.
void Peak(Image& img, double ax, double ay, double hw, double by, uint8_t ramp, int step, int snow_rows,
          uint8_t snow_ramp) {
  for (int y = (int)ay; y <= (int)by; ++y) {
    double t = (y - ay) / std::max(1.0, by - ay), half = hw * t;
    for (int x = (int)std::floor(ax - half); x <= (int)std::ceil(ax + half); ++x) {
      bool lit = x < ax;
      bool snow = y - ay < snow_rows + ((Hash(x, 3, 9) & 3) == 0 ? 1 : 0);
      uint8_t c = snow ? P(snow_ramp, lit ? 15 : 12) : P(ramp, step + (lit ? 2 : -2));
      Put(img, x, y, c);
    }
  }
}

void Rect(Image& img, int x1, int y1, int x2, int y2, uint8_t c) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) Put(img, x, y, c);
}

// Quadratic curve from side a to side b through the centre, width w.
template <typename F>
void Curve(int a, int b, double w, F plot) {
  double ax, ay, bx, by;
  SideMid(a, &ax, &ay);
  SideMid(b, &bx, &by);
  // Start and end a little outside so the joins meet the neighbours.
  double cx = 32, cy = 28;
  ax += (ax - cx) * 0.15, ay += (ay - cy) * 0.15, bx += (bx - cx) * 0.15, by += (by - cy) * 0.15;
  for (int i = 0; i <= 200; ++i) {
    double t = i / 200.0, u = 1 - t;
    double x = u * u * ax + 2 * u * t * cx + t * t * bx, y = u * u * ay + 2 * u * t * cy + t * t * by;
    for (int dy = -(int)w; dy <= (int)w; ++dy)
      for (int dx = -(int)w; dx <= (int)w; ++dx) {
        double d = std::sqrt((double)dx * dx + dy * dy);
        if (d <= w) plot((int)std::floor(x + dx), (int)std::floor(y + dy), d / w);
      }
  }
}

// ---- Terrain ---------------------------------------------------------------

enum Season { kSpring = 0, kSummer = 1, kAutumn = 2, kWinter = 3 };

struct Tile {
  Image img{kW, kH, 0};
  Season season = kSpring;
};

// Grass ground by season.
void GrassGround(Tile& t, uint32_t seed, bool meadow) {
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      uint8_t c;
      switch (t.season) {
        case kWinter: {
          double v = Wave(x, y, seed);
          c = v < -0.9 ? P(kSlateR, 11) : Ground(x, y, kGreyR, 14, 0.8, seed);
          break;
        }
        case kAutumn: {
          double v = Wave(x, y, seed + 5);
          c = v > 0.3 ? Ground(x, y, kSandR, 6, 1.2, seed) : Ground(x, y, kGreenR, 5, 1.0, seed);
          break;
        }
        default:
          c = Ground(x, y, kGreenR, t.season == kSummer ? 9 : 8, 1.3, seed);
      }
      t.img.Set(x, y, c);
    }
  if (meadow && t.season != kWinter)
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x)
        if (Grain(x, y, seed + 11) == 0 && (Hash(x, y, 3) & 1))
          t.img.Set(x, y, t.season == kAutumn ? P(kOrangeR, 9) : ((Hash(x, y, 5) & 1) ? P(kGoldR, 14) : P(kPurpleR, 13)));
}

void SandGround(Tile& t, uint32_t seed) {
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      // Dune ridges: a wave stretched across the rows.
      double r = std::sin(2 * kPi * ((1 - 3 / 2.0) * x / 48.0 + 3 * y / 56.0) + Wave(x, y, seed) * 0.8);
      t.img.Set(x, y, P(kSandR, 10 + (int)std::lround(r * 2.0) + (Grain(x, y, seed) > 12 ? 1 : 0)));
    }
}

uint8_t WaterAt(int x, int y, int depth, uint32_t seed) {
  double v = Wave(x, y, 501) * 1.2;
  int g = Grain(x, y, seed + 2);
  int step = (depth == 0 ? 5 : depth == 1 ? 9 : 10) + (int)std::lround(v);
  if (g == 15 && Wave(x, y, 77, 2) > 0.8) return P(kWaterR, step + 4);  // light crest
  return P(kWaterR, step);
}

void WaterGround(Tile& t, int depth) {
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) t.img.Set(x, y, WaterAt(x, y, depth, 23));
}

// Positions inside the hex for n features of radius r, deterministic.
std::vector<std::pair<int, int>> Spots(int n, int r, uint32_t seed, int tries = 400) {
  std::vector<std::pair<int, int>> out;
  for (int i = 0; i < tries && (int)out.size() < n; ++i) {
    int x = 4 + (int)(Hash(i, 1, seed) % 56), y = 4 + (int)(Hash(i, 2, seed) % 48);
    if (!InHexBy(x, y, r + 2)) continue;
    bool clash = false;
    for (auto [px, py] : out)
      if ((px - x) * (px - x) + (py - y) * (py - y) < (r * 2 - 1) * (r * 2 - 1)) clash = true;
    if (!clash) out.push_back({x, y});
  }
  std::sort(out.begin(), out.end(), [](auto a, auto b) { return a.second < b.second; });
  return out;
}

void Deciduous(Tile& t, int x, int y) {
  Rect(t.img, x, y + 2, x + 1, y + 6, P(kWoodR, 4));
  if (t.season == kWinter) {
    for (int i = -3; i <= 3; ++i) Put(t.img, x + i, y - 1 - std::abs(i) / 2, P(kWoodR, 5));
    FillEllipse(t.img, x + 0.5, y - 2, 4, 2, kGreyR, 15, false);
    return;
  }
  uint8_t ramp = kForestR;
  int step = 8;
  if (t.season == kAutumn) {
    uint32_t h = Hash(x, y, 31) % 3;
    ramp = h == 0 ? kOrangeR : h == 1 ? kRedR : kGoldR;
    step = h == 1 ? 9 : 10;
  }
  FillEllipse(t.img, x + 0.5, y - 1, 5, 4.5, ramp, step, true);
}

void Conifer(Tile& t, int x, int y) {
  Rect(t.img, x, y + 4, x, y + 6, P(kWoodR, 3));
  for (int r = 0; r <= 9; ++r) {
    int half = (r + 1) / 2;
    for (int dx = -half; dx <= half; ++dx) {
      uint8_t c = P(kForestR, 5 + (dx < 0 ? 2 : 0));
      if (t.season == kWinter && ((r % 4) < 2 || r < 2)) c = P(kGreyR, dx < 0 ? 15 : 13);
      Put(t.img, x + dx, y - 5 + r, c);
    }
  }
}

void Forest(Tile& t, uint32_t seed, bool conifer, bool dense) {
  GrassGround(t, seed, false);
  // Forest floor: darker under the trees.
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x)
      if (t.season != kWinter) t.img.Set(x, y, Ground(x, y, t.season == kAutumn ? kWoodR : kForestR, dense ? 4 : 6, 1.0, seed));
  auto spots = Spots(dense ? 16 : 11, dense ? 4 : 5, seed);
  for (auto [x, y] : spots) {
    bool c = conifer || (dense && (Hash(x, y, seed) & 1));
    if (c) Conifer(t, x, y);
    else Deciduous(t, x, y);
  }
}

void Hills(Tile& t, uint32_t seed, int kind) {
  GrassGround(t, seed, false);
  auto spots = Spots(3, 9, seed + 3);
  for (auto [x, y] : spots) {
    if (t.season == kWinter) FillEllipse(t.img, x, y, 10, 6, kGreyR, 13, true);
    else if (t.season == kAutumn) FillEllipse(t.img, x, y, 10, 6, kSandR, 7, true);
    else FillEllipse(t.img, x, y, 10, 6, kGreenR, 6, true);
  }
  if (kind == 1)  // wooded hills
    for (auto [x, y] : Spots(4, 3, seed + 9)) Deciduous(t, x, y);
  if (kind == 2)  // vineyard rows
    for (int r = 0; r < 4; ++r)
      for (int x = 20; x < 44; x += 2)
        if (InHexBy(x, 30 + r * 4, 3)) Put(t.img, x, 30 + r * 4, t.season == kWinter ? P(kWoodR, 4) : P(kPurpleR, 5));
  if (kind == 3)  // quarry
    Rect(t.img, 26, 30, 38, 38, P(kSlateR, 9)), Rect(t.img, 28, 32, 36, 36, P(kSlateR, 6));
  if (kind == 4)  // mine entrance
    FillEllipse(t.img, 32, 34, 4, 4, kGreyR, 1, false), Rect(t.img, 27, 30, 37, 30, P(kWoodR, 5));
}

void Mountains(Tile& t, uint32_t seed, bool high, int kind) {
  // Rocky ground; snow in winter and always on the high range.
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x)
      t.img.Set(x, y, t.season == kWinter || high ? Ground(x, y, kGreyR, 12, 1.0, seed)
                                                  : Ground(x, y, kSlateR, 8, 1.2, seed));
  int snow = high ? 12 : (t.season == kWinter ? 14 : 5);
  if (high) {
    Peak(t.img, 22, 12, 13, 40, kSlateR, 7, snow, kGreyR);
    Peak(t.img, 40, 6, 17, 44, kSlateR, 6, snow, kGreyR);
  } else {
    Peak(t.img, 20, 14, 12, 40, kSlateR, 8, snow, kGreyR);
    Peak(t.img, 44, 16, 12, 42, kSlateR, 7, snow, kGreyR);
    Peak(t.img, 32, 10, 14, 46, kSlateR, 6, snow, kGreyR);
  }
  if (kind == 1)  // a pass
    Curve(0, 3, 1.2, [&](int x, int y, double) { if (InHex(x, y) && y > 24) Put(t.img, x, y, P(kWoodR, 9)); });
  if (kind == 2) {  // volcano: crater and smoke
    Rect(t.img, 29, 10, 35, 12, P(kRedR, 12));
    FillEllipse(t.img, 34, 6, 3, 2, kGreyR, 9, false);
  }
}

void Swamp(Tile& t, uint32_t seed, bool moor) {
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      double v = Wave(x, y, seed);
      uint8_t c;
      if (v < -0.6) c = t.season == kWinter ? P(kGreyR, 12) : P(kTealR, 4 + (Grain(x, y, seed) > 12));
      else c = Ground(x, y, moor ? kWoodR : kForestR, moor ? 6 : 5, 1.0, seed);
      t.img.Set(x, y, c);
    }
  for (auto [x, y] : Spots(10, 2, seed + 4)) {
    for (int i = 0; i < 4; ++i) Put(t.img, x + (i & 1) * 2 - 1, y - i, P(kGoldR, 5 + i));
  }
  if (moor)
    for (auto [x, y] : Spots(3, 4, seed + 7)) {
      Rect(t.img, x, y - 6, x, y + 3, P(kGreyR, 5));
      Put(t.img, x - 1, y - 4, P(kGreyR, 5)), Put(t.img, x + 1, y - 2, P(kGreyR, 5));
    }
}

void Desert(Tile& t, uint32_t seed, bool oasis) {
  SandGround(t, seed);
  for (auto [x, y] : Spots(4, 2, seed + 2)) Put(t.img, x, y, P(kSandR, 4)), Put(t.img, x + 1, y, P(kSandR, 5));
  if (oasis) {
    FillEllipse(t.img, 32, 32, 9, 5, kWaterR, 10, false);
    for (int p : {22, 42}) {
      Rect(t.img, p, 22, p, 30, P(kWoodR, 6));
      for (int i = -4; i <= 4; ++i) Put(t.img, p + i, 21 + std::abs(i) / 2, P(kForestR, 9));
    }
  }
}

// Field patches: crops by season.
void Fields(Tile& t, uint32_t seed, int kind) {
  GrassGround(t, seed, false);
  static const int kPatch[4][4] = {{14, 8, 31, 24}, {33, 8, 50, 24}, {8, 27, 30, 46}, {33, 27, 56, 46}};
  for (int i = 0; i < 4; ++i) {
    uint8_t a, b;
    int crop = (int)(Hash(i, kind, seed) % 3);
    switch (t.season) {
      case kSpring: a = P(kGreenR, 9 + crop), b = P(kGreenR, 6); break;
      case kSummer: a = crop ? P(kGoldR, 12) : P(kGreenR, 10), b = crop ? P(kGoldR, 9) : P(kGreenR, 7); break;
      case kAutumn: a = P(kWoodR, 8 + crop), b = P(kWoodR, 6); break;
      default: a = P(kGreyR, 15), b = P(kGreyR, 11); break;
    }
    for (int y = kPatch[i][1]; y <= kPatch[i][3]; ++y)
      for (int x = kPatch[i][0]; x <= kPatch[i][2]; ++x)
        if (InHexBy(x, y, 3)) Put(t.img, x, y, ((y + (i & 1 ? x / 3 : 0)) % 3 == 0) ? b : a);
  }
  if (kind == 1 || kind == 2)  // orchard
    for (auto [x, y] : Spots(5, 4, seed + 21)) Deciduous(t, x, y);
  if (kind == 3) {  // farmstead
    Rect(t.img, 27, 22, 37, 29, P(kParchR, 12));
    Peak(t.img, 32, 16, 7, 22, t.season == kWinter ? kGreyR : kRedR, t.season == kWinter ? 13 : 7, 0, kGreyR);
  }
  if (kind == 4) {  // windmill
    Rect(t.img, 30, 20, 34, 32, P(kParchR, 11));
    for (int i = -7; i <= 7; ++i) Put(t.img, 32 + i, 20 + i, P(kWoodR, 3)), Put(t.img, 32 + i, 20 - i, P(kWoodR, 3));
  }
}

void House(Tile& t, int x, int y, int w, bool big) {
  int h = big ? 6 : 4;
  Rect(t.img, x - w, y - h, x + w, y, P(kParchR, 12));
  Rect(t.img, x - w, y - h, x - w, y, P(kParchR, 8));
  Rect(t.img, x, y - 2, x, y, P(kWoodR, 2));
  uint8_t roof = t.season == kWinter ? kGreyR : kRedR;
  for (int r = 0; r <= w + 1; ++r)
    for (int dx = -r; dx <= r; ++dx)
      Put(t.img, x + dx, y - h - (w + 1) + r, P(roof, (t.season == kWinter ? 14 : 8) + (dx < 0 ? 1 : -1)));
}

// Town of level 0 (village) to 3 (walled city); part: 0 town, 1 outskirts, 2 harbour.
void Town(Tile& t, uint32_t seed, int level, int part) {
  GrassGround(t, seed, false);
  if (part == 2)  // the harbour: water along the south sides, a pier
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x)
        if (std::min({SideDist(x + .5, y + .5, 2), SideDist(x + .5, y + .5, 3), SideDist(x + .5, y + .5, 4)}) <
            12 + Wave(x, y, seed) * 2)
          t.img.Set(x, y, WaterAt(x, y, 1, seed));
  if (part == 1) {  // gardens and lanes
    for (auto [x, y] : Spots(4, 4, seed + 5)) Deciduous(t, x, y);
    int n = 1 + level;
    for (auto [x, y] : Spots(n, 6, seed + 6)) House(t, x, y, 3, false);
    return;
  }
  // Streets: a cross of lanes.
  Curve(0, 3, 1.0, [&](int x, int y, double) { if (InHexBy(x, y, 1)) Put(t.img, x, y, P(kSandR, 7)); });
  Curve(5, 2, 1.0, [&](int x, int y, double) { if (InHexBy(x, y, 1)) Put(t.img, x, y, P(kSandR, 7)); });
  if (level == 3) {  // city wall round the hex
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x)
        if (InHexBy(x, y, 4) && !InHexBy(x, y, 6)) Put(t.img, x, y, P(kSlateR, (x + y) % 4 ? 10 : 6));
  }
  int n = level == 0 ? 3 : level == 1 ? 5 : level == 2 ? 7 : 8;
  auto spots = Spots(n, level >= 2 ? 5 : 6, seed + 8);
  for (auto [x, y] : spots) {
    if (part == 2 && y > 34) continue;
    House(t, x, y, level >= 2 ? 3 : 2, level >= 1);
  }
  if (level >= 2) {  // church or keep in the middle
    Rect(t.img, 29, 14, 35, 30, P(kSlateR, 12));
    Rect(t.img, 29, 14, 29, 30, P(kSlateR, 8));
    Peak(t.img, 32, 6, 4, 14, level == 3 ? kBlueR : kRedR, 7, t.season == kWinter ? 8 : 0, kGreyR);
  }
  if (part == 2)
    for (int y = 36; y < 50; ++y) Put(t.img, 32, y, P(kWoodR, 5)), Put(t.img, 33, y, P(kWoodR, 7));
}

// Coast: water along the listed sides, the land given by style.
void Coast(Tile& t, uint32_t seed, int sides, int style) {
  if (style == 24) SandGround(t, seed);
  else if (style == 25) GrassGround(t, seed, false);
  else
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) t.img.Set(x, y, Ground(x, y, kSlateR, 8, 1.3, seed));
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      double d = 99;
      for (int s = 0; s < 6; ++s)
        if (sides & (1 << s)) d = std::min(d, SideDist(x + .5, y + .5, s));
      double edge = 16 + Wave(x, y, seed + 40) * 3;
      if (d < edge) t.img.Set(x, y, WaterAt(x, y, d < edge - 8 ? 1 : 2, seed));
      else if (d < edge + 3) t.img.Set(x, y, style == 26 ? P(kSlateR, 5) : P(kSandR, 12));
    }
}

void StandingStones(Tile& t);

// Grass with a small landmark of its own: 0 bushes, 1 a lone oak, 2 rocks,
// 3 a pond, 4 flowers, 5 a copse, 6 boulders, 7 a shepherd's hut, 8 a dirt
// track, 9 a hay field, 10 a well, 11 a small lake, 12 a ruin.
void GrassMark(Tile& t, uint32_t seed, int kind) {
  GrassGround(t, seed, kind == 4 || kind == 8 || kind == 9);
  bool w = t.season == kWinter;
  switch (kind) {
    case 0: for (auto [x, y] : Spots(5, 3, seed)) FillEllipse(t.img, x, y, 3, 2, w ? kGreyR : kForestR, w ? 13 : 7, true); break;
    case 1: Deciduous(t, 32, 30); break;
    case 2: case 6:
      for (auto [x, y] : Spots(kind == 2 ? 6 : 3, kind == 2 ? 2 : 4, seed))
        FillEllipse(t.img, x, y, kind == 2 ? 2.5 : 4, kind == 2 ? 1.8 : 3, kGreyR, w ? 12 : 8, true);
      break;
    case 3: case 11:
      FillEllipse(t.img, 32, 30, kind == 3 ? 8 : 14, kind == 3 ? 5 : 9, w ? kGreyR : kWaterR, w ? 11 : 9, false);
      break;
    case 4: break;
    case 5: for (auto [x, y] : Spots(5, 4, seed + 3)) (Hash(x, y, 1) & 1) ? Deciduous(t, x, y) : Conifer(t, x, y); break;
    case 7: House(t, 32, 32, 3, false); break;
    case 8:
      Curve(5, 2, 1.3, [&](int x, int y, double) { if (InHex(x, y)) Put(t.img, x, y, w ? P(kGreyR, 11) : P(kWoodR, 9)); });
      break;
    case 9:
      for (auto [x, y] : Spots(4, 3, seed + 5)) FillEllipse(t.img, x, y, 2.5, 3, w ? kGreyR : kGoldR, w ? 14 : 10, true);
      break;
    case 10: FillEllipse(t.img, 32, 30, 4, 3, kGreyR, 9, false), FillEllipse(t.img, 32, 30, 2, 1.5, kWaterR, 4, false); break;
    default:  // a ruin: broken walls
      Rect(t.img, 22, 22, 42, 23, P(kGreyR, 10)), Rect(t.img, 22, 22, 23, 38, P(kGreyR, 8));
      Rect(t.img, 41, 26, 42, 36, P(kGreyR, 9)), Rect(t.img, 26, 37, 33, 38, P(kGreyR, 10));
      break;
  }
}

void StandingStones(Tile& t) {
  for (int i = 0; i < 7; ++i) {
    double a = 2 * kPi * i / 7;
    int x = 32 + (int)std::lround(std::cos(a) * 12), y = 28 + (int)std::lround(std::sin(a) * 8);
    Rect(t.img, x - 1, y - 5, x + 1, y, P(kGreyR, 9));
    Rect(t.img, x - 1, y - 5, x - 1, y, P(kGreyR, 12));
  }
}

void DrawTerrain(Tile& t, int g) {
  uint32_t seed = 1000u + (uint32_t)g;
  if (g >= 1 && g <= 3) return Town(t, seed, g, 0);
  if (g == 7) return Town(t, seed, 0, 0);
  if (g >= 31 && g <= 34) return Town(t, seed, g - 31, 1);
  if (g >= 87 && g <= 90) return Town(t, seed, g - 87, 2);
  if (g == 4) return Fields(t, seed, 0);
  if (g >= 35 && g <= 38) return Fields(t, seed, g - 34);
  if (g == 5) return Mountains(t, seed, false, 0);
  if (g == 54 || g == 55) return Mountains(t, seed, false, g - 53);
  if (g == 9) return Mountains(t, seed, true, 0);
  if (g == 6) return Swamp(t, seed, false);
  if (g == 91) return Swamp(t, seed, true);
  if (g == 8) return Desert(t, seed, false);
  if (g == 30) return Desert(t, seed, true);
  if (g == 10) return Hills(t, seed, 0);
  if (g == 11) return Hills(t, seed, 1);
  if (g == 27) return Hills(t, seed, 2);
  if (g == 52) {  // hills with a river
    Hills(t, seed, 0);
    return Curve(1, 4, 3.0, [&](int x, int y, double f) {
      if (x >= 0 && y >= 0 && x < kW && y < kH)
        t.img.Set(x, y, t.season == kWinter ? P(kGreyR, 11) : (f < 0.7 ? WaterAt(x, y, 1, seed) : P(kSandR, 6)));
    });
  }
  if (g == 56 || g == 57) return Hills(t, seed, g - 53);
  if (g == 12) return GrassGround(t, seed, false);
  if (g == 13) return GrassGround(t, seed, true);
  if (g >= 39 && g <= 51) return GrassMark(t, seed, g - 39);
  if (g == 53) return GrassGround(t, seed, false), StandingStones(t);
  if (g >= 14 && g <= 16) return Forest(t, seed, g != 14, true);
  if (g >= 17 && g <= 22) return Forest(t, seed, g == 18 || g == 21 || g == 22, false);
  if (g == 23) return WaterGround(t, 0);
  if (g == 28) return WaterGround(t, 1);
  if (g == 29) {
    WaterGround(t, 2);
    for (auto [x, y] : Spots(6, 2, seed)) FillEllipse(t.img, x, y, 2.5, 1.5, kSlateR, 7, true);
    return;
  }
  if (g == 24) return SandGround(t, seed);
  if (g == 25) return GrassGround(t, seed, false);
  if (g == 26) {
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) t.img.Set(x, y, Ground(x, y, kSlateR, 8, 1.3, seed));
    for (auto [x, y] : Spots(5, 3, seed)) FillEllipse(t.img, x, y, 3, 2, kSlateR, 10, true);
    return;
  }
  if (g >= 58 && g <= 86) {
    // Water along a run of 1..5 neighbouring sides, starting at side 0..5.
    int k = g - 58, run = 1 + k / 6, start = k % 6, sides = 0;
    for (int i = 0; i < run; ++i) sides |= 1 << ((start + i) % 6);
    return Coast(t, seed, sides, BaseOfCoast(g));
  }
}

// Out of sight: every pen moves down its ramp.
void Darken(Image& img) {
  for (auto& c : img.px) {
    if (c == kTransparent) continue;
    if (c < 16) c = c == 0 ? 0 : (uint8_t)(16 + 3);
    else c = (uint8_t)((c & 0xF0) + (c & 15) * 45 / 100);
  }
}

// Unknown terrain (picture 840) and graphic 4: a faded sheet of parchment.
void Blank(Tile& t, bool question) {
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) t.img.Set(x, y, Ground(x, y, kParchR, question ? 7 : 4, 1.0, 840));
  if (question) DrawTextCentred(t.img, 16, 14, 47, 41, "?", 3, P(kParchR, 2), kTransparent);
}

MapPicture TilePicture(uint32_t id, int g, int variant) {
  Tile t;
  int v = variant & 3;
  t.season = (Season)v;
  if (g == 0) Blank(t, true);
  else DrawTerrain(t, g);
  if (variant >= 4 && variant < 8) Darken(t.img);
  MapPicture p;
  p.id = id;
  p.kind = 2;
  p.frame_height = kH;
  p.img = t.img;
  return p;
}

// Graphic 31: set bits inside the hex, one plane.
MapPicture HexMask() {
  MapPicture p;
  p.id = 31;
  p.kind = 3;
  p.frame_height = kH;
  p.bitplane = true;
  p.img = Image(kW, kH, 0);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x)
      if (InHex(x, y)) p.img.Set(x, y, 1);
  return p;
}

// ---- Overlays and markers ---------------------------------------------------

MapPicture Masked(uint32_t id, int w, int h) {
  MapPicture p;
  p.id = id;
  p.kind = 3;
  p.frame_height = h;
  p.img = Image(w, h, kTransparent);
  return p;
}

void Dot4(Image& img, uint8_t ramp) {
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x)
      if (!((x == 0 || x == 3) && (y == 0 || y == 3))) img.Set(x, y, P(ramp, (x + y < 3) ? 14 : 9));
}

void Overlays(std::map<uint32_t, MapPicture>& out) {
  // 378: the plaque of the value bars: three icons left of the bars
  // (growth, gold, wood), matching the bars' pens.
  MapPicture bars = Masked(378, 14, 33);
  FillEllipse(bars.img, 6, 5, 4.5, 4.5, kGreenR, 11, true);
  Rect(bars.img, 6, 2, 6, 9, P(kGreenR, 4));
  FillEllipse(bars.img, 6, 16, 4.5, 4.5, kGoldR, 12, true);
  Rect(bars.img, 5, 14, 7, 18, P(kGoldR, 6));
  Rect(bars.img, 1, 25, 11, 29, P(kWoodR, 8));
  Rect(bars.img, 1, 25, 11, 25, P(kWoodR, 12));
  FillEllipse(bars.img, 11, 27, 1.5, 2.5, kWoodR, 13, false);
  out[378] = bars;
  // 439, 440: border dots, own gold, foreign red.
  MapPicture own = Masked(439, 4, 4), foreign = Masked(440, 4, 4);
  Dot4(own.img, kGoldR);
  Dot4(foreign.img, kRedR);
  out[439] = own;
  out[440] = foreign;
  // 471: the reach marker, a light hatch and rim over the hex.
  MapPicture reach = Masked(471, kW, kH);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      if (!InHex(x, y)) continue;
      if (!InHexBy(x, y, 2)) reach.img.Set(x, y, P(kGoldR, 15));
      else if ((x + y) % 6 == 0) reach.img.Set(x, y, P(kGreyR, 15));
    }
  out[471] = reach;
  // 1276, 1277: stack markers, a pennant edged black: foreign red, own gold.
  for (uint32_t id : {1276u, 1277u}) {
    MapPicture m = Masked(id, 12, 10);
    bool mine = id == 1277;
    for (int y = 0; y < 10; ++y)
      for (int x = 0; x < 12; ++x) {
        int half = 5 - std::abs(y * 2 - 9) / 2;
        if (x > 11 - half * 2) continue;
        bool edge = y == 0 || y == 9 || x == 0 || x == 11 - half * 2;
        m.img.Set(x, y, edge ? P(kGreyR, 1) : (mine ? P(kGoldR, 13) : P(kRedR, 9)));
      }
    out[id] = m;
  }
  // 1291: a cave mouth in rock (mountains and hills); 1292: a stair down.
  MapPicture cave = Masked(1291, 36, 30);
  FillEllipse(cave.img, 18, 18, 17, 11.5, kSlateR, 8, true);
  FillEllipse(cave.img, 18, 22, 9, 8, kGreyR, 1, false);
  Rect(cave.img, 9, 26, 27, 29, P(kSlateR, 6));
  Rect(cave.img, 10, 29, 26, 29, P(kGreyR, 1));
  out[1291] = cave;
  MapPicture stair = Masked(1292, 24, 30);
  Rect(stair.img, 0, 4, 23, 29, P(kSlateR, 10));
  Rect(stair.img, 3, 7, 20, 26, P(kGreyR, 1));
  for (int i = 0; i < 4; ++i) Rect(stair.img, 4 + i * 2, 9 + i * 4, 19 - i * 2, 10 + i * 4, P(kSlateR, 7 - i));
  for (int x = 0; x < 24; ++x) stair.img.Set(x, 4, P(kSlateR, 13));
  Rect(stair.img, 10, 0, 13, 3, P(kRedR, 9));
  out[1292] = stair;
}

// ---- Figures -----------------------------------------------------------------

struct Facing {
  double fx, fy;  // east, south components
};
Facing FaceAngle(double deg) { return {std::sin(deg * kPi / 180), -std::cos(deg * kPi / 180)}; }

void Line(Image& img, double x0, double y0, double x1, double y1, uint8_t c) {
  int n = (int)std::max(std::fabs(x1 - x0), std::fabs(y1 - y0)) + 1;
  for (int i = 0; i <= n; ++i) img.Set((int)std::lround(x0 + (x1 - x0) * i / n), (int)std::lround(y0 + (y1 - y0) * i / n), c);
}

// A person standing on (cx, fy); tunic colour; phase swings the legs.
void Person(Image& img, double cx, double fy, Facing f, uint8_t tunic, int tstep, int phase, bool robe) {
  double sw = phase == 0 ? 0 : (phase == 1 ? 2 : -2);
  if (robe) {
    for (int y = 0; y < 12; ++y) Line(img, cx - 2 - y / 3.0, fy - 12 + y, cx + 2 + y / 3.0, fy - 12 + y, P(tunic, tstep - (y > 8)));
  } else {
    Line(img, cx - 1, fy - 7, cx - 1 - sw, fy, P(kWoodR, 3));
    Line(img, cx + 1, fy - 7, cx + 1 + sw, fy, P(kWoodR, 3));
    Rect(img, (int)cx - 3, (int)fy - 15, (int)cx + 3, (int)fy - 7, P(tunic, tstep));
    Rect(img, (int)cx - 3, (int)fy - 15, (int)cx - 3, (int)fy - 7, P(tunic, tstep + 3));
  }
  double hy = fy - (robe ? 16 : 19);
  if (robe) Rect(img, (int)cx - 3, (int)hy + 2, (int)cx + 3, (int)fy - 12, P(tunic, tstep + 1));
  FillEllipse(img, cx + 0.5, hy, 3, 3, kParchR, 13, false);
  if (f.fy > 0.3) img.Set((int)cx - 1, (int)hy, P(kGreyR, 1)), img.Set((int)cx + 1, (int)hy, P(kGreyR, 1));
  else if (f.fy < -0.3) FillEllipse(img, cx + 0.5, hy - 0.5, 3, 2.5, kWoodR, 4, false);
  else img.Set((int)std::lround(cx + f.fx * 2), (int)hy, P(kGreyR, 1));
}

void Horse(Image& img, double cx, double fy, Facing f, uint8_t coat, int phase) {
  double ax = f.fx, ay = f.fy * 0.5, len = std::sqrt(ax * ax + ay * ay);
  if (len < 0.01) ax = 0, ay = 0.5, len = 0.5;
  double rx = 5 + 7 * std::fabs(f.fx), ry = 4 + 2 * std::fabs(f.fy);
  for (int i = 0; i < 4; ++i) {
    double lx = cx + (i < 2 ? -1 : 1) * (rx - 3) * (std::fabs(f.fx) > 0.3 ? 1 : 0.4) + (i & 1) * 2 - 1;
    double sw = ((i + phase) & 1) ? 1.5 : -1.5;
    Line(img, lx, fy - 8, lx + (phase ? sw : 0), fy, P(coat, 3));
  }
  FillEllipse(img, cx, fy - 11, rx, ry, coat, 8, true);
  double hx = cx + ax / len * (rx + 1), hy = fy - 15 + ay / len * 3;
  FillEllipse(img, hx, hy, 3, 2.5, coat, 9, true);
  Line(img, cx + ax / len * (rx - 3), fy - 13, hx, hy, P(coat, 7));
}

void Wheel(Image& img, double x, double y, double r) {
  FillEllipse(img, x, y, r, r, kWoodR, 4, false);
  FillEllipse(img, x, y, r - 1.5, r - 1.5, kWoodR, 9, false);
  img.Set((int)x, (int)y, P(kWoodR, 2));
}

void Ship(Image& img, double cx, double fy, Facing f, int size, bool war, int phase) {
  double L = 10 + size * 4, W = 4 + size;
  double rx = W + (L - W) * std::fabs(f.fx), ry = (W + (L - W) * std::fabs(f.fy)) * 0.5;
  double bob = phase ? 1 : 0;
  FillEllipse(img, cx, fy - 6 + bob, rx + 2, ry + 2, kWaterR, 12, false);  // wake
  FillEllipse(img, cx, fy - 7 + bob, rx, ry, kWoodR, 7, true);
  int masts = size >= 2 ? 2 : 1;
  for (int m = 0; m < masts; ++m) {
    double mx = cx + (masts == 2 ? (m ? 1 : -1) * rx * 0.4 : 0);
    double top = fy - 22 - size * 4 + bob;
    Line(img, mx, fy - 8 + bob, mx, top, P(kWoodR, 3));
    double sw = 4 + size * 1.5;
    Rect(img, (int)(mx - sw), (int)top + 3, (int)(mx + sw), (int)(fy - 12 + bob),
         war ? P(kRedR, 8 + m) : P(kParchR, 14 - m));
    if (war) Rect(img, (int)mx - 1, (int)top + 5, (int)mx + 1, (int)top + 7, P(kGoldR, 13));
  }
  if (war)
    for (int i = -2; i <= 2; ++i) FillEllipse(img, cx + i * rx / 3, fy - 8 + bob, 1.2, 1.2, kSlateR, 12, false);
}

// A dark rim round everything drawn, so figures read on any ground.
void Outline(Image& img) {
  Image src = img;
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x) {
      if (src.Get(x, y) != kTransparent) continue;
      bool near = false;
      for (int d = 0; d < 4 && !near; ++d) {
        int nx = x + (d == 0) - (d == 1), ny = y + (d == 2) - (d == 3);
        // Frames are 54 rows: the rim never reaches into the next frame.
        if (nx >= 0 && ny >= 0 && nx < img.width && ny < img.height && ny / 54 == y / 54)
          near = src.Get(nx, ny) != kTransparent;
      }
      if (near) img.Set(x, y, P(kGreyR, 1));
    }
}

// Figure picture groups: who is drawn.
enum Kind2 { kScout, kInf, kCav, kArt, kWagon, kCleric, kTradeShip, kWarShip };

void Figure(Image& img, int top, Kind2 k, int weight, double deg, int phase) {
  Facing f = FaceAngle(deg);
  double cx = 32, fy = top + 46;
  switch (k) {
    case kScout:
      Person(img, cx, fy, f, kGreenR, 7, phase, false);
      Rect(img, (int)cx - 4, (int)fy - 23, (int)cx + 4, (int)fy - 22, P(kWoodR, 5));  // hat brim
      Line(img, cx + 4, fy - 13, cx + 4 + f.fx * 5, fy - 18, P(kGoldR, 11));        // spyglass
      break;
    case kInf: {
      uint8_t armour = weight == 0 ? kWoodR : weight == 1 ? kSlateR : kBlueR;
      Person(img, cx, fy, f, armour, weight == 0 ? 8 : 10, phase, false);
      if (weight > 0) FillEllipse(img, cx, fy - 22, 3.2, 2, kSlateR, 12, false);  // helmet
      double sx = cx + (f.fx >= 0 ? 5 : -5);
      Line(img, sx, fy - 2, sx, fy - 30, P(kWoodR, 5));  // spear
      img.Set((int)sx, (int)fy - 31, P(kGreyR, 14));
      if (weight > 0) FillEllipse(img, cx - (f.fx >= 0 ? 4 : -4), fy - 11, weight == 2 ? 4 : 3, weight == 2 ? 6 : 4, kRedR, 8, true);
      break;
    }
    case kCav: {
      Horse(img, cx, fy, f, weight == 2 ? kGreyR : kWoodR, phase);
      Person(img, cx, fy - 9, f, weight == 0 ? kGreenR : weight == 1 ? kSlateR : kBlueR, 10, 0, false);
      if (weight > 0) Line(img, cx + 4, fy - 22, cx + 4 + f.fx * 8, fy - 34, P(kGreyR, 14));  // lance
      break;
    }
    case kArt: {
      Rect(img, (int)cx - 10, (int)fy - 10, (int)cx + 10, (int)fy - 6, P(kWoodR, 7));
      Wheel(img, cx - 7, fy - 4, 4);
      Wheel(img, cx + 7, fy - 4, 4);
      if (weight == 0) Line(img, cx - 10, fy - 14, cx + 10, fy - 10, P(kWoodR, 5)),  // ballista
                       Line(img, cx - 6, fy - 18, cx - 6, fy - 10, P(kWoodR, 3));
      if (weight == 1) Line(img, cx - 6, fy - 10, cx + 8, fy - 26, P(kWoodR, 5)),    // catapult arm
                       FillEllipse(img, cx + 8, fy - 27, 2.5, 2.5, kSlateR, 8, false);
      if (weight == 2) Rect(img, (int)cx - 2, (int)fy - 30, (int)cx + 2, (int)fy - 10, P(kWoodR, 5)),
                       Line(img, cx - 12, fy - 28, cx + 12, fy - 32, P(kWoodR, 3));  // trebuchet
      Person(img, cx + (f.fx >= 0 ? -14 : 14), fy, f, kRedR, 7, phase, false);
      break;
    }
    case kWagon:
      FillEllipse(img, cx - f.fx * 2, fy - 16, 10, 7, kParchR, 14, true);  // canvas
      Rect(img, (int)cx - 10, (int)fy - 12, (int)cx + 10, (int)fy - 6, P(kWoodR, 7));
      Wheel(img, cx - 7, fy - 4, 4);
      Wheel(img, cx + 7, fy - 4, 4);
      FillEllipse(img, cx + f.fx * 17, fy - 8 + f.fy * 3, 5, 4, kWoodR, 10, true);  // ox
      break;
    case kCleric:
      Person(img, cx, fy, f, kPurpleR, 9, phase, true);
      Line(img, cx + 6, fy, cx + 6, fy - 28, P(kWoodR, 6));
      FillEllipse(img, cx + 6, fy - 29, 2, 2, kGoldR, 14, false);
      break;
    case kTradeShip: Ship(img, cx, fy, f, weight, false, phase); break;
    case kWarShip: Ship(img, cx, fy, f, weight, true, phase); break;
  }
}

// Facing of the turning strip's frame: 4 faces the viewer (south), lower
// frames turn through east to north, higher ones through west.
double TurnAngle(int frame) { return frame <= 4 ? 180 - (4 - frame) * 45 : 180 + (frame - 4) * 45; }
// Walking strips 1..6: north, north-east, south-east, south, south-west, north-west.
double WalkAngle(int strip) { return (strip - 1) * 60.0; }

void Figures(std::map<uint32_t, MapPicture>& out) {
  struct Group { uint32_t first; Kind2 kind; int weight; };
  const Group groups[] = {{380, kScout, 0}, {441, kInf, 0}, {450, kInf, 1}, {457, kInf, 2},
                          {816, kCav, 0}, {823, kCav, 1}, {830, kCav, 2}, {795, kArt, 0},
                          {802, kArt, 1}, {809, kArt, 2}, {788, kWagon, 0}, {1097, kCleric, 0},
                          {522, kTradeShip, 0}, {529, kTradeShip, 1}, {536, kTradeShip, 2},
                          {543, kWarShip, 0}, {550, kWarShip, 1}, {557, kWarShip, 2}};
  for (const Group& g : groups)
    for (int k = 0; k < 7; ++k) {
      MapPicture p;
      p.id = g.first + k;
      p.kind = 4;
      p.frames = 24;
      p.frame_height = 54;
      p.img = Image(64, 54 * 24, kTransparent);
      for (int f = 0; f < 24; ++f) {
        double deg = k == 0 ? TurnAngle(f <= 8 ? f : 4) : WalkAngle(k);
        int phase = k == 0 ? 0 : (f / 3) % 4 == 0 ? 0 : ((f / 3) % 4 == 1 ? 1 : ((f / 3) % 4 == 2 ? 0 : 2));
        Figure(p.img, f * 54, g.kind, g.weight, deg, phase);
      }
      Outline(p.img);
      out[p.id] = p;
    }
}

// Map objects (figure types 1000..1013), frame 0 shown still, the rest
// played by the idle animation.
void Objects(std::map<uint32_t, MapPicture>& out) {
  struct Obj { uint32_t id; int frames; int what; };
  const Obj objs[] = {{493, 10, 0}, {838, 18, 1}, {839, 24, 2}, {884, 24, 3}, {885, 24, 4}, {886, 24, 5},
                      {887, 24, 6}, {888, 24, 7}, {889, 24, 8}, {890, 24, 9}};
  for (const Obj& o : objs) {
    MapPicture p;
    p.id = o.id;
    p.kind = 4;
    p.frames = o.frames;
    p.frame_height = 54;
    p.img = Image(64, 54 * o.frames, kTransparent);
    for (int f = 0; f < o.frames; ++f) {
      int t = f * 54;
      double a = 2 * kPi * f / o.frames;
      switch (o.what) {
        case 0:  // campfire
          Rect(p.img, 24, t + 42, 40, t + 44, P(kWoodR, 5));
          for (int y = 0; y < 14; ++y) {
            int half = (14 - y) / 3 + (int)(std::sin(a + y) * 1.5);
            for (int x = -half; x <= half; ++x) p.img.Set(32 + x, t + 41 - y, P(kOrangeR, 15 - y / 2 - std::abs(x)));
          }
          break;
        case 1:  // birds circling
          for (int b = 0; b < 3; ++b) {
            double ang = a + b * 2.1;
            int x = 32 + (int)(std::cos(ang) * 16), y = t + 22 + (int)(std::sin(ang) * 8);
            int wing = (f + b) % 2 ? -2 : 1;
            Line(p.img, x - 3, y + wing, x, y, P(kGreyR, 2)), Line(p.img, x, y, x + 3, y + wing, P(kGreyR, 2));
          }
          break;
        case 2:  // a waving banner
          Rect(p.img, 22, t + 10, 23, t + 46, P(kWoodR, 4));
          for (int x = 0; x < 18; ++x) {
            int dy = (int)std::lround(std::sin(a + x * 0.4) * 2);
            Rect(p.img, 24 + x, t + 11 + dy, 24 + x, t + 22 + dy, P(kRedR, 9 + (x + dy) % 2));
          }
          break;
        case 3:  // whirlpool
          for (int i = 0; i < 60; ++i) {
            double r = i * 0.3, ang = a + i * 0.35;
            p.img.Set(32 + (int)(std::cos(ang) * r), t + 30 + (int)(std::sin(ang) * r * 0.5), P(kWaterR, 14));
          }
          break;
        case 4:  // a sea serpent rising and diving
          for (int i = 0; i < 4; ++i) {
            double h = 3 + std::sin(a + i * 0.9) * 3;
            FillEllipse(p.img, 16 + i * 9, t + 34 - h / 2, 3.5, h / 2 + 1, kTealR, 8, true);
          }
          break;
        case 5:  // wandering troll
          Person(p.img, 32 + std::sin(a) * 3, t + 48, FaceAngle(180), kForestR, 5, f % 2 + 1, false);
          FillEllipse(p.img, 32 + std::sin(a) * 3, t + 30, 6, 5, kForestR, 6, true);
          break;
        case 6:  // ghost drifting
          FillEllipse(p.img, 32 + std::sin(a) * 5, t + 26 + std::cos(a) * 3, 6, 9, kGreyR, 14, false);
          p.img.Set(30 + (int)(std::sin(a) * 5), t + 24, P(kGreyR, 1)), p.img.Set(34 + (int)(std::sin(a) * 5), t + 24, P(kGreyR, 1));
          break;
        case 7:  // shrine with a glow
          Rect(p.img, 26, t + 30, 38, t + 44, P(kGreyR, 11));
          FillEllipse(p.img, 32, t + 24, 4 + std::sin(a) * 2, 4 + std::sin(a) * 2, kGoldR, 14, false);
          break;
        case 8:  // treasure chest sparkling
          Rect(p.img, 24, t + 34, 40, t + 44, P(kWoodR, 8));
          Rect(p.img, 24, t + 38, 40, t + 38, P(kGoldR, 12));
          p.img.Set(28 + (f * 5) % 10, t + 30 - (f * 3) % 6, P(kGreyR, 15));
          break;
        default:  // tornado
          for (int y = 0; y < 34; ++y) {
            int half = 2 + y / 4, off = (int)(std::sin(a + y * 0.2) * 3);
            for (int x = -half; x <= half; x += 2) p.img.Set(32 + x + off, t + 46 - y, P(kSlateR, 9 + (y + x) % 3));
          }
      }
    }
    Outline(p.img);
    out[o.id] = p;
  }
}

}  // namespace

uint16_t MapTileId(int g, int v) {
  if (g < 0 || g > 99 || v < 0 || v > 8) return 0;
  if (g >= 92) return 840;
  if (g <= 57) return kRows[g][v];
  static const uint16_t kRow91[9] = {1263, 1263, 1263, 1263, 1264, 1264, 1264, 1264, 6};
  if (g == 91) return kRow91[v];
  if (v == 8) return BaseOfCoast(g);
  return (uint16_t)(v < 4 ? 1185 + (g - 58) : 1222 + (g - 58));
}

std::vector<MapPicture> MapPictures() {
  std::map<uint32_t, MapPicture> out;
  // The first row and variant naming a picture says what it shows.
  for (int g = 1; g <= 99; ++g)
    for (int v = 0; v < 8; ++v) {
      uint16_t id = MapTileId(g, v);
      if (id && !out.count(id)) out[id] = TilePicture(id, g >= 92 ? 0 : g, v);
    }
  out[31] = HexMask();
  MapPicture fog;
  {
    Tile t;
    Blank(t, false);
    fog.id = 4;
    fog.kind = 2;
    fog.frame_height = kH;
    fog.img = t.img;
  }
  out[4] = fog;
  Overlays(out);
  Figures(out);
  Objects(out);
  std::vector<MapPicture> v;
  for (auto& [id, p] : out) v.push_back(std::move(p));
  return v;
}

}  // namespace datakit
