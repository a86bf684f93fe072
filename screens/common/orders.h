// Rules every screen that shows the turn or takes orders shares: which pool
// a chunk is read from, and whether orders may be taken at all.
#pragma once
#include <cstdint>

// Results of LoadTurnChunk.
enum : int32_t { TURN_CHUNK_FAILED = -1, TURN_CHUNK_ABSENT = 0, TURN_CHUNK_OUTGOING = 1, TURN_CHUNK_RECEIVED = 2 };

// Loads chunk id (host order, FreeChunk) from the outgoing pool when its
// mask holds the type (the player changed it this turn), else from the
// received pool when that one holds it. TURN_CHUNK_ABSENT (the screen shows
// its default) when neither pool announces it; TURN_CHUNK_FAILED (logged)
// when the chosen pool announces it but it cannot be loaded. *chunk is null
// unless a chunk was loaded.
int32_t LoadTurnChunk(const char* id, uint8_t** chunk);
// The same with the pools named (tests, the download).
int32_t LoadTurnChunkFrom(const char* id, const char* outgoing, const char* received, uint8_t** chunk);

// The account state, prefs field 0 (0 none, 1 sign-up sent, 2 game installed).
uint16_t ReadAccountState();
// Orders are shown and written only with an installed game: without it a
// screen shows zeros and writes nothing.
inline bool OrdersAllowed(uint16_t account_state) { return account_state == 2; }
