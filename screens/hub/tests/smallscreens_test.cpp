// The anarchy screen, the credits, the family tree and the slide show on the
// headless display: Escape on the anarchy screen removes the game, the
// credits lines go by pairs and start again after the last full pair, the
// slide show ends on Escape and skips a slide whose picture is missing.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/display.h"
#include "platform/headless.h"
#include "platform/log.h"
#include "platform/pngfile.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/turns.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/system/catalog.h"
#include "routinen/system/files.h"
#include "routinen/system/input.h"
#include "routinen/system/prefs.h"
#include "routinen/system/sysrecords.h"
#include "screens/hub/anarchie.h"
#include "screens/hub/credits.h"
#include "screens/hub/stammbaum.h"
#include "tests/support/log_lines.h"
#include "tests/support/screen_fixture.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

using qoe_test::LogLines;

class SmallScreens : public qoe_test::ScreenTest {
 protected:
  void SetUp() override {
    qoe_test::CopyDataKit();
    *OwnPlayerPtr = OwnPlayer{};
    CheckPrefs(PREFS_ACCOUNT_STATE, 1, 0);
    ScreenTest::SetUp();
  }
  void TearDown() override {
    ScreenTest::TearDown();
    *OwnPlayerPtr = OwnPlayer{};
  }
  // Runs screen(0) on the game thread under a script; its result.
  int32_t Run(int32_t (*screen)(int32_t), const std::string& script) { return RunScreen(screen, 0, script); }
};

TEST_P(SmallScreens, AnarchyEscapeRemovesTheGameWhateverTheText) {
  for (uint32_t state : {1u, 2u, 0u}) {
    SCOPED_TRACE(state);
    fs::create_directories("Data/POP3In");
    ASSERT_TRUE(qoe_test::WriteFileBytes("Data/POP3In/GameChunk.qoe", {1, 2, 3}));
    ASSERT_TRUE(qoe_test::WriteFileBytes("Data/MapPrefs.qoe", {1, 2, 3}));
    CheckPrefs(PREFS_ACCOUNT_STATE, 1, 2);
    OwnPlayerPtr->Anarchy = state;
    const std::string png = "anarchie_" + std::to_string(GetParam()) + "_" + std::to_string(state) + ".png";
    // Three seconds of letters, a picture, then Escape.
    EXPECT_EQ(Run(AnarchieScreen, "timer 0 100\nwait 4000\npng " + png + "\nkey esc\n"), -1);
    EXPECT_FALSE(fs::exists("Data/POP3In/GameChunk.qoe"));
    EXPECT_FALSE(fs::exists("Data/MapPrefs.qoe"));
    EXPECT_EQ(CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0), 0u);
    EXPECT_TRUE(fs::exists("Data/Path"));  // the indexes stay
    if (state == 1) { EXPECT_TRUE(qoe_test::KeepPng(png)); }
  }
  EXPECT_EQ(AnarchieTextId(1), 1006u);
  EXPECT_EQ(AnarchieTextId(2), 1025u);
  EXPECT_EQ(AnarchieTextId(3), 0u);
}

TEST_P(SmallScreens, AnarchyClosedWindowLeavesTheGame) {
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/MapPrefs.qoe", {1, 2, 3}));
  CheckPrefs(PREFS_ACCOUNT_STATE, 1, 2);
  OwnPlayerPtr->Anarchy = 1;
  EXPECT_EQ(Run(AnarchieScreen, "wait 500\nquit\n"), -1);
  EXPECT_TRUE(fs::exists("Data/MapPrefs.qoe"));
  EXPECT_EQ(CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0), 2u);
}

TEST_P(SmallScreens, CreditsLinesByPairsWrappingAfterTheLastFullPair) {
  // The built-in text (an even number of lines) by pairs, then from the
  // start again.
  ASSERT_NE(OpenElmorPic(".\\Data\\Path", 151, 0), -1);
  WaitTransition();
  const char* text = GetCatalogStr(1035);
  uint32_t lines = 1;
  for (const char* p = text; *p; ++p) lines += *p == '\n';
  ASSERT_EQ(lines % 2, 0u);
  uint32_t index = 0;
  std::vector<uint32_t> seen;
  for (uint32_t i = 0; i < lines / 2 + 2; ++i) seen.push_back(index = CreditsPrintText(nullptr, index));
  for (uint32_t i = 0; i + 1 < lines / 2; ++i) EXPECT_EQ(seen[i], 2 * (i + 1));
  EXPECT_EQ(seen[lines / 2 - 1], lines);
  EXPECT_EQ(seen[lines / 2], 0u);
  EXPECT_EQ(seen[lines / 2 + 1], 2u);
  // An odd count: the last line has no partner and the list starts again.
  const char* saved = CatalogStrings[1035].text;
  CatalogStrings[1035].text = "a\nb\nc\nd\ne";
  EXPECT_EQ(CreditsPrintText(nullptr, 0), 2u);
  EXPECT_EQ(CreditsPrintText(nullptr, 2), 4u);
  EXPECT_EQ(CreditsPrintText(nullptr, 4), 0u);
  CatalogStrings[1035].text = saved;
  CloseElmorPic(151, 0);
}

TEST_P(SmallScreens, CreditsRunUntilAClickAndLeadToTheSignUp) {
  const std::string png = "credits_" + std::to_string(GetParam()) + ".png";
  EXPECT_EQ(Run(CreditScreen, "timer 0 100\nwait 3000\npng " + png + "\n" + Click(300, 300)), 32);
  EXPECT_TRUE(qoe_test::KeepPng(png));
  EXPECT_EQ(Run(CreditScreen, "key esc\n"), 32);
  CheckPrefs(PREFS_ACCOUNT_STATE, 1, 2);
  EXPECT_EQ(Run(CreditScreen, ""), 2);  // with a game: at once back
}

TEST_P(SmallScreens, FamilyTreeShowsItsNoticeAndReturns) {
  const std::string png = "stammbaum_" + std::to_string(GetParam()) + ".png";
  EXPECT_EQ(Run(StammbaumScreen, "wait 300\npng " + png + "\nkey enter\n"), 2);
  EXPECT_TRUE(qoe_test::KeepPng(png));
  fs::remove("Data/Screendat/Stammbaum.dat");
  LogLines log;
  EXPECT_EQ(Run(StammbaumScreen, ""), -1);
  EXPECT_TRUE(log.Has("StammbaumScreen: Kann TitelbarDaten nicht laden!"));
}

TEST_P(SmallScreens, SlideShowSkipsAMissingPictureAndEndsOnEscape) {
  ASSERT_TRUE(fs::remove("Gfx/Pic0337.ilbm"));
  static int32_t after;
  LogLines log;
  // Two clicks (slides 1266 and 338; 337 is skipped), a picture of the
  // third slide (339), Escape; the key after it reaches the caller.
  const std::string png = "slide_" + std::to_string(GetParam()) + ".png";
  const std::string script = Click(300, 300) + Click(300, 300) + "wait 200\npng " + png + "\nkey esc\nkey A\n";
  EXPECT_EQ(HeadlessRunGame(script.c_str(),
                            [](void*) {
                              SlideShow(0);
                              after = WaitEvent(0);
                              return 0;
                            },
                            nullptr),
            0);
  EXPECT_EQ(after, 'A');
  EXPECT_TRUE(log.Has("SlideShow: Konnte Bild 337 nicht laden"));
  EXPECT_FALSE(log.Has("Bild 338"));
  EXPECT_TRUE(qoe_test::KeepPng(png));
  // With texts: each text box closes with a click first; Escape during the
  // wait after the text ends the show.
  const std::string texts = "key enter\n" + Click(300, 300) + "key enter\nkey esc\nkey B\n";
  EXPECT_EQ(HeadlessRunGame(texts.c_str(),
                            [](void*) {
                              SlideShow(1);
                              after = WaitEvent(0);
                              return 0;
                            },
                            nullptr),
            0);
  EXPECT_EQ(after, 'B');
}

std::string PicFile(uint32_t id) {
  char name[32];
  std::snprintf(name, sizeof name, "/datakit/Gfx/Pic%04u.ilbm", id);
  return qoe_test::BinaryDir() + name;
}

TEST(Slides, EveryPictureOfTheShowIsInTheKit) {
  std::vector<uint8_t> seen(2000);
  for (const Slide& s : kSlides) {
    EXPECT_TRUE(qoe_test::FileExists(PicFile(s.picture)))
        << s.picture;
    EXPECT_EQ(seen[s.picture]++, 0) << s.picture;
    EXPECT_GT(std::string(GetCatalogStr(s.text)).size(), 20u) << s.text;
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, SmallScreens, testing::Values(0u, 4u), qoe_test::DisplayModeName);

}  // namespace
