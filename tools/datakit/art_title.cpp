// The title picture (1), the anarchy (499), credits (151) and family-tree
// (40) backgrounds and the slides of the slide show: landscapes and scenes
// drawn from a few shapes (sky, hills, trees, houses, fields, water, people,
// ships) in the shared palette. Places the program relies on: the title's
// six plaques (layouts/Titel.txt) and the waterfall under the movie at
// (432, 319); the family tree's medallions (layouts/Stammbaum.txt); the
// credits' lower half (240..479), which the program clears for its text.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <string>

#include "art.h"

namespace datakit {
namespace {

constexpr uint8_t kRedRamp = 80, kGreenRamp = 96, kBlueRamp = 112, kPurpleRamp = 144, kSlate = 176,
                  kForest = 192, kSand = 208, kWater = 224, kRose = 240;

uint32_t Noise(int x, int y, uint32_t seed) {
  uint32_t h = (uint32_t)x * 2654435761u ^ (uint32_t)y * 40503u ^ seed * 2246822519u;
  h ^= h >> 15;
  h *= 2246822519u;
  return h ^ (h >> 13);
}

// A ramp colour for t in 0..1, dithered between neighbouring steps.
uint8_t RampAt(uint8_t ramp, double t, int x, int y, int steps = 16) {
  double v = std::clamp(t, 0.0, 1.0) * (steps - 1);
  int i = (int)v;
  double frac = v - i;
  if (i < steps - 1 && (Noise(x, y, 5) % 256) / 256.0 < frac) ++i;
  return (uint8_t)(ramp + i);
}

void Tri(Image& img, int x0, int y0, int x1, int y1, int x2, int y2, uint8_t c) {
  int minx = std::min({x0, x1, x2}), maxx = std::max({x0, x1, x2});
  int miny = std::min({y0, y1, y2}), maxy = std::max({y0, y1, y2});
  for (int y = miny; y <= maxy; ++y)
    for (int x = minx; x <= maxx; ++x) {
      long d0 = (long)(x1 - x0) * (y - y0) - (long)(y1 - y0) * (x - x0);
      long d1 = (long)(x2 - x1) * (y - y1) - (long)(y2 - y1) * (x - x1);
      long d2 = (long)(x0 - x2) * (y - y2) - (long)(y0 - y2) * (x - x2);
      bool neg = d0 < 0 || d1 < 0 || d2 < 0, pos = d0 > 0 || d1 > 0 || d2 > 0;
      if (!(neg && pos)) img.Set(x, y, c);
    }
}

void Oval(Image& img, int cx, int cy, int rx, int ry, uint8_t c) {
  for (int y = -ry; y <= ry; ++y)
    for (int x = -rx; x <= rx; ++x)
      if ((double)x * x / (rx * rx) + (double)y * y / (ry * ry) <= 1.0) img.Set(cx + x, cy + y, c);
}

// ---- landscape -------------------------------------------------------------

void Sky(Image& img, int y2, uint8_t ramp, double top, double bottom) {
  for (int y = 0; y <= y2; ++y)
    for (int x = 0; x < img.width; ++x) img.Set(x, y, RampAt(ramp, top + (bottom - top) * y / std::max(1, y2), x, y));
}

void Cloud(Image& img, int cx, int cy, int w) {
  for (int i = 0; i < 5; ++i) Oval(img, cx - w / 2 + i * w / 4, cy - (i % 2) * 6, w / 4 + 4, 9 + (i % 2) * 4, kGreyRamp + 14);
  for (int i = 0; i < 4; ++i) Oval(img, cx - w / 3 + i * w / 4, cy + 4, w / 5, 5, kGreyRamp + 12);
}

// A range of hills or mountains between y base and base - height, filled
// down to the bottom of the picture.
void Hills(Image& img, int base, int height, double freq, uint32_t seed, uint8_t ramp, double light, double dark,
           bool snow = false) {
  for (int x = 0; x < img.width; ++x) {
    double h = 0.55 * std::sin(x * freq + seed) + 0.3 * std::sin(x * freq * 2.3 + seed * 1.7) +
               0.15 * std::sin(x * freq * 5.1 + seed * 0.3);
    int top = base - (int)((h + 1.0) / 2.0 * height);
    for (int y = top; y < img.height; ++y) {
      double t = light + (dark - light) * std::min(1.0, (y - top) / 120.0);
      uint8_t c = RampAt(ramp, t, x, y);
      if (snow && y - top < 10 + (int)(Noise(x / 3, 0, seed) % 6) && top < base - height * 6 / 10) c = kGreyRamp + 15;
      img.Set(x, y, c);
    }
  }
}

void Tree(Image& img, int x, int y, int size) {
  for (int i = 0; i < size / 3; ++i) img.Set(x, y - i, kWoodRamp + 3), img.Set(x + 1, y - i, kWoodRamp + 2);
  Oval(img, x, y - size / 2 - size / 4, size / 3 + 1, size / 2, kForest + 3);
  Oval(img, x - 1, y - size / 2 - size / 3, size / 4, size / 3, kForest + 7);
}

void Pine(Image& img, int x, int y, int size) {
  Tri(img, x, y - size, x - size / 3, y - size / 4, x + size / 3, y - size / 4, kForest + 2);
  Tri(img, x, y - size * 3 / 4, x - size / 3 - 2, y, x + size / 3 + 2, y, kForest + 4);
  RoundLine(img, x, y, x, y + 3, kWoodRamp + 2);
}

void Forest(Image& img, int x1, int x2, int y, uint32_t seed, int size) {
  for (int x = x1; x < x2; x += size / 2 + 1) {
    int dy = (int)(Noise(x, y, seed) % 8);
    if (Noise(x, 1, seed) % 2) Pine(img, x, y + dy, size + (int)(Noise(x, 2, seed) % 8));
    else Tree(img, x, y + dy, size + (int)(Noise(x, 3, seed) % 8));
  }
}

void House(Image& img, int x, int y, int w, int h, uint8_t roof) {
  for (int yy = y - h; yy <= y; ++yy)
    for (int xx = x; xx < x + w; ++xx) img.Set(xx, yy, (uint8_t)(kSand + 9 + (int)(Noise(xx / 3, yy / 2, 4) % 3)));
  Tri(img, x - 4, y - h, x + w + 3, y - h, x + w / 2, y - h - h * 3 / 4, roof);
  for (int yy = y - h / 2; yy <= y; ++yy)
    for (int xx = x + w / 2 - 3; xx <= x + w / 2 + 3; ++xx) img.Set(xx, yy, kWoodRamp + 2);
  if (w > 24) {
    for (int yy = y - h + 5; yy < y - h + 11; ++yy)
      for (int xx = x + 4; xx < x + 10; ++xx) img.Set(xx, yy, kGoldRamp + 10);
  }
}

void Tower(Image& img, int x, int y, int w, int h) {
  for (int yy = y - h; yy <= y; ++yy)
    for (int xx = x; xx < x + w; ++xx) {
      bool joint = (yy - y) % 9 == 0 || (xx - x + ((yy - y) / 9 % 2) * 6) % 12 == 0;
      img.Set(xx, yy, joint ? (uint8_t)(kSlate + 5) : (uint8_t)(kSlate + 10 + (int)(Noise(xx, yy, 9) % 3)));
    }
  for (int xx = x; xx < x + w; xx += 8)
    for (int yy = y - h - 7; yy < y - h; ++yy)
      for (int k = 0; k < 5; ++k) img.Set(xx + k, yy, kSlate + 11);
}

void Wall(Image& img, int x1, int x2, int y, int h) {
  Tower(img, x1, y, x2 - x1, h);
}

void Person(Image& img, int x, int y, uint8_t body, uint8_t head = kRose + 9) {
  FilledCircle(img, x, y - 17, 3, head);
  for (int yy = y - 13; yy <= y - 4; ++yy)
    for (int xx = x - 3; xx <= x + 3; ++xx) img.Set(xx, yy, body);
  RoundLine(img, x - 2, y - 4, x - 3, y, kWoodRamp + 1);
  RoundLine(img, x + 2, y - 4, x + 3, y, kWoodRamp + 1);
}

void Soldier(Image& img, int x, int y, uint8_t coat) {
  Person(img, x, y, coat);
  RoundLine(img, x + 5, y - 24, x + 5, y, kSlate + 12);  // spear
  FilledCircle(img, x + 5, y - 25, 1, kGreyRamp + 15);
  Oval(img, x - 5, y - 9, 3, 5, kRedRamp + 6);    // shield
}

void WaterArea(Image& img, int x1, int y1, int x2, int y2, uint32_t seed) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      double t = 0.45 + 0.4 * (y - y1) / std::max(1, y2 - y1);
      uint8_t c = RampAt(kWater, 1.0 - t, x, y);
      if (Noise(x / 7, y / 2, seed) % 23 == 0) c = kWater + 14;
      img.Set(x, y, c);
    }
}

void Ship(Image& img, int x, int y, int size, uint8_t sail) {
  for (int i = 0; i < size / 4; ++i) RoundLine(img, x - size / 2 + i, y + i, x + size / 2 - i, y + i, kWoodRamp + 4);
  RoundLine(img, x, y, x, y - size, kWoodRamp + 2, 1);
  Tri(img, x + 2, y - size, x + 2, y - size / 4, x + size / 2, y - size / 4, sail);
  Tri(img, x - 2, y - size + 6, x - 2, y - size / 3, x - size / 3, y - size / 3, sail);
}

void Field(Image& img, int x1, int y1, int x2, int y2, uint8_t ramp, int stripe) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      bool furrow = ((x - x1) + (y - y1) / 2) % stripe == 0;
      img.Set(x, y, (uint8_t)(ramp + (furrow ? 5 : 9 + (int)(Noise(x, y, 8) % 3))));
    }
}

void Sack(Image& img, int x, int y) {
  Oval(img, x, y - 9, 8, 10, kSand + 8);
  RoundLine(img, x - 3, y - 19, x + 3, y - 19, kWoodRamp + 3);
}

void Scroll(Image& img, int x1, int y1, int x2, int y2) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) img.Set(x, y, RampAt(kParchmentRamp, 0.9 - 0.25 * (y - y1) / (y2 - y1), x, y));
  for (int x = x1 - 6; x <= x2 + 6; ++x) {
    FilledCircle(img, x, y1, 5, kWoodRamp + 8);
    FilledCircle(img, x, y2, 5, kWoodRamp + 8);
  }
  for (int y = y1 + 24; y < y2 - 24; y += 14) RoundLine(img, x1 + 20, y, x2 - 20 - (int)(Noise(y, 0, 3) % 60), y, kInk);
}

// The slide's title on a parchment band at the bottom.
void Caption(Image& img, const std::string& text) {
  const int y1 = img.height - 40, y2 = img.height - 8;
  int w = TextWidth(text, 3) + 40;
  int x1 = (img.width - w) / 2, x2 = x1 + w;
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) img.Set(x, y, RampAt(kParchmentRamp, 0.85, x, y));
  FrameRect(img, x1, y1, x2, y2, kWoodRamp + 2);
  FrameRect(img, x1 + 1, y1 + 1, x2 - 1, y2 - 1, kWoodRamp + 6);
  DrawTextCentred(img, x1, y1, x2, y2, text, 3, kInk, kTransparent);
}

// The standard country: sky, distant mountains, green hills.
void Country(Image& img, uint32_t seed, uint8_t grass = kGreenRamp) {
  Sky(img, 260, kBlueRamp, 0.55, 0.95);
  Cloud(img, 120 + (int)(seed % 5) * 30, 60, 110);
  Cloud(img, 470 - (int)(seed % 3) * 40, 90, 90);
  Hills(img, 220, 110, 0.012, seed, kSlate, 0.55, 0.35, true);
  Hills(img, 290, 60, 0.02, seed + 3, grass, 0.55, 0.3);
}

// ---- the slides ------------------------------------------------------------

void SlideLand(Image& img) {
  Country(img, 1);
  // A river winding down to the front.
  for (int y = 250; y < img.height; ++y) {
    int cx = 320 + (int)(60 * std::sin(y / 40.0)), half = 6 + (y - 250) / 6;
    WaterArea(img, cx - half, y, cx + half, y, 7);
  }
  Forest(img, 20, 230, 330, 3, 26);
  Forest(img, 440, 620, 360, 5, 30);
  Caption(img, "THE LAND OF ELMOR");
}

void SlideTown(Image& img) {
  Country(img, 2);
  Wall(img, 100, 540, 400, 60);
  Tower(img, 90, 400, 40, 110);
  Tower(img, 510, 400, 40, 110);
  for (int i = 0; i < 7; ++i) House(img, 150 + i * 50, 330 - (i % 2) * 12, 34, 26, kRedRamp + 6 + (i % 3));
  Tower(img, 300, 300, 40, 120);
  Caption(img, "YOUR TOWN GROWS");
}

void SlideFields(Image& img) {
  Country(img, 3);
  Field(img, 0, 300, 300, 430, kGoldRamp, 7);
  Field(img, 310, 300, 639, 430, kGreenRamp, 9);
  for (int i = 0; i < 5; ++i) Person(img, 80 + i * 110, 400 - (i % 2) * 30, kWoodRamp + 8);
  House(img, 520, 290, 50, 34, kRedRamp + 7);
  Caption(img, "FIELDS AND HARVEST");
}

void SlideGranary(Image& img) {
  Country(img, 4);
  House(img, 200, 400, 240, 120, kWoodRamp + 5);  // the granary barn
  for (int i = 0; i < 8; ++i) Sack(img, 150 + i * 48, 430 - (i % 2) * 6);
  Person(img, 470, 430, kBlueRamp + 8);
  Caption(img, "THE GRANARIES");
}

void SlideWoodStone(Image& img) {
  Country(img, 5);
  Forest(img, 0, 300, 360, 9, 40);
  for (int i = 0; i < 5; ++i) RoundLine(img, 60 + i * 30, 420, 120 + i * 30, 410, kWoodRamp + 6, 4);  // logs
  for (int i = 0; i < 6; ++i) Oval(img, 400 + (i % 3) * 50, 400 - (i / 3) * 30, 24, 14, kSlate + 9 + i % 3);
  Person(img, 250, 430, kRedRamp + 7);
  Person(img, 560, 430, kGreenRamp + 5);
  Caption(img, "WOOD AND STONE");
}

void SlideResearch(Image& img) {
  Sky(img, img.height - 1, kPurpleRamp, 0.05, 0.3);
  for (int i = 0; i < 90; ++i) img.Set((int)(Noise(i, 1, 3) % 640), (int)(Noise(i, 2, 3) % 260), kGreyRamp + 15);
  Hills(img, 400, 60, 0.01, 6, kForest, 0.2, 0.05);
  Tower(img, 280, 420, 80, 220);
  RoundLine(img, 350, 190, 430, 140, kGoldRamp + 10, 3);  // the telescope
  FilledCircle(img, 520, 90, 26, kGoldRamp + 14);           // the moon
  Person(img, 330, 200, kPurpleRamp + 8);
  Caption(img, "RESEARCH");
}

void SlideBuilding(Image& img) {
  Country(img, 7);
  House(img, 120, 420, 160, 120, kRedRamp + 6);
  // A house half built in scaffolding.
  Tower(img, 360, 420, 160, 80);
  for (int x = 350; x <= 530; x += 30) RoundLine(img, x, 420, x, 300, kWoodRamp + 6, 1);
  for (int y = 420; y >= 300; y -= 30) RoundLine(img, 350, y, 530, y, kWoodRamp + 5, 1);
  Person(img, 400, 330, kBlueRamp + 7);
  Person(img, 470, 420, kRedRamp + 6);
  Caption(img, "NEW BUILDINGS");
}

void SlideHarbour(Image& img) {
  Sky(img, 250, kBlueRamp, 0.5, 0.95);
  Cloud(img, 200, 70, 120);
  WaterArea(img, 0, 250, 639, 479, 2);
  for (int y = 330; y < 350; ++y) RoundLine(img, 0, y, 260, y, kWoodRamp + 6);  // the quay
  House(img, 20, 330, 80, 60, kRedRamp + 6);
  House(img, 130, 330, 70, 50, kWoodRamp + 4);
  Ship(img, 420, 330, 110, kGreyRamp + 14);
  Ship(img, 260, 400, 70, kParchmentRamp + 12);
  Caption(img, "THE HARBOUR");
}

void SlideArmy(Image& img) {
  Country(img, 9);
  for (int row = 0; row < 3; ++row)
    for (int i = 0; i < 12; ++i) Soldier(img, 60 + i * 46 + row * 10, 340 + row * 34, kRedRamp + 5 + row);
  RoundLine(img, 40, 300, 40, 200, kWoodRamp + 2, 1);
  Tri(img, 42, 200, 42, 230, 90, 215, kRedRamp + 8);  // banner
  Caption(img, "ARMIES ARE RAISED");
}

void SlideWar(Image& img) {
  Country(img, 10, kSand);
  for (int i = 0; i < 7; ++i) Soldier(img, 60 + i * 30, 400 - (i % 2) * 20, kRedRamp + 7);
  for (int i = 0; i < 7; ++i) Soldier(img, 400 + i * 30, 400 - (i % 2) * 20, kBlueRamp + 7);
  for (int i = 0; i < 6; ++i) RoundLine(img, 270 + i * 12, 300, 300 + i * 12, 280, kGreyRamp + 2);  // arrows
  FilledCircle(img, 330, 250, 20, kGreyRamp + 10);  // smoke
  FilledCircle(img, 350, 236, 14, kGreyRamp + 12);
  Caption(img, "WAR AND BATTLE");
}

void SlideMarket(Image& img) {
  Country(img, 11);
  for (int i = 0; i < 4; ++i) {
    int x = 40 + i * 150;
    for (int y = 330; y <= 400; ++y) RoundLine(img, x, y, x + 120, y, kWoodRamp + 7);
    for (int k = 0; k < 6; ++k) Tri(img, x - 10 + k * 24, 320, x + 14 + k * 24, 320, x + 2 + k * 24, 290,
                                    (uint8_t)((k % 2 ? kRedRamp : (uint8_t)kGoldRamp) + 9));
    for (int k = 0; k < 4; ++k) FilledCircle(img, x + 15 + k * 28, 322, 8, (uint8_t)(kOrangeRamp + 8 + k));
  }
  for (int i = 0; i < 6; ++i) Person(img, 70 + i * 95, 440, (uint8_t)(kBlueRamp + 5 + i));
  Caption(img, "THE MARKET");
}

void SlideCaravan(Image& img) {
  Country(img, 12, kSand);
  for (int x = 0; x < 640; ++x) RoundLine(img, x, 380 + (int)(10 * std::sin(x / 80.0)), x, 410 + (int)(10 * std::sin(x / 80.0)), kSand + 4);
  for (int i = 0; i < 3; ++i) {
    int x = 150 + i * 140;
    for (int y = 340; y < 380; ++y) RoundLine(img, x, y, x + 90, y, kWoodRamp + 6);  // the cart
    Oval(img, x + 45, 340, 48, 24, kParchmentRamp + 12);                   // its cover
    FilledCircle(img, x + 15, 390, 12, kWoodRamp + 2);
    FilledCircle(img, x + 75, 390, 12, kWoodRamp + 2);
    Oval(img, x + 120, 360, 20, 12, kWoodRamp + 4);  // the ox
  }
  Caption(img, "CARAVANS");
}

void SlideContract(Image& img) {
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x) img.Set(x, y, (uint8_t)(kWoodRamp + 3 + (int)(Noise(x / 40, y, 1) % 3)));
  Scroll(img, 140, 60, 500, 400);
  FilledCircle(img, 260, 360, 18, kRedRamp + 8);
  FilledCircle(img, 380, 360, 18, kBlueRamp + 8);
  RoundLine(img, 520, 120, 580, 40, kGreyRamp + 15, 2);  // the quill
  Caption(img, "CONTRACTS");
}

void SlideLetters(Image& img) {
  Country(img, 14);
  RoundLine(img, 80, 420, 600, 330, kSand + 5, 8);  // the road
  Oval(img, 300, 350, 40, 20, kWoodRamp + 5);  // the messenger's horse
  Person(img, 300, 340, kBlueRamp + 9);
  for (int y = 150; y < 200; ++y) RoundLine(img, 460, y, 540, y, kParchmentRamp + 13);  // a letter in the sky
  RoundLine(img, 460, 150, 500, 180, kInk);
  RoundLine(img, 540, 150, 500, 180, kInk);
  FilledCircle(img, 500, 182, 6, kRedRamp + 8);
  Caption(img, "LETTERS");
}

void SlideSeasons(Image& img) {
  const uint8_t grass[4] = {kGreenRamp, kForest, kOrangeRamp, kGreyRamp};
  for (int q = 0; q < 4; ++q) {
    Image part(160, img.height, 0);
    Sky(part, 200, kBlueRamp, 0.5, 0.9);
    Hills(part, 300, 80, 0.03, q + 20, grass[q], q == 3 ? 0.95 : 0.6, q == 3 ? 0.8 : 0.3);
    for (int i = 0; i < 3; ++i) Tree(part, 30 + i * 50, 380, 40);
    for (int y = 0; y < img.height; ++y)
      for (int x = 0; x < 160; ++x) img.Set(q * 160 + x, y, part.Get(x, y));
    RoundLine(img, q * 160, 0, q * 160, img.height - 1, kWoodRamp + 2, 1);
  }
  Caption(img, "THE SEASONS");
}

void SlideWinter(Image& img) {
  Sky(img, 250, kSlate, 0.6, 0.9);
  Hills(img, 300, 70, 0.02, 17, kGreyRamp, 0.97, 0.85);
  for (int i = 0; i < 5; ++i) House(img, 80 + i * 100, 380 - (i % 2) * 20, 50, 34, kGreyRamp + 15);
  for (int i = 0; i < 300; ++i) FilledCircle(img, (int)(Noise(i, 1, 17) % 640), (int)(Noise(i, 2, 17) % 440), 1, kGreyRamp + 15);
  Caption(img, "WINTER");
}

void SlideSpring(Image& img) {
  Country(img, 18);
  Field(img, 0, 320, 639, 430, kWoodRamp, 8);
  for (int i = 0; i < 4; ++i) Person(img, 100 + i * 140, 410, kGreenRamp + 6);
  for (int i = 0; i < 80; ++i) FilledCircle(img, (int)(Noise(i, 1, 18) % 640), 300 + (int)(Noise(i, 2, 18) % 20), 2,
                                   (uint8_t)(kRose + 8 + (int)(i % 6)));
  Caption(img, "SPRING: SOWING");
}

void SlideSummer(Image& img) {
  Sky(img, 260, kBlueRamp, 0.7, 1.0);
  FilledCircle(img, 520, 80, 36, kGoldRamp + 15);
  Hills(img, 300, 60, 0.015, 19, kGreenRamp, 0.6, 0.4);
  Field(img, 0, 320, 639, 430, kGoldRamp, 6);
  for (int i = 0; i < 5; ++i) Sack(img, 80 + i * 120, 420);
  Caption(img, "SUMMER: HARVEST");
}

void SlideTavern(Image& img) {
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x) img.Set(x, y, (uint8_t)(kWoodRamp + 2 + (int)(Noise(x / 20, y / 60, 2) % 3)));
  FilledCircle(img, 320, 120, 60, kOrangeRamp + 12);  // the hearth's glow
  FilledCircle(img, 320, 130, 30, kOrangeRamp + 15);
  for (int y = 300; y < 330; ++y) RoundLine(img, 100, y, 540, y, kWoodRamp + 8);  // the table
  for (int i = 0; i < 5; ++i) Person(img, 140 + i * 90, 300, (uint8_t)(kRedRamp + 4 + i * 2));
  for (int i = 0; i < 4; ++i) Oval(img, 180 + i * 90, 292, 6, 8, kGoldRamp + 8);  // mugs
  Caption(img, "THE TAVERN");
}

void SlideEvents(Image& img) {
  Sky(img, 300, kRedRamp, 0.1, 0.5);
  Hills(img, 350, 40, 0.02, 21, kForest, 0.2, 0.05);
  House(img, 200, 400, 200, 110, kWoodRamp + 2);
  for (int i = 0; i < 40; ++i) {  // flames
    int x = 210 + (int)(Noise(i, 1, 21) % 180), h = 30 + (int)(Noise(i, 2, 21) % 80);
    Tri(img, x - 10, 300, x + 10, 300, x, 300 - h, (uint8_t)(kOrangeRamp + 8 + i % 8));
  }
  for (int i = 0; i < 3; ++i) Person(img, 470 + i * 40, 440, kBlueRamp + 8);
  Caption(img, "EVENTS IN THE REALM");
}

void SlideGods(Image& img) {
  Sky(img, img.height - 1, kGoldRamp, 0.95, 0.5);
  for (int i = 0; i < 12; ++i) RoundLine(img, 320, 40, 320 + (int)(400 * std::cos(i * 0.52)), 40 + (int)(400 * std::sin(i * 0.52)), kGoldRamp + 15);
  Tri(img, 160, 190, 480, 190, 320, 110, kGreyRamp + 14);  // the temple's roof
  for (int i = 0; i < 6; ++i)
    for (int y = 200; y < 380; ++y) RoundLine(img, 180 + i * 56, y, 196 + i * 56, y, kGreyRamp + 13);
  for (int y = 380; y < 400; ++y) RoundLine(img, 150, y, 490, y, kGreyRamp + 11);
  Caption(img, "THE GODS");
}

// ---- the title's waterfall --------------------------------------------------
// An upper fall from the cliff's lip (y 196) onto a ledge, foam where it
// lands (y 314..335), the lower fall from there into the lake (y 430) and
// foam on the lake. The title's movie (TitelWasserfall.cban, 96 x 136 at
// 432, 319) is this picture's own window: what moves (the lower fall's
// streaks and the lake's foam) lies 12 pixels or more inside it, so every
// frame of it joins the picture around it.
constexpr int kFallX = 480, kFallTop = 196, kLedge = 314, kLowerFall = 332, kLake = 430;
constexpr int kFallPeriod = 84;  // rows after which the streaks repeat (a multiple of 21 and 6)

int FallHalf(int y) { return 20 + (y - kFallTop) / 16; }

// The falling water's pen at (x, y), its streaks moved down by `shift` rows.
uint8_t FallPen(int x, int y, int shift) {
  const int v = ((y - shift) % kFallPeriod + kFallPeriod) % kFallPeriod;
  const int stripe = (int)((x + v / 3 + Noise(x, v / 6, 4) % 3) % 7);
  return stripe < 2 ? (uint8_t)(kGreyRamp + 15) : (uint8_t)(kWater + 9 + stripe);  // 11..15, inside the water ramp
}

void Waterfall(Image& img, int frame, int frames) {
  const int shift = frame * kFallPeriod / frames;  // frames divides 84: the last frame leads to the first
  for (int y = kFallTop; y < kLake; ++y) {
    const int half = FallHalf(y);
    for (int x = kFallX - half; x <= kFallX + half; ++x) img.Set(x, y, FallPen(x, y, y >= kLowerFall ? shift : 0));
  }
  // The ledge: dark rock jutting out on both sides, foam over the water.
  for (int side = -1; side <= 1; side += 2)
    for (int y = kLedge + 2; y < kLowerFall + 2; ++y)
      for (int k = 0; k < 7 - (y - kLedge) / 4; ++k) {
        const int x = kFallX + side * (FallHalf(y) + 1 + k);
        img.Set(x, y, (uint8_t)(kSlate + 3 + (int)(Noise(x, y, 12) % 3)));
      }
  for (int k = 0; k < 46; ++k) {
    const int half = FallHalf(kLedge + 8);
    const int x = kFallX - half + (int)(Noise(k, 1, 12) % (uint32_t)(2 * half + 1)), y = kLedge + 2 + (int)(Noise(k, 2, 12) % 18);
    FilledCircle(img, x, y, 2 + (int)(k % 2), k % 3 ? kGreyRamp + 15 : kGreyRamp + 13);
  }
  WaterArea(img, 0, kLake, 639, 479, 9);
  // Foam boiling where the lower fall lands: the bubbles of frame f.
  const int f = frame % frames;
  for (int i = 0; i < 40; ++i)
    FilledCircle(img, 440 + (int)(Noise(i, 1 + 7 * f, 6) % 80), kLake + 2 + (int)(Noise(i, 2 + 7 * f, 6) % 16), 3, kGreyRamp + 15);
}

// The whole title picture with the waterfall at frame `frame` of `frames`.
void DrawTitleFrame(Image& img, int frame, int frames) {
  Sky(img, 300, kBlueRamp, 0.45, 1.0);
  Cloud(img, 140, 150, 120);
  Cloud(img, 560, 130, 90);
  Hills(img, 260, 120, 0.011, 3, kSlate, 0.6, 0.35, true);
  Hills(img, 330, 60, 0.018, 8, kForest, 0.55, 0.3);
  // The cliff on the right with the waterfall falling into the lake.
  for (int y = 200; y < img.height; ++y)
    for (int x = 400; x < img.width; ++x) {
      int edge = 400 + (int)(20 * std::sin(y / 30.0));
      if (x >= edge) img.Set(x, y, RampAt(kSlate, 0.45 - 0.25 * (y - 200) / 280.0 + (Noise(x / 4, y / 4, 2) % 4) * 0.03, x, y));
    }
  for (int x = 400; x < img.width; ++x) FilledCircle(img, x, 200 + (int)(4 * std::sin(x / 9.0)), 4, kForest + 6);
  Waterfall(img, frame, frames);
  Forest(img, 250, 400, 340, 12, 34);
  Forest(img, 560, 640, 210, 13, 24);
  // The name over the land, in gold with a dark shadow.
  const std::string name = "QUILL OF ELMOR";
  DrawTextCentred(img, 0, 24, 639, 100, name, 6, kDarkGold, kTransparent);
  DrawTextCentred(img, -3, 21, 636, 97, name, 6, kGoldRamp + 14, kTransparent);
  DrawTextCentred(img, 0, 100, 639, 124, "A GAME OF TRADE AND WAR", 2, kGreyRamp + 15, kInk);
  // Six plaques for the labels the program prints (layouts/Titel.txt).
  for (int i = 0; i < 6; ++i) {
    int y1 = 150 + i * 46, y2 = y1 + 32;
    for (int y = y1 - 3; y <= y2 + 3; ++y)
      for (int x = 37; x <= 223; ++x) img.Set(x, y, (uint8_t)(kWoodRamp + 4 + (int)(Noise(x / 6, y, 1) % 3)));
    for (int y = y1; y <= y2; ++y)
      for (int x = 40; x <= 220; ++x) img.Set(x, y, RampAt(kParchmentRamp, 0.95 - 0.2 * (y - y1) / 32.0, x, y));
    FrameRect(img, 40, y1, 220, y2, kWoodRamp + 1);
  }
}

}  // namespace

bool DrawTitle(Image& img) {
  DrawTitleFrame(img, 0, 1);
  return true;
}

void DrawTitleWaterfall(Image& img, int x, int y, int frame, int frames) {
  Image title(640, 480, kBlack);
  DrawTitleFrame(title, frame, frames);
  for (int yy = 0; yy < img.height; ++yy)
    for (int xx = 0; xx < img.width; ++xx) img.Set(xx, yy, title.Get(x + xx, y + yy));
}

bool DrawAnarchy(Image& img) {
  Sky(img, 300, kRedRamp, 0.05, 0.45);
  Hills(img, 330, 50, 0.02, 31, kGreyRamp, 0.2, 0.1);
  // The burning town: black roofs against the fire.
  for (int i = 0; i < 8; ++i) House(img, 20 + i * 80, 400 - (i % 3) * 14, 60, 44, kGreyRamp + 2);
  for (int i = 0; i < 60; ++i) {
    int x = (int)(Noise(i, 1, 31) % 640), h = 20 + (int)(Noise(i, 2, 31) % 70);
    Tri(img, x - 9, 350, x + 9, 350, x, 350 - h, (uint8_t)(kOrangeRamp + 6 + i % 10));
  }
  // The mob with torches in the street.
  for (int y = 420; y < img.height; ++y) RoundLine(img, 0, y, 639, y, kGreyRamp + 3);
  for (int i = 0; i < 16; ++i) {
    int x = 20 + i * 40, y = 470 - (int)(i % 3) * 6;
    Person(img, x, y, (uint8_t)(kWoodRamp + 2 + i % 4), kRose + 4);
    if (i % 3 == 0) {
      RoundLine(img, x + 5, y - 12, x + 8, y - 34, kWoodRamp + 2, 1);
      FilledCircle(img, x + 8, y - 37, 3, kOrangeRamp + 14);
    }
  }
  return true;
}

bool DrawCredits(Image& img) {
  // The upper half: night sky over Elmor; the lower half stays dark for
  // the names the program writes there.
  Sky(img, 239, kBlueRamp, 0.0, 0.3);
  for (int i = 0; i < 160; ++i) img.Set((int)(Noise(i, 1, 41) % 640), (int)(Noise(i, 2, 41) % 200), kGreyRamp + 12 + i % 4);
  FilledCircle(img, 590, 150, 22, kGoldRamp + 13);
  Hills(img, 239, 70, 0.015, 41, kForest, 0.15, 0.05);
  for (int y = 240; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x) img.Set(x, y, kBlack);
  DrawTextCentred(img, 0, 40, 639, 110, "QUILL OF ELMOR", 5, kGoldRamp + 14, kInk);
  return true;
}

bool DrawFamilyTree(Image& img) {
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x) img.Set(x, y, RampAt(kParchmentRamp, 0.9 - 0.3 * y / 480.0 + (Noise(x / 3, y / 3, 40) % 4) * 0.02, x, y));
  FrameRect(img, 6, 6, 633, 473, kWoodRamp + 2);
  FrameRect(img, 10, 10, 629, 469, kWoodRamp + 6);
  DrawTextCentred(img, 0, 16, 639, 44, "FAMILY TREE", 3, kInk, kTransparent);
  // The trunk and its branches: nine medallions (layouts/Stammbaum.txt).
  RoundLine(img, 320, 460, 320, 90, kWoodRamp + 3, 6);
  const int cx[9] = {320, 200, 440, 110, 250, 390, 530, 180, 460};
  const int cy[9] = {390, 300, 300, 210, 210, 210, 210, 110, 110};
  for (int i = 1; i < 9; ++i) {
    int parent = i <= 2 ? 0 : i <= 4 ? 1 : i <= 6 ? 2 : i == 7 ? 3 : 6;
    RoundLine(img, cx[parent], cy[parent], cx[i], cy[i], kWoodRamp + 4, 3);
  }
  for (int i = 0; i < 9; ++i) {
    Oval(img, cx[i], cy[i], 52, 28, kWoodRamp + 2);
    Oval(img, cx[i], cy[i], 48, 24, kParchmentRamp + 14);
  }
  return true;
}

bool DrawSlide(Image& img, const std::string& kind, std::string* err) {
  static const std::map<std::string, void (*)(Image&)> kScenes = {
      {"land", SlideLand},         {"town", SlideTown},       {"fields", SlideFields},
      {"granary", SlideGranary},   {"woodstone", SlideWoodStone}, {"research", SlideResearch},
      {"building", SlideBuilding}, {"harbour", SlideHarbour}, {"army", SlideArmy},
      {"war", SlideWar},           {"market", SlideMarket},   {"caravan", SlideCaravan},
      {"contract", SlideContract}, {"letters", SlideLetters}, {"seasons", SlideSeasons},
      {"winter", SlideWinter},     {"spring", SlideSpring},   {"summer", SlideSummer},
      {"tavern", SlideTavern},     {"events", SlideEvents},   {"gods", SlideGods},
  };
  auto it = kScenes.find(kind);
  if (it == kScenes.end()) {
    *err = "unknown slide '" + kind + "'";
    return false;
  }
  it->second(img);
  return true;
}

}  // namespace datakit
