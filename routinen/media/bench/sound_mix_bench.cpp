// The cost of sound effects in the mix: one second of 44.1 kHz output with
// an 8-channel module playing, alone and with eight looping effects (at a
// rate other than the output's, so every sample is interpolated). Both are
// timed in the same iteration; the counters give milliseconds of work per
// second of audio, and per_effect_ms the difference per effect (goal < 0.1).
#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

#include "platform/audio_sdl.h"
#include "routinen/media/sound_internal.h"
#include "routinen/media/tune/pcm_sink.h"
#include "routinen/media/tune/tests/module_writer.h"
#include "routinen/media/tune/tune.h"
#include "routinen/media/tune/tune_internal.h"

using namespace modwriter;

namespace {

std::vector<uint8_t> EightChannelSong() {
  Song s;
  s.channels = 8;
  s.modSignature = "8CHN";
  Sample smp;
  for (int k = 0; k < 2000; k++) smp.data.push_back((k * 7) % 200 - 100);
  smp.loopType = 1;
  smp.loopStart = 0;
  smp.loopLength = 2000;
  s.samples.push_back(smp);
  for (int c = 0; c < 8; c++) s.patterns[0].at(0, c) = Cell{24 + c, 1, -1, 0, 0};
  return WriteMod(s);
}

// One second: the player fills what the mix consumed, 10 ms at a time.
double RenderSecond(std::vector<int16_t>& out) {
  auto t0 = std::chrono::steady_clock::now();
  for (int k = 0; k < 100; k++) {
    PollPlayer();
    AudioMixRender(out.data(), 441);
  }
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

void BM_EffectsWithModule(benchmark::State& state) {
  AudioMixOpen(44100, 0);
  TuneSetPcmSink(MixerMusicSink());
  TUNEstartup();
  TUNEsetOption(TUNE_OPT_DSMODE, 10);
  TUNEsetOption(TUNE_OPT_DSWINDOW, 1);
  if (!TUNEinit()) state.SkipWithError("TUNEinit");
  std::vector<uint8_t> song = EightChannelSong();
  ModuleRecord* m = TUNEloadModuleMem(song.data(), static_cast<uint32_t>(song.size()));
  int32_t h = m ? TUNEplayModule(m, 1) : 0;
  if (!h) state.SkipWithError("module");
  std::vector<AudioBuffer*> fx;
  for (int i = 0; i < 8; i++) {
    AudioBuffer* b = AudioBufferCreate(22050, 2 * 11025);
    uint32_t bytes = 0;
    int16_t* d = AudioBufferData(b, &bytes);
    for (uint32_t k = 0; k < bytes / 2; k++) d[k] = static_cast<int16_t>((k * (i + 5) * 37) % 4000 - 2000);
    fx.push_back(b);
  }
  std::vector<int16_t> out(2 * 441);
  double alone = 0, with = 0;
  for (auto _ : state) {
    alone += RenderSecond(out);
    for (AudioBuffer* b : fx) AudioBufferPlay(b, 1);
    with += RenderSecond(out);
    for (AudioBuffer* b : fx) AudioBufferStop(b);
  }
  double n = static_cast<double>(state.iterations());
  state.counters["alone_ms"] = alone / n;
  state.counters["with8_ms"] = with / n;
  state.counters["per_effect_ms"] = (with - alone) / n / 8;
  state.counters["ratio"] = with / alone;
  for (AudioBuffer* b : fx) AudioBufferRelease(b);
  TUNEstopModule(h);
  TUNEfreeModule(m);
  TUNEclose();
  TuneSetPcmSink(nullptr);
  AudioMixClose();
}
BENCHMARK(BM_EffectsWithModule)->Unit(benchmark::kMillisecond);

}  // namespace
