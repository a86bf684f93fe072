// The MOVE reader of .\Data\MapPrefs.qoe images: any bytes, no read outside
// the buffer, and a list whose count fits its size.
#include <cstddef>
#include <cstdint>

#include "platform/log.h"
#include "routinen/map/map_internal.h"
#include "routinen/system/memory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool quiet = (DebugLogSetStderr(0), true);
  (void)quiet;
  uint32_t bytes = 0;
  uint8_t* list = ReadMapPrefsMove(data, (uint32_t)size, &bytes);
  if (list) {
    if (MapFigurCount(list) * kFigurSize + 2 > bytes) __builtin_trap();
    uint32_t sum = 0;
    for (uint32_t i = 0; i < MapFigurCount(list); i++) sum += MapFigurAt(list, i)->X;
    (void)sum;
    FreeVec(list);
  }
  return 0;
}
