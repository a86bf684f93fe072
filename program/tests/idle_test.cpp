// A screen left alone under a virtual X server: what keeps it cheap. The
// main screen's movies move in the 640 x 480 x 8 OpenGL mode (changed frames
// of their rectangles on the screen); the 3D map is not drawn under the
// opaque 640 x 480 x 8 map screen, rests behind the main screen at
// 1024 x 768, and on the processor's renderer (Mesa's llvmpipe, the one
// Xvfb has) is drawn at most 30 times a second. The counts come from the
// frame's log line at the end of each run.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "demo_realm.h"
#include "tests/support/test_support.h"
#include "tests/support/xvfb_script.h"

namespace {

std::string FileText(const std::string& name) {
  auto bytes = qoe_test::ReadFileBytes(name);
  return std::string(bytes.begin(), bytes.end());
}

bool WriteText(const std::string& name, const std::string& text) {
  return qoe_test::WriteFileBytes(name, std::vector<uint8_t>(text.begin(), text.end()));
}

// $1 the program, $2 the seconds before the grabs, $3 the grabs (half a
// second apart; 0: none), then "x y w h" rectangles of the game area whose
// grabs are compared. Writes for each rectangle the number of different
// pictures it showed to counts.txt. Without grabs the program's script ends
// the run; with them the grabs begin $2 seconds after the main screen's
// movies were opened (however long a busy machine takes to get there), and a
// SIGTERM ends the run after them (the script waits longer than any start).
const char kRun[] = R"SH(#!/bin/sh
unset SDL_VIDEODRIVER SDL_RENDER_DRIVER
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
bin=$1 settle=$2 grabs=$3
shift 3
rm -f counts.txt
)SH" QOE_XVFB_START_SH R"SH("$bin" >out.txt 2>err.txt &
pid=$!
if [ "$grabs" -gt 0 ]; then
  for i in $(seq 1 3000); do
    grep -q "InitANIM5Handle: Width 136 Height 104" Quill.dbg 2>/dev/null && break
    kill -0 $pid 2>/dev/null || break
    sleep 0.1
  done
fi
sleep "$settle"
if [ "$grabs" -gt 0 ]; then
  w=$(xdotool search --name "Quill of Elmor" 2>/dev/null | head -1)
  eval "$(xdotool getwindowgeometry --shell "$w" 2>/dev/null)"
  for i in $(seq 1 "$grabs"); do
    xwd -root -silent 2>/dev/null | xwdtopnm 2>/dev/null >grab$i.pnm
    sleep 0.5
  done
  for r in "$@"; do
    set -- $r
    for i in $(seq 1 "$grabs"); do pnmcut $(($X + $1)) $(($Y + $2)) $3 $4 grab$i.pnm 2>/dev/null | md5sum; done |
      sort -u | wc -l >>counts.txt
  done
  kill -TERM $pid
fi
wait $pid
code=$?
kill $xpid
wait $xpid 2>/dev/null
exit $code
)SH";

class IdleProgram : public testing::Test {
 protected:
  void SetUp() override { qoe_test::InstallDemoRealmHere(&bin_); }

  // Runs the program at the screen in the mode for `seconds` of its script.
  void Run(int32_t screen, uint32_t mode, int seconds, int settle = 0, int grabs = 0,
           const std::vector<std::string>& rects = {}) {
    // With grabs the run ends by the script's SIGTERM after them.
    const std::string script = "wait " + std::to_string((grabs ? 600 : seconds) * 1000) + "\nquit\n";
    ASSERT_TRUE(WriteText("run.txt", script));
    ASSERT_TRUE(WriteText("idle.sh", kRun));
    std::string cmd = "timeout -s KILL 300 env SDL_AUDIODRIVER=dummy QOE_SDL_SCRIPT=run.txt QOE_PIN_SCREEN=1 "
                      "QOE_HEADLESS_MODE=" +
                      std::to_string(mode) + " QOE_START_SCREEN=" + std::to_string(screen) + " sh idle.sh " + bin_ +
                      " " + std::to_string(settle) + " " + std::to_string(grabs);
    for (const std::string& r : rects) cmd += " '" + r + "'";
    const int status = std::system(cmd.c_str());
    log_ = FileText("Quill.dbg");
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_NE(WEXITSTATUS(status), 97) << FileText("xvfb.txt");
    ASSERT_EQ(WEXITSTATUS(status), 0) << Tail() << FileText("err.txt");
    ASSERT_NE(log_.find("OpenGL Info"), std::string::npos) << Tail();
  }

  // The frame's figures of the run: frames asked for, drawn, with the
  // landscape, and the milliseconds from the first landscape to the last.
  bool Frames(unsigned long long* asked, unsigned long long* drawn, unsigned long long* landscapes,
              unsigned long long* ms) const {
    const size_t at = log_.rfind("GLProcessObjektList: ");
    return at != std::string::npos &&
           std::sscanf(log_.c_str() + at, "GLProcessObjektList: %llu Bilder, %llu gezeichnet, %llu mit Landschaft in %llu ms",
                       asked, drawn, landscapes, ms) == 4;
  }

  std::string Tail() const { return log_.size() > 4000 ? log_.substr(log_.size() - 4000) : log_; }

  std::string bin_, log_;
};

}  // namespace

TEST_F(IdleProgram, TheMainScreensMoviesMoveIn640x480x8OpenGL) {
  // The alchemist at (512, 70), 112 x 104, and the scribe at (480, 252),
  // 136 x 104; four seconds of grabs, half a second apart, from two seconds
  // after the movies were opened.
  Run(2, 2, 16, 2, 9, {"512 70 112 104", "480 252 136 104"});
  const std::string counts = FileText("counts.txt");
  unsigned alchemist = 0, scribe = 0;
  ASSERT_EQ(std::sscanf(counts.c_str(), "%u %u", &alchemist, &scribe), 2) << counts << Tail();
  EXPECT_GE(alchemist, 3u) << Tail();
  EXPECT_GE(scribe, 3u) << Tail();
}

TEST_F(IdleProgram, UnderTheOpaqueMapScreenOf640x480x8TheLandscapeIsNeverDrawn) {
  Run(3, 2, 10);
  unsigned long long asked = 0, drawn = 0, landscapes = 0, ms = 0;
  ASSERT_TRUE(Frames(&asked, &drawn, &landscapes, &ms)) << Tail();
  EXPECT_GT(asked, 50u);
  EXPECT_EQ(landscapes, 0u) << Tail();
}

TEST_F(IdleProgram, BehindTheMainScreenAt1024x768TheMapRests) {
  Run(2, 10, 12);
  unsigned long long asked = 0, drawn = 0, landscapes = 0, ms = 0;
  ASSERT_TRUE(Frames(&asked, &drawn, &landscapes, &ms)) << Tail();
  EXPECT_GT(asked, 50u);
  // Drawn when it came and when the map changed, not for every frame (the
  // movies' rectangles are drawn over the kept landscape).
  EXPECT_LE(landscapes, 10u) << Tail();
  // Where GLX copies a part of the back buffer, the movies' frames show only
  // their part of the window.
  if (log_.find("RunGLLoop: zeigt nur") != std::string::npos) {
    const size_t at = log_.rfind("SDL: ");
    unsigned long long shown = 0, whole = 0;
    ASSERT_NE(at, std::string::npos) << Tail();
    ASSERT_EQ(std::sscanf(log_.c_str() + at, "SDL: %llu Bilder gezeigt, %llu davon ganz", &shown, &whole), 2);
    EXPECT_GT(shown, 50u);
    EXPECT_LE(whole, 10u) << Tail();
  }
}

TEST_F(IdleProgram, TheMapIsDrawnAtMostThirtyTimesASecondOnTheProcessorsRenderer) {
  Run(3, 10, 12);
  ASSERT_NE(log_.find("OpenGL Info : Renderer: llvmpipe"), std::string::npos) << "not on llvmpipe\n" << Tail();
  unsigned long long asked = 0, drawn = 0, landscapes = 0, ms = 0;
  ASSERT_TRUE(Frames(&asked, &drawn, &landscapes, &ms)) << Tail();
  ASSERT_GT(ms, 3000u) << Tail();
  // Frames that start late do not catch up, so a second holds 30 at most.
  EXPECT_LE(double(landscapes - 1) * 1000.0 / double(ms), 30.5) << landscapes << " in " << ms << " ms";
}
