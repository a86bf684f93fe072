// The battles of a turn (KRIG): the bounded record reader.
#include <cstring>

#include "chunks.h"
#include "entities.h"

namespace {
constexpr uint32_t kKriegsSize = 72, kKriegsFirst = 16;
}  // namespace

uint32_t KriegsCount(const void* krig) {
  if (!krig || std::memcmp(krig, "KRIG", 4) != 0) return 0;
  const uint32_t len = ChunkLength(krig);
  if (len < 4) return 0;
  const uint32_t n = ChunkGet32(krig, 12), fit = (len - 4) / kKriegsSize;
  return n < fit ? n : fit;
}

int32_t GetKriegsEintrag(const void* krig, uint32_t i, KriegsEintrag* out) {
  if (!out || i >= KriegsCount(krig)) return 0;
  const uint8_t* r = static_cast<const uint8_t*>(krig) + kKriegsFirst + kKriegsSize * i;
  out->head = ChunkGet32(r, 0);
  out->attacker = GetFigurRecord(r + 4);
  out->target = GetFigurRecord(r + 22);
  out->kind = ChunkGet32(r, 40);
  out->classA = ChunkGet16(r, 44);
  out->classD = ChunkGet16(r, 46);
  out->depletionA = ChunkGet16(r, 48);
  out->depletionD = ChunkGet16(r, 50);
  out->deadA = ChunkGet32(r, 52);
  out->deadD = ChunkGet32(r, 56);
  out->aliveA = ChunkGet32(r, 60);
  out->aliveD = ChunkGet32(r, 64);
  out->tail = ChunkGet32(r, 68);
  return 1;
}
