// Full-screen blits and fills beside a plain memcpy of the same bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "routinen/system/graphics.h"

namespace {

void BM_Memcpy(benchmark::State& state) {
  size_t bytes = 640 * 480 * (size_t)state.range(0) / 8;
  std::vector<uint8_t> a(bytes, 1), b(bytes, 2);
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), bytes);
    benchmark::DoNotOptimize(b.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)bytes);
}

void BM_BltBitMap(benchmark::State& state) {
  uint32_t depth = (uint32_t)state.range(0);
  BitMap* src = AllocBitMap(640, 480, depth, 0, nullptr);
  BitMap* dst = AllocBitMap(640, 480, depth, 0, nullptr);
  for (auto _ : state) {
    BltBitMap(src, 0, 0, dst, 0, 0, 640, 480);
    benchmark::DoNotOptimize(dst->Pixels);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed((int64_t)state.iterations() * dst->Size);
  FreeBitMap(dst);
  FreeBitMap(src);
}

void BM_RectFill(benchmark::State& state) {
  uint32_t depth = (uint32_t)state.range(0);
  BitMap* bm = AllocBitMap(640, 480, depth, 0, nullptr);
  RastPort rp;
  InitRastPort(&rp);
  rp.Bitmap = bm;
  uint32_t pen = 0;
  for (auto _ : state) {
    SetAPen(&rp, ++pen);
    RectFill(&rp, 0, 0, 639, 479);
    benchmark::DoNotOptimize(bm->Pixels);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed((int64_t)state.iterations() * bm->Size);
  FreeBitMap(bm);
}

}  // namespace

BENCHMARK(BM_Memcpy)->Arg(8)->Arg(32);
BENCHMARK(BM_BltBitMap)->Arg(8)->Arg(32);
BENCHMARK(BM_RectFill)->Arg(8)->Arg(32);
