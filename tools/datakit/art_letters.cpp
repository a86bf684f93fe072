// The letter window of the tavern (graphic 45, 516 x 390, drawn at 66, 68):
// a writing desk with a parchment for the list and the letters, a band for
// the header and the two info lines, the slider's groove and the places of
// the buttons, where the layout TaverneOffchatReq.txt puts them (its
// coordinates less 66, 68).
#include <algorithm>
#include <string>

#include "art.h"

namespace datakit {
namespace {

uint32_t Grain(int x, int y, uint32_t seed) {
  uint32_t h = (uint32_t)x * 374761393u ^ (uint32_t)y * 668265263u ^ seed * 2246822519u;
  h = (h ^ (h >> 13)) * 1274126177u;
  return h ^ (h >> 16);
}

// The desk: boards running across, with a wavy grain.
void DeskBoards(Image& img) {
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x) {
      const int board = y / 24;
      const int wave = (x / 11 + board * 5 + (int)(Grain(x / 23, board, 5) % 3)) % 7;
      int shade = 6 + board % 2 + (wave == 0 ? -2 : 0) + (int)(Grain(x, y, 9) % 2);
      if (y % 24 == 0) shade = 2;
      img.Set(x, y, (uint8_t)(kWoodRamp + shade));
    }
}

// Parchment in the window's background pen (5) with a few fibres and aged
// edges two pixels wide.
void SteadyParchment(Image& img, int x1, int y1, int x2, int y2, uint32_t seed) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      const int edge = std::min(std::min(x - x1, x2 - x), std::min(y - y1, y2 - y));
      const uint32_t n = Grain(x, y, seed) % 97;
      uint8_t c = kParchment;
      if (edge < 2) c = n < 40 ? kDarkGold : kParchment;
      img.Set(x, y, c);
    }
}

// A place sunk into the desk: a dark rim, lit from the top left.
void Sunk(Image& img, int x1, int y1, int x2, int y2) {
  FrameRect(img, x1 - 2, y1 - 2, x2 + 2, y2 + 2, kWoodRamp + 12);
  FrameRect(img, x1 - 1, y1 - 1, x2 + 1, y2 + 1, kBlack);
  for (int x = x1 - 2; x <= x2 + 2; ++x) img.Set(x, y1 - 2, kWoodRamp + 1);
  for (int y = y1 - 2; y <= y2 + 2; ++y) img.Set(x1 - 2, y, kWoodRamp + 1);
}

}  // namespace

bool DrawLetterDesk(Image& img) {
  if (img.width != 516 || img.height != 390) return false;
  DeskBoards(img);
  FrameRect(img, 0, 0, 515, 389, kBlack);
  FrameRect(img, 1, 1, 514, 388, kGold);
  FrameRect(img, 2, 2, 513, 387, kDarkGold);
  // The title band (layout text 0: 8, 6 .. 507, 26), a board of light wood
  // for the title in ink.
  for (int y = 6; y <= 26; ++y)
    for (int x = 8; x <= 507; ++x) img.Set(x, y, (uint8_t)(kWoodRamp + 13 + (int)(Grain(x / 7, y / 3, 4) % 3)));
  Sunk(img, 8, 6, 507, 26);
  // The band of the header and the info lines (16, 32 .. 499, 82) and the
  // parchment of the list and the letters (16, 88 .. 475, 335) in the
  // window's background pen, so the lines it fills join them; aged edges.
  SteadyParchment(img, 14, 30, 501, 84, 3);
  Sunk(img, 14, 30, 501, 84);
  SteadyParchment(img, 16, 88, 475, 335, 11);
  Sunk(img, 16, 88, 475, 335);
  // The slider's groove (484, 108 .. 497, 315) between the arrow places
  // (483, 88 .. 498, 103 and 483, 320 .. 498, 335).
  FillRect(img, 484, 108, 497, 315, kGreyRamp + 4);
  Sunk(img, 484, 108, 497, 315);
  Sunk(img, 483, 88, 498, 103);
  Sunk(img, 483, 320, 498, 335);
  // The places of the eight buttons (16 + 60 i, 350, 58 x 18).
  for (int i = 0; i < 8; ++i) {
    const int x = 16 + 60 * i;
    FillRect(img, x, 350, x + 57, 367, kWoodRamp + 3);
    Sunk(img, x, 350, x + 57, 367);
  }
  // An inkpot and a quill in the corner under the slider.
  FilledCircle(img, 504, 378, 5, kBlack);
  RoundLine(img, 505, 376, 511, 356, kWhite, 1);
  return true;
}

}  // namespace datakit
