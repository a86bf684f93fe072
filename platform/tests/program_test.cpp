// Runs the program itself headless: start-up, the game thread's first page,
// a screenshot and the orderly end.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "platform/display.h"
#include "platform/pngfile.h"
#include "tests/support/test_support.h"

namespace {

// Runs the built program headless in a screen mode on a script of input
// lines; returns its exit code, or -1 when it could not run or did not exit.
int RunHeadless(const std::string& bin, const std::string& script, int mode) {
  if (!qoe_test::WriteFileBytes("run.txt", std::vector<uint8_t>(script.begin(), script.end()))) return -1;
  std::string cmd = "QOE_HEADLESS_SCRIPT=run.txt QOE_HEADLESS_MODE=" + std::to_string(mode) + " " + bin + " 2>err.txt";
  const int status = std::system(cmd.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string FileText(const char* name) {
  auto bytes = qoe_test::ReadFileBytes(name);
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace

TEST(QuillProgram, StartsHeadlessAndEndsOnEscape) {
  std::string bin = qoe_test::BinaryDir() + "/quill";
  QOE_REQUIRE_BUILT(bin);
  const int code = RunHeadless(bin, "wait 350\npng shot.png\nkey esc\n", 4);
  ASSERT_NE(code, -1);
  EXPECT_EQ(code, 0);
  std::vector<uint32_t> px;
  uint32_t w = 0, h = 0;
  ASSERT_EQ(ReadPngRGB("shot.png", &px, &w, &h), 1);
  EXPECT_EQ(w, 800u);
  EXPECT_EQ(h, 600u);
  const std::string text = FileText("Quill.dbg");
  EXPECT_NE(text.find("ScreenModus: Modus 4: 800x600x32, 2D, Fenster"), std::string::npos);
  // Started without .\Data it makes the folder and keeps its settings there.
  EXPECT_NE(text.find("PrepareFolders: Verzeichnis .\\Data angelegt"), std::string::npos) << text;
  EXPECT_EQ(text.find("nicht schreiben"), std::string::npos) << text;
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/Prefs.qoe").size(), 264u);
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/Optionen.prefs").size(), 570u);
  // Without a title picture every block is still freed.
  const size_t at = text.find("ShutdownSystem: AllocVec ");
  ASSERT_NE(at, std::string::npos) << text;
  unsigned long long allocs = 0, frees = 0;
  ASSERT_EQ(std::sscanf(text.c_str() + at, "ShutdownSystem: AllocVec %llu mal, FreeVec %llu mal", &allocs, &frees), 2);
  EXPECT_EQ(allocs, frees) << text;
}

TEST(QuillProgram, OnTheDataKitShowsTheTitlePictureAndLoadsTheCursor) {
  std::string bin = qoe_test::BinaryDir() + "/quill";
  std::string kit = qoe_test::BinaryDir() + "/datakit";
  QOE_REQUIRE_BUILT(bin);
  QOE_REQUIRE_BUILT(kit);
  std::filesystem::copy(kit, ".", std::filesystem::copy_options::recursive);
  const int code = RunHeadless(bin, "wait 350\npng shot.png\nkey esc\n", 0);
  ASSERT_NE(code, -1);
  EXPECT_EQ(code, 0);
  std::vector<uint32_t> px;
  uint32_t w = 0, h = 0;
  ASSERT_EQ(ReadPngRGB("shot.png", &px, &w, &h), 1);
  ASSERT_EQ(w * h, 640u * 480u);
  // The picture with its text, not the four-colour page shown without data.
  std::set<uint32_t> colours(px.begin(), px.end());
  EXPECT_GT(colours.size(), 8u);
  const std::string text = FileText("Quill.dbg");
  EXPECT_EQ(text.find("LoadMouseCursor"), std::string::npos) << text;
  EXPECT_EQ(text.find("OpenElmorPic"), std::string::npos) << text;
  EXPECT_NE(text.find("ShutdownSystem: Programm wird beendet"), std::string::npos) << text;
}

TEST(QuillProgram, CancelledModeChoiceEndsAtOnce) {
  std::string bin = qoe_test::BinaryDir() + "/quill";
  QOE_REQUIRE_BUILT(bin);
  const int code = RunHeadless(bin, "", 99);
  ASSERT_NE(code, -1);
  EXPECT_EQ(code, 0);
  const std::string text = FileText("Quill.dbg");
  EXPECT_EQ(text.find("ScreenModus: Modus"), std::string::npos);
}

TEST(QuillProgram, WithoutADisplayItSaysSoPlainly) {
  std::string bin = qoe_test::BinaryDir() + "/quill";
  QOE_REQUIRE_BUILT(bin);
  std::string cmd = "timeout 240 env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER -u QOE_HEADLESS_SCRIPT " + bin +
                    " 2>err.txt";
  int status = std::system(cmd.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  const std::string text = FileText("err.txt");
  EXPECT_NE(text.find("no display available"), std::string::npos) << text;
  EXPECT_NE(text.find("xvfb-run"), std::string::npos);
}

// A display that is named but cannot be opened: the start tries it for about
// a second, then fails and names it (the leak checker stays off: SDL's
// repeated starts keep a little of D-Bus's memory).
TEST(QuillProgram, ADisplayThatCannotBeOpenedIsNamedAfterASecond) {
  std::string bin = qoe_test::BinaryDir() + "/quill";
  QOE_REQUIRE_BUILT(bin);
  // Four minutes end a start that waits for good (exit 124); how long the
  // tries take is SdlStart's (platform tests).
  std::string cmd = "timeout 240 env -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER -u QOE_HEADLESS_SCRIPT DISPLAY=:987 "
                    "ASAN_OPTIONS=detect_leaks=0 " + bin + " 2>err.txt";
  int status = std::system(cmd.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  const std::string text = FileText("err.txt");
  EXPECT_NE(text.find("the display :987 could not be opened"), std::string::npos) << text;
  EXPECT_EQ(text.find("no display available"), std::string::npos) << text;
  const std::string log = FileText("Quill.dbg");
  EXPECT_NE(log.find("SDL_Init: Bildschirm :987 nicht zu oeffnen"), std::string::npos) << log;
  EXPECT_NE(log.find("Versuch 5 von 5"), std::string::npos) << log;
}

// Without a sound output (an audio driver SDL does not have, or SDL's
// dummy driver that plays nowhere) the game runs silent: its log and the
// terminal say so in one line, and the screens' effects add nothing to it
// (the title opens and closes its own).
TEST(QuillProgram, WithoutASoundOutputItRunsSilentAndSaysSoOnce) {
  const std::string bin = qoe_test::BinaryDir() + "/quill", kit = qoe_test::BinaryDir() + "/datakit";
  QOE_REQUIRE_BUILT(bin);
  QOE_REQUIRE_BUILT(kit);
  std::filesystem::copy(kit, ".", std::filesystem::copy_options::recursive);
  const std::string script = "wait 1500\nshown\nkey enter\nwait 500\n";
  ASSERT_TRUE(qoe_test::WriteFileBytes("run.txt", std::vector<uint8_t>(script.begin(), script.end())));
  const char* const kSilent = "InitializeDirectSound: Keine Tonausgabe, das Spiel bleibt stumm\n";
  for (const char* driver : {"a-driver-that-does-not-exist", "dummy"}) {
    SCOPED_TRACE(driver);
    std::remove("Quill.dbg");
    const std::string cmd = std::string("timeout -s KILL 300 env -u QOE_HEADLESS_SCRIPT SDL_VIDEODRIVER=offscreen ") +
                            "SDL_AUDIODRIVER=" + driver + " QOE_SDL_SCRIPT=run.txt QOE_HEADLESS_MODE=4 " + bin +
                            " >out.txt 2>err.txt";
    const int status = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << FileText("err.txt");
    const std::string log = FileText("Quill.dbg"), terminal = FileText("err.txt");
    EXPECT_NE(log.find("Main: Screen 1, betreten von 0"), std::string::npos) << log;
    size_t lines = 0;
    for (size_t at = log.find(kSilent); at != std::string::npos; at = log.find(kSilent, at + 1)) lines++;
    EXPECT_EQ(lines, 1u) << log;
    EXPECT_NE(terminal.find(kSilent), std::string::npos) << terminal;
    EXPECT_EQ(log.find("nicht gefunden"), std::string::npos) << log;
    EXPECT_NE(log.find("ShutdownSystem: Programm wird beendet"), std::string::npos) << log;
  }
}
