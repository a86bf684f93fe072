// The option pages' pictures: the sound page (133), a minstrels' gallery
// with the board of switches, fields and sliders; the internet page (134), a
// post room with the board of the mail account and the network choices; the modem page (1141), a
// messenger's loft with a board for the cursor switch; and the marks of the switches: a
// small lamp in a brass ring, red and dark when off (57), green and lit
// when on (58).
#include <algorithm>
#include <cmath>

#include "art.h"

namespace datakit {
namespace {

constexpr uint8_t kSlate = 176, kGreenRamp = 96, kRedRamp = 80, kBlueRamp = 112;

uint32_t Grain(int x, int y, uint32_t seed) {
  uint32_t h = (uint32_t)x * 73856093u ^ (uint32_t)y * 19349663u ^ seed * 83492791u;
  h = (h ^ (h >> 13)) * 1274126177u;
  return h ^ (h >> 16);
}

// Horizontal boards of wood from y1 to y2.
void Boards(Image& img, int x1, int y1, int x2, int y2, int height, uint32_t seed) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      const int board = (y - y1) / height;
      uint8_t c = (uint8_t)(kWoodRamp + 5 + board % 3 + (int)(Grain(x / 13, board * 5 + (y - y1) % height / 4, seed) % 3));
      if ((y - y1) % height == 0) c = kWoodRamp + 1;
      img.Set(x, y, c);
    }
}

// A plaque with a caption: a gadget's place on the picture.
void Plaque(Image& img, int x1, int y1, int x2, int y2, const std::string& caption) {
  FillRect(img, x1 + 3, y1 + 3, x2 + 3, y2 + 3, kWoodRamp + 0);
  FillRect(img, x1, y1, x2, y2, kWoodRamp + 10);
  Bevel(img, x1, y1, x2, y2, false);
  DrawTextCentred(img, x1, y1, x2, y2, caption, 2, kInk, kGoldRamp + 12);
}

// The loft's nesting boxes and the birds in some of them.
void Loft(Image& img, int x1, int y1, int cols, int rows) {
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c) {
      const int x = x1 + c * 40, y = y1 + r * 44;
      FillRect(img, x, y, x + 36, y + 40, kWoodRamp + 3);
      FillRect(img, x + 4, y + 8, x + 32, y + 40, kWoodRamp + 0);
      FrameRect(img, x, y, x + 36, y + 40, kWoodRamp + 12);
      if ((r * 7 + c * 3) % 4 != 1) {  // a pigeon
        FilledCircle(img, x + 18, y + 30, 9, kGreyRamp + 11);
        FilledCircle(img, x + 23, y + 21, 6, kGreyRamp + 12);
        img.Set(x + 25, y + 20, kBlack);
        FillRect(img, x + 28, y + 21, x + 31, y + 22, kGoldRamp + 9);
        FilledCircle(img, x + 14, y + 31, 5, kGreyRamp + 8);
      }
    }
}

// Stone blocks of a wall from y1 to y2.
void StoneWall(Image& img, int x1, int y1, int x2, int y2, uint32_t seed) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      const int row = (y - y1) / 28, shift = row % 2 ? 26 : 0;
      const bool joint = (y - y1) % 28 == 0 || (x + shift) % 52 == 0;
      const int block = (x + shift) / 52 + row * 17;
      uint8_t c = (uint8_t)(kSlate + 6 + (int)(Grain(block, row, seed) % 3) + (int)(Grain(x / 3, y / 3, seed) % 2));
      img.Set(x, y, joint ? (uint8_t)(kSlate + 3) : c);
    }
}

// A sheet of parchment in a wooden frame: the board the page's rows sit on.
void Board(Image& img, int x1, int y1, int x2, int y2, uint32_t seed) {
  FillRect(img, x1 + 4, y1 + 4, x2 + 4, y2 + 4, kSlate + 2);
  WoodFrame(img, x1, y1, x2, y2, 8);
  for (int y = y1 + 8; y <= y2 - 8; ++y)
    for (int x = x1 + 8; x <= x2 - 8; ++x)
      img.Set(x, y, (uint8_t)(kParchmentRamp + 12 + (int)(Grain(x / 4, y / 4, seed) % 3)));
}

// A plain field for a text (pen 44) with a sunk edge.
void Field(Image& img, int x1, int y1, int x2, int y2) {
  FillRect(img, x1 - 1, y1 - 1, x2 + 1, y2 + 1, kParchmentRamp + 5);
  FillRect(img, x1, y1, x2 + 1, y2 + 1, kParchmentRamp + 15);
  FillRect(img, x1, y1, x2, y2, kParchmentRamp + 12);
}

// The dark socket a lamp at mark (x, y) sits in.
void LampSocket(Image& img, int x, int y) {
  FilledCircle(img, x + 16, y + 16, 13, kWoodRamp + 2);
  FilledCircle(img, x + 16, y + 16, 12, kWoodRamp + 5);
}

// The plaques of the five gadgets along the floor.
void PagePlaques(Image& img) {
  Plaque(img, 40, 430, 110, 460, "?");
  Plaque(img, 150, 430, 250, 460, "BACK");
  Plaque(img, 270, 430, 370, 460, "OK");
  Plaque(img, 390, 430, 490, 460, "NEXT");
  Plaque(img, 530, 430, 600, 460, "EXIT");
}

void TitleBand(Image& img) {
  FillRect(img, 192, 6, 450, 32, kWoodRamp + 2);
  FrameRect(img, 192, 6, 450, 32, kGoldRamp + 8);
  FillRect(img, 200, 11, 442, 27, kTitleBar);
}

// A lute lying on its back: body, sound hole, neck and pegbox.
void Lute(Image& img, int cx, int cy) {
  FilledEllipse(img, cx, cy, 30, 22, kWoodRamp + 4);
  FilledEllipse(img, cx, cy, 27, 19, kOrangeRamp + 9);
  for (int k = -18; k <= 18; k += 6) RoundLine(img, cx + k, cy - 17, cx + k, cy + 17, kOrangeRamp + 7);
  FilledCircle(img, cx + 6, cy, 7, kWoodRamp + 1);
  FillRect(img, cx + 28, cy - 4, cx + 90, cy + 4, kWoodRamp + 3);
  RoundLine(img, cx + 90, cy - 3, cx + 106, cy - 12, kWoodRamp + 2, 3);
  for (int k = 0; k < 4; ++k) RoundLine(img, cx - 14, cy - 3 + k * 2, cx + 92, cy - 3 + k * 2, kGreyRamp + 13);
  FillRect(img, cx - 18, cy - 5, cx - 15, cy + 5, kWoodRamp + 1);
}

// Organ pipes from x, their feet on y.
void Pipes(Image& img, int x, int y, int count) {
  for (int k = 0; k < count; ++k) {
    const int h = 18 + (k < count / 2 ? k : count - k) * 5, px = x + k * 12;
    FillRect(img, px, y - h, px + 8, y, kGreyRamp + 10);
    FillRect(img, px + 1, y - h, px + 3, y, kGreyRamp + 13);
    FillRect(img, px + 2, y - 10, px + 6, y - 7, kGreyRamp + 3);
  }
}

// Red bricks in their courses from y1 to y2.
void BrickWall(Image& img, int x1, int y1, int x2, int y2, uint32_t seed) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      const int row = (y - y1) / 14, shift = row % 2 ? 15 : 0;
      const bool joint = (y - y1) % 14 == 0 || (x + shift) % 30 == 0;
      const int brick = (x + shift) / 30 + row * 23;
      const uint8_t c = (uint8_t)(kRedRamp + 4 + (int)(Grain(brick, row, seed) % 3) + (int)(Grain(x / 2, y / 2, seed) % 2));
      img.Set(x, y, joint ? (uint8_t)(kGreyRamp + 9) : c);
    }
}

// A rack of pigeonholes, some with a sealed letter.
void LetterRack(Image& img, int x1, int y1, int cols, int rows) {
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c) {
      const int x = x1 + c * 24, y = y1 + r * 20;
      FillRect(img, x, y, x + 22, y + 18, kWoodRamp + 3);
      FillRect(img, x + 2, y + 2, x + 20, y + 18, kWoodRamp + 0);
      if ((r * 5 + c * 3) % 3 != 0) {
        FillRect(img, x + 4, y + 8, x + 18, y + 18, kParchmentRamp + 13);
        FilledCircle(img, x + 11, y + 13, 2, kRedRamp + 8);
      }
    }
}

// A post horn: the coiled tube, its bell and the mouthpiece.
void PostHorn(Image& img, int cx, int cy) {
  for (int r = 16; r >= 12; --r) {
    for (int a = 0; a < 360; a += 2) {
      const double t = a * 3.14159265 / 180.0;
      img.Set(cx + (int)(r * std::cos(t)), cy + (int)(r * 0.7 * std::sin(t)),
              (uint8_t)(kGoldRamp + (r == 14 ? 14 : 9)));
    }
  }
  RoundLine(img, cx + 14, cy, cx + 44, cy - 4, kGoldRamp + 11, 2);
  for (int k = 0; k < 10; ++k) FillRect(img, cx + 44 + k, cy - 4 - k, cx + 45 + k, cy - 4 + k, kGoldRamp + 12 - k / 3);
  RoundLine(img, cx - 14, cy, cx - 30, cy + 6, kGoldRamp + 10, 1);
  FilledCircle(img, cx - 31, cy + 6, 2, kGoldRamp + 6);
  RoundLine(img, cx - 4, cy + 10, cx + 6, cy + 22, kRedRamp + 7, 1);  // the cord
}

}  // namespace

bool DrawInternetPage(Image& img) {
  if (img.width != 640 || img.height != 480) return false;
  BrickWall(img, 0, 0, 639, 420, 7);
  Boards(img, 0, 421, 639, 479, 20, 13);
  FillRect(img, 0, 418, 639, 421, kWoodRamp + 1);
  // The post room: the letters' rack and the courier's horn.
  LetterRack(img, 24, 4, 6, 2);
  PostHorn(img, 540, 26);
  TitleBand(img);
  Board(img, 24, 56, 616, 422, 17);
  // The fields' column and the choices' column with their lamp sockets; a
  // rule parts the stacks, the routes and the panel.
  for (int k = 0; k < 7; ++k) Field(img, 190, 70 + k * 44 + 10, 430, 70 + k * 44 + 32);
  FillRect(img, 439, 66, 440, 410, kParchmentRamp + 7);
  for (int i = 0; i < 8; ++i) LampSocket(img, 450, 74 + i * 40);
  for (int y : {270, 350}) FillRect(img, 446, y - 1, 612, y, kParchmentRamp + 8);
  PagePlaques(img);
  return true;
}

bool DrawSoundPage(Image& img) {
  if (img.width != 640 || img.height != 480) return false;
  StoneWall(img, 0, 0, 639, 420, 3);
  Boards(img, 0, 421, 639, 479, 20, 9);
  FillRect(img, 0, 418, 639, 421, kWoodRamp + 1);
  // The minstrels' instruments round the title band.
  Lute(img, 56, 28);
  Pipes(img, 470, 52, 11);
  TitleBand(img);
  Board(img, 30, 56, 610, 422, 11);
  // The switches' column: a socket per lamp and a rule under each row.
  for (int i = 0; i < 8; ++i) {
    LampSocket(img, 70, 78 + i * 40);
    if (i < 7) FillRect(img, 66, 113 + i * 40, 300, 113 + i * 40, kParchmentRamp + 9);
  }
  FillRect(img, 309, 70, 310, 392, kParchmentRamp + 7);
  // The fields and the two tracks: a groove with a scale of tenths.
  for (int k = 0; k < 5; ++k) Field(img, 446, 74 + k * 45 + 11, 596, 74 + k * 45 + 33);
  for (int s = 0; s < 2; ++s) {
    const int y = 74 + (5 + s) * 45 + 13;
    FillRect(img, 452, y + 6, 597, y + 11, kWoodRamp + 2);
    FillRect(img, 453, y + 7, 596, y + 8, kWoodRamp + 0);
    for (int t = 0; t <= 10; ++t) {
      const int x = 452 + 6 + (140 - 7) * t / 10;
      FillRect(img, x, y + 14, x, y + (t % 5 ? 16 : 18), kParchmentRamp + 4);
    }
  }
  FillRect(img, 44, 394, 596, 394, kParchmentRamp + 9);
  PagePlaques(img);
  return true;
}

bool DrawModemPage(Image& img) {
  if (img.width != 640 || img.height != 480) return false;
  Boards(img, 0, 0, 639, 479, 24, 21);
  // Rafters and a window onto the roofs.
  for (int x = 0; x < 640; x += 160) FillRect(img, x, 0, x + 14, 479, kWoodRamp + 2);
  FillRect(img, 0, 40, 639, 52, kWoodRamp + 2);
  FillRect(img, 24, 70, 128, 170, kSlate + 12);
  for (int y = 74; y <= 166; ++y)
    for (int x = 28; x <= 124; ++x) img.Set(x, y, (uint8_t)(kBlueRamp + 13 - (y - 74) / 12));
  for (int k = 0; k < 5; ++k) FillRect(img, 28 + k * 20, 140 - (k % 2) * 14, 44 + k * 20, 166, kRedRamp + 5 + k % 3);
  FillRect(img, 74, 74, 78, 166, kWoodRamp + 3);
  FillRect(img, 28, 118, 124, 122, kWoodRamp + 3);
  Loft(img, 500, 70, 3, 7);
  // The board: a parchment nailed to the wall, where the heading and the
  // switch stand (labels from x 160, the lamp at 161, 203).
  FillRect(img, 142, 98, 498, 258, kWoodRamp + 1);
  for (int y = 104; y <= 252; ++y)
    for (int x = 148; x <= 492; ++x)
      img.Set(x, y, (uint8_t)(kParchmentRamp + 12 + (int)(Grain(x / 4, y / 4, 5) % 3)));
  for (int p : {150, 490})
    for (int q : {106, 250}) FilledCircle(img, p, q, 3, kGreyRamp + 6);
  FillRect(img, 154, 150, 486, 151, kParchmentRamp + 8);
  // Two cursors drawn on the board beside the switch: the arrow and the quill.
  for (int k = 0; k < 14; ++k) FillRect(img, 200, 170 + k, 200 + k / 2, 170 + k, kInk);
  RoundLine(img, 250, 184, 262, 168, kGoldRamp + 12, 1);
  RoundLine(img, 262, 168, 270, 160, kGoldRamp + 15, 2);
  // The plaques of the gadgets along the floor and the title band.
  PagePlaques(img);
  TitleBand(img);
  return true;
}

bool DrawOptionLamp(Image& img, bool on) {
  const int cx = img.width / 2, cy = img.height / 2, r = std::min(cx, cy) - 1;
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x) img.Set(x, y, kTransparent);
  FilledCircle(img, cx, cy, r, kGoldRamp + 6);        // the brass ring
  FilledCircle(img, cx, cy, r - 2, kGoldRamp + 11);
  const uint8_t ramp = on ? kGreenRamp : kRedRamp;
  FilledCircle(img, cx, cy, r - 4, (uint8_t)(ramp + (on ? 8 : 3)));
  FilledCircle(img, cx, cy, r - 6, (uint8_t)(ramp + (on ? 12 : 5)));
  if (on) FilledCircle(img, cx - 2, cy - 2, std::max(1, r / 4), (uint8_t)(ramp + 15));  // the light
  else FilledCircle(img, cx - 2, cy - 2, 1, (uint8_t)(ramp + 7));
  return true;
}

}  // namespace datakit
