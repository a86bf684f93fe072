#include "art.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

namespace datakit {
namespace {

struct Glyph {
  char ch;
  const char* rows[7];
};
const Glyph kGlyphs[] = {
#include "font5x7.inc"
};

const Glyph* FindGlyph(char c) {
  unsigned char u = (unsigned char)c;
  if (u >= 'a' && u <= 'z') u = (unsigned char)(u - 'a' + 'A');
  // Latin-1 umlauts fall back to their base letters.
  if (u == 0xC4 || u == 0xE4) u = 'A';
  if (u == 0xD6 || u == 0xF6) u = 'O';
  if (u == 0xDC || u == 0xFC) u = 'U';
  for (const Glyph& g : kGlyphs)
    if ((unsigned char)g.ch == u) return &g;
  return nullptr;
}

void Ramp(Palette& p, int first, int count, std::array<int, 3> lo, std::array<int, 3> hi) {
  for (int i = 0; i < count; ++i)
    for (int k = 0; k < 3; ++k) p[first + i][k] = (uint8_t)(lo[k] + (hi[k] - lo[k]) * i / std::max(1, count - 1));
}

Palette MakePalette() {
  Palette p{};
  const std::array<std::array<uint8_t, 3>, 16> base = {{
      {0, 0, 0}, {255, 255, 255}, {64, 64, 64}, {128, 128, 128},
      {192, 192, 192}, {232, 214, 170}, {112, 72, 32}, {40, 24, 8},
      {212, 168, 64}, {150, 110, 30}, {170, 30, 30}, {40, 130, 50},
      {40, 70, 160}, {110, 160, 220}, {140, 96, 56}, {150, 150, 140},
  }};
  for (int i = 0; i < 16; ++i) p[i] = base[i];
  Ramp(p, 16, 16, {0, 0, 0}, {255, 255, 255});
  Ramp(p, 32, 16, {90, 70, 40}, {250, 236, 200});     // parchment
  Ramp(p, 48, 16, {40, 22, 8}, {200, 140, 80});       // wood
  Ramp(p, 64, 16, {60, 40, 0}, {255, 230, 120});      // gold
  Ramp(p, 80, 16, {50, 0, 0}, {255, 120, 110});       // red
  Ramp(p, 96, 16, {0, 40, 0}, {150, 230, 120});       // green
  Ramp(p, 112, 16, {0, 10, 60}, {130, 170, 255});     // blue
  Ramp(p, 128, 16, {0, 50, 60}, {140, 240, 240});     // teal
  Ramp(p, 144, 16, {40, 0, 50}, {220, 150, 240});     // purple
  Ramp(p, 160, 16, {70, 30, 0}, {255, 190, 90});      // orange
  Ramp(p, 176, 16, {40, 44, 50}, {200, 205, 215});    // slate
  Ramp(p, 192, 16, {10, 40, 10}, {110, 170, 80});     // forest
  Ramp(p, 208, 16, {110, 90, 50}, {245, 230, 180});   // sand
  Ramp(p, 224, 16, {0, 30, 80}, {90, 170, 230});      // water
  Ramp(p, 240, 15, {80, 20, 40}, {250, 180, 200});    // rose
  p[kTransparent] = {255, 0, 255};
  return p;
}

// A stable pseudo-random value per pixel for textures.
uint32_t Hash(int x, int y, uint32_t seed) {
  uint32_t h = (uint32_t)x * 374761393u + (uint32_t)y * 668265263u + seed * 2246822519u;
  h = (h ^ (h >> 13)) * 1274126177u;
  return h ^ (h >> 16);
}

void Line(Image& img, int x0, int y0, int x1, int y1, int thick, uint8_t c) {
  int steps = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
  for (int i = 0; i <= steps; ++i) {
    int x = x0 + (steps ? (x1 - x0) * i / steps : 0);
    int y = y0 + (steps ? (y1 - y0) * i / steps : 0);
    FilledCircle(img, x, y, thick, c);
  }
}

void Disc(Image& img, int cx, int cy, int r, uint8_t fill, uint8_t edge) {
  for (int y = cy - r; y <= cy + r; ++y)
    for (int x = cx - r; x <= cx + r; ++x) {
      int d = (x - cx) * (x - cx) + (y - cy) * (y - cy);
      if (d <= r * r) img.Set(x, y, d >= (r - 1) * (r - 1) ? edge : fill);
    }
}

// Filled triangle pointing in direction dir (0 up, 1 down, 2 left, 3 right).
void Arrow(Image& img, int cx, int cy, int size, int dir, uint8_t c) {
  for (int i = 0; i <= size; ++i) {
    int half = i / 2 + i % 2;
    for (int j = -half; j <= half; ++j) {
      int along = i - size / 2;
      switch (dir) {
        case 0: img.Set(cx + j, cy + along, c); break;
        case 1: img.Set(cx + j, cy - along, c); break;
        case 2: img.Set(cx + along, cy + j, c); break;
        default: img.Set(cx - along, cy + j, c); break;
      }
    }
  }
}

// Parchment in pens 0..35 only: the town view's night darkens the pens
// above, and a box must stay legible by night.
void SteadyParchmentFill(Image& img, int x1, int y1, int x2, int y2, uint32_t seed) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      const uint32_t n = Hash(x / 2, y, seed) % 64;
      const int edge = std::min({x - x1, x2 - x, y - y1, y2 - y});
      uint8_t c = kParchment;
      if (n < 3) c = kWhite;                            // light fibres
      else if (n == 3) c = kStone;                      // a dark one
      else if (edge < 3 && n < 12) c = kDarkGold;       // aged edges
      img.Set(x, y, c);
    }
}

}  // namespace

void ParchmentFill(Image& img, int x1, int y1, int x2, int y2, uint32_t seed) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      // Light at the top, darker below, dithered so the steps do not show.
      int t = (y - y1) * 48 / std::max(1, y2 - y1 + 1);
      int shade = 14 - (t + (int)(Hash(x / 2, y / 2, seed) % 16)) / 16;
      img.Set(x, y, (uint8_t)(kParchmentRamp + std::clamp(shade, 0, 15)));
    }
}

void WoodFrame(Image& img, int x1, int y1, int x2, int y2, int width) {
  for (int i = 0; i < width; ++i) {
    uint8_t c = (uint8_t)(kWoodRamp + 4 + (i < width / 2 ? i * 2 : (width - i) * 2));
    FrameRect(img, x1 + i, y1 + i, x2 - i, y2 - i, std::min<uint8_t>(c, kWoodRamp + 15));
  }
  FrameRect(img, x1, y1, x2, y2, kBlack);
  FrameRect(img, x1 + width, y1 + width, x2 - width, y2 - width, kGold);
  FrameRect(img, x1 + width + 1, y1 + width + 1, x2 - width - 1, y2 - width - 1, kDarkGold);
}


// A filled disc of radius r round (cx, cy), clipped to the image.
void FilledCircle(Image& img, int cx, int cy, int r, uint8_t c) {
  for (int y = -r; y <= r; ++y)
    for (int x = -r; x <= r; ++x)
      if (x * x + y * y <= r * r) img.Set(cx + x, cy + y, c);
}

// A line drawn with a round pen of radius r.
void RoundLine(Image& img, int x0, int y0, int x1, int y1, uint8_t c, int r) {
  const int n = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
  for (int i = 0; i <= n; ++i)
    FilledCircle(img, x0 + (n ? (x1 - x0) * i / n : 0), y0 + (n ? (y1 - y0) * i / n : 0), r, c);
}

const Palette& SharedPalette() {
  static const Palette p = MakePalette();
  return p;
}

uint32_t TextureHash(int x, int y, uint32_t seed) { return Hash(x, y, seed); }

void Texture(Image& img, int x1, int y1, int x2, int y2, uint8_t ramp, int shade, int spread, uint32_t seed) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      uint32_t h = (uint32_t)(x / 2) * 374761393u + (uint32_t)(y / 2) * 668265263u + seed * 2246822519u;
      h = (h ^ (h >> 13)) * 1274126177u;
      const int v = shade + (int)((h ^ (h >> 16)) % (uint32_t)(spread + 1)) - spread / 2;
      img.Set(x, y, (uint8_t)(ramp + std::clamp(v, 0, 15)));
    }
}

void Shaded(Image& img, int x1, int y1, int x2, int y2, uint8_t ramp, int shade) {
  FillRect(img, x1, y1, x2, y2, (uint8_t)(ramp + shade));
  FillRect(img, x1, y1, x2, y1 + 1, (uint8_t)(ramp + std::min(15, shade + 3)));
  FillRect(img, x1, y2 - 1, x2, y2, (uint8_t)(ramp + std::max(0, shade - 4)));
  FrameRect(img, x1, y1, x2, y2, kBlack);
}

void FilledEllipse(Image& img, int cx, int cy, int rx, int ry, uint8_t c) {
  for (int y = -ry; y <= ry; ++y)
    for (int x = -rx; x <= rx; ++x)
      if ((double)x * x / ((double)rx * rx) + (double)y * y / ((double)ry * ry) <= 1.0) img.Set(cx + x, cy + y, c);
}

void FillRect(Image& img, int x1, int y1, int x2, int y2, uint8_t c) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) img.Set(x, y, c);
}

void FrameRect(Image& img, int x1, int y1, int x2, int y2, uint8_t c) {
  for (int x = x1; x <= x2; ++x) { img.Set(x, y1, c); img.Set(x, y2, c); }
  for (int y = y1; y <= y2; ++y) { img.Set(x1, y, c); img.Set(x2, y, c); }
}

void Bevel(Image& img, int x1, int y1, int x2, int y2, bool pressed) {
  uint8_t light = kWoodRamp + 15, dark = kWoodRamp + 2;
  if (pressed) std::swap(light, dark);
  for (int x = x1; x <= x2; ++x) { img.Set(x, y1, light); img.Set(x, y2, dark); }
  for (int y = y1; y <= y2; ++y) { img.Set(x1, y, light); img.Set(x2, y, dark); }
}

int TextWidth(const std::string& text, int scale) {
  return text.empty() ? 0 : ((int)text.size() * 6 - 1) * scale;
}

void DrawText(Image& img, int x, int y, const std::string& text, int scale, uint8_t c) {
  for (char ch : text) {
    if (const Glyph* g = FindGlyph(ch))
      for (int r = 0; r < 7; ++r)
        for (int k = 0; k < 5; ++k)
          if (g->rows[r][k] == '#')
            FillRect(img, x + k * scale, y + r * scale, x + (k + 1) * scale - 1, y + (r + 1) * scale - 1, c);
    x += 6 * scale;
  }
}

void DrawTextCentred(Image& img, int x1, int y1, int x2, int y2, const std::string& text, int scale,
                     uint8_t c, uint8_t shadow) {
  int x = x1 + (x2 - x1 + 1 - TextWidth(text, scale)) / 2;
  int y = y1 + (y2 - y1 + 1 - 7 * scale) / 2;
  if (shadow != kTransparent) DrawText(img, x + 1, y + 1, text, scale, shadow);
  DrawText(img, x, y, text, scale, c);
}

bool DrawBackground(Image& img, const std::string& name, uint32_t id) {
  const int w = img.width, h = img.height;
  ParchmentFill(img, 0, 0, w - 1, h - 1, id);
  WoodFrame(img, 0, 0, w - 1, h - 1, 8);
  // The title bar that CheckTitleBar writes into: (200, 11) to (442, 27).
  FillRect(img, 194, 5, 448, 33, kWoodRamp + 6);
  FrameRect(img, 194, 5, 448, 33, kBlack);
  FrameRect(img, 198, 9, 444, 29, kGold);
  FillRect(img, 200, 11, 442, 27, kTitleBar);
  // The screen's name, large, under the title bar.
  int scale = TextWidth(name, 3) <= w - 40 ? 3 : 2;
  DrawTextCentred(img, 12, 40, w - 13, 40 + 7 * scale + 3, name, scale, kInk, kGold);
  FillRect(img, w / 2 - 120, 44 + 7 * scale + 4, w / 2 + 120, 44 + 7 * scale + 5, kDarkGold);
  // Corner ornaments.
  const int cx[4] = {20, w - 21, 20, w - 21}, cy[4] = {20, 20, h - 21, h - 21};
  for (int i = 0; i < 4; ++i) {
    Disc(img, cx[i], cy[i], 6, kGold, kDarkGold);
    FilledCircle(img, cx[i], cy[i], 1, kWoodRamp + 2);
  }
  std::string tag = "NO. " + std::to_string(id);
  DrawText(img, w - 34 - TextWidth(tag, 1), h - 24, tag, 1, kDarkGold);
  return true;
}

bool DrawPanel(Image& img, const std::string& title) {
  const int w = img.width, h = img.height;
  SteadyParchmentFill(img, 0, 0, w - 1, h - 1, (uint32_t)(w * 7 + h));
  int fw = std::min(4, std::min(w, h) / 8);
  if (fw >= 2) WoodFrame(img, 0, 0, w - 1, h - 1, fw);
  else FrameRect(img, 0, 0, w - 1, h - 1, kBlack);
  if (!title.empty()) {
    int band = fw + 2 + 7 * 2 + 4;
    if (band < h) {
      FillRect(img, fw + 2, fw + 2, w - fw - 3, band, kWoodRamp + 5);
      DrawTextCentred(img, fw + 2, fw + 2, w - fw - 3, band, title,
                      TextWidth(title, 2) <= w - 2 * fw - 8 ? 2 : 1, kParchmentRamp + 15, kBlack);
    }
  }
  return true;
}

bool DrawButton(Image& img, bool pressed, const std::string& caption) {
  const int w = img.width, h = img.height;
  FillRect(img, 0, 0, w - 1, h - 1, (uint8_t)(kWoodRamp + (pressed ? 6 : 9)));
  FrameRect(img, 0, 0, w - 1, h - 1, kBlack);
  Bevel(img, 1, 1, w - 2, h - 2, pressed);
  if (!caption.empty()) {
    int scale = (h >= 7 * 2 + 6 && TextWidth(caption, 2) <= w - 8) ? 2 : 1;
    int d = pressed ? 1 : 0;
    // White stays bright in the town view's night (pens 0..35 keep their colour).
    DrawTextCentred(img, 2 + d, 2 + d, w - 3 + d, h - 3 + d, caption, scale, kWhite, kBlack);
  }
  return true;
}

bool DrawIcon(Image& img, const std::string& kind, std::string* err) {
  const int w = img.width, h = img.height;
  const int cx = w / 2, cy = h / 2, r = std::min(w, h) / 2 - 1;
  if (r < 4) { *err = "icon too small"; return false; }
  static const std::map<std::string, uint8_t> plates = {
      {"exit", kRed}, {"ok", kGreen}, {"cancel", kRed}, {"up", kBlue}, {"down", kBlue},
      {"left", kBlue}, {"right", kBlue}, {"info", kSky}, {"plus", kGold}, {"minus", kGold},
      {"help", kSky}, {"map", kGreen}, {"mail", kWood}, {"down_load", kBlue}, {"up_load", kBlue},
      {"mark", kGold}};
  auto it = plates.find(kind);
  if (it == plates.end()) { *err = "unknown icon kind " + kind; return false; }
  Disc(img, cx, cy, r, it->second, kBlack);
  const int s = std::max(1, r / 6);
  if (kind == "ok") {
    Line(img, cx - r / 2, cy, cx - r / 6, cy + r / 2 - 1, s / 2 + 1, kWhite);
    Line(img, cx - r / 6, cy + r / 2 - 1, cx + r / 2, cy - r / 2, s / 2 + 1, kWhite);
  } else if (kind == "exit" || kind == "cancel") {
    Line(img, cx - r / 2, cy - r / 2, cx + r / 2, cy + r / 2, s / 2 + 1, kWhite);
    Line(img, cx - r / 2, cy + r / 2, cx + r / 2, cy - r / 2, s / 2 + 1, kWhite);
  } else if (kind == "up" || kind == "up_load") {
    Arrow(img, cx, cy, r, 0, kWhite);
  } else if (kind == "down" || kind == "down_load") {
    Arrow(img, cx, cy, r, 1, kWhite);
  } else if (kind == "left") {
    Arrow(img, cx, cy, r, 2, kWhite);
  } else if (kind == "right") {
    Arrow(img, cx, cy, r, 3, kWhite);
  } else {
    const char* letter = kind == "info" ? "I" : kind == "plus" ? "+" : kind == "minus" ? "-"
                       : kind == "help" ? "?" : kind == "map" ? "M" : kind == "mail" ? "@" : "!";
    if (!FindGlyph(letter[0])) letter = "!";
    int scale = std::max(1, r / 6);
    DrawTextCentred(img, 0, 0, w - 1, h - 1, letter, scale, kWhite, kBlack);
  }
  return true;
}

bool DrawCursor(Image& img, const std::string& kind, std::string* err) {
  static const char* kArrow[16] = {
      "B...............", "BB..............", "BWB.............", "BWWB............",
      "BWWWB...........", "BWWWWB..........", "BWWWWWB.........", "BWWWWWWB........",
      "BWWWWWWWB.......", "BWWWWWBBBB......", "BWWBWWB.........", "BWB.BWWB........",
      "BB..BWWB........", "B....BWWB.......", ".....BWWB.......", "......BB........"};
  uint8_t fill;
  if (kind == "arrow") fill = kWhite;
  else if (kind == "gold") fill = kGold;
  else { *err = "unknown cursor kind " + kind; return false; }
  for (int y = 0; y < 16 && y < img.height; ++y)
    for (int x = 0; x < 16 && x < img.width; ++x) {
      char c = kArrow[y][x];
      if (c == 'B') img.Set(x, y, kBlack);
      else if (c == 'W') img.Set(x, y, fill);
    }
  return true;
}

bool DrawStrip(Image& img, int frames, int fh, const std::string& kind, std::string* err) {
  const int w = img.width;
  const double pi = 3.14159265358979;
  for (int f = 0; f < frames; ++f) {
    const int top = f * fh, cx = w / 2, cy = top + fh / 2, r = std::min(w, fh) / 2 - 2;
    if (r < 3) { *err = "frame too small"; return false; }
    if (kind == "spinner") {
      for (int k = 0; k < 8; ++k) {
        double a = 2 * pi * k / 8;
        int age = (k - f % 8 + 8) % 8;  // 0 = the lit dot
        uint8_t c = (uint8_t)(kGoldRamp + 15 - std::min(15, age * 2));
        FilledCircle(img, cx + (int)std::lround(std::cos(a) * (r - 2)), cy + (int)std::lround(std::sin(a) * (r - 2)),
            std::max(1, r / 5), c);
      }
    } else if (kind == "pulse") {
      int rr = std::max(2, r * (6 + (f % 4 < 2 ? f % 4 : 4 - f % 4) * 2) / 10);
      Disc(img, cx, cy, rr, (uint8_t)(kGoldRamp + 8 + f % 4 * 2), kBlack);
    } else if (kind == "flame") {
      int fl = r * (8 + (int)(Hash(f, 0, 7) % 3)) / 10;
      for (int y = 0; y < fh; ++y) {
        int dy = top + fh - 2 - y;
        int half = (int)(fl * std::sin(pi * std::min(1.0, (double)y / (2 * fl))) * (1.0 - (double)y / (2 * fl + 2)));
        for (int x = -half; x <= half; ++x) {
          int heat = 15 - std::min(15, (std::abs(x) * 10) / std::max(1, half + 1) + y / 3);
          img.Set(cx + x + (int)(std::sin(y * 0.3 + f) * 1.5), dy, (uint8_t)(kOrangeRamp + std::max(0, heat)));
        }
      }
    } else {
      *err = "unknown strip kind " + kind;
      return false;
    }
  }
  return true;
}

void DrawBar(Image& img, uint8_t pen) { FillRect(img, 0, 0, img.width - 1, img.height - 1, pen); }

}  // namespace datakit
