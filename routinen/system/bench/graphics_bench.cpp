// Full-screen blits and fills beside a plain memcpy of the same bytes.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

#include "routinen/system/graphics.h"

namespace {

void BM_Memcpy(benchmark::State& state) {
  size_t bytes = 640 * 480 * (size_t)state.range(0) / 8;
  // Both halves of one block: two separate blocks of the 8-bit size make
  // this machine's memcpy ten times slower than usual, which would flatter
  // every ratio against it.
  std::vector<uint8_t> block(2 * bytes + 4096, 1);
  uint8_t* a = block.data();
  uint8_t* b = block.data() + bytes + 64;
  for (auto _ : state) {
    std::memcpy(b, a, bytes);
    benchmark::DoNotOptimize(b);
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

// One memcpy of n bytes (the two halves of one block, as in BM_Memcpy), in
// seconds: the baseline of the masked blits' "vs_memcpy" counters.
double MemcpySeconds(size_t bytes) {
  std::vector<uint8_t> block(2 * bytes + 4096, 1);
  uint8_t* a = block.data();
  uint8_t* b = block.data() + bytes + 64;
  double best = 1e9;
  for (int round = 0; round < 200; round++) {
    auto t0 = std::chrono::steady_clock::now();
    std::memcpy(b, a, bytes);
    benchmark::DoNotOptimize(b);
    benchmark::ClobberMemory();
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  return best;
}

// A masked full-screen blit. Arg 1 picks the mask: 0 the colour key (pen 0
// / black), 1 an explicit mask. Arg 2 its shape: 0 the map's tiles
// (diamonds of 64 x 32, the corners transparent), 1 the movies' objects
// (round shapes of 48 x 48 on a transparent ground). Bytes are the whole
// area's, so the rate compares with BM_Memcpy of the same depth; the counter
// "vs_memcpy" is that ratio against a memcpy timed in the same run (the
// fastest of many rounds on both sides).
void BM_BltMaskBitMap(benchmark::State& state) {
  const uint32_t depth = (uint32_t)state.range(0);
  const bool explicit_mask = state.range(1) != 0;
  const bool objects = state.range(2) != 0;
  BitMap* src = AllocBitMap(640, 480, depth, 0, nullptr);
  BitMap* dst = AllocBitMap(640, 480, depth, 0, nullptr);
  std::vector<uint8_t> mask(640 * 480);
  const uint32_t bpp = depth / 8;
  for (uint32_t y = 0; y < 480; y++)
    for (uint32_t x = 0; x < 640; x++) {
      bool opaque;
      if (objects) {
        const int32_t cx = (int32_t)(x % 48) - 24, cy = (int32_t)(y % 48) - 24;
        opaque = cx * cx + cy * cy < 22 * 22;
      } else {
        const int32_t tx = (int32_t)(x % 64) - 32, ty = (int32_t)(y % 32) - 16;
        opaque = 2 * (tx < 0 ? -tx : tx) + 4 * (ty < 0 ? -ty : ty) < 64;
      }
      mask[y * 640 + x] = opaque;
      uint8_t* p = src->Pixels + y * src->BytesPerRow + x * bpp;
      for (uint32_t b = 0; b < bpp; b++) p[b] = opaque ? (uint8_t)(1 + (x + y + b) % 200) : 0;
    }
  RastPort rp;
  InitRastPort(&rp);
  rp.Bitmap = dst;
  auto blit = [&] {
    BltMaskBitMapRastPort(src, 0, 0, &rp, 0, 0, 640, 480, 0xE0, explicit_mask ? mask.data() : nullptr);
    benchmark::DoNotOptimize(dst->Pixels);
    benchmark::ClobberMemory();
  };
  double best = 1e9;
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    blit();
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  state.SetBytesProcessed((int64_t)state.iterations() * dst->Size);
  state.counters["vs_memcpy"] = MemcpySeconds(dst->Size) / best;
  FreeBitMap(dst);
  FreeBitMap(src);
}

}  // namespace

BENCHMARK(BM_Memcpy)->Arg(8)->Arg(32);
BENCHMARK(BM_BltMaskBitMap)
    ->Args({8, 0, 0})
    ->Args({8, 1, 0})
    ->Args({8, 1, 1})
    ->Args({32, 0, 0})
    ->Args({32, 1, 0})
    ->Args({32, 1, 1});
BENCHMARK(BM_BltBitMap)->Arg(8)->Arg(32);
BENCHMARK(BM_RectFill)->Arg(8)->Arg(32);
