// The research and taxes screens' pictures. Research: the scholars'
// courtyard (35, also a slide of the slide show, so it reads without the
// screen's gadgets) with one place for each research field and the
// fountain's basin at (384, 275); the requester (162), the field icons
// (163..169, the places drawn large), the hourglass gauge (170..183), the
// shields of the levels (184..190) and the level steps (192..198). Taxes:
// the tax chamber (42) with the statue of the goddess of law in its four
// settings (350..353 at 270, 187, carrying the chamber behind them), the
// requester boxes (346..349) and the base tax's knob (354).
#include <algorithm>
#include <cmath>
#include <string>

#include "art.h"

namespace datakit {
namespace {

constexpr uint8_t kRedR = 80, kGreenR = 96, kBlueR = 112, kTeal = 128, kPurple = 144, kOrange = 160, kSlate = 176,
                  kForest = 192, kSand = 208, kWater = 224;

uint32_t Noise(int x, int y, uint32_t seed) {
  uint32_t h = (uint32_t)x * 374761393u + (uint32_t)y * 668265263u + seed * 2246822519u;
  h = (h ^ (h >> 13)) * 1274126177u;
  return h ^ (h >> 16);
}

// Ashlar: stone blocks of a ramp with dark joints.
void Ashlar(Image& img, int x1, int y1, int x2, int y2, uint8_t ramp, int shade, int bw, int bh, uint32_t seed) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      const int row = (y - y1) / bh, off = (row & 1) * (bw / 2);
      const bool joint = (y - y1) % bh == 0 || (x - x1 + off) % bw == 0;
      const int block = (int)(Noise((x - x1 + off) / bw, row, seed) % 3);
      const int v = joint ? shade - 5 : shade - block + (int)(Noise(x, y, seed + 1) % 2);
      img.Set(x, y, (uint8_t)(ramp + std::clamp(v, 0, 15)));
    }
}

void Ellipse(Image& img, int cx, int cy, int rx, int ry, uint8_t c) {
  for (int y = -ry; y <= ry; ++y)
    for (int x = -rx; x <= rx; ++x)
      if ((double)x * x / (rx * rx + 0.01) + (double)y * y / (ry * ry + 0.01) <= 1.0) img.Set(cx + x, cy + y, c);
}

// A table top with legs, its top at y.
void Table(Image& img, int x1, int x2, int y, int legs) {
  Shaded(img, x1, y, x2, y + 7, kWoodRamp, 9);
  for (int lx : {x1 + 4, x2 - 8}) Shaded(img, lx, y + 8, lx + 4, y + legs, kWoodRamp, 6);
}

void Flask(Image& img, int cx, int bottom, int r, uint8_t ramp) {
  FillRect(img, cx - 2, bottom - 2 * r - 10, cx + 2, bottom - 2 * r + 2, kGreyRamp + 12);
  FilledCircle(img, cx, bottom - r, r, kBlack);
  FilledCircle(img, cx, bottom - r, r - 1, (uint8_t)(ramp + 8));
  FilledCircle(img, cx - r / 3, bottom - r - r / 3, std::max(1, r / 4), (uint8_t)(ramp + 14));
}

void Gear(Image& img, int cx, int cy, int r, uint8_t ramp, double turn) {
  for (int t = 0; t < 10; ++t) {
    const double a = turn + t * 3.14159265 * 2 / 10;
    RoundLine(img, cx, cy, cx + (int)(std::cos(a) * (r + 3)), cy + (int)(std::sin(a) * (r + 3)), (uint8_t)(ramp + 5), 2);
  }
  FilledCircle(img, cx, cy, r, (uint8_t)(ramp + 4));
  FilledCircle(img, cx, cy, r - 2, (uint8_t)(ramp + 9));
  FilledCircle(img, cx, cy, std::max(1, r / 3), kBlack);
}

// The fields' places, each inside its rectangle (x1, y1)-(x2, y2).
void Observatory(Image& img, int x1, int y1, int x2, int y2) {
  const int cx = (x1 + x2) / 2, w = (x2 - x1) / 2 - 10;
  Ashlar(img, cx - w, y1 + (y2 - y1) / 3, cx + w, y2, kSlate, 10, 16, 9, 5);
  FrameRect(img, cx - w, y1 + (y2 - y1) / 3, cx + w, y2, kBlack);
  // The dome with its slit and the telescope.
  const int dy = y1 + (y2 - y1) / 3, r = w + 4;
  for (int y = -r; y <= 0; ++y)
    for (int x = -r; x <= r; ++x)
      if (x * x + y * y <= r * r) img.Set(cx + x, dy + y, (uint8_t)(kBlueR + 6 + (x < 0 ? 2 : 0)));
  FillRect(img, cx - 3, dy - r + 2, cx + 3, dy, kBlack);
  RoundLine(img, cx, dy - r / 2, cx + r + 8, dy - r - 12, kGoldRamp + 10, 3);
  // Stars and a moon over it, the door below.
  for (int s = 0; s < 6; ++s) FilledCircle(img, x1 + 8 + s * 21, y1 + 6 + (s % 2) * 8, 1, kWhite);
  FillRect(img, cx - 8, y2 - 30, cx + 8, y2, kWoodRamp + 4);
  FrameRect(img, cx - 8, y2 - 30, cx + 8, y2, kBlack);
}

void AlchemistBench(Image& img, int x1, int /*y1*/, int x2, int y2) {
  const int top = y2 - 50;
  Table(img, x1 + 4, x2 - 4, top, 48);
  Flask(img, x1 + 24, top, 12, kGreenR);
  Flask(img, x1 + 56, top, 9, kPurple);
  Flask(img, x1 + 84, top, 14, kRedR);
  // A retort over a small flame.
  FilledCircle(img, x2 - 28, top - 14, 11, kBlack);
  FilledCircle(img, x2 - 28, top - 14, 10, kTeal + 9);
  RoundLine(img, x2 - 20, top - 20, x2 - 4, top - 44, kGreyRamp + 12, 2);
  for (int i = 0; i < 3; ++i) FilledCircle(img, x2 - 32 + i * 4, top - 1, 2, kOrange + 12);
  // Bubbles rising.
  for (int i = 0; i < 4; ++i) FilledCircle(img, x1 + 24 + (i % 2) * 3, top - 30 - i * 9, 2, kGreenR + 13);
}

void HerbGarden(Image& img, int x1, int y1, int x2, int y2) {
  Texture(img, x1, y1, x2, y2, kForest, 5, 4, 11);
  for (int bed = 0; bed < 3; ++bed) {
    const int by = y1 + 8 + bed * (y2 - y1 - 8) / 3, bh = (y2 - y1) / 3 - 10;
    FillRect(img, x1 + 6, by, x2 - 6, by + bh, kWoodRamp + 3);
    FrameRect(img, x1 + 6, by, x2 - 6, by + bh, kWoodRamp + 7);
    for (int x = x1 + 14; x < x2 - 10; x += 14) {
      const uint8_t bloom = bed == 0 ? kPurple + 12 : bed == 1 ? kGoldRamp + 13 : kRedR + 11;
      RoundLine(img, x, by + bh - 2, x - 3, by + 4, kForest + 11, 1);
      RoundLine(img, x, by + bh - 2, x + 4, by + 6, kForest + 9, 1);
      FilledCircle(img, x - 3, by + 4, 2, bloom);
      FilledCircle(img, x + 4, by + 6, 2, bloom);
    }
  }
}

void Shrine(Image& img, int x1, int y1, int x2, int y2) {
  const int base = y2 - 12, top = y1 + 50;
  Shaded(img, x1 + 4, base, x2 - 4, y2, kSlate, 12);
  for (int c = 0; c < 4; ++c) {
    const int cx = x1 + 18 + c * (x2 - x1 - 36) / 3;
    Shaded(img, cx - 5, top, cx + 5, base, kSlate, 13);
  }
  // The pediment.
  for (int y = y1 + 14; y <= top; ++y) {
    const int half = (x2 - x1) / 2 * (y - y1 - 14) / std::max(1, top - y1 - 14);
    FillRect(img, (x1 + x2) / 2 - half, y, (x1 + x2) / 2 + half, y, (uint8_t)(kSlate + 12));
  }
  // The altar with its flame inside.
  const int cx = (x1 + x2) / 2;
  Shaded(img, cx - 14, base - 24, cx + 14, base, kSand, 10);
  Ellipse(img, cx, base - 34, 6, 10, kOrange + 12);
  Ellipse(img, cx, base - 31, 3, 6, kGoldRamp + 15);
}

void HealerTable(Image& img, int x1, int y1, int x2, int y2) {
  const int top = y2 - 48;
  Table(img, x1 + 4, x2 - 4, top, 46);
  // A mortar with its pestle, bundles of herbs and jars, a rolled bandage.
  Ellipse(img, x1 + 28, top - 9, 14, 9, kGreyRamp + 10);
  Ellipse(img, x1 + 28, top - 13, 10, 3, kGreyRamp + 4);
  RoundLine(img, x1 + 30, top - 12, x1 + 44, top - 34, kWoodRamp + 10, 2);
  for (int j = 0; j < 3; ++j) {
    const int jx = x1 + 60 + j * 18;
    Shaded(img, jx, top - 22, jx + 12, top - 1, j == 1 ? kBlueR : kSand, 8);
    FillRect(img, jx - 1, top - 25, jx + 13, top - 22, kWoodRamp + 5);
  }
  Ellipse(img, x2 - 22, top - 8, 12, 7, kWhite);
  FrameRect(img, x2 - 34, top - 8, x2 - 10, top - 7, kGreyRamp + 10);
  for (int b = 0; b < 3; ++b) RoundLine(img, x1 + 10 + b * 30, y1 + 16, x1 + 14 + b * 30, y1 + 40, kForest + 10, 2);
  FillRect(img, x1 + 4, y1 + 12, x2 - 4, y1 + 14, kWoodRamp + 5);  // the drying rail
}

void WeaponsYard(Image& img, int x1, int y1, int x2, int y2) {
  Texture(img, x1, y1, x2, y2, kSand, 8, 4, 13);
  // The rack with swords and spears.
  Shaded(img, x1 + 6, y1 + 8, x1 + 10, y2 - 6, kWoodRamp, 7);
  Shaded(img, x1 + 60, y1 + 8, x1 + 64, y2 - 6, kWoodRamp, 7);
  FillRect(img, x1 + 6, y1 + 20, x1 + 64, y1 + 23, kWoodRamp + 9);
  for (int s = 0; s < 4; ++s) {
    const int sx = x1 + 16 + s * 12;
    RoundLine(img, sx, y1 + 12, sx, y2 - 14, kGreyRamp + 13, 1);
    FillRect(img, sx - 4, y2 - 18, sx + 4, y2 - 16, kGoldRamp + 8);
  }
  // A training dummy with a shield.
  const int dx = x2 - 30;
  Shaded(img, dx - 2, y1 + 30, dx + 2, y2 - 6, kWoodRamp, 6);
  FillRect(img, dx - 20, y1 + 44, dx + 20, y1 + 48, kWoodRamp + 6);
  Ellipse(img, dx, y1 + 60, 14, 22, kSand + 12);
  FilledCircle(img, dx, y1 + 28, 9, kSand + 13);
  Ellipse(img, dx + 8, y1 + 66, 9, 12, kRedR + 8);
  FilledCircle(img, dx + 8, y1 + 66, 3, kGoldRamp + 12);
}

void Workshop(Image& img, int x1, int /*y1*/, int x2, int y2) {
  const int top = y2 - 40;
  Table(img, x1 + 4, x2 - 4, top, 38);
  Gear(img, x1 + 40, top - 30, 22, kSlate, 0.1);
  Gear(img, x1 + 82, top - 22, 14, kGoldRamp, 0.4);
  Gear(img, x1 + 112, top - 36, 10, kSlate, 0.0);
  // A hammer and a crank on the bench.
  RoundLine(img, x2 - 40, top - 3, x2 - 12, top - 3, kWoodRamp + 9, 1);
  FillRect(img, x2 - 16, top - 8, x2 - 8, top - 1, kGreyRamp + 8);
}

void FountainBasin(Image& img, int x, int y) {
  // The movie (96 x 88) plays at (x, y); its basin shows under it too.
  Ellipse(img, x + 48, y + 70, 50, 16, kSlate + 6);
  Ellipse(img, x + 48, y + 68, 44, 12, kWater + 8);
  Shaded(img, x + 42, y + 24, x + 54, y + 68, kSlate, 11);
  Ellipse(img, x + 48, y + 24, 16, 6, kSlate + 10);
}

struct Place {
  int x1, y1, x2, y2;
  void (*draw)(Image&, int, int, int, int);
};
// In field order (astronomy, alchemy, biology, theology, healing, art of
// battle, technics), where the screen's layout has the field gadgets.
const Place kPlaces[7] = {
    {20, 40, 150, 230, Observatory}, {170, 120, 300, 230, AlchemistBench}, {20, 330, 200, 455, HerbGarden},
    {490, 40, 620, 230, Shrine},     {340, 120, 470, 230, HealerTable},    {490, 330, 620, 455, WeaponsYard},
    {215, 360, 370, 460, Workshop},
};

void Courtyard(Image& img) {
  // Sky, the college's wall with windows, the paved courtyard.
  for (int y = 0; y < 60; ++y) FillRect(img, 0, y, 639, y, (uint8_t)(kBlueR + 13 - y / 8));
  Ashlar(img, 0, 60, 639, 250, kSand, 11, 32, 16, 3);
  for (int w = 0; w < 8; ++w) {
    const int wx = 165 + w * 40;
    if (wx > 470) break;
    FillRect(img, wx, 70, wx + 16, 100, kBlueR + 3);
    FrameRect(img, wx - 1, 69, wx + 17, 101, kSand + 4);
  }
  for (int y = 250; y < 480; ++y)
    for (int x = 0; x < 640; ++x) {
      const bool joint = (y - 250) % 22 == 0 || (x + ((y - 250) / 22 % 2) * 20) % 40 == 0;
      img.Set(x, y, (uint8_t)(kSand + (joint ? 5 : 9 + (int)(Noise(x / 3, y / 3, 7) % 3))));
    }
  // The sign board (the screen's title bar).
  Shaded(img, 166, 2, 474, 34, kWoodRamp, 7);
  FillRect(img, 172, 8, 468, 28, kParchment);
  // The east gate (the screen's way out).
  FillRect(img, 562, 245, 622, 320, kWoodRamp + 3);
  for (int p = 0; p < 4; ++p) FillRect(img, 564 + p * 15, 247, 565 + p * 15, 320, kWoodRamp + 1);
  FrameRect(img, 560, 243, 624, 321, kSand + 3);
  FilledCircle(img, 612, 285, 2, kGoldRamp + 12);
  for (const Place& p : kPlaces) p.draw(img, p.x1, p.y1, p.x2, p.y2);
  FountainBasin(img, 384, 275);
}

// Nearest-neighbour copy of src's (sx1, sy1)-(sx2, sy2) into dst's rectangle.
void Scale(const Image& src, int sx1, int sy1, int sx2, int sy2, Image& dst, int dx1, int dy1, int dx2, int dy2) {
  for (int y = dy1; y <= dy2; ++y)
    for (int x = dx1; x <= dx2; ++x)
      dst.Set(x, y, src.Get(sx1 + (x - dx1) * (sx2 - sx1) / std::max(1, dx2 - dx1),
                            sy1 + (y - dy1) * (sy2 - sy1) / std::max(1, dy2 - dy1)));
}

void Button(Image& img, int x1, int y1, int x2, int y2, const std::string& caption) {
  FillRect(img, x1, y1, x2, y2, kWoodRamp + 9);
  FrameRect(img, x1 - 1, y1 - 1, x2 + 1, y2 + 1, kBlack);
  Bevel(img, x1, y1, x2, y2, false);
  DrawTextCentred(img, x1 + 1, y1 + 1, x2 - 1, y2 - 1, caption, TextWidth(caption, 2) <= x2 - x1 - 6 ? 2 : 1, kWhite,
                  kBlack);
}

void Inset(Image& img, int x1, int y1, int x2, int y2, uint8_t fill) {
  FillRect(img, x1, y1, x2, y2, fill);
  FrameRect(img, x1 - 1, y1 - 1, x2 + 1, y2 + 1, kWoodRamp + 3);
}

// ---- the tax chamber --------------------------------------------------------------

void TaxChamber(Image& img, int ox, int oy) {
  // Drawn in screen coordinates shifted by (ox, oy): img shows the chamber
  // from (ox, oy) on.
  Image full(640, 480, kBlack);
  Ashlar(full, 0, 0, 639, 300, kSlate, 9, 40, 20, 21);
  for (int y = 300; y < 480; ++y)
    for (int x = 0; x < 640; ++x) {
      const bool dark = ((x / 32) + ((y - 300) / 20)) % 2 == 0;
      full.Set(x, y, (uint8_t)(dark ? kRedR + 4 + (int)(Noise(x, y, 5) % 2) : kSand + 10 + (int)(Noise(x, y, 6) % 2)));
    }
  FillRect(full, 0, 296, 639, 301, kSlate + 4);
  // The title board.
  Shaded(full, 166, 2, 474, 34, kWoodRamp, 7);
  FillRect(full, 172, 8, 468, 28, kTitleBar);
  // The statue's plinth and a banner between the barn and the window.
  Shaded(full, 300, 392, 455, 420, kSlate, 12);
  FillRect(full, 306, 44, 328, 150, kPurple + 6);
  for (int y = 150; y < 162; ++y) FillRect(full, 306 + (y - 150), y, 328 - (y - 150), y, kPurple + 6);
  FillRect(full, 312, 70, 322, 80, kGoldRamp + 12);
  // Parchment plaques where the screen prints the places' captions.
  struct Plaque {
    int x1, y1, x2;
  };
  for (const Plaque& q : {Plaque{70, 298, 180}, Plaque{70, 88, 180}, Plaque{495, 298, 595}, Plaque{495, 88, 595},
                          Plaque{365, 38, 445}, Plaque{20, 412, 74}, Plaque{564, 412, 617}}) {
    Texture(full, q.x1, q.y1, q.x2, q.y1 + 15, kParchmentRamp, 13, 2, 42);
    FrameRect(full, q.x1, q.y1, q.x2, q.y1 + 15, kWoodRamp + 4);
  }
  // The customs gate: a barrier with a toll box and scales (ZOLL).
  Shaded(full, 50, 120, 62, 250, kWoodRamp, 6);
  for (int x = 62; x < 200; x += 2) FillRect(full, x, 150, x + 1, 158, (x / 16) % 2 ? kRedR + 9 : kWhite);
  FrameRect(full, 62, 150, 200, 158, kBlack);
  Shaded(full, 120, 200, 170, 250, kWoodRamp, 8);
  FillRect(full, 138, 206, 152, 208, kBlack);
  // The judge's lectern with the book of law (JUS2).
  Shaded(full, 520, 180, 580, 250, kWoodRamp, 7);
  for (int y = 150; y < 180; ++y) FillRect(full, 500 + (180 - y) / 3, y, 600 - (180 - y) / 3, y, kWoodRamp + 9);
  FillRect(full, 512, 146, 588, 160, kParchment);
  FillRect(full, 549, 146, 551, 160, kWoodRamp + 3);
  for (int l = 0; l < 3; ++l) {
    FillRect(full, 516, 149 + l * 4, 545, 149 + l * 4, kInk);
    FillRect(full, 555, 149 + l * 4, 584, 149 + l * 4, kInk);
  }
  RoundLine(full, 596, 120, 610, 136, kWoodRamp + 10, 2);  // the gavel
  FillRect(full, 590, 112, 604, 122, kWoodRamp + 6);
  // The tithe barn with its sheaves (ZEHN).
  for (int y = 50; y < 90; ++y) FillRect(full, 235 - (y - 50), y, 235 + (y - 50), y, kRedR + 5);
  Shaded(full, 198, 90, 272, 168, kWoodRamp, 8);
  FillRect(full, 224, 124, 246, 168, kWoodRamp + 3);
  for (int s = 0; s < 3; ++s) {
    const int sx = 190 + s * 10;
    for (int k = -3; k <= 3; ++k) RoundLine(full, sx, 166, sx + k * 2, 140, kGoldRamp + 11, 0);
    FillRect(full, sx - 3, 154, sx + 3, 156, kGoldRamp + 5);
  }
  Shaded(full, 200, 96, 270, 114, kParchmentRamp, 12);
  DrawTextCentred(full, 200, 96, 270, 114, "TENTH", 2, kInk, kTransparent);
  // The chapel window (KIRC).
  for (int y = 60; y < 170; ++y)
    for (int x = 362; x < 448; ++x) {
      const int dy = y - 103, dx = x - 405;
      if (y < 103 && dx * dx + dy * dy > 43 * 43) continue;
      const bool lead = (x - 362) % 14 == 0 || (y - 60) % 18 == 0;
      const uint8_t glass[4] = {kBlueR + 9, kRedR + 9, kGoldRamp + 11, kGreenR + 9};
      full.Set(x, y, lead ? (uint8_t)kBlack : glass[((x - 362) / 14 + (y - 60) / 18) % 4]);
    }
  // The treasure chest of the base tax (GRUN) with coins.
  Shaded(full, 60, 330, 190, 395, kWoodRamp, 8);
  FillRect(full, 60, 350, 190, 356, kGoldRamp + 8);
  FillRect(full, 118, 352, 132, 366, kGoldRamp + 12);
  for (int c = 0; c < 14; ++c) Ellipse(full, 74 + c * 8, 328 - (c % 3) * 3, 5, 3, (uint8_t)(kGoldRamp + 11 + c % 4));
  // Sacks and crates of the resources (HILF).
  for (int s = 0; s < 3; ++s) {
    Ellipse(full, 490 + s * 26, 372, 13, 24, (uint8_t)(kSand + 7 + s));
    FillRect(full, 486 + s * 26, 346, 494 + s * 26, 350, kWoodRamp + 4);
  }
  Shaded(full, 560, 350, 612, 396, kWoodRamp, 9);
  RoundLine(full, 560, 350, 612, 396, kWoodRamp + 5, 1);
  RoundLine(full, 612, 350, 560, 396, kWoodRamp + 5, 1);
  // The two buttons in the lower corners (INFO and EXIT).
  Button(full, 25, 430, 69, 455, "?");
  Button(full, 569, 430, 612, 455, "EXIT");
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x)
      if (ox + x < 640 && oy + y < 480) img.Set(x, y, full.Get(ox + x, oy + y));
}

// The goddess of law, a sword in her right hand and scales in her left:
// setting 0 holds the sword high (hard), 3 the scales (fair).
void Goddess(Image& img, int setting) {
  const int cx = 107;
  // Robe, body and head in marble.
  for (int y = 60; y < 205; ++y) {
    const int half = 18 + (y - 60) * 22 / 145;
    for (int x = -half; x <= half; ++x)
      img.Set(cx + x, y, (uint8_t)(kGreyRamp + 12 + (x < -half / 3 ? -2 : x > half / 2 ? 1 : 0) +
                                   (((x + 40) / 7) % 3 == 0 ? -1 : 0)));
  }
  FilledCircle(img, cx, 44, 15, kGreyRamp + 13);
  Ellipse(img, cx, 36, 16, 8, kGreyRamp + 9);  // the hair band
  FillRect(img, cx - 10, 44, cx + 10, 46, kGreyRamp + 6);  // the blindfold
  // Arm angles: the sword rises as the setting falls, the scales rise with it.
  const int sword_y = 20 + setting * 28, scale_y = 110 - setting * 28;
  RoundLine(img, cx + 18, 80, cx + 52, sword_y + 40, kGreyRamp + 12, 4);
  RoundLine(img, cx + 52, sword_y + 40, cx + 56, sword_y - 20, kGreyRamp + 15, 2);
  RoundLine(img, cx + 42, sword_y + 38, cx + 66, sword_y + 38, kGoldRamp + 9, 2);
  RoundLine(img, cx - 18, 80, cx - 50, scale_y + 10, kGreyRamp + 12, 4);
  RoundLine(img, cx - 80, scale_y, cx - 20, scale_y, kGoldRamp + 10, 1);
  for (int pan : {-80, -20}) {
    RoundLine(img, cx + pan, scale_y, cx + pan - 8, scale_y + 22, kGoldRamp + 8, 0);
    RoundLine(img, cx + pan, scale_y, cx + pan + 8, scale_y + 22, kGoldRamp + 8, 0);
    Ellipse(img, cx + pan, scale_y + 23, 10, 3, kGoldRamp + 11);
  }
  // The setting's name on the plinth's plate.
  static const char* const kNames[4] = {"HARD", "STERN", "MILD", "FAIR"};
  FillRect(img, cx - 40, 212, cx + 40, 226, kGoldRamp + 6);
  DrawTextCentred(img, cx - 40, 212, cx + 40, 226, kNames[setting], 1, kBlack, kTransparent);
}

}  // namespace

bool DrawResearchCourtyard(Image& img) {
  Courtyard(img);
  return true;
}

bool DrawResearchRequester(Image& img) {
  const int w = img.width, h = img.height;
  Texture(img, 0, 0, w - 1, h - 1, kParchmentRamp, 13, 3, 162);
  for (int i = 0; i < 4; ++i) FrameRect(img, i, i, w - 1 - i, h - 1 - i, (uint8_t)(kWoodRamp + 5 + i * 2));
  FrameRect(img, 0, 0, w - 1, h - 1, kBlack);
  // The places of the icon, the gauge, the advice text and its slider.
  FrameRect(img, 14, 34, 212, 192, kWoodRamp + 4);
  FrameRect(img, 224, 34, 307, 97, kWoodRamp + 4);
  Inset(img, 16, 200, 440, 310, kParchment);
  Inset(img, 447, 222, 460, 288, kGreyRamp + 6);
  Button(img, 16, 320, 110, 343, "HELP");
  Button(img, 192, 320, 286, 343, "OK");
  Button(img, 368, 320, 462, 343, "EXIT");
  return true;
}

bool DrawResearchIcon(Image& img, int field, std::string* err) {
  if (field < 0 || field > 6) {
    *err = "research icon 0..6";
    return false;
  }
  static const Image court = [] {
    Image c(640, 480, kBlack);
    Courtyard(c);
    return c;
  }();
  const Place& p = kPlaces[field];
  Scale(court, p.x1, p.y1, p.x2, p.y2, img, 3, 3, img.width - 4, img.height - 4);
  for (int i = 0; i < 3; ++i) FrameRect(img, i, i, img.width - 1 - i, img.height - 1 - i, (uint8_t)(kWoodRamp + 5 + i * 3));
  FrameRect(img, 0, 0, img.width - 1, img.height - 1, kBlack);
  return true;
}

bool DrawHourglass(Image& img, int step, std::string* err) {
  if (step < 0 || step > 13) {
    *err = "hourglass step 0..13";
    return false;
  }
  const int w = img.width, h = img.height, cx = w / 2;
  Texture(img, 0, 0, w - 1, h - 1, kParchmentRamp, 13, 3, 170);
  FrameRect(img, 0, 0, w - 1, h - 1, kWoodRamp + 4);
  Shaded(img, cx - 22, 3, cx + 22, 7, kWoodRamp, 8);
  Shaded(img, cx - 22, h - 8, cx + 22, h - 4, kWoodRamp, 8);
  const int top = 8, mid = h / 2, bottom = h - 9;
  // Glass: two bulbs; sand left in the top bulb for the steps to go (13 full).
  const int top_sand = (mid - top) * step / 13, bottom_sand = (bottom - mid) * (13 - step) / 13;
  for (int y = top; y <= bottom; ++y) {
    const int half = 2 + std::abs(y - mid) * 16 / (mid - top);
    const bool sand = (y < mid && y >= mid - top_sand) || (y > mid && y > bottom - bottom_sand);
    FillRect(img, cx - half, y, cx + half, y, (uint8_t)(sand ? kOrange + 10 : kTeal + 13));
    img.Set(cx - half - 1, y, kBlack);
    img.Set(cx + half + 1, y, kBlack);
  }
  if (step > 0 && step < 13) FillRect(img, cx, mid, cx, bottom - bottom_sand, kOrange + 10);  // the running thread
  for (int s : {-26, 24}) Shaded(img, cx + s, 6, cx + s + 2, h - 7, kWoodRamp, 9);
  return true;
}

bool DrawShield(Image& img, int level, std::string* err) {
  if (level < 0 || level > 6) {
    *err = "shield 0..6";
    return false;
  }
  static const uint8_t kField[7] = {kBlueR + 8, kRedR + 8, kGreenR + 7, kPurple + 8, kGoldRamp + 9, kTeal + 7, kRedR + 4};
  const int w = img.width, h = img.height, cx = w / 2;
  for (int y = 0; y < h; ++y) {
    const int half = y < h * 2 / 3 ? w / 2 : (w / 2) * (h - y) / (h / 3);
    for (int x = cx - half; x <= cx + half - (w % 2 ? 0 : 1); ++x) {
      const bool edge = x == cx - half || x == cx + half - (w % 2 ? 0 : 1) || y == 0 || y == h - 1;
      img.Set(x, y, edge ? (uint8_t)kBlack : (x - cx + 1 > 0) == (level % 2 == 0) ? kField[level] : (uint8_t)(kGoldRamp + 12));
    }
  }
  // The level's number of dots on the shield's head.
  for (int d = 0; d <= level && d < 4; ++d) img.Set(3 + d * 4, 4, kWhite);
  return true;
}

bool DrawLevelStep(Image& img, int step, std::string* err) {
  if (step < 0 || step > 6) {
    *err = "level step 0..6";
    return false;
  }
  const uint8_t ramp[7] = {kGreenR + 6, kGreenR + 9, kGreenR + 12, kGoldRamp + 9, kGoldRamp + 12, kOrange + 11, kRedR + 10};
  FillRect(img, 0, 0, img.width - 1, img.height - 1, ramp[step]);
  FillRect(img, 1, 1, img.width - 2, 2, kWhite);
  FrameRect(img, 0, 0, img.width - 1, img.height - 1, kBlack);
  return true;
}

bool DrawStatue(Image& img, int setting, std::string* err) {
  if (setting < 0 || setting > 3) {
    *err = "statue setting 0..3";
    return false;
  }
  TaxChamber(img, 270, 187);
  Goddess(img, setting);
  return true;
}

bool DrawTaxChamber(Image& img) {
  TaxChamber(img, 0, 0);
  // The statue in its first setting, as the screen draws it at (270, 187).
  Image statue(215, 230, kBlack);
  std::string err;
  DrawStatue(statue, 0, &err);
  for (int y = 0; y < statue.height; ++y)
    for (int x = 0; x < statue.width; ++x) img.Set(270 + x, 187 + y, statue.Get(x, y));
  return true;
}

bool DrawTaxBox(Image& img, int box, std::string* err) {
  if (box < 1 || box > 4) {
    *err = "tax box 1..4";
    return false;
  }
  const int w = img.width, h = img.height;
  Texture(img, 0, 0, w - 1, h - 1, kParchmentRamp, 13, 3, (uint32_t)(346 + box));
  for (int i = 0; i < 3; ++i) FrameRect(img, i, i, w - 1 - i, h - 1 - i, (uint8_t)(kWoodRamp + 6 + i * 2));
  FrameRect(img, 0, 0, w - 1, h - 1, kBlack);
  // Value fields (pen 46, as the layouts' fill pen) at the layouts' places,
  // relative to the box; EXIT and, for the typed boxes, INPUT.
  auto field = [&](int y) { Inset(img, 330 - 168, y, 460 - 168, y + 18, kParchmentRamp + 14); };
  if (box == 1) {
    field(216 - 180);
    field(242 - 180);
    Button(img, 392 - 168, 268 - 180, 462 - 168, 290 - 180, "EXIT");
  } else if (box == 2) {
    Inset(img, 330 - 168, 208 - 176, 398 - 168, 226 - 176, kParchmentRamp + 14);
    field(238 - 176);
    field(268 - 176);
    Button(img, 404 - 168, 206 - 176, 462 - 168, 228 - 176, "INPUT");
    Button(img, 392 - 168, 308 - 176, 462 - 168, 330 - 176, "EXIT");
  } else if (box == 3) {
    for (int y : {163, 189, 215, 241, 267}) field(y - 129);
    Button(img, 392 - 168, 318 - 129, 462 - 168, 340 - 129, "EXIT");
  } else {
    // The track of the knob at (28, 34), 257 x 21, graduated 0 to 100.
    Inset(img, 28, 34, 28 + 256, 34 + 20, kWoodRamp + 6);
    FillRect(img, 32, 43, 32 + 248, 45, kWoodRamp + 2);
    for (int t = 0; t <= 10; ++t) FillRect(img, 32 + 4 + t * 233 / 10, 36, 32 + 4 + t * 233 / 10, 40, kGoldRamp + 12);
    field(242 - 180);
    Button(img, 392 - 168, 270 - 180, 462 - 168, 292 - 180, "EXIT");
  }
  return true;
}

bool DrawTaxKnob(Image& img) {
  const int w = img.width, h = img.height;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const bool edge = x == 0 || y == 0 || x == w - 1 || y == h - 1;
      img.Set(x, y, edge ? (uint8_t)kBlack : (uint8_t)(kGoldRamp + (x < w / 2 ? 13 : 9)));
    }
  // The notch.
  FillRect(img, w / 2 - 1, 3, w / 2, h - 4, kBlack);
  img.Set(0, 0, kTransparent);
  img.Set(w - 1, 0, kTransparent);
  img.Set(0, h - 1, kTransparent);
  img.Set(w - 1, h - 1, kTransparent);
  return true;
}

}  // namespace datakit
