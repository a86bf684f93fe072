// Chunk pools: loading, adding, removing and single-chunk files.
#include "chunks.h"
#include "chunks_internal.h"
#include "codecs.h"
#include "stage.h"
#include "turns.h"

#include <strings.h>

#include <string>

#include "routinen/internetlowlevel/mac.h"
#include "platform/log.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/files.h"
#include "routinen/system/memory.h"
#include "routinen/system/prefs.h"

namespace {

// The chunk pools' state record: the own player as the game data layer sees
// it (SetGameDataOwner). Game thread only, like the pools themselves.
struct ChunkPoolState {
  uint32_t playerId = 0;         // the ID of the set owner
  char ownerName[40] = {0};      // its lord's name, or the prefs' copy
  bool ownerSet = false;         // SetGameDataOwner named one
};
ChunkPoolState g_pools;

// Walks the chunks of a disk-order image. Returns false when a header or a
// length passes the end of the buffer.
struct ChunkSpan { uint32_t pos; uint32_t size; };

bool NextChunk(const uint8_t* d, uint32_t size, uint32_t& pos, ChunkSpan& out) {
  if (pos >= size) return false;
  if (size - pos < 12) return false;
  uint32_t len = GetBE32(d + pos + 8);
  if (len > size - pos - 12) return false;
  out.pos = pos;
  out.size = 12 + len;
  pos += out.size;
  return true;
}

// 1 when the chunks tile the buffer exactly.
bool ChunksTile(const uint8_t* d, uint32_t size) {
  uint32_t pos = 0;
  ChunkSpan s{};
  while (pos < size)
    if (!NextChunk(d, size, pos, s)) return false;
  return true;
}

bool IsPool(const uint8_t* d, uint32_t size) {
  return size >= 12 && std::memcmp(d, "INFO", 4) == 0;
}

// Older versions kept the old pool as path + ".bak" during a rewrite. The
// rewrite is atomic (temporary file and rename), so no backup is needed; a
// leftover one is stale and is deleted, never read.
std::string StaleBackupPath(const char* path) { return std::string(path) + ".bak"; }

// A pool is read only when it is whole: INFO first and its checksum right.
bool GoodPool(const uint8_t* d, uint32_t size) { return IsPool(d, size) && VerifyChunkPool(d, size); }

// Loads a pool image for rewriting. Sets *missing when there is no file.
// Null (logged) when it is damaged: the caller reports the failure.
uint8_t* LoadPoolForRewrite(const char* who, const char* path, uint32_t* size, bool* missing) {
  *missing = false;
  uint32_t n = 0;
  uint8_t* d = static_cast<uint8_t*>(GdLoadFile(path, MEMF_PUBLIC, &n));
  if (!d) {
    *missing = !GdFileExists(path);
    if (!*missing) DebugLog("%s: Pool %s ist beschaedigt\n", who, path);  // empty or unreadable
    return nullptr;
  }
  if (GoodPool(d, n)) { *size = n; return d; }
  DebugLog("%s: Pool %s ist beschaedigt\n", who, path);
  FreeVec(d);
  return nullptr;
}

// Writes the new image in place of the pool (atomically).
int32_t RewritePool(const char* who, const char* path, const uint8_t* data, uint32_t size) {
  if (!GdSaveFile(path, data, size)) {
    DebugLog("%s: Konnte Pool %s nicht schreiben\n", who, path);
    return 0;
  }
  GdRemoveFile(StaleBackupPath(path).c_str());
  return 1;
}

void SetPoolChecksum(uint8_t* d, uint32_t size) {
  uint32_t info = 12 + GetBE32(d + 8);
  PutBE32(d + INFO_CHECKSUM, Crc32(d + info, size - info));
}

// A fresh INFO chunk in disk order.
void MakeInfo(uint8_t* d) {
  std::memset(d, 0, INFO_CHUNK_SIZE);
  std::memcpy(d, "INFOV001", 8);
  PutBE32(d + 8, INFO_CHUNK_SIZE - 12);
  PutBE32(d + INFO_PLAYER_ID, GameDataOwnerID());
  uint8_t mac[6] = {0};
  uint32_t n = 0;
  Mac(mac, &n);
  std::memcpy(d + INFO_MAC, mac, 6);
}

// Rebuilds a pool: keeps every chunk of old (disk order) but those with
// drop_id, puts `chunk` (disk order, may be null) in place of the first
// dropped one or at the end. Returns a new image or null.
uint8_t* BuildPool(const uint8_t* old, uint32_t old_size, const char* drop_id,
                   const uint8_t* chunk, uint32_t chunk_size, uint32_t* out_size) {
  uint8_t fresh_info[INFO_CHUNK_SIZE];
  if (!old) {
    MakeInfo(fresh_info);
    old = fresh_info;
    old_size = INFO_CHUNK_SIZE;
  }
  uint64_t total = (uint64_t)old_size + chunk_size;
  if (total > 0x7FFFFFF0u) return nullptr;
  uint8_t* out = static_cast<uint8_t*>(AllocVec((uint32_t)total, MEMF_PUBLIC));
  if (!out) return nullptr;
  uint32_t pos = 0, w = 0;
  bool placed = false;
  ChunkSpan s{};
  bool first = true;
  while (NextChunk(old, old_size, pos, s)) {
    const uint8_t* c = old + s.pos;
    if (!first && std::memcmp(c, drop_id, 4) == 0) {
      if (chunk && !placed) { std::memcpy(out + w, chunk, chunk_size); w += chunk_size; placed = true; }
      first = false;
      continue;
    }
    first = false;
    std::memcpy(out + w, c, s.size);
    w += s.size;
  }
  if (chunk && !placed) { std::memcpy(out + w, chunk, chunk_size); w += chunk_size; }
  // Presence bits from what the pool now holds.
  uint32_t mask = ChunkBit(CHUNK_INFO);
  pos = 12 + GetBE32(out + 8);
  while (NextChunk(out, w, pos, s)) {
    int32_t idx = ChunkIndexOf(reinterpret_cast<const char*>(out + s.pos));
    if (idx >= 0) mask |= 1u << idx;
  }
  PutBE32(out + INFO_CHUNK_MASK, mask);
  SetPoolChecksum(out, w);
  *out_size = w;
  return out;
}

// The pool image old (disk order; null for a new pool) with the host-order
// chunk added or put in place of its type's: a new image, or null (logged
// when the chunk does not fit its layout).
uint8_t* PoolWithChunk(const char* who, const uint8_t* old, uint32_t old_size, const void* chunk,
                       uint32_t* new_size) {
  uint32_t len = ChunkLength(chunk);
  if (len > 0x7FFFFFF0u - 12) return nullptr;
  uint32_t csize = 12 + len;
  uint8_t* disk = static_cast<uint8_t*>(AllocVec(csize, MEMF_PUBLIC));
  if (!disk) return nullptr;
  std::memcpy(disk, chunk, csize);
  if (!SwapByteOrderInChunk(disk, csize, 0)) {
    DebugLog("%s: Chunk %.4s ist nicht gueltig\n", who, static_cast<const char*>(chunk));
    FreeVec(disk);
    return nullptr;
  }
  uint8_t* image;
  if (std::memcmp(disk, "INFO", 4) == 0) {
    // The INFO chunk replaces the pool's own; mask and checksum are recomputed.
    uint8_t info[INFO_CHUNK_SIZE];
    MakeInfo(info);
    std::memcpy(info + 12, disk + 12, (csize < INFO_CHUNK_SIZE ? csize : INFO_CHUNK_SIZE) - 12);
    uint32_t rest = old ? 12 + GetBE32(old + 8) : old_size;
    uint32_t with_size = INFO_CHUNK_SIZE + (old ? old_size - rest : 0);
    uint8_t* with = static_cast<uint8_t*>(AllocVec(with_size, MEMF_PUBLIC));
    if (!with) { FreeVec(disk); return nullptr; }
    std::memcpy(with, info, INFO_CHUNK_SIZE);
    if (old) std::memcpy(with + INFO_CHUNK_SIZE, old + rest, old_size - rest);
    image = BuildPool(with, with_size, "INFO", nullptr, 0, new_size);
    FreeVec(with);
  } else {
    image = BuildPool(old, old_size, reinterpret_cast<const char*>(disk), disk, csize, new_size);
  }
  FreeVec(disk);
  return image;
}

}  // namespace

void SetGameDataOwner(uint32_t player_id, const char* lord_name) {
  g_pools.playerId = player_id;
  std::memset(g_pools.ownerName, 0, sizeof g_pools.ownerName);
  if (lord_name) std::strncpy(g_pools.ownerName, lord_name, sizeof g_pools.ownerName - 1);
  g_pools.ownerSet = player_id != 0 || lord_name != nullptr;
}

void ResetChunkPoolState() { g_pools = ChunkPoolState{}; }

uint32_t GameDataOwnerID() {
  return g_pools.ownerSet ? g_pools.playerId : GdPrefs(PREFS_PLAYER_ID, 0, 0);
}

const char* GameDataOwnerName() {
  if (!g_pools.ownerSet) {
    std::memset(g_pools.ownerName, 0, sizeof g_pools.ownerName);
    if (char* name = GdPrefsStr(PREFS_LORD_NAME, 0, nullptr)) {
      std::strncpy(g_pools.ownerName, name, sizeof g_pools.ownerName - 1);
      FreeVec(name);
    }
  }
  return g_pools.ownerName;
}

uint8_t* AllocChunk(const char* id, const char* version, uint32_t length) {
  if (length > 0x7FFFFFF0u - 12) return nullptr;
  uint8_t* c = static_cast<uint8_t*>(AllocVec(12 + length, MEMF_PUBLIC | MEMF_CLEAR));
  if (!c) return nullptr;
  std::memcpy(c, id, 4);
  std::memcpy(c + 4, version, 4);
  ChunkPut32(c, 8, length);
  return c;
}

int32_t VerifyChunkPool(const void* data, uint32_t size) {
  const uint8_t* d = static_cast<const uint8_t*>(data);
  if (!d || !ChunksTile(d, size)) return 0;
  if (!IsPool(d, size)) return 1;
  uint32_t info = 12 + GetBE32(d + 8);
  if (info < INFO_CHUNK_SIZE) return 0;
  return GetBE32(d + INFO_CHECKSUM) == Crc32(d + info, size - info) ? 1 : 0;
}

uint8_t* ChunkFromBuffer(const char* id, const void* data, uint32_t size) {
  const uint8_t* d = static_cast<const uint8_t*>(data);
  if (!d || !id) return nullptr;
  if (!VerifyChunkPool(d, size)) {
    DebugLog("LoadChunk2Mem: Datei ist beschaedigt, Chunk %.4s nicht geladen\n", id);
    return nullptr;
  }
  uint32_t pos = 0;
  ChunkSpan s{};
  while (NextChunk(d, size, pos, s)) {
    if (std::memcmp(d + s.pos, id, 4) != 0) continue;
    uint8_t* c = static_cast<uint8_t*>(AllocVec(s.size, MEMF_PUBLIC));
    if (!c) return nullptr;
    std::memcpy(c, d + s.pos, s.size);
    if (!SwapByteOrderInChunk(c, s.size, 1)) {
      DebugLog("LoadChunk2Mem: Chunk %.4s ist beschaedigt\n", id);
      FreeVec(c);
      return nullptr;
    }
    return c;
  }
  return nullptr;
}

int32_t IsPoolPath(const char* path) {
  if (!path) return 0;
  const char* name = path;
  for (const char* p = path; *p; ++p)
    if (*p == '\\' || *p == '/') name = p + 1;
  return strcasecmp(name, kPoolFileName) == 0 ? 1 : 0;
}

uint8_t* LoadChunk2Mem(const char* id, const char* path) {
  uint32_t size = 0;
  void* d = GdLoadFile(path, MEMF_PUBLIC, &size);
  if (!d) {
    DebugLog("LoadChunk2Mem:Konnte File nicht oeffnen : %s\n", path ? path : "(null)");
    return nullptr;
  }
  // A pool file must be one, whatever its first bytes say: damaged bytes
  // there must not turn it into a plain file that skips the checksum.
  if (IsPoolPath(path) && !GoodPool(static_cast<const uint8_t*>(d), size)) {
    DebugLog("LoadChunk2Mem: Pool %s ist beschaedigt, Chunk %.4s nicht geladen\n", path, id ? id : "????");
    FreeVec(d);
    return nullptr;
  }
  uint8_t* c = ChunkFromBuffer(id, d, size);
  FreeVec(d);
  return c;
}

void FreeChunk(void* chunk) { FreeVec(chunk); }

int32_t LoadChunkState(const char* id, const char* path, uint8_t** out) {
  if (out) *out = nullptr;
  if (!id || !path || !GdFileExists(path)) return CHUNK_ABSENT;
  uint32_t size = 0;
  uint8_t* d = static_cast<uint8_t*>(GdLoadFile(path, MEMF_PUBLIC, &size));
  int32_t state = CHUNK_DAMAGED;  // empty or unreadable without d
  if (d && VerifyChunkPool(d, size) && (!IsPoolPath(path) || IsPool(d, size))) {
    state = CHUNK_ABSENT;
    uint32_t pos = 0;
    ChunkSpan s{};
    while (NextChunk(d, size, pos, s)) {
      if (std::memcmp(d + s.pos, id, 4) != 0) continue;
      state = SwapByteOrderInChunk(d + s.pos, s.size, 1) ? CHUNK_GOOD : CHUNK_DAMAGED;
      if (state == CHUNK_GOOD && out) {
        *out = static_cast<uint8_t*>(AllocVec(s.size, MEMF_PUBLIC));
        if (*out) std::memcpy(*out, d + s.pos, s.size);
        else state = CHUNK_DAMAGED;  // it cannot be loaded either way
      }
      break;
    }
  }
  if (d) FreeVec(d);
  if (state == CHUNK_DAMAGED && out) DebugLog("LoadChunk2Mem: Chunk %.4s in %s ist beschaedigt\n", id, path);
  return state;
}

int32_t LoadChunkWholeRecords(const char* id, const char* path, uint8_t** out, uint32_t* whole) {
  if (whole) *whole = 0;
  const int32_t state = LoadChunkState(id, path, out);
  const ChunkLayout* l = ChunkLayoutOf(id);
  if (state == CHUNK_GOOD && *out && whole && l && l->kind == CK_RECORDS)
    *whole = l->count_width == 2 ? ChunkGet16(*out, l->count_off) : ChunkGet32(*out, l->count_off);
  if (state != CHUNK_DAMAGED || !l || l->kind != CK_RECORDS || !l->rec) return state;
  uint32_t size = 0;
  uint8_t* d = static_cast<uint8_t*>(GdLoadFile(path, MEMF_PUBLIC, &size));
  if (!d) return state;
  if (VerifyChunkPool(d, size) && (!IsPoolPath(path) || IsPool(d, size))) {
    uint32_t pos = 0;
    ChunkSpan s{};
    while (NextChunk(d, size, pos, s)) {
      if (std::memcmp(d + s.pos, id, 4) != 0) continue;
      uint8_t* c = d + s.pos;
      const RecordCodec* rec = ChunkRecordCodec(*l, c);
      if (s.size < l->rec_off || !rec || !rec->size) break;
      const uint32_t fit = (s.size - l->rec_off) / rec->size;
      const uint32_t count = l->count_width == 2 ? GetBE16(c + l->count_off) : GetBE32(c + l->count_off);
      if (count <= fit) break;  // damaged otherwise: nothing of it is trusted
      // The whole records only, the chunk cut after the last of them.
      const uint32_t keep = l->rec_off + fit * rec->size;
      uint8_t* copy = static_cast<uint8_t*>(AllocVec(keep, MEMF_PUBLIC));
      if (!copy) break;
      std::memcpy(copy, c, keep);
      PutBE32(copy + 8, keep - 12);
      if (l->count_width == 2) PutBE16(copy + l->count_off, static_cast<uint16_t>(fit));
      else PutBE32(copy + l->count_off, fit);
      if (SwapByteOrderInChunk(copy, keep, 1)) {
        DebugLog("LoadChunk2Mem: Chunk %.4s in %s nennt %u Eintraege, %u sind ganz\n", id, path, count, fit);
        *out = copy;
        if (whole) *whole = fit;
      } else {
        FreeVec(copy);
      }
      break;
    }
  }
  FreeVec(d);
  return state;
}

int32_t ChunkState(const char* id, const char* path) { return LoadChunkState(id, path, nullptr); }

int32_t LoadedChunk::Load(const char* id, const char* path) {
  if (p) FreeChunk(p);
  return LoadChunkState(id, path, &p);
}

namespace {

// The map chunks are bytes to the loader; a whole turn's must also hold
// what their counts say (PMAP little-endian, BMAP big-endian) and IMAP its
// whole start record.
bool MapChunkWhole(const uint8_t* c, uint32_t size) {
  if (!std::memcmp(c, "PMAP", 4))
    return size >= PMAP_CELLS && (uint64_t)GetLE32(c + PMAP_COUNT) * MAPTILE_SIZE <= size - PMAP_CELLS;
  if (!std::memcmp(c, "BMAP", 4))
    return size >= BMAP_PARTS && (uint64_t)GetBE32(c + BMAP_COUNT) * BMAP_PART_SIZE <= size - BMAP_PARTS;
  if (!std::memcmp(c, "IMAP", 4)) return size >= IMAP_SIZE;
  return true;
}

}  // namespace

int32_t FileChunksState(const char* path, char id[5]) {
  if (id) id[0] = 0;
  if (!path || !GdFileExists(path)) return CHUNK_ABSENT;
  uint32_t size = 0;
  uint8_t* d = static_cast<uint8_t*>(GdLoadFile(path, MEMF_PUBLIC, &size));
  if (!d) return CHUNK_DAMAGED;  // empty or unreadable
  const bool pool = IsPool(d, size);
  int32_t state = VerifyChunkPool(d, size) && (pool || !IsPoolPath(path)) ? CHUNK_GOOD : CHUNK_DAMAGED;
  uint32_t pos = 0, named = 0, held = 0;
  ChunkSpan s{};
  if (pool && state == CHUNK_GOOD) named = GetBE32(d + INFO_CHUNK_MASK);  // a good pool's INFO is whole
  while (state == CHUNK_GOOD && NextChunk(d, size, pos, s)) {
    char name[5] = {0};
    std::memcpy(name, d + s.pos, 4);
    const int32_t index = ChunkIndexOf(name);
    if (index >= 0) held |= 1u << index;
    // Swapped in place: the image is not used afterwards.
    if (SwapByteOrderInChunk(d + s.pos, s.size, 1) && MapChunkWhole(d + s.pos, s.size)) continue;
    state = CHUNK_DAMAGED;
    if (id) std::memcpy(id, name, 5);
  }
  // A type the mask names that the pool does not hold cannot be loaded either.
  for (uint32_t i = 0; state == CHUNK_GOOD && i < CHUNK_TYPES; i++) {
    if (!(named & ~held & (1u << i))) continue;
    state = CHUNK_DAMAGED;
    if (id) std::memcpy(id, ChunkIdTable[i], 5);
  }
  FreeVec(d);
  return state;
}

int32_t IsChunkInFile(uint32_t mask, const char* path) {
  uint8_t* info = LoadChunk2Mem("INFO", path);
  if (!info) return 0;
  uint32_t have = ChunkGet32(info, INFO_CHUNK_MASK);
  FreeChunk(info);
  return (have & mask) == mask ? 1 : 0;
}

int32_t AddChunkPool(const void* chunk, const char* path) {
  if (!chunk || !path) return 0;
  uint32_t old_size = 0;
  bool missing = false;
  uint8_t* old = LoadPoolForRewrite("AddChunkPool", path, &old_size, &missing);
  if (!old && !missing) return 0;
  uint32_t new_size = 0;
  uint8_t* image = PoolWithChunk("AddChunkPool", old, old_size, chunk, &new_size);
  FreeVec(old);
  if (!image) return 0;
  int32_t ok = RewritePool("AddChunkPool", path, image, new_size);
  FreeVec(image);
  return ok;
}

int32_t RemChunkPool(const char* id, const char* path) {
  if (!id || !path || std::memcmp(id, "INFO", 4) == 0) return 0;
  uint32_t old_size = 0;
  bool missing = false;
  uint8_t* old = LoadPoolForRewrite("RemChunkPool", path, &old_size, &missing);
  if (!old) {
    if (missing) DebugLog("RemChunkPool: Pool %s nicht vorhanden\n", path);
    return 0;
  }
  uint32_t new_size = 0;
  uint8_t* image = BuildPool(old, old_size, id, nullptr, 0, &new_size);
  int32_t ok = 0;
  if (image) {
    ok = (new_size == old_size && std::memcmp(image, old, old_size) == 0)
             ? 1 : RewritePool("RemChunkPool", path, image, new_size);
    FreeVec(image);
  }
  FreeVec(old);
  return ok;
}

uint8_t* ChangedPoolImage(const char* path, const PoolChange* changes, uint32_t count, uint32_t* size) {
  if (!path || !size || (count && !changes)) return nullptr;
  uint32_t cur_size = 0;
  bool missing = false;
  uint8_t* cur = LoadPoolForRewrite("ChangedPoolImage", path, &cur_size, &missing);
  if (!cur && !missing) return nullptr;
  if (!cur) cur = BuildPool(nullptr, 0, "INFO", nullptr, 0, &cur_size);  // a new pool: INFO alone
  for (uint32_t i = 0; cur && i < count; ++i) {
    const PoolChange& c = changes[i];
    uint32_t next_size = 0;
    uint8_t* next = nullptr;
    if (c.chunk) {
      next = PoolWithChunk("ChangedPoolImage", cur, cur_size, c.chunk, &next_size);
    } else if (c.removeId && strnlen(c.removeId, 4) == 4 && std::memcmp(c.removeId, "INFO", 4) != 0) {
      next = BuildPool(cur, cur_size, c.removeId, nullptr, 0, &next_size);
    } else {
      DebugLog("ChangedPoolImage: Aenderung %u ist nicht gueltig\n", i);
    }
    FreeVec(cur);
    cur = next;
    cur_size = next_size;
  }
  if (cur) *size = cur_size;
  return cur;
}

int32_t SaveChunk2File(const char* path, const void* chunk) {
  if (!chunk || !path) {
    DebugLog("SaveChunk2File:Der uebergebene Chunk war nicht VALID!\n");
    return 0;
  }
  uint32_t id = ChunkGet32(chunk, 0), ver = ChunkGet32(chunk, 4), len = ChunkLength(chunk);
  if (id == 0 || ver == 0 || len == 0 || len > 0x7FFFFFF0u - 12) {
    DebugLog("SaveChunk2File:Der uebergebene Chunk war nicht VALID!\n");
    return 0;
  }
  uint8_t* disk = static_cast<uint8_t*>(AllocVec(12 + len, MEMF_PUBLIC));
  if (!disk) return 0;
  std::memcpy(disk, chunk, 12 + len);
  int32_t ok = 0;
  if (!SwapByteOrderInChunk(disk, 12 + len, 0))
    DebugLog("SaveChunk2File:Der uebergebene Chunk war nicht VALID!\n");
  else if (!GdSaveFile(path, disk, 12 + len))
    DebugLog("SaveChunk2File:Konnte File nicht schreiben : %s\n", path);
  else
    ok = 1;
  FreeVec(disk);
  return ok;
}

uint32_t LoadedChunk::len() const { return p ? ChunkLength(p) : 0; }
