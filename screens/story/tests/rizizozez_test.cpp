// The story screen on the headless display, driven by script: a three-page
// story (from a German story catalog) with a picture, a modification and
// links, checked by the pages shown, the received pool's gold and a PNG; an
// English story ended with Escape; a story without pages; a failing effect.
#include "screens/story/rizizozez.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/display.h"
#include "platform/headless.h"
#include "platform/pngfile.h"
#include "platform/log.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gui/layout.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/catalog.h"
#include "routinen/system/input.h"
#include "routinen/system/prefs.h"
#include "tests/support/log_lines.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

const char kIn[] = "Data/POP3In/GameChunk.qoe";

// A German story catalog (FORM CTLG) with one story.
std::vector<uint8_t> Catalog(uint32_t id, const std::string& text) {
  std::vector<uint8_t> strs(8);
  PutBE32(strs.data(), id);
  PutBE32(strs.data() + 4, (uint32_t)text.size() + 1);
  strs.insert(strs.end(), text.begin(), text.end());
  strs.push_back(0);
  while (strs.size() % 4) strs.push_back(0);
  std::vector<uint8_t> form = {'F', 'O', 'R', 'M', 0, 0, 0, 0, 'C', 'T', 'L', 'G', 'S', 'T', 'R', 'S', 0, 0, 0, 0};
  PutBE32(form.data() + 16, (uint32_t)strs.size());
  for (uint8_t b : strs) form.push_back(b);
  PutBE32(form.data() + 4, (uint32_t)form.size() - 8);
  return form;
}

using qoe_test::LogLines;

// The story pages the browser opened, in order.
std::vector<uint32_t> Pages(const LogLines& log) {
  std::vector<uint32_t> pages;
  for (const auto& l : log.lines)
    if (l.rfind("BTTextBox : Seite ", 0) == 0 && l.find("gibt es nicht") == std::string::npos)
      pages.push_back((uint32_t)std::atoi(l.c_str() + 18));
  return pages;
}

class StoryScreen : public testing::TestWithParam<uint32_t> {
 protected:
  void SetUp() override {
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit/Data/Screendat/BTTExtBox.dat");
    fs::copy(qoe_test::BinaryDir() + "/datakit", ".", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    fs::create_directories("Data/POP3In");
    fs::create_directories("Data/POP3Out");
    uint8_t* land = AllocChunk("LAND", "V001", 160);
    ChunkPut32(land, 34, 1000);
    ASSERT_EQ(AddChunkPool(land, kIn), 1);
    FreeChunk(land);
    ASSERT_EQ(HeadlessOpenDisplay(GetParam()), 1);
    ResetInputState();
    GameAreaOffset(DisplayWidth(), DisplayHeight(), &dx_, &dy_);
  }
  void TearDown() override {
    unsetenv("LC_ALL");
    FreeAllElmorGfx();
    ResetTitleBar();
    HeadlessCloseDisplay();
  }
  std::string Click(int x, int y) const {
    return qoe_test::ClickLine(x + dx_, y + dy_);
  }
  // The link button GADn.
  std::string Link(int n) const { return Click(128 + (n - 1) * 71, 413); }
  uint32_t Gold() {
    uint8_t* land = LoadChunk2Mem("LAND", kIn);
    const uint32_t gold = land ? ChunkGet32(land, 34) : 0;
    FreeChunk(land);
    return gold;
  }
  int32_t Run(const std::string& script) {
    static int32_t result;
    result = 0;
    // The 100 ms game timer that SetupSystem starts in the program.
    const std::string timed = "timer 0 100\n" + script;
    EXPECT_EQ(HeadlessRunGame(timed.c_str(), [](void*) { return result = RizizOzez(2), 0; }, nullptr), 0);
    return result;
  }
  std::string Png(const std::string& name) const { return name + "_" + std::to_string(GetParam()) + ".png"; }
  void Keep(const std::string& png) {
    ASSERT_GT(qoe_test::ReadFileBytes(png).size(), 20000u);  // a picture, not a flat field
    EXPECT_TRUE(qoe_test::KeepPng(png));
  }
  int32_t dx_ = 0, dy_ = 0;
};

// Page 1 has a picture and two choices; page 2 gives 250 gold and leads back
// or ends; page 3 ends. The player goes 1, 2, back to 1, 3 and ends.
TEST_P(StoryScreen, ThreePagesWithALinkAPictureAndAModification) {
  const std::string story =
      "The old shaft\n\n\xA7(#1,0,0,120,90)Deep in the hill the miners found a shaft, forgotten for "
      "centuries. The walls glitter in the light of their torches.\n\n(!10)Do you send them down? (!7)Choose "
      "I to send them, II to close the shaft.\xA7($2,3,2)\xA7\xA7"
      "They come back with silver: (!8)250 gold (!7)for your treasury.\xA7(%9,250,0)\xA7($2,<,-1)\xA7\xA7"
      "You close the shaft. The miners go home.\xA7($1,-1)\xA7\xA7";
  fs::create_directories("Catalogs/deutsch");
  ASSERT_TRUE(qoe_test::WriteFileBytes("Catalogs/deutsch/RizizOzez.catalog", Catalog(17, story)));
  setenv("LC_ALL", "de_DE.ISO-8859-1", 1);
  RizizOzezPrefs(0, 1, 17);
  const std::string png = Png("story_page"), png2 = Png("story_page2");
  LogLines log;
  const std::string script =
      "wait 5200\npng " + png + "\n" + Link(3) + "png " + png2 + "\n" + Link(1) + Link(2) + Link(4) + "wait 6000\n";
  EXPECT_EQ(Run(script), 2);
  EXPECT_EQ(Pages(log), (std::vector<uint32_t>{1, 2, 1, 3}));
  EXPECT_EQ(Gold(), 1250u);  // page 2 was opened once
  EXPECT_TRUE(log.Has("Die folgende Story sollte nun gespielt werden 17"));
  Keep(png);
  Keep(png2);
}

// The built-in English story 1 with its picture; Escape ends the browser.
TEST_P(StoryScreen, EnglishStoryEndedWithEscape) {
  RizizOzezPrefs(0, 1, 1);
  const std::string png = Png("story_first_day"), scene = Png("story_campfire");
  LogLines log;
  EXPECT_EQ(Run("wait 5200\npng " + png + "\nkey esc\nwait 500\npng " + scene + "\nwait 6000\n"), 2);
  EXPECT_EQ(Pages(log), (std::vector<uint32_t>{1}));
  EXPECT_EQ(Gold(), 1000u);
  Keep(png);
  Keep(scene);
}

// The close button stands at its 43 x 41 place in the frame's corner; its
// old place does nothing.
TEST_P(StoryScreen, TheExitButtonEndsTheStory) {
  RizizOzezPrefs(0, 1, 1);
  const std::string a = Png("story_exit_before"), b = Png("story_exit_old_place");
  LogLines log;
  EXPECT_EQ(Run("wait 5200\n" + Click(300, 200) + "png " + a + "\n" + Click(495, 444) + "png " + b + "\n" +
                Click(541, 434) + "wait 6000\n"),
            2);
  EXPECT_EQ(Pages(log), (std::vector<uint32_t>{1}));
  ASSERT_FALSE(qoe_test::ReadFileBytes(a).empty());
  EXPECT_EQ(qoe_test::ReadFileBytes(a), qoe_test::ReadFileBytes(b));
  Keep(a);
}

// A story without a page closes the browser at once; a link to a page
// beyond the last ends the story.
TEST_P(StoryScreen, MissingPagesEndTheStory) {
  RizizOzezPrefs(0, 1, 0);  // entry 0 is the title: no page
  {
    LogLines log;
    EXPECT_EQ(Run("wait 11000\n"), 2);
    EXPECT_TRUE(Pages(log).empty());
    EXPECT_TRUE(log.Has("Seite 1 gibt es nicht"));
  }
  fs::create_directories("Catalogs/deutsch");
  ASSERT_TRUE(qoe_test::WriteFileBytes("Catalogs/deutsch/RizizOzez.catalog",
                                       Catalog(17, "Only page.\xA7($1,9)\xA7\xA7")));
  setenv("LC_ALL", "de_DE", 1);
  RizizOzezPrefs(0, 1, 17);
  LogLines log;
  EXPECT_EQ(Run("wait 5200\n" + Link(2) + "wait 6000\n"), 2);
  EXPECT_EQ(Pages(log), (std::vector<uint32_t>{1}));
  EXPECT_TRUE(log.Has("Seite 9 gibt es nicht"));
}

// A page longer than the window scrolls with the down arrow key and the
// scroll gadget; INFO's help box closes again.
TEST_P(StoryScreen, LongPagesScroll) {
  std::string story = "A long page\n\n";
  for (int i = 1; i <= 60; ++i) story += "Line " + std::to_string(i) + " of the long page.\n";
  story += "\xA7($1,-1)\xA7\xA7";
  fs::create_directories("Catalogs/deutsch");
  ASSERT_TRUE(qoe_test::WriteFileBytes("Catalogs/deutsch/RizizOzez.catalog", Catalog(17, story)));
  setenv("LC_ALL", "de_DE", 1);
  RizizOzezPrefs(0, 1, 17);
  const std::string a = Png("story_top"), b = Png("story_key"), c = Png("story_gadget");
  const std::string script = "wait 5200\npng " + a + "\nkey down\npng " + b + "\n" + Click(530, 343) + "png " + c +
                             "\n" + Click(100, 444) + "key enter\nkey esc\nwait 6000\n";
  EXPECT_EQ(Run(script), 2);
  const auto top = qoe_test::ReadFileBytes(a), key = qoe_test::ReadFileBytes(b), gadget = qoe_test::ReadFileBytes(c);
  ASSERT_FALSE(top.empty());
  EXPECT_NE(top, key);
  EXPECT_NE(key, gadget);
  Keep(c);
}

// The bank robbery's effect cannot run without a TOWN chunk: the screen
// ends with -1.
TEST_P(StoryScreen, FailingEffectsEndTheGame) {
  RizizOzezPrefs(0, 1, 13);
  LogLines log;
  EXPECT_EQ(Run("wait 5200\nkey esc\nwait 6000\n"), -1);
  EXPECT_TRUE(log.Has("RizizOzez: Konnte RizizOzezEvents nicht starten"));
}

// Under the mouse each link button's name shows in the bar at the foot of
// the camp fire: the choice "I" and a plain next-page button differ, and
// both differ from the bar with the mouse on the page.
TEST_P(StoryScreen, TheBarNamesTheLinkButtonUnderTheMouse) {
  const std::string story = "Two ways.\xA7($2,3,2)\xA7\xA7Page two.\xA7($1,-1)\xA7\xA7Page three.\xA7($1,-1)\xA7\xA7";
  fs::create_directories("Catalogs/deutsch");
  ASSERT_TRUE(qoe_test::WriteFileBytes("Catalogs/deutsch/RizizOzez.catalog", Catalog(17, story)));
  setenv("LC_ALL", "de_DE.ISO-8859-1", 1);
  RizizOzezPrefs(0, 1, 17);
  auto move = [&](int x, int y) { return "move " + std::to_string(x + dx_) + " " + std::to_string(y + dy_) + "\nwait 400\n"; };
  const std::string none = Png("story_bar_none"), choice = Png("story_bar_choice"), next = Png("story_bar_next");
  const std::string script = "wait 5200\n" + move(300, 200) + "png " + none + "\n" + move(200, 413) + "png " + choice +
                             "\n" + move(483, 413) + "png " + next + "\nkey esc\nwait 6000\n";
  EXPECT_EQ(Run(script), 2);
  auto bar = [&](const std::string& png) {
    std::vector<uint32_t> px;
    uint32_t w = 0, h = 0;
    EXPECT_EQ(ReadPngRGB(png.c_str(), &px, &w, &h), 1) << png;
    std::vector<uint32_t> strip;
    for (int y = 464; y <= 478 && !px.empty(); ++y)
      for (int x = 160; x <= 480; ++x) strip.push_back(px[(y + dy_) * w + x + dx_]);
    return strip;
  };
  const auto a = bar(none), b = bar(choice), c = bar(next);
  ASSERT_FALSE(a.empty());
  EXPECT_NE(a, b) << "no name for the choice";
  EXPECT_NE(a, c) << "no name for the next page";
  EXPECT_NE(b, c);
  Keep(choice);
}

// Each link button is named in the title bar by where it leads from the
// page shown; a button that does nothing has no name.
TEST(StoryLinks, EachButtonNamesWhereItLeads) {
  QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit/Data/Screendat/BTTExtBox.dat");
  fs::copy(qoe_test::BinaryDir() + "/datakit", ".", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  ScreenRegion* layout = GetScreenRegion(".\\Data\\Screendat\\BTTExtBox.dat", 3);
  ASSERT_NE(layout, nullptr);
  auto name = [&](int n) -> std::string {
    const Gadget* g = FindGadget(layout, ("GAD" + std::to_string(n)).c_str());
    if (!g || !g->textArea) return "(no text record)";
    return g->textArea->text ? g->textArea->text : "";
  };
  const std::string next = GetCatalogStr(1745), back = GetCatalogStr(1744), end = GetCatalogStr(1743);
  uint16_t targets[6] = {};
  StoryLinkNames names{};
  // Page 1 without links: nothing acts, nothing is named.
  RizizOzezBrowserLinks(1, "Once upon a time.\xA7\xA7", layout, targets, &names);
  for (int n = 1; n <= 6; ++n) EXPECT_EQ(name(n), "") << n;
  // Two choices: "I" to page 3, "II" to page 2, the others to the next page.
  RizizOzezBrowserLinks(1, "Choose.\xA7($2,3,2)\xA7\xA7", layout, targets, &names);
  EXPECT_EQ(name(1), next);
  EXPECT_EQ(name(2), "take this path (page 3)");
  EXPECT_EQ(name(3), next);
  EXPECT_EQ(name(6), next);
  // Back, and the rest end the story.
  RizizOzezBrowserLinks(2, "Silver.\xA7($2,<,-1)\xA7\xA7", layout, targets, &names);
  EXPECT_EQ(name(1), back);
  for (int n = 2; n <= 6; ++n) EXPECT_EQ(name(n), end) << n;
  // A page without links keeps the buttons; their names follow the new page.
  RizizOzezBrowserLinks(3, "More.\xA7\xA7", layout, targets, &names);
  EXPECT_EQ(name(1), "take this path (page 1)");
  EXPECT_EQ(name(2), end);
  FreeScreenRegion(layout);
}

INSTANTIATE_TEST_SUITE_P(Modes, StoryScreen, testing::Values(0u, 4u),
                         [](const testing::TestParamInfo<uint32_t>& i) { return "Mode" + std::to_string(i.param); });

}  // namespace
