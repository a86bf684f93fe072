// The diplomacy screen's pictures: the council chamber with its five
// stations (34), the scroll cabinet where contracts are read (273), the
// merchant's counting room of the trade form (274), the throne hall with a
// kneeling vassal (275) and the writing desk with a broken seal (276), which
// the cancel and the letters sub-screens share. The places of the boxes and buttons are those of the
// layouts Diplomatie*.txt.
#include <algorithm>
#include <cmath>
#include <string>

#include "art.h"

namespace datakit {
namespace {

constexpr uint8_t kRedR = 80, kGreenR = 96, kBlueR = 112, kPurple = 144, kSlate = 176, kSand = 208;

uint32_t Grain(int x, int y, uint32_t seed) { return TextureHash(x, y, seed); }

uint8_t Ramp(uint8_t ramp, int v) { return (uint8_t)(ramp + std::clamp(v, 0, 15)); }

// Dressed stone with joints.
void Wall(Image& img, int x1, int y1, int x2, int y2, uint8_t ramp, int light) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      const int row = y / 24, shift = (row & 1) * 22;
      const bool joint = y % 24 == 0 || (x + shift) % 44 == 0;
      img.Set(x, y, Ramp(ramp, joint ? light - 5 : light - (int)(Grain(x / 2, y / 2, 5) % 3)));
    }
}

// Planks along x with grain.
void Wood(Image& img, int x1, int y1, int x2, int y2, int light, int plank = 12) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      const bool seam = (y - y1) % plank == 0;
      const int streak = (int)((Grain(x / 9, (y - y1) / 2, 11) % 3));
      img.Set(x, y, Ramp(kWoodRamp, seam ? light - 5 : light - streak));
    }
}

// Flagstones in rows that narrow towards the back.
void Floor(Image& img, int y1, int y2) {
  for (int y = y1; y <= y2; ++y) {
    const int depth = (y - y1) * 10 / std::max(1, y2 - y1);
    const int size = 14 + depth * 4;
    for (int x = 0; x < img.width; ++x) {
      const bool joint = (y - y1) % size == 0 || (x + (((y - y1) / size) & 1) * size / 2) % (size * 2) == 0;
      img.Set(x, y, Ramp(kGreyRamp, joint ? 3 : 6 + depth / 3 - (int)(Grain(x / 3, y / 3, 7) % 2)));
    }
  }
}

// Parchment with fibres, framed dark.
void Parchment(Image& img, int x1, int y1, int x2, int y2) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      const int edge = std::min({x - x1, x2 - x, y - y1, y2 - y});
      const int v = 13 - (edge < 4 ? 4 - edge : 0) - (int)(Grain(x / 2, y, 3) % 2);
      img.Set(x, y, Ramp(kParchmentRamp, v));
    }
}

void Tri(Image& img, int cx, int top, int half, int bottom, uint8_t c) {
  for (int y = top; y <= bottom; ++y) {
    const int w = half * (y - top) / std::max(1, bottom - top);
    FillRect(img, cx - w, y, cx + w, y, c);
  }
}

// A banner of a foreign realm hanging from a rod: cloth of a ramp, a
// forked end and an emblem (0 tower, 1 star, 2 crossed lines, 3 circle).
void Banner(Image& img, int x1, int y1, int w, int h, uint8_t ramp, int emblem) {
  RoundLine(img, x1 - 6, y1, x1 + w + 6, y1, kGoldRamp + 6, 2);
  for (int y = y1 + 3; y <= y1 + h; ++y)
    for (int x = x1; x < x1 + w; ++x) {
      const int fork = y - (y1 + h - w / 2);
      if (fork > 0 && std::abs(x - (x1 + w / 2)) < w / 2 - fork) continue;
      const int fold = (x - x1) % 12 < 2 ? -2 : 0;
      img.Set(x, y, Ramp(ramp, 10 + fold - (int)(Grain(x, y / 3, 9) % 2)));
    }
  FrameRect(img, x1, y1 + 3, x1 + w - 1, y1 + 8, kGold);
  const int cx = x1 + w / 2, cy = y1 + h / 2 - 4;
  switch (emblem) {
    case 0:
      FillRect(img, cx - 7, cy - 10, cx + 7, cy + 12, kGold);
      for (int i = -7; i <= 5; i += 6) FillRect(img, cx + i, cy - 15, cx + i + 2, cy - 10, kGold);
      FillRect(img, cx - 2, cy + 4, cx + 2, cy + 12, Ramp(ramp, 3));
      break;
    case 1:
      for (int a = 0; a < 5; ++a) {
        const double t = a * 2 * 3.14159 / 5 - 3.14159 / 2;
        RoundLine(img, cx, cy, cx + (int)(13 * std::cos(t)), cy + (int)(13 * std::sin(t)), kWhite, 2);
      }
      break;
    case 2:
      RoundLine(img, cx - 10, cy - 12, cx + 10, cy + 12, kGold, 2);
      RoundLine(img, cx + 10, cy - 12, cx - 10, cy + 12, kGold, 2);
      break;
    default:
      FilledCircle(img, cx, cy, 11, kGold);
      FilledCircle(img, cx, cy, 6, Ramp(ramp, 5));
      break;
  }
}

// A person seen from the front: robe, head, arms.
void Figure(Image& img, int cx, int top, int h, uint8_t robe, bool crown = false) {
  Tri(img, cx, top + h / 4, h / 4, top + h, robe);
  FillRect(img, cx - h / 10, top + h / 5, cx + h / 10, top + h / 3, robe);
  FilledCircle(img, cx, top + h / 8, h / 9, kSand + 11);
  FilledCircle(img, cx - h / 30, top + h / 9, 1, kBlack);
  FilledCircle(img, cx + h / 30, top + h / 9, 1, kBlack);
  if (crown) {
    FillRect(img, cx - h / 9, top, cx + h / 9, top + h / 30, kGold);
    for (int i = -1; i <= 1; ++i) Tri(img, cx + i * h / 12, top - h / 14, 2, top, kGold);
  }
}

void TitleBar(Image& img) {
  FillRect(img, 194, 3, 446, 31, kWoodRamp + 5);
  FrameRect(img, 194, 3, 446, 31, kBlack);
  Bevel(img, 195, 4, 445, 30, false);
  FillRect(img, 200, 8, 440, 26, kTitleBar);
}

// A wooden button with a caption in the built-in font.
void Button(Image& img, int x1, int y1, int x2, int y2, const char* caption) {
  Wood(img, x1, y1, x2, y2, 10, 64);
  FrameRect(img, x1 - 1, y1 - 1, x2 + 1, y2 + 1, kBlack);
  Bevel(img, x1, y1, x2, y2, false);
  DrawTextCentred(img, x1 + 1, y1 + 1, x2 - 1, y2 - 1, caption, 1, kWhite, kBlack);
}

// A list box place: a dark wooden frame round the box (which the program
// fills) and the slider's track with its arrows above and below.
void ListPlace(Image& img, int x1, int y1, int x2, int y2, int sx, int sy1, int sy2) {
  Wood(img, x1 - 6, y1 - 6, sx + 21, y2 + 6, 4, 8);
  FrameRect(img, x1 - 6, y1 - 6, sx + 21, y2 + 6, kBlack);
  FillRect(img, x1, y1, x2, y2, kParchment);
  FrameRect(img, x1 - 1, y1 - 1, x2 + 1, y2 + 1, kBlack);
  FillRect(img, sx, sy1, sx + 15, sy2, kGreyRamp + 6);
  FrameRect(img, sx - 1, sy1 - 1, sx + 16, sy2 + 1, kBlack);
}

// The document box's place on a parchment (313..right x 127..360, filled by
// the box in pen 215) and its slider's track at 579, 149..359.
void DocumentPlace(Image& img, int right) {
  for (int y = 127; y <= 360; ++y)
    for (int x = 313; x <= right; ++x) img.Set(x, y, Ramp(kSand, 7 - (int)(Grain(x / 3, y / 2, 8) % 2)));
  FrameRect(img, 312, 126, right + 1, 361, kParchmentRamp + 4);
  FillRect(img, 579, 149, 594, 359, kGreyRamp + 6);
  FrameRect(img, 578, 148, 595, 360, kBlack);
}

void Caption(Image& img, int x1, int y1, int x2, int y2, const char* text) {
  FillRect(img, x1, y1, x2, y2, kWoodRamp + 3);
  FrameRect(img, x1, y1, x2, y2, kGold);
  DrawTextCentred(img, x1 + 1, y1 + 1, x2 - 1, y2 - 1, text, 1, kGoldRamp + 14, kBlack);
}

// A rolled scroll lying on a shelf.
void Scroll(Image& img, int x, int y, int len, uint8_t ribbon) {
  FillRect(img, x, y - 5, x + len, y + 5, kParchmentRamp + 12);
  for (int i = 0; i <= len; i += 3) img.Set(x + i, y - 5 + (int)(Grain(i, y, 1) % 10), kParchmentRamp + 9);
  FilledEllipse(img, x, y, 3, 6, kParchmentRamp + 8);
  FilledEllipse(img, x + len, y, 3, 6, kParchmentRamp + 10);
  FilledCircle(img, x + len, y, 2, kParchmentRamp + 5);
  FillRect(img, x + len / 2 - 2, y - 6, x + len / 2 + 2, y + 6, ribbon);
}

// A cabinet of pigeonholes with scrolls.
void Cabinet(Image& img, int x1, int y1, int x2, int y2) {
  Wood(img, x1, y1, x2, y2, 7, 200);
  FrameRect(img, x1, y1, x2, y2, kBlack);
  const int cols = std::max(1, (x2 - x1) / 46), rows = std::max(1, (y2 - y1 - 10) / 34);
  const int cw = (x2 - x1 - 8) / cols, rh = (y2 - y1 - 10) / rows;
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c) {
      const int hx = x1 + 4 + c * cw, hy = y1 + 6 + r * rh;
      FillRect(img, hx + 2, hy + 2, hx + cw - 3, hy + rh - 3, kWoodRamp + 1);
      FrameRect(img, hx + 1, hy + 1, hx + cw - 2, hy + rh - 2, kWoodRamp + 11);
      const int n = 1 + (int)(Grain(r, c, 4) % 3);
      for (int k = 0; k < n; ++k)
        Scroll(img, hx + 6, hy + rh - 9 - k * 8, cw - 14, (uint8_t)(k & 1 ? kRedR + 9 : kBlueR + 9));
    }
}

// A wax seal: round, with a crack when broken.
void Seal(Image& img, int cx, int cy, int r, bool broken) {
  FilledCircle(img, cx, cy, r, kRedR + 7);
  FilledCircle(img, cx, cy, r - 3, kRedR + 10);
  for (int a = 0; a < 8; ++a) {
    const double t = a * 3.14159 / 4;
    img.Set(cx + (int)((r - 1) * std::cos(t)), cy + (int)((r - 1) * std::sin(t)), kRedR + 4);
  }
  FilledCircle(img, cx, cy, r / 3, kRedR + 5);
  if (broken) {
    RoundLine(img, cx - r - 2, cy - 3, cx - 2, cy + 2, kBlack, 1);
    RoundLine(img, cx - 2, cy + 2, cx + 3, cy - 4, kBlack, 1);
    RoundLine(img, cx + 3, cy - 4, cx + r + 3, cy + 5, kBlack, 1);
    FilledCircle(img, cx + r + 6, cy + 9, 3, kRedR + 8);  // a chip fallen off
  }
}

void Quill(Image& img, int x, int y) {
  RoundLine(img, x, y, x + 34, y - 44, kWhite, 3);
  RoundLine(img, x + 6, y - 8, x + 34, y - 44, kGreyRamp + 11, 1);
  RoundLine(img, x, y, x - 4, y + 6, kBlack, 1);
  FilledEllipse(img, x - 14, y + 6, 9, 5, kBlack);  // the ink pot
  FilledEllipse(img, x - 14, y + 3, 6, 2, kBlueR + 2);
}

}  // namespace

bool DrawCouncilChamber(Image& img) {
  Wall(img, 0, 0, 639, 300, kSlate, 9);
  Floor(img, 300, 479);
  // Banners of the foreign realms along the back wall.
  struct Place {
    int x, h;
    uint8_t ramp;
  };
  const Place banners[8] = {{50, 54, kGreenR}, {110, 54, kBlueR},  {186, 96, kRedR},   {222, 96, kPurple},
                            {394, 96, kBlueR}, {430, 96, kGreenR}, {500, 54, kPurple}, {570, 54, kRedR}};
  for (int i = 0; i < 8; ++i) Banner(img, banners[i].x, 36, 26, banners[i].h, banners[i].ramp, i % 4);
  // CH02: the liege's high seat at the back, the realm's banner above it.
  FillRect(img, 262, 64, 378, 196, kRedR + 5);
  Banner(img, 300, 34, 40, 60, kGoldRamp, 0);
  FillRect(img, 290, 110, 350, 196, kWoodRamp + 6);
  FrameRect(img, 290, 110, 350, 196, kBlack);
  FillRect(img, 298, 140, 342, 170, kRedR + 9);
  Figure(img, 320, 104, 80, kPurple + 8, true);
  Caption(img, 262, 200, 378, 214, "VASSALS");
  // The long table with its chairs and candles.
  for (int y = 236; y <= 356; ++y) {
    const int inset = (356 - y) / 3;
    for (int x = 180 + inset; x <= 460 - inset; ++x)
      img.Set(x, y, Ramp(kWoodRamp, 8 + (y - 236) / 30 - (int)(Grain(x / 12, y / 2, 3) % 2)));
  }
  FillRect(img, 180, 357, 460, 366, kWoodRamp + 3);
  RoundLine(img, 220, 236, 420, 236, kBlack, 0);
  RoundLine(img, 220, 236, 180, 356, kBlack, 0);
  RoundLine(img, 420, 236, 460, 356, kBlack, 0);
  FrameRect(img, 180, 357, 460, 366, kBlack);
  for (int i = 0; i < 5; ++i) {
    const int cx = 210 + i * 55;
    FillRect(img, cx - 12, 372, cx + 12, 400, kWoodRamp + 5);  // chair backs
    FrameRect(img, cx - 12, 372, cx + 12, 400, kBlack);
  }
  for (int i = 0; i < 3; ++i) {
    const int cx = 250 + i * 70;
    FillRect(img, cx - 2, 250, cx + 2, 270, kParchmentRamp + 14);
    FilledEllipse(img, cx, 245, 2, 5, kGoldRamp + 14);
  }
  Scroll(img, 240, 300, 60, kBlueR + 9);
  Scroll(img, 340, 290, 50, kRedR + 9);
  // CH00: the cabinet of contracts on the left.
  Cabinet(img, 24, 100, 168, 300);
  Caption(img, 24, 302, 168, 316, "CONTRACTS");
  // CH01: the merchants' counter with scales and goods on the right.
  Wood(img, 472, 200, 616, 300, 8, 20);
  FrameRect(img, 472, 200, 616, 300, kBlack);
  RoundLine(img, 544, 110, 544, 196, kGoldRamp + 6, 2);
  RoundLine(img, 500, 130, 588, 130, kGoldRamp + 8, 2);
  RoundLine(img, 500, 130, 500, 160, kGoldRamp + 5, 0);
  RoundLine(img, 588, 130, 588, 150, kGoldRamp + 5, 0);
  FilledEllipse(img, 500, 162, 16, 4, kGoldRamp + 10);
  FilledEllipse(img, 588, 152, 16, 4, kGoldRamp + 10);
  for (int i = 0; i < 3; ++i) FilledCircle(img, 584 + i * 5, 146 - (i & 1) * 4, 3, kGold);
  for (int i = 0; i < 3; ++i) {  // sacks of goods
    FilledEllipse(img, 492 + i * 42, 280, 16, 18, (uint8_t)(kSand + 8 + i));
    FillRect(img, 488 + i * 42, 258, 496 + i * 42, 263, kWoodRamp + 2);
  }
  Caption(img, 472, 302, 616, 316, "TRADE");
  // CH03: the desk where contracts are broken (lower left).
  Wood(img, 40, 380, 200, 440, 9, 20);
  FrameRect(img, 40, 380, 200, 440, kBlack);
  Parchment(img, 70, 350, 170, 392);
  Seal(img, 120, 384, 10, true);
  RoundLine(img, 72, 352, 168, 390, kRedR + 6, 1);
  Caption(img, 40, 442, 200, 456, "CANCEL");
  // CH04: the messengers' table with letters and a quill (lower right).
  Wood(img, 440, 380, 600, 440, 9, 20);
  FrameRect(img, 440, 380, 600, 440, kBlack);
  for (int i = 0; i < 3; ++i) {
    Parchment(img, 456 + i * 30, 352 + i * 4, 500 + i * 30, 384 + i * 4);
    Seal(img, 478 + i * 30, 368 + i * 4, 5, false);
  }
  Quill(img, 560, 380);
  Caption(img, 440, 442, 600, 456, "LETTERS");
  // EXIT: the door at the front.
  FillRect(img, 280, 404, 360, 470, kWoodRamp + 4);
  Wood(img, 284, 408, 356, 470, 6, 100);
  FrameRect(img, 280, 404, 360, 470, kBlack);
  FilledCircle(img, 348, 440, 3, kGold);
  DrawTextCentred(img, 280, 410, 360, 426, "EXIT", 1, kWhite, kBlack);
  TitleBar(img);
  return true;
}

// The sub-screens share the title bar, the EXIT button at the front and the
// left list box (the view and cancel screens: 40..259 x 127..360, its
// slider at 264, 149..359).
static void SubScreenFrame(Image& img, uint8_t wall) {
  Wall(img, 0, 0, 639, 479, wall, 8);
  TitleBar(img);
  Button(img, 280, 440, 360, 470, "EXIT");
}

bool DrawScrollCabinet(Image& img) {
  SubScreenFrame(img, kSlate);
  // The cabinets on both sides of the reading desk.
  Cabinet(img, 8, 40, 300, 110);
  Cabinet(img, 304, 40, 632, 110);
  ListPlace(img, 40, 127, 259, 360, 264, 149, 359);
  Caption(img, 40, 372, 258, 388, "CONTRACTS");
  // The reading desk with the unrolled contract (the document box lies on
  // it: 313..540 x 127..360, its slider at 579, 149..359).
  Wood(img, 296, 112, 620, 420, 6, 24);
  FrameRect(img, 296, 112, 620, 420, kBlack);
  Parchment(img, 304, 118, 610, 372);
  DocumentPlace(img, 540);
  FilledEllipse(img, 304, 245, 5, 130, kParchmentRamp + 8);  // the rolled ends
  FilledEllipse(img, 610, 245, 5, 130, kParchmentRamp + 8);
  Seal(img, 560, 390, 12, false);
  Quill(img, 420, 410);
  return true;
}

bool DrawVassalHall(Image& img) {
  SubScreenFrame(img, kSlate);
  Floor(img, 380, 479);
  Button(img, 280, 440, 360, 470, "EXIT");
  // The players' or senders' list (40..239 x 127..340) and the two views.
  ListPlace(img, 40, 127, 239, 340, 244, 149, 319);
  Button(img, 40, 350, 139, 374, "LORDS");
  Button(img, 140, 350, 239, 374, "OFFERS");
  // The offers of a lord (360..579 x 127..250) and the three deeds.
  ListPlace(img, 360, 127, 579, 250, 584, 149, 230);
  Button(img, 360, 270, 479, 296, "VASSALSHIP");
  Button(img, 360, 304, 479, 330, "PEACE");
  Button(img, 360, 338, 479, 364, "ALLIANCE");
  // The throne on its dais with the liege, and the vassal kneeling before
  // it with his sword laid down at the steps.
  for (int i = 0; i < 3; ++i) {
    FillRect(img, 496 + i * 8, 404 - i * 12, 636, 415 - i * 12, Ramp(kGreyRamp, 9 + i * 2));
    FrameRect(img, 496 + i * 8, 404 - i * 12, 636, 415 - i * 12, kBlack);
  }
  FillRect(img, 560, 282, 624, 380, kWoodRamp + 6);       // the throne's back
  FillRect(img, 568, 292, 616, 372, kRedR + 9);
  for (int i = 0; i < 3; ++i) Tri(img, 570 + i * 22, 266, 6, 282, kGold);
  FrameRect(img, 560, 282, 624, 380, kBlack);
  Figure(img, 592, 290, 100, kPurple + 8, true);
  // The vassal: bent back, head bowed towards the throne, one knee down.
  FilledEllipse(img, 512, 386, 22, 12, kBlueR + 6);               // the knee and leg
  for (int i = 0; i < 26; ++i) FilledEllipse(img, 506 + i, 360 - i / 2, 11, 13, kBlueR + 8);  // the back
  FillRect(img, 484, 390, 500, 402, kBlueR + 5);            // the foot behind
  FilledCircle(img, 538, 340, 10, kSand + 11);              // the bowed head
  FillRect(img, 530, 330, 546, 334, kWoodRamp + 3);         // hair
  RoundLine(img, 544, 352, 556, 372, kSand + 10, 2);        // the arm held out
  RoundLine(img, 470, 400, 552, 400, kGreyRamp + 14, 2);    // the sword laid down
  RoundLine(img, 486, 394, 486, 406, kGold, 2);
  Caption(img, 496, 424, 636, 438, "THE OATH");
  return true;
}

// A button's place whose caption the program prints: a wooden rim round a
// parchment face.
static void TagPlace(Image& img, int x1, int y1, int x2, int y2) {
  Wood(img, x1, y1, x2, y2, 9, 64);
  FrameRect(img, x1 - 1, y1 - 1, x2 + 1, y2 + 1, kBlack);
  Bevel(img, x1, y1, x2, y2, false);
  Parchment(img, x1 + 3, y1 + 3, x2 - 3, y2 - 3);
}

// A wooden arrow button (dir 2 left, 3 right).
static void ArrowButton(Image& img, int x1, int y1, int x2, int y2, int dir) {
  Button(img, x1, y1, x2, y2, "");
  const int cx = (x1 + x2) / 2, cy = (y1 + y2) / 2, n = (y2 - y1) / 3;
  for (int i = 0; i < n; ++i) {
    const int x = dir == 2 ? cx - n / 2 + i : cx + n / 2 - i;
    FillRect(img, x, cy - i, x, cy + i, kWhite);
  }
}

bool DrawSealDesk(Image& img) {
  SubScreenFrame(img, kGreyRamp);
  Wood(img, 0, 112, 639, 420, 7, 30);
  ListPlace(img, 40, 127, 259, 360, 264, 149, 359);
  // The arrows under the list and the button between them, whose caption
  // each sub-screen prints (cancel; read).
  ArrowButton(img, 40, 392, 88, 420, 2);
  TagPlace(img, 96, 392, 204, 420);
  ArrowButton(img, 212, 392, 260, 420, 3);
  // The letter on the desk (313..572 x 127..360, as wide as the letters'
  // text box; slider 579, 149..359) under a band for its heading
  // (313..594 x 102..122).
  Parchment(img, 300, 96, 606, 376);
  for (int y = 102; y <= 122; ++y)
    for (int x = 313; x <= 594; ++x) img.Set(x, y, Ramp(kSand, 7 - (int)(Grain(x / 3, y / 2, 6) % 2)));
  FrameRect(img, 312, 101, 595, 123, kParchmentRamp + 4);
  DocumentPlace(img, 572);
  // The broken seal, the ink and the quill below the desk's edge.
  Seal(img, 420, 452, 12, true);
  Quill(img, 520, 470);
  return true;
}

bool DrawCountingHouse(Image& img) {
  // Panelled walls, a plank floor, the title bar.
  Wood(img, 0, 0, 639, 479, 5, 40);
  for (int x = 0; x < 640; x += 80) FillRect(img, x, 0, x + 3, 479, kWoodRamp + 2);  // the panels' posts
  Wood(img, 0, 430, 639, 479, 8, 10);
  RoundLine(img, 0, 430, 639, 430, kBlack, 0);
  TitleBar(img);
  // The heading's band (24..451 x 40..66), the lords' list and the goods list.
  Parchment(img, 18, 36, 457, 70);
  ListPlace(img, 24, 77, 259, 387, 266, 108, 357);
  ListPlace(img, 311, 77, 425, 387, 436, 108, 357);
  // The frame of the goods picture (464..623 x 75..194), dark inside.
  FillRect(img, 456, 67, 631, 199, kGoldRamp + 5);
  FrameRect(img, 456, 67, 631, 199, kBlack);
  FrameRect(img, 459, 70, 628, 197, kGoldRamp + 12);
  FillRect(img, 463, 74, 624, 195, kBlack);
  FillRect(img, 464, 75, 623, 194, kBlack);
  // The value fields on parchment: quarters, units and gold each quarter
  // with their arrows, and the store.
  Parchment(img, 456, 200, 631, 366);
  static const char* const kLabels[4] = {"QUARTERS", "UNITS PER QUARTER", "GOLD PER QUARTER", "IN STORE"};
  for (int k = 0; k < 4; ++k) {
    const int y = 216 + 40 * k;
    DrawTextCentred(img, 464, y - 13, 623, y - 3, kLabels[k], 1, kInk, kTransparent);
    FillRect(img, 488, y, 599, y + 19, kWhite);
    FrameRect(img, 487, y - 1, 600, y + 20, kBlack);
    if (k < 3) {
      ArrowButton(img, 464, y, 483, y + 19, 2);
      ArrowButton(img, 604, y, 623, y + 19, 3);
    }
  }
  // The four buttons under the lists (offer, offers, heralds, reset).
  TagPlace(img, 24, 400, 124, 426);
  TagPlace(img, 132, 400, 240, 426);
  TagPlace(img, 248, 400, 348, 426);
  TagPlace(img, 356, 400, 451, 426);
  Button(img, 280, 440, 360, 470, "EXIT");
  // The merchant's scales above the sacks, barrels along the wall.
  RoundLine(img, 544, 378, 544, 424, kGoldRamp + 6, 1);
  RoundLine(img, 500, 384, 588, 384, kGoldRamp + 9, 1);
  RoundLine(img, 500, 384, 494, 404, kGoldRamp + 5, 0);
  RoundLine(img, 500, 384, 506, 404, kGoldRamp + 5, 0);
  RoundLine(img, 588, 384, 582, 398, kGoldRamp + 5, 0);
  RoundLine(img, 588, 384, 594, 398, kGoldRamp + 5, 0);
  FilledEllipse(img, 500, 406, 14, 3, kGoldRamp + 10);
  FilledEllipse(img, 588, 400, 14, 3, kGoldRamp + 10);
  for (int i = 0; i < 3; ++i) FilledCircle(img, 583 + i * 5, 396 - (i & 1) * 3, 3, kGold);
  FillRect(img, 530, 424, 558, 430, kWoodRamp + 4);
  for (int i = 0; i < 3; ++i) {  // sacks of grain and wool
    const int cx = 40 + i * 70;
    FilledEllipse(img, cx, 458, 26, 20, (uint8_t)(kSand + 6 + 2 * i));
    FilledEllipse(img, cx - 8, 450, 8, 6, (uint8_t)(kSand + 9 + 2 * i));
    FillRect(img, cx - 5, 436, cx + 5, 441, kWoodRamp + 2);
  }
  for (int i = 0; i < 3; ++i) {  // barrels: staves, iron hoops, the lid
    const int x1 = 396 + i * 80, x2 = x1 + 52;
    for (int y = 440; y <= 478; ++y) {
      const int bulge = (int)(5 * std::sin((y - 440) * 3.14159 / 38));
      for (int x = x1 - bulge; x <= x2 + bulge; ++x) {
        const bool seam = (x - x1 + 52) % 9 == 0;
        const int shade = 9 - std::abs(x - (x1 + x2) / 2) / 7;
        img.Set(x, y, Ramp(kWoodRamp, seam ? 2 : shade - (int)(Grain(x / 4, y, 12) % 2)));
      }
    }
    for (int hy : {446, 471}) {
      FillRect(img, x1 - 5, hy, x2 + 5, hy + 2, kGreyRamp + 4);
      RoundLine(img, x1 - 5, hy, x2 + 5, hy, kGreyRamp + 8, 0);
    }
    FilledEllipse(img, (x1 + x2) / 2, 440, 26, 4, kWoodRamp + 11);
    FilledEllipse(img, (x1 + x2) / 2, 440, 22, 2, kWoodRamp + 8);
  }
  return true;
}

}  // namespace datakit
