// The weapon table against the table of record (tests/data/weapon_table.txt:
// ID, goods type, goods name, the three damage ranges, the distances and the
// kind of all 70 rows), the item sets, and the weapons list made from goods.
#include "routinen/gamedata/weapons.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/goods.h"
#include "routinen/system/lists.h"
#include "tests/support/test_support.h"

namespace {

std::vector<std::string> Cells(const std::string& line) {
  std::vector<std::string> out;
  std::stringstream s(line);
  std::string cell;
  std::getline(s, cell, '|');  // before the first bar
  while (std::getline(s, cell, '|')) {
    const size_t a = cell.find_first_not_of(' '), b = cell.find_last_not_of(' ');
    if (a != std::string::npos) out.push_back(cell.substr(a, b - a + 1));
  }
  return out;
}

void Range(const std::string& cell, uint32_t* lo, uint32_t* hi) {
  *lo = *hi = 0;
  if (cell != "-") std::sscanf(cell.c_str(), "%u-%u", lo, hi);
}

TEST(WeaponTable, EveryRowAsRecorded) {
  const auto bytes = qoe_test::ReadFileBytes(qoe_test::SourceDir() + "/routinen/gamedata/tests/data/weapon_table.txt");
  std::stringstream text(std::string(bytes.begin(), bytes.end()));
  std::string line;
  uint32_t rows = 0;
  while (std::getline(text, line)) {
    const std::vector<std::string> c = Cells(line);
    ASSERT_EQ(c.size(), 8u) << line;
    const uint32_t id = static_cast<uint32_t>(std::stoul(c[0]));
    SCOPED_TRACE(id);
    const WeaponDef* w = GetWeaponDef(id);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w, &WeaponTable[id - 1]);
    EXPECT_EQ(w->ID, id);
    EXPECT_EQ(w->Anzahl, 0u);
    EXPECT_EQ(w->goods, std::stoul(c[1]));
    EXPECT_EQ("\"" + std::string(GetWarenName(w->goods)) + "\"", c[2]);
    uint32_t lo, hi;
    for (int k = 0; k < 3; ++k) {
      Range(c[3 + k], &lo, &hi);
      EXPECT_EQ(w->damage[2 * k], lo);
      EXPECT_EQ(w->damage[2 * k + 1], hi);
    }
    uint32_t d[3] = {0, 0, 0};
    if (c[6] != "-") std::sscanf(c[6].c_str(), "%u/%u/%u", &d[0], &d[1], &d[2]);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(w->distance[k], d[k]);
    EXPECT_EQ(w->spare, 0u);
    EXPECT_EQ(w->kind, std::stoul(c[7]));
    ++rows;
  }
  EXPECT_EQ(rows, WEAPON_COUNT);
  EXPECT_EQ(GetWeaponDef(0), nullptr);
  EXPECT_EQ(GetWeaponDef(71), nullptr);
  EXPECT_EQ(sizeof(WeaponDef), 56u);
}

TEST(WeaponTable, SetsHandsAndMen) {
  for (uint32_t id = 1; id <= WEAPON_COUNT; ++id) {
    const WeaponDef* w = GetWeaponDef(id);
    EXPECT_EQ(FillsBothHands(id), w->kind == WEAPON_TWO_HANDS || w->kind == WEAPON_SIEGE || (id >= 2 && id <= 5)) << id;
    const uint32_t sets = IsHelmet(id) + IsBodyArmour(id) + IsShield(id);
    EXPECT_EQ(sets, w->kind == WEAPON_ARMOUR ? 1u : 0u) << id;  // every armour item has one slot
  }
  EXPECT_EQ(MenPerItem(9), 2u);
  EXPECT_EQ(MenPerItem(12), 5u);
  EXPECT_EQ(MenPerItem(13), 1u);
  EXPECT_EQ(ItemsForMen(9, 51), 25u);
  EXPECT_EQ(ItemsForMen(12, 4), 0u);
  EXPECT_EQ(ItemsForMen(27, 40), 40u);
  EXPECT_TRUE(IsLance(49) && IsLance(51) && !IsLance(48));
  EXPECT_EQ(GetWeaponDefOfGoods(0)->ID, 52u);
  EXPECT_EQ(GetWeaponDefOfGoods(23)->ID, 27u);
  EXPECT_EQ(GetWeaponDefOfGoods(1), nullptr);
}

WarenListenEntry* Goods(ListHeader* list, uint16_t kind, uint32_t type, uint32_t quantity, uint16_t closing) {
  auto* g = reinterpret_cast<WarenListenEntry*>(AllocListNode(list));
  g->kind = kind;
  g->goods = type;
  g->quantity = quantity;
  g->closing = closing;
  AddNode(list, &g->head, LN_TAIL, 0);
  return g;
}

TEST(WeaponTable, ConvertWare2WaffeTakesStoreRecordsWithARow) {
  RegisterGameDataListTypes();
  ListHeader* goods = CreateList(LIST_GOODS);
  ListHeader* weapons = CreateList(LIST_WEAPONS);
  ASSERT_NE(weapons, nullptr);
  Goods(goods, 5, 23, 120, 4);   // short swords
  Goods(goods, 0, 23, 30, 0);    // an own offer: not in store
  Goods(goods, 5, 98, 900, 0);   // wood: no weapon
  Goods(goods, 5, 0, 5000, 9);   // corn: row 52
  Goods(goods, 5, 200, 5, 0);    // no goods type at all
  Goods(goods, 5, 7, 25, 0);     // small ballistas
  ASSERT_EQ(ConvertWare2Waffe(goods, weapons), 1);
  ASSERT_EQ(weapons->count, 3u);
  const WaffenListEntry* w = FindWaffe(weapons, 27);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->def.Anzahl, 120u);
  EXPECT_EQ(w->def.spare, 4u);
  EXPECT_EQ(w->def.damage[1], 6u);
  EXPECT_EQ(FindWaffe(weapons, 52)->def.Anzahl, 5000u);
  EXPECT_EQ(FindWaffe(weapons, 52)->def.spare, 9u);
  EXPECT_EQ(FindWaffe(weapons, 9)->def.Anzahl, 25u);
  EXPECT_EQ(FindWaffe(weapons, 53), nullptr);
  EXPECT_EQ(ConvertWare2Waffe(nullptr, weapons), 0);
  DeleteList(goods, 0);
  DeleteList(weapons, 0);
}

}  // namespace
