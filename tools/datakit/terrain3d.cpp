// The 3D map's terrain: materials drawn as 256 x 256 pictures, each model's
// ground picture composed from them, and the model geometry (ground lattice,
// trees, rocks, buildings, walls) from the model description.
#include "terrain3d.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "model_kit.h"

namespace fs = std::filesystem;

namespace datakit {

const char* const kTerrainSeasonFolders[kTerrainSeasons] = {"qoe-spring/", "qoe-summer/", "qoe-autumn/",
                                                            "qoe-winter/", "qoe-old/"};

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kTex = 256;
constexpr int kQuality = 80;
// The hex: 64 x 55.424, centred; half width, half depth, quarter width.
constexpr double kW = 32.0, kD = 27.712, kQ = 16.0;

// ---- Materials -------------------------------------------------------------

struct Rgb {
  double r, g, b;
};
Rgb Mix(Rgb a, Rgb b, double t) { return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t}; }

double Wave(int x, int y, uint32_t seed, int detail) {
  return LatticeWave((x + 0.5) / kTex, (y + 0.5) / kTex, seed, detail);
}
double Grain(int x, int y, uint32_t seed) { return (LatticeGrain(x, y, kTex, kTex, seed) - 127.5) / 127.5; }

void Put(ModelPicture& p, int x, int y, Rgb c, double k, int alpha = 255) {
  p.Set(x, y, int(std::lround(c.r * k)), int(std::lround(c.g * k)), int(std::lround(c.b * k)), alpha);
}

// A ground of colour c: large and small waves and a grain.
ModelPicture Ground(Rgb c, double amp, double grain, uint32_t seed) {
  ModelPicture p(kTex, kTex);
  for (int y = 0; y < kTex; y++)
    for (int x = 0; x < kTex; x++) {
      const double n = Wave(x, y, seed, 1) * 0.55 + Wave(x, y, seed + 1, 3) * 0.3 + Wave(x, y, seed + 2, 8) * 0.2;
      Put(p, x, y, c, 1.0 + amp * n + grain * Grain(x, y, seed + 3));
    }
  return p;
}

// Rows across the picture (fields, furrows): 1 on a row, 0 between.
double Rows(int y, int count) { return 0.5 + 0.5 * std::sin(2 * kPi * count * (y + 0.5) / kTex); }

void Specks(ModelPicture& p, uint32_t seed, int threshold, Rgb c) {
  for (int y = 0; y < kTex; y++)
    for (int x = 0; x < kTex; x++)
      if (LatticeGrain(x, y, kTex, kTex, seed) > threshold) Put(p, x, y, c, 1.0);
}

// Thin lines where a wave crosses 0 (cracks in rock and ice).
void Cracks(ModelPicture& p, uint32_t seed, int detail, double width, Rgb c) {
  for (int y = 0; y < kTex; y++)
    for (int x = 0; x < kTex; x++)
      if (std::fabs(Wave(x, y, seed, detail)) < width) Put(p, x, y, c, 1.0);
}

// Ragged alpha near the picture's edges (foliage outlines).
void RaggedEdges(ModelPicture& p, uint32_t seed, int band) {
  for (int y = 0; y < kTex; y++)
    for (int x = 0; x < kTex; x++) {
      const int d = std::min(std::min(x, kTex - 1 - x), std::min(y, kTex - 1 - y));
      if (d >= band) continue;
      const double n = Wave(x, y, seed, 6) * 0.5 + 0.5;
      p.At(x, y)[3] = (double(d) / band > 1.0 - n) ? 255 : 0;
    }
}

ModelPicture Blocks(Rgb c, Rgb mortar, int bw, int bh, uint32_t seed) {
  ModelPicture p(kTex, kTex);
  for (int y = 0; y < kTex; y++)
    for (int x = 0; x < kTex; x++) {
      const int row = y / bh, shift = (row & 1) * bw / 2;
      const int bx = (x + shift) / bw;
      const bool line = y % bh < 2 || (x + shift) % bw < 2;
      const double k = 0.85 + 0.3 * (KitHash(bx, row, seed) & 255) / 255.0 + 0.05 * Grain(x, y, seed);
      Put(p, x, y, line ? mortar : c, line ? 1.0 : k);
    }
  return p;
}

ModelPicture Blades(Rgb c, Rgb tip, uint32_t seed, int count) {
  ModelPicture p(kTex, kTex);
  for (auto& b : p.rgba) b = 0;
  for (int i = 0; i < count; i++) {
    const double x0 = 8 + (KitHash(i, 1, seed) % 240), lean = ((KitHash(i, 2, seed) % 100) - 50) / 100.0;
    const int top = 20 + int(KitHash(i, 3, seed) % 120);
    for (int y = top; y < kTex; y++) {
      const double t = double(y - top) / (kTex - top), x = x0 + lean * (kTex - y) * 0.3;
      const double half = 1.0 + 2.5 * t;
      for (int dx = int(x - half); dx <= int(x + half); dx++) Put(p, dx, y, Mix(tip, c, std::min(1.0, t * 3)), 1.0);
    }
  }
  return p;
}

bool CutOut(const std::string& m) {
  return m == "needles" || m == "needles_snow" || m == "leaves" || m == "leaves_young" || m == "leaves_autumn" ||
         m == "twigs" || m == "palm" || m == "reeds" || m == "reeds_dry" || m == "reeds_frozen" || m == "flowers";
}

ModelPicture DrawMaterial(const std::string& m) {
  uint32_t seed = 7;
  for (char c : m) seed = seed * 31 + uint8_t(c);
  if (m == "grass") return Ground({80, 132, 54}, 0.18, 0.08, seed);
  if (m == "grass_lush") return Ground({72, 148, 52}, 0.18, 0.08, seed);
  if (m == "grass_dry") {
    ModelPicture p = Ground({152, 136, 74}, 0.16, 0.08, seed);
    ModelPicture g = Ground({104, 126, 58}, 0.16, 0.08, seed + 9);
    for (int y = 0; y < kTex; y++)
      for (int x = 0; x < kTex; x++) {
        const uint8_t* c = g.At(x, y);
        p.Blend(x, y, c[0], c[1], c[2], std::clamp(0.35 - 0.5 * Wave(x, y, seed + 4, 3), 0.0, 1.0));
      }
    return p;
  }
  if (m == "meadow") {
    ModelPicture p = Ground({78, 150, 56}, 0.18, 0.08, seed);
    Specks(p, seed + 1, 249, {240, 222, 64});
    Specks(p, seed + 2, 250, {196, 120, 214});
    Specks(p, seed + 3, 251, {246, 246, 240});
    return p;
  }
  if (m == "snow") {
    ModelPicture p = Ground({238, 242, 250}, 0.04, 0.025, seed);
    for (int y = 0; y < kTex; y++)
      for (int x = 0; x < kTex; x++)
        if (Wave(x, y, seed + 5, 1) < -0.5) Put(p, x, y, {224, 230, 244}, 1.0 + 0.02 * Grain(x, y, seed));
    return p;
  }
  if (m == "soil") return Ground({114, 84, 56}, 0.16, 0.1, seed);
  if (m == "ploughed" || m == "crop_green" || m == "crop_gold" || m == "stubble" || m == "vines" ||
      m == "vines_bare") {
    const Rgb row = m == "ploughed" ? Rgb{92, 66, 44} : m == "crop_green" ? Rgb{98, 156, 62}
                    : m == "crop_gold" ? Rgb{222, 186, 84} : m == "stubble" ? Rgb{196, 170, 110}
                    : m == "vines" ? Rgb{64, 122, 50} : Rgb{96, 64, 42};
    const Rgb between = (m == "crop_green" || m == "crop_gold") ? Mix(row, {120, 100, 60}, 0.35) : Rgb{128, 96, 64};
    ModelPicture p(kTex, kTex);
    const int count = (m == "vines" || m == "vines_bare") ? 12 : 24;
    for (int y = 0; y < kTex; y++)
      for (int x = 0; x < kTex; x++) {
        const double r = Rows(y, count) + 0.15 * Wave(x, y, seed, 4);
        Put(p, x, y, r > 0.45 ? row : between, 1.0 + 0.08 * Grain(x, y, seed) + 0.08 * Wave(x, y, seed + 1, 2));
      }
    return p;
  }
  if (m == "rock") {
    ModelPicture p = Ground({130, 124, 116}, 0.25, 0.12, seed);
    Cracks(p, seed + 6, 4, 0.06, {84, 80, 76});
    return p;
  }
  if (m == "sand") {
    ModelPicture p(kTex, kTex);
    for (int y = 0; y < kTex; y++)
      for (int x = 0; x < kTex; x++) {
        const double u = (x + 0.5) / kTex, v = (y + 0.5) / kTex;
        const double ripple = std::sin(2 * kPi * (8 * u + 8 * v) + 1.5 * Wave(x, y, seed, 1));
        Put(p, x, y, {220, 194, 134}, 1.0 + 0.07 * ripple + 0.05 * Grain(x, y, seed));
      }
    return p;
  }
  if (m == "swamp" || m == "swamp_frozen") {
    const bool ice = m == "swamp_frozen";
    ModelPicture p = Ground(ice ? Rgb{204, 208, 204} : Rgb{72, 84, 48}, 0.2, 0.1, seed);
    for (int y = 0; y < kTex; y++)
      for (int x = 0; x < kTex; x++)
        if (Wave(x, y, seed + 7, 2) < -0.45) Put(p, x, y, ice ? Rgb{172, 198, 214} : Rgb{50, 90, 86}, 1.0);
    return p;
  }
  if (m == "moor") {
    ModelPicture p = Ground({108, 90, 72}, 0.2, 0.1, seed);
    Specks(p, seed + 1, 240, {130, 78, 120});
    return p;
  }
  if (m == "forest_floor") return Ground({56, 82, 40}, 0.25, 0.12, seed);
  if (m == "leaf_litter") {
    ModelPicture p = Ground({138, 92, 44}, 0.2, 0.1, seed);
    Specks(p, seed + 1, 244, {190, 64, 36});
    Specks(p, seed + 2, 246, {216, 170, 60});
    return p;
  }
  if (m == "dirt") return Ground({152, 124, 86}, 0.14, 0.1, seed);
  if (m == "cobbles") return Blocks({150, 144, 136}, {96, 90, 84}, 16, 16, seed);
  if (m == "ice") {
    ModelPicture p = Ground({198, 220, 238}, 0.06, 0.03, seed);
    Cracks(p, seed + 6, 3, 0.04, {240, 248, 255});
    return p;
  }
  if (m == "lava") {
    ModelPicture p = Ground({214, 74, 22}, 0.2, 0.1, seed);
    for (int y = 0; y < kTex; y++)
      for (int x = 0; x < kTex; x++)
        if (Wave(x, y, seed + 3, 3) < -0.1) Put(p, x, y, {62, 42, 36}, 1.0);
    return p;
  }
  if (m == "water") {
    ModelPicture p = Ground({60, 94, 136}, 0.14, 0.04, seed);
    for (int y = 0; y < kTex; y++)
      for (int x = 0; x < kTex; x++)
        if (Wave(x, y, seed + 8, 6) > 1.0) Put(p, x, y, {150, 182, 212}, 1.0);
    return p;
  }
  if (m == "missing") {
    ModelPicture p(kTex, kTex);
    for (int y = 0; y < kTex; y++)
      for (int x = 0; x < kTex; x++) {
        const bool dark = ((x / 32) + (y / 32)) & 1;
        Put(p, x, y, dark ? Rgb{30, 30, 30} : Rgb{220, 40, 200}, 1.0);
      }
    // A large question mark, white edged black.
    for (int y = 0; y < kTex; y++)
      for (int x = 0; x < kTex; x++) {
        const double r = std::hypot(x - 128.0, y - 88.0), a = std::atan2(y - 88.0, x - 128.0);
        const bool hook = r > 34 && r < 58 && (a < 1.2 || a > 2.6);
        const bool stem = x > 116 && x < 140 && y > 128 && y < 176;
        const bool dot = std::hypot(x - 128.0, y - 206.0) < 14;
        const bool edge = (r > 30 && r < 62 && (a < 1.3 || a > 2.5)) || (x > 112 && x < 144 && y > 124 && y < 180) ||
                          std::hypot(x - 128.0, y - 206.0) < 18;
        if (hook || stem || dot) Put(p, x, y, {255, 255, 255}, 1.0);
        else if (edge) Put(p, x, y, {0, 0, 0}, 1.0);
      }
    return p;
  }
  if (m == "black") return Ground({20, 20, 28}, 0.1, 0.05, seed);
  // Parts of things.
  if (m == "needles" || m == "needles_snow") {
    ModelPicture p(kTex, kTex);
    for (int y = 0; y < kTex; y++)
      for (int x = 0; x < kTex; x++) {
        // Tiers of branches: darker bands across the cone.
        const double tier = 0.5 + 0.5 * std::sin(2 * kPi * 5 * y / kTex);
        Put(p, x, y, {36, 92, 52}, 0.7 + 0.35 * tier + 0.15 * Grain(x, y, seed));
        if (m == "needles_snow" && tier > 0.55 + 0.3 * Wave(x, y, seed, 4)) Put(p, x, y, {236, 240, 248}, 1.0);
      }
    for (int y = kTex - 24; y < kTex; y++)
      for (int x = 0; x < kTex; x++)
        if (Grain(x, y / 4, seed + 2) > 0.2 - (kTex - y) / 24.0) p.At(x, y)[3] = 0;
    return p;
  }
  if (m == "leaves" || m == "leaves_young" || m == "leaves_autumn") {
    ModelPicture p(kTex, kTex);
    for (int y = 0; y < kTex; y++)
      for (int x = 0; x < kTex; x++) {
        const double clump = Wave(x, y, seed, 6);
        Rgb c = m == "leaves" ? Rgb{58, 126, 46} : m == "leaves_young" ? Rgb{112, 172, 70} : Rgb{212, 122, 40};
        if (m == "leaves_autumn") {
          const double h = Wave(x, y, seed + 3, 2);
          c = h < -0.4 ? Rgb{184, 52, 30} : h > 0.5 ? Rgb{224, 182, 60} : c;
        }
        Put(p, x, y, c, 0.8 + 0.25 * clump + 0.1 * Grain(x, y, seed));
      }
    RaggedEdges(p, seed, 28);
    return p;
  }
  if (m == "twigs") {
    ModelPicture p(kTex, kTex);
    for (auto& b : p.rgba) b = 0;
    // Branches fanning up from the bottom middle.
    for (int i = 0; i < 14; i++) {
      const double a = -1.2 + 2.4 * i / 13.0, len = 150 + (KitHash(i, 0, seed) % 90);
      for (int s = 0; s < int(len); s++) {
        const double t = s / len;
        const double x = 128 + std::sin(a) * s + 8 * std::sin(t * 6 + i), y = 250 - std::cos(a) * s;
        const int half = t < 0.3 ? 3 : t < 0.7 ? 2 : 1;
        for (int dx = -half; dx <= half; dx++) Put(p, int(x) + dx, int(y), {92, 70, 52}, 1.0);
      }
    }
    return p;
  }
  if (m == "palm") {
    ModelPicture p(kTex, kTex);
    for (int y = 0; y < kTex; y++)
      for (int x = 0; x < kTex; x++) {
        const double across = std::fabs(y - 128.0) / 128.0, leaflet = std::sin(x * 0.5) * 0.5 + 0.5;
        const bool on = across < 0.12 || (across < 0.9 - x / 400.0 && leaflet > 0.35);
        Put(p, x, y, across < 0.12 ? Rgb{110, 120, 50} : Rgb{70, 140, 56}, 0.85 + 0.15 * Grain(x, y, seed), on ? 255 : 0);
      }
    return p;
  }
  if (m == "bark") {
    ModelPicture p(kTex, kTex);
    for (int y = 0; y < kTex; y++)
      for (int x = 0; x < kTex; x++)
        Put(p, x, y, {104, 72, 46}, 0.85 + 0.2 * std::sin(x * 0.4 + 2 * Wave(x, y, seed, 2)) + 0.08 * Grain(x, y, seed));
    return p;
  }
  if (m == "roof_red" || m == "roof_slate" || m == "roof_snow") {
    const Rgb c = m == "roof_red" ? Rgb{170, 62, 44} : m == "roof_slate" ? Rgb{78, 86, 108} : Rgb{236, 238, 246};
    ModelPicture p = Blocks(c, Mix(c, {0, 0, 0}, m == "roof_snow" ? 0.06 : 0.35), 32, 21, seed);
    return p;
  }
  if (m == "roof_thatch") {
    ModelPicture p(kTex, kTex);
    for (int y = 0; y < kTex; y++)
      for (int x = 0; x < kTex; x++)
        Put(p, x, y, {178, 146, 82}, 0.85 + 0.15 * std::sin(x * 0.9 + Wave(x, y, seed, 3)) + 0.1 * Grain(x, y, seed));
    return p;
  }
  if (m == "wall_plaster") {
    ModelPicture p = Ground({224, 208, 170}, 0.05, 0.05, seed);
    const Rgb timber{96, 64, 40};
    for (int y = 0; y < kTex; y++)
      for (int x = 0; x < kTex; x++) {
        const bool frame = x < 14 || x > kTex - 15 || y < 14 || y > kTex - 15 || std::abs(x - 128) < 6;
        const bool window = (std::abs(x - 64) < 18 || std::abs(x - 192) < 18) && y > 70 && y < 140;
        if (frame) Put(p, x, y, timber, 1.0);
        else if (window) Put(p, x, y, {44, 48, 60}, 1.0);
      }
    return p;
  }
  if (m == "wall_stone" || m == "stone") return Blocks({152, 146, 134}, {100, 96, 90}, m == "stone" ? 48 : 32, 16, seed);
  if (m == "wood") {
    ModelPicture p(kTex, kTex);
    for (int y = 0; y < kTex; y++)
      for (int x = 0; x < kTex; x++)
        Put(p, x, y, {134, 94, 54}, (x % 32 < 2 ? 0.6 : 1.0) + 0.1 * Grain(x, y, seed));
    return p;
  }
  if (m == "reeds") return Blades({112, 140, 60}, {150, 120, 70}, seed, 90);
  if (m == "reeds_dry") return Blades({178, 156, 94}, {120, 90, 60}, seed, 90);
  if (m == "reeds_frozen") return Blades({208, 208, 198}, {240, 244, 250}, seed, 90);
  if (m == "flowers") {
    ModelPicture p = Blades({70, 132, 52}, {70, 132, 52}, seed, 50);
    for (int i = 0; i < 60; i++) {
      const int x = 10 + KitHash(i, 5, seed) % 236, y = 10 + KitHash(i, 6, seed) % 140;
      const Rgb c = i % 3 == 0 ? Rgb{240, 220, 60} : i % 3 == 1 ? Rgb{200, 110, 220} : Rgb{240, 90, 80};
      for (int dy = -5; dy <= 5; dy++)
        for (int dx = -5; dx <= 5; dx++)
          if (dx * dx + dy * dy <= 25) Put(p, x + dx, y + dy, c, 1.0);
    }
    return p;
  }
  if (m == "hay") {
    ModelPicture p(kTex, kTex);
    for (int y = 0; y < kTex; y++)
      for (int x = 0; x < kTex; x++)
        Put(p, x, y, {216, 184, 94}, 0.85 + 0.15 * std::sin(y * 0.7 + x * 0.2 + Wave(x, y, seed, 3)) + 0.08 * Grain(x, y, seed));
    return p;
  }
  return Ground({128, 128, 128}, 0.1, 0.1, seed);
}

// Shade levels of a face by its slope to the light (from the north-west,
// high): brighter, plain, shaded, dark. The engine draws the terrain unlit,
// so the pictures carry the light.
constexpr int kShadeLevels = 4;
const double kShade[kShadeLevels] = {1.1, 1.0, 0.8, 0.62};
const char* const kShadeSuffix[kShadeLevels] = {"_lit", "", "_shade", "_dark"};

ModelPicture Shaded(const ModelPicture& p, int level) {
  ModelPicture out = p;
  for (size_t i = 0; i < out.rgba.size(); i += 4)
    for (int k = 0; k < 3; k++) out.rgba[i + k] = uint8_t(std::min(255.0, p.rgba[i + k] * kShade[level] + 0.5));
  return out;
}

// Drawn materials and their encoded textures, made once.
struct MaterialStore {
  std::map<std::string, ModelPicture> pictures;
  std::map<std::string, QoeTexture> textures;
  const ModelPicture& Picture(const std::string& m) {
    auto it = pictures.find(m);
    if (it == pictures.end()) it = pictures.emplace(m, DrawMaterial(m)).first;
    return it->second;
  }
  const QoeTexture& Texture(const std::string& m, int level) {
    const std::string key = m + kShadeSuffix[level];
    auto it = textures.find(key);
    if (it == textures.end())
      it = textures
               .emplace(key, JpegTexture("Terrain " + key, key + ".jpg", Shaded(Picture(m), level), CutOut(m) ? 32 : 24,
                                         kQuality))
               .first;
    return it->second;
  }
};

MaterialStore& Materials() {
  static MaterialStore store;
  return store;
}

// ---- Hex geometry -----------------------------------------------------------

// Outward normals of the sides 0 north (-z) .. 5 north-west, clockwise.
const double kSideNormal[6][2] = {{0, -1}, {0.8660254, -0.5}, {0.8660254, 0.5},
                                  {0, 1},  {-0.8660254, 0.5}, {-0.8660254, -0.5}};

// Distance of (x, z) inside side s (0 on the side).
double SideDist(double x, double z, int s) { return kD - (x * kSideNormal[s][0] + z * kSideNormal[s][1]); }
double EdgeDist(double x, double z) {
  double d = 1e9;
  for (int s = 0; s < 6; s++) d = std::min(d, SideDist(x, z, s));
  return d;
}

double Smooth(double a, double b, double t) {
  const double k = std::clamp((t - a) / (b - a), 0.0, 1.0);
  return k * k * (3 - 2 * k);
}

// The centre line of a track from side a to side b through the middle.
void TrackPoint(int a, int b, double t, double* x, double* z) {
  const double ax = kSideNormal[a][0] * kD * 1.05, az = kSideNormal[a][1] * kD * 1.05;
  const double bx = kSideNormal[b][0] * kD * 1.05, bz = kSideNormal[b][1] * kD * 1.05;
  const double u = 1 - t;
  *x = u * u * ax + t * t * bx;
  *z = u * u * az + t * t * bz;
}
double TrackDist(int a, int b, double x, double z) {
  double best = 1e9;
  for (int i = 0; i <= 48; i++) {
    double px, pz;
    TrackPoint(a, b, i / 48.0, &px, &pz);
    best = std::min(best, (px - x) * (px - x) + (pz - z) * (pz - z));
  }
  return std::sqrt(best);
}

// What covers the ground at a point: weights 0 .. 1 of water (pools,
// rivers, the sea along sides) and of tracks.
struct Cover {
  double water = 0, sea = 0, track = 0;
};

Cover CoverAt(const TerrainModelDesc& m, double x, double z) {
  Cover c;
  for (const TerrainFeatureDesc& f : m.features) {
    switch (f.kind) {
      case TerrainFeature::kWater: {
        double d = 1e9;
        for (char s : f.word) d = std::min(d, SideDist(x, z, s - '0'));
        const double edge = 12.5 + 1.5 * LatticeWave((x + kW) / 64, (z + kD) / 55.424, m.seed, 2);
        c.sea = std::max(c.sea, 1.0 - Smooth(edge - 1.0, edge + 1.0, d));
        break;
      }
      case TerrainFeature::kPool: {
        const double d = std::hypot(x - f.num[0], (z - f.num[1]) * 1.25) - f.num[2];
        c.water = std::max(c.water, 1.0 - Smooth(-1.0, 0.5, d));
        break;
      }
      case TerrainFeature::kRiver: {
        const double d = TrackDist(int(f.num[0]), int(f.num[1]), x, z) - f.num[2];
        c.water = std::max(c.water, 1.0 - Smooth(-0.8, 0.4, d));
        break;
      }
      case TerrainFeature::kPath: {
        const double d = TrackDist(int(f.num[0]), int(f.num[1]), x, z) - f.num[2];
        c.track = std::max(c.track, 1.0 - Smooth(-0.5, 0.5, d));
        break;
      }
      default:
        break;
    }
  }
  return c;
}

// The ground's height at a point: bumps and pits, the noise, water lowered;
// 0 on the hex outline.
double HeightAt(const TerrainModelDesc& m, double x, double z) {
  double h = m.relief * LatticeWave((x + kW) / 64, (z + kD) / 55.424, m.seed + 17, 1);
  for (const TerrainFeatureDesc& f : m.features) {
    if (f.kind != TerrainFeature::kPeak && f.kind != TerrainFeature::kPit) continue;
    const double t = std::hypot(x - f.num[0], z - f.num[1]) / f.num[2];
    if (t >= 1) continue;
    const double bump = 0.5 + 0.5 * std::cos(kPi * t);
    h += (f.kind == TerrainFeature::kPeak ? 1 : -1) * f.num[3] * bump;
  }
  const Cover c = CoverAt(m, x, z);
  const double wet = std::max(c.water, c.sea);
  h = h * (1 - wet) - 0.6 * wet;
  if (c.track > 0) h *= 1 - 0.5 * c.track;
  return h * Smooth(0.0, 7.0, EdgeDist(x, z));
}

// ---- The ground picture of a model -------------------------------------------

void TexToHex(int px, int py, double* x, double* z) {
  *x = (px + 0.5) / kTex * 64.0 - kW;
  *z = (py + 0.5) / kTex * 55.424 - kD;
}

const std::string& SeasonOf(const SeasonMaterials& s, int season) { return s[size_t(season)]; }

// Where a model's painted parts lie on its ground picture: a weight per
// pixel for each painted feature, and the water cover. The same in every
// season, so worked out once per model.
struct PaintLayers {
  std::vector<std::vector<float>> feature;  // per painted feature, in order
  std::vector<Cover> cover;
};

bool Painted(TerrainFeature k) {
  return k == TerrainFeature::kPatch || k == TerrainFeature::kField || k == TerrainFeature::kPath;
}

const PaintLayers& Layers(const TerrainModelDesc& m) {
  static std::map<std::string, PaintLayers> cache;
  auto it = cache.find(m.name);
  if (it != cache.end()) return it->second;
  PaintLayers l;
  const size_t n = size_t(kTex) * kTex;
  for (const TerrainFeatureDesc& f : m.features) {
    if (!Painted(f.kind)) continue;
    std::vector<float> w(n);
    for (int y = 0; y < kTex; y++)
      for (int x = 0; x < kTex; x++) {
        double hx, hz, k = 0;
        TexToHex(x, y, &hx, &hz);
        if (f.kind == TerrainFeature::kPatch) {
          k = 1 - Smooth(-1.0, 0.5, std::hypot(hx - f.num[0], hz - f.num[1]) - f.num[2]);
        } else if (f.kind == TerrainFeature::kField) {
          const double x0 = std::min(f.num[0], f.num[2]), x1 = std::max(f.num[0], f.num[2]);
          const double z0 = std::min(f.num[1], f.num[3]), z1 = std::max(f.num[1], f.num[3]);
          k = Smooth(-0.3, 0.3, std::min(std::min(hx - x0, x1 - hx), std::min(hz - z0, z1 - hz)));
        } else {
          k = 1 - Smooth(-0.5, 0.5, TrackDist(int(f.num[0]), int(f.num[1]), hx, hz) - f.num[2]);
        }
        w[size_t(y) * kTex + x] = float(k);
      }
    l.feature.push_back(std::move(w));
  }
  l.cover.resize(n);
  for (int y = 0; y < kTex; y++)
    for (int x = 0; x < kTex; x++) {
      double hx, hz;
      TexToHex(x, y, &hx, &hz);
      l.cover[size_t(y) * kTex + x] = CoverAt(m, hx, hz);
    }
  return cache.emplace(m.name, std::move(l)).first->second;
}

ModelPicture GroundPicture(const TerrainModelDesc& m, int season) {
  MaterialStore& store = Materials();
  ModelPicture p = store.Picture(SeasonOf(m.ground, season));
  const ModelPicture& water = store.Picture("water");
  const ModelPicture& still = store.Picture(season == 3 ? "ice" : "water");
  const ModelPicture& shore = store.Picture(season == 3 ? "snow" : "sand");
  auto blend = [&](int x, int y, const ModelPicture& src, double k, double shade = 1.0) {
    const uint8_t* s = src.At(x, y);
    p.Blend(x, y, int(s[0] * shade), int(s[1] * shade), int(s[2] * shade), k);
  };
  const PaintLayers& layers = Layers(m);
  size_t layer = 0;
  for (const TerrainFeatureDesc& f : m.features) {
    if (!Painted(f.kind)) continue;
    const ModelPicture& src = store.Picture(SeasonOf(f.materials, season));
    const std::vector<float>& w = layers.feature[layer++];
    for (int y = 0; y < kTex; y++)
      for (int x = 0; x < kTex; x++)
        if (w[size_t(y) * kTex + x] > 0) blend(x, y, src, w[size_t(y) * kTex + x]);
  }
  // Water: pools and rivers (ice in winter), the sea along sides; a shore
  // rim round them.
  std::vector<uint8_t> wet(size_t(kTex) * kTex);
  for (int y = 0; y < kTex; y++)
    for (int x = 0; x < kTex; x++) {
      const Cover& c = layers.cover[size_t(y) * kTex + x];
      if (c.sea > 0) blend(x, y, water, c.sea, 0.82);
      if (c.water > 0) blend(x, y, still, c.water, season == 3 ? 1.0 : 0.85);
      wet[size_t(y) * kTex + x] = std::max(c.sea, c.water) > 0.5;
    }
  for (int y = 0; y < kTex; y++)
    for (int x = 0; x < kTex; x++) {
      if (wet[size_t(y) * kTex + x]) continue;
      bool near = false;
      for (int dy = -6; dy <= 6 && !near; dy += 3)
        for (int dx = -6; dx <= 6 && !near; dx += 3) {
          const int nx = x + dx, ny = y + dy;
          near = nx >= 0 && ny >= 0 && nx < kTex && ny < kTex && wet[size_t(ny) * kTex + nx];
        }
      if (near) blend(x, y, shore, 0.8);
    }
  return p;
}

// ---- Building the model ---------------------------------------------------------

struct Vec {
  double x, y, z;
};

class Maker {
 public:
  Maker(const TerrainModelDesc& m, int season, bool high) : m_(m), season_(season), high_(high) {
    if (!m.foliage[0].empty()) foliage_ = m.foliage;
  }

  bool Build(QoeModel* out, std::string* err, const std::string& file) {
    Ground();
    // Buildings that stand at fixed places first, so that houses, trees and
    // rocks are placed round them.
    auto fixed = [](TerrainFeature k) {
      return k == TerrainFeature::kTownWall || k == TerrainFeature::kTowers || k == TerrainFeature::kKeep ||
             k == TerrainFeature::kHearth || k == TerrainFeature::kMill || k == TerrainFeature::kStones ||
             k == TerrainFeature::kWell || k == TerrainFeature::kRuin;
    };
    for (const TerrainFeatureDesc& f : m_.features)
      if (fixed(f.kind)) Feature(f);
    for (const TerrainFeatureDesc& f : m_.features)
      if (!fixed(f.kind)) Feature(f);
    const int budget = high_ ? kHighFaceBudget : kLowFaceBudget;
    if (b_.FaceCount() > budget) {
      *err = file + ":" + std::to_string(m_.line) + ": model " + m_.name + " has " + std::to_string(b_.FaceCount()) +
             " faces in its " + (high_ ? "high" : "low") + " detail, over its budget of " + std::to_string(budget);
      return false;
    }
    *out = b_.Finish(m_.name);
    // Nothing may leave the hex: the engine scales the box to the hex.
    const QoeObject& o = out->objects[0];
    if (o.min[0] != float(-kW) || o.max[0] != float(kW) || o.min[2] != float(-kD) || o.max[2] != float(kD)) {
      *err = file + ":" + std::to_string(m_.line) + ": model " + m_.name + " reaches off the hex";
      return false;
    }
    return true;
  }

 private:
  // A material of the model ("" the model's own ground picture).
  uint16_t Tex(const std::string& material) {
    for (size_t i = 0; i < mats_.size(); i++)
      if (mats_[i] == material) return uint16_t(i);
    mats_.push_back(material);
    return uint16_t(mats_.size() - 1);
  }
  uint16_t GroundTex() { return Tex(""); }
  const QoeTexture& TextureOf(const std::string& material, int level) {
    if (!material.empty()) return Materials().Texture(material, level);
    static std::map<std::string, QoeTexture> cache;
    static std::map<std::string, ModelPicture> pictures;
    static const char* const kSeason[] = {"spring", "summer", "autumn", "winter", "old"};
    std::string lower = m_.name;
    for (char& c : lower) c = char(std::tolower(uint8_t(c)));
    const std::string base = "ground_" + lower + "_" + kSeason[season_];
    const std::string key = base + kShadeSuffix[level];
    auto it = cache.find(key);
    if (it == cache.end()) {
      auto pic = pictures.find(base);
      if (pic == pictures.end()) pic = pictures.emplace(base, GroundPicture(m_, season_)).first;
      it = cache.emplace(key, JpegTexture("Ground " + m_.name + kShadeSuffix[level], key + ".jpg",
                                          Shaded(pic->second, level), 24, kQuality))
               .first;
    }
    return it->second;
  }
  const std::string& Mat(const SeasonMaterials& s) { return s[size_t(season_)]; }
  uint32_t Rand(int i, int k) { return KitHash(i, k, m_.seed * 7 + 3); }
  double Randf(int i, int k) { return (Rand(i, k) % 10000) / 10000.0; }

  static ModelVertex V(const Vec& p, double u, double v) {
    return {float(p.x), float(p.y), float(p.z), float(u), float(v)};
  }
  void Face(uint16_t material, const std::vector<ModelVertex>& v, Vec outward) {
    const float o[3] = {float(outward.x), float(outward.y), float(outward.z)};
    // The face's normal, turned outwards, against the light.
    const double ax = v[1].x - v[0].x, ay = v[1].y - v[0].y, az = v[1].z - v[0].z;
    const double bx = v[2].x - v[0].x, by = v[2].y - v[0].y, bz = v[2].z - v[0].z;
    double n[3] = {ay * bz - az * by, az * bx - ax * bz, ax * by - ay * bx};
    const double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    double d = 0.8;
    if (len > 1e-9) {
      const double sign = n[0] * outward.x + n[1] * outward.y + n[2] * outward.z < 0 ? -1 : 1;
      d = sign * (n[0] * -0.45 + n[1] * 0.8 + n[2] * -0.4) / (len * 1.0012);
    }
    const int level = d >= 0.93 ? 0 : d >= 0.72 ? 1 : d >= 0.45 ? 2 : 3;
    b_.Face(b_.Texture(TextureOf(mats_[material], level)), v, o);
  }

  // The ground: a triangle lattice over the hex, n steps from the centre
  // to each corner; the outline's points exactly on the outline at 0.
  void Ground() {
    bool relief = false;
    for (const TerrainFeatureDesc& f : m_.features)
      relief |= f.kind == TerrainFeature::kPeak || f.kind == TerrainFeature::kPit;
    const int n = high_ ? m_.grid : (relief ? 2 : 1);
    auto point = [&](int a, int b) {
      Vec p{(a + b / 2.0) * kW / n, 0, b * kD / n};
      if (std::max({std::abs(a), std::abs(b), std::abs(a + b)}) == n) {
        // On the outline: exactly between two exact corners.
        p.y = 0;
        return p;
      }
      p.y = HeightAt(m_, p.x, p.z);
      return p;
    };
    const TerrainFeatureDesc* cap = nullptr;
    const TerrainFeatureDesc* steep = nullptr;
    for (const TerrainFeatureDesc& f : m_.features) {
      if (f.kind == TerrainFeature::kCap) cap = &f;
      if (f.kind == TerrainFeature::kSteep) steep = &f;
    }
    auto tri = [&](Vec p0, Vec p1, Vec p2) {
      const Vec c{(p0.x + p1.x + p2.x) / 3, (p0.y + p1.y + p2.y) / 3, (p0.z + p1.z + p2.z) / 3};
      const double ax = p1.x - p0.x, ay = p1.y - p0.y, az = p1.z - p0.z;
      const double bx = p2.x - p0.x, by = p2.y - p0.y, bz = p2.z - p0.z;
      const double nx = ay * bz - az * by, ny = az * bx - ax * bz, nz = ax * by - ay * bx;
      const double slope = std::fabs(ny) / std::max(1e-9, std::sqrt(nx * nx + ny * ny + nz * nz));
      uint16_t tex;
      if (cap && c.y > cap->num[0]) tex = Tex(Mat(cap->materials));
      else if (steep && slope < 0.72) tex = Tex(Mat(steep->materials));
      else tex = GroundTex();
      auto uv = [](const Vec& p) { return ModelVertex{float(p.x), float(p.y), float(p.z), float((p.x + kW) / 64.0),
                                                      float((p.z + kD) / 55.424)}; };
      Face(tex, {uv(p0), uv(p1), uv(p2)}, {0, 1, 0});
    };
    auto inside = [&](int a, int b) { return std::max({std::abs(a), std::abs(b), std::abs(a + b)}) <= n; };
    for (int a = -n; a < n; a++)
      for (int b = -n; b < n; b++) {
        if (inside(a, b) && inside(a + 1, b) && inside(a, b + 1)) tri(point(a, b), point(a + 1, b), point(a, b + 1));
        if (inside(a + 1, b) && inside(a + 1, b + 1) && inside(a, b + 1))
          tri(point(a + 1, b), point(a + 1, b + 1), point(a, b + 1));
      }
  }

  // Free places for things of radius r: inside the hex, off water and
  // tracks, clear of what stands already; in a circle when given.
  std::vector<Vec> Place(int count, double r, uint32_t salt, const double* circle = nullptr, bool on_track = false) {
    std::vector<Vec> out;
    for (int i = 0; i < 600 && int(out.size()) < count; i++) {
      double x, z;
      if (circle) {
        const double a = Randf(i, int(salt)) * 2 * kPi, d = std::sqrt(Randf(i, int(salt) + 1)) * circle[2];
        x = circle[0] + std::cos(a) * d;
        z = circle[1] + std::sin(a) * d;
      } else {
        x = (Randf(i, int(salt)) * 2 - 1) * kW;
        z = (Randf(i, int(salt) + 1) * 2 - 1) * kD;
      }
      if (EdgeDist(x, z) < r + 1.5) continue;
      const Cover c = CoverAt(m_, x, z);
      if (std::max(c.water, c.sea) > 0.05 || CoverAt(m_, x + r, z).sea > 0.05 || CoverAt(m_, x - r, z).sea > 0.05 ||
          CoverAt(m_, x, z + r).sea > 0.05 || CoverAt(m_, x, z - r).sea > 0.05)
        continue;
      if (!on_track && c.track > 0.05) continue;
      bool clash = false;
      for (const Vec& t : taken_) clash |= std::hypot(t.x - x, t.z - z) < t.y + r;
      if (clash) continue;
      out.push_back({x, HeightAt(m_, x, z), z});
      taken_.push_back({x, r, z});
    }
    return out;
  }
  void Reserve(double x, double z, double r) { taken_.push_back({x, r, z}); }
  double H(double x, double z) { return HeightAt(m_, x, z); }

  // A pyramid (or cone) of s sides: base centre c at radius r, apex h up.
  void Cone(uint16_t tex, Vec c, double r, double h, int s, double turn, double base_lift = 0) {
    for (int i = 0; i < s; i++) {
      const double a0 = turn + 2 * kPi * i / s, a1 = turn + 2 * kPi * (i + 1) / s;
      const Vec p0{c.x + std::cos(a0) * r, c.y + base_lift, c.z + std::sin(a0) * r};
      const Vec p1{c.x + std::cos(a1) * r, c.y + base_lift, c.z + std::sin(a1) * r};
      const Vec top{c.x, c.y + base_lift + h, c.z};
      const double am = (a0 + a1) / 2;
      Face(tex, {V(p0, 0, 1), V(p1, 1, 1), V(top, 0.5, 0)}, {std::cos(am), 0.3, std::sin(am)});
    }
  }
  // A box of half sizes (hx, hz) turned by a, from y0 to y1: its sides and
  // (when top) its top.
  void Box(uint16_t side, uint16_t top_tex, Vec c, double hx, double hz, double y0, double y1, double a, bool top,
           int sides = 4) {
    const double ca = std::cos(a), sa = std::sin(a);
    auto at = [&](double dx, double dz, double y) { return Vec{c.x + dx * ca - dz * sa, y, c.z + dx * sa + dz * ca}; };
    const double cx[4] = {-hx, hx, hx, -hx}, cz[4] = {-hz, -hz, hz, hz};
    for (int i = 0; i < sides; i++) {
      const int j = (i + 1) % 4;
      const Vec mid = at((cx[i] + cx[j]) / 2, (cz[i] + cz[j]) / 2, 0);
      Face(side, {V(at(cx[i], cz[i], y0), 0, 1), V(at(cx[j], cz[j], y0), 1, 1), V(at(cx[j], cz[j], y1), 1, 0),
                  V(at(cx[i], cz[i], y1), 0, 0)},
           {mid.x - c.x, 0, mid.z - c.z});
    }
    if (top)
      Face(top_tex, {V(at(cx[0], cz[0], y1), 0, 0), V(at(cx[1], cz[1], y1), 1, 0), V(at(cx[2], cz[2], y1), 1, 1),
                     V(at(cx[3], cz[3], y1), 0, 1)},
           {0, 1, 0});
  }
  // A gabled house: walls, two roof slopes, gables (high only).
  void House(Vec c, double size, double a) {
    const double hx = 2.6 * size, hz = 1.8 * size, wall = 2.6 * size, ridge = 2.0 * size;
    const double y0 = c.y - 0.6, y1 = c.y + wall, y2 = y1 + ridge;
    const uint16_t w = Tex(house_wall_), r = Tex(Mat(m_.roof));
    const double ca = std::cos(a), sa = std::sin(a);
    auto at = [&](double dx, double dz, double y) { return Vec{c.x + dx * ca - dz * sa, y, c.z + dx * sa + dz * ca}; };
    Box(w, w, c, hx, hz, y0, y1, a, false, high_ ? 4 : 2);
    const double e = 0.5;  // eaves
    for (int s : {-1, 1}) {
      Face(r, {V(at(-hx - e, s * (hz + e), y1 - 0.4), 0, 1), V(at(hx + e, s * (hz + e), y1 - 0.4), 1, 1),
               V(at(hx + e, 0, y2), 1, 0), V(at(-hx - e, 0, y2), 0, 0)},
           {-s * sa, 1.0, s * ca});
      if (high_)
        Face(w, {V(at(s * hx, -hz, y1), 0, 1), V(at(s * hx, hz, y1), 1, 1), V(at(s * hx, 0, y2), 0.5, 0)},
             {s * ca, 0, s * sa});
    }
  }
  void Tower(Vec c, double r, double h, double a) {
    const uint16_t w = Tex(stone_wall_), roof = Tex(Mat(m_.roof));
    Box(w, w, c, r, r, c.y - 0.6, c.y + h, a, false, high_ ? 4 : 2);
    Cone(roof, {c.x, c.y + h, c.z}, r * 1.45, r * 2.2, 4, a + kPi / 4);
  }

  void Tree(const std::string& kind, Vec p, int i) {
    const double s = 0.8 + 0.4 * Randf(i, 77), turn = Randf(i, 78) * kPi;
    const bool winter = season_ == 3;
    if (kind == "conifer") {
      const uint16_t t = Tex(winter ? "needles_snow" : "needles");
      Cone(t, p, 3.2 * s, 9.5 * s, high_ ? 5 : 3, turn, 0.5);
      return;
    }
    if (kind == "bush") {
      const uint16_t t = Tex(Mat(foliage_));
      Cone(t, {p.x, p.y - 0.3, p.z}, 2.2 * s, 2.6 * s, high_ ? 4 : 3, turn);
      return;
    }
    if (kind == "palm" || kind == "dead") {
      const uint16_t bark = Tex("bark");
      const double h = (kind == "palm" ? 8.0 : 6.0) * s;
      Cone(bark, {p.x, p.y - 0.3, p.z}, 0.6 * s, h, 3, turn);
      const uint16_t top = Tex(kind == "palm" ? "palm" : "twigs");
      const int leaves = high_ ? 4 : 2;
      for (int k = 0; k < leaves; k++) {
        const double a = turn + kPi * 2 * k / leaves, len = 4.5 * s;
        const Vec o{p.x, p.y + h * 0.95, p.z};
        const Vec tip{p.x + std::cos(a) * len, p.y + h - (kind == "palm" ? 2.0 : -2.0), p.z + std::sin(a) * len};
        const Vec side{-std::sin(a) * 1.2 * s, 0, std::cos(a) * 1.2 * s};
        Face(top, {V({o.x - side.x, o.y, o.z - side.z}, 0, 0), V({o.x + side.x, o.y, o.z + side.z}, 0, 1),
                   V({tip.x + side.x, tip.y, tip.z + side.z}, 1, 1), V({tip.x - side.x, tip.y, tip.z - side.z}, 1, 0)},
             {0, 1, 0});
      }
      return;
    }
    // Broadleaf: a trunk and a crown of two pyramids (the lower one only in
    // the high detail); bare twigs in winter.
    const uint16_t crown = Tex(Mat(foliage_));
    const double r = 3.6 * s, mid = p.y + 5.2 * s;
    if (high_) Cone(Tex("bark"), {p.x, p.y - 0.3, p.z}, 0.7 * s, 5.0 * s, 3, turn);
    Cone(crown, {p.x, mid, p.z}, r, 3.6 * s, 4, turn);
    if (high_) Cone(crown, {p.x, mid, p.z}, r, -3.0 * s, 4, turn);
  }

  void Feature(const TerrainFeatureDesc& f) {
    const bool winter = season_ == 3;
    switch (f.kind) {
      case TerrainFeature::kTrees: {
        const int n = int(high_ ? f.num[0] : f.num[1]);
        const double circle[3] = {f.num.size() == 5 ? f.num[2] : 0, f.num.size() == 5 ? f.num[3] : 0,
                                  f.num.size() == 5 ? f.num[4] : 0};
        const double r = f.word == "bush" ? 2.2 : f.word == "conifer" ? 3.0 : 3.4;
        std::vector<Vec> spots = Place(int(f.num[0]), r, 100 + uint32_t(f.line), f.num.size() == 5 ? circle : nullptr);
        for (int i = 0; i < n && i < int(spots.size()); i++) Tree(f.word, spots[size_t(i)], i);
        break;
      }
      case TerrainFeature::kRocks: {
        const int n = int(high_ ? f.num[0] : f.num[1]);
        std::vector<Vec> spots = Place(int(f.num[0]), f.num[2], 200 + uint32_t(f.line));
        const uint16_t t = Tex(winter ? "snow" : "rock");
        for (int i = 0; i < n && i < int(spots.size()); i++)
          Cone(t, {spots[size_t(i)].x, spots[size_t(i)].y - 0.4, spots[size_t(i)].z}, f.num[2],
               f.num[2] * (0.8 + 0.6 * Randf(i, 5)), high_ ? 4 : 3, Randf(i, 6) * kPi);
        break;
      }
      case TerrainFeature::kHouses: {
        const int n = int(high_ ? f.num[0] : f.num[1]);
        std::vector<Vec> spots = Place(int(f.num[0]), 3.2 * f.num[2], 300 + uint32_t(f.line));
        for (int i = 0; i < n && i < int(spots.size()); i++) House(spots[size_t(i)], f.num[2], Randf(i, 9) * kPi);
        break;
      }
      case TerrainFeature::kTownWall: {
        // A ring wall 4.5 inside the outline: an outer face per side, and
        // in the high detail a top and an inner face.
        const uint16_t w = Tex(stone_wall_);
        const double in = 4.5, thick = 1.2, hgt = 3.2;
        for (int s = 0; s < 6; s++) {
          // Corners of the wall ring: the hex corners scaled inwards.
          static const double kCorner[6][2] = {{-kQ, -kD}, {kQ, -kD}, {kW, 0}, {kQ, kD}, {-kQ, kD}, {-kW, 0}};
          const double k0 = (kD - in) / kD, k1 = (kD - in - thick) / kD;
          const double* c0 = kCorner[s];
          const double* c1 = kCorner[(s + 1) % 6];
          const Vec o0{c0[0] * k0, 0, c0[1] * k0}, o1{c1[0] * k0, 0, c1[1] * k0};
          const Vec i0{c0[0] * k1, 0, c0[1] * k1}, i1{c1[0] * k1, 0, c1[1] * k1};
          const double g0 = std::min(H(o0.x, o0.z), H(o1.x, o1.z)) - 0.6, top = std::max(H(o0.x, o0.z), H(o1.x, o1.z)) + hgt;
          const Vec out{kSideNormal[s][0], 0, kSideNormal[s][1]};
          Face(w, {V({o0.x, g0, o0.z}, 0, 1), V({o1.x, g0, o1.z}, 1, 1), V({o1.x, top, o1.z}, 1, 0.7),
                   V({o0.x, top, o0.z}, 0, 0.7)},
               out);
          if (!high_) continue;
          Face(Tex(winter ? "snow" : stone_wall_),
               {V({o0.x, top, o0.z}, 0, 0), V({o1.x, top, o1.z}, 1, 0), V({i1.x, top, i1.z}, 1, 0.1),
                V({i0.x, top, i0.z}, 0, 0.1)},
               {0, 1, 0});
          Face(w, {V({i0.x, g0, i0.z}, 0, 1), V({i1.x, g0, i1.z}, 1, 1), V({i1.x, top, i1.z}, 1, 0.7),
                     V({i0.x, top, i0.z}, 0, 0.7)},
                 {-out.x, 0, -out.z});
        }
        // Nothing else stands on the wall.
        for (int s = 0; s < 6; s++)
          for (int k = 0; k < 6; k++) {
            static const double kCorner[6][2] = {{-kQ, -kD}, {kQ, -kD}, {kW, 0}, {kQ, kD}, {-kQ, kD}, {-kW, 0}};
            const double t = k / 6.0, kk = (kD - in - 0.6) / kD;
            const double x = (kCorner[s][0] * (1 - t) + kCorner[(s + 1) % 6][0] * t) * kk;
            const double z = (kCorner[s][1] * (1 - t) + kCorner[(s + 1) % 6][1] * t) * kk;
            Reserve(x, z, 2.0);
          }
        break;
      }
      case TerrainFeature::kTowers: {
        const int n = int(f.num[0]);
        static const double kCorner[6][2] = {{-kQ, -kD}, {kQ, -kD}, {kW, 0}, {kQ, kD}, {-kQ, kD}, {-kW, 0}};
        const double k = (kD - 5.1) / kD;
        for (int i = 0; i < n && (high_ || i < 2); i++) {
          const int c = (i * 6 / n + 1) % 6;
          const double x = kCorner[c][0] * k, z = kCorner[c][1] * k;
          Reserve(x, z, 3.0);
          Tower({x, H(x, z), z}, 2.0, 6.5, 0.3 * c);
        }
        break;
      }
      case TerrainFeature::kKeep: {
        Reserve(0, 0, 6.5);
        const uint16_t w = Tex(stone_wall_), roof = Tex(Mat(m_.roof));
        const Vec c{0, H(0, 0), 0};
        Box(w, w, c, 3.6, 3.6, c.y - 0.6, c.y + 9, 0.2, false, high_ ? 4 : 2);
        Cone(roof, {c.x, c.y + 9, c.z}, 5.0, 6.0, 4, 0.2 + kPi / 4);
        break;
      }
      case TerrainFeature::kHearth: {
        // A ring of stones round a bed of ashes where the fire burns.
        Reserve(0, 0, 4.0);
        const uint16_t st = Tex(winter ? "snow" : "stone");
        const int n = high_ ? 6 : 3;
        for (int i = 0; i < n; i++) {
          const double a = 2 * kPi * i / n;
          Cone(st, {std::cos(a) * 2.2, H(0, 0) - 0.2, std::sin(a) * 2.2}, 0.9, 0.9, 3, a);
        }
        if (high_) Cone(Tex("dirt"), {0, H(0, 0) - 0.1, 0}, 1.8, 0.3, 6, 0);
        break;
      }
      case TerrainFeature::kMill: {
        Reserve(0, 0, 5.0);
        const Vec c{0, H(0, 0), 0};
        Box(Tex(house_wall_), 0, c, 2.2, 2.2, c.y - 0.6, c.y + 8, 0.4, false, high_ ? 4 : 2);
        Cone(Tex(Mat(m_.roof)), {0, c.y + 8, 0}, 3.0, 3.0, 4, 0.4 + kPi / 4);
        const uint16_t wood = Tex("wood");
        for (int k = 0; k < 2; k++) {
          const double a = kPi / 4 + k * kPi / 2, L = 7.0;
          const double dx = std::cos(a) * L, dy = std::sin(a) * L;
          const double z = -2.6;
          Face(wood, {V({-dx - 0.8, c.y + 7 - dy, z}, 0, 0), V({-dx + 0.8, c.y + 7 - dy, z}, 1, 0),
                      V({dx + 0.8, c.y + 7 + dy, z}, 1, 1), V({dx - 0.8, c.y + 7 + dy, z}, 0, 1)},
               {0, 0, -1});
        }
        break;
      }
      case TerrainFeature::kStones: {
        const int n = int(f.num[0]);
        const uint16_t st = Tex("stone");
        for (int i = 0; i < n && (high_ || i < 4); i++) {
          const double a = 2 * kPi * i / n, x = std::cos(a) * 11, z = std::sin(a) * 8;
          Reserve(x, z, 1.5);
          Box(st, Tex(winter ? "snow" : "stone"), {x, H(x, z), z}, 0.9, 0.6, H(x, z) - 0.5, H(x, z) + 4.2, a, high_,
              high_ ? 4 : 2);
        }
        break;
      }
      case TerrainFeature::kPier: {
        const uint16_t wood = Tex("wood");
        const double y = 0.25;
        Face(wood, {V({-1.2, y, 2}, 0, 0), V({1.2, y, 2}, 1, 0), V({1.2, y, kD - 3}, 1, 1), V({-1.2, y, kD - 3}, 0, 1)},
             {0, 1, 0});
        for (int s : {-1, 1})
          if (high_)
            Face(wood, {V({s * 1.2, y, 2}, 0, 0), V({s * 1.2, y, kD - 3}, 1, 0), V({s * 1.2, -1.0, kD - 3}, 1, 1),
                      V({s * 1.2, -1.0, 2}, 0, 1)},
               {double(s), 0, 0});
        break;
      }
      case TerrainFeature::kReeds:
      case TerrainFeature::kFlowers:
      case TerrainFeature::kHay: {
        const int n = int(high_ ? f.num[0] : f.num[1]);
        const bool reeds = f.kind == TerrainFeature::kReeds, hay = f.kind == TerrainFeature::kHay;
        std::vector<Vec> spots = Place(int(f.num[0]), hay ? 2.0 : 1.5, 400 + uint32_t(f.line));
        const std::string mat = hay ? (winter ? "snow" : "hay")
                                    : reeds ? (winter ? "reeds_frozen" : season_ == 2 ? "reeds_dry" : "reeds")
                                            : "flowers";
        if (!reeds && !hay && winter) break;  // no flowers under the snow
        const uint16_t t = Tex(mat);
        for (int i = 0; i < n && i < int(spots.size()); i++) {
          const Vec& p = spots[size_t(i)];
          if (hay) {
            Cone(t, {p.x, p.y - 0.3, p.z}, 1.8, 3.2, high_ ? 4 : 3, Randf(i, 3));
            continue;
          }
          const double hgt = reeds ? 3.5 : 1.6, w = reeds ? 1.8 : 1.4, a = Randf(i, 4) * kPi;
          for (int k = 0; k < (high_ ? 2 : 1); k++) {
            const double b = a + k * kPi / 2, dx = std::cos(b) * w, dz = std::sin(b) * w;
            Face(t, {V({p.x - dx, p.y - 0.2, p.z - dz}, 0, 1), V({p.x + dx, p.y - 0.2, p.z + dz}, 1, 1),
                     V({p.x + dx, p.y + hgt, p.z + dz}, 1, 0), V({p.x - dx, p.y + hgt, p.z - dz}, 0, 0)},
                 {-dz, 0.2, dx});
          }
        }
        break;
      }
      case TerrainFeature::kWell: {
        Reserve(0, 0, 3.0);
        const uint16_t st = Tex("stone");
        const double y = H(0, 0);
        Box(st, Tex(winter ? "ice" : "water"), {0, y, 0}, 1.4, 1.4, y - 0.5, y + 1.2, 0.3, true, high_ ? 4 : 2);
        if (high_) Cone(Tex(Mat(m_.roof)), {0, y + 3.2, 0}, 2.2, 1.6, 4, 0.3 + kPi / 4);
        break;
      }
      case TerrainFeature::kRuin: {
        Reserve(0, 0, 8.0);
        const uint16_t st = Tex("wall_stone");
        const double y = H(0, 0);
        Box(st, Tex("stone"), {-4, y, -3}, 5, 0.6, y - 0.5, y + 3.5, 0, true, high_ ? 4 : 2);
        Box(st, Tex("stone"), {-8.5, y, 2}, 0.6, 4, y - 0.5, y + 2.5, 0, true, high_ ? 4 : 2);
        if (high_) Box(st, Tex("stone"), {5, y, 1}, 0.6, 3, y - 0.5, y + 1.6, 0, true, 4);
        break;
      }
      default:
        break;  // drawn on the ground picture or shaping the ground
    }
  }

  const TerrainModelDesc& m_;
  int season_;
  bool high_;
  ModelBuilder b_;
  std::vector<std::string> mats_;
  std::vector<Vec> taken_;  // x, radius, z of what stands
  // Materials of buildings and trees: the model's foliage where it gives
  // one, else leaves by season.
  const std::string house_wall_ = "wall_plaster";
  const std::string stone_wall_ = "wall_stone";
  SeasonMaterials foliage_{"leaves_young", "leaves", "leaves_autumn", "twigs", "leaves"};
};

}  // namespace

bool BuildTerrainModel(const TerrainModelDesc& desc, int season, bool high, QoeModel* out, std::string* err,
                       const std::string& file) {
  TerrainModelDesc m = desc;
  if (m.roof[0].empty()) m.roof = {"roof_red", "roof_red", "roof_red", "roof_snow", "roof_red"};
  Maker maker(m, season, high);
  return maker.Build(out, err, file);
}

const std::vector<TerrainUse>& TerrainUses() {
  static const std::vector<TerrainUse> uses = [] {
    std::vector<TerrainUse> u = {
        {1, "KID_KLEINSTADT00", "Hex_town1"},      {2, "KID_STADT00", "Hex_town2"},
        {3, "KID_GROSSSTADT00", "Hex_town3"},      {4, "KID_FELDER00", "Hex_fields"},
        {5, "KID_BERGE00", "Hex_mountains"},       {6, "KID_SUMPF00", "Hex_swamp"},
        {7, "KID_DORF00", "Hex_village"},          {8, "KID_WUESTE00", "Hex_desert"},
        {9, "KID_GEBIRGE00", "Hex_high_mountains"}, {10, "KID_HUEGEL00", "Hex_hills"},
        {11, "KID_HUEGEL01", "Hex_hills_wooded"},  {12, "KID_STEPPE00", "Hex_grass"},
        {13, "KID_STEPPE01", "Hex_meadow"},        {14, "KID_DUNKELWALD00", "Hex_forest_dense"},
        {15, "KID_DUNKELWALD01", "Hex_forest_dense_conifer"}, {16, "KID_DUNKELWALD02", "Hex_forest_dense_conifer"},
        {17, "KID_WALD00", "Hex_forest_broadleaf"}, {18, "KID_WALD01", "Hex_forest_conifer"},
        {19, "KID_WALD02", "Hex_forest_broadleaf"}, {20, "KID_WALD03", "Hex_forest_broadleaf"},
        {21, "KID_WALD04", "Hex_forest_conifer"},  {22, "KID_WALD05", "Hex_forest_conifer"},
        {24, "KID_KUESTE00", "Hex_shore_dunes"},   {25, "KID_KUESTE01", "Hex_shore_grass"},
        {26, "KID_KUESTE02", "Hex_shore_rocks"},   {27, "KID_HUEGEL02", "Hex_hills_vineyard"},
        {30, "KID_OASE00", "Hex_desert_oasis"},    {31, "KID_VORSTADT00", "Hex_outskirts0"},
        {32, "KID_VORSTADT01", "Hex_outskirts1"},  {33, "KID_VORSTADT02", "Hex_outskirts2"},
        {34, "KID_VORSTADT03", "Hex_outskirts3"},  {35, "KID_FELDER01", "Hex_fields_orchard"},
        {36, "KID_FELDER02", "Hex_fields_orchard"}, {37, "KID_FELDER03", "Hex_fields_farm"},
        {38, "KID_FELDER04", "Hex_fields_mill"},   {39, "KID_STEPPE02", "Hex_grass_bushes"},
        {40, "KID_STEPPE03", "Hex_grass_oak"},     {41, "KID_STEPPE04", "Hex_grass_rocks"},
        {42, "KID_STEPPE05", "Hex_grass_pond"},    {43, "KID_STEPPE06", "Hex_grass_flowers"},
        {44, "KID_STEPPE07", "Hex_grass_copse"},   {45, "KID_STEPPE08", "Hex_grass_boulders"},
        {46, "KID_STEPPE09", "Hex_grass_hut"},     {47, "KID_STEPPE10", "Hex_grass_track"},
        {48, "KID_STEPPE11", "Hex_grass_hay"},     {49, "KID_STEPPE12", "Hex_grass_well"},
        {50, "KID_STEPPE13", "Hex_grass_lake"},    {51, "KID_STEPPE14", "Hex_grass_ruin"},
        {52, "KID_HUEGEL03", "Hex_hills_river"},   {53, "KID_STEPPE15", "Hex_grass_stones"},
        {54, "KID_BERGE01", "Hex_mountains_pass"}, {55, "KID_BERGE02", "Hex_mountains_volcano"},
        {56, "KID_HUEGEL04", "Hex_hills_quarry"},  {57, "KID_HUEGEL05", "Hex_hills_mine"},
    };
    static std::vector<std::string> names;
    names.reserve(40);
    for (int g = 58; g <= 86; g++) {
      names.push_back("KID_KUESTE" + std::to_string(g));
      names.push_back("Hex_coast" + std::to_string(g));
    }
    for (int g = 58; g <= 86; g++)
      u.push_back({g, names[size_t(2 * (g - 58))].c_str(), names[size_t(2 * (g - 58) + 1)].c_str()});
    const char* harbour[4] = {"Hex_harbour0", "Hex_harbour1", "Hex_harbour2", "Hex_harbour3"};
    const char* harbour_names[4] = {"KID_HAFEN00", "KID_HAFEN01", "KID_HAFEN02", "KID_HAFEN03"};
    for (int k = 0; k < 4; k++) u.push_back({87 + k, harbour_names[k], harbour[k]});
    u.push_back({91, "KID_MOOR00", "Hex_swamp_moor"});
    return u;
  }();
  return uses;
}

std::string TerrainHexagonCommands() {
  std::ostringstream s;
  s << "\n# Terrain hexagons: graphic, name, low and high model (looked up in the\n"
       "# season folder), parameter, colour\n";
  for (const TerrainUse& u : TerrainUses())
    s << "SetHexagone " << u.graphic << " " << u.name << " " << u.model << "_low.qoe " << u.model
      << "_high.qoe 0 255 255 255 255\n";
  return s.str();
}

bool MakeTerrain3DFiles(const fs::path& source, const fs::path& out, std::string* err) {
  const fs::path file = source / "terrain" / "models.txt";
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    *err = file.string() + ": cannot read";
    return false;
  }
  std::stringstream text;
  text << in.rdbuf();
  std::vector<TerrainModelDesc> models;
  const std::string shown = file.string();
  if (!ParseTerrainModels(text.str(), shown, &models, err)) return false;
  for (const TerrainUse& u : TerrainUses()) {
    bool found = false;
    for (const TerrainModelDesc& m : models) found |= m.name == u.model && m.season_files;
    if (!found) {
      *err = shown + ": no model " + std::string(u.model) + " for terrain " + std::to_string(u.graphic);
      return false;
    }
  }
  for (const TerrainModelDesc& m : models) {
    std::vector<TerrainFileDesc> files = m.files;
    if (m.season_files)
      for (int s = 0; s < kTerrainSeasons; s++)
        for (bool high : {false, true})
          files.push_back({std::string(kTerrainSeasonFolders[s]) + m.name + (high ? "_high.qoe" : "_low.qoe"), high, s});
    for (const TerrainFileDesc& f : files) {
      QoeModel model;
      if (!BuildTerrainModel(m, f.season, f.high, &model, err, shown)) return false;
      if (!WriteKitFile(out / f.path, WriteQoe(model, true), err)) return false;
    }
  }
  return true;
}

}  // namespace datakit
