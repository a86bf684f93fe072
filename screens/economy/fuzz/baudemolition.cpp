// Fuzz target: the construction screen's rules over a hostile town file and
// GEBA chunk: the first 14,220 bytes are the town file's image (zeros where
// the input is shorter), the rest a chunk file holding GEBA. Every building's
// requirement text, the demolition offer and orders for each line, the
// count of each building and the site list of the ordered records.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/log.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/towns.h"
#include "routinen/system/memory.h"
#include "screens/economy/bau.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool init = false;
  if (!init) {
    DebugLogSetStderr(0);
    init = true;
  }
  if (size > (1u << 20)) return 0;
  std::vector<uint8_t> image(TOWN_FILE_SIZE, 0);
  std::memcpy(image.data(), data, size < TOWN_FILE_SIZE ? size : TOWN_FILE_SIZE);
  BauScreenData d{};
  d.town = static_cast<st_TOWN*>(AllocVec(sizeof(st_TOWN), MEMF_CLEAR));
  DecodeTown(image.data(), d.town);
  d.accountState = 2;
  if (size > TOWN_FILE_SIZE)
    d.geba = ChunkFromBuffer("GEBA", data + TOWN_FILE_SIZE, static_cast<uint32_t>(size - TOWN_FILE_SIZE));
  for (uint32_t id = 0; id < TOWN_BUILDINGS; id += 7) FreeVec(BauRequirementText(d.town, id));
  char* lines = nullptr;
  int32_t* records = nullptr;
  uint32_t counts[2];
  const uint32_t n = BauDemolitionOffer(&d, &lines, &records, counts);
  for (uint32_t line = n; line-- > 0;) BauDemolish(&d, line, records, 3);
  FreeVec(lines);
  FreeVec(records);
  for (int16_t id : {0, 1, 2, 98}) {
    d.building = id;
    CountBuildingsOfType(&d);
  }
  FreeVec(BauSiteListText(&d));
  FreeVec(d.town);
  FreeVec(d.newOrders);
  if (d.geba) FreeChunk(d.geba);
  return 0;
}
