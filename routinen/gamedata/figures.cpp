// Figures on the map: the MOVE chunk of .\Data\MapPrefs.qoe as a list of
// MOVE_EXT nodes, and the changes of the file by figure.
#include <cstddef>
#include <cstring>

#include "chunks.h"
#include "entities.h"
#include "entity_internal.h"
#include "platform/log.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/files.h"
#include "routinen/system/memory.h"
#include "routinen/system/prefs.h"
#include "stage.h"

const char* const MapPrefsPath = ".\\Data\\MapPrefs.qoe";

namespace {

const ChunkLayout& kMove = ChunkLayouts[CHUNK_MOVE];
const uint32_t kRec = FigurRecordCodec.size;  // codec tables are constant-initialised
const uint32_t kFirst = kMove.rec_off;
const uint32_t kWorldX = 12800, kWorldY = 6400;
const uint32_t kMrefSize = 28;

uint32_t Wrap(uint32_t v, int32_t d, uint32_t n) {
  int64_t r = ((int64_t)v + d) % (int64_t)n;
  return (uint32_t)(r < 0 ? r + n : r);
}

// The MOVE chunk (host order) of a MapPrefs file, or null. The file must be
// MREF (28 bytes) followed by MOVE.
uint8_t* LoadMove(const char* path) {
  uint32_t size = 0;
  uint8_t* d = static_cast<uint8_t*>(GdLoadFile(path, MEMF_PUBLIC, &size));
  if (!d) return nullptr;
  uint8_t* move = nullptr;
  if (size >= kMrefSize + 12 && std::memcmp(d, "MREF", 4) == 0 && GetBE32(d + 8) == kMrefSize - 12 &&
      std::memcmp(d + kMrefSize, "MOVE", 4) == 0)
    move = ChunkFromBuffer("MOVE", d, size);
  if (!move) DebugLog("LoadMove: MapPrefs %s ist beschaedigt\n", path);
  FreeVec(d);
  return move;
}

// The file image of MREF (kept from the old file when it is one) and the
// MOVE chunk (host order); the MOVE header lands at 28, its payload at 40.
uint8_t* MapPrefsImageOf(const char* path, const uint8_t* move, uint32_t* size) {
  uint8_t mref[kMrefSize] = {'M', 'R', 'E', 'F', 'V', '0', '0', '1', 0, 0, 0, kMrefSize - 12};
  uint32_t old_size = 0;
  uint8_t* old = static_cast<uint8_t*>(GdLoadFile(path, MEMF_PUBLIC, &old_size));
  if (old && old_size >= kMrefSize && std::memcmp(old, "MREF", 4) == 0 && GetBE32(old + 8) == kMrefSize - 12)
    std::memcpy(mref, old, kMrefSize);
  FreeVec(old);
  uint32_t msize = 12 + ChunkLength(move);
  uint8_t* image = static_cast<uint8_t*>(AllocVec(kMrefSize + msize, MEMF_PUBLIC));
  if (!image) return nullptr;
  std::memcpy(image, mref, kMrefSize);
  std::memcpy(image + kMrefSize, move, msize);
  if (!SwapByteOrderInChunk(image + kMrefSize, msize, 0)) {
    FreeVec(image);
    return nullptr;
  }
  *size = kMrefSize + msize;
  return image;
}

// Writes the image of MapPrefsImageOf as the whole file.
int32_t SaveMapPrefs(const char* path, const uint8_t* move) {
  uint32_t size = 0;
  uint8_t* image = MapPrefsImageOf(path, move, &size);
  int32_t ok = image && GdSaveFile(path, image, size);
  if (!ok) DebugLog("SaveMapPrefs: Konnte %s nicht schreiben\n", path);
  FreeVec(image);
  return ok;
}

bool IsShip(uint32_t type) { return type >= 14 && type <= 19; }
bool IsArmy(uint32_t type) { return type >= 1 && type <= 9; }

void MoveArmy(ListHeader* armies, const FigurRecord& f, int32_t dx, int32_t dy) {
  if (!armies) return;
  ListNode* n = armies->first;
  for (uint32_t i = 0; i < armies->count && n; i++, n = n->next) {
    Army* a = reinterpret_cast<Army*>(n);
    if (a->ArmeeID == f.number && a->Besitzer == f.owner) {
      a->X = Wrap(a->X, dx, kWorldX);
      a->Y = Wrap(a->Y, dy, kWorldY);
    }
  }
}

bool SameFigure(const FigurRecord& a, const FigurRecord& b) {
  return a.owner == b.owner && a.type == b.type && a.number == b.number;
}

// Records of a map figure list payload (u16 count, 18-byte records).
uint32_t FigureCount(const uint8_t* figures, uint32_t size) {
  if (!figures || size < 2) return 0;
  uint32_t n = ChunkGet16(figures, 0);
  return (uint64_t)n * kRec + 2 <= size ? n : (size - 2) / kRec;
}

}  // namespace

int32_t ScanFigur2List(ListHeader* list, const void* chunk) {
  return ScanRecords(list, chunk, kMove, LIST_FIGURES, offsetof(MOVE_EXT, figure));
}

uint8_t* MakeFigurChunkFromList(ListHeader* list) {
  return MakeRecords(list, kMove, LIST_FIGURES, offsetof(MOVE_EXT, figure));
}

int32_t SaveFigurList2MapPrefs(ListHeader* list) {
  uint8_t* move = MakeFigurChunkFromList(list);
  if (!move) {
    DebugLog("SaveFigurList2MapPrefs: Konnte MOVE-Chunk nicht erstellen\n");
    return 0;
  }
  int32_t ok = SaveMapPrefs(MapPrefsPath, move);
  FreeChunk(move);
  return ok;
}

uint8_t* MakeMapPrefsImage(ListHeader* figures, uint32_t* size) {
  uint8_t* move = MakeFigurChunkFromList(figures);
  if (!move) return nullptr;
  uint8_t* image = MapPrefsImageOf(MapPrefsPath, move, size);
  FreeChunk(move);
  return image;
}

uint32_t LoadFigureFile(const char* path, uint8_t** out) {
  if (out) *out = nullptr;
  if (!path) return FIGURE_FILE_MISSING;
  // Only a plain file is opened: a folder or a pipe in its place is no
  // figure file, and asking it for bytes could wait for ever.
  if (!GdFileExists(path)) {
    if (GdPrefs(PREFS_ACCOUNT_STATE, 0, 0) != ACCOUNT_INSTALLED) return 0;
    DebugLog("LoadFigureFile: %s fehlt oder ist keine Datei\n", path);
    return FIGURE_FILE_MISSING;
  }
  uint8_t* move = LoadMove(path);
  if (!move) return FIGURE_FILE_DAMAGED;
  if (out) *out = move;
  else FreeChunk(move);
  return 0;
}

uint16_t GetFreeFigurNummer(const void* chunk) {
  uint32_t n = 0;
  const uint8_t* r = ChunkRecords(chunk, kMove, &n);
  static_assert(sizeof(uint8_t) == 1);
  uint8_t* used = static_cast<uint8_t*>(AllocVec(0x10000, MEMF_PUBLIC | MEMF_CLEAR));
  if (!used) return 0xFFFF;
  for (uint32_t i = 0; r && i < n; i++) used[GetFigurRecord(r + kRec * i).number] = 1;
  uint16_t nr = 0xFFFF;
  for (uint32_t k = 1; k < 0xFFFF; k++)
    if (!used[k]) { nr = (uint16_t)k; break; }
  FreeVec(used);
  return nr;
}

uint16_t AddFigur2MapPrefs(const char* path, uint16_t type, uint32_t x, uint32_t y) {
  uint8_t* move = LoadMove(path);
  if (!move) {
    if (GeFileSize(path) != 0) return 0xFFFF;  // there but corrupt: never overwritten
    move = MakeRecordChunk(kMove, 0);        // a missing file is made anew
    if (!move) return 0xFFFF;
  }
  uint32_t n = ChunkGet16(move, 12);
  uint16_t nr = GetFreeFigurNummer(move);
  uint8_t* grown = n < 0xFFFF && nr != 0xFFFF ? MakeRecordChunk(kMove, n + 1) : nullptr;
  if (!grown) {
    DebugLog("AddFigur2MapPrefs: Konnte Figur nicht anfuegen\n");
    FreeChunk(move);
    return 0xFFFF;
  }
  std::memcpy(grown + kFirst, move + kFirst, kRec * n);
  FigurRecord f = {GameDataOwnerID(), type, nr, x, y, 0, 0};
  PutFigurRecord(grown + kFirst + kRec * n, f);
  int32_t ok = SaveMapPrefs(path, grown);
  FreeChunk(move);
  FreeChunk(grown);
  return ok ? nr : 0xFFFF;
}

int32_t RemoveFigurFromMapPrefs(const char* path, uint32_t kind, uint32_t x, uint32_t y, int32_t number) {
  uint8_t* move = LoadMove(path);
  if (!move) {
    DebugLog("RemoveFigurFromMapPrefs: Konnte MapPrefs nicht lesen...\n");
    return 0;
  }
  uint32_t own = GameDataOwnerID();
  uint32_t n = ChunkGet16(move, 12), kept = 0;
  bool first_taken = false;
  for (uint32_t i = 0; i < n; i++) {
    FigurRecord f = GetFigurRecord(move + kFirst + kRec * i);
    bool match = false;
    if (f.owner == own && f.x == x && f.y == y) {
      bool of_kind = kind == 31 ? IsShip(f.type) : kind == 30 ? IsArmy(f.type) : f.type == kind;
      if (of_kind) {
        if (number >= 0) match = f.number == (uint32_t)number;
        else if (number == -1) match = true;
        else if (number == -2 && kind != 30 && kind != 31) match = !first_taken && f.state != 7;
      }
    }
    if (match) {
      first_taken = true;
      continue;
    }
    if (kept != i) std::memmove(move + kFirst + kRec * kept, move + kFirst + kRec * i, kRec);
    kept++;
  }
  int32_t ok = 1;
  if (kept != n) {
    ChunkPut16(move, 12, (uint16_t)kept);
    ChunkPut32(move, 8, 2 + kRec * kept);
    ok = SaveMapPrefs(path, move);
  }
  FreeChunk(move);
  return ok;
}

void SetFigurDependence(const FigurRecord* figure, int32_t dx, int32_t dy, ListHeader* armies,
                        ListHeader* ships, uint8_t* figures, uint32_t figures_size) {
  if (!figure) return;
  if (IsArmy(figure->type)) MoveArmy(armies, *figure, dx, dy);
  if (!IsShip(figure->type) || !ships) return;
  ListNode* n = ships->first;
  for (uint32_t i = 0; i < ships->count && n; i++, n = n->next) {
    Schiffseintrag* s = reinterpret_cast<Schiffseintrag*>(n);
    if (s->ship_id != figure->number) continue;
    s->x = Wrap(s->x, dx, kWorldX);
    s->y = Wrap(s->y, dy, kWorldY);
    for (int k = 0; k < 3; k++) {
      FigurRecord& c = s->cargo[k];
      if (c.owner == 0 && c.type == 0 && c.number == 0 && c.x == 0 && c.y == 0) continue;
      if (uint8_t* rec = FindLadungsFigur(figures, figures_size, s, k)) {
        FigurRecord f = GetFigurRecord(rec);
        f.x = Wrap(f.x, dx, kWorldX);
        f.y = Wrap(f.y, dy, kWorldY);
        PutFigurRecord(rec, f);
      }
      c.x = Wrap(c.x, dx, kWorldX);
      c.y = Wrap(c.y, dy, kWorldY);
      if (IsArmy(c.type)) MoveArmy(armies, c, dx, dy);
    }
  }
}

uint8_t* FindLadungsFigur(uint8_t* figures, uint32_t figures_size, const Schiffseintrag* ship, uint32_t slot) {
  if (!ship || slot > 2) return nullptr;
  const FigurRecord& c = ship->cargo[slot];
  uint32_t n = FigureCount(figures, figures_size);
  for (uint32_t i = 0; i < n; i++) {
    uint8_t* rec = figures + 2 + kRec * i;
    if (SameFigure(GetFigurRecord(rec), c)) return rec;
  }
  DebugLog("Fataler Fehler ! Konnte die Figur zur Ladung nicht finden !!\n");
  return nullptr;
}
