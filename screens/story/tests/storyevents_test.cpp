// The story dice and effects on small realms: every step, its order, its
// writes to towns, KORN, LAND and the story prefs, and the page marks.
#include "screens/story/storyevents.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/towns.h"
#include "routinen/gamedata/turns.h"
#include "routinen/system/memory.h"
#include "routinen/system/prefs.h"
#include "routinen/system/sysrecords.h"
#include "tests/support/test_support.h"
#include "tools/turnbuilder/turnbuilder.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kPlayer = 31;
uint32_t g_roll = 100;
uint32_t ScriptedRoll(uint32_t) { return g_roll; }

struct TownSpec {
  const char* name;
  uint32_t population;
  std::vector<uint32_t> buildings;
};

class Story : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories("Data/POP3In");
    fs::create_directories("Data/POP3Out");
    fs::create_directories("Data/Cities");
    *OwnPlayerPtr = OwnPlayer{};
    SetGameDataOwner(kPlayer, "Lord");
    SetStoryDice(ScriptedRoll);
    g_roll = 100;
    // The introduction has been told; dice that pick nothing by default.
    RizizOzezPrefs(2, 1, 1);
    CheckPrefs(PREFS_DICE1, 1, 200);
    CheckPrefs(PREFS_DICE2, 1, 50);
    CheckPrefs(PREFS_STORY_THRESHOLD, 1, 200);
    Land(100, 0, 1000);
  }
  void TearDown() override {
    SetStoryDice(nullptr);
    SetGameDataOwner(0, nullptr);
  }
  // Towns: Town.list, town files and the received TOWN chunk.
  void Towns(const std::vector<TownSpec>& towns) {
    std::vector<TownListEntry> list;
    uint8_t* c = AllocChunk("TOWN", "V001", 2 + 92 * (uint32_t)towns.size());
    ChunkPut16(c, 12, (uint16_t)towns.size());
    for (uint32_t i = 0; i < towns.size(); i++) {
      st_TOWN* t = CreateTown(i + 1, towns[i].name, 100 + i, 200);
      t->population = towns[i].population;
      for (uint32_t b : towns[i].buildings) t->buildings[b].flags = BUILDING_STANDS;
      ASSERT_EQ(SaveTown(t), 1);
      FreeVec(t);
      TownListEntry e{};
      e.id = i + 1;
      std::strcpy(e.name, towns[i].name);
      list.push_back(e);
      ChunkPut32(c, 14 + 92 * i, i + 1);
      std::strcpy(reinterpret_cast<char*>(c + 14 + 92 * i + 4), towns[i].name);
    }
    ASSERT_EQ(WriteTownList(list.data(), (uint32_t)list.size()), 1);
    ASSERT_EQ(AddChunkPool(c, ReceivedPoolPath), 1);
    FreeChunk(c);
    OwnPlayerPtr->ActiveTown = 1;
  }
  void Land(uint32_t faith, uint16_t points, uint32_t gold) {
    uint8_t* c = AllocChunk("LAND", "V001", 160);
    ChunkPut32(c, 62, faith);
    ChunkPut16(c, 82, points);
    ChunkPut32(c, 34, gold);
    ChunkPut32(c, 14, 5000);
    ASSERT_EQ(AddChunkPool(c, ReceivedPoolPath), 1);
    FreeChunk(c);
  }
  void Korn(uint16_t quarter, uint32_t seed, const char* pool = ReceivedPoolPath) {
    uint8_t* c = AllocChunk("KORN", "V001", 52);
    ChunkPut16(c, 16, quarter);
    ChunkPut32(c, 18, seed);
    ChunkPut32(c, 52, 7);
    ASSERT_EQ(AddChunkPool(c, pool), 1);
    FreeChunk(c);
  }
  void Chunk(const char* id, std::vector<std::pair<uint32_t, uint32_t>> u32s, uint32_t len) {
    uint8_t* c = AllocChunk(id, "V001", len);
    for (auto& f : u32s) ChunkPut32(c, f.first, f.second);
    ASSERT_EQ(AddChunkPool(c, ReceivedPoolPath), 1);
    FreeChunk(c);
  }
  static uint32_t Shown() { return RizizOzezPrefs(0, 0, 0); }
  static std::string StoryTown() {
    char* s = RizizOzezPrefsStr(46, 0, nullptr);
    std::string r = s ? s : "";
    if (s) FreeVec(s);
    return r;
  }
  static st_TOWN* Town(uint32_t id) { return GetActiveTown(id); }
  static uint32_t LandField(const char* pool, uint32_t off) {
    uint8_t* c = LoadChunk2Mem("LAND", pool);
    uint32_t v = c ? ChunkGet32(c, off) : 0xDEADu;
    if (c) FreeChunk(c);
    return v;
  }
  // Marks every story up to the guide as told, so later steps can be reached.
  static void TellGuide() {
    for (uint32_t k = 7; k <= 12; k++) RizizOzezPrefs(k + 1, 1, 1);
  }
};

}  // namespace

TEST_F(Story, ANewRealmAlwaysGetsTheIntroduction) {
  RizizOzezPrefs(2, 1, 0);
  CheckPrefs(PREFS_DICE2, 1, 0);
  EXPECT_EQ(CheckRizizOzezEvents(), 505);
  EXPECT_EQ(Shown(), 1u);
  EXPECT_EQ(RizizOzezPrefs(2, 0, 0), 1u);
}

TEST_F(Story, DroughtHalvesTheSeedOnlyInTheFirstQuarter) {
  Towns({{"Ash", 100, {}}});
  CheckPrefs(PREFS_DICE2, 1, 3);
  CheckPrefs(PREFS_DICE3, 1, 5);  // d = 0
  Korn(2, 800);
  EXPECT_EQ(CheckRizizOzezEvents(), 505);
  EXPECT_EQ(Shown(), 7u);  // no drought in summer: the guide comes instead
  Korn(1, 800);
  EXPECT_EQ(CheckRizizOzezEvents(), 505);
  EXPECT_EQ(Shown(), 14u);
  uint8_t* k = LoadChunk2Mem("KORN", OutgoingPoolPath);
  ASSERT_NE(k, nullptr);
  EXPECT_EQ(ChunkGet32(k, 18), 400u);
  EXPECT_EQ(ChunkGet32(k, 52), 407u);
  FreeChunk(k);
  EXPECT_EQ(CheckRizizOzezEvents(), 505);  // the drought can repeat, from the outgoing KORN
  k = LoadChunk2Mem("KORN", OutgoingPoolPath);
  EXPECT_EQ(ChunkGet32(k, 18), 200u);
  FreeChunk(k);
}

TEST_F(Story, DiseasesByKindLimitAndHospitalBuildings) {
  struct Row { uint32_t dice; uint32_t limit; uint32_t story; uint16_t flag; uint32_t guard; };
  const Row rows[] = {{4, 50000, 26, TOWN_CONSUMPTION, 47}, {1, 100000, 24, TOWN_SPOTTED_FEVER, 22},
                      {2, 200000, 23, TOWN_VARIOLA, 78}, {3, 400000, 25, TOWN_BLACK_DEATH, 160}};
  CheckPrefs(PREFS_DICE2, 1, 0);
  TellGuide();
  for (const Row& r : rows) {
    CheckPrefs(PREFS_DICE3, 1, r.dice);
    Towns({{"Ash", r.limit, {}}});
    EXPECT_EQ(CheckRizizOzezEvents(), -1) << r.story;  // exactly at the limit: healthy
    Towns({{"Ash", r.limit + 1, {21, r.guard}}});
    EXPECT_EQ(CheckRizizOzezEvents(), -1) << r.story;  // grave yard and healer stand
    Towns({{"Ash", r.limit + 1, {21}}});
    ASSERT_EQ(CheckRizizOzezEvents(), 505) << r.story;
    EXPECT_EQ(Shown(), r.story);
    EXPECT_EQ(StoryTown(), "Ash");
    st_TOWN* t = Town(1);
    EXPECT_TRUE(t->flags & r.flag);
    FreeVec(t);
    EXPECT_EQ(CheckRizizOzezEvents(), -1) << r.story;  // once per town
  }
}

TEST_F(Story, RebellionGarrisonJailAndTheBankRobbery) {
  // Threshold T = 0 + 100 / 100 + 5 = 6; seven towns give a margin of 1.
  std::vector<TownSpec> seven;
  const char* names[] = {"A", "B", "C", "D", "E", "F", "G"};
  for (const char* n : names) seven.push_back({n, 10, {}});
  CheckPrefs(PREFS_DICE1, 1, 0);
  CheckPrefs(PREFS_DICE4, 1, 2);  // town C
  TellGuide();
  Towns(std::vector<TownSpec>(seven.begin(), seven.begin() + 6));
  EXPECT_EQ(CheckRizizOzezEvents(), -1);  // count equal to T: nothing
  Towns(seven);
  ASSERT_EQ(CheckRizizOzezEvents(), 505);  // no ARMY in the orders: the town rises
  EXPECT_EQ(Shown(), 21u);
  EXPECT_EQ(StoryTown(), "C");
  EXPECT_EQ(LandField(OutgoingPoolPath, 62), 75u);
  EXPECT_EQ(CheckRizizOzezEvents(), -1);  // already rebelling
  // A garrison of 1500 on the town averts it; with a jail nothing happens.
  Towns(seven);
  RemChunkPool("LAND", OutgoingPoolPath);
  uint8_t* army = AllocChunk("ARMY", "V001", 4 + 60 + 52);
  ChunkPut32(army, 12, 1);
  std::memcpy(army + 16, "ARHD", 4);
  ChunkPut32(army, 20, 52);
  ChunkPut32(army, 24, 102);  // X of town C
  ChunkPut32(army, 28, 200);
  ChunkPut32(army, 24 + 24, 1);
  std::memcpy(army + 76, "AREN", 4);
  ChunkPut32(army, 80, 44);
  ChunkPut32(army, 84, 2);
  ChunkPut32(army, 84 + 36, 1500);
  ASSERT_EQ(AddChunkPool(army, OutgoingPoolPath), 1);
  FreeChunk(army);
  ASSERT_EQ(CheckRizizOzezEvents(), 505);
  EXPECT_EQ(Shown(), 20u);
  EXPECT_EQ(LandField(OutgoingPoolPath, 62), 90u);
  seven[2].buildings = {95};
  Towns(seven);
  EXPECT_EQ(CheckRizizOzezEvents(), -1);
  // A bank without a jail: the robbery replaces a rebellion, whose changes stay.
  RemChunkPool("ARMY", OutgoingPoolPath);
  RemChunkPool("LAND", OutgoingPoolPath);
  seven[2].buildings = {2};
  Towns(seven);
  CheckPrefs(PREFS_STORY_THRESHOLD, 1, 0);
  ASSERT_EQ(CheckRizizOzezEvents(), 505);
  EXPECT_EQ(Shown(), 13u);
  EXPECT_EQ(RizizOzezPrefs(22, 0, 0), 1u);  // the rebellion was chosen too
  st_TOWN* t = Town(3);
  EXPECT_TRUE(t->flags & TOWN_REBELS);
  FreeVec(t);
  EXPECT_EQ(LandField(OutgoingPoolPath, 62), 75u);
}

// Armies of the orders that cannot be read are not "no garrison": no
// rebellion is made up, and the town and LAND stay as they are.
TEST_F(Story, ArmiesThatCannotBeReadRaiseNoRebellion) {
  std::vector<TownSpec> seven;
  for (const char* n : {"A", "B", "C", "D", "E", "F", "G"}) seven.push_back({n, 10, {}});
  CheckPrefs(PREFS_DICE1, 1, 0);
  CheckPrefs(PREFS_DICE4, 1, 2);  // town C
  TellGuide();
  Towns(seven);
  uint8_t* army = AllocChunk("ARMY", "V001", 4 + 60);
  ChunkPut32(army, 12, 1);
  std::memcpy(army + 16, "ARHD", 4);
  ChunkPut32(army, 20, 52);
  ChunkPut32(army, 24, 102);  // X of town C
  ChunkPut32(army, 28, 200);
  ASSERT_EQ(AddChunkPool(army, OutgoingPoolPath), 1);
  FreeChunk(army);
  const Bytes damaged = CutChunk(qoe_test::ReadFileBytes("Data/POP3Out/GameChunk.qoe"), "ARMY", 5);
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/POP3Out/GameChunk.qoe", damaged));
  EXPECT_EQ(CheckRizizOzezEvents(), -1);
  st_TOWN* t = Town(3);
  ASSERT_NE(t, nullptr);
  EXPECT_FALSE(t->flags & TOWN_REBELS);
  FreeVec(t);
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/POP3Out/GameChunk.qoe"), damaged);
}

TEST_F(Story, LaterStepsInTheirOrder) {
  Towns({{"Ash", 10, {26, 51}}});
  // Occupation first.
  Chunk("KRIG", {{12, 1}, {16 + 40, 3}}, 4 + 72);
  ASSERT_EQ(CheckRizizOzezEvents(), 505);
  EXPECT_EQ(Shown(), 15u);
  RemChunkPool("KRIG", ReceivedPoolPath);
  // The sawmill before the port, each once.
  ASSERT_EQ(CheckRizizOzezEvents(), 505);
  EXPECT_EQ(Shown(), 2u);
  ASSERT_EQ(CheckRizizOzezEvents(), 505);
  EXPECT_EQ(Shown(), 6u);
  // The guide, chapter by chapter.
  for (uint32_t k = 7; k <= 12; k++) {
    ASSERT_EQ(CheckRizizOzezEvents(), 505);
    EXPECT_EQ(Shown(), k);
  }
  // The old mine on a roll below 2, once.
  g_roll = 1;
  ASSERT_EQ(CheckRizizOzezEvents(), 505);
  EXPECT_EQ(Shown(), 17u);
  // Luxury goods in a realm of one town, again while no good was chosen.
  ASSERT_EQ(CheckRizizOzezEvents(), 505);
  EXPECT_EQ(Shown(), 22u);
  ASSERT_EQ(CheckRizizOzezEvents(), 505);
  EXPECT_EQ(Shown(), 22u);
  CheckPrefs(PREFS_LUXURY_GOOD, 1, 85);
  g_roll = 100;
  EXPECT_EQ(CheckRizizOzezEvents(), -1);
  // Herb lore by the biology grade.
  uint8_t* f = AllocChunk("FORS", "V001", 16);
  f[18] = 0;
  AddChunkPool(f, ReceivedPoolPath);
  EXPECT_EQ(CheckRizizOzezEvents(), -1);
  f[18] = 2;
  AddChunkPool(f, ReceivedPoolPath);
  FreeChunk(f);
  for (uint32_t k : {27u, 28u, 29u, 30u, 31u}) {
    ASSERT_EQ(CheckRizizOzezEvents(), 505);
    EXPECT_EQ(Shown(), k);
  }
  EXPECT_EQ(CheckRizizOzezEvents(), -1);
}

TEST_F(Story, LuxuryNeverForTwoTowns) {
  Towns({{"Ash", 10, {}}, {"Oak", 10, {}}});
  TellGuide();
  RizizOzezPrefs(18, 1, 1);
  g_roll = 0;
  EXPECT_EQ(CheckRizizOzezEvents(), -1);
}

TEST_F(Story, MissingChunksGiveMinusOneWithNothingHalfWritten) {
  TellGuide();
  CheckPrefs(PREFS_DICE2, 1, 0);
  CheckPrefs(PREFS_DICE3, 1, 4);
  // No TOWN anywhere: the disease and rebellion steps fail, no story.
  EXPECT_EQ(CheckRizizOzezEvents(), -1);
  EXPECT_FALSE(fs::exists("Data/POP3Out/GameChunk.qoe"));
}

TEST_F(Story, BankRobberyTakesAQuarterOfTheShare) {
  Towns({{"A", 1, {}}, {"B", 1, {}}, {"C", 1, {}}});
  RizizOzezPrefs(0, 1, 13);
  EXPECT_EQ(RizizOzezEvents(), 1);
  EXPECT_EQ(LandField(OutgoingPoolPath, 34), 917u);  // 1000 / 3 = 333, / 4 = 83
}

TEST_F(Story, PageModifications) {
  Korn(0, 500);
  EXPECT_EQ(CheckRizizOzezModifikation("Text \xA7(%0,-10%,3) more \xA7\xA7 next"), 1);
  uint8_t* k = LoadChunk2Mem("KORN", ReceivedPoolPath);
  EXPECT_EQ(ChunkGet32(k, 18), 450u);
  FreeChunk(k);
  // Gold stops at 0; corn never wraps past 2^32 - 1; below -100 % gives 0.
  Land(100, 0, 150);
  EXPECT_EQ(CheckRizizOzezModifikation("\xA7(%9,-200,0)"), 1);
  EXPECT_EQ(LandField(ReceivedPoolPath, 34), 0u);
  Korn(0, 0xFFFFFFF0u);
  EXPECT_EQ(CheckRizizOzezModifikation("\xA7(%0,100,0)"), 1);
  k = LoadChunk2Mem("KORN", ReceivedPoolPath);
  EXPECT_EQ(ChunkGet32(k, 18), 0xFFFFFFFFu);
  FreeChunk(k);
  EXPECT_EQ(CheckRizizOzezModifikation("\xA7(%0,-150%,0)"), 1);
  k = LoadChunk2Mem("KORN", ReceivedPoolPath);
  EXPECT_EQ(ChunkGet32(k, 18), 0u);
  FreeChunk(k);
  // The weather: set 0..3, 5 ignored, a percentage refused.
  EXPECT_EQ(CheckRizizOzezModifikation("\xA7(%3,2,0)"), 1);
  EXPECT_EQ(CheckRizizOzezModifikation("\xA7(%3,5,0)"), 1);
  EXPECT_EQ(CheckRizizOzezModifikation("\xA7(%3,2%,0)"), 0);
  k = LoadChunk2Mem("KORN", ReceivedPoolPath);
  EXPECT_EQ(k[40], 2u);
  FreeChunk(k);
  // Immigrants as a percentage grow the inhabitants.
  uint8_t* l = LoadChunk2Mem("LAND", ReceivedPoolPath);
  ChunkPut32(l, 18, 200);
  AddChunkPool(l, ReceivedPoolPath);
  FreeChunk(l);
  EXPECT_EQ(CheckRizizOzezModifikation("\xA7(%5,50%,0)"), 1);
  EXPECT_EQ(LandField(ReceivedPoolPath, 14), 5300u);
  EXPECT_EQ(LandField(ReceivedPoolPath, 18), 300u);
  // A mark after the page end belongs to the next page.
  EXPECT_EQ(CheckRizizOzezModifikation("page \xA7\xA7 \xA7(%9,50,0)"), 1);
  EXPECT_EQ(LandField(ReceivedPoolPath, 34), 0u);
  // Without KORN the mark fails and nothing changes.
  RemChunkPool("KORN", ReceivedPoolPath);
  EXPECT_EQ(CheckRizizOzezModifikation("\xA7(%1,10,0)"), 0);
}
