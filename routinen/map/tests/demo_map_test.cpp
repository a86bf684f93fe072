// The map screen of the demo realm, played by the program itself as a player
// does: from the title into the realm, the map opened from the main screen,
// the medium infantry beside the capital selected with two clicks and its
// order changed in the figure menu, the map left by EXIT and the game ended
// from the main screen. The run ends in order (no sanitizer report, every
// block freed: the main screen restores no font the map has closed), and
// the order is in the figures of MapPrefs.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/map/tests/map_realm.h"
#include "tests/support/test_support.h"

namespace {

std::string Text(const char* name) {
  const auto bytes = qoe_test::ReadFileBytes(name);
  return std::string(bytes.begin(), bytes.end());
}

std::string Click(int x, int y, const char* button = "left") {
  return "wait 400\nmove " + std::to_string(x) + " " + std::to_string(y) + "\nclick " + button + " " +
         std::to_string(x) + " " + std::to_string(y) + "\nwait 1200\n";
}

TEST(DemoRealmMap, FigureOrderFromTheMainScreenAndBackEndsInOrder) {
  const std::string bin = qoe_test::BinaryDir() + "/quill";
  QOE_REQUIRE_BUILT(bin);
  ASSERT_TRUE(map_test::InstallMapRealm());
  // The title's first box, "Enter the realm", MAP; the infantry (figure 11,
  // order "guard") one hex east of the capital: marked, selected, its menu
  // on the right button, the first row ("nothing"); EXIT, then the game's end.
  const std::string script = "wait 1500\nkey enter\nwait 1000\n" + Click(130, 304) + "wait 1300\n" + Click(320, 107) +
                             Click(272, 270) + Click(272, 270) + Click(272, 270, "right") + "png demo_map_menu.png\n" +
                             Click(310, 274) + "png demo_map_order.png\n" + Click(530, 458) + "wait 1000\nquit\nwait 100\n";
  ASSERT_TRUE(qoe_test::WriteFileBytes("run.txt", std::vector<uint8_t>(script.begin(), script.end())));
  const std::string cmd = "timeout -s KILL 300 env QOE_HEADLESS_SCRIPT=run.txt QOE_HEADLESS_MODE=0 '" + bin +
                          "' >out.txt 2>err.txt";
  const int status = std::system(cmd.c_str());
  const std::string log = Text("Quill.dbg");
  ASSERT_TRUE(WIFEXITED(status)) << log;
  EXPECT_EQ(WEXITSTATUS(status), 0) << Text("err.txt");
  EXPECT_TRUE(qoe_test::KeepPng("demo_map_menu.png"));
  EXPECT_TRUE(qoe_test::KeepPng("demo_map_order.png"));
  const size_t at = log.find("ShutdownSystem: AllocVec ");
  ASSERT_NE(at, std::string::npos) << log;
  unsigned long long allocs = 0, frees = 0;
  ASSERT_EQ(std::sscanf(log.c_str() + at, "ShutdownSystem: AllocVec %llu mal, FreeVec %llu mal", &allocs, &frees), 2);
  EXPECT_EQ(allocs, frees);
  LoadedChunk move("MOVE", MapPrefsPath);
  ASSERT_NE(move.p, nullptr);
  bool found = false;
  for (uint32_t i = 0, n = ChunkGet16(move.p, 12); i < n; i++) {
    const FigurRecord f = GetFigurRecord(move.p + 14 + 18 * i);
    if (f.owner != 1001 || f.number != 11) continue;
    found = true;
    EXPECT_EQ(f.state, 0);  // was "guard" (2)
    EXPECT_EQ(f.x, 6399u);
    EXPECT_EQ(f.y, 3199u);
  }
  EXPECT_TRUE(found);
}

}  // namespace
