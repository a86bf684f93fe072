// Fuzz target: the model-file reader on a file in memory (uploads stubbed),
// then the merge and the face centres on what it loaded. Small store
// capacities make every load grow the stores.
#include <cstddef>
#include <cstdint>

#include "platform/log.h"
#include "routinen/graphics_lowlevel_3d/fuzz/small_stores.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  static bool once = [] {
    DebugLogSetStderr(0);
    RegisterSmallEngineStores(4);
    return true;
  }();
  (void)once;
  const int32_t first = LoadQOEMemory(data, uint32_t(size), "fuzz.qoe");
  if (first >= 0) {
    MakeFaceCenters();
    MakeOneObject(uint32_t(first));
    if (OBJECT3D* o = static_cast<OBJECT3D*>(ThingAt(THING_OBJECT3D, uint32_t(first)))) {
      ResizeObject(o, 64, 0, 55.424f, 1);
      SelectObjectTransPoints(o);
    }
  }
  ClearThings(kThingReset);
  return 0;
}
