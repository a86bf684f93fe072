// The map orders' chunk steps over any bytes: the first byte picks the step,
// the rest is the old chunk (disk order) or a pool image. The KRIG append
// keeps its count within its length and never reads past the bytes; the
// HERB and WARE merges take any chunk their layout check lets through.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/log.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/map/mapaction.h"
#include "routinen/system/memory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = (DebugLogSetStderr(0), RegisterGameDataListTypes(), true);
  (void)ready;
  if (size < 1 || size > (1u << 20)) return 0;
  const uint8_t step = data[0] % 4;
  const uint8_t* rest = data + 1;
  const uint32_t n = (uint32_t)size - 1;
  const FigurRecord a{1001, 1, 14, 6398, 3199, 3, 4}, t{2002, 3, 7, 6398, 3200, 0, 4};
  if (step == 0) {
    uint8_t* c = KriegsChunkAppend(n ? rest : nullptr, n, a, t);
    if (c) {
      const uint32_t count = ChunkGet32(c, 12);
      if (ChunkLength(c) != count * kKriegsEntrySize + 4 || KriegsCount(c) != count) __builtin_trap();
      if (count > 1 && (uint64_t)(count - 1) * kKriegsEntrySize + 16 > n) __builtin_trap();
      FreeChunk(c);
    }
  } else if (step == 1 || step == 2) {
    uint8_t* old = ChunkFromBuffer(step == 1 ? "HERB" : "WARE", rest, n);
    uint8_t* c = step == 1 ? HerbChunkWithFind(old, 6398, 3199, 60, 3, 150)
                           : WareChunkWithGoods(old, 1001, 60, 3, 1234);
    if (c && std::memcmp(c, step == 1 ? "HERB" : "WARE", 4) != 0) __builtin_trap();
    if (c) FreeChunk(c);
    if (old) FreeChunk(old);
  } else {
    uint32_t bytes = 0;
    const uint8_t* k = FindChunkInPoolImage(rest, n, "KRIG", &bytes);
    if (k && (k < rest || k + bytes > rest + n)) __builtin_trap();
    if (k) {
      uint8_t* c = KriegsChunkAppend(k, bytes, a, t);
      if (c) FreeChunk(c);
    }
  }
  return 0;
}
