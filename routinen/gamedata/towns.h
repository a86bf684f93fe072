// The realm's towns: .\Data\Cities\Town.list and one town file per town
// (big-endian on disk, decoded into st_TOWN in memory), the building checks
// and the town updates after a turn. Formats: docs/turns.md.
#pragma once
#include <cstdint>

enum : uint32_t {
  TOWN_FILE_SIZE = 14220,
  TOWN_BUILDINGS = 235,
  TOWN_NAME_SIZE = 80,
  TOWN_TYPED_NAME_MAX = 39,   // names the player types
  TOWN_SERVER_NAME_MAX = 79,  // names the server gives
  TOWN_LIST_RECORD = 84,
  TOWN_LIST_END = 0xFFFFFFFFu,
};

// Town flags (st_TOWN::flags).
enum : uint16_t {
  TOWN_NEEDS_NAME = 1, TOWN_REBELS = 2, TOWN_CONSUMPTION = 4, TOWN_BLACK_DEATH = 8,
  TOWN_SPOTTED_FEVER = 16, TOWN_VARIOLA = 32
};
// Building entry flags (TownBuilding::flags).
enum : uint16_t { BUILDING_UNAVAILABLE = 1, BUILDING_STANDS = 2, BUILDING_ORDERED = 8 };

struct TownBuilding {            // 60 bytes on disk
  uint16_t flags;                // +0
  uint32_t population;           // +2 required population
  uint16_t level;                // +6 required town level
  uint8_t reserved8[14];         // +8..+21, kept as read
  uint8_t research[7];           // +22..+28 required research levels (FORS order)
  uint8_t reserved29;            // +29
  uint16_t buildings[7];         // +30..+43 required buildings (ID + 1, 0 none)
  uint8_t reserved44[16];        // +44..+59
};

struct st_TOWN {                 // 14,220 bytes on disk
  uint32_t kind;                 // +0 non-zero: the realm's capital
  uint16_t flags;                // +4 TOWN_* bits
  uint8_t reserved6[12];         // +6..+17
  uint16_t level;                // +18 town level 1..4
  uint32_t id;                   // +20
  uint32_t XPos;                 // +24
  uint32_t YPos;                 // +28
  uint32_t population;           // +32 inhabitants
  char name[TOWN_NAME_SIZE];     // +36
  TownBuilding buildings[TOWN_BUILDINGS];  // +116
  uint32_t TownPopulation;       // +14216 people available for recruiting
};

// Disk image <-> record (big-endian, 14,220 bytes).
void DecodeTown(const uint8_t* disk, st_TOWN* town);
void EncodeTown(const st_TOWN* town, uint8_t* disk);

// The file name (without folder and ".qoe") of a town's name: the name as it
// is when it is a safe file name, else with every unsafe byte as "%XX".
// out must hold 3 x 80 bytes.
void TownFileName(const char* name, char* out, uint32_t out_size);
// ".\Data\Cities\<file name>.qoe".
void TownFilePath(const char* name, char* out, uint32_t out_size);

// Town.list: count of towns and a new array of {id, name} (AllocVec), or 0
// and null for a missing, short or unterminated list.
struct TownListEntry {
  uint32_t id;
  char name[TOWN_NAME_SIZE];
};
uint32_t ReadTownList(TownListEntry** entries);
int32_t WriteTownList(const TownListEntry* entries, uint32_t count);  // 1 or 0

// A new town record with the given values and an empty building table.
st_TOWN* CreateTown(uint32_t id, const char* name, uint32_t x, uint32_t y);
// Writes the town to its file; 1 or 0.
int32_t SaveTown(const st_TOWN* town);
// The town of that ID from Town.list as a new record (FreeVec); a file of the
// wrong size is made anew; an ID not in the list gives a new town
// "NewTown.<id>" that is not written. Null on failure.
st_TOWN* GetActiveTown(uint32_t town_id);
// The towns' names, 80 bytes a line, in a new block (FreeVec), or null; the
// number of lines in *count.
char* CreateStadtListBuffer(uint32_t* count);
// Renames the town in Town.list and its file; 0 when the name is used by
// another town, is empty or too long, or the town is unknown.
int32_t ChangeTownName(uint32_t town_id, const char* new_name);

// The building lines: the first ID of a row is the buildable building, the
// others its higher levels (0 = empty slot, except at the head of the granary
// line). The construction screen, its demolition rules and CheckTownEnv share it.
constexpr uint32_t kBauKetteRows = 30;
extern const uint16_t BauKette[kBauKetteRows][4];

// The base costs of the 38 buildings the construction screen offers (the
// heads of the lines and the single buildings), in its catalogue order:
// price in gold, building time in quarters, upkeep in gold a quarter, wood
// and stone. The construction screen draws the turn's costs from them, the
// turn builder every building's upkeep, so the two tell the same.
struct BuildingBaseCost {
  uint16_t building;
  uint32_t price, time, upkeep, wood, stone;
};
constexpr uint32_t kBuildingBaseCostRows = 38;
extern const BuildingBaseCost BuildingBaseCosts[kBuildingBaseCostRows];
// The row of a building ID; null for an ID the catalogue does not offer
// (a higher level of a line, an unused ID).
const BuildingBaseCost* FindBuildingBaseCost(uint32_t building);
// A base price or upkeep at a public confidence c (LAND +62), unsigned 32-bit:
// value x 100 / (c / 5 + 50). Confidence 0 doubles it, 250 keeps it.
uint32_t CostAtConfidence(uint32_t value, uint32_t confidence);

// May the building be listed (mode 0) / built now (mode 1) in the town?
// fors: the FORS chunk (host order) or null.
int32_t CheckTownEnv(const st_TOWN* town, const void* fors, uint32_t building, uint32_t mode);

// Luxury goods: 19 entries (0..2 raw materials, 3..18 goods types 82..97).
enum : uint32_t { LUXUS_ENTRIES = 19 };
// The realm's luxury resources from the received TAXE and .\Data\Gebaeude.dat
// as a new table of LUXUS_ENTRIES u32 (FreeVec), or null (also when either
// chunk is damaged; a missing Gebaeude.dat counts no buildings).
uint32_t* GetLuxusResources();
// The demand of one entry; balances = the LAND raw-material balances
// {+54, +50, +58} in entry order.
uint32_t GetLuxusDemand(uint32_t entry, const int32_t balances[3], const uint32_t* resources,
                        uint32_t inhabitants);

// After a turn: the towns of the received TOWN chunk become Town.list and
// town files (new ones founded, lost ones deleted, a capital kept), and an
// active town that was lost gives way (SettleActiveTown(1)); non-zero on
// success.
int32_t CheckPlayerTown();
// The town a game is shown with: the town of prefs field 4 (the town view's
// last town) when it is in Town.list, else the capital (a listed town whose
// file has a kind other than 0), else the list's first town; 0 without a
// town. Reads through an open stage.
uint32_t StartTownId();
// The own player's active town (through an open stage, GdOwnPlayer): kept
// when keep is set and it is in Town.list, else StartTownId(). Start-up, a
// load and a new game pass 0, a changed town list 1. Returns the town's ID.
uint32_t SettleActiveTown(int32_t keep);
// After a turn: town files take the turn's population, flags, level and the
// standing buildings of .\Data\Gebaeude.dat; non-zero on success.
int32_t CheckTownStatus(uint32_t mode);
// After a turn: every culture map of .\Map moves on one turn; non-zero when
// every file was written.
int32_t CheckMapCultWorld();

// Terrain type 0..11 of a terrain graphic (0 for none or unknown graphics).
uint32_t TerrainTypeOfGraphic(uint32_t graphic);
