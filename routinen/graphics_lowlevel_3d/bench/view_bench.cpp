// The view against baselines measured in the same run: transforming,
// projecting and depth-sorting a full VIEW (250,000 points, 80,000
// transparent faces) against memcpy of the same point bytes (counter
// "vs_memcpy"; goal under 8 ms a frame, counter "ms"), and MergeSortKeys
// over 80,000 keys against std::stable_sort of the same keys (counter
// "vs_stable_sort", goal at most 1.5).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <random>
#include <vector>

#include "platform/log.h"
#include "routinen/graphics_lowlevel_3d/bench/seconds_per_call.h"
#include "routinen/graphics_lowlevel_3d/gl3d_internal.h"

namespace {

constexpr uint32_t kPoints = 250000, kFaces = 80000;

std::vector<SORT3D> RandomKeys(uint32_t n) {
  std::mt19937 rng(7);
  std::vector<SORT3D> v(n);
  for (uint32_t i = 0; i < n; i++) v[i] = SORT3D{i, float(rng() % 20000) / 20000.0f};
  return v;
}

// A full VIEW written straight into the view stores: 80,000 transparent
// triangles over 250,000 points, one centre each.
void FillView(std::vector<POINT3D>& points, std::vector<CENTER3D>& centres) {
  DebugLogSetStderr(0);
  FreeAllThings();
  InitEngineDefaults();
  Engine()->mipmapping = 0;
  RegisterEngineThings();
  SetIndividualTextures(0);
  const int32_t t = CreateTexture("", "", 4, 4, 32, "clear", nullptr);
  TEXTURE3D* clear = static_cast<TEXTURE3D*>(ThingAt(THING_TEXTURE3D, uint32_t(t)));
  InitView();
  OBJECT3D* v = ViewObject();
  std::mt19937 rng(3);
  points.resize(kPoints);
  for (uint32_t i = 0; i < kPoints; i++)
    points[i] = POINT3D{0, 0, {255, 255, 255, 128}, float(rng() % 2000) - 1000.0f, float(rng() % 200),
                        float(rng() % 2000) - 1000.0f};
  centres.resize(kFaces);
  for (uint32_t f = 0; f < kFaces; f++) {
    v->faces[f] = FACE3D{3 * f, 3, uint16_t(t), clear};
    for (uint32_t k = 0; k < 3; k++) v->indices[3 * f + k] = (3 * f + k) % kPoints;
    const POINT3D& p = points[(3 * f) % kPoints];
    centres[f] = CENTER3D{p.x, p.y, p.z};
  }
  v->face_count = int32_t(kFaces);
  v->index_count = int32_t(3 * kFaces);
  v->point_count = int32_t(kPoints);
  v->centre_count = int32_t(kFaces);
  E3D().scene_built = 1;
  SetViewRotation(38, 1);
  SetViewFlip(30, 1);
  SetViewScale(1, 1);
  BuildCameraMatrix();
}

void BM_TransformProjectSortView(benchmark::State& state) {
  std::vector<POINT3D> points;
  std::vector<CENTER3D> centres;
  FillView(points, centres);
  OBJECT3D* v = ViewObject();
  std::vector<uint8_t> copy(kPoints * sizeof(POINT3D));
  const double memcpy_seconds =
      SecondsPerCall([&] { std::memcpy(copy.data(), points.data(), copy.size()); benchmark::ClobberMemory(); }, 200);
  double work = 0, sorting = 0;
  uint32_t sorted = 0;
  for (auto _ : state) {
    std::memcpy(v->points, points.data(), kPoints * sizeof(POINT3D));
    std::memcpy(v->centres, centres.data(), kFaces * sizeof(CENTER3D));
    const auto start = std::chrono::steady_clock::now();
    TransformObject(v, Camera()->matrix);
    ProjectView();
    const auto projected = std::chrono::steady_clock::now();
    SortFaceCenters(&sorted);
    benchmark::ClobberMemory();
    const auto end = std::chrono::steady_clock::now();
    work += std::chrono::duration<double>(end - start).count();
    sorting += std::chrono::duration<double>(end - projected).count();
  }
  const double per = work / double(state.iterations());
  state.counters["ms"] = per * 1e3;
  state.counters["vs_memcpy"] = per / memcpy_seconds;
  state.counters["sort_ms"] = sorting / double(state.iterations()) * 1e3;
  state.counters["sorted"] = sorted;
  FreeAllThings();
}
BENCHMARK(BM_TransformProjectSortView)->Unit(benchmark::kMillisecond);

void BM_MergeSortKeys80k(benchmark::State& state) {
  const std::vector<SORT3D> keys = RandomKeys(kFaces);
  std::vector<SORT3D> work(kFaces), tmp(kFaces);
  const double stable = SecondsPerCall(
      [&] {
        work = keys;
        std::stable_sort(work.begin(), work.end(), [](const SORT3D& a, const SORT3D& b) { return a.key < b.key; });
        benchmark::ClobberMemory();
      },
      200);
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    work = keys;
    benchmark::DoNotOptimize(MergeSortKeys(work.data(), tmp.data(), kFaces));
    benchmark::ClobberMemory();
  }
  const double per = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() /
                     double(state.iterations());
  state.counters["vs_stable_sort"] = per / stable;
}
BENCHMARK(BM_MergeSortKeys80k)->Unit(benchmark::kMicrosecond);

}  // namespace
