// The sign-up screen's picture (32): a scribe's desk under a window. On the
// desk lies a large parchment on which the form's labels and boxes stand
// (x 20..336, y 35..460); the right strip (from x 336) keeps the window, the
// inkpot and the quill where the help boxes open; a dark band carries the
// title at (200, 11)-(442, 27); a wooden rail at y 461..479 holds the buttons.
#include <algorithm>
#include <cmath>

#include "art.h"

namespace datakit {
namespace {

constexpr uint8_t kSlate = 176, kGreenRamp = 96, kForest = 192, kBlueRamp = 112;

uint32_t Hash(int x, int y, uint32_t seed) {
  uint32_t h = (uint32_t)x * 374761393u + (uint32_t)y * 668265263u + seed * 2246822519u;
  h = (h ^ (h >> 13)) * 1274126177u;
  return h ^ (h >> 16);
}

void Wall(Image& img) {
  for (int y = 0; y < 300; ++y)
    for (int x = 0; x < 640; ++x) {
      const int row = y / 24, off = row % 2 ? 21 : 0;
      const bool joint = y % 24 == 0 || (x + off) % 42 == 0;
      const int shade = 4 + (int)(Hash((x + off) / 42, row, 5) % 4) + (int)(Hash(x, y, 9) % 2);
      img.Set(x, y, joint ? (uint8_t)(kSlate + 1) : (uint8_t)(kSlate + shade));
    }
}

void Window(Image& img) {  // x 392..600, y 40..236, arched
  const int x1 = 392, x2 = 600, y1 = 40, y2 = 236, cx = (x1 + x2) / 2, r = (x2 - x1) / 2;
  auto inside = [&](int x, int y, int grow) {
    const int dy = y - (y1 + r);
    return y <= y2 + grow && x >= x1 - grow && x <= x2 + grow &&
           (y >= y1 + r || (x - cx) * (x - cx) + dy * dy <= (r + grow) * (r + grow));
  };
  for (int y = y1 - 12; y <= y2 + 12; ++y)
    for (int x = x1 - 12; x <= x2 + 12; ++x)
      if (inside(x, y, 12)) img.Set(x, y, (uint8_t)(kSlate + 10 + (Hash(x / 3, y / 3, 2) % 3)));
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      if (!inside(x, y, 0)) continue;
      // Sky, far hills, a forest and a road to a town on the hill.
      uint8_t c = (uint8_t)(kBlueRamp + 14 - (y - y1) * 6 / (y2 - y1));
      const double hill = 170 + 14 * std::sin(x * 0.045) + 8 * std::sin(x * 0.11 + 1.0);
      const double near = 200 + 10 * std::sin(x * 0.03 + 2.0);
      if (y > hill) c = (uint8_t)(kGreenRamp + 9 + (Hash(x / 4, y / 4, 3) % 3));
      if (y > near) c = (uint8_t)(kForest + 5 + (Hash(x / 3, y / 3, 4) % 4));
      img.Set(x, y, c);
    }
  // Clouds and the town's towers.
  for (int i = 0; i < 3; ++i) {
    const int cx0 = 430 + i * 60, cy0 = 90 + (i % 2) * 22;
    for (int k = -2; k <= 2; ++k) FilledCircle(img, cx0 + k * 9, cy0 - (k == 0 ? 5 : 0), 9, kWhite);
  }
  for (int t = 0; t < 3; ++t) {
    const int tx = 520 + t * 14, ty = 150 - t * 6;
    FillRect(img, tx, ty, tx + 8, 176, (uint8_t)(kSlate + 8));
    for (int k = 0; k < 6; ++k) FillRect(img, tx + 4 - k * 4 / 5, ty - 8 + k, tx + 4 + k * 4 / 5, ty - 8 + k, kRed + 0);
  }
  // Mullions and the sill.
  FillRect(img, cx - 3, y1, cx + 3, y2, kWoodRamp + 3);
  FillRect(img, x1, (y1 + r + y2) / 2 - 3, x2, (y1 + r + y2) / 2 + 3, kWoodRamp + 3);
  FillRect(img, x1 - 16, y2 + 8, x2 + 16, y2 + 18, (uint8_t)(kSlate + 12));
  FrameRect(img, x1 - 16, y2 + 8, x2 + 16, y2 + 18, (uint8_t)(kSlate + 2));
}

void Desk(Image& img) {  // the desk top from y 288, its front from y 440
  for (int y = 288; y < 480; ++y)
    for (int x = 0; x < 640; ++x) {
      const int plank = (y - 288) / 30;
      const int grain = (int)(Hash(x / 11, plank * 7 + (y % 30) / 5, 8) % 3);
      uint8_t c = (uint8_t)(kWoodRamp + 6 + grain + plank % 2);
      if ((y - 288) % 30 == 0) c = kWoodRamp + 2;
      img.Set(x, y, c);
    }
  FillRect(img, 0, 284, 639, 288, kWoodRamp + 11);  // the desk's edge against the wall
}

void Parchment(Image& img) {  // x 20..336, y 35..460
  const int x1 = 20, x2 = 336, y1 = 35, y2 = 460;
  for (int y = y1 + 6; y <= y2 + 6; ++y) FillRect(img, x1 + 6, y, x2 + 6, y, kWoodRamp + 1);  // shadow
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      const int edge = std::min(std::min(x - x1, x2 - x), std::min(y - y1, y2 - y));
      int shade = 13 + (int)(Hash(x / 5, y / 5, 12) % 2) + (int)(Hash(x, y, 13) % 2);
      if (edge < 6) shade -= 6 - edge;
      img.Set(x, y, (uint8_t)(kParchmentRamp + std::max(2, std::min(15, shade))));
    }
  // Rolled ends at the top and the bottom.
  for (int k = 0; k < 7; ++k) {
    FillRect(img, x1 - 4, y1 - 4 + k, x2 + 4, y1 - 4 + k, (uint8_t)(kParchmentRamp + 6 + k));
    FillRect(img, x1 - 4, y2 - 2 + k, x2 + 4, y2 - 2 + k, (uint8_t)(kParchmentRamp + 12 - k));
  }
  // A faint ruling between the form's rows.
  for (int y = 58; y <= 218; y += 20) FillRect(img, x1 + 8, y, x2 - 8, y, (uint8_t)(kParchmentRamp + 11));
  for (int y = 358; y <= 400; y += 20) FillRect(img, x1 + 8, y, x2 - 8, y, (uint8_t)(kParchmentRamp + 11));
  // A red seal in the free space of the form.
  FilledCircle(img, 280, 266, 22, kRed);
  FilledCircle(img, 280, 266, 16, (uint8_t)(kRed + 0));
  DrawTextCentred(img, 258, 258, 302, 274, "QOE", 1, kGold, kBlack);
  DrawTextCentred(img, 40, 232, 250, 262, "Petition for a realm", 2, kInk, kTransparent);
  DrawTextCentred(img, 40, 262, 250, 300, "of the lands of Elmor", 1, kInk, kTransparent);
}

void InkAndQuill(Image& img) {
  // The inkpot, its shine and the quill standing in it.
  FilledCircle(img, 420, 332, 24, kGreyRamp + 2);
  FillRect(img, 404, 300, 436, 316, kGreyRamp + 3);
  FilledCircle(img, 412, 326, 4, kGreyRamp + 9);
  RoundLine(img, 424, 304, 500, 190, kWhite, 2);
  // The vane: barbs along the upper two thirds of the shaft.
  for (int k = 0; k < 70; ++k) {
    const int x = 500 - k * 50 / 76, y = 190 + k * 3 / 2;
    const int len = 16 - std::abs(k - 30) / 3;
    RoundLine(img, x, y, x + len, y - len / 2, k % 7 ? kLightGrey : kGrey, 0);
    RoundLine(img, x, y, x - len / 2, y - len, k % 5 ? kLightGrey : kGrey, 0);
  }
  // A stack of sealed letters and a candle.
  for (int i = 0; i < 4; ++i) {
    FillRect(img, 520 - i * 3, 410 - i * 12, 610 - i * 3, 436 - i * 12, (uint8_t)(kParchmentRamp + 10 + i));
    FrameRect(img, 520 - i * 3, 410 - i * 12, 610 - i * 3, 436 - i * 12, (uint8_t)(kParchmentRamp + 3));
    FilledCircle(img, 565 - i * 3, 423 - i * 12, 4, kRed);
  }
  FillRect(img, 360, 380, 372, 430, kParchmentRamp + 15);
  FilledCircle(img, 366, 372, 5, kOrangeRamp + 14);
  FilledCircle(img, 366, 368, 3, kGoldRamp + 15);
  FillRect(img, 352, 428, 380, 434, kGoldRamp + 6);
}

void TitleBand(Image& img) {  // (200, 11)-(442, 27)
  FillRect(img, 192, 6, 450, 32, kWoodRamp + 2);
  FrameRect(img, 192, 6, 450, 32, kGoldRamp + 8);
  FillRect(img, 200, 11, 442, 27, kTitleBar);
  FrameRect(img, 199, 10, 443, 28, kWoodRamp + 9);
}

void ButtonRail(Image& img) {  // y 461..479
  FillRect(img, 0, 461, 639, 479, kWoodRamp + 3);
  FillRect(img, 0, 461, 639, 462, kWoodRamp + 12);
  for (int x = 8; x < 640; x += 48) FilledCircle(img, x, 470, 2, kGoldRamp + 9);
}

}  // namespace

bool DrawSignupDesk(Image& img) {
  if (img.width != 640 || img.height != 480) return false;
  Wall(img);
  Window(img);
  Desk(img);
  InkAndQuill(img);
  Parchment(img);
  TitleBand(img);
  ButtonRail(img);
  return true;
}

}  // namespace datakit
