// Entering the town view: DrawTown from its cache against composing the
// town from its building pictures, into 640 x 480 bitmaps of depth 8 and 32.
// Baseline in the same run: a memcpy of the 640 x 480 area at each depth.
// Goal: the cached draw under 2 ms.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/log.h"
#include "routinen/gamedata/towns.h"
#include "routinen/gui/ilbm.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/files.h"
#include "routinen/system/graphics.h"
#include "routinen/system/memory.h"
#include "screens/economy/drawtown.h"
#include "tests/support/bench_folder.h"

namespace {

// A working folder with a picture index of the building pictures (houses of
// 48 x 40) and a town of 20 standing buildings.
struct BenchTown {
  st_TOWN* town = nullptr;
  bool ok = false;
};

bool WriteFile(const std::string& path, const void* data, size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

BenchTown& Town() {
  static BenchTown b;
  static bool done = false;
  if (done) return b;
  done = true;
  DebugLogSetStderr(0);
  FileSyncWrites(0);
  const std::string folder = qoe_bench::BenchFolder("/tmp", "qoe_drawtown_");
  if (folder.empty() || chdir(folder.c_str()) != 0) return b;
  if (system("mkdir -p Data/Cities Gfx") != 0) return b;
  std::vector<uint8_t> index(12 + 704 * 64, 0);
  std::memcpy(index.data(), "QPTH", 4);
  PutBE16(index.data() + 4, 1);
  PutBE16(index.data() + 6, 704);
  std::vector<uint8_t> px(48 * 40);
  for (uint32_t id = kTownPictureFirst; id <= kTownPictureLast; ++id) {
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 48; ++x)
        px[y * 48 + x] = static_cast<uint8_t>(y < 16 && std::abs(x - 24) > y * 3 / 2 ? 255 : 40 + (id + x / 8 + y / 6) % 150);
    IlbmPicture pic{};
    pic.width = 48;
    pic.height = 40;
    pic.pixels = px.data();
    pic.masking = ILBM_MASK_TRANSPARENT;
    pic.transparent = 255;
    uint32_t size = 0;
    uint8_t* data = EncodeIlbm(&pic, nullptr, 0, &size);
    char name[64];
    std::snprintf(name, sizeof name, "Gfx/Town%04u.ilbm", id);
    if (!data || !WriteFile(name, data, size)) return b;
    FreeVec(data);
    uint8_t* r = index.data() + 12 + (id - 1) * 64;
    r[0] = 3;
    PutBE16(r + 2, 1);
    PutBE16(r + 4, 40);
    PutBE16(r + 6, 48);
    PutBE16(r + 8, 40);
    std::snprintf(reinterpret_cast<char*>(r + 12), 52, "Gfx\\Town%04u.ilbm", id);
  }
  if (!WriteFile("Data/Path", index.data(), index.size())) return b;
  b.town = CreateTown(1, "Elmor", 100, 100);
  if (!b.town) return b;
  b.town->level = 3;
  const uint32_t standing[] = {0, 1, 2, 14, 15, 16, 17, 19, 20, 21, 22, 23, 24, 25, 26, 27, 47, 51, 55, 139};
  for (uint32_t id : standing) b.town->buildings[id].flags = BUILDING_STANDS;
  b.ok = true;
  return b;
}

struct Target {
  BitMap* bm;
  RastPort rp;
};
Target MakeTarget(uint32_t depth) {
  Target t{AllocBitMap(640, 480, depth, BMF_CLEAR, nullptr), {}};
  InitRastPort(&t.rp);
  t.rp.Bitmap = t.bm;
  return t;
}

void BM_DrawTownCached(benchmark::State& state) {
  BenchTown& b = Town();
  Target t = MakeTarget(static_cast<uint32_t>(state.range(0)));
  if (!b.ok || !t.bm || DrawTown(&t.rp, b.town) == 0) {
    state.SkipWithError("set-up failed");
    FreeBitMap(t.bm);
    return;
  }
  for (auto _ : state)
    if (DrawTown(&t.rp, b.town) != 2) state.SkipWithError("no cache");
  FreeBitMap(t.bm);
}

void BM_DrawTownComposed(benchmark::State& state) {
  BenchTown& b = Town();
  Target t = MakeTarget(static_cast<uint32_t>(state.range(0)));
  if (!b.ok || !t.bm) {
    state.SkipWithError("set-up failed");
    FreeBitMap(t.bm);
    return;
  }
  for (auto _ : state) {
    state.PauseTiming();
    DeleteFileA(".\\Data\\Cities\\Elmor.image");
    state.ResumeTiming();
    if (DrawTown(&t.rp, b.town) != 1) state.SkipWithError("not composed");
  }
  FreeBitMap(t.bm);
}

void BM_MemcpyArea(benchmark::State& state) {
  const size_t bytes = 640u * 480u * static_cast<size_t>(state.range(0)) / 8u;
  std::vector<uint8_t> a(bytes, 1), c(bytes);
  for (auto _ : state) {
    std::memcpy(c.data(), a.data(), bytes);
    benchmark::DoNotOptimize(c.data());
  }
}

}  // namespace

BENCHMARK(BM_MemcpyArea)->Arg(8)->Arg(32)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawTownCached)->Arg(8)->Arg(32)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawTownComposed)->Arg(8)->Arg(32)->Unit(benchmark::kMicrosecond);
