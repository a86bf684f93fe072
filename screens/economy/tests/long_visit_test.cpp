// The market and the harbour played by the program itself on the demo realm
// (QOE_START_SCREEN): each stays open thirty seconds of the game's clock,
// long past the first ambient sounds, and the window's close then ends the
// program in order (exit code 0, every block freed).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

std::string Text(const char* name) {
  const auto bytes = qoe_test::ReadFileBytes(name);
  return std::string(bytes.begin(), bytes.end());
}

class LongVisit : public testing::TestWithParam<int> {};

TEST_P(LongVisit, StaysThirtySecondsAndEndsInOrder) {
  const std::string bin = qoe_test::BinaryDir() + "/quill";
  const std::string builder = qoe_test::BinaryDir() + "/tools/turnbuilder/turnbuilder";
  QOE_REQUIRE_BUILT(bin);
  QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit/Data/Path");
  QOE_REQUIRE_BUILT(builder);
  fs::copy(qoe_test::BinaryDir() + "/datakit", ".", fs::copy_options::recursive);
  const std::string install =
      "'" + builder + "' install '" + qoe_test::SourceDir() + "/tools/turnbuilder/realms/demo.realm' --dir . >tb.txt 2>&1";
  ASSERT_EQ(std::system(install.c_str()), 0) << Text("tb.txt");
  const int code = GetParam();
  const std::string png = "long_visit_" + std::to_string(code) + ".png";
  const std::string script = "wait 30000\npng " + png + "\nquit\nwait 100\n";
  ASSERT_TRUE(qoe_test::WriteFileBytes("run.txt", std::vector<uint8_t>(script.begin(), script.end())));
  const std::string cmd = "timeout -s KILL 300 env QOE_HEADLESS_SCRIPT=run.txt QOE_HEADLESS_MODE=0 QOE_START_SCREEN=" +
                          std::to_string(code) + " '" + bin + "' >out.txt 2>err.txt";
  const int status = std::system(cmd.c_str());
  const std::string log = Text("Quill.dbg");
  ASSERT_TRUE(WIFEXITED(status)) << "the program did not end\n" << log;
  EXPECT_EQ(WEXITSTATUS(status), 0) << log << Text("err.txt");
  EXPECT_NE(log.find("Main: Start bei Screen " + std::to_string(code)), std::string::npos) << log;
  EXPECT_EQ(log.find("Fatal Exception"), std::string::npos) << log;
  EXPECT_NE(log.find("Programmende angefordert"), std::string::npos) << log;
  EXPECT_TRUE(qoe_test::KeepPng(png));
  const size_t at = log.find("ShutdownSystem: AllocVec ");
  ASSERT_NE(at, std::string::npos) << log;
  unsigned long long allocs = 0, frees = 0;
  ASSERT_EQ(std::sscanf(log.c_str() + at, "ShutdownSystem: AllocVec %llu mal, FreeVec %llu mal", &allocs, &frees), 2);
  EXPECT_EQ(allocs, frees) << log;
}

// 108 the market, 519 the harbour.
INSTANTIATE_TEST_SUITE_P(MarketAndHarbour, LongVisit, testing::Values(108, 519),
                         [](const testing::TestParamInfo<int>& i) { return "Screen" + std::to_string(i.param); });

}  // namespace
