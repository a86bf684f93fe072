// Fuzz target: the town image cache reader (IFF FORM, the key chunk, the
// ILBM body) over fuzzed bytes, with the key of the seed (all zero bytes)
// and with the key the input carries itself (its key chunk less the layer's
// CRC), so the picture is decoded and checked too.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/log.h"
#include "routinen/system/iff.h"
#include "screens/economy/drawtown.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool init = false;
  if (!init) {
    DebugLogSetStderr(0);
    init = true;
  }
  if (size > (1u << 20)) return 0;
  static std::vector<uint8_t> pixels(640 * 480);
  uint8_t zero[kTownImageKeySize] = {};
  ReadTownImage(data, static_cast<uint32_t>(size), zero, kTownImageKeySize, pixels.data());
  uint32_t form = 0;
  BoundedReader body{};
  IffChunk key{};
  if (IffOpenForm(data, size, &form, &body) && IffFindChunk(body, IffId("QTWK"), &key) == 1 && key.size >= 4)
    ReadTownImage(data, static_cast<uint32_t>(size), key.data, key.size - 4, pixels.data());
  return 0;
}
