// The rune-stone game: the counting of a row (table, repeated runes on both
// sides), the bet's limits, and scripted games on the headless display with a
// fixed Zufall seed: a win in the first and in the sixth row, six wrong rows
// showing the code, the cursor at both edges, RESE, INFO and OKOK, bets won,
// lost and given up, a bet game followed by one without, the LAND taken from
// the outgoing pool, and the pool untouched without a bet.
#include "screens/hub/runestone.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/display.h"
#include "platform/headless.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/turns.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/system/input.h"
#include "routinen/system/timer.h"
#include "tests/support/log_lines.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

TEST(RuneStoneCount, ExactFirstThenMisplacedEachRuneOnce) {
  struct Case {
    uint16_t code[5], guess[5], exact, misplaced;
  };
  const Case cases[] = {
      {{1, 1, 2, 2, 3}, {1, 2, 1, 3, 3}, 2, 2},
      {{1, 2, 3, 4, 5}, {1, 2, 3, 4, 5}, 5, 0},
      {{1, 2, 3, 4, 5}, {5, 4, 3, 2, 1}, 1, 4},
      {{1, 1, 1, 1, 1}, {1, 2, 2, 2, 2}, 1, 0},
      {{2, 2, 2, 2, 1}, {1, 1, 1, 1, 1}, 1, 0},
      {{1, 2, 1, 2, 1}, {2, 1, 2, 1, 8}, 0, 4},
      {{7, 7, 8, 8, 6}, {8, 8, 7, 7, 7}, 0, 4},
      {{3, 3, 3, 4, 4}, {4, 4, 4, 3, 3}, 0, 4},
      {{1, 2, 3, 4, 5}, {6, 7, 8, 6, 7}, 0, 0},
      {{8, 8, 8, 8, 8}, {8, 8, 8, 8, 8}, 5, 0},
  };
  for (const Case& c : cases) {
    uint16_t exact = 9, misplaced = 9;
    CountRuneStoneRow(c.code, c.guess, &exact, &misplaced);
    EXPECT_EQ(exact, c.exact) << c.code[0] << c.guess[0];
    EXPECT_EQ(misplaced, c.misplaced) << c.code[0] << c.guess[0];
  }
}

TEST(RuneStoneBet, OfferedFrom1001Below100000) {
  EXPECT_FALSE(RuneStoneBetAllowed(1000));
  EXPECT_TRUE(RuneStoneBetAllowed(1001));
  EXPECT_TRUE(RuneStoneBetAllowed(99999));
  EXPECT_FALSE(RuneStoneBetAllowed(100000));
  EXPECT_FALSE(RuneStoneBetAllowed(0));
}

constexpr uint32_t kSeed = 4711;

std::vector<uint8_t> Land(uint32_t gold) {
  uint8_t* c = AllocChunk("LAND", "V001", 160);
  ChunkPut32(c, 14, 1200);
  ChunkPut32(c, kRuneLandGold, gold);
  std::vector<uint8_t> v(c, c + 172);
  FreeChunk(c);
  return v;
}

uint32_t Gold(const char* pool) {
  LoadedChunk land("LAND", pool);
  return land.p ? ChunkGet32(land.p, kRuneLandGold) : 0;
}

class RuneStoneRun : public testing::TestWithParam<uint32_t> {
 protected:
  void SetUp() override {
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit/Data/Screendat/RuneStone.dat");
    fs::copy(qoe_test::BinaryDir() + "/datakit", ".", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    fs::create_directories("Data/POP3In");
    fs::create_directories("Data/POP3Out");
    ASSERT_EQ(HeadlessOpenDisplay(GetParam()), 1);
    ResetInputState();
    GameAreaOffset(DisplayWidth(), DisplayHeight(), &dx_, &dy_);
    ZufallSeed(kSeed);
    for (auto& game : codes_)
      for (uint16_t& k : game) k = (uint16_t)(Zufall(7) + 1);
    std::memcpy(code_, codes_[0], sizeof code_);
    wrong_ = (uint16_t)(code_[0] % 8 + 1);
  }
  void TearDown() override {
    FreeAllElmorGfx();
    ResetTitleBar();
    HeadlessCloseDisplay();
  }
  std::string Click(int x, int y) const { return qoe_test::ClickLine(x + dx_, y + dy_); }
  std::string Rune(int k) const { return Click(194 + 34 * (k - 1), 375); }
  // The code of the visit's game g (the games draw one after another).
  std::string Code(int g = 0) const {
    std::string s;
    for (uint16_t k : codes_[g]) s += Rune(k);
    return s;
  }
  std::string WrongRow() const {
    std::string s;
    for (int i = 0; i < 5; ++i) s += Rune(wrong_);
    return s;
  }
  std::string Reset() const { return Click(217, 413); }
  std::string Ok() const { return Click(287, 413); }
  std::string Info() const { return Click(357, 413); }
  std::string Exit() const { return Click(427, 413); }
  int32_t Run(const std::string& script) {
    static int32_t result;
    result = 99;
    const std::string timed = "timer 0 100\nwait 500\n" + script + "wait 200\n";
    EXPECT_EQ(HeadlessRunGame(timed.c_str(),
                              [](void*) {
                                if (OpenElmorPic(".\\Data\\Path", 59, 0) == -1) return result = -2, 0;
                                ZufallSeed(kSeed);
                                result = RuneStoneScreen();
                                CloseElmorPic(59, 1);
                                return 0;
                              },
                              nullptr),
              0);
    return result;
  }
  std::string Png(const std::string& name) const { return name + "_" + std::to_string(GetParam()) + ".png"; }
  uint16_t codes_[4][5] = {};
  uint16_t code_[5] = {};
  uint16_t wrong_ = 1;
  int32_t dx_ = 0, dy_ = 0;
};

const char kYes[] = "key enter\n", kNo[] = "key esc\n", kOkBox[] = "key enter\n";

TEST_P(RuneStoneRun, WinInTheFirstRowWithoutARealm) {
  qoe_test::LogLines log;
  EXPECT_EQ(Run(std::string(kOkBox) + Code() + kOkBox + kNo + kNo), 1);
  EXPECT_TRUE(log.Has("RuneStoneScreen: Reihe 0: 5 richtig"));
  EXPECT_TRUE(log.Has("RuneStoneScreen: Frage 390"));
  EXPECT_FALSE(log.Has("RuneStoneScreen: Frage 1326"));
  EXPECT_FALSE(qoe_test::FileExists("Data/POP3Out/GameChunk.qoe"));
}

TEST_P(RuneStoneRun, WinInTheSixthRowAndSixWrongRowsShowTheCode) {
  std::string five;
  for (int r = 0; r < 5; ++r) five += WrongRow();
  const std::string mid = Png("runestone_midgame"), end = Png("runestone_lost");
  qoe_test::LogLines log;
  // Game 1: won in the sixth row; game 2: six wrong rows, the board looked at again.
  EXPECT_EQ(Run(std::string(kOkBox) + five + Code() + kOkBox + kNo + kYes + kOkBox + five.substr(0, five.size() / 5 * 3) +
                "png " + mid + "\n" + five.substr(five.size() / 5 * 3) + WrongRow() + kOkBox + kYes + kOkBox + "png " +
                end + "\n" + Click(300, 300) + kNo),
            1);
  EXPECT_TRUE(log.Has("RuneStoneScreen: Reihe 5: 5 richtig"));
  EXPECT_EQ(log.Count("RuneStoneScreen: Frage 390"), 1);
  EXPECT_EQ(log.Count("RuneStoneScreen: Frage 391"), 1);
  EXPECT_EQ(log.Count("RuneStoneScreen: Frage 394"), 1);
  EXPECT_TRUE(qoe_test::KeepPng(mid));
  EXPECT_TRUE(qoe_test::KeepPng(end));
}

TEST_P(RuneStoneRun, CursorEdgesResetInfoAndOk) {
  qoe_test::LogLines log;
  const std::string keys = std::string(kOkBox) + Rune(wrong_) + Rune(wrong_) + Rune(wrong_) + Reset() + "key left\n" +
                           Rune(code_[0]) + "key right\nkey right\nkey right\nkey right\nkey right\n" +
                           Rune(wrong_) + Rune(code_[4]) + "key left\nkey left\nkey left\n" + Info() + "key esc\n" +
                           Ok() + kOkBox + Rune(code_[1]) + Rune(code_[2]) + Rune(code_[3]) + kOkBox + kNo + kNo;
  EXPECT_EQ(Run(keys), 1);
  EXPECT_TRUE(log.Has("RuneStoneScreen: Reihe 0: 5 richtig"));
  EXPECT_FALSE(log.Has("RuneStoneScreen: Reihe 1"));
  EXPECT_TRUE(log.Has("RuneStoneScreen: Frage 392"));
}

TEST_P(RuneStoneRun, BetWonLostAndGivenUp) {
  ASSERT_NE(AddChunkPool(Land(5000).data(), ReceivedPoolPath), 0);
  std::string six;
  for (int r = 0; r < 6; ++r) six += WrongRow();
  // Won (6000), lost (5000), given up (4000), then a game without the bet won.
  EXPECT_EQ(Run(std::string(kOkBox) + kYes + Code() + kOkBox + kNo + kYes + kOkBox + kYes + six + kOkBox + kNo + kYes +
                kOkBox + kYes + Rune(wrong_) + Exit() + kYes + kOkBox + kNo + Code(3) + kOkBox + kNo + kNo),
            1);
  EXPECT_EQ(Gold(OutgoingPoolPath), 4000u);
  EXPECT_EQ(Gold(ReceivedPoolPath), 5000u);
}

TEST_P(RuneStoneRun, BetOfferedOnlyFrom1001To99999) {
  for (uint32_t gold : {1000u, 1001u, 99999u, 100000u}) {
    fs::remove("Data/POP3In/GameChunk.qoe");
    ASSERT_NE(AddChunkPool(Land(gold).data(), ReceivedPoolPath), 0);
    const bool offered = RuneStoneBetAllowed(gold);
    qoe_test::LogLines log;
    EXPECT_EQ(Run(std::string(kOkBox) + (offered ? kNo : "") + Exit() + kNo), 1);
    EXPECT_EQ(log.Has("RuneStoneScreen: Frage 1326"), offered) << gold;
    EXPECT_FALSE(qoe_test::FileExists("Data/POP3Out/GameChunk.qoe")) << gold;
  }
}

TEST_P(RuneStoneRun, TheOutgoingLandIsTakenAndKeptWithoutABet) {
  ASSERT_NE(AddChunkPool(Land(5000).data(), ReceivedPoolPath), 0);
  ASSERT_NE(AddChunkPool(Land(7000).data(), OutgoingPoolPath), 0);
  const std::vector<uint8_t> before = qoe_test::ReadFileBytes("Data/POP3Out/GameChunk.qoe");
  EXPECT_EQ(Run(std::string(kOkBox) + kNo + Code() + kOkBox + kNo + kNo), 1);
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/POP3Out/GameChunk.qoe"), before);
  EXPECT_EQ(Run(std::string(kOkBox) + kYes + Code() + kOkBox + kNo + kNo), 1);
  EXPECT_EQ(Gold(OutgoingPoolPath), 8000u);
  EXPECT_EQ(Gold(ReceivedPoolPath), 5000u);
}

TEST_P(RuneStoneRun, MissingLayoutShowsNothing) {
  fs::remove("Data/Screendat/RuneStone.dat");
  EXPECT_EQ(Run(""), 0);
}

INSTANTIATE_TEST_SUITE_P(Modes, RuneStoneRun, testing::Values(0u, 4u),
                         [](const testing::TestParamInfo<uint32_t>& i) { return "Mode" + std::to_string(i.param); });

}  // namespace
