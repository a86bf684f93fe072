// Fuzz target: arbitrary bytes as the chunks of a received turn (behind a
// valid INFO chunk with the right checksum, so the passes see them), run
// through every pass of the evaluation and the town and culture updates in a
// scratch folder on a memory file system.

#include <cstddef>
#include <cstdint>
#include <cstring>
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
#include "tests/support/fuzz_workdir.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool init = false;
  if (!init) {
    if (!EnterFuzzWorkDir("turns")) return 0;
    RegisterGameDataListTypes();
    SetGameDataOwner(7, "Fuzz");
    init = true;
  }
  if (size < 1 || size > 1 << 20) return 0;
  // The first byte picks the step; the rest are the turn's chunks.
  const uint8_t op = data[0] % 18;
  data++;
  size--;
  std::vector<uint8_t> pool(INFO_CHUNK_SIZE + size, 0);
  std::memcpy(pool.data(), "INFOV001", 8);
  PutBE32(pool.data() + 8, INFO_CHUNK_SIZE - 12);
  PutBE32(pool.data() + INFO_PLAYER_ID, 7);
  PutBE32(pool.data() + INFO_CHUNK_MASK, 0xFFFFFFFu);
  if (size) std::memcpy(pool.data() + INFO_CHUNK_SIZE, data, size);
  PutBE32(pool.data() + INFO_CHECKSUM, Crc32(pool.data() + INFO_CHUNK_SIZE, (uint32_t)size));
  SaveMem2File(ReceivedPoolPath, pool.data(), (uint32_t)pool.size());
  static const ChunkIndex kPasses[] = {CHUNK_INFO, CHUNK_WARE, CHUNK_VERT, CHUNK_MOVE, CHUNK_ARMY, CHUNK_SHIP,
                                       CHUNK_LAND, CHUNK_MAIL, CHUNK_GEBA, CHUNK_PMAP, CHUNK_ANTW};
  if (op < 11) {
    ChunkMachine(ReceivedPoolPath, 1u << kPasses[op], 1);
  } else if (op < 14) {
    static const ChunkIndex kOut[] = {CHUNK_ARMY, CHUNK_SHIP, CHUNK_INIT};
    ChunkMachine(OutgoingPoolPath, 1u << kOut[op - 11], 0);
  } else if (op == 14) {
    CheckPlayerTown();
    CheckTownStatus(0);
  } else if (op == 15) {
    CheckMapCultWorld();
    if (uint32_t* r = GetLuxusResources()) FreeVec(r);
  } else if (op == 16) {
    GameInit(ReceivedPoolPath);
  } else {
    GameExit();
  }
  return 0;
}
