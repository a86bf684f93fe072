// The news screen's pictures: the war room (36) with its tab plaques, the
// map table and the report parchment; the field battle seen from the two
// sides (472, 498) and the sea fight (837), which with the burning town
// (499) carry the battle palette for the boxes the screen draws on them;
// the specialists' guild hall (38) and the cleric's portrait (1096). The
// places of the boxes and buttons are those of the layouts Nachrichten.txt
// and Spezialisten.txt.
#include <algorithm>
#include <cmath>
#include <string>

#include "art.h"

namespace datakit {
namespace {

constexpr uint8_t kRedR = 80, kGreenR = 96, kBlueR = 112, kSlate = 176, kForest = 192, kSand = 208, kWater = 224;

uint8_t Ramp(uint8_t ramp, int v) { return (uint8_t)(ramp + std::clamp(v, 0, 15)); }
uint32_t Grain(int x, int y, uint32_t seed) { return TextureHash(x, y, seed); }

// Dressed stone with joints.
void Wall(Image& img, int x1, int y1, int x2, int y2, int light) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      const int row = y / 22, shift = (row & 1) * 20;
      const bool joint = y % 22 == 0 || (x + shift) % 40 == 0;
      img.Set(x, y, Ramp(kSlate, joint ? light - 5 : light - (int)(Grain(x / 2, y / 2, 5) % 3)));
    }
}

// Planks along x with grain.
void Wood(Image& img, int x1, int y1, int x2, int y2, int light, int plank = 12) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      const bool seam = (y - y1) % plank == 0;
      const int streak = (int)(Grain(x / 9, (y - y1) / 2, 11) % 3);
      img.Set(x, y, Ramp(kWoodRamp, seam ? light - 5 : light - streak));
    }
}

void Parchment(Image& img, int x1, int y1, int x2, int y2, uint32_t seed) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      const int edge = std::min({x - x1, x2 - x, y - y1, y2 - y});
      const int v = 13 - (edge < 4 ? 4 - edge : 0) - (int)(Grain(x / 2, y, seed) % 2);
      img.Set(x, y, Ramp(kParchmentRamp, v));
    }
}

void TitleBar(Image& img) {
  FillRect(img, 194, 5, 448, 33, kWoodRamp + 6);
  FrameRect(img, 194, 5, 448, 33, kBlack);
  FrameRect(img, 198, 9, 444, 29, kGold);
  FillRect(img, 200, 11, 442, 27, kTitleBar);
}

// A light plaque for a caption the program prints in ink: parchment in a
// brass frame with two rivets.
void Plaque(Image& img, int x1, int y1, int x2, int y2) {
  FillRect(img, x1 - 3, y1 - 3, x2 + 3, y2 + 3, kBlack);
  FillRect(img, x1 - 2, y1 - 2, x2 + 2, y2 + 2, kGoldRamp + 8);
  FrameRect(img, x1 - 2, y1 - 2, x2 + 2, y2 + 2, kGoldRamp + 12);
  Parchment(img, x1, y1, x2, y2, (uint32_t)(x1 * 7 + y1));
  FrameRect(img, x1, y1, x2, y2, kDarkGold);
  FilledCircle(img, x1 + 4, (y1 + y2) / 2, 2, kGoldRamp + 5);
  FilledCircle(img, x2 - 4, (y1 + y2) / 2, 2, kGoldRamp + 5);
}

void Tri(Image& img, int cx, int top, int half, int bottom, uint8_t c) {
  for (int y = top; y <= bottom; ++y) {
    const int w = half * (y - top) / std::max(1, bottom - top);
    FillRect(img, cx - w, y, cx + w, y, c);
  }
}

// Crossed swords, a tower, a ship: the small signs of the tabs.
void Swords(Image& img, int cx, int cy) {
  RoundLine(img, cx - 8, cy + 8, cx + 8, cy - 8, kGreyRamp + 12, 1);
  RoundLine(img, cx + 8, cy + 8, cx - 8, cy - 8, kGreyRamp + 12, 1);
  RoundLine(img, cx - 9, cy + 3, cx - 3, cy + 9, kWoodRamp + 4, 1);
  RoundLine(img, cx + 9, cy + 3, cx + 3, cy + 9, kWoodRamp + 4, 1);
}
void Tower(Image& img, int cx, int cy) {
  FillRect(img, cx - 6, cy - 6, cx + 6, cy + 9, kGreyRamp + 9);
  for (int i = -6; i <= 4; i += 5) FillRect(img, cx + i, cy - 10, cx + i + 2, cy - 6, kGreyRamp + 9);
  FillRect(img, cx - 2, cy + 3, cx + 2, cy + 9, kGreyRamp + 2);
  FrameRect(img, cx - 6, cy - 6, cx + 6, cy + 9, kGreyRamp + 4);
}
void ShipSign(Image& img, int cx, int cy) {
  for (int x = -10; x <= 10; ++x) FillRect(img, cx + x, cy + 3, cx + x, cy + 8 - std::abs(x) / 3, kWoodRamp + 5);
  RoundLine(img, cx, cy + 3, cx, cy - 10, kWoodRamp + 3, 0);
  Tri(img, cx + 3, cy - 9, 5, cy + 1, kParchmentRamp + 14);
}
void Eye(Image& img, int cx, int cy) {
  FilledEllipse(img, cx, cy, 11, 6, kWhite);
  FilledCircle(img, cx, cy, 4, kBlueR + 8);
  FilledCircle(img, cx, cy, 2, kBlack);
  for (int x = -11; x <= 11; ++x) {
    const int dy = (int)std::lround(6 * std::sqrt(std::max(0.0, 1 - x * x / 121.0)));
    img.Set(cx + x, cy - dy, kInk);
    img.Set(cx + x, cy + dy, kInk);
  }
}

// A person seen from the front: robe, head, arms.
void Figure(Image& img, int cx, int top, int h, uint8_t robe, uint8_t skin) {
  Tri(img, cx, top + h / 4, h / 4, top + h, robe);
  FillRect(img, cx - h / 10, top + h / 5, cx + h / 10, top + h / 3, robe);
  FilledCircle(img, cx, top + h / 8, h / 9, skin);
  FilledCircle(img, cx - h / 30, top + h / 9, 1, kBlack);
  FilledCircle(img, cx + h / 30, top + h / 9, 1, kBlack);
}

// The hand-drawn map under the small map's frame (seen before a report
// shows the real map): coast, hills and a route of dashes.
void SketchMap(Image& img, int x1, int y1, int x2, int y2) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      const double coast = x1 + (x2 - x1) * 0.35 + 14 * std::sin((y - y1) * 0.06);
      const bool sea = x < coast;
      img.Set(x, y, sea ? Ramp(kWater, 10 - (int)(Grain(x / 3, y / 3, 3) % 2)) : Ramp(kParchmentRamp, 11 - (int)(Grain(x, y / 2, 4) % 2)));
    }
  for (int i = 0; i < 6; ++i) {
    const int hx = x1 + 80 + (i % 3) * 22, hy = y1 + 30 + (i / 3) * 40;
    Tri(img, hx, hy, 8, hy + 10, kWoodRamp + 6);
  }
  for (int i = 0; i < 12; ++i) img.Set(x1 + 70 + i * 6, y1 + 120 + (i % 3), kRedR + 8);
  FilledCircle(img, x1 + 140, y1 + 122, 3, kRedR + 10);
}

}  // namespace

bool DrawWarRoom(Image& img) {
  // The wall of the war room and its floor.
  Wall(img, 0, 0, 639, 300, 9);
  Wood(img, 0, 300, 639, 479, 6, 16);
  WoodFrame(img, 0, 0, 639, 479, 8);
  TitleBar(img);
  // The window the messenger came by, with the evening sky, and banners.
  FillRect(img, 22, 44, 92, 112, kBlack);
  for (int y = 46; y <= 110; ++y)
    for (int x = 24; x <= 90; ++x) img.Set(x, y, Ramp(kOrangeRamp, 14 - (y - 46) / 6));
  FillRect(img, 56, 46, 58, 110, kWoodRamp + 3);
  FillRect(img, 24, 77, 90, 79, kWoodRamp + 3);
  for (int i = 0; i < 2; ++i) {
    const int bx = i ? 268 : 14;
    FillRect(img, bx, 40, bx + 18, 190, i ? kRedR + 6 : kBlueR + 6);
    Tri(img, bx + 9, 175, 9, 205, i ? kRedR + 6 : kBlueR + 6);
    FillRect(img, bx - 2, 38, bx + 20, 40, kGold);
    FilledCircle(img, bx + 9, 90, 5, kGold);
  }
  // The messenger, a rolled letter in his hand, by the window.
  Figure(img, 56, 118, 96, kGreenR + 6, kSand + 11);
  FilledEllipse(img, 56, 126, 13, 7, kGreenR + 4);            // his hood
  FillRect(img, 44, 168, 68, 172, kWoodRamp + 3);              // his belt
  FilledCircle(img, 40, 180, 7, kWoodRamp + 6);                // the satchel
  RoundLine(img, 62, 150, 78, 162, kGreenR + 6, 3);            // the arm
  FillRect(img, 66, 158, 90, 166, kParchmentRamp + 13);        // the letter
  FilledCircle(img, 90, 162, 3, kRedR + 9);
  // The tab plaques (BU00..BU02) and the eye (AUGE) under them.
  const int tabs[3] = {58, 92, 126};
  for (int i = 0; i < 3; ++i) {
    Plaque(img, 110, tabs[i], 260, tabs[i] + 28);
    const int cy = tabs[i] + 14;
    if (i == 0) Swords(img, 124, cy);
    else if (i == 1) Tower(img, 124, cy);
    else ShipSign(img, 124, cy);
  }
  Plaque(img, 110, 168, 260, 196);
  Eye(img, 126, 182);
  // The map table with the small map's frame (the view 102..262 x 238..406).
  Wood(img, 12, 214, 288, 470, 9, 20);
  FrameRect(img, 12, 214, 288, 470, kBlack);
  FillRect(img, 90, 226, 274, 418, kWoodRamp + 3);
  FrameRect(img, 90, 226, 274, 418, kBlack);
  FrameRect(img, 94, 230, 270, 414, kGold);
  FrameRect(img, 95, 231, 269, 413, kDarkGold);
  FillRect(img, 100, 236, 264, 408, kBlack);
  SketchMap(img, 102, 238, 262, 406);
  // Markers and a compass on the table beside the map.
  for (int i = 0; i < 4; ++i) {
    const int mx = 30 + (i % 2) * 26, my = 250 + (i / 2) * 36;
    FilledCircle(img, mx, my, 7, i % 2 ? kRedR + 8 : kBlueR + 8);
    FilledCircle(img, mx - 2, my - 2, 2, kWhite);
  }
  FilledCircle(img, 46, 372, 20, kGoldRamp + 6);
  FilledCircle(img, 46, 372, 17, kParchmentRamp + 13);
  RoundLine(img, 46, 358, 46, 386, kRedR + 8, 1);
  RoundLine(img, 32, 372, 60, 372, kInk, 0);
  Plaque(img, 102, 420, 177, 446);
  Plaque(img, 187, 420, 262, 446);
  // The report parchment pinned to a board, with the slider's track.
  Wood(img, 286, 44, 626, 414, 5, 30);
  FrameRect(img, 286, 44, 626, 414, kBlack);
  Parchment(img, 294, 52, 594, 408, 36);
  FillRect(img, 300, 58, 588, 402, kParchment);
  FrameRect(img, 299, 57, 589, 403, kParchmentRamp + 6);
  for (int p : {300, 588}) {
    FilledCircle(img, p, 58, 4, kGoldRamp + 9);
    FilledCircle(img, p, 402, 4, kGoldRamp + 9);
  }
  FillRect(img, 593, 80, 606, 380, kGreyRamp + 6);
  FrameRect(img, 592, 79, 607, 381, kBlack);
  Plaque(img, 400, 420, 480, 446);
  Plaque(img, 520, 420, 600, 446);
  // A candle on the floor side between the buttons.
  FillRect(img, 326, 424, 334, 452, kParchmentRamp + 15);
  FilledEllipse(img, 330, 418, 3, 6, kOrangeRamp + 14);
  FilledEllipse(img, 330, 455, 14, 4, kGoldRamp + 6);
  return true;
}

namespace {

// The pens of the battle picture's boxes (frames, grounds and the text),
// which the battle palette gives colours of their own.
const uint8_t kBoxPens[] = {114, 82, 134, 163, 96, 159, 149, 214, 162};

bool IsBoxPen(uint8_t c) { return std::find(std::begin(kBoxPens), std::end(kBoxPens), c) != std::end(kBoxPens); }

// A foot soldier facing right (dir 1) or left (-1), feet at (x, y).
void Soldier(Image& img, int x, int y, int h, uint8_t tunic, uint8_t shield, int dir, uint32_t seed) {
  const int w = std::max(2, h / 6);
  const int step = (int)(Grain(x, y, seed) % 3) - 1;
  RoundLine(img, x - w / 2, y, x - w / 2 + step, y - h / 3, kWoodRamp + 2, 0);
  RoundLine(img, x + w / 2, y, x + w / 2 - step, y - h / 3, kWoodRamp + 2, 0);
  FillRect(img, x - w, y - h * 3 / 4, x + w, y - h / 3, tunic);
  FilledCircle(img, x, y - h * 7 / 8, std::max(1, h / 9), kSand + 11);
  FillRect(img, x - h / 9, y - h, x + h / 9, y - h * 15 / 16, kGreyRamp + 10);
  // The spear held forward and the shield on the other arm.
  RoundLine(img, x - dir * w, y - h / 2, x + dir * h * 3 / 4, y - h * 9 / 10, kWoodRamp + 8, 0);
  img.Set(x + dir * h * 3 / 4, y - h * 9 / 10 - 1, kGreyRamp + 14);
  FilledEllipse(img, x + dir * w, y - h / 2, std::max(1, w), std::max(2, h / 5), shield);
}

// A banner on a pole, feet at (x, y).
void Standard(Image& img, int x, int y, int h, uint8_t cloth, int dir) {
  RoundLine(img, x, y, x, y - h, kWoodRamp + 3, 0);
  for (int r = 0; r < h / 3; ++r) FillRect(img, std::min(x, x + dir * h / 3), y - h + r, std::max(x, x + dir * h / 3) - (r % 5 == 0), y - h + r, cloth);
  FilledCircle(img, x + dir * h / 6, y - h + h / 6, std::max(1, h / 12), kGold);
}

// Sky from a ramp, light at the horizon.
void SkyRamp(Image& img, int y2, uint8_t ramp, int from, int to) {
  for (int y = 0; y <= y2; ++y)
    for (int x = 0; x < img.width; ++x) {
      const int v = from + (to - from) * y / std::max(1, y2) + (int)(Grain(x / 4, y / 3, 71) % 2);
      img.Set(x, y, Ramp(ramp, v));
    }
}

void Hills(Image& img, int base, int height, uint8_t ramp, int light, uint32_t seed) {
  for (int x = 0; x < img.width; ++x) {
    const int top = base - (int)(height * (0.5 + 0.3 * std::sin(x * 0.013 + seed) + 0.2 * std::sin(x * 0.041 + seed * 2)));
    for (int y = top; y < img.height; ++y) img.Set(x, y, Ramp(ramp, light - (int)(Grain(x / 3, y / 3, seed) % 2)));
  }
}

void DustCloud(Image& img, int cx, int cy, int r, uint32_t seed) {
  for (int i = 0; i < 14; ++i) {
    const int dx = (int)(Grain(i, 1, seed) % (2 * r)) - r, dy = (int)(Grain(i, 2, seed) % r) - r / 2;
    FilledCircle(img, cx + dx, cy + dy, r / 3 + (int)(Grain(i, 3, seed) % (r / 3 + 1)), Ramp(kSand, 9 + i % 4));
  }
}

void Castle(Image& img, int x, int y, int w, int h) {
  FillRect(img, x, y - h, x + w, y, kGreyRamp + 7);
  for (int i = 0; i + 6 <= w; i += 10) FillRect(img, x + i, y - h - 6, x + i + 5, y - h, kGreyRamp + 7);
  FillRect(img, x + w / 2 - 8, y - h - 30, x + w / 2 + 8, y - h, kGreyRamp + 8);
  FillRect(img, x + w / 2 - 5, y - 14, x + w / 2 + 5, y, kGreyRamp + 2);
  Standard(img, x + w / 2, y - h - 30, 24, kRedR + 8, 1);
}

// A ship seen from the side, bow towards dir, waterline at y.
void Ship(Image& img, int cx, int y, int len, int dir, uint8_t sail, bool burning) {
  for (int i = -len / 2; i <= len / 2; ++i) {
    const int depth = 22 - std::abs(i) * 10 / std::max(1, len / 2);
    FillRect(img, cx + i, y - 14 + (i * dir > len / 3 ? 4 : 0), cx + i, y + depth / 2, Ramp(kWoodRamp, 4 + (i % 7 == 0 ? -2 : 0)));
  }
  FillRect(img, cx - len / 2, y - 16, cx + len / 2, y - 14, kWoodRamp + 9);
  for (int m = -1; m <= 1; ++m) {
    const int mx = cx + m * len / 4, mh = 120 - std::abs(m) * 25;
    RoundLine(img, mx, y - 14, mx, y - 14 - mh, kWoodRamp + 2, 1);
    for (int r = 0; r < mh * 2 / 3; ++r) {
      const int half = 22 + r / 10;
      FillRect(img, mx - half, y - 8 - mh + r, mx + half, y - 8 - mh + r, Ramp(sail, 13 - (r % 9 == 0) - (burning && r > mh / 3 ? 5 : 0)));
    }
  }
  for (int i = -2; i <= 2; ++i) FilledCircle(img, cx + i * len / 6, y - 4, 3, kBlack);
  if (burning)
    for (int i = 0; i < 10; ++i)
      FilledEllipse(img, cx - len / 6 + (int)(Grain(i, 5, 9) % (len / 3)), y - 40 - (int)(Grain(i, 6, 9) % 50), 6, 14, Ramp(kOrangeRamp, 9 + i % 6));
}

}  // namespace

const Palette& BattlePalette() {
  static const Palette p = [] {
    Palette q = SharedPalette();
    q[114] = {156, 178, 220};  // frame of pair 0: steel
    q[82] = {96, 20, 18};      // its ground: crimson
    q[134] = {214, 180, 96};   // pair 1: brass on navy
    q[163] = {22, 38, 96};
    q[96] = {200, 200, 196};   // pair 2: silver on dark green
    q[159] = {34, 70, 26};
    q[149] = {244, 214, 120};  // pair 3 (the verdict): gold on dark brown
    q[214] = {64, 36, 14};
    q[162] = {255, 238, 176};  // the boxes' text
    return q;
  }();
  return p;
}

void AvoidBattlePens(Image& img) {
  const Palette& shared = SharedPalette();
  uint8_t map[256];
  for (int c = 0; c < 256; ++c) {
    map[c] = (uint8_t)c;
    if (!IsBoxPen((uint8_t)c)) continue;
    int best = -1, best_d = 1 << 30;
    for (int k = 0; k < 255; ++k) {
      if (IsBoxPen((uint8_t)k)) continue;
      int d = 0;
      for (int j = 0; j < 3; ++j) d += (shared[c][j] - shared[k][j]) * (shared[c][j] - shared[k][j]);
      if (d < best_d) best_d = d, best = k;
    }
    map[c] = (uint8_t)best;
  }
  for (uint8_t& px : img.px) px = map[px];
}

bool DrawFieldBattle(Image& img, bool other_side) {
  // The attacker's view (472) at noon; the other side's (498) at dusk, the
  // armies changed round.
  if (other_side) SkyRamp(img, 260, kOrangeRamp, 6, 14);
  else SkyRamp(img, 260, kBlueR, 14, 8);
  Hills(img, 230, 60, kGreyRamp, 7, 3);
  Hills(img, 262, 40, kForest, 6, 7);
  Castle(img, other_side ? 470 : 80, 250, 90, 40);
  for (int y = 262; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x)
      if (img.Get(x, y) >= kForest && img.Get(x, y) < kForest + 16 && y > 270)
        img.Set(x, y, Ramp(kGreenR, 5 + (y - 270) / 40 - (int)(Grain(x / 3, y / 2, 9) % 2)));
  const uint8_t left = other_side ? kRedR + 8 : kBlueR + 8, right = other_side ? kBlueR + 8 : kRedR + 8;
  // Ranks from the back (small) to the front (large).
  for (int rank = 0; rank < 5; ++rank) {
    const int y = 290 + rank * 40, h = 18 + rank * 9;
    for (int i = 0; i < 7; ++i) {
      const int lx = 30 + i * (34 + rank * 2) + rank * 6, rx = 610 - i * (34 + rank * 2) - rank * 6;
      Soldier(img, lx, y + (i % 2) * 4, h, left, Ramp(left - 8, 12), 1, 11 + rank);
      Soldier(img, rx, y + (i % 2) * 4, h, right, Ramp(right - 8, 12), -1, 17 + rank);
    }
    if (rank == 2) {
      Standard(img, 250, y, 70, left, 1);
      Standard(img, 390, y, 70, right, -1);
    }
  }
  // The clash in the middle: dust, broken spears.
  DustCloud(img, 320, 330, 50, 5);
  DustCloud(img, 320, 400, 40, 6);
  for (int i = 0; i < 8; ++i) {
    const int x = 270 + (int)(Grain(i, 1, 4) % 100), y = 360 + (int)(Grain(i, 2, 4) % 90);
    RoundLine(img, x, y, x + 18 - (int)(Grain(i, 3, 4) % 36), y - 12, kWoodRamp + 8, 0);
  }
  AvoidBattlePens(img);
  return true;
}

bool DrawSeaFight(Image& img) {
  SkyRamp(img, 200, kBlueR, 13, 7);
  for (int i = 0; i < 6; ++i)
    FilledEllipse(img, 60 + i * 110, 40 + (i % 3) * 22, 50, 14, kGreyRamp + 13 - i % 3);
  for (int y = 200; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x) {
      const int wave = (int)(3 * std::sin(x * 0.08 + y * 0.5));
      img.Set(x, y, Ramp(kWater, 4 + (y - 200) / 60 + (wave > 1 ? 3 : 0) - (int)(Grain(x / 4, y, 3) % 2)));
    }
  Ship(img, 170, 330, 200, 1, kParchmentRamp, false);
  Ship(img, 470, 350, 200, -1, kRedR, true);
  // Smoke of the guns between them and the splashes of shots.
  for (int i = 0; i < 10; ++i)
    FilledCircle(img, 290 + (int)(Grain(i, 1, 8) % 60), 300 + (int)(Grain(i, 2, 8) % 40), 12 + i % 5, Ramp(kGreyRamp, 10 + i % 4));
  for (int i = 0; i < 5; ++i) {
    const int x = 250 + i * 40, y = 380 + (i % 2) * 20;
    for (int k = 0; k < 6; ++k) RoundLine(img, x, y, x - 6 + k * 2, y - 14 - (k % 3) * 4, kWhite, 0);
  }
  AvoidBattlePens(img);
  return true;
}

bool DrawGuildHall(Image& img) {
  Wall(img, 0, 0, 639, 479, 10);
  WoodFrame(img, 0, 0, 639, 479, 8);
  TitleBar(img);
  // The two benches: the free specialists' (left) and the town's (right),
  // a carved backrest round each list with the headings' boards above.
  for (int b = 0; b < 2; ++b) {
    const int x1 = b ? 362 : 22, x2 = b ? 618 : 278;
    Wood(img, x1, 36, x2, 246, 7, 14);
    FrameRect(img, x1, 36, x2, 246, kBlack);
    for (int x = x1 + 10; x < x2 - 6; x += 24) FilledCircle(img, x, 40, 3, kGoldRamp + 7);
    Plaque(img, x1 + 8, 42, x1 + 228, 58);
    Parchment(img, x1 + 8, 62, x1 + 228, 78, 40 + b);
    FrameRect(img, x1 + 8, 62, x1 + 228, 78, kParchmentRamp + 5);
    FillRect(img, x1 + 8, 82, x1 + 228, 236, kParchment);
    FrameRect(img, x1 + 7, 81, x1 + 229, 237, kBlack);
    FillRect(img, x1 + 234, 104, x1 + 247, 214, kGreyRamp + 6);
    FrameRect(img, x1 + 233, 103, x1 + 248, 215, kBlack);
  }
  // The guild master at his lectern between the benches.
  Figure(img, 320, 200, 46, kRedR + 6, kSand + 11);
  Wood(img, 296, 226, 344, 252, 10, 8);
  FrameRect(img, 296, 226, 344, 252, kBlack);
  Plaque(img, 280, 110, 360, 136);
  Plaque(img, 280, 170, 360, 196);
  for (int i = 0; i < 2; ++i) {
    const int y = i ? 183 : 123, dir = i ? -1 : 1;
    for (int k = 0; k < 5; ++k) FillRect(img, i ? 288 + k : 352 - k, y - 4 + k, i ? 288 + k : 352 - k, y + 4 - k, kInk);
    (void)dir;
  }
  // The label of the wages' total and the desk of the details below.
  Parchment(img, 368, 239, 592, 257, 44);
  FrameRect(img, 367, 238, 593, 258, kParchmentRamp + 5);
  Wood(img, 16, 258, 624, 424, 8, 24);
  FrameRect(img, 16, 258, 624, 424, kBlack);
  Parchment(img, 24, 262, 616, 416, 45);
  // The portrait's frame (the program blits the portrait at 34, 266).
  FillRect(img, 30, 262, 137, 399, kGoldRamp + 7);
  FrameRect(img, 30, 262, 137, 399, kBlack);
  FillRect(img, 34, 266, 133, 395, kParchmentRamp + 8);
  // The seal plaque of the grade and the board of the experience.
  FillRect(img, 476, 260, 604, 326, kWoodRamp + 4);
  FrameRect(img, 476, 260, 604, 326, kBlack);
  FillRect(img, 480, 264, 600, 305, kParchment);
  Parchment(img, 480, 306, 600, 322, 46);
  FillRect(img, 476, 330, 604, 384, kWoodRamp + 4);
  FrameRect(img, 476, 330, 604, 384, kBlack);
  FillRect(img, 480, 334, 600, 362, kParchment);
  Parchment(img, 480, 364, 600, 380, 47);
  // The floor, and a bench of specialists waiting to be called.
  Wood(img, 8, 426, 631, 471, 4, 16);
  Wood(img, 70, 452, 372, 460, 9, 8);
  FrameRect(img, 70, 452, 372, 460, kBlack);
  const uint8_t robes[5] = {kWoodRamp + 4, kGreenR + 5, kSlate + 6, kRedR + 5, kWoodRamp + 7};
  for (int i = 0; i < 5; ++i) {
    const int cx = 100 + i * 60;
    Tri(img, cx, 436, 12, 456, robes[i]);
    FilledCircle(img, cx, 435, 6, kSand + 11);
    FilledEllipse(img, cx, 430, 6, 3, robes[i]);
    FillRect(img, cx - 8, 456, cx - 5, 468, kWoodRamp + 1);
    FillRect(img, cx + 5, 456, cx + 8, 468, kWoodRamp + 1);
  }
  for (int x : {40, 390}) {
    FillRect(img, x - 4, 440, x + 4, 464, kParchmentRamp + 15);
    FilledEllipse(img, x, 434, 3, 6, kOrangeRamp + 14);
  }
  Plaque(img, 400, 432, 480, 458);
  Plaque(img, 520, 432, 600, 458);
  return true;
}

bool DrawClericPortrait(Image& img) {
  const int w = img.width, h = img.height;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) img.Set(x, y, Ramp(kSlate, 5 + y * 6 / h - (int)(Grain(x / 3, y / 3, 21) % 2)));
  // An arched window behind him.
  FilledEllipse(img, w / 2, 34, 30, 24, kGoldRamp + 12);
  FillRect(img, w / 2 - 30, 34, w / 2 + 30, 70, kGoldRamp + 12);
  // The robe with its hood, the face, the tonsure and a holy sign.
  Tri(img, w / 2, 44, 46, h - 1, kWoodRamp + 4);
  FilledEllipse(img, w / 2, 50, 22, 26, kWoodRamp + 3);
  FilledEllipse(img, w / 2, 52, 15, 19, kSand + 11);
  FilledEllipse(img, w / 2, 36, 12, 5, kSand + 13);
  FilledCircle(img, w / 2 - 6, 50, 2, kBlack);
  FilledCircle(img, w / 2 + 6, 50, 2, kBlack);
  RoundLine(img, w / 2 - 5, 62, w / 2 + 5, 62, kRedR + 6, 0);
  RoundLine(img, w / 2, 82, w / 2, 104, kGold, 1);
  RoundLine(img, w / 2 - 8, 90, w / 2 + 8, 90, kGold, 1);
  RoundLine(img, w / 2 - 30, 110, w / 2 + 30, 110, kWoodRamp + 1, 1);
  FrameRect(img, 0, 0, w - 1, h - 1, kBlack);
  return true;
}

}  // namespace datakit
