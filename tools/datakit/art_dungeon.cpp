// The dungeon screen's pictures: the stone-framed screen (1293), the 36
// frames of the compass rose (1557..1592) and the death picture (1613). See
// docs/dungeon-maps.md; the view's graphics: dungeonview.cpp.
#include <algorithm>
#include <cmath>

#include "art.h"

namespace datakit {

namespace {

constexpr uint8_t kSlate = 176;  // the slate ramp: 16 steps dark..light
constexpr double kPi = 3.14159265358979;

uint32_t Hash(uint32_t a, uint32_t b) {
  uint32_t h = a * 0x9E3779B1u ^ (b + 0x7F4A7C15u) * 0x85EBCA77u;
  h ^= h >> 15;
  h *= 0xC2B2AE3Du;
  return h ^ (h >> 13);
}

// Stone blocks in the slate ramp, mortar in dark grey, rows offset by half a block.
void Stones(Image& img, int x1, int y1, int x2, int y2, int bw, int bh, int lo, int hi, uint32_t seed) {
  for (int y = y1; y <= y2; ++y) {
    const int row = (y - y1) / bh;
    for (int x = x1; x <= x2; ++x) {
      const int bx = (x - x1 + (row & 1) * bw / 2) / bw;
      const int ix = (x - x1 + (row & 1) * bw / 2) % bw, iy = (y - y1) % bh;
      if (ix == 0 || iy == 0) {
        img.Set(x, y, kGreyRamp + 2);
        continue;
      }
      int shade = lo + (int)(Hash((uint32_t)bx + seed, (uint32_t)row) % (uint32_t)(hi - lo + 1));
      if (iy == 1 || ix == 1) shade = std::min(15, shade + 2);  // lit edge
      if (iy == bh - 1 || ix == bw - 1) shade = std::max(0, shade - 2);
      if (Hash((uint32_t)(x * 31 + seed), (uint32_t)y) % 11 == 0) shade = std::max(0, shade - 1);  // grain
      img.Set(x, y, (uint8_t)(kSlate + shade));
    }
  }
}

// A sunken (inset) frame of the given width around a rectangle.
void Inset(Image& img, int x1, int y1, int x2, int y2, int width) {
  for (int i = 1; i <= width; ++i) {
    const uint8_t dark = (uint8_t)(kSlate + 1 + i / 2), light = (uint8_t)(kSlate + 10 + i / 2);
    for (int x = x1 - i; x <= x2 + i; ++x) img.Set(x, y1 - i, dark), img.Set(x, y2 + i, light);
    for (int y = y1 - i; y <= y2 + i; ++y) img.Set(x1 - i, y, dark), img.Set(x2 + i, y, light);
  }
}

void FillTriangle(Image& img, double ax, double ay, double bx, double by, double cx, double cy, uint8_t c) {
  const int y1 = (int)std::floor(std::min({ay, by, cy})), y2 = (int)std::ceil(std::max({ay, by, cy}));
  const int x1 = (int)std::floor(std::min({ax, bx, cx})), x2 = (int)std::ceil(std::max({ax, bx, cx}));
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      const double px = x + 0.5, py = y + 0.5;
      const double d1 = (px - bx) * (ay - by) - (ax - bx) * (py - by);
      const double d2 = (px - cx) * (by - cy) - (bx - cx) * (py - cy);
      const double d3 = (px - ax) * (cy - ay) - (cx - ax) * (py - ay);
      const bool neg = d1 < 0 || d2 < 0 || d3 < 0, pos = d1 > 0 || d2 > 0 || d3 > 0;
      if (!(neg && pos)) img.Set(x, y, c);
    }
}

// A stone button with a bevel.
void StoneButton(Image& img, int x1, int y1, int x2, int y2) {
  Stones(img, x1, y1, x2, y2, 64, 64, 7, 8, 9);
  Bevel(img, x1, y1, x2, y2, false);
  FrameRect(img, x1, y1, x2, y2, kBlack);
}

// An arrow from the button's centre in direction (dx, dy) (screen axes).
void Arrow(Image& img, int cx, int cy, double dx, double dy, uint8_t c) {
  const double len = 14;
  const double tx = cx + dx * len, ty = cy + dy * len;
  RoundLine(img, (int)(cx - dx * len * 0.8), (int)(cy - dy * len * 0.8), (int)(tx - dx * 6), (int)(ty - dy * 6), c, 2);
  FillTriangle(img, tx, ty, tx - dx * 10 - dy * 8, ty - dy * 10 + dx * 8, tx - dx * 10 + dy * 8, ty - dy * 10 - dx * 8, c);
}

// A three-quarter circle with a head: clockwise (right turn) or not.
void TurnArrow(Image& img, int cx, int cy, bool clockwise, uint8_t c) {
  const double r = 11;
  double px = 0, py = 0;
  for (int a = 0; a <= 250; a += 10) {
    const double t = (clockwise ? -200 + a : 20 - a) * kPi / 180;
    const double x = cx + r * std::cos(t), y = cy + r * std::sin(t);
    if (a) RoundLine(img, (int)px, (int)py, (int)x, (int)y, c, 1);
    px = x, py = y;
  }
  // The head at the end of the arc, along its direction.
  const double t = (clockwise ? 50 : -230) * kPi / 180;
  const double ex = cx + r * std::cos(t), ey = cy + r * std::sin(t);
  const double dx = clockwise ? -std::sin(t) : std::sin(t), dy = clockwise ? std::cos(t) : -std::cos(t);
  FillTriangle(img, ex + dx * 7, ey + dy * 7, ex - dy * 6, ey + dx * 6, ex + dy * 6, ey - dx * 6, c);
}

void Caption(Image& img, int x1, int y1, int x2, int y2, const char* text) {
  DrawTextCentred(img, x1, y1, x2, y2, text, 2, kParchmentRamp + 15, kBlack);
}

}  // namespace

bool DrawDungeonScreen(Image& img) {
  Stones(img, 0, 0, img.width - 1, img.height - 1, 40, 20, 3, 7, 1293);
  // The title bar that CheckTitleBar writes into: (200, 11) to (442, 27).
  FillRect(img, 194, 5, 448, 33, kWoodRamp + 6);
  FrameRect(img, 194, 5, 448, 33, kBlack);
  FrameRect(img, 198, 9, 444, 29, kGold);
  FillRect(img, 200, 11, 442, 27, kTitleBar);
  // The compass plate under the rose (58, 347, 64 x 64), hanging below the view.
  FilledCircle(img, 90, 379, 42, kBlack);
  FilledCircle(img, 90, 379, 40, kGoldRamp + 4);
  FilledCircle(img, 90, 379, 36, kGoldRamp + 8);
  FilledCircle(img, 90, 379, 34, kGoldRamp + 3);
  // The view window.
  FillRect(img, 25, 43, 424, 342, kBlack);
  Inset(img, 25, 43, 424, 342, 5);
  FrameRect(img, 19, 37, 430, 348, kBlack);
  // Under the view: the name and the keys.
  DrawTextCentred(img, 150, 356, 430, 382, "THE DUNGEON", 3, kGoldRamp + 12, kBlack);
  DrawTextCentred(img, 150, 392, 430, 404, "W A S D OR ARROWS: STEP", 1, kParchmentRamp + 14, kBlack);
  DrawTextCentred(img, 150, 408, 430, 420, "Q E: TURN   ESC: LEAVE", 1, kParchmentRamp + 14, kBlack);
  // The positions box and the map panel.
  DrawTextCentred(img, 446, 66, 574, 82, "POSITION / MAP", 1, kGoldRamp + 12, kBlack);
  FillRect(img, 450, 90, 550, 120, kTitleBar);
  Inset(img, 450, 90, 570, 240, 3);
  FillRect(img, 551, 90, 570, 119, kSlate + 4);
  FillRect(img, 450, 120, 570, 240, kGreyRamp + 14);
  FrameRect(img, 442, 82, 578, 248, kBlack);
  // The step and turn buttons, OPEN, CLOSE and EXIT.
  struct Button {
    int x1, y1;
    int kind;  // 0..3 arrows up, down, left, right; 4 turn left, 5 turn right
  };
  const Button buttons[] = {{450, 260, 4}, {500, 260, 0}, {550, 260, 5},
                            {450, 310, 2}, {500, 310, 1}, {550, 310, 3}};
  for (const Button& b : buttons) {
    StoneButton(img, b.x1, b.y1, b.x1 + 45, b.y1 + 45);
    const int cx = b.x1 + 23, cy = b.y1 + 23;
    const uint8_t ink = kGoldRamp + 13;
    switch (b.kind) {
      case 0: Arrow(img, cx, cy, 0, -1, ink); break;
      case 1: Arrow(img, cx, cy, 0, 1, ink); break;
      case 2: Arrow(img, cx, cy, -1, 0, ink); break;
      case 3: Arrow(img, cx, cy, 1, 0, ink); break;
      default: TurnArrow(img, cx, cy, b.kind == 5, ink); break;
    }
  }
  StoneButton(img, 450, 365, 520, 390);
  Caption(img, 450, 365, 520, 390, "OPEN");
  StoneButton(img, 525, 365, 595, 390);
  Caption(img, 525, 365, 595, 390, "CLOSE");
  FillRect(img, 530, 430, 610, 460, kWoodRamp + 6);
  Bevel(img, 530, 430, 610, 460, false);
  FrameRect(img, 530, 430, 610, 460, kBlack);
  Caption(img, 530, 430, 610, 460, "EXIT");
  return true;
}

bool DrawCompassFrame(Image& img, int frame) {
  const int w = img.width;
  const double c = (w - 1) / 2.0, r = w / 2.0 - 1;
  // The ring: dark edge, bronze band with ticks every 30 degrees, dark face.
  FilledCircle(img, (int)c, (int)c, (int)r, kBlack);
  FilledCircle(img, (int)c, (int)c, (int)r - 1, kGoldRamp + 7);
  FilledCircle(img, (int)c, (int)c, (int)r - 5, kWoodRamp + 2);
  const double turn = frame * 10 * kPi / 180;  // clockwise on the screen
  for (int t = 0; t < 12; ++t) {
    const double a = turn + t * kPi / 6;
    const double sx = std::sin(a), sy = -std::cos(a);
    RoundLine(img, (int)std::lround(c + sx * (r - 5)), (int)std::lround(c + sy * (r - 5)),
              (int)std::lround(c + sx * (r - 1)), (int)std::lround(c + sy * (r - 1)), kBlack, 0);
  }
  // The star: four long points (north red), four short ones between them.
  for (int p = 0; p < 8; ++p) {
    const double a = turn + p * kPi / 4;
    const double len = p % 2 ? r * 0.45 : r * 0.72, half = p % 2 ? 3.5 : 5.5;
    const double sx = std::sin(a), sy = -std::cos(a);
    const double tx = c + sx * len, ty = c + sy * len;
    const double lx = c - sy * half, ly = c + sx * half, rx = c + sy * half, ry = c - sx * half;
    const bool north = p == 0;
    FillTriangle(img, tx, ty, lx, ly, c, c, north ? (uint8_t)kRed : (uint8_t)(kParchmentRamp + 14));
    FillTriangle(img, tx, ty, rx, ry, c, c, north ? (uint8_t)(80 + 6) : (uint8_t)(kParchmentRamp + 8));
  }
  FilledCircle(img, (int)c, (int)c, 2, kGoldRamp + 12);
  // N, E, S, W upright at their turned places on the band.
  const char* letters[4] = {"N", "E", "S", "W"};
  for (int q = 0; q < 4; ++q) {
    const double a = turn + q * kPi / 2;
    const double lr = r * 0.72 + 1;
    const int x = (int)std::lround(c + std::sin(a + 0.42) * lr), y = (int)std::lround(c - std::cos(a + 0.42) * lr);
    DrawTextCentred(img, x - 5, y - 5, x + 5, y + 5, letters[q], 1, q == 0 ? (uint8_t)(kGoldRamp + 15) : (uint8_t)kWhite,
                    kBlack);
  }
  // Outside the ring: the hole of the mask.
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < w; ++x)
      if ((x - c) * (x - c) + (y - c) * (y - c) > r * r) img.Set(x, y, kTransparent);
  return true;
}

bool DrawDeathPicture(Image& img) {
  const int w = img.width, h = img.height;
  const double cx = w / 2.0, cy = h * 0.55, rx = w * 0.44, ry = h * 0.36;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const double e = (x - cx) * (x - cx) / (rx * rx) + (y - cy) * (y - cy) / (ry * ry);
      if (e > 1.0) continue;  // the hole of the mask stays
      if (e > 0.8) {           // the rim of broken stones
        const uint32_t s = Hash((uint32_t)(std::atan2(y - cy, x - cx) * 12 + 40), 1613);
        img.Set(x, y, (uint8_t)(kSlate + 5 + s % 6 - (e > 0.95 ? 3 : 0)));
      } else {                 // the pit, darker towards its depth
        img.Set(x, y, (uint8_t)(kGreyRamp + std::clamp((int)(e * 7), 0, 5)));
      }
    }
  // Spikes from the floor of the pit.
  for (int i = 0; i < 9; ++i) {
    const double sx = cx - rx * 0.62 + i * rx * 0.155, base = cy + ry * 0.55 - std::abs(i - 4) * 6;
    FillTriangle(img, sx - 8, base, sx + 8, base, sx, base - 46 + (i % 2) * 12, kGreyRamp + 10);
    FillTriangle(img, sx, base, sx + 8, base, sx, base - 46 + (i % 2) * 12, kGreyRamp + 7);
    FilledCircle(img, (int)sx, (int)(base - 44 + (i % 2) * 12), 1, 80 + 5);  // blood on the tips
  }
  // Crossed bones behind the skull.
  const uint8_t bone = kParchmentRamp + 13, bone_dark = kParchmentRamp + 7;
  RoundLine(img, (int)cx - 70, (int)cy - 10, (int)cx + 70, (int)cy + 60, bone_dark, 7);
  RoundLine(img, (int)cx + 70, (int)cy - 10, (int)cx - 70, (int)cy + 60, bone_dark, 7);
  RoundLine(img, (int)cx - 70, (int)cy - 10, (int)cx + 70, (int)cy + 60, bone, 5);
  RoundLine(img, (int)cx + 70, (int)cy - 10, (int)cx - 70, (int)cy + 60, bone, 5);
  // The knobbed ends of the two bones.
  for (int s : {-1, 1})
    for (int e : {-1, 1}) {
      const int ex = (int)cx + s * 72, ey = (int)cy + (e < 0 ? -12 : 62);
      FilledCircle(img, ex - 4 * s * e, ey - 4, 7, bone);
      FilledCircle(img, ex + 4 * s * e, ey + 4, 7, bone);
    }
  // The skull: cranium, jaw, sockets, nose and teeth.
  const int sx = (int)cx, sy = (int)cy - 10;
  FilledCircle(img, sx, sy, 47, kBlack);
  FilledCircle(img, sx, sy, 45, bone);
  FillRect(img, sx - 26, sy + 30, sx + 26, sy + 58, bone);
  FrameRect(img, sx - 27, sy + 30, sx + 27, sy + 59, kBlack);
  FilledCircle(img, sx - 6, sy - 18, 20, kParchmentRamp + 15);  // the light on the forehead
  FilledCircle(img, sx - 18, sy + 6, 12, kBlack);
  FilledCircle(img, sx + 18, sy + 6, 12, kBlack);
  FilledCircle(img, sx - 18, sy + 8, 3, 80 + 9);  // a red glint in the sockets
  FilledCircle(img, sx + 18, sy + 8, 3, 80 + 9);
  FillTriangle(img, sx, sy + 18, sx - 7, sy + 32, sx + 7, sy + 32, kBlack);
  for (int t = -3; t <= 3; ++t) FillRect(img, sx + t * 7 - 1, sy + 40, sx + t * 7, sy + 58, kBlack);
  FillRect(img, sx - 26, sy + 48, sx + 26, sy + 49, kBlack);
  return true;
}

}  // namespace datakit
