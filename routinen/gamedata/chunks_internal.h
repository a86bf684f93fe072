// Shared between the chunk layer and the entity lists of this folder.
#pragma once
#include <cstdint>

enum : uint32_t {
  // SMAL letter (offsets from the chunk start).
  SMAL_SENDER_NAME = 12,   // char[40]
  SMAL_RECIPIENT_NAME = 52,// char[40]
  SMAL_SUBJECT = 92,       // char[160]
  SMAL_DATE_TEXT = 252,    // char[24]
  SMAL_SENDER_ID = 276,    // u32
  SMAL_RECIPIENT_ID = 280, // u32
  SMAL_DATE = 284,         // u32 seconds since 1970
  SMAL_TEXT_LEN = 288,     // u32 bytes of text, its zero byte included
  SMAL_TEXT = 292,         // the text
  // Saboteur record of an army part (ARMY chunk, after its AREN record).
  SABO_SIZE = 8,           // u32 owner player ID, u32 men
};
