// The screens' movies: waterfalls, torches, a camp fire, a lute player, the
// alchemist's bench, the scribe's lectern, the smith, chimney smoke, a
// fountain, windmills, water wheels, the town's ford and the credits. Each
// kind draws one frame at phase t; everything that moves is periodic in t,
// so the last frame leads back to the first like any other step. Flowing
// textures move by a whole number of pixels a frame and repeat after one
// loop.
#include <algorithm>

#include "draw.h"

namespace datakit::movies {
namespace {

int Mod(int a, int m) { return ((a % m) + m) % m; }

// Falling or flowing water: streaks that move `speed` pixels a frame along
// y (fall) and repeat after n frames.
uint8_t WaterPen(int x, int y, int i, int speed, int n, uint32_t seed, int base) {
  const int period = speed * n;
  const int v = Mod(y - i * speed, period);
  // Long streaks along the flow, a few bright ones.
  if (Noise(x, v / 6, seed + 2) % 11 == 0) return Sh(kWaterR, 15);
  const int s = (int)(Noise(x, v / 9, seed) % 6) + (int)(Noise(x / 2, v / 13, seed + 1) % 4);
  return Sh(kWaterR, base + s);
}

void Sky(Image& img, int h, bool night, uint32_t seed) {
  if (night) Gradient(img, 0, 0, img.width - 1, h, kBlueR, 0, 4, seed);
  else Gradient(img, 0, 0, img.width - 1, h, kBlueR, 13, 9, seed);
}

// Rain streaks for the stormy variants, moving down-left.
void Rain(Image& img, int i, int n, uint32_t seed) {
  const int speed = 6, period = speed * n;
  for (int k = 0; k < img.width * img.height / 90; ++k) {
    const int x0 = (int)(Noise(k, 1, seed) % (uint32_t)(img.width + 20));
    const int y0 = (int)(Noise(k, 2, seed) % (uint32_t)period);
    for (int rep = 0; rep * period < img.height + period; ++rep) {
      const int y = y0 + rep * period + i * speed - period, x = x0 - (y - y0) / 4;
      Line(img, x, y, x - 1, y + 4, 0, Sh(kGreyR, 10));
    }
  }
}

// The ground of a town view's movie (the ford, the water wheel, the mill):
// the window of the level's town picture at the movie's place (townx,
// towny), the overcast one for the storm variants, so that the movie joins
// the picture. False when the line names no place.
bool TownGround(Image& ground, const Params& p, bool storm) {
  if (!p.Has("townx")) return false;
  const Image& scene = TownScene((int)p.Num("level", 1), storm ? "overcast" : "plain");
  const int x0 = (int)p.Num("townx", 0), y0 = (int)p.Num("towny", 0);
  for (int y = 0; y < ground.height; ++y)
    for (int x = 0; x < ground.width; ++x)
      if (x0 + x < scene.width && y0 + y < scene.height) ground.Set(x, y, scene.Get(x0 + x, y0 + y));
  return true;
}

// The ground of a movie over the harbour (picture 519) from its place there
// (harbourx, harboury); false without them.
bool HarbourGround(Image& ground, const Params& p) {
  if (!p.Has("harbourx")) return false;
  static const Image scene = [] {
    Image s(640, 480, kBlack);
    DrawHarbour(s);
    return s;
  }();
  const int x0 = (int)p.Num("harbourx", 0), y0 = (int)p.Num("harboury", 0);
  for (int y = 0; y < ground.height; ++y)
    for (int x = 0; x < ground.width; ++x)
      if (x0 + x < scene.width && y0 + y < scene.height) ground.Set(x, y, scene.Get(x0 + x, y0 + y));
  return true;
}

// The end of a town movie's frame: in a storm what the movie drew over its
// ground darkens as the overcast town does, and the rain falls; then the
// frame keeps off the pens the night leaves bright, like the town.
void TownFrame(Image& img, const Image& ground, bool storm, int i, int n, uint32_t seed) {
  if (storm) {
    for (size_t k = 0; k < img.px.size(); ++k)
      if (img.px[k] != ground.px[k]) img.px[k] = OvercastPen(img.px[k]);
    Rain(img, i, n, seed);
  }
  AvoidSteadyPens(img);
}

void Flame(Image& img, double cx, double base, double height, double width, double t, double off) {
  // Tongues of fire: each an ellipse stack whose height and lean flicker.
  for (int k = 0; k < 3; ++k) {
    const double ph = off + k * 0.31;
    const double hh = height * (0.65 + 0.25 * Wave(t, 2, ph) + 0.1 * Wave(t, 3, ph * 2));
    const double lean = width * 0.3 * Wave(t, 1, ph + 0.2);
    const double x = cx + (k - 1) * width * 0.3;
    for (int s = 0; s < 4; ++s) {
      const double f = 1.0 - s * 0.22;
      const uint8_t pen = s == 0 ? Sh(kRedR, 11) : s == 1 ? Sh(kOrangeR, 12) : s == 2 ? Sh(kGoldR, 14) : Sh(kGoldR, 15);
      for (double y = 0; y < hh * f; y += 1) {
        const double u = y / (hh * f);
        const double r = width * 0.5 * f * (1 - u) * std::sqrt(std::max(0.0, u * 4 < 1 ? u * 4 : 1.0));
        Line(img, x + lean * u * u - r, base - y, x + lean * u * u + r, base - y, 0, pen);
      }
    }
  }
}

// A glow: lightens the pixels round (cx, cy) by up to k steps.
void Glow(Image& img, double cx, double cy, double radius, int k) {
  for (int y = (int)(cy - radius); y <= (int)(cy + radius); ++y)
    for (int x = (int)(cx - radius); x <= (int)(cx + radius); ++x) {
      if (x < 0 || y < 0 || x >= img.width || y >= img.height) continue;
      const double d = std::hypot(x - cx, y - cy) / radius;
      if (d < 1) img.px[(size_t)y * img.width + x] = Lighten(img.Get(x, y), (int)std::lround(k * (1 - d)));
    }
}

// Boulders lit from the upper left: each pixel belongs to the nearest of a
// few stones; the seams between stones are dark.
void Rocks(Image& img, int x1, int x2, int y1, int y2, uint8_t ramp, uint32_t seed) {
  const int count = std::max(6, (x2 - x1 + 1) * (y2 - y1 + 1) / 500);
  std::vector<Pt> stones;
  for (int k = 0; k < count; ++k)
    stones.push_back({x1 + (double)(Noise(k, 1, seed) % (uint32_t)(x2 - x1 + 1)), y1 + (double)(Noise(k, 2, seed) % (uint32_t)(y2 - y1 + 1))});
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      double d1 = 1e9, d2 = 1e9;
      size_t best = 0;
      for (size_t k = 0; k < stones.size(); ++k) {
        const double d = std::hypot(x - stones[k].first, (y - stones[k].second) * 1.3);
        if (d < d1) d2 = d1, d1 = d, best = k;
        else if (d < d2) d2 = d;
      }
      const double lx = (stones[best].first - x) + (stones[best].second - y);  // lit from the upper left
      int s = 7 + (int)std::lround(lx / 6) + (int)(Noise(x, y, seed) % 2) + (int)(best % 3) - 1;
      if (d2 - d1 < 1.6) s = 2;
      img.Set(x, y, Sh(ramp, std::clamp(s, 3, 12) - (d2 - d1 < 1.6 ? 1 : 0)));
    }
}

void Bushes(Image& img, int x1, int x2, int y, int count, uint32_t seed) {
  for (int k = 0; k < count; ++k) {
    const double x = x1 + (double)(Noise(k, 7, seed) % (uint32_t)std::max(1, x2 - x1));
    const double r = 3 + Noise(k, 8, seed) % 5;
    Dot(img, x, y - r * 0.5, r, Sh(kForestR, 5));
    Dot(img, x - r * 0.3, y - r * 0.8, r * 0.6, Sh(kForestR, 9));
  }
}

// The ground a movie plays over: the residence's hall seen from (hallx,
// hally) of picture 2 when the description gives it, so the movie joins the
// picture, else a stone wall.
bool Ground(Image& img, const Params& p, uint32_t seed) {
  if (p.Has("hallx")) {
    DrawResidenceHall(img, (int)p.Num("hallx", 0), (int)p.Num("hally", 0));
    return true;
  }
  Masonry(img, 0, 0, img.width - 1, img.height - 1, kSlateR, 6, 38, 22, seed);
  return false;
}

// ---- kinds -------------------------------------------------------------------

void Waterfall(Image& img, const Params& p, double t, int i, int n) {
  const int w = img.width, h = img.height;
  const uint8_t rock = p.RampP("rock", kSlateR);
  const double fall = p.Num("fall", 0.4);   // width of the falling water, of the width
  const int sky = (int)(h * p.Num("sky", 0.12));
  Sky(img, std::max(0, sky - 1), false, 3);
  const int lip = sky + 4, pool = (int)(h * 0.8);
  Rocks(img, 0, w - 1, sky, h - 1, rock, 11);
  Bushes(img, 0, w, sky + 3, w / 10, 5);
  // The falling water, its edges wavering a little with height.
  const double cx = w / 2.0, half = w * fall / 2;
  for (int y = lip; y < pool; ++y) {
    const double wob = 1.5 * std::sin(y * 0.21);
    const double spread = half * (1 + 0.15 * (y - lip) / std::max(1, pool - lip));
    for (int x = (int)(cx - spread + wob); x <= (int)(cx + spread + wob); ++x)
      img.Set(x, y, WaterPen(x, y, i, 4, n, 21, 5));
  }
  // The lip: water bending over the edge.
  Ellipse(img, cx, lip, half + 2, 3, Sh(kWaterR, 12), Sh(kWaterR, 9));
  // The pool with foam and rings.
  Ellipse(img, cx, pool + (h - pool) / 2.0, w * 0.48, (h - pool) / 2.0 + 2, Sh(kWaterR, 6), Sh(kWaterR, 4));
  for (int k = 0; k < 3; ++k) {
    const double ph = std::fmod(t + k / 3.0, 1.0);
    const double rx = half + ph * (w * 0.4 - half), ry = 2 + ph * (h - pool) * 0.4;
    for (int a = 0; a < 64; ++a) {
      const double ang = a * kPi / 32;
      img.Set((int)(cx + rx * std::cos(ang)), (int)(pool + 3 + ry * std::sin(ang) * 0.6 + ry * 0.4), Sh(kWaterR, 12 - (int)(ph * 6)));
    }
  }
  for (int k = 0; k < 14; ++k) {  // spray
    const double ph = std::fmod(t * 2 + k / 14.0, 1.0);
    const double x = cx + (k % 2 ? 1 : -1) * (half * 0.5 + ph * half * 1.2) + (k % 3 - 1) * 2;
    const double y = pool - ph * 10 + ph * ph * 14;
    Dot(img, x, y, 1, k % 2 ? (uint8_t)kWhite : Sh(kWaterR, 14));
  }
  for (int x = (int)(cx - half - 2); x <= (int)(cx + half + 2); ++x)
    if (Noise(x, i, 9) % 3) img.Set(x, pool - 1 + (int)(Noise(x, i, 10) % 3), kWhite);
}

// The title's waterfall: the window of picture 1 at (x, y) with the picture's
// own falling water moving, so the movie continues the picture.
void TitleFall(Image& img, const Params& p, double, int i, int n) {
  DrawTitleWaterfall(img, (int)p.Num("x", 0), (int)p.Num("y", 0), i, n);
}

void Torch(Image& img, const Params& p, double t, int, int) {
  const int w = img.width, h = img.height;
  Masonry(img, 0, 0, w - 1, h - 1, p.RampP("wall", kSlateR), 5, 16, 8, 4);
  const double cx = w / 2.0, top = h * 0.42;
  Line(img, cx - 5, h * 0.78, cx + 5, h * 0.78, 1.5, Sh(kGreyR, 4));  // bracket
  Line(img, cx, h * 0.7, cx, h * 0.86, 1.5, Sh(kGreyR, 3));
  Poly(img, {{cx - 3, top}, {cx + 3, top}, {cx + 1.5, h * 0.92}, {cx - 1.5, h * 0.92}}, Sh(kWoodR, 5));
  Box(img, cx - 4, top - 2, cx + 4, top + 5, Sh(kWoodR, 2));  // pitch-soaked head
  const double flick = Wave(t, 1) * 0.5 + Wave(t, 3, 0.3) * 0.3;
  Glow(img, cx, top - h * 0.12, w * 0.6 + flick * 3, 4);
  Flame(img, cx, top, h * 0.32 * (1 + 0.15 * flick), w * 0.42, t, p.Num("seed", 0.0));
}

void CampFire(Image& img, const Params& p, double t, int i, int n) {
  const int w = img.width, h = img.height;
  Gradient(img, 0, 0, w - 1, h * 2 / 3, kBlueR, 0, 3, 2);
  Speckle(img, 0, h * 2 / 3, w - 1, h - 1, kWoodR, 1, 2, 5);
  const double cx = w / 2.0, base = h * 0.8;
  Glow(img, cx, base - h * 0.2, w * 0.55 + 3 * Wave(t, 2), 5);
  for (int k = 0; k < 9; ++k) {  // stones round the fire
    const double a = kPi * (0.05 + 0.9 * k / 8.0);
    Ellipse(img, cx - std::cos(a) * w * 0.33, base + std::sin(a) * 4, 5, 3.5, Sh(kSlateR, 7), Sh(kSlateR, 3));
  }
  Line(img, cx - w * 0.25, base + 2, cx + w * 0.2, base - 6, 3, Sh(kWoodR, 4));
  Line(img, cx + w * 0.25, base + 2, cx - w * 0.2, base - 6, 3, Sh(kWoodR, 6));
  Flame(img, cx, base, h * p.Num("height", 0.55), w * 0.4, t, 0.1);
  for (int k = 0; k < 10; ++k) {  // sparks rising
    const double ph = std::fmod(t + k / 10.0, 1.0);
    const double x = cx + (Noise(k, 1, 3) % 21 - 10.0) + 4 * Wave(ph, 1, k * 0.1);
    Dot(img, x, base - h * 0.3 - ph * h * 0.5, 0.6, ph < 0.7 ? Sh(kGoldR, 15) : Sh(kOrangeR, 8));
  }
  (void)i, (void)n;
}

void LutePlayer(Image& img, const Params& p, double t, int, int) {
  const int w = img.width, h = img.height;
  const uint8_t tunic = p.RampP("tunic", kGreenR);
  Gradient(img, 0, 0, w - 1, h - 1, kWoodR, 2, 5, 8);
  const double cx = w * 0.45, seat = h * 0.7;
  Box(img, cx - 22, seat, cx + 22, seat + 6, Sh(kWoodR, 7));  // bench
  Box(img, cx - 20, seat + 6, cx - 16, h - 1, Sh(kWoodR, 4));
  Box(img, cx + 16, seat + 6, cx + 20, h - 1, Sh(kWoodR, 4));
  const double bob = 1.5 * Wave(t, 2);
  // Legs, body, head with a feathered hat.
  Line(img, cx - 4, seat, cx + 14, seat + 4, 4, Sh(kBlueR, 4));
  Line(img, cx + 14, seat + 4, cx + 14, h - 4, 3.5, Sh(kBlueR, 4));
  Poly(img, {{cx - 12, seat}, {cx + 10, seat}, {cx + 8, seat - 34 + bob}, {cx - 10, seat - 34 + bob}}, Sh(tunic, 7));
  Dot(img, cx, seat - 42 + bob, 8, Sh(kRoseR, 10));
  Dot(img, cx + 3, seat - 43 + bob, 1, kBlack);
  Poly(img, {{cx - 11, seat - 47 + bob}, {cx + 11, seat - 47 + bob}, {cx + 6, seat - 56 + bob}, {cx - 8, seat - 54 + bob}}, Sh(kRedR, 6));
  Curve(img, {cx - 8, seat - 54 + bob}, {cx - 20, seat - 66 + bob + Wave(t, 2, 0.2)}, {cx - 24, seat - 58 + bob}, 1, Sh(kGoldR, 14));
  // The lute across the body, the neck to the left.
  const double lx = cx + 8, ly = seat - 16;
  Line(img, lx, ly, lx - 38, ly - 14, 2, Sh(kWoodR, 3));
  Ellipse(img, lx, ly, 13, 10, Sh(kWoodR, 11), Sh(kWoodR, 6));
  Dot(img, lx - 2, ly - 1, 3, Sh(kWoodR, 1));
  for (int s = -1; s <= 1; ++s) Line(img, lx + 9, ly + s, lx - 38, ly - 14 + s, 0, Sh(kGoldR, 13));
  // Left hand on the neck, right hand strumming over the sound hole.
  Line(img, cx - 8, seat - 30 + bob, lx - 30, ly - 11, 2.5, Sh(tunic, 5));
  Dot(img, lx - 30, ly - 11, 2.5, Sh(kRoseR, 9));
  const double strum = 5 * Wave(t, 4);
  Line(img, cx + 8, seat - 30 + bob, lx + 2, ly + strum * 0.6 - 4, 2.5, Sh(tunic, 5));
  Dot(img, lx + 2, ly - 4 + strum * 0.6, 2.5, Sh(kRoseR, 9));
  for (int k = 0; k < 3; ++k) {  // notes drifting up
    const double ph = std::fmod(t + k / 3.0, 1.0);
    const double x = lx + 14 + ph * 16 + 3 * Wave(ph, 1, k * 0.3), y = ly - 8 - ph * (h * 0.55);
    const uint8_t pen = ph < 0.75 ? Sh(kGoldR, 14) : Sh(kGoldR, 8);
    Ellipse(img, x, y, 2.5, 2, pen, pen);
    Line(img, x + 2, y, x + 2, y - 8, 0, pen);
    if (k == 1) Line(img, x + 2, y - 8, x + 6, y - 6, 0, pen);
  }
}

void Alchemist(Image& img, const Params& p, double t, int, int) {
  const int w = img.width, h = img.height;
  const uint8_t brew = p.RampP("brew", kGreenR);
  if (Ground(img, p, 7)) {
    // Over picture 2: the hall's shelf, its five jars and the bench, pixel
    // for pixel where the picture has them (bench 500..628 x 150..160,
    // shelf 90..94, jars every 24 from x 510), seen from (hallx, hally).
    const int ox = (int)p.Num("hallx", 0), oy = (int)p.Num("hally", 0);
    FillRect(img, 500 - ox, 150 - oy, 628 - ox, 160 - oy, Sh(kWoodR, 7));
    FillRect(img, 506 - ox, 161 - oy, 514 - ox, 230 - oy, Sh(kWoodR, 4));
    FillRect(img, 614 - ox, 161 - oy, 622 - ox, 230 - oy, Sh(kWoodR, 4));
    FillRect(img, 500 - ox, 90 - oy, 628 - ox, 94 - oy, Sh(kWoodR, 7));
    const uint8_t fl[5] = {Sh(kGreenR, 10), Sh(kBlueR, 11), Sh(kRedR, 10), Sh(kPurpleR, 10), Sh(kGoldR, 12)};
    for (int k = 0; k < 5; ++k) {
      Dot(img, 510 + k * 24 - ox, 80 - oy, 8, fl[k]);
      FillRect(img, 508 + k * 24 - ox, 64 - oy, 512 + k * 24 - ox, 72 - oy, kLightGrey);
    }
  } else {
    Box(img, 0, h * 0.78, w - 1, h * 0.86, Sh(kWoodR, 8));  // bench
    Box(img, 0, h * 0.86, w - 1, h - 1, Sh(kWoodR, 3));
    Box(img, 0, h * 0.2, w - 1, h * 0.24, Sh(kWoodR, 7));  // shelf with jars
    const uint8_t jars[4] = {kBlueR, kRedR, kPurpleR, kGoldR};
    for (int k = 0; k < 4; ++k) {
      const double x = 12 + k * (w - 24) / 3.0;
      Ellipse(img, x, h * 0.2 - 7, 6, 7, Sh(jars[k], 9), Sh(jars[k], 5));
      Box(img, x - 2, h * 0.2 - 17, x + 2, h * 0.2 - 13, Sh(kGreyR, 12));
    }
  }
  // Burner and its flame under the round flask.
  const double fx = w * 0.38, fy = h * 0.5, fr = 15;
  Box(img, fx - 7, h * 0.71, fx + 7, h * 0.78, Sh(kGoldR, 6));
  Flame(img, fx, h * 0.71, h * 0.71 - fy - fr, 9, t, 0.3);
  Ellipse(img, fx, fy, fr + 1, fr + 1, Sh(kSlateR, 12), Sh(kGreyR, 13));
  Box(img, fx - 3, fy - fr - 12, fx + 3, fy - fr + 1, Sh(kSlateR, 12));
  FrameRect(img, (int)fx - 4, (int)(fy - fr - 12), (int)fx + 4, (int)(fy - fr + 1), Sh(kGreyR, 13));
  // The brew below its sloshing surface, bubbles rising through it.
  for (int x = (int)(fx - fr); x <= (int)(fx + fr); ++x) {
    const double surface = fy - 3 + 1.5 * Wave(t, 2, x * 0.04);
    for (int y = (int)surface; y <= (int)(fy + fr); ++y) {
      const double dx = x - fx, dy = y - fy;
      if (dx * dx + dy * dy <= fr * fr * 0.85) img.Set(x, y, Sh(brew, y < surface + 1.5 ? 13 : 8));
    }
  }
  for (int k = 0; k < 6; ++k) {
    const double ph = std::fmod(t * 2 + k / 6.0, 1.0);
    Dot(img, fx - 8 + (k * 5) % 17 + Wave(ph, 1, k * 0.2), fy + 10 - ph * 12, 1 + ph, Sh(brew, 14));
  }
  // Vapour leaving the neck, a tube to the retort dripping into a phial.
  for (int k = 0; k < 3; ++k) {
    const double ph = std::fmod(t + k / 3.0, 1.0);
    Dot(img, fx - 6 - ph * 26, fy - fr - 12 - ph * 4 + Wave(ph, 1, k * 0.3), 1.5 + ph * 3, Sh(kGreyR, 13 - (int)(ph * 5)));
  }
  Line(img, fx + 3, fy - fr - 6, w * 0.78, fy - 10, 1, Sh(kGreyR, 12));
  Ellipse(img, w * 0.8, fy + 8, 9, 11, Sh(brew, 10), Sh(kGreyR, 13));
  const double drip = std::fmod(t * 2, 1.0);
  Dot(img, w * 0.78, fy - 8 + drip * 10, 1.2, Sh(brew, 15));
}

void Scribe(Image& img, const Params& p, double t, int, int) {
  const int w = img.width, h = img.height;
  Ground(img, p, 9);
  // Lectern with a scroll between two rollers: the written lines roll up by
  // one line a loop, so the line finished now stands where the last one
  // stood when the loop began.
  Poly(img, {{w * 0.05, h * 0.72}, {w * 0.9, h * 0.72}, {w * 0.84, h * 0.8}, {w * 0.1, h * 0.8}}, Sh(kWoodR, 6));
  Box(img, w * 0.45, h * 0.8, w * 0.52, h - 1, Sh(kWoodR, 4));
  const int sx1 = (int)(w * 0.14), sx2 = (int)(w * 0.8), sy1 = (int)(h * 0.16), sy2 = (int)(h * 0.7);
  Image page(w, h, kTransparent);
  Box(page, sx1, sy1, sx2, sy2, Sh(kParchR, 14));
  for (int x = sx1; x <= sx2; ++x) page.Set(x, sy2, Sh(kParchR, 9));
  const int gap = 7;
  const double ly = sy2 - 10, lx1 = sx1 + 6, lx2 = sx2 - 8;
  const double u = std::min(1.0, t / 0.7);  // the share of the line written
  double qx = lx1 + (lx2 - lx1) * u;
  for (int k = -8; k <= 0; ++k) {
    const int y = (int)std::lround(ly + k * gap - gap * t);
    if (y <= sy1 + 2) continue;
    const double end = k < 0 ? lx2 : qx - 1;
    for (int x = (int)lx1; x < end; ++x)
      if (Noise(x / 3, 0, 5) % 5 && Noise(x / 3, 1, 7) % 6) page.Set(x, y, kInk), page.Set(x, y - 1, Noise(x, 1, 6) % 3 ? Sh(kParchR, 14) : (uint8_t)kInk);
  }
  for (size_t k = 0; k < img.px.size(); ++k)
    if (page.px[k] != kTransparent) img.px[k] = page.px[k];
  for (int r = 0; r < 2; ++r) {  // the rollers with their knobs
    const double y = r ? sy2 + 2 : sy1 - 2;
    Box(img, sx1 - 2, y - 3, sx2 + 2, y + 3, Sh(kWoodR, 8));
    Box(img, sx1 - 2, y + 2, sx2 + 2, y + 3, Sh(kWoodR, 4));
    Dot(img, sx1 - 5, y, 3.5, Sh(kWoodR, 5));
    Dot(img, sx2 + 5, y, 3.5, Sh(kWoodR, 5));
  }
  // Candle with its flame, the inkwell on the ledge.
  Box(img, w * 0.9, h * 0.45, w * 0.95, h * 0.72, Sh(kParchR, 15));
  Flame(img, w * 0.925, h * 0.45, 10, 5, t, 0.6);
  const double ix = w * 0.86, iy = h * 0.75;
  Ellipse(img, ix, iy, 6, 4, kBlack, Sh(kGreyR, 5));
  // The quill: writes along the line with small strokes, then dips and comes back.
  const double wy = ly - gap * t;
  double qy;
  if (t < 0.7) {
    qx += 1.5 * Wave(u, 9);
    qy = wy - 2 + 2 * Wave(u, 9, 0.25);
  } else {
    const double v = (t - 0.7) / 0.3, a = v < 0.5 ? v * 2 : (1 - v) * 2;
    const double fromx = v < 0.5 ? lx2 : lx1;
    qx = fromx + (ix - fromx) * a;
    qy = wy + (iy - 4 - wy) * a - 10 * std::sin(a * kPi);
  }
  const double angle = -0.9;
  const double ex = qx + 34 * std::cos(angle), ey = qy + 34 * std::sin(angle);
  Line(img, qx + 30, h + 10, qx + 10, qy + 14, 5, Sh(kRedR, 4));  // sleeve
  Dot(img, qx + 6, qy + 8, 4, Sh(kRoseR, 10));                   // hand
  Line(img, qx, qy, ex, ey, 0.6, Sh(kGreyR, 13));
  for (int k = 4; k < 30; ++k) {
    const double bx = qx + k * std::cos(angle), by = qy + k * std::sin(angle);
    Line(img, bx, by, bx - 4 * (k / 30.0 + 0.3), by - 2, 0, kWhite);
  }
}

void Smith(Image& img, const Params&, double t, int, int) {
  const int w = img.width, h = img.height;
  Masonry(img, 0, 0, w - 1, h - 1, kSlateR, 3, 24, 12, 13);
  // The forge's mouth glowing behind.
  Box(img, w * 0.05, h * 0.18, w * 0.4, h * 0.45, Sh(kSlateR, 1));
  for (int y = (int)(h * 0.3); y < (int)(h * 0.45); ++y)
    for (int x = (int)(w * 0.08); x < (int)(w * 0.37); ++x)
      img.Set(x, y, Sh(kOrangeR, 8 + (int)(Noise(x / 2, y / 2, (uint32_t)(t * 8)) % 4) + (int)(3 * Wave(t, 2))));
  Speckle(img, 0, (int)(h * 0.86), w - 1, h - 1, kWoodR, 1, 2, 3);
  // The anvil with a glowing bar.
  const double ax = w * 0.62, ay = h * 0.7;
  Poly(img, {{ax - 22, ay}, {ax + 16, ay}, {ax + 24, ay - 4}, {ax + 16, ay - 8}, {ax - 18, ay - 8}}, Sh(kGreyR, 5));
  Box(img, ax - 8, ay, ax + 6, h * 0.86, Sh(kGreyR, 3));
  Box(img, ax - 14, ay - 11, ax + 10, ay - 8, Sh(kOrangeR, 13));
  // The smith: body, arm swinging the hammer (fast down, slow up).
  const double sx = w * 0.3, sy = h * 0.86;
  Line(img, sx - 4, sy, sx - 2, sy - 22, 3, Sh(kWoodR, 2));
  Line(img, sx + 6, sy, sx + 4, sy - 22, 3, Sh(kWoodR, 2));
  Poly(img, {{sx - 9, sy - 22}, {sx + 11, sy - 22}, {sx + 9, sy - 52}, {sx - 7, sy - 52}}, Sh(kWoodR, 5));
  Poly(img, {{sx - 6, sy - 24}, {sx + 9, sy - 24}, {sx + 7, sy - 46}, {sx - 4, sy - 46}}, Sh(kWoodR, 9));  // apron
  Dot(img, sx + 1, sy - 60, 7, Sh(kRoseR, 8));
  Dot(img, sx - 2, sy - 65, 5, Sh(kWoodR, 2));
  const double u = std::fmod(t * 2, 1.0);
  const double lift = u < 0.75 ? std::sin(u / 0.75 * kPi / 2) : std::cos((u - 0.75) / 0.25 * kPi / 2);
  const double shx = sx + 6, shy = sy - 48;
  const double strike = std::atan2(ay - 11 - shy, ax - shx), reach = std::hypot(ax - shx, ay - 11 - shy);
  const double a = strike + (-1.9 - strike) * lift;  // from the strike up over the shoulder
  const double ca = std::cos(a), sa = std::sin(a);
  Line(img, shx, shy, shx + ca * reach * 0.5, shy + sa * reach * 0.5, 2.5, Sh(kRoseR, 8));
  Line(img, shx + ca * reach * 0.5, shy + sa * reach * 0.5, shx + ca * reach, shy + sa * reach, 1.2, Sh(kWoodR, 8));
  const double hx = shx + ca * (reach - 3), hy = shy + sa * (reach - 3);
  Poly(img, {{hx - sa * 6 - ca * 3, hy + ca * 6 - sa * 3}, {hx + sa * 6 - ca * 3, hy - ca * 6 - sa * 3},
             {hx + sa * 6 + ca * 3, hy - ca * 6 + sa * 3}, {hx - sa * 6 + ca * 3, hy + ca * 6 + sa * 3}},
       Sh(kGreyR, 6));
  if (u < 0.2 || u > 0.9) {  // sparks at the strike
    const double s = u < 0.2 ? u / 0.2 : 0;
    for (int k = 0; k < 9; ++k) {
      const double a = -kPi * (0.1 + 0.8 * k / 8.0);
      Dot(img, ax + std::cos(a) * (4 + 18 * s), ay - 11 + std::sin(a) * (4 + 14 * s), 0.7, Sh(kGoldR, 15));
    }
  }
}

void Smoke(Image& img, const Params& p, double t, int, int) {
  const int w = img.width, h = img.height;
  Sky(img, h - 1, p.Num("night", 0) != 0, 6);
  const double cx = w * 0.4;
  Masonry(img, (int)(cx - 9), h - 18, (int)(cx + 9), h - 1, kRedR, 6, 8, 4, 2);  // chimney top
  Box(img, cx - 11, h - 20, cx + 11, h - 17, Sh(kSlateR, 5));
  const int puffs = 6;
  for (int k = puffs - 1; k >= 0; --k) {
    const double ph = std::fmod(t + (double)k / puffs, 1.0);
    const double y = h - 20 - ph * (h - 24), r = 4 + ph * w * 0.22;
    const double x = cx + ph * ph * w * 0.3 + 3 * Wave(ph, 1.5, k * 0.17);
    const int shade = 11 - (int)(ph * 5);
    Dot(img, x, y, r, Sh(kGreyR, shade));
    Dot(img, x - r * 0.3, y - r * 0.3, r * 0.55, Sh(kGreyR, shade + 2));
  }
}

void Fountain(Image& img, const Params&, double t, int i, int n) {
  const int w = img.width, h = img.height;
  Speckle(img, 0, 0, w - 1, h - 1, kSandR, 5, 3, 21);
  const double cx = w / 2.0, rim = h * 0.72;
  Ellipse(img, cx, rim + 4, w * 0.46, h * 0.16, Sh(kSlateR, 9), Sh(kSlateR, 5));
  Ellipse(img, cx, rim + 2, w * 0.4, h * 0.11, Sh(kWaterR, 8), Sh(kWaterR, 6));
  for (int y = (int)(rim - h * 0.1); y < (int)(rim + h * 0.12); ++y)
    for (int x = (int)(cx - w * 0.4); x < (int)(cx + w * 0.4); ++x) {
      const double dx = (x - cx) / (w * 0.4), dy = (y - rim - 2) / (h * 0.11);
      if (dx * dx + dy * dy < 0.8) {
        const double r = std::sqrt(dx * dx + dy * dy);
        if (std::fmod(r * 3 - t * 3 + 3, 1.0) < 0.18) img.Set(x, y, Sh(kWaterR, 13));
      }
    }
  Box(img, cx - 4, rim - h * 0.35, cx + 4, rim + 2, Sh(kSlateR, 10));  // column
  Ellipse(img, cx, rim - h * 0.36, 12, 4, Sh(kSlateR, 11), Sh(kSlateR, 6));
  // Jets: droplets along parabolas, each moving on by a step a frame.
  const double topy = rim - h * 0.38;
  for (int side = -1; side <= 1; side += 2)
    for (int k = 0; k < 12; ++k) {
      const double ph = std::fmod(t + k / 12.0, 1.0);
      const double x = cx + side * ph * w * 0.32;
      const double y = topy - 4 * ph * (1 - ph) * h * 0.28 + ph * (rim - topy) * 0.9;
      Dot(img, x, y, 1.3, k % 2 ? Sh(kWaterR, 14) : (uint8_t)kWhite);
    }
  for (int k = 0; k < 8; ++k) {
    const double ph = std::fmod(t * 2 + k / 8.0, 1.0);
    Dot(img, cx + (k % 3 - 1) * 1.5, topy - ph * h * 0.12 + ph * ph * h * 0.12, 1, kWhite);
  }
  (void)i, (void)n;
}

void Sails(Image& img, double cx, double cy, double len, double angle, uint8_t cloth) {
  for (int k = 0; k < 4; ++k) {
    const double a = angle + k * kPi / 2, ca = std::cos(a), sa = std::sin(a);
    Line(img, cx, cy, cx + ca * len, cy + sa * len, 1, Sh(kWoodR, 3));
    const double px = -sa, py = ca;  // the sail to one side of the arm
    Poly(img, {{cx + ca * len * 0.25, cy + sa * len * 0.25}, {cx + ca * len, cy + sa * len},
               {cx + ca * len + px * len * 0.28, cy + sa * len + py * len * 0.28},
               {cx + ca * len * 0.25 + px * len * 0.2, cy + sa * len * 0.25 + py * len * 0.2}},
         cloth);
    for (int s = 1; s < 4; ++s) {
      const double f = 0.25 + s * 0.19;
      Line(img, cx + ca * len * f, cy + sa * len * f, cx + ca * len * f + px * len * 0.24, cy + sa * len * f + py * len * 0.24, 0, Sh(kWoodR, 5));
    }
  }
  Dot(img, cx, cy, 2.5, Sh(kWoodR, 2));
}

void Windmill(Image& img, const Params& p, double t, int i, int n) {
  const int w = img.width, h = img.height;
  const int level = (int)p.Num("level", 1);
  const bool stone = p.Num("stone", level >= 3 ? 1 : 0) != 0;
  Image ground(w, h, kBlack);
  const bool town = TownGround(ground, p, false);
  if (town || HarbourGround(ground, p)) {
    img.px = ground.px;
  } else {
    Sky(img, (int)(h * 0.82), false, 12);
    Speckle(img, 0, (int)(h * 0.82), w - 1, h - 1, kGreenR, 6, 3, 4);
  }
  const double cx = w / 2.0, base = h * 0.86, top = h * 0.42;
  const double bw = w * (0.2 + 0.03 * level), tw = w * 0.13;
  std::vector<Pt> tower = {{cx - bw, base}, {cx + bw, base}, {cx + tw, top}, {cx - tw, top}};
  if (stone) {
    Image wall(w, h, kTransparent);
    Masonry(wall, 0, 0, w - 1, h - 1, kSandR, 8, 10, 6, 3);
    Image shape(w, h, kTransparent);
    Poly(shape, tower, 1);
    for (size_t k = 0; k < img.px.size(); ++k)
      if (shape.px[k] == 1) img.px[k] = wall.px[k];
  } else {
    Poly(img, tower, Sh(kWoodR, 8));
    for (double y = top + 4; y < base; y += 5) {
      const double f = (y - top) / (base - top), half = tw + (bw - tw) * f;
      Line(img, cx - half, y, cx + half, y, 0, Sh(kWoodR, 5));
    }
  }
  Poly(img, {{cx - tw - 4, top + 1}, {cx + tw + 4, top + 1}, {cx, top - h * 0.12}}, Sh(kRedR, 5));  // cap
  Box(img, cx - 4, base - 14, cx + 4, base, Sh(kWoodR, 3));  // door
  Dot(img, cx, top + (base - top) * 0.35, 2.5, Sh(kGoldR, 4));  // window
  if (level >= 2) {  // sacks of flour by the door
    for (int k = 0; k < level - 1; ++k) Ellipse(img, cx + bw + 3 + k * 6, base - 3, 3.5, 4.5, Sh(kParchR, 14), Sh(kParchR, 9));
  }
  if (level >= 4) {  // a pennant on the cap
    Line(img, cx, top - h * 0.12, cx, top - h * 0.2, 0, Sh(kGreyR, 4));
    Poly(img, {{cx, top - h * 0.2}, {cx + 9, top - h * 0.18 + 1.5 * Wave(t, 1)}, {cx, top - h * 0.16}}, Sh(kRedR, 10));
  }
  if (p.Num("fence", 0) != 0)
    for (double x = 2; x < w - 2; x += 6) {
      Line(img, x, h - 3, x, h - 12, 0.6, Sh(kWoodR, 9));
      if (x + 6 < w - 2) Line(img, x, h - 9, x + 6, h - 9, 0, Sh(kWoodR, 7)), Line(img, x, h - 5, x + 6, h - 5, 0, Sh(kWoodR, 7));
    }
  // Four sails: a quarter turn a loop, so the last frame turns on into the first.
  Sails(img, cx, top + 2, std::min(w * 0.47, h * 0.38), t * kPi / 2 + 0.3, Sh(kParchR, 13));
  if (town) TownFrame(img, ground, false, i, n, 0);
}

void WaterWheel(Image& img, const Params& p, double t, int i, int n) {
  const int w = img.width, h = img.height;
  const bool storm = p.Num("storm", 0) != 0;
  Image ground(w, h, kBlack);
  const bool town = TownGround(ground, p, storm);
  if (town) img.px = ground.px;
  else Masonry(img, 0, 0, w - 1, h - 1, kSandR, 7, 10, 6, 8);
  for (int y = (int)(h * 0.78); y < h; ++y)
    for (int x = 0; x < w; ++x) img.Set(x, y, WaterPen(y, x, i, 2, n, 4, 5));  // stream flowing on
  if (!town) Box(img, 0, h * 0.06, w * 0.55, h * 0.13, Sh(kWoodR, 5));  // flume (the town's own has one)
  for (int y = (int)(h * 0.13); y < (int)(h * 0.35); ++y)
    for (int x = (int)(w * 0.42); x < (int)(w * 0.54); ++x) img.Set(x, y, WaterPen(x, y, i, 3, n, 6, 7));
  const double cx = w * 0.5, cy = h * 0.55, r = std::min(w, h) * 0.45;
  Ellipse(img, cx, cy, r, r, kTransparent, Sh(kWoodR, 4));
  for (int y = 0; y < h; ++y)  // the wheel's inside shows the wall behind it darker
    for (int x = 0; x < w; ++x)
      if (img.Get(x, y) == kTransparent) img.Set(x, y, town ? ground.Get(x, y) : Sh(kSandR, 3));
  // Eight paddles: an eighth of a turn a loop.
  for (int k = 0; k < 8; ++k) {
    const double a = t * kPi / 4 + k * kPi / 4, ca = std::cos(a), sa = std::sin(a);
    Line(img, cx, cy, cx + ca * r, cy + sa * r, 0.6, Sh(kWoodR, 7));
    Line(img, cx + ca * r * 0.7 - sa * 3, cy + sa * r * 0.7 + ca * 3, cx + ca * r * 1.05 - sa * 3, cy + sa * r * 1.05 + ca * 3, 1, Sh(kWoodR, 10));
  }
  Dot(img, cx, cy, 2, Sh(kGreyR, 3));
  if (town) TownFrame(img, ground, storm, i, n, 17);
  else if (storm) Darken(img, 4), Rain(img, i, n, 17);
}

void Ford(Image& img, const Params& p, double t, int i, int n) {
  const int w = img.width, h = img.height;
  const int level = (int)p.Num("level", 1);
  const std::string crossing = p.Str("crossing", "stones");  // stones, planks, bridge, stonebridge
  const bool house = p.Num("house", 0) != 0, tower = p.Num("tower", 0) != 0, storm = p.Num("storm", 0) != 0;
  Image ground(w, h, kBlack);
  const bool town = TownGround(ground, p, storm);
  if (town) {
    img.px = ground.px;  // the town's banks and road
  } else {
    Speckle(img, 0, 0, w - 1, h - 1, kGreenR, 6, 4, 31);
    // Bank paths of the town's level: earth, then gravel, then cobbles.
    const uint8_t road = level >= 3 ? kSlateR : kSandR;
    for (int y = 0; y < h; ++y)
      for (int x = (int)(w * 0.42); x < (int)(w * 0.58); ++x)
        img.Set(x + (int)(y * 0.05), y, Sh(road, 7 + (int)(Noise(x / 3, y / 3, 2) % 3) - (level >= 4 && (x + y) % 7 == 0 ? 3 : 0)));
  }
  // The river across the picture, flowing to the right.
  const double ry = h * 0.55, rh = h * 0.22;
  for (int x = 0; x < w; ++x) {
    const double c = ry + 3 * std::sin(x * 0.05);
    for (int y = (int)(c - rh / 2); y <= (int)(c + rh / 2); ++y) img.Set(x, y, WaterPen(y, x, i, 3, n, 41, 5));
    img.Set(x, (int)(c - rh / 2) - 1, Sh(kSandR, 9));
    img.Set(x, (int)(c + rh / 2) + 1, Sh(kSandR, 5));
  }
  const double fx = w * 0.5;
  if (crossing == "stones") {
    for (int k = 0; k < 4; ++k) Ellipse(img, fx + k * 2, ry - rh * 0.4 + k * rh * 0.27, 5, 2.5, Sh(kSlateR, 10), Sh(kSlateR, 5));
  } else if (crossing == "planks") {
    for (double y = ry - rh / 2 - 3; y < ry + rh / 2 + 3; y += 3) Line(img, fx - 8, y, fx + 8, y, 0.6, Sh(kWoodR, 8 + ((int)y % 2)));
    Line(img, fx - 9, ry - rh / 2 - 3, fx - 9, ry + rh / 2 + 3, 0.5, Sh(kWoodR, 4));
  } else {
    const uint8_t m = crossing == "stonebridge" ? kSandR : kWoodR;
    Box(img, fx - 12, ry - rh / 2 - 6, fx + 12, ry + rh / 2 + 6, Sh(m, 8));
    for (double y = ry - rh / 2 - 6; y < ry + rh / 2 + 6; y += 4) Line(img, fx - 12, y, fx + 12, y, 0, Sh(m, 5));
    Box(img, fx - 14, ry - rh / 2 - 6, fx - 12, ry + rh / 2 + 6, Sh(m, 3));
    Box(img, fx + 12, ry - rh / 2 - 6, fx + 14, ry + rh / 2 + 6, Sh(m, 3));
  }
  if (house) {  // a cottage by the ford
    const double hx = w * 0.2, hy = h * 0.3;
    Box(img, hx - 14, hy - 10, hx + 14, hy + 8, Sh(kParchR, 12));
    Poly(img, {{hx - 17, hy - 9}, {hx + 17, hy - 9}, {hx, hy - 24}}, Sh(kRedR, 5));
    Box(img, hx - 3, hy, hx + 3, hy + 8, Sh(kWoodR, 3));
    for (int k = 0; k < 3; ++k) {  // chimney smoke
      const double ph = std::fmod(t + k / 3.0, 1.0);
      Dot(img, hx + 9 + ph * 8, hy - 20 - ph * 14, 1.5 + ph * 3, Sh(kGreyR, 12 - (int)(ph * 4)));
    }
  }
  if (tower) {  // the toll tower at the bridge's end
    const double tx = fx + 26, ty = ry - rh / 2 - 4;
    Masonry(img, (int)tx - 8, (int)ty - 30, (int)tx + 8, (int)ty, kSlateR, 8, 6, 4, 5);
    for (int k = 0; k < 3; ++k) Box(img, tx - 8 + k * 6, ty - 34, tx - 5 + k * 6, ty - 30, Sh(kSlateR, 9));
    Line(img, tx, ty - 34, tx, ty - 44, 0, kBlack);
    Poly(img, {{tx, ty - 44}, {tx + 9, ty - 42 + Wave(t, 1) * 1.5}, {tx, ty - 39}}, Sh(kRedR, 10));
  }
  // A duck paddling round in a loop, and reeds.
  const double a = 2 * kPi * t;
  const double dx = w * 0.78 + 12 * std::cos(a), dy = ry + 3 * std::sin(a);
  Ellipse(img, dx, dy, 4, 2.5, Sh(kWoodR, 7), Sh(kWoodR, 4));
  Dot(img, dx + (std::sin(a) > 0 ? -4 : 4), dy - 3, 1.6, Sh(kForestR, 8));
  for (int k = 0; k < 6; ++k) {
    const double x = w * 0.08 + k * 4, sway = 1.5 * Wave(t, 1, k * 0.15);
    Line(img, x, ry - rh / 2 + 2, x + sway, ry - rh / 2 - 10, 0, Sh(kForestR, 7));
  }
  if (town) TownFrame(img, ground, storm, i, n, 29);
  else if (storm) Darken(img, 4), Rain(img, i, n, 29);
}

void Credits(Image& img, const Params& p, double t, int i, int n) {
  const int w = img.width, h = img.height;
  Gradient(img, 0, 0, w - 1, h * 6 / 10, kPurpleR, 2, 9, 5);
  Gradient(img, 0, h * 6 / 10, w - 1, h - 1, kForestR, 4, 1, 6);
  // Mountains and a castle against the evening sky.
  for (int x = 0; x < w; ++x) {
    const double m = h * 0.45 + 22 * std::sin(x * 0.013) + 12 * std::sin(x * 0.041 + 1);
    for (int y = (int)m; y < h * 6 / 10; ++y) img.Set(x, y, Sh(kSlateR, 3 + ((y - (int)m) * 16 / 12 + (int)(Noise(x, y, 4) % 16)) / 16));
  }
  const double kx = w * 0.72, ky = h * 0.62;
  Box(img, kx - 40, ky - 40, kx + 40, ky, Sh(kSlateR, 1));
  for (int k = -1; k <= 1; k += 2) Box(img, kx + k * 40 - 8, ky - 62, kx + k * 40 + 8, ky, Sh(kSlateR, 1));
  Box(img, kx - 10, ky - 78, kx + 10, ky - 40, Sh(kSlateR, 1));
  for (int k = 0; k < 5; ++k) {  // windows flickering
    const double f = Wave(t, 1 + k % 3, k * 0.27);
    Box(img, kx - 30 + k * 14, ky - 28, kx - 27 + k * 14, ky - 23, Sh(kGoldR, 11 + (int)(3 * f)));
  }
  Line(img, kx, ky - 78, kx, ky - 90, 0, kBlack);
  for (int s = 0; s < 14; ++s) {  // the banner waving
    const double y = ky - 90 + 2 * Wave(t, 1, s / 14.0);
    Line(img, kx + s, y, kx + s, y + 7, 0, Sh(kRedR, 9 + (s % 4 == 0 ? 2 : 0)));
  }
  // The river with a shimmer that moves along it.
  for (int y = (int)(h * 0.78); y < (int)(h * 0.86); ++y)
    for (int x = 0; x < w; ++x) img.Set(x, y, WaterPen(y, x, i, 8, n, 61, 3));
  // Birds flying in a figure of eight.
  for (int k = 0; k < 3; ++k) {
    const double a = 2 * kPi * (t + k * 0.12);
    const double bx = w * 0.3 + 120 * std::sin(a), by = h * 0.33 + 14 * std::sin(2 * a) + k * 6;
    const double flap = 3 * Wave(t, 4, k * 0.3);
    Line(img, bx - 6, by - flap, bx, by, 0.5, kBlack);
    Line(img, bx, by, bx + 6, by - flap, 0.5, kBlack);
  }
  // The title with a glint passing through its letters.
  const std::string title = p.Str("title", "QUILL_OF_ELMOR");
  std::string text = title;
  std::replace(text.begin(), text.end(), '_', ' ');
  const int scale = 5;
  Image lettering(w, h, kTransparent);
  DrawTextCentred(lettering, 0, 10, w - 1, 10 + 7 * scale, text, scale, Sh(kGoldR, 11), kTransparent);
  std::vector<uint8_t> mask(img.px.size(), 0);
  DrawTextCentred(img, 3, 13, w + 2, 13 + 7 * scale, text, scale, Sh(kWoodR, 1), kTransparent);
  // A quill tracing the flourish under the name, back and forth.
  const double fy = 12 + 7 * scale + 8;
  for (double x = w * 0.25; x < w * 0.75; x += 0.5) img.Set((int)x, (int)(fy + 3 * std::sin((x - w * 0.25) * 0.05)), Sh(kGoldR, 7));
  const double qx = w * 0.5 + w * 0.24 * std::sin(2 * kPi * t), qy = fy + 3 * std::sin((qx - w * 0.25) * 0.05);
  for (int k = 2; k < 34; ++k) {
    const double bx = qx + k * 0.6, by = qy - k * 0.8;
    Line(img, bx, by, bx + 5 * (1.0 - k / 40.0), by + 1, 0, kWhite);
    Line(img, bx, by, bx - 4 * (1.0 - k / 40.0), by - 2, 0, Sh(kGreyR, 13));
  }
  Line(img, qx, qy, qx + 22, qy - 29, 0, Sh(kGreyR, 10));
  for (size_t k = 0; k < img.px.size(); ++k)
    if (lettering.px[k] != kTransparent) img.px[k] = lettering.px[k], mask[k] = 1;
  Glint(img, mask, -80 + t * (w + 240), 18, 5);
}

}  // namespace

const Kind kSceneKinds[] = {
    {"waterfall", Waterfall}, {"titlefall", TitleFall}, {"torch", Torch},         {"campfire", CampFire}, {"lute", LutePlayer},
    {"alchemist", Alchemist}, {"scribe", Scribe},       {"smith", Smith},       {"smoke", Smoke},
    {"fountain", Fountain},   {"windmill", Windmill},   {"waterwheel", WaterWheel}, {"ford", Ford},
    {"credits", Credits},     {nullptr, nullptr},
};

}  // namespace datakit::movies
