// The construction screen's rules without a display: the cost file and its
// per-turn draw, the requirement text, stepping through the catalogue,
// starting a construction (question, resources, count limits, the record),
// the site list text, and what may be torn down.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/towns.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/catalog.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"
#include "screens/economy/bau.h"
#include "tests/support/catalog_text_check.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

// The scripted random source: the highest value, or 0.
uint32_t High(uint32_t n) { return n; }
uint32_t Low(uint32_t) { return 0; }

// The messages the screen gave, and the answer to its question.
std::vector<uint32_t> g_messages;
int32_t g_answer = 0;
int32_t Hook(uint32_t, uint32_t catalog) {
  g_messages.push_back(catalog);
  return g_answer;
}

BaustellenData Rec(uint16_t building, uint16_t town, uint16_t year = 1000, uint16_t quarter = 0, uint16_t time = 2,
                   uint32_t price = 100, uint16_t upkeep = 5) {
  return BaustellenData{building, year, quarter, time, price, upkeep, town};
}

// A GEBA chunk (host order) of the records.
uint8_t* Geba(const std::vector<BaustellenData>& recs) {
  uint8_t* c = AllocChunk("GEBA", "V001", 6 + 16 * static_cast<uint32_t>(recs.size()));
  ChunkPut16(c, 16, static_cast<uint16_t>(recs.size()));
  for (size_t i = 0; i < recs.size(); ++i) PutBaustelle(c + 18 + 16 * i, recs[i]);
  return c;
}

class BauRules : public testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories("Data");
    RegisterGameDataListTypes();
    d_ = static_cast<BauScreenData*>(AllocVec(sizeof(BauScreenData), MEMF_CLEAR));
    d_->town = CreateTown(7, "Elmor", 10, 10);
    d_->town->level = 1;
    d_->accountState = 2;
    g_messages.clear();
    g_answer = 0;
    SetBauMessageHook(Hook);
    SetBauRandom(Low);
  }
  void TearDown() override {
    SetBauMessageHook(nullptr);
    SetBauRandom(nullptr);
    FreeBauScreenData(d_);
  }
  void Stand(uint32_t id) { d_->town->buildings[id].flags |= BUILDING_STANDS; }
  void SetGeba(const std::vector<BaustellenData>& recs) {
    if (d_->geba) FreeChunk(d_->geba);
    d_->geba = Geba(recs);
  }
  void SetOrders(BaustellenData** array, uint16_t* count, const std::vector<BaustellenData>& recs) {
    FreeVec(*array);
    *array = static_cast<BaustellenData*>(AllocVec(static_cast<uint32_t>(recs.size() * sizeof(BaustellenData) + 1), 0));
    for (size_t i = 0; i < recs.size(); ++i) (*array)[i] = recs[i];
    *count = static_cast<uint16_t>(recs.size());
  }
  // Goods in store: (goods ID, quantity) in list order.
  void Store(const std::vector<std::pair<uint32_t, uint32_t>>& goods) {
    d_->goods = CreateList(7);
    for (auto [id, q] : goods) {
      auto* w = reinterpret_cast<WarenListenEntry*>(AllocListNode(d_->goods));
      w->kind = 5;
      w->goods = id;
      w->quantity = q;
      AddNode(d_->goods, &w->head, 16, 0);
    }
  }
  std::vector<uint32_t> Quantities() const {
    std::vector<uint32_t> q;
    ListNode* n = d_->goods->first;
    for (uint32_t i = 0; i < d_->goods->count; ++i, n = n->next) q.push_back(reinterpret_cast<WarenListenEntry*>(n)->quantity);
    return q;
  }
  BauScreenData* d_ = nullptr;
};

// ---- the cost file ----------------------------------------------------------------

GebaeudeKosten FileRow(uint32_t row) {
  auto bytes = qoe_test::ReadFileBytes("Data/BauScreenGeb.dat");
  const uint8_t* p = bytes.data() + 20 * row;
  return {GetLE32(p), GetLE32(p + 4), GetLE32(p + 8), GetLE32(p + 12), GetLE32(p + 16)};
}

TEST_F(BauRules, TheCostFileIsMadeAnewUnlessItHoldsExactly760Bytes) {
  for (uint32_t size : {759u, 761u, 0u}) {
    SCOPED_TRACE(size);
    if (size) ASSERT_TRUE(qoe_test::WriteFileBytes("Data/BauScreenGeb.dat", std::vector<uint8_t>(size, 0xEE)));
    else fs::remove("Data/BauScreenGeb.dat");
    d_->confidence = 250;
    d_->row = 2;
    ASSERT_EQ(GetBuildingData(d_), 1);
    EXPECT_EQ(fs::file_size("Data/BauScreenGeb.dat"), 760u);
    EXPECT_EQ(d_->cost.price, 10000u - 50u);  // the bank at confidence 250, the lowest draw
    EXPECT_EQ(d_->cost.wood, 50u);
  }
  // 760 bytes are taken as they are, whatever they hold.
  std::vector<uint8_t> own(760);
  for (size_t i = 0; i < own.size(); ++i) own[i] = static_cast<uint8_t>(i * 7);
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/BauScreenGeb.dat", own));
  d_->row = 5;
  ASSERT_EQ(GetBuildingData(d_), 1);
  EXPECT_EQ(d_->cost.price, GetLE32(own.data() + 100));  // little-endian on every host
  EXPECT_EQ(d_->cost.stone, GetLE32(own.data() + 116));
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/BauScreenGeb.dat"), own);
}

TEST_F(BauRules, PricesAtConfidence250And0) {
  for (RandomFunc r : {Low, High}) {
    SetBauRandom(r);
    fs::remove("Data/BauScreenGeb.dat");
    d_->confidence = 250;
    ASSERT_EQ(GetBuildingData(d_), 1);
    for (uint32_t row = 0; row < kBauKatalogRows; ++row) {
      const BuildingBaseCost& base = *FindBuildingBaseCost(BauKatalog(row)->id);
      const GebaeudeKosten got = FileRow(row);
      const uint32_t low = base.price - base.price / 200;
      EXPECT_EQ(got.price, r == Low ? low : low + base.price / 100) << row;
      EXPECT_GE(got.price, low);
      EXPECT_LE(got.price, low + base.price / 100);
      EXPECT_EQ(got.time, base.time);
      EXPECT_EQ(got.wood, base.wood);
      EXPECT_EQ(got.stone, base.stone);
    }
  }
  // Confidence 0 doubles the base before the draw.
  SetBauRandom(Low);
  fs::remove("Data/BauScreenGeb.dat");
  d_->confidence = 0;
  ASSERT_EQ(GetBuildingData(d_), 1);
  for (uint32_t row = 0; row < kBauKatalogRows; ++row) {
    const BuildingBaseCost& base = *FindBuildingBaseCost(BauKatalog(row)->id);
    const GebaeudeKosten got = FileRow(row);
    EXPECT_EQ(got.price, 2 * base.price - 2 * base.price / 200) << row;
    EXPECT_EQ(got.upkeep, 2 * base.upkeep - 2 * base.upkeep / 200) << row;
    EXPECT_EQ(got.time, base.time);
    EXPECT_EQ(got.stone, base.stone);
  }
}

TEST_F(BauRules, WithoutAGameTheCostsAreDrawnButNotWritten) {
  d_->accountState = 1;
  d_->row = 0;
  ASSERT_EQ(GetBuildingData(d_), 1);
  EXPECT_FALSE(fs::exists("Data/BauScreenGeb.dat"));
  EXPECT_EQ(d_->cost.price, 6000u - 30u);  // confidence 0: doubled
}

TEST(BauCatalogue, TheTableAndItsLines) {
  ASSERT_EQ(BauKatalog(38), nullptr);
  EXPECT_EQ(BauKatalog(21)->id, 55);
  EXPECT_EQ(FindBuildingBaseCost(BauKatalog(37)->id)->stone, 100000u);
  EXPECT_EQ(BauKatalogRow(231), 37);
  EXPECT_EQ(BauKatalogRow(99), -1);
  EXPECT_EQ(FindBuildingBaseCost(99), nullptr);
  // The base costs are the game data's, row for row.
  for (uint32_t r = 0; r < kBauKatalogRows; ++r) EXPECT_EQ(BuildingBaseCosts[r].building, BauKatalog(r)->id) << r;
  // Every buildable ID is a line's head or a single building.
  for (uint32_t r = 0; r < kBauKatalogRows; ++r) {
    bool head = false;
    for (const auto& line : BauKette) head = head || line[0] == BauKatalog(r)->id;
    const uint16_t id = BauKatalog(r)->id;
    EXPECT_TRUE(head || id == 15 || id == 17 || id == 19 || id == 24 || id == 25 || id == 47 || id == 195 ||
                id == 231)
        << id;
  }
}

// ---- the requirement text ----------------------------------------------------------

std::string Head(const char* research, uint32_t population, uint32_t level) {
  return std::string("required research:\n\n") + research + "Required population in the city: " +
         std::to_string(population) + "\nRequired level of the city: " + std::to_string(level) +
         "\n\nRequirements from other buildings:";
}

TEST_F(BauRules, RequirementTexts) {
  const char* zero =
      "alchemy: 0\nastronomy: 0\nart of battle: 0\nbiology: 0\nhealing: 0\ntechnics: 0\ntheology: 0\n\n";
  auto text = [&](uint32_t id) {
    char* t = BauRequirementText(d_->town, id);
    std::string s = t ? t : "";
    FreeVec(t);
    return s;
  };
  EXPECT_EQ(text(2), Head(zero, 0, 0) + " none\n\n" + GetCatalogStr(494));
  EXPECT_EQ(qoe_test::GermanPastCatalog(text(2)), "");
  // The research levels in the text's order, the population, the level.
  TownBuilding& e = d_->town->buildings[55];
  const uint8_t levels[7] = {1, 2, 3, 4, 5, 6, 7};  // FORS order: alchemy .. theology
  std::memcpy(e.research, levels, 7);
  e.population = 1500;
  e.level = 2;
  e.buildings[0] = 100;  // 99 + 1: the granary's second level names the granary
  e.buildings[3] = 16;   // the citizen hall
  e.buildings[5] = 3;    // the bank
  EXPECT_EQ(text(55), Head("alchemy: 1\nastronomy: 2\nart of battle: 3\nbiology: 4\nhealing: 5\ntechnics: 6\n"
                           "theology: 7\n\n",
                           1500, 2) +
                          " granary, citizen hall, bank\n\n" + GetCatalogStr(1039));
  // Slot values that lead to no catalogue row add nothing.
  TownBuilding& f = d_->town->buildings[14];
  f.buildings[0] = 30;   // 29: no row
  f.buildings[1] = 1;    // 0: the granary
  f.buildings[6] = 236;  // beyond every ID
  EXPECT_EQ(text(14), Head(zero, 0, 0) + " granary\n\n" + GetCatalogStr(495));
  f.buildings[1] = 0;
  EXPECT_EQ(text(14), Head(zero, 0, 0) + " none\n\n" + GetCatalogStr(495));
}

// ---- stepping -------------------------------------------------------------------

TEST_F(BauRules, StepBuildingForwardBackwardAndNone) {
  d_->building = 235;  // RE00 on 234
  ASSERT_EQ(StepBuilding(d_, 1), 1);
  EXPECT_EQ(d_->building, 0);
  d_->building = -1;  // LE00 on 0
  ASSERT_EQ(StepBuilding(d_, 0), 1);
  EXPECT_EQ(d_->building, 231);  // 234 .. 232 are no rows (232 and 234 higher levels)
  d_->building = 3;  // no row: forward to the tavern
  ASSERT_EQ(StepBuilding(d_, 1), 1);
  EXPECT_EQ(d_->building, 14);
  d_->building = 13;
  ASSERT_EQ(StepBuilding(d_, 0), 1);
  EXPECT_EQ(d_->building, 2);
  d_->building = 99;  // a higher level is never listed
  ASSERT_EQ(StepBuilding(d_, 1), 1);
  EXPECT_EQ(d_->building, 108);
  // Nothing listable: 0, and the building stays.
  for (TownBuilding& b : d_->town->buildings) b.flags = BUILDING_UNAVAILABLE;
  d_->building = 50;
  EXPECT_EQ(StepBuilding(d_, 1), 0);
  EXPECT_EQ(d_->building, 50);
  d_->town->buildings[195].flags = 0;
  EXPECT_EQ(StepBuilding(d_, 0), 1);
  EXPECT_EQ(d_->building, 195);
}

// ---- starting a construction -----------------------------------------------------------

TEST_F(BauRules, ConstructionOrderChecksAndRecord) {
  d_->building = 2;
  d_->cost = {10000, 4, 70000, 50, 150};
  d_->year = 0x12345;
  d_->quarter = 3;
  d_->treasury = 10000;
  Store({{98, 30}, {99, 200}, {98, 40}, {5, 9}});
  d_->wood = 70;
  d_->stone = 200;
  // Declined: nothing.
  g_answer = 1;
  EXPECT_EQ(InitBaustellenData(d_), 1);
  EXPECT_EQ(d_->newCount, 0);
  EXPECT_EQ(g_messages, (std::vector<uint32_t>{451}));
  // Too little gold, wood or stone: catalog 524.
  g_answer = 0;
  for (int k = 0; k < 3; ++k) {
    g_messages.clear();
    d_->treasury = k == 0 ? 9999 : 10000;
    d_->wood = k == 1 ? 49 : 70;
    d_->stone = k == 2 ? 149 : 200;
    EXPECT_EQ(InitBaustellenData(d_), 1);
    EXPECT_EQ(g_messages, (std::vector<uint32_t>{451, 524})) << k;
    EXPECT_EQ(d_->newCount, 0);
  }
  // A price equal to the treasury is taken and leaves 0.
  d_->treasury = 10000;
  d_->wood = 70;
  d_->stone = 200;
  g_messages.clear();
  EXPECT_EQ(InitBaustellenData(d_), 1);
  EXPECT_EQ(d_->treasury, 0u);
  EXPECT_EQ(d_->wood, 20u);
  EXPECT_EQ(d_->stone, 50u);
  EXPECT_EQ(Quantities(), (std::vector<uint32_t>{0, 50, 20, 9}));  // in list order, never below 0
  ASSERT_EQ(d_->newCount, 1);
  const BaustellenData& b = d_->newOrders[0];
  EXPECT_EQ(b.building, 2);
  EXPECT_EQ(b.year, 0x2345);
  EXPECT_EQ(b.quarter, 3);
  EXPECT_EQ(b.buildTime, 4);
  EXPECT_EQ(b.price, 10000u);
  EXPECT_EQ(b.upkeep, 65535);  // too large for the record: the most it holds
  EXPECT_EQ(b.town, 7);
  uint8_t bytes[16];
  PutBaustelle(bytes, b);
  const uint16_t want[8] = {2, 0x2345, 3, 4, 10000, 0, 65535, 7};
  EXPECT_EQ(std::memcmp(bytes, want, 16), 0);  // host order: the chunk's in-memory record
  EXPECT_EQ(d_->town->buildings[2].flags, BUILDING_ORDERED);
  // The bank again: already building.
  d_->treasury = 1000000;
  d_->wood = d_->stone = 1000;
  g_messages.clear();
  EXPECT_EQ(InitBaustellenData(d_), 0);
  EXPECT_EQ(g_messages, (std::vector<uint32_t>{451, 525}));
}

TEST_F(BauRules, CountLimitsOverGebaNewAndRunningOrdersOfTheTownOnly) {
  d_->cost = {1, 1, 1, 0, 0};
  d_->treasury = 1000;
  struct Case {
    uint16_t id;
    uint32_t here;
    bool refused;
    uint32_t message;
  } const kCases[] = {{0, 19, false, 0}, {0, 20, true, 650}, {1, 19, false, 0},  {1, 20, true, 650},
                      {98, 19, false, 0}, {98, 20, true, 650}, {14, 0, false, 0}, {14, 1, true, 525}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::to_string(c.id) + "/" + std::to_string(c.here));
    std::vector<BaustellenData> geba, fresh, running;
    for (uint32_t i = 0; i < c.here; ++i) (i % 3 == 0 ? geba : i % 3 == 1 ? fresh : running).push_back(Rec(c.id, 7));
    for (int i = 0; i < 5; ++i) geba.push_back(Rec(c.id, 8));  // another town's
    SetGeba(geba);
    SetOrders(&d_->newOrders, &d_->newCount, fresh);
    SetOrders(&d_->oldOrders, &d_->oldCount, running);
    d_->building = static_cast<int16_t>(c.id);
    EXPECT_EQ(CountBuildingsOfType(d_), c.here);
    g_messages.clear();
    EXPECT_EQ(InitBaustellenData(d_), c.refused ? 0 : 1);
    EXPECT_EQ(g_messages.back(), c.refused ? c.message : 451u);
    EXPECT_EQ(d_->newCount, fresh.size() + (c.refused ? 0 : 1));
    // Granaries and mills get no order mark; every other building does.
    EXPECT_EQ((d_->town->buildings[c.id].flags & BUILDING_ORDERED) != 0, !c.refused && c.id != 0 && c.id != 1);
    d_->town->buildings[c.id].flags = 0;
  }
}

TEST_F(BauRules, WithoutAGameNothingIsAskedOrOrdered) {
  d_->accountState = 0;
  d_->building = 2;
  EXPECT_EQ(InitBaustellenData(d_), 1);
  EXPECT_TRUE(g_messages.empty());
  EXPECT_EQ(d_->newCount, 0);
}

// ---- the site list -------------------------------------------------------------

TEST_F(BauRules, SiteListText) {
  d_->year = 10;
  d_->quarter = 3;
  EXPECT_EQ(BauSiteListText(d_), nullptr);
  SetOrders(&d_->newOrders, &d_->newCount,
            {Rec(2, 7, 10, 3, 2), Rec(14, 9, 10, 3, 2), BaustellenData{95, 9, 1, kTearDown, 0, 0, 7}});
  SetOrders(&d_->oldOrders, &d_->oldCount, {Rec(0, 7, 9, 0, 3), Rec(3, 7, 10, 0, 1)});
  char* t = BauSiteListText(d_);
  ASSERT_NE(t, nullptr);
  const std::string dashes(64, '-');
  const std::string want = std::string(GetCatalogStr(526)) + "in this town:\n" + dashes + "\n" +
                           "1 bank\nBuilding time left : 6 month, finished in summer in the year 11...\n\n" +
                           "1 jail\nwill be demolished down.\n\n" +
                           // quarter 0 of year 9 with 3: winter 9, passed: 0 months
                           "1 granary\nBuilding time left : 0 month, finished in winter in the year 9...\n\n" +
                           // ID 3 has no row: no name
                           "1 \nBuilding time left : 0 month, finished in summer in the year 10...\n\n" +
                           "in other towns:\n" + dashes + "\n" +
                           "1 tavern\nBuilding time left : 6 month, finished in summer in the year 11...\n\n";
  EXPECT_EQ(std::string(t), want);
  FreeVec(t);
}

// ---- demolition ---------------------------------------------------------------

class BauDemolition : public BauRules {
 protected:
  // Offers and returns the lines (text before the zeros) and the counts.
  std::vector<std::string> Offer(uint32_t counts[2], std::vector<int32_t>* recs = nullptr) {
    char* lines = nullptr;
    int32_t* records = nullptr;
    const uint32_t n = BauDemolitionOffer(d_, &lines, &records, counts);
    std::vector<std::string> out;
    for (uint32_t i = 0; i < n; ++i) out.push_back(lines + 80 * i);
    if (recs) recs->assign(records, records + n);
    FreeVec(lines);
    FreeVec(records);
    return out;
  }
  int32_t Allowed(uint32_t geba_index) {
    const BaustellenData b = GetBaustelle(d_->geba + 18 + 16 * geba_index);
    return CheckDemolition(d_, &b);
  }
};

TEST_F(BauDemolition, RuleByRule) {
  d_->town->kind = 1;  // the capital
  d_->town->buildings[55].buildings[0] = 17;  // the town hall needs the trade registry (16)
  Stand(55);
  SetGeba({Rec(2, 7), BaustellenData{20, 1000, 0, kTearDown, 1, 1, 7}, Rec(14, 7), Rec(15, 7), Rec(97, 7), Rec(22, 7),
           Rec(78, 7), Rec(16, 7), Rec(55, 7), Rec(21, 7), Rec(20, 7)});
  EXPECT_EQ(Allowed(0), 1);  // the bank
  EXPECT_EQ(Allowed(1), 0);  // a site
  EXPECT_EQ(Allowed(2), 0);  // the tavern line and the citizen hall in the capital
  EXPECT_EQ(Allowed(3), 0);
  EXPECT_EQ(Allowed(4), 0);
  d_->town->kind = 0;
  EXPECT_EQ(Allowed(2), 1);  // elsewhere they may go
  EXPECT_EQ(Allowed(5), 0);  // the lazarett while the clinic (78) stands
  EXPECT_EQ(Allowed(6), 1);
  EXPECT_EQ(Allowed(7), 0);  // the trade registry: the town hall stands and needs it
  d_->town->buildings[55].flags = BUILDING_ORDERED;
  EXPECT_EQ(Allowed(7), 0);  // ordered counts as well
  d_->town->buildings[55].flags = 0;
  EXPECT_EQ(Allowed(7), 1);
  // Each pair of the higher-building table.
  const uint16_t pairs[][2] = {{15, 108}, {19, 48},  {22, 78},  {23, 96},  {25, 49},  {48, 57},   {50, 56},
                               {55, 108}, {56, 115}, {57, 162}, {78, 160}, {96, 163}, {108, 139}, {139, 231}};
  for (const auto& p : pairs) {
    SCOPED_TRACE(p[0]);
    SetGeba({Rec(p[0], 7), Rec(p[1], 8)});
    EXPECT_EQ(Allowed(0), 1);  // the higher one in another town
    SetGeba({Rec(p[0], 7), Rec(p[1], 7)});
    EXPECT_EQ(Allowed(0), 0);
  }
  // An order of this turn for the same record: not again.
  SetGeba({Rec(2, 7, 1001, 2, 4, 4000, 25)});
  SetOrders(&d_->newOrders, &d_->newCount, {BaustellenData{2, 1001, 2, kTearDown, 4000, 25, 7}});
  EXPECT_EQ(Allowed(0), 0);
  d_->newOrders[0].price = 4001;
  EXPECT_EQ(Allowed(0), 1);
}

TEST_F(BauDemolition, GranariesWithADependent) {
  d_->town->buildings[16].buildings[2] = 1;  // the trade registry needs a granary
  Stand(16);
  SetGeba({Rec(0, 7), Rec(0, 7, 1001), Rec(0, 8)});
  uint32_t counts[2];
  std::vector<int32_t> recs;
  auto lines = Offer(counts, &recs);
  EXPECT_EQ(counts[0], 2u);  // both offered
  EXPECT_EQ(lines[0], "2 granaries");
  EXPECT_EQ(lines[1], "0 mills");
  // More than offered orders all that may go: both, although one is needed.
  EXPECT_EQ(BauDemolish(d_, 0, recs.data(), 5), 2u);
  ASSERT_EQ(d_->newCount, 2);
  EXPECT_EQ(d_->newOrders[1].buildTime, kTearDown);
  EXPECT_EQ(d_->newOrders[1].year, 1001);
  // Not offered again in this visit.
  Offer(counts);
  EXPECT_EQ(counts[0], 0u);
  // The last granary is refused while the dependent stands.
  FreeVec(d_->newOrders);
  d_->newOrders = nullptr;
  d_->newCount = 0;
  SetGeba({Rec(0, 7), Rec(0, 8)});
  EXPECT_EQ(Allowed(0), 0);
  d_->town->buildings[16].flags = 0;
  EXPECT_EQ(Allowed(0), 1);
  // Its only dependent the second granary level: it may go.
  d_->town->buildings[16].buildings[2] = 0;
  d_->town->buildings[99].buildings[0] = 1;
  Stand(99);
  EXPECT_EQ(Allowed(0), 1);
  // Quantity 0 orders nothing, 1 one.
  Offer(counts, &recs);
  EXPECT_EQ(counts[0], 1u);
  EXPECT_EQ(BauDemolish(d_, 0, recs.data(), 0), 0u);
  EXPECT_EQ(BauDemolish(d_, 0, recs.data(), 1), 1u);
  EXPECT_EQ(d_->newCount, 1);
}

TEST_F(BauDemolition, TheOfferListsTheOthersByIdDownwards) {
  SetGeba({Rec(2, 7, 1000, 0, 2, 1, 25), Rec(231, 7, 1000, 0, 2, 1, 420), Rec(1, 7), Rec(1, 7), Rec(3, 7, 1, 1, 1, 1, 9),
           Rec(14, 8)});
  uint32_t counts[2];
  std::vector<int32_t> recs;
  auto lines = Offer(counts, &recs);
  EXPECT_EQ(lines, (std::vector<std::string>{"0 granaries", "2 mills", "palace(420 GS)", "(9 GS)", "bank(25 GS)"}));
  EXPECT_EQ(recs, (std::vector<int32_t>{-1, -1, 1, 4, 0}));
  EXPECT_EQ(BauDemolish(d_, 3, recs.data(), 0), 1u);  // a line of its own: its record
  ASSERT_EQ(d_->newCount, 1);
  EXPECT_EQ(d_->newOrders[0].building, 3);
  EXPECT_EQ(d_->newOrders[0].upkeep, 9);
  EXPECT_EQ(ChunkGet16(d_->geba, 18 + 16 * 4 + 6), kTearDown);  // marked in memory
}

}  // namespace
