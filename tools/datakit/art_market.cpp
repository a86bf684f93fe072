// The market's pictures: the market hall (108) and its pictures of gold
// (341..343, 111 x 76, at 512, 307 of the market screen): a few coins, a heap
// of coins, a full chest, each on a dark wooden board so the treasury's
// number area beside them stays plain.
#include <algorithm>
#include <string>

#include "art.h"

namespace datakit {
namespace {

uint32_t Grain(int x, int y) {
  uint32_t h = (uint32_t)x * 2654435761u ^ (uint32_t)y * 40503u;
  return (h ^ (h >> 15)) * 2246822519u >> 28;
}

// A dark wooden board with a light rim.
void Board(Image& img) {
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x)
      img.Set(x, y, (uint8_t)(kWoodRamp + 2 + ((y / 9) % 2) + (Grain(x / 6, y) % 3 == 0 ? 1 : 0)));
  FrameRect(img, 0, 0, img.width - 1, img.height - 1, kWoodRamp + 9);
  FrameRect(img, 1, 1, img.width - 2, img.height - 2, kWoodRamp);
}

// One coin seen at a slant: a flat ellipse with a dark rim, a light top and
// a stamped mark.
void Coin(Image& img, int cx, int cy, int r) {
  const int ry = std::max(2, r * 3 / 5);
  for (int y = cy - ry - 2; y <= cy + ry + 2; ++y)
    for (int x = cx - r - 1; x <= cx + r + 1; ++x) {
      const int dx = x - cx, dy = y - cy;
      const long e = (long)dx * dx * ry * ry + (long)dy * dy * r * r, rr = (long)r * r * ry * ry;
      const int dy2 = y - cy - 2;  // the coin's edge below its face
      const long e2 = (long)dx * dx * ry * ry + (long)dy2 * dy2 * r * r;
      if (e2 <= rr && e > rr) img.Set(x, y, kGoldRamp + 3);
      if (e <= rr) {
        const bool rim = e * 10 > rr * 7;
        img.Set(x, y, rim ? (uint8_t)(kGoldRamp + 6) : (uint8_t)(kGoldRamp + 12 - (dy + ry) * 4 / (2 * ry + 1)));
      }
    }
  img.Set(cx - r / 3, cy - ry / 3, kGoldRamp + 15);
  img.Set(cx - r / 3 + 1, cy - ry / 3, kGoldRamp + 15);
  FrameRect(img, cx - 1, cy - 1, cx + 1, cy, kGoldRamp + 7);
}

void FewCoins(Image& img) {
  static const int kCoins[][3] = {{34, 50, 11}, {60, 56, 11}, {79, 44, 10}, {48, 36, 10}, {70, 30, 9}};
  for (const auto& c : kCoins) Coin(img, c[0], c[1], c[2]);
}

void HeapOfCoins(Image& img) {
  // Rows of coins from the bottom, each row narrower: a heap.
  for (int row = 0; row < 7; ++row) {
    const int y = 64 - row * 7, half = 44 - row * 6;
    for (int x = 55 - half; x <= 55 + half; x += 11) Coin(img, x + (row % 2) * 5, y - (x * 7 % 3), 7);
  }
}

void FullChest(Image& img) {
  // The open lid behind, the chest body, coins heaped above its rim.
  FillRect(img, 18, 8, 92, 30, kWoodRamp + 6);
  FrameRect(img, 18, 8, 92, 30, kWoodRamp);
  FillRect(img, 20, 10, 90, 13, kWoodRamp + 9);
  for (int row = 0; row < 3; ++row)
    for (int x = 22; x <= 88; x += 9) Coin(img, x + (row % 2) * 4, 36 - row * 5, 6);
  FillRect(img, 14, 40, 96, 70, kWoodRamp + 7);
  for (int y = 44; y < 70; y += 8) FillRect(img, 15, y, 95, y, kWoodRamp + 4);
  FrameRect(img, 14, 40, 96, 70, kWoodRamp);
  // Iron bands and the lock.
  for (int x : {22, 86}) FillRect(img, x, 40, x + 3, 70, kGreyRamp + 5);
  FillRect(img, 48, 46, 62, 58, kGold);
  FrameRect(img, 48, 46, 62, 58, kDarkGold);
  FillRect(img, 54, 50, 56, 55, kBlack);
  for (int x = 24; x <= 86; x += 10) Coin(img, x, 40, 5);
}

// Planks of a wall or a counter in the wood ramp from shade up.
void Planks(Image& img, int x1, int y1, int x2, int y2, int shade, int plank) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      const bool seam = (y - y1) % plank == 0;
      img.Set(x, y, seam ? (uint8_t)(kWoodRamp + shade - 2)
                         : (uint8_t)(kWoodRamp + shade + (Grain(x / 7, y) % 4 == 0 ? 1 : 0) - ((y - y1) % plank == 1)));
    }
}

// A plain parchment panel (a faint grain only, so texts on it stay legible)
// in a dark frame.
void Plate(Image& img, int x1, int y1, int x2, int y2) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) img.Set(x, y, (uint8_t)(kParchmentRamp + 13 + (Grain(x, y) % 7 == 0 ? 1 : 0)));
  FrameRect(img, x1 - 1, y1 - 1, x2 + 1, y2 + 1, kWoodRamp + 1);
}

// A well for a list or picture: dark, framed in gold.
void Well(Image& img, int x1, int y1, int x2, int y2) {
  FillRect(img, x1, y1, x2, y2, kBlack);
  FrameRect(img, x1 - 1, y1 - 1, x2 + 1, y2 + 1, kDarkGold);
  FrameRect(img, x1 - 2, y1 - 2, x2 + 2, y2 + 2, kWoodRamp);
}

// A wooden button with its caption.
void Knob(Image& img, int x1, int y1, int x2, int y2, const char* caption) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) img.Set(x, y, (uint8_t)(kWoodRamp + 10 + (Grain(x / 3, y) % 5 == 0 ? 1 : 0)));
  Bevel(img, x1, y1, x2, y2, false);
  FrameRect(img, x1 - 1, y1 - 1, x2 + 1, y2 + 1, kBlack);
  if (caption) DrawTextCentred(img, x1, y1, x2, y2, caption, 1, kInk, kTransparent);
}

// A small arrow button: dir 0 left, 1 right, 2 up, 3 down.
void Arrow(Image& img, int x1, int y1, int x2, int y2, int dir) {
  Knob(img, x1, y1, x2, y2, nullptr);
  const int cx = (x1 + x2) / 2, cy = (y1 + y2) / 2;
  for (int i = 0; i <= 4; ++i) {
    const int a = dir == 0 || dir == 2 ? i : 4 - i;  // distance from the tip
    if (dir < 2) FillRect(img, cx - 2 + i, cy - a, cx - 2 + i, cy + a, kInk);
    else FillRect(img, cx - a, cy - 2 + i, cx + a, cy - 2 + i, kInk);
  }
}

// A slider's track with its two arrows.
void Track(Image& img, int x1, int up, int y1, int y2, int down) {
  Arrow(img, x1, up, x1 + 15, y1 - 3, 2);
  FillRect(img, x1, y1, x1 + 15, y2, kGreyRamp + 5);
  FrameRect(img, x1 - 1, y1 - 1, x1 + 16, y2 + 1, kBlack);
  Arrow(img, x1, y2 + 3, x1 + 15, down, 3);
}

// A number row: minus, the box, plus.
void NumberRow(Image& img, int minus, int box1, int box2, int plus, int y1, int y2) {
  const int w = box1 - 4 - minus;  // the buttons' width less one
  Arrow(img, minus, y1, minus + w, y2, 0);
  FillRect(img, box1, y1, box2, y2, kParchmentRamp + 15);
  FrameRect(img, box1 - 1, y1 - 1, box2 + 1, y2 + 1, kBlack);
  Arrow(img, plus, y1, plus + w, y2, 1);
}

}  // namespace

bool DrawMarketHall(Image& img) {
  // The hall's wall of dark planks, and the beams of its roof on top.
  Planks(img, 0, 0, 639, 479, 3, 12);
  FillRect(img, 0, 0, 639, 18, kWoodRamp + 1);
  for (int x = 0; x < 640; x += 80) FillRect(img, x, 0, x + 5, 18, kWoodRamp + 5);
  FillRect(img, 246, 3, 634, 16, kWoodRamp);  // the title bar's strip
  // The merchant's counter on the left.
  Planks(img, 8, 8, 246, 472, 8, 9);
  FrameRect(img, 8, 8, 246, 472, kWoodRamp);
  Well(img, 16, 16, 175, 135);  // the goods picture's frame
  Knob(img, 188, 16, 238, 40, "HELP");
  Knob(img, 188, 56, 238, 80, "OK");
  Knob(img, 188, 96, 238, 120, "EXIT");
  Plate(img, 14, 141, 212, 175);
  Well(img, 16, 178, 207, 421);
  Track(img, 223, 164, 181, 413, 430);
  Plate(img, 14, 432, 240, 470);
  NumberRow(img, 58, 76, 119, 123, 448, 462);
  Knob(img, 144, 446, 190, 464, "BUY");
  Knob(img, 196, 446, 240, 464, "CLEAR");
  // The board of other players' offers, top right.
  Planks(img, 260, 8, 632, 278, 5, 14);
  FrameRect(img, 260, 8, 632, 278, kWoodRamp);
  Plate(img, 266, 14, 626, 45);
  Well(img, 271, 48, 589, 221);
  Track(img, 604, 52, 71, 201, 220);
  Plate(img, 266, 226, 626, 274);
  NumberRow(img, 444, 460, 490, 493, 229, 243);
  NumberRow(img, 521, 537, 567, 570, 229, 243);
  Knob(img, 460, 252, 530, 270, "BID");
  Knob(img, 540, 252, 619, 270, "CANCEL");
  // The stall of own offers, lower right, under its striped awning.
  for (int x = 260; x <= 500; ++x)
    for (int y = 282; y <= 290; ++y) img.Set(x, y, ((x - 260) / 16) % 2 ? (uint8_t)kRed : (uint8_t)(kParchmentRamp + 14));
  Planks(img, 260, 291, 500, 472, 7, 10);
  FrameRect(img, 260, 282, 500, 472, kWoodRamp);
  Plate(img, 266, 293, 456, 303);
  Well(img, 271, 306, 452, 399);
  Track(img, 465, 310, 328, 379, 397);
  Plate(img, 266, 405, 456, 423);
  Plate(img, 266, 428, 420, 470);
  NumberRow(img, 276, 292, 323, 326, 448, 461);
  NumberRow(img, 356, 372, 403, 406, 448, 461);
  Knob(img, 424, 426, 496, 442, "SELL");
  Knob(img, 424, 446, 496, 464, "WITHDRAW");
  // The treasury: its title, the place of the picture of gold, the sum.
  Planks(img, 506, 286, 632, 472, 4, 12);
  FrameRect(img, 506, 286, 632, 472, kWoodRamp);
  Plate(img, 512, 290, 626, 303);
  Well(img, 512, 307, 622, 382);
  Plate(img, 530, 386, 604, 406);
  return true;
}

bool DrawTreasury(Image& img, int level, std::string* err) {
  if (img.width != 111 || img.height != 76) {
    *err = "treasury pictures are 111 x 76";
    return false;
  }
  Board(img);
  if (level == 0)
    FewCoins(img);
  else if (level == 1)
    HeapOfCoins(img);
  else
    FullChest(img);
  return true;
}

}  // namespace datakit
