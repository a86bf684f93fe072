// Fuzz target: the JPEG decoder, into its own buffer and into a caller's.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/log.h"
#include "routinen/graphics_lowlevel_3d/gl3d.h"
#include "routinen/system/memory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  static const bool quiet = (DebugLogSetStderr(0), true);
  (void)quiet;
  JpegImage img{nullptr, 0, 0, 0};
  if (DecodeJpeg(data, uint32_t(size), &img) == 1) {
    volatile uint32_t sum = 0;
    const size_t n = size_t(img.width) * img.height * (img.bits / 8);
    for (size_t i = 0; i < n; i += 61) sum = sum + img.pixels[i];
    FreeVec(img.pixels);
  }
  static uint8_t grey[32 * 32];
  JpegImage fixed{grey, 32, 32, 8};
  DecodeJpeg(data, uint32_t(size), &fixed);
  return 0;
}
