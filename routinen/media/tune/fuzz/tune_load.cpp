// Fuzz target: module bytes through the loaders, then a short play of what
// loaded, mixed through the silent device's mixer.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "routinen/media/tune/dmix.h"
#include "routinen/media/tune/genplayer.h"
#include "platform/log.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = false;
  if (!ready) {
    DebugLogSetStderr(0);
    TUNEstartup();
    TUNEsetOption(TUNE_OPT_NOSOUND, 1);
    TUNEinit();
    ready = true;
  }
  if (size > (1u << 22)) return 0;
  ModuleRecord* m = TUNEloadModuleMem(data, (uint32_t)size);
  if (!m) return 0;
  int32_t h = TUNEplayModule(m, 1);
  if (h) {
    std::vector<int16_t> out(4096);
    for (int t = 0; t < 200; t++) {
      if (PlayerPlay() != TE_OK) break;
      dmixMixData(80, out.data());
    }
    TUNEstopModule(h);
  }
  TUNEfreeModule(m);
  return 0;
}
