// The goods animations: one drawer per kind of thing (blades, hafted
// weapons, pole arms, bows and crossbows, helmets, armour, shields, ships,
// siege engines, slings, herbs, grain, the luxury goods and "nothing"). Each
// draws the thing upright into a sprite from its description's parameters
// and sets it on a display cloth, moved by the kind's motion (tilting,
// turning on its axis, spinning, swaying, rocking) with a glint running over
// the metal. Everything that moves is periodic in the phase t.
#include <algorithm>

#include "draw.h"

namespace datakit::movies {
namespace {

using Spr = Image;

// A to-and-fro motion (a sine of the phase) turns at a quarter and three
// quarters of the loop. When no frame falls on a turn, the two frames either
// side of it show one picture twice in a row (at the loop point once the
// file starts after its smallest step). These kinds are drawn late by the
// part of a frame that puts a frame on each turn (half a frame for 10).
double OnTheTurn(int n) {
  const double q = n / 4.0;
  return (q - std::floor(q)) / n;
}

// The display: a cloth (velvet by default) lit from the middle.
void Backdrop(Image& img, const Params& p, uint32_t seed) {
  const uint8_t cloth = p.RampP("cloth", kPurpleR);
  const int w = img.width, h = img.height;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const double dx = (x - w / 2.0) / (w * 0.6), dy = (y - h * 0.45) / (h * 0.7);
      const double d = std::sqrt(dx * dx + dy * dy);
      const int s = (int)((1 - d) * 6 * 16) + (int)(Noise(x, y, seed) % 16) + ((x / 3 + y) % 7 == 0 ? -8 : 0);
      img.Set(x, y, Sh(cloth, 1 + s / 16));
    }
}

// ---- weapons, drawn pointing up; (cx, bottom) is the butt ------------------------

void Blade(Spr& s, const Params& p, double cx, double base, double len, uint8_t metal) {
  const double bw = p.Num("bladew", 5), curve = p.Num("curve", 0), grip = p.Num("grip", 0.18) * len;
  const double guard = p.Num("guardw", 14), from = base - grip;
  const uint8_t hilt = p.RampP("hilt", kWoodR), gold = Sh(p.RampP("guardc", kGoldR), 10);
  // Grip with its wrapping, the pommel.
  Box(s, cx - 2, from, cx + 2, base - 2, Sh(hilt, 5));
  for (double y = from + 2; y < base - 3; y += 3) Line(s, cx - 2, y, cx + 2, y + 1, 0, Sh(hilt, 2));
  Dot(s, cx, base - 1, 3.5, gold);
  // The blade: tapering, maybe curved, with a lighter fuller.
  const double blen = len - grip - 4;
  std::vector<Pt> left, right;
  for (int k = 0; k <= 20; ++k) {
    const double u = k / 20.0, y = from - 3 - u * blen;
    const double off = curve * u * u * blen;
    const double half = bw * (u < 0.85 ? 1 - u * 0.25 : (1 - u) / 0.15 * 0.79);
    left.push_back({cx + off - half, y});
    right.push_back({cx + off + (curve ? half * 0.6 : half), y});
  }
  std::vector<Pt> poly = left;
  poly.insert(poly.end(), right.rbegin(), right.rend());
  Poly(s, poly, Sh(metal, 9));
  for (int k = 0; k < 20; ++k) Line(s, left[k].first, left[k].second, left[k + 1].first, left[k + 1].second, 0, Sh(metal, 5));
  for (int k = 1; k < 17; ++k) {
    const double x = (left[k].first + right[k].first) / 2, y = left[k].second;
    Line(s, x, y, (left[k + 1].first + right[k + 1].first) / 2, left[k + 1].second, bw > 4 ? 0.6 : 0, Sh(metal, 13));
  }
  // The guard.
  const std::string g = p.Str("guard", "cross");
  if (g == "cross") {
    Box(s, cx - guard / 2, from - 3, cx + guard / 2, from, gold);
  } else if (g == "wings") {
    Curve(s, {cx - guard / 2, from - 8}, {cx - guard / 4, from + 1}, {cx, from - 2}, 1, gold);
    Curve(s, {cx + guard / 2, from - 8}, {cx + guard / 4, from + 1}, {cx, from - 2}, 1, gold);
  } else if (g == "disc") {
    Ellipse(s, cx, from - 1, guard / 2, 2.5, gold, Sh(kGoldR, 6));
  } else if (g == "basket") {
    Box(s, cx - guard / 2, from - 3, cx + guard / 2, from, gold);
    Curve(s, {cx + guard / 2, from - 1}, {cx + guard / 2 + 4, from + grip / 2}, {cx + 2, base - 4}, 0.6, gold);
  }
}

void Haft(Spr& s, double cx, double base, double top, uint8_t wood) {
  Line(s, cx, base, cx, top, 1.6, Sh(wood, 6));
  Line(s, cx + 1, base, cx + 1, top, 0, Sh(wood, 9));
  for (double y = base - 8; y > base - 22; y -= 3) Line(s, cx - 2, y, cx + 2, y - 1, 0, Sh(kWoodR, 2));  // grip wrap
}

void Head(Spr& s, const std::string& head, double cx, double y, double size, uint8_t metal) {
  const uint8_t m = Sh(metal, 9), edge = Sh(metal, 13), dark = Sh(metal, 4);
  if (head == "axe" || head == "double" || head == "beard") {
    for (int side = 1; side >= (head == "double" ? -1 : 1); side -= 2) {
      const double d = side;
      std::vector<Pt> pts = {{cx, y - size * 0.25}, {cx + d * size, y - size * 0.55}, {cx + d * size * 1.05, y + size * 0.5}, {cx, y + size * 0.2}};
      if (head == "beard") pts = {{cx, y - size * 0.3}, {cx + d * size * 0.8, y - size * 0.45}, {cx + d * size, y + size * 0.8}, {cx + d * size * 0.3, y + size * 0.2}, {cx, y + size * 0.2}};
      Poly(s, pts, m);
      Line(s, pts[1].first, pts[1].second, pts[2].first, pts[2].second, 1, edge);
    }
  } else if (head == "hammer") {
    Box(s, cx - size * 0.7, y - size * 0.3, cx + size * 0.7, y + size * 0.3, m);
    Box(s, cx + size * 0.55, y - size * 0.35, cx + size * 0.75, y + size * 0.35, edge);
    Poly(s, {{cx - size * 0.7, y - size * 0.2}, {cx - size * 1.3, y}, {cx - size * 0.7, y + size * 0.2}}, dark);
  } else if (head == "mace") {
    Ellipse(s, cx, y, size * 0.5, size * 0.65, m, dark);
    for (int k = -1; k <= 1; ++k) Box(s, cx + k * size * 0.3 - 1, y - size * 0.7, cx + k * size * 0.3 + 1, y + size * 0.7, edge);
  } else if (head == "star") {
    Dot(s, cx, y, size * 0.45, m);
    for (int k = 0; k < 8; ++k) {
      const double a = k * kPi / 4;
      Line(s, cx + size * 0.4 * std::cos(a), y + size * 0.4 * std::sin(a), cx + size * 0.75 * std::cos(a), y + size * 0.75 * std::sin(a), 0.6, edge);
    }
  } else if (head == "spear" || head == "lance" || head == "pike") {
    const double l = head == "lance" ? size * 1.4 : size;
    Poly(s, {{cx, y - l}, {cx + size * 0.28, y - l * 0.25}, {cx, y + size * 0.1}, {cx - size * 0.28, y - l * 0.25}}, m);
    Line(s, cx, y - l, cx, y, 0, edge);
    if (head == "lance") Poly(s, {{cx - size * 0.45, y + size * 0.8}, {cx + size * 0.45, y + size * 0.8}, {cx + 2, y + size * 0.1}, {cx - 2, y + size * 0.1}}, Sh(kRedR, 8));
  } else if (head == "halberd") {
    Poly(s, {{cx, y - size}, {cx + 3, y - size * 0.4}, {cx - 3, y - size * 0.4}}, m);
    Poly(s, {{cx, y - size * 0.45}, {cx + size * 0.9, y - size * 0.6}, {cx + size * 0.8, y + size * 0.2}, {cx, y + size * 0.05}}, m);
    Line(s, cx + size * 0.9, y - size * 0.6, cx + size * 0.8, y + size * 0.2, 1, edge);
    Poly(s, {{cx, y - size * 0.3}, {cx - size * 0.5, y - size * 0.1}, {cx, y - size * 0.05}}, dark);
  } else if (head == "scythe") {
    Curve(s, {cx, y}, {cx + size * 0.9, y - size * 0.5}, {cx + size * 1.5, y + size * 0.3}, 2, m);
    Curve(s, {cx, y - 2}, {cx + size * 0.9, y - size * 0.55}, {cx + size * 1.5, y + size * 0.3}, 0, edge);
  } else if (head == "trident") {
    Box(s, cx - size * 0.5, y - 2, cx + size * 0.5, y + 1, m);
    for (int k = -1; k <= 1; ++k) {
      Line(s, cx + k * size * 0.5, y, cx + k * size * 0.5, y - size * (k ? 0.8 : 1.0), 0.8, m);
      Poly(s, {{cx + k * size * 0.5, y - size * (k ? 1.0 : 1.2)}, {cx + k * size * 0.5 + 3, y - size * (k ? 0.75 : 0.95)}, {cx + k * size * 0.5 - 3, y - size * (k ? 0.75 : 0.95)}}, edge);
    }
  } else if (head == "glaive") {
    Poly(s, {{cx, y - size * 1.2}, {cx + size * 0.45, y - size * 0.5}, {cx + size * 0.3, y + size * 0.1}, {cx - 2, y + size * 0.1}, {cx - size * 0.25, y - size * 0.3}}, m);
    Line(s, cx, y - size * 1.2, cx + size * 0.45, y - size * 0.5, 0.6, edge);
    Line(s, cx - size * 0.25, y - size * 0.3, cx - size * 0.55, y - size * 0.5, 1, m);  // the hook
  }
}

// ---- the kinds --------------------------------------------------------------------

void Flag(Image& s, double x, double y, double t, int k);

// Sets an upright sprite on the display at `angle` plus the motion, with a
// glint over what was drawn.
void Show(Image& img, const Params& p, const Spr& s, double ax, double ay, double angle, double scale, double t) {
  const std::string motion = p.Str("motion", "tilt");
  Place pl;
  pl.ax = ax, pl.ay = ay, pl.px = img.width / 2.0 + p.Num("dx", 0), pl.py = img.height / 2.0 + p.Num("dy", 0);
  pl.sx = pl.sy = scale;
  pl.angle = angle;
  if (motion == "tilt") pl.angle += 0.08 * Wave(t, 1);
  else if (motion == "turn") pl.sx = scale * (0.25 + 0.75 * std::fabs(std::cos(kPi * t))) * (std::cos(kPi * t) >= 0 ? 1 : -1);
  else if (motion == "spin") pl.angle += 2 * kPi * t;
  else if (motion == "bob") pl.py += 3 * Wave(t, 1);
  else if (motion == "sway") pl.bend = 6 * Wave(t, 1);
  std::vector<uint8_t> mask(img.px.size(), 0);
  Blit(img, s, pl, &mask);
  if (p.Num("glint", 1) != 0) Glint(img, mask, -60 + t * (img.width + img.height / 2.0 + 140), 9, 5);
}

void WeaponKind(Image& img, const Params& p, double t, int, int, const std::string& kind) {
  Backdrop(img, p, 3);
  const double len = p.Num("len", 0.8) * 180;
  Spr s(120, (int)len + 20, kTransparent);
  const double cx = 60, base = len + 10;
  const uint8_t metal = p.RampP("metal", kGreyR);
  if (kind == "blade") Blade(s, p, cx, base, len, metal);
  else {
    const std::string head = p.Str("head", kind == "axe" ? "axe" : "spear");
    const double size = p.Num("size", 16) * 1.5;
    Haft(s, cx, base, base - len + (head == "spear" || head == "lance" || head == "glaive" || head == "trident" ? size * 0.3 : 0), p.RampP("wood", kWoodR));
    Head(s, head, cx, base - len + size, size, metal);
    if (p.Num("spike", 0) != 0) Poly(s, {{cx, base - len - 4}, {cx + 2, base - len + 6}, {cx - 2, base - len + 6}}, Sh(metal, 11));
    if (head == "star" && p.Num("chain", 0) != 0) {}  // a flail would hang; the star sits on its haft
  }
  if (p.Has("gem")) Dot(s, cx, base - len * (kind == "blade" ? p.Num("grip", 0.18) : 0.0) - (kind == "blade" ? 2 : -len + p.Num("size", 16) * 1.5), 2.2, Sh(p.RampP("gem", kRedR), 12 + (int)std::lround(2 * Wave(t, 1))));
  Show(img, p, s, cx, base - len / 2, p.Num("angle", 0.93), p.Num("scale", 0.75), t);
}

void BladeKind(Image& img, const Params& p, double t, int i, int n) { WeaponKind(img, p, t, i, n, "blade"); }
void AxeKind(Image& img, const Params& p, double t, int i, int n) { WeaponKind(img, p, t, i, n, "axe"); }
void PoleKind(Image& img, const Params& p, double t, int i, int n) { WeaponKind(img, p, t, i, n, "pole"); }

// A bow (or crossbow) drawn and loosed: the string and arrow go back and come again.
void Bow(Image& img, const Params& p, double t, int, int) {
  Backdrop(img, p, 5);
  const bool cross = p.Num("cross", 0) != 0;
  const double span = p.Num("span", 0.8) * img.height, recurve = p.Num("recurve", 0);
  const double pull = 0.5 - 0.5 * std::cos(2 * kPi * t);  // 0 rest, 1 full draw
  const uint8_t wood = Sh(p.RampP("wood", kWoodR), 7), str = Sh(kParchR, 14);
  const double cx = img.width * 0.58, cy = img.height / 2.0;
  const double bend = 10 + pull * 8;
  Spr s(img.width, img.height, kTransparent);
  if (cross) {  // the stock, the steel bow across it
    Box(s, cx - 56, cy - 3, cx + 20, cy + 3, wood);
    Box(s, cx - 56, cy - 3, cx - 40, cy + 7, Sh(kWoodR, 4));
    Line(s, cx - 30, cy + 3, cx - 34, cy + 10, 0.6, Sh(kGreyR, 6));  // trigger
    const double h2 = span / 2 * 0.8;
    Curve(s, {cx + 16, cy - h2}, {cx + 16 + bend * 0.6, cy}, {cx + 16, cy + h2}, p.Num("heavy", 0) != 0 ? 2.2 : 1.4, Sh(kGreyR, 8));
    const double sx = cx + 14 - pull * 34;
    Line(s, cx + 16, cy - h2, sx, cy, 0, str);
    Line(s, cx + 16, cy + h2, sx, cy, 0, str);
    Line(s, sx, cy - 1, sx + 40, cy - 1, 0.6, Sh(kWoodR, 10));  // the bolt
    Poly(s, {{sx + 44, cy - 1}, {sx + 39, cy - 4}, {sx + 39, cy + 2}}, Sh(kGreyR, 11));
  } else {
    const double h2 = span / 2;
    const double sx = cx - 4 - pull * 30;
    for (int side = -1; side <= 1; side += 2) {
      Curve(s, {cx, cy}, {cx + bend, cy + side * h2 * 0.5}, {cx + (recurve ? -4 : 2), cy + side * h2}, 1.6, wood);
      if (recurve) Curve(s, {cx - 4, cy + side * h2}, {cx - 2, cy + side * (h2 + 6)}, {cx + 4, cy + side * (h2 + 8)}, 1, wood);
      Line(s, cx + (recurve ? -4 : 2), cy + side * h2, sx, cy, 0, str);
    }
    Box(s, cx - 2, cy - 5, cx + 3, cy + 5, Sh(kWoodR, 3));
    Line(s, sx, cy, sx + 62, cy, 0.5, Sh(kWoodR, 11));  // the arrow
    Poly(s, {{sx + 66, cy}, {sx + 60, cy - 3}, {sx + 60, cy + 3}}, Sh(kGreyR, 11));
    Poly(s, {{sx + 1, cy}, {sx + 8, cy - 4}, {sx + 10, cy}}, Sh(kRedR, 10));
  }
  std::vector<uint8_t> mask(img.px.size(), 0);
  Place pl;
  pl.ax = cx, pl.ay = cy, pl.px = img.width / 2.0 + 10, pl.py = img.height / 2.0, pl.angle = -0.35;
  Blit(img, s, pl, &mask);
}

void Helm(Image& img, const Params& p, double t, int, int) {
  Backdrop(img, p, 7);
  const uint8_t metal = p.RampP("metal", kGreyR);
  const std::string shape = p.Str("shape", "cap"), crest = p.Str("crest", "");
  Spr s(90, 100, kTransparent);
  const double cx = 45, cy = 58;
  const uint8_t m = Sh(metal, 9), dark = Sh(metal, 4), light = Sh(metal, 13);
  if (shape == "great" || shape == "visor") {
    Box(s, cx - 22, cy - 20, cx + 22, cy + 26, m);
    Ellipse(s, cx, cy - 20, 22, 14, m, m);
    Box(s, cx - 17, cy - 2, cx + 17, cy + 1, kBlack);  // eye slit
    if (shape == "visor") for (int k = 0; k < 4; ++k) Box(s, cx - 12 + k * 8, cy + 8, cx - 10 + k * 8, cy + 18, dark);
    Line(s, cx, cy - 32, cx, cy + 26, 0.6, light);
  } else {
    Ellipse(s, cx, cy, 24, 26, m, dark);
    Box(s, cx - 26, cy + 2, cx + 26, cy + 22, kTransparent);
    Box(s, cx - 25, cy, cx + 25, cy + 4, Sh(metal, 7));  // the rim
    if (shape == "nasal") Box(s, cx - 2, cy, cx + 2, cy + 16, m);
    if (shape == "cheeks") { Box(s, cx - 24, cy + 2, cx - 14, cy + 20, m); Box(s, cx + 14, cy + 2, cx + 24, cy + 20, m); }
    if (shape == "leather") Ellipse(s, cx, cy - 6, 20, 18, Sh(kWoodR, 8), Sh(kWoodR, 4));
    Line(s, cx - 10, cy - 18, cx - 4, cy - 22, 1, light);
  }
  if (crest == "horns") {
    Curve(s, {cx - 20, cy - 10}, {cx - 38, cy - 16}, {cx - 36, cy - 40}, 2, Sh(kParchR, 14));
    Curve(s, {cx + 20, cy - 10}, {cx + 38, cy - 16}, {cx + 36, cy - 40}, 2, Sh(kParchR, 14));
  } else if (crest == "wings") {
    for (int side = -1; side <= 1; side += 2)
      for (int f = 0; f < 4; ++f) Line(s, cx + side * 20, cy - 8, cx + side * (28 + f * 4), cy - 34 + f * 6, 1.4, Sh(kGreyR, 15 - f));
  } else if (crest == "plume") {
    for (int k = 0; k < 7; ++k) Curve(s, {cx, cy - 24}, {cx - 4 + k, cy - 44}, {cx + 14 + k * 2, cy - 30 - k * 2}, 1.2, Sh(p.RampP("plumec", kRedR), 8 + k));
  } else if (crest == "frog") {
    Dot(s, cx - 12, cy - 24, 7, Sh(kGreenR, 9));
    Dot(s, cx + 12, cy - 24, 7, Sh(kGreenR, 9));
    Dot(s, cx - 12, cy - 25, 3, kBlack);
    Dot(s, cx + 12, cy - 25, 3, kBlack);
    Line(s, cx - 14, cy - 6, cx + 14, cy - 6, 0.8, Sh(kGreenR, 4));
  } else if (crest == "crown") {
    for (int k = -2; k <= 2; ++k) Poly(s, {{cx + k * 9 - 4, cy - 22}, {cx + k * 9 + 4, cy - 22}, {cx + k * 9, cy - 34}}, Sh(kGoldR, 12));
    Dot(s, cx, cy - 14, 3, Sh(kRedR, 10));
  } else if (crest == "spike") {
    Poly(s, {{cx - 4, cy - 24}, {cx + 4, cy - 24}, {cx, cy - 42}}, light);
  }
  Show(img, p, s, cx, cy - 12, 0, p.Num("scale", 1.3), t);
}

void Armour(Image& img, const Params& p, double t, int, int) {
  Backdrop(img, p, 9);
  const std::string tex = p.Str("tex", "chain");
  const uint8_t metal = p.RampP("metal", tex == "leather" || tex == "studded" ? kWoodR : kGreyR);
  Spr s(100, 110, kTransparent);
  const double cx = 50, top = 14;
  const bool sleeves = p.Num("sleeves", 1) != 0;
  std::vector<Pt> body = {{cx - 20, top}, {cx + 20, top}, {cx + 30, top + 8}, {cx + 24, top + 24}, {cx + 22, top + 80}, {cx - 22, top + 80}, {cx - 24, top + 24}, {cx - 30, top + 8}};
  Image shape(100, 110, kTransparent);
  Poly(shape, body, 1);
  if (sleeves) {
    Poly(shape, {{cx - 30, top + 8}, {cx - 42, top + 40}, {cx - 34, top + 44}, {cx - 24, top + 24}}, 1);
    Poly(shape, {{cx + 30, top + 8}, {cx + 42, top + 40}, {cx + 34, top + 44}, {cx + 24, top + 24}}, 1);
  }
  Box(shape, cx - 8, top - 2, cx + 8, top + 8, kTransparent);  // the neck
  for (int y = 0; y < 110; ++y)
    for (int x = 0; x < 100; ++x) {
      if (shape.Get(x, y) != 1) continue;
      int v = 8;
      if (tex == "chain") v = ((x + (y / 3) % 2 * 2) % 4 == 0 || y % 3 == 0) ? 4 : 10;
      else if (tex == "ring") {  // rings sewn apart on a dark coat
        const int rx = (x + (y / 7) % 2 * 3) % 7 - 3, ry = y % 7 - 3, d = rx * rx + ry * ry;
        v = d >= 4 && d <= 9 ? 12 : d < 4 ? 5 : 3;
      }
      else if (tex == "scale") { const int row = y / 6, off = row % 2 * 4; v = ((x + off) % 8 < 1 || y % 6 == 5) ? 4 : 8 + (y % 6) / 2; }
      else if (tex == "plate") v = 9 + (int)(4 * std::cos((x - cx) / 30.0 * kPi / 2)) - (y % 22 == 0 ? 5 : 0);
      else if (tex == "leather") v = 7 + (int)(Noise(x / 2, y / 2, 3) % 3);
      else if (tex == "studded") v = ((x % 8 == 4 && y % 8 == 4) ? 13 : 7 + (int)(Noise(x / 2, y / 2, 3) % 2));
      s.Set(x, y, Sh(metal, v));
    }
  if (p.Has("trim")) {
    const uint8_t tr = Sh(p.RampP("trim", kGoldR), 11);
    Line(s, cx - 22, top + 80, cx + 22, top + 80, 1, tr);
    Line(s, cx - 8, top + 2, cx + 8, top + 2, 1, tr);
  }
  if (p.Has("emblem")) Dot(s, cx, top + 34, 6, Sh(p.RampP("emblem", kRedR), 10));
  Show(img, p, s, cx, top + 46, 0, p.Num("scale", 1.0), t);
}

void Shield(Image& img, const Params& p, double t, int, int) {
  Backdrop(img, p, 11);
  const std::string shape = p.Str("shape", "round");
  const uint8_t face = p.RampP("face", kRedR), rim = p.RampP("rim", kGreyR);
  Spr s(100, 110, kTransparent);
  const double cx = 50, cy = 52;
  std::vector<Pt> outline;
  if (shape == "round" || shape == "targe") {
    const double r = shape == "targe" ? 34 : 42;
    for (int k = 0; k < 40; ++k) outline.push_back({cx + r * std::cos(k * kPi / 20), cy + r * std::sin(k * kPi / 20)});
  } else if (shape == "kite") {
    outline = {{cx - 32, cy - 40}, {cx + 32, cy - 40}, {cx + 34, cy - 10}, {cx, cy + 50}, {cx - 34, cy - 10}};
  } else if (shape == "heater") {
    outline = {{cx - 34, cy - 38}, {cx + 34, cy - 38}, {cx + 32, cy + 4}, {cx + 14, cy + 34}, {cx, cy + 44}, {cx - 14, cy + 34}, {cx - 32, cy + 4}};
  } else {  // tower
    outline = {{cx - 30, cy - 48}, {cx + 30, cy - 48}, {cx + 30, cy + 48}, {cx - 30, cy + 48}};
  }
  Poly(s, outline, Sh(rim, 8));
  std::vector<Pt> inner;
  for (const Pt& q : outline) inner.push_back({cx + (q.first - cx) * 0.88, cy + (q.second - cy) * 0.9});
  Poly(s, inner, Sh(face, 8));
  if (p.Num("planks", 0) != 0) {  // planks drawn inside the face only
    auto inside = [&](int x, int y) {
      bool in = false;
      for (size_t a = 0, b = inner.size() - 1; a < inner.size(); b = a++)
        if ((inner[a].second > y) != (inner[b].second > y) &&
            x < (inner[b].first - inner[a].first) * (y - inner[a].second) / (inner[b].second - inner[a].second) + inner[a].first)
          in = !in;
      return in;
    };
    for (int y = 0; y < 110; ++y)
      for (int x = 0; x < 100; ++x)
        if (inside(x, y) && (x - (int)cx + 45) % 9 == 0) s.Set(x, y, Sh(face, 5));
  }
  const std::string device = p.Str("device", "boss");
  const uint8_t dc = Sh(p.RampP("devicec", kGoldR), 12);
  if (device == "boss") Dot(s, cx, cy, 9, Sh(rim, 12)), Dot(s, cx - 2, cy - 2, 3, Sh(rim, 15));
  else if (device == "cross") Box(s, cx - 4, cy - 30, cx + 4, cy + 30, dc), Box(s, cx - 26, cy - 8, cx + 26, cy, dc);
  else if (device == "lion") { Ellipse(s, cx, cy, 12, 16, dc, dc); Dot(s, cx, cy - 18, 8, dc); Line(s, cx + 10, cy + 10, cx + 20, cy - 4, 1.5, dc); }
  else if (device == "leaf") { Ellipse(s, cx, cy, 10, 24, dc, Sh(kGreenR, 6)); Line(s, cx, cy - 22, cx, cy + 26, 0.6, Sh(kGreenR, 5)); }
  else if (device == "chevron") Poly(s, {{cx - 28, cy + 8}, {cx, cy - 18}, {cx + 28, cy + 8}, {cx + 28, cy + 18}, {cx, cy - 8}, {cx - 28, cy + 18}}, dc);
  Show(img, p, s, cx, cy, 0, p.Num("scale", 1.0), t);
}

void ShipKind(Image& img, const Params& p, double t, int i, int n) {
  const int w = img.width, h = img.height;
  Gradient(img, 0, 0, w - 1, h * 6 / 10, kBlueR, 14, 10, 5);
  const int speed = 2, period = speed * n;
  for (int y = h * 6 / 10; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int v = (((x - i * speed) % period) + period) % period;
      img.Set(x, y, Sh(kWaterR, 5 + (y - h * 6 / 10) / 10 + (int)(Noise(v / 5, y / 3, 9) % 4)));
    }
  const double size = p.Num("size", 1.0);
  const bool war = p.Num("war", 0) != 0;
  const int masts = (int)p.Num("masts", 1);
  const uint8_t sail = war ? Sh(p.RampP("sail", kRedR), 9) : Sh(kParchR, 14);
  Spr s(w, h, kTransparent);
  const double cx = w / 2.0, wl = h * 0.7, L = 46 * size;
  Poly(s, {{cx - L, wl - 12 * size}, {cx + L * 1.05, wl - 14 * size}, {cx + L * 0.75, wl + 6}, {cx - L * 0.8, wl + 6}}, Sh(kWoodR, war ? 4 : 6));
  Line(s, cx - L, wl - 11 * size, cx + L * 1.05, wl - 13 * size, 1, Sh(kWoodR, 10));
  if (war) {  // oars and shields along the side, a ram
    for (double x = cx - L * 0.6; x < cx + L * 0.7; x += 9) {
      Dot(s, x, wl - 6 * size, 2.5, Sh(kGoldR, 9));
      Line(s, x, wl - 4, x - 6 + 3 * Wave(t, 1), wl + 10, 0.5, Sh(kWoodR, 8));
    }
    Poly(s, {{cx + L * 0.75, wl + 2}, {cx + L * 1.25, wl + 2}, {cx + L * 0.9, wl - 6}}, Sh(kGreyR, 6));
  } else {
    Box(s, cx - L * 0.95, wl - 22 * size, cx - L * 0.55, wl - 12 * size, Sh(kWoodR, 7));  // the stern castle
  }
  for (int k = 0; k < masts; ++k) {
    const double mx = cx + (masts == 1 ? 0 : (k - (masts - 1) / 2.0) * L * 0.7), mh = 58 * size * (k == masts / 2 ? 1.0 : 0.8);
    Line(s, mx, wl - 12 * size, mx, wl - 12 * size - mh, 1, Sh(kWoodR, 3));
    const double belly = 4 + 2 * Wave(t, 1, k * 0.2);
    Poly(s, {{mx - 20 * size, wl - 14 * size - mh * 0.9}, {mx + 20 * size, wl - 14 * size - mh * 0.9},
             {mx + 22 * size + belly, wl - 16 * size - mh * 0.25}, {mx - 22 * size + belly, wl - 16 * size - mh * 0.25}},
         sail);
    Line(s, mx - 20 * size, wl - 14 * size - mh * 0.9, mx + 20 * size, wl - 14 * size - mh * 0.9, 0.6, Sh(kWoodR, 3));
    Flag(s, mx, wl - 12 * size - mh, t, k);
  }
  Place pl;
  pl.ax = cx, pl.ay = wl, pl.px = cx, pl.py = wl + 2 * Wave(t, 1, 0.25), pl.angle = 0.05 * Wave(t, 1);
  Blit(img, s, pl);
  for (int x = 0; x < w; ++x)  // the bow wave line over the hull's foot
    if ((x + i * speed) % 7 < 2) img.Set(x, (int)wl + 5 + (int)(1.5 * Wave(t, 1, x / 40.0)), Sh(kWaterR, 13));
  (void)i;
}

// A pennant at a mast head.
void Flag(Image& s, double x, double y, double t, int k) {
  for (int q = 0; q < 12; ++q) {
    const double yy = y + 1.5 * Wave(t, 1, k * 0.3 + q / 12.0) * q / 12.0;
    Line(s, x + q, yy, x + q, yy + 5 - q * 0.35, 0, Sh(kRedR, 10));
  }
}

void Siege(Image& img, const Params& p, double t, int, int) {
  Backdrop(img, p, 13);
  const std::string kind = p.Str("engine", "catapult");
  const double size = p.Num("size", 1.0);
  const int w = img.width, h = img.height;
  const double gy = h * 0.85, cx = w / 2.0;
  const uint8_t wood = Sh(kWoodR, 7), dark = Sh(kWoodR, 3);
  // The frame on its wheels.
  Box(img, cx - 44 * size, gy - 14 * size, cx + 44 * size, gy - 8 * size, wood);
  for (int k = -1; k <= 1; k += 2) {
    Ellipse(img, cx + k * 32 * size, gy - 4, 10 * size, 10 * size, kTransparent, dark);
    for (int sp = 0; sp < 4; ++sp) {
      const double a = sp * kPi / 4;
      Line(img, cx + k * 32 * size - 9 * size * std::cos(a), gy - 4 - 9 * size * std::sin(a), cx + k * 32 * size + 9 * size * std::cos(a), gy - 4 + 9 * size * std::sin(a), 0, dark);
    }
  }
  const double pull = 0.5 - 0.5 * std::cos(2 * kPi * t);
  if (kind == "catapult") {  // the arm winds back and throws
    Poly(img, {{cx - 6, gy - 14 * size}, {cx + 6, gy - 14 * size}, {cx + 2, gy - 44 * size}, {cx - 2, gy - 44 * size}}, wood);
    const double a = -kPi / 2 + (-0.9 + 1.6 * (1 - pull));  // from back to the stop bar
    const double px = cx, py = gy - 20 * size, L = 56 * size;
    Line(img, px - L * 0.2 * std::cos(a), py - L * 0.2 * std::sin(a), px + L * std::cos(a), py + L * std::sin(a), 2, Sh(kWoodR, 9));
    Ellipse(img, px + L * std::cos(a), py + L * std::sin(a), 7 * size, 4 * size, dark, dark);
    Dot(img, px + L * std::cos(a), py + L * std::sin(a) - 4 * size, 4 * size, Sh(kSlateR, 9));
    Box(img, cx - 10, gy - 46 * size, cx + 10, gy - 42 * size, dark);
  } else {  // ballista: a great crossbow on a stand, the string drawn back
    Box(img, cx - 3, gy - 40 * size, cx + 3, gy - 14 * size, wood);
    const double y = gy - 42 * size, hb = 34 * size;
    Box(img, cx - 46 * size, y - 3, cx + 30 * size, y + 3, wood);
    Curve(img, {cx + 20 * size, y - hb}, {cx + 34 * size, y}, {cx + 20 * size, y + hb}, 2 * size, Sh(kWoodR, 10));
    const double sx = cx + 18 * size - pull * 40 * size;
    Line(img, cx + 20 * size, y - hb, sx, y, 0, Sh(kParchR, 14));
    Line(img, cx + 20 * size, y + hb, sx, y, 0, Sh(kParchR, 14));
    Line(img, sx, y - 1, sx + 50 * size, y - 1, 1, Sh(kWoodR, 11));
    Poly(img, {{sx + 56 * size, y - 1}, {sx + 48 * size, y - 5}, {sx + 48 * size, y + 3}}, Sh(kGreyR, 11));
  }
}

// A sling whirled round: one turn a loop.
void Sling(Image& img, const Params& p, double t, int, int) {
  Backdrop(img, p, 15);
  const double cx = img.width * 0.45, cy = img.height * 0.55, a = 2 * kPi * t;
  const double ex = cx + 36 * std::cos(a), ey = cy + 22 * std::sin(a);
  Box(img, cx - 3, cy, cx + 3, cy + 40, Sh(kRoseR, 8));  // the hand and arm
  Dot(img, cx, cy, 5, Sh(kRoseR, 9));
  for (int k = 1; k <= 3; ++k) {  // blur of the turn behind the stone
    const double b = a - k * 0.25;
    Dot(img, cx + 36 * std::cos(b), cy + 22 * std::sin(b), 3.5 - k * 0.6, Sh(kGreyR, 8 + k));
  }
  Line(img, cx, cy, ex, ey, 0.6, Sh(kWoodR, 9));
  Ellipse(img, ex, ey, 5, 4, Sh(kWoodR, 5), Sh(kWoodR, 3));
  Dot(img, ex, ey, 3, Sh(kSlateR, 10));
}

// Plants: a stalk with leaves and a flower, swaying.
void Herb(Image& img, const Params& p, double t, int, int) {
  const int w = img.width, h = img.height;
  Gradient(img, 0, 0, w - 1, h * 3 / 4, kForestR, 2, 5, 17);
  Speckle(img, 0, h * 3 / 4, w - 1, h - 1, kWoodR, 3, 3, 19);
  const std::string leaf = p.Str("leaf", "oval");
  const uint8_t green = p.RampP("green", kGreenR), flower = p.RampP("flower", kPurpleR);
  const int stalks = (int)p.Num("stalks", 3);
  Spr s(w, h, kTransparent);
  for (int k = 0; k < stalks; ++k) {
    const double x = w / 2.0 + (k - (stalks - 1) / 2.0) * 18, top = h * (0.18 + 0.08 * (k % 2)), base = h * 0.8;
    Line(s, x, base, x, top, 0.8, Sh(green, 5));
    for (int l = 0; l < 4; ++l) {
      const double y = base - (base - top) * (0.2 + l * 0.2), side = l % 2 ? 1 : -1;
      if (leaf == "oval") Ellipse(s, x + side * 8, y, 8, 3.5, Sh(green, 9), Sh(green, 6));
      else if (leaf == "needle") for (int q = 0; q < 3; ++q) Line(s, x, y - q * 3, x + side * 10, y - q * 3 - 6, 0, Sh(green, 9));
      else if (leaf == "round") Dot(s, x + side * 7, y, 5, Sh(green, 10));
      else if (leaf == "fern") for (int q = 0; q < 5; ++q) Line(s, x + side * q * 2, y - q, x + side * (q * 2 + 3), y - q + 5, 0, Sh(green, 9));
      else if (leaf == "blade") Poly(s, {{x, y}, {x + side * 14, y - 16}, {x + side * 3, y - 3}}, Sh(green, 8));
    }
    const std::string bloom = p.Str("bloom", "flower");
    if (bloom == "flower") for (int q = 0; q < 5; ++q) Dot(s, x + 5 * std::cos(q * 1.256), top + 5 * std::sin(q * 1.256), 3, Sh(flower, 11)), Dot(s, x, top, 2.5, Sh(kGoldR, 13));
    else if (bloom == "berries") for (int q = 0; q < 4; ++q) Dot(s, x + (q % 2 ? 3 : -3), top + q * 3, 2.5, Sh(flower, 9));
    else if (bloom == "spike") for (int q = 0; q < 6; ++q) Dot(s, x, top - q * 3, 2.5 - q * 0.2, Sh(flower, 9 + q % 3));
    else if (bloom == "bell") Ellipse(s, x + 2, top + 4, 4, 6, Sh(flower, 10), Sh(flower, 6));
  }
  // The pot or the bed of earth.
  if (p.Num("pot", 0) != 0) Poly(s, {{w / 2.0 - 30, h * 0.78}, {w / 2.0 + 30, h * 0.78}, {w / 2.0 + 22, h - 4.0}, {w / 2.0 - 22, h - 4.0}}, Sh(kOrangeR, 6));
  Place pl;
  pl.ax = w / 2.0, pl.ay = h * 0.8, pl.px = w / 2.0, pl.py = h * 0.8, pl.bend = 7 * Wave(t, 1);
  Blit(img, s, pl);
}

// A sheaf of corn: stalks swaying, each a little out of step.
void Grain(Image& img, const Params&, double t, int, int) {
  const int w = img.width, h = img.height;
  Gradient(img, 0, 0, w - 1, h * 2 / 3, kBlueR, 14, 11, 21);
  Speckle(img, 0, h * 2 / 3, w - 1, h - 1, kSandR, 7, 3, 23);
  for (int k = 0; k < 14; ++k) {
    const double x = 14 + k * (w - 28) / 13.0, base = h - 8.0 - (k % 3) * 4, len = h * (0.55 + 0.1 * (k % 4) / 3);
    const double sway = 7 * Wave(t, 1, k * 0.06);
    const double tx = x + sway, ty = base - len;
    Curve(img, {x, base}, {x, base - len * 0.6}, {tx, ty}, 0.6, Sh(kSandR, 10));
    for (int g = 0; g < 7; ++g) {
      const double gy = ty + g * 3.2, gx = tx - (sway / len) * g * 3.2;
      Ellipse(img, gx - 2, gy, 2, 2.8, Sh(kGoldR, 11), Sh(kGoldR, 7));
      Ellipse(img, gx + 2, gy + 1.5, 2, 2.8, Sh(kGoldR, 12), Sh(kGoldR, 7));
    }
    Line(img, tx, ty, tx + sway * 0.3, ty - 8, 0, Sh(kGoldR, 13));  // awns
  }
  Box(img, w / 2.0 - 26, h - 28.0, w / 2.0 + 26, h - 22.0, Sh(kGoldR, 6));  // the band round the sheaf
}

// "Nothing": an empty stand, a mote of dust drifting in the light.
void Nothing(Image& img, const Params& p, double t, int, int) {
  Backdrop(img, p, 25);
  const int w = img.width, h = img.height;
  Ellipse(img, w / 2.0, h * 0.78, 40, 9, Sh(kWoodR, 8), Sh(kWoodR, 4));
  Box(img, w / 2.0 - 6, h * 0.78, w / 2.0 + 6, h - 1.0, Sh(kWoodR, 5));
  for (int k = 0; k < 5; ++k) {
    const double a = 2 * kPi * (t + k / 5.0);
    Dot(img, w / 2.0 + 40 * std::sin(a) * (0.5 + 0.1 * k), h * 0.45 + 18 * std::sin(2 * a + k), 1, Sh(kGoldR, 13));
  }
}

// The luxury goods: one drawer, the thing chosen by `item`.
void Luxury(Image& img, const Params& p, double t, int i, int n) {
  const int w = img.width, h = img.height;
  const std::string item = p.Str("item", "gems");
  Backdrop(img, p, 27);
  const Image bare = img;  // the cloth alone
  const double cx = w / 2.0, cy = h / 2.0;
  const uint8_t c = p.RampP("colour", kGoldR);
  std::vector<uint8_t> mask(img.px.size(), 0);
  auto mark = [&](int x1, int y1, int x2, int y2, uint8_t bg0) {  // everything not backdrop in the box
    for (int y = std::max(0, y1); y <= std::min(h - 1, y2); ++y)
      for (int x = std::max(0, x1); x <= std::min(w - 1, x2); ++x)
        if (RampOf(img.Get(x, y)) != bg0) mask[(size_t)y * w + x] = 1;
  };
  const uint8_t cloth = p.RampP("cloth", kPurpleR);
  if (item == "gems" || item == "amber" || item == "minerals") {
    const int count = item == "gems" ? 7 : 5;
    for (int k = 0; k < count; ++k) {
      const double x = cx - 40 + (k * 37) % 80, y = cy + 10 + (k % 3) * 10 - (k * 13) % 20, r = item == "minerals" ? 14 : 10;
      const uint8_t col = item == "gems" ? (uint8_t)(k % 4 == 0 ? kRedR : k % 4 == 1 ? kBlueR : k % 4 == 2 ? kGreenR : kPurpleR) : c;
      if (item == "amber") Ellipse(img, x, y, r, r * 0.8, Sh(kOrangeR, 10 + (int)std::lround(2 * Wave(t, 1, k * 0.2))), Sh(kOrangeR, 6));
      else if (item == "minerals") Poly(img, {{x - r, y + r * 0.6}, {x - r * 0.5, y - r * 0.7}, {x + r * 0.4, y - r}, {x + r, y + r * 0.2}, {x + r * 0.4, y + r * 0.7}}, Sh(k % 2 ? (uint8_t)kSlateR : c, 8 + k % 3));
      else {
        Poly(img, {{x, y - r}, {x + r * 0.8, y - r * 0.2}, {x, y + r}, {x - r * 0.8, y - r * 0.2}}, Sh(col, 9));
        Poly(img, {{x, y - r}, {x + r * 0.8, y - r * 0.2}, {x, y - r * 0.1}}, Sh(col, 13));
      }
      const double tw = std::max(0.0, Wave(t, 1, k / (double)count));  // each twinkles in turn
      if (tw > 0.6) {
        Line(img, x - 5 * tw, y - r * 0.5, x + 5 * tw, y - r * 0.5, 0, kWhite);
        Line(img, x, y - r * 0.5 - 5 * tw, x, y - r * 0.5 + 5 * tw, 0, kWhite);
      }
    }
    if (item == "minerals") {  // light runs over the ore between the twinkles
      for (size_t k = 0; k < mask.size(); ++k) mask[k] = img.px[k] != bare.px[k];
      LoopGlint(img, mask, t, 14, 3);
    }
    return;
  }
  if (item == "cloth") {  // a length of fabric hanging from a rod, waving
    const uint8_t fc = c, pat = p.RampP("pattern", kGoldR);
    const std::string kind = p.Str("weave", "plain");
    Line(img, cx - 60, 14, cx + 60, 14, 1.5, Sh(kWoodR, 4));
    for (int y = 16; y < h - 8; ++y)
      for (int dx = (int)cx - 62; dx <= (int)cx + 62; ++dx) {
        // The cloth's column x lands at dx, shifted by the wave that grows downwards.
        const double off = Wave(t, 1, dx / 70.0 + y / 200.0) * (y - 16) * 0.08;
        const int x = (int)std::lround(dx - off);
        if (x < (int)cx - 56 || x > (int)cx + 56) continue;
        const int shade = 8 + (int)std::lround(3 * Wave(t, 1, x / 70.0 + 0.25 + y / 200.0));
        uint8_t px = Sh(fc, shade);
        if (kind == "brocade" && ((x / 8 + y / 8) % 3 == 0) && (x + y) % 4 < 2) px = Sh(pat, shade + 2);
        if (kind == "carpet" && (std::abs((x - (int)cx) % 24) < 2 || (y % 24) < 2 || ((x / 6 + y / 6) % 4 == 0))) px = Sh(pat, shade);
        if (kind == "carpet" && (x < cx - 50 || x > cx + 50)) px = Sh(pat, 6);
        if (kind == "silk" && (x + y / 3) % 11 == 0) px = Sh(fc, shade + 3);
        img.Set(dx, y, px);
      }
    if (kind == "carpet") for (int x = (int)cx - 56; x <= (int)cx + 56; x += 3) Line(img, x, h - 8, x + 1, h - 2, 0, Sh(pat, 10));
    return;
  }
  if (item == "smoke" || item == "myrrh") {  // smoke curling up from a censer or a bowl of resin
    if (item == "myrrh") {  // a wide, low brass bowl heaped with lumps of amber resin
      Poly(img, {{cx - 40, cy + 22}, {cx + 40, cy + 22}, {cx + 28, cy + 40}, {cx - 28, cy + 40}}, Sh(kGoldR, 7));
      Ellipse(img, cx, cy + 22, 40, 7, Sh(kOrangeR, 5), Sh(kGoldR, 11));
      for (int k = 0; k < 9; ++k) Dot(img, cx - 30 + k * 7.5, cy + 19 - (k % 3) * 3, 4 + k % 2, Sh(kOrangeR, 8 + k % 4));
    } else {  // a censer hanging on three chains
      Poly(img, {{cx - 20, cy + 20}, {cx + 20, cy + 20}, {cx + 14, cy + 36}, {cx - 14, cy + 36}}, Sh(kGoldR, 8));
      Box(img, cx - 4, cy + 36, cx + 4, cy + 48, Sh(kGoldR, 6));
      Ellipse(img, cx, cy + 20, 20, 4, Sh(kGoldR, 11), Sh(kGoldR, 6));
      for (int k = -1; k <= 1; ++k)
        for (double y = 2; y < cy + 18; y += 4) Dot(img, cx + k * 18 * (y / (cy + 18)), y, 1.2, Sh(kGoldR, 10));
    }
    mark(0, (int)cy + 14, w - 1, h - 1, cloth);
    for (int k = 0; k < 7; ++k) {
      const double ph = std::fmod(t + k / 7.0, 1.0);
      Dot(img, cx + 10 * Wave(ph, 1.2, k * 0.1) * ph, cy + 14 - ph * 70, 2 + ph * 5, Sh(kGreyR, 13 - (int)(ph * 6)));
    }
    return;
  }
  if (item == "jar" || item == "oil") {  // an amphora or jar, a drop falling from its lip
    Ellipse(img, cx, cy + 8, 26, 30, Sh(c, 8), Sh(c, 4));
    Box(img, cx - 8, cy - 34, cx + 8, cy - 18, Sh(c, 7));
    Ellipse(img, cx, cy - 34, 11, 3, Sh(c, 10), Sh(c, 5));
    if (item == "oil") {
      Curve(img, {cx - 8, cy - 26}, {cx - 22, cy - 26}, {cx - 20, cy - 4}, 1.2, Sh(c, 6));
      Curve(img, {cx + 8, cy - 26}, {cx + 22, cy - 26}, {cx + 20, cy - 4}, 1.2, Sh(c, 6));
    }
    Line(img, cx - 16, cy - 4, cx - 10, cy - 14, 1, Sh(c, 12));
    mark(0, 0, w - 1, h - 1, cloth);
    const double ph = std::fmod(t, 1.0);
    const uint8_t drop = item == "oil" ? Sh(kGoldR, 12) : Sh(kGreenR, 11);
    Ellipse(img, cx + 12, cy - 32 + ph * 70, 2, 2 + ph * 2, drop, drop);
    Glint(img, mask, -60 + t * (w + h / 2.0 + 140), 9, 4);
    return;
  }
  if (item == "scroll") {  // parchment unrolling and rolling up again
    const double open = 30 + 40 * (0.5 - 0.5 * std::cos(2 * kPi * t));
    Box(img, cx - 44, cy - open / 2, cx + 44, cy + open / 2, Sh(kParchR, 14));
    for (double y = cy - open / 2 + 6; y < cy + open / 2 - 4; y += 5)
      for (double x = cx - 36; x < cx + 36; x += 1)
        if (Noise((int)x / 3, (int)(y - cy + 100), 3) % 5) img.Set((int)x, (int)y, kInk);
    for (int s = -1; s <= 1; s += 2) {
      Box(img, cx - 48, cy + s * open / 2 - 4, cx + 48, cy + s * open / 2 + 4, Sh(kParchR, 10));
      Dot(img, cx - 50, cy + s * open / 2, 3.5, Sh(kWoodR, 4));
      Dot(img, cx + 50, cy + s * open / 2, 3.5, Sh(kWoodR, 4));
    }
    return;
  }
  if (item == "fur") {  // a pelt spread out, its hair stirring
    for (int y = (int)cy - 36; y < cy + 40; ++y)
      for (int x = (int)cx - 56; x < cx + 56; ++x) {
        const double dx = (x - cx) / 56, dy = (y - cy) / 40;
        const bool legs = (std::fabs(dy) > 0.5 && std::fabs(std::fabs(dx) - 0.7) < 0.15);
        if (dx * dx + dy * dy * 1.4 > 0.9 && !legs) continue;
        const int hair = (int)(Noise(x, y / 3, 7) % 4) + (int)std::lround(2 * Wave(t, 1, x / 30.0 + y / 50.0));
        img.Set(x, y, Sh(c, 6 + hair));
      }
    Dot(img, cx + 52, cy - 4, 7, Sh(c, 7));
    Dot(img, cx + 56, cy - 6, 1.2, kBlack);
    return;
  }
  if (item == "necklace") {  // a necklace swinging from a hook
    Dot(img, cx, 16, 3, Sh(kGreyR, 8));
    const double a = 0.25 * Wave(t + OnTheTurn(n), 1);  // a frame on each turn
    for (int k = 0; k <= 24; ++k) {
      const double u = k / 24.0, ang = kPi * u;
      const double x = cx + 36 * std::cos(ang) * std::cos(a) - (30 + 46 * std::sin(ang)) * std::sin(a);
      const double y = 16 + 36 * std::cos(ang) * std::sin(a) + (30 + 46 * std::sin(ang)) * std::cos(a) - 30 + 20;
      Dot(img, x, y, 2.2, Sh(kGoldR, 12));
      if (k == 12) Poly(img, {{x, y}, {x + 7, y + 8}, {x, y + 18}, {x - 7, y + 8}}, Sh(kRedR, 11));
    }
    Line(img, cx, 16, cx - 36 * std::sin(a), 16 + 10, 0.5, Sh(kGoldR, 9));
    mark(0, 0, w - 1, h - 1, cloth);
    Glint(img, mask, -60 + t * (w + h / 2.0 + 140), 10, 5);
    return;
  }
  if (item == "tusk" || item == "marble" || item == "sugar") {
    if (item == "tusk") {
      for (int k = 0; k <= 30; ++k) {
        const double u = k / 30.0;
        Dot(img, cx - 50 + u * 96, cy + 24 - std::sin(u * kPi * 0.8) * 40, 9 * (1 - u) + 1.5, Sh(kParchR, 13 + (k % 5 == 0 ? 1 : 0)));
      }
    } else if (item == "marble") {
      Poly(img, {{cx - 44, cy - 10}, {cx + 20, cy - 10}, {cx + 44, cy - 26}, {cx - 20, cy - 26}}, Sh(kGreyR, 15));
      Box(img, cx - 44, cy - 10, cx + 20, cy + 34, Sh(kGreyR, 13));
      Poly(img, {{cx + 20, cy - 10}, {cx + 44, cy - 26}, {cx + 44, cy + 18}, {cx + 20, cy + 34}}, Sh(kGreyR, 10));
      Curve(img, {cx - 40, cy}, {cx - 10, cy + 14}, {cx + 16, cy + 4}, 0, Sh(kSlateR, 7));
      Curve(img, {cx - 30, cy + 30}, {cx - 14, cy + 10}, {cx + 4, cy + 24}, 0, Sh(kSlateR, 8));
    } else {  // sugar loaves in blue paper
      for (int k = -1; k <= 1; ++k) {
        const double x = cx + k * 34;
        Poly(img, {{x - 14, cy + 36}, {x + 14, cy + 36}, {x, cy - 30 + std::abs(k) * 10}}, Sh(kGreyR, 12));  // room for the glint
        Box(img, x - 14, cy + 20, x + 14, cy + 36, Sh(kBlueR, 7));
      }
    }
    mark(0, 0, w - 1, h - 1, cloth);
    LoopGlint(img, mask, t, 10, item == "tusk" ? 2 : 3);
    if (item != "tusk") {
      for (int k = 0; k < 3; ++k) {
        const double tw = std::max(0.0, Wave(t, 1, k / 3.0));
        const double x = cx - 30 + k * 30, y = cy - 8 + k * 6;
        if (tw > 0.5) Line(img, x - 4 * tw, y, x + 4 * tw, y, 0, kWhite), Line(img, x, y - 4 * tw, x, y + 4 * tw, 0, kWhite);
      }
    }
    return;
  }
  if (item == "spices") {  // three sacks, spice heaped on a scoop, a scent drifting
    const uint8_t sp[3] = {kOrangeR, kRedR, kGoldR};
    for (int k = 0; k < 3; ++k) {
      const double x = cx - 44 + k * 44, y = cy + 20;
      Ellipse(img, x, y, 20, 24, Sh(kSandR, 9), Sh(kSandR, 5));
      Ellipse(img, x, y - 18, 16, 6, Sh(sp[k], 9), Sh(sp[k], 6));
    }
    for (int k = 0; k < 6; ++k) {
      const double ph = std::fmod(t + k / 6.0, 1.0);
      Dot(img, cx - 44 + (k % 3) * 44 + 6 * Wave(ph, 1, k * 0.2), cy - 2 - ph * 40, 1.2, Sh(sp[k % 3], 12 - (int)(ph * 4)));
    }
    return;
  }
  if (item == "animals") {  // a sheep grazing, lifting its head now and then
    const double lift = 0.5 - 0.5 * std::cos(2 * kPi * t);
    for (int k = 0; k < 9; ++k) Dot(img, cx - 24 + (k % 3) * 16, cy + 6 + (k / 3) * 8 - 8, 12, Sh(kParchR, 14 - k % 2));
    for (int k = -1; k <= 1; k += 2) Box(img, cx + k * 18 - 2, cy + 24, cx + k * 18 + 2, cy + 44, Sh(kWoodR, 2));
    const double hx = cx + 34, hy = cy + 14 - lift * 18;
    Line(img, cx + 20, cy + 4, hx, hy, 4, Sh(kParchR, 12));
    Ellipse(img, hx + 4, hy + 3, 8, 6, Sh(kWoodR, 3), Sh(kWoodR, 2));
    Dot(img, hx + 3, hy, 1.2, kWhite);
    for (int k = 0; k < 8; ++k) Line(img, cx + 20 + k * 5, h - 6.0, cx + 22 + k * 5, h - 16.0, 0, Sh(kGreenR, 9));
    return;
  }
  if (item == "plants") {  // exotic plants in a pot, leaves swaying
    Herb(img, p, t + OnTheTurn(n), i, n);  // as the herbs: a frame on each turn
    return;
  }
}

// The kinds drawn with a frame on each turn (OnTheTurn).
template <DrawFn F>
void TurnStep(Image& img, const Params& p, double t, int i, int n) {
  F(img, p, t + OnTheTurn(n), i, n);
}

}  // namespace

const Kind kGoodsKinds[] = {
    {"blade", TurnStep<BladeKind>}, {"axe", TurnStep<AxeKind>},   {"pole", TurnStep<PoleKind>},
    {"bow", Bow},                   {"helm", Helm},               {"armour", TurnStep<Armour>},
    {"shield", Shield},             {"ship", ShipKind},           {"siege", Siege},
    {"sling", Sling},               {"herb", TurnStep<Herb>},     {"grain", Grain},
    {"nothing", Nothing},           {"luxury", Luxury}, {nullptr, nullptr},
};

}  // namespace datakit::movies
