// Events that change the figure list outside the figure menu: a figure off
// land sinks, a ship too far from land for the realm's range is lost with
// its cargo, and the town dialogue puts figures on the map, disbands them
// or enters the town. Every change is made on a copy of
// .\Data\MapPrefs.qoe and written with the screen's lists through one
// FileSet; the figure list is then loaded again (docs/map-screen.md
// "Actions and person events").
#include <cstdio>
#include <cstring>
#include <string>

#include "mapaction_internal.h"
#include "mapdisplay.h"
#include "platform/log.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/towns.h"
#include "routinen/gamedata/turns.h"
#include "routinen/gui/pictures.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/catalog.h"
#include "routinen/system/files.h"
#include "routinen/system/input.h"
#include "routinen/system/memory.h"
#include "routinen/system/sysrecords.h"

namespace {

// The copy of the figure file the removals work on before the whole change
// is written.
const char* const kScratch = ".\\Data\\MapPrefs.evt";
constexpr uint32_t kTextNotSaved = 1641;
// A figure file that cannot be used: the frame naming the file (damaged, or
// missing) and what the map goes without (no figure to select, so no figure
// order; the town dialogue puts none on the map and disbands none).
constexpr uint32_t kTextDamagedFile = 1682, kTextMissingFile = 1930, kTextFiguresDamaged = 1796;
// Town file fields.
constexpr uint32_t kTownFlags = 4, kTownId = 20, kTownX = 24, kTownY = 28, kTownPeople = 32, kTownHall = 3416;
constexpr uint32_t kFewInhabitants = 10000;

const char* const kNotSaved = "CheckPersonEvent : Konnte MapPrefs nicht abspeichern...\n";

bool IsArmyType(uint32_t t) { return t >= 1 && t <= 9; }

bool LandAt(void* user, int32_t column, int32_t row) {
  return CheckFeldTyp(static_cast<const KartenScreenRecord*>(user), column, row, 0, 0) != 0;
}

// The figure list and the lists written as they are, before a change.
bool SaveBefore(KartenScreenRecord* d) {
  if (!ExitPosWriteMapPrefs(d->map)) {
    DebugLog("%s", kNotSaved);
    return false;
  }
  if (!WriteKartenScreenData(d, 0)) {
    DebugLog("%s", kNotSaved);
    return false;
  }
  return true;
}

bool MakeScratch() {
  uint32_t size = 0;
  void* image = LoadFile2MemSize(MapPrefsPath, MEMF_PUBLIC, &size);
  const bool ok = image && SaveMem2File(kScratch, image, size) == 1;
  FreeVec(image);
  return ok;
}

// Writes the changed copy with the lists; on failure the lists are read
// again from the files, which still hold the state before the change.
bool CommitScratch(KartenScreenRecord* d) {
  uint32_t size = 0;
  void* image = LoadFile2MemSize(kScratch, MEMF_PUBLIC, &size);
  DeleteFileA(kScratch);
  const bool ok = image && WriteKartenScreenDataAnd(d, 0, MapPrefsPath, image, size);
  FreeVec(image);
  if (!ok) {
    DebugLog("CheckPersonEvent : Die Aenderung konnte nicht gespeichert werden, nichts wurde geaendert\n");
    ReadKartenScreenData(d);
    mapaction::Notice(kTextNotSaved);
  }
  return ok;
}

// Loads the figure list again (a failure keeps the old one), clears the
// selection and redraws.
void Reload(KartenScreenRecord* d) {
  if (!InitPosLoadPeopleMem(d->map))
    DebugLog("CheckPersonEvent : Konnte Speicher f\xfcr Move-Chunk nicht reservieren...");
  d->SelectedFigure = nullptr;
  d->FigureSelected = 0;
  mapaction::Redraw(d);
}

uint32_t RemoveFigurAndArmyIn(KartenScreenRecord* d, const FigurRecord* f, const char* path) {
  if (!f) return 1;
  uint32_t result = 1;
  if (IsArmyType(f->type)) {
    ListNode* n = d->Armies ? d->Armies->first : nullptr;
    uint32_t index = 0;
    bool found = false;
    for (; n && index < d->Armies->count; index++, n = n->next) {
      const Army* a = reinterpret_cast<const Army*>(n);
      if (a->ArmeeID == f->number && a->X == f->x && a->Y == f->y) {
        found = true;
        break;
      }
    }
    ListHeader* gone = found ? CreateList(LIST_ARMIES) : nullptr;
    if (gone) {
      DebugLog("RemoveFigurAndArmy: Armee mit ArmeeID %u mit X %u & Y %u wird gel\xf6scht\n", (uint32_t)f->number, f->x,
               f->y);
      RemoveNode(d->Armies, LN_INDEX, index, RN_KEEP_NODE);
      AddNode(gone, n, LN_TAIL, 0);
      DeleteArmyList(gone);
    } else {
      DebugLog("RemoveFigurAndArmy: Fataler Fehler ! Konnte die Armeedaten nicht entfernen !!!\n");
      result = 0;
    }
  }
  if (!RemoveFigurFromMapPrefs(path, f->type, f->x, f->y, f->number)) {
    DebugLog("RemoveFigurAndArmy: Konnte die Armeefigur nicht entfernen !!!\n");
    result = 0;
  }
  return result;
}

// The ship and every own ship on its hex removed with their cargo.
void LoseShip(KartenScreenRecord* d, const FigurRecord& ship) {
  if (!SaveBefore(d) || !MakeScratch()) {
    mapaction::Notice(kTextNotSaved);
    return;
  }
  for (uint32_t i = d->Ships ? d->Ships->count : 0; i-- > 0;) {
    Schiffseintrag* s = reinterpret_cast<Schiffseintrag*>(GetNode(d->Ships, LN_INDEX, i));
    if (!s || s->x != ship.x || s->y != ship.y) continue;
    for (uint32_t k = 0; k < 3; k++)
      if (s->cargo[k].state == 7 && !RemoveFigurAndArmyIn(d, &s->cargo[k], kScratch))
        DebugLog("CheckPersonEvent : Konnte Schiffs-Ladung %u nicht entfernen !!!\n", k + 1);
    RemoveNode(d->Ships, LN_INDEX, i, 0);
  }
  if (!RemoveFigurFromMapPrefs(kScratch, 31, ship.x, ship.y, -1))
    DebugLog("CheckPersonEvent : Konnte Figuren nicht entfernen !!!\n");
  if (CommitScratch(d)) mapaction::ShowTextBox(GetCatalogStr(1023));
}

void Sink(KartenScreenRecord* d, const FigurRecord& f) {
  if (!SaveBefore(d) || !MakeScratch()) {
    mapaction::Notice(kTextNotSaved);
    return;
  }
  DebugLog("CheckPersonEvent: Figur im Wasser gefunden. Figur und eventuelle Figur wird entfernt...\n");
  mapaction::Notice(1286);
  if (!RemoveFigurAndArmyIn(d, &f, kScratch))
    DebugLog("CheckPersonEvent : Konnte Figur und ev. Armee nicht entfernen !!!\n");
  CommitScratch(d);
}

// The ship range of the received research, or -1 when there is no FORS
// chunk (no test), -2 when it cannot be read.
int32_t ShipRange() {
  LoadedChunk fors;
  const int32_t state = fors.Load("FORS", ReceivedPoolPath);
  if (state == CHUNK_ABSENT) return -1;
  if (state != CHUNK_GOOD) {
    DebugLog("CheckPersonEvent : Konnte FORS-Chunk nicht \xf6" "ffnen \n");
    return -2;
  }
  return fors.len() >= 5 ? fors.p[16] : 0;
}

// --- the town dialogue ------------------------------------------------------------------

struct TownFacts {
  uint16_t flags, hall;
  uint32_t id, people;
};

// The facts of the town file when the town stands at (x, y).
bool TownAt(const char* name, int32_t x, int32_t y, TownFacts* out) {
  char path[300];
  TownFilePath(name, path, sizeof path);
  uint32_t size = 0;
  uint8_t* file = static_cast<uint8_t*>(LoadFile2MemSize(path, MEMF_PUBLIC, &size));
  bool hit = file && size >= kTownHall + 2 && GetBE32(file + kTownX) == (uint32_t)x &&
             GetBE32(file + kTownY) == (uint32_t)y;
  if (hit) *out = TownFacts{GetBE16(file + kTownFlags), GetBE16(file + kTownHall), GetBE32(file + kTownId),
                            GetBE32(file + kTownPeople)};
  FreeVec(file);
  return hit;
}

void SelectNew(KartenScreenRecord* d, uint16_t number) {
  QoEMapInfo* map = d->map;
  for (uint32_t i = 0, n = MapFigurCount(map->Figures); i < n; i++) {
    MapFigur* f = MapFigurAt(map->Figures, i);
    if (f->Besitzer == MapOwnPlayer() && f->Nummer == number) {
      d->SelectedFigure = f;
      d->FigureSelected = 1;
      return;
    }
  }
}

uint32_t TownDialogue(KartenScreenRecord* d, const TownFacts& town, int32_t x, int32_t y) {
  static const uint32_t kTexts[8][2] = {{1106, 254}, {1106, 257}, {1541, 254}, {1541, 257},
                                        {691, 254},  {691, 257},  {1459, 0},   {689, 0}};
  char texts[8 * 80];
  std::memset(texts, 0, sizeof texts);
  for (uint32_t i = 0; i < 8; i++) {
    if (kTexts[i][1]) std::snprintf(texts + 80 * i, 80, "%s %s", GetCatalogStr(kTexts[i][0]), GetCatalogStr(kTexts[i][1]));
    else std::snprintf(texts + 80 * i, 80, "%s", GetCatalogStr(kTexts[i][0]));
  }
  const uint32_t choice = mapaction::ChooseTownAction(8, texts);
  if (choice == 0 || choice == 8) return 1;
  if (choice == 7) {
    OwnPlayerPtr->ActiveTown = town.id;
    d->TownRequest = 1;
  }
  const bool disband = choice == 2 || choice == 4 || choice == 6;
  if (town.people < kFewInhabitants && !disband) {
    mapaction::Notice(1109);
    return 1;
  }
  if (choice == 7) return 1;
  // Without a figure file there is nothing to add the figure to or take it
  // from, and none may be made in its place.
  if (d->map->FigureFileDamaged) {
    mapaction::TellFigureFileDamaged(d->map->FigureFileDamaged);
    return 1;
  }
  const uint16_t type = choice <= 2 ? 10 : choice <= 4 ? 20 : 0;
  uint32_t result = 1;
  LockMotion(d->Motion);
  if (!SaveBefore(d)) {
    mapaction::Notice(kTextNotSaved);
    UnlockMotion(d->Motion);
    return 0;
  }
  uint16_t number = 0xFFFF;
  if (!disband) {
    number = AddFigur2MapPrefs(MapPrefsPath, type, (uint32_t)x, (uint32_t)y);
    if (number == 0xFFFF) {
      DebugLog("CheckPersonEvent : Konnte Figur nicht einsetzen !!!\n");
      mapaction::Notice(kTextNotSaved);
      result = 0;
    }
  } else if (!RemoveFigurFromMapPrefs(MapPrefsPath, type, (uint32_t)x, (uint32_t)y, -2)) {
    DebugLog("CheckPersonEvent : Konnte Figuren nicht entfernen !!!\n");
    mapaction::Notice(kTextNotSaved);
    result = 0;
  }
  Reload(d);
  if (number != 0xFFFF) {
    SelectNew(d, number);
    mapaction::Redraw(d);
  }
  UnlockMotion(d->Motion);
  return result;
}

}  // namespace

void mapaction::TellFigureFileDamaged(uint32_t fault) {
  const bool damaged = fault == FIGURE_FILE_DAMAGED;
  DebugLog(damaged ? "Beschaedigte Datei gemeldet: %s\n" : "Fehlende Datei gemeldet: %s\n", MapPrefsPath);
  if (WindowCloseRequested()) return;
  // The player's name of the file: without the leading ".\".
  const std::string frame = GetCatalogStr(damaged ? kTextDamagedFile : kTextMissingFile), name = MapPrefsPath + 2;
  const size_t at = frame.find("%s");
  std::string text = at == std::string::npos ? frame : frame.substr(0, at) + name + frame.substr(at + 2);
  text += std::string(" ") + GetCatalogStr(kTextFiguresDamaged);
  WaitTransition();
  NoticeText(text.c_str());
}

bool ShipNearLand(int32_t column, int32_t row, uint32_t range, bool (*land)(void* user, int32_t c, int32_t r),
                  void* user) {
  if (land(user, column, row) || RingWalk(column, row, 1, land, user)) return true;
  for (uint32_t n = 2; n <= range && n <= 14; n++)
    if (RingWalk(column, row, (int32_t)n, land, user)) return true;
  return false;
}

uint32_t RemoveFigurAndArmy(KartenScreenRecord* d, const FigurRecord* figure) {
  if (!d) return 0;
  return RemoveFigurAndArmyIn(d, figure, MapPrefsPath);
}

uint32_t CheckPersonEventField(KartenScreenRecord* d) {
  if (!d || !d->map || !d->SelectedFigure || !d->FigureSelected) return 1;
  const FigurRecord f = mapaction::RecordOf(d->SelectedFigure);
  int32_t x = 0, y = 0;
  mapaction::ClickedWorld(d, &x, &y);
  if ((uint32_t)x != f.x || (uint32_t)y != f.y) return 1;
  int32_t column = 0, row = 0;
  mapaction::WindowCellOf(d->map, f.x, f.y, &column, &row);
  const MapTile* cell = CMapCell(d->map, column, row);
  // A hex whose part never came is unknown, not water.
  if (!cell || cell->Grafik == 0) return 1;
  const bool ship = f.type >= 14 && f.type <= 19;
  if (ship) {
    if (!d->Ships || d->Ships->count == 0) return 1;
    const int32_t range = ShipRange();
    if (range == -2) return 0;
    if (range < 0 || ShipNearLand(column, row, (uint32_t)range, LandAt, d)) return 1;
    DebugLog("CheckPersonEvent : Schiff ausser Reichweite des Landes, es geht verloren\n");
  } else if (f.state == 7 || LandAt(d, column, row)) {
    return 1;
  }
  LockMotion(d->Motion);
  if (ship) LoseShip(d, f);
  else Sink(d, f);
  Reload(d);
  UnlockMotion(d->Motion);
  return 1;
}

uint32_t CheckPersonEvent(KartenScreenRecord* d) {
  if (!d || !d->map) return 1;
  TownListEntry* towns = nullptr;
  const uint32_t n = ReadTownList(&towns);
  if (!n) return 1;
  int32_t x = 0, y = 0;
  mapaction::ClickedWorld(d, &x, &y);
  uint32_t result = 1;
  TownFacts town{};
  for (uint32_t i = 0; i < n; i++) {
    if (!TownAt(towns[i].name, x, y, &town)) continue;
    if (town.flags & TOWN_REBELS) mapaction::Notice(1254);
    else if (!(town.hall & 2)) mapaction::Notice(1108);
    else result = TownDialogue(d, town, x, y);
    break;
  }
  FreeVec(towns);
  return result;
}

void FillMapActionHooks(MapScreenHooks* hooks) {
  hooks->CheckAktionsFeld = [](KartenScreenRecord* d) { CheckAktionsFeld(d); };
  hooks->CheckPersonEvent = [](KartenScreenRecord* d) { CheckPersonEvent(d); };
  hooks->CheckPersonEventField = [](KartenScreenRecord* d) { CheckPersonEventField(d); };
}
