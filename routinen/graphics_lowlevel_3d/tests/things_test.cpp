// The thing store: index codes, growth with the old contents kept, the end
// position, drops, counts, name search and the table's limit.
#include <cstring>

#include "routinen/graphics_lowlevel_3d/tests/engine_fixture.h"
#include "routinen/system/memory.h"

namespace {

using ThingStore = enginetest::EngineData;
constexpr uint16_t kKey = 4711;

struct Named {
  char name[40];
  uint32_t value;
};

TEST_F(ThingStore, AppendToAFullArrayGrowsByHalfAndKeepsTheContents) {
  ASSERT_EQ(SetThing("INTS", kKey, 4, 3000), 1u);
  for (uint32_t i = 0; i < 3000; i++) {
    auto* p = static_cast<uint32_t*>(GetThing(kKey, kThingAppend));
    ASSERT_NE(p, nullptr);
    *p = i * 7;
  }
  EXPECT_EQ(FindThingSlot(kKey)->capacity, 3000u);
  EXPECT_EQ(GetThingCount(kKey, kThingAppend), 3000u);  // the count before the append
  const ThingSlot* t = FindThingSlot(kKey);
  EXPECT_EQ(t->capacity, 4500u);
  EXPECT_EQ(t->count, 3001u);
  EXPECT_EQ(ThingLastIndex(), 3000u);
  EXPECT_EQ(ThingLastOffset(), 12000u);
  EXPECT_EQ(*static_cast<uint32_t*>(GetThing(kKey, kThingCurrent)), 0u);  // a cleared element
  EXPECT_TRUE(Logged("GetThing: Zuviele Eintr\xe4ge, versuche Speicher um 50 % zu erh\xf6hen."));
  for (uint32_t i = 0; i < 3000; i++) ASSERT_EQ(*static_cast<uint32_t*>(GetThing(kKey, int32_t(i))), i * 7);
}

TEST_F(ThingStore, TinyCapacitiesGrowOneByOneAndPointersAreResolvedAgain) {
  ASSERT_EQ(SetThing("ONE", kKey, 8, 1), 1u);
  uint64_t* first = static_cast<uint64_t*>(GetThing(kKey, kThingAppend));
  *first = 0x1111;
  uint64_t* second = static_cast<uint64_t*>(GetThing(kKey, kThingAppend));  // 1 -> 2
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(FindThingSlot(kKey)->capacity, 2u);
  *second = 0x2222;
  GetThing(kKey, kThingAppend);  // 2 -> 3
  GetThing(kKey, kThingAppend);  // 3 -> 4
  GetThing(kKey, kThingAppend);  // 4 -> 6
  EXPECT_EQ(FindThingSlot(kKey)->capacity, 6u);
  EXPECT_EQ(*static_cast<uint64_t*>(GetThing(kKey, 0)), 0x1111u);
  EXPECT_EQ(*static_cast<uint64_t*>(GetThing(kKey, 1)), 0x2222u);

  // Faces keep texture pointers: when the texture store moves, they follow.
  FreeAllThings();
  ASSERT_EQ(SetThing("TEXTURE3D", THING_TEXTURE3D, sizeof(TEXTURE3D), 1), 1u);
  ASSERT_EQ(SetThing("FACE3D", THING_FACE3D, sizeof(FACE3D), 4), 1u);
  Engine()->mipmapping = 0;
  ASSERT_EQ(CreateTexture("", "", 4, 4, 24, "first", nullptr), 0);
  auto* face = static_cast<FACE3D*>(GetThing(THING_FACE3D, kThingAppend));
  face->texture_index = 0;
  face->texture = static_cast<TEXTURE3D*>(GetThing(THING_TEXTURE3D, 0));
  ASSERT_EQ(CreateTexture("", "", 4, 4, 24, "second", nullptr), 1);  // grows 1 -> 2: the store moves
  face = static_cast<FACE3D*>(GetThing(THING_FACE3D, 0));
  EXPECT_EQ(face->texture, GetThing(THING_TEXTURE3D, 0));
  EXPECT_STREQ(face->texture->name, "first");
}

TEST_F(ThingStore, IndexCodesAndTheEndPosition) {
  ASSERT_EQ(SetThing("BYTES", kKey, 2, 10), 1u);
  uint8_t* base = static_cast<uint8_t*>(GetThing(kKey, kThingBase));
  for (int i = 0; i < 5; i++) GetThing(kKey, kThingAppend);
  EXPECT_EQ(GetThing(kKey, 5), base + 10);  // index = count: the end position
  EXPECT_EQ(GetThing(kKey, 6), nullptr);
  EXPECT_TRUE(Logged("GetThing: Fehelrhafte Parameter."));
  EXPECT_EQ(GetThing(kKey, -2), nullptr);
  EXPECT_EQ(GetThingCount(kKey, kThingBase), 5u);
  EXPECT_EQ(GetThing(kKey, kThingCurrent), base + 8);
  EXPECT_EQ(GetThing(kKey, kThingBaseToo), base);
  EXPECT_EQ(GetThing(kKey, kThingSecond), base);
  EXPECT_EQ(GetThing(kKey, kThingRewind), nullptr);
  EXPECT_EQ(GetThing(kKey, kThingCurrent), base);
  // Drop the last: the new last element.
  EXPECT_EQ(GetThing(kKey, kThingDropLast), base + 6);
  EXPECT_EQ(GetThingCount(kKey, kThingBase), 4u);
  // Reset keeps the data; the count starts again.
  EXPECT_EQ(GetThing(kKey, kThingReset), base);
  EXPECT_EQ(GetThingCount(kKey, kThingBase), 0u);
  EXPECT_EQ(ThingLastIndex(), 0u);
  EXPECT_EQ(GetThing(kKey, kThingCurrent), nullptr);  // nothing appended since
  // Dropping from an empty array: null, count 0.
  EXPECT_EQ(GetThing(kKey, kThingDropLast), nullptr);
  EXPECT_EQ(GetThingCount(kKey, kThingBase), 0u);
  // Dropping the only element leaves none to point at.
  GetThing(kKey, kThingAppend);
  EXPECT_EQ(GetThing(kKey, kThingDropLast), nullptr);
  EXPECT_EQ(GetThingCount(kKey, kThingBase), 0u);
  // Free: data gone, count and capacity stay; element fetches give null.
  GetThing(kKey, kThingAppend);
  EXPECT_EQ(GetThing(kKey, kThingFree), nullptr);
  EXPECT_EQ(FindThingSlot(kKey)->capacity, 10u);
  EXPECT_EQ(GetThingCount(kKey, kThingBase), 1u);
  EXPECT_EQ(GetThing(kKey, 0), nullptr);
  EXPECT_EQ(GetThing(kKey, kThingAppend), nullptr);
  // Unknown keys.
  EXPECT_EQ(GetThing(1, 0), nullptr);
  EXPECT_TRUE(Logged("GetThing: Key nicht gefunden."));
  EXPECT_EQ(GetThingSize(1, 3), 0u);
  EXPECT_TRUE(Logged("GetThingSize: Key nicht gefunden."));
  EXPECT_EQ(GetThingSize(kKey, 3), 6u);
  EXPECT_EQ(ThingLastOffset(), 6u);
}

TEST_F(ThingStore, NamesSlotsAndFailedGrowth) {
  ASSERT_EQ(SetThing("NAMED", kKey, sizeof(Named), 4), 1u);
  for (const char* n : {"alpha", "beta", "gamma"}) {
    auto* e = static_cast<Named*>(GetThing(kKey, kThingAppend));
    std::strcpy(e->name, n);
  }
  EXPECT_EQ(FindThingByName(kKey, "beta"), 1u);
  EXPECT_EQ(ThingLastIndex(), 1u);
  EXPECT_EQ(FindThingByName(kKey, "bet"), kThingNotFound);  // whole names only
  EXPECT_EQ(FindThingByName(kKey, "delta"), kThingNotFound);
  EXPECT_EQ(ThingLastIndex(), kThingNotFound);
  GetThing(kKey, kThingReset);
  EXPECT_EQ(FindThingByName(kKey, "alpha"), kThingNotFound);  // empty: no element 0 either

  // Long names are cut at 39 characters.
  const char* longname = "A_name_that_runs_on_far_beyond_forty_characters";
  ASSERT_EQ(SetThing(longname, 2, 1, 1), 1u);
  EXPECT_EQ(std::strlen(FindThingSlot(2)->name), 39u);
  EXPECT_EQ(std::strncmp(FindThingSlot(2)->name, longname, 39), 0);

  // A growth that fails leaves the array and its count as they were.
  ASSERT_EQ(SetThing("FULL", 3, 4, 2), 1u);
  *static_cast<uint32_t*>(GetThing(3, kThingAppend)) = 5;
  *static_cast<uint32_t*>(GetThing(3, kThingAppend)) = 6;
  AllocVecFailAfter(0);
  EXPECT_EQ(GetThing(3, kThingAppend), nullptr);
  AllocVecFailAfter(-1);
  EXPECT_TRUE(Logged("GetThing: Realloc Fehlgeschlagen."));
  EXPECT_EQ(GetThingCount(3, kThingBase), 2u);
  EXPECT_EQ(*static_cast<uint32_t*>(GetThing(3, 1)), 6u);

  EXPECT_EQ(SetThing("ZERO", 4, 4, 0), 0u);
  EXPECT_TRUE(Logged("SetThing: Paramter \xdc" "bergabe Fehlerhaft."));
  EXPECT_EQ(ReallocThing(30), 0u);
  // Fill the table to 30 slots; the 31st fails.
  uint32_t added = 0;
  for (uint16_t k = 10; k < 100 && SetThing("X", k, 1, 1); k++) added++;
  EXPECT_EQ(added, 27u);  // three slots were in use
  EXPECT_EQ(SetThing("THIRTYFIRST", 500, 1, 1), 0u);
  EXPECT_TRUE(Logged("SetThing: Kein Platz mehr im Array."));
}

TEST_F(ThingStore, EngineStoresRegisterWithTheirCapacitiesAndClear) {
  ASSERT_EQ(RegisterEngineThings(), 1u);
  EXPECT_EQ(FindThingSlot(THING_VERTEXCHANGE3D)->capacity, 1600000u);
  EXPECT_EQ(FindThingSlot(THING_SELECT3D)->capacity, 100000u);
  EXPECT_EQ(FindThingSlot(THING_ELEMENT3D)->capacity, 1000u);
  EXPECT_EQ(FindThingSlot(THING_SORTTMP)->capacity, 80000u);
  EXPECT_STREQ(FindThingSlot(THING_TRIPINDEX3D)->name, "TRIPINDEX3D");
  EXPECT_EQ(FindThingSlot(THING_POINT3D)->element_size, 24u);
  Engine()->mipmapping = 0;
  ASSERT_EQ(CreateTexture("", "", 8, 8, 32, "t", nullptr), 0);
  GetThing(THING_FACE3D, kThingAppend);
  ClearThings(kThingReset);
  EXPECT_EQ(GetThingCount(THING_FACE3D, kThingBase), 0u);
  EXPECT_EQ(GetThingCount(THING_TEXTURE3D, kThingBase), 0u);
  ClearThings(kThingFree);
  EXPECT_EQ(FindThingSlot(THING_POINT3D)->data, nullptr);
}

}  // namespace
