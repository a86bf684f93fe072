// The turn evaluation: one pass per chunk type of a received turn, each all
// or nothing (its files and prefs fields are staged and put on disk by one
// FileSet; inside GameInit they join the set-up's stage).
#include <strings.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

#include "chunks.h"
#include "chunks_internal.h"
#include "entities.h"
#include "luxus.h"
#include "platform/log.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/files.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"
#include "routinen/system/prefs.h"
#include "routinen/system/sysrecords.h"
#include "stage.h"
#include "towns.h"
#include "turns.h"

const char* const ReceivedPoolPath = ".\\Data\\POP3In\\GameChunk.qoe";
const char* const OutgoingPoolPath = ".\\Data\\POP3Out\\GameChunk.qoe";

namespace {

using Chunk = LoadedChunk;

bool SamePath(const char* a, const char* b) {
  char ra[1024], rb[1024];
  if (!ResolvePath(a, ra, sizeof ra) || !ResolvePath(b, rb, sizeof rb)) return !strcasecmp(a, b);
  return !std::strcmp(ra, rb);
}

// A host-order chunk in disk order, as a new vector (empty when it does not
// fit its layout).
std::vector<uint8_t> DiskImage(const uint8_t* chunk) {
  const uint32_t size = 12 + ChunkLength(chunk);
  std::vector<uint8_t> d(chunk, chunk + size);
  if (!SwapByteOrderInChunk(d.data(), size, 0)) d.clear();
  return d;
}

bool StageChunkFile(const char* path, const uint8_t* chunk) {
  std::vector<uint8_t> d = DiskImage(chunk);
  return !d.empty() && GdSaveFile(path, d.data(), (uint32_t)d.size());
}

// ---- INFO ----

bool InfoPass(const char* path) {
  Chunk info("INFO", path);
  if (!info.p || info.len() < INFO_CHUNK_SIZE - 12) {
    DebugLog("ChunkMachine: Kein gueltiger INFO-Chunk in %s\n", path);
    return false;
  }
  const uint32_t owner = ChunkGet32(info.p, INFO_PLAYER_ID);
  const uint32_t own = GdPrefs(PREFS_PLAYER_ID, 0, 0);
  if (own != 0 && own != 0xFFFFFFFFu && owner != own) {
    DebugLog("ChunkMachine: Spielzug gehoert Spieler %u, nicht %u\n", owner, own);
    return false;
  }
  const uint8_t* dice = info.p + INFO_DICE;
  GdPrefs(PREFS_DICE1, 1, dice[0]);
  GdPrefs(PREFS_DICE2, 1, dice[1]);
  GdPrefs(PREFS_DICE3, 1, dice[2]);
  GdPrefs(PREFS_DICE4, 1, dice[3]);
  GdOwnPlayer()->InfoFlags = ChunkGet16(info.p, INFO_FLAGS);
  return true;
}

// ---- INIT (outgoing pool) ----

bool InitPass(const char* out_path) {
  Chunk korn;
  const int32_t state = korn.Load("KORN", ReceivedPoolPath);
  if (state == CHUNK_ABSENT) return true;  // nothing says a new turn began
  if (state != CHUNK_GOOD) return false;   // a damaged one cannot say
  const uint64_t got = (uint64_t)ChunkGet32(korn.p, 12) * 4 + ChunkGet16(korn.p, 16);
  const uint64_t have = (uint64_t)GdPrefs(PREFS_YEAR, 0, 0) * 4 + GdPrefs(PREFS_QUARTER, 0, 0);
  if (got <= have) return true;
  // A new turn: last turn's orders are gone; the screens start the pool anew.
  char bak[300];
  std::snprintf(bak, sizeof bak, "%s.bak", out_path);
  return GdRemoveFile(out_path) && GdRemoveFile(bak);
}

// ---- single-file passes ----

bool CopyToFile(const char* path, const char* id, const char* target) {
  Chunk c(id, path);
  if (!c.p) {
    DebugLog("ChunkMachine: Kein %s-Chunk in %s\n", id, path);
    return false;
  }
  return StageChunkFile(target, c.p);
}

bool CopyToOutgoing(const char* path, const char* id) {
  Chunk c(id, path);
  if (!c.p) {
    DebugLog("ChunkMachine: Kein %s-Chunk in %s\n", id, path);
    return false;
  }
  return AddChunkPool(c.p, OutgoingPoolPath) != 0;
}

bool MovePass(const char* path) {
  Chunk move("MOVE", path);
  if (!move.p) {
    DebugLog("ChunkMachine: Kein MOVE-Chunk in %s\n", path);
    return false;
  }
  std::vector<uint8_t> d = DiskImage(move.p);
  if (d.empty()) return false;
  std::vector<uint8_t> file(28, 0);
  std::memcpy(file.data(), "MREFV001", 8);
  PutBE32(file.data() + 8, 16);
  file.insert(file.end(), d.begin(), d.end());
  return GdSaveFile(MapPrefsPath, file.data(), (uint32_t)file.size()) != 0;
}

// The figures of .\Data\MapPrefs.qoe (none without the file and without
// an installed game); false when the file is there but its MOVE chunk
// cannot be loaded, or when an installed game has no file (its set-up made
// one, so none is damage, not "no figures": nothing is dropped for it).
bool MapFigures(std::vector<FigurRecord>* out) {
  out->clear();
  if (!GdFileExists(MapPrefsPath)) {
    if (GdPrefs(PREFS_ACCOUNT_STATE, 0, 0) != ACCOUNT_INSTALLED) return true;
    DebugLog("ChunkMachine: %s fehlt oder ist keine Datei\n", MapPrefsPath);
    return false;
  }
  Chunk move;
  if (move.Load("MOVE", MapPrefsPath) != CHUNK_GOOD) {
    DebugLog("ChunkMachine: MOVE-Chunk in %s fehlt oder ist beschaedigt\n", MapPrefsPath);
    return false;
  }
  const uint32_t n = ChunkGet16(move.p, 12);
  for (uint32_t i = 0; i < n && 14 + 18 * (i + 1) <= 12 + move.len(); i++)
    out->push_back(GetFigurRecord(move.p + 14 + 18 * i));
  return true;
}

bool HasFigure(const std::vector<FigurRecord>& figs, uint32_t owner, uint32_t lo, uint32_t hi, uint32_t number) {
  for (const FigurRecord& f : figs)
    if (f.owner == owner && f.type >= lo && f.type <= hi && f.number == number) return true;
  return false;
}

// Rewrites the outgoing pool's chunk from the kept byte ranges of its
// records, or removes it when nothing is kept.
bool StoreKept(const char* id, const std::vector<uint8_t>& records, uint32_t kept) {
  if (kept == 0) return RemChunkPool(id, OutgoingPoolPath) != 0;
  uint8_t* c = AllocChunk(id, "V001", 4 + (uint32_t)records.size());
  if (!c) return false;
  ChunkPut32(c, 12, kept);
  std::memcpy(c + 16, records.data(), records.size());
  const bool ok = AddChunkPool(c, OutgoingPoolPath) != 0;
  FreeChunk(c);
  return ok;
}

// ARMY: ARHD (8 + 52 bytes), each part AREN (8 + 44), each saboteur SABO (8 + 8).
bool ArmyRepair() {
  // A pool without ARMY has nothing to repair; a damaged one cannot be.
  const int32_t state = ChunkState("ARMY", OutgoingPoolPath);
  if (state == CHUNK_ABSENT) return true;
  Chunk army("ARMY", OutgoingPoolPath);
  if (state != CHUNK_GOOD || !army.p || army.len() < 4) {
    DebugLog("ChunkMachine: ARMY-Chunk in %s ist beschaedigt\n", OutgoingPoolPath);
    return false;
  }
  std::vector<FigurRecord> figs;
  if (!MapFigures(&figs)) return false;
  const uint32_t own = GameDataOwnerID();
  const uint32_t end = 12 + army.len(), n = ChunkGet32(army.p, 12);
  std::vector<uint8_t> kept;
  uint32_t count = 0, off = 16;
  for (uint32_t i = 0; i < n; i++) {
    const uint32_t start = off;
    if (off + 60 > end) return false;
    const uint32_t id = ChunkGet32(army.p, off + 8 + 20), parts = ChunkGet32(army.p, off + 8 + 24);
    off += 60;
    for (uint32_t k = 0; k < parts; k++) {
      if (off + 52 > end) return false;
      const uint64_t sabo = ChunkGet32(army.p, off + 8 + 40);
      if (sabo * 16 > end - off - 52) return false;
      off += 52 + (uint32_t)sabo * 16;
    }
    if (HasFigure(figs, own, 1, 9, id)) {
      kept.insert(kept.end(), army.p + start, army.p + off);
      count++;
    } else {
      DebugLog("ChunkMachine: Armee %u ohne Figur entfernt\n", id);
    }
  }
  return count == n || StoreKept("ARMY", kept, count);
}

// SHIP: 68-byte records; a ship without its figure goes, a cargo slot whose
// figure is gone is emptied.
bool ShipRepair() {
  const int32_t state = ChunkState("SHIP", OutgoingPoolPath);
  if (state == CHUNK_ABSENT) return true;
  Chunk ship("SHIP", OutgoingPoolPath);
  if (state != CHUNK_GOOD || !ship.p || ship.len() < 4) {
    DebugLog("ChunkMachine: SHIP-Chunk in %s ist beschaedigt\n", OutgoingPoolPath);
    return false;
  }
  std::vector<FigurRecord> figs;
  if (!MapFigures(&figs)) return false;
  const uint32_t own = GameDataOwnerID();
  const uint32_t n = ChunkGet32(ship.p, 12);
  if ((uint64_t)n * 68 > ship.len() - 4) return false;
  std::vector<uint8_t> kept;
  uint32_t count = 0;
  bool changed = false;
  for (uint32_t i = 0; i < n; i++) {
    uint8_t* r = ship.p + 16 + 68 * i;
    const uint32_t id = ChunkGet16(r, 0);
    if (!HasFigure(figs, own, 14, 19, id)) {
      DebugLog("ChunkMachine: Schiff %u ohne Figur entfernt\n", id);
      changed = true;
      continue;
    }
    for (uint32_t slot = 0; slot < 3; slot++) {
      uint8_t* c = r + 14 + 18 * slot;
      static const uint8_t kEmpty[18] = {};
      if (!std::memcmp(c, kEmpty, 18)) continue;
      const FigurRecord f = GetFigurRecord(c);
      if (!HasFigure(figs, f.owner, f.type, f.type, f.number)) {
        std::memset(c, 0, 18);
        changed = true;
      }
    }
    kept.insert(kept.end(), r, r + 68);
    count++;
  }
  return !changed || StoreKept("SHIP", kept, count);
}

bool VertPass(const char* path) {
  Chunk vert("VERT", path);
  if (!vert.p) {
    DebugLog("ChunkMachine: Kein VERT-Chunk in %s\n", path);
    return false;
  }
  // The contracts stay in the received pool; last turn's answers go (an
  // outgoing pool without them, or none at all, has nothing to lose; one
  // that cannot be read is not taken for one without them).
  switch (ChunkState("VERT", OutgoingPoolPath)) {
    case CHUNK_ABSENT: return true;
    case CHUNK_GOOD: return RemChunkPool("VERT", OutgoingPoolPath) != 0;
    default: return false;
  }
}

// ---- LAND ----

constexpr uint32_t LAND_REALM_POINTS = 82;  // u16, the realm points

bool LandPass(const char* path) {
  Chunk land("LAND", path);
  if (!land.p || land.len() < 160) {
    DebugLog("ChunkMachine: Kein gueltiger LAND-Chunk in %s\n", path);
    return false;
  }
  // Luxury allocations of the player: entries 0..2 are the raw materials
  // animal, plant and mineral (zeros without a whole file).
  uint32_t alloc[LUXUS_FILE_ENTRIES];
  ReadLuxusDaten(alloc);
  const int64_t v1 = (int64_t)(int32_t)ChunkGet32(land.p, 54) + (int64_t)(alloc[0] / 10);
  const int64_t v2 = (int64_t)(int32_t)ChunkGet32(land.p, 50) + (int64_t)(alloc[1] / 10);
  const int64_t v3 = (int64_t)(int32_t)ChunkGet32(land.p, 58) + (int64_t)(alloc[2] / 10);
  auto clamp = [](int64_t v) { return (uint32_t)(int32_t)(v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : v); };
  GdPrefs(PREFS_LUXURY_VALUE1, 1, clamp(v1));
  GdPrefs(PREFS_LUXURY_VALUE2, 1, clamp(v2));
  GdPrefs(PREFS_LUXURY_VALUE3, 1, clamp(v3));
  // The rank (prefs field 38 holds it + 1; 0: none stored yet). A rise is a
  // coronation; the first rank a realm reports is only recorded.
  const uint32_t rank = RealmRank(ChunkGet16(land.p, LAND_REALM_POINTS));
  const uint32_t stored = GdPrefs(PREFS_RANK, 0, 0);
  if (stored == 0xFFFFFFFFu) return false;
  if (stored != 0 && rank + 1 > stored) GdOwnPlayer()->Mark = OWNPLAYER_CORONATION;
  GdPrefs(PREFS_RANK, 1, rank + 1);
  return true;
}

// ---- MAIL ----

bool MailPass(const char* path) {
  Chunk mail("MAIL", path);
  if (!mail.p || mail.len() < 4) {
    DebugLog("ChunkMachine: Kein gueltiger MAIL-Chunk in %s\n", path);
    return false;
  }
  const uint32_t own = GameDataOwnerID();
  if (own > 0x0FFFFFFF) return false;
  const uint32_t n = ChunkGet32(mail.p, 12);
  const uint32_t end = 12 + mail.len();
  uint32_t off = 16;
  uint32_t next_free = 0;
  for (uint32_t i = 0; i < n; i++) {
    if (off + 12 > end || std::memcmp(mail.p + off, "SMAL", 4)) return false;
    const uint32_t len = ChunkGet32(mail.p, off + 8);
    if (len > end - off - 12) return false;
    std::vector<uint8_t> d(mail.p + off, mail.p + off + 12 + len);
    if (!SwapByteOrderInChunk(d.data(), (uint32_t)d.size(), 0)) return false;
    char file[96];
    for (;;) {
      if (next_free >= 100) {
        DebugLog("ChunkMachine: Zu viele Briefe in MailIn\n");
        return false;
      }
      std::snprintf(file, sizeof file, ".\\Data\\MailIn\\E%7.7x_%2.2u.smal", own, next_free++);
      if (!GdFileExists(file)) break;
    }
    if (!GdSaveFile(file, d.data(), (uint32_t)d.size())) return false;
    off += 12 + len;
  }
  return true;
}

// ---- ANTW ----

bool AntwPass(const char* path) {
  Chunk antw("ANTW", path);
  if (!antw.p || antw.len() < 4) {
    DebugLog("ChunkMachine: Kein gueltiger ANTW-Chunk in %s\n", path);
    return false;
  }
  std::map<uint32_t, std::vector<uint8_t>> names;  // ID -> 80 bytes
  auto take = [&](const uint8_t* c) {
    const uint32_t n = ChunkGet32(c, 12);
    for (uint32_t i = 0; i < n && 16 + 84 * (i + 1) <= 12 + ChunkLength(c); i++) {
      const uint8_t* r = c + 16 + 84 * i;
      names[ChunkGet32(r, 0)] = std::vector<uint8_t>(r + 4, r + 84);
    }
  };
  {
    // The names known so far; a damaged list is not silently replaced.
    Chunk old;
    const int32_t state = old.Load("ANTW", ".\\Data\\SpielerList.qoe");
    if (state == CHUNK_DAMAGED) return false;
    if (old.p) take(old.p);
  }
  take(antw.p);
  uint8_t* c = AllocChunk("ANTW", "V001", 4 + 84 * (uint32_t)names.size());
  if (!c) return false;
  ChunkPut32(c, 12, (uint32_t)names.size());
  uint32_t i = 0;
  for (const auto& kv : names) {
    ChunkPut32(c, 16 + 84 * i, kv.first);
    std::memcpy(c + 16 + 84 * i + 4, kv.second.data(), 80);
    c[16 + 84 * i + 83] = 0;
    i++;
  }
  bool ok = StageChunkFile(".\\Data\\SpielerList.qoe", c);
  FreeChunk(c);
  return ok;
}

// ---- PMAP (with BMAP and IMAP) ----

struct PartImage {
  std::vector<uint8_t> bytes;
};

bool LoadPart(const char* path, uint32_t size, std::vector<uint8_t>* out) {
  out->assign(size, 0);
  uint32_t got = 0;
  uint8_t* d = static_cast<uint8_t*>(GdLoadFile(path, 0, &got));
  if (d) {
    std::memcpy(out->data(), d, got < size ? got : size);
    FreeVec(d);
  }
  return true;
}

bool PmapPass(const char* path) {
  Chunk pmap("PMAP", path);
  if (!pmap.p || pmap.len() < 4) {
    DebugLog("ChunkMachine: Kein gueltiger PMAP-Chunk in %s\n", path);
    return false;
  }
  const uint32_t n = GetLE32(pmap.p + PMAP_COUNT);
  if ((uint64_t)n * MAPTILE_SIZE > pmap.len() - 4) {
    DebugLog("ChunkMachine: PMAP-Zaehler %u passt nicht\n", n);
    return false;
  }
  std::map<uint32_t, std::vector<uint8_t>> parts;  // part column * 160 + row
  char file[64];
  for (uint32_t i = 0; i < n; i++) {
    const uint8_t* cell = pmap.p + PMAP_CELLS + MAPTILE_SIZE * i;
    const uint32_t x = GetLE32(cell), y = GetLE32(cell + 4), g = GetLE16(cell + 8);
    if (x >= 12800 || y >= 6400 || g > 91) {
      DebugLog("ChunkMachine: PMAP-Feld %u,%u (Grafik %u) ungueltig\n", x, y, g);
      return false;
    }
    const uint32_t key = (x / 80) * 160 + y / 40;
    auto it = parts.find(key);
    if (it == parts.end()) {
      std::snprintf(file, sizeof file, ".\\Map\\M_%u_%u.map", x / 80, y / 40);
      it = parts.emplace(key, std::vector<uint8_t>()).first;
      LoadPart(file, MAP_PART_BYTES, &it->second);
    }
    std::memcpy(it->second.data() + (y % 40) * 1760 + (x % 80) * 22, cell, MAPTILE_SIZE);
  }
  // The dungeon entrance: the one field with flag 2.
  Chunk imap, bmap;
  if (imap.Load("IMAP", path) == CHUNK_DAMAGED || bmap.Load("BMAP", path) == CHUNK_DAMAGED) return false;
  if (imap.p && imap.len() < IMAP_SIZE - 12) {
    DebugLog("ChunkMachine: IMAP-Chunk in %s ist zu kurz\n", path);
    return false;
  }
  if (imap.p) {
    const uint32_t dx = GetBE32(imap.p + IMAP_DUNGEON_X), dy = GetBE32(imap.p + IMAP_DUNGEON_Y);
    for (auto& kv : parts)
      for (uint32_t c = 0; c < 3200; c++) {
        uint8_t* cell = kv.second.data() + 22 * c;
        uint32_t f = GetLE32(cell + 18);
        if (f & 2) PutLE32(cell + 18, f & ~2u);
      }
    if (dx < 12800 && dy < 6400) {
      const uint32_t key = (dx / 80) * 160 + dy / 40;
      auto it = parts.find(key);
      if (it == parts.end()) {
        std::snprintf(file, sizeof file, ".\\Map\\M_%u_%u.map", dx / 80, dy / 40);
        it = parts.emplace(key, std::vector<uint8_t>()).first;
        LoadPart(file, MAP_PART_BYTES, &it->second);
      }
      uint8_t* cell = it->second.data() + (dy % 40) * 1760 + (dx % 80) * 22;
      PutLE32(cell + 18, GetLE32(cell + 18) | 2u);
    }
  }
  std::map<uint32_t, std::vector<uint8_t>> known;
  if (bmap.p) {
    if (bmap.len() < 4) return false;
    const uint32_t m = GetBE32(bmap.p + BMAP_COUNT);
    if ((uint64_t)m * BMAP_PART_SIZE > bmap.len() - 4) {
      DebugLog("ChunkMachine: BMAP-Zaehler %u passt nicht\n", m);
      return false;
    }
    for (uint32_t i = 0; i < m; i++) {
      const uint8_t* r = bmap.p + BMAP_PARTS + BMAP_PART_SIZE * i;
      const uint32_t px = GetBE16(r), py = GetBE16(r + 2);
      if (px >= 160 || py >= 160) return false;
      auto it = known.find(px * 160 + py);
      if (it == known.end()) {
        std::snprintf(file, sizeof file, ".\\Map\\B_%u_%u.map", px, py);
        it = known.emplace(px * 160 + py, std::vector<uint8_t>()).first;
        LoadPart(file, KNOWLEDGE_PART_BYTES, &it->second);
      }
      for (uint32_t b = 0; b < KNOWLEDGE_PART_BYTES; b++) it->second[b] |= r[4 + b];
    }
  }
  for (const auto& kv : parts) {
    std::snprintf(file, sizeof file, ".\\Map\\M_%u_%u.map", kv.first / 160, kv.first % 160);
    if (!GdSaveFile(file, kv.second.data(), MAP_PART_BYTES)) return false;
  }
  for (const auto& kv : known) {
    std::snprintf(file, sizeof file, ".\\Map\\B_%u_%u.map", kv.first / 160, kv.first % 160);
    if (!GdSaveFile(file, kv.second.data(), KNOWLEDGE_PART_BYTES)) return false;
  }
  return true;
}

const char* PassName(int32_t index) { return index >= 0 && index < (int32_t)CHUNK_TYPES ? ChunkIdTable[index] : "?"; }

}  // namespace

uint32_t RealmRank(uint32_t realm_points) {
  static const uint32_t kTitles[] = {1, 3, 7, 11, 15, 20, 25, 30};
  uint32_t rank = 0;
  for (uint32_t t : kTitles)
    if (realm_points >= t) rank++;
  return rank;
}

int32_t ChunkMachine(const char* path, uint32_t bit, uint32_t flags) {
  if (!path || !bit || (bit & (bit - 1))) {
    DebugLog("ChunkMachine: ungueltiger Aufruf (Bit %x)\n", bit);
    return 0;
  }
  int32_t index = 0;
  while (!(bit & (1u << index))) index++;
  // The pass's files and prefs fields take effect together (or, inside
  // GameInit, with the whole set-up).
  StageScope stage;
  GdMakeGameFolders();
  const bool outgoing = SamePath(path, OutgoingPoolPath);
  bool ok = false;
  switch (index) {
    case CHUNK_INFO: ok = InfoPass(path); break;
    case CHUNK_INIT: ok = InitPass(path); break;
    case CHUNK_WARE: ok = CopyToFile(path, "WARE", ".\\Data\\WarenChunk.qoe"); break;
    case CHUNK_VERT: ok = VertPass(path); break;
    case CHUNK_MOVE: ok = MovePass(path); break;
    case CHUNK_ARMY: ok = outgoing ? ArmyRepair() : CopyToOutgoing(path, "ARMY"); break;
    case CHUNK_SHIP: ok = outgoing ? ShipRepair() : CopyToOutgoing(path, "SHIP"); break;
    case CHUNK_LAND: ok = LandPass(path); break;
    case CHUNK_MAIL: ok = MailPass(path); break;
    case CHUNK_GEBA: ok = CopyToFile(path, "GEBA", ".\\Data\\Gebaeude.dat"); break;
    case CHUNK_PMAP: ok = PmapPass(path); break;
    case CHUNK_ANTW: ok = AntwPass(path); break;
    default:
      DebugLog("ChunkMachine: Chunk %s wird nicht ausgewertet\n", PassName(index));
      return 0;
  }
  (void)flags;
  if (!ok) stage.Fail();
  ok = stage.Commit() && ok;
  if (!ok) DebugLog("ChunkMachine: Auswertung von %s fehlgeschlagen\n", PassName(index));
  return ok ? 1 : 0;
}
