// Fuzz target: the reports' text builders over a chunk whose payload is the
// input (its first byte picks LAND, KORN, FORS, TAXE, GEBA or WARE), and the
// statistics file's reader with the statistics screen's curves over the
// same bytes read as a file.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/log.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/statistics.h"
#include "routinen/system/memory.h"
#include "screens/story/berichte.h"
#include "screens/story/statistik.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = false;
  if (!ready) {
    DebugLogSetStderr(0);
    RegisterGameDataListTypes();
    ready = true;
  }
  if (size < 1 || size > 65536) return 0;
  const uint8_t pick = data[0];
  ++data;
  --size;
  const uint32_t n = static_cast<uint32_t>(size);

  StatistikDaten s{};
  if (ParseStatistikDaten(data, n, &s)) {
    StatistikPoint p[kStatistikMaxPoints];
    for (uint32_t range = 0; range < kStatistikRanges; ++range)
      for (uint32_t c = 0; c < STATISTIK_VALUES; ++c) StatistikCurve(&s, c, range, 584, 196, p);
  }
  FreeStatistikDaten(&s);

  static const char* const kIds[] = {"LAND", "KORN", "FORS", "TAXE", "GEBA", "WARE"};
  const char* id = kIds[pick % 6];
  uint8_t* chunk = AllocChunk(id, "V001", n);
  if (!chunk) return 0;
  if (n) std::memcpy(chunk + sizeof(ChunkHeader), data, n);
  static char out[kBerichtBufferSize];
  switch (pick % 6) {
    case 0:
      MakeContryReport(chunk, out, sizeof out);
      MakeTaxesReport(chunk, nullptr, out, sizeof out);
      break;
    case 1: MakeCornReport(chunk, out, sizeof out); break;
    case 2: MakeResearchReport(chunk, out, sizeof out); break;
    case 3: MakeTaxesReport(chunk, chunk, out, sizeof out); break;
    case 4: MakeBuildingReport(chunk, out, sizeof out); break;
    default:
      FreeVec(MakeTradeReport(chunk, nullptr, 7, "Harald"));
      break;
  }
  FreeChunk(chunk);
  return 0;
}
