// The engine's texture conversions on a 512 x 512 picture against memcpy of
// the same bytes, and the configuration reader on a 1 MB file against
// fread of that file; both baselines are measured in the same run.
// Counter "vs_memcpy" / "vs_fread": time per call over the baseline's.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/log.h"
#include "routinen/graphics_lowlevel_3d/bench/seconds_per_call.h"
#include "routinen/graphics_lowlevel_3d/gl3d.h"
#include "routinen/system/memory.h"

namespace {

constexpr uint32_t kSide = 512, kPixels = kSide * kSide;

double MemcpySeconds(size_t bytes) {
  static std::vector<uint8_t> a, b;
  a.assign(bytes, 1);
  b.assign(bytes, 2);
  return SecondsPerCall([&] {
    std::memcpy(b.data(), a.data(), bytes);
    benchmark::DoNotOptimize(b.data());
    benchmark::ClobberMemory();
  }, 50);
}

template <typename F>
void Run(benchmark::State& state, size_t bytes, F fn) {
  const double base = MemcpySeconds(bytes);
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    fn();
    benchmark::ClobberMemory();
  }
  const double per = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() /
                     double(state.iterations());
  state.counters["vs_memcpy"] = per / base;
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}

std::vector<uint8_t> Picture(uint32_t bytes) {
  std::vector<uint8_t> p(bytes);
  for (uint32_t i = 0; i < bytes; i++) p[i] = uint8_t(i * 31 + (i >> 9));
  return p;
}

void BM_ReduceBitmap(benchmark::State& state) {
  const uint32_t factor = uint32_t(state.range(0));
  const std::vector<uint8_t> src = Picture(kPixels * 4);
  std::vector<uint8_t> dst(kPixels * 4 / (factor * factor));
  Run(state, src.size(), [&] { ReduceBitmap(src.data(), dst.data(), kSide, kSide, 32, factor); });
}

void BM_MakeRGBA(benchmark::State& state) {
  const std::vector<uint8_t> rgb = Picture(kPixels * 3), alpha = Picture(kPixels);
  std::vector<uint8_t> out(kPixels * 4);
  const bool with_alpha = state.range(0) != 0;
  Run(state, out.size(), [&] { MakeRGBA(out.data(), rgb.data(), with_alpha ? alpha.data() : nullptr, kPixels); });
}

void BM_SmoothAlphaTexture(benchmark::State& state) {
  DebugLogSetStderr(0);
  InitEngineDefaults();
  Engine()->mipmapping = 0;
  TEXTURE3D t{};
  InitializeT(&t, "", kSide, kSide, 32, "bench");
  Run(state, kPixels * 4, [&] { SmoothAlphaTexture(&t); });
  FreeVec(t.pixels);
}

// A 1 MB configuration: every key, scene commands and remarks, repeated.
std::string BigConfig() {
  const std::string block =
      "# settings\nEngine.MipMapping TRUE\nEngine.Scale 0.3\nEngine.FogRGBA 128 173 192\n"
      "Map.ActualSeason WINTER\nMap.SkyON FALSE\nEngine.Rotation NONE\nsome remark words here\n"
      "SetHexagone 17 KID_WALD00 qoe/Hex_forest.qoe qoe/Hex_forest_high.qoe 0 0 255 255 255\n";
  std::string text;
  while (text.size() < (1u << 20)) text += block;
  return text;
}

void BM_ReadEngineConfig1MB(benchmark::State& state) {
  DebugLogSetStderr(0);
  const std::string text = BigConfig();
  const std::string path = "qoe3d_bench.cfg";
  FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
  std::vector<char> buffer(text.size());
  const double base = SecondsPerCall([&] {
    FILE* g = std::fopen(path.c_str(), "rb");
    benchmark::DoNotOptimize(std::fread(buffer.data(), 1, buffer.size(), g));
    std::fclose(g);
  }, 50);
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    InitEngineDefaults();
    ReadEngineConfig(path.c_str());
  }
  const double per = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() /
                     double(state.iterations());
  state.counters["vs_fread"] = per / base;
  state.counters["commands"] = double(Engine()->command_count);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
  FreeSceneCommands();
  std::remove(path.c_str());
}

}  // namespace

BENCHMARK(BM_ReduceBitmap)->Arg(2)->Arg(4)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MakeRGBA)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SmoothAlphaTexture)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadEngineConfig1MB)->Unit(benchmark::kMillisecond);
