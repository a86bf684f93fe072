// Movie decoding speed, each against a baseline of the same run:
// - a 320 x 200, 100-frame ANIM-5 movie decoded frame by frame to raw frames
//   (one byte per pixel) by the player, against Debian's ffmpeg decoding the
//   same file to raw frames;
// - PlanarToChunky of a 640 x 480 frame against memcpy of the same bytes.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/log.h"
#include "routinen/media/movie_internal.h"
#include "tools/datakit/anim_encoder.h"

namespace {

std::string g_dir;

void RemoveMovieDir() {
  if (g_dir.empty() || g_dir == "/tmp") return;
  unlink((g_dir + "/bench.cban").c_str());
  unlink((g_dir + "/Quill.dbg").c_str());
  if (chdir("/") == 0) rmdir(g_dir.c_str());
}

// A working folder with the movie (made once, removed at exit).
const std::string& MovieDir() {
  std::string& dir = g_dir;
  if (dir.empty()) {
    DebugLogSetStderr(0);
    char tmpl[] = "/tmp/movie_bench_XXXXXX";
    dir = mkdtemp(tmpl) ? tmpl : "/tmp";
    if (chdir(dir.c_str()) != 0) std::abort();
    std::atexit(RemoveMovieDir);
    datakit::AnimOptions o;
    o.width = 320;
    o.height = 200;
    std::vector<datakit::AnimFrame> frames(100);
    for (int f = 0; f < 100; f++) {
      auto& px = frames[f].pixels;
      px.resize(320 * 200);
      for (int y = 0; y < 200; y++)
        for (int x = 0; x < 320; x++) {
          // A still background with a moving ball and a rippling band.
          const double dx = x - (40 + 2.4 * f), dy = y - (100 + 60 * std::sin(f * 0.12));
          uint8_t v = (uint8_t)((x / 20 + y / 20) % 2 ? 30 : 60);
          if (y > 150) v = (uint8_t)(100 + 20 * std::sin(x * 0.1 + f * 0.4));
          if (dx * dx + dy * dy < 400) v = (uint8_t)(200 + (int)(dx + dy) % 20);
          px[y * 320 + x] = v;
        }
    }
    frames[0].colours.resize(256);
    for (int i = 0; i < 256; i++) frames[0].colours[i] = {(uint8_t)i, (uint8_t)(i / 2), (uint8_t)(255 - i)};
    std::string err;
    const std::vector<uint8_t> file = datakit::EncodeAnim(o, frames, &err);
    std::ofstream(dir + "/bench.cban", std::ios::binary).write((const char*)file.data(), (std::streamsize)file.size());
  }
  return dir;
}

void BM_PlayerDecodeMovieToRawFrames(benchmark::State& state) {
  MovieDir();
  std::vector<uint8_t> raw(320 * 200);
  int64_t frames = 0;
  for (auto _ : state) {
    Movie* m = MakeMovie(nullptr, ".\\bench.cban");
    if (!m) {
      state.SkipWithError("movie");
      return;
    }
    while (ReadNextMovieFrame(m)) {
      const ANIM5Handle* d = m->decoder;
      PlanarDescription pd{};
      const uint8_t* p = ANIM5NewestFrame(d);
      for (int i = 0; i < 8; i++) pd.planes[i] = p + i * 320 * 200 / 8;
      pd.dest = raw.data();
      pd.pitch = 320;
      pd.width = 320;
      pd.height = 200;
      pd.row_stride = 40;
      pd.bytes_per_pixel = 1;
      PlanarToChunky(&pd);
      benchmark::DoNotOptimize(raw.data());
      frames++;
    }
    FreeMovie(m);
  }
  state.counters["frames"] = benchmark::Counter((double)frames, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PlayerDecodeMovieToRawFrames)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FfmpegDecodeMovieToRawFrames(benchmark::State& state) {
  const std::string cmd = "ffmpeg -nostdin -v error -f iff -i '" + MovieDir() +
                          "/bench.cban' -fps_mode passthrough -f rawvideo -pix_fmt pal8 -y /dev/null";
  for (auto _ : state) {
    if (std::system(cmd.c_str()) != 0) {
      state.SkipWithError("ffmpeg");
      return;
    }
  }
  state.counters["frames"] = benchmark::Counter(100.0 * (double)state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FfmpegDecodeMovieToRawFrames)->Unit(benchmark::kMillisecond)->UseRealTime();

std::vector<uint8_t>& Planes640() {
  static std::vector<uint8_t> planes(640 * 480);
  for (size_t i = 0; i < planes.size(); i++) planes[i] = (uint8_t)(i * 37 + (i >> 7));
  return planes;
}

void BM_PlanarToChunky640x480(benchmark::State& state) {
  const std::vector<uint8_t>& planes = Planes640();
  std::vector<uint8_t> out(640 * 480);
  PlanarDescription pd{};
  for (int i = 0; i < 8; i++) pd.planes[i] = planes.data() + i * 640 * 480 / 8;
  pd.dest = out.data();
  pd.pitch = 640;
  pd.width = 640;
  pd.height = 480;
  pd.row_stride = 80;
  pd.bytes_per_pixel = 1;
  for (auto _ : state) {
    PlanarToChunky(&pd);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed((int64_t)state.iterations() * 640 * 480);
}
BENCHMARK(BM_PlanarToChunky640x480);

void BM_Memcpy640x480(benchmark::State& state) {
  const std::vector<uint8_t>& planes = Planes640();
  std::vector<uint8_t> out(640 * 480);
  for (auto _ : state) {
    std::memcpy(out.data(), planes.data(), out.size());
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed((int64_t)state.iterations() * 640 * 480);
}
BENCHMARK(BM_Memcpy640x480);

}  // namespace
