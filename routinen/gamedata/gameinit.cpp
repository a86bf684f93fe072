// After a turn: towns and culture maps; game set-up from the sign-up answer
// and game removal.
#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "chunks.h"
#include "entities.h"
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

namespace {

using Chunk = LoadedChunk;

// One town of the received TOWN chunk.
struct TurnTown {
  uint32_t id, x, y;
  char name[TOWN_NAME_SIZE];
  bool extended;  // version V002 or later: the values below are given
  uint32_t inhabitants, flags, level;
};

bool ReadTurnTowns(const uint8_t* c, std::vector<TurnTown>* out) {
  const uint32_t len = ChunkLength(c);
  if (len < 2) return false;
  const bool v1 = !std::memcmp(c + 4, "V001", 4);
  const uint32_t size = v1 ? 92 : 106, n = ChunkGet16(c, 12);
  if ((uint64_t)n * size > len - 2) return false;
  for (uint32_t i = 0; i < n; i++) {
    const uint8_t* r = c + 14 + size * i;
    TurnTown t{};
    t.id = ChunkGet32(r, 0);
    std::memcpy(t.name, r + 4, TOWN_NAME_SIZE);
    t.name[TOWN_NAME_SIZE - 1] = 0;
    t.x = ChunkGet32(r, 84) % 12800;
    t.y = ChunkGet32(r, 88) % 6400;
    t.extended = !v1;
    if (!v1) {
      t.inhabitants = ChunkGet32(r, 92);
      t.flags = ChunkGet32(r, 96);
      t.level = ChunkGet32(r, 100);
    }
    if (t.id == TOWN_LIST_END) return false;
    out->push_back(t);
  }
  return true;
}

bool StageTown(const st_TOWN* t) {
  std::vector<uint8_t> d(TOWN_FILE_SIZE);
  EncodeTown(t, d.data());
  char path[320];
  TownFilePath(t->name, path, sizeof path);
  return GdSaveFile(path, d.data(), TOWN_FILE_SIZE) != 0;
}

bool StageTownList(const std::vector<TownListEntry>& list) {
  std::vector<uint8_t> d((list.size() + 1) * TOWN_LIST_RECORD, 0);
  for (size_t i = 0; i < list.size(); i++) {
    PutBE32(d.data() + i * TOWN_LIST_RECORD, list[i].id);
    std::memcpy(d.data() + i * TOWN_LIST_RECORD + 4, list[i].name, TOWN_NAME_SIZE - 1);
  }
  PutBE32(d.data() + list.size() * TOWN_LIST_RECORD, TOWN_LIST_END);
  return GdSaveFile(".\\Data\\Cities\\Town.list", d.data(), (uint32_t)d.size()) != 0;
}

// The town file of a list entry, or a new record when it is missing or has
// the wrong size.
st_TOWN* LoadTownFile(const TownListEntry& e) {
  char path[320];
  TownFilePath(e.name, path, sizeof path);
  uint32_t size = 0;
  uint8_t* d = static_cast<uint8_t*>(GdLoadFile(path, 0, &size));
  st_TOWN* t = nullptr;
  if (d && size == TOWN_FILE_SIZE) {
    t = static_cast<st_TOWN*>(AllocVec(sizeof(st_TOWN), MEMF_CLEAR));
    if (t) DecodeTown(d, t);
  } else {
    t = CreateTown(e.id, e.name, 0, 0);
  }
  if (d) FreeVec(d);
  return t;
}

// The towns' files of a set of towns with the capital rule applied: when no
// town is the capital, the one with the most inhabitants becomes it.
void KeepOneCapital(std::vector<st_TOWN*>& towns) {
  for (st_TOWN* t : towns)
    if (t->kind) return;
  st_TOWN* best = nullptr;
  for (st_TOWN* t : towns)
    if (!best || t->population > best->population) best = t;
  if (best) {
    DebugLog("CheckPlayerTown: %s wird neue Hauptstadt\n", best->name);
    best->kind = 1;
  }
}

bool IsLink(const char* path) {
  char disk[1024];
  struct stat st;
  return ResolvePath(path, disk, sizeof disk) && ::lstat(disk, &st) == 0 && S_ISLNK(st.st_mode);
}

// The names of the files (and links, never followed) in a folder; with
// forms only the sign-up forms "I%7.7u.qoe". None when it cannot be read.
std::vector<std::string> FolderFiles(const char* folder, bool forms) {
  std::vector<std::string> out;
  char disk[1024];
  if (!ResolvePath(folder, disk, sizeof disk)) return out;
  DIR* d = ::opendir(disk);
  if (!d) return out;
  while (dirent* e = ::readdir(d)) {
    const char* n = e->d_name;
    struct stat st;
    if (::fstatat(dirfd(d), n, &st, AT_SYMLINK_NOFOLLOW) != 0 || S_ISDIR(st.st_mode)) continue;
    if (forms) {
      if ((n[0] != 'I' && n[0] != 'i') || std::strlen(n) != 12 || strcasecmp(n + 8, ".qoe")) continue;
      bool digits = true;
      for (int i = 1; i < 8; i++) digits = digits && n[i] >= '0' && n[i] <= '9';
      if (!digits) continue;
    }
    out.push_back(n);
  }
  ::closedir(d);
  return out;
}

}  // namespace

uint32_t StartTownId() {
  TownListEntry* list = nullptr;
  const uint32_t n = ReadTownList(&list);
  const uint32_t last_shown = GdPrefs(PREFS_TOWN_ID, 0, 0);
  uint32_t id = n ? list[0].id : 0;
  bool shown = false, capital = false;
  for (uint32_t i = 0; i < n; i++) {
    if (list[i].id == last_shown) shown = true;
    if (st_TOWN* t = LoadTownFile(list[i])) {
      if (t->kind) {
        id = list[i].id;
        capital = true;
      }
      FreeVec(t);
    }
  }
  if (shown) id = last_shown;
  if (list) FreeVec(list);
  DebugLog("StartTownId: Stadt %u (%s)\n", id,
           shown ? "zuletzt gezeigt" : capital ? "Hauptstadt" : n ? "erste der Liste" : "keine Stadt");
  return id;
}

uint32_t SettleActiveTown(int32_t keep) {
  OwnPlayer* own = GdOwnPlayer();
  if (keep) {
    TownListEntry* list = nullptr;
    const uint32_t n = ReadTownList(&list);
    bool listed = false;
    for (uint32_t i = 0; i < n; i++) listed = listed || list[i].id == own->ActiveTown;
    if (list) FreeVec(list);
    if (listed) return own->ActiveTown;
  }
  own->ActiveTown = StartTownId();
  return own->ActiveTown;
}

int32_t CheckPlayerTown() {
  Chunk town;
  const int32_t state = town.Load("TOWN", ReceivedPoolPath);
  if (state == CHUNK_ABSENT) return 1;  // the turn says nothing about the towns
  if (state != CHUNK_GOOD) return 0;
  std::vector<TurnTown> turn;
  if (!ReadTurnTowns(town.p, &turn)) {
    DebugLog("CheckPlayerTown: TOWN-Chunk ist ungueltig\n");
    return 0;
  }
  TownListEntry* old = nullptr;
  const uint32_t n_old = ReadTownList(&old);
  std::vector<st_TOWN*> towns;
  std::vector<TownListEntry> list;
  StageScope stage;  // every town file and the list together
  bool ok = true;
  for (const TurnTown& tt : turn) {
    const TownListEntry* known = nullptr;
    for (uint32_t i = 0; i < n_old; i++)
      if (old[i].id == tt.id) known = &old[i];
    st_TOWN* t = known ? LoadTownFile(*known) : nullptr;
    if (!t) {
      char name[TOWN_NAME_SIZE];
      if (tt.name[0]) std::snprintf(name, sizeof name, "%s", tt.name);
      else std::snprintf(name, sizeof name, "NewTown.%u", tt.id);
      t = CreateTown(tt.id, name, tt.x, tt.y);
      if (t && !tt.name[0]) t->flags |= TOWN_NEEDS_NAME;
      if (t) DebugLog("CheckPlayerTown: neue Stadt %s (%u)\n", t->name, tt.id);
    }
    if (!t) {
      ok = false;
      break;
    }
    t->XPos = tt.x;
    t->YPos = tt.y;
    towns.push_back(t);
    TownListEntry e{};
    e.id = t->id;
    std::memcpy(e.name, t->name, TOWN_NAME_SIZE);
    list.push_back(e);
  }
  if (ok) {
    KeepOneCapital(towns);
    for (st_TOWN* t : towns) ok = ok && StageTown(t);
    ok = ok && StageTownList(list);
    // Towns the realm lost.
    for (uint32_t i = 0; ok && i < n_old; i++) {
      bool kept = false;
      for (const TownListEntry& e : list) kept = kept || e.id == old[i].id;
      if (kept) continue;
      char path[320];
      TownFilePath(old[i].name, path, sizeof path);
      DebugLog("CheckPlayerTown: Stadt %s verloren\n", old[i].name);
      ok = GdRemoveFile(path) != 0;
    }
  }
  if (ok && towns.empty() && n_old) GdOwnPlayer()->Anarchy = 2;
  // A lost town is no longer the one the screens show.
  if (ok) SettleActiveTown(1);
  if (!ok) stage.Fail();
  ok = stage.Commit() && ok;
  for (st_TOWN* t : towns) FreeVec(t);
  if (old) FreeVec(old);
  return ok ? 1 : 0;
}

int32_t CheckTownStatus(uint32_t mode) {
  (void)mode;
  // The turn's towns and the realm's buildings: either may be absent, but
  // one that cannot be read changes no town.
  std::vector<TurnTown> turn;
  {
    Chunk town;
    const int32_t state = town.Load("TOWN", ReceivedPoolPath);
    if (state == CHUNK_DAMAGED || (town.p && !ReadTurnTowns(town.p, &turn))) {
      DebugLog("CheckTownStatus: TOWN-Chunk ist ungueltig\n");
      return 0;
    }
  }
  Chunk geba;
  if (geba.Load("GEBA", ".\\Data\\Gebaeude.dat") == CHUNK_DAMAGED) return 0;
  const uint32_t geba_n = geba.p ? ChunkGet16(geba.p, 16) : 0;  // a loaded GEBA's records fit
  TownListEntry* list = nullptr;
  const uint32_t n = ReadTownList(&list);
  if (!n) return 1;
  StageScope stage;
  bool ok = true;
  for (uint32_t i = 0; ok && i < n; i++) {
    st_TOWN* t = LoadTownFile(list[i]);
    if (!t) {
      ok = false;
      break;
    }
    for (const TurnTown& tt : turn) {
      if (tt.id != t->id || !tt.extended) continue;
      t->population = tt.inhabitants;
      // The turn's people are the ones the barracks may recruit from; the
      // recruits of a turn lower it until the next turn counts them anew.
      t->TownPopulation = tt.inhabitants;
      t->flags = (uint16_t)((t->flags & TOWN_NEEDS_NAME) | (tt.flags & ~(uint32_t)TOWN_NEEDS_NAME));
      if (tt.level >= 1 && tt.level <= 4) t->level = (uint16_t)tt.level;
    }
    // Standing, ordered and demolished buildings of this town.
    for (uint32_t k = 0; k < geba_n; k++) {
      const uint8_t* r = geba.p + 18 + 16 * k;
      const uint32_t b = ChunkGet16(r, 0), town_id = ChunkGet16(r, 14), time = ChunkGet16(r, 6);
      if (b >= TOWN_BUILDINGS || town_id != (t->id & 0xFFFF)) continue;
      uint16_t& f = t->buildings[b].flags;
      if (time == 0xFFFF) f &= (uint16_t)~(BUILDING_STANDS | BUILDING_ORDERED);
      else if (time == 0) f = (uint16_t)((f | BUILDING_STANDS) & ~BUILDING_ORDERED);
      else f |= BUILDING_ORDERED;
    }
    ok = StageTown(t);
    FreeVec(t);
  }
  if (!ok) stage.Fail();
  ok = stage.Commit() && ok;
  FreeVec(list);
  return ok ? 1 : 0;
}

int32_t CheckMapCultWorld() {
  char disk[1024];
  if (!ResolvePath(".\\Map", disk, sizeof disk) || IsLink(".\\Map")) return 0;
  DIR* d = ::opendir(disk);
  if (!d) return 1;
  std::vector<std::pair<uint32_t, uint32_t>> parts;
  while (dirent* e = ::readdir(d)) {
    unsigned cx, cy;
    char tail[8];
    if ((e->d_name[0] == 'C' || e->d_name[0] == 'c') &&
        std::sscanf(e->d_name + 1, "_%u_%u.%4s", &cx, &cy, tail) == 3 && !strcasecmp(tail, "qoe") && cx < 320 &&
        cy < 320)
      parts.emplace_back(cx, cy);
  }
  ::closedir(d);
  RegisterGameDataListTypes();
  int32_t result = 1;
  for (const auto& part : parts) {
    ListHeader* list = CreateList(14);
    if (!list) return 0;
    if (ScanMapCult2List(list, part.first, part.second)) {
      ListNode* node = list->first;
      for (uint32_t i = 0; i < list->count && node; i++, node = node->next) {
        MapCultEintrag* c = reinterpret_cast<MapCultEintrag*>(node);
        // The terrain of the field from its map part.
        char path[64];
        std::snprintf(path, sizeof path, ".\\Map\\M_%u_%u.map", c->x / 80u, c->y / 40u);
        uint32_t graphic = 0;
        if (FileHandle f = Open(path, MODE_READONLY)) {
          uint8_t cell[22];
          if (Seek(f, (int32_t)((c->y % 40) * 1760 + (c->x % 80) * 22), OFFSET_BEGINNING) >= 0 &&
              Read(f, cell, 22) == 22)
            graphic = GetLE16(cell + 8);
          Close(f);
        }
        const uint32_t type = TerrainTypeOfGraphic(graphic);
        for (int k = 10; k >= 3; k--) {
          c->harvest[k] = c->harvest[k - 1];
          c->wood[k] = c->wood[k - 1];
          c->stone[k] = c->stone[k - 1];
        }
        c->harvest[2] = c->harvest[1];
        c->wood[2] = c->wood[1];
        c->stone[2] = c->stone[1];
        c->harvest[1] = CalcCultValueA(type, c->harvest_workers, c->harvest[1]);
        const uint32_t w = CalcCultValueB(type, c->wood_workers, c->wood[1]);
        c->wood[1] = (uint16_t)(w > 0xFFFF ? 0xFFFF : w);
        const uint32_t s = CalcCultValueC(type, c->stone_workers);
        c->stone[1] = (uint16_t)(s > 0xFFFF ? 0xFFFF : s);
      }
      if (list->count && !SaveMapCultList(list, part.first, part.second)) result = 0;
    }
    DeleteList(list, 0);
  }
  return result;
}

// ---- game set-up ----

namespace {

// The set-up's steps, inside GameInit's stage. False when one fails.
bool SetUpGame(const char* path, uint32_t player, uint32_t cap_x, uint32_t cap_y, const char* cap_name,
               const char* lord) {
  GdMakeGameFolders();
  // The answer becomes the received pool.
  if (std::strcmp(path, ReceivedPoolPath)) {
    uint32_t size = 0;
    void* img = GdLoadFile(path, 0, &size);
    const int32_t copied = img && GdSaveFile(ReceivedPoolPath, img, size);
    if (img) FreeVec(img);
    if (!copied) {
      DebugLog("GameInit: Konnte %s nicht uebernehmen\n", path);
      return false;
    }
  }
  // The player of this game.
  OwnPlayer* own = GdOwnPlayer();
  GdPrefs(PREFS_PLAYER_ID, 1, player);
  if (lord[0]) GdPrefsStr(PREFS_LORD_NAME, 1, lord);
  own->PlayerId = player;
  char* name = GdPrefsStr(PREFS_LORD_NAME, 0, nullptr);
  if (name) {
    std::snprintf(own->LordName, sizeof own->LordName, "%s", name);
    FreeVec(name);
  }
  SetGameDataOwner(0, nullptr);
  GdRemoveFile(".\\Data\\BauScreenGeb.dat");
  GdRemoveFile(".\\Data\\Waren.dat");
  GdRemoveFile(OutgoingPoolPath);

  if (!ChunkMachine(ReceivedPoolPath, 1u << CHUNK_INFO, CHUNKMACHINE_LAST_MAIL) ||
      !ChunkMachine(ReceivedPoolPath, 1u << CHUNK_PMAP, CHUNKMACHINE_LAST_MAIL)) {
    DebugLog("GameInit: Karte konnte nicht angelegt werden\n");
    return false;
  }
  // Whatever else the answer holds.
  static const ChunkIndex kOptional[] = {CHUNK_WARE, CHUNK_MOVE, CHUNK_ARMY, CHUNK_SHIP, CHUNK_LAND,
                                         CHUNK_MAIL, CHUNK_GEBA, CHUNK_ANTW};
  for (ChunkIndex c : kOptional)
    if (IsChunkInFile(1u << c, ReceivedPoolPath) && !ChunkMachine(ReceivedPoolPath, 1u << c, CHUNKMACHINE_LAST_MAIL)) {
      DebugLog("GameInit: Chunk %s konnte nicht ausgewertet werden\n", ChunkIdTable[c]);
      return false;
    }
  // Without figures the realm starts with a scout at its capital.
  if (!IsChunkInFile(1u << CHUNK_MOVE, ReceivedPoolPath)) {
    uint8_t* move = AllocChunk("MOVE", "V001", 2);
    bool ok = false;
    if (move) {
      std::vector<uint8_t> file(28, 0);
      std::memcpy(file.data(), "MREFV001", 8);
      PutBE32(file.data() + 8, 16);
      const uint8_t head[14] = {'M', 'O', 'V', 'E', 'V', '0', '0', '1', 0, 0, 0, 2, 0, 0};
      file.insert(file.end(), head, head + 14);
      ok = GdSaveFile(MapPrefsPath, file.data(), (uint32_t)file.size()) &&
           AddFigur2MapPrefs(MapPrefsPath, 0, cap_x, cap_y) != 0xFFFF;
      FreeChunk(move);
    }
    if (!ok) {
      DebugLog("GameInit: Konnte MapPrefs nicht anlegen\n");
      return false;
    }
  }
  // The towns: from the answer's TOWN chunk, else the capital of IMAP.
  if (IsChunkInFile(1u << CHUNK_TOWN, ReceivedPoolPath)) {
    if (!CheckPlayerTown() || !CheckTownStatus(0)) return false;
  } else {
    st_TOWN* cap = CreateTown(1, cap_name[0] ? cap_name : "NewTown.1", cap_x, cap_y);
    if (!cap) return false;
    cap->kind = 1;
    if (!cap_name[0]) cap->flags |= TOWN_NEEDS_NAME;
    TownListEntry e{};
    e.id = cap->id;
    std::memcpy(e.name, cap->name, TOWN_NAME_SIZE);
    const int32_t ok = SaveTown(cap) && WriteTownList(&e, 1);
    FreeVec(cap);
    if (!ok) return false;
  }
  SettleActiveTown(0);
  // The fields round the capital start as an empty culture map.
  RegisterGameDataListTypes();
  ListHeader* cult = CreateList(14);
  if (!cult) return false;
  {
    const uint32_t px = cap_x / 40, py = cap_y / 20;
    ScanMapCult2List(cult, px, py);
    if (cult->count == 0) {
      const int32_t odd = (int32_t)(cap_x & 1);
      const int32_t d[6][2] = {{0, -1}, {0, 1}, {-1, odd - 1}, {-1, odd}, {1, odd - 1}, {1, odd}};
      for (const auto& s : d) {
        const uint32_t x = (uint32_t)(((int64_t)cap_x + s[0] + 12800) % 12800);
        const uint32_t y = (uint32_t)(((int64_t)cap_y + s[1] + 6400) % 6400);
        if (x / 40 != px || y / 20 != py) continue;
        MapCultEintrag* c = reinterpret_cast<MapCultEintrag*>(AllocListNode(cult));
        if (!c) continue;
        c->x = (uint16_t)x;
        c->y = (uint16_t)y;
        AddNode(cult, &c->head, LN_TAIL, 0);
      }
      if (cult->count && !SaveMapCultList(cult, px, py)) {
        DeleteList(cult, 0);
        return false;
      }
    }
    DeleteList(cult, 0);
  }
  // The turn the game starts with.
  Chunk korn;
  switch (korn.Load("KORN", ReceivedPoolPath)) {
    case CHUNK_GOOD:
      GdPrefs(PREFS_YEAR, 1, ChunkGet32(korn.p, 12));
      GdPrefs(PREFS_QUARTER, 1, ChunkGet16(korn.p, 16));
      own->ReceivedQuarter = ChunkGet16(korn.p, 16);
      GdPrefs(PREFS_TURN_COUNT, 1, 1);
      return true;
    case CHUNK_ABSENT:
      GdPrefs(PREFS_TURN_COUNT, 1, 0);
      return true;
    default:
      return false;
  }
}

}  // namespace


namespace {

// GameInit, and with install also the account state 2 and the date of the
// answer's mail, all in the one stage.
int32_t SetUpFromAnswer(const char* path, bool install, uint32_t mail_date) {
  if (!path) return 0;
  if (!IsChunkInFile((1u << CHUNK_INFO) | (1u << CHUNK_BMAP) | (1u << CHUNK_IMAP) | (1u << CHUNK_PMAP), path)) {
    DebugLog("GameInit: %s ist keine gueltige Anmeldeantwort\n", path);
    return 0;
  }
  // Every chunk of the answer must load: a damaged one is never taken for
  // an absent one.
  char damaged[5];
  if (FileChunksState(path, damaged) != CHUNK_GOOD) {
    DebugLog("GameInit: Chunk %s der Anmeldeantwort %s ist beschaedigt\n", damaged[0] ? damaged : "?", path);
    return 0;
  }
  uint8_t* info = LoadChunk2Mem("INFO", path);
  uint8_t* imap = LoadChunk2Mem("IMAP", path);
  if (!info || !imap || ChunkLength(imap) < IMAP_SIZE - 12) {
    DebugLog("GameInit: INFO oder IMAP fehlt\n");
    if (info) FreeChunk(info);
    if (imap) FreeChunk(imap);
    return 0;
  }
  const uint32_t player = ChunkGet32(info, INFO_PLAYER_ID);
  FreeChunk(info);
  const uint32_t cap_x = GetBE32(imap + IMAP_CAPITAL_X) % 12800, cap_y = GetBE32(imap + IMAP_CAPITAL_Y) % 6400;
  char cap_name[TOWN_NAME_SIZE], lord[40];
  std::memcpy(cap_name, imap + IMAP_CAPITAL_NAME, TOWN_NAME_SIZE);
  cap_name[TOWN_NAME_SIZE - 1] = 0;
  std::memcpy(lord, imap + IMAP_LORD_NAME, 40);
  lord[39] = 0;
  FreeChunk(imap);

  // Everything below takes effect together or not at all: the files, the
  // prefs fields and the own player record are staged and committed once.
  StageScope stage;
  const bool ok = SetUpGame(path, player, cap_x, cap_y, cap_name, lord);
  if (install) {
    GdPrefs(PREFS_LAST_MAIL_DATE, 1, mail_date);
    GdPrefs(PREFS_ACCOUNT_STATE, 1, ACCOUNT_INSTALLED);
  }
  if (!ok) stage.Fail();
  if (!stage.Commit() || !ok) {
    DebugLog("GameInit: Spiel wurde nicht eingerichtet, nichts geaendert\n");
    return 0;
  }
  DebugLog("GameInit: Spiel fuer Spieler %u eingerichtet\n", player);
  return 1;
}

}  // namespace

int32_t GameInit(const char* path) { return SetUpFromAnswer(path, false, 0); }

int32_t InstallGame(const char* path, uint32_t mail_date) { return SetUpFromAnswer(path, true, mail_date); }

// The realm's files go through one stage: every removal and the account
// state are one file set, so a failure changes nothing and a kill leaves
// the whole realm or none of it (the set's commit record finishes the
// removals at the next start). The realm cannot be renamed away as one
// folder instead: its files lie in .\Data beside the indexes, the layouts,
// the options and the prefs, which stay.
int32_t GameExit() {
  StageScope stage;
  bool ok = true;
  // Folders whose files all belong to the game (sub-folders stay).
  static const char* const kFolders[] = {".\\Data\\POP3In", ".\\Data\\POP3Out", ".\\Data\\MailIn",
                                         ".\\Data\\MailOut", ".\\Data\\Cities", ".\\Map"};
  for (const char* f : kFolders) {
    if (IsLink(f)) {
      DebugLog("GameExit: %s ist ein Verweis und bleibt\n", f);
      continue;
    }
    for (const std::string& n : FolderFiles(f, false)) ok = GdRemoveFile((std::string(f) + "\\" + n).c_str()) && ok;
  }
  static const char* const kFiles[] = {".\\Data\\MapPrefs.qoe",  ".\\Data\\SpielerList.qoe", ".\\Data\\WarenChunk.qoe",
                                       ".\\Data\\Gebaeude.dat",  ".\\Data\\BauScreenGeb.dat", ".\\Data\\Waren.dat",
                                       ".\\Data\\Luxus.dat",     ".\\Data\\ShipAddOn.dat",    ".\\Data\\MapNames.dat",
                                       ".\\Data\\Statistikdaten.qoe"};
  for (const char* f : kFiles) ok = GdRemoveFile(f) && ok;
  // Sign-up forms ".\Data\I%7.7u.qoe".
  if (!IsLink(".\\Data")) {
    for (const std::string& n : FolderFiles(".\\Data", true))
      ok = GdRemoveFile((std::string(".\\Data\\") + n).c_str()) && ok;
  }
  // The realm is gone: the next start begins without a game.
  GdPrefs(PREFS_ACCOUNT_STATE, 1, ACCOUNT_NONE);
  OwnPlayer* own = GdOwnPlayer();
  own->ActiveTown = 0;
  own->Anarchy = 0;
  own->Mark = 0;
  own->InfoFlags = 0;
  if (!ok) stage.Fail();
  if (!stage.Commit()) {
    DebugLog("GameExit: Spiel konnte nicht entfernt werden, nichts geaendert\n");
    return 0;
  }
  return 1;
}
