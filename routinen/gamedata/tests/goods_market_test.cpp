#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

#include "routinen/gamedata/goods.h"
#include "routinen/system/files.h"
#include "routinen/system/prefs.h"
#include "tests/support/test_support.h"

using Bytes = std::vector<uint8_t>;

namespace {

// Scripted random numbers: each call records its n and gives the next
// scripted value (at most n); without a script it gives 0.
std::vector<uint32_t> zufall_script, zufall_args;
uint32_t ScriptedZufall(uint32_t n) {
  zufall_args.push_back(n);
  if (zufall_script.empty()) return 0;
  uint32_t v = zufall_script.front();
  zufall_script.erase(zufall_script.begin());
  return v < n ? v : n;
}

WarenMarktDaten Realm() {
  WarenMarktDaten d{};
  d.einwohner = 100000;
  d.rohstoffe = 1;
  for (int8_t& s : d.stufen) s = 7;
  d.gebaeude20 = d.gebaeude26 = 1;
  d.zufall = ScriptedZufall;
  return d;
}

struct OfferCase {
  const char* what;
  uint32_t type;
  void (*setup)(WarenMarktDaten&);
  std::vector<uint32_t> script;
  uint32_t quantity;
  std::vector<uint32_t> args;  // the n of every Zufall call, in order
};

TEST(GoodsMarket, CalcWarenAngebotSteps) {
  const OfferCase cases[] = {
      {"no resources", 10, [](WarenMarktDaten& d) { d.rohstoffe = 0; }, {}, 0, {}},
      {"divisor 0", 83, [](WarenMarktDaten&) {}, {}, 0, {}},
      {"positive sum", 10, [](WarenMarktDaten& d) { d.werte[2] = 10; }, {500, 3000}, 4500, {1000, 20000}},
      {"negative sum, q - r below 0", 10, [](WarenMarktDaten& d) { d.werte[2] = -10; }, {0, 20000}, 0, {1000, 20000}},
      {"negative sum, q - r above 0", 10, [](WarenMarktDaten& d) { d.werte[2] = -10; }, {500, 700}, 800, {1000, 20000}},
      {"sum divided by the weights", 42, [](WarenMarktDaten& d) { d.werte[0] = 3; d.werte[1] = 4; d.werte[2] = 5; },
       {0, 100}, 350, {250, 1250}},
      {"negative sum divided, truncated", 42,
       [](WarenMarktDaten& d) { d.werte[0] = -3; d.werte[1] = -4; d.werte[2] = -5; }, {100, 50}, 300, {250, 1250}},
      {"resource mode type 1", 1, [](WarenMarktDaten& d) { d.rohstoffmodus = 1; d.werte[0] = 7; d.gebaeude20 = 0; }, {}, 70, {}},
      {"resource mode type 2 negative", 2, [](WarenMarktDaten& d) { d.rohstoffmodus = 1; d.werte[1] = -5; }, {}, 0, {}},
      {"resource mode type 3", 3, [](WarenMarktDaten& d) { d.rohstoffmodus = 1; d.werte[2] = 1; }, {}, 10, {}},
      {"resource mode other type", 10, [](WarenMarktDaten& d) { d.rohstoffmodus = 1; d.werte[2] = 9; }, {}, 0, {}},
      {"resource mode without resources", 1, [](WarenMarktDaten& d) { d.rohstoffmodus = 1; d.rohstoffe = 0; d.werte[0] = 2; }, {}, 20, {}},
      {"wood", 98, [](WarenMarktDaten& d) { d.holz = 1234; d.rohstoffe = 0; }, {}, 1234, {}},
      {"stone in resource mode", 99, [](WarenMarktDaten& d) { d.stein = 77; d.rohstoffmodus = 1; }, {}, 77, {}},
      {"oil doubled (special)", 90, [](WarenMarktDaten& d) { d.spezialtyp = 90; }, {100}, 1200, {500, 0}},
      {"furs times 8 (special), no buildings needed", 92,
       [](WarenMarktDaten& d) { d.spezialtyp = 92; d.gebaeude20 = d.gebaeude26 = 0; }, {100}, 4800, {500, 0}},
      {"building 20 absent, W3", 10, [](WarenMarktDaten& d) { d.gebaeude20 = 0; }, {}, 0, {1000, 0}},
      {"building 26 absent, W2", 18, [](WarenMarktDaten& d) { d.gebaeude26 = 0; }, {}, 0, {250, 0}},
      {"building 20 absent, no W3", 18, [](WarenMarktDaten& d) { d.gebaeude20 = 0; }, {}, 250, {250, 0}},
      {"large values saturate", 40,
       [](WarenMarktDaten& d) { d.einwohner = 0xFFFFFFFFu; d.werte[1] = INT_MAX; d.werte[2] = INT_MAX; },
       {0xFFFFFFFFu, 0xFFFFFFFFu}, 0xFFFFFFFFu, {85899345, 0xFFFFFFFFu}},
      {"large negative values", 40,
       [](WarenMarktDaten& d) { d.einwohner = 0xFFFFFFFFu; d.werte[1] = INT_MIN; d.werte[2] = INT_MIN; },
       {10, 0xFFFFFFFFu}, 0, {85899345, 0xFFFFFFFFu}},
      {"unknown type", 116, [](WarenMarktDaten&) {}, {}, 0, {}},
  };
  for (const OfferCase& k : cases) {
    WarenMarktDaten d = Realm();
    k.setup(d);
    zufall_script = k.script;
    zufall_args.clear();
    EXPECT_EQ(CalcWarenAngebot(&d, k.type), k.quantity) << k.what;
    EXPECT_EQ(zufall_args, k.args) << k.what;
  }
}

TEST(GoodsMarket, EachResearchLevelBelowTheRowsHidesTheType) {
  for (uint32_t type : {42u, 50u, 109u}) {
    for (int i = 0; i < 7; ++i) {
      if (WarenTabelle[type].level[i] == 0) continue;
      WarenMarktDaten d = Realm();
      d.einwohner = 10000000;
      d.stufen[i] = int8_t(WarenTabelle[type].level[i] - 1);
      zufall_script.clear();
      EXPECT_EQ(CalcWarenAngebot(&d, type), 0u) << type << " level " << i;
      d.stufen[i] = int8_t(WarenTabelle[type].level[i]);
      EXPECT_NE(CalcWarenAngebot(&d, type), 0u) << type << " level " << i;
    }
  }
}

TEST(GoodsMarket, SpecialTypeWorksOnACopyAndIsClearedWhenNotOffered) {
  WarenMarktDaten d = Realm();
  d.spezialtyp = 102;  // research levels 8: out of reach even as the special type
  EXPECT_EQ(CalcWarenAngebot(&d, 102), 0u);
  EXPECT_EQ(d.spezialtyp, 0u);
  d.spezialtyp = 90;
  EXPECT_NE(CalcWarenAngebot(&d, 90), 0u);
  EXPECT_EQ(d.spezialtyp, 90u);
  EXPECT_EQ(CalcWarenPreis(&d, 90), 25u * 101 / 100);  // base price 100: 200 / 8
  EXPECT_EQ(WarenTabelle[90].divisor, 0);
  EXPECT_EQ(WarenTabelle[90].price, 0);
  d.spezialtyp = 0;  // type 0 is never special
  EXPECT_EQ(CalcWarenAngebot(&d, 0), 0u);
}

TEST(GoodsMarket, CalcWarenPreisRule) {
  WarenMarktDaten d = Realm();
  EXPECT_EQ(CalcWarenPreis(&d, 38), 202u);  // t = 0: x 1.01
  d.abgabe = 50;
  EXPECT_EQ(CalcWarenPreis(&d, 38), 302u);
  d.abgabe = 100000;  // limited to 65,535
  EXPECT_EQ(CalcWarenPreis(&d, 38), 200u * 65636 / 100);
  d.werte[0] = d.werte[1] = d.werte[2] = -1000;  // products beyond 32 bits
  EXPECT_EQ(CalcWarenPreis(&d, 55), uint32_t(748000ull * 65636 / 100));
  d = Realm();
  EXPECT_EQ(CalcWarenPreis(&d, 98), 0u);
  EXPECT_EQ(CalcWarenPreis(&d, 99), 0u);
  EXPECT_EQ(CalcWarenPreis(&d, 116), 0u);
  EXPECT_EQ(CalcWarenPreis(&d, 102), 353u);  // 175 x 2 x 1.01
  d.spezialtyp = 102;
  EXPECT_EQ(CalcWarenPreis(&d, 102), 202u);
  d = Realm();
  d.rohstoffmodus = 1;
  EXPECT_EQ(CalcWarenPreis(&d, 1), 0u);
  EXPECT_EQ(CalcWarenPreis(&d, 81), 0u);
  EXPECT_EQ(CalcWarenPreis(&d, 83), 1u);  // base price 0: the least price, 1
  d = Realm();
  d.rohstoffe = 0;
  for (uint32_t g = 0; g < WAREN_ANZAHL; ++g) EXPECT_EQ(CalcWarenPreis(&d, g), 0u) << g;
}

// The bound of a stock price: the table's highest base price (680,000, a
// ship's) x 2 x 656.36 (the largest levy); no stock the rule builds
// from any realm crosses it or gives away what it sells, and 4294967295 is
// beyond it.
TEST(GoodsMarket, NoBuiltStockIsDamagedAndPricesOutOfRangeAre) {
  EXPECT_EQ(WarenPreisGrenze(), 892649600u);
  uint32_t seed = 12345;
  for (int run = 0; run < 400; ++run) {
    WarenMarktDaten d = Realm();
    d.zufall = nullptr;
    auto next = [&seed](uint32_t n) { return seed = seed * 1103515245u + 12345u, (seed >> 8) % n; };
    const int32_t extremes[] = {-2147483647 - 1, -1000, -1, 0, 1, 7, 1000, 2147483647};
    for (int32_t& v : d.werte) v = extremes[next(8)];
    d.abgabe = next(2) ? WAREN_ABGABE_MAX : next(1000);
    d.rohstoffmodus = next(4) == 0;
    d.spezialtyp = next(3) == 0 ? next(WAREN_ANZAHL) : 0;
    d.holz = next(1000);
    d.stein = next(1000);
    d.einwohner = next(2) ? 4000000000u : next(100000);
    for (int8_t& l : d.stufen) l = static_cast<int8_t>(next(9));
    WarenMarkt m{};
    BuildWarenMarkt(&d, &m);
    uint8_t damaged[WAREN_ANZAHL];
    EXPECT_EQ(PruefeWarenMarkt(&m, damaged), 0u) << run;
  }
  WarenMarkt m{};
  m.menge[10] = 1, m.preis[10] = 4294967295u;
  m.menge[11] = 1, m.preis[11] = 0;          // sold at 0: never the rule's
  m.menge[1] = 30, m.preis[1] = 0;           // the resource mode's offer
  m.menge[98] = 40, m.preis[98] = 0;         // wood
  m.menge[12] = 0, m.preis[12] = 892649601u;    // out of range, even off the market
  m.menge[13] = 5, m.preis[13] = 892649600u;    // at the bound
  uint8_t damaged[WAREN_ANZAHL];
  EXPECT_EQ(PruefeWarenMarkt(&m, damaged), 3u);
  EXPECT_TRUE(damaged[10] && damaged[11] && damaged[12]);
  EXPECT_FALSE(damaged[1] || damaged[98] || damaged[13]);
}

TEST(GoodsMarket, WarenDatRoundTripIsLittleEndian) {
  WarenMarkt m{};
  for (uint32_t g = 0; g < WAREN_ANZAHL; ++g) {
    m.menge[g] = 0x01020304u * (g + 1);
    m.preis[g] = 0xA0B0C0D0u ^ g;
  }
  uint8_t image[WAREN_DAT_SIZE];
  PutWarenMarkt(&m, image);
  EXPECT_EQ(image[0], 0x04);
  EXPECT_EQ(image[3], 0x01);
  EXPECT_EQ(image[464], 0xD0);
  EXPECT_EQ(image[924], uint8_t(0xD0 ^ 115));
  WarenMarkt back;
  ASSERT_EQ(ParseWarenMarkt(image, WAREN_DAT_SIZE, &back), 1);
  EXPECT_EQ(0, std::memcmp(&m, &back, sizeof m));
  EXPECT_EQ(ParseWarenMarkt(image, WAREN_DAT_SIZE - 1, &back), 0);
  EXPECT_EQ(back.menge[0], 0u);
  EXPECT_EQ(ParseWarenMarkt(image, 0, &back), 0);
  EXPECT_EQ(ParseWarenMarkt(nullptr, WAREN_DAT_SIZE, &back), 0);
}

struct Stock : ::testing::Test {
  void SetUp() override {
    mkdir("Data", 0755);
    zufall_script.clear();
    CheckPrefs(PREFS_MARKET_FLAG, 1, 0);
  }
  void TearDown() override { FileFailWritesAfter(-1); }
  WarenMarktDaten d = Realm();
  WarenMarkt m{};
  uint32_t count = 0xFFFFFFFFu;
};

TEST_F(Stock, FirstVisitBuildsSavesAndKeepsTheCountOnce) {
  const uint32_t n = PrepareWarenMarkt(&d, &m, &count);
  EXPECT_GT(n, 10u);
  EXPECT_EQ(count, n);
  EXPECT_EQ(CheckPrefs(PREFS_MARKET_FLAG, 0, 0), 1u);
  Bytes file = qoe_test::ReadFileBytes("Data/Waren.dat");
  ASSERT_EQ(file.size(), size_t(WAREN_DAT_SIZE));
  WarenMarkt disk;
  ASSERT_EQ(ParseWarenMarkt(file.data(), WAREN_DAT_SIZE, &disk), 1);
  EXPECT_EQ(0, std::memcmp(&disk, &m, sizeof m));
  // A purchase lowers the stock; the next visit reads it and keeps no count.
  m.menge[10] = 3;
  ASSERT_EQ(SaveWarenMarkt(&m), 1);
  count = 0xFFFFFFFFu;
  WarenMarkt again{};
  EXPECT_EQ(PrepareWarenMarkt(&d, &again, &count), n);
  EXPECT_EQ(count, 0xFFFFFFFFu);
  EXPECT_EQ(again.menge[10], 3u);
}

TEST_F(Stock, WrongSizedFilesAreDeletedAndRebuilt) {
  for (size_t size : {size_t(927), size_t(929), size_t(0)}) {
    CheckPrefs(PREFS_MARKET_FLAG, 1, 0);
    ASSERT_TRUE(qoe_test::WriteFileBytes("Data/Waren.dat", Bytes(size, 0xFF)));
    count = 0xFFFFFFFFu;
    const uint32_t n = PrepareWarenMarkt(&d, &m, &count);
    EXPECT_EQ(count, n) << size;
    EXPECT_EQ(qoe_test::ReadFileBytes("Data/Waren.dat").size(), size_t(WAREN_DAT_SIZE)) << size;
    EXPECT_NE(m.menge[0], 0xFFFFFFFFu);
  }
  // With the turn's stock already built, a damaged file means nothing on offer.
  CheckPrefs(PREFS_MARKET_FLAG, 1, 1);
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/Waren.dat", Bytes(929, 0xFF)));
  count = 0xFFFFFFFFu;
  EXPECT_EQ(PrepareWarenMarkt(&d, &m, &count), 0u);
  EXPECT_EQ(count, 0xFFFFFFFFu);
  EXPECT_FALSE(qoe_test::FileExists("Data/Waren.dat"));
}

TEST_F(Stock, FileOfTheTurnIsReadWithTheFlagAtZeroOrOne) {
  WarenMarkt own{};
  own.menge[7] = 5;
  own.menge[99] = 1;
  own.preis[7] = 123;
  ASSERT_EQ(SaveWarenMarkt(&own), 1);
  EXPECT_EQ(PrepareWarenMarkt(&d, &m, &count), 2u);  // flag 0: read, count kept
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(m.preis[7], 123u);
  EXPECT_EQ(CheckPrefs(PREFS_MARKET_FLAG, 0, 0), 1u);
  count = 0xFFFFFFFFu;
  EXPECT_EQ(PrepareWarenMarkt(&d, &m, &count), 2u);  // flag 1: read, no count
  EXPECT_EQ(count, 0xFFFFFFFFu);
}

TEST_F(Stock, MissingFileWithTheFlagSetOffersNothing) {
  CheckPrefs(PREFS_MARKET_FLAG, 1, 1);
  EXPECT_EQ(PrepareWarenMarkt(&d, &m, &count), 0u);
  EXPECT_EQ(count, 0xFFFFFFFFu);
  EXPECT_EQ(CountWarenMarkt(&m), 0u);
  EXPECT_FALSE(qoe_test::FileExists("Data/Waren.dat"));
}

TEST_F(Stock, FailedSaveLeavesTheFlagSoTheNextVisitBuildsAgain) {
  CheckPrefs(PREFS_LUXURY_GOOD, 1, 102);
  FileFailWritesAfter(0);
  const uint32_t n = PrepareWarenMarkt(&d, &m, &count);
  FileFailWritesAfter(-1);
  EXPECT_GT(n, 0u);  // the screen goes on with the block
  EXPECT_EQ(count, 0xFFFFFFFFu);
  EXPECT_EQ(CheckPrefs(PREFS_MARKET_FLAG, 0, 0), 0u);
  EXPECT_EQ(CheckPrefs(PREFS_LUXURY_GOOD, 0, 0), 102u);
  EXPECT_FALSE(qoe_test::FileExists("Data/Waren.dat"));
  EXPECT_EQ(PrepareWarenMarkt(&d, &m, &count), n);
  EXPECT_EQ(count, n);
  EXPECT_EQ(CheckPrefs(PREFS_MARKET_FLAG, 0, 0), 1u);
  EXPECT_EQ(CheckPrefs(PREFS_LUXURY_GOOD, 0, 0), 0u);  // the unreachable special type is given up
}

TEST_F(Stock, StockFlagAndGivenUpSpecialTypeSettleTogetherOrNotAtAll) {
  // Type 102 is out of reach, so the build gives it up: the file, field 14
  // and field 12 change together. A failure at any write changes none.
  CheckPrefs(PREFS_LUXURY_GOOD, 1, 102);
  const Bytes prefs = qoe_test::ReadFileBytes("Data/Prefs.qoe");
  int64_t budget = 0;
  for (; budget < 100000; ++budget) {
    count = 0xFFFFFFFFu;
    d = Realm();
    FileFailWritesAfter(budget);
    const uint32_t n = PrepareWarenMarkt(&d, &m, &count);
    FileFailWritesAfter(-1);
    if (count != 0xFFFFFFFFu) {
      EXPECT_EQ(count, n);
      break;
    }
    ASSERT_EQ(qoe_test::ReadFileBytes("Data/Prefs.qoe"), prefs) << "budget " << budget;
    ASSERT_FALSE(qoe_test::FileExists("Data/Waren.dat")) << "budget " << budget;
  }
  EXPECT_GE(budget, int64_t(WAREN_DAT_SIZE));
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/Waren.dat").size(), size_t(WAREN_DAT_SIZE));
  EXPECT_EQ(CheckPrefs(PREFS_MARKET_FLAG, 0, 0), 1u);
  EXPECT_EQ(CheckPrefs(PREFS_LUXURY_GOOD, 0, 0), 0u);
  // A file of the turn found with the flag at 0 settles with the flag alone.
  CheckPrefs(PREFS_MARKET_FLAG, 1, 0);
  CheckPrefs(PREFS_LUXURY_GOOD, 1, 102);
  const Bytes file = qoe_test::ReadFileBytes("Data/Waren.dat");
  FileFailWritesAfter(0);
  count = 0xFFFFFFFFu;
  PrepareWarenMarkt(&d, &m, &count);
  FileFailWritesAfter(-1);
  EXPECT_EQ(count, 0xFFFFFFFFu);
  EXPECT_EQ(CheckPrefs(PREFS_MARKET_FLAG, 0, 0), 0u);
  PrepareWarenMarkt(&d, &m, &count);
  EXPECT_EQ(CheckPrefs(PREFS_MARKET_FLAG, 0, 0), 1u);
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/Waren.dat"), file);
}

// The next start of the program, as far as the game data go: the commits a
// kill interrupted are finished.
void NextStart() { EXPECT_EQ(FinishCommitRecords(), 0); }

TEST_F(Stock, VisitKilledAtAnyMomentLeavesTheTurnsStockSettledOrNot) {
  CheckPrefs(PREFS_LUXURY_GOOD, 1, 102);
  const Bytes old_prefs = qoe_test::ReadFileBytes("Data/Prefs.qoe");
  const auto t0 = std::chrono::steady_clock::now();
  PrepareWarenMarkt(&d, &m, &count);
  const int64_t us = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0).count();
  const auto new_state = qoe_test::FileTree(".");
  ASSERT_EQ(new_state.count("Data/Waren.dat"), 1u);
  int olds = 0, news = 0;
  srand(3);
  for (int i = 0; i < 150; i++) {
    ASSERT_TRUE(qoe_test::WriteFileBytes("Data/Prefs.qoe", old_prefs));
    std::remove("Data/Waren.dat");
    qoe_test::RunKilledAfter(
        [this] {
          d = Realm();
          return PrepareWarenMarkt(&d, &m, &count) ? 0 : 1;
        },
        rand() % (2 * us + 50));
    NextStart();
    auto now = qoe_test::FileTree(".");
    now.erase("Quill.dbg");
    auto expect_new = new_state;
    expect_new.erase("Quill.dbg");
    if (now == expect_new) {
      news++;
    } else if (now.size() == 1 && now["Data/Prefs.qoe"] == old_prefs) {
      olds++;
    } else {
      std::string names;
      for (const auto& f : now) names += f.first + " ";
      ADD_FAILURE() << "run " << i << ": " << names << "field 12 " << CheckPrefs(PREFS_MARKET_FLAG, 0, 0)
                    << ", field 14 " << CheckPrefs(PREFS_LUXURY_GOOD, 0, 0);
    }
  }
  EXPECT_EQ(olds + news, 150);
  // The visit after the loop settles or reads the stock as always.
  count = 0xFFFFFFFFu;
  d = Realm();
  const uint32_t n = PrepareWarenMarkt(&d, &m, &count);
  EXPECT_EQ(CheckPrefs(PREFS_MARKET_FLAG, 0, 0), 1u);
  EXPECT_EQ(CheckPrefs(PREFS_LUXURY_GOOD, 0, 0), 0u);
  EXPECT_GT(n, 0u);
}

TEST_F(Stock, PrefsFieldsDriveTheBuild) {
  CheckPrefs(PREFS_MARKET_SWITCH, 1, 1);
  CheckPrefs(PREFS_MARKET_WOOD, 1, 40);
  CheckPrefs(PREFS_MARKET_STONE, 1, 0);
  d.werte[0] = 3;
  PrepareWarenMarkt(&d, &m, &count);
  EXPECT_EQ(m.menge[1], 30u);
  EXPECT_EQ(m.menge[98], 40u);
  EXPECT_EQ(m.preis[98], 0u);
  EXPECT_EQ(m.menge[10], 0u);
}

}  // namespace
