// The market's pictures of gold (341..343, 111 x 76, at 512, 307 of the
// market screen): a few coins, a heap of coins, a full chest, each on a
// dark wooden board so the treasury's number area beside them stays plain.
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

}  // namespace

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
