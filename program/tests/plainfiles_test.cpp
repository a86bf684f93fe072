// The program's start with a settings file that is no plain file: a FIFO
// (or a link, or a socket) as the prefs, the options or the endpoint file.
// The program starts under the FIFO watch (no open of the FIFO may wait for
// its other end), the title tells the player which file is no plain file,
// the game quits in order, and the file is as it was: a FIFO stays a FIFO.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "demo_realm.h"
#include "routinen/system/catalog.h"
#include "tests/support/catalog_text_check.h"
#include "tests/support/fifo_watch.h"
#include "tests/support/test_support.h"

namespace {

struct StartCase {
  const char* file;  // in the working folder
  const char* told;  // as the player reads it
  qoe_test::NotPlain kind;
};

void PrintTo(const StartCase& c, std::ostream* os) { *os << c.file << " " << qoe_test::NotPlainName(c.kind); }

const StartCase kCases[] = {
    {"Data/Prefs.qoe", "Data\\Prefs.qoe", qoe_test::NotPlain::kFifo},
    {"Data/Optionen.prefs", "Data\\Optionen.prefs", qoe_test::NotPlain::kFifo},
    {"Endpoints.cfg", "Endpoints.cfg", qoe_test::NotPlain::kFifo},
    {"Data/Prefs.qoe", "Data\\Prefs.qoe", qoe_test::NotPlain::kLinkToAGoodFile},
    {"Endpoints.cfg", "Endpoints.cfg", qoe_test::NotPlain::kSocket},
};

std::string CaseName(const testing::TestParamInfo<StartCase>& info) {
  std::string name;
  for (const char* p = info.param.file; *p; ++p)
    if (std::isalnum(static_cast<unsigned char>(*p))) name += *p;
  return name + qoe_test::NotPlainName(info.param.kind);
}

std::string FileText(const std::string& name) {
  const auto bytes = qoe_test::ReadFileBytes(name);
  return std::string(bytes.begin(), bytes.end());
}

class StartWithNotPlainFile : public testing::TestWithParam<StartCase> {
 protected:
  void SetUp() override { qoe_test::InstallDemoRealmHere(&bin_, true); }
  std::string bin_;
};

}  // namespace

TEST_P(StartWithNotPlainFile, StartsTellsAndLeavesTheFile) {
  const StartCase& c = GetParam();
  const std::vector<uint8_t> good = qoe_test::ReadFileBytes(c.file);
  ASSERT_TRUE(qoe_test::MakeNotPlain(c.kind, c.file, good));
  const std::string png = "start_not_plain_" + CaseName({c, 0}) + ".png";
  // The debug box, then the notice: its picture, and the game quits.
  const std::string script = "wait 600\nkey enter\nwait 300\npng " + png + "\nkey enter\nwait 300\nquit\nwait 100\n";
  ASSERT_TRUE(qoe_test::WriteFileBytes("run.txt", std::vector<uint8_t>(script.begin(), script.end())));
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    setenv("QOE_HEADLESS_SCRIPT", "run.txt", 1);
    setenv("QOE_HEADLESS_MODE", "0", 1);
    setenv("QOE_DRAWN_TEXTS", "drawn.txt", 1);
    execl(bin_.c_str(), bin_.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  qoe_test::FifoWatch watch({c.file}, child);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  watch.Stop();
  const std::string log = FileText("Quill.dbg");
  EXPECT_EQ(watch.Blocked(), 0u) << "the start waited on the FIFO\n" << log;
  ASSERT_TRUE(WIFEXITED(status)) << log;
  EXPECT_EQ(WEXITSTATUS(status), 0) << log;
  EXPECT_NE(log.find("ShutdownSystem: Programm wird beendet\n"), std::string::npos) << log;
  EXPECT_TRUE(qoe_test::StillNotPlain(c.kind, c.file));
  if (c.kind == qoe_test::NotPlain::kLinkToAGoodFile) {
    EXPECT_EQ(qoe_test::ReadFileBytes(std::string(c.file) + ".good"), good);
  }
  // The title named the file, in the catalog's words.
  std::string told = GetCatalogStr(1940);
  const size_t at = told.find("%s");
  ASSERT_NE(at, std::string::npos);
  told.replace(at, 2, c.told);
  const qoe_test::DrawnTexts texts = qoe_test::SplitDrawnTexts(FileText("drawn.txt"));
  bool shown = false;
  for (const std::string& t : texts.shown) shown = shown || t.find(told) != std::string::npos;
  EXPECT_TRUE(shown) << told;
  EXPECT_TRUE(qoe_test::KeepPng(png));
}

INSTANTIATE_TEST_SUITE_P(Files, StartWithNotPlainFile, testing::ValuesIn(kCases), CaseName);
