// The map window: the M_ and B_ part files, the 3 x 3 window round the view
// (CMap and the combined knowledge map), opening, moving and closing the view.
#include <atomic>
#include <bit>
#include <cstdio>
#include <cstring>

#include "map_internal.h"
#include "platform/display.h"
#include "platform/log.h"
#include "platform/threads.h"
#include "routinen/gui/pictures.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/fonts.h"
#include "routinen/system/graphics.h"
#include "routinen/system/memory.h"
#include "routinen/system/sysrecords.h"

namespace {

constexpr uint32_t kCMapBytes = kCMapColumns * kCMapRows * kMapTileSize;

// What differs between the two part kinds.
struct PartKind {
  char prefix;
  uint32_t bytes;
  const char* loading;    // "Lade Karte %s\n"
  const char* wrongPart;
  const char* noMemory;
  const char* shortRead;
  const char* noCreate;
  const char* noWrite;
};
const PartKind kMapKind = {
    'M', kMapPartBytes, "Lade Karte %s\n",
    "LadeKartenTeil: falsche Karte angesprungen! Bitte beim Spielleiter melden : <%s>...\n",
    "LadeKartenTeil : Konnte Speicher f\xfcr Karte nicht allokieren !\n",
    "LadeKartenTeil : Konnte Daten nicht einlesen !\n",
    "LadeKartenTeil : Konnte Karte nicht neu anlegen !\n",
    "LadeKartenTeil : Konnte neue Karte nicht beschreiben !\n"};
const PartKind kBMapKind = {
    'B', kBMapPartBytes, "Lade BMap %s\n",
    "LadeBMapTeil: falsche Bekanntheitskarte angesprungen! Bitte beim Spielleiter melden : <%s>...\n",
    "LadeBMapTeil : Konnte Speicher f\xfcr Karte nicht allokieren !\n",
    "LadeBMapTeil : Konnte Daten nicht einlesen !\n",
    "LadeBMapTeil : Konnte Karte nicht neu anlegen !\n",
    "LadeBMapTeil : Konnte neue Karte nicht beschreiben !\n"};

int32_t WrapPart(int32_t p) { return WrapFull(p, kPartCount); }

void PartPath(char (&path)[512], const PartKind& k, const char* folder, int32_t px, int32_t py) {
  std::snprintf(path, sizeof path, "%s/%c_%d_%d.map", folder ? folder : ".", k.prefix, px, py);
}

// Loads one part file; a missing part inside the world is created as zeros,
// a file of another size is read up to the part size and zero-filled.
bool LoadPart(const PartKind& k, const char* folder, int32_t px, int32_t py, FileHandle* handle, uint8_t** buffer) {
  *handle = nullptr;
  *buffer = nullptr;
  char path[512];
  PartPath(path, k, folder, px, py);
  DebugLog(k.loading, path);
  uint8_t* data = static_cast<uint8_t*>(AllocVec(k.bytes, MEMF_PUBLIC | MEMF_CLEAR));
  if (!data) {
    DebugLog("%s", k.noMemory);
    return false;
  }
  if (px < 0 || py < 0 || px >= kPartCount || py >= kPartCount) {
    DebugLog(k.wrongPart, path);
    *buffer = data;
    return true;
  }
  FileHandle f = Open(path, MODE_OLDFILE);
  if (f) {
    Seek(f, 0, OFFSET_END);
    int32_t size = Seek(f, 0, OFFSET_BEGINNING);
    int32_t want = size < 0 ? -1 : (size < (int32_t)k.bytes ? size : (int32_t)k.bytes);
    if (want < 0 || Read(f, data, want) != want) {
      DebugLog("%s", k.shortRead);
      Close(f);
      FreeVec(data);
      return false;
    }
    if (size != (int32_t)k.bytes)
      DebugLog("LadeKartenTeil: %s hat %d statt %u Bytes, der Rest bleibt leer\n", path, size, k.bytes);
    *handle = f;
    *buffer = data;
    return true;
  }
  if (GeFileSize(path) != 0) {  // there but not openable: never emptied
    DebugLog("%s\n", path);
    DebugLog("%s", k.shortRead);
    FreeVec(data);
    return false;
  }
  // The new part is written whole (staged and renamed into place), then
  // opened like an existing one.
  if (!SaveMem2File(path, data, k.bytes)) {
    DebugLog("%s", k.noWrite);
    FreeVec(data);
    return false;
  }
  f = Open(path, MODE_OLDFILE);
  if (!f) {
    DebugLog("%s\n", path);
    DebugLog("%s", k.noCreate);
    FreeVec(data);
    return false;
  }
  *handle = f;
  *buffer = data;
  return true;
}

// Cells of slot k <-> its part buffer (little-endian on disk, host in memory).
[[maybe_unused]] void DecodeCell(const uint8_t* p, MapTile* t) {
  t->X = GetLE32(p);
  t->Y = GetLE32(p + 4);
  t->Grafik = (uint16_t)(p[8] | (p[9] << 8));
  t->Wert[0] = (int8_t)p[10];
  t->Wert[1] = (int8_t)p[11];
  t->Wert[2] = (int8_t)p[12];
  t->Frei = p[13];
  t->Besitzer = GetLE32(p + 14);
  t->Flags = GetLE32(p + 18);
}

[[maybe_unused]] void EncodeCell(const MapTile* t, uint8_t* p) {
  auto put32 = PutLE32;
  put32(p, t->X);
  put32(p + 4, t->Y);
  p[8] = (uint8_t)t->Grafik;
  p[9] = (uint8_t)(t->Grafik >> 8);
  p[10] = (uint8_t)t->Wert[0];
  p[11] = (uint8_t)t->Wert[1];
  p[12] = (uint8_t)t->Wert[2];
  p[13] = t->Frei;
  put32(p + 14, t->Besitzer);
  put32(p + 18, t->Flags);
}

MapTile* SlotCells(MapTile* cmap, int slot, int row) {
  return cmap + ((slot / 3) * kPartRows + row) * kCMapColumns + (slot % 3) * kPartColumns;
}

void PartToCMap(const uint8_t* part, MapTile* cmap, int slot) {
  for (int r = 0; r < kPartRows; r++) {
    MapTile* dst = SlotCells(cmap, slot, r);
    const uint8_t* src = part ? part + r * kPartColumns * kMapTileSize : nullptr;
    if (!src) {
      std::memset(static_cast<void*>(dst), 0, kPartColumns * kMapTileSize);
    } else if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(static_cast<void*>(dst), src, kPartColumns * kMapTileSize);  // the same bytes
    } else {
      for (int c = 0; c < kPartColumns; c++) DecodeCell(src + c * kMapTileSize, dst + c);
    }
  }
}

void CMapToPart(const MapTile* cmap, int slot, uint8_t* part) {
  for (int r = 0; r < kPartRows; r++) {
    const MapTile* src = SlotCells(const_cast<MapTile*>(cmap), slot, r);
    uint8_t* dst = part + r * kPartColumns * kMapTileSize;
    if constexpr (std::endian::native == std::endian::little)
      std::memcpy(dst, static_cast<const void*>(src), kPartColumns * kMapTileSize);
    else
      for (int c = 0; c < kPartColumns; c++) EncodeCell(src + c, dst + c * kMapTileSize);
  }
}

void BPartToBMap(const uint8_t* part, uint8_t* bmap, int slot) {
  for (int r = 0; r < kPartRows; r++) {
    uint8_t* dst = bmap + ((slot / 3) * kPartRows + r) * 30 + (slot % 3) * 10;
    if (part) std::memcpy(dst, part + r * 10, 10);
    else std::memset(dst, 0, 10);
  }
}

void BMapToBPart(const uint8_t* bmap, int slot, uint8_t* part) {
  for (int r = 0; r < kPartRows; r++) std::memcpy(part + r * 10, bmap + ((slot / 3) * kPartRows + r) * 30 + (slot % 3) * 10, 10);
}

void BuildCMap(QoEMapInfo* map) {
  if (!map->CMap) return;
  for (int k = 0; k < 9; k++) PartToCMap(map->Part[k], map->CMap, k);
}

void BuildBMap(QoEMapInfo* map) {
  if (!map->BMap) return;
  for (int k = 0; k < 9; k++) BPartToBMap(map->BPart[k], map->BMap, k);
}

// Copies the window back into the part buffers (all nine slots).
void RefreshBuffers(QoEMapInfo* map) {
  for (int k = 0; k < 9; k++) {
    if (map->Part[k] && map->CMap) CMapToPart(map->CMap, k, map->Part[k]);
    if (map->BPart[k] && map->BMap) BMapToBPart(map->BMap, k, map->BPart[k]);
  }
}

// Stages the whole new file of window slot `slot` in set: the buffer, then
// the tail of a longer file on disk (kept). The path follows the window's
// centre, which the caller has not moved yet. False when it cannot be staged.
bool StagePart(FileSet* set, const QoEMapInfo* map, int slot, bool knowledge, const uint8_t* data) {
  const PartKind& k = knowledge ? kBMapKind : kMapKind;
  char path[512];
  PartPath(path, k, knowledge ? map->BMapFolder : map->MapFolder, WrapPart(map->CenterX - 1 + slot % 3),
           WrapPart(map->CenterY - 1 + slot / 3));
  if (GeFileSize(path) <= k.bytes) return FileSetWrite(set, path, data, k.bytes) == 1;
  uint32_t size = 0;
  uint8_t* old = static_cast<uint8_t*>(LoadFile2MemSize(path, MEMF_PUBLIC, &size));
  if (!old || size <= k.bytes) {  // the tail cannot be read: never cut off
    FreeVec(old);
    return false;
  }
  std::memcpy(old, data, k.bytes);
  const bool ok = FileSetWrite(set, path, old, size) == 1;
  FreeVec(old);
  return ok;
}

// Begins the set that writes back the parts leaving the window.
FileSet* BeginPartSet(const char* who) {
  FileSet* set = BeginFileSet();
  if (!set) DebugLog("%s: kein Speicher zum Zurueckschreiben der Karte\n", who);
  return set;
}

// Puts the parts staged in set in place together; false when nothing
// changed. Finished in part counts as written: the next start completes it.
bool CommitPartSet(FileSet* set, const char* who) {
  if (!set) return false;
  const int32_t r = CommitFileSet(set);
  if (r == FILESET_PART) DebugLog("%s: Karte nur zum Teil geschrieben, der Rest folgt beim naechsten Start\n", who);
  else if (r != 1) DebugLog("%s: Konnte die Karte nicht zurueckschreiben\n", who);
  return r == 1 || r == FILESET_PART;
}

// Stages every part of one kind into set (null: none written) and frees
// them with their files; false after a staging error.
bool ReleaseParts(QoEMapInfo* map, bool knowledge, FileSet* set) {
  bool ok = true;
  for (int k = 0; k < 9; k++) {
    uint8_t*& buf = knowledge ? map->BPart[k] : map->Part[k];
    FileHandle& f = knowledge ? map->BPartFile[k] : map->PartFile[k];
    if (f && buf) {
      if (knowledge) {
        if (map->BMap) BMapToBPart(map->BMap, k, buf);
      } else if (map->CMap) {
        CMapToPart(map->CMap, k, buf);
      }
      if (!StagePart(set, map, k, knowledge, buf)) {
        DebugLog("ExitKarte: Schreibfehler\n");
        ok = false;
      }
    }
    if (f) Close(f);
    f = nullptr;
    FreeVec(buf);
    buf = nullptr;
  }
  return ok;
}

// Loads one slot; on failure the slot gets an empty buffer without a file,
// so the window never has a hole. False when the part could not be loaded.
bool LoadSlot(QoEMapInfo* map, int slot, bool knowledge) {
  int32_t px = WrapPart(map->CenterX - 1 + slot % 3), py = WrapPart(map->CenterY - 1 + slot / 3);
  uint8_t*& buf = knowledge ? map->BPart[slot] : map->Part[slot];
  FileHandle& f = knowledge ? map->BPartFile[slot] : map->PartFile[slot];
  bool ok = knowledge ? LadeBMapTeil(map, px, py, &f, &buf) == 1 : LadeKartenTeil(map, px, py, &f, &buf) == 0;
  if (!ok) {
    f = nullptr;
    buf = static_cast<uint8_t*>(AllocVec(knowledge ? kBMapPartBytes : kMapPartBytes, MEMF_PUBLIC | MEMF_CLEAR));
  }
  return ok;
}

bool LoadAllSlots(QoEMapInfo* map, bool knowledge) {
  bool ok = true;
  for (int k = 0; k < 9; k++) ok &= LoadSlot(map, k, knowledge);
  return ok;
}

// The drawing resources of the view (no write-back).
void FreeView(QoEMapInfo* map) {
  FreeVec(map->Figures);
  FreeVec(map->LocalFigures);
  map->Figures = map->LocalFigures = nullptr;
  map->FigureBytes = 0;
  if (map->Font) CloseFont(map->Font);
  map->Font = nullptr;
  FreeVec(map->Rp);
  map->Rp = nullptr;
  FreeBitMap(map->Bitmap);
  map->Bitmap = nullptr;
  FreeVec(map->Sight);
  map->Sight = nullptr;
  map->SightCells = 0;
}

void PointView(QoEMapInfo* map) {
  std::atomic_ref<MapTile*>(map->ViewCell).store(map->CMap ? map->CMap + map->ViewRow * kCMapColumns + map->ViewColumn : nullptr,
                                                 std::memory_order_relaxed);
  map->DrawBMap = map->BMap;
}

void StoreViewPos(QoEMapInfo* map, int32_t x, int32_t y, int32_t column, int32_t row) {
  std::atomic_ref<int32_t>(map->X).store(x, std::memory_order_relaxed);
  std::atomic_ref<int32_t>(map->Y).store(y, std::memory_order_relaxed);
  std::atomic_ref<int16_t>(map->ViewColumn).store((int16_t)column, std::memory_order_relaxed);
  std::atomic_ref<int16_t>(map->ViewRow).store((int16_t)row, std::memory_order_relaxed);
  // The 3D view's position follows the view column and row, so the 3D
  // landscape stays under the camera while the view scrolls.
  std::atomic_ref<double>(map->PixelColumn).store(column * 48.0, std::memory_order_relaxed);
  std::atomic_ref<double>(map->PixelRow).store(row * 55.424, std::memory_order_relaxed);
}

int32_t ShiftParts(QoEMapInfo* map, uint16_t direction, bool knowledge, FileSet* set);

// Reloads the whole window round (X, Y); 0 on failure.
int32_t FullReload(QoEMapInfo* map) {
  bool know = map->Flags & MAPF_KNOWLEDGE;
  bool wrote = true;
  FileSet* set = BeginPartSet("SetPos");
  if (know) wrote &= ReleaseParts(map, true, set);
  wrote &= ReleaseParts(map, false, set);
  wrote &= CommitPartSet(set, "SetPos");
  map->CenterX = (int16_t)(map->X / kPartColumns);
  map->CenterY = (int16_t)(map->Y / kPartRows);
  StoreViewPos(map, map->X, map->Y, map->X % kPartColumns + kPartColumns, map->Y % kPartRows + kPartRows);
  int32_t result = wrote ? 1 : 0;
  if (!LoadAllSlots(map, false)) {
    DebugLog("SetPos : Konnte Karten nicht neu laden...\n");
    result = 0;
  }
  BuildCMap(map);
  if (know) {
    if (!LoadAllSlots(map, true)) {
      DebugLog("SetPos : Konnte nicht alle BMaps laden !\n");
      result = 0;
    }
    BuildBMap(map);
  }
  if (map->ReachMap) {  // the range no longer fits the window
    FreeVec(map->ReachMap);
    map->ReachMap = nullptr;
  }
  return result;
}

// Shifts the window one part (0 west, 1 east, 2 north, 3 south); 0 after a
// write or load error (the window is whole either way).
int32_t ShiftWindow(QoEMapInfo* map, uint16_t dir) {
  RefreshBuffers(map);
  // The parts that leave, of both kinds, are written together.
  FileSet* set = BeginPartSet("SetPos");
  int32_t ok = ShiftParts(map, dir, false, set);
  if (map->Flags & MAPF_KNOWLEDGE) ok &= ShiftParts(map, dir, true, set);
  if (!CommitPartSet(set, "SetPos")) ok = 0;
  static const int kFree[4][3] = {{0, 3, 6}, {2, 5, 8}, {0, 1, 2}, {6, 7, 8}};
  if (dir == 0) map->CenterX = (int16_t)WrapPart(map->CenterX - 1);
  if (dir == 1) map->CenterX = (int16_t)WrapPart(map->CenterX + 1);
  if (dir == 2) map->CenterY = (int16_t)WrapPart(map->CenterY - 1);
  if (dir == 3) map->CenterY = (int16_t)WrapPart(map->CenterY + 1);
  for (int i = 0; i < 3; i++) {
    int k = kFree[dir][i];
    if (!LoadSlot(map, k, false)) ok = 0;
    if ((map->Flags & MAPF_KNOWLEDGE) && !LoadSlot(map, k, true)) ok = 0;
  }
  BuildCMap(map);
  BuildBMap(map);
  if (map->ReachMap) ReArangeCMap(map, (uint16_t)(dir + 1));
  return ok;
}

// Stages the three parts that leave into set, then moves the rest by pointer.
int32_t ShiftParts(QoEMapInfo* map, uint16_t direction, bool knowledge, FileSet* set) {
  static const int kLeave[4][3] = {{2, 5, 8}, {0, 3, 6}, {6, 7, 8}, {0, 1, 2}};
  static const int kMove[4][3] = {{1, 4, 7}, {1, 4, 7}, {3, 4, 5}, {3, 4, 5}};
  static const int kFree[4][3] = {{0, 3, 6}, {2, 5, 8}, {0, 1, 2}, {6, 7, 8}};
  if (direction > 3) return 0;
  uint8_t** buf = knowledge ? map->BPart : map->Part;
  FileHandle* file = knowledge ? map->BPartFile : map->PartFile;
  int32_t ok = 1;
  for (int i = 0; i < 3; i++) {
    int k = kLeave[direction][i];
    if (file[k] && buf[k]) {
      if (knowledge) {
        if (map->BMap) BMapToBPart(map->BMap, k, buf[k]);
      } else if (map->CMap) {
        CMapToPart(map->CMap, k, buf[k]);
      }
      if (!StagePart(set, map, k, knowledge, buf[k])) {
        DebugLog("%s", knowledge ? "SetBMap-Error 0002\n" : "SetMap-Error 0002\n");
        ok = 0;
      }
    }
    FreeVec(buf[k]);
    buf[k] = nullptr;
    if (file[k]) Close(file[k]);
    file[k] = nullptr;
  }
  for (int i = 0; i < 3; i++) {
    int l = kLeave[direction][i], m = kMove[direction][i], f = kFree[direction][i];
    buf[l] = buf[m];
    file[l] = file[m];
    buf[m] = buf[f];
    file[m] = file[f];
    buf[f] = nullptr;
    file[f] = nullptr;
  }
  return ok;
}

}  // namespace

int32_t WrapPos(int32_t value, uint32_t size) {
  int64_t v = value, n = size;
  if (v < 0) v += n;
  else if (v > n - 1) v -= n;
  return (int32_t)v;
}

uint32_t MapOwnPlayer() { return OwnPlayerPtr->PlayerId; }

uint32_t MapDisplayWidth() {
  const DisplayRecord* d = QoESystemPtr->Display;
  if (d && d->Width) return d->Width;
  return DisplayWidth() ? DisplayWidth() : 640;
}

uint32_t MapDisplayHeight() {
  const DisplayRecord* d = QoESystemPtr->Display;
  if (d && d->Height) return d->Height;
  return DisplayHeight() ? DisplayHeight() : 480;
}

uint32_t MapDisplayDepth() {
  const DisplayRecord* d = QoESystemPtr->Display;
  if (d && d->Depth) return d->Depth;
  uint32_t depth = DisplayDepth();
  return depth ? depth : 8;
}

int32_t LadeKartenTeil(QoEMapInfo* map, int32_t part_x, int32_t part_y, FileHandle* handle, uint8_t** buffer) {
  if (!map || !handle || !buffer) return -1;
  return LoadPart(kMapKind, map->MapFolder, part_x, part_y, handle, buffer) ? 0 : -1;
}

int32_t LadeBMapTeil(QoEMapInfo* map, int32_t part_x, int32_t part_y, FileHandle* handle, uint8_t** buffer) {
  if (!map || !handle || !buffer) return 0;
  if (!(map->Flags & MAPF_KNOWLEDGE)) return 1;
  return LoadPart(kBMapKind, map->BMapFolder, part_x, part_y, handle, buffer) ? 1 : 0;
}

QoEMapInfo* LadeKarte(uint16_t flags, uint16_t part_x, uint16_t part_y, const char* folder) {
  const MapRecordLock hold;
  QoEMapInfo* map = static_cast<QoEMapInfo*>(AllocVec(sizeof(QoEMapInfo), MEMF_PUBLIC | MEMF_CLEAR));
  if (!map) {
    DebugLog("Lade Karte : Konnte Speicher f\xfcr Struktur nicht allokieren\n");
    return nullptr;
  }
  map->MapFolder = map->BMapFolder = folder;
  map->CenterX = (int16_t)WrapPart(part_x);
  map->CenterY = (int16_t)WrapPart(part_y);
  for (int k = 0; k < 9; k++) {
    int32_t px = WrapPart(map->CenterX - 1 + k % 3), py = WrapPart(map->CenterY - 1 + k / 3);
    if (LadeKartenTeil(map, px, py, &map->PartFile[k], &map->Part[k]) != 0) {
      DebugLog("LadeKarte : Konnte nicht alle Karten laden !\n");
      ExitKarte(map);
      return nullptr;
    }
  }
  map->CMap = static_cast<MapTile*>(AllocVec(kCMapBytes, MEMF_PUBLIC));
  if (!map->CMap) {
    DebugLog("LadeKarte : Konnte Speicher f\xfcr Karte nicht allokieren !\n");
    ExitKarte(map);
    return nullptr;
  }
  BuildCMap(map);
  if ((flags & MAPF_KNOWLEDGE) && !LadeBMap(map, map->CenterX, map->CenterY, map->BMapFolder))
    DebugLog("LadeKarte : Konnte nicht alle BMaps laden !\n");
  PointView(map);
  return map;
}

int32_t LadeBMap(QoEMapInfo* map, int32_t part_x, int32_t part_y, const char* folder) {
  if (!map) return 0;
  map->Flags |= MAPF_KNOWLEDGE;
  map->BMapFolder = folder;
  int32_t ok = 1;
  for (int k = 0; k < 9; k++) {
    int32_t px = WrapPart(part_x - 1 + k % 3), py = WrapPart(part_y - 1 + k / 3);
    if (LadeBMapTeil(map, px, py, &map->BPartFile[k], &map->BPart[k]) != 1) {
      // Unloaded parts stay unexplored in memory and are never written back.
      map->BPartFile[k] = nullptr;
      map->BPart[k] = static_cast<uint8_t*>(AllocVec(kBMapPartBytes, MEMF_PUBLIC | MEMF_CLEAR));
      ok = 0;
    }
  }
  map->BMap = static_cast<uint8_t*>(AllocVec(kBMapBytes, MEMF_PUBLIC | MEMF_CLEAR));
  if (!map->BMap) {
    DebugLog("LadeBMap : Konnte Speicher f\xfcr BMap nicht allokieren !\n");
    return 0;
  }
  DebugLog("Kopiere BMAP\n");
  BuildBMap(map);
  map->DrawBMap = map->BMap;
  return ok;
}

namespace {

// Steps 1 and 2 of opening a view: flags, figures, font, position.
int32_t OpenViewPosition(QoEMapInfo* map, int32_t x, int32_t y, uint16_t sx, uint16_t sy, uint16_t w, uint16_t h,
                         int16_t flags) {
  // The knowledge bit belongs to what LadeKarte loaded.
  map->Flags = (uint16_t)((flags & ~MAPF_KNOWLEDGE) | (map->Flags & MAPF_KNOWLEDGE));
  if (flags & MAPF_FIGURES) {
    if (!InitPosLoadPeopleMem(map)) {
      DebugLog("InitPos : Konnte MOVE-Chunk nicht in Speicher laden!\n");
      return 0;
    }
    if (!map->Font && !(map->Font = OpenDiskFont("fonts\\XHelvetica9.fnt"))) {
      DebugLog("InitPos : Konnte Elmor-Font nicht \xf6" "ffnen !\n");
      return 0;
    }
  }
  map->ScreenX = sx;
  map->ScreenY = sy;
  map->Width = w;
  map->Height = h;
  // Wrapped first, then the view column and row; the view starts at an even column.
  int32_t wx = WrapFull(x, kWorldColumns) & ~1, wy = WrapFull(y, kWorldRows);
  StoreViewPos(map, wx, wy, wx % kPartColumns + kPartColumns, wy % kPartRows + kPartRows);
  if (wx / kPartColumns != map->CenterX || wy / kPartRows != map->CenterY) {
    if (!FullReload(map)) return 0;  // the window must hold the view
  }
  PointView(map);
  if (map->Figures) GetLocalPeople(map);
  return 1;
}

}  // namespace

int32_t InitPos(QoEMapInfo* map, int32_t x, int32_t y, uint16_t screen_x, uint16_t screen_y, uint16_t width,
                uint16_t height, int16_t flags) {
  if (!map || !map->CMap) return 0;
  if (!OpenViewPosition(map, x, y, screen_x, screen_y, width, height, flags)) return 0;
  map->Columns = (uint16_t)((width + 16 + kColumnStep - 1) / kColumnStep);
  map->Rows = (uint16_t)((height + 28 + kTileHeight - 1) / kTileHeight);
  FreeVec(map->Sight);
  map->SightCells = (uint32_t)map->Columns * map->Rows;
  map->Sight = static_cast<uint32_t*>(AllocVec(map->SightCells * 4 + 4, MEMF_PUBLIC | MEMF_CLEAR));
  FreeBitMap(map->Bitmap);
  map->Bitmap = AllocBitMap(map->Columns * kColumnStep + 16, map->Rows * kTileHeight + 28, MapDisplayDepth(), 0, nullptr);
  if (!map->Bitmap || !map->Sight) {
    DebugLog("InitPos : Konnte Speicher f\xfcr Layer 1 nicht allokieren !\n");
    return 0;
  }
  if (!map->Rp) {
    map->Rp = static_cast<RastPort*>(AllocVec(sizeof(RastPort), MEMF_PUBLIC | MEMF_CLEAR));
    if (!map->Rp) {
      DebugLog("InitPos : Konnte Speicher f\xfcr RastPort nicht reservieren...\n");
      return 0;
    }
  }
  InitRastPort(map->Rp);
  map->Rp->Bitmap = map->Bitmap;
  if (map->Font) SetFont(map->Rp, map->Font);
  // The map keeps graphic 4 open until ExitPos (once, however often the view is set up).
  if (KeepElmorGfx(kGfxKeeperMap, kMapPicIndex, 4) != 1) DebugLog("InitPos: Grafik 4 fehlt\n");
  map->ScrollDirection = SCROLL_NONE;
  BlitMap(map);
  MapCopyToScreen(map);
  return 1;
}

int32_t InitPosGL(QoEMapInfo* map, int32_t x, int32_t y, uint16_t screen_x, uint16_t screen_y, uint16_t width,
                  uint16_t height, int16_t flags) {
  DebugLog("StartEngine 6\n");
  if (!map || !map->CMap) return 0;
  if (!OpenViewPosition(map, x, y, screen_x, screen_y, width, height, flags)) return 0;
  // Integers first: the row is never derived back from its 55.424 pixel value.
  std::atomic_ref<double>(map->PixelColumn).store(map->ViewColumn * 48.0, std::memory_order_relaxed);
  std::atomic_ref<double>(map->PixelRow).store(map->ViewRow * 55.424, std::memory_order_relaxed);
  return 1;
}

int32_t SetPos(QoEMapInfo* map, int32_t dx, int32_t dy) {
  if (!map || !map->CMap) return 0;
  const MapRecordLock hold;  // around the shift or reload and the redraw
  if (dx == 0 && dy == -1) map->ScrollDirection = SCROLL_UP;
  else if (dx == 1 && dy == 0) map->ScrollDirection = SCROLL_RIGHT;
  else if (dx == 0 && dy == 1) map->ScrollDirection = SCROLL_DOWN;
  else if (dx == -1 && dy == 0) map->ScrollDirection = SCROLL_LEFT;
  int32_t x = WrapFull((int64_t)map->X + 2 * (int64_t)dx, kWorldColumns);
  int32_t y = WrapFull((int64_t)map->Y + dy, kWorldRows);
  int32_t vc = WrapFull((int64_t)map->ViewColumn + 2 * (int64_t)dx, kWorldColumns);
  int32_t vr = WrapFull((int64_t)map->ViewRow + dy, kWorldRows);
  int32_t ok = 1;
  bool moved = false;
  if (vc >= kCMapColumns || vr >= kCMapRows) {
    StoreViewPos(map, x, y, vc, vr);
    ok = FullReload(map);
    moved = true;
  } else {
    if (vc < kPartColumns) {
      ok &= ShiftWindow(map, 0);
      vc += kPartColumns;
      moved = true;
    } else if (vc >= 2 * kPartColumns) {
      ok &= ShiftWindow(map, 1);
      vc -= kPartColumns;
      moved = true;
    }
    if (vr < kPartRows) {
      ok &= ShiftWindow(map, 2);
      vr += kPartRows;
      moved = true;
    } else if (vr >= 2 * kPartRows) {
      ok &= ShiftWindow(map, 3);
      vr -= kPartRows;
      moved = true;
    }
    StoreViewPos(map, x, y, vc, vr);
  }
  if (moved) MapFiguresMoved(map);
  PointView(map);
  if (map->Bitmap && map->Rp) {
    BlitMap(map);
    MapCopyToScreen(map);
  } else if (map->AfterDraw) {
    // The 3D view (InitPosGL) has no view bitmap: the engine draws the map;
    // what the screen draws over it is drawn again.
    map->AfterDraw(map);
  }
  map->ScrollDirection = SCROLL_NONE;
  std::atomic_ref<uint32_t>(map->PosChanged).store(1, std::memory_order_relaxed);
  return ok;
}

int32_t SetMap(QoEMapInfo* map, uint16_t direction) {
  if (!map) return 0;
  FileSet* set = BeginPartSet("SetMap");
  int32_t ok = ShiftParts(map, direction, false, set);
  return CommitPartSet(set, "SetMap") ? ok : 0;
}

int32_t SetBMap(QoEMapInfo* map, uint16_t direction) {
  if (!map) return 0;
  if (!(map->Flags & MAPF_KNOWLEDGE)) return 1;
  FileSet* set = BeginPartSet("SetBMap");
  int32_t ok = ShiftParts(map, direction, true, set);
  return CommitPartSet(set, "SetBMap") ? ok : 0;
}

void ReArangeCMap(QoEMapInfo* map, uint16_t direction) {
  if (!map || !map->ReachMap) return;
  uint8_t* fresh = static_cast<uint8_t*>(AllocVec(kBMapBytes, MEMF_PUBLIC | MEMF_CLEAR));
  if (!fresh) {
    DebugLog("ReArangeCMap : Konnte Speicher f\xfcr die Karte nicht allokieren !\n");
    return;
  }
  const uint8_t* old = map->ReachMap;
  for (int r = 0; r < kCMapRows; r++) {
    if (direction == 1) std::memcpy(fresh + r * 30 + 10, old + r * 30, 20);
    if (direction == 2) std::memcpy(fresh + r * 30, old + r * 30 + 10, 20);
  }
  if (direction == 3) std::memcpy(fresh + 40 * 30, old, 80 * 30);
  if (direction == 4) std::memcpy(fresh, old + 40 * 30, 80 * 30);
  FreeVec(map->ReachMap);
  map->ReachMap = fresh;
}

int32_t HexKnownInWindow(const QoEMapInfo* map, int32_t column, int32_t row) {
  if (!map || !map->BMap) return 0;
  return BitMapTest(map->BMap, map->ViewColumn + column, map->ViewRow + row);
}

int32_t IsHexKnown(const QoEMapInfo* map, int16_t column, uint16_t row) {
  // Only hexes from the view's start on: a negative column or row (a row
  // passed as -1 arrives as 65535) is not a hex of the view.
  if (column < 0 || (int16_t)row < 0) return 0;
  return HexKnownInWindow(map, column, row);
}

int32_t ExitPos(QoEMapInfo* map) {
  if (!map) {
    DebugLog("ExitPos:  QoEMapInfoPtr nicht valid !\n");
    return 0;
  }
  int32_t result = 1;
  if (map->Figures) {
    DebugLog("ExitPos: schreibe MOVE-Chunk...\n");
    if (!ExitPosWriteMapPrefs(map)) result = 0;
  }
  if (map->Rp) DebugLog("ExitPos: gebe RastPort frei...\n");
  if (map->Bitmap) DebugLog("ExitPos: gebe Bitmap frei...\n");
  FreeView(map);
  LetGoElmorGfx(kGfxKeeperMap, 4, 4);
  LetGoElmorGfx(kGfxKeeperMap, kHexMaskId, kHexMaskId);
  DebugLog("ExitPos: habe Masken geschlossen...\n");
  return result;
}

int32_t ExitKarte(QoEMapInfo* map) {
  if (!map) return 0;
  const MapRecordLock hold;
  FreeView(map);
  // Every part of both kinds is written back together.
  FileSet* set = BeginPartSet("ExitKarte");
  ReleaseParts(map, false, set);
  FreeVec(map->CMap);
  map->CMap = nullptr;
  if (map->Flags & MAPF_KNOWLEDGE) {
    ReleaseParts(map, true, set);
    FreeVec(map->BMap);
    map->BMap = map->DrawBMap = nullptr;
    map->Flags &= (uint16_t)~MAPF_KNOWLEDGE;
  }
  CommitPartSet(set, "ExitKarte");
  FreeMoveHex(map);
  DebugLog("ExitKarte: gebe den Rest frei...\n");
  FreeVec(map);
  return 0;
}

void MapCopyRectToScreen(QoEMapInfo* map, int32_t x, int32_t y, int32_t width, int32_t height) {
  RastPort* rp = ScreenRastPort();
  if (!rp || !map->Bitmap) return;
  int32_t sx = x - 16 + map->ScreenX, sy = y - 28 + map->ScreenY;
  QoeMutex* m = DisplayMutex();
  if (m) ObtainMutex(m);
  BltBitMapRastPort(map->Bitmap, x, y, rp, sx, sy, width, height);
  if (m) ReleaseMutex(m);
  ShowScreenRect(rp, sx, sy, width, height);
}

void MapCopyToScreen(QoEMapInfo* map) {
  RastPort* rp = ScreenRastPort();
  if (!rp || !map->Bitmap) return;
  QoeMutex* m = DisplayMutex();
  if (m) ObtainMutex(m);
  BltBitMapRastPort(map->Bitmap, 16, 28, rp, map->ScreenX, map->ScreenY, map->Width, map->Height);
  MapState().screenCopies.fetch_add(1);
  if (m) ReleaseMutex(m);
  if (map->AfterDraw) map->AfterDraw(map);
  ShowScreenRect(rp, map->ScreenX, map->ScreenY, map->Width, map->Height);
}
