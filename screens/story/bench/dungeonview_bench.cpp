// The dungeon view drawn with every element in sight up to distance 4 (the
// kit's graphics loaded, on the headless display at depth 8 and at depth
// 32), against a memcpy of the 400 x 300 view in the same depth. Counter
// "vs_memcpy": the ratio of the mean times.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/headless.h"
#include "platform/log.h"
#include "routinen/gui/pictures.h"
#include "screens/common/screenbase.h"
#include "screens/story/dungeon.h"
#include "tests/support/bench_folder.h"

namespace {

// Doors open, traps sprung, chests open and closed at every place ahead.
const char kRoom[] =
    "size 9 7\n"
    "#########\n"
    "#GTFGTGA#\n"
    "#F GTG F#\n"
    "#G T T F#\n"
    "#T F G G#\n"
    "#       #\n"
    "####E####\n";

// The kit's data in a fresh temporary folder, once.
bool InData() {
  static const bool ok = [] {
    const std::string dir = qoe_bench::BenchFolder("/tmp", "qoe_dvbench_");
    if (dir.empty()) return false;
    std::error_code ec;
    std::filesystem::copy(QOE_KIT_DIR, dir, std::filesystem::copy_options::recursive, ec);
    DebugLogSetStderr(0);
    return !ec && chdir(dir.c_str()) == 0;
  }();
  return ok;
}

struct Room {
  DungeonData d{};
  bool ok = false;
  ScreenBase base{};
  bool opened = false, display = false;
  Room(uint32_t mode, uint32_t depth) {
    if (!InData() || HeadlessOpenDisplay(mode) != 1) return;
    display = true;
    // The screen's picture gives the view bitmap the display's depth.
    if (!OpenScreenPicture(&base, 1293, 1)) return;
    opened = true;
    InitDungeonData(&d);
    if (!DungeonParseMap(&d, kRoom, sizeof kRoom - 1) || !AllocDungeonView(&d)) return;
    for (uint32_t i = 0; i < (uint32_t)d.mapWidth * d.mapHeight; ++i)
      if (d.maps[0][i] != 'G' || i % 2) d.cells[i].state |= kCellOpen;
    d.playerX = 4, d.playerY = 5, d.facing = 0;
    DungeonDrawView(&d);  // loads the graphics
    // Floor and chest loaded, the view in the display's depth.
    ok = ElmorGfxOpenCount(1297) != 0 && ElmorGfxOpenCount(1509) != 0 && d.viewBitMap->Depth == depth;
  }
  ~Room() {
    FreeDungeonGraphics(1);
    FreeDungeonData(&d);
    if (opened) CloseScreenBase(&base, 0);
    FreeAllElmorGfx();
    if (display) HeadlessCloseDisplay();
  }
};

double MemcpySeconds(uint32_t bytes_per_pixel) {
  std::vector<uint8_t> a(400 * 300 * bytes_per_pixel, 7), b(a.size());
  const int n = 2000;
  auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < n; ++i) {
    std::memcpy(b.data(), a.data(), a.size());
    benchmark::DoNotOptimize(b.data());
    benchmark::ClobberMemory();
  }
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() / n;
}

void DrawView(benchmark::State& state, uint32_t mode, uint32_t bytes_per_pixel) {
  Room room(mode, bytes_per_pixel * 8);
  if (!room.ok) return state.SkipWithError("no display or no kit data");
  const double copy = MemcpySeconds(bytes_per_pixel);
  double total = 0;
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    DungeonDrawView(&room.d);
    total += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  }
  state.counters["vs_memcpy"] = total / double(state.iterations()) / copy;
}

void BM_DungeonDrawViewDepth8(benchmark::State& state) { DrawView(state, 0, 1); }
void BM_DungeonDrawViewDepth32(benchmark::State& state) { DrawView(state, 4, 4); }

BENCHMARK(BM_DungeonDrawViewDepth8)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DungeonDrawViewDepth32)->Unit(benchmark::kMicrosecond);

}  // namespace
