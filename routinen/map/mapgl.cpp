// The map screen's display bitmap in OpenGL mode, and the switch between
// game-area and display coordinates (docs/map-screen.md, "OpenGL").
#include "mapgl.h"

#include <atomic>

#include "platform/display.h"
#include "platform/log.h"
#include "routinen/system/graphics.h"
#include "routinen/system/sysrecords.h"

namespace {

// The module's state: game thread, except the hooks (filled by the 3D
// engine on the window thread before the game thread starts).
struct MapGLState {
  std::atomic<ObjektListEntry* (*)(BitMap*, RastPort*)> add{nullptr};
  std::atomic<void (*)(ObjektListEntry*)> remove{nullptr};
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
  if (!hooks) GL().entry = nullptr;  // the engine freed its entries
}

void MapDrawAtDisplay(uint32_t on) {
  MapGLState& s = GL();
  DisplayRecord* d = QoESystemPtr->Display;
  if (on && GLDeep() && d && !s.saved && ReadyBitMap()) {
    s.saved = d->ScreenRastPort;
    d->ScreenRastPort = &s.rp;
  } else if (!on && s.saved) {
    if (d) d->ScreenRastPort = s.saved;
    s.saved = nullptr;
  }
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
