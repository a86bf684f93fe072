// Model files and objects against baselines measured in the same run:
// loading a 2,000-face model with one 256 x 256 JPEG texture (uploads
// stubbed) against decoding that JPEG alone with libjpeg, the two timed in
// turn (counter "vs_jpeg", goal at most 1.3; the reported time covers
// both), and TransformObject over 100,000 points
// against memcpy of the same bytes (counter "vs_memcpy").
#include <benchmark/benchmark.h>
#include <cstdio>
#include <jpeglib.h>

#include <chrono>
#include <cstring>
#include <vector>

#include "platform/log.h"
#include "routinen/graphics_lowlevel_3d/bench/seconds_per_call.h"
#include "routinen/graphics_lowlevel_3d/gl3d_internal.h"
#include "routinen/graphics_lowlevel_3d/tests/jpeg_encode.h"
#include "tools/datakit/qoe_writer.h"

namespace {

template <typename F>
void Measure(benchmark::State& state, const char* counter, double base, F fn) {
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    fn();
    benchmark::ClobberMemory();
  }
  const double per = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() /
                     double(state.iterations());
  state.counters[counter] = per / base;
}

void Engine3D(uint32_t points) {
  static bool once = [] {
    DebugLogSetStderr(0);
    return true;
  }();
  (void)once;
  FreeAllThings();
  InitEngineDefaults();
  EngineRecord& e = *Engine();
  e.half_textures = 1;
  e.mipmapping = 0;
  e.cap_points = e.cap_point_indices = points;
  RegisterEngineThings();
  SetIndividualTextures(0);
}

// libjpeg alone: the picture decoded into one buffer.
void DecodeOnly(const std::vector<uint8_t>& jpeg, std::vector<uint8_t>& out) {
  jpeg_decompress_struct c{};
  jpeg_error_mgr err{};
  c.err = jpeg_std_error(&err);
  jpeg_create_decompress(&c);
  jpeg_mem_src(&c, jpeg.data(), jpeg.size());
  jpeg_read_header(&c, TRUE);
  c.out_color_space = JCS_RGB;
  jpeg_start_decompress(&c);
  while (c.output_scanline < c.output_height) {
    JSAMPROW row = out.data() + size_t(c.output_scanline) * c.output_width * 3;
    jpeg_read_scanlines(&c, &row, 1);
  }
  jpeg_finish_decompress(&c);
  jpeg_destroy_decompress(&c);
}

void BM_LoadQOE2000Faces(benchmark::State& state) {
  constexpr uint32_t kSide = 256, kFaces = 2000;
  std::vector<uint8_t> rgb(kSide * kSide * 3);
  for (uint32_t y = 0; y < kSide; y++)
    for (uint32_t x = 0; x < kSide; x++)
      for (uint32_t k = 0; k < 3; k++) rgb[(y * kSide + x) * 3 + k] = uint8_t((x * 3 + y * 5) * (k + 1) + (x ^ y));
  datakit::QoeModel m;
  datakit::QoeTexture t;
  t.name = "ground";
  t.file = "bmp/ground.jpg";
  t.width = t.height = kSide;
  t.bits = 24;
  t.picture = datakit::QoeTexture::kJpeg;
  t.jpeg = enginetest::EncodeJpeg(rgb.data(), kSide, kSide, 3, 85);
  m.textures.push_back(t);
  for (uint32_t f = 0; f < kFaces; f++) {
    for (uint32_t k = 0; k < 4; k++) {
      datakit::QoePoint p;
      p.x = float(f % 50) + float(k & 1);
      p.z = float(f / 50) + float(k >> 1);
      p.u = p.x / 50;
      p.v = p.z / 40;
      m.points.push_back(p);
      m.indices.push_back(f * 4 + k);
    }
    m.faces.push_back({f * 4, 4, 0});
  }
  datakit::QoeObject o;
  o.name = "Grid";
  o.point_count = o.index_count = kFaces * 4;
  o.face_count = kFaces;
  m.objects.push_back(o);
  const std::vector<uint8_t> file = datakit::WriteQoe(m, false);
  Engine3D(kFaces * 4);
  std::vector<uint8_t> out(kSide * kSide * 3);
  // The decode alone and the load alternate, so that a busy machine slows
  // both alike; the counter is the ratio of their summed times.
  using Clock = std::chrono::steady_clock;
  double decode = 0, load = 0;
  DecodeOnly(t.jpeg, out);
  for (auto _ : state) {
    const auto a = Clock::now();
    DecodeOnly(t.jpeg, out);
    const auto b = Clock::now();
    ClearThings(kThingReset);
    if (LoadQOEMemory(file.data(), uint32_t(file.size()), "bench.qoe") != 0) state.SkipWithError("load failed");
    benchmark::ClobberMemory();
    const auto c = Clock::now();
    decode += std::chrono::duration<double>(b - a).count();
    load += std::chrono::duration<double>(c - b).count();
  }
  state.counters["vs_jpeg"] = decode > 0 ? load / decode : 0;
  FreeAllThings();
}

void BM_TransformObject100k(benchmark::State& state) {
  constexpr uint32_t kPoints = 100000;
  Engine3D(kPoints);
  NewObject("Cloud", 0);
  NewFace(0);
  for (uint32_t i = 0; i < kPoints; i++) NewPoint(float(i % 317), float(i % 13), float(i / 317), 0, 0, 0, 0, 0);
  OBJECT3D* o = static_cast<OBJECT3D*>(ThingAt(THING_OBJECT3D, 0));
  float m[16];
  SetMry(m, 0.001f);
  std::vector<uint8_t> a(kPoints * sizeof(POINT3D), 1), b(a.size());
  const double base = SecondsPerCall([&] {
    std::memcpy(b.data(), a.data(), a.size());
    benchmark::DoNotOptimize(b.data());
    benchmark::ClobberMemory();
  }, 100);
  Measure(state, "vs_memcpy", base, [&] { TransformObject(o, m); });
  FreeAllThings();
}

}  // namespace

BENCHMARK(BM_LoadQOE2000Faces)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TransformObject100k)->Unit(benchmark::kMicrosecond);
