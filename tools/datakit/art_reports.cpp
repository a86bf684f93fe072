// The reports and statistics screens' pictures: the advisers' study (33)
// with a lectern and its open ledger (the report box and its slider lie on
// the ledger's page), six hanging seals for the six reports and a window
// onto the waterfall (the movie at 448, 396); the framed title plaque (283);
// the scribe's table (41) with a sheet of graph paper (the graph area) and
// two lists; the small legend parchment (379). Places follow the layouts
// Berichte.txt, Statistik.txt and StatistikLegende.txt.
#include <algorithm>
#include <cmath>
#include <string>

#include "art.h"

namespace datakit {
namespace {

constexpr uint8_t kRedR = 80, kGreenR = 96, kBlueR = 112, kSlate = 176, kWater = 224;
constexpr uint8_t kBoxGround = 55;  // the screens' text boxes: light parchment in these palettes

uint8_t Ramp(uint8_t ramp, int v) { return (uint8_t)(ramp + std::clamp(v, 0, 15)); }
uint32_t Grain(int x, int y, uint32_t seed) { return TextureHash(x, y, seed); }

// Dressed stone with joints.
void Wall(Image& img, int x1, int y1, int x2, int y2, uint8_t ramp, int light) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      const int row = y / 22, shift = (row & 1) * 20;
      const bool joint = y % 22 == 0 || (x + shift) % 40 == 0;
      img.Set(x, y, Ramp(ramp, joint ? light - 5 : light - (int)(Grain(x / 2, y / 2, 21) % 3)));
    }
}

// Planks with grain, along x.
void Wood(Image& img, int x1, int y1, int x2, int y2, int light, int plank = 12) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      const bool seam = (y - y1) % plank == 0;
      const int streak = (int)(Grain(x / 9, (y - y1) / 2, 23) % 3);
      img.Set(x, y, Ramp(kWoodRamp, seam ? light - 5 : light - streak));
    }
}

// Parchment with fibres and darker edges.
void Sheet(Image& img, int x1, int y1, int x2, int y2, uint32_t seed) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      const int edge = std::min({x - x1, x2 - x, y - y1, y2 - y});
      const int v = 14 - (edge < 5 ? 5 - edge : 0) - (int)(Grain(x / 2, y, seed) % 2);
      img.Set(x, y, Ramp(kParchmentRamp, v));
    }
}

// A wooden button with a caption (scale 2 or 1), bevelled.
void WoodButton(Image& img, int x1, int y1, int x2, int y2, const std::string& caption) {
  Wood(img, x1, y1, x2, y2, 9, 100);
  Bevel(img, x1, y1, x2, y2, false);
  FrameRect(img, x1 - 1, y1 - 1, x2 + 1, y2 + 1, kBlack);
  const int scale = TextWidth(caption, 2) <= x2 - x1 - 8 ? 2 : 1;
  DrawTextCentred(img, x1, y1, x2, y2, caption, scale, kGoldRamp + 15, kBlack);
}

// A wax seal on a ribbon hanging from a rail, with its report's name on a
// small board: the button of one report.
void HangingSeal(Image& img, int x1, int y1, int x2, int y2, uint8_t wax, const std::string& name) {
  const int cx = x1 + 26, cy = (y1 + y2) / 2;
  // The ribbon from the rail above.
  for (int y = y1 - 8; y <= cy; ++y)
    for (int x = cx - 3; x <= cx + 3; ++x) img.Set(x, y, Ramp(wax, 6 + (x == cx - 3 ? -3 : 0)));
  // The board with the name.
  Wood(img, x1 + 48, y1 + 8, x2, y2 - 8, 10, 100);
  FrameRect(img, x1 + 48, y1 + 8, x2, y2 - 8, kBlack);
  FrameRect(img, x1 + 50, y1 + 10, x2 - 2, y2 - 10, kGoldRamp + 4);
  DrawTextCentred(img, x1 + 52, y1 + 10, x2 - 2, y2 - 10, name, 2, kGoldRamp + 15, kBlack);
  // The seal: a disc of wax with a rim and a stamped crown.
  FilledCircle(img, cx, cy, 20, kBlack);
  for (int y = -19; y <= 19; ++y)
    for (int x = -19; x <= 19; ++x)
      if (x * x + y * y <= 19 * 19) {
        const int light = 10 - (x + y) / 6 - (int)(Grain(cx + x, cy + y, 31) % 2);
        img.Set(cx + x, cy + y, Ramp(wax, light));
      }
  for (int a = 0; a < 360; a += 4) {
    const double r = a * 3.14159265 / 180;
    img.Set(cx + (int)std::lround(14 * std::cos(r)), cy + (int)std::lround(14 * std::sin(r)), Ramp(wax, 3));
  }
  FillRect(img, cx - 7, cy + 1, cx + 7, cy + 5, Ramp(wax, 3));
  for (int k = -1; k <= 1; ++k) RoundLine(img, cx + k * 7, cy + 1, cx + k * 7, cy - 7, Ramp(wax, 3), 1);
}

// A window with a stone frame and an arch: the waterfall shows in (x, y)
// to (x + 63, y + 79); outside the movie's place, sky and rocks.
void WaterfallWindow(Image& img, int x, int y) {
  Wall(img, x - 14, y - 22, x + 77, y + 83, kSlate, 11);
  for (int yy = y - 14; yy <= y + 79; ++yy)
    for (int xx = x - 6; xx <= x + 69; ++xx) {
      const int dy = yy - (y - 2), dx = xx - (x + 32);
      if (yy < y - 2 && dx * dx + dy * dy * 3 > 38 * 38) continue;
      const bool rock = xx < x + 8 || xx > x + 56;
      img.Set(xx, yy, rock ? Ramp(kSlate, 6 - (int)(Grain(xx / 3, yy / 3, 41) % 3))
                           : Ramp(kWater, 10 + (int)(Grain(xx, yy / 4, 43) % 4)));
    }
  FrameRect(img, x - 7, y - 2, x + 70, y + 80, kBlack);
  RoundLine(img, x + 32, y - 16, x + 32, y + 79, kStone, 0);  // the mullion behind the movie is hidden by it
}

// The pens these palettes give other colours, moved to their neighbours
// (the boxes' ground is filled after this).
void AvoidReportPens(Image& img, bool curves) {
  for (uint8_t& p : img.px) {
    if (p == kBoxGround) p = kBoxGround + 1;
    else if (curves && p >= 226 && p <= 235) p = p < 231 ? 225 : 236;
  }
}

}  // namespace

bool DrawAdvisersStudy(Image& img) {
  const int w = img.width, h = img.height;
  Wall(img, 0, 0, w - 1, h - 1, kSlate, 10);
  Wood(img, 0, 460, w - 1, h - 1, 8, 10);  // the floor boards
  WoodFrame(img, 0, 0, w - 1, h - 1, 8);
  // The title bar over the study (CheckTitleBar: 200, 11 to 442, 27).
  FillRect(img, 194, 5, 448, 33, kWoodRamp + 6);
  FrameRect(img, 194, 5, 448, 33, kBlack);
  FrameRect(img, 198, 9, 444, 29, kGold);
  // The rail of the seals and the six seals (BU00..BU05).
  RoundLine(img, 30, 62, 232, 62, kGoldRamp + 8, 2);
  static const char* const kNames[6] = {"PEOPLE", "CORN", "BUILDINGS", "TAXES", "RESEARCH", "TRADE"};
  static const uint8_t kWax[6] = {kRedR, 160, kSlate, 64, kBlueR, kGreenR};
  for (int i = 0; i < 6; ++i) HangingSeal(img, 34, 72 + 52 * i, 226, 116 + 52 * i, kWax[i], kNames[i]);
  // The lectern under the ledger and its post.
  Wood(img, 236, 70, 598, 360, 6, 8);
  FrameRect(img, 236, 70, 598, 360, kBlack);
  Wood(img, 380, 361, 420, 470, 5, 6);
  FrameRect(img, 380, 361, 420, 470, kBlack);
  Wood(img, 330, 462, 470, 474, 4, 100);
  // The open ledger: the report page (box at 258, 83, 292 x 257) and the
  // margin of the slider (567, 84 to 580, 340).
  Sheet(img, 244, 76, 590, 352, 47);
  FrameRect(img, 256, 81, 551, 341, Ramp(kParchmentRamp, 5));
  FillRect(img, 565, 82, 582, 342, Ramp(kParchmentRamp, 8));
  FrameRect(img, 565, 82, 582, 342, Ramp(kParchmentRamp, 3));
  // A candle on the lectern's corner.
  FillRect(img, 578, 44, 588, 69, kWhite);
  FrameRect(img, 578, 44, 588, 69, kGreyRamp + 9);
  FilledEllipse(img, 583, 36, 3, 7, kGold);
  FilledEllipse(img, 583, 38, 1, 3, kWhite);
  // The waterfall's window (the movie at 448, 396).
  WaterfallWindow(img, 448, 396);
  // The door out (EXIT).
  WoodButton(img, 40, 408, 200, 452, "LEAVE");
  AvoidReportPens(img, false);
  FillRect(img, 258, 83, 549, 339, kBoxGround);
  return true;
}

bool DrawReportPlaque(Image& img) {
  const int w = img.width, h = img.height;
  Wood(img, 0, 0, w - 1, h - 1, 11, 100);
  WoodFrame(img, 0, 0, w - 1, h - 1, 4);
  Sheet(img, 12, 7, w - 13, h - 6, 53);
  for (int x : {6, w - 7}) FilledCircle(img, x, h / 2, 2, kGold);
  AvoidReportPens(img, false);
  return true;
}

bool DrawScribeTable(Image& img) {
  const int w = img.width, h = img.height;
  Wood(img, 0, 0, w - 1, h - 1, 9, 14);  // the table top
  WoodFrame(img, 0, 0, w - 1, h - 1, 8);
  FillRect(img, 194, 5, 448, 33, kWoodRamp + 6);
  FrameRect(img, 194, 5, 448, 33, kBlack);
  FrameRect(img, 198, 9, 444, 29, kGold);
  // The graph paper (the graph area, 56, 52 to 584, 196): squares of 20
  // pixels, a heavier line every fifth.
  Sheet(img, 44, 42, 596, 206, 61);
  for (int y = 52; y <= 196; ++y)
    for (int x = 56; x <= 584; ++x) {
      const int gx = (x - 56) % 20, gy = (196 - y) % 20;
      uint8_t c = Ramp(kParchmentRamp, 14 - (int)(Grain(x / 2, y, 63) % 2));
      if (gx == 0 || gy == 0) c = Ramp(kParchmentRamp, 9);
      img.Set(x, y, c);
    }
  FrameRect(img, 55, 51, 585, 197, Ramp(kParchmentRamp, 3));
  // The base line of the curves (bottom - 14).
  for (int x = 56; x <= 584; ++x) img.Set(x, 182, Ramp(kParchmentRamp, 2));
  // The two lists on their sheets, and their captions' bands.
  for (int x0 : {26, 365}) {
    Sheet(img, x0 - 6, 220, x0 + 255, 398, (uint32_t)x0);
    FrameRect(img, x0 - 1, 247, x0 + 250, 391, Ramp(kParchmentRamp, 4));
  }
  // The buttons between the lists and along the bottom.
  WoodButton(img, 287, 252, 353, 280, "BACK");
  WoodButton(img, 287, 286, 353, 314, "CLEAR");
  WoodButton(img, 287, 320, 353, 348, "SHOW");
  WoodButton(img, 287, 354, 353, 382, "HIDE");
  WoodButton(img, 60, 408, 220, 444, "RANGE");
  WoodButton(img, 250, 408, 410, 444, "LEGEND");
  WoodButton(img, 440, 408, 500, 444, "?");
  WoodButton(img, 520, 408, 590, 444, "EXIT");
  AvoidReportPens(img, true);
  for (int x0 : {26, 365}) FillRect(img, x0, 248, x0 + 249, 390, kBoxGround);
  return true;
}

bool DrawLegendParchment(Image& img) {
  const int w = img.width, h = img.height;
  Sheet(img, 0, 0, w - 1, h - 1, 71);
  FrameRect(img, 0, 0, w - 1, h - 1, kBlack);
  FrameRect(img, 3, 3, w - 4, h - 4, Ramp(kParchmentRamp, 4));
  // The close seal in the corner (EXLG, 196..215, 4..22).
  FilledCircle(img, 205, 13, 9, Ramp(kRedR, 3));
  FilledCircle(img, 205, 13, 7, Ramp(kRedR, 9));
  RoundLine(img, 201, 9, 209, 17, kWhite, 0);
  RoundLine(img, 209, 9, 201, 17, kWhite, 0);
  AvoidReportPens(img, true);
  return true;
}

// Pens of the screens' own palettes: the text boxes' ground, and on the
// statistics screen the ten curves.
const Palette& ReportsPalette() {
  static const Palette p = [] {
    Palette q = SharedPalette();
    q[kBoxGround] = {242, 230, 198};
    return q;
  }();
  return p;
}

const Palette& StatistikPalette() {
  static const Palette p = [] {
    Palette q = ReportsPalette();
    static const uint8_t kCurves[10][3] = {{200, 150, 20},  {180, 20, 20},  {20, 90, 200},  {20, 140, 40},
                                           {150, 40, 170},  {230, 110, 0},  {20, 20, 20},   {90, 170, 40},
                                           {130, 80, 40},   {0, 150, 160}};
    for (int i = 0; i < 10; ++i) q[226 + i] = {kCurves[i][0], kCurves[i][1], kCurves[i][2]};
    return q;
  }();
  return p;
}


}  // namespace datakit
