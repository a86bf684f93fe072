// Loading and scanning a pool of about 1 MB that holds every chunk type,
// against reading the same file with one fread.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "platform/log.h"
#include "routinen/system/memory.h"
#include "tests/support/bench_folder.h"

namespace {

const char* const kPool = ".\\bench_pool.qoe";

template <class T>
T* Append(ListHeader* l) {
  T* n = reinterpret_cast<T*>(AllocListNode(l));
  AddNode(l, &n->head, LN_TAIL, 0);
  return n;
}

void AddList(ListHeader* l, uint8_t* (*make)(ListHeader*)) {
  uint8_t* c = make(l);
  AddChunkPool(c, kPool);
  FreeChunk(c);
  DeleteList(l, 0);
}

// Builds the pool once in a fresh temporary folder; returns the disk path.
std::string MakePool() {
  static std::string path;
  if (!path.empty()) return path;
  const std::string dir = qoe_bench::BenchFolder("/tmp", "qoe_bench_");
  if (dir.empty() || chdir(dir.c_str()) != 0) return path;
  DebugLogSetStderr(0);
  RegisterGameDataListTypes();
  const char* fixed[][2] = {{"KORN", "52"}, {"LAND", "160"}, {"TAXE", "72"}, {"FORS", "16"},
                            {"INIT", "772"}, {"MREF", "16"}, {"PMAP", "3600"}, {"BMAP", "3600"},
                            {"IMAP", "3600"}, {"PREF", "400"}, {"EROR", "64"}, {"PPRF", "64"}};
  for (auto& f : fixed) {
    uint8_t* c = AllocChunk(f[0], "V001", (uint32_t)atoi(f[1]));
    AddChunkPool(c, kPool);
    FreeChunk(c);
  }
  ListHeader* l = CreateList(LIST_FIGURES);
  for (uint32_t i = 0; i < 20000; i++) Append<MOVE_EXT>(l)->figure = {i, 1, (uint16_t)i, i, i, 0, 4};
  AddList(l, MakeFigurChunkFromList);
  l = CreateList(LIST_GOODS);
  for (uint32_t i = 0; i < 5000; i++) Append<WarenListenEntry>(l)->goods = i % 116;
  AddList(l, MakeWareChunkFromList);
  l = CreateList(LIST_SHIPS);
  for (uint32_t i = 0; i < 2000; i++) Append<Schiffseintrag>(l)->ship_id = (uint16_t)i;
  AddList(l, MakeShipChunkFromList);
  l = CreateList(LIST_HERBS);
  for (uint32_t i = 0; i < 10000; i++) Append<KrautEintrag>(l)->x = i;
  AddList(l, MakeHerbChunkFromList);
  l = CreateList(LIST_CONTRACTS);
  for (uint32_t i = 0; i < 3000; i++) Append<VertragsEintrag>(l)->amount = i;
  AddList(l, MakeVertragChunkFromList);
  l = CreateList(LIST_SPECIALISTS);
  for (uint32_t i = 0; i < 500; i++) Append<SpezialistEintrag>(l)->figure = i;
  AddList(l, MakeSpezialistenChunkFromList);
  ListHeader* armies = CreateList(LIST_ARMIES);
  for (uint32_t i = 0; i < 500; i++) {
    Army* a = Append<Army>(armies);
    a->ArmeeID = i;
    a->parts = CreateList(LIST_ARMY_PARTS);
    for (int t = 0; t < 3; t++) Append<ArmeeTyp>(a->parts)->Leute = 10;
  }
  uint8_t* c = CovertArmyList2ArmyChunk(armies);
  AddChunkPool(c, kPool);
  FreeChunk(c);
  DeleteArmyList(armies);
  const char* recs[][2] = {{"BAUE", "16"}, {"GEBA", "16"}, {"TOWN", "92"}, {"ANFR", "4"},
                           {"ANTW", "84"}, {"KRIG", "72"}, {"MAIL", "0"}, {"SMAL", "0"}};
  for (auto& r : recs) {
    bool u16 = !strcmp(r[0], "BAUE") || !strcmp(r[0], "TOWN");
    bool geba = !strcmp(r[0], "GEBA");
    uint32_t n = 100, size = (uint32_t)atoi(r[1]);
    uint32_t head = geba ? 6 : u16 ? 2 : 4;
    if (!strcmp(r[0], "SMAL")) { head = 280; n = 0; }
    uint8_t* ch = AllocChunk(r[0], "V001", head + n * size);
    if (u16) ChunkPut16(ch, 12, (uint16_t)n);
    else if (geba) ChunkPut16(ch, 16, (uint16_t)n);
    else if (head == 4) ChunkPut32(ch, 12, n * (size != 0));
    AddChunkPool(ch, kPool);
    FreeChunk(ch);
  }
  path = std::string(dir) + "/bench_pool.qoe";
  return path;
}

void BM_LoadAndScanPool(benchmark::State& state) {
  MakePool();
  for (auto _ : state) {
    for (uint32_t i = 0; i < CHUNK_TYPES; i++) {
      uint8_t* c = LoadChunk2Mem(ChunkIdTable[i], kPool);
      if (!c) state.SkipWithError("chunk missing");
      ListHeader* l = nullptr;
      switch (i) {
        case CHUNK_MOVE: l = CreateList(LIST_FIGURES); ScanFigur2List(l, c); break;
        case CHUNK_WARE: l = CreateList(LIST_GOODS); ScanWare2List(l, c); break;
        case CHUNK_SHIP: l = CreateList(LIST_SHIPS); ScanShip2List(l, c); break;
        case CHUNK_HERB: l = CreateList(LIST_HERBS); ScanHerb2List(l, c); break;
        case CHUNK_VERT: l = CreateList(LIST_CONTRACTS); ScanVertrag2List(l, c); break;
        case CHUNK_SPEZ: l = CreateList(LIST_SPECIALISTS); ScanSpezialisten2List(l, c); break;
        case CHUNK_ANTW: l = CreateList(LIST_PLAYERS); ScanSpieler2List(l, c); break;
        case CHUNK_ARMY: DeleteArmyList(ScanArmy2List(c)); break;
        default: break;
      }
      DeleteList(l, 0);
      FreeChunk(c);
    }
  }
}
BENCHMARK(BM_LoadAndScanPool)->Unit(benchmark::kMillisecond);

void BM_FreadPool(benchmark::State& state) {
  std::string path = MakePool();
  for (auto _ : state) {
    FILE* f = std::fopen(path.c_str(), "rb");
    std::fseek(f, 0, SEEK_END);
    long n = std::ftell(f);
    std::fseek(f, 0, SEEK_SET);
    void* buf = AllocVec((uint32_t)n, MEMF_PUBLIC);
    benchmark::DoNotOptimize(std::fread(buf, 1, (size_t)n, f));
    std::fclose(f);
    FreeVec(buf);
    state.counters["bytes"] = (double)n;
  }
}
BENCHMARK(BM_FreadPool)->Unit(benchmark::kMillisecond);

}  // namespace
