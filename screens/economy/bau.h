// The construction screen (screen code 43): the building catalogue with the
// turn's costs, construction orders, the list of building sites and
// demolition. Reached from the town view's BAUS, it returns to the town view
// (39). The design and the cost file: docs/construction.md.
#pragma once
#include <cstdint>

#include "screens/economy/ambience.h"

struct st_TOWN;
struct ScreenRegion;
struct MovieBase;
struct Movie;
struct TextFont;
struct BitMap;
struct QoERequester;
struct ListHeader;

// One BAUE record (an order) or GEBA record (a standing building), host order.
struct BaustellenData {
  uint16_t building;
  uint16_t year;       // low 16 bits of the year
  uint16_t quarter;    // 0..3
  uint16_t buildTime;  // quarters; 0xFFFF: tear down (order) or a site (GEBA)
  uint32_t price;
  uint16_t upkeep;
  uint16_t town;       // low 16 bits of the town ID
};
constexpr uint32_t kBaustellenSize = 16;  // on disk
constexpr uint16_t kTearDown = 0xFFFF;
// A record from its 16 host-order bytes and back.
BaustellenData GetBaustelle(const uint8_t* p);
void PutBaustelle(uint8_t* p, const BaustellenData& b);

// The cost record of a building (.\Data\BauScreenGeb.dat, 20 bytes).
struct GebaeudeKosten {
  uint32_t price;   // gold
  uint32_t time;    // building time in quarters
  uint32_t upkeep;  // gold per quarter
  uint32_t wood;
  uint32_t stone;
};

// One row of the building catalogue (catalog string IDs, picture ID of
// .\Data\Path); its base costs are BuildingBaseCosts' row of the same ID
// (routinen/gamedata/towns.h).
struct BauKatalogZeile {
  uint16_t id;
  uint16_t name;
  uint16_t picture;
  uint16_t description;
  uint16_t siteName;
};
constexpr uint32_t kBauKatalogRows = 38;
const BauKatalogZeile* BauKatalog(uint32_t row);  // null past the end
int32_t BauKatalogRow(uint32_t building);          // the row of a building ID, -1 none
// The first building of the line that holds the ID (a higher level names its
// line's building), else the ID itself.
uint32_t BauLineHead(uint32_t building);

constexpr char kBauCostFile[] = ".\\Data\\BauScreenGeb.dat";
constexpr uint32_t kBauCostFileSize = kBauKatalogRows * 20;

// The visit's record (AllocVec, cleared).
struct BauScreenData {
  uint32_t exit;            // nonzero ends the event loop
  uint32_t transitionDone;  // the first drawing ran the screen transition
  int16_t row;              // catalogue row 0..37
  int16_t building;         // building ID 0..234 shown
  uint32_t year;            // KORN +12
  uint16_t quarter;         // KORN +16
  GebaeudeKosten cost;      // of the shown building
  uint32_t treasury;        // LAND +34, lowered by every order of the visit
  uint32_t confidence;      // LAND +62
  uint32_t wood;            // in store: the kind-5 goods of ID 98, summed
  uint32_t stone;           // and of ID 99
  uint16_t newCount;        // this turn's orders (the outgoing BAUE)
  BaustellenData* newOrders;
  uint16_t oldCount;        // the received turn's orders
  BaustellenData* oldOrders;
  char* text;               // the building's text
  uint8_t* fors;            // received FORS chunk (host order) or null
  uint8_t* geba;            // GEBA chunk of .\Data\Gebaeude.dat or null
  uint8_t* ware;            // WARE chunk of .\Data\WarenChunk.qoe or null
  uint32_t wareDefekt;      // 1 when that file could not be read: nothing built, the file never written
  st_TOWN* town;            // the active town (owned)
  BitMap* titleBackground;  // 144 x 18 at 387,344
  QoERequester* req;        // the building's text
  TextFont* font;           // XHelvetica11
  TextFont* titleFont;      // ElmorC1
  ScreenRegion* region;     // Bau.dat
  ListHeader* goods;        // the own goods (type 7), null without a game
  MovieBase* movieBase;
  Movie* movie;             // the building's animation, null none
  // The visit's helpers: the account state, the panels' ground, the ambience.
  uint16_t accountState;    // prefs field 0
  BitMap* panels[7];        // the value panels' ground, kept to redraw them
  AmbientCounter ambient;   // 25, then (Zufall(5) + 1) x 4 passes
};

// ---- the catalogue and the costs ----
// The cost record of the current row into d->cost: from the cost file, made
// anew (one random draw for all rows at the record's confidence) when it is
// not exactly 760 bytes. Without an installed game the row is drawn in
// memory and no file is written. 1, or 0 when the file cannot be made.
int32_t GetBuildingData(BauScreenData* d);
// The drawn costs of one row at a public confidence (uses the random source).
GebaeudeKosten DrawBuildingCosts(const BauKatalogZeile* row, uint32_t confidence);
// The building's text: its requirements from the town entry, then its
// description. A new AllocVec'd string (FreeVec), null without memory.
char* BauRequirementText(const st_TOWN* town, uint32_t building);
// Draws the building of d->building (title, picture or animation, text,
// slider, value panels); the first call of a visit starts the transition.
int32_t SetBuilding(BauScreenData* d);
// Moves d->building (already stepped by one) to the next building the town
// may list and the catalogue has (1 forward, 0 backward). 1 when one was
// found, 0 when none of the other IDs is.
int32_t StepBuilding(BauScreenData* d, int32_t direction);
// Redraws the seven value panels.
void DrawBauPanels(BauScreenData* d);

// ---- orders, sites, demolition ----
// Starts the construction of the shown building (asked first): 1 taken or
// not asked for, 0 refused by a count limit.
int32_t InitBaustellenData(BauScreenData* d);
// GEBA records, new and running orders of the shown building in the town.
uint32_t CountBuildingsOfType(const BauScreenData* d);
// The list of building sites; with no orders at all null (the screen shows
// catalog 527 instead). AllocVec'd (FreeVec).
char* BauSiteListText(const BauScreenData* d);
int32_t ShowBaustellenData(BauScreenData* d);
// Appends a copy of the record to the new orders: 1, or 0 without memory.
int32_t AddDemolitionOrder(BauScreenData* d, const BaustellenData* b);
// May the standing GEBA record be torn down? 1 yes, 0 no.
int32_t CheckDemolition(BauScreenData* d, const BaustellenData* standing);
// The demolition choice: lines of 80 bytes (line 0 the granaries, line 1
// the mills, then one per building offered) and per line the GEBA record
// index (-1 for lines 0 and 1). Returns the line count; *lines and *records
// are AllocVec'd (FreeVec), null when memory runs out (count 0).
uint32_t BauDemolitionOffer(BauScreenData* d, char** lines, int32_t** records, uint32_t counts[2]);
// Orders the demolition of what line `line` of the offer names: for lines 0
// and 1 up to quantity records of that ID, else the line's record. Returns
// the number of orders added.
uint32_t BauDemolish(BauScreenData* d, uint32_t line, const int32_t* records, uint32_t quantity);
int32_t SendBuildingDemolition(BauScreenData* d);

// ---- the visit ----
int32_t ReadBauScreenData(BauScreenData* d);
// The orders: the outgoing pool (BAUE and LAND), the town file and the goods
// file through one file set, all or none. 1, or 0 (logged, nothing written).
int32_t WriteBauScreenData(BauScreenData* d);
int32_t LoadBauScreenSfx(BauScreenData* d);
void CloseBauScreenSfx();
int32_t InitAllThingsBau(BauScreenData* d);
void FreeBauScreenThings(BauScreenData* d);
// Frees everything the record holds and the record.
void FreeBauScreenData(BauScreenData* d);
// The screen: 39, or -1 when it cannot start.
int32_t BauScreen(int32_t entry_code);

// Tests: the random source of the cost draw (null: Zufall), and the screen's
// modal messages (null: the message box): called with the box's mode (0
// message, 1 question) and the catalog ID, it returns the answer (0 yes).
void SetBauRandom(RandomFunc random);
using BauMessageHook = int32_t (*)(uint32_t mode, uint32_t catalog);
void SetBauMessageHook(BauMessageHook hook);
