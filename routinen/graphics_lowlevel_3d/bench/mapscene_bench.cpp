// The map scene's frame on Mesa's llvmpipe (SDL offscreen driver): the data
// kit's terrain models at scale 1.0 (the high models), ten figures standing
// as characters (a fixture model where the kit has none), ten towns with
// fire and smoke, realm borders and rain; 600 frames at 800 x 600
// (BM_MapSceneFrame/6) and at 1024 x 768 (BM_MapSceneFrame/10).
//
// Counters: "p95_ms" and "mean_ms" the whole frame as the game draws it
// (GLProcessObjektList and glFinish), "finish_ms" the part of it spent in
// glFinish; "floor_ms" the floor: the final vertex and index arrays of the
// frame after it drawn once more, one glDrawElements per texture and pass,
// and "vs_floor" the frame over the floor (means); "cpu_ms" and
// "cpu_p95_ms" the engine's own work of a frame (copy and sync of the map,
// visibility, sort, copies into the VIEW, transform, projection, particles
// and fire), the same frames run with GL switched off; "draws" the
// glDrawElements calls of a frame and "in_draws_ms" the time spent in them,
// "floor_draws" the floor's calls, "points" the VIEW's points.
//
// glDrawElements is wrapped at link time (-Wl,--wrap): while a frame is
// recorded (not a timed one) every call's indices and the VIEW's points of
// its DrawView are copied aside.
//
// BM_MapSceneAtRest and BM_MovieFrameOverRestingLandscape (1024 x 768): the
// process's processor time per frame of the idle map (its camera at rest
// against moving) and of a movie frame of the main screen over the resting
// landscape (docs/gl3d-engine.md, "The idle map and the screen over the resting landscape").
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/display.h"
#include "platform/log.h"
#include "platform/screenmode.h"
#include "routinen/graphics_lowlevel_3d/gl3d_internal.h"
#include "routinen/gui/gui_internal.h"
#include "routinen/map/mapscreen.h"
#include "routinen/graphics_lowlevel_3d/tests/gl_window_parts.h"
#include "routinen/map/tests/fake_map.h"
#include "routinen/system/graphics.h"
#include "routinen/system/sysrecords.h"
#include "tools/datakit/qoe_writer.h"
#include "tests/support/bench_folder.h"

extern "C" void __real_glDrawElements(GLenum mode, GLsizei count, GLenum type, const void* indices);

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

// One texture's draws within one pass of one DrawView.
struct Group {
  uint32_t view, pass, texture;
  GLenum primitive;
  uint16_t mode;
  float point_size;
  std::vector<uint32_t> indices;
};

struct Recording {
  bool on = false;
  uint32_t view = ~0u;   // DrawView whose points were copied last
  uint32_t base = 0;     // where they start in `points`
  uint32_t draws = 0;
  double in_draws = 0;   // time spent in the driver's glDrawElements
  std::vector<VERTEX3D> points;
  std::vector<Group> groups;
  void Clear() {
    view = ~0u;
    base = draws = 0;
    in_draws = 0;
    points.clear();
    groups.clear();
  }
};

Recording g_rec;

void Record(GLenum primitive, GLsizei count, const void* indices) {
  const Engine3DState& s = E3D();
  const uint32_t view = s.passes.draws;
  if (view != g_rec.view) {
    g_rec.view = view;
    g_rec.base = uint32_t(g_rec.points.size());
    const auto* p = static_cast<const VERTEX3D*>(GetThing(THING_VPOINT3D, kThingBase));
    const int32_t n = ViewObject()->point_count;
    if (p && n > 0) g_rec.points.insert(g_rec.points.end(), p, p + n);
  }
  const uint32_t pass = s.passes.pass_count ? s.passes.pass_count - 1 : 0;
  uint16_t mode = pass < 4 ? s.passes.pass_mode[pass] : 1;
  // Particle ranges set their own mode: lines are rain, points smoke or snow.
  if (primitive == GL_LINES) mode = 5;
  if (primitive == GL_POINTS) mode = 4;
  GLint texture = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &texture);
  Group* g = nullptr;
  for (Group& h : g_rec.groups)
    if (h.view == view && h.pass == pass && h.texture == uint32_t(texture) && h.primitive == primitive &&
        h.point_size == s.point_size)
      g = &h;
  if (!g) {
    g_rec.groups.push_back(Group{view, pass, uint32_t(texture), primitive, mode, s.point_size, {}});
    g = &g_rec.groups.back();
  }
  const auto* in = static_cast<const uint32_t*>(indices);
  for (GLsizei i = 0; i < count; i++) g->indices.push_back(in[i] + g_rec.base);
  g_rec.draws++;
}

}  // namespace

extern "C" void __wrap_glDrawElements(GLenum mode, GLsizei count, GLenum type, const void* indices) {
  if (!g_rec.on) return __real_glDrawElements(mode, count, type, indices);
  if (type == GL_UNSIGNED_INT && indices) Record(mode, count, indices);
  const auto start = Clock::now();
  __real_glDrawElements(mode, count, type, indices);
  g_rec.in_draws += Since(start);
}

namespace {

// The recorded arrays drawn again: one call per texture and pass, in the
// frame's order of passes.
void DrawFloor() {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  UpdateFog();
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glInterleavedArrays(GL_T2F_C4UB_V3F, 0, g_rec.points.data());
  for (const Group& g : g_rec.groups) {
    OSSetmode(g.mode);
    if (g.primitive != GL_TRIANGLES) glPointSize(std::max(2.0f, g.point_size));
    glBindTexture(GL_TEXTURE_2D, g.texture);
    __real_glDrawElements(g.primitive, GLsizei(g.indices.size()), GL_UNSIGNED_INT, g.indices.data());
  }
}

void CloseWindow() { gltest::CloseGLWindowParts(); }

bool OpenWindow(uint32_t mode_id) {
  // Another benchmark of this program may have left its window open.
  if (CurrentPlatformBackend()) CloseWindow();
  return gltest::OpenGLWindowParts(mode_id, 32);
}

// A standing figure of 16 x 8 quads round its axis, 30 units high.
datakit::QoeModel Figure() {
  datakit::QoeModel m;
  datakit::QoeTexture t;
  t.name = "figure_bench";
  t.file = "bmp/figure_bench.bmp";
  t.width = t.height = 32;
  t.bits = 24;
  t.picture = datakit::QoeTexture::kRaw;
  for (int i = 0; i < 32 * 32; i++) t.pixels.insert(t.pixels.end(), {uint8_t(120 + i % 100), 40, uint8_t(i / 8)});
  m.textures.push_back(t);
  constexpr int kAround = 16, kUp = 8;
  for (int r = 0; r <= kUp; r++)
    for (int a = 0; a <= kAround; a++) {
      const float angle = float(a) * 6.2831853f / kAround, radius = 3.0f + 2.0f * float(r % 3);
      datakit::QoePoint p;
      p.x = radius * std::cos(angle);
      p.z = radius * std::sin(angle);
      p.y = float(r) * 30.0f / kUp;
      p.u = float(a) / kAround;
      p.v = float(r) / kUp;
      m.points.push_back(p);
    }
  for (int r = 0; r < kUp; r++)
    for (int a = 0; a < kAround; a++) {
      const uint32_t p0 = uint32_t(r * (kAround + 1) + a), p1 = p0 + 1, p2 = p1 + kAround + 1, p3 = p0 + kAround + 1;
      m.faces.push_back({uint32_t(m.indices.size()), 4, 0});
      m.indices.insert(m.indices.end(), {p0, p3, p2, p1});
    }
  datakit::QoeObject o;
  o.name = "figure_bench";
  o.index_count = uint32_t(m.indices.size());
  o.point_count = uint32_t(m.points.size());
  o.face_count = uint32_t(m.faces.size());
  o.min[0] = o.min[2] = -7, o.max[0] = o.max[2] = 7, o.max[1] = 30;
  m.objects = {o};
  return m;
}

// A working folder with the kit's model folders and pictures, the fixture
// figure and the kit's qoe3d.cfg with the benchmark's settings after it.
bool MakeWorkFolder() {
  static const bool made = [] {
    const fs::path kit = QOE_KIT_DIR;
    const std::string name = qoe_bench::BenchFolder("/tmp", "qoe_mapscene_bench_");
    if (name.empty() || chdir(name.c_str()) != 0) return false;
    for (const char* f : {"qoe", "qoe-spring", "qoe-summer", "qoe-autumn", "qoe-winter", "qoe-old", "bmp"}) {
      std::error_code ec;
      fs::create_directory_symlink(kit / f, f, ec);
      if (ec) return false;
    }
    std::error_code ec;
    fs::create_directories("qoe-anims", ec);
    const std::vector<uint8_t> figure = datakit::WriteQoe(Figure(), false);
    std::ofstream("qoe-anims/figure_bench.qoe", std::ios::binary)
        .write(reinterpret_cast<const char*>(figure.data()), std::streamsize(figure.size()));
    std::ifstream in(kit / "qoe3d.cfg");
    std::stringstream cfg;
    cfg << in.rdbuf();
    if (cfg.str().empty()) return false;
    cfg << "\nEngine.Scale 1.0\nMap.HighPolyScale 1.0\nMap.ShowBarriers TRUE\n"
           "SetCharacter 900 FID_NOTHING NONE NONE NONE 0 0 0 1\n"
           "SetCharacter 1 FID_BENCH NONE figure_bench.qoe figure_bench.qoe 0 0 0 1.0\n";
    std::ofstream("qoe3d.cfg") << cfg.str();
    return true;
  }();
  return made;
}

// The terrain graphics the kit's configuration names.
std::vector<uint16_t> KitTerrain() {
  std::vector<uint16_t> types;
  std::ifstream in("qoe3d.cfg");
  std::string word;
  while (in >> word)
    if (word == "SetHexagone" && in >> word) types.push_back(uint16_t(std::atoi(word.c_str())));
  for (uint16_t water : {23, 28, 29}) types.push_back(water);
  return types;
}

// The map: patches of the kit's terrain, three realms with their borders,
// ten towns and ten figures round the middle of the view.
void FillMap(map_test::FakeMap& fake) {
  const std::vector<uint16_t> types = KitTerrain();
  uint32_t seed = 17;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
  for (int32_t r = -40; r < 80; r++)
    for (int32_t c = -80; c < 160; c++) {
      MapTile& t = fake.Cell(c, r);
      // Patches of 4 x 3 hexes share a type, with a stray one here and there.
      const uint32_t patch = uint32_t((c + 80) / 4 * 31 + (r + 40) / 3 * 17);
      t.Grafik = types[(patch * 2654435761u >> 7) % types.size()];
      if (next() % 9 == 0) t.Grafik = types[next() % types.size()];
      t.Besitzer = c < 12 ? 7u : (c < 26 ? 9u : (r < 18 ? 11u : kNobody));
    }
  fake.map.OwnPlayer = 7;
  const int32_t towns[10][2] = {{14, 14}, {17, 15}, {22, 16}, {25, 19}, {15, 21},
                                {19, 22}, {23, 13}, {12, 18}, {27, 15}, {21, 20}};
  const uint16_t town_types[5] = {4, 35, 36, 37, 38};
  for (int i = 0; i < 10; i++) fake.Cell(towns[i][0], towns[i][1]).Grafik = town_types[i % 5];
  fake.figures.assign(2 + kFigurSize * 10, 0);
  const int32_t figures[10][2] = {{16, 17}, {18, 19}, {21, 17}, {24, 18}, {13, 16},
                                  {20, 15}, {22, 21}, {17, 21}, {26, 17}, {19, 13}};
  for (int i = 0; i < 10; i++) {
    MapFigur* f = MapFigurAt(fake.figures.data(), uint32_t(i));
    f->Typ = 1;
    f->X = uint32_t(4000 + figures[i][0]);
    f->Y = uint32_t(2000 + figures[i][1]);
  }
  SetMapFigurCount(fake.figures.data(), 10);
  fake.map.Figures = fake.figures.data();
  fake.map.FigureBytes = uint32_t(fake.figures.size());
  fake.map.PixelColumn = 80 * 48.0;
  fake.map.PixelRow = 40 * 55.424;
}

double Percentile(std::vector<double> v, double q) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, size_t(q * double(v.size())))];
}

double Mean(const std::vector<double>& v) {
  double sum = 0;
  for (double x : v) sum += x;
  return v.empty() ? 0 : sum / double(v.size());
}

void BM_MapSceneFrame(benchmark::State& state) {
  constexpr int kFrames = 600;
  if (!MakeWorkFolder()) return state.SkipWithError("no data kit folder");
  if (!OpenWindow(uint32_t(state.range(0)))) return state.SkipWithError("no GL context");
  static map_test::FakeMap fake;
  FillMap(fake);
  StartEngine();
  if (!Engine()->started || !Engine()->rain_on) {
    CloseWindow();
    return state.SkipWithError("the engine did not start with rain");
  }
  LockMapRecord();
  KartenScreenData->map = &fake.map;
  UnlockMapRecord();
  for (int i = 0; i < 30; i++) GLProcessObjektList(), glFinish();
  std::vector<double> frame, floor, cpu;
  uint64_t draws = 0, points = 0, groups = 0;
  double finish = 0, in_draws = 0;
  for (auto _ : state) {
    for (int i = 0; i < kFrames; i++) {
      // A frame as the game draws it.
      g_rec.on = false;
      auto start = Clock::now();
      GLProcessObjektList();
      const double submitted = Since(start);
      glFinish();
      frame.push_back(Since(start));
      finish += frame.back() - submitted;
      // The next one recorded (untimed), and its arrays drawn as the floor.
      g_rec.Clear();
      ResetViewPasses();
      g_rec.on = true;
      GLProcessObjektList();
      glFinish();
      g_rec.on = false;
      in_draws += g_rec.in_draws;
      draws += g_rec.draws;
      groups += g_rec.groups.size();
      points += g_rec.points.size();
      start = Clock::now();
      DrawFloor();
      glFinish();
      floor.push_back(Since(start));
    }
    // The engine's own share: the same frames without GL.
    GL3D().context = 0;
    for (int i = 0; i < kFrames; i++) {
      const auto start = Clock::now();
      ProcessMapScene();
      cpu.push_back(Since(start));
    }
    GL3D().context = 1;
    state.SetIterationTime(Mean(frame));
  }
  state.counters["width"] = DisplayWidth();
  state.counters["height"] = DisplayHeight();
  state.counters["p95_ms"] = Percentile(frame, 0.95) * 1e3;
  state.counters["mean_ms"] = Mean(frame) * 1e3;
  state.counters["floor_ms"] = Mean(floor) * 1e3;
  state.counters["vs_floor"] = Mean(frame) / Mean(floor);
  state.counters["cpu_ms"] = Mean(cpu) * 1e3;
  state.counters["cpu_p95_ms"] = Percentile(cpu, 0.95) * 1e3;
  state.counters["draws"] = double(draws) / double(frame.size());
  state.counters["points"] = double(points) / double(frame.size());
  state.counters["floor_draws"] = double(groups) / double(frame.size());
  state.counters["in_draws_ms"] = in_draws / double(frame.size()) * 1e3;
  state.counters["finish_ms"] = finish / double(frame.size()) * 1e3;
  LockMapRecord();
  KartenScreenData->map = nullptr;
  UnlockMapRecord();
  CloseWindow();
}

// The process's processor time, every thread (the software renderer draws
// on threads of its own).
double ProcessSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

// Processor time per call of GLProcessObjektList over n frame slots, each
// after `step` (a change of the map or the screen, or nothing).
template <typename Step>
double SecondsPerSlot(int n, Step step) {
  const double c0 = ProcessSeconds();
  for (int i = 0; i < n; i++) {
    step(i);
    GLProcessObjektList();
    glFinish();
  }
  return (ProcessSeconds() - c0) / n;
}

// The idle 3D map at 1024 x 768: the landscape of the map screen with
// nothing changing, against the same frames while the view moves a little
// on every frame (every frame a landscape). Counters: "cpu_vs_moving" the
// processor time per frame slot at rest over the time per moving frame,
// "landscapes_per_slot" the landscapes drawn per slot at rest.
void BM_MapSceneAtRest(benchmark::State& state) {
  constexpr int kSlots = 300;
  if (!MakeWorkFolder()) return state.SkipWithError("no data kit folder");
  if (!OpenWindow(10)) return state.SkipWithError("no GL context");
  static map_test::FakeMap fake;
  FillMap(fake);
  StartEngine();
  if (!Engine()->started) {
    CloseWindow();
    return state.SkipWithError("the engine did not start");
  }
  LockMapRecord();
  KartenScreenData->map = &fake.map;
  UnlockMapRecord();
  const double column = fake.map.PixelColumn;
  auto nudge = [&](int i) {
    LockMapRecord();
    fake.map.PixelColumn = column + (i & 1);
    UnlockMapRecord();
  };
  double rest = 0, moving = 0, landscapes = 0;
  SecondsPerSlot(30, nudge);  // the renderer's shaders made
  for (auto _ : state) {
    moving = SecondsPerSlot(kSlots, nudge);
    nudge(0);
    SecondsPerSlot(30, [](int) {});  // into the rest
    const uint64_t drawn = GL3D().scenes_drawn.load();
    rest = SecondsPerSlot(kSlots, [](int) {});
    landscapes = double(GL3D().scenes_drawn.load() - drawn) / kSlots;
  }
  state.counters["cpu_ms_moving"] = moving * 1e3;
  state.counters["cpu_ms_rest"] = rest * 1e3;
  state.counters["cpu_vs_moving"] = rest / moving;
  state.counters["landscapes_per_slot"] = landscapes;
  LockMapRecord();
  KartenScreenData->map = nullptr;
  UnlockMapRecord();
  CloseWindow();
}

// The main screen over the resting landscape at 1024 x 768: an opaque
// 640 x 480 screen in the game area, two movies of 112 x 104 and 136 x 104
// changing in turn, each frame one of them. Counter "cpu_vs_landscape": the
// processor time of such a frame over that of one landscape frame of the
// map screen (the same landscape, moving); "cpu_ms" the frame's own.
void BM_MovieFrameOverRestingLandscape(benchmark::State& state) {
  constexpr int kFrames = 1500;
  if (!MakeWorkFolder()) return state.SkipWithError("no data kit folder");
  if (!OpenWindow(10)) return state.SkipWithError("no GL context");
  static map_test::FakeMap fake;
  FillMap(fake);
  StartEngine();
  if (!Engine()->started) {
    CloseWindow();
    return state.SkipWithError("the engine did not start");
  }
  LockMapRecord();
  KartenScreenData->map = &fake.map;
  UnlockMapRecord();
  const double column = fake.map.PixelColumn;
  const double landscape = SecondsPerSlot(100, [&](int i) {
    LockMapRecord();
    fake.map.PixelColumn = column + (i & 1);
    UnlockMapRecord();
  });
  BitMap* screen = AllocBitMap(640, 480, 32, BMF_RGBA, nullptr);
  for (uint32_t i = 0; screen && i < screen->Size; i++) screen->Pixels[i] = i % 4 == 3 ? 255 : uint8_t(i * 7);
  if (!screen || OpenGLScreenObjekt(screen, nullptr) != 1 || !GLScreenObjekt()) {
    CloseWindow();
    return state.SkipWithError("no screen entry");
  }
  ObjektListEntry* e = GLScreenObjekt();
  SecondsPerSlot(10, [](int) {});
  // As after the window loop showed a part of the window (GLX copies
  // parts): the back buffer keeps its picture, only rectangles go to it.
  SetGLBackBufferIntact(1);
  double frame = 0;
  for (auto _ : state)
    frame = SecondsPerSlot(kFrames, [e](int i) {
      if (i & 1) AddObjektDirtyRect(e, 480, 252, 136, 104);
      else AddObjektDirtyRect(e, 512, 70, 112, 104);
    });
  state.counters["cpu_ms_idle_slot"] = SecondsPerSlot(3000, [](int) {}) * 1e3;
  state.counters["cpu_ms"] = frame * 1e3;
  state.counters["cpu_ms_landscape"] = landscape * 1e3;
  state.counters["cpu_vs_landscape"] = frame / landscape;
  CloseGLScreenObjekt();
  GLProcessObjektList();
  FreeBitMap(screen);
  LockMapRecord();
  KartenScreenData->map = nullptr;
  UnlockMapRecord();
  CloseWindow();
}

}  // namespace

BENCHMARK(BM_MapSceneFrame)->Arg(6)->Arg(10)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MapSceneAtRest)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MovieFrameOverRestingLandscape)->Iterations(1)->Unit(benchmark::kMillisecond);
