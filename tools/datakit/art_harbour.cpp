// The harbour's pictures: the harbour (519) with the quay and its water at
// (88, 97, 288 x 178), the green shore where the mill turns at (544, 108),
// the harbour master's house, the shipyard's slipway, the repair slip and
// the roads to the map and the town, each with a sign; the quay area with a
// ship lying at it (521, 288 x 178); the shipyard's requester (520) and the
// repair yard's (1138), 480 x 320 each, with their list wells, sliders,
// arrows, panels and buttons where their layouts put them.
#include <algorithm>
#include <cmath>
#include <string>

#include "art.h"

namespace datakit {
namespace {

constexpr uint8_t kBlueR = 112, kGreenR = 96, kSlate = 176, kSand = 208, kWater = 224, kRedR = 80;

uint32_t Noise(int x, int y, uint32_t seed) { return TextureHash(x, y, seed); }

// Stone blocks of the slate ramp with dark joints.
void Stones(Image& img, int x1, int y1, int x2, int y2, int shade, int bw, int bh) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      const int row = (y - y1) / bh, off = (row & 1) * (bw / 2);
      const bool joint = (y - y1) % bh == 0 || (x - x1 + off) % bw == 0;
      const int v = joint ? shade - 5 : shade - (int)(Noise((x - x1 + off) / bw, row, 7) % 3);
      img.Set(x, y, (uint8_t)(kSlate + std::clamp(v, 0, 15)));
    }
}

// Planks of the wood ramp, horizontal.
void Planks(Image& img, int x1, int y1, int x2, int y2, int shade, int plank) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      const bool seam = (y - y1) % plank == 0 || (x + ((y - y1) / plank) * 37) % 61 == 0;
      const int v = seam ? shade - 4 : shade + (int)(Noise(x / 5, y, 3) % 2);
      img.Set(x, y, (uint8_t)(kWoodRamp + std::clamp(v, 0, 15)));
    }
}

// Sea with wave streaks, lighter towards the horizon.
void Sea(Image& img, int x1, int y1, int x2, int y2, uint32_t seed) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      const int depth = 11 - (y - y1) * 6 / std::max(1, y2 - y1);
      const bool crest = (Noise(x / 9, y / 2, seed) % 23) == 0;
      img.Set(x, y, (uint8_t)(kWater + std::clamp(crest ? depth + 4 : depth, 0, 15)));
    }
}

// A sign board with a caption.
void Sign(Image& img, int x1, int y1, int x2, int y2, const std::string& caption) {
  const int cx = (x1 + x2) / 2;
  FillRect(img, cx - 2, y2, cx + 2, y2 + 16, kWoodRamp + 3);
  Shaded(img, x1, y1, x2, y2, kWoodRamp, 11);
  FrameRect(img, x1 + 2, y1 + 2, x2 - 2, y2 - 2, kWoodRamp + 6);
  DrawTextCentred(img, x1, y1, x2, y2, caption, 1, kInk, kTransparent);
}

// A ship seen from the side, its hull's keel at y, bow at the right.
void Ship(Image& img, int x1, int x2, int y, bool sails) {
  const int len = x2 - x1;
  for (int r = 0; r < 34; ++r) {  // the hull: rows narrowing towards the keel
    const int inset = r * r / 40, yy = y - r;
    for (int x = x1 + inset; x <= x2 - inset / 2; ++x)
      img.Set(x, yy, (uint8_t)(kWoodRamp + (r > 28 ? 10 : r % 7 == 0 ? 3 : 6 + (int)(Noise(x / 6, r, 9) % 2))));
  }
  FillRect(img, x1 + 8, y - 36, x2 - 4, y - 33, kWoodRamp + 12);  // the rail
  for (int x = x1 + 30; x < x2 - 20; x += 22) FilledCircle(img, x, y - 22, 3, kWoodRamp + 1);  // oar ports
  const int masts[2] = {x1 + len * 2 / 5, x1 + len * 3 / 4};
  for (int m = 0; m < 2; ++m) {
    const int mx = masts[m], top = y - 150 + m * 20;
    FillRect(img, mx - 2, top, mx + 2, y - 34, kWoodRamp + 4);
    if (!sails) continue;
    for (int yy = top + 10; yy < y - 48; ++yy) {
      const int half = 26 + (yy - top) / 6 + (int)(std::sin((yy - top) * 0.05) * 6);
      for (int x = mx - half; x <= mx + half; ++x)
        img.Set(x, yy, (uint8_t)(kParchmentRamp + 14 - std::abs(x - mx) * 5 / std::max(1, half)));
    }
    FillRect(img, mx - 30, top + 9, mx + 30, top + 10, kWoodRamp + 5);
    FillRect(img, mx - 6, top + 40, mx + 6, top + 56, kRedR + 9);  // the realm's badge on the sail
  }
  Sea(img, x1 - 6, y - 2, x2 + 6, y + 3, 31);  // water along the waterline
}

// The whole harbour; with a ship lying at the quay when ship is set.
void Harbour(Image& img, bool ship) {
  // Sky and far hills.
  for (int y = 0; y < 100; ++y) FillRect(img, 0, y, 639, y, (uint8_t)(kBlueR + std::min(15, 14 - (y - 60) / 20)));
  for (int x = 0; x < 640; ++x) {
    const int top = 92 + (int)(std::sin(x * 0.02) * 8 + std::sin(x * 0.05) * 4);
    FillRect(img, x, top, x, 100, (uint8_t)(kSlate + 9));
  }
  for (int k = 0; k < 4; ++k) FilledEllipse(img, 60 + k * 150, 30 + k % 2 * 14, 34, 9, kGreyRamp + 14);  // clouds
  // The sea behind the quay and the shore on the right.
  Sea(img, 0, 100, 430, 250, 5);  // under the shore's edge as well
  for (int y = 98; y < 480; ++y) {
    const int edge = 395 + (int)(std::sin(y * 0.04) * 10) + std::max(0, 110 - y) * 2;
    Texture(img, edge, y, 639, y, kGreenR, 8, 3, 2);
  }
  // The quay: stone wall with bollards, planks behind it.
  Stones(img, 0, 250, 400, 290, 10, 28, 10);
  FillRect(img, 0, 250, 400, 252, kSlate + 13);
  for (int x = 40; x < 400; x += 90) Shaded(img, x, 240, x + 10, 252, kSlate, 5);
  // The docks: sand and planks.
  Texture(img, 0, 291, 410, 479, kSand, 9, 3, 6);
  Planks(img, 0, 291, 410, 300, 9, 5);
  if (ship) Ship(img, 130, 350, 246, true);
  // The harbour master's house at 400..530, 110..270 (KONT).
  Stones(img, 410, 160, 520, 262, 11, 18, 9);
  for (int y = 110; y < 160; ++y) {
    const int half = (y - 110) * 65 / 50;
    FillRect(img, 465 - half, y, 465 + half, y, (uint8_t)(kRedR + 6 + (y % 6 == 0 ? -2 : 0)));
  }
  Shaded(img, 452, 220, 478, 262, kWoodRamp, 5);
  for (int wx : {420, 492}) {
    Shaded(img, wx, 180, wx + 18, 200, kWoodRamp, 3);
    FillRect(img, wx + 3, 183, wx + 15, 197, kGold);
  }
  Sign(img, 408, 136 + 30, 522, 154 + 30, "HARBOUR MASTER");
  // The shipyard (SCHI, 20..200 x 300..450): a slipway with a ship's ribs
  // and a crane.
  Planks(img, 24, 360, 196, 446, 7, 6);
  for (int x = 40; x <= 180; x += 14) {
    for (int a = 0; a < 40; ++a) {
      const int yy = 420 - (int)(std::sin(a * 0.04) * 45);
      img.Set(x, yy - a / 2, kWoodRamp + 11);
      img.Set(x + 1, yy - a / 2, kWoodRamp + 8);
    }
  }
  FillRect(img, 34, 418, 186, 424, kWoodRamp + 10);  // the keel
  FillRect(img, 186, 318, 190, 446, kWoodRamp + 4);    // the crane
  FillRect(img, 140, 318, 190, 322, kWoodRamp + 4);
  FillRect(img, 146, 322, 146, 350, kGreyRamp + 3);
  Sign(img, 30, 308, 130, 326, "SHIPYARD");
  // The repair slip (REPA, 220..400 x 300..450): a hull on blocks in scaffolding.
  Planks(img, 224, 380, 396, 446, 6, 6);
  Ship(img, 236, 390, 420, false);
  for (int x = 240; x <= 380; x += 35) FillRect(img, x, 330, x + 2, 446, kWoodRamp + 5);
  FillRect(img, 236, 352, 392, 355, kWoodRamp + 8);
  for (int x = 250; x <= 380; x += 40) Shaded(img, x, 422, x + 16, 446, kSlate, 8);
  Sign(img, 250, 306, 370, 324, "REPAIR SLIP");
  // The roads: to the map (MAP0, 420..620 x 300..380) and to the town (STAD,
  // 420..620 x 390..470).
  for (int y = 300; y < 480; ++y) {
    const int cx = 520 + (y - 300) / 4, half = 14 + (y - 300) / 5;
    Texture(img, cx - half, y, cx + half, y, kSand, 7, 3, 9);
  }
  Sign(img, 440, 318, 600, 340, "TO THE MAP");
  FilledCircle(img, 612, 350, 10, kParchmentRamp + 14);  // a compass rose on the sign post
  FillRect(img, 611, 341, 613, 359, kRedR + 8);
  FillRect(img, 603, 349, 621, 351, kInk);
  Sign(img, 440, 410, 600, 432, "TO THE TOWN");
  Stones(img, 566, 396, 632, 470, 9, 16, 8);  // the town gate
  FillRect(img, 584, 418, 614, 470, kWoodRamp + 2);
  FilledEllipse(img, 599, 418, 15, 10, kWoodRamp + 2);
  // The title board.
  Shaded(img, 172, 6, 468, 30, kWoodRamp, 6);
  FrameRect(img, 174, 8, 466, 28, kGoldRamp + 8);
}

const Image& Scene(bool ship) {
  static const Image plain = [] {
    Image i(640, 480, kBlack);
    Harbour(i, false);
    return i;
  }();
  static const Image with = [] {
    Image i(640, 480, kBlack);
    Harbour(i, true);
    return i;
  }();
  return ship ? with : plain;
}

// A parchment requester in a wooden frame, its title band left plain.
void RequesterFrame(Image& img) {
  const int w = img.width, h = img.height;
  Texture(img, 0, 0, w - 1, h - 1, kParchmentRamp, 12, 3, 520);
  WoodFrame(img, 0, 0, w - 1, h - 1, 6);
  FillRect(img, 18, 7, w - 19, 33, kParchmentRamp + 14);
  FrameRect(img, 17, 6, w - 18, 34, kWoodRamp + 4);
}

// A list well with its slider track and arrows (screen rectangles of the
// layouts, made relative to the requester at 80, 80).
void ListWell(Image& img, int x1, int y1, int x2, int y2, int sx) {
  const int ox = 80, oy = 80;
  FillRect(img, x1 - ox, y1 - oy, x2 - ox, y2 - oy, kParchmentRamp + 2);
  FrameRect(img, x1 - ox - 1, y1 - oy - 1, x2 - ox + 1, y2 - oy + 1, kDarkGold);
  FrameRect(img, x1 - ox - 2, y1 - oy - 2, x2 - ox + 2, y2 - oy + 2, kWoodRamp);
  FillRect(img, sx - ox, y1 + 16 - oy, sx + 13 - ox, y2 - 16 - oy, kGreyRamp + 6);
  FrameRect(img, sx - ox, y1 + 16 - oy, sx + 13 - ox, y2 - 16 - oy, kBlack);
  for (int k = 0; k < 2; ++k) {
    const int ty = k == 0 ? y1 - oy : y2 - 13 - oy;
    Shaded(img, sx - ox, ty, sx + 13 - ox, ty + 13, kWoodRamp, 10);
    for (int i = 0; i <= 4; ++i) {
      const int row = k == 0 ? ty + 4 + i : ty + 9 - i;
      FillRect(img, sx - ox + 7 - i, row, sx - ox + 6 + i, row, kInk);
    }
  }
}

void Knob(Image& img, int x1, int y1, int x2, int y2, const std::string& caption) {
  const int ox = 80, oy = 80;
  Shaded(img, x1 - ox, y1 - oy, x2 - ox, y2 - oy, kWoodRamp, 11);
  DrawTextCentred(img, x1 - ox, y1 - oy, x2 - ox, y2 - oy, caption, 1, kInk, kTransparent);
}

}  // namespace

bool DrawHarbour(Image& img) {
  img.px = Scene(false).px;
  return true;
}

bool DrawHarbourShip(Image& img) {
  const Image& s = Scene(true);
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x) img.Set(x, y, s.Get(88 + x, 97 + y));
  return true;
}

bool DrawShipyardRequester(Image& img) {
  RequesterFrame(img);
  ListWell(img, 100, 142, 283, 330, 286);
  ListWell(img, 340, 142, 523, 330, 526);
  Knob(img, 120, 350, 240, 380, "OK");
  Knob(img, 400, 350, 520, 380, "EXIT");
  return true;
}

bool DrawRepairRequester(Image& img) {
  RequesterFrame(img);
  ListWell(img, 100, 142, 283, 330, 286);
  // The panels' ground: a ledger beside the list.
  FillRect(img, 305 - 80, 132 - 80, 545 - 80, 306 - 80, kParchmentRamp + 13);
  FrameRect(img, 305 - 80, 132 - 80, 545 - 80, 306 - 80, kWoodRamp + 4);
  FillRect(img, 310 - 80, 216 - 80, 540 - 80, 216 - 80, kWoodRamp + 6);
  for (int k = 0; k < 2; ++k) {  // the arrows beside the amount
    const int x1 = k == 0 ? 420 : 523;
    Shaded(img, x1 - 80, 232 - 80, x1 + 16 - 80, 248 - 80, kWoodRamp, 10);
    for (int i = 0; i <= 4; ++i) {
      const int col = k == 0 ? x1 - 80 + 5 + i : x1 - 80 + 11 - i;
      FillRect(img, col, 240 - 80 - i, col, 240 - 80 + i, kInk);
    }
  }
  Knob(img, 110, 350, 210, 380, "HELP");
  Knob(img, 270, 350, 370, 380, "OK");
  Knob(img, 430, 350, 530, 380, "EXIT");
  return true;
}

}  // namespace datakit
