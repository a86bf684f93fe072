// Offline render through the block device and the capturing sink: items are
// seconds of 44.1 kHz stereo audio, so items per second is the speed-up
// over real time. Arg: 0 the mixer as it is, 1 filtering and converting
// through the plain loops (the render as it was before the fast ones); the counter
// "vs_plain" is the plain render's time over this one's, both timed in the
// same run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>

#include "routinen/media/tune/tests/module_writer.cpp"
#include "routinen/media/tune/dmix.h"
#include "routinen/media/tune/genplayer.h"
#include "routinen/media/tune/pcm_sink.h"

using namespace modwriter;

namespace {

Song BusySong(int channels, bool s3m) {
  Song s;
  s.channels = channels;
  for (int i = 0; i < 4; i++) {
    Sample smp;
    for (int k = 0; k < 4000; k++) smp.data.push_back(((k * (i + 3)) % 200) - 100);
    smp.loopType = 1;
    smp.loopStart = 1000;
    smp.loopLength = 3000;
    s.samples.push_back(smp);
  }
  s.patterns.resize(2);
  s.orders = {0, 1};
  for (int p = 0; p < 2; p++)
    for (int r = 0; r < 64; r++)
      for (int c = 0; c < channels; c++) {
        Cell cell;
        if ((r + c) % 4 == 0) {
          cell.note = s3m ? 36 + (r + c) % 24 : 24 + (r + c) % 24;
          cell.ins = 1 + c % 4;
        }
        if (r % 8 == 4) { cell.effect = s3m ? 'H' : 0x4; cell.info = 0x44; }
        else if (r % 8 == 6) { cell.effect = s3m ? 'D' : 0xA; cell.info = 0x02; }
        if (cell.note != kNoNote || cell.effect) s.patterns[p].at(r, c) = cell;
      }
  return s;
}

// Seconds of real time to render one second of the module.
double RenderSecond(CaptureSink* cap) {
  const size_t second = 44100 * 4;
  auto t0 = std::chrono::steady_clock::now();
  while (cap->captured.size() < second) PollPlayer();
  cap->captured.clear();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void Render(benchmark::State& state, const std::vector<uint8_t>& bytes) {
  const bool plain = state.range(0) != 0;
  CaptureSink cap;
  CaptureSinkInit(&cap);
  TuneSetPcmSink(&cap.sink);
  TUNEstartup();
  TUNEinit();
  ModuleRecord* m = TUNEloadModuleMem(bytes.data(), (uint32_t)bytes.size());
  int32_t h = TUNEplayModule(m, 1);
  dmixUsePlainLoops(plain ? 1 : 0);
  for (auto _ : state) RenderSecond(&cap);
  state.SetItemsProcessed(state.iterations());
  // Both renders of the same stretch of the song, the fastest of several each.
  double best[2] = {1e9, 1e9};
  for (int round = 0; round < 10; round++)
    for (int p = 0; p < 2; p++) {
      dmixUsePlainLoops(p);
      best[p] = std::min(best[p], RenderSecond(&cap));
    }
  dmixUsePlainLoops(0);
  state.counters["vs_plain"] = best[1] / best[plain ? 1 : 0];
  TUNEstopModule(h);
  TUNEfreeModule(m);
  TUNEclose();
  TuneSetPcmSink(nullptr);
}

void BM_RenderMod4(benchmark::State& s) { Render(s, WriteMod(BusySong(4, false))); }
void BM_RenderS3m8(benchmark::State& s) { Render(s, WriteS3m(BusySong(8, true))); }
void BM_RenderS3m16(benchmark::State& s) { Render(s, WriteS3m(BusySong(16, true))); }

}  // namespace

BENCHMARK(BM_RenderMod4)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderS3m8)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderS3m16)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
