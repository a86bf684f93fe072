// Helpers shared by the entity lists of this folder.
#pragma once
#include <cstdint>

#include "codecs.h"
#include "entities.h"

// First record and count of a host-order record chunk of the layout's type,
// or null when it is not a valid chunk of that kind.
const uint8_t* ChunkRecords(const void* chunk, const ChunkLayout& l, uint32_t* count);
// A new "V001" chunk with the count set and room for count records.
uint8_t* MakeRecordChunk(const ChunkLayout& l, uint32_t count);
// The chunk's records decoded by the codec into new nodes of the list (at
// mem_base in each node); the list is left as it was on failure.
int32_t ScanRecords(ListHeader* list, const void* chunk, const ChunkLayout& l, uint32_t list_type,
                    uint32_t mem_base = 0);
// A new chunk of the list's nodes encoded by the layout's codec.
uint8_t* MakeRecords(ListHeader* list, const ChunkLayout& l, uint32_t list_type, uint32_t mem_base = 0);
