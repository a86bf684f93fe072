// Entity lists: each entity's chunk (host order, as LoadChunk2Mem gives it)
// becomes a typed list and goes back into a new chunk. The node records
// below are the list types' field tables (see RegisterGameDataListTypes);
// their disk layouts are the codec tables of codecs.h (docs/chunks.md).
// Field names: the game's own names where it has them (Army, ArmeeTyp),
// lower-case English words for the rest; reserved fields are kept as read.
#pragma once
#include <cstdint>

#include "routinen/system/lists.h"

enum : uint32_t { LIST_SABOTEURS = 5 };  // saboteurs of an army part

// 18 bytes on disk; in memory a plain struct (20 bytes).
struct FigurRecord {
  uint32_t owner;
  uint16_t type;    // FigurType
  uint16_t number;  // for an army: its ArmeeID
  uint32_t x;
  uint32_t y;
  uint8_t state;    // FigurAktion; 7 carried aboard a ship
  uint8_t points;   // movement points left
};
// Reads / writes one 18-byte record (host order) at p.
FigurRecord GetFigurRecord(const uint8_t* p);
void PutFigurRecord(uint8_t* p, const FigurRecord& f);

struct SpielerEintrag {     // type 1
  ListNode head;
  uint32_t id;
  char name[80];
};

struct Army {               // type 3, one ARHD record
  ListNode head;
  uint32_t X;
  uint32_t Y;
  uint32_t Besitzer;
  uint32_t Aktion;
  uint32_t Glaube;
  uint32_t ArmeeID;
  uint32_t ArmeeTypAnzahl;
  uint32_t Training;
  char ArmyName[20];
  ListHeader* parts;        // type 4, owned (DeleteArmyList frees it)
};

struct ArmeeTyp {           // type 4, one AREN record
  ListNode head;
  uint32_t Typ;             // 1 artillery, 2 infantry, 3 cavalry
  uint32_t Erfahrung;
  uint32_t WaffeI;
  uint32_t WaffeII;
  uint32_t Ruestung;
  uint32_t Schild;
  uint32_t Helm;
  uint32_t Erschoepfung;
  uint32_t RuestungsKlasse;
  uint32_t Leute;
  uint32_t SaboteurAnzahl;
  ListHeader* SaboteurListHeader;  // type 5 or null, owned
};

struct Saboteur {           // type 5, one SABO record
  ListNode head;
  uint32_t owner;
  uint32_t men;
};

struct WarenListenEntry {   // type 7, 36 bytes on disk
  ListNode head;
  uint16_t kind;            // 0 own offer, 2 other's offer with own bid, 5 in store
  uint32_t owner;
  uint32_t goods;
  uint32_t quantity;
  uint32_t price;
  uint32_t ident;           // creation time in seconds
  uint32_t buyer;
  uint32_t bid_quantity;
  uint32_t bid_price;
  uint16_t closing;
};

struct VertragsEintrag {    // type 9, 32 bytes on disk
  ListNode head;
  uint16_t kind;
  uint32_t sender;
  uint32_t receiver;        // 0xFFFFFFFF all lords
  uint32_t goods;
  uint32_t time;
  uint16_t reserved;        // not set here: 0 in new records, kept in answers
  uint16_t duration;        // quarters
  uint32_t amount;          // per quarter
  uint32_t price;           // per quarter
  uint16_t closing;         // the goods record's closing word (goods other than corn)
};

struct Schiffseintrag {     // type 10, 68 bytes on disk
  ListNode head;
  uint16_t ship_id;         // the ship figure's number
  uint16_t damage;
  uint16_t ship_class;
  uint32_t x;
  uint32_t y;
  FigurRecord cargo[3];     // all zero: empty slot
};

struct MapNameEintrag {     // type 13, 88 bytes in MapNames.dat
  ListNode head;
  uint16_t x;
  uint16_t y;
  char name[80];
  uint32_t reserved;
};

struct MapCultEintrag {     // type 14, 98 bytes in a culture file
  ListNode head;
  uint16_t x;
  uint16_t y;
  uint16_t harvest_workers;
  uint16_t pad;             // not on disk
  uint32_t harvest[11];     // [1] current value, [2] the turn before
  uint16_t wood_workers;
  uint16_t wood[11];
  uint16_t stone_workers;
  uint16_t stone[11];
};

struct SpezialistEintrag {  // type 15, 194 bytes on disk
  ListNode head;
  char name[80];
  uint32_t figure;          // number of his cleric figure
  uint32_t x;               // the town hired into
  uint32_t y;
  uint16_t state;           // below 5 free, 5 hired, 4 dismissed
  uint8_t type;             // 0 cleric
  uint8_t detail1;
  uint8_t detail2;
  uint8_t reserved1;
  uint8_t attributes[6];
  uint16_t reserved2;
  uint32_t wage;
  uint32_t owner;
  uint8_t reserved3[80];    // +114..+193, kept as they are
};

struct KrautEintrag {       // type 16, 12 bytes on disk
  ListNode head;
  uint32_t x;
  uint32_t y;
  uint8_t herb;             // goods type 56..73
  uint8_t found;
  uint16_t amount;
};

struct ShipAddOn {          // type 17, 96 bytes in ShipAddOn.dat
  ListNode head;
  char name[80];
  uint16_t ship_id;
  uint16_t repair;
  uint32_t reserved[3];
};

struct MOVE_EXT {           // type 19
  ListNode head;
  FigurRecord figure;
};

// Registers the field tables of the types above (1, 3, 4, 5, 7, 9, 10, 13,
// 14, 15, 16, 17, 19) and of the weapons list (6, weapons.h). Called at start-up; the scan functions call it too.
void RegisterGameDataListTypes();
// A cleared node for the list, or null.
ListNode* AllocListNode(const ListHeader* list);

// ---- armies ----
ListHeader* ScanArmy2List(const void* army_chunk);          // type 3, or null
uint8_t* CovertArmyList2ArmyChunk(ListHeader* armies);      // new chunk or null
void DeleteArmyList(ListHeader* armies);
uint32_t GetArmyTyp(const Army* army);                      // figure type 1..9, 0
uint32_t GetArmySoldatenAnzahl(ListHeader* armies, uint32_t armee_id);
int32_t FindNodeByName(ListHeader* armies, const char* name);

// ---- ships, specialists, goods, contracts, herbs, players ----
int32_t ScanShip2List(ListHeader* list, const void* ship_chunk);  // non-zero ok
uint8_t* MakeShipChunkFromList(ListHeader* list);
int32_t ScanSpezialisten2List(ListHeader* list, const void* spez_chunk);
uint8_t* MakeSpezialistenChunkFromList(ListHeader* list);
int32_t ScanWare2List(ListHeader* list, const void* ware_chunk);
uint8_t* MakeWareChunkFromList(ListHeader* list);
int32_t ScanVertrag2List(ListHeader* list, const void* vert_chunk);
uint8_t* MakeVertragChunkFromList(ListHeader* list);
int32_t ScanHerb2List(ListHeader* list, const void* herb_chunk);
uint8_t* MakeHerbChunkFromList(ListHeader* list);
int32_t ScanSpieler2List(ListHeader* list, const void* antw_chunk);
uint8_t* MakeSpielerChunkFromList(ListHeader* list);  // the server's side: the turn builder

// 1 when the GEBA chunk holds a record of that building in that town.
int32_t CheckOtherBuilding(const void* geba_chunk, uint32_t building, uint32_t town);
// The building kind that replaces kind in the same town (the town hall by
// the residency, the drill ground by the army camp, ...); -1 for none. A
// replaced building is not counted among the realm's buildings.
int32_t NextBuildingLevel(uint32_t kind);

// ---- side files ----
ListHeader* ScanShipAddOn2List();                 // .\Data\ShipAddOn.dat, type 17
int32_t SaveShipAddOnList(ListHeader* list);
int32_t ScanMapNames2List(ListHeader* list);      // .\Data\MapNames.dat
int32_t SaveMapNamesList(ListHeader* list);
// The bytes those two files get from the list (for a FileSet): a new block
// (FreeVec) and *size (0 for an empty list); null on failure.
uint8_t* MakeShipAddOnImage(ListHeader* list, uint32_t* size);
uint8_t* MakeMapNamesImage(ListHeader* list, uint32_t* size);
// Culture part file .\Map\C_<column>_<row>.qoe (world X / 40, Y / 20).
int32_t ScanMapCult2List(ListHeader* list, uint32_t column, uint32_t row);
int32_t SaveMapCultList(ListHeader* list, uint32_t column, uint32_t row);
// The culture part's bytes for a FileSet (an empty list: *size 0, the file
// goes), and its path (64 bytes are enough).
uint8_t* MakeMapCultImage(ListHeader* list, uint32_t* size);
void MapCultPath(char* out, uint32_t size, uint32_t column, uint32_t row);
uint32_t CalcCultValueA(uint32_t terrain, uint32_t workers, uint32_t value);
uint32_t CalcCultValueB(uint32_t terrain, uint32_t workers, uint32_t value);
uint32_t CalcCultValueC(uint32_t terrain, uint32_t workers);

// ---- figures (.\Data\MapPrefs.qoe) ----
extern const char* const MapPrefsPath;            // ".\\Data\\MapPrefs.qoe"
int32_t ScanFigur2List(ListHeader* list, const void* move_chunk);
uint8_t* MakeFigurChunkFromList(ListHeader* list);
int32_t SaveFigurList2MapPrefs(ListHeader* list);
// The disk image of .\Data\MapPrefs.qoe with the figure list as its MOVE
// chunk (MREF kept from the file as SaveFigurList2MapPrefs keeps it), for a
// FileSet; a new block (FreeVec) and *size, or null.
uint8_t* MakeMapPrefsImage(ListHeader* figures, uint32_t* size);
// Why a screen cannot use the figure file (the value it keeps; 0: it can).
enum : uint32_t { FIGURE_FILE_DAMAGED = 1, FIGURE_FILE_MISSING = 2 };
// The figure file as a screen reads it: 0 when it can be used, its MOVE
// chunk loading whole (MREF first, MOVE at 28, every record it counts
// inside the file); FIGURE_FILE_DAMAGED when the file is there but cannot
// be read so (cut short, a count past its end, empty, a read error);
// FIGURE_FILE_MISSING when a game is installed and no plain file stands at
// the path (none, a folder, a pipe). An installed game always has the file
// (its set-up makes it, every turn evaluation writes it), so its absence is
// damage to the game as much as a damaged file; without an installed game
// there is nothing to miss (0, no chunk). A screen that reads the figures
// opens without the orders that need them when it cannot use the file,
// tells the player which it is, and never writes the file nor makes one in
// its place. *out (FreeChunk; may be null) gets the MOVE chunk, host order,
// when there is one.
uint32_t LoadFigureFile(const char* path, uint8_t** out);
uint16_t GetFreeFigurNummer(const void* move_chunk);
uint16_t AddFigur2MapPrefs(const char* path, uint16_t type, uint32_t x, uint32_t y);  // 0xFFFF failure
int32_t RemoveFigurFromMapPrefs(const char* path, uint32_t kind, uint32_t x, uint32_t y, int32_t number);
// Moves what depends on the figure by (dx, dy): its army's position, or its
// ship's position with the cargo slots and the carried figures of the map's
// figure list (payload: u16 count, then 18-byte records, host order).
void SetFigurDependence(const FigurRecord* figure, int32_t dx, int32_t dy, ListHeader* armies,
                        ListHeader* ships, uint8_t* figures, uint32_t figures_size);
// The record of the map's figure list that a cargo slot names, or null.
uint8_t* FindLadungsFigur(uint8_t* figures, uint32_t figures_size, const Schiffseintrag* ship,
                          uint32_t slot);

// ---- battles (KRIG) ----
// KriegsArt: how a fight ended.
enum KriegsArt : uint32_t {
  KRIEG_LAND_DEFENDER = 0, KRIEG_LAND_ATTACKER = 1, KRIEG_LAND_UNDECIDED = 2,
  KRIEG_TOWN_ATTACKER = 3, KRIEG_TOWN_DEFENDER = 4,
  KRIEG_SEA_SUNK = 5, KRIEG_SEA_DAMAGED = 6, KRIEG_SEA_CAPTURED = 7, KRIEG_SEA_DEFENDED = 8,
};
// One KRIG record (72 bytes on disk, docs/chunks.md), host order.
struct KriegsEintrag {
  uint32_t head;               // +0 not read
  FigurRecord attacker;        // +4
  FigurRecord target;          // +22 (its X, Y: the place of the fight)
  uint32_t kind;               // +40 KriegsArt
  uint16_t classA, classD;     // +44, +46 armour class (land) or ship class (sea)
  uint16_t depletionA, depletionD;  // +48, +50 depletion (land) or damage (sea)
  uint32_t deadA, deadD;       // +52, +56
  uint32_t aliveA, aliveD;     // +60, +64
  uint32_t tail;               // +68 not read
};
// Records a KRIG chunk (host order, as LoadChunk2Mem gives it) holds: its
// count, cut to what its length holds ((length - 4) / 72 of the payload); 0
// for null or another chunk.
uint32_t KriegsCount(const void* krig);
// Record i of the chunk into *out; 0 past KriegsCount.
int32_t GetKriegsEintrag(const void* krig, uint32_t i, KriegsEintrag* out);

// ---- players and letters ----
// Copies the name (buffer of 40 bytes, at most 39 characters) and returns 1
// when the list holds the ID.
int32_t FindPlayerNameInList(uint32_t id, char* buffer, ListHeader* players);
// Fills buffer (40 bytes) with the player's name; with ask set an unknown ID
// is added to the ANFR request of the outgoing pool. 1 when found.
int32_t GetPlayerName(uint32_t id, char* buffer, uint32_t ask);
int32_t CreateSmalMail(const char* recipient, uint32_t recipient_id, const char* subject,
                       const char* text);
uint32_t ScanSmals2List(ListHeader* list, const char* folder, const char* mask, uint32_t only_own);
