// Chunk files and chunk pools. A chunk is a 12-byte ChunkHeader (ID,
// version "V%03d", payload length) and its payload; on disk every number is
// big-endian, in memory (as LoadChunk2Mem returns it) in host order. A pool
// is a file of chunks whose first chunk is INFO. Layouts: docs/chunks.md.
#pragma once
#include <cstdint>
#include <cstring>

#include "routinen/system/checksum.h"  // Crc32 of the INFO checksum

struct ChunkHeader {
  char id[4];       // e.g. "LAND", in reading order
  char version[4];  // "V001"
  uint32_t length;  // payload bytes after the header
};
static_assert(sizeof(ChunkHeader) == 12, "ChunkHeader is 12 bytes");

// Index of a chunk type in ChunkIdTable; its ChunkMask bit is 1 << index.
enum ChunkIndex : uint32_t {
  CHUNK_INIT, CHUNK_INFO, CHUNK_MOVE, CHUNK_BMAP, CHUNK_IMAP, CHUNK_PMAP, CHUNK_MREF,
  CHUNK_PREF, CHUNK_EROR, CHUNK_MAIL, CHUNK_SMAL, CHUNK_PPRF, CHUNK_KORN, CHUNK_LAND,
  CHUNK_WARE, CHUNK_BAUE, CHUNK_GEBA, CHUNK_TAXE, CHUNK_FORS, CHUNK_TOWN, CHUNK_ARMY,
  CHUNK_ANFR, CHUNK_ANTW, CHUNK_KRIG, CHUNK_VERT, CHUNK_SHIP, CHUNK_SPEZ, CHUNK_HERB,
  CHUNK_TYPES
};
extern const char* const ChunkIdTable[CHUNK_TYPES];
using ChunkMask = uint32_t;  // bit n: a chunk of type n is present
constexpr ChunkMask ChunkBit(ChunkIndex i) { return 1u << i; }
// Index of a 4-character ID, or -1 when it is not one of the 28 types.
int32_t ChunkIndexOf(const char* id);

// INFO chunk: offsets from the chunk start (header included).
enum : uint32_t {
  INFO_PLAYER_ID = 12,  // u32 own player ID
  INFO_CHUNK_MASK = 16, // u32 ChunkMask of the types in the pool
  INFO_CHECKSUM = 20,   // u32 CRC-32 of every byte after the INFO chunk
  INFO_RESERVED = 24,   // u32
  INFO_FLAGS = 28,      // u16, bit 0: empty .\Data\MailOut after the download
  INFO_DICE = 34,       // u8 x 4, the server's dice for the story events
  INFO_MAC = 38,        // u8 x 6, MAC address of the sender
  INFO_CHUNK_SIZE = 44, // header + 32 bytes of payload
};

// Host-order field access inside a chunk in memory (unaligned-safe).
inline uint16_t ChunkGet16(const void* c, uint32_t off) {
  uint16_t v; std::memcpy(&v, static_cast<const uint8_t*>(c) + off, 2); return v;
}
inline uint32_t ChunkGet32(const void* c, uint32_t off) {
  uint32_t v; std::memcpy(&v, static_cast<const uint8_t*>(c) + off, 4); return v;
}
inline void ChunkPut16(void* c, uint32_t off, uint16_t v) { std::memcpy(static_cast<uint8_t*>(c) + off, &v, 2); }
inline void ChunkPut32(void* c, uint32_t off, uint32_t v) { std::memcpy(static_cast<uint8_t*>(c) + off, &v, 4); }
inline uint32_t ChunkLength(const void* c) { return ChunkGet32(c, 8); }

// A new cleared chunk (AllocVec) with its header set; null when out of memory.
uint8_t* AllocChunk(const char* id, const char* version, uint32_t length);

// The name of a pool file (.\Data\POP3In\ and .\Data\POP3Out\GameChunk.qoe).
constexpr char kPoolFileName[] = "GameChunk.qoe";
// 1 when the path names a pool file (its last name is kPoolFileName, any case).
int32_t IsPoolPath(const char* path);

// The first chunk with this ID of the file, host order, in a new block
// (free with FreeChunk); null when the file or the chunk is missing, or the
// file is corrupt (a length past the end, a count that does not fit, a
// pool whose checksum fails, a pool file without INFO first).
uint8_t* LoadChunk2Mem(const char* id, const char* path);
void FreeChunk(void* chunk);
// A chunk of LoadChunk2Mem owned for one scope (p null when it did not load).
struct LoadedChunk {
  uint8_t* p = nullptr;
  LoadedChunk() = default;
  LoadedChunk(const char* id, const char* path) : p(LoadChunk2Mem(id, path)) {}
  ~LoadedChunk() { if (p) FreeChunk(p); }
  LoadedChunk(const LoadedChunk&) = delete;
  LoadedChunk& operator=(const LoadedChunk&) = delete;
  void Reset(const char* id, const char* path) {
    if (p) FreeChunk(p);
    p = LoadChunk2Mem(id, path);
  }
  uint32_t len() const;  // payload length, 0 when not loaded
  // Loads the chunk and tells what the file holds of it (ChunkState): p is
  // set only for CHUNK_GOOD. A damaged chunk is logged.
  int32_t Load(const char* id, const char* path);
};
// What a file holds of a chunk type: CHUNK_GOOD (it loads), CHUNK_ABSENT (no
// file, or a whole file without that chunk) or CHUNK_DAMAGED (the file is
// empty, unreadable or corrupt, or the chunk does not fit its layout).
enum : int32_t { CHUNK_DAMAGED = -1, CHUNK_ABSENT = 0, CHUNK_GOOD = 1 };
int32_t ChunkState(const char* id, const char* path);
// ChunkState that also loads the chunk: *out (FreeChunk) set only for
// CHUNK_GOOD. A damaged chunk is logged.
int32_t LoadChunkState(const char* id, const char* path, uint8_t** out);
// LoadChunkState for a chunk of records that keeps what is whole: when the
// file is sound and only the chunk's record count runs past its end, *out
// gets the chunk with the count lowered to its whole records (host order)
// and *whole their number, and the result is still CHUNK_DAMAGED (the rest
// is lost). Any other damage leaves *out null and *whole 0. For a good chunk
// *whole is its count. whole may be null.
int32_t LoadChunkWholeRecords(const char* id, const char* path, uint8_t** out, uint32_t* whole);
// The whole file at once: CHUNK_GOOD when every chunk of it loads (and, in
// a pool, every type its ChunkMask names is there), CHUNK_ABSENT when there
// is no file, else CHUNK_DAMAGED with the ID of the first chunk that cannot
// be loaded in id (4 characters and a zero; "" when the file as a whole is
// damaged). id may be null.
int32_t FileChunksState(const char* path, char id[5]);
// 1 when every bit of mask is set in the pool's ChunkMask, else 0.
int32_t IsChunkInFile(uint32_t mask, const char* path);
// Replaces or adds the chunk (host order, left unchanged) in the pool,
// sets its presence bit and the checksum; a missing pool is created with an
// INFO chunk. The file is replaced atomically; a damaged pool is reported
// (0) and left as it is. Non-zero on success.
int32_t AddChunkPool(const void* chunk, const char* path);
// Removes the chunk type from the pool and clears its bit; non-zero on
// success (also when the type was not there).
int32_t RemChunkPool(const char* id, const char* path);
// One change of a pool: chunk (host order, left unchanged) is added or
// replaces the pool's chunk of its ID; with chunk null the chunks of type
// removeId (4 characters, not INFO) are removed.
struct PoolChange {
  const void* chunk;
  const char* removeId;
};
// The pool file's new image (disk order) with the changes applied in order:
// byte for byte what AddChunkPool and RemChunkPool would leave after the
// same calls (a missing pool starts as a new one with INFO). The file is
// not touched: the caller writes the image through a FileSet with its other
// files. A new block (FreeVec) and *size; null (logged) when the pool is
// damaged, a change is invalid, or memory runs out.
uint8_t* ChangedPoolImage(const char* path, const PoolChange* changes, uint32_t count, uint32_t* size);
// Writes the chunk alone as a new big-endian file (no INFO chunk); 1 or 0.
int32_t SaveChunk2File(const char* path, const void* chunk);

// Converts a chunk in place between disk order (big-endian) and host order:
// to_host 1 from disk, 0 to disk. size is the buffer size, which must hold
// the header and the payload. The PMAP payload is left as it is. Returns 1,
// or 0 (nothing changed) when the payload does not fit the type's layout.
int32_t SwapByteOrderInChunk(void* chunk, uint32_t size, int32_t to_host);

// Checks a whole pool image on disk order: the chunks tile the buffer, and
// when it begins with INFO the checksum matches. 1 good, 0 corrupt.
int32_t VerifyChunkPool(const void* data, uint32_t size);
// The first chunk with this ID of a file image (disk order) as a new host
// order block, or null; what LoadChunk2Mem does after reading the file.
uint8_t* ChunkFromBuffer(const char* id, const void* data, uint32_t size);


// The own player as the game data layer sees it: the ID written into the
// INFO chunk of a new pool, the owner of new figures and the sender of
// letters. Without a set owner (or after SetGameDataOwner(0, null)) they
// come from the prefs fields 9 (player ID) and 10 (lord's name).
void SetGameDataOwner(uint32_t player_id, const char* lord_name);
// The chunk pools' state record back to its start: no owner set (tests).
void ResetChunkPoolState();
uint32_t GameDataOwnerID();
const char* GameDataOwnerName();
