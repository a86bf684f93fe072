// The map screen's drawing over the map and its clicks: the panel test, the
// map-cell and ring tests, the hex marker, the click's state machine, the
// overlay switches, the 8-bit coordinates and the after-draw function with
// the frame and panels of the deeper displays.
#include "mapdisplay.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "map_internal.h"
#include "mapgl.h"
#include "mapinfo.h"
#include "mapscreen.h"
#include "platform/display.h"
#include "platform/log.h"
#include "platform/threads.h"
#include "routinen/gui/layout.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/system/graphics.h"
#include "routinen/system/prefs.h"
#include "routinen/system/sysrecords.h"

namespace {

bool Deep() { return MapDisplayDepth() > 8; }

// The marker's outline from its left corner.
constexpr int16_t kHexSteps[9][2] = {{16, -27}, {32, 0}, {16, 27}, {0, 1}, {-16, 27}, {0, 1}, {-32, 0}, {0, -1}, {-16, -27}};

// The marker's lines beside its outline, and the pen that takes a marker
// away.
constexpr uint32_t kInnerPen = 0, kOuterPen = 1, kOverwritePen = 6;
// Each step's outward side: (-1, 0) left, (1, 0) right, (0, -1) up, (0, 1) down.
constexpr int16_t kHexOutward[9][2] = {{-1, 0}, {0, -1}, {1, 0}, {1, 0}, {1, 0}, {0, 1}, {0, 1}, {0, 1}, {-1, 0}};

// Every pixel of the straight line from (x, y) to (nx, ny), both ends.
template <typename Plot>
void LinePixels(int32_t x, int32_t y, int32_t nx, int32_t ny, Plot&& plot) {
  const int32_t dx = nx - x, dy = ny - y, n = std::max(std::abs(dx), std::abs(dy));
  for (int32_t k = 0; k <= n; k++)
    plot(x + (n ? (dx * k + (dx >= 0 ? n / 2 : -n / 2)) / n : 0), y + (n ? (dy * k + (dy >= 0 ? n / 2 : -n / 2)) / n : 0));
}

// The hex outline's pixels from its left corner (x, y); side -1 one pixel
// inside, 1 one pixel outside, 0 on it.
template <typename Plot>
void HexOutline(int32_t x, int32_t y, int32_t side, Plot&& plot) {
  for (int i = 0; i < 9; ++i) {
    // The top and bottom lines beside the outline are one pixel longer
    // (outside) or shorter (inside) at each end, so the corners join.
    const int32_t dir = kHexSteps[i][1] == 0 ? (kHexSteps[i][0] > 0 ? 1 : -1) : 0;
    const int32_t sx = x + side * kHexOutward[i][0] - dir * side, sy = y + side * kHexOutward[i][1];
    LinePixels(sx, sy, sx + kHexSteps[i][0] + 2 * dir * side, sy + kHexSteps[i][1], plot);
    x += kHexSteps[i][0];
    y += kHexSteps[i][1];
  }
}

// --- What lies under the markers -------------------------------------------------
// A marker keeps the screen pixels it covers; taking it away puts them back
// where the screen still shows the marker, so the map (its tiles, figures,
// borders, names) and the panels it crossed look as before it was drawn.
// A later marker over some of its pixels inherits them instead. A whole
// copy of the map to the screen wipes every marker, and with it what they
// kept.

// A marker's pixels lie in the box of 67 x 59 from (x - 1, y - 28) of its
// outline's left corner.
constexpr int32_t kMarkerBoxW = 67, kMarkerBoxH = 59;
constexpr uint32_t kMarkerPixelsMax = 640;  // three outlines: 528
constexpr uint32_t kMarkersKept = 4;

struct MarkerPixel {
  int16_t x, y;
  uint32_t beneath, shown;  // the screen's pixel values
};
struct SavedMarker {
  uint32_t order;        // 0 a free slot; a later marker has a higher number
  const BitMap* screen;  // drawn on
  uint32_t copies;       // the map's copies to the screen when drawn
  int32_t x, y;          // the outline's left corner
  uint32_t count;
  MarkerPixel pixels[kMarkerPixelsMax];
};
// The index of each box pixel among a marker's pixels (-1 none).
using MarkerBoxIndex = int16_t[kMarkerBoxH][kMarkerBoxW];

// The markers on the screen, and the scratch of their drawing. Under the
// display mutex (the game thread draws them; ResetMapMarkerState between
// tests).
struct MapMarkerState {
  uint32_t nextOrder = 1;
  SavedMarker saved[kMarkersKept];
  MarkerBoxIndex index;
  uint8_t pens[kMarkerPixelsMax];
  bool handed[kMarkerPixelsMax];
};
MapMarkerState& MarkerState() {
  static MapMarkerState s;
  return s;
}

uint8_t* PixelAt(const BitMap* bm, int32_t x, int32_t y) {
  return bm->Pixels + (size_t)y * bm->BytesPerRow + (size_t)x * (bm->Depth == 8 ? 1 : 4);
}
uint32_t ScreenPixel(const BitMap* bm, int32_t x, int32_t y) {
  if (bm->Depth == 8) return *PixelAt(bm, x, y);
  uint32_t v;
  std::memcpy(&v, PixelAt(bm, x, y), 4);
  return v;
}
void SetScreenPixel(BitMap* bm, int32_t x, int32_t y, uint32_t v) {
  if (bm->Depth == 8) *PixelAt(bm, x, y) = (uint8_t)v;
  else std::memcpy(PixelAt(bm, x, y), &v, 4);
}

void IndexMarker(const SavedMarker& m, MarkerBoxIndex& index) {
  std::memset(index, 0xFF, sizeof index);
  for (uint32_t i = 0; i < m.count; i++) index[m.pixels[i].y - m.y + 28][m.pixels[i].x - m.x + 1] = (int16_t)i;
}
int32_t IndexIn(const SavedMarker& m, const MarkerBoxIndex& index, int32_t x, int32_t y) {
  const int32_t bx = x - m.x + 1, by = y - m.y + 28;
  return bx < 0 || by < 0 || bx >= kMarkerBoxW || by >= kMarkerBoxH ? -1 : index[by][bx];
}

// Takes marker m away: each pixel goes to the next later marker over it,
// else back onto the screen while the screen still shows the marker there.
void TakeMarkerAway(MapMarkerState& s, SavedMarker& m, BitMap* bm) {
  bool* handed = s.handed;
  MarkerBoxIndex& index = s.index;
  std::fill(handed, handed + m.count, false);
  // The later markers from the lowest up.
  for (uint32_t floor = m.order;;) {
    SavedMarker* above = nullptr;
    for (SavedMarker& o : s.saved)
      if (o.order > floor && (!above || o.order < above->order)) above = &o;
    if (!above) break;
    floor = above->order;
    IndexMarker(*above, index);
    for (uint32_t i = 0; i < m.count; i++) {
      const MarkerPixel& p = m.pixels[i];
      const int32_t j = handed[i] ? -1 : IndexIn(*above, index, p.x, p.y);
      if (j < 0) continue;
      handed[i] = true;
      if (above->pixels[j].beneath == p.shown) above->pixels[j].beneath = p.beneath;
    }
  }
  for (uint32_t i = 0; i < m.count; i++) {
    const MarkerPixel& p = m.pixels[i];
    if (!handed[i] && ScreenPixel(bm, p.x, p.y) == p.shown) SetScreenPixel(bm, p.x, p.y, p.beneath);
  }
  m.order = 0;
}

// Forgets the markers of another screen bitmap or from before the map's
// last copy to the screen: they are no longer there.
void ForgetWipedMarkers(MapMarkerState& s, const BitMap* bm) {
  const uint32_t copies = MapState().screenCopies.load();
  for (SavedMarker& m : s.saved)
    if (m.order && (m.screen != bm || m.copies != copies)) m.order = 0;
}

SavedMarker* FindMarker(MapMarkerState& s, const BitMap* bm, int32_t x, int32_t y) {
  for (SavedMarker& m : s.saved)
    if (m.order && m.screen == bm && m.x == x && m.y == y) return &m;
  return nullptr;
}

// Draws the marker with its left corner at (x, y) in pen, only inside the
// clip rectangle, and keeps what it covers.
void PutMarker(MapMarkerState& s, RastPort* rp, int32_t x, int32_t y, uint32_t pen, int32_t cx1, int32_t cy1,
               int32_t cx2, int32_t cy2) {
  BitMap* bm = rp->Bitmap;
  // A free slot, else the oldest marker's (which then stays on the screen).
  SavedMarker* m = &s.saved[0];
  for (SavedMarker& o : s.saved)
    if (o.order < m->order) m = &o;
  if (m->order) DebugLog("DrawHexMarker: zu viele Markierungen, die aelteste bleibt stehen\n");
  m->order = s.nextOrder++;
  m->screen = bm;
  m->copies = MapState().screenCopies.load();
  m->x = x;
  m->y = y;
  m->count = 0;
  // Each pixel once, in the pen of the last line through it.
  MarkerBoxIndex& index = s.index;
  uint8_t* pens = s.pens;
  std::memset(index, 0xFF, sizeof index);
  auto line = [&](uint32_t line_pen) {
    return [&, line_pen](int32_t px, int32_t py) {
      if (px < cx1 || px > cx2 || py < cy1 || py > cy2 || px < 0 || py < 0 || px >= (int32_t)bm->Width ||
          py >= (int32_t)bm->Height)
        return;
      int16_t& k = index[py - y + 28][px - x + 1];
      if (k < 0) {
        if (m->count == kMarkerPixelsMax) return;
        k = (int16_t)m->count++;
        m->pixels[k] = MarkerPixel{(int16_t)px, (int16_t)py, ScreenPixel(bm, px, py), 0};
      }
      pens[k] = (uint8_t)line_pen;
    };
  };
  // A line of one pixel in the marker's pen is lost on ground of a like
  // colour (pen 105 on grass): it runs between a dark line on its inner
  // side and a light one on its outer side, so one of the three stands out
  // on any ground.
  HexOutline(x, y, -1, line(kInnerPen));
  HexOutline(x, y, 1, line(kOuterPen));
  HexOutline(x, y, 0, line(pen));
  for (uint32_t i = 0; i < m->count; i++) {
    MarkerPixel& p = m->pixels[i];
    SetAPen(rp, pens[i]);
    WritePixel(rp, p.x, p.y);
    p.shown = ScreenPixel(bm, p.x, p.y);
  }
}

bool InView(const KartenScreenRecord* d) {
  const QoEMapInfo* m = d->map;
  return m && d->X_Pos >= 0 && d->Y_Pos >= 0 && d->X_Pos < (int32_t)m->Columns && d->Y_Pos < (int32_t)m->Rows;
}

// A masked picture (or a plain one) at (x, y) of the screen at its own size.
void Put(RastPort* rp, uint32_t id, int32_t x, int32_t y, bool masked) {
  BitMap* bm = UseElmorGfx(".\\Data\\Path", id);
  if (!bm) return;
  const uint32_t w = bm->Width, h = bm->Height;
  if (masked) BlitObjektMask(rp, id, 0, x, y, w, h);
  else BlitObjekt(rp, id, x, y, w, h);
  CloseElmorGfx(id);
}

void Redraw(KartenScreenRecord* d) {
  if (!d->map) return;
  LockMotion(d->Motion);
  SetPos(d->map, 0, 0);
  UnlockMotion(d->Motion);
}

}  // namespace

int32_t IsInMapAreaAt(uint32_t width, uint32_t height, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  if (width == 640) return x1 > 16 && y1 > 16 && x2 < 498 && y2 < 464;
  if (width < 600) return 0;
  const int32_t dw = (int32_t)width - 1024, dh = (int32_t)height - 768;
  // The map area and the four panels, drawn for 1024 x 768: the area's
  // corner stays; every other y moves with the height, the area's right
  // bound and the last two panels' x with the width.
  if (!(x1 > 16 && y1 > 16 && x2 < 1008 + dw && y2 < 752 + dh)) return 0;
  const int32_t panels[4][4] = {{0, 382 + dh, 60, 767 + dh},
                                {0, 586 + dh, 180, 767 + dh},
                                {222 + dw, 618 + dh, 1023 + dw, 767 + dh},
                                {654 + dw, 520 + dh, 1023 + dw, 767 + dh}};
  for (const auto& p : panels)
    if (x1 > p[0] && y1 > p[1] && x2 < p[2] && y2 < p[3]) return 0;
  return 1;
}

int32_t IsInMapArea(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  return IsInMapAreaAt(MapDisplayWidth(), MapDisplayHeight(), x1, y1, x2, y2);
}

uint16_t CheckFeldTyp(const KartenScreenRecord* d, int32_t column, int32_t row, uint16_t terrain_type,
                      int32_t own_only) {
  if (!d || !InView(d)) return 0;
  const MapTile* t = CMapCell(d->map, column, row);
  if (!t) return 0;
  const uint16_t g = t->Grafik;
  if (g == 0 || g == 23 || g == 28 || g == 29 || g >= 1616) return 0;
  if (terrain_type && GetTypeOfHex(g) != terrain_type) return 0;
  if (own_only && t->Besitzer != MapOwnPlayer()) return 0;
  return g;
}

bool RingWalk(int32_t column, int32_t row, int32_t n, bool (*test)(void*, int32_t, int32_t), void* user) {
  int32_t c = column, r = row - n;
  if (test(user, c, r)) return true;
  for (int32_t dir = 1; dir <= 6; dir++)
    for (int32_t k = 0; k < n; k++) {
      switch (dir) {
        case 1: c++; if (!(c & 1)) r++; break;
        case 2: r++; break;
        case 3: c--; if (!(c & 1)) r++; break;
        case 4: c--; if (c & 1) r--; break;
        case 5: r--; break;
        default: c++; if (c & 1) r--; break;
      }
      // The walk ends where it began: the start hex is not tested twice.
      if (dir == 6 && k == n - 1) break;
      if (test(user, c, r)) return true;
    }
  return false;
}

void PolyDrawRelative(RastPort* rp, uint32_t count, int32_t x, int32_t y, const int16_t (*steps)[2], int32_t clip_x1,
                      int32_t clip_y1, int32_t clip_x2, int32_t clip_y2) {
  if (!rp) return;
  auto plot = [&](int32_t px, int32_t py) {
    if (px >= clip_x1 && px <= clip_x2 && py >= clip_y1 && py <= clip_y2) WritePixel(rp, px, py);
  };
  for (uint32_t i = 0; i < count; i++) {
    const int32_t nx = x + steps[i][0], ny = y + steps[i][1];
    LinePixels(x, y, nx, ny, plot);
    x = nx;
    y = ny;
  }
}

void DrawHexMarker(KartenScreenRecord* d, int32_t column, int32_t row, uint32_t pen) {
  if (!d || !d->map) return;
  // Taking a marker away only puts back what it covered: it needs no
  // clicked hex in the view.
  const bool away = pen == kOverwritePen;
  if (!away && !InView(d)) return;
  if (MapOnScene(d->map)) {
    // The 3D view: the marked hex is the scene's selected cell; the grid's
    // pen takes the mark away.
    if (away) MapSceneMark(d->map, -1, -1);
    else MapSceneMark(d->map, column, row);
    return;
  }
  RastPort* rp = GetScreenRastPort(0);
  if (!rp || !rp->Bitmap || !rp->Bitmap->Pixels || (rp->Bitmap->Depth != 8 && rp->Bitmap->Depth != 32)) return;
  int32_t x, y, cx1, cy1, cx2, cy2;
  if (!Deep()) {
    x = 96 * (column / 2) + ((column & 1) ? 48 : 0);
    y = 56 * row + ((column & 1) ? 42 : 14);
    cx1 = 16, cy1 = 16, cx2 = 495, cy2 = 463;
  } else {
    if (column <= 0 || row <= 0 || column >= (int32_t)d->map->Columns || row >= (int32_t)d->map->Rows - 5) return;
    x = 96 * (column / 2) + ((column & 1) ? 32 : -16);
    y = 56 * row + ((column & 1) ? 26 : -2);
    cx1 = cy1 = 0, cx2 = (int32_t)MapDisplayWidth() - 1, cy2 = (int32_t)MapDisplayHeight() - 1;
  }
  // No map-object animation runs meanwhile: it writes back the screen it
  // took under its hex, markers and all.
  LockMotion(d->Motion);
  QoeMutex* mutex = DisplayMutex();
  if (mutex) ObtainMutex(mutex);
  MapMarkerState& s = MarkerState();
  ForgetWipedMarkers(s, rp->Bitmap);
  // A marker drawn again on its hex replaces the one there.
  if (SavedMarker* old = FindMarker(s, rp->Bitmap, x, y)) TakeMarkerAway(s, *old, rp->Bitmap);
  if (!away) PutMarker(s, rp, x, y, pen, cx1, cy1, cx2, cy2);
  if (mutex) ReleaseMutex(mutex);
  UnlockMotion(d->Motion);
  ShowScreenRect(rp, x - 1, y - 28, kMarkerBoxW, kMarkerBoxH);
}

void ResetMapMarkerState() {
  MapMarkerState& s = MarkerState();
  s.nextOrder = 1;
  for (SavedMarker& m : s.saved) m.order = 0;
}

void ClickFigurOnMap(KartenScreenRecord* d) {
  QoEMapInfo* map = d ? d->map : nullptr;
  if (!map) return;
  const MapScreenHooks& h = CurrentMapScreenHooks();
  const int32_t kx = d->X_Pos, ky = d->Y_Pos, mx = d->MarkedColumn, my = d->MarkedRow;
  const bool marked = mx != -1 && my != -1;
  if (marked && kx == mx && ky == my) {
    bool own = false;
    if (!d->FigureSelected) {
      MapFigur* f = GetActivePeople(map, WrapPos(map->X + kx, kWorldColumns), WrapPos(map->Y + ky, kWorldRows), 0);
      d->SelectedFigure = f;
      own = f && f->Besitzer == MapOwnPlayer() && InView(d);
      if (own) {
        if (h.PlayFigurSfx) h.PlayFigurSfx(d, 1);
        else MapScreenMissing("PlayFigurSfx");
        DrawHexMarker(d, kx, ky, 46);
        d->FigureSelected = 1;
        if (h.CheckPersonEventField) h.CheckPersonEventField(d);
        else MapScreenMissing("CheckPersonEventField");
        return;
      }
    }
    if (!d->TargetChosen && CheckFeldTyp(d, map->ViewColumn + kx, map->ViewRow + ky, 11, 1)) {
      DrawHexMarker(d, mx, my, 7);
      d->TargetChosen = 1;
      return;
    }
  }
  if (marked && (kx != mx || ky != my)) {
    d->FigureSelected = d->TargetChosen = 0;
    d->SelectedFigure = nullptr;
    if (IsHexKnown(map, (int16_t)mx, (uint16_t)my)) DrawHexMarker(d, mx, my, 6);
  }
  if (kx >= 0 && ky >= 0 && IsHexKnown(map, (int16_t)kx, (uint16_t)ky)) {
    d->FigureSelected = d->TargetChosen = 0;
    d->SelectedFigure = nullptr;
    DrawHexMarker(d, kx, ky, 105);
    d->MarkedColumn = (int16_t)kx;
    d->MarkedRow = (int16_t)ky;
  }
}

namespace {

// The map's flags change under the map lock: the 3D scene reads them.
void SetMapFlag(QoEMapInfo* map, uint16_t flag, uint32_t on) {
  const MapRecordLock hold;
  map->Flags = (uint16_t)(on ? map->Flags | flag : map->Flags & ~flag);
}

}  // namespace

void ToggleMapDisplay(KartenScreenRecord* d, uint32_t mode) {
  if (!d) return;
  const int32_t h = (int32_t)MapDisplayHeight();
  RastPort* rp = GetScreenRastPort(0);
  uint32_t on = 0;
  if (mode == 0) {
    on = d->ResourcesOverlay ^= 1;
    if (d->map) SetMapFlag(d->map, MAPF_BARS, on);
    Redraw(d);
    if (Deep()) Put(rp, on ? 1164 : 1165, 95, h - 178, true);
    else BlitObjekt(rp, on ? 145 : 143, 515, 315, 21, 19);
  } else if (mode == 1) {
    on = d->NamesOverlay ^= 1;
    if (on) ForgetMapInfoCache();  // the town names are read afresh
    if (Deep()) Put(rp, on ? 1162 : 1163, 124, h - 160, true);
    else BlitObjekt(rp, on ? 145 : 143, 515, 345, 21, 19);
  } else if (mode == 2) {
    on = d->BordersOverlay ^= 1;
    if (d->map) SetMapFlag(d->map, MAPF_BORDERS, on);
    CheckPrefs(PREFS_MAP_BORDERS, 1, on);
    Redraw(d);
    if (!Deep()) BlitObjekt(rp, on ? 145 : 143, 515, 375, 21, 19);
  }
}

void PrintMapPosition(KartenScreenRecord* d) {
  QoEMapInfo* map = d ? d->map : nullptr;
  if (!map) return;
  if (Deep()) {
    map->PosChanged = 0;
    return;
  }
  if (d->PanelMode == 1) {
    DrawMiniMap(map, d->Minimap, 0, 0);
    return;
  }
  if (!map->PosChanged) return;
  RastPort* rp = GetScreenRastPort(0);
  if (!rp) return;
  char x[16], y[16];
  std::snprintf(x, sizeof x, "%u", (uint32_t)map->X);
  std::snprintf(y, sizeof y, "%u", (uint32_t)map->Y);
  SetFont(rp, d->Fonts[MAPFONT_HELV13]);
  PrintTextOutlined(rp, 518, 37, 565, 51, x, 19, kMapFieldTextPen, 45);
  PrintTextOutlined(rp, 574, 37, 620, 51, y, 19, kMapFieldTextPen, 45);
  map->PosChanged = 0;
}

namespace {

// The markers of the clicked hex by the selection.
void Markers(KartenScreenRecord* d) {
  if (!InView(d)) return;
  if (d->FigureSelected) {
    // The selected figure's hex, wherever the view put it: the next click
    // takes this marker away.
    DrawHexMarker(d, d->X_Pos, d->Y_Pos, d->TargetChosen ? 7 : 46);
    d->MarkedColumn = d->X_Pos;
    d->MarkedRow = d->Y_Pos;
  } else if (!d->TargetChosen) {
    DrawHexMarker(d, d->X_Pos, d->Y_Pos, 105);
    d->MarkedColumn = d->X_Pos;
    d->MarkedRow = d->Y_Pos;
  }
}

void CallInfoBox(KartenScreenRecord* d) {
  const MapScreenHooks& h = CurrentMapScreenHooks();
  if (h.UpdateInfoBox) h.UpdateInfoBox(d);
  else MapScreenMissing("UpdateInfoBox");
}

void CallFigurRequester(KartenScreenRecord* d) {
  const MapScreenHooks& h = CurrentMapScreenHooks();
  char id[5] = {'B', 'U', 'T', (char)('1' + (d->ListTab < 5 ? d->ListTab : 0)), 0};
  if (h.UpdateFigurRequester) h.UpdateFigurRequester(d, id);
  else MapScreenMissing("UpdateFigurRequester");
}

// The frame of the deeper displays: corners, rails, ornaments.
void Frame(RastPort* rp, int32_t w, int32_t h) {
  for (int32_t i = 0; i < (w - 64) / 256; i++) {
    Put(rp, 1148, 256 * i + 32, 0, false);
    Put(rp, 1148, 256 * i + 32, h - 16, false);
  }
  Put(rp, 1148, w - 288, 0, false);
  Put(rp, 1148, w - 288, h - 16, false);
  for (int32_t i = 0; i < (h - 64) / 256; i++) {
    Put(rp, 1149, 0, 256 * i + 32, false);
    Put(rp, 1149, w - 16, 256 * i + 32, false);
  }
  Put(rp, 1149, 0, h - 288, false);
  Put(rp, 1149, w - 16, h - 288, false);
  Put(rp, 1144, 0, 0, true);
  Put(rp, 1145, w - 32, 0, true);
  Put(rp, 1146, 0, h - 32, true);
  Put(rp, 1147, w - 32, h - 32, true);
}

void DeepPanels(KartenScreenRecord* d, RastPort* rp, int32_t w, int32_t h) {
  const bool shown = d->Status >= MAPSCREEN_SHOWN;
  // The bottom panel goes first: on a display narrower than 981 pixels
  // (800 x 600) it reaches under the left panel, whose compass, minimap
  // and arrows are drawn over it.
  if (shown) {
    Put(rp, 1150, w - 164, h - 178, false);
    Put(rp, 1167, w - 800, h - 247, true);
  }
  Put(rp, 1614, 0, 0, true);
  Put(rp, 1615, w - 256, 0, true);
  Put(rp, 1143, 3, h - 385, true);
  Put(rp, d->BordersOverlay ? 1160 : 1161, 144, h - 132, true);
  Put(rp, d->NamesOverlay ? 1162 : 1163, 124, h - 160, true);
  Put(rp, d->ResourcesOverlay ? 1164 : 1165, 95, h - 178, true);
  static const int16_t kLeft[6][2] = {{1168, 382}, {1170, 259}, {1172, 300}, {1174, 341}, {1176, 218}, {1178, 177}};
  for (const auto& l : kLeft) Put(rp, (uint32_t)l[0], 10, h - l[1], false);
  QoEMapInfo* map = d->map;
  if (!shown) {
    Put(rp, 1151, w - 164, h - 152, false);
    if (InView(d)) {
      const MapTile* t = CMapCell(map, map->ViewColumn + d->X_Pos, map->ViewRow + d->Y_Pos);
      uint16_t g = t ? t->Grafik : 0;
      if (g == 0 || g == 0xFFFF || g >= 100) g = 7;
      const uint16_t tile = TileTable[g][d->Quarter & 3];
      if (tile) Put(rp, tile, w - 116, h - 110, false);
    }
  } else {
    CallInfoBox(d);
    Markers(d);
    CallFigurRequester(d);
    char x[16], y[16];
    std::snprintf(x, sizeof x, "%u", (uint32_t)map->X);
    std::snprintf(y, sizeof y, "%u", (uint32_t)map->Y);
    SetFont(rp, d->Fonts[MAPFONT_HELV13]);
    PrintTextOutlined(rp, w - 135, h - 173, w - 86, h - 154, x, 19, kMapFieldTextPen, 45);
    PrintTextOutlined(rp, w - 80, h - 173, w - 31, h - 154, y, 19, kMapFieldTextPen, 45);
    ShowScreenRect(rp, w - 135, h - 173, 105, 20);
  }
  // The arrow held down shows pressed.
  const Gadget* g = d->Layout ? d->Layout->pressed : nullptr;
  if (g) {
    if (GadgetIs(g, "UPGO")) Put(rp, 1153, 73, h - 157, true);
    else if (GadgetIs(g, "RIGH")) Put(rp, 1155, 132, h - 86, true);
    else if (GadgetIs(g, "DOWN")) Put(rp, 1157, 73, h - 23, true);
    else if (GadgetIs(g, "LEFT")) Put(rp, 1159, 0, h - 86, true);
  }
  if (d->Minimap) DrawMiniMap(map, d->Minimap, 0, 0);
  if (!shown) {
    // The frame of the other screens' 640 x 480 area (the kit's pictures
    // share one palette: none to load for it).
    Put(rp, 1142, (w - 700) / 2, (h - 538) / 2 - 30, true);
    // Over the 3D view the area stays transparent: the landscape lies
    // beneath the other screen.
    if (!MapOnScene(map)) {
      SetAPen(rp, 0);
      const int32_t ax = (w - 640) / 2, ay = (h - 480) / 2 - 30;
      RectFill(rp, ax, ay, ax + 639, ay + 479);
    }
  }
}

}  // namespace

void KartenScreenRefresh(QoEMapInfo* map) {
  KartenScreenRecord* d = KartenScreenData;
  if (!map || d->map != map) return;
  if (d->SelectedFigure) {
    d->X_Pos = (int16_t)WrapPos((int32_t)d->SelectedFigure->X - map->X, kWorldColumns);
    d->Y_Pos = (int16_t)WrapPos((int32_t)d->SelectedFigure->Y - map->Y, kWorldRows);
    if (InView(d)) d->FigureSelected = 1;
  }
  RastPort* rp = GetScreenRastPort(0);
  if (!rp) return;
  const MapScreenHooks& h = CurrentMapScreenHooks();
  if (d->ResourcesOverlay) {
    if (h.PrintArbeiterAnzahl) h.PrintArbeiterAnzahl(d, 0);
    else MapScreenMissing("PrintArbeiterAnzahl");
  }
  if (d->NamesOverlay) {
    if (h.PrintMapNames) h.PrintMapNames(d, 0);
    else MapScreenMissing("PrintMapNames");
  }
  if (!Deep()) {
    CallInfoBox(d);
    PrintMapPosition(d);
    Markers(d);
    if (d->ListRequester || d->PanelMode == 1) CallFigurRequester(d);
    return;
  }
  const int32_t w = (int32_t)MapDisplayWidth(), hh = (int32_t)MapDisplayHeight();
  Frame(rp, w, hh);
  DeepPanels(d, rp, w, hh);
}

void FillMapDisplayHooks(MapScreenHooks* hooks) {
  if (!hooks) return;
  hooks->ClickFigurOnMap = ClickFigurOnMap;
  hooks->AfterDraw = KartenScreenRefresh;
  hooks->IsInMapArea = IsInMapArea;
  hooks->ToggleMapDisplay = ToggleMapDisplay;
}
