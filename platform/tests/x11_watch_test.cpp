// The program under a virtual X server that the test starts itself: the game
// window destroyed from outside ends the game in order, and the server's end
// ends the program at once; never a hang. Both renderers.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/x11_watch.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

std::string FileText(const char* name) {
  auto bytes = qoe_test::ReadFileBytes(name);
  return std::string(bytes.begin(), bytes.end());
}

bool WriteText(const char* name, const std::string& text) {
  return qoe_test::WriteFileBytes(name, std::vector<uint8_t>(text.begin(), text.end()));
}

// $1 the program, $2 the mode row, $3 "close" (the window is destroyed from
// outside) or "kill" (the X server is killed), once the program logged that
// its window shows the title (the script's "shown"). Prints "ended CODE"
// when the program ended after that, "hang" when it had not within five
// minutes (then it is killed). Each wait is on what the program, the server
// or the processes report, bounded by minutes: a busy machine only makes it
// slower.
const char kRunScript[] = R"SH(#!/bin/sh
unset QOE_HEADLESS_SCRIPT SDL_VIDEODRIVER
# Under the address checker: libGL, GLX and D-Bus keep memory to the end; the
# program's own blocks are counted in its log instead.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
rm -f disp.txt
# The server picks a free display number and writes it to fd 3.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>disp.txt 2>xvfb.err &
xpid=$!
i=0
until [ -s disp.txt ]; do
  kill -0 $xpid 2>/dev/null && [ $i -lt 1200 ] || { echo "no X server"; kill $xpid; exit 2; }
  i=$((i + 1))
  sleep 0.1
done
export DISPLAY=":$(cat disp.txt)"
printf 'shown\nwait 600000\n' >wait.txt
QOE_SDL_SCRIPT=wait.txt QOE_HEADLESS_MODE=$2 "$1" >out.txt 2>&1 &
pid=$!
# The title waits in its first box and the window shows it.
i=0
until LC_ALL=C grep -q "^SDL-Skript: Das Fenster zeigt das Bild (1.)" Quill.dbg 2>/dev/null; do
  kill -0 $pid 2>/dev/null && [ $i -lt 4000 ] || break
  i=$((i + 1))
  sleep 0.1
done
w=$(xdotool search --name "Quill of Elmor" 2>/dev/null | tail -1)
[ -z "$w" ] && { echo "no window"; kill -9 $pid; kill $xpid; exit 2; }
if [ "$3" = boxkill ]; then
  # A fatal fault: the error box comes up in a process of its own; then the
  # game is killed, and the box must go with it.
  kill -SEGV $pid
  box=""
  for i in $(seq 1 3000); do
    box=$(cat /proc/$pid/task/*/children 2>/dev/null | tr ' ' '\n' | grep . | head -1)
    [ -n "$box" ] && break
    sleep 0.1
  done
  [ -z "$box" ] && { echo "no box"; kill -9 $pid; kill $xpid; exit 0; }
  sleep 1
  kill -9 $pid
  wait $pid
  t=0
  while [ $t -lt 3000 ]; do
    s=$(awk '{print $3}' /proc/$box/stat 2>/dev/null)
    [ -z "$s" ] || [ "$s" = Z ] && break
    sleep 0.1
    t=$((t + 1))
  done
  if [ $t -lt 3000 ]; then echo "box gone"; else echo "box stays"; kill -9 $box; fi
  kill $xpid 2>/dev/null
  wait $xpid 2>/dev/null
  exit 0
fi
if [ "$3" = close ]; then xdotool windowclose "$w"; else kill -9 $xpid; fi
t=0
while kill -0 $pid 2>/dev/null && [ $t -lt 3000 ]; do sleep 0.1; t=$((t + 1)); done
if kill -0 $pid 2>/dev/null; then
  echo "hang"
  kill -9 $pid
  wait $pid
  kill $xpid 2>/dev/null
  exit 0
fi
wait $pid
echo "ended $?"
kill $xpid 2>/dev/null
wait $xpid 2>/dev/null
exit 0
)SH";

struct XRun {
  int code = -1;  // the program's exit code; -1 when it hung
  std::string log, out;
  std::string result;  // what the script printed
};

XRun RunUnderX(int mode, const char* what) {
  XRun r;
  std::string bin = qoe_test::BinaryDir() + "/quill", kit = qoe_test::BinaryDir() + "/datakit";
  if (!fs::exists(bin) || !fs::exists(kit)) {
    r.out = "quill or the data kit not built";
    return r;
  }
  fs::copy(kit, ".", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  if (!WriteText("xrun.sh", kRunScript)) return r;
  const std::string cmd =
      "timeout -s KILL 560 sh xrun.sh " + bin + " " + std::to_string(mode) + " " + what + " >result.txt 2>&1";
  (void)std::system(cmd.c_str());
  const std::string result = FileText("result.txt");
  r.log = FileText("Quill.dbg");
  r.out = result + FileText("out.txt");
  std::sscanf(result.c_str(), "ended %d", &r.code);
  r.result = result;
  return r;
}

// The orderly end: the close was asked for, the shut-down ran, every block
// went back.
void ExpectOrderlyEnd(const XRun& r) {
  EXPECT_EQ(r.code, 0) << r.out << r.log;
  EXPECT_NE(r.log.find("X11: Das Spielfenster 0x"), std::string::npos) << r.log;
  EXPECT_NE(r.log.find("Programmende angefordert"), std::string::npos) << r.log;
  const size_t counts = r.log.find("ShutdownSystem: AllocVec ");
  ASSERT_NE(counts, std::string::npos) << r.log;
  unsigned allocs = 0, frees = 0;
  ASSERT_EQ(std::sscanf(r.log.c_str() + counts, "ShutdownSystem: AllocVec %u mal, FreeVec %u mal", &allocs, &frees),
            2);
  EXPECT_EQ(allocs, frees);
}

void ExpectEndAtOnce(const XRun& r) {
  EXPECT_EQ(r.code, kExitDisplayLost) << r.out << r.log;
  EXPECT_NE(r.log.find("X11: Die Verbindung zum X-Server ist verloren"), std::string::npos) << r.log;
}

}  // namespace

// Row 4: 800 x 600, 2D, windowed; row 6: the same in OpenGL.
TEST(QuillUnderX, WindowDestroyedFromOutsideEndsTheGameInOrder2D) {
  const XRun r = RunUnderX(4, "close");
  ASSERT_NE(r.code, -1) << "the program hung after its window was destroyed\n" << r.out << r.log;
  ExpectOrderlyEnd(r);
}

TEST(QuillUnderX, WindowDestroyedFromOutsideEndsTheGameInOrderOpenGL) {
  const XRun r = RunUnderX(6, "close");
  ASSERT_NE(r.code, -1) << "the program hung after its window was destroyed\n" << r.out << r.log;
  EXPECT_NE(r.log.find("OpenGL Info : Bits: "), std::string::npos) << r.log;
  ExpectOrderlyEnd(r);
}

TEST(QuillUnderX, LostServerEndsTheProgramAtOnce2D) {
  const XRun r = RunUnderX(4, "kill");
  ASSERT_NE(r.code, -1) << "the program hung after the X server ended\n" << r.out << r.log;
  ExpectEndAtOnce(r);
}

TEST(QuillUnderX, LostServerEndsTheProgramAtOnceOpenGL) {
  const XRun r = RunUnderX(6, "kill");
  ASSERT_NE(r.code, -1) << "the program hung after the X server ended\n" << r.out << r.log;
  EXPECT_NE(r.log.find("OpenGL Info : Bits: "), std::string::npos) << r.log;
  ExpectEndAtOnce(r);
}

// A fatal fault while the game runs: the SDL error box (a process SDL forks
// on X11) does not outlive a SIGKILL of the game.
TEST(QuillUnderX, FatalBoxEndsWithAKilledGame) {
  const XRun r = RunUnderX(4, "boxkill");
  ASSERT_EQ(r.result.find("no box"), std::string::npos) << r.out << r.log;
  EXPECT_NE(r.result.find("box gone"), std::string::npos) << r.result << r.out << r.log;
  EXPECT_NE(r.log.find("Fatal Exception"), std::string::npos) << r.log;
}
