// Where the screens lead. The screen graph: from every built screen of the
// screen table (program/screens.cpp), started headless on the demo realm and
// not pinned, Escape again and again, or the screen's own way out (its
// row's `leave`, then the EXIT, STAD or NORM gadget of each screen on the
// way), reaches the main screen (or the title, the game's front page)
// within a few screens, and no screen is entered twice on that way. And seeded random walks over the whole program:
// from the main screen, a few hundred clicks and keys wherever they lead, in
// 640 x 480 x 8 and 1024 x 768 x 32 headless and in 1024 x 768 x 32 OpenGL
// under a virtual X server; the program ends in order at the close (exit 0,
// every block freed, no file written past a FileSet), and the log lists the
// screens the walk went through ("Main: Screen %d, betreten von %d").
// Each row is its own CTest test, so `ctest -j` runs them side by side.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "demo_realm.h"
#include "program/screens.h"
#include "tests/support/test_support.h"
#include "tests/support/xvfb_script.h"

namespace fs = std::filesystem;

namespace {

using qoe_test::ScreensEntered;

enum : uint32_t { kMode640x8 = 0, kMode1024x32 = 8, kMode1024x32GL = 10 };
enum : int32_t { kTitle = 1, kMain = 2, kMainToo = 1139, kAnarchy = 499 };

// How many screens after the start a way out may pass before the main screen.
constexpr size_t kFewScreens = 4;
// Leave steps a way may take (a screen may first close a box of its own).
constexpr int kLeaveSteps = 10;

std::string FileText(const std::string& name) {
  auto bytes = qoe_test::ReadFileBytes(name);
  return std::string(bytes.begin(), bytes.end());
}

std::string Listed(const std::vector<int32_t>& codes, size_t count) {
  std::string s;
  for (size_t i = 0; i < codes.size() && i < count; ++i) s += (i ? " " : "") + std::to_string(codes[i]);
  return s;
}

// What every run must show at its end: exit 0, the close in order, every
// block freed, nothing written past the file sets.
void ExpectOrderlyEnd(int status, const std::string& log) {
  const std::string tail = log.size() > 6000 ? log.substr(log.size() - 6000) : log;
  ASSERT_TRUE(WIFEXITED(status)) << "the program did not end\n" << tail;
  EXPECT_EQ(WEXITSTATUS(status), 0) << tail << FileText("err.txt");
  EXPECT_EQ(log.find("Fatal Exception"), std::string::npos) << tail;
  EXPECT_NE(log.find("ShutdownSystem: Programm wird beendet\n"), std::string::npos) << tail;
  const size_t at = log.find("ShutdownSystem: AllocVec ");
  ASSERT_NE(at, std::string::npos) << tail;
  unsigned long long allocs = 0, frees = 0;
  ASSERT_EQ(std::sscanf(log.c_str() + at, "ShutdownSystem: AllocVec %llu mal, FreeVec %llu mal", &allocs, &frees), 2);
  EXPECT_EQ(allocs, frees) << tail;
  EXPECT_NE(log.find("ShutdownSystem: 0 Dateien an FileSet und SaveMem2File vorbei beschrieben"), std::string::npos)
      << tail;
  for (const auto& entry : fs::recursive_directory_iterator(".")) {
    const std::string name = entry.path().filename().string();
    EXPECT_NE(name.rfind(".qoetmp-", 0), 0u) << "a staged file was left: " << entry.path();
  }
}

// ---- the screen graph -----------------------------------------------------------

struct GraphCase {
  int32_t code;
  bool byGadget;  // the screen's own way out, else Escape
  uint32_t mode;
  std::string leave;  // the row's first leave step
};

void PrintTo(const GraphCase& c, std::ostream* os) {
  *os << "screen " << c.code << (c.byGadget ? " by its gadget" : " by Escape") << " mode " << c.mode;
}

std::vector<GraphCase> GraphCases(bool by_gadget, uint32_t mode) {
  std::vector<GraphCase> out;
  uint32_t count = 0;
  const ScreenTableEntry* rows = ProgramScreenTable(&count);
  for (uint32_t i = 0; i < count; ++i) {
    const ScreenTableEntry& row = rows[i];
    // 1139 is the main screen's second code: the same screen.
    if (!ProgramScreenBuilt(&row) || row.code == kMainToo) continue;
    const std::string leave = row.leave ? row.leave : "gadget EXIT\n";
    if (by_gadget && leave.empty()) continue;  // no gadget of its own: Escape leaves it
    out.push_back({row.code, by_gadget, mode, by_gadget ? leave : "key esc\n"});
  }
  return out;
}

std::string GraphCaseName(const testing::TestParamInfo<GraphCase>& info) {
  return "Screen" + std::to_string(info.param.code) + (info.param.byGadget ? "ByGadget" : "ByEscape") + "Mode" +
         std::to_string(info.param.mode);
}

class ScreenGraph : public testing::TestWithParam<GraphCase> {
 protected:
  void SetUp() override { qoe_test::InstallDemoRealmHere(&bin_, true); }
  std::string bin_;
};

}  // namespace

TEST_P(ScreenGraph, LeavingReachesTheMainScreen) {
  const GraphCase& c = GetParam();
  // Each step first moves the pointer, so that a screen that handles its
  // gadgets only on events has offered them before the step looks.
  std::string script = "wait 1500\n";
  for (int k = 0; k < kLeaveSteps; ++k) {
    const std::string step = k == 0 || !c.byGadget ? c.leave : "gadget EXIT STAD NORM\n";
    script += "move 320 240\nwait 100\n" + step + "wait 1500\n";
  }
  script += "quit\nwait 100\n";
  ASSERT_TRUE(qoe_test::WriteFileBytes("run.txt", std::vector<uint8_t>(script.begin(), script.end())));
  const std::string cmd = "timeout -s KILL 300 env QOE_HEADLESS_SCRIPT=run.txt QOE_HEADLESS_MODE=" +
                          std::to_string(c.mode) + " QOE_START_SCREEN=" + std::to_string(c.code) + " " + bin_ +
                          " >out.txt 2>err.txt";
  const int status = std::system(cmd.c_str());
  const std::string log = FileText("Quill.dbg");
  ExpectOrderlyEnd(status, log);

  const std::vector<int32_t> way = ScreensEntered(log);
  std::printf("[ way      ] %d %s, mode %u: %s\n", c.code, c.byGadget ? "by its gadget" : "by Escape", c.mode,
              Listed(way, way.size()).c_str());
  ASSERT_FALSE(way.empty()) << "no screen was entered\n" << log;
  EXPECT_EQ(way[0], c.code);
  if (c.code == kAnarchy) {
    // The anarchy screen removes the lost realm and ends the game itself.
    EXPECT_EQ(way.size(), 1u);
    EXPECT_EQ(log.find("Programmende angefordert"), std::string::npos) << "the game did not end by itself\n" << log;
    return;
  }
  // The main screen, or the title, the game's front page: its Escape asks
  // whether the game ends, its way on to the main screen is its NORM gadget
  // (the title's own row by its gadget).
  size_t end = way.size();
  for (size_t i = 0; i < way.size() && end == way.size(); ++i)
    if (way[i] == kMain || way[i] == kMainToo || (way[i] == kTitle && (i > 0 || !c.byGadget))) end = i;
  ASSERT_LT(end, way.size()) << "the main screen was not reached: " << Listed(way, way.size());
  EXPECT_LE(end, kFewScreens) << "a long way: " << Listed(way, end + 1);
  for (size_t i = 0; i <= end; ++i)
    for (size_t j = i + 1; j <= end; ++j)
      EXPECT_NE(way[i], way[j]) << "screen " << way[i] << " entered twice on the way: " << Listed(way, end + 1);
}

INSTANTIATE_TEST_SUITE_P(Escape640x480x8, ScreenGraph, testing::ValuesIn(GraphCases(false, kMode640x8)), GraphCaseName);
INSTANTIATE_TEST_SUITE_P(Gadget640x480x8, ScreenGraph, testing::ValuesIn(GraphCases(true, kMode640x8)), GraphCaseName);
INSTANTIATE_TEST_SUITE_P(Escape1024x768x32, ScreenGraph, testing::ValuesIn(GraphCases(false, kMode1024x32)),
                         GraphCaseName);

// ---- random walks over the whole program ------------------------------------------

namespace {

struct WalkCase {
  uint32_t mode;
  uint64_t seed;
};

void PrintTo(const WalkCase& c, std::ostream* os) { *os << "mode " << c.mode << " seed " << c.seed; }

std::string WalkCaseName(const testing::TestParamInfo<WalkCase>& info) {
  return "Mode" + std::to_string(info.param.mode) + "Seed" + std::to_string(info.param.seed);
}


// A walk caught between two screens: the longest stretch of the way over
// which two screens take turns (A B A B ...), its start in *at.
size_t LongestAlternation(const std::vector<int32_t>& way, size_t* at) {
  size_t best = way.empty() ? 0 : 1, run = best;
  *at = 0;
  for (size_t i = 1; i < way.size(); ++i) {
    run = way[i] == way[i - 1] ? 1 : i >= 2 && way[i] == way[i - 2] ? run + 1 : 2;
    if (run > best) best = run, *at = i + 1 - run;
  }
  return best;
}

// Two screens taking turns this often in a row are a loop the walk is
// caught in (each was entered three times).
constexpr size_t kLoop = 6;

class ProgramWalk : public testing::TestWithParam<WalkCase> {
 protected:
  void SetUp() override { qoe_test::InstallDemoRealmHere(&bin_, true); }
  std::string bin_;
};

}  // namespace

TEST_P(ProgramWalk, EndsInOrder) {
  const WalkCase& c = GetParam();
  const bool gl = c.mode == kMode1024x32GL;
  uint64_t seed = c.seed;
  if (const char* s = std::getenv("QOE_WALK_SEED"); s && *s) seed = std::strtoull(s, nullptr, 0);
  SCOPED_TRACE("seed " + std::to_string(seed) + " (replay: QOE_WALK_SEED=" + std::to_string(seed) +
               " ctest -R 'ProgramWalk.*/Mode" + std::to_string(c.mode) + "Seed" + std::to_string(c.seed) + "( |$)')");
  // On the real clock of the OpenGL row the steps are quicker and fewer.
  const long steps = gl ? 200 : 400;
  // After the walk Escape leads back to the main screen (its family tree
  // offered) or to the title, the front page, whose way on to the main
  // screen is its NORM ("Continue"; twice, should a box of the title's meet
  // the first click).
  const std::string script = "wait 1000\nwalk " + std::to_string(seed) + " " + std::to_string(steps) +
                             (gl ? " 100\n" : "\n") +
                             "escape-to TREE NORM\ngadget NORM\nescape-to TREE NORM\ngadget NORM\n"
                             "escape-to TREE NORM\npng walk_" + std::to_string(c.mode) + "_" + std::to_string(c.seed) +
                             ".png\nquit\nwait 100\n";
  ASSERT_TRUE(qoe_test::WriteFileBytes("run.txt", std::vector<uint8_t>(script.begin(), script.end())));
  const std::string env = "QOE_HEADLESS_MODE=" + std::to_string(c.mode) + " QOE_START_SCREEN=" + std::to_string(kMain) + " ";
  const std::string cmd = qoe_test::ProgramRunCommand(bin_, env, gl);
  ASSERT_FALSE(cmd.empty());
  const int status = std::system(cmd.c_str());
  const std::string log = FileText("Quill.dbg");
  if (gl) { ASSERT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) == 97) << FileText("xvfb.txt"); }
  ExpectOrderlyEnd(status, log);
  qoe_test::KeepPng("walk_" + std::to_string(c.mode) + "_" + std::to_string(c.seed) + ".png");
  if (gl) { EXPECT_NE(log.find("OpenGL Info"), std::string::npos) << "no OpenGL context"; }
  const std::vector<int32_t> way = ScreensEntered(log);
  ASSERT_FALSE(way.empty()) << "the log lists no screen";
  EXPECT_EQ(way[0], kMain);
  std::printf("[ walk     ] mode %u seed %llu, %zu screens: %s\n", c.mode, static_cast<unsigned long long>(seed),
              way.size(), Listed(way, way.size()).c_str());
  size_t at = 0;
  const size_t loop = LongestAlternation(way, &at);
  EXPECT_LT(loop, kLoop) << "the walk went to and fro between two screens: "
                         << Listed(std::vector<int32_t>(way.begin() + long(at), way.end()), loop);
  // Escape led back to the main screen, where the game then ended in order;
  // to the title when the walk began a new game there (the realm given up,
  // no main screen is left to go to). A walk may also have ended the game
  // itself (the title's "leave the game?" answered with Enter): its steps
  // stop there, and so does the script.
  const size_t summary = log.find("Headless: Zufallsgang mit Seed " + std::to_string(seed) + ": ");
  ASSERT_NE(summary, std::string::npos) << "the walk did not end";
  long clicks = 0, keys = 0;
  ASSERT_EQ(std::sscanf(log.c_str() + summary, "Headless: Zufallsgang mit Seed %*u: %ld Klicks, %ld Tasten", &clicks, &keys),
            2);
  if (clicks + keys < steps) {
    std::printf("[ walk     ] the walk ended the game itself after %ld steps\n", clicks + keys);
    return;
  }
  EXPECT_NE(log.find("Headless: Gadget TREE NORM nach "), std::string::npos)
      << "Escape led neither to the main screen nor to the title; the way: " << Listed(way, way.size());
  if (CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0) == ACCOUNT_INSTALLED) {
    EXPECT_TRUE(way.back() == kMain || way.back() == kMainToo) << "the last screen: " << way.back();
  } else {
    std::printf("[ walk     ] the walk began a new game: no realm, no main screen\n");
    EXPECT_EQ(way.back(), kTitle);
  }
}

// The stretch where two screens take turns, on ways of the dispatcher's log
// (from kLoop on the walk failed).
TEST(ProgramWalkWay, TheLongestStretchOfTwoScreensTakingTurns) {
  const struct {
    std::vector<int32_t> way;
    size_t longest, at;
  } cases[] = {
      {{}, 0, 0},
      {{2}, 1, 0},
      {{2, 2, 2}, 1, 0},
      {{2, 36, 2, 33, 2, 35}, 3, 0},
      {{2, 36, 2, 36, 2, 38}, 5, 0},
      {{2, 39, 56, 39, 56, 39, 56, 2}, 6, 1},
      {{2, 133, 134, 133, 134, 133, 134, 133, 2}, 7, 1},
      {{2, 35, 2, 35, 2, 35}, 6, 0},
  };
  for (const auto& c : cases) {
    size_t at = 99;
    EXPECT_EQ(LongestAlternation(c.way, &at), c.longest) << Listed(c.way, c.way.size());
    EXPECT_EQ(at, c.at) << Listed(c.way, c.way.size());
  }
}

INSTANTIATE_TEST_SUITE_P(Headless, ProgramWalk,
                         testing::Values(WalkCase{kMode640x8, 1}, WalkCase{kMode640x8, 2}, WalkCase{kMode640x8, 3},
                                         WalkCase{kMode1024x32, 1}, WalkCase{kMode1024x32, 2},
                                         WalkCase{kMode1024x32, 3}),
                         WalkCaseName);
INSTANTIATE_TEST_SUITE_P(OpenGL, ProgramWalk, testing::Values(WalkCase{kMode1024x32GL, 1}, WalkCase{kMode1024x32GL, 2}),
                         WalkCaseName);
