// The statistics file's reader on arbitrary bytes: a file is taken only
// when its count matches its size, and no count sizes memory before that.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "routinen/gamedata/statistics.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  StatistikDaten s{};
  if (size > 0xFFFFFFFFu) return 0;
  if (ParseStatistikDaten(data, static_cast<uint32_t>(size), &s)) {
    if (s.count && (size_t)s.count * STATISTIK_RECORD_SIZE + STATISTIK_HEADER_SIZE != size) std::abort();
    uint32_t sum = 0;
    for (uint32_t i = 0; i < s.count * STATISTIK_VALUES; i++) sum += s.values[i];
    (void)sum;
  }
  FreeStatistikDaten(&s);
  return 0;
}
