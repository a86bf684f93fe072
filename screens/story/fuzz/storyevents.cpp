// Fuzz target: the story dice over fuzzed prefs and a fuzzed received turn
// (behind a valid INFO chunk), in a realm of three towns made once, and the
// page modification reader over the same bytes as page text.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/log.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/towns.h"
#include "routinen/gamedata/turns.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/files.h"
#include "routinen/system/memory.h"
#include "routinen/system/prefs.h"
#include "tests/support/fuzz_workdir.h"
#include "screens/story/storyevents.h"

namespace {
uint32_t g_roll;
uint32_t Roll(uint32_t) { return g_roll; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool init = false;
  if (!init) {
    if (!EnterFuzzWorkDir("story")) return 0;
    SetGameDataOwner(9, "Fuzz");
    SetStoryDice(Roll);
    TownListEntry list[3] = {};
    const char* names[3] = {"Ash", "Oak", "Elm"};
    for (uint32_t i = 0; i < 3; i++) {
      list[i].id = i + 1;
      std::strcpy(list[i].name, names[i]);
    }
    WriteTownList(list, 3);
    init = true;
  }
  if (size < 12 || size > 1 << 16) return 0;
  // Prefs and story prefs from the first bytes.
  CheckPrefs(PREFS_DICE1, 1, data[0]);
  CheckPrefs(PREFS_DICE2, 1, data[1]);
  CheckPrefs(PREFS_DICE3, 1, data[2]);
  CheckPrefs(PREFS_DICE4, 1, data[3]);
  CheckPrefs(PREFS_STORY_THRESHOLD, 1, data[4]);
  CheckPrefs(PREFS_LUXURY_GOOD, 1, data[5] & 1);
  g_roll = data[6];
  RizizOzezPrefs(2 + data[7] % 44, 1, data[8] & 1);
  // Town files: one of the three gets random flags and buildings.
  st_TOWN* t = CreateTown(1 + data[9] % 3, data[9] % 3 == 0 ? "Ash" : data[9] % 3 == 1 ? "Oak" : "Elm", 5, 5);
  t->population = (uint32_t)data[10] << 12;
  t->flags = data[11];
  for (uint32_t b = 0; b < 16 && 12 + b < size; b++) t->buildings[data[12 + b] % TOWN_BUILDINGS].flags = BUILDING_STANDS;
  SaveTown(t);
  FreeVec(t);
  // The received turn from the rest.
  const uint8_t* body = data + 12;
  const size_t n = size - 12;
  std::vector<uint8_t> pool(INFO_CHUNK_SIZE + n, 0);
  std::memcpy(pool.data(), "INFOV001", 8);
  PutBE32(pool.data() + 8, INFO_CHUNK_SIZE - 12);
  PutBE32(pool.data() + INFO_PLAYER_ID, 9);
  if (n) std::memcpy(pool.data() + INFO_CHUNK_SIZE, body, n);
  PutBE32(pool.data() + INFO_CHECKSUM, Crc32(pool.data() + INFO_CHUNK_SIZE, (uint32_t)n));
  SaveMem2File(ReceivedPoolPath, pool.data(), (uint32_t)pool.size());
  DeleteFileA(OutgoingPoolPath);
  CheckRizizOzezEvents();
  std::string page(reinterpret_cast<const char*>(body), n);
  CheckRizizOzezModifikation(page.c_str());
  return 0;
}
