// The modem page by headless script: the cursor switch and its mark, the
// chain of codes, what each way out stores, and a PNG of the page.
#include "screens/hub/option2.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/display.h"
#include "platform/headless.h"
#include "platform/pngfile.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/system/input.h"
#include "routinen/system/options.h"
#include "routinen/system/prefs.h"
#include "routinen/system/sysrecords.h"
#include "screens/hub/tests/savegame_support.h"
#include "routinen/system/catalog.h"
#include "tests/support/catalog_text_check.h"
#include "tests/support/test_support.h"

namespace {

class Option2Run : public ::testing::Test {
 protected:
  void SetUp() override {
    savegame_test::PrepareTitleFolder();
    ASSERT_EQ(HeadlessOpenDisplay(0), 1);
    ResetInputState();
    OptionenPrefsDefault(&QoESystemPtr->Optionen);
    ASSERT_EQ(OptionenPrefsSave(&QoESystemPtr->Optionen), 1);
    CheckPrefs(PREFS_ACCOUNT_STATE, 1, 2);
  }
  void TearDown() override {
    savegame_test::CloseScreenTestDisplay();
  }
  static int32_t Run(const std::string& script) { return savegame_test::RunScreen(Option2Screen, 1141, script); }
  static std::string Click(int x, int y) { return qoe_test::ClickLine(x, y); }
  static std::vector<uint8_t> Prefs() { return qoe_test::ReadFileBytes("Data/Optionen.prefs"); }
};

TEST_F(Option2Run, TheSwitchTheWaysOutAndWhatTheyStore) {
  const auto saved = Prefs();
  ASSERT_EQ(saved.size(), (size_t)OPTIONEN_PREFS_SIZE);
  // EXIT stores nothing.
  EXPECT_EQ(Run(Click(300, 220) + Click(560, 445)), 2);
  EXPECT_EQ(QoESystemPtr->Optionen.mouse_cursor, 0u);
  EXPECT_EQ(Prefs(), saved);
  // CURS twice: the old value; NEXT and PREV store without saving.
  EXPECT_EQ(Run(Click(300, 220) + Click(300, 220) + Click(440, 445)), 133);
  EXPECT_EQ(QoESystemPtr->Optionen.mouse_cursor, 0u);
  EXPECT_EQ(Run(Click(300, 220) + Click(200, 445)), 134);
  EXPECT_EQ(QoESystemPtr->Optionen.mouse_cursor, 0xFFFFFFFFu);
  EXPECT_EQ(Prefs(), saved);
  EXPECT_EQ(CurrentMouseCursor(), 110u);
  // OK saves: the file holds the choice (big-endian at +566), nothing else
  // changed.
  EXPECT_EQ(Run(Click(300, 220) + Click(320, 445)), 2);
  EXPECT_EQ(QoESystemPtr->Optionen.mouse_cursor, 0u);
  EXPECT_EQ(Prefs(), saved);
  EXPECT_EQ(CurrentMouseCursor(), 103u);
  EXPECT_EQ(Run(Click(300, 220) + "wait 200\npng option_modem.png\n" + Click(320, 445)), 2);
  EXPECT_TRUE(qoe_test::KeepPng("option_modem.png"));
  auto expected = saved;
  for (int i = 0; i < 4; ++i) expected[566 + i] = 0xFF;
  EXPECT_EQ(Prefs(), expected);
  // Escape is EXIT; below account state 2 the way out leads to the sign-up.
  CheckPrefs(PREFS_ACCOUNT_STATE, 1, 1);
  EXPECT_EQ(Run("key esc\n"), 32);
  EXPECT_EQ(Run(Click(440, 445)), 133);
}

TEST_F(Option2Run, TheHelpIsTheCatalogs) {
  qoe_test::DrawnTextRecorder drawn;
  EXPECT_EQ(Run(Click(75, 445) + "wait 200\nkey enter\nwait 100\nkey esc\n"), 2);
  EXPECT_TRUE(drawn.Drew(GetCatalogStr(1817)));
  EXPECT_EQ(drawn.PastCatalog(), "");
}

// The green and red pixels of the switch's lamp in a PNG of the page.
std::pair<uint32_t, uint32_t> Lamp(const std::string& png) {
  std::vector<uint32_t> px;
  uint32_t w = 0, h = 0;
  EXPECT_EQ(ReadPngRGB(png.c_str(), &px, &w, &h), 1);
  uint32_t green = 0, red = 0;
  for (int y = 203; y < 225 && !px.empty(); ++y)
    for (int x = 161; x < 183; ++x) {
      const uint32_t c = px[(size_t)y * w + x];
      const int r = (c >> 16) & 255, g = (c >> 8) & 255;
      green += g > r + 40;
      red += r > g + 40;
    }
  return std::make_pair(green, red);
}

TEST_F(Option2Run, TheLampShowsTheChoice) {
  EXPECT_EQ(Run("wait 200\npng off.png\n" + Click(300, 220) + "wait 200\npng on.png\nkey esc\n"), 2);
  const auto off = Lamp("off.png"), on = Lamp("on.png");
  EXPECT_GT(off.second, 20u);
  EXPECT_LT(off.first, 5u);
  EXPECT_GT(on.first, 20u);
}

// Options of random bytes held a cursor choice the switch could never
// clear (its complement is not 0 either): loaded, it is one of the page's
// two choices, so the lamp starts dark and the switch lights it and puts it
// out again.
TEST_F(Option2Run, AfterRandomBytesTheSwitchTurnsOnAndOffAgain) {
  for (uint32_t seed : {1u, 95u, 3504101453u}) {
    SCOPED_TRACE(seed);
    std::vector<uint8_t> bytes(OPTIONEN_PREFS_SIZE);
    uint32_t x = seed;
    for (uint8_t& b : bytes) b = static_cast<uint8_t>((x = x * 1103515245u + 12345u) >> 16);
    ASSERT_TRUE(qoe_test::WriteFileBytes("Data/Optionen.prefs", bytes));
    ASSERT_EQ(OptionenPrefsLoad(&QoESystemPtr->Optionen), 1);
    EXPECT_EQ(Run("wait 200\npng r0.png\n" + Click(300, 220) + "wait 200\npng r1.png\n" + Click(300, 220) +
                  "wait 200\npng r2.png\n" + Click(320, 445)),
              2);
    const auto off = Lamp("r0.png"), on = Lamp("r1.png"), again = Lamp("r2.png");
    EXPECT_LT(off.first, 5u);
    EXPECT_GT(off.second, 20u);
    EXPECT_GT(on.first, 20u);
    EXPECT_LT(again.first, 5u);
    EXPECT_GT(again.second, 20u);
    EXPECT_EQ(QoESystemPtr->Optionen.mouse_cursor, 0u);
    EXPECT_EQ(CurrentMouseCursor(), 103u);
  }
}

}  // namespace
