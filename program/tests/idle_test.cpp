// A screen left alone under a virtual X server: what keeps it cheap. The
// main screen's movies move in the 640 x 480 x 8 OpenGL mode (changed frames
// of their rectangles on the screen); the 3D map is not drawn under the
// opaque 640 x 480 x 8 map screen, rests behind the main screen at
// 1024 x 768, and on the processor's renderer (Mesa's llvmpipe, the one
// Xvfb has) the window loop starts 30 frames a second at most. Each run
// waits for what it looks at: the movies' pictures are grabbed until each
// showed three, the frames are asked for one by one ("shown"), however slow
// a busy machine is; the counts come from the frame's log line at the end.
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

// $1 the program, $2 1 for grabs (0: none), then "x y w h" rectangles of
// the window: the first a part that stands still, the others watched.
// Without grabs the program's script ends the run. With them, once the
// window showed the screen (the program's log says so), the screen is
// grabbed again and again until each watched rectangle showed $3 different
// pictures and changed $4 times from one grab to the next, counting only
// the grabs whose still part is that of the last grab (a screen's
// transition changes it as it goes, so its pictures do not count); four
// minutes of grabs at most. counts.txt then holds the number of grabs and
// each rectangle's pictures and changes, and a SIGTERM ends the run. A wait
// that ran out is said in why.txt.
const char kRun[] = R"SH(#!/bin/sh
unset SDL_VIDEODRIVER SDL_RENDER_DRIVER
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
bin=$1 grab=$2 pictures=$3 changes=$4
shift 4
rm -f counts.txt why.txt grabs.txt
: >rects.txt
for r in "$@"; do echo "$r" >>rects.txt; done
)SH" QOE_XVFB_START_SH R"SH("$bin" >out.txt 2>err.txt &
pid=$!
end() {
  kill $xpid
  wait $xpid 2>/dev/null
  exit "$1"
}
fail() {
  echo "$1" >>why.txt
  kill -9 $pid 2>/dev/null
  wait $pid
  end 3
}
if [ "$grab" = 1 ]; then
  start=$(date +%s)
  until LC_ALL=C grep -q "^SDL-Skript: Das Fenster zeigt das Bild (1.)" Quill.dbg 2>/dev/null; do
    kill -0 $pid 2>/dev/null || fail "the program ended before its window showed the screen"
    [ $(($(date +%s) - start)) -gt 240 ] && fail "the window showed no picture in four minutes"
    sleep 0.1
  done
  w=$(xdotool search --onlyvisible --name "Quill of Elmor" 2>/dev/null | head -1)
  eval "$(xdotool getwindowgeometry --shell "$w" 2>/dev/null)"
  [ -n "$X" ] || fail "no window of the program"
  start=$(date +%s)
  grabs=0
  while :; do
    kill -0 $pid 2>/dev/null || fail "the program ended while the screen was grabbed"
    xwd -root -silent 2>/dev/null | xwdtopnm 2>/dev/null >grab.pnm
    grabs=$((grabs + 1))
    line=""
    while read -r x y cw ch; do
      line="$line $(pnmcut $((X + x)) $((Y + y)) $cw $ch grab.pnm 2>/dev/null | md5sum | cut -c1-32)"
    done <rects.txt
    echo $line >>grabs.txt
    still=$(tail -n 1 grabs.txt | cut -d' ' -f1)
    counts=$(awk -v still="$still" '$1 == still {
        for (k = 2; k <= NF; k++) {
          if (!seen[k " " $k]++) n[k]++
          if (k in last && last[k] != $k) c[k]++
          last[k] = $k
        }
      }
      END { for (k = 2; k <= NF; k++) printf " %d %d", n[k] + 0, c[k] + 0 }' grabs.txt)
    enough=1
    set -- $counts
    while [ $# -ge 2 ]; do
      [ "$1" -ge "$pictures" ] && [ "$2" -ge "$changes" ] || enough=0
      shift 2
    done
    [ $enough = 1 ] && break
    [ $(($(date +%s) - start)) -gt 240 ] && {
      echo "fewer than $pictures pictures or $changes changes in four minutes of grabs:$counts" >>why.txt
      break
    }
    sleep 0.2
  done
  echo "$grabs$counts" >counts.txt
  kill -TERM $pid
fi
wait $pid
end $?
)SH";

class IdleProgram : public testing::Test {
 protected:
  void SetUp() override { qoe_test::InstallDemoRealmHere(&bin_); }

  // Runs the program at the screen in the mode, playing the script (its
  // window's close ends the run), or until the grabs are done (rects: the
  // still part, then those counted).
  void Run(int32_t screen, uint32_t mode, const std::string& script, const std::vector<std::string>& rects = {},
           unsigned pictures = 0, unsigned changes = 0) {
    ASSERT_TRUE(WriteText("run.txt", script));
    ASSERT_TRUE(WriteText("idle.sh", kRun));
    std::string cmd = "timeout -s KILL 560 env SDL_AUDIODRIVER=dummy QOE_SDL_SCRIPT=run.txt QOE_PIN_SCREEN=1 "
                      "QOE_HEADLESS_MODE=" +
                      std::to_string(mode) + " QOE_START_SCREEN=" + std::to_string(screen) + " sh idle.sh " + bin_ +
                      (rects.empty() ? " 0 " : " 1 ") + std::to_string(pictures) + " " + std::to_string(changes);
    for (const std::string& r : rects) cmd += " '" + r + "'";
    const int status = std::system(cmd.c_str());
    log_ = FileText("Quill.dbg");
    ASSERT_TRUE(WIFEXITED(status)) << "killed after 560 s\n" << Tail();
    ASSERT_NE(WEXITSTATUS(status), 97) << FileText("xvfb.txt");
    ASSERT_EQ(WEXITSTATUS(status), 0) << FileText("why.txt") << Tail() << FileText("err.txt");
    ASSERT_NE(log_.find("OpenGL Info"), std::string::npos) << Tail();
  }

  // A script that asks n times for a frame shown (each begun after the game
  // waited), then closes the window: n frames at least, however slow.
  static std::string Frames(int n) {
    std::string script;
    for (int i = 0; i < n; i++) script += "shown\n";
    return script + "quit\n";
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

  // How many frames the script saw shown.
  int Shown() const {
    int n = 0;
    for (size_t at = log_.find("SDL-Skript: Das Fenster zeigt das Bild ("); at != std::string::npos;
         at = log_.find("SDL-Skript: Das Fenster zeigt das Bild (", at + 1))
      n++;
    return n;
  }

  std::string Tail() const { return log_.size() > 4000 ? log_.substr(log_.size() - 4000) : log_; }

  std::string bin_, log_;
};

}  // namespace

TEST_F(IdleProgram, TheMainScreensMoviesMoveIn640x480x8OpenGL) {
  // The alchemist at (512, 70), 112 x 104, and the scribe at (480, 252),
  // 136 x 104, each until it showed three different pictures; the left of
  // the screen (all but its movies and its title bar) stands still.
  Run(2, 2, "shown\nwait 600000\nquit\n", {"0 40 470 440", "512 70 112 104", "480 252 136 104"}, 3);
  const std::string counts = FileText("counts.txt");
  unsigned grabs = 0, alchemist = 0, scribe = 0, changes = 0;
  ASSERT_EQ(std::sscanf(counts.c_str(), "%u %u %u %u", &grabs, &alchemist, &changes, &scribe), 4)
      << counts << Tail();
  EXPECT_GE(alchemist, 3u) << "in " << grabs << " grabs: " << FileText("why.txt") << Tail();
  EXPECT_GE(scribe, 3u) << "in " << grabs << " grabs: " << FileText("why.txt") << Tail();
}

TEST_F(IdleProgram, UnderTheOpaqueMapScreenOf640x480x8TheLandscapeIsNeverDrawn) {
  Run(3, 2, Frames(60));
  EXPECT_EQ(Shown(), 60) << Tail();
  unsigned long long asked = 0, drawn = 0, landscapes = 0, ms = 0;
  ASSERT_TRUE(Frames(&asked, &drawn, &landscapes, &ms)) << Tail();
  EXPECT_GE(asked, 60u);
  EXPECT_EQ(landscapes, 0u) << Tail();
}

TEST_F(IdleProgram, BehindTheMainScreenAt1024x768TheMapRests) {
  // Until each movie changed 15 times (the game area at (192, 114) of the
  // window): 30 frames at least that changed a movie alone.
  Run(2, 10, "shown\nwait 600000\nquit\n", {"192 154 470 440", "704 184 112 104", "672 366 136 104"}, 0, 15);
  unsigned grabs = 0, alchemist_pictures = 0, alchemist = 0, scribe_pictures = 0, scribe = 0;
  ASSERT_EQ(std::sscanf(FileText("counts.txt").c_str(), "%u %u %u %u %u", &grabs, &alchemist_pictures, &alchemist,
                        &scribe_pictures, &scribe),
            5)
      << FileText("counts.txt") << Tail();
  ASSERT_GE(alchemist, 15u) << "in " << grabs << " grabs: " << FileText("why.txt");
  ASSERT_GE(scribe, 15u) << "in " << grabs << " grabs: " << FileText("why.txt");
  unsigned long long asked = 0, drawn = 0, landscapes = 0, ms = 0;
  ASSERT_TRUE(Frames(&asked, &drawn, &landscapes, &ms)) << Tail();
  EXPECT_GE(asked, 30u);
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
    EXPECT_GE(shown, 30u);
    EXPECT_LE(whole, 10u) << Tail();
  }
}

// The frames' rate itself is a measurement (scripts/idle_cpu_bench.py prints
// it for the OpenGL modes); here the cap the window loop keeps to.
TEST_F(IdleProgram, OnTheProcessorsRendererTheWindowLoopKeepsToThirtyFramesASecond) {
  Run(3, 10, Frames(10));
  ASSERT_NE(log_.find("OpenGL Info : Renderer: llvmpipe"), std::string::npos) << "not on llvmpipe\n" << Tail();
  EXPECT_NE(log_.find("RunGLLoop: h\xF6" "chstens 30 Bilder in der Sekunde\n"), std::string::npos) << Tail();
  unsigned long long asked = 0, drawn = 0, landscapes = 0, ms = 0;
  ASSERT_TRUE(Frames(&asked, &drawn, &landscapes, &ms)) << Tail();
  EXPECT_GE(asked, 10u);
  EXPECT_GE(landscapes, 1u) << Tail();
}
