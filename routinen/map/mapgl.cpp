// The map screen's display bitmap in OpenGL mode, and the switch between
// game-area and display coordinates (docs/map-screen.md, "OpenGL").
#include "mapgl.h"

#include <atomic>
#include <cstring>

#include "map.h"
#include "platform/display.h"
#include "platform/log.h"
#include "platform/threads.h"
#include "routinen/system/graphics.h"
#include "routinen/system/sysrecords.h"

namespace {

// The module's state: game thread, except the hooks (filled by the 3D
// engine on the window thread before the game thread starts).
struct MapGLState {
  std::atomic<ObjektListEntry* (*)(BitMap*, RastPort*)> add{nullptr};
  std::atomic<void (*)(ObjektListEntry*)> remove{nullptr};
  std::atomic<uint32_t (*)(uint16_t*, uint16_t*)> sceneReady{nullptr};
  std::atomic<int32_t (*)(int32_t, int32_t, int32_t*, int32_t*)> pick{nullptr};
  std::atomic<int32_t (*)(int32_t, int32_t, int32_t*, int32_t*)> cellPixel{nullptr};
  std::atomic<void (*)(int32_t, int32_t)> mark{nullptr};
  BitMap* bitmap = nullptr;   // display-sized, the GL screen's format
  RastPort rp{};              // over bitmap
  ObjektListEntry* entry = nullptr;
  RastPort* saved = nullptr;  // the screen's RastPort while rp stands in for it
  uint32_t atDisplay = 0;
};

MapGLState& GL() {
  static MapGLState s;
  return s;
}

bool GLDeep() { return DisplayRenderer() == 1 && DisplayDepth() > 8; }

// The bitmap and its entry, made on first use.
bool ReadyBitMap() {
  MapGLState& s = GL();
  if (!s.bitmap) {
    s.bitmap = AllocBitMap(DisplayWidth(), DisplayHeight(), 32, BMF_RGBA, nullptr);
    if (!s.bitmap) {
      DebugLog("KartenScreen: Kein Speicher fuer das Kartenbild der OpenGL-Darstellung.\n");
      return false;
    }
    InitRastPort(&s.rp);
    s.rp.Bitmap = s.bitmap;
  }
  if (!s.entry) {
    auto add = s.add.load();
    if (add) s.entry = add(s.bitmap, &s.rp);
    if (!s.entry) DebugLog("KartenScreen: Konnte das Kartenbild nicht in die 3D-Objektliste stellen.\n");
  }
  return true;
}

}  // namespace

void SetMapGLHooks(const MapGLHooks* hooks) {
  GL().add.store(hooks ? hooks->AddMapObjekt : nullptr);
  GL().remove.store(hooks ? hooks->RemoveMapObjekt : nullptr);
  GL().sceneReady.store(hooks ? hooks->SceneReady : nullptr);
  GL().pick.store(hooks ? hooks->PickCell : nullptr);
  GL().cellPixel.store(hooks ? hooks->CellPixel : nullptr);
  GL().mark.store(hooks ? hooks->MarkCell : nullptr);
  if (!hooks) GL().entry = nullptr;  // the engine freed its entries
}

void MapDrawAtDisplay(uint32_t on) {
  MapGLState& s = GL();
  DisplayRecord* d = QoESystemPtr->Display;
  // The movie threads fetch the screen's RastPort under the display mutex
  // for every frame they copy: it is swapped under the same mutex.
  const bool stand_in = on && GLDeep() && d && !s.saved && ReadyBitMap();
  QoeMutex* m = stand_in || (!on && s.saved) ? DisplayMutex() : nullptr;
  if (m) ObtainMutex(m);
  if (stand_in) {
    s.saved = d->ScreenRastPort;
    d->ScreenRastPort = &s.rp;
  } else if (!on && s.saved) {
    if (d) d->ScreenRastPort = s.saved;
    s.saved = nullptr;
  }
  if (m) ReleaseMutex(m);
  s.atDisplay = on ? 1 : 0;
  SetDisplayGameAreaAtCorner(on);
}

uint32_t MapDrawsAtDisplay() { return GL().atDisplay; }

void FreeMapDisplayBitMap() {
  MapGLState& s = GL();
  if (s.atDisplay) MapDrawAtDisplay(0);
  if (s.entry)
    if (auto remove = s.remove.load()) remove(s.entry);
  s.entry = nullptr;
  if (s.bitmap) FreeBitMap(s.bitmap);
  s.bitmap = nullptr;
  s.rp.Bitmap = nullptr;
}

uint32_t MapSceneView(uint16_t* columns, uint16_t* rows) {
  if (!GLDeep()) return 0;
  auto ready = GL().sceneReady.load();
  uint16_t c = 0, r = 0;
  if (!ready || !ready(&c, &r) || c == 0 || r == 0) return 0;
  if (columns) *columns = c;
  if (rows) *rows = r;
  return 1;
}

uint32_t MapOnScene(const QoEMapInfo* map) { return map && !map->Bitmap && MapSceneView(nullptr, nullptr) ? 1 : 0; }

int32_t MapSceneHexAt(const QoEMapInfo* map, int32_t x, int32_t y, int16_t* column, int16_t* row) {
  auto pick = GL().pick.load();
  int32_t c = 0, r = 0;
  if (!map || !pick || !pick(x, y, &c, &r)) return 0;
  // The pick names the cell in the window of map parts, as the last frame
  // saw the view; a cell the view has left since is none.
  c -= map->ViewColumn;
  r -= map->ViewRow;
  if (c < 0 || r < 0 || c >= map->Columns || r >= map->Rows) return 0;
  if (column) *column = int16_t(c);
  if (row) *row = int16_t(r);
  return 1;
}

int32_t MapSceneHexPixel(const QoEMapInfo* map, int32_t column, int32_t row, int32_t* x, int32_t* y) {
  auto place = GL().cellPixel.load();
  if (!map || !place) return 0;
  return place(map->ViewColumn + column, map->ViewRow + row, x, y);
}

void MapSceneMark(const QoEMapInfo* map, int32_t column, int32_t row) {
  auto mark = GL().mark.load();
  if (!mark || !map) return;
  if (column < 0 || row < 0) mark(-1, -1);
  else mark(map->ViewColumn + column, map->ViewRow + row);
}

void MapSceneClearView() {
  MapGLState& s = GL();
  if (!s.saved || !s.bitmap) return;
  // Fully transparent: the landscape shows wherever nothing is drawn.
  QoeMutex* m = DisplayMutex();
  if (m) ObtainMutex(m);
  for (uint32_t y = 0; y < s.bitmap->Height; y++)
    std::memset(s.bitmap->Pixels + size_t(y) * s.bitmap->BytesPerRow, 0, size_t(s.bitmap->Width) * 4);
  if (m) ReleaseMutex(m);
}
