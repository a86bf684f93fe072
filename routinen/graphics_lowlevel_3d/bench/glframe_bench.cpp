// The GL frame on Mesa's software renderer (SDL offscreen driver): a frame
// with nothing changed, one with a 64 x 64 rectangle changed, and frames
// that upload N dirty rectangles of 8 x 12 pixels, against a frame that
// uploads the whole 640 x 480 screen (the baseline, measured in the same
// run). Counters: "vs_full" the ratio of
// wall time, "cpu_vs_full" of the calling thread's processor time (the
// queue, the staging copies and the texture uploads; the software renderer
// rasterises on threads of its own, which a busy machine holds back).
#include <GL/gl.h>
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <time.h>

#include <chrono>
#include <cstring>
#include <vector>

#include "seconds_per_call.h"
#include "routinen/graphics_lowlevel_3d/bench/gl_window.h"

#include "platform/backend.h"
#include "platform/display.h"
#include "platform/log.h"
#include "platform/screenmode.h"
#include "routinen/graphics_lowlevel_3d/gl3d.h"
#include "routinen/system/graphics.h"
#include "routinen/system/sysrecords.h"

namespace {

ObjektListEntry* g_entry = nullptr;

// One 800 x 600 GL window with the 640 x 480 screen entry, made once.
bool Ready() {
  static const bool ok = [] {
    if (!OpenBenchWindow()) return false;
    BitMap* bm = AllocBitMap(640, 480, 32, BMF_RGBA, nullptr);
    for (uint32_t i = 0; bm && i < bm->Size; i++) bm->Pixels[i] = uint8_t(i * 7);
    g_entry = AddObjektListEntry(bm, nullptr, "GLFrameBench");
    if (!g_entry) return false;
    SetObjektPos3D(g_entry, 80, 30);
    SetObjektVisible3D(g_entry, 1);
    GLProcessObjektList();
    glFinish();
    return true;
  }();
  return ok;
}

// Queues n rectangles of 8 x 12 on a grid, as text drawn across the screen.
void QueueRects(int n) {
  for (int i = 0; i < n; i++) AddObjektDirtyRect(g_entry, (i % 80) * 8, ((i / 80) * 12) % 480, 8, 12);
}

double ThreadSeconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

void Frame() {
  GLProcessObjektList();
  glFinish();
}

struct Cost {
  double wall, cpu;  // mean seconds per frame
};

// One full-screen upload frame, measured once.
Cost FullUpload() {
  static const Cost c = [] {
    for (int i = 0; i < 5; i++) AddObjektDirtyRect(g_entry, 0, 0, 0, 0), Frame();
    const int n = 100;
    auto t0 = std::chrono::steady_clock::now();
    double c0 = ThreadSeconds();
    for (int i = 0; i < n; i++) {
      AddObjektDirtyRect(g_entry, 0, 0, 0, 0);
      Frame();
    }
    return Cost{std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() / n,
                (ThreadSeconds() - c0) / n};
  }();
  return c;
}

// Wall and thread time of the frames of the loop body, and their ratios to
// the whole-screen frame.
template <typename Body>
void Measure(benchmark::State& state, Body body) {
  const Cost full = FullUpload();
  double wall = 0, cpu = 0;
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    double c0 = ThreadSeconds();
    body();
    cpu += ThreadSeconds() - c0;
    wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  }
  state.counters["vs_full"] = wall / double(state.iterations()) / full.wall;
  state.counters["cpu_vs_full"] = cpu / double(state.iterations()) / full.cpu;
}

void BM_FrameNothingQueued(benchmark::State& state) {
  if (!Ready()) return state.SkipWithError("no GL context");
  Measure(state, [] { Frame(); });
}

// One 64 x 64 rectangle, at a new place each frame.
void BM_FrameOneRect64(benchmark::State& state) {
  if (!Ready()) return state.SkipWithError("no GL context");
  int i = 0;
  Measure(state, [&i] {
    AddObjektDirtyRect(g_entry, (i * 64) % 576, (i * 40) % 416, 64, 64);
    i++;
    Frame();
  });
}

void BM_FrameFullUpload(benchmark::State& state) {
  if (!Ready()) return state.SkipWithError("no GL context");
  for (auto _ : state) {
    AddObjektDirtyRect(g_entry, 0, 0, 0, 0);
    Frame();
  }
}

void BM_FrameDirtyRects(benchmark::State& state) {
  if (!Ready()) return state.SkipWithError("no GL context");
  Measure(state, [&state] {
    QueueRects(int(state.range(0)));
    Frame();
  });
}

// Queueing alone (the game thread's share), the queue emptied untimed.
void BM_QueueDirtyRects(benchmark::State& state) {
  if (!Ready()) return state.SkipWithError("no GL context");
  for (auto _ : state) {
    QueueRects(int(state.range(0)));
    state.PauseTiming();
    Frame();
    state.ResumeTiming();
  }
}

// The town fire's step per frame: the cellular heat update into the 128 x
// 128 texture and its upload, against a memcpy of the same 64 KiB in the
// same run (counter "vs_memcpy").
void BM_FireStepAndRefresh(benchmark::State& state) {
  if (!Ready()) return state.SkipWithError("no GL context");
  static TEXTURE3D* fire = [] {
    InitEngineDefaults();
    Engine()->half_textures = 1;
    Engine()->mipmapping = 0;
    if (!RegisterEngineThings()) return static_cast<TEXTURE3D*>(nullptr);
    const int32_t palette = CreateTexture("", "", kFireSide, kFireSide, 32, "FireModel_tex", nullptr);
    const int32_t index = CreateTexture("", "", kFireSide, kFireSide, 32, "Fire_tex", nullptr);
    MapScene()->fire_palette = uint16_t(palette);
    auto* t = static_cast<TEXTURE3D*>(GetThing(THING_TEXTURE3D, index));
    if (t) UploadTexture(t);
    return t;
  }();
  if (!fire) return state.SkipWithError("no fire texture");
  static std::vector<uint8_t> heat(kFireSide * kFireSide), a(kFireSide * kFireSide * 4, 1),
      b(kFireSide * kFireSide * 4);
  const double copy = SecondsPerCall([] { std::memcpy(b.data(), a.data(), a.size()); benchmark::ClobberMemory(); }, 50);
  double wall = 0;
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    AnimateFireBitmap(kFireSide, kFireSide, fire->pixels, heat.data());
    RefreshTexture(fire);
    glFinish();
    wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  }
  state.counters["vs_memcpy"] = wall / double(state.iterations()) / copy;
}

}  // namespace

BENCHMARK(BM_FireStepAndRefresh)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_QueueDirtyRects)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FrameNothingQueued)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_FrameOneRect64)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_FrameFullUpload)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_FrameDirtyRects)->Arg(1)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond)->UseRealTime();
