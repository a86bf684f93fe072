// The granary: the steps, the typed stores, the fill states, the bars, the
// sliders and the markers as rules; headless runs on turn-builder realms:
// OKOK writes the KORN chunk (every byte, the fields it does not own kept),
// EXIT of the requester puts stores and thresholds back, typed and stepped
// stores, account states other than 2, the weather's pictures, and PNGs of
// the hall and the requester.
#include "screens/economy/kornlager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/turns.h"
#include "routinen/gui/layout.h"
#include "routinen/system/files.h"
#include "routinen/system/prefs.h"
#include "tests/support/log_lines.h"
#include "tests/support/screen_fixture.h"
#include "tests/support/sound_recorder.h"
#include "tests/support/test_support.h"
#include "tools/turnbuilder/turnbuilder.h"

namespace fs = std::filesystem;

namespace {

KornLagerData Record(int32_t seed, int32_t storage, int32_t food, int32_t capacity) {
  KornLagerData d{};
  d.store[0] = seed;
  d.store[1] = storage;
  d.store[2] = food;
  for (int32_t& c : d.capacityCopy) c = capacity;
  d.barCapacity = capacity;
  d.pending = -1;
  return d;
}

TEST(KornRules, AStepFromAStoreBelowOnePercentMovesAllOfIt) {
  KornLagerData d = Record(150, 1000, 0, 40000);  // 1 % is 400
  ASSERT_EQ(KornGadgetSteps(&d, "DO00"), 1);
  EXPECT_EQ(d.store[0], 0);
  EXPECT_EQ(d.store[1], 1150);
  ASSERT_EQ(KornGadgetSteps(&d, "DO00"), 1);  // nothing left: nothing moves
  EXPECT_EQ(d.store[1], 1150);
  // The same through MoveKorn's halves.
  d = Record(150, 1000, 0, 40000);
  MoveKorn(nullptr, &d, KORN_SEED, -1);
  EXPECT_EQ(d.pending, 150);
  MoveKorn(nullptr, &d, KORN_STORAGE, +1);
  EXPECT_EQ(d.pending, -1);
  EXPECT_EQ(d.store[1], 1150);
  // A redraw (direction 0) moves nothing and leaves nothing pending, so the
  // next step does not put corn from nowhere into a store.
  MoveKorn(nullptr, &d, KORN_SEED, 0);
  MoveKorn(nullptr, &d, KORN_STORAGE, 0);
  MoveKorn(nullptr, &d, KORN_FOOD, 0);
  EXPECT_EQ(d.pending, -1);
  MoveKorn(nullptr, &d, KORN_FOOD, +1);
  EXPECT_EQ(d.store[2], 0);
}

TEST(KornRules, EveryGadgetsPairOfSteps) {
  struct Row {
    const char* id;
    int32_t seed, storage, food;
  } const kRows[] = {
      {"UP00", 1400, 9600, 1000}, {"DO00", 600, 10400, 1000}, {"UP01", 600, 10800, 600},
      {"DO01", 1400, 9200, 1400}, {"UP02", 1000, 9600, 1400}, {"DO02", 1000, 10400, 600},
  };
  for (const Row& r : kRows) {
    KornLagerData d = Record(1000, 10000, 1000, 40000);
    ASSERT_EQ(KornGadgetSteps(&d, r.id), 1) << r.id;
    EXPECT_EQ(d.store[0], r.seed) << r.id;
    EXPECT_EQ(d.store[1], r.storage) << r.id;
    EXPECT_EQ(d.store[2], r.food) << r.id;
    EXPECT_EQ(d.store[0] + d.store[1] + d.store[2], 12000) << r.id;
  }
  KornLagerData d = Record(1, 2, 3, 40000);
  EXPECT_EQ(KornGadgetSteps(&d, "EXIT"), 0);
  // UP01 with an empty seed store still moves 1 % of food into storage.
  d = Record(0, 500, 900, 40000);
  KornGadgetSteps(&d, "UP01");
  EXPECT_EQ(d.store[0], 0);
  EXPECT_EQ(d.store[1], 900);
  EXPECT_EQ(d.store[2], 500);
  // A store at the top of the range takes only what fits; nothing is lost.
  d = Record(0, 2147483000, 5000, 400000);
  KornGadgetSteps(&d, "DO02");
  EXPECT_EQ(d.store[1], 2147483647);
  EXPECT_EQ(d.store[2], 5000 - 647);
}

TEST(KornRules, TypedStoresKeepTheTotal) {
  // Storage lower by an odd difference: each of seed and food gets the
  // half rounded up, one unit more in all.
  KornLagerData d = Record(100, 1000, 200, 40000);
  KornTypedStore(&d, KORN_STORAGE, 993);
  EXPECT_EQ(d.store[0], 104);
  EXPECT_EQ(d.store[1], 993);
  EXPECT_EQ(d.store[2], 204);
  // Storage lower by an even difference: split evenly.
  d = Record(100, 1000, 200, 40000);
  KornTypedStore(&d, KORN_STORAGE, 900);
  EXPECT_EQ(d.store[0], 150);
  EXPECT_EQ(d.store[2], 250);
  // Storage higher: seed and food each give half; seed below the half gives
  // all, food the rest; more than both hold: storage takes all of them.
  d = Record(100, 1000, 200, 40000);
  KornTypedStore(&d, KORN_STORAGE, 1100);
  EXPECT_EQ(d.store[0], 50);
  EXPECT_EQ(d.store[2], 150);
  d = Record(10, 1000, 200, 40000);
  KornTypedStore(&d, KORN_STORAGE, 1100);
  EXPECT_EQ(d.store[0], 0);
  EXPECT_EQ(d.store[2], 110);
  d = Record(200, 1000, 10, 40000);
  KornTypedStore(&d, KORN_STORAGE, 1100);
  EXPECT_EQ(d.store[0], 110);
  EXPECT_EQ(d.store[2], 0);
  d = Record(100, 1000, 200, 40000);
  KornTypedStore(&d, KORN_STORAGE, 5000);
  EXPECT_EQ(d.store[0], 0);
  EXPECT_EQ(d.store[1], 1300);
  EXPECT_EQ(d.store[2], 0);
  // Seed above seed + storage: storage empties into seed.
  d = Record(100, 1000, 200, 40000);
  KornTypedStore(&d, KORN_SEED, 5000);
  EXPECT_EQ(d.store[0], 1100);
  EXPECT_EQ(d.store[1], 0);
  EXPECT_EQ(d.store[2], 200);
  // Seed lower: the difference goes to storage; food higher: from storage.
  d = Record(100, 1000, 200, 40000);
  KornTypedStore(&d, KORN_SEED, 40);
  EXPECT_EQ(d.store[1], 1060);
  KornTypedStore(&d, KORN_FOOD, 700);
  EXPECT_EQ(d.store[1], 560);
  EXPECT_EQ(d.store[2], 700);
  // Food exactly seed's rule: as much as storage holds is not enough.
  d = Record(100, 1000, 200, 40000);
  KornTypedStore(&d, KORN_FOOD, 1200);
  EXPECT_EQ(d.store[2], 1200);  // storage held exactly the increase: taken from it only when it holds more
  EXPECT_EQ(d.store[1], 0);
  // Negative typed values count as 0; the largest value keeps every store in range.
  d = Record(100, 1000, 200, 40000);
  KornTypedStore(&d, KORN_SEED, -50);
  EXPECT_EQ(d.store[0], 0);
  EXPECT_EQ(d.store[1], 1100);
  d = Record(2000000000, 2000000000, 2000000000, 40000);
  KornTypedStore(&d, KORN_STORAGE, 0);
  for (int32_t s : d.store) EXPECT_GE(s, 0);
  EXPECT_EQ(d.store[0], 2147483647);
  KornTypedStore(&d, KORN_STORAGE, 2147483647);
  for (int32_t s : d.store) EXPECT_GE(s, 0);
}

TEST(KornRules, FillStatesBarsSlidersMarkers) {
  struct F {
    int32_t storage, capacity;
    uint16_t state;
  } const kFill[] = {{25000, 100000, 0}, {26000, 100000, 1}, {50000, 100000, 1}, {51000, 100000, 2},
                     {75000, 100000, 2}, {76000, 100000, 3}, {500, 0, 0},        {500, 5, 0},
                     {2147483647, 40000, 3}, {2147483647, 2147483647, 3}};
  for (const F& f : kFill) EXPECT_EQ(KornFillState(f.storage, f.capacity), f.state) << f.storage << " " << f.capacity;
  EXPECT_EQ(KornEmptyHeight(0, 40000), 115);
  EXPECT_EQ(KornEmptyHeight(40000, 40000), 0);
  EXPECT_EQ(KornEmptyHeight(20000, 40000), 58);
  EXPECT_EQ(KornEmptyHeight(90000, 40000), 0);  // above the capacity: full, never negative
  EXPECT_EQ(KornEmptyHeight(0, 0), 115);
  EXPECT_EQ(KornEmptyHeight(7, 0), 0);
  EXPECT_EQ(KornEmptyHeight(2147483647, 2147483647), 0);
  EXPECT_EQ(KornEmptyHeight(20000000, 40000000), 58);  // both divided by 100 first
  EXPECT_EQ(KornEmptyHeight(2147483647, 50), 0);
  // The slider at its track's ends (top 150) and beyond them.
  EXPECT_EQ(KornSliderThreshold(150, 150, 160000), 160000u);
  EXPECT_EQ(KornSliderThreshold(265, 150, 160000), 0u);
  EXPECT_EQ(KornSliderThreshold(100, 150, 160000), 160000u);
  EXPECT_EQ(KornSliderThreshold(400, 150, 160000), 0u);
  EXPECT_EQ(KornSliderThreshold(208, 150, 160000), 49u * 160000u / 100u);  // (115 - 58) x 100 / 115 = 49
  EXPECT_EQ(KornSliderThreshold(150, 150, 2147483647), 2147483647u);
  EXPECT_EQ(KornMarkerX(0), 220);
  EXPECT_EQ(KornMarkerX(100), 410);
  EXPECT_EQ(KornMarkerX(50), 315);
  EXPECT_EQ(KornMarkerX(500), 410);
  EXPECT_EQ(KornMarkerX(-4), 220);
  EXPECT_EQ(KornSeedNeed(10000), 6000);
  EXPECT_EQ(KornFoodNeed(10000), 15000);
  EXPECT_EQ(KornFoodNeed(0xFFFFFFFFu), 2147483647);
  EXPECT_EQ(KornCapacity(4, 1), 360000);
  EXPECT_EQ(KornCapacity(0xFFFFFFFFu, 0xFFFF), 2147483647);
  EXPECT_EQ(RainChance(6), 20u);
  EXPECT_EQ(RainChance(0), 1u);
}

std::vector<uint8_t> GoldenKorn() {
  std::vector<uint8_t> k(kKornSize, 0);
  std::memcpy(k.data(), "KORNV001", 8);
  ChunkPut32(k.data(), 8, 52);
  return k;
}

TEST(KornRules, TheWrittenChunkKeepsWhatItDoesNotOwn) {
  KornLagerData d = Record(1, 2, 3, 40000);
  std::vector<uint8_t> read = GoldenKorn();
  for (uint32_t i = 12; i < kKornSize; ++i) read[i] = static_cast<uint8_t>(0xA0 + i);
  std::memcpy(d.korn, read.data(), kKornSize);
  d.year = 1004;
  d.quarter = 2;
  d.granaries = 4;
  d.weather = 5;
  d.threshold[0] = 70000;
  d.threshold[1] = 90000;
  uint8_t out[kKornSize];
  BuildKornChunk(&d, out);
  std::vector<uint8_t> want = read;
  ChunkPut32(want.data(), 12, 1004);
  ChunkPut16(want.data(), 16, 2);
  ChunkPut32(want.data(), 18, 1);
  ChunkPut32(want.data(), 22, 2);
  ChunkPut32(want.data(), 26, 3);
  ChunkPut32(want.data(), 30, 4);
  ChunkPut32(want.data(), 36, 20000);
  want[40] = 5;
  ChunkPut32(want.data(), 42, 70000);
  ChunkPut32(want.data(), 46, 90000);
  EXPECT_EQ(std::vector<uint8_t>(out, out + kKornSize), want);
  // +34 (mills), +41, +50 and +52..+63 as read.
  EXPECT_EQ(ChunkGet16(out, 34), ChunkGet16(read.data(), 34));
  EXPECT_EQ(std::vector<uint8_t>(out + 50, out + 64), std::vector<uint8_t>(read.begin() + 50, read.end()));
}

TEST(KornRules, ExitPutsStoresAndThresholdsBack) {
  KornLagerData d = Record(5, 6, 7, 40000);
  d.store0[0] = 1;
  d.store0[1] = 2;
  d.store0[2] = 3;
  d.threshold0[0] = 11;
  d.threshold0[1] = 12;
  d.threshold[0] = 99;
  d.pending = 40;
  RestoreKornStores(&d);
  EXPECT_EQ(d.store[0], 1);
  EXPECT_EQ(d.store[1], 2);
  EXPECT_EQ(d.store[2], 3);
  EXPECT_EQ(d.threshold[0], 11u);
  EXPECT_EQ(d.threshold[1], 12u);
  EXPECT_EQ(d.pending, -1);
}

// ---- on the headless display -------------------------------------------------------

constexpr char kRealm[] =
    "player id=1001 name=\"Harald\"\n"
    "turn year=1004 quarter=1\n"
    "land inhabitants=11800 faith=300\n"
    "korn seed_store=3400 granary_corn=26000 food_corn=7100 granaries=4 mills=3 largest_harvest=12800\n"
    "korn granary_threshold1=40000 granary_threshold2=80000 trade_offices=1 corn_rotted=77 corn_new_farmland=88 "
    "corn_fishing=520 harvest_problem=2\n";

class KornScreenRun : public qoe_test::ScreenTest {
 protected:
  void SetUp() override {
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit/Data/Screendat/KornLagerReq.dat");
    qoe_test::CopyDataKit();
    fs::create_directories("Data/POP3In");
    fs::create_directories("Data/POP3Out");
    CheckPrefs(PREFS_ACCOUNT_STATE, 1, 2);
    ScreenTest::SetUp();
  }
  void Realm(const std::string& extra, const std::string& turn = "turn year=1004 quarter=1\n") {
    ::Realm realm;
    std::string err;
    std::string text = kRealm;
    text.replace(text.find("turn year=1004 quarter=1\n"), 25, turn);
    ASSERT_TRUE(ParseRealm(text + extra, "granary.realm", &realm, &err)) << err;
    ASSERT_TRUE(qoe_test::WriteFileBytes("Data/POP3In/GameChunk.qoe", BuildTurnPool(realm)));
    fs::remove("Data/POP3Out/GameChunk.qoe");
  }
  // Every run leaves by a door of the screen, never by the script's end;
  // its log lines stay readable until the next run.
  int32_t Run(const std::string& script) {
    log_.reset();
    log_ = std::make_unique<qoe_test::LogLines>();
    const int32_t next = RunScreen(KornlagerScreen, 39, "timer 0 100\nwait 800\n" + script);
    EXPECT_FALSE(log_->Has("Programmende angefordert"));
    return next;
  }
  void TearDown() override {
    FileFailWritesAfter(-1);
    log_.reset();
    ScreenTest::TearDown();
  }
  const qoe_test::LogLines& log() const { return *log_; }
  std::unique_ptr<qoe_test::LogLines> log_;
  std::string Open() const { return Click(400, 250) + "wait 300\n"; }
  std::string Button(const char* id) const {
    struct P {
      const char* id;
      int x, y;
    } const kPlaces[] = {{"INFO", 133, 435}, {"OKOK", 323, 435}, {"EXIT", 513, 435}, {"UP00", 199, 280},
                         {"DO00", 130, 280}, {"UP01", 353, 280}, {"DO01", 284, 280}, {"UP02", 507, 280},
                         {"DO02", 438, 280}, {"BOX1", 165, 302}, {"BOX2", 319, 302}, {"BOX3", 473, 302},
                         {"TOWN", 47, 435},  {"LEAVE", 590, 435}};
    for (const P& p : kPlaces)
      if (std::strcmp(p.id, id) == 0) return Click(p.x, p.y) + "wait 200\n";
    return "";
  }
  std::string Type(const char* box, const std::string& text) const {
    return Button(box) + "key backspace\nkey backspace\nkey backspace\nkey backspace\nkey backspace\nkey backspace\n" +
           Keys(text) + "key enter\nwait 200\n";
  }
  static std::vector<uint8_t> Outgoing() {
    LoadedChunk k("KORN", OutgoingPoolPath);
    if (!k.p) return {};
    return std::vector<uint8_t>(k.p, k.p + 12 + k.len());
  }
  static std::vector<uint8_t> Received() {
    LoadedChunk k("KORN", ReceivedPoolPath);
    return std::vector<uint8_t>(k.p, k.p + 12 + k.len());
  }
};

TEST_P(KornScreenRun, OkWritesTheChunkKeepingTheFieldsItDoesNotOwn) {
  Realm("");
  const std::string hall = Png("kornlager"), box = Png("kornlager_req");
  EXPECT_EQ(Run("png " + hall + "\n" + Open() + Button("UP00") + Button("UP00") + Button("DO02") + "png " + box +
                "\n" + Button("OKOK") + Button("LEAVE")),
            39);
  // Capacity 4 x 40,000 + 200,000 = 360,000: a step is 3,600.
  std::vector<uint8_t> want = Received();
  ASSERT_EQ(want.size(), kKornSize);
  ChunkPut32(want.data(), 18, 3400 + 7200);
  ChunkPut32(want.data(), 22, 26000 - 7200 + 3600);
  ChunkPut32(want.data(), 26, 7100 - 3600);
  ChunkPut32(want.data(), 36, 20000);
  EXPECT_EQ(Outgoing(), want);
  EXPECT_EQ(ChunkGet16(want.data(), 34), 3u);
  EXPECT_EQ(ChunkGet16(want.data(), 50), 1u);
  EXPECT_EQ(ChunkGet32(want.data(), 52), 77u);
  EXPECT_EQ(ChunkGet32(want.data(), 60), 520u);
  EXPECT_TRUE(log().Has("WriteKornLagerData: Saat 10600 Lager 22400 Nahrung 3500"));
  KeepPicture(hall);
  KeepPicture(box);
}

TEST_P(KornScreenRun, ExitOfTheRequesterPutsEverythingBack) {
  Realm("");
  // Stores stepped and typed, a threshold dragged, then EXIT; the second
  // opening shows the stores as read, and OKOK writes them unchanged.
  EXPECT_EQ(Run(Open() + Button("DO01") + Type("BOX2", "1000") + Click(234, 160) + "wait 200\n" + Button("EXIT") +
                Open() + Button("OKOK") + Button("LEAVE")),
            39);
  EXPECT_TRUE(log().Has("SetKornSlider: Schwelle 1 = "));
  std::vector<uint8_t> want = Received();
  ChunkPut32(want.data(), 36, 20000);
  EXPECT_EQ(Outgoing(), want);
}

TEST_P(KornScreenRun, TypedStores) {
  Realm("");
  const std::string png = Png("kornlager_typed");
  EXPECT_EQ(Run(Open() + Type("BOX2", "25993") + Type("BOX1", "99999999") + Type("BOX3", "-7") +
                Type("BOX1", "12345678901") + "png " + png + "\n" + Button("OKOK") + Button("LEAVE")),
            39);
  // 26000 -> 25993: seed and food each + 4 (3404, 7104); seed 99,999,999:
  // all of storage (3404 + 25993); food "-7" (the entry takes digits only
  // after a leading minus: negative is 0), its 7104 into storage; seed
  // limited to 2147483647, taken from storage as far as it holds.
  EXPECT_TRUE(log().Has("KornLagerRequester: Eingabe 2 = 25993 -> 3404 25993 7104"));
  EXPECT_TRUE(log().Has("KornLagerRequester: Eingabe 1 = 99999999 -> 29397 0 7104"));
  EXPECT_TRUE(log().Has("KornLagerRequester: Eingabe 3 = 0 -> 29397 7104 0"));
  const std::vector<uint8_t> out = Outgoing();
  ASSERT_EQ(out.size(), kKornSize);
  EXPECT_EQ(ChunkGet32(out.data(), 18) + ChunkGet32(out.data(), 22) + ChunkGet32(out.data(), 26), 36501u);
  KeepPicture(png);
}

TEST_P(KornScreenRun, TheNeedMarkersByQuarter) {
  for (uint32_t quarter : {0u, 1u}) {
    SCOPED_TRACE(quarter);
    Realm("", "turn year=1004 quarter=" + std::to_string(quarter) + "\n");
    EXPECT_EQ(Run(Open() + Button("EXIT") + Button("LEAVE")), 39);
    // 11,800 inhabitants: seed need 7,080, food need 17,700 of 360,000.
    EXPECT_EQ(log().Has("DrawKornMarker: 0 bei 263"), quarter == 0);
    EXPECT_TRUE(log().Has("DrawKornMarker: 2 bei 260"));
  }
}

TEST_P(KornScreenRun, BadWeatherAndTheTownGate) {
  Realm("korn weather=6\n");
  const std::string png = Png("kornlager_storm");
  EXPECT_EQ(Run("png " + png + "\n" + Button("TOWN")), 39);
  KeepPicture(png);
  Realm("korn weather=4 granary_corn=300000\n");
  const std::string rain = Png("kornlager_rain");
  EXPECT_EQ(Run("png " + rain + "\n" + Button("LEAVE")), 39);
  EXPECT_TRUE(log().Has("SetKornImages: F\xFCllstand 3"));
  KeepPicture(rain);
}

TEST_P(KornScreenRun, WithoutAnInstalledGameNothingIsWritten) {
  Realm("");
  for (uint32_t state : {0u, 1u}) {
    SCOPED_TRACE(state);
    CheckPrefs(PREFS_ACCOUNT_STATE, 1, state);
    EXPECT_EQ(Run(Open() + Button("DO00") + Button("OKOK") + Button("LEAVE")), 39);
    EXPECT_FALSE(fs::exists("Data/POP3Out/GameChunk.qoe"));
  }
}

TEST_P(KornScreenRun, AFailedWriteIsToldAndTheRequesterStays) {
  Realm("");
  FileFailWritesAfter(0);
  const std::string png = Png("kornlager_failed");
  EXPECT_EQ(Run(Open() + Button("DO00") + Button("OKOK") + "wait 300\npng " + png + "\nkey enter\nwait 200\n" +
                Button("EXIT") + Button("LEAVE")),
            39);
  FileFailWritesAfter(-1);
  EXPECT_TRUE(log().Has("Konnte Game-Daten nicht abspeichern"));
  EXPECT_TRUE(Outgoing().empty());
  KeepPicture(png);
  // Written the next time, with the stores EXIT left as read.
  EXPECT_EQ(Run(Open() + Button("OKOK") + Button("LEAVE")), 39);
  std::vector<uint8_t> want = Received();
  ChunkPut32(want.data(), 36, 20000);
  EXPECT_EQ(Outgoing(), want);
}

TEST_P(KornScreenRun, TheHelpAndTheSounds) {
  Realm("");
  qoe_test::SoundRecorder sounds;
  const std::string png = Png("kornlager_help");
  EXPECT_EQ(Run(Open() + Button("INFO") + "png " + png + "\nkey enter\nwait 200\n" + Button("EXIT") + Button("LEAVE")),
            39);
  EXPECT_TRUE(sounds.OnlyOpenedEffectsUsed());
  const std::vector<uint32_t> started = sounds.StartedInOrder();
  EXPECT_NE(std::find(started.begin(), started.end(), 15u), started.end());
  EXPECT_NE(std::find(started.begin(), started.end(), 16u), started.end());
  KeepPicture(png);
}

INSTANTIATE_TEST_SUITE_P(Modes, KornScreenRun, testing::Values(0u, 4u), qoe_test::DisplayModeName);

}  // namespace

// The quarter and the year stand apart from the two scales: a value box on
// a scale's row reads as that scale's number ("faith 1004").
TEST(KornLagerLayout, TheYearAndQuarterAreNotOnTheScalesRows) {
  const std::string path = qoe_test::BinaryDir() + "/datakit/Data/Screendat/KornLagerReq.dat";
  QOE_REQUIRE_BUILT(path);
  const std::vector<uint8_t> file = qoe_test::ReadFileBytes(path);
  ScreenRegion* r = ParseScreenRegion(file.data(), static_cast<uint32_t>(file.size()), 55);
  ASSERT_NE(r, nullptr);
  int scales = 0;
  const auto* areas = static_cast<const TextArea*>(r->types[LAYOUT_AREA].first);
  for (uint32_t n = 0; n < r->types[LAYOUT_AREA].count; ++n) {
    const TextArea* a = &areas[n];
    if (a->textId != 56 && a->textId != 1602) continue;  // faith, balance of the stores
    ++scales;
    for (uint32_t k : {3u, 4u}) {
      const ValueField* v = GetLayoutValue(r, k);
      ASSERT_NE(v, nullptr);
      EXPECT_TRUE(v->y2 < a->y1 || v->y1 > a->y2) << "value " << k << " on the row of catalog " << a->textId;
    }
  }
  EXPECT_EQ(scales, 2);
  FreeScreenRegion(r);
}
