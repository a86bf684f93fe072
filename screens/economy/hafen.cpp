// The harbour screen (code 519): the harbour of the active town with its
// mill and sounds, the ship picture when a ship lies in port, the ways to
// the shipyard, the repair yard, the map and the town, and the write of the
// ships and the treasury into the outgoing pool when it is left. The
// requesters are in hafenwerft.cpp; the rules in docs/harbour.md.
#include <cstdio>
#include <cstring>

#include "screens/economy/hafen.h"
#include "screens/economy/hafen_internal.h"

#include "platform/display.h"
#include "platform/log.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/goods.h"
#include "routinen/gamedata/towns.h"
#include "routinen/gamedata/turns.h"
#include "routinen/gui/chiefmessage.h"
#include "routinen/gui/layout.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/requester.h"
#include "routinen/gui/text.h"
#include "routinen/media/sound.h"
#include "routinen/system/catalog.h"
#include "routinen/system/files.h"
#include "routinen/system/fonts.h"
#include "routinen/system/graphics.h"
#include "routinen/system/input.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"
#include "routinen/system/options.h"
#include "routinen/system/sysrecords.h"
#include "routinen/system/timer.h"
#include "screens/common/orders.h"
#include "screens/common/screenbase.h"
#include "screens/economy/ambience.h"

namespace hafen {

const char kGfxIndex[] = ".\\Data\\Path";
const char kWarenChunk[] = ".\\Data\\WarenChunk.qoe";

}  // namespace hafen

using namespace hafen;

namespace {

constexpr uint32_t kPicture = 519;
constexpr int32_t kTown = 39, kMap = 3;
constexpr uint32_t kTitlePen = 6;
constexpr uint8_t kCdTrack = 7;
constexpr uint32_t kNotYet = 1154;
// The figure file is damaged or missing: what the harbour goes without
// (under the file's name as it opens), and the refusal of the shipyard and
// the repair yard.
constexpr uint32_t kFigurenDefektText = 1790, kFigurenDefektOrder = 1791;
const char kSfx[] = ".\\Data\\SfxPath";

// The harbour's effects in the order they are opened, with their names.
struct Sfx {
  uint32_t id;
  const char* name;
};
const Sfx kSounds[] = {
    {113, "SFXID_HAFENWELLEN"}, {106, "SFXID_HAFENSTIMMUNG"}, {110, "SFXID_HAFENMOEVE1"},
    {111, "SFXID_HAFENMOEVE2"}, {112, "SFXID_HAFENMOEVE3"}, {107, "SFXID_HAFENMENSCHEN1"},
    {108, "SFXID_HAFENMENSCHEN2"}, {109, "SFXID_HAFENMENSCHEN3"}, {40, "SFXID_HANDELMARKTSCHREIER1"},
    {41, "SFXID_HANDELMARKTSCHREIER2"}, {42, "SFXID_HANDELMARKTSCHREIER3"}, {43, "SFXID_HANDELMARKTSCHREIER4"},
    {44, "SFXID_HANDELMARKTSCHREIER5"}, {19, "SFXID_STEUERNKUTSCHE"}, {22, "SFXID_STADTPFERD1"},
    {23, "SFXID_STADTPFERD2"}, {18, "SFXID_STEUERNKIRCHE"},
};
constexpr uint32_t kSoundCount = sizeof kSounds / sizeof kSounds[0];

// The ambient effect of a draw 0..20.
uint32_t AmbientSound(uint32_t r) {
  static const uint8_t kTable[21] = {107, 108, 109, 110, 110, 110, 111, 111, 111, 112, 112,
                                     112, 40,  41,  42,  43,  44,  19,  22,  23,  18};
  return kTable[r > 20 ? 20 : r];
}

bool Fits(const uint8_t* chunk, uint32_t off, uint32_t size) {
  return chunk && ChunkLength(chunk) + sizeof(ChunkHeader) >= off + size;
}

bool IsShipType(uint32_t type) { return type >= 14 && type <= 19; }

// Loads chunk id of the turn into *out: 1 loaded or absent, 0 damaged.
int32_t TurnChunk(const char* id, uint8_t** out) { return LoadTurnChunk(id, out) != TURN_CHUNK_FAILED; }

// 80-byte lines for count entries (at least one), cleared; null without memory.
char* NewLines(uint32_t count) {
  return static_cast<char*>(AllocVec((count ? count : 1) * kRequesterLineSize, MEMF_PUBLIC | MEMF_CLEAR));
}

void PutLine(char* lines, uint32_t i, uint32_t catalog_id) {
  std::snprintf(lines + i * kRequesterLineSize, kRequesterLineSize, "%s", GetCatalogStr(catalog_id));
}

}  // namespace

// ---- the rules ------------------------------------------------------------------

uint16_t HafenSchiffsTyp(uint32_t goods) { return goods >= 50 && goods <= 55 ? (uint16_t)(14 + goods - 50) : 0; }

uint32_t HafenSchiffsName(uint16_t type) { return IsShipType(type) ? 867u + (type - 14u) : 0u; }

uint16_t ShipLaunchClass(uint16_t type, const uint8_t* fors) {
  if (!IsShipType(type)) return 0;
  const bool war = type >= 17;
  const uint32_t off = war ? 17 : 20;  // art of battle, technics
  int32_t level = Fits(fors, off, 1) ? (int8_t)fors[off] : 0;
  level = level < 0 ? 0 : level > 7 ? 7 : level;
  static const uint16_t kBase[6] = {5, 10, 15, 10, 20, 30};
  return (uint16_t)(kBase[type - 14] + level);
}

uint32_t ShipRepairCost(uint16_t type) {
  static const uint32_t kCost[6] = {2000, 4000, 6000, 2500, 5000, 7500};
  return IsShipType(type) ? kCost[type - 14] : 0;
}

uint32_t WreckCost(uint16_t ship_class, uint32_t treasury) {
  const uint64_t cost = uint64_t(ship_class) * 2500u;
  return cost > treasury ? treasury : (uint32_t)cost;
}

// ---- shared inside the module -----------------------------------------------------

namespace hafen {

uint32_t Schatz(const HafenScreenData* d) { return Fits(d->land, kLandSchatz, 4) ? ChunkGet32(d->land, kLandSchatz) : 0; }

void SetSchatz(HafenScreenData* d, uint32_t value) {
  if (Fits(d->land, kLandSchatz, 4)) ChunkPut32(d->land, kLandSchatz, value);
}

uint8_t* PoolImage(HafenScreenData* d, uint32_t* size) {
  PoolChange changes[2] = {};
  uint32_t n = 0;
  uint8_t* ship = nullptr;
  if (d->schiffe && d->schiffe->count) {
    ship = MakeShipChunkFromList(d->schiffe);
    if (!ship) {
      DebugLog("WriteHafenData: Konnte die Armee Daten nicht Speichern!");
      return nullptr;
    }
    changes[n++] = {ship, nullptr};
  } else if (IsChunkInFile(ChunkBit(CHUNK_SHIP), OutgoingPoolPath) == 1) {
    changes[n++] = {nullptr, "SHIP"};
  }
  if (d->land) changes[n++] = {d->land, nullptr};
  uint8_t* image = ChangedPoolImage(OutgoingPoolPath, changes, n, size);
  if (!image) DebugLog("WriteHafenData: Konnte den ChunkPool nicht anlegen!\n");
  if (ship) FreeChunk(ship);
  return image;
}

int32_t ReloadShipsAndLand(HafenScreenData* d) {
  if (!d->gelesen) return 1;
  uint8_t* ship = nullptr;
  uint8_t* land = nullptr;
  ListHeader* list = CreateList(LIST_SHIPS);
  int32_t ok = list && TurnChunk("SHIP", &ship) && TurnChunk("LAND", &land);
  if (ok && ship && !ScanShip2List(list, ship)) ok = 0;
  if (ship) FreeChunk(ship);
  if (!ok) {
    DebugLog("LoadHafenData: Schiffe konnten nicht in die Liste eingescannt werden...\n");
    DeleteList(list, 0);
    if (land) FreeChunk(land);
    return 0;
  }
  DeleteList(d->schiffe, 0);
  d->schiffe = list;
  if (d->land) FreeChunk(d->land);
  d->land = land;
  return 1;
}

void RedrawHarbourArea(HafenScreenData* d) {
  if (d->schiffImHafen && ElmorGfxOpenCount(kShipPicture)) {
    BlitObjekt(nullptr, kShipPicture, kHafenBildX, kHafenBildY, kHafenBildW, kHafenBildH);
    ShowScreenRect(ScreenRastPort(), kHafenBildX, kHafenBildY, kHafenBildW, kHafenBildH);
  } else if (d->bild) {
    // RestoreBackground frees the copy: a new one of the same area is kept.
    BitMap* keep = d->bild;
    d->bild = nullptr;
    RestoreBackground(keep, kHafenBildX, kHafenBildY, kHafenBildW, kHafenBildH);
    d->bild = SaveBackground(kHafenBildX, kHafenBildY, kHafenBildW, kHafenBildH);
  }
}

int32_t Ask(const char* text) { return ChiefMessage(66, 168, 180, 0, 0, 0, 1, text, kPenText) == 0; }

void Notice(uint32_t catalog_id) { ChiefMessage(66, 168, 180, 0, 0, 0, 0, GetCatalogStr(catalog_id), kPenText); }

bool DeepDisplay() { return DisplayDepth() > 8; }

}  // namespace hafen

// ---- reading and writing ---------------------------------------------------------

int32_t LoadHafenData(HafenScreenData* d) {
  if (!d) return 0;
  d->gelesen = 0;
  d->schiffe = CreateList(LIST_SHIPS);
  if (!d->schiffe) {
    DebugLog("LoadHafenData: Konnte die Schiff-Liste nicht erstellen!\n");
    return 0;
  }
  if (!OrdersAllowed(ReadAccountState())) return 1;  // no game: nothing is read, nothing written
  uint8_t* ship = nullptr;
  if (!TurnChunk("SHIP", &ship)) {
    DebugLog("LoadHafenData: Konnte ShipChunk nicht \xF6" "ffnen !");
    return 0;
  }
  const int32_t scanned = !ship || ScanShip2List(d->schiffe, ship);
  if (ship) FreeChunk(ship);
  if (!scanned) {
    DebugLog("LoadHafenData: Schiffe konnten nicht in die Liste eingescannt werden...\n");
    return 0;
  }
  if (!TurnChunk("FORS", &d->fors)) {
    DebugLog("LoadHafenData: Konnte ForschungsChunk nicht \xF6" "ffnen \n");
    return 0;
  }
  if (!TurnChunk("LAND", &d->land)) {
    DebugLog("LoadHafenData: Konnte LandChunk nicht \xF6" "ffnen \n");
    return 0;
  }
  d->addOns = ScanShipAddOn2List();
  if (!d->addOns) {
    DebugLog("LoadHafenData: Konnte ShipAddOnDaten nicht \xF6" "ffnen \n");
    return 0;
  }
  d->gelesen = 1;
  return 1;
}

int32_t WriteHafenData(HafenScreenData* d) {
  if (!d) return 0;
  int32_t ok = 1;
  if (d->gelesen) {
    DebugLog("WriteHafenData: ShipChunk soll addiert werden auf den ChunkPool...\n");
    uint32_t size = 0;
    uint8_t* image = PoolImage(d, &size);
    ok = image != nullptr;
    if (ok) {
      FileSet* set = BeginFileSet();
      ok = set && FileSetWrite(set, OutgoingPoolPath, image, size);
      if (set) ok = CommitFileSet(set) && ok;
    }
    if (!ok) DebugLog("WriteHafenData: Konnte die Armee Daten nicht Speichern!");
    FreeVec(image);
  }
  DeleteList(d->schiffe, 0);
  d->schiffe = nullptr;
  if (d->fors) FreeChunk(d->fors);
  d->fors = nullptr;
  if (d->land) FreeChunk(d->land);
  d->land = nullptr;
  DeleteList(d->addOns, 0);
  d->addOns = nullptr;
  return ok;
}

int32_t LoadHandelSfx() {
  for (uint32_t i = 0; i < kSoundCount; ++i)
    if (OpenElmorSfx(kSfx, kSounds[i].id) != 1) {
      DebugLog("LoadHandelSfx : Konnte %s nicht \xF6" "ffnen!\n", kSounds[i].name);
      while (i--) CloseElmorSfx000(kSounds[i].id);
      return 0;
    }
  return 1;
}

void CloseHafenSfx() {
  for (const Sfx& s : kSounds) {
    StopSfx(s.id);
    CloseElmorSfx000(s.id);
  }
}

// ---- the lists ----------------------------------------------------------------------

int32_t AllocHafenFigurenListe(HafenScreenData* d) {
  if (d->figuren) return 1;
  d->figuren = CreateList(LIST_FIGURES);
  d->figurenGeladen = 0;
  if (!d->figuren) {
    DebugLog("AllocFigurenListe: Konnte Warenliste nicht anlegen...\n");
    return 0;
  }
  if (!d->gelesen) return 1;
  uint8_t* move = nullptr;
  const uint32_t fault = LoadFigureFile(MapPrefsPath, &move);
  const int32_t ok = !fault && (!move || ScanFigur2List(d->figuren, move));
  if (move) FreeChunk(move);
  d->figurenDefekt = fault;
  if (!ok) {
    DebugLog(fault ? "AllocFigurenListe: Konnte Liste nicht anlegen...\n"
                   : "AllocFigurenListe: Ware konnt nicht in eine Liste eingescannt werden...\n");
    // No list of a file that could not be read (nor of one that is not
    // there): an empty one would be written over it, or in its place.
    DeleteList(d->figuren, 0);
    d->figuren = nullptr;
    return 0;
  }
  d->figurenGeladen = d->figuren->count;
  return 1;
}

int32_t HafenSchiffImHafen(HafenScreenData* d) {
  uint32_t i = 0;
  for (ListNode* n = d->figuren ? d->figuren->first : nullptr; n && i < d->figuren->count; n = n->next, ++i) {
    const FigurRecord& f = reinterpret_cast<MOVE_EXT*>(n)->figure;
    if (IsShipType(f.type) && f.x == d->stadtX && f.y == d->stadtY) return 1;
  }
  return 0;
}

MOVE_EXT* HafenAnkerFigur(HafenScreenData* d, uint32_t line) {
  const uint32_t own = GameDataOwnerID();
  uint32_t i = 0, k = 0;
  for (ListNode* n = d->figuren ? d->figuren->first : nullptr; n && i < d->figuren->count; n = n->next, ++i) {
    auto* m = reinterpret_cast<MOVE_EXT*>(n);
    const FigurRecord& f = m->figure;
    if (f.owner == own && IsShipType(f.type) && f.x == d->stadtX && f.y == d->stadtY && k++ == line) return m;
  }
  return nullptr;
}

Schiffseintrag* HafenSchiffseintrag(HafenScreenData* d, uint16_t ship_id) {
  uint32_t i = 0;
  for (ListNode* n = d->schiffe ? d->schiffe->first : nullptr; n && i < d->schiffe->count; n = n->next, ++i) {
    auto* s = reinterpret_cast<Schiffseintrag*>(n);
    if (s->ship_id == ship_id) return s;
  }
  return nullptr;
}

int32_t AllocFigurenListe(HafenScreenData* d) {
  if (!AllocHafenFigurenListe(d)) return 0;
  uint32_t count = 0;
  while (HafenAnkerFigur(d, count)) ++count;
  DebugLog("Es liegen %u Schiffe im Hafen...\n", count);
  char* lines = NewLines(count);
  if (!lines) {
    DebugLog("InitWerftRequester: Konnte VertragListBuffer nicht allokieren...\n");
    return 0;
  }
  for (uint32_t i = 0; i < count; ++i) PutLine(lines, i, HafenSchiffsName(HafenAnkerFigur(d, i)->figure.type));
  if (!count) PutLine(lines, 0, kNoneText);
  FreeVec(d->ankerZeilen);
  d->ankerZeilen = lines;
  d->ankerAnzahl = (uint16_t)(count ? count : 1);
  d->ankerLeer = count == 0;
  return 1;
}

void FreeFigurenListe(HafenScreenData* d) {
  DeleteList(d->figuren, 0);
  d->figuren = nullptr;
  d->figurenGeladen = 0;
  d->figur = nullptr;
  FreeVec(d->ankerZeilen);
  d->ankerZeilen = nullptr;
  d->ankerAnzahl = 0;
}

int32_t InitWerftRequester(HafenScreenData* d) {
  if (!d->waren) {
    d->waren = CreateList(LIST_GOODS);
    if (!d->waren) {
      DebugLog("InitWerftRequester: Konnte Warenliste nicht anlegen...\n");
      return 0;
    }
    uint8_t* ware = nullptr;
    const bool damaged = d->gelesen && LoadChunkState("WARE", kWarenChunk, &ware) == CHUNK_DAMAGED;
    const int32_t ok = !damaged && (!ware || ScanWare2List(d->waren, ware));
    if (ware) FreeChunk(ware);
    if (!ok) {
      DebugLog(damaged ? "InitWerftRequester: Konnte Liste nicht anlegen...\n"
                       : "InitWerftRequester: Ware konnt nicht in eine Liste eingescannt werden...\n");
      // No list of a file that could not be read: an empty one would be written over it.
      DeleteList(d->waren, 0);
      d->waren = nullptr;
      return 0;
    }
    DebugLog("InitWerftRequester: Anzahl der Waren %u\n", d->waren->count);
  }
  uint32_t count = 0, i = 0;
  for (ListNode* n = d->waren->first; n && i < d->waren->count; n = n->next, ++i) {
    auto* w = reinterpret_cast<WarenListenEntry*>(n);
    count += w->kind == WARE_LAGER && HafenSchiffsTyp(w->goods);
  }
  DebugLog("InitWerftRequester: Anzahl der Schiffe %u\n", count);
  char* lines = NewLines(count);
  if (!lines) {
    DebugLog("InitWerftRequester: Konnte VertragListBuffer nicht allokieren...\n");
    return 0;
  }
  uint32_t k = 0;
  i = 0;
  for (ListNode* n = d->waren->first; n && i < d->waren->count; n = n->next, ++i) {
    auto* w = reinterpret_cast<WarenListenEntry*>(n);
    if (w->kind == WARE_LAGER && HafenSchiffsTyp(w->goods)) PutLine(lines, k++, HafenSchiffsName(HafenSchiffsTyp(w->goods)));
  }
  if (!count) PutLine(lines, 0, kNoneText);
  FreeVec(d->werftZeilen);
  d->werftZeilen = lines;
  d->werftAnzahl = (uint16_t)(count ? count : 1);
  d->werftLeer = count == 0;
  return 1;
}

void FreeWerftListe(HafenScreenData* d) {
  DeleteList(d->waren, 0);
  d->waren = nullptr;
  FreeVec(d->werftZeilen);
  d->werftZeilen = nullptr;
  d->werftAnzahl = 0;
}

namespace {

// Makes, refreshes or frees one list requester in rectangles `list` and
// `slider` of the open requester's layout.
int32_t UpdateList(HafenScreenData* d, QoERequester** req, ScreenRegion* layout, uint32_t list, uint32_t slider,
                   uint32_t count, const char* lines, const char* what) {
  if (!count || !lines || !layout) {  // nothing to show, or no requester open
    FreeRequesterBox(*req);
    *req = nullptr;
    return 1;
  }
  if (*req) {
    DebugLog("Update%sRequester : %sReq soll upgedatet werden...\n", what, what);
    if (UpdateRequesterText(*req, lines, count)) return 1;
    DebugLog("Update%sRequester: Konnte %s-Requester nicht neu anlegen !\n", what, what);
    return 0;
  }
  DebugLog("Update%sRequester : %sReq soll initialisiert werden...\n", what, what);
  LayoutRect l{}, s{};
  if (!GetLayoutRect(layout, list, &l) || !GetLayoutRect(layout, slider, &s) || l.x2 <= l.x1 ||
      l.y2 <= l.y1 || s.x2 <= s.x1 || s.y2 <= s.y1) {
    DebugLog("Update%sRequester: Konnte %s-Requester nicht neu anlegen !\n", what, what);
    return 0;
  }
  const uint32_t w = l.x2 - l.x1 + 1u, h = l.y2 - l.y1 + 1u;
  *req = InitRequesterBox(w, count, d->font11, lines, l.x1, l.y1, w, h, kPenBack, kPenText);
  if (!*req || !InitSlider(*req, s.x2 - s.x1 + 1u, s.y2 - s.y1 + 1u, 26, 22, 25, 24, s.x1, s.y1)) {
    DebugLog("Update%sRequester: Konnte %s-Requester nicht neu anlegen !\n", what, what);
    FreeRequesterBox(*req);
    *req = nullptr;
    return 0;
  }
  return 1;
}

}  // namespace

// Rectangles of the requester layouts (docs/harbour.md): 0 the requester,
// 1 the shipyard list, 2 its slider, 3 the anchor list, 4 its slider.
int32_t UpdateWarenRequester(HafenScreenData* d, uint32_t count, const char* lines) {
  DebugLog("Anzahl_MW %u\n", count);
  return UpdateList(d, &d->werftReq, d->werftLayout, 1, 2, count, lines, "Waren");
}

int32_t UpdateAnkerRequester(HafenScreenData* d, uint32_t count, const char* lines) {
  ScreenRegion* layout = d->werftLayout ? d->werftLayout : d->repLayout;
  return UpdateList(d, &d->ankerReq, layout, d->werftLayout ? 3 : 1, d->werftLayout ? 4 : 2, count, lines, "Anker");
}

// ---- the screen's set-up ----------------------------------------------------------

int32_t InitAllThingsHafen(HafenScreenData* d) {
  if (d->gelesen) {
    st_TOWN* town = GetActiveTown(OwnPlayerPtr->ActiveTown);
    if (!town) {
      DebugLog("AllocFigurenListe: Konnte Stadt nicht laden!\n");
      return 0;
    }
    d->stadtX = town->XPos;
    d->stadtY = town->YPos;
    DebugLog("Aktive Stadt  X: %u Y: %u\n", d->stadtX, d->stadtY);
    FreeVec(town);
  }
  d->bild = SaveBackground(kHafenBildX, kHafenBildY, kHafenBildW, kHafenBildH);
  if (!d->bild) {
    DebugLog("HafenSchiffReq: Konnte ein Rechteck des Hintergrundes nicht retten !\n");
    return 0;
  }
  if (OpenElmorGfx(kGfxIndex, kShipPicture) != 1) {
    DebugLog("HafenScreen: Konnte ein Bob nicht laden!\n");
    return 0;
  }
  if (!AllocHafenFigurenListe(d)) {
    DebugLog("AllocFigurenListe: Konnte FigurenListe nicht anlegen...\n");
    // A figure file that cannot be used is told as the screen opens; the
    // harbour opens without its ships.
    return d->figurenDefekt ? 1 : 0;
  }
  if (HafenSchiffImHafen(d)) {
    DebugLog("HafenScreen: Ein Schiff liegt im Hafen.\n");
    BlitObjekt(nullptr, kShipPicture, kHafenBildX, kHafenBildY, kHafenBildW, kHafenBildH);
    d->schiffImHafen = 1;
  }
  return 1;
}

void FreeAllThingsHafen(HafenScreenData* d) {
  if (d->bild) FreeBitMap(d->bild);
  d->bild = nullptr;
  if (ElmorGfxOpenCount(kShipPicture)) CloseElmorGfx(kShipPicture);
  FreeFigurenListe(d);
  FreeWerftListe(d);
  FreeVec(d->marken);
  FreeVec(d->markenSchaden);
  d->marken = nullptr;
  d->markenSchaden = nullptr;
  d->markenAnzahl = d->markenPlatz = 0;
}

// ---- the screen ---------------------------------------------------------------------

int32_t HafenScreen(int32_t) {
  PlayScreenCdTrack(kCdTrack);
  ScreenBase base{};
  if (!OpenScreenPicture(&base, kPicture, 1)) {
    ScreenStartFailed(&base, SCREEN_STEP_PICTURE, "HafenScreen: Konnte Pic nicht laden!\n");
    return -1;
  }
  auto* d = static_cast<HafenScreenData*>(AllocVec(sizeof(HafenScreenData), MEMF_PUBLIC | MEMF_CLEAR));
  bool sfx = false, loaded = false;
  auto leave = [&](int32_t next) {
    if (d) {
      FreeAllThingsHafen(d);
      if (sfx) CloseHafenSfx();
      // The chunks read are written back even when a later step failed.
      if (loaded) WriteHafenData(d);
      else {
        DeleteList(d->schiffe, 0);
        DeleteList(d->addOns, 0);
        if (d->fors) FreeChunk(d->fors);
        if (d->land) FreeChunk(d->land);
      }
      CloseFont(d->font11);
    }
    FreeVec(d);
    CloseScreenBase(&base, next);
    return next;
  };
  auto fail = [&](uint32_t step, const char* line) {
    ScreenStartFailed(&base, step, line);
    return leave(-1);
  };
  if (!d) return fail(SCREEN_STEP_MEMORY, "HafenScreen: Kein Speicher f\xFCr lokale Daten!\n");
  d->zuletzt[0] = d->zuletzt[1] = 0;
  d->font11 = OpenDiskFont("fonts\\XHelvetica11.fnt");
  if (!d->font11) return fail(SCREEN_STEP_FONT, "HafenScreen: Konnte Font nicht laden!\n");
  if (!OpenScreenFont(&base, "fonts\\ElmorC1.fnt"))
    return fail(SCREEN_STEP_FONT, "HafenScreen: Konnte Elmor-Font nicht \xF6" "ffnen !");
  d->elmor = base.font;
  if (!OpenScreenLayout(&base, ".\\Data\\Screendat\\Hafen.dat", 3))
    return fail(SCREEN_STEP_LAYOUT, "HafenScreen: Kann TitelbarDaten nicht laden!\n");
  loaded = LoadHafenData(d) == 1;
  sfx = loaded && LoadHandelSfx() == 1;
  if (!loaded || !sfx) return fail(loaded ? SCREEN_STEP_SOUNDS : SCREEN_STEP_DATA, "HafenScreen: Kann Audio-Daten nicht laden !\n");
  static const ScreenMovieSpec kMill[] = {{".\\Anims\\HafenMuehle.cban", 544, 108, 68, 4}};
  if (!OpenScreenMovies(&base, kMill, 1)) return fail(SCREEN_STEP_MOVIES, "InitAllThings : AllocMovieBase fehlgeschlagen...\n");
  if (!InitAllThingsHafen(d)) return fail(SCREEN_STEP_GRAPHICS, "HafenScreen: Konnte InitAllThings nicht ausf\xFChren !\n");
  ShowScreenBase(&base);
  SfxPlayer000(113, 0, 1);
  SfxPlayer000(106, 0, 1);
  if (d->figurenDefekt == FIGURE_FILE_MISSING) ScreenTellMissingFile(&base, MapPrefsPath, kFigurenDefektText);
  else if (d->figurenDefekt) ScreenTellDamagedFile(&base, MapPrefsPath, kFigurenDefektText);
  AmbientCounter ambient{};
  InitAmbientCounter(&ambient, 100, 10);
  int32_t next = -1;
  do {
    int32_t event = 0;
    Gadget* g = ScreenBaseEvent(&base, kTitlePen, &event);
    if (event == WE_TICK && AmbientCounterTick(&ambient)) SfxPlayer000(AmbientSound(Zufall(20)), 0, 0);
    if (!g) continue;
    if (GadgetIs(g, "STAD") || GadgetIs(g, "EXIT")) {
      next = kTown;
    } else if (GadgetIs(g, "MAP0")) {
      next = kMap;
    } else if (GadgetIs(g, "KONT")) {
      PauseScreenMovies(&base, 1);
      Notice(kNotYet);
      PauseScreenMovies(&base, 0);
    } else if ((GadgetIs(g, "SCHI") || GadgetIs(g, "REPA")) && d->figurenDefekt) {
      DebugLog("HafenScreen: Meldung %u\n", kFigurenDefektOrder);
      PauseScreenMovies(&base, 1);
      Notice(kFigurenDefektOrder);
      PauseScreenMovies(&base, 0);
    } else if (GadgetIs(g, "SCHI") || GadgetIs(g, "REPA")) {
      PauseScreenMovies(&base, 1);
      const int32_t ran = GadgetIs(g, "SCHI") ? HafenSchiffReq(d) : HafenSchiffRep(d);
      PauseScreenMovies(&base, 0);
      if (!ran) next = kTown;
    }
  } while (ScreenBaseStays(&next, kTown));
  return leave(next);
}
