// A held key acts once where a screen or a box changes: the whole program,
// headless on the demo realm, with a key held (the script's keydown, its
// repeats at the keyboard's pace) over a change of screen. The key acts on
// the screen where it went down; the screens and boxes that open while it
// is still held are seen and wait for a key pressed anew.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "demo_realm.h"
#include "routinen/system/prefs.h"
#include "tests/support/test_support.h"

namespace {

using qoe_test::ScreensEntered;

std::string FileText(const std::string& name) {
  auto bytes = qoe_test::ReadFileBytes(name);
  return std::string(bytes.begin(), bytes.end());
}

// The texts the program showed (QOE_DRAWN_TEXTS: each once, ended by a NUL).
std::set<std::string> DrawnTexts(const std::string& name) {
  std::set<std::string> out;
  const std::string all = FileText(name);
  for (size_t at = 0; at < all.size();) {
    const size_t end = all.find('\0', at);
    out.insert(all.substr(at, end == std::string::npos ? std::string::npos : end - at));
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return out;
}

struct HeldCase {
  const char* name;
  int32_t start;       // QOE_START_SCREEN
  uint32_t tutorial;   // the tutorial's step; the new turn's mark is set at step 0
  uint32_t uploads;    // the orders sent this turn (none: the title asks before the game ends)
  std::string script;  // holds a key over a change of screen, then closes the game
  std::vector<int32_t> screens;       // the screens entered, in order
  std::vector<std::string> drawn;     // texts the player saw
  std::vector<std::string> logged;    // log lines (their start) the run wrote
};

void PrintTo(const HeldCase& c, std::ostream* os) { *os << c.name; }

const char kWelcomeLine[] = "Residenz: Text fuer den Spieler: ";
const char kCloseLine[] = "Programmende angefordert";  // the script's quit closed a running game

std::vector<HeldCase> Cases() {
  return {
      // The browser opens on the fifth second of the story screen; Escape,
      // pressed there, ends the story; held six seconds, its repeats reach
      // the main screen and the tutorial's question. The question is seen
      // and waits: Enter pressed anew answers yes and the chancellor's
      // welcome follows. No way leads on to the title.
      {"EscapeHeldOverTheStoryLeavesTheTutorialsQuestionOpen", 505, 0, 0,
       "wait 5300\nkeydown esc\nwait 6000\nkeyup esc\nwait 500\nkey enter\nwait 1500\nquit\nwait 100\n",
       {505, 2},
       {"Would you like to play the tutorial ?"},
       {kWelcomeLine, kCloseLine}},
      // Escape held 1.5 s on the main screen after an upload leaves it for
      // the title, once: the title's first box stands, and the game runs on
      // until the close (the title's Escape would end it at once).
      {"EscapeHeldOnTheMainScreenLeavesItOnce", 2, 18, 1,
       "wait 1500\nkeydown esc\nwait 1500\nkeyup esc\nwait 1000\nquit\nwait 100\n",
       {2, 1},
       {"Debug-Version!"},
       {kCloseLine}},
  };
}

class HeldKeyProgram : public testing::TestWithParam<HeldCase> {
 protected:
  void SetUp() override { qoe_test::InstallDemoRealmHere(&bin_, true); }
  std::string bin_;
};

}  // namespace

TEST_P(HeldKeyProgram, ActsOnceWhereTheScreenChanges) {
  const HeldCase& c = GetParam();
  ASSERT_NE(CheckPrefs(PREFS_TUTORIAL_STEP, 1, c.tutorial), 0xFFFFFFFFu);
  ASSERT_NE(CheckPrefs(PREFS_NEW_TURN, 1, c.tutorial == 0 ? 1 : 0), 0xFFFFFFFFu);
  ASSERT_NE(CheckPrefs(PREFS_TIP_COUNTER, 1, 9), 0xFFFFFFFFu);
  ASSERT_NE(CheckPrefs(PREFS_UPLOADS, 1, c.uploads), 0xFFFFFFFFu);  // every tip told: the main screen opens without a box
  ASSERT_TRUE(qoe_test::WriteFileBytes("run.txt", std::vector<uint8_t>(c.script.begin(), c.script.end())));
  const std::string cmd = "timeout -s KILL 300 env QOE_HEADLESS_SCRIPT=run.txt QOE_HEADLESS_MODE=0 QOE_DRAWN_TEXTS=drawn.txt "
                          "QOE_START_SCREEN=" + std::to_string(c.start) + " " + bin_ + " >out.txt 2>err.txt";
  const int status = std::system(cmd.c_str());
  const std::string log = FileText("Quill.dbg");
  const std::string tail = log.size() > 6000 ? log.substr(log.size() - 6000) : log;
  ASSERT_TRUE(WIFEXITED(status)) << "the program did not end\n" << tail;
  EXPECT_EQ(WEXITSTATUS(status), 0) << tail << FileText("err.txt");
  EXPECT_EQ(ScreensEntered(log), c.screens) << tail;
  const std::set<std::string> drawn = DrawnTexts("drawn.txt");
  for (const std::string& text : c.drawn) EXPECT_EQ(drawn.count(text), 1u) << "not seen: " << text;
  for (const std::string& line : c.logged) EXPECT_NE(log.find(line), std::string::npos) << "not logged: " << line << "\n" << tail;
}

INSTANTIATE_TEST_SUITE_P(Demo, HeldKeyProgram, testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<HeldCase>& i) { return std::string(i.param.name); });
