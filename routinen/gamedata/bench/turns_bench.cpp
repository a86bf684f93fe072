// Applying a received turn of about 1 MB (a realm of 20 towns, a 3 x 3 map
// window of cells, figures, buildings, goods) with every pass and the town
// and culture updates, against copying the same bytes with one read and one
// whole-file write through the same file layer, and against one fread of the
// pool. Each case runs on a memory filesystem (/dev/shm) and on the disk
// (/var/tmp), so the cost of making the commits durable shows as the ratio
// of the two.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/log.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/towns.h"
#include "routinen/gamedata/turns.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/files.h"
#include "routinen/system/memory.h"
#include "routinen/system/prefs.h"
#include "tests/support/bench_folder.h"

namespace {

constexpr uint32_t kPlayer = 77;
constexpr size_t kMaxDiskPath = 512;
const uint32_t kCapX = 1040, kCapY = 520;

void Add(uint8_t* c, const char* pool) {
  AddChunkPool(c, pool);
  FreeChunk(c);
}

// Cells of the 3 x 3 window round the capital (minus a margin, about 1 MB).
uint8_t* WindowCells() {
  const uint32_t n = 44000;
  uint8_t* c = AllocChunk("PMAP", "V001", 4 + 22 * n);
  PutLE32(c + PMAP_COUNT, n);
  for (uint32_t i = 0; i < n; i++) {
    uint8_t* t = c + PMAP_CELLS + 22 * i;
    const uint32_t x = 960 + i % 240, y = 480 + i / 240;
    PutLE32(t, x);
    PutLE32(t + 4, y);
    PutLE16(t + 8, (uint16_t)(1 + (x * 7 + y * 3) % 91));
    PutLE32(t + 14, (i % 5) ? 0xFFFFFFFFu : kPlayer);
  }
  return c;
}

// Prepares the realm once per filesystem (0 memory, 1 disk) and makes its
// folder the working directory.
bool Setup(int disk) {
  static bool done[2] = {false, false}, ok[2] = {false, false};
  static std::string dirs[2];
  if (done[disk]) return ok[disk] && chdir(dirs[disk].c_str()) == 0;
  done[disk] = true;
  const std::string dir = qoe_bench::BenchFolder(disk ? "/var/tmp" : "/dev/shm", "qoe_bench_turns_");
  if (dir.empty() || chdir(dir.c_str()) != 0) return false;
  dirs[disk] = dir;
  DebugLogSetStderr(0);
  CreateDir(".\\Data");
  CreateDir(".\\Data\\POP3In");
  SetGameDataOwner(kPlayer, "Bench");
  // Sign-up answer.
  Add(WindowCells(), ReceivedPoolPath);
  uint8_t* b = AllocChunk("BMAP", "V001", 4 + 9 * BMAP_PART_SIZE);
  PutBE32(b + BMAP_COUNT, 9);
  for (uint32_t i = 0; i < 9; i++) {
    PutBE16(b + BMAP_PARTS + BMAP_PART_SIZE * i, (uint16_t)(12 + i % 3));
    PutBE16(b + BMAP_PARTS + BMAP_PART_SIZE * i + 2, (uint16_t)(12 + i / 3));
    std::memset(b + BMAP_PARTS + BMAP_PART_SIZE * i + 4, 0x55, 400);
  }
  Add(b, ReceivedPoolPath);
  uint8_t* im = AllocChunk("IMAP", "V001", IMAP_SIZE - 12);
  PutBE32(im + IMAP_CAPITAL_X, kCapX);
  PutBE32(im + IMAP_CAPITAL_Y, kCapY);
  PutBE32(im + IMAP_DUNGEON_X, kCapX + 3);
  PutBE32(im + IMAP_DUNGEON_Y, kCapY);
  std::strcpy(reinterpret_cast<char*>(im + IMAP_CAPITAL_NAME), "Benchford");
  Add(im, ReceivedPoolPath);
  if (!GameInit(ReceivedPoolPath)) return false;
  // The turn: 20 towns, 200 figures, 200 buildings, 100 goods records.
  uint8_t* town = AllocChunk("TOWN", "V002", 2 + 106 * 20);
  ChunkPut16(town, 12, 20);
  for (uint32_t i = 0; i < 20; i++) {
    uint8_t* r = town + 14 + 106 * i;
    ChunkPut32(r, 0, i + 1);
    std::snprintf(reinterpret_cast<char*>(r + 4), 80, "Town %u", i + 1);
    ChunkPut32(r, 84, kCapX + i * 3);
    ChunkPut32(r, 88, kCapY + i);
    ChunkPut32(r, 92, 1000 + i);
    ChunkPut32(r, 100, 1 + i % 4);
  }
  Add(town, ReceivedPoolPath);
  uint8_t* move = AllocChunk("MOVE", "V001", 2 + 18 * 200);
  ChunkPut16(move, 12, 200);
  for (uint32_t i = 0; i < 200; i++)
    PutFigurRecord(move + 14 + 18 * i, FigurRecord{kPlayer, (uint16_t)(i % 21), (uint16_t)i, kCapX + i, kCapY, 0, 4});
  Add(move, ReceivedPoolPath);
  uint8_t* geba = AllocChunk("GEBA", "V001", 6 + 16 * 200);
  ChunkPut16(geba, 16, 200);
  for (uint32_t i = 0; i < 200; i++) {
    ChunkPut16(geba + 18 + 16 * i, 0, (uint16_t)(i % 235));
    ChunkPut16(geba + 18 + 16 * i, 14, (uint16_t)(1 + i % 20));
  }
  Add(geba, ReceivedPoolPath);
  uint8_t* ware = AllocChunk("WARE", "V001", 2 + 36 * 100);
  ChunkPut16(ware, 12, 100);
  Add(ware, ReceivedPoolPath);
  uint8_t* korn = AllocChunk("KORN", "V001", 52);
  ChunkPut32(korn, 12, 1204);
  Add(korn, ReceivedPoolPath);
  Add(AllocChunk("LAND", "V001", 160), ReceivedPoolPath);
  uint8_t* antw = AllocChunk("ANTW", "V001", 4 + 84 * 50);
  ChunkPut32(antw, 12, 50);
  for (uint32_t i = 0; i < 50; i++) ChunkPut32(antw, 16 + 84 * i, 1000 + i);
  Add(antw, ReceivedPoolPath);
  ok[disk] = true;
  return true;
}

void BM_ApplyTurn(benchmark::State& state) {
  if (!Setup((int)state.range(1))) {
    state.SkipWithError("set-up failed");
    return;
  }
  static const ChunkIndex kPasses[] = {CHUNK_INFO, CHUNK_WARE, CHUNK_MOVE, CHUNK_LAND, CHUNK_GEBA, CHUNK_PMAP,
                                       CHUNK_ANTW};
  const bool fresh = state.range(0) != 0;
  for (auto _ : state) {
    if (fresh) {
      // Every file is written anew: nothing of the last run is left to keep.
      state.PauseTiming();
      DeleteDir(".\\Map", "M_");
      DeleteDir(".\\Map", "B_");
      DeleteDir(".\\Data\\Cities", nullptr);
      DeleteFileA(MapPrefsPath);
      state.ResumeTiming();
    }
    for (ChunkIndex c : kPasses) benchmark::DoNotOptimize(ChunkMachine(ReceivedPoolPath, 1u << c, 1));
    benchmark::DoNotOptimize(ChunkMachine(ReceivedPoolPath, 1u << CHUNK_ARMY, 1));
    CheckPlayerTown();
    CheckTownStatus(0);
    CheckMapCultWorld();
  }
  state.SetBytesProcessed((int64_t)state.iterations() * GeFileSize(ReceivedPoolPath));
}
// First argument 0: the same turn again (unchanged files are kept), 1: a
// realm's files written anew; second 0: memory filesystem, 1: disk.
BENCHMARK(BM_ApplyTurn)
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({0, 1})
    ->Args({1, 1})
    ->Unit(benchmark::kMillisecond);

// The baseline: one read and one whole-file write of the same bytes.
void BM_CopyTurnBytes(benchmark::State& state) {
  if (!Setup((int)state.range(0))) {
    state.SkipWithError("set-up failed");
    return;
  }
  for (auto _ : state) {
    uint32_t size = 0;
    void* d = LoadFile2MemSize(ReceivedPoolPath, 0, &size);
    benchmark::DoNotOptimize(SaveMem2File(".\\Data\\copy.qoe", d, size));
    FreeVec(d);
  }
  state.SetBytesProcessed((int64_t)state.iterations() * GeFileSize(ReceivedPoolPath));
}
BENCHMARK(BM_CopyTurnBytes)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The other baseline: one fread of the whole pool.
void BM_ReadTurnPool(benchmark::State& state) {
  char disk[kMaxDiskPath];
  if (!Setup((int)state.range(0)) || !ResolvePath(ReceivedPoolPath, disk, sizeof disk)) {
    state.SkipWithError("set-up failed");
    return;
  }
  std::vector<char> buf(GeFileSize(ReceivedPoolPath));
  for (auto _ : state) {
    FILE* f = std::fopen(disk, "rb");
    benchmark::DoNotOptimize(f ? std::fread(buf.data(), 1, buf.size(), f) : 0);
    if (f) std::fclose(f);
  }
  state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)buf.size());
}
BENCHMARK(BM_ReadTurnPool)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
