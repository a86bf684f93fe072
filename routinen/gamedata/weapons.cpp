// The weapon table and the weapons list. See weapons.h.
#include "weapons.h"

#include "entities.h"
#include "platform/log.h"

// ID, Anzahl, goods type, damage 1 min/max, 2 min/max, 3 min/max, three
// distances, spare, kind.
const WeaponDef WeaponTable[WEAPON_COUNT] = {
    {1, 0, 42, {1, 6, 1, 4, 1, 2}, {2, 4, 6}, 0, 2},  // "crossbow, small"
    {2, 0, 43, {2, 8, 1, 6, 1, 4}, {3, 5, 8}, 0, 2},  // "crossbow, big"
    {3, 0, 44, {1, 5, 1, 4, 1, 3}, {2, 4, 6}, 0, 2},  // "shortbow"
    {4, 0, 45, {1, 6, 1, 6, 1, 5}, {4, 7, 10}, 0, 2},  // "longbow"
    {5, 0, 46, {2, 7, 1, 6, 1, 4}, {3, 5, 8}, 0, 2},  // "compound bow"
    {6, 0, 47, {1, 3, 1, 3, 1, 2}, {1, 2, 4}, 0, 2},  // "sling"
    {7, 0, 48, {1, 4, 1, 3, 1, 2}, {1, 2, 3}, 0, 2},  // "dart"
    {8, 0, 49, {1, 8, 1, 6, 1, 4}, {2, 3, 4}, 0, 2},  // "javelin"
    {9, 0, 7, {10, 25, 8, 20, 6, 18}, {4, 6, 8}, 0, 3},  // "ballista, small"
    {10, 0, 8, {20, 40, 15, 30, 10, 25}, {5, 7, 9}, 0, 3},  // "ballista, big"
    {11, 0, 9, {15, 40, 10, 30, 5, 25}, {3, 5, 6}, 0, 3},  // "catapult"
    {12, 0, 81, {30, 50, 30, 40, 20, 30}, {3, 4, 5}, 0, 3},  // "war catapult"
    {13, 0, 10, {0, 0, 0, 0, 0, 0}, {0, 0, 0}, 0, 4},  // "helmet"
    {14, 0, 11, {0, 0, 0, 0, 0, 0}, {0, 0, 0}, 0, 4},  // "leather armour"
    {15, 0, 12, {0, 0, 0, 0, 0, 0}, {0, 0, 0}, 0, 4},  // "tunic"
    {16, 0, 13, {0, 0, 0, 0, 0, 0}, {0, 0, 0}, 0, 4},  // "chain-mail"
    {17, 0, 14, {0, 0, 0, 0, 0, 0}, {0, 0, 0}, 0, 4},  // "chain-armour"
    {18, 0, 80, {0, 0, 0, 0, 0, 0}, {0, 0, 0}, 0, 4},  // "ring-armour"
    {19, 0, 15, {0, 0, 0, 0, 0, 0}, {0, 0, 0}, 0, 4},  // "scale-armour"
    {20, 0, 16, {0, 0, 0, 0, 0, 0}, {0, 0, 0}, 0, 4},  // "plate-armour"
    {21, 0, 17, {0, 0, 0, 0, 0, 0}, {0, 0, 0}, 0, 4},  // "tarke"
    {22, 0, 18, {0, 0, 0, 0, 0, 0}, {0, 0, 0}, 0, 4},  // "wooden shield"
    {23, 0, 19, {0, 0, 0, 0, 0, 0}, {0, 0, 0}, 0, 4},  // "battle shield"
    {24, 0, 20, {0, 0, 0, 0, 0, 0}, {0, 0, 0}, 0, 4},  // "war shield"
    {25, 0, 21, {1, 4, 0, 0, 0, 0}, {1, 0, 0}, 0, 0},  // "dagger"
    {26, 0, 22, {2, 6, 0, 0, 0, 0}, {1, 0, 0}, 0, 0},  // "axe"
    {27, 0, 23, {1, 6, 0, 0, 0, 0}, {1, 0, 0}, 0, 0},  // "short sword"
    {28, 0, 24, {2, 7, 0, 0, 0, 0}, {1, 0, 0}, 0, 0},  // "broadsword"
    {29, 0, 25, {2, 8, 0, 0, 0, 0}, {1, 0, 0}, 0, 0},  // "bastard sword"
    {30, 0, 26, {1, 8, 0, 0, 0, 0}, {1, 0, 0}, 0, 0},  // "longsword"
    {31, 0, 33, {1, 8, 0, 0, 0, 0}, {1, 0, 0}, 0, 0},  // "battle axe"
    {32, 0, 28, {2, 7, 0, 0, 0, 0}, {1, 0, 0}, 0, 0},  // "war axe"
    {33, 0, 29, {2, 6, 0, 0, 0, 0}, {1, 0, 0}, 0, 0},  // "war hammer"
    {34, 0, 30, {1, 6, 0, 0, 0, 0}, {1, 0, 0}, 0, 0},  // "cudgel, small"
    {35, 0, 31, {2, 7, 0, 0, 0, 0}, {1, 0, 0}, 0, 0},  // "cudgel, big"
    {36, 0, 32, {2, 5, 0, 0, 0, 0}, {1, 0, 0}, 0, 0},  // "sabre/saber"
    {37, 0, 35, {2, 5, 0, 0, 0, 0}, {1, 0, 0}, 0, 0},  // "club"
    {38, 0, 34, {1, 5, 0, 0, 0, 0}, {1, 0, 0}, 0, 0},  // "mace"
    {39, 0, 41, {1, 7, 0, 0, 0, 0}, {1, 0, 0}, 0, 0},  // "spear"
    {40, 0, 74, {2, 6, 0, 0, 0, 0}, {1, 0, 0}, 0, 0},  // "army sword"
    {41, 0, 75, {1, 8, 0, 0, 0, 0}, {1, 0, 0}, 0, 0},  // "northern sword"
    {42, 0, 76, {2, 9, 0, 0, 0, 0}, {1, 0, 0}, 0, 0},  // "barbarian sword"
    {43, 0, 27, {2, 10, 0, 0, 0, 0}, {1, 0, 0}, 0, 1},  // "claymore"
    {44, 0, 77, {1, 10, 0, 0, 0, 0}, {1, 0, 0}, 0, 1},  // "two handed sword"
    {45, 0, 78, {1, 6, 0, 0, 0, 0}, {1, 0, 0}, 0, 1},  // "trident"
    {46, 0, 79, {1, 4, 0, 0, 0, 0}, {1, 0, 0}, 0, 1},  // "horse-breaker"
    {47, 0, 40, {2, 5, 0, 0, 0, 0}, {1, 0, 0}, 0, 1},  // "war scythe"
    {48, 0, 36, {1, 12, 0, 0, 0, 0}, {1, 0, 0}, 0, 1},  // "halberd"
    {49, 0, 37, {1, 15, 0, 0, 0, 0}, {1, 0, 0}, 0, 0},  // "lance, short"
    {50, 0, 38, {1, 20, 0, 0, 0, 0}, {1, 0, 0}, 0, 0},  // "lance, medium"
    {51, 0, 39, {1, 25, 0, 0, 0, 0}, {1, 0, 0}, 0, 0},  // "lance, long"
    {52, 0, 0, {1, 16, 0, 0, 0, 0}, {1, 0, 0}, 0, 2},  // "corn"
    {53, 0, 0, {10, 35, 0, 0, 0, 0}, {1, 0, 0}, 0, 0},  // "corn"
    {54, 0, 0, {7, 25, 0, 0, 0, 0}, {1, 0, 0}, 0, 0},  // "corn"
    {55, 0, 100, {3, 6, 0, 0, 0, 0}, {1, 0, 0}, 0, 0},  // "Gundhalm"
    {56, 0, 101, {3, 11, 0, 0, 0, 0}, {1, 0, 0}, 0, 1},  // "Velgrin"
    {57, 0, 102, {3, 8, 0, 0, 0, 0}, {1, 0, 0}, 0, 1},  // "Dragon Axe"
    {58, 0, 103, {0, 0, 0, 0, 0, 0}, {0, 0, 0}, 0, 4},  // "Elven helmet"
    {59, 0, 104, {0, 0, 0, 0, 0, 0}, {0, 0, 0}, 0, 4},  // "Elven shield"
    {60, 0, 105, {2, 9, 0, 0, 0, 0}, {1, 0, 0}, 0, 0},  // "Elven sword"
    {61, 0, 106, {0, 0, 0, 0, 0, 0}, {0, 0, 0}, 0, 4},  // "Frog's helmet"
    {62, 0, 107, {4, 7, 0, 0, 0, 0}, {1, 0, 0}, 0, 0},  // "Hand of God"
    {63, 0, 108, {0, 0, 0, 0, 0, 0}, {0, 0, 0}, 0, 4},  // "War helmet"
    {64, 0, 109, {0, 0, 0, 0, 0, 0}, {0, 0, 0}, 0, 4},  // "Knight's helmet"
    {65, 0, 110, {0, 0, 0, 0, 0, 0}, {0, 0, 0}, 0, 4},  // "Knight's armour"
    {66, 0, 111, {0, 0, 0, 0, 0, 0}, {0, 0, 0}, 0, 4},  // "Torvik's helmet"
    {67, 0, 112, {0, 0, 0, 0, 0, 0}, {0, 0, 0}, 0, 4},  // "Turney helmet"
    {68, 0, 113, {0, 0, 0, 0, 0, 0}, {0, 0, 0}, 0, 4},  // "Dwarven helmet"
    {69, 0, 114, {0, 0, 0, 0, 0, 0}, {0, 0, 0}, 0, 4},  // "Dwarven armour"
    {70, 0, 115, {3, 8, 0, 0, 0, 0}, {1, 0, 0}, 0, 0},  // "Dwarven sword"
};

const WeaponDef* GetWeaponDef(uint32_t id) { return id >= 1 && id <= WEAPON_COUNT ? &WeaponTable[id - 1] : nullptr; }

const WeaponDef* GetWeaponDefOfGoods(uint32_t goods) {
  for (const WeaponDef& w : WeaponTable)
    if (w.goods == goods) return &w;
  return nullptr;
}

bool IsSiegeWeapon(uint32_t id) { return id >= 9 && id <= 12; }
bool IsLance(uint32_t id) { return id >= 49 && id <= 51; }
bool IsHelmet(uint32_t id) {
  switch (id) {
    case 13: case 58: case 61: case 63: case 64: case 66: case 67: case 68: return true;
    default: return false;
  }
}
bool IsBodyArmour(uint32_t id) { return (id >= 14 && id <= 20) || id == 65 || id == 69; }
bool IsShield(uint32_t id) { return (id >= 21 && id <= 24) || id == 59; }

bool FillsBothHands(uint32_t id) {
  const WeaponDef* w = GetWeaponDef(id);
  return w && (w->kind == WEAPON_TWO_HANDS || w->kind == WEAPON_SIEGE || (id >= 2 && id <= 5));
}

uint32_t MenPerItem(uint32_t id) { return IsSiegeWeapon(id) ? id - 7 : 1; }
uint32_t ItemsForMen(uint32_t id, uint32_t men) { return men / MenPerItem(id); }

WaffenListEntry* FindWaffe(ListHeader* weapons, uint32_t id) {
  if (!weapons) return nullptr;
  ListNode* n = weapons->first;
  for (uint32_t i = 0; i < weapons->count; ++i, n = n->next) {
    auto* w = reinterpret_cast<WaffenListEntry*>(n);
    if (w->def.ID == id) return w;
  }
  return nullptr;
}

int32_t ConvertWare2Waffe(ListHeader* goods, ListHeader* weapons) {
  if (!goods || !weapons) return 0;
  ListNode* n = goods->first;
  for (uint32_t i = 0; i < goods->count; ++i, n = n->next) {
    const auto* g = reinterpret_cast<const WarenListenEntry*>(n);
    if (g->kind != 5) continue;
    const WeaponDef* row = GetWeaponDefOfGoods(g->goods);
    if (!row) continue;
    auto* w = reinterpret_cast<WaffenListEntry*>(AllocListNode(weapons));
    if (!w) {
      DebugLog("ConvertWare2Waffe: Kein Speicher fuer WaffenNode!\n");
      return 0;
    }
    w->def = *row;
    w->def.Anzahl = g->quantity;
    w->def.spare = g->closing;
    AddNode(weapons, &w->head, LN_TAIL, 0);
  }
  return 1;
}
