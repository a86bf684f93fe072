// The map screen's pictures: a map table in a lord's hall. Carved dark wood
// and brass for the frame and the panels, recessed parchment for every field
// a text is printed into, ink for the captions. Every position below is the
// one the map screen draws at or the layout's gadgets lie over
// (docs/map-screen-geometry.md).
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "art.h"

namespace datakit {
namespace {

uint32_t Noise(int x, int y, uint32_t seed) {
  uint32_t h = (uint32_t)x * 2654435761u ^ ((uint32_t)y * 2246822519u + seed * 3266489917u);
  h = (h ^ (h >> 15)) * 2246822519u;
  return h ^ (h >> 13);
}

uint8_t WoodPen(int shade) { return (uint8_t)(kWoodRamp + std::clamp(shade, 0, 15)); }
uint8_t BrassPen(int shade) { return (uint8_t)(kGoldRamp + std::clamp(shade, 0, 15)); }
uint8_t ParchmentPen(int shade) { return (uint8_t)(kParchmentRamp + std::clamp(shade, 0, 15)); }

// Dark carved wood with a grain along x (horizontal) or y. The grain repeats
// every `period` pixels along its run, so tiled pieces join without a seam.
void Wood(Image& img, int x1, int y1, int x2, int y2, bool horizontal, uint32_t seed, int base = 4,
          int period = 32) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      const int along = horizontal ? x : y, across = horizontal ? y : x;
      const int a = ((along % period) + period) % period;
      // Long streaks: the grain depends mostly on the position across it.
      const int streak = (int)(Noise(across, a / 8, seed) % 5) - 2;
      const int fleck = (Noise(across, a, seed + 1) % 11) == 0 ? -1 : 0;
      img.Set(x, y, WoodPen(base + streak / 2 + fleck + ((across / 3) % 2)));
    }
}

// A raised bevel of wood or brass round a rectangle (light top-left).
void RaisedEdge(Image& img, int x1, int y1, int x2, int y2, bool brass) {
  for (int x = x1; x <= x2; ++x) {
    img.Set(x, y1, brass ? BrassPen(13) : WoodPen(10));
    img.Set(x, y2, brass ? BrassPen(3) : WoodPen(1));
  }
  for (int y = y1; y <= y2; ++y) {
    img.Set(x1, y, brass ? BrassPen(12) : WoodPen(9));
    img.Set(x2, y, brass ? BrassPen(2) : WoodPen(1));
  }
}

// A brass rim of width w round a rectangle (inclusive outer bounds).
void BrassRim(Image& img, int x1, int y1, int x2, int y2, int w) {
  for (int i = 0; i < w; ++i) {
    const int shade = 12 - i * 8 / std::max(1, w);
    for (int x = x1 + i; x <= x2 - i; ++x) {
      img.Set(x, y1 + i, BrassPen(shade + 2));
      img.Set(x, y2 - i, BrassPen(shade - 5));
    }
    for (int y = y1 + i; y <= y2 - i; ++y) {
      img.Set(x1 + i, y, BrassPen(shade + 1));
      img.Set(x2 - i, y, BrassPen(shade - 4));
    }
  }
}

// A parchment field sunk into the wood: dark shadow on top and left, a
// light lip below and right, light parchment inside so ink reads well.
void RecessedField(Image& img, int x1, int y1, int x2, int y2, uint32_t seed, int light = 13) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      const int n = (int)(Noise(x / 2, y / 2, seed) % 3);
      img.Set(x, y, ParchmentPen(light - n));
    }
  for (int x = x1 - 1; x <= x2 + 1; ++x) {
    img.Set(x, y1 - 1, WoodPen(0));
    img.Set(x, y1, ParchmentPen(light - 7));
    img.Set(x, y2 + 1, BrassPen(9));
  }
  for (int y = y1 - 1; y <= y2 + 1; ++y) {
    img.Set(x1 - 1, y, WoodPen(0));
    img.Set(x1, y, ParchmentPen(light - 7));
    img.Set(x2 + 1, y, BrassPen(8));
  }
}

// A dark well (for the minimap, the tile window): near black with a rim.
void DarkWell(Image& img, int x1, int y1, int x2, int y2) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) img.Set(x, y, (uint8_t)(kGreyRamp + 1 + (Noise(x, y, 9) % 2)));
  BrassRim(img, x1 - 3, y1 - 3, x2 + 3, y2 + 3, 3);
}

// A small sunk slot with a notch track (the sliders' places).
void SliderSlot(Image& img, int x1, int y1, int x2, int y2) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) img.Set(x, y, WoodPen(1 + (int)(Noise(x, y, 4) % 2)));
  FrameRect(img, x1, y1, x2, y2, kBlack);
  const int cx = (x1 + x2) / 2;
  for (int y = y1 + 2; y <= y2 - 2; ++y) img.Set(cx, y, BrassPen(5));
}

void Triangle(Image& img, int cx, int cy, int size, int dir, uint8_t c) {
  // dir 0 up, 1 right, 2 down, 3 left; a filled triangle of height size.
  for (int i = 0; i < size; ++i)
    for (int j = -i; j <= i; ++j) {
      const int a = i - size / 2;
      switch (dir) {
        case 0: img.Set(cx + j, cy + a, c); break;
        case 1: img.Set(cx - a, cy + j, c); break;
        case 2: img.Set(cx + j, cy - a, c); break;
        default: img.Set(cx + a, cy + j, c); break;
      }
    }
}

// A brass button plate with a caption in ink (the 8-bit picture's buttons).
void PlateButton(Image& img, int x1, int y1, int x2, int y2, const std::string& caption) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) img.Set(x, y, BrassPen(10 - (y - y1) * 5 / std::max(1, y2 - y1)));
  RaisedEdge(img, x1, y1, x2, y2, true);
  FrameRect(img, x1 - 1, y1 - 1, x2 + 1, y2 + 1, WoodPen(0));
  DrawTextCentred(img, x1, y1, x2, y2, caption, 1, kInk, BrassPen(13));
}

// A small label plate of parchment with an ink caption.
void LabelPlate(Image& img, int x1, int y1, int x2, int y2, const std::string& caption, uint32_t seed) {
  RecessedField(img, x1, y1, x2, y2, seed, 14);
  DrawTextCentred(img, x1, y1, x2, y2, caption, 1, kInk, kTransparent);
}

// A brass rivet.
void Rivet(Image& img, int cx, int cy) {
  FilledCircle(img, cx, cy, 2, BrassPen(6));
  img.Set(cx - 1, cy - 1, BrassPen(15));
  img.Set(cx, cy - 1, BrassPen(12));
}

// The switch in its off or on state (143/145 and the deeper 1160..1165).
void SwitchKnob(Image& img, int x1, int y1, int w, int h, bool on, uint32_t seed) {
  Wood(img, x1, y1, x1 + w - 1, y1 + h - 1, true, seed, 3);
  FrameRect(img, x1, y1, x1 + w - 1, y1 + h - 1, kBlack);
  RaisedEdge(img, x1 + 1, y1 + 1, x1 + w - 2, y1 + h - 2, true);
  const int cx = x1 + w / 2, cy = y1 + h / 2, r = std::min(w, h) / 2 - 3;
  // A gem in a brass cup: lit green when on, a dull dark red when off.
  FilledCircle(img, cx, cy, r + 1, BrassPen(4));
  FilledCircle(img, cx, cy, r, on ? (uint8_t)(96 + 9) : (uint8_t)(80 + 3));
  FilledCircle(img, cx, cy + 1, std::max(1, r - 2), on ? (uint8_t)(96 + 13) : (uint8_t)(80 + 1));
  img.Set(cx - r / 2, cy - r / 2, on ? (uint8_t)kWhite : (uint8_t)(80 + 6));
}

}  // namespace

// ---------------------------------------------------------------------------
// Picture 3: the 8-bit map screen.

bool DrawMapScreen(Image& img) {
  Wood(img, 0, 0, 639, 479, true, 3);
  // The view: the picture's hole (transparent), ringed in brass.
  BrassRim(img, 12, 12, 499, 467, 4);
  FillRect(img, 16, 16, 495, 463, kTransparent);
  // Side panel: a raised board with rivets.
  Wood(img, 502, 2, 637, 477, false, 5, 5);
  RaisedEdge(img, 502, 2, 637, 477, false);
  for (int y : {6, 473}) for (int x : {506, 633}) Rivet(img, x, y);
  // Title plaque, where the screen prints "the map".
  RecessedField(img, 512, 4, 627, 19, 11);
  // Coordinates: labels and the two fields.
  LabelPlate(img, 518, 24, 565, 34, "X", 12);
  LabelPlate(img, 574, 24, 620, 34, "Y", 13);
  RecessedField(img, 518, 37, 565, 51, 14);
  RecessedField(img, 574, 37, 620, 51, 15);
  // The info box and its slider.
  RecessedField(img, 506, 62, 618, 296, 16, 12);
  SliderSlot(img, 621, 62, 631, 296);
  Triangle(img, 626, 68, 6, 0, BrassPen(14));
  Triangle(img, 626, 290, 6, 2, BrassPen(14));
  // The three switches (off) with their labels.
  const struct { int y; const char* label; } sw[] = {{315, "RESOURCES"}, {345, "NAMES"}, {375, "BORDERS"}};
  for (const auto& s : sw) {
    SwitchKnob(img, 515, s.y, 21, 19, false, 20 + (uint32_t)s.y);
    LabelPlate(img, 540, s.y + 3, 630, s.y + 15, s.label, (uint32_t)s.y);
  }
  // Buttons and the compass cross.
  PlateButton(img, 502, 404, 558, 420, "INFO");
  PlateButton(img, 502, 426, 558, 442, "LISTS");
  PlateButton(img, 502, 448, 558, 468, "EXIT");
  FilledCircle(img, 600, 436, 31, WoodPen(2));
  FilledCircle(img, 600, 436, 29, WoodPen(6));
  const int boxes[4][4] = {{590, 404, 610, 424}, {612, 426, 634, 446}, {590, 448, 610, 468}, {566, 426, 588, 446}};
  for (int d = 0; d < 4; ++d) {
    const int* b = boxes[d];
    for (int y = b[1]; y <= b[3]; ++y)
      for (int x = b[0]; x <= b[2]; ++x) img.Set(x, y, BrassPen(9 - (y - b[1]) * 4 / (b[3] - b[1])));
    RaisedEdge(img, b[0], b[1], b[2], b[3], true);
    Triangle(img, (b[0] + b[2]) / 2, (b[1] + b[3]) / 2, 9, d, kInk);
  }
  FilledCircle(img, 600, 436, 8, BrassPen(12));
  FilledCircle(img, 600, 436, 4, BrassPen(4));
  return true;
}

// 865: the 8-bit side panel with the figure lists (144 x 300, at (496, 0)).
bool DrawMapSideLists(Image& img) {
  Wood(img, 0, 0, 143, 299, false, 865, 5);
  RaisedEdge(img, 6, 2, 141, 299, false);
  // The minimap well: the minimap is plotted at x 508..631, y 14..139.
  DarkWell(img, 12, 14, 135, 139);
  // The tab row (the tabs are drawn over it) and the list with its slider.
  for (int x = 8; x <= 139; ++x) img.Set(x, 167, WoodPen(0));
  RecessedField(img, 10, 170, 122, 296, 866, 13);
  SliderSlot(img, 125, 170, 135, 296);
  Triangle(img, 130, 176, 6, 0, BrassPen(14));
  Triangle(img, 130, 290, 6, 2, BrassPen(14));
  return true;
}

// 866..875: the list tabs, 24 x 22. kind 0 armies, 1 ships, 2 settlers and
// caravans, 3 scouts, 4 specialists.
bool DrawMapTab(Image& img, int kind, bool pressed) {
  const int w = img.width, h = img.height;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      img.Set(x, y, pressed ? ParchmentPen(14 - y / 6) : WoodPen(7 - y / 5 + (int)(Noise(x, y, 70) % 2)));
  // Rounded top corners.
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3 - i; ++j) {
      img.Set(j, i, kBlack);
      img.Set(w - 1 - j, i, kBlack);
    }
  for (int x = 2; x < w - 2; ++x) img.Set(x, 0, pressed ? BrassPen(14) : WoodPen(11));
  for (int y = 2; y < h; ++y) {
    img.Set(0, y, pressed ? BrassPen(12) : WoodPen(10));
    img.Set(w - 1, y, kBlack);
  }
  if (!pressed)
    for (int x = 0; x < w; ++x) img.Set(x, h - 1, kBlack);
  const uint8_t ink = pressed ? (uint8_t)kInk : BrassPen(13);
  const int cx = w / 2, cy = h / 2 + 1;
  switch (kind) {
    case 0:  // armies: two crossed swords
      RoundLine(img, cx - 6, cy + 6, cx + 6, cy - 6, ink);
      RoundLine(img, cx - 6, cy - 6, cx + 6, cy + 6, ink);
      RoundLine(img, cx - 5, cy + 2, cx - 2, cy + 5, ink);
      RoundLine(img, cx + 5, cy + 2, cx + 2, cy + 5, ink);
      break;
    case 1:  // ships: hull, mast and sail
      for (int x = cx - 8; x <= cx + 8; ++x) img.Set(x, cy + 5, ink);
      for (int x = cx - 6; x <= cx + 6; ++x) img.Set(x, cy + 6, ink);
      RoundLine(img, cx, cy - 7, cx, cy + 5, ink);
      for (int y = cy - 6; y <= cy + 2; ++y)
        for (int x = cx + 1; x <= cx + 1 + (y - cy + 7) * 2 / 3; ++x) img.Set(x, y, ink);
      break;
    case 2:  // settlers and caravans: a covered wagon
      for (int y = cy - 5; y <= cy + 1; ++y)
        for (int x = cx - 7; x <= cx + 5; ++x)
          if ((x - cx + 1) * (x - cx + 1) * 36 / 49 + (y - cy - 1) * (y - cy - 1) <= 36) img.Set(x, y, ink);
      for (int x = cx - 8; x <= cx + 7; ++x) img.Set(x, cy + 2, ink);
      FilledCircle(img, cx - 5, cy + 5, 2, ink);
      FilledCircle(img, cx + 4, cy + 5, 2, ink);
      break;
    case 3:  // scouts: an eye
      for (int x = cx - 8; x <= cx + 8; ++x) {
        const int dy = 4 - std::abs(x - cx) / 2;
        img.Set(x, cy - dy, ink);
        img.Set(x, cy + dy, ink);
      }
      FilledCircle(img, cx, cy, 2, ink);
      break;
    default:  // specialists: a quill over a scroll
      for (int y = cy + 1; y <= cy + 6; ++y)
        for (int x = cx - 7; x <= cx + 7; ++x)
          if (y == cy + 1 || y == cy + 6 || x == cx - 7 || x == cx + 7) img.Set(x, y, ink);
      RoundLine(img, cx - 4, cy + 3, cx + 6, cy - 8, ink);
      RoundLine(img, cx + 2, cy - 6, cx + 6, cy - 8, ink);
      break;
  }
  return true;
}

// 448 and 449: menu rows, 80 x 12. The action row is light parchment with a
// brass bullet; the figure row a pale slate wash with a small red pennant.
bool DrawMenuRow(Image& img, bool figure) {
  const int w = img.width, h = img.height;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int n = (int)(Noise(x / 2, y, figure ? 449 : 448) % 2);
      img.Set(x, y, figure ? (uint8_t)(176 + 14 - n) : ParchmentPen(14 - n));
    }
  for (int x = 0; x < w; ++x) {
    img.Set(x, 0, figure ? (uint8_t)(176 + 15) : ParchmentPen(15));
    img.Set(x, h - 1, figure ? (uint8_t)(176 + 6) : ParchmentPen(6));
  }
  for (int y = 0; y < h; ++y) {
    img.Set(0, y, figure ? (uint8_t)(176 + 6) : WoodPen(6));
    img.Set(w - 1, y, figure ? (uint8_t)(176 + 6) : WoodPen(6));
  }
  if (figure) {
    for (int y = 2; y <= 9; ++y) img.Set(2, y, WoodPen(2));
    for (int y = 2; y <= 6; ++y)
      for (int x = 3; x <= 3 + (y <= 4 ? y - 2 : 6 - y) + 2; ++x) img.Set(x, y, (uint8_t)(80 + 10));
  } else {
    FilledCircle(img, 4, h / 2, 2, BrassPen(7));
    img.Set(3, h / 2 - 1, BrassPen(15));
  }
  return true;
}

// ---------------------------------------------------------------------------
// The deeper displays' frame and panels.

// 1148 (256 x 16) and 1149 (16 x 256): the frame's rails, repeating every 32
// pixels along their length so they tile without a seam.
bool DrawFrameRail(Image& img, bool horizontal) {
  const int len = horizontal ? img.width : img.height;
  for (int a = 0; a < len; ++a)
    for (int c = 0; c < 16; ++c) {
      const int x = horizontal ? a : c, y = horizontal ? c : a;
      const int p = a % 32;
      uint8_t pen;
      if (c == 0 || c == 15) pen = WoodPen(0);
      else if (c == 1) pen = WoodPen(10);
      else if (c == 14) pen = WoodPen(1);
      else if (c == 7 || c == 8) pen = BrassPen(c == 7 ? 12 : 6);  // the brass inlay
      else {
        const int streak = (int)(Noise(c, p / 8, 1148) % 5) - 2;
        pen = WoodPen(4 + streak / 2 + ((c / 3) % 2) + ((Noise(c, p, 1149) % 13) == 0 ? -1 : 0));
      }
      img.Set(x, y, pen);
    }
  // A carved rosette every 32 pixels over the inlay.
  for (int a = 16; a < len; a += 32) {
    const int cx = horizontal ? a : 7, cy = horizontal ? 7 : a;
    FilledCircle(img, cx, cy, 4, WoodPen(2));
    FilledCircle(img, cx, cy, 3, BrassPen(8));
    FilledCircle(img, cx, cy, 1, BrassPen(14));
  }
  return true;
}

// 1144..1147: the frame's corners, 32 x 32; corner 0 top-left, 1 top-right,
// 2 bottom-left, 3 bottom-right. The quarter towards the map is a hole.
bool DrawFrameCorner(Image& img, int corner) {
  Image base(32, 32, kTransparent);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      if (x >= 16 && y >= 16) continue;
      base.Set(x, y, WoodPen(3 + (int)(Noise(x, y, 1144) % 3)));
    }
  // A brass cap over the corner block with a boss.
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) base.Set(x, y, BrassPen(5 + (30 - x - y) / 4));
  RaisedEdge(base, 0, 0, 15, 15, true);
  FilledCircle(base, 8, 8, 4, BrassPen(3));
  FilledCircle(base, 7, 7, 2, BrassPen(15));
  // Inlay lines continuing the rails' (rows and columns 7, 8).
  for (int k = 16; k < 32; ++k) {
    base.Set(k, 7, BrassPen(12));
    base.Set(k, 8, BrassPen(6));
    base.Set(7, k, BrassPen(12));
    base.Set(8, k, BrassPen(6));
  }
  for (int k = 16; k < 32; ++k) {
    base.Set(k, 0, WoodPen(0));
    base.Set(k, 15, WoodPen(0));
    base.Set(0, k, WoodPen(0));
    base.Set(15, k, WoodPen(0));
  }
  const bool flip_x = corner == 1 || corner == 3, flip_y = corner >= 2;
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) img.Set(flip_x ? 31 - x : x, flip_y ? 31 - y : y, base.Get(x, y));
  return true;
}

// 1614 and 1615: the top corner ornaments, brass scrollwork along the top
// rail; only over the frame (the rows below 16 stay holes beyond the corner).
bool DrawTopOrnament(Image& img, bool right) {
  const int w = img.width, h = img.height;
  Image base(w, h, kTransparent);
  for (int x = 0; x < w; ++x) {
    // A tapering carved band over the rail, fading out to the far end.
    const int thick = std::max(0, 14 - x * 12 / w);
    for (int y = 1; y < 1 + thick && y < 16; ++y)
      base.Set(x, y, (y == 1 || y == thick) ? BrassPen(4) : BrassPen(9 + (int)(Noise(x, y, 1614) % 4) - y / 4));
  }
  // Curls along the band.
  for (int k = 0; k < 5; ++k) {
    const int cx = 40 + k * 44, r = std::max(2, 6 - k);
    for (int a = 0; a < 300; a += 6) {
      const double t = a * 3.14159265 / 180.0;
      base.Set(cx + (int)std::lround(r * std::cos(t)), 8 + (int)std::lround(r * std::sin(t) * 0.8), BrassPen(15));
    }
  }
  // The corner's own boss reaches down over the corner piece.
  for (int y = 0; y < h && y < 30; ++y)
    for (int x = 0; x < 30; ++x)
      if ((x - 6) * (x - 6) + (y - 6) * (y - 6) < 22 * 22 && (x < 16 || y < 16))
        base.Set(x, y, BrassPen(6 + (28 - x - y) / 5));
  FilledCircle(base, 8, 8, 5, BrassPen(14));
  FilledCircle(base, 8, 8, 2, (uint8_t)(80 + 8));  // a garnet
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) img.Set(right ? w - 1 - x : x, y, base.Get(x, y));
  return true;
}

// 1143: the left panel (178 x 385, at (3, height - 385)): a strip of six
// image wells on the left and, at its foot, the compass round the minimap
// with the places of the three switches.
bool DrawLeftPanel(Image& img) {
  const int w = img.width, h = img.height;  // 178 x 385
  auto inside = [&](int x, int y) { return x <= 56 || (y >= 204 && x <= 176); };
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (inside(x, y)) img.Set(x, y, WoodPen(4 + (int)(Noise(x / 3, y, 1143) % 3) - ((x + y) % 29 == 0)));
  // Edges of the L.
  for (int y = 0; y < h; ++y) {
    img.Set(0, y, WoodPen(9));
    img.Set(y < 204 ? 56 : 176, y, kBlack);
  }
  for (int x = 0; x <= 56; ++x) img.Set(x, 0, WoodPen(10));
  for (int x = 57; x <= 176; ++x) img.Set(x, 204, WoodPen(10));
  // Six image wells at (7, 3 + 41 k), 40 x 40.
  for (int k = 0; k < 6; ++k) BrassRim(img, 5, 1 + 41 * k, 48, 44 + 41 * k, 2);
  // The compass round the minimap: centre (78, 306), the window's radius 48.
  const int cx = 78, cy = 306;
  for (int y = cy - 60; y <= cy + 60; ++y)
    for (int x = cx - 60; x <= cx + 60; ++x) {
      if (!inside(x, y)) continue;
      const int d2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
      if (d2 <= 48 * 48) img.Set(x, y, (uint8_t)(kGreyRamp + 1));
      else if (d2 <= 56 * 56) img.Set(x, y, BrassPen(13 - (int)std::lround(std::sqrt((double)d2)) + 48 + ((x - cx) < (y - cy) ? -3 : 0)));
    }
  // The compass points towards the arrows.
  for (int d = 0; d < 4; ++d) {
    const int px = cx + (d == 1 ? 57 : d == 3 ? -57 : 0), py = cy + (d == 0 ? -57 : d == 2 ? 57 : 0);
    Triangle(img, px, py, 7, d, BrassPen(15));
  }
  // Sockets of the switches (resources, names, borders) at their places.
  for (auto p : {std::pair<int, int>{92, 207}, {121, 225}, {141, 253}}) {
    FilledCircle(img, p.first + 10, p.second + 10, 11, WoodPen(0));
    FilledCircle(img, p.first + 10, p.second + 10, 9, WoodPen(2));
  }
  return true;
}

// 1160..1165: the switches of the deeper displays (20 x 20, masked): a round
// brass knob with the overlay's sign; lit gold on green when on, dark when off.
bool DrawOverlaySwitch(Image& img, int kind, bool on) {
  const int c = 10;
  FilledCircle(img, c, c, 9, kBlack);
  // The brass ring lit from the top left, the face shaded the same way.
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) {
      const int d2 = (x - c) * (x - c) + (y - c) * (y - c), light = (40 - x - y) / 6;
      if (d2 <= 6 * 6) img.Set(x, y, on ? (uint8_t)(96 + 6 + light) : WoodPen(light / 2));
      else if (d2 <= 8 * 8) img.Set(x, y, BrassPen((on ? 8 : 2) + light));
    }
  const uint8_t sign = on ? (uint8_t)kWhite : BrassPen(6);
  switch (kind) {
    case 0:  // borders: a dotted line round a square
      for (int i = 0; i < 8; i += 2) {
        img.Set(6 + i, 6, sign);
        img.Set(6 + i, 13, sign);
        img.Set(6, 6 + i, sign);
        img.Set(13, 6 + i, sign);
      }
      break;
    case 1:  // names: a letter A
      RoundLine(img, 7, 14, 10, 5, sign);
      RoundLine(img, 10, 5, 13, 14, sign);
      RoundLine(img, 8, 11, 12, 11, sign);
      break;
    default:  // resources: a sheaf of three stalks
      RoundLine(img, 10, 6, 10, 14, sign);
      RoundLine(img, 7, 7, 10, 12, sign);
      RoundLine(img, 13, 7, 10, 12, sign);
      break;
  }
  return true;
}

// 1152..1159: the compass arrows (masked), dir 0 up, 1 right, 2 down, 3 left.
bool DrawCompassArrow(Image& img, int dir, bool pressed) {
  const int w = img.width, h = img.height;
  const bool vertical = dir == 0 || dir == 2;
  const int along = vertical ? h : w, across = vertical ? w : h;
  for (int a = 0; a < along; ++a) {
    // From the point (a = 0) widening to the base.
    const int half = std::min(across / 2, 1 + a * (across / 2) / std::max(1, along * 2 / 3));
    for (int c = across / 2 - half; c < across / 2 + half; ++c) {
      int x = 0, y = 0;
      switch (dir) {
        case 0: x = c, y = a; break;
        case 2: x = c, y = h - 1 - a; break;
        case 3: x = a, y = c; break;
        default: x = w - 1 - a, y = c; break;
      }
      const bool edge = c == across / 2 - half || c == across / 2 + half - 1;
      uint8_t pen = edge ? (uint8_t)kBlack : BrassPen((pressed ? 6 : 11) - (c - across / 2 + half) * 5 / std::max(1, 2 * half));
      img.Set(x, y, pen);
    }
  }
  if (pressed)  // a ruby set in the pressed arrow
    FilledCircle(img, vertical ? w / 2 : (dir == 3 ? w * 2 / 3 : w / 3), vertical ? (dir == 0 ? h * 2 / 3 : h / 3) : h / 2,
                 2, (uint8_t)(80 + 12));
  return true;
}

// 1166: the minimap's round window (128 x 128, masked): a disc of radius 48
// round (64, 64), the world's dark ground with a thin rim.
bool DrawMiniMapWindow(Image& img) {
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x) {
      const int d2 = (x - 64) * (x - 64) + (y - 64) * (y - 64);
      if (d2 <= 46 * 46) img.Set(x, y, (uint8_t)(224 + 1 + (Noise(x, y, 1166) % 2)));
      else if (d2 <= 48 * 48) img.Set(x, y, BrassPen(9));
    }
  return true;
}

// 1168..1178: the left panel's six images (40 x 40), each with its second
// state beside it (kind k = (ID - 1168) / 2, lit = odd IDs): crown, sword,
// sail, wagon, spyglass, scroll on a wooden plaque.
bool DrawLeftPanelImage(Image& img, int kind, bool lit) {
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 40; ++x)
      img.Set(x, y, lit ? ParchmentPen(13 - (y / 10) - (int)(Noise(x, y, 1168) % 2)) : WoodPen(5 + (int)(Noise(x, y, 1169) % 2)));
  RaisedEdge(img, 0, 0, 39, 39, true);
  const uint8_t ink = lit ? (uint8_t)kInk : BrassPen(12);
  switch (kind) {
    case 0:  // crown
      for (int x = 10; x <= 29; ++x) img.Set(x, 27, ink), img.Set(x, 28, ink);
      RoundLine(img, 10, 27, 10, 14, ink);
      RoundLine(img, 29, 27, 29, 14, ink);
      RoundLine(img, 10, 14, 15, 22, ink);
      RoundLine(img, 15, 22, 20, 11, ink);
      RoundLine(img, 20, 11, 25, 22, ink);
      RoundLine(img, 25, 22, 29, 14, ink);
      break;
    case 1:  // sword
      RoundLine(img, 20, 6, 20, 27, ink, 1);
      RoundLine(img, 13, 27, 27, 27, ink);
      RoundLine(img, 20, 28, 20, 33, ink);
      break;
    case 2:  // sail
      RoundLine(img, 19, 7, 19, 30, ink);
      for (int y = 9; y <= 25; ++y) RoundLine(img, 20, y, 20 + (y - 7) * 3 / 5, y, ink);
      RoundLine(img, 9, 31, 31, 31, ink);
      break;
    case 3:  // wagon
      for (int y = 12; y <= 23; ++y) RoundLine(img, 11 + (23 - y) / 3, y, 28 - (23 - y) / 3, y, ink);
      FilledCircle(img, 14, 28, 3, ink);
      FilledCircle(img, 26, 28, 3, ink);
      break;
    case 4:  // spyglass
      RoundLine(img, 9, 29, 30, 10, ink, 2);
      FilledCircle(img, 30, 10, 3, ink);
      break;
    default:  // scroll
      for (int y = 11; y <= 28; ++y) RoundLine(img, 12, y, 27, y, (y == 11 || y == 28) ? ink : (lit ? ParchmentPen(15) : BrassPen(7)));
      for (int y = 15; y <= 25; y += 3) RoundLine(img, 15, y, 24, y, ink);
      break;
  }
  return true;
}

// 1150 (164 x 178) and 1151 (164 x 152): the corner panel at the bottom
// right. 1150 while the map is shown: the coordinate fields at (29, 5) and
// (84, 5), the tile window at (48, 68), the INFO, LISTS and EXIT buttons.
// 1151 while the map lies behind another screen: the tile window at (48, 42).
bool DrawCornerPanel(Image& img, bool shown) {
  const int w = img.width, h = img.height;
  Wood(img, 0, 0, w - 1, h - 1, false, shown ? 1150 : 1151, 5);
  RaisedEdge(img, 0, 0, w - 1, h - 1, false);
  for (int x : {5, w - 6}) for (int y : {5, h - 6}) Rivet(img, x, y);
  const int tile_y = shown ? 68 : 42;
  DarkWell(img, 48, tile_y, 111, tile_y + 55);
  if (shown) {
    RecessedField(img, 29, 5, 78, 24, 1150);
    RecessedField(img, 84, 5, 133, 24, 1151);
    DrawText(img, 18, 11, "X", 1, BrassPen(14));
    DrawText(img, 137, 11, "Y", 1, BrassPen(14));
    PlateButton(img, 8, 132, 50, 154, "INFO");
    PlateButton(img, 58, 132, 106, 154, "LISTS");
    PlateButton(img, 114, 132, 154, 154, "EXIT");
  } else {
    DrawTextCentred(img, 0, 110, w - 1, 124, "ELMOR", 2, BrassPen(13), WoodPen(0));
  }
  return true;
}

// 1167: the bottom panel (800 x 247, masked, at (width - 800, height - 247)).
// A band along the bottom (from x 0, rows 98..246) with the terrain line and
// the three resource fields and labels; a block above its right end (x
// 431..635) with the info box, the tabs and the figure list; a crest over
// the corner panel (x 636..799, rows 0..68); a hole where 1150 lies.
bool DrawBottomPanel(Image& img) {
  const int w = img.width, h = img.height;
  auto inside = [&](int x, int y) {
    if (x >= 636) return y <= 68;
    if (x >= 431) return true;
    return y >= 98;
  };
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (inside(x, y)) img.Set(x, y, WoodPen(4 + (int)(Noise(x / 4, y, 1167) % 3) - (int)((x + 2 * y) % 37 == 0)));
  // Top edges of the band and the block.
  for (int x = 0; x < 431; ++x) img.Set(x, 98, WoodPen(10)), img.Set(x, 99, WoodPen(7));
  for (int x = 431; x < w; ++x) img.Set(x, 0, WoodPen(10));
  for (int y = 0; y < 98; ++y) img.Set(431, y, WoodPen(9));
  for (int y = 0; y <= 68; ++y) img.Set(w - 1, y, kBlack);
  for (int x = 636; x < w; ++x) img.Set(x, 68, kBlack);
  // Terrain line and resources (screen x = 224 + x, y = 521 + y at 1024 x 768).
  RecessedField(img, 9, 107, 394, 122, 1);
  for (int k = 0; k < 3; ++k) {
    const int y = 145 + 27 * k;
    RecessedField(img, 206, y, 254, y + 16, 2 + k);
    RecessedField(img, 266, y, 386, y + 16, 5 + k, 14);
  }
  // A quill in its inkwell beside the resources (left of x 178, so that the
  // left panel of an 800 x 600 display hides it whole).
  RecessedField(img, 20, 134, 176, 232, 9, 11);
  FilledCircle(img, 70, 205, 16, WoodPen(0));
  FilledCircle(img, 70, 203, 13, (uint8_t)(112 + 2));
  RoundLine(img, 72, 196, 150, 146, kInk, 1);
  for (int i = 0; i < 40; ++i) RoundLine(img, 110 + i, 170 - i * 5 / 8, 118 + i, 176 - i * 5 / 8, ParchmentPen(4 + (i % 3)));
  // Info box and its slider; tab row; figure list and its slider.
  RecessedField(img, 438, 7, 614, 83, 10, 13);
  SliderSlot(img, 618, 7, 628, 83);
  for (int x = 436; x <= 630; ++x) img.Set(x, 112, WoodPen(0));
  RecessedField(img, 438, 117, 614, 223, 11, 13);
  SliderSlot(img, 618, 117, 628, 223);
  for (int s : {7, 117}) Triangle(img, 623, s + 5, 6, 0, BrassPen(14));
  for (int s : {83, 223}) Triangle(img, 623, s - 5, 6, 2, BrassPen(14));
  // The crest over the corner panel: a shield with a quill and a sword.
  const int cx = 636 + 82, cy = 34;
  for (int y = 8; y <= 62; ++y)
    for (int x = cx - 22; x <= cx + 22; ++x) {
      const int half = y < 40 ? 22 : 22 - (y - 40);
      if (std::abs(x - cx) <= half) img.Set(x, y, std::abs(x - cx) >= half - 2 || y <= 9 ? BrassPen(12) : (uint8_t)(112 + 5));
    }
  RoundLine(img, cx - 12, cy + 16, cx + 12, cy - 16, BrassPen(14));
  RoundLine(img, cx + 12, cy + 16, cx - 12, cy - 16, kWhite);
  return true;
}

// 1142: the frame round the 640 x 480 area of the other screens (700 x 538,
// masked); the area itself, (30, 29)-(669, 508), is a hole.
bool DrawOtherScreenFrame(Image& img) {
  const int w = img.width, h = img.height;
  Wood(img, 0, 0, w - 1, h - 1, true, 1142, 4);
  BrassRim(img, 0, 0, w - 1, h - 1, 3);
  BrassRim(img, 24, 23, 675, 514, 4);
  for (int x : {12, w - 13}) for (int y : {12, h - 13}) Rivet(img, x, y);
  for (int x = 60; x < w - 60; x += 80) Rivet(img, x, 11), Rivet(img, x, h - 12);
  FillRect(img, 30, 29, 669, 508, kTransparent);
  return true;
}

// 143 and 145: the 8-bit switch (21 x 19), off and on.
bool DrawSmallSwitch(Image& img, bool on) {
  SwitchKnob(img, 0, 0, img.width, img.height, on, on ? 145 : 143);
  return true;
}

// 1041: the cultivation requester (420 x 330): a parchment sheet on a wooden
// board; label places left blank (the labels are printed into the picture),
// recessed number and entry fields, the switch's socket, the graph area and
// the INFO and EXIT buttons (docs/layouts.md, "The map screen's requesters").
bool DrawCultivationRequester(Image& img) {
  const int w = img.width, h = img.height;
  Wood(img, 0, 0, w - 1, h - 1, true, 1041, 4);
  RaisedEdge(img, 0, 0, w - 1, h - 1, false);
  // The sheet.
  for (int y = 4; y <= h - 5; ++y)
    for (int x = 4; x <= w - 5; ++x) {
      const int edge = std::min({x - 4, w - 5 - x, y - 4, h - 5 - y});
      img.Set(x, y, ParchmentPen(13 - (int)(Noise(x / 2, y / 2, 1041) % 3) - (edge < 3 ? 3 - edge : 0)));
    }
  // Title band.
  for (int y = 6; y <= 26; ++y)
    for (int x = 8; x <= w - 9; ++x) img.Set(x, y, WoodPen(7 - (y - 6) / 5));
  RaisedEdge(img, 8, 6, w - 9, 26, true);
  // Pool field and the switch's socket.
  RecessedField(img, 216, 36, 286, 54, 1, 15);
  FrameRect(img, 375, 34, 397, 54, WoodPen(0));
  for (int s = 0; s < 3; ++s) {
    const int y = 64 + 62 * s;
    // Entry field of the worker count (white-ish), the three values.
    RecessedField(img, 216, y - 2, 286, y + 16, 10 + s, 15);
    RecessedField(img, 88, y + 20, 136, y + 38, 20 + s);
    RecessedField(img, 238, y + 20, 284, y + 38, 30 + s);
    RecessedField(img, 344, y + 20, 404, y + 38, 40 + s);
    for (int x = 12; x <= w - 13; x += 2) img.Set(x, y + 49, ParchmentPen(6));
  }
  // Graph area: a ruled chart.
  RecessedField(img, 14, 236, 300, 318, 50, 15);
  for (int k = 1; k < 10; ++k)
    for (int y = 238; y <= 316; y += 2) img.Set(14 + k * 287 / 10, y, ParchmentPen(10));
  for (int k = 1; k < 4; ++k)
    for (int x = 16; x <= 298; x += 2) img.Set(x, 318 - k * 20, ParchmentPen(10));
  PlateButton(img, 316, 262, 404, 284, "INFO");
  PlateButton(img, 316, 292, 404, 314, "EXIT");
  return true;
}

// 1265: the caravan requester (360 x 260): a caravan of wagons and pack
// animals on a road under an evening sky, and below it the requester's
// controls (docs/layouts.md).
bool DrawCaravanRequester(Image& img) {
  const int w = img.width, h = img.height;
  // Sky and hills.
  for (int y = 0; y < 170; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t pen;
      const int hill = 96 + (int)(18 * std::sin(x * 0.03) + 10 * std::sin(x * 0.071 + 1.0));
      if (y < hill) pen = (uint8_t)(160 + 14 - y / 10 - (int)(Noise(x / 3, y / 3, 1265) % 2));
      else if (y < 130) pen = (uint8_t)(192 + 6 - (y - hill) / 8 + (int)(Noise(x, y, 1266) % 2));
      else pen = (uint8_t)(208 + 5 + (int)(Noise(x / 2, y, 1267) % 3));
      img.Set(x, y, pen);
    }
  // The road.
  for (int y = 130; y < 170; ++y)
    for (int x = 0; x < w; ++x)
      if (std::abs(y - 150 - (int)(6 * std::sin(x * 0.02))) < 9) img.Set(x, y, (uint8_t)(208 + 9 + (int)(Noise(x, y, 1268) % 3)));
  // Wagons: covered wagons with wheels, each drawn by an ox; pack mules between.
  for (int k = 0; k < 3; ++k) {
    const int x = 30 + k * 115, y = 142 + (int)(6 * std::sin((x + 30) * 0.02));
    for (int yy = y - 24; yy <= y - 8; ++yy)
      for (int xx = x; xx <= x + 44; ++xx)
        if ((xx - x - 22) * (xx - x - 22) / 4 + (yy - y + 8) * (yy - y + 8) <= 17 * 17 / 1.1) img.Set(xx, yy, ParchmentPen(14));
    FillRect(img, x - 2, y - 8, x + 46, y - 4, WoodPen(3));
    FilledCircle(img, x + 6, y, 6, WoodPen(1));
    FilledCircle(img, x + 6, y, 3, WoodPen(6));
    FilledCircle(img, x + 38, y, 6, WoodPen(1));
    FilledCircle(img, x + 38, y, 3, WoodPen(6));
    // The ox.
    FillRect(img, x + 54, y - 14, x + 72, y - 5, WoodPen(8));
    FillRect(img, x + 72, y - 16, x + 78, y - 9, WoodPen(8));
    for (int leg : {56, 60, 66, 70}) FillRect(img, x + leg, y - 5, x + leg + 1, y + 2, WoodPen(2));
    RoundLine(img, x + 46, y - 8, x + 54, y - 10, WoodPen(0));
    // A pack mule behind the wagon.
    if (k < 2) {
      const int mx = x + 86;
      FillRect(img, mx, y - 12, mx + 14, y - 5, (uint8_t)(16 + 7));
      FillRect(img, mx + 14, y - 15, mx + 18, y - 9, (uint8_t)(16 + 7));
      FillRect(img, mx + 2, y - 17, mx + 11, y - 12, (uint8_t)(160 + 6));
      for (int leg : {1, 5, 9, 13}) FillRect(img, mx + leg, y - 5, mx + leg, y + 2, (uint8_t)(16 + 3));
    }
  }
  // The controls below on a wooden board.
  Wood(img, 0, 170, w - 1, h - 1, true, 1269, 4);
  for (int x = 0; x < w; ++x) img.Set(x, 170, WoodPen(11));
  RecessedField(img, 10, 176, 230, 226, 1, 14);
  SliderSlot(img, 234, 188, 246, 214);
  SliderSlot(img, 234, 176, 246, 187);
  Triangle(img, 240, 181, 6, 0, BrassPen(14));
  SliderSlot(img, 234, 215, 246, 226);
  Triangle(img, 240, 221, 6, 2, BrassPen(14));
  RecessedField(img, 10, 232, 160, 250, 2, 15);
  PlateButton(img, 170, 232, 190, 250, "");
  Triangle(img, 180, 241, 9, 3, kInk);
  PlateButton(img, 194, 232, 214, 250, "");
  Triangle(img, 204, 241, 9, 1, kInk);
  PlateButton(img, 256, 176, 348, 198, "OK");
  PlateButton(img, 256, 204, 348, 226, "INFO");
  PlateButton(img, 256, 232, 348, 252, "EXIT");
  RaisedEdge(img, 0, 0, w - 1, h - 1, false);
  return true;
}

}  // namespace datakit
