// The map screen's turn data: armies, ships with their add-on records,
// specialists, the named places, the players, the received battles, the
// quarter and three values of the realm, read from the chunk pools and the
// side files, and written back through one FileSet.
#include <cstring>

#include "mapscreen.h"
#include "map_internal.h"
#include "platform/log.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/turns.h"
#include "routinen/system/files.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"
#include "routinen/system/prefs.h"

namespace {

const char* const kShipAddOnFile = ".\\Data\\ShipAddOn.dat";
const char* const kMapNamesFile = ".\\Data\\MapNames.dat";
const char* const kPlayersFile = ".\\Data\\SpielerList.qoe";

// LAND (docs/chunks.md): two reserved bytes, 17 u32 values from the
// inhabitants on (the 16th is the acres, "land value B"), four u16, then the
// bonus resource's signed byte.
constexpr uint32_t kLandInhabitants = 14;
constexpr uint32_t kLandValueB = 14 + 15 * 4;
constexpr uint32_t kLandBonus = 14 + 17 * 4 + 4 * 2;
// KORN: the u16 quarter after the u32 year.
constexpr uint32_t kKornQuarter = 16;

bool Installed() { return CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0) == ACCOUNT_INSTALLED; }

void FreeChunkMember(uint8_t** c) {
  if (*c) FreeChunk(*c);
  *c = nullptr;
}

void DeleteListMember(ListHeader** list) {
  if (*list) DeleteList(*list, 0);
  *list = nullptr;
}

// A chunk of the outgoing pool, else of the received one: the state of the
// pool it was taken from (CHUNK_ABSENT when neither has it).
int32_t LoadOutgoingElseReceived(const char* id, uint8_t** out) {
  int32_t st = LoadChunkState(id, OutgoingPoolPath, out);
  if (st != CHUNK_ABSENT) return st;
  return LoadChunkState(id, ReceivedPoolPath, out);
}

}  // namespace

void ReleaseKartenScreenData(KartenScreenRecord* d) {
  if (!d) return;
  if (d->Armies) DeleteArmyList(d->Armies);
  d->Armies = nullptr;
  DeleteListMember(&d->Ships);
  DeleteListMember(&d->ShipAddOns);
  DeleteListMember(&d->Specialists);
  DeleteListMember(&d->MapNames);
  FreeChunkMember(&d->Players);
  FreeChunkMember(&d->Battles);
  d->ArmiesUnread = d->ShipsUnread = d->SpecialistsUnread = d->ShipAddOnsUnread = d->MapNamesUnread = 0;
}

int32_t ReadKartenScreenData(KartenScreenRecord* d) {
  if (!d) return 0;
  if (!Installed()) return 1;
  ReleaseKartenScreenData(d);
  RegisterGameDataListTypes();
  int32_t ok = 1;
  // 1. ARMY of the outgoing pool only.
  uint8_t* chunk = nullptr;
  int32_t st = LoadChunkState("ARMY", OutgoingPoolPath, &chunk);
  if (st == CHUNK_GOOD) {
    d->Armies = ScanArmy2List(chunk);
    FreeChunk(chunk);
  }
  if (st == CHUNK_DAMAGED || (st == CHUNK_GOOD && !d->Armies)) {
    DebugLog("ReadKartenScreenData: Konnte den Army Chunk nicht aus dem PoP3Out File lesen.\n");
    d->ArmiesUnread = 1;
    ok = 0;
  }
  if (!d->Armies && !(d->Armies = CreateList(LIST_ARMIES))) {
    DebugLog("ReadKartenScreenData: Konnte keine leere ArmyListe anlegen...\n");
    d->ArmiesUnread = 1;
    ok = 0;
  }
  // 2. KORN: the quarter.
  {
    LoadedChunk korn("KORN", ReceivedPoolPath);
    if (korn.p && korn.len() >= kKornQuarter + 2 - 12)
      d->Quarter = (uint16_t)(ChunkGet16(korn.p, kKornQuarter) & 3);
    else
      DebugLog("ReadForschungsScreenData : Konnte Map-Prefs nicht öffnen \n");
  }
  // 3. SHIP: outgoing, else received.
  uint8_t* ship_chunk = nullptr;
  const int32_t ship_state = LoadOutgoingElseReceived("SHIP", &ship_chunk);
  if (ship_state == CHUNK_DAMAGED) {
    DebugLog("LoadHafenData: Konnte ShipChunk nicht öffnen !");
    d->ShipsUnread = 1;
    ok = 0;
  }
  // 4. LAND: inhabitants, land value B, the bonus resource.
  {
    uint8_t* land = nullptr;
    const int32_t land_state = LoadChunkState("LAND", ReceivedPoolPath, &land);
    if (land_state == CHUNK_GOOD && ChunkLength(land) + 12 > kLandBonus) {
      d->Inhabitants = ChunkGet32(land, kLandInhabitants) / 10;
      d->LandValueB = ChunkGet32(land, kLandValueB);
      d->BonusResource = (int16_t)(int8_t)land[kLandBonus];
    } else if (land_state != CHUNK_ABSENT) {
      DebugLog("ReadKartenScreenData: Konnte LandChunk nicht öffnen !");
      ok = 0;
    }
    if (land) FreeChunk(land);
  }
  // 5. The ship list and, with a SHIP chunk, the add-on records.
  if (!(d->Ships = CreateList(LIST_SHIPS))) {
    DebugLog("LoadHafenData: Konnte die Schiff-Liste nicht erstellen!\n");
    d->ShipsUnread = 1;
    ok = 0;
  } else if (ship_chunk) {
    if (!ScanShip2List(d->Ships, ship_chunk)) {
      DebugLog("LoadHafenData: Schiffe konnten nicht in die Liste eingescannt werden...\n");
      d->ShipsUnread = 1;
      ok = 0;
    }
  }
  if (ship_chunk) {
    FreeChunk(ship_chunk);
    if (!(d->ShipAddOns = ScanShipAddOn2List())) {
      DebugLog("ReadKartenScreenData: Konnte ShipAddOnDaten nicht laden...\n");
      d->ShipAddOnsUnread = 1;
      ok = 0;
    }
  }
  // 6. The named places.
  if (!(d->MapNames = CreateList(LIST_MAP_NAMES))) {
    DebugLog("ReadKartenScreenData: Konnte keine leere ArmyListe anlegen...\n");
    d->MapNamesUnread = 1;
    ok = 0;
  } else if (!ScanMapNames2List(d->MapNames)) {
    DebugLog("ReadKartenScreenData: Schiffe konnten nicht in die Liste eingescannt werden...\n");
    d->MapNamesUnread = 1;
    ok = 0;
  }
  // 7. The players, when their file exists.
  if (GeFileSize(kPlayersFile) != 0) {
    const int32_t pst = LoadChunkState("ANTW", kPlayersFile, &d->Players);
    if (pst == CHUNK_DAMAGED) {
      DebugLog("ShowTradeData : Konnte SpielerList nicht öffnen !");
      ok = 0;
    }
  }
  // 8. SPEZ: outgoing, else received.
  uint8_t* spez = nullptr;
  const int32_t spez_state = LoadOutgoingElseReceived("SPEZ", &spez);
  if (spez_state == CHUNK_DAMAGED) {
    DebugLog("ReadKartenScreenData: Konnte SpezChunk nicht öffnen !");
    d->SpecialistsUnread = 1;
    ok = 0;
  }
  if (!(d->Specialists = CreateList(LIST_SPECIALISTS))) {
    DebugLog("ReadKartenScreenData: Konnte die Schiff-Liste nicht erstellen!\n");
    d->SpecialistsUnread = 1;
    ok = 0;
  } else if (spez && !ScanSpezialisten2List(d->Specialists, spez)) {
    DebugLog("ReadKartenScreenData: Spezialisten konnten nicht in die Liste eingescannt werden...\n");
    d->SpecialistsUnread = 1;
    ok = 0;
  }
  if (spez) FreeChunk(spez);
  // 9. KRIG of the received pool.
  if (LoadChunkState("KRIG", ReceivedPoolPath, &d->Battles) == CHUNK_DAMAGED) {
    DebugLog("ReadKartenScreenData: Konnte SpielerList nicht öffnen !");
    ok = 0;
  }
  return ok;
}

namespace {

// The chunk of a list for the outgoing pool: a new chunk (kept in *made) or,
// for an empty list, the removal of its type. False when the conversion failed.
bool ListChange(ListHeader* list, uint8_t* (*make)(ListHeader*), const char* id, PoolChange* change,
                uint8_t** made) {
  if (list->count == 0) {
    *change = PoolChange{nullptr, id};
    return true;
  }
  *made = make(list);
  *change = PoolChange{*made, nullptr};
  return *made != nullptr;
}

uint8_t* MakeArmyChunk(ListHeader* list) { return CovertArmyList2ArmyChunk(list); }

}  // namespace

int32_t WriteKartenScreenData(KartenScreenRecord* d, int32_t release) {
  return WriteKartenScreenDataAnd(d, release, nullptr, nullptr, 0);
}

int32_t WriteKartenScreenDataAnd(KartenScreenRecord* d, int32_t release, const char* path, const void* data,
                                 uint32_t size) {
  if (!d) return 0;
  if (!Installed()) return path ? (SaveMem2File(path, data, size) == 1 ? 1 : 0) : 1;
  int32_t ok = 1;
  PoolChange changes[3]{};
  uint8_t* made[3] = {};
  uint32_t n = 0;
  if (d->Armies && !d->ArmiesUnread) {
    if (ListChange(d->Armies, MakeArmyChunk, "ARMY", &changes[n], &made[n])) n++;
    else {
      DebugLog("WriteKartenScreenData: Konnte die Armee-Daten nicht Speichern!");
      ok = 0;
    }
  }
  if (ok && d->Ships && !d->ShipsUnread) {
    if (ListChange(d->Ships, MakeShipChunkFromList, "SHIP", &changes[n], &made[n])) n++;
    else {
      DebugLog("WriteKartenScreenData: Konnte die Schiffs-Daten nicht speichern!");
      ok = 0;
    }
  }
  if (ok && d->Specialists && !d->SpecialistsUnread) {
    if (ListChange(d->Specialists, MakeSpezialistenChunkFromList, "SPEZ", &changes[n], &made[n])) n++;
    else {
      DebugLog("WriteKartenScreenData: Konnte die Spezialisten-Daten nicht speichern!");
      ok = 0;
    }
  }
  uint32_t pool_size = 0, names_size = 0, addon_size = 0;
  uint8_t* pool = nullptr;
  uint8_t* names = nullptr;
  uint8_t* addons = nullptr;
  if (ok && n > 0 && !(pool = ChangedPoolImage(OutgoingPoolPath, changes, n, &pool_size))) ok = 0;
  if (ok && d->MapNames && !d->MapNamesUnread && !(names = MakeMapNamesImage(d->MapNames, &names_size))) {
    DebugLog("WriteKartenScreenData: Konnte die Stadtnamen nicht abspeichern!");
    ok = 0;
  }
  if (ok && d->ShipAddOns && !d->ShipAddOnsUnread && !(addons = MakeShipAddOnImage(d->ShipAddOns, &addon_size))) {
    DebugLog("WriteHafenData: Konnte ShipAddOn-Daten nicht speichern!");
    ok = 0;
  }
  if (ok && (pool || names || addons || path)) {
    FileSet* set = BeginFileSet();
    ok = set != nullptr;
    if (ok && path) ok = FileSetWrite(set, path, data, size);
    if (ok && names) ok = FileSetWrite(set, kMapNamesFile, names, names_size);
    if (ok && pool) ok = FileSetWrite(set, OutgoingPoolPath, pool, pool_size);
    if (ok && addons) ok = FileSetWrite(set, kShipAddOnFile, addons, addon_size);
    if (set) ok = CommitFileSet(set) && ok;  // a poisoned set commits nothing
  }
  if (!ok) DebugLog("WriteKartenScreenData: Die Kartendaten konnten nicht gespeichert werden, keine Datei wurde geaendert.\n");
  FreeVec(pool);
  FreeVec(names);
  FreeVec(addons);
  for (uint8_t* c : made)
    if (c) FreeChunk(c);
  FreeChunkMember(&d->Players);
  FreeChunkMember(&d->Battles);
  if (release) ReleaseKartenScreenData(d);
  return ok;
}
