// The dungeon screen on the headless display, driven by script through the
// kit's map: from the entrance to a chest (its gold box, PNG with the turned
// compass) and out by an exit; into a trap (the death picture); and a map
// file the loader refuses.
#include "screens/story/dungeon.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/display.h"
#include "platform/headless.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/system/input.h"
#include "tests/support/log_lines.h"
#include "tests/support/screen_fixture.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

class DungeonScreenRun : public qoe_test::ScreenTest {
 protected:
  void SetUp() override {
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit/Data/Dungeon/Dungeon.txt");
    qoe_test::CopyDataKit();
    ScreenTest::SetUp();
  }
  int32_t Run(const std::string& script) { return RunScreen(DungeonScreen, 3, "timer 0 100\nwait 2000\n" + script); }
};

// North twice, west 13 cells (arrow keys), south to the chest with 90 gold:
// its box; then west 2, south and out by the exit at (43, 29).
TEST_P(DungeonScreenRun, FromTheEntranceToAChestAndOut) {
  const std::string walked = Png("dungeon_walk"), chest = Png("dungeon_chest");
  std::string walk = Keys("ww") + Keys("q");
  for (int i = 0; i < 13; ++i) walk += "key up\n";
  walk += Keys("q") + Click(485, 377) + "png " + chest + "\nkey enter\n";
  walk += Keys("e") + Click(522, 282) + Click(522, 282) + "png " + walked + "\n";
  walk += Keys("q") + Keys("w") + "key down\nkey up\n" + Keys("w");
  walk += "wait 500\n";
  qoe_test::LogLines log;
  EXPECT_EQ(Run(walk), 3);
  EXPECT_TRUE(log.Has("DungeonScreen: Verlassen bei 43 28")) << "the walk did not reach the exit";
  KeepPicture(walked);
  KeepPicture(chest);
}

// East along the great hall and north into the trap at (70, 15).
TEST_P(DungeonScreenRun, ATrapKills) {
  const std::string dead = Png("dungeon_dead");
  std::string walk = Keys("www") + Click(485, 377) + Keys("wwww") + Keys("e");
  for (int i = 0; i < 12; ++i) walk += Keys("w");
  walk += Keys("q");
  for (int i = 0; i < 7; ++i) walk += Keys("w");
  walk += "png " + dead + "\nkey enter\n";
  qoe_test::LogLines log;
  EXPECT_EQ(Run(walk), 3);
  EXPECT_TRUE(log.Has("DungeonScreen: Verlassen bei 70 16"));
  KeepPicture(dead);
}

TEST_P(DungeonScreenRun, ARefusedMapFailsTheSetUp) {
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/Dungeon/Dungeon.txt", {'s', 'i', 'z', 'e', ' ', '3', '\n'}));
  qoe_test::LogLines log;
  EXPECT_EQ(Run("wait 200\n"), -1);
  EXPECT_TRUE(log.Has("DungeonScreen: Konnte Karte nicht laden!"));
}

INSTANTIATE_TEST_SUITE_P(Modes, DungeonScreenRun, testing::Values(0u, 4u), qoe_test::DisplayModeName);

}  // namespace
