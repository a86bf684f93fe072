// Gadget drawing and events.
#include "layout.h"
#include "layout_internal.h"
#include "routinen/system/memory.h"

void LayoutReleaseDrawState(ScreenRegion* region) {
  FreeVec(region->loadedImages);
  region->loadedImages = nullptr;
  region->loadedCount = 0;
}
