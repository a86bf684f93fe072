// The barracks' pictures: the yard (152, also a slide of the slide show)
// with its places, the three requester panels (199 management, 200
// training, 201 weapons; 508 x 344, drawn at (66, 68) of the screen) and
// the left and right arrows of the counters (16 x 16). They carry the
// barracks palette: the shared one with the list boxes' ground (pen 11) a
// light parchment and the counters' ground (pen 22) and the sliders' pens
// (24..26) in parchment and wood, so the boxes' dark ink stays legible.
// The places, boxes and buttons lie where the layouts Kaserne.txt and
// KaserneReq1..3.txt put their gadgets and rectangles.
#include <algorithm>
#include <cmath>
#include <string>

#include "art.h"

namespace datakit {
namespace {

constexpr uint8_t kRedR = 80, kGreenR = 96, kBlueR = 112, kSlateR = 176, kForestR = 192, kSandR = 208,
                  kWaterR = 224;
// The requester's place on the screen: layout coordinates minus this.
constexpr int kReqX = 66, kReqY = 68;

uint8_t Sh(uint8_t ramp, int shade) { return (uint8_t)(ramp + std::clamp(shade, 0, 15)); }

// A ramp's area around shade, varied by noise of the given grain.
void Grain(Image& img, int x1, int y1, int x2, int y2, uint8_t ramp, int shade, int spread, int grain,
           uint32_t seed) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x)
      img.Set(x, y, Sh(ramp, shade + (int)(TextureHash(x / grain, y / grain, seed) % (uint32_t)(spread + 1)) -
                                 spread / 2));
}

// Stone blocks with dark joints.
void Blocks(Image& img, int x1, int y1, int x2, int y2, uint8_t ramp, int shade, int bw, int bh, uint32_t seed) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      const int row = (y - y1) / bh, off = (row & 1) * (bw / 2);
      const bool joint = (y - y1) % bh == 0 || (x - x1 + off) % bw == 0;
      const int block = (int)(TextureHash((x - x1 + off) / bw, row, seed) % 3);
      img.Set(x, y, Sh(ramp, joint ? shade - 5 : shade - block + (int)(TextureHash(x, y, seed + 1) % 2)));
    }
}

// Vertical planks of wood.
void Planks(Image& img, int x1, int y1, int x2, int y2, int shade, int pw, uint32_t seed) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      const bool gap = (x - x1) % pw == 0;
      const int grain = (int)(TextureHash(x, y / 5, seed) % 3);
      img.Set(x, y, Sh(kWoodRamp, gap ? shade - 5 : shade - 1 + grain));
    }
}

// A pitched roof from (x1, base) to (x2, base) with its ridge at top.
void Roof(Image& img, int x1, int x2, int base, int top, uint8_t ramp, int shade, uint32_t seed) {
  const int cx = (x1 + x2) / 2;
  for (int y = top; y <= base; ++y) {
    const int half = (x2 - x1) / 2 * (y - top) / std::max(1, base - top);
    for (int x = cx - half; x <= cx + half; ++x) {
      const bool row = (y - top) % 6 == 0;
      img.Set(x, y, Sh(ramp, row ? shade - 4 : shade - (int)(TextureHash(x / 5, (y - top) / 6, seed) % 3)));
    }
  }
  RoundLine(img, cx - (x2 - x1) / 2, base, cx, top, kBlack, 0);
  RoundLine(img, cx, top, cx + (x2 - x1) / 2, base, kBlack, 0);
}

// A shed roof sloping from (x1, y1) down to (x2, y2) with a depth of d rows.
void ShedRoof(Image& img, int x1, int y1, int x2, int y2, int d, uint8_t ramp, int shade, uint32_t seed) {
  for (int x = x1; x <= x2; ++x) {
    const int top = y1 + (y2 - y1) * (x - x1) / std::max(1, x2 - x1);
    for (int y = top; y <= top + d; ++y)
      img.Set(x, y, Sh(ramp, (y - top) % 5 == 0 ? shade - 4 : shade - (int)(TextureHash(x / 4, y / 5, seed) % 3)));
    img.Set(x, top, kBlack);
  }
}

// A standing soldier (about 34 rows tall) with his feet at (x, y).
void Soldier(Image& img, int x, int y, uint8_t coat, bool spear) {
  RoundLine(img, x - 2, y, x - 2, y - 11, Sh(kWoodRamp, 3), 1);
  RoundLine(img, x + 2, y, x + 2, y - 11, Sh(kWoodRamp, 3), 1);
  FillRect(img, x - 4, y - 24, x + 4, y - 11, coat);
  FillRect(img, x - 4, y - 24, x - 3, y - 11, (uint8_t)(coat - 3));
  FilledCircle(img, x, y - 28, 3, Sh(kRedR, 12));
  FillRect(img, x - 4, y - 33, x + 4, y - 30, Sh(kSlateR, 10));  // helmet
  if (spear) {
    RoundLine(img, x + 6, y + 1, x + 6, y - 42, Sh(kWoodRamp, 10), 0);
    FillRect(img, x + 5, y - 46, x + 7, y - 42, Sh(kSlateR, 14));
  }
}

// A straw dummy on a post, its foot at (x, y).
void Dummy(Image& img, int x, int y) {
  RoundLine(img, x, y, x, y - 30, Sh(kWoodRamp, 6), 1);
  RoundLine(img, x - 12, y - 24, x + 12, y - 24, Sh(kWoodRamp, 6), 1);
  FilledEllipse(img, x, y - 20, 7, 10, Sh(kGoldRamp, 9));
  for (int k = -5; k <= 5; k += 2) RoundLine(img, x + k, y - 28, x + k, y - 12, Sh(kGoldRamp, 6), 0);
  FilledCircle(img, x, y - 34, 5, Sh(kGoldRamp, 11));
  FillRect(img, x - 6, y - 21, x + 6, y - 19, Sh(kRedR, 7));
}

// An archery target on its stand.
void Target(Image& img, int cx, int cy, int r) {
  RoundLine(img, cx - r + 2, cy + r + 10, cx - 2, cy, Sh(kWoodRamp, 5), 1);
  RoundLine(img, cx + r - 2, cy + r + 10, cx + 2, cy, Sh(kWoodRamp, 5), 1);
  FilledCircle(img, cx, cy, r, Sh(kGoldRamp, 10));
  for (int k = 0; k < 4; ++k) FilledCircle(img, cx, cy, r - 2 - k * r / 4, k % 2 ? (uint8_t)kWhite : Sh(kRedR, 9));
  FilledCircle(img, cx, cy, 2, Sh(kGoldRamp, 14));
  RoundLine(img, cx + 3, cy - 2, cx + 14, cy - 9, Sh(kWoodRamp, 12), 0);  // an arrow in it
}

// A rack of spears and swords with shields hung below, x1..x2, feet at y.
void WeaponRack(Image& img, int x1, int x2, int y) {
  FillRect(img, x1, y - 46, x2, y - 43, Sh(kWoodRamp, 6));
  FillRect(img, x1, y - 12, x2, y - 9, Sh(kWoodRamp, 6));
  FillRect(img, x1, y - 50, x1 + 3, y, Sh(kWoodRamp, 4));
  FillRect(img, x2 - 3, y - 50, x2, y, Sh(kWoodRamp, 4));
  for (int x = x1 + 8; x < x2 - 6; x += 8) {
    const bool sword = (x / 8) % 2 != 0;
    if (sword) {
      FillRect(img, x - 1, y - 56, x + 1, y - 14, Sh(kSlateR, 13));
      FillRect(img, x - 4, y - 18, x + 4, y - 16, Sh(kGoldRamp, 8));
    } else {
      RoundLine(img, x, y - 10, x, y - 66, Sh(kWoodRamp, 10), 0);
      FillRect(img, x - 1, y - 72, x + 1, y - 66, Sh(kSlateR, 14));
    }
  }
}

void RoundShield(Image& img, int cx, int cy, int r, uint8_t ramp) {
  FilledCircle(img, cx, cy, r, kBlack);
  FilledCircle(img, cx, cy, r - 1, Sh(ramp, 8));
  FilledCircle(img, cx, cy, r / 3, Sh(kGoldRamp, 12));
  RoundLine(img, cx - r + 2, cy, cx + r - 2, cy, Sh(ramp, 4), 0);
}

void Horse(Image& img, int x, int y, int shade) {
  // A horse's head looking out over a stall door, its neck at (x, y).
  const uint8_t hide = Sh(kWoodRamp, shade);
  FillRect(img, x - 5, y - 10, x + 5, y + 6, hide);
  FilledEllipse(img, x + 6, y - 12, 9, 6, hide);
  FilledEllipse(img, x + 13, y - 10, 4, 4, Sh(kWoodRamp, shade - 2));
  FillRect(img, x - 3, y - 22, x, y - 16, hide);  // ears
  FillRect(img, x + 2, y - 21, x + 4, y - 16, hide);
  FillRect(img, x - 6, y - 18, x - 3, y + 6, Sh(kWoodRamp, 2));  // mane
  img.Set(x + 5, y - 14, kBlack);
  img.Set(x + 6, y - 14, kBlack);
}

void Catapult(Image& img, int x, int y) {
  // The frame on wheels, the arm raised with its cup, feet at y.
  FillRect(img, x, y - 14, x + 70, y - 8, Sh(kWoodRamp, 7));
  FrameRect(img, x, y - 14, x + 70, y - 8, Sh(kWoodRamp, 2));
  for (int wx : {x + 10, x + 58}) {
    FilledCircle(img, wx, y - 5, 8, Sh(kWoodRamp, 3));
    FilledCircle(img, wx, y - 5, 5, Sh(kWoodRamp, 8));
    FilledCircle(img, wx, y - 5, 1, kBlack);
  }
  RoundLine(img, x + 26, y - 14, x + 36, y - 44, Sh(kWoodRamp, 6), 2);
  RoundLine(img, x + 46, y - 14, x + 36, y - 44, Sh(kWoodRamp, 6), 2);
  RoundLine(img, x + 36, y - 40, x + 6, y - 62, Sh(kWoodRamp, 9), 1);
  FilledEllipse(img, x + 6, y - 63, 6, 4, Sh(kWoodRamp, 4));
  FilledCircle(img, x + 6, y - 66, 4, Sh(kSlateR, 8));
  RoundLine(img, x + 36, y - 40, x + 60, y - 14, Sh(kWoodRamp, 11), 0);  // the rope
}

void Ballista(Image& img, int x, int y) {
  FillRect(img, x + 20, y - 22, x + 26, y, Sh(kWoodRamp, 5));
  FillRect(img, x + 8, y - 3, x + 40, y, Sh(kWoodRamp, 4));
  FillRect(img, x, y - 30, x + 50, y - 25, Sh(kWoodRamp, 8));  // the stock
  RoundLine(img, x + 36, y - 28, x + 44, y - 48, Sh(kWoodRamp, 9), 1);  // the bow
  RoundLine(img, x + 36, y - 28, x + 44, y - 8, Sh(kWoodRamp, 9), 1);
  RoundLine(img, x + 44, y - 48, x + 6, y - 28, Sh(kSlateR, 13), 0);
  RoundLine(img, x + 44, y - 8, x + 6, y - 28, Sh(kSlateR, 13), 0);
  FillRect(img, x + 50, y - 29, x + 58, y - 26, Sh(kSlateR, 14));  // the bolt's head
}

void Sky(Image& img) {
  for (int y = 0; y < 300; ++y)
    for (int x = 0; x < 640; ++x) {
      const int shade = 15 - y / 40 + (int)(TextureHash(x / 3, y / 3, 5) % 2);
      img.Set(x, y, Sh(kBlueR, shade));
    }
  // Clouds.
  const int clouds[][3] = {{110, 60, 26}, {250, 48, 20}, {510, 70, 24}, {600, 40, 16}, {40, 100, 14}};
  for (const auto& c : clouds)
    for (int k = 0; k < 4; ++k)
      FilledEllipse(img, c[0] + k * c[2] / 2 - c[2], c[1] + (k % 2) * 3, c[2], c[2] / 3 + 2, k % 2 ? (uint8_t)kWhite : Sh(kSlateR, 15));
  // Distant wooded hills.
  for (int x = 0; x < 640; ++x) {
    const int top = 150 + (int)(16 * std::sin(x * 0.017) + 8 * std::sin(x * 0.05 + 1));
    for (int y = top; y < 300; ++y)
      img.Set(x, y, Sh(kForestR, 7 - (y - top) / 30 + (int)(TextureHash(x / 3, y / 3, 9) % 3)));
  }
}

void Yard(Image& img) {
  // Trampled sand with stones and wheel ruts.
  for (int y = 290; y < 480; ++y)
    for (int x = 0; x < 640; ++x) {
      const uint32_t n = TextureHash(x / 2, y / 2, 31) % 23;
      int shade = 9 + (int)(TextureHash(x / 6, y / 4, 32) % 3) - (y - 290) / 60;
      if (n == 0) shade -= 4;
      if (n == 1) shade += 3;
      img.Set(x, y, Sh(kSandR, shade));
    }
  // The palisade behind the yard.
  for (int x = 0; x < 640; x += 7) {
    const int top = 262 - (int)(TextureHash(x, 3, 41) % 5);
    FillRect(img, x, top, x + 5, 300, Sh(kWoodRamp, 6 + (int)(TextureHash(x, 4, 42) % 3)));
    FillRect(img, x + 1, top - 3, x + 4, top, Sh(kWoodRamp, 8));
    FillRect(img, x, top, x, 300, Sh(kWoodRamp, 2));
  }
  FillRect(img, 0, 280, 639, 282, Sh(kWoodRamp, 3));
}

void Watchtower(Image& img) {
  Blocks(img, 12, 70, 64, 300, kSlateR, 10, 14, 9, 51);
  for (int c = 0; c < 4; ++c) Blocks(img, 8 + c * 16, 48, 8 + c * 16 + 9, 62, kSlateR, 11, 10, 7, 52);
  Blocks(img, 8, 62, 68, 72, kSlateR, 9, 20, 5, 53);
  FillRect(img, 32, 110, 44, 134, kBlack);  // arrow slit
  FillRect(img, 34, 112, 42, 132, Sh(kSlateR, 2));
  // The horn-blower on top and his horn.
  Soldier(img, 38, 48, Sh(kRedR, 8), false);
  RoundLine(img, 42, 22, 60, 16, Sh(kGoldRamp, 11), 1);
  FilledCircle(img, 62, 15, 4, Sh(kGoldRamp, 13));
  // A banner with the realm's map pinned on the tower.
  FillRect(img, 18, 160, 58, 206, Sh(kParchmentRamp, 13));
  FrameRect(img, 18, 160, 58, 206, Sh(kWoodRamp, 3));
  RoundLine(img, 22, 190, 34, 172, Sh(kForestR, 6), 1);
  RoundLine(img, 34, 172, 50, 182, Sh(kWaterR, 7), 1);
  FilledCircle(img, 44, 194, 3, Sh(kRedR, 9));
  FillRect(img, 30, 250, 46, 300, Sh(kWoodRamp, 3));  // the door
  FrameRect(img, 30, 250, 46, 300, kBlack);
}

void Stables(Image& img) {
  Planks(img, 82, 180, 228, 300, 8, 6, 61);
  ShedRoof(img, 78, 146, 232, 176, 12, kRedR, 7, 62);
  // Three stalls with horses looking out over the half doors.
  for (int s = 0; s < 3; ++s) {
    const int x = 92 + s * 46;
    FillRect(img, x, 200, x + 34, 290, Sh(kWoodRamp, 1));
    Horse(img, x + 14, 232, 6 + s * 3);
    Planks(img, x, 248, x + 34, 290, 10, 5, 63 + (uint32_t)s);
    RoundLine(img, x, 248, x + 34, 290, Sh(kWoodRamp, 5), 0);
    FrameRect(img, x - 1, 199, x + 35, 291, kBlack);
  }
  // A hay bale and a horseshoe over the stalls.
  FilledEllipse(img, 215, 292, 12, 7, Sh(kGoldRamp, 10));
  for (int a = 0; a < 20; ++a) {
    const double t = 3.14159 * (0.1 + 0.8 * a / 19.0);
    img.Set(155 + (int)(7 * std::cos(t)), 192 - (int)(7 * std::sin(t)), Sh(kSlateR, 14));
  }
}

void Quarters(Image& img) {
  Blocks(img, 240, 150, 330, 300, kSandR, 10, 16, 10, 71);
  Roof(img, 234, 336, 152, 112, kRedR, 8, 72);
  // The flag on the gable.
  RoundLine(img, 285, 112, 285, 84, kBlack, 0);
  for (int y = 0; y < 14; ++y) FillRect(img, 286, 84 + y, 306 - y / 3, 84 + y, Sh(kRedR, 10));
  // Windows with the men's shields hung between, and the door.
  for (int wx : {252, 304}) {
    FillRect(img, wx, 174, wx + 14, 196, Sh(kBlueR, 2));
    FrameRect(img, wx - 1, 173, wx + 15, 197, Sh(kWoodRamp, 3));
  }
  RoundShield(img, 286, 186, 9, kBlueR);
  FillRect(img, 272, 236, 300, 300, Sh(kWoodRamp, 5));
  FilledEllipse(img, 286, 236, 14, 8, Sh(kWoodRamp, 5));
  FrameRect(img, 272, 236, 300, 300, kBlack);
  Soldier(img, 258, 298, Sh(kBlueR, 8), true);
  Soldier(img, 316, 298, Sh(kBlueR, 8), true);
}

void Cliff(Image& img) {
  // A sandstone crag round the waterfall, its top ragged, its strata
  // leaning, cracks dark; the pool at its foot.
  for (int x = 330; x <= 446; ++x) {
    const int d = std::abs(x - 384);
    const int top = 116 + d * d / 60 + (int)(6 * std::sin(x * 0.31)) + (int)(TextureHash(x / 3, 0, 80) % 4);
    for (int y = top; y < 300; ++y) {
      const int layer = ((y + x / 6) / 8) % 3;
      int shade = 7 + layer + (int)(TextureHash(x / 4, y / 3, 81) % 3) - (x > 392 ? 2 : 0) - (y - top < 3 ? -3 : 0);
      if (TextureHash(x / 2, y / 11, 84) % 17 == 0) shade -= 5;
      img.Set(x, y, Sh(kSandR, shade));
    }
  }
  // The falling water (the movie plays over it at 352, 120).
  for (int y = 128; y < 250; ++y)
    for (int x = 371; x <= 396; ++x)
      img.Set(x, y, Sh(kWaterR, 8 + (int)(TextureHash(x, y / 7, 82) % 6)));
  FilledEllipse(img, 388, 268, 56, 18, Sh(kSandR, 4));
  FilledEllipse(img, 388, 266, 50, 14, Sh(kWaterR, 5));
  FilledEllipse(img, 388, 263, 42, 9, Sh(kWaterR, 8));
  for (int k = 0; k < 40; ++k)
    img.Set(346 + (int)(TextureHash(k, 1, 83) % 84), 256 + (int)(TextureHash(k, 2, 83) % 16), kWhite);
  // Ferns at the rock's foot.
  for (int k = 0; k < 7; ++k) {
    const int fx = 334 + k * 17, fy = 292;
    for (int a = -2; a <= 2; ++a) RoundLine(img, fx, fy, fx + a * 4, fy - 9 + std::abs(a) * 2, Sh(kForestR, 9 + a % 2), 0);
  }
}

void Gate(Image& img) {
  Blocks(img, 446, 176, 520, 300, kSlateR, 9, 16, 10, 91);
  for (int c = 0; c < 4; ++c) Blocks(img, 446 + c * 20, 164, 446 + c * 20 + 12, 176, kSlateR, 10, 12, 6, 92);
  // The arch open to the road, the town's roofs beyond, the doors swung in.
  for (int y = 206; y <= 300; ++y) {
    const int half = y < 222 ? (int)std::sqrt(std::max(0.0, 256.0 - (222.0 - y) * (222.0 - y))) : 16;
    for (int x = 483 - half; x <= 483 + half; ++x) img.Set(x, y, Sh(kBlueR, 12));
  }
  Grain(img, 467, 262, 499, 300, kSandR, 11, 2, 2, 93);
  for (int k = 0; k < 3; ++k) {
    const int hx = 470 + k * 10;
    FillRect(img, hx, 244 - k * 3, hx + 8, 262, Sh(kSandR, 13));
    for (int y = 0; y < 6; ++y) FillRect(img, hx - 1 + y / 2, 238 - k * 3 + y, hx + 9 - y / 2, 238 - k * 3 + y, Sh(kRedR, 8));
  }
  Planks(img, 452, 220, 465, 300, 7, 4, 94);
  Planks(img, 502, 220, 515, 300, 7, 4, 95);
  FillRect(img, 458, 188, 508, 198, Sh(kParchmentRamp, 13));  // the sign to the town
  FrameRect(img, 458, 188, 508, 198, Sh(kWoodRamp, 3));
  DrawTextCentred(img, 458, 188, 508, 198, "TOWN", 1, Sh(kWoodRamp, 2), kTransparent);
}

void Smithy(Image& img) {
  // Half-timbered walls, the roof, the chimney under the smoke's place.
  Grain(img, 524, 250, 639, 465, kSandR, 12, 2, 2, 101);
  for (int x = 524; x <= 639; x += 28) FillRect(img, x, 250, x + 4, 465, Sh(kWoodRamp, 3));
  FillRect(img, 524, 300, 639, 304, Sh(kWoodRamp, 3));
  RoundLine(img, 528, 300, 552, 254, Sh(kWoodRamp, 3), 1);
  Blocks(img, 570, 186, 588, 250, kRedR, 7, 8, 4, 102);
  ShedRoof(img, 520, 236, 639, 214, 18, kSlateR, 8, 103);
  Blocks(img, 570, 186, 588, 232, kRedR, 7, 8, 4, 104);
  FillRect(img, 568, 184, 590, 187, Sh(kSlateR, 5));
  // The open forge where the smith works (the movie plays at 528, 320).
  Blocks(img, 528, 320, 631, 431, kSlateR, 3, 24, 12, 105);
  for (int y = 340; y < 370; ++y)
    for (int x = 536; x < 566; ++x) img.Set(x, y, Sh(kOrangeRamp, 9 + (int)(TextureHash(x / 2, y / 2, 106) % 5)));
  FillRect(img, 584, 392, 604, 398, Sh(kSlateR, 6));  // anvil
  FillRect(img, 590, 398, 598, 420, Sh(kSlateR, 4));
  FrameRect(img, 527, 319, 632, 432, kBlack);
  FillRect(img, 524, 312, 639, 318, Sh(kWoodRamp, 5));
  // The smith's sign: a hammer over an anvil.
  FillRect(img, 594, 262, 632, 292, Sh(kParchmentRamp, 12));
  FrameRect(img, 594, 262, 632, 292, Sh(kWoodRamp, 2));
  FillRect(img, 603, 280, 623, 284, kBlack);
  FillRect(img, 609, 284, 617, 289, kBlack);
  RoundLine(img, 602, 268, 618, 276, Sh(kWoodRamp, 4), 1);
  FillRect(img, 616, 270, 624, 278, kBlack);
  // Finished blades leaning by the door, and a grindstone.
  for (int k = 0; k < 4; ++k) FillRect(img, 528 + k * 5 - 2, 440 - 20, 528 + k * 5, 462, Sh(kSlateR, 13 - k));
  FilledCircle(img, 600, 452, 10, Sh(kSlateR, 9));
  FilledCircle(img, 600, 452, 2, kBlack);
}

void ArtilleryPark(Image& img) {
  Catapult(img, 18, 420);
  Ballista(img, 110, 455);
  // Stone balls piled by the catapult, a barrel.
  for (int k = 0; k < 6; ++k) FilledCircle(img, 112 + (k % 3) * 9 + (k / 3) * 4, 394 - (k / 3) * 8, 4, Sh(kSlateR, 7 + k % 3));
  FillRect(img, 160, 380, 180, 404, Sh(kWoodRamp, 7));
  FillRect(img, 160, 386, 180, 388, Sh(kSlateR, 4));
  FillRect(img, 160, 396, 180, 398, Sh(kSlateR, 4));
  Soldier(img, 96, 440, Sh(kRedR, 6), false);
}

void DrillGround(Image& img) {
  // A low fence, dummies, an archery target, a rack and a file of soldiers.
  for (int x = 214; x <= 512; x += 24) FillRect(img, x, 318, x + 3, 338, Sh(kWoodRamp, 5));
  FillRect(img, 214, 322, 515, 324, Sh(kWoodRamp, 7));
  Dummy(img, 240, 400);
  Dummy(img, 276, 396);
  Target(img, 330, 372, 16);
  WeaponRack(img, 440, 512, 420);
  for (int s = 0; s < 5; ++s) Soldier(img, 240 + s * 24, 458, Sh(kBlueR, 7 + s % 2), true);
  Soldier(img, 384, 452, Sh(kRedR, 9), false);  // the sergeant
  RoundShield(img, 420, 444, 8, kRedR);
  RoundShield(img, 476, 446, 8, kBlueR);
}

void SignBoard(Image& img) {
  Grain(img, 166, 2, 474, 34, kWoodRamp, 7, 2, 2, 111);
  FrameRect(img, 166, 2, 474, 34, kBlack);
  FillRect(img, 172, 8, 468, 28, kTitleBar);
  FrameRect(img, 171, 7, 469, 29, Sh(kWoodRamp, 12));
}

// The requester panel's frame, title band and button faces.
void Frame(Image& img, uint32_t seed) {
  ParchmentFill(img, 0, 0, img.width - 1, img.height - 1, seed);
  WoodFrame(img, 0, 0, img.width - 1, img.height - 1, 6);
  Grain(img, 80 - kReqX, 74 - kReqY, 559 - kReqX, 96 - kReqY, kParchmentRamp, 14, 2, 2, seed + 1);
  FrameRect(img, 80 - kReqX - 1, 74 - kReqY - 1, 559 - kReqX + 1, 96 - kReqY + 1, kBlack);
}

// A list frame round the box (x1, y1)-(x2, y2) with its slider column,
// in screen coordinates of the layout.
void ListFrame(Image& img, int x1, int y1, int x2, int y2, int sx1, int sx2) {
  const int ax = x1 - kReqX, ay = y1 - kReqY, bx = x2 - kReqX, by = y2 - kReqY;
  FillRect(img, ax, ay, bx, by, kGreen);  // the box's own ground (pen 11)
  FrameRect(img, ax - 1, ay - 1, bx + 1, by + 1, kBlack);
  FrameRect(img, ax - 2, ay - 2, bx + 2, by + 2, Sh(kWoodRamp, 5));
  FillRect(img, sx1 - kReqX, ay, sx2 - kReqX, by, Sh(kWoodRamp, 4));
  FrameRect(img, sx1 - kReqX - 1, ay - 1, sx2 - kReqX + 1, by + 1, kBlack);
}

// A counter box (its ground is filled by the program).
void CounterBox(Image& img, int x1, int y1, int x2, int y2) {
  FillRect(img, x1 - kReqX, y1 - kReqY, x2 - kReqX, y2 - kReqY, kLightGrey);
  FrameRect(img, x1 - kReqX - 1, y1 - kReqY - 1, x2 - kReqX + 1, y2 - kReqY + 1, kBlack);
  FrameRect(img, x1 - kReqX - 2, y1 - kReqY - 2, x2 - kReqX + 2, y2 - kReqY + 2, Sh(kWoodRamp, 6));
}

// A captioned button face (the gadget draws no image of its own).
void Face(Image& img, int x1, int y1, int x2, int y2, const std::string& caption) {
  const int ax = x1 - kReqX, ay = y1 - kReqY, bx = x2 - kReqX, by = y2 - kReqY;
  Grain(img, ax, ay, bx, by, kWoodRamp, 9, 2, 2, 121);
  FrameRect(img, ax - 1, ay - 1, bx + 1, by + 1, kBlack);
  Bevel(img, ax, ay, bx, by, false);
  DrawTextCentred(img, ax + 1, ay + 1, bx - 1, by - 1, caption, 1, kWhite, kBlack);
}

}  // namespace

const Palette& BarracksPalette() {
  static const Palette p = [] {
    Palette q = SharedPalette();
    q[11] = {240, 230, 200};  // the list boxes' ground
    q[22] = {226, 208, 164};  // the counters' ground, the sliders' track
    q[24] = {92, 60, 28};     // the sliders' dark edge
    q[25] = {236, 210, 150};  // their light edge
    q[26] = {150, 104, 52};   // the knob
    return q;
  }();
  return p;
}

void AvoidBarracksPens(Image& img) {
  for (uint8_t& c : img.px) {
    if (c == 11) c = kGreenR + 8;
    else if (c >= 22 && c <= 26) c = (uint8_t)(kSlateR + (c - 16));
  }
}

bool DrawBarracksYard(Image& img) {
  if (img.width != 640 || img.height != 480) return false;
  Sky(img);
  Yard(img);
  Cliff(img);
  Watchtower(img);
  Stables(img);
  Quarters(img);
  Gate(img);
  Smithy(img);
  ArtilleryPark(img);
  DrillGround(img);
  SignBoard(img);
  AvoidBarracksPens(img);
  return true;
}

bool DrawBarracksRequester(Image& img, int kind, std::string* err) {
  if (img.width != 508 || img.height != 344) {
    *err = "a barracks requester is 508 x 344";
    return false;
  }
  Frame(img, 130 + (uint32_t)kind);
  if (kind == 1) {  // army management
    ListFrame(img, 82, 118, 247, 285, 249, 264);
    ListFrame(img, 282, 118, 539, 285, 542, 557);
    CounterBox(img, 84, 312, 164, 328);
    CounterBox(img, 196, 312, 236, 328);
    CounterBox(img, 268, 312, 368, 328);
    CounterBox(img, 384, 312, 454, 328);
    CounterBox(img, 488, 312, 538, 328);
    const char* const kCaptions[7] = {"New army", "Add part", "Join", "Split", "Disband", "Supply", "Rename"};
    for (int b = 0; b < 7; ++b) Face(img, 80 + b * 70, 344, 143 + b * 70, 362, kCaptions[b]);
  } else if (kind == 2) {  // training
    ListFrame(img, 82, 118, 247, 300, 249, 264);
    ListFrame(img, 282, 118, 539, 300, 542, 557);
    CounterBox(img, 140, 330, 200, 346);
    CounterBox(img, 270, 330, 370, 346);
    Face(img, 400, 328, 479, 346, "Train");
    Face(img, 486, 328, 565, 346, "End training");
  } else if (kind == 3) {  // weapons
    ListFrame(img, 82, 118, 229, 320, 231, 246);
    ListFrame(img, 394, 118, 539, 320, 542, 557);
    FillRect(img, 258 - kReqX, 146 - kReqY, 381 - kReqX, 192 - kReqY, Sh(kParchmentRamp, 14));
    FrameRect(img, 257 - kReqX, 145 - kReqY, 382 - kReqX, 193 - kReqY, Sh(kWoodRamp, 4));
    CounterBox(img, 258, 172, 381, 188);
    Face(img, 280, 204, 359, 222, "Next value");
    Face(img, 280, 250, 359, 268, "Equip");
    Face(img, 280, 280, 359, 298, "Take off");
  } else {
    *err = "barracksreq 1..3";
    return false;
  }
  return true;
}

bool DrawBarracksArrow(Image& img, bool right, bool pressed) {
  FillRect(img, 0, 0, img.width - 1, img.height - 1, Sh(kWoodRamp, pressed ? 6 : 9));
  Bevel(img, 0, 0, img.width - 1, img.height - 1, pressed);
  const int cy = img.height / 2, d = pressed ? 1 : 0;
  for (int k = 0; k < 5; ++k) {
    const int x = right ? 5 + k : 10 - k;
    FillRect(img, x + d, cy - 4 + k + d, x + d, cy + 4 - k + d, kBlack);
  }
  return true;
}

}  // namespace datakit
