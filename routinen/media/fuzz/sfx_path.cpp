// Fuzz target: the sound index reader over arbitrary bytes, for the first
// few IDs and one taken from the input's last byte.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "routinen/media/sound_internal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  uint32_t n = static_cast<uint32_t>(size);
  SfxRecord rec;
  uint32_t ids[5] = {1, 2, 3, 4, size ? data[size - 1] + 1u : 1u};
  for (uint32_t id : ids) {
    if (ReadSfxRecord(data, n, id, &rec) == SFXREC_OK && std::strlen(rec.path) > MUSIC_NAME_SIZE) __builtin_trap();
  }
  return 0;
}
