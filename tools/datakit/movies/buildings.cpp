// The building animations: one drawer for every building. Its description
// line picks the body (house, hall, church, castle, tents, yard, harbour,
// round tent), the walls, the roof, towers, a sign with an emblem, and the
// work going on (a comma list): smoke, flags, a swinging bell or sign, a
// spinning coin, a hoist, a saw, a water wheel, people walking, soldiers
// drilling, a horse at the stable door, a ship rocking at the pier, lights
// flickering, a clock turning, a cart coming and going, a juggler; and the
// motions that are one building's own: porters with a strongbox, a
// stretcher, doves, a bowing pilgrim, a horse walking, the town crier, an
// armillary sphere, rocking scales, a guard, a procession, a patrol on the
// wall, a rose window lit pane by pane, an acrobat, banners, washing on the
// line, a scholar reading as he walks.
#include <algorithm>
#include <sstream>

#include "draw.h"

namespace datakit::movies {
namespace {

// A texture coordinate moving `speed` pixels a frame that repeats after the loop.
int Flow(int coord, int i, int speed, int n) {
  const int period = speed * n;
  return (((coord - i * speed) % period) + period) % period;
}

struct Scene {
  Image& img;
  const Params& p;
  double t;
  int i, n;
  int w, h, gy;  // ground line
};

bool HasWork(const std::string& works, const std::string& w) {
  std::istringstream s(works);
  std::string item;
  while (std::getline(s, item, ','))
    if (item == w) return true;
  return false;
}

void Wall(Image& img, int x1, int y1, int x2, int y2, const std::string& m, uint8_t ramp, uint32_t seed) {
  if (m == "stone") Masonry(img, x1, y1, x2, y2, ramp ? ramp : (uint8_t)kSlateR, 8, 14, 7, seed);
  else if (m == "brick") Masonry(img, x1, y1, x2, y2, ramp ? ramp : (uint8_t)kRedR, 6, 8, 4, seed);
  else if (m == "wood") {
    for (int y = y1; y <= y2; ++y)
      for (int x = x1; x <= x2; ++x)
        img.Set(x, y, (x - x1) % 6 == 0 ? Sh(kWoodR, 3) : Sh(ramp ? ramp : (uint8_t)kWoodR, 7 + (int)(Noise((x - x1) / 6, y / 9, seed) % 3)));
  } else {  // plaster, or timber: plaster in a frame of beams
    Speckle(img, x1, y1, x2, y2, ramp ? ramp : (uint8_t)kParchR, 12, 2, seed);
    if (m == "timber") {
      const uint8_t beam = Sh(kWoodR, 3);
      Box(img, x1, y1, x2, y1 + 2, beam);
      Box(img, x1, y2 - 2, x2, y2, beam);
      for (int x = x1; x <= x2; x += 22) Box(img, x, y1, x + 2, y2, beam);
      for (int x = x1; x + 22 <= x2; x += 44) Line(img, x, y2, x + 22, y1, 1, beam);
    }
  }
}

// A roof over x1..x2 whose eaves are at y.
void Roof(Image& img, double x1, double x2, double y, double rh, const std::string& kind, uint8_t ramp) {
  const double cx = (x1 + x2) / 2;
  if (kind == "gable" || kind == "spire") {
    Poly(img, {{x1 - 6, y}, {x2 + 6, y}, {cx, y - rh}}, Sh(ramp, 6));
    for (double k = 0; k < rh; k += 4) {
      const double f = k / rh, half = (x2 - x1 + 12) / 2 * (1 - f);
      Line(img, cx - half, y - k, cx + half, y - k, 0, Sh(ramp, 4));
    }
  } else if (kind == "hip") {
    Poly(img, {{x1 - 6, y}, {x2 + 6, y}, {x2 - rh * 0.6, y - rh}, {x1 + rh * 0.6, y - rh}}, Sh(ramp, 6));
    for (double k = 0; k < rh; k += 4) Line(img, x1 - 6 + k * 0.6, y - k, x2 + 6 - k * 0.6, y - k, 0, Sh(ramp, 4));
  } else if (kind == "dome") {
    for (double yy = 0; yy < rh; yy += 1) {
      const double half = (x2 - x1) / 2 * std::sqrt(1 - (yy / rh) * (yy / rh));
      Line(img, cx - half, y - yy, cx + half, y - yy, 0, Sh(ramp, 5 + (int)(yy / rh * 8)));
    }
    Line(img, cx, y - rh, cx, y - rh - 10, 0.8, Sh(kGoldR, 12));
    Dot(img, cx, y - rh - 11, 2, Sh(kGoldR, 14));
  } else if (kind == "crenel") {
    for (double x = x1; x + 6 <= x2 + 1; x += 10) Box(img, x, y - 7, x + 6, y, Sh(ramp, 8));
    Box(img, x1, y - 2, x2, y, Sh(ramp, 6));
  } else if (kind == "tent") {
    Poly(img, {{x1 - 4, y}, {x2 + 4, y}, {cx, y - rh}}, Sh(ramp, 9));
    for (int k = 0; k < 6; ++k)
      if (k % 2) Poly(img, {{x1 - 4 + (x2 - x1 + 8) * k / 6, y}, {x1 - 4 + (x2 - x1 + 8) * (k + 1) / 6, y}, {cx, y - rh}}, Sh(kParchR, 14));
  } else if (kind == "flat") {
    Box(img, x1 - 2, y - 4, x2 + 2, y, Sh(ramp, 8));
  }
}

void Windows(Image& img, double x1, double x2, double y1, double y2, int rows, int cols, int lit, uint32_t seed) {
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c) {
      const double cw = (x2 - x1) / cols, rh = (y2 - y1) / rows;
      const double x = x1 + cw * (c + 0.5), y = y1 + rh * (r + 0.5);
      const int glow = lit > 0 ? lit + (int)(Noise(r, c, seed) % 3) : 0;
      Box(img, x - 4, y - 6, x + 4, y + 6, Sh(kWoodR, 2));
      Box(img, x - 3, y - 5, x + 3, y + 5, glow ? Sh(kGoldR, std::min(15, 6 + glow)) : Sh(kBlueR, 3));
      Line(img, x, y - 5, x, y + 5, 0, Sh(kWoodR, 2));
      Line(img, x - 3, y, x + 3, y, 0, Sh(kWoodR, 2));
    }
}

void Door(Image& img, double cx, double gy, double dw, double dh, uint8_t inside) {
  Box(img, cx - dw / 2 - 2, gy - dh - 2, cx + dw / 2 + 2, gy, Sh(kSlateR, 5));
  Box(img, cx - dw / 2, gy - dh, cx + dw / 2, gy, inside);
  Ellipse(img, cx, gy - dh, dw / 2 + 2, dw / 3, Sh(kSlateR, 5), Sh(kSlateR, 5));
  Ellipse(img, cx, gy - dh, dw / 2, dw / 3 - 2, inside, inside);
}

void Flag(Image& img, double x, double y, double len, double t, double off, uint8_t ramp) {
  Line(img, x, y, x, y - 22, 0.6, Sh(kGreyR, 4));
  for (int s = 0; s <= (int)len; ++s) {
    const double yy = y - 22 + 2.2 * Wave(t, 1, off + s / len) * s / len;
    Line(img, x + s, yy, x + s, yy + 8, 0, Sh(ramp, 9 + (s % 5 == 0 ? 2 : 0)));
  }
}

}  // namespace

void Emblem(Image& img, double cx, double cy, const std::string& e, double s) {
  const uint8_t dark = Sh(kWoodR, 1), gold = Sh(kGoldR, 12), metal = Sh(kGreyR, 8);
  if (e == "anvil") {
    Poly(img, {{cx - 7 * s, cy - 2 * s}, {cx + 5 * s, cy - 2 * s}, {cx + 8 * s, cy - 4 * s}, {cx - 7 * s, cy - 4 * s}}, dark);
    Box(img, cx - 2 * s, cy - 2 * s, cx + 2 * s, cy + 3 * s, dark);
    Box(img, cx - 5 * s, cy + 3 * s, cx + 5 * s, cy + 4 * s, dark);
  } else if (e == "cross") {
    Box(img, cx - 1.5 * s, cy - 6 * s, cx + 1.5 * s, cy + 6 * s, Sh(kRedR, 8));
    Box(img, cx - 5 * s, cy - 1.5 * s, cx + 5 * s, cy + 1.5 * s, Sh(kRedR, 8));
  } else if (e == "coin") {
    Ellipse(img, cx, cy, 5 * s, 5 * s, gold, Sh(kGoldR, 6));
  } else if (e == "book") {
    Box(img, cx - 6 * s, cy - 4 * s, cx - 0.5 * s, cy + 4 * s, Sh(kParchR, 15));
    Box(img, cx + 0.5 * s, cy - 4 * s, cx + 6 * s, cy + 4 * s, Sh(kParchR, 13));
    for (int k = -2; k <= 2; k += 2) Line(img, cx - 5 * s, cy + k * s, cx - 1.5 * s, cy + k * s, 0, dark);
  } else if (e == "mug") {
    Box(img, cx - 4 * s, cy - 4 * s, cx + 3 * s, cy + 5 * s, Sh(kWoodR, 9));
    Ellipse(img, cx + 4.5 * s, cy, 2.5 * s, 3 * s, kTransparent, Sh(kWoodR, 6));
    Box(img, cx - 4 * s, cy - 6 * s, cx + 3 * s, cy - 4 * s, kWhite);
  } else if (e == "scales") {
    Line(img, cx, cy - 6 * s, cx, cy + 5 * s, 0.6 * s, gold);
    Line(img, cx - 6 * s, cy - 4 * s, cx + 6 * s, cy - 4 * s, 0.5 * s, gold);
    Ellipse(img, cx - 6 * s, cy + 1 * s, 3 * s, 1.5 * s, gold, gold);
    Ellipse(img, cx + 6 * s, cy + 1 * s, 3 * s, 1.5 * s, gold, gold);
  } else if (e == "herb") {
    Line(img, cx, cy + 6 * s, cx, cy - 5 * s, 0.5 * s, Sh(kGreenR, 5));
    for (int k = 0; k < 3; ++k) {
      Ellipse(img, cx - 3 * s, cy - k * 3 * s, 2.5 * s, 1.2 * s, Sh(kGreenR, 9), Sh(kGreenR, 6));
      Ellipse(img, cx + 3 * s, cy - k * 3 * s + 1.5 * s, 2.5 * s, 1.2 * s, Sh(kGreenR, 9), Sh(kGreenR, 6));
    }
  } else if (e == "key") {
    Ellipse(img, cx - 4 * s, cy, 2.5 * s, 2.5 * s, kTransparent, gold);
    Line(img, cx - 1.5 * s, cy, cx + 6 * s, cy, 0.6 * s, gold);
    Line(img, cx + 4 * s, cy, cx + 4 * s, cy + 2.5 * s, 0.5 * s, gold);
  } else if (e == "sword") {
    Line(img, cx - 5 * s, cy + 5 * s, cx + 5 * s, cy - 5 * s, 0.6 * s, metal);
    Line(img, cx - 5 * s, cy + 1 * s, cx - 1 * s, cy + 5 * s, 0.6 * s, gold);
  } else if (e == "star") {
    for (int k = 0; k < 5; ++k) {
      const double a = -kPi / 2 + k * 2 * kPi / 5;
      Line(img, cx, cy, cx + 6 * s * std::cos(a), cy + 6 * s * std::sin(a), 0.7 * s, gold);
    }
  } else if (e == "skull") {
    Dot(img, cx, cy - 1 * s, 4 * s, Sh(kParchR, 15));
    Box(img, cx - 2 * s, cy + 2 * s, cx + 2 * s, cy + 4 * s, Sh(kParchR, 15));
    Dot(img, cx - 1.6 * s, cy - 1 * s, 1 * s, kBlack);
    Dot(img, cx + 1.6 * s, cy - 1 * s, 1 * s, kBlack);
  } else if (e == "horseshoe") {
    for (int k = 0; k <= 12; ++k) {
      const double a = kPi * (0.1 + 0.8 * k / 12.0);
      Dot(img, cx + 5 * s * std::cos(a + kPi), cy - 5 * s * std::sin(a + kPi), 1 * s, metal);
    }
  }
}

namespace {

// A hanging sign on a bracket, swinging by `angle`.
void Sign(Image& img, double x, double y, const std::string& emblem, double angle) {
  Line(img, x - 14, y, x + 14, y, 1, Sh(kGreyR, 3));
  Image board(30, 26, kTransparent);
  Box(board, 1, 1, 28, 24, Sh(kWoodR, 10));
  FrameRect(board, 1, 1, 28, 24, Sh(kWoodR, 3));
  Emblem(board, 15, 13, emblem, 1.2);
  Place pl;
  pl.ax = 15, pl.ay = -4, pl.px = x, pl.py = y, pl.angle = angle;
  Line(img, x - 9, y, x - 9 + 4 * std::sin(-angle), y + 4, 0, kBlack);
  Line(img, x + 9, y, x + 9 + 4 * std::sin(-angle), y + 4, 0, kBlack);
  Blit(img, board, pl);
}

void Person(Image& img, double x, double gy, double step, uint8_t cloth, uint8_t hat) {
  const double swing = 3 * step;
  Line(img, x, gy - 10, x - swing, gy, 1, Sh(kWoodR, 2));
  Line(img, x, gy - 10, x + swing, gy, 1, Sh(kWoodR, 2));
  Box(img, x - 3, gy - 20, x + 3, gy - 9, cloth);
  Dot(img, x, gy - 23, 3, Sh(kRoseR, 9));
  if (hat) Box(img, x - 3, gy - 27, x + 3, gy - 25, hat);
}

void SmokeFrom(Image& img, double x, double y, double t, double spread) {
  for (int k = 4; k >= 0; --k) {
    const double ph = std::fmod(t + k / 5.0, 1.0);
    Dot(img, x + ph * spread + 2 * Wave(ph, 1, k * 0.2), y - ph * 50, 2 + ph * 7, Sh(kGreyR, 12 - (int)(ph * 4)));
  }
}

void Ship(Image& img, double cx, double wy, double size, double t, uint8_t sail) {
  Image s((int)(size * 2.4), (int)(size * 2.2), kTransparent);
  const double bx = s.width / 2.0, by = s.height * 0.75;
  Poly(s, {{bx - size, by - size * 0.25}, {bx + size, by - size * 0.3}, {bx + size * 0.7, by + size * 0.1}, {bx - size * 0.75, by + size * 0.1}}, Sh(kWoodR, 5));
  Line(s, bx - size, by - size * 0.2, bx + size, by - size * 0.25, 0.8, Sh(kWoodR, 9));
  Line(s, bx, by - size * 0.25, bx, by - size * 1.55, 1, Sh(kWoodR, 3));
  Poly(s, {{bx - size * 0.55, by - size * 1.4}, {bx + size * 0.55, by - size * 1.4}, {bx + size * 0.6, by - size * 0.45}, {bx - size * 0.6, by - size * 0.45}}, sail);
  Line(s, bx - size * 0.55, by - size * 1.4, bx + size * 0.55, by - size * 1.4, 0.6, Sh(kWoodR, 3));
  Place pl;
  pl.ax = bx, pl.ay = by, pl.px = cx, pl.py = wy + 1.5 * Wave(t, 1, 0.25), pl.angle = 0.06 * Wave(t, 1);
  Blit(img, s, pl);
}

// ---- the building --------------------------------------------------------------

void Building(Image& img, const Params& p, double t, int i, int n) {
  Scene sc{img, p, t, i, n, img.width, img.height, (int)(img.height * 0.84)};
  const int w = sc.w, h = sc.h, gy = sc.gy;
  const std::string body = p.Str("body", "house"), works = p.Str("work", "");
  const std::string wall = p.Str("wall", "plaster"), roof = p.Str("roof", "gable");
  const uint8_t wallc = p.RampP("wallc", 0), roofc = p.RampP("roofc", kRedR), flagc = p.RampP("flagc", kRedR);
  const std::string sign = p.Str("sign", "");
  const int towers = (int)p.Num("towers", 0);
  // The description's sizes are shares of the picture; drawn a little larger.
  const double bwf = std::min(0.8, p.Num("width", 0.5) * 1.15), bhf = p.Num("height", 0.32) * 1.3;
  const uint32_t seed = (uint32_t)p.Num("seed", 1);
  const bool harbour = body == "harbour";

  Gradient(img, 0, 0, w - 1, gy, kBlueR, 14, 10, 3);
  for (int k = 0; k < 3; ++k) {  // clouds
    const double cx = 30 + k * 75 + (Noise(k, 1, seed) % 20), cy = 18 + (Noise(k, 2, seed) % 20);
    Ellipse(img, cx, cy, 16, 5, Sh(kGreyR, 15), Sh(kGreyR, 14));
    Ellipse(img, cx + 8, cy - 3, 9, 5, Sh(kGreyR, 15), Sh(kGreyR, 15));
  }
  Speckle(img, 0, gy, w - 1, h - 1, harbour ? kSandR : kGreenR, harbour ? 8 : 6, 3, seed + 5);
  if (harbour) {  // the water on the right, the pier into it
    for (int y = (int)(h * 0.55); y < h; ++y)
      for (int x = (int)(w * 0.42) - (y - (int)(h * 0.55)) / 3; x < w; ++x)
        img.Set(x, y, Sh(kWaterR, 5 + (int)(Noise(Flow(x, i, 2, n) / 4, y / 2, 7) % 4) + (Flow(x + y * 5, i, 2, n) % 9 == 0 ? 3 : 0)));
  }
  const double cx = harbour ? w * 0.25 : w / 2.0;
  const double bw = w * bwf, x1 = cx - bw / 2, x2 = cx + bw / 2;
  // Shrink the height until the highest spire, flag or roof stays in the picture.
  double bh = h * bhf;
  const std::string troof_kind = p.Str("troof", body == "church" ? "spire" : "crenel");
  const double tw_est = bw * 0.2 + 10;
  for (int guard = 0; guard < 40; ++guard) {
    const double keep = body == "castle" ? bh * 1.3 : bh;
    double high = gy - keep - p.Num("roofh", bh * 0.6) - (roof == "dome" ? 14 : 0) - (towers == 0 && HasWork(works, "flag") ? 24 : 0);
    if (towers > 0)
      high = std::min(high, gy - keep - bh * p.Num("towerh", 0.5) - (troof_kind == "spire" ? tw_est * 1.6 : troof_kind == "crenel" ? 7 : tw_est * 0.8) -
                                (HasWork(works, "flag") ? 24 : 0));
    if (high >= 6) break;
    bh *= 0.95;
  }
  const double top = gy - bh;

  if (body == "yard" || body == "tents" || body == "round") {
    // No main wall: fence or nothing, the yard's own things below.
  } else {
    if (body == "castle") {  // curtain wall in front of the keep
      Wall(img, (int)(w * 0.08), (int)(gy - bh * 0.55), (int)(w * 0.92), gy, "stone", wallc, seed + 3);
      Roof(img, w * 0.08, w * 0.92, gy - bh * 0.55, 0, "crenel", kSlateR);
    }
    const double keep_top = body == "castle" ? top - bh * 0.3 : top;
    Wall(img, (int)x1, (int)keep_top, (int)x2, gy, wall, wallc, seed);
    Roof(img, x1, x2, keep_top, p.Num("roofh", bh * 0.6), roof, roofc);
    const int rows = (int)p.Num("floors", 1), cols = std::max(1, (int)(bw / 26));
    const bool lit = HasWork(works, "lights");
    const int glow = lit ? 4 + (int)std::lround(3 * Wave(t, 2, 0.1) + 2 * Wave(t, 3)) : 0;
    if (p.Num("columns", 0) != 0) {
      for (double x = x1 + 6; x < x2 - 4; x += 16) Box(img, x, keep_top + 8, x + 6, gy - 2, Sh(kParchR, 15));
      Box(img, x1 - 4, keep_top + 2, x2 + 4, keep_top + 8, Sh(kParchR, 13));
    } else if (body != "castle") {
      Windows(img, x1 + 6, x2 - 6, keep_top + 6, gy - 24, rows, cols, glow, seed);
    }
    if (body == "castle") Windows(img, x1 + 8, x2 - 8, keep_top + 8, keep_top + 30, 1, 2, glow, seed);
    Door(img, cx, gy, 14, 18, HasWork(works, "forge") ? Sh(kOrangeR, 9 + (int)(3 * Wave(t, 2))) : Sh(kWoodR, 3));
    if (HasWork(works, "forge"))
      for (int k = 0; k < 5; ++k) {
        const double ph = std::fmod(t * 2 + k / 5.0, 1.0);
        Dot(img, cx - 4 + k * 2 + ph * 6 * (k % 2 ? 1 : -1), gy - 8 - ph * 16, 0.8, Sh(kGoldR, 15));
      }
    for (int k = 0; k < towers; ++k) {  // towers at the sides (or one beside a church)
      const double tx = towers == 1 ? x2 + 4 : (k == 0 ? x1 - 6 : x2 + 6);
      const double tw = bw * 0.2 + 10, ttop = keep_top - bh * p.Num("towerh", 0.5);
      Wall(img, (int)(tx - tw / 2), (int)ttop, (int)(tx + tw / 2), gy, wall == "plaster" || wall == "timber" ? "stone" : wall, wallc, seed + 7 + k);
      const std::string& troof = troof_kind;
      Roof(img, tx - tw / 2, tx + tw / 2, ttop, troof == "spire" ? tw * 1.6 : tw * 0.8, troof, troof == "crenel" ? (uint8_t)kSlateR : roofc);
      Windows(img, tx - 4, tx + 4, ttop + 6, ttop + 20, 1, 1, glow, seed + k);
      if (HasWork(works, "flag")) Flag(img, tx, ttop - (troof == "spire" ? tw * 1.6 : troof == "crenel" ? 7 : tw * 0.8), 14, t, k * 0.35, flagc);
      if (HasWork(works, "bell") && k == 0) {  // the bell swinging in the tower's opening
        const double bx = tx, by = ttop + 10, a = 0.5 * Wave(t, 1);
        Box(img, bx - 7, by - 6, bx + 7, by + 12, Sh(kSlateR, 1));
        const double ex = bx + 8 * std::sin(a), ey = by + 8 * std::cos(a);
        Line(img, bx, by - 4, ex, ey, 0.6, Sh(kWoodR, 3));
        Poly(img, {{ex - 5 * std::cos(a) - 1, ey + 5 * std::sin(a)}, {ex + 5 * std::cos(a) + 1, ey - 5 * std::sin(a)},
                   {ex + 3 * std::cos(a) - 6 * std::sin(a), ey - 3 * std::sin(a) - 6 * std::cos(a)},
                   {ex - 3 * std::cos(a) - 6 * std::sin(a), ey + 3 * std::sin(a) - 6 * std::cos(a)}},
             Sh(kGoldR, 9));
      }
      if (HasWork(works, "clock") && k == 0) {  // one turn of the hand a loop
        const double ccy = ttop + 30, a = 2 * kPi * t - kPi / 2;
        Ellipse(img, tx, ccy, 7, 7, Sh(kParchR, 15), Sh(kGoldR, 8));
        Line(img, tx, ccy, tx + 6 * std::cos(a), ccy + 6 * std::sin(a), 0, kBlack);
        Line(img, tx, ccy, tx, ccy - 4, 0, kBlack);
      }
    }
    if (towers == 0 && HasWork(works, "flag")) Flag(img, cx, keep_top - (roof == "flat" || roof == "crenel" ? 6 : p.Num("roofh", bh * 0.6)), 18, t, 0, flagc);
    if (HasWork(works, "smoke")) {
      const double chx = x2 - bw * 0.22, chy = keep_top - p.Num("roofh", bh * 0.6) * 0.45;
      Box(img, chx - 4, chy - 6, chx + 4, keep_top, Sh(kRedR, 5));
      SmokeFrom(img, chx, chy - 8, t, 24);
    }
    if (body == "church") {  // a rose window
      Ellipse(img, cx, keep_top + bh * 0.3, 7, 7, Sh(kBlueR, 9), Sh(kSlateR, 4));
      Line(img, cx - 6, keep_top + bh * 0.3, cx + 6, keep_top + bh * 0.3, 0, Sh(kRedR, 9));
    }
  }
  if (body == "tents") {  // a camp: tents, a fire, a flag
    for (int k = 0; k < 3; ++k) {
      const double tx = w * (0.22 + k * 0.28), ty = gy - (k == 1 ? 6 : 0), tw = 26 + (k == 1 ? 8 : 0);
      Poly(img, {{tx - tw, ty}, {tx + tw, ty}, {tx, ty - tw * 1.1}}, Sh(p.RampP("tentc", kSandR), 11 - k));
      Poly(img, {{tx - 5, ty}, {tx + 5, ty}, {tx, ty - 14}}, Sh(kWoodR, 2));
      if (!sign.empty() && k == 1) Emblem(img, tx, ty - tw * 0.6, sign, 1.0);
    }
    if (HasWork(works, "flag")) Flag(img, w * 0.5, gy - 46, 18, t, 0, flagc);
  }
  if (body == "round") {  // the circus tent
    const double rx = w * 0.4, ry = h * 0.3;
    for (int y = 0; y < (int)ry; ++y) {
      const double half = rx * std::sqrt(1 - ((double)y / ry) * ((double)y / ry));
      for (int x = (int)(cx - half); x <= (int)(cx + half); ++x)
        img.Set(x, gy - y, ((int)((x - cx) / half * 4 + 8) % 2) ? Sh(kRedR, 9) : Sh(kParchR, 15));
    }
    Door(img, cx, gy, 18, 22, Sh(kWoodR, 1));
    for (int k = -1; k <= 1; ++k) Flag(img, cx + k * rx * 0.6, gy - ry * (k ? 0.8 : 1.0), 12, t, k * 0.3, k ? kBlueR : kGoldR);
  }
  if (body == "yard") {
    const std::string things = p.Str("things", "");
    if (p.Num("fence", 0) != 0) {  // a wall of stone posts and rails along the back
      for (double x = 4; x < w - 4; x += 12) Box(img, x, gy - 30, x + 3, gy - 2, Sh(kSlateR, 6));
      Box(img, 0, gy - 26, w - 1, gy - 23, Sh(kSlateR, 8));
      Box(img, 0, gy - 12, w - 1, gy - 9, Sh(kSlateR, 8));
    }

    if (things == "graves") {
      for (int k = 0; k < 8; ++k) {
        const double gx = w * (0.12 + (k % 4) * 0.24), gyy = gy - 14 + (k / 4) * 18;
        if (k % 3 == 0) {
          Box(img, gx - 2, gyy - 18, gx + 2, gyy, Sh(kSlateR, 9));
          Box(img, gx - 7, gyy - 14, gx + 7, gyy - 10, Sh(kSlateR, 9));
        } else {
          Box(img, gx - 6, gyy - 14, gx + 6, gyy, Sh(kSlateR, 8));
          Ellipse(img, gx, gyy - 14, 6, 4, Sh(kSlateR, 8), Sh(kSlateR, 8));
        }
      }
      for (int k = 0; k < 4; ++k) {  // candles on graves
        const double fx = w * (0.2 + k * 0.22), fy = gy + 2;
        Box(img, fx - 1, fy - 6, fx + 1, fy, Sh(kParchR, 15));
        Dot(img, fx, fy - 8 + 0.6 * Wave(t, 3, k * 0.3), 1.3 + 0.4 * Wave(t, 2, k * 0.2), Sh(kGoldR, 15));
      }
      // A crow hopping on the wall.
      const double bx = w * 0.6 + 10 * std::sin(2 * kPi * t);
      Ellipse(img, bx, gy - 33, 5, 3, kBlack, kBlack);
      Dot(img, bx + (std::cos(2 * kPi * t) > 0 ? 5 : -5), gy - 36, 2, kBlack);
    } else if (things == "stalls") {
      const uint8_t awn[3] = {kRedR, kBlueR, kGreenR};
      for (int k = 0; k < 3; ++k) {
        const double sx = w * (0.18 + k * 0.32), sy = gy - 18;
        Box(img, sx - 22, sy, sx + 22, sy + 14, Sh(kWoodR, 7));
        for (int s = 0; s < 6; ++s) Box(img, sx - 24 + s * 8, sy - 12, sx - 17 + s * 8, sy - 4, s % 2 ? Sh(kParchR, 15) : Sh(awn[k], 9));
        Line(img, sx - 22, sy - 4, sx - 22, sy + 14, 0.6, Sh(kWoodR, 3));
        Line(img, sx + 22, sy - 4, sx + 22, sy + 14, 0.6, Sh(kWoodR, 3));
        for (int g = 0; g < 3; ++g) Dot(img, sx - 10 + g * 10, sy - 1, 3, Sh(g == 0 ? kRedR : g == 1 ? kGoldR : kGreenR, 10));
      }
    } else if (things == "drill") {
      Box(img, w * 0.05, gy - 30, w * 0.95, gy - 27, Sh(kWoodR, 5));  // a rail fence
    }
  }
  if (!sign.empty() && body != "tents") {
    const double sx = std::min(w - 20.0, x2 + 18), sy = gy - bh * 0.55;
    const std::string swing = HasWork(works, "sign") ? "swing" : "";
    if (HasWork(works, "coin")) {  // the coin sign turning about its upright axis
      Line(img, sx, sy - 14, sx, sy - 4, 0, Sh(kGreyR, 3));
      const double c = std::cos(2 * kPi * t);
      Ellipse(img, sx, sy + 6, std::max(1.0, 10 * std::fabs(c)), 10, c > 0 ? Sh(kGoldR, 12) : Sh(kGoldR, 8), Sh(kGoldR, 5));
      if (std::fabs(c) > 0.5) Emblem(img, sx, sy + 6, "star", 0.5 * std::fabs(c));
    } else {
      Sign(img, sx, sy, sign, swing.empty() ? 0 : 0.22 * Wave(t, 1));
    }
  }
  // Work in front of the building.
  if (HasWork(works, "crowd"))
    for (int k = 0; k < 4; ++k) {
      const double ph = t + k / 4.0, x = w * 0.5 + w * 0.42 * std::sin(2 * kPi * ph);
      const uint8_t cloth[4] = {kBlueR, kRedR, kGreenR, kPurpleR};
      Person(img, x, gy + 8 + k * 5, Wave(t, 4, k * 0.25), Sh(cloth[k], 8), k % 2 ? Sh(kWoodR, 4) : 0);
    }
  if (HasWork(works, "drill"))  // soldiers marching on the spot and turning their spears
    for (int k = 0; k < 5; ++k) {
      const double x = w * (0.18 + k * 0.16), step = Wave(t, 2, k * 0.0);
      Person(img, x, gy + 18, step, Sh(kRedR, 7), Sh(kGreyR, 9));
      Line(img, x + 4, gy + 8, x + 4 + 2 * Wave(t, 1), gy - 22, 0.5, Sh(kWoodR, 6));
      Dot(img, x + 4 + 2 * Wave(t, 1), gy - 24, 1.3, Sh(kGreyR, 13));
    }
  if (HasWork(works, "horse")) {  // a horse looking out of the stable door, nodding
    const double hx = cx - 2, hy = gy - 12 + 2.5 * Wave(t, 1);
    Box(img, cx - 9, gy - 22, cx + 9, gy, Sh(kWoodR, 1));
    Poly(img, {{hx - 5, gy}, {hx + 5, gy}, {hx + 4, hy}, {hx - 4, hy}}, Sh(kWoodR, 6));
    Ellipse(img, hx + 7, hy + 2, 8, 4.5, Sh(kWoodR, 6), Sh(kWoodR, 4));
    Dot(img, hx + 3, hy - 1, 1, kBlack);
    Poly(img, {{hx - 3, hy - 4}, {hx, hy - 10}, {hx + 1, hy - 4}}, Sh(kWoodR, 5));
  }
  if (HasWork(works, "hoist")) {  // a crate hauled up and let down under the gable
    const double hx = cx + bw * 0.28, beam = top - 6, y = gy - 12 - (bh - 30) * (0.5 - 0.5 * std::cos(2 * kPi * t));
    Line(img, hx - 8, beam, hx + 10, beam, 1.2, Sh(kWoodR, 3));
    Line(img, hx + 8, beam, hx + 8, y - 8, 0, Sh(kParchR, 6));
    Box(img, hx + 2, y - 8, hx + 14, y + 4, Sh(kWoodR, 9));
    FrameRect(img, (int)hx + 2, (int)y - 8, (int)hx + 14, (int)y + 4, Sh(kWoodR, 4));
  }
  if (HasWork(works, "wheel")) {  // a water wheel at the side in a mill race
    const double wx = x1 - 18, wy = gy - 14, r = 18;
    for (int y = (int)wy; y < gy + 10; ++y)
      for (int x = (int)(wx - 24); x < (int)(wx + 22); ++x)
        img.Set(x, y, Sh(kWaterR, 6 + (int)(Noise(Flow(x, -i, 2, n) / 3, y / 2, 3) % 5)));
    Ellipse(img, wx, wy, r, r, kTransparent, Sh(kWoodR, 4));
    for (int k = 0; k < 8; ++k) {
      const double a = -t * kPi / 4 + k * kPi / 4;
      Line(img, wx, wy, wx + r * std::cos(a), wy + r * std::sin(a), 0.6, Sh(kWoodR, 6));
      Line(img, wx + r * 0.7 * std::cos(a), wy + r * 0.7 * std::sin(a), wx + r * 1.1 * std::cos(a), wy + r * 1.1 * std::sin(a), 1.4, Sh(kWoodR, 9));
    }
  }
  if (HasWork(works, "saw")) {  // a log on the trestle, the saw going to and fro
    const double lx = cx + bw * 0.2, ly = gy + 10, off = 8 * Wave(t, 2);
    Box(img, lx - 30, ly - 6, lx + 30, ly, Sh(kWoodR, 8));
    Ellipse(img, lx + 30, ly - 3, 2, 3, Sh(kWoodR, 12), Sh(kWoodR, 5));
    Box(img, lx - 28, ly, lx - 26, ly + 8, Sh(kWoodR, 4));
    Box(img, lx + 26, ly, lx + 28, ly + 8, Sh(kWoodR, 4));
    Line(img, lx - 12 + off, ly - 14, lx + 12 + off, ly - 14, 0.6, Sh(kWoodR, 5));
    for (double x = lx - 12 + off; x < lx + 12 + off; x += 1) Line(img, x, ly - 13, x, ly - 5, 0, Sh(kGreyR, 11));
    for (int k = 0; k < 4; ++k) {
      const double ph = std::fmod(t * 2 + k / 4.0, 1.0);
      Dot(img, lx + (k % 2 ? 3 : -3) * ph * 4, ly + ph * 8, 0.7, Sh(kParchR, 12));
    }
  }
  if (HasWork(works, "ship")) Ship(img, w * 0.76, h * 0.8, p.Num("shipsize", 34), t, Sh(kParchR, 14));
  if (harbour) {
    Box(img, w * 0.35, gy - 4, w * 0.62, gy, Sh(kWoodR, 7));  // the pier
    for (double x = w * 0.37; x < w * 0.62; x += 10) Box(img, x, gy, x + 2, gy + 16, Sh(kWoodR, 3));
    Line(img, w * 0.55, gy - 4, w * 0.6, h * 0.72 + Wave(t, 1, 0.25), 0, Sh(kParchR, 6));  // mooring rope
  }
  if (HasWork(works, "cart")) {  // a cart drawn in and out of the yard
    const double x = w * 0.5 + w * 0.3 * std::sin(2 * kPi * t), y = gy + 14;
    Box(img, x - 16, y - 12, x + 14, y - 2, Sh(kWoodR, 8));
    for (int k = 0; k < 3; ++k) Box(img, x - 14 + k * 9, y - 18, x - 7 + k * 9, y - 12, Sh(kParchR, 12 - k));
    const double a = std::sin(2 * kPi * t) * 3;  // wheels turn as it moves
    for (int s = -1; s <= 1; s += 2) {
      Ellipse(img, x + s * 9, y, 5, 5, kTransparent, Sh(kWoodR, 3));
      Line(img, x + s * 9 - 4 * std::cos(a), y - 4 * std::sin(a), x + s * 9 + 4 * std::cos(a), y + 4 * std::sin(a), 0, Sh(kWoodR, 3));
    }
  }
  if (HasWork(works, "fire")) {  // a camp fire blazing in front: tongues of flame, sparks, smoke
    const double fx = w * 0.5, fy = gy + 20;
    SmokeFrom(img, fx + 2, fy - 26, t, 20);
    for (int k = 0; k < 5; ++k) {
      const double hh = 16 + 7 * Wave(t, 2, k * 0.23) + 3 * Wave(t, 3, k * 0.41), lean = 4 * Wave(t, 1, k * 0.2);
      const double bx = fx - 12 + k * 6;
      Poly(img, {{bx - 4, fy}, {bx + 4, fy}, {bx + lean, fy - hh}}, Sh(kOrangeR, 10 + k % 3));
      Poly(img, {{bx - 2, fy}, {bx + 2, fy}, {bx + lean * 0.6, fy - hh * 0.6}}, Sh(kGoldR, 14));
    }
    for (int k = 0; k < 8; ++k) {
      const double ph = std::fmod(t * 2 + k / 8.0, 1.0);
      Dot(img, fx - 8 + (k * 5) % 17 + 5 * Wave(ph, 1, k * 0.3), fy - 14 - ph * 36, 0.9, Sh(kGoldR, 15 - (int)(ph * 5)));
    }
    Line(img, fx - 16, fy + 1, fx + 16, fy - 1, 1.4, Sh(kWoodR, 3));
    Line(img, fx - 15, fy - 1, fx + 15, fy + 2, 1.4, Sh(kWoodR, 4));
  }
  if (HasWork(works, "juggler")) {  // a juggler with three balls
    const double jx = w * 0.78, jy = gy + 18;
    Person(img, jx, jy, 0, Sh(kPurpleR, 9), Sh(kRedR, 9));
    for (int k = 0; k < 3; ++k) {
      const double ph = std::fmod(t * 1.5 + k / 3.0, 1.0) * 2 * kPi;
      Dot(img, jx + 8 * std::cos(ph), jy - 30 + 10 * std::sin(ph) - 6, 2, Sh(k == 0 ? kRedR : k == 1 ? kGoldR : kBlueR, 11));
    }
  }
  if (HasWork(works, "torches"))
    for (int k = -1; k <= 1; k += 2) {
      const double tx = cx + k * 14, ty = gy - 26;
      Line(img, tx, ty, tx, ty + 8, 0.6, Sh(kWoodR, 3));
      Dot(img, tx, ty - 2 + 0.5 * Wave(t, 3, k * 0.2), 2 + 0.6 * Wave(t, 2, k * 0.3), Sh(kOrangeR, 13));
      Dot(img, tx, ty - 2, 1, Sh(kGoldR, 15));
    }
  if (HasWork(works, "mist"))  // mist drifting over the ground, once across a loop
    for (int k = 0; k < 6; ++k) {
      const double x = std::fmod(k * w / 6.0 + t * w, (double)w);
      for (int d = -1; d <= 1; ++d) Ellipse(img, x + d * w, gy + 6 + (k % 3) * 7, 22, 2, Sh(kGreyR, 12), Sh(kGreyR, 11));
    }
  // ---- the buildings' own motions -------------------------------------------------
  // Walking to and fro across the front: x at phase t, facing the way it goes.
  const auto to_and_fro = [&](double ph, double centre, double reach, double* x) {
    *x = centre + reach * std::sin(2 * kPi * ph);
    return std::cos(2 * kPi * ph) >= 0 ? 1.0 : -1.0;
  };
  if (HasWork(works, "porters")) {  // two porters carrying a strongbox slung from a pole
    double x;
    to_and_fro(t, w * 0.5, w * 0.3, &x);
    const double y = gy + 20;
    for (int s = -1; s <= 1; s += 2) Person(img, x + s * 13, y, Wave(t, 4, s * 0.25), Sh(kBlueR, 6), Sh(kWoodR, 4));
    Line(img, x - 15, y - 19, x + 15, y - 19, 0.7, Sh(kWoodR, 4));
    Line(img, x - 3, y - 19, x - 4, y - 13, 0, Sh(kGreyR, 5));
    Line(img, x + 3, y - 19, x + 4, y - 13, 0, Sh(kGreyR, 5));
    Box(img, x - 7, y - 13, x + 7, y - 4, Sh(kWoodR, 6));
    Box(img, x - 7, y - 10, x + 7, y - 9, Sh(kGoldR, 11));
    Box(img, x - 1, y - 13, x + 1, y - 4, Sh(kGoldR, 11));
  }
  if (HasWork(works, "stretcher")) {  // bearers with a wounded man on a stretcher
    double x;
    const double dir = to_and_fro(t, w * 0.5, w * 0.32, &x);
    const double y = gy + 22;
    for (int s = -1; s <= 1; s += 2) Person(img, x + s * 16, y, Wave(t, 4, s * 0.25), Sh(kParchR, 14), Sh(kParchR, 15));
    Line(img, x - 19, y - 12, x + 19, y - 12, 0.7, Sh(kWoodR, 4));
    Box(img, x - 12, y - 16, x + 12, y - 12, Sh(kParchR, 15));
    Box(img, x - 8 * dir - 4, y - 18, x + 8 * dir + 4, y - 15, Sh(kRedR, 8));  // the blanket
    Dot(img, x + 10 * dir, y - 17, 2.5, Sh(kRoseR, 9));
  }
  if (HasWork(works, "doves")) {  // white doves circling the roof, wings beating
    const double ccx = cx, ccy = top - bh * 0.35;
    for (int k = 0; k < 7; ++k) {
      const double a = 2 * kPi * (t + k / 7.0), x = ccx + w * 0.36 * std::cos(a), y = ccy + 20 * std::sin(a) + 6 * Wave(t, 2, k * 0.3);
      const double flap = 4 * Wave(t, 3, k * 0.37);
      Ellipse(img, x, y, 3.5, 2, kWhite, Sh(kGreyR, 12));
      Line(img, x - 1, y, x - 6, y - flap, 0.7, Sh(kGreyR, 14));
      Line(img, x + 1, y, x + 6, y - flap, 0.7, Sh(kGreyR, 14));
    }
  }
  if (HasWork(works, "pilgrim")) {  // a pilgrim kneeling and bowing, incense rising from a bowl
    const double px = cx + 34, py = gy + 20, bow = 0.5 - 0.5 * std::cos(2 * kPi * t);
    Image fig(16, 24, kTransparent);
    Box(fig, 4, 8, 11, 23, Sh(kWoodR, 6));
    Dot(fig, 8, 5, 4, Sh(kRoseR, 9));
    Box(fig, 4, 1, 12, 3, Sh(kWoodR, 4));
    Place pl;
    pl.ax = 8, pl.ay = 23, pl.px = px, pl.py = py - 6, pl.angle = -1.1 * bow;
    Box(img, px - 2, py - 6, px + 10, py, Sh(kWoodR, 6));  // the knees on the ground
    Blit(img, fig, pl);
    const double bx = cx - 30, by = gy + 16;
    Ellipse(img, bx, by, 8, 3, Sh(kGoldR, 9), Sh(kGoldR, 5));
    SmokeFrom(img, bx, by - 4, t, 14);
  }
  if (HasWork(works, "trot")) {  // a horse walking to and fro before the stable
    double x;
    const double dir = to_and_fro(t, cx, w * 0.3, &x);
    const double y = gy + 14, lift = Wave(t, 4, 0.25);
    const uint8_t coat = Sh(kWoodR, 6), dark = Sh(kWoodR, 3);
    for (int k = 0; k < 4; ++k) {
      const double lx = x + (k < 2 ? -10 : 9) + (k % 2) * 3, sw = (k % 2 ? 1 : -1) * 4 * lift;
      Line(img, lx, y - 2, lx + sw, y + 12, 1, dark);
    }
    Ellipse(img, x, y - 6, 16, 7, coat, dark);
    Poly(img, {{x + 11 * dir, y - 10}, {x + 20 * dir, y - 24}, {x + 25 * dir, y - 22}, {x + 15 * dir, y - 6}}, coat);
    Ellipse(img, x + 25 * dir, y - 22, 6, 3.5, coat, dark);
    Line(img, x + 18 * dir, y - 24, x + 12 * dir, y - 14, 1, dark);  // the mane
    Line(img, x - 16 * dir, y - 9, x - 21 * dir, y + 3 + 2 * lift, 1, dark);  // the tail
    Dot(img, x + 26 * dir, y - 24, 0.8, kBlack);
  }
  if (HasWork(works, "crier")) {  // the town crier walking to and fro, ringing his hand bell
    double x;
    const double dir = to_and_fro(t, cx, w * 0.3, &x);
    const double y = gy + 22, a = 0.9 * Wave(t, 4, 0.25);
    Person(img, x, y, Wave(t, 4, 0.25), Sh(kRedR, 9), Sh(kGreyR, 3));
    const double hx = x + dir * (4 + 9 * std::cos(a)), hy = y - 18 - 9 * std::sin(a) - 6;
    Line(img, x + dir * 3, y - 18, hx, hy, 0.7, Sh(kRedR, 9));
    Poly(img, {{hx - 3, hy + 5}, {hx + 3, hy + 5}, {hx + 1.5, hy - 1}, {hx - 1.5, hy - 1}}, Sh(kGoldR, 11));
    Box(img, x - dir * 9, y - 20, x - dir * 5, y - 13, Sh(kParchR, 15));  // the proclamation
  }
  if (HasWork(works, "orrery")) {  // an armillary sphere on its pedestal, its rings turning
    const double ox = std::min(w - 24.0, x2 + 2), oy = gy - 10, r = 20, c = std::cos(2 * kPi * t), s = std::sin(2 * kPi * t);
    Box(img, ox - 3, oy + r - 2, ox + 3, gy + 12, Sh(kSlateR, 8));
    Box(img, ox - 8, gy + 10, ox + 8, gy + 14, Sh(kSlateR, 6));
    for (int k = 0; k < 48; ++k) {
      const double u = 2 * kPi * k / 48;
      Dot(img, ox + r * std::cos(u) * c, oy + r * std::sin(u), 0.9, Sh(kGoldR, 9 + (int)std::lround(3 * c)));  // meridian
      Dot(img, ox + r * std::cos(u), oy + r * 0.3 * std::sin(u) * s + r * 0.35 * std::cos(u) * c, 0.8, Sh(kGoldR, 13));  // ecliptic
      Dot(img, ox + r * std::cos(u), oy + r * 0.25 * std::sin(u), 0.7, Sh(kGoldR, 7));  // equator
    }
    Dot(img, ox + 6 * c, oy - 3 * s, 2.2, Sh(kOrangeR, 14));
  }
  if (HasWork(works, "justice")) {  // the great scales before the court, their beam rocking
    const double sx = std::min(w - 26.0, x2 - 2), sy = gy - 20, a = 0.3 * Wave(t, 1);
    Box(img, sx - 2, sy, sx + 2, gy + 14, Sh(kGoldR, 8));
    Box(img, sx - 9, gy + 11, sx + 9, gy + 15, Sh(kSlateR, 7));
    const double ex = 22 * std::cos(a), ey = 22 * std::sin(a);
    Line(img, sx - ex, sy - ey, sx + ex, sy + ey, 1, Sh(kGoldR, 12));
    for (int k = -1; k <= 1; k += 2) {
      const double hx = sx + k * ex, hy = sy + k * ey;
      Line(img, hx, hy, hx - 6, hy + 14, 0, Sh(kGoldR, 10));
      Line(img, hx, hy, hx + 6, hy + 14, 0, Sh(kGoldR, 10));
      Ellipse(img, hx, hy + 15, 8, 3, Sh(kGoldR, 11), Sh(kGoldR, 6));
    }
    Dot(img, sx, sy - 2, 2.5, Sh(kGoldR, 14));
  }
  if (HasWork(works, "guard")) {  // a guard pacing before the door, halberd on his shoulder
    double x;
    const double dir = to_and_fro(t, cx, w * 0.28, &x);
    const double y = gy + 20;
    Person(img, x, y, Wave(t, 4, 0.25), Sh(kSlateR, 5), Sh(kGreyR, 10));
    Line(img, x + 3 * dir, y - 14, x + 5 * dir, y - 44, 0.6, Sh(kWoodR, 4));
    Poly(img, {{x + 5 * dir, y - 44}, {x + 12 * dir, y - 40}, {x + 5 * dir, y - 36}}, Sh(kGreyR, 12));
  }
  if (HasWork(works, "procession")) {  // monks walking past with a cross, in through the picture once a loop
    for (int k = 0; k < 4; ++k) {
      const double x = -24 + (w + 48) * std::fmod(t + k * 0.09, 1.0), y = gy + 20;
      Person(img, x, y, Wave(t, 4, k * 0.3), Sh(kWoodR, 5), Sh(kWoodR, 5));
      Poly(img, {{x - 4, y - 20}, {x + 4, y - 20}, {x + 5, y - 4}, {x - 5, y - 4}}, Sh(kWoodR, 5));  // the habit
      if (k == 3) {
        Line(img, x + 5, y - 14, x + 5, y - 42, 0.6, Sh(kWoodR, 3));
        Line(img, x, y - 36, x + 10, y - 36, 0.6, Sh(kGoldR, 12));
        Line(img, x + 5, y - 42, x + 5, y - 30, 0.8, Sh(kGoldR, 12));
      }
    }
  }
  if (HasWork(works, "patrol")) {  // guards walking the curtain wall
    const double wy = gy - bh * 0.55 - 1;
    for (int k = 0; k < 2; ++k) {
      double x;
      const double dir = to_and_fro(t + k * 0.5, w * 0.5, w * 0.36, &x);
      Person(img, x, wy, Wave(t, 4, 0.25 + k * 0.5), Sh(kRedR, 7), Sh(kGreyR, 11));
      Line(img, x + 4 * dir, wy - 10, x + 4 * dir, wy - 34, 0.5, Sh(kWoodR, 6));
      Dot(img, x + 4 * dir, wy - 35, 1.4, Sh(kGreyR, 13));
    }
  }
  if (HasWork(works, "rosewindow")) {  // the great rose window, its panes lit in turn
    // As large as fits between the eaves and the door's arch.
    const double r = std::min(16.0, (gy - 25 - top - 3) / 2), rx = cx, ry = top + 3 + r;
    for (int y = (int)(ry - r); y <= (int)(ry + r); ++y)
      for (int x = (int)(rx - r); x <= (int)(rx + r); ++x) {
        const double dx = x + 0.5 - rx, dy = y + 0.5 - ry, d = std::hypot(dx, dy);
        if (d > r) continue;
        if (d > r - 1.5 || d < 2.5) { img.Set(x, y, Sh(kSlateR, 4)); continue; }
        const double a = std::atan2(dy, dx) / (2 * kPi) + 0.5;
        const int pane = (int)(a * 8) % 8;
        if (std::fabs(a * 8 - std::round(a * 8)) < 0.08) { img.Set(x, y, Sh(kSlateR, 4)); continue; }
        const uint8_t hue[4] = {kRedR, kBlueR, kGoldR, kGreenR};
        const double lit = 0.5 + 0.5 * std::cos(2 * kPi * (t - pane / 8.0));
        img.Set(x, y, Sh(hue[pane % 4], 4 + (int)std::lround(10 * lit)));
      }
  }
  if (HasWork(works, "acrobat")) {  // an acrobat cartwheeling past, in through the picture once a loop
    Image fig(12, 28, kTransparent);
    Box(fig, 3, 8, 8, 18, Sh(kRedR, 10));
    Dot(fig, 5.5, 4, 3.5, Sh(kRoseR, 9));
    Line(fig, 5, 18, 1, 27, 1, Sh(kGoldR, 10));
    Line(fig, 6, 18, 10, 27, 1, Sh(kGoldR, 10));
    Line(fig, 3, 10, 0, 1, 0.7, Sh(kRoseR, 9));
    Line(fig, 8, 10, 11, 1, 0.7, Sh(kRoseR, 9));
    Place pl;
    pl.ax = 6, pl.ay = 14, pl.px = -20 + (w + 40) * t, pl.py = gy + 6, pl.angle = 2 * kPi * 3 * t;
    Blit(img, fig, pl);
  }
  if (HasWork(works, "banners")) {  // long banners hanging down the keep, rippling in the wind
    const double keep = body == "castle" ? top - bh * 0.3 : top;
    for (int k = -1; k <= 1; k += 2) {
      const double bx = cx + k * bw * 0.25;
      for (int y = 0; y < 46; ++y)
        for (int x = 0; x < 12; ++x) {
          const double off = 2.5 * Wave(t, 1, y / 30.0 + k * 0.25) * y / 46;
          const int shade = 8 + (int)std::lround(3 * Wave(t, 1, y / 30.0 + k * 0.25 + 0.25));
          img.Set((int)(bx - 6 + x + off), (int)(keep + 6 + y), (x == 0 || x == 11) ? Sh(kGoldR, 11) : Sh(flagc, shade));
        }
      Line(img, bx - 8, keep + 5, bx + 8, keep + 5, 0.8, Sh(kWoodR, 3));
    }
  }
  if (HasWork(works, "laundry")) {  // washing on a line from the house to a post, flapping
    const double lx1 = x2, lx2 = w - 8.0, ly = gy - 34;
    Box(img, lx2 - 1, ly, lx2 + 1, gy + 2, Sh(kWoodR, 4));
    Line(img, lx1, ly, lx2, ly + 3, 0, Sh(kGreyR, 6));
    const uint8_t cloth[3] = {kWhite, Sh(kBlueR, 11), Sh(kRedR, 10)};
    for (int k = 0; k < 3; ++k) {
      const double px1 = lx1 + 4 + k * (lx2 - lx1 - 8) / 3.0, pw = (lx2 - lx1 - 8) / 3.0 - 3;
      for (int x = 0; x < (int)pw; ++x) {
        const double sway = 5 * Wave(t, 1, k * 0.3 + x / 24.0), len = 18 + 3 * Wave(t, 2, k * 0.2 + x / 16.0);
        Line(img, px1 + x, ly + 1 + x * 3 / (lx2 - lx1), px1 + x + sway, ly + len, 0, cloth[k]);
      }
    }
  }
  if (HasWork(works, "scholar")) {  // a scholar walking to and fro reading, turning the pages
    double x;
    const double dir = to_and_fro(t, cx, w * 0.3, &x);
    const double y = gy + 22, bx = x + 6 * dir, by = y - 17, page = std::fmod(t * 4, 1.0);
    Person(img, x, y, Wave(t, 4, 0.25), Sh(kPurpleR, 6), Sh(kPurpleR, 4));
    Box(img, bx - 6, by - 4, bx + 6, by + 2, Sh(kParchR, 14));  // the open book
    Line(img, bx, by - 4, bx, by + 2, 0, Sh(kWoodR, 3));
    const double px = bx + 6 * std::cos(kPi * page);  // the turning page
    Poly(img, {{bx, by - 4}, {px, by - 5 - 3 * std::sin(kPi * page)}, {px, by + 1 - 3 * std::sin(kPi * page)}, {bx, by + 2}}, Sh(kParchR, 15));
  }
}

}  // namespace

const Kind kBuildingKinds[] = {{"building", Building}, {nullptr, nullptr}};

}  // namespace datakit::movies
