#include "routinen/gamedata/goods.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <sstream>
#include <string>

#include "routinen/system/catalog.h"
#include "tests/support/test_support.h"

namespace {

// Every row of the table and its name entry against the reference listing.
TEST(GoodsTable, RowsAndNamesMatchReferenceListing) {
  auto bytes = qoe_test::ReadFileBytes(qoe_test::SourceDir() + "/routinen/gamedata/tests/data/goods_table.txt");
  ASSERT_FALSE(bytes.empty());
  std::istringstream in(std::string(bytes.begin(), bytes.end()));
  std::string line;
  uint32_t rows = 0;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream f(line);
    uint32_t type = 0, id = 0;
    int32_t v[13];
    f >> type >> id;
    for (int32_t& x : v) f >> x;
    ASSERT_FALSE(f.fail()) << line;
    ASSERT_EQ(type, rows) << line;
    ASSERT_NE(GetWarenZeile(type), nullptr);
    EXPECT_EQ(0, std::memcmp(v, &WarenTabelle[type], sizeof v)) << "row " << type;
    EXPECT_EQ(WarenNamen[type]->id, id) << "name of " << type;
    EXPECT_STREQ(GetWarenName(type), CatalogStrings[id].text);
    ++rows;
  }
  EXPECT_EQ(rows, uint32_t(WAREN_ANZAHL));
}

// Signed and unsigned readers of the table agree only while every value is >= 0.
TEST(GoodsTable, EveryValueIsNonNegativeAndLevelsAtMostEight) {
  for (uint32_t g = 0; g < WAREN_ANZAHL; ++g) {
    const int32_t* v = &WarenTabelle[g].divisor;
    for (int i = 0; i < 13; ++i) EXPECT_GE(v[i], 0) << "type " << g << " value " << i;
    for (int32_t l : WarenTabelle[g].level) EXPECT_LE(l, 8);
  }
}

TEST(GoodsTable, NamesOfTheLegendaryItemsAndUnknownTypes) {
  EXPECT_STREQ(GetWarenName(0), "corn");
  EXPECT_STREQ(GetWarenName(100), "Gundhalm");
  EXPECT_STREQ(GetWarenName(101), "Velgrin");
  EXPECT_STREQ(GetWarenName(111), "Torvik's helmet");
  EXPECT_STREQ(GetWarenName(115), "Dwarven sword");
  EXPECT_STREQ(GetWarenName(116), "unknown good");
  EXPECT_STREQ(GetWarenName(0xFFFFFFFFu), "unknown good");
  EXPECT_EQ(GetWarenZeile(116), nullptr);
  EXPECT_EQ(IsWarenTyp(115), 1);
  EXPECT_EQ(IsWarenTyp(116), 0);
}

struct PriceCase {
  uint32_t type, base;
  int32_t a, b, c;
  uint32_t price;
};

TEST(GoodsPrice, CalcWarePreisRule) {
  const PriceCase cases[] = {
      {7, 150, 0, 0, 0, 300},      // w = 0: base + base
      {7, 150, 0, 50, 0, 75},      // w > 0: base x (100 - w) / 100
      {7, 150, 0, 200, 0, 15},     // w clamped at 90
      {7, 150, 0, -50, 0, 225},    // w < 0: base + base x (w + 100) / 100
      {7, 150, 0, -200, 0, 165},   // w clamped at -90
      {7, 150, 99, 0, 99, 300},    // W1 and W3 of type 7 are 0
      {10, 5, 0, 0, 10, 4},        // W3 counts twice
      {21, 1, 0, 0, 45, 1},        // 0 becomes 1
      {83, 100, 0, 0, 0, 100},     // luxury goods are halved
      {90, 100, 0, 10, 5, 10},     // oil: divided by 8 instead
      {92, 100, 0, 0, 0, 20},      // furs: halved and divided by 5
      {92, 3, 0, 0, 0, 1},
      {116, 100, 0, 0, 0, 0},      // unknown types are never priced
      {0xFFFFFFFFu, 100, 0, 0, 0, 0},
      // Large resource values: the weighted sum saturates at the clamp, not wraps.
      {42, 20, INT_MAX, INT_MAX, INT_MAX, 2},
      {42, 20, INT_MIN, INT_MIN, INT_MIN, 22},
      {7, 0xFFFFFFFFu, 0, -1000, 0, 0xFFFFFFFFu},
  };
  for (const PriceCase& k : cases)
    EXPECT_EQ(CalcWarePreis(k.type, k.base, k.a, k.b, k.c), k.price)
        << "type " << k.type << " base " << k.base << " " << k.a << "/" << k.b << "/" << k.c;
  for (uint32_t g = 82; g <= 97; ++g)
    EXPECT_EQ(CalcWarePreis(g, 100, 0, 0, 0), g == 90 ? 25u : g == 92 ? 20u : 100u) << g;
}

}  // namespace
