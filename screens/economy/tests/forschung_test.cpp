// The research screen: the field table, the levels and the gauge over
// hostile FORS bytes, the cost in 64 bits; headless runs on turn-builder
// realms: an order in each field, a second order refused (also after
// leaving and entering again), the top level, a realm without FORS, account
// states 0 to 2, the rain kept off the requester and its help, the sounds,
// and pictures of the screen and of a requester.
#include "screens/economy/forschung.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/turns.h"
#include "routinen/gui/layout.h"
#include "routinen/system/catalog.h"
#include "routinen/system/prefs.h"
#include "tests/support/log_lines.h"
#include "tests/support/screen_fixture.h"
#include "tests/support/sound_recorder.h"
#include "tests/support/test_support.h"
#include "tools/turnbuilder/turnbuilder.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> Fors(int8_t order, int8_t done, int8_t rounds, std::vector<int8_t> levels) {
  std::vector<uint8_t> f(kForsSize, 0);
  f[12] = static_cast<uint8_t>(order);
  f[13] = static_cast<uint8_t>(done);
  f[14] = static_cast<uint8_t>(rounds);
  for (size_t i = 0; i < levels.size() && i < 7; ++i) f[15 + i] = static_cast<uint8_t>(levels[i]);
  return f;
}

TEST(ForschungTables, FieldsInTheScreensOrder) {
  // field, name, level byte, icon, first advice, top text
  const uint32_t kRows[7][5] = {{192, 16, 163, 1162, 265}, {193, 15, 164, 1204, 269}, {194, 18, 165, 1169, 271},
                                {195, 21, 166, 1197, 270}, {196, 19, 167, 1190, 266}, {197, 17, 168, 1183, 268},
                                {198, 20, 169, 1176, 267}};
  for (uint32_t g = 0; g < 7; ++g) {
    const ForschungField* f = ForschungFieldRow(g);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->name, kRows[g][0]);
    EXPECT_EQ(f->levelOffset, kRows[g][1]);
    EXPECT_EQ(f->icon, kRows[g][2]);
    EXPECT_EQ(f->advice, kRows[g][3]);
    EXPECT_EQ(f->topText, kRows[g][4]);
    EXPECT_STREQ(GetCatalogStr(f->topText), "My Lord,\n\nwe are unable to research\nfurther in this field !\n");
    for (uint32_t l = 0; l < 7; ++l) EXPECT_GT(std::strlen(GetCatalogStr(f->advice + l)), 80u) << g << " " << l;
  }
  EXPECT_EQ(ForschungFieldRow(7), nullptr);
}

TEST(ForschungTables, GadgetFields) {
  Gadget g{};
  const char* ids[] = {"0000", "0006", "0007", "EXIT", "00 1", "9999"};
  const int32_t want[] = {0, 6, -1, -1, -1, -1};
  for (int i = 0; i < 6; ++i) {
    std::memcpy(g.id, ids[i], 4);
    EXPECT_EQ(ForschungGadgetField(&g), want[i]) << ids[i];
  }
  EXPECT_EQ(ForschungGadgetField(nullptr), -1);
}

TEST(ForschungTables, LevelsAndGaugeOverHostileBytes) {
  // Levels: the field's own byte, limited to 0..7.
  std::vector<uint8_t> f = Fors(0, 0, 0, {3, -5, 9, 127, -128, 7, 0});
  EXPECT_EQ(ForschungLevel(f.data(), 1), 3u);  // alchemy +15
  EXPECT_EQ(ForschungLevel(f.data(), 0), 0u);  // astronomy +16 = -5
  EXPECT_EQ(ForschungLevel(f.data(), 5), 7u);  // art of battle +17 = 9
  EXPECT_EQ(ForschungLevel(f.data(), 2), 7u);  // biology +18 = 127
  EXPECT_EQ(ForschungLevel(f.data(), 4), 0u);  // healing +19 = -128
  EXPECT_EQ(ForschungLevel(f.data(), 6), 7u);  // technics +20 = 7
  EXPECT_EQ(ForschungLevel(f.data(), 3), 0u);  // theology +21 = 0
  // The gauge: 13 - (12 / +14) x +13 for the ordered field only.
  struct Case {
    int8_t order, done, rounds;
    uint32_t field, step;
  } const kCases[] = {
      {3, 2, 4, 2, 7},     // the table's example
      {3, 2, 4, 1, 0},     // another field
      {0, 2, 4, 0, 0},     // nothing ordered
      {1, 0, 4, 0, 0},     // no round done
      {1, 2, 0, 0, 0},     // no rounds: no division by zero
      {1, 1, 12, 0, 12},   // one of twelve
      {1, 12, 12, 0, 1},
      {1, 5, 2, 0, 0},     // done above the rounds: limited to 0
      {1, 2, -3, 0, 13},   // negative rounds: limited to 13
      {1, -4, 3, 0, 13},
      {1, 127, 1, 0, 0},
      {-128, 1, 1, 0, 0},
  };
  for (const Case& c : kCases) {
    f = Fors(c.order, c.done, c.rounds, {});
    EXPECT_EQ(ForschungGaugeStep(f.data(), c.field), c.step)
        << int(c.order) << " " << int(c.done) << " " << int(c.rounds) << " field " << c.field;
  }
  EXPECT_EQ(ForschungGaugeStep(nullptr, 0), 0u);
  EXPECT_EQ(ForschungLevel(nullptr, 0), 0u);
}

TEST(ForschungTables, CostIn64Bits) {
  struct Case {
    uint32_t inhabitants, confidence, level, cost;
  } const kCases[] = {
      {10000, 100, 0, 25000},           // the example: t 250, a 2,500, x 1 x 4
      {10000, 100, 1, 100000},          // L 2: 6,250 x 2 x 8
      {10000, 0, 0, 2500u * 25000u / 100u * 4u},  // confidence 0 counts as 1
      {10000, 1, 0, 2500u * 25000u / 100u * 4u},
      {1000000, 1, 0, 250000000},       // a x t = 6.25e9: the u32 formula wraps here
      {1000000, 1, 6, 0xFFFFFFFFu},     // 62.5e6 x 7 x 28: saturates
      {0xFFFFFFFFu, 1, 6, 0xFFFFFFFFu},
      {0, 100, 3, 0},
      {399, 100, 0, 99u / 1u * 250u / 100u * 4u},  // a 99, t 250: 247 x 4
      {10000, 25001, 0, 0},             // t 0
  };
  for (const Case& c : kCases)
    EXPECT_EQ(ForschungCost(c.inhabitants, c.confidence, c.level), c.cost)
        << c.inhabitants << " " << c.confidence << " " << c.level;
}

// ---- on the headless display -------------------------------------------------------

constexpr char kRealm[] =
    "player id=1001 name=\"Harald\"\n"
    "turn year=1004 quarter=1\n"
    "land inhabitants=10000 faith=100 realm_points=3\n"
    "korn weather=0\n";

class ForschungScreenRun : public qoe_test::ScreenTest {
 protected:
  void SetUp() override {
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit/Data/Screendat/ForschungReq.dat");
    qoe_test::CopyDataKit();
    fs::create_directories("Data/POP3In");
    fs::create_directories("Data/POP3Out");
    CheckPrefs(PREFS_ACCOUNT_STATE, 1, 2);
    ScreenTest::SetUp();
  }
  // The received pool of a realm: the base and the extra lines.
  void Realm(const std::string& extra) {
    ::Realm realm;
    std::string err;
    ASSERT_TRUE(ParseRealm(std::string(kRealm) + extra, "research.realm", &realm, &err)) << err;
    ASSERT_TRUE(qoe_test::WriteFileBytes("Data/POP3In/GameChunk.qoe", BuildTurnPool(realm)));
    fs::remove("Data/POP3Out/GameChunk.qoe");
  }
  // The field gadget's place, the requester's buttons.
  std::string Field(uint32_t g) const {
    static const int kAt[7][2] = {{85, 135}, {235, 175}, {110, 392}, {555, 135}, {405, 175}, {555, 392}, {292, 410}};
    return Click(kAt[g][0], kAt[g][1]) + "wait 300\n";
  }
  std::string Ok() const { return Click(80 + 239, 62 + 331) + "wait 300\n"; }
  std::string Help() const { return Click(80 + 63, 62 + 331) + "wait 300\n"; }
  std::string Close() const { return Click(80 + 415, 62 + 331) + "wait 300\n"; }
  std::string Exit() const { return Click(592, 282); }
  int32_t Run(const std::string& script) { return RunScreen(ForschungScreen, 2, "timer 0 100\nwait 800\n" + script); }
  static std::vector<uint8_t> Outgoing() {
    LoadedChunk f("FORS", OutgoingPoolPath);
    if (!f.p) return {};
    return std::vector<uint8_t>(f.p, f.p + 12 + f.len());
  }
};

TEST_P(ForschungScreenRun, AnOrderInEachFieldWritesItsNumber) {
  Realm("research alchemy=1 astronomy=2 art_of_battle=3 biology=4 healing=5 technics=6 theology=0\n");
  for (uint32_t g = 0; g < 7; ++g) {
    SCOPED_TRACE(g);
    fs::remove("Data/POP3Out/GameChunk.qoe");
    qoe_test::LogLines log;
    EXPECT_EQ(Run(Field(g) + Ok() + "key enter\nwait 300\n" + Exit()), 2);
    EXPECT_TRUE(log.Has("StartResearchOrder: Forschung " + std::to_string(g + 1) + " bestellt"));
    const std::vector<uint8_t> f = Outgoing();
    ASSERT_EQ(f.size(), kForsSize);
    EXPECT_EQ(f[12], g + 1);
    // The levels stay the received ones.
    EXPECT_EQ(f[15], 1);
    EXPECT_EQ(f[16], 2);
    EXPECT_EQ(f[20], 6);
  }
}

// The demo realm of the start command runs no research in its first turn,
// so the player can order one there.
TEST_P(ForschungScreenRun, TheDemoRealmTakesAnOrder) {
  ::Realm realm;
  std::string err;
  ASSERT_TRUE(LoadRealmFile(qoe_test::SourceDir() + "/tools/turnbuilder/realms/demo.realm", &realm, &err)) << err;
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/POP3In/GameChunk.qoe", BuildTurnPool(realm)));
  qoe_test::LogLines log;
  EXPECT_EQ(Run(Field(0) + Ok() + "key enter\nwait 300\n" + Exit()), 2);
  EXPECT_TRUE(log.Has("StartResearchOrder: Forschung 1 bestellt"));
  const std::vector<uint8_t> f = Outgoing();
  ASSERT_EQ(f.size(), kForsSize);
  EXPECT_EQ(f[12], 1);
}

TEST_P(ForschungScreenRun, TheCostAsked) {
  Realm("research astronomy=1\n");
  qoe_test::LogLines log;
  // Astronomy at level 1 (L 2): 6,250 x 2 x 8; declined: nothing written.
  EXPECT_EQ(Run(Field(0) + Ok() + "key esc\nwait 300\n" + Exit()), 2);
  EXPECT_TRUE(log.Has("StartResearchOrder: Feld 0, Kosten 100000"));
  EXPECT_TRUE(Outgoing().empty());
  Realm("research alchemy=0\n");
  qoe_test::LogLines log2;
  EXPECT_EQ(Run(Field(1) + Ok() + "key esc\nwait 300\n" + Exit()), 2);
  EXPECT_TRUE(log2.Has("StartResearchOrder: Feld 1, Kosten 25000"));
}

TEST_P(ForschungScreenRun, ASecondOrderIsRefusedAlsoAfterLeaving) {
  Realm("research biology=2\n");
  {
    qoe_test::LogLines log;
    EXPECT_EQ(Run(Field(2) + Ok() + "key enter\nwait 300\n" + Field(4) + Ok() + "key enter\nwait 300\n" + Exit()), 2);
    EXPECT_TRUE(log.Has("StartResearchOrder: Forschung 3 bestellt"));
    EXPECT_TRUE(log.Has("ForschungsScreen: Meldung 673"));
  }
  ReopenHeadlessScreen();
  qoe_test::LogLines log;
  EXPECT_EQ(Run(Field(6) + Ok() + "key enter\nwait 300\n" + Exit()), 2);
  EXPECT_TRUE(log.Has("ForschungsScreen: Meldung 673"));
  EXPECT_FALSE(log.Has("StartResearchOrder: Feld"));
  EXPECT_EQ(Outgoing()[12], 3);
}

TEST_P(ForschungScreenRun, TheTopLevelShowsItsTextAndRefuses) {
  Realm("research theology=7\n");
  qoe_test::LogLines log;
  const std::string png = Png("forschung_top");
  EXPECT_EQ(Run(Field(3) + "png " + png + "\n" + Ok() + "key enter\nwait 300\n" + Exit()), 2);
  EXPECT_TRUE(log.Has("ForschungsRequester: Feld 3, Stufe 7, Anzeige 0, Text 270"));
  EXPECT_TRUE(log.Has("ForschungsScreen: Meldung 1015"));
  EXPECT_TRUE(Outgoing().empty());
  KeepPicture(png);
}

TEST_P(ForschungScreenRun, ARealmWithoutForsStartsAtZeroAndCreatesIt) {
  Realm("");
  qoe_test::LogLines log;
  EXPECT_EQ(Run(Field(5) + Ok() + "key enter\nwait 300\n" + Exit()), 2);
  EXPECT_TRUE(log.Has("ForschungsRequester: Feld 5, Stufe 0, Anzeige 0, Text 1183"));
  std::vector<uint8_t> want = Fors(6, 0, 0, {});
  std::memcpy(want.data(), "FORSV001", 8);
  want[8] = 16;  // the length in host order
  EXPECT_EQ(Outgoing(), want);
}

TEST_P(ForschungScreenRun, HostileBytesDrawOnlyTheirRanges) {
  Realm("");
  uint8_t* f = AllocChunk("FORS", "V001", 16);
  f[12] = 1;
  f[13] = 9;     // 13 - (12 / -3) x 9: far above the gauge's steps
  f[14] = 0xFD;  // -3
  f[16] = 0x80;  // astronomy -128
  f[15] = 100;   // alchemy 100
  ASSERT_NE(AddChunkPool(f, ReceivedPoolPath), 0);
  FreeChunk(f);
  qoe_test::LogLines log;
  const std::string png = Png("forschung_hostile");
  EXPECT_EQ(Run(Field(0) + Close() + Field(1) + "png " + png + "\n" + Close() + Exit()), 2);
  EXPECT_TRUE(log.Has("ForschungsRequester: Feld 0, Stufe 0, Anzeige 13, Text 1162"));
  EXPECT_TRUE(log.Has("ForschungsRequester: Feld 1, Stufe 7, Anzeige 0, Text 269"));
  EXPECT_FALSE(log.Has("BlitObjekt: Konnte"));
  KeepPicture(png);
}

TEST_P(ForschungScreenRun, TheGaugeOfARunningResearch) {
  Realm("research research=3 researched=2 still_needed=4 biology=3 astronomy=1 alchemy=2 healing=4 technics=5 "
        "art_of_battle=6 theology=1\n");
  qoe_test::LogLines log;
  const std::string screen = Png("forschung"), requester = Png("forschung_requester");
  EXPECT_EQ(Run("png " + screen + "\n" + Field(2) + "png " + requester + "\n" + Close() + Exit()), 2);
  EXPECT_TRUE(log.Has("ForschungsRequester: Feld 2, Stufe 3, Anzeige 7, Text 1172"));
  KeepPicture(screen);
  KeepPicture(requester);
}

TEST_P(ForschungScreenRun, AccountStatesZeroAndOneOrderNothing) {
  Realm("research astronomy=4\n");
  for (uint32_t state : {0u, 1u}) {
    SCOPED_TRACE(state);
    CheckPrefs(PREFS_ACCOUNT_STATE, 1, state);
    qoe_test::LogLines log;
    EXPECT_EQ(Run(Field(0) + Ok() + "key enter\nwait 300\n" + Exit()), 2);
    // State 0 reads nothing (a zero FORS); state 1 reads the levels.
    EXPECT_TRUE(log.Has(std::string("ForschungsRequester: Feld 0, Stufe ") + (state ? "4" : "0")));
    EXPECT_FALSE(log.Has("StartResearchOrder"));
    EXPECT_TRUE(Outgoing().empty());
  }
}

TEST_P(ForschungScreenRun, TheRainKeepsOffTheRequesterAndItsHelp) {
  Realm("research astronomy=1\n");
  qoe_test::LogLines log;
  EXPECT_EQ(Run(Field(0) + Help() + "key esc\nwait 300\n" + Close() + Exit()), 2);
  EXPECT_TRUE(log.Has("ForschungsRequester: Regen frei 80 62 559 417"));
  EXPECT_TRUE(log.Has("ForschungsRequester: Regen frei 66 50 573 417"));
  EXPECT_TRUE(log.Has("ForschungsRequester: Regen frei Grundliste"));
}

TEST_P(ForschungScreenRun, TheScreensSounds) {
  Realm("research astronomy=1\n");
  qoe_test::SoundRecorder sounds;
  // Three seconds: the fountain's loop at once, the flask after 10 ticks.
  EXPECT_EQ(Run("wait 3000\n" + Field(0) + Close() + Exit()), 2);
  const std::vector<uint32_t> started = sounds.StartedInOrder();
  ASSERT_GE(started.size(), 2u);
  EXPECT_EQ(started[0], 26u);
  EXPECT_EQ(started[1], 25u);
  EXPECT_EQ(sounds.Count(SFX_CALL_LOOP, 26), 1u);
  // Effect 15 is not the screen's: never touched.
  EXPECT_EQ(sounds.Count(SFX_CALL_PLAY, 15) + sounds.Count(SFX_CALL_LOOP, 15) + sounds.Count(SFX_CALL_STOP, 15), 0u);
  EXPECT_TRUE(sounds.OnlyOpenedEffectsUsed());
}

INSTANTIATE_TEST_SUITE_P(Modes, ForschungScreenRun, testing::Values(0u, 4u), qoe_test::DisplayModeName);

}  // namespace
