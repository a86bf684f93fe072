#include "platform/log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace {

std::string Text(const std::vector<uint8_t>& b) { return std::string(b.begin(), b.end()); }

}  // namespace

// A long run must not fill the disk: Quill.dbg turns into Quill.dbg.old at
// its limit, and the two files hold the newest lines in order.
TEST(DebugLogFile, KeepsTheNewestLinesInTwoFilesOfTheLimit) {
  DebugLogSetStderr(0);
  DebugLogSetFileLimit(4096);
  for (int i = 0; i < 1000; i++) DebugLog("Test: Zeile %04d mit etwas Text", i);
  DebugLogSetFileLimit(0);
  DebugLogSetStderr(1);
  const std::string now = Text(qoe_test::ReadFileBytes("Quill.dbg"));
  const std::string old = Text(qoe_test::ReadFileBytes("Quill.dbg.old"));
  ASSERT_FALSE(old.empty());
  EXPECT_LT(now.size(), 4096u);
  EXPECT_GE(old.size(), 4096u);
  EXPECT_LT(old.size(), 4096u + 64u);
  const std::string both = old + now;
  EXPECT_NE(both.find("Zeile 0999 mit etwas Text\n"), std::string::npos);
  EXPECT_EQ(both.size() % 32, 0u);  // whole lines only
  // The lines run on without a gap from the old file into the new one.
  size_t first = both.find("Zeile ");
  int n = std::stoi(both.substr(first + 6, 4));
  for (size_t pos = first; pos < both.size(); pos += 32, n++)
    ASSERT_EQ(std::stoi(both.substr(pos + 6, 4)), n) << pos;
  EXPECT_EQ(n, 1000);
}
