// The harbour of a port town (screen code 519): the ships in port, the
// shipyard that launches ships kept in the warehouse and wrecks ships in
// port, and the repair yard. The ships live in three stores at once (the
// figures of .\Data\MapPrefs.qoe, the SHIP chunk, .\Data\ShipAddOn.dat);
// every confirmation writes what it changed through one FileSet. Rules and
// places: docs/harbour.md.
#pragma once
#include <cstdint>

struct BitMap;
struct ListHeader;
struct MOVE_EXT;
struct QoERequester;
struct ScreenRegion;
struct Schiffseintrag;
struct TextFont;

// One visit of the harbour (AllocVec, cleared).
struct HafenScreenData {
  uint32_t exitFlag;
  uint16_t ankerLeer;        // the anchor list holds only "None"
  uint16_t werftLeer;        // the shipyard list holds only "None"
  uint16_t schiffImHafen;    // picture 521 was drawn
  uint16_t werftAnzahl, ankerAnzahl;  // lines of the two lists
  uint32_t stadtX, stadtY;   // the active town's hex
  uint16_t reparatur;        // repair points ordered in the repair yard
  uint16_t schiffId;         // the chosen ship of the repair yard
  TextFont* font11;          // fonts\XHelvetica11.fnt
  TextFont* elmor;           // fonts\ElmorC1.fnt
  ScreenRegion* werftLayout; // the shipyard's layout while it is open
  ScreenRegion* repLayout;   // the repair yard's layout while it is open
  uint8_t* fors;             // chunks as read (FreeChunk), null when absent
  uint8_t* land;
  ListHeader* waren;         // the warehouse (type 7) and its ship lines
  char* werftZeilen;
  ListHeader* figuren;       // MapPrefs' figures (type 19) and the ships in port
  char* ankerZeilen;
  uint32_t figurenGeladen;   // nodes of figuren read from the file; launched ones follow them
  MOVE_EXT* figur;           // the chosen figure of the repair yard
  ListHeader* schiffe;       // SHIP records (type 10)
  ListHeader* addOns;        // ShipAddOn.dat (type 17)
  QoERequester* werftReq;
  QoERequester* ankerReq;
  BitMap* bild;              // the harbour's picture area (288 x 178 at 88, 97) as it was
  uint32_t gelesen;          // 1 once the turn was read (account state 2): only then anything is written
  int32_t zuletzt[2];        // the line selected last in the shipyard / anchor list, -1 none
  // Wreck marks of the open shipyard: the records and their damage before.
  Schiffseintrag** marken;
  uint16_t* markenSchaden;
  uint32_t markenAnzahl, markenPlatz;
  // Why .\Data\MapPrefs.qoe cannot be used (LoadFigureFile: damaged, or
  // missing in an installed game; 0 it can): no figure list, no ship
  // picture, neither the shipyard nor the repair yard opens, and nothing is
  // written in the file's place.
  uint32_t figurenDefekt;
};

enum : uint32_t { kHafenBildX = 88, kHafenBildY = 97, kHafenBildW = 288, kHafenBildH = 178 };

// ---- the rules --------------------------------------------------------------

// Figure type (14..19) of ship goods 50..55; 0 for any other goods.
uint16_t HafenSchiffsTyp(uint32_t goods);
// Catalog ID of a ship type's name (867..872), 0 for another type.
uint32_t HafenSchiffsName(uint16_t type);
// Class of a new ship of the type with the realm's research (FORS, null:
// level 0): trade ships 5, 10, 15 + technics, war ships 10, 20, 30 + art of
// battle; a level outside 0..7 counts as its nearest bound.
uint16_t ShipLaunchClass(uint16_t type, const uint8_t* fors);
// Gold per repaired damage point of the type; 0 for another type.
uint32_t ShipRepairCost(uint16_t type);
// The price of wrecking a ship of the class: class x 2500, at most the treasury.
uint32_t WreckCost(uint16_t ship_class, uint32_t treasury);

// ---- the screen (hafen.cpp) --------------------------------------------------

int32_t HafenScreen(int32_t entry_code);  // 39, 3 or -1
// SHIP, FORS and LAND of the turn and ShipAddOn.dat. Reads nothing (1)
// unless the account state is 2. 0 (logged) when a chunk a pool announces
// cannot be loaded or the add-on file cannot be read.
int32_t LoadHafenData(HafenScreenData* d);
// SHIP (or its removal when the list became empty) and LAND into the
// outgoing pool in one write, then frees the lists and chunks. Nothing is
// written unless the turn was read. 1, or 0 (logged).
int32_t WriteHafenData(HafenScreenData* d);
int32_t LoadHandelSfx();  // 1 when all 17 effects are open (else none stays open)
void CloseHafenSfx();
// The active town's hex, the saved picture area, the figure list and the
// ship picture. 1 or 0 (logged).
int32_t InitAllThingsHafen(HafenScreenData* d);
void FreeAllThingsHafen(HafenScreenData* d);
// The figure list from the MOVE chunk of MapPrefs (an empty one without an
// installed game). 1 or 0.
int32_t AllocHafenFigurenListe(HafenScreenData* d);
// The anchor lines: own ship figures on the town's hex, "None" without one.
int32_t AllocFigurenListe(HafenScreenData* d);
void FreeFigurenListe(HafenScreenData* d);
// The shipyard lines: one per ship goods record of the warehouse.
int32_t InitWerftRequester(HafenScreenData* d);
void FreeWerftListe(HafenScreenData* d);
// The two list requesters, made or refreshed from the lines (freed without).
int32_t UpdateWarenRequester(HafenScreenData* d, uint32_t count, const char* lines);
int32_t UpdateAnkerRequester(HafenScreenData* d, uint32_t count, const char* lines);
// 1 when a ship figure of any owner stands on the town's hex.
int32_t HafenSchiffImHafen(HafenScreenData* d);
// The own ship in port of anchor line `line`, or null.
MOVE_EXT* HafenAnkerFigur(HafenScreenData* d, uint32_t line);
// The SHIP record of a ship ID, or null.
Schiffseintrag* HafenSchiffseintrag(HafenScreenData* d, uint16_t ship_id);

// ---- the shipyard and the repair yard (hafenwerft.cpp) -----------------------

// The requesters; 1 after a run, 0 when they cannot open (the screen ends).
int32_t HafenSchiffReq(HafenScreenData* d);
int32_t HafenSchiffRep(HafenScreenData* d);
// Side 0 launches the ship of a shipyard line (in memory); side 1 offers to
// wreck the ship of an anchor line (a question; a yes marks it). 1, or 0.
int32_t ChangeRequesterBuffer(HafenScreenData* d, uint32_t side, uint32_t line);
// EXIT of the shipyard: the wreck marks of this opening are taken back.
void UndoWreckMarks(HafenScreenData* d);
// Confirms the shipyard: the Ctrl workaround, the wrecks, the launches;
// MapPrefs, the goods file and the outgoing pool's SHIP and LAND written
// through one FileSet. On a failure nothing is written and the ship list
// and treasury are read back as they were. 1, or 0 (logged).
int32_t SetNewShips(HafenScreenData* d);
// SetNewShips without the map's bracket and the Ctrl key's question: with
// workaround 1 every own ship of the file in port leaves first, with its
// record (refused with a notice while one of them carries a figure).
int32_t CarryOutShipyard(HafenScreenData* d, int32_t workaround);
// The repair yard's panels for anchor line `line` after step (0, +1, -1).
void ShowRepairData(HafenScreenData* d, uint32_t line, int32_t step);
// Orders the repair of the chosen ship: the figure's state 16, movement
// points 0, the add-on record; ShipAddOn.dat and MapPrefs through one
// FileSet. 1, or 0 (logged; nothing written, the lists as they were).
int32_t SetRepairShip(HafenScreenData* d);
