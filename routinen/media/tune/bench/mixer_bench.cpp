// Mixing cost: one second of 44.1 kHz stereo 16-bit output per iteration;
// items are channel-seconds, so 1 / items-per-second is the cost of one
// channel-second.
#include <benchmark/benchmark.h>

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

}  // namespace

BENCHMARK(BM_MixFloat8)->Arg(4)->Arg(8)->Arg(32)->Arg(64)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MixInteger8)->Arg(4)->Arg(8)->Arg(32)->Arg(64)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MixInterpolating8)->Arg(4)->Arg(8)->Arg(32)->Arg(64)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MixFloat16)->Arg(4)->Arg(64)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MixInteger16)->Arg(4)->Arg(64)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MixInterpolating16)->Arg(4)->Arg(64)->Unit(benchmark::kMillisecond);
