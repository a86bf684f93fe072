// Fuzz target: the layout file reader.
#include <cstddef>
#include <cstdint>

#include "routinen/gui/layout.h"
#include "platform/log.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool quiet = (DebugLogSetStderr(0), true);
  (void)quiet;
  ScreenRegion* r = ParseScreenRegion(data, (uint32_t)size, (uint32_t)(size ? data[0] : 0) << 1);
  if (r) {
    for (uint32_t i = 0; GetRegionGadget(r, i); ++i) {
      Gadget* g = GetRegionGadget(r, i);
      if (g->textArea) (void)g->textArea->x1;
    }
    FreeScreenRegion(r);
  }
  return 0;
}
