// The gadget census: the targets a walk may click carry their gadget's ID and
// how many handling rounds ago their layout was handled, so a script clicks
// a gadget by its ID on the layout the game handles now.
#include "routinen/gui/census.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "routinen/gui/layout.h"
#include "tests/support/test_support.h"

TEST(GadgetCensus, TargetsCarryTheGadgetsIdAndTheirLayoutsAge) {
  const std::vector<uint8_t> raw =
      qoe_test::ReadFileBytes(qoe_test::BinaryDir() + "/datakit/Data/Screendat/TestScreen.dat");
  ASSERT_FALSE(raw.empty());
  ScreenRegion* older = ParseScreenRegion(raw.data(), (uint32_t)raw.size(), 3);
  ScreenRegion* newer = ParseScreenRegion(raw.data(), (uint32_t)raw.size(), 3);
  ASSERT_NE(older, nullptr);
  ASSERT_NE(newer, nullptr);
  SetGadgetCensus(1);
  CensusRegionLoaded(older, ".\\Data\\Screendat\\Older.dat");
  CensusRegionLoaded(newer, ".\\Data\\Screendat\\Newer.dat");
  CensusRegionHandled(older, nullptr);
  CensusRegionHandled(newer, nullptr);
  CensusTarget t[64];
  const uint32_t n = CensusTargets(t, 64);
  ASSERT_EQ(n, 8u);  // four gadgets in each
  uint32_t exits = 0;
  for (uint32_t i = 0; i < n; ++i) {
    if (std::strcmp(t[i].id, "EXIT") != 0) continue;
    ++exits;
    EXPECT_EQ(t[i].x1, 560);
    EXPECT_EQ(t[i].age, i < 4 ? 1u : 0u) << i;  // the older layout first
  }
  EXPECT_EQ(exits, 2u);
  CensusRegionFreed(older);
  CensusRegionFreed(newer);
  SetGadgetCensus(0);
  FreeScreenRegion(older);
  FreeScreenRegion(newer);
}
