// The barracks' rules without a screen: the record of a visit, reading and
// writing the armies, goods, town and army figures, recruiting, the seven
// army operations, equipping and unequipping army parts, and training. The
// requesters (and the tests) answer the model's questions through a
// KaserneAsker. Rules: docs/barracks.md.
#pragma once
#include <cstdint>

struct ListHeader;
struct Army;
struct ArmeeTyp;
struct st_TOWN;

enum : uint32_t {
  KASERNE_SOLD = 25,          // salary per soldier
  KASERNE_MIN_UNITS = 50,     // the smallest number of units
  KASERNE_UNIT_STEP = 10,
  KASERNE_NAME_SIZE = 20,     // ArmyName: 19 characters and the terminator
  KASERNE_MAX_TRAINING = 10,  // turns
  KASERNE_TRAINING_COST = 10, // gold per man and turn
  KASERNE_ON_BOARD = 7,       // GetArmyFigurState of an army aboard a ship
};

// The questions of the operations. Every function may be null: refuse and
// tell then show nothing, a question is declined and a choice cancelled.
struct KaserneAsker {
  void* user;
  void (*refuse)(void* user, uint32_t catalog_id);  // a refusal (one OK box)
  void (*tell)(void* user, uint32_t catalog_id);    // a notice on the way (one OK box)
  int32_t (*yesNo)(void* user, uint32_t catalog_id);  // 1 yes
  // A name into out (size bytes, terminated); 0 for Escape.
  int32_t (*askName)(void* user, uint32_t title_id, uint32_t help_id, char* out, uint32_t size);
  // A part of the army (0 = its first), -1 for Escape.
  int32_t (*pickPart)(void* user, Army* army);
  // A second army of the list, null for Escape.
  Army* (*pickArmy)(void* user, ListHeader* armies);
};

// What an operation did.
struct KaserneOutcome {
  uint32_t refused;  // catalog ID of the refusal, 0 none
  uint8_t done;      // something changed
  uint8_t failed;    // out of memory or a list missing (nothing changed)
};

// What the weapons requester's information box shows for the selected part.
enum KaserneShown : uint32_t {
  SHOWN_PEOPLE, SHOWN_WEAPON1, SHOWN_WEAPON2, SHOWN_SHIELD, SHOWN_HELMET, SHOWN_ARMOUR, SHOWN_TYPE,
  SHOWN_EXHAUSTION, SHOWN_EXPERIENCE,
};

// The record of one visit of the barracks (InitKasernenScreen).
struct KasernenData {
  uint32_t Einwohner;       // LAND +14 of the received pool
  uint32_t LandGlaube;      // LAND +62
  int32_t Rekruten;
  int32_t Einheiten;        // 0, or at least 50
  uint32_t Soldaten;
  int32_t Prozent;
  uint32_t Sold;
  char counterText[5][20];
  uint8_t TrainingsRunden;  // 0..10
  char trainingText[21];
  uint32_t TrainingsKosten;
  char costText[20];
  ListHeader* ArmeeListe;   // type 3, the outgoing pool's ARMY
  ListHeader* WaffenListe;  // type 6
  ListHeader* WarenListe;   // type 7, .\Data\WarenChunk.qoe
  uint32_t KasernenTyp;     // UnitType of the management requester
  int32_t selLeft, prevLeft, selRight, prevRight;  // -1 none
  Army* selArmy;            // the selected army, null none
  ArmeeTyp* selPart;        // its selected part; null: the army's line
  uint32_t selWeapon;       // the selected weapon's equipment ID, 0 none
  uint8_t infoIndex, infoMode;
  st_TOWN* Stadt;           // the active town (owned)
  // What a requester's EXIT puts back (KaserneRequesterOpened).
  uint32_t savedTownPopulation;
  ListHeader* savedWaren;
  ListHeader* savedWaffen;
  // .\Data\WarenChunk.qoe is there but could not be read: the goods and
  // weapons lists are empty, the file is never written back, and every
  // order that takes or gives back equipment is refused with 1683.
  uint8_t goodsDamaged;
  // Why .\Data\MapPrefs.qoe cannot be used (LoadFigureFile: damaged, or
  // missing in an installed game; 0 it can): the file is never read or
  // written by a write, nor made, and every order that needs an army's
  // figure (forming, reinforcing, joining, splitting, disbanding, equipping,
  // training a part apart) is refused with KASERNE_NEEDS_FIGURES.
  uint8_t figuresDamaged;
};

// ---- the visit ----------------------------------------------------------

// A new record: LAND's inhabitants and faith, the goods and weapons lists
// from .\Data\WarenChunk.qoe, the active town. Null only without memory.
KasernenData* InitKasernenScreen();
void FreeKasernenData(KasernenData* d);
// The army list of the outgoing pool and the counters (with reload set,
// the goods and weapons anew). 0 (logged) when there is no army list or no
// town: the requesters then do not open.
int32_t ReadKasernenData(KasernenData* d, uint32_t reload);
// The outgoing pool's ARMY, .\Data\WarenChunk.qoe (not when it was
// damaged), the town file and the army figures of .\Data\MapPrefs.qoe (not
// when it was damaged) through one file set: all or none.
// 1, or 0 (logged, nothing written).
int32_t WriteKasernenData(KasernenData* d);
// The army list is dropped (EXIT) or written; both end a requester.
void KaserneRequesterOpened(KasernenData* d);  // copies what EXIT puts back
void KaserneRequesterExit(KasernenData* d);    // puts it back, drops the army list
void KaserneRequesterClosed(KasernenData* d);  // after OK: drops the copies and the army list
uint32_t CountArmyPeople(ListHeader* armies);
// The state of the army's figure in MapPrefs (7 aboard a ship), 0 without
// one, -1 when MapPrefs cannot be read.
int32_t GetArmyFigurState(const Army* army);
// The army stands in the active town.
bool ArmyInTown(const KasernenData* d, const Army* army);
// Whether a requester may open: 0, or the catalog ID of the refusal (1114
// artillery without an army camp or cavalry without stables, 1034 training
// without barracks).
// The barracks' texts of a damaged goods file: what the screen goes
// without (shown under the file's name as it opens) and the refusal of an
// order that needs the goods.
enum : uint32_t { KASERNE_GOODS_DAMAGED_TEXT = 1683, KASERNE_NEEDS_GOODS = 1684 };
// The same for a figure file that cannot be used.
enum : uint32_t { KASERNE_FIGURES_DAMAGED_TEXT = 1792, KASERNE_NEEDS_FIGURES = 1793 };
enum : uint32_t { KASERNE_MANAGEMENT = 1, KASERNE_WEAPONS = 2, KASERNE_TRAINING = 3 };
uint32_t KaserneOpenRefusal(const KasernenData* d, uint32_t requester);

// ---- recruiting ------------------------------------------------------------

uint32_t RecruitLimitPercent(const st_TOWN* town);  // 10, 15 (building 96), 20 (163)
// L100, R100, L101, R101.
KaserneOutcome ArmyManagmentRecruit(KasernenData* d, const char* gadget, const KaserneAsker* a);
// The typed number of units (ST01) once Enter was pressed.
void ArmyManagmentEnterUnits(KasernenData* d, int64_t typed);

// ---- the seven operations ----------------------------------------------------

KaserneOutcome ArmyManagmentCreateNewArmy(KasernenData* d, const KaserneAsker* a);
KaserneOutcome ArmyManagmentInsertInArmy(KasernenData* d, const KaserneAsker* a);
KaserneOutcome ArmyManagmentJoinArmies(KasernenData* d, const KaserneAsker* a);
KaserneOutcome ArmyManagmentSplitArmy(KasernenData* d, const KaserneAsker* a);
KaserneOutcome ArmyManagmentDemobilize(KasernenData* d, const KaserneAsker* a);
KaserneOutcome ArmyManagmentSupplyPart(KasernenData* d, const KaserneAsker* a);
KaserneOutcome ArmyManagmentRenameArmy(KasernenData* d, const KaserneAsker* a);

// ---- equipment -------------------------------------------------------------

// Takes the equipment of part for men men (step 0 all slots, 1..5 one slot):
// all of it or nothing. 1, or 0 (a shortage, a goods record missing).
int32_t ArmyManagmentSubWeapons(ListHeader* weapons, ListHeader* goods, const ArmeeTyp* part, uint32_t men,
                                uint32_t step);
// Lowers the kind-5 goods record of the ID's goods type by count; 0 when
// there is none or too little.
int32_t ArmyManagmentSubWeaponFromList(ListHeader* goods, uint32_t id, uint32_t count);
// Gives back the items of id for men men (a new entry and goods record when
// the weapon left the list). 1, or 0 without memory.
int32_t ArmyWeaponsAddWeapon2List(KasernenData* d, uint32_t id, uint32_t men);
KaserneOutcome ArmyWeaponsInsertInArmy(KasernenData* d, const KaserneAsker* a);
KaserneOutcome ArmyWeaponsRemoveFromArmy(KasernenData* d, KaserneShown shown, const KaserneAsker* a);
void CalcArmourClass(ArmeeTyp* part);

// ---- training ----------------------------------------------------------------

// L200 / R200.
KaserneOutcome ArmyTrainingDuration(KasernenData* d, const char* gadget, const KaserneAsker* a);
// B200 (start 1) / B201 (start 0); part_index: the selected part (0 = first),
// -1 for the army's line.
KaserneOutcome ArmyTrainingActivate(KasernenData* d, uint32_t start, int32_t part_index, const KaserneAsker* a);
