// The gods screen's pictures: the temple hall with ten niches (picture
// 1085) and the ten gods (1086..1095), each with the sign of its domain;
// and the coronation: the throne hall with its crowd (876), the carpet and
// the heralds (877, at 0, 242) and the crown's descent onto the throne in
// six steps (878..883, at 321, 212). The step pictures carry the hall
// under the crown, so each step covers the one before.
#include <algorithm>
#include <cmath>
#include <string>

#include "art.h"

namespace datakit {
namespace {

constexpr uint8_t kRed = 80, kGreenR = 96, kBlueR = 112, kPurple = 144, kOrange = 160, kSlate = 176, kForest = 192,
                  kSand = 208, kWater = 224, kRose = 240;

uint32_t Grain(int x, int y, uint32_t seed) {
  uint32_t h = (uint32_t)x * 2654435761u ^ (uint32_t)y * 40503u ^ seed * 97u;
  h ^= h >> 15;
  h *= 2246822519u;
  return h ^ (h >> 13);
}

void Disc(Image& img, int cx, int cy, int rx, int ry, uint8_t c) {
  for (int y = -ry; y <= ry; ++y)
    for (int x = -rx; x <= rx; ++x)
      if ((double)x * x / (rx * rx) + (double)y * y / (ry * ry) <= 1.0) img.Set(cx + x, cy + y, c);
}

void Tri(Image& img, int cx, int top, int half, int bottom, uint8_t c) {
  for (int y = top; y <= bottom; ++y) {
    const int w = half * (y - top) / std::max(1, bottom - top);
    FillRect(img, cx - w, y, cx + w, y, c);
  }
}

// A stone wall of ramp pens from `from` (light) with joints.
void Stone(Image& img, int x1, int y1, int x2, int y2, uint8_t ramp, int light, int ox = 0, int oy = 0) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      const int gx = x + ox, gy = y + oy;
      const int row = gy / 20, shift = (row & 1) * 18;
      const bool joint = gy % 20 == 0 || (gx + shift) % 36 == 0;
      const int v = joint ? light - 5 : light - (int)(Grain(gx / 2, gy / 2, 3) % 3);
      img.Set(x, y, (uint8_t)(ramp + std::clamp(v, 0, 15)));
    }
}

// A niche: an arched recess, its inside darker.
void Niche(Image& img, int x1, int y1, int x2, int y2, uint8_t inside) {
  const int cx = (x1 + x2) / 2, r = (x2 - x1) / 2;
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      const int dy = y - (y1 + r);
      if (y < y1 + r && (x - cx) * (x - cx) + dy * dy > r * r) continue;
      const bool rim = x <= x1 + 2 || x >= x2 - 2 || y >= y2 - 2 ||
                       (y < y1 + r && (x - cx) * (x - cx) + dy * dy > (r - 3) * (r - 3));
      img.Set(x, y, rim ? (uint8_t)(kDarkGold) : inside);
    }
}

// ---- the ten gods ---------------------------------------------------------

const char* const kDomains[kGodPictures] = {"WAR",   "PEACE", "FECUNDITY",   "FIRE",      "WATER",
                                            "EARTH", "AIR",   "AGRICULTURE", "HUSBANDRY", "MINING"};
// The colour of each god's niche.
const uint8_t kNicheRamp[kGodPictures] = {kRed, kBlueR, kRose, kOrange, kWater, kSand, kSlate, kGoldRamp, kForest, kSlate};

void Sword(Image& img, int x0, int y0, int x1, int y1) {
  RoundLine(img, x0, y0, x1, y1, kBlack, 4);
  RoundLine(img, x0, y0, x1, y1, kGreyRamp + 14, 3);
  RoundLine(img, x0, y0, x1, y1, kGreyRamp + 9, 0);
  const int mx = x0 + (x1 - x0) * 3 / 4, my = y0 + (y1 - y0) * 3 / 4;
  const double dx = x1 - x0, dy = y1 - y0, l = std::sqrt(dx * dx + dy * dy);
  const int px = (int)(-dy / l * 12), py = (int)(dx / l * 12);
  RoundLine(img, mx - px, my - py, mx + px, my + py, kGold, 2);
  RoundLine(img, mx, my, x1, y1, kWoodRamp + 4, 2);
}

void Person(Image& img, int cx, int top, int size, uint8_t robe) {
  Tri(img, cx, top + size / 3, size / 2, top + size * 3 / 2, robe);
  Disc(img, cx, top + size / 5, size / 5, size / 5, kSand + 10);
  FilledCircle(img, cx - size / 14, top + size / 5 - 1, 1, kBlack);
  FilledCircle(img, cx + size / 14, top + size / 5 - 1, 1, kBlack);
}

void DrawGodSign(Image& img, int god) {
  const int cx = img.width / 2, cy = img.height / 2 - 10;
  switch (god) {
    case 0:  // war: shield and two crossed swords
      Sword(img, cx - 45, cy + 45, cx + 40, cy - 50);
      Sword(img, cx + 45, cy + 45, cx - 40, cy - 50);
      Disc(img, cx, cy + 5, 28, 34, kRed + 6);
      Disc(img, cx, cy + 5, 22, 28, kRed + 10);
      FillRect(img, cx - 3, cy - 20, cx + 3, cy + 30, kGold);
      FillRect(img, cx - 18, cy - 1, cx + 18, cy + 5, kGold);
      break;
    case 1: {  // peace: a white dove with an olive twig
      Disc(img, cx, cy, 30, 16, kWhite);
      Disc(img, cx + 28, cy - 12, 11, 10, kWhite);
      FilledCircle(img, cx + 31, cy - 14, 2, kBlack);
      Tri(img, cx + 44, cy - 14, 3, cy - 9, kGold);
      for (int i = 0; i < 24; ++i) RoundLine(img, cx - 8 + i, cy - 8 - i * 2, cx - 4 + i, cy - 8 - i * 2, kGreyRamp + 13, 1);
      RoundLine(img, cx - 30, cy + 4, cx - 52, cy + 16, kGreyRamp + 12, 3);
      RoundLine(img, cx + 38, cy - 6, cx + 60, cy + 14, kGreenR + 5, 1);
      for (int i = 0; i < 4; ++i) Disc(img, cx + 44 + i * 5, cy + (i & 1 ? 2 : 6), 4, 2, kGreenR + 9);
      break;
    }
    case 2:  // fecundity: a mother with her child, and fruit
      Person(img, cx - 10, cy - 50, 70, kRose + 8);
      Person(img, cx + 32, cy, 34, kBlueR + 9);
      for (int i = 0; i < 3; ++i) Disc(img, cx - 40 + i * 14, cy + 56, 7, 7, (uint8_t)(kRed + 9 + i * 2));
      break;
    case 3:  // fire: a great flame on a brazier
      for (int y = 0; y < 90; ++y) {
        const double t = y / 90.0;
        const int half = (int)(34 * std::sin(3.14159 * (1 - t) * 0.6 + 0.3) * (1 - t * 0.8));
        for (int x = -half; x <= half; ++x) {
          const double in = half ? std::abs((double)x) / half : 0;
          const int heat = (int)(15 - in * 10 - t * 5);
          img.Set(cx + x + (int)(std::sin(t * 6) * 4), cy + 40 - y,
                  in < 0.35 && t < 0.5 ? (uint8_t)(kGoldRamp + 14) : (uint8_t)(kOrange + std::clamp(heat, 3, 15)));
        }
      }
      FillRect(img, cx - 36, cy + 40, cx + 36, cy + 48, kGreyRamp + 5);
      Tri(img, cx, cy + 48, 18, cy + 64, kGreyRamp + 4);
      break;
    case 4:  // water: waves and a fish
      for (int k = 0; k < 4; ++k)
        for (int x = 8; x < img.width - 8; ++x) {
          const int y = cy + 10 + k * 14 + (int)(std::sin((x + k * 9) / 7.0) * 4);
          FillRect(img, x, y, x, y + 3, (uint8_t)(kWater + 13 - k * 2));
        }
      Disc(img, cx, cy - 28, 26, 12, kBlueR + 10);
      Tri(img, cx - 26, cy - 28, 12, cy - 28, kBlueR + 10);
      for (int y = -12; y <= 12; ++y) FillRect(img, cx - 40, cy - 28 + y, cx - 40 + (12 - std::abs(y)), cy - 28 + y, kBlueR + 8);
      FilledCircle(img, cx + 14, cy - 31, 2, kBlack);
      break;
    case 5:  // earth: a mountain of rock with boulders
      Tri(img, cx, cy - 50, 55, cy + 40, kSand + 4);
      Tri(img, cx, cy - 50, 18, cy - 28, kWhite);
      Tri(img, cx + 30, cy - 10, 30, cy + 40, kSand + 2);
      for (int i = 0; i < 4; ++i) Disc(img, cx - 40 + i * 26, cy + 50, 12, 9, (uint8_t)(kWoodRamp + 4 + i));
      break;
    case 6:  // air: clouds and wind
      Disc(img, cx - 20, cy - 30, 24, 14, kWhite);
      Disc(img, cx + 10, cy - 36, 22, 16, kWhite);
      Disc(img, cx + 30, cy - 26, 18, 12, kWhite);
      for (int k = 0; k < 3; ++k) {
        const int y = cy + k * 20;
        RoundLine(img, cx - 50, y, cx + 30, y, kBlueR + 6, 1);
        for (int a = 0; a < 18; ++a) {
          const double ang = a / 18.0 * 4.7;
          img.Set(cx + 30 + (int)(std::sin(ang) * 9), y - 9 + (int)(std::cos(ang) * 9), kBlueR + 6);
          img.Set(cx + 31 + (int)(std::sin(ang) * 9), y - 9 + (int)(std::cos(ang) * 9), kBlueR + 6);
        }
      }
      break;
    case 7:  // agriculture: a sheaf of corn and a sickle
      for (int i = -4; i <= 4; ++i) {
        RoundLine(img, cx + i * 3, cy + 50, cx + i * 9, cy - 30, kGoldRamp + 8, 1);
        Disc(img, cx + i * 9, cy - 40, 4, 12, kGoldRamp + 12);
      }
      FillRect(img, cx - 14, cy + 10, cx + 14, cy + 16, kWoodRamp + 4);
      for (int a = 0; a < 40; ++a) {
        const double ang = 3.4 + a / 40.0 * 2.6;
        RoundLine(img, cx - 30 + (int)(std::cos(ang) * 22), cy + 30 + (int)(std::sin(ang) * 22),
                  cx - 30 + (int)(std::cos(ang) * 22), cy + 30 + (int)(std::sin(ang) * 22), kGreyRamp + 13, 1);
      }
      RoundLine(img, cx - 52, cy + 30, cx - 52, cy + 56, kWoodRamp + 6, 2);
      break;
    case 8:  // animal husbandry: a cow on the meadow
      FillRect(img, 8, cy + 44, img.width - 9, cy + 60, kForest + 8);
      Disc(img, cx, cy + 5, 38, 20, kWhite);
      Disc(img, cx - 10, cy, 10, 8, kBlack);
      Disc(img, cx + 16, cy + 10, 8, 6, kBlack);
      Disc(img, cx + 42, cy - 10, 12, 10, kWhite);
      Disc(img, cx + 48, cy - 4, 7, 5, kRose + 10);
      FilledCircle(img, cx + 40, cy - 14, 2, kBlack);
      RoundLine(img, cx + 34, cy - 20, cx + 30, cy - 28, kSand + 12, 1);
      RoundLine(img, cx + 48, cy - 20, cx + 52, cy - 28, kSand + 12, 1);
      for (int lx : {-28, -14, 14, 28}) FillRect(img, cx + lx - 3, cy + 20, cx + lx + 3, cy + 44, kWhite);
      Disc(img, cx - 4, cy + 24, 7, 4, kRose + 11);
      break;
    case 9:  // mining: pick and ore in the rock
      Disc(img, cx, cy + 30, 50, 30, kGreyRamp + 6);
      for (int i = 0; i < 5; ++i) Disc(img, cx - 30 + i * 15, cy + 24 + (i & 1) * 12, 5, 4, i & 1 ? (uint8_t)(kGoldRamp + 13) : (uint8_t)(kPurple + 11));
      RoundLine(img, cx - 30, cy + 10, cx + 30, cy - 50, kWoodRamp + 8, 3);
      RoundLine(img, cx + 30, cy - 50, cx + 2, cy - 66, kGreyRamp + 11, 3);
      RoundLine(img, cx + 30, cy - 50, cx + 56, cy - 30, kGreyRamp + 11, 3);
      break;
  }
}

// ---- the throne hall ---------------------------------------------------------

constexpr int kThroneX = 361;  // centre of the throne
constexpr int kThroneTop = 290, kSeat = 350, kFloor = 400;

// The hall at (ox, oy) of picture 876: light wall (the congratulation is
// typed over it), pillars, banners, the throne and the crowd; with the
// carpet and the heralds when carpet is set.
void Hall(Image& img, int ox, int oy, bool carpet) {
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x) {
      const int gx = x + ox, gy = y + oy;
      uint8_t c;
      if (gy < kFloor) {
        const int row = gy / 24, shift = (row & 1) * 20;
        const bool joint = gy % 24 == 0 || (gx + shift) % 40 == 0;
        c = (uint8_t)(kParchmentRamp + (joint ? 9 : 13 - (int)(Grain(gx / 3, gy / 3, 8) % 2)));
        if (gx % 160 < 26 && gx % 160 > 4) c = (uint8_t)(kParchmentRamp + 10 + (gx % 160 < 10 ? 3 : 0));  // pillars
        if (gy > kFloor - 10) c = kWoodRamp + 3;
      } else {
        const int tile = ((gx / 32) + (gy / 16)) & 1;
        c = (uint8_t)(tile ? kGreyRamp + 9 : kGreyRamp + 6);
      }
      img.Set(x, y, c);
    }
  auto at = [&](int gx, int gy, uint8_t c) { img.Set(gx - ox, gy - oy, c); };
  auto rect = [&](int x1, int y1, int x2, int y2, uint8_t c) {
    for (int y = y1; y <= y2; ++y)
      for (int x = x1; x <= x2; ++x) at(x, y, c);
  };
  // Banners beside the throne.
  for (int bx : {kThroneX - 120, kThroneX + 96})
    for (int y = 150; y < 280; ++y) {
      const int w = y < 260 ? 24 : 24 - (y - 260);
      for (int x = 0; x < w; ++x) at(bx + x + (24 - w) / 2, y, (uint8_t)(kRed + 7 + (x == 0 || x == 23 ? 4 : 0)));
    }
  // The dais and the throne.
  rect(kThroneX - 90, kFloor - 16, kThroneX + 90, kFloor + 6, kGreyRamp + 11);
  rect(kThroneX - 34, kThroneTop, kThroneX + 34, kSeat, kWoodRamp + 5);
  rect(kThroneX - 26, kThroneTop + 8, kThroneX + 26, kSeat, kRed + 6);
  rect(kThroneX - 44, kSeat, kThroneX + 44, kSeat + 10, kWoodRamp + 8);
  rect(kThroneX - 40, kSeat + 10, kThroneX - 32, kFloor - 16, kWoodRamp + 4);
  rect(kThroneX + 32, kSeat + 10, kThroneX + 40, kFloor - 16, kWoodRamp + 4);
  rect(kThroneX - 36, kThroneTop - 4, kThroneX + 36, kThroneTop + 2, kGold);
  if (carpet) {
    for (int gy = kFloor + 6; gy < 480; ++gy) {
      const int half = 30 + (gy - kFloor) * 3 / 4;
      for (int gx = kThroneX - half; gx <= kThroneX + half; ++gx)
        at(gx, gy, std::abs(gx - kThroneX) > half - 4 ? (uint8_t)kGold : (uint8_t)(kRed + 8));
    }
    // Two heralds with trumpets beside the dais.
    for (int side : {-1, 1}) {
      const int hx = kThroneX + side * 130;
      for (int y = 0; y < 60; ++y) {
        const int w = 6 + y / 4;
        for (int x = -w; x <= w; ++x) at(hx + x, 330 + y, (uint8_t)(kBlueR + 8));
      }
      for (int y = -8; y <= 8; ++y)
        for (int x = -8; x <= 8; ++x)
          if (x * x + y * y <= 64) at(hx + x, 322 + y, (uint8_t)(kSand + 10));
      for (int k = 0; k < 40; ++k) at(hx + side * (6 + k), 318 - k / 3, kGold), at(hx + side * (6 + k), 319 - k / 3, kGold);
    }
  }
  // The crowd at both sides, heads and shoulders in many colours.
  static const uint8_t kRobes[] = {kRed + 8, kBlueR + 8, kGreenR + 7, kPurple + 8, kOrange + 9, kSlate + 6, kForest + 9};
  int n = 0;
  for (int row = 0; row < 3; ++row)
    for (int gx = 14 + row * 11; gx < 640; gx += 34, ++n) {
      if (gx > kThroneX - 110 && gx < kThroneX + 110) continue;
      const int gy = 380 + row * 34;
      const uint8_t robe = kRobes[(n * 5 + row) % 7];
      for (int y = 0; y < 40; ++y)
        for (int x = -14; x <= 14; ++x)
          if (std::abs(x) <= 8 + y / 2) at(gx + x, gy + y, robe);
      for (int y = -9; y <= 9; ++y)
        for (int x = -8; x <= 8; ++x)
          if (x * x * 81 + y * y * 64 <= 64 * 81) at(gx + x, gy - 6 + y, (uint8_t)(kSand + 8 + (n % 3)));
      for (int x = -8; x <= 8; ++x) at(gx + x, gy - 15, (uint8_t)(kWoodRamp + 2 + n % 4));
    }
}

void Crown(Image& img, int cx, int top) {
  const int w = 20;
  FillRect(img, cx - w, top + 14, cx + w, top + 24, kGoldRamp + 12);
  for (int k = -2; k <= 2; ++k) {
    Tri(img, cx + k * 9, top, 5, top + 14, kGoldRamp + 13);
    FilledCircle(img, cx + k * 9, top, 2, kRed + 12);
  }
  FilledCircle(img, cx, top + 19, 3, kBlueR + 12);
  FilledCircle(img, cx - 12, top + 19, 2, kRed + 11);
  FilledCircle(img, cx + 12, top + 19, 2, kGreenR + 11);
  FrameRect(img, cx - w, top + 14, cx + w, top + 24, kDarkGold);
}

}  // namespace

bool DrawGod(Image& img, int god, std::string* err) {
  if (god < 0 || god >= kGodPictures) {
    *err = "god 0..9";
    return false;
  }
  const uint8_t ramp = kNicheRamp[god];
  FillRect(img, 0, 0, img.width - 1, img.height - 1, kWoodRamp + 3);
  Niche(img, 4, 4, img.width - 5, img.height - 26, (uint8_t)(ramp + 4));
  for (int y = 8; y < img.height - 30; ++y)
    for (int x = 8; x < img.width - 8; ++x)
      if (img.Get(x, y) == ramp + 4 && (Grain(x, y, 4) % 7) == 0) img.Set(x, y, (uint8_t)(ramp + 3));
  DrawGodSign(img, god);
  FillRect(img, 0, img.height - 22, img.width - 1, img.height - 1, kDarkGold);
  FrameRect(img, 0, 0, img.width - 1, img.height - 1, kBlack);
  const int scale = TextWidth(kDomains[god], 2) <= img.width - 8 ? 2 : 1;
  DrawTextCentred(img, 2, img.height - 21, img.width - 3, img.height - 2, kDomains[god], scale, kWhite, kBlack);
  return true;
}

bool DrawTemple(Image& img) {
  Stone(img, 0, 0, img.width - 1, img.height - 1, kSlate, 8);
  // The heading plate.
  FillRect(img, 200, 6, 440, 36, kDarkGold);
  FillRect(img, 204, 9, 436, 33, kParchment);
  DrawTextCentred(img, 204, 9, 436, 33, "THE GODS", 2, kInk, kTransparent);
  // Ten niches, five on each side, each with its god in small.
  for (int g = 0; g < kGodPictures; ++g) {
    const int x1 = g < 5 ? 16 : 524, y1 = 48 + (g % 5) * 80;
    Image god(140, 170, kBlack);
    std::string err;
    DrawGod(god, g, &err);
    // The picture without its caption, made smaller; the caption anew below.
    for (int y = 0; y < 56; ++y)
      for (int x = 0; x < 100; ++x) img.Set(x1 + x, y1 + y, god.Get(x * 140 / 100, y * 148 / 56));
    FillRect(img, x1, y1 + 56, x1 + 99, y1 + 69, kDarkGold);
    DrawTextCentred(img, x1, y1 + 56, x1 + 99, y1 + 69, kDomains[g], 1, kWhite, kBlack);
    FrameRect(img, x1 - 2, y1 - 2, x1 + 101, y1 + 71, kGold);
    FrameRect(img, x1 - 3, y1 - 3, x1 + 102, y1 + 72, kBlack);
  }
  // The altar niche where the chosen god appears (250, 44, 140 x 170) and
  // the altar under it.
  Niche(img, 244, 40, 395, 218, kSlate + 3);
  FillRect(img, 236, 214, 404, 220, kGreyRamp + 12);
  // The description (150, 222 .. 470, 322), its arrows and slider, the
  // name's caption and field, and the three buttons.
  FillRect(img, 146, 219, 494, 326, kWoodRamp + 4);
  FrameRect(img, 146, 219, 494, 326, kBlack);
  FillRect(img, 150, 222, 470, 322, kParchment);
  FillRect(img, 475, 244, 488, 300, kGreyRamp + 6);
  FillRect(img, 146, 328, 494, 370, kWoodRamp + 4);
  FrameRect(img, 146, 328, 494, 370, kBlack);
  FillRect(img, 150, 330, 470, 346, kParchmentRamp + 12);
  FillRect(img, 150, 348, 470, 364, kGreyRamp + 6);
  struct Btn {
    int x1, y1, x2, y2;
    const char* caption;
  };
  for (const Btn& b : {Btn{150, 400, 220, 424, "INFO"}, Btn{285, 400, 355, 424, "OK"}, Btn{400, 400, 470, 424, "EXIT"}}) {
    FillRect(img, b.x1, b.y1, b.x2, b.y2, kWoodRamp + 9);
    FrameRect(img, b.x1 - 1, b.y1 - 1, b.x2 + 1, b.y2 + 1, kBlack);
    Bevel(img, b.x1, b.y1, b.x2, b.y2, false);
    DrawTextCentred(img, b.x1 + 1, b.y1 + 1, b.x2 - 1, b.y2 - 1, b.caption, 2, kWhite, kBlack);
  }
  // The title bar.
  FillRect(img, 154, 452, 486, 476, kWoodRamp + 6);
  FrameRect(img, 154, 452, 486, 476, kBlack);
  FillRect(img, 160, 456, 480, 472, kTitleBar);
  return true;
}

bool DrawThroneHall(Image& img) {
  Hall(img, 0, 0, false);
  return true;
}

bool DrawCoronationCarpet(Image& img) {
  Hall(img, 0, 242, true);
  return true;
}

bool DrawCrownStep(Image& img, int step, std::string* err) {
  if (step < 0 || step > 5) {
    *err = "crown step 0..5";
    return false;
  }
  Hall(img, 321, 212, step > 0);  // the carpet lies from the second step
  Crown(img, kThroneX - 321, 4 + step * 10);
  return true;
}

}  // namespace datakit
