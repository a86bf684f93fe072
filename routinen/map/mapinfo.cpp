// The map screen's information panel, the names overlay and the figure
// voices. The panel looks an owner's name up once per clicked hex and keeps
// it; the names overlay reads the town list and the town files once when it
// is switched on (again when the town list changes), so a redraw of the map
// reads no file.
#include "mapinfo.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "map_internal.h"
#include "mapdisplay.h"
#include "mapscreen.h"
#include "platform/display.h"
#include "platform/log.h"
#include "platform/threads.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/towns.h"
#include "routinen/gui/layout.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/requester.h"
#include "routinen/gui/text.h"
#include "routinen/media/movie.h"
#include "routinen/media/sound.h"
#include "routinen/system/catalog.h"
#include "routinen/system/fonts.h"
#include "routinen/system/graphics.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"
#include "routinen/system/files.h"
#include "routinen/system/sysrecords.h"
#include "routinen/system/textout.h"

namespace {

// The terrain line never begins under the left panel of the deeper
// displays (picture 1143 at x 3, 178 wide).
constexpr int32_t kTerrainLineLeftmost = 181;

// Figure types: the catalog ID of the name (0: none, the line is left out),
// the picture and the count handed to the animation call.
struct FigurKind {
  uint32_t name;
  uint16_t picture;
  uint16_t count;
};
constexpr FigurKind kFigurKinds[21] = {
    {691, 380, 4},  {692, 441, 4},  {901, 450, 4},  {902, 457, 4},   {1115, 816, 2}, {1116, 823, 2},
    {1117, 830, 2}, {1110, 795, 2}, {1111, 802, 2}, {1112, 809, 2},  {1106, 788, 2}, {0, 0, 0},
    {1385, 1097, 4}, {0, 0, 0},     {867, 522, 2},  {868, 529, 2},   {869, 536, 2},  {870, 543, 2},
    {871, 550, 2},  {872, 557, 2},  {1541, 788, 2}};

// Order names by the figure's state byte; 19 and 20 have none.
constexpr uint32_t kOrderNames[19] = {689,  690,  899,  900,  1107, 1139, 1140, 1141, 1252, 1328,
                                      1356, 1360, 1361, 1416, 1422, 1430, 1450, 1538, 1537};
// Terrain names by terrain type 1..11.
constexpr uint32_t kTerrainNames[12] = {0, 1503, 1499, 1504, 1500, 1507, 1502, 1505, 1506, 1509, 1508, 1501};

enum : uint32_t {
  kXPos = 693, kYPos = 694, kPoints = 695, kOrder = 696, kOwner = 697, kAnimal = 698, kPlant = 699, kMineral = 700,
  kPlayer = 701, kFrom = 702, kNotOccupied = 703, kUnknown = 956, kDungeon = 1566
};

// The figure voices, walking and selected, by type.
constexpr uint16_t kWalk0[] = {36, 37, 38}, kSel0[] = {35};
constexpr uint16_t kWalk1[] = {45, 46, 48}, kSel1[] = {47};
constexpr uint16_t kWalk2[] = {79, 80, 85}, kSel2[] = {81, 82, 83, 84, 86};
constexpr uint16_t kWalk3[] = {87, 88, 90, 91}, kSel3[] = {89, 92};
constexpr uint16_t kWalk4[] = {148, 150, 152}, kSel4[] = {149, 151};
constexpr uint16_t kWalk5[] = {153, 156}, kSel5[] = {154, 155, 157};
constexpr uint16_t kWalk6[] = {158, 160}, kSel6[] = {159, 161, 162};
constexpr uint16_t kWalk7[] = {131, 132, 134}, kSel7[] = {133};
constexpr uint16_t kWalk8[] = {135, 136, 137, 139}, kSel8[] = {138, 140};
constexpr uint16_t kWalk9[] = {144, 145, 146, 147}, kSel9[] = {141, 142, 143};
constexpr uint16_t kWalkCivil[] = {114, 115, 119, 120, 123}, kSelCivil[] = {117, 116, 118, 121, 122, 124};
constexpr uint16_t kWalkShip[] = {128, 129}, kSelShip[] = {126, 127, 130};

struct VoiceList {
  const uint16_t* ids;
  uint32_t count;
};
template <size_t N>
constexpr VoiceList V(const uint16_t (&a)[N]) {
  return {a, (uint32_t)N};
}
constexpr VoiceList kNone{nullptr, 0};
constexpr VoiceList kVoices[21][2] = {
    {V(kWalk0), V(kSel0)}, {V(kWalk1), V(kSel1)}, {V(kWalk2), V(kSel2)},         {V(kWalk3), V(kSel3)},
    {V(kWalk4), V(kSel4)}, {V(kWalk5), V(kSel5)}, {V(kWalk6), V(kSel6)},         {V(kWalk7), V(kSel7)},
    {V(kWalk8), V(kSel8)}, {V(kWalk9), V(kSel9)}, {V(kWalkCivil), V(kSelCivil)}, {kNone, kNone},
    {V(kWalkCivil), V(kSelCivil)}, {kNone, kNone}, {V(kWalkShip), V(kSelShip)},  {V(kWalkShip), V(kSelShip)},
    {V(kWalkShip), V(kSelShip)},   {V(kWalkShip), V(kSelShip)}, {V(kWalkShip), V(kSelShip)},
    {V(kWalkShip), V(kSelShip)},   {V(kWalkCivil), V(kSelCivil)}};

// A town of the names overlay: where it stands and its name.
struct NamedTown {
  uint32_t x, y;
  std::string name;
};

// The module's state: the owner name of the last clicked hex, the players
// list made from the record's players chunk, the names overlay's towns.
struct MapInfoState {
  // The owners' names looked up for the clicked hex (the hex's and the
  // figure's), forgotten when the hex or the players chunk changes.
  struct Owner {
    uint32_t id;
    char name[40];
  };
  bool ownerValid = false;
  uint32_t ownerX = 0, ownerY = 0;
  const uint8_t* ownerPlayers = nullptr;
  std::vector<Owner> owners;
  ListHeader* players = nullptr;
  const uint8_t* playersFrom = nullptr;
  bool townsLoaded = false;
  int64_t townListStamp = -1;
  std::vector<NamedTown> towns;
};
MapInfoState& S() {
  static MapInfoState s;
  return s;
}

bool Deep() { return MapDisplayDepth() > 8; }

const char* Str(uint32_t id) {
  const char* s = GetCatalogStr(id);
  return s ? s : "";
}

const char* TypeName(uint16_t type) {
  return type < 21 && kFigurKinds[type].name ? Str(kFigurKinds[type].name) : nullptr;
}
const char* OrderName(uint8_t state) { return state < 19 ? Str(kOrderNames[state]) : ""; }

ListHeader* PlayersList(const KartenScreenRecord* d) {
  MapInfoState& s = S();
  if (s.playersFrom != d->Players) {
    if (s.players) DeleteList(s.players, 0);
    s.players = nullptr;
    s.playersFrom = d->Players;
    if (d->Players) {
      s.players = CreateList(LIST_PLAYERS);
      if (s.players && !ScanSpieler2List(s.players, d->Players)) {
        DeleteList(s.players, 0);
        s.players = nullptr;
      }
    }
  }
  return s.players;
}

// The name of player id: the lord's own, from the players chunk, else asked
// of the game data (which may ask the server); empty when unknown. Kept for
// the clicked hex until the hex, the owner or the players chunk changes.
const char* OwnerName(const KartenScreenRecord* d, uint32_t id, uint32_t x, uint32_t y) {
  if (id == MapOwnPlayer()) return OwnPlayerPtr->LordName;
  MapInfoState& s = S();
  if (!(s.ownerValid && s.ownerX == x && s.ownerY == y && s.ownerPlayers == d->Players)) {
    s.owners.clear();
    s.ownerValid = true;
    s.ownerX = x;
    s.ownerY = y;
    s.ownerPlayers = d->Players;
  }
  for (const MapInfoState::Owner& o : s.owners)
    if (o.id == id) return o.name;
  char name[40] = {};
  ListHeader* players = PlayersList(d);
  // Not found anywhere: empty (GetPlayerName's placeholder text is not a
  // name), so the panel shows "Player" and the ID.
  if (!(players && FindPlayerNameInList(id, name, players)) && !GetPlayerName(id, name, 1)) name[0] = 0;
  name[sizeof name - 1] = 0;
  MapInfoState::Owner o{id, {}};
  std::memcpy(o.name, name, sizeof name);
  s.owners.push_back(o);
  return s.owners.back().name;
}

// The ship's name from the add-on list (ship number = figure number), or null.
const char* ShipName(const KartenScreenRecord* d, const MapFigur* f) {
  if (!f || f->Typ < 14 || f->Typ > 19 || !d->ShipAddOns) return nullptr;
  uint32_t i = 0;
  for (ListNode* n = d->ShipAddOns->first; n && i < d->ShipAddOns->count; n = n->next, ++i) {
    const auto* a = reinterpret_cast<const ShipAddOn*>(n);
    if (a->ship_id == f->Nummer) return a->name[0] ? a->name : nullptr;
  }
  return nullptr;
}

// The figure standing on the clicked hex when it is in sight: the lines of
// its ship name (own ships), type and owner.
void HexFigureLines(KartenScreenRecord* d, TextOut& t, uint32_t wx, uint32_t wy) {
  QoEMapInfo* map = d->map;
  if (!GetPeopleOnHex(map, MapFigurCount(map->LocalFigures), map->LocalFigures, d->X_Pos, d->Y_Pos)) return;
  const MapFigur* f = GetActivePeople(map, (int32_t)wx, (int32_t)wy, 1);
  if (!f) return;
  const bool own = f->Besitzer == MapOwnPlayer();
  const char* ship = own ? ShipName(d, f) : nullptr;
  if (ship) t.Add("'%s'\n", ship);
  const char* type = TypeName(f->Typ);
  if (type) t.Add("%s %s\n\n", type, Str(kFrom));
  const char* owner = OwnerName(d, f->Besitzer, wx, wy);
  if (own) t.Add("%s\n\n", owner);
  else if (owner[0]) t.Add("%s %s\n\n", Str(kPlayer), owner);
  else t.Add("%s %u\n\n", Str(kPlayer), f->Besitzer);
}

// The resource value of an own hex: the bonus resource gets " (+1)".
void ResourceLine(TextOut& t, uint32_t label, int8_t value, bool bonus, const char* end) {
  t.Add(bonus ? "%s : %d (+1)%s" : "%s : %d%s", Str(label), (int)value, end);
}

// The hex's three values in label order: animal, plant, mineral, and the
// bonus resource that matches each (9, 8, 10).
constexpr uint32_t kResourceLabels[3] = {kAnimal, kPlant, kMineral};
constexpr int16_t kBonusOf[3] = {9, 8, 10};

void SelectedFigureText(KartenScreenRecord* d, TextOut& t, bool deep) {
  const MapFigur* f = d->SelectedFigure;
  // Logged once a selection: the text is made again on every redraw.
  if (d->LoggedFigure != uint32_t(f->Nummer) + 1u) {
    d->LoggedFigure = uint32_t(f->Nummer) + 1u;
    DebugLog("FigurNummer %u\n", (uint32_t)f->Nummer);
  }
  const char* ship = ShipName(d, f);
  if (ship) t.Add("'%s'\n", ship);
  const char* type = TypeName(f->Typ);
  if (deep) {
    if (type) t.Add("%s \n\n", type);
    t.Add("%s : %u\n", Str(kXPos), f->X);
    t.Add("%s : %u\n\n", Str(kYPos), f->Y);
    t.Add("%s : %d\n", Str(kPoints), (int)(int8_t)f->Punkte);
  } else {
    if (type) t.Add("%s %s\n\n", type, Str(kFrom));
    t.Add("%s\n\n", OwnPlayerPtr->LordName);
    t.Add("%s : %u\n", Str(kXPos), f->X);
    t.Add("%s : %u\n\n", Str(kYPos), f->Y);
    t.Add("%s : %d\n\n", Str(kPoints), (int)(int8_t)f->Punkte);
  }
  t.Add("%s : %s", Str(kOrder), OrderName(f->Status));
}

bool FigureSelected(const KartenScreenRecord* d) { return d->FigureSelected && d->SelectedFigure; }

// The world position of the clicked hex.
void ClickedWorld(const KartenScreenRecord* d, uint32_t* wx, uint32_t* wy) {
  *wx = (uint32_t)WrapPos(d->map->X + d->X_Pos, kWorldColumns);
  *wy = (uint32_t)WrapPos(d->map->Y + d->Y_Pos, kWorldRows);
}

const MapTile* ClickedCell(const KartenScreenRecord* d) {
  return CMapCell(d->map, d->map->ViewColumn + d->X_Pos, d->map->ViewRow + d->Y_Pos);
}

bool Known(const KartenScreenRecord* d) {
  return d->X_Pos >= 0 && d->Y_Pos >= 0 && IsHexKnown(d->map, d->X_Pos, (uint16_t)d->Y_Pos);
}

// Deeper displays: a clicked hex outside the view follows the selected figure.
void FollowFigure(KartenScreenRecord* d) {
  QoEMapInfo* map = d->map;
  const bool outside = d->X_Pos < 0 || d->Y_Pos < 0 || d->X_Pos > (int32_t)map->Columns || d->Y_Pos > (int32_t)map->Rows;
  if (outside && FigureSelected(d)) {
    d->X_Pos = (int16_t)WrapPos((int32_t)d->SelectedFigure->X - map->X, kWorldColumns);
    d->Y_Pos = (int16_t)WrapPos((int32_t)d->SelectedFigure->Y - map->Y, kWorldRows);
  }
}

}  // namespace

void InfoBoxText(KartenScreenRecord* d, int32_t deep, char* out, uint32_t size) {
  if (!out || size == 0) return;
  out[0] = 0;
  if (!d || !d->map) return;
  TextOut t{out, size, 0};
  if (!deep && d->PanelMode != 0) return;
  if (FigureSelected(d)) {
    SelectedFigureText(d, t, deep != 0);
    return;
  }
  d->LoggedFigure = 0;
  uint32_t wx, wy;
  ClickedWorld(d, &wx, &wy);
  const MapTile* cell = ClickedCell(d);
  const bool known = Known(d);
  if (deep) {
    t.Add("%s : %u\n", Str(kXPos), wx);
    t.Add("%s : %u\n\n", Str(kYPos), wy);
    if (known && cell && (cell->Flags & 2)) t.Add("%s\n", Str(kDungeon));
    if (known) HexFigureLines(d, t, wx, wy);
    return;
  }
  if (!known || !cell) {
    t.Add("%s\n", Str(kUnknown));
    return;
  }
  t.Add("%s : %u\n", Str(kXPos), wx);
  t.Add("%s : %u\n\n", Str(kYPos), wy);
  t.Add("X-Map : %u\n", cell->X);
  t.Add("Y-Map : %u\n\n", cell->Y);
  if (cell->Flags & 2) t.Add("%s\n", Str(kDungeon));
  if (cell->Besitzer == MapOwnPlayer()) {
    t.Add("%s : %s\n\n", Str(kOwner), OwnPlayerPtr->LordName);
    for (int i = 0; i < 3; i++)
      ResourceLine(t, kResourceLabels[i], cell->Wert[i], d->BonusResource == kBonusOf[i], i == 2 ? "\n\n" : "\n");
  } else {
    if (cell->Besitzer == kNobody) {
      t.Add("%s : %s\n\n", Str(kOwner), Str(kNotOccupied));
    } else {
      const char* name = OwnerName(d, cell->Besitzer, wx, wy);
      if (name[0]) t.Add("%s : %s\n\n", Str(kOwner), name);
      else t.Add("%s : %s %u\n\n", Str(kOwner), Str(kPlayer), cell->Besitzer);
    }
    t.Add("%s : 0\n", Str(kAnimal));
    t.Add("%s : 0\n", Str(kPlant));
    t.Add("%s : 0\n\n", Str(kMineral));
  }
  HexFigureLines(d, t, wx, wy);
}

namespace {

// The info requester with text: refilled, or made (with its slider on
// deeper displays) when there is none yet.
void FillRequester(KartenScreenRecord* d, const char* text, int32_t dx, int32_t dy) {
  if (d->InfoRequester) {
    UpdateRequesterText(d->InfoRequester, text, 0);
    return;
  }
  const ScreenRegion* r = d->Layout;
  const int32_t x1 = LayoutValue(r, 0) + dx, y1 = LayoutValue(r, 1) + dy;
  const int32_t x2 = LayoutValue(r, 2) + dx, y2 = LayoutValue(r, 3) + dy;
  if (x2 < x1 || y2 < y1) return;
  const uint32_t w = (uint32_t)(x2 - x1 + 1), h = (uint32_t)(y2 - y1 + 1);
  TextFont* font = d->Fonts[MAPFONT_HELV11];
  // The deeper displays' box is 77 pixels high: lines of the font's height
  // (11) hold the seven lines of a selected figure down to its order, and
  // a longer text scrolls by whole lines, none shown in part.
  d->InfoRequester = Deep() ? InitRequesterTextBoxLines(w, font, text, x1, y1, w, h, 6, 78, font ? font->YSize : 0)
                            : InitRequesterTextBox(w, font, text, x1, y1, w, h, 6, 78, nullptr);
  if (!d->InfoRequester) {
    DebugLog("UpdateInfoBox : Konnte Requester nicht initalisieren!\n");
    return;
  }
  if (!Deep()) return;
  const int32_t sx1 = LayoutValue(r, 4) + dx, sy1 = LayoutValue(r, 5) + dy;
  const int32_t sx2 = LayoutValue(r, 6) + dx, sy2 = LayoutValue(r, 7) + dy;
  if (sx2 < sx1 || sy2 < sy1 ||
      !InitSlider(d->InfoRequester, (uint32_t)(sx2 - sx1 + 1), (uint32_t)(sy2 - sy1 + 1), 26, 22, 25, 24, sx1, sy1))
    DebugLog("SwitchGUI : Konnte Slider nicht initalisieren!\n");
}

// A graphic of the picture index at (x, y), w x h.
void Picture(RastPort* rp, uint32_t id, int32_t x, int32_t y, uint32_t w, uint32_t h) {
  if (!id || !UseElmorGfx(".\\Data\\Path", id)) return;
  BlitObjekt(rp, id, x, y, w, h);
  CloseElmorGfx(id);
}

// The terrain line's text pen (the light of the info box's text) and its
// margin inside the box on either side.
constexpr uint32_t kTerrainLinePen = 78;
constexpr int32_t kTerrainLineMargin = 2;

// Fits the terrain line into `width` pixels: in the panel's font when it
// fits, else in the smaller one, else cut there before "...". The font it
// fits in is set on rp.
void FitTerrainLine(KartenScreenRecord* d, RastPort* rp, char* line, size_t size, uint32_t width) {
  const uint32_t len = (uint32_t)std::strlen(line);
  if (TextLength(rp, line, len) <= width || !d->Fonts[MAPFONT_HELV9] || size < 4) return;
  SetFont(rp, d->Fonts[MAPFONT_HELV9]);
  if (TextLength(rp, line, len) <= width) return;
  const uint32_t dots = TextLength(rp, "...", 3);
  uint32_t n = std::min(len, (uint32_t)(size - 4));
  while (n > 0 && (TextLength(rp, line, n) + dots > width || line[n - 1] == ' ')) n--;
  std::memcpy(line + n, "...", 4);
}

// Deeper displays: the tile or the figure's picture, the terrain line and
// the three resource values with their labels.
void DeepPanel(KartenScreenRecord* d, RastPort* rp) {
  QoEMapInfo* map = d->map;
  const int32_t w = (int32_t)MapDisplayWidth(), h = (int32_t)MapDisplayHeight();
  const int32_t column = map->ViewColumn + d->X_Pos, row = map->ViewRow + d->Y_Pos;
  const bool inWindow = column >= 0 && column < kCMapColumns && row >= 0 && row < kCMapRows;
  const bool known = inWindow && Known(d);
  const MapTile* cell = known ? ClickedCell(d) : nullptr;
  const uint16_t g = cell ? cell->Grafik : 0;
  if (FigureSelected(d)) {
    SetAPen(rp, 0);
    RectFill(rp, w - 116, h - 110, w - 53, h - 55);
    const MapFigur* f = d->SelectedFigure;
    if (f->Typ < 21 && kFigurKinds[f->Typ].picture)
      AnimObjektMask(nullptr, 0, 0, rp, (uint16_t)(w - 116), (uint16_t)(h - 110), kFigurKinds[f->Typ].picture,
                     kFigurKinds[f->Typ].count, 0, 64, 54);
  } else if (g > 0 && g < 100) {
    Picture(rp, TileTable[g][d->Quarter & 3], w - 116, h - 110, 64, 56);
  }
  char line[200];
  TextOut t{line, sizeof line, 0};
  char values[3][24] = {{'0', 0}, {'0', 0}, {'0', 0}};
  if (!known) {
    t.Add("%s", Str(kUnknown));
  } else {
    const uint16_t type = cell ? GetTypeOfHex(g) : 0;
    t.Add("%s", type < 12 && kTerrainNames[type] ? Str(kTerrainNames[type]) : "");
    uint32_t wx, wy;
    ClickedWorld(d, &wx, &wy);
    const uint32_t owner = cell ? cell->Besitzer : kNobody;
    if (owner == kNobody) {
      t.Add(" %s", Str(kNotOccupied));
    } else {
      t.Add(" %s ", Str(kOwner));
      const char* name = OwnerName(d, owner, wx, wy);
      if (owner == MapOwnPlayer()) t.Add("%s", name);
      else if (name[0]) t.Add("%s %s", Str(kPlayer), name);
      else t.Add("%s %u", Str(kPlayer), owner);
    }
    if (owner == MapOwnPlayer())
      for (int i = 0; i < 3; i++)
        std::snprintf(values[i], sizeof values[i], d->BonusResource == kBonusOf[i] ? "%d (+1)" : "%d",
                      (int)cell->Wert[i]);
  }
  // Where the bottom panel reaches under the left panel (800 x 600), the
  // line begins right of its compass. Light on the box's brown, as the
  // values and the info box, and fitted to the box.
  const int32_t lx1 = std::max(w - 791, kTerrainLineLeftmost), lx2 = w - 406, ly1 = h - 140, ly2 = h - 125;
  TextFont* const found = rp->Font;
  SetAPen(rp, 6);
  RectFill(rp, lx1, ly1, lx2, ly2);
  FitTerrainLine(d, rp, line, sizeof line, (uint32_t)(lx2 - lx1 + 1 - 2 * kTerrainLineMargin));
  PrintTextOutlined(rp, lx1 + kTerrainLineMargin, ly1, lx2, ly2, line, 6, kTerrainLinePen, PTO_VCENTRE | PTO_BASELINE);
  ShowScreenRect(rp, lx1, ly1, lx2 - lx1 + 1, ly2 - ly1 + 1);
  RestoreFont(rp, found);
  for (int i = 0; i < 3; i++) {
    const int32_t y1 = h - 102 + 27 * i, y2 = h - 86 + 27 * i;
    PrintTextOutlined(rp, w - 594, y1, w - 546, y2, values[i], 6, 78, 45);
    PrintTextOutlined(rp, w - 534, y1, w - 414, y2, Str(kResourceLabels[i]), 0, 7, 36);
  }
}

}  // namespace

int32_t UpdateInfoBox(KartenScreenRecord* d) {
  if (!d || !d->map) return 1;
  const bool deep = Deep();
  if (!deep && d->PanelMode != 0) return 1;
  RastPort* rp = GetScreenRastPort(0);
  char text[512];
  int32_t dx = 0, dy = 0;
  if (deep) {
    FollowFigure(d);
    if (rp) {
      SetFont(rp, d->Fonts[MAPFONT_HELV11]);
      DeepPanel(d, rp);
    }
    dx = (int32_t)MapDisplayWidth() - 1024;
    dy = (int32_t)MapDisplayHeight() - 768;
    InfoBoxText(d, 1, text, sizeof text);
  } else {
    InfoBoxText(d, 0, text, 256);
  }
  FillRequester(d, text, dx, dy);
  return 1;
}

uint32_t FigurVoices(uint16_t type, uint32_t mode, const uint16_t** ids) {
  const VoiceList v = type < 21 && mode < 2 ? kVoices[type][mode] : kNone;
  if (ids) *ids = v.ids;
  return v.count;
}

void PlayFigurSfx(KartenScreenRecord* d, uint32_t mode) {
  if (!d || !d->SelectedFigure) return;
  const MapFigur* f = d->SelectedFigure;
  if (f->Status == 7) return;
  DrawHexMarker(d, d->X_Pos, d->Y_Pos, 6);
  if (d->Voice) {
    if (!MapScreenSfxIdle(d->Voice)) return;
    CloseElmorSfx000(d->Voice);
    d->Voice = 0;
  }
  const uint16_t* ids = nullptr;
  const uint32_t n = FigurVoices(f->Typ, mode, &ids);
  if (n == 0) return;
  uint32_t k = MapRandom(nullptr, n - 1);
  if (k >= n) k = n - 1;
  const uint16_t id = ids[k];
  if (OpenElmorSfx(".\\Data\\SfxPath", id) != 1) {
    DebugLog("LoadStadtScreenSfx : Konnte Sound-FX nicht \xF6" "ffnen!\n");
    return;
  }
  d->Voice = id;
  MapScreenPlaySfx(id);
}

void MapNameAnchor(int32_t column, int32_t row, int32_t deep, int32_t* x, int32_t* y) {
  int32_t ax = 48 * column + 32, ay = 56 * row + ((column & 1) ? 43 : 15);
  if (deep) {
    ax -= 16;
    ay -= 16;
  }
  if (x) *x = ax;
  if (y) *y = ay;
}

void ForgetMapInfoCache() {
  MapInfoState& s = S();
  s.ownerValid = false;
  s.owners.clear();
  s.townsLoaded = false;
  s.townListStamp = -1;
  s.towns.clear();
  if (s.players) DeleteList(s.players, 0);
  s.players = nullptr;
  s.playersFrom = nullptr;
}

namespace {

// The town list's size and change time in one number (-1: none).
int64_t TownListStamp() {
  uint32_t size = 0;
  uint64_t mtime = 0;
  if (!GetFileStamp(".\\Data\\Cities\\Town.list", &size, &mtime)) return -1;
  return (int64_t)(mtime * 31 + size);
}

// The own towns with their places, read once (again when the list changed).
const std::vector<NamedTown>& Towns() {
  MapInfoState& s = S();
  const int64_t stamp = TownListStamp();
  if (s.townsLoaded && stamp == s.townListStamp) return s.towns;
  s.towns.clear();
  s.townsLoaded = true;
  s.townListStamp = stamp;
  TownListEntry* list = nullptr;
  const uint32_t n = ReadTownList(&list);
  for (uint32_t i = 0; i < n; i++) {
    char path[256];
    TownFilePath(list[i].name, path, sizeof path);
    uint32_t size = 0;
    auto* disk = static_cast<uint8_t*>(LoadFile2MemSize(path, MEMF_PUBLIC, &size));
    if (!disk) continue;
    if (size >= TOWN_FILE_SIZE) {
      auto* town = static_cast<st_TOWN*>(AllocVec(sizeof(st_TOWN), MEMF_PUBLIC | MEMF_CLEAR));
      if (town) {
        DecodeTown(disk, town);
        town->name[sizeof town->name - 1] = 0;
        s.towns.push_back({town->XPos, town->YPos, town->name});
        FreeVec(town);
      }
    }
    FreeVec(disk);
  }
  FreeVec(list);
  return s.towns;
}

// The label's pens: the name in the green of summer grass, which alone is
// lost on grass; as the hex marker, it runs inside a dark edge, and that
// inside a light one, so one of the three stands out on any ground.
constexpr uint32_t kLabelPen = 105, kLabelDarkPen = 0, kLabelLightPen = 1;

// A label centred on (x, y) when its box lies on the free map area: the
// name in its pen, a dark edge one pixel round it, a light edge one pixel
// round that.
void Label(RastPort* rp, const char* text, int32_t x, int32_t y) {
  const TextFont* font = rp->Font;
  const uint32_t len = (uint32_t)std::strlen(text);
  const int32_t width = (int32_t)TextLength(rp, text, len);
  const int32_t half_w = width / 2 + 2;
  const int32_t half_h = font ? font->YSize / 2 : 6;
  const int32_t x1 = x - half_w, y1 = y - half_h, x2 = x + half_w, y2 = y + half_h;
  if (!IsInMapArea(x1, y1, x2, y2) || len == 0) return;
  // Centred in the box both ways, the baseline below the top of the line.
  const int32_t height = font ? font->YSize : rp->TxHeight, base = font ? font->Baseline : rp->TxBaseline;
  const int32_t tx = x1 + (x2 - x1) / 2 - width / 2, ty = y1 + 1 + (y2 - y1 - height) / 2 + base;
  // The display mutex: a screen transition never copies a half-drawn label.
  QoeMutex* mutex = DisplayMutex();
  if (mutex) ObtainMutex(mutex);
  SetDrMd(rp, 0);
  auto at = [&](int32_t dx, int32_t dy, uint32_t pen) {
    SetAPen(rp, pen);
    Move(rp, tx + dx, ty + dy);
    Text(rp, text, len);
  };
  for (int32_t dy = -2; dy <= 2; dy++)
    for (int32_t dx = -2; dx <= 2; dx++)
      if (std::max(std::abs(dx), std::abs(dy)) == 2 && std::abs(dx) + std::abs(dy) < 4) at(dx, dy, kLabelLightPen);
  for (int32_t dy = -1; dy <= 1; dy++)
    for (int32_t dx = -1; dx <= 1; dx++)
      if (dx || dy) at(dx, dy, kLabelDarkPen);
  at(0, 0, kLabelPen);
  if (mutex) ReleaseMutex(mutex);
  const int32_t top = ty - base - 3;
  ShowScreenRect(rp, std::min(x1, tx - 3), std::min(y1, top), std::max(x2, tx + width + 3) - std::min(x1, tx - 3) + 1,
                 std::max(y2, top + height + 6) - std::min(y1, top) + 1);
}

}  // namespace

void PrintMapNames(KartenScreenRecord* d, uint32_t buffer) {
  QoEMapInfo* map = d ? d->map : nullptr;
  if (!map || !map->CMap) return;  // not for a single-part map
  RastPort* rp = GetScreenRastPort(buffer);
  if (!rp) return;
  if (!d->NamesOverlay) {
    LockMotion(d->Motion);
    SetPos(map, 0, 0);
    UnlockMotion(d->Motion);
    return;
  }
  const std::vector<NamedTown>& towns = Towns();
  TextFont* const found = rp->Font;  // given back at the end
  SetFont(rp, d->Fonts[MAPFONT_ELMOR]);
  const bool deep = Deep();
  const uint32_t own = MapOwnPlayer();
  auto cellLabels = [&](int32_t c, int32_t r) {
    const MapTile* t = CMapCell(map, map->ViewColumn + c, map->ViewRow + r);
    if (!t) return;
    int32_t x, y;
    MapNameAnchor(c, r, deep, &x, &y);
    if (GetTypeOfHex(t->Grafik) == 11 && t->Besitzer == own)
      for (const NamedTown& town : towns)
        if (town.x == t->X && town.y == t->Y) {
          Label(rp, town.name.c_str(), x, y);
          break;
        }
    if (!d->MapNames) return;
    uint32_t i = 0;
    for (ListNode* n = d->MapNames->first; n && i < d->MapNames->count; n = n->next, ++i) {
      const auto* e = reinterpret_cast<const MapNameEintrag*>(n);
      if (e->x == t->X && e->y == t->Y) {
        char name[sizeof e->name + 1];
        std::memcpy(name, e->name, sizeof e->name);
        name[sizeof e->name] = 0;
        Label(rp, name, x, y);
      }
    }
  };
  for (int32_t c = 1; c < (int32_t)map->Columns; c += 2)
    for (int32_t r = 0; r < (int32_t)map->Rows; r++) cellLabels(c, r);
  for (int32_t c = 2; c < (int32_t)map->Columns - 1; c += 2)
    for (int32_t r = 1; r < (int32_t)map->Rows; r++) cellLabels(c, r);
  RestoreFont(rp, found);
}

ListHeader* MapPlayersList(const KartenScreenRecord* d) { return d ? PlayersList(d) : nullptr; }

const char* MapShipName(const KartenScreenRecord* d, const MapFigur* f) { return d ? ShipName(d, f) : nullptr; }

void FillMapInfoHooks(MapScreenHooks* hooks) {
  if (!hooks) return;
  hooks->UpdateInfoBox = [](KartenScreenRecord* d) { UpdateInfoBox(d); };
  hooks->PrintMapNames = PrintMapNames;
  hooks->PlayFigurSfx = PlayFigurSfx;
}
