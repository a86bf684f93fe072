// The residence (picture 2) and its status marks: a hall with a door, a
// bookcase, a window onto the land, the alchemist's bench, the scribe's
// lectern, a desk and a thing for every gadget of the main screen, at the
// places the layouts Residenz0.txt and Residenz1.txt give them.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "art.h"

namespace datakit {
namespace {

constexpr uint8_t kSlate = 176, kRedRamp = 80, kGreenRamp = 96, kBlueRamp = 112, kForest = 192, kWater = 224,
                  kSand = 208, kPurple = 144;

uint32_t Noise(int x, int y, uint32_t seed) {
  uint32_t h = (uint32_t)x * 2654435761u ^ (uint32_t)y * 40503u ^ seed * 97u;
  h ^= h >> 15;
  h *= 2246822519u;
  return h ^ (h >> 13);
}

void Ellipse(Image& img, int cx, int cy, int rx, int ry, uint8_t fill, uint8_t edge) {
  for (int y = -ry; y <= ry; ++y)
    for (int x = -rx; x <= rx; ++x) {
      double d = (double)x * x / (rx * rx) + (double)y * y / (ry * ry);
      if (d <= 1.0) img.Set(cx + x, cy + y, d > 0.8 ? edge : fill);
    }
}

// Wooden planks, vertical (door) or horizontal (floor, desk).
void Planks(Image& img, int x1, int y1, int x2, int y2, int width, bool vertical, uint32_t seed) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      int along = vertical ? x - x1 : y - y1;
      int plank = along / width;
      int grain = (int)(Noise(vertical ? plank : x / 9, vertical ? y / 7 : plank, seed) % 3);
      uint8_t c = (uint8_t)(kWoodRamp + 5 + (plank % 3) + grain);
      if (along % width == 0) c = kWoodRamp + 1;
      img.Set(x, y, c);
    }
}

void StoneWall(Image& img, int x1, int y1, int x2, int y2) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      int row = (y - y1) / 22, off = row % 2 ? 19 : 0;
      bool joint = (y - y1) % 22 == 0 || (x - x1 + off) % 38 == 0;
      int shade = 5 + (int)(Noise((x + off) / 38, row, 7) % 4) + (int)(Noise(x, y, 3) % 2);
      img.Set(x, y, joint ? (uint8_t)(kSlate + 2) : (uint8_t)(kSlate + shade));
    }
}

void Door(Image& img) {  // EXIT: 24..108 x 130..410
  const int x1 = 24, x2 = 108, y1 = 130, y2 = 410, cx = (x1 + x2) / 2, r = (x2 - x1) / 2;
  for (int y = y1 - 8; y <= y2; ++y)
    for (int x = x1 - 8; x <= x2 + 8; ++x) {
      int dy = y - (y1 + r);
      bool inArch = y >= y1 + r || (x - cx) * (x - cx) + dy * dy <= (r + 8) * (r + 8);
      if (inArch) img.Set(x, y, kSlate + 11);  // stone jamb
    }
  Image wood(x2 - x1 + 1, y2 - y1 + 1, 0);
  Planks(wood, 0, 0, wood.width - 1, wood.height - 1, 14, true, 11);
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      int dy = y - (y1 + r);
      if (y >= y1 + r || (x - cx) * (x - cx) + dy * dy <= r * r) img.Set(x, y, wood.Get(x - x1, y - y1));
    }
  for (int hy : {y1 + 60, y2 - 60}) FillRect(img, x1, hy, x1 + 50, hy + 6, kGreyRamp + 4);  // iron bands
  FilledCircle(img, x2 - 16, (y1 + y2) / 2 + 20, 7, kGreyRamp + 3);
  FilledCircle(img, x2 - 16, (y1 + y2) / 2 + 20, 4, kSlate + 9);  // ring handle
  FillRect(img, x1 - 10, y2 + 1, x2 + 10, y2 + 6, kSlate + 4);  // threshold
}

void Bookcase(Image& img) {  // MESS, STAT, TREE: 125..240 x 56..290
  FillRect(img, 125, 56, 240, 290, kWoodRamp + 3);
  FrameRect(img, 125, 56, 240, 290, kBlack);
  for (int s = 0; s < 3; ++s) {
    const int top = 66 + s * 70, bottom = top + 60;
    FillRect(img, 131, top, 234, bottom, kWoodRamp + 1);
    FillRect(img, 128, bottom + 1, 237, bottom + 6, kWoodRamp + 8);  // board
    if (s == 0) {  // reports: rolled scrolls with red seals
      for (int i = 0; i < 6; ++i) {
        int x = 138 + i * 16;
        FillRect(img, x, top + 14, x + 11, bottom, kParchmentRamp + 12 - i % 3);
        FrameRect(img, x, top + 14, x + 11, bottom, kParchmentRamp + 4);
        FilledCircle(img, x + 5, top + 36, 3, kRedRamp + 9);
      }
    } else if (s == 1) {  // statistics: an open ledger with bars
      FillRect(img, 140, top + 12, 226, bottom - 2, kParchmentRamp + 14);
      FrameRect(img, 140, top + 12, 226, bottom - 2, kWoodRamp + 2);
      RoundLine(img, 183, top + 12, 183, bottom - 2, kWoodRamp + 4);
      const int h[6] = {12, 20, 16, 28, 34, 40};
      for (int i = 0; i < 6; ++i) {
        int x = 146 + i * 13 + (i >= 3 ? 6 : 0);
        FillRect(img, x, bottom - 4 - h[i], x + 7, bottom - 5, (uint8_t)(i % 2 ? kBlueRamp + 9 : kGreenRamp + 8));
      }
    } else {  // family tree: a framed tree
      FillRect(img, 144, top + 4, 222, bottom - 1, kParchmentRamp + 13);
      FrameRect(img, 144, top + 4, 222, bottom - 1, kGold);
      RoundLine(img, 183, bottom - 4, 183, top + 24, kWoodRamp + 2, 1);
      RoundLine(img, 183, top + 34, 160, top + 18, kWoodRamp + 2);
      RoundLine(img, 183, top + 34, 206, top + 18, kWoodRamp + 2);
      for (int x : {160, 183, 206}) FilledCircle(img, x, top + 16, 5, kForest + 9);
      FilledCircle(img, 170, top + 40, 3, kRedRamp + 10);
      FilledCircle(img, 196, top + 40, 3, kBlueRamp + 10);
    }
  }
}

void Window(Image& img) {  // MAP: 262..378 x 44..170
  const int x1 = 262, x2 = 378, y1 = 44, y2 = 170, cx = (x1 + x2) / 2, r = (x2 - x1) / 2;
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      int dy = y - (y1 + r);
      if (y < y1 + r && (x - cx) * (x - cx) + dy * dy > r * r) continue;
      uint8_t c;
      int hill = 118 + (int)(12 * ((x * 37 % 100) / 100.0)) - (x - x1) / 5;
      if (y < 105) c = (uint8_t)(kWater + 13 - (y - y1) / 12);              // sky
      else if (y < hill) c = (uint8_t)(kForest + 7 + (x / 11) % 2);          // far hills
      else if (std::abs(x - (cx + (y - 140) / 2)) < 5) c = kWater + 10;      // river
      else c = (uint8_t)(kGreenRamp + 6 + (int)(Noise(x / 4, y / 4, 5) % 3));  // fields
      img.Set(x, y, c);
    }
  FilledCircle(img, x1 + 26, 78, 8, kGoldRamp + 14);  // the sun
  // Mullions and the stone frame.
  FillRect(img, cx - 2, y1, cx + 2, y2, kSlate + 3);
  FillRect(img, x1, 112, x2, 115, kSlate + 3);
  for (int t = 0; t < 6; ++t) {
    for (int y = y1 - t; y <= y2 + t; ++y) {
      if (y >= y1 + r) {
        img.Set(x1 - t, y, kSlate + 12);
        img.Set(x2 + t, y, kSlate + 12);
      }
    }
    for (int a = 0; a <= 180; ++a) {
      double rad = a * 3.14159265 / 180;
      img.Set(cx + (int)((r + t) * std::cos(rad)), y1 + r - (int)((r + t) * std::sin(rad)), kSlate + 12);
    }
  }
  FillRect(img, x1 - 8, y2 + 1, x2 + 8, y2 + 7, kSlate + 10);  // sill
}

void Banner(Image& img) {  // DIPL: 396..452 x 44..140, a treaty banner
  FillRect(img, 392, 40, 456, 43, kWoodRamp + 6);
  for (int y = 44; y <= 140; ++y) {
    int inset = y > 120 ? (y - 120) : 0;
    for (int x = 398 + (y > 120 ? 0 : 0); x <= 450; ++x)
      if (std::abs(x - 424) <= 26 - inset * 26 / 20) img.Set(x, y, kPurple + 6);
  }
  FillRect(img, 404, 60, 444, 104, kParchmentRamp + 14);  // the treaty
  for (int l = 0; l < 4; ++l) RoundLine(img, 408, 66 + l * 8, 440, 66 + l * 8, kInk);
  FilledCircle(img, 424, 104, 7, kRedRamp + 8);  // wax seal
  RoundLine(img, 420, 110, 414, 124, kRedRamp + 6, 1);
  RoundLine(img, 428, 110, 434, 124, kRedRamp + 6, 1);
}

void Portrait(Image& img) {  // SPEC: 396..456 x 160..236, the realm's specialist
  FillRect(img, 396, 160, 456, 236, kGold);
  FillRect(img, 401, 165, 451, 231, kForest + 3);
  Ellipse(img, 426, 196, 12, 15, kSand + 12, kSand + 6);  // face
  FillRect(img, 410, 214, 442, 231, kBlueRamp + 6);        // robe
  for (int i = 0; i < 14; ++i) RoundLine(img, 426 - 14 + i, 182, 426, 158 + 8, kBlueRamp + 4);  // pointed hat
  FilledCircle(img, 421, 194, 1, kBlack);
  FilledCircle(img, 431, 194, 1, kBlack);
  RoundLine(img, 420, 213, 432, 213, kLightGrey, 1);  // beard
}

void TownModel(Image& img) {  // TOWN: 262..378 x 190..286, a model of the capital
  FillRect(img, 270, 268, 370, 286, kWoodRamp + 9);  // pedestal
  FrameRect(img, 270, 268, 370, 286, kWoodRamp + 2);
  FillRect(img, 276, 258, 364, 267, kGreenRamp + 7);  // green base
  const int xs[5] = {282, 300, 336, 352, 318};
  for (int i = 0; i < 4; ++i) {
    int x = xs[i];
    FillRect(img, x, 236, x + 14, 257, kParchmentRamp + 12);
    for (int k = 0; k < 9; ++k) RoundLine(img, x - 2 + k, 236 - k, x + 16 - k, 236 - k, kRedRamp + 8);
    FillRect(img, x + 5, 248, x + 9, 257, kWoodRamp + 3);
  }
  FillRect(img, 310, 204, 328, 257, kSlate + 10);  // the keep
  for (int k = 0; k < 4; ++k) FillRect(img, 310 + k * 5, 198, 312 + k * 5, 203, kSlate + 10);
  RoundLine(img, 319, 198, 319, 186, kBlack);
  FillRect(img, 320, 186, 330, 192, kRedRamp + 10);  // flag
}

void AlchemistBench(Image& img) {  // RESA: 500..628 x 62..180
  FillRect(img, 500, 150, 628, 160, kWoodRamp + 7);  // bench top
  FillRect(img, 506, 161, 514, 230, kWoodRamp + 4);
  FillRect(img, 614, 161, 622, 230, kWoodRamp + 4);
  FillRect(img, 500, 90, 628, 94, kWoodRamp + 7);  // wall shelf
  const uint8_t fl[5] = {kGreenRamp + 10, kBlueRamp + 11, kRedRamp + 10, kPurple + 10, kGoldRamp + 12};
  for (int i = 0; i < 5; ++i) {
    int x = 510 + i * 24;
    FilledCircle(img, x, 80, 8, fl[i]);
    FillRect(img, x - 2, 64, x + 2, 72, kLightGrey);
  }
  // Retort over a flame and a big flask.
  Ellipse(img, 540, 126, 20, 20, kGreenRamp + 9, kGreenRamp + 3);
  RoundLine(img, 556, 112, 590, 100, kLightGrey, 2);
  FilledCircle(img, 600, 134, 14, kBlueRamp + 10);
  FillRect(img, 596, 110, 604, 122, kLightGrey);
  for (int i = 0; i < 5; ++i) FilledCircle(img, 536 + i * 2, 146 - i, 2, (uint8_t)(kOrangeRamp + 10 + i));
  for (int b = 0; b < 4; ++b) FilledCircle(img, 534 + b * 4, 104 - b * 8, 2, kGreenRamp + 13);  // bubbles
}

void Lectern(Image& img) {  // REPO: 470..628 x 240..360, the scribe's news
  FillRect(img, 540, 300, 556, 372, kWoodRamp + 5);  // post
  FillRect(img, 520, 368, 576, 376, kWoodRamp + 4);  // foot
  for (int i = 0; i < 20; ++i) RoundLine(img, 494 + i, 300 - i / 2, 604 - i, 300 - i / 2, kWoodRamp + 7);
  FillRect(img, 500, 262, 547, 292, kParchmentRamp + 15);  // open book
  FillRect(img, 550, 262, 597, 292, kParchmentRamp + 14);
  for (int l = 0; l < 4; ++l) {
    RoundLine(img, 504, 268 + l * 6, 542, 268 + l * 6, kInk);
    RoundLine(img, 554, 268 + l * 6, 592, 268 + l * 6, kInk);
  }
  FillRect(img, 606, 270, 612, 296, kParchmentRamp + 15);  // candle
  FilledCircle(img, 609, 264, 3, kOrangeRamp + 14);
  RoundLine(img, 592, 256, 604, 268, kWhite, 1);  // quill (inside the scribe movie's area)
}

void Desk(Image& img) {  // 140..470 x 296..380 with the tax chest (TAX )
  Planks(img, 140, 318, 470, 332, 7, false, 21);  // desk top
  FrameRect(img, 140, 318, 470, 332, kWoodRamp + 1);
  FillRect(img, 150, 333, 470, 380, kWoodRamp + 3);
  for (int d = 0; d < 3; ++d) {
    FrameRect(img, 246 + d * 74, 340, 310 + d * 74, 370, kWoodRamp + 1);
    FilledCircle(img, 278 + d * 74, 355, 2, kGold);
  }
  // TAX : a chest of coins at 160..232 x 270..330.
  FillRect(img, 160, 290, 232, 328, kWoodRamp + 8);
  FrameRect(img, 160, 290, 232, 328, kBlack);
  FillRect(img, 160, 298, 232, 301, kGreyRamp + 6);
  FillRect(img, 192, 302, 200, 312, kGold);
  for (int i = 0; i < 12; ++i) Ellipse(img, 168 + (i * 13) % 60, 284 - (i % 3) * 4, 6, 3, kGoldRamp + 13, kGoldRamp + 5);
  // Quill and inkpot in the middle of the desk.
  FilledCircle(img, 300, 310, 6, kBlack);
  RoundLine(img, 302, 306, 326, 276, kWhite, 1);
  FillRect(img, 340, 300, 400, 316, kParchmentRamp + 14);  // a letter being written
  for (int l = 0; l < 2; ++l) RoundLine(img, 344, 305 + l * 5, 392, 305 + l * 5, kInk);
}

void Tray(Image& img, int x1, int y1, int x2, int y2, const char* label, bool incoming) {
  // A wicker tray with letters; an arrow shows the way the letters go.
  FillRect(img, x1, y2 - 24, x2, y2, kWoodRamp + 10);
  for (int x = x1; x <= x2; x += 4) RoundLine(img, x, y2 - 24, x, y2, kWoodRamp + 6);
  FrameRect(img, x1, y2 - 24, x2, y2, kWoodRamp + 2);
  for (int i = 0; i < 3; ++i) {
    int ly = y2 - 32 - i * 7;
    FillRect(img, x1 + 4 + i * 2, ly, x2 - 4 - i * 2, ly + 12, kParchmentRamp + 13 + i % 2);
    FrameRect(img, x1 + 4 + i * 2, ly, x2 - 4 - i * 2, ly + 12, kParchmentRamp + 3);
  }
  FilledCircle(img, (x1 + x2) / 2, y2 - 40, 4, kRedRamp + 8);
  const int cx = (x1 + x2) / 2, top = y1 + 2;
  uint8_t ac = incoming ? kGreenRamp + 9 : kBlueRamp + 11;
  if (incoming) {
    FillRect(img, cx - 3, top, cx + 3, top + 10, ac);
    for (int k = 0; k < 8; ++k) RoundLine(img, cx - 8 + k, top + 10 + k, cx + 8 - k, top + 10 + k, ac);
  } else {
    for (int k = 0; k < 8; ++k) RoundLine(img, cx - k, top + k, cx + k, top + k, ac);
    FillRect(img, cx - 3, top + 8, cx + 3, top + 18, ac);
  }
  DrawTextCentred(img, x1, y2 - 20, x2, y2 - 4, label, 1, kParchmentRamp + 15, kBlack);
}

void Hourglass(Image& img) {  // OPTI: 130..190 x 395..465
  FillRect(img, 134, 396, 186, 402, kWoodRamp + 8);
  FillRect(img, 134, 458, 186, 464, kWoodRamp + 8);
  for (int y = 403; y <= 457; ++y) {
    int half = std::abs(y - 430) * 20 / 27 + 2;
    for (int x = 160 - half; x <= 160 + half; ++x) img.Set(x, y, (y > 440 || (y < 420 && y > 410)) ? kSand + 12 : kWater + 14);
  }
  FillRect(img, 136, 403, 139, 457, kWoodRamp + 5);
  FillRect(img, 181, 403, 184, 457, kWoodRamp + 5);
}

void GuestBook(Image& img) {  // REGI: 565..628 x 395..468, the register of lords
  FillRect(img, 590, 430, 600, 466, kWoodRamp + 5);
  FillRect(img, 574, 462, 616, 468, kWoodRamp + 4);
  FillRect(img, 566, 404, 627, 430, kRedRamp + 5);  // book cover
  FillRect(img, 569, 400, 596, 426, kParchmentRamp + 15);
  FillRect(img, 598, 400, 624, 426, kParchmentRamp + 14);
  for (int l = 0; l < 3; ++l) RoundLine(img, 572, 406 + l * 6, 592, 406 + l * 6, kInk);
  RoundLine(img, 606, 420, 622, 396, kWhite, 1);  // quill
}

}  // namespace

namespace {
void Hall(Image& img) {
  StoneWall(img, 0, 0, img.width - 1, 299);
  Planks(img, 0, 300, img.width - 1, img.height - 1, 18, false, 4);
  FillRect(img, 0, 296, img.width - 1, 300, kWoodRamp + 2);  // skirting
}
}  // namespace

void DrawResidenceHall(Image& img, int x, int y) {
  static const Image hall = [] {
    Image h(640, 480, 0);
    Hall(h);
    return h;
  }();
  for (int r = 0; r < img.height; ++r)
    for (int k = 0; k < img.width; ++k)
      if (x + k >= 0 && y + r >= 0 && x + k < hall.width && y + r < hall.height) img.Set(k, r, hall.Get(x + k, y + r));
}

bool DrawResidence(Image& img) {
  Hall(img);
  // A red carpet under the desk.
  for (int y = 384; y <= 470; ++y)
    for (int x = 200; x <= 370; ++x)
      img.Set(x, y, (uint8_t)(kRedRamp + 5 + ((x / 6 + y / 6) % 2) * 2 - ((x < 206 || x > 364) ? 3 : 0)));
  Door(img);
  Bookcase(img);
  Window(img);
  Banner(img);
  Portrait(img);
  TownModel(img);
  AlchemistBench(img);
  Lectern(img);
  Desk(img);
  Tray(img, 380, 385, 440, 465, "IN", true);
  Tray(img, 505, 385, 553, 465, "OUT", false);
  Hourglass(img);
  GuestBook(img);
  // The title bar that CheckTitleBar writes into: (200, 11) to (442, 27).
  FillRect(img, 194, 5, 448, 33, kWoodRamp + 6);
  FrameRect(img, 194, 5, 448, 33, kBlack);
  FrameRect(img, 198, 9, 444, 29, kGold);
  FillRect(img, 200, 11, 442, 27, kTitleBar);
  FrameRect(img, 0, 0, img.width - 1, img.height - 1, kBlack);
  return true;
}

bool DrawResidenceMark(Image& img, const std::string& kind, std::string* err) {
  const int w = img.width, h = img.height;
  if (kind == "info") {  // a scroll with a red seal: a message of the server waits
    FillRect(img, 4, 6, w - 5, h - 7, kParchmentRamp + 14);
    FrameRect(img, 4, 6, w - 5, h - 7, kParchmentRamp + 3);
    Ellipse(img, w / 2, 5, w / 2 - 2, 4, kParchmentRamp + 11, kParchmentRamp + 3);
    Ellipse(img, w / 2, h - 6, w / 2 - 2, 4, kParchmentRamp + 11, kParchmentRamp + 3);
    for (int l = 0; l < 3; ++l) RoundLine(img, 8, 12 + l * 5, w - 9, 12 + l * 5, kInk);
    FilledCircle(img, w / 2, h - 12, 5, kRedRamp + 9);
    return true;
  }
  int n = kind == "upload1" ? 1 : kind == "upload2" ? 2 : kind == "upload3" ? 3 : 0;
  if (!n) {
    *err = "unknown mark " + kind;
    return false;
  }
  // n sealed letters on their way, fanned out, with a blue seal each.
  for (int i = 0; i < n; ++i) {
    int x = 2 + i * 8, y = h - 24 - i * 7;
    FillRect(img, x, y, x + 34, y + 20, kParchmentRamp + 14 - i);
    FrameRect(img, x, y, x + 34, y + 20, kParchmentRamp + 2);
    RoundLine(img, x, y, x + 17, y + 10, kParchmentRamp + 5);
    RoundLine(img, x + 34, y, x + 17, y + 10, kParchmentRamp + 5);
    FilledCircle(img, x + 17, y + 11, 3, kBlueRamp + 10);
  }
  DrawTextCentred(img, w - 14, 0, w - 1, 12, std::to_string(n), 1, kWhite, kBlack);
  return true;
}

}  // namespace datakit
