// The tavern's room (picture 59) and the update store under it: the
// storehouse (61), a cask (109), the post in front of the fourth cask (111)
// and the store's requester scroll (69). Every gadget of the tavern's layout
// (layouts/Taverne.txt) lies over the object that stands for it; the store's
// cask points (layouts/Lager.txt) lie on its floor.
#include <algorithm>
#include <cmath>
#include <string>

#include "art.h"
#include "tools/datakit/movies/draw.h"

namespace datakit {

namespace {

using namespace movies;

// The title bar CheckTitleBar writes into, (200, 11) to (442, 27), on a board.
void TitleBoard(Image& img) {
  FillRect(img, 194, 5, 448, 33, (uint8_t)(kWoodRamp + 6));
  FrameRect(img, 194, 5, 448, 33, kBlack);
  FrameRect(img, 198, 9, 444, 29, kGold);
  FillRect(img, 200, 11, 442, 27, kTitleBar);
  for (int x : {188, 454}) {
    Line(img, x, 0, x, 19, 1, Sh(kGreyR, 5));  // the chains it hangs from
    Dot(img, x, 20, 2, Sh(kGreyR, 8));
  }
}

// A person from the waist up: body at (cx, y) of width w, head above.
void Person(Image& img, double cx, double y, double w, uint8_t tunic, uint8_t hair, bool hat) {
  Poly(img, {{cx - w / 2, y + 44}, {cx + w / 2, y + 44}, {cx + w / 2 - 4, y + 4}, {cx - w / 2 + 4, y + 4}}, Sh(tunic, 7));
  Line(img, cx - w / 2 + 5, y + 8, cx - w / 2 + 5, y + 40, 1, Sh(tunic, 4));
  Line(img, cx + w / 2 - 5, y + 8, cx + w / 2 - 5, y + 40, 1, Sh(tunic, 10));
  Box(img, cx - 4, y - 2, cx + 4, y + 5, Sh(kParchR, 10));  // neck
  Ellipse(img, cx, y - 12, 10, 12, Sh(kParchR, 12), Sh(kParchR, 7));
  Ellipse(img, cx, y - 21, 10, 5, Sh(hair, 4), Sh(hair, 3));
  Dot(img, cx - 4, y - 12, 1, kBlack);
  Dot(img, cx + 4, y - 12, 1, kBlack);
  Line(img, cx - 3, y - 5, cx + 3, y - 5, 0.6, Sh(kRedR, 6));
  if (hat) {
    Box(img, cx - 13, y - 25, cx + 13, y - 22, Sh(kWoodR, 3));
    Poly(img, {{cx - 9, y - 25}, {cx + 9, y - 25}, {cx + 6, y - 36}, {cx - 6, y - 36}}, Sh(kWoodR, 4));
    Line(img, cx + 6, y - 34, cx + 16, y - 44, 1, Sh(kRedR, 12));  // a feather
  }
}

void Mug(Image& img, double x, double y) {
  Box(img, x, y - 16, x + 10, y, Sh(kGreyR, 9));
  Box(img, x + 1, y - 19, x + 9, y - 16, kWhite);
  Line(img, x + 12, y - 12, x + 12, y - 5, 1, Sh(kGreyR, 6));
  Line(img, x, y, x + 10, y, 0.5, kBlack);
}

void Bottle(Image& img, double x, double y, uint8_t ramp) {
  Box(img, x - 4, y - 18, x + 4, y, Sh(ramp, 6));
  Box(img, x - 2, y - 26, x + 2, y - 18, Sh(ramp, 5));
  Box(img, x - 2, y - 28, x + 2, y - 27, Sh(kWoodR, 6));
  Line(img, x - 2, y - 15, x - 2, y - 3, 0.5, Sh(ramp, 11));
}

void Scene(Image& img, int scene);

// A framed picture on the wall with a scene: 0 hills, 1 castle, 2 ship.
void WallPicture(Image& img, int x1, int y1, int x2, int y2, int scene) {
  FillRect(img, x1 - 5, y1 - 5, x2 + 5, y2 + 5, (uint8_t)(kGoldRamp + 7));
  FrameRect(img, x1 - 5, y1 - 5, x2 + 5, y2 + 5, kBlack);
  FrameRect(img, x1 - 3, y1 - 3, x2 + 3, y2 + 3, (uint8_t)(kGoldRamp + 12));
  Image pic(x2 - x1 + 1, y2 - y1 + 1, kBlack);
  Scene(pic, scene);
  for (int y = 0; y < pic.height; ++y)
    for (int x = 0; x < pic.width; ++x) img.Set(x1 + x, y1 + y, pic.Get(x, y));
}

// The scene of a wall picture, filling img.
void Scene(Image& img, int scene) {
  const int x1 = 0, y1 = 0, x2 = img.width - 1, y2 = img.height - 1;
  Gradient(img, x1, y1, x2, y2, kBlueR, 12, 8, 59 + scene);
  const int mid = (y1 + y2) / 2 + 4;
  if (scene == 0) {
    Ellipse(img, x1 + (x2 - x1) * 0.3, y2, (x2 - x1) * 0.5, y2 - mid + 6, Sh(kForestR, 8), Sh(kForestR, 6));
    Ellipse(img, x1 + (x2 - x1) * 0.8, y2, (x2 - x1) * 0.4, y2 - mid, Sh(kForestR, 10), Sh(kForestR, 7));
    Dot(img, x2 - 10, y1 + 8, 4, Sh(kGoldR, 14));
  } else if (scene == 1) {
    Box(img, x1, mid + 6, x2, y2, Sh(kForestR, 7));
    const double cx = (x1 + x2) / 2.0;
    Box(img, cx - 16, mid - 10, cx + 16, mid + 8, Sh(kSlateR, 9));
    Box(img, cx - 22, mid - 18, cx - 12, mid + 8, Sh(kSlateR, 10));
    Box(img, cx + 12, mid - 18, cx + 22, mid + 8, Sh(kSlateR, 10));
    Poly(img, {{cx - 23, mid - 18}, {cx - 11, mid - 18}, {cx - 17, mid - 28}}, Sh(kRedR, 8));
    Poly(img, {{cx + 11, mid - 18}, {cx + 23, mid - 18}, {cx + 17, mid - 28}}, Sh(kRedR, 8));
    Box(img, cx - 4, mid, cx + 4, mid + 8, Sh(kWoodR, 2));
  } else {
    Box(img, x1, mid + 4, x2, y2, Sh(kWaterR, 6));
    const double cx = (x1 + x2) / 2.0;
    Poly(img, {{cx - 22, mid}, {cx + 22, mid}, {cx + 15, mid + 10}, {cx - 15, mid + 10}}, Sh(kWoodR, 4));
    Line(img, cx, mid, cx, y1 + 6, 1, Sh(kWoodR, 3));
    Poly(img, {{cx + 1, y1 + 7}, {cx + 1, mid - 3}, {cx + 18, mid - 3}}, Sh(kParchR, 15));
    Poly(img, {{cx - 1, y1 + 10}, {cx - 1, mid - 3}, {cx - 14, mid - 3}}, Sh(kParchR, 13));
  }
}

}  // namespace

bool DrawTavernRoom(Image& img) {
  const int w = img.width, h = img.height, floor_y = 322;
  // The back wall of dark planks under a ceiling beam; the floor of boards.
  for (int y = 0; y < floor_y; ++y)
    for (int x = 0; x < w; ++x) {
      const int plank = x / 32, joint = x % 32 == 0;
      const int grain = (int)(Noise(x / 3 + plank * 7, y / 11, 59 + plank) % 3);
      img.Set(x, y, joint ? (uint8_t)(kWoodRamp + 1) : (uint8_t)(kWoodRamp + 3 + grain + plank % 2));
    }
  Box(img, 0, 36, w - 1, 48, Sh(kWoodR, 2));
  Line(img, 0, 37, w - 1, 37, 0.5, Sh(kWoodR, 6));
  for (int y = floor_y; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int board = (y - floor_y) / 16;
      const bool joint = (y - floor_y) % 16 == 0 || (x + board * 57) % 140 == 0;
      img.Set(x, y, joint ? Sh(kWoodR, 3) : Sh(kWoodR, 8 + (int)(Noise(x / 9, board, 7) % 2) + board / 4));
    }
  Box(img, 0, floor_y - 6, w - 1, floor_y, Sh(kWoodR, 2));  // the skirting
  TitleBoard(img);

  // EXIT: the sign over the street door; TOWN: the door with daylight.
  Box(img, 26, 108, 134, 142, Sh(kWoodR, 9));
  FrameRect(img, 26, 108, 134, 142, kBlack);
  DrawTextCentred(img, 26, 110, 134, 141, "EXIT", 2, (uint8_t)(kGoldRamp + 14), kBlack);
  Box(img, 28, 150, 132, 322, Sh(kWoodR, 1));  // the frame
  Ellipse(img, 80, 168, 52, 20, Sh(kWoodR, 1), Sh(kWoodR, 1));
  for (int k = 0; k < 4; ++k) Box(img, 36 + 23 * k, 168, 56 + 23 * k, 320, Sh(kWoodR, 6 + k % 2));
  Ellipse(img, 80, 170, 44, 14, Sh(kWoodR, 6), Sh(kWoodR, 6));
  for (int y : {196, 290}) Box(img, 36, y, 126, y + 5, Sh(kGreyR, 4));  // hinges
  Gradient(img, 63, 179, 97, 213, kBlueR, 13, 10, 3);
  Box(img, 63, 205, 97, 213, Sh(kForestR, 9));  // the street outside
  Line(img, 80, 178, 80, 214, 1, Sh(kWoodR, 3));
  Line(img, 62, 196, 98, 196, 1, Sh(kWoodR, 3));
  Dot(img, 116, 252, 4, Sh(kGoldR, 11));  // the handle
  DrawTextCentred(img, 30, 226, 130, 240, "TO TOWN", 1, (uint8_t)(kParchmentRamp + 15), kBlack);

  // TEST: three pictures on the wall (the slide show).
  WallPicture(img, 168, 62, 214, 122, 0);
  WallPicture(img, 226, 56, 276, 126, 1);
  WallPicture(img, 288, 62, 330, 122, 2);

  // A lantern hanging from the beam.
  Line(img, 372, 48, 372, 76, 0.6, Sh(kGreyR, 4));
  Poly(img, {{362, 78}, {382, 78}, {378, 104}, {366, 104}}, Sh(kGoldR, 12));
  FrameRect(img, 362, 78, 382, 104, Sh(kGreyR, 3));
  Dot(img, 372, 92, 4, Sh(kGoldR, 15));

  // WUER: the bar with shelves of bottles, the bartender and the rune stones
  // on his counter.
  for (int s = 0; s < 2; ++s) {
    const int y = 100 + s * 52;
    Box(img, 404, y, 630, y + 5, Sh(kWoodR, 10));
    for (int k = 0; k < 9; ++k) Bottle(img, 418 + k * 24, y - 1, (uint8_t)(k % 3 == 0 ? kGreenR : k % 3 == 1 ? kRedR : kGoldR));
  }
  Person(img, 512, 186, 54, kWoodR, kGreyR, false);
  Box(img, 502, 204, 522, 228, Sh(kParchR, 15));  // his apron
  Box(img, 392, 228, 636, 240, Sh(kWoodR, 11));   // the counter's top
  Box(img, 392, 240, 636, 320, Sh(kWoodR, 5));
  for (int x = 400; x < 636; x += 40) Box(img, x, 248, x + 30, 312, Sh(kWoodR, 6));
  FrameRect(img, 392, 228, 636, 320, kBlack);
  Box(img, 428, 216, 492, 228, Sh(kSlateR, 8));  // the rune board and its stones
  for (int k = 0; k < 5; ++k) {
    Ellipse(img, 436 + k * 12, 221, 5, 4, Sh(kGreyR, 11), Sh(kGreyR, 5));
    Line(img, 434 + k * 12, 220, 438 + k * 12, 222, 0.5, Sh(k % 2 ? kRedR : kBlueR, 10));
  }
  Mug(img, 556, 228);
  Mug(img, 580, 228);

  // CHAT: the guests' table with mugs and a letter.
  Person(img, 214, 300, 46, kBlueR, kWoodR, true);
  Person(img, 292, 270, 46, kRedR, kGoldR, false);
  Person(img, 372, 300, 46, kForestR, kGreyR, false);
  Ellipse(img, 292, 360, 100, 30, Sh(kWoodR, 10), Sh(kWoodR, 4));
  Box(img, 286, 388, 298, 426, Sh(kWoodR, 4));
  Ellipse(img, 292, 428, 30, 6, Sh(kWoodR, 3), Sh(kWoodR, 2));
  Mug(img, 232, 358);
  Mug(img, 338, 356);
  Poly(img, {{270, 352}, {300, 348}, {306, 366}, {276, 370}}, Sh(kParchR, 14));  // a letter
  for (int k = 0; k < 3; ++k) Line(img, 276, 356 + k * 4, 300, 353 + k * 4, 0.4, Sh(kGreyR, 5));
  Line(img, 306, 344, 318, 330, 1, kWhite);  // its quill
  Dot(img, 254, 344, 3, Sh(kGoldR, 15));     // a candle's light

  // STOR: the cellar's trap door, open on the stairs down.
  Poly(img, {{36, 398}, {164, 398}, {172, 462}, {28, 462}}, kBlack);
  for (int k = 0; k < 4; ++k)
    Box(img, 44 + k * 4, 410 + k * 13, 156 - k * 4, 416 + k * 13, Sh(kSlateR, 7 - k));
  Poly(img, {{36, 398}, {164, 398}, {150, 360}, {50, 360}}, Sh(kWoodR, 9));  // the raised lid
  for (int k = 0; k < 4; ++k) Line(img, 52 + k * 4, 362 + k * 9, 148 - k * 4, 362 + k * 9, 0.5, Sh(kWoodR, 5));
  Ellipse(img, 100, 380, 7, 4, Sh(kGreyR, 3), Sh(kGreyR, 8));  // its ring
  Ellipse(img, 186, 440, 14, 20, Sh(kWoodR, 7), Sh(kWoodR, 3));  // a cask beside it
  Line(img, 172, 432, 200, 432, 1, Sh(kGreyR, 5));
  Line(img, 172, 448, 200, 448, 1, Sh(kGreyR, 5));

  // NETW: the messenger with his bag and a carrier pigeon.
  Person(img, 560, 376, 50, kPurpleR, kWoodR, true);
  Box(img, 540, 420, 556, 470, Sh(kPurpleR, 4));
  Box(img, 564, 420, 580, 470, Sh(kPurpleR, 4));
  Line(img, 576, 380, 544, 410, 1.5, Sh(kWoodR, 3));  // the satchel's strap
  Box(img, 526, 404, 552, 426, Sh(kWoodR, 7));
  FrameRect(img, 526, 404, 552, 426, Sh(kWoodR, 2));
  Box(img, 526, 404, 552, 411, Sh(kWoodR, 5));
  Poly(img, {{530, 396}, {548, 396}, {546, 406}, {532, 406}}, Sh(kParchR, 14));  // letters in it
  Line(img, 586, 392, 606, 360, 3, Sh(kPurpleR, 7));  // the raised arm
  Ellipse(img, 610, 350, 9, 6, Sh(kGreyR, 12), Sh(kGreyR, 7));  // the pigeon
  Dot(img, 618, 346, 3, Sh(kGreyR, 12));
  Dot(img, 620, 345, 1, kBlack);
  Poly(img, {{604, 348}, {596, 338}, {612, 344}}, Sh(kGreyR, 9));
  Poly(img, {{574, 370}, {590, 366}, {590, 378}}, Sh(kParchR, 14));  // a letter in his hand
  FrameRect(img, 0, 0, w - 1, h - 1, kBlack);
  return true;
}

bool DrawStorehouse(Image& img) {
  const int w = img.width, h = img.height, floor_y = 214;
  // Slate masonry behind (the torch movies carry the same wall) over a
  // floor of flagstones.
  Masonry(img, 0, -3, w - 1, floor_y, kSlateR, 5, 16, 8, 4);
  Box(img, 0, 40, w - 1, 50, Sh(kWoodR, 3));  // the ceiling's beam
  Line(img, 0, 41, w - 1, 41, 0.5, Sh(kWoodR, 7));
  for (int y = floor_y; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int row = (y - floor_y) / 22, off = row % 2 ? 30 : 0;
      const bool joint = (y - floor_y) % 22 == 0 || (x + off) % 60 == 0;
      const int light = std::clamp(2 + (y - floor_y) / 60, 2, 6);
      img.Set(x, y, joint ? Sh(kSandR, light - 2) : Sh(kSandR, light + (int)(Noise((x + off) / 60, row, 61) % 2)));
    }
  Box(img, 0, floor_y - 4, w - 1, floor_y, Sh(kSlateR, 2));
  TitleBoard(img);
  // The torches in their brackets, as the first frame of their movies.
  for (const Kind* k = kSceneKinds; k->name; ++k)
    if (std::string(k->name) == "torch")
      for (int i = 0; i < 2; ++i) {
        Image torch(32, 64, kBlack);
        Params p;
        p.Set("seed", i ? "0.5" : "0.0");
        k->draw(torch, p, 0.0, 0, 8);
        const int tx = i ? 432 : 80, ty = i ? 53 : 61;
        for (int y = 0; y < 64; ++y)
          for (int x = 0; x < 32; ++x) img.Set(tx + x, ty + y, torch.Get(x, y));
      }
  // Shelves with sacks and jars between the torches.
  for (int s = 0; s < 2; ++s) {
    const int y = 110 + s * 50;
    Box(img, 150, y, 410, y + 6, Sh(kWoodR, 8));
    FrameRect(img, 150, y, 410, y + 6, kBlack);
    for (int k = 0; k < 7; ++k) {
      const double x = 170 + k * 36;
      if ((k + s) % 2) Ellipse(img, x, y - 12, 13, 12, Sh(kSandR, 11), Sh(kSandR, 6));
      else {
        Box(img, x - 8, y - 22, x + 8, y, Sh(kOrangeR, 6));
        Box(img, x - 5, y - 26, x + 5, y - 22, Sh(kOrangeR, 4));
      }
    }
  }
  // EXIT: the stairs up to the tavern, lit from above.
  Box(img, 552, 56, 634, 206, kBlack);
  for (int k = 0; k < 8; ++k) {
    const int y = 198 - k * 18;
    Box(img, 556 + k * 3, y, 630, y + 8, Sh(kSlateR, 10 - k));
    Box(img, 556 + k * 3, y + 8, 630, y + 17, Sh(kSlateR, 5 - k / 2));
  }
  Gradient(img, 588, 58, 630, 74, kGoldR, 14, 9, 6);
  FrameRect(img, 552, 56, 634, 206, Sh(kSlateR, 1));
  Box(img, 548, 214, 638, 232, Sh(kWoodR, 8));
  FrameRect(img, 548, 214, 638, 232, kBlack);
  DrawTextCentred(img, 548, 215, 638, 231, "UP", 2, (uint8_t)(kGoldRamp + 14), kBlack);
  // The ten casks' places: worn rails on the floor.
  const int row_y[2] = {225, 370};
  const int row_x[2][5] = {{25, 145, 265, 400, 520}, {25, 145, 265, 385, 505}};
  for (int r = 0; r < 2; ++r)
    for (int k = 0; k < 5; ++k) {
      const int x = row_x[r][k], y = row_y[r];
      Ellipse(img, x + 58, y + 92, 56, 6, Sh(kSandR, 1), Sh(kSandR, 1));
    }
  FrameRect(img, 0, 0, w - 1, h - 1, kBlack);
  return true;
}

bool DrawCask(Image& img) {
  // A barrel lying on a cradle, its head to the left (the click area
  // x 2..70, y 26..94), its staves running back to the right.
  const double hx = 36, hy = 58, r = 33;
  Poly(img, {{hx, hy - r}, {108, hy - r + 8}, {108, hy + r - 8}, {hx, hy + r}}, Sh(kWoodR, 7));
  for (int k = 1; k < 6; ++k) {
    const double y0 = hy - r + k * 2 * r / 6, y1 = hy - r + 8 + k * (2 * r - 16) / 6;
    Line(img, hx, y0, 108, y1, 0.5, Sh(kWoodR, 4));
  }
  Ellipse(img, 108, hy, 6, r - 8, Sh(kWoodR, 5), Sh(kWoodR, 3));
  for (double x : {60.0, 92.0}) {
    const double t = (x - hx) / (108 - hx), top = hy - r + 8 * t, bot = hy + r - 8 * t;
    Line(img, x, top, x, bot, 1.5, Sh(kGreyR, 5));
    Line(img, x - 1, top + 2, x - 1, bot - 2, 0.5, Sh(kGreyR, 9));
  }
  Ellipse(img, hx, hy, 34, 33, Sh(kWoodR, 9), Sh(kGreyR, 4));
  Ellipse(img, hx, hy, 30, 29, Sh(kWoodR, 10), Sh(kWoodR, 6));
  for (int k = -2; k <= 2; ++k) Line(img, hx + k * 11, hy - 27 + std::abs(k) * 2, hx + k * 11, hy + 27 - std::abs(k) * 2, 0.4, Sh(kWoodR, 7));
  Box(img, hx - 4, hy + 8, hx + 4, hy + 20, Sh(kGreyR, 7));  // the tap
  Box(img, hx - 1, hy + 20, hx + 1, hy + 24, Sh(kGreyR, 5));
  for (int k = 0; k < 3; ++k) Line(img, hx - 8 + k * 8, hy - 14, hx - 4 + k * 8, hy - 6, 1, Sh(kRedR, 7));  // a brand
  // The cradle.
  Box(img, 10, 88, 112, 94, Sh(kWoodR, 4));
  FrameRect(img, 10, 88, 112, 94, kBlack);
  Poly(img, {{14, 88}, {30, 76}, {34, 88}}, Sh(kWoodR, 5));
  Poly(img, {{86, 88}, {100, 78}, {106, 88}}, Sh(kWoodR, 5));
  return true;
}

bool DrawCaskPiece(Image& img) {
  // A stack of four grain sacks in front of the fourth cask.
  struct Sack {
    double cx, cy, rx, ry;
    int shade;
  };
  const Sack sacks[4] = {{13, 76, 12, 13, 9}, {35, 76, 12, 13, 10}, {24, 54, 14, 13, 11}, {24, 28, 12, 14, 12}};
  for (const Sack& s : sacks) {
    Ellipse(img, s.cx, s.cy, s.rx, s.ry, Sh(kSandR, s.shade), Sh(kSandR, 4));
    Line(img, s.cx - s.rx + 4, s.cy + 2, s.cx + s.rx - 4, s.cy + 2, 0.5, Sh(kSandR, s.shade - 3));
    Box(img, s.cx - 3, s.cy - s.ry - 3, s.cx + 3, s.cy - s.ry + 1, Sh(kSandR, s.shade - 2));  // the tied neck
    Line(img, s.cx - 4, s.cy - s.ry + 1, s.cx + 4, s.cy - s.ry + 1, 0.5, Sh(kWoodR, 3));
  }
  return true;
}

bool DrawStoreRequester(Image& img) {
  const int w = img.width, h = img.height;
  // Dark ground behind the scroll, the parchment, the two rolls.
  Gradient(img, 0, 0, w - 1, h - 1, kSlateR, 3, 1, 69);
  for (int y = 14; y < h - 14; ++y)
    for (int x = 14; x < w - 14; ++x) {
      const int edge = std::min(x - 14, w - 15 - x);
      const int shade = 13 + (int)(Noise(x / 4, y / 3, 69) % 2) - (edge < 6 ? 2 : 0);
      img.Set(x, y, Sh(kParchR, shade));
    }
  for (int y : {0, h - 26}) {
    Box(img, 4, y, w - 5, y + 25, Sh(kWoodR, 8));
    Line(img, 6, y + 5, w - 7, y + 5, 2, Sh(kWoodR, 12));
    Line(img, 6, y + 21, w - 7, y + 21, 1, Sh(kWoodR, 4));
    FrameRect(img, 4, y, w - 5, y + 25, kBlack);
    for (int x : {8, w - 9}) Ellipse(img, x, y + 12, 7, 14, Sh(kGoldR, 9), Sh(kGoldR, 4));
  }
  // The progress bar's groove (screen 175, 328 - 465, 336).
  FrameRect(img, 30, 263, 322, 273, Sh(kParchR, 9));
  // The buttons: cancel (screen 184, 346 - 280, 372) and OK (360, 346 - 456, 372).
  const int bx[2] = {40, 216};
  const char* caption[2] = {"CANCEL", "OK"};
  for (int i = 0; i < 2; ++i) {
    Box(img, bx[i], 282, bx[i] + 96, 308, Sh(kWoodR, 9));
    FrameRect(img, bx[i], 282, bx[i] + 96, 308, kBlack);
    Bevel(img, bx[i] + 1, 283, bx[i] + 95, 307, false);
    DrawTextCentred(img, bx[i], 283, bx[i] + 96, 308, caption[i], 2, kWhite, kBlack);
  }
  return true;
}

}  // namespace datakit
