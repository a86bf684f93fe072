// The taxes screen: every computation table-driven with large values, the
// knob's track and the typed entries as pure functions; headless runs on
// turn-builder realms: no TAXE (84 zero bytes written), the outgoing TAXE
// over the received one, the statue four times, customs typed "-5" and 8
// characters, the tenth (no tenth, base below 1, rate 200, LAND or GEBA
// missing), the knob's bounds, the church tax with and without priests and
// each answer, account states other than 2, and pictures of the screen and
// of each requester.
#include "screens/economy/steuern.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/turns.h"
#include "routinen/system/prefs.h"
#include "tests/support/log_lines.h"
#include "tests/support/screen_fixture.h"
#include "tests/support/sound_recorder.h"
#include "tests/support/test_support.h"
#include "tools/turnbuilder/turnbuilder.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> Taxe() {
  std::vector<uint8_t> t(kTaxeSize, 0);
  std::memcpy(t.data(), "TAXEV001", 8);
  ChunkPut32(t.data(), 8, 72);
  return t;
}

TEST(SteuernComputations, TablesWithLargeValues) {
  struct J {
    uint32_t inhabitants, setting, income;
  } const kJudicial[] = {{8000, 0, 7000}, {8000, 1, 5000}, {8000, 2, 3000}, {8000, 3, 1000}, {8000, 9, 1000},
                         {7, 0, 6},       {0xFFFFFFFFu, 0, 3758096383u}, {0xFFFFFFFFu, 3, 536870911u}};
  for (const J& j : kJudicial) EXPECT_EQ(JudicialIncome(j.inhabitants, j.setting), j.income) << j.inhabitants;
  struct C {
    uint32_t rate, inhabitants, income;
  } const kCustoms[] = {{5, 10000, 500}, {0, 10000, 0}, {1234567, 4000000, 0xFFFFFFFFu}, {100, 0xFFFFFFFFu, 0xFFFFFFFFu},
                        {3, 99, 2}};
  for (const C& c : kCustoms) EXPECT_EQ(CustomsIncome(c.rate, c.inhabitants), c.income) << c.rate;
  struct B {
    uint32_t inhabitants, level, income;
  } const kBase[] = {{10000, 50, 10000}, {10000, 100, 20000}, {10000, 0, 0}, {0xFFFFFFFFu, 100, 0xFFFFFFFFu},
                     {3000000000u, 99, 0xFFFFFFFFu}, {2000000000u, 100, 4000000000u}, {2000000000u, 50, 2000000000u}};
  for (const B& b : kBase) EXPECT_EQ(BaseTaxIncome(b.inhabitants, b.level), b.income) << b.inhabitants;
  std::vector<uint8_t> t = Taxe();
  ChunkPut16(t.data(), 30, 3);
  ChunkPut16(t.data(), 32, 5);
  ChunkPut16(t.data(), 34, 7);
  EXPECT_EQ(ResourceIncome(t.data(), 10, 100, 1000), 30u + 500u + 7000u);
  ChunkPut16(t.data(), 30, 65535);
  ChunkPut16(t.data(), 32, 65535);
  ChunkPut16(t.data(), 34, 65535);
  EXPECT_EQ(ResourceIncome(t.data(), 65535, 65535, 65535), 0xFFFFFFFFu);  // 3 x 65535^2 passes 32 bits
}

TEST(SteuernComputations, TheTenth) {
  SteuernScreenData d{};
  std::vector<uint8_t> t = Taxe();
  d.taxe = t.data();
  // The base: LAND +78 - GEBA +12 + seven TAXE fields, signed.
  d.landIncome = 1000;
  d.landPresent = 1;
  d.gebaUpkeep = 300;
  d.gebaPresent = 1;
  const uint32_t fields[7] = {40, 18, 26, 36, 48, 72, 54};
  for (uint32_t i = 0; i < 7; ++i) ChunkPut32(t.data(), fields[i], 100u * (i + 1));
  EXPECT_EQ(TenthBase(&d), 1000 - 300 + 2800);
  d.landPresent = 0;  // LAND missing: its term left out
  EXPECT_EQ(TenthBase(&d), -300 + 2800);
  d.gebaPresent = 0;
  EXPECT_EQ(TenthBase(&d), 2800);
  // Large figures do not wrap: seven times 0xFFFFFFFF.
  for (uint32_t off : fields) ChunkPut32(t.data(), off, 0xFFFFFFFFu);
  EXPECT_EQ(TenthBase(&d), 7 * int64_t{0xFFFFFFFF});
  d.landPresent = 1;
  d.landIncome = INT32_MIN;
  for (uint32_t off : fields) ChunkPut32(t.data(), off, 0);
  EXPECT_LT(TenthBase(&d), 0);
  struct A {
    int32_t rate;
    int64_t base;
    uint32_t amount;
  } const kAmounts[] = {{10, 5000, 500}, {10, 0, 0}, {10, -7, 0}, {100, 1, 1}, {200, 1000, 1000}, {-56, 1000, 0},
                        {50, 7 * int64_t{0xFFFFFFFF}, 0xFFFFFFFFu}, {1, 99, 0}};
  for (const A& a : kAmounts) EXPECT_EQ(TenthAmount(a.rate, a.base), a.amount) << a.rate << " " << a.base;
  t[66] = 0xC8;  // -56
  EXPECT_EQ(TenthRate(t.data()), 0);
  t[66] = 100;
  EXPECT_EQ(TenthRate(t.data()), 100);
  t[66] = 120;
  EXPECT_EQ(TenthRate(t.data()), 100);
}

TEST(SteuernComputations, TheKnobAndTheTypedEntries) {
  EXPECT_EQ(BaseTaxKnobX(0), 200);
  EXPECT_EQ(BaseTaxKnobX(100), 433);
  EXPECT_EQ(BaseTaxKnobX(50), 316);
  EXPECT_EQ(BaseTaxLevelAt(201), 0u);
  EXPECT_EQ(BaseTaxLevelAt(432), 99u);
  EXPECT_EQ(BaseTaxLevelAt(303), 44u);
  for (int x : {200, 433, 100, 500}) EXPECT_FALSE(BaseTaxTrackHit(x, 225)) << x;
  for (int x : {201, 432, 300}) EXPECT_TRUE(BaseTaxTrackHit(x, 225)) << x;
  for (int y : {220, 230, 214, 240}) EXPECT_FALSE(BaseTaxTrackHit(300, y)) << y;
  for (int y : {221, 229}) EXPECT_TRUE(BaseTaxTrackHit(300, y)) << y;
  EXPECT_EQ(ParseCustomsRate("-5"), 0u);
  EXPECT_EQ(ParseCustomsRate("1234567"), 1234567u);
  EXPECT_EQ(ParseCustomsRate(""), 0u);
  EXPECT_EQ(ParseCustomsRate("abc"), 0u);
  EXPECT_EQ(ParseCustomsRate("99999999999999"), 0xFFFFFFFFu);
  EXPECT_EQ(ParseTenthRate("200"), 100);
  EXPECT_EQ(ParseTenthRate("-3"), 0);
  EXPECT_EQ(ParseTenthRate("12x"), 12);
}

// ---- on the headless display -------------------------------------------------------

constexpr char kRealm[] =
    "player id=1001 name=\"Harald\"\n"
    "turn year=1004 quarter=1\n"
    "land inhabitants=10000 faith=100 plant_resources=3 animal_resources=4 mineral_resources=5 pirate_gold=2000\n"
    "korn weather=0\n"
    "buildings upkeep_total=500\n";

class SteuernScreenRun : public qoe_test::ScreenTest {
 protected:
  void SetUp() override {
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit/Data/Screendat/SteuernReq5.dat");
    qoe_test::CopyDataKit();
    fs::create_directories("Data/POP3In");
    fs::create_directories("Data/POP3Out");
    CheckPrefs(PREFS_ACCOUNT_STATE, 1, 2);
    ScreenTest::SetUp();
  }
  void Realm(const std::string& extra, const std::string& base = kRealm) {
    ::Realm realm;
    std::string err;
    ASSERT_TRUE(ParseRealm(base + extra, "taxes.realm", &realm, &err)) << err;
    ASSERT_TRUE(qoe_test::WriteFileBytes("Data/POP3In/GameChunk.qoe", BuildTurnPool(realm)));
    fs::remove("Data/POP3Out/GameChunk.qoe");
  }
  int32_t Run(const std::string& script) { return RunScreen(SteuernScreen, 2, "timer 0 100\nwait 800\n" + script); }
  std::string Place(const char* gadget) const {
    struct P {
      const char* id;
      int x, y;
    } const kPlaces[] = {{"GRUN", 125, 350}, {"ZOLL", 125, 170}, {"HILF", 545, 350}, {"JUS2", 545, 170},
                         {"ZEHN", 235, 105}, {"KIRC", 405, 105}, {"JUS1", 377, 300}, {"INFO", 47, 440},
                         {"EXIT", 590, 440}};
    for (const P& p : kPlaces)
      if (std::strcmp(p.id, gadget) == 0) return Click(p.x, p.y) + "wait 300\n";
    return "";
  }
  // The requesters' EXIT (by the box) and INPU buttons.
  std::string BoxExit(int box) const {
    static const int kY[5] = {279, 319, 329, 281, 319};
    return Click(427, kY[box - 1]) + "wait 300\n";
  }
  std::string Input(const std::string& text) const { return Click(433, 217) + Keys(text) + "key enter\nwait 200\n"; }
  static std::vector<uint8_t> Outgoing() {
    LoadedChunk t("TAXE", OutgoingPoolPath);
    if (!t.p) return {};
    return std::vector<uint8_t>(t.p, t.p + 12 + t.len());
  }
};

TEST_P(SteuernScreenRun, WithoutTaxeExitWritesZeros) {
  Realm("");
  const std::string png = Png("steuern");
  EXPECT_EQ(Run("png " + png + "\n" + Place("EXIT")), 2);
  EXPECT_EQ(Outgoing(), Taxe());
  const std::vector<uint8_t> pool = qoe_test::ReadFileBytes("Data/POP3Out/GameChunk.qoe");
  EXPECT_EQ(pool.size(), 44u + 84u);  // INFO and TAXE only
  KeepPicture(png);
}

TEST_P(SteuernScreenRun, TheOutgoingTaxeWinsAndTheStatueWrapsAfterFour) {
  Realm("taxes base_tax_level=20 judicial_setting=1 customs_rate=4\n");
  std::vector<uint8_t> out = Taxe();
  ChunkPut32(out.data(), 12, 55);
  ChunkPut16(out.data(), 16, 2);
  ChunkPut32(out.data(), 22, 9);
  ASSERT_NE(AddChunkPool(out.data(), OutgoingPoolPath), 0);
  qoe_test::LogLines log;
  const std::string png = Png("steuern_statue");
  EXPECT_EQ(Run(Place("JUS1") + "png " + png + "\n" + Place("JUS1") + Place("JUS1") + Place("JUS1") + Place("EXIT")),
            2);
  EXPECT_TRUE(log.Has("ToggleJustizSetting: 3"));
  EXPECT_TRUE(log.Has("ToggleJustizSetting: 0"));
  EXPECT_EQ(Outgoing(), out);  // four steps: the setting it had
  KeepPicture(png);
}

TEST_P(SteuernScreenRun, TypedCustoms) {
  Realm("taxes customs_rate=4\n");
  const std::string png = Png("steuern_zoll");
  EXPECT_EQ(Run(Place("ZOLL") + Input("-5") + "png " + png + "\n" + BoxExit(2) + Place("EXIT")), 2);
  ASSERT_EQ(Outgoing().size(), kTaxeSize);
  EXPECT_EQ(ChunkGet32(Outgoing().data(), 22), 0u);
  KeepPicture(png);
  Realm("taxes customs_rate=4\n");
  EXPECT_EQ(Run(Place("ZOLL") + Input("12345678") + BoxExit(2) + Place("EXIT")), 2);
  EXPECT_EQ(ChunkGet32(Outgoing().data(), 22), 1234567u);  // the eighth character is not taken
}

TEST_P(SteuernScreenRun, TheTenth) {
  // No tenth: the message, the requester does not open.
  Realm("taxes base_tax=100\n");
  {
    qoe_test::LogLines log;
    EXPECT_EQ(Run(Place("ZEHN") + "key enter\nwait 200\n" + Place("EXIT")), 2);
    EXPECT_TRUE(log.Has("SteuernScreen: Meldung 805"));
    EXPECT_FALSE(log.Has("ShowGrundsteuerRequester: 5 offen"));
  }
  // A tenth, typed 200: stored as 100; the amount is the whole base:
  // 2000 (LAND +78) - 500 (GEBA) + 100 + 420 = 2020.
  Realm("taxes base_tax=100 judicial_tax=420 tenth_applies=1\n");
  {
    const std::string png = Png("steuern_zehnt");
    qoe_test::LogLines log;
    EXPECT_EQ(Run(Place("ZEHN") + Input("200") + "png " + png + "\n" + BoxExit(5) + Place("EXIT")), 2);
    const std::vector<uint8_t> t = Outgoing();
    ASSERT_EQ(t.size(), kTaxeSize);
    EXPECT_EQ(t[66], 100);
    EXPECT_EQ(ChunkGet32(t.data(), 76), 2020u);
    EXPECT_FALSE(log.Has("Konnte LandChunk nicht"));
    KeepPicture(png);
  }
  // A base below 1: the amount 0.
  Realm("taxes tenth_applies=1\n", "player id=1001 name=\"Harald\"\nturn year=1004 quarter=1\n"
                                   "land inhabitants=10000 pirate_gold=100\nkorn weather=0\nbuildings upkeep_total=500\n");
  EXPECT_EQ(Run(Place("ZEHN") + Input("10") + BoxExit(5) + Place("EXIT")), 2);
  EXPECT_EQ(Outgoing()[66], 10);
  EXPECT_EQ(ChunkGet32(Outgoing().data(), 76), 0u);
  // LAND and GEBA missing: logged, their terms left out.
  Realm("taxes tenth_applies=1 base_tax=300\n");
  ASSERT_NE(RemChunkPool("LAND", ReceivedPoolPath), 0);
  ASSERT_NE(RemChunkPool("GEBA", ReceivedPoolPath), 0);
  {
    qoe_test::LogLines log;
    EXPECT_EQ(Run(Place("ZEHN") + Input("50") + BoxExit(5) + Place("EXIT")), 2);
    EXPECT_TRUE(log.Has("ReadSteuernScreenData : Konnte LandChunk nicht"));
    EXPECT_EQ(ChunkGet32(Outgoing().data(), 76), 150u);
  }
}

TEST_P(SteuernScreenRun, TheKnobsTrackAndItsBounds) {
  Realm("taxes base_tax_level=20\n");
  qoe_test::LogLines log;
  const std::string png = Png("steuern_grund");
  // Outside the track (x 200, x 433, y 220, y 230): nothing; inside: the level.
  std::string script = Place("GRUN") + Click(200, 225) + Click(433, 225) + Click(300, 220) + Click(300, 230);
  script += Click(432, 225) + "wait 100\n";
  EXPECT_EQ(Run(script + Click(201, 221) + "png " + png + "\n" + BoxExit(4) + Place("EXIT")), 2);
  EXPECT_TRUE(log.Has("ShowGrundsteuerRequester4: Stufe 99"));
  EXPECT_TRUE(log.Has("ShowGrundsteuerRequester4: Stufe 0"));
  EXPECT_EQ(log.Count("ShowGrundsteuerRequester4: Stufe"), 2);
  EXPECT_EQ(ChunkGet32(Outgoing().data(), 12), 0u);
  KeepPicture(png);
  Realm("taxes base_tax_level=20\n");
  EXPECT_EQ(Run(Place("GRUN") + Click(229 + 28, 229) + BoxExit(4) + Place("EXIT")), 2);
  EXPECT_EQ(ChunkGet32(Outgoing().data(), 12), BaseTaxLevelAt(257));
}

TEST_P(SteuernScreenRun, TheShownRequesters) {
  Realm("taxes judicial_tax=420 customs_rate=4 customs_tax=610 plant_tax_rate=2 animal_tax_rate=3 "
        "mineral_tax_rate=4 resource_tax=230\n");
  const std::string judicial = Png("steuern_justiz"), resources = Png("steuern_hilf");
  qoe_test::LogLines log;
  EXPECT_EQ(Run(Place("JUS2") + "png " + judicial + "\n" + BoxExit(1) + Place("HILF") + "png " + resources + "\n" +
                BoxExit(3) + Place("EXIT")),
            2);
  EXPECT_TRUE(log.Has("ShowGrundsteuerRequester: 1 offen"));
  EXPECT_TRUE(log.Has("ShowGrundsteuerRequester: 3 offen"));
  KeepPicture(judicial);
  KeepPicture(resources);
}

TEST_P(SteuernScreenRun, TheChurchTax) {
  // Without priests: the message.
  Realm("taxes has_priests=0\n");
  {
    qoe_test::LogLines log;
    EXPECT_EQ(Run(Place("KIRC") + "key enter\nwait 200\n" + Place("EXIT")), 2);
    EXPECT_TRUE(log.Has("SteuernScreen: Meldung 804"));
  }
  // With priests: the three answers (the buttons at y 218, 240, 262).
  Realm("taxes has_priests=1 base_tax_level=30\n");
  {
    qoe_test::LogLines log;
    EXPECT_EQ(Run(Place("KIRC") + Click(320, 262) + Place("KIRC") + Click(320, 240) + "key enter\nwait 200\n" +
                  Place("EXIT")),
              2);
    EXPECT_TRUE(log.Has("ShowKirchensteuerRequester: Wahl 3"));
    EXPECT_TRUE(log.Has("ShowKirchensteuerRequester: Wahl 2"));
    EXPECT_TRUE(log.Has("SteuernScreen: Meldung 804"));
  }
  Realm("taxes has_priests=1 base_tax_level=30\n");
  qoe_test::LogLines log;
  EXPECT_EQ(Run(Place("JUS1") + Place("KIRC") + Click(320, 218)), 1085);
  EXPECT_TRUE(log.Has("ShowKirchensteuerRequester: Wahl 1"));
  // The way to the gods screen keeps the visit's changes.
  ASSERT_EQ(Outgoing().size(), kTaxeSize);
  EXPECT_EQ(ChunkGet16(Outgoing().data(), 16), 1u);
  EXPECT_EQ(ChunkGet32(Outgoing().data(), 12), 30u);
}

TEST_P(SteuernScreenRun, WithoutAnInstalledGameNothingIsWritten) {
  Realm("taxes base_tax_level=20\n");
  for (uint32_t state : {0u, 1u}) {
    SCOPED_TRACE(state);
    CheckPrefs(PREFS_ACCOUNT_STATE, 1, state);
    EXPECT_EQ(Run(Place("JUS1") + Place("GRUN") + Click(300, 225) + BoxExit(4) + Place("EXIT")), 2);
    EXPECT_FALSE(fs::exists("Data/POP3Out/GameChunk.qoe"));
  }
}

TEST_P(SteuernScreenRun, TheScreensSounds) {
  Realm("");
  qoe_test::SoundRecorder sounds;
  EXPECT_EQ(Run("wait 3000\n" + Place("EXIT")), 2);
  const std::vector<uint32_t> started = sounds.StartedInOrder();
  ASSERT_FALSE(started.empty());
  for (uint32_t id : started) EXPECT_TRUE(id >= 17 && id <= 19) << id;
  EXPECT_TRUE(sounds.OnlyOpenedEffectsUsed());
}

INSTANTIATE_TEST_SUITE_P(Modes, SteuernScreenRun, testing::Values(0u, 4u), qoe_test::DisplayModeName);

}  // namespace
