// The map screen (code 3): its record, its life cycle over the dispatcher's
// calls, its set-up on both kinds of display, the event loop with every
// gadget and key, edge scrolling, the terrain ambience and the secret music
// zone, and the services the other screens call around their changes of the
// turn and map files (docs/map-screen.md).
#include "mapscreen.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "map_internal.h"
#include "mapdisplay.h"
#include "mapgl.h"
#include "mapaction_internal.h"
#include "mapinfo.h"
#include "platform/display.h"
#include "platform/log.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/towns.h"
#include "routinen/gui/boxes.h"
#include "routinen/gui/layout.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/requester.h"
#include "routinen/gui/text.h"
#include "routinen/media/sound.h"
#include "routinen/system/catalog.h"
#include "routinen/system/fonts.h"
#include "routinen/system/graphics.h"
#include "routinen/system/input.h"
#include "routinen/system/memory.h"
#include "routinen/system/prefs.h"
#include "routinen/system/sysrecords.h"

namespace {

const char* const kPath = ".\\Data\\Path";
const char* const kSfxPath = ".\\Data\\SfxPath";
const char* const kSecretModule = ".\\Mods\\Secret.XM";
constexpr uint32_t kMapPicture = 3;
constexpr uint32_t kTextNotSaved = 127;  // "The data could not be saved."

// Graphics of every display, and of the deeper ones (LoadKartenScreenGfx).
constexpr uint32_t kGfxAll[] = {378, 380, 448, 449, 471, 866, 867, 868, 869, 870, 871, 872, 873, 874, 875, 1276, 1277};
constexpr uint32_t kGfxDeep[] = {1144, 1145, 1146, 1147, 1148, 1149, 1143, 1150, 1151, 1160, 1161, 1162, 1163, 1164,
                                 1165, 1166, 1167, 1168, 1169, 1170, 1171, 1172, 1173, 1174, 1175, 1176, 1177, 1178};
// Effects: the sea, the groups of the quarters and the last group.
constexpr uint32_t kSfxSea = 78;
constexpr uint32_t kSfxSummer[] = {24, 27, 15, 101};
constexpr uint32_t kSfxWinter[] = {103, 104, 101, 102};
constexpr uint32_t kSfxLast[] = {105, 166, 167};
constexpr uint32_t kSfxFreeOrder[] = {78, 24, 27, 15, 103, 104, 101, 102, 105, 166, 167};

// The colour-cycling table: 5 ranges of 22 bytes.
constexpr uint8_t kCycle[5][22] = {
    {32, 2, 3, 19, 0, 141, 19, 141, 27, 142, 29, 143, 31, 142, 255},
    {32, 1, 4, 13, 0, 148, 13, 148, 16, 149, 19, 150, 22, 151, 25, 150, 28, 149, 31, 148, 255},
    {15, 4, 2, 5, 0, 139, 5, 139, 9, 140, 14, 139, 255},
    {26, 1, 4, 0, 0, 144, 3, 145, 6, 146, 10, 147, 18, 145, 23, 144, 25, 144, 255},
    {28, 2, 4, 11, 0, 152, 11, 152, 13, 153, 16, 154, 19, 155, 21, 154, 24, 153, 27, 153, 255},
};

// The map screen module's state.
struct MapScreenState {
  KartenScreenRecord record{};
  // The map lock: recursive; its holder and depth guarded by itself.
  std::recursive_mutex lock;
  std::atomic<std::thread::id> holder{};
  uint32_t depth = 0;
  // The later parts' calls: filled at start-up by the entry, read-only after.
  MapScreenHooks hooks{};
  // The event loop's counters (game thread).
  uint32_t zoneTicks = 0;       // consecutive ticks in a scroll zone
  uint32_t ambientTicks = 0;
  uint32_t ambientPeriod = 100;
  // The build in advance tells the player nothing: its failure is logged
  // and the first visit builds again.
  bool silent = false;
  // Test seams of the sounds (filled by tests, read on the game thread).
  MapScreenSoundSeams sound{};
};

MapScreenState& State() {
  static MapScreenState state;
  return state;
}

bool Deep() { return MapDisplayDepth() > 8; }
uint32_t Width() { return MapDisplayWidth(); }
uint32_t Height() { return MapDisplayHeight(); }

void Missing(const char* what) { MapScreenMissing(what); }

// --- the later parts' calls -----------------------------------------------------
void CallUpdateInfoBox(KartenScreenRecord* d) {
  if (State().hooks.UpdateInfoBox) State().hooks.UpdateInfoBox(d);
  else Missing("UpdateInfoBox");
}
void CallClickFigurOnMap(KartenScreenRecord* d) {
  if (State().hooks.ClickFigurOnMap) State().hooks.ClickFigurOnMap(d);
  else Missing("ClickFigurOnMap");
}
int32_t CallIsInMapArea(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  if (State().hooks.IsInMapArea) return State().hooks.IsInMapArea(x1, y1, x2, y2);
  return IsInMapArea(x1, y1, x2, y2);
}
void CallToggle(KartenScreenRecord* d, uint32_t mode) {
  if (State().hooks.ToggleMapDisplay) {
    State().hooks.ToggleMapDisplay(d, mode);
    return;
  }
  Missing("ToggleMapDisplay");
}
int32_t CallUpdateFigurRequester(KartenScreenRecord* d, const char* gadget) {
  if (State().hooks.UpdateFigurRequester) return State().hooks.UpdateFigurRequester(d, gadget);
  Missing("UpdateFigurRequester");
  return 1;
}
void CallPlayFigurSfx(KartenScreenRecord* d, uint32_t mode) {
  if (State().hooks.PlayFigurSfx) State().hooks.PlayFigurSfx(d, mode);
  else Missing("PlayFigurSfx");
}
template <typename Fn>
void CallVoid(Fn fn, KartenScreenRecord* d, const char* name) {
  if (fn) fn(d);
  else Missing(name);
}

void StartFailed(uint32_t step, const char* line) {
  if (State().hooks.StartFailed && !State().silent) State().hooks.StartFailed(step, line);
  else DebugLog("%s", line);
}

// The start-up steps the player is told about (the screen layer's catalog
// texts; the realm's map has its own, 1580 is the dungeon's).
enum : uint32_t { kStepPicture = 1571, kStepLayout = 1572, kStepFont = 1573, kStepSounds = 1575, kStepData = 1576,
                  kStepGraphics = 1579, kStepMap = 1932 };

// --- publishing the map -------------------------------------------------------
void Publish(KartenScreenRecord* d, QoEMapInfo* map) {
  LockMapRecord();
  // What other threads need of the game's records goes with the map.
  if (map) std::atomic_ref<uint32_t>(map->OwnPlayer).store(MapOwnPlayer(), std::memory_order_relaxed);
  d->map = map;
  UnlockMapRecord();
}

void ClearSelection(KartenScreenRecord* d) {
  d->SelectedFigure = nullptr;
  d->FigureSelected = 0;
  d->TargetChosen = 0;
}

void CloseFonts(KartenScreenRecord* d) {
  for (TextFont*& f : d->Fonts) {
    if (f) CloseFont(f);
    f = nullptr;
  }
}

// The animation thread's lock around a change of the view.
struct MotionHold {
  explicit MotionHold(KartenScreenRecord* d) : m(d->Motion) { LockMotion(m); }
  ~MotionHold() { UnlockMotion(m); }
  MotionControl* m;
};

void Scroll(KartenScreenRecord* d, int32_t dx, int32_t dy) {
  if (!d->map) return;
  MotionHold hold(d);
  SetPos(d->map, dx, dy);
}


bool StrictlyIn(int32_t v, int32_t lo, int32_t hi) { return lo < v && v < hi; }

// The after-draw function of the 3D view: the display bitmap made
// transparent over the landscape, the mark taken back (the markers set it
// again), then the screen's frame, panels and markers.
void SceneAfterDraw(QoEMapInfo* map) {
  MapSceneClearView();
  MapSceneMark(map, -1, -1);
  if (State().hooks.AfterDraw) State().hooks.AfterDraw(map);
  if (RastPort* rp = ScreenRastPort(); rp && MapDrawsAtDisplay()) ShowScreenRect(rp, 0, 0, Width(), Height());
}

}  // namespace

KartenScreenRecord* const KartenScreenData = &State().record;

const MapScreenHooks& CurrentMapScreenHooks() { return State().hooks; }

void MapScreenMissing(const char* what) { DebugLog("KartenScreen: %s ist noch nicht eingebaut.\n", what); }

// --- the map lock ----------------------------------------------------------------
void LockMapRecord() {
  MapScreenState& s = State();
  s.lock.lock();
  s.holder.store(std::this_thread::get_id(), std::memory_order_relaxed);
  s.depth++;
}

int32_t TryLockMapRecord() {
  MapScreenState& s = State();
  if (!s.lock.try_lock()) return 0;
  s.holder.store(std::this_thread::get_id(), std::memory_order_relaxed);
  s.depth++;
  return 1;
}

void UnlockMapRecord() {
  MapScreenState& s = State();
  if (--s.depth == 0) s.holder.store(std::thread::id{}, std::memory_order_relaxed);
  s.lock.unlock();
}

QoEMapInfo* PublishedMap() {
  MapScreenState& s = State();
  if (s.holder.load(std::memory_order_relaxed) != std::this_thread::get_id()) {
    DebugLog("PublishedMap: ohne die Kartensperre aufgerufen.\n");
    return nullptr;
  }
  return s.record.map;
}

void SetMapScreenHooks(const MapScreenHooks* hooks) { State().hooks = hooks ? *hooks : MapScreenHooks{}; }

void ResetMapScreenState() {
  ForgetMapInfoCache();
  ResetMapMarkerState();
  MapScreenState& s = State();
  s.record = KartenScreenRecord{};
  s.record.MarkedColumn = s.record.MarkedRow = -1;
  s.record.ListTab = 0xFFFF;
  s.zoneTicks = 0;
  s.ambientTicks = 0;
  s.ambientPeriod = 100;
  s.sound = MapScreenSoundSeams{};
}

// --- geometry -----------------------------------------------------------------------
MapCentre CentreOnTown(uint32_t town_x, uint32_t town_y, uint32_t width, uint32_t height, bool eight_bit) {
  MapCentre m{};
  int32_t c = ((int32_t)width + 16) / 48;
  if (((int32_t)width + 16) % 48) c--;
  int32_t x = (int32_t)town_x - c / 2 + 1;
  int32_t x_pos = c / 2 - 1;
  if (eight_bit) x++, x_pos--;
  if (x & 1) x--, x_pos++;
  int32_t r = ((int32_t)height + 28) / 56;
  if (((int32_t)height + 28) % 56) r++;
  int32_t y = (int32_t)town_y - r / 2 + 1;
  const int32_t y_pos = r / 2 - 1;
  if (x < 0) x += kWorldColumns;
  if (y < 0) y += kWorldRows;
  m.x = x;
  m.y = y;
  m.x_pos = (int16_t)x_pos;
  m.y_pos = (int16_t)y_pos;
  return m;
}

void RelayoutKarte1024(ScreenRegion* layout, int32_t width, int32_t height) {
  if (!layout) return;
  const int32_t dw = width - 1024, dh = height - 768;
  if (dw == 0 && dh == 0) return;
  for (uint32_t n = 0;; n++) {
    Gadget* g = GetRegionGadget(layout, n);
    if (!g) break;
    if (n == 23) {
      g->x2 = (uint16_t)(g->x2 + dw);
      g->y2 = (uint16_t)(g->y2 + dh);
      continue;
    }
    if (!(n == 6 || n == 7 || n == 8 || n >= 18)) {
      g->x1 = (uint16_t)(g->x1 + dw);
      g->x2 = (uint16_t)(g->x2 + dw);
    }
    g->y1 = (uint16_t)(g->y1 + dh);
    g->y2 = (uint16_t)(g->y2 + dh);
  }
  ScreenRecordList& l = layout->types[LAYOUT_U16LIST];
  if (l.size != 2) return;
  uint16_t* v = static_cast<uint16_t*>(l.first);
  for (uint32_t i : {9u, 13u, 18u, 19u, 24u, 26u, 28u, 30u})
    if (i < l.count) v[i] = (uint16_t)(v[i] + dw);
  for (uint32_t i : {14u, 15u, 21u, 23u, 25u, 27u, 29u, 31u})
    if (i < l.count) v[i] = (uint16_t)(v[i] + dh);
}

bool FigurKeyStep(uint32_t key, uint32_t figure_x, int16_t* dx, int16_t* dy) {
  const bool odd = (figure_x & 1) != 0;
  switch (key) {
    case '7': *dx = -1, *dy = odd ? 0 : -1; return true;
    case '8': *dx = 0, *dy = -1; return true;
    case '9': *dx = 1, *dy = odd ? 0 : -1; return true;
    case '1': *dx = -1, *dy = odd ? 1 : 0; return true;
    case '2': *dx = 0, *dy = 1; return true;
    case '3': *dx = 1, *dy = odd ? 1 : 0; return true;
    default: return false;
  }
}

// --- neighbours ----------------------------------------------------------------------
int32_t CheckNachbarFeld(KartenScreenRecord* d, uint16_t terrain_type, uint32_t owner) {
  QoEMapInfo* map = d ? d->map : nullptr;
  if (!map || !map->CMap) return 0;
  if (d->X_Pos < 0 || d->Y_Pos < 0 || d->X_Pos >= (int16_t)map->Columns || d->Y_Pos >= (int16_t)map->Rows) return 0;
  static const int8_t kOdd[6][2] = {{0, -1}, {1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}};
  static const int8_t kEven[6][2] = {{0, -1}, {1, -1}, {1, 0}, {0, 1}, {-1, 0}, {-1, -1}};
  const int32_t column = map->ViewColumn + d->X_Pos, row = map->ViewRow + d->Y_Pos;
  const auto& steps = (column & 1) ? kOdd : kEven;
  for (const auto& s : steps) {
    const MapTile* cell = CMapCell(map, column + s[0], row + s[1]);
    if (!cell) continue;
    const uint16_t type = terrain_type ? GetTypeOfHex(cell->Grafik) : 0;
    if (type != terrain_type) continue;
    if (owner == kNobody) return 1;
    if (GetActivePeopleOf(map, (int32_t)cell->X, (int32_t)cell->Y, 0, owner)) return 1;
  }
  return 0;
}

// --- graphics and sounds -------------------------------------------------------------
int32_t LoadKartenScreenGfx(KartenScreenRecord*) {
  auto open = [](uint32_t id) {
    if (OpenElmorGfx(kPath, id) == 1) return true;
    DebugLog("LoadKartenScreenGfx : Konnte Grafik nicht öffnen! <%u>\n", id);
    return false;
  };
  uint32_t opened = 0;
  bool ok = true;
  for (uint32_t id : kGfxAll) {
    if (!(ok = open(id))) break;
    opened++;
  }
  if (ok && Deep())
    for (uint32_t id : kGfxDeep) {
      if (!(ok = open(id))) break;
      opened++;
    }
  if (ok) return 1;
  // What opened is closed again, so the counts stay matched.
  for (uint32_t i = 0; i < opened; i++) CloseElmorGfx(i < 17 ? kGfxAll[i] : kGfxDeep[i - 17]);
  return 0;
}

void FreeKartenScreenGfx() {
  for (uint32_t id : kGfxAll) CloseElmorGfx(id);
  if (Deep())
    for (uint32_t id : kGfxDeep) CloseElmorGfx(id);
}

int32_t LoadKartenScreenSfx(KartenScreenRecord* d) {
  if (OpenElmorSfx(kSfxPath, kSfxSea) != 1) {
    DebugLog("LoadStadtScreenSfx : Konnte Sound-FX nicht öffnen!\n");
    return 0;
  }
  auto group = [](const uint32_t* ids, uint32_t n) {
    for (uint32_t i = 0; i < n; i++)
      if (OpenElmorSfx(kSfxPath, ids[i]) != 1) {
        DebugLog("LoadStadtScreenSfx : Konnte Sound-FX nicht öffnen!\n");
        return false;
      }
    return true;
  };
  const bool quarter = d->Quarter == 3 ? group(kSfxWinter, 4) : group(kSfxSummer, 4);
  const bool last = group(kSfxLast, 3);
  return quarter || last ? 1 : 0;
}

void FreeKartenScreenSfx(KartenScreenRecord* d) {
  if (d->Voice && IsSfxIdle(d->Voice)) {
    CloseElmorSfx000(d->Voice);
    d->Voice = 0;
  }
  for (uint32_t id : kSfxFreeOrder) CloseElmorSfx000(id);
}

// --- set-up ---------------------------------------------------------------------------
QoEMapInfo* InitMap(KartenScreenRecord* d) {
  st_TOWN* town = GetActiveTown(OwnPlayerPtr->ActiveTown);
  if (!town) {
    DebugLog("InitMap : Konnte Stadt nicht laden!\n");
    return nullptr;
  }
  const bool eight = !Deep();
  const MapCentre m = CentreOnTown(town->XPos, town->YPos, Width(), Height(), eight);
  FreeVec(town);
  d->X_Pos = m.x_pos;
  d->Y_Pos = m.y_pos;
  uint16_t flags = MAPF_KNOWLEDGE | MAPF_FIGURES | MAPF_SIGHT;
  if (CheckPrefs(PREFS_MAP_BORDERS, 0, 0)) {
    flags |= MAPF_BORDERS;
    d->BordersOverlay ^= 1;
    if (eight) BlitObjekt(nullptr, 145, 515, 375, 21, 19);
  }
  d->ResourcesOverlay = 0;
  QoEMapInfo* map = LadeKarte(flags, (uint16_t)(m.x / kPartColumns), (uint16_t)(m.y / kPartRows), ".\\Map");
  if (!map) {
    DebugLog("InitMap : Konnte Karte nicht öffnen \n");
    return nullptr;
  }
  map->TileVariant = d->Quarter;
  map->Armies = d->Armies;
  map->Ships = d->Ships;
  // The OpenGL display with the engine's map scene ready: the landscape is
  // the view (InitPosGL over the whole display, the scene's window of
  // cells); otherwise the 2D view, in OpenGL mode drawn into the map's
  // display bitmap (mapgl.h; docs/map-screen.md, "OpenGL").
  uint16_t scene_columns = 0, scene_rows = 0;
  int32_t ok;
  if (!eight && MapSceneView(&scene_columns, &scene_rows)) {
    ok = InitPosGL(map, m.x, m.y, 0, 0, (uint16_t)Width(), (uint16_t)Height(), (int16_t)flags);
    map->Columns = scene_columns;
    map->Rows = scene_rows;
    map->AfterDraw = SceneAfterDraw;
    if (ok) SceneAfterDraw(map);  // as InitPos draws its view
  } else {
    map->AfterDraw = State().hooks.AfterDraw;
    ok = eight ? InitPos(map, m.x, m.y, 16, 16, 480, 448, (int16_t)flags)
               : InitPos(map, m.x, m.y, 0, 0, (uint16_t)Width(), (uint16_t)Height(), (int16_t)flags);
  }
  if (!ok) {
    DebugLog("InitMap : Konnte Karte nicht öffnen \n");
    ExitPos(map);
    ExitKarte(map);
    return nullptr;
  }
  DebugLog("Game-Map !\n");
  DebugLog("Capital Position X : %u\n        Position Y : %u\n", (uint32_t)m.x, (uint32_t)m.y);
  return map;
}

int32_t InitAllThingsKarte(KartenScreenRecord* d, int32_t relayout) {
  d->MarkedColumn = d->MarkedRow = -1;
  const ScreenRegion* minimap_layout = d->MainLayout;
  if (!Deep()) {
    // The text areas, printed on entry.
    const ScreenRecordList& areas = d->MainLayout->types[LAYOUT_AREA];
    RastPort* rp = ScreenRastPort();
    for (uint32_t i = 0; rp && i < areas.count; i++) {
      const TextArea* a = static_cast<const TextArea*>(areas.first) + i;
      if (!a->text) continue;
      SetFont(rp, d->Fonts[i < 2 ? MAPFONT_ELMOR : MAPFONT_HELV11]);
      PrintTextOutlined(rp, a->x1, a->y1, a->x2, a->y2, a->text, 0, 7, 37);
    }
    minimap_layout = d->MenuLayout;
  } else if (relayout && (Width() != 1024 || Height() != 768)) {
    RelayoutKarte1024(d->MainLayout, (int32_t)Width(), (int32_t)Height());
  }
  FreeMiniMap(d->Minimap);
  d->Minimap = nullptr;
  const ScreenRecordList& values = minimap_layout->types[LAYOUT_U16LIST];
  if (values.size == 2 && values.count >= (Deep() ? 24u : 12u))
    d->Minimap = InitMiniMap(static_cast<const uint16_t*>(values.first));
  QoEMapInfo* map = d->Minimap ? InitMap(d) : nullptr;
  if (!map) {
    DebugLog("InitAllThings : Konnte Karte nicht öffnen !\n");
    return 0;
  }
  Publish(d, map);
  // On a deeper display drawn at the display (built in advance behind the
  // screens to come, or set up anew behind the current one): the first
  // draw came before the map was published, so its frame and panels are
  // drawn now; a map shown draws them again when it is shown.
  if (Deep() && MapDrawsAtDisplay() && map->AfterDraw) map->AfterDraw(map);
  return 1;
}

namespace {

// The deeper display's layout made anew (the relayout applies once).
ScreenRegion* LoadMainLayout(KartenScreenRecord* d) {
  if (d->MainLayout) FreeScreenRegion(d->MainLayout);
  d->MainLayout = GetScreenRegion(Deep() ? ".\\Data\\Screendat\\Karte1024.dat" : ".\\Data\\Screendat\\Karte.dat", 518);
  d->Layout = d->MainLayout;
  d->MainLayoutDeep = Deep() ? 1 : 0;
  return d->MainLayout;
}

// 0 when the figure list could not be written back.
int32_t FreeMapOnly(KartenScreenRecord* d) {
  QoEMapInfo* map = d->map;
  if (!map) return 1;
  LockMapRecord();
  d->map = nullptr;
  const int32_t written = ExitPos(map);
  ExitKarte(map);
  LadeFigurenGfx(0);
  UnlockMapRecord();
  return written;
}

// Frees everything the screen made (Status 0 or 1), the turn data written;
// 0 when the figures or the turn data could not be written.
int32_t FreeAll(KartenScreenRecord* d) {
  FreeMiniMap(d->Minimap);
  d->Minimap = nullptr;
  if (d->InfoRequester) FreeRequesterBox(d->InfoRequester);
  if (d->ListRequester) FreeRequesterBox(d->ListRequester);
  d->InfoRequester = d->ListRequester = nullptr;
  FreeVec(d->ListLines);
  d->ListLines = nullptr;
  if (d->SavedPanel) FreeBitMap(d->SavedPanel);
  d->SavedPanel = nullptr;
  int32_t ok = FreeMapOnly(d);
  FreeMapDisplayBitMap();
  if (d->MainLayout) FreeScreenRegion(d->MainLayout);
  if (d->MenuLayout) FreeScreenRegion(d->MenuLayout);
  d->MainLayout = d->MenuLayout = d->Layout = d->SavedLayout = nullptr;
  FreeKartenScreenGfx();
  ok = WriteKartenScreenData(d, 1) && ok;
  ReleaseKartenScreenData(d);
  CloseFonts(d);
  d->PanelMode = 0;
  d->Status = MAPSCREEN_NOT_BUILT;
  ClearSelection(d);
  return ok;
}

bool OpenFonts(KartenScreenRecord* d) {
  static const char* const kFonts[4] = {"fonts\\ElmorC1.fnt", "fonts\\XHelvetica11.fnt", "fonts\\XHelvetica13.fnt",
                                        "fonts\\XHelvetica9.fnt"};
  static const char* const kLines[4] = {
      "KartenScreenKonstruktor: Konnte Elmor-Font ELMORC1 nicht öffnen !\n",
      "KartenScreenKonstruktor: Konnte Elmor-Font HELVETICA11 nicht öffnen !\n",
      "KartenScreenKonstruktor: Konnte Elmor-Font HELVETICA13 nicht öffnen !\n",
      "KartenScreenKonstruktor: Konnte Elmor-Font HELVETICA9 nicht öffnen !\n"};
  for (uint32_t i = 0; i < 4; i++) {
    if (d->Fonts[i]) continue;
    if (!(d->Fonts[i] = OpenDiskFont(kFonts[i]))) {
      StartFailed(kStepFont, kLines[i]);
      return false;
    }
  }
  return true;
}

// The step of the view (double columns, rows) that puts the active town
// where the shown map has it; false (no step) without a town.
bool StepToTown(const QoEMapInfo* map, int32_t* dx, int32_t* dy) {
  *dx = *dy = 0;
  st_TOWN* town = GetActiveTown(OwnPlayerPtr->ActiveTown);
  if (!town) return false;
  // The shortest way round the world to the town, then the centring.
  const int32_t rx = RingDelta(town->XPos, map->X, kWorldColumns);
  const int32_t ry = RingDelta(town->YPos, map->Y, kWorldRows);
  *dx = (rx >> 1) - (map->Columns >> 2);
  *dy = ry - ((map->Rows >> 1) - 1);
  if (*dx & 1) (*dx)++;
  FreeVec(town);
  return true;
}

// The first build: Status 0.
bool BuildFirst(KartenScreenRecord* d) {
  DebugLog("Status 0\n");
  if (!ReadKartenScreenData(d)) DebugLog("KartenScreenKonstruktor: Konnte Daten nicht laden !\n");
  auto fail = [&](uint32_t step, const char* line) {
    StartFailed(step, line);
    FreeAll(d);
    CloseElmorPic(kMapPicture, 0);
    return false;
  };
  if (OpenElmorPic(kPath, kMapPicture, Deep() ? 5 : 1) < 0) return fail(kStepPicture, "KartenScreenKonstruktor: Konnte Pic nicht laden!\n");
  if (!LoadKartenScreenGfx(d)) {
    // Nothing of the graphics stays open: FreeAll must not close them again.
    StartFailed(kStepGraphics, "KartenScreenKonstruktor: Konnte Grafiken nicht laden !\n");
    WriteKartenScreenData(d, 1);
    CloseFonts(d);
    CloseElmorPic(kMapPicture, 0);
    return false;
  }
  if (!LoadMainLayout(d)) return fail(kStepLayout, "KartenScreenKonstruktor: Kann Screen-Daten nicht laden!\n");
  if (Deep()) {
    d->ListTab = 0xFFFF;
    // The map is the backdrop of the screens to come from the first on:
    // drawn at display coordinates round their 640 x 480 area, with its
    // frame and panels (the refresh of a map behind another screen).
    const uint32_t corner = MapDrawsAtDisplay();
    MapDrawAtDisplay(1);
    const int32_t made = InitAllThingsKarte(d, 1);
    if (made) {
      WriteKartenScreenData(d, 1);
      d->Status = MAPSCREEN_KEPT;
      // The view where a visit leaves it: the town where the shown map has
      // it (the 3D view's window is larger than the display's columns).
      int32_t dx, dy;
      if (StepToTown(d->map, &dx, &dy) && (dx || dy)) Scroll(d, dx, dy);
      // Its picture was opened without a transition, which keeps what is
      // drawn hidden until one runs: the backdrop is shown whole now.
      UpdateRectangle(0, 0, (int32_t)Width(), (int32_t)Height());
    }
    MapDrawAtDisplay(corner);
    if (!made) return fail(kStepMap, "KartenScreenKonstruktor: Konnte Screen nicht einrichten !\n");
    // The picture is let go; the re-show opens it again.
    CloseElmorPic(kMapPicture, 1);
    return true;
  }
  if (!(d->MenuLayout = GetScreenRegion(".\\Data\\Screendat\\KarteMenu2.dat", 514)))
    return fail(kStepLayout, "SwitchGUI : Kann ScreenRegion nicht laden!\n");
  ClearSelection(d);
  if (!InitAllThingsKarte(d, 0)) return fail(kStepMap, "KartenScreenKonstruktor: Konnte Screen nicht einrichten !\n");
  RestoreMouseGadgets(ScreenRastPort(), d->Layout);
  StartTheTransition();
  return true;
}

// The re-show of the map built in advance: Status 1 to 2.
bool Reshow(KartenScreenRecord* d) {
  DebugLog("Status 1\n");
  if (!ReadKartenScreenData(d)) DebugLog("KartenScreenKonstruktor: Konnte Daten nicht laden !\n");
  QoEMapInfo* map = d->map;
  {
    MotionHold hold(d);
    LockMapRecord();
    map->Armies = d->Armies;
    map->Ships = d->Ships;
    const int32_t loaded = InitPosLoadPeopleMem(map);
    UnlockMapRecord();
    if (!loaded) {
      DebugLog("KartenScreenKonstruktor: Konnte Speicher für Move-Chunk nicht reservieren...");
      return false;
    }
  }
  ClearSelection(d);
  if (d->ListRequester) d->ListRequester->selected = kNoEntry;
  // The map spans the display: shown at display coordinates from here on.
  MapDrawAtDisplay(1);
  CloseElmorPic(0, 2);
  OpenElmorPic(kPath, kMapPicture, 2);
  int32_t dx = 0, dy = 0;
  if (!StepToTown(map, &dx, &dy)) DebugLog("KartenScreenKonstruktor: Konnte Stadt nicht laden!\n");
  d->Status = MAPSCREEN_SHOWN;
  d->TownRequest = 0;
  Scroll(d, dx, dy);
  RestoreMouseGadgets(ScreenRastPort(), d->Layout);
  return true;
}

}  // namespace

int32_t KartenScreenKonstruktor(KartenScreenRecord* d) {
  if (!OpenFonts(d)) {
    CloseFonts(d);
    return 0;
  }
  if (d->Status == MAPSCREEN_NOT_BUILT) {
    if (!BuildFirst(d)) return 0;
    if (!Deep()) return 1;
  }
  if (d->Status == MAPSCREEN_KEPT && Deep()) {
    if (!d->map) return 0;
    return Reshow(d) ? 1 : 0;
  }
  return 1;
}

void KartenScreenFreigabe(KartenScreenRecord* d) {
  ForgetMapInfoCache();
  int32_t ok = 1;
  if (d->Status == MAPSCREEN_SHOWN) {
    if (d->map) {
      MotionHold hold(d);
      ok = ExitPosWriteMapPrefs(d->map);
    }
    ok = WriteKartenScreenData(d, 1) && ok;
    d->Status = MAPSCREEN_KEPT;
    Scroll(d, 0, 0);
  } else {
    ok = FreeAll(d);
  }
  // The player leaves the map: orders that did not reach the files are told.
  if (!ok) {
    DebugLog("KartenScreenFreigabe: Die Befehle der Karte konnten nicht gespeichert werden!\n");
    mapaction::Notice(kTextNotSaved);
  }
}

// --- the event loop --------------------------------------------------------------------
namespace {

// Edge scrolling: the zones of the main layout's values, strict tests. Only
// while the pointer is over the window and the window has the focus: a
// pointer that left at an edge keeps its last position there, and the view
// must not drift on by itself.
void EdgeScroll(KartenScreenRecord* d) {
  MapScreenState& s = State();
  const ScreenRegion* r = d->MainLayout;
  const int32_t mx = GetMouseX(), my = GetMouseY();
  // Before the first move the position is no pointer's: no scroll.
  const bool gone = mx == 65535 || my == 65535 || !MouseInWindow() || !MousePositionKnown();
  const bool top = !gone && StrictlyIn(mx, LayoutValue(r, 8), LayoutValue(r, 9)) &&
                   StrictlyIn(my, LayoutValue(r, 10), LayoutValue(r, 11));
  const bool bottom = !gone && StrictlyIn(mx, LayoutValue(r, 12), LayoutValue(r, 13)) &&
                      StrictlyIn(my, LayoutValue(r, 14), LayoutValue(r, 15));
  const bool left = !gone && StrictlyIn(mx, LayoutValue(r, 16), LayoutValue(r, 17));
  const bool right = !gone && StrictlyIn(mx, LayoutValue(r, 18), LayoutValue(r, 19));
  if (!(top || bottom || left || right)) {
    s.zoneTicks = 0;
    return;
  }
  const bool scroll = s.zoneTicks > 1;
  s.zoneTicks++;
  if (!scroll) return;
  if (top) Scroll(d, 0, -1);
  if (bottom) Scroll(d, 0, 1);
  if (left) Scroll(d, -1, 0);
  if (right) Scroll(d, 1, 0);
}

void PlaySfx(uint32_t id) {
  if (State().sound.play) State().sound.play(id);
  else SfxPlayer000(id, 0, 0);
}
bool SfxIdle(uint32_t id) { return State().sound.idle ? State().sound.idle(id) != 0 : IsSfxIdle(id) != 0; }
bool CdReady() {
  if (State().sound.cdReady) return State().sound.cdReady() != 0;
  const OptionenPrefs& o = QoESystemPtr->Optionen;
  return IsCDReady(o.cd_device, o.cd_unit) != 0;
}
void PlayCd(uint8_t track) {
  if (State().sound.playCd) {
    State().sound.playCd(track);
    return;
  }
  const OptionenPrefs& o = QoESystemPtr->Optionen;
  PlayCDTrack1(o.cd_device, o.cd_unit, track, track);
}

void PlayIfIdle(uint32_t id) {
  if (SfxIdle(id)) PlaySfx(id);
}

void Ambience(KartenScreenRecord* d) {
  MapScreenState& s = State();
  if (CheckNachbarFeld(d, 10, kNobody)) PlayIfIdle(78);
  if (CheckNachbarFeld(d, 2, kNobody) || CheckNachbarFeld(d, 1, kNobody)) PlayIfIdle(101);
  if (CheckNachbarFeld(d, 0, 0xFFFFFFFEu)) PlayIfIdle(105);
  if (++s.ambientTicks < s.ambientPeriod) return;
  if (CdReady()) {
    static const uint8_t kTracks[3] = {11, 10, 14};
    const uint32_t k = MapRandom(nullptr, 3);
    if (k < 3) PlayCd(kTracks[k]);
  }
  s.ambientTicks = 0;
  s.ambientPeriod = (MapRandom(nullptr, 5) + 1) * 10;
  const uint32_t k = MapRandom(nullptr, 3);
  if (d->Quarter == 3) {
    static const uint32_t kWinter[3] = {103, 104, 102};
    if (k < 3) PlaySfx(kWinter[k]);
    return;
  }
  if (k == 0 && CheckNachbarFeld(d, 5, kNobody)) PlaySfx(24);
  else if (k == 1 && CheckNachbarFeld(d, 5, kNobody)) PlaySfx(27);
  else if (k == 2 && CheckNachbarFeld(d, 7, kNobody)) PlaySfx(15);
  else if (k == 3 && SfxIdle(166) && SfxIdle(167) && CheckNachbarFeld(d, 0, 0xFFFFFFF7u))
    PlaySfx(MapRandom(nullptr, 1) ? 167 : 166);
}

bool MusicActive() {
  const uint32_t need = SOUND_FASTTRACKER | SOUND_MUSIC | 1u;
  return (QoESystemPtr->SoundStatus.load() & need) == need;
}

void LeaveMusicZone(KartenScreenRecord* d) {
  if (!d->ZoneSwitched) return;
  d->ZoneSwitched = 0;
  if (MusicActive()) MusicSwitchTo(d->SavedModule);
  DebugLog("KartenScreen: Musik zurueck auf %s\n", d->SavedModule);
}

void MusicZone(KartenScreenRecord* d) {
  if (!d->map) return;
  const int32_t x = d->map->X, y = d->map->Y;
  const bool inside = x >= 103 && x <= 175 && y >= 6298 && y <= 6346;
  if (!inside) {
    LeaveMusicZone(d);
    return;
  }
  if (d->ZoneSwitched || !MusicActive()) return;
  char current[256] = {};
  MusicCurrentName(current, sizeof current);
  if (std::strlen(current) >= kMapSavedModuleSize) {
    // A cut path would stop the music when it is given back.
    DebugLog("KartenScreen: Modulpfad zu lang, die Musik bleibt: %s\n", current);
    d->ZoneSwitched = 0;
    return;
  }
  std::memcpy(d->SavedModule, current, std::strlen(current) + 1);
  MusicSwitchTo(kSecretModule);
  d->ZoneSwitched = 1;
  DebugLog("KartenScreen: Musik %s\n", kSecretModule);
}

}  // namespace

int32_t LayoutValue(const ScreenRegion* r, uint32_t i) {
  if (!r) return 0;
  const ScreenRecordList& l = r->types[LAYOUT_U16LIST];
  if (l.size != 2 || i >= l.count) return 0;
  return (int16_t) static_cast<const uint16_t*>(l.first)[i];
}

void MapScreenPlaySfx(uint32_t id) { PlaySfx(id); }
int32_t MapScreenSfxIdle(uint32_t id) { return SfxIdle(id) ? 1 : 0; }
void MapScreenPlayCd(uint8_t track) { PlayCd(track); }

void KartenScreenRightClick(KartenScreenRecord* d, int32_t* next) {
  MapScreenHooks& h = State().hooks;
  if (d->map) std::atomic_ref<uint32_t>(d->map->AnimStop).store(1);
  if (d->TargetChosen) {
    CallVoid(h.CheckPersonEvent, d, "CheckPersonEvent");
    if (d->TownRequest) *next = 39;
    return;
  }
  if (d->FigureSelected) {
    if (!h.FigurMenu) {
      Missing("FigurMenu");
      return;
    }
    if (h.FigurMenu(d) != 1) return;
    if (d->SelectedFigure && d->SelectedFigure->Status == 20) {
      *next = 1293;
      return;
    }
    CallVoid(h.CheckAktionsFeld, d, "CheckAktionsFeld");
    return;
  }
  if (!h.FeldMenu) {
    Missing("FeldMenu");
    return;
  }
  switch (h.FeldMenu(d)) {
    case 0: CallVoid(h.EnterMapNames, d, "EnterMapNames"); break;
    case 1: CallVoid(h.ArbeiterReq, d, "ArbeiterReq"); break;
    case 2: TextBox(GetCatalogStr(1421)); break;
    default: break;
  }
}

void KartenScreenTick(KartenScreenRecord* d) {
  EdgeScroll(d);
  if (MotionBusy.load()) return;
  Ambience(d);
  MusicZone(d);
}

void SetMapScreenSoundSeams(const MapScreenSoundSeams* seams) {
  State().sound = seams ? *seams : MapScreenSoundSeams{};
}

namespace {

void MapClick(KartenScreenRecord* d) {
  if (!d->map || (!d->map->Bitmap && !MapOnScene(d->map))) return;
  // The click takes the hex drawn under the mouse, or on the 3D view the
  // landscape's cell there (none beside the landscape).
  const int32_t mx = GetMouseX(), my = GetMouseY();
  if (!CallIsInMapArea(mx, my, mx, my)) return;
  int16_t column = 0, row = 0;
  if (!d->map->Bitmap && !MapSceneHexAt(d->map, mx, my, &column, &row)) return;
  const uint32_t hex =
      !d->map->Bitmap ? uint32_t(uint16_t(column)) << 16 | uint16_t(row) : GetHexAtScreen(d->map, mx, my);
  d->X_Pos = (int16_t)(hex >> 16);
  d->Y_Pos = (int16_t)(hex & 0xFFFF);
  DebugLog("LDKS_MW->X_Pos %u LDKS_MW->Y_Pos %u\n", (uint32_t)(uint16_t)d->X_Pos, (uint32_t)(uint16_t)d->Y_Pos);
  CallClickFigurOnMap(d);
  CallUpdateInfoBox(d);
}

void FigureKey(KartenScreenRecord* d, uint32_t key) {
  MapFigur* f = d->SelectedFigure;
  int16_t dx = 0, dy = 0;
  if (!d->FigureSelected || !f || !d->map || !FigurKeyStep(key, f->X, &dx, &dy)) return;
  CallPlayFigurSfx(d, 0);
  int32_t moved;
  {
    MotionHold hold(d);
    moved = SetPeople(d->map, f, dx, dy);
  }
  if (moved) {
    const FigurRecord rec{f->Besitzer, f->Typ, f->Nummer, f->X, f->Y, f->Status, f->Punkte};
    SetFigurDependence(&rec, dx, dy, d->Armies, d->Ships, d->map->Figures, d->map->FigureBytes);
  }
  CallUpdateInfoBox(d);
}

void Key(KartenScreenRecord* d, uint32_t key, bool extended) {
  if (extended && key == WE_KEY_LEFT) Scroll(d, -1, 0);
  else if (extended && key == WE_KEY_UP) Scroll(d, 0, -1);
  else if (extended && key == WE_KEY_RIGHT) Scroll(d, 1, 0);
  else if (extended && key == WE_KEY_DOWN) Scroll(d, 0, 1);
  else if (!extended && (key == 'a' || key == 'A')) Scroll(d, -1, 0);
  else if (!extended && (key == 'w' || key == 'W')) Scroll(d, 0, -1);
  else if (!extended && (key == 'd' || key == 'D')) Scroll(d, 1, 0);
  else if (!extended && (key == 's' || key == 'S')) Scroll(d, 0, 1);
  else if (!extended) FigureKey(d, key);
}

void SliderGadget(QoERequester* req, uint32_t step) {
  if (!req) return;
  MoveSlider(req, step ? step : GetMouseY());
  ScrollRequester(req, 0, 0);
}

// Acts on a gadget of the active layout; false for the key pseudo gadget
// (and any gadget without a row).
bool HandleGadget(KartenScreenRecord* d, Gadget* g, int32_t* next, bool* leave) {
  MapScreenHooks& h = State().hooks;
  if (GadgetIs(g, "MAP0")) MapClick(d);
  else if (GadgetIs(g, "MAP1") || GadgetIs(g, "BUT1") || GadgetIs(g, "BUT2") || GadgetIs(g, "BUT3") ||
           GadgetIs(g, "BUT4") || GadgetIs(g, "BUT5")) {
    const char id[5] = {g->id[0], g->id[1], g->id[2], g->id[3], 0};
    CallUpdateFigurRequester(d, id);
  } else if (GadgetIs(g, "LEFT")) Scroll(d, -1, 0);
  else if (GadgetIs(g, "RIGH")) Scroll(d, 1, 0);
  else if (GadgetIs(g, "UPGO")) Scroll(d, 0, -1);
  else if (GadgetIs(g, "DOWN")) Scroll(d, 0, 1);
  else if (GadgetIs(g, "GREN")) CallToggle(d, 2);
  else if (GadgetIs(g, "SYMB")) {
    CallToggle(d, 1);
    if (h.PrintMapNames) h.PrintMapNames(d, 1);
    else Missing("PrintMapNames");
  } else if (GadgetIs(g, "ROHS")) {
    CallToggle(d, 0);
    if (h.PrintArbeiterAnzahl) h.PrintArbeiterAnzahl(d, 1);
    else Missing("PrintArbeiterAnzahl");
  } else if (GadgetIs(g, "INFO")) TextBox(GetCatalogStr(513));
  else if (GadgetIs(g, "FORW")) CallVoid(h.SwitchGUI, d, "SwitchGUI");
  else if (GadgetIs(g, "FIGU")) CallVoid(h.JumpToFigur, d, "JumpToFigur");
  else if (GadgetIs(g, "SL01")) SliderGadget(d->InfoRequester, 0);
  else if (GadgetIs(g, "UPG1")) SliderGadget(d->InfoRequester, 0x808A);
  else if (GadgetIs(g, "DOW1")) SliderGadget(d->InfoRequester, 0x800A);
  else if (GadgetIs(g, "SLMO")) SliderGadget(d->ListRequester, 0);
  else if (GadgetIs(g, "SLUP")) SliderGadget(d->ListRequester, 0x808A);
  else if (GadgetIs(g, "SLDO")) SliderGadget(d->ListRequester, 0x800A);
  else if (GadgetIs(g, "EXIT")) *leave = true;
  else return false;
  (void)next;
  return true;
}

ColorCycle* StartCycle() {
  uint8_t table[5 * 22];
  std::memcpy(table, kCycle, sizeof table);
  return InitColorCycle(5, 22, table);
}

}  // namespace

int32_t KartenScreen(int32_t code, int32_t run) {
  KartenScreenRecord* d = KartenScreenData;
  MapScreenState& s = State();
  const OptionenPrefs& o = QoESystemPtr->Optionen;
  PlayCDTrack1(o.cd_device, o.cd_unit, 6, 6);
  DebugLog("Status %d\n", (int)d->Status);
  DebugLog("LetzRun %d\n", (int)run);
  if (!run) {
    if (d->Status == MAPSCREEN_KEPT) {
      FreeAll(d);
      return -1;
    }
    // Built in advance only for an installed game; without one the first
    // visit builds.
    if (d->Status != MAPSCREEN_NOT_BUILT || !Deep()) return code;
    if (CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0) != ACCOUNT_INSTALLED) return code;
    s.silent = true;
    const bool built = OpenFonts(d) && BuildFirst(d);
    s.silent = false;
    if (!built) {
      CloseFonts(d);
      return -1;
    }
    return code;
  }
  if (d->Status != MAPSCREEN_SHOWN && !KartenScreenKonstruktor(d)) return -1;
  if (!LoadKartenScreenSfx(d)) DebugLog("KartenScreen: Konnte Sound nicht laden !\n");
  d->Cycle = StartCycle();
  if (d->map) {
    d->map->PosChanged = 1;
    // The first draw came before the map was published: the markers, the
    // coordinates and the panels are drawn over it now.
    if (d->map->AfterDraw) d->map->AfterDraw(d->map);
    // The 3D view has no 2D map objects to animate: its figures are
    // characters of the landscape.
    if (!MapOnScene(d->map)) {
      DebugLog("StarttheMotion...\n");
      d->Motion = StartTheMotion(d->map);
    }
    // The figures could not be read: the player learns it as the map opens.
    if (d->map->FigureFileDamaged) mapaction::TellFigureFileDamaged(d->map->FigureFileDamaged);
  }
  s.zoneTicks = 0;
  s.ambientTicks = 0;
  s.ambientPeriod = 100;
  int32_t next = -1;
  bool leave = false;
  while (!leave && next == -1) {
    if (WindowCloseRequested()) break;
    const int32_t event = WaitEvent(WE_EXTENDED | WE_TICKS);
    const bool extended = WaitEventExtended() != 0;
    if (event == WE_KEY_ESCAPE) leave = true;
    if (event == WE_RIGHT_DOWN) {
      KartenScreenRightClick(d, &next);
      continue;
    }
    if (event == WE_TICK) KartenScreenTick(d);
    Gadget* g = HandleGadgetEvent(ScreenRastPort(), d->Layout, (uint32_t)event);
    if (!g) continue;
    if (d->map) std::atomic_ref<uint32_t>(d->map->AnimStop).store(1);
    if (!HandleGadget(d, g, &next, &leave)) {
      if (GadgetIs(g, "KEY!")) Key(d, g->keyCode, extended);
      if (d->map) std::atomic_ref<uint32_t>(d->map->AnimStop).store(0);
    }
  }
  if (next == -1) next = code;
  // Tear-down.
  LeaveMusicZone(d);
  if (d->Motion) StopTheMotion(d->Motion);
  d->Motion = nullptr;
  StopColorCycle(d->Cycle);
  d->Cycle = nullptr;
  FreeKartenScreenSfx(d);
  if (d->Layout) FreeMouseGadgetImages(d->Layout);
  KartenScreenFreigabe(d);
  MapDrawAtDisplay(0);
  CloseElmorPic(kMapPicture, next == -1 ? 0 : 1);
  return next;
}

int32_t KartenScreenRun(int32_t code) { return KartenScreen(code, 1); }

int32_t MapScreenPrebuild() { return KartenScreen(1, 0) == -1 ? 0 : 1; }

void MapScreenRelease() {
  if (KartenScreenData->Status == MAPSCREEN_KEPT) KartenScreen(0, 0);
}

int32_t MapScreenSaveData() {
  KartenScreenRecord* d = KartenScreenData;
  if (!Deep() || d->Status != MAPSCREEN_KEPT) return 1;
  // The map's parts and figure list are written by ExitPos and ExitKarte;
  // the pointer is null until the new set-up publishes the next map.
  FreeMapOnly(d);
  FreeMiniMap(d->Minimap);
  d->Minimap = nullptr;
  const int32_t ok = WriteKartenScreenData(d, 0);
  return ok;
}

int32_t MapScreenNewSetup() {
  KartenScreenRecord* d = KartenScreenData;
  if (!Deep() || d->Status != MAPSCREEN_KEPT) return 1;
  BitMap* saved = SaveBackground(0, 0, 640, 480);
  if (!saved) {
    DebugLog("KartenScreenNewSetup: Konnte aktuellen Hintergrund nicht retten !\n");
    return 0;
  }
  const uint32_t shown = QoESystemPtr->Display ? QoESystemPtr->Display->PicId : 0;
  FreeCaches(5);
  // What the previous set-up made goes first, so memory stays flat.
  FreeMapOnly(d);
  FreeMiniMap(d->Minimap);
  d->Minimap = nullptr;
  if (!ReadKartenScreenData(d)) DebugLog("KartenScreenKonstruktor: Konnte Daten nicht laden !\n");
  int32_t ok = 1;
  ClearSelection(d);
  // The new map is drawn at display coordinates, round the current screen's
  // area, which the saved copy then puts back.
  const uint32_t corner = MapDrawsAtDisplay();
  MapDrawAtDisplay(1);
  if (!InitAllThingsKarte(d, 0)) {
    DebugLog("KartenScreenKonstruktor: Konnte Screen nicht einrichten !\n");
    ok = 0;
  }
  MapDrawAtDisplay(corner);
  // The turn data is written back now and read afresh at the next visit.
  WriteKartenScreenData(d, 1);
  if (shown && shown != kMapPicture && OpenElmorPic(kPath, shown, 2) < 0) {
    DebugLog("KartenScreenKonstruktor: Konnte Pic nicht laden!\n");
    ok = 0;
  }
  RestoreBackground(saved, 0, 0, 640, 480);  // shown and freed
  return ok;
}
