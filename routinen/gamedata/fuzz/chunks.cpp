// Fuzz target: arbitrary bytes as a chunk file. Every chunk type is looked
// up (what LoadChunk2Mem does after reading the file) and every chunk that
// loads goes through its scan function and back. The last byte also picks
// one side file that gets the bytes and is scanned. The bytes are also the
// outgoing pool: the pool writers add and remove chunks on it, and a pool
// they wrote must load whole. Files are not synced to disk (speed).
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "platform/log.h"
#include "routinen/system/files.h"
#include "routinen/system/memory.h"

namespace {

void ScanAndMake(const char* id, uint8_t* c) {
  auto run = [&](uint32_t type, int32_t (*scan)(ListHeader*, const void*), uint8_t* (*make)(ListHeader*)) {
    ListHeader* l = CreateList(type);
    if (l && scan(l, c) && make) FreeChunk(make(l));
    DeleteList(l, 0);
  };
  if (!std::memcmp(id, "SHIP", 4)) run(LIST_SHIPS, ScanShip2List, MakeShipChunkFromList);
  if (!std::memcmp(id, "SPEZ", 4)) run(LIST_SPECIALISTS, ScanSpezialisten2List, MakeSpezialistenChunkFromList);
  if (!std::memcmp(id, "WARE", 4)) run(LIST_GOODS, ScanWare2List, MakeWareChunkFromList);
  if (!std::memcmp(id, "VERT", 4)) run(LIST_CONTRACTS, ScanVertrag2List, MakeVertragChunkFromList);
  if (!std::memcmp(id, "HERB", 4)) run(LIST_HERBS, ScanHerb2List, MakeHerbChunkFromList);
  if (!std::memcmp(id, "MOVE", 4)) {
    run(LIST_FIGURES, ScanFigur2List, MakeFigurChunkFromList);
    GetFreeFigurNummer(c);
  }
  if (!std::memcmp(id, "ANTW", 4)) {
    ListHeader* l = CreateList(LIST_PLAYERS);
    char name[80];
    if (l && ScanSpieler2List(l, c)) FindPlayerNameInList(1, name, l);
    DeleteList(l, 0);
  }
  if (!std::memcmp(id, "GEBA", 4)) CheckOtherBuilding(c, 1, 1);
  if (!std::memcmp(id, "ARMY", 4)) {
    ListHeader* a = ScanArmy2List(c);
    if (a) {
      FreeChunk(CovertArmyList2ArmyChunk(a));
      for (ListNode* n = a->first; n && a->count; n = n->next) {
        GetArmyTyp(reinterpret_cast<Army*>(n));
        if (n->next == a->first) break;
      }
      GetArmySoldatenAnzahl(a, 1);
      FindNodeByName(a, "x");
      DeleteArmyList(a);
    }
  }
}

// The bytes as the outgoing pool, checked whole; a KORN chunk added, a type
// (picked by the first byte) removed. Whatever the writers accept must read
// back.
void PoolWriters(const uint8_t* data, uint32_t size) {
  static const char kPool[] = ".\\Data\\POP3Out\\GameChunk.qoe";
  if (!SaveMem2File(kPool, data, size)) return;
  const bool whole = VerifyChunkPool(data, size) && size >= 12 && std::memcmp(data, "INFO", 4) == 0;
  // A file that checks out whole holds no chunk that fails to load.
  char damaged[5];
  if (FileChunksState(kPool, damaged) == CHUNK_GOOD)
    for (uint32_t i = 0; i < CHUNK_TYPES; i++)
      if (ChunkState(ChunkIdTable[i], kPool) == CHUNK_DAMAGED) __builtin_trap();
  uint8_t* korn = AllocChunk("KORN", "V001", 52);
  if (!korn) return;
  ChunkPut32(korn, 12, size);
  const int32_t added = AddChunkPool(korn, kPool);
  FreeChunk(korn);
  if (added && !whole) __builtin_trap();  // a damaged pool was rewritten
  const char* id = ChunkIdTable[data[0] % CHUNK_TYPES];
  const int32_t removed = RemChunkPool(id, kPool);
  if (added) {
    if (!removed && std::memcmp(id, "INFO", 4) != 0) __builtin_trap();
    uint8_t* info = LoadChunk2Mem("INFO", kPool);
    if (!info) __builtin_trap();  // the writers left a pool that does not load
    FreeChunk(info);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool init = false;
  if (!init) {
    // The side files go to a private folder, never into the caller's.
    // In memory where there is a memory file system: renames over files
    // on a disk file system wait for the disk.
    char dir[] = "/dev/shm/qoe_fuzz_chunks_XXXXXX";
    char disk_dir[] = "/tmp/qoe_fuzz_chunks_XXXXXX";
    const char* made = mkdtemp(dir);
    if (!made) made = mkdtemp(disk_dir);
    if (!made || chdir(made) != 0) return 0;
    mkdir("Data", 0755);
    mkdir("Data/MailIn", 0755);
    mkdir("Map", 0755);
    mkdir("Data/POP3Out", 0755);
    FileSyncWrites(0);
    RegisterGameDataListTypes();
    DebugLogSetStderr(0);
    init = true;
  }
  if (size > 1 << 20) return 0;
  VerifyChunkPool(data, (uint32_t)size);
  for (uint32_t i = 0; i < CHUNK_TYPES; i++) {
    uint8_t* c = ChunkFromBuffer(ChunkIdTable[i], data, (uint32_t)size);
    if (!c) continue;
    ScanAndMake(ChunkIdTable[i], c);
    uint32_t len = 12 + ChunkLength(c);
    SwapByteOrderInChunk(c, len, 0);  // back to disk order must always work
    FreeChunk(c);
  }
  if (size == 0) return 0;
  PoolWriters(data, (uint32_t)size);
  switch (data[size - 1] % 5) {
    case 0: {
      SaveMem2File(".\\Data\\ShipAddOn.dat", data, (uint32_t)size);
      DeleteList(ScanShipAddOn2List(), 0);
      break;
    }
    case 1: {
      SaveMem2File(".\\Data\\MapNames.dat", data, (uint32_t)size);
      ListHeader* l = CreateList(LIST_MAP_NAMES);
      ScanMapNames2List(l);
      DeleteList(l, 0);
      break;
    }
    case 2: {
      SaveMem2File(".\\Map\\C_1_1.qoe", data, (uint32_t)size);
      ListHeader* l = CreateList(LIST_CULTURE_FIELDS);
      ScanMapCult2List(l, 1, 1);
      DeleteList(l, 0);
      break;
    }
    case 3: {
      SaveMem2File(".\\Data\\MailIn\\E0000001_00.smal", data, (uint32_t)size);
      ListHeader* l = CreateList(LIST_LETTERS);
      ScanSmals2List(l, ".\\Data\\MailIn", "        _  .smal", 0);
      DeleteList(l, 1);
      break;
    }
    case 4: {
      SaveMem2File(".\\Data\\MapPrefs.qoe", data, (uint32_t)size);
      RemoveFigurFromMapPrefs(MapPrefsPath, 2, 1, 1, -2);
      break;
    }
  }
  return 0;
}
