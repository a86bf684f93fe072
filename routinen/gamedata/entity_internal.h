// Helpers shared by the entity lists of this folder.
#pragma once
#include <cstdint>

#include "entities.h"

struct RecordChunkDef {
  const char* id;
  uint32_t count_off;
  uint32_t count_width;  // 2 or 4
  uint32_t rec_off;
  uint32_t rec_size;
};

// First record and count of a host-order chunk, or null when it is not a
// valid chunk of that kind.
const uint8_t* ChunkRecords(const void* chunk, const RecordChunkDef& d, uint32_t* count);
// A new chunk with the count set and room for count records.
uint8_t* MakeRecordChunk(const RecordChunkDef& d, uint32_t count);
int32_t ScanRecords(ListHeader* list, const void* chunk, const RecordChunkDef& d, uint32_t list_type,
                    void (*decode)(const uint8_t*, ListNode*));
uint8_t* MakeRecords(ListHeader* list, const RecordChunkDef& d, uint32_t list_type,
                     void (*encode)(const ListNode*, uint8_t*));
// ANTW chunk of a player list (the server side and tests use it).
uint8_t* MakeSpielerChunkFromList(ListHeader* list);
