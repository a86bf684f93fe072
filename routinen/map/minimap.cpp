// The minimap: 41 x 31 hexes round the view, each a 12-pixel blob in the
// pen of its terrain type, drawn straight into the screen where the player
// knows the hex; on deeper displays shaped by graphic 1166.
#include <cstring>
#include <new>

#include "map_internal.h"
#include "platform/display.h"
#include "platform/log.h"
#include "platform/threads.h"
#include "routinen/gui/pictures.h"
#include "routinen/system/graphics.h"
#include "routinen/system/memory.h"

namespace {

constexpr uint32_t kMiniMapMaskId = 1166;
constexpr int kBlob[12][2] = {{1, 0}, {2, 0}, {0, 1}, {1, 1}, {2, 1}, {3, 1},
                              {0, 2}, {1, 2}, {2, 2}, {3, 2}, {1, 3}, {2, 3}};
// Pen of each terrain type (0: not drawn).
constexpr uint8_t kTerrainPen[12] = {0, 15, 1, 3, 68, 76, 76, 136, 167, 7, 40, 105};

// The minimap rectangle of the list: entry 2 at depth 8, else entry 5.
const uint16_t* MiniMapRect(const uint16_t* rectangles) {
  return rectangles + (MapDisplayDepth() == 8 ? 2 : 5) * 4;
}

// 1 when graphic 1166 (in its own size and format) lets pixel (x, y) of the
// minimap rectangle through; a pixel outside the graphic is refused. A
// graphic without a mask lets through what is not its colour key (black).
bool MaskLets(const BitMap* gfx, const uint8_t* mask, int32_t x, int32_t y) {
  if (x < 0 || y < 0 || x >= (int32_t)gfx->Width || y >= (int32_t)gfx->Height) return false;
  if (mask) return mask[(size_t)y * gfx->Width + x] != 0;
  const uint8_t* p = gfx->Pixels + (size_t)y * gfx->BytesPerRow;
  if (gfx->Depth == 8) return p[x] != 0;
  p += (size_t)x * 4;  // 0x00RRGGBB or R, G, B, A: the colour is in the first three bytes
  return (p[0] | p[1] | p[2]) != 0;
}

}  // namespace

namespace {

// What one draw needs: the screen, the rectangles, the depth, graphic 1166
// and the screen pixel of each terrain type's pen.
struct Plotter {
  BitMap* screen;
  const uint16_t* rects;
  const uint16_t* area;
  bool deep;
  const BitMap* gfx = nullptr;
  const uint8_t* mask = nullptr;
  uint32_t pixel[12] = {};

  Plotter(BitMap* s, const uint16_t* r) : screen(s), rects(r), area(MiniMapRect(r)), deep(MapDisplayDepth() != 8) {
    // Graphic 1166 shapes the map when someone has it loaded; held open
    // while this draw plots.
    if (deep && (gfx = UseElmorGfx(nullptr, kMiniMapMaskId)) != nullptr) mask = GetElmorGfxMask(kMiniMapMaskId);
    if (screen->Depth == 8) {
      for (int t = 0; t < 12; t++) pixel[t] = kTerrainPen[t];
    } else {
      ConvertRGBToFormat(BitMapPixelFormat(screen), kTerrainPen, pixel, 12);
    }
  }
  ~Plotter() {
    if (gfx) CloseElmorGfx(kMiniMapMaskId);
  }
  Plotter(const Plotter&) = delete;
  Plotter& operator=(const Plotter&) = delete;

  void Plot(int32_t column, int32_t row, uint16_t type) const {
    if (type >= 12 || kTerrainPen[type] == 0) return;
    int32_t x, y;
    if (deep) {
      const uint16_t* r5 = rects + 5 * 4;
      x = r5[0] + 3 * column + 3;
      y = r5[1] + 4 * row + ((column & 1) ? 5 : 3);
    } else {
      x = 3 * column + 508;
      y = 4 * row + ((column & 1) ? 16 : 14);
    }
    const int32_t bpp = screen->Depth == 8 ? 1 : 4;
    for (const auto& b : kBlob) {
      int32_t px = x + b[0], py = y + b[1];
      if (px < area[0] || px > area[2] || py < area[1] || py > area[3]) continue;
      if (px < 0 || py < 0 || px >= (int32_t)screen->Width || py >= (int32_t)screen->Height) continue;
      if (gfx && !MaskLets(gfx, mask, px - area[0], py - area[1])) continue;
      uint8_t* p = screen->Pixels + (size_t)py * screen->BytesPerRow + (size_t)px * bpp;
      if (bpp == 1)
        *p = (uint8_t)pixel[type];
      else
        std::memcpy(p, &pixel[type], 4);
    }
  }
};

}  // namespace

int32_t PlotMiniMapCell(BitMap* screen, const uint16_t* rectangles, int32_t column, int32_t row, uint16_t type) {
  if (!screen || !screen->Pixels || !rectangles) return 1;
  Plotter(screen, rectangles).Plot(column, row, type);
  return 1;
}

MiniMap* InitMiniMap(const uint16_t* rectangles) {
  MiniMap* mm = static_cast<MiniMap*>(AllocVec(sizeof(MiniMap), MEMF_CLEAR));
  if (!mm || !rectangles) {
    DebugLog("InitMiniMap: Fehler beim allokieren des Arrays.\n");
    FreeVec(mm);
    return nullptr;
  }
  const uint16_t* r = MiniMapRect(rectangles);
  mm->Width = (uint16_t)(((int32_t)r[2] - r[0] + 15) & ~15);
  mm->Height = (uint16_t)(r[3] - r[1] + 1);
  mm->Rectangles = rectangles;
  mm->Array = static_cast<uint8_t*>(AllocVec((uint32_t)mm->Width * mm->Height, MEMF_CLEAR));
  if (!mm->Array) {
    DebugLog("InitMiniMap: Fehler beim allokieren des Arrays.\n");
    FreeVec(mm);
    return nullptr;
  }
  mm->Rp = static_cast<RastPort*>(AllocVec(sizeof(RastPort), MEMF_CLEAR));
  if (!mm->Rp) {
    DebugLog("InitMiniMap: Fehler beim allokieren des RastPorts\n");
    return mm;
  }
  mm->Bitmap = AllocBitMap(mm->Width, mm->Height, 8, 0, nullptr);
  if (!mm->Bitmap) DebugLog("InitMiniMap: Fehler beim allokieren der Bitmap\n");
  return mm;
}

void DrawMiniMap(QoEMapInfo* map, MiniMap* minimap, uint16_t dx, uint16_t dy) {
  if (!map || !minimap || !minimap->Rectangles) return;
  RastPort* rp = ScreenRastPort();
  if (!rp || !rp->Bitmap || !rp->Bitmap->Pixels) return;
  BitMap* screen = rp->Bitmap;
  const uint16_t* rects = minimap->Rectangles;
  const bool deep = MapDisplayDepth() != 8;
  const uint16_t* area = MiniMapRect(rects);
  // The plotter opens graphic 1166 before the display mutex is taken (the
  // picture manager's lock comes first).
  const Plotter plotter(screen, rects);
  QoeMutex* display = DisplayMutex();
  if (display) ObtainMutex(display);
  if (!deep) {
    // Clear rectangle 2 with pen 0 (clipped to the screen).
    for (int32_t y = area[1]; y <= area[3] && y < (int32_t)screen->Height; y++)
      for (int32_t x = area[0]; x <= area[2] && x < (int32_t)screen->Width; x++)
        screen->Pixels[(size_t)y * screen->BytesPerRow + x] = 0;
  }
  const int32_t base_c = map->ViewColumn + (map->Columns / 4) * 2 - (int16_t)dx - 20;
  const int32_t base_r = map->ViewRow + map->Rows / 2 - (int16_t)dy - 15;
  for (int32_t r = 0; r <= 30; r++)
    for (int32_t c = 0; c <= 40; c++) {
      const int32_t wc = base_c + c, wr = base_r + r;
      // Only cells of the window that the player knows (none outside it).
      const MapTile* cell = CMapCell(map, wc, wr);
      if (!cell || !BitMapTest(map->BMap, wc, wr)) continue;
      plotter.Plot(c, r, GetTypeOfHex(cell->Grafik));
    }
  ShowScreenRect(rp, area[0], area[1], area[2] - area[0] + 1, area[3] - area[1] + 1);
  if (display) ReleaseMutex(display);
}

void FreeMiniMap(MiniMap* minimap) {
  if (!minimap) return;
  FreeBitMap(minimap->Bitmap);
  FreeVec(minimap->Rp);
  FreeVec(minimap->Array);
  FreeVec(minimap);
}
