// The map screen's side panel lists (armies, ships, settlers and caravans,
// scouts, specialists) with the jump to a listed figure, the minimap click,
// the 8-bit switch between info box and lists, and the naming of places.
#include <atomic>
#include <cstdio>
#include <cstring>

#include "figurmenu.h"
#include "map_internal.h"
#include "mapdisplay.h"
#include "mapinfo.h"
#include "platform/log.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gui/boxes.h"
#include "routinen/gui/layout.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/requester.h"
#include "routinen/system/catalog.h"
#include "routinen/system/graphics.h"
#include "routinen/system/input.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"
#include "routinen/system/prefs.h"

namespace {

constexpr uint32_t kLineBytes = 80;
constexpr uint16_t kNoTab = 0xFFFF;

// The lines the list requester shows (the record keeps the buffer).
struct FigurListState {
  uint32_t lineCount = 0;
};
FigurListState& L() {
  static FigurListState s;
  return s;
}

bool Deep() { return MapDisplayDepth() > 8; }

const char* Str(uint32_t id) {
  const char* s = GetCatalogStr(id);
  return s ? s : "";
}

// The player's figure with that number (and, for a type test, one of those
// types), null none.
MapFigur* OwnFigure(const QoEMapInfo* map, uint32_t number) {
  if (!map || !map->Figures) return nullptr;
  for (uint32_t i = 0, n = MapFigurCount(map->Figures); i < n; i++) {
    MapFigur* f = MapFigurAt(map->Figures, i);
    if (f->Besitzer == MapOwnPlayer() && f->Nummer == number) return f;
  }
  return nullptr;
}

bool TabType(uint32_t tab, uint16_t type) {
  if (tab == 2) return type == 10 || type == 20;
  if (tab == 3) return type == 0;
  return false;
}

// The k-th own figure of the tab's types in the figure list.
MapFigur* OwnFigureOfTab(const QoEMapInfo* map, uint32_t tab, uint32_t k) {
  if (!map || !map->Figures) return nullptr;
  for (uint32_t i = 0, n = MapFigurCount(map->Figures); i < n; i++) {
    MapFigur* f = MapFigurAt(map->Figures, i);
    if (f->Besitzer != MapOwnPlayer() || !TabType(tab, f->Typ)) continue;
    if (k-- == 0) return f;
  }
  return nullptr;
}

ListNode* NodeAt(const ListHeader* list, uint32_t k) {
  if (!list) return nullptr;
  uint32_t i = 0;
  for (ListNode* n = list->first; n && i < list->count; n = n->next, ++i)
    if (i == k) return n;
  return nullptr;
}

// The k-th hired specialist (kind 5) of the specialist list.
const SpezialistEintrag* HiredSpecialist(const ListHeader* list, uint32_t k) {
  if (!list) return nullptr;
  uint32_t i = 0;
  for (ListNode* n = list->first; n && i < list->count; n = n->next, ++i) {
    const auto* s = reinterpret_cast<const SpezialistEintrag*>(n);
    if (s->state == 5 && k-- == 0) return s;
  }
  return nullptr;
}

uint32_t HiredCount(const ListHeader* list) {
  uint32_t n = 0;
  while (HiredSpecialist(list, n)) n++;
  return n;
}

uint32_t EntryCount(const KartenScreenRecord* d, uint32_t tab) {
  switch (tab) {
    case 0: return d->Armies ? d->Armies->count : 0;
    case 1: return d->Ships ? d->Ships->count : 0;
    case 2:
    case 3: {
      uint32_t n = 0;
      while (OwnFigureOfTab(d->map, tab, n)) n++;
      return n;
    }
    case 4: return HiredCount(d->Specialists);
    default: return 0;
  }
}

const char* ShipName(const KartenScreenRecord* d, const MapFigur* f) {
  const char* name = MapShipName(d, f);
  if (name) return name;
  return f->Typ >= 14 && f->Typ <= 19 ? Str(867u + f->Typ - 14u) : "";
}

void PutLines(char* at, const char* name, const MapFigur* f, const Schiffseintrag* ship) {
  // Names are cut so that the line keeps its 79 characters.
  std::snprintf(at, kLineBytes, "%.70s [%dP]", name, (int)(int8_t)f->Punkte);
  if (ship)
    std::snprintf(at + kLineBytes, kLineBytes, "...->(%u/%u) [%u/%u]", f->X, f->Y, ship->damage, ship->ship_class);
  else
    std::snprintf(at + kLineBytes, kLineBytes, "...->(%u/%u)", f->X, f->Y);
}

void Scroll(KartenScreenRecord* d, int32_t dx, int32_t dy) {
  if (!d->map) return;
  LockMotion(d->Motion);
  SetPos(d->map, dx, dy);
  UnlockMotion(d->Motion);
}

// The list box's and its slider's rectangles of the active layout.
bool ListRects(const KartenScreenRecord* d, LayoutRect* box, LayoutRect* slider) {
  const uint32_t first = Deep() ? 6 : 0;
  return GetLayoutRect(d->Layout, first, box) && GetLayoutRect(d->Layout, first + 1, slider);
}

void TabImage(KartenScreenRecord* d, uint32_t tab, bool pressed) {
  if (tab > 4 || !d->Layout) return;
  const Gadget* g = GetRegionGadget(d->Layout, (Deep() ? 13 : 7) + tab);
  if (!g) return;
  RastPort* rp = ScreenRastPort();
  const uint32_t id = 866 + 2 * tab + (pressed ? 1 : 0);
  BlitObjekt(rp, id, g->x1 + d->Layout->offsetX, g->y1 + d->Layout->offsetY, 0, 0);
  ShowScreenRect(rp, g->x1 + d->Layout->offsetX, g->y1 + d->Layout->offsetY, g->x2 - g->x1 + 1, g->y2 - g->y1 + 1);
}

// Every tab released, the current one pressed (the panels under them are
// drawn without tabs).
void TabImages(KartenScreenRecord* d) {
  for (uint32_t i = 0; i < 5; i++) TabImage(d, i, i == d->ListTab);
}

// A click on the minimap scrolls by its distance from the centre; on
// deeper displays only inside the window's shape.
void MiniMapClick(KartenScreenRecord* d) {
  const ScreenRegion* r = Deep() ? d->Layout : d->MenuLayout;
  const uint32_t v = Deep() ? 20 : 8;
  const int32_t x1 = LayoutValue(r, v), y1 = LayoutValue(r, v + 1);
  const int32_t x2 = LayoutValue(r, v + 2), y2 = LayoutValue(r, v + 3);
  const int32_t mx = GetMouseX(), my = GetMouseY();
  if (Deep()) {
    BitMap* shape = UseElmorGfx(".\\Data\\Path", 1166);
    bool inside = false;
    if (shape) {
      const uint8_t* mask = GetElmorGfxMask(1166);
      const int32_t sx = mx - x1, sy = my - y1;
      if (mask && sx >= 0 && sy >= 0 && sx < (int32_t)shape->Width && sy < (int32_t)shape->Height)
        inside = mask[(size_t)sy * shape->Width + (size_t)sx] != 0;
      CloseElmorGfx(1166);
    }
    if (!inside) return;
  }
  int32_t dx, dy;
  MiniMapScroll(mx, my, x1, y1, x2, y2, &dx, &dy);
  Scroll(d, dx, dy);
}

}  // namespace

const char* FigurListFirstTab(const KartenScreenRecord* d) {
  if (d->Armies && d->Armies->count) return "BUT1";
  if (d->Ships && d->Ships->count) return "BUT2";
  return "BUT4";
}

void MiniMapScroll(int32_t mx, int32_t my, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t* dx,
                   int32_t* dy) {
  const int32_t cx = x1 + (x2 - x1) / 2, cy = y1 + (y2 - y1) / 2;
  *dx = ((mx - cx) / 3) >> 1;
  *dy = (my - cy) >> 2;
}

void FigurListLines(const KartenScreenRecord* d, uint32_t tab, std::vector<char>* lines) {
  const uint32_t n = EntryCount(d, tab);
  lines->assign((size_t)n * 2 * kLineBytes, 0);
  for (uint32_t k = 0; k < n; k++) {
    char* at = lines->data() + (size_t)k * 2 * kLineBytes;
    switch (tab) {
      case 0: {
        const auto* a = reinterpret_cast<const Army*>(NodeAt(d->Armies, k));
        const MapFigur* f = a ? OwnFigure(d->map, a->ArmeeID) : nullptr;
        if (!f) break;
        char name[sizeof a->ArmyName + 1] = {};
        std::memcpy(name, a->ArmyName, sizeof a->ArmyName);
        PutLines(at, name, f, nullptr);
        break;
      }
      case 1: {
        const auto* s = reinterpret_cast<const Schiffseintrag*>(NodeAt(d->Ships, k));
        const MapFigur* f = s ? OwnFigure(d->map, s->ship_id) : nullptr;
        if (f) PutLines(at, ShipName(d, f), f, s);
        break;
      }
      case 2:
      case 3: {
        const MapFigur* f = OwnFigureOfTab(d->map, tab, k);
        if (f) PutLines(at, Str(f->Typ == 0 ? 691 : f->Typ == 10 ? 1106 : 1541), f, nullptr);
        break;
      }
      default: {
        const SpezialistEintrag* s = HiredSpecialist(d->Specialists, k);
        const MapFigur* f = s ? OwnFigure(d->map, s->figure) : nullptr;
        if (!f) break;
        char name[18] = {};
        std::snprintf(name, sizeof name, "%.17s", s->name);
        PutLines(at, name, f, nullptr);
        break;
      }
    }
  }
}

MapFigur* FigurOfListEntry(const KartenScreenRecord* d, uint32_t tab, uint32_t k) {
  switch (tab) {
    case 0: {
      const auto* a = reinterpret_cast<const Army*>(NodeAt(d->Armies, k));
      return a ? OwnFigure(d->map, a->ArmeeID) : nullptr;
    }
    case 1: {
      const auto* s = reinterpret_cast<const Schiffseintrag*>(NodeAt(d->Ships, k));
      return s ? OwnFigure(d->map, s->ship_id) : nullptr;
    }
    case 2:
    case 3: return OwnFigureOfTab(d->map, tab, k);
    case 4: {
      const SpezialistEintrag* s = HiredSpecialist(d->Specialists, k);
      return s ? OwnFigure(d->map, s->figure) : nullptr;
    }
    default: return nullptr;
  }
}

int32_t UpdateFigurRequester(KartenScreenRecord* d, const char* gadget) {
  if (!d || !gadget) return 1;
  char id[5] = {};
  std::memcpy(id, gadget, 4);
  if (d->ListTab == kNoTab) std::memcpy(id, FigurListFirstTab(d), 4);
  if (CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0) != ACCOUNT_INSTALLED) return 1;
  if (std::memcmp(id, "MAP1", 4) == 0) {
    MiniMapClick(d);
    return 1;
  }
  if (std::memcmp(id, "BUT", 3) != 0 || id[3] < '1' || id[3] > '5') return 1;
  const uint32_t tab = (uint32_t)(id[3] - '1');
  std::vector<char> lines;
  FigurListLines(d, tab, &lines);
  const uint32_t count = (uint32_t)(lines.size() / kLineBytes);
  char* buffer = nullptr;
  if (count) {
    buffer = static_cast<char*>(AllocVec((uint32_t)lines.size(), MEMF_CLEAR));
    if (!buffer) {
      static const char* const kWhat[5] = {"ArmyListBuffer", "ShipListBuffer", "FigurListBuffer",
                                           "KundschafterListBuffer", "SpezListBuffer"};
      DebugLog("UpdateFigurRequester: Konnte %s nicht allokieren...\n", kWhat[tab]);
      return 0;
    }
    std::memcpy(buffer, lines.data(), lines.size());
  }
  LayoutRect box{}, slider{};
  const bool rects = ListRects(d, &box, &slider);
  RastPort* rp = ScreenRastPort();
  if (!count) {
    // An empty tab clears the list area and keeps the tab shown before.
    FreeRequesterBox(d->ListRequester);
    d->ListRequester = nullptr;
    if (rects && rp) {
      SetAPen(rp, 6);
      RectFill(rp, box.x1, box.y1, box.x2, box.y2);
      SetAPen(rp, 22);
      RectFill(rp, slider.x1, slider.y1, slider.x2, slider.y2);
      ShowScreenRect(rp, box.x1, box.y1, slider.x2 - box.x1 + 1, box.y2 - box.y1 + 1);
    }
    TabImages(d);
    return 1;
  }
  d->ListTab = (uint16_t)tab;
  TabImages(d);
  FreeVec(d->ListLines);
  d->ListLines = buffer;
  L().lineCount = count;
  if (!d->ListRequester) {
    if (!rects) return 1;
    const uint32_t w = box.x2 - box.x1 + 1u, h = box.y2 - box.y1 + 1u;
    d->ListRequester = InitRequesterBox(w, count, d->Fonts[MAPFONT_HELV9], d->ListLines, box.x1, box.y1, w, h, 6, 78);
    if (!d->ListRequester) {
      DebugLog("SwitchGUI : Konnte Requester nicht initalisieren!\n");
      return 1;
    }
    if (!InitSlider(d->ListRequester, slider.x2 - slider.x1 + 1u, slider.y2 - slider.y1 + 1u, 26, 22, 25, 24,
                    slider.x1, slider.y1))
      DebugLog("SwitchGUI : Konnte Slider nicht initalisieren!\n");
  } else {
    d->ListRequester->font = d->Fonts[MAPFONT_HELV9];
    UpdateRequesterText(d->ListRequester, d->ListLines, count);
  }
  return 1;
}

void JumpToFigur(KartenScreenRecord* d) {
  if (!d || !d->ListRequester || !d->map || d->ListTab > 4) return;
  QoEMapInfo* map = d->map;
  uint32_t line = SelectRequesterEntry(d->ListRequester, 0, GetMouseY(), 78, 6);
  if (line == kNoEntry) return;
  if (line & 1) line = SelectRequesterEntry(d->ListRequester, 1, line - 1, 78, 6);
  if (line == kNoEntry) return;
  const uint32_t k = line / 2;
  MapFigur* f = FigurOfListEntry(d, d->ListTab, k);
  if (!f) {
    // An entry without an own figure goes nowhere.
    DebugLog("JumpToFigur : Konnte NodePtr nicht besorgen!\n");
    return;
  }
  static const char* const kWhat[5] = {"der Armee", "des Schiffes", "des Siedlers", "des Kundschafters",
                                       "des Spezialisten"};
  DebugLog("Position %s X:%u Y:%u\n", kWhat[d->ListTab], f->X, f->Y);
  // The shortest way round the world.
  const int32_t rx = RingDelta(f->X, map->X, kWorldColumns), ry = RingDelta(f->Y, map->Y, kWorldRows);
  const int32_t dx = (rx >> 1) - (map->Columns >> 2), dy = ry - (map->Rows >> 1);
  const bool changed = d->SelectedFigure != f;
  d->SelectedFigure = f;
  if (dx == 0 && dy == 0) {
    if (d->MarkedColumn != -1 && d->MarkedRow != -1) DrawHexMarker(d, d->MarkedColumn, d->MarkedRow, 6);
  } else {
    Scroll(d, dx, dy);
  }
  d->X_Pos = (int16_t)WrapPos((int32_t)f->X - map->X, kWorldColumns);
  d->Y_Pos = (int16_t)WrapPos((int32_t)f->Y - map->Y, kWorldRows);
  d->FigureSelected = 0;
  d->TargetChosen = 0;
  d->MarkedColumn = d->X_Pos;
  d->MarkedRow = d->Y_Pos;
  const MapScreenHooks& h = CurrentMapScreenHooks();
  // The click's person event may load the figure list anew (a ship lost,
  // a figure sunk): f is freed then, and the selection stays cleared.
  const uint8_t* list = std::atomic_ref<uint8_t*>(map->Figures).load(std::memory_order_acquire);
  if (h.ClickFigurOnMap) h.ClickFigurOnMap(d);
  else MapScreenMissing("ClickFigurOnMap");
  if (std::atomic_ref<uint8_t*>(map->Figures).load(std::memory_order_acquire) != list) return;
  d->SelectedFigure = f;
  if (changed) {
    if (h.UpdateInfoBox) h.UpdateInfoBox(d);
    else MapScreenMissing("UpdateInfoBox");
  }
}

void SwitchGUI(KartenScreenRecord* d) {
  if (!d || Deep()) return;
  const ScreenRegion* main = d->PanelMode == 0 ? d->Layout : d->SavedLayout;
  const int32_t x1 = LayoutValue(main, 4), y1 = LayoutValue(main, 5);
  const int32_t x2 = LayoutValue(main, 6), y2 = LayoutValue(main, 7);
  if (x2 < x1 || y2 < y1) return;
  const uint32_t w = (uint32_t)(x2 - x1 + 1), h = (uint32_t)(y2 - y1 + 1);
  if (d->PanelMode == 0) {
    if (!d->MenuLayout) return;
    BitMap* saved = SaveBackground(x1, y1, w, h);
    if (!saved) {
      DebugLog("SwitchGUI : Konnte ein Rechteck des Hintergrundes nicht retten !\n");
      return;
    }
    d->SavedPanel = saved;
    RastPort* rp = ScreenRastPort();
    BlitObjektMask(rp, 865, 0, x1, y1, 0, 0);
    ShowScreenRect(rp, x1, y1, (int32_t)w, (int32_t)h);
    d->SavedLayout = d->Layout;
    d->Layout = d->MenuLayout;
    d->PanelMode = 1;
    d->ListTab = kNoTab;
    UpdateFigurRequester(d, "BUT1");
    PrintMapPosition(d);
    return;
  }
  if (!d->SavedPanel) return;
  FreeRequesterBox(d->ListRequester);
  d->ListRequester = nullptr;
  FreeVec(d->ListLines);
  d->ListLines = nullptr;
  L().lineCount = 0;
  d->Layout = d->SavedLayout;
  d->SavedLayout = nullptr;
  RestoreBackground(d->SavedPanel, x1, y1, w, h);
  d->SavedPanel = nullptr;
  d->PanelMode = 0;
  if (d->map) d->map->PosChanged = 1;
  PrintMapPosition(d);
  const MapScreenHooks& hooks = CurrentMapScreenHooks();
  if (hooks.UpdateInfoBox) hooks.UpdateInfoBox(d);
  else MapScreenMissing("UpdateInfoBox");
}

int32_t ApplyMapName(ListHeader* names, uint16_t x, uint16_t y, const char* text) {
  if (!names) return 0;
  uint32_t i = 0;
  for (ListNode* n = names->first; n && i < names->count; n = n->next, ++i) {
    auto* e = reinterpret_cast<MapNameEintrag*>(n);
    if (e->x != x || e->y != y) continue;
    if (text) {
      std::memset(e->name, 0, sizeof e->name);
      std::snprintf(e->name, sizeof e->name, "%s", text);
    } else {
      RemoveNode(names, LN_INDEX, i, 0);
    }
    return 1;
  }
  if (!text) return 1;
  auto* e = reinterpret_cast<MapNameEintrag*>(AllocListNode(names));
  if (!e) {
    DebugLog("EnterMapNames: Konnte Speicher nicht allokieren...\n");
    return 0;
  }
  e->x = x;
  e->y = y;
  std::snprintf(e->name, sizeof e->name, "%s", text);
  AddNode(names, &e->head, LN_TAIL, 0);
  return 1;
}

void EnterMapNames(KartenScreenRecord* d) {
  if (!d || !d->map || !d->MapNames) return;
  const MapTile* cell = CMapCell(d->map, d->map->ViewColumn + d->X_Pos, d->map->ViewRow + d->Y_Pos);
  if (!cell) return;
  if (GetTypeOfHex(cell->Grafik) == 11 && cell->Besitzer == MapOwnPlayer()) return;
  char buffer[80] = {};
  // The 640 x 480 place: over the map on a deeper display the box adds the
  // display's offset itself.
  const char* text = EingabeBox(buffer, sizeof buffer, (640 - 304) / 2, (480 - 119) / 2, Str(1319), Str(1320), 0);
  ApplyMapName(d->MapNames, (uint16_t)cell->X, (uint16_t)cell->Y, text);
}
