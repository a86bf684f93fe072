// The barracks' rules. See kaserne.h.
#include "kaserne.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/display.h"
#include "platform/log.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/towns.h"
#include "routinen/gamedata/turns.h"
#include "routinen/gamedata/weapons.h"
#include "routinen/map/map.h"
#include "routinen/system/fieldtext.h"
#include "routinen/system/files.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"
#include "routinen/system/shell.h"
#include "routinen/system/sysrecords.h"
#include "screens/common/orders.h"

namespace {

const char kWarenFile[] = ".\\Data\\WarenChunk.qoe";
constexpr uint32_t kStables = 27, kBarracks = 48, kArmyCamp = 57, kRecruit15 = 96, kRecruit20 = 163;
constexpr uint32_t kNameTries = 100;  // a name box that never gives a free name counts as Escape

KaserneOutcome Refused(const KaserneAsker* a, uint32_t id) {
  if (a && a->refuse) a->refuse(a->user, id);
  return {id, 0, 0};
}
KaserneOutcome Done() { return {0, 1, 0}; }
KaserneOutcome Nothing() { return {0, 0, 0}; }
KaserneOutcome Failed() { return {0, 0, 1}; }
void Tell(const KaserneAsker* a, uint32_t id) {
  if (a && a->tell) a->tell(a->user, id);
}
bool Yes(const KaserneAsker* a, uint32_t id) { return a && a->yesNo && a->yesNo(a->user, id) == 1; }

Army* ArmyAt(ListHeader* list, uint32_t i) {
  if (!list || i >= list->count) return nullptr;
  ListNode* n = list->first;
  while (i--) n = n->next;
  return reinterpret_cast<Army*>(n);
}
int32_t IndexOf(ListHeader* list, const void* node) {
  if (!list) return -1;
  ListNode* n = list->first;
  for (uint32_t i = 0; i < list->count; ++i, n = n->next)
    if (n == node) return static_cast<int32_t>(i);
  return -1;
}
ArmeeTyp* PartAt(const Army* army, uint32_t i) {
  return army && army->parts ? reinterpret_cast<ArmeeTyp*>(ArmyAt(army->parts, i)) : nullptr;
}
bool Contains(ListHeader* list, const void* node) { return IndexOf(list, node) >= 0; }

bool BuildingStands(const st_TOWN* town, uint32_t b) { return town && (town->buildings[b].flags & BUILDING_STANDS); }

// Recruits by the percentage, never below 0 nor above the town's people.
void RecomputeRecruits(KasernenData* d) {
  int64_t r = static_cast<int64_t>(d->Einwohner / 100) * d->Prozent - d->Soldaten;
  if (d->Stadt && r > static_cast<int64_t>(d->Stadt->TownPopulation)) r = d->Stadt->TownPopulation;
  d->Rekruten = r < 0 ? 0 : r > INT32_MAX ? INT32_MAX : static_cast<int32_t>(r);
}

// The units to be formed must still live in the town.
bool UnitsInTown(const KasernenData* d) {
  return d->Stadt && static_cast<int64_t>(d->Einheiten) <= static_cast<int64_t>(d->Stadt->TownPopulation);
}

// A name for an army: cut to 19 characters as stored, refused with 1333
// while an army has it. False for Escape.
bool AskArmyName(KasernenData* d, const KaserneAsker* a, uint32_t title, uint32_t help, char out[KASERNE_NAME_SIZE]) {
  for (uint32_t t = 0; t < kNameTries; ++t) {
    char typed[80] = {};
    if (!a || !a->askName || !a->askName(a->user, title, help, typed, sizeof typed)) return false;
    char name[KASERNE_NAME_SIZE];
    CopyIntoField(name, sizeof name, typed);  // the stored name's 19 characters
    if (FindNodeByName(d->ArmeeListe, name)) {
      Refused(a, 1333);
      continue;
    }
    std::memcpy(out, name, KASERNE_NAME_SIZE);
    return true;
  }
  return false;
}

// A new army at the end of the list with an empty part list, null without memory.
Army* AppendArmy(KasernenData* d) {
  auto* army = reinterpret_cast<Army*>(AllocListNode(d->ArmeeListe));
  if (!army) return nullptr;
  army->parts = CreateList(LIST_ARMY_PARTS);
  if (!army->parts) {
    FreeVec(army);
    return nullptr;
  }
  AddNode(d->ArmeeListe, &army->head, LN_TAIL, 0);
  return army;
}

ArmeeTyp* AppendPart(Army* army) {
  auto* part = reinterpret_cast<ArmeeTyp*>(AllocListNode(army->parts));
  if (part) AddNode(army->parts, &part->head, LN_TAIL, 0);
  return part;
}

// Moves a part from one army's list to the end of another's.
void MovePart(Army* from, ArmeeTyp* part, Army* to) {
  const int32_t i = IndexOf(from->parts, part);
  if (i < 0) return;
  RemoveNode(from->parts, LN_INDEX, static_cast<uint32_t>(i), RN_KEEP_NODE);
  AddNode(to->parts, &part->head, LN_TAIL, 0);
}

// Removes the army with its parts and their saboteurs.
void RemoveArmy(KasernenData* d, Army* army) {
  if (army->parts) {
    ListNode* n = army->parts->first;
    for (uint32_t i = 0; i < army->parts->count; ++i, n = n->next)
      DeleteList(reinterpret_cast<ArmeeTyp*>(n)->SaboteurListHeader, 0);
    DeleteList(army->parts, 0);
  }
  const int32_t i = IndexOf(d->ArmeeListe, army);
  if (i >= 0) RemoveNode(d->ArmeeListe, LN_INDEX, static_cast<uint32_t>(i), 0);
}

// The goods record in store (kind 5) of a goods type, null none.
WarenListenEntry* StoreRecord(ListHeader* goods, uint32_t type) {
  if (!goods) return nullptr;
  ListNode* n = goods->first;
  for (uint32_t i = 0; i < goods->count; ++i, n = n->next) {
    auto* g = reinterpret_cast<WarenListenEntry*>(n);
    if (g->kind == 5 && g->goods == type) return g;
  }
  return nullptr;
}

void RemoveFrom(ListHeader* list, void* node) {
  const int32_t i = IndexOf(list, node);
  if (i >= 0) RemoveNode(list, LN_INDEX, static_cast<uint32_t>(i), 0);
}

uint32_t Slot(const ArmeeTyp* p, uint32_t k) {
  switch (k) {
    case 1: return p->WaffeI;
    case 2: return p->WaffeII;
    case 3: return p->Ruestung;
    case 4: return p->Schild;
    default: return p->Helm;
  }
}

const char* const kSlotNames[6] = {"", "WaffeI", "WaffeII", "Ruestung", "Schild", "Helm"};

ListHeader* CopyList(ListHeader* list) {
  if (!list) return nullptr;
  ListHeader* copy = CreateList(list->type);
  if (!copy) return nullptr;
  ListNode* n = list->first;
  for (uint32_t i = 0; i < list->count; ++i, n = n->next) {
    ListNode* c = AllocListNode(copy);
    if (!c) {
      DeleteList(copy, 0);
      return nullptr;
    }
    std::memcpy(reinterpret_cast<uint8_t*>(c) + sizeof(ListNode), reinterpret_cast<uint8_t*>(n) + sizeof(ListNode),
                list->node_size - sizeof(ListNode));
    AddNode(copy, c, LN_TAIL, 0);
  }
  return copy;
}

// The goods and weapons lists from .\Data\WarenChunk.qoe (both empty
// without the file or with an empty one). 1, or 0 (logged with prefix); a
// file that is there but cannot be read sets goodsDamaged.
int32_t LoadGoods(KasernenData* d, const char* prefix) {
  DeleteList(d->WarenListe, 0);
  DeleteList(d->WaffenListe, 0);
  d->WarenListe = CreateList(LIST_GOODS);
  d->WaffenListe = CreateList(LIST_WEAPONS);
  d->goodsDamaged = 0;
  if (!d->WarenListe || !d->WaffenListe) {
    DebugLog("%sKonnte die WaffenListe nicht erstellen!\n", prefix);
    return 0;
  }
  if (GeFileSize(kWarenFile) == 0) return 1;
  uint8_t* ware = nullptr;
  const int32_t state = LoadChunkState("WARE", kWarenFile, &ware);
  const int32_t ok = state == CHUNK_GOOD && ScanWare2List(d->WarenListe, ware) &&
                     ConvertWare2Waffe(d->WarenListe, d->WaffenListe);
  if (ware) FreeChunk(ware);
  if (!ok) {
    // Nothing of a damaged file is used: what was scanned before the fault goes too.
    DebugLog("%sWarenChunk.qoe ist beschaedigt, die Waren bleiben unangetastet\n", prefix);
    DeleteList(d->WarenListe, 0);
    DeleteList(d->WaffenListe, 0);
    d->WarenListe = CreateList(LIST_GOODS);
    d->WaffenListe = CreateList(LIST_WEAPONS);
    d->goodsDamaged = 1;
  }
  return ok;
}

// Any equipment in the part's slots.
bool Equipped(const ArmeeTyp* p) { return p->WaffeI || p->WaffeII || p->Ruestung || p->Schild || p->Helm; }

void ClearSelection(KasernenData* d) {
  d->selLeft = d->prevLeft = d->selRight = d->prevRight = -1;
  d->selArmy = nullptr;
  d->selPart = nullptr;
}

}  // namespace

// ---- the visit ----------------------------------------------------------------

KasernenData* InitKasernenScreen() {
  RegisterGameDataListTypes();
  auto* d = static_cast<KasernenData*>(AllocVec(sizeof(KasernenData), MEMF_PUBLIC | MEMF_CLEAR));
  if (!d) {
    DebugLog("InitKasernenScreen : Konnte keinen Speicher fuer die lokale Daten-Struktur bekommen!\n");
    return nullptr;
  }
  ClearSelection(d);
  if (IsChunkInFile(ChunkBit(CHUNK_LAND), ReceivedPoolPath)) {
    LoadedChunk land("LAND", ReceivedPoolPath);
    if (land.p && land.len() + 12 >= 66) {
      d->Einwohner = ChunkGet32(land.p, 14);
      d->LandGlaube = ChunkGet32(land.p, 62);
    } else {
      DebugLog("InitKasernenScreen : Konnte LandChunk nicht \xF6" "ffnen !");
    }
  }
  LoadGoods(d, "InitKasernenScreen: ");
  d->figuresDamaged = static_cast<uint8_t>(LoadFigureFile(MapPrefsPath, nullptr));
  if (d->figuresDamaged)
    DebugLog("InitKasernenScreen: MapPrefs.qoe ist beschaedigt oder fehlt, die Figuren bleiben unangetastet\n");
  d->Stadt = GetActiveTown(OwnPlayerPtr->ActiveTown);
  if (!d->Stadt) DebugLog("ReadKasernenData: Konnte Stadt nicht laden! B\xF6ser Fehler !\n");
  return d;
}

void FreeKasernenData(KasernenData* d) {
  if (!d) return;
  DeleteArmyList(d->ArmeeListe);
  DeleteList(d->WaffenListe, 0);
  DeleteList(d->WarenListe, 0);
  DeleteList(d->savedWaffen, 0);
  DeleteList(d->savedWaren, 0);
  FreeVec(d->Stadt);
  FreeVec(d);
}

uint32_t CountArmyPeople(ListHeader* armies) {
  uint32_t sum = 0;
  for (uint32_t i = 0; armies && i < armies->count; ++i) {
    const Army* a = ArmyAt(armies, i);
    for (uint32_t k = 0; a->parts && k < a->parts->count; ++k) sum += PartAt(a, k)->Leute;
  }
  return sum;
}

bool ArmyInTown(const KasernenData* d, const Army* army) {
  return d->Stadt && army && army->X == d->Stadt->XPos && army->Y == d->Stadt->YPos;
}

int32_t GetArmyFigurState(const Army* army) {
  uint8_t* move = LoadChunk2Mem("MOVE", MapPrefsPath);
  if (!move) return -1;
  ListHeader* figs = CreateList(LIST_FIGURES);
  int32_t state = -1;
  if (figs && ScanFigur2List(figs, move)) {
    state = 0;
    ListNode* n = figs->first;
    for (uint32_t i = 0; i < figs->count; ++i, n = n->next) {
      const FigurRecord& f = reinterpret_cast<MOVE_EXT*>(n)->figure;
      if (f.x == army->X && f.y == army->Y && f.number == army->ArmeeID) {
        state = static_cast<int8_t>(f.state);
        break;
      }
    }
  }
  DeleteList(figs, 0);
  FreeChunk(move);
  return state;
}

int32_t ReadKasernenData(KasernenData* d, uint32_t reload) {
  DeleteArmyList(d->ArmeeListe);
  d->ArmeeListe = nullptr;
  ClearSelection(d);
  int32_t ok = 1;
  if (OrdersAllowed(ReadAccountState()) && IsChunkInFile(ChunkBit(CHUNK_ARMY), OutgoingPoolPath)) {
    uint8_t* army = LoadChunk2Mem("ARMY", OutgoingPoolPath);
    if (army) d->ArmeeListe = ScanArmy2List(army);
    if (army) FreeChunk(army);
    if (!d->ArmeeListe) {
      DebugLog("ReadKasernenData: Konnte den Army Chunk nicht aus dem PoP3Out File lesen.\n");
      return 0;
    }
  } else {
    d->ArmeeListe = CreateList(LIST_ARMIES);
    if (!d->ArmeeListe) {
      DebugLog("ReadKasernenData: Konnte die Armee-Liste nicht erstellen!\n");
      return 0;
    }
  }
  d->Soldaten = CountArmyPeople(d->ArmeeListe);
  if (d->Einwohner) {
    const uint64_t p = static_cast<uint64_t>(d->Soldaten) * 100;
    d->Prozent = static_cast<int32_t>(p / d->Einwohner + (p % d->Einwohner ? 1 : 0));
  } else {
    d->Prozent = 0;  // no people, no percentage (and no recruits)
  }
  d->Sold = d->Soldaten * KASERNE_SOLD;
  RecomputeRecruits(d);
  if (d->Stadt && d->Stadt->TownPopulation < static_cast<uint32_t>(d->Rekruten))
    d->Rekruten = static_cast<int32_t>(d->Stadt->TownPopulation);
  if (reload && d->WarenListe && d->WaffenListe) LoadGoods(d, "ReadKasernenData: ");
  if (!d->Stadt) {
    DebugLog("ReadKasernenData: Konnte Stadt nicht laden! B\xF6ser Fehler !\n");
    ok = 0;
  }
  return ok;
}

void KaserneRequesterOpened(KasernenData* d) {
  DeleteList(d->savedWaren, 0);
  DeleteList(d->savedWaffen, 0);
  d->savedWaren = CopyList(d->WarenListe);
  d->savedWaffen = CopyList(d->WaffenListe);
  d->savedTownPopulation = d->Stadt ? d->Stadt->TownPopulation : 0;
}

void KaserneRequesterExit(KasernenData* d) {
  if (d->Stadt) d->Stadt->TownPopulation = d->savedTownPopulation;
  if (d->savedWaren) {
    DeleteList(d->WarenListe, 0);
    d->WarenListe = d->savedWaren;
    d->savedWaren = nullptr;
  }
  if (d->savedWaffen) {
    DeleteList(d->WaffenListe, 0);
    d->WaffenListe = d->savedWaffen;
    d->savedWaffen = nullptr;
  }
  KaserneRequesterClosed(d);
}

void KaserneRequesterClosed(KasernenData* d) {
  DeleteList(d->savedWaren, 0);
  DeleteList(d->savedWaffen, 0);
  d->savedWaren = d->savedWaffen = nullptr;
  DeleteArmyList(d->ArmeeListe);
  d->ArmeeListe = nullptr;
  ClearSelection(d);
  d->Einheiten = 0;
  d->TrainingsRunden = 0;
  d->TrainingsKosten = 0;
  if (d->selWeapon && !FindWaffe(d->WaffenListe, d->selWeapon)) d->selWeapon = 0;
}

int32_t WriteKasernenData(KasernenData* d) {
  if (!d->ArmeeListe || !d->Stadt) {
    DebugLog("WriteKasernenData: Keine Armeen oder keine Stadt!\n");
    return 0;
  }
  const bool deep = DisplayDepth() > 8;
  if (deep) KartenScreenSaveData();
  const uint32_t own = GameDataOwnerID(), tx = d->Stadt->XPos, ty = d->Stadt->YPos;
  int32_t ok = 1;
  bool figures_changed = false;
  // Armies that got a figure number here, to take it back after a failure.
  const uint32_t armies = d->ArmeeListe->count;
  bool* numbered = static_cast<bool*>(AllocVec(armies + 1, MEMF_PUBLIC | MEMF_CLEAR));
  // A figure file that cannot be used is neither read nor written (nor
  // made): the orders that change figures were refused, so no army in the
  // town needs a new one.
  const bool figures = !d->figuresDamaged;
  uint8_t* move = figures ? LoadChunk2Mem("MOVE", MapPrefsPath) : nullptr;
  ListHeader* figs = move ? CreateList(LIST_FIGURES) : nullptr;
  bool scanned = false;
  if (figures && !move) DebugLog("WriteKasernenData: Konnte MOVE-Chunk nicht in Speicher laden!\n");
  else if (figures && (!figs || !(scanned = ScanFigur2List(figs, move) != 0)))
    DebugLog("WriteKasernenData: Konnte Liste nicht anlegen !\n");
  if (move) FreeChunk(move);
  if (!numbered || (figures && !scanned)) ok = 0;
  for (uint32_t i = 0; ok && !figures && i < armies; ++i) {
    const Army* army = ArmyAt(d->ArmeeListe, i);
    if (ArmyInTown(d, army) && !army->ArmeeID) {
      DebugLog("WriteKasernenData: Armee ohne Figur, MapPrefs.qoe ist beschaedigt oder fehlt\n");
      ok = 0;
    }
  }
  for (uint32_t i = 0; ok && figures && i < armies; ++i) {
    Army* army = ArmyAt(d->ArmeeListe, i);
    if (!ArmyInTown(d, army)) continue;
    const uint32_t type = GetArmyTyp(army);
    if (!type) {
      DebugLog("WriteKasernenData : Konnte Typ der Armee nicht bestimmen...\n");
      ok = 0;
      break;
    }
    MOVE_EXT* found = nullptr;
    ListNode* n = figs->first;
    for (uint32_t k = 0; army->ArmeeID && k < figs->count && !found; ++k, n = n->next) {
      auto* m = reinterpret_cast<MOVE_EXT*>(n);
      if (m->figure.owner == own && m->figure.x == tx && m->figure.y == ty && m->figure.number == army->ArmeeID)
        found = m;
    }
    if (found) {
      // The figure keeps its share of movement points under its new type.
      const uint32_t old_points = GetMovePointsOfType(found->figure.type);
      const uint32_t new_points = GetMovePointsOfType(static_cast<uint16_t>(type));
      uint32_t points = old_points ? new_points * (found->figure.points * 100u / old_points) / 100u : 0;
      if (points > 255) points = 255;
      found->figure.points = static_cast<uint8_t>(points);
      found->figure.type = static_cast<uint16_t>(type);
      figures_changed = true;
      continue;
    }
    uint8_t* chunk = MakeFigurChunkFromList(figs);
    if (!chunk) {
      DebugLog("WriteKasernenData : Konnte Liste nicht in MoveChunk konvertieren!\n");
      ok = 0;
      break;
    }
    const uint16_t number = GetFreeFigurNummer(chunk);
    FreeChunk(chunk);
    auto* m = number != 0xFFFF ? reinterpret_cast<MOVE_EXT*>(AllocListNode(figs)) : nullptr;
    if (!m) {
      DebugLog("WriteKasernenData : Konnte keinen Speicher fuer MOVE_EXT bekommen!\n");
      ok = 0;
      break;
    }
    m->figure = FigurRecord{own, static_cast<uint16_t>(type), number, tx, ty, 0, 0};
    AddNode(figs, &m->head, LN_TAIL, 0);
    army->ArmeeID = number;
    numbered[i] = true;
    figures_changed = true;
  }
  // Own army figures in the town that no army here names any more.
  for (uint32_t k = 0; ok && figures && k < figs->count;) {
    auto* m = reinterpret_cast<MOVE_EXT*>(ArmyAt(figs, k));
    const FigurRecord& f = m->figure;
    bool named = false;
    for (uint32_t i = 0; i < armies && !named; ++i) {
      const Army* army = ArmyAt(d->ArmeeListe, i);
      named = ArmyInTown(d, army) && army->ArmeeID == f.number;
    }
    if (f.owner == own && f.type >= 1 && f.type <= 9 && f.x == tx && f.y == ty && !named) {
      RemoveNode(figs, LN_INDEX, k, 0);
      figures_changed = true;
    } else {
      ++k;
    }
  }
  // The four files, all or none.
  uint8_t* army_chunk = nullptr;
  uint8_t* pool = nullptr;
  uint8_t* ware_disk = nullptr;
  uint8_t* prefs = nullptr;
  uint32_t pool_size = 0, ware_size = 0, prefs_size = 0;
  if (ok) {
    PoolChange change{nullptr, "ARMY"};
    if (d->ArmeeListe->count) {
      army_chunk = CovertArmyList2ArmyChunk(d->ArmeeListe);
      if (!army_chunk) DebugLog("WriteKaserneData: Konnte die Armee Daten nicht Speichern!");
      change.chunk = army_chunk;
      change.removeId = nullptr;
    }
    if (d->ArmeeListe->count && !army_chunk) ok = 0;
    else pool = ChangedPoolImage(OutgoingPoolPath, &change, 1, &pool_size);
    if (!pool) ok = 0;
  }
  if (ok && d->WarenListe && !d->goodsDamaged) {
    uint8_t* ware = MakeWareChunkFromList(d->WarenListe);
    if (!ware) {
      DebugLog("WriteKaserneData: Konnte Chunk nicht anlegen!");
      ok = 0;
    } else {
      ware_size = 12 + ChunkLength(ware);
      ware_disk = static_cast<uint8_t*>(AllocVec(ware_size, MEMF_PUBLIC));
      if (ware_disk) std::memcpy(ware_disk, ware, ware_size);
      if (!ware_disk || !SwapByteOrderInChunk(ware_disk, ware_size, 0)) ok = 0;
      FreeChunk(ware);
    }
  }
  if (ok && figures_changed) {
    prefs = MakeMapPrefsImage(figs, &prefs_size);
    if (!prefs) ok = 0;
  }
  uint8_t town_disk[TOWN_FILE_SIZE];
  char name[TOWN_NAME_SIZE + 1] = {}, town_path[3 * TOWN_NAME_SIZE + 32];
  EncodeTown(d->Stadt, town_disk);
  std::memcpy(name, d->Stadt->name, TOWN_NAME_SIZE);
  TownFilePath(name, town_path, sizeof town_path);
  if (ok) {
    FileSet* set = BeginFileSet();
    ok = set && FileSetWrite(set, OutgoingPoolPath, pool, pool_size) &&
         (!ware_disk || FileSetWrite(set, kWarenFile, ware_disk, ware_size)) &&
         FileSetWrite(set, town_path, town_disk, TOWN_FILE_SIZE) &&
         (!prefs || FileSetWrite(set, MapPrefsPath, prefs, prefs_size));
    if (set) ok = CommitFileSet(set) && ok;
  }
  if (!ok) {
    DebugLog("WriteKaserneData: Die Kasernen-Daten konnten nicht gespeichert werden!\n");
    for (uint32_t i = 0; numbered && i < armies; ++i)
      if (numbered[i]) ArmyAt(d->ArmeeListe, i)->ArmeeID = 0;
  }
  if (army_chunk) FreeChunk(army_chunk);
  FreeVec(pool);
  FreeVec(ware_disk);
  FreeVec(prefs);
  FreeVec(numbered);
  DeleteList(figs, 0);
  if (deep) KartenScreenNewSetup();
  return ok;
}

uint32_t KaserneOpenRefusal(const KasernenData* d, uint32_t requester) {
  if (requester == KASERNE_TRAINING) return BuildingStands(d->Stadt, kBarracks) ? 0 : 1034;
  if (requester != KASERNE_MANAGEMENT) return 0;
  if (d->KasernenTyp == UNIT_ARTILLERY && !BuildingStands(d->Stadt, kArmyCamp)) return 1114;
  if (d->KasernenTyp == UNIT_CAVALRY && !BuildingStands(d->Stadt, kStables)) return 1114;
  return 0;
}

// ---- recruiting ------------------------------------------------------------

uint32_t RecruitLimitPercent(const st_TOWN* town) {
  if (BuildingStands(town, kRecruit20)) return 20;
  if (BuildingStands(town, kRecruit15)) return 15;
  return 10;
}

KaserneOutcome ArmyManagmentRecruit(KasernenData* d, const char* gadget, const KaserneAsker* a) {
  const uint32_t hundredth = d->Einwohner / 100;
  if (!std::strncmp(gadget, "R100", 4)) {
    if (d->Prozent >= static_cast<int32_t>(RecruitLimitPercent(d->Stadt)) || !d->Stadt) return Nothing();
    if (d->Prozent == 10) Tell(a, 1321);
    if (static_cast<int64_t>(d->Stadt->TownPopulation) >= static_cast<int64_t>(hundredth) + d->Rekruten + d->Einheiten) {
      d->Einheiten = 0;
      ++d->Prozent;
      RecomputeRecruits(d);
      return Done();
    }
    Tell(a, 1330);
    d->Einheiten = 0;
    d->Rekruten = static_cast<int32_t>(d->Stadt->TownPopulation);
    return Done();
  }
  if (!std::strncmp(gadget, "L100", 4)) {
    if (d->Prozent <= 0 || static_cast<int64_t>(d->Soldaten) > static_cast<int64_t>(hundredth) * (d->Prozent - 1))
      return Nothing();
    d->Einheiten = 0;
    --d->Prozent;
    RecomputeRecruits(d);
    return Done();
  }
  const int32_t step = KASERNE_UNIT_STEP, least = KASERNE_MIN_UNITS;
  if (!std::strncmp(gadget, "R101", 4)) {
    if (d->Rekruten <= 0) return Nothing();
    int32_t move;
    if (d->Einheiten) move = d->Rekruten < step ? d->Rekruten : step;
    else if (d->Rekruten >= least) move = least;
    else return Refused(a, 726);
    d->Rekruten -= move;
    d->Einheiten += move;
    return Done();
  }
  if (!std::strncmp(gadget, "L101", 4)) {
    if (d->Einheiten <= 0) return Nothing();
    const int32_t back = d->Einheiten - step >= least ? step : d->Einheiten;
    d->Einheiten -= back;
    d->Rekruten += back;
    return Done();
  }
  return Nothing();
}

void ArmyManagmentEnterUnits(KasernenData* d, int64_t typed) {
  d->Rekruten += d->Einheiten;
  d->Einheiten = 0;
  int64_t v = typed;
  if (v < static_cast<int64_t>(KASERNE_MIN_UNITS) || d->Rekruten < static_cast<int32_t>(KASERNE_MIN_UNITS)) v = 0;
  if (v > d->Rekruten) v = d->Rekruten;
  d->Rekruten -= static_cast<int32_t>(v);
  d->Einheiten = static_cast<int32_t>(v);
}

// ---- equipment -------------------------------------------------------------

int32_t ArmyManagmentSubWeaponFromList(ListHeader* goods, uint32_t id, uint32_t count) {
  const WeaponDef* row = GetWeaponDef(id);
  WarenListenEntry* g = row ? StoreRecord(goods, row->goods) : nullptr;
  if (!g || g->quantity < count) {
    DebugLog("ArmyManagmentSubWeaponFromList: Fataler Fehler: Konnte WarenNode nicht finden\n");
    return 0;
  }
  g->quantity -= count;
  if (!g->quantity) RemoveFrom(goods, g);
  return 1;
}

int32_t ArmyManagmentSubWeapons(ListHeader* weapons, ListHeader* goods, const ArmeeTyp* part, uint32_t men,
                                uint32_t step) {
  if (!part || step > 5) return step > 5;
  // The demand of every slot, summed per equipment ID.
  struct Need {
    uint32_t id, count;
    WaffenListEntry* w;
    WarenListenEntry* g;
  } need[5] = {};
  uint32_t kinds = 0;
  for (uint32_t k = step ? step : 1; k <= (step ? step : 5u); ++k) {
    const uint32_t id = Slot(part, k);
    if (!id) continue;
    if (k == 2 && FillsBothHands(part->WaffeI)) continue;  // counted with WaffeI
    const uint32_t count = ItemsForMen(id, men);
    uint32_t j = 0;
    while (j < kinds && need[j].id != id) ++j;
    if (j == kinds) need[kinds++] = {id, 0, nullptr, nullptr};
    need[j].count += count;
    DebugLog("%s : Anzahl der zu subtrahierenden Waffen %u\n", kSlotNames[k], count);
  }
  // Everything found and enough of it before anything is lowered.
  for (uint32_t j = 0; j < kinds; ++j) {
    need[j].w = FindWaffe(weapons, need[j].id);
    if (!need[j].w || need[j].count > need[j].w->def.Anzahl) return 0;
    need[j].g = StoreRecord(goods, need[j].w->def.goods);
    if (!need[j].g || need[j].g->quantity < need[j].count) {
      DebugLog("ArmyManagmentSubWeaponFromList: Fataler Fehler: Konnte WarenNode nicht finden\n");
      return 0;
    }
  }
  for (uint32_t j = 0; j < kinds; ++j) {
    if (!need[j].count) continue;
    need[j].w->def.Anzahl -= need[j].count;
    DebugLog("Anzahl der restlichen Waffen (%u) :  %u\n", need[j].id, need[j].w->def.Anzahl);
    need[j].g->quantity -= need[j].count;
    if (!need[j].w->def.Anzahl) RemoveFrom(weapons, need[j].w);
    if (!need[j].g->quantity) RemoveFrom(goods, need[j].g);
  }
  return 1;
}

int32_t ArmyWeaponsAddWeapon2List(KasernenData* d, uint32_t id, uint32_t men) {
  const WeaponDef* row = GetWeaponDef(id);
  if (!row) return 1;
  const uint32_t count = ItemsForMen(id, men);
  if (!count) return 1;  // fewer men than one item serves: nothing comes back
  if (!d->WaffenListe) d->WaffenListe = CreateList(LIST_WEAPONS);
  if (!d->WarenListe) d->WarenListe = CreateList(LIST_GOODS);
  if (!d->WaffenListe || !d->WarenListe) return 0;
  WaffenListEntry* w = FindWaffe(d->WaffenListe, id);
  WarenListenEntry* g = StoreRecord(d->WarenListe, row->goods);
  // Both new nodes are made before either list changes.
  WaffenListEntry* new_w = w ? nullptr : reinterpret_cast<WaffenListEntry*>(AllocListNode(d->WaffenListe));
  WarenListenEntry* new_g = g ? nullptr : reinterpret_cast<WarenListenEntry*>(AllocListNode(d->WarenListe));
  if ((!w && !new_w) || (!g && !new_g)) {
    FreeVec(new_w);
    FreeVec(new_g);
    return 0;
  }
  if (w) {
    w->def.Anzahl += count;
    if (!g) DebugLog("ArmyWeaponsAddWeapon2List: Fataler Fehler: Konnte WarenNode nicht finden\n");
  } else {
    new_w->def = *row;
    new_w->def.Anzahl = count;
    AddNode(d->WaffenListe, &new_w->head, LN_TAIL, 0);
  }
  if (g) {
    g->quantity += count;
  } else {
    // A goods record anew, so the goods follow the weapons.
    new_g->kind = 5;
    new_g->owner = GameDataOwnerID();
    new_g->goods = row->goods;
    new_g->quantity = count;
    new_g->ident = static_cast<uint32_t>(std::time(nullptr));
    AddNode(d->WarenListe, &new_g->head, LN_TAIL, 0);
  }
  return 1;
}

void CalcArmourClass(ArmeeTyp* part) {
  uint32_t armour = 0, helmet = 0, shield = 0;
  switch (part->Ruestung) {
    case 14: armour = 2; break;
    case 15: armour = 1; break;
    case 16: armour = 3; break;
    case 17: armour = 4; break;
    case 18: armour = 5; break;
    case 19: armour = 6; break;
    case 20: armour = 7; break;
    case 65: case 69: armour = 8; break;
    default: break;
  }
  switch (part->Helm) {
    case 13: helmet = 1; break;
    case 58: case 61: case 63: case 67: helmet = 2; break;
    case 64: case 66: case 68: helmet = 3; break;
    default: break;
  }
  switch (part->Schild) {
    case 21: shield = 1; break;
    case 22: shield = 2; break;
    case 23: case 59: shield = 3; break;
    case 24: shield = 4; break;
    default: break;
  }
  part->RuestungsKlasse = armour + helmet + shield;
}

KaserneOutcome ArmyWeaponsInsertInArmy(KasernenData* d, const KaserneAsker* a) {
  if (d->figuresDamaged) return Refused(a, KASERNE_NEEDS_FIGURES);
  if (d->goodsDamaged) return Refused(a, KASERNE_NEEDS_GOODS);
  if (!d->WaffenListe || !d->WaffenListe->count) return Refused(a, 765);
  if (!d->ArmeeListe || !d->ArmeeListe->count) return Refused(a, 766);
  WaffenListEntry* w = d->selWeapon ? FindWaffe(d->WaffenListe, d->selWeapon) : nullptr;
  if (!w) {
    d->selWeapon = 0;
    return Refused(a, 767);
  }
  Army* army = Contains(d->ArmeeListe, d->selArmy) ? d->selArmy : nullptr;
  if (!army) return Refused(a, 768);
  if (!ArmyInTown(d, army)) return Refused(a, 732);
  if (GetArmyFigurState(army) == static_cast<int32_t>(KASERNE_ON_BOARD)) return Refused(a, 1240);
  ArmeeTyp* part = Contains(army->parts, d->selPart) ? d->selPart : nullptr;
  if (!part) return Refused(a, 769);
  const uint32_t id = w->def.ID, kind = w->def.kind, type = part->Typ;
  if (static_cast<uint64_t>(part->Leute) > static_cast<uint64_t>(w->def.Anzahl) * MenPerItem(id))
    return Refused(a, 770);
  enum { ONE, BOTH, OWN } how;
  switch (kind) {
    case WEAPON_ONE_HAND:
      if (type == UNIT_ARTILLERY) return Refused(a, 1113);
      if (type == UNIT_INFANTRY && IsLance(id)) return Refused(a, 935);
      how = ONE;
      break;
    case WEAPON_TWO_HANDS:
      if (type != UNIT_INFANTRY) return Refused(a, 773);
      how = BOTH;
      break;
    case WEAPON_PROJECTILE:
      if (type == UNIT_ARTILLERY) return Refused(a, 773);
      if (type == UNIT_INFANTRY) how = id >= 2 && id <= 5 ? BOTH : ONE;
      else if (id == 3) how = BOTH;
      else if (id >= 2 && id <= 5) return Refused(a, 773);
      else how = ONE;
      break;
    case WEAPON_SIEGE:
      if (type != UNIT_ARTILLERY) return Refused(a, 775);
      how = BOTH;
      break;
    default:
      if (type == UNIT_ARTILLERY) return Refused(a, 776);
      if (type == UNIT_CAVALRY && (id == 61 || id == 63 || id == 64 || id == 65 || id == 68 || id == 69))
        return Refused(a, 773);
      how = OWN;
      break;
  }
  const ArmeeTyp before = *part;
  uint32_t step = 0;
  if (how == ONE) {
    if (!part->WaffeI) part->WaffeI = id, step = 1;
    else if (!part->WaffeII) part->WaffeII = id, step = 2;
    else return Refused(a, 771);
  } else if (how == BOTH) {
    if (part->WaffeI || part->WaffeII) return Refused(a, kind == WEAPON_SIEGE ? 774 : 772);
    part->WaffeI = part->WaffeII = id;
    step = 1;
  } else {
    if (IsHelmet(id) && !part->Helm) part->Helm = id, step = 5;
    else if (IsBodyArmour(id) && !part->Ruestung) part->Ruestung = id, step = 3;
    else if (IsShield(id) && !part->Schild) part->Schild = id, step = 4;
    else return Nothing();
    CalcArmourClass(part);
  }
  if (!ArmyManagmentSubWeapons(d->WaffenListe, d->WarenListe, part, part->Leute, step)) {
    DebugLog("ArmyWeaponsInsertInArmy : Konnte Waffen oder Waren nicht subtrahieren...\n");
    const ListNode head = part->head;
    *part = before;  // the part takes nothing it was not given
    part->head = head;
    return Failed();
  }
  if (!FindWaffe(d->WaffenListe, d->selWeapon)) d->selWeapon = 0;  // the entry left the list
  return Done();
}

namespace {

// Empties a weapon slot (both for an item that fills both hands) and gives
// the item back for the part's men.
void TakeWeapon(KasernenData* d, ArmeeTyp* part, uint32_t slot) {
  const uint32_t id = slot == 1 ? part->WaffeI : part->WaffeII;
  if (!id) return;
  if (FillsBothHands(id) && part->WaffeI == id && part->WaffeII == id) part->WaffeI = part->WaffeII = 0;
  else if (slot == 1) part->WaffeI = 0;
  else part->WaffeII = 0;
  ArmyWeaponsAddWeapon2List(d, id, part->Leute);
}

void TakeItem(KasernenData* d, ArmeeTyp* part, uint32_t* slot) {
  if (!*slot) return;
  const uint32_t id = *slot;
  *slot = 0;
  ArmyWeaponsAddWeapon2List(d, id, part->Leute);
}

}  // namespace

KaserneOutcome ArmyWeaponsRemoveFromArmy(KasernenData* d, KaserneShown shown, const KaserneAsker* a) {
  if (d->figuresDamaged) return Refused(a, KASERNE_NEEDS_FIGURES);
  if (d->goodsDamaged) return Refused(a, KASERNE_NEEDS_GOODS);
  if (!d->ArmeeListe || !d->ArmeeListe->count) return Refused(a, 766);
  Army* army = Contains(d->ArmeeListe, d->selArmy) ? d->selArmy : nullptr;
  if (!army) return Refused(a, 768);
  if (!ArmyInTown(d, army)) return Refused(a, 732);
  ArmeeTyp* part = Contains(army->parts, d->selPart) ? d->selPart : nullptr;
  if (!part) return Refused(a, 769);
  switch (shown) {
    case SHOWN_PEOPLE:
      if (!Yes(a, 1153)) return Nothing();
      TakeWeapon(d, part, 1);
      TakeWeapon(d, part, 2);
      TakeItem(d, part, &part->Schild);
      TakeItem(d, part, &part->Helm);
      TakeItem(d, part, &part->Ruestung);
      break;
    case SHOWN_WEAPON1:
      if (!part->WaffeI) return Refused(a, 778);
      TakeWeapon(d, part, 1);
      break;
    case SHOWN_WEAPON2:
      if (!part->WaffeII) return Refused(a, 779);
      TakeWeapon(d, part, 2);
      break;
    case SHOWN_SHIELD: TakeItem(d, part, &part->Schild); break;
    case SHOWN_HELMET: TakeItem(d, part, &part->Helm); break;
    case SHOWN_ARMOUR: TakeItem(d, part, &part->Ruestung); break;
    case SHOWN_TYPE:
    case SHOWN_EXHAUSTION: return Refused(a, 777);
    default: return Nothing();
  }
  CalcArmourClass(part);
  return Done();
}

// ---- the seven operations ----------------------------------------------------

KaserneOutcome ArmyManagmentCreateNewArmy(KasernenData* d, const KaserneAsker* a) {
  if (!d->ArmeeListe || !d->Stadt) return Failed();
  if (d->figuresDamaged) return Refused(a, KASERNE_NEEDS_FIGURES);
  if (d->Einheiten <= 0) return Refused(a, 727);
  if (!UnitsInTown(d)) return Refused(a, 1330);
  char name[KASERNE_NAME_SIZE];
  if (!AskArmyName(d, a, 728, 729, name)) return Nothing();
  Army* army = AppendArmy(d);
  ArmeeTyp* part = army ? AppendPart(army) : nullptr;
  if (!part) {
    DebugLog("ArmyManagmentCreateNewArmy: Konnte keinen Speicher fuer die neue Armee bekommen!");
    if (army) RemoveArmy(d, army);
    return Failed();
  }
  army->X = d->Stadt->XPos;
  army->Y = d->Stadt->YPos;
  army->Besitzer = GameDataOwnerID();
  army->Glaube = d->LandGlaube;
  army->ArmeeTypAnzahl = 1;
  std::memcpy(army->ArmyName, name, KASERNE_NAME_SIZE);
  part->Typ = d->KasernenTyp;
  part->Leute = static_cast<uint32_t>(d->Einheiten);
  d->Stadt->TownPopulation -= part->Leute;
  d->Soldaten += part->Leute;
  d->Sold = d->Soldaten * KASERNE_SOLD;
  d->Einheiten = 0;
  d->selArmy = army;
  d->selPart = nullptr;
  return Done();
}

KaserneOutcome ArmyManagmentInsertInArmy(KasernenData* d, const KaserneAsker* a) {
  if (d->figuresDamaged) return Refused(a, KASERNE_NEEDS_FIGURES);
  if (!d->ArmeeListe || !d->ArmeeListe->count) return Refused(a, 730);
  Army* army = Contains(d->ArmeeListe, d->selArmy) ? d->selArmy : nullptr;
  if (!army) return Refused(a, 731);
  if (!ArmyInTown(d, army)) return Refused(a, 732);
  if (army->Training) return Refused(a, 733);
  if (d->Einheiten <= 0) return Refused(a, 734);
  if (!UnitsInTown(d)) return Refused(a, 1330);
  ArmeeTyp* part = army->parts ? AppendPart(army) : nullptr;
  if (!part) return Failed();
  part->Typ = d->KasernenTyp;
  part->Leute = static_cast<uint32_t>(d->Einheiten);
  ++army->ArmeeTypAnzahl;
  d->Soldaten += part->Leute;
  d->Stadt->TownPopulation -= part->Leute;
  d->Einheiten = 0;
  d->Sold = d->Soldaten * KASERNE_SOLD;
  return Done();
}

KaserneOutcome ArmyManagmentJoinArmies(KasernenData* d, const KaserneAsker* a) {
  if (d->figuresDamaged) return Refused(a, KASERNE_NEEDS_FIGURES);
  if (!d->ArmeeListe || d->ArmeeListe->count < 2) return Refused(a, 735);
  Army* first = Contains(d->ArmeeListe, d->selArmy) ? d->selArmy : nullptr;
  if (!first) return Refused(a, 736);
  if (!ArmyInTown(d, first)) return Refused(a, 732);
  if (first->Training) return Refused(a, 733);
  Army* second = a && a->pickArmy ? a->pickArmy(a->user, d->ArmeeListe) : nullptr;
  if (!second || !Contains(d->ArmeeListe, second)) return Nothing();
  if (!ArmyInTown(d, second)) return Refused(a, 732);
  if (second->Training) return Refused(a, 733);
  if (second == first) return Refused(a, 737);
  if (GetArmyFigurState(first) == static_cast<int32_t>(KASERNE_ON_BOARD) ||
      GetArmyFigurState(second) == static_cast<int32_t>(KASERNE_ON_BOARD))
    return Refused(a, 1240);
  char name[KASERNE_NAME_SIZE];
  if (!AskArmyName(d, a, 728, 738, name)) return Nothing();
  if (!first->parts || !second->parts) return Failed();
  while (second->parts->count) MovePart(second, reinterpret_cast<ArmeeTyp*>(second->parts->first), first);
  first->ArmeeTypAnzahl += second->ArmeeTypAnzahl;
  std::memcpy(first->ArmyName, name, KASERNE_NAME_SIZE);
  RemoveArmy(d, second);
  d->selArmy = nullptr;
  d->selPart = nullptr;
  return Done();
}

namespace {

// A new army after `from` takes one of its parts (split, training).
KaserneOutcome SplitOff(KasernenData* d, Army* from, ArmeeTyp* part, const char name[KASERNE_NAME_SIZE],
                        uint32_t training) {
  Army* army = AppendArmy(d);
  if (!army) {
    DebugLog("ArmyManagmentCreateNewArmy: Konnte keine Armee-Entry Liste erstellen beim anlegen einer Armee!");
    return Failed();
  }
  army->X = from->X;
  army->Y = from->Y;
  army->Besitzer = from->Besitzer;
  army->Aktion = from->Aktion;
  army->Glaube = from->Glaube;
  army->ArmeeTypAnzahl = 1;
  army->Training = training;
  std::memcpy(army->ArmyName, name, KASERNE_NAME_SIZE);
  MovePart(from, part, army);
  if (from->ArmeeTypAnzahl) --from->ArmeeTypAnzahl;
  return Done();
}

bool OnBoard(const Army* army) { return GetArmyFigurState(army) == static_cast<int32_t>(KASERNE_ON_BOARD); }

}  // namespace

KaserneOutcome ArmyManagmentSplitArmy(KasernenData* d, const KaserneAsker* a) {
  if (d->figuresDamaged) return Refused(a, KASERNE_NEEDS_FIGURES);
  if (!d->ArmeeListe || !d->ArmeeListe->count) return Refused(a, 739);
  Army* army = Contains(d->ArmeeListe, d->selArmy) ? d->selArmy : nullptr;
  if (!army) return Refused(a, 731);
  if (!ArmyInTown(d, army)) return Refused(a, 732);
  if (army->Training) return Refused(a, 733);
  if (!army->parts || army->parts->count < 2) return Refused(a, 740);
  if (OnBoard(army)) return Refused(a, 1240);
  const int32_t k = a && a->pickPart ? a->pickPart(a->user, army) : -1;
  ArmeeTyp* part = k >= 0 ? PartAt(army, static_cast<uint32_t>(k)) : nullptr;
  if (!part) return Nothing();
  if (!Yes(a, 741)) return Nothing();
  char name[KASERNE_NAME_SIZE];
  if (!AskArmyName(d, a, 728, 729, name)) return Nothing();
  return SplitOff(d, army, part, name, 0);
}

KaserneOutcome ArmyManagmentDemobilize(KasernenData* d, const KaserneAsker* a) {
  if (d->figuresDamaged) return Refused(a, KASERNE_NEEDS_FIGURES);
  if (!d->ArmeeListe || !d->ArmeeListe->count) return Refused(a, 742);
  Army* army = Contains(d->ArmeeListe, d->selArmy) ? d->selArmy : nullptr;
  if (!army) return Refused(a, 743);
  if (!ArmyInTown(d, army)) return Refused(a, 732);
  if (OnBoard(army)) return Refused(a, 1240);
  // Its equipment goes back into store, which a damaged goods file cannot take.
  for (uint32_t k = 0; d->goodsDamaged && army->parts && k < army->parts->count; ++k)
    if (Equipped(PartAt(army, k))) return Refused(a, KASERNE_NEEDS_GOODS);
  if (!Yes(a, 744)) return Nothing();
  for (uint32_t k = 0; army->parts && k < army->parts->count; ++k) {
    ArmeeTyp* p = PartAt(army, k);
    d->Rekruten += static_cast<int32_t>(p->Leute);
    d->Soldaten -= p->Leute < d->Soldaten ? p->Leute : d->Soldaten;
    d->Stadt->TownPopulation += p->Leute;
    ArmyWeaponsAddWeapon2List(d, p->WaffeI, p->Leute);
    if (!(p->WaffeI && FillsBothHands(p->WaffeI))) ArmyWeaponsAddWeapon2List(d, p->WaffeII, p->Leute);
    ArmyWeaponsAddWeapon2List(d, p->Ruestung, p->Leute);
    ArmyWeaponsAddWeapon2List(d, p->Schild, p->Leute);
    ArmyWeaponsAddWeapon2List(d, p->Helm, p->Leute);
  }
  d->Sold = d->Soldaten * KASERNE_SOLD;
  const int32_t at = IndexOf(d->ArmeeListe, army);
  RemoveArmy(d, army);
  d->selArmy = at >= 0 ? ArmyAt(d->ArmeeListe, static_cast<uint32_t>(at)) : nullptr;
  d->selPart = nullptr;
  return Done();
}

KaserneOutcome ArmyManagmentSupplyPart(KasernenData* d, const KaserneAsker* a) {
  if (d->figuresDamaged) return Refused(a, KASERNE_NEEDS_FIGURES);
  if (!d->ArmeeListe || !d->ArmeeListe->count) return Refused(a, 745);
  Army* army = Contains(d->ArmeeListe, d->selArmy) ? d->selArmy : nullptr;
  if (!army) return Refused(a, 746);
  if (!ArmyInTown(d, army)) return Refused(a, 732);
  if (OnBoard(army)) return Refused(a, 1240);
  if (army->Training) return Refused(a, 733);
  if (d->Einheiten <= 0) return Refused(a, 747);
  if (!UnitsInTown(d)) return Refused(a, 1330);
  Tell(a, 748);
  const int32_t k = a && a->pickPart ? a->pickPart(a->user, army) : -1;
  ArmeeTyp* part = k >= 0 ? PartAt(army, static_cast<uint32_t>(k)) : nullptr;
  if (!part) return Nothing();
  if (part->Typ != d->KasernenTyp) return Refused(a, 750);
  if (d->goodsDamaged && Equipped(part)) return Refused(a, KASERNE_NEEDS_GOODS);
  const uint32_t units = static_cast<uint32_t>(d->Einheiten);
  if (!ArmyManagmentSubWeapons(d->WaffenListe, d->WarenListe, part, units, 0)) return Refused(a, 751);
  army->Glaube = d->LandGlaube;
  const uint64_t old = part->Leute, all = old + units;
  part->Erfahrung = static_cast<uint32_t>(part->Erfahrung * old / all);
  part->Erschoepfung = static_cast<uint32_t>(part->Erschoepfung * old / all);
  part->Leute += units;
  d->Soldaten += units;
  d->Stadt->TownPopulation -= units;
  d->Einheiten = 0;
  d->Sold = d->Soldaten * KASERNE_SOLD;
  return Done();
}

KaserneOutcome ArmyManagmentRenameArmy(KasernenData* d, const KaserneAsker* a) {
  if (!d->ArmeeListe || !d->ArmeeListe->count) return Refused(a, 752);
  Army* army = Contains(d->ArmeeListe, d->selArmy) ? d->selArmy : nullptr;
  if (!army) return Refused(a, 746);
  if (!ArmyInTown(d, army)) return Refused(a, 732);
  char name[KASERNE_NAME_SIZE];
  if (!AskArmyName(d, a, 753, 754, name)) return Nothing();
  std::memcpy(army->ArmyName, name, KASERNE_NAME_SIZE);
  return Done();
}

// ---- training ----------------------------------------------------------------

KaserneOutcome ArmyTrainingDuration(KasernenData* d, const char* gadget, const KaserneAsker* a) {
  Army* army = d->ArmeeListe && Contains(d->ArmeeListe, d->selArmy) ? d->selArmy : nullptr;
  if (!army) return Refused(a, 1030);
  if (!ArmyInTown(d, army)) return Refused(a, 732);
  if (!std::strncmp(gadget, "L200", 4) && d->TrainingsRunden > 0) --d->TrainingsRunden;
  if (!std::strncmp(gadget, "R200", 4) && d->TrainingsRunden < KASERNE_MAX_TRAINING) ++d->TrainingsRunden;
  uint64_t men = 0;
  if (d->selPart && Contains(army->parts, d->selPart)) men = d->selPart->Leute;
  else
    for (uint32_t k = 0; army->parts && k < army->parts->count; ++k) men += PartAt(army, k)->Leute;
  const uint64_t cost = men * d->TrainingsRunden * KASERNE_TRAINING_COST;
  d->TrainingsKosten = cost > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(cost);
  return Done();
}

KaserneOutcome ArmyTrainingActivate(KasernenData* d, uint32_t start, int32_t part_index, const KaserneAsker* a) {
  if (!d->ArmeeListe || !d->ArmeeListe->count) return Refused(a, 766);
  Army* army = Contains(d->ArmeeListe, d->selArmy) ? d->selArmy : nullptr;
  if (!army) return Refused(a, 1030);
  if (start && !d->TrainingsRunden) return Refused(a, 1031);
  KaserneOutcome out = Done();
  if (!start) {
    army->Training = 0;
  } else if (part_index < 0) {
    if (army->Training) out = Refused(a, 1032);
    else army->Training = d->TrainingsRunden;
  } else if (army->Training) {
    out = Refused(a, 1032);
  } else if (!army->parts || army->parts->count <= 1) {
    army->Training = d->TrainingsRunden;
  } else if (ArmeeTyp* part = PartAt(army, static_cast<uint32_t>(part_index)); !part) {
    out = Nothing();
  } else if (d->figuresDamaged) {
    out = Refused(a, KASERNE_NEEDS_FIGURES);  // a part apart needs a figure of its own
  } else if (OnBoard(army)) {
    out = Refused(a, 1240);
  } else if (!Yes(a, 1033)) {
    out = Nothing();
  } else {
    char name[KASERNE_NAME_SIZE];
    out = AskArmyName(d, a, 728, 729, name) ? SplitOff(d, army, part, name, d->TrainingsRunden) : Nothing();
  }
  d->TrainingsRunden = 0;
  d->TrainingsKosten = 0;
  return out;
}
