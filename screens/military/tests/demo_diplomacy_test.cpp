// The trade form and the letters in the demo realm, played by the program
// itself from the diplomacy screen (QOE_START_SCREEN 34) to the main screen
// and the program's end: Gunhild's offer accepted, an offer of one unit of
// corn to Ragnar sent, the newest letter read. The orders are found in the
// outgoing pool; the run ends in order, every block freed (and none of the
// diplomacy screen's fonts used after it left).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/turns.h"
#include "routinen/system/lists.h"
#include "screens/military/tests/diplomacy_fixture.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

std::string Text(const char* name) {
  const auto bytes = qoe_test::ReadFileBytes(name);
  return std::string(bytes.begin(), bytes.end());
}

std::string Click(int x, int y) { return "wait 400\n" + qoe_test::ClickLine(x, y); }

TEST(DemoRealmDiplomacy, TradeAndLettersArePlayedToTheEnd) {
  const std::string bin = qoe_test::BinaryDir() + "/quill";
  const std::string builder = qoe_test::BinaryDir() + "/tools/turnbuilder/turnbuilder";
  QOE_REQUIRE_BUILT(bin);
  QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit/Data/Path");
  QOE_REQUIRE_BUILT(builder);
  fs::copy(qoe_test::BinaryDir() + "/datakit", ".", fs::copy_options::recursive);
  const std::string install =
      "'" + builder + "' install '" + qoe_test::SourceDir() + "/tools/turnbuilder/realms/demo.realm' --dir . >tb.txt 2>&1";
  ASSERT_EQ(std::system(install.c_str()), 0) << Text("tb.txt");
  // The senders: Gunhild (line 0); her offer accepted (the question: yes).
  // Back to the own offer: Ragnar (line 1 of the lords), the first goods
  // line (corn), one unit, sent (the message: OK). The letters: the newest
  // read. Both sub-screens left, then the hub; the main screen ends the game.
  const std::string script = "wait 800\n" + Click(544, 208) + Click(186, 413) + Click(140, 83) + Click(186, 413) +
                             "wait 400\nkey enter\n" + "wait 400\npng demo_trade_accepted.png\n" + Click(74, 413) +
                             Click(140, 96) + Click(368, 83) + Click(613, 265) + Click(74, 413) + "wait 400\nkey enter\n" +
                             Click(320, 455) + Click(520, 400) + Click(150, 406) + "wait 400\npng demo_letters.png\n" +
                             Click(320, 455) + Click(320, 455) + "wait 400\nquit\nwait 100\n";
  ASSERT_TRUE(qoe_test::WriteFileBytes("run.txt", std::vector<uint8_t>(script.begin(), script.end())));
  const std::string cmd = "timeout -s KILL 300 env QOE_HEADLESS_SCRIPT=run.txt QOE_HEADLESS_MODE=0 QOE_START_SCREEN=34 '" +
                          bin + "' >out.txt 2>err.txt";
  const int status = std::system(cmd.c_str());
  const std::string log = Text("Quill.dbg");
  ASSERT_TRUE(WIFEXITED(status)) << log;
  EXPECT_EQ(WEXITSTATUS(status), 0) << log << Text("err.txt");
  EXPECT_TRUE(qoe_test::KeepPng("demo_trade_accepted.png"));
  EXPECT_TRUE(qoe_test::KeepPng("demo_letters.png"));
  EXPECT_NE(log.find("DiplomatScreenBotschaften: reference Your ships (1/2)"), std::string::npos) << log;
  // Gunhild's offer accepted, Ragnar offered 1 unit of corn for 1 quarter.
  EXPECT_EQ(diplomacy_test::KindsAndSenders(OutgoingPoolPath),
            (std::vector<std::pair<uint16_t, uint32_t>>{{3, 2002}, {0, 1001}}));
  const size_t at = log.find("ShutdownSystem: AllocVec ");
  ASSERT_NE(at, std::string::npos) << log;
  unsigned long long allocs = 0, frees = 0;
  ASSERT_EQ(std::sscanf(log.c_str() + at, "ShutdownSystem: AllocVec %llu mal, FreeVec %llu mal", &allocs, &frees), 2);
  EXPECT_EQ(allocs, frees);
}

}  // namespace
