// KRIG chunks of arbitrary bytes through the bounded reader and the report
// texts of every tab: the count is cut to the chunk, the text always ends
// inside its buffer; the fight shown runs through the battle picture's
// timeline, whose counters never pass their numbers.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "screens/military/nachrichten.h"
#include "screens/military/schlacht.h"

namespace {
const char* Text(uint32_t id) { return id % 2 ? "Text" : "A longer text of the catalog"; }
void Name(uint32_t, char* name) { std::memcpy(name, "Lord", 5); }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size > (1u << 16)) return 0;
  // Byte 0: the tab and the index; the rest: the chunk after its header.
  std::vector<uint8_t> c(12 + size - 1);
  std::memcpy(c.data(), "KRIGV001", 8);
  const uint32_t len = (uint32_t)(size - 1);
  std::memcpy(c.data() + 12, data + 1, size - 1);
  ChunkPut32(c.data(), 8, len);
  const uint32_t n = KriegsCount(c.data());
  if (len >= 4 && (uint64_t)n * 72 > len - 4) std::abort();
  char out[600];
  int16_t index = (int16_t)((data[0] >> 2) % 8) - 2;
  BattleReportInfo info{};
  KriegsEintrag rec{};
  BuildBattleReport(c.data(), data[0] % 3, &index, 7, Text, Name, out, sizeof out, &rec, &info);
  if (std::strlen(out) >= sizeof out || info.count > n) std::abort();
  if (info.count && (index < 0 || (uint32_t)index >= info.count)) std::abort();
  if (info.found) {
    SchlachtTimeline s;
    const SchlachtDrawer none{nullptr, nullptr, nullptr};
    StartSchlacht(&s, rec, (data[0] & 1) != 0, "A", "D", Text, &none);
    for (int t = 0; t < 400; ++t) {
      SchlachtTick(&s, Text, &none);
      for (int i = 0; i < 2; ++i)
        if (s.dead[i] > s.deadTarget[i] || s.alive[i] > s.aliveTarget[i]) std::abort();
    }
  }
  return 0;
}
