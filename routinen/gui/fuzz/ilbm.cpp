// Fuzz target: the ILBM picture decoder.
#include <cstddef>
#include <cstdint>

#include "routinen/gui/ilbm.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  IlbmPicture pic;
  if (DecodeIlbm(data, (uint32_t)size, &pic) == 1) {
    volatile uint32_t sum = 0;
    for (uint32_t i = 0; i < (uint32_t)pic.width * pic.height; ++i) sum = sum + pic.pixels[i];
    FreeIlbm(&pic);
  }
  return 0;
}
