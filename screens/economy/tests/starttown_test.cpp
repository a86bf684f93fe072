// The town the program shows after a start, a load and a lost town, and a
// town view that cannot start: the program itself runs headless on the data
// kit with a realm of three towns set up by the turn builder, and is driven
// from the title through the main screen into the town view.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/display.h"
#include "platform/pngfile.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/prefs.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

// Three towns of level 1 (the level whose picture the kit has): the capital
// Elmor, Seewacht and Eichenhain.
const char kRealm[] = R"(player id=1001 name="Harald"
turn year=1000 quarter=0
info dice=12,200,7,3
land inhabitants=2600 treasury=5000 faith=60 realm_points=1 scouts=1 acres=40
korn seed_store=500 granary_corn=2000 food_corn=800 largest_harvest=1500 weather=2
taxes base_tax_level=10 goods_types=12
map x=6396 y=3198 width=9 height=5 values=2,3,1
row ~~......f
row ~....T.ff
row ~~.T.n.ff
row ~~~.Tnn^^
row ~~~~.n^^A
owner x=6399 y=3198 width=5 height=4 player=1001
town town_id=1 name="Elmor" x=6401 y=3199 level=1 inhabitants=1200
town town_id=2 name="Seewacht" x=6399 y=3200 level=1 inhabitants=800
town town_id=3 name="Eichenhain" x=6400 y=3201 level=1 inhabitants=600
building building=55 town=1 year=1000 quarter=0
figure type=0 number=1 x=6400 y=3199 points=8
)";

constexpr uint32_t kCapital = 1, kEichenhain = 3;
constexpr int kMode = 4;  // 800 x 600: the game area at (80, 30)

std::string Text(const std::string& path) {
  const auto b = qoe_test::ReadFileBytes(path);
  return std::string(b.begin(), b.end());
}

// A left click at a point of the game area, after the screen settled.
std::string Click(int x, int y) {
  int32_t dx = 0, dy = 0;
  GameAreaOffset(800, 600, &dx, &dy);
  return "wait 600\n" + qoe_test::ClickLine(x + dx, y + dy);
}

// The title's first box, then its landscape: the main screen.
const std::string kToMain = "wait 400\nkey enter\n" + Click(400, 300) + "wait 1500\n";
// The main screen's town model: the town view.
const std::string kToTown = Click(320, 240) + "wait 1500\n";
// The town view's building ground (construction, not built yet: back to the
// main screen); the town view writes its town into prefs field 4.
const std::string kLeaveTown = Click(170, 440) + "wait 1000\n";
// The door to the title, Escape, and yes to the question about the unsent
// turn; the warnings' box is closed too.
const std::string kQuit = Click(60, 300) + "wait 400\nkey esc\nwait 300\nkey enter\nwait 300\nkey enter\n";

class StartTown : public testing::Test {
 protected:
  void SetUp() override {
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/quill");
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit");
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/tools/turnbuilder/turnbuilder");
    fs::copy(qoe_test::BinaryDir() + "/datakit", ".", fs::copy_options::recursive);
    ASSERT_TRUE(qoe_test::WriteFileBytes("three.realm", std::vector<uint8_t>(kRealm, kRealm + sizeof kRealm - 1)));
    const std::string install = "'" + qoe_test::BinaryDir() + "/tools/turnbuilder/turnbuilder' install three.realm --dir . >install.txt 2>&1";
    ASSERT_EQ(std::system(install.c_str()), 0) << Text("install.txt");
    // The script plays on its own: no tutorial, no tips.
    ASSERT_EQ(CheckPrefs(PREFS_TUTORIAL_STEP, 1, 18), 18u);
    ASSERT_EQ(CheckPrefs(PREFS_TIP_COUNTER, 1, 9), 9u);
  }

  // Runs the program on the script; its exit code (-1 when it did not end).
  int Run(const std::string& script) {
    if (!qoe_test::WriteFileBytes("run.txt", std::vector<uint8_t>(script.begin(), script.end()))) return -1;
    const std::string cmd = "QOE_HEADLESS_SCRIPT=run.txt QOE_HEADLESS_MODE=" + std::to_string(kMode) + " timeout 300 '" +
                            qoe_test::BinaryDir() + "/quill' >out.txt 2>&1";
    const int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // The town files of .\Data\Cities whose names begin with prefix.
  static std::vector<std::string> CityFiles(const std::string& prefix) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator("Data/Cities")) {
      const std::string n = e.path().filename().string();
      if (n.rfind(prefix, 0) == 0) out.push_back(n);
    }
    return out;
  }

  // The run ended in order, with every block freed.
  static void EndedInOrder() {
    const std::string log = Text("Quill.dbg");
    const size_t at = log.find("ShutdownSystem: AllocVec ");
    ASSERT_NE(at, std::string::npos) << log;
    unsigned long long allocs = 0, frees = 0;
    ASSERT_EQ(std::sscanf(log.c_str() + at, "ShutdownSystem: AllocVec %llu mal, FreeVec %llu mal", &allocs, &frees), 2);
    EXPECT_EQ(allocs, frees);
  }

  static void Keep(const std::string& png, const std::string& as) {
    ASSERT_TRUE(fs::exists(png)) << png;
    fs::copy_file(png, as, fs::copy_options::overwrite_existing);
    EXPECT_TRUE(qoe_test::KeepPng(as));
  }
};

}  // namespace

TEST_F(StartTown, ARestartShowsTheTownTheTownViewShowedLast) {
  CheckPrefs(PREFS_TOWN_ID, 1, kEichenhain);
  ASSERT_EQ(Run(kToMain + kToTown + "png town.png\n" + kLeaveTown + kQuit), 0) << Text("out.txt");
  Keep("town.png", "starttown_restart.png");  // the title band names Eichenhain
  EXPECT_NE(Text("Quill.dbg").find("StartTownId: Stadt 3 (zuletzt gezeigt)"), std::string::npos);
  EXPECT_EQ(CheckPrefs(PREFS_TOWN_ID, 0, 0), kEichenhain);
  EXPECT_TRUE(fs::exists("Data/Cities/Eichenhain.image"));
  EXPECT_TRUE(CityFiles("NewTown").empty());
  EndedInOrder();
}

TEST_F(StartTown, ATownNoLongerListedGivesWayToTheCapital) {
  CheckPrefs(PREFS_TOWN_ID, 1, kEichenhain);
  // Eichenhain is gone, and the capital is not the list's first town.
  auto list = qoe_test::ReadFileBytes("Data/Cities/Town.list");
  ASSERT_EQ(list.size(), 4u * 84u);
  std::vector<uint8_t> kept(list.begin() + 84, list.begin() + 2 * 84);              // Seewacht
  kept.insert(kept.end(), list.begin(), list.begin() + 84);                          // Elmor
  kept.insert(kept.end(), list.end() - 84, list.end());                              // the end mark
  ASSERT_EQ(GetBE32(kept.data() + 84), kCapital);
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/Cities/Town.list", kept));
  ASSERT_EQ(Run(kToMain + kToTown + "png town.png\n" + kLeaveTown + kQuit), 0) << Text("out.txt");
  Keep("town.png", "starttown_lost.png");  // the title band names Elmor
  EXPECT_EQ(CheckPrefs(PREFS_TOWN_ID, 0, 0), kCapital);
  EXPECT_TRUE(fs::exists("Data/Cities/Elmor.image"));
  EXPECT_FALSE(fs::exists("Data/Cities/Eichenhain.image"));
  EXPECT_TRUE(CityFiles("NewTown").empty());
  EndedInOrder();
}

TEST_F(StartTown, ALoadedGameShowsItsCapital) {
  CheckPrefs(PREFS_TOWN_ID, 1, kEichenhain);
  // SAVE on the title, then LOAD: the lord, OK, the quarter, OK; then the
  // realm, and its town.
  const std::string pick = Click(223 + 60, 130 + 34), ok = Click(223 + 50, 130 + 241);
  const std::string save_load = "wait 400\nkey enter\n" + Click(130, 258) + Click(130, 212) + "key enter\n" + pick + ok +
                                pick + ok + Click(400, 300) + "wait 1500\n";
  ASSERT_EQ(Run(save_load + kToTown + "png town.png\n" + kLeaveTown + kQuit), 0) << Text("out.txt");
  Keep("town.png", "starttown_load.png");  // the title band names Elmor
  const std::string log = Text("Quill.dbg");
  const size_t first = log.find("StartTownId: Stadt 3 (zuletzt gezeigt)");
  ASSERT_NE(first, std::string::npos) << log;
  EXPECT_NE(log.find("StartTownId: Stadt 1 (Hauptstadt)", first), std::string::npos) << log;
  EXPECT_EQ(CheckPrefs(PREFS_TOWN_ID, 0, 0), kCapital);
  EXPECT_TRUE(fs::exists("Data/Cities/Elmor.image"));
  EXPECT_TRUE(CityFiles("NewTown").empty());
  EndedInOrder();
}

// The town's picture is not there: one message over the main screen, which
// names the step and Quill.dbg, and after it the game ends.
TEST_F(StartTown, ATownViewWithoutItsPictureSaysSoAndTheGameEnds) {
  ASSERT_TRUE(fs::remove("Gfx/Pic0039.ilbm"));
  const std::string script = kToMain + "png main.png\n" + kToTown + "png box.png\nkey enter\nwait 400\n";
  ASSERT_EQ(Run(script), 0) << Text("out.txt");
  const std::string log = Text("Quill.dbg");
  const size_t failed = log.find("StadtScreen: Konnte HintergrundBild nicht laden !");
  ASSERT_NE(failed, std::string::npos) << log;
  EXPECT_NE(log.find("ShutdownSystem: Programm wird beendet", failed), std::string::npos) << log;
  Keep("box.png", "starttown_nopicture.png");
  std::vector<uint32_t> before, after;
  uint32_t w = 0, h = 0;
  ASSERT_EQ(ReadPngRGB("main.png", &before, &w, &h), 1);
  ASSERT_EQ(ReadPngRGB("box.png", &after, &w, &h), 1);
  ASSERT_EQ(before.size(), after.size());
  // The box (304 x 124 at 168, 180 of the game area) stands over the main
  // screen, which is otherwise as it was (left of the box and below it; the
  // movies on the right run on).
  uint32_t inside = 0, outside = 0, inside_changed = 0, outside_changed = 0;
  for (uint32_t y = 0; y < 480; ++y)
    for (uint32_t x = 0; x < 560; ++x) {
      const bool in_box = x >= 168 && x < 472 && y >= 180 && y < 304;
      const bool still = x < 160 || y >= 330;
      if (!in_box && !still) continue;
      const size_t at = (y + 30) * w + x + 80;
      const bool changed = before[at] != after[at];
      (in_box ? inside : outside)++;
      if (changed) (in_box ? inside_changed : outside_changed)++;
    }
  EXPECT_GT(inside_changed, inside / 2);
  EXPECT_LT(outside_changed, outside / 100);
}
