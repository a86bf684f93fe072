// Fuzzes the characters' description reader and, for a description it
// takes, the model builder behind it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tools/datakit/characters.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 20000) return 0;
  datakit::CharacterSet set;
  int line = 0;
  std::string reason;
  if (!datakit::ParseCharacters(std::string(reinterpret_cast<const char*>(data), size), &set, &line, &reason))
    return 0;
  datakit::QoeTexture texture;
  texture.name = "t";
  for (const datakit::CharModel& m : set.models) {
    if (!m.written) continue;
    datakit::CharacterLowModel(set, m, texture);
    if (m.animation.mode != datakit::CharAnimation::kStill) datakit::CharacterHighModel(set, m, texture);
  }
  return 0;
}
