// The dungeon view on the headless display, walked by script through the
// kit's dungeon: a corridor, a junction, a door closed and opened, a chest
// closed and opened, an exit two cells and one cell ahead, a trap ahead and
// the death in it. The PNGs are kept for a person to look at.
#include <gtest/gtest.h>

#include <string>

#include "screens/story/dungeon.h"
#include "tests/support/log_lines.h"
#include "tests/support/screen_fixture.h"
#include "tests/support/test_support.h"

namespace {

class DungeonViewRun : public qoe_test::ScreenTest {
 protected:
  void SetUp() override {
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit/Data/Dungeon/Dungeon.txt");
    qoe_test::CopyDataKit();
    ScreenTest::SetUp();
  }
  int32_t Run(const std::string& script) { return RunScreen(DungeonScreen, 3, "timer 0 100\nwait 2000\n" + script); }
  // A PNG of the screen under name; kept when the run is over.
  std::string Shot(const std::string& name) {
    shots_.push_back(Png(name));
    return "wait 300\npng " + shots_.back() + "\n";
  }
  void KeepShots() {
    for (const std::string& s : shots_) KeepPicture(s);
  }
  std::vector<std::string> shots_;
};

constexpr int kOpenX = 485, kOpenY = 377;

// From the entrance (58, 29) north: the corridor with the side way at two
// cells, the junction beside, the door, opened; back to the side way, west
// to the chest at (45, 28), opened; west two and south to the exit (43, 29).
TEST_P(DungeonViewRun, CorridorJunctionDoorChestAndExit) {
  std::string s = Shot("dv_corridor") + Keys("w") + Shot("dv_junction") + Keys("ww") + Shot("dv_door_closed");
  s += Click(kOpenX, kOpenY) + Shot("dv_door_open");
  s += Keys("s") + Keys("q");
  for (int i = 0; i < 13; ++i) s += "key up\n";
  s += Keys("q") + Shot("dv_chest_closed") + Click(kOpenX, kOpenY) + "wait 1500\nkey enter\n" + Shot("dv_chest_open");
  s += Keys("e") + Keys("ww") + Keys("q") + Shot("dv_exit_far") + Keys("w") + Shot("dv_exit_near") + Keys("w");
  s += "wait 500\n";
  qoe_test::LogLines log;
  EXPECT_EQ(Run(s), 3);
  EXPECT_TRUE(log.Has("DungeonScreen: Verlassen bei 43 28")) << "the walk did not reach the exit";
  KeepShots();
}

// East along the great hall, north to the trap at (70, 15): its outline
// ahead, then the step into it.
TEST_P(DungeonViewRun, ATrapAheadAndTheDeathInIt) {
  std::string s = Keys("www") + Click(kOpenX, kOpenY) + Keys("wwww") + Keys("e");
  for (int i = 0; i < 12; ++i) s += Keys("w");
  s += Keys("q") + Keys("wwwwww") + Shot("dv_trap_ahead") + Keys("w") + "wait 1500\n" + Shot("dv_trap_dead");
  s += "key enter\n";
  qoe_test::LogLines log;
  EXPECT_EQ(Run(s), 3);
  EXPECT_TRUE(log.Has("DungeonScreen: Verlassen bei 70 16"));
  KeepShots();
}

INSTANTIATE_TEST_SUITE_P(Modes, DungeonViewRun, testing::Values(0u, 4u), qoe_test::DisplayModeName);

}  // namespace
