// The selected figure's order carried out on the map: the target mode of an
// attack, a capture or a duel (appended to the outgoing KRIG chunk), the
// cargo mode of a trade ship, the path mode of a move, a cleric's herb
// search and a ship's name (docs/map-screen.md "Actions and person events").
#include <cstdio>
#include <cstring>
#include <ctime>

#include "figurmenu.h"
#include "mapaction_internal.h"
#include "mapdisplay.h"
#include "mapgl.h"
#include "platform/log.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/codecs.h"
#include "routinen/gamedata/turns.h"
#include "routinen/gui/boxes.h"
#include "routinen/gui/chiefmessage.h"
#include "routinen/gui/layout.h"
#include "routinen/gui/pictures.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/catalog.h"
#include "routinen/system/files.h"
#include "routinen/system/input.h"
#include "routinen/system/memory.h"

namespace {

constexpr uint32_t kMessagePicture = 66;
constexpr uint32_t kKriegsFirst = 16;
const char* const kWareFile = ".\\Data\\WarenChunk.qoe";
const char* const kChooseBox = ".\\Data\\Screendat\\ChooseBox.dat";
// The texts the player is told when a find or another change could not be stored.
constexpr uint32_t kTextNotStored = 1640, kTextNotSaved = 1641;

struct MapActionState {
  MapActionSeams seams{};
};
MapActionState& State() {
  static MapActionState s;
  return s;
}

// The boxes take their 640 x 480 places; over the map on a deeper display
// they add the display's offset themselves.
int32_t BoxX(int32_t offset) { return offset; }
int32_t BoxY(int32_t offset) { return offset; }

uint32_t Message(uint32_t mode, const char* text) {
  if (State().seams.message) return State().seams.message(mode, text);
  return (uint32_t)ChiefMessage(kMessagePicture, BoxX(168), BoxY(180), 0, 0, 0, mode, text, 7);
}

bool IsArmyType(uint32_t t) { return t >= 1 && t <= 9; }
bool IsShipType(uint32_t t) { return t >= 14 && t <= 19; }
bool IsWarShip(uint32_t t) { return t >= 17 && t <= 19; }

uint32_t MapRandomOf(uint32_t n) { return MapRandom(nullptr, n); }

// --- picking a hex ------------------------------------------------------------------

// Called for a picked hex within reach: true ends the mode.
using PickFn = bool (*)(void* user, KartenScreenRecord* d, int32_t x, int32_t y, int32_t column, int32_t row);

void ScrollView(KartenScreenRecord* d, int32_t dx, int32_t dy) {
  LockMotion(d->Motion);
  SetPos(d->map, dx, dy);
  UnlockMotion(d->Motion);
}

void SetRangeOverlay(KartenScreenRecord* d, bool on) {
  QoEMapInfo* map = d->map;
  {
    const MapRecordLock hold;
    if (on) map->Flags |= MAPF_RANGE;
    else map->Flags &= (uint16_t)~MAPF_RANGE;
  }
  mapaction::Redraw(d);
}

// Picks hexes until fn ends the mode (true) or the player presses Escape
// (false). The reach overlay shows meanwhile; the movement arrays are freed
// at the end.
bool PickHex(KartenScreenRecord* d, PickFn fn, void* user) {
  QoEMapInfo* map = d->map;
  SetRangeOverlay(d, true);
  bool done = false;
  KeyScope keys;  // the picking: a key held from before neither scrolls nor ends it
  while (!done && !WindowCloseRequested()) {
    const int32_t event = WaitEvent(WE_EXTENDED);
    const bool extended = WaitEventExtended() != 0;
    if (event == WE_KEY_ESCAPE) break;
    if (extended && event >= WE_KEY_LEFT && event <= WE_KEY_DOWN) {
      static const int8_t kSteps[4][2] = {{-1, 0}, {0, -1}, {1, 0}, {0, 1}};
      ScrollView(d, kSteps[event - WE_KEY_LEFT][0], kSteps[event - WE_KEY_LEFT][1]);
      continue;
    }
    Gadget* g = HandleGadgetEvent(ScreenRastPort(), d->Layout, (uint32_t)event);
    if (!g || !GadgetIs(g, "MAP0") || (!map->Bitmap && !MapOnScene(map))) continue;
    // The hex under the mouse, as the map click takes it.
    const int32_t mx = GetMouseX(), my = GetMouseY();
    const MapScreenHooks& h = CurrentMapScreenHooks();
    if (!(h.IsInMapArea ? h.IsInMapArea(mx, my, mx, my) : IsInMapArea(mx, my, mx, my))) continue;
    int16_t sc = 0, sr = 0;
    if (!map->Bitmap && !MapSceneHexAt(map, mx, my, &sc, &sr)) continue;  // beside the landscape
    const uint32_t hex = !map->Bitmap ? uint32_t(uint16_t(sc)) << 16 | uint16_t(sr) : GetHexAtScreen(map, mx, my);
    const int32_t c = (int16_t)(hex >> 16), r = (int16_t)(hex & 0xFFFF);
    const int32_t column = map->ViewColumn + c, row = map->ViewRow + r;
    if (!BitMapTest(map->ReachMap, column, row)) {
      mapaction::Notice(903);
      continue;
    }
    DebugLog("CheckAktionsFeld : Feld %d %d gew\xe4hlt\n", c, r);
    // The order changes figures and the local list the animations read.
    LockMotion(d->Motion);
    done = fn(user, d, WrapFull((int64_t)map->X + c, kWorldColumns), WrapFull((int64_t)map->Y + r, kWorldRows), column,
              row);
    UnlockMotion(d->Motion);
  }
  SetRangeOverlay(d, false);
  FreeMoveHex(map);
  return done;
}

// The reach of the figure from its window cell: the grid and the bits.
bool BuildReach(KartenScreenRecord* d, const MapFigur* f, uint16_t type, int16_t points, bool block_centre) {
  int32_t column = 0, row = 0;
  mapaction::WindowCellOf(d->map, f->X, f->Y, &column, &row);
  if (column < 14 || row < 14 || !GetMoveHex(d->map, (uint16_t)column, (uint16_t)row, type, points)) {
    DebugLog("CheckAktionsFeld : Konnte MoveArray nicht anlegen !\n");
    FreeMoveHex(d->map);
    return false;
  }
  if (block_centre) d->map->MoveGrid[14 * kMoveGridSide + 14] = -10;
  if (!GetMoveHexBits(d->map, (uint16_t)(column - 14), (uint16_t)(row - 14), 0)) {
    DebugLog("CheckAktionsFeld : Konnte MoveArray nicht anlegen !\n");
    FreeMoveHex(d->map);
    return false;
  }
  return true;
}

// --- target mode ------------------------------------------------------------------------

// The name of a player from the record's players chunk; false when not there.
bool PlayerName(const KartenScreenRecord* d, uint32_t id, char name[40]) {
  name[0] = 0;
  if (!d->Players) return false;
  ListHeader* players = CreateList(LIST_PLAYERS);
  bool found = players && ScanSpieler2List(players, d->Players) && FindPlayerNameInList(id, name, players);
  DeleteList(players, 0);
  name[39] = 0;
  return found;
}

// "<intro> Lord <name> <close>" or "<intro> Player <id> <close>".
void Question(const KartenScreenRecord* d, uint32_t intro, uint32_t owner, uint32_t close, bool mark, char* out,
              uint32_t size) {
  char name[40];
  if (PlayerName(d, owner, name))
    std::snprintf(out, size, mark ? "%s %s %s %s ?" : "%s %s %s %s", GetCatalogStr(intro), GetCatalogStr(657), name,
                  GetCatalogStr(close));
  else
    std::snprintf(out, size, mark ? "%s %s %u %s ?" : "%s %s %u %s", GetCatalogStr(intro), GetCatalogStr(701), owner,
                  GetCatalogStr(close));
}

struct TargetPick {
  MapFigur* f;
  uint32_t order;
  bool ordered;
  bool failed;
};

// Decides on the picked hex by the attacker's type: a notice, nothing, or
// the question; a confirmed question appends the order.
bool TargetPicked(void* user, KartenScreenRecord* d, int32_t x, int32_t y, int32_t, int32_t) {
  TargetPick& p = *static_cast<TargetPick*>(user);
  const MapFigur* f = p.f;
  const MapFigur* t = GetActivePeople(d->map, x, y, 1);
  const uint32_t own = MapOwnPlayer();
  char text[512];
  text[0] = 0;
  if (f->Typ == 0) {
    if (!t || t->Typ != 0) {
      mapaction::Notice(1417);
      return false;
    }
    if (t->Besitzer == own) return false;
    Question(d, 1418, t->Besitzer, 906, false, text, sizeof text);
  } else if (IsArmyType(f->Typ)) {
    const bool enemy = t && t->Besitzer != own &&
                       (IsArmyType(t->Typ) || t->Typ == 10 || t->Typ == 20 || (t->Typ >= 1000 && t->Typ <= 1013));
    if (!enemy) {
      mapaction::Notice(904);
      return false;
    }
    Question(d, 905, t->Besitzer, 906, false, text, sizeof text);
  } else if (IsWarShip(f->Typ)) {
    if (!t) {
      mapaction::Notice(1148);
      return false;
    }
    if (p.order == 3) {
      if (!IsShipType(t->Typ)) {
        mapaction::Notice(1148);
        return false;
      }
      if (t->Besitzer == own) return false;
      Question(d, 1150, t->Besitzer, 906, false, text, sizeof text);
    } else if (t->Typ >= 14 && t->Typ <= 16) {
      if (t->Besitzer == own) return false;
      Question(d, 1150, t->Besitzer, 1253, true, text, sizeof text);
    } else if (IsWarShip(t->Typ)) {
      mapaction::NoticeText(GetCatalogStr(1816));  // warships cannot be captured
      return false;
    } else {
      mapaction::Notice(1148);
      return false;
    }
  } else {
    return true;  // no target mode for this type
  }
  if (!mapaction::Ask(text)) return false;
  const FigurRecord a = mapaction::RecordOf(f), target = mapaction::RecordOf(t);
  uint32_t size = 0;
  uint8_t* pool = static_cast<uint8_t*>(LoadFile2MemSize(OutgoingPoolPath, MEMF_PUBLIC, &size));
  uint32_t old_bytes = 0;
  const uint8_t* old = pool ? FindChunkInPoolImage(pool, size, "KRIG", &old_bytes) : nullptr;
  uint8_t* krig = KriegsChunkAppend(old, old_bytes, a, target);
  FreeVec(pool);
  if (!krig) {
    DebugLog("CheckAktionsFeld : Konnte Speicher f\xfcr KRIG-Chunk nicht allokieren !\n");
    p.failed = true;
    return true;
  }
  const int32_t stored = AddChunkPool(krig, OutgoingPoolPath);
  FreeChunk(krig);
  if (!stored) {
    DebugLog("CheckAktionsFeld: Konnte Chunk nicht abspeichern : %s !\n", OutgoingPoolPath);
    mapaction::Notice(kTextNotSaved);
    p.failed = true;
    return true;
  }
  p.f->Punkte = 0;
  DebugLog(p.order == 8 ? "Kapern erfolgt...\n" : "Angriff erfolgt...\n");
  p.ordered = true;
  return true;
}

// 1 when the outgoing KRIG chunk already holds an order of this attacker.
bool HasStoredAttack(const MapFigur* f) {
  LoadedChunk krig("KRIG", OutgoingPoolPath);
  KriegsEintrag e{};
  for (uint32_t i = 0; krig.p && GetKriegsEintrag(krig.p, i, &e); i++)
    if (e.attacker.owner == f->Besitzer && e.attacker.type == f->Typ && e.attacker.number == f->Nummer) return true;
  return false;
}

uint32_t TargetMode(KartenScreenRecord* d, MapFigur* f, uint32_t order) {
  if (f->Punkte == 0) {
    // The attack of this turn was given already; a new one waits for the
    // next turn. An order that never reached the turn is taken back.
    if (!HasStoredAttack(f)) f->Status = 0;
    return 1;
  }
  MapScreenPlayCd(10);
  if (!BuildReach(d, f, f->Typ, f->Punkte, false)) {
    f->Status = 0;
    return 0;
  }
  TargetPick p{f, order, false, false};
  PickHex(d, TargetPicked, &p);
  if (!p.ordered) f->Status = 0;
  return p.failed ? 0 : 1;
}

// --- cargo mode ---------------------------------------------------------------------------

struct CargoPick {
  MapFigur* ship;
  Schiffseintrag* entry;
  uint32_t order;
};

bool EmptySlot(const FigurRecord& c) {
  return c.owner == 0 && c.type == 0 && c.number == 0 && c.x == 0 && c.y == 0 && c.state == 0 && c.points == 0;
}

bool Unload(KartenScreenRecord* d, CargoPick& p, int32_t x, int32_t y) {
  QoEMapInfo* map = d->map;
  for (uint32_t k = 0; k < 3; k++) {
    FigurRecord& slot = p.entry->cargo[k];
    uint8_t* rec = EmptySlot(slot) ? nullptr : FindLadungsFigur(map->Figures, map->FigureBytes, p.entry, k);
    if (!rec) {
      slot = FigurRecord{};
      continue;
    }
    FigurRecord g = GetFigurRecord(rec);
    const int32_t dx = RingDelta(x, g.x, kWorldColumns), dy = RingDelta(y, g.y, kWorldRows);
    g.state = 0;
    PutFigurRecord(rec, FigurRecord{g.owner, g.type, g.number, (uint32_t)x, (uint32_t)y, 0, g.points});
    if (dx || dy) SetFigurDependence(&g, dx, dy, d->Armies, nullptr, map->Figures, map->FigureBytes);
    slot = FigurRecord{};
    p.ship->Punkte = 0;
    DebugLog("CheckAktionsFeld : Figur ausgeladen auf X %u Y %u\n", (uint32_t)x, (uint32_t)y);
    return true;
  }
  DebugLog("CheckAktionsFeld : Keine Ladung zum Ausladen gefunden\n");
  return true;
}

bool Load(KartenScreenRecord* d, CargoPick& p, int32_t x, int32_t y) {
  QoEMapInfo* map = d->map;
  MapFigur* g = GetActivePeople(map, x, y, 0);
  const uint32_t capacity = ShipCapacity(p.ship->Typ);
  if (!g || capacity == 0) {
    mapaction::Notice(1149);
    return false;
  }
  if (IsArmyType(g->Typ)) {
    if (GetArmySoldatenAnzahl(d->Armies, g->Nummer) > capacity * 10000) {
      mapaction::Notice(1329);
      return false;
    }
  } else if (g->Typ != 0 && g->Typ != 10 && g->Typ != 12 && g->Typ != 20) {
    mapaction::Notice(1149);
    return false;
  }
  uint32_t free_slot = 3;
  for (uint32_t k = 0; k < 3 && free_slot == 3; k++)
    if (p.entry->cargo[k].state != 7) free_slot = k;
  if (free_slot == 3) {
    DebugLog("CheckAktionsFeld : Kein freier Laderaum auf dem Schiff\n");
    return true;
  }
  if (IsArmyType(g->Typ)) {
    const FigurRecord before = mapaction::RecordOf(g);
    const int32_t dx = RingDelta(p.ship->X, g->X, kWorldColumns), dy = RingDelta(p.ship->Y, g->Y, kWorldRows);
    if (dx || dy) SetFigurDependence(&before, dx, dy, d->Armies, nullptr, map->Figures, map->FigureBytes);
  }
  g->Status = 7;
  g->X = p.ship->X;
  g->Y = p.ship->Y;
  g->Punkte = 0;
  const uint32_t cost = GetMovePointsOfType(p.ship->Typ) / capacity;
  p.ship->Punkte = (uint8_t)(p.ship->Punkte > cost ? p.ship->Punkte - cost : 0);
  p.entry->cargo[free_slot] = mapaction::RecordOf(g);
  GetLocalPeople(map);
  return true;
}

bool CargoPicked(void* user, KartenScreenRecord* d, int32_t x, int32_t y, int32_t, int32_t) {
  CargoPick& p = *static_cast<CargoPick*>(user);
  const bool done = p.order == 6 ? Unload(d, p, x, y) : Load(d, p, x, y);
  if (done) GetLocalPeople(d->map);
  return done;
}

Schiffseintrag* ShipEntryOf(KartenScreenRecord* d, const MapFigur* f) {
  ListNode* n = d->Ships ? d->Ships->first : nullptr;
  for (uint32_t i = 0; n && i < d->Ships->count; i++, n = n->next) {
    Schiffseintrag* s = reinterpret_cast<Schiffseintrag*>(n);
    if (s->x == f->X && s->y == f->Y && s->ship_id == f->Nummer) return s;
  }
  return nullptr;
}

uint32_t CargoMode(KartenScreenRecord* d, MapFigur* f, uint32_t order) {
  CargoPick p{f, ShipEntryOf(d, f), order};
  uint32_t result = 1;
  if (p.entry) {
    if (BuildReach(d, f, 0, 2, true)) PickHex(d, CargoPicked, &p);
    else result = 0;
  }
  f->Status = 0;
  return result;
}

// --- path mode -------------------------------------------------------------------------------

struct PathPick {
  int32_t x, y;
  bool picked;
};

bool PathPicked(void* user, KartenScreenRecord*, int32_t x, int32_t y, int32_t, int32_t) {
  PathPick& p = *static_cast<PathPick*>(user);
  p.x = x;
  p.y = y;
  p.picked = true;
  return true;
}

// The neighbour steps in the order north, north-east, south-east, south,
// south-west, north-west, by the parity of the column.
constexpr int8_t kNeighbour[2][6][2] = {
    {{0, -1}, {1, -1}, {1, 0}, {0, 1}, {-1, 0}, {-1, -1}},
    {{0, -1}, {1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}},
};

// Walks back from the target's grid cell to the start along falling costs;
// the steps from the start to the target in steps[0..n-1] (reversed
// order: the last stored is the first to make). 0 when no way back is found.
uint32_t WalkBack(const QoEMapInfo* map, int32_t column, int32_t row, int32_t gx, int32_t gy, uint16_t type,
                  uint8_t points, int8_t steps[][2], uint32_t max) {
  const int8_t* grid = map->MoveGrid;
  const int32_t N = (int32_t)kMoveGridSide;
  auto at = [&](int32_t x, int32_t y) -> int32_t {
    return (x < 0 || y < 0 || x >= N || y >= N) ? -100 : grid[y * N + x];
  };
  int32_t v = at(gx, gy);
  uint32_t n = 0;
  while (at(gx, gy) != points) {
    if (n >= max || n >= points) return 0;
    v += GetMovePoints(map->CMap, (uint16_t)column, (uint16_t)row, type);
    int32_t dir = -1;
    for (int32_t k = 0; k < 6; k++) {
      const int8_t* s = kNeighbour[column & 1][k];
      if (at(gx + s[0], gy + s[1]) == v) dir = k;
    }
    if (dir < 0) {
      DebugLog("CheckAktionsFeld : Kein Weg zurueck zum Start gefunden\n");
      return 0;
    }
    const int8_t* s = kNeighbour[column & 1][dir];
    column += s[0];
    row += s[1];
    gx += s[0];
    gy += s[1];
    steps[n][0] = (int8_t)-s[0];
    steps[n][1] = (int8_t)-s[1];
    n++;
  }
  return n;
}

uint32_t PathMode(KartenScreenRecord* d, MapFigur* f) {
  QoEMapInfo* map = d->map;
  if (!BuildReach(d, f, f->Typ, f->Punkte, true)) {
    f->Status = 0;
    return 0;
  }
  // The grid stays for the walk back: the pick frees it, so it is kept aside.
  int8_t grid[kMoveGridSide * kMoveGridSide];
  std::memcpy(grid, map->MoveGrid, sizeof grid);
  PathPick p{0, 0, false};
  PickHex(d, PathPicked, &p);
  if (p.picked) {
    grid[14 * kMoveGridSide + 14] = (int8_t)f->Punkte;
    int32_t column = 0, row = 0;
    const int32_t gx = RingDelta(p.x, f->X, kWorldColumns) + 14, gy = RingDelta(p.y, f->Y, kWorldRows) + 14;
    mapaction::WindowCellOf(map, (uint32_t)p.x, (uint32_t)p.y, &column, &row);
    int8_t steps[64][2];
    int8_t* saved = map->MoveGrid;
    map->MoveGrid = grid;
    const uint32_t n = WalkBack(map, column, row, gx, gy, f->Typ, f->Punkte, steps, 64);
    map->MoveGrid = saved;
    for (uint32_t i = n; i-- > 0;) {
      const int16_t dx = steps[i][0], dy = steps[i][1];
      int32_t moved;
      LockMotion(d->Motion);
      moved = SetPeople(map, f, dx, dy);
      UnlockMotion(d->Motion);
      if (!moved) break;
      const FigurRecord rec = mapaction::RecordOf(f);
      SetFigurDependence(&rec, dx, dy, d->Armies, d->Ships, map->Figures, map->FigureBytes);
      d->X_Pos = (int16_t)WrapFull((int64_t)f->X - map->X, kWorldColumns);
      d->Y_Pos = (int16_t)WrapFull((int64_t)f->Y - map->Y, kWorldRows);
      // The marker goes with the figure: the next click takes it away there.
      d->MarkedColumn = d->X_Pos;
      d->MarkedRow = d->Y_Pos;
    }
  }
  f->Status = 0;
  return 1;
}

// --- herb search -----------------------------------------------------------------------------

// The units found of herb choice + 56 on the clicked acre; 0 none.
uint32_t SearchHerb(KartenScreenRecord* d, int32_t choice, uint32_t* x, uint32_t* y, uint16_t* amount) {
  QoEMapInfo* map = d->map;
  const MapTile* t = CMapCell(map, map->ViewColumn + d->X_Pos, map->ViewRow + d->Y_Pos);
  if (!t || !(t->Flags & 1)) return 0;
  LoadedChunk herb;
  if (herb.Load("HERB", ReceivedPoolPath) != CHUNK_GOOD) return 0;
  ListHeader* list = CreateList(LIST_HERBS);
  uint32_t found = 0;
  if (list && ScanHerb2List(list, herb.p)) {
    ListNode* n = list->first;
    for (uint32_t i = 0; n && i < list->count; i++, n = n->next) {
      const KrautEintrag* k = reinterpret_cast<const KrautEintrag*>(n);
      if (k->x == t->X && k->y == t->Y && k->herb == (uint32_t)choice + 56 && k->amount != 0) {
        found = HerbFindCount(k->amount, MapRandomOf);
        *x = k->x;
        *y = k->y;
        *amount = k->amount;
        break;
      }
    }
  }
  DeleteList(list, 0);
  return found;
}

// A chunk in disk order for a file (new block, FreeVec), or null.
uint8_t* DiskImage(const uint8_t* chunk, uint32_t* size) {
  const uint32_t n = 12 + ChunkLength(chunk);
  uint8_t* disk = static_cast<uint8_t*>(AllocVec(n, MEMF_PUBLIC));
  if (!disk) return nullptr;
  std::memcpy(disk, chunk, n);
  if (!SwapByteOrderInChunk(disk, n, 0)) {
    FreeVec(disk);
    return nullptr;
  }
  *size = n;
  return disk;
}

// HERB into the outgoing pool and the goods into WarenChunk.qoe, through one
// FileSet; true when stored.
bool StoreHerbFind(uint32_t x, uint32_t y, uint8_t herb_id, uint8_t found, uint16_t amount) {
  uint8_t* out_herb = nullptr;
  if (LoadChunkState("HERB", OutgoingPoolPath, &out_herb) == CHUNK_DAMAGED) DebugLog("CheckAktionsFeld: HerbChunk der Ausgabe ist beschaedigt, er wird ersetzt\n");
  uint8_t* herb = HerbChunkWithFind(out_herb, x, y, herb_id, found, amount);
  if (out_herb) FreeChunk(out_herb);
  if (!herb) {
    DebugLog("CheckAktionsFeld: Konnte HerbChunk nicht erstellen !\n");
    return false;
  }
  const PoolChange change{herb, nullptr};
  uint32_t pool_size = 0;
  uint8_t* pool = ChangedPoolImage(OutgoingPoolPath, &change, 1, &pool_size);
  FreeChunk(herb);
  uint8_t* ware = nullptr;
  const int32_t ware_state = LoadChunkState("WARE", kWareFile, &ware);
  uint8_t* goods = nullptr;
  if (ware_state == CHUNK_DAMAGED || (ware_state == CHUNK_ABSENT && GeFileSize(kWareFile) != 0))
    DebugLog("CheckAktionsFeld: Konnte alten WarenChunk nicht in die Liste einscannen...\n");
  else
    goods = WareChunkWithGoods(ware, MapOwnPlayer(), herb_id, found, (uint32_t)std::time(nullptr));
  if (ware) FreeChunk(ware);
  uint32_t goods_size = 0;
  uint8_t* goods_disk = goods ? DiskImage(goods, &goods_size) : nullptr;
  if (goods) FreeChunk(goods);
  bool ok = pool != nullptr;
  if (ok) {
    FileSet* set = BeginFileSet();
    ok = set && FileSetWrite(set, OutgoingPoolPath, pool, pool_size);
    if (ok && goods_disk) ok = FileSetWrite(set, kWareFile, goods_disk, goods_size);
    if (set) ok = CommitFileSet(set) && ok;
  }
  if (!ok) DebugLog("CheckAktionsFeld: Konnte Chunk nicht abspeichern : %s !\n", OutgoingPoolPath);
  FreeVec(pool);
  FreeVec(goods_disk);
  return ok;
}

uint32_t HerbSearch(KartenScreenRecord* d, MapFigur* f) {
  uint32_t result = 1;
  if (f->Typ != 12) {
    f->Status = 0;
    return 1;
  }
  ChiefMessageBox* box = nullptr;
  if (State().seams.message) State().seams.message(2, GetCatalogStr(1423));
  else {
    box = reinterpret_cast<ChiefMessageBox*>(
        ChiefMessage(kMessagePicture, BoxX(168), BoxY(16), 0, 0, 0, 2, GetCatalogStr(1423), 7));
    if (!box) {
      DebugLog("CheckAktionsFeld: Konnte ChiefMessage nicht aufbauen...\n");
      f->Status = 0;
      return 0;
    }
  }
  char* lines = static_cast<char*>(AllocVec(18 * 80, MEMF_PUBLIC | MEMF_CLEAR));
  if (!lines) {
    DebugLog("CheckAktionsFeld: Konnte Speicher 1 nicht allokieren...\n");
    CloseChiefMessage(box);
    f->Status = 0;
    return 0;
  }
  for (uint32_t i = 0; i < 18; i++) std::snprintf(lines + 80 * i, 80, "%s", GetCatalogStr(881 + i));
  const int32_t choice = State().seams.choose
                             ? State().seams.choose(18, lines)
                             : InfoBox(kChooseBox, BoxX(216), BoxY(130), 18, GetCatalogStr(1424), lines,
                                       GetCatalogStr(1425));
  if (choice >= 0 && choice < 18) {
    const uint8_t before = f->Punkte;
    f->Punkte = (uint8_t)(f->Punkte > 2 ? f->Punkte - 2 : 0);
    uint32_t x = 0, y = 0;
    uint16_t amount = 0;
    const uint32_t found = SearchHerb(d, choice, &x, &y, &amount);
    CloseChiefMessage(box);
    box = nullptr;
    if (found && !StoreHerbFind(x, y, (uint8_t)(choice + 56), (uint8_t)found, amount)) {
      f->Punkte = before;  // nothing was stored: the search did not happen
      mapaction::Notice(kTextNotStored);
      result = 0;
    } else if (found) {
      char text[400];
      std::snprintf(text, sizeof text, "%s %u %s %s %s...", GetCatalogStr(1426), found, GetCatalogStr(1427),
                    lines + 80 * choice, GetCatalogStr(1428));
      mapaction::NoticeText(text);
    } else {
      mapaction::Notice(1429);
    }
  }
  CloseChiefMessage(box);
  FreeVec(lines);
  f->Status = 0;
  return result;
}

// --- ship name ---------------------------------------------------------------------------------

uint32_t ShipNameOrder(KartenScreenRecord* d, MapFigur* f) {
  f->Status = 0;
  if (!d->ShipAddOns && !(d->ShipAddOns = CreateList(LIST_SHIP_ADDONS))) return 0;
  ListHeader* list = d->ShipAddOns;
  ShipAddOn* entry = nullptr;
  uint32_t index = 0;
  ListNode* n = list->first;
  for (uint32_t i = 0; n && i < list->count && !entry; i++, n = n->next)
    if (reinterpret_cast<ShipAddOn*>(n)->ship_id == f->Nummer) {
      entry = reinterpret_cast<ShipAddOn*>(n);
      index = i;
    }
  char name[80];
  std::memset(name, 0, sizeof name);
  if (entry) std::memcpy(name, entry->name, sizeof name - 1);
  char* given = State().seams.input
                    ? State().seams.input(name, sizeof name)
                    : EingabeBox(name, sizeof name, (640 - 304) / 2, (480 - 119) / 2,
                                 GetCatalogStr(1814), GetCatalogStr(1815), 0);  // the ship's name, its help
  if (given && given[0]) {
    if (!entry) {
      entry = reinterpret_cast<ShipAddOn*>(AllocListNode(list));
      if (!entry) return 0;
      entry->ship_id = f->Nummer;
      AddNode(list, &entry->head, LN_TAIL, 0);
    }
    std::memset(entry->name, 0, sizeof entry->name);
    std::snprintf(entry->name, sizeof entry->name, "%s", given);
  } else if (entry) {
    // A repair order stays; only an entry with nothing else goes.
    if (entry->repair) std::memset(entry->name, 0, sizeof entry->name);
    else RemoveNode(list, LN_INDEX, index, 0);
  }
  if (d->PanelMode == 1) {
    char gadget[5] = {'B', 'U', 'T', '1', 0};
    if (d->ListTab <= 4) gadget[3] = (char)('1' + d->ListTab);
    const MapScreenHooks& h = CurrentMapScreenHooks();
    if (h.UpdateFigurRequester) h.UpdateFigurRequester(d, gadget);
  }
  return 1;
}

}  // namespace

// --- shared helpers ------------------------------------------------------------------------------

void SetMapActionSeams(const MapActionSeams* seams) { State().seams = seams ? *seams : MapActionSeams{}; }

namespace mapaction {

void Notice(uint32_t catalog_id) { Message(0, GetCatalogStr(catalog_id)); }
void NoticeText(const char* text) { Message(0, text); }
bool Ask(const char* text) { return Message(1, text) == 0; }
void ShowTextBox(const char* text) {
  if (State().seams.textBox) State().seams.textBox(text);
  else TextBox(text);
}
uint32_t ChooseTownAction(uint32_t n, const char* texts) {
  return State().seams.switchBox ? State().seams.switchBox(n, texts) : SwitchBox(n, texts);
}

void WindowCellOf(const QoEMapInfo* map, uint32_t x, uint32_t y, int32_t* column, int32_t* row) {
  *column = map->ViewColumn + RingDelta(x, map->X, kWorldColumns);
  *row = map->ViewRow + RingDelta(y, map->Y, kWorldRows);
}

void ClickedWorld(const KartenScreenRecord* d, int32_t* x, int32_t* y) {
  *x = WrapFull((int64_t)d->map->X + d->X_Pos, kWorldColumns);
  *y = WrapFull((int64_t)d->map->Y + d->Y_Pos, kWorldRows);
}

void Redraw(KartenScreenRecord* d) { ScrollView(d, 0, 0); }

}  // namespace mapaction

// --- the pure steps ----------------------------------------------------------------------------

const uint8_t* FindChunkInPoolImage(const uint8_t* image, uint32_t size, const char* id, uint32_t* bytes) {
  if (!image || !id || size < 12 || std::memcmp(image, "INFO", 4) != 0 || !VerifyChunkPool(image, size)) return nullptr;
  uint32_t pos = 0;
  while (size - pos >= 12) {
    const uint32_t len = GetBE32(image + pos + 8);
    if (len > size - pos - 12) return nullptr;
    if (pos > 0 && std::memcmp(image + pos, id, 4) == 0) {
      *bytes = 12 + len;
      return image + pos;
    }
    pos += 12 + len;
  }
  return nullptr;
}

uint8_t* KriegsChunkAppend(const uint8_t* old, uint32_t old_bytes, const FigurRecord& attacker,
                           const FigurRecord& target) {
  uint32_t count = 0;
  char version[4] = {'V', '0', '0', '1'};
  if (old && old_bytes >= 16) {
    std::memcpy(version, old + 4, 4);
    uint32_t len = GetBE32(old + 8);
    if (len > old_bytes - 12) len = old_bytes - 12;
    const uint32_t fit = len < 4 ? 0 : (len - 4) / kKriegsEntrySize;
    count = GetBE32(old + 12);
    if (count > fit || len < 4 || (len - 4) % kKriegsEntrySize) {
      DebugLog("CheckAktionsFeld : KRIG-Chunk mit %u Eintraegen in %u Bytes, %u werden behalten\n", count, len,
               count < fit ? count : fit);
      if (count > fit) count = fit;
    }
  } else if (old) {
    DebugLog("CheckAktionsFeld : KRIG-Chunk ohne Anzahl, er wird neu angelegt\n");
  }
  uint8_t* c = AllocChunk("KRIG", "V001", (count + 1) * kKriegsEntrySize + 4);
  if (!c) return nullptr;
  std::memcpy(c + 4, version, 4);
  ChunkPut32(c, 12, count + 1);
  for (uint32_t i = 0; i < count; i++) {
    uint8_t* r = c + kKriegsFirst + i * kKriegsEntrySize;
    std::memcpy(r, old + kKriegsFirst + i * kKriegsEntrySize, kKriegsEntrySize);
    SwapRecord(KriegsEintragCodec, r, true);
  }
  uint8_t* r = c + kKriegsFirst + count * kKriegsEntrySize;
  PutFigurRecord(r + 4, attacker);
  PutFigurRecord(r + 22, target);
  return c;
}

uint32_t HerbFindCount(uint32_t amount, uint32_t (*random)(uint32_t n)) {
  if (amount < 51) return 1;
  if (amount < 126) return 1 + random(4);
  if (amount < 251) return 1 + random(8);
  return 1 + random(16);
}

namespace {

// The chunk's records as a list, the first one match takes updated (or a new
// one filled and appended), made back into a chunk; null on failure.
template <typename Node, typename Match, typename Update, typename Fill>
uint8_t* ChunkWithRecord(uint32_t type, const uint8_t* chunk, int32_t (*scan)(ListHeader*, const void*),
                         uint8_t* (*make)(ListHeader*), Match match, Update update, Fill fill) {
  ListHeader* list = CreateList(type);
  if (!list) return nullptr;
  if (chunk && !scan(list, chunk)) {
    DeleteList(list, 0);
    return nullptr;
  }
  Node* hit = nullptr;
  ListNode* n = list->first;
  for (uint32_t i = 0; n && i < list->count && !hit; i++, n = n->next)
    if (match(*reinterpret_cast<Node*>(n))) hit = reinterpret_cast<Node*>(n);
  if (hit) {
    update(*hit);
  } else if ((hit = reinterpret_cast<Node*>(AllocListNode(list)))) {
    fill(*hit);
    AddNode(list, &hit->head, LN_TAIL, 0);
  }
  uint8_t* made = hit ? make(list) : nullptr;
  DeleteList(list, 0);
  return made;
}

}  // namespace

uint8_t* HerbChunkWithFind(const uint8_t* herb, uint32_t x, uint32_t y, uint8_t herb_id, uint8_t found,
                           uint16_t amount) {
  return ChunkWithRecord<KrautEintrag>(
      LIST_HERBS, herb, ScanHerb2List, MakeHerbChunkFromList,
      [&](const KrautEintrag& k) { return k.x == x && k.y == y && k.herb == herb_id; },
      [&](KrautEintrag& k) { k.found = (uint8_t)(k.found + found < 255 ? k.found + found : 255); },
      [&](KrautEintrag& k) {
        k.x = x;
        k.y = y;
        k.herb = herb_id;
        k.found = found;
        k.amount = amount;
      });
}

uint8_t* WareChunkWithGoods(const uint8_t* ware, uint32_t owner, uint32_t goods, uint32_t units, uint32_t time) {
  return ChunkWithRecord<WarenListenEntry>(
      LIST_GOODS, ware, ScanWare2List, MakeWareChunkFromList,
      [&](const WarenListenEntry& w) { return w.kind == 5 && w.goods == goods; },
      [&](WarenListenEntry& w) { w.quantity = w.quantity + units < w.quantity ? 0xFFFFFFFFu : w.quantity + units; },
      [&](WarenListenEntry& w) {
        w.kind = 5;
        w.owner = owner;
        w.goods = goods;
        w.quantity = units;
        w.ident = time;
      });
}

uint32_t ShipCapacity(uint16_t type) { return type >= 14 && type <= 16 ? type - 13u : 0; }

// --- the order --------------------------------------------------------------------------------

uint32_t CheckAktionsFeld(KartenScreenRecord* d) {
  if (!d || !d->map || !d->SelectedFigure) return 1;
  MapFigur* f = d->SelectedFigure;
  const uint32_t order = f->Status;
  DebugLog("CheckAktionsFeld : Befehl %u der Figur %u (Typ %u, Punkte %u)\n", order, (uint32_t)f->Nummer,
           (uint32_t)f->Typ, (uint32_t)f->Punkte);
  if (order < 3 || order > 19) return 1;
  switch (order) {
    case 3: case 8: case 13: return TargetMode(d, f, order);
    case 5: case 6:
      if (f->Typ == 20) {
        // The caravan's requester; the order stays and goes out with the
        // figure list.
        KarawaneReq();
        return 1;
      }
      return IsShipType(f->Typ) ? CargoMode(d, f, order) : (f->Status = 0, 1u);
    case 10: case 18: return PathMode(d, f);
    case 14: return HerbSearch(d, f);
    case 19: return ShipNameOrder(d, f);
    default: return 1;
  }
}
