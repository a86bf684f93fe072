// The story screen's pictures: the camp fire at night (picture 505) with a
// lute player and a fire where the screen's two movies play, the story
// browser's frame (graphic 506), and the story pictures of the story index
// (a town on its hill, a healing herb).
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "art.h"

namespace datakit {
namespace {

constexpr uint8_t kRedRamp = 80, kGreenRamp = 96, kBlueRamp = 112, kSlate = 176, kForest = 192, kSand = 208;

uint32_t Noise(int x, int y, uint32_t seed) {
  uint32_t h = (uint32_t)x * 73856093u ^ (uint32_t)y * 19349663u ^ seed * 83492791u;
  h ^= h >> 13;
  h *= 1274126177u;
  return h ^ (h >> 16);
}

void Ellipse(Image& img, int cx, int cy, int rx, int ry, uint8_t fill) {
  for (int y = -ry; y <= ry; ++y)
    for (int x = -rx; x <= rx; ++x)
      if ((double)x * x / (rx * rx) + (double)y * y / (ry * ry) <= 1.0) img.Set(cx + x, cy + y, fill);
}

// A filled triangle with its apex on top.
void Triangle(Image& img, int cx, int top, int half, int bottom, uint8_t c) {
  for (int y = top; y <= bottom; ++y) {
    const int w = half * (y - top) / std::max(1, bottom - top);
    FillRect(img, cx - w, y, cx + w, y, c);
  }
}

// A flame: a teardrop from the base upwards, hotter inside.
void Flame(Image& img, int cx, int base, int h, int w) {
  for (int y = 0; y < h; ++y) {
    const double t = (double)y / h;  // 0 at the base
    const int half = (int)(w * std::sin(3.14159 * (1.0 - t) * 0.5 + 0.2) * (1.0 - t * 0.85));
    for (int x = -half; x <= half; ++x) {
      const double inner = half ? std::abs((double)x) / half : 0;
      const int heat = (int)(15 - inner * 9 - t * 6);
      const int px = cx + x + (int)(std::sin(t * 5.0) * 2);
      if (inner < 0.4 && t < 0.55) img.Set(px, base - y, (uint8_t)(kGoldRamp + 13 + (int)(2 * (1 - t))));
      else img.Set(px, base - y, (uint8_t)(160 + std::clamp(heat, 2, 15)));
    }
  }
}

// A seated figure: cloak, head with a hood or hat, arms.
void Figure(Image& img, int x, int y, uint8_t cloak, bool hat) {
  Triangle(img, x + 30, y + 22, 24, y + 80, cloak);              // cloak
  FillRect(img, x + 10, y + 70, x + 52, y + 86, (uint8_t)(cloak - 3));  // lap
  FilledCircle(img, x + 30, y + 14, 10, kSand + 9);                       // face
  FilledCircle(img, x + 27, y + 13, 1, kBlack);
  FilledCircle(img, x + 34, y + 13, 1, kBlack);
  if (hat) {
    FillRect(img, x + 16, y + 2, x + 44, y + 5, kRedRamp + 4);
    Triangle(img, x + 30, y - 12, 10, y + 3, kRedRamp + 6);
    RoundLine(img, x + 34, y - 8, x + 50, y - 16, kGold, 1);            // feather
  } else {
    for (int dy = -12; dy <= 0; ++dy)
      for (int dx = -12; dx <= 12; ++dx)
        if (dx * dx + dy * dy <= 144 && dy < -4 + std::abs(dx) / 3) img.Set(x + 30 + dx, y + 14 + dy, (uint8_t)(cloak - 2));
  }
}

void Lute(Image& img, int x, int y) {
  Ellipse(img, x, y, 17, 13, kWoodRamp + 10);
  Ellipse(img, x, y, 15, 11, kWoodRamp + 12);
  FilledCircle(img, x + 2, y - 1, 4, kWoodRamp + 1);
  RoundLine(img, x + 12, y - 8, x + 40, y - 30, kWoodRamp + 6, 2);      // neck
  FillRect(img, x + 38, y - 36, x + 46, y - 28, kWoodRamp + 4);    // peg box
  for (int s = -1; s <= 1; ++s) RoundLine(img, x - 8, y + s * 2, x + 40, y - 30 + s, kParchmentRamp + 15);
}

void Tent(Image& img, int x1, int x2, int top, int bottom) {
  const int cx = (x1 + x2) / 2;
  for (int y = top; y <= bottom; ++y) {
    const int half = (x2 - x1) / 2 * (y - top) / std::max(1, bottom - top);
    for (int x = cx - half; x <= cx + half; ++x) img.Set(x, y, (uint8_t)(kSand + 4 + (x < cx ? 0 : 2)));
  }
  Triangle(img, cx, top + (bottom - top) / 2, (x2 - x1) / 7, bottom, kWoodRamp + 1);  // the opening
  RoundLine(img, cx, top - 10, cx, top + 2, kWoodRamp + 3, 1);
  FillRect(img, cx + 1, top - 10, cx + 12, top - 5, kRedRamp + 8);                  // pennant
}

// Wooden band with a plate of parchment (the title and the bar the gadgets'
// names are written into).
void Band(Image& img, int y1, int y2, int px1, int px2, uint8_t plate) {
  for (int y = y1; y <= y2; ++y)
    for (int x = 0; x < img.width; ++x) img.Set(x, y, (uint8_t)(kWoodRamp + 4 + (int)(Noise(x / 5, y / 3, 5) % 3)));
  FrameRect(img, 0, y1, img.width - 1, y2, kBlack);
  FillRect(img, px1 - 4, y1 + 1, px2 + 4, y2 - 1, kDarkGold);
  FrameRect(img, px1 - 3, y1 + 2, px2 + 3, y2 - 2, kGold);
  FillRect(img, px1, y1 + 4 > y2 - 4 ? y1 + 1 : y1 + 4, px2, y2 - 4 < y1 + 4 ? y2 - 1 : y2 - 4, plate);
}

}  // namespace

bool DrawCampfire(Image& img) {
  const int w = img.width, h = img.height;
  // The two movies play in boxes of their own: the fire at (400, 206), 96 x 80
  // (night sky to y 259, dark earth below), the lute player at (192, 212),
  // 96 x 104 (a wooden wall). The scene is drawn so that they sit in it: the
  // sky brightens to the horizon just as the fire's, the earth is as dark,
  // and the lute player sits in the open side of a wagon.
  constexpr int kHorizon = 260, kFireX = 400, kFireY = 206, kFireW = 96, kFireH = 80;
  constexpr int kLuteX = 192, kLuteY = 212, kLuteW = 96, kLuteH = 104;
  for (int y = 0; y < kHorizon; ++y)
    for (int x = 0; x < w; ++x) {
      const int steps = y < kFireY ? 0 : (y - kFireY) * 3 * 16 / (kHorizon - 1 - kFireY);
      img.Set(x, y, (uint8_t)(kBlueRamp + std::min(4, (steps + (int)(Noise(x, y, 1) % 16)) / 16)));
    }
  for (int i = 0; i < 160; ++i) {
    const int sx = (int)(Noise(i, 7, 2) % (uint32_t)w), sy = 44 + (int)(Noise(i, 9, 3) % 150u);
    img.Set(sx, sy, i % 5 ? (uint8_t)(kGreyRamp + 13) : (uint8_t)kGold);
  }
  FilledCircle(img, 560, 90, 22, kParchmentRamp + 15);
  FilledCircle(img, 569, 84, 20, kBlueRamp + 1);  // a crescent
  // Hills and the forest's edge, opening into a clearing round the fire.
  for (int x = 0; x < w; ++x) {
    int hill = 232 + (int)(16 * std::sin(x / 70.0) + 8 * std::sin(x / 23.0 + 1.0));
    const int d = std::max(0, std::max(kFireX - 30 - x, x - (kFireX + kFireW + 30)));
    if (d < 60) hill = kHorizon - (kHorizon - hill) * d / 60;
    for (int y = hill; y < kHorizon; ++y) img.Set(x, y, (uint8_t)(kForest + 1 + (y - hill) / 12));
  }
  for (int i = 0; i < 38; ++i) {
    const int tx = i * 18 + (int)(Noise(i, 1, 4) % 12), th = 40 + (int)(Noise(i, 2, 4) % 40);
    if (tx > kFireX - 70 && tx < kFireX + kFireW + 70) continue;
    Triangle(img, tx, 250 - th, 11, 256, (uint8_t)(kForest + 2 + (i % 2)));
  }
  // The earth of the camp, as dark as the fire movie's.
  for (int y = kHorizon; y < h; ++y)
    for (int x = 0; x < w; ++x) img.Set(x, y, (uint8_t)(kWoodRamp + 1 + (int)(Noise(x / 2, y / 2, 5) % 3)));
  // The fire itself, for a screen without its movie: stones, logs, flames.
  const int fx = kFireX + kFireW / 2, fy = kFireY + kFireH * 4 / 5;
  for (int i = 0; i < 9; ++i) {
    const double a = 3.14159 * (0.05 + 0.9 * i / 8.0);
    Ellipse(img, fx - (int)(std::cos(a) * 32), fy + (int)(std::sin(a) * 4), 5, 3, (uint8_t)(kSlate + 6 + i % 3));
  }
  RoundLine(img, fx - 24, fy + 2, fx + 19, fy - 6, kWoodRamp + 4, 2);
  RoundLine(img, fx + 24, fy + 2, fx - 19, fy - 6, kWoodRamp + 6, 2);
  Flame(img, fx, fy, 44, 16);
  // The wagon round the lute player: canvas hood, posts, floor, wheels; its
  // inside is the movie's wall.
  for (int y = kLuteY; y < kLuteY + kLuteH; ++y)
    for (int x = kLuteX; x < kLuteX + kLuteW; ++x)
      img.Set(x, y, (uint8_t)(kWoodRamp + 2 + (y - kLuteY) * 3 / kLuteH + (int)(Noise(x, y, 8) % 2)));
  for (int y = kLuteY - 44; y < kLuteY; ++y) {
    const int bulge = (int)(std::sqrt(std::max(0.0, 1.0 - (double)(kLuteY - y) * (kLuteY - y) / (44.0 * 44.0))) * 70);
    for (int x = kLuteX + kLuteW / 2 - bulge; x <= kLuteX + kLuteW / 2 + bulge; ++x)
      img.Set(x, y, (uint8_t)(kSand + 9 + ((x - kLuteX) / 14) % 2 * 2));
  }
  FillRect(img, kLuteX - 14, kLuteY - 4, kLuteX + kLuteW + 13, kLuteY - 1, kWoodRamp + 3);
  FillRect(img, kLuteX - 12, kLuteY, kLuteX - 1, kLuteY + kLuteH + 8, kWoodRamp + 5);
  FillRect(img, kLuteX + kLuteW, kLuteY, kLuteX + kLuteW + 11, kLuteY + kLuteH + 8, kWoodRamp + 5);
  FillRect(img, kLuteX - 14, kLuteY + kLuteH, kLuteX + kLuteW + 13, kLuteY + kLuteH + 8, kWoodRamp + 7);
  for (int wx : {kLuteX + 6, kLuteX + kLuteW - 6}) {
    FilledCircle(img, wx, kLuteY + kLuteH + 20, 16, kWoodRamp + 3);
    FilledCircle(img, wx, kLuteY + kLuteH + 20, 12, kWoodRamp + 1);
    for (int k = 0; k < 6; ++k)
      RoundLine(img, wx, kLuteY + kLuteH + 20, wx + (int)(13 * std::cos(k * 1.047)), kLuteY + kLuteH + 20 + (int)(13 * std::sin(k * 1.047)),
           kWoodRamp + 5);
    FilledCircle(img, wx, kLuteY + kLuteH + 20, 3, kWoodRamp + 8);
  }
  RoundLine(img, kLuteX + kLuteW + 12, kLuteY + kLuteH + 4, kLuteX + kLuteW + 60, kLuteY + kLuteH + 24, kWoodRamp + 4, 1);
  // The lute player without his movie.
  Figure(img, kLuteX + 18, kLuteY + 20, (uint8_t)(kGreenRamp + 6), true);
  Lute(img, kLuteX + 58, kLuteY + 74);
  // A listener on the far side of the fire, the tent.
  Figure(img, 540, 236, (uint8_t)(kRedRamp + 5), false);
  Tent(img, 24, 150, 200, 322);
  // The title plate at the top (157, 6) to (349, 34) and the bar at the foot
  // (160, 464) to (480, 478) that names the browser's buttons (pen 6).
  Band(img, 0, 40, 157, 349, kParchmentRamp + 14);
  Band(img, 460, h - 1, 160, 480, kTitleBar);
  FillRect(img, 160, 464, 480, 478, kTitleBar);
  return true;
}

bool DrawStoryBox(Image& img) {
  const int w = img.width, h = img.height;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) img.Set(x, y, (uint8_t)(kParchmentRamp + 11 + (int)(Noise(x / 2, y / 2, 9) % 3)));
  for (int i = 0; i < 8; ++i)
    FrameRect(img, i, i, w - 1 - i, h - 1 - i, (uint8_t)(kWoodRamp + 4 + (i < 4 ? i * 2 : (8 - i) * 2)));
  FrameRect(img, 0, 0, w - 1, h - 1, kBlack);
  FrameRect(img, 8, 8, w - 9, h - 9, kGold);
  // The page (35, 38) 417 x 305, the slider's groove and the button row.
  FrameRect(img, 32, 35, 454, 345, kDarkGold);
  FrameRect(img, 33, 36, 453, 344, kWoodRamp + 2);
  FillRect(img, 457, 43, 476, 318, kWoodRamp + 3);
  FrameRect(img, 457, 43, 476, 318, kBlack);
  FillRect(img, 460, 67, 473, 290, kGreyRamp + 6);
  FillRect(img, 32, 354, 454, 397, kParchmentRamp + 8);
  FrameRect(img, 32, 354, 454, 397, kDarkGold);
  // The help seal (gadget INFO, 20..51 x 396..415).
  FilledCircle(img, 36, 405, 11, kRedRamp + 5);
  FilledCircle(img, 36, 405, 8, kRedRamp + 8);
  DrawTextCentred(img, 26, 396, 46, 415, "?", 2, kParchmentRamp + 15, kBlack);
  // Corner ornaments.
  const int cx[4] = {16, w - 17, 16, w - 17}, cy[4] = {16, 16, h - 17, h - 17};
  for (int i = 0; i < 4; ++i) FilledCircle(img, cx[i], cy[i], 4, kGold);
  return true;
}

bool DrawStoryArrow(Image& img, const std::string& dir, bool pressed, std::string* err) {
  if (dir != "left" && dir != "right") {
    *err = "storyarrow left|right released|pressed";
    return false;
  }
  DrawButton(img, pressed, "");
  const int w = img.width, h = img.height, d = pressed ? 1 : 0, s = dir == "left" ? -1 : 1;
  const int cx = w / 2 + d, cy = h / 2 + d, half = h / 2 - 6;
  // An arrow head and its shaft in parchment, shadowed.
  for (int pass = 0; pass < 2; ++pass) {
    const uint8_t c = pass ? (uint8_t)(kParchmentRamp + 15) : (uint8_t)kBlack;
    const int o = pass ? 0 : 1;
    for (int i = 0; i <= half; ++i)
      FillRect(img, cx + s * (half - i) + o, cy - i + o, cx + s * (half - i) + o, cy + i + o, c);
    FillRect(img, std::min(cx, cx - s * 14) + o, cy - 3 + o, std::max(cx, cx - s * 14) + o, cy + 3 + o, c);
  }
  return true;
}

bool DrawStoryPicture(Image& img, const std::string& kind, std::string* err) {
  const int w = img.width, h = img.height;
  if (kind == "town") {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) img.Set(x, y, (uint8_t)(kBlueRamp + 12 - y * 6 / h));
    FilledCircle(img, w - 22, 16, 9, kGold);
    for (int x = 0; x < w; ++x) {
      const int top = h / 2 + (int)(10 * std::cos((x - w / 2) / 22.0));
      for (int y = top; y < h; ++y) img.Set(x, y, (uint8_t)(kGreenRamp + 7 - (y - top) / 8));
    }
    // Houses with red roofs round a keep.
    const int hx[5] = {w / 2 - 40, w / 2 - 22, w / 2 + 14, w / 2 + 30, w / 2 - 6};
    for (int i = 0; i < 5; ++i) {
      const int base = h / 2 + 16 + (i % 2) * 6;
      FillRect(img, hx[i], base - 12, hx[i] + 13, base, (uint8_t)(kSand + 10));
      Triangle(img, hx[i] + 6, base - 22, 9, base - 12, (uint8_t)(kRedRamp + 6));
      FillRect(img, hx[i] + 5, base - 6, hx[i] + 8, base, kWoodRamp + 2);
    }
    FillRect(img, w / 2 - 8, h / 2 - 24, w / 2 + 8, h / 2 + 6, (uint8_t)(kSlate + 9));
    for (int x = w / 2 - 8; x <= w / 2 + 8; x += 4) FillRect(img, x, h / 2 - 28, x + 1, h / 2 - 24, (uint8_t)(kSlate + 9));
    RoundLine(img, w / 2, h / 2 - 40, w / 2, h / 2 - 28, kWoodRamp + 2);
    FillRect(img, w / 2 + 1, h / 2 - 40, w / 2 + 10, h / 2 - 35, kRedRamp + 8);
    FillRect(img, 0, h - 10, w - 1, h - 1, (uint8_t)(kSand + 6));  // the road
    FrameRect(img, 0, 0, w - 1, h - 1, kBlack);
    return true;
  }
  if (kind == "herb") {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) img.Set(x, y, (uint8_t)(kParchmentRamp + 13 + (int)(Noise(x / 2, y / 2, 12) % 3)));
    const int cx = w / 2, base = h - 10;
    RoundLine(img, cx, base, cx + 2, 14, kGreenRamp + 3, 1);
    for (int i = 0; i < 5; ++i) {
      const int y = base - 12 - i * 14, side = i % 2 ? 1 : -1;
      RoundLine(img, cx, y, cx + side * 22, y - 10, kGreenRamp + 3);
      Ellipse(img, cx + side * 24, y - 12, 10, 5, (uint8_t)(kGreenRamp + 6 + i % 3));
    }
    for (int i = 0; i < 5; ++i) FilledCircle(img, cx + 2 + (i - 2) * 5, 12 + (i % 2) * 3, 3, (uint8_t)(144 + 10));
    RoundLine(img, cx - 16, base, cx + 16, base, kWoodRamp + 2, 1);  // the earth
    FrameRect(img, 0, 0, w - 1, h - 1, kDarkGold);
    return true;
  }
  *err = "storypicture town|herb";
  return false;
}

}  // namespace datakit
