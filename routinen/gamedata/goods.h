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
