// The close from every built screen and each of its boxes: the program runs
// on the data kit and a realm, starts at the screen (QOE_START_SCREEN),
// plays the row's script fragment that opens the box, and then the window is
// closed (once per screen SIGTERM instead). It must end in order: exit code
// 0, "ShutdownSystem: Programm wird beendet", every block freed, within the
// hang guard. Both backends: headless (virtual time) and SDL (the offscreen
// driver, real time). The rows are the screen table's (program/screens.cpp):
// a new screen adds its fragments there, not here.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "program/screens.h"
#include "demo_realm.h"
#include "routinen/system/prefs.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

struct CloseCase {
  int32_t code;
  size_t box;
  std::string fragment;
  bool sigterm;
  bool sdl;
};

void PrintTo(const CloseCase& c, std::ostream* os) { *os << c.code << " box " << c.box; }

std::vector<CloseCase> Cases(bool sdl) {
  std::vector<CloseCase> out;
  uint32_t count = 0;
  const ScreenTableEntry* rows = ProgramScreenTable(&count);
  for (uint32_t i = 0; i < count; ++i) {
    const ScreenTableEntry& row = rows[i];
    if (!ProgramScreenBuilt(&row)) continue;
    size_t n = 0;
    for (const char* const* f = row.boxes; f && *f; ++f, ++n) out.push_back({row.code, n, *f, false, sdl});
    if (n == 0) out.push_back({row.code, 0, "", false, sdl});  // the screen alone
    out.push_back({row.code, 0, row.boxes && row.boxes[0] ? row.boxes[0] : "", true, sdl});
  }
  return out;
}

std::string CaseName(const testing::TestParamInfo<CloseCase>& info) {
  const CloseCase& c = info.param;
  return "Screen" + std::to_string(c.code) + "Box" + std::to_string(c.box) + (c.sigterm ? "Sigterm" : "Close");
}

std::string FileText(const char* name) {
  auto bytes = qoe_test::ReadFileBytes(name);
  return std::string(bytes.begin(), bytes.end());
}

class CloseTable : public testing::TestWithParam<CloseCase> {
 protected:
  void SetUp() override {
    qoe_test::InstallDemoRealmHere(&bin_);
  }
  std::string bin_;
};

}  // namespace

TEST_P(CloseTable, EndsInOrder) {
  const CloseCase& c = GetParam();
  // The box as it stood at the close, kept for a person to look at.
  const std::string png = std::string("close_") + (c.sdl ? "sdl_" : "headless_") + std::to_string(c.code) + "_" +
                          std::to_string(c.box) + (c.sigterm ? "_sigterm" : "") + ".png";
  // After the signal the script waits for the end it brings (on the SDL
  // window's real clock its own end would close the window too, and which
  // came first would be a matter of the machine's speed).
  const std::string script = "wait 600\n" + c.fragment + "\nwait 600\npng " + png + "\n" +
                             (c.sigterm ? std::string("signal term\n") + (c.sdl ? "wait 600000\n" : "wait 100\n")
                                        : std::string("quit\nwait 100\n"));
  ASSERT_TRUE(qoe_test::WriteFileBytes("run.txt", std::vector<uint8_t>(script.begin(), script.end())));
  // The hang guard: far beyond what an orderly end takes, even under a
  // sanitizer on a loaded machine.
  const std::string env = c.sdl ? "SDL_VIDEODRIVER=dummy SDL_RENDER_DRIVER=software SDL_AUDIODRIVER=dummy QOE_SDL_SCRIPT=run.txt"
                                : "QOE_HEADLESS_SCRIPT=run.txt";
  const std::string cmd = "timeout -s KILL 400 env " + env + " QOE_HEADLESS_MODE=0 QOE_START_SCREEN=" +
                          std::to_string(c.code) + " " + bin_ + " >out.txt 2>err.txt";
  const int status = std::system(cmd.c_str());
  const std::string log = FileText("Quill.dbg");
  ASSERT_TRUE(WIFEXITED(status)) << "the program did not end\n" << log;
  EXPECT_EQ(WEXITSTATUS(status), 0) << log << FileText("err.txt");
  if (c.code != 1) { EXPECT_NE(log.find("Main: Start bei Screen " + std::to_string(c.code)), std::string::npos) << log; }
  EXPECT_TRUE(qoe_test::KeepPng(png));
  EXPECT_NE(log.find(c.sigterm ? "Signal 15: das Spiel wird beendet" : "Programmende angefordert"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("ShutdownSystem: Programm wird beendet\n"), std::string::npos) << log;
  // Soon after the close: no wait on a time-out or a server on the way (a
  // minute allows for a busy machine's slowness, however great).
  long long age = -1;
  const size_t ms_at = log.find(" ms nach dem Schliessen");
  if (ms_at != std::string::npos) {
    const size_t start = log.rfind("ShutdownSystem: ", ms_at);
    age = std::atoll(log.c_str() + start + std::strlen("ShutdownSystem: "));
  }
  EXPECT_GE(age, 0) << log;
  EXPECT_LT(age, 60000) << log;
  const size_t at = log.find("ShutdownSystem: AllocVec ");
  ASSERT_NE(at, std::string::npos) << log;
  unsigned long long allocs = 0, frees = 0;
  ASSERT_EQ(std::sscanf(log.c_str() + at, "ShutdownSystem: AllocVec %llu mal, FreeVec %llu mal", &allocs, &frees), 2);
  EXPECT_EQ(allocs, frees) << log;
}

INSTANTIATE_TEST_SUITE_P(Headless, CloseTable, testing::ValuesIn(Cases(false)), CaseName);
INSTANTIATE_TEST_SUITE_P(Sdl, CloseTable, testing::ValuesIn(Cases(true)), CaseName);
