// Mixing cost: one second of 44.1 kHz stereo 16-bit output per iteration;
// items are channel-seconds, so 1 / items-per-second is the cost of one
// channel-second.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

#include "routinen/media/tune/dmix.h"

namespace {

void MixSecond(benchmark::State& state, uint32_t mode, uint32_t type) {
  const uint32_t channels = (uint32_t)state.range(0);
  TUNEstartup();
  dmixInit(44100, mode | MIX_16BIT | MIX_STEREO);
  dmixOpenChannels(channels);
  std::vector<uint8_t> data(20000);
  for (size_t i = 0; i < data.size(); i++) data[i] = (uint8_t)(128 + 100 * ((i / 37) % 2 ? 1 : -1));
  SampleInfo info{data.data(), 1, type, (uint32_t)data.size(), 0, 2000, (uint32_t)data.size(), 1, 0, 0, 0};
  uint32_t h = 0;
  dmixAddSample(&info, 1, &h);
  for (uint32_t c = 0; c < channels; c++) {
    dmixSetSample(c, h);
    dmixSetVolume(c, 48);
    dmixSetPanning(c, (int32_t)(c * 37 % 129) - 64);
    dmixPlaySound(c, 8000 + c * 731);
  }
  std::vector<int16_t> out(44100 * 2);
  for (auto _ : state) {
    dmixMixData(44100, out.data());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed((int64_t)state.iterations() * channels);
  dmixClose();
}

void BM_MixFloat8(benchmark::State& s) { MixSecond(s, MIX_FLOAT, 1); }
void BM_MixInteger8(benchmark::State& s) { MixSecond(s, MIX_INTEGER, 1); }
void BM_MixInterpolating8(benchmark::State& s) { MixSecond(s, MIX_INTERPOLATE, 1); }
void BM_MixFloat16(benchmark::State& s) { MixSecond(s, MIX_FLOAT, 2); }
void BM_MixInteger16(benchmark::State& s) { MixSecond(s, MIX_INTEGER, 2); }
void BM_MixInterpolating16(benchmark::State& s) { MixSecond(s, MIX_INTERPOLATE, 2); }

// Converting one second of mixed 44.1 kHz stereo (floats, or integers) to
// 16- or 8-bit output. Arg 0: 1 the fast conversion, 0 the plain loop;
// arg 1: output bits; arg 2: 1 integer mixing. The counter "vs_plain" is
// the plain loop's time over this one's, both timed in the same run (the
// fastest of many rounds).
void BM_Convert(benchmark::State& state) {
  const bool fast = state.range(0) != 0;
  const uint32_t mode = (state.range(1) == 16 ? MIX_16BIT : MIX_8BIT) | MIX_STEREO |
                        (state.range(2) ? MIX_INTEGER : MIX_FLOAT);
  const uint32_t values = 44100 * 2;
  std::vector<float> f(values);
  std::vector<int32_t> iv(values);
  for (uint32_t i = 0; i < values; i++) {
    f[i] = 40000.0f * std::sin((float)i * 0.01f);  // now and then past the clamps
    iv[i] = (int32_t)f[i] * ((mode & MIX_8BIT) ? 256 : 1);
  }
  const void* in = (mode & MIX_INTEGER) ? (const void*)iv.data() : (const void*)f.data();
  std::vector<uint8_t> out(values * 2);
  auto run = [&](bool quick) {
    if (quick) ConvertOutput(mode, in, values, out.data());
    else ConvertOutputPlain(mode, in, values, out.data());
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  };
  auto best = [&](bool quick) {
    double b = 1e9;
    for (int r = 0; r < 30; r++) {
      auto t0 = std::chrono::steady_clock::now();
      run(quick);
      b = std::min(b, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    return b;
  };
  for (auto _ : state) run(fast);
  state.counters["vs_plain"] = best(false) / best(fast);
}

}  // namespace

BENCHMARK(BM_Convert)->ArgsProduct({{0, 1}, {8, 16}, {0, 1}})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MixFloat8)->Arg(4)->Arg(8)->Arg(32)->Arg(64)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MixInteger8)->Arg(4)->Arg(8)->Arg(32)->Arg(64)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MixInterpolating8)->Arg(4)->Arg(8)->Arg(32)->Arg(64)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MixFloat16)->Arg(4)->Arg(64)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MixInteger16)->Arg(4)->Arg(64)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MixInterpolating16)->Arg(4)->Arg(8)->Arg(32)->Arg(64)->Unit(benchmark::kMillisecond);
