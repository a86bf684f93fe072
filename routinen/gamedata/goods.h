// Goods types 0..115: the fixed goods table, the goods names and the price
// rule, shared by the market, barracks, diplomacy and report screens. The
// goods type is also the index of the goods animations (AnimateWare).
// A type outside 0..115 (read from a record, a prefs field or a file) is an
// unknown good: it has no row, is never priced and never offered.
#pragma once
#include <cstdint>

struct CatalogEntry;

enum : uint32_t { WAREN_ANZAHL = 116 };

// One row of the goods table: thirteen signed 32-bit values, all >= 0.
struct WarenZeile {
  int32_t divisor;   // market base = inhabitants / divisor; 0 = not offered by the rule
  int32_t weight[3];  // W1, W2, W3: weights of the resource values V1, V2, V3
  int32_t level[7];  // minimum research levels L0..L6 (8 = out of reach)
  int32_t price;     // base price in gold coins per unit
  int32_t picture;   // picture ID in .\Data\Path, 0 = none
};

// The goods table, indexed by goods type; never changed at run time.
extern const WarenZeile WarenTabelle[WAREN_ANZAHL];
// The catalog entry of each goods type's name (CatalogStrings entries).
extern const CatalogEntry* const WarenNamen[WAREN_ANZAHL];

// 1 when type is a goods type (0..115).
int32_t IsWarenTyp(uint32_t type);
// The row of the goods type, or null for an unknown type.
const WarenZeile* GetWarenZeile(uint32_t type);
// The goods type's current name; "unknown good" for an unknown type.
const char* GetWarenName(uint32_t type);
// Price of the goods type from a base price and the resource values a, b, c
// (V1, V2, V3), at least 1; 0 for an unknown type.
uint32_t CalcWarePreis(uint32_t type, uint32_t base, int32_t a, int32_t b, int32_t c);

// ---- the market stock of the turn (.\Data\Waren.dat, docs/goods.md) ----

// What the market rule reads of the realm this turn.
struct WarenMarktDaten {
  uint32_t einwohner;      // inhabitants (LAND +14)
  int32_t rohstoffe;       // 1 when LAND +38, +42 or +46 holds a value >= 1
  int32_t werte[3];        // resource values V1, V2, V3 (prefs fields 21..23)
  int8_t stufen[7];        // research levels L0..L6 (FORS +15..+21)
  uint32_t abgabe;         // market levy t (TAXE u32 +22), at most 65,535
  int32_t gebaeude20;      // 1 when building 20 stands in the active town
  int32_t gebaeude26;      // 1 when building 26 stands in the active town
  uint32_t rohstoffmodus;  // prefs field 5: resource mode
  uint32_t spezialtyp;     // prefs field 14: special type (0 none); the rule clears it
  uint32_t holz, stein;    // prefs fields 19, 20: wood and stone on offer
  uint32_t (*zufall)(uint32_t n);  // random 0..n; null = Zufall
};

enum : uint32_t { WAREN_DAT_SIZE = 928, WAREN_ABGABE_MAX = 65535 };

// The stock: quantity and price per unit of every goods type.
struct WarenMarkt {
  uint32_t menge[WAREN_ANZAHL];
  uint32_t preis[WAREN_ANZAHL];
};

// Quantity of the type the market offers this turn (0 for an unknown type).
// Clears d->spezialtyp when the special type comes out 0.
uint32_t CalcWarenAngebot(WarenMarktDaten* d, uint32_t type);
// Price per unit of the type this turn (0 for an unknown type).
uint32_t CalcWarenPreis(const WarenMarktDaten* d, uint32_t type);
// Fills the stock: all quantities (type order), then all prices.
void BuildWarenMarkt(WarenMarktDaten* d, WarenMarkt* m);
// Number of types with a nonzero quantity.
uint32_t CountWarenMarkt(const WarenMarkt* m);
// Reads 928 bytes (little-endian) into m; 0 (m cleared) for any other size.
int32_t ParseWarenMarkt(const uint8_t* data, uint32_t size, WarenMarkt* m);
// Writes the 928-byte image of m.
void PutWarenMarkt(const WarenMarkt* m, uint8_t* out);
// Loads .\Data\Waren.dat: 1 loaded; 0 missing, unreadable or of another
// size (such a file is deleted), m cleared.
int32_t LoadWarenMarkt(WarenMarkt* m);
// The highest price per unit the market rule can give: the goods table's
// highest base price (at least 100, the special type's) times 2 (the price
// rule's largest factor) times (WAREN_ABGABE_MAX + 101) / 100 (the largest
// levy). A stock price above it is damage.
uint32_t WarenPreisGrenze();
// Marks the damaged records of a stock read from disk: a price above
// WarenPreisGrenze (4294967295 among them), or a type on offer at price 0
// that the rule never gives away (only types 1..3 of the resource mode and
// 98, 99 go at 0). damaged (may be null) gets 1 for each; returns their count.
uint32_t PruefeWarenMarkt(const WarenMarkt* m, uint8_t damaged[WAREN_ANZAHL]);
// Saves m as .\Data\Waren.dat (whole or not at all); 1 or 0.
int32_t SaveWarenMarkt(const WarenMarkt* m);
// The stock of the turn: loads the file, or builds and saves the stock when
// there is none and prefs field 12 is 0 (reading prefs 5, 12, 14, 19, 20
// into d). Prefs field 12 becomes 1 (and a cleared special type is written
// to prefs field 14) only once the file is on disk; *goods_count gets the
// number of types on offer only on that first build of the turn. Returns
// the number of types on offer.
uint32_t PrepareWarenMarkt(WarenMarktDaten* d, WarenMarkt* m, uint32_t* goods_count);

// What the market rule reads of the realm, from the turn's chunks (host
// order, as LoadChunk2Mem gives them; any may be null or too short, its
// fields then count as 0): LAND inhabitants (+14) and the resource test
// (signed +38, +42, +46, at least one >= 1), FORS research levels (+15..+21),
// TAXE levy (u32 +22, limited to 65,535), buildings 20 and 26 of the active
// town (null: neither stands), and the resource values v1..v3 (prefs fields
// 21..23). Every field is set: the prefs fields of the stock build
// (PrepareWarenMarkt reads them) are 0 and the random source is Zufall (a
// test sets its own after this call).
struct st_TOWN;
void FillWarenMarktDaten(WarenMarktDaten* d, const void* land, const void* fors, const void* taxe,
                         const st_TOWN* town, int32_t v1, int32_t v2, int32_t v3);

// ---- the goods list (list type 7 of WarenListenEntry, routinen/gamedata/entities.h) ----

struct ListHeader;
struct WarenListenEntry;

// Record kinds of the goods list.
enum : uint16_t { WARE_ANGEBOT = 0, WARE_FREMD = 2, WARE_LAGER = 5 };

// The n-th node (from 0) among the nodes of the kind, in list order; null
// when there is none.
WarenListenEntry* FindWarenNode(ListHeader* list, uint32_t n, uint16_t kind);
// Number of nodes of the kind.
uint32_t CountWarenNodes(ListHeader* list, uint16_t kind);
// Adds goods to the list (docs/goods.md, "The goods list"): kind 5 into the
// store (merged into the store node of the type), kind 0 a new sale offer
// taken from the store (corn from the granary), any other kind a new node.
// 1 on success; 0 when memory runs out, the type is unknown, or a sale asks
// more than the store holds (nothing changed then).
int32_t AddWare2List(ListHeader* list, uint16_t kind, uint32_t type, uint32_t quantity, uint32_t price);

// Line texts of the market's lists, one 80-byte line per node of the mode's
// kind in list order: 1 seller's name (kind 2; players: list type 1, may be
// null), 2 goods name (kind 2), 3 quantity "%lu" or "%lu/(%lu)" with the
// own bid quantity, 4 price the same with the own bid price (kind 2), 5 the
// own offer "%s ( %lu %s %lu GS )" (kind 0). A new block (FreeVec) and
// *count; null with *count 0 when there is no such node, an unknown mode,
// or no memory (logged).
char* MakeWarenLines(ListHeader* list, uint32_t mode, ListHeader* players, uint32_t* count);
// 1 when an offer of another player carries the own bid (bid quantity and
// bid price both nonzero).
int32_t HatWarenGebot(const WarenListenEntry* node);
