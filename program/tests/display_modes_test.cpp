// The display modes as a player sees them, on the demo realm: OpenGL full
// screen on a virtual X screen (Xvfb, on a free display number) of another
// size in both directions shows the whole mode scaled to the screen and the
// pointer lands on what it points at; the backdrop of the screens before the
// first map visit is the map with its frame and panels, as after a visit, in
// 2D and OpenGL. The 2D pictures are the game's own PNGs (headless, virtual
// clock), the OpenGL ones grabs of the virtual screen (xwd), taken until
// two in a row show what is asked (four minutes at most).
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "demo_realm.h"
#include "platform/pngfile.h"
#include "tests/support/test_support.h"
#include "tests/support/virtual_screen.h"

namespace fs = std::filesystem;

namespace {

using qoe_test::SpawnChild;
using qoe_test::VirtualScreen;
using qoe_test::WaitChild;

struct Picture {
  std::vector<uint32_t> px;
  uint32_t w = 0, h = 0;
  uint32_t At(int32_t x, int32_t y) const { return px[size_t(y) * w + size_t(x)] & 0xFFFFFF; }
};

bool ReadPicture(const std::string& png, Picture* p) {
  return ReadPngRGB(png.c_str(), &p->px, &p->w, &p->h) == 1 && p->w && p->h;
}

bool WriteText(const std::string& name, const std::string& text) {
  return qoe_test::WriteFileBytes(name, std::vector<uint8_t>(text.begin(), text.end()));
}

std::string FileText(const std::string& name) {
  auto bytes = qoe_test::ReadFileBytes(name);
  return std::string(bytes.begin(), bytes.end());
}

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// The whole virtual screen as it shows.
bool Grab(const VirtualScreen& screen, const std::string& png, Picture* p) {
  const std::string cmd = "xwd -root -silent -display " + screen.Display() +
                          " 2>/dev/null | xwdtopnm 2>/dev/null | pnmtopng >" + png + " 2>/dev/null";
  return std::system(cmd.c_str()) == 0 && ReadPicture(png, p);
}

// The program on a virtual screen in a mode, started at a screen (0: the
// title), until Stop (the close signal ends it in order).
class WindowRun {
 public:
  ~WindowRun() {
    if (pid_ > 0) Stop();
  }
  void Start(const std::string& bin, const VirtualScreen& screen, uint32_t mode, int32_t start_screen) {
    ASSERT_TRUE(WriteText("run.txt", "wait 600000\nquit\n"));
    std::vector<std::string> env = {"DISPLAY=" + screen.Display(), "SDL_VIDEODRIVER", "SDL_RENDER_DRIVER",
                                    "QOE_HEADLESS_SCRIPT", "SDL_AUDIODRIVER=dummy", "QOE_SDL_SCRIPT=run.txt",
                                    "QOE_HEADLESS_MODE=" + std::to_string(mode), "QOE_DRAWN_TEXTS=texts.bin",
                                    // libGL and GLX keep memory to the end; the log counts the program's own.
                                    "ASAN_OPTIONS=" + std::string(std::getenv("ASAN_OPTIONS") ? std::getenv("ASAN_OPTIONS") : "") +
                                        ":detect_leaks=0"};
    if (start_screen) {
      env.push_back("QOE_START_SCREEN=" + std::to_string(start_screen));
      env.push_back("QOE_PIN_SCREEN=1");
    }
    pid_ = SpawnChild({bin}, env, "", "out.txt");
    ASSERT_GT(pid_, 0);
  }
  // Ends the program with the close signal (when it still runs); its exit
  // code, -1 when it had to be killed.
  int Stop() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      code_ = WaitChild(pid_, 300);
      pid_ = -1;
    }
    return code_;
  }
  bool Running() const {
    if (pid_ <= 0) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) != pid_) return true;
    code_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    pid_ = -1;
    return false;
  }

 private:
  mutable pid_t pid_ = -1;
  mutable int code_ = -1;
};

// What GrabUntil saw: whether the picture matched, the last grab's score
// and how many grabs it took.
struct Grabbed {
  bool matched = false;
  double last = -1;
  int grabs = 0;
};

std::ostream& operator<<(std::ostream& os, const Grabbed& g) {
  return os << (g.matched ? "matched" : "did not match") << " after " << g.grabs << " grabs, the last scoring " << g.last;
}

// Grabs the screen until two grabs in a row, a second apart, score at least
// `least` (the picture stands as asked, not only passes through it); four
// minutes at most, or until the program ends. The last grab stays in png.
Grabbed GrabUntil(const VirtualScreen& screen, const WindowRun& run, const std::string& png,
                  const std::function<double(const Picture&)>& score, double least) {
  Grabbed g;
  const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(4);
  bool passed = false;
  while (std::chrono::steady_clock::now() < end && run.Running()) {
    Picture p;
    g.grabs++;
    g.last = Grab(screen, png, &p) ? score(p) : -1;
    if (g.last >= least && passed) {
      g.matched = true;
      return g;
    }
    passed = g.last >= least;
    Sleep(passed ? 1000 : 500);
  }
  return g;
}

// Runs step until done() holds, four minutes at most; whether it did.
bool RepeatUntil(const std::function<void()>& step, const std::function<bool()>& done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(4);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    step();
    Sleep(500);
  }
  return true;
}

// A headless run of the program (virtual clock) with a script, started at a
// screen (0: the title), pinned there or not; 0 on success.
int RunHeadless(const std::string& bin, uint32_t mode, int32_t start_screen, const std::string& script,
                bool pinned = true) {
  if (!WriteText("headless.txt", script)) return -1;
  std::string cmd = "timeout -s KILL 300 env QOE_HEADLESS_SCRIPT=headless.txt QOE_HEADLESS_MODE=" + std::to_string(mode);
  if (start_screen) cmd += " QOE_START_SCREEN=" + std::to_string(start_screen);
  if (start_screen && pinned) cmd += " QOE_PIN_SCREEN=1";
  cmd += " '" + bin + "' >headless_out.txt 2>&1";
  const int status = std::system(cmd.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The game area's place on a display of w x h.
void AreaOffset(uint32_t w, uint32_t h, int32_t* x, int32_t* y) {
  *x = (int32_t(w) - 640) / 2;
  *y = (int32_t(h) - 480) / 2 - 30;
}

// Share of the game area's pixels (outside the rectangles left out, in game
// coordinates) that a grab of the screen shows as the mode's picture does:
// screen pixel d shows the mode's pixel floor((d + 1/2) * mode / screen)
// (both of 4 : 3, the mode fills the screen).
double AreaMatch(const Picture& grab, const Picture& mode, const std::vector<std::array<int32_t, 4>>& left_out) {
  int32_t ox, oy;
  AreaOffset(mode.w, mode.h, &ox, &oy);
  if (grab.w == 0 || grab.h == 0) return 0;
  uint64_t n = 0, same = 0;
  for (uint32_t y = 0; y < grab.h; y++) {
    const int32_t fy = int32_t((2 * uint64_t(y) + 1) * mode.h / (2 * uint64_t(grab.h)));
    const int32_t gy = fy - oy;
    if (gy < 0 || gy >= 480) continue;
    for (uint32_t x = 0; x < grab.w; x++) {
      const int32_t fx = int32_t((2 * uint64_t(x) + 1) * mode.w / (2 * uint64_t(grab.w)));
      const int32_t gx = fx - ox;
      if (gx < 0 || gx >= 640) continue;
      bool skip = false;
      for (const auto& r : left_out) skip = skip || (gx >= r[0] && gx < r[0] + r[2] && gy >= r[1] && gy < r[1] + r[3]);
      if (skip) continue;
      n++;
      if (grab.At(int32_t(x), int32_t(y)) == mode.At(fx, fy)) same++;
    }
  }
  return n ? double(same) / double(n) : 0;
}

// The main screen's pictures that move or follow the pointer: its two
// movies and its title bar (game coordinates).
const std::vector<std::array<int32_t, 4>> kMainMoving = {{512, 70, 112, 104}, {480, 252, 136, 104}, {200, 11, 242, 16}};

struct FullScreenCase {
  uint32_t mode;       // OpenGL full screen
  uint32_t twin;       // the 2D window of its size
  uint32_t screen_w, screen_h;
  const char* name;
};

class FullScreenOpenGL : public testing::TestWithParam<FullScreenCase> {};

}  // namespace

// The mode's picture fills the screen (the main screen's game area as the
// 2D renderer draws it, scaled), and the pointer over the main screen's map
// names the map in the title bar.
TEST_P(FullScreenOpenGL, FillsAScreenOfAnotherSizeAndThePointerLandsWhereItPoints) {
  const FullScreenCase& c = GetParam();
  std::string bin;
  qoe_test::InstallDemoRealmHere(&bin);
  ASSERT_EQ(RunHeadless(bin, c.twin, 2, "wait 3000\npng mode.png\nquit\n"), 0) << FileText("headless_out.txt");
  Picture mode;
  ASSERT_TRUE(ReadPicture("mode.png", &mode));
  VirtualScreen screen;
  ASSERT_TRUE(screen.Start(c.screen_w, c.screen_h)) << FileText("xvfb.txt");
  WindowRun run;
  run.Start(bin, screen, c.mode, 2);
  const std::string png = std::string("fullscreen_gl_") + c.name + ".png";
  const Grabbed match = GrabUntil(
      screen, run, png, [&](const Picture& g) { return g.w == c.screen_w ? AreaMatch(g, mode, kMainMoving) : 0.0; },
      0.95);
  EXPECT_TRUE(match.matched) << match << "\n" << FileText("Quill.dbg").substr(0, 3000);
  EXPECT_TRUE(qoe_test::KeepPng(png));
  // The centre of the map's gadget (262, 44)-(378, 170) on the screen.
  int32_t ox, oy;
  AreaOffset(mode.w, mode.h, &ox, &oy);
  const int32_t sx = int32_t((int64_t(ox) + 320) * c.screen_w / mode.w);
  const int32_t sy = int32_t((int64_t(oy) + 107) * c.screen_h / mode.h);
  int moves = 0;
  const bool named = RepeatUntil([&] { screen.PointerTo(sx + (moves++ & 1), sy); },
                                 [&] {
                                   return !run.Running() ||
                                          FileText("texts.bin").find(std::string("the map") + '\0') != std::string::npos;
                                 }) &&
                     run.Running();
  EXPECT_TRUE(named) << "pointer at " << sx << ", " << sy << ", " << moves << " moves";
  EXPECT_EQ(run.Stop(), 0) << FileText("out.txt");
}

INSTANTIATE_TEST_SUITE_P(Screens, FullScreenOpenGL,
                         testing::Values(FullScreenCase{11, 8, 800, 600, "1024x768_on_800x600"},
                                         FullScreenCase{7, 4, 1024, 768, "800x600_on_1024x768"}),
                         [](const testing::TestParamInfo<FullScreenCase>& i) { return std::string(i.param.name); });

namespace {

// Share of the pixels of the rectangles (display coordinates) that two
// pictures of one size show alike.
double RectsMatch(const Picture& a, const Picture& b, const std::vector<std::array<int32_t, 4>>& rects,
                  const std::array<int32_t, 4>* hole = nullptr) {
  if (a.w != b.w || a.h != b.h) return 0;
  uint64_t n = 0, same = 0;
  for (const auto& r : rects)
    for (int32_t y = r[1]; y < r[1] + r[3]; y++)
      for (int32_t x = r[0]; x < r[0] + r[2]; x++) {
        if (x < 0 || y < 0 || x >= int32_t(a.w) || y >= int32_t(a.h)) continue;
        if (hole && x >= (*hole)[0] && x < (*hole)[0] + (*hole)[2] && y >= (*hole)[1] && y < (*hole)[1] + (*hole)[3])
          continue;
        n++;
        if (a.At(x, y) == b.At(x, y)) same++;
      }
  return n ? double(same) / double(n) : 0;
}

// What the map draws round the other screens' area on a display of w x h
// that no landscape or map shows through: the frame 1142 round the game
// area (the area itself the hole), the top rail and the corner panel 1151
// with the clicked hex's tile.
void BackdropParts(uint32_t w, uint32_t h, std::vector<std::array<int32_t, 4>>* rects, std::array<int32_t, 4>* hole) {
  const int32_t W = int32_t(w), H = int32_t(h);
  int32_t ox, oy;
  AreaOffset(w, h, &ox, &oy);
  *rects = {{(W - 700) / 2, (H - 538) / 2 - 30, 700, 538}, {32, 0, W - 64, 16}, {W - 164, H - 152, 164, 152}};
  *hole = {ox, oy, 640, 480};
}

// The main screen on the map built in advance (nothing visited yet) and
// after a visit of the map and back, on the 2D renderer (the game's PNGs,
// 1024 x 768 x 32); the log says the map was shown.
void MainScreenBeforeAndAfterAVisit(const std::string& bin) {
  ASSERT_EQ(RunHeadless(bin, 8, 2,
                        "wait 3000\npng before.png\nmove 512 221\nclick left 512 221\nwait 5000\nmove 512 384\n"
                        "wait 500\nkey esc\nwait 3000\npng after.png\nquit\n",
                        false),
            0)
      << FileText("headless_out.txt");
  ASSERT_NE(FileText("Quill.dbg").find("LetzRun 1"), std::string::npos) << "the map was not shown";
}

enum class Renderer { k2D, kOpenGL };

class Backdrop : public testing::TestWithParam<Renderer> {};

}  // namespace

// Before the first map visit the screens stand on the map built in advance
// with its frame and panels, as after a visit: in 2D the whole display round
// the game area as after the visit; in OpenGL (1024 x 768 full screen on a
// screen of that size) the frame 1142, the top rail and the corner panel as
// the 2D renderer draws them, over the landscape.
TEST_P(Backdrop, BeforeTheFirstMapVisitIsTheMapsAsAfterIt) {
  std::string bin;
  qoe_test::InstallDemoRealmHere(&bin);
  MainScreenBeforeAndAfterAVisit(bin);
  Picture before, after;
  ASSERT_TRUE(ReadPicture("before.png", &before));
  ASSERT_TRUE(ReadPicture("after.png", &after));
  ASSERT_EQ(after.w, 1024u);
  std::vector<std::array<int32_t, 4>> parts;
  std::array<int32_t, 4> hole;
  BackdropParts(after.w, after.h, &parts, &hole);
  if (GetParam() == Renderer::k2D) {
    fs::copy_file("before.png", "backdrop_2d_before_visit.png", fs::copy_options::overwrite_existing);
    EXPECT_TRUE(qoe_test::KeepPng("backdrop_2d_before_visit.png"));
    // Round the game area: the map, its frame and panels, as after the visit.
    const std::vector<std::array<int32_t, 4>> all = {{0, 0, int32_t(after.w), int32_t(after.h)}};
    EXPECT_GE(RectsMatch(before, after, all, &hole), 0.99);
    uint64_t black = 0, n = 0;
    for (uint32_t y = 0; y < after.h; y++)
      for (uint32_t x = 0; x < after.w; x++, n++) black += after.At(int32_t(x), int32_t(y)) == 0;
    EXPECT_LT(double(black) / double(n), 0.5) << "the display after the visit is black";
    return;
  }
  VirtualScreen screen;
  ASSERT_TRUE(screen.Start(1024, 768)) << FileText("xvfb.txt");
  WindowRun run;
  run.Start(bin, screen, 11, 2);
  const Grabbed match = GrabUntil(
      screen, run, "backdrop_gl_before_visit.png",
      [&](const Picture& g) { return RectsMatch(g, after, parts, &hole); }, 0.9);
  EXPECT_TRUE(match.matched) << match;
  EXPECT_TRUE(qoe_test::KeepPng("backdrop_gl_before_visit.png"));
  EXPECT_EQ(run.Stop(), 0) << FileText("out.txt");
}

INSTANTIATE_TEST_SUITE_P(Renderers, Backdrop, testing::Values(Renderer::k2D, Renderer::kOpenGL),
                         [](const testing::TestParamInfo<Renderer>& i) {
                           return i.param == Renderer::k2D ? std::string("TwoD") : std::string("OpenGL");
                         });

namespace {

// The data kit with the demo realm the start command installs, its title
// picture gone; the program.
void InstallDemoWithoutTitlePicture(std::string* bin) {
  *bin = qoe_test::BinaryDir() + "/quill";
  const std::string builder = qoe_test::BinaryDir() + "/tools/turnbuilder/turnbuilder";
  QOE_REQUIRE_BUILT(*bin);
  QOE_REQUIRE_BUILT(builder);
  QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit/Gfx/Pic0001.ilbm");
  fs::copy(qoe_test::BinaryDir() + "/datakit", ".", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  const std::string install =
      builder + " install " + qoe_test::SourceDir() + "/tools/turnbuilder/realms/demo.realm --dir . >tb.txt 2>&1";
  ASSERT_EQ(std::system(install.c_str()), 0) << FileText("tb.txt");
  ASSERT_TRUE(fs::remove("Gfx/Pic0001.ilbm"));
}

}  // namespace

// With a game installed the title's failure box shows in OpenGL too (the
// map built in advance held the screen's picture unshown): over the
// landscape as the 2D renderer draws it over its black, and Enter ends the
// game. (The 2D rows: ScreenStartFailure's FirstScreenFails.)
TEST(StartFailureBox, ShowsInOpenGLWithAGameInstalled) {
  std::string bin;
  InstallDemoWithoutTitlePicture(&bin);
  ASSERT_EQ(RunHeadless(bin, 8, 0, "wait 3000\npng box.png\nkey enter\nwait 1000\n"), 0)
      << FileText("headless_out.txt");
  Picture box;
  ASSERT_TRUE(ReadPicture("box.png", &box));
  int32_t ox, oy;
  AreaOffset(box.w, box.h, &ox, &oy);
  const std::vector<std::array<int32_t, 4>> rect = {{ox + 168, oy + 180, 304, 124}};
  // The 2D renderer shows the box (its parchment, not the black round it).
  uint64_t lit = 0;
  for (int32_t y = oy + 180; y < oy + 304; y++)
    for (int32_t x = ox + 168; x < ox + 472; x++) lit += box.At(x, y) != 0;
  ASSERT_GE(double(lit) / (304.0 * 124.0), 0.9) << "the 2D renderer shows no box";
  VirtualScreen screen;
  ASSERT_TRUE(screen.Start(1024, 768)) << FileText("xvfb.txt");
  WindowRun run;
  run.Start(bin, screen, 11, 0);
  const Grabbed match = GrabUntil(
      screen, run, "startfail_gl_installed.png", [&](const Picture& g) { return RectsMatch(g, box, rect); }, 0.9);
  EXPECT_TRUE(match.matched) << match;
  EXPECT_TRUE(qoe_test::KeepPng("startfail_gl_installed.png"));
  EXPECT_NE(FileText("Quill.dbg").find("TitelScreen: Konnte Pic nicht laden!"), std::string::npos);
  const std::string enter = "DISPLAY=" + screen.Display() + " xdotool key Return";
  EXPECT_TRUE(RepeatUntil([&] { (void)!std::system(enter.c_str()); }, [&] { return !run.Running(); }))
      << "Enter did not end the game";
  EXPECT_EQ(run.Stop(), 0) << FileText("out.txt");
}
