// Clicks on the map in each OpenGL mode, on the demo realm scrolled as a
// player scrolls it (nine steps right and six up from the capital, where the
// scout stands on the dungeon's entrance): a click on a hex's drawn ground
// selects that hex, and a click on a figure's drawn body selects the hex the
// figure stands on, also where the body stands over the ground of the hex
// behind it. 800 x 600 and 1024 x 768 show the 3D landscape: the hexes'
// ground points are projected through the camera the frame drew with, and
// the figures' bodies are read back from drawn frames (the pixels that
// change when the figure is taken away, in every pose of a whole cycle of
// the clock). 640 x 480 x 8 keeps the 2D map: each hex is clicked where its
// tile is drawn. The windows are clicked in this process; a full screen on a
// virtual X screen of another size runs the whole program (Xvfb on a free
// display number) and is clicked with the X pointer where the scaled picture
// shows the same points.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/framefit.h"
#include "platform/pngfile.h"
#include "routinen/graphics_lowlevel_3d/gl3d_internal.h"
#include "routinen/graphics_lowlevel_3d/tests/map/map_gl_visit.h"
#include "routinen/map/map.h"
#include "routinen/map/mapscreen.h"
#include "tests/support/test_support.h"
#include "tests/support/virtual_screen.h"

namespace {

using qoe_test::EndChild;
using qoe_test::SpawnChild;
using qoe_test::VirtualScreen;

struct PickMode {
  uint32_t mode;  // ScreenModeTable row (OpenGL)
  uint32_t w, h;
  uint32_t window;  // the window row of the same size (the in-process part)
  uint32_t screen_w, screen_h;  // full screen: the virtual screen's size (0: a window)
  const char* name;
};

// A world hex.
struct Hex {
  int32_t x, y;
  bool operator==(const Hex& o) const { return x == o.x && y == o.y; }
};

// The scout on the dungeon's entrance and Gunhild's infantry north-west of
// it (tools/turnbuilder/realms/demo.realm).
constexpr Hex kScout{6418, 3191}, kInfantry{6416, 3189};

// A click and the hex it must select.
struct ClickCase {
  int32_t x, y;
  Hex want;
  std::string what;
};

class MapPickGL : public testing::TestWithParam<PickMode> {
 protected:
  void SetUp() override { map_gl::OpenDemoMap(GetParam().window, &opened_); }
  void TearDown() override { map_gl::CloseDemoMap(opened_); }
  bool opened_ = false;
};

int32_t PixelX(float gl_x, uint32_t w) { return int32_t(std::lround((gl_x + 1.0f) / 2.0f * float(w) - 0.5f)); }
int32_t PixelY(float gl_y, uint32_t h) { return int32_t(std::lround((1.0f - gl_y) / 2.0f * float(h) - 0.5f)); }

int32_t Wrap(int32_t v, int32_t size) { return ((v % size) + size) % size; }

// The world hex of a hex of the window of map parts, and back.
Hex WorldOf(const QoEMapInfo* map, int32_t column, int32_t row) {
  return {Wrap(map->X + column - map->ViewColumn, kWorldColumns), Wrap(map->Y + row - map->ViewRow, kWorldRows)};
}

// The hex the last click selected.
Hex Selected(const QoEMapInfo* map) {
  return WorldOf(map, map->ViewColumn + KartenScreenData->X_Pos, map->ViewRow + KartenScreenData->Y_Pos);
}

// The cells of the last landscape, as the frame projected them.
std::vector<MapPick> DrawnCells() {
  std::lock_guard<std::mutex> hold(GL3D().pick_lock);
  return std::vector<MapPick>(GL3D().picks, GL3D().picks + GL3D().pick_count);
}

const MapPick* CellOf(const std::vector<MapPick>& cells, const QoEMapInfo* map, Hex hex) {
  for (const MapPick& p : cells)
    if (WorldOf(map, p.column, p.row) == hex) return &p;
  return nullptr;
}

// Moves the figure standing on hex `at` to world column x (12,800 stands on
// no hex), under the map lock, as the frame reads the list.
void MoveFigure(QoEMapInfo* map, Hex at, uint32_t x) {
  LockMapRecord();
  const uint32_t n = MapFigurCount(map->Figures);
  for (uint32_t i = 0; i < n; i++) {
    MapFigur* f = MapFigurAt(map->Figures, i);
    if (f->Y == uint32_t(at.y) && (f->X == uint32_t(at.x) || f->X == uint32_t(kWorldColumns))) f->X = x;
  }
  UnlockMapRecord();
}

// Whether display pixel (x, y) lies inside a cell's projected outline, by
// at least `margin` pixels.
bool InsideOutline(const MapPick& p, int32_t x, int32_t y, uint32_t w, uint32_t h, float margin) {
  float cx[6], cy[6];
  for (int k = 0; k < 6; k++) {
    cx[k] = (p.outline[k][0] + 1.0f) / 2.0f * float(w) - 0.5f;
    cy[k] = (1.0f - p.outline[k][1]) / 2.0f * float(h) - 0.5f;
  }
  // A convex outline: the pixel on the inner side of every edge.
  float sign = 0.0f;
  for (int k = 0; k < 6; k++) {
    const int j = (k + 1) % 6;
    const float ex = cx[j] - cx[k], ey = cy[j] - cy[k], len = std::hypot(ex, ey);
    if (len <= 0.0f) continue;
    const float d = (ex * (float(y) - cy[k]) - ey * (float(x) - cx[k])) / len;
    if (sign == 0.0f) sign = d >= 0.0f ? 1.0f : -1.0f;
    if (d * sign < margin) return false;
  }
  return true;
}

// The pixels of a figure's drawn body: those that differ between the frame
// with it and the frame without it, connected to the one nearest its hex's
// centre (x, y), within a box round it.
std::vector<uint8_t> BodyPixels(const std::vector<uint32_t>& with, const std::vector<uint32_t>& without, uint32_t w,
                                uint32_t h, int32_t x, int32_t y) {
  std::vector<uint8_t> body(size_t(w) * h, 0);
  auto differs = [&](int32_t px, int32_t py) {
    return px >= 0 && py >= 0 && px < int32_t(w) && py < int32_t(h) && std::abs(px - x) < 120 &&
           std::abs(py - y) < 160 && with[size_t(py) * w + size_t(px)] != without[size_t(py) * w + size_t(px)];
  };
  int32_t sx = -1, sy = -1, best = 30 * 30;
  for (int32_t dy = -30; dy <= 30; dy++)
    for (int32_t dx = -30; dx <= 30; dx++)
      if (differs(x + dx, y + dy) && dx * dx + dy * dy < best) best = dx * dx + dy * dy, sx = x + dx, sy = y + dy;
  if (sx < 0) return body;
  std::vector<std::pair<int32_t, int32_t>> todo{{sx, sy}};
  body[size_t(sy) * w + size_t(sx)] = 1;
  while (!todo.empty()) {
    const auto [px, py] = todo.back();
    todo.pop_back();
    for (int32_t dy = -1; dy <= 1; dy++)
      for (int32_t dx = -1; dx <= 1; dx++) {
        const int32_t nx = px + dx, ny = py + dy;
        if (!differs(nx, ny) || body[size_t(ny) * w + size_t(nx)]) continue;
        body[size_t(ny) * w + size_t(nx)] = 1;
        todo.push_back({nx, ny});
      }
  }
  return body;
}

// A frame with the figures' bodies marked in red, to look at.
void KeepBodies(const std::string& png, std::vector<uint32_t> frame, const std::vector<std::vector<uint8_t>>& bodies,
                uint32_t w, uint32_t h) {
  for (const auto& b : bodies)
    for (size_t i = 0; i < b.size(); i++)
      if (b[i]) frame[i] = 0xFF0000 | (frame[i] & 0x003F3F);
  ASSERT_EQ(WritePngRGB(png.c_str(), frame.data(), w, h), 1);
  EXPECT_TRUE(qoe_test::KeepPng(png));
}

// The 3D landscape's clicks: the ground of the hexes round the scout and of
// the infantry's hex (their centres and the points half-way to each
// corner), and the two figures' bodies where they stand over other hexes.
// A body is what every pose of a whole cycle of the clock covers; a ground
// point that only some poses cover is left out.
std::vector<ClickCase> LandscapeCases(QoEMapInfo* map, uint32_t w, uint32_t h, const std::string& tag) {
  std::vector<ClickCase> cases;
  const Hex figures[2] = {kScout, kInfantry};
  std::vector<std::vector<uint32_t>> without;
  for (const Hex& f : figures) {
    MoveFigure(map, f, kWorldColumns);
    without.push_back(map_gl::Frames(w, h, 3));
    MoveFigure(map, f, uint32_t(f.x));
  }
  // Frames over the clock's cycle (2,500 steps, two a frame); the clicks of
  // the windows meet the last of them.
  std::vector<std::vector<uint8_t>> always(2, std::vector<uint8_t>(size_t(w) * h, 1));
  std::vector<std::vector<uint8_t>> ever(2, std::vector<uint8_t>(size_t(w) * h, 0));
  std::vector<uint32_t> with;
  std::vector<MapPick> cells;
  for (uint64_t counter = 0; counter <= 1250; counter += 125) {
    E3D().frame_counter = counter;
    with = map_gl::Frames(w, h, 2);
    cells = DrawnCells();
    for (int k = 0; k < 2; k++) {
      const MapPick* on = CellOf(cells, map, figures[k]);
      EXPECT_NE(on, nullptr) << "hex " << figures[k].x << "/" << figures[k].y << " is not drawn";
      if (!on) return cases;
      const std::vector<uint8_t> body = BodyPixels(with, without[size_t(k)], w, h, PixelX(on->x, w), PixelY(on->y, h));
      for (size_t i = 0; i < body.size(); i++) {
        always[size_t(k)][i] &= body[i];
        ever[size_t(k)][i] |= body[i];
      }
    }
  }
  for (int k = 0; k < 2; k++)
    EXPECT_GT(std::count(always[size_t(k)].begin(), always[size_t(k)].end(), 1), 20)
        << "the figure on " << figures[k].x << "/" << figures[k].y << " is not drawn";
  KeepBodies("mappick_bodies_" + tag + ".png", with, always, w, h);
  auto at = [&](const std::vector<std::vector<uint8_t>>& masks, int32_t x, int32_t y) -> const Hex* {
    if (x < 0 || y < 0 || x >= int32_t(w) || y >= int32_t(h)) return nullptr;
    for (int k = 0; k < 2; k++)
      if (masks[size_t(k)][size_t(y) * w + size_t(x)]) return &figures[k];
    return nullptr;
  };
  auto add = [&](int32_t x, int32_t y, Hex want, const std::string& what) {
    if (!IsInMapArea(x, y, x, y)) return;
    const Hex* body = at(always, x, y);
    if (!body && at(ever, x, y)) return;  // a figure's pose decides
    cases.push_back({x, y, body ? *body : want, body ? what + " (under a figure)" : what});
  };
  for (const MapPick& p : cells) {
    const Hex hex = WorldOf(map, p.column, p.row);
    const bool round_scout = std::abs(hex.x - kScout.x) <= 1 && std::abs(hex.y - kScout.y) <= 1;
    if (!round_scout && !(hex == kInfantry)) continue;
    const std::string name = std::to_string(hex.x) + "/" + std::to_string(hex.y);
    add(PixelX(p.x, w), PixelY(p.y, h), hex, "the centre of " + name);
    for (int k = 0; k < 6; k++)
      add(PixelX((p.x + p.outline[k][0]) / 2.0f, w), PixelY((p.y + p.outline[k][1]) / 2.0f, h), hex,
          "half-way to corner " + std::to_string(k) + " of " + name);
  }
  // The bodies where they stand over another hex's ground (a pixel whose
  // neighbours are body too): the topmost pixel and others spread from the
  // top down.
  for (int k = 0; k < 2; k++) {
    const MapPick* own = CellOf(cells, map, figures[k]);
    const std::vector<uint8_t>& body = always[size_t(k)];
    std::vector<std::pair<int32_t, int32_t>> over;
    for (uint32_t y = 1; y + 1 < h; y++)
      for (uint32_t x = 1; x + 1 < w; x++) {
        const size_t i = size_t(y) * w + x;
        if (body[i] && body[i - 1] && body[i + 1] && body[i - w] && body[i + w] &&
            !InsideOutline(*own, int32_t(x), int32_t(y), w, h, -2.0f))
          over.push_back({int32_t(x), int32_t(y)});
      }
    EXPECT_FALSE(over.empty()) << "the figure on " << figures[k].x << "/" << figures[k].y
                               << " does not stand over another hex";
    for (size_t i = 0; i < 6 && !over.empty(); i++) {
      const auto [x, y] = over[i * (over.size() - 1) / 5];
      if (IsInMapArea(x, y, x, y))
        cases.push_back({x, y, figures[k], "the body of the figure on " + std::to_string(figures[k].x) + "/" +
                                               std::to_string(figures[k].y) + " over another hex"});
    }
  }
  return cases;
}

// The 2D map's clicks: each hex of the view at its tile's centre (the view
// shows the map bitmap's pixel (16, 28) at (ScreenX, ScreenY), tile (c, r)
// lies at (48 c, 56 r, + 28 on odd columns)), and points half-way to the
// corners of every third hex.
std::vector<ClickCase> MapCases(QoEMapInfo* map) {
  std::vector<ClickCase> cases;
  static const int32_t kHalfWay[6][2] = {{16, 0}, {8, 14}, {-8, 14}, {-16, 0}, {-8, -14}, {8, -14}};
  // The view's drawn pixels (the panel's rim begins right of them).
  auto drawn = [map](int32_t x, int32_t y) {
    return x >= map->ScreenX && y >= map->ScreenY && x < map->ScreenX + map->Width &&
           y < map->ScreenY + map->Height && IsInMapArea(x, y, x, y);
  };
  int n = 0;
  for (int32_t c = 0; c < map->Columns; c++)
    for (int32_t r = 0; r < map->Rows; r++) {
      const int32_t x = 48 * c + 32 - 16 + map->ScreenX, y = 56 * r + ((c & 1) ? 28 : 0) + 28 - 28 + map->ScreenY;
      const Hex hex = WorldOf(map, map->ViewColumn + c, map->ViewRow + r);
      const std::string name = std::to_string(hex.x) + "/" + std::to_string(hex.y);
      if (drawn(x, y)) cases.push_back({x, y, hex, "the centre of " + name});
      if (n++ % 3) continue;
      for (const auto& d : kHalfWay)
        if (drawn(x + d[0], y + d[1]))
          cases.push_back({x + d[0], y + d[1], hex, "half-way to a corner of " + name});
    }
  return cases;
}

// ---- The whole program in full screen on a virtual X screen ----

namespace fs = std::filesystem;

std::string FileText(const std::string& name) {
  const std::vector<uint8_t> bytes = qoe_test::ReadFileBytes(name);
  return std::string(bytes.begin(), bytes.end());
}

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// The demo realm installed in folder dir for the program, the kit's
// read-only folders linked, with the camera settings of this test.
void InstallProgramFolder(const std::string& dir) {
  const std::string kit = qoe_test::BinaryDir() + "/datakit";
  fs::create_directory(dir);
  for (const auto& entry : fs::directory_iterator(kit)) {
    const std::string name = entry.path().filename().string();
    const bool read_only = name == "Gfx" || name == "Sfx" || name == "Anims" || name == "Mods" || name == "bmp" ||
                           name.rfind("qoe-", 0) == 0;
    if (entry.is_directory() && read_only) fs::create_directory_symlink(entry.path(), dir + "/" + name);
    else fs::copy(entry.path(), dir + "/" + name, fs::copy_options::recursive);
  }
  const std::string install = "'" + qoe_test::BinaryDir() + "/tools/turnbuilder/turnbuilder' install '" +
                              qoe_test::SourceDir() + "/tools/turnbuilder/realms/demo.realm' --dir '" + dir +
                              "' >install_program.txt 2>&1";
  ASSERT_EQ(std::system(install.c_str()), 0) << FileText("install_program.txt");
  std::ofstream(dir + "/qoe3d.cfg", std::ios::app) << "\nEngine.AntiAlias FALSE\nMap.ActualSeason SUMMER\n";
}

// The view-relative hexes the program's map clicks selected, from its log.
std::vector<std::pair<int32_t, int32_t>> LoggedClicks(const std::string& log) {
  std::vector<std::pair<int32_t, int32_t>> out;
  const std::string key = "LDKS_MW->X_Pos ";
  for (size_t at = log.find(key); at != std::string::npos; at = log.find(key, at + 1)) {
    int x = -1, y = -1;
    if (std::sscanf(log.c_str() + at, "LDKS_MW->X_Pos %d LDKS_MW->Y_Pos %d", &x, &y) == 2) out.push_back({x, y});
  }
  return out;
}

// The program in full-screen mode m on a virtual screen of m.screen_w x
// m.screen_h, scrolled as the player scrolled; each case clicked with the X
// pointer at the window pixel that shows its frame pixel. view: the world
// position of the view the cases were made on.
void ClickInFullScreen(const PickMode& m, const std::vector<ClickCase>& cases, Hex view) {
  const std::string bin = qoe_test::BinaryDir() + "/quill";
  QOE_REQUIRE_BUILT(bin);
  InstallProgramFolder("program");
  if (testing::Test::HasFatalFailure()) return;
  std::string script = "sync\nwait 2000\nsync\n";
  for (int i = 0; i < 9; i++) script += "key d\n";
  for (int i = 0; i < 6; i++) script += "key w\n";
  script += "shown\nwait 1200000\nquit\n";
  ASSERT_TRUE(qoe_test::WriteFileBytes("program/run.txt", std::vector<uint8_t>(script.begin(), script.end())));
  VirtualScreen screen;
  ASSERT_TRUE(screen.Start(m.screen_w, m.screen_h)) << FileText("xvfb.txt");
  const char* asan = std::getenv("ASAN_OPTIONS");
  const pid_t game = SpawnChild({bin},
                           {"DISPLAY=" + screen.Display(), "SDL_VIDEODRIVER", "SDL_RENDER_DRIVER", "QOE_HEADLESS_SCRIPT",
                            "SDL_AUDIODRIVER=dummy", "QOE_SDL_SCRIPT=run.txt", "QOE_HEADLESS_MODE=" + std::to_string(m.mode),
                            "QOE_START_SCREEN=3", "QOE_PIN_SCREEN=1", "QOE_DRAWN_TEXTS=texts.bin",
                            // libGL and GLX keep memory to the end; the log counts the program's own.
                            "ASAN_OPTIONS=" + std::string(asan ? asan : "") + ":detect_leaks=0"},
                           "program", "out.txt");
  ASSERT_GT(game, 0);
  struct End {
    pid_t pid;
    ~End() { EndChild(pid, 90); }
  } end{game};
  // The script's "shown": the scrolled map is on the screen.
  bool shown = false;
  for (int i = 0; i < 3000 && !shown; i++) {
    shown = FileText("program/Quill.dbg").find("Das Fenster zeigt das Bild (1.)") != std::string::npos;
    if (!shown) Sleep(100);
  }
  ASSERT_TRUE(shown) << FileText("out.txt") << FileText("program/Quill.dbg").substr(0, 4000);
  // The program shows the view the cases were made on (its coordinates).
  const std::string texts = FileText("program/texts.bin");
  ASSERT_NE(texts.find(std::to_string(view.x) + '\0'), std::string::npos) << "the view is not at " << view.x;
  ASSERT_NE(texts.find(std::to_string(view.y) + '\0'), std::string::npos) << "the view is not at " << view.y;
  // The log writes at most five equal lines a second: the cases take their
  // hexes in turn, and a click meant for the hex the last one selected waits
  // for the next second.
  std::vector<ClickCase> order;
  std::vector<std::vector<ClickCase>> by_hex;
  for (const ClickCase& c : cases) {
    auto same = std::find_if(by_hex.begin(), by_hex.end(), [&](const auto& g) { return g[0].want == c.want; });
    if (same == by_hex.end()) by_hex.push_back({c});
    else same->push_back(c);
  }
  for (size_t i = 0; order.size() < cases.size(); i++)
    for (const auto& g : by_hex)
      if (i < g.size()) order.push_back(g[i]);
  const FrameFit fit = FitFrame(m.w, m.h, m.screen_w, m.screen_h);
  uint32_t wrong = 0, clicked = 0, lost = 0;
  Hex last{-1, -1};
  for (const ClickCase& c : order) {
    // The window pixel whose centre shows the case's frame pixel (a frame
    // pixel no window pixel shows is left out).
    const int32_t wx = fit.x + int32_t((2 * int64_t(c.x) + 1) * fit.w / (2 * int64_t(m.w)));
    const int32_t wy = fit.y + int32_t((2 * int64_t(c.y) + 1) * fit.h / (2 * int64_t(m.h)));
    int32_t fx, fy;
    WindowPointInFrame(fit, wx, wy, &fx, &fy);
    if (fx != c.x || fy != c.y) continue;
    if (c.want == last) Sleep(1100);
    const size_t before = LoggedClicks(FileText("program/Quill.dbg")).size();
    ASSERT_TRUE(screen.PointerTo(wx, wy, true)) << "xdotool";
    clicked++;
    std::vector<std::pair<int32_t, int32_t>> logged;
    for (int i = 0; i < 600 && logged.size() <= before; i++) {
      logged = LoggedClicks(FileText("program/Quill.dbg"));
      if (logged.size() <= before) Sleep(50);
    }
    if (logged.size() <= before) {
      ADD_FAILURE() << "the click at " << wx << ", " << wy << " on " << c.what << " selected no hex";
      if (++lost >= 3) break;
      continue;
    }
    const Hex got{Wrap(view.x + logged.back().first, kWorldColumns), Wrap(view.y + logged.back().second, kWorldRows)};
    last = got;
    if (got == c.want) continue;
    if (++wrong <= 12)
      ADD_FAILURE() << "a click at " << wx << ", " << wy << " (the picture's " << c.x << ", " << c.y << ") on "
                    << c.what << " selected " << got.x << "/" << got.y << ", not " << c.want.x << "/" << c.want.y;
  }
  EXPECT_GT(clicked, 20u);
  EXPECT_EQ(wrong, 0u) << "of " << clicked << " clicks";
}

TEST_P(MapPickGL, AClickSelectsTheHexDrawnUnderItAndAFiguresBodyItsOwnHex) {
  const PickMode& m = GetParam();
  const bool landscape = m.h > 480;
  if (landscape) {
    ASSERT_EQ(MapScreenPrebuild(), 1);
  }
  std::atomic<int32_t> result{99};
  std::thread game = map_gl::StartVisit(result);
  map_gl::Leave leave{game};
  // (The 8-bit map is built for the visit and keeps its status.)
  ASSERT_TRUE(landscape ? map_gl::WaitShown() : WaitGameThreadIdle(240000) != 0);
  QoEMapInfo* map = KartenScreenData->map;
  ASSERT_NE(map, nullptr);
  ASSERT_EQ(map->Bitmap == nullptr, landscape) << "the landscape is shown on the deeper displays only";
  map_gl::ScrollToTheDungeon();
  const Hex view{map->X, map->Y};
  const std::vector<ClickCase> cases = landscape ? LandscapeCases(map, m.w, m.h, m.name) : MapCases(map);
  ASSERT_GT(cases.size(), 20u);
  if (!m.screen_w) {
    uint32_t wrong = 0;
    for (const ClickCase& c : cases) {
      map_gl::Click(c.x, c.y);
      const Hex got = Selected(map);
      if (got == c.want) continue;
      if (++wrong <= 12)
        ADD_FAILURE() << "a click at " << c.x << ", " << c.y << " on " << c.what << " selected " << got.x << "/"
                      << got.y << ", not " << c.want.x << "/" << c.want.y;
    }
    EXPECT_EQ(wrong, 0u) << "of " << cases.size() << " clicks";
  }
  PostKeyMessage(kMsgKeyDown, kKeyEscape, 0, 27);
  game.join();
  EXPECT_EQ(result.load(), 2);
  if (m.screen_w) ClickInFullScreen(m, cases, view);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, MapPickGL,
    testing::Values(PickMode{2, 640, 480, 2, 0, 0, "640x480"}, PickMode{6, 800, 600, 6, 0, 0, "800x600"},
                    PickMode{10, 1024, 768, 10, 0, 0, "1024x768"},
                    PickMode{3, 640, 480, 2, 800, 600, "640x480_full_on_800x600"},
                    PickMode{7, 800, 600, 6, 1024, 768, "800x600_full_on_1024x768"},
                    PickMode{11, 1024, 768, 10, 800, 600, "1024x768_full_on_800x600"}),
    [](const testing::TestParamInfo<PickMode>& i) { return std::string(i.param.name); });

}  // namespace
