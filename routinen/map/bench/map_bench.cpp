// The map engine's drawing and window work on a generated realm, each beside
// a memcpy of the same screen bytes measured in the same run.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/headless.h"
#include "platform/log.h"
#include "routinen/gui/pictures.h"
#include "routinen/map/map_internal.h"
#include "routinen/map/tests/map_fixture.h"
#include "routinen/system/memory.h"
#include "routinen/system/sysrecords.h"
#include "tests/support/bench_folder.h"

using namespace maptest;

namespace {

constexpr uint32_t kOwn = 5;
constexpr int32_t kCapX = 4000, kCapY = 2020;

void EnterWorkDir() {
  static bool done = false;
  if (done) return;
  done = true;
  DebugLogSetStderr(0);
  const std::string tmpl = qoe_bench::BenchFolder("/tmp", "qoe_mapbench_");
  if (!tmpl.empty() && chdir(tmpl.c_str()) == 0) {
    for (int dy = -3; dy <= 3; dy++)
      for (int dx = -3; dx <= 3; dx++) {
        WritePart([](int32_t x, int32_t y) { return DemoRealm(x, y, kCapX, kCapY, kOwn); }, 50 + dx, 50 + dy);
        WriteKnowledge([](int32_t, int32_t) { return true; }, 50 + dx, 50 + dy);
      }
    // A map object on view hex (3, 3) of the views below, for the motion frame.
    std::vector<Fig> figs = {{77u, 1003, 100, (uint32_t)kCapX - 7, (uint32_t)kCapY - 1, 0, 0}};
    for (uint32_t i = 0; i < 60; i++)
      figs.push_back({i % 3 ? kOwn : 77u, (uint16_t)(i % 21), (uint16_t)(i + 1), (uint32_t)kCapX - 12 + i % 25,
                      (uint32_t)kCapY - 6 + (i * 7) % 13, 0, 8});
    WriteMapPrefs(figs);
  }
}

// Nanoseconds of one memcpy of `bytes`.
double MemcpyNs(size_t bytes) {
  std::vector<uint8_t> a(bytes, 1), b(bytes, 2);
  const int reps = 200;
  auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < reps; i++) {
    std::memcpy(b.data(), a.data(), bytes);
    benchmark::DoNotOptimize(b.data());
    benchmark::ClobberMemory();
  }
  return std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count() / reps;
}

struct View {
  QoEMapInfo* map = nullptr;
  size_t screenBytes = 0;
  View(uint32_t mode, uint16_t w, uint16_t h, bool gl = false) {
    EnterWorkDir();
    HeadlessOpenDisplay(mode);
    WriteTestPictures();
    CopyMapFont();
    SetTestPalette();
    ResetMapEngineState();
    OwnPlayerPtr->PlayerId = kOwn;
    const uint16_t flags = MAPF_KNOWLEDGE | MAPF_FIGURES | MAPF_BORDERS | MAPF_RANGE | MAPF_SIGHT | MAPF_BARS;
    map = LadeKarte(flags, 50, 50, ".\\Map");
    if (!map) return;
    if (gl) InitPosGL(map, kCapX - 10, kCapY - 4, 0, 0, w, h, flags);
    else InitPos(map, kCapX - 10, kCapY - 4, 0, 0, w, h, flags);
    GetMoveHex(map, (uint16_t)(map->ViewColumn + 8), (uint16_t)(map->ViewRow + 4), 0, 8);
    GetMoveHexBits(map, (uint16_t)(map->ViewColumn - 6), (uint16_t)(map->ViewRow - 10), 0);
    screenBytes = (size_t)w * h * (mode == 0 ? 1 : 4);
  }
  ~View() {
    if (map) {
      ExitPos(map);
      ExitKarte(map);
    }
    FreeAllElmorGfx();
    HeadlessCloseDisplay();
  }
};

double TimeNs(const std::chrono::steady_clock::time_point& t0, int64_t n) {
  return std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count() / (double)n;
}

// Args: display mode (0: 8 bit, 4: 32 bit), view width, height, and 0 to
// copy odd tiles through the whole hex mask (for comparison).
void BM_BlitMapFull(benchmark::State& state) {
  View v((uint32_t)state.range(0), (uint16_t)state.range(1), (uint16_t)state.range(2));
  if (!v.map) return state.SkipWithError("no map");
  if (state.range(3) == 0) MapState().hexMaskSolidMiddle = false;
  double base = MemcpyNs(v.screenBytes);
  auto t0 = std::chrono::steady_clock::now();
  for (auto _ : state) {
    v.map->ScrollDirection = SCROLL_NONE;
    BlitMap(v.map);
    benchmark::ClobberMemory();
  }
  double ns = TimeNs(t0, state.iterations());
  state.counters["ms"] = ns / 1e6;
  state.counters["x_memcpy"] = ns / base;
}

// A one-step scroll's redraw against the full redraw of the same view.
void BM_BlitMapScrollStep(benchmark::State& state) {
  View v((uint32_t)state.range(0), (uint16_t)state.range(1), (uint16_t)state.range(2));
  if (!v.map) return state.SkipWithError("no map");
  double base = MemcpyNs(v.screenBytes);
  auto f0 = std::chrono::steady_clock::now();
  for (int i = 0; i < 50; i++) {
    v.map->ScrollDirection = SCROLL_NONE;
    BlitMap(v.map);
  }
  double full = TimeNs(f0, 50);
  uint16_t dir = 1;
  auto t0 = std::chrono::steady_clock::now();
  for (auto _ : state) {
    v.map->ScrollDirection = dir;
    BlitMap(v.map);
    dir = (uint16_t)(dir % 4 + 1);
    benchmark::ClobberMemory();
  }
  double ns = TimeNs(t0, state.iterations());
  state.counters["ms"] = ns / 1e6;
  state.counters["of_full"] = ns / full;
  state.counters["x_memcpy"] = ns / base;
}

// One SetPos that shifts three parts (no drawing); live blocks after 1,000 shifts.
void BM_SetPosShift(benchmark::State& state) {
  View v(4, 1024, 768, true);
  if (!v.map) return state.SkipWithError("no map");
  while (v.map->ViewColumn != 80) SetPos(v.map, v.map->ViewColumn > 80 ? -1 : 1, 0);
  double base = MemcpyNs(1024 * 768 * 4);
  int32_t step = -1;
  for (int i = 0; i < 10; i++, step = -step) SetPos(v.map, step, 0);
  int64_t live0 = (int64_t)MemAllocatedCounter_SS.load() - (int64_t)MemFreedCounter_SS.load();
  auto t0 = std::chrono::steady_clock::now();
  int64_t n = 0;
  for (auto _ : state) {
    SetPos(v.map, step, 0);  // crosses the part edge each time
    step = -step;
    n++;
  }
  double ns = TimeNs(t0, state.iterations());
  for (int i = 0; i < 1000; i++, step = -step) SetPos(v.map, step, 0);
  int64_t live1 = (int64_t)MemAllocatedCounter_SS.load() - (int64_t)MemFreedCounter_SS.load();
  state.counters["ms"] = ns / 1e6;
  state.counters["x_memcpy"] = ns / base;
  state.counters["live_blocks_delta"] = (double)(live1 - live0);
}

void BM_GetMoveHex(benchmark::State& state) {
  View v(4, 1024, 768, true);
  if (!v.map) return state.SkipWithError("no map");
  double base = MemcpyNs(1024 * 768 * 4);
  auto t0 = std::chrono::steady_clock::now();
  for (auto _ : state) {
    GetMoveHex(v.map, (uint16_t)(v.map->ViewColumn + 10), (uint16_t)(v.map->ViewRow + 6), (uint16_t)state.range(0), 20);
    benchmark::ClobberMemory();
  }
  double ns = TimeNs(t0, state.iterations());
  state.counters["us"] = ns / 1e3;
  state.counters["x_memcpy"] = ns / base;
}

// DrawMiniMap at depth 32 against a memcpy of its rectangle's bytes.
void BM_DrawMiniMap(benchmark::State& state) {
  View v(4, 480, 448);
  if (!v.map || !OpenScreenRastPort()) return state.SkipWithError("no map");
  static const uint16_t rects[] = {0, 0, 9, 9, 0, 0, 9, 9, 0, 0, 9, 9, 0, 0, 9, 9, 0, 0, 9, 9, 500, 300, 631, 433};
  MiniMap* mm = InitMiniMap(rects);
  double base = MemcpyNs(132 * 134 * 4);
  auto t0 = std::chrono::steady_clock::now();
  for (auto _ : state) {
    DrawMiniMap(v.map, mm, 0, 0);
    benchmark::ClobberMemory();
  }
  double ns = TimeNs(t0, state.iterations());
  FreeMiniMap(mm);
  CloseScreenRastPort();  // before the display goes with the view
  state.counters["ms"] = ns / 1e6;
  state.counters["x_memcpy"] = ns / base;
}

// One frame of the motion thread (the animation's composing shared out over
// its 24 frames) against a memcpy of the hex rectangle's bytes.
void BM_MotionFrame(benchmark::State& state) {
  View v(4, 480, 448);
  if (!v.map || !OpenScreenRastPort()) return state.SkipWithError("no map");
  MapState().motionFrameMs = 0;
  MapState().motionPauseMs = 0;
  MapState().random = [](uint32_t) -> uint32_t { return 2; };
  double base = MemcpyNs(64 * 56 * 4);
  MotionControl* motion = StartTheMotion(v.map);
  if (!motion) {
    CloseScreenRastPort();
    return state.SkipWithError("no motion thread");
  }
  auto t0 = std::chrono::steady_clock::now();
  uint32_t first = MapState().motionFrames.load();
  for (auto _ : state) {
    uint32_t until = MapState().motionFrames.load() + 24;
    while (MapState().motionFrames.load() < until) {
    }
  }
  uint32_t frames = MapState().motionFrames.load() - first;
  double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count() / (frames ? frames : 1);
  StopTheMotion(motion);
  ResetMapEngineState();
  CloseScreenRastPort();
  state.counters["us"] = ns / 1e3;
  state.counters["x_memcpy"] = ns / base;
}

}  // namespace

BENCHMARK(BM_DrawMiniMap);
BENCHMARK(BM_MotionFrame)->Iterations(50);
BENCHMARK(BM_BlitMapFull)
    ->Args({0, 480, 448, 1})
    ->Args({0, 480, 448, 0})
    ->Args({4, 480, 448, 1})
    ->Args({0, 1024, 768, 1})
    ->Args({4, 1024, 768, 1})
    ->Args({4, 1024, 768, 0});
BENCHMARK(BM_BlitMapScrollStep)->Args({0, 480, 448})->Args({4, 1024, 768});
BENCHMARK(BM_SetPosShift);
BENCHMARK(BM_GetMoveHex)->Arg(0)->Arg(14);
