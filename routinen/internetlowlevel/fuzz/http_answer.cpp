// Fuzz target: bytes as a raw HTTP answer (what a server sent until it
// closed); the answer built from it must keep its headers and stay inside
// the input's size.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "routinen/internetlowlevel/http.h"
#include "routinen/system/memory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint32_t n = 0;
  char err[200];
  char* a = HttpReadAnswer(reinterpret_cast<const char*>(data), size, &n, err, sizeof err);
  if (a) {
    if (n > size || a[n] != 0 || std::memcmp(a, data, 5) != 0) __builtin_trap();
    uint32_t bl = 0;
    const char* b = HttpBody(a, n, &bl);
    if (!b || b + bl != a + n) __builtin_trap();
    HttpBodyCode(a, n);
    FreeVec(a);
  } else if (!err[0]) {
    __builtin_trap();
  }
  return 0;
}
