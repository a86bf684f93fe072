#include "modepage.h"

#include <cstring>

#include "drawntext.h"
#include "screenmode.h"

namespace {

// A 5 x 7 pixel font for the page's few labels.
struct Glyph {
  char c;
  const char* rows[7];
};
const Glyph kGlyphs[] = {
    {'A', {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'B', {"####.", "#...#", "#...#", "####.", "#...#", "#...#", "####."}},
    {'C', {".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."}},
    {'D', {"####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."}},
    {'E', {"#####", "#....", "#....", "####.", "#....", "#....", "#####"}},
    {'F', {"#####", "#....", "#....", "####.", "#....", "#....", "#...."}},
    {'G', {".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".####"}},
    {'H', {"#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'I', {".###.", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."}},
    {'J', {"..###", "...#.", "...#.", "...#.", "...#.", "#..#.", ".##.."}},
    {'K', {"#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"}},
    {'L', {"#....", "#....", "#....", "#....", "#....", "#....", "#####"}},
    {'M', {"#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"}},
    {'N', {"#...#", "#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#"}},
    {'O', {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'P', {"####.", "#...#", "#...#", "####.", "#....", "#....", "#...."}},
    {'Q', {".###.", "#...#", "#...#", "#...#", "#.#.#", "#..#.", ".##.#"}},
    {'R', {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"}},
    {'S', {".####", "#....", "#....", ".###.", "....#", "....#", "####."}},
    {'T', {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."}},
    {'U', {"#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'V', {"#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."}},
    {'W', {"#...#", "#...#", "#...#", "#.#.#", "#.#.#", "#.#.#", ".#.#."}},
    {'X', {"#...#", "#...#", ".#.#.", "..#..", ".#.#.", "#...#", "#...#"}},
    {'Y', {"#...#", "#...#", ".#.#.", "..#..", "..#..", "..#..", "..#.."}},
    {'Z', {"#####", "....#", "...#.", "..#..", ".#...", "#....", "#####"}},
    {'0', {".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###."}},
    {'1', {"..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."}},
    {'2', {".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"}},
    {'3', {"#####", "...#.", "..#..", "...#.", "....#", "#...#", ".###."}},
    {'4', {"...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."}},
    {'5', {"#####", "#....", "####.", "....#", "....#", "#...#", ".###."}},
    {'6', {"..##.", ".#...", "#....", "####.", "#...#", "#...#", ".###."}},
    {'7', {"#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#..."}},
    {'8', {".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###."}},
    {'9', {".###.", "#...#", "#...#", ".####", "....#", "...#.", ".##.."}},
    {'x', {".....", ".....", "#...#", ".#.#.", "..#..", ".#.#.", "#...#"}},
    {':', {".....", "..#..", ".....", ".....", ".....", "..#..", "....."}},
    {'-', {".....", ".....", ".....", "#####", ".....", ".....", "....."}},
    {',', {".....", ".....", ".....", ".....", ".....", "..#..", ".#..."}},
    {'.', {".....", ".....", ".....", ".....", ".....", ".....", "..#.."}},
};

const uint32_t kBackground = 0x1C1410, kText = 0xE8D8B0, kFrame = 0x8C7050, kSelected = 0x6A3A1C,
               kTitle = 0xF0C060;

const Glyph* FindGlyph(char c) {
  if (c >= 'a' && c <= 'z' && c != 'x') c = static_cast<char>(c - 'a' + 'A');
  for (const auto& g : kGlyphs)
    if (g.c == c) return &g;
  return nullptr;
}

void Fill(uint32_t* px, int x0, int y0, int w, int h, uint32_t colour) {
  for (int y = y0; y < y0 + h; y++) {
    if (y < 0 || y >= int(kModePageHeight)) continue;
    for (int x = x0; x < x0 + w; x++)
      if (x >= 0 && x < int(kModePageWidth)) px[y * kModePageWidth + x] = colour;
  }
}

int TextWidth(const char* s, int scale) { return static_cast<int>(std::strlen(s)) * 6 * scale - scale; }

void DrawText(uint32_t* px, int x, int y, const char* s, int scale, uint32_t colour) {
  ReportDrawnText(s);
  for (; *s; s++, x += 6 * scale) {
    const Glyph* g = FindGlyph(*s);
    if (!g) continue;
    for (int r = 0; r < 7; r++)
      for (int c = 0; c < 5; c++)
        if (g->rows[r][c] == '#') Fill(px, x + c * scale, y + r * scale, scale, scale, colour);
  }
}

struct Button {
  int x, y, w, h;
  const char* label;
};
// Rows of the page: three resolutions, two renderers, two window kinds,
// then start and quit.
const Button kResolution[3] = {{170, 110, 300, 36, "640x480x8"},
                               {170, 154, 300, 36, "800x600x32"},
                               {170, 198, 300, 36, "1024x768x32"}};
const Button kRenderer[2] = {{170, 262, 145, 36, "2D"}, {325, 262, 145, 36, "OpenGL"}};
const Button kWindow[2] = {{170, 314, 145, 36, "Window"}, {325, 314, 145, 36, "Full screen"}};
const Button kStart = {170, 380, 145, 40, "Start"};
const Button kQuit = {325, 380, 145, 40, "Quit"};

void DrawButton(uint32_t* px, const Button& b, bool selected) {
  Fill(px, b.x, b.y, b.w, b.h, kFrame);
  Fill(px, b.x + 2, b.y + 2, b.w - 4, b.h - 4, selected ? kSelected : kBackground);
  int scale = 2;
  DrawText(px, b.x + (b.w - TextWidth(b.label, scale)) / 2, b.y + (b.h - 7 * scale) / 2, b.label, scale, kText);
}

bool Hit(const Button& b, int32_t x, int32_t y) { return x >= b.x && x < b.x + b.w && y >= b.y && y < b.y + b.h; }

}  // namespace

void ModePageInit(ModePage* page, uint32_t mode_id) {
  if (mode_id >= kScreenModeCount) mode_id = kScreenModeDefault;
  page->resolution = mode_id / 4;
  page->renderer = (mode_id / 2) & 1;
  page->fullscreen = mode_id & 1;
}

uint32_t ModePageModeId(const ModePage* page) {
  return page->resolution * 4 + page->renderer * 2 + page->fullscreen;
}

void ModePageDraw(const ModePage* page, uint32_t* px) {
  Fill(px, 0, 0, kModePageWidth, kModePageHeight, kBackground);
  const char* title = "Quill of Elmor";
  DrawText(px, (kModePageWidth - TextWidth(title, 4)) / 2, 30, title, 4, kTitle);
  const char* sub = "Display mode";
  DrawText(px, (kModePageWidth - TextWidth(sub, 2)) / 2, 78, sub, 2, kText);
  for (uint32_t i = 0; i < 3; i++) DrawButton(px, kResolution[i], page->resolution == i);
  for (uint32_t i = 0; i < 2; i++) DrawButton(px, kRenderer[i], page->renderer == i);
  for (uint32_t i = 0; i < 2; i++) DrawButton(px, kWindow[i], page->fullscreen == i);
  DrawButton(px, kStart, false);
  DrawButton(px, kQuit, false);
  const char* hint = "Up, Down: mode. R: renderer. F: full screen. Enter: start. Esc: quit.";
  DrawText(px, (kModePageWidth - TextWidth(hint, 1)) / 2, 446, hint, 1, kFrame);
}

int ModePageHandle(ModePage* page, const PlatformMessage* m) {
  if (!m) return 0;
  switch (m->kind) {
    case kMsgKeyDown:
      switch (m->key) {
        case kKeyUp: page->resolution = page->resolution > 0 ? page->resolution - 1 : 0; return 0;
        case kKeyDown: page->resolution = page->resolution < 2 ? page->resolution + 1 : 2; return 0;
        case 'R': page->renderer ^= 1; return 0;
        case 'F': page->fullscreen ^= 1; return 0;
        case kKeyEnter: return 1;
        case kKeyEscape: return -1;
        default: return 0;
      }
    case kMsgLeftDown:
      for (uint32_t i = 0; i < 3; i++)
        if (Hit(kResolution[i], m->x, m->y)) page->resolution = i;
      for (uint32_t i = 0; i < 2; i++) {
        if (Hit(kRenderer[i], m->x, m->y)) page->renderer = i;
        if (Hit(kWindow[i], m->x, m->y)) page->fullscreen = i;
      }
      if (Hit(kStart, m->x, m->y)) return 1;
      if (Hit(kQuit, m->x, m->y)) return -1;
      return 0;
    case kMsgQuit: return -1;
    default: return 0;
  }
}
