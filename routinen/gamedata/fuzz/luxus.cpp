// The luxury allocations' reader on arbitrary bytes: taken only at exactly
// 76 bytes, zeros otherwise, and a round trip gives the bytes back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "routinen/gamedata/luxus.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 0xFFFFFFFFu) return 0;
  uint32_t alloc[LUXUS_FILE_ENTRIES];
  const int32_t ok = DecodeLuxusDaten(data, static_cast<uint32_t>(size), alloc);
  if (ok != (size == LUXUS_FILE_SIZE)) std::abort();
  if (!ok) {
    for (uint32_t v : alloc)
      if (v) std::abort();
    return 0;
  }
  uint8_t back[LUXUS_FILE_SIZE];
  EncodeLuxusDaten(alloc, back);
  if (std::memcmp(back, data, LUXUS_FILE_SIZE) != 0) std::abort();
  return 0;
}
