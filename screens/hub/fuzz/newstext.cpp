// The news answer's reader on arbitrary bytes: the text it hands out lies
// inside the answer, after its first blank line and the seven bytes of the
// status.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "routinen/system/memory.h"
#include "screens/hub/residenzdownload_internal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1u << 20) return 0;
  char* text = NewsText(reinterpret_cast<const char*>(data), static_cast<uint32_t>(size));
  if (text) {
    const char* blank = static_cast<const char*>(memmem(data, size, "\r\n\r\n", 4));
    if (!blank) std::abort();
    const size_t body = static_cast<size_t>(blank - reinterpret_cast<const char*>(data)) + 4;
    if (body + 7 > size || std::memcmp(data + body, "200", 3) != 0) std::abort();
    if (std::memcmp(text, data + body + 7, size - body - 7) != 0) std::abort();
    FreeVec(text);
  }
  return 0;
}
