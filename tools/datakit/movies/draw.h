// Drawing for the kit's movies: ramps of the shared palette, anti-alias-free
// shapes in floating-point coordinates, a sprite drawn turned, scaled,
// sheared or bent, and a moving glint over metal. Every movie is drawn in
// the game's palette (art.h), frame by frame at a phase from 0 to 1.
#pragma once
#include <cmath>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tools/datakit/art.h"

namespace datakit::movies {

constexpr double kPi = 3.14159265358979323846;

// The palette's 16-step ramps, dark to light (rose has 15 steps).
enum Ramp : uint8_t {
  kGreyR = 16, kParchR = 32, kWoodR = 48, kGoldR = 64, kRedR = 80, kGreenR = 96, kBlueR = 112, kTealR = 128,
  kPurpleR = 144, kOrangeR = 160, kSlateR = 176, kForestR = 192, kSandR = 208, kWaterR = 224, kRoseR = 240,
};
// Step s (clamped) of the ramp that starts at `ramp`.
uint8_t Sh(uint8_t ramp, int s);
// The ramp of a pen (0 for the 16 base pens), and the pen moved k steps along it.
uint8_t RampOf(uint8_t pen);
uint8_t Lighten(uint8_t pen, int k);
// Ramp by name ("grey", "wood", "gold", ...); false when unknown.
bool RampByName(const std::string& name, uint8_t* ramp);

uint32_t Noise(int x, int y, uint32_t seed);
// Periodic helpers of the phase t in [0, 1).
inline double Wave(double t, double k = 1, double off = 0) { return std::sin(2 * kPi * (t * k + off)); }

using Pt = std::pair<double, double>;

void Dot(Image& img, double cx, double cy, double r, uint8_t c);
void Line(Image& img, double x0, double y0, double x1, double y1, double r, uint8_t c);
void Ellipse(Image& img, double cx, double cy, double rx, double ry, uint8_t fill, uint8_t edge);
void Poly(Image& img, const std::vector<Pt>& pts, uint8_t c);
void Box(Image& img, double x1, double y1, double x2, double y2, uint8_t c);
// Vertical ramp from step a (top) to step b (bottom), dithered.
void Gradient(Image& img, int x1, int y1, int x2, int y2, uint8_t ramp, int a, int b, uint32_t seed);
// A ramp-shaded texture: step base plus up to `spread` steps of noise.
void Speckle(Image& img, int x1, int y1, int x2, int y2, uint8_t ramp, int base, int spread, uint32_t seed);
// Bricks or stone courses in a ramp.
void Masonry(Image& img, int x1, int y1, int x2, int y2, uint8_t ramp, int base, int bw, int bh, uint32_t seed);
// A sign's emblem (anvil cross coin book mug scales herb key sword star
// skull horseshoe) centred at (cx, cy), about 12 x s pixels across.
void Emblem(Image& img, double cx, double cy, const std::string& e, double s);
// A small quadratic-ish curve through three points.
void Curve(Image& img, Pt a, Pt b, Pt c, double r, uint8_t pen);

// Draws `spr` (kTransparent pixels are holes) so that its point (ax, ay)
// lands on (px, py), scaled by sx, sy (negative sx mirrors), turned by
// `angle` radians, sheared by `shear` (x offset per row) and bent by `bend`
// (x offset growing with the square of the height above the anchor: a stalk
// swaying). Pixels drawn are marked in *mask (same size as img) when given.
struct Place {
  double ax = 0, ay = 0, px = 0, py = 0, sx = 1, sy = 1, angle = 0, shear = 0, bend = 0;
};
void Blit(Image& img, const Image& spr, const Place& p, std::vector<uint8_t>* mask = nullptr);
// Brightens the masked pixels under a diagonal band at `pos` (x + y / 2) of
// half width `half` by up to `k` steps of their ramp.
void Glint(Image& img, const std::vector<uint8_t>& mask, double pos, double half, int k);
// A glint that runs over the masked pixels once a loop and wraps round: at
// phase t the band lies t of the way across them (x + y / 2), and a band
// leaving one end comes in at the other, so every frame shows it moving.
void LoopGlint(Image& img, const std::vector<uint8_t>& mask, double t, double half, int k);
// Darkens every pixel of the image by k steps of its ramp (night, storm).
void Darken(Image& img, int k);

// A movie's parameters from its description line: key=value words. Every
// key must be read by the drawing code (unread keys are reported).
class Params {
 public:
  void Set(const std::string& k, const std::string& v) { values_[k] = {v, false}; }
  bool Has(const std::string& k) const;
  double Num(const std::string& k, double dflt) const;
  std::string Str(const std::string& k, const std::string& dflt) const;
  uint8_t RampP(const std::string& k, uint8_t dflt) const;  // a ramp name
  std::string Unread() const;  // first key never read, or ""
  const std::string& Error() const { return error_; }  // a value that did not parse
 private:
  mutable std::string error_;
  mutable std::map<std::string, std::pair<std::string, bool>> values_;
};

// One movie kind: draws frame `i` of `n` (phase t = i / n) into img.
using DrawFn = void (*)(Image& img, const Params& p, double t, int i, int n);
struct Kind {
  const char* name;
  DrawFn draw;
};
// The kinds of each family (scenes.cpp, buildings.cpp, goods.cpp).
extern const Kind kSceneKinds[];
extern const Kind kBuildingKinds[];
extern const Kind kGoodsKinds[];

}  // namespace datakit::movies
