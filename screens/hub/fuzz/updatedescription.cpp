// The update store's reading of a description file on arbitrary bytes: the
// version is three digits or none, and every line handed out lies inside the
// first 2024 bytes, after the version's nine.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "screens/hub/lager.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1u << 16) return 0;
  // The bytes in a buffer of their own size, so a read past them is caught.
  std::vector<char> file(data, data + size);
  UpdateDescription d;
  ReadUpdateDescription(file.data(), (uint32_t)file.size(), &d);
  if (d.found ? d.version > 999 : d.version != 0) std::abort();
  // An empty file has no buffer to point into, and no line to hand out.
  uint32_t at = 0, length = 0;
  const char* line = nullptr;
  if (file.empty()) {
    if (NextDescriptionLine(&d, &at, &line, &length)) std::abort();
    return 0;
  }
  const char* begin = file.data() + 9;
  const char* end = file.data() + (size < kLagerDescriptionMax ? size : kLagerDescriptionMax);
  uint32_t lines = 0;
  while (NextDescriptionLine(&d, &at, &line, &length)) {
    if (line < begin || line + length > end) std::abort();
    for (uint32_t i = 0; i < length; ++i)
      if (line[i] == '\n') std::abort();
    if (++lines > kLagerDescriptionMax) std::abort();  // it always advances
  }
  return 0;
}
