// The dungeon screen on the headless display, driven by script through the
// kit's map: from the entrance to a chest (its gold box, PNG with the turned
// compass) and out by an exit; into a trap (the death picture); a map file
// the loader refuses. The view walked through a corridor, a junction, a door
// closed and opened, a chest closed and opened, an exit two cells and one
// cell ahead, a trap ahead; and scenes of its own with doors, chests and
// traps at every side. The PNGs are kept for a person to look at.
#include "screens/story/dungeon.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/display.h"
#include "platform/headless.h"
#include "platform/pngfile.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/system/fonts.h"
#include "routinen/system/input.h"
#include "screens/common/screenbase.h"
#include "tests/support/legibility.h"
#include "tests/support/log_lines.h"
#include "tests/support/screen_fixture.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

constexpr int kOpenX = 485, kOpenY = 377;  // the OPEN gadget

class DungeonScreenRun : public qoe_test::ScreenTest {
 protected:
  void SetUp() override {
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit/Data/Dungeon/Dungeon.txt");
    qoe_test::CopyDataKit();
    ScreenTest::SetUp();
  }
  int32_t Run(const std::string& script) { return RunScreen(DungeonScreen, 3, "timer 0 100\nwait 2000\n" + script); }
  // A PNG of the screen under name, kept by KeepShots when the run is over.
  std::string Shot(const std::string& name) {
    shots_.push_back(Png(name));
    return "wait 300\npng " + shots_.back() + "\n";
  }
  void KeepShots() {
    for (const std::string& s : shots_) KeepPicture(s);
  }
  std::vector<std::string> shots_;
};

// North twice, west 13 cells (arrow keys), south to the chest with 90 gold:
// its box; then west 2, south and out by the exit at (43, 29).
TEST_P(DungeonScreenRun, FromTheEntranceToAChestAndOut) {
  const std::string walked = Png("dungeon_walk"), chest = Png("dungeon_chest");
  std::string walk = Keys("ww") + Keys("q");
  for (int i = 0; i < 13; ++i) walk += "key up\n";
  walk += Keys("q") + Click(kOpenX, kOpenY) + "png " + chest + "\nkey enter\n";
  walk += Keys("e") + Click(522, 282) + Click(522, 282) + "png " + walked + "\n";
  walk += Keys("q") + Keys("w") + "key down\nkey up\n" + Keys("w");
  walk += "wait 500\n";
  qoe_test::LogLines log;
  EXPECT_EQ(Run(walk), 3);
  EXPECT_TRUE(log.Has("DungeonScreen: Verlassen bei 43 28")) << "the walk did not reach the exit";
  KeepPicture(walked);
  KeepPicture(chest);
}

// The same way with the 13 cells west walked by the arrow held down: its
// press and twelve repeats (500 ms to the first, then one every 40 ms), a
// step each.
TEST_P(DungeonScreenRun, AHeldArrowWalksOnCellByCell) {
  static_assert(kKeyRepeatDelayMs + 11 * kKeyRepeatIntervalMs == 940, "twelve repeats within 960 ms");
  std::string walk = Keys("ww") + Keys("q") + "hold up 960\n";
  walk += Keys("q") + Click(kOpenX, kOpenY) + "key enter\n";
  walk += Keys("e") + Click(522, 282) + Click(522, 282);
  walk += Keys("q") + Keys("w") + "key down\nkey up\n" + Keys("w");
  walk += "wait 500\n";
  qoe_test::LogLines log;
  EXPECT_EQ(Run(walk), 3);
  EXPECT_TRUE(log.Has("DungeonScreen: Verlassen bei 43 28")) << "the walk did not reach the exit";
}

TEST_P(DungeonScreenRun, ARefusedMapFailsTheSetUp) {
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/Dungeon/Dungeon.txt", {'s', 'i', 'z', 'e', ' ', '3', '\n'}));
  qoe_test::LogLines log;
  EXPECT_EQ(Run("wait 200\n"), -1);
  EXPECT_TRUE(log.Has("DungeonScreen: Konnte Karte nicht laden!"));
}

// From the entrance (58, 29) north: the corridor with the side way at two
// cells, the junction beside, the door, opened; back to the side way, west
// to the chest at (45, 28), opened; west two and south to the exit (43, 29).
TEST_P(DungeonScreenRun, CorridorJunctionDoorChestAndExit) {
  std::string s = Shot("dv_corridor") + Keys("w") + Shot("dv_junction") + Keys("ww") + Shot("dv_door_closed");
  s += Click(kOpenX, kOpenY) + Shot("dv_door_open");
  s += Keys("s") + Keys("q") + Shot("dv_long_corridor");
  for (int i = 0; i < 13; ++i) s += "key up\n";
  s += Keys("q") + Shot("dv_chest_closed") + Click(kOpenX, kOpenY) + "wait 1500\nkey enter\n" + Shot("dv_chest_open");
  s += Keys("e") + Keys("ww") + Keys("q") + Shot("dv_exit_far") + Keys("w") + Shot("dv_exit_near") + Keys("w");
  s += "wait 500\n";
  qoe_test::LogLines log;
  EXPECT_EQ(Run(s), 3);
  EXPECT_TRUE(log.Has("DungeonScreen: Verlassen bei 43 28")) << "the walk did not reach the exit";
  KeepShots();
}

// The chest at (45, 28) before and after it was opened (its gold taken): the
// opened chest shows its empty inside, no more gold in the view than the
// closed chest's bands and lock plate show (pixels of a golden hue in the view
// window, 400 x 300 at (25, 43) of the game area).
int GoldenPixels(const std::string& png, int dx, int dy) {
  std::vector<uint32_t> px;
  uint32_t w = 0, h = 0;
  if (!ReadPngRGB(png.c_str(), &px, &w, &h)) return -1;
  int n = 0;
  for (int y = 43 + dy; y < 343 + dy; ++y)
    for (int x = 25 + dx; x < 425 + dx; ++x) {
      const uint32_t p = px[(size_t)y * w + x];
      const int r = p >> 16 & 255, g = p >> 8 & 255, b = p & 255;
      n += r > 120 && r >= g && g >= b && r - b > 80 && g * 100 >= r * 80;
    }
  return n;
}

TEST_P(DungeonScreenRun, AnEmptiedChestShowsNoGold) {
  std::string s = Keys("www") + Keys("s") + Keys("q");
  for (int i = 0; i < 13; ++i) s += "key up\n";
  s += Keys("q") + Shot("dv_gold_closed") + Click(kOpenX, kOpenY) + "wait 1500\nkey enter\n" + Shot("dv_gold_open");
  s += Keys("e") + Keys("ww") + Keys("q") + Keys("ww") + "wait 500\n";
  EXPECT_EQ(Run(s), 3);
  KeepShots();
  const int closed = GoldenPixels(Png("dv_gold_closed"), dx_, dy_), open = GoldenPixels(Png("dv_gold_open"), dx_, dy_);
  ASSERT_GT(closed, 0);
  EXPECT_LE(open, closed) << "gold in the opened, empty chest: " << open << " golden pixels, closed " << closed;
}

// The positions box over the map panel: the player's and the view's
// places read on its ground at a contrast of at least 3 : 1.
TEST_P(DungeonScreenRun, ThePositionsReadOnTheirBox) {
  EXPECT_EQ(Run(Shot("dv_positions") + Keys("s") + "wait 500\n"), 3);
  KeepShots();
  std::vector<uint32_t> px;
  uint32_t w = 0, h = 0;
  ASSERT_EQ(ReadPngRGB(Png("dv_positions").c_str(), &px, &w, &h), 1);
  const qoe_test::TextInk t = qoe_test::TextContrast(px, w, 450 + dx_, 90 + dy_, 550 + dx_, 120 + dy_);
  EXPECT_GE(t.contrast, 3.0) << std::hex << t.ink << " on " << t.ground;
}

// East along the great hall, north to the trap at (70, 15): its outline
// ahead, then the step into it kills.
TEST_P(DungeonScreenRun, ATrapKills) {
  std::string s = Keys("www") + Click(kOpenX, kOpenY) + Keys("wwww") + Keys("e");
  for (int i = 0; i < 12; ++i) s += Keys("w");
  s += Keys("q") + Keys("wwwwww") + Shot("dv_trap_ahead") + Keys("w") + "wait 1500\n" + Shot("dv_trap_dead");
  s += "key enter\n";
  qoe_test::LogLines log;
  EXPECT_EQ(Run(s), 3);
  EXPECT_TRUE(log.Has("DungeonScreen: Verlassen bei 70 16"));
  KeepShots();
}

// Views the kit's dungeon does not reach at once: doors beside the way,
// chests open and closed at every side, sprung traps beside and ahead, a
// side way seen from its mouth. A screen of its own draws one scene per
// key '1'..'5' on the dungeon's picture; the last stands in a
// doorway facing its wall.
struct Scene {
  std::vector<std::string> rows;
  uint16_t x, y;
  int8_t facing;
  std::vector<std::pair<uint16_t, uint16_t>> open;
};
const Scene kScenes[] = {
    {{"#######", "###T###", "#T   T#", "### ###", "#T   T#", "### ###", "###E###"}, 3, 5, 0, {{1, 4}, {5, 2}}},
    {{"#########", "#G#G#G#G#", "#  G G  #", "#G  G  G#", "# G   G #", "#       #", "####E####"}, 4, 5, 0,
     {{3, 2}, {1, 3}, {6, 4}, {7, 1}}},
    {{"#########", "#F F F F#", "# F   F #", "#F  F  F#", "#  FFF  #", "#       #", "####E####"}, 4, 5, 0,
     {{1, 1}, {3, 1}, {5, 1}, {7, 1}, {2, 2}, {6, 2}, {1, 3}, {4, 3}, {7, 3}, {3, 4}, {4, 4}, {5, 4}}},
    {{"##########", "#    T   #", "## ##### #", "##   G# ##", "######E###"}, 2, 3, 1, {}},
    {{"#######", "#     #", "### ###", "###T###", "### ###", "###E###"}, 3, 3, 1, {{3, 3}}},
};

int32_t SceneScreen(int32_t) {
  ScreenBase base;
  if (!OpenScreenPicture(&base, 1293, 1)) return -1;
  DungeonData d{};
  d.textFont = OpenDiskFont("fonts\\XHelvetica9.fnt");
  ShowScreenBase(&base);
  int32_t result = 3;
  for (;;) {
    const int32_t ev = WaitEvent(WE_TICKS);
    if (ev == WE_KEY_ESCAPE) break;
    if (ev < '1' || ev > '5') continue;
    const Scene& sc = kScenes[ev - '1'];
    FreeDungeonData(&d);
    TextFont* font = d.textFont;  // the start values set every field
    InitDungeonData(&d);
    d.textFont = font;
    std::string text = "size " + std::to_string(sc.rows[0].size()) + " " + std::to_string(sc.rows.size()) + "\n";
    for (const std::string& r : sc.rows) text += r + "\n";
    if (!DungeonParseMap(&d, text.data(), text.size()) || !AllocDungeonView(&d)) {
      result = -1;
      break;
    }
    for (const auto& [x, y] : sc.open) d.cells[(size_t)y * d.mapWidth + x].state |= kCellOpen;
    d.playerX = sc.x, d.playerY = sc.y, d.facing = sc.facing;
    DungeonDrawView(&d);
  }
  FreeDungeonGraphics(1);
  FreeDungeonData(&d);
  CloseFont(d.textFont);
  CloseScreenBase(&base, 3);
  return result;
}

TEST_P(DungeonScreenRun, DoorsChestsAndTrapsAtEverySide) {
  std::string s;
  const char* names[] = {"dv_side_doors", "dv_chests", "dv_traps", "dv_side_way", "dv_own_door"};
  for (int i = 0; i < 5; ++i) s += Keys(std::string(1, (char)('1' + i))) + Shot(names[i]);
  s += "key escape\n";
  EXPECT_EQ(RunScreen(SceneScreen, 0, "timer 0 100\nwait 2000\n" + s), 3);
  KeepShots();
}

// Every row of the view's table names a graphic of the kit that holds its
// rectangle and has a mask; walls in three variants of one size.
TEST_P(DungeonScreenRun, EveryRowOfTheViewNamesAKitGraphicHoldingItsRectangle) {
  uint32_t n = 0;
  const DungeonViewRow* t = DungeonViewTable(&n);
  for (uint32_t i = 0; i < n; ++i) {
    const DungeonViewRow& r = t[i];
    const bool wall = r.element == DV_FRONT || r.element == DV_SIDE_LEFT || r.element == DV_SIDE_RIGHT ||
                      r.element == DV_WALL_LEFT || r.element == DV_WALL_RIGHT;
    for (uint32_t v = 0; v < (wall ? 3u : 1u); ++v) {
      GfxUse g(".\\Data\\Path", r.id + v);
      ASSERT_NE(g.bitmap(), nullptr) << r.id + v;
      EXPECT_LE(r.sx + r.w, g.bitmap()->Width) << r.id + v;
      EXPECT_LE(r.sy + r.h, g.bitmap()->Height) << r.id + v;
      EXPECT_NE(GetElmorGfxMask(r.id + v), nullptr) << r.id + v;
    }
  }
  for (uint32_t id = 1294; id <= 1311; ++id) {
    GfxUse g(".\\Data\\Path", id);
    ASSERT_NE(g.bitmap(), nullptr) << id;
    EXPECT_EQ(g.bitmap()->Width, 400u);
    EXPECT_EQ(g.bitmap()->Height, id < 1303 ? 156u : 143u);
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, DungeonScreenRun, testing::Values(0u, 4u), qoe_test::DisplayModeName);

}  // namespace
