// The granary's pictures: the hall (56) with the loft and the floor bin
// where the heaps lie, the heaps a quarter, half and nearly full (464..466
// on the loft at 228, 116, 304 x 108; 467..469 in the bin at 308, 300,
// 272 x 108; each carries the hall behind it), the window at (16, 250) in
// rain (157) and storm (156), the requester (155) with its three bar
// columns, the bars' empty and full fill (158, 159), the scales' marker
// (160) and the duller palette of bad weather (470). The luxury store (919):
// shelves of goods, the goods frame at (16, 16) and the three balance scales.
#include <algorithm>
#include <cmath>
#include <string>

#include "art.h"

namespace datakit {
namespace {

constexpr uint8_t kSandRamp = 208, kSlateRamp = 176, kSkyRamp = 112, kRedRamp = 80, kForestRamp = 192;

// A grainy area of a ramp: shade (0..15) give or take spread / 2.
void Grain(Image& img, int x1, int y1, int x2, int y2, uint8_t ramp, int shade, int spread, uint32_t seed) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      const int v = shade + (int)(TextureHash(x, y, seed) % (uint32_t)(spread + 1)) - spread / 2;
      img.Set(x, y, (uint8_t)(ramp + std::clamp(v, 0, 15)));
    }
}

// Upright planks with dark seams and a few knots.
void Planks(Image& img, int x1, int y1, int x2, int y2, int width, int shade, uint32_t seed) {
  for (int x = x1; x <= x2; ++x) {
    const int plank = (x - x1) / width;
    const int base = shade + (int)(TextureHash(plank, 0, seed) % 3) - 1;
    for (int y = y1; y <= y2; ++y) {
      const bool seam = (x - x1) % width == 0;
      const int streak = (int)(TextureHash(x, y / 7, seed + 1) % 3) - 1;
      img.Set(x, y, (uint8_t)(kWoodRamp + std::clamp(seam ? base - 5 : base + streak, 0, 15)));
    }
  }
  for (int k = 0; k < (x2 - x1) / 40; ++k) {
    const int kx = x1 + 12 + k * 40 + (int)(TextureHash(k, 3, seed) % 16);
    const int ky = y1 + 10 + (int)(TextureHash(k, 4, seed) % (uint32_t)std::max(1, y2 - y1 - 20));
    FilledEllipse(img, kx, ky, 3, 2, (uint8_t)(kWoodRamp + 2));
  }
}

// A beam: a shaded bar of dark wood.
void Beam(Image& img, int x1, int y1, int x2, int y2) {
  FillRect(img, x1, y1, x2, y2, kWoodRamp + 4);
  FillRect(img, x1, y1, x2, y1 + 1, kWoodRamp + 8);
  FillRect(img, x1, y2 - 1, x2, y2, kWoodRamp + 1);
  FrameRect(img, x1, y1, x2, y2, kBlack);
}

// A heap of grain on the floor line `base` between x1 and x2, `height` high.
void Heap(Image& img, int x1, int x2, int base, int height, uint32_t seed) {
  const int cx = (x1 + x2) / 2, half = (x2 - x1) / 2;
  for (int x = x1; x <= x2; ++x) {
    const double t = (double)(x - cx) / half;
    const int top = base - (int)(height * std::max(0.0, 1.0 - t * t * 0.9));
    for (int y = top; y <= base; ++y) {
      const int light = 11 - (int)(std::fabs(t) * 4) - (y - top) / 12 + (x < cx ? 1 : -1);
      const int v = light + (int)(TextureHash(x, y, seed) % 4) - 1;
      img.Set(x, y, (uint8_t)(kSandRamp + std::clamp(v, 2, 15)));
    }
    img.Set(x, top, kSandRamp + 15);
  }
  // A few sacks at the foot of the heap.
  for (int s = 0; s < 2; ++s) {
    const int sx = s == 0 ? x1 + 14 : x2 - 14;
    FilledEllipse(img, sx, base - 9, 9, 10, kBlack);
    FilledEllipse(img, sx, base - 9, 8, 9, (uint8_t)(kParchmentRamp + 9));
    FillRect(img, sx - 3, base - 21, sx + 3, base - 18, (uint8_t)(kParchmentRamp + 5));
  }
}

// The granary hall in screen coordinates; the window shows `sky` (0 sun,
// 1 rain, 2 storm).
void GranaryHall(Image& img, int sky) {
  Planks(img, 0, 0, 639, 479, 22, 9, 56);
  // The roof's rafters and the beams of the loft.
  for (int i = 0; i < 6; ++i) RoundLine(img, 20 + i * 120, 0, 80 + i * 120, 60, kWoodRamp + 3, 4);
  Beam(img, 0, 60, 639, 72);
  // The title board.
  FillRect(img, 168, 4, 472, 32, kWoodRamp + 2);
  FrameRect(img, 168, 4, 472, 32, kGoldRamp + 10);
  FrameRect(img, 170, 6, 470, 30, kBlack);
  // The loft: its floor under the upper heap's place, a railing, the posts.
  Beam(img, 210, 224, 560, 236);
  for (int x : {214, 380, 546}) Beam(img, x, 236, x + 10, 400);
  for (int x = 230; x < 540; x += 30) FillRect(img, x, 200, x + 3, 223, kWoodRamp + 5);
  Beam(img, 210, 196, 560, 202);
  FillRect(img, 228, 203, 531, 223, kWoodRamp + 3);  // the dark loft behind the railing
  // The ladder up to the loft.
  for (int side : {150, 180}) RoundLine(img, side, 230, side + 20, 420, kWoodRamp + 10, 2);
  for (int r = 0; r < 8; ++r) {
    const int y = 245 + r * 22;
    RoundLine(img, 152 + r * 2, y, 182 + r * 2, y, kWoodRamp + 12, 1);
  }
  // The floor of stone flags.
  for (int y = 408; y < 480; ++y)
    for (int x = 0; x < 640; ++x) {
      const bool joint = (y - 408) % 24 == 0 || (x + ((y - 408) / 24 % 2) * 30) % 60 == 0;
      img.Set(x, y, (uint8_t)(kSlateRamp + (joint ? 3 : 8 + (int)(TextureHash(x / 3, y / 3, 57) % 3))));
    }
  // The bin on the floor: a low wooden box round the lower heap's place.
  FillRect(img, 300, 300, 587, 407, kWoodRamp + 2);
  Planks(img, 308, 300, 579, 407, 18, 4, 58);
  Beam(img, 296, 388, 591, 407);
  Beam(img, 296, 296, 306, 407);
  Beam(img, 581, 296, 591, 407);
  // The window with its sky.
  FillRect(img, 12, 246, 131, 337, kWoodRamp + 3);
  FrameRect(img, 12, 246, 131, 337, kBlack);
  if (sky == 0) {
    for (int y = 250; y < 334; ++y) FillRect(img, 16, y, 127, y, (uint8_t)(kSkyRamp + 13 - (y - 250) / 14));
    FilledCircle(img, 100, 272, 11, kGoldRamp + 15);
    for (int x = 16; x < 128; ++x) {
      const int hill = 318 + (int)(6 * std::sin(x / 14.0));
      for (int y = hill; y < 334; ++y) img.Set(x, y, (uint8_t)(kForestRamp + 8 + (int)(TextureHash(x, y, 59) % 3)));
    }
  } else {
    const int grey = sky == 1 ? 8 : 4;
    for (int y = 250; y < 334; ++y)
      for (int x = 16; x < 128; ++x)
        img.Set(x, y, (uint8_t)(kSlateRamp + grey + (int)(TextureHash(x / 6, y / 4, 60) % 3) - (y - 250) / 40));
    for (int c = 0; c < 4; ++c) FilledEllipse(img, 30 + c * 28, 262 + (c % 2) * 6, 18, 9, (uint8_t)(kSlateRamp + grey - 2));
    for (int x = 16; x < 128; ++x)
      for (int y = 318 + (int)(6 * std::sin(x / 14.0)); y < 334; ++y) img.Set(x, y, (uint8_t)(kForestRamp + 3));
    // Rain streaks, slanted by the wind.
    const int slant = sky == 1 ? 3 : 9;
    for (int d = 0; d < (sky == 1 ? 40 : 70); ++d) {
      const int x = 16 + (int)(TextureHash(d, 1, 61) % 112), y = 252 + (int)(TextureHash(d, 2, 61) % 70);
      RoundLine(img, x, y, x - slant, y + 10, kSkyRamp + 12, 0);
    }
    if (sky == 2) {  // lightning
      RoundLine(img, 84, 252, 74, 278, kWhite, 1);
      RoundLine(img, 74, 278, 88, 284, kWhite, 1);
      RoundLine(img, 88, 284, 70, 314, kWhite, 1);
    }
  }
  FillRect(img, 70, 250, 73, 333, kWoodRamp + 3);
  FillRect(img, 16, 290, 127, 293, kWoodRamp + 3);
  // Sacks by the wall, a shovel, the two doors with their captions.
  for (int s = 0; s < 4; ++s) {
    const int sx = 40 + s * 30, sy = 395 - (s % 2) * 6;
    FilledEllipse(img, sx, sy, 13, 16, kBlack);
    FilledEllipse(img, sx, sy, 12, 15, (uint8_t)(kParchmentRamp + 8 + s % 2));
    FillRect(img, sx - 4, sy - 18, sx + 4, sy - 14, (uint8_t)(kParchmentRamp + 4));
  }
  RoundLine(img, 600, 250, 620, 390, kWoodRamp + 11, 2);
  FilledEllipse(img, 621, 398, 8, 12, kGreyRamp + 9);
  for (int door = 0; door < 2; ++door) {
    const int x1 = door == 0 ? 25 : 569, x2 = door == 0 ? 69 : 612;
    FillRect(img, x1, 414, x2, 455, kWoodRamp + 6);
    FrameRect(img, x1, 414, x2, 455, kBlack);
    Bevel(img, x1 + 1, 415, x2 - 1, 454, false);
    DrawTextCentred(img, x1, 414, x2, 455, door == 0 ? "TOWN" : "EXIT", 1, kWhite, kBlack);
  }
}

const Image& Hall(int sky) {
  static Image halls[3] = {Image(640, 480, kBlack), Image(640, 480, kBlack), Image(640, 480, kBlack)};
  static bool drawn[3] = {false, false, false};
  if (!drawn[sky]) {
    GranaryHall(halls[sky], sky);
    drawn[sky] = true;
  }
  return halls[sky];
}

void Cut(Image& img, const Image& from, int x, int y) {
  for (int j = 0; j < img.height; ++j)
    for (int i = 0; i < img.width; ++i) img.Set(i, j, from.Get(std::min(639, x + i), std::min(479, y + j)));
}

void Inset(Image& img, int x1, int y1, int x2, int y2, uint8_t fill) {
  FillRect(img, x1, y1, x2, y2, fill);
  FrameRect(img, x1 - 1, y1 - 1, x2 + 1, y2 + 1, kWoodRamp + 3);
}

void WoodButton(Image& img, int x1, int y1, int x2, int y2, const std::string& caption) {
  FillRect(img, x1, y1, x2, y2, kWoodRamp + 9);
  FrameRect(img, x1 - 1, y1 - 1, x2 + 1, y2 + 1, kBlack);
  Bevel(img, x1, y1, x2, y2, false);
  DrawTextCentred(img, x1 + 1, y1 + 1, x2 - 1, y2 - 1, caption, 2, kWhite, kBlack);
}

}  // namespace

bool DrawGranaryHall(Image& img) {
  img = Hall(0);
  return true;
}

bool DrawGranaryHeap(Image& img, int place, int fill, std::string* err) {
  if (place < 0 || place > 1 || fill < 1 || fill > 3) {
    *err = "granaryheap <place 0..1> <fill 1..3>";
    return false;
  }
  const int x = place == 0 ? 228 : 308, y = place == 0 ? 116 : 300;
  Cut(img, Hall(0), x, y);
  // The loft's heap lies behind the railing on its floor (row 107 of the
  // place); the bin's on the bin's floor behind its front board.
  const int base = place == 0 ? 107 : 87;
  const int height = fill == 1 ? 26 : fill == 2 ? 54 : 84;
  Heap(img, 8, img.width - 9, base, height, (uint32_t)(464 + place * 3 + fill));
  if (place == 0) {
    // The railing again, in front of the heap.
    FillRect(img, 0, 80, img.width - 1, 86, kWoodRamp + 4);
    FrameRect(img, 0, 80, img.width - 1, 86, kBlack);
    for (int rx = 2; rx < img.width; rx += 30) FillRect(img, rx, 87, rx + 3, 107, kWoodRamp + 5);
  }
  return true;
}

bool DrawGranaryWeather(Image& img, bool storm) {
  Cut(img, Hall(storm ? 2 : 1), 16, 250);
  return true;
}

bool DrawGranaryRequester(Image& img) {
  const int w = img.width, h = img.height;
  // Relative to the requester at (66, 68).
  auto X = [](int x) { return x - 66; };
  auto Y = [](int y) { return y - 68; };
  Grain(img, 0, 0, w - 1, h - 1, kParchmentRamp, 13, 3, 155);
  for (int i = 0; i < 4; ++i) FrameRect(img, i, i, w - 1 - i, h - 1 - i, (uint8_t)(kWoodRamp + 4 + i * 2));
  FrameRect(img, 0, 0, w - 1, h - 1, kBlack);
  // The heading band (the quarter's name at its left end, the year at its right).
  FillRect(img, X(86), Y(76), X(561), Y(98), kParchmentRamp + 10);
  FrameRect(img, X(85), Y(75), X(562), Y(99), kWoodRamp + 3);
  for (int k = 0; k < 3; ++k) {
    const int o = 154 * k;
    // The bar's well, the arrows' place (20 high), the value's field.
    FrameRect(img, X(144 + o), Y(148), X(187 + o), Y(267), kBlack);
    FrameRect(img, X(143 + o), Y(147), X(188 + o), Y(268), kWoodRamp + 6);
    FillRect(img, X(146 + o), Y(150), X(185 + o), Y(265), kWoodRamp + 1);
    // Graduation beside the bar: quarters of the capacity.
    for (int q = 0; q <= 4; ++q) {
      const int y = 150 + (115 * q) / 4;
      FillRect(img, X(139 + o), Y(y), X(143 + o), Y(y), kWoodRamp + 2);
    }
    Inset(img, X(123 + o), Y(271), X(138 + o), Y(290), kParchmentRamp + 8);
    Inset(img, X(192 + o), Y(271), X(207 + o), Y(290), kParchmentRamp + 8);
    Inset(img, X(118 + o), Y(294), X(212 + o), Y(310), kParchmentRamp + 14);
  }
  // The threshold tracks.
  for (int tx : {226, 380}) {
    Inset(img, X(tx), Y(150), X(tx + 5), Y(265), kWoodRamp + 6);
    for (int q = 0; q <= 10; ++q) FillRect(img, X(tx + 1), Y(150 + 115 * q / 10), X(tx + 4), Y(150 + 115 * q / 10), kGoldRamp + 12);
  }
  // A small granary beside the count at (310, 130).
  FillRect(img, X(292), Y(131), X(306), Y(141), kWoodRamp + 7);
  for (int i = 0; i < 9; ++i) FillRect(img, X(291 + i), Y(130 - i / 2), X(307 - i), Y(130 - i / 2), kRedRamp + 6);
  FillRect(img, X(297), Y(135), X(301), Y(141), kWoodRamp + 2);
  // The two scales from x 223 to 413: the marker stands above the line.
  for (int sy : {363, 397}) {
    Inset(img, X(220), Y(sy + 9), X(416), Y(sy + 12), kWoodRamp + 4);
    for (int t = 0; t <= 10; ++t) {
      const int x = 223 + 190 * t / 10;
      FillRect(img, X(x), Y(sy + 13), X(x), Y(sy + (t % 5 == 0 ? 18 : 15)), kWoodRamp + 2);
    }
    FillRect(img, X(223), Y(sy + 9), X(318), Y(sy + 12), kRedRamp + 8);
    FillRect(img, X(319), Y(sy + 9), X(413), Y(sy + 12), kForestRamp + 9);
  }
  WoodButton(img, X(86), Y(424), X(180), Y(447), "HELP");
  WoodButton(img, X(276), Y(424), X(370), Y(447), "OK");
  WoodButton(img, X(466), Y(424), X(560), Y(447), "EXIT");
  return true;
}

bool DrawGrainBar(Image& img, bool full) {
  const int w = img.width, h = img.height;
  if (full) {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const int v = 11 - std::abs(x - w / 2) / 6 + (int)(TextureHash(x, y, 159) % 4) - 1;
        img.Set(x, y, (uint8_t)(kSandRamp + std::clamp(v, 3, 15)));
      }
    for (int y = 0; y < h; y += 29) FillRect(img, 0, y, w - 1, y, kSandRamp + 5);  // the quarter lines
  } else {
    Planks(img, 0, 0, w - 1, h - 1, 10, 3, 158);
    for (int y = 0; y < h; y += 29) FillRect(img, 0, y, w - 1, y, kWoodRamp + 7);
  }
  return true;
}

bool DrawScaleMarker(Image& img) {
  // A pointer: a head pointing down onto the scale, its stem above.
  const int w = img.width, h = img.height, cx = w / 2;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const bool stem = y < h - 6 && std::abs(x - cx) <= 1;
      const int row = y - (h - 7);
      const bool head = row >= 0 && std::abs(x - cx) <= 3 - row / 2;
      if (stem || head) img.Set(x, y, std::abs(x - cx) == (stem ? 1 : 3 - row / 2) ? (uint8_t)kBlack : (uint8_t)(kRedRamp + 11));
    }
  return true;
}

bool DrawPaletteSample(Image& img) {
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x) img.Set(x, y, (uint8_t)(y * 16 + x));
  return true;
}

Palette DullPalette() {
  Palette p = SharedPalette();
  for (auto& c : p) {
    const int grey = (c[0] * 30 + c[1] * 59 + c[2] * 11) / 100;
    for (auto& v : c) v = (uint8_t)std::clamp((v * 5 + grey * 3) / 8 * 82 / 100, 0, 255);
  }
  return p;
}

namespace {

// A shelf board with goods on it between x1 and x2, its board at y.
void Shelf(Image& img, int x1, int x2, int y, uint32_t seed) {
  int x = x1 + 4;
  int k = 0;
  while (x < x2 - 24) {
    const int kind = (int)(TextureHash(k, 1, seed) % 5), w = 16 + (int)(TextureHash(k, 2, seed) % 14);
    const uint8_t ramps[5] = {kRedRamp, kSkyRamp, kGoldRamp, kForestRamp, 144};
    const uint8_t ramp = ramps[TextureHash(k, 3, seed) % 5];
    if (kind == 0) {  // a jar
      FilledEllipse(img, x + w / 2, y - 10, w / 2, 10, kBlack);
      FilledEllipse(img, x + w / 2, y - 10, w / 2 - 1, 9, (uint8_t)(ramp + 8));
      FillRect(img, x + w / 2 - 3, y - 24, x + w / 2 + 3, y - 19, (uint8_t)(ramp + 5));
      img.Set(x + w / 2 - 3, y - 14, (uint8_t)(ramp + 14));
    } else if (kind == 1) {  // a crate
      FillRect(img, x, y - 18, x + w, y - 1, kWoodRamp + 9);
      FrameRect(img, x, y - 18, x + w, y - 1, kBlack);
      RoundLine(img, x, y - 18, x + w, y - 1, kWoodRamp + 5, 0);
    } else if (kind == 2) {  // a bolt of cloth
      FilledEllipse(img, x + w / 2, y - 8, w / 2, 8, kBlack);
      FilledEllipse(img, x + w / 2, y - 8, w / 2 - 1, 7, (uint8_t)(ramp + 10));
      for (int i = 0; i < w; i += 4) FillRect(img, x + i, y - 14, x + i, y - 3, (uint8_t)(ramp + 6));
    } else if (kind == 3) {  // a sack
      FilledEllipse(img, x + w / 2, y - 11, w / 2, 11, kBlack);
      FilledEllipse(img, x + w / 2, y - 11, w / 2 - 1, 10, (uint8_t)(kParchmentRamp + 8));
    } else {  // a small chest with gold
      FillRect(img, x, y - 14, x + w, y - 1, kWoodRamp + 6);
      FillRect(img, x + 1, y - 16, x + w - 1, y - 13, kGoldRamp + 13);
      FrameRect(img, x, y - 14, x + w, y - 1, kBlack);
    }
    x += w + 6;
    ++k;
  }
  FillRect(img, x1, y, x2, y + 5, kWoodRamp + 7);
  FillRect(img, x1, y + 5, x2, y + 6, kWoodRamp + 2);
}

// A balance scale, small, at (cx, top): post, beam, two pans.
void BalanceIcon(Image& img, int cx, int top, int tilt) {
  FillRect(img, cx - 1, top + 4, cx + 1, top + 26, kGoldRamp + 6);
  FillRect(img, cx - 6, top + 26, cx + 6, top + 28, kGoldRamp + 4);
  RoundLine(img, cx - 12, top + 6 + tilt, cx + 12, top + 6 - tilt, kGoldRamp + 12, 1);
  for (int side : {-1, 1}) {
    const int px = cx + side * 12, py = top + 6 - side * tilt;
    RoundLine(img, px, py, px - 4, py + 10, kGoldRamp + 9, 0);
    RoundLine(img, px, py, px + 4, py + 10, kGoldRamp + 9, 0);
    FillRect(img, px - 5, py + 10, px + 5, py + 11, kGoldRamp + 11);
  }
}

// The raw material's sign: 0 plant (a sheaf), 1 animal (a sheep), 2 mineral (ore).
void RawSign(Image& img, int cx, int cy, int kind) {
  if (kind == 0) {
    for (int i = -3; i <= 3; ++i) RoundLine(img, cx, cy + 9, cx + i * 2, cy - 8, kGoldRamp + 10, 0);
    FillRect(img, cx - 4, cy + 1, cx + 4, cy + 2, kWoodRamp + 4);
  } else if (kind == 1) {
    FilledEllipse(img, cx, cy, 9, 6, kGreyRamp + 14);
    FilledEllipse(img, cx + 8, cy - 3, 3, 3, kGreyRamp + 4);
    for (int lx : {cx - 5, cx + 4}) FillRect(img, lx, cy + 5, lx + 1, cy + 9, kGreyRamp + 3);
  } else {
    FilledEllipse(img, cx - 3, cy + 3, 6, 5, kSlateRamp + 6);
    FilledEllipse(img, cx + 4, cy + 1, 5, 6, kSlateRamp + 9);
    img.Set(cx + 3, cy - 1, kGoldRamp + 15);
    img.Set(cx - 4, cy + 2, kGoldRamp + 15);
  }
}

}  // namespace

bool DrawLuxuryStore(Image& img) {
  // The storehouse: stone below, shelves of goods on plank walls.
  Planks(img, 0, 0, 639, 479, 26, 8, 919);
  for (int y = 424; y < 480; ++y)
    for (int x = 0; x < 640; ++x) {
      const bool joint = (y - 424) % 28 == 0 || (x + ((y - 424) / 28 % 2) * 35) % 70 == 0;
      img.Set(x, y, (uint8_t)(kSlateRamp + (joint ? 3 : 7 + (int)(TextureHash(x / 3, y / 3, 920) % 3))));
    }
  Shelf(img, 186, 444, 132, 921);
  Shelf(img, 448, 636, 66, 922);
  // The title board.
  FillRect(img, 192, 4, 472, 32, kWoodRamp + 2);
  FrameRect(img, 192, 4, 472, 32, kGoldRamp + 10);
  FrameRect(img, 194, 6, 470, 30, kBlack);
  // The goods frame at (16, 16), 160 x 120.
  for (int i = 1; i <= 5; ++i) FrameRect(img, 16 - i, 16 - i, 175 + i, 135 + i, (uint8_t)(i == 5 ? kBlack : kGoldRamp + 6 + i));
  FillRect(img, 16, 16, 175, 135, kWoodRamp + 1);
  // The inhabitants' plaque and the switch's board.
  Grain(img, 192, 36, 444, 62, kParchmentRamp, 12, 2, 923);
  FrameRect(img, 191, 35, 445, 63, kWoodRamp + 3);
  Inset(img, 336, 40, 440, 58, kParchmentRamp + 14);
  Grain(img, 464, 36, 566, 62, kParchmentRamp, 12, 2, 924);
  FrameRect(img, 463, 35, 567, 63, kWoodRamp + 3);
  // The ledger: column heads and the list's place.
  Grain(img, 10, 150, 446, 454, kParchmentRamp, 12, 2, 925);
  FrameRect(img, 9, 149, 447, 455, kWoodRamp + 3);
  FrameRect(img, 8, 148, 448, 456, kBlack);
  FillRect(img, 16, 174, 419, 175, kWoodRamp + 4);
  FillRect(img, 16, 178, 419, 418, kTitleBar);
  FrameRect(img, 15, 177, 420, 419, kWoodRamp + 3);
  Inset(img, 424, 200, 439, 396, kWoodRamp + 6);
  // Less, the typed allocation's box, more.
  for (int b = 0; b < 2; ++b) {
    const int x1 = b == 0 ? 16 : 135;
    FillRect(img, x1, 428, x1 + 19, 447, kWoodRamp + 9);
    FrameRect(img, x1 - 1, 427, x1 + 20, 448, kBlack);
    Bevel(img, x1, 428, x1 + 19, 447, false);
    for (int i = 0; i < 6; ++i) {
      const int x = b == 0 ? x1 + 6 + i : x1 + 13 - i;
      FillRect(img, x, 437 - i, x, 438 + i, kWhite);
    }
  }
  Inset(img, 40, 428, 130, 447, 22);
  // The scales' board: for each raw material its sign, a balance and the
  // bar (shortage red on the left, unused green on the right), graduated.
  Grain(img, 448, 72, 630, 420, kParchmentRamp, 11, 2, 926);
  FrameRect(img, 447, 71, 631, 421, kWoodRamp + 3);
  FrameRect(img, 446, 70, 632, 422, kBlack);
  for (int row = 0; row < 3; ++row) {
    const int y = 150 + 90 * row;
    RawSign(img, 462, y - 18, row == 0 ? 0 : row == 1 ? 1 : 2);
    BalanceIcon(img, 462, y - 2, row - 1);
    FillRect(img, 480, y + 1, 539, y + 4, kRedRamp + 8);
    FillRect(img, 540, y + 1, 600, y + 4, kForestRamp + 10);
    FrameRect(img, 479, y, 601, y + 5, kBlack);
    for (int t = 0; t <= 10; ++t) {
      const int x = 480 + 12 * t;
      FillRect(img, x, y + 6, x, y + (t % 5 == 0 ? 12 : 9), kWoodRamp + 2);
    }
    Inset(img, 500, y + 18, 580, y + 34, kParchmentRamp + 14);
  }
  // Help, OK and exit.
  WoodButton(img, 456, 436, 514, 459, "HELP");
  WoodButton(img, 520, 436, 568, 459, "OK");
  WoodButton(img, 574, 436, 624, 459, "EXIT");
  return true;
}

}  // namespace datakit
