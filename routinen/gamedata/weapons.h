// The weapon table: the 70 pieces of equipment an army part can carry
// (weapons, siege weapons, armour, shields, helmets), each named by its
// goods type, and the weapons list (list type 6) the barracks builds from
// the goods in store. Rules: docs/barracks.md.
#pragma once
#include <cstdint>

#include "routinen/system/lists.h"

enum : uint32_t { WEAPON_COUNT = 70 };

// What an item is.
enum WeaponKind : uint32_t {
  WEAPON_ONE_HAND = 0, WEAPON_TWO_HANDS = 1, WEAPON_PROJECTILE = 2, WEAPON_SIEGE = 3, WEAPON_ARMOUR = 4,
};
// The unit type of an army part (ArmeeTyp::Typ).
enum UnitType : uint32_t { UNIT_ARTILLERY = 1, UNIT_INFANTRY = 2, UNIT_CAVALRY = 3 };

// One row: equipment ID n + 1 at row n; 14 u32 fields (56 bytes).
struct WeaponDef {
  uint32_t ID;
  uint32_t Anzahl;       // 0 in the table; in a weapons list the items in store
  uint32_t goods;        // goods type (its name is the item's name)
  uint32_t damage[6];    // min and max at the first, second and third distance
  uint32_t distance[3];  // melee 1/0/0
  uint32_t spare;        // 0; in a weapons list the goods record's closing word
  uint32_t kind;         // WeaponKind
};

struct WaffenListEntry {  // list type 6
  ListNode head;
  WeaponDef def;
};

extern const WeaponDef WeaponTable[WEAPON_COUNT];
// The row of an equipment ID (1..70), null for any other.
const WeaponDef* GetWeaponDef(uint32_t id);
// The first row whose goods type is goods, null none (goods type 0 is row 52).
const WeaponDef* GetWeaponDefOfGoods(uint32_t goods);

// Item sets.
bool IsSiegeWeapon(uint32_t id);   // 9..12: one item serves 2, 3, 4 or 5 men
bool IsLance(uint32_t id);         // 49..51
bool IsHelmet(uint32_t id);
bool IsBodyArmour(uint32_t id);
bool IsShield(uint32_t id);
// The item fills both hands: kind 1 or 3, or IDs 2..5.
bool FillsBothHands(uint32_t id);
// Men one item serves (2..5 for the siege weapons 9..12, else 1).
uint32_t MenPerItem(uint32_t id);
// Items that men use of id (men / MenPerItem, rounded down).
uint32_t ItemsForMen(uint32_t id, uint32_t men);

// For each goods record of kind 5 (in store) appends a weapons-list entry:
// the first row of its goods type with Anzahl = the quantity and spare = the
// record's closing word; goods without a row make none. 1, or 0 when a list
// is missing or memory runs out.
int32_t ConvertWare2Waffe(ListHeader* goods, ListHeader* weapons);
// The weapons-list entry of an equipment ID, null none.
WaffenListEntry* FindWaffe(ListHeader* weapons, uint32_t id);
