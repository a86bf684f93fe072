// The sound page's reading of typed numbers on arbitrary text: a value is
// given only when the whole text is a number of its field's base that fits
// the field, and printing it back reads as the same value.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "screens/hub/optionen.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 256) return 0;
  const uint32_t field = data[0] % 6u;
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  uint32_t value = 0xA5A5A5A5u;
  if (!ParseSoundField(field, text.c_str(), &value)) {
    if (value != 0xA5A5A5A5u) std::abort();
    return 0;
  }
  if (field < 1 || field > 4 || text.empty()) std::abort();
  if (field <= 2 && value > 0xFFFF) std::abort();
  char back[24];
  std::snprintf(back, sizeof back, field == 3 ? "0x%X" : "%u", value);
  uint32_t again = 0;
  if (!ParseSoundField(field, back, &again) || again != value) std::abort();
  return 0;
}
