// The pool choice and the account-state rule. See orders.h.
#include "orders.h"

#include "platform/log.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/system/prefs.h"

namespace {
const char kOutgoing[] = ".\\Data\\POP3Out\\GameChunk.qoe";
const char kReceived[] = ".\\Data\\POP3In\\GameChunk.qoe";
}  // namespace

int32_t LoadTurnChunkFrom(const char* id, const char* outgoing, const char* received, uint8_t** chunk) {
  *chunk = nullptr;
  const int32_t index = ChunkIndexOf(id);
  if (index < 0) return TURN_CHUNK_ABSENT;
  const uint32_t bit = ChunkBit(static_cast<ChunkIndex>(index));
  const char* pool = nullptr;
  int32_t from = TURN_CHUNK_ABSENT;
  if (IsChunkInFile(bit, outgoing) == 1) {
    pool = outgoing;
    from = TURN_CHUNK_OUTGOING;
  } else if (IsChunkInFile(bit, received) == 1) {
    pool = received;
    from = TURN_CHUNK_RECEIVED;
  }
  if (!pool) return TURN_CHUNK_ABSENT;
  *chunk = LoadChunk2Mem(id, pool);
  if (!*chunk) {
    DebugLog("LoadTurnChunk: %.4s angekuendigt, aber nicht ladbar (%s)\n", id, pool);
    return TURN_CHUNK_FAILED;
  }
  return from;
}

int32_t LoadTurnChunk(const char* id, uint8_t** chunk) { return LoadTurnChunkFrom(id, kOutgoing, kReceived, chunk); }

uint16_t ReadAccountState() {
  const uint32_t state = CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0);
  return state > 2 ? 0 : static_cast<uint16_t>(state);  // an unreadable prefs file installs nothing
}
