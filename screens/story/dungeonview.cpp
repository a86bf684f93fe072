// The dungeon's first-person view: floor and ceiling, then the cells ahead
// from four cells away to the player's own, far to near and from the outside
// in, each drawn with the graphic and place of the position table the data
// kit writes with the graphics (dungeon_view_table.inc, docs/dungeon-maps.md).
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/system/fonts.h"
#include "routinen/system/graphics.h"
#include "platform/threads.h"
#include "screens/story/dungeon.h"

namespace {

const DungeonViewRow kViewTable[] = {
#include "screens/story/dungeon_view_table.inc"
};
constexpr uint32_t kViewRows = sizeof kViewTable / sizeof kViewTable[0];

constexpr uint32_t kFloor = 1294, kCeiling = 1303;
constexpr int32_t kFloorX = 225, kFloorY = 337, kCeilingY = 194;
// The map panel: the player's cell has its lower edge at (480..490, 180).
constexpr int32_t kPanelX = 480, kPanelY = 180, kPanelCell = 10;
constexpr uint32_t kPanelPen = 7, kPanelMarkPen = 6, kPlayerPen = 9;

// The side positions of a distance from the outside in.
const int8_t kOrderFar[] = {-2, -1, 2, 1, 0};
const int8_t kOrderNear[] = {-1, 1, 0};

struct ViewDraw {
  DungeonData* d;
  RastPort* panel;  // the screen's RastPort, null when there is none
};

void Blit(const ViewDraw& v, const DungeonViewRow* r, uint32_t variant) {
  if (!r) return;
  const uint32_t id = r->id + variant;
  DungeonData* d = v.d;
  if (d->view.blit) {
    d->view.blit(d->view.ctx, id, r->x, r->y, r->sx, r->sy, r->w, r->h);
    return;
  }
  if (!d->viewRastPort || !LoadDungeonGraphics(id, 1)) return;  // a missing graphic draws nothing
  const BitMap* bm = ElmorGfxBitMap(id);
  if (!bm || r->sx >= bm->Width || r->sy >= bm->Height) return;
  const int32_t w = (int32_t)std::min<uint32_t>(r->w, bm->Width - r->sx);
  const int32_t h = (int32_t)std::min<uint32_t>(r->h, bm->Height - r->sy);
  if (const uint8_t* mask = GetElmorGfxMask(id))
    BltMaskBitMapRastPort(bm, r->sx, r->sy, d->viewRastPort, r->x, r->y, w, h, 0xE0, mask);
  else
    BltBitMapRastPort(bm, r->sx, r->sy, d->viewRastPort, r->x, r->y, w, h);
}

// Floor or ceiling: the whole graphic at its place.
void BlitWhole(const ViewDraw& v, uint32_t id, int32_t x, int32_t y) {
  DungeonData* d = v.d;
  if (d->view.blit) {
    d->view.blit(d->view.ctx, id, x, y, 0, 0, 0, 0);
    return;
  }
  if (!d->viewRastPort || !LoadDungeonGraphics(id, 1)) return;
  if (const BitMap* bm = ElmorGfxBitMap(id))
    BltBitMapRastPort(bm, 0, 0, d->viewRastPort, x, y, (int32_t)bm->Width, (int32_t)bm->Height);
}

// A line on the map panel, in cells of the panel (side s, distance dist)
// from (x1, y1) to (x2, y2) in tenths of the cell.
void PanelLine(const ViewDraw& v, int32_t s, int32_t dist, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
               uint32_t pen) {
  if (!v.panel) return;
  const int32_t ox = kPanelX + s * kPanelCell, oy = kPanelY - dist * kPanelCell;
  SetAPen(v.panel, pen);
  Move(v.panel, ox + x1, oy - y1);
  Draw(v.panel, ox + x2, oy - y2);
}

char At(const DungeonData* d, int32_t row, int32_t col) {
  if (!d->viewMap || row < 0 || col < 0 || row >= d->viewHeight || col >= d->viewWidth) return 0;
  return d->viewMap[(size_t)row * d->viewWidth + col];
}

bool IsOpen(const DungeonData* d, int32_t row, int32_t col) {
  uint32_t x, y;
  if (!d->cells || !DungeonViewToStored(d, row, col, &x, &y)) return false;
  return (d->cells[(size_t)y * d->mapWidth + x].state & kCellOpen) != 0;
}

uint32_t Mod3(int32_t n) { return (uint32_t)(n % 3); }

// Every cell strictly between the player and the position (s, dist) lets
// the eye through: the cells nearest the straight line, rounded towards the
// player's column.
bool LineClear(const DungeonData* d, int32_t s, int32_t dist) {
  const int32_t n = std::abs(s) > dist ? std::abs(s) : dist;
  for (int32_t i = 1; i < n; ++i) {
    const int32_t cs = s * i / n, cd = dist * i / n;
    if (!IsSeeThroughCell(d, d->viewY - cd, d->viewX + cs)) return false;
  }
  return true;
}

// The side faces of the position, then its cell's front or contents.
void DrawPosition(const ViewDraw& v, int32_t dist, int32_t s) {
  const DungeonData* d = v.d;
  const int32_t row = d->viewY - dist, col = d->viewX + s;
  // The cells tested: the own cell and the neighbour further out (both for the centre).
  if (col < 0 || col >= d->viewWidth) return;
  if (s < 0 && col - 1 < 0) return;
  if (s > 0 && col + 1 >= d->viewWidth) return;
  if (!LineClear(d, s, dist)) return;
  const bool door = IsDoorCell(d, row, col) != 0, through = IsSeeThroughCell(d, row, col) != 0;
  const uint32_t rowVariant = Mod3(row);
  if (s <= 0 && col - 1 >= 0 && ((through && IsWallCell(d, row, col - 1)) || door)) {
    Blit(v, FindDungeonViewRow(DV_SIDE_LEFT, (uint32_t)dist, s, 0), rowVariant);
    PanelLine(v, s, dist, 0, 0, 0, kPanelCell, kPanelPen);
  }
  if (s >= 0 && col + 1 < d->viewWidth && ((through && IsWallCell(d, row, col + 1)) || door)) {
    Blit(v, FindDungeonViewRow(DV_SIDE_RIGHT, (uint32_t)dist, s, 0), rowVariant);
    PanelLine(v, s, dist, kPanelCell, 0, kPanelCell, kPanelCell, kPanelPen);
  }
  const uint32_t pair = (uint32_t)(d->facing & 3) >= 2 ? 1 : 0;
  const bool open = IsOpen(d, row, col);
  switch (At(d, row, col)) {
    case '#':
    case 'L':
      Blit(v, FindDungeonViewRow(DV_FRONT, (uint32_t)dist, s, 0), Mod3(col));
      PanelLine(v, s, dist, 0, 0, kPanelCell, 0, kPanelPen);
      break;
    case 'A':
    case 'E':
      // An exit is a stair in the wall: the wall, and the stair ahead.
      Blit(v, FindDungeonViewRow(DV_FRONT, (uint32_t)dist, s, 0), Mod3(col));
      if (s == 0) Blit(v, FindDungeonViewRow(DV_EXIT, (uint32_t)dist, 0, 0), 0);
      PanelLine(v, s, dist, 0, 0, kPanelCell, 0, kPanelMarkPen);
      break;
    case 'T':
      Blit(v, FindDungeonViewRow(DV_DOOR, (uint32_t)dist, s, pair * 2 + (open ? 1 : 0)), 0);
      PanelLine(v, s, dist, 0, 0, kPanelCell, 0, kPanelMarkPen);
      break;
    case 'G': {
      const uint32_t look = (d->facing & 1) * 2 + (open ? 1 : 0);
      Blit(v, FindDungeonViewRow(DV_CHEST, (uint32_t)dist, s, look), 0);
      PanelLine(v, s, dist, 3, 5, 7, 5, kPanelMarkPen);
      break;
    }
    case 'F':
      if (open) {
        Blit(v, FindDungeonViewRow(DV_TRAP, (uint32_t)dist, s, 0), 0);
        PanelLine(v, s, dist, 2, 5, 8, 5, kPanelMarkPen);
      } else if (dist == 1 && s == 0) {
        DrawViewOutlineDots(v.d);
      }
      break;
    default:
      break;
  }
}

void DrawOwnCell(const ViewDraw& v) {
  const DungeonData* d = v.d;
  const int32_t row = d->viewY, col = d->viewX;
  const uint32_t variant = Mod3(row);
  const char left = At(d, row, col - 1), right = At(d, row, col + 1);
  if (left == '#' || left == 'L') {
    Blit(v, FindDungeonViewRow(DV_WALL_LEFT, 0, -1, 0), variant);
    PanelLine(v, 0, 0, 0, 0, 0, kPanelCell, kPanelPen);
  }
  if (right == '#' || right == 'L') {
    Blit(v, FindDungeonViewRow(DV_WALL_RIGHT, 0, 1, 0), variant);
    PanelLine(v, 0, 0, kPanelCell, 0, kPanelCell, kPanelCell, kPanelPen);
  }
  if (IsWallCell(d, row - 1, col) && IsDoorCell(d, row, col)) {
    const uint32_t f = (uint32_t)(d->facing & 3);
    Blit(v, FindDungeonViewRow(DV_OWN_DOOR, 0, 0, f == 0 || f == 3 ? 0 : 1), 0);
  }
}

}  // namespace

const DungeonViewRow* DungeonViewTable(uint32_t* count) {
  if (count) *count = kViewRows;
  return kViewTable;
}

const DungeonViewRow* FindDungeonViewRow(uint32_t element, uint32_t distance, int32_t side, uint32_t look) {
  for (const DungeonViewRow& r : kViewTable)
    if (r.element == element && r.distance == distance && r.side == side && r.look == look) return &r;
  return nullptr;
}

void DrawViewOutlineDots(DungeonData* d) {
  static const int16_t kDots[21][3] = {
      {34, 107, 210}, {39, 86, 232},  {39, 48, 273},  {41, 46, 275},  {39, 45, 276},  {39, 54, 276},
      {39, 69, 276},  {39, 79, 276},  {39, 90, 276},  {44, 137, 276}, {39, 149, 276}, {39, 253, 276},
      {44, 294, 276}, {39, 302, 276}, {39, 325, 276}, {39, 333, 276}, {39, 355, 276}, {41, 356, 275},
      {39, 352, 273}, {39, 314, 232}, {34, 300, 217}};
  for (const auto& p : kDots) {
    const int32_t x = kDungeonShownX + p[1], y = kDungeonShownY + p[2];
    if (d->view.plot) {
      d->view.plot(d->view.ctx, (uint32_t)p[0], x, y);
    } else if (d->viewRastPort) {
      SetAPen(d->viewRastPort, (uint32_t)p[0]);
      Move(d->viewRastPort, x, y);
      Draw(d->viewRastPort, x, y);
    }
  }
}

int32_t DungeonDrawView(DungeonData* d) {
  if (!d) return 0;
  RastPort* screen = ScreenRastPort();
  if (d->viewRastPort) {
    SetAPen(d->viewRastPort, 0);
    RectFill(d->viewRastPort, kDungeonViewLeft, kDungeonViewTop, kDungeonViewRight, kDungeonViewBottom);
  }
  if (screen) {
    SetAPen(screen, 30);
    RectFill(screen, 450, 120, 570, 240);
    SetAPen(screen, 7);
  }
  SelectViewMap(d);
  if (screen) {
    char pos[48];
    std::snprintf(pos, sizeof pos, "%u %u / %u %u", d->playerX, d->playerY, d->viewX, d->viewY);
    if (d->textFont) SetFont(screen, d->textFont);
    // Light parchment (pen 5) on the box's brown (pen 6): well above 3 : 1.
    PrintTextOutlined(screen, 450, 90, 550, 120, pos, 6, 5, PTO_CENTRE | PTO_BASELINE | PTO_FILL | PTO_VCENTRE);
  }
  const ViewDraw v = {d, screen};
  QoeSemaphore* sem = d->navRose ? d->navRose->semaphore : nullptr;
  if (sem) ObtainSemaphore(sem);
  const uint32_t ground = (2 - Mod3(d->viewX)) * 3 + (2 - Mod3(d->viewY));
  BlitWhole(v, kFloor + ground, kFloorX, kFloorY);
  BlitWhole(v, kCeiling + ground, kFloorX, kCeilingY);
  for (int32_t dist = 4; dist >= 1; --dist) {
    if (d->viewY - dist < 0) continue;
    const int8_t* order = dist >= 3 ? kOrderFar : kOrderNear;
    const size_t n = dist >= 3 ? sizeof kOrderFar : sizeof kOrderNear;
    for (size_t i = 0; i < n; ++i) DrawPosition(v, dist, order[i]);
  }
  DrawOwnCell(v);
  PanelLine(v, 0, 0, 0, 0, kPanelCell, 0, kPlayerPen);
  if (sem) ReleaseSemaphore(sem);
  if (screen && d->viewBitMap) {
    BltBitMapRastPort(d->viewBitMap, kDungeonShownX, kDungeonShownY, screen, 25, 43, kDungeonShownW, kDungeonShownH);
    ShowScreenRect(screen, 25, 43, kDungeonShownW, kDungeonShownH);
  }
  if (screen) ShowScreenRect(screen, 450, 90, 121, 151);
  return 0;
}
