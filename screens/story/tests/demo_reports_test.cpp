// The reports and the statistics screen reached from the main screen of the
// start command's demo, played headless: the waiting turn evaluated with
// DOWN, then MESS with each of the six reports, and STAT with categories
// chosen and the legend, each left by EXIT back to the main screen.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/display.h"
#include "routinen/system/prefs.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

std::string Text(const std::string& path) {
  const auto b = qoe_test::ReadFileBytes(path);
  return std::string(b.begin(), b.end());
}

// scripts/start.sh on the built programs with a headless script in the demo
// folder; its exit code, -1 when it did not run.
int Start(const std::string& script) {
  if (!qoe_test::WriteFileBytes("run.txt", std::vector<uint8_t>(script.begin(), script.end()))) return -1;
  const std::string cmd = "QOE_START_PREBUILT=1 QOE_BUILD_DIR='" + qoe_test::BinaryDir() + "' QOE_DEMO_DIR='" +
                          qoe_test::TestDir() + "/demo' QOE_HEADLESS_SCRIPT='" + qoe_test::TestDir() +
                          "/run.txt' QOE_HEADLESS_MODE=4 '" + qoe_test::SourceDir() + "/scripts/start.sh' >start.txt 2>&1";
  const int status = std::system(cmd.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

uint32_t DemoPrefs(uint32_t field, uint32_t value) {
  const std::string here = fs::current_path();
  if (chdir("demo") != 0) return 0xFFFFFFFFu;
  const uint32_t v = CheckPrefs(field, 1, value);
  if (chdir(here.c_str()) != 0) return 0xFFFFFFFFu;
  return v;
}

}  // namespace

TEST(DemoReports, ReachedFromTheMainScreenAfterATurn) {
  QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/quill");
  QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/tools/turnbuilder/turnbuilder");
  QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit");
  // The first start installs the demo; no tutorial and no tips after it.
  ASSERT_EQ(Start("wait 400\nkey esc\n"), 0) << Text("start.txt");
  DemoPrefs(PREFS_TUTORIAL_STEP, 18);
  DemoPrefs(PREFS_TIP_COUNTER, 9);
  int32_t dx = 0, dy = 0;
  GameAreaOffset(800, 600, &dx, &dy);
  auto click = [&](int x, int y) {
    const std::string at = std::to_string(x + dx) + " " + std::to_string(y + dy);
    return "wait 600\nmove " + at + "\npress left " + at + "\nrelease left " + at + "\n";
  };
  // The title, the main screen, DOWN with its two boxes and the story.
  std::string s = "wait 400\nkey enter\n" + click(400, 300) + "wait 1500\n";
  s += click(410, 430) + "key enter\nkey enter\nwait 5200\nkey esc\nwait 300\nkey esc\nwait 5200\n";
  // MESS: the six reports, the buildings report last.
  s += click(182, 96) + "wait 1500\n";
  for (int i : {0, 1, 3, 4, 5}) s += click(130, 94 + 52 * i) + "wait 300\npng demo_report_" + std::to_string(i) + ".png\n";
  s += click(130, 198) + "wait 300\npng demo_report_2.png\n";
  s += click(120, 430) + "wait 1500\n";
  // STAT: three categories, two shown, the legend.
  s += click(182, 166) + "wait 1500\n";
  for (int i = 0; i < 3; ++i) s += click(150, 256);
  s += click(480, 256) + click(320, 334) + click(480, 268) + click(320, 334);
  s += click(330, 426) + "wait 300\npng demo_statistics.png\n" + click(245, 262);
  s += click(555, 426) + "wait 1500\n";
  s += click(60, 300) + "wait 400\nkey esc\n";  // door, title, end
  ASSERT_EQ(Start(s), 0) << Text("start.txt");
  const std::string log = Text("demo/Quill.dbg");
  EXPECT_EQ(log.find("noch nicht eingebaut"), std::string::npos);
  EXPECT_EQ(log.find("nicht vorhanden !"), std::string::npos) << log;
  EXPECT_EQ(log.find("nicht initalisieren"), std::string::npos);
  EXPECT_NE(log.find("AnzStatistikDaten 1\n"), std::string::npos);
  for (const char* png : {"demo_report_0.png", "demo_report_1.png", "demo_report_2.png", "demo_report_3.png",
                          "demo_report_4.png", "demo_report_5.png", "demo_statistics.png"}) {
    ASSERT_TRUE(fs::exists(std::string("demo/") + png)) << png;
    EXPECT_TRUE(qoe_test::KeepPng(std::string("demo/") + png));
  }
}
