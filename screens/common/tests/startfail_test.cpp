// A screen that cannot start tells the player why in one box before the game
// ends: over the last screen when its picture failed, over its own picture
// when a later step failed, and for a code without a screen (the
// dispatcher's hook, wired as the program wires it). Headless, on the kit.
#include "screens/common/screenbase.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/display.h"
#include "platform/headless.h"
#include "platform/pngfile.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/catalog.h"
#include "routinen/system/input.h"
#include "routinen/system/shell.h"
#include "tests/support/log_lines.h"
#include "tests/support/test_support.h"
#include "tests/support/xvfb_script.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kMain = 2, kFamily = 40, kNoPicture = 4000;
constexpr int kBoxX1 = 168, kBoxY1 = 180, kBoxX2 = 472, kBoxY2 = 304;

// The last screen: the main screen's picture, shown and kept.
void ShowLastScreen() {
  ScreenBase base;
  ASSERT_EQ(OpenScreenPicture(&base, kMain, 0), 1);
  WaitTransition();
  CloseScreenBase(&base, 1);
}

// A screen on the skeleton that fails at its picture (a picture the index
// does not hold) or at its layout (a file that is not there).
int32_t FailingScreen(bool picture_fails) {
  ScreenBase base;
  if (!OpenScreenPicture(&base, picture_fails ? kNoPicture : kFamily, 1)) {
    ScreenStartFailed(&base, SCREEN_STEP_PICTURE, "FailingScreen: Konnte Pic nicht laden!\n");
    return SCREEN_END;
  }
  if (!OpenScreenLayout(&base, ".\\Data\\Screendat\\Missing.dat", 3)) {
    ScreenStartFailed(&base, SCREEN_STEP_LAYOUT, "FailingScreen: Kann TitelbarDaten nicht laden!\n");
    CloseScreenBase(&base, SCREEN_END);
    return SCREEN_END;
  }
  CloseScreenBase(&base, SCREEN_END);
  return SCREEN_MAIN;
}

int32_t g_result = 0;

class ScreenStartFailure : public testing::Test {
 protected:
  void SetUp() override {
    fs::copy(qoe_test::BinaryDir() + "/datakit", ".", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    ASSERT_EQ(HeadlessOpenDisplay(0), 1);  // 640 x 480: the game area is the display
    ResetInputState();
    g_result = 0;
  }
  void TearDown() override {
    SetShellHooks(nullptr);
    SetScreenTable(nullptr, 0);
    ResetPictureManagerState();
    ResetTextState();
    HeadlessCloseDisplay();
  }
  // Pixels of a PNG of the display.
  static std::vector<uint32_t> Pixels(const std::string& png) {
    std::vector<uint32_t> px;
    uint32_t w = 0, h = 0;
    EXPECT_EQ(ReadPngRGB(png.c_str(), &px, &w, &h), 1) << png;
    EXPECT_EQ(w * h, 640u * 480u);
    return px;
  }
  // Share of the pixels inside and outside the box that differ.
  static void Compare(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, double* inside, double* outside) {
    uint32_t in = 0, out = 0, in_diff = 0, out_diff = 0;
    for (int y = 0; y < 480; ++y)
      for (int x = 0; x < 640; ++x) {
        const bool box = x >= kBoxX1 && x < kBoxX2 && y >= kBoxY1 && y < kBoxY2;
        const bool diff = a[y * 640 + x] != b[y * 640 + x];
        (box ? in : out)++;
        if (diff) (box ? in_diff : out_diff)++;
      }
    *inside = double(in_diff) / in;
    *outside = double(out_diff) / out;
  }
};

}  // namespace

TEST_F(ScreenStartFailure, APictureThatFailsShowsTheBoxOverTheLastScreenUntilTheKey) {
  qoe_test::LogLines log;
  ASSERT_EQ(HeadlessRunGame("wait 300\npng last.png\nkey space\nwait 300\npng box.png\nkey enter\n",
                            [](void*) {
                              ShowLastScreen();
                              while (WaitEvent(0) != ' ' && !WindowCloseRequested()) {  // the first picture is taken
                              }
                              g_result = FailingScreen(true);
                              return 0;
                            },
                            nullptr),
            0);
  EXPECT_EQ(g_result, SCREEN_END);
  EXPECT_TRUE(log.Has("FailingScreen: Konnte Pic nicht laden!"));
  fs::copy_file("box.png", "startfail_picture.png");
  EXPECT_TRUE(qoe_test::KeepPng("startfail_picture.png"));
  double inside = 0, outside = 0;
  Compare(Pixels("last.png"), Pixels("box.png"), &inside, &outside);
  EXPECT_GT(inside, 0.5);
  EXPECT_EQ(outside, 0.0);
}

TEST_F(ScreenStartFailure, ALaterStepShowsTheScreensOwnPictureUnderTheBox) {
  ASSERT_EQ(HeadlessRunGame("wait 300\npng last.png\nkey space\nwait 300\npng box.png\nkey enter\n",
                            [](void*) {
                              ShowLastScreen();
                              while (WaitEvent(0) != ' ' && !WindowCloseRequested()) {
                              }
                              g_result = FailingScreen(false);
                              return 0;
                            },
                            nullptr),
            0);
  EXPECT_EQ(g_result, SCREEN_END);
  fs::copy_file("box.png", "startfail_layout.png");
  EXPECT_TRUE(qoe_test::KeepPng("startfail_layout.png"));
  double inside = 0, outside = 0;
  Compare(Pixels("last.png"), Pixels("box.png"), &inside, &outside);
  EXPECT_GT(inside, 0.5);
  EXPECT_GT(outside, 0.5);  // the family tree's picture, not the main screen's
}

TEST_F(ScreenStartFailure, ACodeWithoutAScreenIsToldAndEndsTheGame) {
  static const ScreenTableEntry kTable[] = {{SCREEN_TITLE, [](int32_t) -> int32_t {
                                              ShowLastScreen();
                                              return 4711;
                                            }}};
  SetScreenTable(kTable, 1);
  ShellHooks hooks{};
  hooks.NoScreen = [](int32_t) { ScreenStartFailed(nullptr, SCREEN_STEP_NO_SCREEN, nullptr); };
  SetShellHooks(&hooks);
  qoe_test::LogLines log;
  ASSERT_EQ(HeadlessRunGame("wait 300\npng box.png\nkey enter\n",
                            [](void*) {
                              g_result = RunScreenDispatcher();
                              return 0;
                            },
                            nullptr),
            0);
  EXPECT_EQ(g_result, 4711);
  EXPECT_TRUE(log.Has("Main: Kein Screen fuer Code 4711"));
  fs::copy_file("box.png", "startfail_nocode.png");
  EXPECT_TRUE(qoe_test::KeepPng("startfail_nocode.png"));
  // The box's text: the step in the player's words and the log's name.
  const std::string text = GetCatalogStr(1570);
  EXPECT_NE(text.find("see Quill.dbg"), std::string::npos);
  EXPECT_NE(text.find("%s"), std::string::npos);
  for (uint32_t step = SCREEN_STEP_PICTURE; step <= SCREEN_STEP_NO_SCREEN; ++step)
    EXPECT_GT(std::string(GetCatalogStr(step)).size(), 10u) << step;
}

// A catalog whose text carries format marks is shown as it stands: only its
// first "%s" takes the step.
TEST_F(ScreenStartFailure, FormatMarksOfACatalogTextAreNotFollowed) {
  const std::string text = "%n%d %s %s %x";
  std::vector<uint8_t> strs(8);
  PutBE32(strs.data(), 1570);
  PutBE32(strs.data() + 4, (uint32_t)text.size() + 1);
  strs.insert(strs.end(), text.begin(), text.end());
  strs.push_back(0);
  while (strs.size() % 4) strs.push_back(0);
  std::vector<uint8_t> img = {'F', 'O', 'R', 'M', 0, 0, 0, 0, 'C', 'T', 'L', 'G', 'S', 'T', 'R', 'S', 0, 0, 0, 0};
  PutBE32(img.data() + 16, (uint32_t)strs.size());
  img.insert(img.end(), strs.begin(), strs.end());
  PutBE32(img.data() + 4, (uint32_t)img.size() - 8);
  Catalog* c = OpenCatalogFromMemory(img.data(), (uint32_t)img.size(), CatalogStrings, CATALOG_STRING_COUNT);
  ASSERT_NE(c, nullptr);
  ASSERT_STREQ(GetCatalogStr(1570), text.c_str());
  ASSERT_EQ(HeadlessRunGame("wait 300\npng box.png\nkey enter\n",
                            [](void*) {
                              ShowLastScreen();
                              ScreenStartFailed(nullptr, SCREEN_STEP_MEMORY, nullptr);
                              return 0;
                            },
                            nullptr),
            0);
  CloseCatalog(c);
  EXPECT_TRUE(fs::exists("box.png"));
}

namespace {

// Relative luminance of a 0x00RRGGBB colour, and the contrast ratio of two.
double Luminance(uint32_t rgb) {
  auto lin = [](uint32_t c) {
    const double v = c / 255.0;
    return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * lin(rgb >> 16 & 255) + 0.7152 * lin(rgb >> 8 & 255) + 0.0722 * lin(rgb & 255);
}
double Contrast(double a, double b) { return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05); }

struct FirstFailCase {
  uint32_t mode;
  bool installed;  // the demo realm the start command installs, over the kit
};

class FirstScreenFails : public testing::TestWithParam<FirstFailCase> {};

}  // namespace

// The program on the kit without its title picture: the first screen of the
// run fails before any picture set the palette. Its box still reads: the
// text's colour stands out from the box's ground by 3 : 1 at least, at
// 640 x 480 x 8 and at 1024 x 768 x 32, on the kit alone and with the demo
// realm installed (then the map is built in advance before the title, on
// the deeper display: the box shows over it too).
TEST_P(FirstScreenFails, TheBoxOverNoPictureKeepsItsTextLegible) {
  const std::string bin = qoe_test::BinaryDir() + "/quill";
  const std::string builder = qoe_test::BinaryDir() + "/tools/turnbuilder/turnbuilder";
  QOE_REQUIRE_BUILT(bin);
  QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit/Gfx/Pic0001.ilbm");
  fs::copy(qoe_test::BinaryDir() + "/datakit", ".", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  if (GetParam().installed) {
    QOE_REQUIRE_BUILT(builder);
    const std::string install =
        builder + " install " + qoe_test::SourceDir() + "/tools/turnbuilder/realms/demo.realm --dir . >tb.txt 2>&1";
    ASSERT_EQ(std::system(install.c_str()), 0);
  }
  ASSERT_TRUE(fs::remove("Gfx/Pic0001.ilbm"));
  const std::string script = "wait 500\npng box.png\nkey enter\nwait 300\n";
  ASSERT_TRUE(qoe_test::WriteFileBytes("run.txt", std::vector<uint8_t>(script.begin(), script.end())));
  const std::string cmd = "timeout -s KILL 400 env QOE_HEADLESS_SCRIPT=run.txt QOE_HEADLESS_MODE=" +
                          std::to_string(GetParam().mode) + " '" + bin + "' >out.txt 2>err.txt";
  const int status = std::system(cmd.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  const auto dbg = qoe_test::ReadFileBytes("Quill.dbg");
  EXPECT_NE(std::string(dbg.begin(), dbg.end()).find("TitelScreen: Konnte Pic nicht laden!"), std::string::npos);
  std::vector<uint32_t> px;
  uint32_t w = 0, h = 0;
  ASSERT_EQ(ReadPngRGB("box.png", &px, &w, &h), 1);
  const std::string keep = "startfail_first_" + std::to_string(w) + "x" + std::to_string(h) +
                           (GetParam().installed ? "_installed" : "") + ".png";
  fs::copy_file("box.png", keep);
  EXPECT_TRUE(qoe_test::KeepPng(keep));
  int32_t ox = 0, oy = 0;
  GameAreaOffset(w, h, &ox, &oy);
  // The lines of the text (below the heading) and the empty ground under
  // them, inside the box's frame.
  std::map<uint32_t, int> lines, empty;
  double ground = 0;
  int ground_n = 0;
  for (int y = 20; y < 95; ++y)
    for (int x = 8; x < 296; ++x) {
      const uint32_t c = px[(size_t)(oy + kBoxY1 + y) * w + (size_t)(ox + kBoxX1 + x)] & 0xFFFFFF;
      if (y < 62) {
        lines[c]++;
      } else {
        empty[c]++;
        ground += Luminance(c);
        ground_n++;
      }
    }
  ground /= ground_n;
  // The text's colour: frequent in the lines, rare on the empty ground; the
  // most contrasting such colour.
  double best = 0;
  for (const auto& [colour, count] : lines)
    if (count >= 100 && empty[colour] * 5 < count) best = std::max(best, Contrast(Luminance(colour), ground));
  EXPECT_GE(best, 3.0) << "ground luminance " << ground;
}

INSTANTIATE_TEST_SUITE_P(Modes, FirstScreenFails,
                         testing::Values(FirstFailCase{0, false}, FirstFailCase{8, false}, FirstFailCase{0, true},
                                         FirstFailCase{8, true}),
                         [](const testing::TestParamInfo<FirstFailCase>& i) {
                           return std::string(i.param.mode == 0 ? "640x480x8" : "1024x768x32") +
                                  (i.param.installed ? "_Installed" : "");
                         });

namespace {

// Under a virtual X server of its own: the program in row 10 (1024 x 768 x
// 32, OpenGL, windowed) plays "shown" (the game waits in the box and a
// frame begun after that is on the screen), then the window's place is
// grabbed into gl.png and the close signal ends the program. Each wait is
// on what the program or the server reports, bounded by minutes.
const char kGLBoxScript[] = "#!/bin/sh\n"
                            "unset QOE_HEADLESS_SCRIPT SDL_VIDEODRIVER SDL_RENDER_DRIVER\n"
                            "export ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0\"\n"
                            QOE_XVFB_START_SH
                            "printf 'shown\\nwait 600000\\n' >run.txt\n"
                            "SDL_AUDIODRIVER=dummy QOE_SDL_SCRIPT=run.txt QOE_HEADLESS_MODE=10 \"$1\" >out.txt 2>err.txt &\n"
                            "pid=$!\n"
                            "end() { kill -9 $pid 2>/dev/null; kill $xpid; exit $1; }\n"
                            "i=0\n"
                            "until LC_ALL=C grep -q '^SDL-Skript: Das Fenster zeigt das Bild (1.)' Quill.dbg 2>/dev/null; do\n"
                            "  kill -0 $pid 2>/dev/null || { echo 'the program ended before its window showed' >>xvfb.txt; end 2; }\n"
                            "  i=$((i + 1))\n"
                            "  [ $i -gt 4000 ] && { echo 'no frame shown in 400 s' >>xvfb.txt; end 2; }\n"
                            "  sleep 0.1\n"
                            "done\n"
                            "geometry=''\n"
                            "for w in $(xdotool search --onlyvisible --name 'Quill of Elmor' 2>/dev/null); do\n"
                            "  eval \"$(xdotool getwindowgeometry --shell \"$w\" 2>/dev/null)\"\n"
                            "  [ \"$WIDTH\" = 1024 ] && [ \"$HEIGHT\" = 768 ] && { geometry=\"$X $Y\"; break; }\n"
                            "done\n"
                            "[ -z \"$geometry\" ] && { echo 'no 1024 x 768 window' >>xvfb.txt; end 2; }\n"
                            "xwd -root -silent | xwdtopnm 2>/dev/null | pnmcut $geometry 1024 768 | pnmtopng >gl.png 2>/dev/null ||\n"
                            "  { echo 'no grab' >>xvfb.txt; end 2; }\n"
                            "kill -TERM $pid\n"
                            "i=0\n"
                            "while kill -0 $pid 2>/dev/null && [ $i -lt 3000 ]; do i=$((i + 1)); sleep 0.1; done\n"
                            "kill -0 $pid 2>/dev/null && { echo 'no end in 300 s after the close signal' >>xvfb.txt; end 2; }\n"
                            "wait $pid\n"
                            "code=$?\n"
                            "kill $xpid\n"
                            "wait $xpid 2>/dev/null\n"
                            "exit $code\n";

std::string TextOf(const char* name) {
  const auto b = qoe_test::ReadFileBytes(name);
  return std::string(b.begin(), b.end());
}

}  // namespace

// The same first failure in OpenGL mode with the demo realm installed: the
// landscape is built before the title, behind the screen. The game area
// around the box is cleared to the same opaque black as in 2D, so no
// landscape, figures or smoke show there; the box itself still reads.
TEST(FirstScreenFailsInOpenGL, TheGameAreaAroundTheBoxIsClearedNotTheLandscape) {
  const std::string bin = qoe_test::BinaryDir() + "/quill";
  const std::string builder = qoe_test::BinaryDir() + "/tools/turnbuilder/turnbuilder";
  QOE_REQUIRE_BUILT(bin);
  QOE_REQUIRE_BUILT(builder);
  QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit/Gfx/Pic0001.ilbm");
  fs::copy(qoe_test::BinaryDir() + "/datakit", ".", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  const std::string install =
      builder + " install " + qoe_test::SourceDir() + "/tools/turnbuilder/realms/demo.realm --dir . >tb.txt 2>&1";
  ASSERT_EQ(std::system(install.c_str()), 0);
  ASSERT_TRUE(fs::remove("Gfx/Pic0001.ilbm"));
  ASSERT_TRUE(qoe_test::WriteFileBytes("xrun.sh", std::vector<uint8_t>(kGLBoxScript, kGLBoxScript + sizeof kGLBoxScript - 1)));
  const int status = std::system(("timeout -s KILL 560 sh xrun.sh '" + bin + "' >run.txt.out 2>&1").c_str());
  const std::string log = TextOf("Quill.dbg");
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << TextOf("xvfb.txt") << TextOf("err.txt") << log;
  ASSERT_NE(log.find("TitelScreen: Konnte Pic nicht laden!"), std::string::npos) << log;
  ASSERT_NE(log.find("OpenGL Info"), std::string::npos) << "not drawn through OpenGL\n" << log;
  std::vector<uint32_t> px;
  uint32_t w = 0, h = 0;
  ASSERT_EQ(ReadPngRGB("gl.png", &px, &w, &h), 1);
  ASSERT_EQ(w, 1024u);
  ASSERT_EQ(h, 768u);
  fs::copy_file("gl.png", "startfail_first_1024x768_opengl_installed.png");
  EXPECT_TRUE(qoe_test::KeepPng("startfail_first_1024x768_opengl_installed.png"));
  int32_t ox = 0, oy = 0;
  GameAreaOffset(w, h, &ox, &oy);
  // The game area outside the box: every pixel the cleared black.
  std::map<uint32_t, int> colours;
  int other = 0, n = 0;
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x) {
      if (x >= kBoxX1 && x < kBoxX2 && y >= kBoxY1 && y < kBoxY2) continue;
      const uint32_t c = px[(size_t)(oy + y) * w + (size_t)(ox + x)] & 0xFFFFFF;
      n++;
      if (c != 0) {
        other++;
        colours[c]++;
      }
    }
  std::string seen;
  for (const auto& [c, count] : colours)
    if (count > n / 500) seen += " " + std::to_string(c) + "x" + std::to_string(count);
  EXPECT_EQ(other, 0) << "of " << n << " pixels around the box, colours:" << seen;
  // The box is there, over the black: its text's colour stands out.
  std::map<uint32_t, int> box;
  for (int y = kBoxY1 + 20; y < kBoxY1 + 62; ++y)
    for (int x = kBoxX1 + 8; x < kBoxX1 + 296; ++x) box[px[(size_t)(oy + y) * w + (size_t)(ox + x)] & 0xFFFFFF]++;
  EXPECT_GT(box.size(), 2u) << "no box drawn";
}
