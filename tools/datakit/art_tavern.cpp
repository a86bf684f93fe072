// The tavern's windows: the chat room's window and its buttons, and the
// rune-stone game's board, runes, cover and pegs. They carry the tavern
// palette (the shared one with pen 35 a light parchment, the chat's log and
// input ground, pen 146 a deep wine red, the chat's text, and pen 255 a gold
// glow, the rune cursor's second phase), and keep off those three pens
// except where they mean them.
#include <algorithm>
#include <cmath>
#include <string>

#include "art.h"

namespace datakit {

namespace {

constexpr uint8_t kLogGround = 35, kChatText = 146, kGlow = 255;
constexpr uint8_t kSlate = 176, kPurpleR = 144, kTeal = 128, kOrangeR = 160, kRedR = 80, kGreenR = 96, kBlueR = 112;

uint32_t Noise(int x, int y, uint32_t seed) {
  uint32_t h = (uint32_t)x * 2654435761u ^ (uint32_t)y * 2246822519u ^ seed * 3266489917u;
  h ^= h >> 15;
  h *= 668265263u;
  return h ^ (h >> 13);
}

// Planks of dark wood, vertical, with joints and grain.
void Planks(Image& img, int x1, int y1, int x2, int y2, uint32_t seed) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      const int plank = (x - x1) / 38;
      const int joint = (x - x1) % 38 == 0;
      const int grain = (int)(Noise(x / 3 + plank * 7, y / 9, seed + plank) % 3);
      img.Set(x, y, joint ? (uint8_t)(kWoodRamp + 1) : (uint8_t)(kWoodRamp + 3 + grain + (plank % 2)));
    }
}

// A recess with a light lower-right and a dark upper-left edge.
void Recess(Image& img, int x1, int y1, int x2, int y2, uint8_t fill) {
  FillRect(img, x1, y1, x2, y2, fill);
  for (int i = 0; i < 2; ++i) {
    for (int x = x1 - 1 - i; x <= x2 + 1 + i; ++x) {
      img.Set(x, y1 - 1 - i, kBlack);
      img.Set(x, y2 + 1 + i, (uint8_t)(kWoodRamp + 12));
    }
    for (int y = y1 - 1 - i; y <= y2 + 1 + i; ++y) {
      img.Set(x1 - 1 - i, y, kBlack);
      img.Set(x2 + 1 + i, y, (uint8_t)(kWoodRamp + 12));
    }
  }
}

// A mug of ale standing with its foot at (x, y).
void Mug(Image& img, int x, int y) {
  FillRect(img, x, y - 22, x + 14, y, (uint8_t)(kGreyRamp + 9));
  FrameRect(img, x, y - 22, x + 14, y, kBlack);
  for (int k = 0; k < 3; ++k) FillRect(img, x + 1, y - 20 + k * 8, x + 13, y - 19 + k * 8, (uint8_t)(kGreyRamp + 6));
  FillRect(img, x + 1, y - 26, x + 13, y - 23, kWhite);  // foam
  FrameRect(img, x + 15, y - 17, x + 20, y - 6, kBlack);
  FrameRect(img, x + 16, y - 16, x + 19, y - 7, (uint8_t)(kGreyRamp + 9));
}

// A candle with its flame; foot at (x, y).
void Candle(Image& img, int x, int y) {
  FillRect(img, x - 9, y - 3, x + 9, y, (uint8_t)(kGoldRamp + 6));
  FillRect(img, x - 4, y - 30, x + 4, y - 4, (uint8_t)(kParchmentRamp + 14));
  FrameRect(img, x - 4, y - 30, x + 4, y - 4, (uint8_t)(kParchmentRamp + 8));
  FilledCircle(img, x, y - 37, 4, (uint8_t)(kOrangeR + 12));
  FilledCircle(img, x, y - 36, 2, (uint8_t)(kGoldRamp + 15));
}

void DrawRuneSign(Image& img, int ox, int oy, int w, int h, int rune, uint8_t c) {
  const int cx = ox + w / 2, top = oy + 5, bottom = oy + h - 6, l = ox + 7, r = ox + w - 8;
  const int mid = (top + bottom) / 2;
  switch (rune) {
    case 1:  // an arrow upwards
      RoundLine(img, cx, top, cx, bottom, c, 1);
      RoundLine(img, cx, top, l, top + 7, c, 1);
      RoundLine(img, cx, top, r, top + 7, c, 1);
      break;
    case 2:  // a cross
      RoundLine(img, l, top, r, bottom, c, 1);
      RoundLine(img, r, top, l, bottom, c, 1);
      break;
    case 3:  // a diamond
      RoundLine(img, cx, top, r, mid, c, 1);
      RoundLine(img, r, mid, cx, bottom, c, 1);
      RoundLine(img, cx, bottom, l, mid, c, 1);
      RoundLine(img, l, mid, cx, top, c, 1);
      break;
    case 4:  // a staff with two branches up to the right
      RoundLine(img, l + 2, top, l + 2, bottom, c, 1);
      RoundLine(img, l + 2, mid - 2, r, top + 1, c, 1);
      RoundLine(img, l + 2, mid + 4, r, mid - 2, c, 1);
      break;
    case 5:  // a lightning bolt
      RoundLine(img, r, top, l + 2, mid, c, 1);
      RoundLine(img, l + 2, mid, r - 2, mid, c, 1);
      RoundLine(img, r - 2, mid, l, bottom, c, 1);
      break;
    case 6:  // a staff with a loop and a leg
      RoundLine(img, l + 1, top, l + 1, bottom, c, 1);
      RoundLine(img, l + 1, top, r, top + 5, c, 1);
      RoundLine(img, r, top + 5, l + 1, mid, c, 1);
      RoundLine(img, l + 1, mid, r, bottom, c, 1);
      break;
    case 7:  // an elk's fork
      RoundLine(img, cx, top, cx, bottom, c, 1);
      RoundLine(img, cx, mid + 2, l, top, c, 1);
      RoundLine(img, cx, mid + 2, r, top, c, 1);
      break;
    default:  // two staffs crossed into an M
      RoundLine(img, l, top, l, bottom, c, 1);
      RoundLine(img, r, top, r, bottom, c, 1);
      RoundLine(img, l, top, cx, mid, c, 1);
      RoundLine(img, r, top, cx, mid, c, 1);
      break;
  }
}

// The carved colour of each rune: the eight read apart by shape and colour.
uint8_t RuneColour(int rune) {
  static const uint8_t colours[8] = {kRedR + 12,   kGreenR + 12, kBlueR + 13, kGoldRamp + 14,
                                     kPurpleR + 13, kTeal + 13,  kOrangeR + 13, kWhite};
  return colours[(rune - 1) & 7];
}

// A rune stone: a rounded grey pebble with the carved sign.
void RuneStone(Image& img, int rune, int kind) {
  const int w = img.width, h = img.height;
  const uint8_t base = kind == 2 ? (uint8_t)(kGreyRamp + 4) : (uint8_t)(kGreyRamp + 7);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int dx = std::min(x, w - 1 - x), dy = std::min(y, h - 1 - y);
      if (dx + dy < 3) continue;
      uint8_t c = (uint8_t)(base + (int)(Noise(x / 2, y / 2, 40 + rune) % 2));
      if (dx == 0 || dy == 0 || dx + dy == 3) c = kBlack;
      else if (y < 3 || x < 3) c = (uint8_t)(base + 4);
      if (kind == 1 && c != kBlack) c = (uint8_t)(kGoldRamp + 10 + (int)(Noise(x, y, 9) % 3));
      img.Set(x, y, c);
    }
  const uint8_t sign = kind == 2 ? (uint8_t)(kGreyRamp + 10) : RuneColour(rune);
  DrawRuneSign(img, 1, 1, w - 1, h - 1, rune, kBlack);  // the carving's shadow
  DrawRuneSign(img, 0, 0, w - 1, h - 1, rune, sign);
}

}  // namespace

// Keeps a drawing off the pens the tavern palette redefines (255 stays the
// holes of masked pictures).
void AvoidTavernPens(Image& img) {
  for (uint8_t& p : img.px) {
    if (p == kLogGround) p = kLogGround + 1;
    else if (p == kChatText) p = kChatText + 1;
  }
}

const Palette& TavernPalette() {
  static const Palette p = [] {
    Palette q = SharedPalette();
    q[kLogGround] = {244, 233, 204};
    q[kChatText] = {118, 18, 40};
    q[kGlow] = {255, 206, 60};
    return q;
  }();
  return p;
}

bool DrawChatWindow(Image& img) {
  const int w = img.width, h = img.height;
  Planks(img, 0, 0, w - 1, h - 1, 63);
  // A heavy beam above and the frame of the corner.
  FillRect(img, 0, 0, w - 1, 28, (uint8_t)(kWoodRamp + 2));
  for (int x = 0; x < w; x += 6) img.Set(x, 14, (uint8_t)(kWoodRamp + 5));
  // The title plate (screen 223, 70 - 413, 92).
  FillRect(img, 157, 2, 347, 24, (uint8_t)(kParchmentRamp + 13));
  FrameRect(img, 157, 2, 347, 24, kDarkGold);
  FrameRect(img, 156, 1, 348, 25, kBlack);
  for (int x : {161, 343}) FilledCircle(img, x, 13, 2, kGold);
  // The parchment pinned to the wall, where the log shows (35, 38, 434 x 192).
  FillRect(img, 27, 31, 476, 237, (uint8_t)(kParchmentRamp + 9));
  FrameRect(img, 27, 31, 476, 237, (uint8_t)(kParchmentRamp + 4));
  FillRect(img, 35, 38, 468, 229, kLogGround);
  for (int x : {31, 472})
    for (int y : {34, 233}) FilledCircle(img, x, y, 2, (uint8_t)(kGreyRamp + 12));
  // The shelf with mugs and a candle between the log and the input.
  FillRect(img, 150, 286, 440, 292, (uint8_t)(kWoodRamp + 8));
  FrameRect(img, 150, 286, 440, 292, kBlack);
  for (int i = 0; i < 5; ++i) Mug(img, 170 + i * 44, 285);
  Candle(img, 410, 285);
  // The places of the participants (91, 255), help (466, 298) and exit (445, 321) buttons.
  Recess(img, 91, 255, 133, 295, (uint8_t)(kWoodRamp + 1));
  Recess(img, 466, 298, 487, 317, (uint8_t)(kWoodRamp + 1));
  Recess(img, 445, 321, 487, 361, (uint8_t)(kWoodRamp + 1));
  // The slate of the input box (screen 83, 374 - 491, 433), its writing ground pen 35.
  FillRect(img, 11, 300, 431, 371, (uint8_t)(kSlate + 3));
  FrameRect(img, 11, 300, 431, 371, kBlack);
  FillRect(img, 17, 306, 425, 365, kLogGround);
  FrameRect(img, 16, 305, 426, 366, (uint8_t)(kSlate + 1));
  AvoidTavernPens(img);
  // Pen 35 back where it is meant: the log and the input ground.
  FillRect(img, 35, 38, 468, 229, kLogGround);
  FillRect(img, 17, 306, 425, 365, kLogGround);
  FrameRect(img, 0, 0, w - 1, h - 1, kBlack);
  return true;
}

bool DrawChatButton(Image& img, const std::string& kind, bool pressed, std::string* err) {
  const int w = img.width, h = img.height, d = pressed ? 1 : 0;
  FillRect(img, 0, 0, w - 1, h - 1, (uint8_t)(kWoodRamp + (pressed ? 5 : 9)));
  FrameRect(img, 0, 0, w - 1, h - 1, kBlack);
  Bevel(img, 1, 1, w - 2, h - 2, pressed);
  const int cx = w / 2 + d, cy = h / 2 + d;
  if (kind == "exit") {
    // A door in its arch with a red X plate.
    FillRect(img, cx - 11, cy - 10, cx + 11, cy + 15, (uint8_t)(kWoodRamp + 3));
    FilledCircle(img, cx, cy - 10, 11, (uint8_t)(kWoodRamp + 3));
    FrameRect(img, cx - 11, cy - 10, cx + 11, cy + 15, kBlack);
    FilledCircle(img, cx, cy - 2, 7, kRed);
    RoundLine(img, cx - 4, cy - 6, cx + 4, cy + 2, kWhite, 1);
    RoundLine(img, cx + 4, cy - 6, cx - 4, cy + 2, kWhite, 1);
    FilledCircle(img, cx + 7, cy + 7, 1, kGold);
  } else if (kind == "people") {
    // Three heads and shoulders.
    const int xs[3] = {cx - 11, cx, cx + 11};
    for (int i = 0; i < 3; ++i) {
      const uint8_t c = i == 1 ? (uint8_t)(kGoldRamp + 12) : (uint8_t)(kParchmentRamp + 13);
      FilledCircle(img, xs[i], cy - 6 + (i == 1 ? -2 : 0), 5, c);
      FillRect(img, xs[i] - 6, cy + 2 + (i == 1 ? -2 : 0), xs[i] + 6, cy + 13, i == 1 ? kRed : kBlue);
    }
  } else if (kind == "help") {
    DrawTextCentred(img, d, d, w - 1 + d, h - 1 + d, "?", 2, kWhite, kBlack);
  } else {
    *err = "chatbutton exit|people|help";
    return false;
  }
  AvoidTavernPens(img);
  return true;
}

bool DrawRuneBoard(Image& img) {
  const int w = img.width, h = img.height;
  // The stone tablet, light at the top.
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int shade = 9 - y * 3 / h + (int)(Noise(x / 2, y / 2, 323) % 3);
      img.Set(x, y, (uint8_t)(kSlate + std::clamp(shade, 0, 15)));
    }
  for (int i = 0; i < 5; ++i) FrameRect(img, i, i, w - 1 - i, h - 1 - i, (uint8_t)(kSlate + (i < 2 ? 2 : 13 - i)));
  FrameRect(img, 0, 0, w - 1, h - 1, kBlack);
  DrawTextCentred(img, 10, 10, w - 11, 34, "RUNE STONES", 2, (uint8_t)(kGoldRamp + 13), kBlack);
  DrawTextCentred(img, 10, 40, w - 11, 56, "THE BARTENDER'S CODE", 1, (uint8_t)(kSlate + 15), kBlack);
  // The hidden code (screen 197 + 32 i, 112) in a veiled recess.
  FillRect(img, 17, 66, 184, 105, (uint8_t)(kSlate + 2));
  FrameRect(img, 17, 66, 184, 105, kBlack);
  for (int i = 0; i < 5; ++i) FrameRect(img, 22 + 32 * i, 71, 50 + 32 * i, 100, (uint8_t)(kSlate + 6));
  // Six rows of five slots (frames 196 + 32 c .. 224 + 32 c, 321 - 33 r .. 350 - 33 r)
  // with the peg strip beside each (pegs from screen x 360).
  for (int r = 0; r < 6; ++r) {
    const int y1 = 281 - 33 * r;
    DrawText(img, 6, y1 + 11, std::to_string(r + 1), 1, (uint8_t)(kSlate + 14));
    for (int c = 0; c < 5; ++c) {
      const int x1 = 22 + 32 * c;
      FillRect(img, x1 + 1, y1 + 1, x1 + 27, y1 + 28, (uint8_t)(kSlate + 1));
      FrameRect(img, x1, y1, x1 + 28, y1 + 29, (uint8_t)(kSlate + 10));
    }
    FillRect(img, 183, y1 + 5, 268, y1 + 24, (uint8_t)(kWoodRamp + 3));
    FrameRect(img, 183, y1 + 5, 268, y1 + 24, kBlack);
    for (int n = 0; n < 5; ++n) FilledCircle(img, 193 + 16 * n, y1 + 15, 2, (uint8_t)(kWoodRamp + 1));
  }
  // The eight rune buttons (screen 181 + 34 k, 362; 27 x 28) on a wooden ledge.
  FillRect(img, 3, 318, w - 4, 353, (uint8_t)(kWoodRamp + 6));
  FrameRect(img, 3, 318, w - 4, 353, kBlack);
  for (int k = 0; k < 8; ++k) {
    Image stone(27, 28, kTransparent);
    RuneStone(stone, k + 1, 0);
    for (int y = 0; y < 28; ++y)
      for (int x = 0; x < 27; ++x)
        if (stone.Get(x, y) != kTransparent) img.Set(7 + 34 * k + x, 322 + y, stone.Get(x, y));
  }
  // Clear, OK, the rules and leave (screen y 402 - 425).
  const char* captions[4] = {"CLEAR", "OK", "RULES", "LEAVE"};
  for (int i = 0; i < 4; ++i) {
    const int x1 = 12 + 70 * i;
    FillRect(img, x1, 362, x1 + 63, 385, (uint8_t)(kWoodRamp + 9));
    FrameRect(img, x1, 362, x1 + 63, 385, kBlack);
    Bevel(img, x1 + 1, 363, x1 + 62, 384, false);
    DrawTextCentred(img, x1 + 2, 364, x1 + 61, 383, captions[i], 1, kWhite, kBlack);
  }
  AvoidTavernPens(img);
  return true;
}

bool DrawRune(Image& img, int rune, const std::string& kind, std::string* err) {
  int k = 0;
  if (kind == "lit") k = 1;
  else if (kind == "dim") k = 2;
  else if (!kind.empty()) {
    *err = "rune <1..8> [lit|dim]";
    return false;
  }
  RuneStone(img, rune, k);
  AvoidTavernPens(img);
  return true;
}

bool DrawRuneCover(Image& img) {
  const int w = img.width, h = img.height;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) img.Set(x, y, (uint8_t)(kRedR + 4 + (int)(Noise(x, y / 2, 296) % 2) + ((x + y) % 6 == 0)));
  FrameRect(img, 0, 0, w - 1, h - 1, kBlack);
  FrameRect(img, 1, 1, w - 2, h - 2, kDarkGold);
  DrawTextCentred(img, 0, 1, w - 1, h - 1, "?", 2, (uint8_t)(kGoldRamp + 13), kBlack);
  AvoidTavernPens(img);
  return true;
}

bool DrawRunePeg(Image& img, const std::string& kind, std::string* err) {
  const int w = img.width, h = img.height, c = w / 2;
  if (kind == "exact") {
    // A round white peg with a gold rim.
    FilledCircle(img, c, h / 2, c - 1, kBlack);
    FilledCircle(img, c, h / 2, c - 2, (uint8_t)(kGoldRamp + 9));
    FilledCircle(img, c, h / 2, c - 4, kWhite);
    FilledCircle(img, c - 2, h / 2 - 2, 1, (uint8_t)(kGreyRamp + 12));
  } else if (kind == "misplaced") {
    // A dark red diamond.
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const int d = std::abs(x - c) + std::abs(y - h / 2);
        if (d <= c) img.Set(x, y, d == c || d == c - 1 ? (uint8_t)kBlack : (uint8_t)(kRedR + 7));
      }
  } else {
    *err = "runepeg exact|misplaced";
    return false;
  }
  AvoidTavernPens(img);
  return true;
}

bool CutPicture(Image& img, const Image& from, int x, int y, std::string* err) {
  if (x < 0 || y < 0 || x + img.width > from.width || y + img.height > from.height) {
    *err = "the cut passes the picture's edge";
    return false;
  }
  for (int yy = 0; yy < img.height; ++yy)
    for (int xx = 0; xx < img.width; ++xx) img.Set(xx, yy, from.Get(x + xx, y + yy));
  return true;
}

}  // namespace datakit
