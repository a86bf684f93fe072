// The construction screen (picture 43): the master builder's office. A plank
// wall with the title bar, the framed picture area of the building (64, 75
// to 287, 274), the ledger of the seven value panels below it, the parchment
// of the building's text (349, 74, 226 x 262) with the slider's groove and
// its two arrows, the brass title plaque (387, 344, 144 x 18) between the
// stepping arrows, and the six buttons: hammer (build), scroll (sites),
// pick (demolition), help, tick and door. The places match
// tools/datakit/layouts/Bau.txt.
#include <algorithm>
#include <cmath>

#include "art.h"

namespace datakit {
namespace {

uint32_t Noise(int x, int y, uint32_t seed) {
  uint32_t h = (uint32_t)x * 73856093u ^ (uint32_t)y * 19349663u ^ seed * 83492791u;
  h ^= h >> 13;
  h *= 1274126177u;
  return h ^ (h >> 16);
}

// Horizontal boards of 24 rows with grain, knots and dark joints.
void Planks(Image& img, int x1, int y1, int x2, int y2) {
  for (int y = y1; y <= y2; ++y) {
    const int board = y / 24, in = y % 24;
    const int base = 5 + (int)(Noise(board, 0, 7) % 4);
    for (int x = x1; x <= x2; ++x) {
      int v = base + (int)((Noise(x / 9, y, board) % 3)) - 1;
      if (std::sin((x + board * 37) * 0.05 + in * 0.4) > 0.93) v -= 2;  // grain
      if (in == 0 || in == 23) v = 2;                                     // joints
      if ((x + board * 131) % 211 == 0 && in > 3 && in < 20) v = 3;       // board ends
      img.Set(x, y, (uint8_t)(kWoodRamp + std::clamp(v, 0, 15)));
    }
    for (int k = 0; k < 2; ++k) {  // a knot or two per board
      const int kx = x1 + (int)(Noise(board, k, 3) % (uint32_t)std::max(1, x2 - x1));
      if (in >= 8 && in <= 15) FilledCircle(img, kx, board * 24 + 12, 2, kWoodRamp + 2);
    }
  }
}

// A sunken slot: dark inside, light lower and right edges.
void Inset(Image& img, int x1, int y1, int x2, int y2, uint8_t inside) {
  FillRect(img, x1, y1, x2, y2, inside);
  for (int x = x1 - 1; x <= x2 + 1; ++x) {
    img.Set(x, y1 - 1, kWoodRamp + 1);
    img.Set(x, y2 + 1, kWoodRamp + 13);
  }
  for (int y = y1 - 1; y <= y2 + 1; ++y) {
    img.Set(x1 - 1, y, kWoodRamp + 1);
    img.Set(x2 + 1, y, kWoodRamp + 13);
  }
}

// A raised wooden button with a black rim.
void WoodButton(Image& img, int x1, int y1, int x2, int y2) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x)
      img.Set(x, y, (uint8_t)(kWoodRamp + 9 + (int)(Noise(x / 3, y, 11) % 2) - (y - y1) * 3 / (y2 - y1 + 1)));
  FrameRect(img, x1, y1, x2, y2, kBlack);
  Bevel(img, x1 + 1, y1 + 1, x2 - 1, y2 - 1, false);
}

// A brass plate with screws in the corners.
void Brass(Image& img, int x1, int y1, int x2, int y2) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x)
      img.Set(x, y, (uint8_t)(kGoldRamp + 8 + (int)(Noise(x, y / 2, 5) % 3) + (y - y1) * 4 / (y2 - y1 + 1)));
  FrameRect(img, x1, y1, x2, y2, kGoldRamp + 2);
  FrameRect(img, x1 + 1, y1 + 1, x2 - 1, y2 - 1, kGoldRamp + 14);
  for (int sx : {x1 + 4, x2 - 4})
    for (int sy : {y1 + 4, y2 - 4}) {
      FilledCircle(img, sx, sy, 2, kGoldRamp + 3);
      img.Set(sx - 1, sy, kGoldRamp + 12);
      img.Set(sx + 1, sy, kGoldRamp + 12);
    }
}

// A filled triangle: tip at (tx, ty), base centred at (bx, by), half width h.
void Wedge(Image& img, int tx, int ty, int bx, int by, int h, uint8_t c) {
  const int steps = std::max(std::abs(bx - tx), std::abs(by - ty));
  for (int i = 0; i <= steps; ++i) {
    const int cx = tx + (bx - tx) * i / std::max(1, steps), cy = ty + (by - ty) * i / std::max(1, steps);
    const int half = h * i / std::max(1, steps);
    if (bx == tx) FillRect(img, cx - half, cy, cx + half, cy, c);
    else FillRect(img, cx, cy - half, cx, cy + half, c);
  }
}

// The six button icons, each in a 40 x 40 button at (x, y).
void Hammer(Image& img, int x, int y) {
  RoundLine(img, x + 12, y + 32, x + 26, y + 14, kBlack, 3);
  RoundLine(img, x + 12, y + 32, x + 26, y + 14, kWoodRamp + 13, 2);
  RoundLine(img, x + 19, y + 8, x + 33, y + 19, kBlack, 5);
  RoundLine(img, x + 19, y + 8, x + 33, y + 19, kGreyRamp + 9, 4);
  RoundLine(img, x + 20, y + 8, x + 32, y + 17, kGreyRamp + 13, 1);
}

void Scroll(Image& img, int x, int y) {
  FillRect(img, x + 10, y + 9, x + 30, y + 31, kParchmentRamp + 13);
  FrameRect(img, x + 10, y + 9, x + 30, y + 31, kWoodRamp + 3);
  for (int r = 0; r < 5; ++r) FillRect(img, x + 13, y + 13 + r * 4, x + 27 - (r % 2) * 5, y + 13 + r * 4, kInk);
  FillRect(img, x + 8, y + 6, x + 32, y + 9, kWoodRamp + 5);
  FillRect(img, x + 8, y + 31, x + 32, y + 34, kWoodRamp + 5);
}

void Pick(Image& img, int x, int y) {
  RoundLine(img, x + 11, y + 33, x + 27, y + 12, kBlack, 3);
  RoundLine(img, x + 11, y + 33, x + 27, y + 12, kWoodRamp + 13, 2);
  for (int i = -12; i <= 12; ++i) {
    const int px = x + 27 + i, py = y + 12 + i * i / 14 - 4;
    FilledCircle(img, px, py, i * i > 100 ? 1 : 2, kBlack);
  }
  for (int i = -11; i <= 11; ++i) img.Set(x + 27 + i, y + 12 + i * i / 14 - 4, kGreyRamp + 12);
}

void Help(Image& img, int x, int y) {
  FilledCircle(img, x + 20, y + 20, 12, kBlack);
  FilledCircle(img, x + 20, y + 20, 11, kBlue);
  DrawTextCentred(img, x + 8, y + 8, x + 32, y + 32, "?", 3, kWhite, kBlack);
}

void Tick(Image& img, int x, int y) {
  RoundLine(img, x + 9, y + 21, x + 17, y + 30, kBlack, 4);
  RoundLine(img, x + 17, y + 30, x + 32, y + 9, kBlack, 4);
  RoundLine(img, x + 9, y + 21, x + 17, y + 30, kGreen, 2);
  RoundLine(img, x + 17, y + 30, x + 32, y + 9, kGreen, 2);
}

void Door(Image& img, int x, int y) {
  FillRect(img, x + 11, y + 7, x + 29, y + 33, kBlack);
  FillRect(img, x + 13, y + 9, x + 27, y + 33, kWoodRamp + 4);
  for (int k = 0; k < 3; ++k) FillRect(img, x + 14 + k * 5, y + 10, x + 14 + k * 5, y + 32, kWoodRamp + 2);
  FilledCircle(img, x + 24, y + 22, 1, kGold);
  RoundLine(img, x + 30, y + 20, x + 36, y + 20, kRed, 1);
  Wedge(img, x + 38, y + 20, x + 34, y + 20, 3, kRed);
}

}  // namespace

bool DrawConstructionOffice(Image& img) {
  const int w = img.width, h = img.height;
  Planks(img, 0, 0, w - 1, h - 1);
  WoodFrame(img, 0, 0, w - 1, h - 1, 8);
  // The title bar (CheckTitleBar writes into 200, 11 to 442, 27).
  FillRect(img, 194, 5, 448, 33, kWoodRamp + 4);
  FrameRect(img, 194, 5, 448, 33, kBlack);
  FrameRect(img, 198, 9, 444, 29, kGold);
  FillRect(img, 200, 11, 442, 27, kTitleBar);
  DrawText(img, 20, 44, "MASTER BUILDER", 2, kParchmentRamp + 14);
  DrawText(img, 21, 45, "MASTER BUILDER", 2, kWoodRamp + 1);

  // The building's picture in a gilded frame.
  for (int i = 0; i < 8; ++i) FrameRect(img, 56 + i, 67 + i, 295 - i, 282 - i, (uint8_t)(kGoldRamp + 4 + i));
  FrameRect(img, 56, 67, 295, 282, kBlack);
  FrameRect(img, 63, 74, 288, 275, kBlack);
  FillRect(img, 64, 75, 287, 274, kBlack);

  // The ledger of the seven values: a label strip and a dark panel per row.
  ParchmentFill(img, 58, 290, 293, 463, 43);
  FrameRect(img, 58, 290, 293, 463, kWoodRamp + 2);
  FrameRect(img, 57, 289, 294, 464, kBlack);
  for (int i = 0; i < 7; ++i) {
    const int y = 296 + 24 * i;
    Inset(img, 180, y, 287, y + 19, kWoodRamp + 3);
    for (int x = 182; x < 286; x += 7) img.Set(x, y + 17, kWoodRamp + 5);  // the panel's grain
    FillRect(img, 64, y + 20, 175, y + 20, kParchmentRamp + 6);
  }

  // The parchment of the building's text, with its shadow and curled top.
  FillRect(img, 353, 78, 578, 339, kWoodRamp + 1);
  ParchmentFill(img, 349, 74, 574, 335, 4343);
  for (int x = 349; x <= 574; ++x) {
    img.Set(x, 74, kParchmentRamp + 6);
    img.Set(x, 335, kParchmentRamp + 4);
  }
  FillRect(img, 345, 68, 578, 73, kWoodRamp + 11);  // the roll at the top
  FrameRect(img, 345, 68, 578, 73, kWoodRamp + 3);
  // The slider's groove and its arrows.
  Inset(img, 583, 103, 596, 306, kWoodRamp + 2);
  for (int y : {83, 309}) {
    WoodButton(img, 583, y, 596, y + 17);
    if (y == 83) Wedge(img, 589, y + 4, 589, y + 12, 4, kBlack);
    else Wedge(img, 589, y + 13, 589, y + 5, 4, kBlack);
  }

  // The title plaque between the stepping arrows.
  Brass(img, 383, 340, 534, 365);
  FillRect(img, 387, 344, 530, 361, kGoldRamp + 11);
  WoodButton(img, 349, 340, 380, 365);
  Wedge(img, 355, 352, 373, 352, 8, kBlack);
  Wedge(img, 356, 352, 371, 352, 6, kGold);
  WoodButton(img, 537, 340, 568, 365);
  Wedge(img, 562, 352, 544, 352, 8, kBlack);
  Wedge(img, 561, 352, 546, 352, 6, kGold);

  // The six buttons: build, sites, demolition, help, tick, door.
  void (*const icons[6])(Image&, int, int) = {Hammer, Scroll, Pick, Help, Tick, Door};
  for (int i = 0; i < 6; ++i) {
    const int x = 340 + 46 * i, y = 392;
    WoodButton(img, x, y, x + 39, y + 39);
    icons[i](img, x, y);
  }
  // A shelf with rolled plans under the buttons.
  FillRect(img, 336, 446, 616, 451, kWoodRamp + 10);
  FrameRect(img, 336, 446, 616, 451, kWoodRamp + 2);
  for (int k = 0; k < 7; ++k) {
    const int cx = 352 + k * 38;
    for (int r = 0; r < 3; ++r) {
      FilledCircle(img, cx + r * 9, 440, 4, (uint8_t)(kParchmentRamp + 10 + r));
      FilledCircle(img, cx + r * 9, 440, 1, kParchmentRamp + 4);
    }
  }
  // A set square and a plumb line on the wall beside the frame.
  for (int i = 0; i < 50; ++i) FillRect(img, 305, 100 + i, 305 + i * 2 / 5, 100 + i, kGoldRamp + 9);
  RoundLine(img, 320, 80, 320, 200, kGreyRamp + 4, 0);
  FilledCircle(img, 320, 205, 5, kGreyRamp + 8);
  FilledCircle(img, 319, 203, 1, kGreyRamp + 14);
  return true;
}

}  // namespace datakit
