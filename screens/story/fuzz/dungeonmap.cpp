// Fuzz target: the dungeon map file, and on a map it takes, every step,
// turn, door and chest action from every facing along a walk the input
// drives (nothing may be read outside the map).
#include <cstddef>
#include <cstdint>

#include "platform/log.h"
#include "screens/story/dungeon.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DebugLogSetStderr(0);
  DungeonData d{};
  InitDungeonData(&d);
  if (DungeonParseMap(&d, reinterpret_cast<const char*>(data), size)) {
    // The last bytes choose the actions.
    const size_t n = size < 64 ? size : 64;
    for (size_t i = size - n; i < size; ++i) {
      switch (data[i] % 8) {
        case 0: DungeonStep(&d, 0, -1); break;
        case 1: DungeonStep(&d, 0, 1); break;
        case 2: DungeonStep(&d, -1, 0); break;
        case 3: DungeonStep(&d, 1, 0); break;
        case 4: DungeonTurn(&d, 1); break;
        case 5: DungeonTurn(&d, -1); break;
        case 6: DungeonOpen(&d); break;
        default: DungeonClose(&d); break;
      }
      for (int a = -2; a <= 2; ++a)
        for (int s = -2; s <= 2; ++s) {
          IsSeeThroughCell(&d, d.viewY + a, d.viewX + s);
          IsEnterableCell(&d, d.viewY + a, d.viewX + s);
          IsCellClosed(&d, a, s);
        }
    }
  }
  FreeDungeonData(&d);
  return 0;
}
