// The figure menu's side box over a received KRIG chunk of any bytes (its
// count and records as they come), for a foreign army, ship and scout, and
// the typed worker count over any text: no read outside the buffers, and
// a count never above the pool or the limit.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/log.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/map/figurmenu.h"
#include "routinen/map/map.h"
#include "routinen/map/mapscreen.h"
#include "routinen/system/memory.h"
#include "routinen/system/sysrecords.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool quiet = (DebugLogSetStderr(0), SetGameDataOwner(0, nullptr), RegisterGameDataListTypes(), true);
  (void)quiet;
  OwnPlayerPtr->PlayerId = 5;
  KartenScreenRecord* d = KartenScreenData;
  // The chunk: "KRIG", its length as the bytes say, the payload.
  uint8_t* chunk = static_cast<uint8_t*>(AllocVec((uint32_t)size + 12, MEMF_CLEAR));
  if (!chunk) return 0;
  std::memcpy(chunk, "KRIG", 4);
  const uint32_t len = (uint32_t)size;
  std::memcpy(chunk + 8, &len, 4);
  if (size) std::memcpy(chunk + 12, data, size);
  d->Battles = chunk;
  for (uint16_t type : {3, 17, 1003, 0}) {
    MapFigur g{};
    g.Besitzer = size ? data[0] : 77;
    g.Typ = type;
    g.Nummer = size > 1 ? data[1] : 7;
    for (const std::string& line : FigurSideBox(d, &g, nullptr))
      if (line.size() > 48) __builtin_trap();
  }
  d->Battles = nullptr;
  FreeVec(chunk);
  const std::string text(reinterpret_cast<const char*>(data), size);
  const uint32_t pool = size > 2 ? data[2] * 10u : 500u;
  const uint32_t n = ArbeiterTypedCount(text.c_str(), pool);
  if (n > pool || n > 1000) __builtin_trap();
  return 0;
}
