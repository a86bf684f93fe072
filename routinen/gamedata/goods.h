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
// Saves m as .\Data\Waren.dat (whole or not at all); 1 or 0.
int32_t SaveWarenMarkt(const WarenMarkt* m);
// The stock of the turn: loads the file, or builds and saves the stock when
// there is none and prefs field 12 is 0 (reading prefs 5, 12, 14, 19, 20
// into d). Prefs field 12 becomes 1 (and a cleared special type is written
// to prefs field 14) only once the file is on disk; *goods_count gets the
// number of types on offer only on that first build of the turn. Returns
// the number of types on offer.
uint32_t PrepareWarenMarkt(WarenMarktDaten* d, WarenMarkt* m, uint32_t* goods_count);
