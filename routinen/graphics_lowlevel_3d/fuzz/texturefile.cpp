// Fuzz target: the .tga/.bmp/raw texture reader. The first bytes choose the
// texture's size, depth and file kind; the rest is the file.
#include <cstddef>
#include <cstdint>

#include "platform/log.h"
#include "routinen/graphics_lowlevel_3d/gl3d_internal.h"
#include "routinen/system/memory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3 || size > (1u << 20)) return 0;
  static bool once = [] {
    DebugLogSetStderr(0);
    InitEngineDefaults();
    Engine()->mipmapping = 0;
    return true;
  }();
  (void)once;
  const uint16_t depths[4] = {8, 24, 32, 16};
  const uint32_t headers[3] = {18, 54, 0};
  TEXTURE3D t{};
  InitializeT(&t, "fuzz", uint16_t(1 + data[0] % 64), uint16_t(1 + data[1] % 64), depths[data[2] % 4], "fuzz");
  uint32_t header = headers[(data[2] / 4) % 3];
  if (t.depth == 8) header += 1024;
  ReadRawTexture(&t, data + 3, uint32_t(size - 3), header);
  SmoothAlphaTexture(&t);
  ReduceTexture(&t, 2 + data[0] % 3);
  uint8_t colour[4];
  AverageColor(t.pixels, t.width, t.height, t.depth, 0, colour);
  FreeVec(t.pixels);
  return 0;
}
