// The dungeon's rules on small text maps: the rotated copies and the view
// offsets, walking, turning, doors, chests, traps, exits and the map's
// borders; the map loader on hostile files and on the kit's map.
#include "screens/story/dungeon.h"

#include <gtest/gtest.h>
#include <cstring>

#include <string>
#include <vector>

#include "routinen/system/catalog.h"
#include "routinen/system/memory.h"
#include "tests/support/log_lines.h"
#include "tests/support/test_support.h"

namespace {

// x:  012345678
const char kMap[] =
    "; a small dungeon\n"
    "size 9 7\n"
    "####A####\n"
    "#G  T  F#\n"
    "# #   # #\n"
    "#   L   #\r\n"
    "#F#   #G#\n"
    "#       #\n"
    "####E####\n"
    "\n"
    "chest 7 4 40\n";

// Records what the rules do, one word per effect.
struct Effects {
  std::vector<std::string> log;
  static void Sfx(void* c, uint32_t id) { static_cast<Effects*>(c)->log.push_back("sfx " + std::to_string(id)); }
  static void Redraw(void* c) { static_cast<Effects*>(c)->log.push_back("draw"); }
  static void Pause(void* c, int32_t t) { static_cast<Effects*>(c)->log.push_back("pause " + std::to_string(t)); }
  static void Message(void* c, const char* t) { static_cast<Effects*>(c)->log.push_back(std::string("box ") + t); }
  static void Death(void* c) { static_cast<Effects*>(c)->log.push_back("death"); }
  std::vector<std::string> Take() { return std::move(log); }
};

struct Dungeon {
  DungeonData d{};
  Effects fx;
  explicit Dungeon(const std::string& text = kMap) {
    InitDungeonData(&d);
    d.hooks = {Effects::Sfx, Effects::Redraw, Effects::Pause, Effects::Message, Effects::Death, &fx};
    ok = DungeonParseMap(&d, text.data(), text.size());
  }
  ~Dungeon() { FreeDungeonData(&d); }
  void At(uint16_t x, uint16_t y, int8_t facing) {
    d.playerX = x, d.playerY = y, d.facing = facing;
    SelectViewMap(&d);
  }
  int32_t ok;
};

using V = std::vector<std::string>;

TEST(DungeonModel, RotatedCopiesAndOffsetsAgreeForEveryFacing) {
  Dungeon g;
  ASSERT_EQ(g.ok, 1);
  for (int8_t f = 0; f < 4; ++f)
    for (uint16_t py = 1; py < 6; ++py)
      for (uint16_t px = 1; px < 8; ++px) {
        g.At(px, py, f);
        ASSERT_EQ(g.d.viewWidth, f & 1 ? 7 : 9);
        // Every view cell is the stored cell it names.
        for (int r = 0; r < g.d.viewHeight; ++r)
          for (int c = 0; c < g.d.viewWidth; ++c) {
            uint32_t x, y;
            ASSERT_EQ(DungeonViewToStored(&g.d, r, c, &x, &y), 1);
            ASSERT_EQ(g.d.viewMap[r * g.d.viewWidth + c], g.d.maps[0][y * 9 + x]);
          }
        uint32_t x, y;
        ASSERT_EQ(DungeonViewToStored(&g.d, g.d.viewY, g.d.viewX, &x, &y), 1);
        EXPECT_EQ(x * 100 + y, px * 100u + py);
        // The view offsets turned by the facing name the same cells.
        for (int a = -1; a <= 1; ++a)
          for (int s = -1; s <= 1; ++s)
            ASSERT_EQ(DungeonCellAhead(&g.d, a, s), g.d.viewMap[(g.d.viewY + a) * g.d.viewWidth + g.d.viewX + s]);
      }
  // Ahead is north, east, south, west in the stored map.
  g.At(4, 3, 0);
  EXPECT_EQ(DungeonCellAhead(&g.d, -2, 0), 'T');
  g.At(6, 1, 1);
  EXPECT_EQ(DungeonCellAhead(&g.d, -1, 0), 'F');
  g.At(7, 3, 2);
  EXPECT_EQ(DungeonCellAhead(&g.d, -1, 0), 'G');
  g.At(2, 1, 3);
  EXPECT_EQ(DungeonCellAhead(&g.d, -1, 0), 'G');
  uint32_t ux, uy;
  EXPECT_EQ(DungeonViewToStored(&g.d, -1, 0, &ux, &uy), 0);
  EXPECT_EQ(DungeonViewToStored(&g.d, 0, g.d.viewWidth, &ux, &uy), 0);
}

TEST(DungeonModel, WalkThroughADoorAndOutByTheExit) {
  Dungeon g;
  ASSERT_EQ(g.ok, 1);
  EXPECT_EQ(g.d.playerX * 100 + g.d.playerY, 406);
  EXPECT_EQ(g.d.facing, 0);
  EXPECT_EQ(DungeonStep(&g.d, 0, -1), 0);  // floor
  EXPECT_EQ(DungeonStep(&g.d, 0, -1), 0);
  EXPECT_EQ(DungeonStep(&g.d, 0, -1), 0);  // the 'L' wall can be entered
  EXPECT_EQ(DungeonStep(&g.d, 0, -1), 0);
  EXPECT_EQ(g.fx.Take(), (V{"sfx 191", "draw", "sfx 191", "draw", "sfx 191", "draw", "sfx 191", "draw"}));
  EXPECT_EQ(g.d.playerY, 2);
  EXPECT_EQ(DungeonStep(&g.d, 0, -1), 0);  // a closed door
  EXPECT_EQ(g.d.playerY, 2);
  DungeonClose(&g.d);  // already closed: nothing
  EXPECT_TRUE(g.fx.Take().empty());
  DungeonOpen(&g.d);
  DungeonOpen(&g.d);  // open already: nothing
  EXPECT_EQ(g.fx.Take(), (V{"sfx 196", "draw"}));
  EXPECT_EQ(g.d.queuedSfx, 195u);
  DungeonClose(&g.d);
  EXPECT_EQ(g.fx.Take(), (V{"sfx 195", "draw"}));
  EXPECT_EQ(g.d.queuedSfx, 196u);
  EXPECT_EQ(IsCellClosed(&g.d, -1, 0), 1);
  DungeonOpen(&g.d);
  EXPECT_EQ(DungeonStep(&g.d, 0, -1), 0);
  EXPECT_EQ(g.d.playerY, 1);
  g.fx.Take();
  // From view row 1 only the exit ahead can be entered; it ends without a step.
  EXPECT_EQ(DungeonStep(&g.d, 0, -1), 1);
  EXPECT_TRUE(g.fx.Take().empty());
  EXPECT_EQ(g.d.playerY, 1);
  // Sideways steps: right, and left back.
  g.At(4, 5, 0);
  EXPECT_EQ(DungeonStep(&g.d, 1, 0), 0);
  EXPECT_EQ(g.d.playerX, 5);
  EXPECT_EQ(DungeonStep(&g.d, -1, 0), 0);
  EXPECT_EQ(DungeonStep(&g.d, 0, 1), 0);  // back onto the entrance: a wall
  EXPECT_EQ(g.d.playerX * 100 + g.d.playerY, 405);
}

TEST(DungeonModel, TurningFourTimesComesBackAndAsksTheCompass) {
  Dungeon g;
  NavRose rose{};
  g.d.navRose = &rose;
  const uint32_t to[4] = {1, 2, 3, 0};
  for (int i = 0; i < 4; ++i) {
    DungeonTurn(&g.d, 1);
    EXPECT_EQ(rose.turn.load(), kNavRoseRequest | (uint32_t)i << 16 | to[i]);
    rose.turn.store(0);
  }
  EXPECT_EQ(g.d.facing, 0);
  DungeonTurn(&g.d, -1);
  EXPECT_EQ(g.d.facing, 3);
  EXPECT_EQ(rose.turn.load(), kNavRoseRequest | 0u << 16 | 3u);
  EXPECT_EQ(g.fx.Take(), (V{"draw", "draw", "draw", "draw", "draw"}));
}

TEST(DungeonModel, ChestGoldOnceThenEmpty) {
  Dungeon g;
  g.At(7, 5, 0);
  EXPECT_EQ(DungeonStep(&g.d, 0, -1), 0);  // a chest cannot be entered
  EXPECT_EQ(g.d.playerY, 5);
  DungeonOpen(&g.d);
  EXPECT_EQ(g.fx.Take(), (V{"sfx 196", "draw", "pause 50", "box You have found 40 gold pieces!"}));
  DungeonClose(&g.d);
  DungeonOpen(&g.d);
  const std::string empty = std::string("box ") + GetCatalogStr(1813);
  EXPECT_EQ(g.fx.Take(), (V{"sfx 195", "draw", "sfx 196", "draw", "pause 50", empty}));
  g.At(1, 2, 0);  // the chest without a chest line holds nothing
  DungeonOpen(&g.d);
  EXPECT_EQ(g.fx.Take().back(), std::string("box ") + GetCatalogStr(1813));
  g.At(2, 3, 0);  // OPEN and CLOS on a wall or floor do nothing
  DungeonOpen(&g.d);
  DungeonClose(&g.d);
  g.At(3, 3, 0);
  DungeonOpen(&g.d);
  EXPECT_TRUE(g.fx.Take().empty());
}

TEST(DungeonModel, ATrapKillsAndASprungTrapIsRefused) {
  Dungeon g;
  g.At(1, 5, 0);
  EXPECT_EQ(DungeonStep(&g.d, 0, -1), 1);
  EXPECT_EQ(g.fx.Take(), (V{"sfx 197", "draw", "pause 50", "death", std::string("box ") + GetCatalogStr(1811)}));
  EXPECT_EQ(IsCellClosed(&g.d, -1, 0), 0);
  EXPECT_EQ(DungeonStep(&g.d, 0, -1), 0);
  EXPECT_TRUE(g.fx.Take().empty());
  EXPECT_EQ(g.d.playerY, 5);
  EXPECT_EQ(IsSeeThroughCell(&g.d, 4, 1), 1);
  EXPECT_EQ(IsEnterableCell(&g.d, 4, 1), 0);
}

// Steps that would leave the map are refused in every facing, also from a
// corner; nothing outside the map is read (the sanitizer build checks).
TEST(DungeonModel, EveryBorderIsRefused) {
  for (const std::string& map : {std::string(kMap), std::string("size 3 3\nE##\n# #\n###\n")}) {
    Dungeon g(map);
    ASSERT_EQ(g.ok, 1);
    const uint16_t x = g.d.playerX, y = g.d.playerY;
    for (int8_t f = 0; f < 4; ++f)
      for (int dir = 0; dir < 4; ++dir) {
        g.At(x, y, f);
        const int s = dir == 0 ? -1 : dir == 1 ? 1 : 0, a = dir == 2 ? -1 : dir == 3 ? 1 : 0;
        if (DungeonCellAhead(&g.d, a, s) == ' ') continue;  // the one way into the map
        EXPECT_EQ(DungeonStep(&g.d, s, a), 0);
        EXPECT_EQ(g.d.playerX * 100 + g.d.playerY, x * 100 + y);
      }
    EXPECT_TRUE(g.fx.Take().empty());
  }
  // The entrance in a corner faces into the map.
  Dungeon c("size 3 3\nE##\n# #\n###\n");
  EXPECT_EQ(c.d.facing, 2);
}

TEST(DungeonMapFile, HostileFilesAreRefusedAndLeaveTheDataAlone) {
  const std::vector<std::string> bad = {
      "",
      "size 9\n",
      "size 99999999999 5\n",
      "size 251 5\n",
      "size 2 5\n",
      "size 4 3\n####\n#  #\n",                                  // a row missing
      "size 4 3\n####\n# #\n##E#\n",                             // a short row
      "size 4 3\n####\n#   #\n##E#\n",                           // a long row
      "size 4 3\n####\n#  #\n####\n",                            // no entrance
      "size 4 3\n#E##\n#  #\n##E#\n",                            // two entrances
      "size 4 3\n####\n#E #\n####\n",                            // entrance inside
      "size 4 3\n## #\n#  #\n##E#\n",                            // an open border
      "size 4 3\n##L#\n#  #\n##E#\n",                            // a wall variant on the border
      "size 4 3\n##T#\n#  #\n##E#\n",                            // a door on the border
      "size 4 3\n####\n# X#\n##E#\n",                            // an unknown cell
      std::string("size 4 3\n####\n#\0 #\n##E#\n", 24),           // a zero byte
      "size 4 3\n####\n#G #\n##E#\nchest 2 1 5\n",               // no chest there
      "size 4 3\n####\n#G #\n##E#\nchest 1 1 1000001\n",         // too much gold
      "size 4 3\n####\n#G #\n##E#\nchest 1 1 5\nchest 1 1 6\n",  // a chest twice
      "size 4 3\n####\n#G #\n##E#\nchest 9 9 5\n",               // outside
      "size 4 3\n####\n#G #\n##E#\nchest 1 1\n",
      "size 4 3\n####\n#G #\n##E#\ntreasure\n",
  };
  for (const auto& text : bad) {
    qoe_test::LogLines log;
    Dungeon g;
    ASSERT_EQ(g.ok, 1);
    const std::string before(g.d.maps[0], 63);
    EXPECT_EQ(DungeonParseMap(&g.d, text.data(), text.size()), 0) << text;
    EXPECT_TRUE(log.Has("LoadDungeonMap: ")) << text;
    EXPECT_EQ(std::string(g.d.maps[0], 63), before);
    EXPECT_EQ(g.d.mapWidth * 100 + g.d.mapHeight, 907);
  }
  DungeonData d{};
  EXPECT_EQ(LoadDungeonMap(&d, "missing.txt"), 0);
  EXPECT_EQ(d.maps[0], nullptr);
}

TEST(DungeonMapFile, TheKitsMapFitsTheStartValues) {
  const std::string path = qoe_test::BinaryDir() + "/datakit/Data/Dungeon/Dungeon.txt";
  QOE_REQUIRE_BUILT(path);
  const auto bytes = qoe_test::ReadFileBytes(path);
  DungeonData d{};
  InitDungeonData(&d);
  ASSERT_EQ(DungeonParseMap(&d, (const char*)bytes.data(), bytes.size()), 1);
  EXPECT_EQ(d.mapWidth * 100 + d.mapHeight, 7430);
  EXPECT_EQ(d.playerX * 100 + d.playerY, 5829);
  EXPECT_EQ(d.facing, 0);
  FreeDungeonData(&d);
}

// The start values set every field, whatever the record held (a pattern in
// every byte): a record off the stack or reused after a visit.
TEST(DungeonModel, TheStartValuesSetEveryField) {
  DungeonData d;
  std::memset(static_cast<void*>(&d), 0xA5, sizeof d);
  InitDungeonData(&d);
  EXPECT_EQ(d.mapWidth * 100 + d.mapHeight, 7430);
  EXPECT_EQ(d.playerX * 100 + d.playerY, 5829);
  EXPECT_EQ(d.facing, 0);
  EXPECT_EQ(d.viewWidth + d.viewHeight + d.viewX + d.viewY, 0);
  EXPECT_EQ(d.viewMap, nullptr);
  EXPECT_EQ(d.cells, nullptr);
  for (char* m : d.maps) EXPECT_EQ(m, nullptr);
  EXPECT_EQ(d.region, nullptr);
  EXPECT_EQ(d.textFont, nullptr);
  EXPECT_EQ(d.titleFont, nullptr);
  EXPECT_EQ(d.viewBitMap, nullptr);
  EXPECT_EQ(d.viewRastPort, nullptr);
  EXPECT_EQ(d.navRose, nullptr);
  EXPECT_EQ(d.queuedSfx, 0u);
  EXPECT_EQ(d.ambientTicks, 0u);
  EXPECT_EQ(d.ambientPeriod, 100u);
  EXPECT_EQ(d.hooks.sfx, nullptr);
  EXPECT_EQ(d.hooks.redraw, nullptr);
  EXPECT_EQ(d.hooks.pause, nullptr);
  EXPECT_EQ(d.hooks.message, nullptr);
  EXPECT_EQ(d.hooks.death, nullptr);
  EXPECT_EQ(d.hooks.ctx, nullptr);
  EXPECT_EQ(d.view.blit, nullptr);
  EXPECT_EQ(d.view.plot, nullptr);
  EXPECT_EQ(d.view.ctx, nullptr);
  // A map read after it, and freed: nothing of the pattern is freed.
  ASSERT_EQ(DungeonParseMap(&d, kMap, sizeof kMap - 1), 1);
  FreeDungeonData(&d);
}

}  // namespace
