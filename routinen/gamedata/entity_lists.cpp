// Scan and make pairs of the record chunks: ships, specialists, goods,
// contracts, herbs and players, each through its codec table; the GEBA
// building test.
#include <cstring>

#include "chunks.h"
#include "entities.h"
#include "entity_internal.h"
#include "platform/log.h"
#include "routinen/system/memory.h"

namespace {
const ChunkLayout& Layout(ChunkIndex i) { return ChunkLayouts[i]; }
}  // namespace

const uint8_t* ChunkRecords(const void* chunk, const ChunkLayout& l, uint32_t* count) {
  *count = 0;
  if (!chunk || !l.rec) return nullptr;
  const uint8_t* c = static_cast<const uint8_t*>(chunk);
  if (std::memcmp(c, l.id, 4) != 0) {
    DebugLog("ChunkRecords: Chunk ist kein %s-Chunk\n", l.id);
    return nullptr;
  }
  uint32_t len = ChunkLength(c);
  if (len + 12 < l.rec_off) return nullptr;
  uint32_t n = l.count_width == 2 ? ChunkGet16(c, l.count_off) : ChunkGet32(c, l.count_off);
  if ((uint64_t)n * ChunkRecordCodec(l, c)->size > len + 12 - l.rec_off) {
    DebugLog("ChunkRecords: %s-Chunk mit %u Eintraegen ist zu kurz\n", l.id, n);
    return nullptr;
  }
  *count = n;
  return c + l.rec_off;
}

uint8_t* MakeRecordChunk(const ChunkLayout& l, uint32_t count) {
  const RecordCodec* rec = l.rec_v1 ? l.rec_v1 : l.rec;
  if (!rec) return nullptr;
  uint64_t len = (uint64_t)l.rec_off - 12 + (uint64_t)count * rec->size;
  if (len > 0x7FFF0000u || (l.count_width == 2 && count > 0xFFFF)) return nullptr;
  uint8_t* c = AllocChunk(l.id, "V001", (uint32_t)len);
  if (!c) return nullptr;
  if (l.count_width == 2) ChunkPut16(c, l.count_off, (uint16_t)count);
  else ChunkPut32(c, l.count_off, count);
  return c;
}

int32_t ScanRecords(ListHeader* list, const void* chunk, const ChunkLayout& l, uint32_t list_type,
                    uint32_t mem_base) {
  RegisterGameDataListTypes();
  if (!list || list->type != list_type) return 0;
  uint32_t n = 0;
  const uint8_t* r = ChunkRecords(chunk, l, &n);
  if (!r) return 0;
  const RecordCodec& codec = *ChunkRecordCodec(l, chunk);
  uint32_t before = list->count;
  for (uint32_t i = 0; i < n; i++, r += codec.size) {
    ListNode* node = AllocListNode(list);
    if (!node) {  // out of memory: the list is left as it was
      while (list->count > before) RemoveNode(list, LN_TAIL, 0, 0);
      return 0;
    }
    DecodeRecord(codec, r, ORDER_HOST, reinterpret_cast<uint8_t*>(node) + mem_base);
    AddNode(list, node, LN_TAIL, 0);
  }
  return 1;
}

uint8_t* MakeRecords(ListHeader* list, const ChunkLayout& l, uint32_t list_type, uint32_t mem_base) {
  if (!list || list->type != list_type) return nullptr;
  uint8_t* c = MakeRecordChunk(l, list->count);
  if (!c) return nullptr;
  const RecordCodec& codec = *ChunkRecordCodec(l, c);
  ListNode* node = list->first;
  uint8_t* r = c + l.rec_off;
  for (uint32_t i = 0; i < list->count && node; i++, node = node->next, r += codec.size)
    EncodeRecord(codec, reinterpret_cast<const uint8_t*>(node) + mem_base, r, ORDER_HOST);
  return c;
}

int32_t ScanShip2List(ListHeader* list, const void* chunk) {
  return ScanRecords(list, chunk, Layout(CHUNK_SHIP), LIST_SHIPS);
}
uint8_t* MakeShipChunkFromList(ListHeader* list) { return MakeRecords(list, Layout(CHUNK_SHIP), LIST_SHIPS); }

int32_t ScanSpezialisten2List(ListHeader* list, const void* chunk) {
  return ScanRecords(list, chunk, Layout(CHUNK_SPEZ), LIST_SPECIALISTS);
}
uint8_t* MakeSpezialistenChunkFromList(ListHeader* list) {
  return MakeRecords(list, Layout(CHUNK_SPEZ), LIST_SPECIALISTS);
}

int32_t ScanWare2List(ListHeader* list, const void* chunk) {
  return ScanRecords(list, chunk, Layout(CHUNK_WARE), LIST_GOODS);
}
uint8_t* MakeWareChunkFromList(ListHeader* list) { return MakeRecords(list, Layout(CHUNK_WARE), LIST_GOODS); }

int32_t ScanVertrag2List(ListHeader* list, const void* chunk) {
  return ScanRecords(list, chunk, Layout(CHUNK_VERT), LIST_CONTRACTS);
}
uint8_t* MakeVertragChunkFromList(ListHeader* list) {
  return MakeRecords(list, Layout(CHUNK_VERT), LIST_CONTRACTS);
}

int32_t ScanHerb2List(ListHeader* list, const void* chunk) {
  return ScanRecords(list, chunk, Layout(CHUNK_HERB), LIST_HERBS);
}
uint8_t* MakeHerbChunkFromList(ListHeader* list) { return MakeRecords(list, Layout(CHUNK_HERB), LIST_HERBS); }

int32_t ScanSpieler2List(ListHeader* list, const void* chunk) {
  return ScanRecords(list, chunk, Layout(CHUNK_ANTW), LIST_PLAYERS);
}
uint8_t* MakeSpielerChunkFromList(ListHeader* list) {
  return MakeRecords(list, Layout(CHUNK_ANTW), LIST_PLAYERS);
}

// ---- buildings ----
int32_t NextBuildingLevel(uint32_t kind) {
  static const uint16_t kNext[][2] = {{15, 108}, {19, 48}, {22, 78},  {23, 96},  {25, 49},  {48, 57},  {50, 56},
                                      {55, 108}, {56, 115}, {57, 162}, {78, 160}, {96, 163}, {108, 139}, {139, 231}};
  for (const auto& n : kNext)
    if (n[0] == kind) return n[1];
  return -1;
}

int32_t CheckOtherBuilding(const void* geba, uint32_t building, uint32_t town) {
  static const uint32_t kBuilding = FindCodecField(BaustellenDataCodec, "building")->off;
  static const uint32_t kTown = FindCodecField(BaustellenDataCodec, "town")->off;
  uint32_t n = 0;
  const uint8_t* r = ChunkRecords(geba, Layout(CHUNK_GEBA), &n);
  for (uint32_t i = 0; r && i < n; i++, r += BaustellenDataCodec.size) {
    if (ChunkGet16(r, kBuilding) == building && ChunkGet16(r, kTown) == town) {
      DebugLog("CheckOtherBuilding : Building %u bereits vorhanden...\n", building);
      return 1;
    }
  }
  return 0;
}
