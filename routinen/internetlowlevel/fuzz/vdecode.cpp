// The VEncode decoder on arbitrary text: never reads outside it, and what
// it accepts encodes back to the same body.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "routinen/internetlowlevel/mail.h"
#include "routinen/system/memory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  uint8_t* out = nullptr;
  uint32_t len = 0;
  if (VDecode(text, size, &out, &len) == VDECODE_OK) {
    uint32_t n = 0;
    char* again = VEncodeAlloc(out, len, &n);
    uint8_t* back = nullptr;
    uint32_t len2 = 0;
    if (!again || VDecode(again, n, &back, &len2) != VDECODE_OK || len2 != len ||
        (len && std::memcmp(back, out, len) != 0))
      std::abort();
    FreeVec(back);
    FreeVec(again);
  }
  FreeVec(out);
  return 0;
}
