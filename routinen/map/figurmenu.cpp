// The map screen's figure menu and field menu. The orders offered to the
// selected figure are one function of its hex, the neighbours, the rings
// round it and the lists (FigurMenuOffers); the menu draws them with the
// figures on the hex, stores the chosen order in the figure's record, or
// brings a chosen figure to the top of its hex.
#include "figurmenu.h"

#include <cstdio>
#include <cstring>

#include "map_internal.h"
#include "mapdisplay.h"
#include "mapgl.h"
#include "mapinfo.h"
#include "mapscreen.h"
#include "platform/log.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/system/catalog.h"
#include "routinen/system/graphics.h"
#include "routinen/system/input.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"

const uint32_t kFigurAktionText[kFigurAktionCount] = {689,  690,  899,  900,  1107, 1139, 1140,
                                                       1141, 1252, 1328, 1356, 1360, 1361, 1416,
                                                       1422, 1430, 1450, 1538, 1537, 1540, 1567};

namespace {

constexpr int32_t kRowHeight = 12;
constexpr int32_t kRowWidth = 80;
constexpr uint32_t kActionRowPicture = 448;
constexpr uint32_t kFigureRowPicture = 449;
constexpr uint32_t kLightTextPen = 1;
constexpr uint32_t kOwnerWild5 = 0xFFFFFFFBu;  // -5
constexpr uint32_t kOwnerWild6 = 0xFFFFFFFAu;  // -6

const char* Str(uint32_t id) {
  const char* s = GetCatalogStr(id);
  return s ? s : "";
}

bool IsArmy(uint16_t t) { return t >= 1 && t <= 9; }
bool IsTradeShip(uint16_t t) { return t >= 14 && t <= 16; }
bool IsWarShip(uint16_t t) { return t >= 17 && t <= 19; }
bool IsShip(uint16_t t) { return t >= 14 && t <= 19; }
bool IsMapObject(uint16_t t) { return t >= 1000 && t <= 1013; }

// The six neighbours of a window cell: north, north-east, south-east, south,
// south-west, north-west, by the column's parity.
constexpr int8_t kNeighbourEven[6][2] = {{0, -1}, {1, -1}, {1, 0}, {0, 1}, {-1, 0}, {-1, -1}};
constexpr int8_t kNeighbourOdd[6][2] = {{0, -1}, {1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}};
void Neighbour(int32_t c, int32_t r, int i, int32_t* nc, int32_t* nr) {
  const int8_t* o = (c & 1) ? kNeighbourOdd[i] : kNeighbourEven[i];
  *nc = c + o[0];
  *nr = r + o[1];
}

uint16_t TerrainOf(const QoEMapInfo* map, int32_t c, int32_t r) {
  const MapTile* t = CMapCell(map, c, r);
  return t ? GetTypeOfHex(t->Grafik) : 0;
}

// The ship list's entry of the ship figure (its place and number), null none.
const Schiffseintrag* ShipEntry(const KartenScreenRecord* d, const MapFigur* f, bool log) {
  if (!d->Ships) return nullptr;
  const Schiffseintrag* found = nullptr;
  uint32_t i = 0;
  for (ListNode* n = d->Ships->first; n && i < d->Ships->count; n = n->next, ++i) {
    const auto* s = reinterpret_cast<const Schiffseintrag*>(n);
    if (log) DebugLog("Schiffseintrag auf X: %u Y: %u\n", s->x, s->y);
    if (!found && s->x == f->X && s->y == f->Y && s->ship_id == f->Nummer) found = s;
  }
  if (found && log) DebugLog("Schiffseintrag gefunden...\n");
  return found;
}

bool AnyLandNeighbour(const KartenScreenRecord* d, int32_t c, int32_t r) {
  for (int i = 0; i < 6; i++) {
    int32_t nc, nr;
    Neighbour(c, r, i, &nc, &nr);
    if (CheckFeldTyp(d, nc, nr, 0, 0)) return true;
  }
  return false;
}

struct RingTest {
  const KartenScreenRecord* d;
  uint32_t ring;
  bool townFound = false;
  bool desertFound = false;  // terrain type 4 in ring 1
  bool swampFound = false;   // terrain type 9 in ring 1
};

bool RingCell(void* user, int32_t c, int32_t r) {
  RingTest* t = static_cast<RingTest*>(user);
  if (CheckFeldTyp(t->d, c, r, 11, 0)) {
    DebugLog("Stadt gefunden auf FinalX_MW %u FinalY_MW %u\n", (uint32_t)c, (uint32_t)r);
    t->townFound = true;
  }
  if (t->ring == 1) {
    const uint16_t type = TerrainOf(t->d->map, c, r);
    if (type == 4) t->desertFound = true;
    if (type == 9) t->swampFound = true;
  }
  return false;  // every hex of the ring is looked at
}

bool MaySettle(const KartenScreenRecord* d, int32_t c, int32_t r) {
  const uint16_t type = TerrainOf(d->map, c, r);
  if (type == 1 || type == 2 || type == 4 || type == 10 || type == 11) return false;
  if (!CheckFeldTyp(d, c, r, 0, 1)) return false;
  RingTest t{d, 0};
  for (uint32_t n = 1; n <= 3; n++) {
    t.ring = n;
    RingWalk(c, r, (int32_t)n, RingCell, &t);
  }
  if (t.townFound || t.desertFound) return false;
  return type != 9 || t.swampFound;
}

bool MayAnnex(const KartenScreenRecord* d, const MapFigur* f, int32_t c, int32_t r) {
  const bool army = IsArmy(f->Typ);
  if (!army && !IsWarShip(f->Typ)) return false;
  const MapTile* h = CMapCell(d->map, c, r);
  if (!h || h->Besitzer == MapOwnPlayer()) return false;
  if (!army && CheckFeldTyp(d, c, r, 0, 0)) return false;
  for (int i = 0; i < 6; i++) {
    int32_t nc, nr;
    Neighbour(c, r, i, &nc, &nr);
    if (CheckFeldTyp(d, nc, nr, 0, 1)) return true;
    if (!army || CheckFeldTyp(d, nc, nr, 0, 0)) continue;
    const MapTile* n = CMapCell(d->map, nc, nr);
    if (n && GetActivePeople(d->map, (int32_t)n->X, (int32_t)n->Y, 0)) return true;
  }
  return false;
}

uint32_t CarriedSlots(const Schiffseintrag* s) {
  uint32_t n = 0;
  for (const FigurRecord& c : s->cargo) n += c.state == 7;
  return n;
}

bool CarriesArmy(const Schiffseintrag* s) {
  for (const FigurRecord& c : s->cargo)
    if (IsArmy(c.type)) return true;
  return false;
}

bool CaravanOnOwnTown(const KartenScreenRecord* d, const MapFigur* f, int32_t c, int32_t r) {
  if (f->Typ != 20 || !CheckFeldTyp(d, c, r, 11, 1)) return false;
  DebugLog("KartenScreen: Karavane auf Stadt gefunden...\n");
  return true;
}

// A figure of the wild traders (owner -5 or -6) on the figure's hex.
bool TraderOnHex(const KartenScreenRecord* d, const MapFigur* f) {
  return GetActivePeopleOf(d->map, (int32_t)f->X, (int32_t)f->Y, 0, kOwnerWild5) ||
         GetActivePeopleOf(d->map, (int32_t)f->X, (int32_t)f->Y, 0, kOwnerWild6);
}

}  // namespace

uint32_t FigurMenuOffers(const KartenScreenRecord* d, const MapFigur* f, uint8_t* codes) {
  uint32_t n = 0;
  codes[n++] = AKTION_NOTHING;
  if (!d || !d->map || !f) return n;
  const int32_t c = d->map->ViewColumn + d->X_Pos, r = d->map->ViewRow + d->Y_Pos;
  const MapTile* h = CMapCell(d->map, c, r);
  const uint16_t t = f->Typ;
  const uint32_t full = GetMovePointsOfType(t);
  const bool carried = f->Status == 7;
  const bool ownHex = h && h->Besitzer == MapOwnPlayer();
  const bool scout = t == 0;
  if (MayAnnex(d, f, c, r)) codes[n++] = AKTION_ANNEX;
  if (IsArmy(t) && !carried && f->Punkte == full) codes[n++] = AKTION_GUARD;
  if ((IsArmy(t) && !carried) || IsWarShip(t)) codes[n++] = AKTION_ATTACK;
  if (t == 10 && MaySettle(d, c, r)) codes[n++] = AKTION_SETTLE;
  const Schiffseintrag* ship = IsTradeShip(t) ? ShipEntry(d, f, true) : nullptr;
  const uint32_t capacity = IsTradeShip(t) ? t - 13u : 0;
  const bool shore = IsTradeShip(t) && AnyLandNeighbour(d, c, r);
  const bool caravan = CaravanOnOwnTown(d, f, c, r);
  if ((ship && shore && f->Punkte >= full / capacity && CarriedSlots(ship) < capacity) || caravan)
    codes[n++] = AKTION_LOAD;
  if ((ship && shore && f->Punkte == full && CarriedSlots(ship) > 0) || caravan) codes[n++] = AKTION_UNLOAD;
  if (IsWarShip(t)) codes[n++] = AKTION_CAPTURE;
  if (ship && CarriesArmy(ship) && CheckFeldTyp(d, c, r, 11, 0)) {
    DebugLog("Stadt zum pl\xFCndern gefunden auf FinalX_MW %u FinalY_MW %u\n", (uint32_t)c, (uint32_t)r);
    codes[n++] = AKTION_PLUNDER;
  }
  if (f->Punkte > 0 && !carried) codes[n++] = AKTION_MOVE;
  if (scout && ownHex) codes[n++] = AKTION_OFFER;
  if (scout && !ownHex) codes[n++] = AKTION_ACCEPT;
  if (scout) codes[n++] = AKTION_DUEL;
  if (t == 12 && f->Punkte >= 2) codes[n++] = AKTION_SEARCH;
  if (scout && f->Punkte == full && !carried && TraderOnHex(d, f)) codes[n++] = AKTION_TRADE;
  if (f->Punkte > 0 && !carried) codes[n++] = AKTION_CONVOY;
  if (IsShip(t)) codes[n++] = AKTION_DESIGNATE;
  if (scout && h && (h->Flags & 2)) codes[n++] = AKTION_EXPLORE;
  return n;
}

namespace {

// Catalog names of the figure types a row is labelled with (0: none).
uint32_t TypeNameId(uint16_t type) {
  static constexpr uint32_t kNames[21] = {691, 692, 901, 902, 1115, 1116, 1117, 1110, 1111, 1112, 1106,
                                          0,   1385, 0,   867, 868,  869,  870,  871,  872,  1541};
  return type < 21 ? kNames[type] : 0;
}

const Army* FindOwnArmy(const KartenScreenRecord* d, const MapFigur* f, const std::vector<const Army*>& used,
                        bool by_id) {
  if (!d->Armies) return nullptr;
  uint32_t i = 0;
  for (ListNode* n = d->Armies->first; n && i < d->Armies->count; n = n->next, ++i) {
    const auto* a = reinterpret_cast<const Army*>(n);
    if (a->ArmeeID == 0) continue;
    if (by_id && a->ArmeeID != f->Nummer) continue;
    if (a->X != f->X || a->Y != f->Y || GetArmyTyp(a) != f->Typ) continue;
    bool taken = false;
    for (const Army* u : used)
      if (u && std::strncmp(u->ArmyName, a->ArmyName, sizeof a->ArmyName) == 0) taken = true;
    if (!taken) return a;
  }
  return nullptr;
}

// The player's name: the players chunk's, else the game data's (asked of the
// server when unknown); at most 39 characters.
void PlayerName(const KartenScreenRecord* d, uint32_t id, char out[40]) {
  out[0] = 0;
  ListHeader* players = MapPlayersList(d);
  if (!(players && FindPlayerNameInList(id, out, players)) && !GetPlayerName(id, out, 1)) out[0] = 0;
  out[39] = 0;
}

void Append(char out[20], const char* text) {
  const size_t have = std::strlen(out);
  if (have >= 19 || !text) return;
  std::snprintf(out + have, 20 - have, "%s", text);
}

}  // namespace

bool FigurRowLabel(const KartenScreenRecord* d, const MapFigur* f, const std::vector<const Army*>& used,
                   const Army** army, char out[20]) {
  out[0] = 0;
  if (army) *army = nullptr;
  const bool own = f->Besitzer == MapOwnPlayer();
  if (!own) Append(out, "\xBA");
  if (f->Status == 7) Append(out, "+");
  if (IsMapObject(f->Typ)) {
    char name[40];
    PlayerName(d, f->Besitzer, name);
    std::snprintf(out, 20, "%.19s", name);
    return true;
  }
  if (own && IsArmy(f->Typ)) {
    const Army* a = FindOwnArmy(d, f, used, true);
    if (!a) a = FindOwnArmy(d, f, used, false);
    if (a) {
      char name[sizeof a->ArmyName + 1] = {};
      std::memcpy(name, a->ArmyName, sizeof a->ArmyName);
      Append(out, name);
      if (army) *army = a;
      return true;
    }
    DebugLog("FigurMenu : Fataler Fehler ! Konnte Armee zur Figur nicht finden !\n");
    Append(out, Str(TypeNameId(f->Typ)));
    return false;
  }
  if (own && IsShip(f->Typ)) {
    const char* name = MapShipName(d, f);
    if (name) {
      Append(out, name);
      return true;
    }
  }
  const uint32_t id = TypeNameId(f->Typ);
  if (id) Append(out, Str(id));
  return true;
}

namespace {

bool SameFigure(const FigurRecord& r, const MapFigur* g) { return r.owner == g->Besitzer && r.number == g->Nummer; }
bool SameRecord(const FigurRecord& a, const FigurRecord& b) {
  return a.owner == b.owner && a.type == b.type && a.number == b.number && a.x == b.x && a.y == b.y &&
         a.state == b.state && a.points == b.points;
}

std::string Line(const char* fmt, uint32_t a, uint32_t b) {
  char buf[48];
  std::snprintf(buf, sizeof buf, fmt, a, b);
  return buf;
}

std::string NameLine(const KartenScreenRecord* d, uint32_t owner) {
  char name[40];
  PlayerName(d, owner, name);
  return std::string("-> ") + name;
}

}  // namespace

std::vector<std::string> FigurSideBox(const KartenScreenRecord* d, const MapFigur* g, const Army* army) {
  std::vector<std::string> lines;
  if (!d || !g) return lines;
  const bool own = g->Besitzer == MapOwnPlayer();
  if (own) {
    if (army && IsArmy(g->Typ) && army->parts) {
      uint32_t i = 0;
      for (ListNode* n = army->parts->first; n && i < army->parts->count && i < army->ArmeeTypAnzahl;
           n = n->next, ++i)
        lines.push_back(Line("-> %u", reinterpret_cast<const ArmeeTyp*>(n)->Leute, 0));
    } else if (IsShip(g->Typ) && d->Ships) {
      uint32_t i = 0;
      for (ListNode* n = d->Ships->first; n && i < d->Ships->count; n = n->next, ++i) {
        const auto* s = reinterpret_cast<const Schiffseintrag*>(n);
        if (s->ship_id != g->Nummer) continue;
        lines.push_back(Line("-> %u/%u", s->damage, s->ship_class));
        break;
      }
    }
    return lines;
  }
  const uint32_t battles = KriegsCount(d->Battles);
  if (IsShip(g->Typ)) {
    const char* word = nullptr;
    for (uint32_t i = 0; i < battles; i++) {
      KriegsEintrag e{};
      if (!GetKriegsEintrag(d->Battles, i, &e)) continue;
      // A pirate (1826) or attacked (1827); what befell it: 1828 to 1831.
      if (SameFigure(e.attacker, g)) word = GetCatalogStr(e.kind == KRIEG_SEA_DEFENDED ? 1826 : 1827);
      else if (SameFigure(e.target, g)) {
        switch (e.kind) {
          case KRIEG_SEA_SUNK: word = GetCatalogStr(1828); break;
          case KRIEG_SEA_DAMAGED: word = GetCatalogStr(1829); break;
          case KRIEG_SEA_CAPTURED: word = GetCatalogStr(1830); break;
          case KRIEG_SEA_DEFENDED: word = GetCatalogStr(1831); break;
          default: break;
        }
      }
    }
    lines.push_back(word ? std::string("-> ") + word : NameLine(d, g->Besitzer));
    return lines;
  }
  if (IsArmy(g->Typ) || IsMapObject(g->Typ)) {
    uint32_t sum = 0, count = 0;
    bool any = false;
    FigurRecord previous{};
    for (uint32_t i = 0; i < battles; i++) {
      KriegsEintrag e{};
      if (!GetKriegsEintrag(d->Battles, i, &e)) continue;
      uint32_t value;
      FigurRecord opponent{};
      if (SameFigure(e.attacker, g)) {
        value = e.aliveA;
        opponent = e.target;
      } else if (SameFigure(e.target, g)) {
        value = e.aliveD;
        opponent = e.attacker;
      } else {
        continue;
      }
      if (any && sum != 0 && !SameRecord(opponent, previous)) sum = count = 0;
      sum += value;
      count++;
      previous = opponent;
      any = true;
    }
    if (!any) lines.push_back(NameLine(d, g->Besitzer));
    else if (sum == 0) lines.push_back("-> vernichtet");
    else lines.push_back(Line("-> %u/%u", count, sum));
    return lines;
  }
  lines.push_back(NameLine(d, g->Besitzer));
  return lines;
}

void FigurMenuPlace(int32_t column, int32_t row, uint32_t rows, uint32_t width, uint32_t height, uint32_t depth,
                    int32_t* x, int32_t* y, int32_t* side_x) {
  int32_t px = 48 * column + 32, py = 56 * row + 16 + ((column & 1) ? 28 : 0);
  if (depth != 8) {
    px -= 16;
    py -= 16;
  }
  FigurMenuPlaceAt(px, py, rows, width, height, x, y, side_x);
}

void FigurMenuPlaceAt(int32_t px, int32_t py, uint32_t rows, uint32_t width, uint32_t height, int32_t* x,
                      int32_t* y, int32_t* side_x) {
  // The menu stays on the display; its side box opens on the left when the
  // right has no room.
  if (px + kRowWidth > (int32_t)width) px = (int32_t)width - kRowWidth;
  if (px < 0) px = 0;
  const int32_t h = (int32_t)rows * kRowHeight;
  if (py + h > (int32_t)height) py = (int32_t)height - h;
  if (py < 0) py = 0;
  *x = px;
  *y = py;
  *side_x = px + 2 * kRowWidth <= (int32_t)width ? px + kRowWidth : px - kRowWidth;
}

namespace {

struct MenuRow {
  char label[20];
  bool figure;
  uint8_t code;
  MapFigur* fig;
  const Army* army;
};

struct Menu {
  RastPort* rp;
  int32_t x, y, sideX;
  std::vector<MenuRow> rows;
  MapFigur* selected;
  BitMap* saved = nullptr;
  // The side box.
  BitMap* sideSaved = nullptr;
  int32_t sideY = 0;
  uint32_t sideRows = 0;
};

int32_t RowY(const Menu& m, uint32_t i) { return m.y + (int32_t)i * kRowHeight; }

void DrawRow(Menu& m, uint32_t i, int hover) {
  const MenuRow& row = m.rows[i];
  const int32_t ry = RowY(m, i);
  if (hover < 0) {
    BlitObjektMask(m.rp, row.figure ? kFigureRowPicture : kActionRowPicture, 0, m.x, ry, kRowWidth, kRowHeight);
    if (row.figure && row.fig == m.selected) {
      SetAPen(m.rp, 107);
      RectFill(m.rp, m.x, ry, m.x + kRowWidth - 1, ry + kRowHeight - 1);
    }
    PrintTextOutlined(m.rp, m.x + 2, ry + 2, m.x + 77, ry + 9, row.label, 0, 7, 293);
  } else {
    uint32_t pen;
    if (!row.figure) pen = hover ? 96 : 98;
    else pen = hover ? 2 : (row.fig == m.selected ? 107 : 31);
    // The dark fills take the light text pen so the label stays legible.
    const uint32_t text = (pen == 96 || pen == 98 || pen == 2) ? kLightTextPen : 7;
    PrintTextOutlined(m.rp, m.x + 2, ry + 2, m.x + 77, ry + 9, row.label, pen, text, 301);
  }
  ShowScreenRect(m.rp, m.x, ry, kRowWidth, kRowHeight);
}

void CloseSideBox(Menu& m) {
  if (!m.sideSaved) return;
  RestoreBackground(m.sideSaved, m.sideX, m.sideY, kRowWidth, m.sideRows * kRowHeight);
  m.sideSaved = nullptr;
}

void OpenSideBox(Menu& m, const KartenScreenRecord* d, uint32_t i) {
  const MenuRow& row = m.rows[i];
  std::vector<std::string> lines = FigurSideBox(d, row.fig, row.army);
  if (lines.empty()) return;
  // Cut to the display; the box starts at the hovered row, moved up when
  // it would end below the display.
  const int32_t height = (int32_t)MapDisplayHeight();
  uint32_t rows = (uint32_t)lines.size();
  if ((int32_t)rows * kRowHeight > height) rows = (uint32_t)(height / kRowHeight);
  int32_t y = RowY(m, i);
  if (y + (int32_t)rows * kRowHeight > height) y = height - (int32_t)rows * kRowHeight;
  m.sideSaved = SaveBackground(m.sideX, y, kRowWidth, rows * kRowHeight);
  if (!m.sideSaved) {
    DebugLog("FigurMenu : Konnte ein Rechteck des Hintergrundes nicht retten !\n");
    return;
  }
  m.sideY = y;
  m.sideRows = rows;
  for (uint32_t k = 0; k < rows; k++) {
    const int32_t ry = y + (int32_t)k * kRowHeight;
    BlitObjektMask(m.rp, kFigureRowPicture, 0, m.sideX, ry, kRowWidth, kRowHeight);
    PrintTextOutlined(m.rp, m.sideX + 2, ry + 2, m.sideX + 77, ry + 9, lines[k].c_str(), 31, 7, 301);
  }
  ShowScreenRect(m.rp, m.sideX, y, kRowWidth, (int32_t)rows * kRowHeight);
}

// The row under the mouse, -1 none.
int32_t RowUnderMouse(const Menu& m) {
  for (uint32_t i = 0; i < m.rows.size(); i++) {
    const int32_t ry = RowY(m, i);
    if (MouseInRect(m.x, m.x + kRowWidth - 1, ry, ry + kRowHeight - 1)) return (int32_t)i;
  }
  return -1;
}

bool OpenMenu(Menu& m, const KartenScreenRecord* d) {
  m.rp = ScreenRastPort();
  if (!m.rp) return false;
  const uint32_t rows = (uint32_t)m.rows.size();
  if (MapOnScene(d->map)) {
    // The 3D view: at the hex's projected centre in the last drawn
    // landscape (the mouse, where the click was, when it has left it).
    int32_t px = GetMouseX(), py = GetMouseY();
    MapSceneHexPixel(d->map, d->X_Pos, d->Y_Pos, &px, &py);
    FigurMenuPlaceAt(px, py, rows, MapDisplayWidth(), MapDisplayHeight(), &m.x, &m.y, &m.sideX);
  } else {
    FigurMenuPlace(d->X_Pos, d->Y_Pos, rows, MapDisplayWidth(), MapDisplayHeight(), MapDisplayDepth(), &m.x, &m.y,
                   &m.sideX);
  }
  m.saved = SaveBackground(m.x, m.y, kRowWidth, (uint32_t)m.rows.size() * kRowHeight);
  if (!m.saved) {
    DebugLog("FigurMenu : Konnte ein Rechteck des Hintergrundes nicht retten !\n");
    return false;
  }
  SetFont(m.rp, d->Fonts[MAPFONT_HELV9]);
  for (uint32_t i = 0; i < m.rows.size(); i++) DrawRow(m, i, -1);
  return true;
}

void CloseMenu(Menu& m) {
  CloseSideBox(m);
  if (m.saved) RestoreBackground(m.saved, m.x, m.y, kRowWidth, (uint32_t)m.rows.size() * kRowHeight);
  m.saved = nullptr;
}

// Follows the mouse over the rows: the hovered row is drawn lit, the one
// left plain again; a change of rows closes the side box.
void Hover(Menu& m, int32_t* hovered) {
  const int32_t now = RowUnderMouse(m);
  if (now == *hovered) return;
  if (*hovered >= 0) DrawRow(m, (uint32_t)*hovered, 0);
  CloseSideBox(m);
  if (now >= 0) DrawRow(m, (uint32_t)now, 1);
  *hovered = now;
}

bool OutsideView(const KartenScreenRecord* d) {
  const QoEMapInfo* map = d->map;
  return !map || d->X_Pos < 0 || d->Y_Pos < 0 || d->X_Pos >= map->Columns - 1 || d->Y_Pos >= map->Rows - 1;
}

void CallInfoBox(KartenScreenRecord* d) {
  const MapScreenHooks& h = CurrentMapScreenHooks();
  if (h.UpdateInfoBox) h.UpdateInfoBox(d);
  else MapScreenMissing("UpdateInfoBox");
}

// Figure row k chosen: its figure and the hex's first change places in the
// figure list (and their armies in the army list); the selection follows
// the figure now on top. false after a failure (logged).
bool SwapToTop(KartenScreenRecord* d, const Menu& m, uint32_t k) {
  QoEMapInfo* map = d->map;
  const int32_t wx = (int32_t)m.selected->X, wy = (int32_t)m.selected->Y;
  MapFigur* first = GetActivePeople(map, wx, wy, 1);
  if (!first) {
    DebugLog("FigurMenu : Fataler Fehler ! Konnte erste Figur nicht ausfindig machen !\n");
    return false;
  }
  MapFigur* target = GetActivePeople(map, wx, wy, (int16_t)(k + 1));
  if (!target) {
    DebugLog("FigurMenu : Fataler Fehler ! Konnte Ziel-Figur nicht ausfindig machen !\n");
    return false;
  }
  {
    LockMotion(d->Motion);
    MapRecordLock lock;
    MapFigur temp{};
    std::memcpy(&temp, first, sizeof temp);
    std::memcpy(first, target, sizeof temp);
    std::memcpy(target, &temp, sizeof temp);
    GetLocalPeople(map);
    UnlockMotion(d->Motion);
  }
  d->SelectedFigure = first;
  if (first->Besitzer != MapOwnPlayer()) {
    d->SelectedFigure = GetActivePeople(map, wx, wy, 0);
    if (!d->SelectedFigure) {
      DebugLog("FigurMenu : Fataler Fehler ! Konnte Spieler-Figur nicht mehr zuweisen !\n");
      d->FigureSelected = 0;
      return false;
    }
  }
  return true;
}

}  // namespace

int32_t FigurMenu(KartenScreenRecord* d) {
  if (!d || !d->map || !d->SelectedFigure || OutsideView(d)) return 0;
  QoEMapInfo* map = d->map;
  MapFigur* f = d->SelectedFigure;
  int32_t result = 1;
  Menu m{};
  m.selected = f;
  uint8_t codes[kFigurAktionCount];
  const uint32_t actions = FigurMenuOffers(d, f, codes);
  for (uint32_t i = 0; i < actions; i++) {
    MenuRow row{};
    std::snprintf(row.label, sizeof row.label, "%.19s", Str(kFigurAktionText[codes[i]]));
    row.code = codes[i];
    m.rows.push_back(row);
  }
  const int32_t wx = (int32_t)f->X, wy = (int32_t)f->Y;
  uint32_t figures = GetActivePeopleCount(map, wx, wy);
  const uint32_t most = MapDisplayHeight() / kRowHeight;
  if (actions + figures >= most) figures = most > actions ? most - actions : 0;
  std::vector<const Army*> used;
  for (uint32_t k = 0; k < figures; k++) {
    MapFigur* g = GetActivePeople(map, wx, wy, (int16_t)(k + 1));
    if (!g) break;
    MenuRow row{};
    row.figure = true;
    row.fig = g;
    if (!FigurRowLabel(d, g, used, &row.army, row.label)) result = 0;
    used.push_back(row.army);
    m.rows.push_back(row);
  }
  if (!OpenMenu(m, d)) return 0;
  int32_t hovered = -1;
  uint32_t ticks = 0;
  bool done = false;
  KeyScope keys;  // a key held from before the menu does not close it
  while (!done) {
    if (WindowCloseRequested()) {
      result = 0;
      break;
    }
    const int32_t event = WaitEvent(WE_TICKS);
    if (event == WE_KEY_ESCAPE) break;
    const int32_t before = hovered;
    Hover(m, &hovered);
    if (hovered != before) ticks = 0;
    if (event == WE_TICK && hovered >= 0 && m.rows[(uint32_t)hovered].figure) {
      if (++ticks == 10 && !m.sideSaved) OpenSideBox(m, d, (uint32_t)hovered);
    }
    if (event != WE_LEFT_UP) continue;
    done = true;
    if (hovered < 0) {
      result = 0;
      break;
    }
    const MenuRow& row = m.rows[(uint32_t)hovered];
    if (!row.figure) {
      if (f->Status != 7) {
        LockMotion(d->Motion);
        f->Status = row.code;
        if (row.code == AKTION_ANNEX || row.code == AKTION_GUARD || row.code == AKTION_PLUNDER) f->Punkte = 0;
        UnlockMotion(d->Motion);
      }
      CloseMenu(m);
      CallInfoBox(d);
      return result;
    }
    const uint32_t k = (uint32_t)hovered - actions;
    // Both rows' armies change places in the army list too.
    const Army* a0 = m.rows[actions].army;
    const Army* ak = row.army;
    CloseMenu(m);
    if (!SwapToTop(d, m, k)) return 0;
    if (a0 && ak && a0 != ak && d->Armies)
      SwapNodes(d->Armies, const_cast<ListNode*>(&a0->head), const_cast<ListNode*>(&ak->head));
    {
      LockMotion(d->Motion);
      SetPos(map, 0, 0);
      UnlockMotion(d->Motion);
    }
    return 0;
  }
  CloseMenu(m);
  return result;
}

uint32_t FeldMenuEntries(const KartenScreenRecord* d, int32_t entries[3]) {
  const MapTile* cell = d && d->map ? CMapCell(d->map, d->map->ViewColumn + d->X_Pos, d->map->ViewRow + d->Y_Pos)
                                    : nullptr;
  uint32_t n = 0;
  entries[n++] = 0;
  if (cell && cell->Besitzer == MapOwnPlayer()) entries[n++] = 1;
  if (cell && cell->X == 28 && cell->Y == 14) entries[n++] = 2;
  return n;
}

int32_t FeldMenu(KartenScreenRecord* d) {
  if (!d || !d->map || OutsideView(d)) return -1;
  int32_t entries[3];
  const uint32_t n = FeldMenuEntries(d, entries);
  static constexpr uint32_t kText[3] = {1338, 1339, 244};
  Menu m{};
  for (uint32_t i = 0; i < n; i++) {
    MenuRow row{};
    std::snprintf(row.label, sizeof row.label, "%s", Str(kText[entries[i]]));
    m.rows.push_back(row);
  }
  if (!OpenMenu(m, d)) return -1;
  int32_t hovered = -1, chosen = -1;
  KeyScope keys;
  while (!WindowCloseRequested()) {
    const int32_t event = WaitEvent(0);
    if (event == WE_KEY_ESCAPE) break;
    Hover(m, &hovered);
    if (event == WE_LEFT_UP) {
      chosen = hovered;
      break;
    }
  }
  CloseMenu(m);
  return chosen >= 0 ? entries[chosen] : -1;
}

void FillMapMenuHooks(MapScreenHooks* hooks) {
  if (!hooks) return;
  hooks->UpdateFigurRequester = UpdateFigurRequester;
  hooks->JumpToFigur = JumpToFigur;
  hooks->SwitchGUI = SwitchGUI;
  hooks->EnterMapNames = EnterMapNames;
  hooks->FigurMenu = FigurMenu;
  hooks->FeldMenu = FeldMenu;
  hooks->ArbeiterReq = [](KartenScreenRecord* d) { ArbeiterReq(d); };
  hooks->PrintArbeiterAnzahl = PrintArbeiterAnzahl;
}
