// The whole program in OpenGL mode: under Xvfb (GLX on Mesa) the title page
// drawn by the GL frame must match the 2D renderer's; without a GL backend
// (the headless run) the program says why and goes on in 2D.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/pngfile.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

std::string FileText(const char* name) {
  auto bytes = qoe_test::ReadFileBytes(name);
  return std::string(bytes.begin(), bytes.end());
}

int RunCommand(const std::string& cmd) {
  const int status = std::system(cmd.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool WriteText(const char* name, const std::string& text) {
  return qoe_test::WriteFileBytes(name, std::vector<uint8_t>(text.begin(), text.end()));
}

// Copies the data kit and finds the program; empty when it is not built.
std::string Prepare() {
  std::string bin = qoe_test::BinaryDir() + "/quill", kit = qoe_test::BinaryDir() + "/datakit";
  if (!fs::exists(bin) || !fs::exists(kit)) return "";
  fs::copy(kit, ".", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  return bin;
}

// The 2D renderer's title page (800 x 600, headless), for comparison.
bool Headless2D(const std::string& bin, int mode, const char* png) {
  std::string script = std::string("wait 400\npng ") + png + "\nkey esc\n";
  if (!WriteText("run.txt", script)) return false;
  return RunCommand("QOE_HEADLESS_SCRIPT=run.txt QOE_HEADLESS_MODE=" + std::to_string(mode) + " " + bin + " 2>err.txt") == 0;
}

// Under Xvfb: the program in row 6 (800 x 600 x 32, OpenGL, windowed) plays
// the script "shown": once the game waits in the title's first box, the
// window loop shows a frame begun after that and the X server takes it; the
// program logs so. Then the 800 x 600 window's place on the screen is
// grabbed and the close signal ends the program in order. Each wait is on
// what the program or the server reports, bounded by minutes: a busy machine
// only makes it slower. (The screen is grabbed: a grab of the GL window
// itself comes through its DirectColor visual with red and blue exchanged.)
const char kXvfbScript[] = R"SH(#!/bin/sh
unset QOE_HEADLESS_SCRIPT SDL_VIDEODRIVER SDL_RENDER_DRIVER
# Under the address checker: libGL, GLX and D-Bus keep memory to the end; the
# program's own blocks are counted in its log instead.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
printf 'shown\nwait 600000\n' >run.txt
QOE_SDL_SCRIPT=run.txt QOE_HEADLESS_MODE=6 QOE_DRAWN_TEXTS=texts.bin "$1" >out.txt 2>&1 &
pid=$!
i=0
until LC_ALL=C grep -q "^SDL-Skript: Das Fenster zeigt das Bild (1.)" Quill.dbg 2>/dev/null; do
  kill -0 $pid 2>/dev/null || { echo "the program ended before its window showed the title" >>out.txt; exit 2; }
  i=$((i + 1))
  [ $i -gt 4000 ] && { echo "no frame shown in 400 s" >>out.txt; kill -9 $pid; exit 2; }
  sleep 0.1
done
geometry=""
for w in $(xdotool search --onlyvisible --name "Quill of Elmor" 2>/dev/null); do
  eval "$(xdotool getwindowgeometry --shell "$w" 2>/dev/null)"
  [ "$WIDTH" = 800 ] && [ "$HEIGHT" = 600 ] && { geometry="$X $Y"; break; }
done
[ -z "$geometry" ] && { echo "no 800 x 600 window" >>out.txt; kill -9 $pid; exit 2; }
xwd -root -silent | xwdtopnm | pnmcut $geometry 800 600 | pnmtopng >gl.png ||
  { echo "no grab" >>out.txt; kill -9 $pid; exit 2; }
kill -TERM $pid
i=0
while kill -0 $pid 2>/dev/null && [ $i -lt 3000 ]; do i=$((i + 1)); sleep 0.1; done
kill -0 $pid 2>/dev/null && { echo "the program did not end in 300 s after the close signal" >>out.txt; kill -9 $pid; }
wait $pid
)SH";

}  // namespace

TEST(QuillProgramGL, UnderXvfbTheTitleDrawnByGLMatchesThe2DRenderer) {
  const std::string bin = Prepare();
  ASSERT_FALSE(bin.empty()) << "quill or the data kit not built";
  ASSERT_TRUE(Headless2D(bin, 4, "ref.png")) << FileText("err.txt");
  ASSERT_TRUE(WriteText("xrun.sh", kXvfbScript));
  // A display of its own (-displayfd): xvfb-run -a can hand two runs side
  // by side the same display number, and the grab then shows the other's window.
  ASSERT_TRUE(WriteText("owndisplay.sh", R"SH(
rm -f display.txt
Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp 5>display.txt 2>xvfb.err &
xpid=$!
i=0
until [ -s display.txt ]; do
  kill -0 $xpid 2>/dev/null && [ $i -lt 1200 ] || { echo "no display"; kill $xpid; exit 97; }
  i=$((i + 1))
  sleep 0.1
done
export DISPLAY=":$(cat display.txt)"
sh xrun.sh "$1"
code=$?
kill $xpid
wait $xpid 2>/dev/null
exit $code
)SH"));
  const int code = RunCommand("timeout -s KILL 560 sh owndisplay.sh " + bin + " >xvfb.txt 2>&1");
  const std::string whole_log = FileText("Quill.dbg");
  ASSERT_EQ(code, 0) << FileText("out.txt") << FileText("xvfb.txt") << whole_log;
  // The log of the OpenGL run (the headless one came first).
  const size_t run = whole_log.find("ScreenModus: Modus 6: 800x600x32, OpenGL, Fenster");
  ASSERT_NE(run, std::string::npos) << whole_log;
  const std::string log = whole_log.substr(run);
  // The frame was shown once the title's first box was drawn.
  const size_t box = FileText("texts.bin").find(std::string("Debug-Version!") + '\0');
  EXPECT_NE(box, std::string::npos) << "the title's first box was not drawn";
  EXPECT_NE(log.find("OpenGL Info : Bits: "), std::string::npos) << log;
  EXPECT_EQ(log.find("(GL) Can't"), std::string::npos) << log;
  // The engine started once on the window thread, before the game's title
  // (no map exists on the title page, and nothing waited for one).
  size_t at = log.find("OpenGL Info");
  for (int i = 1; i <= 7; i++) {
    const std::string line = "StartEngine " + std::to_string(i) + "\n";
    const size_t found = log.find(line, at);
    ASSERT_NE(found, std::string::npos) << line << log;
    EXPECT_EQ(log.find(line, found + 1), std::string::npos) << line;
    at = found;
  }
  // Every block the program allocated went back.
  const size_t counts = log.find("ShutdownSystem: AllocVec ");
  ASSERT_NE(counts, std::string::npos) << log;
  unsigned allocs = 0, frees = 0;
  ASSERT_EQ(std::sscanf(log.c_str() + counts, "ShutdownSystem: AllocVec %u mal, FreeVec %u mal", &allocs, &frees), 2);
  EXPECT_EQ(allocs, frees);

  std::vector<uint32_t> ref, gl;
  uint32_t rw = 0, rh = 0, gw = 0, gh = 0;
  ASSERT_EQ(ReadPngRGB("ref.png", &ref, &rw, &rh), 1);
  ASSERT_EQ(ReadPngRGB("gl.png", &gl, &gw, &gh), 1);
  ASSERT_EQ(gw, rw);
  ASSERT_EQ(gh, rh);
  // The same picture at the same place; a few pixels may differ (a grab
  // between two frames), none by much on average. The title's waterfall
  // movie (96 x 128 at 432, 319 of the game area) plays only in 2D.
  uint64_t off = 0, total = 0;
  for (size_t i = 0; i < ref.size(); i++) {
    const size_t x = i % rw, y = i / rw;
    if (x >= 80 + 432 && x < 80 + 432 + 96 && y >= 60 + 319 && y < 60 + 319 + 128) continue;
    int d = 0;
    for (int s = 0; s < 24; s += 8) d += std::abs(int((ref[i] >> s) & 0xFF) - int((gl[i] >> s) & 0xFF));
    total += uint64_t(d);
    if (d > 6) off++;
  }
  EXPECT_LT(off, ref.size() / 200) << "pixels that differ";
  EXPECT_LT(double(total) / double(ref.size()), 1.0) << "mean difference";
  // The page is really there: the game area's centre is not the black border.
  EXPECT_NE(gl[300 * gw + 400], 0u);
  EXPECT_EQ(gl[5 * gw + 5], 0u);
}

TEST(QuillProgramGL, WithoutAGLContextTheGameRunsIn2DAndSaysWhy) {
  const std::string bin = Prepare();
  ASSERT_FALSE(bin.empty()) << "quill or the data kit not built";
  ASSERT_TRUE(Headless2D(bin, 6, "shot.png")) << FileText("err.txt");  // 800x600x32 OpenGL windowed
  const std::string err = FileText("err.txt"), log = FileText("Quill.dbg");
  EXPECT_NE(err.find("ERROR: (GL) Can't Create A GL Device Context."), std::string::npos) << err;
  EXPECT_NE(log.find("main: Kein OpenGL, es laeuft die 2D-Darstellung"), std::string::npos) << log;
  std::vector<uint32_t> px;
  uint32_t w = 0, h = 0;
  ASSERT_EQ(ReadPngRGB("shot.png", &px, &w, &h), 1);
  ASSERT_EQ(w * h, 800u * 600u);
  EXPECT_NE(px[300 * w + 400], 0u);  // the title page, drawn in 2D
}
