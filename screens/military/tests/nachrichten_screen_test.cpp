// The news screen on the headless display over an installed realm (the demo
// realm's map with battles of every kind): the tabs, paging, the small map,
// the battle pictures of land, town and sea fights with their boxes drawn,
// the pirates' report without a picture, Escape ending the picture and the
// screen, a realm without fights and a game not installed. PNGs of each.
#include "screens/military/nachrichten.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/turns.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/checksum.h"
#include "routinen/system/prefs.h"
#include "routinen/system/sysrecords.h"
#include "screens/military/tests/demo_realm.h"
#include "tests/support/log_lines.h"
#include "tests/support/screen_fixture.h"
#include "tests/support/sound_recorder.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

// Fights of the own lord (1001) with his neighbours 2002 and 2003, in chunk
// order: land (own attack won, then attacked and held, then an own attack
// undecided in the first one's map part), a town attacked, a sea fight and
// pirates met by an own ship.
const char kBattles[] = R"(
battle attacker.owner=1001 attacker.type=1 attacker.number=3 attacker.x=6402 attacker.y=3197 target.owner=2002 target.type=2 target.number=9 target.x=6405 target.y=3195 kind=1 attacker_class=3 target_class=2 attacker_damage=5 target_damage=9 attacker_dead=120 target_dead=400 attacker_survivors=880 target_survivors=100
battle attacker.owner=2003 attacker.type=1 attacker.number=4 attacker.x=6388 attacker.y=3206 target.owner=1001 target.type=1 target.number=5 target.x=6390 target.y=3205 kind=0 attacker_class=2 target_class=4 attacker_damage=8 target_damage=3 attacker_dead=300 target_dead=60 attacker_survivors=200 target_survivors=700
battle attacker.owner=1001 attacker.type=5 attacker.number=12 attacker.x=6409 attacker.y=3191 target.owner=2002 target.type=3 target.number=7 target.x=6411 target.y=3190 kind=2 attacker_class=3 target_class=3 attacker_damage=6 target_damage=6 attacker_dead=80 target_dead=85 attacker_survivors=400 target_survivors=390
battle attacker.owner=2003 attacker.type=1 attacker.number=4 attacker.x=6397 attacker.y=3200 target.owner=1001 target.type=0 target.number=1 target.x=6398 target.y=3199 kind=4 attacker_class=2 target_class=5 attacker_damage=9 target_damage=4 attacker_dead=500 target_dead=90 attacker_survivors=150 target_survivors=900
battle attacker.owner=2003 attacker.type=17 attacker.number=8 attacker.x=6378 attacker.y=3200 target.owner=1001 target.type=18 target.number=32 target.x=6380 target.y=3195 kind=6 attacker_class=17 target_class=18 attacker_damage=3 target_damage=1 attacker_dead=6 target_dead=2 attacker_survivors=40 target_survivors=55
battle attacker.owner=1001 attacker.type=18 attacker.number=33 attacker.x=6377 attacker.y=3190 target.owner=0 target.type=17 target.number=1 target.x=6376 target.y=3189 kind=7 attacker_class=18 target_class=10 attacker_damage=1 target_damage=6 attacker_dead=1 target_dead=20 attacker_survivors=50 target_survivors=0
)";

class NewsScreen : public qoe_test::ScreenTest {
 protected:
  void SetUp() override {
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit/Data/Screendat/Nachrichten.dat");
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/tools/turnbuilder/turnbuilder");
    qoe_test::CopyDataKit();
    ScreenTest::SetUp();
  }
  // The demo realm without its own fights, with these instead.
  static void Install(const std::string& battles) { qoe_test::InstallDemoRealmWith("battle", battles); }
  std::string Tab(int i) const { return Click(185, 72 + 34 * i) + "wait 300\n"; }
  std::string Forw() const { return Click(224, 433) + "wait 300\n"; }
  std::string Back() const { return Click(139, 433) + "wait 300\n"; }
  std::string Eye() const { return Click(185, 182) + "wait 300\n"; }
  std::string Exit() const { return Click(560, 433); }
  int32_t Run(const std::string& script) {
    return RunScreen(NachrichtenScreen, 2, "timer 0 100\nwait 1500\n" + script + "wait 500\n");
  }
  // Each battle's boxes have counted up and the verdict stands.
  static std::string WholeBattle(const std::string& png) { return "wait 30000\npng " + png + "\nkey esc\nwait 500\n"; }
};

TEST_P(NewsScreen, LandReportsPageAndShowTheirBattle) {
  Install(kBattles);
  const std::string first = Png("news_land"), battle = Png("news_battle_land"), back = Png("news_after_battle");
  const std::string attacked = Png("news_land_attacked");
  qoe_test::LogLines log;
  qoe_test::SoundRecorder sounds;
  EXPECT_EQ(Run(Tab(0) + "png " + first + "\n" + Eye() + WholeBattle(battle) + "png " + back + "\n" + Forw() +
                "png " + attacked + "\n" + Eye() + "wait 2000\nkey esc\nwait 500\n" + Forw() + Forw() + Back() + Back() + Exit()),
            2);
  EXPECT_TRUE(log.Has("ShowSchlacht: Bild 472, Art 1"));  // own attack won
  EXPECT_TRUE(log.Has("ShowSchlacht: Bild 472, Art 0"));  // attacked, held: the other side's view
  // Fights 1 and 3 share a map part: the view moves between them; fight 2,
  // and the first report after a battle picture, load their part.
  EXPECT_EQ(log.Count("ShowBattles: Kartenteil 80/79 geladen"), 2);
  EXPECT_EQ(log.Count("ShowBattles: Kartenteil 79/80 geladen"), 2);
  EXPECT_EQ(log.Count("ShowBattles: Karte auf"), 2);
  EXPECT_TRUE(log.Has("ShowBattles: Karte auf 6404/3194 verschoben"));
  EXPECT_EQ(sounds.Count(SFX_CALL_LOOP, 94), 2u);
  EXPECT_TRUE(sounds.OnlyOpenedEffectsUsed());
  EXPECT_GT(sounds.StartedInOrder().size(), 2u);  // cries during the long battle
  KeepPicture(first);
  KeepPicture(battle);
  KeepPicture(back);
  KeepPicture(attacked);
}

TEST_P(NewsScreen, TownAndSeaBattlesHaveTheirPictures) {
  Install(kBattles);
  const std::string town = Png("news_battle_town"), sea = Png("news_battle_sea"), report = Png("news_sea");
  const std::string town_report = Png("news_town");
  qoe_test::LogLines log;
  EXPECT_EQ(Run(Tab(1) + "png " + town_report + "\n" + Eye() + WholeBattle(town) + Tab(2) + "png " + report + "\n" + Eye() + WholeBattle(sea) +
                Exit()),
            2);
  EXPECT_TRUE(log.Has("ShowSchlacht: Bild 499, Art 4"));
  EXPECT_TRUE(log.Has("ShowSchlacht: Bild 837, Art 6"));
  KeepPicture(town);
  KeepPicture(town_report);
  KeepPicture(sea);
  KeepPicture(report);
}

TEST_P(NewsScreen, WithoutSoundsTheBattleStillShows) {
  Install(kBattles);
  // Effects switched on, but their index is gone: none of them opens.
  fs::remove("Data/SfxPath");
  const uint32_t status = QoESystemPtr->SoundStatus.load();
  QoESystemPtr->SoundStatus.store(status | SOUND_SOUNDFX);
  qoe_test::LogLines log;
  qoe_test::SoundRecorder sounds;
  const int32_t next = Run(Tab(0) + Eye() + "wait 8000\nkey esc\nwait 500\n" + Exit());
  QoESystemPtr->SoundStatus.store(status);
  EXPECT_EQ(next, 2);
  EXPECT_TRUE(log.Has("NachrichtenScreen: Konnte SoundSfx nicht"));
  EXPECT_TRUE(log.Has("ShowSchlacht: Bild 472, Art 1"));
  EXPECT_EQ(sounds.Count(SFX_CALL_LOOP, 94), 0u);  // nothing played that did not open
  for (uint32_t id = 95; id <= 98; ++id) EXPECT_EQ(sounds.Started(id), 0u) << id;
}

TEST_P(NewsScreen, PiratesHaveNoPictureAndEscapeLeaves) {
  Install(kBattles);
  const std::string png = Png("news_pirates");
  qoe_test::LogLines log;
  // Tab 2's second fight (wrapping back from the first) is the pirates'.
  EXPECT_EQ(Run(Tab(2) + Back() + Back() + Forw() + "png " + png + "\n" + Eye() + "key esc\n"), 2);
  EXPECT_FALSE(log.Has("ShowSchlacht:"));
  KeepPicture(png);
}

TEST_P(NewsScreen, NoFightsGiveTheGreetingAndNoPicture) {
  Install("");
  const std::string png = Png("news_none");
  qoe_test::LogLines log;
  EXPECT_EQ(Run(Tab(0) + Eye() + "png " + png + "\n" + Exit()), 2);
  EXPECT_FALSE(log.Has("ShowSchlacht:"));
  KeepPicture(png);
}

TEST_P(NewsScreen, WithoutAnInstalledGameNothingIsShown) {
  Install(kBattles);
  ASSERT_EQ(CheckPrefs(PREFS_ACCOUNT_STATE, 1, 1), 1u);
  qoe_test::LogLines log;
  EXPECT_EQ(Run(Tab(0) + Eye() + Exit()), 2);
  EXPECT_FALSE(log.Has("ShowSchlacht:"));
}

// A damaged pool: the player is told as the screen opens, the report box
// says the reports cannot be shown (never "no fights"), and the log names
// the battle chunk.
TEST_P(NewsScreen, ADamagedPoolIsToldAndShowsNoReport) {
  Install(kBattles);
  std::vector<uint8_t> bytes = qoe_test::ReadFileBytes("Data/POP3In/GameChunk.qoe");
  ASSERT_GT(bytes.size(), 100u);
  bytes.back() ^= 0x5A;  // the checksum fails
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/POP3In/GameChunk.qoe", bytes));
  const std::string png = Png("news_damaged");
  qoe_test::LogLines log;
  EXPECT_EQ(Run("key enter\nwait 300\n" + Tab(0) + Eye() + "png " + png + "\n" + Exit()), 2);
  EXPECT_TRUE(log.Has("Beschaedigte Datei gemeldet: .\\Data\\POP3In\\GameChunk.qoe"));
  EXPECT_TRUE(log.Has("ShowBattles : Konnte KriegsChunk nicht"));
  EXPECT_FALSE(log.Has("TaxeChunk"));
  EXPECT_FALSE(log.Has("ShowSchlacht:"));
  KeepPicture(png);
}

// A KRIG whose count runs past its end, in a pool whose checksum is right
// (as the server made it): its whole reports are shown and the rest is told.
TEST_P(NewsScreen, AKrigCountPastItsEndShowsItsWholeReports) {
  Install(kBattles);
  std::vector<uint8_t> bytes = qoe_test::ReadFileBytes("Data/POP3In/GameChunk.qoe");
  size_t pos = 0;
  while (pos + 12 <= bytes.size() && std::memcmp(&bytes[pos], "KRIG", 4) != 0)
    pos += 12 + GetBE32(&bytes[pos + 8]);
  ASSERT_LT(pos + 16, bytes.size());
  ASSERT_EQ(GetBE32(&bytes[pos + 12]), 6u);
  PutBE32(&bytes[pos + 12], 9);
  const uint32_t info = 12 + GetBE32(&bytes[8]);
  PutBE32(&bytes[INFO_CHECKSUM], Crc32(bytes.data() + info, static_cast<uint32_t>(bytes.size() - info)));
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/POP3In/GameChunk.qoe", bytes));
  ASSERT_EQ(ChunkState("KRIG", ReceivedPoolPath), CHUNK_DAMAGED);
  qoe_test::LogLines log;
  EXPECT_EQ(Run("key enter\nwait 300\n" + Tab(1) + Eye() + "wait 2000\nkey esc\nwait 500\n" + Exit()), 2);
  EXPECT_TRUE(log.Has("Beschaedigte Datei gemeldet: .\\Data\\POP3In\\GameChunk.qoe"));
  EXPECT_TRUE(log.Has("Chunk KRIG in .\\Data\\POP3In\\GameChunk.qoe nennt 9 Eintraege, 6 sind ganz"));
  EXPECT_TRUE(log.Has("ShowSchlacht: Bild 499, Art 4"));  // the town's fight, a whole record
}

INSTANTIATE_TEST_SUITE_P(Modes, NewsScreen, testing::Values(0u, 4u), qoe_test::DisplayModeName);

}  // namespace
